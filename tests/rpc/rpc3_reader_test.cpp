// The RPC III reader: layout arithmetic, header parsing, hostile headers,
// the three read modes, windows, cursors, and the shared sample files.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <filesystem>
#include <functional>
#include <tuple>

#include <unistd.h>

#include "common/text.h"
#include "rpc/rpc3_format.h"
#include "rpc/rpc3_support.h"

using namespace zel;
using zel_test::Rpc3File;
using zel_test::TempDir;
using P = rpc3_input_probe;

namespace {

constexpr int kFramePair = 0, kGroupPair = 1, kWholeFile = 64; // budgets for the small files here

struct Info { int channels = -1, points = -1; double dt = -1; char date[96] = "x"; };
Info read_header(rpc3file_input &in, int budget = 0) { // initRead, then getInfo
  Info o;
  return in.initRead(budget), in.getInfo(o.channels, o.points, o.dt, o.date), o;
}

bool layout_of(int ch, int f, int g, int frames, int bytes, rpc3::Layout &l, int64_t start = 0) {
  rpc3_header h;
  rpc3::clear_header(h);
  h.channels = ch, h.pts_per_frame = f, h.pts_per_group = g, h.frames = frames;
  int64_t k = 0;
  rpc3::normalise_frames(h, k);
  return rpc3::make_layout(h, k, bytes, start, l);
}

} // namespace

TEST(Rpc3Format, LayoutNormalisationKeywordsAndNumbers) {
  rpc3::Layout l;
  ASSERT_TRUE(layout_of(3, 256, 512, 3, 2, l, 5120));
  EXPECT_EQ(l.data_start + l.data_bytes(), 5120 + 2 * 3 * 512 * 2);
  EXPECT_EQ(l.point_position(2, 600), 5120 + (1 * 3 + 1) * 512 * 2 + 88 * 2);
  EXPECT_EQ(l.frame_position(3, 2), l.point_position(3, 512)); // frame 2 opens group 1
  struct { int f, g, frames; int64_t frame, group, k, groups, last, points; } cases[] = {
      {256, 512, 3, 256, 512, 2, 2, 1, 768},      {0, 1024, 2, 1024, 1024, 1, 2, 1, 2048}, // no frame: the group
      {512, 256, 2, 512, 512, 1, 2, 1, 1024},     {256, 2048, 9, 256, 2048, 8, 2, 1, 2304}, // group below a frame
      {256, 2048, 16, 256, 2048, 8, 2, 8, 4096}, {256, 2048, 0, 256, 2048, 8, 0, 0, 0}};
  for (const auto &c : cases) {
    ASSERT_TRUE(layout_of(1, c.f, c.g, c.frames, 2, l)) << c.f << "/" << c.g;
    EXPECT_EQ(std::vector<int64_t>({l.frame, l.group, l.frames_per_group, l.groups, l.frames_in_last_group, l.points_per_channel()}),
              std::vector<int64_t>({c.frame, c.group, c.k, c.groups, c.last, c.points})) << c.f << "/" << c.g << "/" << c.frames;
  }
  EXPECT_FALSE(layout_of(0, 256, 512, 1, 2, l));
  EXPECT_FALSE(layout_of(1, 0, 0, 1, 2, l));
  EXPECT_FALSE(layout_of(INT32_MAX, INT32_MAX, INT32_MAX, INT32_MAX, 4, l)); // beyond 63 bits
  ASSERT_TRUE(layout_of(8, 1024, 2048, 200000, 4, l, 512));                  // beyond 2 GiB is fine
  EXPECT_EQ(l.data_bytes(), int64_t(100000) * 8 * 2048 * 4);

  char field[40] = "FORMAT ";
  EXPECT_FALSE(rpc3::keyword_is(field, "FORMAT") || rpc3::keyword_is("FORMAT", "FORM")); // whole, not trimmed
  int n = -1;
  EXPECT_TRUE(rpc3::channel_keyword("SCALE.CHAN_12", "SCALE.CHAN_", n) && n == 12);
  EXPECT_FALSE(rpc3::channel_keyword("SCALE.CHAN_12", "MAP.CHAN_", n));

  auto i = [](const char *s) { return parse_int(s, std::strlen(s) + 1); };
  auto r = [](const char *s) { return parse_real(s, std::strlen(s) + 1); };
  EXPECT_EQ(std::vector<int>({i("  42"), i("-7xyz"), i("abc"), i("99999999999999"), i("-99999999999999")}),
            std::vector<int>({42, -7, 0, INT32_MAX, INT32_MIN}));
  EXPECT_EQ(std::vector<double>({r("  1.000000000000E-02"), r("+2.5e3junk"), r("x1"), r("1e999"), r("1e-999")}),
            std::vector<double>({0.01, 2500.0, 0.0, HUGE_VAL, 0.0}));
  EXPECT_TRUE(std::isnan(r("nan")));
  EXPECT_EQ(parse_int("1111111111", 3), 111); // fields without NUL stop at their end
}

