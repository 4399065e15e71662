#include "engine/replacements.h"

#include "engine/utf8.h"

namespace skorvatin {

namespace {

// Every find text and every replacement is one character, so each character's fate depends on it
// alone: running the three steps on one character at a time gives what running each step over the
// whole name would, in one sweep.
char32_t replaced(char32_t c, const ReplaceOptions& options) {
  if (options.option6 && c == U' ') c = U'_';
  if (options.option7 && c == U'_') c = U' ';
  if (options.option8) {
    for (const PolishLetter& row : PolishLetterTable) {
      if (c == row.find) c = static_cast<char32_t>(row.replacement);
    }
  }
  return c;
}

}  // namespace

std::string Litery2(const std::string& name, const ReplaceOptions& options) {
  std::string out;
  out.reserve(name.size());
  for (const utf8::Unit u : utf8::units(name)) {
    if (u.valid) {
      utf8::append(out, replaced(u.cp, options));
    } else {
      utf8::appendUnit(out, u);
    }
  }
  return out;
}

std::string Litery2(const std::string& name, ReplaceMode mode) {
  return Litery2(name, ReplaceOptions{.option6 = mode == ReplaceMode::SpacesToUnderscores,
                                      .option7 = mode == ReplaceMode::UnderscoresToSpaces,
                                      .option8 = mode == ReplaceMode::PolishToPlain});
}

}  // namespace skorvatin
