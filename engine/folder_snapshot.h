#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "engine/file_list.h"
#include "engine/folder.h"
#include "engine/name_index.h"

namespace skorvatin {

// One listing of a folder, taken when an operation starts: every entry with its kind and identity,
// found by name without asking the file system again. In a folder that compares names byte for
// byte the listing alone tells whether a name is taken; in a case-blind one the folder is asked.
//
// A batch reads it for every one of up to 32767 files, so the names lie in one buffer and are
// found through one table: no allocation per entry.
class FolderSnapshot {
 public:
  static constexpr std::size_t npos = static_cast<std::size_t>(-1);

  struct Entry {
    std::string_view name;
    EntryKind kind;
    std::uint64_t inode;
  };

  // `expected` entries are made room for up front: growing the listing as it comes touches and
  // copies far more memory than the listing needs.
  explicit FolderSnapshot(Folder& folder, std::size_t expected = 0);
  // The name table points back at the snapshot: it stays where it was made.
  FolderSnapshot(const FolderSnapshot&) = delete;
  FolderSnapshot& operator=(const FolderSnapshot&) = delete;

  // True when names compare byte for byte here, so the listing is the whole truth about names.
  bool exact() const { return exact_; }

  std::size_t size() const { return entries_.size(); }
  Entry entry(std::size_t i) const;
  // The entry stored under exactly `name`, or npos.
  std::size_t find(std::string_view name) const;

  // The file that answers to `name` now: from the listing where names are exact, from the folder
  // where it ignores case (a listing has no entry for "A.TXT" when "a.txt" answers to it).
  std::optional<FileId> idOf(const std::string& name) const;

  // Something that answers to a name but is not in the listing: a mount point, a file made since.
  static constexpr std::size_t outside = npos - 1;
  // The entry that answers to `name` now: the one stored under it, or in a case-blind folder the
  // one stored under another spelling of it; `outside`, or npos when the name is free.
  std::size_t holderOf(const std::string& name) const;
  // The entries stored with this number: one, or several for hard links of one file.
  std::vector<std::size_t> withInode(std::uint64_t inode) const;
  FileId idAt(std::size_t i) const { return {device_, entries_[i].inode}; }

  // The form in which two names are the same name in this folder: the name itself where names are
  // exact, its case folding where the folder ignores case.
  std::string key(std::string_view name) const;

  // The k-th of the entries an operation renamed: its index in the listing and its new name.
  using RenamedEntry = std::function<std::pair<std::size_t, const std::string*>(std::size_t k)>;

  // The listing as a file list would read it now, with `count` renamed entries under their new
  // names: what an operation that made exactly those renames would find. The renamed entries come
  // first, in the order given.
  ListingSource withNames(std::size_t count, RenamedEntry renamed) const;

 private:
  struct Stored {
    std::uint64_t inode;
    std::uint32_t offset;
    std::uint8_t length;  // a name holds at most 255 bytes
    EntryKind kind;
  };
  struct NameOfEntry {
    const FolderSnapshot* snapshot;
    std::string_view operator()(std::size_t i) const { return snapshot->nameOf(snapshot->entries_[i]); }
  };
  std::string_view nameOf(const Stored& s) const { return {names_.data() + s.offset, s.length}; }

  Folder& folder_;
  bool exact_ = false;
  std::uint64_t device_ = 0;
  std::string names_;            // every name, one after the other
  std::vector<Stored> entries_;  // in the file system's order
  NameIndex<NameOfEntry> byName_{0, NameOfEntry{this}};
  // Folded name to entry, made on first need in a folder whose numbers differ per spelling; number
  // to entries, made on first need.
  mutable std::unordered_map<std::string, std::size_t> byFoldedName_;
  mutable std::unordered_multimap<std::uint64_t, std::size_t> byInode_;
};

}  // namespace skorvatin
