#include "engine/name_order.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

using skorvatin::compareNames;

TEST(NameOrder, SortsIgnoringCaseWithATotalTieBreak) {
  struct Row {
    const char* name;
    std::vector<std::string> input;
    std::vector<std::string> sorted;
  };
  const Row rows[] = {
      {"case ignored", {"b.txt", "A.txt", "c.txt"}, {"A.txt", "b.txt", "c.txt"}},
      {"prefix first", {"ab.c", "ab"}, {"ab", "ab.c"}},
      {"suffixed prefix flips", {"ab.q", "ab.c.q"}, {"ab.c.q", "ab.q"}},
      {"polish capitals fold to their small letters", {"Żaba", "łódź", "Ąb"}, {"Ąb", "łódź", "Żaba"}},
      {"stray bytes after every letter", {"a\xff", "a\xc5\xbc", "az"}, {"az", "a\xc5\xbc", "a\xff"}},
      {"digits by code", {"IMG_10", "IMG_9", "IMG_1"}, {"IMG_1", "IMG_10", "IMG_9"}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    auto v = row.input;
    std::sort(v.begin(), v.end(),
              [](const std::string& a, const std::string& b) { return compareNames(a, b) < 0; });
    EXPECT_EQ(v, row.sorted);
  }
}

}  // namespace

namespace {

// The fast sort must give exactly the order of compareNames, also where its eight-byte keys tie
// or meet a byte beyond ASCII.
TEST(NameOrder, FastSortGivesTheListOrder) {
  std::vector<std::string> names = {
      "IMG_0010.JPG",
      "img_0002.jpg",
      "IMG_0002.jpg",
      "a",
      "A",
      "ab",
      "abc\xc5\x82",
      "abcz",
      "abc",
      "\xc5\x81\xc3\xb3\x64\xc5\xba",
      "Zebra",
      "zebra.txt",
      "\xff\xfe.bin",
      "abcdefgh",
      "abcdefgH",
      "abcdefghi",
      "abcdefg\xc4\x85",
      "abcdefgz",
      "-start",
      "~tilde",
      "PXL_20240101_000012345.jpg",
      "PXL_20240101_000012344.jpg",
      "ab\xff",
      "ab\xc5\xbc",
      "b",
  };
  std::vector<std::string> expected = names;
  std::sort(expected.begin(), expected.end(),
            [](const std::string& a, const std::string& b) { return skorvatin::nameLess(a, b); });
  skorvatin::sortInListOrder(names);
  EXPECT_EQ(names, expected);
}

}  // namespace
