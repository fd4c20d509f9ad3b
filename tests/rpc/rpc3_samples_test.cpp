// Real files from another program, when present: every channel's extremes
// and their positions agree with the statistics the file carries.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "zel.h"

namespace {

// NCODE_STAT records: "max,min,mean,std,rms" and "imax,imin,iabsmax".
struct Stats {
  double max = 0, min = 0, mean = 0, std = 0, rms = 0;
  int imax = 0, imin = 0, iabs = 0;
};

std::vector<Stats> file_stats(const std::string &path, int channels) {
  std::ifstream in(path, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<Stats> s(static_cast<size_t>(channels));
  for (size_t r = 0; (r + 1) * 128 <= bytes.size(); ++r) {
    const char *rec = bytes.data() + r * 128;
    const std::string key(rec, strnlen(rec, 32));
    const std::string value(rec + 32, strnlen(rec + 32, 96));
    int c = 0;
    if (std::sscanf(key.c_str(), "NCODE_STAT1_CHAN_%d", &c) == 1 && c >= 1 && c <= channels)
      std::sscanf(value.c_str(), "%lf,%lf,%lf,%lf,%lf", &s[size_t(c - 1)].max, &s[size_t(c - 1)].min,
                  &s[size_t(c - 1)].mean, &s[size_t(c - 1)].std, &s[size_t(c - 1)].rms);
    else if (std::sscanf(key.c_str(), "NCODE_STAT2_CHAN_%d", &c) == 1 && c >= 1 && c <= channels)
      std::sscanf(value.c_str(), "%d,%d,%d", &s[size_t(c - 1)].imax, &s[size_t(c - 1)].imin,
                  &s[size_t(c - 1)].iabs);
  }
  return s;
}

class Rpc3Samples : public testing::TestWithParam<const char *> {};

} // namespace

TEST_P(Rpc3Samples, ExtremesAndStatisticsMatchTheFile) {
  const std::string path = std::string(ZEL_SAMPLES_DIR) + "/" + GetParam();
  if (!std::filesystem::exists(path)) GTEST_SKIP() << "sample not present: " << path;
  for (int budget : {0, 1, 64}) {
    rpc3file_input in(path.c_str());
    ASSERT_EQ(in.getStatus(), 0);
    in.initRead(budget);
    EXPECT_EQ(in.getStatus(), 0);
    int channels = 0, n = 0;
    double dt = 0;
    in.getInfo(channels, n, dt, nullptr);
    ASSERT_EQ(channels, 5);
    ASSERT_EQ(n, 2048);
    EXPECT_DOUBLE_EQ(dt, 0.004);
    const std::vector<Stats> stats = file_stats(path, channels);
    for (int c = 1; c <= channels; ++c) {
      std::vector<double> v(static_cast<size_t>(n));
      ASSERT_EQ(in.getData(c, v.data()), 0);
      char desc[96], units[96];
      ASSERT_EQ(in.getAttributes(c, desc, units), 0);
      double lo = v[0], hi = v[0], sum = 0, sq = 0, amax = 0;
      int ilo = 1, ihi = 1, iabs = 1;
      for (int i = 0; i < n; ++i) {
        const double x = v[size_t(i)];
        if (x > hi) hi = x, ihi = i + 1;
        if (x < lo) lo = x, ilo = i + 1;
        if (std::fabs(x) > amax) amax = std::fabs(x), iabs = i + 1;
        sum += x;
        sq += x * x;
      }
      const Stats &s = stats[size_t(c - 1)];
      SCOPED_TRACE(std::string(GetParam()) + " channel " + std::to_string(c) + " " + desc);
      EXPECT_EQ(ihi, s.imax);
      EXPECT_EQ(ilo, s.imin);
      EXPECT_EQ(iabs, s.iabs);
      // Scale of the channel: the largest magnitude maps to a large integer.
      const double scale = amax / 32752.0 * 1.01;
      EXPECT_NEAR(hi, s.max, scale);
      EXPECT_NEAR(lo, s.min, scale);
      EXPECT_NEAR(sum / n, s.mean, scale);
      EXPECT_NEAR(std::sqrt(sq / n), s.rms, scale);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Files, Rpc3Samples, testing::Values("test1.rsp", "signal_example.rsp"));
