#include "svg_plot.h"

#include "text_encoding.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
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

namespace {

constexpr double kFont = 12.0;       // every text but the title
constexpr double kTitleFont = 14.0;  // the title, its baseline at 20
constexpr double kTitleBand = 30.0;  // above the first legend
constexpr double kLegendRow = 16.0;  // one row of legend entries
constexpr double kLegendPad = 6.0;   // between a legend and its panel
constexpr double kPanelGap = 12.0;   // between a panel and the next legend
constexpr double kBottomBand = 50.0; // time tick labels and the x label
constexpr double kMinLeft = 80.0;    // y tick labels and the y label
constexpr double kMinRight = 20.0;   // room for the last time tick label
constexpr double kYLabelX = 16.0;    // centre line of the rotated y labels
constexpr double kLegendLine = 20.0; // sample line of a legend entry
constexpr double kLegendText = 25.0; // its text, from the entry's start
constexpr double kLegendGap = 15.0;  // between entries of a row
constexpr const char *kEllipsis = "\xE2\x80\xA6";

// Length in bytes of the UTF-8 character that starts with lead.
size_t char_length(unsigned char lead) {
  return lead < 0xC0 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
}

// The character of utf8 (valid UTF-8) that starts at `at`.
unsigned code_point(const std::string &utf8, size_t at) {
  const size_t length = char_length(static_cast<unsigned char>(utf8[at]));
  unsigned code =
      static_cast<unsigned char>(utf8[at]) & (length == 1 ? 0x7Fu : 0x3Fu >> (length - 1));
  for (size_t k = 1; k < length && at + k < utf8.size(); ++k)
    code = code << 6 | (static_cast<unsigned char>(utf8[at + k]) & 0x3Fu);
  return code;
}

// Width of a character in em, rounded up from the advance widths of
// DejaVu Sans, the usual default sans-serif font: ASCII by class, Latin-1
// letters and signs, and a little over an em for anything else. No font is
// at hand when the SVG is written; a little slack beats cut-off text.
double char_width(unsigned code) {
  if (code == 0) return 0.0;
  if (code >= 0x100) return 1.1;
  if (code >= 0x80)
    return std::strchr("\xA9\xAE\xBC\xBD\xBE\xC6\xE6", static_cast<int>(code)) ? 1.0 : 0.85;
  const char c = static_cast<char>(code);
  if (std::strchr(" !'(),-./:;IJ[\\]fijlrt|", c)) return 0.42;
  if (std::strchr("%#+<=>@^~MWmw", c)) return 1.0;
  if ((c >= 'A' && c <= 'Z') || c == '&') return 0.8;
  return 0.65;
}

double utf8_width(const std::string &utf8, double font_size) {
  double em = 0.0;
  for (size_t at = 0; at < utf8.size(); at += char_length(static_cast<unsigned char>(utf8[at])))
    em += char_width(code_point(utf8, at));
  return em * font_size;
}

// Estimated width in pixels of text (converted to UTF-8 first).
double text_width(const std::string &text, double font_size) {
  return utf8_width(utf8_text(text), font_size);
}

// text as UTF-8, cut after a whole character and ended with an ellipsis
// when its estimated width exceeds max_width.
std::string fit_text(const std::string &text, double max_width, double font_size) {
  const std::string utf8 = utf8_text(text);
  if (utf8_width(utf8, font_size) <= max_width) return utf8;
  double width = utf8_width(kEllipsis, font_size);
  if (width > max_width) return std::string();
  size_t end = 0;
  while (end < utf8.size()) {
    width += char_width(code_point(utf8, end)) * font_size;
    if (width > max_width) break;
    end += char_length(static_cast<unsigned char>(utf8[end]));
  }
  while (end > 0 && utf8[end - 1] == ' ') --end;
  return utf8.substr(0, end) + kEllipsis;
}

} // namespace

PlotArea plot_area(const PlotLayout &layout) {
  const double top = kTitleBand + kLegendRow + kLegendPad;
  return {kMinLeft, top, std::max(10.0, layout.width - kMinLeft - kMinRight),
          std::max(10.0, layout.height - top - kBottomBand)};
}

