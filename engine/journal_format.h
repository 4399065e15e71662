#pragma once

// The journal's bytes: what a plan and an end record look like on the disk.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "engine/journal.h"

namespace skorvatin {

// The journal's bytes. The first line says what the file is and which version of the format it
// follows; the last line carries a CRC-32C of everything before it, so that a torn, truncated,
// corrupt or hand-edited file is refused as a whole, never half read. Names are written as a byte
// count and the bytes, so any byte but NUL round-trips.
std::string writePlan(const BatchPlan& plan);
// The same bytes handed to `write` piece by piece, so that a large plan needs no buffer of its size.
void writePlan(const BatchPlan& plan, const std::function<void(std::string_view)>& write);

std::string writeEnd(const EndRecord& record);

// Strict readers: either the whole content as written, or the reason (in Polish) why not.
struct PlanRead {
  std::optional<BatchPlan> plan;
  std::string problem;
};
PlanRead readPlan(std::string_view bytes);

struct EndRead {
  std::optional<EndRecord> record;
  std::string problem;
};
EndRead readEnd(std::string_view bytes);

// The CRC-32C (Castagnoli) of `bytes`, continuing from `crc` (0 to start).
std::uint32_t crc32c(std::string_view bytes, std::uint32_t crc = 0);

}  // namespace skorvatin
