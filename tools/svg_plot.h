// Line plots of channels as SVG: axes with round-numbered ticks, labels, one
// polyline per channel, decimated to the minimum and maximum of each pixel
// column so that long channels plot fast and stay small. Several panels
// stack on one time axis; legends wrap into rows and the SVG grows to hold
// them, so no text is ever cut off.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace zel_tool {

// Chooses the samples to draw when n samples are spread over `columns` pixel
// columns: per column the minimum and the maximum, in the order they occur;
// every sample when there are no more than 2 * columns. Samples that are
// not finite are never chosen. The samples arrive in order, in blocks of any
// size, so a channel never needs to be in memory whole.
class MinMaxDecimator {
public:
  MinMaxDecimator(size_t n, int columns);
  void add(const double *values, size_t count);
  // The chosen samples, ascending by index (complete after the last add).
  const std::vector<size_t> &indices();
  const std::vector<double> &values();
  // Smallest and largest finite sample seen (lo > hi when there is none).
  double lo() const { return lo_; }
  double hi() const { return hi_; }

private:
  void close_column();
  size_t n_, cols_, next_ = 0, column_ = 0, column_end_ = 0;
  bool all_;
  size_t lo_at_ = 0, hi_at_ = 0;
  double lo_value_, hi_value_, lo_, hi_;
  std::vector<size_t> keep_;
  std::vector<double> kept_;
};

// The same over a whole array: the chosen indices.
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

// One channel as the plot draws it: the decimated samples.
struct PlotSeries {
  std::string label;         // legend text
  size_t count = 0;          // samples of the channel
  std::vector<size_t> index; // samples kept
  std::vector<double> value;
  double lo = 0.0, hi = -1.0; // finite range of all samples (lo > hi: none)
  int colour = -1;            // palette entry; -1: the series' place in the figure
};

// Decimates a channel that arrives in blocks through `feed`, which calls its
// argument with each block in order.
template <typename Feed>
PlotSeries plot_series(std::string label, size_t count, int columns, Feed &&feed) {
  MinMaxDecimator d(count, columns);
  feed([&](const double *v, size_t k) { d.add(v, k); });
  PlotSeries s;
  s.label = std::move(label);
  s.count = count;
  s.index = d.indices();
  s.value = d.values();
  s.lo = d.lo();
  s.hi = d.hi();
  return s;
}

// The figure: panels stacked top to bottom, each with its legend above it and
// its own y axis, all sharing the time axis drawn under the last one.
struct PlotLayout {
  int width = 1000;
  // The SVG's height while every legend fits one row and every panel is at
  // least kMinPanelHeight tall; it grows by what more they need.
  int height = 500;
  std::string title;
  std::string x_label = "Time [s]";
  std::string y_label; // of the one panel of render_svg(layout, series)
  double start_time = 0.0;
  double dt = 1.0;
};

constexpr double kMinPanelHeight = 100.0;

// One panel: the series drawn against one y axis.
struct PlotPanel {
  std::string y_label;       // beside the y axis when it fits the panel's height,
  std::string y_label_short; // else this one, shortened with an ellipsis if need be
  std::vector<PlotSeries> series;
};

// The widest plot area the layout allows, with the narrowest margins: the
// number of pixel columns worth decimating to. The drawn areas (rectangles
// of class "plot-area"; the first one's id is "plot-area") are no wider.
struct PlotArea {
  double left, top, width, height;
};
PlotArea plot_area(const PlotLayout &layout);

// Every text of the SVG goes through utf8_text and is escaped, so the SVG
// is well-formed XML whatever bytes the labels hold.
std::string render_svg(const PlotLayout &layout, const std::vector<PlotPanel> &panels);
std::string render_svg(const PlotLayout &layout, const std::vector<PlotSeries> &series);

} // namespace zel_tool
