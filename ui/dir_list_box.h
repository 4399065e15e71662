#pragma once

#include <QIcon>
#include <QListWidget>

#include <functional>
#include <string>
#include <vector>
#include "engine/folder.h"

namespace skorvatin {
class RunError;
}

namespace skorvatin::ui {

// `Dir1`: the folder list. Shows the path from "/" down to the current folder, one row a level
// with an open folder, then the current folder's subfolders with a closed folder, in the file
// list's order. Paths are raw bytes, like the file list's, so a folder whose name is not UTF-8
// still opens.
class DirListBox : public QListWidget {
  Q_OBJECT
 public:
  // Runs what the user asked for (opening a folder by double-click or Enter, outside any call of
  // the program's) and tells of the error it stops with; without one the error propagates.
  using Entry = std::function<void(const std::function<void()>&)>;

  // Reads folders through `folders`, and starts on `start`, or on "/" when that cannot be read.
  DirListBox(FolderService& folders, const std::string& start, Entry entry = nullptr,
             QWidget* parent = nullptr);

  const std::string& path() const { return path_; }
  // Shows `path`; emits changed() when the folder differs from the one shown. Setting the folder
  // already shown reads it again, so new subfolders appear. Throws RunError when the folder
  // cannot be read, keeping the folder and rows it showed.
  void setPath(const std::string& path);

  // The full path of each row, top to bottom (the path rows, then the subfolders).
  std::vector<std::string> rowPaths() const;
  // How many of the rows are the path from "/" down to the current folder.
  int pathRowCount() const { return pathRows_; }

  // Opens the folder of `row` as a user's double-click or Enter does.
  void openRow(int row);

 signals:
  void changed();

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  FolderService& folders_;
  // The rows' icons from the current style; made on the first folder shown after a style change.
  QIcon openIcon_;
  QIcon closedIcon_;
  std::string path_;
  int pathRows_ = 0;
  Entry entry_;
};

}  // namespace skorvatin::ui
