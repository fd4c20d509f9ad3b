// Any byte string, taken as a DAC file, must be described, read whole, read
// through a handle and windowed without crashing, reading out of bounds or
// allocating beyond what the file justifies.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include <unistd.h>

#include "zel.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static const std::string path = "/tmp/zel-fuzz-" + std::to_string(::getpid()) + ".dac";
  FILE *f = std::fopen(path.c_str(), "wb");
  if (!f) return 0;
  std::fwrite(data, 1, size, f);
  std::fclose(f);

  if (!zel_dac_sniff(path.c_str())) return 0;
  int npts = 0;
  double start = 0, rate = 0, spare = 0;
  char date[121], xl[25], xn[29], yl[25], yn[29];
  zel_dac_read(path.c_str(), &npts, &start, &rate, date, xl, xn, yl, yn);
  if (npts > 0 && npts <= (1 << 20)) {
    std::vector<double> all(static_cast<size_t>(npts));
    zel_dac_data(path.c_str(), &npts, &start, &rate, all.data());
  }
  int status = 0;
  void *h = zel_dac_open(path.c_str(), &npts, &rate, &spare, &status);
  if (h) {
    std::vector<double> block(3000), t(41), v(41);
    zel_dac_getnpts(h, 3000, block.data());
    if (status == 0 && rate > 0) {
      zel_dac_getwindow(h, npts, start, 1.0 / rate, start + 7.3 / rate, 20, t.data(), v.data());
      zel_dac_getwindow(h, npts, start, 1.0 / rate, start - 1e9, 20, t.data(), v.data());
    }
    zel_dac_close(h);
  }
  return 0;
}
