// The exported DAC functions: files written byte by byte, round trips,
// foreign and hostile files, handles and the scratch buffer, every code.
#include "zel.h"

#include "dac/dac_file.h"
#include "dac/dac_scratch.h"
#include "dac/dac_test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <regex>
#include <string>
#include <vector>

using namespace dac_test;

namespace {

std::vector<double> doubles(const std::vector<float> &v) { return std::vector<double>(v.begin(), v.end()); }

struct ReadResult {
  int status;
  int npts;
  double start, rate;
  char date[121], x_label[25], x_note[29], y_label[25], y_note[29];
};

ReadResult read_description(const std::string &path) {
  ReadResult r{};
  std::strcpy(r.date, "old");
  r.status = zel_dac_read(path.c_str(), &r.npts, &r.start, &r.rate, r.date, r.x_label, r.x_note,
                          r.y_label, r.y_note);
  return r;
}

std::string message(int code) {
  char buffer[64];
  std::memset(buffer, 'x', sizeof buffer);
  zel_dac_geterror(code, buffer);
  return buffer;
}

} // namespace

TEST(DacMessages, EveryCodeHasItsTextAndOthersAreUnknown) {
  const char *expected[] = {"No error",
                            "Error reading header record",
                            "Not a valid dac file",
                            "Error writing header record",
                            "File is already open in call to Open",
                            "Bad arguments passed to function",
                            "Error opening file",
                            "Error writing data",
                            "File not in write mode",
                            "File not in read mode",
                            "No data points written to file",
                            "Error seeking to read/write position",
                            "Error reading data",
                            "Extra details keyword not found",
                            "Open call has not been made",
                            "Stats not yet known",
                            "Error reading extra details",
                            "Error writing extra details",
                            "Invalid handle",
                            "Start point for read is beyond end of signal",
                            "End point for read is before start point",
                            "Sample rate must be positive",
                            "Number of points must be greater than zero",
                            "Statistics are not valid"};
  for (int code = 0; code < 24; ++code) EXPECT_EQ(message(code), expected[code]) << code;
  EXPECT_EQ(message(24), "Unknown error");
  EXPECT_EQ(message(-1), "Unknown error");
  EXPECT_EQ(message(19).size(), 44u);
  zel_dac_geterror(0, nullptr); // tolerated
}

