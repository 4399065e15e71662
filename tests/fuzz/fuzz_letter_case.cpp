// Letter-case conversion in all five modes keeps every character's place and every stray byte.
#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/letter_case.h"
#include "tests/fuzz/fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace skorvatin;
  const std::string name(reinterpret_cast<const char*>(data), size);
  for (CaseMode mode : {CaseMode::EveryWordCapital, CaseMode::AllUpper, CaseMode::AllLower,
                        CaseMode::FirstUpperRestLower, CaseMode::FirstLowerRestUpper}) {
    const std::string out = changeCase(name, mode);
    fuzz::checkTransformation("Litery", name, out);
    // Converting twice changes nothing more in the modes that do not depend on position.
    if ((mode == CaseMode::AllUpper || mode == CaseMode::AllLower) && changeCase(out, mode) != out)
      fuzz::fail("Litery is not idempotent", name, out);
  }
  return 0;
}
