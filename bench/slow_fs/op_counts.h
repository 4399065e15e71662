#pragma once

#include <cstddef>
#include <cstdint>

namespace skorvatin::bench {

// What the slow place's driver counts, one 64-bit counter each, in this order, in a small file
// the driver and the bench both map: the bench reads it between two timed runs without a request
// of its own reaching the driver.
enum class Op : std::uint32_t {
  Lookup,   // a name resolved in a folder
  Getattr,  // a file's attributes asked for by its node
  Setattr,  // chmod, truncate, utimes
  Readdir,  // one batch of a folder's entries
  Rename,
  Create,  // create, mknod, mkdir, symlink, link
  Unlink,  // unlink, rmdir
  Open,    // open, opendir
  Close,   // flush, release, releasedir
  Read,
  Write,
  Fsync,  // fsync, fsyncdir
  Other,  // statfs, readlink, access and anything else answered
  Count
};

inline constexpr const char* kOpNames[] = {"lookup", "getattr", "setattr", "readdir", "rename",
                                           "create", "unlink",  "open",    "close",   "read",
                                           "write",  "fsync",   "other"};
static_assert(sizeof kOpNames / sizeof kOpNames[0] == static_cast<std::size_t>(Op::Count));

struct OpCounts {
  std::uint64_t n[static_cast<std::size_t>(Op::Count)] = {};
};

}  // namespace skorvatin::bench
