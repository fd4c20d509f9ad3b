// Opening RPC III files: the quick validity rules, header parsing, channel
// attributes, the size check and hostile headers.
#include <gtest/gtest.h>

#include <cstring>
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

struct Opened {
  int channels = -1, points = -1;
  double dt = -1;
  char date[96] = "x";
  int status = -1;
};

Opened open_and_read(rpc3file_input &in, int budget = 0) {
  Opened o;
  in.initRead(budget);
  in.getInfo(o.channels, o.points, o.dt, o.date);
  o.status = in.getStatus();
  return o;
}

} // namespace

TEST(Rpc3Input, QuickValidityRules) {
  TempDir dir;
  {
    rpc3file_input missing(dir.file("none.rsp").c_str());
    EXPECT_EQ(missing.getStatus(), 1);
    EXPECT_FALSE(missing.validFile());
    EXPECT_FALSE(P::is_open(missing));
  }
  zel_test::write_bytes(dir.file("text.txt"), "just some text, long enough to fill a record or two\n");
  EXPECT_EQ(rpc3file_input(dir.file("text.txt").c_str()).getStatus(), 2);

  Rpc3File f;
  f.write(dir.file("ok.rsp"));
  rpc3file_input ok(dir.file("ok.rsp").c_str());
  EXPECT_EQ(ok.getStatus(), 0);
  EXPECT_TRUE(ok.validFile());

  Rpc3File too_many;
  too_many.num_header_blocks = "7";
  too_many.num_params = "29";
  EXPECT_EQ(rpc3file_input(too_many.write(dir.file("p29.rsp")).c_str()).getStatus(), 5);
  too_many.num_params = "28";
  EXPECT_EQ(rpc3file_input(too_many.write(dir.file("p28.rsp")).c_str()).getStatus(), 0);

  // Status 5 replaces status 2 when both rules fail.
  Rpc3File both;
  both.num_header_blocks = "1";
  both.num_params = "5";
  std::vector<unsigned char> img = (both.standard_records(), both.header_image());
  std::memcpy(&img[0], "FORMAT ", 7); // keywords are not trimmed
  zel_test::write_bytes(dir.file("both.rsp"), std::string(img.begin(), img.end()));
  rpc3file_input b(dir.file("both.rsp").c_str());
  EXPECT_EQ(b.getStatus(), 5);
  EXPECT_FALSE(b.validFile());

  // Fewer than 384 bytes cannot hold the first three records.
  Rpc3File full;
  full.standard_records();
  std::vector<unsigned char> head = full.header_image();
  zel_test::write_bytes(dir.file("short.rsp"), std::string(head.begin(), head.begin() + 383));
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
  f.set("REPEATS", "3");
  f.set("UNKNOWN_KEYWORD", "whatever");
  f.set("FRAMES", "1");
  f.set("FRAMES", "5");   // a keyword given twice takes its last value
  f.records.push_back({"FRAMES", "5"});
  rpc3file_input in(f.write(dir.file("a.rsp")).c_str());
  Opened before;
  in.getInfo(before.channels, before.points, before.dt, before.date);
  EXPECT_EQ(before.channels, 0);
  EXPECT_EQ(before.points, 0);
  EXPECT_EQ(before.dt, 0.0);
  EXPECT_STREQ(before.date, "");

  Opened o = open_and_read(in);
  EXPECT_EQ(o.status, 0);
  EXPECT_EQ(o.channels, 3);
  EXPECT_EQ(o.points, 5 * 256);
  EXPECT_DOUBLE_EQ(o.dt, 0.002);
  EXPECT_STREQ(o.date, "Sat Dec  5 10:11:12 2026");
  EXPECT_EQ(P::header(in).int_full_scale, 1);
  EXPECT_EQ(P::header(in).repeats, 3);
  EXPECT_TRUE(P::native(in));

  int ch, pts;
  double dt;
  EXPECT_EQ(in.getInfo(ch, pts, dt, nullptr), 0);
  EXPECT_EQ(pts, 1280);

  Rpc3File big;
  big.format = "BINARY_IEEE_BIG_END";
  EXPECT_FALSE(P::native(rpc3file_input(big.write(dir.file("b.rsp")).c_str())));
  Rpc3File other;
  other.format = "BINARY";
  EXPECT_TRUE(P::native(rpc3file_input(other.write(dir.file("c.rsp")).c_str())));
}

