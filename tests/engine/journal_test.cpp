#include "engine/journal_format.h"
#include "engine/journal_history.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace skorvatin;
using namespace std::string_literals;

BatchPlan twoFiles() {
  BatchPlan plan;
  plan.kind = BatchKind::Numbering;
  plan.folderPath = "/home/ola/zdjęcia";
  plan.folder = {2049, 77};
  plan.volume = {"1A2B-3C4D", "CANON", "/DCIM/100CANON"};
  plan.identity = Identity::ThisMount;
  plan.begun = 1700000000999999999;
  plan.files = {{{2049, 1001}, "a b.jpg", "a b.jpg.q", "Plik1.jpg", FileStamp{4096, 1700000000123456789, 0}},
                {{2049, 1002}, "żółw", "żółw.q", "Plik2", FileStamp{0, -2000000000, 5}}};
  return plan;
}

// The whole file, so that a change of the format cannot go unnoticed: journals written by one
// version are read by the next.
TEST(JournalFormat, PlanIsWrittenExactlyThus) {
  EXPECT_EQ(writePlan(twoFiles()),
            "skorvatin-journal plan 2\n"
            "kind numbering\n"
            "takes-back 0\n"
            "folder 2049 77 18:/home/ola/zdjęcia\n"
            "volume 9:1A2B-3C4D 5:CANON 14:/DCIM/100CANON\n"
            "identity mount\n"
            "begun 1700000000999999999\n"
            "files 2\n"
            "2049 1001 4096 1700000000123456789 0 7:a b.jpg 9:a b.jpg.q 9:Plik1.jpg\n"
            "2049 1002 0 -2000000000 5 7:żółw 9:żółw.q 5:Plik2\n"
            "crc32c 2bed679d\n");
}

