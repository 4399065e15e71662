#include "platform/safe_rename.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "engine/run_error.h"

#ifndef RENAME_NOREPLACE
#define RENAME_NOREPLACE (1 << 0)
#endif

namespace skorvatin::platform {

namespace {

// A path cut at its last "/": `prefix` keeps the slash (empty for a bare name), so two paths lie
// in the same folder exactly when their prefixes are equal bytes.
struct PathParts {
  std::string prefix;
  std::string name;

  std::string folderToOpen() const {
    if (prefix.empty()) return ".";
    if (prefix == "/") return "/";
    return prefix.substr(0, prefix.size() - 1);
  }
};

PathParts splitPath(const std::string& path) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) return {{}, path};
  return {path.substr(0, slash + 1), path.substr(slash + 1)};
}

bool isBareName(std::string_view name) {
  return !name.empty() && name != "." && name != "..";
}

RunError errorWithNote(int errnum, const std::string& file, const std::string& note) {
  const int number = RunError::fromErrno(errnum, {}).number();
  return RunError(number, file, std::string(std::strerror(errnum)) + "; " + note);
}

int renameat2NoReplace(int dirfd, const char* from, const char* to) {
  return ::renameat2(dirfd, from, dirfd, to, RENAME_NOREPLACE);
}

// The folder both names lie in, opened once; every call below works relative to it, so a folder
// renamed or replaced meanwhile cannot send the second step of a move somewhere else.
class Folder {
 public:
  Folder(const PathParts& parts, RenameStrategy strategy) : prefix_(parts.prefix), strategy_(strategy) {
    const std::string folder = parts.folderToOpen();
    fd_ = ::open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (fd_ < 0) {
      const int e = errno;
      if (e == ENOENT || e == ENOTDIR) throw RunError(err::PathNotFound, folder, std::strerror(e));
      throw RunError::fromErrno(e, folder);
    }
  }
  ~Folder() { ::close(fd_); }
  Folder(const Folder&) = delete;
  Folder& operator=(const Folder&) = delete;

  std::string full(const std::string& name) const { return prefix_ + name; }

  // 0 when the name exists, errno otherwise.
  int look(const std::string& name, struct stat& st) const {
    return ::fstatat(fd_, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 ? 0 : errno;
  }

  // One move that never replaces a file: 0 or errno (EEXIST when the target name is taken).
  // Steps down to a weaker strategy, and stays there for later moves in this folder, when the
  // file system turns the stronger one down.
  // `firstAttempt` is the errno of a no-replace rename the caller already tried, if any.
  int move(const std::string& from, const std::string& to, int firstAttempt = 0) {
    switch (strategy_) {
      case RenameStrategy::Automatic: {
        int e = firstAttempt;
        if (e == 0) {
          if (renameat2NoReplace(fd_, from.c_str(), to.c_str()) == 0) return 0;
          e = errno;
        }
        if (e == ENOSYS) return stepDown(RenameStrategy::LinkUnlink, from, to);
        if (e != EINVAL) return e;
        // EINVAL is either a file system that does not know the flag (libfuse 2 answers so when
        // the target is absent) or a name that this file system refuses. A target that exists
        // decides it; otherwise the link below gives the name's own verdict.
        struct stat st;
        const int seen = look(to, st);
        if (seen == 0) return EEXIST;
        if (seen != ENOENT) return seen;
        return stepDown(RenameStrategy::LinkUnlink, from, to);
      }
      case RenameStrategy::LinkUnlink: {
        if (::linkat(fd_, from.c_str(), fd_, to.c_str(), 0) != 0) {
          const int e = errno;
          // FAT and exFAT have no hard links (EPERM); an immutable file says EPERM too, and the
          // checked rename then reports that refusal itself.
          if (e == EPERM || e == EOPNOTSUPP || e == EMLINK || e == ENOSYS)
            return stepDown(RenameStrategy::CheckedRename, from, to);
          return e;
        }
        if (::unlinkat(fd_, from.c_str(), 0) == 0) return 0;
        const int e = errno;
        // Both names lead to the same file, so dropping the new one loses nothing.
        if (::unlinkat(fd_, to.c_str(), 0) == 0) return e;
        throw errorWithNote(e, full(from), "plik ma teraz także nazwę " + full(to));
      }
      case RenameStrategy::CheckedRename: {
        // Last resort where neither the no-replace flag nor hard links exist. A file created
        // under the new name between this look and the rename is replaced: the check and the
        // rename are two calls and nothing on such a file system joins them.
        struct stat st;
        const int seen = look(to, st);
        if (seen == 0) return EEXIST;
        if (seen != ENOENT) return seen;
        return ::renameat(fd_, from.c_str(), fd_, to.c_str()) == 0 ? 0 : errno;
      }
    }
    return EINVAL;
  }

 private:
  int stepDown(RenameStrategy weaker, const std::string& from, const std::string& to) {
    strategy_ = weaker;
    return move(from, to);
  }

  std::string prefix_;
  RenameStrategy strategy_;
  int fd_ = -1;
};

// A name no user picks, unique within this process, short enough for any file system.
std::string temporaryName() {
  static std::atomic<unsigned> counter{0};
  return ".skorvatin-" + std::to_string(::getpid()) + "-" + std::to_string(counter++) + ".tmp";
}

// Old and new name lead to the same file: the file system ignores letter case, and a direct move
// is refused (EEXIST) or would be a silent no-op. Two moves through a free temporary name give the
// file the new spelling and keep its identity.
void renameThroughTemporary(Folder& folder, const std::string& oldName, const std::string& newName) {
  std::string temporary;
  int e = EEXIST;
  for (int attempt = 0; attempt < 100 && e == EEXIST; ++attempt) {
    temporary = temporaryName();
    e = folder.move(oldName, temporary);
  }
  if (e != 0) throw RunError::fromErrno(e, folder.full(oldName));

  const int second = folder.move(temporary, newName);
  if (second == 0) return;
  // A separate hard link under the new name, or a file that took the name meanwhile: back to
  // the old name.
  if (folder.move(temporary, oldName) == 0) throw RunError::fromErrno(second, folder.full(newName));
  RunError error =
      errorWithNote(second, folder.full(newName), "plik ma teraz nazwę " + folder.full(temporary));
  error.addMisplaced({folder.full(temporary), folder.full(oldName)});
  throw error;
}

// The longest bare name the folder's file system takes. Asked once per folder: a batch renames
// thousands of files in one folder, and the kernel refuses an over-long name anyway.
std::size_t nameLimitOf(const PathParts& parts) {
  thread_local std::string cachedPrefix;
  thread_local std::size_t cachedLimit = 0;
  if (cachedLimit == 0 || parts.prefix != cachedPrefix) {
    const long limit = ::pathconf(parts.folderToOpen().c_str(), _PC_NAME_MAX);
    cachedLimit = limit > 0 ? static_cast<std::size_t>(limit) : 255;
    cachedPrefix = parts.prefix;
  }
  return cachedLimit;
}

}  // namespace

