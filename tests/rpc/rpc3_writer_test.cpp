// The RPC III writer (its files byte by byte, read back by the reader) and
// the zel_rpc_* functions: codes, messages, output arguments, protocols.
#include <gtest/gtest.h>

#include <climits>
#include <clocale>
#include <cmath>
#include <filesystem>
#include <limits>
#include <map>
#include <regex>
#include <tuple>

#include "rpc/rpc3_format.h"
#include "rpc/rpc3_support.h"

using zel_test::FileImage;

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity(), kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr int64_t kRun = 2048 * 2; // one channel's run in a group of 2048 short integers
const auto c_real = zel_test::Rpc3File::real; // "%20.12E" of the C library: the oracle for every real

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
    const int params = 22 + 6 * int(ch.size());
    std::vector<std::string> r = {
        "FORMAT=BINARY_IEEE_LITTLE_END", "NUM_HEADER_BLOCKS=" + s((params + 3) / 4), "NUM_PARAMS=" + s(params),
        "KIVOR_RUN=" + run, "KIVOR_STEPS=" + s(steps), "DATA_TYPE=" + type, "DATE=" + date, "FILE_TYPE=TIME_HISTORY",
        "OPERATION=KIVOR QUORVANTEL I/O", "TIME_TYPE=RESPONSE", "BYPASS_FILTER=0", "CHANNELS=" + s(int64_t(ch.size())),
        "DELTA_T=" + c_real(dt), "FRAMES=" + s(frames), "HALF_FRAMES=0", "INT_FULL_SCALE=32752", "PART.CHAN_1=1",
        "PART.NCHAN_1=" + s(int64_t(ch.size())), "PARTITIONS=1", "PTS_PER_FRAME=" + s(frame),
        "PTS_PER_GROUP=" + s(group), "REPEATS=" + repeats};
    for (size_t n = 1; n <= ch.size(); ++n) {
      const Channel &c = ch[n - 1];
      const std::string k = ".CHAN_" + s(int64_t(n)) + "=";
      r.insert(r.end(), {"DESC" + k + c.desc, "UNITS" + k + c.units, "MAP" + k + s(int64_t(n)), "SCALE" + k + c_real(c.scale),
                         "UPPER_LIMIT" + k + c_real(c.upper), "LOWER_LIMIT" + k + c_real(c.lower)});
    }
    r.resize(size_t(params + 3) / 4 * 4, "=");
    return r;
  }
};

// A file's header records in the same form; bytes other than NUL after a text are marked.
std::vector<std::string> records(const FileImage &f) {
  std::vector<std::string> r;
  for (int i = 0; i < std::stoi(f.value(1)) * 4; ++i) r.push_back(f.keyword(i) + "=" + f.value(i) + (f.clean(i) ? "" : " <dirty>"));
  return r;
}
std::string field(const FileImage &f, const std::string &keyword) {
  for (int i = 0; i < std::stoi(f.value(2)); ++i)
    if (f.keyword(i) == keyword) return f.value(i);
  return "<none>";
}

class Rpc3Output : public ::testing::Test {
protected:
  // Writes a file of the given shape; store() may fill channels.
  template <typename Store = void (*)(rpc3file_output &)>
  FileImage write(const std::string &path, int channels, int points, double dt = 0.01, Store store = [](rpc3file_output &) {}) {
    {
      rpc3file_output w(path.c_str(), channels, points, dt);
      EXPECT_EQ(w.getStatus(), 0);
      store(w);
    }
    return FileImage::load(path);
  }
  // A file of 600 points; channel c holds c / 2 + i / 1000.
  std::string make(const std::string &name, int channels = 2) {
    write(dir.file(name), channels, 600, 0.01, [&](rpc3file_output &w) {
      for (int c = 1; c <= channels; ++c) {
        for (int i = 0; i < 600; ++i) ramp[size_t(i)] = c * 0.5 + i * 0.001;
        EXPECT_EQ(w.setChannel(c, 600, ramp.data(), "d", "kN"), 0);
      }
    });
    return dir.file(name);
  }
  std::string text_file(const std::string &name, size_t size) {
    zel_test::write_bytes(dir.file(name), std::vector<unsigned char>(size, 'a'));
    return dir.file(name);
  }

  zel_test::TempDir dir;
  zel_test::WriterEnvironment env;
  std::vector<double> ramp = std::vector<double>(600);
};
using RpcApi = Rpc3Output;

} // namespace

