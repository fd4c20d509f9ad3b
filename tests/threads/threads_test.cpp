// Reads of different files on different threads: eight threads, each on a
// file of its own (four DAC, four RPC III, one of each cut short), read the
// file through every read call, three times over; every result equals the
// same reads done on one thread beforehand.
#include "dac/dac_test_support.h"
#include "rpc/rpc3_support.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace {

using Samples = std::vector<double>;

// Every value a read call delivers, appended to out.
void append(Samples &out, const double *v, int64_t n) { out.insert(out.end(), v, v + n); }

// A DAC file: handle reads in uneven steps (the handle's buffer grows and
// is reused; a failed read repeats until the step limit), windows around
// three centres, the whole file.
Samples read_dac(const std::string &path) {
  Samples out, x(5000), t(1401);
  int n = 0, status = 0;
  double rate = 0.0, spare = 0.0;
  void *h = zel_dac_open(path.c_str(), &n, &rate, &spare, &status);
  const int steps[] = {100, 3000, 1, 4999, 700};
  for (int i = 0, got = 1; i < 40 && got > 0; ++i) {
    got = zel_dac_getnpts(h, steps[i % 5], x.data());
    append(out, x.data(), got);
  }
  for (int centre : {0, n / 3, n - 1}) {
    out.push_back(zel_dac_getwindow(h, n, 0.0, 1.0 / rate, centre / rate, 700, t.data(), x.data()));
    append(out, x.data(), 1401);
    append(out, t.data(), 1401);
  }
  zel_dac_close(h);
  double start = 0.0;
  x.assign(static_cast<size_t>(n), -1.0);
  out.push_back(zel_dac_data(path.c_str(), &n, &start, &rate, x.data()));
  append(out, x.data(), n);
  return out;
}

// An RPC III file: each channel in uneven steps and windows around three
// times through a handle, the first channel whole, then every channel whole
// through a reader holding group pairs.
Samples read_rpc(const std::string &path) {
  Samples out, x(3000), t(801);
  int channels = 0, n = 0, status = 0;
  double dt = 0.0;
  void *h = zel_rpc_open(path.c_str(), &channels, &n, &dt, nullptr, &status);
  rpc3file_input whole(path.c_str());
  whole.initRead(1);
  whole.getInfo(channels, n, dt, nullptr);
  const int steps[] = {1, 255, 3000, 257, 1000};
  for (int c = 1; c <= channels; ++c) {
    for (int i = 0, done = 0; done < n; ++i) {
      const int got = zel_rpc_getnpts(h, c, steps[i % 5], x.data());
      append(out, x.data(), got);
      done += got;
    }
    for (int centre : {0, n / 2, n}) {
      out.push_back(zel_rpc_getwindow(h, c, centre * dt, 400, t.data(), x.data()));
      append(out, x.data(), 801);
    }
  }
  zel_rpc_readclose(h);
  x.assign(static_cast<size_t>(n), -1.0);
  out.push_back(zel_rpc_data(path.c_str(), 1, &n, &dt, x.data()));
  append(out, x.data(), n);
  for (int c = 1; c <= channels; ++c) {
    out.push_back(whole.getData(c, x.data()));
    append(out, x.data(), n);
  }
  return out;
}

} // namespace

TEST(Threads, ReadsOfDifferentFilesOnEightThreadsMatchOneThread) {
  zel_test::TempDir dir;
  std::vector<std::function<Samples()>> jobs;
  const std::pair<int, int> dac_files[] = {{20000, 20000}, {7777, 7777}, {9000, 6000}, {4096, 4096}}; // claimed, held
  for (size_t i = 0; i < 4; ++i) {
    dac_test::DacBuilder b;
    b.samples = dac_test::ramp(dac_files[i].second, 0.25f * static_cast<float>(i + 1), static_cast<float>(100 * i));
    b.point_count = dac_files[i].first;
    b.pad_data = false;
    const std::string path = b.write(dir, "f" + std::to_string(i) + ".dac");
    jobs.push_back([path] { return read_dac(path); });
  }
  for (int i = 0; i < 4; ++i) {
    zel_test::Rpc3File f;
    f.channels = 3 - i % 2, f.group = 1024, f.frames = 40 + 7 * i;
    f.floating = i == 1, f.big_endian = i == 3;
    f.size_change = i == 2 ? -5000 : 0;
    f.stored = [i](int c, int64_t p) { return double((c * 1000 + p * 7 + i * 13) % 20011 - 10000); };
    const std::string path = f.write(dir.file("f" + std::to_string(i) + ".rsp"));
    jobs.push_back([path] { return read_rpc(path); });
  }

  std::vector<Samples> single;
  for (const auto &job : jobs) single.push_back(job());

  constexpr int kRounds = 3;
  std::vector<std::vector<Samples>> threaded(jobs.size());
  std::atomic<bool> go{false};
  std::vector<std::thread> threads;
  for (size_t i = 0; i < jobs.size(); ++i)
    threads.emplace_back([&, i] {
      while (!go) std::this_thread::yield();
      for (int r = 0; r < kRounds; ++r) threaded[i].push_back(jobs[i]());
    });
  go = true;
  for (std::thread &t : threads) t.join();
  for (size_t i = 0; i < jobs.size(); ++i)
    for (int r = 0; r < kRounds; ++r) EXPECT_TRUE(threaded[i][size_t(r)] == single[i]) << "file " << i << " round " << r;
}
