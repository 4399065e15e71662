#include "engine/subfolders.h"

#include <algorithm>

#include "engine/name_order.h"

namespace skorvatin {

std::vector<std::string> readSubfolders(FolderService& folders, const std::string& path) {
  std::vector<std::string> names;
  folders.open(path)->forEachEntry([&](std::string_view name, EntryKind kind, std::uint64_t) {
    if (kind == EntryKind::Folder && name.front() != '.') names.emplace_back(name);
  });
  std::sort(names.begin(), names.end(),
            [](const std::string& a, const std::string& b) { return nameLess(a, b); });
  return names;
}

}  // namespace skorvatin
