// The RPC III writer (its files byte by byte, read back by the reader) and
// the zel_rpc_* functions: codes, output arguments, protocols.
#include <gtest/gtest.h>

#include <climits>
#include <clocale>
#include <cmath>
#include <filesystem>
#include <limits>
#include <regex>
#include <tuple>

#include "rpc/rpc3_support.h"

using zel_test::FileImage;

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity(), kNaN = std::numeric_limits<double>::quiet_NaN();
const auto c_real = zel_test::Rpc3File::real;

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
    std::vector<std::string> r = {"FORMAT=BINARY_IEEE_LITTLE_END",
                                  "NUM_HEADER_BLOCKS=" + s((params + 3) / 4),
                                  "NUM_PARAMS=" + s(params),
                                  "KIVOR_RUN=" + run,
                                  "KIVOR_STEPS=" + s(steps),
                                  "DATA_TYPE=" + type,
                                  "DATE=" + date,
                                  "FILE_TYPE=TIME_HISTORY",
                                  "OPERATION=KIVOR QUORVANTEL I/O",
                                  "TIME_TYPE=RESPONSE",
                                  "BYPASS_FILTER=0",
                                  "CHANNELS=" + s(int64_t(ch.size())),
                                  "DELTA_T=" + c_real(dt),
                                  "FRAMES=" + s(frames),
                                  "HALF_FRAMES=0",
                                  "INT_FULL_SCALE=32752",
                                  "PART.CHAN_1=1",
                                  "PART.NCHAN_1=" + s(int64_t(ch.size())),
                                  "PARTITIONS=1",
                                  "PTS_PER_FRAME=" + s(frame),
                                  "PTS_PER_GROUP=" + s(group),
                                  "REPEATS=" + repeats};
    for (size_t n = 1; n <= ch.size(); ++n) {
      const Channel &c = ch[n - 1];
      const std::string k = ".CHAN_" + s(int64_t(n)) + "=";
      r.insert(r.end(),
               {"DESC" + k + c.desc, "UNITS" + k + c.units, "MAP" + k + s(int64_t(n)), "SCALE" + k + c_real(c.scale),
                "UPPER_LIMIT" + k + c_real(c.upper), "LOWER_LIMIT" + k + c_real(c.lower)});
    }
    r.resize(size_t(params + 3) / 4 * 4, "=");
    return r;
  }
};

// A file's header records in the same form; bytes other than NUL after a text are marked.
std::vector<std::string> records(const FileImage &f) {
  std::vector<std::string> r;
  for (int i = 0; i < std::stoi(f.value(1)) * 4; ++i) {
    const bool clean = f.zero(i * 128 + int64_t(f.keyword(i).size()), i * 128 + 32) &&
                       f.zero(i * 128 + 32 + int64_t(f.value(i).size()), i * 128 + 128);
    r.push_back(f.keyword(i) + "=" + f.value(i) + (clean ? "" : " <dirty>"));
  }
  return r;
}

class Rpc3Output : public ::testing::Test {
protected:
  // Writes a file of the given shape; store() may fill channels.
  template <typename Store = void (*)(rpc3file_output &)>
  FileImage write(
      const std::string &path, int channels, int points, double dt = 0.01, Store store = [](rpc3file_output &) {}) {
    {
      rpc3file_output w(path.c_str(), channels, points, dt);
      EXPECT_EQ(w.getStatus(), 0);
      store(w);
    }
    return FileImage(path);
  }
  zel_test::TempDir dir;
  zel_test::WriterEnvironment env;
};

} // namespace