TEST(DacWrite, HeaderFieldsAreWrittenExactly) {
  TempDir dir;
  const std::string path = dir.file("h.dac");
  const std::vector<double> x = {5.0, -7.0, 7.0, 1.0, 0.1};
  ASSERT_EQ(zel_dac_write(path.c_str(), 5, 2.5, 200.0, x.data(),
                          "a note of thirty characters!!!", "Strain", "sixteen chars..."),
            ZEL_DAC_OK);
  const Bytes b = read_bytes(path);
  // Header, one data record, one directory record and one data record.
  ASSERT_EQ(b.size(), 512u * 4);
  EXPECT_EQ(f32(b, 0), 5.0f);
  EXPECT_EQ(f32(b, 4), static_cast<float>(1.0 / 200.0));
  EXPECT_EQ(f32(b, 8), 2.5f);
  EXPECT_EQ(f32(b, 12), static_cast<float>(1.0 / (1.0 / 200.0)));
  double sum = 0, sq = 0;
  for (double v : x) {
    const double f = static_cast<float>(v);
    sum += f;
    sq += f * f;
  }
  const double mean = sum / 5;
  EXPECT_EQ(f32(b, 16), static_cast<float>(mean));
  EXPECT_EQ(f32(b, 20), static_cast<float>(std::sqrt(5.0 / 4.0 * (sq / 5 - mean * mean))));
  EXPECT_EQ(f32(b, 32), 7.0f);
  EXPECT_EQ(f32(b, 36), -7.0f);
  EXPECT_EQ(f32(b, 64), 2.0f);
  EXPECT_EQ(f32(b, 68), static_cast<float>(std::sqrt(sq / 5)));
  EXPECT_EQ(i32(b, 112), 3);
  EXPECT_EQ(i32(b, 116), 2);
  EXPECT_EQ(i32(b, 120), 2);
  EXPECT_EQ(i32(b, 124), 5);
  EXPECT_EQ(i16(b, 128), 1);
  EXPECT_EQ(i16(b, 130), 3);
  EXPECT_EQ(b[134], 0xFE);
  EXPECT_EQ(b[135], 0xFF);
  EXPECT_EQ(text(b, 136, 12), blanks(12)); // y note of exactly 16 characters
  EXPECT_EQ(i16(b, 148), -2);
  EXPECT_EQ(text(b, 150, 12), " characters!");
  EXPECT_EQ(i16(b, 176), 0);
  EXPECT_EQ(i16(b, 180), 1);
  EXPECT_EQ(i16(b, 190), 2);
  EXPECT_EQ(text(b, 356, 24), "Strain" + blanks(18));
  EXPECT_EQ(text(b, 380, 24), "Time" + blanks(20));
  EXPECT_EQ(text(b, 432, 16), "sixteen chars...");
  EXPECT_EQ(text(b, 448, 16), "a note of thirty");
  EXPECT_EQ(f32(b, 500), 3.0f);
  EXPECT_EQ(f32(b, 504), 2.0f);
  EXPECT_EQ(f32(b, 508), 2.0f);
  // Every byte not listed is zero.
  const std::vector<std::pair<size_t, size_t>> fields = {
      {0, 24}, {32, 8}, {64, 8}, {112, 20}, {134, 28}, {176, 2}, {180, 2},
      {190, 2}, {356, 48}, {432, 32}, {500, 12}};
  for (size_t i = 0; i < 512; ++i) {
    bool listed = false;
    for (const auto &f : fields) listed = listed || (i >= f.first && i < f.first + f.second);
    if (!listed) {
      ASSERT_EQ(b[i], 0) << "byte " << i;
    }
  }
  // Samples, then zeros to the end of the record.
  for (size_t p = 0; p < 5; ++p) EXPECT_EQ(f32(b, 512 + 4 * p), static_cast<float>(x[p]));
  for (size_t i = 512 + 20; i < 1024; ++i) ASSERT_EQ(b[i], 0) << i;
  // The "Date" detail: directory at record 3, value in record 4.
  EXPECT_EQ(text(b, 1024, 8), "DATE    ");
  EXPECT_EQ(i16(b, 1032), 1);
  EXPECT_EQ(text(b, 1034, 8), blanks(8));
  EXPECT_EQ(i16(b, 1042), 0);
  EXPECT_EQ(i32(b, 1024 + 500), 0);
  EXPECT_EQ(i16(b, 1024 + 504), -1);
  EXPECT_EQ(text(b, 1536, 8), "DATE    ");
  const std::string date = text(b, 1544, 24);
  EXPECT_TRUE(std::regex_match(date, std::regex("[A-Z][a-z]{2} [A-Z][a-z]{2} [ 123][0-9] "
                                                "[0-2][0-9]:[0-5][0-9]:[0-6][0-9] [0-9]{4}")))
      << date;
  EXPECT_EQ(text(b, 1568, 2048 - 1568), blanks(2048 - 1568));
}

TEST(DacWrite, SizesFollowTheRecordLayout) {
  TempDir dir;
  struct Case {
    int n;
    size_t size, details_at;
  } cases[] = {{1, 512 * 4, 1024}, {128, 512 * 4, 1024}, {129, 512 * 5, 1536}, {2 * 1024 + 452, 512 * 23, 512 * 21}};
  for (const Case &c : cases) {
    const std::string path = dir.file("n" + std::to_string(c.n) + ".dac");
    const std::vector<float> x = ramp(c.n, 0.5f, 1.0f);
    const std::vector<double> xd = doubles(x);
    ASSERT_EQ(zel_dac_write(path.c_str(), c.n, 0.0, 10.0, xd.data(), "", "", ""), ZEL_DAC_OK);
    const Bytes b = read_bytes(path);
    ASSERT_EQ(b.size(), c.size) << c.n;
    EXPECT_EQ(text(b, c.details_at, 8), "DATE    ") << c.n;
    EXPECT_EQ(f32(b, 512 + 4 * static_cast<size_t>(c.n - 1)), x.back());
    for (size_t i = 512 + 4 * static_cast<size_t>(c.n); i < c.details_at; ++i) {
      ASSERT_EQ(b[i], 0) << c.n << " byte " << i;
    }
  }
}

