#pragma once

#include <sys/types.h>
#include <string>

#include "bench/slow_fs/op_counts.h"

namespace skorvatin::bench {

// The slow place: the bench's FUSE driver (skorvatin_bench_slowfs, built beside the bench when
// libfuse3 is there) mounted on a scratch folder over a backing folder in /dev/shm, with a delay
// before every answer. Unmounted when the object goes, a failed run's too.
class SlowPlace {
 public:
  // Empty when the slow place can be had, otherwise why not.
  static std::string unavailableBecause();

  explicit SlowPlace(int delayMicroseconds);
  ~SlowPlace();
  SlowPlace(const SlowPlace&) = delete;
  SlowPlace& operator=(const SlowPlace&) = delete;

  const std::string& mountPoint() const { return mountPoint_; }
  // The same folder seen directly: the bench makes and empties its folders there, at tmpfs speed.
  const std::string& backing() const { return backing_; }
  // What the driver has answered so far; read from shared memory, so reading costs no request.
  OpCounts counts() const;

 private:
  void stop();

  std::string backing_;
  std::string mountPoint_;
  std::string countsFile_;
  OpCounts* counts_ = nullptr;
  pid_t driver_ = -1;
};

}  // namespace skorvatin::bench
