#include "platform/posix_folder.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "engine/bare_name.h"
#include "engine/case_fold.h"
#include "engine/run_error.h"
#include "engine/transient_name.h"
#include "platform/fd.h"
#include "platform/side_by_side.h"
#include "platform/volumes.h"

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

class PosixFolder final : public Folder {
 public:
  PosixFolder(std::string path, Fd fd, RenameStrategy strategy)
      : path_(std::move(path)), prefix_(folderPrefix(path_)), fd_(std::move(fd)), moves_(strategy) {}

  const std::string& path() const override { return path_; }

  void forEachEntry(const EntryVisitor& visit) override {
    if (::lseek(fd(), 0, SEEK_SET) != 0) throw RunError::fromErrno(errno, path_);
    probeName_.clear();
    flippedListed_ = false;
    // getdents64 straight into one buffer: a folder of 32767 names takes a few dozen calls.
    alignas(dirent64) std::array<char, 64 * 1024> buffer;
    for (;;) {
      const ssize_t got = ::getdents64(fd(), buffer.data(), buffer.size());
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
    requireBareName(name);
    struct stat st {};
    if (::fstatat(fd(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) return FileId{st.st_dev, st.st_ino};
    if (errno == ENOENT || errno == ENOTDIR) return std::nullopt;
    throw RunError::fromErrno(errno, full(name));
  }

  FileId id() override {
    struct stat st {};
    if (::fstat(fd(), &st) != 0) throw RunError::fromErrno(errno, path_);
    return {st.st_dev, st.st_ino};
  }

  std::size_t nameMax() override {
    if (nameMax_ == 0) {
      const long limit = ::fpathconf(fd(), _PC_NAME_MAX);
      nameMax_ = limit > 0 ? static_cast<std::size_t>(limit) : 255;
    }
    return nameMax_;
  }

  void rename(const std::string& from, const std::string& to) override {
    requireBareName(from);
    requireBareName(to);
    if (from == to) {
      // Nothing to do, but a file that vanished must not be reported as renamed.
      struct stat st {};
      if (::fstatat(fd(), from.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        throw RunError::fromErrno(errno, full(from));
      return;
    }
    const std::size_t limit = nameMax();
    for (const std::string* name : {&from, &to}) {
      if (name->size() > limit) {
        throw RunError(err::BadFileName, full(*name), nameTooLongText(limit));
      }
    }

    // The common case costs one system call, like a bare rename: a batch of thousands of files
    // spends its time here. Only a refusal looks closer.
    const int e = move(from, to);
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
    if (::fsync(fd()) != 0) throw RunError::fromErrno(errno, path_);
    // On vfat the folder's fsync leaves a rename in memory (a power cut right after it found the
    // files under their old names): where numbers are the mount's own, the whole medium is synced.
    if (identity() != Identity::Lasting && ::syncfs(fd()) != 0) throw RunError::fromErrno(errno, path_);
  }

  Identity identity() override {
    if (!identity_) {
      struct statfs st {};
      if (::fstatfs(fd(), &st) != 0) throw RunError::fromErrno(errno, path_);
      identity_ = identityOfType(static_cast<std::uint32_t>(st.f_type));
    }
    return *identity_;
  }

  std::optional<FileStamp> stampOf(const std::string& name) override {
    requireBareName(name);
    std::optional<FileStamp> stamp;
    if (const int e = readStamp(name, stamp); e != 0) throw RunError::fromErrno(e, full(name));
    return stamp;
  }

  std::vector<std::optional<FileStamp>> stampsOf(std::span<const std::string> names) override {
    for (const std::string& name : names) requireBareName(name);
    std::vector<std::optional<FileStamp>> stamps(names.size());
    std::vector<int> errors(names.size(), 0);
    visitSideBySide(names.size(), [&](std::size_t i) { errors[i] = readStamp(names[i], stamps[i]); });
    for (std::size_t i = 0; i < names.size(); ++i) {
      if (errors[i] != 0) throw RunError::fromErrno(errors[i], full(names[i]));
    }
    return stamps;
  }

  VolumeId volume() override { return volumeOfFolder(fd(), path_); }

 private:
  std::string full(const std::string& name) const { return prefix_ + name; }

  int fd() const { return fd_.get(); }

  // The stamp of `name`, or nothing when no entry is stored under it; the errno of any other failure.
  int readStamp(const std::string& name, std::optional<FileStamp>& stamp) const {
    struct statx st {};
    if (::statx(fd(), name.c_str(), AT_SYMLINK_NOFOLLOW | AT_STATX_SYNC_AS_STAT,
                STATX_SIZE | STATX_MTIME | STATX_BTIME, &st) != 0) {
      return errno == ENOENT || errno == ENOTDIR ? 0 : errno;
    }
    const auto ns = [](const statx_timestamp& t) {
      return static_cast<std::int64_t>(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
    };
    stamp = FileStamp{st.stx_size, ns(st.stx_mtime), (st.stx_mask & STATX_BTIME) != 0 ? ns(st.stx_btime) : 0};
    return 0;
  }

  void requireBareName(const std::string& name) const {
    if (const auto problem = bareNameProblem(name))
      throw RunError(err::BadFileName, full(name), std::string(*problem));
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
      if (::fstatat(fd(), entry.d_name, &st, 0) == 0) kind = kindOf(st);
      if (entry.d_type == DT_UNKNOWN && ::fstatat(fd(), entry.d_name, &st, AT_SYMLINK_NOFOLLOW) == 0) {
        looked = true;
      }
    }
    // The listing's numbers must name files as a look-up does. Most file systems give the real
    // inode in the listing; FAT makes numbers up for files it has not loaded. One look settles
    // which kind of file system this is; where they differ every entry is looked up.
    if (!inodesChecked_ && entry.d_type == DT_REG) {
      inodesChecked_ = true;
      listingInodes_ =
          ::fstatat(fd(), entry.d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && st.st_ino == entry.d_ino;
      looked = listingInodes_;
    }
    if (!listingInodes_ && !looked) looked = ::fstatat(fd(), entry.d_name, &st, AT_SYMLINK_NOFOLLOW) == 0;
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
    if (::fstatat(fd(), probeName_.c_str(), &original, AT_SYMLINK_NOFOLLOW) != 0) return true;
    if (::fstatat(fd(), flippedProbe_.c_str(), &other, AT_SYMLINK_NOFOLLOW) != 0) return errno != ENOENT;
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
    if (::fstatat(fd(), from.c_str(), &oldSt, AT_SYMLINK_NOFOLLOW) != 0)
      throw RunError::fromErrno(errno, full(from));
    return ::fstatat(fd(), to.c_str(), &newSt, AT_SYMLINK_NOFOLLOW) == 0 && oldSt.st_dev == newSt.st_dev &&
           oldSt.st_ino == newSt.st_ino;
  }

  // One move that never replaces a file: 0 or errno (EEXIST when the target name is taken).
  [[nodiscard]] int move(const std::string& from, const std::string& to) {
    const MoveResult moved = moves_.move(fd(), from.c_str(), fd(), to.c_str());
    if (moved.bothNames) {
      throw RunError(errorNumberFor(moved.error), full(from),
                     std::string(std::strerror(moved.error)) + "; plik ma teraz także nazwę " + full(to));
    }
    return moved.error;
  }

  // Old and new name lead to the same file: the file system ignores letter case, and a direct move
  // is refused (EEXIST) or would be a silent no-op. Two moves through a free temporary name give the
  // file the new spelling and keep its identity.
  void renameThroughTemporary(const std::string& from, const std::string& to) {
    std::string temporary;
    int e = EEXIST;
    for (int attempt = 0; attempt < 100 && e == EEXIST; ++attempt) {
      temporary = temporaryName(kTransientPrefix, ".tmp");
      e = move(from, temporary);
    }
    if (e != 0) throw RunError::fromErrno(e, full(from));

    const int second = move(temporary, to);
    if (second == 0) return;
    // A separate hard link under the new name, or a file that took the name meanwhile: back to
    // the old name.
    if (move(temporary, from) == 0) throw RunError::fromErrno(second, full(to));
    RunError error(errorNumberFor(second), full(to),
                   std::string(std::strerror(second)) + "; plik ma teraz nazwę " + full(temporary));
    error.addMisplaced({full(temporary), full(from)});
    throw error;
  }

  std::string path_;
  std::string prefix_;
  Fd fd_;
  NoReplaceRename moves_;
  std::size_t nameMax_ = 0;
  std::string probeName_;       // the first name of the last listing a case-blind folder would fold
  std::string flippedProbe_;    // that name with the case of its letters flipped
  bool flippedListed_ = false;  // whether the last listing held the flipped spelling as well
  std::optional<bool> ignoresCase_;
  std::optional<Identity> identity_;
  bool inodesChecked_ = false;
  bool listingInodes_ = true;
};

}  // namespace

PosixFolders& systemFolders() {
  static PosixFolders folders;
  return folders;
}

std::vector<std::string> PosixFolders::whereIs(const VolumeId& volume) {
  return placesOfVolume(volume);
}

std::unique_ptr<Folder> PosixFolders::open(const std::string& path) {
  const std::string folder = normalisedPath(path);
  if (folder.empty() || folder.find('\0') != std::string::npos) {
    throw RunError(err::PathNotFound, path, "to nie jest ścieżka folderu");
  }
  Fd fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!fd.valid()) {
    const int e = errno;
    if (e == ENOENT || e == ENOTDIR) throw RunError(err::PathNotFound, folder, "folder nie istnieje");
    throw RunError::fromErrno(e, folder);
  }
  return std::make_unique<PosixFolder>(folder, std::move(fd), strategy_);
}

}  // namespace skorvatin::platform
