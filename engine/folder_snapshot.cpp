#include "engine/folder_snapshot.h"

#include "engine/case_fold.h"

namespace skorvatin {

FolderSnapshot::FolderSnapshot(Folder& folder) : folder_(folder) {
  folder_.forEachEntry([this](std::string_view name, EntryKind kind, std::uint64_t inode) {
    entries_.push_back({std::string(name), kind, inode});
  });
  byName_.reserve(entries_.size());
  for (std::size_t i = 0; i < entries_.size(); ++i) byName_.emplace(entries_[i].name, i);
  // Asked after the listing: the folder probes with a name it has just listed.
  exact_ = !folder_.ignoresCase();
  device_ = folder_.id().device;
}

std::size_t FolderSnapshot::find(std::string_view name) const {
  const auto it = byName_.find(name);
  return it == byName_.end() ? npos : it->second;
}

std::optional<FileId> FolderSnapshot::idOf(const std::string& name) const {
  if (!exact_) return folder_.lookUp(name);
  const std::size_t i = find(name);
  if (i == npos) return std::nullopt;
  return FileId{device_, entries_[i].inode};
}

std::string FolderSnapshot::key(std::string_view name) const {
  return exact_ ? std::string(name) : foldedName(name);
}

ListingSource FolderSnapshot::withNames(
    const std::vector<std::pair<std::size_t, const std::string*>>& renamed) const {
  return [this, &renamed](const EntryVisitor& visit) {
    std::vector<bool> moved(entries_.size(), false);
    for (const auto& [index, name] : renamed) {
      const FolderEntry& e = entries_[index];
      visit(*name, e.kind, e.inode);
      moved[index] = true;
    }
    for (std::size_t i = 0; i < entries_.size(); ++i) {
      if (!moved[i]) visit(entries_[i].name, entries_[i].kind, entries_[i].inode);
    }
  };
}

}  // namespace skorvatin
