#pragma once

#include <QString>

class QWidget;

namespace skorvatin::platform::qt {

// The program's one kind of message: exclamation icon, a single OK button, modal over the window.
// The call returns when the user has closed the box; there is no answer to read.
class MessageBox {
 public:
  virtual ~MessageBox() = default;
  virtual void MsgBox(const QString& text, const QString& title) = 0;
};

class QtMessageBox final : public MessageBox {
 public:
  explicit QtMessageBox(QWidget* owner = nullptr) : owner_(owner) {}
  void setOwner(QWidget* owner) { owner_ = owner; }
  void MsgBox(const QString& text, const QString& title) override;

 private:
  QWidget* owner_;
};

}  // namespace skorvatin::platform::qt
