// The exported DAC functions: written files against the builder's layout,
// round trips, foreign and hostile files, handles and their read buffers, and
// zel_dac_getwindow on ten samples x1 .. x10 (start 0, interval 0.5).
#include "zel.h"

#include "dac/dac_file.h"
#include "dac/dac_test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <regex>
#include <string>
#include <tuple>
#include <vector>

using namespace dac_test;

namespace {

std::vector<double> doubles(const std::vector<float> &v) { return std::vector<double>(v.begin(), v.end()); }

struct ReadResult { int status, npts; double start, rate; char date[121], x_label[25], x_note[29], y_label[25], y_note[29]; };
ReadResult read_description(const std::string &path) {
  ReadResult r{};
  std::strcpy(r.date, "old");
  r.status = zel_dac_read(path.c_str(), &r.npts, &r.start, &r.rate, r.date, r.x_label, r.x_note, r.y_label, r.y_note);
  return r;
}

// zel_dac_data's status and outputs (outputs preset to -1).
std::tuple<int, int, double, double> data(const std::string &path, double *x) {
  int npts = -1;
  double start = -1, rate = -1;
  return {zel_dac_data(path.c_str(), &npts, &start, &rate, x), npts, start, rate};
}

// The builder's file with the "Date" detail the written file carries, after
// checking that date's 24-character asctime form.
Bytes with_written_date(DacBuilder b, const Bytes &written) {
  const size_t at = static_cast<size_t>(512 * b.first_detail_record() + 8);
  const std::string date = written.size() >= at + 24 ? text(written, at, 24) : "";
  EXPECT_TRUE(std::regex_match(date, std::regex("[A-Z][a-z]{2} [A-Z][a-z]{2} [ 123][0-9] "
                                                "[0-2][0-9]:[0-5][0-9]:[0-6][0-9] [0-9]{4}")))
      << date;
  b.details = {{"DATE", date}};
  return b.build();
}

zel::dac::ReadScratch &buffer_of(void *handle) { return static_cast<zel::DacFile *>(handle)->scratch(); }

Bytes after_header(const Bytes &b) { return Bytes(b.begin() + std::min<size_t>(512, b.size()), b.end()); }

} // namespace

TEST(DacMessages, EveryCodeHasItsTextAndOthersAreUnknown) {
  const char *expected[] = {
      "No error", "Error reading header record", "Not a valid dac file", "Error writing header record",
      "File is already open in call to Open", "Bad arguments passed to function", "Error opening file",
      "Error writing data", "File not in write mode", "File not in read mode",
      "No data points written to file", "Error seeking to read/write position", "Error reading data",
      "Extra details keyword not found", "Open call has not been made", "Stats not yet known",
      "Error reading extra details", "Error writing extra details", "Invalid handle",
      "Start point for read is beyond end of signal", "End point for read is before start point",
      "Sample rate must be positive", "Number of points must be greater than zero",
      "Statistics are not valid"};
  for (int code = -1; code <= 24; ++code) {
    char buffer[64] = "stale text";
    zel_dac_geterror(code, buffer);
    EXPECT_STREQ(buffer, code >= 0 && code < 24 ? expected[code] : "Unknown error") << code;
  }
}

TEST(DacWrite, WrittenFileIsTheLayoutByteForByteAndReadsBack) {
  TempDir dir;
  const std::string path = dir.file("h.dac");
  const std::vector<double> x = {5.0, -7.0, 7.0, 1.0, -1.0};
  ASSERT_EQ(zel_dac_write(path.c_str(), 5, 2.5, 200.0, x.data(), "  a note of thirty characters!",
                          "a y label longer than 24 chars", "sixteen chars..."),
            ZEL_DAC_OK);
  DacBuilder b;
  b.samples = {5, -7, 7, 1, -1};
  b.interval = static_cast<float>(1.0 / 200.0);
  b.start_time = 2.5f;
  b.stats = {1.0f, static_cast<float>(std::sqrt(30.0)), 7.0f, -7.0f, 5.0f}; // sample deviation
  b.indices = {3, 2, 2}; // the abs-max tie takes the smaller index
  b.y_label = "a y label longer than 24 chars";
  b.x_note = "  a note of thirty characters!";
  b.y_note = "sixteen chars...";
  const Bytes got = read_bytes(path);
  ASSERT_EQ(got.size(), 512u * 4); // header, data, a directory and a data record
  EXPECT_TRUE(got == with_written_date(b, got));

  const ReadResult r = read_description(path); // the rate from the stored interval
  EXPECT_EQ(std::make_tuple(r.status, r.npts, r.start, r.rate, zel_dac_sniff(path.c_str())),
            std::make_tuple(ZEL_DAC_OK, 5, 2.5, 1.0 / static_cast<double>(b.interval), 1));
  EXPECT_EQ(std::string(r.date) + "|" + r.x_label + "|" + r.x_note + "|" + r.y_label + "|" + r.y_note,
            text(got, 1544, 24) + "|Time|  a note of thirty character|a y label longer than 24|sixteen chars...");
}

