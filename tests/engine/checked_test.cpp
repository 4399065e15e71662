#include "engine/checked.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <limits>

#include "engine/run_error.h"
#include "tests/support/error_number.h"

namespace skorvatin {
namespace {

using skorvatin::testing::errorNumberOf;

TEST(CheckedArithmetic, RaisesOverflowInsteadOfWrapping) {
  constexpr auto max = std::numeric_limits<std::int32_t>::max();
  constexpr auto min = std::numeric_limits<std::int32_t>::min();
  constexpr std::int16_t min16 = std::numeric_limits<std::int16_t>::min();
  EXPECT_EQ(checked::add(max - 1, 1), max);
  EXPECT_EQ(checked::sub(min + 1, 1), min);
  EXPECT_EQ(checked::mul(21, 100000000), 2100000000);
  EXPECT_EQ(checked::sub<std::int16_t>(0, 1), -1);
  EXPECT_EQ(checked::toInt32(std::size_t{2147483647}), max);
  EXPECT_EQ(errorNumberOf([] { checked::add(max, 1); }), err::Overflow);
  EXPECT_EQ(errorNumberOf([] { checked::sub(min, 1); }), err::Overflow);
  EXPECT_EQ(errorNumberOf([] { checked::mul(22, 100000000); }), err::Overflow);
  EXPECT_EQ(errorNumberOf([] { checked::sub(min16, 1); }), err::Overflow);
  EXPECT_EQ(errorNumberOf([] { checked::toInt32(std::size_t{2147483648}); }), err::Overflow);
}

}  // namespace
}  // namespace skorvatin
