// The RPC III reader on files built by the test-side builder: header values, hostile headers, the three read modes,
// cursors, windows, files cut short or beyond 2 GiB. (The shared sample files are read by the command-line tool's
// tests.)
#include <gtest/gtest.h>

#include <tuple>

#include "rpc/rpc3_reader.h"
#include "rpc/rpc3_support.h"

using zel::ReadMode;
using zel::Rpc3Reader;
using zel_test::Rpc3File;

static constexpr int kFramePair = 0, kGroupPair = 1, kWholeFile = 64; // budgets for the small files here

// Later records win; unknown and writer-only keywords are skipped; a channel record sets the channel it names, a
// channel never named keeps the defaults; a channel below 1 gives status 5, and reading goes on.
TEST(Rpc3Input, HeaderValuesAndChannelRecords) {
  zel_test::TempDir dir;
  Rpc3File f;
  f.channels = 3, f.frames = 5, f.dt = 0.002;
  f.standard_records();
  f.records.resize(f.records.size() - 3); // channel 3 never named
  f.set("FRAMES", "1");
  f.records.insert(f.records.end(), {{"FRAMES", "5"},
                                     {"INT_FULL_SCALE", "-4"},
                                     {"DEST.CHAN_2", "dest two"},
                                     {"SCALE.CHAN_0", "7.0"},
                                     {"DESC.CHAN_-1", "negative"},
                                     {"SCALE.CHAN_9", "3.0"},
                                     {"UNKNOWN", "x"},
                                     {"PART.CHAN_1", "4"},
                                     {"DESC.CHAN_1x", std::string(96, 'd')}});
  rpc3file_input in(f.write(dir.file("a.rsp")).c_str());
  int channels = 0, points = 0;
  double dt = 0;
  char desc[96], units[96];
  double v[4];
  in.initRead(0), in.getInfo(channels, points, dt, desc);
  EXPECT_EQ(std::make_tuple(in.getStatus(), channels, points, dt, std::string(desc)),
            std::make_tuple(ZEL_RPC_BAD_HEADER, 3, 5 * 256, 0.002, std::string("Sat Dec  5 10:11:12 2026")));
  EXPECT_EQ(in.getData(3, 4, v), 4);
  EXPECT_EQ(v[3], f.expected(3, 3)); // no SCALE.CHAN_3: 1
  EXPECT_EQ(std::make_tuple(in.getHeader().int_full_scale, in.getHeader().frames, in.getHeader().part_chan_1),
            std::make_tuple(1, 5, 0));
  std::string got;
  for (int c = 1; c <= 3; ++c) got += std::to_string(in.getAttributes(c, desc, units)) + desc + "/" + units + ";";
  EXPECT_EQ(got, "0" + std::string(95, 'd') + "/unit1;0dest two/unit2;0/;"); // 96 characters without NUL: 95 kept
  std::strcpy(desc, "keep");
  EXPECT_EQ(in.getAttributes(0, desc, units), ZEL_RPC_CHANNEL_RANGE);
  EXPECT_EQ(in.getAttributes(4, desc, units), ZEL_RPC_CHANNEL_RANGE);
  EXPECT_STREQ(desc, "keep");
  EXPECT_EQ(in.getAttributes(2, nullptr, units), 0);
}

