// zel_dac_getwindow: the six cases on a file of ten samples x1 .. x10
// (start 0, interval 0.5), held values, failures and wide windows.
#include "zel.h"

#include "dac/dac_test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <tuple>
#include <vector>

using namespace dac_test;

namespace {

class DacWindow : public testing::Test {
protected:
  void SetUp() override {
    DacBuilder b;
    b.samples = x;
    const Opened o(b.write(dir, "w.dac"));
    handle = o.h;
    npts = o.npts;
    ASSERT_NE(handle, nullptr);
    ASSERT_EQ(std::make_tuple(o.status, npts), std::make_tuple(ZEL_DAC_OK, 10));
  }
  void TearDown() override { EXPECT_EQ(zel_dac_close(handle), ZEL_DAC_OK); }

  // Values of a window (caller's count n, interval dt) as values of x, each
  // of three positions.
  std::vector<double> held(int n, double dt, double centre, int status = ZEL_DAC_OK) {
    std::vector<double> t(3), v(3, 5.0);
    EXPECT_EQ(zel_dac_getwindow(handle, n, 0.0, dt, centre, 1, t.data(), v.data()), status) << centre;
    return v;
  }

  TempDir dir;
  std::vector<float> x = ramp(10, 1.25f, 0.5f);
  void *handle = nullptr;
  int npts = 0;
};

} // namespace

TEST_F(DacWindow, InsidePastOneEndPastBothEndsAndOutside) {
  struct Case {
    double centre;
    int h;
    std::vector<int> samples; // 1-based sample numbers of the values
    double first_time;        // times run on by the interval from here
  } cases[] = {
      {2.0, 2, {3, 4, 5, 6, 7}, 1.0},
      {2.2, 2, {3, 4, 5, 6, 7}, 1.0},
      {1.9999999999, 2, {3, 4, 5, 6, 7}, 1.0}, // within 1e-8 of an interval
      {1.99, 2, {2, 3, 4, 5, 6}, 0.5},
      {0.0, 2, {1, 1, 1, 2, 3}, -1.0},
      {4.5, 2, {8, 9, 10, 10, 10}, 3.5},
      {2.5, 5, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 10}, 0.0}, // c >= h, c + h = npts: past the end only
      {100.0, 1, {10, 10, 10}, 99.5},
      {-10.0, 1, {1, 1, 1}, -10.5},
      {2.0, 7, {1, 1, 1, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 10, 10}, -1.5},
      {2.0, 6, {1, 1, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 10}, -1.0},
      {2.0, 0, {5}, 2.0},
      {-3.0, 0, {1}, -3.0},
      {30.0, 0, {10}, 30.0}};
  for (const Case &c : cases) {
    std::vector<double> t(c.samples.size(), -99.0), v(c.samples.size(), -99.0), want_t, want_v;
    ASSERT_EQ(zel_dac_getwindow(handle, npts, 0.0, 0.5, c.centre, c.h, t.data(), v.data()), ZEL_DAC_OK);
    for (size_t i = 0; i < c.samples.size(); ++i) {
      want_t.push_back(c.first_time + 0.5 * static_cast<double>(i));
      want_v.push_back(x[static_cast<size_t>(c.samples[i] - 1)]);
    }
    EXPECT_EQ(v, want_v) << c.centre << " " << c.h;
    EXPECT_EQ(t, want_t) << c.centre << " " << c.h;
    double rest[10]; // the read position ends after the window
    EXPECT_EQ(zel_dac_getnpts(handle, 10, rest), 0) << c.centre << " " << c.h;
  }
}

