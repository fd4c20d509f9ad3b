// The RPC III writer: the files it makes, byte by byte, and their reading
// back through the reader.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <string>
#include <vector>

#include "rpc/rpc3_format.h"
#include "tests/rpc/rpc_write_support.h"
#include "zel.h"

using rpcw_test::FileImage;
using rpcw_test::ScratchDir;
using rpcw_test::WriterEnvironment;

namespace {

// "%20.12E" as the C library prints it in the C locale: the oracle for
// every real of a written header.
std::string c_real(double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%20.12E", v);
  return buf;
}

struct Geometry {
  int frame, group, frames, groups;
};

class Rpc3Output : public ::testing::Test {
protected:
  // Writes a file of the given shape; store() may fill channels.
  template <typename Store>
  FileImage write(const std::string &path, int channels, int points, double dt, Store store) {
    {
      rpc3file_output w(path.c_str(), channels, points, dt);
      EXPECT_EQ(w.getStatus(), 0);
      store(w);
    }
    return FileImage::load(path);
  }
  FileImage write(const std::string &path, int channels, int points, double dt = 0.01) {
    return write(path, channels, points, dt, [](rpc3file_output &) {});
  }
  // Value of the record whose keyword is k (records 3 on), or "<none>".
  static std::string find(const FileImage &f, const std::string &k) {
    const int params = std::stoi(f.value(2));
    for (int r = 3; r < params; ++r)
      if (f.keyword(r) == k) return f.value(r);
    return "<none>";
  }
  static Geometry geometry(const FileImage &f) {
    return {std::stoi(find(f, "PTS_PER_FRAME")), std::stoi(find(f, "PTS_PER_GROUP")),
            std::stoi(find(f, "FRAMES")), 0};
  }
  static int64_t header_bytes(const FileImage &f) { return std::stoll(f.value(1)) * 512; }

  ScratchDir dir;
  WriterEnvironment env;
};

using Rpc3OutputHeader = Rpc3Output;
using Rpc3OutputGeometry = Rpc3Output;
using Rpc3OutputEnvironment = Rpc3Output;
using Rpc3OutputData = Rpc3Output;
using Rpc3OutputChannel = Rpc3Output;
using Rpc3OutputReadBack = Rpc3Output;

bool is_date(const std::string &d) {
  static const std::string days = "SunMonTueWedThuFriSat";
  static const std::string months = "JanFebMarAprMayJunJulAugSepOctNovDec";
  if (d.size() != 24) return false;
  const auto digit = [&](size_t i) { return d[i] >= '0' && d[i] <= '9'; };
  return days.find(d.substr(0, 3)) % 3 == 0 && d[3] == ' ' &&
         months.find(d.substr(4, 3)) % 3 == 0 && d[7] == ' ' &&
         (d[8] == ' ' || digit(8)) && digit(9) && d[10] == ' ' && digit(11) && digit(12) &&
         d[13] == ':' && digit(14) && digit(15) && d[16] == ':' && digit(17) && digit(18) &&
         d[19] == ' ' && digit(20) && digit(21) && digit(22) && digit(23);
}

} // namespace

