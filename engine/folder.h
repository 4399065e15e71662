#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/path.h"

namespace skorvatin {

// What an entry of a folder is, as far as renaming cares. A link counts as what it leads to: the
// file list shows a link to a file as a file, and the folder list a link to a folder as a folder.
enum class EntryKind : std::uint8_t { File, Folder, Other };

// What stays with a file whatever it is called.
struct FileId {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  friend bool operator==(const FileId&, const FileId&) = default;
};

// How far a folder's numbers (inodes) tell its files apart, and for how long.
enum class Identity : std::uint8_t {
  Lasting,    // a file keeps its number across unmounts and restarts (ext4, XFS, btrfs, tmpfs)
  ThisMount,  // numbers are made up at mount time (vfat, exFAT, network shares): only until unmounted
  None,       // not even that: each spelling of a name may get a number of its own (FUSE drivers)
};

// What a file carries besides its number: where numbers do not last, its size and modification
// time recognise it again; where they do, a file that took over a freed number differs in its
// birth time (or, without one, in size and times).
struct FileStamp {
  std::uint64_t size = 0;
  std::int64_t modified = 0;  // nanoseconds since 1970
  std::int64_t born = 0;      // nanoseconds since 1970; 0 where the file system keeps no birth time
  friend bool operator==(const FileStamp&, const FileStamp&) = default;
};

// The volume a folder lies on, by what stays with the medium wherever it is mounted, and the
// folder's path inside it.
struct VolumeId {
  std::string uuid;    // the file system's UUID or serial, as blkid writes it; empty when unknown
  std::string label;   // empty when none
  std::string inside;  // "/" for the volume's root
  bool known() const { return !uuid.empty() || !label.empty(); }
  friend bool operator==(const VolumeId&, const VolumeId&) = default;
};

// One entry as a listing gives it. `inode` is the listing's own number for the entry; within one
// folder it names the same file as long as the file exists, under any name.
struct FolderEntry {
  std::string name;
  EntryKind kind = EntryKind::Other;
  std::uint64_t inode = 0;
};

using EntryVisitor = std::function<void(std::string_view name, EntryKind kind, std::uint64_t inode)>;

// One folder, opened once for one operation: every call works on the folder that was opened, even
// when its path is renamed or replaced meanwhile. Names are bare names, raw bytes, never re-encoded.
// Every failure throws RunError naming the full path of the file concerned.
class Folder {
 public:
  virtual ~Folder() = default;

  // The path the folder was opened under, without a trailing "/" except for the root.
  virtual const std::string& path() const = 0;

  // Every entry but "." and "..", hidden ones and subfolders included, in the file system's order.
  virtual void forEachEntry(const EntryVisitor& visit) = 0;

  // Whether the folder answers to other spellings of a name than the stored one (vfat, exFAT, a
  // casefolded ext4 folder), so that a listing alone cannot tell that a name is free. An
  // implementation may probe with a name from its last listing; without one it answers true.
  virtual bool ignoresCase() = 0;

  // What answers to `name`, links not followed; nothing when no entry does.
  virtual std::optional<FileId> lookUp(const std::string& name) = 0;

  // The folder's own device and inode. Its entries lie on the same device: the listing's inodes
  // with this device identify the files.
  virtual FileId id() = 0;

  // The longest bare name, in bytes, that the folder's file system takes.
  virtual std::size_t nameMax() = 0;

  // Gives the entry `from` the name `to` and never replaces another entry. Identical names succeed
  // without a change when the entry exists; a name that differs only in letter case renames the
  // file also where the file system ignores case. A name holding "/", ".", ".." or NUL is refused
  // (error 52) before any system call.
  virtual void rename(const std::string& from, const std::string& to) = 0;

  // Makes the renames done so far survive a crash or a power cut.
  virtual void sync() = 0;

  // How far this folder's numbers identify its files.
  virtual Identity identity() = 0;

  // The stamp of the entry stored under exactly `name`, links not followed; nothing when none is.
  virtual std::optional<FileStamp> stampOf(const std::string& name) = 0;

  // The stamps of the entries stored under `names`, in that order, as stampOf gives them one by
  // one. A folder on a share may look them up side by side; errors are those of the first name, in
  // order, that fails.
  virtual std::vector<std::optional<FileStamp>> stampsOf(std::span<const std::string> names) {
    std::vector<std::optional<FileStamp>> stamps;
    stamps.reserve(names.size());
    for (const std::string& name : names) stamps.push_back(stampOf(name));
    return stamps;
  }

  // The volume the folder lies on, and its path there. Asked once per batch: it may read the
  // system's mount table.
  virtual VolumeId volume() = 0;
};

// Opens folders. The engine reaches the disk through nothing else.
class FolderService {
 public:
  virtual ~FolderService() = default;
  // Throws RunError: 76 when the folder is gone or is no folder, 70 when it may not be read, ...
  virtual std::unique_ptr<Folder> open(const std::string& path) = 0;

  // Where the folder `volume.inside` of that volume can be opened now: one path per mount of the
  // volume (found by UUID, or by label when it has none) whose mounted part holds the folder.
  // Empty when the volume is not mounted.
  virtual std::vector<std::string> whereIs(const VolumeId& volume) = 0;
};

}  // namespace skorvatin
