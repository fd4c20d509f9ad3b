// zel_dac_getwindow: the six cases on a file of ten samples x1 .. x10
// (start 0, interval 0.5), held values, failures and wide windows.
#include "zel.h"

#include "dac/dac_test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

using namespace dac_test;

namespace {

class DacWindow : public testing::Test {
protected:
  void SetUp() override {
    DacBuilder b;
    b.samples = x;
    path = b.write(dir, "w.dac");
    int status;
    double rate, spare;
    handle = zel_dac_open(path.c_str(), &npts, &rate, &spare, &status);
    ASSERT_NE(handle, nullptr);
    ASSERT_EQ(status, ZEL_DAC_OK);
    ASSERT_EQ(npts, 10);
    interval = 1.0 / rate;
  }
  void TearDown() override { EXPECT_EQ(zel_dac_close(handle), ZEL_DAC_OK); }

  // Window around centre; the values as sample numbers (1-based) of x.
  std::vector<int> window(double centre, int h, std::vector<double> *times = nullptr,
                          int expected_status = ZEL_DAC_OK) {
    const size_t w = 2 * static_cast<size_t>(h) + 1;
    std::vector<double> t(w, -99.0), v(w, -99.0);
    EXPECT_EQ(zel_dac_getwindow(handle, npts, 0.0, interval, centre, h, t.data(), v.data()),
              expected_status);
    std::vector<int> numbers;
    for (double value : v) {
      int found = 0;
      for (size_t i = 0; i < x.size(); ++i) {
        if (value == static_cast<double>(x[i])) found = static_cast<int>(i) + 1;
      }
      numbers.push_back(found);
    }
    if (times) *times = t;
    return numbers;
  }