TEST_F(Rpc3OutputHeader, OneChannelFileCarriesEveryRecordInItsExactText) {
  const std::string path = dir.file("run%d_1.rsp"); // a percent sign is written verbatim
  FileImage provisional;
  FileImage f = write(path, 1, 1000, 0.001, [&](rpc3file_output &) {
    provisional = FileImage::load(path);
  });

  const std::vector<std::pair<std::string, std::string>> expected = {
      {"FORMAT", "BINARY_IEEE_LITTLE_END"},
      {"NUM_HEADER_BLOCKS", "7"},
      {"NUM_PARAMS", "28"},
      {"KIVOR_RUN", path},
      {"KIVOR_STEPS", "1000"},
      {"DATA_TYPE", "SHORT_INTEGER"},
      {"DATE", f.value(6)},
      {"FILE_TYPE", "TIME_HISTORY"},
      {"OPERATION", "KIVOR QUORVANTEL I/O"},
      {"TIME_TYPE", "RESPONSE"},
      {"BYPASS_FILTER", "0"},
      {"CHANNELS", "1"},
      {"DELTA_T", "  1.000000000000E-03"},
      {"FRAMES", "1"},
      {"HALF_FRAMES", "0"},
      {"INT_FULL_SCALE", "32752"},
      {"PART.CHAN_1", "1"},
      {"PART.NCHAN_1", "1"},
      {"PARTITIONS", "1"},
      {"PTS_PER_FRAME", "1024"},
      {"PTS_PER_GROUP", "2048"},
      {"REPEATS", "0"},
      {"DESC.CHAN_1", "KIVOR SIMULATION COMPONENT"},
      {"UNITS.CHAN_1", "UNKNOWN"},
      {"MAP.CHAN_1", "1"},
      {"SCALE.CHAN_1", "  1.000000000000E+00"},
      {"UPPER_LIMIT.CHAN_1", "  1.000000000000E+00"},
      {"LOWER_LIMIT.CHAN_1", " -1.000000000000E+00"},
  };
  ASSERT_EQ(f.bytes.size(), 7u * 512 + 2048 * 2);
  for (size_t r = 0; r < expected.size(); ++r) {
    SCOPED_TRACE("record " + std::to_string(r));
    EXPECT_EQ(f.keyword(static_cast<int>(r)), expected[r].first);
    EXPECT_EQ(f.value(static_cast<int>(r)), expected[r].second);
    EXPECT_TRUE(f.clean(static_cast<int>(r)));
  }
  EXPECT_TRUE(is_date(f.value(6))) << f.value(6);

  // The provisional header is the final one before any channel is stored,
  // and the data section already has its final size, all zeros.
  EXPECT_EQ(provisional.bytes, f.bytes);
  EXPECT_TRUE(f.zero(7 * 512, static_cast<int64_t>(f.bytes.size())));
}

TEST_F(Rpc3OutputHeader, ChannelRecordsFollowInOrderAndUnusedRecordsStayZero) {
  FileImage f = write(dir.file("two.rsp"), 2, 100);
  EXPECT_EQ(f.value(1), "9");
  EXPECT_EQ(f.value(2), "34");
  ASSERT_EQ(f.bytes.size(), 9u * 512 + 1 * 2 * 2048 * 2);
  const char *fields[6] = {"DESC.CHAN_", "UNITS.CHAN_", "MAP.CHAN_", "SCALE.CHAN_",
                           "UPPER_LIMIT.CHAN_", "LOWER_LIMIT.CHAN_"};
  for (int n = 1; n <= 2; ++n)
    for (int i = 0; i < 6; ++i)
      EXPECT_EQ(f.keyword(22 + 6 * (n - 1) + i), fields[i] + std::to_string(n));
  EXPECT_EQ(f.value(30), "2"); // MAP.CHAN_2
  EXPECT_EQ(find(f, "CHANNELS"), "2");
  EXPECT_EQ(find(f, "PART.NCHAN_1"), "2");
  EXPECT_TRUE(f.zero(34 * 128, 36 * 128));

  // Channel counts below 1 give one channel.
  for (int channels : {0, -3}) {
    FileImage g = write(dir.file("none.rsp"), channels, 100);
    EXPECT_EQ(find(g, "CHANNELS"), "1");
    EXPECT_EQ(g.value(1), "7");
    EXPECT_EQ(g.value(2), "28");
    EXPECT_EQ(g.bytes.size(), 7u * 512 + 2048 * 2);
  }
}

