// zel plot read back from the SVG it writes: one panel per unit, legends, text inside the picture, well-formed XML,
// a PNG that renders.
#include "cli_support.h"

#include <cmath>
#include <regex>

using namespace cli_test;

namespace {

using Names = std::vector<std::pair<std::string, std::string>>;
const std::regex text_element(R"re(<text x="([^"]+)" y="([^"]+)" text-anchor="(\w+)"([^>]*)>([^<]*)</text>)re");

std::string unescape(std::string s) {
  for (auto [from, to] : {std::pair{"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}, {"&apos;", "'"}, {"&amp;", "&"}})
    for (size_t at = s.find(from); at != std::string::npos; at = s.find(from, at + 1)) s.replace(at, strlen(from), to);
  return s;
}

// Whether a text element's box lies in width x height: 0.4 em per space, stop, bracket, i, j or l, 0.65 em per
// other ASCII character, 1 em per other one, 0.8 em above the baseline and 0.25 below; rotate(-90 cx cy) takes
// (px, py) to (cx + py - cy, cy - px + cx).
bool inside(const std::smatch &m, double width, double height) {
  const double x = std::stod(m[1]), y = std::stod(m[2]),
               size = m[4].str().find("\"14\"") == std::string::npos ? 12 : 14;
  double w = 0, cx, cy;
  for (unsigned char c : unescape(m[5])) w += c >= 0x80 ? (c >= 0xC0) : strchr(" .,:;'|!ijl()[]", c) ? 0.4 : 0.65;
  const double left = x - (m[3] == "end" ? w * size : m[3] == "middle" ? w * size / 2 : 0.0);
  double box[4] = {left, y - 0.8 * size, left + w * size, y + 0.25 * size};
  if (std::sscanf(m[4].str().c_str(), " transform=\"rotate(-90 %lf %lf)", &cx, &cy) == 2)
    box[0] = cx + box[1] - cy, box[1] = cy - box[2] + cx, box[2] = cx + box[3] - cy, box[3] = cy - left + cx;
  return box[0] >= 0 && box[1] >= 0 && box[2] <= width && box[3] <= height;
}

// Per panel: its plot area (left, top, width, height), the legend texts above it, per polyline the share of the
// area's height it spans.
struct Panel {
  std::vector<double> area;
  std::vector<std::string> legend;
  std::vector<double> spans;
};
std::vector<Panel> panels(const std::string &svg) {
  std::vector<Panel> out;
  const std::regex area(R"re(plot-area"[^>]* x="([^"]+)" y="([^"]+)" width="([^"]+)" height="([^"]+)")re");
  const std::string start = "<g class=\"panel\"";
  for (size_t at = svg.find(start); at != std::string::npos; at = svg.find(start, at + 1)) {
    const std::string chunk = svg.substr(at, std::min(svg.find(start, at + 1), svg.find("<g id=\"x-axis\"")) - at);
    std::smatch m;
    std::regex_search(chunk, m, area);
    Panel p{{std::stod(m[1]), std::stod(m[2]), std::stod(m[3]), std::stod(m[4])}, {}, {}};
    const std::string above = m.prefix();
    for (std::sregex_iterator t(above.begin(), above.end(), text_element), end; t != end; ++t)
      if ((*t)[3] == "start") p.legend.push_back(unescape((*t)[5]));
    for (size_t l = chunk.find("points=\""); l != std::string::npos; l = chunk.find("points=\"", l + 1)) {
      std::istringstream in(chunk.substr(l + 8, chunk.find('"', l + 8) - l - 8));
      double x, y, hi = 1e300, lo = -1e300;
      while (in >> x && in.ignore() >> y) hi = std::min(hi, y), lo = std::max(lo, y);
      p.spans.push_back((lo - hi) / p.area[3]);
    }
    out.push_back(p);
  }
  return out;
}

// Channel k: a sine about -10^6 (long tick labels), of amplitude 1000 in N and 1 in any other unit; 64 samples
// 0.25 s apart.
void write_channels(const std::string &path, const Names &names) {
  Columns c(names.size(), std::vector<double>(64));
  for (size_t k = 0; k < c.size(); ++k)
    for (size_t i = 0; i < 64; ++i)
      c[k][i] = std::sin(0.3 * double(i) + double(k)) * (names[k].second == "N" ? 1e3 : 1) - 1e6;
  write_rpc(path, c, 0.25, names);
}

int run_quietly(const std::string &command) { return std::system((command + " >/dev/null 2>&1").c_str()); }

// The SVG of zel plot file args..., the file made first: the demo's road_int16.rsp, f.dac (one channel from
// 100000 s) or f.rsp (write_channels of names).
std::string plotted(const TempDir &dir, const std::string &file, const Names &names, std::vector<std::string> args) {
  if (file == "road_int16.rsp") { EXPECT_EQ(run_zel(dir, {"demo", "."}).status, 0); }
  if (file == "f.dac") write_dac(dir.file(file), std::vector<double>(64, 1.0), 4.0, 100000.0);
  if (file == "f.rsp") write_channels(dir.file(file), names);
  args.insert(args.begin(), {"plot", file, "-o", "p.svg"});
  EXPECT_EQ(run_zel(dir, args).status, 0);
  return read_file_text(dir.file("p.svg"));
}

} // namespace

// Each figure is well-formed XML whose every text lies inside the picture, grows beyond the height asked for only
// when legends wrap or panels would be too short, and renders to PNG.
TEST(CliPlot, TextStaysInsideAndTheSvgRenders) {
  if (run_quietly("command -v xmllint") != 0 || run_quietly("command -v rsvg-convert") != 0)
    GTEST_SKIP() << "xmllint or rsvg-convert not installed (tools/setup-deps.sh installs them)";
  const Names twelve(12, {"Wheel force", "N"});
  // clang-format off
  const std::vector<std::tuple<const char *, const char *, const char *, Names, std::vector<std::string>, bool>> cases = {  // name, file, height, names, options, grows
      {"the demo's four channels", "road_int16.rsp", "500", {}, {}, false},
      {"Latin-1 and markup", "f.rsp", "500", {{"L\xE4ngskraft", "\xB5m/m"}, {"<&> \"q\" 'a'", "N"}}, {}, false},
      {"twelve at the smallest width", "f.rsp", "500", twelve, {"--width", "200"}, true},
      {"a name wider than the plot", "f.rsp", "500", {{std::string(300, 'W'), ""}}, {"--width", "200"}, false},
      {"four units at the smallest height", "f.rsp", "150", {{"a", "N"}, {"b", "m"}, {"c", "s"}, {"d", "V"}}, {}, true},
      {"one sample", "f.rsp", "500", {{"a", "N"}}, {"--start", "0.5", "--end", "0.5"}, false},
      {"the last time tick at the end", "f.dac", "500", {}, {"--end", "100014"}, false},
  };
  // clang-format on
  for (auto [name, file, asked, names, args, grows] : cases) {
    SCOPED_TRACE(name);
    TempDir dir;
    args.insert(args.end(), {"--height", asked});
    const std::string svg = plotted(dir, file, names, args);
    EXPECT_EQ(run_quietly("xmllint --noout " + dir.file("p.svg")), 0);
    double width = 0, height = 0;
    std::sscanf(svg.c_str() + svg.find("viewBox="), "viewBox=\"0 0 %lf %lf\"", &width, &height);
    EXPECT_EQ(height > std::stod(asked), grows) << height;
    for (std::sregex_iterator t(svg.begin(), svg.end(), text_element), end; t != end; ++t)
      EXPECT_TRUE(inside(*t, width, height)) << (*t)[0];
    EXPECT_EQ(run_quietly("rsvg-convert -o " + dir.file("p.png") + " " + dir.file("p.svg")), 0);
  }
}

// Channels of one unit share a panel, panels follow the order of first appearance, all on one time axis; names come
// out as UTF-8 text. Each panel scales to its channels: a force of thousands next to an acceleration of one leaves the
// acceleration a flat line in one panel only.
TEST(CliPlot, OnePanelPerUnitWithItsLegend) {
  using Legends = std::vector<std::vector<std::string>>;
  const Names two_units = {{"a", "N"}, {"b", "m/s^2"}, {"c", "N"}};
  // clang-format off
  const std::vector<std::tuple<Names, std::vector<std::string>, Legends, std::string>> cases = {  // ..., the flat one
      {{{"a", "N"}, {"b", "N"}}, {},              {{"1: a [N]", "2: b [N]"}}, ""},
      {{{"a", "N"}, {"b", "N"}}, {"--subplots"},  {{"1: a [N]", "2: b [N]"}}, ""},
      {two_units,                {},              {{"1: a [N]", "3: c [N]"}, {"2: b [m/s^2]"}}, ""},
      {two_units,                {"-c", "2-3"},   {{"2: b [m/s^2]"}, {"3: c [N]"}}, ""},
      {two_units,                {"--single"},    {{"1: a [N]", "2: b [m/s^2]", "3: c [N]"}}, "2: b [m/s^2]"},
      {{{"a", "N"}, {"b", ""}},  {},              {{"1: a [N]"}, {"2: b"}}, ""},
      {{{"L\xE4ngskraft", "\xB5m/m"}, {"<&> \"q\" 'a'", "N"}}, {}, {{"1: L\u00e4ngskraft [\u00b5m/m]"}, {"2: <&> \"q\" 'a' [N]"}}, ""},
  };
  // clang-format on
  for (const auto &[names, options, legends, flat] : cases) {
    SCOPED_TRACE(::testing::PrintToString(options) + " on " + std::to_string(names.size()) + " channels");
    const std::vector<Panel> got = panels(plotted(TempDir(), "f.rsp", names, options));
    Legends texts;
    for (const Panel &p : got) texts.push_back(p.legend);
    EXPECT_EQ(texts, legends);
    for (size_t i = 0; i < got.size(); ++i) {
      for (size_t k = 0; k < got[i].spans.size() && k < got[i].legend.size(); ++k)
        EXPECT_EQ(got[i].spans[k] < 0.05, got[i].legend[k] == flat) << got[i].legend[k] << ": " << got[i].spans[k];
      EXPECT_EQ(got[i].area[0], got[0].area[0]);                                    // the same time axis: left edge
      EXPECT_EQ(got[i].area[2], got[0].area[2]);                                    // and width
      EXPECT_GT(got[i].area[1], i ? got[i - 1].area[1] + got[i - 1].area[3] : 0.0); // each below the one before
    }
  }
  expect_failure(run_zel(TempDir(), {"plot", "f.rsp", "--single", "--subplots"}), {"excludes"});
}
