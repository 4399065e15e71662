#include <gtest/gtest.h>

#include "engine/name_order.h"

namespace {

using skorvatin::compareNames;

// compareNames skips the bytes two names share before it folds; these rows differ right after a
// shared stretch, inside or at the end of a multi-byte letter, where a wrong restart would decode
// half a letter.
TEST(NameOrderAfterASharedPrefix, DecidesAsAFullComparisonWould) {
  struct Row {
    const char* name;
    const char* a;
    const char* b;
    int expected;
  };
  const Row rows[] = {
      {"camera names differ in the last digit", "IMG_0001.JPG", "img_0002.jpg", -1},
      {"letters differ in their second byte", "z\xC4\x85", "z\xC4\x87", -1},  // ą before ć
      {"case pair then the next letter decides",
       "a\xC4\x85"
       "b",
       "a\xC4\x84"
       "c",
       -1},  // ąb before Ąc
      {"folded equal, shorter first", "\xC5\x81",
       "\xC5\x82"
       "a",
       -1},  // Ł before ła
      {"cut-off letter is a stray byte, after every letter", "x\xC4", "x\xC4\x85", 1},
      {"stray byte after a shared letter", "\xC5\x82\xFF", "\xC5\x82z", 1},
      {"only case differs: bytes decide", "ABC", "abc", -1},
      {"only the case of polish letters differs: bytes decide", "ŁÓDŹ", "łódź", -1},
      {"identical", "DSC00042.jpg", "DSC00042.jpg", 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(compareNames(row.a, row.b), row.expected);
    EXPECT_EQ(compareNames(row.b, row.a), -row.expected);
  }
}

}  // namespace