void renameNoReplace(const std::string& oldPath, const std::string& newPath, RenameStrategy strategy) {
  // A NUL byte would cut the path short at the system call and name another file.
  if (oldPath.find('\0') != std::string::npos) throw RunError(err::BadFileName, oldPath, "znak NUL w nazwie");
  if (newPath.find('\0') != std::string::npos) throw RunError(err::BadFileName, newPath, "znak NUL w nazwie");

  if (oldPath == newPath) {
    // Nothing to do, but a file that vanished must not be reported as renamed.
    struct stat st;
    if (::fstatat(AT_FDCWD, oldPath.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
      throw RunError::fromErrno(errno, oldPath);
    return;
  }

  const PathParts oldParts = splitPath(oldPath);
  const PathParts newParts = splitPath(newPath);
  if (!isBareName(oldParts.name)) throw RunError(err::BadFileName, oldPath, "to nie jest nazwa pliku");
  // A new name holding "/" could point into a subfolder, and the rename would move the file there.
  if (oldParts.prefix != newParts.prefix)
    throw RunError(err::BadFileName, newPath, "nowa nazwa wskazuje inny folder");
  if (!isBareName(newParts.name)) throw RunError(err::BadFileName, newPath, "to nie jest nazwa pliku");

  const std::size_t limit = nameLimitOf(oldParts);
  auto checkLength = [limit](const std::string& path, const PathParts& parts) {
    if (parts.name.size() > limit)
      throw RunError(err::BadFileName, path, "nazwa dłuższa niż " + std::to_string(limit) + " bajtów");
  };
  checkLength(oldPath, oldParts);
  checkLength(newPath, newParts);

  // The common case costs one system call, like a bare rename: a batch of thousands of files
  // spends its time here. Only a refusal opens the folder and looks closer.
  int firstAttempt = 0;
  if (strategy == RenameStrategy::Automatic) {
    if (::renameat2(AT_FDCWD, oldPath.c_str(), AT_FDCWD, newPath.c_str(), RENAME_NOREPLACE) == 0) return;
    firstAttempt = errno;
  }

  Folder folder(oldParts, strategy);
  const int e = folder.move(oldParts.name, newParts.name, firstAttempt);
  if (e == 0) return;
  switch (e) {
    case EEXIST:
    case ENOTEMPTY: {
      struct stat oldSt, newSt;
      const int oldSeen = folder.look(oldParts.name, oldSt);
      if (oldSeen != 0) throw RunError::fromErrno(oldSeen, oldPath);
      if (folder.look(newParts.name, newSt) == 0 && oldSt.st_dev == newSt.st_dev &&
          oldSt.st_ino == newSt.st_ino) {
        renameThroughTemporary(folder, oldParts.name, newParts.name);
        return;
      }
      throw RunError::fromErrno(EEXIST, newPath);
    }
    case EINVAL:
    case EILSEQ:
    case ENAMETOOLONG:
      throw RunError::fromErrno(e, newPath);
    default:
      throw RunError::fromErrno(e, oldPath);
  }
}

void renameNoReplace(const std::string& oldPath, const std::string& newPath) {
  renameNoReplace(oldPath, newPath, RenameStrategy::Automatic);
}

void SafeRenameService::Rename(const std::string& oldPath, const std::string& newPath) {
  renameNoReplace(oldPath, newPath);
}

}  // namespace skorvatin::platform
