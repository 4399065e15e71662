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
  return Litery2(n, ReplaceMode::SpacesToUnderscores);
};
const NameTransform kLower = [](const std::string& n) { return Litery(n, CaseMode::AllLower); };
const NameTransform kUpper = [](const std::string& n) { return Litery(n, CaseMode::AllUpper); };

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
    list.Refresh();
  }
  // Runs the pass and returns the error number, 0 when it went through.
  int run(const NameTransform& transform) {
    try {
      runConversionPass(
          list, *this, [this] { log.push_back("events, list of " + std::to_string(list.ListCount())); },
          transform);
    } catch (const RunError& e) {
      error = e;
      return e.number();
    }
    return 0;
  }

  float trackWidth() override { return track; }
  void setFillWidth(float width) override {
    fill_ = width;
    fills.push_back(width);
    log.push_back("fill " + std::to_string(static_cast<long long>(width)));
  }
  void setButtonEnabled(bool enabled) override {
    buttonEnabled = enabled;
    log.push_back(enabled ? "enable" : "disable");
  }
  void focusButton() override { log.push_back("focus"); }

  Names entries() const { return disk.names(kFolder); }

  MemoryDisk disk;
  FileList list{disk};
  float track = 6135;
  float fill_ = 135;
  bool buttonEnabled = true;
  std::vector<float> fills;
  std::vector<std::string> log;
  std::optional<RunError> error;
};

TEST_F(ConversionPassTest, RunsItsStepsInOrderAndGrowsTheFillBeforeEachRename) {
  fill({"a b.txt", "c d.txt", "e.txt"});
  ASSERT_EQ(run(kSpacesToUnderscores), 0);
  const Names expected = {
      "disable",
      "fill 61",
      "rename a b.txt -> a_b.txt",
      "fill 122",
      "rename c d.txt -> c_d.txt",
      "fill 183",
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

TEST_F(ConversionPassTest, FillIsNeitherScaledNorClampedNorReset) {
  Names names;
  for (int i = 0; i < 150; ++i) names.push_back("plik " + std::to_string(1000 + i) + ".txt");
  fill(names);
  ASSERT_EQ(run(kSpacesToUnderscores), 0);
  ASSERT_EQ(fills.size(), 150u);
  EXPECT_EQ(fills[99], 6100);
  EXPECT_EQ(fills[100], 6161);
  EXPECT_EQ(fill_, 9150);

  fills.clear();
  ASSERT_EQ(run(kSpacesToUnderscores), 0);
  ASSERT_EQ(fills.size(), 150u);
  EXPECT_EQ(fills.front(), 61);
}

TEST(ProgressStepWidth, RoundsHalvesToEven) {
  struct Row {
    const char* name;
    float track;
    std::int32_t step;
  };
  const Row rows[] = {
      {"window layout", 6135.0f, 61},   {"just below half", 6149.0f, 61},
      {"half up to even", 6150.0f, 62}, {"half down to even", 6250.0f, 62},
      {"just above half", 6251.0f, 63}, {"half of one", 50.0f, 0},
      {"one and a half", 150.0f, 2},    {"zero", 0.0f, 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(progressStepWidth(row.track), row.step);
  }
  for (const float bad : {1e12f, -1e12f, std::numeric_limits<float>::quiet_NaN()}) {
    SCOPED_TRACE(bad);
    try {
      progressStepWidth(bad);
      ADD_FAILURE() << "no error";
    } catch (const RunError& e) {
      EXPECT_EQ(e.number(), 6);
    }
  }
}

TEST_F(ConversionPassTest, FillOverflowStopsBeforeTheFileItWouldHaveCounted) {
  fill({"a.txt", "b.txt"});
  track = 107374182400.0f;  // a step of 2^30: the second file's fill is 2^31
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
  EXPECT_EQ(fill_, 135);
  EXPECT_EQ(list.Pattern(), "*.nic");
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
  EXPECT_EQ(fill_, 305);
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
