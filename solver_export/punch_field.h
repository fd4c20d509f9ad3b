// Fixed-width fields of punch-file cards.
#pragma once

#include <cstdint>

namespace zel {
namespace punch {

constexpr int kRealWidth = 16;

// A real in 16 columns, right-justified: [-]d.ddddddddE+dd, the mantissa
// correctly rounded to eight decimals, the first digit non-zero unless the
// value is 0. An exponent beyond 99 in magnitude is written as sign and
// three digits without the letter ([-]d.dddddddd+ddd). A zero of either
// sign is written without a sign. NaN and infinities are written as "NaN",
// "Infinity" and "-Infinity", right-justified.
void format_real(double value, char out[kRealWidth]);

// A decimal integer right-justified in width columns (blanks in front, a
// minus sign when negative); a number that does not fit fills the field
// with asterisks.
void format_integer(int64_t value, int width, char *out);

} // namespace punch
} // namespace zel
