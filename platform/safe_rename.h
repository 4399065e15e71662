#pragma once

#include <string>

#include "engine/services.h"

namespace skorvatin::platform {

// Gives the file at oldPath the name of newPath, in the same folder, and never replaces another
// file. Paths are raw bytes, used as given. Identical paths succeed without change (the file must
// exist); a new name that differs only in letter case renames the file also where the file system
// ignores case. Throws RunError (52 bad name or another folder, 53 missing file, 58 the name is
// taken, 70 refused, 75 busy ...) naming the file concerned; a failed call leaves the file where it
// was, or says in the error where it is now.
void renameNoReplace(const std::string& oldPath, const std::string& newPath);

// How a single no-replace move is done. Automatic starts with renameat2(RENAME_NOREPLACE) and
// steps down to the others only when the file system does not support it; tests force the
// fall-backs to check them on an ordinary file system.
enum class RenameStrategy {
  Automatic,
  LinkUnlink,     // link() the new name, then unlink() the old one: link never replaces
  CheckedRename,  // look for the target, then plain renameat(): for file systems without hard links
};

void renameNoReplace(const std::string& oldPath, const std::string& newPath, RenameStrategy strategy);

class SafeRenameService : public skorvatin::RenameService {
 public:
  void Rename(const std::string& oldPath, const std::string& newPath) override;
};

}  // namespace skorvatin::platform
