#include "engine/file_list.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "engine/run_error.h"
#include "tests/support/temp_dir.h"

namespace {

using skorvatin::File_Refresh;
using skorvatin::FileList;
using skorvatin::FolderPrefix;
using skorvatin::RunError;

std::vector<std::string> listed(const FileList& list) {
  std::vector<std::string> out;
  for (std::int16_t i = 0; i < list.ListCount(); ++i) out.push_back(list.List(i));
  return out;
}

using V = std::vector<std::string>;

TEST(FolderPrefix, AppendsOneSeparator) {
  EXPECT_EQ(FolderPrefix("/home/ala/Foto"), "/home/ala/Foto/");
  EXPECT_EQ(FolderPrefix("/"), "/");
  EXPECT_EQ(FolderPrefix("/media/usb/"), "/media/usb/");
}

class FileListTest : public skorvatin::testing::TempDirTest {};

TEST_F(FileListTest, ListsOnlyVisibleRegularFilesInListOrder) {
  for (const char* n : {"b.jpg", "README", "A.txt", ".hidden.txt", "c.TXT"}) touch(n);
  ASSERT_EQ(mkdir(path("folder.txt").c_str(), 0755), 0);
  ASSERT_EQ(mkfifo(path("pipe.txt").c_str(), 0644), 0);
  ASSERT_EQ(symlink("nowhere", path("broken.txt").c_str()), 0);
  ASSERT_EQ(symlink("b.jpg", path("link.jpg").c_str()), 0);
  FileList list;
  list.SetPath(dir());
  EXPECT_EQ(listed(list), (V{"A.txt", "b.jpg", "c.TXT", "link.jpg", "README"}));
  list.SetPattern("*.txt");
  EXPECT_EQ(listed(list), (V{"A.txt", "c.TXT"}));
}

TEST_F(FileListTest, IsASnapshotUntilReRead) {
  for (const char* n : {"a.jpg", "b.jpg", "c.jpg"}) touch(n);
  FileList list;
  list.SetPath(dir());
  ASSERT_EQ(std::rename(path("a.jpg").c_str(), path("z.jpg").c_str()), 0);
  touch("d.jpg");
  EXPECT_EQ(listed(list), (V{"a.jpg", "b.jpg", "c.jpg"}));
  list.Refresh();
  EXPECT_EQ(listed(list), (V{"b.jpg", "c.jpg", "d.jpg", "z.jpg"}));
}

TEST_F(FileListTest, RefreshKeepsTheMaskAndPumpsOnceOnAnEmptyList) {
  for (const char* n : {"a.jpg", "b.jpg"}) touch(n);
  FileList list;
  list.SetPath(dir());
  list.SetPattern("*.jpg");
  ASSERT_EQ(std::rename(path("a.jpg").c_str(), path("a.jpg.q").c_str()), 0);
  ASSERT_EQ(std::rename(path("b.jpg").c_str(), path("B.JPG").c_str()), 0);
  int pumps = 0;
  int countSeenByPump = -1;
  std::string maskSeenByPump;
  File_Refresh(list, [&] {
    ++pumps;
    countSeenByPump = list.ListCount();
    maskSeenByPump = list.Pattern();
  });
  EXPECT_EQ(pumps, 1);
  EXPECT_EQ(countSeenByPump, 0);
  EXPECT_EQ(maskSeenByPump, "*.-x-");
  EXPECT_EQ(list.Pattern(), "*.jpg");
  EXPECT_EQ(listed(list), (V{"B.JPG"}));
}

TEST_F(FileListTest, EmptyFolderAndNoMatchGiveZero) {
  FileList list;
  list.SetPath(dir());
  EXPECT_EQ(list.ListCount(), 0);
  touch("a.txt");
  list.SetPattern("*.doc");
  EXPECT_EQ(list.ListCount(), 0);
}

TEST_F(FileListTest, NamesThatAreNotUtf8AreListedAsTheirBytes) {
  const std::string latin1 =
      "zdj\xea"
      "cie.jpg";  // "zdjęcie" in ISO-8859-2
  touch(latin1);
  touch("łódź.jpg");
  FileList list;
  list.SetPath(dir());
  ASSERT_EQ(list.ListCount(), 2);
  // Code-point order: "z" comes before "ł".
  EXPECT_EQ(list.List(0), latin1);
  EXPECT_EQ(list.List(1), "łódź.jpg");
  EXPECT_EQ(access((FolderPrefix(list.Path()) + list.List(0)).c_str(), F_OK), 0);
}

TEST_F(FileListTest, AFolderThatCannotBeReadKeepsTheOldList) {
  touch("a.txt");
  FileList list;
  list.SetPath(dir());
  try {
    list.SetPath(dir() + "/missing");
    FAIL() << "no error";
  } catch (const RunError& e) {
    EXPECT_EQ(e.number(), 76);
    EXPECT_EQ(e.file(), dir() + "/missing");
  }
  EXPECT_EQ(list.Path(), dir());
  EXPECT_EQ(listed(list), (V{"a.txt"}));
}

TEST_F(FileListTest, IndexOutsideTheListIsAnError) {
  touch("a.txt");
  FileList list;
  list.SetPath(dir());
  EXPECT_THROW(list.List(1), RunError);
  EXPECT_THROW(list.List(-1), RunError);
}

TEST_F(FileListTest, NotifiesTheViewOncePerRead) {
  touch("a.txt");
  FileList list;
  int reads = 0;
  list.SetOnChanged([&] { ++reads; });
  list.SetPath(dir());
  list.SetPattern("*.txt");
  File_Refresh(list, nullptr);
  EXPECT_EQ(reads, 4);
}

}  // namespace
