// Shared by the fuzz targets (Linux): an in-memory file (a memfd the library opens by name), the input reader, checks,
// a reader per format that takes a file through every read call and aborts where two of them disagree, and the seeds
// each target defines. With libFuzzer, a target run with ZEL_FUZZ_SEEDS=dir writes its seeds into dir and exits
// (fuzz/ci.sh); built with ZEL_FUZZ_REPLAY it is a program running its seeds, then every file of the folders it is
// given (ctest: fuzz/regressions/<target>/). With ZEL_FUZZ_READERS_ONLY it is the readers alone (the threads test).
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/mman.h>

#include "support/temp_dir.h"
#include "zel.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

namespace zel_fuzz {

using zel_test::Bytes;
using Channels = std::vector<std::vector<double>>;
std::vector<Bytes> seeds(); // defined by each target
constexpr int kMaxChannels = 6, kMaxWhole = 1 << 16;

inline void check(bool ok, const char *what) {
  if (!ok) std::fprintf(stderr, "check failed: %s\n", what), std::abort();
}
// Equal values (zeros of either sign alike), or both NaN.
inline bool same(double a, double b) { return a == b || (std::isnan(a) && std::isnan(b)); }
template <typename T> bool same(const std::vector<T> &a, const std::vector<T> &b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](auto &x, auto &y) { return same(x, y); });
}

