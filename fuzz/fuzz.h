// Shared by the fuzz targets (Linux): an in-memory file (a memfd the library
// opens by name), the input reader, checks, and the seeds each target
// defines. With libFuzzer, a target run with ZEL_FUZZ_SEEDS=dir
// writes its seeds into dir and exits (fuzz/ci.sh); built with
// ZEL_FUZZ_REPLAY it is a program running its seeds, then every file of
// the folders it is given (ctest: fuzz/regressions/<target>/).
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <sys/mman.h>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

namespace zel_fuzz {

using Bytes = std::vector<unsigned char>;
std::vector<Bytes> seeds(); // defined by each target

inline void check(bool ok, const char *what) {
  if (!ok) std::fprintf(stderr, "check failed: %s\n", what), std::abort();
}
// Equal values (zeros of either sign alike), or both NaN.
inline bool same(double a, double b) { return a == b || (std::isnan(a) && std::isnan(b)); }
inline bool same(const std::vector<double> &a, const std::vector<double> &b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](double x, double y) { return same(x, y); });
}

// A window of 2 half + 1 values around index centre, times t0 + p x dt:
// the samples it covers, the first or last one beyond the ends.
inline void check_window(const std::vector<double> &t, const std::vector<double> &v, double centre, int half, double t0,
                         double dt, const std::vector<double> &all) {
  for (int j = 0; j <= 2 * half; ++j) {
    const double p = centre - half + j;
    check(same(t[size_t(j)], p * dt + t0), "window time");
    check(same(v[size_t(j)], all[size_t(std::fmin(std::fmax(p, 0.0), double(all.size() - 1)))]), "window value");
  }
}

// The process's one in-memory file, made to hold these bytes; its path.
inline const char *memory_file(const void *data, size_t size) {
  static const int fd = ::memfd_create("zel-fuzz", 0);
  static const std::string path = "/proc/self/fd/" + std::to_string(fd);
  check(::ftruncate(fd, 0) == 0 && (size == 0 || ::pwrite(fd, data, size, 0) == ssize_t(size)), "memfd");
  return path.c_str();
}

// Aborts when a run leaves a file open (the lowest free descriptor moves).
struct DescriptorCheck {
  static int lowest() {
    const int fd = ::dup(2);
    return ::close(fd), fd;
  }
  const int before = lowest();
  ~DescriptorCheck() { check(lowest() == before, "no file is left open"); }
};

// Reads the input front to back, 0 past its end; Encoder writes such input.
struct Input {
  const uint8_t *p;
  size_t n;
  template <typename T> T take() {
    T v{};
    const size_t k = std::min(n, sizeof v);
    return std::memcpy(&v, p, k), p += k, n -= k, v;
  }
  int64_t range(int64_t lo, int64_t hi) { return lo + int64_t(take<uint32_t>() % (uint64_t(hi - lo) + 1)); }
  std::string text(size_t max) {
    const size_t k = std::min(size_t(range(0, int64_t(max))), n);
    return p += k, n -= k, std::string(reinterpret_cast<const char *>(p - k), k);
  }
};
struct Encoder {
  Bytes b;
  template <typename T> Encoder &raw(T v) {
    return b.insert(b.end(), (unsigned char *)&v, (unsigned char *)&v + sizeof v), *this;
  }
  Encoder &range(int64_t v, int64_t lo) { return raw(uint32_t(v - lo)); }
  Encoder &text(const std::string &s) {
    return range(int64_t(s.size()), 0), b.insert(b.end(), s.begin(), s.end()), *this;
  }
};

} // namespace zel_fuzz

#ifdef ZEL_FUZZ_REPLAY
int main(int argc, char **argv) {
  std::vector<std::pair<std::string, zel_fuzz::Bytes>> inputs;
  for (zel_fuzz::Bytes &s : zel_fuzz::seeds()) inputs.emplace_back("a seed", std::move(s));
  std::error_code ec; // a folder without regressions is none
  for (int i = 1; i < argc; ++i)
    for (const auto &e : std::filesystem::directory_iterator(argv[i], ec)) {
      std::ifstream in(e.path(), std::ios::binary);
      inputs.emplace_back(e.path().string(), zel_fuzz::Bytes(std::istreambuf_iterator<char>(in), {}));
    }
  std::sort(inputs.begin(), inputs.end()); // a stable order; a failure aborts after the input's name
  for (const auto &[name, b] : inputs)
    std::fprintf(stderr, "%s\n", name.c_str()), LLVMFuzzerTestOneInput(b.data(), b.size());
  std::printf("%zu inputs replayed\n", inputs.size());
  return inputs.empty();
}
#else
extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  if (const char *dir = std::getenv("ZEL_FUZZ_SEEDS")) {
    int n = 0;
    for (const zel_fuzz::Bytes &s : zel_fuzz::seeds())
      std::ofstream(std::string(dir) + "/seed-" + std::to_string(n++), std::ios::binary)
          .write((const char *)s.data(), long(s.size()));
    std::exit(0);
  }
  return 0;
}
#endif
