// Any bytes as a DAC file, sniffed, described, read whole, through a handle
// and in windows: no crash, leak, open file, write outside a buffer (texts
// go to buffers of their exact size) or undue allocation. Sniff accepts
// what opens; one-shot calls and the handle agree on the count, the rate and
// every sample; windows (centre floor((t - start) / interval + 1e-8)) hold
// the samples they cover, the end samples beyond, also for a count above
// the file's.
#include "dac/dac_test_support.h"
#include "fuzz/fuzz.h"

using namespace zel_fuzz;
constexpr int kMaxWhole = 1 << 16, kBlock = 3000;

std::vector<Bytes> zel_fuzz::seeds() {
  dac_test::DacBuilder plain, details;
  details.samples = dac_test::ramp(130);
  details.details = {{"DATE", "Sat Dec  5 10:11:12 2026"}, {"Units", "kN"}, {"", "lost"}, {"Gain", ""}};
  return {plain.build(), details.build()};
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const char *path = memory_file(data, size);
  DescriptorCheck descriptors;
  const bool sniffed = zel_dac_sniff(path) == 1;
  int npts = -1, hn = -1, status = -1, n = -1, whole = -1;
  double start = -1, rate = -1, hrate = -1, spare = -1, s = -1, r = -1;
  char date[121], xl[25], xn[29], yl[25], yn[29];
  const int described = zel_dac_read(path, &npts, &start, &rate, date, xl, xn, yl, yn);
  check((described == 0 || described == ZEL_DAC_BAD_RATE) == sniffed, "zel_dac_read opens what sniff accepts");
  check(sniffed ? (described ? rate == 0.0 : rate >= 0.0) : npts == 0 && start == 0.0 && rate == 0.0, "rate");
  void *h = zel_dac_open(path, &hn, &hrate, &spare, &status);
  check(h && spare == 0.0 && (status == 0 || status == ZEL_DAC_BAD_RATE) == sniffed,
        "zel_dac_open opens what sniff accepts");
  check(!sniffed || (hn == npts && same(hrate, rate)), "zel_dac_open and zel_dac_read agree");
  std::vector<double> all(size_t(sniffed && npts >= 1 && npts <= kMaxWhole ? npts : 0)), block(kBlock + 1);
  if (!all.empty()) {
    whole = zel_dac_data(path, &n, &s, &r, all.data());
    check(n == npts && same(s, start) && same(r, rate), "zel_dac_data and zel_dac_read agree");
    check(whole == 0 || whole == ZEL_DAC_DATA_READ || whole == ZEL_DAC_BAD_RATE, "zel_dac_data codes");
  }
  for (int at = 0, got = -1; got != 0 && at <= kMaxWhole; at += got) {
    block[kBlock] = 4242.0;
    got = zel_dac_getnpts(h, kBlock, block.data());
    check(got >= 0 && got <= kBlock && block[kBlock] == 4242.0, "zel_dac_getnpts count");
    for (int i = 0; whole == 0 && i < got; ++i)
      check(at + i < npts && same(block[size_t(i)], all[size_t(at + i)]), "zel_dac_getnpts values");
    check(whole != 0 || got != 0 || at == npts, "zel_dac_getnpts delivers every sample");
  }
  const double interval = rate > 0.0 ? 1.0 / rate : 0.5;
  const double centres[] = {start + 7.3 * interval, start - 1e9, start + (npts - 3.0) * interval, INFINITY};
  const int halves[] = {2, 20, 3, 1}; // inside, before, one past the end, far
  for (int k = 0; k < 4; ++k)
    for (int more : {0, 5}) {
      std::vector<double> t(size_t(2 * halves[k] + 1)), v(t.size());
      const int got = zel_dac_getwindow(h, std::max(npts, 1) + (npts < kMaxWhole ? more : 0), start, interval,
                                        centres[k], halves[k], t.data(), v.data());
      if (whole == 0 && got == 0)
        check_window(t, v, std::floor((centres[k] - start) / interval + 1e-8), halves[k], start, interval, all);
    }
  const int closed = zel_dac_close(h);
  check(closed == 0 || (closed == ZEL_DAC_NOT_OPEN && status == ZEL_DAC_OPEN_FAILED), "zel_dac_close");
  return 0;
}
