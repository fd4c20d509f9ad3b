// Line plots of channels as SVG: axes with round-numbered ticks, labels, one
// polyline per channel, decimated to the minimum and maximum of each pixel
// column so that long channels plot fast and stay small.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace zel_tool {

// Indices (ascending) of the samples to draw when n samples are spread over
// columns pixel columns: per column the minimum and the maximum, in the
// order they occur; all indices when there are no more than 2 * columns.
// Samples that are not finite are never chosen.
std::vector<size_t> decimate_min_max(const double *values, size_t n, int columns);

// Round tick positions covering [lo, hi] with about target intervals: steps
// of 1, 2 or 5 times a power of ten. With expand, lo and hi are widened to
// the outermost ticks; otherwise only ticks inside [lo, hi] are returned.
struct Ticks {
  double lo = 0.0;
  double hi = 0.0;
  double step = 0.0;
  std::vector<double> positions;
};
Ticks nice_ticks(double lo, double hi, int target, bool expand);

// Tick label: as many decimals as the step needs, no more.
std::string tick_label(double value, double step);

struct PlotSeries {
  std::string label; // legend text
  const double *values;
  size_t count;
};

struct PlotLayout {
  int width = 1000;
  int height = 500;
  std::string title;
  std::string x_label = "Time [s]";
  std::string y_label;
  double start_time = 0.0;
  double dt = 1.0;
};

// The plot area's rectangle in the SVG (id "plot-area").
struct PlotArea {
  double left, top, width, height;
};
PlotArea plot_area(const PlotLayout &layout);

std::string render_svg(const PlotLayout &layout, const std::vector<PlotSeries> &series);

} // namespace zel_tool
