// Paired measurements: every iteration times the library's path and then
// its floor, the same bytes moved by the simplest code, so that both see the
// same machine load. The path's time is the iteration time; the counters
// give the medians of both and their ratio.
#pragma once

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace zel_bench {

// Set by --tiny: every benchmark runs once at a size that only shows the
// code works (what CI does).
extern bool g_tiny;

// A size: the measured one, or the tiny one.
inline int64_t sized(int64_t measured, int64_t tiny) { return g_tiny ? tiny : measured; }

// A folder for the benchmarks' files, made on first use.
const std::string &scratch_dir();
std::string scratch(const std::string &name);

// An RPC III file of 16-bit integers written by the library (rounding to
// nearest), its layout read back from its header for the floors.
struct RpcFile {
  std::string path;
  int channels = 0;
  int points = 0;   // per channel
  int group = 0;    // points per group
  int64_t data = 0; // first data byte
  std::vector<double> scale;
};

const RpcFile &rpc_file();

// The floor's reader: points first to first + count - 1 of a channel, each
// run piece read with one pread into a reused buffer and converted.
class FloorReader {
public:
  explicit FloorReader(const RpcFile &f)
      : f_(f), fd_(::open(f.path.c_str(), O_RDONLY)), raw_(size_t(f.group)) {}
  ~FloorReader() { ::close(fd_); }
  void read(int channel, int64_t first, int64_t count, double *out) {
    const double scale = f_.scale[size_t(channel - 1)];
    for (int64_t p = first, end = first + count; p < end;) {
      const int64_t g = p / f_.group, in = p % f_.group, n = std::min(end - p, f_.group - in);
      const int64_t offset = f_.data + ((g * f_.channels + channel - 1) * f_.group + in) * 2;
      if (::pread(fd_, raw_.data(), size_t(n) * 2, offset) != n * 2) std::abort();
      for (int64_t i = 0; i < n; ++i) out[p - first + i] = scale * raw_[size_t(i)];
      p += n;
    }
  }

private:
  const RpcFile &f_;
  int fd_;
  std::vector<int16_t> raw_;
};

inline double median(std::vector<double> v) {
  if (v.empty()) return 0.0;
  std::sort(v.begin(), v.end());
  const size_t n = v.size();
  return n % 2 ? v[n / 2] : 0.5 * (v[n / 2 - 1] + v[n / 2]);
}

// CPU seconds of the process and of the children it waited for (user and
// system time, every thread).
inline double cpu_now() {
  double total = 0.0;
  for (int who : {RUSAGE_SELF, RUSAGE_CHILDREN}) {
    rusage u{};
    getrusage(who, &u);
    total += double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
             1e-6 * double(u.ru_utime.tv_usec + u.ru_stime.tv_usec);
  }
  return total;
}

struct Seconds {
  double wall, cpu;
};
template <typename F> Seconds seconds_of(F &&f) {
  const double c0 = cpu_now();
  const auto t0 = std::chrono::steady_clock::now();
  f();
  const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  return {wall, cpu_now() - c0};
}

// Times path and floor once each per iteration, in wall-clock time and in
// CPU time (which a machine shared with others disturbs less; a path on
// several threads adds up their CPU time).
// bytes: what one run of the path moves (for the MB/s counters, decimal
// megabytes).
template <typename Path, typename Floor>
void paired(benchmark::State &state, double bytes, Path &&path, Floor &&floor) {
  std::vector<double> path_wall, floor_wall, path_cpu, floor_cpu;
  for (auto _ : state) {
    const Seconds p = seconds_of(path);
    const Seconds f = seconds_of(floor);
    state.SetIterationTime(p.wall);
    path_wall.push_back(p.wall);
    floor_wall.push_back(f.wall);
    path_cpu.push_back(p.cpu);
    floor_cpu.push_back(f.cpu);
  }
  const double p = median(path_wall), f = median(floor_wall);
  const double pc = median(path_cpu), fc = median(floor_cpu);
  state.counters["path_ms"] = 1e3 * p;
  state.counters["floor_ms"] = 1e3 * f;
  state.counters["ratio"] = f > 0.0 ? p / f : 0.0;
  state.counters["cpu_path_ms"] = 1e3 * pc;
  state.counters["cpu_floor_ms"] = 1e3 * fc;
  state.counters["cpu_ratio"] = fc > 0.0 ? pc / fc : 0.0;
  if (bytes > 0.0) {
    state.counters["MB/s"] = p > 0.0 ? bytes / p / 1e6 : 0.0;
    state.counters["cpu_MB/s"] = pc > 0.0 ? bytes / pc / 1e6 : 0.0;
  }
}

} // namespace zel_bench