namespace {

std::string escape(const std::string &text) {
  std::string out;
  for (char c : utf8_text(text)) {
    switch (c) {
    case '&': out += "&amp;"; break;
    case '<': out += "&lt;"; break;
    case '>': out += "&gt;"; break;
    case '"': out += "&quot;"; break;
    case '\'': out += "&apos;"; break;
    default: out += c;
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

void append_rect(std::string &out, const PlotArea &area, const std::string &attributes) {
  out += "<rect " + attributes + " x=\"";
  append_number(out, area.left);
  out += "\" y=\"";
  append_number(out, area.top);
  out += "\" width=\"";
  append_number(out, area.width);
  out += "\" height=\"";
  append_number(out, area.height);
  out += "\" fill=\"none\" stroke=\"black\"/>\n";
}

// Colours repeat after eight series, dashed the second time round, dotted
// the third.
const char *const palette[] = {"#1f77b4", "#d62728", "#2ca02c", "#ff7f0e",
                               "#9467bd", "#8c564b", "#e377c2", "#17becf"};
constexpr size_t kColours = sizeof palette / sizeof palette[0];

std::string stroke(size_t k, const char *width) {
  static const char *const dashes[] = {"", " stroke-dasharray=\"6 3\"",
                                       " stroke-dasharray=\"2 2\""};
  return std::string(" stroke=\"") + palette[k % kColours] + "\" stroke-width=\"" + width + "\"" +
         dashes[k / kColours % 3];
}

// Legend entries of a panel, left to right in rows that end at right.
struct LegendEntry {
  double x;
  int row;
  std::string label;
};

std::vector<LegendEntry> legend_entries(const std::vector<PlotSeries> &series, double left,
                                        double right, int &rows) {
  std::vector<LegendEntry> entries;
  double x = left;
  int row = 0;
  for (const PlotSeries &s : series) {
    std::string label = fit_text(s.label, right - left - kLegendText, kFont);
    const double width = kLegendText + utf8_width(label, kFont);
    if (x > left && x + width > right) ++row, x = left;
    entries.push_back({x, row, std::move(label)});
    x += width + kLegendGap;
  }
  rows = row + 1;
  return entries;
}

double widest_label(const Ticks &ticks) {
  double widest = 0.0;
  for (double v : ticks.positions)
    widest = std::max(widest, utf8_width(tick_label(v, ticks.step), kFont));
  return widest;
}

} // namespace

std::string render_svg(const PlotLayout &layout, const std::vector<PlotPanel> &given) {
  const std::vector<PlotPanel> one_empty(1);
  const std::vector<PlotPanel> &panels = given.empty() ? one_empty : given;
  const size_t n = panels.size();
  const double width = layout.width;

  // Panel height: what the requested height leaves when each legend takes
  // one row, never less than the minimum.
  const double fixed = kTitleBand + kBottomBand +
                       static_cast<double>(n) * (kLegendRow + kLegendPad) +
                       static_cast<double>(n - 1) * kPanelGap;
  const double panel_height =
      std::max(kMinPanelHeight, (layout.height - fixed) / static_cast<double>(n));

  // y ticks per panel, about one per 65 pixels; the widest label sets the
  // left margin.
  const int y_target = std::clamp(static_cast<int>(panel_height / 65.0), 2, 6);
  std::vector<Ticks> y_ticks;
  double left = kMinLeft;
  for (const PlotPanel &panel : panels) {
    double lo = std::numeric_limits<double>::infinity(), hi = -lo;
    for (const PlotSeries &s : panel.series)
      if (s.lo <= s.hi) lo = std::min(lo, s.lo), hi = std::max(hi, s.hi);
    if (lo > hi) lo = hi = 0.0; // nothing finite to draw
    y_ticks.push_back(nice_ticks(lo, hi, y_target, true));
    left = std::max(left, widest_label(y_ticks.back()) + 34.0);
  }

  // Time ticks: fewer while their labels would touch; half the widest
  // label sets the right margin.
  size_t longest = 0;
  for (const PlotPanel &panel : panels)
    for (const PlotSeries &s : panel.series) longest = std::max(longest, s.count);
  const double t0 = layout.start_time;
  const double t1 =
      longest > 1 ? t0 + static_cast<double>(longest - 1) * layout.dt : t0 + layout.dt;
  const double nominal = std::max(10.0, width - left - kMinRight);
  Ticks x = nice_ticks(t0, t1, 8, false);
  for (int target = 7; target >= 2 && x.positions.size() > 1 &&
                       widest_label(x) + 10.0 > x.step / (x.hi - x.lo) * nominal;
       --target)
    x = nice_ticks(t0, t1, target, false);
  const double right = std::max(kMinRight, widest_label(x) / 2 + 4.0);
  const double area_width = std::max(10.0, width - left - right);
  auto to_x = [&](double t) { return left + (t - x.lo) / (x.hi - x.lo) * area_width; };

  // Legends start above the plot area and wrap at its right end; when the
  // widest entry is wider than that, they take the SVG's whole width. The
  // SVG grows by the rows beyond the first.
  double widest_entry = 0.0;
  for (const PlotPanel &panel : panels)
    for (const PlotSeries &s : panel.series)
      widest_entry = std::max(widest_entry, kLegendText + text_width(s.label, kFont));
  const double legend_left = widest_entry <= area_width ? left : 10.0;
  const double legend_right = widest_entry <= area_width ? left + area_width : width - 10.0;
  std::vector<std::vector<LegendEntry>> legends;
  std::vector<int> rows(n);
  double height = kTitleBand + kBottomBand + static_cast<double>(n - 1) * kPanelGap;
  for (size_t p = 0; p < n; ++p) {
    legends.push_back(legend_entries(panels[p].series, legend_left, legend_right, rows[p]));
    height += rows[p] * kLegendRow + kLegendPad + panel_height;
  }
  const int svg_height = static_cast<int>(std::ceil(height - 1e-6));

  std::string out;
  out += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  out += "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + std::to_string(layout.width) +
         "\" height=\"" + std::to_string(svg_height) + "\" viewBox=\"0 0 " +
         std::to_string(layout.width) + " " + std::to_string(svg_height) +
         "\" font-family=\"sans-serif\" font-size=\"12\">\n";
  out += "<title>" + escape(layout.title) + "</title>\n";
  out += "<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n";
  append_text(out, width / 2, 20, "middle", fit_text(layout.title, width - 20, kTitleFont),
              " font-size=\"14\"");

  double top = kTitleBand;
  size_t drawn = 0; // series of the panels above
  auto colour = [&](const PlotSeries &s, size_t k) {
    return s.colour < 0 ? drawn + k : static_cast<size_t>(s.colour);
  };
  PlotArea area{left, top, area_width, panel_height};
  for (size_t p = 0; p < n; ++p) {
    const PlotPanel &panel = panels[p];
    const Ticks &y = y_ticks[p];
    out += "<g class=\"panel\" id=\"panel-" + std::to_string(p + 1) + "\">\n";
    for (size_t k = 0; k < legends[p].size(); ++k) {
      const LegendEntry &e = legends[p][k];
      const double baseline = top + (e.row + 1) * kLegendRow - 4.0;
      out += "<g class=\"legend\"" + stroke(colour(panel.series[k], k), "2") + ">";
      append_line(out, e.x, baseline - 4.0, e.x + kLegendLine, baseline - 4.0);
      out += "</g>\n";
      append_text(out, e.x + kLegendText, baseline, "start", e.label);
    }
    area.top = top + rows[p] * kLegendRow + kLegendPad;
    const double bottom = area.top + area.height, area_right = left + area_width;
    auto to_y = [&](double v) { return area.top + (y.hi - v) / (y.hi - y.lo) * area.height; };

    out += "<g class=\"grid\" stroke=\"#e0e0e0\" stroke-width=\"1\">\n";
    for (double t : x.positions) append_line(out, to_x(t), area.top, to_x(t), bottom);
    for (double v : y.positions) append_line(out, left, to_y(v), area_right, to_y(v));
    out += "</g>\n<g class=\"y-axis\" stroke=\"black\">\n";
    for (double v : y.positions) append_line(out, left - 5, to_y(v), left, to_y(v));
    out += "</g>\n<g class=\"y-tick-labels\">\n";
    for (double v : y.positions)
      append_text(out, left - 8, to_y(v) + 4, "end", tick_label(v, y.step));
    out += "</g>\n";

    // The y label along the panel: the long form when it fits.
    const double centre = area.top + area.height / 2;
    const std::string y_label =
        text_width(panel.y_label, kFont) <= area.height || panel.y_label_short.empty()
            ? fit_text(panel.y_label, area.height, kFont)
            : fit_text(panel.y_label_short, area.height, kFont);
    char rotate[96];
    std::snprintf(rotate, sizeof rotate, " transform=\"rotate(-90 %.1f %.1f)\"", kYLabelX, centre);
    append_text(out, kYLabelX, centre, "middle", y_label, rotate);

    append_rect(out, area,
                p == 0 ? "class=\"plot-area\" id=\"plot-area\""
                       : "class=\"plot-area\" id=\"plot-area-" + std::to_string(p + 1) + "\"");
    for (size_t k = 0; k < panel.series.size(); ++k) {
      const PlotSeries &s = panel.series[k];
      const size_t c = colour(s, k);
      if (s.index.size() == 1) { // a line needs two points: a dot
        out += "<circle class=\"channel\" r=\"2.5\" fill=\"";
        out += palette[c % kColours];
        out += "\" cx=\"";
        append_number(out, to_x(t0 + static_cast<double>(s.index[0]) * layout.dt));
        out += "\" cy=\"";
        append_number(out, to_y(s.value[0]));
        out += "\"/>\n";
      }
      out += "<polyline class=\"channel\" fill=\"none\"" + stroke(c, "1") + " points=\"";
      for (size_t j = 0; j < s.index.size(); ++j) {
        if (j) out += ' ';
        append_number(out, to_x(t0 + static_cast<double>(s.index[j]) * layout.dt));
        out += ',';
        append_number(out, to_y(s.value[j]));
      }
      out += "\"/>\n";
    }
    out += "</g>\n";
    drawn += panel.series.size();
    top = bottom + kPanelGap;
  }

  // The shared time axis under the last panel.
  const double bottom = area.top + area.height;
  out += "<g id=\"x-axis\" stroke=\"black\">\n";
  for (double t : x.positions) append_line(out, to_x(t), bottom, to_x(t), bottom + 5);
  out += "</g>\n<g id=\"x-tick-labels\">\n";
  for (double t : x.positions)
    append_text(out, to_x(t), bottom + 18, "middle", tick_label(t, x.step));
  out += "</g>\n";
  append_text(out, left + area_width / 2, bottom + kBottomBand - 10.0, "middle",
              fit_text(layout.x_label, width - 20, kFont));
  out += "</svg>\n";
  return out;
}

std::string render_svg(const PlotLayout &layout, const std::vector<PlotSeries> &series) {
  return render_svg(layout, {PlotPanel{layout.y_label, "", series}});
}

} // namespace zel_tool