TEST_F(DacWindow, CallerCountsOtherThanTheFilesAndBadArguments) {
  // A larger count is cut to the file's: the last sample is held. A smaller
  // one ends the signal early. Infinitely far away is simply outside.
  EXPECT_EQ(held(50, 0.5, 5.0), std::vector<double>(3, x[9]));
  EXPECT_EQ(held(4, 0.5, 5.0), std::vector<double>(3, x[3]));
  EXPECT_EQ(held(10, 0.5, INFINITY), std::vector<double>(3, x[9]));
  EXPECT_EQ(held(10, 0.5, -1e300), std::vector<double>(3, x[0]));
  // Refused arguments leave the outputs alone.
  for (double bad : {0.0, -0.5, static_cast<double>(NAN)})
    EXPECT_EQ(held(10, bad, 1.0, ZEL_DAC_BAD_ARGUMENTS), std::vector<double>(3, 5.0)) << bad;
  EXPECT_EQ(held(0, 0.5, 1.0, ZEL_DAC_BAD_ARGUMENTS), std::vector<double>(3, 5.0));
  EXPECT_EQ(held(10, 0.5, NAN, ZEL_DAC_BAD_ARGUMENTS), std::vector<double>(3, 5.0));
  double t = 7.0, v = 8.0;
  EXPECT_EQ(zel_dac_getwindow(handle, npts, 0.0, 0.5, 1.0, -1, &t, &v), ZEL_DAC_BAD_ARGUMENTS);
  EXPECT_EQ(t, 7.0);
  EXPECT_EQ(v, 8.0);
}

TEST(DacWindowFailures, NullHandleShortFileAndFailedOpen) {
  // Null handle: positions F .. F + (e - s) get time 0 and every value 0.
  std::vector<double> t(5, -1.0), v(5, -1.0);
  EXPECT_EQ(zel_dac_getwindow(nullptr, 10, 0.0, 0.5, 0.0, 2, t.data(), v.data()), ZEL_DAC_BAD_HANDLE);
  EXPECT_EQ(t, (std::vector<double>{-1.0, -0.5, 0.0, 0.0, 0.0})); // F = 2, samples 1 .. 3
  EXPECT_EQ(v, std::vector<double>(5, 0.0));

  TempDir dir;
  DacBuilder b;
  b.point_count = 100; // holds 10
  b.pad_data = false;
  const Opened o(b.write(dir, "short.dac"));
  ASSERT_EQ(o.status, ZEL_DAC_OK);
  t.assign(5, -1.0);
  v.assign(5, -1.0);
  EXPECT_EQ(zel_dac_getwindow(o.h, o.npts, 0.0, 0.5, 10.0, 2, t.data(), v.data()), ZEL_DAC_DATA_READ);
  EXPECT_EQ(t, std::vector<double>(5, 0.0)); // F = 0, samples 19 .. 23
  EXPECT_EQ(v, std::vector<double>(5, 0.0));
  ASSERT_EQ(zel_dac_getwindow(o.h, o.npts, 0.0, 0.5, 2.0, 2, t.data(), v.data()), ZEL_DAC_OK);
  EXPECT_EQ(v[0], static_cast<double>(b.samples[2]));
  EXPECT_EQ(zel_dac_close(o.h), ZEL_DAC_OK);

  // A handle whose open failed has no samples.
  const Opened missing(dir.file("missing"));
  EXPECT_EQ(zel_dac_getwindow(missing.h, 10, 0.0, 0.5, 0.0, 2, t.data(), v.data()), ZEL_DAC_START_BEYOND_END);
  EXPECT_EQ(zel_dac_close(missing.h), ZEL_DAC_NOT_OPEN);
}

TEST(DacWindowWide, WindowsWiderThanOneBatchAreServed) {
  TempDir dir;
  DacBuilder b;
  b.samples = ramp(3000, 1.0f, 0.0f); // sample n holds n
  b.interval = 0.25f;
  b.start_time = 10.0f;
  const Opened o(b.write(dir, "wide.dac"));
  ASSERT_EQ(o.status, ZEL_DAC_OK);
  for (int h_width : {511, 512, 1400, 2000}) {
    for (int64_t c : {0, 1500, 2999}) { // centre at sample c + 1
      const size_t w = 2 * static_cast<size_t>(h_width) + 1;
      std::vector<double> t(w), v(w);
      const double centre = 10.0 + 0.25 * static_cast<double>(c);
      ASSERT_EQ(zel_dac_getwindow(o.h, o.npts, 10.0, 0.25, centre, h_width, t.data(), v.data()), ZEL_DAC_OK);
      for (size_t i = 0; i < w; ++i) {
        const int64_t k = c - h_width + static_cast<int64_t>(i);
        ASSERT_EQ(v[i], static_cast<double>(std::clamp<int64_t>(k + 1, 1, 3000))) << h_width << " " << c << " " << i;
        ASSERT_EQ(t[i], static_cast<double>(k) * 0.25 + 10.0);
      }
    }
  }
  EXPECT_EQ(zel_dac_close(o.h), ZEL_DAC_OK);
}
