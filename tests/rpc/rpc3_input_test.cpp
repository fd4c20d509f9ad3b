// Opening RPC III files: the quick validity rules, header parsing, channel
// attributes, the size check and hostile headers.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "rpc/rpc3_builder.h"
#include "rpc/rpc3_probe.h"
#include "support/temp_dir.h"
#include "zel.h"

using zel_test::Rpc3File;
using zel_test::TempDir;
using P = rpc3_input_probe;

namespace {

struct Info {
  int channels = -1, points = -1;
  double dt = -1;
  char date[96] = "x";
};

Info info_of(rpc3file_input &in) {
  Info o;
  in.getInfo(o.channels, o.points, o.dt, o.date);
  return o;
}

Info read_header(rpc3file_input &in, int budget = 0) {
  in.initRead(budget);
  return info_of(in);
}

int status_of(Rpc3File f, const std::string &path) {
  return rpc3file_input(f.write(path).c_str()).getStatus();
}

} // namespace

TEST(Rpc3Input, QuickValidityRules) {
  TempDir dir;
  rpc3file_input missing(dir.file("none.rsp").c_str());
  EXPECT_EQ(missing.getStatus(), 1);
  EXPECT_FALSE(missing.validFile());
  EXPECT_FALSE(P::is_open(missing));

  zel_test::write_bytes(dir.file("text.txt"), std::string(400, 't'));
  EXPECT_EQ(rpc3file_input(dir.file("text.txt").c_str()).getStatus(), 2);

  Rpc3File f;
  EXPECT_EQ(status_of(f, dir.file("ok.rsp")), 0);
  EXPECT_TRUE(rpc3file_input(dir.file("ok.rsp").c_str()).validFile());
  f.num_header_blocks = "7";
  f.num_params = "28";
  EXPECT_EQ(status_of(f, dir.file("p28.rsp")), 0);
  f.num_params = "29";
  EXPECT_EQ(status_of(f, dir.file("p29.rsp")), 5);

  // Keywords are not trimmed; status 5 replaces status 2 when both fail.
  f.standard_records();
  std::vector<unsigned char> img = f.header_image();
  std::memcpy(&img[0], "FORMAT ", 7);
  zel_test::write_bytes(dir.file("both.rsp"), std::string(img.begin(), img.end()));
  EXPECT_EQ(rpc3file_input(dir.file("both.rsp").c_str()).getStatus(), 5);
  f.num_params = "28";
  img = f.header_image();
  std::memcpy(&img[0], "FORMAT ", 7);
  zel_test::write_bytes(dir.file("blank.rsp"), std::string(img.begin(), img.end()));
  EXPECT_EQ(rpc3file_input(dir.file("blank.rsp").c_str()).getStatus(), 2);

  // Fewer than 384 bytes cannot hold the first three records.
  zel_test::write_bytes(dir.file("short.rsp"), std::string(img.begin(), img.begin() + 383));
  EXPECT_EQ(rpc3file_input(dir.file("short.rsp").c_str()).getStatus(), 2);
}

TEST(Rpc3Input, HeaderValuesAndByteOrder) {
  TempDir dir;
  Rpc3File f;
  f.channels = 3;
  f.frames = 5;
  f.dt = 0.002;
  f.standard_records();
  f.set("INT_FULL_SCALE", "-4");
  f.set("UNKNOWN_KEYWORD", "whatever");
  f.set("FRAMES", "1");
  f.records.push_back({"FRAMES", "5"}); // a keyword given twice: the last wins
  rpc3file_input in(f.write(dir.file("a.rsp")).c_str());
  Info before = info_of(in);
  EXPECT_EQ(before.channels + before.points, 0);
  EXPECT_EQ(before.dt, 0.0);
  EXPECT_STREQ(before.date, "");

  Info o = read_header(in);
  EXPECT_EQ(in.getStatus(), 0);
  EXPECT_EQ(o.channels, 3);
  EXPECT_EQ(o.points, 5 * 256);
  EXPECT_DOUBLE_EQ(o.dt, 0.002);
  EXPECT_STREQ(o.date, "Sat Dec  5 10:11:12 2026");
  EXPECT_EQ(in.getHeader().int_full_scale, 1);
  EXPECT_TRUE(P::native(in));
  int ch, pts;
  double dt;
  EXPECT_EQ(in.getInfo(ch, pts, dt, nullptr), 0);

  Rpc3File no_frame; // no PTS_PER_FRAME: frames are groups
  no_frame.frame = 0;
  no_frame.group = 1024;
  no_frame.frames = 2;
  rpc3file_input nf(no_frame.write(dir.file("nf.rsp")).c_str());
  EXPECT_EQ(read_header(nf).points, 2048);

  Rpc3File big;
  big.big_endian = true;
  EXPECT_FALSE(P::native(rpc3file_input(big.write(dir.file("b.rsp")).c_str())));
  big.format = "BINARY"; // anything else reads as little-endian
  EXPECT_TRUE(P::native(rpc3file_input(big.write(dir.file("c.rsp")).c_str())));
}

