// DAC files: written files against the builder's bytes, foreign, broken and hostile files, handles and windows.
#include "dac/dac_file.h"
#include "dac/dac_test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <regex>

using namespace dac_test;
using zel::DacFile;

namespace {

int64_t buffer_of(void *handle) { return zel::as_file(handle)->scratch().capacity(); }

// zel_dac_read's status, count, start, rate and texts (date|x label|x note|y label|y note).
std::tuple<int, int, double, double, std::string> describe(const std::string &path) {
  int n = -1;
  double start = -1, rate = -1;
  char date[121] = "old", xl[25] = "", xn[29] = "", yl[25] = "", yn[29] = "";
  const int status = zel_dac_read(path.c_str(), &n, &start, &rate, date, xl, xn, yl, yn);
  return {status, n, start, rate, std::string(date) + "|" + xl + "|" + xn + "|" + yl + "|" + yn};
}

// zel_dac_data's status and outputs.
std::tuple<int, int, double, double> data(const std::string &path, double *x) {
  int npts = -1;
  double start = -1, rate = -1;
  const int status = zel_dac_data(path.c_str(), &npts, &start, &rate, x);
  return {status, npts, start, rate};
}

// The "Date" detail a written file carries (where the builder puts it), in asctime's form.
std::string written_date(const DacBuilder &b, const Bytes &written) {
  const std::string date = std::string(written.begin(), written.end()).substr(512 * b.first_detail_record() + 8, 24);
  EXPECT_TRUE(std::regex_match(
      date, std::regex("[A-Z][a-z]{2} [A-Z][a-z]{2} [ 123][0-9] [0-2][0-9]:[0-5][0-9]:[0-6][0-9] [0-9]{4}")))
      << date;
  return date;
}

struct Opened {
  int npts = -1, status = -1;
  double rate = -1, spare = -1;
  void *h;
  explicit Opened(const std::string &path) : h(zel_dac_open(path.c_str(), &npts, &rate, &spare, &status)) {}
};

} // namespace

// Statistics: the sample deviation (n - 1); the first of equal extremes keeps its index, an abs-max tie takes the
// smaller; an extreme no sample passed (the maximum starts at -1e37) leaves all three indices 0. A single sample may
// have rate 0: interval 1. Long texts are cut.
TEST(DacWrite, WrittenFilesAreTheLayoutByteForByteAndReadBack) {
  TempDir dir;
  const std::string path = dir.file("h.dac"), note = "  a note of thirty characters!",
                    label = "a y label longer than 24";
  const std::tuple<std::vector<float>, std::array<float, 5>, std::array<int32_t, 3>, double> cases[] = {
      {{3.5f}, {3.5f, 0, 3.5f, 3.5f, 3.5f}, {1, 1, 1}, 0.0},
      {{5, -7, 7, 1, -1}, {1.0f, float(std::sqrt(30.0)), 7.0f, -7.0f, 5.0f}, {3, 2, 2}, 200.0},
      {{2, 2, 2, 2}, {2, 0, 2, 2, 2}, {1, 1, 1}, 200.0},
      {{-3e38f, -3e38f}, {-3e38f, 0, -1e37f, -3e38f, 3e38f}, {0, 0, 0}, 200.0}};
  Bytes got;
  for (const auto &[xs, stats, indices, rate] : cases) {
    const std::vector<double> x(xs.begin(), xs.end());
    ASSERT_EQ(zel_dac_write(path.c_str(), int(x.size()), 2.5, rate, x.data(), note.c_str(), (label + " chars").c_str(),
                            "sixteen chars..."),
              ZEL_DAC_OK);
    DacBuilder b;
    b.samples = xs, b.stats = stats, b.indices = indices, b.start_time = 2.5f;
    b.interval = rate > 0 ? float(1.0 / rate) : 1.0f, b.y_label = label, b.x_note = note;
    b.y_note = "sixteen chars...", got = zel_test::read_file<Bytes>(path), b.details = {{"DATE", written_date(b, got)}};
    EXPECT_TRUE(got == b.build()) << x[0];
  }
  EXPECT_EQ(describe(path),
            (std::tuple{ZEL_DAC_OK, 2, 2.5, 1.0 / double(float(1.0 / 200.0)), // from the stored interval
                        std::string(got.begin() + 1544, got.begin() + 1568) + "|Time|" + note.substr(0, 28) + "|" +
                            label + "|sixteen chars..."}));
}