TEST(DacWrite, DetailsFillDirectoriesOf48AndShortLastGroups) {
  TempDir dir;
  for (int count : {48, 49}) {
    const std::string path = dir.file("d" + std::to_string(count) + ".dac");
    zel::DacFile f;
    ASSERT_EQ(f.open(path.c_str(), "wb"), ZEL_DAC_OK);
    const float x[3] = {1, 2, 3};
    ASSERT_EQ(f.writePoints(3, x), ZEL_DAC_OK);
    for (int i = 0; i < count; ++i) {
      ASSERT_EQ(f.addDetail(("key" + std::to_string(i)).c_str(), ("value " + std::to_string(i)).c_str()),
                ZEL_DAC_OK);
    }
    ASSERT_EQ(f.close(), ZEL_DAC_OK);
    const Bytes b = read_bytes(path);
    const size_t R = 3, dir0 = 512 * (R - 1);
    const int records = count == 48 ? 13 : 15;
    ASSERT_EQ(b.size(), 512u * (2 + static_cast<size_t>(records))) << count;
    EXPECT_EQ(f32(b, 64), static_cast<float>(records));
    for (size_t j = 0; j < 48; ++j) {
      EXPECT_EQ(text(b, dir0 + 10 * j, 8), "KEY" + std::to_string(j) + blanks(8 - 3 - std::to_string(j).size()));
      EXPECT_EQ(i16(b, dir0 + 10 * j + 8), static_cast<int16_t>(j + 1));
      const size_t slot = 512 * R + 128 * j; // slot j + 1
      EXPECT_EQ(text(b, slot, 8), text(b, dir0 + 10 * j, 8));
      const std::string v = "value " + std::to_string(j);
      EXPECT_EQ(text(b, slot + 8, 120), v + blanks(120 - v.size()));
    }
    for (size_t i = dir0 + 480; i < dir0 + 500; ++i) EXPECT_EQ(b[i], 0);
    EXPECT_EQ(i32(b, dir0 + 500), count == 48 ? 0 : static_cast<int32_t>(R + 13));
    EXPECT_EQ(i16(b, dir0 + 504), -1);
    for (size_t i = dir0 + 506; i < dir0 + 512; ++i) EXPECT_EQ(b[i], 0);
    if (count == 49) {
      const size_t dir1 = 512 * (R + 13 - 1);
      EXPECT_EQ(text(b, dir1, 8), "KEY48   ");
      EXPECT_EQ(i16(b, dir1 + 8), 53);
      for (size_t j = 1; j < 48; ++j) {
        EXPECT_EQ(text(b, dir1 + 10 * j, 8), blanks(8));
        EXPECT_EQ(i16(b, dir1 + 10 * j + 8), 0);
      }
      EXPECT_EQ(i32(b, dir1 + 500), 0);
      EXPECT_EQ(i16(b, dir1 + 504), -1);
      const size_t data = dir1 + 512;
      EXPECT_EQ(text(b, data, 16), "KEY48   value 48");
      EXPECT_EQ(text(b, data + 128, 384), blanks(384));
    }
    // Reading gives the details back in order.
    zel::DacFile r;
    ASSERT_EQ(r.open(path.c_str(), "rb"), ZEL_DAC_OK);
    ASSERT_EQ(r.detailCount(), count);
    EXPECT_STREQ(r.detailKeyword(count - 1), ("KEY" + std::to_string(count - 1)).c_str());
    char value[121];
    ASSERT_EQ(r.getDetail("key47", value), ZEL_DAC_OK);
    EXPECT_STREQ(value, "value 47");
  }
}

