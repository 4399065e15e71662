#include "platform/posix_folder.h"

#include <fcntl.h>
#include <grp.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "engine/run_error.h"
#include "tests/support/fake_renameat2.h"
#include "tests/support/temp_dir.h"

namespace fake_renameat2 {
int calls = 0;
std::function<int(int, const char*, const char*)> script;
}  // namespace fake_renameat2

extern "C" int renameat2(int oldDirfd, const char* oldName, int newDirfd, const char* newName,
                         unsigned flags) noexcept {
  ++fake_renameat2::calls;
  if (fake_renameat2::script) {
    if (const int e = fake_renameat2::script(fake_renameat2::calls, oldName, newName)) {
      errno = e;
      return -1;
    }
  }
  return static_cast<int>(::syscall(SYS_renameat2, oldDirfd, oldName, newDirfd, newName, flags));
}

namespace {

using skorvatin::RunError;
using skorvatin::platform::PosixFolders;
using skorvatin::platform::RenameStrategy;
using Names = std::vector<std::string>;

ino_t inodeOf(const std::string& path) {
  struct stat st {};
  EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
  return st.st_ino;
}

// Opens `folder`, renames `from` to `to` in it and returns the error number it stopped with (0 for
// success); the file the error names goes to `file`.
int renameResult(const std::string& folder, const std::string& from, const std::string& to,
                 RenameStrategy strategy = RenameStrategy::Automatic, std::string* file = nullptr,
                 std::string* detail = nullptr) {
  try {
    PosixFolders(strategy).open(folder)->rename(from, to);
    return 0;
  } catch (const RunError& e) {
    if (file) *file = e.file();
    if (detail) *detail = e.detail();
    return e.number();
  }
}

class FolderTest : public skorvatin::testing::TempDirTest {};

TEST_F(FolderTest, IdenticalPathSucceedsAndChangesNothing) {
  touch("a.txt");
  const ino_t before = inodeOf(path("a.txt"));
  EXPECT_EQ(renameResult(dir(), "a.txt", "a.txt"), 0);
  EXPECT_EQ(entries(), Names{"a.txt"});
  EXPECT_EQ(inodeOf(path("a.txt")), before);
}

TEST_F(FolderTest, IdenticalPathOfAMissingFileFails) {
  std::string file;
  EXPECT_EQ(renameResult(dir(), "gone.txt", "gone.txt", RenameStrategy::Automatic, &file), 53);
  EXPECT_EQ(file, path("gone.txt"));
}

TEST_F(FolderTest, MissingFolderIsAPathError) {
  std::string file;
  EXPECT_EQ(renameResult(path("nie-ma"), "a.txt", "b.txt", RenameStrategy::Automatic, &file), 76);
  EXPECT_EQ(file, path("nie-ma"));
}

// Every way of moving a file must give the same answers; the fall-backs are forced here on an
// ordinary file system, where they would otherwise never run.
class StrategyTest : public FolderTest, public ::testing::WithParamInterface<RenameStrategy> {};

std::string strategyName(const ::testing::TestParamInfo<RenameStrategy>& row) {
  switch (row.param) {
    case RenameStrategy::Automatic:
      return "Automatic";
    case RenameStrategy::LinkUnlink:
      return "LinkUnlink";
    case RenameStrategy::CheckedRename:
      return "CheckedRename";
  }
  return "Unknown";
}

INSTANTIATE_TEST_SUITE_P(Strategies, StrategyTest,
                         ::testing::Values(RenameStrategy::Automatic, RenameStrategy::LinkUnlink,
                                           RenameStrategy::CheckedRename),
                         strategyName);

TEST_P(StrategyTest, FreshNameMovesTheFileAndKeepsItsIdentity) {
  touch("a.txt", "zawartość");
  const ino_t before = inodeOf(path("a.txt"));
  EXPECT_EQ(renameResult(dir(), "a.txt", "b.txt", GetParam()), 0);
  EXPECT_EQ(entries(), Names{"b.txt"});
  EXPECT_EQ(contentOf("b.txt"), "zawartość");
  EXPECT_EQ(inodeOf(path("b.txt")), before);
}

TEST_P(StrategyTest, ExistingTargetIsRefusedAndBothFilesStayIntact) {
  touch("a.txt");
  touch("b.txt");
  std::string file;
  EXPECT_EQ(renameResult(dir(), "a.txt", "b.txt", GetParam(), &file), 58);
  EXPECT_EQ(file, path("b.txt"));
  EXPECT_EQ(entries(), (Names{"a.txt", "b.txt"}));
  EXPECT_EQ(contentOf("a.txt"), "a.txt");
  EXPECT_EQ(contentOf("b.txt"), "b.txt");
}

TEST_P(StrategyTest, ExistingFolderAsTargetIsRefused) {
  touch("a.txt");
  ASSERT_EQ(::mkdir(path("b").c_str(), 0755), 0);
  EXPECT_EQ(renameResult(dir(), "a.txt", "b", GetParam()), 58);
  EXPECT_EQ(entries(), (Names{"a.txt", "b"}));
}

TEST_P(StrategyTest, MissingSourceFailsNamingIt) {
  touch("b.txt");
  std::string file;
  EXPECT_EQ(renameResult(dir(), "a.txt", "c.txt", GetParam(), &file), 53);
  EXPECT_EQ(file, path("a.txt"));
  EXPECT_EQ(entries(), Names{"b.txt"});
}

// On a file system that tells letter case apart, A.TXT is a name of its own.
TEST_P(StrategyTest, CaseOnlyRenameWithoutClashRenames) {
  touch("a.txt");
  const ino_t before = inodeOf(path("a.txt"));
  EXPECT_EQ(renameResult(dir(), "a.txt", "A.TXT", GetParam()), 0);
  EXPECT_EQ(entries(), Names{"A.TXT"});
  EXPECT_EQ(inodeOf(path("A.TXT")), before);
}

TEST_P(StrategyTest, CaseOnlyRenameOntoAnotherFileIsRefused) {
  touch("A.txt");
  touch("a.txt");
  EXPECT_EQ(renameResult(dir(), "A.txt", "a.txt", GetParam()), 58);
  EXPECT_EQ(entries(), (Names{"A.txt", "a.txt"}));
  EXPECT_EQ(contentOf("A.txt"), "A.txt");
  EXPECT_EQ(contentOf("a.txt"), "a.txt");
}

// Two names of one file look like a case-only rename (same inode); the detour through a
// temporary name must find the new name still taken, put the file back and leave no trace.
TEST_P(StrategyTest, HardLinkUnderTheNewNameIsRefusedWithoutLeftovers) {
  touch("a.txt");
  ASSERT_EQ(::link(path("a.txt").c_str(), path("b.txt").c_str()), 0);
  std::string file;
  EXPECT_EQ(renameResult(dir(), "a.txt", "b.txt", GetParam(), &file), 58);
  EXPECT_EQ(file, path("b.txt"));
  EXPECT_EQ(entries(), (Names{"a.txt", "b.txt"}));
}

TEST_P(StrategyTest, SymbolicLinkIsRenamedItselfNotItsTarget) {
  touch("target.txt");
  ASSERT_EQ(::symlink("target.txt", path("link").c_str()), 0);
  EXPECT_EQ(renameResult(dir(), "link", "link2", GetParam()), 0);
  EXPECT_EQ(entries(), (Names{"link2", "target.txt"}));
  EXPECT_EQ(contentOf("link2"), "target.txt");
}

struct BadNameRow {
  const char* name;
  std::string newName;  // relative to the test folder
  const char* detail = "";
};

TEST_F(FolderTest, InvalidNewNamesAreRefusedBeforeAnythingMoves) {
  const std::vector<BadNameRow> rows = {
      {"into a subfolder", "sub/a.txt", "nazwa wskazuje inny folder"},
      {"into the parent folder", "../a.txt", "nazwa wskazuje inny folder"},
      {"dot dot", "..", "to nie jest nazwa pliku"},
      {"dot", ".", "to nie jest nazwa pliku"},
      {"empty", "", "to nie jest nazwa pliku"},
      {"trailing slash", "b/", "nazwa wskazuje inny folder"},
      {"NUL byte", std::string("b\0c.txt", 7), "znak NUL w nazwie"},
      {"256 bytes", std::string(252, 'x') + ".txt", "nazwa dłuższa niż 255 bajtów"},
  };
  ASSERT_EQ(::mkdir(path("sub").c_str(), 0755), 0);
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    touch("a.txt");
    std::string file;
    std::string detail;
    EXPECT_EQ(renameResult(dir(), "a.txt", row.newName, RenameStrategy::Automatic, &file, &detail), 52);
    EXPECT_EQ(file, path(row.newName));
    EXPECT_EQ(detail, row.detail);
    EXPECT_EQ(entries(), (Names{"a.txt", "sub"}));
    EXPECT_TRUE(std::filesystem::is_empty(path("sub")));
  }
}

