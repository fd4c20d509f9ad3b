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

// The correctly rounded form through std::to_chars: [-]d.dddddddde(+|-)dd[d].
void format_real_slowly(double value, char out[kRealWidth]) {
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

#if defined(__SIZEOF_INT128__)
__extension__ typedef unsigned __int128 u128;

// 10^0 to 10^38, all that 128 bits hold.
struct Powers {
  u128 value[39];
};
constexpr Powers make_powers() {
  Powers p{};
  u128 v = 1;
  for (int k = 0; k <= 38; ++k, v *= 10) p.value[k] = v;
  return p;
}
constexpr Powers kPowers = make_powers();

// The nine leading digits of |value| = m x 2^p, rounded to nearest, and
// its decimal exponent E (value = d.dddddddd x 10^E), computed exactly in
// 128-bit integers: q = value x 10^(8 - E) lies in [10^8, 10^9). False for
// what this cannot do exactly (a tie, magnitudes far from 1); the caller
// then takes the slow road.
bool nine_digits(uint64_t m, int p, int estimate, uint32_t &digits, int &exponent) {
  for (int e = estimate; e <= estimate + 1; ++e) {
    const int k = 8 - e;
    u128 q, rem, whole; // value x 10^k = q + rem / whole
    if (k >= 0) {
      if (k > 22 || p >= 0 || p < -127) return false; // 10^22 x m stays below 2^127
      const u128 n = static_cast<u128>(m) * kPowers.value[k];
      const int s = -p;
      q = n >> s;
      whole = static_cast<u128>(1) << (s - 1);
      rem = n & ((whole << 1) - 1);
      whole <<= 1;
    } else {
      const int j = -k;
      if (j > 38) return false;
      const u128 d = kPowers.value[j];
      if (p >= 0) {
        if (p > 74) return false; // m x 2^p stays below 2^127
        const u128 n = static_cast<u128>(m) << p;
        q = n / d;
        rem = n % d;
        whole = d;
      } else {
        const int s = -p;
        if (s > 127 || (d >> (127 - s)) != 0) return false; // d x 2^s must fit
        const u128 dd = d << s;
        q = m / dd;
        rem = m % dd;
        whole = dd;
      }
    }
    if (q < 100000000) continue;   // not reached: E is the estimate or one more
    if (q >= 1000000000) continue; // E is one more
    const u128 twice = rem << 1;
    if (twice == whole) return false; // a tie
    uint64_t r = static_cast<uint64_t>(q) + (twice > whole ? 1 : 0);
    exponent = e;
    if (r == 1000000000) {
      r = 100000000;
      ++exponent;
    }
    digits = static_cast<uint32_t>(r);
    return true;
  }
  return false;
}
#endif

} // namespace

void format_real(double value, char out[kRealWidth]) {
  if (std::isnan(value)) return right_justify("NaN", 3, kRealWidth, out);
  if (std::isinf(value)) {
    if (value < 0) return right_justify("-Infinity", 9, kRealWidth, out);
    return right_justify("Infinity", 8, kRealWidth, out);
  }
  if (value == 0.0) return right_justify("0.00000000E+00", 14, kRealWidth, out);
#if defined(__SIZEOF_INT128__)
  uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  const int biased = static_cast<int>((bits >> 52) & 0x7ff);
  if (biased != 0) {
    const uint64_t m = (bits & ((uint64_t{1} << 52) - 1)) | (uint64_t{1} << 52);
    const int p = biased - 1075; // |value| = m x 2^p
    // floor(log10 |value|) is this or one more, since 2^52 <= m < 2^53.
    const int estimate = static_cast<int>(std::floor((p + 52) * 0.30102999566398120));
    uint32_t digits = 0;
    int exponent = 0;
    if (nine_digits(m, p, estimate, digits, exponent)) {
      char field[kRealWidth];
      char *f = field;
      if (bits >> 63) *f++ = '-';
      char nine[9];
      for (int i = 8; i >= 0; --i, digits /= 10) nine[i] = static_cast<char>('0' + digits % 10);
      *f++ = nine[0];
      *f++ = '.';
      std::memcpy(f, nine + 1, 8);
      f += 8;
      int magnitude = exponent < 0 ? -exponent : exponent;
      if (magnitude <= 99) *f++ = 'E';
      *f++ = exponent < 0 ? '-' : '+';
      if (magnitude > 99) {
        *f++ = static_cast<char>('0' + magnitude / 100);
        magnitude %= 100;
      }
      *f++ = static_cast<char>('0' + magnitude / 10);
      *f++ = static_cast<char>('0' + magnitude % 10);
      return right_justify(field, static_cast<int>(f - field), kRealWidth, out);
    }
  }
#endif
  format_real_slowly(value, out);
}

void format_integer(int64_t value, int width, char *out) {
  char digits[24];
  const std::to_chars_result r = std::to_chars(digits, digits + sizeof digits, value);
  right_justify(digits, static_cast<int>(r.ptr - digits), width, out);
}

} // namespace punch
} // namespace zel
