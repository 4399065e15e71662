#pragma once

#include <string>
#include <vector>

#include "engine/folder.h"

namespace skorvatin {

// The subfolders the folder list shows under `path`, in list order: hidden ones (a leading ".")
// left out, links to folders counted as folders. Throws RunError when the folder cannot be read.
std::vector<std::string> readSubfolders(FolderService& folders, const std::string& path);

}  // namespace skorvatin
