// The RPC III writer, its files byte by byte, and the codes and output arguments of the zel_rpc_* functions on what
// cannot be written or read.
#include <gtest/gtest.h>

#include <climits>
#include <limits>
#include <regex>
#include <tuple>

#include "rpc/rpc3_support.h"

using zel_test::FileImage;
using Env = zel_test::WriterEnvironment;

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity(), kNaN = std::numeric_limits<double>::quiet_NaN();
const auto c_real = zel_test::Rpc3File::real;

struct Channel {
  std::string desc = "KIVOR SIMULATION COMPONENT", units = "UNKNOWN";
  double scale = 1.0, upper = 1.0, lower = -1.0;
};

// The header a file should carry: one "KEYWORD=value" line per record of its header blocks, "=" for the unused records
// of the last block.
struct Header {
  std::string run, date;
  int steps = 10, frame = 256, group = 2048, frames = 1;
  double dt = 0.001;
  std::vector<Channel> ch = std::vector<Channel>(1);
  std::string type = "SHORT_INTEGER", repeats = "0";

  std::string text() const {
    const auto s = [](int64_t v) { return std::to_string(v); };
    const int64_t channels = int64_t(ch.size()), params = 22 + 6 * channels;
    std::string r =
        "FORMAT=BINARY_IEEE_LITTLE_END\nNUM_HEADER_BLOCKS=" + s((params + 3) / 4) + "\nNUM_PARAMS=" + s(params) +
        "\nKIVOR_RUN=" + run + "\nKIVOR_STEPS=" + s(steps) + "\nDATA_TYPE=" + type + "\nDATE=" + date +
        "\nFILE_TYPE=TIME_HISTORY\nOPERATION=KIVOR QUORVANTEL I/O\nTIME_TYPE=RESPONSE\nBYPASS_FILTER=0"
        "\nCHANNELS=" +
        s(channels) + "\nDELTA_T=" + c_real(dt) + "\nFRAMES=" + s(frames) +
        "\nHALF_FRAMES=0\nINT_FULL_SCALE=32752\nPART.CHAN_1=1\nPART.NCHAN_1=" + s(channels) +
        "\nPARTITIONS=1\nPTS_PER_FRAME=" + s(frame) + "\nPTS_PER_GROUP=" + s(group) + "\nREPEATS=" + repeats + "\n";
    for (int64_t n = 1; n <= channels; ++n) {
      const Channel &c = ch[size_t(n - 1)];
      const std::string k = ".CHAN_" + s(n) + "=";
      r += "DESC" + k + c.desc + "\nUNITS" + k + c.units + "\nMAP" + k + s(n) + "\nSCALE" + k + c_real(c.scale) +
           "\nUPPER_LIMIT" + k + c_real(c.upper) + "\nLOWER_LIMIT" + k + c_real(c.lower) + "\n";
    }
    for (int64_t r0 = params; r0 % 4; ++r0) r += "=\n";
    return r;
  }
};

// A file's header records in the same form; bytes other than NUL after a text are marked.
std::string records(const FileImage &f) {
  std::string r;
  for (int i = 0; i < std::stoi(f.value(1)) * 4; ++i) {
    const bool clean = f.zero(i * 128 + int64_t(f.keyword(i).size()), i * 128 + 32) &&
                       f.zero(i * 128 + 32 + int64_t(f.value(i).size()), i * 128 + 128);
    r += f.keyword(i) + "=" + f.value(i) + (clean ? "\n" : " <dirty>\n");
  }
  return r;
}

class Rpc3Output : public ::testing::Test {
protected:
  // Writes a file of the given shape; store() may fill channels.
  FileImage write(const std::string &path, int channels, int points,
                  std::function<void(rpc3file_output &)> store = {}) {
    {
      rpc3file_output w(path.c_str(), channels, points, 0.001);
      EXPECT_EQ(w.getStatus(), 0);
      if (store) store(w);
    }
    return FileImage(path);
  }
  zel_test::TempDir dir;
  Env env;
};

} // namespace