TEST(Rpc3Input, ChannelAttributes) {
  TempDir dir;
  Rpc3File f;
  f.channels = 3;
  f.standard_records();
  f.drop("DESC.CHAN_3");
  f.drop("UNITS.CHAN_3");
  f.drop("SCALE.CHAN_3");
  f.records.push_back({"DEST.CHAN_2", "dest two"});        // later than DESC.CHAN_2: wins
  f.records.push_back({"DESC.CHAN_1", "second desc one"}); // second DESC.CHAN_1 wins
  f.records.push_back({"MAP.CHAN_2", "  17"});
  f.records.push_back({"UPPER_LIMIT.CHAN_2", "2.5E+01"});
  f.records.push_back({"LOWER_LIMIT.CHAN_2", "-2.5E+01"});
  f.records.push_back({"SCALE.CHAN_9", "3.0"}); // beyond CHANNELS: skipped
  rpc3file_input in(f.write(dir.file("a.rsp")).c_str());
  EXPECT_EQ(open_and_read(in).status, 0);

  char desc[96], units[96];
  ASSERT_EQ(in.getAttributes(1, desc, units), 0);
  EXPECT_STREQ(desc, "second desc one");
  EXPECT_STREQ(units, "unit1");
  ASSERT_EQ(in.getAttributes(2, desc, units), 0);
  EXPECT_STREQ(desc, "dest two");
  EXPECT_EQ(P::channel(in, 2).map, 17);
  EXPECT_EQ(P::channel(in, 2).upper_limit, 25.0);
  EXPECT_EQ(P::channel(in, 2).lower_limit, -25.0);

  // A channel the header never mentions keeps the defaults.
  std::strcpy(desc, "keep");
  ASSERT_EQ(in.getAttributes(3, desc, units), 0);
  EXPECT_STREQ(desc, "");
  EXPECT_STREQ(units, "");
  EXPECT_EQ(P::channel(in, 3).scale, 1.0);
  EXPECT_EQ(P::channel(in, 3).map, 0);
  EXPECT_EQ(P::channel(in, 3).lower_limit, -1.0);
  EXPECT_EQ(P::channel(in, 3).upper_limit, 1.0);

  // Out of range: 9 and both buffers untouched; null buffers are skipped.
  std::strcpy(desc, "keep");
  std::strcpy(units, "keep");
  EXPECT_EQ(in.getAttributes(0, desc, units), 9);
  EXPECT_EQ(in.getAttributes(4, desc, units), 9);
  EXPECT_STREQ(desc, "keep");
  EXPECT_STREQ(units, "keep");
  EXPECT_EQ(in.getAttributes(2, nullptr, units), 0);
  EXPECT_STREQ(units, "unit2");
}

TEST(Rpc3Input, ChannelNumberBelowOneSetsStatusFiveAndChangesNothing) {
  TempDir dir;
  Rpc3File f;
  f.standard_records();
  f.records.push_back({"SCALE.CHAN_0", "7.0"});
  f.records.push_back({"DESC.CHAN_-1", "negative"});
  rpc3file_input in(f.write(dir.file("a.rsp")).c_str());
  Opened o = open_and_read(in);
  EXPECT_EQ(o.status, 5);
  EXPECT_EQ(o.channels, 2); // reading goes on
  EXPECT_EQ(P::channel(in, 1).scale, 1.0);
  double v[10];
  EXPECT_EQ(in.getData(1, 10, v), 10);
  EXPECT_EQ(v[3], f.expected(1, 3));
}

TEST(Rpc3Input, SizeCheck) {
  TempDir dir;
  for (int change : {-1, 1}) {
    Rpc3File f;
    f.size_change = change;
    rpc3file_input in(f.write(dir.file("a.rsp")).c_str());
    EXPECT_EQ(in.getStatus(), 0);
    Opened o = open_and_read(in);
    EXPECT_EQ(o.status, 6) << change;
    std::vector<double> all(size_t(o.points));
    ASSERT_EQ(in.getData(2, all.data()), 0);
    for (int p = 0; p < o.points; ++p) ASSERT_EQ(all[size_t(p)], f.expected(2, p)) << p;
  }
  Rpc3File fl;
  fl.floating = true;
  rpc3file_input in(fl.write(dir.file("f.rsp")).c_str());
  EXPECT_EQ(open_and_read(in).status, 0);
}

