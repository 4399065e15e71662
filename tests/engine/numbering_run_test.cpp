#include "engine/numbering_run.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "engine/file_list.h"
#include "engine/run_error.h"
#include "tests/support/temp_dir.h"

namespace skorvatin {
namespace {

using Names = std::vector<std::string>;

struct FakeOptions : NumberingOptions {
  std::string start = "1";
  std::string step = "1";
  std::string prefix = "Plik";
  std::string after;
  int check1 = 0;
  std::string separator = ",";
  int reads = 0;

  std::string Text1() override { return ++reads, start; }
  std::string Text2() override { return ++reads, step; }
  std::string Text3() override { return ++reads, prefix; }
  std::string Text5() override { return ++reads, after; }
  int Check1Value() override { return ++reads, check1; }
  std::string DecimalSeparator() override { return separator; }
};

// What the platform's service does, kept here because engine tests link the engine alone.
struct NoReplaceRenamer : RenameService {
  void Rename(const std::string& oldPath, const std::string& newPath) override {
    if (oldPath == newPath) return;
    if (renameat2(AT_FDCWD, oldPath.c_str(), AT_FDCWD, newPath.c_str(), RENAME_NOREPLACE) != 0) {
      throw RunError::fromErrno(errno, oldPath);
    }
  }
};

// Fails the given calls (1-based) with an I/O error and passes the rest on.
struct FailingRenamer : RenameService {
  RenameService& inner;
  std::set<int> failing;
  int calls = 0;
  FailingRenamer(RenameService& r, std::set<int> f) : inner(r), failing(std::move(f)) {}
  void Rename(const std::string& oldPath, const std::string& newPath) override {
    if (failing.count(++calls) != 0) throw RunError::fromErrno(EIO, oldPath);
    inner.Rename(oldPath, newPath);
  }
};

class NumberingRunTest : public testing::TempDirTest {
 protected:
  void SetUp() override {
    TempDirTest::SetUp();
    list.SetPath(dir());
  }

  void create(const Names& names) {
    for (const auto& n : names) touch(n);
    list.Refresh();
  }
  Names numbered(const std::string& fmt, int count) {
    Names out;
    for (int i = 1; i <= count; ++i) {
      char buf[64];
      std::snprintf(buf, sizeof buf, fmt.c_str(), i);
      out.push_back(buf);
    }
    return out;
  }
  // Runs and returns the error number, 0 when the run went through.
  int runWith(RenameService& service) {
    NumberingRun run(list, options, service, [this] { ++pumps; });
    return runOn(run);
  }
  int run() { return runWith(renamer); }
  int runOn(NumberingRun& r) {
    try {
      r.Command1_Click();
    } catch (const RunError& e) {
      error = e;
      return e.number();
    }
    return 0;
  }

