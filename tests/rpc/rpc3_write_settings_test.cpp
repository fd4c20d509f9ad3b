// Writing with explicit settings: value type, 16-bit conversion, extra
// header records and the true sample count read back.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "rpc/rpc3_support.h"

using namespace zel_test;

namespace {

// Writes one channel with zel_rpc_create_as and reads it back whole.
std::vector<double> write_and_read(const std::string &path, const std::vector<double> &v, int type, int conversion) {
  int status = -1;
  void *w = zel_rpc_create_as(path.c_str(), 1, int(v.size()), 0.5, type, conversion, 0, &status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(zel_rpc_putchannel(w, 1, int(v.size()), v.data(), "d", "u"), 0);
  EXPECT_EQ(zel_rpc_writeclose(w), 0);
  int points = 0;
  double dt = 0;
  zel_rpc_data(path.c_str(), 1, &points, &dt, nullptr);
  std::vector<double> back(static_cast<size_t>(points));
  EXPECT_EQ(zel_rpc_data(path.c_str(), 1, &points, &dt, back.data()), 0);
  back.resize(v.size());
  return back;
}

} // namespace

TEST(Rpc3WriteSettings, ValueTypeAndConversion) {
  TempDir dir;
  WriterEnvironment env;
  env.set(WriterEnvironment::kFloat, "1"); // never read when the settings are explicit
  // The largest magnitude is the full scale 32752, so the scale is 1 and the
  // stored integers are the quotients themselves.
  const std::vector<double> v = {32752, 1.6, -1.6, 2.5, -2.5, 0.4, -32752};
  struct Case {
    int type, conversion;
    std::vector<double> expected;
  } cases[] = {
      {ZEL_RPC_INT16, ZEL_RPC_TRUNCATE, {32752, 1, -1, 2, -2, 0, -32752}},
      {ZEL_RPC_INT16, ZEL_RPC_ROUND_NEAREST, {32752, 2, -2, 3, -3, 0, -32752}},
      {ZEL_RPC_FLOAT32, ZEL_RPC_TRUNCATE, {32752, double(1.6f), double(-1.6f), 2.5, -2.5, double(0.4f), -32752}},
  };
  for (const Case &c : cases) {
    const std::string path = dir.file("s.rsp");
    EXPECT_EQ(write_and_read(path, v, c.type, c.conversion), c.expected) << c.type << c.conversion;
    FileImage f(path);
    EXPECT_EQ(f.keyword(5) + "=" + f.value(5),
              c.type == ZEL_RPC_FLOAT32 ? "DATA_TYPE=FLOATING_POINT" : "DATA_TYPE=SHORT_INTEGER");
  }
  // Unknown settings create nothing.
  for (auto [type, conversion, extra] : {std::tuple{2, 0, 0}, {0, 2, 0}, {0, 0, -1}}) {
    int status = -1;
    EXPECT_EQ(zel_rpc_create_as(dir.file("x.rsp").c_str(), 1, 1, 1.0, type, conversion, extra, &status), nullptr);
    EXPECT_EQ(status, ZEL_RPC_CREATE_FAILED);
    EXPECT_FALSE(std::filesystem::exists(dir.file("x.rsp")));
    rpc3file_output out(dir.file("x.rsp").c_str(), 1, 1, 1.0, type, conversion, extra);
    EXPECT_EQ(out.getStatus(), ZEL_RPC_CREATE_FAILED);
    EXPECT_EQ(out.putRecord("A", "b"), ZEL_RPC_CREATE_FAILED);
  }
}

TEST(Rpc3WriteSettings, RoundingMakesCopiesStable) {
  TempDir dir;
  std::vector<double> v(3000);
  for (size_t i = 0; i < v.size(); ++i) v[i] = 123.456 * std::sin(0.01 * double(i)) + 0.001 * double(i % 7);
  for (int conversion : {ZEL_RPC_ROUND_NEAREST, ZEL_RPC_TRUNCATE}) {
    const std::vector<double> first = write_and_read(dir.file("a.rsp"), v, ZEL_RPC_INT16, conversion);
    const std::vector<double> second = write_and_read(dir.file("b.rsp"), first, ZEL_RPC_INT16, conversion);
    size_t changed = 0, beyond_half_step = 0;
    const double step = 123.456 / 32752 * 1.0001;
    for (size_t i = 0; i < v.size(); ++i) {
      changed += second[i] != first[i];
      beyond_half_step += std::fabs(first[i] - v[i]) > step / 2;
    }
    if (conversion == ZEL_RPC_ROUND_NEAREST) {
      EXPECT_EQ(changed, 0u);
      EXPECT_EQ(beyond_half_step, 0u);
    } else {
      EXPECT_GT(changed, 0u); // truncation drifts on every pass
    }
  }
}

TEST(Rpc3WriteSettings, ExtraRecordsDateAndSampleCount) {
  TempDir dir;
  const std::string path = dir.file("r.rsp");
  rpc3file_output out(path.c_str(), 2, 3, 0.25, ZEL_RPC_INT16, ZEL_RPC_ROUND_NEAREST, 2);
  const double v[] = {1, 2, 3};
  const std::string long_value(120, 'v');
  EXPECT_EQ(out.setChannel(1, 3, v, "one", "N"), 0);
  const struct {
    const char *keyword, *value;
    int status;
  } puts[] = {{"DATE", "1-Jan-2026 00:00:00", 0},
              {"KIVOR_RUN", "run name", 0},
              {"STAT.CHAN_1", "first", 0},
              {"STAT.CHAN_1", "3.0", 0}, // replaces
              {"STAT.CHAN_2", long_value.c_str(), 0},
              {"STAT.CHAN_3", "no room", 9},
              {"CHANNELS", "5", 9},
              {"DESC.CHAN_1", "x", 9},
              {"KIVOR_STEPS", "7", 9},
              {"", "x", 9},
              {"TWO WORDS", "x", 9},
              {"K23456789012345678901234567890123", "x", 9},
              {nullptr, "x", 9},
              {"A", nullptr, 9}};
  for (const auto &p : puts) EXPECT_EQ(out.putRecord(p.keyword, p.value), p.status) << (p.keyword ? p.keyword : "null");
  EXPECT_EQ(out.close(), 0);
  EXPECT_EQ(out.putRecord("A", "b"), ZEL_RPC_BAD_HANDLE);

  int channels = 0, points = 0, status = -1;
  double dt = 0;
  char date[96], keyword[32], value[96];
  void *h = zel_rpc_open(path.c_str(), &channels, &points, &dt, date, &status);
  ASSERT_EQ(status, 0);
  EXPECT_EQ(points, 256);
  EXPECT_EQ(zel_rpc_samples(h), 3);
  EXPECT_STREQ(date, "1-Jan-2026 00:00:00");
  std::string listed;
  int index = 1;
  for (; zel_rpc_record(h, index, keyword, value) == 0; ++index) listed += std::string(keyword) + "=" + value + ";";
  EXPECT_EQ(index - 1, 22 + 2 * 6 + 2); // fixed, channel and extra records
  EXPECT_NE(listed.find("STAT.CHAN_1=3.0;STAT.CHAN_2=" + std::string(95, 'v') + ";"), std::string::npos);
  EXPECT_EQ(listed.rfind("FORMAT=BINARY_IEEE_LITTLE_END;", 0), 0u);
  EXPECT_NE(listed.find(";KIVOR_RUN=run name;KIVOR_STEPS=3;"), std::string::npos);
  EXPECT_EQ(zel_rpc_record(h, 0, keyword, value), ZEL_RPC_CHANNEL_RANGE);
  EXPECT_EQ(zel_rpc_record(h, 1, nullptr, nullptr), 0);
  EXPECT_EQ(zel_rpc_record(nullptr, 1, keyword, value), ZEL_RPC_BAD_HANDLE);
  EXPECT_EQ(zel_rpc_samples(nullptr), 0);
  zel_rpc_readclose(h);
}

TEST(Rpc3WriteSettings, SamplesFollowTheRecordedCountWithinThePoints) {
  TempDir dir;
  // Two frames of 256 points: a recorded count counts when it lies in 1..512.
  const struct {
    const char *steps; // null: no record
    int samples;
  } cases[] = {{nullptr, 512}, {"300", 300}, {"1", 1}, {"512", 512}, {"513", 512}, {"0", 512}, {"-4", 512}, {"x", 512}};
  for (const auto &c : cases) {
    Rpc3File f;
    f.frames = 2;
    f.standard_records();
    if (c.steps) f.set("KIVOR_STEPS", c.steps);
    rpc3file_input in(f.write(dir.file("k.rsp")).c_str());
    in.initRead(0);
    EXPECT_EQ(in.getSamples(), c.samples) << (c.steps ? c.steps : "none");
  }
  rpc3file_input missing(dir.file("none.rsp").c_str());
  EXPECT_EQ(missing.getSamples(), 0);
  char keyword[32];
  EXPECT_EQ(missing.getRecord(1, keyword, nullptr), ZEL_RPC_CHANNEL_RANGE);
}