TEST_F(Rpc3Output, HeaderAndGeometryFollowTheAnnouncedShape) {
  const std::string g = "g.rsp";
  const std::tuple<std::string, int, int, int, int, size_t> cases[] = { // name, channels, points, F, FRAMES, size
      {"run%d_1.rsp", 1, 1000, 1024, 1, 7 * 512 + kRun},                // a percent sign is verbatim
      {std::string(150, 'n') + ".rsp", 1, 10, 256, 1, 7 * 512 + kRun},  // cut in the header only
      {"two.rsp", 2, 100, 256, 1, 9 * 512 + 2 * kRun},   {"zero.rsp", 0, 100, 256, 1, 7 * 512 + kRun}, // below 1: one channel
      {"neg.rsp", -3, 300, 512, 1, 7 * 512 + kRun},      {g, 3, 1, 256, 1, 10 * 512 + 3 * kRun},
      {g, 3, 256, 256, 1, 10 * 512 + 3 * kRun},          {g, 3, 257, 512, 1, 10 * 512 + 3 * kRun},
      {g, 3, 512, 512, 1, 10 * 512 + 3 * kRun},          {g, 3, 513, 1024, 1, 10 * 512 + 3 * kRun},
      {g, 3, 1025, 1024, 2, 10 * 512 + 3 * kRun},        {g, 3, 2049, 1024, 3, 10 * 512 + 6 * kRun},
      {g, 3, 5000, 1024, 5, 10 * 512 + 9 * kRun},        {g, 3, 0, 256, 1, 10 * 512 + 3 * kRun}, // counts below 1: as 0
      {g, 3, -1000, 256, 1, 10 * 512 + 3 * kRun},        {g, 3, INT_MIN, 256, 1, 10 * 512 + 3 * kRun}};
  for (const auto &[name, channels, points, frame, frames, size] : cases) {
    SCOPED_TRACE(name + " " + std::to_string(channels) + " " + std::to_string(points));
    const std::string path = dir.file(name);
    FileImage provisional;
    FileImage f = write(path, channels, points, 0.001, [&](rpc3file_output &) { provisional = FileImage::load(path); });
    Header h{path.substr(0, 95), f.value(6), points, frame, 2048, frames, 0.001};
    h.ch.resize(size_t(std::max(channels, 1)));
    EXPECT_EQ(records(f), h.records());
    ASSERT_EQ(f.bytes.size(), size);
    // Before any channel is stored the header is the final one and the data
    // section has its final size, all zeros.
    EXPECT_EQ(provisional.bytes, f.bytes);
    EXPECT_TRUE(f.zero(std::stoi(f.value(1)) * 512, int64_t(size)));
    EXPECT_TRUE(std::regex_match(f.value(6), std::regex("(Sun|Mon|Tue|Wed|Thu|Fri|Sat) (Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|"
                                                        "Oct|Nov|Dec) [ 123]\\d \\d\\d:\\d\\d:\\d\\d \\d{4}"))) << f.value(6);
  }
  EXPECT_EQ(field(FileImage::load(dir.file(g)), "DELTA_T"), "  1.000000000000E-03");
}