// Sizes around a record's 128 samples and across zel_dac_write's batches (with its Date detail), and a DacFile written
// in batches of 300: zero-filled to whole records, 48 details fill one group, a 49th opens a second; the details read
// back in order.
TEST(DacWrite, SizesBatchesAndGroupsOfDetails) {
  TempDir dir;
  const std::string path = dir.file("d.dac");
  for (auto [n, details] : {std::pair{1, -1}, {128, -1}, {129, -1}, {2500, -1}, {1000, 0}, {1000, 48}, {1000, 49}}) {
    DacBuilder b;
    b.samples = ramp(n, 0.37f, -100.0f), b.interval = 1.0f / 512;
    for (int i = 0; i < details; ++i) b.details.emplace_back("KEY" + std::to_string(i), "value " + std::to_string(i));
    if (details < 0) {
      const std::vector<double> in(b.samples.begin(), b.samples.end());
      ASSERT_EQ(zel_dac_write(path.c_str(), n, -1.0, 512.0, in.data(), "", "", ""), ZEL_DAC_OK) << n;
    } else {
      DacFile f;
      ASSERT_EQ(f.open_write(path.c_str()), ZEL_DAC_OK);
      for (int done = 0; done < n; done += 300)
        ASSERT_EQ(f.write_points(std::min(300, n - done), &b.samples[size_t(done)]), ZEL_DAC_OK);
      for (int i = 0; i < details; ++i)
        ASSERT_EQ(f.add_detail(("key" + std::to_string(i)).c_str(), b.details[size_t(i)].second.c_str()), ZEL_DAC_OK);
      ASSERT_EQ(f.close(), ZEL_DAC_OK);
    }
    const Bytes written = zel_test::read_file<Bytes>(path);
    if (details < 0) b.details = {{"DATE", written_date(b, written)}};
    const Bytes built = b.build();
    EXPECT_TRUE(std::equal(written.begin() + 512, written.end(), built.begin() + 512, built.end())) << n;
    DacFile r;
    ASSERT_EQ(r.open_read(path.c_str()), ZEL_DAC_OK);
    std::vector<std::pair<std::string, std::string>> back;
    for (int i = 0; i < r.detail_count(); ++i) back.emplace_back(r.detail_keyword(i), r.detail_value(i));
    EXPECT_EQ(back, b.details) << n;
  }
}

TEST(DacWrite, RefusedArgumentsAndNoFileLeftOpen) {
  const int descriptors = open_descriptors();
  TempDir dir;
  const double two[2] = {1, 2};
  const std::string refused = dir.file("two.dac"), empty = dir.file("empty.dac");
  for (double rate : {0.0, -5.0, double(NAN), 1.0}) // 1.0: without samples
    EXPECT_EQ(zel_dac_write(refused.c_str(), 2, 0.0, rate, rate == 1.0 ? nullptr : two, "", "", ""),
              ZEL_DAC_BAD_ARGUMENTS);
  // No samples: the close reports 10 and the file created is removed.
  EXPECT_EQ(zel_dac_write(empty.c_str(), -4, 0.0, 1.0, two, "", "", ""), ZEL_DAC_NO_POINTS);
  EXPECT_EQ(zel_dac_write(dir.file("no/such/dir.dac").c_str(), 2, 0.0, 1.0, two, "", "", ""), ZEL_DAC_OPEN_FAILED);
  EXPECT_EQ((std::tuple{std::filesystem::exists(refused), std::filesystem::exists(empty)}), (std::tuple{false, false}));
  EXPECT_EQ(open_descriptors(), descriptors) << "a one-shot call left a file open";
}

// Texts: notes of 28 characters (32 stored), the head's trailing blanks kept; the date from the first DATE detail with
// a value (blank keywords skipped), "Unknown" without.
TEST(DacRead, TextsAndTheDateDetail) {
  TempDir dir;
  DacBuilder b;
  b.x_note = "0123456789abcdefGHIJKLMNOPQRSTUV", b.y_note = "short           x";
  b.details = {{"        ", "a blank keyword"}, {"DATE", ""}, {"date", "Mon Jan  5 01:02:03 2026"}, {"DATE", "2nd"}};
  const std::string texts = "|Time|0123456789abcdefGHIJKLMNOPQR|Load|short           x";
  EXPECT_EQ(std::get<4>(describe(b.write(dir, "t.dac"))), "Mon Jan  5 01:02:03 2026" + texts);
  b.details.resize(2);
  EXPECT_EQ(std::get<4>(describe(b.write(dir, "t.dac"))), "Unknown" + texts);
}

