// Someone else changes the folder after the list was read: the whole folder moves away during a
// numbering run, a listed file disappears or a file appears under a name the conversion pass is
// about to give. Each time the operation stops with an error that names the file, and no file is
// overwritten. What a numbering run meets in a file deleted or created meanwhile is proven on the
// memory disk.
#include <cstdio>
#include <utility>

#include "engine/file_list.h"
#include "engine/letter_case.h"
#include "engine/numbering_run.h"
#include "engine/run_error.h"
#include "platform/posix_folder.h"
#include "tests/faults/fault_harness.h"
#include "tests/support/error_number.h"

namespace skorvatin::faults {
namespace {

class Interference : public FaultTest {};

TEST_F(Interference, FolderMovedAwayBetweenThePasses) {
  makeFiles({"a.txt", "b.jpg", "c.txt", "d.png"});
  const Snapshot before = snapshot(folder());
  const std::string moved = dir() + "/moved";
  platform::PosixFolders folders;
  FileList list(folders);
  list.setPath(folder());
  bool done = false;
  NumberingRun run(list, Options{}, [&] {
    if (!std::exchange(done, true)) {
      ASSERT_EQ(std::rename(folder().c_str(), moved.c_str()), 0);
    }
  });
  const RunError e = testing::errorOf([&] { run.run(); });
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
      {"listed file deleted", "b.jpg", nullptr, err::FileNotFound, "b.jpg", {"a.txt", "c.txt", "d.png"}},
      {"clash created",
       nullptr,
       "C.TXT",
       err::FileAlreadyExists,
       "C.TXT",
       {"A.TXT", "B.JPG", "C.TXT", "c.txt", "d.png"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    resetFolder();
    makeFiles({"a.txt", "b.jpg", "c.txt", "d.png"});
    platform::PosixFolders folders;
    FileList list(folders);
    list.setPath(folder());
    if (row.removed != nullptr) std::remove(inFolder(row.removed).c_str());
    if (row.created != nullptr) std::ofstream(inFolder(row.created), std::ios::binary) << "a stranger's file";
    View view;
    const RunError e = testing::errorOf([&] {
      runConversionPass(
          list, view, [] {}, [](const std::string& n) { return changeCase(n, CaseMode::AllUpper); });
    });
    EXPECT_EQ(e.number(), row.number) << e.what();
    EXPECT_NE(std::string(e.what()).find(row.namedFile), std::string::npos) << e.what();
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
