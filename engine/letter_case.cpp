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

// Every mode is one rule that picks upper or lower case for each character from what stands before
// it in the name as received (never in the result, so a separator decides only about the one
// character right after it). A stray byte counts there too: a character after one is not the first.
bool startsWord(std::string_view before) {
  if (before.empty()) return true;
  const char last = before.back();
  // All three are ASCII, and in UTF-8 an ASCII byte is always a character of its own.
  return last == ' ' || last == '_' || last == '-';
}

template <class UpperHere>
std::string convert(const std::string& name, UpperHere upperHere) {
  return utf8::mapCharacters(name, [&upperHere](char32_t cp, const utf8::Spot& spot) {
    return upperHere(spot.before) ? toUpper(cp) : toLower(cp);
  });
}

}  // namespace

std::string changeCase(const std::string& name, CaseMode mode) {
  switch (mode) {
    case CaseMode::AllUpper:
      return convert(name, [](std::string_view) { return true; });
    case CaseMode::AllLower:
      return convert(name, [](std::string_view) { return false; });
    case CaseMode::FirstUpperRestLower:
      return convert(name, [](std::string_view before) { return before.empty(); });
    case CaseMode::FirstLowerRestUpper:
      return convert(name, [](std::string_view before) { return !before.empty(); });
    case CaseMode::EveryWordCapital:
      return convert(name, [](std::string_view before) { return startsWord(before); });
  }
  return name;
}

}  // namespace skorvatin
