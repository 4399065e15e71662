// Refusals that only a real file system gives, set up as root: a read-only mount, an immutable
// file, a full disk, a file that is a mount point, and a user without write permission. Every
// whole operation must stop cleanly on them, undo what the numbering run did, and lose nothing.
// Each test unmounts and detaches exactly what it mounted, also when it fails.
#include <sys/mount.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>

#include "engine/conversion_pass.h"
#include "engine/file_list.h"
#include "engine/letter_case.h"
#include "engine/numbering_run.h"
#include "engine/run_error.h"
#include "platform/posix_folder.h"
#include "tests/faults/fault_harness.h"
#include "tests/support/command.h"
#include "tests/support/folder_spy.h"

namespace skorvatin::faults {
namespace {

using skorvatin::testing::command;

const std::vector<std::string> kNames = {"a.txt", "b.jpg", "c.txt", "d.png"};

class RootFs : public FaultTest {
 protected:
  void SetUp() override {
    if (::geteuid() != 0)
      GTEST_SKIP() << "needs root: to mount, attach a loop device, set chattr +i or drop privileges";
    FaultTest::SetUp();
    log_ = dir() + "/commands.log";
  }
  void TearDown() override {
    // Undo in reverse order exactly what this test set up, whatever state it failed in.
    for (auto it = cleanups_.rbegin(); it != cleanups_.rend(); ++it) (*it)();
    cleanups_.clear();
    if (::geteuid() == 0) FaultTest::TearDown();
  }

  // Runs a set-up command; the test cannot go on without it.
  bool setUpWith(const std::vector<std::string>& args) {
    if (command(args, log_) == 0) return true;
    std::ifstream in(log_);
    ADD_FAILURE() << "set-up failed: " << args[0] << " " << (args.size() > 1 ? args[1] : "") << "\n"
                  << std::string((std::istreambuf_iterator<char>(in)), {});
    return false;
  }
  // Mounts and remembers to unmount. False when this machine lets no one mount (a container
  // without the capability, say); `why` then holds what mount said.
  bool mount(const std::vector<std::string>& args, const std::string& target, std::string& why) {
    std::ofstream(log_, std::ios::trunc).close();
    if (command(args, log_) != 0) {
      std::ifstream in(log_);
      why.assign(std::istreambuf_iterator<char>(in), {});
      return false;
    }
    cleanups_.push_back([target] { ::umount2(target.c_str(), MNT_DETACH); });
    return true;
  }
  void onTearDown(std::function<void()> f) { cleanups_.push_back(std::move(f)); }

  RunError number(const std::string& where, Options options = {}, std::function<void()> betweenPasses = {}) {
    platform::PosixFolders folders;
    // Counts the renames that went through, so a test knows how far a run got before it stopped.
    testing::FolderSpy spy(folders);
    FileList list(spy);
    list.setPath(where);
    int pumps = 0;
    NumberingRun run(list, options, [&] {
      if (++pumps == 1 && betweenPasses) betweenPasses();
    });
    try {
      run.run();
    } catch (const RunError& e) {
      renamesDone_ = spy.renamesDone;
      return e;
    }
    ADD_FAILURE() << "the run did not stop";
    return RunError(0);
  }
  RunError upperCase(const std::string& where) {
    platform::PosixFolders folders;
    FileList list(folders);
    list.setPath(where);
    View view;
    try {
      runConversionPass(
          list, view, [] {}, [](const std::string& n) { return changeCase(n, CaseMode::AllUpper); });
    } catch (const RunError& e) {
      return e;
    }
    ADD_FAILURE() << "the pass did not stop";
    return RunError(0);
  }
  std::vector<std::string> names(const std::string& where) const {
    std::vector<std::string> out;
    for (const auto& [name, state] : snapshot(where)) out.push_back(name);
    return out;
  }

  std::string log_;
  int renamesDone_ = 0;  // by the last numbering run, its undo included

