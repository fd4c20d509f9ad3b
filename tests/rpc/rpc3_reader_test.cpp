// The RPC III reader on files built by the test-side builder: header
// parsing, hostile headers, the three read modes, windows, cursors, files
// cut short or beyond 2 GiB, and the shared sample files.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <tuple>

#include <unistd.h>

#include "rpc/rpc3_reader.h"
#include "rpc/rpc3_support.h"

using zel::ReadMode;
using zel::Rpc3Reader;
using zel_test::Rpc3File;

namespace {
constexpr int kFramePair = 0, kGroupPair = 1, kWholeFile = 64; // budgets for the small files here
using Records = std::vector<std::pair<std::string, std::string>>;
} // namespace

TEST(Rpc3Input, ValidityHeaderValuesAndChannelAttributes) {
  zel_test::TempDir dir;
  EXPECT_EQ(rpc3file_input(dir.file("none.rsp").c_str()).getStatus(), 1);
  Rpc3File q;
  q.standard_records(), q.num_header_blocks = "7";
  for (auto [params, format, cut, status] :
       {std::tuple<const char *, const char *, size_t, int>{"28", "", 0, 0},
        {"29", "", 0, 5},
        {"29", "FORMAT ", 0, 5},
        {"28", "FORMAT ", 0, 2},
        {"28", "", 383, 2}}) { // records beyond the blocks; keywords not trimmed; 384 bytes needed
    std::vector<unsigned char> img = (q.num_params = params, q.header_image());
    if (*format) std::memcpy(img.data(), format, 7);
    if (cut) img.resize(cut);
    zel_test::write_bytes(dir.file("q.rsp"), img);
    rpc3file_input in(dir.file("q.rsp").c_str());
    EXPECT_EQ(in.getStatus() * 10 + in.validFile(), status * 10 + !status) << params << format << cut;
  }
  Rpc3File f;
  f.channels = 3, f.frames = 5, f.dt = 0.002;
  f.standard_records();
  f.records.resize(f.records.size() - 3); // channel 3 never mentioned: the defaults
  f.set("FRAMES", "1");
  f.records.insert(f.records.end(), {{"FRAMES", "5"},
                                     {"INT_FULL_SCALE", "-4"},
                                     {"DEST.CHAN_2", "dest two"},
                                     {"MAP.CHAN_2", "  17"},
                                     {"UPPER_LIMIT.CHAN_2", "2.5E+01"},
                                     {"LOWER_LIMIT.CHAN_2", "-2.5E+01"},
                                     {"SCALE.CHAN_9", "3.0"},
                                     {"UNKNOWN", "x"},
                                     {"PART.CHAN_1", "4"},
                                     {"DESC.CHAN_1x", std::string(96, 'd')}}); // later records win
  rpc3file_input in(f.write(dir.file("a.rsp")).c_str());
  int channels = 0, points = 0;
  double dt = 0;
  char desc[96], units[96];
  in.initRead(0), in.getInfo(channels, points, dt, desc);
  EXPECT_EQ(std::make_tuple(in.getStatus(), channels, points, dt, std::string(desc)),
            std::make_tuple(0, 3, 5 * 256, 0.002, std::string("Sat Dec  5 10:11:12 2026")));
  EXPECT_EQ(std::make_tuple(in.getHeader().int_full_scale, in.getHeader().frames, in.getHeader().part_chan_1),
            std::make_tuple(1, 5, 0));
  std::string got;
  for (int c = 1; c <= 3; ++c) got += std::to_string(in.getAttributes(c, desc, units)) + desc + "/" + units + ";";
  EXPECT_EQ(got, "0" + std::string(95, 'd') + "/unit1;0dest two/unit2;0/;"); // 96 characters without NUL: 95 kept
  Rpc3Reader r(dir.file("a.rsp").c_str());
  r.init_read(0);
  const rpc_channel_timehistory &two = r.channel(2), &three = r.channel(3);
  EXPECT_EQ(std::vector<double>({double(two.map), two.upper_limit, two.lower_limit, three.scale, double(three.map),
                                 three.lower_limit, three.upper_limit}),
            std::vector<double>({17, 25, -25, 1, 0, -1, 1}));
  std::strcpy(desc, "keep");
  EXPECT_EQ(in.getAttributes(0, desc, units) * 10 + in.getAttributes(4, desc, units), 99);
  EXPECT_STREQ(desc, "keep");
  EXPECT_EQ(in.getAttributes(2, nullptr, units), 0);
  // A channel number below 1: status 5, nothing changes, reading goes on.
  f.records.insert(f.records.end(), {{"SCALE.CHAN_0", "7.0"}, {"DESC.CHAN_-1", "negative"}});
  rpc3file_input bad(f.write(dir.file("b.rsp")).c_str());
  double v[10];
  EXPECT_EQ((bad.initRead(0), bad.getData(1, 10, v)), 10);
  EXPECT_EQ(std::make_tuple(bad.getStatus(), v[3]), std::make_tuple(5, f.expected(1, 3)));
  for (auto [format, native] : {std::pair<const char *, bool>{"BINARY_IEEE_BIG_END", false}, {"BINARY", true}}) {
    f.format = format; // anything but big-endian reads as little-endian
    EXPECT_EQ(Rpc3Reader(f.write(dir.file("o.rsp")).c_str()).native_order(), native) << format;
  }
}

