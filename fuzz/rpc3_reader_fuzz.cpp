// Any byte string, taken as an RPC III file, must open, parse and read
// without crashing, reading out of bounds, leaving a file open or
// allocating beyond what the file justifies (libFuzzer's -rss_limit_mb and
// -malloc_limit_mb catch the latter), through rpc3file_input with the
// memory budgets 0, 1 and 64 MiB and through the zel_rpc_* functions.
// Checked besides: every budget delivers the same values; sequential reads,
// windows and the one-shot read agree with the whole-channel read.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "fuzz/memory_file.h"
#include "zel.h"

namespace {

constexpr int kMaxChannels = 6;           // channels read per file
constexpr int kMaxWhole = 1 << 16;        // points read whole per channel
constexpr int kChunk = 40;                // sequential read size

void check(bool ok, const char *what) {
  if (!ok) {
    std::fprintf(stderr, "check failed: %s\n", what);
    std::abort();
  }
}

bool same(const double *a, const double *b, size_t n) { return std::memcmp(a, b, n * sizeof *a) == 0; }

struct Reading {
  int status = -1, channels = 0, points = 0;
  double dt = 0;
  std::vector<std::vector<double>> data; // whole channels, when read whole
};

// Reads the file through the class with one budget.
Reading read_class(const char *path, int budget) {
  Reading r;
  rpc3file_input in(path);
  const bool valid = in.validFile();
  check(valid == (in.getStatus() == 0), "validFile matches the status");
  in.initRead(budget);
  char date[96];
  in.getInfo(r.channels, r.points, r.dt, date);
  check(std::memchr(date, 0, sizeof date) != nullptr, "date is terminated");
  check(r.channels >= 0 && r.points >= 0, "counts are not negative");
  if (!valid) check(r.channels == 0 && r.points == 0, "an invalid file has no channels");
  const bool whole = r.points <= kMaxWhole;
  const int last = r.channels < kMaxChannels ? r.channels : kMaxChannels;
  std::vector<double> t(64), v(64), seq(kChunk + 1);
  for (int c = 0; c <= last + 1; ++c) {
    char desc[96], units[96];
    const int a = in.getAttributes(c, desc, units);
    const bool inside = c >= 1 && c <= r.channels;
    check((a == 0) == inside, "getAttributes accepts exactly the channels");
    if (inside) check(std::memchr(desc, 0, 96) && std::memchr(units, 0, 96), "texts are terminated");
    // Sequential read first: it must equal the start of the whole channel.
    seq[kChunk] = 12345.0;
    const int got = in.getData(c, kChunk, seq.data());
    check(got == (inside ? kChunk : 0), "getData(count) returns the count");
    check(seq[kChunk] == 12345.0, "getData(count) writes count values");
    if (!inside) {
      check(in.getData(c, seq.data()) == ZEL_RPC_CHANNEL_RANGE, "getData rejects the channel");
      continue;
    }
    std::vector<double> all;
    if (whole) {
      all.assign(static_cast<size_t>(r.points) + 1, 777.0);
      check(in.getData(c, all.data()) == 0, "getData reads a channel");
      check(all[static_cast<size_t>(r.points)] == 777.0, "getData writes the points only");
      all.pop_back();
      const size_t n = r.points < kChunk ? static_cast<size_t>(r.points) : kChunk;
      check(same(seq.data(), all.data(), n), "sequential read equals the whole read");
      for (size_t i = n; i < kChunk; ++i) check(seq[i] == 0.0, "points past the end read as 0.0");
    }
    // Windows: inside, across the start, far away.
    const double times[] = {3.7 * r.dt, -2.0 * r.dt, 1e300, -1e9, NAN};
    const int widths[] = {20, 3, 1, 2, 0};
    for (int k = 0; k < 5; ++k) {
      const int w = widths[k];
      check(in.getWindow(c, times[k], t.data(), v.data(), w) == 0, "getWindow on a channel");
      if (!whole || r.points < 1 || !std::isfinite(r.dt) || r.dt == 0.0) continue;
      double centre = std::floor(times[k] / r.dt + 1e-8);
      if (std::isnan(centre)) centre = 0;
      centre = std::fmin(std::fmax(centre, -4e15), 4e15);
      for (int j = 0; j <= 2 * w; ++j) {
        const double p = centre - w + j;
        const size_t at = p < 0 ? 0 : p >= r.points ? static_cast<size_t>(r.points - 1) : static_cast<size_t>(p);
        check(std::memcmp(&v[size_t(j)], &all[at], sizeof(double)) == 0, "window value");
        check(t[size_t(j)] == p * r.dt || (std::isnan(t[size_t(j)]) && std::isnan(p * r.dt)), "window time");
      }
    }
    if (whole) r.data.push_back(std::move(all));
  }
  r.status = in.getStatus();
  return r;
}

// The exported functions on the same file; they read with budget 0.
void read_exported(const char *path, const Reading &ref) {
  const int sniff = zel_rpc_sniff(path);
  int channels = -1, points = -1, status = -1;
  double dt = -1;
  char date[96];
  void *h = zel_rpc_open(path, &channels, &points, &dt, date, &status);
  check(h != nullptr, "zel_rpc_open returns a handle for a file that exists");
  check((sniff == 1) == (status == 0), "a file sniffs as RPC III exactly when it opens");
  if (status == 0) {
    check(channels == ref.channels && points == ref.points, "zel_rpc_open counts");
    check(std::memcmp(&dt, &ref.dt, sizeof dt) == 0, "zel_rpc_open interval");
  } else {
    check(channels == 0 && points == 0 && dt == 0.0, "outputs stay cleared on failure");
  }
  const int last = channels < kMaxChannels ? channels : kMaxChannels;
  std::vector<double> v(kChunk), t(9), w(9);
  char desc[96], units[96];
  for (int c = 0; c <= last + 1; ++c) {
    zel_rpc_attributes(h, c, desc, units);
    zel_rpc_getnpts(h, c, kChunk, v.data());
    zel_rpc_getwindow(h, c, 2.5 * dt, 4, t.data(), w.data());
    if (status != 0 || c < 1 || c > channels || points > kMaxWhole) continue;
    int n = -1;
    double d = -1;
    check(zel_rpc_data(path, c, &n, &d, nullptr) == (points ? 0 : ZEL_RPC_NO_DATA), "zel_rpc_data count");
    check(n == points, "zel_rpc_data points");
    if (points == 0 || static_cast<size_t>(c) > ref.data.size()) continue;
    std::vector<double> all(static_cast<size_t>(points));
    check(zel_rpc_data(path, c, &n, &d, all.data()) == 0, "zel_rpc_data reads");
    check(same(all.data(), ref.data[size_t(c - 1)].data(), all.size()), "zel_rpc_data values");
  }
  check(zel_rpc_readclose(h) == 0, "zel_rpc_readclose");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static zel_fuzz::MemoryFile file("rpc3-reader");
  file.set(data, size);
  zel_fuzz::DescriptorCheck descriptors;
  Reading first;
  for (int budget : {0, 1, 64}) {
    Reading r = read_class(file.path(), budget);
    if (budget == 0) {
      first = std::move(r);
      continue;
    }
    check(r.channels == first.channels && r.points == first.points, "budgets agree on counts");
    check(r.data.size() == first.data.size(), "budgets read the same channels");
    for (size_t c = 0; c < r.data.size(); ++c)
      check(same(r.data[c].data(), first.data[c].data(), r.data[c].size()), "budgets deliver the same values");
  }
  read_exported(file.path(), first);
  return 0;
}