TEST(DacWrite, RoundTripKeepsEveryStoredFloat) {
  TempDir dir;
  for (int n : {1, 127, 128, 129, 100000}) {
    const std::string path = dir.file("rt.dac");
    std::vector<double> x(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) x[static_cast<size_t>(i)] = std::sin(0.001 * i) * 1234.5678 + 1e-3 * i;
    ASSERT_EQ(zel_dac_write(path.c_str(), n, -1.0, 512.0, x.data(), "x", "y", "z"), ZEL_DAC_OK) << n;
    int npts = -1;
    double start = 9, rate = 9;
    std::vector<double> back(static_cast<size_t>(n), 1e300);
    ASSERT_EQ(zel_dac_data(path.c_str(), &npts, &start, &rate, back.data()), ZEL_DAC_OK) << n;
    ASSERT_EQ(npts, n);
    EXPECT_EQ(start, -1.0);
    EXPECT_EQ(rate, 1.0 / static_cast<double>(static_cast<float>(1.0 / 512.0)));
    for (size_t i = 0; i < x.size(); ++i) {
      ASSERT_EQ(back[i], static_cast<double>(static_cast<float>(x[i]))) << n << " at " << i;
    }
  }
}

TEST(DacWrite, RateAndArgumentRules) {
  TempDir dir;
  const double one = 3.5, two[2] = {1, 2};
  const std::string single = dir.file("one.dac");
  ASSERT_EQ(zel_dac_write(single.c_str(), 1, 0.0, 0.0, &one, "", "", nullptr), ZEL_DAC_OK);
  const Bytes b = read_bytes(single);
  EXPECT_EQ(f32(b, 4), 1.0f);
  EXPECT_EQ(f32(b, 12), 1.0f);
  EXPECT_EQ(f32(b, 32), 3.5f);

  const std::string refused = dir.file("two.dac");
  EXPECT_EQ(zel_dac_write(refused.c_str(), 2, 0.0, 0.0, two, "", "", ""), ZEL_DAC_BAD_ARGUMENTS);
  EXPECT_EQ(zel_dac_write(refused.c_str(), 2, 0.0, -5.0, two, "", "", ""), ZEL_DAC_BAD_ARGUMENTS);
  EXPECT_EQ(zel_dac_write(refused.c_str(), 2, 0.0, NAN, two, "", "", ""), ZEL_DAC_BAD_ARGUMENTS);
  EXPECT_FALSE(exists(refused));
  EXPECT_EQ(zel_dac_write(refused.c_str(), 2, 0.0, 1.0, nullptr, "", "", ""), ZEL_DAC_BAD_ARGUMENTS);
  EXPECT_FALSE(exists(refused));

  // No samples: the file is created, but the close reports 10.
  const std::string empty = dir.file("empty.dac");
  EXPECT_EQ(zel_dac_write(empty.c_str(), 0, 0.0, 1.0, two, "", "", ""), ZEL_DAC_NO_POINTS);
  EXPECT_EQ(zel_dac_write(empty.c_str(), -4, 0.0, 1.0, two, "", "", ""), ZEL_DAC_NO_POINTS);
  EXPECT_EQ(zel_dac_write(dir.file("no/such/dir.dac").c_str(), 2, 0.0, 1.0, two, "", "", ""),
            ZEL_DAC_OPEN_FAILED);
}

TEST(DacWrite, OneShotCallsLeaveNoFileOpen) {
  const int before = open_descriptors();
  if (before < 0) GTEST_SKIP() << "descriptors cannot be counted here";
  TempDir dir;
  const double two[2] = {1, 2};
  EXPECT_EQ(zel_dac_write(dir.file("e.dac").c_str(), 0, 0.0, 1.0, two, "", "", ""), ZEL_DAC_NO_POINTS);
  EXPECT_EQ(zel_dac_write(dir.file("f.dac").c_str(), 2, 0.0, 0.0, two, "", "", ""), ZEL_DAC_BAD_ARGUMENTS);
  EXPECT_EQ(zel_dac_sniff(dir.file("e.dac").c_str()), 0);
  EXPECT_EQ(zel_dac_sniff(dir.file("missing.dac").c_str()), 0);
  int npts;
  double start, rate;
  EXPECT_EQ(zel_dac_data(dir.file("e.dac").c_str(), &npts, &start, &rate, nullptr), ZEL_DAC_HEADER_READ);
  EXPECT_EQ(read_description(dir.file("missing.dac")).status, ZEL_DAC_OPEN_FAILED);
  EXPECT_EQ(open_descriptors(), before);
}

