// Text packing, count rounding, layout boundaries and the validity test of
// DAC files, and the statistics accumulated while writing.
#include "dac/dac_file.h"
#include "dac/dac_format.h"
#include "zel.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

using namespace zel::dac;

namespace {
std::string packed(size_t size, const char *text) {
  unsigned char field[64];
  std::memset(field, 0xAA, sizeof field);
  pack_text(field, size, text);
  EXPECT_EQ(field[size], 0xAA) << "wrote past the field";
  return std::string(reinterpret_cast<char *>(field), size);
}
std::string unpacked(const std::string &field) {
  char out[64];
  unpack_text(reinterpret_cast<const unsigned char *>(field.data()), field.size(), out);
  return out;
}
std::string note(const std::string &head, const std::string &tail) {
  char out[29];
  unpack_note(reinterpret_cast<const unsigned char *>(head.data()),
              reinterpret_cast<const unsigned char *>(tail.data()), out);
  return out;
}
} // namespace

TEST(DacFormat, TextFieldsAreBlankPaddedAndReadBackTrimmed) {
  EXPECT_EQ(packed(24, "Time"), "Time" + std::string(20, ' '));
  EXPECT_EQ(packed(8, nullptr), std::string(8, ' '));
  EXPECT_EQ(packed(8, "ABCDEFGHIJ"), "ABCDEFGH");
  EXPECT_EQ(unpacked("  a b   "), "  a b"); // only trailing blanks go
  EXPECT_EQ(unpacked(std::string("ab\0cd   ", 8)), "ab");
  EXPECT_EQ(unpacked(std::string(8, ' ')), "");
  EXPECT_EQ(unpacked("ABCDEFGH"), "ABCDEFGH");
  // A note is one field from its two pieces: the head's trailing blanks
  // survive when the tail carries text.
  EXPECT_EQ(note("0123456789abcdef", "ghij        "), "0123456789abcdefghij");
  EXPECT_EQ(note("short           ", "x           "), "short           x");
  EXPECT_EQ(note("short           ", std::string(12, ' ')), "short");
}

TEST(DacFormat, CountsRoundByAddingHalfAndTruncatingAndGeometryBoundaries) {
  const std::pair<float, int32_t> counts[] = {{9.6f, 10},  {9.4f, 9},          {0.0f, 0},
                                              {-0.7f, 0},  {-3.7f, -3},        {NAN, 0},
                                              {1e30f, INT32_MAX}, {-1e30f, INT32_MIN}, {INFINITY, INT32_MAX}};
  for (auto [v, n] : counts) EXPECT_EQ(round_count(v), n) << v;
  EXPECT_EQ(first_detail_record(0), 3); // div truncates toward zero
  EXPECT_EQ(detail_group_count(0), 0);
  EXPECT_EQ(detail_group_count(13), 1);
  EXPECT_EQ(detail_group_count(14), 2);
  EXPECT_EQ(detail_group_count(-11), 1); // (-12 div 13) + 1
  EXPECT_EQ(detail_group_count(-12), 0);
}

TEST(DacFormat, ValidityTestChecksMarkerKindFlagAndRevision) {
  struct Case {
    int16_t marker, kind, flag, revision;
    int status;
  } cases[] = {{1, 0, 0, 0, ZEL_DAC_OK},      {1, 1, 1, 2, ZEL_DAC_OK},      {1, 3, 1, 2, ZEL_DAC_OK},
               {1, 101, 0, 0, ZEL_DAC_OK},    {1, 2, 1, 2, ZEL_DAC_NOT_DAC}, {1, 4, 1, 2, ZEL_DAC_NOT_DAC},
               {1, 100, 1, 2, ZEL_DAC_NOT_DAC}, {1, -1, 1, 2, ZEL_DAC_NOT_DAC}, {1, 3, 2, 2, ZEL_DAC_NOT_DAC},
               {1, 3, 1, 1, ZEL_DAC_NOT_DAC}, {0, 3, 1, 2, ZEL_DAC_NOT_DAC}, {2, 3, 1, 2, ZEL_DAC_NOT_DAC}};
  for (const Case &c : cases) {
    unsigned char h[512] = {};
    put_i16(h, hdr::kFormatMarker, c.marker);
    put_i16(h, hdr::kKindCode, c.kind);
    put_i16(h, hdr::kStatsFlag, c.flag);
    put_i16(h, hdr::kRevision, c.revision);
    EXPECT_EQ(check_header(h), c.status) << c.marker << " " << c.kind << " " << c.flag << " " << c.revision;
  }
}

TEST(DacStatistics, ExtremesTiesDeviationAndRms) {
  // Strict comparisons keep the first extreme; the abs-max tie takes the
  // smaller index; the deviation is the sample one; nothing gives zeros.
  struct Case {
    std::vector<float> x;
    int64_t max_i, min_i, abs_i;
    double maximum, mean, std_dev, rms;
  } cases[] = {{{5, -7, 7}, 3, 2, 2, 7, 5.0 / 3, std::sqrt(1.5 * (41 - 25.0 / 9)), std::sqrt(41.0)},
               {{-1, 4, -9}, 2, 3, 3, 4, -2, std::sqrt(1.5 * (98.0 / 3 - 4)), std::sqrt(98.0 / 3)},
               {{-1, 9, -4}, 2, 3, 2, 9, 4.0 / 3, std::sqrt(1.5 * (98.0 / 3 - 16.0 / 9)), std::sqrt(98.0 / 3)},
               {{2, 2, 2, 2}, 1, 1, 1, 2, 2, 0, 2},
               {{1, 2, 3, 4}, 4, 1, 4, 4, 2.5, std::sqrt(5.0 / 3), std::sqrt(7.5)},
               {{3}, 1, 1, 1, 3, 3, 0, 3},
               {{0, 0}, 1, 1, 1, 0, 0, 0, 0},
               {{-3e38f, -3e38f}, 0, 1, 1, -1e37f, -3e38f, 0, 3e38f}, // below the reset maximum
               {{}, 0, 0, 0, 0, 0, 0, 0}};
  for (const Case &c : cases) {
    zel::DacStatistics s;
    s.accumulate(c.x.data(), static_cast<int64_t>(c.x.size()));
    int64_t n, max_i, min_i, abs_i;
    double maximum, minimum, mean, std_dev, rms;
    s.summarize(n, maximum, minimum, mean, std_dev, rms, max_i, min_i, abs_i);
    const std::string which = ::testing::PrintToString(c.x);
    EXPECT_EQ(n, static_cast<int64_t>(c.x.size()));
    EXPECT_EQ(std::vector<int64_t>({max_i, min_i, abs_i}), std::vector<int64_t>({c.max_i, c.min_i, c.abs_i})) << which;
    EXPECT_EQ(maximum, c.maximum) << which;
    EXPECT_DOUBLE_EQ(mean, c.mean) << which;
    EXPECT_DOUBLE_EQ(std_dev, c.std_dev) << which;
    EXPECT_DOUBLE_EQ(rms, c.rms) << which;
  }
  // Indices run across calls: they number samples of the whole signal.
  zel::DacStatistics s;
  const float a[2] = {1.0f, 2.0f}, b[2] = {9.0f, -3.0f};
  s.accumulate(a, 2);
  s.accumulate(b, 2);
  EXPECT_EQ(s.maxIndex(), 3);
  EXPECT_EQ(s.minIndex(), 4);
}
