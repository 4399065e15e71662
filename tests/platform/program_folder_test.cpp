#include "platform/program_folder.h"

#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>
#include <iostream>
#include <string>

#include "tests/support/temp_dir.h"

namespace {

TEST(ProgramFolder, IsTheFolderOfTheRunningTestBinary) {
  const std::string folder = skorvatin::platform::programFolder();
  ASSERT_FALSE(folder.empty());
  EXPECT_EQ(folder.front(), '/');
  EXPECT_NE(folder.back(), '/');
  EXPECT_TRUE(std::filesystem::exists(folder + "/platform_tests"));
}

// An installed copy never lists its own files as the files to rename, whoever runs it.
TEST(StartsInOwnFolder, OnlyACopyInAFolderOfTheUsersOwn) {
  struct Row {
    const char* folder;
    bool owned;
    bool mayRename;
    bool expected;
  };
  const Row rows[] = {
      {"/home/ala/programy", true, true, true},
      {"/usr/lib/skorvatin", true, true, false},  // root owns it and may rename there
      {"/usr", true, true, false},
      {"/usr/local/bin", true, true, false},
      {"/opt/skorvatin", true, true, false},
      {"/usrx/skorvatin", true, true, true},  // a prefix is a whole folder name
      {"/optyka/zdjecia", true, true, true},
      {"/home/ala/programy", false, true, false},  // root running someone else's copy
      {"/home/ala/programy", true, false, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.folder) + (row.owned ? " owned" : " not owned") +
                 (row.mayRename ? " writable" : ""));
    EXPECT_EQ(skorvatin::platform::startsInOwnFolder(row.folder, row.owned, row.mayRename), row.expected);
  }
}

class MayRenameIn : public skorvatin::testing::TempDirTest {
 protected:
  void TearDown() override {
    if (!mounted_.empty()) ::umount2(mounted_.c_str(), MNT_DETACH);
    TempDirTest::TearDown();
  }
  // A read-only view of a writable folder, which root cannot write through either. Empty when
  // this machine lets no one mount; `why` then says what the system answered.
  std::string readOnlyMount(std::string& why) {
    const std::string source = path("zrodlo");
    const std::string target = path("tylko-odczyt");
    std::filesystem::create_directory(source);
    std::filesystem::create_directory(target);
    if (::mount(source.c_str(), target.c_str(), nullptr, MS_BIND, nullptr) != 0) {
      why = std::strerror(errno);
      return {};
    }
    mounted_ = target;
    if (::mount(nullptr, target.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) != 0) {
      why = std::strerror(errno);
      return {};
    }
    return target;
  }

 private:
  std::string mounted_;
};

// Whether the program may start in a folder: the user must be able to rename files there.
TEST_F(MayRenameIn, OnlyFoldersTheUserMayWriteToAndSearch) {
  struct Row {
    const char* name;
    bool forRootOnly;  // needs a mount
    bool forUserOnly;  // root ignores permission bits
    std::function<std::string()> folder;
    bool expected;
  };
  std::string why;
  const Row rows[] = {
      {"a folder of one's own", false, false, [&] { return dir(); }, true},
      {"no longer there", false, false, [&] { return path("nie-ma"); }, false},
      {"a file, not a folder", false, false,
       [&] {
         touch("plik");
         return path("plik");
       },
       false},
      {"read-only mount", true, false, [&] { return readOnlyMount(why); }, false},
      {"read and search only", false, true,
       [&] {
         std::filesystem::create_directory(path("r-x"));
         ::chmod(path("r-x").c_str(), 0555);
         return path("r-x");
       },
       false},
      {"write without search", false, true,
       [&] {
         std::filesystem::create_directory(path("rw-"));
         ::chmod(path("rw-").c_str(), 0600);
         return path("rw-");
       },
       false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    if (row.forRootOnly != row.forUserOnly && row.forRootOnly != (::geteuid() == 0)) {
      std::cerr << "skipped \"" << row.name
                << "\": " << (row.forRootOnly ? "only root can mount" : "root writes whatever the bits say")
                << "\n";
      continue;
    }
    const std::string folder = row.folder();
    if (folder.empty()) {
      std::cerr << "skipped \"" << row.name << "\": cannot mount here: " << why << "\n";
      continue;
    }
    EXPECT_EQ(skorvatin::platform::userMayRenameIn(folder), row.expected);
  }
}

}  // namespace