// Headers whose arithmetic cannot be carried out, or that claim more than
// the file holds, read as files without channels and points.
TEST(Rpc3Input, HostileHeadersAreRefusedWithoutHarm) {
  zel_test::TempDir dir;
  const std::vector<std::pair<Records, int>> cases = {
      {{{"#B", "2000000000"}}, 6},
      {{{"#B", "-3"}, {"#P", "-20"}}, 5},
      {{{"CHANNELS", "2000000000"}}, 6},
      {{{"CHANNELS", "0"}}, 5},
      {{{"CHANNELS", "-2"}}, 5},
      {{{"PTS_PER_FRAME", "0"}, {"PTS_PER_GROUP", "-1"}}, 5},
      {{{"DELTA_T", "0"}}, 5},
      {{{"DELTA_T", "nan"}}, 5},
      {{{"PTS_PER_GROUP", "700"}}, 5},
      {{{"FRAMES", "2000000000"}}, 5},
      {{{"FRAMES", "0"}, {"CHANNELS", "40"}}, 5}, // more channels than records
      {{{"PTS_PER_FRAME", "1000000000"}, {"PTS_PER_GROUP", "1000000000"}, {"FRAMES", "1"}}, 6}};
  for (const auto &[edits, status] : cases) {
    Rpc3File f;
    f.standard_records();
    for (const auto &[k, v] : edits)
      if (k == "#B")
        f.num_header_blocks = v;
      else if (k == "#P")
        f.num_params = v;
      else
        f.set(k, v);
    rpc3file_input in(f.write(dir.file("h.rsp")).c_str());
    int channels = -1, points = -1;
    double dt, v[5] = {1, 1, 1, 1, 1}, t[5];
    in.initRead(kWholeFile), in.getInfo(channels, points, dt, nullptr);
    EXPECT_EQ(std::make_tuple(in.getStatus(), channels, points), std::make_tuple(status, 0, 0))
        << edits[0].first << "=" << edits[0].second;
    EXPECT_EQ(in.getData(1, 3, v) * 100 + in.getData(1, v) * 10 + in.getWindow(1, 0.0, t, v, 2), 99) << edits[0].first;
  }
  // Far more frames than the file holds, but every channel's first frame is
  // there: read, the missing values as 0, memory bounded by the file.
  Rpc3File f;
  f.standard_records();
  f.set("FRAMES", "2000000");
  Rpc3Reader r(f.write(dir.file("frames.rsp")).c_str());
  r.init_read(kWholeFile);
  double t[5], v[5];
  EXPECT_EQ(r.read_window(1, 1.0e6 * f.dt, t, v, 2), 0);
  EXPECT_EQ(std::make_tuple(r.status(), r.mode() != ReadMode::whole_file, v[0]), std::make_tuple(6, true, 0.0));
}