// The environment is read when the writer is made: changes while it is open (K 4, 5 repeats, the other value type) do
// not reach it.
TEST_F(Rpc3Output, HeaderAndLayoutFollowTheAnnouncedShapeAndEnvironment) {
  struct Case {
    std::string name;
    const char *k; // QEN_ZEL_FRAMESPERGROUP
    int channels, points, frame, group, frames, groups;
    bool floats = false;                                // QEN_KZEL_RPC_FLOAT set
    const char *repeats = nullptr, *repeats_text = "0"; // QEN_ZEL_NUM_REPEATS, REPEATS
  };
  // clang-format off
  const Case cases[] = {
      // name, K, channels, points; F, G, FRAMES, groups
      {"run%d_1.rsp", nullptr, 1, 1000, 1024, 2048, 1, 1},      // a percent sign is verbatim
      {std::string(150, 'n'), nullptr, 1, 10, 256, 2048, 1, 1}, // cut in the header only
      {"zero", nullptr, 0, 100, 256, 2048, 1, 1}, {"neg", nullptr, -3, 300, 512, 2048, 1, 1}, // below 1: one channel
      {"g", nullptr, 3, 256, 256, 2048, 1, 1}, {"g", nullptr, 3, 257, 512, 2048, 1, 1},
      {"g", nullptr, 3, 512, 512, 2048, 1, 1}, {"g", nullptr, 3, 513, 1024, 2048, 1, 1},
      {"g", nullptr, 3, 2049, 1024, 2048, 3, 2}, {"g", nullptr, 3, 5000, 1024, 2048, 5, 3},
      {"g", nullptr, 3, 0, 256, 2048, 1, 1}, {"g", nullptr, 3, INT_MIN, 256, 2048, 1, 1}, // counts below 1: as 0
      {"k", "1", 2, 300, 512, 512, 1, 1}, {"k", "4.9", 2, 300, 512, 2048, 1, 1},
      {"k", "abc", 2, 300, 512, 1024, 1, 1}, {"k", " 1e0", 2, 300, 512, 512, 1, 1},
      {"k", "4", 2, 5000, 1024, 4096, 5, 2}, {"k", "1", 2, 5000, 1024, 1024, 5, 5},
      {"f", nullptr, 2, 1000, 1024, 2048, 1, 1, true}, {"k", "8", 2, 300, 512, 1024, 1, 1}, // K is 1, 2 or 4
      {"r", nullptr, 1, 10, 256, 2048, 1, 1, false, "3.7", "3"}, {"r", nullptr, 1, 10, 256, 2048, 1, 1, false, "x"},
      {"r", nullptr, 1, 10, 256, 2048, 1, 1, false, "-2.9", "-2"},
      {"r", nullptr, 1, 10, 256, 2048, 1, 1, false, "1e10", "2147483647"}};
  // clang-format on
  for (const auto &c : cases) {
    SCOPED_TRACE("case " + std::to_string(&c - cases));
    Env::set(Env::kFramesPerGroup, c.k), Env::set(Env::kFloat, c.floats ? "" : nullptr),
        Env::set(Env::kRepeats, c.repeats);
    const std::string path = dir.file(c.name);
    FileImage provisional(path);
    FileImage f = write(path, c.channels, c.points, [&](rpc3file_output &) {
      provisional = FileImage(path);
      Env::set(Env::kFramesPerGroup, "4"), Env::set(Env::kFloat, c.floats ? nullptr : ""), Env::set(Env::kRepeats, "5");
    });
    Header h{path.substr(0, 95), f.value(6), c.points, c.frame, c.group, c.frames};
    h.ch.resize(size_t(std::max(c.channels, 1))), h.type = c.floats ? "FLOATING_POINT" : "SHORT_INTEGER";
    h.repeats = c.repeats_text;
    EXPECT_EQ(records(f), h.text());
    const int64_t data = int64_t(h.ch.size()) * c.group * (c.floats ? 4 : 2) * c.groups,
                  header = std::stoi(f.value(1)) * 512;
    ASSERT_EQ(int64_t(f.bytes.size()), header + data);
    // Before any channel is stored the header is the final one and the data section has its final size, all zeros.
    EXPECT_EQ(provisional.bytes, f.bytes);
    EXPECT_TRUE(f.zero(header, header + data));
    EXPECT_TRUE(
        std::regex_match(f.value(6), std::regex("(Sun|Mon|Tue|Wed|Thu|Fri|Sat) (Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|"
                                                "Oct|Nov|Dec) [ 123]\\d \\d\\d:\\d\\d:\\d\\d \\d{4}")))
        << f.value(6);
  }
}

