#pragma once

#include <string>
#include <string_view>

namespace skorvatin {

// Every temporary name the program gives a file starts with one of two prefixes.
//
// The names a file passes through on its way to a new one: hidden, and marked as the program's
// own, so that a restore finds a file there when a crash came between the two steps of a move.
inline constexpr std::string_view kTransientPrefix = ".skorvatin-";

// A journal being written lies in the journal folder under this prefix until it is complete. The
// journal folder's start clears every such file whose lock is free (left by a process that ended
// while it wrote one), and folders written by earlier versions hold their leftovers under it; the
// journal folder holds no user's files, so nothing there needs the mark of the prefix above.
inline constexpr std::string_view kJournalTemporaryPrefix = ".tmp-";

inline std::string transientName(std::string_view tag) {
  return std::string(kTransientPrefix) + std::string(tag);
}

inline bool isTransientName(std::string_view name) {
  return name.substr(0, kTransientPrefix.size()) == kTransientPrefix;
}

}  // namespace skorvatin
