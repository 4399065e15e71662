// The journal that the two operations keep: written whole before the first rename, finished only
// once the names are on the disk, and good enough that a run cut off anywhere can be taken back.

#include <gtest/gtest.h>

#include <optional>
#include <set>
#include <string>
#include <vector>

#include "engine/batch_restore.h"
#include "engine/conversion_pass.h"
#include "engine/letter_case.h"
#include "engine/numbering_run.h"
#include "tests/support/engine_fakes.h"
#include "tests/support/error_number.h"
#include "tests/support/memory_folder.h"
#include "tests/support/memory_journal_store.h"

namespace skorvatin {
namespace {

using Names = std::vector<std::string>;
using testing::errorNumberOf;

using testing::MemoryDisk;
using testing::MemoryJournalStore;
using testing::SilentPassView;

// The program's process ending at a rename, as a kill or a power cut would end it: no undo runs.
struct ProcessKilled {};

class OperationJournalTest : public ::testing::Test {
 protected:
  static constexpr const char* kFolder = "/foto";

  void SetUp() override {
    disk.folder(kFolder);
    disk.beforeRename = [this](int call, const std::string& from, const std::string& to) {
      if (call == killAt) throw ProcessKilled{};
      log.push_back("rename " + from + " -> " + to);
    };
    disk.onSync = [this] { log.push_back("sync"); };
    store.onCall = [this](const std::string& what) { log.push_back(what); };
  }
  void fill(const Names& names) {
    disk.addAll(kFolder, names);
    list.setPath(kFolder);
  }
  // Runs and returns the error number, 0 when the run went through.
  int number() {
    NumberingRun run(list, options, nullptr, &store);
    if (stopAtPause > 0) run.setStopRequest([this] { return ++pauses == stopAtPause; });
    return errorNumberOf([&] { run.run(); });
  }
  int upperCase() {
    return errorNumberOf([&] {
      runConversionPass(
          list, view, nullptr, [](const std::string& n) { return changeCase(n, CaseMode::AllUpper); },
          &store);
    });
  }
  const MemoryJournalStore::Journal& only() {
    EXPECT_EQ(store.journals.size(), 1u);
    return store.journals.begin()->second;
  }