TEST_F(FolderTest, InvalidOldNamesAreRefused) {
  const std::vector<BadNameRow> rows = {
      {"dot dot", ".."},
      {"dot", "."},
      {"trailing slash", "sub/"},
      {"NUL byte", std::string("a\0b", 3)},
  };
  ASSERT_EQ(::mkdir(path("sub").c_str(), 0755), 0);
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(renameResult(dir(), row.newName, "x", RenameStrategy::Automatic), 52);
    EXPECT_EQ(entries(), Names{"sub"});
  }
}

TEST_F(FolderTest, NameOfExactly255BytesIsAccepted) {
  touch("a.txt");
  const std::string longest = std::string(251, 'x') + ".txt";
  ASSERT_EQ(longest.size(), 255u);
  EXPECT_EQ(renameResult(dir(), "a.txt", longest), 0);
  EXPECT_EQ(entries(), Names{longest});
}

struct ByteNameRow {
  const char* name;
  std::string from;
  std::string to;
};

// Names travel as bytes: nothing decodes, re-encodes or trims them.
TEST_F(FolderTest, NamesArePassedAsRawBytes) {
  const std::vector<ByteNameRow> rows = {
      {"invalid UTF-8 to valid", "\xff\xfe.txt", "plik.txt"},
      {"valid to invalid UTF-8", "plik.txt", "p\xb3ik\xe6.txt"},
      {"Polish letters to upper case", "\xc5\xbc\xc3\xb3\xc5\x82\xc4\x87.jpg",
       "\xc5\xbb\xc3\x93\xc5\x81\xc4\x86.JPG"},
      {"newline inside", "a.txt", "a\nb.txt"},
      {"leading dash", "a.txt", "-n.txt"},
      {"spaces and trailing dot", "a.txt", " a b .txt."},
      {"hidden name", "a.txt", ".ukryty"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    touch(row.from, "treść");
    const ino_t before = inodeOf(path(row.from));
    EXPECT_EQ(renameResult(dir(), row.from, row.to), 0);
    EXPECT_EQ(entries(), Names{row.to});
    EXPECT_EQ(contentOf(row.to), "treść");
    EXPECT_EQ(inodeOf(path(row.to)), before);
    std::filesystem::remove(path(row.to));
  }
}

TEST_F(FolderTest, ListingGivesEveryEntryWithWhatItLeadsToAndTheInodeALookUpGives) {
  touch("file.txt");
  touch(".hidden");
  ASSERT_EQ(::mkdir(path("folder").c_str(), 0755), 0);
  ASSERT_EQ(::mkfifo(path("pipe").c_str(), 0644), 0);
  ASSERT_EQ(::symlink("file.txt", path("to-file").c_str()), 0);
  ASSERT_EQ(::symlink("folder", path("to-folder").c_str()), 0);
  ASSERT_EQ(::symlink("nowhere", path("dangling").c_str()), 0);
  const auto folder = PosixFolders().open(dir());
  std::map<std::string, skorvatin::EntryKind> kinds;
  folder->forEachEntry([&](std::string_view name, skorvatin::EntryKind kind, std::uint64_t inode) {
    kinds[std::string(name)] = kind;
    const auto id = folder->lookUp(std::string(name));
    ASSERT_TRUE(id.has_value()) << name;
    EXPECT_EQ(id->inode, inode) << name;
    EXPECT_EQ(id->device, folder->id().device) << name;
  });
  using skorvatin::EntryKind;
  const std::map<std::string, EntryKind> expected = {
      {".hidden", EntryKind::File},     {"dangling", EntryKind::Other}, {"file.txt", EntryKind::File},
      {"folder", EntryKind::Folder},    {"pipe", EntryKind::Other},     {"to-file", EntryKind::File},
      {"to-folder", EntryKind::Folder},
  };
  EXPECT_EQ(kinds, expected);
  EXPECT_FALSE(folder->lookUp("missing").has_value());
}

TEST_F(FolderTest, CaseIsProbedWithANameFromTheListing) {
  struct Row {
    const char* name;
    Names files;
    bool ignoresCase;
  };
  // An ordinary file system tells case apart; without a letter to try, the folder plays safe.
  const std::vector<Row> rows = {
      {"a name with letters", {"1", "Zdjecie.jpg"}, false},
      {"names without letters", {"1", "2"}, true},
      {"only letters beyond ASCII", {"żółw"}, true},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    for (const auto& f : entries()) std::filesystem::remove(path(f));
    for (const auto& f : row.files) touch(f);
    const auto folder = PosixFolders().open(dir());
    folder->forEachEntry([](std::string_view, skorvatin::EntryKind, std::uint64_t) {});
    EXPECT_EQ(folder->ignoresCase(), row.ignoresCase);
  }
}

// File systems whose numbers are stored with the files; a test folder's volume on a memory file
// system has no name to be found by.
TEST_F(FolderTest, NumbersLastOnDiskAndMemoryFileSystems) {
  struct Row {
    const char* name;
    std::string folder;
  };
  const Row rows[] = {{"temporary folder", dir()}, {"/dev/shm", "/dev/shm"}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    if (!std::filesystem::is_directory(row.folder)) continue;
    EXPECT_EQ(PosixFolders().open(row.folder)->identity(), skorvatin::Identity::Lasting);
  }
  if (!std::filesystem::is_directory("/dev/shm")) return;
  const skorvatin::VolumeId shm = PosixFolders().open("/dev/shm")->volume();
  EXPECT_FALSE(shm.known());
  EXPECT_EQ(shm.inside, "/");
}

TEST_F(FolderTest, AnOpenedFolderKeepsWorkingWhenItsPathMoves) {
  ASSERT_EQ(::mkdir(path("old").c_str(), 0755), 0);
  touch("old/a.txt");
  const auto folder = PosixFolders().open(path("old"));
  ASSERT_EQ(::rename(path("old").c_str(), path("new").c_str()), 0);
  ASSERT_EQ(::mkdir(path("old").c_str(), 0755), 0);
  folder->rename("a.txt", "b.txt");
  folder->sync();
  EXPECT_TRUE(exists("new/b.txt"));
  EXPECT_TRUE(std::filesystem::is_empty(path("old")));
}

// The batched look-up answers as the single one does, name for name and in order, whichever way
// it goes: the journal pairs each stamp with its file by position.
TEST_F(FolderTest, StampsOfManyNamesAreEachNamesOwnInOrder) {
  Names names;
  for (int i = 0; i < 40; ++i) {
    names.push_back("f" + std::to_string(i));
    if (i % 7 != 3) touch(names.back(), std::string(static_cast<std::size_t>(i) + 1, 'x'));
  }
  names.push_back("f5");
  const auto folder = PosixFolders().open(dir());
  const auto stamps = folder->stampsOf(names);
  ASSERT_EQ(stamps.size(), names.size());
  for (std::size_t i = 0; i < names.size(); ++i) {
    SCOPED_TRACE(names[i]);
    EXPECT_EQ(stamps[i], folder->stampOf(names[i]));
    EXPECT_EQ(stamps[i].has_value(), i % 7 != 3);
    if (stamps[i]) {
      EXPECT_EQ(stamps[i]->size, std::stoul(names[i].substr(1)) + 1);
    }
  }
  Names bad{"f1", "a/b"};
  try {
    folder->stampsOf(bad);
    ADD_FAILURE() << "a name with a slash was looked up";
  } catch (const RunError& e) {
    EXPECT_EQ(e.number(), skorvatin::err::BadFileName);
  }
}

class InjectedAnswerTest : public FolderTest {
 protected:
  void SetUp() override {
    FolderTest::SetUp();
    fake_renameat2::calls = 0;
  }
  void TearDown() override {
    fake_renameat2::script = nullptr;
    FolderTest::TearDown();
  }
};

struct UnsupportedFlagRow {
  const char* name;
  int answer;  // what renameat2 says to every call
  bool targetExists;
  int expected;
  Names after;
};

// libfuse 2 file systems answer the flag with EINVAL when the target is absent, and a kernel
// before 3.15 has no renameat2 at all: the service must still rename, and still never replace.
TEST_F(InjectedAnswerTest, FileSystemWithoutTheNoReplaceFlag) {
  const std::vector<UnsupportedFlagRow> rows = {
      {"EINVAL, target absent", EINVAL, false, 0, {"b.txt"}},
      {"EINVAL, target present", EINVAL, true, 58, {"a.txt", "b.txt"}},
      {"ENOSYS, target absent", ENOSYS, false, 0, {"b.txt"}},
      {"ENOSYS, target present", ENOSYS, true, 58, {"a.txt", "b.txt"}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    std::filesystem::remove(path("a.txt"));
    std::filesystem::remove(path("b.txt"));
    touch("a.txt");
    if (row.targetExists) touch("b.txt");
    const ino_t before = inodeOf(path("a.txt"));
    fake_renameat2::script = [&row](int, const char*, const char*) { return row.answer; };
    EXPECT_EQ(renameResult(dir(), "a.txt", "b.txt"), row.expected);
    fake_renameat2::script = nullptr;
    EXPECT_EQ(entries(), row.after);
    if (row.expected == 0) {
      EXPECT_EQ(inodeOf(path("b.txt")), before);
    }
    if (row.targetExists) {
      EXPECT_EQ(contentOf("b.txt"), "b.txt");
    }
  }
}

// A second name of the same file sends the rename through a temporary name (as a case-only rename
// on a case-insensitive file system does): 1 a->b EEXIST, 2 a->temp, 3 temp->b EEXIST, 4 temp->a.
TEST_F(InjectedAnswerTest, FailureOnTheWayThroughTheTemporaryName) {
  touch("a.txt");
  ASSERT_EQ(::link(path("a.txt").c_str(), path("b.txt").c_str()), 0);

  fake_renameat2::script = [](int call, const char*, const char*) { return call == 2 ? EROFS : 0; };
  std::string file;
  EXPECT_EQ(renameResult(dir(), "a.txt", "b.txt", RenameStrategy::Automatic, &file), 70);
  EXPECT_EQ(file, path("a.txt"));
  EXPECT_EQ(entries(), (Names{"a.txt", "b.txt"}));

  fake_renameat2::calls = 0;
  fake_renameat2::script = [](int call, const char*, const char*) { return call == 3 ? EIO : 0; };
  EXPECT_EQ(renameResult(dir(), "a.txt", "b.txt", RenameStrategy::Automatic, &file), 57);
  EXPECT_EQ(file, path("b.txt"));
  EXPECT_EQ(entries(), (Names{"a.txt", "b.txt"}));
}

TEST_F(InjectedAnswerTest, FileLeftUnderTheTemporaryNameIsNamedInTheError) {
  touch("a.txt");
  ASSERT_EQ(::link(path("a.txt").c_str(), path("b.txt").c_str()), 0);
  fake_renameat2::script = [](int call, const char*, const char*) { return call == 4 ? EIO : 0; };
  try {
    PosixFolders().open(dir())->rename("a.txt", "b.txt");
    FAIL() << "the rename should have failed";
  } catch (const RunError& e) {
    EXPECT_EQ(e.number(), skorvatin::err::FileAlreadyExists);
    EXPECT_EQ(e.file(), path("b.txt"));
    ASSERT_EQ(e.misplaced().size(), 1u);
    const auto& left = e.misplaced()[0];
    EXPECT_EQ(left.originalPath, path("a.txt"));
    EXPECT_EQ(left.currentPath.rfind(path(".skorvatin-"), 0), 0u) << left.currentPath;
    EXPECT_NE(std::string(e.what()).find(left.currentPath), std::string::npos) << e.what();
    EXPECT_EQ(inodeOf(left.currentPath), inodeOf(path("b.txt")));
  }
  EXPECT_FALSE(exists("a.txt"));
  EXPECT_EQ(entries().size(), 2u);
}

// Refusals that root cannot walk past. CI runs as root; elsewhere these skip.
class RootOnlyTest : public FolderTest {
 protected:
  void SetUp() override {
    FolderTest::SetUp();
    if (::geteuid() != 0) GTEST_SKIP() << "needs root (mounts, immutable flag, dropping privileges)";
  }
};

struct MountGuard {
  std::string target;
  ~MountGuard() {
    if (!target.empty()) ::umount2(target.c_str(), MNT_DETACH);
  }
};

TEST_F(RootOnlyTest, ReadOnlyMountRefusesWithPermissionError) {
  ASSERT_EQ(::mkdir(path("rw").c_str(), 0755), 0);
  ASSERT_EQ(::mkdir(path("ro").c_str(), 0755), 0);
  touch("rw/a.txt");
  MountGuard guard;
  if (::mount(path("rw").c_str(), path("ro").c_str(), nullptr, MS_BIND, nullptr) != 0)
    GTEST_SKIP() << "bind mount not allowed here: " << std::strerror(errno);
  guard.target = path("ro");
  ASSERT_EQ(::mount(nullptr, path("ro").c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr), 0)
      << std::strerror(errno);
  for (auto strategy :
       {RenameStrategy::Automatic, RenameStrategy::LinkUnlink, RenameStrategy::CheckedRename}) {
    std::string file;
    EXPECT_EQ(renameResult(path("ro"), "a.txt", "b.txt", strategy, &file), 70);
    EXPECT_EQ(file, path("ro/a.txt"));
  }
  EXPECT_TRUE(exists("rw/a.txt"));
  EXPECT_FALSE(exists("rw/b.txt"));
}

struct ImmutableGuard {
  int fd = -1;
  ~ImmutableGuard() {
    if (fd < 0) return;
    int flags = 0;
    if (::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0) {
      flags &= ~FS_IMMUTABLE_FL;
      ::ioctl(fd, FS_IOC_SETFLAGS, &flags);
    }
    ::close(fd);
  }
};

TEST_F(RootOnlyTest, ImmutableFileRefusesEvenRoot) {
  touch("a.txt");
  ImmutableGuard guard;
  guard.fd = ::open(path("a.txt").c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(guard.fd, 0);
  int flags = 0;
  if (::ioctl(guard.fd, FS_IOC_GETFLAGS, &flags) != 0)
    GTEST_SKIP() << "no file attributes on this file system";
  flags |= FS_IMMUTABLE_FL;
  if (::ioctl(guard.fd, FS_IOC_SETFLAGS, &flags) != 0)
    GTEST_SKIP() << "cannot set the immutable flag: " << std::strerror(errno);
  for (auto strategy :
       {RenameStrategy::Automatic, RenameStrategy::LinkUnlink, RenameStrategy::CheckedRename}) {
    EXPECT_EQ(renameResult(dir(), "a.txt", "b.txt", strategy), 70);
  }
  EXPECT_EQ(entries(), Names{"a.txt"});
}

TEST_F(RootOnlyTest, FileThatIsAMountPointIsBusy) {
  touch("a.txt");
  touch("cover.txt");
  MountGuard guard;
  if (::mount(path("cover.txt").c_str(), path("a.txt").c_str(), nullptr, MS_BIND, nullptr) != 0)
    GTEST_SKIP() << "bind mount not allowed here: " << std::strerror(errno);
  guard.target = path("a.txt");
  std::string file;
  EXPECT_EQ(renameResult(dir(), "a.txt", "b.txt", RenameStrategy::Automatic, &file), 75);
  EXPECT_EQ(file, path("a.txt"));
  EXPECT_FALSE(exists("b.txt"));
}

TEST_F(RootOnlyTest, UserWithoutWriteRightToTheFolderIsRefused) {
  touch("a.txt");
  ASSERT_EQ(::chmod(dir().c_str(), 0755), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (::setgroups(0, nullptr) != 0 || ::setresgid(65534, 65534, 65534) != 0 ||
        ::setresuid(65534, 65534, 65534) != 0)
      ::_exit(254);
    ::_exit(renameResult(dir(), "a.txt", "b.txt"));
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 70);
  EXPECT_EQ(entries(), Names{"a.txt"});
}

}  // namespace
