#include "platform/program_folder.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

namespace {

TEST(ProgramFolder, IsTheFolderOfTheRunningTestBinary) {
  const std::string folder = skorvatin::platform::programFolder();
  ASSERT_FALSE(folder.empty());
  EXPECT_EQ(folder.front(), '/');
  EXPECT_NE(folder.back(), '/');
  EXPECT_TRUE(std::filesystem::exists(folder + "/platform_tests"));
}

}  // namespace
