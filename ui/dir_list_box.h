#pragma once

#include <QListWidget>
#include <string>

namespace skorvatin::ui {

// `Dir1`: the folder list. Shows the path from "/" down to the current folder, one row a level,
// then the current folder's subfolders. Paths are raw bytes, like the file list's.
class DirListBox : public QListWidget {
  Q_OBJECT
 public:
  explicit DirListBox(QWidget* parent = nullptr);

  const std::string& path() const { return path_; }
  // Shows `path`; emits changed() when the folder differs from the one shown. Throws RunError
  // when the folder cannot be read, keeping the folder it showed.
  void setPath(const std::string& path);

 signals:
  void changed();

 private:
  std::string path_;
};

}  // namespace skorvatin::ui
