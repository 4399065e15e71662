#include "bench/syscall_counter.h"

#include <linux/perf_event.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>

namespace skorvatin::bench {

namespace {

struct Traced {
  const char* name;  // as the tracepoint sys_enter_<name> spells it
  Call kind;
};

// Every call the engine, the platform layer and the raw loops make on a folder or its files.
constexpr Traced kTraced[] = {
    {"statx", Call::Stat},       {"newfstatat", Call::Stat}, {"newfstat", Call::Stat},
    {"openat", Call::Open},      {"open", Call::Open},       {"getdents64", Call::Readdir},
    {"renameat2", Call::Rename}, {"renameat", Call::Rename}, {"rename", Call::Rename},
    {"read", Call::Read},        {"pread64", Call::Read},    {"write", Call::Write},
    {"fsync", Call::Fsync},      {"fdatasync", Call::Fsync}, {"syncfs", Call::Fsync},
    {"close", Call::Close},      {"unlinkat", Call::Other},  {"mkdir", Call::Other},
    {"mkdirat", Call::Other},    {"flock", Call::Other},     {"fchmod", Call::Other},
    {"lseek", Call::Other},      {"fcntl", Call::Other},     {"fstatfs", Call::Other},
};

std::string tracefs(std::string& mountedHere) {
  for (const char* at : {"/sys/kernel/tracing", "/sys/kernel/debug/tracing"}) {
    if (::access((std::string(at) + "/events/syscalls").c_str(), R_OK) == 0) return at;
  }
  if (::geteuid() == 0 && ::mount("nodev", "/sys/kernel/tracing", "tracefs", 0, nullptr) == 0) {
    mountedHere = "/sys/kernel/tracing";
    if (::access("/sys/kernel/tracing/events/syscalls", R_OK) == 0) return mountedHere;
  }
  return {};
}

}  // namespace

const SyscallCounter* SyscallCounter::shared() {
  static const std::unique_ptr<SyscallCounter> counter = [] {
    std::unique_ptr<SyscallCounter> made(new SyscallCounter);
    if (const std::string why = made->open(); !why.empty()) {
      std::fprintf(stderr, "bench: no system-call counts (%s)\n", why.c_str());
      made.reset();
    }
    return made;
  }();
  return counter.get();
}

std::string SyscallCounter::open() {
  const std::string root = tracefs(mountedTracefs_);
  if (root.empty()) return "no tracefs with system-call events; as root it is mounted on /sys/kernel/tracing";
  for (const Traced& t : kTraced) {
    std::ifstream idFile(root + "/events/syscalls/sys_enter_" + t.name + "/id");
    unsigned long long id = 0;
    // A call the architecture does not have (open, rename on arm64) is never made either.
    if (!(idFile >> id)) continue;
    perf_event_attr attr{};
    attr.size = sizeof attr;
    attr.type = PERF_TYPE_TRACEPOINT;
    attr.config = id;
    attr.inherit = 1;  // the threads that look files up side by side count too
    const long fd = ::syscall(SYS_perf_event_open, &attr, 0, -1, -1, PERF_FLAG_FD_CLOEXEC);
    if (fd < 0) return std::string("perf_event_open: ") + std::strerror(errno);
    events_.push_back({static_cast<int>(fd), t.kind});
  }
  if (events_.empty()) return "no system-call tracepoints under " + root;
  const CallCounts first = counts();
  const CallCounts second = counts();
  for (std::size_t k = 0; k < static_cast<std::size_t>(Call::Count); ++k)
    ownCost_.n[k] = second.n[k] - first.n[k];
  return {};
}

SyscallCounter::~SyscallCounter() {
  for (const Event& e : events_) ::close(e.fd);
  if (!mountedTracefs_.empty()) (void)::umount(mountedTracefs_.c_str());
}

CallCounts SyscallCounter::counts() const {
  CallCounts out;
  for (const Event& e : events_) {
    std::uint64_t value = 0;
    if (::read(e.fd, &value, sizeof value) == sizeof value) out.n[static_cast<std::size_t>(e.kind)] += value;
  }
  return out;
}

CallCounts SyscallCounter::since(const CallCounts& before) const {
  CallCounts now = counts();
  for (std::size_t k = 0; k < static_cast<std::size_t>(Call::Count); ++k) {
    const std::uint64_t made = now.n[k] - before.n[k];
    now.n[k] = made > ownCost_.n[k] ? made - ownCost_.n[k] : 0;
  }
  return now;
}

}  // namespace skorvatin::bench
