#include "engine/folder_snapshot.h"

#include <cstdint>

#include "engine/case_fold.h"
#include "engine/checked.h"

namespace skorvatin {

FolderSnapshot::FolderSnapshot(Folder& folder, std::size_t expected) : folder_(folder) {
  entries_.reserve(expected + 64);
  names_.reserve(24 * (expected + 64));
  folder_.forEachEntry([this](std::string_view name, EntryKind kind, std::uint64_t inode) {
    // Offsets are 32-bit: four gigabytes of names in one folder is no folder anyone renames in;
    // and no file system stores a name of more than 255 bytes.
    if (names_.size() + name.size() > UINT32_MAX || entries_.size() + 1 >= UINT32_MAX || name.size() > 255) {
      checked::overflow();
    }
    entries_.push_back(
        {inode, static_cast<std::uint32_t>(names_.size()), static_cast<std::uint8_t>(name.size()), kind});
    names_.append(name);
  });
  byName_ = NameIndex<NameOfEntry>(entries_.size(), NameOfEntry{this});
  for (std::size_t i = 0; i < entries_.size(); ++i) byName_.insert(i);
  // Asked after the listing: the folder probes with a name it has just listed.
  exact_ = !folder_.ignoresCase();
  device_ = folder_.id().device;
}

FolderSnapshot::Entry FolderSnapshot::entry(std::size_t i) const {
  const Stored& s = entries_[i];
  return {nameOf(s), s.kind, s.inode};
}

std::size_t FolderSnapshot::find(std::string_view name) const {
  return byName_.find(name);
}

std::optional<FileId> FolderSnapshot::idOf(const std::string& name) const {
  if (exact_ || folder_.identity() == Identity::None) {
    const std::size_t i = holderOf(name);
    if (i == npos) return std::nullopt;
    if (i != outside) return idAt(i);
  }
  return folder_.lookUp(name);
}

std::size_t FolderSnapshot::holderOf(const std::string& name) const {
  const std::size_t stored = find(name);
  if (stored != npos || exact_) return stored;
  if (folder_.identity() == Identity::None) {
    // Such a folder numbers each spelling of a name apart: the entry that answers to `name` is the
    // one stored under a spelling that folds alike.
    if (byFoldedName_.empty()) {
      for (std::size_t i = 0; i < entries_.size(); ++i)
        byFoldedName_.emplace(foldedName(nameOf(entries_[i])), i);
    }
    const auto it = byFoldedName_.find(foldedName(name));
    if (it != byFoldedName_.end()) return it->second;
    return folder_.lookUp(name) ? outside : npos;
  }
  const auto found = folder_.lookUp(name);
  if (!found) return npos;
  if (found->device != device_) return outside;
  const std::vector<std::size_t> same = withInode(found->inode);
  return same.empty() ? outside : same.front();
}

std::vector<std::size_t> FolderSnapshot::withInode(std::uint64_t inode) const {
  if (byInode_.empty()) {
    for (std::size_t i = 0; i < entries_.size(); ++i) byInode_.emplace(entries_[i].inode, i);
  }
  std::vector<std::size_t> out;
  const auto [begin, end] = byInode_.equal_range(inode);
  for (auto it = begin; it != end; ++it) out.push_back(it->second);
  return out;
}

std::string FolderSnapshot::key(std::string_view name) const {
  return exact_ ? std::string(name) : foldedName(name);
}

ListingSource FolderSnapshot::withNames(std::size_t count, RenamedEntry renamed) const {
  return [this, count, renamed = std::move(renamed)](const EntryVisitor& visit) {
    std::vector<bool> moved(entries_.size(), false);
    for (std::size_t k = 0; k < count; ++k) {
      const auto [index, name] = renamed(k);
      const Stored& s = entries_[index];
      visit(*name, s.kind, s.inode);
      moved[index] = true;
    }
    for (std::size_t i = 0; i < entries_.size(); ++i) {
      if (!moved[i]) visit(nameOf(entries_[i]), entries_[i].kind, entries_[i].inode);
    }
  };
}

}  // namespace skorvatin
