// RPC III definitions: the exported classes' layout, the family's code
// table against zel_rpc_geterror and the comments of include/zel.h, the
// layout arithmetic and the header number texts.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <fstream>
#include <map>
#include <regex>

#include "common/text.h"
#include "rpc/rpc3_format.h"
#include "rpc/rpc3_support.h"
#include "rpc/rpc_status.h"

using namespace zel;

// The exported classes hold one pointer: their size is part of the ABI.
static_assert(sizeof(rpc3file_input) == sizeof(void *), "rpc3file_input: one pointer");
static_assert(sizeof(rpc3file_output) == sizeof(void *), "rpc3file_output: one pointer");

TEST(Rpc3Status, TableMessagesCommentsOfTheHeaderAgree) {
  EXPECT_EQ(sizeof(rpc3file_input), sizeof(void *)); // a failure names the class, not only the build
  EXPECT_EQ(sizeof(rpc3file_output), sizeof(void *));
  std::ifstream header(ZEL_PUBLIC_HEADER);
  ASSERT_TRUE(header) << ZEL_PUBLIC_HEADER;
  std::map<int, std::string> comments;
  const std::regex entry(R"re(^\s*ZEL_RPC_\w+ = (\d+),?\s*/\* "(.*)" \*/)re");
  std::smatch m;
  for (std::string line; std::getline(header, line);)
    if (std::regex_search(line, m, entry)) comments[std::stoi(m[1])] = m[2];
  ASSERT_EQ(comments.size(), std::size(rpc3::kStatusMessages));
  int expected_code = 0;
  for (const rpc3::StatusMessage &s : rpc3::kStatusMessages) {
    EXPECT_EQ(s.code, expected_code++); // the codes count from 0 without gaps
    EXPECT_EQ(comments[s.code], s.message) << s.code;
  }
  for (int code : {0, 5, 11, 12, -1, INT_MIN, INT_MAX}) {
    char buffer[80];
    std::memset(buffer, 'x', sizeof buffer);
    zel_rpc_geterror(code, buffer);
    EXPECT_STREQ(buffer, rpc3::status_message(code));
    EXPECT_EQ(buffer[std::strlen(buffer) + 1], 'x') << "written past the NUL for code " << code;
  }
  EXPECT_STREQ(rpc3::status_message(12), "Unknown error");
}

TEST(Rpc3Format, LayoutNormalisationAndLimits) {
  struct {
    int f, g, frames;
    int64_t frame, group, k, groups, last, points;
  } cases[] = {
      {256, 512, 3, 256, 512, 2, 2, 1, 768},     {0, 1024, 2, 1024, 1024, 1, 2, 1, 2048},  // no frame: the group
      {512, 256, 2, 512, 512, 1, 2, 1, 1024},    {256, 2048, 9, 256, 2048, 8, 2, 1, 2304}, // group below a frame
      {256, 2048, 16, 256, 2048, 8, 2, 8, 4096}, {256, 2048, 0, 256, 2048, 8, 0, 0, 0}};
  auto layout_of = [](int ch, int f, int g, int frames, int bytes, rpc3::Layout &l) {
    rpc3_header h{};
    h.channels = ch, h.pts_per_frame = f, h.pts_per_group = g, h.frames = frames;
    int64_t k = 0;
    rpc3::normalise_frames(h, k);
    return rpc3::make_layout(h, k, bytes, 512, l);
  };
  rpc3::Layout l;
  for (const auto &c : cases) {
    ASSERT_TRUE(layout_of(1, c.f, c.g, c.frames, 2, l)) << c.f << "/" << c.g;
    EXPECT_EQ(std::vector<int64_t>(
                  {l.frame, l.group, l.frames_per_group, l.groups, l.frames_in_last_group, l.points_per_channel()}),
              std::vector<int64_t>({c.frame, c.group, c.k, c.groups, c.last, c.points}))
        << c.f << "/" << c.g << "/" << c.frames;
  }
  EXPECT_FALSE(layout_of(0, 256, 512, 1, 2, l));
  EXPECT_FALSE(layout_of(1, 0, 0, 1, 2, l));
  EXPECT_FALSE(layout_of(INT32_MAX, INT32_MAX, INT32_MAX, INT32_MAX, 4, l)); // beyond 63 bits
  ASSERT_TRUE(layout_of(8, 1024, 2048, 200000, 4, l));                       // beyond 2 GiB is fine
  EXPECT_EQ(l.point_position(3, 204799999), 512 + ((99999 * 8 + 2) * 2048 + 2047) * int64_t(4));
}

// Header numbers: texts of the C library in the C locale (the writer's
// records are checked against it too), fields read like atoi and atof
// without running past the field, out-of-range values held.
TEST(Rpc3Format, HeaderNumbers) {
  auto i = [](const char *s) { return parse_int(s, std::strlen(s) + 1); };
  auto r = [](const char *s) { return parse_real(s, std::strlen(s) + 1); };
  EXPECT_EQ(std::vector<int>({i("  42"), i("-7xyz"), i("abc"), i("99999999999999"), i("-99999999999999"),
                              i("2147483648"), parse_int("1111", 3)}),
            std::vector<int>({42, -7, 0, INT32_MAX, INT32_MIN, INT32_MAX, 111}));
  EXPECT_EQ(std::vector<double>({r("  1.0E-02"), r("+2.5e3junk"), r("x1"), r("1e999"), r("-1e999"), r("1e-999")}),
            std::vector<double>({0.01, 2500.0, 0.0, HUGE_VAL, -HUGE_VAL, 0.0}));
  char text[rpc3::kNumberBytes];
  for (double v : {-0.0, 5e-324, 1.7976931348623157e308, -HUGE_VAL, std::nan("")}) {
    rpc3::format_real(text, v);
    EXPECT_EQ(std::string(text), zel_test::Rpc3File::real(v));
  }
}