TEST(Rpc3Input, QuickValidityRules) {
  TempDir dir;
  rpc3file_input missing(dir.file("none.rsp").c_str());
  EXPECT_EQ(missing.getStatus(), 1);
  EXPECT_FALSE(missing.validFile());
  Rpc3File f;
  f.standard_records();
  auto status = [&](const char *params, bool blank_format, size_t cut = 0) {
    f.num_header_blocks = "7", f.num_params = params;
    std::vector<unsigned char> img = f.header_image();
    if (blank_format) img[6] = ' ';
    if (cut) img.resize(cut);
    zel_test::write_bytes(dir.file("q.rsp"), img);
    rpc3file_input in(dir.file("q.rsp").c_str());
    return in.getStatus() * 10 + in.validFile();
  };
  EXPECT_EQ(status("28", false), 1);
  EXPECT_EQ(status("29", false), 50); // more records than the blocks hold
  EXPECT_EQ(status("29", true), 50);  // status 5 wins over status 2
  EXPECT_EQ(status("28", true), 20);  // keywords are not trimmed
  EXPECT_EQ(status("28", false, 383), 20); // the first three records need 384 bytes
}

TEST(Rpc3Input, HeaderValuesByteOrderAndChannelAttributes) {
  TempDir dir;
  Rpc3File f;
  f.channels = 3, f.frames = 5, f.dt = 0.002;
  f.standard_records();
  f.set("INT_FULL_SCALE", "-4");
  f.set("FRAMES", "1");
  f.records.push_back({"FRAMES", "5"}); // given twice: the last wins
  for (const char *k : {"DESC.CHAN_3", "UNITS.CHAN_3", "SCALE.CHAN_3"}) f.drop(k);
  f.records.insert(f.records.end(), {{"DEST.CHAN_2", "dest two"},         // later than DESC.CHAN_2: wins
                                     {"DESC.CHAN_1", "second desc one"}, {"MAP.CHAN_2", "  17"},
                                     {"UPPER_LIMIT.CHAN_2", "2.5E+01"},  {"LOWER_LIMIT.CHAN_2", "-2.5E+01"},
                                     {"SCALE.CHAN_9", "3.0"}, {"UNKNOWN", "x"}});
  rpc3file_input in(f.write(dir.file("a.rsp")).c_str());
  Info o = read_header(in);
  EXPECT_EQ(in.getStatus(), 0);
  EXPECT_EQ(o.channels * 10000 + o.points, 3 * 10000 + 5 * 256);
  EXPECT_DOUBLE_EQ(o.dt, 0.002);
  EXPECT_STREQ(o.date, "Sat Dec  5 10:11:12 2026");
  EXPECT_EQ(in.getHeader().int_full_scale, 1);
  EXPECT_TRUE(P::native(in));
  char desc[96], units[96];
  std::string got;
  for (int c = 1; c <= 3; ++c) got += std::to_string(in.getAttributes(c, desc, units)) + desc + "/" + units + ";";
  EXPECT_EQ(got, "0second desc one/unit1;0dest two/unit2;0/;");
  const rpc_channel_timehistory &two = P::channel(in, 2), &three = P::channel(in, 3);
  EXPECT_EQ(std::vector<double>({double(two.map), two.upper_limit, two.lower_limit}), std::vector<double>({17, 25, -25}));
  EXPECT_EQ(std::vector<double>({three.scale, double(three.map), three.lower_limit, three.upper_limit}),
            std::vector<double>({1, 0, -1, 1})); // never mentioned: the defaults
  std::strcpy(desc, "keep");
  EXPECT_EQ(in.getAttributes(0, desc, units) + in.getAttributes(4, desc, units), 18);
  EXPECT_STREQ(desc, "keep");
  EXPECT_EQ(in.getAttributes(2, nullptr, units), 0);

  // A channel number below 1: status 5, nothing changes, reading goes on.
  f.records.insert(f.records.end(), {{"SCALE.CHAN_0", "7.0"}, {"DESC.CHAN_-1", "negative"}});
  rpc3file_input bad(f.write(dir.file("b.rsp")).c_str());
  EXPECT_EQ(read_header(bad).channels, 3);
  EXPECT_EQ(bad.getStatus(), 5);
  double v[10];
  EXPECT_EQ(bad.getData(1, 10, v), 10);
  EXPECT_EQ(v[3], f.expected(1, 3));

  Rpc3File big;
  big.big_endian = true;
  EXPECT_FALSE(P::native(rpc3file_input(big.write(dir.file("b.rsp")).c_str())));
  big.format = "BINARY"; // anything else reads as little-endian
  EXPECT_TRUE(P::native(rpc3file_input(big.write(dir.file("c.rsp")).c_str())));

  Rpc3File nul; // 96 characters without NUL, and a record without any NUL
  nul.standard_records();
  nul.set("DESC.CHAN_1", std::string(96, 'd'));
  std::vector<unsigned char> img = nul.image();
  std::memset(&img[3 * 128], 'K', 128);
  zel_test::write_bytes(dir.file("n.rsp"), img);
  rpc3file_input n(dir.file("n.rsp").c_str());
  read_header(n);
  EXPECT_EQ(n.getStatus(), 0);
  ASSERT_EQ(n.getAttributes(1, desc, nullptr), 0);
  EXPECT_EQ(std::string(desc), std::string(95, 'd'));
}

