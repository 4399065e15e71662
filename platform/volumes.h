#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace skorvatin::platform {

// One mounted file system as the drive list shows it.
struct Volume {
  std::string mountPoint;  // absolute, unescaped bytes
  std::string fsType;      // "ext4", "vfat", "fuse.sshfs" ...
  std::string source;      // "/dev/sda1", "server:/export", "tmpfs" ...
  std::string label;       // empty when the file system has none (or none is known)
};

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
