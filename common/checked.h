// Checked 64-bit size arithmetic: sizes derived from file headers go
// through these before they size an allocation or a seek.
#pragma once

#include <cstdint>

namespace zel {

// r = a * b; false when the product does not fit (or an operand is negative).
inline bool mul_size(int64_t a, int64_t b, int64_t &r) {
  if (a < 0 || b < 0) return false;
  return !__builtin_mul_overflow(a, b, &r);
}

// r = a + b; false when the sum does not fit (or an operand is negative).
inline bool add_size(int64_t a, int64_t b, int64_t &r) {
  if (a < 0 || b < 0) return false;
  return !__builtin_add_overflow(a, b, &r);
}

} // namespace zel
