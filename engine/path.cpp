#include "engine/path.h"

namespace skorvatin {

std::string normalisedPath(std::string_view path) {
  std::string out;
  out.reserve(path.size());
  for (const char c : path) {
    if (!(c == '/' && !out.empty() && out.back() == '/')) out += c;
  }
  while (out.size() > 1 && out.back() == '/') out.pop_back();
  return out;
}

std::string folderPrefix(std::string_view path) {
  std::string prefix(path);
  if (prefix.empty() || prefix.back() != '/') prefix.push_back('/');
  return prefix;
}

std::string joinedPath(std::string_view folder, std::string_view name) {
  std::string path = folderPrefix(folder);
  path.append(name);
  return path;
}

std::string parentPath(std::string_view path) {
  const std::size_t slash = path.rfind('/');
  if (slash == 0 || slash == std::string_view::npos) return "/";
  return std::string(path.substr(0, slash));
}

}  // namespace skorvatin
