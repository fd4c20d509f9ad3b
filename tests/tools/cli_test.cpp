// The command-line tool end to end: arguments, formats chosen by extension,
// round trips through the tool against what the library reads, statistics
// against values computed here, and the output guarantees (a failed write,
// a signal or an output that is an input leaves the folder as it was).
#include "cli_support.h"

#include <csignal>
#include <iomanip>
#include <thread>

using namespace cli_test;

namespace {

// The CSV's header fields (split at every comma) and its rows.
std::pair<std::vector<std::string>, Columns> parse_csv(const std::string &text) {
  std::pair<std::vector<std::string>, Columns> t;
  std::istringstream lines(text);
  std::string line, field;
  for (bool head = true; std::getline(lines, line); head = false) {
    if (!head) t.second.emplace_back();
    for (std::istringstream fields(line); std::getline(fields, field, ',');)
      head ? t.first.push_back(field) : t.second.back().push_back(std::strtod(field.c_str(), nullptr));
  }
  return t;
}

// Float values whose shortest decimal forms are long or awkward.
std::vector<double> awkward(size_t n, double phase) {
  std::vector<double> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = double(float(std::sin(0.37 * double(i) + phase) / 3.0 * 1e3));
  return v;
}

} // namespace

TEST(CliCat, PrintsExactSamplesSelectsRowsAndRoundTripsThroughCsv) {
  TempDir dir;
  write_rpc(dir.file("f.rsp"), {awkward(1024, 0.0), awkward(1024, 1.0)}, 1.0 / 300.0, true,
            {{"Left, front", "N"}, {"Right", "m/s^2"}});
  const Outcome cat = run_zel(dir, {"cat", "f.rsp"});
  ASSERT_EQ(cat.status, 0) << cat.err;
  const auto [header, rows] = parse_csv(cat.out);
  EXPECT_EQ(header, (std::vector<std::string>{"time [s]", "\"Left", " front [N]\"", "Right [m/s^2]"}));
  double dt = 0;
  const std::vector<double> a = rpc_channel(dir.file("f.rsp"), 1, &dt), b = rpc_channel(dir.file("f.rsp"), 2);
  ASSERT_EQ(rows.size(), a.size());
  for (size_t i = 0; i < a.size(); ++i) ASSERT_EQ(rows[i], (std::vector<double>{double(i) * dt, a[i], b[i]})) << i;
  std::ofstream(dir.file("f.csv"), std::ios::binary) << cat.out;
  ASSERT_EQ(run_zel(dir, {"convert", "--float", "f.csv", "g.rsp"}).status, 0);
  ASSERT_EQ(run_zel(dir, {"convert", "g.rsp", "g.csv"}).status, 0);
  EXPECT_EQ(slurp(dir.file("g.csv")), cat.out);
  // Times 2.10 to 2.20 of a file starting at 2.0 s at 100 Hz: samples 10 to 20; a channel twice.
  write_dac(dir.file("s.dac"), a, 100.0, 2.0, "Travel");
  const Outcome window = run_zel(dir, {"cat", "s.dac", "-c", "1", "--channel", "1", "--start", "2.1", "--end", "2.2"});
  const auto [wheader, wrows] = parse_csv(window.out);
  EXPECT_EQ(wheader, (std::vector<std::string>{"time [s]", "Travel [mm]", "Travel [mm]"}));
  ASSERT_EQ(wrows.size(), 11u);
  for (size_t k = 0; k < wrows.size(); ++k)
    EXPECT_EQ(wrows[k], (std::vector<double>{2.0 + 0.01 * double(10 + k), a[10 + k], a[10 + k]})) << k;
}

TEST(CliCat, SameTextOnAnyNumberOfThreads) {
  // Enough rows for several slices of formatted text per thread.
  TempDir dir;
  write_rpc(dir.file("f.rsp"), {awkward(200000, 0.0), awkward(200000, 1.0)}, 1.0 / 300.0, true,
            {{"a", "N"}, {"b", "N"}});
  const Outcome one = run_zel(dir, {"cat", "-j", "1", "f.rsp"});
  ASSERT_EQ(one.status, 0) << one.err;
  for (const char *jobs : {"2", "3"}) EXPECT_EQ(run_zel(dir, {"cat", "-j", jobs, "f.rsp"}).out, one.out) << jobs;
}

