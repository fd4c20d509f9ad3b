// zel from C++: read an RPC III file through rpc3file_input, channel by
// channel and by windows around a time. Usage: quickstart_cpp FILE.rsp
#include <cstdio>
#include <vector>

#include "zel.h"

int main(int argc, char **argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s FILE.rsp\n", argv[0]);
    return 2;
  }
  rpc3file_input in(argv[1]);
  if (in.getStatus() != 0) {
    char message[64];
    zel_rpc_geterror(in.getStatus(), message);
    std::fprintf(stderr, "%s: %s\n", argv[1], message);
    return 1;
  }
  in.initRead(0); // two frames per channel in memory, whatever the file's size
  int channels = 0, points = 0;
  double dt = 0.0;
  char date[96];
  in.getInfo(channels, points, dt, date);
  std::printf("%d channels of %d points, dt %g s, written %s\n", channels, points, dt, date);

  std::vector<double> values(static_cast<size_t>(points));
  for (int c = 1; c <= channels; ++c) {
    char description[96], units[96];
    in.getAttributes(c, description, units);
    in.getData(c, values.data());
    double peak = 0.0;
    for (double v : values) peak = v > peak ? v : -v > peak ? -v : peak;
    std::printf("  %d: %-24s [%s] peak %g\n", c, description, units, peak);
  }
  // Five points around t = 0.1 s on channel 1; beyond the ends the first
  // and last values are held.
  double times[5], window[5];
  in.getWindow(1, 0.1, times, window, 2);
  for (int k = 0; k < 5; ++k) std::printf("  t = %.4f s: %g\n", times[k], window[k]);
  return in.getStatus() == 0 ? 0 : 1;
}
