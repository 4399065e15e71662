#include "platform/qt/desktop_opener.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QByteArray>
#include <QProcess>
#include <cerrno>

#include "engine/run_error.h"

namespace skorvatin::platform::qt {

QString fileUrlOf(const std::string& path) {
  const QByteArray encoded = QByteArray::fromStdString(path).toPercentEncoding("/");
  return QStringLiteral("file://") + QString::fromLatin1(encoded);
}

void XdgOpener::openFolder(const std::string& folder) {
  // startDetached hands the list straight to exec: no shell ever sees the folder's name.
  if (!QProcess::startDetached(program_, argumentsFor(folder)))
    throw RunError(err::FileNotFound, program_.toStdString(), "nie można uruchomić menedżera plików");
}

bool XdgOpener::openDocument(const std::string& file) {
  // The opener starts happily for a file that is not there and then fails out of sight, so the
  // file is checked here: it must open for reading and be a file, not a folder.
  const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return false;
  struct stat st {};
  const bool regular = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  ::close(fd);
  return regular && QProcess::startDetached(program_, argumentsFor(file));
}

}  // namespace skorvatin::platform::qt