TEST(Rpc3Input, ChannelAttributes) {
  TempDir dir;
  Rpc3File f;
  f.channels = 3;
  f.standard_records();
  for (const char *k : {"DESC.CHAN_3", "UNITS.CHAN_3", "SCALE.CHAN_3"}) f.drop(k);
  f.records.push_back({"DEST.CHAN_2", "dest two"});        // later than DESC.CHAN_2: wins
  f.records.push_back({"DESC.CHAN_1", "second desc one"}); // a second DESC.CHAN_1 wins
  f.records.push_back({"MAP.CHAN_2", "  17"});
  f.records.push_back({"UPPER_LIMIT.CHAN_2", "2.5E+01"});
  f.records.push_back({"LOWER_LIMIT.CHAN_2", "-2.5E+01"});
  f.records.push_back({"SCALE.CHAN_9", "3.0"}); // beyond CHANNELS: skipped
  rpc3file_input in(f.write(dir.file("a.rsp")).c_str());
  read_header(in);
  EXPECT_EQ(in.getStatus(), 0);

  char desc[96], units[96];
  ASSERT_EQ(in.getAttributes(1, desc, units), 0);
  EXPECT_STREQ(desc, "second desc one");
  EXPECT_STREQ(units, "unit1");
  ASSERT_EQ(in.getAttributes(2, desc, units), 0);
  EXPECT_STREQ(desc, "dest two");
  const rpc_channel_timehistory &two = P::channel(in, 2), &three = P::channel(in, 3);
  EXPECT_EQ(two.map, 17);
  EXPECT_EQ(two.upper_limit, 25.0);
  EXPECT_EQ(two.lower_limit, -25.0);
  // A channel the header never mentions keeps the defaults.
  ASSERT_EQ(in.getAttributes(3, desc, units), 0);
  EXPECT_STREQ(desc, "");
  EXPECT_STREQ(units, "");
  EXPECT_EQ(three.scale, 1.0);
  EXPECT_EQ(three.map, 0);
  EXPECT_EQ(three.lower_limit, -1.0);
  EXPECT_EQ(three.upper_limit, 1.0);

  // Out of range: 9 and both buffers untouched; null buffers are skipped.
  std::strcpy(desc, "keep");
  std::strcpy(units, "keep");
  EXPECT_EQ(in.getAttributes(0, desc, units), 9);
  EXPECT_EQ(in.getAttributes(4, desc, units), 9);
  EXPECT_STREQ(desc, "keep");
  EXPECT_EQ(in.getAttributes(2, nullptr, units), 0);
  EXPECT_STREQ(units, "unit2");

  // A channel number below 1: status 5, nothing changes, reading goes on.
  f.records.push_back({"SCALE.CHAN_0", "7.0"});
  f.records.push_back({"DESC.CHAN_-1", "negative"});
  rpc3file_input bad(f.write(dir.file("b.rsp")).c_str());
  EXPECT_EQ(read_header(bad).channels, 3);
  EXPECT_EQ(bad.getStatus(), 5);
  EXPECT_EQ(P::channel(bad, 1).scale, 1.0);
  double v[10];
  EXPECT_EQ(bad.getData(1, 10, v), 10);
  EXPECT_EQ(v[3], f.expected(1, 3));
}

TEST(Rpc3Input, SizeCheckAndDataCutShort) {
  TempDir dir;
  Rpc3File fl;
  fl.floating = true;
  rpc3file_input ok(fl.write(dir.file("f.rsp")).c_str());
  read_header(ok);
  EXPECT_EQ(ok.getStatus(), 0);

  // One byte more or less, cut inside the second group, inside the first
  // frames: status 6; what the file holds is read, the rest reads as 0.
  for (int64_t change : {1, -1, -1500, -3000, -4000}) {
    Rpc3File f;
    f.size_change = change;
    rpc3file_input in(f.write(dir.file("a.rsp")).c_str());
    EXPECT_EQ(in.getStatus(), 0);
    Info o = read_header(in);
    EXPECT_EQ(in.getStatus(), 6) << change;
    if (change == -4000) {
      EXPECT_EQ(o.channels, 0); // not even the first frame of every channel
      continue;
    }
    std::vector<double> all(static_cast<size_t>(o.points));
    ASSERT_EQ(in.getData(2, all.data()), 0);
    const int64_t end = int64_t(f.image().size()), start = int64_t(f.header_image().size());
    for (int p = 0; p < o.points; ++p) {
      const int64_t at = start + ((p / 512) * 2 + 1) * 512 * 2 + (p % 512) * 2;
      ASSERT_EQ(all[size_t(p)], at + 2 <= end ? f.expected(2, p) : 0.0) << change << " " << p;
    }
  }
}

