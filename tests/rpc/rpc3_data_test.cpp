// Data access: the three read modes, sequential reads with their cursors,
// windows, byte orders, value types and reads past the end.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include <unistd.h>

#include "rpc/rpc3_builder.h"
#include "rpc/rpc3_probe.h"
#include "support/temp_dir.h"
#include "zel.h"

using zel_test::Rpc3File;
using zel_test::TempDir;
using P = rpc3_input_probe;

namespace {

// Memory budgets that select each mode for the small files of these tests.
constexpr int kFramePair = 0, kWholeFile = 64;

// Budget for group-pair mode: 1 MiB holds CH x G values but not the file.
Rpc3File long_file(bool floating, bool big_endian) {
  Rpc3File f;
  f.channels = 3;
  f.frame = 256;
  f.group = 1024; // K = 4
  f.frames = 1030; // groups = 258, last group carries 2 frames
  f.floating = floating;
  f.big_endian = big_endian;
  f.scales = {0.5, 0.25, 2.0};
  if (floating) f.stored = [](int c, int64_t p) { return c * 100000.0 + p * 0.125; };
  return f;
}

std::vector<double> whole_channel(rpc3file_input &in, int c, int points) {
  std::vector<double> v(size_t(points), -999.0);
  EXPECT_EQ(in.getData(c, v.data()), 0);
  return v;
}

} // namespace

TEST(Rpc3Data, ModesAreChosenByTheBudget) {
  TempDir dir;
  Rpc3File f = long_file(false, false);
  const std::string path = f.write(dir.file("a.rsp"));
  struct {
    int budget, mode;
    int64_t buffer;
  } cases[] = {{0, 3, 2 * 256}, {1, 2, 2 * 1024}, {kWholeFile, 1, 258 * 1024}};
  for (auto c : cases) {
    rpc3file_input in(path.c_str());
    in.initRead(c.budget);
    EXPECT_EQ(P::mode(in), c.mode);
    EXPECT_EQ(P::buffer_length(in), c.buffer);
    EXPECT_EQ(P::is_open(in), c.mode != 1); // whole-file mode is done with the file
    EXPECT_EQ(P::blocks(in), c.mode == 3 ? 1030 : c.mode == 2 ? 258 : 0);
    EXPECT_EQ(in.getStatus(), 0);
  }
}

TEST(Rpc3Data, AllModesDeliverTheSameValuesInBothOrdersAndTypes) {
  TempDir dir;
  for (bool floating : {false, true})
    for (bool big : {false, true}) {
      Rpc3File f = long_file(floating, big);
      const std::string path = f.write(dir.file("a.rsp"));
      const int n = 1030 * 256;
      for (int budget : {kFramePair, 1, kWholeFile}) {
        rpc3file_input in(path.c_str());
        in.initRead(budget);
        ASSERT_EQ(in.getStatus(), 0);
        // Whole channels, out of channel order.
        for (int c : {2, 1, 3}) {
          std::vector<double> v = whole_channel(in, c, n);
          for (int p = 0; p < n; ++p)
            ASSERT_EQ(v[size_t(p)], f.expected(c, p))
                << "float " << floating << " big " << big << " budget " << budget << " ch " << c << " p " << p;
        }
        // Interleaved sequential reads of uneven sizes, one cursor per channel.
        std::vector<int> cursor(4, 0);
        const int sizes[] = {1, 255, 256, 257, 1000, 3, 4096};
        for (int step = 0; cursor[1] < n; ++step) {
          const int c = 1 + step % 3;
          const int k = std::min(sizes[step % 7], n - cursor[size_t(c)]);
          if (k <= 0) continue;
          std::vector<double> v(static_cast<size_t>(k));
          ASSERT_EQ(in.getData(c, k, v.data()), k);
          for (int i = 0; i < k; ++i) ASSERT_EQ(v[size_t(i)], f.expected(c, cursor[size_t(c)] + i));
          cursor[size_t(c)] += k;
        }
        EXPECT_EQ(in.getStatus(), 0);
      }
    }
}

