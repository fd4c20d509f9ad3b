// The zel_rpc_* functions: codes, messages, output arguments and the
// calling protocols, on files made by the library's own writer.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <tuple>
#include <vector>

#include "tests/rpc/rpc_write_support.h"
#include "zel.h"

namespace {

class RpcApi : public ::testing::Test {
protected:
  // A file written through the exported functions; channel c holds f(c, i).
  std::string make(const std::string &name, int channels = 2, int points = 600, double dt = 0.01,
                   double (*f)(int, int) = [](int c, int i) { return c * 0.5 + i * 0.001; }) {
    const std::string path = dir.file(name);
    int status = -1;
    void *h = zel_rpc_create(path.c_str(), channels, points, dt, &status);
    EXPECT_EQ(status, 0);
    std::vector<double> v(static_cast<size_t>(points));
    for (int c = 1; c <= channels; ++c) {
      for (int i = 0; i < points; ++i) v[i] = f(c, i);
      EXPECT_EQ(zel_rpc_putchannel(h, c, points, v.data(), "d", "kN"), 0);
    }
    EXPECT_EQ(zel_rpc_writeclose(h), 0);
    return path;
  }
  // Overwrites the value field of parameter record r.
  static void patch_value(const std::string &path, int r, const char *value) {
    std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
    char field[96] = {};
    std::strncpy(field, value, sizeof field - 1);
    f.seekp(r * 128 + 32);
    f.write(field, sizeof field);
  }
  std::string text_file(const std::string &name, size_t size) {
    std::ofstream(dir.file(name), std::ios::binary) << std::string(size, 'a');
    return dir.file(name);
  }

  rpcw_test::ScratchDir dir;
  rpcw_test::WriterEnvironment env;
};

std::string message(int code) {
  char buffer[80];
  std::memset(buffer, 'x', sizeof buffer);
  zel_rpc_geterror(code, buffer);
  EXPECT_EQ(buffer[std::strlen(buffer) + 1], 'x') << "written past the NUL for code " << code;
  return buffer;
}

} // namespace

TEST_F(RpcApi, MessagesAndNullHandles) {
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
  for (int code : {11, -1, INT_MIN, INT_MAX}) EXPECT_EQ(message(code), "Unknown error");

  double v[3] = {1, 2, 3}, t[3];
  char a[96], b[96];
  EXPECT_EQ(zel_rpc_getnpts(nullptr, 1, 3, v), 0);
  EXPECT_EQ(zel_rpc_attributes(nullptr, 1, a, b), ZEL_RPC_BAD_HANDLE);
  EXPECT_EQ(zel_rpc_getwindow(nullptr, 1, 0.0, 1, t, v), ZEL_RPC_BAD_HANDLE);
  EXPECT_EQ(zel_rpc_readclose(nullptr), ZEL_RPC_BAD_HANDLE);
  EXPECT_EQ(zel_rpc_putchannel(nullptr, 1, 3, v, "d", "u"), ZEL_RPC_BAD_HANDLE);
  EXPECT_EQ(zel_rpc_writeclose(nullptr), ZEL_RPC_BAD_HANDLE);
}

