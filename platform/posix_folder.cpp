#include "platform/posix_folder.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <optional>
#include <string_view>

#include "engine/case_fold.h"
#include "engine/run_error.h"
#include "engine/transient_name.h"
#include "platform/volumes.h"

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

// How far a file system's inode numbers go, by its type (statfs's f_type). Numbers that are stored on
// the disk last; FAT and exFAT make them up when a file is first looked at after mounting, and a
// network share can only give what its server's file system gives. FUSE drivers are taken at their
// worst: exfat-fuse and fusefat give every spelling of a name a number of its own and list
// 4294967295 for every entry, and nothing in statfs tells those from a driver that keeps one number
// per file (ntfs-3g, sshfs with -o use_ino). A type not in the table counts as ThisMount: a restore
// then recognises files by size and time, which works whatever the numbers do.
Identity identityOfType(std::uint32_t type) {
  struct Known {
    std::uint32_t type;
    Identity identity;
  };
  static constexpr Known kKnown[] = {
      {EXT4_SUPER_MAGIC, Identity::Lasting},       // ext2, ext3, ext4
      {XFS_SUPER_MAGIC, Identity::Lasting},        //
      {BTRFS_SUPER_MAGIC, Identity::Lasting},      //
      {TMPFS_MAGIC, Identity::Lasting},            // gone when unmounted, numbers and all
      {RAMFS_MAGIC, Identity::Lasting},            //
      {F2FS_SUPER_MAGIC, Identity::Lasting},       //
      {0x3153464a, Identity::Lasting},             // JFS
      {REISERFS_SUPER_MAGIC, Identity::Lasting},   //
      {NILFS_SUPER_MAGIC, Identity::Lasting},      //
      {0x2fc12fc1, Identity::Lasting},             // ZFS
      {0xca451a4e, Identity::Lasting},             // bcachefs
      {OVERLAYFS_SUPER_MAGIC, Identity::Lasting},  // the lower file's number, layers on one file system
      {ECRYPTFS_SUPER_MAGIC, Identity::Lasting},   // the lower file's number
      {0x5346544e, Identity::Lasting},             // NTFS in the kernel: the MFT record number
      {0x7366746e, Identity::Lasting},             // ntfs3: the MFT record number
      {0x482b, Identity::Lasting},                 // HFS+: the catalog node ID
      {UDF_SUPER_MAGIC, Identity::Lasting},        // the file entry's block
      {MSDOS_SUPER_MAGIC, Identity::ThisMount},    // vfat, msdos
      {EXFAT_SUPER_MAGIC, Identity::ThisMount},    //
      {0xff534d42, Identity::ThisMount},           // cifs
      {0xfe534d42, Identity::ThisMount},           // smb3
      {SMB_SUPER_MAGIC, Identity::ThisMount},      //
      {NFS_SUPER_MAGIC, Identity::ThisMount},      // the server's numbers, FAT's among them
      {V9FS_MAGIC, Identity::ThisMount},           //
      {FUSE_SUPER_MAGIC, Identity::None},          // fuse, fuseblk, every FUSE driver
  };
  for (const Known& k : kKnown)
    if (k.type == type) return k.identity;
  return Identity::ThisMount;
}

