// DAC files: written files against the builder's bytes, foreign and hostile
// files, handles, windows, the validity test and the status table.
#include "dac/dac_file.h"
#include "dac/dac_status.h"
#include "dac/dac_test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <regex>
#include <sstream>

using namespace dac_test;
using zel::DacFile;

namespace {

std::vector<double> doubles(const std::vector<float> &v) { return {v.begin(), v.end()}; }
Bytes after_header(const Bytes &b) { return Bytes(b.begin() + std::min<size_t>(512, b.size()), b.end()); }
int64_t buffer_of(void *handle) { return zel::as_file(handle)->scratch().capacity(); }

struct Description {
  int status, npts;
  double start, rate;
  char date[121] = "old", x_label[25], x_note[29], y_label[25], y_note[29];
};
Description describe(const std::string &path) {
  Description r{};
  r.status = zel_dac_read(path.c_str(), &r.npts, &r.start, &r.rate, r.date, r.x_label, r.x_note, r.y_label, r.y_note);
  return r;
}

// zel_dac_data's status and outputs.
std::tuple<int, int, double, double> data(const std::string &path, double *x) {
  int npts = -1;
  double start = -1, rate = -1;
  const int status = zel_dac_data(path.c_str(), &npts, &start, &rate, x);
  return {status, npts, start, rate};
}

// The builder's file plus the "Date" detail a written file carries, in asctime's form.
Bytes with_written_date(DacBuilder b, const Bytes &written) {
  const size_t at = size_t(512 * b.first_detail_record() + 8);
  const std::string date =
      written.size() >= at + 24 ? std::string(written.begin() + at, written.begin() + at + 24) : "";
  EXPECT_TRUE(std::regex_match(
      date, std::regex("[A-Z][a-z]{2} [A-Z][a-z]{2} [ 123][0-9] [0-2][0-9]:[0-5][0-9]:[0-6][0-9] [0-9]{4}")))
      << date;
  b.details = {{"DATE", date}};
  return b.build();
}

struct Opened {
  int npts = -1, status = -1;
  double rate = -1, spare = -1;
  void *h;
  explicit Opened(const std::string &path) : h(zel_dac_open(path.c_str(), &npts, &rate, &spare, &status)) {}
};

} // namespace

