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
  for (std::size_t i = 0; i < list.size(); ++i) out.push_back(list.at(i));
  return out;
}

TEST(FolderPrefix, AppendsOneSeparator) {
  EXPECT_EQ(folderPrefix("/home/ala/Foto"), "/home/ala/Foto/");
  EXPECT_EQ(folderPrefix("/"), "/");
  EXPECT_EQ(folderPrefix("/media/usb/"), "/media/usb/");
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
  list.refresh();
  EXPECT_EQ(listed(list), (V{"A.txt", "b.jpg", "c.TXT", "link.jpg", "README"}));
  list.setPattern("*.txt");
  EXPECT_EQ(listed(list), (V{"A.txt", "c.TXT"}));
}

TEST_F(FileListTest, IsASnapshotUntilReRead) {
  disk.addAll(kFolder, {"a.jpg", "b.jpg", "c.jpg"});
  list.refresh();
  disk.open(kFolder)->rename("a.jpg", "z.jpg");
  disk.add(kFolder, "d.jpg");
  EXPECT_EQ(listed(list), (V{"a.jpg", "b.jpg", "c.jpg"}));
  list.refresh();
  EXPECT_EQ(listed(list), (V{"b.jpg", "c.jpg", "d.jpg", "z.jpg"}));
}

TEST_F(FileListTest, RefreshShowsAnEmptyListToTheEventsAndKeepsTheMask) {
  disk.addAll(kFolder, {"a.jpg", "b.jpg"});
  list.setPattern("*.jpg");
  const auto folder = disk.open(kFolder);
  folder->rename("a.jpg", "a.jpg.q");
  folder->rename("b.jpg", "B.JPG");
  std::vector<std::pair<int, std::string>> seenByEvents;
  refreshList(list, [&] { seenByEvents.emplace_back(batchCount(list), list.pattern()); });
  EXPECT_EQ(seenByEvents, (std::vector<std::pair<int, std::string>>{{0, "*.-x-"}}));
  EXPECT_EQ(list.pattern(), "*.jpg");
  EXPECT_EQ(listed(list), (V{"B.JPG"}));
}

TEST_F(FileListTest, RefreshFromAKnownListingDoesNotReadTheFolder) {
  disk.addAll(kFolder, {"a.jpg", "on disk.jpg"});
  list.refresh();
  const int listingsBefore = disk.listings;
  refreshList(list, nullptr, [](const EntryVisitor& visit) {
    visit("b.jpg", EntryKind::File, 1);
    visit("a.jpg.q", EntryKind::File, 2);
    visit(".c.jpg", EntryKind::File, 3);
    visit("d.jpg", EntryKind::Folder, 4);
  });
  EXPECT_EQ(listed(list), (V{"a.jpg.q", "b.jpg"}));
  EXPECT_EQ(disk.listings, listingsBefore);
}

TEST_F(FileListTest, EmptyFolderAndNoMatchGiveZero) {
  EXPECT_EQ(batchCount(list), 0);
  disk.add(kFolder, "a.txt");
  list.setPattern("*.doc");
  EXPECT_EQ(batchCount(list), 0);
}

TEST_F(FileListTest, NamesThatAreNotUtf8AreListedAsTheirBytes) {
  const std::string latin2 =
      "zdj\xea"
      "cie.jpg";  // "zdjęcie" in ISO-8859-2
  disk.addAll(kFolder, {latin2, "łódź.jpg"});
  list.refresh();
  // Code-point order: "z" comes before "ł".
  EXPECT_EQ(listed(list), (V{latin2, "łódź.jpg"}));
}

TEST_F(FileListTest, AFolderThatCannotBeReadKeepsTheOldList) {
  disk.add(kFolder, "a.txt");
  list.refresh();
  EXPECT_EQ(errorNumberOf([&] { list.setPath("/missing"); }), err::PathNotFound);
  EXPECT_EQ(list.path(), kFolder);
  EXPECT_EQ(listed(list), (V{"a.txt"}));
  disk.removeFolder(kFolder);
  EXPECT_EQ(errorNumberOf([&] { refreshList(list, nullptr); }), err::PathNotFound);
  EXPECT_EQ(errorNumberOf([&] { list.at(list.size()); }), err::SubscriptOutOfRange);
}

TEST_F(FileListTest, AFolderGoneDuringTheReReadLeavesTheMaskForTheNextFolder) {
  disk.add(kFolder, "a.txt");
  list.setPattern("*.txt");
  EXPECT_EQ(errorNumberOf([&] { refreshList(list, [&] { disk.removeFolder(kFolder); }); }),
            err::PathNotFound);
  EXPECT_EQ(list.pattern(), "*.txt");
  EXPECT_EQ(batchCount(list), 0);
  disk.addAll("/inne", {"b.txt", "c.jpg"});
  list.setPath("/inne");
  EXPECT_EQ(listed(list), (V{"b.txt"}));
}

TEST_F(FileListTest, MoreThan32767FilesIsAnOverflowNotAWrappedCount) {
  for (int i = 0; i < 32768; ++i) disk.add(kFolder, "p" + std::to_string(i));
  list.refresh();
  EXPECT_EQ(list.size(), 32768u);
  EXPECT_EQ(errorNumberOf([&] { batchCount(list); }), err::Overflow);
}

TEST_F(FileListTest, NotifiesTheViewOncePerRead) {
  disk.add(kFolder, "a.txt");
  int reads = 0;
  list.setOnChanged([&] { ++reads; });
  list.setPath(kFolder);
  list.setPattern("*.txt");
  refreshList(list, nullptr);
  EXPECT_EQ(reads, 4);
}

}  // namespace
}  // namespace skorvatin