TEST(DacWrite, SizesZeroFillAndRoundTripOfEveryStoredFloat) {
  TempDir dir;
  const std::pair<int, size_t> cases[] = {{1, 4}, {127, 4}, {128, 4}, {129, 5}, {2 * 1024 + 452, 23}, {100000, 785}};
  for (auto [n, records] : cases) {
    const std::string path = dir.file("n" + std::to_string(n) + ".dac");
    std::vector<double> x(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) x[static_cast<size_t>(i)] = std::sin(0.001 * i) * 1234.5678 + 1e-3 * i;
    DacBuilder b;
    b.samples.assign(x.begin(), x.end());
    b.interval = 1.0f / 512;
    ASSERT_EQ(zel_dac_write(path.c_str(), n, -1.0, 512.0, x.data(), "", "", ""), ZEL_DAC_OK) << n;
    const Bytes got = read_bytes(path);
    EXPECT_EQ(got.size(), 512 * records) << n;
    EXPECT_TRUE(after_header(got) == after_header(with_written_date(b, got))) << n;
    std::vector<double> back(static_cast<size_t>(n), 1e300);
    EXPECT_EQ((std::tuple{data(path, back.data()), back}), (std::tuple{std::make_tuple(ZEL_DAC_OK, n, -1.0, 512.0), doubles(b.samples)})) << n;
  }
}

TEST(DacWrite, DetailsFillDirectoriesOf48AndShortLastGroups) {
  TempDir dir;
  for (int count : {48, 49}) {
    const std::string path = dir.file("d" + std::to_string(count) + ".dac");
    DacBuilder b;
    b.samples = {1, 2, 3};
    zel::DacFile f;
    ASSERT_EQ(f.open(path.c_str(), "wb"), ZEL_DAC_OK);
    ASSERT_EQ(f.writePoints(3, b.samples.data()), ZEL_DAC_OK);
    for (int i = 0; i < count; ++i) {
      b.details.emplace_back("KEY" + std::to_string(i), "value " + std::to_string(i));
      ASSERT_EQ(f.addDetail(("key" + std::to_string(i)).c_str(), b.details.back().second.c_str()), ZEL_DAC_OK);
    }
    ASSERT_EQ(f.close(), ZEL_DAC_OK);
    const Bytes got = read_bytes(path);
    const int records = count == 48 ? 13 : 15; // a directory and 12 data records, then 1 + 1
    EXPECT_EQ(std::make_tuple(got.size(), get<float>(got, 64)), std::make_tuple(512u * (2 + records), float(records))) << count;
    EXPECT_TRUE(after_header(got) == after_header(b.build())) << count;

    zel::DacFile r; // reading gives the details back in order
    EXPECT_EQ((std::tuple{r.open(path.c_str(), "rb"), r.detailCount(), std::string(r.detailKeyword(count - 1))}), (std::tuple{ZEL_DAC_OK, count, b.details.back().first}));
  }
}

