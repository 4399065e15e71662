#include "engine/number_text.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

#include "engine/run_error.h"
#include "tests/support/error_number.h"

namespace skorvatin {
namespace {

using skorvatin::testing::errorNumberOf;

TEST(TextValue, ReadsTheLongestLeadingNumber) {
  struct Row {
    const char* name;
    const char* text;
    double value;
  };
  const Row rows[] = {
      {"trailing letters", "12abc", 12},
      {"blanks, tabs and line feeds anywhere", " 1 0\t0\n", 100},
      {"fraction", "2.5", 2.5},
      {"comma is no separator", "2,5", 2},
      {"negative", "-3", -3},
      {"plus sign", "+7", 7},
      {"sign then blank", "- 4", -4},
      {"letters only", "abc", 0},
      {"empty", "", 0},
      {"only a sign", "-", 0},
      {"only a dot", ".", 0},
      {"leading dot", ".5", 0.5},
      {"exponent", "1.5E3", 1500},
      {"lower-case negative exponent", "25e-1", 2.5},
      {"exponent without digits", "2e", 2},
      {"exponent sign without digits", "2E+x", 2},
      {"hexadecimal", "&HFF", 255},
      {"hexadecimal lower case", "&hff", 255},
      {"hexadecimal is never negative", "&HFFFFFFFF", 4294967295.0},
      {"octal", "&O17", 15},
      {"hex digits stop at a non-digit", "&H1G", 1},
      {"ampersand alone", "&", 0},
      {"carriage return is not skipped", "1\r2", 1},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(textValue(row.text), row.value);
  }
}

// Past the top of the double range a text is an overflow; below its smallest step it is 0. Both
// ends are told apart by the number's magnitude, with or without an exponent.
TEST(TextValue, BeyondTheDoubleRangeIsOverflowAndBelowItZero) {
  struct Row {
    const char* name;
    std::string text;
    bool overflow;
  };
  const std::string zeros(400, '0');
  const Row rows[] = {
      {"large exponent", "1E400", true},
      {"large negative value", "-1E400", true},
      {"401 digits", "1" + zeros, true},
      {"401 digits scaled down too little", "1" + zeros + "E-50", true},
      {"exponent too long to read", "1E99999999999999999999", true},
      {"small exponent", "1E-400", false},
      {"zeros after the point", "0." + zeros + "1", false},
      {"zeros after the point scaled up too little", "0." + zeros + "1E50", false},
      {"negative exponent too long to read", "1E-99999999999999999999", false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    if (row.overflow) {
      EXPECT_EQ(errorNumberOf([&] { textValue(row.text); }), err::Overflow);
    } else {
      EXPECT_EQ(textValue(row.text), 0);
    }
  }
}

TEST(RoundToInt32, TiesGoToEven) {
  struct Row {
    const char* name;
    double value;
    std::int32_t rounded;
  };
  const Row rows[] = {
      {"2.5 down", 2.5, 2},
      {"3.5 up", 3.5, 4},
      {"-2.5 towards zero", -2.5, -2},
      {"-3.5 away from zero", -3.5, -4},
      {"2.6", 2.6, 3},
      {"-2.4", -2.4, -2},
      {"top edge", 2147483647.0, 2147483647},
      {"bottom edge", -2147483648.0, std::numeric_limits<std::int32_t>::min()},
      {"half below the top edge rounds to even", 2147483646.5, 2147483646},
      {"half above the bottom edge", -2147483648.4, std::numeric_limits<std::int32_t>::min()},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(roundToInt32(row.value), row.rounded);
  }
}

TEST(RoundToInt32, OutsideTheRangeIsOverflow) {
  for (double v : {2147483647.5, 2147483648.0, -2147483648.6, -2147483649.0, 1e300}) {
    SCOPED_TRACE(v);
    EXPECT_EQ(errorNumberOf([v] { roundToInt32(v); }), err::Overflow);
  }
}

TEST(DecimalText, DigitsAndMinusOnly) {
  EXPECT_EQ(decimalText(250), "250");
  EXPECT_EQ(decimalText(-6), "-6");
  EXPECT_EQ(decimalText(0), "0");
  EXPECT_EQ(decimalText(std::numeric_limits<std::int32_t>::min()), "-2147483648");
}

TEST(DoubleText, WritesIntegersPlainAndTheRestWithTheCallersSeparator) {
  struct Row {
    const char* name;
    double value;
    const char* separator;
    const char* text;
  };
  const Row rows[] = {
      {"integer", 12, ",", "12"},
      {"negative integer", -1, ",", "-1"},
      {"negative zero", -0.0, ",", "0"},
      {"largest plain integer", 999999999999999.0, ",", "999999999999999"},
      {"10^15 in exponent form", 1e15, ",", "1E+15"},
      {"large value rounded to 15 digits", 123456789012345678.0, ",", "1,23456789012346E+17"},
      {"fraction under a Polish locale", 1.5, ",", "1,5"},
      {"fraction under an English locale", 1.5, ".", "1.5"},
      {"negative fraction", -2.25, ",", "-2,25"},
      {"smallest fixed form", 0.0001, ",", "0,0001"},
      {"small value in exponent form", 0.00001, ",", "1E-05"},
      {"small value with digits", -1.5e-7, ",", "-1,5E-07"},
      {"binary noise cut at 15 digits", 0.1 + 0.2, ",", "0,3"},
      {"fifteen significant digits", 1.0 / 3.0, ",", "0,333333333333333"},
      {"rounding to 15 digits reaches an integer", 99999999999999.99, ",", "100000000000000"},
      {"rounding to 15 digits reaches 10^15", 999999999999999.9, ",", "1E+15"},
      {"huge", 1.7e308, ",", "1,7E+308"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(doubleText(row.value, row.separator), row.text);
  }
}

}  // namespace
}  // namespace skorvatin
