/* The C interface as a C99 program sees it, linked against the shared library (that every declared name is exported
 * is the exported_symbols test): RPC III and DAC written and read back, the modal export written. Built for Linux and
 * Windows (run under an emulator there). Argument: a scratch directory. */
#include <math.h>
#include <stdio.h>
#include <string.h>

#include "zel.h"

static int failures = 0;
#define CHECK(cond)                                                                                                    \
 ((cond) ? (void)0 : (void)(fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond), ++failures))

int main(int argc, char **argv) {
  char rsp[1024], dac[1024], op2[1024], pch[1024], desc[96], units[96], date[121];
  double a[700], back[1024], steps[4] = {0.0, 0.1, 0.2, 0.3}, uh[8], bh[24], dt = 0.0, start = -1.0, rate = 0.0;
  int i, status = -1, channels = 0, points = 0, n = 0;
  void *h;
  const char *dir = argc > 1 ? argv[1] : ".";
  snprintf(rsp, sizeof rsp, "%s/c_api.rsp", dir), snprintf(dac, sizeof dac, "%s/c_api.dac", dir);
  snprintf(op2, sizeof op2, "%s/c_api.op2", dir), snprintf(pch, sizeof pch, "%s/c_api.pch", dir);
  for (i = 0; i < 700; ++i) a[i] = 1000.0 * sin(0.01 * i);
  for (i = 0; i < 24; ++i) bh[i] = -1.0 - i, uh[i % 8] = 0.5 + i % 8;

  h = zel_rpc_create(rsp, 1, 700, 0.002, &status);
  CHECK(h != NULL && status == 0);
  CHECK(zel_rpc_putchannel(h, 1, 700, a, "force", "N") == 0);
  CHECK(zel_rpc_writeclose(h) == 0);
  h = zel_rpc_open(rsp, &channels, &points, &dt, date, &status);
  CHECK(h != NULL && status == 0 && channels == 1 && points == 1024 && fabs(dt - 0.002) < 1e-15);
  CHECK(zel_rpc_attributes(h, 1, desc, units) == 0 && strcmp(desc, "force") == 0 && strcmp(units, "N") == 0);
  CHECK(zel_rpc_getnpts(h, 1, 700, back) == 700 && fabs(back[699] - a[699]) <= 1000.0 / 32752.0);
  CHECK(zel_rpc_readclose(h) == 0);
  CHECK(zel_rpc_data(rsp, 1, &points, &dt, back) == 0 && points == 1024 && back[1023] == back[699]);

  CHECK(zel_dac_write(dac, 300, 0.5, 200.0, a, "s", "strain", "ue") == 0);
  CHECK(zel_dac_data(dac, &n, &start, &rate, back) == 0 && n == 300 && start == 0.5 &&
        back[299] == (double)(float)a[299]);
  h = zel_dac_open(dac, &n, &rate, &start, &status);
  CHECK(h != NULL && status == 0 && zel_dac_getnpts(h, 400, back) == 300 && zel_dac_close(h) == 0);

  CHECK(zel_fes_write_mcs(0, 2, 4, 0, steps, uh, bh, uh, bh, uh, bh, 0, op2) == 1);
  CHECK(zel_fes_write_mcs(1, 2, 4, 0, steps, uh, bh, uh, bh, uh, bh, 0, pch) == 1);
  CHECK(strcmp(zel_build_version(), zel_version()) == 0);
  if (failures) fprintf(stderr, "%d checks failed\n", failures);
  return failures ? 1 : 0;
}
