#include "platform/volumes.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <sys/mount.h>
#include <unistd.h>

#include <functional>
#include <optional>

#include "engine/run_error.h"
#include "platform/posix_folder.h"
#include "tests/support/command.h"
#include "tests/support/temp_dir.h"

namespace {

using skorvatin::platform::parseMountInfo;
using skorvatin::platform::Volume;

// A desktop machine's mountinfo, trimmed: pseudo file systems, a btrfs /home subvolume, an
// EFI partition, a stick with a space in its label, snaps, a container's file binds.
constexpr const char* kDesktop =
    "22 28 0:21 / /sys rw,nosuid,nodev,noexec,relatime shared:7 - sysfs sysfs rw\n"
    "23 28 0:22 / /proc rw,nosuid,nodev,noexec,relatime shared:12 - proc proc rw\n"
    "24 28 0:5 / /dev rw,nosuid,relatime shared:2 - devtmpfs udev rw,size=8040000k\n"
    "26 28 0:24 / /run rw,nosuid,nodev,noexec,relatime shared:5 - tmpfs tmpfs rw,size=1612000k\n"
    "28 1 259:2 /@ / rw,relatime shared:1 - btrfs /dev/nvme0n1p2 rw,ssd,subvol=/@\n"
    "30 22 0:26 / /sys/fs/cgroup rw,nosuid,nodev,noexec,relatime shared:9 - cgroup2 cgroup2 rw\n"
    "41 28 0:34 / /tmp rw,nosuid,nodev shared:18 - tmpfs tmpfs rw\n"
    "45 28 7:1 / /snap/core22/1122 ro,nodev,relatime shared:24 - squashfs /dev/loop1 ro\n"
    "50 28 259:1 / /boot/efi rw,relatime shared:29 - vfat /dev/nvme0n1p1 rw,fmask=0077\n"
    "51 28 259:2 /@home /home rw,relatime shared:30 - btrfs /dev/nvme0n1p2 rw,ssd,subvol=/@home\n"
    "60 26 0:50 / /run/user/1000 rw,nosuid,nodev,relatime shared:300 - tmpfs tmpfs rw,size=1612000k\n"
    "61 60 0:51 / /run/user/1000/gvfs rw,nosuid,nodev,relatime shared:310 - fuse.gvfsd-fuse gvfsd-fuse rw\n"
    "70 26 8:17 / /run/media/ola/M\\303\\263j\\040pendrive rw,nosuid,nodev,relatime shared:400 - vfat "
    "/dev/sdb1 rw\n"
    "71 28 8:33 / /media/ola/ZDJ\\134CIA rw,nosuid,nodev,relatime shared:410 - exfat /dev/sdc1 rw\n"
    "72 28 0:60 / /mnt/serwer rw,relatime shared:420 - nfs4 serwer:/eksport rw,vers=4.2\n"
    "73 28 259:2 /@/var/lib/docker/containers/ab/hosts /etc/hosts rw,relatime - btrfs /dev/nvme0n1p2 rw\n"
    "74 22 0:7 / /sys/kernel/debug rw,nosuid,nodev,noexec,relatime shared:13 - debugfs debugfs rw\n"
    "75 23 0:40 / /proc/sys/fs/binfmt_misc rw,relatime shared:27 - autofs systemd-1 rw,fd=29\n";

TEST(MountInfo, ParsesEveryWellFormedRowWithEscapesUndone) {
  const std::vector<Volume> mounts = parseMountInfo(kDesktop);
  ASSERT_EQ(mounts.size(), 18u);
  EXPECT_EQ(mounts[4].mountPoint, "/");
  EXPECT_EQ(mounts[4].fsType, "btrfs");
  EXPECT_EQ(mounts[4].source, "/dev/nvme0n1p2");
  EXPECT_EQ(mounts[12].mountPoint, "/run/media/ola/Mój pendrive");
  EXPECT_EQ(mounts[13].mountPoint, "/media/ola/ZDJ\\CIA");
  EXPECT_EQ(mounts[14].source, "serwer:/eksport");
  const auto rows = skorvatin::platform::parseMountRows(kDesktop);
  ASSERT_EQ(rows.size(), 18u);
  EXPECT_EQ(rows[9].id, 51u);
  EXPECT_EQ(rows[9].major, 259u);
  EXPECT_EQ(rows[9].minor, 2u);
  EXPECT_EQ(rows[9].root, "/@home");
}

TEST(MountInfo, SkipsMalformedRowsAndReadsOptionalFields) {
  const std::vector<Volume> mounts = parseMountInfo(
      "garbage\n"
      "1 2 3:4 / /no-separator rw - \n"
      "x 28 8:1 / /no-number rw - ext4 /dev/sda1 rw\n"
      "52 28 8 / /no-minor rw - ext4 /dev/sda2 rw\n"
      "\n"
      "90 28 8:1 / /data rw,relatime shared:5 master:3 propagate_from:2 - xfs /dev/sda1 rw\n"
      "91 28 8:2 / /a\\011b\\012c rw - ext4 /dev/sda2 rw");
  ASSERT_EQ(mounts.size(), 2u);
  EXPECT_EQ(mounts[0].mountPoint, "/data");
  EXPECT_EQ(mounts[0].fsType, "xfs");
  EXPECT_EQ(mounts[1].mountPoint, "/a\tb\nc");
  EXPECT_EQ(mounts[1].source, "/dev/sda2");
}

TEST(MountInfo, DriveListHoldsRootFirstThenUserVolumesByMountPoint) {
  std::vector<std::string> points;
  for (const Volume& v : skorvatin::platform::userVolumes(parseMountInfo(kDesktop)))
    points.push_back(v.mountPoint);
  EXPECT_EQ(points, (std::vector<std::string>{"/", "/boot/efi", "/home", "/media/ola/ZDJ\\CIA", "/mnt/serwer",
                                              "/run/media/ola/Mój pendrive"}));
}

TEST(MountInfo, RootIsListedEvenWhenMountInfoLacksIt) {
  const auto volumes =
      skorvatin::platform::userVolumes(parseMountInfo("72 28 0:60 / /srv/dane rw - ext4 /dev/sdd1 rw\n"));
  ASSERT_EQ(volumes.size(), 2u);
  EXPECT_EQ(volumes[0].mountPoint, "/");
  EXPECT_EQ(volumes[1].mountPoint, "/srv/dane");
}

TEST(MountInfo, MountedOverPointKeepsOnlyTheVisibleMount) {
  const auto volumes =
      skorvatin::platform::userVolumes(parseMountInfo("26 1 254:0 / / rw - ext4 /dev/vda rw\n"
                                                      "40 26 8:1 / /mnt/usb rw - vfat /dev/sdb1 rw\n"
                                                      "41 40 8:2 / /mnt/usb rw - ext4 /dev/sdc1 rw\n"));
  ASSERT_EQ(volumes.size(), 2u);
  EXPECT_EQ(volumes[1].source, "/dev/sdc1");
}

TEST(MountInfo, WhichMountsAreUserVolumes) {
  struct Row {
    const char* name;
    Volume volume;
    bool expected;
  };
  const Row rows[] = {
      {"root of any type", {"/", "overlay", "overlay", {}}, true},
      {"ext4 home", {"/home", "ext4", "/dev/sda3", {}}, true},
      {"network share", {"/mnt/nas", "cifs", "//nas/dom", {}}, true},
      {"sshfs in home", {"/home/ola/zdalny", "fuse.sshfs", "ola@host:", {}}, true},
      {"tmpfs on /tmp", {"/tmp", "tmpfs", "tmpfs", {}}, false},
      {"tmpfs as media", {"/media/ram", "tmpfs", "tmpfs", {}}, true},
      {"iso under run/media", {"/run/media/ola/CD", "iso9660", "/dev/sr0", {}}, true},
      {"proc", {"/proc", "proc", "proc", {}}, false},
      {"cgroup elsewhere", {"/cgroup", "cgroup", "cgroup", {}}, false},
      {"hugetlbfs", {"/dev/hugepages", "hugetlbfs", "hugetlbfs", {}}, false},
      {"anything under /sys", {"/sys/fs/fuse/connections", "ext4", "x", {}}, false},
      {"anything under /run", {"/run/lock", "ext4", "x", {}}, false},
      {"/runner is not /run", {"/runner", "ext4", "/dev/sde1", {}}, true},
      {"snap image", {"/snap/core/1", "squashfs", "/dev/loop0", {}}, false},
      {"squashfs elsewhere", {"/opt/obraz", "squashfs", "/dev/loop2", {}}, false},
      {"file bind into /etc", {"/etc/resolv.conf", "ext4", "/dev/vda", {}}, false},
      {"relative mount point", {"x", "ext4", "/dev/sda1", {}}, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(skorvatin::platform::isUserVolume(row.volume), row.expected);
  }
}

TEST(VolumeOf, LongestWholeComponentMountPointHoldsThePath) {
  const std::vector<std::string> points = {"/", "/home", "/home/ola/usb", "/media/x y"};
  struct Row {
    const char* path;
    const char* expected;
  } const rows[] = {
      {"/", "/"},
      {"/etc/ssh", "/"},
      {"/home", "/home"},
      {"/home/ola", "/home"},
      {"/home/ola/usb/zdjęcia", "/home/ola/usb"},
      {"/home/ola/usb2", "/home"},
      {"/homeless", "/"},
      {"/media/x y/a", "/media/x y"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.path);
    EXPECT_EQ(skorvatin::platform::volumeOf(points, row.path), row.expected);
  }
}

using skorvatin::platform::MountRow;

// A folder's path inside its volume and back through the mount: the whole volume mounted, a
// subfolder bound elsewhere, a btrfs subvolume, the root file system. A missing side is one the
// mount does not hold: whole components match, nothing else.
TEST(VolumePath, InsideTheVolumeAndBackThroughAMount) {
  struct Row {
    const char* name;
    const char* root;
    const char* point;
    const char* path;    // a folder as this process sees it
    const char* inside;  // the same folder inside its volume
  };
  const Row rows[] = {
      {"volume root", "/", "/media/STICK", "/media/STICK", "/"},
      {"folder on a volume", "/", "/media/STICK", "/media/STICK/DCIM/100", "/DCIM/100"},
      {"bound subfolder", "/zdjęcia", "/mnt/b", "/mnt/b", "/zdjęcia"},
      {"below a bound subfolder", "/zdjęcia", "/mnt/b", "/mnt/b/2024 lato", "/zdjęcia/2024 lato"},
      {"btrfs subvolume", "/@home", "/home", "/home/ola", "/@home/ola"},
      {"root file system", "/", "/", "/etc", "/etc"},
      {"root itself", "/", "/", "/", "/"},
      {"a longer name beside the point", "/", "/media/x", "/media/xy", nullptr},
      {"a longer name beside the root", "/zdj", "/mnt/b", nullptr, "/zdjęcia"},
      {"only a deeper part mounted", "/a/b", "/mnt/b", nullptr, "/a"},
      {"relative path", "/", "/", "etc", nullptr},
  };
  const auto text = [](const char* s) { return s ? std::optional<std::string>(s) : std::nullopt; };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const MountRow mount{1, 8, 1, row.root, row.point, "ext4", "/dev/sda1"};
    if (row.path) {
      EXPECT_EQ(skorvatin::platform::pathInVolume(mount, row.path), text(row.inside));
    }
    if (row.inside) {
      EXPECT_EQ(skorvatin::platform::pathThroughMount(mount, row.inside), text(row.path));
    }
  }
}

// A stick mounted at /media/a, a subfolder of it bound at /mnt/b, a second stick mounted over
// /media/a/c, and the stick mounted twice at /srv/x (the second hides the first).
TEST(VolumePath, TheMountAFolderLiesOn) {
  const auto mounts = skorvatin::platform::parseMountRows(
      "26 1 254:0 / / rw - ext4 /dev/vda rw\n"
      "40 26 8:1 / /media/a rw - vfat /dev/sdb1 rw\n"
      "41 26 8:1 /zdjęcia /mnt/b rw - vfat /dev/sdb1 rw\n"
      "42 40 8:17 / /media/a/c rw - exfat /dev/sdc1 rw\n"
      "43 26 8:1 / /srv/x rw - vfat /dev/sdb1 rw\n"
      "44 26 8:1 / /srv/x rw - vfat /dev/sdb1 rw\n");
  struct Row {
    const char* name;
    std::optional<std::uint64_t> mountId;
    std::uint32_t minor;
    const char* path;
    std::uint64_t expected;  // 0: none
  };
  const Row rows[] = {
      {"the kernel's number decides", 41, 1, "/media/a/zdjęcia", 41},
      {"an unknown number: by device and path", 99, 1, "/mnt/b/lato", 41},
      {"volume root", std::nullopt, 1, "/media/a", 40},
      {"a stick on the stick", std::nullopt, 17, "/media/a/c/DCIM", 42},
      {"the mount that hides another", std::nullopt, 1, "/srv/x/y", 44},
      {"device nowhere mounted", std::nullopt, 33, "/media/a", 0},
      {"device mounted elsewhere", std::nullopt, 17, "/mnt/b", 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const MountRow* found = skorvatin::platform::mountOfFolder(mounts, row.mountId, 8, row.minor, row.path);
    EXPECT_EQ(found == nullptr ? 0 : found->id, row.expected);
  }
}

TEST(UdevName, HexEscapesBecomeBytes) {
  EXPECT_EQ(skorvatin::platform::unescapeUdevName("M\\xc3\\xb3j\\x20dysk"), "Mój dysk");
  EXPECT_EQ(skorvatin::platform::unescapeUdevName("A\\x2fB"), "A/B");
  EXPECT_EQ(skorvatin::platform::unescapeUdevName("tail\\x2"), "tail\\x2");
  EXPECT_EQ(skorvatin::platform::unescapeUdevName("\\xzz"), "\\xzz");
}

class SystemVolumesTest : public skorvatin::testing::TempDirTest {};

TEST_F(SystemVolumesTest, ListStartsWithRootAndRootOpens) {
  skorvatin::platform::SystemVolumes volumes;
  const auto list = volumes.list();
  ASSERT_FALSE(list.empty());
  EXPECT_EQ(list.front().mountPoint, "/");
  EXPECT_NO_THROW(volumes.open("/"));
}

TEST_F(SystemVolumesTest, AFolderThatIsNoLongerMountedIsNotReady) {
  // An unmounted volume leaves its empty folder behind; that folder must not pass for the volume.
  skorvatin::platform::SystemVolumes volumes;
  try {
    volumes.open(dir());
    FAIL() << "an ordinary folder opened as a volume";
  } catch (const skorvatin::RunError& error) {
    EXPECT_EQ(error.number(), skorvatin::err::DiskNotReady);
    EXPECT_EQ(error.file(), dir());
  }
}

// A small ext4 image made with a known UUID and label, mounted through a loop device: the volume of
// a folder on it, through its own mount and through a bind mount of a subfolder, and the places
// the folder is found at after the image is mounted somewhere else.
class LoopVolumeTest : public skorvatin::testing::TempDirTest {
 protected:
  void SetUp() override {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root: to attach a loop device and mount";
    TempDirTest::SetUp();
    log_ = path("commands.log");
  }
  void TearDown() override {
    for (auto it = cleanups_.rbegin(); it != cleanups_.rend(); ++it) (*it)();
    if (::geteuid() == 0) TempDirTest::TearDown();
  }
  // Mounts with mount(8), which attaches and later frees the loop device itself.
  bool mount(const std::vector<std::string>& args, const std::string& target) {
    ::mkdir(target.c_str(), 0755);
    if (skorvatin::testing::command(args, log_) != 0) return false;
    cleanups_.push_back([target] { ::umount2(target.c_str(), MNT_DETACH); });
    return true;
  }
  void unmountLast() {
    cleanups_.back()();
    cleanups_.pop_back();
  }
  std::string log_;

 private:
  std::vector<std::function<void()>> cleanups_;
};

TEST_F(LoopVolumeTest, Ext4ImageIsKnownByUuidLabelAndPathWhereverItIsMounted) {
  using skorvatin::VolumeId;
  const std::string image = path("disk.img");
  const std::string uuid = "4f1c2d3e-5a6b-4c7d-8e9f-0a1b2c3d4e5f";
  const std::string label = "Mój dysk";
  ASSERT_EQ(skorvatin::testing::command({"truncate", "-s", "8M", image}, log_), 0);
  ASSERT_EQ(skorvatin::testing::command({"mkfs.ext4", "-q", "-F", "-U", uuid, "-L", label, image}, log_), 0)
      << skorvatin::testing::fileText(log_);
  if (!mount({"mount", "-o", "loop", image, path("a")}, path("a")))
    GTEST_SKIP() << "cannot loop-mount here: " << skorvatin::testing::fileText(log_);
  ASSERT_TRUE(std::filesystem::create_directories(path("a/zdjęcia/lato 2024")));
  ASSERT_TRUE(mount({"mount", "--bind", path("a/zdjęcia"), path("b")}, path("b")));

  skorvatin::platform::PosixFolders folders;
  struct Row {
    const char* name;
    std::string folder;
    const char* inside;
  };
  const Row rows[] = {
      {"volume root", path("a"), "/"},
      {"subfolder", path("a/zdjęcia/lato 2024"), "/zdjęcia/lato 2024"},
      {"bind mount of a subfolder", path("b"), "/zdjęcia"},
      {"below the bind mount", path("b/lato 2024"), "/zdjęcia/lato 2024"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const auto folder = folders.open(row.folder);
    EXPECT_EQ(folder->volume(), (VolumeId{uuid, label, row.inside}));
    EXPECT_EQ(folder->identity(), skorvatin::Identity::Lasting);
  }

  // Every mount that shows the folder, by UUID or, without one, by label.
  EXPECT_EQ(folders.whereIs({uuid, {}, "/zdjęcia/lato 2024"}),
            (std::vector<std::string>{path("a/zdjęcia/lato 2024"), path("b/lato 2024")}));
  EXPECT_EQ(folders.whereIs({{}, label, "/zdjęcia"}),
            (std::vector<std::string>{path("a/zdjęcia"), path("b")}));
  EXPECT_EQ(folders.whereIs({uuid, {}, "/"}), (std::vector<std::string>{path("a")}));
  EXPECT_TRUE(folders.whereIs({"4f1c2d3e-0000-4c7d-8e9f-0a1b2c3d4e5f", label, "/"}).empty());
  EXPECT_TRUE(folders.whereIs({}).empty());

  unmountLast();
  unmountLast();
  EXPECT_TRUE(folders.whereIs({uuid, {}, "/zdjęcia"}).empty());
  ASSERT_TRUE(mount({"mount", "-o", "loop", image, path("c")}, path("c")));
  EXPECT_EQ(folders.whereIs({uuid, {}, "/zdjęcia/lato 2024"}),
            (std::vector<std::string>{path("c/zdjęcia/lato 2024")}));
}

}  // namespace
