#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <string>

namespace skorvatin::platform::qt {

// What the window asks of the desktop beyond its own controls: a file manager on a folder and
// the help page in a viewer. Tests put a recording fake in its place, so no test starts a real
// file manager or browser.
class DesktopOpener {
 public:
  // Runs later, from the event loop, when an opener that did start ends without success; the
  // text says how it ended, for the report.
  using Failed = std::function<void(const std::string& how)>;

  virtual ~DesktopOpener() = default;
  // Shows `folder` in the desktop's file manager without waiting for it. Throws RunError, naming
  // the program that is missing, when no file manager can be started.
  virtual void openFolder(const std::string& folder, Failed failed) = 0;
  // Hands `file` to the application the desktop associates with it. Throws RunError when the file
  // is not there to be read, or, naming the program that is missing, when no viewer can be started.
  virtual void openDocument(const std::string& file, Failed failed) = 0;
};

// A path as a file:// URL with every byte outside the unreserved set percent-encoded: spaces,
// quotes, ";", "$", "#", "?" and bytes that are not UTF-8 all survive the trip to the opener.
QString fileUrlOf(const std::string& path);

// The desktop's own opener, xdg-open, started with one argument and no shell in between. Its exit
// status is watched from the event loop (a QCoreApplication must exist); the window never waits
// for it, and the opener outlives the window: xdg-open may be waiting on the viewer it started.
class XdgOpener : public DesktopOpener {
 public:
  explicit XdgOpener(QString program = QStringLiteral("xdg-open")) : program_(std::move(program)) {}
  void openFolder(const std::string& folder, Failed failed) override;
  void openDocument(const std::string& file, Failed failed) override;

 private:
  // Throws RunError naming the opener when it cannot be started.
  void start(const std::string& path, Failed failed) const;

  QString program_;
};

}  // namespace skorvatin::platform::qt
