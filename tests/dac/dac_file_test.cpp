// DacFile and DacStatistics: modes, positions, ranges, header setters,
// details and the statistics written at close.
#include "dac/dac_file.h"
#include "zel.h"

#include "dac/dac_test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

using zel::DacFile;
using zel::DacStatistics;
using namespace dac_test;

namespace {

struct Summary {
  int64_t n, max_index, min_index, absmax_index;
  double maximum, minimum, mean, std_dev, rms;
};

Summary summarize(const std::vector<float> &samples) {
  DacStatistics s;
  s.accumulate(samples.data(), static_cast<int64_t>(samples.size()));
  Summary r{};
  s.summarize(r.n, r.maximum, r.minimum, r.mean, r.std_dev, r.rms, r.max_index, r.min_index,
              r.absmax_index);
  return r;
}

// Writes samples through a DacFile in the given batch sizes and closes it.
int write_in_batches(const std::string &path, const std::vector<float> &samples,
                     const std::vector<int> &batches) {
  DacFile f;
  int status = f.open(path.c_str(), "wb");
  if (status) return status;
  size_t done = 0;
  for (int n : batches) {
    status = f.writePoints(n, samples.data() + done);
    if (status) return status;
    done += static_cast<size_t>(n);
  }
  return f.close();
}

} // namespace

TEST(DacStatistics, TiedMagnitudesTakeTheSmallerIndex) {
  Summary r = summarize({5.0f, -7.0f, 7.0f});
  EXPECT_EQ(r.maximum, 7.0);
  EXPECT_EQ(r.max_index, 3);
  EXPECT_EQ(r.minimum, -7.0);
  EXPECT_EQ(r.min_index, 2);
  EXPECT_EQ(r.absmax_index, 2);
  EXPECT_EQ(summarize({-1.0f, 4.0f, -9.0f}).absmax_index, 3);
  EXPECT_EQ(summarize({-1.0f, 9.0f, -4.0f}).absmax_index, 2);
}

TEST(DacStatistics, EqualSamplesKeepFirstIndexAndZeroDeviation) {
  Summary r = summarize({2.0f, 2.0f, 2.0f, 2.0f});
  EXPECT_EQ(r.std_dev, 0.0);
  EXPECT_EQ(r.rms, 2.0);
  EXPECT_EQ(r.mean, 2.0);
  EXPECT_EQ(r.max_index, 1);
  EXPECT_EQ(r.min_index, 1);
  Summary one = summarize({3.0f});
  EXPECT_EQ(one.std_dev, 0.0);
  EXPECT_EQ(one.rms, 3.0);
  EXPECT_EQ(summarize({0.0f, 0.0f}).rms, 0.0);
  const Summary none = summarize({});
  EXPECT_EQ(none.n, 0);
  EXPECT_EQ(none.maximum, 0.0); // not the reset extreme
  EXPECT_EQ(none.absmax_index, 0);
}

TEST(DacStatistics, SampleDeviationAndRmsInDouble) {
  Summary r = summarize({1.0f, 2.0f, 3.0f, 4.0f});
  EXPECT_DOUBLE_EQ(r.mean, 2.5);
  EXPECT_DOUBLE_EQ(r.std_dev, std::sqrt(4.0 / 3.0 * (30.0 / 4.0 - 6.25)));
  EXPECT_DOUBLE_EQ(r.rms, std::sqrt(7.5));
  // Indices run across calls: they number samples of the whole signal.
  DacStatistics s;
  const float a[2] = {1.0f, 2.0f}, b[2] = {9.0f, -3.0f};
  s.accumulate(a, 2);
  s.accumulate(b, 2);
  EXPECT_EQ(s.maxIndex(), 3);
  EXPECT_EQ(s.minIndex(), 4);
  EXPECT_DOUBLE_EQ(s.sum(), 9.0);
  EXPECT_DOUBLE_EQ(s.sumOfSquares(), 95.0);
}

