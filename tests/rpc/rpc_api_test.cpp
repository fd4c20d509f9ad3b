// The zel_rpc_* functions: codes, messages, output arguments and the
// calling protocols, on files made by the library's own writer.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/rpc/rpc_write_support.h"
#include "zel.h"

using rpcw_test::FileImage;
using rpcw_test::ScratchDir;
using rpcw_test::WriterEnvironment;

namespace {

class RpcApi : public ::testing::Test {
protected:
  // A file of `channels` channels of `points` samples written through the
  // exported functions; channel c holds samples(c, i).
  template <typename Samples>
  std::string make(const std::string &name, int channels, int points, double dt, Samples samples) {
    const std::string path = dir.file(name);
    int status = -1;
    void *h = zel_rpc_create(path.c_str(), channels, points, dt, &status);
    EXPECT_EQ(status, 0);
    EXPECT_NE(h, nullptr);
    std::vector<double> v(static_cast<size_t>(points));
    for (int c = 1; c <= channels; ++c) {
      for (int i = 0; i < points; ++i) v[i] = samples(c, i);
      EXPECT_EQ(zel_rpc_putchannel(h, c, points, v.data(), ("channel " + std::to_string(c)).c_str(),
                                   "kN"), 0);
    }
    EXPECT_EQ(zel_rpc_writeclose(h), 0);
    return path;
  }
  std::string make(const std::string &name, int channels = 2, int points = 600) {
    return make(name, channels, points, 0.01, [](int c, int i) { return c * 0.5 + i * 0.001; });
  }
  // Overwrites the value field of parameter record r.
  static void patch_value(const std::string &path, int r, const char *value) {
    std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
    char field[96] = {};
    std::strncpy(field, value, sizeof field - 1);
    f.seekp(r * 128 + 32);
    f.write(field, sizeof field);
  }
  static void write_text(const std::string &path, const std::string &text) {
    std::ofstream(path, std::ios::binary) << text;
  }

  ScratchDir dir;
  WriterEnvironment env;
};

using RpcApiMessages = RpcApi;
using RpcApiHandles = RpcApi;
using RpcApiOpen = RpcApi;
using RpcApiData = RpcApi;
using RpcApiWrite = RpcApi;
using RpcApiRoundTrip = RpcApi;

std::string message(int code) {
  char buffer[80];
  std::memset(buffer, 'x', sizeof buffer);
  zel_rpc_geterror(code, buffer);
  const size_t n = std::strlen(buffer);
  EXPECT_EQ(buffer[n + 1], 'x') << "written past the NUL for code " << code;
  return buffer;
}

} // namespace

TEST_F(RpcApiMessages, EveryCodeHasItsTextAndOthersAreUnknown) {
  const char *expected[] = {
      "No error",
      "RPC file could not be opened.",
      "File is not a valid RPC III time history file.",
      "Invalid handle to RPC file.",
      "RPC file contains no time history data.",
      "Error reading RPC file header record.",
      "RPC file header is not compatible with file size.",
      "RPC file block pointer out of range.",
      "Can not create RPC file. Check path and permissions.",
      "RPC file channel number out of range. Data not processed.",
      "Ran out of memory during RPC file output operation.",
  };
  for (int code = 0; code <= 10; ++code) EXPECT_EQ(message(code), expected[code]) << code;
  EXPECT_EQ(message(9).size(), 57u);
  for (int code : {11, -1, 100, INT_MIN, INT_MAX}) EXPECT_EQ(message(code), "Unknown error");
}

TEST_F(RpcApiHandles, NullHandlesAreRefused) {
  double v[3] = {1, 2, 3}, t[3];
  char a[96], b[96];
  EXPECT_EQ(zel_rpc_getnpts(nullptr, 1, 3, v), 0);
  EXPECT_EQ(zel_rpc_attributes(nullptr, 1, a, b), ZEL_RPC_BAD_HANDLE);
  EXPECT_EQ(zel_rpc_getwindow(nullptr, 1, 0.0, 1, t, v), ZEL_RPC_BAD_HANDLE);
  EXPECT_EQ(zel_rpc_readclose(nullptr), ZEL_RPC_BAD_HANDLE);
  EXPECT_EQ(zel_rpc_putchannel(nullptr, 1, 3, v, "d", "u"), ZEL_RPC_BAD_HANDLE);
  EXPECT_EQ(zel_rpc_writeclose(nullptr), ZEL_RPC_BAD_HANDLE);
}

