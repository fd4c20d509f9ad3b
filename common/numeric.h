// Numeric rules shared by every format: the one saturating conversion of a
// real to an integer, and the one centring of a window on a time.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>

namespace zel {

// v truncated towards zero and held to the range of Int; NaN gives 0.
template <typename Int> Int saturate_cast(double v) {
  static_assert(std::numeric_limits<Int>::is_integer && std::numeric_limits<Int>::is_signed,
                "a signed integer type");
  // -2^(bits-1) and 2^(bits-1): both exact in a double.
  constexpr double lowest = static_cast<double>(std::numeric_limits<Int>::min());
  if (std::isnan(v)) return 0;
  if (v >= -lowest) return std::numeric_limits<Int>::max();
  if (v <= lowest) return std::numeric_limits<Int>::min();
  return static_cast<Int>(v);
}

// Indices of window centres are held within +/- this bound: far enough
// out that every index beyond it lies outside any file and selects the
// same samples, near enough that adding a half-width (below 2^31) stays
// exact in a double and within int64.
constexpr double kFarIndex = 4.0e15;

// The index of the sample at or just before a position counted in sample
// intervals from the first sample; a position within 1e-8 of an interval
// below a sample counts as that sample. Held within +/- kFarIndex. False
// (and index 0) when the position is NaN.
inline bool window_centre(double position, int64_t &index) {
  const double centre = std::floor(position + 1e-8);
  if (std::isnan(centre)) {
    index = 0;
    return false;
  }
  index = static_cast<int64_t>(centre < -kFarIndex  ? -kFarIndex
                               : centre > kFarIndex ? kFarIndex
                                                    : centre);
  return true;
}

} // namespace zel
