#include "engine/name_order.h"

#include <algorithm>

#include "engine/case_fold.h"
#include "engine/utf8.h"

namespace skorvatin {

namespace {

int compareFolded(std::string_view a, std::string_view b, std::size_t start) {
  std::size_t i = start;
  std::size_t j = start;
  while (i < a.size() && j < b.size()) {
    const auto ca = static_cast<unsigned char>(a[i]);
    const auto cb = static_cast<unsigned char>(b[j]);
    if ((ca | cb) < 0x80) {
      // Most camera and document names are ASCII: fold inline without decoding.
      const unsigned char la = foldAscii(ca);
      const unsigned char lb = foldAscii(cb);
      if (la != lb) return la < lb ? -1 : 1;
      ++i, ++j;
      continue;
    }
    const utf8::Unit ua = utf8::decodeAt(a, i);
    const utf8::Unit ub = utf8::decodeAt(b, j);
    const char32_t ka = foldedKey(ua);
    const char32_t kb = foldedKey(ub);
    if (ka != kb) return ka < kb ? -1 : 1;
    i += ua.length;
    j += ub.length;
  }
  if (i < a.size()) return 1;
  if (j < b.size()) return -1;
  return 0;
}

// Sorting a large folder spends most of its time here. Equal bytes fold alike, so the scan skips
// the common prefix (camera names share long ones) and folds only where the names first differ.
// An ASCII byte never lies inside a multi-byte unit, so decoding can restart at any position
// where both names hold one, or at the start.
int compareFoldedFast(std::string_view a, std::string_view b) {
  const std::size_t common = std::min(a.size(), b.size());
  std::size_t i = 0;
  for (;;) {
    while (i < common && a[i] == b[i]) ++i;
    if (i == common) {
      if (a.size() == b.size()) return 0;
      break;  // a cut-off multi-byte unit at the end of the shorter name decodes differently
    }
    const auto ca = static_cast<unsigned char>(a[i]);
    const auto cb = static_cast<unsigned char>(b[i]);
    if ((ca | cb) >= 0x80) break;
    const unsigned char la = foldAscii(ca);
    const unsigned char lb = foldAscii(cb);
    if (la != lb) return la < lb ? -1 : 1;
    ++i;
  }
  const auto ascii = [](std::string_view s, std::size_t k) {
    return k < s.size() && static_cast<unsigned char>(s[k]) < 0x80;
  };
  while (i > 0 && !(ascii(a, i) && ascii(b, i))) --i;
  return compareFolded(a, b, i);
}
}  // namespace

int compareNames(std::string_view a, std::string_view b) {
  if (const int folded = compareFoldedFast(a, b); folded != 0) return folded;
  return a.compare(b) < 0 ? -1 : (a == b ? 0 : 1);
}

}  // namespace skorvatin
