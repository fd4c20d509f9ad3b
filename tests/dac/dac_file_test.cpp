// DacFile and its format: count rounding, layout boundaries, the validity
// test, statistics, modes and state codes, batches, read ranges, header
// setters and the details list (text fields: dac_api_test).
#include "dac/dac_file.h"
#include "dac/dac_format.h"
#include "zel.h"

#include "dac/dac_test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

using zel::DacFile;
using namespace dac_test;
using namespace zel::dac;

TEST(DacFormat, ValidityTestChecksMarkerKindFlagAndRevision) {
  // Format marker, kind code, stats flag, revision and the verdict.
  for (auto [marker, kind, flag, revision, status] :
       {std::tuple{1, 0, 0, 0, ZEL_DAC_OK}, {1, 1, 1, 2, ZEL_DAC_OK}, {1, 3, 1, 2, ZEL_DAC_OK}, {1, 101, 0, 0, ZEL_DAC_OK},
        {1, 2, 1, 2, ZEL_DAC_NOT_DAC}, {1, 4, 1, 2, ZEL_DAC_NOT_DAC}, {1, 100, 1, 2, ZEL_DAC_NOT_DAC}, {1, -1, 1, 2, ZEL_DAC_NOT_DAC},
        {1, 3, 2, 2, ZEL_DAC_NOT_DAC}, {1, 3, 1, 1, ZEL_DAC_NOT_DAC}, {0, 3, 1, 2, ZEL_DAC_NOT_DAC}, {2, 3, 1, 2, ZEL_DAC_NOT_DAC}}) {
    unsigned char h[512] = {};
    for (auto [at, v] : {std::pair{hdr::kFormatMarker, marker}, {hdr::kKindCode, kind}, {hdr::kStatsFlag, flag}, {hdr::kRevision, revision}})
      put_i16(h, at, static_cast<int16_t>(v));
    EXPECT_EQ(check_header(h), status) << marker << " " << kind << " " << flag << " " << revision;
  }
}

TEST(DacStatistics, ExtremesTiesDeviationAndRms) {
  // Strict comparisons keep the first extreme; the abs-max tie takes the
  // smaller index; the deviation is the sample one; nothing gives zeros.
  const struct { std::vector<float> x; int64_t max_i, min_i, abs_i; double maximum, mean, std_dev, rms; } cases[] = {
               {{5, -7, 7}, 3, 2, 2, 7, 5.0 / 3, std::sqrt(1.5 * (41 - 25.0 / 9)), std::sqrt(41.0)},
               {{-1, 4, -9}, 2, 3, 3, 4, -2, std::sqrt(1.5 * (98.0 / 3 - 4)), std::sqrt(98.0 / 3)},
               {{-1, 9, -4}, 2, 3, 2, 9, 4.0 / 3, std::sqrt(1.5 * (98.0 / 3 - 16.0 / 9)), std::sqrt(98.0 / 3)},
               {{2, 2, 2, 2}, 1, 1, 1, 2, 2, 0, 2},
               {{1, 2, 3, 4}, 4, 1, 4, 4, 2.5, std::sqrt(5.0 / 3), std::sqrt(7.5)},
               {{-3e38f, -3e38f}, 0, 1, 1, -1e37f, -3e38f, 0, 3e38f}, // below the reset maximum
               {{}, 0, 0, 0, 0, 0, 0, 0}};
  for (const auto &c : cases) {
    zel::DacStatistics s;
    s.accumulate(c.x.data(), static_cast<int64_t>(c.x.size()));
    int64_t n, max_i, min_i, abs_i;
    double maximum, minimum, mean, std_dev, rms;
    s.summarize(n, maximum, minimum, mean, std_dev, rms, max_i, min_i, abs_i);
    const std::string which = ::testing::PrintToString(c.x);
    EXPECT_EQ((std::tuple{n, max_i, min_i, abs_i, maximum}), (std::tuple{int64_t(c.x.size()), c.max_i, c.min_i, c.abs_i, c.maximum})) << which;
    EXPECT_DOUBLE_EQ(mean, c.mean) << which;
    EXPECT_DOUBLE_EQ(std_dev, c.std_dev) << which;
    EXPECT_DOUBLE_EQ(rms, c.rms) << which;
  }
}

