#include "engine/replacements.h"

#include <string_view>

#include "engine/utf8.h"

namespace skorvatin {

namespace {

// Every find text and every replacement is one character, so each character's fate depends on it
// alone, and one sweep over the name does the whole replacement. A decomposed letter of the table
// comes here as the one letter.
char32_t replaced(char32_t c, ReplaceMode mode) {
  if (mode == ReplaceMode::SpacesToUnderscores && c == U' ') c = U'_';
  if (mode == ReplaceMode::UnderscoresToSpaces && c == U'_') c = U' ';
  if (mode == ReplaceMode::PolishToPlain) {
    for (const PolishLetter& row : PolishLetterTable) {
      if (c == row.find) c = static_cast<char32_t>(row.replacement);
    }
  }
  return c;
}

// The letter of the table that `base` followed by `mark` spells, or 0. Only the one mark that
// composes with the letter counts: "a" with an acute is "á", a letter of no Polish word, and stays.
char32_t composedLetter(char32_t base, char32_t mark) {
  for (const PolishLetter& row : PolishLetterTable) {
    if (row.mark != 0 && row.mark == mark && static_cast<char32_t>(row.replacement) == base) return row.find;
  }
  return 0;
}

}  // namespace

std::string replaceCharacters(const std::string& name, ReplaceMode mode) {
  std::string out;
  out.reserve(name.size());
  const std::string_view s = name;
  for (std::size_t pos = 0; pos < s.size();) {
    const utf8::Unit u = utf8::decodeAt(s, pos);
    pos += u.length;
    if (!u.valid) {
      utf8::appendUnit(out, u);
      continue;
    }
    char32_t c = u.cp;
    // Neither a space nor an underscore is a letter or a mark, so joining the pair before the
    // separator steps changes nothing they do.
    if (mode == ReplaceMode::PolishToPlain && pos < s.size()) {
      const utf8::Unit next = utf8::decodeAt(s, pos);
      const char32_t letter = next.valid ? composedLetter(c, next.cp) : 0;
      if (letter != 0) {
        c = letter;
        pos += next.length;
      }
    }
    utf8::append(out, replaced(c, mode));
  }
  return out;
}

}  // namespace skorvatin
