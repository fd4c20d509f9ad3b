#include "stats.h"

#include <cmath>

namespace zel_tool {

ChannelStats channel_stats(const std::vector<double> &values) {
  ChannelStats stats;
  if (values.empty()) return stats;
  stats.min = stats.max = values[0];
  stats.min_index = stats.max_index = 1;
  long double sum = 0.0L, sum_squares = 0.0L;
  for (size_t i = 0; i < values.size(); ++i) {
    const double v = values[i];
    if (v < stats.min) {
      stats.min = v;
      stats.min_index = static_cast<int64_t>(i) + 1;
    }
    if (v > stats.max) {
      stats.max = v;
      stats.max_index = static_cast<int64_t>(i) + 1;
    }
    sum += v;
    sum_squares += static_cast<long double>(v) * v;
  }
  const long double n = static_cast<long double>(values.size());
  stats.mean = static_cast<double>(sum / n);
  stats.rms = static_cast<double>(std::sqrt(sum_squares / n));
  return stats;
}

} // namespace zel_tool