TEST(DacStatus, GeterrorAndTheCommentsOfZelHComeFromOneTable) {
  std::stringstream header;
  header << std::ifstream(ZEL_PUBLIC_HEADER).rdbuf();
  const std::string h = header.str();
  const std::regex line(R"re((ZEL_DAC_\w+) = (\d+),? +/\* "([^"]*)" \*/)re");
  size_t listed = 0;
  for (std::sregex_iterator m(h.begin(), h.end(), line), end; m != end && listed < std::size(zel::dac::kStatuses);
       ++m, ++listed) {
    const zel::dac::Status &s = zel::dac::kStatuses[listed];
    EXPECT_EQ((std::tuple{(*m)[1].str(), std::stoi((*m)[2]), (*m)[3].str()}),
              (std::tuple{std::string(s.name), s.code, std::string(s.message)}));
  }
  EXPECT_EQ(listed, std::size(zel::dac::kStatuses));
  for (int code = -1; code <= int(listed); ++code) {
    char buffer[64] = "stale text";
    zel_dac_geterror(code, buffer);
    EXPECT_STREQ(buffer, code >= 0 && code < int(listed) ? zel::dac::kStatuses[code].message : "Unknown error") << code;
  }
}

TEST(DacFormat, ValidityTestChecksMarkerKindFlagAndRevision) {
  for (auto [marker, kind, flag, revision, status] : {std::tuple{1, 0, 0, 0, ZEL_DAC_OK},
                                                      {1, 1, 1, 2, ZEL_DAC_OK},
                                                      {1, 3, 1, 2, ZEL_DAC_OK},
                                                      {1, 101, 0, 0, ZEL_DAC_OK},
                                                      {1, 2, 1, 2, ZEL_DAC_NOT_DAC},
                                                      {1, 4, 1, 2, ZEL_DAC_NOT_DAC},
                                                      {1, 100, 1, 2, ZEL_DAC_NOT_DAC},
                                                      {1, -1, 1, 2, ZEL_DAC_NOT_DAC},
                                                      {1, 3, 2, 2, ZEL_DAC_NOT_DAC},
                                                      {1, 3, 1, 1, ZEL_DAC_NOT_DAC},
                                                      {0, 3, 1, 2, ZEL_DAC_NOT_DAC},
                                                      {2, 3, 1, 2, ZEL_DAC_NOT_DAC}}) {
    Bytes h(512, 0);
    for (auto [at, v] : {std::pair{128, marker}, {130, kind}, {180, flag}, {190, revision}})
      put(h, size_t(at), int16_t(v));
    EXPECT_EQ(zel::dac::check_header(h.data()), status) << marker << " " << kind << " " << flag << " " << revision;
  }
}

// Statistics: the sample deviation (n - 1); the first of equal extremes
// keeps its index, an abs-max tie takes the smaller; an extreme no sample
// passed (the maximum starts at -1e37) leaves all three indices 0.
TEST(DacWrite, WrittenFilesAreTheLayoutByteForByteAndReadBack) {
  TempDir dir;
  const std::string path = dir.file("h.dac");
  const struct {
    std::vector<float> x;
    std::array<float, 5> stats;
    std::array<int32_t, 3> indices;
  } cases[] = {{{5, -7, 7, 1, -1}, {1.0f, float(std::sqrt(30.0)), 7.0f, -7.0f, 5.0f}, {3, 2, 2}},
               {{2, 2, 2, 2}, {2, 0, 2, 2, 2}, {1, 1, 1}},
               {{-3e38f, -3e38f}, {-3e38f, 0, -1e37f, -3e38f, 3e38f}, {0, 0, 0}}};
  Bytes got;
  for (const auto &c : cases) {
    const std::vector<double> x = doubles(c.x);
    ASSERT_EQ(zel_dac_write(path.c_str(), int(x.size()), 2.5, 200.0, x.data(), "  a note of thirty characters!",
                            "a y label longer than 24 chars", "sixteen chars..."),
              ZEL_DAC_OK);
    DacBuilder b;
    b.samples = c.x, b.stats = c.stats, b.indices = c.indices, b.interval = float(1.0 / 200.0), b.start_time = 2.5f;
    b.y_label = "a y label longer than 24 chars", b.x_note = "  a note of thirty characters!",
    b.y_note = "sixteen chars...";
    got = zel_test::read_file_bytes(path);
    EXPECT_TRUE(got == with_written_date(b, got)) << x[0];
  }
  const Description r = describe(path); // the rate from the stored interval
  EXPECT_EQ((std::tuple{r.status, r.npts, r.start, r.rate, zel_dac_sniff(path.c_str())}),
            (std::tuple{ZEL_DAC_OK, 2, 2.5, 1.0 / double(float(1.0 / 200.0)), 1}));
  EXPECT_EQ(std::string(r.date) + "|" + r.x_label + "|" + r.x_note + "|" + r.y_label + "|" + r.y_note,
            std::string(got.begin() + 1544, got.begin() + 1568) +
                "|Time|  a note of thirty character|a y label longer than 24|sixteen chars...");
  // Sizes around a record's 128 samples: the data, details and every float read back.
  for (auto [n, records] : {std::pair{1, 4}, {127, 4}, {128, 4}, {129, 5}, {2500, 23}}) {
    std::vector<double> in(static_cast<size_t>(n)), back(in.size(), 1e300);
    for (int i = 0; i < n; ++i) in[size_t(i)] = std::sin(0.001 * i) * 1234.5678 + 1e-3 * i;
    DacBuilder b;
    b.samples.assign(in.begin(), in.end()), b.interval = 1.0f / 512;
    ASSERT_EQ(zel_dac_write(path.c_str(), n, -1.0, 512.0, in.data(), "", "", ""), ZEL_DAC_OK) << n;
    const Bytes written = zel_test::read_file_bytes(path);
    EXPECT_EQ(written.size(), 512u * records) << n;
    EXPECT_TRUE(after_header(written) == after_header(with_written_date(b, written))) << n;
    EXPECT_EQ((std::tuple{data(path, back.data()), back}),
              (std::tuple{std::tuple{ZEL_DAC_OK, n, -1.0, 512.0}, doubles(b.samples)}))
        << n;
  }
}

// Without details: batches give the one file, zero-filled to whole records;
// 48 details fill one group, a 49th opens a second, read back in order.
TEST(DacWrite, BatchesZeroFillAndGroupsOfDetails) {
  TempDir dir;
  const std::string path = dir.file("d.dac");
  const std::vector<float> x = ramp(1000, 0.37f, -100.0f);
  for (int details : {0, 48, 49}) {
    DacBuilder b;
    b.samples = x;
    DacFile f;
    ASSERT_EQ(f.open_write(path.c_str()), ZEL_DAC_OK);
    for (int done = 0; done < 1000; done += 300)
      ASSERT_EQ(f.write_points(std::min(300, 1000 - done), &x[size_t(done)]), ZEL_DAC_OK);
    for (int i = 0; i < details; ++i) {
      b.details.emplace_back("KEY" + std::to_string(i), "value " + std::to_string(i));
      ASSERT_EQ(f.add_detail(("key" + std::to_string(i)).c_str(), b.details.back().second.c_str()), ZEL_DAC_OK);
    }
    ASSERT_EQ(f.close(), ZEL_DAC_OK);
    const Bytes got = zel_test::read_file_bytes(path);
    EXPECT_EQ(got.size(), 512u * (9 + (details ? 13 : 0) + (details > 48 ? 2 : 0))) << details;
    EXPECT_TRUE(after_header(got) == after_header(b.build())) << details;
    DacFile r;
    ASSERT_EQ((std::tuple{r.open_read(path.c_str()), r.detail_count()}), (std::tuple{ZEL_DAC_OK, details}));
    for (int i = 0; i < details; ++i)
      EXPECT_EQ((std::tuple{r.detail_keyword(i), r.detail_value(i)}),
                (std::tuple{b.details[size_t(i)].first, b.details[size_t(i)].second}));
  }
}

TEST(DacWrite, RateAndArgumentRulesAndNoFileLeftOpen) {
  const int descriptors = open_descriptors();
  TempDir dir;
  const double one = 3.5, two[2] = {1, 2};
  const std::string single = dir.file("one.dac"), refused = dir.file("two.dac"), empty = dir.file("empty.dac");
  ASSERT_EQ(zel_dac_write(single.c_str(), 1, 0.0, 0.0, &one, "", "", nullptr), ZEL_DAC_OK);
  const Bytes b = zel_test::read_file_bytes(single); // a single sample may have rate 0: interval 1
  EXPECT_EQ((std::tuple{get<float>(b, 4), get<float>(b, 12), get<float>(b, 32)}), (std::tuple{1.0f, 1.0f, 3.5f}));
  for (double rate : {0.0, -5.0, double(NAN), 1.0}) // 1.0: without samples
    EXPECT_EQ(zel_dac_write(refused.c_str(), 2, 0.0, rate, rate == 1.0 ? nullptr : two, "", "", ""),
              ZEL_DAC_BAD_ARGUMENTS);
  // No samples: the close reports 10 and the file created is removed.
  EXPECT_EQ(zel_dac_write(empty.c_str(), -4, 0.0, 1.0, two, "", "", ""), ZEL_DAC_NO_POINTS);
  EXPECT_EQ(zel_dac_write(dir.file("no/such/dir.dac").c_str(), 2, 0.0, 1.0, two, "", "", ""), ZEL_DAC_OPEN_FAILED);
  EXPECT_EQ((std::tuple{std::filesystem::exists(refused), std::filesystem::exists(empty)}), (std::tuple{false, false}));
  EXPECT_EQ(open_descriptors(), descriptors) << "a one-shot call left a file open";
}

TEST(DacRead, ForeignFilesRevisionZeroAndOddDetails) {
  TempDir dir;
  DacBuilder b;
  b.x_note = "0123456789abcdefGHIJKLMNOPQRSTUV"; // 32 stored: 28 kept
  b.y_note = "short           x";                // the head's trailing blanks stay
  b.details = {
      {"        ", "skipped: blank keyword"}, {"date", "Mon Jan  5 01:02:03 2026"}, {"EMPTY", ""}, {"DATE", "second"}};
  const Description r = describe(b.write(dir, "plain.dac"));
  EXPECT_EQ((std::tuple{r.status, r.npts, r.rate, std::string(r.date)}),
            (std::tuple{ZEL_DAC_OK, 10, 2.0, std::string("Mon Jan  5 01:02:03 2026")}));
  EXPECT_EQ(std::string(r.x_note) + "|" + r.y_note + "|" + r.y_label,
            "0123456789abcdefGHIJKLMNOPQR|short           x|Load");
  b.details.clear();
  EXPECT_STREQ(describe(b.write(dir, "plain.dac")).date, "Unknown");
  b.revision = 0, b.kind_code = 101, b.stats_flag = 0;
  b.samples = ramp(7), b.point_count_f = 6.6f; // rounds to 7
  std::vector<double> x(7);
  EXPECT_EQ((std::tuple{data(b.write(dir, "r0.dac"), x.data()), x}),
            (std::tuple{std::tuple{ZEL_DAC_OK, 7, 0.0, 2.0}, doubles(ramp(7))}));
}

TEST(DacRead, RefusedShortAndCutFilesAndTheirCodes) {
  TempDir dir;
  std::ofstream(dir.file("tiny.dac")) << std::string(100, '\0');
  const Description r = describe(dir.file("tiny.dac"));
  EXPECT_EQ((std::tuple{r.status, std::string(r.date), zel_dac_sniff(dir.file("tiny.dac").c_str())}),
            (std::tuple{ZEL_DAC_HEADER_READ, std::string("old"), 0}));
  std::vector<double> x(300);
  EXPECT_EQ(data(dir.file("missing"), x.data()), (std::tuple{ZEL_DAC_OPEN_FAILED, 0, 0.0, 0.0})); // outputs cleared
  DacBuilder b;
  b.kind_code = 2;
  EXPECT_EQ(describe(b.write(dir, "m.dac")).status, ZEL_DAC_NOT_DAC);
  b = DacBuilder();
  b.start_time = 1.5f;
  EXPECT_EQ(data(b.write(dir, "d.dac"), nullptr), (std::tuple{ZEL_DAC_DATA_READ, 10, 1.5, 2.0}));
  for (float interval : {-0.5f, NAN}) { // reported; the handle serves all the same (DacHandle)
    b.interval = interval;
    EXPECT_EQ((std::tuple{describe(b.write(dir, "i.dac")).status, std::get<0>(data(dir.file("i.dac"), x.data()))}),
              (std::tuple{ZEL_DAC_BAD_RATE, ZEL_DAC_BAD_RATE}));
  }
  b = DacBuilder();
  b.samples.clear();
  EXPECT_EQ(data(b.write(dir, "none.dac"), x.data()), (std::tuple{ZEL_DAC_NO_POINTS, 0, 0.0, 2.0}));
  // Cut inside the extra details: a handle with cleared outputs all the same.
  b = DacBuilder();
  b.details = {{"A", "1"}, {"B", "2"}, {"C", "3"}, {"D", "4"}, {"E", "5"}}, b.cut_to = 512 * 4 + 100;
  const Opened o(b.write(dir, "cut.dac"));
  EXPECT_EQ((std::tuple{zel_dac_sniff(dir.file("cut.dac").c_str()), describe(dir.file("cut.dac")).status, o.status,
                        o.npts, o.rate, o.spare, zel_dac_close(o.h)}),
            (std::tuple{0, ZEL_DAC_DETAILS_READ, ZEL_DAC_DETAILS_READ, 0, 0.0, 0.0, ZEL_DAC_OK}));
}

// short.dac claims 2000 samples and holds 1900 (each 1.0), other.dac holds
// 3000 (7, 8, ...). However the short file is read (whole, through a handle
// in one read or two, in a window), what it lacks is 0.0, never a value the
// other file left in the array.
TEST(DacRead, SamplesTheFileLacksAreZeroWhateverWasReadBefore) {
  TempDir dir;
  DacBuilder s, o;
  s.samples.assign(1900, 1.0f), s.point_count = 2000, s.pad_data = false;
  o.samples = ramp(3000, 1.0f, 6.0f);
  const std::string short_path = s.write(dir, "short.dac"), other_path = o.write(dir, "other.dac");
  std::vector<double> want(2000, 0.0), x(3000);
  std::fill(want.begin(), want.begin() + 1900, 1.0);
  const auto after_other = [&] { ASSERT_EQ(std::get<0>(data(other_path, x.data())), ZEL_DAC_OK); };
  for (const std::vector<int> &steps : {std::vector<int>{2000}, {1000, 1000}}) {
    after_other();
    const Opened h(short_path);
    int got = 0;
    for (int n : steps) got += zel_dac_getnpts(h.h, n, x.data() + got);
    EXPECT_EQ((std::tuple{got, std::vector<double>(x.begin(), x.begin() + 2000), zel_dac_close(h.h)}),
              (std::tuple{2000, want, ZEL_DAC_OK}))
        << steps.size();
  }
  after_other();
  EXPECT_EQ((std::tuple{data(short_path, x.data()), std::vector<double>(x.begin(), x.begin() + 2000)}),
            (std::tuple{std::tuple{ZEL_DAC_DATA_READ, 2000, 0.0, 2.0}, want}));
  const Opened h(short_path);
  for (auto [centre, status, value] : {std::tuple{1000, ZEL_DAC_OK, 1.0}, {1950, ZEL_DAC_DATA_READ, 0.0}}) {
    after_other();
    std::vector<double> t(121);
    EXPECT_EQ(zel_dac_getwindow(h.h, 2000, 0.0, 0.5, 0.5 * centre, 60, t.data(), x.data() + centre), status) << centre;
    EXPECT_EQ(std::vector<double>(x.begin() + centre, x.begin() + centre + 121), std::vector<double>(121, value))
        << centre;
  }
  EXPECT_EQ(zel_dac_close(h.h), ZEL_DAC_OK);
}

TEST(DacHandle, OpenGetnptsCloseAndTheReadBuffers) {
  TempDir dir;
  DacBuilder b;
  b.samples = ramp(5000, 0.5f, 0.0f),
  b.interval = 0.0f; // sample n holds n / 2; the interval is reported, the file still serves
  const Opened o(b.write(dir, "s.dac")), other(dir.file("s.dac"));
  EXPECT_EQ((std::tuple{o.status, o.npts, o.rate, o.spare}), (std::tuple{ZEL_DAC_BAD_RATE, 5000, 0.0, 0.0}));
  std::vector<double> x(3000);
  for (auto [n, capacity] : {std::pair{100, 1024}, {3000, 3000}, {500, 3000}}) // each handle its own buffer
    EXPECT_EQ((std::tuple{zel_dac_getnpts(o.h, n, x.data()), buffer_of(o.h), buffer_of(other.h)}),
              (std::tuple{n, int64_t{capacity}, int64_t{0}}));
  EXPECT_EQ((std::tuple{x[0], x[499]}), (std::tuple{0.5 * 3101, 0.5 * 3600}));
  EXPECT_EQ(zel_dac_getnpts(o.h, 0, x.data()) + zel_dac_getnpts(o.h, -3, x.data()) +
                zel_dac_getnpts(nullptr, 10, x.data()),
            0);
  EXPECT_EQ((std::tuple{zel_dac_getnpts(o.h, 1500, x.data()), zel_dac_getnpts(o.h, 10, x.data()), zel_dac_close(o.h),
                        zel_dac_close(other.h), zel_dac_close(nullptr)}),
            (std::tuple{1400, 0, ZEL_DAC_OK, ZEL_DAC_OK, ZEL_DAC_BAD_HANDLE}));
  const Opened missing(dir.file("missing.dac")); // a failed open still gives a handle, which close releases
  double t[5], v[5];
  EXPECT_EQ((std::tuple{missing.status, zel_dac_getnpts(missing.h, 4, x.data()),
                        zel_dac_getwindow(missing.h, 10, 0.0, 0.5, 0.0, 2, t, v), zel_dac_close(missing.h)}),
            (std::tuple{ZEL_DAC_OPEN_FAILED, 0, ZEL_DAC_START_BEYOND_END, ZEL_DAC_NOT_OPEN}));
}

TEST(DacHostile, HugeOrBrokenCountsNeitherCrashNorOverAllocate) {
  TempDir dir;
  // detail_records far too large, NaN or negative (-5 rounds to -4: one group,
  // ((-4 - 1) div 13) + 1); many records after a real group; details
  // "before" the file or far beyond its end.
  for (auto [claim, details, count, status] : {std::tuple{1e30f, false, 10, ZEL_DAC_DETAILS_READ},
                                               {INFINITY, false, 10, ZEL_DAC_DETAILS_READ},
                                               {-5.0f, false, 10, ZEL_DAC_DETAILS_READ},
                                               {NAN, false, 10, ZEL_DAC_OK},
                                               {-20.0f, false, 10, ZEL_DAC_OK},
                                               {0.4f, false, 10, ZEL_DAC_OK},
                                               {1e30f, true, 10, ZEL_DAC_DETAILS_READ},
                                               {2.0f, false, INT32_MIN, ZEL_DAC_SEEK},
                                               {2.0f, false, INT32_MAX, ZEL_DAC_DETAILS_READ}}) {
    DacBuilder b;
    b.detail_records = claim, b.point_count = count;
    if (details) b.details = {{"DATE", "d"}};
    EXPECT_EQ(describe(b.write(dir, "dr.dac")).status, status) << claim << " " << count;
  }
  // Point counts beyond the file or negative, as int (revision 2) or float
  // (0): the stored samples, then 0.0, and no buffer beyond the file.
  for (auto [revision, n] : {std::pair{2, double{INT32_MAX}}, {2, -1000.0}, {0, 1e30}, {0, -1e30}, {0, double{NAN}}}) {
    DacBuilder b;
    b.revision = revision, b.point_count_f = float(n);
    if (revision == 2) b.point_count = int32_t(n);
    const Opened o(b.write(dir, "pc.dac"));
    std::vector<double> x(4096, -1.0), want = doubles(b.samples);
    want.resize(4096, 0.0);
    if (o.npts <= 0) want.assign(4096, -1.0); // nothing delivered, the array untouched
    EXPECT_EQ((std::tuple{o.status, zel_dac_getnpts(o.h, 4096, x.data()), x, buffer_of(o.h) <= 1024}),
              (std::tuple{ZEL_DAC_OK, o.npts > 0 ? 4096 : 0, want, true}))
        << n;
    EXPECT_EQ(zel_dac_close(o.h), ZEL_DAC_OK);
  }
}

// Windows on ten samples x1 .. x10 (start 0, interval 0.5).
TEST(DacWindow, CasesBadArgumentsAndNullHandle) {
  TempDir dir;
  DacBuilder b;
  b.samples = ramp(10, 1.25f, 0.5f);
  const Opened o(b.write(dir, "w.dac"));
  // Centre time, half width, 1-based samples delivered, time of the first,
  // the caller's count (above the file's: cut to it; below: the end).
  const struct {
    double centre;
    int h;
    std::vector<int> samples;
    double first_time;
    int n = 10;
  } cases[] = {{2.0, 2, {3, 4, 5, 6, 7}, 1.0},
               {5.0, 1, {10, 10, 10}, 4.5, 50},
               {5.0, 1, {4, 4, 4}, 4.5, 4},
               {1.9999999999, 2, {3, 4, 5, 6, 7}, 1.0},
               {1.99, 2, {2, 3, 4, 5, 6}, 0.5}, // within 1e-8 of a sample, or not
               {0.0, 2, {1, 1, 1, 2, 3}, -1.0},
               {4.5, 2, {8, 9, 10, 10, 10}, 3.5},
               {2.5, 5, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 10}, 0.0},
               {100.0, 1, {10, 10, 10}, 99.5},
               {-10.0, 1, {1, 1, 1}, -10.5},
               {30.0, 0, {10}, 30.0},
               {2.0, 7, {1, 1, 1, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 10, 10}, -1.5}}; // past both ends
  for (const auto &c : cases) {
    std::vector<double> t(c.samples.size(), -99.0), v(t), want_t, want_v;
    ASSERT_EQ(zel_dac_getwindow(o.h, c.n, 0.0, 0.5, c.centre, c.h, t.data(), v.data()), ZEL_DAC_OK);
    for (size_t i = 0; i < c.samples.size(); ++i)
      want_t.push_back(c.first_time + 0.5 * double(i)), want_v.push_back(b.samples[size_t(c.samples[i] - 1)]);
    double rest[10]; // the read position ends after the window
    EXPECT_EQ((std::tuple{v, t, zel_dac_getnpts(o.h, 10, rest)}), (std::tuple{want_v, want_t, 0}))
        << c.centre << " " << c.h;
  }
  // Infinitely far is simply outside, its times from the centre itself;
  // refused arguments leave the outputs alone.
  for (auto [n, dt, centre, h, status] : {std::tuple{10, 0.5, double{INFINITY}, 1, int{ZEL_DAC_OK}},
                                          {10, 0.5, -1e300, 1, int{ZEL_DAC_OK}},
                                          {10, 0.0, 1.0, 1, 5},
                                          {10, -0.5, 1.0, 1, 5},
                                          {10, double{NAN}, 1.0, 1, 5},
                                          {0, 0.5, 1.0, 1, 5},
                                          {10, 0.5, double{NAN}, 1, 5},
                                          {10, 0.5, 1.0, -1, 5}}) {
    std::vector<double> t(3, 5.0), v(3, 5.0);
    const double value = status ? 5.0 : b.samples[centre > 0 ? 9 : 0], time = status ? 5.0 : centre;
    EXPECT_EQ((std::tuple{zel_dac_getwindow(o.h, n, 0.0, dt, centre, h, t.data(), v.data()), v, t[1]}),
              (std::tuple{status, std::vector<double>(3, value), time}))
        << n << " " << dt << " " << centre << " " << h;
  }
  // Null handle: positions F .. F + (e - s) get time 0 and every value 0.
  std::vector<double> t(5, -1.0), v(5, -1.0);
  EXPECT_EQ(
      (std::tuple{zel_dac_getwindow(nullptr, 10, 0.0, 0.5, 0.0, 2, t.data(), v.data()), t, v}),
      (std::tuple{ZEL_DAC_BAD_HANDLE, std::vector<double>{-1.0, -0.5, 0.0, 0.0, 0.0}, std::vector<double>(5, 0.0)}));
  EXPECT_EQ(zel_dac_close(o.h), ZEL_DAC_OK);
}
