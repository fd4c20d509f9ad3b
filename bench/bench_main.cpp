// The benchmarks' shared parts and their main: --tiny runs every benchmark
// once at a size that only shows the code works; every other argument goes
// to Google Benchmark.
#include "paired.h"

#include <cmath>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "zel.h"

namespace zel_bench {

bool g_tiny = false;

const std::string &scratch_dir() {
  static const std::string dir = [] {
    const std::filesystem::path p = std::filesystem::temp_directory_path() / "zel-bench";
    std::filesystem::create_directories(p);
    return p.string();
  }();
  return dir;
}

std::string scratch(const std::string &name) { return scratch_dir() + "/" + name; }

namespace {

std::string record_value(void *h, const char *keyword) {
  char key[32], value[96];
  for (int i = 1; zel_rpc_record(h, i, key, value) == 0; ++i)
    if (std::strcmp(key, keyword) == 0) return value;
  return "";
}

} // namespace

// A 16-bit file written once by the library (with rounding), 64 channels of
// 1,048,576 points in the measured size; its layout is read back from the
// header, so that the floor reads the runs where they are.
const RpcFile &rpc_file() {
  static const RpcFile file = [] {
    RpcFile f;
    f.path = scratch("read.rsp");
    f.channels = int(sized(64, 4));
    f.points = int(sized(1 << 20, 10000));
    int status = 0;
    void *out = zel_rpc_create_as(f.path.c_str(), f.channels, f.points, 1e-3, ZEL_RPC_INT16,
                                  ZEL_RPC_ROUND_NEAREST, 0, &status);
    std::vector<double> v(static_cast<size_t>(f.points));
    for (int c = 1; c <= f.channels; ++c) {
      for (int i = 0; i < f.points; ++i)
        v[size_t(i)] = (50.0 + c) * std::sin(i * 1e-3 * c) + (i % 13);
      zel_rpc_putchannel(out, c, f.points, v.data(), "channel", "N");
    }
    zel_rpc_writeclose(out);
    int channels = 0, points = 0;
    double dt = 0;
    void *in = zel_rpc_open(f.path.c_str(), &channels, &points, &dt, nullptr, &status);
    f.group = std::atoi(record_value(in, "PTS_PER_GROUP").c_str());
    f.data = int64_t(std::atoi(record_value(in, "NUM_HEADER_BLOCKS").c_str())) * 512;
    for (int c = 1; c <= f.channels; ++c)
      f.scale.push_back(
          std::atof(record_value(in, ("SCALE.CHAN_" + std::to_string(c)).c_str()).c_str()));
    zel_rpc_readclose(in);
    return f;
  }();
  return file;
}

} // namespace zel_bench

int main(int argc, char **argv) {
  std::vector<char *> args;
  for (int i = 0; i < argc; ++i) {
    if (std::strcmp(argv[i], "--tiny") == 0)
      zel_bench::g_tiny = true;
    else
      args.push_back(argv[i]);
  }
  static char once[] = "--benchmark_min_time=0.000001";
  if (zel_bench::g_tiny) args.push_back(once);
  int n = int(args.size());
  benchmark::Initialize(&n, args.data());
  if (benchmark::ReportUnrecognizedArguments(n, args.data())) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
