#include "platform/volumes.h"

#include <blkid/blkid.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>

#include "engine/path.h"
#include "engine/run_error.h"
#include "platform/posix_folder.h"

namespace skorvatin::platform {

namespace {

// The kernel escapes the bytes that would break a space-separated row as a backslash and three
// octal digits; anything else after a backslash is kept as it stands.
std::string unescapeOctal(std::string_view field) {
  std::string out;
  out.reserve(field.size());
  for (std::size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '\\' && field.size() - i >= 4) {
      const char a = field[i + 1], b = field[i + 2], c = field[i + 3];
      if (a >= '0' && a <= '3' && b >= '0' && b <= '7' && c >= '0' && c <= '7') {
        out += static_cast<char>(((a - '0') << 6) | ((b - '0') << 3) | (c - '0'));
        i += 3;
        continue;
      }
    }
    out += field[i];
  }
  return out;
}

std::vector<std::string_view> splitSpaces(std::string_view line) {
  std::vector<std::string_view> fields;
  std::size_t start = 0;
  while (start <= line.size()) {
    const std::size_t end = std::min(line.find(' ', start), line.size());
    if (end > start) fields.push_back(line.substr(start, end - start));
    start = end + 1;
  }
  return fields;
}

bool isUnder(std::string_view path, std::string_view folder) {
  return path == folder || (path.size() > folder.size() && path.substr(0, folder.size()) == folder &&
                            path[folder.size()] == '/');
}

// Kernel interfaces and helpers that hold no user files even when they look like folders.
constexpr std::array kPseudoTypes = {
    "proc",        "sysfs",         "cgroup",     "cgroup2",    "devpts",
    "mqueue",      "debugfs",       "tracefs",    "securityfs", "pstore",
    "bpf",         "configfs",      "fusectl",    "hugetlbfs",  "autofs",
    "binfmt_misc", "efivarfs",      "rpc_pipefs", "nsfs",       "selinuxfs",
    "nfsd",        "binder",        "rootfs",     "fuse.lxcfs", "fuse.gvfsd-fuse",
    "fuse.portal", "fuse.snapfuse",
};

// File systems that live in memory or in an image: shown only when mounted as removable media.
constexpr std::array kMediaOnlyTypes = {"tmpfs", "ramfs", "devtmpfs", "squashfs"};

// The system's own trees; nothing a user renames files in is mounted there.
constexpr std::array kSystemTrees = {"/proc",
                                     "/sys",
                                     "/dev",
                                     "/run",
                                     "/snap",
                                     "/etc",
                                     "/var/lib/docker",
                                     "/var/lib/snapd",
                                     "/var/lib/containers"};

bool isRemovableMediaPath(std::string_view mountPoint) {
  return isUnder(mountPoint, "/media") || isUnder(mountPoint, "/run/media");
}

std::string readFile(const char* path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw RunError::fromErrno(errno, path);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string resolved(const std::string& path) {
  std::unique_ptr<char, decltype(&std::free)> real(realpath(path.c_str(), nullptr), &std::free);
  return real ? std::string(real.get()) : path;
}

// Device → label from udev's /dev/disk/by-label; an empty map where udev keeps none.
std::map<std::string, std::string> labelsByDevice() {
  std::map<std::string, std::string> labels;
  const std::string folder = "/dev/disk/by-label";
  try {
    PosixFolders().open(folder)->forEachEntry([&](std::string_view name, EntryKind, std::uint64_t) {
      labels[resolved(joinedPath(folder, name))] = unescapeUdevName(name);
    });
  } catch (const RunError&) {
    // No udev (a container): volumes simply show no label.
  }
  return labels;
}

}  // namespace

std::vector<MountRow> parseMountRows(std::string_view text) {
  std::vector<MountRow> mounts;
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = std::min(text.find('\n', start), text.size());
    const auto fields = splitSpaces(text.substr(start, end - start));
    start = end + 1;
    // id parent major:minor root mount-point options [optional...] - type source super-options
    const auto separator = std::find(fields.begin() + std::min<std::ptrdiff_t>(6, std::ssize(fields)),
                                     fields.end(), std::string_view("-"));
    if (fields.size() < 6 || separator == fields.end() || fields.end() - separator < 3) continue;
    MountRow row;
    const std::string_view device = fields[2];
    const std::size_t colon = device.find(':');
    const auto number = [](std::string_view digits, auto& value) {
      const auto [stop, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
      return error == std::errc() && stop == digits.data() + digits.size() && !digits.empty();
    };
    if (!number(fields[0], row.id) || colon == std::string_view::npos ||
        !number(device.substr(0, colon), row.major) || !number(device.substr(colon + 1), row.minor))
      continue;
    row.root = unescapeOctal(fields[3]);
    row.mountPoint = unescapeOctal(fields[4]);
    row.fsType = unescapeOctal(separator[1]);
    row.source = unescapeOctal(separator[2]);
    mounts.push_back(std::move(row));
  }
  return mounts;
}

std::vector<Volume> parseMountInfo(std::string_view text) {
  std::vector<Volume> mounts;
  for (MountRow& row : parseMountRows(text))
    mounts.push_back(Volume{std::move(row.mountPoint), std::move(row.fsType), std::move(row.source), {}});
  return mounts;
}

bool isUserVolume(const Volume& volume) {
  if (volume.mountPoint == "/") return true;
  if (volume.mountPoint.empty() || volume.mountPoint.front() != '/') return false;
  if (std::find(kPseudoTypes.begin(), kPseudoTypes.end(), volume.fsType) != kPseudoTypes.end()) return false;
  const bool removable = isRemovableMediaPath(volume.mountPoint);
  if (!removable &&
      std::find(kMediaOnlyTypes.begin(), kMediaOnlyTypes.end(), volume.fsType) != kMediaOnlyTypes.end())
    return false;
  if (removable) return true;
  return std::none_of(kSystemTrees.begin(), kSystemTrees.end(),
                      [&](const char* tree) { return isUnder(volume.mountPoint, tree); });
}

std::vector<Volume> userVolumes(const std::vector<Volume>& mounts) {
  // Later rows mount over earlier ones at the same point: the last one is what a user sees there.
  std::map<std::string, Volume> visible;
  for (const Volume& m : mounts) visible[m.mountPoint] = m;
  std::vector<Volume> out;
  auto root = visible.find("/");
  out.push_back(root != visible.end() ? root->second : Volume{"/", {}, {}, {}});
  for (const auto& [point, volume] : visible)
    if (point != "/" && isUserVolume(volume)) out.push_back(volume);
  return out;  // std::map already sorted the rest by mount point
}

std::string unescapeUdevName(std::string_view name) {
  auto hex = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  std::string out;
  for (std::size_t i = 0; i < name.size(); ++i) {
    if (name[i] == '\\' && name.size() - i >= 4 && name[i + 1] == 'x' && hex(name[i + 2]) >= 0 &&
        hex(name[i + 3]) >= 0) {
      out += static_cast<char>(hex(name[i + 2]) * 16 + hex(name[i + 3]));
      i += 3;
      continue;
    }
    out += name[i];
  }
  return out;
}

std::string volumeOf(const std::vector<std::string>& mountPoints, std::string_view path) {
  std::string best = "/";
  for (const std::string& point : mountPoints)
    if (point.size() > best.size() && isUnder(path, point)) best = point;
  return best;
}

std::vector<Volume> SystemVolumes::list() {
  std::vector<Volume> volumes = userVolumes(parseMountInfo(readFile("/proc/self/mountinfo")));
  const auto labels = labelsByDevice();
  if (labels.empty()) return volumes;
  for (Volume& v : volumes) {
    if (v.source.rfind("/dev/", 0) != 0) continue;
    const auto found = labels.find(resolved(v.source));
    if (found != labels.end()) v.label = found->second;
  }
  return volumes;
}

void SystemVolumes::open(const std::string& mountPoint) {
  // A volume unmounted since the list was filled leaves its empty mount-point folder behind,
  // which opens fine: ask the kernel whether it is still mounted first.
  if (mountPoint != "/") {
    const auto mounts = parseMountInfo(readFile("/proc/self/mountinfo"));
    if (std::none_of(mounts.begin(), mounts.end(),
                     [&](const Volume& m) { return m.mountPoint == mountPoint; }))
      throw RunError(err::DiskNotReady, mountPoint);
  }
  // A medium that is failing or gone often opens and only fails on the first read.
  PosixFolders().open(mountPoint)->forEachEntry([](std::string_view, EntryKind, std::uint64_t) {});
}

namespace {

// `path` with the folder `from` at its start replaced by `to`; either may be the root "/".
// Nothing when `path` does not lie in `from`.
std::optional<std::string> replacedPrefix(std::string_view path, const std::string& from,
                                          const std::string& to) {
  std::string_view rest;
  if (from == "/") {
    if (path.empty() || path.front() != '/') return std::nullopt;
    rest = path == "/" ? std::string_view() : path;
  } else {
    if (!isUnder(path, from)) return std::nullopt;
    rest = path.substr(from.size());
  }
  std::string out = to == "/" ? std::string() : to;
  out += rest;
  return out.empty() ? "/" : out;
}

}  // namespace

std::optional<std::string> pathInVolume(const MountRow& mount, std::string_view path) {
  return replacedPrefix(path, mount.mountPoint, mount.root);
}

std::optional<std::string> pathThroughMount(const MountRow& mount, std::string_view inside) {
  return replacedPrefix(inside, mount.root, mount.mountPoint);
}

const MountRow* mountOfFolder(const std::vector<MountRow>& mounts, std::optional<std::uint64_t> mountId,
                              std::uint32_t major, std::uint32_t minor, std::string_view path) {
  if (mountId) {
    for (const MountRow& row : mounts)
      if (row.id == *mountId) return &row;
  }
  const MountRow* best = nullptr;
  for (const MountRow& row : mounts) {
    if (row.major != major || row.minor != minor || !pathInVolume(row, path)) continue;
    if (best == nullptr || row.mountPoint.size() >= best->mountPoint.size()) best = &row;
  }
  return best;
}

namespace {

bool isFuse(std::string_view fsType) {
  return fsType == "fuse" || fsType == "fuseblk" || fsType.rfind("fuse.", 0) == 0;
}

// What the file system's superblock says, read by libblkid; empty when the device cannot be read
// (a user without access to the disk, a medium gone) or holds no file system it knows. The kernel
// already said which file system it mounted there: only that one is looked for where libblkid
// knows it by the same name, which spares reading every other kind's superblock.
VolumeName probeVolume(const std::string& node, const std::string& fsType) {
  VolumeName name;
  blkid_probe probe = blkid_new_probe_from_filename(node.c_str());
  if (probe == nullptr) return name;
  blkid_probe_enable_superblocks(probe, 1);
  blkid_probe_set_superblocks_flags(probe, BLKID_SUBLKS_UUID | BLKID_SUBLKS_LABEL);
  std::string type = fsType;
  char* only[] = {type.data(), nullptr};
  const bool filtered = !type.empty() && !isFuse(type) &&
                        blkid_probe_filter_superblocks_type(probe, BLKID_FLTR_ONLYIN, only) == 0;
  int found = blkid_do_safeprobe(probe);
  if (found != 0 && filtered) {
    blkid_probe_reset_superblocks_filter(probe);
    found = blkid_do_safeprobe(probe);
  }
  if (found == 0) {
    const auto value = [probe](const char* key) {
      const char* data = nullptr;
      std::size_t size = 0;
      if (blkid_probe_lookup_value(probe, key, &data, &size) != 0 || data == nullptr) return std::string();
      return std::string(data, ::strnlen(data, size));
    };
    name.uuid = value("UUID");
    name.label = value("LABEL");
  }
  blkid_free_probe(probe);
  return name;
}

}  // namespace

std::vector<VolumeNames::Link> VolumeNames::linksIn(const char* folder) {
  std::vector<Link> links;
  try {
    PosixFolders().open(folder)->forEachEntry([&](std::string_view name, EntryKind, std::uint64_t) {
      struct stat st {};
      const std::string link = joinedPath(folder, name);
      if (::stat(link.c_str(), &st) == 0 && S_ISBLK(st.st_mode))
        links.push_back({unescapeUdevName(name), st.st_rdev});
    });
  } catch (const RunError&) {
    // No udev here: the superblocks are asked instead.
  }
  return links;
}

VolumeName VolumeNames::named(std::uint64_t device, const std::string& node, const std::string& fsType) {
  if (!byUuid_) byUuid_ = linksIn("/dev/disk/by-uuid");
  VolumeName name;
  for (const Link& link : *byUuid_)
    if (link.device == device) name.uuid = link.name;
  if (name.uuid.empty()) return probeVolume(node, fsType);
  if (!byLabel_) byLabel_ = linksIn("/dev/disk/by-label");
  for (const Link& link : *byLabel_)
    if (link.device == device) name.label = link.name;
  return name;
}

VolumeName VolumeNames::of(const MountRow& row) {
  std::string node;
  std::uint64_t device = 0;
  bool image = false;
  struct stat st {};
  if (!row.source.empty() && row.source.front() == '/' && ::stat(row.source.c_str(), &st) == 0) {
    if (S_ISBLK(st.st_mode)) {
      node = row.source;
      device = st.st_rdev;
    } else if (S_ISREG(st.st_mode) && isFuse(row.fsType)) {
      // A FUSE driver that names its image as the source (fusefat -o fsname=...): the image holds
      // the superblock.
      node = row.source;
      image = true;
    }
  }
  if (node.empty() && row.major != 0) {
    // A block device the source does not name: the kernel knows it by its number.
    device = makedev(row.major, row.minor);
    std::unique_ptr<char, decltype(&std::free)> devname(blkid_devno_to_devname(device), &std::free);
    if (devname) node = devname.get();
  }
  if (node.empty()) return {};
  for (const auto& [seenNode, name] : seen_)
    if (seenNode == node) return name;
  VolumeName name = image ? probeVolume(node, row.fsType) : named(device, node, row.fsType);
  seen_.emplace_back(node, name);
  return name;
}

VolumeId volumeOfFolder(int fd, const std::string& path) {
  struct statx sx {};
  if (::statx(fd, "", AT_EMPTY_PATH | AT_STATX_SYNC_AS_STAT, STATX_MNT_ID | STATX_NLINK, &sx) != 0) return {};
  const std::optional<std::uint64_t> mountId =
      (sx.stx_mask & STATX_MNT_ID) != 0 ? std::optional<std::uint64_t>(sx.stx_mnt_id) : std::nullopt;
  // Where the folder is now, not where it was opened: it may have been renamed meanwhile.
  std::string where = path;
  std::array<char, PATH_MAX> link{};
  const std::string self = "/proc/self/fd/" + std::to_string(fd);
  const ssize_t size = ::readlink(self.c_str(), link.data(), link.size());
  if (size > 0 && static_cast<std::size_t>(size) < link.size())
    where.assign(link.data(), static_cast<std::size_t>(size));
  // Outside this process's root, or deleted meanwhile (the kernel then appends " (deleted)"; some
  // FUSE drivers give folders no link count, so both must say so).
  constexpr std::string_view kDeleted = " (deleted)";
  if (where.empty() || where.front() != '/' ||
      (sx.stx_nlink == 0 && where.size() > kDeleted.size() && where.ends_with(kDeleted)))
    return {};

  std::vector<MountRow> mounts;
  try {
    mounts = parseMountRows(readFile("/proc/self/mountinfo"));
  } catch (const RunError&) {
    return {};  // no /proc: the volume stays unknown and the folder is known by its number alone
  }
  const MountRow* mount = mountOfFolder(mounts, mountId, sx.stx_dev_major, sx.stx_dev_minor, where);
  if (mount == nullptr) return {};
  std::optional<std::string> inside = pathInVolume(*mount, where);
  if (!inside) return {};
  VolumeName name = VolumeNames().of(*mount);
  return {std::move(name.uuid), std::move(name.label), std::move(*inside)};
}

std::vector<std::string> placesOfVolume(const VolumeId& volume) {
  std::vector<std::string> places;
  if (!volume.known()) return places;
  std::vector<MountRow> mounts;
  try {
    mounts = parseMountRows(readFile("/proc/self/mountinfo"));
  } catch (const RunError&) {
    return places;
  }
  VolumeNames names;
  for (const MountRow& row : mounts) {
    // The cheap test first: most mounts do not hold the folder's part of any volume.
    std::optional<std::string> place = pathThroughMount(row, volume.inside);
    if (!place || std::find(places.begin(), places.end(), *place) != places.end()) continue;
    const VolumeName name = names.of(row);
    if (volume.uuid.empty() ? name.label == volume.label : name.uuid == volume.uuid)
      places.push_back(std::move(*place));
  }
  return places;
}

}  // namespace skorvatin::platform
