/* zel from C: write a two-channel RPC III file and a DAC file, read both
 * back and compare. Usage: quickstart [DIR] (default: current directory). */
#include <math.h>
#include <stdio.h>
#include <stdlib.h>

#include "zel.h"

#define POINTS 1000

int main(int argc, char **argv) {
  const char *dir = argc > 1 ? argv[1] : ".";
  char rsp[1024], dac[1024], message[64];
  double force[POINTS], accel[POINTS], *back, rate = 0.0, start = 0.0, dt = 0.0;
  double worst = 0.0;
  int i, status = 0, points = 0, code;
  void *out;

  snprintf(rsp, sizeof rsp, "%s/quickstart.rsp", dir);
  snprintf(dac, sizeof dac, "%s/quickstart.dac", dir);
  for (i = 0; i < POINTS; ++i) {
    force[i] = 1500.0 * sin(0.02 * i) + 200.0 * sin(0.31 * i);
    accel[i] = 9.81 * cos(0.05 * i);
  }

  /* RPC III: create, store each channel, close (writes the final header). */
  out = zel_rpc_create_as(rsp, 2, POINTS, 0.001, ZEL_RPC_INT16, ZEL_RPC_ROUND_NEAREST, 0, &status);
  if (!out) {
    zel_rpc_geterror(status, message);
    fprintf(stderr, "%s: %s\n", rsp, message);
    return 1;
  }
  zel_rpc_putchannel(out, 1, POINTS, force, "wheel force FZ", "N");
  zel_rpc_putchannel(out, 2, POINTS, accel, "hub acceleration", "m/s^2");
  zel_rpc_writeclose(out);

  /* One-shot read: the first call tells the size, the second fills. */
  code = zel_rpc_data(rsp, 1, &points, &dt, NULL);
  back = code == 0 ? (double *)malloc(sizeof(double) * (size_t)points) : NULL;
  if (!back || zel_rpc_data(rsp, 1, &points, &dt, back) != 0) {
    zel_rpc_geterror(code, message);
    fprintf(stderr, "%s: %s\n", rsp, message);
    free(back);
    return 1;
  }
  for (i = 0; i < POINTS; ++i) worst = fmax(worst, fabs(back[i] - force[i]));
  printf("RPC III: %d points per channel, dt %g s, largest error %.3g N\n", points, dt, worst);
  free(back);

  /* DAC: one channel of floats. */
  code = zel_dac_write(dac, POINTS, 0.0, 1000.0, accel, "s", "hub acceleration", "m/s^2");
  if (code != 0) {
    zel_dac_geterror(code, message);
    fprintf(stderr, "%s: %s\n", dac, message);
    return 1;
  }
  back = (double *)malloc(sizeof(double) * POINTS);
  code = back ? zel_dac_data(dac, &points, &start, &rate, back) : 1;
  if (code != 0) {
    free(back);
    return 1;
  }
  worst = 0.0;
  for (i = 0; i < POINTS; ++i) worst = fmax(worst, fabs(back[i] - (float)accel[i]));
  printf("DAC: %d points at %g Hz, largest difference from the stored floats %g\n", points, rate,
         worst);
  free(back);
  return worst == 0.0 ? 0 : 1;
}
