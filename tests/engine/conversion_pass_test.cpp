#include "engine/conversion_pass.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

#include "engine/letter_case.h"
#include "engine/replacements.h"
#include "engine/run_error.h"
#include "tests/support/temp_dir.h"

namespace {

using skorvatin::CaseMode;
using skorvatin::ConversionPass;
using skorvatin::FileList;
using skorvatin::ReplaceMode;
using skorvatin::RunError;

// Engine tests link no platform code, so this stands in for the real service with the two rules
// the pass depends on: the identical path is a no-op, and an existing target is never replaced.
class NoReplaceRenamer : public skorvatin::RenameService {
 public:
  void Rename(const std::string& oldPath, const std::string& newPath) override {
    if (oldPath == newPath) {
      struct stat st {};
      if (lstat(oldPath.c_str(), &st) != 0) throw RunError::fromErrno(errno, oldPath);
      return;
    }
    if (renameat2(AT_FDCWD, oldPath.c_str(), AT_FDCWD, newPath.c_str(), RENAME_NOREPLACE) != 0) {
      throw RunError::fromErrno(errno, oldPath);
    }
  }
};

// Writes every step the pass takes into one log, so the order of the steps can be checked.
struct Recorder : skorvatin::ConversionPassView, skorvatin::RenameService {
  Recorder(FileList& l, skorvatin::RenameService& inner) : list(l), renamer(inner) {}

  float Pb1Width() override { return pb1Width; }
  void SetPb2Width(float width) override {
    pb2Width = width;
    widths.push_back(width);
    log.push_back("fill " + std::to_string(static_cast<long long>(width)));
  }
  void SetButtonEnabled(bool enabled) override {
    buttonEnabled = enabled;
    log.push_back(enabled ? "enable" : "disable");
  }
  void SetButtonFocus() override { log.push_back("focus"); }
  void Rename(const std::string& oldPath, const std::string& newPath) override {
    ++renameCalls;
    if (renameCalls == failAt) throw RunError(skorvatin::err::PermissionDenied, oldPath);
    log.push_back("rename " + base(oldPath) + " -> " + base(newPath));
    renamer.Rename(oldPath, newPath);
  }
  skorvatin::EventPump pump() {
    return [this] { log.push_back("events, list of " + std::to_string(list.ListCount())); };
  }
  void run(const skorvatin::NameTransform& transform) {
    ConversionPass(list, *this, *this, pump(), transform);
  }

  static std::string base(const std::string& p) { return p.substr(p.rfind('/') + 1); }

  FileList& list;
  skorvatin::RenameService& renamer;
  float pb1Width = 6135;
  float pb2Width = 135;
  bool buttonEnabled = true;
  int renameCalls = 0;
  int failAt = 0;
  std::vector<float> widths;
  std::vector<std::string> log;
};

const auto kSpacesToUnderscores = [](const std::string& n) {
  return skorvatin::Litery2(n, ReplaceMode::SpacesToUnderscores);
};
const auto kLower = [](const std::string& n) { return skorvatin::Litery(n, CaseMode::AllLower); };
const auto kUpper = [](const std::string& n) { return skorvatin::Litery(n, CaseMode::AllUpper); };

class ConversionPassTest : public skorvatin::testing::TempDirTest {
 protected:
  void SetUp() override {
    TempDirTest::SetUp();
    list.SetPath(dir());
  }
  ino_t inode(const std::string& name) const {
    struct stat st {};
    EXPECT_EQ(lstat(path(name).c_str(), &st), 0) << name;
    return st.st_ino;
  }