TEST_F(Rpc3Output, RealsArePrintedAsByTheCLibraryInAnyLocale) {
  char text[zel::rpc3::kNumberBytes];
  for (double v : {0.0, -0.0, 1.0, -2.0, 0.001, 1e-300, 5e-324, 1.7976931348623157e308, 123456789.123456789,
                   -6.1064973131e-05, 2.0 / 32752, 1e100, -1e-100, kInf, -kInf, kNaN}) {
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
  const std::tuple<const char *, int, int, int> cases[] = { // FRAMESPERGROUP, points, G, groups
      {"1", 300, 512, 1},   {"2", 300, 1024, 1},  {"4", 300, 2048, 1},  {"4.9", 300, 2048, 1}, {"8", 300, 1024, 1},
      {"3", 300, 1024, 1},  {"abc", 300, 1024, 1}, {"", 300, 1024, 1},  {"-1", 300, 1024, 1},  {" 1e0", 300, 512, 1},
      {"1", 100, 256, 1},   {"4", 5000, 4096, 2},  {"1", 5000, 1024, 5}, {"2", 5000, 2048, 3}};
  for (const auto &[value, points, group, groups] : cases) {
    SCOPED_TRACE(std::string("FRAMESPERGROUP=") + value + " points " + std::to_string(points));
    env.frames_per_group(value);
    FileImage f = write(dir.file("k.rsp"), 2, points);
    EXPECT_EQ(field(f, "PTS_PER_GROUP"), std::to_string(group));
    EXPECT_EQ(f.bytes.size(), size_t(9 * 512 + groups * 2 * group * 2));
  }
  env.frames_per_group(nullptr);
  for (auto [value, repeats] : {std::pair<const char *, const char *>{"3.7", "3"}, {"-2.9", "-2"}, {"x", "0"}, {"12", "12"}, {nullptr, "0"}}) {
    env.repeats(value);
    EXPECT_EQ(field(write(dir.file("r.rsp"), 1, 10), "REPEATS"), repeats);
  }
  env.float_data("");
  FileImage f = write(dir.file("f.rsp"), 2, 1000);
  EXPECT_EQ(field(f, "DATA_TYPE"), "FLOATING_POINT");
  EXPECT_EQ(f.bytes.size(), 9u * 512 + 2 * 2048 * 4);
  // Changes after construction do not reach the writer.
  env.float_data(nullptr);
  const std::string path = dir.file("late.rsp");
  FileImage late = write(path, 1, 10, 0.01, [&](rpc3file_output &) {
    env.float_data("1"), env.repeats("5"), env.frames_per_group("1");
  });
  EXPECT_EQ(records(late), (Header{path, late.value(6)}.records()));
  EXPECT_EQ(late.bytes.size(), 7u * 512 + kRun);
}

TEST_F(Rpc3Output, SamplesAreScaledTruncatedAndRepeatedToWholeFrames) {
  const double samples[] = {1.0, -2.0, 0.5, 0.1};
  for (bool floats : {false, true}) {
    SCOPED_TRACE(floats ? "float" : "integer");
    env.float_data(floats ? "1" : nullptr);
    const std::string path = dir.file("s.rsp");
    FileImage f = write(path, 1, 4, 0.01, [&](rpc3file_output &w) { EXPECT_EQ(w.setChannel(1, 4, samples, "force", "N"), 0); });
    Header h{path, f.value(6), 4};
    h.type = floats ? "FLOATING_POINT" : "SHORT_INTEGER";
    h.ch[0] = {"force", "N", 2.0 / 32752, 1.0, -2.0}; // floats still carry the scale; upper limit first
    EXPECT_EQ(records(f), h.records());
    const int64_t at = 7 * 512, b = floats ? 4 : 2;
    ASSERT_EQ(int64_t(f.bytes.size()), at + 2048 * b);
    const int shorts[] = {16376, -32752, 8188, 1637}; // 0.1 * 16376 = 1637.6: truncated
    for (int p = 0; p < 256; ++p)
      if (floats) ASSERT_EQ(f.at<float>(at + 4 * p), float(samples[std::min(p, 3)])) << p;
      else ASSERT_EQ(f.at<int16_t>(at + 2 * p), shorts[std::min(p, 3)]) << p;
    EXPECT_TRUE(f.zero(at + 256 * b, at + 2048 * b)); // the group's unused frames
  }
  env.float_data(nullptr); // quotients lose their fraction toward zero on both sides
  const double thirds[] = {3.0, 1.0, -1.0};
  FileImage t = write(dir.file("t.rsp"), 1, 3, 0.01, [&](rpc3file_output &w) { EXPECT_EQ(w.setChannel(1, 3, thirds, nullptr, nullptr), 0); });
  EXPECT_EQ(std::vector<int>({t.at<int16_t>(7 * 512), t.at<int16_t>(7 * 512 + 2), t.at<int16_t>(7 * 512 + 4)}),
            std::vector<int>({int16_t(3.0 / (3.0 / 32752)), 10917, -10917})); // 1 / (3 / 32752) = 10917.33
}

TEST_F(Rpc3Output, ChannelsLandInTheirRunsGroupByGroup) {
  // 5000 points: frames of 1024, 2 per group, 5 frames in 3 groups.
  // Channel 1 is never stored (refused calls change nothing), channel 2 a
  // ramp given with more samples than the file's 5120 points, channel 3
  // all zero, channel 4 with non-finite samples.
  std::vector<double> ramp(6000);
  for (int i = 0; i < 6000; ++i) ramp[size_t(i)] = i < 5120 ? i + 1 : -1e6;
  const std::vector<double> zeros(50, 0.0);
  const double odd[] = {1.0, kInf, -3.0, kNaN};
  const std::string units(120, 'u'), path = dir.file("runs.rsp");
  FileImage f = write(path, 4, 5000, 0.01, [&](rpc3file_output &w) {
    for (auto [channel, count, values] : {std::tuple<int, int, const double *>{0, 1, odd}, {5, 1, odd}, {1, 0, odd}, {1, -5, odd}, {1, 1, nullptr}})
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
  h.ch[3].scale = h.ch[3].upper = kInf; // finite samples then divide to 0, the infinity to NaN, stored as 0
  h.ch[3].lower = -3.0;
  EXPECT_EQ(records(f), h.records());
  const int64_t at = 12 * 512;
  ASSERT_EQ(int64_t(f.bytes.size()), at + 3 * 4 * kRun);
  for (int g = 0; g < 3; ++g)
    for (int c : {1, 3, 4}) EXPECT_TRUE(f.zero(at + (4 * g + c - 1) * kRun, at + (4 * g + c) * kRun));
  for (int p = 0; p < 5120; ++p)
    ASSERT_EQ(f.at<int16_t>(at + ((p / 2048) * 4 + 1) * kRun + (p % 2048) * 2), int16_t((p + 1) / (5120.0 / 32752))) << p;
  EXPECT_TRUE(f.zero(at + 9 * kRun + 1024 * 2, at + 10 * kRun)); // the last group's second frame
}

TEST_F(Rpc3Output, TheReaderReadsEveryWrittenFile) {
  const int channels = 3, points = 5000;
  std::vector<std::vector<double>> data(channels, std::vector<double>(points));
  for (int c = 0; c < channels; ++c)
    for (int i = 0; i < points; ++i) data[size_t(c)][size_t(i)] = (c + 1) * std::sin(i * 0.01 + c) - 0.25 * c;
  for (bool floats : {false, true})
    for (const char *k : {static_cast<const char *>(nullptr), "1"}) {
      SCOPED_TRACE(std::string(floats ? "float" : "integer") + (k ? " K=1" : ""));
      env.float_data(floats ? "" : nullptr);
      env.frames_per_group(k);
      const std::string path = dir.file("rb.rsp");
      const FileImage f = write(path, channels, points, 0.002, [&](rpc3file_output &w) {
        for (int c = channels; c >= 1; --c)
          EXPECT_EQ(w.setChannel(c, points, data[size_t(c - 1)].data(), ("ch" + std::to_string(c)).c_str(), "mm"), 0);
      });
      rpc3file_input r(path.c_str());
      r.initRead(0);
      ASSERT_EQ(r.getStatus(), 0); // the size check passes too
      int ch = 0, n = 0;
      double dt = 0;
      char text[96], units[96];
      r.getInfo(ch, n, dt, text);
      EXPECT_EQ(std::make_tuple(ch, n, dt, std::string(text)), std::make_tuple(channels, 5120, 0.002, f.value(6)));
      std::vector<double> got(static_cast<size_t>(n));
      for (int c = 1; c <= channels; ++c) {
        ASSERT_EQ(r.getAttributes(c, text, units), 0);
        EXPECT_EQ(std::string(text) + "/" + units, "ch" + std::to_string(c) + "/mm");
        ASSERT_EQ(r.getData(c, got.data()), 0);
        double largest = 0;
        for (double x : data[size_t(c - 1)]) largest = std::max(largest, std::fabs(x));
        // The writer divides by the exact scale; the reader multiplies by the scale as its header text gives it.
        const double scale = largest / 32752, header_scale = std::stod(c_real(scale));
        for (int i = 0; i < n; ++i) {
          const double x = data[size_t(c - 1)][size_t(std::min(i, points - 1))];
          ASSERT_EQ(got[size_t(i)], floats ? double(float(x)) : std::trunc(x / scale) * header_scale) << c << " " << i;
        }
      }
    }
}

TEST_F(RpcApi, MessagesAndNullHandles) {
  const char *expected[] = {"No error", "RPC file could not be opened.", "File is not a valid RPC III time history file.",
                            "Invalid handle to RPC file.", "RPC file contains no time history data.",
                            "Error reading RPC file header record.", "RPC file header is not compatible with file size.",
                            "RPC file block pointer out of range.", "Can not create RPC file. Check path and permissions.",
                            "RPC file channel number out of range. Data not processed.",
                            "Ran out of memory during RPC file output operation.", "Error writing RPC file."};
  for (int code : {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, -1, INT_MIN, INT_MAX}) {
    char buffer[80] = "xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx";
    zel_rpc_geterror(code, buffer);
    EXPECT_STREQ(buffer, code >= 0 && code <= 11 ? expected[code] : "Unknown error");
    EXPECT_EQ(buffer[std::strlen(buffer) + 1], 'x') << "written past the NUL for code " << code;
  }
  double v[3] = {1, 2, 3}, t[3];
  char a[96], b[96];
  EXPECT_EQ(zel_rpc_getnpts(nullptr, 1, 3, v), 0);
  for (int code : {zel_rpc_attributes(nullptr, 1, a, b), zel_rpc_getwindow(nullptr, 1, 0.0, 1, t, v), zel_rpc_readclose(nullptr),
                   zel_rpc_putchannel(nullptr, 1, 3, v, "d", "u"), zel_rpc_writeclose(nullptr)})
    EXPECT_EQ(code, ZEL_RPC_BAD_HANDLE);
}

TEST_F(RpcApi, OpenSniffAndData) {
  const std::string crowded = make("crowded.rsp", 1), longer = make("longer.rsp"), empty = make("empty.rsp", 1);
  for (auto [path, record, value] : {std::tuple<std::string, int, const char *>{crowded, 2, "29"}, {empty, 13, "0"}}) {
    char text[96] = {}; // 29 records: more than the header blocks hold; FRAMES 0: no data
    std::strcpy(text, value);
    std::fstream(path, std::ios::in | std::ios::out | std::ios::binary).seekp(record * 128 + 32).write(text, 96);
  }
  std::ofstream(longer, std::ios::binary | std::ios::app) << 'x'; // found only when reading data
  for (auto [path, code, channels, points] : {std::tuple<std::string, int, int, int>{dir.file("missing.rsp"), ZEL_RPC_OPEN_FAILED, 0, 0},
                                             {text_file("text.rsp", 1000), ZEL_RPC_NOT_RPC, 0, 0},
                                             {crowded, ZEL_RPC_BAD_HEADER, 0, 0}, {longer, 0, 2, 1024}}) {
    SCOPED_TRACE(path);
    int ch = 7, n = 7, status = -1;
    double dt = 7.0;
    char date[96] = "stale";
    void *h = zel_rpc_open(path.c_str(), &ch, &n, &dt, date, &status); // a handle whatever the status
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(std::make_tuple(status, ch, n, dt), std::make_tuple(code, channels, points, code ? 0.0 : 0.01));
    EXPECT_EQ(std::string(date), code ? "" : FileImage::load(longer).value(6));
    EXPECT_EQ(zel_rpc_readclose(h), 0);
  }
  const std::string good = make("good.rsp");
  std::filesystem::resize_file(good, 384); // records 0 to 2 are all it needs
  EXPECT_EQ(zel_rpc_sniff(good.c_str()), 1);
  std::filesystem::resize_file(good, 383);
  EXPECT_EQ(zel_rpc_sniff(good.c_str()) + zel_rpc_sniff(text_file("t.txt", 600).c_str()) +
                zel_rpc_sniff(dir.file("missing").c_str()) + zel_rpc_sniff(nullptr), 0);

  const std::string path = make("d.rsp");
  int points = -1;
  double dt = -1.0;
  std::vector<double> v(1024, -99.0);
  EXPECT_EQ(zel_rpc_data(path.c_str(), 2, &points, &dt, nullptr), 0); // the size first
  EXPECT_EQ(points * dt, 1024 * 0.01);
  EXPECT_EQ(zel_rpc_data(path.c_str(), 2, &points, &dt, v.data()), 0);
  for (int i = 0; i < 1024; ++i) { // truncated toward zero, the last sample repeated
    const double x = 1.0 + std::min(i, 599) * 0.001;
    ASSERT_TRUE(v[size_t(i)] <= x * (1 + 1e-12) && v[size_t(i)] > x - 1.599 / 32752 * (1 + 1e-9)) << i << ": " << v[size_t(i)];
  }
  for (auto [file, channel, code, n, interval] : {std::tuple<std::string, int, int, int, double>{path, 0, ZEL_RPC_CHANNEL_RANGE, 1024, 0.01},
                                                  {path, 3, ZEL_RPC_CHANNEL_RANGE, 1024, 0.01}, // the size all the same
                                                  {empty, 1, ZEL_RPC_NO_DATA, 0, 0.01},
                                                  {dir.file("none.rsp"), 1, ZEL_RPC_OPEN_FAILED, 0, 0.0},
                                                  {text_file("text.rsp", 500), 1, ZEL_RPC_NOT_RPC, 0, 0.0}}) {
    points = 5, dt = 5.0;
    EXPECT_EQ(zel_rpc_data(file.c_str(), channel, &points, &dt, v.data()), code) << file << " " << channel;
    EXPECT_EQ(points * 1000 + dt, n * 1000 + interval) << file << " " << channel;
  }
}

TEST_F(RpcApi, CreatePutChannelAndReadThroughAHandle) {
  int status = -1;
  const std::string missing = dir.file("no/dir/x.rsp"), huge = dir.file("huge.rsp");
  const double one[] = {1.0};
  EXPECT_EQ(zel_rpc_create(missing.c_str(), 1, 10, 0.1, &status), nullptr);
  EXPECT_EQ(status, ZEL_RPC_CREATE_FAILED);
  EXPECT_EQ(rpc3file_output(missing.c_str(), 1, 10, 0.1).setChannel(1, 1, one, nullptr, nullptr), ZEL_RPC_CREATE_FAILED);
  EXPECT_FALSE(std::filesystem::exists(missing));
  void *h = zel_rpc_create(huge.c_str(), INT_MAX, 10, 0.1, &status); // out of memory: stores nothing, leaves no file
  EXPECT_EQ(status, ZEL_RPC_OUT_OF_MEMORY);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(zel_rpc_putchannel(h, 1, 1, one, nullptr, nullptr), ZEL_RPC_OUT_OF_MEMORY);
  EXPECT_EQ(zel_rpc_writeclose(h), 0);
  EXPECT_FALSE(std::filesystem::exists(huge));

  env.float_data("");
  h = zel_rpc_create(dir.file("w.rsp").c_str(), 2, 700, 0.5, &status);
  ASSERT_EQ(status, 0);
  std::vector<double> v(700);
  for (int c = 1; c <= 2; ++c) {
    for (int i = 0; i < 700; ++i) v[size_t(i)] = c * 1000.0 + i;
    EXPECT_EQ(zel_rpc_putchannel(h, c, 700, v.data(), c == 1 ? "set" : nullptr, nullptr), 0);
  }
  EXPECT_EQ(zel_rpc_putchannel(h, 3, 1, one, "a", "b"), ZEL_RPC_CHANNEL_RANGE);
  EXPECT_EQ(zel_rpc_putchannel(h, 1, 1, one, nullptr, "kg"), 0); // keeps "set"
  EXPECT_EQ(zel_rpc_putchannel(h, 1, 700, v.data(), nullptr, nullptr), 0);
  EXPECT_EQ(zel_rpc_writeclose(h), 0);

  h = zel_rpc_open(dir.file("w.rsp").c_str(), nullptr, nullptr, nullptr, nullptr, &status);
  ASSERT_EQ(status, 0);
  char desc[96], units[96];
  EXPECT_EQ(zel_rpc_attributes(h, 1, desc, units), 0);
  EXPECT_EQ(std::string(desc) + "/" + units, "set/kg");
  EXPECT_EQ(zel_rpc_attributes(h, 2, desc, nullptr), 0);
  EXPECT_STREQ(desc, "KIVOR SIMULATION COMPONENT");
  EXPECT_EQ(zel_rpc_attributes(h, 3, desc, units), ZEL_RPC_CHANNEL_RANGE);
  // Each channel has its own cursor; a channel out of range or no count reads nothing.
  for (auto [channel, count, first] : {std::tuple<int, int, double>{2, 300, 2000.0}, {2, 300, 2300.0}, {1, 1, 2000.0}, {3, 1, 0.0}, {1, 0, 0.0}}) {
    v[0] = 0.0;
    EXPECT_EQ(zel_rpc_getnpts(h, channel, count, v.data()), first ? count : 0);
    EXPECT_EQ(v[0], first) << channel << " " << count;
  }
  std::vector<double> times(5), values(5);
  EXPECT_EQ(zel_rpc_getwindow(h, 1, 0.0, 2, times.data(), values.data()), 0);
  EXPECT_EQ(times, (std::vector<double>{-1.0, -0.5, 0.0, 0.5, 1.0}));
  EXPECT_EQ(values, (std::vector<double>{2000.0, 2000.0, 2000.0, 2001.0, 2002.0}));
  EXPECT_EQ(zel_rpc_getwindow(h, 1, 100.0, 2, times.data(), values.data()), 0); // point 200
  EXPECT_EQ(values[2], 2200.0);
  EXPECT_EQ(zel_rpc_getwindow(h, 3, 0.0, 1, times.data(), values.data()), ZEL_RPC_CHANNEL_RANGE);
  EXPECT_EQ(zel_rpc_readclose(h), 0);
}