TEST(DacFile, OpenModesStateCodesAndBatches) {
  TempDir dir;
  const std::string path = dir.file("a.dac");
  DacFile f;
  for (const char *mode : {"r", "rb+", static_cast<const char *>(nullptr)})
    EXPECT_EQ(f.open(path.c_str(), mode), ZEL_DAC_BAD_ARGUMENTS);
  float x = 1.0f;
  int got = -1;
  EXPECT_EQ((std::tuple{f.close(), f.writePoints(1, &x), f.readPoints(1, &x, got)}),
            (std::tuple{ZEL_DAC_NOT_OPEN, ZEL_DAC_NOT_WRITE_MODE, ZEL_DAC_NOT_OPEN}));
  ASSERT_EQ((std::tuple{f.open(dir.file("missing.dac").c_str(), "rb"), f.open(path.c_str(), "wb")}), (std::tuple{ZEL_DAC_OPEN_FAILED, ZEL_DAC_OK}));
  EXPECT_EQ((std::tuple{f.open(path.c_str(), "wb"), f.readPoints(1, &x, got), f.writePoints(-1, &x)}),
            (std::tuple{ZEL_DAC_ALREADY_OPEN, ZEL_DAC_NOT_READ_MODE, ZEL_DAC_BAD_ARGUMENTS}));
  EXPECT_EQ(f.writePoints(0, &x), ZEL_DAC_OK);
  // Nothing written: close refuses, repeatedly, and keeps the file.
  EXPECT_EQ((std::tuple{f.close(), f.close(), f.isOpen()}), (std::tuple{ZEL_DAC_NO_POINTS, ZEL_DAC_NO_POINTS, true}));
  ASSERT_EQ(f.writePoints(1, &x), ZEL_DAC_OK);
  EXPECT_EQ((std::tuple{f.close(), f.writePoints(1, &x), f.close()}),
            (std::tuple{ZEL_DAC_OK, ZEL_DAC_NOT_OPEN, ZEL_DAC_NOT_OPEN}));

  // Batches give the same file as one write (statistics run across calls).
  const std::vector<float> samples = ramp(1000, 0.37f, -100.0f);
  for (const std::vector<int> &batches : {std::vector<int>{1000}, {300, 300, 300, 100}}) {
    DacFile w;
    ASSERT_EQ(w.open(dir.file(std::to_string(batches.size())).c_str(), "wb"), ZEL_DAC_OK);
    for (size_t done = 0, i = 0; i < batches.size(); done += size_t(batches[i++])) ASSERT_EQ(w.writePoints(batches[i], &samples[done]), ZEL_DAC_OK);
    ASSERT_EQ(w.close(), ZEL_DAC_OK);
  }
  EXPECT_EQ((std::tuple{read_bytes(dir.file("1")).size(), read_bytes(dir.file("1"))}), (std::tuple{size_t{512 * 9}, read_bytes(dir.file("4"))})) << "zero-filled to whole records";
}

TEST(DacFile, ReadsStopAtLastAndRangesAreChecked) {
  TempDir dir;
  const std::vector<float> samples = ramp(20);
  const std::vector<double> x(samples.begin(), samples.end());
  ASSERT_EQ(zel_dac_write(dir.file("r.dac").c_str(), 20, 0.0, 1.0, x.data(), "", "", ""), ZEL_DAC_OK);
  DacFile f;
  ASSERT_EQ(f.open(dir.file("r.dac").c_str(), "rb"), ZEL_DAC_OK);
  float buf[32];
  int got = -1;
  EXPECT_EQ((std::tuple{f.readPoints(0, buf, got), f.readPoints(32, buf, got), std::vector<float>(buf, buf + got), f.readPoints(5, buf, got), got}),
            (std::tuple{ZEL_DAC_BAD_ARGUMENTS, ZEL_DAC_OK, samples, ZEL_DAC_OK, 0}));
  // A last beyond the end or negative means the end, a first below 1 means 1.
  EXPECT_EQ((std::tuple{f.setReadRange(3, 2), f.setReadRange(21, 21), f.setReadRange(5, -1)}),
            (std::tuple{ZEL_DAC_END_BEFORE_START, ZEL_DAC_START_BEYOND_END, ZEL_DAC_END_BEFORE_START}));
  for (auto [first, last, n, at0] : {std::tuple{2, 25, 19, samples[1]}, {-4, 3, 3, samples[0]}, {-5, -1, 20, samples[0]}})
    EXPECT_EQ((std::tuple{f.setReadRange(first, last), f.readPoints(32, buf, got), got, buf[0]}), (std::tuple{ZEL_DAC_OK, ZEL_DAC_OK, n, at0}));
}

