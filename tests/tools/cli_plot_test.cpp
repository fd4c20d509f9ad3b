// zel plot: well-formed SVG, polylines inside the plot area, peaks kept;
// the min/max decimator and the ticks underneath.
#include "cli_support.h"
#include "svg_plot.h"

#include <limits>
#include <map>

using namespace cli_test;
using namespace zel_tool;

namespace {

// Checks that tags nest and close properly; returns each element's name
// with its name="value" attributes (name under "").
std::vector<std::map<std::string, std::string>> parse_svg(const std::string &svg) {
  std::vector<std::map<std::string, std::string>> elements;
  std::vector<std::string> open;
  for (size_t at = svg.find('<'), end; at != std::string::npos; at = svg.find('<', end)) {
    if ((end = svg.find('>', at)) == std::string::npos) throw std::runtime_error("unclosed tag");
    const std::string tag = svg.substr(at + 1, end - at - 1);
    if (tag.empty() || tag[0] == '?' || tag[0] == '!') continue;
    if (tag[0] == '/') {
      if (open.empty() || open.back() != tag.substr(1)) throw std::runtime_error("mismatched <" + tag + ">");
      open.pop_back();
      continue;
    }
    std::map<std::string, std::string> e = {{"", tag.substr(0, tag.find_first_of(" \n/"))}};
    for (size_t eq = tag.find("=\""), close; eq != std::string::npos; eq = tag.find("=\"", close)) {
      if ((close = tag.find('"', eq + 2)) == std::string::npos) throw std::runtime_error("unterminated attribute");
      const size_t name = tag.find_last_of(" \n", eq) + 1;
      e[tag.substr(name, eq - name)] = tag.substr(eq + 2, close - eq - 2);
    }
    if (tag.back() != '/') open.push_back(e[""]);
    elements.push_back(e);
  }
  if (!open.empty()) throw std::runtime_error("unclosed <" + open.back() + ">");
  return elements;
}

} // namespace

TEST(CliPlot, LongChannelsGiveSmallWellFormedSvgInsideThePlotArea) {
  TempDir dir;
  const size_t n = 200000;
  Columns c(2, std::vector<double>(n));
  for (size_t i = 0; i < n; ++i) c[0][i] = std::sin(double(i) * 0.001) * 100.0, c[1][i] = std::cos(double(i) * 0.0003) * 50.0 - 20.0;
  c[0][123457] = 400.0; // one-sample spikes must survive decimation
  c[1][77777] = -300.0;
  write_rpc(dir.file("long.rsp"), c, 0.001, true, {{"Spindle <load> & more", "kN"}, {"Other", "kN"}});
  const Outcome run = run_zel(dir, {"plot", dir.file("long.rsp"), "-c", "1", "--channel", "2", "-o", dir.file("p.svg")});
  ASSERT_EQ(run.status, 0) << run.err;
  const std::string svg = slurp(dir.file("p.svg"));
  EXPECT_LT(svg.size(), 100000u);
  EXPECT_NE(svg.find("Spindle &lt;load&gt; &amp; more"), std::string::npos);
  EXPECT_NE(svg.find("Time [s]"), std::string::npos);
  std::vector<std::map<std::string, std::string>> elements, lines;
  ASSERT_NO_THROW(elements = parse_svg(svg));
  ASSERT_EQ(elements.front()[""], "svg");
  double left = 0, top = 0, right = -1, bottom = -1;
  for (auto &e : elements) {
    if (e[""] == "rect" && e["id"] == "plot-area")
      left = std::stod(e["x"]), top = std::stod(e["y"]), right = left + std::stod(e["width"]), bottom = top + std::stod(e["height"]);
    if (e[""] == "polyline") lines.push_back(e);
  }
  ASSERT_EQ(lines.size(), 2u);
  ASSERT_LT(left, right);
  double highest[2] = {bottom, bottom}, lowest[2] = {top, top};
  for (size_t k = 0; k < 2; ++k) {
    std::istringstream in(lines[k]["points"]);
    double x, y, previous = left, count = 0;
    for (char comma; in >> x >> comma >> y; ++count, previous = x) {
      ASSERT_TRUE(x >= previous && x <= right && y >= top && y <= bottom) << x << "," << y; // time runs left to right
      highest[k] = std::min(highest[k], y), lowest[k] = std::max(lowest[k], y);
    }
    EXPECT_GT(count, 100);
    EXPECT_LE(count, 2 * (right - left));
  }
  // The spikes set the y range: channel 1's is the highest point drawn, channel 2's the lowest.
  EXPECT_LT(highest[0], highest[1]);
  EXPECT_GT(lowest[1], lowest[0]);
  EXPECT_LT(highest[0] - top, 0.2 * (bottom - top));
  EXPECT_GT(lowest[1] - top, 0.8 * (bottom - top));

  std::filesystem::create_directories(dir.path() / "data"); // a short channel keeps every sample,
  write_dac(dir.file("data/short.dac"), {1, 3, 2, 5, 4, 0, 2}, 10.0, 0.0, "Travel", "mm");
  ASSERT_EQ(run_zel(dir, {"plot", dir.file("data/short.dac"), "-c", "1"}).status, 0);
  const std::string small = slurp(dir.file("short.svg")); // named after the input, in the current directory
  EXPECT_NE(small.find("Travel [mm]"), std::string::npos);
  for (auto &e : parse_svg(small))
    if (e[""] == "polyline") {
      EXPECT_EQ(std::count(e["points"].begin(), e["points"].end(), ','), 7);
    }
}

