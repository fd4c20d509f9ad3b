#include "stats.h"

#include <cmath>

namespace zel_tool {

void StatsAccumulator::add(const double *values, size_t count) {
  for (size_t i = 0; i < count; ++i, ++count_) {
    const double v = values[i];
    if (count_ == 0 || v < stats_.min) {
      stats_.min = v;
      stats_.min_index = count_ + 1;
    }
    if (count_ == 0 || v > stats_.max) {
      stats_.max = v;
      stats_.max_index = count_ + 1;
    }
    sum_ += v;
    sum_squares_ += static_cast<long double>(v) * v;
  }
}

ChannelStats StatsAccumulator::result() const {
  ChannelStats stats = stats_;
  if (count_ == 0) return stats;
  const long double n = static_cast<long double>(count_);
  stats.mean = static_cast<double>(sum_ / n);
  stats.rms = static_cast<double>(std::sqrt(sum_squares_ / n));
  return stats;
}

} // namespace zel_tool