TEST(JournalFormat, EveryByteOfEveryNameComesBack) {
  struct Row {
    const char* name;
    BatchPlan plan;
  };
  const std::uint64_t most = 18446744073709551615ull;
  const std::int64_t early = -9223372036854775807ll - 1;
  const std::vector<Row> rows = {
      {"line breaks, blanks, colons, digits and bytes that are not UTF-8",
       {BatchKind::Conversion,
        0,
        "/tmp/a b:7\nc\xff",
        {1, 2},
        {"x y\n", ":\xff", "/a b"},
        Identity::None,
        -1,
        {{{1, 3}, "x\ny", "", "12:3 4", FileStamp{}},
         {{1, 4}, " ", "\xc3(\x80", "\n", FileStamp{1, -1, 1}}}}},
      {"the largest numbers",
       {BatchKind::Undo,
        most,
        "/",
        {most, most},
        {},
        Identity::Lasting,
        early,
        {{{most, 0}, "a", "b", "c", FileStamp{most, early, 9223372036854775807ll}}}}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const PlanRead read = readPlan(writePlan(row.plan));
    ASSERT_TRUE(read.plan) << read.problem;
    EXPECT_EQ(*read.plan, row.plan);
  }
}

TEST(JournalFormat, AnyTruncationOrFlippedByteIsRefused) {
  const std::string whole = writePlan(twoFiles());
  for (std::size_t size = 0; size < whole.size(); ++size) {
    EXPECT_FALSE(readPlan(whole.substr(0, size)).plan) << "cut at " << size;
  }
  for (std::size_t at = 0; at < whole.size(); ++at) {
    std::string damaged = whole;
    damaged[at] = static_cast<char>(damaged[at] ^ 0x04);
    EXPECT_FALSE(readPlan(damaged).plan) << "byte " << at;
  }
  EXPECT_FALSE(readPlan(whole + "\n").plan);
  EXPECT_EQ(readPlan(whole.substr(0, whole.size() - 20)).problem, "dziennik jest ucięty");
}

// Hand edits that keep the checksum right: the reader still takes nothing it would not write.
TEST(JournalFormat, EditedJournalWithAMatchingChecksumIsStillRefused) {
  const auto sealed = [](const std::string& body) {
    const std::uint32_t crc = crc32c(body);
    char line[20];
    std::snprintf(line, sizeof line, "crc32c %08x\n", crc);
    return body + line;
  };
  const std::string head = "skorvatin-journal plan 1\nkind numbering\ntakes-back 0\nfolder 1 2 4:/tmp\n";
  struct Row {
    const char* name;
    std::string bytes;
    std::string problem;
  };
  const std::vector<Row> rows = {
      {"as written", sealed(head + "files 1\n1 3 1:a 3:a.q 1:b\n"), ""},
      {"a newer version", sealed("skorvatin-journal plan 3\n"), "nieznana wersja dziennika"},
      {"a volume path leading elsewhere",
       sealed("skorvatin-journal plan 2\nkind numbering\ntakes-back 0\nfolder 1 2 4:/tmp\nvolume 1:u 0: "
              "5:/a/..\nidentity lasting\nbegun 0\nfiles 0\n"),
       "zła ścieżka folderu na nośniku: /a/.."},
      {"minus zero",
       sealed("skorvatin-journal plan 2\nkind numbering\ntakes-back 0\nfolder 1 2 4:/tmp\n"
              "volume 0: 0: 0:\nidentity none\nbegun 0\nfiles 1\n1 3 0 -0 0 1:a 0: 1:b\n"),
       "zły układ dziennika"},
      {"a name leading out of the folder", sealed(head + "files 1\n1 3 4:../a 0: 1:b\n"),
       "zła nazwa pliku: ../a"},
      {"the parent folder as a name", sealed(head + "files 1\n1 3 1:a 0: 2:..\n"), "zła nazwa pliku: .."},
      {"an empty name", sealed(head + "files 1\n1 3 0: 0: 1:b\n"), "zła nazwa pliku: "},
      {"a NUL in a name", sealed(head + "files 1\n1 3 3:a\0b 0: 1:b\n"s), "zła nazwa pliku: a\0b"s},
      {"a folder path with ..",
       sealed("skorvatin-journal plan 1\nkind numbering\ntakes-back 0\nfolder 1 2 7:/tmp/..\nfiles 0\n"),
       "zła ścieżka folderu: /tmp/.."},
      {"a file on another device", sealed(head + "files 1\n9 3 1:a 0: 1:b\n"),
       "plik z innego systemu plików: a"},
      {"two files of one name", sealed(head + "files 2\n1 3 1:a 0: 1:b\n1 4 1:a 0: 1:c\n"),
       "dwa pliki o tej samej nazwie: a"},
      {"fewer files than counted", sealed(head + "files 2\n1 3 1:a 0: 1:b\n"), "zły układ dziennika"},
      {"a leading zero", sealed(head + "files 01\n1 3 1:a 0: 1:b\n"), "zły układ dziennika"},
      {"a count beyond the file", sealed(head + "files 99999999999\n"), "zły układ dziennika"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const PlanRead read = readPlan(row.bytes);
    EXPECT_EQ(read.problem, row.problem);
    EXPECT_EQ(read.plan.has_value(), row.problem.empty());
  }
}

TEST(JournalFormat, EndRecordRoundTripsAndMustFitItsPlan) {
  const EndRecord stopped{12, BatchKind::Conversion, 0, 5, "/home/ola", {BatchOutcome::Stopped, 3}};
  EXPECT_EQ(writeEnd(stopped),
            "skorvatin-journal end 1\n"
            "batch 12\n"
            "kind conversion\n"
            "takes-back 0\n"
            "files 5\n"
            "folder 9:/home/ola\n"
            "outcome stopped 3\n"
            "crc32c d647d4eb\n");
  const EndRead read = readEnd(writeEnd(stopped));
  ASSERT_TRUE(read.record) << read.problem;
  EXPECT_EQ(*read.record, stopped);

  struct Row {
    const char* name;
    BatchEnd end;
    bool fits;
  };
  const Row rows[] = {
      {"done with fewer", {BatchOutcome::Done, 4}, false},
      {"stopped past the last", {BatchOutcome::Stopped, 6}, false},
      {"rolled back with files left", {BatchOutcome::RolledBack, 1}, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EndRecord record = stopped;
    record.end = row.end;
    EXPECT_EQ(readEnd(writeEnd(record)).record.has_value(), row.fits);
  }
}

// Check values of the Castagnoli CRC: the usual nine digits and the iSCSI test patterns, long
// enough to go through the eight-byte steps as well as the single bytes.
TEST(JournalFormat, Crc32cMatchesPublishedCheckValues) {
  std::string ascending;
  for (char c = 0; c < 32; ++c) ascending.push_back(c);
  EXPECT_EQ(crc32c("123456789"), 0xE3069283u);
  EXPECT_EQ(crc32c(std::string(32, '\0')), 0x8A9136AAu);
  EXPECT_EQ(crc32c(std::string(32, '\xff')), 0x62A8AB43u);
  EXPECT_EQ(crc32c(ascending), 0x46DD794Eu);
  EXPECT_EQ(crc32c(ascending.substr(13), crc32c(ascending.substr(0, 13))), 0x46DD794Eu);
}

EndRecord ended(BatchId id, BatchKind kind, BatchEnd end, std::size_t files = 4, BatchId takesBack = 0) {
  return {id, kind, takesBack, files, "/f", end};
}

TEST(JournalHistory, NewestFirstWithoutWhatWasUndoneOrChangedNothing) {
  const BatchEnd done{BatchOutcome::Done, 4};
  const std::vector<EndRecord> ends = {
      ended(1, BatchKind::Numbering, done),
      ended(2, BatchKind::Conversion, {BatchOutcome::Stopped, 2}),
      ended(3, BatchKind::Conversion, {BatchOutcome::Stopped, 0}),
      ended(4, BatchKind::Numbering, {BatchOutcome::RolledBack, 0}),
      ended(5, BatchKind::Numbering, done),
      ended(6, BatchKind::Undo, done, 4, 5),
      ended(7, BatchKind::Numbering, done),
      ended(8, BatchKind::Undo, {BatchOutcome::RolledBack, 0}, 4, 7),
      ended(9, BatchKind::Recovery, done, 4, 10),
      ended(10, BatchKind::Numbering, {BatchOutcome::RolledBack, 0}),
      ended(11, BatchKind::Numbering, {BatchOutcome::Done, 0}, 0),
  };
  std::vector<BatchId> ids;
  std::vector<std::size_t> counts;
  for (const FinishedBatch& b : undoHistory(ends)) {
    ids.push_back(b.id);
    counts.push_back(b.fileCount);
  }
  EXPECT_EQ(ids, (std::vector<BatchId>{7, 2, 1}));
  EXPECT_EQ(counts, (std::vector<std::size_t>{4, 2, 4}));
}

TEST(JournalHistory, PruningKeepsTheNewestEntriesAndWhatHidesUndoneOnes) {
  const BatchEnd done{BatchOutcome::Done, 4};
  const std::vector<EndRecord> ends = {
      ended(1, BatchKind::Numbering, done), ended(2, BatchKind::Numbering, done),
      ended(3, BatchKind::Numbering, done), ended(4, BatchKind::Undo, done, 4, 3),
      ended(5, BatchKind::Numbering, done), ended(6, BatchKind::Numbering, {BatchOutcome::RolledBack, 0}),
  };
  EXPECT_EQ(outdatedBatches(ends, 2), (std::vector<BatchId>{1}));
  EXPECT_EQ(outdatedBatches(ends, 3), (std::vector<BatchId>{}));
  // With nothing to undo only the newest record stays, for its number.
  const std::vector<EndRecord> nothing = {ended(1, BatchKind::Numbering, {BatchOutcome::RolledBack, 0}),
                                          ended(2, BatchKind::Undo, done, 4, 9)};
  EXPECT_EQ(outdatedBatches(nothing, 20), (std::vector<BatchId>{1}));
}

}  // namespace
