#include "ui/drive_list_box.h"

namespace skorvatin::ui {

DriveListBox::DriveListBox(QWidget* parent) : QComboBox(parent) {
  addItem(QStringLiteral("/"), QByteArray("/"));
  connect(this, &QComboBox::currentIndexChanged, this, [this] { emit changed(); });
}

std::string DriveListBox::drive() const { return currentData().toByteArray().toStdString(); }

void DriveListBox::setDrive(const std::string& path) {
  (void)path;
  setCurrentIndex(0);
}

}  // namespace skorvatin::ui
