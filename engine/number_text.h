#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace skorvatin {

// The value of an option text: blanks, tabs and line feeds are skipped wherever they stand, then
// the longest leading number is read (sign, digits, "." fraction, exponent E/e), or a hexadecimal
// (&H) or octal (&O) number. Anything that does not start a number counts as 0. Only "." separates
// the fraction, whatever the locale, so that an option means the same on every machine.
// A value beyond the double range (such as "1E400") raises error 6.
double textValue(std::string_view text);

// Rounds to the nearest integer, a tie going to the even one (2.5 → 2, 3.5 → 4); error 6 when the
// result does not fit a signed 32-bit integer.
std::int32_t roundToInt32(double value);

// Decimal digits with a leading "-" for negative values: 250 → "250", −6 → "-6".
std::string decimalText(std::int32_t value);

// The text of a double as the user reads it: integral values below 10^15 in magnitude as plain
// digits; any other value with at most 15 significant digits, no trailing zeros, the given decimal
// separator, and an exponent form ("1E+15", "1,5E-07") outside 10^-4 ≤ |x| < 10^15.
// Error 6 for a value that is not finite.
std::string doubleText(double value, std::string_view decimalSeparator);

// The number text of the file at 0-based `position` of a numbering run: start + position × step,
// with the given decimal separator, padded with leading zeros to `width` characters (0: none). A
// text longer than the width keeps its own length. Error 6 when position × step leaves 32 bits.
std::string numberText(std::int32_t position, double start, std::int32_t step, std::int32_t width,
                       std::string_view decimalSeparator);

}  // namespace skorvatin
