#include "engine/numbering_run.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "engine/file_list.h"
#include "engine/number_text.h"
#include "engine/run_error.h"
#include "tests/support/error_number.h"
#include "tests/support/memory_folder.h"

namespace skorvatin {
namespace {

using Names = std::vector<std::string>;
using testing::errorNumberOf;
using testing::errorOf;
using testing::MemoryDisk;
using testing::MemoryEntry;

Names numbered(const char* format, int count) {
  Names out;
  for (int i = 1; i <= count; ++i) {
    char buf[64];
    std::snprintf(buf, sizeof buf, format, i);
    out.push_back(buf);
  }
  return out;
}

class NumberingRunTest : public ::testing::Test {
 protected:
  static constexpr const char* kFolder = "/foto";

  // A fresh folder holding `files` (and `folders`), listed under `mask`.
  void fill(const Names& files, const Names& folders = {}, const char* mask = "*.*") {
    disk.removeFolder(kFolder);
    disk.folder(kFolder);
    for (const auto& f : folders) disk.add(kFolder, f, EntryKind::Folder);
    disk.addAll(kFolder, files);
    list.setPattern(mask);
    list.setPath(kFolder);
  }
  // Runs and returns the error number, 0 when the run went through.
  int run() {
    error = errorOf([this] {
      NumberingRun(list, options, [this] {
        if (atEvents) atEvents();
      }).run();
    });
    return error.number();
  }
  Names entries() const { return disk.names(kFolder); }
  std::string path(const std::string& name) const { return std::string(kFolder) + "/" + name; }

