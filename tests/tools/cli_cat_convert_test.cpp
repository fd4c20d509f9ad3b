// zel cat prints exact samples; zel convert round trips between formats.
#include "cli_support.h"

#include <iomanip>

using namespace cli_test;

namespace {

// The CSV's header fields (split at every comma) and its rows.
std::pair<std::vector<std::string>, Columns> parse_csv(const std::string &text) {
  std::pair<std::vector<std::string>, Columns> t;
  std::istringstream lines(text);
  std::string line, field;
  std::getline(lines, line);
  for (std::istringstream head(line); std::getline(head, field, ',');) t.first.push_back(field);
  while (std::getline(lines, line)) {
    t.second.emplace_back();
    for (std::istringstream fields(line); std::getline(fields, field, ',');) t.second.back().push_back(std::strtod(field.c_str(), nullptr));
  }
  return t;
}

// Float values whose shortest decimal forms are long or awkward.
std::vector<double> awkward(size_t n, double phase) {
  std::vector<double> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = double(float(std::sin(0.37 * double(i) + phase) / 3.0 * 1e3));
  v[1] = double(0.1f), v[2] = double(1e-7f);
  return v;
}

} // namespace

TEST(CliCat, PrintsEverySampleExactlyAndReadsBackBitForBit) {
  TempDir dir;
  const std::string rsp = dir.file("f.rsp");
  write_rpc(rsp, {awkward(3072, 0.0), awkward(3072, 1.0)}, 1.0 / 300.0, true, {{"Left, front", "N"}, {"Right", "m/s^2"}});
  const Outcome cat = run_zel(dir, {"cat", rsp});
  ASSERT_EQ(cat.status, 0) << cat.err;
  const auto [header, rows] = parse_csv(cat.out);
  EXPECT_EQ(header, (std::vector<std::string>{"time [s]", "\"Left", " front [N]\"", "Right [m/s^2]"})); // the comma is quoted
  double dt = 0;
  const std::vector<double> a = rpc_channel(rsp, 1, &dt), b = rpc_channel(rsp, 2);
  ASSERT_EQ(rows.size(), a.size());
  for (size_t i = 0; i < a.size(); ++i) ASSERT_EQ(rows[i], (std::vector<double>{double(i) * dt, a[i], b[i]})) << i;

  std::ofstream(dir.file("f.csv"), std::ios::binary) << cat.out;
  ASSERT_EQ(run_zel(dir, {"convert", "--float", dir.file("f.csv"), dir.file("g.rsp")}).status, 0);
  ASSERT_EQ(run_zel(dir, {"convert", dir.file("g.rsp"), dir.file("g.csv")}).status, 0);
  EXPECT_EQ(slurp(dir.file("g.csv")), cat.out);
  for (int c = 1; c <= 2; ++c) EXPECT_EQ(rpc_channel(dir.file("g.rsp"), c), rpc_channel(rsp, c));
}

TEST(CliCat, ChannelsAndTimeWindowSelectRowsAndColumns) {
  TempDir dir;
  write_dac(dir.file("s.dac"), awkward(500, 0.5), 100.0, 2.0, "Travel", "mm");
  const std::vector<double> stored = dac_samples(dir.file("s.dac"));
  const Outcome run = run_zel(dir, {"cat", dir.file("s.dac"), "--channel", "1", "--start", "2.1", "--end", "2.2"});
  ASSERT_EQ(run.status, 0) << run.err;
  const auto [header, rows] = parse_csv(run.out);
  EXPECT_EQ(header, (std::vector<std::string>{"time [s]", "Travel [mm]"}));
  ASSERT_EQ(rows.size(), 11u); // times 2.10 to 2.20 inclusive: samples 10 to 20
  for (size_t k = 0; k < rows.size(); ++k) {
    EXPECT_NEAR(rows[k][0], 2.0 + 0.01 * double(10 + k), 1e-9);
    EXPECT_EQ(rows[k][1], stored[10 + k]);
  }
  const Outcome twice = run_zel(dir, {"cat", dir.file("s.dac"), "-c", "1", "-c", "1", "--end", "2.0"});
  EXPECT_EQ(parse_csv(twice.out).second, (Columns{{2.0, stored[0], stored[0]}}));
}