TEST(DacRead, DescriptionOfAWrittenFile) {
  TempDir dir;
  const std::string path = dir.file("w.dac");
  const double x[3] = {1, 2, 3};
  ASSERT_EQ(zel_dac_write(path.c_str(), 3, 4.0, 8.0, x, "   xn  ", "a y label longer than 24 chars",
                          nullptr),
            ZEL_DAC_OK);
  ReadResult r = read_description(path);
  EXPECT_EQ(r.status, ZEL_DAC_OK);
  EXPECT_EQ(r.npts, 3);
  EXPECT_EQ(r.start, 4.0);
  EXPECT_EQ(r.rate, 8.0);
  EXPECT_STREQ(r.x_label, "Time");
  EXPECT_STREQ(r.x_note, "   xn");
  EXPECT_STREQ(r.y_label, "a y label longer than 24");
  EXPECT_STREQ(r.y_note, "");
  EXPECT_EQ(std::strlen(r.date), 24u);
  EXPECT_EQ(zel_dac_sniff(path.c_str()), 1);
}

TEST(DacRead, ForeignFilesWithoutDateAndWithOddKeywords) {
  TempDir dir;
  DacBuilder b;
  b.x_note = "0123456789abcdefGHIJKLMNOPQRSTUV"; // 32 stored: 28 kept
  b.y_note = "note";
  const std::string plain = b.write(dir, "plain.dac");
  ReadResult r = read_description(plain);
  EXPECT_EQ(r.status, ZEL_DAC_OK);
  EXPECT_STREQ(r.date, "Unknown");
  EXPECT_EQ(r.npts, 10);
  EXPECT_EQ(r.rate, 2.0);
  EXPECT_STREQ(r.x_note, "0123456789abcdefGHIJKLMNOPQR");
  EXPECT_STREQ(r.y_note, "note");
  EXPECT_STREQ(r.y_label, "Load");

  b.details = {{"        ", "skipped: blank keyword"},
               {"date", "Mon Jan  5 01:02:03 2026"},
               {"EMPTY", ""},
               {"DATE", "second date"}};
  const std::string odd = b.write(dir, "odd.dac");
  zel::DacFile f;
  ASSERT_EQ(f.open(odd.c_str(), "rb"), ZEL_DAC_OK);
  ASSERT_EQ(f.detailCount(), 2); // blank keyword and empty value dropped
  EXPECT_STREQ(f.detailKeyword(0), "DATE");
  EXPECT_STREQ(f.detailKeyword(1), "DATE");
  r = read_description(odd);
  EXPECT_EQ(r.status, ZEL_DAC_OK);
  EXPECT_STREQ(r.date, "Mon Jan  5 01:02:03 2026");
}

TEST(DacRead, RevisionZeroAndShortDataArea) {
  TempDir dir;
  DacBuilder b;
  b.revision = 0;
  b.stats_flag = 0;
  b.kind_code = 101;
  b.samples = ramp(12);
  const std::string r0 = b.write(dir, "r0.dac");
  int npts = 0;
  double start, rate;
  std::vector<double> x(12);
  ASSERT_EQ(zel_dac_data(r0.c_str(), &npts, &start, &rate, x.data()), ZEL_DAC_OK);
  EXPECT_EQ(npts, 12);
  EXPECT_EQ(x, doubles(ramp(12)));

  // The header promises 300 samples, the file holds 10: it opens, and
  // reading the missing samples fails.
  DacBuilder s;
  s.point_count = 300;
  s.pad_data = false;
  const std::string short_file = s.write(dir, "short.dac");
  EXPECT_EQ(zel_dac_sniff(short_file.c_str()), 1);
  std::vector<double> y(300);
  EXPECT_EQ(zel_dac_data(short_file.c_str(), &npts, &start, &rate, y.data()), ZEL_DAC_DATA_READ);
  EXPECT_EQ(npts, 300);
}

