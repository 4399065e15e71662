#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace skorvatin {

// A bare name names an entry directly in a folder. Anything with "/" would move the file elsewhere,
// "." and ".." name folders, the empty name names nothing, and a NUL byte would cut the name short
// at the system call and name another file.

// Why `name` is no bare name, in Polish, or nothing when it is one.
inline std::optional<std::string_view> bareNameProblem(std::string_view name) {
  if (name.find('\0') != std::string_view::npos) return "znak NUL w nazwie";
  if (name.find('/') != std::string_view::npos) return "nazwa wskazuje inny folder";
  if (name.empty() || name == "." || name == "..") return "to nie jest nazwa pliku";
  return std::nullopt;
}

inline bool isBareName(std::string_view name) {
  return !bareNameProblem(name);
}

// A bare name that a folder whose names hold at most `maxBytes` bytes can hold.
inline bool isBareName(std::string_view name, std::size_t maxBytes) {
  return name.size() <= maxBytes && isBareName(name);
}

// What the user is told about a name longer than a folder takes.
inline std::string nameTooLongText(std::size_t maxBytes) {
  return "nazwa dłuższa niż " + std::to_string(maxBytes) + " bajtów";
}

}  // namespace skorvatin