TEST_F(Rpc3Output, HeaderAndLayoutFollowTheAnnouncedShapeAndEnvironment) {
  const std::tuple<std::string, const char *, int, int, int, int, int, int> cases[] = {
      // name, QEN_ZEL_FRAMESPERGROUP, channels, points, F, G, FRAMES, groups
      {"run%d_1.rsp", nullptr, 1, 1000, 1024, 2048, 1, 1},      // a percent sign is verbatim
      {std::string(150, 'n'), nullptr, 1, 10, 256, 2048, 1, 1}, // cut in the header only
      {"zero", nullptr, 0, 100, 256, 2048, 1, 1},
      {"neg", nullptr, -3, 300, 512, 2048, 1, 1}, // below 1: one channel
      {"g", nullptr, 3, 256, 256, 2048, 1, 1},
      {"g", nullptr, 3, 257, 512, 2048, 1, 1},
      {"g", nullptr, 3, 512, 512, 2048, 1, 1},
      {"g", nullptr, 3, 513, 1024, 2048, 1, 1},
      {"g", nullptr, 3, 2049, 1024, 2048, 3, 2},
      {"g", nullptr, 3, 5000, 1024, 2048, 5, 3},
      {"g", nullptr, 3, 0, 256, 2048, 1, 1},
      {"g", nullptr, 3, INT_MIN, 256, 2048, 1, 1}, // counts below 1: as 0
      {"k", "1", 2, 300, 512, 512, 1, 1},
      {"k", "4.9", 2, 300, 512, 2048, 1, 1},
      {"k", "8", 2, 300, 512, 1024, 1, 1},
      {"k", "abc", 2, 300, 512, 1024, 1, 1},
      {"k", " 1e0", 2, 300, 512, 512, 1, 1},
      {"k", "4", 2, 5000, 1024, 4096, 5, 2},
      {"k", "1", 2, 5000, 1024, 1024, 5, 5},
      {"k", "2", 2, 5000, 1024, 2048, 5, 3}};
  for (const auto &[name, k, channels, points, frame, group, frames, groups] : cases) {
    SCOPED_TRACE(name + " " + std::to_string(channels) + " " + std::to_string(points) + " K " + (k ? k : "-"));
    env.frames_per_group(k);
    const std::string path = dir.file(name);
    FileImage provisional(path);
    FileImage f = write(path, channels, points, 0.001, [&](rpc3file_output &) { provisional = FileImage(path); });
    Header h{path.substr(0, 95), f.value(6), points, frame, group, frames, 0.001};
    h.ch.resize(size_t(std::max(channels, 1)));
    EXPECT_EQ(records(f), h.records());
    const int64_t data = int64_t(h.ch.size()) * group * 2 * groups, header = std::stoi(f.value(1)) * 512;
    ASSERT_EQ(int64_t(f.bytes.size()), header + data);
    // Before any channel is stored the header is the final one and the data
    // section has its final size, all zeros.
    EXPECT_EQ(provisional.bytes, f.bytes);
    EXPECT_TRUE(f.zero(header, header + data));
    EXPECT_TRUE(
        std::regex_match(f.value(6), std::regex("(Sun|Mon|Tue|Wed|Thu|Fri|Sat) (Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|"
                                                "Oct|Nov|Dec) [ 123]\\d \\d\\d:\\d\\d:\\d\\d \\d{4}")))
        << f.value(6);
  }
}

TEST_F(Rpc3Output, RepeatsFloatsAndLocaleAreReadAtConstruction) {
  for (auto [value, repeats] :
       {std::pair<const char *, const char *>{"3.7", "3"}, {"-2.9", "-2"}, {"x", "0"}, {"1e10", "2147483647"}}) {
    env.repeats(value);
    EXPECT_EQ(FileImage(write(dir.file("r.rsp"), 1, 10)).value(21), repeats) << value;
  }
  env.repeats(nullptr), env.float_data("");
  FileImage f = write(dir.file("f.rsp"), 2, 1000);
  EXPECT_EQ(f.value(5), "FLOATING_POINT");
  EXPECT_EQ(f.bytes.size(), 9u * 512 + 2 * 2048 * 4);
  env.float_data(nullptr); // changes after construction do not reach the writer
  const std::string path = dir.file("late.rsp");
  FileImage late = write(path, 1, 10, 0.01,
                         [&](rpc3file_output &) { env.float_data("1"), env.repeats("5"), env.frames_per_group("1"); });
  EXPECT_EQ(records(late), (Header{path, late.value(6)}.records()));
  EXPECT_EQ(late.bytes.size(), 7u * 512 + 2048 * 2);
  for (const char *l : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8"}) {
    if (!std::setlocale(LC_NUMERIC, l)) continue; // none installed: nothing more to check
    FileImage g = write(dir.file("locale.rsp"), 1, 10, 0.5);
    std::setlocale(LC_NUMERIC, "C");
    EXPECT_EQ(g.value(12), "  5.000000000000E-01");
    break;
  }
}

