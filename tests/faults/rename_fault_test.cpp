// Errors of the real rename, injected at the system call by the preloaded shim: each operation
// stops at the file concerned with the number the user knows the error by, and loses nothing. What
// a failure at each position leaves behind is proven on the memory disk.
#include <cerrno>

#include "engine/run_error.h"
#include "tests/faults/fault_harness.h"

namespace skorvatin::faults {
namespace {

// Sorted as the list shows them, with or without ".q", so position i is numbered i + 1.
const std::vector<std::string> kNames = {"a.txt", "b.jpg", "c.txt", "d.png", "e.tar.gz", "f"};

class RenameFault : public FaultTest {};

// Guards the premise of the call numbers below: the shim sees exactly these twelve calls, in this
// order.
TEST_F(RenameFault, ShimSeesEveryRenameOfACleanRun) {
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
}

TEST_F(RenameFault, TheSystemsErrorStopsTheOperationAtItsFile) {
  struct Row {
    const char* name;
    std::vector<std::string> operation;  // the mode and its arguments, the folder left out
    std::vector<std::string> files;
    int failAt;  // the rename call that fails
    int errnum;
    int number;
    const char* file;
    std::vector<std::string> after;  // where each file is afterwards, in the order of `files`
    int alsoAt = 0;                  // a rename of the undo that fails as well
    std::size_t misplaced = 0;
  };
  const std::vector<std::string> numbered = {"Plik1.txt", "b.jpg", "c.txt", "d.png", "e.tar.gz", "f"};
  const std::vector<Row> rows = {
      {"numbering, first pass", {"number"}, kNames, 3, EIO, err::DeviceIo, "c.txt", kNames},
      {"numbering, second pass", {"number"}, kNames, 9, ENOENT, err::FileNotFound, "c.txt", kNames},
      {"numbering, last rename", {"number"}, kNames, 12, EACCES, err::PermissionDenied, "f", kNames},
      // Call 11 would give a.txt its temporary name back: it stays under its new one.
      {"numbering, its undo failing too",
       {"number"},
       kNames,
       9,
       EIO,
       err::DeviceIo,
       "c.txt",
       numbered,
       11,
       1},
      {"capitals",
       {"case", "upper"},
       {"a.txt", "b.jpg", "c.txt", "d.png"},
       3,
       EACCES,
       err::PermissionDenied,
       "c.txt",
       {"A.TXT", "B.JPG", "c.txt", "d.png"}},
      {"spaces to underscores",
       {"replace", "spaces"},
       {"a b.txt", "c d.txt", "e f.txt"},
       2,
       EIO,
       err::DeviceIo,
       "c d.txt",
       {"a_b.txt", "c d.txt", "e f.txt"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    resetFolder();
    makeFiles(row.files);
    const Snapshot before = snapshot(folder());
    std::vector<std::string> args = row.operation;
    args.insert(args.begin() + 1, folder());
    std::vector<std::string> env = {"SKORVATIN_FAIL_AT=" + std::to_string(row.failAt),
                                    "SKORVATIN_FAIL_ERRNO=" + std::to_string(row.errnum)};
    if (row.alsoAt != 0) env.push_back("SKORVATIN_FAIL_ALSO_AT=" + std::to_string(row.alsoAt));
    const DriverResult r = runDriver(DriverRun(args, env), dir());
    ASSERT_EQ(r.exitStatus, 3) << r.stderrText;
    EXPECT_EQ(r.number, row.number);
    // The file is named as the user knows it, which after the undo is its name again.
    EXPECT_EQ(r.file, inFolder(row.file)) << r.what;
    EXPECT_EQ(r.misplaced.size(), row.misplaced) << r.what;
    Snapshot expected;
    for (std::size_t i = 0; i < row.files.size(); ++i) expected[row.after[i]] = before.at(row.files[i]);
    EXPECT_EQ(snapshot(folder()), expected);
  }
}

}  // namespace
}  // namespace skorvatin::faults
