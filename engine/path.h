#pragma once

#include <string>
#include <string_view>

namespace skorvatin {

// Paths as the program writes them, shows them in errors and compares them: pure text, no look at
// the disk. A path names a folder without a trailing "/" except for the root.

// "/a//b/" → "/a/b": one spelling per folder, so that comparing paths tells folders apart and an
// error reads the same whatever the user typed.
std::string normalisedPath(std::string_view path);

// `path` with "/" appended unless it already ends in one, so the root gets no second separator.
// Every full path an operation forms or names in an error is this prefix followed by a bare name.
std::string folderPrefix(std::string_view path);

// The entry `name` of the folder `folder`: folderPrefix(folder) followed by `name`.
std::string joinedPath(std::string_view folder, std::string_view name);

// The folder that holds what `path` names ("/a/b" → "/a", "/a" → "/"); `path` is absolute and
// normalised. The root's parent is the root.
std::string parentPath(std::string_view path);

}  // namespace skorvatin
