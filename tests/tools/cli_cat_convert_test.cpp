// zel cat prints exact samples; zel convert round trips between formats.
#include "cli_support.h"

#include <cmath>
#include <filesystem>
#include <iomanip>

using namespace cli_test;

namespace {

struct Table {
  std::vector<std::string> header;
  std::vector<std::vector<double>> rows;
};

Table parse_csv(const std::string &text) {
  Table table;
  std::istringstream lines(text);
  std::string line;
  std::getline(lines, line);
  std::istringstream head(line);
  for (std::string field; std::getline(head, field, ',');) table.header.push_back(field);
  while (std::getline(lines, line)) {
    std::vector<double> row;
    std::istringstream fields(line);
    for (std::string field; std::getline(fields, field, ',');) row.push_back(std::strtod(field.c_str(), nullptr));
    table.rows.push_back(row);
  }
  return table;
}

// Values whose shortest decimal forms are long or awkward.
std::vector<double> awkward(size_t n, double phase) {
  std::vector<double> v(n);
  for (size_t i = 0; i < n; ++i)
    v[i] = static_cast<double>(static_cast<float>(std::sin(0.37 * static_cast<double>(i) + phase) / 3.0 * 1e3));
  v[1] = static_cast<double>(0.1f);
  v[2] = static_cast<double>(1e-7f);
  return v;
}

double float_ulp(double v) {
  const float f = std::fabs(static_cast<float>(v));
  return static_cast<double>(std::nextafter(f, INFINITY) - f);
}

} // namespace

TEST(CliCat, PrintsEverySampleExactlyWithTimeAndNamedColumns) {
  TempDir dir;
  const std::string rsp = dir.file("f.rsp");
  write_rpc(rsp, {awkward(1024, 0.0), awkward(1024, 1.0)}, 1.0 / 300.0, true,
            {{"Left, front", "N"}, {"Right", "m/s^2"}});
  const Outcome run = run_zel(dir, {"cat", rsp});
  ASSERT_EQ(run.status, 0) << run.err;
  const Table t = parse_csv(run.out);
  // The comma in the description is quoted, so the header splits in four.
  ASSERT_EQ(t.header.size(), 4u);
  EXPECT_EQ(t.header[0], "time [s]");
  EXPECT_EQ(t.header[1] + "," + t.header[2], "\"Left, front [N]\"");
  EXPECT_EQ(t.header[3], "Right [m/s^2]");

  double dt = 0;
  const std::vector<double> a = rpc_channel(rsp, 1, &dt), b = rpc_channel(rsp, 2);
  ASSERT_EQ(t.rows.size(), a.size());
  for (size_t i = 0; i < a.size(); ++i) {
    ASSERT_EQ(t.rows[i][0], static_cast<double>(i) * dt) << i;
    ASSERT_EQ(t.rows[i][1], a[i]) << i;
    ASSERT_EQ(t.rows[i][2], b[i]) << i;
  }
}

TEST(CliCat, ChannelsAndTimeWindowSelectRowsAndColumns) {
  TempDir dir;
  const std::string dac = dir.file("s.dac");
  const std::vector<double> v = awkward(500, 0.5);
  write_dac(dac, v, 100.0, 2.0, "Travel", "mm");
  const std::vector<double> stored = dac_samples(dac);

  // Times 2.10 to 2.20 inclusive: samples 10 to 20 (0-based).
  const Outcome run = run_zel(dir, {"cat", dac, "--channel", "1", "--start", "2.1", "--end", "2.2"});
  ASSERT_EQ(run.status, 0) << run.err;
  const Table t = parse_csv(run.out);
  ASSERT_EQ(t.header.size(), 2u);
  ASSERT_EQ(t.rows.size(), 11u);
  for (size_t k = 0; k < t.rows.size(); ++k) {
    EXPECT_NEAR(t.rows[k][0], 2.0 + 0.01 * static_cast<double>(10 + k), 1e-9);
    EXPECT_EQ(t.rows[k][1], stored[10 + k]);
  }

  const Outcome several = run_zel(dir, {"cat", dir.file("s.dac"), "-c", "1", "-c", "1", "--end", "2.0"});
  ASSERT_EQ(several.status, 0) << several.err;
  const Table one_row = parse_csv(several.out);
  ASSERT_EQ(one_row.rows.size(), 1u);
  EXPECT_EQ(one_row.rows[0], (std::vector<double>{2.0, stored[0], stored[0]}));
}

