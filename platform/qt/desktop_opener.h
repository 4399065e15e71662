#pragma once

#include <QString>
#include <QStringList>
#include <string>

namespace skorvatin::platform::qt {

// What the window asks of the desktop beyond its own controls: a file manager on a folder and
// the help page in a viewer. Tests put a recording fake in its place, so no test starts a real
// file manager or browser.
class DesktopOpener {
 public:
  virtual ~DesktopOpener() = default;
  // Shows `folder` in the desktop's file manager without waiting for it. Throws RunError when no
  // file manager can be started.
  virtual void openFolder(const std::string& folder) = 0;
  // Hands `file` to the application the desktop associates with it. True only when the file is
  // there to be read and a viewer was started for it.
  virtual bool openDocument(const std::string& file) = 0;
};

// A path as a file:// URL with every byte outside the unreserved set percent-encoded: spaces,
// quotes, ";", "$", "#", "?" and bytes that are not UTF-8 all survive the trip to the opener.
QString fileUrlOf(const std::string& path);

// The desktop's own opener, xdg-open, started with one argument and no shell in between.
class XdgOpener : public DesktopOpener {
 public:
  explicit XdgOpener(QString program = QStringLiteral("xdg-open")) : program_(std::move(program)) {}
  void openFolder(const std::string& folder) override;
  bool openDocument(const std::string& file) override;

  // The program and the argument list that open `path`; exposed so the hand-over is testable.
  QStringList argumentsFor(const std::string& path) const { return {fileUrlOf(path)}; }

 private:
  QString program_;
};

}  // namespace skorvatin::platform::qt
