#pragma once

#include <cstdint>
#include <vector>

namespace skorvatin::bench {

// The kinds of system call the bench counts, one counter each, in this order.
enum class Call : std::uint32_t { Stat, Open, Readdir, Rename, Read, Write, Fsync, Close, Other, Count };

inline constexpr const char* kCallNames[] = {"stat",  "open",  "readdir", "rename", "read",
                                             "write", "fsync", "close",   "other"};
static_assert(sizeof kCallNames / sizeof kCallNames[0] == static_cast<std::size_t>(Call::Count));

struct CallCounts {
  std::uint64_t n[static_cast<std::size_t>(Call::Count)] = {};
};

// Counts the file system calls this process and the threads it starts make, from the kernel's
// system-call tracepoints through perf events: the same figures on tmpfs and disk that the slow
// place's driver gives as requests, without a wrapper around any call. While one is alive every
// system call of the machine takes the kernel's slower traced path, so on fast places the bench
// counts in its untimed warm-up round.
class SyscallCounter {
 public:
  // Whether this process may count its calls: tracefs (mounted for the run when root finds it
  // missing) and root or perf_event_paranoid -1. Why not is told once on stderr.
  static bool available();

  SyscallCounter();
  ~SyscallCounter();
  SyscallCounter(const SyscallCounter&) = delete;
  SyscallCounter& operator=(const SyscallCounter&) = delete;

  CallCounts counts() const;
  // What was called since `before`, which counts() gave, leaving out the reads of the counters.
  CallCounts since(const CallCounts& before) const;

 private:
  struct Event {
    int fd;
    Call kind;
  };
  std::vector<Event> events_;
  CallCounts ownCost_;  // what one counts() adds to the next
};

}  // namespace skorvatin::bench