TEST(DacRead, RefusedFilesAndTheirCodes) {
  TempDir dir;
  const std::string tiny = dir.file("tiny.dac");
  write_bytes(tiny, Bytes(100, 0));
  EXPECT_EQ(zel_dac_sniff(tiny.c_str()), 0);
  ReadResult r = read_description(tiny);
  EXPECT_EQ(r.status, ZEL_DAC_HEADER_READ);
  EXPECT_STREQ(r.date, "old"); // texts untouched when the open fails

  DacBuilder b;
  b.format_marker = 2;
  EXPECT_EQ(read_description(b.write(dir, "m.dac")).status, ZEL_DAC_NOT_DAC);
  b = DacBuilder();
  b.stats_flag = 3;
  EXPECT_EQ(read_description(b.write(dir, "f.dac")).status, ZEL_DAC_NOT_DAC);

  // Cut inside the extra details.
  b = DacBuilder();
  b.details = {{"A", "1"}, {"B", "2"}, {"C", "3"}, {"D", "4"}, {"E", "5"}};
  b.cut_to = 512 * 4 + 100;
  const std::string cut = b.write(dir, "cut.dac");
  EXPECT_EQ(zel_dac_sniff(cut.c_str()), 0);
  EXPECT_EQ(read_description(cut).status, ZEL_DAC_DETAILS_READ);

  int npts = -1, status = -1;
  double rate = -1, spare = -1;
  void *h = zel_dac_open(cut.c_str(), &npts, &rate, &spare, &status);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(status, ZEL_DAC_DETAILS_READ);
  EXPECT_EQ(npts, 0);
  EXPECT_EQ(rate, 0.0);
  EXPECT_EQ(spare, 0.0);
  EXPECT_EQ(zel_dac_close(h), ZEL_DAC_OK);
}

TEST(DacRead, IntervalNotAboveZeroIsReportedButTheFileStillServes) {
  TempDir dir;
  for (float interval : {0.0f, -0.5f, NAN}) {
    DacBuilder b;
    b.interval = interval;
    const std::string path = b.write(dir, "i.dac");
    ReadResult r = read_description(path);
    EXPECT_EQ(r.status, ZEL_DAC_BAD_RATE);
    EXPECT_EQ(r.npts, 10);
    EXPECT_EQ(r.rate, 0.0);
    EXPECT_STREQ(r.date, "Unknown");
    int npts;
    double start, rate = 5;
    std::vector<double> x(10);
    EXPECT_EQ(zel_dac_data(path.c_str(), &npts, &start, &rate, x.data()), ZEL_DAC_BAD_RATE);
    EXPECT_EQ(rate, 0.0);
    int status;
    double spare;
    void *h = zel_dac_open(path.c_str(), &npts, &rate, &spare, &status);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(status, ZEL_DAC_BAD_RATE);
    EXPECT_EQ(npts, 10);
    EXPECT_EQ(zel_dac_getnpts(h, 20, x.data()), 10);
    EXPECT_EQ(x, doubles(ramp(10)));
    EXPECT_EQ(zel_dac_close(h), ZEL_DAC_OK);
  }
}

TEST(DacData, CodesBeforeAnySampleIsRead) {
  TempDir dir;
  DacBuilder b;
  b.start_time = 1.5f;
  const std::string path = b.write(dir, "d.dac");
  int npts = -1;
  double start = -1, rate = -1;
  EXPECT_EQ(zel_dac_data(path.c_str(), &npts, &start, &rate, nullptr), ZEL_DAC_DATA_READ);
  EXPECT_EQ(npts, 10);
  EXPECT_EQ(start, 1.5);
  EXPECT_EQ(rate, 2.0);

  b.samples.clear();
  const std::string none = b.write(dir, "none.dac");
  std::vector<double> x(4);
  EXPECT_EQ(zel_dac_data(none.c_str(), &npts, &start, &rate, x.data()), ZEL_DAC_NO_POINTS);
  EXPECT_EQ(npts, 0);

  EXPECT_EQ(zel_dac_data(dir.file("missing").c_str(), &npts, &start, &rate, x.data()),
            ZEL_DAC_OPEN_FAILED);
  EXPECT_EQ(npts, 0);
  EXPECT_EQ(start, 0.0);
  EXPECT_EQ(rate, 0.0);
}