  FileList list;
  FakeOptions options;
  NoReplaceRenamer renamer;
  int pumps = 0;
  std::optional<RunError> error;
};

TEST(Numer, NumberTexts) {
  struct Row {
    const char* name;
    const char* start;
    std::int32_t step;
    std::int32_t width;
    std::vector<std::int32_t> positions;
    Names texts;
  };
  const std::vector<Row> rows = {
      {"defaults", "1", 1, 0, {0, 1, 2}, {"1", "2", "3"}},
      {"two digits", "1", 1, 2, {0, 8, 9, 11}, {"01", "09", "10", "12"}},
      {"from zero by five", "0", 5, 2, {0, 1, 19}, {"00", "05", "95"}},
      {"falling", "10", -1, 0, {0, 1, 10, 11}, {"10", "9", "0", "-1"}},
      {"start not a number", "abc", 2, 0, {0, 1}, {"0", "2"}},
      {"empty start", "", 1, 0, {0, 1}, {"0", "1"}},
      {"blank inside the start", "1 0", 1, 0, {0}, {"10"}},
      {"comma in the start", "2,5", 1, 0, {0}, {"2"}},
      {"step zero", "7", 0, 0, {0, 1, 2}, {"7", "7", "7"}},
      {"fractional start", "1.5", 1, 0, {0, 1}, {"1,5", "2,5"}},
      {"text longer than the width keeps its length", "1.5", 1, 1, {0}, {"1,5"}},
      {"falling past zero with zeros", "10", -1, 2, {9, 10, 11}, {"01", "00", "-1"}},
      {"negative start wider than the width", "-30", 1, 2, {0}, {"-30"}},
  };
  FileList list;
  FakeOptions options;
  NoReplaceRenamer renamer;
  NumberingRun run(list, options, renamer, nullptr);
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    options.start = row.start;
    run.SzerokoscNumeru = row.width;
    run.Zera();
    Names texts;
    for (std::int32_t position : row.positions) {
      std::int32_t index = position;
      texts.push_back(run.Numer(index, row.step));
      EXPECT_EQ(index, position + 1);
    }
    EXPECT_EQ(texts, row.texts);
  }
}

TEST(Numer, ReadsTheStartAtEveryCallAndIgnoresOldZerosWithoutAWidth) {
  FileList list;
  FakeOptions options;
  NoReplaceRenamer renamer;
  NumberingRun run(list, options, renamer, nullptr);
  run.CiagZer = "000";
  run.SzerokoscNumeru = 0;
  std::int32_t index = 0;
  const std::int32_t step = 1;
  EXPECT_EQ(run.Numer(index, step), "1");
  options.start = "100";
  EXPECT_EQ(run.Numer(index, step), "101");
}

TEST(Numer, ProductBeyond32BitsIsOverflow) {
  FileList list;
  FakeOptions options;
  NoReplaceRenamer renamer;
  NumberingRun run(list, options, renamer, nullptr);
  const std::int32_t step = 100000000;
  std::int32_t index = 20;
  EXPECT_EQ(run.Numer(index, step), "2000000001");
  try {
    run.Numer(index, step);
    ADD_FAILURE() << "no overflow";
  } catch (const RunError& e) {
    EXPECT_EQ(e.number(), err::Overflow);
  }
}

TEST(Zera, WritesWidthZeros) {
  FileList list;
  FakeOptions options;
  NoReplaceRenamer renamer;
  NumberingRun run(list, options, renamer, nullptr);
  for (auto [width, zeros] :
       std::vector<std::pair<int, std::string>>{{3, "000"}, {1, "0"}, {0, ""}, {-2, ""}}) {
    run.CiagZer = "x";
    run.SzerokoscNumeru = width;
    run.Zera();
    EXPECT_EQ(run.CiagZer, zeros) << width;
  }
}

TEST(WyłuskajRozszerzenie, LastDotOfTheNameBeforeTheSuffix) {
  const std::pair<const char*, const char*> rows[] = {
      {"Raport.txt.q", ".txt"},  {"archiwum.tar.gz.q", ".gz"},
      {"README.q", ""},          {".htaccess.q", ".htaccess"},
      {"wersja..q", "."},        {"x.q.q", ".q"},
      {"zdjęcie.JPĘ.q", ".JPĘ"}, {"a.\xff\xfe.q", ".\xff\xfe"},
  };
  for (auto [name, extension] : rows) EXPECT_EQ(NumberingRun::WyłuskajRozszerzenie(name), extension) << name;
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
  NumberingRun run(list, options, renamer, [this] { ++pumps; });
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    std::filesystem::remove_all(dir());
    std::filesystem::create_directory(dir());
    create(numbered("f%03d", row.files));
    options.start = row.start;
    options.step = row.step;
    pumps = 0;
    EXPECT_EQ(run.ObliczOstatniNumer(), row.last);
    EXPECT_EQ(pumps, 1);
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
    Names after_run;  // sorted by raw bytes
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
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    std::filesystem::remove_all(dir());
    std::filesystem::create_directory(dir());
    create(row.before);
    options.start = row.start;
    options.step = row.step;
    options.prefix = row.prefix;
    options.after = row.after;
    options.check1 = row.zeros;
    pumps = 0;
    ASSERT_EQ(run(), 0) << error->what();
    EXPECT_EQ(entries(), row.after_run);
    EXPECT_EQ(list.names().size(), row.after_run.size());
    EXPECT_EQ(pumps, row.zeros == 1 ? 7 : 6);
  }
}

