/* The C interface end to end, as a C program sees it: RPC III, DAC and the
 * modal export written and read back, the codes of the common failures and
 * the message tables. Built for Linux and for Windows (run under an
 * emulator there). Argument: a scratch directory. */
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "zel.h"

static int failures = 0;

#define CHECK(cond)                                                     \
  do {                                                                  \
    if (!(cond)) {                                                      \
      fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond); \
      ++failures;                                                       \
    }                                                                   \
  } while (0)

static void path_in(char *out, size_t size, const char *dir, const char *name) {
  snprintf(out, size, "%s/%s", dir, name);
}

static void rpc_round_trip(const char *dir) {
  char path[1024], desc[96], units[96], date[96], message[64];
  double a[700], b[700], back[1024], times[5], window[5], dt = 0.0;
  int i, status = -1, channels = 0, points = 0;
  void *h;

  path_in(path, sizeof path, dir, "c_api.rsp");
  for (i = 0; i < 700; ++i) {
    a[i] = 1000.0 * sin(0.01 * i);
    b[i] = -0.25 * i;
  }
  h = zel_rpc_create(path, 2, 700, 0.002, &status);
  CHECK(h != NULL && status == 0);
  if (!h) return;
  CHECK(zel_rpc_putchannel(h, 1, 700, a, "force", "N") == 0);
  CHECK(zel_rpc_putchannel(h, 2, 700, b, NULL, NULL) == 0);
  CHECK(zel_rpc_putchannel(h, 3, 700, b, NULL, NULL) == 9);
  CHECK(zel_rpc_putchannel(NULL, 1, 700, b, NULL, NULL) == 3);
  CHECK(zel_rpc_writeclose(h) == 0);

  CHECK(zel_rpc_sniff(path) == 1);
  h = zel_rpc_open(path, &channels, &points, &dt, date, &status);
  CHECK(h != NULL && status == 0);
  CHECK(channels == 2 && points == 1024 && fabs(dt - 0.002) < 1e-15);
  CHECK(strlen(date) == 24);
  CHECK(zel_rpc_attributes(h, 1, desc, units) == 0);
  CHECK(strcmp(desc, "force") == 0 && strcmp(units, "N") == 0);
  CHECK(zel_rpc_attributes(h, 2, desc, units) == 0);
  CHECK(strcmp(desc, "KIVOR SIMULATION COMPONENT") == 0 && strcmp(units, "UNKNOWN") == 0);
  CHECK(zel_rpc_getnpts(h, 1, 700, back) == 700);
  for (i = 0; i < 700; ++i) CHECK(fabs(back[i] - a[i]) <= 1000.0 / 32752.0);
  CHECK(zel_rpc_getwindow(h, 2, 0.002 * 10, 2, times, window) == 0);
  CHECK(fabs(times[2] - 0.02) < 1e-12 && fabs(window[2] - b[10]) <= 175.0 / 32752.0);
  CHECK(zel_rpc_readclose(h) == 0);

  CHECK(zel_rpc_data(path, 2, &points, &dt, NULL) == 0 && points == 1024);
  CHECK(zel_rpc_data(path, 2, &points, &dt, back) == 0);
  CHECK(back[1023] == back[699]); /* the last sample repeated to whole frames */
  CHECK(zel_rpc_data(path, 0, &points, &dt, NULL) == 9);

  path_in(path, sizeof path, dir, "missing.rsp");
  h = zel_rpc_open(path, &channels, &points, &dt, NULL, &status);
  CHECK(h != NULL && status == 1 && channels == 0 && points == 0 && dt == 0.0);
  CHECK(zel_rpc_readclose(h) == 0);
  CHECK(zel_rpc_readclose(NULL) == 3);
  CHECK(zel_rpc_getnpts(NULL, 1, 1, back) == 0);
  CHECK(zel_rpc_sniff(path) == 0);

  zel_rpc_geterror(9, message);
  CHECK(strcmp(message, "RPC file channel number out of range. Data not processed.") == 0);
  zel_rpc_geterror(-1, message);
  CHECK(strcmp(message, "Unknown error") == 0);
}

