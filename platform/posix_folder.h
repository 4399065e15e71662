#pragma once

#include <memory>
#include <string>

#include "engine/folder.h"
#include "platform/no_replace_rename.h"

namespace skorvatin::platform {

// The real folders: one directory descriptor per opened folder, every call relative to it.
class PosixFolders final : public FolderService {
 public:
  explicit PosixFolders(RenameStrategy strategy = RenameStrategy::Automatic) : strategy_(strategy) {}
  std::unique_ptr<Folder> open(const std::string& path) override;
  std::vector<std::string> whereIs(const VolumeId& volume) override;

 private:
  RenameStrategy strategy_;
};

// One service for the whole program where no other is handed in.
PosixFolders& systemFolders();

}  // namespace skorvatin::platform
