#include "engine/letter_case.h"

#include <unicode/uchar.h>

#include "engine/utf8.h"

namespace skorvatin {

namespace {

// One character to one character through the simple case mappings: the full mappings would turn
// "ß" into "SS" and change the length of the name. Stray bytes are no characters and stay as
// they came, so the rename that follows still names a file the user can recognise.
enum class To { Upper, Lower };

void appendMapped(std::string& out, const utf8::Unit& u, To to) {
  if (!u.valid) {
    utf8::appendUnit(out, u);
    return;
  }
  const UChar32 mapped =
      to == To::Upper ? u_toupper(static_cast<UChar32>(u.cp)) : u_tolower(static_cast<UChar32>(u.cp));
  utf8::append(out, static_cast<char32_t>(mapped));
}

std::string mapAll(const std::string& name, To to) {
  std::string out;
  out.reserve(name.size());
  for (std::size_t pos = 0; pos < name.size();) {
    const utf8::Unit u = utf8::decodeAt(name, pos);
    appendMapped(out, u, to);
    pos += u.length;
  }
  return out;
}

// The first character one way, every other the other way.
std::string mapFirstThenRest(const std::string& name, To first, To rest) {
  std::string out;
  out.reserve(name.size());
  for (std::size_t pos = 0; pos < name.size();) {
    const utf8::Unit u = utf8::decodeAt(name, pos);
    appendMapped(out, u, pos == 0 ? first : rest);
    pos += u.length;
  }
  return out;
}

bool isWordSeparator(const utf8::Unit& u) {
  return u.valid && (u.cp == U' ' || u.cp == U'_' || u.cp == U'-');
}

// The character before is always taken from the name as received, never from the result, so a
// separator decides only about the one character right after it.
std::string everyWordCapital(const std::string& name) {
  std::string out;
  out.reserve(name.size());
  utf8::Unit previous{U' ', 1, true};
  for (std::size_t pos = 0; pos < name.size();) {
    const utf8::Unit current = utf8::decodeAt(name, pos);
    appendMapped(out, current, isWordSeparator(previous) ? To::Upper : To::Lower);
    previous = current;
    pos += current.length;
  }
  return out;
}

}  // namespace

std::string Litery(const std::string& name, CaseMode mode) {
  switch (mode) {
    case CaseMode::AllUpper:
      return mapAll(name, To::Upper);
    case CaseMode::AllLower:
      return mapAll(name, To::Lower);
    case CaseMode::FirstUpperRestLower:
      return mapFirstThenRest(name, To::Upper, To::Lower);
    case CaseMode::FirstLowerRestUpper:
      return mapFirstThenRest(name, To::Lower, To::Upper);
    case CaseMode::EveryWordCapital:
      return everyWordCapital(name);
  }
  return name;
}

std::string Litery(const std::string& name, const CaseOptions& options) {
  if (options.option2) return Litery(name, CaseMode::AllUpper);
  if (options.option3) return Litery(name, CaseMode::AllLower);
  if (options.option4) return Litery(name, CaseMode::FirstUpperRestLower);
  if (options.option5) return Litery(name, CaseMode::FirstLowerRestUpper);
  if (options.option1) return Litery(name, CaseMode::EveryWordCapital);
  return name;
}

}  // namespace skorvatin
