#pragma once

#include <QObject>
#include <QPointer>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "engine/event_pump.h"

class QEvent;
class QWidget;

namespace skorvatin::platform::qt {

// Lets the window repaint and timers fire, but leaves the user's clicks and keys in the window
// system's queue: they arrive once the operation has returned to the event loop.
EventPump makeEventPump();

// Holds back the user's input to one window while an operation runs. The pump above already keeps
// the window system's input waiting; this also catches input that reaches the window's widgets by
// any other road (posted or sent events) and delivers it, in order, after the operation. So no
// click can start a second operation inside the first, and nothing changes the file list under it.
// A request that comes by no input event at all (an accessibility action, a programmatic click)
// waits in the same queue, in its turn among the clicks and keys.
class InputHoldBack final : public QObject {
 public:
  explicit InputHoldBack(QWidget* window);
  ~InputHoldBack() override;

  // Operations may nest (an error report inside one): input flows again after the outermost end.
  void begin();
  // `deliver` false drops what was held back, for input aimed at a state the user no longer sees.
  void end(bool deliver);
  bool active() const { return depth_ > 0; }
  std::size_t heldCount() const { return held_.size(); }
  // Keeps `request` with the held input while active: run after the outermost end that delivers,
  // dropped by one that does not. Run at once when nothing is held back.
  void defer(std::function<void()> request);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  bool event(QEvent* event) override;

 private:
  bool belongsToWindow(QObject* object) const;

  QPointer<QWidget> window_;
  int depth_ = 0;
  std::vector<std::pair<QPointer<QObject>, std::unique_ptr<QEvent>>> held_;
};

// begin() on construction, end() on leaving the scope; deliver() decides what end() does.
class HoldBackScope {
 public:
  explicit HoldBackScope(InputHoldBack& holdBack) : holdBack_(holdBack) { holdBack_.begin(); }
  ~HoldBackScope() { holdBack_.end(deliver_); }
  HoldBackScope(const HoldBackScope&) = delete;
  HoldBackScope& operator=(const HoldBackScope&) = delete;
  void dropHeldInput() { deliver_ = false; }

 private:
  InputHoldBack& holdBack_;
  bool deliver_ = true;
};

}  // namespace skorvatin::platform::qt