TEST(Rpc3Data, PaddingOfTheLastGroupIsNeverDelivered) {
  TempDir dir;
  Rpc3File f;
  f.channels = 3;
  f.frames = 3; // K = 2: each run of the last group ends with one frame of padding
  f.padding = 32000;
  const std::string path = f.write(dir.file("a.rsp"));
  for (int budget : {kFramePair, 1, kWholeFile}) {
    rpc3file_input in(path.c_str());
    in.initRead(budget);
    int ch, n;
    double dt;
    in.getInfo(ch, n, dt, nullptr);
    ASSERT_EQ(n, 768);
    for (int c = 1; c <= 3; ++c) {
      std::vector<double> v = whole_channel(in, c, n + 256); // room beyond N untouched
      for (int p = 0; p < n; ++p) ASSERT_EQ(v[size_t(p)], f.expected(c, p));
      EXPECT_EQ(v[size_t(n)], -999.0);
    }
    // Sequential reads past the end deliver zeros, never the padding.
    std::vector<double> v(1000, -1.0);
    EXPECT_EQ(in.getData(1, 1000, v.data()), 1000);
    for (int p = 768; p < 1000; ++p) ASSERT_EQ(v[size_t(p)], 0.0);
  }
}

TEST(Rpc3Data, StatusSevenOnlyWhereTheBlockLiesOutsideTheTable) {
  TempDir dir;
  Rpc3File f;
  f.frames = 3;
  const std::string path = f.write(dir.file("a.rsp"));
  double v[768];
  {
    // Frame pairs: every point past the last one lies beyond the frames.
    rpc3file_input in(path.c_str());
    in.initRead(kFramePair);
    EXPECT_EQ(in.getData(1, 768, v), 768);
    EXPECT_EQ(in.getStatus(), 0);
    EXPECT_EQ(in.getData(1, 1, v), 1);
    EXPECT_EQ(in.getStatus(), 7);
    // The pair stays where it was; other channels read on.
    EXPECT_EQ(in.getData(2, 300, v), 300);
    EXPECT_EQ(v[299], f.expected(2, 299));
  }
  {
    // Group pairs: the padding points still lie in the last group, so only
    // a point beyond the last group's end is out of range. Extra bytes at
    // the end make the data section larger than the budget.
    Rpc3File g = f;
    g.size_change = 1 << 20;
    rpc3file_input in(g.write(dir.file("g.rsp")).c_str());
    in.initRead(1);
    ASSERT_EQ(P::mode(in), 2);
    EXPECT_EQ(in.getStatus(), 6);
    std::vector<double> w(1024);
    EXPECT_EQ(in.getData(1, 1024, w.data()), 1024);
    EXPECT_EQ(w[767], f.expected(1, 767));
    EXPECT_EQ(w[768], 0.0);
    EXPECT_EQ(in.getStatus(), 6);
    EXPECT_EQ(in.getData(1, 1, w.data()), 1);
    EXPECT_EQ(in.getStatus(), 7);
  }
  {
    rpc3file_input in(path.c_str());
    in.initRead(kWholeFile);
    std::vector<double> w(5000);
    EXPECT_EQ(in.getData(1, 5000, w.data()), 5000);
    EXPECT_EQ(in.getStatus(), 0);
  }
}

TEST(Rpc3Data, SingleBlockFiles) {
  TempDir dir;
  Rpc3File f;
  f.frames = 1;
  f.group = 256;
  f.size_change = 1 << 20; // more data than the budget: group pairs
  const std::string path = f.write(dir.file("a.rsp"));
  for (int budget : {kFramePair, 1}) {
    rpc3file_input in(path.c_str());
    in.initRead(budget);
    EXPECT_EQ(P::mode(in), budget == 0 ? 3 : 2);
    EXPECT_EQ(P::blocks(in), 1);
    EXPECT_EQ(P::current(in).first_point, P::next(in).first_point);
    std::vector<double> v = whole_channel(in, 2, 256);
    for (int p = 0; p < 256; ++p) ASSERT_EQ(v[size_t(p)], f.expected(2, p));
  }
}

