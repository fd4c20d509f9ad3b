// Any byte string, taken as an RPC III file, must open, parse and read
// without crashing, reading out of bounds or allocating beyond what the
// file justifies (libFuzzer's -rss_limit_mb catches the latter).
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include <unistd.h>

#include "zel.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static const std::string path = "/tmp/zel-fuzz-" + std::to_string(::getpid()) + ".rsp";
  FILE *f = std::fopen(path.c_str(), "wb");
  if (!f) return 0;
  std::fwrite(data, 1, size, f);
  std::fclose(f);

  for (int budget : {0, 1, 64}) {
    rpc3file_input in(path.c_str());
    if (in.getStatus() != 0) return 0;
    in.initRead(budget);
    int channels = 0, points = 0;
    double dt = 0;
    char date[96];
    in.getInfo(channels, points, dt, date);
    std::vector<double> v(size_t(points > 0 ? points : 0) + 64), t(64);
    for (int c = 0; c <= channels + 1 && c < 8; ++c) {
      char desc[96], units[96];
      in.getAttributes(c, desc, units);
      in.getData(c, 40, v.data());
      if (points <= (1 << 20)) in.getData(c, v.data());
      in.getWindow(c, 3.7 * dt, t.data(), v.data(), 20);
      in.getWindow(c, -1e9, t.data(), v.data(), 3);
    }
  }
  return 0;
}
