#pragma once

#include <cstdint>
#include <string>
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

// The file system calls this process and the threads it starts make, counted by the kernel's
// system-call tracepoints through perf events: the same figures on tmpfs and disk that the slow
// place's driver gives as requests, without a wrapper around any call. Needs tracefs, which is
// mounted here if it is not (and unmounted again), and root or perf_event_paranoid -1.
class SyscallCounter {
 public:
  // The one counter of the process, or nullptr when the system does not allow one; the reason is
  // then told once on stderr.
  static const SyscallCounter* shared();

  ~SyscallCounter();
  SyscallCounter(const SyscallCounter&) = delete;
  SyscallCounter& operator=(const SyscallCounter&) = delete;

  CallCounts counts() const;
  // What was called since `before`, counts() gave, leaving out the reads of the counters themselves.
  CallCounts since(const CallCounts& before) const;

 private:
  SyscallCounter() = default;
  // Empty when every tracepoint is counted, otherwise why not.
  std::string open();

  struct Event {
    int fd;
    Call kind;
  };
  std::vector<Event> events_;
  CallCounts ownCost_;  // what one counts() adds to the next
  std::string mountedTracefs_;
};

}  // namespace skorvatin::bench
