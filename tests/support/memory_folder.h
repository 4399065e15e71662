#pragma once

// A disk held in memory behind the engine's folder seam, for engine tests that need no real file
// system: folders of entries with a kind, an inode and a content (the entry's first name, so a
// swapped or overwritten file shows), renames with the rules the real service keeps, and
// failures injected where a test wants them.

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "engine/bare_name.h"
#include "engine/case_fold.h"
#include "engine/folder.h"
#include "engine/run_error.h"

namespace skorvatin::testing {

struct MemoryEntry {
  EntryKind kind = EntryKind::File;
  std::uint64_t inode = 0;
  std::string content;
  FileStamp stamp;
};

class MemoryDisk : public FolderService {
 public:
  static constexpr std::uint64_t kDevice = 42;

  struct FolderState {
    std::uint64_t inode = 0;
    std::map<std::string, MemoryEntry> entries;
    bool caseBlind = false;  // answers to any letter case of a name, like vfat
    std::size_t nameMax = 255;
    Identity identity = Identity::Lasting;
    VolumeId volume;  // where whereIs finds the folder; unknown unless a test sets it
  };

  // Creates the folder (empty) when it is not there yet.
  FolderState& folder(const std::string& path) {
    FolderState& state = folders_[path];
    if (state.inode == 0) state.inode = nextInode_++;
    return state;
  }
  std::uint64_t folderInode(const std::string& path) { return folder(path).inode; }
  bool hasFolder(const std::string& path) const { return folders_.count(path) != 0; }
  void removeFolder(const std::string& path) { folders_.erase(path); }

  MemoryEntry& add(const std::string& folderPath, const std::string& name, EntryKind kind = EntryKind::File) {
    MemoryEntry& e = folder(folderPath).entries[name];
    const std::uint64_t inode = nextInode_++;
    // Every file its own size, time and birth, as files copied one by one would have.
    const auto time = static_cast<std::int64_t>(inode) * 1'000'000'000;
    e = {kind, inode, name, {name.size(), time, time + 1}};
    return e;
  }

  // The folder's medium unmounted and mounted again at `to`: the folder and, where numbers last
  // only a mount, every file get new numbers.
  void remount(const std::string& from, const std::string& to) {
    FolderState state = folders_.at(from);
    folders_.erase(from);
    state.inode = nextInode_++;
    if (state.identity != Identity::Lasting) {
      for (auto& [name, entry] : state.entries) entry.inode = nextInode_++;
    }
    folders_[to] = std::move(state);
  }
  void addAll(const std::string& folderPath, const std::vector<std::string>& names) {
    for (const std::string& n : names) add(folderPath, n);
  }

  // Every name in the folder, sorted by raw bytes.
  std::vector<std::string> names(const std::string& folderPath) const {
    std::vector<std::string> out;
    const auto it = folders_.find(folderPath);
    if (it == folders_.end()) return out;
    for (const auto& [name, entry] : it->second.entries) out.push_back(name);
    return out;
  }
  std::string contentOf(const std::string& folderPath, const std::string& name) const {
    return folders_.at(folderPath).entries.at(name).content;
  }
  std::uint64_t inodeOf(const std::string& folderPath, const std::string& name) const {
    return folders_.at(folderPath).entries.at(name).inode;
  }

  // Injected failures: the renames with these 1-based call numbers fail with `failErrno`.
  std::set<int> failingRenames;
  int failErrno = EIO;
  // Runs before every rename call, failing or not, with the call's number.
  std::function<void(int call, const std::string& from, const std::string& to)> beforeRename;

  // Runs at every sync, before it counts.
  std::function<void()> onSync;

  int renameCalls = 0;
  int listings = 0;
  int lookUps = 0;
  int syncs = 0;

  std::unique_ptr<Folder> open(const std::string& path) override;

  std::vector<std::string> whereIs(const VolumeId& volume) override {
    std::vector<std::string> out;
    for (const auto& [path, state] : folders_) {
      if (volume.known() && state.volume == volume) out.push_back(path);
    }
    return out;
  }

