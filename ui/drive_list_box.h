#pragma once

#include <QComboBox>
#include <memory>
#include <string>
#include <vector>

#include "platform/volumes.h"

namespace skorvatin::ui {

// `Drive1`: the list of mounted volumes. A drive's value is its mount point; each row shows the
// mount point and, where the file system has one, its label.
class DriveListBox : public QComboBox {
  Q_OBJECT
 public:
  // Shows the volumes `volumes` lists, and starts on the one that holds `start`, like a drive list
  // starts on the current drive.
  DriveListBox(std::shared_ptr<platform::VolumeService> volumes, const std::string& start,
               QWidget* parent = nullptr);

  std::string drive() const;
  // Selects the volume that holds `path` (a mount point or any folder on it); emits changed()
  // when the selection differs.
  void setDrive(const std::string& path);

  // Reads the mounts again (a stick plugged in since), keeping the selected volume when it is
  // still there; emits nothing.
  void refreshVolumes();

  // The volume behind the list, which also tells whether a drive can be opened now.
  platform::VolumeService& volumes() { return *volumes_; }

  std::vector<std::string> mountPoints() const;

 signals:
  void changed();
  // The list is about to drop down, before its view takes the keyboard.
  void droppingDown();

 protected:
  // The list is read again each time it drops down, so media plugged in meanwhile show up.
  void showPopup() override;

 private:
  void fill(const std::string& selectedPath);

  std::shared_ptr<platform::VolumeService> volumes_;
  bool filling_ = false;
};

}  // namespace skorvatin::ui