TEST_F(Rpc3OutputHeader, RealsAreWrittenAsTheCLibraryPrintsThem) {
  const double values[] = {0.0, -0.0, 1.0, -2.0, 0.001, 1e-300, 5e-324,
                           1.7976931348623157e308, 123456789.123456789, -6.1064973131e-05,
                           2.0 / 32752, 1e100, -1e-100,
                           std::numeric_limits<double>::infinity(),
                           -std::numeric_limits<double>::infinity(),
                           std::numeric_limits<double>::quiet_NaN()};
  char text[zel::rpc3::kNumberBytes];
  for (double v : values) {
    zel::rpc3::format_real(text, v);
    EXPECT_EQ(std::string(text), c_real(v));
  }
  zel::rpc3::format_int(text, -2147483647 - 1);
  EXPECT_STREQ(text, "-2147483648");
}

TEST_F(Rpc3OutputHeader, TheCallersNumericLocaleDoesNotChangeTheDecimalPoint) {
  const char *locales[] = {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8"};
  bool switched = false;
  for (const char *l : locales)
    if (std::setlocale(LC_NUMERIC, l)) {
      switched = true;
      break;
    }
  if (!switched) GTEST_SKIP() << "no locale with a decimal comma installed";
  FileImage f = write(dir.file("locale.rsp"), 1, 10, 0.5);
  std::setlocale(LC_NUMERIC, "C");
  EXPECT_EQ(find(f, "DELTA_T"), "  5.000000000000E-01");
}

TEST_F(Rpc3OutputGeometry, FollowsTheAnnouncedPointCount) {
  struct Case {
    int points, frame, group, frames, groups;
  };
  const Case checked[] = {
      {1, 256, 2048, 1, 1},     {256, 256, 2048, 1, 1},   {257, 512, 2048, 1, 1},
      {512, 512, 2048, 1, 1},   {513, 1024, 2048, 1, 1},  {1000, 1024, 2048, 1, 1},
      {1025, 1024, 2048, 2, 1}, {2049, 1024, 2048, 3, 2}, {5000, 1024, 2048, 5, 3},
      {2000, 1024, 2048, 2, 1},
      // Counts below 1 are laid out as a count of 0: one frame of 256.
      {0, 256, 2048, 1, 1},     {-254, 256, 2048, 1, 1},  {-1000, 256, 2048, 1, 1},
      {INT_MIN, 256, 2048, 1, 1},
  };
  for (const Case &c : checked) {
    SCOPED_TRACE("points " + std::to_string(c.points));
    FileImage f = write(dir.file("g.rsp"), 3, c.points);
    const Geometry g = geometry(f);
    EXPECT_EQ(g.frame, c.frame);
    EXPECT_EQ(g.group, c.group);
    EXPECT_EQ(g.frames, c.frames);
    EXPECT_EQ(find(f, "KIVOR_STEPS"), std::to_string(c.points));
    EXPECT_EQ(static_cast<int64_t>(f.bytes.size()),
              header_bytes(f) + int64_t{c.groups} * 3 * c.group * 2);
  }
}

TEST_F(Rpc3OutputEnvironment, FramesPerGroupChoosesOneTwoOrFourFrames) {
  struct Case {
    const char *value;
    int points, group;
  };
  const Case cases[] = {{"1", 300, 512},    {"2", 300, 1024},  {"4", 300, 2048},
                        {"4.9", 300, 2048}, {"8", 300, 1024},  {"3", 300, 1024},
                        {"abc", 300, 1024}, {"", 300, 1024},   {"-1", 300, 1024},
                        {" 1e0", 300, 512}, {"1", 100, 256},   {"4", 5000, 4096}};
  for (const Case &c : cases) {
    SCOPED_TRACE(std::string("QEN_ZEL_FRAMESPERGROUP=") + c.value);
    env.frames_per_group(c.value);
    FileImage f = write(dir.file("k.rsp"), 2, c.points);
    const Geometry g = geometry(f);
    EXPECT_EQ(g.group, c.group);
    const int64_t groups = (g.frames - 1) / (g.group / g.frame) + 1;
    EXPECT_EQ(static_cast<int64_t>(f.bytes.size()), header_bytes(f) + groups * 2 * g.group * 2);
  }
  // Five frames of 1024 in groups of one frame: five groups.
  env.frames_per_group("1");
  FileImage f = write(dir.file("k1.rsp"), 2, 5000);
  EXPECT_EQ(f.bytes.size(), 9u * 512 + 5 * 2 * 1024 * 2);
}

TEST_F(Rpc3OutputEnvironment, FloatDataAndRepeatsAreReadAtConstruction) {
  env.float_data("");
  env.repeats("3.7");
  FileImage f = write(dir.file("f.rsp"), 2, 1000);
  EXPECT_EQ(find(f, "DATA_TYPE"), "FLOATING_POINT");
  EXPECT_EQ(find(f, "REPEATS"), "3");
  EXPECT_EQ(f.bytes.size(), 9u * 512 + 2 * 2048 * 4);

  for (auto [value, repeats] : {std::pair<const char *, const char *>{"-2.9", "-2"},
                                {"x", "0"}, {"12", "12"}, {nullptr, "0"}}) {
    env.repeats(value);
    EXPECT_EQ(find(write(dir.file("r.rsp"), 1, 10), "REPEATS"), repeats);
  }

  // Changes after construction do not reach the writer.
  env.float_data(nullptr);
  const std::string path = dir.file("late.rsp");
  {
    rpc3file_output w(path.c_str(), 1, 10, 0.1);
    env.float_data("1");
    env.repeats("5");
  }
  FileImage late = FileImage::load(path);
  EXPECT_EQ(find(late, "DATA_TYPE"), "SHORT_INTEGER");
  EXPECT_EQ(find(late, "REPEATS"), "0");
  EXPECT_EQ(late.bytes.size(), 7u * 512 + 2048 * 2);
}

TEST_F(Rpc3OutputData, IntegersAreScaledToFullScaleAndTruncatedTowardZero) {
  const double samples[] = {1.0, -2.0, 0.5};
  FileImage f = write(dir.file("s.rsp"), 1, 3, 0.01, [&](rpc3file_output &w) {
    EXPECT_EQ(w.setChannel(1, 3, samples, "force", "N"), 0);
  });
  const double scale = 2.0 / 32752;
  EXPECT_EQ(find(f, "SCALE.CHAN_1"), c_real(scale));
  EXPECT_EQ(find(f, "UPPER_LIMIT.CHAN_1"), c_real(1.0));
  EXPECT_EQ(find(f, "LOWER_LIMIT.CHAN_1"), c_real(-2.0));
  EXPECT_EQ(find(f, "DESC.CHAN_1"), "force");
  EXPECT_EQ(find(f, "UNITS.CHAN_1"), "N");
  const int64_t h = header_bytes(f);
  EXPECT_EQ(f.short_at(h + 0), 16376);
  EXPECT_EQ(f.short_at(h + 2), -32752);
  EXPECT_EQ(f.short_at(h + 4), 8188);
  for (int p = 3; p < 256; ++p) ASSERT_EQ(f.short_at(h + 2 * p), 8188) << p; // last one repeated
  EXPECT_TRUE(f.zero(h + 256 * 2, h + 2048 * 2));                             // padding

  // Quotients with a fraction lose it toward zero on both sides.
  const double thirds[] = {3.0, 1.0, -1.0};
  FileImage t = write(dir.file("t.rsp"), 1, 3, 0.01, [&](rpc3file_output &w) {
    EXPECT_EQ(w.setChannel(1, 3, thirds, nullptr, nullptr), 0);
  });
  const int64_t ht = header_bytes(t);
  EXPECT_EQ(t.short_at(ht + 2), 10917); // 1 / (3 / 32752) = 10917.33
  EXPECT_EQ(t.short_at(ht + 4), -10917);
  EXPECT_EQ(t.short_at(ht + 0), static_cast<int16_t>(3.0 / (3.0 / 32752)));
}

TEST_F(Rpc3OutputData, FloatsAreStoredUnscaledWhileTheScaleIsStillWritten) {
  env.float_data("yes");
  const double samples[] = {1.0, -2.0, 0.5, 0.1};
  FileImage f = write(dir.file("fl.rsp"), 1, 4, 0.01, [&](rpc3file_output &w) {
    EXPECT_EQ(w.setChannel(1, 4, samples, nullptr, nullptr), 0);
  });
  EXPECT_EQ(find(f, "SCALE.CHAN_1"), c_real(2.0 / 32752));
  const int64_t h = header_bytes(f);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(f.float_at(h + 4 * i), static_cast<float>(samples[i]));
  EXPECT_EQ(f.float_at(h + 4 * 255), 0.1f);
  EXPECT_TRUE(f.zero(h + 256 * 4, h + 2048 * 4));
}

TEST_F(Rpc3OutputData, ZeroChannelsExtraSamplesAndNonFiniteSamples) {
  const std::vector<double> zeros(50, 0.0);
  std::vector<double> extra(300, 1.0);
  extra[100] = -4.0;
  extra[280] = 1000.0; // beyond the 256 points of the file: ignored
  const double odd[] = {1.0, std::numeric_limits<double>::infinity(), -3.0,
                        std::numeric_limits<double>::quiet_NaN()};
  FileImage f = write(dir.file("z.rsp"), 3, 200, 0.01, [&](rpc3file_output &w) {
    EXPECT_EQ(w.setChannel(1, 50, zeros.data(), nullptr, nullptr), 0);
    EXPECT_EQ(w.setChannel(2, 300, extra.data(), nullptr, nullptr), 0);
    EXPECT_EQ(w.setChannel(3, 4, odd, nullptr, nullptr), 0);
  });
  EXPECT_EQ(find(f, "SCALE.CHAN_1"), "  0.000000000000E+00");
  EXPECT_EQ(find(f, "UPPER_LIMIT.CHAN_1"), "  0.000000000000E+00");
  EXPECT_EQ(find(f, "LOWER_LIMIT.CHAN_1"), "  0.000000000000E+00");
  const int64_t h = header_bytes(f), run = 2048 * 2;
  EXPECT_TRUE(f.zero(h, h + run));

  EXPECT_EQ(find(f, "SCALE.CHAN_2"), c_real(4.0 / 32752));
  EXPECT_EQ(find(f, "UPPER_LIMIT.CHAN_2"), c_real(1.0));
  EXPECT_EQ(find(f, "LOWER_LIMIT.CHAN_2"), c_real(-4.0));
  EXPECT_EQ(f.short_at(h + run + 100 * 2), -32752);
  EXPECT_EQ(f.short_at(h + run + 255 * 2), 8188);
  EXPECT_TRUE(f.zero(h + run + 256 * 2, h + 2 * run));

  // An infinite extreme: every finite sample divides to 0, the infinity to
  // NaN, stored as 0; the limits and scale print as the C library does.
  EXPECT_EQ(find(f, "UPPER_LIMIT.CHAN_3"), c_real(std::numeric_limits<double>::infinity()));
  EXPECT_EQ(find(f, "SCALE.CHAN_3"), c_real(std::numeric_limits<double>::infinity()));
  EXPECT_TRUE(f.zero(h + 2 * run, h + 3 * run));
}

TEST_F(Rpc3OutputData, ChannelRunsLandInTheirGroups) {
  // 5000 points: F 1024, K 2, 5 frames in 3 groups of 2048, 2 channels.
  std::vector<double> ramp(5000);
  for (int i = 0; i < 5000; ++i) ramp[i] = i + 1;
  const std::string path = dir.file("runs.rsp");
  FileImage f = write(path, 2, 5000, 0.01, [&](rpc3file_output &w) {
    EXPECT_EQ(w.setChannel(2, 5000, ramp.data(), nullptr, nullptr), 0);
  });
  const int64_t h = header_bytes(f), run = 2048 * 2;
  ASSERT_EQ(static_cast<int64_t>(f.bytes.size()), h + 3 * 2 * run);
  const double scale = 5000.0 / 32752;
  for (int p = 0; p < 5120; ++p) {
    const double x = ramp[p < 5000 ? p : 4999];
    const int64_t at = h + ((p / 2048) * 2 + 1) * run + (p % 2048) * 2;
    ASSERT_EQ(f.short_at(at), static_cast<int16_t>(x / scale)) << p;
  }
  for (int g = 0; g < 3; ++g) EXPECT_TRUE(f.zero(h + 2 * g * run, h + (2 * g + 1) * run)); // channel 1
  EXPECT_TRUE(f.zero(h + 5 * run + 1024 * 2, h + 6 * run)); // padding of the last group
}

TEST_F(Rpc3OutputChannel, RefusedCallsChangeNothingAndTextsPersist) {
  const double one[] = {5.0};
  const double two[] = {-1.0, 2.0};
  const std::string long_text(120, 'd');
  FileImage f = write(dir.file("c.rsp"), 3, 10, 0.01, [&](rpc3file_output &w) {
    EXPECT_EQ(w.setChannel(0, 1, one, "x", "y"), ZEL_RPC_CHANNEL_RANGE);
    EXPECT_EQ(w.setChannel(4, 1, one, "x", "y"), ZEL_RPC_CHANNEL_RANGE);
    EXPECT_EQ(w.setChannel(1, 0, one, "x", "y"), ZEL_RPC_CHANNEL_RANGE);
    EXPECT_EQ(w.setChannel(1, -5, one, "x", "y"), ZEL_RPC_CHANNEL_RANGE);
    EXPECT_EQ(w.setChannel(1, 1, nullptr, "x", "y"), ZEL_RPC_CHANNEL_RANGE);
    EXPECT_EQ(w.setChannel(2, 1, one, "first", long_text.c_str()), 0);
    EXPECT_EQ(w.setChannel(2, 2, two, nullptr, nullptr), 0); // overwrites data, keeps texts
    EXPECT_EQ(w.getStatus(), 0);
  });
  // Channel 1 was never stored, channel 3 neither.
  for (const char *n : {"1", "3"}) {
    EXPECT_EQ(find(f, std::string("DESC.CHAN_") + n), "KIVOR SIMULATION COMPONENT");
    EXPECT_EQ(find(f, std::string("UNITS.CHAN_") + n), "UNKNOWN");
    EXPECT_EQ(find(f, std::string("SCALE.CHAN_") + n), c_real(1.0));
    EXPECT_EQ(find(f, std::string("UPPER_LIMIT.CHAN_") + n), c_real(1.0));
    EXPECT_EQ(find(f, std::string("LOWER_LIMIT.CHAN_") + n), c_real(-1.0));
  }
  EXPECT_EQ(find(f, "MAP.CHAN_3"), "3");
  EXPECT_EQ(find(f, "DESC.CHAN_2"), "first");
  EXPECT_EQ(find(f, "UNITS.CHAN_2"), long_text.substr(0, 95)); // cut to the value field
  EXPECT_EQ(find(f, "UPPER_LIMIT.CHAN_2"), c_real(2.0));
  EXPECT_EQ(find(f, "LOWER_LIMIT.CHAN_2"), c_real(-1.0));
  const int64_t h = header_bytes(f), run = 2048 * 2;
  EXPECT_TRUE(f.zero(h, h + run));
  EXPECT_TRUE(f.zero(h + 2 * run, h + 3 * run));
  EXPECT_EQ(f.short_at(h + run), -16376);
  EXPECT_EQ(f.short_at(h + run + 2), 32752);
}

TEST_F(Rpc3OutputChannel, LongNamesAreCutInTheHeaderOnly) {
  const std::string name = dir.file(std::string(150, 'n') + ".rsp");
  FileImage f = write(name, 1, 10);
  ASSERT_FALSE(f.bytes.empty()); // created under its full name
  EXPECT_EQ(f.value(3), name.substr(0, 95));
  EXPECT_TRUE(f.clean(3));
}

TEST_F(Rpc3OutputChannel, FailedConstructionLeavesNoFile) {
  const std::string missing = dir.file("no/such/dir/x.rsp");
  {
    rpc3file_output w(missing.c_str(), 1, 10, 0.1);
    EXPECT_EQ(w.getStatus(), ZEL_RPC_CREATE_FAILED);
    const double one[] = {1.0};
    EXPECT_EQ(w.setChannel(1, 1, one, nullptr, nullptr), ZEL_RPC_CREATE_FAILED);
  }
  EXPECT_FALSE(std::filesystem::exists(missing));

  // A channel count whose header could never be held: out of memory, and
  // the file it had created is gone again.
  const std::string huge = dir.file("huge.rsp");
  {
    rpc3file_output w(huge.c_str(), INT_MAX, 10, 0.1);
    EXPECT_EQ(w.getStatus(), ZEL_RPC_OUT_OF_MEMORY);
    const double one[] = {1.0};
    EXPECT_EQ(w.setChannel(1, 1, one, nullptr, nullptr), ZEL_RPC_OUT_OF_MEMORY);
  }
  EXPECT_FALSE(std::filesystem::exists(huge));
}

TEST_F(Rpc3OutputReadBack, TheReaderReadsEveryWrittenFile) {
  for (bool floats : {false, true}) {
    for (const char *k : {static_cast<const char *>(nullptr), "1"}) {
      SCOPED_TRACE(std::string(floats ? "float" : "integer") + (k ? " K=1" : ""));
      env.float_data(floats ? "" : nullptr);
      env.frames_per_group(k);
      const int channels = 3, points = 5000;
      std::vector<std::vector<double>> data(channels, std::vector<double>(points));
      for (int c = 0; c < channels; ++c)
        for (int i = 0; i < points; ++i) data[c][i] = (c + 1) * std::sin(i * 0.01 + c) - 0.25 * c;
      const std::string path = dir.file("rb.rsp");
      write(path, channels, points, 0.002, [&](rpc3file_output &w) {
        for (int c = channels; c >= 1; --c)
          EXPECT_EQ(w.setChannel(c, points, data[c - 1].data(), ("ch" + std::to_string(c)).c_str(),
                                 "mm"), 0);
      });
      const std::string written_date = FileImage::load(path).value(6);

      rpc3file_input r(path.c_str());
      ASSERT_EQ(r.getStatus(), 0);
      r.initRead(0);
      EXPECT_EQ(r.getStatus(), 0); // the size check passes
      int ch = 0, n = 0;
      double dt = 0;
      char date[96];
      r.getInfo(ch, n, dt, date);
      EXPECT_EQ(ch, channels);
      EXPECT_EQ(n, 5120);
      EXPECT_EQ(dt, 0.002);
      EXPECT_EQ(std::string(date), written_date);
      std::vector<double> got(static_cast<size_t>(n));
      for (int c = 1; c <= channels; ++c) {
        char desc[96], units[96];
        ASSERT_EQ(r.getAttributes(c, desc, units), 0);
        EXPECT_EQ(std::string(desc), "ch" + std::to_string(c));
        EXPECT_EQ(std::string(units), "mm");
        ASSERT_EQ(r.getData(c, got.data()), 0);
        double largest = 0;
        for (double x : data[c - 1]) largest = std::max(largest, std::fabs(x));
        // The writer divides by the exact scale; the reader multiplies by
        // the scale as its header text gives it.
        const double scale = largest / 32752;
        const double header_scale = std::strtod(c_real(scale).c_str(), nullptr);
        for (int i = 0; i < n; ++i) {
          const double x = data[c - 1][i < points ? i : points - 1];
          const double want = floats ? static_cast<double>(static_cast<float>(x))
                                     : std::trunc(x / scale) * header_scale;
          ASSERT_EQ(got[i], want) << "channel " << c << " point " << i;
        }
      }
    }
  }
}