TEST(CliConvert, FormatsByExtensionRoundTripWithinTheQuantisation) {
  TempDir dir;
  const Columns in = {awkward(2048, 0.0), awkward(2048, 2.0)};
  write_rpc(dir.file("in.rsp"), in, 0.0025, false, {{"Fx", "N"}, {"My", "Nm"}});
  ASSERT_EQ(run_zel(dir, {"convert", "in.rsp", "out.dac"}).status, 0); // one DAC file per channel: out_1, out_2
  ASSERT_EQ(run_zel(dir, {"convert", "out_1.dac", "out_2.dac", "back.rpc"}).status, 0);
  const std::string info = run_zel(dir, {"info", "--json", "back.rpc"}).out;
  EXPECT_EQ(json_values(info, "description"), (std::vector<std::string>{"Fx", "My"}));
  EXPECT_EQ(json_values(info, "unit"), (std::vector<std::string>{"N", "Nm"}));
  for (int c = 1; c <= 2; ++c) {
    const std::vector<double> original = rpc_channel(dir.file("in.rsp"), c),
                              back = rpc_channel(dir.file("back.rpc"), c);
    double rate = 0, peak = 0;
    std::vector<double> floats;
    for (double x : original) floats.push_back(double(float(x)));
    EXPECT_EQ(dac_samples(dir.file("out_" + std::to_string(c) + ".dac"), &rate), floats) << c;
    EXPECT_NEAR(1.0 / rate, 0.0025, 1e-9);
    for (double x : original) peak = std::max(peak, std::fabs(x));
    ASSERT_EQ(back.size(), original.size());
    for (size_t i = 0; i < back.size(); ++i)
      ASSERT_NEAR(back[i], original[i], peak / 32752.0 + std::fabs(original[i]) * 1.2e-7) << c << " " << i;
  }
  // A CSV's time column gives start and interval; uneven times and mixed intervals are refused.
  std::ofstream csv(dir.file("t.csv"));
  csv << std::setprecision(17) << "time [s],\"Load, left [kN]\"\r\n";
  for (int i = 0; i < 300; ++i) csv << 0.5 + i * 0.01 << "," << i * 0.25 - 30 << "\r\n";
  csv.close();
  ASSERT_EQ(run_zel(dir, {"convert", "t.csv", "t.DAC"}).status, 0);
  double rate = 0, start = 0;
  const std::vector<double> load = dac_samples(dir.file("t.DAC"), &rate, &start);
  EXPECT_NEAR(rate, 100.0, 1e-4); // the file holds the interval as a float
  EXPECT_NEAR(start, 0.5, 1e-12);
  for (size_t i = 0; i < 300; ++i) ASSERT_EQ(load[i], double(float(double(i) * 0.25 - 30))) << i;
  EXPECT_EQ(json_values(run_zel(dir, {"info", "--json", "t.DAC"}).out, "unit").at(0), "kN");
  std::ofstream(dir.file("uneven.csv")) << "time [s],x [m]\n0,1\n0.1,2\n0.25,3\n";
  expect_failure(run_zel(dir, {"convert", "uneven.csv", "u.rsp"}), {"uneven.csv", "not equally spaced"});
  write_dac(dir.file("slow.dac"), in[0], 256.0);
  expect_failure(run_zel(dir, {"convert", "out_1.dac", "slow.dac", "bad.rsp"}), {"slow.dac", "interval"});
  EXPECT_FALSE(std::filesystem::exists(dir.file("bad.rsp")));
}

// Statistics against the plain computation on the values the library reads.
void expect_stats(const std::string &json, size_t c, const std::vector<double> &v) {
  const auto lo = std::min_element(v.begin(), v.end()), hi = std::max_element(v.begin(), v.end());
  double sum = 0, squares = 0;
  for (double x : v) sum += x, squares += x * x;
  const double mean = sum / double(v.size()), rms = std::sqrt(squares / double(v.size()));
  EXPECT_EQ(json_number(json, "min", c), *lo);
  EXPECT_EQ(json_number(json, "max", c), *hi);
  EXPECT_EQ(json_number(json, "min_index", c), double(lo - v.begin() + 1)); // the first of equal extremes, from 1
  EXPECT_EQ(json_number(json, "max_index", c), double(hi - v.begin() + 1));
  EXPECT_NEAR(json_number(json, "mean", c), mean, 1e-12 * (std::fabs(mean) + rms));
  EXPECT_NEAR(json_number(json, "rms", c), rms, 1e-12 * rms);
}

