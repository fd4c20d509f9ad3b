// The exported DAC functions: written files against the builder's layout,
// round trips, foreign and hostile files, handles and the scratch buffer.
#include "zel.h"

#include "dac/dac_file.h"
#include "dac/dac_scratch.h"
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

struct ReadResult {
  int status, npts;
  double start, rate;
  char date[121], x_label[25], x_note[29], y_label[25], y_note[29];
};
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
  const int status = zel_dac_data(path.c_str(), &npts, &start, &rate, x);
  return {status, npts, start, rate};
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
    char buffer[64];
    std::memset(buffer, 'x', sizeof buffer);
    zel_dac_geterror(code, buffer);
    EXPECT_STREQ(buffer, code >= 0 && code < 24 ? expected[code] : "Unknown error") << code;
  }
  zel_dac_geterror(0, nullptr); // tolerated
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
  EXPECT_TRUE(same_bytes(got, with_written_date(b, got)));

  const ReadResult r = read_description(path);
  EXPECT_EQ(std::make_tuple(r.status, r.npts, r.start), std::make_tuple(ZEL_DAC_OK, 5, 2.5));
  EXPECT_EQ(r.rate, 1.0 / static_cast<double>(b.interval)); // from the stored interval
  EXPECT_EQ(r.date, text(got, 1544, 24));
  EXPECT_STREQ(r.x_label, "Time");
  EXPECT_STREQ(r.x_note, "  a note of thirty character");
  EXPECT_STREQ(r.y_label, "a y label longer than 24");
  EXPECT_STREQ(r.y_note, "sixteen chars...");
  EXPECT_EQ(zel_dac_sniff(path.c_str()), 1);
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
    EXPECT_TRUE(same_bytes(after_header(got), after_header(with_written_date(b, got)))) << n;
    std::vector<double> back(static_cast<size_t>(n), 1e300);
    EXPECT_EQ(data(path, back.data()), std::make_tuple(ZEL_DAC_OK, n, -1.0, 512.0));
    EXPECT_EQ(back, doubles(b.samples)) << n;
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
      const std::string k = std::to_string(i);
      ASSERT_EQ(f.addDetail(("key" + k).c_str(), ("value " + k).c_str()), ZEL_DAC_OK);
      b.details.emplace_back("KEY" + k, "value " + k);
    }
    ASSERT_EQ(f.close(), ZEL_DAC_OK);
    const Bytes got = read_bytes(path);
    const int records = count == 48 ? 13 : 15; // a directory and 12 data records, then 1 + 1
    EXPECT_EQ(got.size(), 512u * static_cast<size_t>(2 + records)) << count;
    EXPECT_EQ(get<float>(got, 64), static_cast<float>(records));
    EXPECT_TRUE(same_bytes(after_header(got), after_header(b.build()))) << count;

    zel::DacFile r; // reading gives the details back in order
    ASSERT_EQ(r.open(path.c_str(), "rb"), ZEL_DAC_OK);
    ASSERT_EQ(r.detailCount(), count);
    EXPECT_STREQ(r.detailKeyword(count - 1), ("KEY" + std::to_string(count - 1)).c_str());
    char value[121];
    ASSERT_EQ(r.getDetail("key47", value), ZEL_DAC_OK);
    EXPECT_STREQ(value, "value 47");
  }
}

