#include "platform/posix_folder.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <optional>
#include <string_view>

#include "engine/run_error.h"

#ifndef RENAME_NOREPLACE
#define RENAME_NOREPLACE (1 << 0)
#endif

namespace skorvatin::platform {

namespace {

bool isAsciiLetter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// A name a case-blind file system folds like any other: plain ASCII with a letter in it. Names with
// other bytes are left out because a case-blind folder may compare a name that is not valid UTF-8
// byte for byte, which would make the folder look case-sensitive.
bool isCaseProbe(std::string_view name) {
  bool letter = false;
  for (const char c : name) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
    letter = letter || isAsciiLetter(c);
  }
  return letter;
}

EntryKind kindOf(const struct stat& st) {
  if (S_ISREG(st.st_mode)) return EntryKind::File;
  if (S_ISDIR(st.st_mode)) return EntryKind::Folder;
  return EntryKind::Other;
}

// A name unique within this process, hidden, short enough for any file system.
std::string temporaryName() {
  static std::atomic<unsigned> counter{0};
  return ".skorvatin-" + std::to_string(::getpid()) + "-" + std::to_string(counter++) + ".tmp";
}

class PosixFolder final : public Folder {
 public:
  PosixFolder(std::string path, int fd, RenameStrategy strategy)
      : path_(std::move(path)), prefix_(folderPrefix(path_)), fd_(fd), strategy_(strategy) {}
  ~PosixFolder() override { ::close(fd_); }
  PosixFolder(const PosixFolder&) = delete;
  PosixFolder& operator=(const PosixFolder&) = delete;

  const std::string& path() const override { return path_; }

  void forEachEntry(const EntryVisitor& visit) override {
    if (::lseek(fd_, 0, SEEK_SET) != 0) throw RunError::fromErrno(errno, path_);
    // getdents64 straight into one buffer: a folder of 32767 names takes a few dozen calls.
    alignas(dirent64) std::array<char, 64 * 1024> buffer;
    for (;;) {
      const ssize_t got = ::getdents64(fd_, buffer.data(), buffer.size());
      if (got < 0) throw RunError::fromErrno(errno, path_);
      if (got == 0) break;
      for (ssize_t at = 0; at < got;) {
        const auto* entry = reinterpret_cast<const dirent64*>(buffer.data() + at);
        at += entry->d_reclen;
        const std::string_view name(entry->d_name);
        if (name == "." || name == "..") continue;
        if (probeName_.empty() && isCaseProbe(name)) probeName_ = name;
        visitEntry(*entry, name, visit);
      }
    }
  }

  bool ignoresCase() override {
    if (!ignoresCase_) ignoresCase_ = probeCase();
    return *ignoresCase_;
  }