TEST(DacFile, HeaderSettersAndDetailsList) {
  DacFile f;
  EXPECT_EQ((std::tuple{f.setInterval(-0.5), f.setInterval(NAN), f.getInterval()}), (std::tuple{ZEL_DAC_BAD_RATE, ZEL_DAC_BAD_RATE, 1.0}));
  EXPECT_EQ((std::tuple{f.setPointCount(0), f.setPointCount(5)}), (std::tuple{ZEL_DAC_BAD_POINT_COUNT, ZEL_DAC_OK}));
  EXPECT_EQ((std::tuple{f.setStatistics(1, 0, 0, -1, 1), f.setStatistics(1, 0, 0, 1, NAN), int(f.headerImage()[180])}),
            (std::tuple{ZEL_DAC_BAD_STATISTICS, ZEL_DAC_BAD_STATISTICS, 0}));
  EXPECT_EQ((std::tuple{f.setStatistics(1, 0, 0, 0, 0), int(f.headerImage()[180])}), (std::tuple{ZEL_DAC_OK, 1}));
  EXPECT_EQ((std::tuple{f.setExtremeIndices(1, 6, 1), f.setExtremeIndices(0, 1, 1), f.setExtremeIndices(5, 1, 5), f.maxIndex()}),
            (std::tuple{ZEL_DAC_BAD_STATISTICS, ZEL_DAC_BAD_STATISTICS, ZEL_DAC_OK, int64_t{5}}));

  char value[121];
  EXPECT_EQ((std::tuple{f.getDetail("Date", value), std::string(value)}), (std::tuple{ZEL_DAC_DETAIL_NOT_FOUND, std::string()}));
  EXPECT_EQ((std::tuple{f.addDetail("", "x"), f.addDetail("KEY", ""), f.detailCapacity()}), (std::tuple{ZEL_DAC_BAD_ARGUMENTS, ZEL_DAC_BAD_ARGUMENTS, 0}));
  // Duplicates are kept, the first wins; keywords are cut to 8 characters, values to 120.
  ASSERT_EQ((std::tuple{f.addDetail("Date", "first"), f.addDetail("DATE", "second"), f.addDetail("LongKeyword", std::string(130, 'v').c_str())}), (std::tuple{0, 0, 0}));
  EXPECT_STREQ(f.detailKeyword(2), "LONGKEYW");
  for (int i = 3; i < 11; ++i) // grows in steps of ten
    ASSERT_EQ((std::tuple{f.detailCapacity(), f.addDetail(("k" + std::to_string(i)).c_str(), "v")}), (std::tuple{10, ZEL_DAC_OK})) << i;
  EXPECT_EQ(f.detailCapacity(), 20);
  ASSERT_EQ(f.getDetail("date", value), ZEL_DAC_OK);
  EXPECT_STREQ(value, "first");
  ASSERT_EQ(f.getDetail("longkeywordXYZ", value), ZEL_DAC_OK); // first 8 characters, value cut to 120
  EXPECT_EQ(std::string(value), std::string(120, 'v'));
  EXPECT_EQ(f.getDetail("LONGKEY", value), ZEL_DAC_DETAIL_NOT_FOUND);
}