// Quotients of the scale lose their fraction toward zero; the last sample is repeated to the frame's end, the group's
// unused frames stay zero; a subnormal extreme, whose scale rounds to one step, gives quotients held to the full scale;
// NaN is stored as 0; floats are stored as they are.
TEST_F(Rpc3Output, SamplesAreScaledTruncatedHeldAndRepeatedToWholeFrames) {
  // clang-format off
  const std::vector<std::tuple<bool, std::vector<double>, std::vector<double>>> cases = {
      // floats, samples, stored at 0 to 3 and 255
      {false, {1.0, -2.0, 0.5, 0.1}, {16376, -32752, 8188, 1637, 1637}}, // 0.1 * 16376 = 1637.6
      {false, {3.0, 1.0, -1.0, -1.0}, {double(int16_t(3.0 / (3.0 / 32752))), 10917, -10917, -10917, -10917}},
      {false, {2.3e-319, -2.3e-319, 0.0, 0.0}, {32752, -32752, 0, 0, 0}},
      {false, {1.0, kNaN, -0.5, 0.25}, {32752, 0, -16376, 8188, 8188}},
      {true, {1.0, -2.0, 0.5, 0.1}, {1.0, -2.0, 0.5, double(0.1f), double(0.1f)}}};
  // clang-format on
  for (const auto &[floats, in, want] : cases) {
    Env::set(Env::kFloat, floats ? "1" : nullptr);
    FileImage f = write(dir.file("s.rsp"), 1, 4,
                        [&](rpc3file_output &w) { EXPECT_EQ(w.setChannel(1, 4, in.data(), nullptr, nullptr), 0); });
    const int64_t at = 7 * 512, b = floats ? 4 : 2;
    std::vector<double> got;
    for (int p : {0, 1, 2, 3, 255})
      got.push_back(floats ? double(f.at<float>(at + 4 * p)) : double(f.at<int16_t>(at + 2 * p)));
    EXPECT_EQ(got, want) << in[0];
    ASSERT_EQ(int64_t(f.bytes.size()), at + 2048 * b);
    EXPECT_TRUE(f.zero(at + 256 * b, at + 2048 * b)); // the group's unused frames
    if (floats) { EXPECT_EQ(f.value(25), c_real(2.0 / 32752)) << "floats still carry the scale"; }
  }
}