TEST(DacWrite, RateAndArgumentRulesAndNoFileLeftOpen) {
  const int descriptors = open_descriptors();
  TempDir dir;
  const double one = 3.5, two[2] = {1, 2};
  const std::string single = dir.file("one.dac");
  ASSERT_EQ(zel_dac_write(single.c_str(), 1, 0.0, 0.0, &one, "", "", nullptr), ZEL_DAC_OK);
  const Bytes b = read_bytes(single); // a single sample may have rate 0: interval 1
  EXPECT_EQ(std::make_tuple(get<float>(b, 4), get<float>(b, 12), get<float>(b, 32)), std::make_tuple(1.0f, 1.0f, 3.5f));
  EXPECT_STREQ(read_description(single).y_note, "");

  const std::string refused = dir.file("two.dac");
  for (double rate : {0.0, -5.0, static_cast<double>(NAN)})
    EXPECT_EQ(zel_dac_write(refused.c_str(), 2, 0.0, rate, two, "", "", ""), ZEL_DAC_BAD_ARGUMENTS);
  EXPECT_EQ(zel_dac_write(refused.c_str(), 2, 0.0, 1.0, nullptr, "", "", ""), ZEL_DAC_BAD_ARGUMENTS);
  EXPECT_FALSE(std::filesystem::exists(refused));
  // No samples: the file is created, but the close reports 10.
  const std::string empty = dir.file("empty.dac");
  EXPECT_EQ(zel_dac_write(empty.c_str(), 0, 0.0, 1.0, two, "", "", ""), ZEL_DAC_NO_POINTS);
  EXPECT_EQ(zel_dac_write(empty.c_str(), -4, 0.0, 1.0, two, "", "", ""), ZEL_DAC_NO_POINTS);
  EXPECT_EQ(zel_dac_write(dir.file("no/such/dir.dac").c_str(), 2, 0.0, 1.0, two, "", "", ""), ZEL_DAC_OPEN_FAILED);
  EXPECT_EQ(zel_dac_sniff(empty.c_str()), 0);
  EXPECT_EQ(zel_dac_sniff(dir.file("missing.dac").c_str()), 0);
  EXPECT_EQ(std::get<0>(data(empty, nullptr)), ZEL_DAC_HEADER_READ);
  EXPECT_EQ(read_description(dir.file("missing.dac")).status, ZEL_DAC_OPEN_FAILED);
  EXPECT_EQ(open_descriptors(), descriptors) << "a one-shot call left a file open";
}

TEST(DacRead, ForeignFilesWithoutDateAndWithOddKeywords) {
  TempDir dir;
  DacBuilder b;
  b.x_note = "0123456789abcdefGHIJKLMNOPQRSTUV"; // 32 stored: 28 kept
  b.y_note = "note";
  const ReadResult r = read_description(b.write(dir, "plain.dac"));
  EXPECT_EQ(std::make_tuple(r.status, r.npts, r.rate), std::make_tuple(ZEL_DAC_OK, 10, 2.0));
  EXPECT_STREQ(r.date, "Unknown");
  EXPECT_STREQ(r.x_note, "0123456789abcdefGHIJKLMNOPQR");
  EXPECT_STREQ(r.y_note, "note");
  EXPECT_STREQ(r.y_label, "Load");

  b.details = {{"        ", "skipped: blank keyword"}, {"date", "Mon Jan  5 01:02:03 2026"},
               {"EMPTY", ""}, {"DATE", "second date"}};
  const std::string odd = b.write(dir, "odd.dac");
  zel::DacFile f;
  ASSERT_EQ(f.open(odd.c_str(), "rb"), ZEL_DAC_OK);
  ASSERT_EQ(f.detailCount(), 2); // blank keyword and empty value dropped
  EXPECT_STREQ(f.detailKeyword(0), "DATE");
  EXPECT_STREQ(f.detailKeyword(1), "DATE");
  EXPECT_STREQ(read_description(odd).date, "Mon Jan  5 01:02:03 2026");
}

TEST(DacRead, RevisionZeroAndShortDataArea) {
  TempDir dir;
  DacBuilder b;
  b.revision = 0;
  b.kind_code = 101;
  b.samples = ramp(7);
  b.point_count_f = 6.6f; // rounds to 7
  b.indices = {4, 2, 6};  // float copies: read only with the stats flag
  for (int16_t flag : {0, 1}) {
    b.stats_flag = flag;
    const std::string path = b.write(dir, "r0.dac");
    zel::DacFile f;
    ASSERT_EQ(f.open(path.c_str(), "rb"), ZEL_DAC_OK);
    EXPECT_EQ(f.getPointCount(), 7);
    const std::vector<int64_t> indices = {f.maxIndex(), f.minIndex(), f.absmaxIndex()};
    EXPECT_EQ(indices, (flag ? std::vector<int64_t>{4, 2, 6} : std::vector<int64_t>{1, 1, 1}));
    std::vector<double> x(7);
    EXPECT_EQ(data(path, x.data()), std::make_tuple(ZEL_DAC_OK, 7, 0.0, 2.0));
    EXPECT_EQ(x, doubles(ramp(7)));
  }
  // The header promises 300 samples, the file holds 10: it opens, and
  // reading the missing samples fails.
  DacBuilder s;
  s.point_count = 300;
  s.pad_data = false;
  const std::string short_file = s.write(dir, "short.dac");
  EXPECT_EQ(zel_dac_sniff(short_file.c_str()), 1);
  std::vector<double> y(300);
  EXPECT_EQ(data(short_file, y.data()), std::make_tuple(ZEL_DAC_DATA_READ, 300, 0.0, 2.0));
}

