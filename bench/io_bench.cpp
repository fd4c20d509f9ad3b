// Write paths and the other formats. Targets (2-core reference machine,
// files in the page cache), with what was measured:
//  - RPC III write, 16 channels x 1,048,576 points of 16-bit integers: at
//    least 500 MB/s of samples taken as doubles (1.4 GB/s);
//  - DAC write then whole read of 10 million samples: under 300 ms (107 ms);
//  - modal export of 100 modes x 5000 steps: punch under 300 ms (138 ms),
//    OUTPUT2 under 50 ms (12 ms).
#include <benchmark/benchmark.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "zel.h"

namespace {

std::string scratch(const char *name) {
  return (std::filesystem::temp_directory_path() / name).string();
}

void BM_RpcWrite(benchmark::State &state) {
  const int channels = 16, points = 1 << 20;
  std::vector<double> v(points);
  for (int i = 0; i < points; ++i) v[size_t(i)] = 100.0 * std::sin(i * 1e-3) + (i % 13);
  const std::string path = scratch("zel-bench-write.rsp");
  for (auto _ : state) {
    int status = 0;
    void *out = zel_rpc_create(path.c_str(), channels, points, 1e-3, &status);
    for (int c = 1; c <= channels; ++c) zel_rpc_putchannel(out, c, points, v.data(), "ch", "N");
    zel_rpc_writeclose(out);
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * channels * points * 8);
}
BENCHMARK(BM_RpcWrite)->Unit(benchmark::kMillisecond);

void BM_DacWriteRead(benchmark::State &state) {
  const int n = 10'000'000;
  std::vector<double> v(n), back(n);
  for (int i = 0; i < n; ++i) v[size_t(i)] = std::sin(i * 1e-4);
  const std::string path = scratch("zel-bench.dac");
  for (auto _ : state) {
    zel_dac_write(path.c_str(), n, 0.0, 1000.0, v.data(), "s", "y", "m");
    int points = 0;
    double start = 0, rate = 0;
    zel_dac_data(path.c_str(), &points, &start, &rate, back.data());
    benchmark::DoNotOptimize(back.data());
  }
}
BENCHMARK(BM_DacWriteRead)->Unit(benchmark::kMillisecond);

void BM_ModalExport(benchmark::State &state) {
  const int modes = 100, steps = 5000, punch = int(state.range(0));
  std::vector<double> t(steps), uh(size_t(steps) * modes), bh(size_t(steps) * 6);
  for (int i = 0; i < steps; ++i) t[size_t(i)] = i * 1e-3;
  for (size_t i = 0; i < uh.size(); ++i) uh[i] = std::sin(double(i)) * 1e-3;
  for (size_t i = 0; i < bh.size(); ++i) bh[i] = std::cos(double(i));
  const std::string path = scratch(punch ? "zel-bench.pch" : "zel-bench.op2");
  for (auto _ : state)
    zel_fes_write_mcs(punch, modes, steps, 0, t.data(), uh.data(), bh.data(), uh.data(), bh.data(),
                      uh.data(), bh.data(), 0, path.c_str());
}
BENCHMARK(BM_ModalExport)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

} // namespace