TEST(Rpc3Input, MissingFrameSizeTakesTheGroup) {
  TempDir dir;
  Rpc3File f;
  f.frame = 0;
  f.group = 1024;
  f.frames = 2;
  rpc3file_input in(f.write(dir.file("a.rsp")).c_str());
  Opened o = open_and_read(in);
  EXPECT_EQ(o.status, 0);
  EXPECT_EQ(o.points, 2048);
  EXPECT_EQ(P::header(in).pts_per_frame, 1024);
  std::vector<double> all(2048);
  in.getData(1, all.data());
  EXPECT_EQ(all[1500], f.expected(1, 1500));
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
      {"points per channel beyond int", [](Rpc3File &f) { f.set("FRAMES", "2000000000"); f.set("PTS_PER_FRAME", "1024"); f.set("PTS_PER_GROUP", "2048"); }, 5},
      {"frame size far beyond the file", [](Rpc3File &f) { f.set("PTS_PER_FRAME", "1000000000"); f.set("PTS_PER_GROUP", "1000000000"); f.set("FRAMES", "1"); }, 6},
      {"huge frame count", [](Rpc3File &f) { f.set("FRAMES", "2000000"); }, 6},
  };
  for (const Case &c : cases) {
    Rpc3File f;
    f.standard_records();
    c.damage(f);
    rpc3file_input in(f.write(dir.file("h.rsp")).c_str());
    Opened o = open_and_read(in, 64);
    EXPECT_EQ(o.status, c.status) << c.name;
    if (std::string(c.name) == "huge frame count") {
      // Claims far more than it holds but every channel's first frame is
      // there: read, with zeros for what is missing.
      EXPECT_EQ(o.channels, 2) << c.name;
      double v[4];
      EXPECT_EQ(in.getData(1, 4, v), 4);
      std::vector<double> far(10);
      EXPECT_EQ(in.getWindow(1, 1.0e6 * f.dt, far.data(), far.data(), 2), 0);
      EXPECT_EQ(far[0], 0.0);
      continue;
    }
    EXPECT_EQ(o.channels, 0) << c.name;
    EXPECT_EQ(o.points, 0) << c.name;
    double v[5] = {1, 1, 1, 1, 1}, t[5];
    EXPECT_EQ(in.getData(1, 3, v), 0) << c.name;
    EXPECT_EQ(in.getData(1, v), 9) << c.name;
    EXPECT_EQ(in.getWindow(1, 0.0, t, v, 2), 9) << c.name;
    EXPECT_EQ(in.getAttributes(1, nullptr, nullptr), 9) << c.name;
  }
}

TEST(Rpc3Input, FieldsWithoutNulAndCutFilesStayInsideTheirBytes) {
  TempDir dir;
  Rpc3File f;
  f.standard_records();
  std::vector<unsigned char> img = f.image();
  // Record 3 (DATA_TYPE) gets a keyword and a value filling their fields.
  std::memset(&img[3 * 128], 'K', 32);
  std::memset(&img[3 * 128 + 32], 'V', 96);
  zel_test::write_bytes(dir.file("a.rsp"), std::string(img.begin(), img.end()));
  rpc3file_input in(dir.file("a.rsp").c_str());
  EXPECT_EQ(open_and_read(in).status, 0);

  // A DESC value of 96 characters without NUL is cut to 95.
  Rpc3File g;
  g.standard_records();
  g.set("DESC.CHAN_1", std::string(96, 'd'));
  rpc3file_input in2(g.write(dir.file("b.rsp")).c_str());
  open_and_read(in2);
  char desc[96];
  ASSERT_EQ(in2.getAttributes(1, desc, nullptr), 0);
  EXPECT_EQ(std::string(desc), std::string(95, 'd'));

  // Data cut inside the second group and inside the first frames.
  for (int64_t cut : {-1500, -3000, -4000}) {
    Rpc3File h;
    h.size_change = cut;
    rpc3file_input in3(h.write(dir.file("c.rsp")).c_str());
    Opened o = open_and_read(in3);
    EXPECT_EQ(o.status, 6);
    if (o.channels == 0) continue; // not even one frame of every channel
    std::vector<double> all(size_t(o.points));
    ASSERT_EQ(in3.getData(2, all.data()), 0);
    const int64_t file_end = int64_t(h.image().size());
    for (int p = 0; p < o.points; ++p) {
      const int64_t at = int64_t(h.header_image().size()) +
                         ((p / 512) * 2 + 1) * 512 * 2 + (p % 512) * 2;
      ASSERT_EQ(all[size_t(p)], at + 2 <= file_end ? h.expected(2, p) : 0.0) << cut << " " << p;
    }
  }
}