// Quotients of the scale lose their fraction toward zero; the last sample
// is repeated to the frame's end, the group's unused frames stay zero; a
// subnormal extreme, whose scale rounds to one step, gives quotients held
// to the full scale; NaN is stored as 0; floats are stored as they are.
TEST_F(Rpc3Output, SamplesAreScaledTruncatedHeldAndRepeatedToWholeFrames) {
  const std::vector<std::tuple<bool, std::vector<double>, std::vector<double>>> cases = {
      // floats, samples, stored at 0 to 3 and 255
      {false, {1.0, -2.0, 0.5, 0.1}, {16376, -32752, 8188, 1637, 1637}}, // 0.1 * 16376 = 1637.6
      {false, {3.0, 1.0, -1.0, -1.0}, {double(int16_t(3.0 / (3.0 / 32752))), 10917, -10917, -10917, -10917}},
      {false, {2.3e-319, -2.3e-319, 0.0, 0.0}, {32752, -32752, 0, 0, 0}},
      {false, {1.0, kNaN, -0.5, 0.25}, {32752, 0, -16376, 8188, 8188}},
      {true, {1.0, -2.0, 0.5, 0.1}, {1.0, -2.0, 0.5, double(0.1f), double(0.1f)}}};
  for (const auto &[floats, in, want] : cases) {
    env.float_data(floats ? "1" : nullptr);
    FileImage f = write(dir.file("s.rsp"), 1, 4, 0.01,
                        [&](rpc3file_output &w) { EXPECT_EQ(w.setChannel(1, 4, in.data(), nullptr, nullptr), 0); });
    const int64_t at = 7 * 512, b = floats ? 4 : 2;
    std::vector<double> got;
    for (int p : {0, 1, 2, 3, 255})
      got.push_back(floats ? double(f.at<float>(at + 4 * p)) : double(f.at<int16_t>(at + 2 * p)));
    EXPECT_EQ(got, want) << in[0];
    ASSERT_EQ(int64_t(f.bytes.size()), at + 2048 * b);
    EXPECT_TRUE(f.zero(at + 256 * b, at + 2048 * b));            // the group's unused frames
    if (floats) { EXPECT_EQ(f.value(25), c_real(2.0 / 32752)); } // floats still carry the scale
  }
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
    for (auto [channel, count, values] :
         {std::tuple<int, int, const double *>{0, 1, odd}, {5, 1, odd}, {1, 0, odd}, {1, -5, odd}, {1, 1, nullptr}})
      EXPECT_EQ(w.setChannel(channel, count, values, "x", "y"), ZEL_RPC_CHANNEL_RANGE);
    EXPECT_EQ(w.setChannel(2, 4, odd, "ramp", units.c_str()), 0);
    EXPECT_EQ(w.setChannel(2, 6000, ramp.data(), nullptr, nullptr), 0); // keeps the texts
    EXPECT_EQ(w.setChannel(3, 50, zeros.data(), nullptr, nullptr), 0);
    EXPECT_EQ(w.setChannel(4, 4, odd, nullptr, nullptr), 0);
    EXPECT_EQ(w.close(), 0);
    EXPECT_EQ(w.setChannel(1, 1, odd, nullptr, nullptr), ZEL_RPC_BAD_HANDLE);
  });
  Header h{path, f.value(6), 5000, 1024};
  h.frames = 5;
  h.ch.resize(4);
  h.ch[1] = {"ramp", units.substr(0, 95), 5120.0 / 32752, 5120.0, 1.0};
  h.ch[2].scale = h.ch[2].upper = h.ch[2].lower = 0.0;
  h.ch[3].scale = h.ch[3].upper = kInf; // finite samples then divide to 0, the infinity to NaN, stored as 0
  h.ch[3].lower = -3.0;
  EXPECT_EQ(records(f), h.records());
  const int64_t at = 12 * 512, run = 2048 * 2;
  ASSERT_EQ(int64_t(f.bytes.size()), at + 3 * 4 * run);
  for (int g = 0; g < 3; ++g)
    for (int c : {1, 3, 4}) EXPECT_TRUE(f.zero(at + (4 * g + c - 1) * run, at + (4 * g + c) * run));
  for (int p = 0; p < 5120; ++p)
    ASSERT_EQ(f.at<int16_t>(at + ((p / 2048) * 4 + 1) * run + (p % 2048) * 2), int16_t((p + 1) / (5120.0 / 32752)))
        << p;
  EXPECT_TRUE(f.zero(at + 9 * run + 1024 * 2, at + 10 * run)); // the last group's second frame
}