static void dac_round_trip(const char *dir) {
  char path[1024], date[121], xl[25], xn[29], yl[25], yn[29], message[64];
  double s[300], back[300], start = -1.0, rate = 0.0, spare = 1.0;
  int i, n = 0, status = -1, got;
  void *h;

  path_in(path, sizeof path, dir, "c_api.dac");
  for (i = 0; i < 300; ++i) s[i] = 0.1 * i - 7.0;
  CHECK(zel_dac_write(path, 300, 0.5, 200.0, s, "s", "strain", "ue") == 0);
  CHECK(zel_dac_sniff(path) == 1);
  CHECK(zel_dac_read(path, &n, &start, &rate, date, xl, xn, yl, yn) == 0);
  CHECK(n == 300 && start == 0.5 && fabs(rate - 200.0) < 1e-3);
  CHECK(strncmp(xl, "Time", 4) == 0 && strncmp(yl, "strain", 6) == 0);
  CHECK(zel_dac_data(path, &n, &start, &rate, back) == 0);
  for (i = 0; i < 300; ++i) CHECK(back[i] == (double)(float)s[i]);

  h = zel_dac_open(path, &n, &rate, &spare, &status);
  CHECK(h != NULL && status == 0 && n == 300 && spare == 0.0);
  got = zel_dac_getnpts(h, 200, back);
  CHECK(got == 200);
  got = zel_dac_getnpts(h, 200, back);
  CHECK(got == 100 && back[99] == (double)(float)s[299]);
  CHECK(zel_dac_close(h) == 0);
  CHECK(zel_dac_close(NULL) == 18);

  CHECK(zel_dac_write(path, 0, 0.0, 200.0, s, "s", "y", NULL) != 0);
  zel_dac_geterror(18, message);
  CHECK(strcmp(message, "Invalid handle") == 0);
  zel_dac_geterror(24, message);
  CHECK(strcmp(message, "Unknown error") == 0);
}

static void modal_export(const char *dir) {
  char path[1024];
  double steps[4] = {0.0, 0.1, 0.2, 0.3}, uh[4 * 2], bh[4 * 6];
  FILE *f;
  long size;
  int i;
  for (i = 0; i < 8; ++i) uh[i] = 0.5 + i;
  for (i = 0; i < 24; ++i) bh[i] = -1.0 - i;

  path_in(path, sizeof path, dir, "c_api.op2");
  CHECK(zel_fes_write_mcs(0, 2, 4, 0, steps, uh, bh, uh, bh, uh, bh, 0, path) == 1);
  f = fopen(path, "rb");
  CHECK(f != NULL);
  if (f) {
    unsigned char first[4];
    CHECK(fread(first, 1, 4, f) == 4);
    fseek(f, 0, SEEK_END);
    size = ftell(f);
    fclose(f);
    CHECK(size > 100 && first[0] > 0);
  }
  path_in(path, sizeof path, dir, "c_api.pch");
  CHECK(zel_fes_write_mcs(1, 2, 4, 0, steps, uh, bh, uh, bh, uh, bh, 0, path) == 1);
  f = fopen(path, "rb");
  CHECK(f != NULL);
  if (f) {
    char line[128];
    CHECK(fgets(line, sizeof line, f) != NULL && strncmp(line, "DTI", 3) == 0);
    fclose(f);
  }
}

int main(int argc, char **argv) {
  const char *dir = argc > 1 ? argv[1] : ".";
  rpc_round_trip(dir);
  dac_round_trip(dir);
  modal_export(dir);
  CHECK(strlen(zel_build_version()) >= 17);
  if (failures) fprintf(stderr, "%d checks failed\n", failures);
  return failures ? 1 : 0;
}
