#include "solver_export/punch_field.h"

#include <charconv>
#include <cmath>
#include <cstring>

namespace zel {
namespace punch {

namespace {

void right_justify(const char *text, int n, int width, char *out) {
  if (n > width) {
    std::memset(out, '*', static_cast<size_t>(width));
    return;
  }
  std::memset(out, ' ', static_cast<size_t>(width - n));
  std::memcpy(out + (width - n), text, static_cast<size_t>(n));
}

} // namespace

void format_real(double value, char out[kRealWidth]) {
  if (std::isnan(value)) return right_justify("NaN", 3, kRealWidth, out);
  if (std::isinf(value)) {
    if (value < 0) return right_justify("-Infinity", 9, kRealWidth, out);
    return right_justify("Infinity", 8, kRealWidth, out);
  }
  if (value == 0.0) value = 0.0; // drops the sign of -0.0

  // to_chars gives [-]d.dddddddde(+|-)dd[d], correctly rounded.
  char digits[32];
  const std::to_chars_result r =
      std::to_chars(digits, digits + sizeof digits, value, std::chars_format::scientific, 8);
  const int length = static_cast<int>(r.ptr - digits);
  const char *e = static_cast<const char *>(std::memchr(digits, 'e', static_cast<size_t>(length)));
  const int mantissa = static_cast<int>(e - digits);
  const int exponent_digits = length - mantissa - 2;

  char field[kRealWidth];
  int n = 0;
  std::memcpy(field, digits, static_cast<size_t>(mantissa));
  n += mantissa;
  if (exponent_digits <= 2) field[n++] = 'E';
  field[n++] = e[1];
  std::memcpy(field + n, e + 2, static_cast<size_t>(exponent_digits));
  n += exponent_digits;
  right_justify(field, n, kRealWidth, out);
}

void format_integer(int64_t value, int width, char *out) {
  char digits[24];
  const std::to_chars_result r = std::to_chars(digits, digits + sizeof digits, value);
  right_justify(digits, static_cast<int>(r.ptr - digits), width, out);
}

} // namespace punch
} // namespace zel
