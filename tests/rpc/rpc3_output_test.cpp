// The RPC III writer: the files it makes, byte by byte, and their reading
// back through the reader.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <limits>
#include <map>
#include <regex>
#include <string>
#include <tuple>
#include <vector>

#include "rpc/rpc3_format.h"
#include "tests/rpc/rpc_write_support.h"
#include "zel.h"

using rpcw_test::FileImage;

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr int64_t kRun = 2048 * 2; // one channel's run in a group of 2048 short integers

// "%20.12E" as the C library prints it in the C locale: the oracle for
// every real of a written header.
std::string c_real(double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%20.12E", v);
  return buf;
}

struct Channel {
  std::string desc = "KIVOR SIMULATION COMPONENT", units = "UNKNOWN";
  double scale = 1.0, upper = 1.0, lower = -1.0;
};

// The header a file should carry: every record of its header blocks as
// "KEYWORD=value", unused records as "=".
struct Header {
  std::string run, date;
  int steps = 10, frame = 256, group = 2048, frames = 1;
  double dt = 0.01;
  std::vector<Channel> ch = std::vector<Channel>(1);
  std::string type = "SHORT_INTEGER", repeats = "0";

  std::vector<std::string> records() const {
    const auto s = [](int64_t v) { return std::to_string(v); };
    const int params = 22 + 6 * static_cast<int>(ch.size());
    std::vector<std::string> r = {
        "FORMAT=BINARY_IEEE_LITTLE_END", "NUM_HEADER_BLOCKS=" + s((params + 3) / 4),
        "NUM_PARAMS=" + s(params), "KIVOR_RUN=" + run, "KIVOR_STEPS=" + s(steps),
        "DATA_TYPE=" + type, "DATE=" + date, "FILE_TYPE=TIME_HISTORY",
        "OPERATION=KIVOR QUORVANTEL I/O", "TIME_TYPE=RESPONSE", "BYPASS_FILTER=0",
        "CHANNELS=" + s(ch.size()), "DELTA_T=" + c_real(dt), "FRAMES=" + s(frames),
        "HALF_FRAMES=0", "INT_FULL_SCALE=32752", "PART.CHAN_1=1", "PART.NCHAN_1=" + s(ch.size()),
        "PARTITIONS=1", "PTS_PER_FRAME=" + s(frame), "PTS_PER_GROUP=" + s(group),
        "REPEATS=" + repeats};
    for (size_t n = 1; n <= ch.size(); ++n) {
      const Channel &c = ch[n - 1];
      const std::string k = ".CHAN_" + s(n) + "=";
      r.insert(r.end(), {"DESC" + k + c.desc, "UNITS" + k + c.units, "MAP" + k + s(n),
                         "SCALE" + k + c_real(c.scale), "UPPER_LIMIT" + k + c_real(c.upper),
                         "LOWER_LIMIT" + k + c_real(c.lower)});
    }
    r.resize((params + 3) / 4 * 4, "=");
    return r;
  }
};

// The records of a file's header blocks in the same form; a record with
// bytes other than NUL after its texts is marked.
std::vector<std::string> records(const FileImage &f) {
  std::vector<std::string> r;
  for (int i = 0; i < std::stoi(f.value(1)) * 4; ++i)
    r.push_back(f.keyword(i) + "=" + f.value(i) + (f.clean(i) ? "" : " <dirty>"));
  return r;
}

std::map<std::string, std::string> fields(const FileImage &f) {
  std::map<std::string, std::string> m;
  for (int i = 0; i < std::stoi(f.value(2)); ++i) m[f.keyword(i)] = f.value(i);
  return m;
}

class Rpc3Output : public ::testing::Test {
protected:
  // Writes a file of the given shape; store() may fill channels.
  template <typename Store = void (*)(rpc3file_output &)>
  FileImage write(const std::string &path, int channels, int points, double dt = 0.01,
                  Store store = [](rpc3file_output &) {}) {
    {
      rpc3file_output w(path.c_str(), channels, points, dt);
      EXPECT_EQ(w.getStatus(), 0);
      store(w);
    }
    return FileImage::load(path);
  }

  rpcw_test::ScratchDir dir;
  rpcw_test::WriterEnvironment env;
};

} // namespace

