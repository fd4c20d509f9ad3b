// Layout arithmetic, record matching and the decimal conversions of header
// values.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "common/text.h"
#include "rpc/rpc3_format.h"

using namespace zel;

namespace {
bool layout_of(int ch, int f, int g, int frames, int bytes, rpc3::Layout &l, int64_t start = 0) {
  rpc3_header h;
  rpc3::clear_header(h);
  h.channels = ch;
  h.pts_per_frame = f;
  h.pts_per_group = g;
  h.frames = frames;
  int64_t k = 0;
  rpc3::normalise_frames(h, k);
  return rpc3::make_layout(h, k, bytes, start, l);
}
} // namespace

TEST(Rpc3Format, LayoutPlacesPointsAndFrames) {
  rpc3::Layout l;
  ASSERT_TRUE(layout_of(3, 256, 512, 3, 2, l, 5120));
  EXPECT_EQ(l.data_start + l.data_bytes(), 5120 + 2 * 3 * 512 * 2);
  EXPECT_EQ(l.point_position(2, 600), 5120 + (1 * 3 + 1) * 512 * 2 + 88 * 2);
  EXPECT_EQ(l.frame_position(3, 2), l.point_position(3, 512)); // frame 2 opens group 1
  EXPECT_EQ(l.frame_position(1, 1), l.point_position(1, 256));
}

TEST(Rpc3Format, FramesAndGroupsAreNormalised) {
  struct {
    int f, g, frames;
    int64_t frame, group, k, groups, last, points;
  } cases[] = {
      {256, 512, 3, 256, 512, 2, 2, 1, 768},
      {0, 1024, 2, 1024, 1024, 1, 2, 1, 2048},   // no frame size: the group
      {512, 256, 2, 512, 512, 1, 2, 1, 1024},    // group below a frame: one frame
      {256, 2048, 9, 256, 2048, 8, 2, 1, 2304},
      {256, 2048, 16, 256, 2048, 8, 2, 8, 4096},
      {256, 2048, 0, 256, 2048, 8, 0, 0, 0},     // no frames, no points
  };
  for (const auto &c : cases) {
    rpc3::Layout l;
    ASSERT_TRUE(layout_of(1, c.f, c.g, c.frames, 2, l)) << c.f << "/" << c.g;
    EXPECT_EQ(l.frame, c.frame);
    EXPECT_EQ(l.group, c.group);
    EXPECT_EQ(l.frames_per_group, c.k);
    EXPECT_EQ(l.groups, c.groups);
    EXPECT_EQ(l.frames_in_last_group, c.last);
    EXPECT_EQ(l.points_per_channel(), c.points);
  }
  rpc3::Layout l;
  EXPECT_FALSE(layout_of(0, 256, 512, 1, 2, l));   // no channels
  EXPECT_FALSE(layout_of(1, 0, 0, 1, 2, l));       // no frame size at all
  EXPECT_FALSE(layout_of(INT32_MAX, INT32_MAX, INT32_MAX, INT32_MAX, 4, l)); // beyond 63 bits
  ASSERT_TRUE(layout_of(8, 1024, 2048, 200000, 4, l, 512)); // beyond 2 GiB is fine
  EXPECT_EQ(l.data_bytes(), int64_t(100000) * 8 * 2048 * 4);
}

TEST(Rpc3Format, KeywordsMatchWholeAndUntrimmedInsideTheirField) {
  char field[40] = "FORMAT";
  EXPECT_TRUE(rpc3::keyword_is(field, "FORMAT"));
  EXPECT_FALSE(rpc3::keyword_is(field, "FORM"));
  field[6] = ' ';
  EXPECT_FALSE(rpc3::keyword_is(field, "FORMAT"));

  int n = -1;
  EXPECT_TRUE(rpc3::channel_keyword("SCALE.CHAN_12", "SCALE.CHAN_", n));
  EXPECT_EQ(n, 12);
  EXPECT_FALSE(rpc3::channel_keyword("SCALE.CHAN_12", "MAP.CHAN_", n));
  EXPECT_TRUE(rpc3::channel_keyword("DESC.CHAN_", "DESC.CHAN_", n));
  EXPECT_EQ(n, 0);
  // 32 characters without a NUL: the byte after the field is never read.
  std::memset(field, '7', sizeof field);
  std::memcpy(field, "MAP.CHAN_", 9);
  field[32] = 'x';
  EXPECT_TRUE(rpc3::channel_keyword(field, "MAP.CHAN_", n));
  EXPECT_EQ(n, INT32_MAX);
}

TEST(Rpc3Format, NumbersAreReadLikeTheCLibraryInAnyLocale) {
  auto i = [](const char *s) { return parse_int(s, std::strlen(s) + 1); };
  auto r = [](const char *s) { return parse_real(s, std::strlen(s) + 1); };
  EXPECT_EQ(i("  42"), 42);
  EXPECT_EQ(i("-7xyz"), -7);
  EXPECT_EQ(i("abc"), 0);
  EXPECT_EQ(i("99999999999999"), INT32_MAX);
  EXPECT_EQ(i("-99999999999999"), INT32_MIN);
  EXPECT_DOUBLE_EQ(r("  1.000000000000E-02"), 0.01);
  EXPECT_DOUBLE_EQ(r("+2.5e3junk"), 2500.0);
  EXPECT_EQ(r("x1"), 0.0);
  EXPECT_EQ(r("1e999"), HUGE_VAL);
  EXPECT_EQ(r("1e-999"), 0.0);
  EXPECT_TRUE(std::isnan(r("nan")));
  // Fields without a NUL stop at their end.
  const char ones[] = "1111111111";
  EXPECT_EQ(parse_int(ones, 3), 111);
  EXPECT_DOUBLE_EQ(parse_real(ones, 2), 11.0);
  char text[8];
  copy_field(text, sizeof text, ones, 5);
  EXPECT_STREQ(text, "11111");
  copy_field(text, sizeof text, ones, 10);
  EXPECT_STREQ(text, "1111111");
}
