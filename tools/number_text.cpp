#include "number_text.h"

#include <fmt/format.h>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <system_error>

namespace zel_tool {

namespace {

// "00" to "99".
constexpr char kPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

constexpr uint64_t kPowers[] = {1ull,
                                10ull,
                                100ull,
                                1000ull,
                                10000ull,
                                100000ull,
                                1000000ull,
                                10000000ull,
                                100000000ull,
                                1000000000ull,
                                10000000000ull,
                                100000000000ull,
                                1000000000000ull,
                                10000000000000ull,
                                100000000000000ull,
                                1000000000000000ull,
                                10000000000000000ull,
                                100000000000000000ull,
                                1000000000000000000ull,
                                10000000000000000000ull};

// Digits of v (above 0): the bit length gives the count or one more.
int digit_count(uint64_t v) {
  const int bits = 64 - __builtin_clzll(v);
  const int guess = (bits * 1233) >> 12; // bits x log10(2), rounded down
  return guess + (v >= kPowers[guess] ? 1 : 0);
}

// Eight digits of v (below 10^8) ending at end, in 32-bit arithmetic.
void put_eight(char *end, uint32_t v) {
  const uint32_t high = v / 10000, low = v % 10000;
  std::memcpy(end - 8, kPairs + 2 * (high / 100), 2);
  std::memcpy(end - 6, kPairs + 2 * (high % 100), 2);
  std::memcpy(end - 4, kPairs + 2 * (low / 100), 2);
  std::memcpy(end - 2, kPairs + 2 * (low % 100), 2);
}

// The digits of v below 10^8, ending at end.
void put_small(char *end, uint32_t v) {
  while (v >= 100) {
    end -= 2;
    std::memcpy(end, kPairs + 2 * (v % 100), 2);
    v /= 100;
  }
  if (v >= 10) {
    std::memcpy(end - 2, kPairs + 2 * v, 2);
  } else {
    end[-1] = static_cast<char>('0' + v);
  }
}

// The digits of v, ending at end: eight at a time from the right.
void put_digits(char *end, uint64_t v) {
  while (v >= 100000000) {
    put_eight(end, static_cast<uint32_t>(v % 100000000));
    v /= 100000000;
    end -= 8;
  }
  put_small(end, static_cast<uint32_t>(v));
}

} // namespace

// The shortest digits come from the Dragonbox algorithm; they are laid out
// as std::to_chars lays them out: fixed or scientific notation, whichever
// is shorter, fixed on a tie. Integers beyond the digits (fixed notation
// with zeros to append) are rare and go to std::to_chars itself.
char *put_exact(char *out, double value) {
  if (!std::isfinite(value)) {
    const char *text = std::isnan(value) ? "nan" : value < 0 ? "-inf" : "inf";
    while (*text) *out++ = *text++;
    return out;
  }
  if (value == 0.0) {
    if (std::signbit(value)) *out++ = '-';
    *out++ = '0';
    return out;
  }
  const auto decimal = fmt::detail::dragonbox::to_decimal(value);
  const uint64_t digits = decimal.significand;
  const int n = digit_count(digits), e = decimal.exponent, point = n + e; // value = 0.D x 10^point
  const int exponent = point - 1;
  const int exponent_digits = exponent >= 100 || exponent <= -100 ? 3 : 2;
  const int scientific = n + (n > 1 ? 1 : 0) + 2 + exponent_digits;
  const int fixed = e >= 0 ? n + e : point > 0 ? n + 1 : n + 2 - point;
  if (fixed <= scientific && e > 0) return std::to_chars(out, out + kExactChars, value).ptr;
  if (value < 0) *out++ = '-';
  if (fixed <= scientific) {
    if (e == 0) {
      put_digits(out + n, digits);
      return out + n;
    }
    if (point > 0) {
      // ddd.ddd: the digits, then the integer part moved one place left.
      put_digits(out + n + 1, digits);
      for (int i = 0; i < point; ++i) out[i] = out[i + 1];
      out[point] = '.';
      return out + n + 1;
    }
    // 0.000ddd
    out[0] = '0';
    out[1] = '.';
    std::memset(out + 2, '0', static_cast<size_t>(-point));
    put_digits(out + 2 - point + n, digits);
    return out + 2 - point + n;
  }
  // d.ddde+XX
  put_digits(out + n + 1, digits);
  out[0] = out[1];
  char *p = out + 1;
  if (n > 1) {
    *p = '.';
    p += n;
  }
  *p++ = 'e';
  int magnitude = exponent;
  if (exponent < 0) {
    *p++ = '-';
    magnitude = -exponent;
  } else {
    *p++ = '+';
  }
  if (magnitude >= 100) {
    *p++ = static_cast<char>('0' + magnitude / 100);
    magnitude %= 100;
  }
  std::memcpy(p, kPairs + 2 * magnitude, 2);
  return p + 2;
}

void append_exact(std::string &out, double value) {
  char buffer[kExactChars];
  out.append(buffer, put_exact(buffer, value));
}

std::string exact(double value) {
  std::string text;
  append_exact(text, value);
  return text;
}

bool parse_double(const char *begin, const char *end, double &value) {
  while (begin < end && (*begin == ' ' || *begin == '\t')) ++begin;
  while (end > begin && (end[-1] == ' ' || end[-1] == '\t' || end[-1] == '\r')) --end;
  if (begin < end && *begin == '+') ++begin; // from_chars takes no plus sign
  if (begin == end) return false;
  const auto result = std::from_chars(begin, end, value);
  return result.ec == std::errc() && result.ptr == end;
}

} // namespace zel_tool