// Every file is described (the texts untouched unless it opened), sniffed, opened and read whole: the code of each (the
// same for all four, but where the samples are short), the count and the rate (2.0, reported only for a file that
// opened with a positive interval); what is read is the stored samples, then 0.0 up to the count (an array the call did
// not reach is untouched); a handle never buffers more than the file holds. Odd detail-record counts: NaN rounds to 0,
// -5 to -4 (one group: ((-4 - 1) div 13) + 1), -20 to no group.
TEST(DacRead, CodesCountsAndSamplesOfForeignBrokenAndHostileFiles) {
  TempDir dir;
  using B = DacBuilder &;
  constexpr int kOk = ZEL_DAC_OK, kRate = ZEL_DAC_BAD_RATE, kNotDac = ZEL_DAC_NOT_DAC, kDetails = ZEL_DAC_DETAILS_READ;
  constexpr int kSame = -1, kNotRead = -2; // read whole: the same code; not read whole (the count is too large)
  constexpr int kMax = 10000;              // samples taken
  // clang-format off
  const struct { std::function<void(B)> edit; int status, npts, data = kSame; } cases[] = {
      {[](B) {}, kOk, 10}, {[](B b) { b.kind_code = 1; }, kOk, 10},
      {[](B b) { b.revision = 0, b.kind_code = 101, b.samples = ramp(7), b.point_count_f = 6.6f; }, kOk, 7}, // rounded
      {[](B b) { b.kind_code = 0, b.stats_flag = 0, b.revision = 0; }, kOk, 10},
      {[](B b) { b.kind_code = 2; }, kNotDac, 0}, {[](B b) { b.kind_code = 4; }, kNotDac, 0},
      {[](B b) { b.kind_code = 100; }, kNotDac, 0}, {[](B b) { b.kind_code = -1; }, kNotDac, 0},
      {[](B b) { b.stats_flag = 2; }, kNotDac, 0}, {[](B b) { b.revision = 1; }, kNotDac, 0},
      {[](B b) { b.marker = 0; }, kNotDac, 0}, {[](B b) { b.marker = 2; }, kNotDac, 0},
      {[](B b) { b.cut_to = 100; }, ZEL_DAC_HEADER_READ, 0}, {[](B b) { b.interval = -0.5f; }, kRate, 10},
      {[](B b) { b.interval = NAN; }, kRate, 10}, {[](B b) { b.interval = 0.0f; }, kRate, 10},
      {[](B b) { b.samples.clear(); }, kOk, 0, ZEL_DAC_NO_POINTS},
      {[](B b) { b.samples = ramp(1900), b.point_count = 9000, b.pad_data = false; }, kOk, 9000, ZEL_DAC_DATA_READ},
      {[](B b) { b.details.assign(5, {"KEY", "value"}), b.cut_to = 512 * 4 + 100; }, kDetails, 0}, // cut in the details
      {[](B b) { b.detail_records = 1e30f; }, kDetails, 0}, {[](B b) { b.detail_records = INFINITY; }, kDetails, 0},
      {[](B b) { b.detail_records = -5.0f; }, kDetails, 0}, {[](B b) { b.detail_records = NAN; }, kOk, 10},
      {[](B b) { b.detail_records = 1e30f, b.details = {{"DATE", "d"}}; }, kDetails, 0},
      {[](B b) { b.detail_records = -20.0f; }, kOk, 10}, {[](B b) { b.detail_records = 0.4f; }, kOk, 10},
      {[](B b) { b.detail_records = 2.0f, b.point_count = INT32_MIN; }, ZEL_DAC_SEEK, 0},
      {[](B b) { b.detail_records = 2.0f, b.point_count = INT32_MAX; }, kDetails, 0},
      {[](B b) { b.point_count = INT32_MAX; }, kOk, INT32_MAX, kNotRead},
      {[](B b) { b.point_count = -1000; }, kOk, -1000, kNotRead},
      {[](B b) { b.revision = 0, b.point_count_f = 1e30f; }, kOk, INT32_MAX, kNotRead},
      {[](B b) { b.revision = 0, b.point_count_f = -1e30f; }, kOk, INT32_MIN, kNotRead},
      {[](B b) { b.revision = 0, b.point_count_f = NAN; }, kOk, 0, kNotRead},
  };
  // clang-format on
  for (size_t i = 0; i < std::size(cases); ++i) {
    const auto &c = cases[i];
    DacBuilder b;
    c.edit(b);
    const std::string path = b.write(dir, "f" + std::to_string(i) + ".dac");
    const bool opened = c.status == kOk || c.status == kRate;
    const double rate = c.status == kOk ? 2.0 : 0.0;
    const int data_status = c.data == kSame ? c.status : c.data, taken = std::clamp(c.npts, 0, kMax);
    std::vector<double> want(kMax, -1.0), untouched(want), x(want), y(want);
    for (int k = 0; k < taken; ++k) want[size_t(k)] = size_t(k) < b.samples.size() ? b.samples[size_t(k)] : 0.0;
    const auto [status, npts, start, described_rate, texts] = describe(path);
    EXPECT_EQ((std::tuple{status, npts, start, described_rate, zel_dac_sniff(path.c_str()), opened ? "" : texts}),
              (std::tuple{c.status, c.npts, 0.0, rate, int(opened), opened ? "" : "old||||"}))
        << i;
    const Opened o(path);
    const int got = zel_dac_getnpts(o.h, kMax, x.data());
    EXPECT_EQ((std::tuple{o.status, o.npts, o.rate, o.spare, got, x, buffer_of(o.h) <= 1024, zel_dac_close(o.h)}),
              (std::tuple{c.status, c.npts, rate, 0.0, taken, want, true, kOk}))
        << i;
    if (c.data != kNotRead) {
      EXPECT_EQ((std::tuple{data(path, y.data()), y}),
                (std::tuple{std::tuple{data_status, c.npts, 0.0, rate},
                            data_status == kOk || data_status == ZEL_DAC_DATA_READ ? want : untouched}))
          << i;
    }
  }
}

