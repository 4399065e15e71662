// A failure at every rename of a whole operation, injected at the system call by the preloaded
// shim: the numbering run must put every file back and name the failing one, also when its own
// undo is hit by a second failure; the conversion pass must stop cleanly at the failing file.
#include <cerrno>
#include <cstring>

#include "tests/faults/fault_harness.h"

namespace skorvatin::faults {
namespace {

// Sorted as the list shows them, with or without ".q", so position i is numbered i + 1.
const std::vector<std::string> kNames = {"a.txt", "b.jpg", "c.txt", "d.png", "e.tar.gz", "f"};

struct Injected {
  const char* name;
  int errnum;
  int number;  // the error the user sees
};
const Injected kErrors[] = {{"EIO", EIO, 57}, {"ENOENT", ENOENT, 53}, {"EACCES", EACCES, 70}};

class NumberingFault : public FaultTest {};

// Guards the premise of the loops below: the shim sees exactly these twelve calls, in this order.
TEST_F(NumberingFault, ShimSeesEveryRenameOfACleanRun) {
  makeFiles(kNames);
  const DriverResult r = runDriver(DriverRun({"number", folder()}), dir());
  ASSERT_EQ(r.exitStatus, 0) << r.stderrText;
  const std::vector<std::pair<std::string, std::string>> expected = {
      {"a.txt", "a.txt.q"},     {"b.jpg", "b.jpg.q"},       {"c.txt", "c.txt.q"},
      {"d.png", "d.png.q"},     {"e.tar.gz", "e.tar.gz.q"}, {"f", "f.q"},
      {"a.txt.q", "Plik1.txt"}, {"b.jpg.q", "Plik2.jpg"},   {"c.txt.q", "Plik3.txt"},
      {"d.png.q", "Plik4.png"}, {"e.tar.gz.q", "Plik5.gz"}, {"f.q", "Plik6"},
  };
  ASSERT_EQ(r.calls.size(), expected.size()) << "the shim does not see the rename service's calls";
  for (std::size_t i = 0; i < expected.size(); ++i) {
    // The service may pass full paths or names relative to an open folder.
    const auto bare = [](const std::string& p) { return p.substr(p.rfind('/') + 1); };
    EXPECT_EQ(bare(r.calls[i].from), expected[i].first) << "call " << i + 1;
    EXPECT_EQ(bare(r.calls[i].to), expected[i].second) << "call " << i + 1;
  }
  const std::vector<std::string> after = {"Plik1.txt", "Plik2.jpg", "Plik3.txt",
                                          "Plik4.png", "Plik5.gz",  "Plik6"};
  std::vector<std::string> names;
  for (const auto& [name, state] : snapshot(folder())) names.push_back(name);
  EXPECT_EQ(names, after);
}

TEST_F(NumberingFault, EveryFailingRenameIsUndoneAndNamesItsFile) {
  int runs = 0;
  for (const Injected& inj : kErrors) {
    for (int k = 1; k <= 12; ++k) {
      SCOPED_TRACE(std::string(inj.name) + " at rename " + std::to_string(k));
      resetFolder();
      makeFiles(kNames);
      const Snapshot before = snapshot(folder());
      const DriverResult r =
          runDriver(DriverRun({"number", folder()}, {"SKORVATIN_FAIL_AT=" + std::to_string(k),
                                                     "SKORVATIN_FAIL_ERRNO=" + std::to_string(inj.errnum)}),
                    dir());
      ++runs;
      ASSERT_EQ(r.exitStatus, 3) << r.stderrText;
      EXPECT_EQ(r.number, inj.number);
      // The file is named as the user knows it, which after the undo is its name again.
      EXPECT_EQ(r.file, inFolder(kNames[static_cast<std::size_t>((k - 1) % 6)])) << r.what;
      EXPECT_TRUE(r.misplaced.empty());
      const Snapshot after = snapshot(folder());
      EXPECT_EQ(after, before);
      EXPECT_TRUE(suffixedNames(after).empty());
      // k - 1 renames were done and each undone once.
      EXPECT_EQ(r.calls.size(), static_cast<std::size_t>(2 * k - 1));
    }
  }
  EXPECT_EQ(runs, 36);
}

// The undo itself fails at one of its renames: the run must say which file is where, and every
// file must still be there with its content, under one of the two names given.
TEST_F(NumberingFault, AFailedUndoIsReportedWithBothNames) {
  int runs = 0;
  for (int k = 2; k <= 12; ++k) {
    for (int m = k + 1; m <= 2 * k - 1; ++m) {
      SCOPED_TRACE("rename " + std::to_string(k) + " fails, then rename " + std::to_string(m));
      resetFolder();
      makeFiles(kNames);
      const Snapshot before = snapshot(folder());
      const DriverResult r =
          runDriver(DriverRun({"number", folder()}, {"SKORVATIN_FAIL_AT=" + std::to_string(k),
                                                     "SKORVATIN_FAIL_ALSO_AT=" + std::to_string(m)}),
                    dir());
      ++runs;
      ASSERT_EQ(r.exitStatus, 3) << r.stderrText;
      EXPECT_EQ(r.number, 57);
      // The one undo that failed leaves exactly one file away from home.
      ASSERT_EQ(r.misplaced.size(), 1U) << r.what;
      const Snapshot after = snapshot(folder());
      EXPECT_EQ(after.size(), before.size());
      for (const auto& [name, state] : before) {
        const std::string original = inFolder(name);
        std::string now = original;
        for (const auto& [current, orig] : r.misplaced)
          if (orig == original) now = current;
        ASSERT_EQ(now.rfind(folder() + "/", 0), 0U) << now;
        const auto it = after.find(now.substr(folder().size() + 1));
        ASSERT_NE(it, after.end()) << name << " is neither at home nor where the report says";
        EXPECT_EQ(it->second, state) << name;
      }
    }
  }
  EXPECT_EQ(runs, 66);
}

class ConversionFault : public FaultTest {};

TEST_F(ConversionFault, AFailureStopsThePassAtThatFile) {
  const std::vector<std::string> lower = {"a.txt", "b.jpg", "c.txt", "d.png", "e.gz", "f"};
  const std::vector<std::string> upper = {"A.TXT", "B.JPG", "C.TXT", "D.PNG", "E.GZ", "F"};
  int runs = 0;
  for (const Injected& inj : kErrors) {
    for (int k = 1; k <= 6; ++k) {
      SCOPED_TRACE(std::string(inj.name) + " at file " + std::to_string(k));
      resetFolder();
      makeFiles(lower);
      const Snapshot before = snapshot(folder());
      const DriverResult r = runDriver(
          DriverRun({"case", folder(), "upper"}, {"SKORVATIN_FAIL_AT=" + std::to_string(k),
                                                  "SKORVATIN_FAIL_ERRNO=" + std::to_string(inj.errnum)}),
          dir());
      ++runs;
      ASSERT_EQ(r.exitStatus, 3) << r.stderrText;
      EXPECT_EQ(r.number, inj.number);
      EXPECT_EQ(r.file, inFolder(lower[static_cast<std::size_t>(k - 1)])) << r.what;
      EXPECT_EQ(r.calls.size(), static_cast<std::size_t>(k));
      Snapshot expected;
      for (std::size_t i = 0; i < lower.size(); ++i) {
        const std::string& now = static_cast<int>(i) < k - 1 ? upper[i] : lower[i];
        expected[now] = before.at(lower[i]);
      }
      EXPECT_EQ(snapshot(folder()), expected);
    }
  }
  EXPECT_EQ(runs, 18);
}

TEST_F(ConversionFault, ReplacementPassStopsAtTheFailingFile) {
  const std::vector<std::string> spaced = {"a b.txt", "c d.txt", "e f.txt"};
  const std::vector<std::string> joined = {"a_b.txt", "c_d.txt", "e_f.txt"};
  for (int k = 1; k <= 3; ++k) {
    SCOPED_TRACE("at file " + std::to_string(k));
    resetFolder();
    makeFiles(spaced);
    const Snapshot before = snapshot(folder());
    const DriverResult r = runDriver(
        DriverRun({"replace", folder(), "spaces"}, {"SKORVATIN_FAIL_AT=" + std::to_string(k)}), dir());
    ASSERT_EQ(r.exitStatus, 3) << r.stderrText;
    EXPECT_EQ(r.file, inFolder(spaced[static_cast<std::size_t>(k - 1)]));
    Snapshot expected;
    for (std::size_t i = 0; i < spaced.size(); ++i)
      expected[static_cast<int>(i) < k - 1 ? joined[i] : spaced[i]] = before.at(spaced[i]);
    EXPECT_EQ(snapshot(folder()), expected);
  }
}

}  // namespace
}  // namespace skorvatin::faults
