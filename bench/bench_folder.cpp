#include "bench/bench_folder.h"

#include <dirent.h>
#include <fcntl.h>
#include <ftw.h>
#include <linux/magic.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <stdexcept>

namespace skorvatin::bench {

namespace {

std::uint64_t mix(std::uint64_t x) {
  x += 0x9E3779B97F4A7C15ull;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
  return x ^ (x >> 31);
}

const char* const kPlaces[] = {"Wakacje w Łodzi", "Ślub Kasi",        "urodziny Żanety", "Zakopane zima",
                               "Gdańsk",          "spacer nad Wisłą", "Święta u babci",  "Kraków rynek"};
const char* const kDocs[] = {"Notatki", "Faktura", "Umowa najmu", "Raport roczny", "lista zakupów"};

std::runtime_error systemError(const std::string& what, const std::string& path) {
  return std::runtime_error(what + " " + path + ": " + std::strerror(errno));
}

}  // namespace

std::vector<std::string> realisticNames(int n) {
  std::vector<std::string> names;
  names.reserve(static_cast<std::size_t>(n));
  std::set<std::string> seen;
  char buf[256];
  for (int i = 0; static_cast<int>(names.size()) < n; ++i) {
    const std::uint64_t h = mix(static_cast<std::uint64_t>(i));
    const int kind = static_cast<int>(h % 100);
    const int k = i + 1;
    const unsigned sub = static_cast<unsigned>((h >> 8) % 8);
    if (kind < 34) {
      std::snprintf(buf, sizeof buf, "IMG_%04d%s", k, (h >> 20) % 4 == 0 ? ".CR2" : ".JPG");
    } else if (kind < 56) {
      std::snprintf(buf, sizeof buf, "DSC%05d.jpg", k);
    } else if (kind < 66) {
      std::snprintf(buf, sizeof buf, "PXL_2024%02u%02u_%09d.jpg", 1 + sub,
                    1 + static_cast<unsigned>((h >> 12) % 28), k);
    } else if (kind < 82) {
      std::snprintf(buf, sizeof buf, "%s %d%s", kPlaces[sub], k, (h >> 20) % 3 == 0 ? ".JPG" : ".jpg");
    } else if (kind < 88) {
      std::snprintf(buf, sizeof buf, "Img_Mixed_%05d.Jpg", k);
    } else if (kind < 93) {
      std::snprintf(buf, sizeof buf, "VID_%06d.mp4", k);
    } else if (kind < 97) {
      std::snprintf(buf, sizeof buf, "%s %d.%s", kDocs[sub % 5], k, (h >> 20) % 2 == 0 ? "txt" : "PDF");
    } else if (kind < 99) {
      std::snprintf(buf, sizeof buf, "scan_%d.png", k);
    } else {
      std::snprintf(buf, sizeof buf, (h >> 20) % 2 == 0 ? "README %d" : "notatki_bez_rozszerzenia_%d", k);
    }
    if (seen.insert(buf).second) names.emplace_back(buf);
  }
  return names;
}

std::vector<std::string> hiddenNames() {
  return {".thumbnails.db", ".directory", ".nomedia"};
}

BenchFolder::BenchFolder(const std::string& root, std::vector<std::string> names, bool withHidden,
                         const std::string& backing)
    : root_(root), backing_(backing), names_(std::move(names)), withHidden_(withHidden) {
  makeAnew();
  fill();
}

void BenchFolder::makeAnew() {
  std::string tmpl =
      (backing_.empty() ? root_ : backing_) + "/skorvatin-bench-" + std::to_string(::getpid()) + "-XXXXXX";
  if (::mkdtemp(tmpl.data()) == nullptr) throw systemError("mkdtemp", tmpl);
  madePath_ = tmpl;
  path_ = backing_.empty() ? tmpl : root_ + tmpl.substr(tmpl.rfind('/'));
}

BenchFolder::~BenchFolder() {
  try {
    clear();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "bench: %s\n", e.what());
  }
  ::rmdir(madePath_.c_str());
}

void BenchFolder::rebuild() {
  clear();
  if (!backing_.empty()) {
    ::rmdir(madePath_.c_str());
    // Looking the gone folder up through the mirror makes the kernel drop what it held of it, and
    // the driver closes what it kept open for those files.
    struct stat gone {};
    (void)::stat(path_.c_str(), &gone);
    makeAnew();
  }
  fill();
  // On a disk the folder just made is still being written back; a run that started now would pay
  // for the making of its own folder, and more so the later it runs. Every contender starts clean.
  ::sync();
}

void BenchFolder::clear() {
  const int fd = ::open(madePath_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) throw systemError("open", path_);
  DIR* dir = ::fdopendir(fd);
  std::vector<std::string> all;
  while (const dirent* e = ::readdir(dir)) {
    if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) all.emplace_back(e->d_name);
  }
  for (const std::string& name : all) {
    if (::unlinkat(fd, name.c_str(), 0) != 0) {
      const int e = errno;
      ::closedir(dir);
      errno = e;
      throw systemError("unlink", path_ + "/" + name);
    }
  }
  ::closedir(dir);
}

void BenchFolder::fill() {
  const int fd = ::open(madePath_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) throw systemError("open", path_);
  auto create = [&](const std::string& name) {
    const int f = ::openat(fd, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (f < 0) {
      const int e = errno;
      ::close(fd);
      errno = e;
      throw systemError("create", path_ + "/" + name);
    }
    ::close(f);
  };
  for (const std::string& name : names_) create(name);
  if (withHidden_) {
    for (const std::string& name : hiddenNames()) create(name);
  }
  ::close(fd);
}

void removeStaleFolders(const std::string& root) {
  DIR* dir = ::opendir(root.c_str());
  if (dir == nullptr) return;
  std::vector<std::string> stale;
  const std::string prefix = "skorvatin-bench-";
  while (const dirent* e = ::readdir(dir)) {
    const std::string name = e->d_name;
    if (name.rfind(prefix, 0) != 0) continue;
    const long pid = std::strtol(name.c_str() + prefix.size(), nullptr, 10);
    if (pid > 0 && ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH)
      stale.push_back(root + "/" + name);
  }
  ::closedir(dir);
  // A run stopped on the slow place leaves its counts file and folders nested one deeper; nothing
  // is followed into another mount.
  const auto removeOne = [](const char* path, const struct stat*, int, FTW*) { return ::remove(path); };
  for (const std::string& path : stale) {
    if (::nftw(path.c_str(), removeOne, 16, FTW_DEPTH | FTW_PHYS | FTW_MOUNT) == 0)
      std::fprintf(stderr, "bench: removed %s, left by a run that was stopped\n", path.c_str());
  }
}

std::string fileSystemName(const std::string& path) {
  struct statfs sf {};
  if (::statfs(path.c_str(), &sf) != 0) return "?";
  switch (static_cast<unsigned long>(sf.f_type)) {
    case TMPFS_MAGIC:
      return "tmpfs";
    case EXT4_SUPER_MAGIC:
      return "ext4";
    case OVERLAYFS_SUPER_MAGIC:
      return "overlay";
    case BTRFS_SUPER_MAGIC:
      return "btrfs";
    case XFS_SUPER_MAGIC:
      return "xfs";
    case FUSE_SUPER_MAGIC:
      return "fuse";
    default: {
      char buf[32];
      std::snprintf(buf, sizeof buf, "0x%lx", static_cast<unsigned long>(sf.f_type));
      return buf;
    }
  }
}

}  // namespace skorvatin::bench