// Headers whose arithmetic cannot be carried out, or that claim more than
// the file holds, read as files without channels and points.
TEST(Rpc3Input, HostileHeadersAreRefusedWithoutHarm) {
  TempDir dir;
  struct Case {
    const char *name;
    std::function<void(Rpc3File &)> damage;
    int status;
  };
  const std::vector<Case> cases = {
      {"header blocks far beyond the file", [](Rpc3File &f) { f.num_header_blocks = "2000000000"; }, 6},
      {"negative header blocks", [](Rpc3File &f) { f.num_header_blocks = "-3"; f.num_params = "-20"; }, 5},
      {"channels far beyond the file", [](Rpc3File &f) { f.set("CHANNELS", "2000000000"); }, 6},
      {"no channels", [](Rpc3File &f) { f.set("CHANNELS", "0"); }, 5},
      {"negative channels", [](Rpc3File &f) { f.set("CHANNELS", "-2"); }, 5},
      {"no frame or group size", [](Rpc3File &f) { f.set("PTS_PER_FRAME", "0"); f.set("PTS_PER_GROUP", "-1"); }, 5},
      {"zero interval", [](Rpc3File &f) { f.set("DELTA_T", "0"); }, 5},
      {"undefined interval", [](Rpc3File &f) { f.set("DELTA_T", "nan"); }, 5},
      {"group not a multiple of the frame", [](Rpc3File &f) { f.set("PTS_PER_GROUP", "700"); }, 5},
      {"points per channel beyond int", [](Rpc3File &f) { f.set("FRAMES", "2000000000"); }, 5},
      {"frame far beyond the file", [](Rpc3File &f) { f.set("PTS_PER_FRAME", "1000000000"); f.set("PTS_PER_GROUP", "1000000000"); f.set("FRAMES", "1"); }, 6},
  };
  for (const Case &c : cases) {
    Rpc3File f;
    f.standard_records();
    c.damage(f);
    rpc3file_input in(f.write(dir.file("h.rsp")).c_str());
    Info o = read_header(in, 64);
    EXPECT_EQ(in.getStatus(), c.status) << c.name;
    EXPECT_EQ(o.channels + o.points, 0) << c.name;
    double v[5] = {1, 1, 1, 1, 1}, t[5];
    EXPECT_EQ(in.getData(1, 3, v), 0) << c.name;
    EXPECT_EQ(in.getData(1, v), 9) << c.name;
    EXPECT_EQ(in.getWindow(1, 0.0, t, v, 2), 9) << c.name;
  }

  // Far more frames than the file holds, but every channel's first frame is
  // there: read, the missing values as 0, memory bounded by the file.
  Rpc3File f;
  f.standard_records();
  f.set("FRAMES", "2000000");
  rpc3file_input in(f.write(dir.file("frames.rsp")).c_str());
  EXPECT_EQ(read_header(in, 64).channels, 2);
  EXPECT_EQ(in.getStatus(), 6);
  EXPECT_NE(P::mode(in), 1); // never held whole
  double t[5], v[5];
  EXPECT_EQ(in.getWindow(1, 1.0e6 * f.dt, t, v, 2), 0);
  EXPECT_EQ(v[0], 0.0);
}

TEST(Rpc3Input, FieldsWithoutNulStayInsideTheirBytes) {
  TempDir dir;
  Rpc3File f;
  f.standard_records();
  f.set("DESC.CHAN_1", std::string(96, 'd')); // 96 characters, no NUL
  std::vector<unsigned char> img = f.image();
  std::memset(&img[3 * 128], 'K', 32);        // record 3: keyword and value
  std::memset(&img[3 * 128 + 32], 'V', 96);   // without NUL (unknown keyword)
  zel_test::write_bytes(dir.file("a.rsp"), std::string(img.begin(), img.end()));
  rpc3file_input in(dir.file("a.rsp").c_str());
  read_header(in);
  EXPECT_EQ(in.getStatus(), 0);
  char desc[96];
  ASSERT_EQ(in.getAttributes(1, desc, nullptr), 0);
  EXPECT_EQ(std::string(desc), std::string(95, 'd'));
}
