#include "bench/syscall_counter.h"

#include <linux/perf_event.h>
#include <sys/mount.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

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

// Where the tracepoints are listed; tracefs mounted by the bench is unmounted when it ends.
class Tracefs {
 public:
  Tracefs() {
    for (const char* at : {"/sys/kernel/tracing", "/sys/kernel/debug/tracing"}) {
      if (::access((std::string(at) + "/events/syscalls").c_str(), R_OK) == 0) {
        root_ = at;
        return;
      }
    }
    if (::geteuid() == 0 && ::mount("nodev", "/sys/kernel/tracing", "tracefs", 0, nullptr) == 0) {
      mounted_ = true;
      if (::access("/sys/kernel/tracing/events/syscalls", R_OK) == 0) root_ = "/sys/kernel/tracing";
    }
  }
  ~Tracefs() {
    if (mounted_) (void)::umount("/sys/kernel/tracing");
  }
  Tracefs(const Tracefs&) = delete;
  Tracefs& operator=(const Tracefs&) = delete;

  const std::string& root() const { return root_; }

 private:
  std::string root_;
  bool mounted_ = false;
};

const Tracefs& tracefs() {
  static const Tracefs place;
  return place;
}

int openEvent(unsigned long long id) {
  perf_event_attr attr{};
  attr.size = sizeof attr;
  attr.type = PERF_TYPE_TRACEPOINT;
  attr.config = id;
  attr.inherit = 1;  // the threads that look files up side by side count too
  return static_cast<int>(::syscall(SYS_perf_event_open, &attr, 0, -1, -1, PERF_FLAG_FD_CLOEXEC));
}

// The tracepoint's number, or 0 where the architecture has no such call (open, rename on arm64),
// which is then never made either.
unsigned long long eventId(const char* call) {
  std::ifstream file(tracefs().root() + "/events/syscalls/sys_enter_" + call + "/id");
  unsigned long long id = 0;
  return file >> id ? id : 0;
}

std::string unavailableBecause() {
  if (tracefs().root().empty())
    return "no tracefs with system-call events; as root it is mounted for the run";
  const unsigned long long id = eventId("renameat2");
  if (id == 0) return "no renameat2 tracepoint under " + tracefs().root();
  const int fd = openEvent(id);
  if (fd < 0) return std::string("perf_event_open: ") + std::strerror(errno);
  ::close(fd);
  return {};
}

}  // namespace

bool SyscallCounter::available() {
  static const bool yes = [] {
    const std::string why = unavailableBecause();
    if (!why.empty()) std::fprintf(stderr, "bench: no system-call counts (%s)\n", why.c_str());
    return why.empty();
  }();
  return yes;
}

SyscallCounter::SyscallCounter() {
  for (const Traced& t : kTraced) {
    if (const unsigned long long id = eventId(t.name); id != 0) {
      const int fd = openEvent(id);
      if (fd >= 0) events_.push_back({fd, t.kind});
    }
  }
  const CallCounts first = counts();
  const CallCounts second = counts();
  for (std::size_t k = 0; k < static_cast<std::size_t>(Call::Count); ++k)
    ownCost_.n[k] = second.n[k] - first.n[k];
}

SyscallCounter::~SyscallCounter() {
  for (const Event& e : events_) ::close(e.fd);
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
