// Recovery of batches cut off at any point, and undo of finished ones, on the in-memory disk. Every
// file's content is the name it had first, so a file given the wrong name shows.
#include "engine/batch_restore.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "engine/run_error.h"
#include "tests/support/error_number.h"
#include "tests/support/memory_folder.h"
#include "tests/support/memory_journal_store.h"

namespace {

using skorvatin::testing::errorNumberOf;
using skorvatin::testing::errorOf;

using namespace skorvatin;
using skorvatin::testing::MemoryDisk;
using skorvatin::testing::MemoryEntry;
using skorvatin::testing::MemoryJournalStore;
using Names = std::vector<std::string>;
using Renames = std::vector<std::pair<std::string, std::string>>;

const std::string kDir = "/home/ola/zdjęcia";

// What a kill looks like from inside: the process stops at that point, nothing is undone.
struct Crash {};

class BatchRestoreTest : public ::testing::Test {
 public:  // for the rows of the tables, which set the scene through a reference
  // A plan as the numbering run writes it (original + ".q" on the way), or as a conversion pass
  // writes it (no stop on the way). Files that are not there yet are made.
  BatchPlan plan(BatchKind kind, const Renames& renames) {
    disk.folder(kDir);
    BatchPlan p = planIn(kind, *disk.open(kDir));
    for (const auto& [from, to] : renames) {
      if (!has(from)) disk.add(kDir, from);
      const std::string via = kind == BatchKind::Numbering ? from + ".q" : "";
      const MemoryEntry& e = disk.folder(kDir).entries.at(from);
      p.files.push_back({{MemoryDisk::kDevice, e.inode}, from, via, to, e.stamp});
    }
    return p;
  }

  // The first `steps` renames of the batch, as a batch cut off after them left the folder: the
  // numbering run's two passes, or the conversion pass's one.
  void run(const BatchPlan& p, std::size_t steps) {
    auto folder = disk.open(kDir);
    std::size_t done = 0;
    const bool twoPasses = !p.files.empty() && !p.files.front().temporary.empty();
    if (twoPasses) {
      for (const PlannedFile& f : p.files) {
        if (done++ == steps) return;
        folder->rename(f.original, f.temporary);
      }
    }
    for (const PlannedFile& f : p.files) {
      if (done++ == steps) return;
      folder->rename(twoPasses ? f.temporary : f.original, f.final);
    }
  }

  // A batch that got that far, and its journal.
  BatchId cutOff(BatchKind kind, const Renames& renames, std::size_t steps) {
    const BatchPlan p = plan(kind, renames);
    const BatchId id = store.add(p);
    run(p, steps);
    return id;
  }
  BatchId finished(BatchKind kind, const Renames& renames, BatchEnd end) {
    const BatchPlan p = plan(kind, renames);
    const BatchId id = store.add(p, end);
    run(p, end.outcome == BatchOutcome::Stopped ? end.filesDone : p.files.size() * 2);
    return id;
  }

  // What the program does at start-up when the user says yes every time.
  void recoverAll() {
    for (int round = 0; round < 10; ++round) {
      const auto open = pendingRestores(store, disk);
      if (open.empty()) return;
      recoverBatch(store, list, nullptr, open.front().id);
    }
    FAIL() << "recovery does not come to an end";
  }

  // Runs a restore and kills it before its `n`-th rename, or with 0 once it has renamed
  // everything, before its end is recorded.
  void killedAt(int n, const std::function<void()>& restore) {
    const int before = disk.renameCalls;
    disk.beforeRename = [&](int call, const std::string&, const std::string&) {
      if (call - before == n) throw Crash{};
    };
    if (n == 0) {
      store.onCall = [](const std::string& call) {
        if (call.rfind("finish", 0) == 0) throw Crash{};
      };
    }
    EXPECT_THROW(restore(), Crash);
    disk.beforeRename = nullptr;
    store.onCall = nullptr;
  }

  // An empty disk and store, the folder made.
  void fresh() {
    disk = MemoryDisk();
    store = MemoryJournalStore();
    disk.folder(kDir);
  }

