#include "platform/side_by_side.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace {

// Every index once, whether the calls stay on the caller's thread (quick ones) or go out on
// threads (ones that wait), across the edge of the calls timed before deciding.
TEST(SideBySide, VisitsEveryIndexOnceAndOverlapsOnlyCallsThatWait) {
  struct Row {
    std::size_t count;
    bool waits;
  };
  const Row rows[] = {{0, false}, {1, true}, {2, true}, {3, true}, {3, false}, {300, true}, {300, false}};
  for (const Row& row : rows) {
    SCOPED_TRACE(::testing::Message() << row.count << (row.waits ? " calls that wait" : " quick calls"));
    std::vector<std::atomic<int>> visits(row.count);
    std::atomic<int> inFlight{0};
    std::atomic<int> mostInFlight{0};
    skorvatin::platform::visitSideBySide(row.count, [&](std::size_t i) {
      const int now = ++inFlight;
      int most = mostInFlight.load();
      while (now > most && !mostInFlight.compare_exchange_weak(most, now)) {
      }
      if (row.waits) std::this_thread::sleep_for(std::chrono::microseconds(300));
      ++visits[i];
      --inFlight;
    });
    EXPECT_TRUE(std::all_of(visits.begin(), visits.end(), [](const auto& v) { return v.load() == 1; }));
    if (row.count == 300) {
      EXPECT_EQ(mostInFlight.load() > 1, row.waits);
    }
  }
}

}  // namespace