TEST(CliConvert, RpcToDacPerChannelAndBackKeepsValuesTextsAndInterval) {
  TempDir dir;
  const std::string rsp = dir.file("in.rsp");
  std::vector<std::vector<double>> channels = {awkward(2048, 0.0), awkward(2048, 2.0), awkward(2048, 4.0)};
  for (double &x : channels[1]) x = x * 40 + 7000; // an offset channel
  write_rpc(rsp, channels, 0.0025, false, {{"Fx", "N"}, {"Fz", "N"}, {"My", "Nm"}});

  Outcome run = run_zel(dir, {"convert", rsp, dir.file("out.dac")});
  ASSERT_EQ(run.status, 0) << run.err;
  std::vector<std::string> dacs;
  for (int c = 1; c <= 3; ++c) {
    const std::string name = dir.file("out_" + std::to_string(c) + ".dac");
    ASSERT_TRUE(std::filesystem::exists(name)) << name;
    dacs.push_back(name);
    const std::vector<double> original = rpc_channel(rsp, c);
    double rate = 0;
    const std::vector<double> d = dac_samples(name, &rate);
    ASSERT_EQ(d.size(), original.size());
    EXPECT_NEAR(1.0 / rate, 0.0025, 1e-9);
    for (size_t i = 0; i < d.size(); ++i)
      ASSERT_EQ(d[i], static_cast<double>(static_cast<float>(original[i]))) << c << " " << i;
  }

  std::vector<std::string> args = {"convert"};
  args.insert(args.end(), dacs.begin(), dacs.end());
  args.push_back(dir.file("back.rsp"));
  run = run_zel(dir, args);
  ASSERT_EQ(run.status, 0) << run.err;
  const Json info = Json::parse(run_zel(dir, {"info", "--json", dir.file("back.rsp")}).out)[0];
  EXPECT_EQ(info["channels"][2]["description"].text, "My");
  EXPECT_EQ(info["channels"][2]["unit"].text, "Nm");
  EXPECT_NEAR(info["sample_interval"].number, 0.0025, 1e-9);
  for (int c = 1; c <= 3; ++c) {
    const std::vector<double> original = rpc_channel(rsp, c), back = rpc_channel(dir.file("back.rsp"), c);
    ASSERT_EQ(back.size(), original.size());
    double peak = 0;
    for (double x : original) peak = std::max(peak, std::fabs(x));
    const double step = peak / 32752.0; // the integer quantisation of the new file
    for (size_t i = 0; i < back.size(); ++i)
      ASSERT_NEAR(back[i], original[i], step + float_ulp(original[i])) << c << " " << i;
  }
}

TEST(CliConvert, DacFilesJoinIntoOneRpcFileOnlyWhenTheyShareTheInterval) {
  TempDir dir;
  const std::vector<double> a = awkward(1000, 0.0), b = awkward(1000, 1.0);
  write_dac(dir.file("a.dac"), a, 512.0, 0.0, "A", "g");
  write_dac(dir.file("b.dac"), b, 512.0, 0.0, "B", "g");
  write_dac(dir.file("slow.dac"), b, 256.0, 0.0, "Slow", "g");

  Outcome run = run_zel(dir, {"convert", "--float", dir.file("a.dac"), dir.file("b.dac"), dir.file("ab.rsp")});
  ASSERT_EQ(run.status, 0) << run.err;
  // Floats stay floats: exact. The file holds whole frames; the writer
  // repeats the last sample up to the frame's end.
  for (int c = 1; c <= 2; ++c) {
    const std::vector<double> &want = c == 1 ? a : b;
    const std::vector<double> got = rpc_channel(dir.file("ab.rsp"), c);
    ASSERT_EQ(got.size(), 1024u);
    for (size_t i = 0; i < got.size(); ++i) ASSERT_EQ(got[i], want[std::min(i, want.size() - 1)]) << i;
  }

  run = run_zel(dir, {"convert", dir.file("a.dac"), dir.file("slow.dac"), dir.file("bad.rsp")});
  EXPECT_NE(run.status, 0);
  ASSERT_EQ(run.err_lines().size(), 1u) << run.err;
  EXPECT_NE(run.err.find(dir.file("slow.dac")), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("interval"), std::string::npos) << run.err;
  EXPECT_FALSE(std::filesystem::exists(dir.file("bad.rsp")));
}

