#pragma once

#include <string>

namespace skorvatin::platform {

// The absolute folder that holds the running program file, with symbolic links resolved (an
// installed /usr/bin/skorvatin link leads to the real folder beside the help page). No trailing
// "/" except for the root itself.
std::string programFolder();

// The process's current folder, the one the program was started from; "/" when it has gone.
std::string currentFolder();

// Whether this user may rename files in `folder`: it is a folder he may write to and search.
// Read-only mounts count as not writable.
bool userMayRenameIn(const std::string& folder);

// Whether a program kept in `folder` opens its window there: only a copy the user keeps in a folder
// of his own, beside his photos, say. An installed copy lies under a system prefix or in a folder
// someone else owns, and its own files are no one's to rename, root's included. `folder` is
// absolute with links resolved.
bool startsInOwnFolder(const std::string& folder, bool ownedByUser, bool mayRename);

// The same question asked of the folder as it is on disk, for the effective user.
bool isOwnFolder(const std::string& folder);

}  // namespace skorvatin::platform
