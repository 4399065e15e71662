// The journal readers: whatever they accept must be a plan or end record that the program itself
// could have written, byte for byte, so nothing half-read or oddly spelled is ever acted on.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "engine/journal_format.h"
#include "tests/fuzz/fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace skorvatin;
  const std::string_view input(reinterpret_cast<const char*>(data), size);

  const PlanRead plan = readPlan(input);
  if (plan.plan.has_value() == !plan.problem.empty())
    fuzz::fail("a plan read with neither or both results", input);
  if (plan.plan) {
    if (planProblem(*plan.plan)) fuzz::fail("an accepted plan that could not be written", input);
    const std::string again = writePlan(*plan.plan);
    if (input.substr(0, 25) == "skorvatin-journal plan 1\n") {
      // A journal from before stamps were kept comes back in today's format, with zero stamps.
      BatchPlan expected = *plan.plan;
      for (PlannedFile& f : expected.files) f.stamp = FileStamp{};
      const PlanRead reread = readPlan(again);
      if (!reread.plan || *reread.plan != expected)
        fuzz::fail("an older plan that does not come back", input);
    } else if (again != input) {
      fuzz::fail("an accepted plan written back differently", input);
    }
  }

  const EndRead end = readEnd(input);
  if (end.record.has_value() == !end.problem.empty())
    fuzz::fail("an end read with neither or both results", input);
  if (end.record) {
    if (endProblem(end.record->end, end.record->fileCount))
      fuzz::fail("an accepted end that does not fit", input);
    if (writeEnd(*end.record) != input) fuzz::fail("an accepted end written back differently", input);
  }
  return 0;
}