TEST(Rpc3Data, ConversionOfStoredValues) {
  TempDir dir;
  for (bool floating : {false, true})
    for (bool big : {false, true}) {
      Rpc3File f;
      f.channels = 1;
      f.frames = 1;
      f.big_endian = big;
      f.floating = floating;
      f.scales = {floating ? 2.0 : 0.5}; // floats are delivered unscaled
      f.stored = [](int, int64_t p) { return p == 0 ? -4.0 : p == 1 ? 258.0 : 1.1; };
      const std::vector<unsigned char> img = f.image();
      const size_t at = f.header_image().size();
      if (!floating) { // -4 is FF FC in big-endian order, 258 is 01 02
        EXPECT_EQ(img[at], big ? 0xFF : 0xFC);
        EXPECT_EQ(img[at + 2], big ? 0x01 : 0x02);
      }
      rpc3file_input in(f.write(dir.file("a.rsp")).c_str());
      in.initRead(0);
      double v[3];
      in.getData(1, 3, v);
      EXPECT_EQ(v[0], floating ? -4.0 : -2.0);
      EXPECT_EQ(v[1], floating ? 258.0 : 129.0);
      EXPECT_EQ(v[2], floating ? double(1.1f) : 0.5);
    }
}

TEST(Rpc3Data, WindowsAroundATime) {
  TempDir dir;
  Rpc3File f;
  f.channels = 2;
  f.frames = 2;
  f.dt = 0.5;
  const int n = 512;
  for (int budget : {kFramePair, 1, kWholeFile}) {
    rpc3file_input in(f.write(dir.file("a.rsp")).c_str());
    in.initRead(budget);
    double t[64], v[64];
    auto e = [&](int p) { return f.expected(1, p); };

    ASSERT_EQ(in.getWindow(1, 0.0, t, v, 2), 0);
    const double times0[] = {-1.0, -0.5, 0.0, 0.5, 1.0};
    const double values0[] = {e(0), e(0), e(0), e(1), e(2)};
    for (int k = 0; k < 5; ++k) {
      EXPECT_EQ(t[k], times0[k]);
      EXPECT_EQ(v[k], values0[k]);
    }

    ASSERT_EQ(in.getWindow(1, (n + 5) * 0.5, t, v, 2), 0);
    for (int k = 0; k < 5; ++k) {
      EXPECT_EQ(v[k], e(n - 1));
      EXPECT_EQ(t[k], (n + 3 + k) * 0.5);
    }

    // Centre rule: within 1e-8 of an interval below a sample counts as it.
    ASSERT_EQ(in.getWindow(1, 2.9999999999 * 0.5, t, v, 0), 0);
    EXPECT_EQ(v[0], e(3));
    ASSERT_EQ(in.getWindow(1, 2.99 * 0.5, t, v, 0), 0);
    EXPECT_EQ(v[0], e(2));
    EXPECT_EQ(t[0], 1.0);

    // Negative half-width: one entry.
    t[1] = v[1] = 42.0;
    ASSERT_EQ(in.getWindow(1, 10.0, t, v, -3), 0);
    EXPECT_EQ(v[0], e(20));
    EXPECT_EQ(t[1], 42.0);

    // Wider than the data on both sides.
    std::vector<double> wt(2 * 600 + 1), wv(2 * 600 + 1);
    ASSERT_EQ(in.getWindow(2, 100 * 0.5, wt.data(), wv.data(), 600), 0);
    for (int k = 0; k <= 1200; ++k) {
      const int p = 100 - 600 + k;
      ASSERT_EQ(wv[size_t(k)], f.expected(2, std::min(std::max(p, 0), n - 1))) << k;
      ASSERT_EQ(wt[size_t(k)], p * 0.5);
    }

    // Channel out of range: 9 and zeroed entries.
    for (int k = 0; k < 3; ++k) t[k] = v[k] = 7.0;
    EXPECT_EQ(in.getWindow(3, 1.0, t, v, 1), 9);
    for (int k = 0; k < 3; ++k) EXPECT_EQ(t[k] + v[k], 0.0);
    EXPECT_EQ(in.getWindow(0, 1.0, t, v, -1), 9);

    // Far-off and undefined times stay finite and never read outside.
    ASSERT_EQ(in.getWindow(1, 1e300, t, v, 1), 0);
    EXPECT_EQ(v[1], e(n - 1));
    ASSERT_EQ(in.getWindow(1, -1e300, t, v, 1), 0);
    EXPECT_EQ(v[1], e(0));
    ASSERT_EQ(in.getWindow(1, std::nan(""), t, v, 1), 0);
    EXPECT_EQ(v[1], e(0));
    EXPECT_EQ(in.getStatus(), 0);
  }
}

