#include "engine/number_text.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <system_error>

#include "engine/checked.h"
#include "engine/utf8.h"

namespace skorvatin {

namespace {

using checked::overflow;

bool isDigit(char c) {
  return c >= '0' && c <= '9';
}

int digitValue(char c, int base) {
  int v = -1;
  if (c >= '0' && c <= '9')
    v = c - '0';
  else if (c >= 'a' && c <= 'f')
    v = c - 'a' + 10;
  else if (c >= 'A' && c <= 'F')
    v = c - 'A' + 10;
  return v < base ? v : -1;
}

// &H and &O: the digits' value, never negative. Hexadecimal texts are meant as counts here, not
// as bit patterns, so "&HFFFF" is 65535 rather than a wrapped -1.
double radixValue(std::string_view digits, int base) {
  double value = 0;
  for (char c : digits) {
    const int d = digitValue(c, base);
    if (d < 0) break;
    value = value * base + d;
  }
  if (!std::isfinite(value)) overflow();
  return value;
}

// Whether a number that from_chars found out of range lies past the top of the double range,
// rather than below its smallest step. That is decided by the decimal exponent of the number's
// leading digit (2 for "123.4", -3 for "0.001") plus its exponent part; an exponent too long to
// read decides by its sign alone.
bool pastTheTop(std::string_view mantissa, std::string_view exponent) {
  const std::size_t point = std::min(mantissa.find('.'), mantissa.size());
  const std::size_t lead = mantissa.find_first_not_of("0.");
  if (lead == std::string_view::npos) return false;
  const long long scale =
      lead < point ? static_cast<long long>(point - lead) - 1 : -static_cast<long long>(lead - point);
  const bool negative = !exponent.empty() && exponent.front() == '-';
  if (!exponent.empty() && (exponent.front() == '+' || negative)) exponent.remove_prefix(1);
  long long e = 0;
  const auto [end, ec] = std::from_chars(exponent.data(), exponent.data() + exponent.size(), e);
  if (ec == std::errc::result_out_of_range) return !negative;
  return negative ? scale > e : scale > -e;
}

// from_chars reads "." whatever the process locale says, which is what the option grammar wants.
// The number has been cut out by textValue already: digits with an optional "." fraction, and an
// exponent with at least one digit, or none.
double parseNumber(std::string_view mantissa, std::string_view exponent) {
  const char* first = mantissa.data();
  const char* last = exponent.empty() ? mantissa.data() + mantissa.size() : exponent.data() + exponent.size();
  double value = 0;
  const auto [end, ec] = std::from_chars(first, last, value);
  if (ec == std::errc::result_out_of_range) {
    // from_chars leaves the value alone beyond either end of the double range: past the top it
    // is an overflow, below the smallest step it is 0, as it always was.
    if (pastTheTop(mantissa, exponent)) overflow();
    return 0;
  }
  return value;
}

template <class Int>
std::string integerText(Int value) {
  char buf[24];
  const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value);
  return std::string(buf, end);
}

}  // namespace

double textValue(std::string_view text) {
  std::string s;
  s.reserve(text.size());
  for (char c : text) {
    if (c != ' ' && c != '\t' && c != '\n') s.push_back(c);
  }
  if (s.size() >= 2 && s[0] == '&') {
    if (s[1] == 'H' || s[1] == 'h') return radixValue(std::string_view(s).substr(2), 16);
    if (s[1] == 'O' || s[1] == 'o') return radixValue(std::string_view(s).substr(2), 8);
    return 0;
  }
  const std::string_view t = s;
  std::size_t pos = 0;
  bool negative = false;
  if (pos < t.size() && (t[pos] == '+' || t[pos] == '-')) negative = t[pos++] == '-';
  const std::size_t mantissaStart = pos;
  std::size_t mantissaDigits = 0;
  while (pos < t.size() && isDigit(t[pos])) ++pos, ++mantissaDigits;
  if (pos < t.size() && t[pos] == '.') {
    ++pos;
    while (pos < t.size() && isDigit(t[pos])) ++pos, ++mantissaDigits;
  }
  if (mantissaDigits == 0) return 0;
  const std::string_view mantissa = t.substr(mantissaStart, pos - mantissaStart);
  // An exponent counts only when at least one digit follows it; "2e" and "2e+" are just 2.
  std::string_view exponent;
  if (pos < t.size() && (t[pos] == 'E' || t[pos] == 'e')) {
    std::size_t e = pos + 1;
    if (e < t.size() && (t[e] == '+' || t[e] == '-')) ++e;
    if (e < t.size() && isDigit(t[e])) {
      while (e < t.size() && isDigit(t[e])) ++e;
      exponent = t.substr(pos + 1, e - pos - 1);
    }
  }
  const double value = parseNumber(mantissa, exponent);
  return negative ? -value : value;
}

