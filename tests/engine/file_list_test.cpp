#include "engine/file_list.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "engine/run_error.h"
#include "tests/support/error_number.h"
#include "tests/support/memory_folder.h"

namespace skorvatin {
namespace {

using skorvatin::testing::errorNumberOf;

using V = std::vector<std::string>;
using testing::MemoryDisk;

V listed(const FileList& list) {
  V out;
  for (std::int16_t i = 0; i < list.ListCount(); ++i) out.push_back(list.List(i));
  return out;
}

class FileListTest : public ::testing::Test {
 protected:
  static constexpr const char* kFolder = "/foto";
  void SetUp() override {
    disk.folder(kFolder);
    list.setPath(kFolder);
  }
  MemoryDisk disk;
  FileList list{disk};
};

TEST_F(FileListTest, ListsOnlyVisibleFilesInListOrder) {
  disk.addAll(kFolder, {"b.jpg", "README", "A.txt", ".hidden.txt", "c.TXT", "link.jpg"});
  disk.add(kFolder, "folder.txt", EntryKind::Folder);
  disk.add(kFolder, "pipe.txt", EntryKind::Other);
  list.Refresh();
  EXPECT_EQ(listed(list), (V{"A.txt", "b.jpg", "c.TXT", "link.jpg", "README"}));
  list.setPattern("*.txt");
  EXPECT_EQ(listed(list), (V{"A.txt", "c.TXT"}));
}

TEST_F(FileListTest, IsASnapshotUntilReRead) {
  disk.addAll(kFolder, {"a.jpg", "b.jpg", "c.jpg"});
  list.Refresh();
  disk.open(kFolder)->rename("a.jpg", "z.jpg");
  disk.add(kFolder, "d.jpg");
  EXPECT_EQ(listed(list), (V{"a.jpg", "b.jpg", "c.jpg"}));
  list.Refresh();
  EXPECT_EQ(listed(list), (V{"b.jpg", "c.jpg", "d.jpg", "z.jpg"}));
}

TEST_F(FileListTest, RefreshShowsAnEmptyListToTheEventsAndKeepsTheMask) {
  disk.addAll(kFolder, {"a.jpg", "b.jpg"});
  list.setPattern("*.jpg");
  const auto folder = disk.open(kFolder);
  folder->rename("a.jpg", "a.jpg.q");
  folder->rename("b.jpg", "B.JPG");
  std::vector<std::pair<int, std::string>> seenByEvents;
  File_Refresh(list, [&] { seenByEvents.emplace_back(list.ListCount(), list.Pattern()); });
  EXPECT_EQ(seenByEvents, (std::vector<std::pair<int, std::string>>{{0, "*.-x-"}}));
  EXPECT_EQ(list.Pattern(), "*.jpg");
  EXPECT_EQ(listed(list), (V{"B.JPG"}));
}

TEST_F(FileListTest, RefreshFromAKnownListingDoesNotReadTheFolder) {
  disk.addAll(kFolder, {"a.jpg", "on disk.jpg"});
  list.Refresh();
  const int listingsBefore = disk.listings;
  File_Refresh(list, nullptr, [](const EntryVisitor& visit) {
    visit("b.jpg", EntryKind::File, 1);
    visit("a.jpg.q", EntryKind::File, 2);
    visit(".c.jpg", EntryKind::File, 3);
    visit("d.jpg", EntryKind::Folder, 4);
  });
  EXPECT_EQ(listed(list), (V{"a.jpg.q", "b.jpg"}));
  EXPECT_EQ(disk.listings, listingsBefore);
}

TEST_F(FileListTest, EmptyFolderAndNoMatchGiveZero) {
  EXPECT_EQ(list.ListCount(), 0);
  disk.add(kFolder, "a.txt");
  list.setPattern("*.doc");
  EXPECT_EQ(list.ListCount(), 0);
}

TEST_F(FileListTest, NamesThatAreNotUtf8AreListedAsTheirBytes) {
  const std::string latin2 =
      "zdj\xea"
      "cie.jpg";  // "zdjęcie" in ISO-8859-2
  disk.addAll(kFolder, {latin2, "łódź.jpg"});
  list.Refresh();
  // Code-point order: "z" comes before "ł".
  EXPECT_EQ(listed(list), (V{latin2, "łódź.jpg"}));
}

TEST_F(FileListTest, AFolderThatCannotBeReadKeepsTheOldList) {
  disk.add(kFolder, "a.txt");
  list.Refresh();
  EXPECT_EQ(errorNumberOf([&] { list.setPath("/missing"); }), err::PathNotFound);
  EXPECT_EQ(list.Path(), kFolder);
  EXPECT_EQ(listed(list), (V{"a.txt"}));
  disk.removeFolder(kFolder);
  EXPECT_EQ(errorNumberOf([&] { File_Refresh(list, nullptr); }), err::PathNotFound);
  EXPECT_EQ(errorNumberOf([&] { list.List(-1); }), err::SubscriptOutOfRange);
}

TEST_F(FileListTest, AFolderGoneDuringTheReReadLeavesTheMaskForTheNextFolder) {
  disk.add(kFolder, "a.txt");
  list.setPattern("*.txt");
  EXPECT_EQ(errorNumberOf([&] { File_Refresh(list, [&] { disk.removeFolder(kFolder); }); }),
            err::PathNotFound);
  EXPECT_EQ(list.Pattern(), "*.txt");
  EXPECT_EQ(list.ListCount(), 0);
  disk.addAll("/inne", {"b.txt", "c.jpg"});
  list.setPath("/inne");
  EXPECT_EQ(listed(list), (V{"b.txt"}));
}

TEST_F(FileListTest, MoreThan32767FilesIsAnOverflowNotAWrappedCount) {
  for (int i = 0; i < 32768; ++i) disk.add(kFolder, "p" + std::to_string(i));
  list.Refresh();
  EXPECT_EQ(list.size(), 32768u);
  EXPECT_EQ(errorNumberOf([&] { list.ListCount(); }), err::Overflow);
}

TEST_F(FileListTest, NotifiesTheViewOncePerRead) {
  disk.add(kFolder, "a.txt");
  int reads = 0;
  list.setOnChanged([&] { ++reads; });
  list.setPath(kFolder);
  list.setPattern("*.txt");
  File_Refresh(list, nullptr);
  EXPECT_EQ(reads, 4);
}

}  // namespace
}  // namespace skorvatin