  std::optional<FileId> lookUp(const std::string& name) override {
    requireBareName(name, name);
    struct stat st {};
    if (::fstatat(fd_, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) return FileId{st.st_dev, st.st_ino};
    if (errno == ENOENT || errno == ENOTDIR) return std::nullopt;
    throw RunError::fromErrno(errno, full(name));
  }

  FileId id() override {
    struct stat st {};
    if (::fstat(fd_, &st) != 0) throw RunError::fromErrno(errno, path_);
    return {st.st_dev, st.st_ino};
  }

  std::size_t nameMax() override {
    if (nameMax_ == 0) {
      const long limit = ::fpathconf(fd_, _PC_NAME_MAX);
      nameMax_ = limit > 0 ? static_cast<std::size_t>(limit) : 255;
    }
    return nameMax_;
  }

  void rename(const std::string& from, const std::string& to) override {
    requireBareName(from, from);
    requireBareName(to, to);
    if (from == to) {
      // Nothing to do, but a file that vanished must not be reported as renamed.
      struct stat st {};
      if (::fstatat(fd_, from.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        throw RunError::fromErrno(errno, full(from));
      return;
    }
    const std::size_t limit = nameMax();
    for (const std::string* name : {&from, &to}) {
      if (name->size() > limit) {
        throw RunError(err::BadFileName, full(*name),
                       "nazwa dłuższa niż " + std::to_string(limit) + " bajtów");
      }
    }

    // The common case costs one system call, like a bare rename: a batch of thousands of files
    // spends its time here. Only a refusal looks closer.
    int firstAttempt = 0;
    if (strategy_ == RenameStrategy::Automatic) {
      if (::renameat2(fd_, from.c_str(), fd_, to.c_str(), RENAME_NOREPLACE) == 0) return;
      firstAttempt = errno;
    }
    const int e = move(from, to, firstAttempt);
    if (e == 0) return;
    switch (e) {
      case EEXIST:
      case ENOTEMPTY: {
        struct stat oldSt {
        }, newSt{};
        if (::fstatat(fd_, from.c_str(), &oldSt, AT_SYMLINK_NOFOLLOW) != 0) {
          throw RunError::fromErrno(errno, full(from));
        }
        if (::fstatat(fd_, to.c_str(), &newSt, AT_SYMLINK_NOFOLLOW) == 0 && oldSt.st_dev == newSt.st_dev &&
            oldSt.st_ino == newSt.st_ino) {
          renameThroughTemporary(from, to);
          return;
        }
        throw RunError::fromErrno(EEXIST, full(to));
      }
      case EINVAL:
      case EILSEQ:
      case ENAMETOOLONG:
        throw RunError::fromErrno(e, full(to));
      default:
        throw RunError::fromErrno(e, full(from));
    }
  }

  void sync() override {
    if (::fsync(fd_) != 0) throw RunError::fromErrno(errno, path_);
  }

  Identity identity() override { return Identity::Lasting; }

  std::optional<FileStamp> stampOf(const std::string& name) override {
    requireBareName(name, name);
    struct statx st {};
    if (::statx(fd_, name.c_str(), AT_SYMLINK_NOFOLLOW | AT_STATX_SYNC_AS_STAT,
                STATX_SIZE | STATX_MTIME | STATX_BTIME, &st) != 0) {
      if (errno == ENOENT || errno == ENOTDIR) return std::nullopt;
      throw RunError::fromErrno(errno, full(name));
    }
    const auto ns = [](const statx_timestamp& t) {
      return static_cast<std::int64_t>(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
    };
    return FileStamp{st.stx_size, ns(st.stx_mtime), (st.stx_mask & STATX_BTIME) != 0 ? ns(st.stx_btime) : 0};
  }

  VolumeId volume() override { return {}; }

 private:
  std::string full(const std::string& name) const { return prefix_ + name; }

  // Anything with "/" would move the file elsewhere, "." and ".." name folders, and a NUL byte would
  // cut the name short at the system call and name another file.
  void requireBareName(const std::string& name, const std::string& shown) const {
    if (name.find('\0') != std::string::npos)
      throw RunError(err::BadFileName, full(shown), "znak NUL w nazwie");
    if (name.find('/') != std::string::npos) {
      throw RunError(err::BadFileName, full(shown), "nazwa wskazuje inny folder");
    }
    if (name.empty() || name == "." || name == "..") {
      throw RunError(err::BadFileName, full(shown), "to nie jest nazwa pliku");
    }
  }

  void visitEntry(const dirent64& entry, std::string_view name, const EntryVisitor& visit) {
    EntryKind kind = EntryKind::Other;
    std::uint64_t inode = entry.d_ino;
    bool looked = false;
    struct stat st {};
    if (entry.d_type == DT_REG) {
      kind = EntryKind::File;
    } else if (entry.d_type == DT_DIR) {
      kind = EntryKind::Folder;
    } else if (entry.d_type == DT_LNK || entry.d_type == DT_UNKNOWN) {
      // A link counts as what it leads to; a dangling one as neither file nor folder.
      if (::fstatat(fd_, entry.d_name, &st, 0) == 0) kind = kindOf(st);
      if (entry.d_type == DT_UNKNOWN && ::fstatat(fd_, entry.d_name, &st, AT_SYMLINK_NOFOLLOW) == 0) {
        looked = true;
      }
    }
    // The listing's numbers must name files as a look-up does. Most file systems give the real
    // inode in the listing; FAT makes numbers up for files it has not loaded. One look settles
    // which kind of file system this is; where they differ every entry is looked up.
    if (!inodesChecked_ && entry.d_type == DT_REG) {
      inodesChecked_ = true;
      listingInodes_ =
          ::fstatat(fd_, entry.d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && st.st_ino == entry.d_ino;
      looked = listingInodes_;
    }
    if (!listingInodes_ && !looked) looked = ::fstatat(fd_, entry.d_name, &st, AT_SYMLINK_NOFOLLOW) == 0;
    if (looked) inode = st.st_ino;
    visit(name, kind, inode);
  }

  // Whether the folder finds a name it holds under the name's case-flipped spelling too. Anything
  // short of a clear "no" (no name to try, the name gone meanwhile, a look-up that fails) answers
  // yes, which only costs speed.
  bool probeCase() const {
    if (probeName_.empty()) return true;
    std::string flipped = probeName_;
    for (char& c : flipped) {
      if (isAsciiLetter(c)) c = static_cast<char>(c ^ 0x20);
    }
    struct stat original {
    }, other{};
    if (::fstatat(fd_, probeName_.c_str(), &original, AT_SYMLINK_NOFOLLOW) != 0) return true;
    if (::fstatat(fd_, flipped.c_str(), &other, AT_SYMLINK_NOFOLLOW) != 0) return errno != ENOENT;
    return other.st_dev == original.st_dev && other.st_ino == original.st_ino;
  }

  // 0 when the name exists, errno otherwise.
  int look(const std::string& name, struct stat& st) const {
    return ::fstatat(fd_, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 ? 0 : errno;
  }

  // One move that never replaces a file: 0 or errno (EEXIST when the target name is taken). Steps
  // down to a weaker strategy, and stays there for later moves in this folder, when the file system
  // turns the stronger one down. `firstAttempt` is the errno of a no-replace rename already tried.
  int move(const std::string& from, const std::string& to, int firstAttempt = 0) {
    switch (strategy_) {
      case RenameStrategy::Automatic: {
        int e = firstAttempt;
        if (e == 0) {
          if (::renameat2(fd_, from.c_str(), fd_, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
          e = errno;
        }
        if (e == ENOSYS) return stepDown(RenameStrategy::LinkUnlink, from, to);
        if (e != EINVAL) return e;
        // EINVAL is either a file system that does not know the flag (libfuse 2 answers so when
        // the target is absent) or a name that this file system refuses. A target that exists
        // decides it; otherwise the link below gives the name's own verdict.
        struct stat st {};
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
          if (e == EPERM || e == EOPNOTSUPP || e == EMLINK || e == ENOSYS) {
            return stepDown(RenameStrategy::CheckedRename, from, to);
          }
          return e;
        }
        if (::unlinkat(fd_, from.c_str(), 0) == 0) return 0;
        const int e = errno;
        // Both names lead to the same file, so dropping the new one loses nothing.
        if (::unlinkat(fd_, to.c_str(), 0) == 0) return e;
        throw RunError(RunError::fromErrno(e, {}).number(), full(from),
                       std::string(std::strerror(e)) + "; plik ma teraz także nazwę " + full(to));
      }
      case RenameStrategy::CheckedRename: {
        // Last resort where neither the no-replace flag nor hard links exist. A file created
        // under the new name between this look and the rename is replaced: the check and the
        // rename are two calls and nothing on such a file system joins them.
        struct stat st {};
        const int seen = look(to, st);
        if (seen == 0) return EEXIST;
        if (seen != ENOENT) return seen;
        return ::renameat(fd_, from.c_str(), fd_, to.c_str()) == 0 ? 0 : errno;
      }
    }
    return EINVAL;
  }

  int stepDown(RenameStrategy weaker, const std::string& from, const std::string& to) {
    strategy_ = weaker;
    return move(from, to);
  }

  // Old and new name lead to the same file: the file system ignores letter case, and a direct move
  // is refused (EEXIST) or would be a silent no-op. Two moves through a free temporary name give the
  // file the new spelling and keep its identity.
  void renameThroughTemporary(const std::string& from, const std::string& to) {
    std::string temporary;
    int e = EEXIST;
    for (int attempt = 0; attempt < 100 && e == EEXIST; ++attempt) {
      temporary = temporaryName();
      e = move(from, temporary);
    }
    if (e != 0) throw RunError::fromErrno(e, full(from));

    const int second = move(temporary, to);
    if (second == 0) return;
    // A separate hard link under the new name, or a file that took the name meanwhile: back to
    // the old name.
    if (move(temporary, from) == 0) throw RunError::fromErrno(second, full(to));
    RunError error(RunError::fromErrno(second, {}).number(), full(to),
                   std::string(std::strerror(second)) + "; plik ma teraz nazwę " + full(temporary));
    error.addMisplaced({full(temporary), full(from)});
    throw error;
  }

  std::string path_;
  std::string prefix_;
  int fd_;
  RenameStrategy strategy_;
  std::size_t nameMax_ = 0;
  std::string probeName_;
  std::optional<bool> ignoresCase_;
  bool inodesChecked_ = false;
  bool listingInodes_ = true;
};

// "/a//b/" → "/a/b", so that errors and folder prefixes read the same whatever the caller typed.
std::string normalised(const std::string& path) {
  std::string out;
  for (const char c : path) {
    if (!(c == '/' && !out.empty() && out.back() == '/')) out += c;
  }
  while (out.size() > 1 && out.back() == '/') out.pop_back();
  return out;
}

}  // namespace

PosixFolders& systemFolders() {
  static PosixFolders folders;
  return folders;
}

std::unique_ptr<Folder> PosixFolders::open(const std::string& path) {
  const std::string folder = normalised(path);
  if (folder.empty() || folder.find('\0') != std::string::npos) {
    throw RunError(err::PathNotFound, path, "to nie jest ścieżka folderu");
  }
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) {
    const int e = errno;
    if (e == ENOENT || e == ENOTDIR) throw RunError(err::PathNotFound, folder, "folder nie istnieje");
    throw RunError::fromErrno(e, folder);
  }
  return std::make_unique<PosixFolder>(folder, fd, strategy_);
}

}  // namespace skorvatin::platform
