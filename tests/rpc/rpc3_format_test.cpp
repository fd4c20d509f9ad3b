// Definitions: the exported classes' size, both families' messages against the comments of include/zel.h, the RPC III
// layout arithmetic.
#include <gtest/gtest.h>

#include <climits>
#include <map>
#include <regex>
#include <tuple>

#include "rpc/rpc3_format.h"
#include "support/temp_dir.h"
#include "zel.h"

using namespace zel;

// The exported classes hold one pointer: their size is part of the ABI.
static_assert(sizeof(rpc3file_input) == sizeof(void *), "rpc3file_input: one pointer");
static_assert(sizeof(rpc3file_output) == sizeof(void *), "rpc3file_output: one pointer");

// Each code of both families carries its message as a comment in the public header; geterror gives it ("Unknown error"
// for any other code) and writes nothing past its NUL.
TEST(StatusMessages, GeterrorGivesTheCommentsOfTheHeader) {
  const std::string header = zel_test::read_file(ZEL_PUBLIC_HEADER);
  for (auto [family, geterror, count] : {std::tuple{"RPC", &zel_rpc_geterror, 12}, {"DAC", &zel_dac_geterror, 24}}) {
    std::map<int, std::string> messages;
    const std::regex entry("ZEL_" + std::string(family) + R"re(_\w+ = (\d+),? +/\* "([^"]*)" \*/)re");
    for (std::sregex_iterator m(header.begin(), header.end(), entry), end; m != end; ++m)
      messages[std::stoi((*m)[1])] = (*m)[2];
    ASSERT_EQ(messages.size(), size_t(count)) << family;
    ASSERT_EQ(messages.rbegin()->first, count - 1) << family; // 0 to count - 1
    for (int code : {count, count + 7, -1, INT_MIN, INT_MAX}) messages[code] = "Unknown error";
    for (const auto &[code, message] : messages) {
      std::string buffer(80, 'x');
      geterror(code, buffer.data());
      EXPECT_EQ(buffer.c_str(), message) << family << " " << code;
      EXPECT_EQ(buffer[message.size() + 1], 'x') << "written past the NUL for " << family << " " << code;
    }
  }
}

TEST(Rpc3Format, LayoutNormalisationAndLimits) {
  auto layout_of = [](int ch, int f, int g, int frames, int bytes, rpc3::Layout &l) {
    rpc3_header h{};
    h.channels = ch, h.pts_per_frame = f, h.pts_per_group = g, h.frames = frames;
    int64_t k = 0;
    rpc3::normalise_frames(h, k);
    return rpc3::make_layout(h, k, bytes, 512, l);
  };
  // clang-format off
  const struct { int f, g, frames; std::vector<int64_t> want; } cases[] = {
      // PTS_PER_FRAME, PTS_PER_GROUP, FRAMES; F, G, K, groups, frames in the last group, points
      {256, 512, 3, {256, 512, 2, 2, 1, 768}},
      {0, 1024, 2, {1024, 1024, 1, 2, 1, 2048}},   // no frame: the group
      {512, 256, 2, {512, 512, 1, 2, 1, 1024}},    // group below a frame: one frame
      {256, 2048, 9, {256, 2048, 8, 2, 1, 2304}},
      {256, 2048, 16, {256, 2048, 8, 2, 8, 4096}},
      {256, 2048, 0, {256, 2048, 8, 0, 0, 0}}};
  // clang-format on
  rpc3::Layout l;
  for (const auto &c : cases) {
    ASSERT_TRUE(layout_of(1, c.f, c.g, c.frames, 2, l)) << c.f << "/" << c.g;
    EXPECT_EQ(std::vector<int64_t>(
                  {l.frame, l.group, l.frames_per_group, l.groups, l.frames_in_last_group, l.points_per_channel()}),
              c.want)
        << c.f << "/" << c.g << "/" << c.frames;
  }
  EXPECT_FALSE(layout_of(INT32_MAX, INT32_MAX, INT32_MAX, INT32_MAX, 4, l)); // sizes beyond 63 bits
}