TEST(DacRead, RefusedFilesAndTheirCodes) {
  TempDir dir;
  const std::string tiny = dir.file("tiny.dac");
  write_bytes(tiny, Bytes(100, 0));
  EXPECT_EQ(zel_dac_sniff(tiny.c_str()), 0);
  const ReadResult r = read_description(tiny);
  EXPECT_EQ(r.status, ZEL_DAC_HEADER_READ);
  EXPECT_STREQ(r.date, "old"); // texts untouched when the open fails

  DacBuilder b;
  b.format_marker = 2; // the validity test itself is checked field by field elsewhere
  EXPECT_EQ(read_description(b.write(dir, "m.dac")).status, ZEL_DAC_NOT_DAC);
  // Cut inside the extra details: a handle with cleared outputs all the same.
  b = DacBuilder();
  b.details = {{"A", "1"}, {"B", "2"}, {"C", "3"}, {"D", "4"}, {"E", "5"}};
  b.cut_to = 512 * 4 + 100;
  const std::string cut = b.write(dir, "cut.dac");
  EXPECT_EQ(zel_dac_sniff(cut.c_str()), 0);
  EXPECT_EQ(read_description(cut).status, ZEL_DAC_DETAILS_READ);
  const Opened o(cut);
  ASSERT_NE(o.h, nullptr);
  EXPECT_EQ(std::make_tuple(o.status, o.npts, o.rate, o.spare), std::make_tuple(ZEL_DAC_DETAILS_READ, 0, 0.0, 0.0));
  EXPECT_EQ(zel_dac_close(o.h), ZEL_DAC_OK);
}

TEST(DacRead, IntervalNotAboveZeroIsReportedButTheFileStillServes) {
  TempDir dir;
  for (float interval : {0.0f, -0.5f, NAN}) {
    DacBuilder b;
    b.interval = interval;
    const std::string path = b.write(dir, "i.dac");
    const ReadResult r = read_description(path);
    EXPECT_EQ(std::make_tuple(r.status, r.npts, r.rate), std::make_tuple(ZEL_DAC_BAD_RATE, 10, 0.0));
    EXPECT_STREQ(r.date, "Unknown");
    std::vector<double> x(10);
    EXPECT_EQ(data(path, x.data()), std::make_tuple(ZEL_DAC_BAD_RATE, 10, 0.0, 0.0));
    const Opened o(path);
    ASSERT_NE(o.h, nullptr);
    EXPECT_EQ(std::make_tuple(o.status, o.npts), std::make_tuple(ZEL_DAC_BAD_RATE, 10));
    EXPECT_EQ(zel_dac_getnpts(o.h, 20, x.data()), 10);
    EXPECT_EQ(x, doubles(ramp(10)));
    EXPECT_EQ(zel_dac_close(o.h), ZEL_DAC_OK);
  }
}

TEST(DacData, CodesBeforeAnySampleIsRead) {
  TempDir dir;
  DacBuilder b;
  b.start_time = 1.5f;
  EXPECT_EQ(data(b.write(dir, "d.dac"), nullptr), std::make_tuple(ZEL_DAC_DATA_READ, 10, 1.5, 2.0));
  b.samples.clear();
  std::vector<double> x(4);
  EXPECT_EQ(data(b.write(dir, "none.dac"), x.data()), std::make_tuple(ZEL_DAC_NO_POINTS, 0, 1.5, 2.0));
  // Outputs are cleared at entry.
  EXPECT_EQ(data(dir.file("missing"), x.data()), std::make_tuple(ZEL_DAC_OPEN_FAILED, 0, 0.0, 0.0));
}