// Written through the functions, read back through them: the reader
// delivers what the writer stored; codes and output arguments of each call.
TEST_F(Rpc3Output, FunctionsWriteWhatTheyReadBack) {
  double v[3] = {1, 2, 3}, t[3];
  char a[96], b[96];
  EXPECT_EQ(zel_rpc_getnpts(nullptr, 1, 3, v), 0);
  for (int code :
       {zel_rpc_attributes(nullptr, 1, a, b), zel_rpc_getwindow(nullptr, 1, 0.0, 1, t, v), zel_rpc_readclose(nullptr),
        zel_rpc_putchannel(nullptr, 1, 3, v, "d", "u"), zel_rpc_writeclose(nullptr)})
    EXPECT_EQ(code, ZEL_RPC_BAD_HANDLE);
  int status = -1; // creation: 8 without a folder, 10 (a handle that takes nothing, no file) out of memory
  const std::string missing = dir.file("no/dir/x.rsp"), huge = dir.file("huge.rsp"), text = dir.file("text.rsp"),
                    path = dir.file("rb.rsp");
  EXPECT_EQ(std::make_tuple(zel_rpc_create(missing.c_str(), 1, 10, 0.1, &status), status), std::make_tuple(nullptr, 8));
  EXPECT_EQ(rpc3file_output(missing.c_str(), 1, 10, 0.1).setChannel(1, 1, v, nullptr, nullptr), ZEL_RPC_CREATE_FAILED);
  void *h = zel_rpc_create(huge.c_str(), INT_MAX, 10, 0.1, &status);
  EXPECT_EQ(status, ZEL_RPC_OUT_OF_MEMORY);
  EXPECT_EQ(zel_rpc_putchannel(h, 1, 1, v, nullptr, nullptr), ZEL_RPC_OUT_OF_MEMORY);
  EXPECT_EQ(zel_rpc_writeclose(h), 0);
  EXPECT_FALSE(std::filesystem::exists(missing) || std::filesystem::exists(huge));
  const int channels = 3, points = 5000;
  std::vector<std::vector<double>> data(channels, std::vector<double>(points));
  for (int c = 0; c < channels; ++c)
    for (int i = 0; i < points; ++i) data[size_t(c)][size_t(i)] = (c + 1) * std::sin(i * 0.01 + c) - 0.25 * c;
  for (bool floats : {false, true}) { // each value type and K: the write-read fuzz target and its seeds
    SCOPED_TRACE(floats);
    env.float_data(floats ? "" : nullptr);
    h = zel_rpc_create(path.c_str(), channels, points, 0.002, &status);
    EXPECT_EQ(zel_rpc_putchannel(h, 1, 1, v, "x", "kg"), 0);
    EXPECT_EQ(zel_rpc_putchannel(h, 1, points, data[0].data(), "ch1", nullptr), 0); // null keeps "kg"
    for (int c = channels; c >= 2; --c)
      EXPECT_EQ(zel_rpc_putchannel(h, c, points, data[size_t(c - 1)].data(), ("ch" + std::to_string(c)).c_str(), "kg"),
                0);
    EXPECT_EQ(zel_rpc_putchannel(h, 4, 1, v, "a", "b"), ZEL_RPC_CHANNEL_RANGE);
    EXPECT_EQ(zel_rpc_writeclose(h), 0);
    int ch = 0, n = 0;
    double dt = 0;
    h = zel_rpc_open(path.c_str(), &ch, &n, &dt, a, &status);
    EXPECT_EQ(std::make_tuple(status, ch, n, dt, std::string(a)),
              std::make_tuple(0, channels, 5120, 0.002, FileImage(path).value(6))); // the size check passes
    std::vector<double> got(static_cast<size_t>(n) + 1);
    for (int c = 1; c <= channels; ++c) {
      EXPECT_EQ(zel_rpc_attributes(h, c, a, b), 0);
      EXPECT_EQ(std::string(a) + "/" + b, "ch" + std::to_string(c) + "/kg");
      ASSERT_EQ(zel_rpc_getnpts(h, c, n, got.data()), n);
      double largest = 0;
      for (double x : data[size_t(c - 1)]) largest = std::max(largest, std::fabs(x));
      // The writer divides by the exact scale; the reader multiplies by the scale as its header text gives it.
      const double scale = largest / 32752, header_scale = std::stod(c_real(scale));
      for (int i = 0; i < n; ++i) {
        const double x = data[size_t(c - 1)][size_t(std::min(i, points - 1))];
        ASSERT_EQ(got[size_t(i)], floats ? double(float(x)) : std::trunc(x / scale) * header_scale) << c << " " << i;
      }
      if (c == 3) { // the window around a time and the one-shot read deliver the same values
        EXPECT_EQ(zel_rpc_getwindow(h, 3, 0.002, 1, t, v), 0); // around point 1
        EXPECT_EQ(std::vector<double>(v, v + 3), std::vector<double>(got.begin(), got.begin() + 3));
        int np = -1;
        EXPECT_EQ(zel_rpc_data(path.c_str(), 3, &np, &dt, nullptr) +
                      zel_rpc_data(path.c_str(), 3, &np, &dt, got.data()),
                  0); // the size, then the values
        EXPECT_EQ(std::make_tuple(np, got[size_t(n - 1)]),
                  std::make_tuple(n, got[size_t(n - 2)])); // the last sample repeated
      }
    }
    EXPECT_EQ(zel_rpc_attributes(h, 4, a, b) + zel_rpc_getwindow(h, 4, 0.0, 1, t, v) + zel_rpc_getnpts(h, 4, 1, v), 18);
    EXPECT_EQ(zel_rpc_readclose(h), 0);
  }
  // Opening and one-shot reads of what is not a usable file; the size also for a channel out of range.
  zel_test::write_bytes(text, std::vector<unsigned char>(1000, 'a'));
  std::fstream(path, std::ios::in | std::ios::out | std::ios::binary).seekp(13 * 128 + 32).write("0\0", 2); // FRAMES 0
  for (auto [name, channel, code, interval, open_code, open_channels] :
       {std::tuple<std::string, int, int, double, int, int>{path, 4, 9, 0.002, 0, 3},
        {path, 1, ZEL_RPC_NO_DATA, 0.002, 0, 3},
        {missing, 1, ZEL_RPC_OPEN_FAILED, 0.0, 1, 0},
        {text, 1, ZEL_RPC_NOT_RPC, 0.0, 2, 0}}) {
    int np = 5, ch = 5;
    double dt = 5.0;
    EXPECT_EQ(std::make_tuple(zel_rpc_data(name.c_str(), channel, &np, &dt, v), np, dt),
              std::make_tuple(code, 0, interval))
        << name << " " << channel;
    h = zel_rpc_open(name.c_str(), &ch, &np, &dt, a, &status); // a handle whatever the status
    EXPECT_EQ(std::make_tuple(status, ch, np, dt, a[0] != 0),
              std::make_tuple(open_code, open_channels, 0, interval, open_code == 0))
        << name;
    EXPECT_EQ(zel_rpc_readclose(h), 0);
  }
  std::filesystem::resize_file(path, 384); // records 0 to 2 are all it needs
  EXPECT_EQ(std::make_tuple(zel_rpc_sniff(path.c_str()), zel_rpc_sniff(text.c_str()), zel_rpc_sniff(missing.c_str()),
                            zel_rpc_sniff(nullptr)),
            std::make_tuple(1, 0, 0, 0));
}
