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

}  // namespace skorvatin::platform
