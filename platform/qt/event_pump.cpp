#include "platform/qt/event_pump.h"

#include <QCoreApplication>
#include <QEvent>
#include <QEventLoop>
#include <QWidget>
#include <utility>

namespace skorvatin::platform::qt {

EventPump makeEventPump() {
  return [] { QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents); };
}

namespace {
bool isUserInput(QEvent::Type type) {
  switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::Wheel:
    case QEvent::ContextMenu:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::InputMethod:
    case QEvent::Drop:
      return true;
    default:
      return false;
  }
}

// A deferred request travels as an event to the hold-back itself, so that it keeps its place among
// the held input when that is posted again.
class HeldRequest final : public QEvent {
 public:
  explicit HeldRequest(std::function<void()> request) : QEvent(kind()), request_(std::move(request)) {}
  static QEvent::Type kind() {
    static const auto registered = static_cast<QEvent::Type>(QEvent::registerEventType());
    return registered;
  }
  void run() const { request_(); }

 private:
  std::function<void()> request_;
};
}  // namespace

InputHoldBack::InputHoldBack(QWidget* window) : window_(window) {}

InputHoldBack::~InputHoldBack() {
  if (depth_ > 0) QCoreApplication::instance()->removeEventFilter(this);
}

void InputHoldBack::begin() {
  if (depth_++ == 0) QCoreApplication::instance()->installEventFilter(this);
}

void InputHoldBack::end(bool deliver) {
  if (depth_ == 0) return;
  if (!deliver) held_.clear();
  if (--depth_ > 0) return;
  QCoreApplication::instance()->removeEventFilter(this);
  auto held = std::move(held_);
  held_.clear();
  for (auto& [receiver, event] : held) {
    if (receiver) QCoreApplication::postEvent(receiver, event.release());
  }
}

void InputHoldBack::defer(std::function<void()> request) {
  if (depth_ == 0) return request();
  held_.emplace_back(this, std::make_unique<HeldRequest>(std::move(request)));
}

bool InputHoldBack::event(QEvent* event) {
  if (event->type() != HeldRequest::kind()) return QObject::event(event);
  static_cast<HeldRequest*>(event)->run();
  return true;
}

bool InputHoldBack::belongsToWindow(QObject* object) const {
  if (!window_ || !object->isWidgetType()) return false;
  // The window itself and its controls; a message box is a window of its own and stays usable.
  return static_cast<QWidget*>(object)->window() == window_;
}

bool InputHoldBack::eventFilter(QObject* watched, QEvent* event) {
  if (depth_ == 0 || !isUserInput(event->type()) || !belongsToWindow(watched)) return false;
  // A shortcut override only asks who wants a key; the key itself is held back and re-asks later.
  if (event->type() != QEvent::ShortcutOverride) held_.emplace_back(watched, event->clone());
  return true;
}

}  // namespace skorvatin::platform::qt