TEST(DacWrite, RateAndArgumentRulesAndNoFileLeftOpen) {
  const int descriptors = open_descriptors();
  TempDir dir;
  const double one = 3.5, two[2] = {1, 2};
  const std::string single = dir.file("one.dac"), refused = dir.file("two.dac"), empty = dir.file("empty.dac");
  ASSERT_EQ(zel_dac_write(single.c_str(), 1, 0.0, 0.0, &one, "", "", nullptr), ZEL_DAC_OK);
  const Bytes b = read_bytes(single); // a single sample may have rate 0: interval 1
  EXPECT_EQ(std::make_tuple(get<float>(b, 4), get<float>(b, 12), get<float>(b, 32)), std::make_tuple(1.0f, 1.0f, 3.5f));
  for (double rate : {0.0, -5.0, static_cast<double>(NAN), 1.0}) // 1.0: without samples
    EXPECT_EQ(zel_dac_write(refused.c_str(), 2, 0.0, rate, rate == 1.0 ? nullptr : two, "", "", ""), ZEL_DAC_BAD_ARGUMENTS);
  EXPECT_FALSE(std::filesystem::exists(refused));
  // No samples: the close reports 10 and the file created is removed.
  EXPECT_EQ(zel_dac_write(empty.c_str(), -4, 0.0, 1.0, two, "", "", ""), ZEL_DAC_NO_POINTS);
  EXPECT_EQ(zel_dac_write(dir.file("no/such/dir.dac").c_str(), 2, 0.0, 1.0, two, "", "", ""), ZEL_DAC_OPEN_FAILED);
  EXPECT_EQ(std::make_tuple(std::filesystem::exists(empty), zel_dac_sniff(dir.file("missing.dac").c_str())), std::make_tuple(false, 0));
  EXPECT_EQ(open_descriptors(), descriptors) << "a one-shot call left a file open";
}

TEST(DacRead, ForeignFilesRevisionZeroAndOddKeywords) {
  TempDir dir;
  DacBuilder b;
  b.x_note = "0123456789abcdefGHIJKLMNOPQRSTUV"; // 32 stored: 28 kept
  b.y_note = "short           x";                // the head's trailing blanks stay
  const ReadResult r = read_description(b.write(dir, "plain.dac"));
  EXPECT_EQ(std::make_tuple(r.status, r.npts, r.rate, std::string(r.date)), std::make_tuple(ZEL_DAC_OK, 10, 2.0, std::string("Unknown")));
  EXPECT_EQ(std::string(r.x_note) + "|" + r.y_note + "|" + r.y_label, "0123456789abcdefGHIJKLMNOPQR|short           x|Load");

  b.details = {{"        ", "skipped: blank keyword"}, {"date", "Mon Jan  5 01:02:03 2026"}, {"EMPTY", ""}, {"DATE", "second"}};
  zel::DacFile f;
  ASSERT_EQ(f.open(b.write(dir, "odd.dac").c_str(), "rb"), ZEL_DAC_OK);
  EXPECT_EQ(std::make_tuple(f.detailCount(), std::string(f.detailKeyword(0))), std::make_tuple(2, std::string("DATE")));
  EXPECT_STREQ(read_description(dir.file("odd.dac")).date, "Mon Jan  5 01:02:03 2026");

  b = DacBuilder();
  b.revision = 0;
  b.kind_code = 101;
  b.samples = ramp(7);
  b.point_count_f = 6.6f; // rounds to 7
  b.indices = {4, 2, 6};  // float copies: read only with the stats flag
  for (int16_t flag : {0, 1}) {
    b.stats_flag = flag;
    zel::DacFile g;
    ASSERT_EQ(g.open(b.write(dir, "r0.dac").c_str(), "rb"), ZEL_DAC_OK);
    EXPECT_EQ((std::vector<int64_t>{g.getPointCount(), g.maxIndex(), g.minIndex(), g.absmaxIndex()}),
              (flag ? std::vector<int64_t>{7, 4, 2, 6} : std::vector<int64_t>{7, 1, 1, 1}));
    std::vector<double> x(7);
    EXPECT_EQ((std::tuple{data(dir.file("r0.dac"), x.data()), x}), (std::tuple{std::make_tuple(ZEL_DAC_OK, 7, 0.0, 2.0), doubles(ramp(7))}));
  }
}

