// zel plot read back from the SVG it writes: one panel per unit with its legend, every line inside its plot area, every
// text inside the picture, well-formed XML, a PNG that renders.
#include "cli_support.h"

#include <cmath>

using namespace cli_test;

namespace {

using Names = std::vector<std::pair<std::string, std::string>>;
using Legends = std::vector<std::vector<std::string>>;
using Args = std::vector<std::string>;
const std::regex text_element(R"re(<text x="([^"]+)" y="([^"]+)" text-anchor="(\w+)"([^>]*)>([^<]*)</text>)re");

// Whether a text element's box lies in width x height: 0.4 em per space, stop, bracket, i, j or l, 0.65 em per other
// ASCII character (an escaped one counts once), 1 em per other one, 0.8 em above the baseline and 0.25 below;
// rotate(-90 cx cy) takes (px, py) to (cx + py - cy, cy - px + cx).
bool inside(const std::smatch &m, double width, double height) {
  const double x = std::stod(m[1]), y = std::stod(m[2]),
               size = m[4].str().find("\"14\"") == std::string::npos ? 12 : 14;
  double w = 0, cx, cy;
  for (unsigned char c : std::regex_replace(m[5].str(), std::regex("&\\w+;"), "&"))
    w += c >= 0x80 ? (c >= 0xC0) : strchr(" .,:;'|!ijl()[]", c) ? 0.4 : 0.65;
  const double left = x - (m[3] == "end" ? w * size : m[3] == "middle" ? w * size / 2 : 0.0);
  double box[4] = {left, y - 0.8 * size, left + w * size, y + 0.25 * size};
  if (std::sscanf(m[4].str().c_str(), " transform=\"rotate(-90 %lf %lf)", &cx, &cy) == 2)
    box[0] = cx + box[1] - cy, box[1] = cy - box[2] + cx, box[2] = cx + box[3] - cy, box[3] = cy - left + cx;
  return box[0] >= 0 && box[1] >= 0 && box[2] <= width && box[3] <= height;
}

// Per panel: its plot area, the legend texts above it (as escaped in the SVG) and per line its highest and lowest point
// as shares of the area's height from its top. Every point must lie in the area, time running left to right.
struct Panel {
  double area[4]; // left, top, width, height
  std::vector<std::string> legend;
  std::vector<std::pair<double, double>> extent;
};
std::vector<Panel> panels(const std::string &svg) {
  std::vector<Panel> out;
  const std::regex area(R"re(plot-area"[^>]* x="([^"]+)" y="([^"]+)" width="([^"]+)" height="([^"]+)")re");
  const std::string start = "<g class=\"panel\"";
  for (size_t at = svg.find(start); at != std::string::npos; at = svg.find(start, at + 1)) {
    const std::string chunk = svg.substr(at, std::min(svg.find(start, at + 1), svg.find("<g id=\"x-axis\"")) - at);
    std::smatch m;
    std::regex_search(chunk, m, area);
    Panel &p = out.emplace_back();
    for (int k = 0; k < 4; ++k) p.area[k] = std::stod(m[k + 1]);
    const auto [left, top, width, height] = p.area;
    const std::string above = m.prefix();
    for (std::sregex_iterator t(above.begin(), above.end(), text_element), end; t != end; ++t)
      if ((*t)[3] == "start") p.legend.push_back((*t)[5]);
    for (size_t l = chunk.find("points=\""); l != std::string::npos; l = chunk.find("points=\"", l + 1)) {
      std::istringstream in(chunk.substr(l + 8, chunk.find('"', l + 8) - l - 8));
      double x, y, previous = left, hi = top + height, lo = top;
      int astray = 0;
      for (; in >> x && in.ignore() >> y; previous = x, hi = std::min(hi, y), lo = std::max(lo, y))
        astray += !(x >= previous && x <= left + width && y >= top && y <= top + height);
      EXPECT_EQ(astray, 0) << "points outside the plot area or back in time";
      p.extent.emplace_back((hi - top) / height, (lo - top) / height);
    }
  }
  return out;
}

// The SVG of zel plot file args..., the file made first: the demo's road_int16.rsp, f.dac (a constant from 100000 s) or
// f.rsp (channel k a sine about -10^6, long tick labels, of amplitude 1000 in N and 1 in any other unit; 64 samples
// 0.25 s apart).
std::string plotted(const TempDir &dir, const std::string &file, const Names &names, std::vector<std::string> args) {
  Columns c(names.size(), std::vector<double>(64));
  for (size_t k = 0; k < c.size(); ++k)
    for (size_t i = 0; i < 64; ++i)
      c[k][i] = std::sin(0.3 * double(i) + double(k)) * (names[k].second == "N" ? 1e3 : 1) - 1e6;
  if (file == "f.rsp") write_rpc(dir.file(file), c, 0.25, names);
  if (file == "f.dac") write_dac(dir.file(file), std::vector<double>(64, 1.0), 4.0, 100000.0);
  if (file == "road_int16.rsp") run_zel(dir, {"demo", "."});
  args.insert(args.begin(), {"plot", file, "-o", "p.svg"});
  EXPECT_EQ(run_zel(dir, args).status, 0);
  return read_file(dir.file("p.svg"));
}

} // namespace