TEST_F(Rpc3Output, HeaderAndGeometryFollowTheAnnouncedShape) {
  struct Case {
    std::string name;
    int channels, points, frame, frames;
    size_t size;
  };
  const std::string g = "g.rsp";
  const Case cases[] = {
      {"run%d_1.rsp", 1, 1000, 1024, 1, 7 * 512 + kRun}, // a percent sign is verbatim
      {std::string(150, 'n') + ".rsp", 1, 10, 256, 1, 7 * 512 + kRun}, // cut in the header only
      {"two.rsp", 2, 100, 256, 1, 9 * 512 + 2 * kRun},
      {"zero.rsp", 0, 100, 256, 1, 7 * 512 + kRun}, // counts below 1 give one channel
      {"neg.rsp", -3, 300, 512, 1, 7 * 512 + kRun},
      {g, 3, 1, 256, 1, 10 * 512 + 3 * kRun},     {g, 3, 256, 256, 1, 10 * 512 + 3 * kRun},
      {g, 3, 257, 512, 1, 10 * 512 + 3 * kRun},   {g, 3, 512, 512, 1, 10 * 512 + 3 * kRun},
      {g, 3, 513, 1024, 1, 10 * 512 + 3 * kRun},  {g, 3, 1025, 1024, 2, 10 * 512 + 3 * kRun},
      {g, 3, 2000, 1024, 2, 10 * 512 + 3 * kRun}, {g, 3, 2049, 1024, 3, 10 * 512 + 6 * kRun},
      {g, 3, 5000, 1024, 5, 10 * 512 + 9 * kRun},
      // Counts below 1 are laid out as a count of 0: one frame of 256.
      {g, 3, 0, 256, 1, 10 * 512 + 3 * kRun},     {g, 3, -1000, 256, 1, 10 * 512 + 3 * kRun},
      {g, 3, INT_MIN, 256, 1, 10 * 512 + 3 * kRun}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name + " " + std::to_string(c.channels) + " " + std::to_string(c.points));
    const std::string path = dir.file(c.name);
    FileImage provisional;
    FileImage f = write(path, c.channels, c.points, 0.001,
                        [&](rpc3file_output &) { provisional = FileImage::load(path); });
    Header h{path.substr(0, 95), f.value(6), c.points, c.frame, 2048, c.frames, 0.001};
    h.ch.resize(static_cast<size_t>(std::max(c.channels, 1)));
    EXPECT_EQ(records(f), h.records());
    ASSERT_EQ(f.bytes.size(), c.size);
    // Before any channel is stored the header is the final one and the data
    // section has its final size, all zeros.
    EXPECT_EQ(provisional.bytes, f.bytes);
    EXPECT_TRUE(f.zero(std::stoi(f.value(1)) * 512, static_cast<int64_t>(c.size)));
    EXPECT_TRUE(std::regex_match(f.value(6), std::regex("(Sun|Mon|Tue|Wed|Thu|Fri|Sat) (Jan|Feb|Mar|"
        "Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) [ 123]\\d \\d\\d:\\d\\d:\\d\\d \\d{4}"))) << f.value(6);
  }
  EXPECT_EQ(fields(FileImage::load(dir.file("g.rsp")))["DELTA_T"], "  1.000000000000E-03");
}

TEST_F(Rpc3Output, RealsArePrintedAsByTheCLibraryInAnyLocale) {
  char text[zel::rpc3::kNumberBytes];
  for (double v : {0.0, -0.0, 1.0, -2.0, 0.001, 1e-300, 5e-324, 1.7976931348623157e308,
                   123456789.123456789, -6.1064973131e-05, 2.0 / 32752, 1e100, -1e-100, kInf,
                   -kInf, std::numeric_limits<double>::quiet_NaN()}) {
    zel::rpc3::format_real(text, v);
    EXPECT_EQ(std::string(text), c_real(v));
  }
  zel::rpc3::format_int(text, INT_MIN);
  EXPECT_STREQ(text, "-2147483648");

  for (const char *l : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8"}) {
    if (!std::setlocale(LC_NUMERIC, l)) continue; // none installed: nothing more to check
    FileImage f = write(dir.file("locale.rsp"), 1, 10, 0.5);
    std::setlocale(LC_NUMERIC, "C");
    EXPECT_EQ(f.value(12), "  5.000000000000E-01");
    break;
  }
}