TEST_F(RpcApiOpen, StatusesOfConstructionAndTheHandleThatComesWithThem) {
  int channels = 7, points = 7, status = -1;
  double dt = 7.0;
  char date[96] = "stale";

  // Missing file: status 1, a handle all the same, outputs cleared.
  void *h = zel_rpc_open(dir.file("missing.rsp").c_str(), &channels, &points, &dt, date, &status);
  EXPECT_EQ(status, ZEL_RPC_OPEN_FAILED);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(channels, 0);
  EXPECT_EQ(points, 0);
  EXPECT_EQ(dt, 0.0);
  EXPECT_STREQ(date, "");
  EXPECT_EQ(zel_rpc_readclose(h), 0);

  // A text file: status 2.
  const std::string text = dir.file("text.rsp");
  write_text(text, std::string(1000, 'a'));
  h = zel_rpc_open(text.c_str(), &channels, &points, &dt, nullptr, &status);
  EXPECT_EQ(status, ZEL_RPC_NOT_RPC);
  EXPECT_EQ(channels, 0);
  EXPECT_EQ(zel_rpc_readclose(h), 0);

  // More records than the header blocks hold: status 5.
  const std::string crowded = make("crowded.rsp", 1);
  patch_value(crowded, 2, "29");
  h = zel_rpc_open(crowded.c_str(), &channels, &points, &dt, nullptr, &status);
  EXPECT_EQ(status, ZEL_RPC_BAD_HEADER);
  EXPECT_EQ(points, 0);
  EXPECT_EQ(zel_rpc_readclose(h), 0);

  // A size that differs from the header's is found only later: status 0.
  const std::string longer = make("longer.rsp", 2);
  std::ofstream(longer, std::ios::binary | std::ios::app) << 'x';
  h = zel_rpc_open(longer.c_str(), &channels, &points, &dt, date, &status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(channels, 2);
  EXPECT_EQ(points, 1024);
  EXPECT_EQ(dt, 0.01);
  EXPECT_EQ(std::string(date), FileImage::load(longer).value(6));
  EXPECT_EQ(std::strlen(date), 24u);
  EXPECT_EQ(zel_rpc_readclose(h), 0);
}

TEST_F(RpcApiOpen, SniffAppliesTheQuickRulesOnly) {
  const std::string good = make("good.rsp");
  EXPECT_EQ(zel_rpc_sniff(good.c_str()), 1);
  std::filesystem::resize_file(good, 384); // records 0 to 2 are all it needs
  EXPECT_EQ(zel_rpc_sniff(good.c_str()), 1);
  std::filesystem::resize_file(good, 383);
  EXPECT_EQ(zel_rpc_sniff(good.c_str()), 0);
  const std::string text = dir.file("t.txt");
  write_text(text, std::string(600, 'z'));
  EXPECT_EQ(zel_rpc_sniff(text.c_str()), 0);
  EXPECT_EQ(zel_rpc_sniff(dir.file("missing").c_str()), 0);
  EXPECT_EQ(zel_rpc_sniff(nullptr), 0);
}

TEST_F(RpcApiData, TwoCallProtocolAndItsCodes) {
  const std::string path = make("d.rsp", 2, 600);
  int points = -1;
  double dt = -1.0;

  // Size first, then the values.
  EXPECT_EQ(zel_rpc_data(path.c_str(), 2, &points, &dt, nullptr), 0);
  EXPECT_EQ(points, 1024);
  EXPECT_EQ(dt, 0.01);
  std::vector<double> v(static_cast<size_t>(points), -99.0);
  EXPECT_EQ(zel_rpc_data(path.c_str(), 2, &points, &dt, v.data()), 0);
  EXPECT_NEAR(v[0], 1.0, 1e-3);
  EXPECT_NEAR(v[599], 1.0 + 0.599, 1e-3);
  EXPECT_EQ(v[1023], v[599]); // the last sample repeated to a whole frame

  // A channel out of range still reports the size.
  for (int channel : {0, 3}) {
    points = -1;
    EXPECT_EQ(zel_rpc_data(path.c_str(), channel, &points, &dt, v.data()), ZEL_RPC_CHANNEL_RANGE);
    EXPECT_EQ(points, 1024);
    EXPECT_EQ(dt, 0.01);
  }

  // No frames: no data.
  const std::string empty = make("empty.rsp", 1);
  patch_value(empty, 13, "0");
  EXPECT_EQ(zel_rpc_data(empty.c_str(), 1, &points, &dt, v.data()), ZEL_RPC_NO_DATA);
  EXPECT_EQ(points, 0);

  // Failures before the header is read leave the cleared outputs.
  points = 5;
  dt = 5.0;
  EXPECT_EQ(zel_rpc_data(dir.file("none.rsp").c_str(), 1, &points, &dt, nullptr),
            ZEL_RPC_OPEN_FAILED);
  EXPECT_EQ(points, 0);
  EXPECT_EQ(dt, 0.0);
  const std::string text = dir.file("text.rsp");
  write_text(text, std::string(500, 'q'));
  EXPECT_EQ(zel_rpc_data(text.c_str(), 1, &points, &dt, nullptr), ZEL_RPC_NOT_RPC);
}

TEST_F(RpcApiWrite, CreateStatusesAndPutChannelCodes) {
  int status = -1;
  const std::string missing = dir.file("no/dir/x.rsp");
  EXPECT_EQ(zel_rpc_create(missing.c_str(), 1, 10, 0.1, &status), nullptr);
  EXPECT_EQ(status, ZEL_RPC_CREATE_FAILED);
  EXPECT_FALSE(std::filesystem::exists(missing));

  // Out of memory at construction: a handle that stores nothing and
  // leaves no file.
  const std::string huge = dir.file("huge.rsp");
  void *h = zel_rpc_create(huge.c_str(), INT_MAX, 10, 0.1, &status);
  EXPECT_EQ(status, ZEL_RPC_OUT_OF_MEMORY);
  ASSERT_NE(h, nullptr);
  const double one[] = {1.0};
  EXPECT_EQ(zel_rpc_putchannel(h, 1, 1, one, nullptr, nullptr), ZEL_RPC_OUT_OF_MEMORY);
  EXPECT_EQ(zel_rpc_writeclose(h), 0);
  EXPECT_FALSE(std::filesystem::exists(huge));

  const std::string path = dir.file("w.rsp");
  h = zel_rpc_create(path.c_str(), 2, 10, 0.1, &status);
  ASSERT_EQ(status, 0);
  EXPECT_EQ(zel_rpc_putchannel(h, 0, 1, one, "a", "b"), ZEL_RPC_CHANNEL_RANGE);
  EXPECT_EQ(zel_rpc_putchannel(h, 3, 1, one, "a", "b"), ZEL_RPC_CHANNEL_RANGE);
  EXPECT_EQ(zel_rpc_putchannel(h, 1, 0, one, "a", "b"), ZEL_RPC_CHANNEL_RANGE);
  EXPECT_EQ(zel_rpc_putchannel(h, 1, 1, one, "set", nullptr), 0);
  EXPECT_EQ(zel_rpc_putchannel(h, 1, 1, one, nullptr, "kg"), 0);
  EXPECT_EQ(zel_rpc_writeclose(h), 0);

  char desc[96], units[96];
  int channels = 0, points = 0;
  double dt = 0.0;
  void *r = zel_rpc_open(path.c_str(), &channels, &points, &dt, nullptr, &status);
  ASSERT_EQ(status, 0);
  EXPECT_EQ(zel_rpc_attributes(r, 1, desc, units), 0);
  EXPECT_STREQ(desc, "set"); // a null text keeps what an earlier call set
  EXPECT_STREQ(units, "kg");
  EXPECT_EQ(zel_rpc_attributes(r, 2, desc, nullptr), 0);
  EXPECT_STREQ(desc, "KIVOR SIMULATION COMPONENT");
  EXPECT_EQ(zel_rpc_attributes(r, 3, desc, units), ZEL_RPC_CHANNEL_RANGE);
  EXPECT_EQ(zel_rpc_readclose(r), 0);
}

TEST_F(RpcApiRoundTrip, IntegerSamplesComeBackWithinOneScaleStepTowardZero) {
  const int channels = 3, points = 3000;
  const auto sample = [](int c, int i) { return 100.0 * c * std::sin(0.003 * i * c) + 0.3 * c; };
  const std::string path = make("int.rsp", channels, points, 0.005, sample);
  for (int c = 1; c <= channels; ++c) {
    int n = 0;
    double dt = 0.0;
    ASSERT_EQ(zel_rpc_data(path.c_str(), c, &n, &dt, nullptr), 0);
    ASSERT_EQ(n, 3072);
    std::vector<double> v(static_cast<size_t>(n));
    ASSERT_EQ(zel_rpc_data(path.c_str(), c, &n, &dt, v.data()), 0);
    double largest = 0.0;
    for (int i = 0; i < points; ++i) largest = std::max(largest, std::fabs(sample(c, i)));
    const double step = largest / 32752;
    for (int i = 0; i < n; ++i) {
      const double x = sample(c, i < points ? i : points - 1);
      // Truncation toward zero: never beyond the sample, less than a step short.
      ASSERT_LE(std::fabs(v[i]), std::fabs(x) * (1 + 1e-12)) << c << " " << i;
      ASSERT_LT(std::fabs(x - v[i]), step * (1 + 1e-9)) << c << " " << i;
    }
  }
}

TEST_F(RpcApiRoundTrip, FloatSamplesComeBackExactlyAsFloats) {
  env.float_data("1");
  const int points = 1500;
  const auto sample = [](int c, int i) { return 1e-3 * i * i - 7.25 * c + 1.0 / 3.0; };
  const std::string path = make("float.rsp", 2, points, 0.125, sample);
  for (int c = 1; c <= 2; ++c) {
    int n = 0;
    double dt = 0.0;
    std::vector<double> v(2048);
    ASSERT_EQ(zel_rpc_data(path.c_str(), c, &n, &dt, v.data()), 0);
    ASSERT_EQ(n, 2048);
    EXPECT_EQ(dt, 0.125);
    for (int i = 0; i < n; ++i)
      ASSERT_EQ(v[i], static_cast<double>(static_cast<float>(sample(c, i < points ? i : points - 1))))
          << c << " " << i;
  }
}

TEST_F(RpcApiRoundTrip, SequentialAndWindowedReadsThroughAHandle) {
  env.float_data("");
  const std::string path = make("seq.rsp", 2, 700, 0.5, [](int c, int i) { return c * 1000.0 + i; });
  int channels = 0, points = 0, status = -1;
  double dt = 0.0;
  void *h = zel_rpc_open(path.c_str(), &channels, &points, &dt, nullptr, &status);
  ASSERT_EQ(status, 0);
  ASSERT_EQ(points, 1024);
  std::vector<double> v(300);
  EXPECT_EQ(zel_rpc_getnpts(h, 2, 300, v.data()), 300);
  EXPECT_EQ(v[0], 2000.0);
  EXPECT_EQ(zel_rpc_getnpts(h, 2, 300, v.data()), 300);
  EXPECT_EQ(v[0], 2300.0);
  EXPECT_EQ(zel_rpc_getnpts(h, 1, 1, v.data()), 1); // each channel has its own cursor
  EXPECT_EQ(v[0], 1000.0);
  EXPECT_EQ(zel_rpc_getnpts(h, 3, 1, v.data()), 0);
  EXPECT_EQ(zel_rpc_getnpts(h, 1, 0, v.data()), 0);

  double times[5], values[5];
  EXPECT_EQ(zel_rpc_getwindow(h, 1, 0.0, 2, times, values), 0);
  EXPECT_EQ(times[0], -1.0);
  EXPECT_EQ(times[4], 1.0);
  EXPECT_EQ(values[0], 1000.0);
  EXPECT_EQ(values[4], 1002.0);
  EXPECT_EQ(zel_rpc_getwindow(h, 1, 100.0, 2, times, values), 0); // point 200
  EXPECT_EQ(values[2], 1200.0);
  EXPECT_EQ(zel_rpc_getwindow(h, 3, 0.0, 1, times, values), ZEL_RPC_CHANNEL_RANGE);
  EXPECT_EQ(zel_rpc_readclose(h), 0);
}
