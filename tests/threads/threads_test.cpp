// Eight files (four DAC, four RPC III, one of each cut short) read on eight threads, three rounds each, through every
// read call by the fuzz targets' readers (which abort where two calls disagree): every result equals the same reads
// done on one thread beforehand.
#define ZEL_FUZZ_READERS_ONLY
#include "fuzz/fuzz.h"

#include "dac/dac_test_support.h"
#include "rpc/rpc3_support.h"

#include <gtest/gtest.h>

#include <thread>

using zel_fuzz::Channels;

TEST(Threads, ReadsOfDifferentFilesOnEightThreadsMatchOneThread) {
  zel_test::TempDir dir;
  std::vector<std::function<Channels()>> jobs;
  const int claimed[] = {20000, 7777, 9000, 4096}, held[] = {20000, 7777, 6000, 4096};
  for (int i = 0; i < 4; ++i) {
    dac_test::DacBuilder b;
    b.samples = dac_test::ramp(held[i], 0.25f * float(i + 1), float(100 * i)), b.point_count = claimed[i],
    b.pad_data = false;
    jobs.push_back([path = b.write(dir, "f" + std::to_string(i) + ".dac")] {
      const zel_fuzz::DacRead r = zel_fuzz::read_dac(path.c_str());
      return Channels{{double(r.status), double(r.npts), r.start, r.rate}, r.samples};
    });
    zel_test::Rpc3File f;
    f.channels = 3 - i % 2, f.group = 1024, f.frames = 40 + 7 * i, f.floating = i == 1, f.big_endian = i == 3,
    f.size_change = i == 2 ? -5000 : 0;
    f.stored = [i](int c, int64_t p) { return double((c * 1000 + p * 7 + i * 13) % 20011 - 10000); };
    jobs.push_back(
        [path = f.write(dir.file("f" + std::to_string(i) + ".rsp"))] { return zel_fuzz::read_rpc(path.c_str()); });
  }
  std::vector<Channels> single;
  for (const auto &job : jobs) single.push_back(job());
  zel_fuzz::g_one_thread = false;
  std::vector<int> mismatched_rounds(jobs.size(), 0);
  std::vector<std::thread> threads;
  for (size_t i = 0; i < jobs.size(); ++i)
    threads.emplace_back([&, i] {
      for (int round = 0; round < 3; ++round) mismatched_rounds[i] += jobs[i]() != single[i];
    });
  for (std::thread &t : threads) t.join();
  zel_fuzz::g_one_thread = true;
  for (size_t i = 0; i < jobs.size(); ++i) EXPECT_EQ(mismatched_rounds[i], 0) << "file " << i;
}
