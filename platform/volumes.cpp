#include "platform/volumes.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>

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
      labels[resolved(folder + "/" + std::string(name))] = unescapeUdevName(name);
    });
  } catch (const RunError&) {
    // No udev (a container): volumes simply show no label.
  }
  return labels;
}

}  // namespace

std::vector<Volume> parseMountInfo(std::string_view text) {
  std::vector<Volume> mounts;
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = std::min(text.find('\n', start), text.size());
    const auto fields = splitSpaces(text.substr(start, end - start));
    start = end + 1;
    // id parent major:minor root mount-point options [optional...] - type source super-options
    const auto separator = std::find(fields.begin() + std::min<std::ptrdiff_t>(6, std::ssize(fields)),
                                     fields.end(), std::string_view("-"));
    if (fields.size() < 6 || separator == fields.end() || fields.end() - separator < 3) continue;
    mounts.push_back(
        Volume{unescapeOctal(fields[4]), unescapeOctal(separator[1]), unescapeOctal(separator[2]), {}});
  }
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

}  // namespace skorvatin::platform
