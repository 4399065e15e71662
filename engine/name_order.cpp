#include "engine/name_order.h"

#include <algorithm>
#include <cstdint>

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

namespace {

// The first eight bytes of a name as list order sees them, big end first: ASCII folded, then, at
// the first byte of anything else, 0xFF and nothing more. Everything beyond ASCII sorts after it,
// so a smaller key means an earlier name; equal keys leave the order to compareNames.
std::uint64_t orderKey(std::string_view name) {
  std::uint64_t key = 0;
  for (std::size_t i = 0; i < 8; ++i) {
    unsigned char byte = 0;
    if (i < name.size()) {
      const auto c = static_cast<unsigned char>(name[i]);
      byte = c < 0x80 ? foldAscii(c) : 0xFF;
    }
    key = (key << 8) | byte;
    if (byte == 0xFF) {
      key <<= 8 * (7 - i);
      break;
    }
  }
  return key;
}

}  // namespace

void sortInListOrder(std::vector<std::string>& names) {
  struct Keyed {
    std::uint64_t key;
    std::size_t index;
  };
  std::vector<Keyed> keyed(names.size());
  for (std::size_t i = 0; i < names.size(); ++i) keyed[i] = {orderKey(names[i]), i};
  std::sort(keyed.begin(), keyed.end(), [&names](const Keyed& a, const Keyed& b) {
    if (a.key != b.key) return a.key < b.key;
    return compareNames(names[a.index], names[b.index]) < 0;
  });
  // Each name moves once, cycle by cycle, to where the order puts it.
  for (std::size_t i = 0; i < keyed.size(); ++i) {
    if (keyed[i].index == i) continue;
    std::string held = std::move(names[i]);
    for (std::size_t at = i;;) {
      const std::size_t from = keyed[at].index;
      keyed[at].index = at;
      if (from == i) {
        names[at] = std::move(held);
        break;
      }
      names[at] = std::move(names[from]);
      at = from;
    }
  }
}

}  // namespace skorvatin