TEST_F(NumberingRunTest, EveryFileKeepsItsContentAndTheListShowsTheNewNames) {
  create({"b.jpg", "a.txt", "żółw.txt"});
  ASSERT_EQ(run(), 0);
  EXPECT_EQ(contentOf("Plik1.txt"), "a.txt");
  EXPECT_EQ(contentOf("Plik2.jpg"), "b.jpg");
  EXPECT_EQ(contentOf("Plik3.txt"), "żółw.txt");
  EXPECT_EQ(list.names(), (Names{"Plik1.txt", "Plik2.jpg", "Plik3.txt"}));
}

TEST_F(NumberingRunTest, FilesMayTakeEachOthersNames) {
  create({"Plik1.txt", "Plik2.txt", "Plik3.txt"});
  options.start = "3";
  options.step = "-1";
  ASSERT_EQ(run(), 0);
  EXPECT_EQ(contentOf("Plik1.txt"), "Plik3.txt");
  EXPECT_EQ(contentOf("Plik2.txt"), "Plik2.txt");
  EXPECT_EQ(contentOf("Plik3.txt"), "Plik1.txt");
}

TEST_F(NumberingRunTest, FileWithoutExtensionInAFolderWithADot) {
  const std::string sub = path("zdjęcia.2024");
  std::filesystem::create_directory(sub);
  std::ofstream(sub + "/README") << "README";
  list.SetPath(sub);
  ASSERT_EQ(run(), 0);
  EXPECT_TRUE(std::filesystem::exists(sub + "/Plik1"));
  EXPECT_EQ(list.names(), Names{"Plik1"});
}

TEST_F(NumberingRunTest, MaskNotMatchingSuffixedNamesStillNumbersTheBatch) {
  create({"a.txt", "b.txt", "c.jpg"});
  list.SetPattern("*.txt");
  ASSERT_EQ(run(), 0);
  EXPECT_EQ(entries(), (Names{"Plik1.txt", "Plik2.txt", "c.jpg"}));
  EXPECT_EQ(list.names(), (Names{"Plik1.txt", "Plik2.txt"}));
  EXPECT_EQ(list.Pattern(), "*.txt");
}

