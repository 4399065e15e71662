#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/utf8.h"

namespace skorvatin::fuzz {

// A broken invariant is reported with the input's bytes and ends the run, so libFuzzer keeps the
// input as a crash.
[[noreturn]] inline void fail(const char* what, std::string_view input, std::string_view output = {}) {
  std::fprintf(stderr, "invariant broken: %s\n  input  (%zu bytes): ", what, input.size());
  for (unsigned char c : input) std::fprintf(stderr, "%02x", c);
  std::fprintf(stderr, "\n  output (%zu bytes): ", output.size());
  for (unsigned char c : output) std::fprintf(stderr, "%02x", c);
  std::fprintf(stderr, "\n");
  std::abort();
}

// Each byte that starts no well-formed UTF-8 sequence, with the position (in characters) where
// it stands.
inline std::vector<std::pair<std::size_t, unsigned char>> strayBytes(std::string_view s) {
  std::vector<std::pair<std::size_t, unsigned char>> out;
  std::size_t index = 0;
  for (std::size_t pos = 0; pos < s.size(); ++index) {
    const utf8::Unit u = utf8::decodeAt(s, pos);
    if (!u.valid) out.emplace_back(index, static_cast<unsigned char>(s[pos]));
    pos += u.length;
  }
  return out;
}

// What every name transformation promises: as many characters as it was given, and every byte
// that is not UTF-8 back in its own place.
inline void checkTransformation(const char* name, std::string_view input, const std::string& output) {
  if (utf8::length(output) != utf8::length(input)) fail(name, input, output);
  if (strayBytes(output) != strayBytes(input)) fail(name, input, output);
}

}  // namespace skorvatin::fuzz