// The format is found by content: the RPC III file is named .dac, the DAC file .rsp.
TEST(CliInfo, FactsByContentAndStatisticsOfTheLibrarysData) {
  TempDir dir;
  Columns c(2, std::vector<double>(1500));
  for (size_t i = 0; i < 1500; ++i)
    c[0][i] = 100 * std::sin(double(i) * 0.01) + 3, c[1][i] = -5 - 0.5 * std::cos(double(i) * 0.3);
  c[0][200] = c[0][700] = 250.0;
  write_rpc(dir.file("two.dac"), c, 0.002, false, {{"Hub force", "kN"}, {"Ramp", "mm"}});
  write_dac(dir.file("one.rsp"), c[1], 200.0, 1.5, "Damper travel");
  const Outcome run = run_zel(dir, {"info", "--json", "two.dac", "one.rsp"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(json_values(run.out, "format"), (std::vector<std::string>{"RPC III", "DAC"}));
  EXPECT_EQ(json_values(run.out, "points"), (std::vector<std::string>{"1500", "1500"})); // the count written
  EXPECT_EQ(json_values(run.out, "value_type"), (std::vector<std::string>{"int16 (scaled)", "float32"}));
  EXPECT_EQ(json_values(run.out, "description"), (std::vector<std::string>{"Hub force", "Ramp", "Damper travel"}));
  EXPECT_DOUBLE_EQ(json_number(run.out, "duration"), 1500 * 0.002);
  EXPECT_EQ(json_number(run.out, "start_time", 1), 1.5);
  for (int k = 1; k <= 2; ++k) {
    std::vector<double> whole_frames = rpc_channel(dir.file("two.dac"), k);
    whole_frames.resize(1500);
    expect_stats(run.out, size_t(k - 1), whole_frames);
  }
  expect_stats(run.out, 2, dac_samples(dir.file("one.rsp")));
  EXPECT_NE(run_zel(dir, {"info", "two.dac"}).out.find("sample interval  0.002 s (500 Hz)"), std::string::npos);
}

// The sample file's NCODE_STAT1_CHAN_n (max, min) and NCODE_STAT2_CHAN_n
// (their indices from 1) agree with zel: indices exactly, values within one
// SCALE step plus the rounding of the SCALE text up to full scale.
TEST(CliInfo, SampleFileAgreesWithItsOwnStatisticsRecords) {
  const std::string sample = std::string(ZEL_SAMPLES_DIR) + "/test1.rsp";
  if (!std::filesystem::exists(sample)) GTEST_SKIP() << "no " << sample;
  TempDir dir;
  const Outcome run = run_zel(dir, {"info", "--json", sample});
  ASSERT_EQ(run.status, 0) << run.err;
  const std::string bytes = slurp(sample);
  auto record = [&](const std::string &key) {
    for (size_t r = 0; r + 128 <= bytes.size(); r += 128)
      if (bytes.compare(r, key.size() + 1, key.c_str(), key.size() + 1) == 0)
        return std::string(bytes.c_str() + r + 32);
    return std::string();
  };
  const int channels = std::atoi(record("CHANNELS").c_str());
  ASSERT_EQ(json_number(run.out, "channel_count"), channels);
  for (int c = 1; c <= channels; ++c) {
    SCOPED_TRACE(c);
    const std::string n = std::to_string(c), scale = record("SCALE.CHAN_" + n);
    const size_t digits = scale.find_first_of("eE") - scale.find('.') - 1;
    const double tolerance = std::atof(scale.c_str()) * (1.0 + 32768.0 * 0.5 * std::pow(10.0, -double(digits)));
    double max = 0, min = 0, max_at = 0, min_at = 0;
    ASSERT_EQ(std::sscanf(record("NCODE_STAT1_CHAN_" + n).c_str(), "%lf,%lf", &max, &min), 2);
    ASSERT_EQ(std::sscanf(record("NCODE_STAT2_CHAN_" + n).c_str(), "%lf,%lf", &max_at, &min_at), 2);
    EXPECT_EQ(json_number(run.out, "max_index", size_t(c - 1)), max_at);
    EXPECT_EQ(json_number(run.out, "min_index", size_t(c - 1)), min_at);
    EXPECT_NEAR(json_number(run.out, "max", size_t(c - 1)), max, tolerance);
    EXPECT_NEAR(json_number(run.out, "min", size_t(c - 1)), min, tolerance);
  }
}

TEST(CliErrors, ExitNonZeroWithOneLineNamingTheFileAndTheReason) {
  TempDir dir;
  std::ofstream(dir.file("junk.bin")) << "this is neither format\n";
  write_rpc(dir.file("two.rsp"), {{1, 2, 3}, {4, 5, 6}}, 0.1);
  write_dac(dir.file("a.dac"), {1, 2, 3}, 10.0);
  const std::vector<std::pair<std::vector<std::string>, std::vector<std::string>>> cases = {
      {{"info", "missing.rsp"}, {"missing.rsp", "cannot open"}},
      {{"info", "junk.bin"}, {"junk.bin", "unknown format"}},
      {{"cat", "two.rsp", "--channel", "3"}, {"two.rsp", "no channel 3 (2 channels)"}},
      {{"plot", "a.dac", "--channel", "0"}, {"a.dac", "no channel 0"}},
      {{"cat", "two.rsp", "-c", "2-1"}, {"two.rsp", "empty channel range"}},
      {{"cat", "two.rsp", "--start", "5"}, {"two.rsp", "no sample between 5 s and 0.2 s"}},
      {{"convert", "a.dac", "no/dir/out.rsp"}, {"out.rsp", "cannot create: No such file or directory"}},
      {{"convert", "a.dac", "a.xyz"}, {"a.xyz: unknown output format"}},
      {{}, {}},
      {{"frobnicate"}, {"frobnicate"}},
      {{"cat"}, {"file"}},
      {{"cat", "a.dac", "--channel", "one"}, {"a.dac", "no channel named \"one\""}},
      {{"cat", "a.dac", "--start", "1", "--end", "0"}, {"--start"}},
      {{"convert", "a.dac"}, {}},
      {{"convert", "--float", "a.dac", "b.dac"}, {"--float"}},
      {{"export-modal", "--modes", "2", "--steps", "5", "--punch", "a", "--op2", "b"}, {}}};
  for (const auto &[args, needles] : cases) {
    SCOPED_TRACE(args.empty() ? "(none)" : args[0] + " " + (args.size() > 1 ? args[1] : ""));
    expect_failure(run_zel(dir, args), needles);
  }
  const Outcome run =
      run_zel(dir, {"info", "gone1", "a.dac", "gone2"}); // each bad file reported, the good one described
  EXPECT_NE(run.status, 0);
  EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 2) << run.err;
  EXPECT_NE(run.out.find("a.dac"), std::string::npos);
  EXPECT_NE(run_zel(dir, {"version"}).out.find(zel_build_version()), std::string::npos);
}

// Under a 64 KiB file-size limit every kind of output fails part-way: no
// target and no temporary is left, and a file already there is kept.
TEST(CliOutput, FailedWriteLeavesNothing) {
  TempDir dir;
  std::filesystem::create_directory(dir.path() / "out");
  write_rpc(dir.file("in.rsp"), Columns(3, awkward(40000, 0.0)), 0.001, true);
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"convert", "in.rsp", "out/x.rsp"}, "out/x.rsp"},
      {{"convert", "in.rsp", "out/x.dac"}, "out/x_1.dac"},
      {{"convert", "in.rsp", "out/x.csv"}, "out/x.csv"},
      {{"plot", "in.rsp", "-c", "1", "-c", "2", "--width", "20000", "-o", "out/x.svg"}, "out/x.svg"},
      {{"export-modal", "--modes", "20", "--steps", "2000", "--op2", "out/x.op2"}, "out/x.op2"},
      {{"export-modal", "--modes", "20", "--steps", "2000", "--punch", "out/x.pch"}, "out/x.pch"}};
  for (const auto &[args, named] : cases) {
    SCOPED_TRACE(named);
    expect_failure(run_zel(dir, args, 64 << 10), {"zel: " + named + ": "});
    EXPECT_TRUE(contents(dir.path() / "out").empty());
  }
  std::ofstream(dir.file("out/x.csv")) << "earlier\n";
  expect_failure(run_zel(dir, cases[2].first, 64 << 10), {"out/x.csv"});
  EXPECT_EQ(contents(dir.path() / "out"), (std::map<std::string, std::string>{{"x.csv", "earlier\n"}}));
}

