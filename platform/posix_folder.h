#pragma once

#include <memory>
#include <string>

#include "engine/folder.h"

namespace skorvatin::platform {

// How a rename that must not replace anything is done. Automatic starts with
// renameat2(RENAME_NOREPLACE) and steps down to the others only when the file system does not
// support it; tests force the fall-backs to check them on an ordinary file system.
enum class RenameStrategy {
  Automatic,
  LinkUnlink,     // link() the new name, then unlink() the old one: link never replaces
  CheckedRename,  // look for the target, then plain renameat(): for file systems without hard links
};

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
