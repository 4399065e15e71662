#pragma once

#include <string>

namespace skorvatin::platform {

// The absolute folder that holds the running program file, with symbolic links resolved (an
// installed /usr/bin/skorvatin link leads to the real folder beside the help page). No trailing
// "/" except for the root itself.
std::string programFolder();

}  // namespace skorvatin::platform
