// zel info: header facts and statistics against what the library reads.
#include "cli_support.h"

#include <filesystem>

using namespace cli_test;

namespace {

// Three channels with known extremes: a repeated maximum (first occurrence
// counts), a negative-only channel and one whose extreme is the last sample.
std::vector<std::vector<double>> three_channels(size_t n) {
  std::vector<std::vector<double>> c(3, std::vector<double>(n));
  for (size_t i = 0; i < n; ++i) {
    const double t = static_cast<double>(i);
    c[0][i] = 100.0 * std::sin(t * 0.01) + 3.0;
    c[1][i] = -5.0 - 0.5 * std::cos(t * 0.3);
    c[2][i] = 0.001 * t;
  }
  c[0][200] = c[0][700] = 250.0;
  return c;
}

void expect_matches_library(const Json &channel, const std::vector<double> &values) {
  const Reference r = reference_stats(values);
  EXPECT_EQ(channel["min"].number, r.min);
  EXPECT_EQ(channel["max"].number, r.max);
  EXPECT_EQ(channel["min_index"].number, r.min_index);
  EXPECT_EQ(channel["max_index"].number, r.max_index);
  EXPECT_NEAR(channel["mean"].number, r.mean, 1e-12 * (std::fabs(r.mean) + r.rms));
  EXPECT_NEAR(channel["rms"].number, r.rms, 1e-12 * r.rms);
}

} // namespace

TEST(CliInfo, StatisticsOfRpcAndDacFilesEqualThoseOfTheLibrarysData) {
  TempDir dir;
  const std::string rsp = dir.file("three.rsp"), dac = dir.file("one.dac");
  write_rpc(rsp, three_channels(1500), 0.002, false,
            {{"Hub force", "kN"}, {"Strain, gauge 2", "ustrain"}, {"Ramp", "mm"}});
  std::vector<double> samples(3000);
  for (size_t i = 0; i < samples.size(); ++i) samples[i] = std::sin(0.002 * static_cast<double>(i * i));
  write_dac(dac, samples, 200.0, 1.5, "Damper travel", "mm");

  const Outcome run = run_zel(dir, {"info", "--json", rsp, dac});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "");
  const Json files = Json::parse(run.out);
  ASSERT_EQ(files.items.size(), 2u);

  const Json &r = files[0];
  EXPECT_EQ(r["format"].text, "RPC III");
  EXPECT_EQ(r["channel_count"].number, 3);
  EXPECT_EQ(r["points"].number, 2048); // whole frames of 1024
  EXPECT_DOUBLE_EQ(r["sample_interval"].number, 0.002);
  EXPECT_DOUBLE_EQ(r["duration"].number, 2048 * 0.002);
  EXPECT_EQ(r["value_type"].text, "int16 (scaled)");
  EXPECT_EQ(r["byte_order"].text, "little-endian");
  EXPECT_EQ(r["date"].text.size(), 24u);
  EXPECT_EQ(r["channels"][1]["description"].text, "Strain, gauge 2");
  EXPECT_EQ(r["channels"][1]["unit"].text, "ustrain");
  for (int c = 1; c <= 3; ++c) {
    SCOPED_TRACE(c);
    expect_matches_library(r["channels"][static_cast<size_t>(c - 1)], rpc_channel(rsp, c));
  }
  EXPECT_EQ(r["channels"][0]["max_index"].number, 201); // first of the two maxima

  const Json &d = files[1];
  EXPECT_EQ(d["format"].text, "DAC");
  EXPECT_EQ(d["channel_count"].number, 1);
  EXPECT_EQ(d["points"].number, 3000);
  EXPECT_NEAR(d["sample_interval"].number, 0.005, 1e-9);
  EXPECT_EQ(d["start_time"].number, 1.5);
  EXPECT_EQ(d["value_type"].text, "float32");
  EXPECT_EQ(d["channels"][0]["description"].text, "Damper travel");
  EXPECT_EQ(d["channels"][0]["unit"].text, "mm");
  expect_matches_library(d["channels"][0], dac_samples(dac));
}

