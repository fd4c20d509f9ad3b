// The tool's own plotting blocks: decimation and ticks.
#include "svg_plot.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>

using namespace zel_tool;

TEST(CliDecimation, KeepsEachColumnsExtremesInOrderAndNoMore) {
  const size_t n = 100003; // not a multiple of the column count
  const int columns = 97;
  std::vector<double> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = std::sin(static_cast<double>(i) * 0.37) * static_cast<double>(i % 1000);
  v[5000] = 1e6;
  v[99999] = -1e6;
  const std::vector<size_t> keep = decimate_min_max(v.data(), n, columns);
  ASSERT_LE(keep.size(), 2u * columns);
  EXPECT_TRUE(std::is_sorted(keep.begin(), keep.end()));
  EXPECT_NE(std::find(keep.begin(), keep.end(), 5000u), keep.end());
  EXPECT_NE(std::find(keep.begin(), keep.end(), 99999u), keep.end());
  // Fed in blocks of any size, the decimator chooses the same samples.
  const PlotSeries s = plot_series("x", n, columns, [&](auto &&sink) {
    for (size_t i = 0; i < n; i += 7777) sink(v.data() + i, std::min<size_t>(7777, n - i));
  });
  EXPECT_EQ(s.index, keep);
  for (size_t j = 0; j < keep.size(); ++j) ASSERT_EQ(s.value[j], v[keep[j]]);
  EXPECT_EQ(s.hi, 1e6);
  EXPECT_EQ(s.lo, -1e6);
  // Every column's minimum and maximum, computed the slow way, is kept.
  for (int c = 0; c < columns; ++c) {
    const size_t begin = static_cast<size_t>(c) * n / columns, end = static_cast<size_t>(c + 1) * n / columns;
    const auto lo = std::min_element(v.begin() + begin, v.begin() + end) - v.begin();
    const auto hi = std::max_element(v.begin() + begin, v.begin() + end) - v.begin();
    EXPECT_NE(std::find(keep.begin(), keep.end(), static_cast<size_t>(lo)), keep.end()) << c;
    EXPECT_NE(std::find(keep.begin(), keep.end(), static_cast<size_t>(hi)), keep.end()) << c;
  }
}

TEST(CliDecimation, ShortOrNonFiniteInputs) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const std::vector<double> short_one = {1, nan, 3};
  EXPECT_EQ(decimate_min_max(short_one.data(), 3, 10), (std::vector<size_t>{0, 2}));
  std::vector<double> v(1000, nan);
  v[10] = 1.0;
  EXPECT_EQ(decimate_min_max(v.data(), v.size(), 4), (std::vector<size_t>{10}));
  EXPECT_TRUE(decimate_min_max(v.data(), 0, 4).empty());
}

TEST(CliTicks, RoundStepsCoverTheRange) {
  const Ticks y = nice_ticks(-220.72, 241.96, 6, true);
  EXPECT_EQ(y.step, 100.0);
  EXPECT_EQ(y.lo, -300.0);
  EXPECT_EQ(y.hi, 300.0);
  EXPECT_EQ(y.positions.size(), 7u);

  const Ticks x = nice_ticks(0.0, 8.188, 8, false);
  EXPECT_EQ(x.step, 1.0);
  EXPECT_EQ(x.lo, 0.0);
  EXPECT_EQ(x.hi, 8.188);
  EXPECT_EQ(x.positions.back(), 8.0);

  const Ticks small = nice_ticks(0.0012, 0.0049, 6, true);
  EXPECT_DOUBLE_EQ(small.step, 0.0005);
  EXPECT_EQ(tick_label(small.positions[1], small.step), "0.0015");
  EXPECT_EQ(tick_label(-1e-17, 0.5), "0.0");

  const Ticks flat = nice_ticks(5.0, 5.0, 6, true); // a constant channel still gets an axis
  EXPECT_LT(flat.lo, 5.0);
  EXPECT_GT(flat.hi, 5.0);
}
