#include "engine/numbering_run.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <optional>
#include <string>
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
    error.reset();
    NumberingRun r(list, options, [this] {
      if (atEvents) atEvents();
    });
    try {
      r.run();
    } catch (const RunError& e) {
      error = e;
      return e.number();
    }
    return 0;
  }
  Names entries() const { return disk.names(kFolder); }
  std::string path(const std::string& name) const { return std::string(kFolder) + "/" + name; }

  MemoryDisk disk;
  FileList list{disk};
  NumberingSettings options;
  std::function<void()> atEvents;
  std::optional<RunError> error;
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

TEST_F(NumberingRunTest, LastNumberAndItsWidth) {
  struct Row {
    const char* name;
    int files;
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
    fill(numbered("f%03d", row.files));
    options.start = row.start;
    options.step = row.step;
    EXPECT_EQ(lastNumber(row.files, options), row.last);
  }
}

TEST_F(NumberingRunTest, Runs) {
  struct Row {
    const char* name;
    Names before;
    const char* start;
    const char* step;
    const char* prefix;
    const char* after;
    int zeros;
    Names afterRun;  // sorted by raw bytes
  };
  const Names twelve = numbered("f%02d", 12);
  const std::vector<Row> rows = {
      {"defaults",
       {"a.txt", "b.jpg", "c.txt"},
       "1",
       "1",
       "Plik",
       "",
       0,
       {"Plik1.txt", "Plik2.jpg", "Plik3.txt"}},
      {"zeros over twelve files", twelve, "1", "1", "Plik", "", 1, numbered("Plik%02d", 12)},
      {"zeros over nine files", numbered("f%d", 9), "1", "1", "Plik", "", 1, numbered("Plik%d", 9)},
      {"text after the number", {"a.txt"}, "1", "1", "Plik", "_wersja", 0, {"Plik1_wersja.txt"}},
      {"empty prefix", {"a.txt"}, "1", "1", "", "", 0, {"1.txt"}},
      {"falling below zero",
       twelve,
       "10",
       "-1",
       "Plik",
       "",
       0,
       {"Plik-1", "Plik0", "Plik1", "Plik10", "Plik2", "Plik3", "Plik4", "Plik5", "Plik6", "Plik7", "Plik8",
        "Plik9"}},
      {"lone x.q keeps .q as its extension", {"x.q"}, "1", "1", "Plik", "", 0, {"Plik1.q"}},
      {"a name that begins another sorts after it once suffixed",
       {"ab", "ab.c"},
       "1",
       "1",
       "Plik",
       "",
       0,
       {"Plik1.c", "Plik2"}},
      {"Polish letters and stray bytes",
       {"źdźbło.txt", "\xff\xfe.jpg"},
       "1",
       "1",
       "Zdjęcie_",
       "",
       0,
       {"Zdjęcie_1.txt", "Zdjęcie_2.jpg"}},
      // By the time a file gets its final name, the files numbered before it have left their
      // temporary names, and a file may be renamed to the name it already has.
      {"final name is the temporary name of a file numbered earlier",
       {"Plik2", "Plik3.q"},
       "1",
       "1",
       "Plik",
       "",
       0,
       {"Plik1", "Plik2.q"}},
      {"final name is the temporary name of an earlier unrelated file",
       {"Plik2", "z.q"},
       "1",
       "1",
       "Plik",
       "",
       0,
       {"Plik1", "Plik2.q"}},
      {"final name is the file's own temporary name", {"1"}, "1", "1", "", ".q", 0, {"1.q"}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    fill(row.before);
    options.start = row.start;
    options.step = row.step;
    options.prefix = row.prefix;
    options.suffix = row.after;
    options.leadingZeros = row.zeros != 0;
    ASSERT_EQ(run(), 0) << error->what();
    EXPECT_EQ(entries(), row.afterRun);
    EXPECT_EQ(list.names().size(), row.afterRun.size());
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
    Names folders;
    const char* mask;
    const char* step;
    std::string prefix;
    int zeros;
    bool caseBlind;
    int number;
    std::string file;  // the file the error names, "" for none
  };
  const Names many = numbered("f%02d", 22);
  const std::string longName(254, 'n');
  const std::vector<Row> rows = {
      {"step zero", {"a.txt", "b.txt"}, {}, "*.*", "0", "Plik", 0, false, err::FileAlreadyExists, "b.txt"},
      {"overflow without zeros", many, {}, "*.*", "100000000", "Plik", 0, false, err::Overflow, "f22"},
      {"overflow with zeros", many, {}, "*.*", "100000000", "Plik", 1, false, err::Overflow, ""},
      {"x beside x.q", {"x", "x.q"}, {}, "*.*", "1", "Plik", 0, false, err::FileAlreadyExists, "x"},
      {"hidden file holds the final name",
       {"a.txt", ".1.txt"},
       {},
       "*.*",
       "1",
       ".",
       0,
       false,
       err::FileAlreadyExists,
       "a.txt"},
      {"subfolder holds the final name",
       {"a.txt"},
       {"Plik1.txt"},
       "*.*",
       "1",
       "Plik",
       0,
       false,
       err::FileAlreadyExists,
       "a.txt"},
      {"subfolder holds a temporary name",
       {"a.txt", "b.txt"},
       {"b.txt.q"},
       "*.*",
       "1",
       "Plik",
       0,
       false,
       err::FileAlreadyExists,
       "b.txt"},
      {"unlisted file holds the final name",
       {"a.txt", "Plik1.txt"},
       {},
       "a*",
       "1",
       "Plik",
       0,
       false,
       err::FileAlreadyExists,
       "a.txt"},
      {"final name is the temporary name of a file numbered later",
       {"a.q", "b1"},
       {},
       "*.*",
       "1",
       "b",
       0,
       false,
       err::FileAlreadyExists,
       "a.q"},
      {"prefix into a subfolder",
       {"a.txt"},
       {"sub"},
       "*.*",
       "1",
       "sub/",
       0,
       false,
       err::BadFileName,
       "a.txt"},
      {"prefix out of the folder", {"a.txt"}, {}, "*.*", "1", "../x", 0, false, err::BadFileName, "a.txt"},
      {"temporary name too long", {longName}, {}, "*.*", "1", "Plik", 0, false, err::BadFileName, longName},
      {"final name too long",
       {"a.txt"},
       {},
       "*.*",
       "1",
       std::string(251, 'p'),
       0,
       false,
       err::BadFileName,
       "a.txt"},
      // Where the folder ignores case, names that differ only in case are one name.
      {"case-blind: two final names differ only in case",
       {"a.TXT", "b.txt"},
       {},
       "*.*",
       "0",
       "Plik",
       0,
       true,
       err::FileAlreadyExists,
       "b.txt"},
      {"case-blind: unlisted file holds the final name in other case",
       {"a.txt", "PLIK1.TXT"},
       {},
       "a*",
       "1",
       "Plik",
       0,
       true,
       err::FileAlreadyExists,
       "a.txt"},
      {"case-blind: temporary name held in other case",
       {"a.txt", "A.TXT.Q"},
       {},
       "*.txt",
       "1",
       "Plik",
       0,
       true,
       err::FileAlreadyExists,
       "a.txt"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    fill(row.files, row.folders, row.mask);
    disk.folder(kFolder).caseBlind = row.caseBlind;
    options.step = row.step;
    options.prefix = row.prefix;
    options.leadingZeros = row.zeros != 0;
    const Names before = entries();
    const Names listed = list.names();
    const int renames = disk.renameCalls;
    EXPECT_EQ(run(), row.number);
    EXPECT_EQ(disk.renameCalls, renames);
    EXPECT_EQ(entries(), before);
    EXPECT_EQ(list.names(), listed);
    if (error) {
      EXPECT_EQ(error->file(), row.file.empty() ? "" : path(row.file));
    }
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
    if (error) {
      EXPECT_EQ(error->file(), path(row.file));
    }
  }
}

TEST_F(NumberingRunTest, AListedFileThatIsGoneStopsTheRunBeforeAnyRename) {
  fill({"a.txt", "b.txt"});
  disk.folder(kFolder).entries.erase("b.txt");
  EXPECT_EQ(run(), err::FileNotFound);
  EXPECT_EQ(error->file(), path("b.txt"));
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
  // Calls 1-4 are the suffix pass, 5-8 the numbering pass.
  for (int failing = 1; failing <= 8; ++failing) {
    SCOPED_TRACE(failing);
    fill(names);
    disk.renameCalls = 0;
    disk.failingRenames = {failing};
    EXPECT_EQ(run(), err::DeviceIo);
    EXPECT_TRUE(error->misplaced().empty());
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
  EXPECT_EQ(error->file(), path("b.txt"));  // where the undo left it
  ASSERT_EQ(error->misplaced().size(), 1u);
  EXPECT_EQ(error->misplaced()[0].currentPath, path("Plik1.txt"));
  EXPECT_EQ(error->misplaced()[0].originalPath, path("a.txt"));
  EXPECT_EQ(entries(), (Names{"Plik1.txt", "b.txt", "c.txt"}));
  EXPECT_EQ(disk.contentOf(kFolder, "Plik1.txt"), "a.txt");
}

}  // namespace
}  // namespace skorvatin