TEST_F(Rpc3Output, EnvironmentIsReadAtConstruction) {
  struct Case {
    const char *value;
    int points, group, groups;
  };
  const Case cases[] = {{"1", 300, 512, 1},    {"2", 300, 1024, 1}, {"4", 300, 2048, 1},
                        {"4.9", 300, 2048, 1}, {"8", 300, 1024, 1}, {"3", 300, 1024, 1},
                        {"abc", 300, 1024, 1}, {"", 300, 1024, 1},  {"-1", 300, 1024, 1},
                        {" 1e0", 300, 512, 1}, {"1", 100, 256, 1},  {"4", 5000, 4096, 2},
                        {"1", 5000, 1024, 5},  {"2", 5000, 2048, 3}};
  for (const Case &c : cases) {
    SCOPED_TRACE(std::string("FRAMESPERGROUP=") + c.value + " points " + std::to_string(c.points));
    env.frames_per_group(c.value);
    FileImage f = write(dir.file("k.rsp"), 2, c.points);
    EXPECT_EQ(fields(f)["PTS_PER_GROUP"], std::to_string(c.group));
    EXPECT_EQ(f.bytes.size(), 9u * 512 + c.groups * 2 * c.group * 2);
  }
  env.frames_per_group(nullptr);

  for (auto [value, repeats] : {std::pair<const char *, const char *>{"3.7", "3"}, {"-2.9", "-2"},
                                {"x", "0"}, {"12", "12"}, {nullptr, "0"}}) {
    env.repeats(value);
    EXPECT_EQ(fields(write(dir.file("r.rsp"), 1, 10))["REPEATS"], repeats);
  }
  env.float_data("");
  FileImage f = write(dir.file("f.rsp"), 2, 1000);
  EXPECT_EQ(fields(f)["DATA_TYPE"], "FLOATING_POINT");
  EXPECT_EQ(f.bytes.size(), 9u * 512 + 2 * 2048 * 4);

  // Changes after construction do not reach the writer.
  env.float_data(nullptr);
  const std::string path = dir.file("late.rsp");
  FileImage late = write(path, 1, 10, 0.01, [&](rpc3file_output &) {
    env.float_data("1");
    env.repeats("5");
    env.frames_per_group("1");
  });
  Header h{path, late.value(6)};
  EXPECT_EQ(records(late), h.records());
  EXPECT_EQ(late.bytes.size(), 7u * 512 + kRun);
}

TEST_F(Rpc3Output, SamplesAreScaledTruncatedAndRepeatedToWholeFrames) {
  const double samples[] = {1.0, -2.0, 0.5, 0.1};
  for (bool floats : {false, true}) {
    SCOPED_TRACE(floats ? "float" : "integer");
    env.float_data(floats ? "1" : nullptr);
    const std::string path = dir.file("s.rsp");
    FileImage f = write(path, 1, 4, 0.01, [&](rpc3file_output &w) {
      EXPECT_EQ(w.setChannel(1, 4, samples, "force", "N"), 0);
    });
    Header h{path, f.value(6), 4};
    h.type = floats ? "FLOATING_POINT" : "SHORT_INTEGER";
    h.ch[0] = {"force", "N", 2.0 / 32752, 1.0, -2.0}; // floats still carry the scale
    EXPECT_EQ(records(f), h.records());
    const int64_t at = 7 * 512, b = floats ? 4 : 2;
    ASSERT_EQ(static_cast<int64_t>(f.bytes.size()), at + 2048 * b);
    const int shorts[] = {16376, -32752, 8188, 1637}; // 0.1 * 16376 = 1637.6: truncated
    for (int p = 0; p < 256; ++p) {
      if (floats) ASSERT_EQ(f.float_at(at + 4 * p), static_cast<float>(samples[std::min(p, 3)])) << p;
      else ASSERT_EQ(f.short_at(at + 2 * p), shorts[std::min(p, 3)]) << p;
    }
    EXPECT_TRUE(f.zero(at + 256 * b, at + 2048 * b)); // the group's unused frames
  }
  // Quotients with a fraction lose it toward zero on both sides.
  env.float_data(nullptr);
  const double thirds[] = {3.0, 1.0, -1.0};
  FileImage t = write(dir.file("t.rsp"), 1, 3, 0.01, [&](rpc3file_output &w) {
    EXPECT_EQ(w.setChannel(1, 3, thirds, nullptr, nullptr), 0);
  });
  EXPECT_EQ(t.short_at(7 * 512 + 0), static_cast<int16_t>(3.0 / (3.0 / 32752)));
  EXPECT_EQ(t.short_at(7 * 512 + 2), 10917); // 1 / (3 / 32752) = 10917.33
  EXPECT_EQ(t.short_at(7 * 512 + 4), -10917);
}