TEST(Rpc3Data, CursorsArePerChannelAndCountsBelowOneDeliverNothing) {
  TempDir dir;
  Rpc3File f;
  rpc3file_input in(f.write(dir.file("a.rsp")).c_str());
  in.initRead(0);
  double v[100];
  EXPECT_EQ(in.getData(1, 100, v), 100);
  EXPECT_EQ(in.getData(1, 100, v), 100);
  EXPECT_EQ(v[0], f.expected(1, 100));
  EXPECT_EQ(in.getData(2, 100, v), 100);
  EXPECT_EQ(v[0], f.expected(2, 0));
  v[0] = 5.0;
  EXPECT_EQ(in.getData(1, 0, v), 0);
  EXPECT_EQ(in.getData(1, -4, v), 0);
  EXPECT_EQ(v[0], 5.0);
  EXPECT_EQ(in.getData(3, 10, v), 0);
  EXPECT_EQ(in.getData(0, 10, v), 0);
  EXPECT_EQ(in.getData(1, 1, v), 1);
  EXPECT_EQ(v[0], f.expected(1, 200)); // the cursor did not move meanwhile
  // The whole-channel read neither uses nor moves the cursor.
  std::vector<double> all(768);
  EXPECT_EQ(in.getData(1, all.data()), 0);
  EXPECT_EQ(in.getData(1, 1, v), 1);
  EXPECT_EQ(v[0], f.expected(1, 201));
}

TEST(Rpc3Data, FileWithoutFramesHasNoPoints) {
  TempDir dir;
  Rpc3File f;
  f.frames = 0;
  rpc3file_input in(f.write(dir.file("a.rsp")).c_str());
  in.initRead(0);
  int ch, n;
  double dt;
  in.getInfo(ch, n, dt, nullptr);
  EXPECT_EQ(ch, 2);
  EXPECT_EQ(n, 0);
  EXPECT_EQ(in.getStatus(), 0);
  double t[3], v[3] = {1, 1, 1};
  EXPECT_EQ(in.getData(1, v), 0);
  EXPECT_EQ(in.getData(1, 3, v), 3);
  EXPECT_EQ(v[0], 0.0);
  EXPECT_EQ(in.getWindow(1, 0.0, t, v, 1), 0);
  EXPECT_EQ(v[1], 0.0);
}

// Byte positions beyond 2 GiB: a sparse file whose last group lies past
// them, read around its end.
TEST(Rpc3Data, FilesBeyondTwoGibibytes) {
  TempDir dir;
  Rpc3File f;
  f.channels = 4;
  f.frame = 1024;
  f.group = 2048;
  f.frames = 300000; // 2.46e9 bytes of data
  f.standard_records();
  const std::vector<unsigned char> head = f.header_image();
  const std::string path = dir.file("big.rsp");
  const int64_t size = int64_t(head.size()) + 150000LL * 4 * 2048 * 2;
  FILE *out = std::fopen(path.c_str(), "wb");
  ASSERT_NE(out, nullptr);
  std::fwrite(head.data(), 1, head.size(), out);
  // The last run of channel 3 holds 0, 1, 2, ... 2047.
  const int64_t run = int64_t(head.size()) + (149999LL * 4 + 2) * 2048 * 2;
  std::vector<int16_t> values(2048);
  for (int i = 0; i < 2048; ++i) values[size_t(i)] = int16_t(i);
  ASSERT_EQ(fseeko(out, run, SEEK_SET), 0);
  std::fwrite(values.data(), 2, values.size(), out);
  ASSERT_EQ(ftruncate(fileno(out), size), 0);
  std::fclose(out);

  rpc3file_input in(path.c_str());
  in.initRead(0);
  ASSERT_EQ(in.getStatus(), 0);
  int ch, n;
  double dt;
  in.getInfo(ch, n, dt, nullptr);
  ASSERT_EQ(n, 300000 * 1024);
  double t[5], v[5];
  ASSERT_EQ(in.getWindow(3, (n - 1) * dt, t, v, 2), 0);
  EXPECT_EQ(v[0], 2045.0);
  EXPECT_EQ(v[2], 2047.0);
  EXPECT_EQ(v[4], 2047.0); // held beyond the end
  ASSERT_EQ(in.getWindow(4, (n - 1) * dt, t, v, 0), 0);
  EXPECT_EQ(v[0], 0.0);
}
