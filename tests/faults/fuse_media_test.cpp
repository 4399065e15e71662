// Batches on a stick read through a FUSE driver, as root: exfat-fuse (every spelling of a name gets
// a number of its own, listings carry no numbers) and fusefat (FAT32 images). A batch killed at a
// rename is taken back after the medium was unmounted and mounted again at another mount point (for
// exfat-fuse through a new loop device, so under a new device number, as a stick plugged in again):
// the restore finds the folder by its volume and the files by size and time. Every scenario works
// on a fresh image, and the image must pass its file system check at the end.
#include <sys/mount.h>
#include <sys/stat.h>

#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <functional>
#include <set>
#include <thread>

#include "tests/faults/fault_harness.h"
#include "tests/support/command.h"

namespace skorvatin::faults {
namespace {

using skorvatin::testing::command;
using skorvatin::testing::commandWord;
using skorvatin::testing::fileText;

constexpr int kKilled = 128 + SIGKILL;

enum class Driver { ExfatFuse, Fusefat };

// Names and contents only: numbers mean nothing on these drivers.
using Contents = std::map<std::string, std::string>;

Contents contentsOf(const std::string& folder) {
  Contents out;
  for (const auto& e : std::filesystem::directory_iterator(folder))
    out[e.path().filename().string()] = fileText(e.path().string());
  return out;
}

class FuseMedia : public FaultTest, public ::testing::WithParamInterface<Driver> {
 protected:
  void SetUp() override {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root: to attach loop devices and mount FUSE file systems";
    if (::access("/dev/fuse", R_OK | W_OK) != 0) GTEST_SKIP() << "no /dev/fuse here";
    FaultTest::SetUp();
    log_ = path("commands.log");
  }
  void TearDown() override {
    while (!mounted_.empty()) unmount();
    for (const std::string& device : loops_) command({"losetup", "-d", device}, log_);
    if (::geteuid() == 0) FaultTest::TearDown();
  }

  bool exfat() const { return GetParam() == Driver::ExfatFuse; }
  std::string image() const { return path("medium.img"); }

  // A fresh, empty medium, mounted at a new point. False (with the reason in `why_`) when this
  // machine cannot make, attach or mount it (exfat-fuse exfatprogs fusefat dosfstools missing).
  bool freshMedium() {
    while (!mounted_.empty()) unmount();
    std::filesystem::remove(image());
    std::filesystem::remove_all(path("state"));
    const bool made =
        exfat() ? setUp({"truncate", "-s", "16M", image()}) && setUp({"mkfs.exfat", "-L", "STICK", image()})
                : setUp({"truncate", "-s", "64M", image()}) &&
                      setUp({"mkfs.vfat", "-F", "32", "-n", "STICK", image()});
    return made && mountAgain();
  }

  // Mounts the medium at a mount point it never had before; for exfat-fuse through a loop device
  // attached while the old one still holds the image, so that its number differs.
  bool mountAgain() {
    const std::string point = path("mnt" + std::to_string(++mounts_));
    ::mkdir(point.c_str(), 0755);
    if (exfat()) {
      const std::string device = commandWord({"losetup", "--find", "--show", image()}, log_);
      if (device.rfind("/dev/loop", 0) != 0) return fail("no loop device: " + fileText(log_));
      loops_.push_back(device);
      if (loops_.size() > 1) {
        command({"losetup", "-d", loops_.front()}, log_);
        loops_.erase(loops_.begin());
      }
      if (command({"mount.exfat-fuse", device, point}, log_) != 0) return fail(fileText(log_));
    } else {
      // In the foreground, so that an unmount can wait for the driver to write everything out
      // before the image is mounted again. Named after its image, so that the volume has a source.
      const std::string scratch = path("fusefat");
      ::mkdir(scratch.c_str(), 0755);
      const StartedDriver daemon = startDriver(
          [&] {
            DriverRun run({"-f", "-o", "rw+,fsname=" + image(), image(), point});
            run.driver = "fusefat";
            run.preloadShim = false;
            return run;
          }(),
          scratch);
      if (daemon.pid < 0) return fail("fusefat did not start");
      daemon_ = daemon.pid;
      if (!waitForMount(point)) return fail("fusefat did not mount: " + fileText(scratch + "/driver.err"));
    }
    mounted_.push_back(point);
    return true;
  }