TEST(Rpc3Data, EveryModeTypeAndByteOrderDeliversTheStoredValues) {
  zel_test::TempDir dir;
  for (int variant = 0; variant < 4; ++variant) {
    Rpc3File f;
    f.channels = 3, f.group = 1024, f.frames = 1030; // K = 4, 258 groups, the last with 2 frames
    f.floating = variant & 1, f.big_endian = variant & 2, f.scales = {0.5, 0.25, 2.0}; // floats are delivered unscaled
    if (f.floating) f.stored = [](int c, int64_t p) { return c * 100000.0 + p * 0.125; };
    const std::string path = f.write(dir.file("a.rsp"));
    const int n = 1030 * 256;
    for (auto [budget, mode, buffer, blocks] :
         {std::tuple<int, ReadMode, int64_t, int64_t>{kFramePair, ReadMode::frame_pairs, 2 * 256, 1030},
          {kGroupPair, ReadMode::group_pairs, 2 * 1024, 258},
          {kWholeFile, ReadMode::whole_file, 258 * 1024, 0}}) {
      SCOPED_TRACE("variant " + std::to_string(variant) + " budget " + std::to_string(budget));
      Rpc3Reader in(path.c_str());
      in.init_read(budget);
      EXPECT_EQ(std::make_tuple(in.status(), in.mode(), in.buffer_length(), in.block_count()),
                std::make_tuple(0, mode, buffer, blocks));
      for (int c : {2, 1, 3}) { // whole channels, out of channel order, room beyond N untouched
        std::vector<double> v(static_cast<size_t>(n) + 1, -999.0);
        ASSERT_EQ(in.read_whole(c, v.data()), 0);
        for (int p = 0; p <= n; ++p) ASSERT_EQ(v[size_t(p)], p < n ? f.expected(c, p) : -999.0) << c << " " << p;
      }
      std::vector<int> cursor(4, 0); // interleaved reads of uneven sizes, one cursor per channel
      const int sizes[] = {1, 255, 256, 257, 1000, 3, 4096};
      for (int step = 0; cursor[1] < n; ++step) {
        const int c = 1 + step % 3, k = std::min(sizes[step % 7], n - cursor[size_t(c)]);
        std::vector<double> v(static_cast<size_t>(k) + 1);
        ASSERT_EQ(in.read_next(c, k, v.data()), std::max(k, 0));
        for (int i = 0; i < k; ++i) ASSERT_EQ(v[size_t(i)], f.expected(c, cursor[size_t(c)] + i));
        cursor[size_t(c)] += std::max(k, 0);
      }
      EXPECT_EQ(in.status(), 0);
    }
  }
}

TEST(Rpc3Data, PaddingStatusSevenAndCursors) {
  zel_test::TempDir dir;
  Rpc3File f;
  f.padding = 32000; // K = 2: the last group ends in padding
  const std::string path = f.write(dir.file("a.rsp"));
  f.size_change = 1 << 20; // data beyond the budget: group pairs
  const std::string wide = f.write(dir.file("g.rsp"));
  for (int budget : {kFramePair, kGroupPair, kWholeFile}) {
    SCOPED_TRACE(budget);
    rpc3file_input in((budget == kGroupPair ? wide : path).c_str());
    in.initRead(budget);
    std::vector<double> v(1100, -1.0);
    EXPECT_EQ(in.getData(1, 100, v.data()) + in.getData(2, 100, v.data()), 200);
    EXPECT_EQ(in.getData(1, 0, v.data()) + in.getData(1, -4, v.data()) + in.getData(3, 10, v.data()) +
                  in.getData(0, 1, v.data()),
              0);
    EXPECT_EQ(v[0], f.expected(2, 0));            // cursors are per channel
    EXPECT_EQ(in.getData(1, v.data()), 0);        // whole-channel reads leave the cursor alone
    EXPECT_EQ(in.getData(1, 924, v.data()), 924); // to the last group's end
    EXPECT_EQ(v[0] - v[667], f.expected(1, 100) - f.expected(1, 767));
    for (int p = 668; p < 924; ++p) ASSERT_EQ(v[size_t(p)], 0.0) << p; // never the padding
    // Status 7: past the last frame in frame pairs, past the last group's
    // end in group pairs (whose status is 6 from the size check), never when held whole.
    EXPECT_EQ(in.getStatus(), budget == kGroupPair ? 6 : budget == kFramePair ? 7 : 0);
    EXPECT_EQ(in.getData(1, 1, v.data()), 1);
    EXPECT_EQ(in.getStatus(), budget == kWholeFile ? 0 : 7);
    EXPECT_EQ(in.getData(2, 300, v.data()), 300); // other channels read on
    EXPECT_EQ(v[199], f.expected(2, 299));
  }
}

