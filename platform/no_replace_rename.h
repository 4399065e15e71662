#pragma once

#include <string>
#include <string_view>

namespace skorvatin::platform {

// How a rename that must not replace anything is done. Automatic starts with
// renameat2(RENAME_NOREPLACE) and steps down to the others only when the file system does not
// support it; tests force the fall-backs to check them on an ordinary file system.
enum class RenameStrategy {
  Automatic,
  LinkUnlink,     // link() the new name, then unlink() the old one: link never replaces
  CheckedRename,  // look for the target, then plain renameat(): for file systems without hard links
};

// What one move gave.
struct [[nodiscard]] MoveResult {
  int error = 0;  // 0, or the errno it stopped with; EEXIST when the new name is taken
  // The new name was linked, and neither the old name nor then the new one could be removed: the
  // file now answers to both. Only link() and unlink() get there.
  bool bothNames = false;
};

// Every move of the program that must never replace a file goes through one of these. It remembers
// what the file system turned down, so the next move starts where this one succeeded; one per folder
// (or pair of folders on one file system).
class NoReplaceRename {
 public:
  explicit NoReplaceRename(RenameStrategy strategy = RenameStrategy::Automatic) : strategy_(strategy) {}

  // Moves `from` in the folder `fromDir` to `to` in `toDir`, never replacing what is there.
  MoveResult move(int fromDir, const char* from, int toDir, const char* to);

 private:
  MoveResult linkThenUnlink(int fromDir, const char* from, int toDir, const char* to);

  RenameStrategy strategy_;
  bool hardLinks_ = true;  // until a file system without the no-replace flag refuses a link
};

// A name no other process and no earlier call of this one has made: `prefix`, this process's id, a
// count, `suffix`. The prefixes are in engine/transient_name.h.
std::string temporaryName(std::string_view prefix, std::string_view suffix = {});

}  // namespace skorvatin::platform
