#pragma once

#include <unicode/utf8.h>

#include <cstddef>
#include <cstdint>
#include <iterator>
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
// are not well formed. ICU skips an ill-formed run of several bytes at once; here each of its
// bytes stays a unit of its own, so that counting characters and `?` in a mask see every byte.
inline Unit decodeAt(std::string_view s, std::size_t pos) {
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(s.data());
  std::size_t end = pos;
  UChar32 cp;
  U8_NEXT(bytes, end, s.size(), cp);
  if (cp < 0) return {bytes[pos], 1, false};
  return {static_cast<char32_t>(cp), static_cast<std::uint8_t>(end - pos), true};
}

// Appends the UTF-8 form of a valid code point.
inline void append(std::string& out, char32_t cp) {
  std::uint8_t bytes[U8_MAX_LENGTH];
  std::size_t n = 0;
  U8_APPEND_UNSAFE(bytes, n, cp);
  out.append(reinterpret_cast<const char*>(bytes), n);
}

// Appends a unit as it came: a valid code point re-encoded (identical bytes), a stray byte as is.
inline void appendUnit(std::string& out, const Unit& u) {
  if (u.valid) {
    append(out, u.cp);
  } else {
    out.push_back(static_cast<char>(u.cp));
  }
}

// The units of a text in order, for a range-for: `for (const utf8::Unit u : utf8::units(name))`.
class Units {
 public:
  class Iterator {
   public:
    Iterator(std::string_view s, std::size_t pos) : s_(s), pos_(pos) { decode(); }
    const Unit& operator*() const { return unit_; }
    Iterator& operator++() {
      pos_ += unit_.length;
      decode();
      return *this;
    }
    bool operator==(std::default_sentinel_t) const { return pos_ >= s_.size(); }

   private:
    void decode() {
      if (pos_ < s_.size()) unit_ = decodeAt(s_, pos_);
    }
    std::string_view s_;
    std::size_t pos_;
    Unit unit_{0, 1, true};
  };

  explicit Units(std::string_view s) : s_(s) {}
  Iterator begin() const { return {s_, 0}; }
  std::default_sentinel_t end() const { return {}; }

 private:
  std::string_view s_;
};

inline Units units(std::string_view s) {
  return Units(s);
}

// Number of units (characters, counting each stray byte as one).
inline std::size_t length(std::string_view s) {
  std::size_t n = 0;
  for ([[maybe_unused]] const Unit& u : units(s)) ++n;
  return n;
}

// Where a character stands in the name that mapCharacters walks.
struct Spot {
  std::string_view before;  // the name up to the character, as received
  std::string_view after;   // the rest of the name; a map that makes one character of this one and
                            // those after it (a letter and its combining mark) takes them from the front
};

// The name rebuilt one character at a time: each well-formed character `cp` gives map(cp, spot), a
// character; a byte that starts no well-formed sequence is no character and stays as it came, where
// it was, so a name that is not UTF-8 still leads back to a file the user can recognise.
template <class Map>
std::string mapCharacters(std::string_view name, Map map) {
  std::string out;
  out.reserve(name.size());
  const char* const begin = name.data();
  const std::size_t size = name.size();
  for (std::size_t pos = 0; pos < size;) {
    const Unit u = decodeAt(name, pos);
    if (!u.valid) {
      out.push_back(static_cast<char>(u.cp));
      ++pos;
      continue;
    }
    Spot spot{{begin, pos}, {begin + pos + u.length, size - pos - u.length}};
    append(out, map(u.cp, spot));
    pos = size - spot.after.size();
  }
  return out;
}

}  // namespace skorvatin::utf8