TEST(CliConvert, CsvBecomesRpcOrDacWithTheIntervalOfItsTimeColumn) {
  TempDir dir;
  {
    std::ofstream csv(dir.file("in.csv"));
    csv << std::setprecision(17);
    csv << "time [s],\"Load, left [kN]\",Angle [deg]\r\n";
    for (int i = 0; i < 300; ++i)
      csv << 0.5 + i * 0.01 << "," << std::sin(i * 0.1) * 12.5 << "," << i * 0.25 - 30 << "\r\n";
  }
  Outcome run = run_zel(dir, {"convert", dir.file("in.csv"), dir.file("out.dac")});
  ASSERT_EQ(run.status, 0) << run.err;
  run = run_zel(dir, {"convert", "--float", dir.file("in.csv"), dir.file("out.rsp")});
  ASSERT_EQ(run.status, 0) << run.err;

  double rate = 0, start = 0;
  const std::vector<double> load = dac_samples(dir.file("out_1.dac"), &rate, &start);
  EXPECT_NEAR(rate, 100.0, 1e-4); // the file holds the interval as a float
  EXPECT_NEAR(start, 0.5, 1e-12);
  double dt = 0;
  const std::vector<double> angle = rpc_channel(dir.file("out.rsp"), 2, &dt);
  EXPECT_NEAR(dt, 0.01, 1e-12);
  for (int i = 0; i < 300; ++i) {
    ASSERT_EQ(load[static_cast<size_t>(i)], static_cast<double>(static_cast<float>(std::sin(i * 0.1) * 12.5)));
    ASSERT_EQ(angle[static_cast<size_t>(i)], static_cast<double>(static_cast<float>(i * 0.25 - 30)));
  }
  const Json info = Json::parse(run_zel(dir, {"info", "--json", dir.file("out_1.dac")}).out)[0];
  EXPECT_EQ(info["channels"][0]["description"].text, "Load, left");
  EXPECT_EQ(info["channels"][0]["unit"].text, "kN");
}

TEST(CliConvert, CatOutputReadsBackBitForBit) {
  TempDir dir;
  const std::string rsp = dir.file("f.rsp");
  write_rpc(rsp, {awkward(3072, 0.0), awkward(3072, 3.0)}, 1.0 / 1024, true);
  const Outcome cat = run_zel(dir, {"cat", rsp});
  ASSERT_EQ(cat.status, 0) << cat.err;
  {
    std::ofstream out(dir.file("f.csv"), std::ios::binary);
    out << cat.out;
  }
  ASSERT_EQ(run_zel(dir, {"convert", "--float", dir.file("f.csv"), dir.file("g.rsp")}).status, 0);
  ASSERT_EQ(run_zel(dir, {"convert", dir.file("g.rsp"), dir.file("g.csv")}).status, 0);
  EXPECT_EQ(slurp(dir.file("g.csv")), cat.out);
  for (int c = 1; c <= 2; ++c) EXPECT_EQ(rpc_channel(dir.file("g.rsp"), c), rpc_channel(rsp, c));
}

TEST(CliConvert, RefusesUnevenTimeColumnsAndUnknownOutputs) {
  TempDir dir;
  {
    std::ofstream csv(dir.file("uneven.csv"));
    csv << "time [s],x [m]\n0,1\n0.1,2\n0.25,3\n0.3,4\n";
  }
  Outcome run = run_zel(dir, {"convert", dir.file("uneven.csv"), dir.file("u.rsp")});
  EXPECT_NE(run.status, 0);
  EXPECT_NE(run.err.find("not equally spaced"), std::string::npos) << run.err;

  write_dac(dir.file("a.dac"), {1, 2, 3}, 10.0, 0.0, "A", "g");
  run = run_zel(dir, {"convert", dir.file("a.dac"), dir.file("a.xyz")});
  EXPECT_NE(run.status, 0);
  ASSERT_EQ(run.err_lines().size(), 1u) << run.err;
  EXPECT_NE(run.err.find("a.xyz: unknown output format"), std::string::npos) << run.err;
}