 private:
  std::vector<std::function<void()>> cleanups_;
};

TEST_F(RootFs, ReadOnlyBindMount) {
  makeFiles(kNames);
  const std::string ro = dir() + "/ro";
  ASSERT_EQ(::mkdir(ro.c_str(), 0755), 0);
  std::string why;
  if (!mount({"mount", "--bind", folder(), ro}, ro, why)) GTEST_SKIP() << "cannot mount here: " << why;
  ASSERT_TRUE(setUpWith({"mount", "-o", "remount,bind,ro", ro}));
  const Snapshot before = snapshot(folder());

  const RunError numbering = number(ro);
  EXPECT_EQ(numbering.number(), skorvatin::err::PermissionDenied) << numbering.what();
  EXPECT_EQ(numbering.file(), ro + "/a.txt");
  EXPECT_TRUE(numbering.misplaced().empty());
  const RunError pass = upperCase(ro);
  EXPECT_EQ(pass.number(), skorvatin::err::PermissionDenied) << pass.what();
  EXPECT_EQ(pass.file(), ro + "/a.txt");
  EXPECT_EQ(snapshot(folder()), before);
}

// The mount turns read-only while the run is between its passes: the numbering pass fails at its
// first file and no undo can succeed either, so every file must be reported under both names.
TEST_F(RootFs, MountTurnsReadOnlyBetweenThePasses) {
  makeFiles(kNames);
  const std::string mnt = dir() + "/mnt";
  ASSERT_EQ(::mkdir(mnt.c_str(), 0755), 0);
  std::string why;
  if (!mount({"mount", "--bind", folder(), mnt}, mnt, why)) GTEST_SKIP() << "cannot mount here: " << why;
  const Snapshot before = snapshot(folder());

  const RunError e = number(mnt, {}, [&] { setUpWith({"mount", "-o", "remount,bind,ro", mnt}); });
  EXPECT_EQ(e.number(), skorvatin::err::PermissionDenied) << e.what();
  EXPECT_EQ(e.file(), mnt + "/a.txt");
  const std::vector<std::pair<std::string, std::string>> expected = {
      {"a.txt.q", "a.txt"}, {"b.jpg.q", "b.jpg"}, {"c.txt.q", "c.txt"}, {"d.png.q", "d.png"}};
  ASSERT_EQ(e.misplaced().size(), expected.size()) << e.what();
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(e.misplaced()[i].currentPath, mnt + "/" + expected[i].first);
    EXPECT_EQ(e.misplaced()[i].originalPath, mnt + "/" + expected[i].second);
  }
  const Snapshot after = snapshot(folder());
  ASSERT_EQ(after.size(), before.size());
  for (const auto& [current, original] : expected)
    EXPECT_EQ(after.at(current), before.at(original)) << original;
}

TEST_F(RootFs, ImmutableFile) {
  makeFiles(kNames);
  const std::string locked = inFolder("c.txt");
  if (command({"chattr", "+i", locked}, log_) != 0)
    GTEST_SKIP() << "the temporary folder's file system has no chattr +i";
  onTearDown([this, locked] { command({"chattr", "-i", locked}, log_); });
  const Snapshot before = snapshot(folder());

  const RunError numbering = number(folder());
  EXPECT_EQ(numbering.number(), skorvatin::err::PermissionDenied) << numbering.what();
  EXPECT_EQ(numbering.file(), locked);
  EXPECT_EQ(renamesDone_, 4);
  EXPECT_TRUE(numbering.misplaced().empty());
  EXPECT_EQ(snapshot(folder()), before);

  const RunError pass = upperCase(folder());
  EXPECT_EQ(pass.number(), skorvatin::err::PermissionDenied) << pass.what();
  EXPECT_EQ(pass.file(), locked);
  EXPECT_EQ(names(folder()), (std::vector<std::string>{"A.TXT", "B.JPG", "c.txt", "d.png"}));
}

// A small ext4 image filled to the last block: the run's long final names need new directory
// blocks, the disk has none, and the run must put every file back.
TEST_F(RootFs, FullDiskDuringANumberingRun) {
  const std::string image = dir() + "/disk.img";
  const std::string mnt = dir() + "/disk";
  ASSERT_EQ(::mkdir(mnt.c_str(), 0755), 0);
  ASSERT_TRUE(setUpWith({"truncate", "-s", "4M", image}));
  ASSERT_TRUE(setUpWith({"mkfs.ext4", "-q", "-F", "-m", "0", "-b", "1024", "-N", "128", image}));
  const std::string devLog = dir() + "/losetup.out";
  if (command({"losetup", "--find", "--show", image}, devLog) != 0) GTEST_SKIP() << "no free loop device";
  std::string device;
  std::ifstream(devLog) >> device;
  ASSERT_EQ(device.rfind("/dev/loop", 0), 0U) << device;
  onTearDown([this, device] { command({"losetup", "-d", device}, log_); });
  std::string why;
  if (!mount({"mount", "-t", "ext4", device, mnt}, mnt, why)) GTEST_SKIP() << "cannot mount here: " << why;

  const std::string files = mnt + "/files";
  ASSERT_EQ(::mkdir(files.c_str(), 0755), 0);
  std::vector<std::string> small;
  for (int i = 10; i < 40; ++i) small.push_back("file" + std::to_string(i) + ".txt");
  for (const std::string& n : small) std::ofstream(files + "/" + n) << "content of " << n;
  // Fill every free block; a few bytes per write so the last partial block goes too.
  {
    const int fd = ::open((mnt + "/filler").c_str(), O_WRONLY | O_CREAT, 0644);
    ASSERT_GE(fd, 0);
    std::vector<char> block(65536, 'x');
    for (std::size_t size : {std::size_t{65536}, std::size_t{1024}}) {
      while (::write(fd, block.data(), size) == static_cast<ssize_t>(size)) {
      }
      ::fsync(fd);
    }
    ::close(fd);
  }
  ::sync();
  const Snapshot before = snapshot(files);
  ASSERT_EQ(before.size(), 30U);

  Options options;
  options.prefix = std::string(150, 'x');
  const RunError e = number(files, options);
  EXPECT_EQ(e.number(), skorvatin::err::DiskFull) << e.what();
  // It got into the numbering pass, so the undo had the suffixed names and some final ones to take back.
  EXPECT_GT(renamesDone_, 60);
  std::printf("full disk: %d renames done and undone before the disk was full\n", renamesDone_);
  EXPECT_TRUE(e.misplaced().empty()) << e.what();
  EXPECT_EQ(snapshot(files), before);
}

TEST_F(RootFs, FileThatIsAMountPoint) {
  makeFiles(kNames);
  const std::string other = dir() + "/other.txt";
  std::ofstream(other) << "mounted over c.txt";
  std::string why;
  if (!mount({"mount", "--bind", other, inFolder("c.txt")}, inFolder("c.txt"), why))
    GTEST_SKIP() << "cannot mount here: " << why;
  const Snapshot before = snapshot(folder());

  const RunError numbering = number(folder());
  EXPECT_EQ(numbering.number(), skorvatin::err::PathFileAccess) << numbering.what();
  EXPECT_EQ(numbering.file(), inFolder("c.txt"));
  EXPECT_EQ(renamesDone_, 4);
  EXPECT_TRUE(numbering.misplaced().empty());
  EXPECT_EQ(snapshot(folder()), before);

  const RunError pass = upperCase(folder());
  EXPECT_EQ(pass.number(), skorvatin::err::PathFileAccess) << pass.what();
  EXPECT_EQ(names(folder()), (std::vector<std::string>{"A.TXT", "B.JPG", "c.txt", "d.png"}));
}

// A user without write permission on a root-owned folder, through the driver run with dropped
// privileges: root itself is never refused by permission bits.
TEST_F(RootFs, NoWritePermission) {
  makeFiles(kNames);
  ASSERT_EQ(::chmod(dir().c_str(), 0755), 0);
  ASSERT_EQ(::chmod(folder().c_str(), 0755), 0);
  // The journal is written first: in a place of the user's own, so that the refusal seen is the
  // folder's.
  ASSERT_EQ(::mkdir(path("state").c_str(), 0700), 0);
  ASSERT_EQ(::chown(path("state").c_str(), 65534, 65534), 0);
  const Snapshot before = snapshot(folder());
  const std::vector<std::string> unprivileged = {"setpriv", "--reuid=65534", "--regid=65534",
                                                 "--clear-groups"};
  for (const char* operation : {"number", "case"}) {
    SCOPED_TRACE(operation);
    std::vector<std::string> args = {operation, folder()};
    if (std::string(operation) == "case") args.push_back("upper");
    DriverRun run(args);
    run.wrapper = unprivileged;
    run.preloadShim = false;
    const DriverResult r = runDriver(run, dir());
    ASSERT_EQ(r.exitStatus, 3) << r.stderrText;
    EXPECT_EQ(r.number, skorvatin::err::PermissionDenied) << r.what;
    EXPECT_EQ(r.file, inFolder("a.txt"));
    EXPECT_TRUE(r.misplaced.empty());
    EXPECT_EQ(snapshot(folder()), before);
  }
}

}  // namespace
}  // namespace skorvatin::faults
