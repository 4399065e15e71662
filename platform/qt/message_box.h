#pragma once

#include <QString>

#include "engine/run_error.h"

class QWidget;

namespace skorvatin::platform::qt {

// Every box the program shows, behind one seam so that no test ever waits on a modal loop. Each
// call returns when the user has closed the box; meanwhile the window takes no input.
class MessageBox {
 public:
  virtual ~MessageBox() = default;
  // A warning with a single OK button; there is no answer to read.
  virtual void MsgBox(const QString& text, const QString& title) = 0;
  // The report of an operation that stopped: its number, Polish text and file, what the system
  // said, and the files an undo had to leave under another name.
  virtual void report(const RunError& error) = 0;
  // A question answered with "Tak" or "Nie"; "Tak" is the default button, Esc answers "Nie".
  // True when the user chose "Tak".
  virtual bool ask(const QString& text, const QString& title) = 0;
};

// The boxes on screen, modal over the owner window. Buttons carry their Polish captions whatever
// translation Qt has loaded.
class QtMessageBox final : public MessageBox {
 public:
  explicit QtMessageBox(QWidget* owner = nullptr) : owner_(owner) {}
  void setOwner(QWidget* owner) { owner_ = owner; }
  void MsgBox(const QString& text, const QString& title) override;
  void report(const RunError& error) override;
  bool ask(const QString& text, const QString& title) override;

 private:
  QWidget* owner_;
};

}  // namespace skorvatin::platform::qt