// Files one byte longer or cut short (one byte, inside the second group,
// inside the first group): status 6; what the file holds is read, what it
// lacks is 0.0, also right after a whole file read into the same array.
TEST(Rpc3Data, SizeCheckAndPointsACutFileLacks) {
  zel_test::TempDir dir;
  Rpc3File f;
  f.frames = 8; // 2048 points in 4 groups of 2048 bytes
  const std::string whole = f.write(dir.file("whole.rsp"));
  constexpr int n = 2048;
  std::vector<double> v(n);
  auto read = [&](const std::string &name,
                  int budget) { // budget -1: zel_rpc_open and zel_rpc_getnpts, -2: zel_rpc_data
    int points = 0;
    double dt;
    if (budget == -2) return zel_rpc_data(name.c_str(), 2, &points, &dt, v.data()) + (points != n);
    if (budget < 0) {
      int status; // of the first records only
      void *h = zel_rpc_open(name.c_str(), nullptr, nullptr, nullptr, nullptr, &status);
      const int got = zel_rpc_getnpts(h, 2, n, v.data());
      return zel_rpc_readclose(h) + got == n ? status : -1;
    }
    rpc3file_input in(name.c_str());
    in.initRead(budget), in.getData(2, v.data());
    return in.getStatus();
  };
  for (int64_t change : {1, -1, -3000, -7000}) {
    Rpc3File cut = f;
    cut.stored = [](int, int64_t) { return 256.0; }, cut.size_change = change; // bytes 00 01: half a value reads as 0
    const std::string path = cut.write(dir.file("cut.rsp"));
    const int64_t end = int64_t(cut.image().size()), start = int64_t(cut.header_image().size());
    std::vector<double> want(n);
    for (int p = 0; p < n; ++p)
      want[size_t(p)] = 256.0 * (start + ((p / 512) * 2 + 1) * 1024 + (p % 512) * 2 + 2 <= end);
    for (int budget : {-2, -1, kFramePair, kGroupPair}) {
      SCOPED_TRACE(std::to_string(change) + " budget " + std::to_string(budget));
      ASSERT_EQ(read(whole, budget), 0);
      ASSERT_EQ(v[n - 1], f.expected(2, n - 1));
      EXPECT_EQ(read(path, budget), budget < 0 ? 0 : 6);
      EXPECT_EQ(v, want);
    }
  }
  f.size_change = 1023 - 8192; // not even one frame of every channel: no channels
  Rpc3Reader none(f.write(dir.file("tiny.rsp")).c_str());
  none.init_read(0);
  EXPECT_EQ(std::make_tuple(none.status(), none.layout().channels), std::make_tuple(6, int64_t(0)));
}

TEST(Rpc3Data, WindowsAroundATime) {
  zel_test::TempDir dir;
  Rpc3File f;
  f.frames = 2, f.dt = 0.5;
  const int n = 512;
  auto e = [&](int c, double p) { return f.expected(c, int64_t(std::min(std::max(p, 0.0), n - 1.0))); };
  for (int budget : {kFramePair, kGroupPair, kWholeFile}) {
    rpc3file_input in(f.write(dir.file("a.rsp")).c_str());
    in.initRead(budget);
    // time, half-width, first index of the window (then index of each entry: first + k)
    for (auto [time, half, first] : {std::tuple<double, int, double>{0.0, 2, -2},
                                     {(n + 5) * 0.5, 2, n + 3},
                                     {2.9999999999 * 0.5, 0, 3},
                                     {2.99 * 0.5, 0, 2},
                                     {10.0, -3, 20},
                                     {50.0, 600, -500},
                                     {1e300, 1, 4e15 - 1},
                                     {-1e300, 1, -4e15 - 1},
                                     {NAN, 1, -1}}) {
      std::vector<double> t(1202, 42.0), v(1202, 42.0);
      ASSERT_EQ(in.getWindow(2, time, t.data(), v.data(), half), 0)
          << time; // within 1e-8 of an interval below a sample counts as it
      for (int k = 0; k <= 2 * std::max(half, 0); ++k) {
        ASSERT_EQ(v[size_t(k)], e(2, first + k)) << time << " " << k;
        ASSERT_EQ(t[size_t(k)], (first + k) * 0.5) << time << " " << k;
      }
      EXPECT_EQ(t[size_t(2 * std::max(half, 0) + 1)], 42.0); // nothing beyond the window
    }
    double t[3] = {7, 7, 7}, v[3] = {7, 7, 7};
    EXPECT_EQ(in.getWindow(3, 1.0, t, v, 1), 9); // channel out of range: zeroed entries
    EXPECT_EQ(t[0] + t[2] + v[0] + v[2] + in.getStatus(), 0.0);
  }
  f.frames = 0; // no frames, no points: reads deliver zeros
  f.standard_records();
  rpc3file_input none(f.write(dir.file("none.rsp")).c_str());
  double t[3], v[3] = {1, 1, 1};
  none.initRead(0);
  EXPECT_EQ(none.getData(1, v) + none.getWindow(1, 0.0, t, v, 1), 0);
  EXPECT_EQ(none.getData(1, 3, v), 3);
  EXPECT_EQ(v[0] + v[1] + v[2] + none.getStatus(), 0.0);
}