  bool has(const std::string& name) { return disk.folder(kDir).entries.count(name) != 0; }
  Names names() const { return disk.names(kDir); }

  MemoryDisk disk;
  MemoryJournalStore store;
  FileList list{disk};  // shows no folder: the restores have nothing to re-read
};

// Three files, two of which trade names, numbered as a run of the two passes would number them.
const Renames kSwap = {{"Plik2.jpg", "Plik1.jpg"}, {"Plik1.jpg", "Plik2.jpg"}, {"DSC_0001.JPG", "Plik3.JPG"}};

// In a folder that ignores letter case the journal's "a.txt" answers to the stored "A.TXT": the
// file is found there and given its own spelling back through a name of its own.
TEST_F(BatchRestoreTest, CaseChangeInACaseBlindFolderIsTakenBack) {
  disk.folder(kDir).caseBlind = true;
  cutOff(BatchKind::Conversion, {{"a.txt", "A.TXT"}, {"b.txt", "B.TXT"}}, 1);
  recoverAll();
  EXPECT_EQ(names(), (Names{"a.txt", "b.txt"}));
}

// The largest list the program takes, cut off halfway through the second pass.
TEST_F(BatchRestoreTest, LargestBatchCutOffInTheSecondPassIsRecovered) {
  Renames renames;
  for (int i = 0; i < 32767; ++i) {
    char name[16];
    std::snprintf(name, sizeof name, "DSC_%05d.JPG", i);
    renames.emplace_back(name, "Plik" + std::to_string(i + 1) + ".JPG");
  }
  cutOff(BatchKind::Numbering, renames, 32767 + 20000);
  recoverAll();
  const Names after = names();
  ASSERT_EQ(after.size(), 32767u);
  EXPECT_EQ(after.front(), "DSC_00000.JPG");
  EXPECT_EQ(after.back(), "DSC_32766.JPG");
  EXPECT_EQ(disk.contentOf(kDir, "DSC_19999.JPG"), "DSC_19999.JPG");
  EXPECT_EQ(disk.contentOf(kDir, "DSC_20000.JPG"), "DSC_20000.JPG");
}

// A kill during the recovery itself, at each of its renames: the next start restores first what
// the recovery had done, then the batch, and ends with the original names all the same.
TEST_F(BatchRestoreTest, RecoveryKilledAtAnyRenameIsRecoveredInTurn) {
  for (int killAt = 1; killAt <= 6; ++killAt) {
    SCOPED_TRACE("killed at rename " + std::to_string(killAt) + " of the recovery");
    fresh();
    cutOff(BatchKind::Numbering, kSwap, 4);
    killedAt(killAt, [&] { recoverBatch(store, list, nullptr, store.unfinished().front().id); });
    EXPECT_EQ(store.unfinished().size(), 2u);
    recoverAll();
    EXPECT_EQ(names(), (Names{"DSC_0001.JPG", "Plik1.jpg", "Plik2.jpg"}));
    EXPECT_EQ(disk.contentOf(kDir, "Plik1.jpg"), "Plik1.jpg");
  }
}

// The restore was done but the program died before the batch was marked: asked again, it finds
// every file in place, renames nothing and closes the batch.
TEST_F(BatchRestoreTest, SecondRecoveryOfARestoredFolderChangesNothing) {
  const BatchId batch = cutOff(BatchKind::Numbering, kSwap, 5);
  store.onCall = [&](const std::string& call) {
    if (call == "finish " + std::to_string(batch)) throw Crash{};
  };
  EXPECT_THROW(recoverAll(), Crash);
  store.onCall = nullptr;
  const int renames = disk.renameCalls;
  const RestoreReport report = recoverBatch(store, list, nullptr, store.unfinished().front().id);
  EXPECT_EQ(report.renamed, 0u);
  EXPECT_EQ(disk.renameCalls, renames);
  EXPECT_EQ(names(), (Names{"DSC_0001.JPG", "Plik1.jpg", "Plik2.jpg"}));
  EXPECT_TRUE(store.unfinished().empty());
}

TEST_F(BatchRestoreTest, WhatHappenedToTheFolderSinceDecidesTheOutcome) {
  struct Row {
    const char* name;
    std::function<void(MemoryDisk&)> meanwhile;
    Names after;
    Names missing;
    std::vector<ChangedFile> changed;  // nothing renamed, the batch waits
  };
  // The batch got as far as a.txt → Plik1.txt and b.txt → b.txt.q.
  const std::vector<Row> rows = {
      {"nothing", [](MemoryDisk&) {}, {"a.txt", "b.txt", "c.txt"}, {}, {}},
      {"a stranger took an original name",
       [](MemoryDisk& d) { d.add(kDir, "a.txt"); },
       {"Plik1.txt", "a.txt", "b.txt.q", "c.txt"},
       {},
       {{kDir + "/a.txt", "nazwa jest zajęta przez inny plik"}}},
      // By hand or by a newer batch: the file is there, so it is not "not found".
      {"a file was renamed since",
       [](MemoryDisk& d) { d.open(kDir)->rename("Plik1.txt", "wakacje.txt"); },
       {"b.txt.q", "c.txt", "wakacje.txt"},
       {},
       {{kDir + "/a.txt", "plik nosi teraz nazwę „wakacje.txt”"}}},
      {"a file was replaced by another of the same name",
       [](MemoryDisk& d) {
         d.folder(kDir).entries.erase("Plik1.txt");
         d.add(kDir, "Plik1.txt");
       },
       {"Plik1.txt", "b.txt", "c.txt"},
       {kDir + "/a.txt"},
       {}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    fresh();
    const BatchPlan p =
        plan(BatchKind::Numbering, {{"a.txt", "Plik1.txt"}, {"b.txt", "Plik2.txt"}, {"c.txt", "Plik3.txt"}});
    const BatchId id = store.add(p);
    auto folder = disk.open(kDir);
    folder->rename("a.txt", "a.txt.q");
    folder->rename("b.txt", "b.txt.q");
    folder->rename("c.txt", "c.txt.q");
    folder->rename("a.txt.q", "Plik1.txt");
    folder->rename("c.txt.q", "c.txt");  // c was already put back by the run's own rollback
    row.meanwhile(disk);
    const RestoreReport report = recoverBatch(store, list, nullptr, id);
    EXPECT_EQ(names(), row.after);
    EXPECT_EQ(report.missing, row.missing);
    EXPECT_EQ(report.changedSince, row.changed);
    // Refused, the batch waits for the next start; done, it is closed.
    EXPECT_EQ(store.journals.at(id).end.has_value(), row.changed.empty());
    EXPECT_FALSE(store.journals.at(id).aside);
  }
}

// Nothing is renamed anywhere and the user is told why. Only a journal that cannot be trusted is
// put aside, so that the question does not come back; a good one whose folder is not there waits
// for the folder.
TEST_F(BatchRestoreTest, JournalThatCannotBeActedOnRenamesNothing) {
  struct Row {
    const char* name;
    std::function<void(BatchPlan&, MemoryJournalStore::Journal&, MemoryDisk&)> spoil;
    int error;
    std::string file;
    bool aside;
  };
  const std::vector<Row> rows = {
      {"damaged",
       [](BatchPlan&, auto& j, MemoryDisk&) { j.damage = "suma kontrolna dziennika się nie zgadza"; },
       err::BadFileFormat, MemoryJournalStore::source(1), true},
      {"a name leading into the parent folder",
       [](BatchPlan& p, auto&, MemoryDisk&) { p.files[0].final = "../a.txt"; }, err::BadFileFormat,
       MemoryJournalStore::source(1), true},
      {"the folder is gone", [](BatchPlan&, auto&, MemoryDisk& d) { d.removeFolder(kDir); },
       err::PathNotFound, kDir, false},
      {"another folder in its place",
       [](BatchPlan&, auto&, MemoryDisk& d) {
         auto entries = d.folder(kDir).entries;
         d.removeFolder(kDir);
         d.folder(kDir).entries = entries;
       },
       err::PathNotFound, kDir, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    fresh();
    disk.add("/home/ola", "a.txt");
    const BatchId id = cutOff(BatchKind::Numbering, {{"a.txt", "b.txt"}, {"c.txt", "d.txt"}}, 3);
    row.spoil(store.journals.at(id).plan, store.journals.at(id), disk);
    const RunError e = errorOf([&] { recoverBatch(store, list, nullptr, store.unfinished().front().id); });
    EXPECT_EQ(e.number(), row.error);
    EXPECT_EQ(e.file(), row.file);
    EXPECT_EQ(disk.renameCalls, 3);
    EXPECT_EQ(disk.names("/home/ola"), Names{"a.txt"});
    EXPECT_EQ(store.journals.at(id).aside, row.aside);
    EXPECT_EQ(store.unfinished().size(), row.aside ? 0u : 1u);
  }
}

// The restore's own journal is durable before its first rename, and its end is written only once
// the folder was synced.
TEST_F(BatchRestoreTest, JournalIsWrittenBeforeTheFirstRenameAndClosedAfterTheSync) {
  cutOff(BatchKind::Numbering, kSwap, 3);
  std::vector<std::string> events;
  store.onCall = [&](const std::string& call) {
    events.push_back(call + " after " + std::to_string(disk.syncs) + " syncs");
  };
  disk.beforeRename = [&](int, const std::string&, const std::string&) {
    if (events.empty() || events.back() != "rename") events.push_back("rename");
  };
  recoverAll();
  EXPECT_EQ(events,
            (Names{"begin 2 after 0 syncs", "rename", "finish 2 after 1 syncs", "finish 1 after 2 syncs"}));
}

TEST_F(BatchRestoreTest, RenameFailingMidwayPutsTheFolderBackAsItWas) {
  cutOff(BatchKind::Numbering, kSwap, 4);
  const Names before = names();
  disk.failingRenames = {disk.renameCalls + 4};
  EXPECT_EQ(errorNumberOf([&] { recoverBatch(store, list, nullptr, store.unfinished().front().id); }),
            err::DeviceIo);
  EXPECT_EQ(names(), before);
  // The restore closed its own journal as rolled back; the batch still waits.
  EXPECT_EQ(store.journals.at(2).end, (BatchEnd{BatchOutcome::RolledBack, 0}));
  EXPECT_EQ(store.unfinished().size(), 1u);
}

TEST_F(BatchRestoreTest, JournalThatCannotBeWrittenStopsTheRestoreBeforeAnyRename) {
  cutOff(BatchKind::Numbering, kSwap, 4);
  const int renames = disk.renameCalls;
  store.full = true;
  EXPECT_EQ(errorNumberOf([&] { recoverBatch(store, list, nullptr, store.unfinished().front().id); }),
            err::DiskFull);
  EXPECT_EQ(disk.renameCalls, renames);
}

TEST_F(BatchRestoreTest, UndoGoesBackOneBatchAtATimeNewestFirst) {
  finished(BatchKind::Numbering, kSwap, {BatchOutcome::Done, 3});
  finished(BatchKind::Conversion, {{"Plik1.jpg", "plik1.jpg"}, {"Plik2.jpg", "plik2.jpg"}},
           {BatchOutcome::Done, 2});
  EXPECT_EQ(names(), (Names{"Plik3.JPG", "plik1.jpg", "plik2.jpg"}));

  const BatchId newest = store.history().front().id;
  undoBatch(store, list, nullptr, newest);
  EXPECT_EQ(names(), (Names{"Plik1.jpg", "Plik2.jpg", "Plik3.JPG"}));
  ASSERT_EQ(store.history().size(), 1u);
  // A second answer to the same question (another copy's, or a late one) finds it undone already.
  EXPECT_EQ(undoBatch(store, list, nullptr, newest).leftAlone, LeftAlone::AlreadyFinished);
  EXPECT_EQ(names(), (Names{"Plik1.jpg", "Plik2.jpg", "Plik3.JPG"}));
  undoBatch(store, list, nullptr, store.history().front().id);
  EXPECT_EQ(names(), (Names{"DSC_0001.JPG", "Plik1.jpg", "Plik2.jpg"}));
  EXPECT_EQ(disk.contentOf(kDir, "Plik1.jpg"), "Plik1.jpg");
  EXPECT_TRUE(store.history().empty());
}

TEST_F(BatchRestoreTest, UndoOfAStoppedPassTakesBackOnlyWhatWasDone) {
  finished(BatchKind::Conversion, {{"a b", "a_b"}, {"c d", "c_d"}, {"e f", "e_f"}},
           {BatchOutcome::Stopped, 2});
  EXPECT_EQ(names(), (Names{"a_b", "c_d", "e f"}));
  ASSERT_EQ(store.history().front().fileCount, 2u);
  undoBatch(store, list, nullptr, store.history().front().id);
  EXPECT_EQ(names(), (Names{"a b", "c d", "e f"}));
}

// The same up-front check as a numbering run: anything out of place refuses the whole undo and
// says what changed. Taken out of the history then, the batch no longer stops every later undo.
TEST_F(BatchRestoreTest, UndoRefusedByChangesCanLeaveTheHistory) {
  struct Row {
    const char* name;
    std::function<void(MemoryDisk&)> meanwhile;
    std::vector<ChangedFile> changed;
  };
  const std::vector<Row> rows = {
      {"a file was renamed since",
       [](MemoryDisk& d) { d.open(kDir)->rename("Plik2.jpg", "x.jpg"); },
       {{kDir + "/Plik2.jpg", "plik nie nosi już tej nazwy"}}},
      {"a stranger took an original name",
       [](MemoryDisk& d) { d.add(kDir, "b.jpg"); },
       {{kDir + "/b.jpg", "nazwa jest zajęta przez inny plik"}}},
      {"a case variant of an original name in a case-blind folder",
       [](MemoryDisk& d) {
         d.folder(kDir).caseBlind = true;
         d.add(kDir, "A.JPG");
       },
       {{kDir + "/a.jpg", "nazwa jest zajęta przez inny plik"}}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    fresh();
    const BatchId older = finished(BatchKind::Conversion, {{"z.jpg", "Z.JPG"}}, {BatchOutcome::Done, 1});
    const BatchId id = finished(BatchKind::Numbering, {{"a.jpg", "Plik1.jpg"}, {"b.jpg", "Plik2.jpg"}},
                                {BatchOutcome::Done, 2});
    row.meanwhile(disk);
    const Names before = names();
    const int renames = disk.renameCalls;
    EXPECT_EQ(undoBatch(store, list, nullptr, id).changedSince, row.changed);
    EXPECT_EQ(disk.renameCalls, renames);
    EXPECT_EQ(names(), before);
    EXPECT_EQ(store.history().front().id, id);

    forgetBatch(store, id);
    EXPECT_TRUE(store.journals.at(id).aside);
    ASSERT_EQ(store.history().size(), 1u);
    undoBatch(store, list, nullptr, store.history().front().id);
    EXPECT_EQ(disk.contentOf(kDir, "z.jpg"), "z.jpg");
    EXPECT_TRUE(store.history().empty());
    EXPECT_EQ(store.journals.at(older).end->outcome, BatchOutcome::Done);
  }
}

// A kill during an undo, at each rename: recovery puts the batch's new names back, and the batch
// stays in the history to be undone again.
TEST_F(BatchRestoreTest, UndoKilledAtAnyRenameIsRecoveredAndCanBeRepeated) {
  for (int killAt = 1; killAt <= 6; ++killAt) {
    SCOPED_TRACE("killed at rename " + std::to_string(killAt) + " of the undo");
    fresh();
    const BatchId id = finished(BatchKind::Numbering, kSwap, {BatchOutcome::Done, 3});
    const Names after = names();
    killedAt(killAt, [&] { undoBatch(store, list, nullptr, id); });
    recoverAll();
    EXPECT_EQ(names(), after);
    EXPECT_EQ(disk.contentOf(kDir, "Plik1.jpg"), "Plik2.jpg");
    ASSERT_EQ(store.history().size(), 1u);
    undoBatch(store, list, nullptr, id);
    EXPECT_EQ(names(), (Names{"DSC_0001.JPG", "Plik1.jpg", "Plik2.jpg"}));
    EXPECT_EQ(disk.contentOf(kDir, "Plik1.jpg"), "Plik1.jpg");
  }
}

// At start, only a batch that is really half done is asked about; a cut-off recovery once, in the
// words of the batch it was taking back.
TEST_F(BatchRestoreTest, StartUpAsksOnlyAboutBatchesLeftHalfDone) {
  using Asked = std::tuple<BatchKind, BatchKind, std::size_t>;  // the batch, what "Tak" gives back, files
  struct Row {
    const char* name;
    std::function<void(BatchRestoreTest&)> leave;
    std::vector<Asked> asked;
    std::size_t unfinished;  // left so, to be asked about again at the next start
    std::size_t history;
  };
  using K = BatchKind;
  const auto undone = [](BatchRestoreTest& t, int killAt) {
    const BatchId id = t.finished(K::Numbering, kSwap, {BatchOutcome::Done, 3});
    t.killedAt(killAt, [&] { undoBatch(t.store, t.list, nullptr, id); });
  };
  const std::vector<Row> rows = {
      {"numbering cut off before its first rename",
       [](auto& t) { t.cutOff(K::Numbering, kSwap, 0); },
       {},
       0,
       0},
      {"numbering cut off before its end record",
       [](auto& t) { t.cutOff(K::Numbering, kSwap, 6); },
       {},
       0,
       1},
      {"numbering half done",
       [](auto& t) { t.cutOff(K::Numbering, kSwap, 4); },
       {{K::Numbering, K::Numbering, 3}},
       1,
       0},
      {"undo cut off before its end record", [&](auto& t) { undone(t, 0); }, {}, 0, 0},
      {"undo half done", [&](auto& t) { undone(t, 3); }, {{K::Undo, K::Undo, 3}}, 1, 1},
      {"recovery half done",
       [](auto& t) {
         t.cutOff(K::Numbering, kSwap, 4);
         t.killedAt(2, [&] { recoverBatch(t.store, t.list, nullptr, 1); });
       },
       {{K::Recovery, K::Numbering, 3}},
       2,
       0},
      {"held by another copy",
       [](auto& t) {
         t.cutOff(K::Numbering, kSwap, 4);
         t.store.heldElsewhere = {1};
       },
       {},
       0,
       0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    fresh();
    row.leave(*this);
    const Names left = names();
    std::vector<Asked> asked;
    for (const PendingRestore& p : pendingRestores(store, disk))
      asked.emplace_back(p.kind, p.root, p.fileCount);
    EXPECT_EQ(asked, row.asked);
    EXPECT_EQ(store.history().size(), row.history);
    EXPECT_EQ(store.unfinished().size(), row.unfinished);
    EXPECT_EQ(names(), left);
  }
}

// A stick unplugged after a cut-off batch and mounted again elsewhere: where numbers last only a
// mount, a file is the batch's when one of its journal names holds an entry of its size and time;
// where numbers last, a reused number alone does not make a file the batch's.
TEST_F(BatchRestoreTest, FilesAreRecognisedByWhatOutlivesTheirNumbers) {
  const std::string kMoved = "/media/ola/CANON1";
  const VolumeId kStick{"1A2B-3C4D", "CANON", "/"};
  struct Row {
    const char* name;
    Identity identity;
    bool remounted;
    std::function<void(MemoryDisk::FolderState&)> meanwhile;
    Names after;
    Names missing;  // bare names
  };
  const auto stamped = [](MemoryEntry& e, std::uint64_t size, std::int64_t modified, std::int64_t born) {
    e.stamp = {size, modified, born};
  };
  const std::vector<Row> rows = {
      {"one match", Identity::ThisMount, true, [](auto&) {}, {"a.jpg", "b.jpg"}, {}},
      {"no match: the file is gone",
       Identity::ThisMount,
       true,
       [](auto& f) { f.entries.erase("Plik1.jpg"); },
       {"b.jpg"},
       {"a.jpg"}},
      // Which of the two is the batch's cannot be told: the batch waits, nothing renamed.
      {"two matches: a copy under another of its names",
       Identity::ThisMount,
       true,
       [](auto& f) { f.entries["a.jpg"] = f.entries.at("Plik1.jpg"); },
       {"Plik1.jpg", "a.jpg", "b.jpg.q"},
       {}},
      {"the size differs",
       Identity::ThisMount,
       true,
       [&](auto& f) {
         auto& e = f.entries.at("Plik1.jpg");
         stamped(e, e.stamp.size + 1, e.stamp.modified, e.stamp.born);
       },
       {"Plik1.jpg", "b.jpg"},
       {"a.jpg"}},
      {"the time differs",
       Identity::ThisMount,
       true,
       [&](auto& f) {
         auto& e = f.entries.at("Plik1.jpg");
         stamped(e, e.stamp.size, e.stamp.modified + 2'000'000'000, e.stamp.born);
       },
       {"Plik1.jpg", "b.jpg"},
       {"a.jpg"}},
      {"given the time of its rename, as fusefat does",
       Identity::None,
       true,
       [&](auto& f) {
         f.entries.at("Plik1.jpg").stamp.modified = store.journals.at(1).plan.begun + 1'000'000'000;
       },
       {"a.jpg", "b.jpg"},
       {}},
      {"between the two steps of a case change",
       Identity::ThisMount,
       true,
       [](auto& f) {
         f.entries[".skorvatin-7-0.tmp"] = f.entries.at("Plik1.jpg");
         f.entries.erase("Plik1.jpg");
       },
       {"a.jpg", "b.jpg"},
       {}},
      {"a number that lasts, reused by a new file",
       Identity::Lasting,
       false,
       [&](auto& f) {
         auto& e = f.entries.at("Plik1.jpg");
         e.content = "stranger";
         stamped(e, 8, 1, 2);
       },
       {"Plik1.jpg", "b.jpg"},
       {"a.jpg"}},
      {"a number that lasts, the file edited since",
       Identity::Lasting,
       false,
       [&](auto& f) {
         auto& e = f.entries.at("Plik1.jpg");
         stamped(e, 8, 1, e.stamp.born);
       },
       {"a.jpg", "b.jpg"},
       {}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    fresh();
    disk.folder(kDir).identity = row.identity;
    disk.folder(kDir).volume = kStick;
    const BatchId id = cutOff(BatchKind::Numbering, {{"a.jpg", "Plik1.jpg"}, {"b.jpg", "Plik2.jpg"}}, 3);
    const std::string now = row.remounted ? kMoved : kDir;
    if (row.remounted) disk.remount(kDir, kMoved);
    row.meanwhile(disk.folder(now));
    const Names contents = [&] {
      Names out;
      for (const std::string& name : disk.names(now)) out.push_back(disk.contentOf(now, name));
      return out;
    }();

    const RestoreReport report = recoverBatch(store, list, nullptr, id);
    EXPECT_EQ(disk.names(now), row.after);
    Names missing;
    for (const std::string& path : report.missing) missing.push_back(path.substr(now.size() + 1));
    EXPECT_EQ(missing, row.missing);
    // Nothing that is not the batch's was renamed: every name holds a file it held or one of the batch's.
    for (const std::string& name : disk.names(now)) {
      const std::string content = disk.contentOf(now, name);
      EXPECT_TRUE(content == name || std::count(contents.begin(), contents.end(), content) != 0) << name;
    }
    EXPECT_EQ(store.journals.at(id).end.has_value(), report.changedSince.empty());
  }

  // Not mounted at all: nothing to recognise, the journal waits and the start says which stick to
  // put in.
  fresh();
  disk.folder(kDir).identity = Identity::ThisMount;
  disk.folder(kDir).volume = kStick;
  cutOff(BatchKind::Numbering, {{"a.jpg", "Plik1.jpg"}}, 1);
  disk.removeFolder(kDir);
  const auto pending = pendingRestores(store, disk);
  ASSERT_EQ(pending.size(), 1u);
  EXPECT_EQ(pending[0].away, "włóż nośnik „CANON”, na którym jest ten folder");
  EXPECT_EQ(store.unfinished().size(), 1u);
}

}  // namespace
