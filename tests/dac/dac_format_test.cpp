// Layout arithmetic, text packing and the validity test of DAC files.
#include "dac/dac_format.h"
#include "zel.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

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
} // namespace

TEST(DacFormat, TextFieldsAreBlankPaddedAndReadBackTrimmed) {
  EXPECT_EQ(packed(24, "Time"), "Time" + std::string(20, ' '));
  EXPECT_EQ(packed(8, nullptr), std::string(8, ' '));
  EXPECT_EQ(packed(8, "ABCDEFGHIJ"), "ABCDEFGH");
  EXPECT_EQ(unpacked("  a b   "), "  a b"); // only trailing blanks go
  EXPECT_EQ(unpacked(std::string("ab\0cd   ", 8)), "ab");
  EXPECT_EQ(unpacked(std::string(8, ' ')), "");
  EXPECT_EQ(unpacked("ABCDEFGH"), "ABCDEFGH");
}

TEST(DacFormat, NoteIsReadAsOneFieldFromItsTwoPieces) {
  char out[29];
  const std::string head = "0123456789abcdef", tail = "ghij        ";
  unpack_note(reinterpret_cast<const unsigned char *>(head.data()),
              reinterpret_cast<const unsigned char *>(tail.data()), out);
  EXPECT_STREQ(out, "0123456789abcdefghij");
  // Trailing blanks of the head survive when the tail carries text.
  const std::string head2 = "short           ", tail2 = "x           ";
  unpack_note(reinterpret_cast<const unsigned char *>(head2.data()),
              reinterpret_cast<const unsigned char *>(tail2.data()), out);
  EXPECT_STREQ(out, "short           x");
  const std::string blank_tail(12, ' ');
  unpack_note(reinterpret_cast<const unsigned char *>(head2.data()),
              reinterpret_cast<const unsigned char *>(blank_tail.data()), out);
  EXPECT_STREQ(out, "short");
}

TEST(DacFormat, CountsRoundByAddingHalfAndTruncating) {
  EXPECT_EQ(round_count(9.6f), 10);
  EXPECT_EQ(round_count(9.4f), 9);
  EXPECT_EQ(round_count(0.0f), 0);
  EXPECT_EQ(round_count(-0.7f), 0);
  EXPECT_EQ(round_count(-3.7f), -3);
  EXPECT_EQ(round_count(NAN), 0);
  EXPECT_EQ(round_count(1e30f), INT32_MAX);
  EXPECT_EQ(round_count(-1e30f), INT32_MIN);
  EXPECT_EQ(round_count(INFINITY), INT32_MAX);
}

TEST(DacFormat, GeometryAtRecordBoundariesAndOddCounts) {
  EXPECT_EQ(data_record_count(128), 1);
  EXPECT_EQ(data_record_count(129), 2);
  EXPECT_EQ(first_detail_record(128), 3);
  EXPECT_EQ(first_detail_record(129), 4);
  EXPECT_EQ(first_detail_record(0), 3); // div truncates toward zero
  EXPECT_EQ(detail_record_count(4), 2);
  EXPECT_EQ(detail_record_count(5), 3);
  EXPECT_EQ(detail_record_count(49), 15);
  EXPECT_EQ(detail_group_count(0), 0);
  EXPECT_EQ(detail_group_count(13), 1);
  EXPECT_EQ(detail_group_count(14), 2);
  EXPECT_EQ(detail_group_count(-4), 1); // (-5 div 13) + 1
  EXPECT_EQ(detail_group_count(-11), 1);
  EXPECT_EQ(detail_group_count(-12), 0);
}

TEST(DacFormat, ValidityTestChecksMarkerKindFlagAndRevision) {
  unsigned char h[512] = {};
  put_i16(h, hdr::kFormatMarker, 1);
  put_i16(h, hdr::kKindCode, 101);
  EXPECT_EQ(check_header(h), ZEL_DAC_OK); // stats flag 0, revision 0
  for (int kind : {0, 1, 3, 101}) {
    put_i16(h, hdr::kKindCode, static_cast<int16_t>(kind));
    EXPECT_EQ(check_header(h), ZEL_DAC_OK) << kind;
  }
  for (int kind : {2, 4, 100, -1}) {
    put_i16(h, hdr::kKindCode, static_cast<int16_t>(kind));
    EXPECT_EQ(check_header(h), ZEL_DAC_NOT_DAC) << kind;
  }
  put_i16(h, hdr::kKindCode, 3);
  put_i16(h, hdr::kStatsFlag, 2);
  EXPECT_EQ(check_header(h), ZEL_DAC_NOT_DAC);
  put_i16(h, hdr::kStatsFlag, 1);
  put_i16(h, hdr::kRevision, 1);
  EXPECT_EQ(check_header(h), ZEL_DAC_NOT_DAC);
  put_i16(h, hdr::kRevision, 2);
  EXPECT_EQ(check_header(h), ZEL_DAC_OK);
  put_i16(h, hdr::kFormatMarker, 0);
  EXPECT_EQ(check_header(h), ZEL_DAC_NOT_DAC);
}
