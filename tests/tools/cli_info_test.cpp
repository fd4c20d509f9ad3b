// zel info against what the library reads, and the tool's failures: a
// non-zero exit and one line on stderr naming the file and the library's
// message.
#include "cli_support.h"

using namespace cli_test;

namespace {

// Statistics of zel info --json for file f, channel c, against the plain
// computation on the values the library delivers.
void expect_library_stats(const std::string &json, size_t c, const std::vector<double> &v) {
  double lo = v[0], hi = v[0], sum = 0, squares = 0, ilo = 1, ihi = 1;
  for (size_t i = 0; i < v.size(); ++i) {
    if (v[i] < lo) lo = v[i], ilo = double(i + 1);
    if (v[i] > hi) hi = v[i], ihi = double(i + 1);
    sum += v[i], squares += v[i] * v[i];
  }
  const double mean = sum / double(v.size()), rms = std::sqrt(squares / double(v.size()));
  EXPECT_EQ(json_number(json, "min", c), lo);
  EXPECT_EQ(json_number(json, "max", c), hi);
  EXPECT_EQ(json_number(json, "min_index", c), ilo);
  EXPECT_EQ(json_number(json, "max_index", c), ihi);
  EXPECT_NEAR(json_number(json, "mean", c), mean, 1e-12 * (std::fabs(mean) + rms));
  EXPECT_NEAR(json_number(json, "rms", c), rms, 1e-12 * rms);
}

void expect_one_line_failure(const Outcome &run, const std::vector<std::string> &needles) {
  EXPECT_NE(run.status, 0);
  ASSERT_EQ(run.err_lines(), 1u) << run.err;
  EXPECT_EQ(run.err.rfind("zel: ", 0), 0u) << run.err;
  for (const std::string &needle : needles) EXPECT_NE(run.err.find(needle), std::string::npos) << run.err;
}

} // namespace

// The format is found by content: the RPC III file is named .dac, the DAC file .rsp.
TEST(CliInfo, StatisticsEqualThoseOfTheLibrarysDataAndTheTableShowsTheFacts) {
  TempDir dir;
  const std::string rsp = dir.file("three.dac"), dac = dir.file("one.rsp");
  Columns c(3, std::vector<double>(1500)); // a repeated maximum (the first counts), negative only, a last-sample extreme
  for (size_t i = 0; i < 1500; ++i) c[0][i] = 100 * std::sin(i * 0.01) + 3, c[1][i] = -5 - 0.5 * std::cos(i * 0.3), c[2][i] = 0.001 * i;
  c[0][200] = c[0][700] = 250.0;
  write_rpc(rsp, c, 0.002, false, {{"Hub force", "kN"}, {"Strain, gauge 2", "ustrain"}, {"Ramp", "mm"}});
  std::vector<double> samples(3000);
  for (size_t i = 0; i < samples.size(); ++i) samples[i] = std::sin(0.002 * double(i * i));
  write_dac(dac, samples, 200.0, 1.5, "Damper travel", "mm");

  const Outcome run = run_zel(dir, {"info", "--json", rsp, dac});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "");
  const std::string &j = run.out;
  EXPECT_EQ(j.front(), '[');
  EXPECT_EQ(json_values(j, "format"), (std::vector<std::string>{"RPC III", "DAC"}));
  EXPECT_EQ(json_values(j, "channel_count"), (std::vector<std::string>{"3", "1"}));
  EXPECT_EQ(json_values(j, "points"), (std::vector<std::string>{"2048", "3000"})); // whole frames of 1024
  EXPECT_EQ(json_values(j, "value_type"), (std::vector<std::string>{"int16 (scaled)", "float32"}));
  EXPECT_EQ(json_values(j, "byte_order").at(0), "little-endian");
  EXPECT_EQ(json_values(j, "description"), (std::vector<std::string>{"Hub force", "Strain, gauge 2", "Ramp", "Damper travel"}));
  EXPECT_EQ(json_values(j, "unit"), (std::vector<std::string>{"kN", "ustrain", "mm", "mm"}));
  EXPECT_EQ(json_values(j, "date").at(0).size(), 24u);
  EXPECT_DOUBLE_EQ(json_number(j, "sample_interval"), 0.002);
  EXPECT_DOUBLE_EQ(json_number(j, "duration"), 2048 * 0.002);
  EXPECT_NEAR(json_number(j, "sample_interval", 1), 0.005, 1e-9);
  EXPECT_EQ(json_number(j, "start_time", 1), 1.5);
  for (int k = 1; k <= 3; ++k) expect_library_stats(j, size_t(k - 1), rpc_channel(rsp, k));
  EXPECT_EQ(json_number(j, "max_index"), 201);
  expect_library_stats(j, 3, dac_samples(dac));

  const Outcome table = run_zel(dir, {"info", rsp});
  ASSERT_EQ(table.status, 0) << table.err;
  for (const char *fact : {"format           RPC III", "channels         3", "points           2048",
                           "sample interval  0.002 s (500 Hz)", "duration         4.096 s", "value type       int16 (scaled)",
                           "byte order       little-endian", "Hub force", "ustrain"})
    EXPECT_NE(table.out.find(fact), std::string::npos) << fact << "\n" << table.out;
}

