// The value of an option text: any bytes in, a finite number or error 6 out.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "engine/number_text.h"
#include "engine/run_error.h"
#include "tests/fuzz/fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace skorvatin;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  double value = 0;
  try {
    value = textValue(text);
  } catch (const RunError& e) {
    if (e.number() != err::Overflow) fuzz::fail("textValue threw an error other than 6", text);
    return 0;
  }
  if (!std::isfinite(value)) fuzz::fail("textValue gave a value that is not finite", text);
  try {
    // A rounded value written out and read back is the same integer.
    const std::int32_t rounded = roundToInt32(value);
    const std::string decimal = decimalText(rounded);
    if (textValue(decimal) != static_cast<double>(rounded))
      fuzz::fail("decimal text does not read back", text, decimal);
    (void)doubleText(value, ",");
  } catch (const RunError& e) {
    if (e.number() != err::Overflow) fuzz::fail("rounding threw an error other than 6", text);
  }
  return 0;
}