// A sparse file whose last group lies past 2 GiB, read around its end.
TEST(Rpc3Data, FilesBeyondTwoGibibytes) {
  zel_test::TempDir dir;
  Rpc3File f;
  f.channels = 4, f.frame = 1024, f.group = 2048, f.frames = 300000; // 2.46e9 bytes of data
  f.standard_records();
  const std::vector<unsigned char> head = f.header_image();
  const std::string path = dir.file("big.rsp");
  zel_test::write_bytes(path, head);
  std::vector<int16_t> ramp(2048); // the last run of channel 3
  for (int i = 0; i < 2048; ++i) ramp[size_t(i)] = int16_t(i);
  std::fstream(path, std::ios::in | std::ios::out | std::ios::binary)
      .seekp(std::streamoff(head.size()) + (149999LL * 4 + 2) * 4096)
      .write(reinterpret_cast<const char *>(ramp.data()), 4096);
  ASSERT_EQ(::truncate(path.c_str(), int64_t(head.size()) + 150000LL * 4 * 4096), 0);
  rpc3file_input in(path.c_str());
  double t[5], v[5], w[1];
  in.initRead(0);
  ASSERT_EQ(in.getStatus(), 0);
  const double last = (300000 * 1024 - 1) * f.dt;
  ASSERT_EQ(in.getWindow(3, last, t, v, 2) + in.getWindow(4, last, t, w, 0), 0);
  EXPECT_EQ(std::vector<double>(v, v + 5), std::vector<double>({2045, 2046, 2047, 2047, 2047}));
  EXPECT_EQ(w[0], 0.0);
}

// Real files from another program, when present: extremes and their
// positions agree with the NCODE_STAT records they carry (max, min, mean,
// std, rms; 1-based indices of max, min, absolute max).
TEST(Rpc3Samples, ExtremesAndStatisticsMatchTheFile) {
  int found = 0;
  for (const char *name : {"test1.rsp", "signal_example.rsp"}) {
    const std::string path = std::string(ZEL_SAMPLES_DIR) + "/" + name;
    if (!std::filesystem::exists(path) || !++found) continue;
    const zel_test::FileImage image(path);
    double s[6][8] = {};
    for (int r = 0, c = 0; (r + 1) * 128 <= int(image.bytes.size()); ++r)
      if (std::sscanf(image.keyword(r).c_str(), "NCODE_STAT1_CHAN_%d", &c) == 1 && c >= 1 && c <= 5)
        std::sscanf(image.value(r).c_str(), "%lf,%lf,%lf,%lf,%lf", s[c], s[c] + 1, s[c] + 2, s[c] + 3, s[c] + 4);
      else if (std::sscanf(image.keyword(r).c_str(), "NCODE_STAT2_CHAN_%d", &c) == 1 && c >= 1 && c <= 5)
        std::sscanf(image.value(r).c_str(), "%lf,%lf,%lf", s[c] + 5, s[c] + 6, s[c] + 7);
    for (int budget : {kFramePair, kGroupPair, kWholeFile}) {
      rpc3file_input in(path.c_str());
      int channels, points;
      double dt;
      in.initRead(budget), in.getInfo(channels, points, dt, nullptr);
      ASSERT_EQ(std::make_tuple(in.getStatus(), channels, points, dt), std::make_tuple(0, 5, 2048, 0.004));
      for (int c = 1; c <= 5; ++c) {
        std::vector<double> v(2048);
        ASSERT_EQ(in.getData(c, v.data()), 0);
        double hi = v[0], lo = v[0], amax = 0, sum = 0, sq = 0, ihi = 1, ilo = 1, iabs = 1;
        for (int i = 0; i < 2048; ++i) {
          const double x = v[size_t(i)];
          if (x > hi) hi = x, ihi = i + 1;
          if (x < lo) lo = x, ilo = i + 1;
          if (std::fabs(x) > amax) amax = std::fabs(x), iabs = i + 1;
          sum += x, sq += x * x;
        }
        const double step = amax / 32752.0 * 1.01; // one scale step
        EXPECT_EQ(std::vector<double>({ihi, ilo, iabs}), std::vector<double>({s[c][5], s[c][6], s[c][7]}))
            << name << " " << c;
        for (auto [got, want] : {std::pair<double, double>{hi, s[c][0]},
                                 {lo, s[c][1]},
                                 {sum / 2048, s[c][2]},
                                 {std::sqrt(sq / 2048), s[c][4]}})
          EXPECT_NEAR(got, want, step) << name << " " << c;
      }
    }
  }
  if (!found) GTEST_SKIP() << "no sample files in " << ZEL_SAMPLES_DIR;
}