// A name unique within this process, hidden, short enough for any file system.
std::string temporaryName() {
  static std::atomic<unsigned> counter{0};
  return transientName(std::to_string(::getpid()) + "-" + std::to_string(counter++) + ".tmp");
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
    probeName_.clear();
    flippedListed_ = false;
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
        if (probeName_.empty()) {
          if (isCaseProbe(name)) {
            probeName_ = name;
            flippedProbe_ = flipped(probeName_);
          }
        } else if (name == flippedProbe_) {
          // Every name before the probe name failed isCaseProbe, which its flipped spelling passes:
          // only the names after it can be that spelling.
          flippedListed_ = true;
        }
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
      case ENOTEMPTY:
        if (sameFile(from, to)) {
          renameThroughTemporary(from, to);
          return;
        }
        throw RunError::fromErrno(EEXIST, full(to));
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

  Identity identity() override {
    if (!identity_) {
      struct statfs st {};
      if (::fstatfs(fd_, &st) != 0) throw RunError::fromErrno(errno, path_);
      identity_ = identityOfType(static_cast<std::uint32_t>(st.f_type));
    }
    return *identity_;
  }

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

  VolumeId volume() override { return volumeOfFolder(fd_, path_); }

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
  bool probeCase() {
    if (probeName_.empty()) return true;
    struct stat original {
    }, other{};
    if (::fstatat(fd_, probeName_.c_str(), &original, AT_SYMLINK_NOFOLLOW) != 0) return true;
    if (::fstatat(fd_, flippedProbe_.c_str(), &other, AT_SYMLINK_NOFOLLOW) != 0) return errno != ENOENT;
    // Where numbers are given per spelling, both spellings answering proves nothing by number: the
    // flipped one is another file only if the listing holds it under that very spelling.
    if (identity() == Identity::None) return !flippedListed_;
    return other.st_dev == original.st_dev && other.st_ino == original.st_ino;
  }

  static std::string flipped(std::string name) {
    for (char& c : name) {
      if (isAsciiLetter(c)) c = static_cast<char>(c ^ 0x20);
    }
    return name;
  }

  // Whether `from` and `to`, both answering, are one file under two spellings.
  bool sameFile(const std::string& from, const std::string& to) {
    // Numbers given per spelling cannot say; a case-blind folder holds one entry per folded name.
    if (identity() == Identity::None) return ignoresCase() && foldedName(from) == foldedName(to);
    struct stat oldSt {
    }, newSt{};
    if (::fstatat(fd_, from.c_str(), &oldSt, AT_SYMLINK_NOFOLLOW) != 0)
      throw RunError::fromErrno(errno, full(from));
    return ::fstatat(fd_, to.c_str(), &newSt, AT_SYMLINK_NOFOLLOW) == 0 && oldSt.st_dev == newSt.st_dev &&
           oldSt.st_ino == newSt.st_ino;
  }

  // 0 when the name exists, errno otherwise.
  int look(const std::string& name, struct stat& st) const {
    return ::fstatat(fd_, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 ? 0 : errno;
  }

  // One move that never replaces a file: 0 or errno (EEXIST when the target name is taken). Steps
  // down to a weaker strategy when the file system turns the stronger one down. `firstAttempt` is
  // the errno of a no-replace rename already tried.
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
        // The flag stays the first call of later moves all the same: refused or not, it makes the
        // kernel ask the file system about the target afresh. A look of our own does not on FUSE,
        // which trusts a name for a while after looking it up, and in a case-blind folder a
        // spelling whose file has just been renamed away still answers until then.
        if (hardLinks_) {
          const int linked = linkThenUnlink(from, to);
          if (linked != kNoHardLinks) return linked;
          hardLinks_ = false;
        }
        return checkedRename(from, to);
      }
      case RenameStrategy::LinkUnlink: {
        const int linked = linkThenUnlink(from, to);
        if (linked != kNoHardLinks) return linked;
        return stepDown(RenameStrategy::CheckedRename, from, to);
      }
      case RenameStrategy::CheckedRename:
        return checkedRename(from, to);
    }
    return EINVAL;
  }

  static constexpr int kNoHardLinks = -1;

  // link() the new name, then unlink() the old one: 0, errno, or kNoHardLinks where the file system
  // has none.
  int linkThenUnlink(const std::string& from, const std::string& to) {
    if (::linkat(fd_, from.c_str(), fd_, to.c_str(), 0) != 0) {
      const int e = errno;
      // FAT and exFAT have no hard links (EPERM); an immutable file says EPERM too, and the
      // checked rename then reports that refusal itself.
      if (e == EPERM || e == EOPNOTSUPP || e == EMLINK || e == ENOSYS) return kNoHardLinks;
      return e;
    }
    if (::unlinkat(fd_, from.c_str(), 0) == 0) return 0;
    const int e = errno;
    // Both names lead to the same file, so dropping the new one loses nothing.
    if (::unlinkat(fd_, to.c_str(), 0) == 0) return e;
    throw RunError(RunError::fromErrno(e, {}).number(), full(from),
                   std::string(std::strerror(e)) + "; plik ma teraz także nazwę " + full(to));
  }

  // Last resort where neither the no-replace flag nor hard links exist (FUSE drivers on libfuse 2).
  // Some such drivers delete the file on a rename they then refuse (fusefat, for a name with a
  // letter beyond ASCII or a character FAT does not allow), so the name is tried first on an empty
  // file, created exclusively, which also asks the driver itself whether the name is free; it is
  // removed at once, so that a crash leaves nothing under a name the batch's journal expects to be
  // free. A file created under the new name between the look and the rename is replaced: the check
  // and the rename are separate calls and nothing on such a file system joins them.
  int checkedRename(const std::string& from, const std::string& to) {
    const int tried = ::openat(fd_, to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (tried < 0) {
      // The folder is open and there, so a file the driver will not create means a name it will not
      // take: exfat-fuse answers ENOENT for one, fusefat EPERM.
      return errno == ENOENT || errno == EPERM ? EINVAL : errno;
    }
    struct stat made {};
    const bool seen = ::fstat(tried, &made) == 0;
    ::close(tried);
    // Only the empty file made here goes; anything else under the name now stays and takes it.
    struct stat now {};
    if (!seen || look(to, now) != 0 || !S_ISREG(now.st_mode) || now.st_size != 0 ||
        now.st_dev != made.st_dev || now.st_ino != made.st_ino || ::unlinkat(fd_, to.c_str(), 0) != 0)
      return EEXIST;
    const int seenNow = look(to, now);
    if (seenNow == 0) return EEXIST;
    if (seenNow != ENOENT) return seenNow;
    return ::renameat(fd_, from.c_str(), fd_, to.c_str()) == 0 ? 0 : errno;
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
  std::string probeName_;       // the first name of the last listing a case-blind folder would fold
  std::string flippedProbe_;    // that name with the case of its letters flipped
  bool flippedListed_ = false;  // whether the last listing held the flipped spelling as well
  std::optional<bool> ignoresCase_;
  std::optional<Identity> identity_;
  bool hardLinks_ = true;  // until a file system without the no-replace flag refuses a link
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

std::vector<std::string> PosixFolders::whereIs(const VolumeId& volume) {
  return placesOfVolume(volume);
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
