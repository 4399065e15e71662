#include "ui/dir_list_box.h"

#include <QFile>

namespace skorvatin::ui {

DirListBox::DirListBox(QWidget* parent) : QListWidget(parent) {}

void DirListBox::setPath(const std::string& path) {
  if (path == path_) return;
  path_ = path;
  clear();
  addItem(QFile::decodeName(QByteArray::fromStdString(path_)));
  emit changed();
}

}  // namespace skorvatin::ui
