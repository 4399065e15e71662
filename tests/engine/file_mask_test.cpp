#include "engine/file_mask.h"

#include <gtest/gtest.h>

namespace {

using skorvatin::FileMask;

TEST(FileMask, MatchesLikeTheUsersMaskBox) {
  struct Row {
    const char* name;
    const char* mask;
    const char* file;
    bool matches;
  };
  const Row rows[] = {
      {"star-dot-star takes dotless names", "*.*", "README", true},
      {"star-dot-star takes dotted names", "*.*", "a.b.c", true},
      {"lone star", "*", "x.jpg", true},
      {"extension ignores case", "*.jpg", "IMG_0001.JPG", true},
      {"extension is not a substring", "*.jpg", "a.jpg.q", false},
      {"polish letters fold", "ŁÓDŹ*", "łódź.jpg", true},
      {"question mark is one polish letter", "?.txt", "ż.txt", true},
      {"question mark is not two letters", "?.txt", "ab.txt", false},
      {"emptying mask keeps real names out", "*.-x-", "a.txt", false},
      {"emptying mask only takes its own ending", "*.-x-", "plik.-X-", true},
      {"several masks", "*.jpg;*.png", "b.PNG", true},
      {"several masks miss", "*.jpg;*.png", "b.gif", false},
      {"blanks around masks", " *.jpg ; *.png ", "b.png", true},
      {"empty mask shows every file", "", "anything", true},
      {"only separators shows every file", " ; ", "anything", true},
      {"trailing dot-star also takes dotless", "IMG*.*", "IMG12", true},
      {"trailing dot-star still needs the stem", "IMG*.*", "DSC12", false},
      {"star in the middle backtracks", "a*b*c.txt", "aXbYbZc.txt", true},
      {"star needs the tail", "a*c", "abcd", false},
      // Linux names may hold "*" and "?"; in the mask they stay wildcards whatever the name holds.
      {"leading star takes a name that starts with a star", "*.jpg", "*ab.jpg", true},
      {"inner star takes a star in the name and more", "a*b", "a*xb", true},
      {"question mark takes a question mark", "a?.jpg", "a?.jpg", true},
      {"a question mark in the name is one character", "??.jpg", "?.jpg", false},
      {"stray byte matches itself", "*\xff*", "x\xffy", true},
      {"stray byte is not a latin letter", "*\xc3\xbf*", "x\xffy", false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(FileMask(row.mask).matches(row.file), row.matches);
  }
}

}  // namespace