  void unmount() {
    const std::string point = mounted_.back();
    mounted_.pop_back();
    // A fuseblk unmount returns once the driver has written everything out; fusefat's is waited for.
    command({"umount", point}, log_);
    if (daemon_ > 0) ::waitpid(daemon_, nullptr, 0);
    daemon_ = -1;
  }

  bool waitForMount(const std::string& point) {
    struct stat parent {};
    ::stat(dir().c_str(), &parent);
    for (int i = 0; i < 500; ++i) {
      struct stat st {};
      if (::stat(point.c_str(), &st) == 0 && st.st_dev != parent.st_dev) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
  }

  std::string files() const { return mounted_.back() + "/files"; }

  // Files of distinct sizes, made long ago as a camera's photos are: where numbers do not last, size
  // and modification time are what a restore knows a file by.
  void makeFilesOnMedium(const std::vector<std::string>& names) {
    ASSERT_EQ(::mkdir(files().c_str(), 0755), 0) << std::strerror(errno);
    std::string content;
    const timespec taken[2] = {{1591012800, 0}, {1591012800, 0}};  // 2020-06-01 12:00:00 UTC
    for (const std::string& n : names) {
      content += "content of " + n + ";";
      std::ofstream(files() + "/" + n, std::ios::binary) << content;
      ASSERT_EQ(::utimensat(AT_FDCWD, (files() + "/" + n).c_str(), taken, 0), 0) << std::strerror(errno);
    }
  }

  DriverResult drive(std::vector<std::string> operation, std::vector<std::string> env = {}) {
    operation.insert(operation.begin() + 1, files());
    env.push_back("SKORVATIN_RENAME_FOLDER=" + files());
    return runDriver(DriverRun(operation, env), dir());
  }

  // The call numbers of the renames that went through in an undisturbed run of `operation` on a
  // fresh medium holding `names`: killing before each of them leaves every state the run passes.
  std::vector<int> killPoints(const std::vector<std::string>& names,
                              const std::vector<std::string>& operation) {
    std::vector<int> points;
    if (!freshMedium()) return points;
    makeFilesOnMedium(names);
    const DriverResult r = drive(operation);
    EXPECT_EQ(r.exitStatus, 0) << r.what << r.stderrText;
    for (const RenameCall& call : r.calls)
      if (call.result == 0) points.push_back(static_cast<int>(call.number));
    return points;
  }

  // The medium's own check, read-only: the driver must have left a sound file system.
  void expectSoundImage() {
    while (!mounted_.empty()) unmount();
    std::ofstream(log_, std::ios::trunc).close();
    EXPECT_EQ(command({exfat() ? "fsck.exfat" : "fsck.vfat", "-n", image()}, log_), 0) << fileText(log_);
  }

  bool setUp(const std::vector<std::string>& args) {
    std::ofstream(log_, std::ios::trunc).close();
    return command(args, log_) == 0 || fail(args[0] + ": " + fileText(log_));
  }
  bool fail(const std::string& why) {
    why_ = why;
    return false;
  }

  std::string log_;
  std::string why_;

 private:
  std::vector<std::string> mounted_;
  std::vector<std::string> loops_;
  pid_t daemon_ = -1;
  int mounts_ = 0;
};

// Both passes of a numbering run that swaps two names, and a conversion to capitals, each killed
// before every rename it makes, and taken back on the medium mounted elsewhere.
TEST_P(FuseMedia, BatchKilledAtAnyRenameIsTakenBackAfterTheMediumMovesToAnotherMountPoint) {
  struct Row {
    const char* name;
    std::vector<std::string> files;
    std::vector<std::string> operation;
  };
  // fusefat takes no name beyond ASCII.
  const std::string polish = exfat() ? "żółw.txt" : "zolw.txt";
  const std::vector<Row> rows = {
      {"numbering run", {"a.txt", "b.txt", "Plik1.txt", "Plik2.txt"}, {"number", "start=4", "step=-1"}},
      {"conversion to capitals", {"a.txt", "bb.jpg", "ccc d.txt", polish}, {"case", "upper"}},
  };
  int kills = 0;
  for (const Row& row : rows) {
    const std::vector<int> points = killPoints(row.files, row.operation);
    if (!why_.empty()) GTEST_SKIP() << "cannot use the medium here: " << why_;
    ASSERT_EQ(points.size(), 8U) << row.name;
    for (const int k : points) {
      SCOPED_TRACE(std::string(row.name) + ", killed before rename call " + std::to_string(k));
      ASSERT_TRUE(freshMedium()) << why_;
      makeFilesOnMedium(row.files);
      const Contents created = contentsOf(files());
      const DriverResult killed = drive(row.operation, {"SKORVATIN_KILL_AT=" + std::to_string(k)});
      ASSERT_EQ(killed.exitStatus, kKilled) << killed.what << killed.stderrText;
      ++kills;

      unmount();
      ASSERT_TRUE(mountAgain()) << why_;
      const DriverResult recovered = runDriver(DriverRun({"recover"}), dir());
      ASSERT_EQ(recovered.exitStatus, 0) << recovered.what << recovered.stderrText;
      for (const Restored& r : recovered.restored) EXPECT_EQ(r.folder, files());
      EXPECT_TRUE(recovered.missing.empty()) << recovered.missing.front();
      // Every file still there, whatever it is called; then back under its name, nothing under a
      // temporary one.
      const Contents after = contentsOf(files());
      std::multiset<std::string> kept, made;
      for (const auto& [name, content] : after) kept.insert(content);
      for (const auto& [name, content] : created) made.insert(content);
      EXPECT_EQ(kept, made);
      EXPECT_EQ(after, created);
      EXPECT_TRUE(runDriver(DriverRun({"recover"}), dir()).restored.empty())
          << "a journal was left unfinished";
      expectSoundImage();
    }
  }
  EXPECT_EQ(kills, 16);
}

// Whole operations one after another on the same folder: a case-blind driver must take a change
// of letter case as a rename of the file itself, and a name it refuses must leave every file, though
// fusefat deletes the file on a plain rename it refuses.
TEST_P(FuseMedia, OperationsRunToTheEndOrStopWithEveryFile) {
  if (!freshMedium()) GTEST_SKIP() << "cannot use the medium here: " << why_;
  const std::string polish = exfat() ? "żółw.txt" : "zolw.txt";  // fusefat takes no name beyond ASCII
  makeFilesOnMedium({"a.txt", "bb.jpg", "ccc d.txt", polish});
  struct Row {
    const char* name;
    std::vector<std::string> operation;
    std::vector<std::string> expected;
    int error = 0;
  };
  const std::vector<Row> rows = {
      {"a name the driver refuses", {"number", "prefix=a:b?"}, {"a.txt", "bb.jpg", "ccc d.txt", polish}, 52},
      {"capitals", {"case", "upper"}, {"A.TXT", "BB.JPG", "CCC D.TXT", exfat() ? "ŻÓŁW.TXT" : "ZOLW.TXT"}},
      {"small letters", {"case", "lower"}, {"a.txt", "bb.jpg", "ccc d.txt", polish}},
      {"spaces to underscores", {"replace", "spaces"}, {"a.txt", "bb.jpg", "ccc_d.txt", polish}},
      {"numbering",
       {"number", "prefix=Zdjecie"},
       {"Zdjecie1.txt", "Zdjecie2.jpg", "Zdjecie3.txt", "Zdjecie4.txt"}},
      {"capitals again", {"case", "upper"}, {"ZDJECIE1.TXT", "ZDJECIE2.JPG", "ZDJECIE3.TXT", "ZDJECIE4.TXT"}},
      // Each new name answers for another file of the batch until that file has moved away.
      {"numbering backwards onto other spellings",
       {"number", "prefix=Zdjecie", "start=4", "step=-1"},
       {"Zdjecie1.TXT", "Zdjecie2.TXT", "Zdjecie3.JPG", "Zdjecie4.TXT"}},
  };
  std::multiset<std::string> contents;
  for (const auto& [name, content] : contentsOf(files())) contents.insert(content);
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const DriverResult r = drive(row.operation);
    EXPECT_EQ(r.number, row.error) << r.what << r.stderrText;
    std::vector<std::string> names;
    std::multiset<std::string> now;
    for (const auto& [name, content] : contentsOf(files())) {
      names.push_back(name);
      now.insert(content);
    }
    EXPECT_EQ(names, row.expected);
    EXPECT_EQ(now, contents);
  }
  expectSoundImage();
}

INSTANTIATE_TEST_SUITE_P(Drivers, FuseMedia, ::testing::Values(Driver::ExfatFuse, Driver::Fusefat),
                         [](const ::testing::TestParamInfo<Driver>& driver) {
                           return driver.param == Driver::ExfatFuse ? "ExfatFuse" : "Fusefat";
                         });

}  // namespace
}  // namespace skorvatin::faults