TEST(DacHandle, OpenGetnptsCloseAndTheReadBuffers) {
  TempDir dir;
  DacBuilder b;
  b.samples = ramp(5000, 0.5f, 0.0f), b.start_time = 1.5f; // sample n holds n / 2
  const Opened o(b.write(dir, "s.dac")), other(dir.file("s.dac"));
  std::vector<double> x(3000);
  for (auto [n, capacity] : {std::pair{100, 1024}, {3000, 3000}, {500, 3000}}) // each handle its own buffer
    EXPECT_EQ((std::tuple{zel_dac_getnpts(o.h, n, x.data()), buffer_of(o.h), buffer_of(other.h)}),
              (std::tuple{n, int64_t{capacity}, int64_t{0}}));
  EXPECT_EQ((std::tuple{x[0], x[499]}), (std::tuple{0.5 * 3101, 0.5 * 3600}));
  for (auto [h, n] : {std::pair{o.h, 0}, {o.h, -3}, {nullptr, 10}}) EXPECT_EQ(zel_dac_getnpts(h, n, x.data()), 0) << n;
  EXPECT_EQ((std::tuple{zel_dac_getnpts(o.h, 1500, x.data()), zel_dac_getnpts(o.h, 10, x.data()), zel_dac_close(o.h),
                        zel_dac_close(other.h), zel_dac_close(nullptr)}),
            (std::tuple{1400, 0, ZEL_DAC_OK, ZEL_DAC_OK, ZEL_DAC_BAD_HANDLE}));
  // Without samples to take: the outputs as far as the file was read.
  EXPECT_EQ(data(dir.file("s.dac"), nullptr), (std::tuple{ZEL_DAC_DATA_READ, 5000, 1.5, 2.0}));
  EXPECT_EQ(data(dir.file("missing.dac"), x.data()), (std::tuple{ZEL_DAC_OPEN_FAILED, 0, 0.0, 0.0}));
  const Opened missing(dir.file("missing.dac")); // a failed open still gives a handle, which close releases
  double t[5], v[5];
  EXPECT_EQ((std::tuple{missing.status, zel_dac_getnpts(missing.h, 4, x.data()),
                        zel_dac_getwindow(missing.h, 10, 0.0, 0.5, 0.0, 2, t, v), zel_dac_close(missing.h)}),
            (std::tuple{ZEL_DAC_OPEN_FAILED, 0, ZEL_DAC_START_BEYOND_END, ZEL_DAC_NOT_OPEN}));
}