TEST_F(RpcApi, OpenAndSniff) {
  const std::string crowded = make("crowded.rsp", 1), longer = make("longer.rsp");
  patch_value(crowded, 2, "29"); // more records than the header blocks hold
  std::ofstream(longer, std::ios::binary | std::ios::app) << 'x'; // found only when reading data
  struct Case {
    std::string path;
    int status, channels, points;
  };
  const Case cases[] = {{dir.file("missing.rsp"), ZEL_RPC_OPEN_FAILED, 0, 0},
                        {text_file("text.rsp", 1000), ZEL_RPC_NOT_RPC, 0, 0},
                        {crowded, ZEL_RPC_BAD_HEADER, 0, 0},
                        {longer, 0, 2, 1024}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.path);
    int channels = 7, points = 7, status = -1;
    double dt = 7.0;
    char date[96] = "stale";
    // A handle comes back whatever the status; failures clear the outputs.
    void *h = zel_rpc_open(c.path.c_str(), &channels, &points, &dt, date, &status);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(status, c.status);
    EXPECT_EQ(channels, c.channels);
    EXPECT_EQ(points, c.points);
    EXPECT_EQ(dt, c.status ? 0.0 : 0.01);
    EXPECT_EQ(std::string(date), c.status ? "" : rpcw_test::FileImage::load(longer).value(6));
    EXPECT_EQ(zel_rpc_readclose(h), 0);
  }

  const std::string good = make("good.rsp");
  EXPECT_EQ(zel_rpc_sniff(good.c_str()), 1);
  std::filesystem::resize_file(good, 384); // records 0 to 2 are all it needs
  EXPECT_EQ(zel_rpc_sniff(good.c_str()), 1);
  std::filesystem::resize_file(good, 383);
  EXPECT_EQ(zel_rpc_sniff(good.c_str()), 0);
  EXPECT_EQ(zel_rpc_sniff(text_file("t.txt", 600).c_str()), 0);
  EXPECT_EQ(zel_rpc_sniff(dir.file("missing").c_str()), 0);
  EXPECT_EQ(zel_rpc_sniff(nullptr), 0);
}

TEST_F(RpcApi, DataTakesTwoCallsAndReportsItsCodes) {
  const std::string path = make("d.rsp"), empty = make("empty.rsp", 1);
  patch_value(empty, 13, "0"); // no frames
  int points = -1;
  double dt = -1.0;
  std::vector<double> v(1024, -99.0);
  EXPECT_EQ(zel_rpc_data(path.c_str(), 2, &points, &dt, nullptr), 0); // the size first
  EXPECT_EQ(points, 1024);
  EXPECT_EQ(dt, 0.01);
  EXPECT_EQ(zel_rpc_data(path.c_str(), 2, &points, &dt, v.data()), 0);
  for (int i = 0; i < 1024; ++i) { // truncated toward zero, the last sample repeated
    const double x = 1.0 + std::min(i, 599) * 0.001;
    ASSERT_TRUE(v[i] <= x * (1 + 1e-12) && v[i] > x - 1.599 / 32752 * (1 + 1e-9)) << i << ": " << v[i];
  }

  struct Case {
    std::string path;
    int channel, code, points;
    double dt;
  };
  const Case cases[] = {{path, 0, ZEL_RPC_CHANNEL_RANGE, 1024, 0.01}, // the size all the same
                        {path, 3, ZEL_RPC_CHANNEL_RANGE, 1024, 0.01},
                        {empty, 1, ZEL_RPC_NO_DATA, 0, 0.01},
                        {dir.file("none.rsp"), 1, ZEL_RPC_OPEN_FAILED, 0, 0.0},
                        {text_file("text.rsp", 500), 1, ZEL_RPC_NOT_RPC, 0, 0.0}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.path + " channel " + std::to_string(c.channel));
    points = 5;
    dt = 5.0;
    EXPECT_EQ(zel_rpc_data(c.path.c_str(), c.channel, &points, &dt, v.data()), c.code);
    EXPECT_EQ(points, c.points);
    EXPECT_EQ(dt, c.dt);
  }
}

