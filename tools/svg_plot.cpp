#include "svg_plot.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

namespace zel_tool {

MinMaxDecimator::MinMaxDecimator(size_t n, int columns)
    : n_(n), cols_(static_cast<size_t>(columns < 1 ? 1 : columns)), all_(n <= 2 * cols_),
      lo_value_(std::numeric_limits<double>::infinity()), hi_value_(-lo_value_), lo_(lo_value_),
      hi_(hi_value_) {
  // Column c holds samples [c n / cols, (c + 1) n / cols).
  column_end_ = all_ ? n_ : static_cast<size_t>(static_cast<uint64_t>(1) * n_ / cols_);
  keep_.reserve(all_ ? n_ : 2 * cols_);
}

void MinMaxDecimator::close_column() {
  // Infinite samples become the extreme only when the column holds nothing
  // else; they are dropped here.
  const bool lo_ok = std::isfinite(lo_value_), hi_ok = std::isfinite(hi_value_);
  auto keep = [&](size_t at, double v) {
    keep_.push_back(at);
    kept_.push_back(v);
  };
  if (lo_ok && hi_ok && lo_at_ != hi_at_) {
    if (lo_at_ < hi_at_)
      keep(lo_at_, lo_value_), keep(hi_at_, hi_value_);
    else
      keep(hi_at_, hi_value_), keep(lo_at_, lo_value_);
  } else if (lo_ok) {
    keep(lo_at_, lo_value_);
  } else if (hi_ok) {
    keep(hi_at_, hi_value_);
  }
  lo_value_ = std::numeric_limits<double>::infinity();
  hi_value_ = -lo_value_;
  ++column_;
  column_end_ = static_cast<size_t>(static_cast<uint64_t>(column_ + 1) * n_ / cols_);
}

void MinMaxDecimator::add(const double *values, size_t count) {
  for (size_t k = 0; k < count && next_ < n_; ++k, ++next_) {
    const double v = values[k];
    if (std::isfinite(v)) {
      lo_ = std::min(lo_, v);
      hi_ = std::max(hi_, v);
      if (all_) {
        keep_.push_back(next_);
        kept_.push_back(v);
        continue;
      }
    }
    if (all_) continue;
    if (next_ >= column_end_) close_column();
    if (v < lo_value_) lo_value_ = v, lo_at_ = next_;
    if (v > hi_value_) hi_value_ = v, hi_at_ = next_;
  }
}

const std::vector<size_t> &MinMaxDecimator::indices() {
  if (!all_ && next_ == n_ && column_ < cols_) close_column();
  return keep_;
}

const std::vector<double> &MinMaxDecimator::values() {
  indices();
  return kept_;
}

std::vector<size_t> decimate_min_max(const double *values, size_t n, int columns) {
  MinMaxDecimator d(n, columns);
  d.add(values, n);
  return d.indices();
}

Ticks nice_ticks(double lo, double hi, int target, bool expand) {
  Ticks ticks;
  if (!std::isfinite(lo) || !std::isfinite(hi)) lo = hi = 0.0;
  if (hi < lo) std::swap(lo, hi);
  if (hi == lo) {
    const double pad = lo == 0.0 ? 1.0 : std::fabs(lo) * 0.1;
    lo -= pad;
    hi += pad;
  }
  if (target < 1) target = 1;
  const double raw = (hi - lo) / target;
  const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
  const double norm = raw / magnitude;
  const double step = (norm < 1.5 ? 1.0 : norm < 3.0 ? 2.0 : norm < 7.0 ? 5.0 : 10.0) * magnitude;
  ticks.step = step;
  const double slack = step * 1e-9;
  double first, last;
  if (expand) {
    first = std::floor(lo / step + 1e-9) * step;
    last = std::ceil(hi / step - 1e-9) * step;
    ticks.lo = first;
    ticks.hi = last;
  } else {
    first = std::ceil(lo / step - 1e-9) * step;
    last = std::floor(hi / step + 1e-9) * step;
    ticks.lo = lo;
    ticks.hi = hi;
  }
  const long count = std::lround((last - first) / step) + 1;
  for (long k = 0; k < count && k < 1000; ++k) {
    double position = first + static_cast<double>(k) * step;
    if (std::fabs(position) < slack) position = 0.0;
    if (!expand) position = std::clamp(position, lo, hi);
    ticks.positions.push_back(position);
  }
  return ticks;
}

std::string tick_label(double value, double step) {
  char buffer[64];
  if (std::fabs(value) < step * 1e-9) value = 0.0;
  const double magnitude = std::max(std::fabs(value), step);
  if (magnitude >= 1e7 || step < 1e-6) {
    std::snprintf(buffer, sizeof buffer, "%g", value);
  } else {
    const int decimals = step >= 1.0 ? 0 : static_cast<int>(std::ceil(-std::log10(step) - 1e-9));
    std::snprintf(buffer, sizeof buffer, "%.*f", decimals, value);
  }
  return buffer;
}

PlotArea plot_area(const PlotLayout &layout) {
  const double left = 80, right = 20, top = 50, bottom = 50;
  return {left, top, std::max(10.0, layout.width - left - right),
          std::max(10.0, layout.height - top - bottom)};
}

namespace {

std::string escape(const std::string &text) {
  std::string out;
  for (char c : text) {
    switch (c) {
    case '&': out += "&amp;"; break;
    case '<': out += "&lt;"; break;
    case '>': out += "&gt;"; break;
    case '"': out += "&quot;"; break;
    default:
      // Control characters are not allowed in XML text.
      if (static_cast<unsigned char>(c) >= 0x20 || c == '\t') out += c;
    }
  }
  return out;
}

void append_number(std::string &out, double value) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.1f", value);
  out += buffer;
}

void append_line(std::string &out, double x1, double y1, double x2, double y2) {
  out += "<line x1=\"";
  append_number(out, x1);
  out += "\" y1=\"";
  append_number(out, y1);
  out += "\" x2=\"";
  append_number(out, x2);
  out += "\" y2=\"";
  append_number(out, y2);
  out += "\"/>\n";
}

void append_text(std::string &out, double x, double y, const char *anchor, const std::string &text,
                 const std::string &extra = "") {
  out += "<text x=\"";
  append_number(out, x);
  out += "\" y=\"";
  append_number(out, y);
  out += "\" text-anchor=\"";
  out += anchor;
  out += "\"";
  out += extra;
  out += ">";
  out += escape(text);
  out += "</text>\n";
}

const char *const palette[] = {"#1f77b4", "#d62728", "#2ca02c", "#ff7f0e",
                               "#9467bd", "#8c564b", "#e377c2", "#17becf"};

} // namespace