TEST_F(NumberingRunTest, FileAppearingBetweenThePassesIsLeftAlone) {
  create({"a.txt", "b.txt"});
  // Without zeros the first pump comes right after the suffix pass.
  NumberingRun r(list, options, renamer, [this] {
    if (++pumps == 1) touch("new.txt");
  });
  ASSERT_EQ(runOn(r), 0);
  EXPECT_EQ(entries(), (Names{"Plik1.txt", "Plik2.txt", "new.txt"}));
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
    int number;
    std::string file;  // the file the error names, "" for none
  };
  const Names many = numbered("f%02d", 22);
  const std::string longName(254, 'n');
  const std::vector<Row> rows = {
      {"step zero", {"a.txt", "b.txt"}, {}, "*.*", "0", "Plik", 0, err::FileAlreadyExists, "b.txt"},
      {"overflow without zeros", many, {}, "*.*", "100000000", "Plik", 0, err::Overflow, "f22"},
      {"overflow with zeros", many, {}, "*.*", "100000000", "Plik", 1, err::Overflow, ""},
      {"x beside x.q", {"x", "x.q"}, {}, "*.*", "1", "Plik", 0, err::FileAlreadyExists, "x"},
      {"hidden file holds the final name",
       {"a.txt", ".1.txt"},
       {},
       "*.*",
       "1",
       ".",
       0,
       err::FileAlreadyExists,
       "a.txt"},
      {"subfolder holds the final name",
       {"a.txt"},
       {"Plik1.txt"},
       "*.*",
       "1",
       "Plik",
       0,
       err::FileAlreadyExists,
       "a.txt"},
      {"hidden subfolder holds the final name",
       {"a.txt"},
       {".1.txt"},
       "*.*",
       "1",
       ".",
       0,
       err::FileAlreadyExists,
       "a.txt"},
      {"subfolder holds a temporary name",
       {"a.txt", "b.txt"},
       {"b.txt.q"},
       "*.*",
       "1",
       "Plik",
       0,
       err::FileAlreadyExists,
       "b.txt"},
      // Without a letter to try the case of, every name is looked up on its own.
      {"no letters: subfolder holds the final name",
       {"10", "11"},
       {"2"},
       "*.*",
       "1",
       "",
       0,
       err::FileAlreadyExists,
       "11"},
      {"no letters: subfolder holds a temporary name",
       {"10", "11"},
       {"10.q"},
       "*.*",
       "1",
       "",
       0,
       err::FileAlreadyExists,
       "10"},
      {"unlisted file holds the final name",
       {"a.txt", "Plik1.txt"},
       {},
       "a*",
       "1",
       "Plik",
       0,
       err::FileAlreadyExists,
       "a.txt"},
      {"final name is a later file's temporary name",
       {"a.q", "b1"},
       {},
       "*.*",
       "1",
       "b",
       0,
       err::FileAlreadyExists,
       "a.q"},
      {"prefix into a subfolder", {"a.txt"}, {"sub"}, "*.*", "1", "sub/", 0, err::BadFileName, "a.txt"},
      {"prefix out of the folder", {"a.txt"}, {}, "*.*", "1", "../x", 0, err::BadFileName, "a.txt"},
      {"temporary name too long", {longName}, {}, "*.*", "1", "Plik", 0, err::BadFileName, longName},
      {"final name too long", {"a.txt"}, {}, "*.*", "1", std::string(251, 'p'), 0, err::BadFileName, "a.txt"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    std::filesystem::remove_all(dir());
    std::filesystem::create_directory(dir());
    for (const auto& f : row.folders) std::filesystem::create_directory(path(f));
    for (const auto& f : row.files) touch(f);
    list.SetPattern(row.mask);
    options.step = row.step;
    options.prefix = row.prefix;
    options.check1 = row.zeros;
    const Names before = entries();
    const Names listed = list.names();
    EXPECT_EQ(run(), row.number);
    EXPECT_EQ(entries(), before);
    EXPECT_EQ(list.names(), listed);
    if (error) {
      EXPECT_EQ(error->file(), row.file.empty() ? "" : path(row.file));
    }
    error.reset();
  }
}