// A window of 2 half + 1 values around index centre, times t0 + p x dt: the samples it covers, the first or last one
// beyond the ends.
inline void check_window(const std::vector<double> &t, const std::vector<double> &v, double centre, int half, double t0,
                         double dt, const std::vector<double> &all) {
  for (int j = 0; j <= 2 * half; ++j) {
    const double p = centre + double(j - half); // beyond 2^53 the offset rounds into the centre
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

// Aborts when a run leaves a file open (the lowest free descriptor moves); not while other threads open files.
inline bool g_one_thread = true;
struct DescriptorCheck {
  static int lowest() {
    const int fd = ::dup(2);
    return ::close(fd), fd;
  }
  const int before = lowest();
  ~DescriptorCheck() { check(!g_one_thread || lowest() == before, "no file is left open"); }
};

// Reads the input front to back, 0 past its end.
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
// The bytes of these values in turn: Input reads them back with take<T>(), or with range(lo, hi) a uint32_t v - lo as
// v.
template <typename... T> Bytes bytes_of(T... v) {
  Bytes b;
  (b.insert(b.end(), (unsigned char *)&v, (unsigned char *)&v + sizeof v), ...);
  return b;
}

// Any bytes as an RPC III file, through rpc3file_input with the budgets 0, 1 and 64 MiB and through zel_rpc_*: no file
// left open, sniff accepts what opens, and every call gives the same counts, interval and values: whole channels, a
// sequential read, the handle read in growing pieces, zel_rpc_data, windows (centre floor(t / dt + 1e-8) held to
// +/-4e15). Returns the counts and interval, then channels 1 to kMaxChannels (+ 1 when there are more) read whole,
// empty when longer than kMaxWhole.
inline Channels read_rpc(const char *path) {
  DescriptorCheck descriptors;
  Channels first;
  for (int budget : {0, 1, 64}) {
    rpc3file_input in(path);
    in.initRead(budget);
    int channels = 0, points = 0;
    double dt = 0;
    in.getInfo(channels, points, dt, nullptr);
    check(channels >= 0 && points >= 0 && (in.validFile() || channels + points == 0), "counts");
    Channels out{{double(channels), double(points), dt}};
    for (int c = 0; c <= std::min(channels, kMaxChannels) + 1; ++c) {
      const bool inside = c >= 1 && c <= channels, whole = inside && points <= kMaxWhole;
      char desc[96], units[96];
      std::vector<double> seq(41, 4242.0), all(size_t(whole ? points : 0) + 1, 777.0), t(41), v(41);
      check((in.getAttributes(c, desc, units) == 0) == inside, "getAttributes takes the file's channels");
      check(in.getData(c, 40, seq.data()) == (inside ? 40 : 0) && seq[40] == 4242.0, "getData(count)");
      check(!whole || (in.getData(c, all.data()) == 0 && all.back() == 777.0), "getData reads the points only");
      all.pop_back();
      for (size_t i = 0; whole && i < 40; ++i) check(same(seq[i], i < all.size() ? all[i] : 0.0), "sequential read");
      const double times[] = {3.7 * dt, -2.0 * dt, (points - 3) * dt, 1e300, -1e9, NAN};
      const int halves[] = {2, 20, 3, 1, 2, 0}; // inside, before, one past the end, far, NaN
      for (int k = 0; k < 6; ++k) {
        check(in.getWindow(c, times[k], t.data(), v.data(), halves[k]) == (inside ? 0 : ZEL_RPC_CHANNEL_RANGE),
              "getWindow");
        const double centre = std::floor(times[k] / dt + 1e-8);
        if (whole && points > 0 && std::isfinite(dt) && dt != 0.0)
          check_window(t, v, std::isnan(centre) ? 0.0 : std::fmin(std::fmax(centre, -4e15), 4e15), halves[k], 0.0, dt,
                       all);
      }
      if (inside) out.push_back(std::move(all));
    }
    check(first.empty() || same(out, first), "budgets agree");
    first = std::move(out);
  }
  int channels = -1, points = -1, status = -1, n = -1;
  double dt = -1, d = -1;
  void *h = zel_rpc_open(path, &channels, &points, &dt, nullptr, &status);
  check(h && (zel_rpc_sniff(path) == 1) == (status == 0), "sniff accepts what opens");
  check(status ? channels + points == 0 : same(first[0], {double(channels), double(points), dt}), "open counts");
  std::vector<double> t(9), w(9);
  for (int c = 0; c <= std::min(channels, kMaxChannels) + 1; ++c) {
    const bool whole = !status && c >= 1 && c <= std::min(channels, kMaxChannels) && points <= kMaxWhole;
    std::vector<double> v(size_t(whole ? points : 40));
    for (int at = 0, piece = 1; at < int(v.size()); at += piece, piece = std::min(piece * 3 + 1, int(v.size()) - at))
      check(zel_rpc_getnpts(h, c, piece, v.data() + at) == piece || !whole, "zel_rpc_getnpts");
    zel_rpc_getwindow(h, c, 2.5 * dt, 4, t.data(), w.data());
    if (!whole) continue;
    check(same(v, first[size_t(c)]), "zel_rpc_getnpts reads what rpc3file_input reads");
    check(zel_rpc_data(path, c, &n, &d, v.data()) == (points ? 0 : ZEL_RPC_NO_DATA) && n == points &&
              same(v, first[size_t(c)]),
          "zel_rpc_data reads what rpc3file_input reads");
    const int from = points / 3, count = points - from; // to the last point, past the end of a file cut short
    std::vector<double> r(size_t(count) + 1, 5151.0);
    check(zel_rpc_getrange(h, c, from, count, r.data()) == 0 && r.back() == 5151.0 &&
              std::equal(r.begin(), r.end() - 1, first[size_t(c)].begin() + from,
                         [](double a, double b) { return same(a, b); }),
          "zel_rpc_getrange reads what rpc3file_input reads");
  }
  const int samples = zel_rpc_samples(h);
  check(samples >= (points > 0 && !status) && samples <= std::max(points, 0), "samples within the points");
  char keyword[32], value[96];
  for (int r = 1; zel_rpc_record(h, r, keyword, value) == 0; ++r)
    check(std::strlen(keyword) < 32 && std::strlen(value) < 96, "records are bounded texts");
  check(zel_rpc_readclose(h) == 0, "zel_rpc_readclose");
  return first;
}

struct DacRead {
  int status = -1, npts = -1; // status: of zel_dac_data; -1 when it was not called (no samples or too many)
  double start = -1, rate = -1;
  std::vector<double> samples;
};

// Any bytes as a DAC file, sniffed, described (texts into buffers of their exact size), read whole, through a handle
// (in growing pieces) and in windows: no file left open. Sniff accepts what opens; one-shot calls and the handle agree
// on the count, the rate and every sample; windows (centre floor((t - start) / interval + 1e-8)) hold the samples they
// cover, the end samples beyond, also for a count above the file's.
inline DacRead read_dac(const char *path) {
  DescriptorCheck descriptors;
  DacRead r;
  const bool sniffed = zel_dac_sniff(path) == 1;
  int hn = -1, status = -1, n = -1;
  double hrate = -1, spare = -1, s = -1, rate = -1;
  char date[121], xl[25], xn[29], yl[25], yn[29];
  const int described = zel_dac_read(path, &r.npts, &r.start, &r.rate, date, xl, xn, yl, yn);
  check((described == 0 || described == ZEL_DAC_BAD_RATE) == sniffed, "zel_dac_read opens what sniff accepts");
  check(sniffed ? (described ? r.rate == 0.0 : r.rate >= 0.0) : r.npts == 0 && r.start == 0.0 && r.rate == 0.0, "rate");
  void *h = zel_dac_open(path, &hn, &hrate, &spare, &status);
  check(h && spare == 0.0 && (status == 0 || status == ZEL_DAC_BAD_RATE) == sniffed,
        "zel_dac_open opens what sniff accepts");
  check(!sniffed || (hn == r.npts && same(hrate, r.rate)), "zel_dac_open and zel_dac_read agree");
  r.samples.resize(size_t(sniffed && r.npts >= 1 && r.npts <= kMaxWhole ? r.npts : 0));
  if (!r.samples.empty()) {
    r.status = zel_dac_data(path, &n, &s, &rate, r.samples.data());
    check(n == r.npts && same(s, r.start) && same(rate, r.rate), "zel_dac_data and zel_dac_read agree");
    check(r.status == 0 || r.status == ZEL_DAC_DATA_READ || r.status == ZEL_DAC_BAD_RATE, "zel_dac_data codes");
  }
  std::vector<double> block(3001);
  for (int at = 0, got = -1, piece = 1; got != 0 && at <= kMaxWhole; at += got, piece = std::min(piece * 3 + 1, 3000)) {
    block[size_t(piece)] = 4242.0;
    got = zel_dac_getnpts(h, piece, block.data());
    check(got >= 0 && got <= piece && block[size_t(piece)] == 4242.0, "zel_dac_getnpts count");
    for (int i = 0; r.status == 0 && i < got; ++i)
      check(at + i < r.npts && same(block[size_t(i)], r.samples[size_t(at + i)]), "zel_dac_getnpts values");
    check(r.status != 0 || got != 0 || at == r.npts, "zel_dac_getnpts delivers every sample");
  }
  const double interval = r.rate > 0.0 ? 1.0 / r.rate : 0.5;
  const double centres[] = {r.start + 7.3 * interval, r.start - 1e9, r.start + (r.npts - 3.0) * interval, INFINITY};
  const int halves[] = {2, 20, 3, 1}; // inside, before, one past the end, far
  for (int k = 0; k < 4; ++k)
    for (int more : {0, 5}) {
      std::vector<double> t(size_t(2 * halves[k] + 1)), v(t.size());
      const int got = zel_dac_getwindow(h, std::max(r.npts, 1) + (r.npts < kMaxWhole ? more : 0), r.start, interval,
                                        centres[k], halves[k], t.data(), v.data());
      if (r.status == 0 && got == 0)
        check_window(t, v, std::floor((centres[k] - r.start) / interval + 1e-8), halves[k], r.start, interval,
                     r.samples);
    }
  const int closed = zel_dac_close(h);
  check(closed == 0 || (closed == ZEL_DAC_NOT_OPEN && status == ZEL_DAC_OPEN_FAILED), "zel_dac_close");
  return r;
}

} // namespace zel_fuzz

#ifdef ZEL_FUZZ_REPLAY
int main(int argc, char **argv) {
  std::vector<std::pair<std::string, zel_fuzz::Bytes>> inputs;
  for (zel_fuzz::Bytes &s : zel_fuzz::seeds()) inputs.emplace_back("a seed", std::move(s));
  std::error_code ec; // a folder without regressions is none
  for (int i = 1; i < argc; ++i)
    for (const auto &e : std::filesystem::directory_iterator(argv[i], ec))
      inputs.emplace_back(e.path().string(), zel_test::read_file<zel_fuzz::Bytes>(e.path().string()));
  std::sort(inputs.begin(), inputs.end()); // a stable order; a failure aborts after the input's name
  for (const auto &[name, b] : inputs)
    std::fprintf(stderr, "%s\n", name.c_str()), LLVMFuzzerTestOneInput(b.data(), b.size());
  std::printf("%zu inputs replayed\n", inputs.size());
  return inputs.empty();
}
#elif !defined(ZEL_FUZZ_READERS_ONLY)
extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  if (const char *dir = std::getenv("ZEL_FUZZ_SEEDS")) {
    int n = 0;
    for (const zel_fuzz::Bytes &s : zel_fuzz::seeds())
      zel_test::write_file(std::string(dir) + "/seed-" + std::to_string(n++), s);
    std::exit(0);
  }
  return 0;
}
#endif
