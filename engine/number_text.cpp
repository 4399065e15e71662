#include "engine/number_text.h"

#include <locale.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "engine/checked.h"

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

// strtod would follow the process locale's decimal separator; the option grammar always uses ".".
double parseCDouble(const std::string& number) {
  static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
  errno = 0;
  const double value = strtod_l(number.c_str(), nullptr, cLocale);
  if (errno == ERANGE && std::isinf(value)) overflow();
  return value;
}

}  // namespace

double TextValue(std::string_view text) {
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
  std::size_t pos = 0;
  if (pos < s.size() && (s[pos] == '+' || s[pos] == '-')) ++pos;
  std::size_t mantissaDigits = 0;
  while (pos < s.size() && isDigit(s[pos])) ++pos, ++mantissaDigits;
  if (pos < s.size() && s[pos] == '.') {
    ++pos;
    while (pos < s.size() && isDigit(s[pos])) ++pos, ++mantissaDigits;
  }
  if (mantissaDigits == 0) return 0;
  // An exponent counts only when at least one digit follows it; "2e" and "2e+" are just 2.
  if (pos < s.size() && (s[pos] == 'E' || s[pos] == 'e')) {
    std::size_t e = pos + 1;
    if (e < s.size() && (s[e] == '+' || s[e] == '-')) ++e;
    if (e < s.size() && isDigit(s[e])) {
      while (e < s.size() && isDigit(s[e])) ++e;
      pos = e;
    }
  }
  return parseCDouble(s.substr(0, pos));
}

std::int32_t RoundToInt32(double value) {
  // The default floating-point environment rounds to nearest, ties to even.
  const double r = std::nearbyint(value);
  if (!(r >= -2147483648.0 && r <= 2147483647.0)) overflow();
  return static_cast<std::int32_t>(r);
}

std::string DecimalText(std::int32_t value) {
  return std::to_string(value);
}

std::string DoubleText(double value, std::string_view decimalSeparator) {
  if (!std::isfinite(value)) overflow();
  if (std::trunc(value) == value && std::fabs(value) < 1e15) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.0f", value);
    std::string s = buf;
    return s == "-0" ? "0" : s;
  }
  // 15 significant digits, rounded once; the exponent is the one after rounding, so 999...9.96
  // becomes 1E+15 rather than a 16-digit text.
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.14e", value);
  std::string_view sci = buf;
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
  const int exponent = std::atoi(std::string(sci.substr(ePos + 1)).c_str());
  while (digits.size() > 1 && digits.back() == '0') digits.pop_back();

  if (exponent >= 15 || exponent < -4) {
    out += digits[0];
    if (digits.size() > 1) {
      out += decimalSeparator;
      out += digits.substr(1);
    }
    char exp[16];
    std::snprintf(exp, sizeof exp, "E%c%02d", exponent < 0 ? '-' : '+', std::abs(exponent));
    return out + exp;
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

}  // namespace skorvatin
