#include "platform/no_replace_rename.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

#include "platform/fd.h"

#ifndef RENAME_NOREPLACE
#define RENAME_NOREPLACE (1 << 0)
#endif

namespace skorvatin::platform {

namespace {

constexpr int kNoHardLinks = -1;

// 0 when the name exists, errno otherwise.
[[nodiscard]] int look(int dir, const char* name, struct stat& st) {
  return ::fstatat(dir, name, &st, AT_SYMLINK_NOFOLLOW) == 0 ? 0 : errno;
}

// Last resort where neither the no-replace flag nor hard links exist (FUSE drivers on libfuse 2).
// Some such drivers delete the file on a rename they then refuse (fusefat, for a name with a
// letter beyond ASCII or a character FAT does not allow), so the name is tried first on an empty
// file, created exclusively, which also asks the driver itself whether the name is free; it is
// removed at once, so that a crash leaves nothing under a name the batch's journal expects to be
// free. A file created under the new name between the look and the rename is replaced: the check
// and the rename are separate calls and nothing on such a file system joins them.
[[nodiscard]] int checkedRename(int fromDir, const char* from, int toDir, const char* to) {
  Fd tried(::openat(toDir, to, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
  if (!tried.valid()) {
    // The folder is open and there, so a file the driver will not create means a name it will not
    // take: exfat-fuse answers ENOENT for one, fusefat EPERM.
    return errno == ENOENT || errno == EPERM ? EINVAL : errno;
  }
  struct stat made {};
  const bool seen = ::fstat(tried.get(), &made) == 0;
  tried.reset();
  // Only the empty file made here goes; anything else under the name now stays and takes it.
  struct stat now {};
  if (!seen || look(toDir, to, now) != 0 || !S_ISREG(now.st_mode) || now.st_size != 0 ||
      now.st_dev != made.st_dev || now.st_ino != made.st_ino || ::unlinkat(toDir, to, 0) != 0)
    return EEXIST;
  const int seenNow = look(toDir, to, now);
  if (seenNow == 0) return EEXIST;
  if (seenNow != ENOENT) return seenNow;
  return ::renameat(fromDir, from, toDir, to) == 0 ? 0 : errno;
}

}  // namespace

// link() the new name, then unlink() the old one. The error is kNoHardLinks where the file system
// has none.
MoveResult NoReplaceRename::linkThenUnlink(int fromDir, const char* from, int toDir, const char* to) {
  if (::linkat(fromDir, from, toDir, to, 0) != 0) {
    const int e = errno;
    // FAT and exFAT have no hard links (EPERM); an immutable file says EPERM too, and the
    // checked rename then reports that refusal itself.
    if (e == EPERM || e == EOPNOTSUPP || e == EMLINK || e == ENOSYS) return {kNoHardLinks};
    return {e};
  }
  if (::unlinkat(fromDir, from, 0) == 0) return {};
  const int e = errno;
  // Both names lead to the same file, so dropping the new one loses nothing.
  if (::unlinkat(toDir, to, 0) == 0) return {e};
  return {e, true};
}

MoveResult NoReplaceRename::move(int fromDir, const char* from, int toDir, const char* to) {
  switch (strategy_) {
    case RenameStrategy::Automatic: {
      if (::renameat2(fromDir, from, toDir, to, RENAME_NOREPLACE) == 0) return {};
      const int e = errno;
      if (e == ENOSYS) {
        strategy_ = RenameStrategy::LinkUnlink;
        return move(fromDir, from, toDir, to);
      }
      if (e != EINVAL) return {e};
      // EINVAL is either a file system that does not know the flag (libfuse 2 answers so when
      // the target is absent) or a name that this file system refuses. A target that exists
      // decides it; otherwise the link below gives the name's own verdict.
      struct stat st {};
      const int seen = look(toDir, to, st);
      if (seen == 0) return {EEXIST};
      if (seen != ENOENT) return {seen};
      // The flag stays the first call of later moves all the same: refused or not, it makes the
      // kernel ask the file system about the target afresh. A look of our own does not on FUSE,
      // which trusts a name for a while after looking it up, and in a case-blind folder a
      // spelling whose file has just been renamed away still answers until then.
      if (hardLinks_) {
        const MoveResult linked = linkThenUnlink(fromDir, from, toDir, to);
        if (linked.error != kNoHardLinks) return linked;
        hardLinks_ = false;
      }
      return {checkedRename(fromDir, from, toDir, to)};
    }
    case RenameStrategy::LinkUnlink: {
      const MoveResult linked = linkThenUnlink(fromDir, from, toDir, to);
      if (linked.error != kNoHardLinks) return linked;
      strategy_ = RenameStrategy::CheckedRename;
      return move(fromDir, from, toDir, to);
    }
    case RenameStrategy::CheckedRename:
      return {checkedRename(fromDir, from, toDir, to)};
  }
  return {EINVAL};
}

std::string temporaryName(std::string_view prefix, std::string_view suffix) {
  static std::atomic<unsigned> counter{0};
  std::string name(prefix);
  name += std::to_string(::getpid());
  name += '-';
  name += std::to_string(counter++);
  name += suffix;
  return name;
}

}  // namespace skorvatin::platform