// Channels of one unit share a panel, panels follow the order of first appearance, stacked on one time axis; names come
// out as escaped UTF-8 (Latin-1 converted); a window may end on the last time tick. Each panel scales to its channels:
// only a channel sharing an axis with a much larger one (or a constant) is a flat line. Every text lies inside the
// picture, which grows beyond the height asked for (500 unless given) only when legends wrap or panels would be too
// short. Legends not listed are not checked.
TEST(CliPlot, PanelsLegendsAndTextInsideAValidSvg) {
  const bool tools = std::system("command -v xmllint >/dev/null && command -v rsvg-convert >/dev/null") == 0;
  const Names two = {{"a", "N"}, {"b", "N"}}, units = {{"a", "N"}, {"b", "m/s^2"}, {"c", "N"}},
              three = {{"a", "N"}, {"b", "m"}, {"c", ""}};
  // clang-format off
  const std::vector<std::tuple<const char *, Names, Args, bool, Legends, std::string>> cases = {
      {"f.rsp", two, {}, false, {{"1: a [N]", "2: b [N]"}}, ""},
      {"f.rsp", two, {"--subplots"}, false, {{"1: a [N]", "2: b [N]"}}, ""},
      {"f.rsp", units, {}, false, {{"1: a [N]", "3: c [N]"}, {"2: b [m/s^2]"}}, ""},
      {"f.rsp", units, {"-c", "2-3"}, false, {{"2: b [m/s^2]"}, {"3: c [N]"}}, ""},
      {"f.rsp", units, {"--single"}, false, {{"1: a [N]", "2: b [m/s^2]", "3: c [N]"}}, "2: b [m/s^2]"},
      {"f.rsp", {{"a", "N"}, {"b", ""}}, {}, false, {{"1: a [N]"}, {"2: b"}}, ""},
      {"f.rsp", {{"L\xE4nge <&>\"'", "\xB5m"}}, {}, false, {{"1: L\u00e4nge &lt;&amp;&gt;&quot;&apos; [\u00b5m]"}}, ""},
      {"f.rsp", three, {"--height", "150"}, true, {{"1: a [N]"}, {"2: b [m]"}, {"3: c"}}, ""},
      {"f.rsp", {{"a", "N"}}, {"--start", "0.5", "--end", "0.5"}, false, {{"1: a [N]"}}, "1: a [N]"},
      {"f.dac", {}, {"--end", "100014"}, false, {{"1: Travel [mm]"}}, "1: Travel [mm]"},
      {"f.rsp", Names(12, {"Wheel force", "N"}), {"--width", "200"}, true, {}, ""},
      {"f.rsp", {{std::string(300, 'W'), ""}}, {"--width", "200"}, false, {}, ""},
      {"road_int16.rsp", {}, {}, false, {}, "4: Body acceleration z [m/s^2]"},
  };
  // clang-format on
  for (const auto &[file, names, options, grows, expected, flat] : cases) {
    SCOPED_TRACE(::testing::PrintToString(options) + " on " + file + " of " + std::to_string(names.size()));
    TempDir dir;
    const std::string svg = plotted(dir, file, names, options);
    double width = 0, height = 0;
    std::sscanf(svg.c_str() + svg.find("viewBox="), "viewBox=\"0 0 %lf %lf\"", &width, &height);
    EXPECT_EQ(height > (options.size() > 1 && options[0] == "--height" ? std::stod(options[1]) : 500), grows);
    for (std::sregex_iterator t(svg.begin(), svg.end(), text_element), end; t != end; ++t)
      EXPECT_TRUE(inside(*t, width, height)) << (*t)[0];
    const std::vector<Panel> got = panels(svg); // stacked on one time axis (left edge and width)
    Legends legends;
    for (size_t i = 0; i < got.size(); ++i) {
      legends.push_back(got[i].legend);
      for (size_t k = 0; k < got[i].extent.size() && k < got[i].legend.size(); ++k)
        EXPECT_EQ(got[i].extent[k].second - got[i].extent[k].first < 0.05, got[i].legend[k] == flat) << k;
      EXPECT_EQ((std::pair{got[i].area[0], got[i].area[2]}), (std::pair{got[0].area[0], got[0].area[2]})); // one axis
      EXPECT_GT(got[i].area[1], i ? got[i - 1].area[1] + got[i - 1].area[3] : 0.0); // each below the one before
    }
    if (!expected.empty()) { EXPECT_EQ(legends, expected); }
    if (tools) {
      EXPECT_EQ(std::system(("xmllint --noout " + dir.file("p.svg") + " 2>/dev/null").c_str()), 0);
      EXPECT_EQ(std::system(("rsvg-convert -o " + dir.file("p.png") + " " + dir.file("p.svg")).c_str()), 0);
    }
  }
  expect_failure(run_zel(TempDir(), {"plot", "f.rsp", "--single", "--subplots"}), {"excludes"});
  if (!tools)
    GTEST_SKIP() << "xmllint or rsvg-convert not installed (tools/setup-deps.sh): SVGs neither validated nor rendered";
}

// Long channels are decimated but keep their one-sample spikes: channel 1's at the top, channel 2's at the bottom.
TEST(CliPlot, LongChannelsKeepTheirSpikes) {
  TempDir dir;
  Columns c(2, std::vector<double>(200000));
  for (size_t i = 0; i < c[0].size(); ++i) c[0][i] = std::sin(0.37 * double(i)), c[1][i] = std::cos(0.37 * double(i));
  c[0][123457] = 10.0, c[1][77777] = -10.0;
  write_rpc(dir.file("long.rsp"), c, 0.001, {{"x", "kN"}});
  ASSERT_EQ(run_zel(dir, {"plot", "long.rsp"}).status, 0);
  const std::string svg = read_file(dir.file("long.svg")); // named after the input
  EXPECT_LT(svg.size(), 100000u);
  const std::vector<Panel> got = panels(svg);
  EXPECT_LT(got.at(0).extent.at(0).first, 0.01);
  EXPECT_GT(got.at(0).extent.at(1).second, 0.99);
}
