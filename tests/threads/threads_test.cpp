// Eight files (four DAC, four RPC III, one of each cut short) read on eight threads, three rounds each, through every
// read call: every result equals the same reads done on one thread beforehand.
#include "dac/dac_test_support.h"
#include "rpc/rpc3_support.h"

#include <gtest/gtest.h>

#include <functional>
#include <thread>

namespace {

using Samples = std::vector<double>;

// Appends a call's result and the first n values of v (n < 0: result values); returns the result.
int add(Samples &out, int result, const Samples &v, int64_t n = -1) {
  out.push_back(result);
  out.insert(out.end(), v.begin(), v.begin() + (n < 0 ? result : n));
  return result;
}

// DAC: the whole file through the handle in many small uneven steps, windows around three centres, the whole file at
// once.
Samples read_dac(const std::string &path) {
  Samples out, x(5000), t(1401);
  int n = 0, status = 0, got = 1;
  double rate = 0.0, spare = 0.0, start = 0.0;
  void *h = zel_dac_open(path.c_str(), &n, &rate, &spare, &status);
  for (int i = 0; i < 400 && got > 0; ++i) got = add(out, zel_dac_getnpts(h, (i * 37) % 200 + 1, x.data()), x);
  for (int centre : {0, n / 3, n - 1})
    add(out, zel_dac_getwindow(h, n, 0.0, 1.0 / rate, centre / rate, 700, t.data(), x.data()), x, 1401),
        add(out, 0, t, 1401);
  zel_dac_close(h), x.assign(size_t(n), -1.0);
  add(out, zel_dac_data(path.c_str(), &n, &start, &rate, x.data()), x, n);
  return out;
}

// RPC III: each channel in uneven steps and windows through a handle, the first channel whole, every channel whole
// through a reader of group pairs.
Samples read_rpc(const std::string &path) {
  Samples out, x(3000), t(801);
  int channels = 0, n = 0, status = 0;
  double dt = 0.0;
  void *h = zel_rpc_open(path.c_str(), &channels, &n, &dt, nullptr, &status);
  for (int c = 1; c <= channels; ++c) {
    for (int i = 0, done = 0, got = 0; done < n; ++i, done += got)
      got = add(out, zel_rpc_getnpts(h, c, (i * 997) % 3000 + 1, x.data()), x);
    for (int centre : {0, n / 2, n}) add(out, zel_rpc_getwindow(h, c, centre * dt, 400, t.data(), x.data()), x, 801);
  }
  zel_rpc_readclose(h), x.assign(size_t(n), -1.0);
  add(out, zel_rpc_data(path.c_str(), 1, &n, &dt, x.data()), x, n);
  rpc3file_input whole(path.c_str());
  whole.initRead(1);
  for (int c = 1; c <= channels; ++c) add(out, whole.getData(c, x.data()), x, n);
  return out;
}

} // namespace

TEST(Threads, ReadsOfDifferentFilesOnEightThreadsMatchOneThread) {
  zel_test::TempDir dir;
  std::vector<std::function<Samples()>> jobs;
  const int claimed[] = {20000, 7777, 9000, 4096}, held[] = {20000, 7777, 6000, 4096};
  for (int i = 0; i < 4; ++i) {
    dac_test::DacBuilder b;
    b.samples = dac_test::ramp(held[i], 0.25f * float(i + 1), float(100 * i)), b.point_count = claimed[i],
    b.pad_data = false;
    jobs.push_back([path = b.write(dir, "f" + std::to_string(i) + ".dac")] { return read_dac(path); });
    zel_test::Rpc3File f;
    f.channels = 3 - i % 2, f.group = 1024, f.frames = 40 + 7 * i, f.floating = i == 1, f.big_endian = i == 3,
    f.size_change = i == 2 ? -5000 : 0;
    f.stored = [i](int c, int64_t p) { return double((c * 1000 + p * 7 + i * 13) % 20011 - 10000); };
    jobs.push_back([path = f.write(dir.file("f" + std::to_string(i) + ".rsp"))] { return read_rpc(path); });
  }
  std::vector<Samples> single;
  for (const auto &job : jobs) single.push_back(job());
  std::vector<int> mismatched_rounds(jobs.size(), 0);
  std::vector<std::thread> threads;
  for (size_t i = 0; i < jobs.size(); ++i)
    threads.emplace_back([&, i] {
      for (int round = 0; round < 3; ++round) mismatched_rounds[i] += jobs[i]() != single[i];
    });
  for (std::thread &t : threads) t.join();
  for (size_t i = 0; i < jobs.size(); ++i) EXPECT_EQ(mismatched_rounds[i], 0) << "file " << i;
}