TEST(DacRead, RefusedShortAndCutFilesAndTheirCodes) {
  TempDir dir;
  const std::string tiny = dir.file("tiny.dac");
  write_bytes(tiny, Bytes(100, 0));
  const ReadResult r = read_description(tiny);
  EXPECT_EQ(std::make_tuple(r.status, std::string(r.date), zel_dac_sniff(tiny.c_str())), std::make_tuple(ZEL_DAC_HEADER_READ, std::string("old"), 0));
  std::vector<double> x(300);
  EXPECT_EQ(data(dir.file("missing"), x.data()), std::make_tuple(ZEL_DAC_OPEN_FAILED, 0, 0.0, 0.0)); // outputs cleared
  DacBuilder b;
  b.format_marker = 2; // the validity test itself is checked field by field elsewhere
  EXPECT_EQ(read_description(b.write(dir, "m.dac")).status, ZEL_DAC_NOT_DAC);
  b = DacBuilder();
  b.start_time = 1.5f;
  EXPECT_EQ(data(b.write(dir, "d.dac"), nullptr), std::make_tuple(ZEL_DAC_DATA_READ, 10, 1.5, 2.0));
  // The header promises 300 samples, the file holds 10: it opens, and
  // reading the missing samples fails.
  b.point_count = 300;
  b.pad_data = false;
  EXPECT_EQ(data(b.write(dir, "short.dac"), x.data()), std::make_tuple(ZEL_DAC_DATA_READ, 300, 1.5, 2.0));
  for (float interval : {-0.5f, NAN}) { // reported, the file still serves (see DacHandle)
    b.interval = interval;
    const std::string path = b.write(dir, "i.dac");
    EXPECT_EQ(std::make_tuple(read_description(path).status, std::get<0>(data(path, x.data()))), std::make_tuple(ZEL_DAC_BAD_RATE, ZEL_DAC_BAD_RATE));
  }
  b = DacBuilder();
  b.samples.clear();
  EXPECT_EQ(data(b.write(dir, "none.dac"), x.data()), std::make_tuple(ZEL_DAC_NO_POINTS, 0, 0.0, 2.0));
  // Cut inside the extra details: a handle with cleared outputs all the same.
  b = DacBuilder();
  b.details = {{"A", "1"}, {"B", "2"}, {"C", "3"}, {"D", "4"}, {"E", "5"}};
  b.cut_to = 512 * 4 + 100;
  const Opened o(b.write(dir, "cut.dac"));
  EXPECT_EQ(std::make_tuple(zel_dac_sniff(dir.file("cut.dac").c_str()), read_description(dir.file("cut.dac")).status, o.status, o.npts, o.rate, o.spare, zel_dac_close(o.h)),
            std::make_tuple(0, ZEL_DAC_DETAILS_READ, ZEL_DAC_DETAILS_READ, 0, 0.0, 0.0, ZEL_DAC_OK));
}

