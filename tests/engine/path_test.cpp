#include "engine/path.h"

#include <gtest/gtest.h>

#include <string>

namespace skorvatin {
namespace {

TEST(Path, NormalisedJoinedAndParent) {
  struct Row {
    const char* name;
    std::string path;
    std::string normalised;
    std::string joined;  // with "a.jpg"
    std::string parent;  // of the normalised path
  };
  const Row rows[] = {
      {"plain", "/home/ala/Foto", "/home/ala/Foto", "/home/ala/Foto/a.jpg", "/home/ala"},
      {"root", "/", "/", "/a.jpg", "/"},
      {"trailing slash", "/media/usb/", "/media/usb", "/media/usb/a.jpg", "/media"},
      {"doubled slashes", "//a///b//", "/a/b", "//a///b//a.jpg", "/a"},
      {"root written thrice", "///", "/", "///a.jpg", "/"},
      {"one step down", "/a", "/a", "/a/a.jpg", "/"},
      {"names are bytes", "/f\xff/x y.", "/f\xff/x y.", "/f\xff/x y./a.jpg", "/f\xff"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(normalisedPath(row.path), row.normalised);
    EXPECT_EQ(joinedPath(row.path, "a.jpg"), row.joined);
    EXPECT_EQ(parentPath(row.normalised), row.parent);
  }
}

}  // namespace
}  // namespace skorvatin