TEST_F(RpcApi, CreateAndPutChannel) {
  int status = -1;
  const std::string missing = dir.file("no/dir/x.rsp"), huge = dir.file("huge.rsp");
  const double one[] = {1.0};
  EXPECT_EQ(zel_rpc_create(missing.c_str(), 1, 10, 0.1, &status), nullptr);
  EXPECT_EQ(status, ZEL_RPC_CREATE_FAILED);
  EXPECT_EQ(rpc3file_output(missing.c_str(), 1, 10, 0.1).setChannel(1, 1, one, nullptr, nullptr),
            ZEL_RPC_CREATE_FAILED); // the class answers with its status
  EXPECT_FALSE(std::filesystem::exists(missing));

  // Out of memory: a handle that stores nothing and leaves no file.
  void *h = zel_rpc_create(huge.c_str(), INT_MAX, 10, 0.1, &status);
  EXPECT_EQ(status, ZEL_RPC_OUT_OF_MEMORY);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(zel_rpc_putchannel(h, 1, 1, one, nullptr, nullptr), ZEL_RPC_OUT_OF_MEMORY);
  EXPECT_EQ(zel_rpc_writeclose(h), 0);
  EXPECT_FALSE(std::filesystem::exists(huge));

  const std::string path = dir.file("w.rsp");
  h = zel_rpc_create(path.c_str(), 2, 10, 0.1, &status);
  ASSERT_EQ(status, 0);
  EXPECT_EQ(zel_rpc_putchannel(h, 3, 1, one, "a", "b"), ZEL_RPC_CHANNEL_RANGE);
  EXPECT_EQ(zel_rpc_putchannel(h, 1, 1, one, "set", nullptr), 0);
  EXPECT_EQ(zel_rpc_putchannel(h, 1, 1, one, nullptr, "kg"), 0); // keeps "set"
  EXPECT_EQ(zel_rpc_writeclose(h), 0);

  char desc[96], units[96];
  void *r = zel_rpc_open(path.c_str(), nullptr, nullptr, nullptr, nullptr, &status);
  ASSERT_EQ(status, 0);
  EXPECT_EQ(zel_rpc_attributes(r, 1, desc, units), 0);
  EXPECT_EQ(std::string(desc) + "/" + units, "set/kg");
  EXPECT_EQ(zel_rpc_attributes(r, 2, desc, nullptr), 0);
  EXPECT_STREQ(desc, "KIVOR SIMULATION COMPONENT");
  EXPECT_EQ(zel_rpc_attributes(r, 3, desc, units), ZEL_RPC_CHANNEL_RANGE);
  EXPECT_EQ(zel_rpc_readclose(r), 0);
}

TEST_F(RpcApi, SequentialAndWindowedReadsThroughAHandle) {
  env.float_data("");
  const std::string path = make("seq.rsp", 2, 700, 0.5, [](int c, int i) { return c * 1000.0 + i; });
  int status = -1;
  void *h = zel_rpc_open(path.c_str(), nullptr, nullptr, nullptr, nullptr, &status);
  ASSERT_EQ(status, 0);
  std::vector<double> v(300);
  // Each channel has its own cursor; a channel out of range or no count reads nothing.
  for (auto [channel, count, first] : {std::tuple<int, int, double>{2, 300, 2000.0}, {2, 300, 2300.0},
                                       {1, 1, 1000.0}, {3, 1, 0.0}, {1, 0, 0.0}}) {
    v[0] = 0.0;
    EXPECT_EQ(zel_rpc_getnpts(h, channel, count, v.data()), first ? count : 0);
    EXPECT_EQ(v[0], first) << channel << " " << count;
  }
  std::vector<double> times(5), values(5);
  EXPECT_EQ(zel_rpc_getwindow(h, 1, 0.0, 2, times.data(), values.data()), 0);
  EXPECT_EQ(times, (std::vector<double>{-1.0, -0.5, 0.0, 0.5, 1.0}));
  EXPECT_EQ(values, (std::vector<double>{1000.0, 1000.0, 1000.0, 1001.0, 1002.0}));
  EXPECT_EQ(zel_rpc_getwindow(h, 1, 100.0, 2, times.data(), values.data()), 0); // point 200
  EXPECT_EQ(values[2], 1200.0);
  EXPECT_EQ(zel_rpc_getwindow(h, 3, 0.0, 1, times.data(), values.data()), ZEL_RPC_CHANNEL_RANGE);
  EXPECT_EQ(zel_rpc_readclose(h), 0);
}