  MemoryDisk disk;
  FileList list{disk};
  NumberingSettings options;
  std::function<void()> atEvents;
  RunError error{0};
};

TEST(NumberText, EachFilesNumber) {
  struct Row {
    const char* name;
    const char* start;
    std::int32_t step;
    std::int32_t width;
    const char* separator;
    std::vector<std::int32_t> positions;
    Names texts;
  };
  const std::vector<Row> rows = {
      {"defaults", "1", 1, 0, ",", {0, 1, 2}, {"1", "2", "3"}},
      {"two digits", "1", 1, 2, ",", {0, 8, 9, 11}, {"01", "09", "10", "12"}},
      {"from zero by five", "0", 5, 2, ",", {0, 1, 19}, {"00", "05", "95"}},
      {"falling", "10", -1, 0, ",", {0, 1, 10, 11}, {"10", "9", "0", "-1"}},
      {"start not a number", "abc", 2, 0, ",", {0, 1}, {"0", "2"}},
      {"empty start", "", 1, 0, ",", {0, 1}, {"0", "1"}},
      {"blank inside the start", "1 0", 1, 0, ",", {0}, {"10"}},
      {"comma in the start", "2,5", 1, 0, ",", {0}, {"2"}},
      {"step zero", "7", 0, 0, ",", {0, 1, 2}, {"7", "7", "7"}},
      {"fractional start", "1.5", 1, 0, ",", {0, 1}, {"1,5", "2,5"}},
      {"text longer than the width keeps its length", "1.5", 1, 1, ",", {0}, {"1,5"}},
      {"falling past zero with zeros", "10", -1, 2, ",", {9, 10, 11}, {"01", "00", "-1"}},
      {"negative start wider than the width", "-30", 1, 2, ",", {0}, {"-30"}},
      // The width counts characters: the two-byte Arabic decimal separator is one of them.
      {"separator of two bytes", "1.5", 1, 4, "\u066B", {0}, {"01\u066B5"}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    Names texts;
    for (std::int32_t position : row.positions) {
      texts.push_back(numberText(position, textValue(row.start), row.step, row.width, row.separator));
    }
    EXPECT_EQ(texts, row.texts);
  }
  EXPECT_EQ(numberText(20, 1, 100000000, 0, ","), "2000000001");
  EXPECT_EQ(errorNumberOf([] { numberText(21, 1, 100000000, 0, ","); }), err::Overflow);
}

TEST(ExtensionBeforeSuffix, LastDotOfTheNameBeforeTheSuffix) {
  const std::pair<const char*, const char*> rows[] = {
      {"Raport.txt.q", ".txt"},  {"archiwum.tar.gz.q", ".gz"},
      {"README.q", ""},          {".htaccess.q", ".htaccess"},
      {"wersja..q", "."},        {"x.q.q", ".q"},
      {"zdjęcie.JPĘ.q", ".JPĘ"}, {"a.\xff\xfe.q", ".\xff\xfe"},
  };
  for (auto [name, extension] : rows) EXPECT_EQ(extensionBeforeSuffix(name), extension) << name;
}

TEST(LastNumber, OfAListThatLong) {
  struct Row {
    const char* name;
    std::int32_t files;
    const char* start;
    const char* step;
    std::int32_t last;
  };
  const Row rows[] = {
      {"nine files", 9, "1", "1", 9},         {"ten files", 10, "1", "1", 10},
      {"250 files", 250, "1", "1", 250},      {"from zero by five", 20, "0", "5", 95},
      {"from minus three", 2, "-3", "1", -2}, {"rounded start and step", 3, "1.5", "2.5", 6},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    NumberingSettings options;
    options.start = row.start;
    options.step = row.step;
    EXPECT_EQ(lastNumber(row.files, options), row.last);
  }
}

TEST_F(NumberingRunTest, Runs) {
  struct Row {
    const char* name;
    Names files;
    Names after;  // sorted by raw bytes
    const char* start = "1";
    const char* step = "1";
    const char* prefix = "Plik";
    const char* tail = "";
    bool zeros = false;
  };
  const Names twelve = numbered("f%02d", 12);
  const std::vector<Row> rows = {
      {.name = "defaults", .files = {"a.txt", "b.jpg"}, .after = {"Plik1.txt", "Plik2.jpg"}},
      {.name = "zeros, twelve files", .files = twelve, .after = numbered("Plik%02d", 12), .zeros = true},
      {.name = "zeros, nine files",
       .files = numbered("f%d", 9),
       .after = numbered("Plik%d", 9),
       .zeros = true},
      {.name = "text after the number", .files = {"a.txt"}, .after = {"Plik1_wersja.txt"}, .tail = "_wersja"},
      {.name = "empty prefix", .files = {"a.txt"}, .after = {"1.txt"}, .prefix = ""},
      {.name = "falling below zero",
       .files = twelve,
       .after = {"Plik-1", "Plik0", "Plik1", "Plik10", "Plik2", "Plik3", "Plik4", "Plik5", "Plik6", "Plik7",
                 "Plik8", "Plik9"},
       .start = "10",
       .step = "-1"},
      {.name = "lone x.q keeps .q as its extension", .files = {"x.q"}, .after = {"Plik1.q"}},
      {.name = "a name that begins another sorts after it once suffixed",
       .files = {"ab", "ab.c"},
       .after = {"Plik1.c", "Plik2"}},
      {.name = "Polish letters and stray bytes",
       .files = {"źdźbło.txt", "\xff\xfe.jpg"},
       .after = {"Zdjęcie_1.txt", "Zdjęcie_2.jpg"},
       .prefix = "Zdjęcie_"},
      // By the time a file gets its final name, the files numbered before it have left their
      // temporary names, and a file may be renamed to the name it already has.
      {.name = "final name is the temporary name of a file numbered earlier",
       .files = {"Plik2", "Plik3.q"},
       .after = {"Plik1", "Plik2.q"}},
      {.name = "final name is the temporary name of an earlier unrelated file",
       .files = {"Plik2", "z.q"},
       .after = {"Plik1", "Plik2.q"}},
      {.name = "final name is the file's own temporary name",
       .files = {"1"},
       .after = {"1.q"},
       .prefix = "",
       .tail = ".q"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    fill(row.files);
    options.start = row.start;
    options.step = row.step;
    options.prefix = row.prefix;
    options.suffix = row.tail;
    options.leadingZeros = row.zeros;
    ASSERT_EQ(run(), 0) << error.what();
    EXPECT_EQ(entries(), row.after);
    EXPECT_EQ(list.names().size(), row.after.size());
  }
}

TEST_F(NumberingRunTest, EveryFileKeepsItsContentAndTheListShowsTheNewNames) {
  fill({"b.jpg", "a.txt", "żółw.txt"});
  ASSERT_EQ(run(), 0);
  EXPECT_EQ(disk.contentOf(kFolder, "Plik1.txt"), "a.txt");
  EXPECT_EQ(disk.contentOf(kFolder, "Plik2.jpg"), "b.jpg");
  EXPECT_EQ(disk.contentOf(kFolder, "Plik3.txt"), "żółw.txt");
  EXPECT_EQ(list.names(), (Names{"Plik1.txt", "Plik2.jpg", "Plik3.txt"}));
}

TEST_F(NumberingRunTest, FilesMayTakeEachOthersNames) {
  fill({"Plik1.txt", "Plik2.txt", "Plik3.txt"});
  options.start = "3";
  options.step = "-1";
  ASSERT_EQ(run(), 0);
  EXPECT_EQ(disk.contentOf(kFolder, "Plik1.txt"), "Plik3.txt");
  EXPECT_EQ(disk.contentOf(kFolder, "Plik2.txt"), "Plik2.txt");
  EXPECT_EQ(disk.contentOf(kFolder, "Plik3.txt"), "Plik1.txt");
}

TEST_F(NumberingRunTest, WhatTheListShowsBetweenThePassesAndAfter) {
  fill({"a.txt", "b.txt", "c.jpg"}, {"sub.txt"}, "*.*");
  std::vector<Names> seen;
  atEvents = [&] { seen.push_back(list.names()); };
  ASSERT_EQ(run(), 0);
  // After the suffix pass, inside the re-read, after it, then around the final re-read.
  const std::vector<Names> expected = {
      {"a.txt", "b.txt", "c.jpg"},       {}, {"a.txt.q", "b.txt.q", "c.jpg.q"},
      {"a.txt.q", "b.txt.q", "c.jpg.q"}, {}, {"Plik1.txt", "Plik2.txt", "Plik3.jpg"},
  };
  EXPECT_EQ(seen, expected);
}

TEST_F(NumberingRunTest, AMaskNumbersExactlyTheFilesItLists) {
  struct Row {
    const char* name;
    Names files;
    const char* mask;
    Names afterRun;
    Names listed;
  };
  const std::vector<Row> rows = {
      // No suffixed name matches "*.txt": the run still numbers the batch it started with.
      {"mask that the suffixed names do not match",
       {"a.txt", "b.txt", "c.jpg"},
       "*.txt",
       {"Plik1.txt", "Plik2.txt", "c.jpg"},
       {"Plik1.txt", "Plik2.txt"}},
      // A "*" in a name is a character like any other to the mask's own "*".
      {"name holding a star",
       {"*ab.jpg", "b.jpg", "c.png"},
       "*.jpg",
       {"Plik1.jpg", "Plik2.jpg", "c.png"},
       {"Plik1.jpg", "Plik2.jpg"}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    fill(row.files, {}, row.mask);
    ASSERT_EQ(run(), 0);
    EXPECT_EQ(entries(), row.afterRun);
    EXPECT_EQ(list.names(), row.listed);
    EXPECT_EQ(list.pattern(), row.mask);
  }
}

TEST_F(NumberingRunTest, FileAppearingBetweenThePassesIsLeftAlone) {
  fill({"a.txt", "b.txt"});
  bool added = false;
  atEvents = [&] {
    if (!added) disk.add(kFolder, "new.txt");
    added = true;
  };
  ASSERT_EQ(run(), 0);
  EXPECT_EQ(entries(), (Names{"Plik1.txt", "Plik2.txt", "new.txt"}));
  // The list after the run is the run's own listing with the new names; the stranger's file shows
  // at the next read of the folder.
  EXPECT_EQ(list.names(), (Names{"Plik1.txt", "Plik2.txt"}));
  list.refresh();
  EXPECT_EQ(list.names(), (Names{"new.txt", "Plik1.txt", "Plik2.txt"}));
}

TEST_F(NumberingRunTest, RefusedUpFrontRenamesNothing) {
  struct Row {
    const char* name;
    Names files;
    int error;
    const char* file = nullptr;  // the file the error names: the first one unless given, "" for none
    Names folders = {};
    const char* mask = "*.*";
    const char* step = "1";
    std::string prefix = "Plik";
    bool zeros = false;
    bool blind = false;  // the folder ignores letter case
  };
  const Names many = numbered("f%02d", 22);
  const std::string longName(254, 'n');
  const int taken = err::FileAlreadyExists;
  const int badName = err::BadFileName;
  const char* huge = "100000000";
  // "<entry>, <name>": an entry that the run does not number holds a name it would give.
  const std::vector<Row> rows = {
      {.name = "step zero", .files = {"a.txt", "b.txt"}, .error = taken, .file = "b.txt", .step = "0"},
      {.name = "overflow, no zeros", .files = many, .error = err::Overflow, .file = "f22", .step = huge},
      {.name = "overflow, zeros",
       .files = many,
       .error = err::Overflow,
       .file = "",
       .step = huge,
       .zeros = true},
      {.name = "x beside x.q", .files = {"x", "x.q"}, .error = taken},
      {.name = "hidden file, final name", .files = {"a.txt", ".1.txt"}, .error = taken, .prefix = "."},
      {.name = "subfolder, final name", .files = {"a.txt"}, .error = taken, .folders = {"Plik1.txt"}},
      {.name = "subfolder, temporary name",
       .files = {"a.txt", "b.txt"},
       .error = taken,
       .file = "b.txt",
       .folders = {"b.txt.q"}},
      {.name = "unlisted file, final name", .files = {"a.txt", "Plik1.txt"}, .error = taken, .mask = "a*"},
      {.name = "later file's temporary name", .files = {"a.q", "b1"}, .error = taken, .prefix = "b"},
      {.name = "prefix into a folder",
       .files = {"a.txt"},
       .error = badName,
       .folders = {"sub"},
       .prefix = "sub/"},
      {.name = "prefix out of the folder", .files = {"a.txt"}, .error = badName, .prefix = "../x"},
      {.name = "temporary name too long", .files = {longName}, .error = badName},
      {.name = "final name too long", .files = {"a.txt"}, .error = badName, .prefix = std::string(251, 'p')},
      // Where the folder ignores case, names that differ only in case are one name.
      {.name = "case-blind: two final names",
       .files = {"a.TXT", "b.txt"},
       .error = taken,
       .file = "b.txt",
       .step = "0",
       .blind = true},
      {.name = "case-blind: unlisted file, final name",
       .files = {"a.txt", "PLIK1.TXT"},
       .error = taken,
       .mask = "a*",
       .blind = true},
      {.name = "case-blind: file, temporary name",
       .files = {"a.txt", "A.TXT.Q"},
       .error = taken,
       .mask = "*.txt",
       .blind = true},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    fill(row.files, row.folders, row.mask);
    disk.folder(kFolder).caseBlind = row.blind;
    options.step = row.step;
    options.prefix = row.prefix;
    options.leadingZeros = row.zeros;
    const Names before = entries();
    const Names listed = list.names();
    const int renames = disk.renameCalls;
    EXPECT_EQ(run(), row.error);
    EXPECT_EQ(disk.renameCalls, renames);
    EXPECT_EQ(entries(), before);
    EXPECT_EQ(list.names(), listed);
    const std::string file = row.file == nullptr ? row.files.front() : row.file;
    EXPECT_EQ(error.file(), file.empty() ? "" : path(file));
  }
}

// Also where each spelling of a name gets a number of its own (FUSE drivers of FAT and exFAT).
TEST_F(NumberingRunTest, CaseBlindFolderNumbersAFileIntoAnotherCaseOfItsOwnName) {
  for (const Identity identity : {Identity::ThisMount, Identity::None}) {
    SCOPED_TRACE(static_cast<int>(identity));
    fill({"plik1.txt", "plik2.txt"});
    disk.folder(kFolder).caseBlind = true;
    disk.folder(kFolder).identity = identity;
    ASSERT_EQ(run(), 0);
    EXPECT_EQ(entries(), (Names{"Plik1.txt", "Plik2.txt"}));
    EXPECT_EQ(disk.contentOf(kFolder, "Plik1.txt"), "plik1.txt");
  }
}

TEST_F(NumberingRunTest, OtherEntriesHoldingNamesStopTheRun) {
  struct Row {
    const char* name;
    const char* holder;  // an entry that is not listed
    EntryKind kind;      // what it counts as: a link counts as what it leads to
    const char* sameAs;  // a listed file it is another link to, or nullptr
    std::string file;    // the file the error names
  };
  const std::vector<Row> rows = {
      {"dangling link holds a temporary name", "a.txt.q", EntryKind::Other, nullptr, "a.txt"},
      {"dangling link holds the final name", "Plik2.txt", EntryKind::Other, nullptr, "b.txt"},
      {"link to a listed file holds the final name", "Plik1.txt", EntryKind::File, nullptr, "a.txt"},
      {"second hard link to a listed file holds the final name", "Plik1.txt", EntryKind::File, "b.txt",
       "a.txt"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    fill({"a.txt", "b.txt"}, {}, "?.txt");
    MemoryEntry& holder = disk.add(kFolder, row.holder, row.kind);
    if (row.sameAs != nullptr) holder.inode = disk.inodeOf(kFolder, row.sameAs);
    const Names before = entries();
    EXPECT_EQ(run(), err::FileAlreadyExists);
    EXPECT_EQ(entries(), before);
    EXPECT_EQ(error.file(), path(row.file));
  }
}

TEST_F(NumberingRunTest, AListedFileThatIsGoneStopsTheRunBeforeAnyRename) {
  fill({"a.txt", "b.txt"});
  disk.folder(kFolder).entries.erase("b.txt");
  EXPECT_EQ(run(), err::FileNotFound);
  EXPECT_EQ(error.file(), path("b.txt"));
  EXPECT_EQ(entries(), (Names{"a.txt"}));
  EXPECT_EQ(list.names(), (Names{"a.txt"}));  // re-read after the failure
}

TEST_F(NumberingRunTest, EmptyListChangesNothing) {
  fill({});
  int events = 0;
  atEvents = [&] { ++events; };
  ASSERT_EQ(run(), 0);
  EXPECT_EQ(events, 0);
  EXPECT_EQ(disk.renameCalls, 0);
}

TEST_F(NumberingRunTest, FailedRenameAnywherePutsEveryNameBack) {
  const Names names = {"a.txt", "b.jpg", "ćma.txt", "\xff.bin"};
  // Calls 1-4 are the suffix pass, 5-8 the numbering pass. The file is named as the user knows it,
  // which after the undo is its name again.
  const char* named[] = {"a.txt", "b.jpg", "ćma.txt", "\xff.bin", "a.txt", "b.jpg", "ćma.txt", "\xff.bin"};
  for (int failing = 1; failing <= 8; ++failing) {
    SCOPED_TRACE(failing);
    fill(names);
    disk.renameCalls = 0;
    disk.failingRenames = {failing};
    EXPECT_EQ(run(), err::DeviceIo);
    EXPECT_EQ(error.file(), path(named[failing - 1]));
    EXPECT_TRUE(error.misplaced().empty());
    // The renames before the failing one, each undone once.
    EXPECT_EQ(disk.renameCalls, 2 * failing - 1);
    EXPECT_EQ(entries(), (Names{"a.txt", "b.jpg", "ćma.txt", "\xff.bin"}));
    for (const auto& n : names) EXPECT_EQ(disk.contentOf(kFolder, n), n);
    EXPECT_EQ(list.names().size(), 4u);
  }
}

TEST_F(NumberingRunTest, NameThatCannotBeGivenBackIsReported) {
  fill({"a.txt", "b.txt", "c.txt"});
  disk.renameCalls = 0;
  // Call 5 numbers b.txt and fails; call 6 would give a.txt its temporary name back.
  disk.failingRenames = {5, 6};
  EXPECT_EQ(run(), err::DeviceIo);
  EXPECT_EQ(error.file(), path("b.txt"));  // where the undo left it
  ASSERT_EQ(error.misplaced().size(), 1u);
  EXPECT_EQ(error.misplaced()[0].currentPath, path("Plik1.txt"));
  EXPECT_EQ(error.misplaced()[0].originalPath, path("a.txt"));
  EXPECT_EQ(entries(), (Names{"Plik1.txt", "b.txt", "c.txt"}));
  EXPECT_EQ(disk.contentOf(kFolder, "Plik1.txt"), "a.txt");
}

// Wherever the run fails, and whichever rename of its undo fails too: exactly one file is away from
// home, under the name the report gives it, and every other file is back with its content.
TEST_F(NumberingRunTest, AFailedUndoAnywhereLeavesOneFileWhereTheReportSays) {
  const Names names = {"a.txt", "b.jpg", "c.txt", "d.png"};
  // Calls 1-4 are the suffix pass, 5-8 the numbering pass; the k - 1 renames before a failure at
  // call k are undone by calls k + 1 to 2k - 1.
  for (int failing = 2; failing <= 8; ++failing) {
    for (int undo = failing + 1; undo <= 2 * failing - 1; ++undo) {
      SCOPED_TRACE("rename " + std::to_string(failing) + " fails, then rename " + std::to_string(undo));
      fill(names);
      disk.renameCalls = 0;
      disk.failingRenames = {failing, undo};
      EXPECT_EQ(run(), err::DeviceIo);
      ASSERT_EQ(error.misplaced().size(), 1u) << error.what();
      const MisplacedFile& away = error.misplaced()[0];
      Names expected;
      for (const std::string& name : names) {
        const std::string now = path(name) == away.originalPath ? away.currentPath : path(name);
        ASSERT_EQ(now.rfind(path(""), 0), 0u) << now;
        expected.push_back(now.substr(path("").size()));
        EXPECT_EQ(disk.contentOf(kFolder, expected.back()), name);
      }
      std::sort(expected.begin(), expected.end());
      EXPECT_EQ(entries(), expected);
    }
  }
}

// Someone else changes the folder between the passes: the run stops at the rename that meets the
// change, puts back every file it still has, and sends the user only to files that are there.
TEST_F(NumberingRunTest, FolderChangedBetweenThePassesStopsTheRun) {
  struct Row {
    const char* name;
    std::function<void(MemoryDisk&)> meddle;
    int number;
    const char* file;
    Names after;
  };
  const std::vector<Row> rows = {
      {"a file deleted under its temporary name",
       [](MemoryDisk& d) { d.folder(kFolder).entries.erase("c.txt.q"); },
       err::FileNotFound,
       "c.txt",
       {"a.txt", "b.jpg", "d.png"}},
      // The stranger's file holds its own name as its content, as every file here does.
      {"a final name taken by a new file",
       [](MemoryDisk& d) { d.add(kFolder, "Plik2.jpg"); },
       err::FileAlreadyExists,
       "Plik2.jpg",
       {"Plik2.jpg", "a.txt", "b.jpg", "c.txt", "d.png"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    fill({"a.txt", "b.jpg", "c.txt", "d.png"});
    atEvents = [&, done = false]() mutable {
      if (!std::exchange(done, true)) row.meddle(disk);
    };
    EXPECT_EQ(run(), row.number);
    EXPECT_EQ(error.file(), path(row.file));
    EXPECT_EQ(entries(), row.after);
    for (const std::string& name : entries()) EXPECT_EQ(disk.contentOf(kFolder, name), name);
    for (const MisplacedFile& m : error.misplaced()) {
      EXPECT_EQ(disk.folder(kFolder).entries.count(m.currentPath.substr(path("").size())), 1u)
          << m.currentPath;
    }
  }
}

}  // namespace
}  // namespace skorvatin