// Headers that are not one (records 0 to 2, each at its place, decide), whose arithmetic cannot be carried out, or that
// claim more than the file holds, read as files without channels and points.
TEST(Rpc3Input, HostileHeadersAreRefusedWithoutHarm) {
  zel_test::TempDir dir;
  const std::string path = dir.file("h.rsp");
  // clang-format off
  const std::vector<std::tuple<std::vector<std::pair<std::string, std::string>>, int, bool>> cases = {
      // edits ("#size": bytes kept, "#record0": bytes at 0), status, valid
      {{{"#size", "0"}}, ZEL_RPC_OPEN_FAILED, false},              // no file
      {{{"#size", "383"}}, ZEL_RPC_NOT_RPC, false},                // the three records take 384 bytes
      {{{"#record0", "FORMAT "}}, ZEL_RPC_NOT_RPC, false},         // keywords are not trimmed
      {{{"#blocks", "7"}, {"#params", "29"}}, ZEL_RPC_BAD_HEADER, false}, // more records than the blocks hold
      {{{"#blocks", "2000000000"}}, 6, true}, {{{"#blocks", "-3"}, {"#params", "-20"}}, 5, true},
      {{{"#size", "3071"}}, 6, true}, // less than one frame of every channel
      {{{"CHANNELS", "2000000000"}}, 6, true}, {{{"CHANNELS", "0"}}, 5, true}, {{{"CHANNELS", "-2"}}, 5, true},
      {{{"PTS_PER_FRAME", "0"}, {"PTS_PER_GROUP", "-1"}}, 5, true}, {{{"PTS_PER_GROUP", "700"}}, 5, true},
      {{{"DELTA_T", "0"}}, 5, true}, {{{"DELTA_T", "nan"}}, 5, true}, {{{"FRAMES", "2000000000"}}, 5, true},
      {{{"FRAMES", "0"}, {"CHANNELS", "40"}}, 5, true}, // more channels than records
      {{{"PTS_PER_FRAME", "1000000000"}, {"PTS_PER_GROUP", "1000000000"}, {"FRAMES", "1"}}, 6, true}};
  // clang-format on
  for (const auto &[edits, status, valid] : cases) {
    Rpc3File f;
    f.standard_records();
    size_t keep = SIZE_MAX;
    std::string record0;
    for (const auto &[k, v] : edits)
      k == "#blocks"    ? void(f.num_header_blocks = v)
      : k == "#params"  ? void(f.num_params = v)
      : k == "#size"    ? void(keep = std::stoul(v))
      : k == "#record0" ? void(record0 = v)
                        : f.set(k, v);
    std::vector<unsigned char> image = f.image();
    std::copy(record0.begin(), record0.end(), image.begin());
    image.resize(std::min(image.size(), keep));
    std::filesystem::remove(path);
    if (keep) zel_test::write_file(path, image);
    rpc3file_input in(path.c_str());
    int channels = -1, points = -1;
    double dt, v[5] = {1, 1, 1, 1, 1}, t[5];
    in.initRead(kWholeFile), in.getInfo(channels, points, dt, nullptr);
    SCOPED_TRACE(edits[0].first + "=" + edits[0].second);
    EXPECT_EQ(std::make_tuple(in.getStatus(), in.validFile(), channels, points), std::make_tuple(status, valid, 0, 0));
    EXPECT_EQ(std::make_tuple(in.getData(1, 3, v), in.getData(1, v), in.getWindow(1, 0.0, t, v, 2)),
              std::make_tuple(0, ZEL_RPC_CHANNEL_RANGE, ZEL_RPC_CHANNEL_RANGE));
    EXPECT_EQ(std::vector<double>(v, v + 5), std::vector<double>(5, 0.0)); // the window of no channel: zeros
  }
  // Far more frames than the file holds, but every channel's first frame is there: read, the missing values as 0,
  // memory bounded by the file.
  Rpc3File f;
  f.standard_records();
  f.set("FRAMES", "2000000");
  Rpc3Reader r(f.write(dir.file("frames.rsp")).c_str());
  r.init_read(kWholeFile);
  double t[5], v[5];
  EXPECT_EQ(r.read_window(1, 1.0e6 * f.dt, t, v, 2), 0);
  EXPECT_EQ(std::make_tuple(r.status(), r.mode() != ReadMode::whole_file, v[0]), std::make_tuple(6, true, 0.0));
}

// One file per value type and byte order (3 channels, K = 4, 258 groups, the last with 2 of 4 frames) read in each
// mode: interleaved cursors of uneven steps, points past the last one. (Windows and whole reads against these reads:
// the rpc3_reader_fuzz replay.)
TEST(Rpc3Data, EveryModeTypeAndByteOrderDeliversTheStoredValues) {
  zel_test::TempDir dir;
  constexpr int n = 1030 * 256, last_group_end = 258 * 1024;
  for (int variant = 0; variant < 4; ++variant) {
    Rpc3File f;
    f.channels = 3, f.group = 1024, f.frames = 1030;
    f.floating = variant & 1, f.big_endian = variant & 2, f.scales = {0.5, 0.25, 2.0}; // floats are delivered unscaled
    f.format = variant == 1 ? "BINARY" : "";                                           // not big-endian: little
    if (f.floating) f.stored = [](int c, int64_t p) { return c * 100000.0 + p * 0.125; };
    const std::string path = f.write(dir.file("a.rsp"));
    for (auto [budget, mode, buffer, blocks] :
         {std::tuple<int, ReadMode, int64_t, int64_t>{kFramePair, ReadMode::frame_pairs, 2 * 256, 1030},
          {kGroupPair, ReadMode::group_pairs, 2 * 1024, 258},
          {kWholeFile, ReadMode::whole_file, 258 * 1024, 0}}) {
      SCOPED_TRACE("variant " + std::to_string(variant) + " budget " + std::to_string(budget));
      Rpc3Reader in(path.c_str());
      in.init_read(budget);
      EXPECT_EQ(std::make_tuple(in.status(), in.mode(), in.buffer_length(), in.block_count()),
                std::make_tuple(0, mode, buffer, blocks));
      std::vector<double> v(last_group_end);
      int cursor[4] = {};
      const int steps[] = {1, 255, 256, 257, 1000, 3, 4096};
      for (int step = 0; cursor[1] < n; ++step) {
        const int c = 1 + step % 3, k = std::min(steps[step % 7], n - cursor[c]);
        ASSERT_EQ(in.read_next(c, k, v.data()), k);
        for (int i = 0; i < k; ++i) ASSERT_EQ(v[size_t(i)], f.expected(c, cursor[c] + i));
        cursor[c] += k;
      }
      EXPECT_EQ(std::make_tuple(in.read_next(1, 0, v.data()), in.read_next(1, -4, v.data()),
                                in.read_next(4, 1, v.data()), in.read_next(0, 1, v.data())),
                std::make_tuple(0, 0, 0, 0));
      // Past the last point: 0.0, never the padding. Status 7 once a point's frame (frame pairs) or group (group pairs)
      // lies beyond the file's.
      ASSERT_EQ(in.read_next(1, last_group_end - n, v.data()), last_group_end - n);
      EXPECT_EQ(std::vector<double>(v.begin(), v.begin() + last_group_end - n),
                std::vector<double>(size_t(last_group_end - n), 0.0));
      EXPECT_EQ(in.status(), budget == kFramePair ? ZEL_RPC_BLOCK_RANGE : 0);
      EXPECT_EQ(in.read_next(1, 1, v.data()), 1);
      EXPECT_EQ(in.status(), budget == kWholeFile ? 0 : ZEL_RPC_BLOCK_RANGE);
    }
  }
}

