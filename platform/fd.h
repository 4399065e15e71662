#pragma once

#include <unistd.h>

#include <utility>

namespace skorvatin::platform {

// Owns a file descriptor and closes it on every way out; -1 holds none.
class Fd {
 public:
  explicit Fd(int fd = -1) : fd_(fd) {}
  ~Fd() { reset(); }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  Fd(Fd&& other) noexcept : fd_(other.release()) {}
  Fd& operator=(Fd&& other) noexcept {
    reset(other.release());
    return *this;
  }

  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  int release() { return std::exchange(fd_, -1); }
  void reset(int fd = -1) {
    // close() can report a network file system's delayed write error, and the descriptor is gone
    // either way: whatever must reach the disk has been synced and checked before.
    if (fd_ >= 0) (void)::close(fd_);
    fd_ = fd;
  }

 private:
  int fd_;
};

}  // namespace skorvatin::platform