  FileList list;
  NoReplaceRenamer fs;
  Recorder rec{list, fs};
};

TEST_F(ConversionPassTest, RunsItsStepsInOrderAndGrowsTheFillBeforeEachRename) {
  touch("a b.txt");
  touch("c d.txt");
  touch("e.txt");
  list.Refresh();

  rec.run(kSpacesToUnderscores);

  const std::vector<std::string> expected = {
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
  EXPECT_EQ(rec.log, expected);
  EXPECT_EQ(entries(), (std::vector<std::string>{"a_b.txt", "c_d.txt", "e.txt"}));
  EXPECT_EQ(contentOf("a_b.txt"), "a b.txt");
  EXPECT_EQ(contentOf("c_d.txt"), "c d.txt");
  EXPECT_EQ(list.names(), (std::vector<std::string>{"a_b.txt", "c_d.txt", "e.txt"}));
}

TEST_F(ConversionPassTest, FillIsNeitherScaledNorClampedNorReset) {
  for (int i = 0; i < 150; ++i) touch("plik " + std::to_string(1000 + i) + ".txt");
  list.Refresh();

  rec.run(kSpacesToUnderscores);
  ASSERT_EQ(rec.widths.size(), 150u);
  EXPECT_EQ(rec.widths[99], 6100);
  EXPECT_EQ(rec.widths[100], 6161);
  EXPECT_EQ(rec.pb2Width, 9150);
  EXPECT_TRUE(exists("plik_1149.txt"));

  rec.widths.clear();
  rec.run(kSpacesToUnderscores);
  ASSERT_EQ(rec.widths.size(), 150u);
  EXPECT_EQ(rec.widths.front(), 61);
  EXPECT_EQ(rec.pb2Width, 9150);
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
    EXPECT_EQ(skorvatin::ProgressStepWidth(row.track), row.step);
  }
  for (const float bad : {1e12f, -1e12f, std::numeric_limits<float>::quiet_NaN()}) {
    SCOPED_TRACE(bad);
    try {
      skorvatin::ProgressStepWidth(bad);
      ADD_FAILURE() << "no error";
    } catch (const RunError& e) {
      EXPECT_EQ(e.number(), 6);
    }
  }
}

TEST_F(ConversionPassTest, FillOverflowStopsBeforeTheFileItWouldHaveCounted) {
  touch("a.txt");
  touch("b.txt");
  list.Refresh();
  rec.pb1Width = 107374182400.0f;  // a step of 2^30: the second file's fill is 2^31

  try {
    rec.run(kUpper);
    FAIL() << "no error";
  } catch (const RunError& e) {
    EXPECT_EQ(e.number(), 6);
  }
  EXPECT_EQ(entries(), (std::vector<std::string>{"A.TXT", "b.txt"}));
  EXPECT_FALSE(rec.buttonEnabled);
}

TEST_F(ConversionPassTest, UnchangedNameIsRenamedToItself) {
  touch("bez_spacji.txt");
  list.Refresh();
  const ino_t before = inode("bez_spacji.txt");

  rec.run(kSpacesToUnderscores);

  EXPECT_EQ(rec.renameCalls, 1);
  EXPECT_EQ(entries(), (std::vector<std::string>{"bez_spacji.txt"}));
  EXPECT_EQ(inode("bez_spacji.txt"), before);
  EXPECT_TRUE(rec.buttonEnabled);
}

TEST_F(ConversionPassTest, UpperCaseKeepsTheSameFile) {
  touch("a.txt", "zawartość");
  list.Refresh();
  const ino_t before = inode("a.txt");

  rec.run(kUpper);

  EXPECT_EQ(entries(), (std::vector<std::string>{"A.TXT"}));
  EXPECT_EQ(inode("A.TXT"), before);
  EXPECT_EQ(contentOf("A.TXT"), "zawartość");
  EXPECT_EQ(list.names(), (std::vector<std::string>{"A.TXT"}));
}

TEST_F(ConversionPassTest, EmptyListRenamesNothingAndStillFinishes) {
  touch("a b.txt");
  list.SetPattern("*.nic");

  rec.run(kSpacesToUnderscores);

  const std::vector<std::string> expected = {"disable", "events, list of 0", "events, list of 0", "enable",
                                             "focus"};
  EXPECT_EQ(rec.log, expected);
  EXPECT_EQ(rec.pb2Width, 135);
  EXPECT_EQ(list.Pattern(), "*.nic");
  EXPECT_EQ(entries(), (std::vector<std::string>{"a b.txt"}));
}

TEST_F(ConversionPassTest, FailureAtTheFifthOfTenStopsThere) {
  for (int i = 0; i < 10; ++i) touch("plik " + std::to_string(i) + ".txt");
  list.Refresh();
  rec.failAt = 5;

  try {
    rec.run(kSpacesToUnderscores);
    FAIL() << "no error";
  } catch (const RunError& e) {
    EXPECT_EQ(e.number(), 70);
    EXPECT_EQ(e.file(), path("plik 4.txt"));
  }

  EXPECT_EQ(entries(),
            (std::vector<std::string>{"plik 4.txt", "plik 5.txt", "plik 6.txt", "plik 7.txt", "plik 8.txt",
                                      "plik 9.txt", "plik_0.txt", "plik_1.txt", "plik_2.txt", "plik_3.txt"}));
  EXPECT_EQ(rec.log.back(), "fill 305");
  EXPECT_FALSE(rec.buttonEnabled);
  EXPECT_EQ(list.List(0), "plik 0.txt");  // not re-read
}

TEST_F(ConversionPassTest, ClashWithAnExistingFileStopsWithoutOverwriting) {
  struct Row {
    const char* name;
    std::vector<std::string> files;
    skorvatin::NameTransform transform;
  };
  const Row rows[] = {
      {"spaces to underscores", {"a b.txt", "a_b.txt"}, kSpacesToUnderscores},
      {"lower case on a case-sensitive folder", {"A.txt", "a.txt"}, kLower},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    for (const std::string& f : entries()) std::remove(path(f).c_str());
    for (const std::string& f : row.files) touch(f);
    list.Refresh();

    try {
      rec.run(row.transform);
      ADD_FAILURE() << "no error";
    } catch (const RunError& e) {
      EXPECT_EQ(e.number(), 58);
    }
    EXPECT_EQ(entries(), row.files);
    for (const std::string& f : row.files) EXPECT_EQ(contentOf(f), f);
  }
}

}  // namespace
