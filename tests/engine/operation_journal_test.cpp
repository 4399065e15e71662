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
    bool conversion;
    std::set<int> failing;  // rename calls that fail
    bool full;              // the journal cannot be written
    int stopAtPause;        // the program is told to end at this pause
    int number;
    std::optional<BatchEnd> end;  // nothing: unfinished, to be offered at the next start
    int renames;
    const char* gone = nullptr;  // a listed file deleted before the run
  };
  const std::vector<Row> rows = {
      {"numbering undone after a failure",
       false,
       {4},
       false,
       0,
       err::DeviceIo,
       BatchEnd{BatchOutcome::RolledBack, 0},
       7},
      {"numbering that could not be wholly undone", false, {4, 5}, false, 0, err::DeviceIo, std::nullopt, 7},
      {"numbering told to end after the suffix pass",
       false,
       {},
       false,
       1,
       err::Interrupted,
       BatchEnd{BatchOutcome::RolledBack, 0},
       6},
      {"numbering told to end before the numbering pass",
       false,
       {},
       false,
       2,
       err::Interrupted,
       BatchEnd{BatchOutcome::RolledBack, 0},
       6},
      {"numbering told to end after the numbering pass",
       false,
       {},
       false,
       3,
       err::Interrupted,
       BatchEnd{BatchOutcome::RolledBack, 0},
       12},
      {"conversion stopped at its second file",
       true,
       {2},
       false,
       0,
       err::DeviceIo,
       BatchEnd{BatchOutcome::Stopped, 1},
       2},
      {"numbering without room for its journal", false, {}, true, 0, err::DiskFull, std::nullopt, 0},
      {"conversion without room for its journal", true, {}, true, 0, err::DiskFull, std::nullopt, 0},
      {"conversion with a listed file gone", true, {}, false, 0, err::FileNotFound, std::nullopt, 0, "b.txt"},
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
    stopAtPause = row.stopAtPause;
    pauses = 0;
    EXPECT_EQ(row.conversion ? upperCase() : number(), row.number);
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

// Whatever rename the process dies at, the journal it left leads every file back to its name.
TEST_F(OperationJournalTest, ARunKilledAtAnyRenameIsRecoveredFromItsJournal) {
  struct Row {
    const char* name;
    bool conversion;
    int renames;
  };
  const Row rows[] = {{"numbering run", false, 6}, {"conversion pass", true, 3}};
  for (const Row& row : rows) {
    for (int k = 1; k <= row.renames; ++k) {
      SCOPED_TRACE(std::string(row.name) + ", killed at rename " + std::to_string(k));
      disk.removeFolder(kFolder);
      fill({"Plik2.txt", "b.txt", "plik1.txt"});
      store.journals.clear();
      disk.renameCalls = 0;
      killAt = k;
      EXPECT_THROW(row.conversion ? upperCase() : number(), ProcessKilled);
      killAt = 0;
      const auto unfinished = store.unfinished();
      ASSERT_EQ(unfinished.size(), 1u);
      const RestoreReport report = recoverBatch(store, list, nullptr, unfinished.front().id);
      EXPECT_TRUE(report.missing.empty());
      EXPECT_EQ(disk.names(kFolder), (Names{"Plik2.txt", "b.txt", "plik1.txt"}));
      for (const char* name : {"Plik2.txt", "b.txt", "plik1.txt"})
        EXPECT_EQ(disk.contentOf(kFolder, name), name);
      EXPECT_TRUE(store.unfinished().empty());
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
