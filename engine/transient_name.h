#pragma once

#include <string>
#include <string_view>

namespace skorvatin {

// The names a file passes through on its way to a new one: hidden, and marked as the program's
// own, so that a restore finds a file there when a crash came between the two steps of a move.
inline constexpr std::string_view kTransientPrefix = ".skorvatin-";

inline std::string transientName(std::string_view tag) {
  return std::string(kTransientPrefix) + std::string(tag);
}

inline bool isTransientName(std::string_view name) {
  return name.substr(0, kTransientPrefix.size()) == kTransientPrefix;
}

}  // namespace skorvatin
