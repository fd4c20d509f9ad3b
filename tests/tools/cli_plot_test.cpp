// zel plot: well-formed SVG, polylines inside the plot area, peaks kept.
#include "cli_support.h"

#include <filesystem>

using namespace cli_test;

namespace {

struct Element {
  std::string name;
  std::map<std::string, std::string> attributes;
};

// Checks that tags nest and close properly and collects the elements.
std::vector<Element> parse_svg(const std::string &svg) {
  std::vector<Element> elements;
  std::vector<std::string> open;
  size_t at = 0;
  while ((at = svg.find('<', at)) != std::string::npos) {
    const size_t end = svg.find('>', at);
    if (end == std::string::npos) throw std::runtime_error("unclosed tag");
    const std::string tag = svg.substr(at + 1, end - at - 1);
    at = end + 1;
    if (tag.empty() || tag[0] == '?' || tag[0] == '!') continue;
    if (tag[0] == '/') {
      if (open.empty() || open.back() != tag.substr(1)) throw std::runtime_error("mismatched </" + tag + ">");
      open.pop_back();
      continue;
    }
    Element e;
    const size_t space = tag.find_first_of(" \n/");
    e.name = tag.substr(0, space);
    // name="value" pairs; a value may not hold '<' or '"'.
    for (size_t eq = tag.find("=\""); eq != std::string::npos; eq = tag.find("=\"", eq + 1)) {
      const size_t name_start = tag.find_last_of(" \n", eq) + 1;
      const size_t close = tag.find('"', eq + 2);
      if (close == std::string::npos) throw std::runtime_error("unterminated attribute in <" + e.name);
      const std::string value = tag.substr(eq + 2, close - eq - 2);
      if (value.find('<') != std::string::npos) throw std::runtime_error("'<' in an attribute");
      e.attributes[tag.substr(name_start, eq - name_start)] = value;
      eq = close;
    }
    if (tag.back() != '/') open.push_back(e.name);
    elements.push_back(e);
  }
  if (!open.empty()) throw std::runtime_error("unclosed <" + open.back() + ">");
  return elements;
}

std::vector<std::pair<double, double>> points_of(const Element &polyline) {
  std::vector<std::pair<double, double>> points;
  std::istringstream in(polyline.attributes.at("points"));
  for (std::string pair; in >> pair;) {
    const size_t comma = pair.find(',');
    points.emplace_back(std::stod(pair.substr(0, comma)), std::stod(pair.substr(comma + 1)));
  }
  return points;
}

} // namespace

TEST(CliPlot, LongChannelsGiveSmallWellFormedSvgInsideThePlotArea) {
  TempDir dir;
  const size_t n = 200000;
  std::vector<double> a(n), b(n);
  for (size_t i = 0; i < n; ++i) {
    a[i] = std::sin(static_cast<double>(i) * 0.001) * 100.0;
    b[i] = std::cos(static_cast<double>(i) * 0.0003) * 50.0 - 20.0;
  }
  a[123457] = 400.0; // one-sample spikes must survive decimation
  b[77777] = -300.0;
  write_rpc(dir.file("long.rsp"), {a, b}, 0.001, true, {{"Spindle <load> & more", "kN"}, {"Other", "kN"}});

  const Outcome run = run_zel(dir, {"plot", dir.file("long.rsp"), "-c", "1", "--channel", "2", "-o", dir.file("p.svg")});
  ASSERT_EQ(run.status, 0) << run.err;
  const std::string svg = slurp(dir.file("p.svg"));
  EXPECT_LT(svg.size(), 100000u);
  std::vector<Element> elements;
  ASSERT_NO_THROW(elements = parse_svg(svg));
  ASSERT_EQ(elements.front().name, "svg");
  EXPECT_NE(svg.find("Spindle &lt;load&gt; &amp; more"), std::string::npos);
  EXPECT_NE(svg.find("Time [s]"), std::string::npos);

  const Element *area = nullptr;
  std::vector<const Element *> lines;
  for (const Element &e : elements) {
    if (e.name == "rect" && e.attributes.count("id") && e.attributes.at("id") == "plot-area") area = &e;
    if (e.name == "polyline") lines.push_back(&e);
  }
  ASSERT_NE(area, nullptr);
  ASSERT_EQ(lines.size(), 2u);
  const double left = std::stod(area->attributes.at("x")), top = std::stod(area->attributes.at("y"));
  const double right = left + std::stod(area->attributes.at("width"));
  const double bottom = top + std::stod(area->attributes.at("height"));

  double highest[2] = {bottom, bottom}, lowest[2] = {top, top};
  for (size_t k = 0; k < 2; ++k) {
    const auto points = points_of(*lines[k]);
    EXPECT_GT(points.size(), 100u);
    EXPECT_LE(points.size(), 2 * (right - left));
    double previous_x = left;
    for (const auto &[x, y] : points) {
      ASSERT_GE(x, left);
      ASSERT_LE(x, right);
      ASSERT_GE(y, top);
      ASSERT_LE(y, bottom);
      ASSERT_GE(x, previous_x); // time runs left to right
      previous_x = x;
      highest[k] = std::min(highest[k], y);
      lowest[k] = std::max(lowest[k], y);
    }
  }
  // The spikes set the y range, so they touch the axis range's ends or come
  // close: channel 1's spike is the highest point drawn, channel 2's the
  // lowest, both far beyond the rest of their channel.
  EXPECT_LT(highest[0], highest[1]);
  EXPECT_GT(lowest[1], lowest[0]);
  EXPECT_LT(highest[0] - top, 0.2 * (bottom - top));
  EXPECT_GT(lowest[1] - top, 0.8 * (bottom - top));
}

TEST(CliPlot, ShortChannelKeepsEverySampleAndDefaultNameFollowsTheInput) {
  TempDir dir;
  std::filesystem::create_directories(dir.path() / "data");
  write_dac(dir.file("data/short.dac"), {1, 3, 2, 5, 4, 0, 2}, 10.0, 0.0, "Travel", "mm");
  const Outcome run = run_zel(dir, {"plot", dir.file("data/short.dac"), "-c", "1"});
  ASSERT_EQ(run.status, 0) << run.err;
  // Written into the current directory, named after the input's stem.
  ASSERT_TRUE(std::filesystem::exists(dir.file("short.svg"))) << run.out;
  const std::vector<Element> elements = parse_svg(slurp(dir.file("short.svg")));
  for (const Element &e : elements)
    if (e.name == "polyline") {
      EXPECT_EQ(points_of(e).size(), 7u);
    }
  EXPECT_NE(slurp(dir.file("short.svg")).find("Travel [mm]"), std::string::npos);
}