TEST(DacFile, OpenModesAndStateCodes) {
  TempDir dir;
  const std::string path = dir.file("a.dac");
  DacFile f;
  EXPECT_EQ(f.open(path.c_str(), "r"), ZEL_DAC_BAD_ARGUMENTS);
  EXPECT_EQ(f.open(path.c_str(), "rb+"), ZEL_DAC_BAD_ARGUMENTS);
  EXPECT_EQ(f.open(path.c_str(), nullptr), ZEL_DAC_BAD_ARGUMENTS);
  EXPECT_EQ(f.close(), ZEL_DAC_NOT_OPEN);
  float x = 1.0f;
  int got = -1;
  EXPECT_EQ(f.writePoints(1, &x), ZEL_DAC_NOT_WRITE_MODE); // created in read mode
  EXPECT_EQ(f.readPoints(1, &x, got), ZEL_DAC_NOT_OPEN);
  EXPECT_EQ(f.open(dir.file("missing.dac").c_str(), "rb"), ZEL_DAC_OPEN_FAILED);
  EXPECT_FALSE(f.isOpen());

  ASSERT_EQ(f.open(path.c_str(), "wb"), ZEL_DAC_OK);
  EXPECT_EQ(f.open(path.c_str(), "wb"), ZEL_DAC_ALREADY_OPEN);
  EXPECT_EQ(f.readPoints(1, &x, got), ZEL_DAC_NOT_READ_MODE);
  EXPECT_EQ(f.writePoints(-1, &x), ZEL_DAC_BAD_ARGUMENTS);
  EXPECT_EQ(f.writePoints(0, &x), ZEL_DAC_OK);
  EXPECT_EQ(f.getPointCount(), 0);
  EXPECT_EQ(f.position(), 1);
  // Nothing written: close refuses, repeatedly, and keeps the file.
  EXPECT_EQ(f.close(), ZEL_DAC_NO_POINTS);
  EXPECT_EQ(f.close(), ZEL_DAC_NO_POINTS);
  EXPECT_TRUE(f.isOpen());
  ASSERT_EQ(f.writePoints(1, &x), ZEL_DAC_OK);
  EXPECT_EQ(f.close(), ZEL_DAC_OK);
  EXPECT_EQ(f.writePoints(1, &x), ZEL_DAC_NOT_OPEN);
  EXPECT_EQ(f.close(), ZEL_DAC_NOT_OPEN);
}

TEST(DacFile, BatchesGiveTheSameFileAsOneWrite) {
  TempDir dir;
  const std::vector<float> samples = ramp(1000, 0.37f, -100.0f);
  ASSERT_EQ(write_in_batches(dir.file("one.dac"), samples, {1000}), ZEL_DAC_OK);
  ASSERT_EQ(write_in_batches(dir.file("four.dac"), samples, {300, 300, 300, 100}), ZEL_DAC_OK);
  const Bytes one = read_bytes(dir.file("one.dac"));
  EXPECT_EQ(one.size(), 512u * (1 + 8));
  EXPECT_EQ(one, read_bytes(dir.file("four.dac")));
  EXPECT_EQ(f32(one, 64), 0.0f); // no details, no detail records
}

TEST(DacFile, ReadsStopAtLastAndRangesAreChecked) {
  TempDir dir;
  const std::string path = dir.file("r.dac");
  const std::vector<float> samples = ramp(20);
  ASSERT_EQ(write_in_batches(path, samples, {20}), ZEL_DAC_OK);
  DacFile f;
  ASSERT_EQ(f.open(path.c_str(), "rb"), ZEL_DAC_OK);
  EXPECT_EQ(f.last(), 20);
  float buf[32];
  int got = -1;
  EXPECT_EQ(f.readPoints(0, buf, got), ZEL_DAC_BAD_ARGUMENTS);
  ASSERT_EQ(f.readPoints(32, buf, got), ZEL_DAC_OK);
  EXPECT_EQ(got, 20);
  for (int i = 0; i < 20; ++i) EXPECT_EQ(buf[i], samples[static_cast<size_t>(i)]);
  for (int k = 0; k < 2; ++k) {
    EXPECT_EQ(f.readPoints(5, buf, got), ZEL_DAC_OK);
    EXPECT_EQ(got, 0);
  }

  EXPECT_EQ(f.setReadRange(3, 2), ZEL_DAC_END_BEFORE_START);
  EXPECT_EQ(f.setReadRange(21, 21), ZEL_DAC_START_BEYOND_END);
  ASSERT_EQ(f.setReadRange(2, 25), ZEL_DAC_OK);
  ASSERT_EQ(f.readPoints(32, buf, got), ZEL_DAC_OK);
  EXPECT_EQ(got, 19);
  EXPECT_EQ(buf[0], samples[1]);
  ASSERT_EQ(f.setReadRange(-4, 3), ZEL_DAC_OK);
  EXPECT_EQ(f.position(), 1);
  ASSERT_EQ(f.readPoints(32, buf, got), ZEL_DAC_OK);
  EXPECT_EQ(got, 3);
  ASSERT_EQ(f.setReadRange(5, -1), ZEL_DAC_END_BEFORE_START);
  ASSERT_EQ(f.setReadRange(-5, -1), ZEL_DAC_OK); // negative last: up to the end
  EXPECT_EQ(f.last(), 20);
  EXPECT_EQ(f.close(), ZEL_DAC_OK);
}

