#include "bench/heap_meter.h"

#include <malloc.h>

namespace skorvatin::bench {

std::size_t heapInUse() {
  const struct mallinfo2 mi = ::mallinfo2();
  return mi.uordblks + mi.hblkhd;
}

}  // namespace skorvatin::bench