TEST(CliInfo, FormatIsFoundByContentNotByName) {
  TempDir dir;
  const std::string rsp_named_dac = dir.file("really_rpc.dac");
  const std::string dac_named_rsp = dir.file("really_dac.rsp");
  write_rpc(rsp_named_dac, {{1.0, 2.0, 3.0}}, 0.01, true);
  write_dac(dac_named_rsp, {1.0, 2.0, 3.0}, 100.0, 0.0, "x", "y");

  const Outcome run = run_zel(dir, {"info", "--json", rsp_named_dac, dac_named_rsp});
  ASSERT_EQ(run.status, 0) << run.err;
  const Json files = Json::parse(run.out);
  EXPECT_EQ(files[0]["format"].text, "RPC III");
  EXPECT_EQ(files[0]["value_type"].text, "float32");
  EXPECT_EQ(files[1]["format"].text, "DAC");
}

TEST(CliInfo, TableShowsHeaderFactsAndOneRowPerChannel) {
  TempDir dir;
  const std::string rsp = dir.file("three.rsp");
  write_rpc(rsp, three_channels(1024), 0.004, false, {{"Hub force", "kN"}, {"Strain", "ue"}, {"Ramp", "mm"}});
  const Outcome run = run_zel(dir, {"info", rsp});
  ASSERT_EQ(run.status, 0) << run.err;
  for (const char *fact : {"format           RPC III", "channels         3", "points           1024",
                           "sample interval  0.004 s (250 Hz)", "duration         4.096 s",
                           "value type       int16 (scaled)", "byte order       little-endian"})
    EXPECT_NE(run.out.find(fact), std::string::npos) << fact << "\n" << run.out;
  // Row of channel 1: number, texts, four statistics, then the indices.
  std::istringstream lines(run.out);
  std::string line;
  bool found = false;
  while (std::getline(lines, line)) {
    std::istringstream words(line);
    std::vector<std::string> w;
    for (std::string x; words >> x;) w.push_back(x);
    if (w.size() == 10 && w[0] == "1" && w[1] == "Hub") {
      found = true;
      EXPECT_EQ(w[2], "force");
      EXPECT_EQ(w[3], "kN");
      EXPECT_EQ(w[9], "201");
    }
  }
  EXPECT_TRUE(found) << run.out;
}

// The sample file carries statistics written by the program that made it:
// NCODE_STAT1_CHAN_n (max, min, mean, std, rms) and NCODE_STAT2_CHAN_n
// (1-based indices of max, min, absolute max). zel's must agree: indices
// exactly, values within one SCALE step (plus the rounding of the SCALE
// text itself, which multiplies up to full scale).
TEST(CliInfo, SampleFileAgreesWithItsOwnStatisticsRecords) {
  const std::string sample = std::string(ZEL_SAMPLES_DIR) + "/test1.rsp";
  if (!std::filesystem::exists(sample)) GTEST_SKIP() << "no " << sample;
  TempDir dir;
  const Outcome run = run_zel(dir, {"info", "--json", sample});
  ASSERT_EQ(run.status, 0) << run.err;
  const Json info = Json::parse(run.out)[0];
  const auto header = rpc_header(sample);
  const int channels = std::atoi(header.at("CHANNELS").c_str());
  ASSERT_EQ(info["channel_count"].number, channels);
  for (int c = 1; c <= channels; ++c) {
    SCOPED_TRACE(c);
    const std::string n = std::to_string(c);
    const std::string scale_text = header.at("SCALE.CHAN_" + n);
    const double scale = std::atof(scale_text.c_str());
    // Half a unit in the last digit of the printed mantissa, relative.
    const size_t digits = scale_text.find_first_of("eE") - scale_text.find('.') - 1;
    const double text_rounding = 0.5 * std::pow(10.0, -static_cast<double>(digits));
    const double tolerance = scale * (1.0 + 32768.0 * text_rounding);

    double max = 0, min = 0;
    long max_at = 0, min_at = 0;
    ASSERT_EQ(std::sscanf(header.at("NCODE_STAT1_CHAN_" + n).c_str(), "%lf,%lf", &max, &min), 2);
    ASSERT_EQ(std::sscanf(header.at("NCODE_STAT2_CHAN_" + n).c_str(), "%ld,%ld", &max_at, &min_at), 2);
    const Json &channel = info["channels"][static_cast<size_t>(c - 1)];
    EXPECT_EQ(channel["max_index"].number, max_at);
    EXPECT_EQ(channel["min_index"].number, min_at);
    EXPECT_NEAR(channel["max"].number, max, tolerance);
    EXPECT_NEAR(channel["min"].number, min, tolerance);
    expect_matches_library(channel, rpc_channel(sample, c));
  }
}
