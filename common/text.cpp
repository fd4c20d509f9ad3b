#include "common/text.h"

#include <charconv>
#include <cstdint>
#include <cmath>
#include <cstring>

#include "common/numeric.h"

namespace zel {

namespace {
bool is_space(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}
} // namespace

size_t field_length(const char *field, size_t size) {
  const void *nul = std::memchr(field, 0, size);
  return nul ? static_cast<size_t>(static_cast<const char *>(nul) - field) : size;
}

void copy_field(char *dest, size_t dest_size, const char *field, size_t size) {
  if (dest_size == 0) return;
  size_t n = field_length(field, size);
  if (n > dest_size - 1) n = dest_size - 1;
  std::memcpy(dest, field, n);
  dest[n] = '\0';
}

void copy_text(char *dest, size_t dest_size, const char *src) {
  if (dest_size == 0) return;
  if (!src) {
    dest[0] = '\0';
    return;
  }
  size_t n = 0;
  while (n < dest_size - 1 && src[n] != '\0') ++n;
  std::memcpy(dest, src, n);
  dest[n] = '\0';
}

int parse_int(const char *field, size_t size) {
  const size_t n = field_length(field, size);
  size_t i = 0;
  while (i < n && is_space(field[i])) ++i;
  bool negative = false;
  if (i < n && (field[i] == '+' || field[i] == '-')) negative = field[i++] == '-';
  int64_t v = 0;
  for (; i < n && field[i] >= '0' && field[i] <= '9'; ++i) {
    if (v <= INT64_C(1) << 40) v = v * 10 + (field[i] - '0');
  }
  // v stays below 2^44: exact in a double, then held to the int range.
  return saturate_cast<int>(static_cast<double>(negative ? -v : v));
}

namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Decimal order of magnitude of a number text (digits, point, exponent):
// above 0 for a number of 1 or more. Used to tell a number too large for a
// double from one too small: the exponent alone cannot ("1000e-2").
int64_t decimal_order(const char *p, const char *end) {
  int64_t order = 0;
  bool significant = false;
  for (; p < end && is_digit(*p); ++p) {
    significant = significant || *p != '0';
    if (significant) ++order;
  }
  if (p < end && *p == '.') {
    for (++p; p < end && is_digit(*p); ++p) {
      if (significant) continue;
      if (*p == '0')
        --order;
      else
        significant = true;
    }
  }
  int64_t exponent = 0;
  if (p < end && (*p == 'e' || *p == 'E')) {
    ++p;
    bool negative = false;
    if (p < end && (*p == '+' || *p == '-')) negative = *p++ == '-';
    for (; p < end && is_digit(*p); ++p)
      if (exponent < 1000000000) exponent = exponent * 10 + (*p - '0');
    if (negative) exponent = -exponent;
  }
  return order + exponent;
}

} // namespace

double parse_real(const char *field, size_t size) {
  const size_t n = field_length(field, size);
  size_t i = 0;
  while (i < n && is_space(field[i])) ++i;
  bool negative = false;
  if (i < n && (field[i] == '+' || field[i] == '-')) negative = field[i++] == '-';
  // One sign only: a second one leaves no number, as for atof.
  if (i < n && (field[i] == '+' || field[i] == '-')) return 0.0;
  double v = 0.0;
  std::from_chars_result r = std::from_chars(field + i, field + n, v, std::chars_format::general);
  if (r.ec == std::errc::result_out_of_range) {
    v = decimal_order(field + i, field + n) > 0 ? HUGE_VAL : 0.0;
  } else if (r.ec != std::errc()) {
    v = 0.0;
  }
  return negative ? -v : v;
}

} // namespace zel
