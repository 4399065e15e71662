#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace skorvatin::utf8 {

// One step through a file name's bytes: a well-formed UTF-8 sequence of 1 to 4 bytes, or a single
// byte that starts no well-formed sequence. Names come from the file system as bytes; treating a
// stray byte as one opaque unit is what lets every transformation hand it back untouched.
struct Unit {
  char32_t cp;          // the code point, or the raw byte value when !valid
  std::uint8_t length;  // bytes consumed, 1 to 4
  bool valid;
};

// Decodes the unit at `pos` (pos < s.size()). Overlong forms, surrogates and values past U+10FFFF
// are not well formed.
inline Unit decodeAt(std::string_view s, std::size_t pos) {
  const auto b0 = static_cast<unsigned char>(s[pos]);
  if (b0 < 0x80) return {b0, 1, true};
  const Unit bad{b0, 1, false};
  int len;
  char32_t cp;
  char32_t min;
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    len = 2, cp = b0 & 0x1F, min = 0x80;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    len = 3, cp = b0 & 0x0F, min = 0x800;
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    len = 4, cp = b0 & 0x07, min = 0x10000;
  } else {
    return bad;
  }
  if (pos + static_cast<std::size_t>(len) > s.size()) return bad;
  for (int k = 1; k < len; ++k) {
    const auto b = static_cast<unsigned char>(s[pos + static_cast<std::size_t>(k)]);
    if ((b & 0xC0) != 0x80) return bad;
    cp = (cp << 6) | (b & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return bad;
  return {cp, static_cast<std::uint8_t>(len), true};
}

// Appends the UTF-8 form of a valid code point.
inline void append(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

// Appends a unit as it came: a valid code point re-encoded (identical bytes), an invalid byte as is.
inline void appendUnit(std::string& out, const Unit& u) {
  if (u.valid) {
    append(out, u.cp);
  } else {
    out.push_back(static_cast<char>(u.cp));
  }
}

// Number of units (characters, counting each stray byte as one).
inline std::size_t length(std::string_view s) {
  std::size_t n = 0;
  for (std::size_t pos = 0; pos < s.size(); pos += decodeAt(s, pos).length) ++n;
  return n;
}

}  // namespace skorvatin::utf8
