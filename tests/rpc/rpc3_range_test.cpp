// Reading any range of points of a channel, in every read mode, with the
// builder's arithmetic as the oracle.
#include <gtest/gtest.h>

#include <vector>

#include "rpc/rpc3_support.h"

using namespace zel_test;

TEST(Rpc3Range, AnyRangeInEveryModeAndWrongArguments) {
  TempDir dir;
  Rpc3File f;
  f.channels = 3, f.frames = 7; // 1792 points, groups of two frames: the last holds one
  const std::string path = f.write(dir.file("r.rsp"));
  for (int budget : {0, 1, 64}) { // frame pairs, group pairs, the whole file
    rpc3file_input in(path.c_str());
    in.initRead(budget);
    for (auto [first, count] : {std::pair{0, 1}, {255, 2}, {1000, 700}, {1791, 1}, {0, 1792}, {600, 0}}) {
      for (int c : {3, 1}) {
        std::vector<double> got(size_t(count) + 1, -1.0), want(size_t(count) + 1, -1.0);
        for (int k = 0; k < count; ++k) want[size_t(k)] = f.expected(c, first + k);
        EXPECT_EQ(in.getRange(c, first, count, got.data()), 0);
        EXPECT_EQ(got, want) << budget << " " << c << " " << first << " " << count;
      }
    }
    double x = 0;
    EXPECT_EQ(in.getData(2, 1, &x), 1); // the cursor is untouched by ranges
    EXPECT_EQ(x, f.expected(2, 0));
    for (auto [c, first, count] :
         {std::tuple{0, 0, 1}, {4, 0, 1}, {1, -1, 1}, {1, 0, -1}, {1, 1792, 1}, {1, 1000, 793}})
      EXPECT_EQ(in.getRange(c, first, count, &x), ZEL_RPC_CHANNEL_RANGE) << c << " " << first << " " << count;
    EXPECT_EQ(in.getRange(1, 0, 1, nullptr), ZEL_RPC_CHANNEL_RANGE);
  }
  EXPECT_EQ(zel_rpc_getrange(nullptr, 1, 0, 0, nullptr), ZEL_RPC_BAD_HANDLE);

  // A file cut inside its third group: what is missing reads as 0.0.
  f.size_change = -3 * 512 * 2 - 100;
  rpc3file_input cut(f.write(dir.file("cut.rsp")).c_str());
  cut.initRead(0);
  std::vector<double> v(1792);
  EXPECT_EQ(cut.getRange(3, 0, 1792, v.data()), 0);
  EXPECT_EQ(v[511], f.expected(3, 511));
  EXPECT_EQ(v[1791], 0.0);
}
