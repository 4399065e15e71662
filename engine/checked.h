#pragma once

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <type_traits>

#include "engine/run_error.h"

namespace skorvatin::checked {

// The program's integer arithmetic is signed and checked: a number, width or count that does not
// fit stops the operation with error 6, rather than wrapping round into a wrong file name.

[[noreturn]] inline void overflow() {
  throw RunError(err::Overflow);
}

// The second operand takes the first one's type, so a 16-bit count minus a literal 1 stays 16-bit.
template <std::signed_integral T>
T add(T a, std::type_identity_t<T> b) {
  T r;
  if (__builtin_add_overflow(a, b, &r)) overflow();
  return r;
}

template <std::signed_integral T>
T sub(T a, std::type_identity_t<T> b) {
  T r;
  if (__builtin_sub_overflow(a, b, &r)) overflow();
  return r;
}

template <std::signed_integral T>
T mul(T a, std::type_identity_t<T> b) {
  T r;
  if (__builtin_mul_overflow(a, b, &r)) overflow();
  return r;
}

// A size or length taken into signed 32-bit arithmetic.
inline std::int32_t toInt32(std::size_t n) {
  if (n > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) overflow();
  return static_cast<std::int32_t>(n);
}

}  // namespace skorvatin::checked
