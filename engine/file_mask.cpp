#include "engine/file_mask.h"

#include "engine/case_fold.h"
#include "engine/utf8.h"

namespace skorvatin {

namespace {
void appendFolded(std::u32string& out, std::string_view text) {
  for (const utf8::Unit u : utf8::units(text)) out.push_back(foldedKey(u));
}

std::string_view trimBlanks(std::string_view s) {
  const auto blank = [](char c) { return c == ' ' || c == '\t'; };
  while (!s.empty() && blank(s.front())) s.remove_prefix(1);
  while (!s.empty() && blank(s.back())) s.remove_suffix(1);
  return s;
}
}  // namespace

FileMask::FileMask(std::string_view pattern) {
  std::size_t start = 0;
  while (start <= pattern.size()) {
    std::size_t end = pattern.find(';', start);
    if (end == std::string_view::npos) end = pattern.size();
    const std::string_view one = trimBlanks(pattern.substr(start, end - start));
    if (!one.empty()) {
      if (one == "*" || one == "*.*") matchAll_ = true;
      Alternative alt;
      appendFolded(alt.folded, one);
      alt.dotStarOptional = alt.folded.size() >= 2 && alt.folded.ends_with(U".*");
      alternatives_.push_back(std::move(alt));
    }
    start = end + 1;
  }
  // Nothing typed at all: show every file rather than an unexplained empty list.
  if (alternatives_.empty()) matchAll_ = true;
}

bool FileMask::wildcardMatch(std::u32string_view mask, std::u32string_view name) {
  std::size_t m = 0;
  std::size_t n = 0;
  std::size_t starAt = std::u32string_view::npos;
  std::size_t resumeAt = 0;
  while (n < name.size()) {
    // The mask's "*" is tested first: Linux names may hold a "*" themselves, and matching it
    // literally would spend the wildcard on one character with no way back.
    if (m < mask.size() && mask[m] == U'*') {
      starAt = m++;
      resumeAt = n;
    } else if (m < mask.size() && (mask[m] == U'?' || mask[m] == name[n])) {
      ++m, ++n;
    } else if (starAt != std::u32string_view::npos) {
      m = starAt + 1;
      n = ++resumeAt;
    } else {
      return false;
    }
  }
  while (m < mask.size() && mask[m] == U'*') ++m;
  return m == mask.size();
}

bool FileMask::matches(std::string_view name) const {
  if (matchAll_) return true;
  thread_local std::u32string folded;
  folded.clear();
  appendFolded(folded, name);
  for (const Alternative& alt : alternatives_) {
    if (wildcardMatch(alt.folded, folded)) return true;
    if (alt.dotStarOptional && folded.find(U'.') == std::u32string::npos &&
        wildcardMatch(std::u32string_view(alt.folded).substr(0, alt.folded.size() - 2), folded)) {
      return true;
    }
  }
  return false;
}

}  // namespace skorvatin