TEST(CliDecimation, KeepsEachColumnsExtremesInOrderAndNoMore) {
  const size_t n = 100003; // not a multiple of the column count
  const int columns = 97;
  std::vector<double> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = std::sin(double(i) * 0.37) * double(i % 1000);
  v[5000] = 1e6, v[99999] = -1e6;
  const std::vector<size_t> keep = decimate_min_max(v.data(), n, columns);
  ASSERT_LE(keep.size(), 2u * columns);
  EXPECT_TRUE(std::is_sorted(keep.begin(), keep.end()));
  const PlotSeries s = plot_series("x", n, columns, [&](auto &&sink) { // fed in blocks: the same samples
    for (size_t i = 0; i < n; i += 7777) sink(v.data() + i, std::min<size_t>(7777, n - i));
  });
  EXPECT_EQ(s.index, keep);
  for (size_t j = 0; j < keep.size(); ++j) ASSERT_EQ(s.value[j], v[keep[j]]);
  EXPECT_EQ(s.hi - s.lo, 2e6);
  for (int c = 0; c < columns; ++c) { // every column's minimum and maximum, found the slow way, is kept
    const auto begin = v.begin() + c * long(n) / columns, end = v.begin() + (c + 1) * long(n) / columns;
    for (auto extreme : {std::min_element(begin, end), std::max_element(begin, end)})
      EXPECT_NE(std::find(keep.begin(), keep.end(), size_t(extreme - v.begin())), keep.end()) << c;
  }
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const std::vector<double> short_one = {1, nan, 3};
  EXPECT_EQ(decimate_min_max(short_one.data(), 3, 10), (std::vector<size_t>{0, 2}));
  std::vector<double> nans(1000, nan);
  nans[10] = 1.0;
  EXPECT_EQ(decimate_min_max(nans.data(), nans.size(), 4), (std::vector<size_t>{10}));
  EXPECT_TRUE(decimate_min_max(nans.data(), 0, 4).empty());
}

TEST(CliTicks, RoundStepsCoverTheRange) {
  const Ticks y = nice_ticks(-220.72, 241.96, 6, true), x = nice_ticks(0.0, 8.188, 8, false);
  EXPECT_EQ(std::vector<double>({y.step, y.lo, y.hi, double(y.positions.size())}), std::vector<double>({100, -300, 300, 7}));
  EXPECT_EQ(std::vector<double>({x.step, x.lo, x.hi, x.positions.back()}), std::vector<double>({1, 0, 8.188, 8}));
  const Ticks small = nice_ticks(0.0012, 0.0049, 6, true);
  EXPECT_DOUBLE_EQ(small.step, 0.0005);
  EXPECT_EQ(tick_label(small.positions[1], small.step), "0.0015");
  EXPECT_EQ(tick_label(-1e-17, 0.5), "0.0");
  const Ticks flat = nice_ticks(5.0, 5.0, 6, true); // a constant channel still gets an axis
  EXPECT_TRUE(flat.lo < 5.0 && flat.hi > 5.0);
}
