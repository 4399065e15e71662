#pragma once

#include <QComboBox>
#include <string>

namespace skorvatin::ui {

// `Drive1`: the list of mounted volumes. A drive's value is its mount point.
class DriveListBox : public QComboBox {
  Q_OBJECT
 public:
  explicit DriveListBox(QWidget* parent = nullptr);

  std::string drive() const;
  // Selects the volume that holds `path` (a mount point or any folder on it); emits changed()
  // when the selection differs.
  void setDrive(const std::string& path);

 signals:
  void changed();
};

}  // namespace skorvatin::ui