TEST(DacHandle, OpenGetnptsAndClose) {
  TempDir dir;
  DacBuilder b;
  b.samples = ramp(25);
  const std::string path = b.write(dir, "h.dac");
  int npts = -1, status = -1;
  double rate = -1, spare = -1;
  void *h = zel_dac_open(path.c_str(), &npts, &rate, &spare, &status);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(status, ZEL_DAC_OK);
  EXPECT_EQ(npts, 25);
  EXPECT_EQ(rate, 2.0);
  EXPECT_EQ(spare, 0.0);
  std::vector<double> got, x(10);
  for (int expected : {10, 10, 5, 0, 0}) {
    ASSERT_EQ(zel_dac_getnpts(h, 10, x.data()), expected);
    got.insert(got.end(), x.begin(), x.begin() + expected);
  }
  EXPECT_EQ(got, doubles(ramp(25)));
  EXPECT_EQ(zel_dac_getnpts(h, 0, x.data()), 0);
  EXPECT_EQ(zel_dac_getnpts(h, -3, x.data()), 0);
  EXPECT_EQ(zel_dac_getnpts(nullptr, 10, x.data()), 0);
  EXPECT_EQ(zel_dac_close(h), ZEL_DAC_OK);
  EXPECT_EQ(zel_dac_close(nullptr), ZEL_DAC_BAD_HANDLE);
}

TEST(DacHandle, FailedOpenStillGivesAHandleThatCloseReleases) {
  TempDir dir;
  int npts = -1, status = -1;
  double rate = -1, spare = -1;
  void *h = zel_dac_open(dir.file("missing.dac").c_str(), &npts, &rate, &spare, &status);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(status, ZEL_DAC_OPEN_FAILED);
  double x[4];
  EXPECT_EQ(zel_dac_getnpts(h, 4, x), 0);
  EXPECT_EQ(zel_dac_close(h), ZEL_DAC_NOT_OPEN); // released all the same (no leak)

  const std::string bad = dir.file("bad.dac");
  write_bytes(bad, Bytes(512, 0));
  h = zel_dac_open(bad.c_str(), &npts, &rate, &spare, &status);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(status, ZEL_DAC_NOT_DAC);
  EXPECT_EQ(zel_dac_close(h), ZEL_DAC_OK);
}

TEST(DacHandle, ScratchBufferGrowsOnDemandAndCloseFreesIt) {
  zel_dac_close(nullptr); // start from an empty scratch buffer
  TempDir dir;
  DacBuilder b;
  b.samples = ramp(5000, 0.5f, 0.0f);
  const std::string path = b.write(dir, "s.dac");
  int npts, status;
  double rate, spare;
  void *h = zel_dac_open(path.c_str(), &npts, &rate, &spare, &status);
  void *other = zel_dac_open(path.c_str(), &npts, &rate, &spare, &status);
  ASSERT_NE(h, nullptr);
  std::vector<double> x(3000);
  ASSERT_EQ(zel_dac_getnpts(h, 100, x.data()), 100);
  EXPECT_EQ(zel::dac::scratch_capacity(), 1024);
  ASSERT_EQ(zel_dac_getnpts(h, 3000, x.data()), 3000);
  EXPECT_EQ(zel::dac::scratch_capacity(), 3000);
  EXPECT_EQ(x[0], 50.5);
  EXPECT_EQ(x[2999], 0.5 * 3100);
  ASSERT_EQ(zel_dac_getnpts(h, 500, x.data()), 500);
  EXPECT_EQ(zel::dac::scratch_capacity(), 3000);
  EXPECT_EQ(x[499], 0.5 * 3600);
  // Closing any handle frees the buffer; the other handle reads on.
  EXPECT_EQ(zel_dac_close(other), ZEL_DAC_OK);
  EXPECT_EQ(zel::dac::scratch_capacity(), 0);
  ASSERT_EQ(zel_dac_getnpts(h, 10, x.data()), 10);
  EXPECT_EQ(x[0], 0.5 * 3601);

  // A failed allocation is not a failed read: the samples go straight into
  // the caller's array.
  zel_dac_close(zel_dac_open(path.c_str(), &npts, &rate, &spare, &status));
  zel::dac::scratch_fail_next_allocation();
  ASSERT_EQ(zel_dac_getnpts(h, 1000, x.data()), 1000);
  EXPECT_EQ(zel::dac::scratch_capacity(), 0);
  EXPECT_EQ(x[0], 0.5 * 3611);
  EXPECT_EQ(x[999], 0.5 * 4610);
  EXPECT_EQ(zel_dac_close(h), ZEL_DAC_OK);
}