std::string render_svg(const PlotLayout &layout, const std::vector<PlotSeries> &series) {
  const PlotArea area = plot_area(layout);

  size_t longest = 0;
  double lo = std::numeric_limits<double>::infinity();
  double hi = -lo;
  for (const PlotSeries &s : series) {
    longest = std::max(longest, s.count);
    if (s.lo <= s.hi) {
      lo = std::min(lo, s.lo);
      hi = std::max(hi, s.hi);
    }
  }
  if (lo > hi) lo = hi = 0.0; // nothing finite to draw
  const Ticks y = nice_ticks(lo, hi, 6, true);
  const double t0 = layout.start_time;
  const double t1 =
      longest > 1 ? t0 + static_cast<double>(longest - 1) * layout.dt : t0 + layout.dt;
  const Ticks x = nice_ticks(t0, t1, 8, false);

  auto to_x = [&](double t) { return area.left + (t - x.lo) / (x.hi - x.lo) * area.width; };
  auto to_y = [&](double v) { return area.top + (y.hi - v) / (y.hi - y.lo) * area.height; };
  const double right = area.left + area.width;
  const double bottom = area.top + area.height;

  std::string out;
  out += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  out += "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + std::to_string(layout.width) +
         "\" height=\"" + std::to_string(layout.height) + "\" viewBox=\"0 0 " +
         std::to_string(layout.width) + " " + std::to_string(layout.height) +
         "\" font-family=\"sans-serif\" font-size=\"12\">\n";
  out += "<title>" + escape(layout.title) + "</title>\n";
  out += "<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n";

  out += "<g id=\"grid\" stroke=\"#e0e0e0\" stroke-width=\"1\">\n";
  for (double t : x.positions) append_line(out, to_x(t), area.top, to_x(t), bottom);
  for (double v : y.positions) append_line(out, area.left, to_y(v), right, to_y(v));
  out += "</g>\n";

  out += "<g id=\"x-axis\" stroke=\"black\">\n";
  for (double t : x.positions) append_line(out, to_x(t), bottom, to_x(t), bottom + 5);
  out += "</g>\n<g id=\"x-tick-labels\">\n";
  for (double t : x.positions)
    append_text(out, to_x(t), bottom + 18, "middle", tick_label(t, x.step));
  out += "</g>\n<g id=\"y-axis\" stroke=\"black\">\n";
  for (double v : y.positions) append_line(out, area.left - 5, to_y(v), area.left, to_y(v));
  out += "</g>\n<g id=\"y-tick-labels\">\n";
  for (double v : y.positions)
    append_text(out, area.left - 8, to_y(v) + 4, "end", tick_label(v, y.step));
  out += "</g>\n";

  append_text(out, area.left + area.width / 2, layout.height - 10.0, "middle", layout.x_label);
  const double y_centre = area.top + area.height / 2;
  char rotate[96];
  std::snprintf(rotate, sizeof rotate, " transform=\"rotate(-90 16 %.1f)\"", y_centre);
  append_text(out, 16, y_centre, "middle", layout.y_label, rotate);
  append_text(out, layout.width / 2.0, 20, "middle", layout.title, " font-size=\"14\"");

  // Legend, one entry per channel, in a row above the plot area.
  double legend_x = area.left;
  for (size_t k = 0; k < series.size(); ++k) {
    const char *colour = palette[k % (sizeof palette / sizeof palette[0])];
    out += "<g class=\"legend\" stroke=\"" + std::string(colour) + "\" stroke-width=\"2\">";
    append_line(out, legend_x, 38, legend_x + 20, 38);
    out += "</g>\n";
    append_text(out, legend_x + 25, 42, "start", series[k].label);
    legend_x += 40 + 7.0 * static_cast<double>(series[k].label.size());
  }

  out += "<rect id=\"plot-area\" x=\"";
  append_number(out, area.left);
  out += "\" y=\"";
  append_number(out, area.top);
  out += "\" width=\"";
  append_number(out, area.width);
  out += "\" height=\"";
  append_number(out, area.height);
  out += "\" fill=\"none\" stroke=\"black\"/>\n";

  for (size_t k = 0; k < series.size(); ++k) {
    const PlotSeries &s = series[k];
    out += "<polyline class=\"channel\" fill=\"none\" stroke-width=\"1\" stroke=\"";
    out += palette[k % (sizeof palette / sizeof palette[0])];
    out += "\" points=\"";
    for (size_t j = 0; j < s.index.size(); ++j) {
      if (j) out += ' ';
      append_number(out, to_x(t0 + static_cast<double>(s.index[j]) * layout.dt));
      out += ',';
      append_number(out, to_y(s.value[j]));
    }
    out += "\"/>\n";
  }
  out += "</svg>\n";
  return out;
}

} // namespace zel_tool