TEST(DacFile, HeaderSettersCheckTheirArguments) {
  DacFile f;
  EXPECT_EQ(f.getInterval(), 1.0);
  EXPECT_EQ(f.setInterval(-0.5), ZEL_DAC_BAD_RATE);
  EXPECT_EQ(f.setInterval(NAN), ZEL_DAC_BAD_RATE);
  EXPECT_EQ(f.getInterval(), 1.0);
  EXPECT_EQ(f.setInterval(0.0), ZEL_DAC_OK);
  EXPECT_EQ(f.getInterval(), 0.0);
  EXPECT_TRUE(std::isinf(f32(Bytes(f.headerImage(), f.headerImage() + 512), 12)));
  EXPECT_EQ(f.setInterval(0.001), ZEL_DAC_OK);
  EXPECT_EQ(f.getInterval(), static_cast<double>(0.001f));
  EXPECT_EQ(f.setStartTime(2.5), ZEL_DAC_OK);
  EXPECT_EQ(f.getStartTime(), 2.5);

  EXPECT_EQ(f.setPointCount(0), ZEL_DAC_BAD_POINT_COUNT);
  EXPECT_EQ(f.setPointCount(5), ZEL_DAC_OK);
  EXPECT_EQ(f.getPointCount(), 5);
  EXPECT_EQ(f.setStatistics(1, 0, 0, -1, 1), ZEL_DAC_BAD_STATISTICS);
  EXPECT_EQ(f.setStatistics(1, 0, 0, 1, NAN), ZEL_DAC_BAD_STATISTICS);
  EXPECT_EQ(f.headerImage()[180], 0);
  EXPECT_EQ(f.setStatistics(1, 0, 0, 0, 0), ZEL_DAC_OK);
  EXPECT_EQ(f.headerImage()[180], 1);
  EXPECT_EQ(f.setExtremeIndices(1, 6, 1), ZEL_DAC_BAD_STATISTICS);
  EXPECT_EQ(f.setExtremeIndices(0, 1, 1), ZEL_DAC_BAD_STATISTICS);
  EXPECT_EQ(f.maxIndex(), 0);
  EXPECT_EQ(f.setExtremeIndices(5, 1, 5), ZEL_DAC_OK);
  EXPECT_EQ(f.maxIndex(), 5);

  f.setDetailRecordCount(15);
  EXPECT_EQ(f.detailRecordCount(), 15);

  f.setXLabel("abcdefghijklmnopqrstuvwxyz0123");
  EXPECT_STREQ(f.getXLabel(), "abcdefghijklmnopqrstuvwx");
  f.setYNote("abcdefghijklmnopqrstuvwxyz0123");
  EXPECT_STREQ(f.getYNote(), "abcdefghijklmnopqrstuvwxyz01");
  f.setYLabel(nullptr);
  EXPECT_STREQ(f.getYLabel(), "");
}

TEST(DacFile, DetailsGrowByTenAndLookupsMatchUpperCaseKeywords) {
  DacFile f;
  char value[121];
  EXPECT_EQ(f.getDetail("Date", value), ZEL_DAC_DETAIL_NOT_FOUND);
  EXPECT_STREQ(value, "");
  EXPECT_EQ(f.addDetail("", "x"), ZEL_DAC_BAD_ARGUMENTS);
  EXPECT_EQ(f.addDetail("KEY", ""), ZEL_DAC_BAD_ARGUMENTS);
  EXPECT_EQ(f.detailCount(), 0);
  EXPECT_EQ(f.detailCapacity(), 0);

  ASSERT_EQ(f.addDetail("Date", "first"), ZEL_DAC_OK);
  EXPECT_EQ(f.detailCapacity(), 10);
  EXPECT_STREQ(f.detailKeyword(0), "DATE");
  ASSERT_EQ(f.addDetail("DATE", "second"), ZEL_DAC_OK); // duplicates are kept
  ASSERT_EQ(f.addDetail("LongKeyword", std::string(130, 'v').c_str()), ZEL_DAC_OK);
  EXPECT_STREQ(f.detailKeyword(2), "LONGKEYW");
  EXPECT_EQ(std::string(f.detailValue(2)), std::string(120, 'v'));
  for (int i = 3; i < 11; ++i) {
    ASSERT_EQ(f.addDetail(("k" + std::to_string(i)).c_str(), "v"), ZEL_DAC_OK);
    EXPECT_EQ(f.detailCapacity(), i < 10 ? 10 : 20) << i;
  }
  EXPECT_EQ(f.detailCount(), 11);

  ASSERT_EQ(f.getDetail("date", value), ZEL_DAC_OK);
  EXPECT_STREQ(value, "first");
  ASSERT_EQ(f.getDetail("longkeywordXYZ", value), ZEL_DAC_OK); // first 8 characters
  EXPECT_EQ(std::string(value), std::string(120, 'v'));
  EXPECT_EQ(f.getDetail("LONGKEY", value), ZEL_DAC_DETAIL_NOT_FOUND);
  EXPECT_STREQ(value, "");

  f.clearDetails();
  EXPECT_EQ(f.detailCount(), 0);
  EXPECT_EQ(f.getDetail("DATE", value), ZEL_DAC_DETAIL_NOT_FOUND);
}

