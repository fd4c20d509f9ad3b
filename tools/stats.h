// Statistics of one channel as `zel info` reports them.
#pragma once

#include <cstdint>
#include <vector>

namespace zel_tool {

struct ChannelStats {
  double min = 0.0;
  double max = 0.0;
  double mean = 0.0;
  double rms = 0.0;
  int64_t min_index = 0; // 1-based, first occurrence; 0 for an empty channel
  int64_t max_index = 0;
};

ChannelStats channel_stats(const std::vector<double> &values);

} // namespace zel_tool
