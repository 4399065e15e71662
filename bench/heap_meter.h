#pragma once

#include <cstddef>

namespace skorvatin::bench {

// Bytes the allocator hands out at this moment, chunk overheads included, mmapped blocks too
// (a large vector lives outside the heap proper).
std::size_t heapInUse();

}  // namespace skorvatin::bench