  TempDir dir;
  std::vector<float> x = ramp(10, 1.25f, 0.5f);
  std::string path;
  void *handle = nullptr;
  int npts = 0;
  double interval = 0.0;
};

std::vector<int> seq(int from, int to) {
  std::vector<int> v;
  for (int i = from; i <= to; ++i) v.push_back(i);
  return v;
}

std::vector<int> join(std::vector<int> a, const std::vector<int> &b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

} // namespace

TEST_F(DacWindow, WholeWindowInside) {
  std::vector<double> t;
  EXPECT_EQ(window(2.0, 2, &t), seq(3, 7));
  EXPECT_EQ(t, (std::vector<double>{1.0, 1.5, 2.0, 2.5, 3.0}));
  EXPECT_EQ(window(2.2, 2), seq(3, 7));
  EXPECT_EQ(window(1.9999999999, 2), seq(3, 7)); // within 1e-8 of an interval
  EXPECT_EQ(window(1.99, 2), seq(2, 6));
}

TEST_F(DacWindow, RunsPastTheStartOrTheEnd) {
  std::vector<double> t;
  EXPECT_EQ(window(0.0, 2, &t), (std::vector<int>{1, 1, 1, 2, 3}));
  EXPECT_EQ(t, (std::vector<double>{-1.0, -0.5, 0.0, 0.5, 1.0}));
  EXPECT_EQ(window(4.5, 2, &t), (std::vector<int>{8, 9, 10, 10, 10}));
  EXPECT_EQ(t, (std::vector<double>{3.5, 4.0, 4.5, 5.0, 5.5}));
  // c = 5, h = 5: c >= h and c + h = npts: past the end only.
  EXPECT_EQ(window(2.5, 5), join(seq(1, 10), {10}));
}

TEST_F(DacWindow, LiesWhollyOutside) {
  std::vector<double> t;
  EXPECT_EQ(window(100.0, 1, &t), (std::vector<int>{10, 10, 10}));
  EXPECT_EQ(t, (std::vector<double>{99.5, 100.0, 100.5}));
  EXPECT_EQ(window(-10.0, 1, &t), (std::vector<int>{1, 1, 1}));
  EXPECT_EQ(t, (std::vector<double>{-10.5, -10.0, -9.5}));
}

TEST_F(DacWindow, RunsPastBothEnds) {
  EXPECT_EQ(window(2.0, 7), join(join({1, 1, 1}, seq(1, 10)), {10, 10}));
  EXPECT_EQ(window(2.0, 6), join(join({1, 1}, seq(1, 10)), {10}));
}

TEST_F(DacWindow, ZeroHalfWidthAndNegativeHalfWidth) {
  EXPECT_EQ(window(2.0, 0), (std::vector<int>{5}));
  EXPECT_EQ(window(-3.0, 0), (std::vector<int>{1}));
  EXPECT_EQ(window(30.0, 0), (std::vector<int>{10}));
  double t = 7.0, v = 8.0;
  EXPECT_EQ(zel_dac_getwindow(handle, npts, 0.0, interval, 1.0, -1, &t, &v), ZEL_DAC_BAD_ARGUMENTS);
  EXPECT_EQ(t, 7.0);
  EXPECT_EQ(v, 8.0);
}

TEST_F(DacWindow, ReadPositionEndsAfterTheWindow) {
  window(2.0, 2); // samples 3 .. 7
  double rest[10];
  EXPECT_EQ(zel_dac_getnpts(handle, 10, rest), 0);
  window(0.0, 0); // sample 1 only
  EXPECT_EQ(zel_dac_getnpts(handle, 10, rest), 0);
}

TEST_F(DacWindow, CallerCountsOtherThanTheFilesAndBadIntervals) {
  std::vector<double> t(3), v(3, 5.0);
  // A larger count is cut to the file's: the last sample is held.
  ASSERT_EQ(zel_dac_getwindow(handle, 50, 0.0, interval, 5.0, 1, t.data(), v.data()), ZEL_DAC_OK);
  EXPECT_EQ(v, std::vector<double>(3, static_cast<double>(x[9])));
  // A smaller count ends the signal early.
  ASSERT_EQ(zel_dac_getwindow(handle, 4, 0.0, interval, 5.0, 1, t.data(), v.data()), ZEL_DAC_OK);
  EXPECT_EQ(v, std::vector<double>(3, static_cast<double>(x[3])));
  v.assign(3, 5.0);
  for (double bad : {0.0, -0.5, static_cast<double>(NAN)}) {
    EXPECT_EQ(zel_dac_getwindow(handle, npts, 0.0, bad, 1.0, 1, t.data(), v.data()),
              ZEL_DAC_BAD_ARGUMENTS);
  }
  EXPECT_EQ(zel_dac_getwindow(handle, 0, 0.0, interval, 1.0, 1, t.data(), v.data()), ZEL_DAC_BAD_ARGUMENTS);
  EXPECT_EQ(zel_dac_getwindow(handle, npts, 0.0, interval, NAN, 1, t.data(), v.data()),
            ZEL_DAC_BAD_ARGUMENTS);
  EXPECT_EQ(v, std::vector<double>(3, 5.0));
  // Infinitely far away is simply outside the signal.
  ASSERT_EQ(zel_dac_getwindow(handle, npts, 0.0, interval, INFINITY, 1, t.data(), v.data()), ZEL_DAC_OK);
  EXPECT_EQ(v, std::vector<double>(3, static_cast<double>(x[9])));
  ASSERT_EQ(zel_dac_getwindow(handle, npts, 0.0, interval, -1e300, 1, t.data(), v.data()), ZEL_DAC_OK);
  EXPECT_EQ(v, std::vector<double>(3, static_cast<double>(x[0])));
}

TEST(DacWindowFailures, NullHandleAndShortFileFillTimesAndZeros) {
  // Null handle: positions F .. F + (e - s) get time 0 and every value 0.
  std::vector<double> t(5, -1.0), v(5, -1.0);
  EXPECT_EQ(zel_dac_getwindow(nullptr, 10, 0.0, 0.5, 0.0, 2, t.data(), v.data()), ZEL_DAC_BAD_HANDLE);
  EXPECT_EQ(t, (std::vector<double>{-1.0, -0.5, 0.0, 0.0, 0.0})); // F = 2, samples 1 .. 3
  EXPECT_EQ(v, std::vector<double>(5, 0.0));

  TempDir dir;
  DacBuilder b;
  b.point_count = 100; // holds 10
  b.pad_data = false;
  const std::string path = b.write(dir, "short.dac");
  int npts, status;
  double rate, spare;
  void *h = zel_dac_open(path.c_str(), &npts, &rate, &spare, &status);
  ASSERT_EQ(status, ZEL_DAC_OK);
  t.assign(5, -1.0);
  v.assign(5, -1.0);
  EXPECT_EQ(zel_dac_getwindow(h, npts, 0.0, 0.5, 10.0, 2, t.data(), v.data()), ZEL_DAC_DATA_READ);
  EXPECT_EQ(t, std::vector<double>(5, 0.0)); // F = 0, samples 19 .. 23
  EXPECT_EQ(v, std::vector<double>(5, 0.0));
  ASSERT_EQ(zel_dac_getwindow(h, npts, 0.0, 0.5, 2.0, 2, t.data(), v.data()), ZEL_DAC_OK);
  EXPECT_EQ(v[0], static_cast<double>(b.samples[2]));
  EXPECT_EQ(zel_dac_close(h), ZEL_DAC_OK);

  // A handle whose open failed has no samples.
  h = zel_dac_open(dir.file("missing").c_str(), &npts, &rate, &spare, &status);
  EXPECT_EQ(zel_dac_getwindow(h, 10, 0.0, 0.5, 0.0, 2, t.data(), v.data()), ZEL_DAC_START_BEYOND_END);
  EXPECT_EQ(zel_dac_close(h), ZEL_DAC_NOT_OPEN);
}

TEST(DacWindowWide, WindowsWiderThanOneBatchAreServed) {
  TempDir dir;
  DacBuilder b;
  b.samples = ramp(3000, 1.0f, 0.0f); // sample n holds n
  b.interval = 0.25f;
  b.start_time = 10.0f;
  const std::string path = b.write(dir, "wide.dac");
  int npts, status;
  double rate, spare;
  void *h = zel_dac_open(path.c_str(), &npts, &rate, &spare, &status);
  ASSERT_EQ(status, ZEL_DAC_OK);
  for (int h_width : {511, 512, 1400, 2000}) {
    for (double centre : {10.0, 10.0 + 0.25 * 1500, 10.0 + 0.25 * 2999}) {
      const size_t w = 2 * static_cast<size_t>(h_width) + 1;
      std::vector<double> t(w), v(w);
      ASSERT_EQ(zel_dac_getwindow(h, npts, 10.0, 0.25, centre, h_width, t.data(), v.data()), ZEL_DAC_OK);
      const int64_t c = static_cast<int64_t>(std::floor((centre - 10.0) / 0.25 + 1e-8));
      for (size_t i = 0; i < w; ++i) {
        const int64_t k = c - h_width + static_cast<int64_t>(i);
        const int64_t clamped = k + 1 < 1 ? 1 : (k + 1 > 3000 ? 3000 : k + 1);
        ASSERT_EQ(v[i], static_cast<double>(clamped)) << h_width << " " << centre << " " << i;
        ASSERT_EQ(t[i], static_cast<double>(k) * 0.25 + 10.0);
      }
    }
  }
  EXPECT_EQ(zel_dac_close(h), ZEL_DAC_OK);
}
