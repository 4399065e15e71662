#include "engine/folder.h"

namespace skorvatin {

std::string folderPrefix(std::string_view path) {
  std::string prefix(path);
  if (prefix.empty() || prefix.back() != '/') prefix.push_back('/');
  return prefix;
}

}  // namespace skorvatin
