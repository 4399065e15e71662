#pragma once

#include <unicode/uchar.h>

#include <string>
#include <string_view>

#include "engine/utf8.h"

namespace skorvatin {

// Masks and the list order ignore letter case through Unicode simple case folding: one character
// to one, so a mask's "?" and a name's length mean the same before and after folding.

inline unsigned char foldAscii(unsigned char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + ('a' - 'A')) : c;
}

inline char32_t foldCase(char32_t cp) {
  if (cp < 0x80) return foldAscii(static_cast<unsigned char>(cp));
  return static_cast<char32_t>(u_foldCase(static_cast<UChar32>(cp), U_FOLD_CASE_DEFAULT));
}

// What a unit is compared by when case is ignored. A stray byte gets a value past every code
// point: it equals no character, and in the list it sorts after all of them instead of between
// letters.
inline char32_t foldedKey(const utf8::Unit& u) {
  constexpr char32_t kStrayByteBase = 0x110000;
  return u.valid ? foldCase(u.cp) : kStrayByteBase + u.cp;
}

// A whole name with every character folded, as UTF-8 again and stray bytes kept: two names that
// differ only in letter case fold to the same bytes.
inline std::string foldedName(std::string_view name) {
  std::string out;
  out.reserve(name.size());
  for (const utf8::Unit& u : utf8::units(name)) {
    if (u.valid) {
      utf8::append(out, foldCase(u.cp));
    } else {
      utf8::appendUnit(out, u);
    }
  }
  return out;
}

}  // namespace skorvatin