// Files one byte longer or cut short (one byte, inside the second group, inside the first group): status 6; what the
// file holds is read, what it lacks is 0.0, also right after a whole file read into the same array.
TEST(Rpc3Data, SizeCheckAndPointsACutFileLacks) {
  zel_test::TempDir dir;
  Rpc3File f;
  f.frames = 8; // 2048 points in 4 groups of 2048 bytes
  const std::string whole = f.write(dir.file("whole.rsp"));
  constexpr int n = 2048;
  std::vector<double> v(n);
  auto read = [&](const std::string &name, int budget) { // channel 2 whole, then the status
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
    for (int budget : {kFramePair, kGroupPair}) {
      SCOPED_TRACE(std::to_string(change) + " budget " + std::to_string(budget));
      ASSERT_EQ(read(whole, budget), 0);
      ASSERT_EQ(v[n - 1], f.expected(2, n - 1));
      EXPECT_EQ(read(path, budget), 6);
      EXPECT_EQ(v, want);
    }
  }
}

// A sparse file whose last group lies past 2 GiB, read around its end.
TEST(Rpc3Data, FilesBeyondTwoGibibytes) {
  zel_test::TempDir dir;
  Rpc3File f;
  f.channels = 4, f.frame = 1024, f.group = 2048, f.frames = 300000; // 2.46e9 bytes of data
  f.standard_records();
  const std::vector<unsigned char> head = f.header_image();
  const std::string path = dir.file("big.rsp");
  zel_test::write_file(path, head);
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
  ASSERT_EQ(in.getWindow(3, last, t, v, 2), 0);
  ASSERT_EQ(in.getWindow(4, last, t, w, 0), 0);
  EXPECT_EQ(std::vector<double>(v, v + 5), std::vector<double>({2045, 2046, 2047, 2047, 2047}));
  EXPECT_EQ(w[0], 0.0);
}

// Any range of points of a channel, in every read mode.
TEST(Rpc3Data, AnyRangeInEveryModeAndWrongArguments) {
  zel_test::TempDir dir;
  Rpc3File f;
  f.channels = 3, f.frames = 7; // 1792 points, groups of two frames: the last holds one
  const std::string path = f.write(dir.file("r.rsp"));
  for (int budget : {0, 1, 64}) { // frame pairs, group pairs, the whole file
    rpc3file_input in(path.c_str());
    in.initRead(budget);
    for (auto [first, count] : {std::pair{0, 1}, {255, 2}, {1000, 700}, {1791, 1}, {0, 1792}, {600, 0}}) {
      for (int c : {3, 1}) {
        std::vector<double> got(size_t(count) + 1, -1.0), want(size_t(count) + 1, -1.0);
        for (int k = 0; k < count; ++k) want[size_t(k)] = f.expected(c, first + k);
        EXPECT_EQ(in.getRange(c, first, count, got.data()), 0);
        EXPECT_EQ(got, want) << budget << " " << c << " " << first << " " << count;
      }
    }
    double x = 0;
    EXPECT_EQ(in.getData(2, 1, &x), 1); // the cursor is untouched by ranges
    EXPECT_EQ(x, f.expected(2, 0));
    for (auto [c, first, count] :
         {std::tuple{0, 0, 1}, {4, 0, 1}, {1, -1, 1}, {1, 0, -1}, {1, 1792, 1}, {1, 1000, 793}})
      EXPECT_EQ(in.getRange(c, first, count, &x), ZEL_RPC_CHANNEL_RANGE) << c << " " << first << " " << count;
    EXPECT_EQ(in.getRange(1, 0, 1, nullptr), ZEL_RPC_CHANNEL_RANGE);
  }
  EXPECT_EQ(zel_rpc_getrange(nullptr, 1, 0, 0, nullptr), ZEL_RPC_BAD_HANDLE);
}