TEST_F(Rpc3Output, ChannelsLandInTheirRunsGroupByGroup) {
  // 5000 points: frames of 1024, 2 per group, 5 frames in 3 groups. Channel 1 is never stored (refused calls change
  // nothing), channel 2 a ramp given with more samples than the file's 5120 points, channel 3 all zero, channel 4 with
  // non-finite samples.
  std::vector<double> ramp(6000);
  for (int i = 0; i < 6000; ++i) ramp[size_t(i)] = i < 5120 ? i + 1 : -1e6;
  const std::vector<double> zeros(50, 0.0);
  const double odd[] = {1.0, kInf, -3.0, kNaN};
  const std::string units(120, 'u'), path = dir.file("runs.rsp");
  FileImage f = write(path, 4, 5000, [&](rpc3file_output &w) {
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
  Header h{path, f.value(6), 5000, 1024, 2048, 5};
  h.ch.resize(4);
  h.ch[1] = {"ramp", units.substr(0, 95), 5120.0 / 32752, 5120.0, 1.0};
  h.ch[2].scale = h.ch[2].upper = h.ch[2].lower = 0.0;
  h.ch[3].scale = h.ch[3].upper = kInf; // finite samples then divide to 0, the infinity to NaN, stored as 0
  h.ch[3].lower = -3.0;
  EXPECT_EQ(records(f), h.text());
  const int64_t at = 12 * 512, run = 2048 * 2;
  ASSERT_EQ(int64_t(f.bytes.size()), at + 3 * 4 * run);
  for (int g = 0; g < 3; ++g)
    for (int c : {1, 3, 4}) EXPECT_TRUE(f.zero(at + (4 * g + c - 1) * run, at + (4 * g + c) * run)) << g << " " << c;
  for (int p = 0; p < 5120; ++p)
    ASSERT_EQ(f.at<int16_t>(at + ((p / 2048) * 4 + 1) * run + (p % 2048) * 2), int16_t((p + 1) / (5120.0 / 32752)))
        << p;
  EXPECT_TRUE(f.zero(at + 9 * run + 1024 * 2, at + 10 * run)); // the last group's second frame
}

// What cannot be created, written or read: codes and output arguments.
TEST_F(Rpc3Output, FunctionsOnWhatCannotBeWrittenOrRead) {
  double v[3] = {1, 2, 3}, t[3];
  char a[96], b[96];
  EXPECT_EQ(std::make_tuple(zel_rpc_getnpts(nullptr, 1, 3, v), zel_rpc_attributes(nullptr, 1, a, b),
                            zel_rpc_getwindow(nullptr, 1, 0.0, 1, t, v), zel_rpc_putchannel(nullptr, 1, 3, v, "d", "u"),
                            zel_rpc_writeclose(nullptr)),
            std::make_tuple(0, 3, 3, 3, 3)); // no handle
  int status = -1; // creation: 8 without a folder, 10 (a handle that takes nothing, no file) out of memory
  const std::string missing = dir.file("no/dir/x.rsp"), huge = dir.file("huge.rsp"), text = dir.file("text.rsp"),
                    empty = dir.file("empty.rsp"), two = dir.file("two.rsp"), cut = dir.file("cut.rsp");
  EXPECT_EQ(std::make_tuple(zel_rpc_create(missing.c_str(), 1, 10, 0.1, &status), status), std::make_tuple(nullptr, 8));
  EXPECT_EQ(rpc3file_output(missing.c_str(), 1, 10, 0.1).setChannel(1, 1, v, nullptr, nullptr), ZEL_RPC_CREATE_FAILED);
  void *h = zel_rpc_create(huge.c_str(), INT_MAX, 10, 0.1, &status);
  EXPECT_EQ(status, ZEL_RPC_OUT_OF_MEMORY);
  EXPECT_EQ(zel_rpc_putchannel(h, 1, 1, v, nullptr, nullptr), ZEL_RPC_OUT_OF_MEMORY);
  EXPECT_EQ(zel_rpc_writeclose(h), 0);
  EXPECT_FALSE(std::filesystem::exists(missing) || std::filesystem::exists(huge));
  // Opening and the size a one-shot read gives, also for a channel out of range; a file cut short opens and reads
  // (status 6 is for the class).
  zel_test::write_file(text, std::vector<unsigned char>(1000, 'a'));
  zel_test::Rpc3File f;
  f.write(two);
  f.size_change = -3000, f.write(cut);
  f.records.clear(), f.frames = 0, f.size_change = 0, f.write(empty);
  for (auto [name, channel, code, points, interval, open_code, open_channels] :
       {std::tuple<std::string, int, int, int, double, int, int>{two, 3, ZEL_RPC_CHANNEL_RANGE, 768, 0.01, 0, 2},
        {cut, 1, 0, 768, 0.01, 0, 2},
        {empty, 1, ZEL_RPC_NO_DATA, 0, 0.01, 0, 2},
        {missing, 1, ZEL_RPC_OPEN_FAILED, 0, 0.0, 1, 0},
        {text, 1, ZEL_RPC_NOT_RPC, 0, 0.0, 2, 0}}) {
    int np = 5, ch = 5;
    double dt = 5.0;
    EXPECT_EQ(std::make_tuple(zel_rpc_data(name.c_str(), channel, &np, &dt, nullptr), np, dt),
              std::make_tuple(code, points, interval))
        << name << " " << channel;
    h = zel_rpc_open(name.c_str(), &ch, &np, &dt, a, &status); // a handle whatever the status
    EXPECT_EQ(std::make_tuple(status, ch, np, dt, a[0] != 0),
              std::make_tuple(open_code, open_channels, points, interval, open_code == 0))
        << name;
    EXPECT_EQ(std::make_tuple(zel_rpc_attributes(h, 3, a, b), zel_rpc_getwindow(h, 3, 0.0, 1, t, v),
                              zel_rpc_getnpts(h, 3, 1, v)),
              std::make_tuple(ZEL_RPC_CHANNEL_RANGE, ZEL_RPC_CHANNEL_RANGE, 0))
        << name;
    EXPECT_EQ(zel_rpc_readclose(h), 0);
  }
  std::filesystem::resize_file(two, 384); // records 0 to 2 are all it needs
  EXPECT_EQ(std::make_tuple(zel_rpc_sniff(two.c_str()), zel_rpc_sniff(text.c_str()), zel_rpc_sniff(missing.c_str()),
                            zel_rpc_sniff(nullptr)),
            std::make_tuple(1, 0, 0, 0));
}

// Explicit settings outrank the environment. The largest magnitude is the full scale, so the stored integers are the
// quotients. Unknown settings create nothing.
TEST_F(Rpc3Output, ExplicitValueTypeAndConversion) {
  Env::set(Env::kFloat, "1");
  const std::vector<double> v = {32752, 1.6, -1.6, 2.5, -2.5, 0.4, -32752};
  const std::tuple<int, int, std::vector<double>> cases[] = {
      {ZEL_RPC_INT16, ZEL_RPC_TRUNCATE, {32752, 1, -1, 2, -2, 0, -32752}},
      {ZEL_RPC_INT16, ZEL_RPC_ROUND_NEAREST, {32752, 2, -2, 3, -3, 0, -32752}},
      {ZEL_RPC_FLOAT32, ZEL_RPC_TRUNCATE, {32752, double(1.6f), double(-1.6f), 2.5, -2.5, double(0.4f), -32752}}};
  const std::string path = dir.file("s.rsp"), x = dir.file("x.rsp");
  for (const auto &[type, conversion, want] : cases) {
    int status = -1, points = 0;
    double dt = 0;
    void *w = zel_rpc_create_as(path.c_str(), 1, 7, 0.5, type, conversion, 0, &status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(zel_rpc_putchannel(w, 1, 7, v.data(), "d", "u"), 0);
    EXPECT_EQ(zel_rpc_writeclose(w), 0);
    std::vector<double> back(256);
    EXPECT_EQ(zel_rpc_data(path.c_str(), 1, &points, &dt, back.data()), 0);
    EXPECT_EQ(std::vector<double>(back.begin(), back.begin() + 7), want) << type << conversion;
    EXPECT_EQ(FileImage(path).value(5), type == ZEL_RPC_FLOAT32 ? "FLOATING_POINT" : "SHORT_INTEGER");
  }
  for (auto [type, conversion, extra] : {std::tuple{2, 0, 0}, {0, 2, 0}, {0, 0, -1}}) {
    int status = -1;
    EXPECT_EQ(zel_rpc_create_as(x.c_str(), 1, 1, 1.0, type, conversion, extra, &status), nullptr);
    EXPECT_EQ(status, ZEL_RPC_CREATE_FAILED);
    rpc3file_output out(x.c_str(), 1, 1, 1.0, type, conversion, extra);
    EXPECT_EQ(std::make_tuple(out.getStatus(), out.putRecord("A", "b")),
              std::make_tuple(ZEL_RPC_CREATE_FAILED, ZEL_RPC_CREATE_FAILED));
    EXPECT_FALSE(std::filesystem::exists(x));
  }
}

// Extra records, the date and the run name written and listed back; the recorded sample count read back within the
// points.
TEST_F(Rpc3Output, ExtraRecordsDateAndSampleCount) {
  const std::string path = dir.file("r.rsp");
  rpc3file_output out(path.c_str(), 2, 3, 0.25, ZEL_RPC_INT16, ZEL_RPC_ROUND_NEAREST, 2);
  const double v[] = {1, 2, 3};
  const std::string long_value(120, 'v');
  EXPECT_EQ(out.setChannel(1, 3, v, "one", "N"), 0);
  // clang-format off
  const std::tuple<const char *, const char *, int> puts[] = {
      {"DATE", "1-Jan-2026 00:00:00", 0}, {"KIVOR_RUN", "run name", 0}, {"STAT.CHAN_1", "first", 0},
      {"STAT.CHAN_1", "3.0", 0} /* replaces */, {"STAT.CHAN_2", long_value.c_str(), 0}, {"STAT.CHAN_3", "no room", 9},
      {"CHANNELS", "5", 9}, {"DESC.CHAN_1", "x", 9}, {"KIVOR_STEPS", "7", 9}, {"", "x", 9}, {"TWO WORDS", "x", 9},
      {"K23456789012345678901234567890123", "x", 9}, {nullptr, "x", 9}, {"A", nullptr, 9}};
  // clang-format on
  for (const auto &[keyword, value, status] : puts)
    EXPECT_EQ(out.putRecord(keyword, value), status) << (keyword ? keyword : "null");
  EXPECT_EQ(out.close(), 0);
  EXPECT_EQ(out.putRecord("A", "b"), ZEL_RPC_BAD_HANDLE);

  int channels = 0, points = 0, status = -1;
  double dt = 0;
  char date[96], keyword[32], value[96];
  void *h = zel_rpc_open(path.c_str(), &channels, &points, &dt, date, &status);
  ASSERT_EQ(status, 0);
  EXPECT_EQ(std::make_tuple(points, zel_rpc_samples(h), std::string(date)),
            std::make_tuple(256, 3, std::string("1-Jan-2026 00:00:00")));
  std::string listed;
  int index = 1;
  for (; zel_rpc_record(h, index, keyword, value) == 0; ++index) listed += std::string(keyword) + "=" + value + ";";
  EXPECT_EQ(index - 1, 22 + 2 * 6 + 2); // fixed, channel and extra records
  EXPECT_NE(listed.find("STAT.CHAN_1=3.0;STAT.CHAN_2=" + std::string(95, 'v') + ";"), std::string::npos);
  EXPECT_EQ(listed.rfind("FORMAT=BINARY_IEEE_LITTLE_END;", 0), 0u);
  EXPECT_NE(listed.find(";KIVOR_RUN=run name;KIVOR_STEPS=3;"), std::string::npos);
  EXPECT_EQ(std::make_tuple(zel_rpc_record(h, 0, keyword, value), zel_rpc_record(h, 1, nullptr, nullptr),
                            zel_rpc_record(nullptr, 1, keyword, value), zel_rpc_samples(nullptr)),
            std::make_tuple(ZEL_RPC_CHANNEL_RANGE, 0, ZEL_RPC_BAD_HANDLE, 0));
  zel_rpc_readclose(h);
  // Two frames of 256 points: a recorded count counts when it lies in 1..512.
  const std::pair<const char *, int> steps[] = {{nullptr, 512}, {"300", 300}, {"1", 1},    {"512", 512},
                                                {"513", 512},   {"0", 512},   {"-4", 512}, {"x", 512}};
  for (const auto &[text, samples] : steps) {
    zel_test::Rpc3File f;
    f.frames = 2;
    f.standard_records();
    if (text) f.set("KIVOR_STEPS", text);
    rpc3file_input in(f.write(dir.file("k.rsp")).c_str());
    in.initRead(0);
    EXPECT_EQ(in.getSamples(), samples) << (text ? text : "none");
  }
  rpc3file_input missing(dir.file("none.rsp").c_str());
  EXPECT_EQ(std::make_tuple(missing.getSamples(), missing.getRecord(1, keyword, nullptr)),
            std::make_tuple(0, ZEL_RPC_CHANNEL_RANGE));
}