TEST(Rpc3Input, SizeCheckAndDataCutShort) {
  TempDir dir;
  // One byte more or less, cut inside the second group, inside the first
  // frames: status 6; what the file holds is read, the rest reads as 0.
  for (int64_t change : {0, 1, -1, -1500, -3000, -4000}) {
    Rpc3File f;
    f.size_change = change;
    rpc3file_input in(f.write(dir.file("a.rsp")).c_str());
    EXPECT_EQ(in.getStatus(), 0);
    Info o = read_header(in);
    EXPECT_EQ(in.getStatus(), change ? 6 : 0) << change;
    if (change == -4000) {
      EXPECT_EQ(o.channels, 0); // not even the first frame of every channel
      continue;
    }
    std::vector<double> all(static_cast<size_t>(o.points));
    ASSERT_EQ(in.getData(2, all.data()), 0);
    const int64_t end = int64_t(f.image().size()), start = int64_t(f.header_image().size());
    for (int p = 0; p < o.points; ++p)
      ASSERT_EQ(all[size_t(p)], start + ((p / 512) * 2 + 1) * 1024 + (p % 512) * 2 + 2 <= end ? f.expected(2, p) : 0.0)
          << change << " " << p;
  }
}

// Headers whose arithmetic cannot be carried out, or that claim more than
// the file holds, read as files without channels and points.
TEST(Rpc3Input, HostileHeadersAreRefusedWithoutHarm) {
  TempDir dir;
  const std::vector<std::tuple<const char *, std::vector<std::pair<std::string, std::string>>, int>> cases = {
      {"header blocks far beyond the file", {{"#B", "2000000000"}}, 6},
      {"negative header blocks", {{"#B", "-3"}, {"#P", "-20"}}, 5},
      {"channels far beyond the file", {{"CHANNELS", "2000000000"}}, 6},
      {"no channels", {{"CHANNELS", "0"}}, 5},
      {"negative channels", {{"CHANNELS", "-2"}}, 5},
      {"no frame or group size", {{"PTS_PER_FRAME", "0"}, {"PTS_PER_GROUP", "-1"}}, 5},
      {"zero interval", {{"DELTA_T", "0"}}, 5},
      {"undefined interval", {{"DELTA_T", "nan"}}, 5},
      {"group not a multiple of the frame", {{"PTS_PER_GROUP", "700"}}, 5},
      {"points per channel beyond int", {{"FRAMES", "2000000000"}}, 5},
      {"frame beyond the file", {{"PTS_PER_FRAME", "1000000000"}, {"PTS_PER_GROUP", "1000000000"}, {"FRAMES", "1"}}, 6}};
  for (const auto &[name, edits, status] : cases) {
    Rpc3File f;
    f.standard_records();
    for (const auto &[k, v] : edits)
      if (k == "#B") f.num_header_blocks = v; else if (k == "#P") f.num_params = v; else f.set(k, v);
    rpc3file_input in(f.write(dir.file("h.rsp")).c_str());
    Info o = read_header(in, kWholeFile);
    EXPECT_EQ(in.getStatus(), status) << name;
    EXPECT_EQ(o.channels + o.points, 0) << name;
    double v[5] = {1, 1, 1, 1, 1}, t[5];
    EXPECT_EQ(in.getData(1, 3, v) * 100 + in.getData(1, v) * 10 + in.getWindow(1, 0.0, t, v, 2), 99) << name;
  }
  // Far more frames than the file holds, but every channel's first frame is
  // there: read, the missing values as 0, memory bounded by the file.
  Rpc3File f;
  f.standard_records();
  f.set("FRAMES", "2000000");
  rpc3file_input in(f.write(dir.file("frames.rsp")).c_str());
  EXPECT_EQ(read_header(in, kWholeFile).channels, 2);
  EXPECT_EQ(in.getStatus(), 6);
  EXPECT_NE(P::mode(in), 1); // never held whole
  double t[5], v[5];
  EXPECT_EQ(in.getWindow(1, 1.0e6 * f.dt, t, v, 2), 0);
  EXPECT_EQ(v[0], 0.0);
}

