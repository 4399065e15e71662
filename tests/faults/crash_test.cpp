// Batches cut off by SIGKILL (a crash, an out-of-memory kill, a power cut) and taken back from
// their journals by another process, as the next start of the program does: every file must be
// back under its name, as the same file with the same content, and nothing may be left unfinished
// for a later start to offer again.
#include <signal.h>

#include <filesystem>

#include "engine/run_error.h"
#include "tests/faults/fault_harness.h"

namespace skorvatin::faults {
namespace {

constexpr int kKilled = 128 + SIGKILL;

std::string killAt(int k) {
  return "SKORVATIN_KILL_AT=" + std::to_string(k);
}

// One run of the driver: an operation on the folder under test, or "recover" or "undo".
struct Step {
  std::vector<std::string> operation;  // the mode and its arguments, the folder left out
  std::vector<std::string> env;
};

class Crash : public FaultTest {
 protected:
  DriverResult drive(const Step& step, std::vector<std::string> env = {}) {
    std::vector<std::string> args = {step.operation.front()};
    if (args.front() != "recover" && args.front() != "undo") args.push_back(folder());
    args.insert(args.end(), step.operation.begin() + 1, step.operation.end());
    env.insert(env.end(), step.env.begin(), step.env.end());
    return runDriver(DriverRun(args, env), dir());
  }
  DriverResult recover() { return drive({{"recover"}, {}}); }
  void resetState() { std::filesystem::remove_all(path("state")); }
};

// Four files whose numbering from 4 down swaps two names: "Plik1.txt" becomes "Plik2.txt" and
// "Plik2.txt" becomes "Plik1.txt". Each of the two names belongs to one file before the run and to
// the other after it, so only the inode tells which file a name holds, and neither file can go
// straight back while the other holds its name.
const std::vector<std::string> kSwapping = {"a.txt", "b.txt", "Plik1.txt", "Plik2.txt"};
const Step kNumberSwapping = {{"number", "start=4", "step=-1"}, {}};

// Each kind of batch killed at one of its renames: that a kill at any of them is recovered is
// proven on the memory disk; here the journal is the real one, written by a process that dies.
TEST_F(Crash, BatchKilledAtARenameIsRecovered) {
  struct Row {
    const char* name;
    Step killed;  // killed before its k-th counted rename
    int k;
    std::vector<Step> before = {};  // run first, each to its end or to the kill it asks for
    bool journal = false;           // count the journal's own renames instead of the files'
    // Where the recovery must leave each file: its name then, and the name it was created under.
    // Empty when every file must be back under the name it was created under.
    std::vector<std::pair<std::string, std::string>> expected = {};
    std::vector<std::string> files = kSwapping;
  };
  const std::vector<std::pair<std::string, std::string>> numbered = {
      {"Plik4.txt", "a.txt"}, {"Plik3.txt", "b.txt"}, {"Plik2.txt", "Plik1.txt"}, {"Plik1.txt", "Plik2.txt"}};
  const std::vector<Row> rows = {
      {.name = "numbering, second pass", .killed = kNumberSwapping, .k = 6},
      // The third rename of the second pass fails, and the run is putting back the six before it.
      {.name = "numbering, undoing a failure",
       .killed = {{"number", "start=4", "step=-1"}, {"SKORVATIN_FAIL_AT=7"}},
       .k = 10},
      // The plan is being put in place, no file renamed.
      {.name = "numbering, placing the journal", .killed = kNumberSwapping, .k = 1, .journal = true},
      // Every file renamed, the end not yet recorded: the run is done, not taken back.
      {.name = "numbering, placing the end",
       .killed = kNumberSwapping,
       .k = 2,
       .journal = true,
       .expected = numbered},
      {.name = "conversion",
       .killed = {{"case", "upper"}, {}},
       .k = 3,
       .files = {"a.txt", "b.jpg", "c d.txt", "żółw.txt"}},
      // Cut off, the undo is taken back: the names are the numbered ones again, still swapped.
      {.name = "undo of numbering",
       .killed = {{"undo"}, {}},
       .k = 5,
       .before = {kNumberSwapping},
       .expected = numbered},
      // The run was cut off in its second pass; then its recovery was cut off too. Both journals
      // are unfinished, and the newer one must be taken back first.
      {.name = "recovery of numbering",
       .killed = {{"recover"}, {}},
       .k = 4,
       .before = {{{"number", "start=4", "step=-1"}, {killAt(6)}}}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    resetFolder();
    resetState();
    makeFiles(row.files);
    const Snapshot created = snapshot(folder());
    for (const Step& step : row.before) {
      const DriverResult r = drive(step);
      ASSERT_TRUE(r.exitStatus == 0 || r.exitStatus == kKilled) << r.stderrText;
    }
    std::vector<std::string> env = {killAt(row.k)};
    if (row.journal) env.push_back("SKORVATIN_RENAME_FOLDER=" + path("state/skorvatin"));
    const DriverResult killed = drive(row.killed, env);
    ASSERT_EQ(killed.exitStatus, kKilled) << "rename " << row.k << " never came\n" << killed.stderrText;

    const DriverResult recovered = recover();
    ASSERT_EQ(recovered.exitStatus, 0) << recovered.what << recovered.stderrText;
    EXPECT_TRUE(recovered.missing.empty());
    Snapshot expected = created;
    if (!row.expected.empty()) {
      expected.clear();
      for (const auto& [now, was] : row.expected) expected[now] = created.at(was);
    }
    EXPECT_EQ(snapshot(folder()), expected);

    const DriverResult again = recover();
    EXPECT_EQ(again.exitStatus, 0) << again.stderrText;
    EXPECT_TRUE(again.restored.empty()) << "a journal was left unfinished";
    EXPECT_TRUE(again.calls.empty());
  }
}

// 2000 photos numbered with the window's defaults and killed at the 3000th rename: half-way
// through the second pass, with 999 files under new names and 1001 under temporary ones.
TEST_F(Crash, TwoThousandPhotosKilledInTheSecondPassAllGetTheirNamesBack) {
  // On tmpfs where there is one: the test is about the journal, not about the disk's speed.
  std::string scratch = std::filesystem::is_directory("/dev/shm") ? "/dev/shm" : dir();
  scratch += "/skorvatin-crash-XXXXXX";
  ASSERT_NE(::mkdtemp(scratch.data()), nullptr);
  struct Remove {
    std::string path;
    ~Remove() { std::filesystem::remove_all(path); }
  } remove{scratch};
  const std::string photos = scratch + "/files";
  ASSERT_EQ(::mkdir(photos.c_str(), 0755), 0);
  for (int i = 0; i < 2000; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "DSC_%04d.JPG", i);
    std::ofstream(photos + "/" + name, std::ios::binary) << "photo " << i;
  }
  const Snapshot created = snapshot(photos);
  ASSERT_EQ(created.size(), 2000U);
  ASSERT_EQ(created.begin()->first, "DSC_0000.JPG");

  const DriverResult killed = runDriver(DriverRun({"number", photos}, {killAt(3000)}), scratch);
  ASSERT_EQ(killed.exitStatus, kKilled) << killed.stderrText;
  const Snapshot cutOff = snapshot(photos);
  EXPECT_EQ(suffixedNames(cutOff).size(), 1001U);
  EXPECT_EQ(cutOff.count("Plik999.JPG"), 1U);

  const DriverResult recovered = runDriver(DriverRun({"recover"}), scratch);
  ASSERT_EQ(recovered.exitStatus, 0) << recovered.what << recovered.stderrText;
  EXPECT_EQ(recovered.restored, (std::vector<Restored>{{2000, photos}}));
  EXPECT_EQ(snapshot(photos), created);
  EXPECT_TRUE(runDriver(DriverRun({"recover"}), scratch).restored.empty());
}

// Without a journal there is no way back after a crash: the operation must not start at all.
TEST_F(Crash, NoBatchStartsWithoutItsJournal) {
  makeFiles({"a.txt", "b.txt"});
  const Snapshot created = snapshot(folder());
  // A file where the state folder should be: nothing can be made inside it, not even by root.
  std::ofstream(path("state-file")) << "not a folder";
  for (const Step& step : {kNumberSwapping, Step{{"case", "upper"}, {}}}) {
    SCOPED_TRACE(step.operation.front());
    const DriverResult r = drive(step, {"XDG_STATE_HOME=" + path("state-file")});
    ASSERT_EQ(r.exitStatus, 3) << r.stderrText;
    EXPECT_EQ(r.number, err::PathNotFound) << r.what;
    EXPECT_EQ(r.file, path("state-file/skorvatin"));
    EXPECT_TRUE(r.calls.empty());
    EXPECT_EQ(snapshot(folder()), created);
  }
}

// Two copies of the program started on one journal folder after a crash. While one restores the
// batch, another finds nothing to ask about; a third, whose user answers only after the first
// copy has restored the batch and numbered the folder again, leaves the new names alone.
TEST_F(Crash, TwoCopiesNeverRestoreOneBatchTwice) {
  std::vector<std::string> names;
  for (int i = 0; i < 40; ++i) names.push_back("DSC_" + std::to_string(1000 + i) + ".JPG");
  makeFiles(names);
  const Snapshot created = snapshot(folder());
  ASSERT_EQ(drive({{"number"}, {}}, {killAt(60)}).exitStatus, kKilled);

  const std::vector<std::string> shared = {"XDG_STATE_HOME=" + path("state"),
                                           "SKORVATIN_RENAME_FOLDER=" + folder()};
  const auto copy = [&](const std::string& name, std::vector<std::string> env) {
    ::mkdir(path(name).c_str(), 0755);
    env.insert(env.end(), shared.begin(), shared.end());
    return startDriver(DriverRun({"recover"}, env), path(name));
  };
  const StartedDriver late = copy("late", {"SKORVATIN_STOP_BEFORE_ANSWER=1"});
  ASSERT_EQ(waitDriver(late, true).exitStatus, kDriverStopped);
  const StartedDriver first = copy("first", {"SKORVATIN_SIGNAL_AT=10 " + std::to_string(SIGSTOP)});
  ASSERT_EQ(waitDriver(first, true).exitStatus, kDriverStopped);

  const DriverResult second = recover();
  EXPECT_EQ(second.exitStatus, 0) << second.stderrText;
  EXPECT_TRUE(second.restored.empty());
  EXPECT_TRUE(second.calls.empty());

  ::kill(first.pid, SIGCONT);
  const DriverResult restored = waitDriver(first);
  ASSERT_EQ(restored.exitStatus, 0) << restored.what << restored.stderrText;
  EXPECT_EQ(snapshot(folder()), created);
  ASSERT_EQ(drive({{"number"}, {}}).exitStatus, 0);
  const Snapshot renumbered = snapshot(folder());

  ::kill(late.pid, SIGCONT);
  const DriverResult answered = waitDriver(late);
  EXPECT_EQ(answered.exitStatus, 0) << answered.what << answered.stderrText;
  EXPECT_EQ(answered.leftAlone, "finished");
  EXPECT_TRUE(answered.calls.empty());
  EXPECT_EQ(snapshot(folder()), renumbered);
}

}  // namespace
}  // namespace skorvatin::faults