// SIGTERM while a conversion runs: the temporary goes, the process ends by the signal.
TEST(CliOutput, SigtermRemovesTheTemporary) {
  TempDir dir;
  std::filesystem::create_directory(dir.path() / "out");
  write_rpc(dir.file("long.rsp"), Columns(2, std::vector<double>(1 << 20, 0.1)), 0.001, true);
  const Outcome run = run_zel(dir, {"convert", "long.rsp", "out/long.csv"}, 0, [&](pid_t pid) {
    while (contents(dir.path() / "out").empty()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    kill(pid, SIGTERM);
  });
  EXPECT_EQ(run.status, 128 + SIGTERM) << run.err;
  EXPECT_EQ(run.err.rfind("zel: out/long.csv: terminated", 0), 0u) << run.err;
  EXPECT_TRUE(contents(dir.path() / "out").empty());
}

// convert and plot refuse, before writing anything, an output that is an input however named.
TEST(CliOutput, RefusesToOverwriteAnInput) {
  TempDir dir;
  write_dac(dir.file("a.dac"), {1, 2, 3}, 10.0);
  write_dac(dir.file("x_1.dac"), {4, 5}, 10.0), write_dac(dir.file("x_2.dac"), {6, 7}, 10.0);
  std::filesystem::create_hard_link(dir.file("a.dac"), dir.file("hard.dac"));
  std::filesystem::create_symlink("a.dac", dir.file("soft.dac"));
  const auto before = contents(dir.path());
  for (const std::vector<std::string> &args :
       std::vector<std::vector<std::string>>{{"convert", "a.dac", "./a.dac"},
                                             {"convert", "x_2.dac", "x_1.dac", "x.dac"}, // x.dac derives x_1.dac
                                             {"convert", "a.dac", "hard.dac"},
                                             {"convert", "a.dac", "soft.dac"},
                                             {"plot", "a.dac", "-c", "1", "-o", "a.dac"}}) {
    SCOPED_TRACE(args.back());
    expect_failure(run_zel(dir, args), {"would overwrite the input"});
    EXPECT_EQ(contents(dir.path()), before);
  }
}

// Two long channels with one-sample spikes: every drawn point lies in the plot
// area, time runs left to right, the spikes set the extremes.
TEST(CliPlot, PolylinesInsideThePlotAreaKeepTheSpikes) {
  TempDir dir;
  Columns c(2, std::vector<double>(200000));
  for (size_t i = 0; i < c[0].size(); ++i)
    c[0][i] = std::sin(double(i) * 0.001) * 100.0, c[1][i] = std::cos(double(i) * 0.0003) * 50.0;
  c[0][123457] = 400.0, c[1][77777] = -300.0;
  write_rpc(dir.file("long.rsp"), c, 0.001, true, {{"Spindle <load> & more", "kN"}, {"Other", "kN"}});
  ASSERT_EQ(run_zel(dir, {"plot", "long.rsp", "-c", "1", "--channel", "2"}).status, 0);
  const std::string svg = slurp(dir.file("long.svg")); // named after the input
  EXPECT_LT(svg.size(), 100000u);
  EXPECT_NE(svg.find("Spindle &lt;load&gt; &amp; more"), std::string::npos);
  auto attribute = [](const std::string &tag, const std::string &name) {
    const size_t at = tag.find(" " + name + "=\"") + name.size() + 3;
    return tag.substr(at, tag.find('"', at) - at);
  };
  const size_t area_at = svg.find("id=\"plot-area\"");
  ASSERT_NE(area_at, std::string::npos);
  const std::string area = svg.substr(svg.rfind('<', area_at), svg.find('>', area_at) - svg.rfind('<', area_at));
  const double left = std::stod(attribute(area, "x")), top = std::stod(attribute(area, "y"));
  const double right = left + std::stod(attribute(area, "width")), bottom = top + std::stod(attribute(area, "height"));
  std::vector<double> highest, lowest; // per polyline, in SVG y (down)
  for (size_t at = svg.find("<polyline"); at != std::string::npos; at = svg.find("<polyline", at + 1)) {
    std::istringstream in(attribute(svg.substr(at, svg.find('>', at) - at), "points"));
    double x, y, previous = left, hi = bottom, lo = top;
    for (char comma; in >> x >> comma >> y; previous = x, hi = std::min(hi, y), lo = std::max(lo, y))
      ASSERT_TRUE(x >= previous && x <= right && y >= top && y <= bottom) << x << "," << y;
    highest.push_back(hi), lowest.push_back(lo);
  }
  ASSERT_EQ(highest.size(), 2u);
  EXPECT_LT(highest[0] - top, 0.2 * (bottom - top)); // channel 1's spike at the top
  EXPECT_GT(lowest[1] - top, 0.8 * (bottom - top));  // channel 2's at the bottom
}
