#include "engine/letter_case.h"

#include <unicode/uchar.h>

#include "engine/utf8.h"

namespace skorvatin {

namespace {

// One character to one character through the simple case mappings: the full mappings would turn
// "ß" into "SS" and change the length of the name. Stray bytes are no characters and stay as
// they came, so the rename that follows still names a file the user can recognise.
char32_t toUpper(char32_t cp) {
  return static_cast<char32_t>(u_toupper(static_cast<UChar32>(cp)));
}

char32_t toLower(char32_t cp) {
  return static_cast<char32_t>(u_tolower(static_cast<UChar32>(cp)));
}

bool isWordSeparator(const utf8::Unit& u) {
  return u.valid && (u.cp == U' ' || u.cp == U'_' || u.cp == U'-');
}

// Every mode is one rule that picks upper or lower case for each character from where it stands:
// whether it is the first unit, and the unit before it in the name as received (never in the
// result, so a separator decides only about the one character right after it). A stray byte
// counts as a unit there too: it is the first, or it stands before the next character.
template <class UpperHere>
std::string convert(const std::string& name, UpperHere upperHere) {
  std::string out;
  out.reserve(name.size());
  bool first = true;
  utf8::Unit previous{U' ', 1, true};
  for (const utf8::Unit u : utf8::units(name)) {
    if (u.valid) {
      utf8::append(out, upperHere(first, previous) ? toUpper(u.cp) : toLower(u.cp));
    } else {
      utf8::appendUnit(out, u);
    }
    first = false;
    previous = u;
  }
  return out;
}

}  // namespace

std::string changeCase(const std::string& name, CaseMode mode) {
  switch (mode) {
    case CaseMode::AllUpper:
      return convert(name, [](bool, const utf8::Unit&) { return true; });
    case CaseMode::AllLower:
      return convert(name, [](bool, const utf8::Unit&) { return false; });
    case CaseMode::FirstUpperRestLower:
      return convert(name, [](bool first, const utf8::Unit&) { return first; });
    case CaseMode::FirstLowerRestUpper:
      return convert(name, [](bool first, const utf8::Unit&) { return !first; });
    case CaseMode::EveryWordCapital:
      return convert(name, [](bool, const utf8::Unit& previous) { return isWordSeparator(previous); });
  }
  return name;
}

}  // namespace skorvatin