std::int32_t roundToInt32(double value) {
  // The default floating-point environment rounds to nearest, ties to even.
  const double r = std::nearbyint(value);
  if (!(r >= -2147483648.0 && r <= 2147483647.0)) overflow();
  return static_cast<std::int32_t>(r);
}

std::string decimalText(std::int32_t value) {
  return integerText(value);
}

std::string doubleText(double value, std::string_view decimalSeparator) {
  if (!std::isfinite(value)) overflow();
  // Below 10^15 every integral double is exact in 64 bits; -0 becomes a plain 0.
  if (std::trunc(value) == value && std::fabs(value) < 1e15)
    return integerText(static_cast<std::int64_t>(value));
  // 15 significant digits, rounded once; the exponent is the one after rounding, so 999...9.96
  // becomes 1E+15 rather than a 16-digit text.
  char buf[32];
  const auto [sciEnd, sciEc] = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific, 14);
  std::string_view sci(buf, static_cast<std::size_t>(sciEnd - buf));
  std::string out;
  if (sci.front() == '-') {
    out = "-";
    sci.remove_prefix(1);
  }
  const std::size_t ePos = sci.find('e');
  std::string digits;
  for (char c : sci.substr(0, ePos)) {
    if (isDigit(c)) digits.push_back(c);
  }
  std::string_view exponentText = sci.substr(ePos + 1);
  if (exponentText.front() == '+') exponentText.remove_prefix(1);
  int exponent = 0;
  std::from_chars(exponentText.data(), exponentText.data() + exponentText.size(), exponent);
  while (digits.size() > 1 && digits.back() == '0') digits.pop_back();

  if (exponent >= 15 || exponent < -4) {
    out += digits[0];
    if (digits.size() > 1) {
      out += decimalSeparator;
      out += digits.substr(1);
    }
    out += exponent < 0 ? "E-" : "E+";
    const std::string magnitude = integerText(std::abs(exponent));
    if (magnitude.size() < 2) out += '0';
    return out + magnitude;
  }
  if (exponent < 0) {
    out += "0";
    out += decimalSeparator;
    out.append(static_cast<std::size_t>(-exponent - 1), '0');
    return out + digits;
  }
  const auto intLen = static_cast<std::size_t>(exponent) + 1;
  if (digits.size() <= intLen) {
    digits.append(intLen - digits.size(), '0');
    return out + digits;
  }
  out += digits.substr(0, intLen);
  out += decimalSeparator;
  return out + digits.substr(intLen);
}

std::string numberText(std::int32_t position, double start, std::int32_t step, std::int32_t width,
                       std::string_view decimalSeparator) {
  const std::int32_t index = checked::add(position, 1);
  const std::int32_t product = checked::mul(index, step);
  // The start stays a double (a fractional start gives fractional numbers); subtracting the step
  // before adding the product keeps every file's value start + position * step.
  const double x = (start - static_cast<double>(step)) + static_cast<double>(product);
  std::string text = doubleText(x, decimalSeparator);
  // The width counts characters: a decimal separator of two bytes is still one character.
  const std::int32_t missing = checked::sub(width, checked::toInt32(utf8::length(text)));
  if (width != 0 && missing > 0) text.insert(0, static_cast<std::size_t>(missing), '0');
  return text;
}

}  // namespace skorvatin