  // How a case-blind folder compares names: simple case folding, character by character.
  static std::string folded(const std::string& name) { return foldedName(name); }

 private:
  friend class MemoryFolder;
  std::map<std::string, FolderState> folders_;
  std::uint64_t nextInode_ = 1000;
};

class MemoryFolder final : public Folder {
 public:
  MemoryFolder(MemoryDisk& disk, std::string path) : disk_(disk), path_(std::move(path)) {}

  const std::string& path() const override { return path_; }

  void forEachEntry(const EntryVisitor& visit) override {
    ++disk_.listings;
    // Copied first: a visitor may not change the folder, but a test hook might.
    const auto entries = state().entries;
    for (const auto& [name, entry] : entries) visit(name, entry.kind, entry.inode);
  }

  bool ignoresCase() override { return state().caseBlind; }

  std::optional<FileId> lookUp(const std::string& name) override {
    ++disk_.lookUps;
    const auto found = find(name);
    if (!found) return std::nullopt;
    // Some FUSE drivers number every spelling of a name on its own.
    const std::uint64_t spelling = state().identity == Identity::None && *found != name ? 500'000 : 0;
    return FileId{MemoryDisk::kDevice, state().entries.at(*found).inode + spelling};
  }

  FileId id() override { return {MemoryDisk::kDevice, disk_.folderInode(path_)}; }
  std::size_t nameMax() override { return state().nameMax; }

  void rename(const std::string& from, const std::string& to) override {
    const int call = ++disk_.renameCalls;
    if (disk_.beforeRename) disk_.beforeRename(call, from, to);
    if (!isBareName(from)) throw RunError(err::BadFileName, full(from));
    if (!isBareName(to)) throw RunError(err::BadFileName, full(to));
    if (!disk_.hasFolder(path_)) throw RunError::fromErrno(ENOENT, full(from));
    if (disk_.failingRenames.count(call) != 0) throw RunError::fromErrno(disk_.failErrno, full(from));
    if (to.size() > state().nameMax) throw RunError::fromErrno(ENAMETOOLONG, full(to));
    const auto source = find(from);
    if (!source || *source != from) throw RunError::fromErrno(ENOENT, full(from));
    if (from == to) return;
    const auto target = find(to);
    if (target && *target != from) throw RunError::fromErrno(EEXIST, full(to));
    auto& entries = state().entries;
    MemoryEntry moved = entries.at(from);
    entries.erase(from);
    entries[to] = moved;
  }

  void sync() override {
    if (disk_.onSync) disk_.onSync();
    ++disk_.syncs;
  }

  Identity identity() override { return state().identity; }

  std::optional<FileStamp> stampOf(const std::string& name) override {
    const auto& entries = state().entries;
    const auto it = entries.find(name);
    if (it == entries.end()) return std::nullopt;
    return it->second.stamp;
  }

  VolumeId volume() override { return state().volume; }

 private:
  MemoryDisk::FolderState& state() { return disk_.folder(path_); }
  std::string full(const std::string& name) const { return folderPrefix(path_) + name; }
  // The stored name that answers to `name`.
  std::optional<std::string> find(const std::string& name) {
    const auto& entries = state().entries;
    if (entries.count(name) != 0) return name;
    if (!state().caseBlind) return std::nullopt;
    const std::string key = MemoryDisk::folded(name);
    for (const auto& [stored, entry] : entries) {
      if (MemoryDisk::folded(stored) == key) return stored;
    }
    return std::nullopt;
  }

  MemoryDisk& disk_;
  std::string path_;
};

inline std::unique_ptr<Folder> MemoryDisk::open(const std::string& path) {
  if (!hasFolder(path)) throw RunError(err::PathNotFound, path);
  return std::make_unique<MemoryFolder>(*this, path);
}

}  // namespace skorvatin::testing
