// Any byte string, taken as a DAC file, must be sniffed, described, read
// whole, read through a handle and windowed without crashing, reading out
// of bounds, leaving a file open or allocating beyond what the file
// justifies. Checked besides: the one-shot calls and the handle agree on
// the count, the rate and every sample; texts stay inside their buffers;
// windows hold the samples they cover and the end samples beyond.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "fuzz/memory_file.h"
#include "zel.h"

namespace {

constexpr int kMaxWhole = 1 << 16; // samples read whole
constexpr int kBlock = 3000;       // samples per zel_dac_getnpts call

void check(bool ok, const char *what) {
  if (!ok) {
    std::fprintf(stderr, "check failed: %s\n", what);
    std::abort();
  }
}

bool same(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// A text buffer of n bytes followed by guard bytes that must stay intact.
struct Text {
  char b[160];
  explicit Text() { std::memset(b, '#', sizeof b); }
  bool ok(size_t n) const {
    if (!std::memchr(b, 0, n)) return false;
    for (size_t i = n; i < sizeof b; ++i)
      if (b[i] != '#') return false;
    return true;
  }
};

// Window of 2h + 1 positions around centre_time, checked against the
// samples (n of them, n >= 1) read whole.
void check_window(void *h, int n, double start, double interval, double centre_time, int half,
                  const std::vector<double> &all) {
  std::vector<double> t(size_t(2 * half + 1)), v(size_t(2 * half + 1));
  if (zel_dac_getwindow(h, n, start, interval, centre_time, half, t.data(), v.data()) != 0) return;
  const double centre = std::floor((centre_time - start) / interval + 1e-8);
  const double last = static_cast<double>(all.size() - 1); // a larger n is cut to the file's
  for (int i = 0; i <= 2 * half; ++i) {
    const double p = centre + (i - half);
    check(same(t[size_t(i)], p * interval + start), "window time");
    const size_t at = p < 0 ? 0 : p >= last ? size_t(last) : size_t(p);
    check(same(v[size_t(i)], all[at]), "window value");
  }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static zel_fuzz::MemoryFile file("dac-reader");
  file.set(data, size);
  const char *path = file.path();
  zel_fuzz::DescriptorCheck descriptors;

  const int sniff = zel_dac_sniff(path);

  // Description.
  int npts = -1;
  double start = -1, rate = -1;
  Text date, xl, xn, yl, yn;
  const int described = zel_dac_read(path, &npts, &start, &rate, date.b, xl.b, xn.b, yl.b, yn.b);
  check((described == 0 || described == ZEL_DAC_BAD_RATE) == (sniff == 1), "zel_dac_read opens what sniff accepts");
  if (sniff == 1) {
    check(date.ok(121) && xl.ok(25) && xn.ok(29) && yl.ok(25) && yn.ok(29), "texts fit their buffers");
    // 21 when the interval is not above 0, with the rate 0; an infinite
    // interval is accepted and gives the rate 1 / inf = 0.
    check(described == 0 ? rate >= 0.0 : rate == 0.0, "a rate is reported when the interval is positive");
  } else {
    check(npts == 0 && start == 0.0 && rate == 0.0, "outputs stay cleared on failure");
  }

  // Through a handle.
  int hn = -1, status = -1;
  double hrate = -1, spare = -1;
  void *h = zel_dac_open(path, &hn, &hrate, &spare, &status);
  check(h != nullptr, "zel_dac_open returns a handle");
  check(spare == 0.0, "spare is 0");
  check((status == 0 || status == ZEL_DAC_BAD_RATE) == (sniff == 1), "zel_dac_open opens what sniff accepts");
  if (sniff == 1) check(hn == npts && same(hrate, rate), "zel_dac_open and zel_dac_read agree");

  std::vector<double> all;
  if (sniff == 1 && npts >= 1 && npts <= kMaxWhole) {
    // Whole file at once, then the same through the handle.
    all.assign(size_t(npts), 0.0);
    int n = -1;
    double s = -1, r = -1;
    const int whole = zel_dac_data(path, &n, &s, &r, all.data());
    check(n == npts && same(s, start) && same(r, rate), "zel_dac_data and zel_dac_read agree");
    if (whole == 0) {
      std::vector<double> block(kBlock + 1);
      int at = 0;
      for (;;) {
        block[kBlock] = 4242.0;
        const int got = zel_dac_getnpts(h, kBlock, block.data());
        check(got >= 0 && got <= kBlock && block[kBlock] == 4242.0, "zel_dac_getnpts count");
        if (got == 0) break;
        check(at + got <= npts, "zel_dac_getnpts stops at the count");
        for (int i = 0; i < got; ++i) check(same(block[size_t(i)], all[size_t(at + i)]), "zel_dac_getnpts values");
        at += got;
      }
      check(at == npts, "zel_dac_getnpts delivers every sample");
      const double interval = rate > 0.0 ? 1.0 / rate : 0.5;
      const double centres[] = {start + 7.3 * interval, start - 1e9, start + (npts - 1) * interval, INFINITY};
      const int halves[] = {20, 2, 3, 1};
      for (int k = 0; k < 4; ++k) {
        check_window(h, npts, start, interval, centres[k], halves[k], all);
        check_window(h, npts + 5, start, interval, centres[k], halves[k], all); // cut to the file's
      }
    } else {
      check(whole == ZEL_DAC_DATA_READ || whole == ZEL_DAC_BAD_RATE, "zel_dac_data codes");
    }
  } else if (sniff == 1) {
    // Counts too large (or not positive) to read whole: a few blocks only.
    std::vector<double> block(kBlock);
    for (int i = 0; i < 3; ++i) zel_dac_getnpts(h, kBlock, block.data());
  }
  // Windows whatever the state: must not crash or write outside.
  std::vector<double> t(41), v(41);
  const double interval = hrate > 0 ? 1.0 / hrate : 1.0;
  zel_dac_getwindow(h, hn > 0 ? hn : 1, 0.0, interval, 7.3 * interval, 20, t.data(), v.data());
  zel_dac_getwindow(h, hn > 0 ? hn : 1, 0.0, interval, -1e9, 20, t.data(), v.data());
  const int closed = zel_dac_close(h);
  check(closed == 0 || (closed == ZEL_DAC_NOT_OPEN && status == ZEL_DAC_OPEN_FAILED), "zel_dac_close");
  return 0;
}