TEST_F(NumberingRunTest, LinksHoldNames) {
  struct Row {
    const char* name;
    const char* link;    // the name the link holds
    const char* target;  // what it points to
    bool hard;
    std::string file;  // the file the error names
  };
  const std::vector<Row> rows = {
      {"dangling symlink holds a temporary name", "a.txt.q", "nowhere", false, "a.txt"},
      {"dangling symlink holds the final name", "Plik2.txt", "nowhere", false, "b.txt"},
      {"symlink to a listed file holds the final name", "Plik1.txt", "b.txt", false, "a.txt"},
      {"second link to a listed file holds the final name", "Plik1.txt", "b.txt", true, "a.txt"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    std::filesystem::remove_all(dir());
    std::filesystem::create_directory(dir());
    touch("a.txt");
    touch("b.txt");
    if (row.hard) {
      std::filesystem::create_hard_link(path(row.target), path(row.link));
    } else {
      std::filesystem::create_symlink(row.target, path(row.link));
    }
    list.SetPattern("?.txt");
    const Names before = entries();
    EXPECT_EQ(run(), err::FileAlreadyExists);
    EXPECT_EQ(entries(), before);
    if (error) {
      EXPECT_EQ(error->file(), path(row.file));
    }
    error.reset();
  }
}

TEST_F(NumberingRunTest, NamesWithoutLettersAreNumbered) {
  create({"2", "1", "30"});
  options.prefix = "";
  ASSERT_EQ(run(), 0);
  EXPECT_EQ(entries(), (Names{"1", "2", "3"}));
}

TEST_F(NumberingRunTest, EmptyListChangesNothing) {
  NumberingRun r(list, options, renamer, [this] { ++pumps; });
  r.SzerokoscNumeru = 3;
  r.CiagZer = "000";
  ASSERT_EQ(runOn(r), 0);
  EXPECT_EQ(r.SzerokoscNumeru, 3);
  EXPECT_EQ(r.CiagZer, "000");
  EXPECT_EQ(pumps, 0);
  EXPECT_EQ(options.reads, 0);
}

TEST_F(NumberingRunTest, ZerosSwitchedOffAfterARunWithThem) {
  create(numbered("f%02d", 12));
  NumberingRun r(list, options, renamer, [this] { ++pumps; });
  options.check1 = 1;
  ASSERT_EQ(runOn(r), 0);
  EXPECT_EQ(r.SzerokoscNumeru, 2);
  EXPECT_EQ(r.CiagZer, "00");
  options.check1 = 0;
  options.prefix = "Foto";
  ASSERT_EQ(runOn(r), 0);
  EXPECT_EQ(r.SzerokoscNumeru, 0);
  EXPECT_EQ(r.CiagZer, "00");
  EXPECT_EQ(list.names(), (Names{"Foto1", "Foto10", "Foto11", "Foto12", "Foto2", "Foto3", "Foto4", "Foto5",
                                 "Foto6", "Foto7", "Foto8", "Foto9"}));
}

TEST_F(NumberingRunTest, FailedRenameAnywherePutsEveryNameBack) {
  const Names names = {"a.txt", "b.jpg", "ćma.txt", "\xff.bin"};
  // Calls 1-4 are the suffix pass, 5-8 the numbering pass.
  for (int failing = 1; failing <= 8; ++failing) {
    SCOPED_TRACE(failing);
    std::filesystem::remove_all(dir());
    std::filesystem::create_directory(dir());
    create(names);
    FailingRenamer faulty(renamer, {failing});
    EXPECT_EQ(runWith(faulty), err::DeviceIo);
    EXPECT_TRUE(error->misplaced().empty());
    EXPECT_EQ(entries(), (Names{"a.txt", "b.jpg", "ćma.txt", "\xff.bin"}));
    for (const auto& n : names) EXPECT_EQ(contentOf(n), n);
    EXPECT_EQ(list.names().size(), 4u);
    error.reset();
  }
}

TEST_F(NumberingRunTest, NameThatCannotBeGivenBackIsReported) {
  create({"a.txt", "b.txt", "c.txt"});
  // Call 5 numbers b.txt and fails; call 6 would give a.txt its temporary name back.
  FailingRenamer faulty(renamer, {5, 6});
  EXPECT_EQ(runWith(faulty), err::DeviceIo);
  EXPECT_EQ(error->file(), path("b.txt"));  // where the undo left it
  ASSERT_EQ(error->misplaced().size(), 1u);
  EXPECT_EQ(error->misplaced()[0].currentPath, path("Plik1.txt"));
  EXPECT_EQ(error->misplaced()[0].originalPath, path("a.txt"));
  EXPECT_EQ(entries(), (Names{"Plik1.txt", "b.txt", "c.txt"}));
  EXPECT_EQ(contentOf("Plik1.txt"), "a.txt");
}

}  // namespace
}  // namespace skorvatin
