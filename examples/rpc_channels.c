/* Opens an RPC III file and prints its channels with a few statistics. */
#include "zel.h"

#include <math.h>
#include <stdio.h>
#include <stdlib.h>

int main(int argc, char **argv) {
  int channels = 0, points = 0, status = 0, c;
  double dt = 0.0;
  char date[96] = "";
  char message[64];
  void *h;
  if (argc != 2) {
    fprintf(stderr, "usage: %s FILE.rsp\n", argv[0]);
    return 2;
  }
  h = zel_rpc_open(argv[1], &channels, &points, &dt, date, &status);
  if (status != 0) {
    zel_rpc_geterror(status, message);
    fprintf(stderr, "%s: %s\n", argv[1], message);
    if (h) zel_rpc_readclose(h);
    return 1;
  }
  printf("%s: %d channels, %d points, dt %g s, date \"%s\"\n", argv[1], channels, points, dt, date);
  for (c = 1; c <= channels; ++c) {
    char desc[96], units[96];
    double *v = (double *)malloc(sizeof(double) * (size_t)(points > 0 ? points : 1));
    double lo = 0, hi = 0, sum = 0;
    int i, n;
    zel_rpc_attributes(h, c, desc, units);
    n = v ? zel_rpc_getnpts(h, c, points, v) : 0;
    for (i = 0; i < n; ++i) {
      if (i == 0 || v[i] < lo) lo = v[i];
      if (i == 0 || v[i] > hi) hi = v[i];
      sum += v[i] * v[i];
    }
    printf("  %2d  %-32s %-12s min %12.5g  max %12.5g  rms %12.5g\n", c, desc, units, lo, hi,
           n > 0 ? sqrt(sum / n) : 0.0);
    free(v);
  }
  zel_rpc_readclose(h);
  return 0;
}