// Two files in one process: short.dac claims 2000 samples and holds 1900
// (each 1.0), other.dac holds 3000 (7, 8, 9, ...). However the short file is
// read, what it lacks is 0.0, never a value of the other file or of an
// earlier call.
TEST(DacRead, SamplesTheFileLacksAreZeroWhateverWasReadBefore) {
  TempDir dir;
  DacBuilder s, o;
  s.samples.assign(1900, 1.0f);
  s.point_count = 2000;
  s.pad_data = false;
  o.samples = ramp(3000, 1.0f, 6.0f);
  const std::string short_path = s.write(dir, "short.dac"), other_path = o.write(dir, "other.dac");
  std::vector<double> want(2000, 0.0), x;
  std::fill(want.begin(), want.begin() + 1900, 1.0);
  // Before: nothing; 2000 samples of the other file into the same array, on
  // a handle kept open or closed since. Then one read of 2000 (into the
  // caller's array), or 1000 + 1000 (the second through the handle's buffer).
  for (int before : {0, 1, 2})
    for (const std::vector<int> &steps : {std::vector<int>{2000}, {1000, 1000}}) {
      x.assign(2000, -1.0);
      const Opened other(other_path);
      if (before) {
        ASSERT_EQ(std::make_tuple(zel_dac_getnpts(other.h, 2000, x.data()), x[1900]), std::make_tuple(2000, 1907.0));
      }
      if (before != 1) zel_dac_close(other.h);
      const Opened h(short_path);
      int got = 0;
      for (int n : steps) got += zel_dac_getnpts(h.h, n, x.data() + got);
      EXPECT_EQ((std::tuple{got, x}), (std::tuple{2000, want})) << before << " " << steps.size();
      if (before == 1) zel_dac_close(other.h);
      zel_dac_close(h.h);
    }
  // The whole file, into an array holding the other file's samples.
  x.assign(3000, -1.0);
  ASSERT_EQ(std::get<0>(data(other_path, x.data())), ZEL_DAC_OK);
  x.resize(2000);
  EXPECT_EQ((std::tuple{data(short_path, x.data()), x}), (std::tuple{std::make_tuple(ZEL_DAC_DATA_READ, 2000, 0.0, 2.0), want}));
  // Windows after the other file: inside the stored part the file's values;
  // one that reaches past it fails with 12 and holds 0.0 throughout.
  const Opened other(other_path), h(short_path);
  x.assign(3000, -1.0);
  ASSERT_EQ(zel_dac_getnpts(other.h, 3000, x.data()), 3000);
  for (auto [centre, status, value] : {std::tuple{1000, ZEL_DAC_OK, 1.0}, {1950, ZEL_DAC_DATA_READ, 0.0}}) {
    std::vector<double> t(121);
    EXPECT_EQ(zel_dac_getwindow(h.h, 2000, 0.0, 0.5, 0.5 * centre, 60, t.data(), x.data() + centre), status) << centre;
    EXPECT_EQ(std::vector<double>(x.begin() + centre, x.begin() + centre + 121), std::vector<double>(121, value)) << centre;
  }
  EXPECT_EQ(zel_dac_close(other.h) + zel_dac_close(h.h), ZEL_DAC_OK);
}

TEST(DacHandle, OpenGetnptsCloseFailedOpensAndTheReadBuffers) {
  TempDir dir;
  DacBuilder b;
  b.samples = ramp(5000, 0.5f, 0.0f); // sample n holds n / 2
  b.interval = 0.0f;                  // reported, but the file still serves
  const std::string path = b.write(dir, "s.dac");
  const Opened o(path), other(path);
  EXPECT_EQ(std::make_tuple(o.status, o.npts, o.rate, o.spare), std::make_tuple(ZEL_DAC_BAD_RATE, 5000, 0.0, 0.0));
  std::vector<double> x(3000);
  for (auto [n, capacity] : {std::pair{100, 1024}, {3000, 3000}, {500, 3000}})
    EXPECT_EQ((std::tuple{zel_dac_getnpts(o.h, n, x.data()), buffer_of(o.h).capacity()}), (std::tuple{n, int64_t{capacity}}));
  EXPECT_EQ(std::make_tuple(x[0], x[499]), std::make_tuple(0.5 * 3101, 0.5 * 3600));
  EXPECT_EQ(zel_dac_getnpts(o.h, 0, x.data()) + zel_dac_getnpts(o.h, -3, x.data()) + zel_dac_getnpts(nullptr, 10, x.data()), 0);
  // Each handle has its own buffer. A failed allocation is not a failed
  // read: the samples go straight into the caller's array.
  buffer_of(other.h).failNextAllocation();
  EXPECT_EQ((std::tuple{zel_dac_getnpts(other.h, 1000, x.data()), buffer_of(other.h).capacity(), buffer_of(o.h).capacity(), x[0], x[999]}),
            (std::tuple{1000, int64_t{0}, int64_t{3000}, 0.5 * 1, 0.5 * 1000}));
  EXPECT_EQ((std::tuple{zel_dac_getnpts(o.h, 1500, x.data()), zel_dac_getnpts(o.h, 10, x.data()), zel_dac_close(o.h), zel_dac_close(other.h), zel_dac_close(nullptr)}),
            (std::tuple{1400, 0, ZEL_DAC_OK, ZEL_DAC_OK, ZEL_DAC_BAD_HANDLE}));

  // A failed open still gives a handle, which close releases (no leak).
  const Opened missing(dir.file("missing.dac"));
  double t[5], v[5];
  EXPECT_EQ((std::tuple{missing.status, zel_dac_getnpts(missing.h, 4, x.data()), zel_dac_getwindow(missing.h, 10, 0.0, 0.5, 0.0, 2, t, v), zel_dac_close(missing.h)}),
            (std::tuple{ZEL_DAC_OPEN_FAILED, 0, ZEL_DAC_START_BEYOND_END, ZEL_DAC_NOT_OPEN}));
}