TEST_F(Rpc3Output, ChannelsLandInTheirRunsGroupByGroup) {
  // 5000 points: frames of 1024, 2 per group, 5 frames in 3 groups.
  // Channel 1 is never stored (refused calls change nothing), channel 2 a
  // ramp given with more samples than the file's 5120 points, channel 3
  // all zero, channel 4 with non-finite samples.
  std::vector<double> ramp(6000);
  for (int i = 0; i < 6000; ++i) ramp[i] = i < 5120 ? i + 1 : -1e6;
  const std::vector<double> zeros(50, 0.0);
  const double odd[] = {1.0, kInf, -3.0, std::numeric_limits<double>::quiet_NaN()};
  const std::string units(120, 'u');
  const std::string path = dir.file("runs.rsp");
  FileImage f = write(path, 4, 5000, 0.01, [&](rpc3file_output &w) {
    for (auto [channel, count, values] :
         {std::tuple<int, int, const double *>{0, 1, odd}, {5, 1, odd}, {1, 0, odd}, {1, -5, odd},
          {1, 1, nullptr}})
      EXPECT_EQ(w.setChannel(channel, count, values, "x", "y"), ZEL_RPC_CHANNEL_RANGE);
    EXPECT_EQ(w.setChannel(2, 4, odd, "ramp", units.c_str()), 0);
    EXPECT_EQ(w.setChannel(2, 6000, ramp.data(), nullptr, nullptr), 0); // keeps the texts
    EXPECT_EQ(w.setChannel(3, 50, zeros.data(), nullptr, nullptr), 0);
    EXPECT_EQ(w.setChannel(4, 4, odd, nullptr, nullptr), 0);
    EXPECT_EQ(w.getStatus(), 0);
  });
  Header h{path, f.value(6), 5000, 1024};
  h.frames = 5;
  h.ch.resize(4);
  h.ch[1] = {"ramp", units.substr(0, 95), 5120.0 / 32752, 5120.0, 1.0};
  h.ch[2].scale = h.ch[2].upper = h.ch[2].lower = 0.0;
  h.ch[3].scale = h.ch[3].upper = kInf; // every finite sample then divides to 0, the infinity
  h.ch[3].lower = -3.0;                 // to NaN, stored as 0
  EXPECT_EQ(records(f), h.records());
  const int64_t at = 12 * 512;
  ASSERT_EQ(static_cast<int64_t>(f.bytes.size()), at + 3 * 4 * kRun);
  for (int g = 0; g < 3; ++g)
    for (int c : {1, 3, 4}) EXPECT_TRUE(f.zero(at + (4 * g + c - 1) * kRun, at + (4 * g + c) * kRun));
  for (int p = 0; p < 5120; ++p)
    ASSERT_EQ(f.short_at(at + ((p / 2048) * 4 + 1) * kRun + (p % 2048) * 2),
              static_cast<int16_t>((p + 1) / (5120.0 / 32752)))
        << p;
  EXPECT_TRUE(f.zero(at + 9 * kRun + 1024 * 2, at + 10 * kRun)); // the last group's second frame
}

TEST_F(Rpc3Output, TheReaderReadsEveryWrittenFile) {
  const int channels = 3, points = 5000;
  std::vector<std::vector<double>> data(channels, std::vector<double>(points));
  for (int c = 0; c < channels; ++c)
    for (int i = 0; i < points; ++i) data[c][i] = (c + 1) * std::sin(i * 0.01 + c) - 0.25 * c;
  for (bool floats : {false, true})
    for (const char *k : {static_cast<const char *>(nullptr), "1"}) {
      SCOPED_TRACE(std::string(floats ? "float" : "integer") + (k ? " K=1" : ""));
      env.float_data(floats ? "" : nullptr);
      env.frames_per_group(k);
      const std::string path = dir.file("rb.rsp");
      const FileImage f = write(path, channels, points, 0.002, [&](rpc3file_output &w) {
        for (int c = channels; c >= 1; --c)
          EXPECT_EQ(w.setChannel(c, points, data[c - 1].data(), ("ch" + std::to_string(c)).c_str(),
                                 "mm"), 0);
      });
      rpc3file_input r(path.c_str());
      r.initRead(0);
      ASSERT_EQ(r.getStatus(), 0); // the size check passes too
      int ch = 0, n = 0;
      double dt = 0;
      char text[96], units[96];
      r.getInfo(ch, n, dt, text);
      EXPECT_EQ(std::make_tuple(ch, n, dt, std::string(text)),
                std::make_tuple(channels, 5120, 0.002, f.value(6)));
      std::vector<double> got(static_cast<size_t>(n));
      for (int c = 1; c <= channels; ++c) {
        ASSERT_EQ(r.getAttributes(c, text, units), 0);
        EXPECT_EQ(std::string(text) + "/" + units, "ch" + std::to_string(c) + "/mm");
        ASSERT_EQ(r.getData(c, got.data()), 0);
        double largest = 0;
        for (double x : data[c - 1]) largest = std::max(largest, std::fabs(x));
        // The writer divides by the exact scale; the reader multiplies by
        // the scale as its header text gives it.
        const double scale = largest / 32752, header_scale = std::stod(c_real(scale));
        for (int i = 0; i < n; ++i) {
          const double x = data[c - 1][std::min(i, points - 1)];
          ASSERT_EQ(got[i], floats ? static_cast<double>(static_cast<float>(x))
                                   : std::trunc(x / scale) * header_scale)
              << "channel " << c << " point " << i;
        }
      }
    }
}
