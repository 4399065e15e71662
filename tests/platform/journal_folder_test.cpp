// The journals on disk, in real temporary folders.
#include "platform/journal_folder.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "engine/journal_format.h"
#include "engine/run_error.h"
#include "tests/support/error_number.h"
#include "tests/support/fake_renameat2.h"
#include "tests/support/temp_dir.h"

// This test program's fsync reports each call to the test that listens, then syncs.
namespace observed_fsync {
std::function<void(int fd)> listener;
}

extern "C" int fsync(int fd) {
  if (observed_fsync::listener) observed_fsync::listener(fd);
  return static_cast<int>(::syscall(SYS_fsync, fd));
}

namespace {

using skorvatin::testing::errorNumberOf;

using namespace skorvatin;
using skorvatin::platform::JournalFolder;
using Names = std::vector<std::string>;

BatchPlan smallPlan(std::size_t files = 2) {
  BatchPlan plan;
  plan.kind = BatchKind::Numbering;
  plan.folderPath = "/home/ola/zdjęcia";
  plan.folder = {2049, 77};
  for (std::size_t i = 0; i < files; ++i) {
    const std::string name = "DSC_" + std::to_string(1000 + i) + ".JPG";
    plan.files.push_back(
        {{2049, 100 + i}, name, name + ".q", "Plik" + std::to_string(i + 1) + ".JPG", FileStamp{i, 7, 0}});
  }
  return plan;
}

mode_t modeOf(const std::string& path) {
  struct stat st {};
  EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
  return st.st_mode & 07777;
}

class JournalFolderTest : public skorvatin::testing::TempDirTest {
 protected:
  std::string state() const { return path("state/skorvatin"); }
  std::string plan1() const { return state() + "/batch-00000000000000000001.plan"; }
  std::string end1() const { return state() + "/batch-00000000000000000001.end"; }
  Names stateEntries(const std::string& where = {}) const {
    Names out;
    for (const auto& e : std::filesystem::directory_iterator(where.empty() ? state() : where))
      out.push_back(e.path().filename().string());
    std::sort(out.begin(), out.end());
    return out;
  }
  static std::string read(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
  static void write(const std::string& file, const std::string& bytes) {
    std::ofstream(file, std::ios::binary | std::ios::trunc) << bytes;
  }
};

TEST_F(JournalFolderTest, DefaultPlaceFollowsTheEnvironment) {
  struct Row {
    const char* name;
    const char* xdgStateHome;  // nullptr: unset
    const char* home;
    std::string folder;
  };
  const Row rows[] = {
      {"state home set", "/var/tmp/stan", "/home/ola", "/var/tmp/stan/skorvatin"},
      {"state home unset", nullptr, "/home/ola", "/home/ola/.local/state/skorvatin"},
      {"state home relative, which does not count", "stan", "/home/ola", "/home/ola/.local/state/skorvatin"},
  };
  const char* savedState = std::getenv("XDG_STATE_HOME");
  const std::string savedHome = std::getenv("HOME") ? std::getenv("HOME") : "";
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    if (row.xdgStateHome) {
      ::setenv("XDG_STATE_HOME", row.xdgStateHome, 1);
    } else {
      ::unsetenv("XDG_STATE_HOME");
    }
    ::setenv("HOME", row.home, 1);
    EXPECT_EQ(platform::defaultJournalFolder(), row.folder);
  }
  if (savedState) {
    ::setenv("XDG_STATE_HOME", savedState, 1);
  } else {
    ::unsetenv("XDG_STATE_HOME");
  }
  ::setenv("HOME", savedHome.c_str(), 1);
}

// From the first journal to the undo history, across a restart of the program.
TEST_F(JournalFolderTest, JournalIsKeptPrivatelyAndOutlivesTheProgram) {
  const BatchPlan plan = smallPlan();
  auto running = std::make_unique<JournalFolder>(state());
  EXPECT_EQ(running->begin(plan), 1u);
  EXPECT_EQ(modeOf(path("state")), 0700u);
  EXPECT_EQ(modeOf(state()), 0700u);
  EXPECT_EQ(modeOf(plan1()), 0600u);
  EXPECT_EQ(read(plan1()), writePlan(plan));

  // Another copy of the program leaves a running batch alone; once the first is gone it is a batch
  // cut off, to be offered for recovery.
  JournalFolder other(state());
  EXPECT_TRUE(other.unfinished().empty());
  EXPECT_EQ(other.hold(1), nullptr);
  running.reset();
  {
    // Held by one copy, the batch is no other copy's to offer or to take.
    const auto held = other.hold(1);
    ASSERT_NE(held, nullptr);
    EXPECT_TRUE(JournalFolder(state()).unfinished().empty());
    EXPECT_EQ(JournalFolder(state()).hold(1), nullptr);
  }
  // What a copy killed while placing a journal left goes at the next start; what a running copy is
  // writing stays.
  std::ofstream(state() + "/.tmp-1-1") << "torn";
  const int writing = ::open((state() + "/.tmp-2-1").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
  ASSERT_EQ(::flock(writing, LOCK_EX), 0);
  const auto open = other.unfinished();
  EXPECT_FALSE(std::filesystem::exists(state() + "/.tmp-1-1"));
  EXPECT_TRUE(std::filesystem::exists(state() + "/.tmp-2-1"));
  ::close(writing);
  ASSERT_EQ(open.size(), 1u);
  EXPECT_EQ(open[0].id, 1u);
  ASSERT_TRUE(open[0].plan) << open[0].problem;
  EXPECT_EQ(*open[0].plan, plan);

  other.finish(1, {BatchOutcome::Stopped, 1});
  EXPECT_EQ(modeOf(end1()), 0600u);
  JournalFolder restarted(state());
  EXPECT_TRUE(restarted.unfinished().empty());
  const auto history = restarted.history();
  ASSERT_EQ(history.size(), 1u);
  EXPECT_EQ(history[0].id, 1u);
  EXPECT_EQ(history[0].folderPath, "/home/ola/zdjęcia");
  EXPECT_EQ(history[0].fileCount, 1u);
  EXPECT_EQ(restarted.load(1).end, (BatchEnd{BatchOutcome::Stopped, 1}));
  EXPECT_EQ(errorNumberOf([&] { restarted.finish(1, {BatchOutcome::Done, 2}); }), err::FileAlreadyExists);
  EXPECT_EQ(stateEntries(), (Names{"batch-00000000000000000001.end", "batch-00000000000000000001.plan"}));
}

// The data is synced under its temporary name, and the folder once the name is in place: a crash
// at any moment leaves either no journal or a whole one.
TEST_F(JournalFolderTest, JournalIsDurableBeforeBeginAndFinishReturn) {
  JournalFolder store(state());
  std::vector<std::string> events;
  observed_fsync::listener = [&](int fd) {
    struct stat st {};
    ::fstat(fd, &st);
    const std::string what = S_ISDIR(st.st_mode) ? "folder" : "file";
    events.push_back(what + (exists("state/skorvatin/batch-00000000000000000001.plan") ? " plan" : "") +
                     (exists("state/skorvatin/batch-00000000000000000001.end") ? " end" : ""));
  };
  store.begin(smallPlan());
  store.finish(1, {BatchOutcome::Done, 2});
  observed_fsync::listener = nullptr;
  // The two folders made on the way ("state", "skorvatin") are synced into their parents first.
  EXPECT_EQ(events, (Names{"folder", "folder", "file", "folder plan", "file plan", "folder plan end"}));
}

// Where the file system turns the no-replace flag down (FUSE drivers on libfuse 2, an old kernel),
// journals are placed and put aside as every other move is, and still replace nothing.
TEST_F(JournalFolderTest, FileSystemWithoutTheNoReplaceFlag) {
  for (const int answer : {EINVAL, ENOSYS}) {
    SCOPED_TRACE(std::strerror(answer));
    std::filesystem::remove_all(path("state"));
    fake_renameat2::script = [answer](int, const char*, const char*) { return answer; };
    JournalFolder store(state());
    EXPECT_EQ(store.begin(smallPlan()), 1u);
    store.finish(1, {BatchOutcome::Done, 2});
    std::filesystem::create_directories(state() + "/aside");
    write(state() + "/aside/batch-00000000000000000001.plan", "put aside before");
    store.moveAside(1);
    fake_renameat2::script = nullptr;
    EXPECT_EQ(stateEntries(), Names{"aside"});
    EXPECT_EQ(stateEntries(state() + "/aside"),
              (Names{"batch-00000000000000000001.end", "batch-00000000000000000001.plan",
                     "batch-00000000000000000001.plan.1"}));
    EXPECT_EQ(read(state() + "/aside/batch-00000000000000000001.plan"), "put aside before");
    EXPECT_EQ(read(state() + "/aside/batch-00000000000000000001.plan.1"), writePlan(smallPlan()));
  }
}

// Whatever lies where a journal should be is never followed or trusted: it is reported with the
// reason, and put aside untouched.
TEST_F(JournalFolderTest, UntrustworthyJournalIsReportedAndPutAsideAsItIs) {
  const std::string whole = writePlan(smallPlan());
  struct Row {
    const char* name;
    std::function<void(const std::string& file)> make;
    std::string problem;
    bool needsRoot = false;
  };
  const std::string elsewhere = path("elsewhere.plan");
  const std::vector<Row> rows = {
      {"a link to a journal elsewhere",
       [&](const std::string& f) {
         write(elsewhere, whole);
         ASSERT_EQ(::symlink(elsewhere.c_str(), f.c_str()), 0);
       },
       "dowiązanie symboliczne zamiast dziennika"},
      {"a pipe", [](const std::string& f) { ASSERT_EQ(::mkfifo(f.c_str(), 0600), 0); },
       "to nie jest zwykły plik"},
      {"another user's file",
       [&](const std::string& f) {
         write(f, whole);
         ASSERT_EQ(::chown(f.c_str(), 65534, 65534), 0);
       },
       "dziennik należy do innego użytkownika", true},
      {"a damaged end record",
       [&](const std::string& f) {
         write(f, whole);
         write(f.substr(0, f.size() - 5) + ".end", "skorvatin-journal end 1\nbatch 1\n");
       },
       "zapis końca operacji: dziennik jest ucięty"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    if (row.needsRoot && ::geteuid() != 0) {
      std::cout << "skipped row \"" << row.name << "\": needs root to give a file to another user\n";
      continue;
    }
    std::filesystem::remove_all(path("state"));
    std::filesystem::create_directories(state());
    ::chmod(state().c_str(), 0700);
    row.make(plan1());
    JournalFolder store(state());
    const auto open = store.unfinished();
    ASSERT_EQ(open.size(), 1u);
    EXPECT_FALSE(open[0].plan);
    EXPECT_EQ(open[0].problem, row.problem);
    EXPECT_TRUE(store.history().empty());

    store.moveAside(1);
    EXPECT_TRUE(store.unfinished().empty());
    EXPECT_EQ(stateEntries(), Names{"aside"});
    EXPECT_FALSE(stateEntries(state() + "/aside").empty());
    struct stat st {};
    EXPECT_EQ(::lstat((state() + "/aside/batch-00000000000000000001.plan").c_str(), &st), 0);
    if (S_ISREG(st.st_mode)) {
      EXPECT_NE(read(state() + "/aside/batch-00000000000000000001.plan"), "");
    }
    // A number once given is not given again, though its journal was put aside.
    EXPECT_EQ(store.begin(smallPlan()), 2u);
  }
  EXPECT_EQ(read(elsewhere), whole);
}

TEST_F(JournalFolderTest, StateFolderThatIsNotTheUsersOwnIsNeverUsed) {
  std::filesystem::create_directories(path("state"));
  std::filesystem::create_directories(path("target"));
  ASSERT_EQ(::symlink(path("target").c_str(), state().c_str()), 0);
  JournalFolder store(state());
  EXPECT_EQ(errorNumberOf([&] { store.begin(smallPlan()); }), err::PathFileAccess);
  EXPECT_EQ(errorNumberOf([&] { store.unfinished(); }), err::PathFileAccess);
  EXPECT_TRUE(stateEntries(path("target")).empty());

  if (::geteuid() != 0) GTEST_SKIP() << "needs root to give the folder to another user";
  ASSERT_EQ(::unlink(state().c_str()), 0);
  ASSERT_EQ(::mkdir(state().c_str(), 0700), 0);
  ASSERT_EQ(::chown(state().c_str(), 65534, 65534), 0);
  EXPECT_EQ(errorNumberOf([&] { store.begin(smallPlan()); }), err::PermissionDenied);
  EXPECT_TRUE(stateEntries().empty());
}

// The batch must not start without its journal, and no half-written file may stay behind. Root
// writes through permission bits, so as root a read-only mount and a full file system stand in.
TEST_F(JournalFolderTest, JournalThatCannotBeWrittenLeavesNothingBehind) {
  struct MountGuard {
    std::string target;
    ~MountGuard() {
      if (!target.empty()) ::umount2(target.c_str(), MNT_DETACH);
    }
  };
  struct Row {
    const char* name;
    bool asRoot;
    std::function<bool(const std::string& mount, MountGuard&, std::string& why)> prepare;
    std::size_t files;
    int error;
  };
  const std::vector<Row> rows = {
      {"folder without write permission", false,
       [](const std::string& m, MountGuard&, std::string&) {
         std::filesystem::create_directories(m + "/skorvatin");
         return ::chmod((m + "/skorvatin").c_str(), 0500) == 0;
       },
       2, err::PermissionDenied},
      {"read-only mount", true,
       [&](const std::string& m, MountGuard& guard, std::string& why) {
         std::filesystem::create_directories(path("rw/skorvatin"));
         ::chmod(path("rw/skorvatin").c_str(), 0700);
         if (::mount(path("rw").c_str(), m.c_str(), nullptr, MS_BIND, nullptr) != 0) {
           why = std::strerror(errno);
           return false;
         }
         guard.target = m;
         return ::mount(nullptr, m.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) == 0;
       },
       2, err::PermissionDenied},
      {"full file system", true,
       [](const std::string& m, MountGuard& guard, std::string& why) {
         if (::mount("tmpfs", m.c_str(), "tmpfs", 0, "size=64k,mode=0700") != 0) {
           why = std::strerror(errno);
           return false;
         }
         guard.target = m;
         return true;
       },
       4000, err::DiskFull},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    if (row.asRoot != (::geteuid() == 0)) {
      std::cout << "skipped row \"" << row.name
                << "\": " << (row.asRoot ? "needs root" : "root writes anyway") << "\n";
      continue;
    }
    const std::string mount = path(std::string("m-") + std::to_string(&row - rows.data()));
    std::filesystem::create_directories(mount);
    MountGuard guard;
    std::string why;
    if (!row.prepare(mount, guard, why)) {
      std::cout << "skipped row \"" << row.name << "\": cannot set it up here: " << why << "\n";
      continue;
    }
    JournalFolder store(mount + "/skorvatin");
    EXPECT_EQ(errorNumberOf([&] { store.begin(smallPlan(row.files)); }), row.error);
    EXPECT_TRUE(stateEntries(mount + "/skorvatin").empty());
    ::chmod((mount + "/skorvatin").c_str(), 0700);
  }
}

TEST_F(JournalFolderTest, OldFinishedJournalsGoOnlyBeyondTheKeptHistory) {
  JournalFolder store(state());
  const std::size_t batches = JournalFolder::kKeptHistory + 3;
  for (std::size_t i = 0; i < batches; ++i) store.finish(store.begin(smallPlan()), {BatchOutcome::Done, 2});
  const auto history = store.history();
  ASSERT_EQ(history.size(), JournalFolder::kKeptHistory);
  EXPECT_EQ(history.front().id, batches);
  EXPECT_EQ(history.back().id, 4u);
  EXPECT_EQ(stateEntries().size(), 2 * JournalFolder::kKeptHistory);
  EXPECT_EQ(store.begin(smallPlan()), batches + 1);
}

// A copy of the program remembers the end records it has read, but another copy's batches, and
// the journals it puts aside, show in its history all the same.
TEST_F(JournalFolderTest, HistoryFollowsWhatAnotherCopyFinishesAndPutsAside) {
  JournalFolder mine(state());
  JournalFolder other(state());
  const auto ids = [](const std::vector<FinishedBatch>& history) {
    std::vector<BatchId> out;
    for (const FinishedBatch& b : history) out.push_back(b.id);
    return out;
  };
  for (int i = 0; i < 2; ++i) mine.finish(mine.begin(smallPlan()), {BatchOutcome::Done, 2});
  EXPECT_EQ(ids(mine.history()), (std::vector<BatchId>{2, 1}));
  other.finish(other.begin(smallPlan()), {BatchOutcome::Done, 2});
  other.moveAside(1);
  EXPECT_EQ(ids(mine.history()), (std::vector<BatchId>{3, 2}));
  EXPECT_TRUE(mine.unfinished().empty());
}

}  // namespace
