// DacFile: modes and state codes, batches, read positions and ranges, header
// setters, the details list and the statistics written at close.
#include "dac/dac_file.h"
#include "zel.h"

#include "dac/dac_test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <tuple>
#include <vector>

using zel::DacFile;
using namespace dac_test;

namespace {
// Writes samples through a DacFile in the given batch sizes and closes it.
int write_in_batches(const std::string &path, const std::vector<float> &samples, const std::vector<int> &batches) {
  DacFile f;
  int status = f.open(path.c_str(), "wb");
  size_t done = 0;
  for (int n : batches) {
    if (status == ZEL_DAC_OK) status = f.writePoints(n, samples.data() + done);
    done += static_cast<size_t>(n);
  }
  return status ? status : f.close();
}
} // namespace

TEST(DacFile, OpenModesAndStateCodes) {
  TempDir dir;
  const std::string path = dir.file("a.dac");
  DacFile f;
  for (const char *mode : {"r", "rb+", static_cast<const char *>(nullptr)})
    EXPECT_EQ(f.open(path.c_str(), mode), ZEL_DAC_BAD_ARGUMENTS);
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

TEST(DacFile, BatchesGiveTheSameFileAsOneWriteAndRefusedIndicesStayZero) {
  TempDir dir;
  const std::vector<float> samples = ramp(1000, 0.37f, -100.0f);
  ASSERT_EQ(write_in_batches(dir.file("one.dac"), samples, {1000}), ZEL_DAC_OK);
  ASSERT_EQ(write_in_batches(dir.file("four.dac"), samples, {300, 300, 300, 100}), ZEL_DAC_OK);
  const Bytes one = read_bytes(dir.file("one.dac"));
  EXPECT_EQ(one.size(), 512u * (1 + 8));
  EXPECT_EQ(one, read_bytes(dir.file("four.dac")));
  EXPECT_EQ(get<float>(one, 64), 0.0f); // no details, no detail records

  // Samples below the reset maximum never become the maximum: its index
  // stays 0, the indices are refused and the header keeps zeros.
  ASSERT_EQ(write_in_batches(dir.file("low.dac"), {-3e38f, -3e38f}, {2}), ZEL_DAC_OK);
  const Bytes low = read_bytes(dir.file("low.dac"));
  EXPECT_EQ(get<float>(low, 32), -1.0e37f);
  EXPECT_EQ(get<int32_t>(low, 112), 0);
  EXPECT_EQ(get<int32_t>(low, 116), 0);
  EXPECT_EQ(get<int16_t>(low, 180), 1);
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
  EXPECT_EQ(std::vector<float>(buf, buf + got), samples);
  for (int k = 0; k < 2; ++k) {
    EXPECT_EQ(f.readPoints(5, buf, got), ZEL_DAC_OK);
    EXPECT_EQ(got, 0);
  }
  // Ranges: a last beyond the end or negative means the end, a first below 1
  // means 1; the codes when they cross.
  EXPECT_EQ(f.setReadRange(3, 2), ZEL_DAC_END_BEFORE_START);
  EXPECT_EQ(f.setReadRange(21, 21), ZEL_DAC_START_BEYOND_END);
  EXPECT_EQ(f.setReadRange(5, -1), ZEL_DAC_END_BEFORE_START);
  const struct { int first, last, got; float at0; } ranges[] = {{2, 25, 19, samples[1]}, {-4, 3, 3, samples[0]}, {-5, -1, 20, samples[0]}};
  for (const auto &r : ranges) {
    ASSERT_EQ(f.setReadRange(r.first, r.last), ZEL_DAC_OK);
    ASSERT_EQ(f.readPoints(32, buf, got), ZEL_DAC_OK);
    EXPECT_EQ(std::make_tuple(got, buf[0]), std::make_tuple(r.got, r.at0)) << r.first << " " << r.last;
  }
  EXPECT_EQ(f.close(), ZEL_DAC_OK);
}

TEST(DacFile, HeaderSettersCheckTheirArguments) {
  DacFile f;
  EXPECT_EQ(f.setInterval(-0.5), ZEL_DAC_BAD_RATE);
  EXPECT_EQ(f.setInterval(NAN), ZEL_DAC_BAD_RATE);
  EXPECT_EQ(f.getInterval(), 1.0); // the default, untouched
  EXPECT_EQ(f.setInterval(0.0), ZEL_DAC_OK);
  EXPECT_TRUE(std::isinf(get<float>(Bytes(f.headerImage(), f.headerImage() + 512), 12)));
  EXPECT_EQ(f.setPointCount(0), ZEL_DAC_BAD_POINT_COUNT);
  EXPECT_EQ(f.setPointCount(5), ZEL_DAC_OK);
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
}

TEST(DacFile, DetailsGrowByTenAndLookupsMatchUpperCaseKeywords) {
  DacFile f;
  char value[121];
  EXPECT_EQ(f.getDetail("Date", value), ZEL_DAC_DETAIL_NOT_FOUND);
  EXPECT_STREQ(value, "");
  EXPECT_EQ(f.addDetail("", "x"), ZEL_DAC_BAD_ARGUMENTS);
  EXPECT_EQ(f.addDetail("KEY", ""), ZEL_DAC_BAD_ARGUMENTS);
  EXPECT_EQ(f.detailCapacity(), 0);
  ASSERT_EQ(f.addDetail("Date", "first"), ZEL_DAC_OK);
  ASSERT_EQ(f.addDetail("DATE", "second"), ZEL_DAC_OK); // duplicates are kept, the first wins
  ASSERT_EQ(f.addDetail("LongKeyword", std::string(130, 'v').c_str()), ZEL_DAC_OK);
  EXPECT_STREQ(f.detailKeyword(0), "DATE");
  EXPECT_STREQ(f.detailKeyword(2), "LONGKEYW");
  for (int i = 3; i < 11; ++i) {
    EXPECT_EQ(f.detailCapacity(), 10) << i;
    ASSERT_EQ(f.addDetail(("k" + std::to_string(i)).c_str(), "v"), ZEL_DAC_OK);
  }
  EXPECT_EQ(f.detailCapacity(), 20);
  ASSERT_EQ(f.getDetail("date", value), ZEL_DAC_OK);
  EXPECT_STREQ(value, "first");
  ASSERT_EQ(f.getDetail("longkeywordXYZ", value), ZEL_DAC_OK); // first 8 characters
  EXPECT_EQ(std::string(value), std::string(120, 'v'));
  EXPECT_EQ(f.getDetail("LONGKEY", value), ZEL_DAC_DETAIL_NOT_FOUND);
  f.clearDetails();
  EXPECT_EQ(f.detailCount(), 0);
  EXPECT_EQ(f.getDetail("DATE", value), ZEL_DAC_DETAIL_NOT_FOUND);
}