TEST(DacHandle, OpenGetnptsCloseAndFailedOpens) {
  TempDir dir;
  DacBuilder b;
  b.samples = ramp(25);
  const Opened o(b.write(dir, "h.dac"));
  ASSERT_NE(o.h, nullptr);
  EXPECT_EQ(std::make_tuple(o.status, o.npts, o.rate, o.spare), std::make_tuple(ZEL_DAC_OK, 25, 2.0, 0.0));
  std::vector<double> got, x(10);
  for (int expected : {10, 10, 5, 0, 0}) {
    ASSERT_EQ(zel_dac_getnpts(o.h, 10, x.data()), expected);
    got.insert(got.end(), x.begin(), x.begin() + expected);
  }
  EXPECT_EQ(got, doubles(ramp(25)));
  EXPECT_EQ(zel_dac_getnpts(o.h, 0, x.data()), 0);
  EXPECT_EQ(zel_dac_getnpts(o.h, -3, x.data()), 0);
  EXPECT_EQ(zel_dac_getnpts(nullptr, 10, x.data()), 0);
  EXPECT_EQ(zel_dac_close(o.h), ZEL_DAC_OK);
  EXPECT_EQ(zel_dac_close(nullptr), ZEL_DAC_BAD_HANDLE);

  // A failed open still gives a handle, which close releases (no leak).
  const Opened missing(dir.file("missing.dac"));
  ASSERT_NE(missing.h, nullptr);
  EXPECT_EQ(missing.status, ZEL_DAC_OPEN_FAILED);
  EXPECT_EQ(zel_dac_getnpts(missing.h, 4, x.data()), 0);
  EXPECT_EQ(zel_dac_close(missing.h), ZEL_DAC_NOT_OPEN);
  write_bytes(dir.file("bad.dac"), Bytes(512, 0));
  const Opened bad(dir.file("bad.dac"));
  ASSERT_NE(bad.h, nullptr);
  EXPECT_EQ(bad.status, ZEL_DAC_NOT_DAC);
  EXPECT_EQ(zel_dac_close(bad.h), ZEL_DAC_OK);
}

TEST(DacHandle, ScratchBufferGrowsOnDemandAndCloseFreesIt) {
  zel_dac_close(nullptr); // start from an empty scratch buffer
  TempDir dir;
  DacBuilder b;
  b.samples = ramp(5000, 0.5f, 0.0f); // sample n holds n / 2
  const std::string path = b.write(dir, "s.dac");
  const Opened o(path), other(path);
  ASSERT_NE(o.h, nullptr);
  std::vector<double> x(3000);
  ASSERT_EQ(zel_dac_getnpts(o.h, 100, x.data()), 100);
  EXPECT_EQ(zel::dac::scratch_capacity(), 1024);
  ASSERT_EQ(zel_dac_getnpts(o.h, 3000, x.data()), 3000);
  EXPECT_EQ(zel::dac::scratch_capacity(), 3000);
  EXPECT_EQ(std::make_pair(x[0], x[2999]), std::make_pair(50.5, 0.5 * 3100));
  ASSERT_EQ(zel_dac_getnpts(o.h, 500, x.data()), 500);
  EXPECT_EQ(zel::dac::scratch_capacity(), 3000);
  // Closing any handle frees the buffer; the other handle reads on.
  EXPECT_EQ(zel_dac_close(other.h), ZEL_DAC_OK);
  EXPECT_EQ(zel::dac::scratch_capacity(), 0);
  ASSERT_EQ(zel_dac_getnpts(o.h, 10, x.data()), 10);
  EXPECT_EQ(x[0], 0.5 * 3601);
  // A failed allocation is not a failed read: the samples go straight into
  // the caller's array.
  zel_dac_close(Opened(path).h);
  zel::dac::scratch_fail_next_allocation();
  ASSERT_EQ(zel_dac_getnpts(o.h, 1000, x.data()), 1000);
  EXPECT_EQ(zel::dac::scratch_capacity(), 0);
  EXPECT_EQ(std::make_pair(x[0], x[999]), std::make_pair(0.5 * 3611, 0.5 * 4610));
  EXPECT_EQ(zel_dac_close(o.h), ZEL_DAC_OK);
}

