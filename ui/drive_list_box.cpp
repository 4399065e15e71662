#include "ui/drive_list_box.h"

#include "engine/run_error.h"
#include "platform/qt/display_name.h"

namespace skorvatin::ui {

using platform::qt::displayName;

DriveListBox::DriveListBox(std::shared_ptr<platform::VolumeService> volumes, const std::string& start,
                           QWidget* parent)
    : QComboBox(parent), volumes_(std::move(volumes)) {
  fill(start);
  connect(this, &QComboBox::currentIndexChanged, this, [this] {
    if (!filling_) emit changed();
  });
}

std::string DriveListBox::drive() const {
  return currentData().toByteArray().toStdString();
}

std::vector<std::string> DriveListBox::mountPoints() const {
  std::vector<std::string> points;
  for (int i = 0; i < count(); ++i) points.push_back(itemData(i).toByteArray().toStdString());
  return points;
}

void DriveListBox::setDrive(const std::string& path) {
  const std::string point = platform::volumeOf(mountPoints(), path);
  const int index = findData(QByteArray::fromStdString(point));
  if (index >= 0) setCurrentIndex(index);  // raises changed() only when the selection moves
}

void DriveListBox::refreshVolumes() {
  fill(count() > 0 ? drive() : std::string("/"));
}

void DriveListBox::fill(const std::string& selectedPath) {
  std::vector<platform::Volume> list;
  try {
    list = volumes_->list();
  } catch (const RunError&) {
    // Without /proc the root is still there to show; the folder list works the same.
    list = {platform::Volume{"/", {}, {}, {}}};
  }
  filling_ = true;
  clear();
  for (const platform::Volume& v : list) {
    QString text = displayName(v.mountPoint);
    if (!v.label.empty()) text += QStringLiteral(" [") + displayName(v.label) + QStringLiteral("]");
    addItem(text, QByteArray::fromStdString(v.mountPoint));
  }
  const int index = findData(QByteArray::fromStdString(platform::volumeOf(mountPoints(), selectedPath)));
  setCurrentIndex(index >= 0 ? index : 0);
  filling_ = false;
}

void DriveListBox::showPopup() {
  refreshVolumes();
  QComboBox::showPopup();
}

}  // namespace skorvatin::ui
