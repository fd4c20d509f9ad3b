// Statistics of one channel as `zel info` reports them.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zel_tool {

struct ChannelStats {
  double min = 0.0;
  double max = 0.0;
  double mean = 0.0;
  double rms = 0.0;
  int64_t min_index = 0; // 1-based, first occurrence; 0 for an empty channel
  int64_t max_index = 0;
};

// Accumulates the statistics of samples that arrive in blocks, in order.
class StatsAccumulator {
public:
  void add(const double *values, size_t count);
  ChannelStats result() const;

private:
  ChannelStats stats_;
  int64_t count_ = 0;
  long double sum_ = 0.0L, sum_squares_ = 0.0L;
};

} // namespace zel_tool