TEST(Rpc3Data, BudgetChoosesTheModeAndAllModesDeliverTheSameValues) {
  TempDir dir;
  for (bool floating : {false, true})
    for (bool big : {false, true}) {
      Rpc3File f;
      f.channels = 3, f.group = 1024, f.frames = 1030; // K = 4, 258 groups, the last with 2 frames
      f.floating = floating, f.big_endian = big, f.scales = {0.5, 0.25, 2.0}; // floats are delivered unscaled
      if (floating) f.stored = [](int c, int64_t p) { return c * 100000.0 + p * 0.125; };
      const std::string path = f.write(dir.file("a.rsp"));
      const int n = 1030 * 256;
      for (auto [budget, mode, buffer, blocks] : {std::array<int, 4>{kFramePair, 3, 2 * 256, 1030},
                                                  {kGroupPair, 2, 2 * 1024, 258}, {kWholeFile, 1, 258 * 1024, 0}}) {
        SCOPED_TRACE("float " + std::to_string(floating) + " big " + std::to_string(big) + " mode " + std::to_string(mode));
        rpc3file_input in(path.c_str());
        in.initRead(budget);
        ASSERT_EQ(in.getStatus(), 0);
        EXPECT_EQ(std::vector<int64_t>({P::mode(in), P::buffer_length(in), P::blocks(in)}),
                  std::vector<int64_t>({mode, buffer, blocks}));
        for (int c : {2, 1, 3}) { // whole channels, out of channel order, room beyond N untouched
          std::vector<double> v(static_cast<size_t>(n) + 1, -999.0);
          ASSERT_EQ(in.getData(c, v.data()), 0);
          for (int p = 0; p < n; ++p) ASSERT_EQ(v[size_t(p)], f.expected(c, p)) << c << " " << p;
          ASSERT_EQ(v[size_t(n)], -999.0);
        }
        // Interleaved sequential reads of uneven sizes, one cursor per channel.
        std::vector<int> cursor(4, 0);
        const int sizes[] = {1, 255, 256, 257, 1000, 3, 4096};
        for (int step = 0; cursor[1] < n; ++step) {
          const int c = 1 + step % 3, k = std::min(sizes[step % 7], n - cursor[size_t(c)]);
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

TEST(Rpc3Data, PaddingStatusSevenAndCursors) {
  TempDir dir;
  Rpc3File f;
  f.padding = 32000;                                           // K = 2: the last group ends in padding
  const std::string path = f.write(dir.file("a.rsp"));
  f.size_change = 1 << 20;                                     // data beyond the budget: group pairs
  const std::string wide = f.write(dir.file("g.rsp"));
  for (int budget : {kFramePair, kGroupPair, kWholeFile}) {
    SCOPED_TRACE(budget);
    rpc3file_input in((budget == kGroupPair ? wide : path).c_str());
    in.initRead(budget);
    ASSERT_EQ(P::mode(in), 3 - (budget > 0) - (budget > 1));
    std::vector<double> v(1100, -1.0);
    EXPECT_EQ(in.getData(1, 100, v.data()), 100);
    EXPECT_EQ(in.getData(2, 100, v.data()), 100);
    EXPECT_EQ(v[0], f.expected(2, 0)); // cursors are per channel
    EXPECT_EQ(in.getData(1, 0, v.data()) + in.getData(1, -4, v.data()) + in.getData(3, 10, v.data()) + in.getData(0, 1, v.data()), 0);
    EXPECT_EQ(v[0], f.expected(2, 0));
    EXPECT_EQ(in.getData(1, v.data()), 0); // whole-channel reads leave the cursor alone
    EXPECT_EQ(in.getData(1, 924, v.data()), 924); // to the last group's end
    EXPECT_EQ(v[0] - v[667], f.expected(1, 100) - f.expected(1, 767));
    for (int p = 668; p < 924; ++p) ASSERT_EQ(v[size_t(p)], 0.0) << p; // never the padding
    // Status 7: past the last frame in frame pairs, past the last group's
    // end in group pairs (whose status is 6 from the size check), never when held whole.
    const int status = in.getStatus();
    EXPECT_EQ(in.getData(1, 1, v.data()), 1);
    EXPECT_EQ(status, budget == kGroupPair ? 6 : budget == kFramePair ? 7 : 0);
    EXPECT_EQ(in.getStatus(), budget == kWholeFile ? 0 : 7);
    EXPECT_EQ(in.getData(2, 300, v.data()), 300); // other channels read on
    EXPECT_EQ(v[199], f.expected(2, 299));
  }
}

// A file cut short, read right after a whole file of the same layout into
// the same array, by every read call: what the cut file lacks is 0.0, never
// a value of the other file.
TEST(Rpc3Data, PointsACutFileLacksAreZeroAfterAnotherFile) {
  TempDir dir;
  Rpc3File whole, cut;
  whole.frames = cut.frames = 8; // 2048 points in 4 groups of 2048 bytes
  whole.stored = [](int c, int64_t p) { return double(7 + c + p); };
  cut.stored = [](int, int64_t) { return 1.0; };
  cut.size_change = -3000; // channel 2 keeps points 0 .. 1059
  const std::string whole_path = whole.write(dir.file("whole.rsp")), cut_path = cut.write(dir.file("cut.rsp"));
  constexpr int n = 2048;
  std::vector<double> want(n, 0.0);
  std::fill(want.begin(), want.begin() + 1060, 1.0);
  // Each reads channel 2 into v (n + 1 values; a window holds the last one).
  const std::pair<const char *, std::function<void(const std::string &, double *)>> reads[] = {
      {"zel_rpc_getnpts", [&](const std::string &path, double *v) {
         int c, p, status;
         double dt;
         void *h = zel_rpc_open(path.c_str(), &c, &p, &dt, nullptr, &status);
         EXPECT_EQ(zel_rpc_getnpts(h, 2, n, v), n);
         zel_rpc_readclose(h);
       }},
      {"zel_rpc_getwindow", [&](const std::string &path, double *v) {
         int c, p, status;
         double dt;
         std::vector<double> t(n + 1);
         void *h = zel_rpc_open(path.c_str(), &c, &p, &dt, nullptr, &status);
         EXPECT_EQ(zel_rpc_getwindow(h, 2, n / 2 * 0.01, n / 2, t.data(), v), 0);
         zel_rpc_readclose(h);
       }},
      {"zel_rpc_data", [&](const std::string &path, double *v) {
         int p;
         double dt;
         EXPECT_EQ(std::make_tuple(zel_rpc_data(path.c_str(), 2, &p, &dt, v), p), std::make_tuple(0, n));
       }},
      {"getData, frame pairs", [&](const std::string &path, double *v) {
         rpc3file_input in(path.c_str());
         in.initRead(kFramePair);
         EXPECT_EQ(in.getData(2, v), 0);
       }},
      {"getData, group pairs", [&](const std::string &path, double *v) {
         rpc3file_input in(path.c_str());
         in.initRead(kGroupPair);
         EXPECT_EQ(in.getData(2, v), 0); // the whole file is held whole
       }}};
  for (const auto &[name, read] : reads) {
    std::vector<double> v(n + 1, -1.0);
    read(whole_path, v.data());
    ASSERT_EQ(v[n - 1], whole.expected(2, n - 1)) << name;
    read(cut_path, v.data());
    EXPECT_EQ(std::vector<double>(v.begin(), v.begin() + n), want) << name;
  }
}

TEST(Rpc3Data, WindowsAroundATime) {
  TempDir dir;
  Rpc3File f;
  f.frames = 2, f.dt = 0.5;
  const int n = 512;
  auto e = [&](int p) { return f.expected(1, std::min(std::max(p, 0), n - 1)); };
  for (int budget : {kFramePair, kGroupPair, kWholeFile}) {
    rpc3file_input in(f.write(dir.file("a.rsp")).c_str());
    in.initRead(budget);
    double t[5], v[5];
    auto window = [&](int c, double time, int half) {
      EXPECT_EQ(in.getWindow(c, time, t, v, half), 0) << time;
      return std::vector<double>(v, v + 2 * std::max(half, 0) + 1);
    };
    EXPECT_EQ(window(1, 0.0, 2), std::vector<double>({e(0), e(0), e(0), e(1), e(2)}));
    EXPECT_EQ(std::vector<double>(t, t + 5), std::vector<double>({-1.0, -0.5, 0.0, 0.5, 1.0}));
    EXPECT_EQ(window(1, (n + 5) * 0.5, 2), std::vector<double>(5, e(n - 1)));
    EXPECT_EQ(t[4], (n + 7) * 0.5);
    // Centre rule: within 1e-8 of an interval below a sample counts as it.
    EXPECT_EQ(window(1, 2.9999999999 * 0.5, 0)[0], e(3));
    EXPECT_EQ(window(1, 2.99 * 0.5, 0)[0], e(2));
    EXPECT_EQ(t[0], 1.0);
    t[1] = 42.0;
    EXPECT_EQ(window(1, 10.0, -3), std::vector<double>({e(20)})); // negative half-width: one entry
    EXPECT_EQ(t[1], 42.0);
    std::vector<double> wt(1201), wv(1201); // wider than the data on both sides
    ASSERT_EQ(in.getWindow(2, 100 * 0.5, wt.data(), wv.data(), 600), 0);
    for (int k = 0; k <= 1200; ++k) {
      ASSERT_EQ(wv[size_t(k)], f.expected(2, std::min(std::max(k - 500, 0), n - 1))) << k;
      ASSERT_EQ(wt[size_t(k)], (k - 500) * 0.5) << k;
    }
    for (int k = 0; k < 3; ++k) t[k] = v[k] = 7.0;
    EXPECT_EQ(in.getWindow(3, 1.0, t, v, 1), 9); // channel out of range: zeroed entries
    EXPECT_EQ(t[0] + t[2] + v[0] + v[2], 0.0);
    EXPECT_EQ(window(1, 1e300, 1)[1], e(n)); // far-off and undefined times stay inside
    EXPECT_EQ(window(1, -1e300, 1)[1], e(0));
    EXPECT_EQ(window(1, std::nan(""), 1)[1], e(0));
    EXPECT_EQ(in.getStatus(), 0);
  }
  f.frames = 0; // no frames, no points: reads deliver zeros
  f.standard_records();
  rpc3file_input none(f.write(dir.file("none.rsp")).c_str());
  EXPECT_EQ(read_header(none).points, 0);
  double t[3], v[3] = {1, 1, 1};
  EXPECT_EQ(none.getData(1, v) + none.getWindow(1, 0.0, t, v, 1), 0);
  EXPECT_EQ(none.getData(1, 3, v), 3);
  EXPECT_EQ(v[0] + v[1] + v[2] + none.getStatus(), 0.0);
}

// A sparse file whose last group lies past 2 GiB, read around its end.
TEST(Rpc3Data, FilesBeyondTwoGibibytes) {
  TempDir dir;
  Rpc3File f;
  f.channels = 4, f.frame = 1024, f.group = 2048, f.frames = 300000; // 2.46e9 bytes of data
  f.standard_records();
  const std::vector<unsigned char> head = f.header_image();
  const std::string path = dir.file("big.rsp");
  FILE *out = std::fopen(path.c_str(), "wb");
  ASSERT_NE(out, nullptr);
  std::fwrite(head.data(), 1, head.size(), out);
  std::vector<int16_t> ramp(2048); // the last run of channel 3
  for (int i = 0; i < 2048; ++i) ramp[size_t(i)] = int16_t(i);
  ASSERT_EQ(fseeko(out, int64_t(head.size()) + (149999LL * 4 + 2) * 2048 * 2, SEEK_SET), 0);
  std::fwrite(ramp.data(), 2, ramp.size(), out);
  ASSERT_EQ(ftruncate(fileno(out), int64_t(head.size()) + 150000LL * 4 * 2048 * 2), 0);
  std::fclose(out);
  rpc3file_input in(path.c_str());
  const int n = read_header(in).points;
  ASSERT_EQ(in.getStatus(), 0);
  ASSERT_EQ(n, 300000 * 1024);
  double t[5], v[5];
  ASSERT_EQ(in.getWindow(3, (n - 1) * f.dt, t, v, 2), 0);
  EXPECT_EQ(std::vector<double>(v, v + 5), std::vector<double>({2045, 2046, 2047, 2047, 2047}));
  ASSERT_EQ(in.getWindow(4, (n - 1) * f.dt, t, v, 0), 0);
  EXPECT_EQ(v[0], 0.0);
}

// Real files from another program, when present: extremes and their
// positions agree with the NCODE_STAT records they carry (max, min, mean,
// std, rms; 1-based indices of max, min, absolute max).
TEST(Rpc3Samples, ExtremesAndStatisticsMatchTheFile) {
  for (const char *name : {"test1.rsp", "signal_example.rsp"}) {
    const std::string path = std::string(ZEL_SAMPLES_DIR) + "/" + name;
    if (!std::filesystem::exists(path)) continue;
    const zel_test::FileImage image = zel_test::FileImage::load(path);
    double stat[6][8] = {};
    for (int r = 0; (r + 1) * 128 <= int(image.bytes.size()); ++r) {
      int c = 0;
      double *s = stat[0];
      if (std::sscanf(image.keyword(r).c_str(), "NCODE_STAT1_CHAN_%d", &c) == 1 && c >= 1 && c <= 5)
        s = stat[c], std::sscanf(image.value(r).c_str(), "%lf,%lf,%lf,%lf,%lf", s, s + 1, s + 2, s + 3, s + 4);
      else if (std::sscanf(image.keyword(r).c_str(), "NCODE_STAT2_CHAN_%d", &c) == 1 && c >= 1 && c <= 5)
        s = stat[c], std::sscanf(image.value(r).c_str(), "%lf,%lf,%lf", s + 5, s + 6, s + 7);
    }
    for (int budget : {kFramePair, kGroupPair, kWholeFile}) {
      rpc3file_input in(path.c_str());
      const Info o = read_header(in, budget);
      ASSERT_EQ(in.getStatus(), 0);
      ASSERT_EQ(o.channels * 10000 + o.points, 5 * 10000 + 2048);
      EXPECT_DOUBLE_EQ(o.dt, 0.004);
      for (int c = 1; c <= 5; ++c) {
        SCOPED_TRACE(std::string(name) + " channel " + std::to_string(c));
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
        const double *s = stat[c], step = amax / 32752.0 * 1.01; // one scale step
        EXPECT_EQ(std::vector<double>({ihi, ilo, iabs}), std::vector<double>({s[5], s[6], s[7]}));
        EXPECT_NEAR(hi, s[0], step);
        EXPECT_NEAR(lo, s[1], step);
        EXPECT_NEAR(sum / 2048, s[2], step);
        EXPECT_NEAR(std::sqrt(sq / 2048), s[4], step);
      }
    }
  }
}