TEST(CliConvert, RpcToDacPerChannelAndBackWithinTheQuantisation) {
  TempDir dir;
  const std::string rsp = dir.file("in.rsp"), back = dir.file("back.rsp");
  Columns channels = {awkward(2048, 0.0), awkward(2048, 2.0), awkward(2048, 4.0)};
  for (double &x : channels[1]) x = x * 40 + 7000; // an offset channel
  write_rpc(rsp, channels, 0.0025, false, {{"Fx", "N"}, {"Fz", "N"}, {"My", "Nm"}});
  ASSERT_EQ(run_zel(dir, {"convert", rsp, dir.file("out.dac")}).status, 0);
  std::vector<std::string> args = {"convert"};
  for (int c = 1; c <= 3; ++c) {
    args.push_back(dir.file("out_" + std::to_string(c) + ".dac"));
    const std::vector<double> original = rpc_channel(rsp, c);
    double rate = 0;
    const std::vector<double> d = dac_samples(args.back(), &rate);
    ASSERT_EQ(d.size(), original.size()) << c;
    EXPECT_NEAR(1.0 / rate, 0.0025, 1e-9);
    for (size_t i = 0; i < d.size(); ++i) ASSERT_EQ(d[i], double(float(original[i]))) << c << " " << i;
  }
  args.push_back(back);
  ASSERT_EQ(run_zel(dir, args).status, 0);
  const std::string info = run_zel(dir, {"info", "--json", back}).out;
  EXPECT_EQ(json_values(info, "description"), (std::vector<std::string>{"Fx", "Fz", "My"}));
  EXPECT_EQ(json_values(info, "unit").at(2), "Nm");
  EXPECT_NEAR(json_number(info, "sample_interval"), 0.0025, 1e-9);
  for (int c = 1; c <= 3; ++c) {
    const std::vector<double> original = rpc_channel(rsp, c), got = rpc_channel(back, c);
    ASSERT_EQ(got.size(), original.size());
    double peak = 0;
    for (double x : original) peak = std::max(peak, std::fabs(x));
    for (size_t i = 0; i < got.size(); ++i) // the new file's integer step, and the float ulp of the DAC values
      ASSERT_NEAR(got[i], original[i], peak / 32752.0 + std::fabs(original[i]) * 1.2e-7) << c << " " << i;
  }
}

TEST(CliConvert, DacFilesJoinIntoOneRpcFileOnlyWhenTheyShareTheInterval) {
  TempDir dir;
  const std::vector<double> a = awkward(1000, 0.0), b = awkward(1000, 1.0);
  write_dac(dir.file("a.dac"), a, 512.0), write_dac(dir.file("b.dac"), b, 512.0), write_dac(dir.file("slow.dac"), b, 256.0);
  ASSERT_EQ(run_zel(dir, {"convert", "--float", dir.file("a.dac"), dir.file("b.dac"), dir.file("ab.rsp")}).status, 0);
  for (int c = 1; c <= 2; ++c) { // floats stay exact; the last sample repeats to the frame's end
    const std::vector<double> &want = c == 1 ? a : b, got = rpc_channel(dir.file("ab.rsp"), c);
    ASSERT_EQ(got.size(), 1024u);
    for (size_t i = 0; i < got.size(); ++i) ASSERT_EQ(got[i], want[std::min<size_t>(i, 999)]) << i;
  }
  const Outcome run = run_zel(dir, {"convert", dir.file("a.dac"), dir.file("slow.dac"), dir.file("bad.rsp")});
  EXPECT_NE(run.status, 0);
  EXPECT_EQ(run.err_lines(), 1u);
  EXPECT_NE(run.err.find(dir.file("slow.dac")), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("interval"), std::string::npos) << run.err;
  EXPECT_FALSE(std::filesystem::exists(dir.file("bad.rsp")));
}

TEST(CliConvert, CsvBecomesRpcOrDacWithTheIntervalOfItsTimeColumn) {
  TempDir dir;
  std::ofstream csv(dir.file("in.csv"));
  csv << std::setprecision(17) << "time [s],\"Load, left [kN]\",Angle [deg]\r\n";
  for (int i = 0; i < 300; ++i) csv << 0.5 + i * 0.01 << "," << std::sin(i * 0.1) * 12.5 << "," << i * 0.25 - 30 << "\r\n";
  csv.close();
  ASSERT_EQ(run_zel(dir, {"convert", dir.file("in.csv"), dir.file("out.dac")}).status, 0);
  ASSERT_EQ(run_zel(dir, {"convert", "--float", dir.file("in.csv"), dir.file("out.rsp")}).status, 0);
  double rate = 0, start = 0, dt = 0;
  const std::vector<double> load = dac_samples(dir.file("out_1.dac"), &rate, &start), angle = rpc_channel(dir.file("out.rsp"), 2, &dt);
  EXPECT_NEAR(rate, 100.0, 1e-4); // the file holds the interval as a float
  EXPECT_NEAR(start, 0.5, 1e-12);
  EXPECT_NEAR(dt, 0.01, 1e-12);
  for (size_t i = 0; i < 300; ++i) {
    ASSERT_EQ(load[i], double(float(std::sin(double(i) * 0.1) * 12.5)));
    ASSERT_EQ(angle[i], double(float(double(i) * 0.25 - 30)));
  }
  const std::string info = run_zel(dir, {"info", "--json", dir.file("out_1.dac")}).out;
  EXPECT_EQ(json_values(info, "description").at(0) + "/" + json_values(info, "unit").at(0), "Load, left/kN");
  std::ofstream(dir.file("uneven.csv")) << "time [s],x [m]\n0,1\n0.1,2\n0.25,3\n0.3,4\n";
  const Outcome run = run_zel(dir, {"convert", dir.file("uneven.csv"), dir.file("u.rsp")});
  EXPECT_NE(run.status, 0);
  EXPECT_NE(run.err.find("not equally spaced"), std::string::npos) << run.err;
}
