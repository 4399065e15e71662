#include "engine/conversion_pass.h"

#include <gtest/gtest.h>

#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "engine/letter_case.h"
#include "engine/replacements.h"
#include "engine/run_error.h"
#include "tests/support/memory_folder.h"

namespace skorvatin {
namespace {

using Names = std::vector<std::string>;
using testing::MemoryDisk;

const NameTransform kSpacesToUnderscores = [](const std::string& n) {
  return replaceCharacters(n, ReplaceMode::SpacesToUnderscores);
};
const NameTransform kLower = [](const std::string& n) { return changeCase(n, CaseMode::AllLower); };
const NameTransform kUpper = [](const std::string& n) { return changeCase(n, CaseMode::AllUpper); };

// Writes every step the pass takes into one log, so the order of the steps can be checked.
class ConversionPassTest : public ::testing::Test, public ConversionPassView {
 protected:
  static constexpr const char* kFolder = "/foto";

  void SetUp() override {
    disk.folder(kFolder);
    list.setPath(kFolder);
    disk.beforeRename = [this](int, const std::string& from, const std::string& to) {
      log.push_back("rename " + from + " -> " + to);
    };
  }
  void fill(const Names& names) {
    disk.folder(kFolder).entries.clear();
    disk.addAll(kFolder, names);
    list.refresh();
  }
  // Runs the pass and returns the error number, 0 when it went through.
  int run(const NameTransform& transform) {
    try {
      runConversionPass(
          list, *this, [this] { log.push_back("events, list of " + std::to_string(batchCount(list))); },
          transform);
    } catch (const RunError& e) {
      error = e;
      return e.number();
    }
    return 0;
  }

  void setProgress(std::size_t done, std::size_t total) override {
    // The window's fill can overflow: the pass then stops before that file.
    if (done == failAtProgress) throw RunError(err::Overflow);
    progress = done;
    log.push_back("progress " + std::to_string(done) + "/" + std::to_string(total));
  }
  void setButtonEnabled(bool enabled) override {
    buttonEnabled = enabled;
    log.push_back(enabled ? "enable" : "disable");
  }
  void focusButton() override { log.push_back("focus"); }

  Names entries() const { return disk.names(kFolder); }

  MemoryDisk disk;
  FileList list{disk};
  std::size_t failAtProgress = 0;
  std::size_t progress = 0;
  bool buttonEnabled = true;
  std::vector<std::string> log;
  std::optional<RunError> error;
};

TEST_F(ConversionPassTest, RunsItsStepsInOrderAndCountsEachFileBeforeItsRename) {
  fill({"a b.txt", "c d.txt", "e.txt"});
  ASSERT_EQ(run(kSpacesToUnderscores), 0);
  const Names expected = {
      "disable",
      "progress 1/3",
      "rename a b.txt -> a_b.txt",
      "progress 2/3",
      "rename c d.txt -> c_d.txt",
      "progress 3/3",
      "rename e.txt -> e.txt",
      "events, list of 3",  // the list still holds the names from before the pass
      "events, list of 0",  // inside the re-read
      "enable",
      "focus",
  };
  EXPECT_EQ(log, expected);
  EXPECT_EQ(entries(), (Names{"a_b.txt", "c_d.txt", "e.txt"}));
  EXPECT_EQ(disk.contentOf(kFolder, "a_b.txt"), "a b.txt");
  EXPECT_EQ(list.names(), (Names{"a_b.txt", "c_d.txt", "e.txt"}));
}

TEST_F(ConversionPassTest, ProgressThatFailsStopsBeforeTheFileItWouldHaveCounted) {
  fill({"a.txt", "b.txt"});
  failAtProgress = 2;
  EXPECT_EQ(run(kUpper), err::Overflow);
  EXPECT_EQ(entries(), (Names{"A.TXT", "b.txt"}));
  EXPECT_TRUE(buttonEnabled);
  EXPECT_EQ(list.names(), (Names{"A.TXT", "b.txt"}));
}

TEST_F(ConversionPassTest, EveryFileIsRenamedOnceAndKeepsItsIdentity) {
  struct Row {
    const char* name;
    Names before;
    NameTransform transform;
    bool caseBlind;
    Names after;
  };
  const std::vector<Row> rows = {
      {"unchanged name is renamed to itself",
       {"bez_spacji.txt"},
       kSpacesToUnderscores,
       false,
       {"bez_spacji.txt"}},
      {"upper case", {"a.txt"}, kUpper, false, {"A.TXT"}},
      {"upper case where the folder ignores case", {"a.txt"}, kUpper, true, {"A.TXT"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    fill(row.before);
    disk.folder(kFolder).caseBlind = row.caseBlind;
    const auto inode = disk.inodeOf(kFolder, row.before[0]);
    const int calls = disk.renameCalls;
    ASSERT_EQ(run(row.transform), 0);
    EXPECT_EQ(disk.renameCalls - calls, 1);
    EXPECT_EQ(entries(), row.after);
    EXPECT_EQ(disk.inodeOf(kFolder, row.after[0]), inode);
    EXPECT_EQ(disk.contentOf(kFolder, row.after[0]), row.before[0]);
  }
}

TEST_F(ConversionPassTest, EmptyListRenamesNothingAndStillFinishes) {
  fill({"a b.txt"});
  list.setPattern("*.nic");
  log.clear();
  ASSERT_EQ(run(kSpacesToUnderscores), 0);
  EXPECT_EQ(log, (Names{"disable", "events, list of 0", "events, list of 0", "enable", "focus"}));
  EXPECT_EQ(progress, 0u);
  EXPECT_EQ(list.pattern(), "*.nic");
  EXPECT_EQ(entries(), (Names{"a b.txt"}));
}

TEST_F(ConversionPassTest, FailureAtTheFifthOfTenStopsThereAndShowsTheFolderAsItIs) {
  Names names;
  for (int i = 0; i < 10; ++i) names.push_back("plik " + std::to_string(i) + ".txt");
  fill(names);
  disk.renameCalls = 0;
  disk.failingRenames = {5};
  disk.failErrno = EACCES;
  EXPECT_EQ(run(kSpacesToUnderscores), err::PermissionDenied);
  EXPECT_EQ(error->file(), "/foto/plik 4.txt");
  const Names now = {"plik 4.txt", "plik 5.txt", "plik 6.txt", "plik 7.txt", "plik 8.txt",
                     "plik 9.txt", "plik_0.txt", "plik_1.txt", "plik_2.txt", "plik_3.txt"};
  EXPECT_EQ(entries(), now);
  EXPECT_EQ(progress, 5u);
  EXPECT_TRUE(buttonEnabled);
  EXPECT_EQ(list.names(), (Names{"plik 4.txt", "plik 5.txt", "plik 6.txt", "plik 7.txt", "plik 8.txt",
                                 "plik 9.txt", "plik_0.txt", "plik_1.txt", "plik_2.txt", "plik_3.txt"}));
}

TEST_F(ConversionPassTest, ClashWithAnExistingFileStopsWithoutOverwriting) {
  struct Row {
    const char* name;
    Names files;
    NameTransform transform;
  };
  const std::vector<Row> rows = {
      {"spaces to underscores", {"a b.txt", "a_b.txt"}, kSpacesToUnderscores},
      {"lower case on a case-sensitive folder", {"A.txt", "a.txt"}, kLower},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    fill(row.files);
    EXPECT_EQ(run(row.transform), err::FileAlreadyExists);
    EXPECT_EQ(entries(), row.files);
    for (const std::string& f : row.files) EXPECT_EQ(disk.contentOf(kFolder, f), f);
  }
}

}  // namespace
}  // namespace skorvatin