TEST(DacHostile, HugeOrBrokenCountsNeitherCrashNorOverAllocate) {
  TempDir dir;
  // detail_records far too large, NaN or negative.
  // -5 rounds to -4, which still counts as one group: ((-4 - 1) div 13) + 1.
  const struct {
    float records;
    int status;
  } claims[] = {{1e30f, ZEL_DAC_DETAILS_READ}, {INFINITY, ZEL_DAC_DETAILS_READ},
                {-5.0f, ZEL_DAC_DETAILS_READ}, {NAN, ZEL_DAC_OK},
                {-1e30f, ZEL_DAC_OK},          {-20.0f, ZEL_DAC_OK},
                {0.4f, ZEL_DAC_OK}};
  for (const auto &claim : claims) {
    DacBuilder b;
    b.detail_records = claim.records;
    EXPECT_EQ(read_description(b.write(dir, "dr.dac")).status, claim.status) << claim.records;
  }
  // A real details area followed by a claim of many more records.
  DacBuilder more;
  more.details = {{"DATE", "d"}};
  more.detail_records = 1e30f;
  EXPECT_EQ(read_description(more.write(dir, "more.dac")).status, ZEL_DAC_DETAILS_READ);

  // Point counts beyond the file, negative, from int or float.
  struct Count {
    int revision;
    int32_t n;
    float nf;
  } counts[] = {{2, INT32_MAX, NAN}, {2, -1000, NAN}, {2, INT32_MIN, NAN},
                {0, 0, 1e30f},       {0, 0, -1e30f},  {0, 0, NAN}};
  for (const Count &c : counts) {
    DacBuilder b;
    b.revision = c.revision;
    b.point_count = c.n;
      if (!std::isnan(c.nf) || c.revision == 0) b.point_count_f = c.nf;
    const std::string path = b.write(dir, "pc.dac");
    ReadResult r = read_description(path);
    EXPECT_EQ(r.status, ZEL_DAC_OK);
    int npts, status;
    double rate, spare;
    void *h = zel_dac_open(path.c_str(), &npts, &rate, &spare, &status);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(status, ZEL_DAC_OK);
    std::vector<double> x(4096, -1.0);
    const int got = zel_dac_getnpts(h, 4096, x.data());
    if (npts > 0) {
      // The read runs past the end of the file: the count meant is
      // delivered, the stored samples first, and no buffer beyond what the
      // file holds is allocated.
      EXPECT_EQ(got, 4096);
      EXPECT_EQ(x[0], static_cast<double>(b.samples[0]));
      EXPECT_EQ(x[9], static_cast<double>(b.samples[9]));
      EXPECT_EQ(x[4095], 0.0);
      EXPECT_LE(zel::dac::scratch_capacity(), 1024);
    } else {
      EXPECT_EQ(got, 0);
    }
    double t[3], v[3];
    const int w = zel_dac_getwindow(h, npts, 0.0, 0.5, 1.0, 1, t, v);
    EXPECT_TRUE(w == ZEL_DAC_OK || w == ZEL_DAC_BAD_ARGUMENTS || w == ZEL_DAC_START_BEYOND_END) << w;
    EXPECT_EQ(zel_dac_close(h), ZEL_DAC_OK);
    int n2;
    double s2, r2;
    const int data = zel_dac_data(path.c_str(), &n2, &s2, &r2, npts > 0 && npts <= 4096 ? x.data() : nullptr);
    EXPECT_NE(data, ZEL_DAC_OK);
  }
}

TEST(DacHostile, DetailsWithHugeCountsOfPointsAreNotFoundAndNotRead) {
  TempDir dir;
  DacBuilder b;
  b.point_count = INT32_MIN; // details "before" the file
  b.details = {};
  b.detail_records = 2.0f;
  EXPECT_EQ(read_description(b.write(dir, "neg.dac")).status, ZEL_DAC_SEEK);
  b.point_count = INT32_MAX; // details far beyond the end
  EXPECT_EQ(read_description(b.write(dir, "big.dac")).status, ZEL_DAC_DETAILS_READ);
}