TEST(DacHostile, HugeOrBrokenCountsNeitherCrashNorOverAllocate) {
  TempDir dir;
  // detail_records far too large, NaN or negative (-5 rounds to -4: one group,
  // ((-4 - 1) div 13) + 1); the last claims many records after a real group;
  // then details "before" the file or far beyond its end.
  for (auto [claim, details, count, status] :
       {std::tuple{1e30f, false, 10, ZEL_DAC_DETAILS_READ}, {INFINITY, false, 10, ZEL_DAC_DETAILS_READ},
        {-5.0f, false, 10, ZEL_DAC_DETAILS_READ}, {NAN, false, 10, ZEL_DAC_OK}, {-1e30f, false, 10, ZEL_DAC_OK},
        {-20.0f, false, 10, ZEL_DAC_OK}, {0.4f, false, 10, ZEL_DAC_OK}, {1e30f, true, 10, ZEL_DAC_DETAILS_READ},
        {2.0f, false, INT32_MIN, ZEL_DAC_SEEK}, {2.0f, false, INT32_MAX, ZEL_DAC_DETAILS_READ}}) {
    DacBuilder b;
    b.detail_records = claim;
    b.point_count = count;
    if (details) b.details = {{"DATE", "d"}};
    EXPECT_EQ(read_description(b.write(dir, "dr.dac")).status, status) << claim << " " << count;
  }
  // Point counts beyond the file or negative, from int (revision 2) or float (0):
  // the count meant is delivered, stored samples first, no buffer beyond the file.
  for (auto [revision, n] : {std::pair{2, double{INT32_MAX}}, {2, -1000.0}, {0, 1e30}, {0, -1e30}, {0, double{NAN}}}) {
    DacBuilder b;
    b.revision = revision;
    b.point_count_f = static_cast<float>(n); // the count revision 0 reads
    if (revision == 2) b.point_count = static_cast<int32_t>(n);
    const Opened o(b.write(dir, "pc.dac"));
    std::vector<double> x(4096, 0.0), want = doubles(b.samples);
    want.resize(4096, 0.0);
    EXPECT_EQ(std::make_tuple(o.status, zel_dac_getnpts(o.h, 4096, x.data())), std::make_tuple(ZEL_DAC_OK, o.npts > 0 ? 4096 : 0));
    EXPECT_EQ(x, o.npts > 0 ? want : std::vector<double>(4096, 0.0)) << n;
    EXPECT_LE(buffer_of(o.h).capacity(), 1024);
    EXPECT_EQ(zel_dac_close(o.h), ZEL_DAC_OK);
  }
}

// A handle on ten samples x1 .. x10 (start 0, interval 0.5), closed at the end.
class DacWindow : public testing::Test {
protected:
  void TearDown() override { EXPECT_EQ(zel_dac_close(o.h), ZEL_DAC_OK); }
  TempDir dir;
  std::vector<float> x = ramp(10, 1.25f, 0.5f);
  std::string path = [this] { DacBuilder b; b.samples = x; return b.write(dir, "w.dac"); }();
  Opened o{path};
};

