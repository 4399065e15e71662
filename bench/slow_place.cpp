#include "bench/slow_place.h"

#include <fcntl.h>
#include <linux/magic.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <vector>

#include "bench/child_process.h"

extern char** environ;

namespace skorvatin::bench {

namespace {

std::string driverProgram() {
  return ownFolder() + "/skorvatin_bench_slowfs";
}

std::string scratchFolder(const char* kind) {
  std::string tmpl = "/dev/shm/skorvatin-bench-" + std::to_string(::getpid()) + "-" + kind + "-XXXXXX";
  if (::mkdtemp(tmpl.data()) == nullptr) {
    throw std::runtime_error("mkdtemp " + tmpl + ": " + std::strerror(errno));
  }
  return tmpl;
}

bool mounted(const std::string& path) {
  struct statfs sf {};
  return ::statfs(path.c_str(), &sf) == 0 && sf.f_type == FUSE_SUPER_MAGIC;
}

}  // namespace

std::string SlowPlace::unavailableBecause() {
#ifndef SKORVATIN_BENCH_SLOW_FS
  return "the bench was built without libfuse3 (pkg-config found no fuse3; scripts/install-deps.sh installs "
         "libfuse3-dev)";
#else
  if (::access(driverProgram().c_str(), X_OK) != 0) return driverProgram() + " is missing";
  if (::access("/dev/fuse", R_OK | W_OK) != 0) return std::string("/dev/fuse: ") + std::strerror(errno);
  if (::geteuid() != 0 && ::access("/usr/bin/fusermount3", X_OK) != 0 &&
      ::access("/bin/fusermount3", X_OK) != 0) {
    return "not root and no fusermount3 (package fuse3)";
  }
  return {};
#endif
}

SlowPlace::SlowPlace(int delayMicroseconds) {
  backing_ = scratchFolder("slowdata");
  mountPoint_ = scratchFolder("slowmount");
  countsFile_ = "/dev/shm/skorvatin-bench-" + std::to_string(::getpid()) + "-slowcounts";
  try {
    const int fd = ::open(countsFile_.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0 || ::ftruncate(fd, sizeof(OpCounts)) != 0) {
      throw std::runtime_error("cannot make " + countsFile_ + ": " + std::strerror(errno));
    }
    void* at = ::mmap(nullptr, sizeof(OpCounts), PROT_READ, MAP_SHARED, fd, 0);
    ::close(fd);
    if (at == MAP_FAILED) throw std::runtime_error("cannot map " + countsFile_);
    counts_ = static_cast<OpCounts*>(at);

    const std::string program = driverProgram();
    const std::string delay = std::to_string(delayMicroseconds);
    std::vector<char*> argv{
        const_cast<char*>(program.c_str()), backing_.data(), mountPoint_.data(), countsFile_.data(),
        const_cast<char*>(delay.c_str()),   nullptr};
    const int rc = ::posix_spawn(&driver_, program.c_str(), nullptr, nullptr, argv.data(), environ);
    if (rc != 0) {
      driver_ = -1;
      throw std::runtime_error("cannot start " + program + ": " + std::strerror(rc));
    }
    for (int waited = 0; !mounted(mountPoint_); waited += 10) {
      int status = 0;
      if (::waitpid(driver_, &status, WNOHANG) == driver_) {
        driver_ = -1;
        throw std::runtime_error("the slow place's driver ended before it mounted " + mountPoint_);
      }
      if (waited > 5000) throw std::runtime_error("the slow place did not mount within 5 s");
      ::usleep(10000);
    }
  } catch (...) {
    stop();
    throw;
  }
}

SlowPlace::~SlowPlace() {
  stop();
}

void SlowPlace::stop() {
  if (driver_ > 0) {
    // The driver unmounts on SIGTERM; a driver that hangs is killed and its mount detached.
    ::kill(driver_, SIGTERM);
    int status = 0;
    for (int waited = 0; ::waitpid(driver_, &status, WNOHANG) == 0; waited += 10) {
      if (waited == 3000) ::kill(driver_, SIGKILL);
      ::usleep(10000);
    }
    driver_ = -1;
  }
  if (mounted(mountPoint_) && ::umount2(mountPoint_.c_str(), MNT_DETACH) != 0) {
    std::fprintf(stderr, "bench: cannot unmount %s: %s\n", mountPoint_.c_str(), std::strerror(errno));
  }
  if (counts_ != nullptr) ::munmap(counts_, sizeof(OpCounts));
  counts_ = nullptr;
  if (!countsFile_.empty()) ::unlink(countsFile_.c_str());
  if (!mountPoint_.empty()) ::rmdir(mountPoint_.c_str());
  if (!backing_.empty()) ::rmdir(backing_.c_str());
}

OpCounts SlowPlace::counts() const {
  OpCounts c;
  for (std::size_t i = 0; i < static_cast<std::size_t>(Op::Count); ++i) {
    c.n[i] = std::atomic_ref<std::uint64_t>(counts_->n[i]).load();
  }
  return c;
}

}  // namespace skorvatin::bench