TEST(DacFile, CloseStoresStatisticsIndicesAndPadding) {
  TempDir dir;
  const std::string path = dir.file("s.dac");
  ASSERT_EQ(write_in_batches(path, {5.0f, -7.0f, 7.0f}, {2, 1}), ZEL_DAC_OK);
  const Bytes b = read_bytes(path);
  ASSERT_EQ(b.size(), 1024u);
  EXPECT_EQ(f32(b, 32), 7.0f);
  EXPECT_EQ(f32(b, 36), -7.0f);
  EXPECT_EQ(f32(b, 16), static_cast<float>(5.0 / 3.0));
  const double mean = 5.0 / 3.0, v = 123.0 / 3.0 - mean * mean;
  EXPECT_EQ(f32(b, 20), static_cast<float>(std::sqrt(3.0 / 2.0 * v)));
  EXPECT_EQ(f32(b, 68), static_cast<float>(std::sqrt(41.0)));
  EXPECT_EQ(i16(b, 180), 1);
  EXPECT_EQ(i32(b, 112), 3);
  EXPECT_EQ(i32(b, 116), 2);
  EXPECT_EQ(i32(b, 120), 2);
  EXPECT_EQ(f32(b, 500), 3.0f);
  EXPECT_EQ(f32(b, 504), 2.0f);
  EXPECT_EQ(f32(b, 508), 2.0f);
  for (size_t i = 512 + 12; i < 1024; ++i) ASSERT_EQ(b[i], 0) << i;

  // Samples below the reset maximum never become the maximum: its index
  // stays 0, the indices are refused and the header keeps zeros.
  ASSERT_EQ(write_in_batches(path, {-3e38f, -3e38f}, {2}), ZEL_DAC_OK);
  const Bytes low = read_bytes(path);
  EXPECT_EQ(f32(low, 32), -1.0e37f);
  EXPECT_EQ(i32(low, 112), 0);
  EXPECT_EQ(i32(low, 116), 0);
  EXPECT_EQ(i16(low, 180), 1);
}

TEST(DacFile, ReadsRevisionZeroHeadersWithoutStatistics) {
  TempDir dir;
  DacBuilder b;
  b.revision = 0;
  b.kind_code = 101;
  b.stats_flag = 0;
  b.samples = ramp(7);
  b.point_count_f = 6.6f; // rounds to 7
  b.indices[0] = 4;
  const std::string path = b.write(dir, "r0.dac");
  DacFile f;
  ASSERT_EQ(f.open(path.c_str(), "rb"), ZEL_DAC_OK);
  EXPECT_EQ(f.getPointCount(), 7);
  EXPECT_EQ(f.maxIndex(), 1);
  EXPECT_EQ(f.minIndex(), 1);
  EXPECT_EQ(f.absmaxIndex(), 1);
  EXPECT_EQ(f.close(), ZEL_DAC_OK);

  b.stats_flag = 1;
  b.indices[0] = 4;
  b.indices[1] = 2;
  b.indices[2] = 6;
  const std::string with_stats = b.write(dir, "r0s.dac");
  ASSERT_EQ(f.open(with_stats.c_str(), "rb"), ZEL_DAC_OK);
  EXPECT_EQ(f.maxIndex(), 4);
  EXPECT_EQ(f.minIndex(), 2);
  EXPECT_EQ(f.absmaxIndex(), 6);
}