TEST_F(DacWindow, InsidePastOneEndPastBothEndsAndOutside) {
  // Centre, half width, 1-based sample numbers of the values, time of the first.
  // A caller's count above the file's is cut to it, one below ends the signal early.
  const struct { double centre; int h; std::vector<int> samples; double first_time; int n = 10; } cases[] = {
      {2.0, 2, {3, 4, 5, 6, 7}, 1.0},
      {5.0, 1, {10, 10, 10}, 4.5, 50},
      {5.0, 1, {4, 4, 4}, 4.5, 4},
      {2.2, 2, {3, 4, 5, 6, 7}, 1.0},
      {1.9999999999, 2, {3, 4, 5, 6, 7}, 1.0}, // within 1e-8 of an interval
      {1.99, 2, {2, 3, 4, 5, 6}, 0.5},
      {0.0, 2, {1, 1, 1, 2, 3}, -1.0},
      {4.5, 2, {8, 9, 10, 10, 10}, 3.5},
      {2.5, 5, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 10}, 0.0}, // c >= h, c + h = npts: past the end only
      {100.0, 1, {10, 10, 10}, 99.5},
      {-10.0, 1, {1, 1, 1}, -10.5},
      {2.0, 7, {1, 1, 1, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 10, 10}, -1.5},
      {2.0, 0, {5}, 2.0},
      {30.0, 0, {10}, 30.0}};
  for (const auto &c : cases) {
    std::vector<double> t(c.samples.size(), -99.0), v(c.samples.size(), -99.0), want_t, want_v;
    ASSERT_EQ(zel_dac_getwindow(o.h, c.n, 0.0, 0.5, c.centre, c.h, t.data(), v.data()), ZEL_DAC_OK);
    for (size_t i = 0; i < c.samples.size(); ++i) {
      want_t.push_back(c.first_time + 0.5 * static_cast<double>(i));
      want_v.push_back(x[static_cast<size_t>(c.samples[i] - 1)]);
    }
    EXPECT_EQ(v, want_v) << c.centre << " " << c.h;
    EXPECT_EQ(t, want_t) << c.centre << " " << c.h;
    double rest[10]; // the read position ends after the window
    EXPECT_EQ(zel_dac_getnpts(o.h, 10, rest), 0) << c.centre << " " << c.h;
  }
}

TEST_F(DacWindow, BadArgumentsInfinityAndNullHandle) {
  // Infinitely far away is simply outside; refused arguments (the last: a
  // negative half width) leave the outputs alone.
  const int bad = ZEL_DAC_BAD_ARGUMENTS;
  for (auto [n, dt, centre, h, status] : {std::tuple{10, 0.5, double{INFINITY}, 1, int{ZEL_DAC_OK}}, {10, 0.0, 1.0, 1, bad}, {10, -0.5, 1.0, 1, bad},
                                          {10, double{NAN}, 1.0, 1, bad}, {0, 0.5, 1.0, 1, bad}, {10, 0.5, double{NAN}, 1, bad}, {10, 0.5, 1.0, -1, bad}}) {
    std::vector<double> t(3, 5.0), v(3, 5.0);
    EXPECT_EQ(zel_dac_getwindow(o.h, n, 0.0, dt, centre, h, t.data(), v.data()), status) << n << " " << dt << " " << centre << " " << h;
    EXPECT_EQ(v, std::vector<double>(3, status ? 5.0 : x[9]));
  }
  std::vector<double> t(5, -1.0), v(5, -1.0);
  // Null handle: positions F .. F + (e - s) get time 0 and every value 0.
  EXPECT_EQ(zel_dac_getwindow(nullptr, 10, 0.0, 0.5, 0.0, 2, t.data(), v.data()), ZEL_DAC_BAD_HANDLE);
  EXPECT_EQ(t, (std::vector<double>{-1.0, -0.5, 0.0, 0.0, 0.0})); // F = 2, samples 1 .. 3
  EXPECT_EQ(v, std::vector<double>(5, 0.0));
}

TEST(DacWindowWide, WindowsWiderThanOneBatchAreServed) {
  TempDir dir;
  DacBuilder b;
  b.samples = ramp(3000, 1.0f, 0.0f); // sample n holds n
  b.interval = 0.25f;
  const Opened o(b.write(dir, "wide.dac"));
  const int h_width = 2000, c = 1500; // centre at sample c + 1: past both ends
  std::vector<double> t(2 * h_width + 1), v(t.size());
  ASSERT_EQ(zel_dac_getwindow(o.h, o.npts, 0.0, 0.25, 0.25 * c, h_width, t.data(), v.data()), ZEL_DAC_OK);
  for (int i = 0; i < 2 * h_width + 1; ++i) {
    ASSERT_EQ(v[i], std::clamp(c - h_width + i + 1, 1, 3000)) << i;
    ASSERT_EQ(t[i], (c - h_width + i) * 0.25) << i;
  }
  EXPECT_EQ(zel_dac_close(o.h), ZEL_DAC_OK);
}
