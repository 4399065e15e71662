#include "platform/side_by_side.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <system_error>
#include <thread>
#include <vector>

namespace skorvatin::platform {

namespace {

// Calls timed on the caller's thread before deciding. Two are enough to tell memory from a round
// trip, and on a share each of them is a round trip that nothing overlaps.
constexpr std::size_t kProbeCalls = 2;
// A call slower than this waited on something outside memory: a cached look-up takes a few
// microseconds, a round trip to a share or a reader a millisecond or more.
constexpr std::chrono::microseconds kWaitingCall{50};
// Enough to hide a millisecond's round trip behind the few dozen microseconds of work each call
// costs both ends, and still well inside what a share's client keeps in flight (NFS and SMB allow
// hundreds of requests at once).
constexpr std::size_t kMostInFlight = 64;

}  // namespace

void visitSideBySide(std::size_t count, const std::function<void(std::size_t)>& visit) {
  const std::size_t probe = std::min(count, kProbeCalls);
  const auto began = std::chrono::steady_clock::now();
  for (std::size_t i = 0; i < probe; ++i) visit(i);
  const auto probed = std::chrono::steady_clock::now() - began;
  if (probe == count) return;
  if (probed < kWaitingCall * static_cast<long>(probe)) {
    for (std::size_t i = probe; i < count; ++i) visit(i);
    return;
  }

  std::atomic<std::size_t> next{probe};
  const auto work = [&] {
    for (std::size_t i = next.fetch_add(1); i < count; i = next.fetch_add(1)) visit(i);
  };
  std::vector<std::jthread> helpers;
  const std::size_t wanted = std::min(kMostInFlight, count - probe) - 1;
  helpers.reserve(wanted);
  try {
    while (helpers.size() < wanted) helpers.emplace_back(work);
  } catch (const std::system_error&) {
    // Fewer threads than asked for still visit everything: the caller's thread works too.
  }
  work();
}

}  // namespace skorvatin::platform
