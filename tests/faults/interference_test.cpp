// Someone else changes the folder after the list was read: a listed file disappears, or a file
// appears under a name the operation is about to give. Each time the operation stops with an
// error that names the file, and no file is overwritten.
#include <cstdio>
#include <functional>

#include "engine/conversion_pass.h"
#include "engine/file_list.h"
#include "engine/letter_case.h"
#include "engine/numbering_run.h"
#include "engine/run_error.h"
#include "platform/posix_folder.h"
#include "tests/faults/fault_harness.h"

namespace skorvatin::faults {
namespace {

const std::vector<std::string> kNames = {"a.txt", "b.jpg", "c.txt", "d.png"};

class Interference : public FaultTest {
 protected:
  // Runs the numbering run with `meddle` called at the given event-pump call (1 = the one after
  // the suffix pass; 0 = right after the list was read, before the click).
  RunError numberWith(int atPump, const std::function<void()>& meddle) {
    platform::PosixFolders folders;
    FileList list(folders);
    list.setPath(folder());
    Options options;
    int pumps = 0;
    NumberingRun run(list, options, [&] {
      if (++pumps == atPump) meddle();
    });
    if (atPump == 0) meddle();
    try {
      run.run();
    } catch (const RunError& e) {
      return e;
    }
    ADD_FAILURE() << "the run did not stop";
    return RunError(0);
  }
  void write(const std::string& name, const std::string& content) const {
    std::ofstream(inFolder(name), std::ios::binary) << content;
  }
};

TEST_F(Interference, NumberingStopsOnAClashOrAMissingFile) {
  struct Row {
    const char* name;
    int atPump;
    const char* removed;  // a listed file (or its suffixed name) deleted by someone else
    const char* created;  // a stranger's file created under a name the run wants
    int number;
    const char* namedFile;
  };
  const Row rows[] = {
      {"deleted before the click", 0, "b.jpg", nullptr, 53, "b.jpg"},
      {"clash created before the click", 0, nullptr, "Plik3.txt", 58, "c.txt"},
      {"deleted between the passes", 1, "c.txt.q", nullptr, 53, "c.txt"},
      {"clash created between the passes", 1, nullptr, "Plik2.jpg", 58, "Plik2.jpg"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    resetFolder();
    makeFiles(kNames);
    Snapshot expected = snapshot(folder());
    const RunError e = numberWith(row.atPump, [&] {
      if (row.removed != nullptr) std::remove(inFolder(row.removed).c_str());
      if (row.created != nullptr) write(row.created, "a stranger's file");
    });
    EXPECT_EQ(e.number(), row.number) << e.what();
    EXPECT_NE(std::string(e.what()).find(row.namedFile), std::string::npos) << e.what();
    // Whatever was deleted is gone by someone else's hand; everything else is back, and the
    // stranger's file is untouched.
    if (row.removed != nullptr) {
      std::string base = row.removed;
      if (base.size() > 2 && base.ends_with(".q")) base.resize(base.size() - 2);
      expected.erase(base);
    }
    Snapshot after = snapshot(folder());
    if (row.created != nullptr) {
      ASSERT_EQ(after.count(row.created), 1U);
      std::ifstream in(inFolder(row.created));
      std::string content((std::istreambuf_iterator<char>(in)), {});
      EXPECT_EQ(content, "a stranger's file");
      after.erase(row.created);
    }
    EXPECT_EQ(after, expected);
    // The report may only send the user to files that are there.
    for (const MisplacedFile& m : e.misplaced()) {
      EXPECT_EQ(::access(m.currentPath.c_str(), F_OK), 0) << m.currentPath << " ← " << m.originalPath;
    }
  }
}

// The whole folder is moved away between the passes. The run holds the folder itself, not its
// path, so the undo finds every file where it left it: the folder, wherever it is now, holds every
// file under its first name, and the user is told that the folder is no longer where it was.
TEST_F(Interference, FolderMovedAwayBetweenThePasses) {
  makeFiles(kNames);
  const Snapshot before = snapshot(folder());
  const std::string moved = dir() + "/moved";
  const RunError e = numberWith(1, [&] { ASSERT_EQ(std::rename(folder().c_str(), moved.c_str()), 0); });
  EXPECT_EQ(e.number(), err::PathNotFound) << e.what();
  EXPECT_EQ(e.file(), folder());
  EXPECT_TRUE(e.misplaced().empty()) << e.what();
  EXPECT_EQ(snapshot(moved), before);
}

TEST_F(Interference, ConversionPassStopsOnAClashOrAMissingFile) {
  struct Row {
    const char* name;
    const char* removed;
    const char* created;
    int number;
    const char* namedFile;
    std::vector<std::string> expectedNames;
  };
  const Row rows[] = {
      // Found missing when the pass lists the folder, before its first rename.
      {"listed file deleted", "b.jpg", nullptr, 53, "b.jpg", {"a.txt", "c.txt", "d.png"}},
      {"clash created", nullptr, "C.TXT", 58, "C.TXT", {"A.TXT", "B.JPG", "C.TXT", "c.txt", "d.png"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    resetFolder();
    makeFiles(kNames);
    platform::PosixFolders folders;
    FileList list(folders);
    list.setPath(folder());
    if (row.removed != nullptr) std::remove(inFolder(row.removed).c_str());
    if (row.created != nullptr) write(row.created, "a stranger's file");
    View view;
    try {
      runConversionPass(
          list, view, [] {}, [](const std::string& n) { return changeCase(n, CaseMode::AllUpper); });
      ADD_FAILURE() << "the pass did not stop";
    } catch (const RunError& e) {
      EXPECT_EQ(e.number(), row.number) << e.what();
      EXPECT_NE(std::string(e.what()).find(row.namedFile), std::string::npos) << e.what();
    }
    std::vector<std::string> names;
    for (const auto& [name, state] : snapshot(folder())) names.push_back(name);
    EXPECT_EQ(names, row.expectedNames);
    if (row.created != nullptr) {
      std::ifstream in(inFolder(row.created));
      EXPECT_EQ(std::string((std::istreambuf_iterator<char>(in)), {}), "a stranger's file");
    }
  }
}

}  // namespace
}  // namespace skorvatin::faults