// The sample file's NCODE_STAT1_CHAN_n (max, min, ...) and NCODE_STAT2_CHAN_n
// (1-based indices of max, min, ...) agree with zel: indices exactly, values
// within one SCALE step (plus the rounding of the SCALE text, up to full scale).
TEST(CliInfo, SampleFileAgreesWithItsOwnStatisticsRecords) {
  const std::string sample = std::string(ZEL_SAMPLES_DIR) + "/test1.rsp";
  if (!std::filesystem::exists(sample)) GTEST_SKIP() << "no " << sample;
  TempDir dir;
  const Outcome run = run_zel(dir, {"info", "--json", sample});
  ASSERT_EQ(run.status, 0) << run.err;
  const std::string bytes = slurp(sample);
  auto record = [&](const std::string &key) {
    for (size_t r = 0; r + 128 <= bytes.size(); r += 128)
      if (bytes.compare(r, key.size() + 1, key.c_str(), key.size() + 1) == 0) return std::string(bytes.c_str() + r + 32);
    return std::string();
  };
  const int channels = std::atoi(record("CHANNELS").c_str());
  ASSERT_EQ(json_number(run.out, "channel_count"), channels);
  for (int c = 1; c <= channels; ++c) {
    SCOPED_TRACE(c);
    const std::string n = std::to_string(c), scale_text = record("SCALE.CHAN_" + n);
    const size_t digits = scale_text.find_first_of("eE") - scale_text.find('.') - 1;
    const double tolerance = std::atof(scale_text.c_str()) * (1.0 + 32768.0 * 0.5 * std::pow(10.0, -double(digits)));
    double max = 0, min = 0, max_at = 0, min_at = 0;
    ASSERT_EQ(std::sscanf(record("NCODE_STAT1_CHAN_" + n).c_str(), "%lf,%lf", &max, &min), 2);
    ASSERT_EQ(std::sscanf(record("NCODE_STAT2_CHAN_" + n).c_str(), "%lf,%lf", &max_at, &min_at), 2);
    EXPECT_EQ(json_number(run.out, "max_index", size_t(c - 1)), max_at);
    EXPECT_EQ(json_number(run.out, "min_index", size_t(c - 1)), min_at);
    EXPECT_NEAR(json_number(run.out, "max", size_t(c - 1)), max, tolerance);
    EXPECT_NEAR(json_number(run.out, "min", size_t(c - 1)), min, tolerance);
    expect_library_stats(run.out, size_t(c - 1), rpc_channel(sample, c));
  }
}

TEST(CliErrors, FailuresExitNonZeroWithOneLineNamingTheFileAndTheMessage) {
  TempDir dir;
  const std::string missing = dir.file("missing.rsp"), junk = dir.file("junk.bin"), rsp = dir.file("two.rsp"), dac = dir.file("a.dac");
  std::ofstream(junk) << "this is neither format\n";
  write_rpc(rsp, {{1, 2, 3}, {4, 5, 6}}, 0.1);
  write_dac(dac, {1, 2, 3}, 10.0);
  const std::vector<std::pair<std::vector<std::string>, std::vector<std::string>>> cases = {
      {{"info", missing}, {missing, "cannot open"}},
      {{"cat", missing}, {missing}},
      {{"info", junk}, {junk, "unknown format"}},
      {{"cat", rsp, "--channel", "3"}, {rsp, "RPC file channel number out of range", "channel 3"}},
      {{"plot", rsp, "--channel", "0"}, {rsp, "out of range"}},
      {{"cat", dac, "-c", "2"}, {dac, "out of range"}},
      {{"convert", dac, dir.file("no/dir/out.rsp")}, {"out.rsp", "cannot create: No such file or directory"}},
      {{"convert", dac, dir.file("no/dir/out.dac")}, {"out.dac", "cannot create: No such file or directory"}},
      {{"convert", dac, dir.file("a.xyz")}, {"a.xyz: unknown output format"}},
      {{}, {}}, {{"frobnicate"}, {"frobnicate"}}, {{"cat"}, {"file"}}, {{"cat", dac, "--channel", "one"}, {"one"}},
      {{"cat", dac, "--start", "1", "--end", "0"}, {"--start"}}, {{"plot", dac}, {"channel"}}, {{"convert", dac}, {}},
      {{"convert", "--float", dac, dir.file("b.dac")}, {"--float"}},
      {{"export-modal", "--modes", "2", "--steps", "5"}, {}},
      {{"export-modal", "--modes", "2", "--steps", "5", "--punch", "a", "--op2", "b"}, {}},
      {{"export-modal", "--modes", "3", "--steps", "20", "--op2", dir.file("no/dir/x.op2")}, {"x.op2"}}};
  for (const auto &[args, needles] : cases) {
    SCOPED_TRACE(args.empty() ? "(none)" : args[0] + " " + (args.size() > 1 ? args[1] : ""));
    expect_one_line_failure(run_zel(dir, args), needles);
  }
  // A file cut short: the header promises more data than there is.
  std::filesystem::resize_file(rsp, std::filesystem::file_size(rsp) - 100);
  expect_one_line_failure(run_zel(dir, {"info", rsp}), {rsp, "RPC file header is not compatible with file size."});
  // info reports each bad file and still describes the good ones.
  const Outcome run = run_zel(dir, {"info", dir.file("gone1"), dac, dir.file("gone2")});
  EXPECT_NE(run.status, 0);
  EXPECT_EQ(run.err_lines(), 2u) << run.err;
  EXPECT_NE(run.out.find("a.dac"), std::string::npos);
  for (const char *command : {"info", "cat", "convert", "plot", "export-modal", "version", "demo"}) {
    const Outcome help = run_zel(dir, {command, "--help"});
    EXPECT_EQ(help.status, 0) << command;
    EXPECT_NE(help.out.find("Usage:"), std::string::npos) << command << help.out;
  }
}
