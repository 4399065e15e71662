#include "platform/qt/message_box.h"

#include <QMessageBox>

namespace skorvatin::platform::qt {

void QtMessageBox::MsgBox(const QString& text, const QString& title) {
  QMessageBox box(QMessageBox::Warning, title, text, QMessageBox::Ok, owner_);
  box.exec();
}

}  // namespace skorvatin::platform::qt
