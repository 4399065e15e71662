#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "engine/conversion_pass.h"
#include "engine/file_list.h"
#include "engine/run_error.h"

namespace skorvatin {

// What a button would do to the listed files, worked out as its operation plans them and with
// nothing renamed: for the look a user takes before clicking.
struct RenamePreview {
  std::size_t renamed = 0;    // files whose name would change
  std::size_t unchanged = 0;  // files the operation would leave under their own name
  // Up to three files as old and new name: the first, one from the middle and the last of those
  // whose names would change, in list order.
  std::vector<std::pair<std::string, std::string>> samples;
  // What the check before the first rename refuses; nothing is renamed then.
  std::optional<RunError> refusal;
};

// Fills the counts and the samples from every listed file's old and new names, in list order.
RenamePreview previewOf(const std::vector<std::pair<std::string, std::string>>& names);

// "Zmień plikom wielkość liter" and "Inne zamiany": the pass's new names, and a listed file that is
// gone, which stops the pass before its first rename.
RenamePreview previewConversion(const FileList& list, const NameTransform& transform);

// The preview as the buttons' tooltip shows it, in Polish, lines separated by "\n", ending with the
// reminder of Ctrl+Z.
std::string previewText(const RenamePreview& preview);

}  // namespace skorvatin