  MemoryDisk disk;
  MemoryJournalStore store;
  FileList list{disk};
  NumberingSettings options;
  SilentPassView view;
  std::vector<std::string> log;
  int killAt = 0;
  int stopAtPause = 0;
  int pauses = 0;
};

TEST_F(OperationJournalTest, NumberingRunWritesItsPlanBeforeTheFirstRenameAndFinishesAfterTheSync) {
  fill({"b.txt", "a.jpg"});
  const auto inodeA = disk.inodeOf(kFolder, "a.jpg");
  ASSERT_EQ(number(), 0);
  const Names expected = {"begin 1",
                          "rename a.jpg -> a.jpg.q",
                          "rename b.txt -> b.txt.q",
                          "rename a.jpg.q -> Plik1.jpg",
                          "rename b.txt.q -> Plik2.txt",
                          "sync",
                          "finish 1"};
  EXPECT_EQ(log, expected);
  const auto& journal = only();
  EXPECT_EQ(journal.plan.kind, BatchKind::Numbering);
  EXPECT_EQ(journal.plan.folderPath, kFolder);
  ASSERT_EQ(journal.plan.files.size(), 2u);
  EXPECT_EQ(journal.plan.files[0], (PlannedFile{{MemoryDisk::kDevice, inodeA},
                                                "a.jpg",
                                                "a.jpg.q",
                                                "Plik1.jpg",
                                                disk.folder(kFolder).entries.at("Plik1.jpg").stamp}));
  EXPECT_EQ(journal.end, (BatchEnd{BatchOutcome::Done, 2}));
  EXPECT_EQ(store.history().size(), 1u);
}

TEST_F(OperationJournalTest, HowEachEndingIsRecorded) {
  struct Row {
    const char* name;
    int error;
    int renames;
    std::optional<BatchEnd> end = {};  // nothing: unfinished, to be offered at the next start
    bool conversion = false;
    std::set<int> failing = {};  // rename calls that fail
    int pause = 0;               // the program is told to end at this pause
    bool full = false;           // the journal cannot be written
    const char* gone = nullptr;  // a listed file deleted before the run
  };
  const BatchEnd undone{BatchOutcome::RolledBack, 0};
  const int io = err::DeviceIo;
  const int ended = err::Interrupted;
  const int noRoom = err::DiskFull;
  // Numbering runs unless said otherwise.
  const std::vector<Row> rows = {
      {.name = "failure undone", .error = io, .renames = 7, .end = undone, .failing = {4}},
      {.name = "undo failing too", .error = io, .renames = 7, .failing = {4, 5}},
      {.name = "ended after the suffix pass", .error = ended, .renames = 6, .end = undone, .pause = 1},
      {.name = "ended before the numbering pass", .error = ended, .renames = 6, .end = undone, .pause = 2},
      {.name = "ended after the numbering pass", .error = ended, .renames = 12, .end = undone, .pause = 3},
      {.name = "conversion stopped at its second file",
       .error = io,
       .renames = 2,
       .end = BatchEnd{BatchOutcome::Stopped, 1},
       .conversion = true,
       .failing = {2}},
      {.name = "journal full", .error = noRoom, .renames = 0, .full = true},
      {.name = "conversion, journal full", .error = noRoom, .renames = 0, .conversion = true, .full = true},
      {.name = "conversion, file gone",
       .error = err::FileNotFound,
       .renames = 0,
       .conversion = true,
       .gone = "b.txt"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    disk.removeFolder(kFolder);
    fill({"a.txt", "b.txt", "c.txt"});
    if (row.gone != nullptr) disk.folder(kFolder).entries.erase(row.gone);
    store.journals.clear();
    store.full = row.full;
    disk.renameCalls = 0;
    disk.failingRenames = row.failing;
    stopAtPause = row.pause;
    pauses = 0;
    EXPECT_EQ(row.conversion ? upperCase() : number(), row.error);
    EXPECT_EQ(disk.renameCalls, row.renames);
    if (row.full) {
      EXPECT_TRUE(store.journals.empty());
      EXPECT_EQ(disk.names(kFolder), (Names{"a.txt", "b.txt", "c.txt"}));
      continue;
    }
    if (row.gone != nullptr) {
      EXPECT_TRUE(store.journals.empty());
      EXPECT_EQ(disk.names(kFolder), (Names{"a.txt", "c.txt"}));
      continue;
    }
    EXPECT_EQ(only().end, row.end);
    if (row.end && row.end->outcome == BatchOutcome::RolledBack) {
      EXPECT_EQ(disk.names(kFolder), (Names{"a.txt", "b.txt", "c.txt"}));
    }
  }
}

// Whatever rename the process dies at, in the run or in the undo of a failed one, the journal it
// left leads every file back to its name. Numbered from 3 down, B.TXT becomes Plik3.TXT and the
// other two trade names; in capitals, B.TXT keeps its own and costs no call.
TEST_F(OperationJournalTest, ARunKilledAtAnyRenameIsRecoveredFromItsJournal) {
  struct Row {
    const char* name;
    bool conversion;
    std::set<int> failing;  // rename calls that fail before the kill
    int firstKill;
    int lastKill;
  };
  // Calls 1-3 are the suffix pass, 4-6 the numbering pass; a failure at call 5 is undone by 6-9.
  const Row rows[] = {{"numbering run", false, {}, 1, 6},
                      {"numbering run undoing a failed rename", false, {5}, 6, 9},
                      {"conversion pass", true, {}, 1, 2}};
  const Names files = {"B.TXT", "Plik1.txt", "Plik2.txt"};
  options.start = "3";
  options.step = "-1";
  for (const Row& row : rows) {
    for (int k = row.firstKill; k <= row.lastKill; ++k) {
      SCOPED_TRACE(std::string(row.name) + ", killed at rename " + std::to_string(k));
      disk.removeFolder(kFolder);
      fill(files);
      store.journals.clear();
      disk.renameCalls = 0;
      disk.failingRenames = row.failing;
      killAt = k;
      EXPECT_THROW(row.conversion ? upperCase() : number(), ProcessKilled);
      killAt = 0;
      disk.failingRenames.clear();
      const auto unfinished = store.unfinished();
      ASSERT_EQ(unfinished.size(), 1u);
      const RestoreReport report = recoverBatch(store, list, nullptr, unfinished.front().id);
      EXPECT_TRUE(report.missing.empty());
      EXPECT_EQ(disk.names(kFolder), files);
      for (const std::string& name : files) EXPECT_EQ(disk.contentOf(kFolder, name), name);
      EXPECT_TRUE(store.unfinished().empty());
      EXPECT_TRUE(store.history().empty());
    }
  }
}

TEST_F(OperationJournalTest, AFinishedRunIsUndoneAndLeavesTheHistory) {
  fill({"Plik2.txt", "b.txt", "plik1.txt"});
  ASSERT_EQ(number(), 0);
  ASSERT_EQ(upperCase(), 0);
  EXPECT_EQ(disk.names(kFolder), (Names{"PLIK1.TXT", "PLIK2.TXT", "PLIK3.TXT"}));
  for (int undo = 0; undo < 2; ++undo) {
    const auto history = store.history();
    ASSERT_FALSE(history.empty());
    undoBatch(store, list, nullptr, history.front().id);
  }
  EXPECT_EQ(disk.names(kFolder), (Names{"Plik2.txt", "b.txt", "plik1.txt"}));
  for (const char* name : {"Plik2.txt", "b.txt", "plik1.txt"}) EXPECT_EQ(disk.contentOf(kFolder, name), name);
  EXPECT_TRUE(store.history().empty());
}

}  // namespace
}  // namespace skorvatin
