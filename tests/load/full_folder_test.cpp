// The largest folder the list can count (32767 files): numbered, then put through both conversion
// passes, with every file accounted for by inode and content after each operation.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "engine/conversion_pass.h"
#include "engine/file_list.h"
#include "engine/letter_case.h"
#include "engine/numbering_run.h"
#include "engine/replacements.h"
#include "platform/posix_folder.h"
#include "tests/support/engine_fakes.h"

namespace skorvatin {
namespace {

constexpr int kFiles = 32767;

class FullFolder : public ::testing::Test {
 protected:
  void SetUp() override {
    // A memory file system when there is one: the test is about the engine, not the disk.
    const std::filesystem::path base =
        ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : std::filesystem::temp_directory_path();
    std::string pattern = (base / "skorvatin-load-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  // Name → (inode, content) of every entry; the contents are short, so they are kept whole.
  std::map<std::string, std::pair<ino_t, std::string>> contents() const {
    std::map<std::string, std::pair<ino_t, std::string>> out;
    for (const auto& e : std::filesystem::directory_iterator(dir_)) {
      struct stat st {};
      ::lstat(e.path().c_str(), &st);
      std::ifstream in(e.path(), std::ios::binary);
      out[e.path().filename().string()] = {st.st_ino, {std::istreambuf_iterator<char>(in), {}}};
    }
    return out;
  }

  // Every file i (1-based) must be under name(i) with its own inode and content.
  template <typename NameOf>
  void expectEveryFile(const NameOf& name, const std::map<int, ino_t>& inodes, const char* stage) {
    const auto now = contents();
    ASSERT_EQ(now.size(), static_cast<std::size_t>(kFiles)) << stage;
    int wrong = 0;
    for (int i = 1; i <= kFiles; ++i) {
      const auto it = now.find(name(i));
      if (it == now.end() || it->second.first != inodes.at(i) ||
          it->second.second != "file " + std::to_string(i)) {
        if (++wrong <= 5) ADD_FAILURE() << stage << ": file " << i << " not at " << name(i);
      }
    }
    EXPECT_EQ(wrong, 0) << stage;
  }

  std::string dir_;
};

TEST_F(FullFolder, NumberedThenBothPassesEveryFileAccountedFor) {
  std::map<int, ino_t> inodes;
  for (int i = 1; i <= kFiles; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "f%05d.txt", i);
    const std::string path = dir_ + "/" + name;
    std::ofstream(path, std::ios::binary) << "file " << i;
    struct stat st {};
    ASSERT_EQ(::lstat(path.c_str(), &st), 0);
    inodes[i] = st.st_ino;
  }

  platform::PosixFolders folders;
  FileList list(folders);
  list.setPath(dir_);
  ASSERT_EQ(batchCount(list), kFiles);
  const EventPump pump = [] {};
  NumberingSettings options;
  options.prefix = "Plik ";

  using Clock = std::chrono::steady_clock;
  const auto t0 = Clock::now();
  NumberingRun run(list, options, pump);
  run.run();
  const auto t1 = Clock::now();
  EXPECT_EQ(batchCount(list), kFiles);
  EXPECT_EQ(list.at(0), "Plik 1.txt");
  expectEveryFile([](int i) { return "Plik " + std::to_string(i) + ".txt"; }, inodes, "after numbering");

  testing::SilentPassView view;
  runConversionPass(list, view, pump, [](const std::string& n) { return changeCase(n, CaseMode::AllUpper); });
  const auto t2 = Clock::now();
  EXPECT_EQ(view.progress.back(), std::size_t{kFiles});
  expectEveryFile([](int i) { return "PLIK " + std::to_string(i) + ".TXT"; }, inodes, "after the case pass");

  runConversionPass(list, view, pump, [](const std::string& n) {
    return replaceCharacters(n, ReplaceMode::SpacesToUnderscores);
  });
  const auto t3 = Clock::now();
  expectEveryFile([](int i) { return "PLIK_" + std::to_string(i) + ".TXT"; }, inodes,
                  "after the replacement pass");
  EXPECT_EQ(batchCount(list), kFiles);

  const auto ms = [](auto d) { return std::chrono::duration_cast<std::chrono::milliseconds>(d).count(); };
  std::printf("32767 files: numbering %lld ms, case pass %lld ms, replacement pass %lld ms\n",
              static_cast<long long>(ms(t1 - t0)), static_cast<long long>(ms(t2 - t1)),
              static_cast<long long>(ms(t3 - t2)));
}

}  // namespace
}  // namespace skorvatin