// Windows on ten samples x1 .. x10 (start 0, interval 0.5): centre time, half width, the 1-based samples delivered, the
// time of the first, the code, the caller's count (above the file's: cut to it; below: the end) and interval.
// Infinitely far is simply outside, its times from the centre itself; refused arguments leave the outputs alone.
TEST(DacWindow, CasesBadArgumentsAndNullHandle) {
  TempDir dir;
  DacBuilder b;
  b.samples = ramp(10, 1.25f, 0.5f);
  const Opened o(b.write(dir, "w.dac"));
  // clang-format off
  struct Window { double centre; int h; std::vector<int> at; double t0; int code = 0, n = 10; double dt = 0.5; };
  const Window cases[] = {
      {2.0, 2, {3, 4, 5, 6, 7}, 1.0}, {1.9999999999, 2, {3, 4, 5, 6, 7}, 1.0}, // within 1e-8 of a sample
      {1.99, 2, {2, 3, 4, 5, 6}, 0.5}, {0.0, 2, {1, 1, 1, 2, 3}, -1.0}, {4.5, 2, {8, 9, 10, 10, 10}, 3.5},
      {5.0, 1, {10, 10, 10}, 4.5, 0, 11}, {5.0, 1, {4, 4, 4}, 4.5, 0, 4},
      {2.5, 5, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 10}, 0.0}, {100.0, 1, {10, 10, 10}, 99.5},
      {-10.0, 1, {1, 1, 1}, -10.5}, {30.0, 0, {10}, 30.0}, {INFINITY, 1, {10, 10, 10}, INFINITY},
      {2.0, 7, {1, 1, 1, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 10, 10}, -1.5}, // past both ends
      {-1e300, 1, {1, 1, 1}, -1e300}, {NAN, 1, {}, 0, ZEL_DAC_BAD_ARGUMENTS}, {1.0, -1, {}, 0, ZEL_DAC_BAD_ARGUMENTS},
      {1.0, 1, {}, 0, ZEL_DAC_BAD_ARGUMENTS, 10, 0.0}, {1.0, 1, {}, 0, ZEL_DAC_BAD_ARGUMENTS, 10, -0.5},
      {1.0, 1, {}, 0, ZEL_DAC_BAD_ARGUMENTS, 10, NAN}, {1.0, 1, {}, 0, ZEL_DAC_BAD_ARGUMENTS, 0},
  };
  // clang-format on
  for (const auto &c : cases) {
    std::vector<double> t(std::max<size_t>(3, c.at.size()), -99.0), v(t), want_t(t), want_v(t);
    for (size_t i = 0; i < c.at.size(); ++i)
      want_t[i] = c.t0 + 0.5 * double(i), want_v[i] = b.samples[size_t(c.at[i] - 1)];
    double rest[10]; // the read position ends after the window
    EXPECT_EQ((std::tuple{zel_dac_getwindow(o.h, c.n, 0.0, c.dt, c.centre, c.h, t.data(), v.data()), v, t,
                          zel_dac_getnpts(o.h, 10, rest)}),
              (std::tuple{c.code, want_v, want_t, 0}))
        << c.centre << " " << c.h << " " << c.dt << " " << c.n;
  }
  // Null handle: positions F .. F + (e - s) get time 0 and every value 0.
  std::vector<double> t(5, -1.0), v(5, -1.0);
  EXPECT_EQ(
      (std::tuple{zel_dac_getwindow(nullptr, 10, 0.0, 0.5, 0.0, 2, t.data(), v.data()), t, v}),
      (std::tuple{ZEL_DAC_BAD_HANDLE, std::vector<double>{-1.0, -0.5, 0.0, 0.0, 0.0}, std::vector<double>(5, 0.0)}));
  EXPECT_EQ(zel_dac_close(o.h), ZEL_DAC_OK);
}
