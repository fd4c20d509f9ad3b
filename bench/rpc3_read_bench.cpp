// RPC III read throughput. Targets (on the 2-core reference machine, 16
// channels x 1,048,576 points of 16-bit integers, 32 MiB of data, file in
// the page cache):
//  - every channel read whole, one after another, in frame-pair mode
//    (budget 0): at least 500 MB/s of data (measured: about 730 MB/s);
//  - sequential reads of 1000 points per call in frame-pair mode: at least
//    500 MB/s (measured: about 660 MB/s);
//  - the same whole channels in whole-file mode: at least 200 MB/s
//    (measured: about 300 MB/s; the first touch of 32 MiB of fresh buffer
//    memory dominates);
//  - a window of 201 points at a random time: under 10 us (about 3 us).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "zel.h"

namespace {

constexpr int kChannels = 16;
constexpr int kFrame = 1024, kGroup = 2048, kFrames = 1024;
constexpr int kPoints = kFrame * kFrames;

// A little-endian integer file written directly, record by record.
const std::string &bench_file() {
  static const std::string path = [] {
    std::string p = (std::filesystem::temp_directory_path() / "zel-bench-read.rsp").string();
    const int params = 3 + 7 + 3 * kChannels;
    const int blocks = (params + 3) / 4;
    std::vector<char> header(size_t(blocks) * 512, 0);
    int r = 0;
    auto put = [&](const std::string &k, const std::string &v) {
      std::memcpy(&header[size_t(r) * 128], k.data(), k.size());
      std::memcpy(&header[size_t(r) * 128 + 32], v.data(), v.size());
      ++r;
    };
    put("FORMAT", "BINARY_IEEE_LITTLE_END");
    put("NUM_HEADER_BLOCKS", std::to_string(blocks));
    put("NUM_PARAMS", std::to_string(params));
    put("DATA_TYPE", "SHORT_INTEGER");
    put("CHANNELS", std::to_string(kChannels));
    put("DELTA_T", "1.0E-03");
    put("FRAMES", std::to_string(kFrames));
    put("PTS_PER_FRAME", std::to_string(kFrame));
    put("PTS_PER_GROUP", std::to_string(kGroup));
    put("DATE", "Sat Dec  5 10:11:12 2026");
    for (int c = 1; c <= kChannels; ++c) {
      put("DESC.CHAN_" + std::to_string(c), "channel");
      put("UNITS.CHAN_" + std::to_string(c), "N");
      put("SCALE.CHAN_" + std::to_string(c), "1.0E-02");
    }
    FILE *f = std::fopen(p.c_str(), "wb");
    std::fwrite(header.data(), 1, header.size(), f);
    std::vector<int16_t> run(kGroup);
    for (int g = 0; g < kFrames / 2; ++g)
      for (int c = 0; c < kChannels; ++c) {
        for (int i = 0; i < kGroup; ++i)
          run[size_t(i)] = int16_t((g * 31 + c * 7 + i) % 30000 - 15000);
        std::fwrite(run.data(), 2, run.size(), f);
      }
    std::fclose(f);
    return p;
  }();
  return path;
}

void read_all_channels(benchmark::State &state, int budget) {
  std::vector<double> v(kPoints);
  for (auto _ : state) {
    rpc3file_input in(bench_file().c_str());
    in.initRead(budget);
    for (int c = 1; c <= kChannels; ++c) in.getData(c, v.data());
    benchmark::DoNotOptimize(v.data());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * kChannels * kPoints * 2);
}

void BM_Rpc3WholeChannelsFramePairs(benchmark::State &state) { read_all_channels(state, 0); }
void BM_Rpc3WholeChannelsWholeFile(benchmark::State &state) { read_all_channels(state, 64); }

void BM_Rpc3SequentialFramePairs(benchmark::State &state) {
  std::vector<double> v(1000);
  for (auto _ : state) {
    rpc3file_input in(bench_file().c_str());
    in.initRead(0);
    for (int c = 1; c <= kChannels; ++c)
      for (int p = 0; p < kPoints; p += 1000) in.getData(c, 1000, v.data());
    benchmark::DoNotOptimize(v.data());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * kChannels * kPoints * 2);
}

void BM_Rpc3Windows(benchmark::State &state) {
  rpc3file_input in(bench_file().c_str());
  in.initRead(0);
  std::vector<double> t(201), v(201);
  double time = 0;
  for (auto _ : state) {
    in.getWindow(1 + int(time) % kChannels, time, t.data(), v.data(), 100);
    time += 7.919;
    if (time > kPoints * 1e-3) time = 0;
  }
}

} // namespace

BENCHMARK(BM_Rpc3WholeChannelsFramePairs)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Rpc3WholeChannelsWholeFile)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Rpc3SequentialFramePairs)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Rpc3Windows);