TEST(DacHostile, HugeOrBrokenCountsNeitherCrashNorOverAllocate) {
  TempDir dir;
  // detail_records far too large, NaN or negative; -5 rounds to -4, which
  // still counts as one group: ((-4 - 1) div 13) + 1. The last case is a real
  // details area followed by a claim of many more records.
  const std::pair<float, int> claims[] = {{1e30f, ZEL_DAC_DETAILS_READ}, {INFINITY, ZEL_DAC_DETAILS_READ},
                                          {-5.0f, ZEL_DAC_DETAILS_READ}, {NAN, ZEL_DAC_OK},
                                          {-1e30f, ZEL_DAC_OK}, {-20.0f, ZEL_DAC_OK}, {0.4f, ZEL_DAC_OK},
                                          {1e30f, ZEL_DAC_DETAILS_READ}};
  for (size_t i = 0; i < std::size(claims); ++i) {
    DacBuilder b;
    b.detail_records = claims[i].first;
    if (i + 1 == std::size(claims)) b.details = {{"DATE", "d"}};
    EXPECT_EQ(read_description(b.write(dir, "dr.dac")).status, claims[i].second) << i;
  }
  // Details "before" the file or far beyond its end.
  DacBuilder far;
  far.detail_records = 2.0f;
  far.point_count = INT32_MIN;
  EXPECT_EQ(read_description(far.write(dir, "neg.dac")).status, ZEL_DAC_SEEK);
  far.point_count = INT32_MAX;
  EXPECT_EQ(read_description(far.write(dir, "big.dac")).status, ZEL_DAC_DETAILS_READ);

  // Point counts beyond the file, negative, from int (revision 2) or float (0).
  const std::pair<int, double> counts[] = {{2, INT32_MAX}, {2, -1000}, {2, INT32_MIN},
                                          {0, 1e30f},     {0, -1e30f}, {0, NAN}};
  for (auto [revision, n] : counts) {
    DacBuilder b;
    b.revision = revision;
    b.point_count_f = static_cast<float>(n); // the count revision 0 reads
    if (revision == 2) b.point_count = static_cast<int32_t>(n);
    const std::string path = b.write(dir, "pc.dac");
    EXPECT_EQ(read_description(path).status, ZEL_DAC_OK);
    const Opened o(path);
    ASSERT_NE(o.h, nullptr);
    EXPECT_EQ(o.status, ZEL_DAC_OK);
    std::vector<double> x(4096, -1.0);
    const int got = zel_dac_getnpts(o.h, 4096, x.data());
    if (o.npts > 0) {
      // The read runs past the end of the file: the count meant is delivered,
      // the stored samples first, and no buffer beyond the file is allocated.
      EXPECT_EQ(got, 4096);
      EXPECT_EQ(std::vector<double>(x.begin(), x.begin() + 10), doubles(b.samples));
      EXPECT_EQ(x[4095], 0.0);
      EXPECT_LE(zel::dac::scratch_capacity(), 1024);
    } else {
      EXPECT_EQ(got, 0);
    }
    double t[3], v[3];
    const int w = zel_dac_getwindow(o.h, o.npts, 0.0, 0.5, 1.0, 1, t, v);
    EXPECT_TRUE(w == ZEL_DAC_OK || w == ZEL_DAC_BAD_ARGUMENTS || w == ZEL_DAC_START_BEYOND_END) << w;
    EXPECT_EQ(zel_dac_close(o.h), ZEL_DAC_OK);
    EXPECT_NE(std::get<0>(data(path, o.npts > 0 && o.npts <= 4096 ? x.data() : nullptr)), ZEL_DAC_OK);
  }
}
