#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/folder.h"

namespace skorvatin::platform {

// One mounted file system as the drive list shows it.
struct Volume {
  std::string mountPoint;  // absolute, unescaped bytes
  std::string fsType;      // "ext4", "vfat", "fuse.sshfs" ...
  std::string source;      // "/dev/sda1", "server:/export", "tmpfs" ...
  std::string label;       // empty when the file system has none (or none is known)
};

// One row of /proc/self/mountinfo with what it takes to tell which volume a mounted folder lies on.
struct MountRow {
  std::uint64_t id = 0;     // the mount's number, as statx's STATX_MNT_ID gives it
  std::uint32_t major = 0;  // the device number st_dev has for files of this mount
  std::uint32_t minor = 0;
  std::string root;  // the mounted folder's path inside its file system ("/" for all of it)
  std::string mountPoint;
  std::string fsType;
  std::string source;
};

// Every well-formed row of a mountinfo text, in the file's order, paths unescaped.
std::vector<MountRow> parseMountRows(std::string_view text);

// Every row of /proc/self/mountinfo, in the file's order, mount points and sources unescaped
// (the kernel writes space, tab, newline and backslash as \040, \011, \012, \134). Rows that
// do not have the expected shape are skipped rather than guessed at.
std::vector<Volume> parseMountInfo(std::string_view text);

// Whether a mount is one a user would pick as a drive: a file system holding files rather than
// a kernel interface (proc, sysfs, cgroup ...), outside the system's own trees (/proc, /sys,
// /dev, /run except removable media under /run/media, /snap ...). Memory file systems count
// only when mounted as removable media.
bool isUserVolume(const Volume& volume);

// The drive list: "/" first (also when mountinfo lacks it), then the user volumes sorted by
// mount point. A mount point mounted over keeps only its last, visible mount.
std::vector<Volume> userVolumes(const std::vector<Volume>& mounts);

// The label names udev gives in /dev/disk/by-label escape unsafe bytes as \xHH.
std::string unescapeUdevName(std::string_view name);

// The mount point among `mountPoints` that holds `path`: the longest one that is `path` itself
// or a leading run of whole components of it. "/" when none is.
std::string volumeOf(const std::vector<std::string>& mountPoints, std::string_view path);

// The path inside its volume of the folder `path` on `mount`: the mount's root followed by the part
// of `path` below the mount point. Nothing when `path` does not lie under the mount point.
std::optional<std::string> pathInVolume(const MountRow& mount, std::string_view path);

// Where the folder `inside` of a volume is reached through `mount`: the mount point followed by the
// part of `inside` below the mount's root. Nothing when the mounted part does not hold it.
std::optional<std::string> pathThroughMount(const MountRow& mount, std::string_view inside);

// The mount among `mounts` that the folder `path` lies on: the one numbered `mountId` where the
// kernel told the number, else the deepest mount of the folder's device whose point holds `path`
// (the last one where several mounts share a point, since that one is visible).
const MountRow* mountOfFolder(const std::vector<MountRow>& mounts, std::optional<std::uint64_t> mountId,
                              std::uint32_t major, std::uint32_t minor, std::string_view path);

// What names the volumes of a system: UUID and label of a block device or a file system image.
struct VolumeName {
  std::string uuid;
  std::string label;
};

// Finds the names udev put in /dev/disk/by-uuid and /dev/disk/by-label and, where it put none (a
// container, a machine without udev, an image mounted through FUSE), asks libblkid, which reads
// the file system's own superblock. Every device is looked at once per instance.
class VolumeNames {
 public:
  // The names of the volume a mount of `row` shows; empty for file systems without a device
  // (tmpfs, network shares, most FUSE file systems).
  VolumeName of(const MountRow& row);

 private:
  struct Link {
    std::string name;  // unescaped
    std::uint64_t device;
  };
  std::vector<Link> linksIn(const char* folder);
  VolumeName named(std::uint64_t device, const std::string& node, const std::string& fsType);

  std::optional<std::vector<Link>> byUuid_;
  std::optional<std::vector<Link>> byLabel_;
  std::vector<std::pair<std::string, VolumeName>> seen_;  // by device node or image path
};

// The volume of the folder open at `fd` (opened as `path`), read from the mount table once.
VolumeId volumeOfFolder(int fd, const std::string& path);

// Every path at which the folder `volume.inside` of that volume can be opened now.
std::vector<std::string> placesOfVolume(const VolumeId& volume);

// The drive list's view of the system, so tests can stand in a volume that cannot be opened.
class VolumeService {
 public:
  virtual ~VolumeService() = default;
  // The volumes in drive-list order.
  virtual std::vector<Volume> list() = 0;
  // Throws RunError when the volume cannot be opened now: unmounted since it was listed, its
  // medium gone, a stale network mount, no permission to read its root.
  virtual void open(const std::string& mountPoint) = 0;
};

// The real system: /proc/self/mountinfo and /dev/disk/by-label.
class SystemVolumes : public VolumeService {
 public:
  std::vector<Volume> list() override;
  void open(const std::string& mountPoint) override;
};

}  // namespace skorvatin::platform
