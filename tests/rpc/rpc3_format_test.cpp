// Layout arithmetic, record matching and the decimal conversions of header
// values.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "common/text.h"
#include "rpc/rpc3_format.h"

using namespace zel;

namespace {
rpc3_header header_with(int ch, int f, int g, int frames) {
  rpc3_header h;
  rpc3::clear_header(h);
  h.channels = ch;
  h.pts_per_frame = f;
  h.pts_per_group = g;
  h.frames = frames;
  return h;
}
} // namespace

TEST(Rpc3Format, LayoutPlacesPointsFramesAndPadding) {
  rpc3_header h = header_with(3, 256, 512, 3);
  int64_t k = 0;
  rpc3::normalise_frames(h, k);
  rpc3::Layout l;
  ASSERT_TRUE(rpc3::make_layout(h, k, 2, 5120, l));
  EXPECT_EQ(l.frames_per_group, 2);
  EXPECT_EQ(l.groups, 2);
  EXPECT_EQ(l.frames_in_last_group, 1);
  EXPECT_EQ(l.points_per_channel(), 768);
  EXPECT_EQ(l.data_start + l.data_bytes(), 5120 + 2 * 3 * 512 * 2);
  EXPECT_EQ(l.point_position(2, 600), 5120 + (1 * 3 + 1) * 512 * 2 + 88 * 2);
  // Frame 2 (the third) opens group 1 of each channel.
  EXPECT_EQ(l.frame_position(3, 2), l.point_position(3, 512));
  EXPECT_EQ(l.frame_position(1, 1), l.point_position(1, 256));
}

TEST(Rpc3Format, FramesAndGroupsAreNormalised) {
  int64_t k = 0;
  rpc3_header missing_frame = header_with(1, 0, 1024, 2);
  rpc3::normalise_frames(missing_frame, k);
  EXPECT_EQ(missing_frame.pts_per_frame, 1024);
  EXPECT_EQ(k, 1);

  rpc3_header group_below_frame = header_with(1, 512, 256, 2);
  rpc3::normalise_frames(group_below_frame, k);
  EXPECT_EQ(group_below_frame.pts_per_group, 512);
  EXPECT_EQ(k, 1);

  rpc3_header whole = header_with(1, 256, 2048, 9);
  rpc3::normalise_frames(whole, k);
  EXPECT_EQ(k, 8);
  rpc3::Layout l;
  ASSERT_TRUE(rpc3::make_layout(whole, k, 4, 0, l));
  EXPECT_EQ(l.groups, 2);
  EXPECT_EQ(l.frames_in_last_group, 1);

  rpc3_header empty = header_with(1, 256, 2048, 0);
  rpc3::normalise_frames(empty, k);
  ASSERT_TRUE(rpc3::make_layout(empty, k, 2, 0, l));
  EXPECT_EQ(l.groups, 0);
  EXPECT_EQ(l.points_per_channel(), 0);
}

TEST(Rpc3Format, UnusableLayoutsAreRefused) {
  rpc3::Layout l;
  EXPECT_FALSE(rpc3::make_layout(header_with(0, 256, 512, 1), 2, 2, 0, l));
  EXPECT_FALSE(rpc3::make_layout(header_with(1, 0, 0, 1), 1, 2, 0, l));
  EXPECT_FALSE(rpc3::make_layout(header_with(-5, 256, 512, 1), 2, 2, 0, l));
  // Sizes beyond 63 bits.
  EXPECT_FALSE(rpc3::make_layout(header_with(INT32_MAX, INT32_MAX, INT32_MAX, INT32_MAX), 1, 4, 0, l));
  // Large but representable: more than 2 GiB of data.
  ASSERT_TRUE(rpc3::make_layout(header_with(8, 1024, 2048, 200000), 2, 4, 512, l));
  EXPECT_EQ(l.data_bytes(), int64_t(100000) * 8 * 2048 * 4);
}

TEST(Rpc3Format, KeywordsMatchWholeAndUntrimmed) {
  char field[32] = {};
  std::memcpy(field, "FORMAT", 6);
  EXPECT_TRUE(rpc3::keyword_is(field, "FORMAT"));
  field[6] = ' ';
  EXPECT_FALSE(rpc3::keyword_is(field, "FORMAT"));
  EXPECT_FALSE(rpc3::keyword_is(field, "FORM"));

  int n = -1;
  char chan[32] = "SCALE.CHAN_12";
  EXPECT_TRUE(rpc3::channel_keyword(chan, "SCALE.CHAN_", n));
  EXPECT_EQ(n, 12);
  EXPECT_FALSE(rpc3::channel_keyword(chan, "MAP.CHAN_", n));
  char bare[32] = "DESC.CHAN_";
  EXPECT_TRUE(rpc3::channel_keyword(bare, "DESC.CHAN_", n));
  EXPECT_EQ(n, 0);

  // A keyword field of 32 characters without a NUL is never read past.
  char full[40];
  std::memset(full, 'A', sizeof full);
  std::memcpy(full, "MAP.CHAN_", 9);
  std::memset(full + 9, '7', 23);
  full[32] = '9';
  EXPECT_TRUE(rpc3::channel_keyword(full, "MAP.CHAN_", n));
  EXPECT_EQ(n, INT32_MAX); // saturated, and the ninth byte past the field was not read
}

TEST(Rpc3Format, NumbersAreReadLikeTheCLibraryInAnyLocale) {
  auto i = [](const char *s) { return parse_int(s, std::strlen(s) + 1); };
  auto r = [](const char *s) { return parse_real(s, std::strlen(s) + 1); };
  EXPECT_EQ(i("  42"), 42);
  EXPECT_EQ(i("-7xyz"), -7);
  EXPECT_EQ(i("+3"), 3);
  EXPECT_EQ(i("abc"), 0);
  EXPECT_EQ(i(""), 0);
  EXPECT_EQ(i("99999999999999"), INT32_MAX);
  EXPECT_EQ(i("-99999999999999"), INT32_MIN);
  EXPECT_DOUBLE_EQ(r("  1.000000000000E-02"), 0.01);
  EXPECT_DOUBLE_EQ(r("-2.5e3junk"), -2500.0);
  EXPECT_DOUBLE_EQ(r("4.000000E-03"), 0.004);
  EXPECT_EQ(r("x1"), 0.0);
  EXPECT_EQ(r("1e999"), HUGE_VAL);
  EXPECT_EQ(r("1e-999"), 0.0);
  EXPECT_TRUE(std::isnan(r("nan")));
  // A value of 96 characters without a NUL stops at the field's end.
  char field[100];
  std::memset(field, '1', sizeof field);
  EXPECT_EQ(parse_int(field, 3), 111);
  EXPECT_DOUBLE_EQ(parse_real(field, 2), 11.0);
  char text[8];
  copy_field(text, sizeof text, field, 5);
  EXPECT_STREQ(text, "11111");
  copy_field(text, sizeof text, field, 96);
  EXPECT_STREQ(text, "1111111");
}
