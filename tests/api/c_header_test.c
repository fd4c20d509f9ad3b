/* Compiled as C99: the public header must be valid C, and the functions it
 * declares must link against the shared library under their plain names. */
#include "zel.h"

#include <stdio.h>
#include <string.h>

typedef void (*any_fn)(void);

int main(void) {
  /* Taking the address of every declared function forces the link. */
  const any_fn fns[] = {
      (any_fn)zel_version, (any_fn)zel_build_version,
      (any_fn)zel_rpc_sniff, (any_fn)zel_rpc_open, (any_fn)zel_rpc_attributes,
      (any_fn)zel_rpc_getnpts, (any_fn)zel_rpc_getwindow, (any_fn)zel_rpc_readclose,
      (any_fn)zel_rpc_data, (any_fn)zel_rpc_create, (any_fn)zel_rpc_putchannel,
      (any_fn)zel_rpc_writeclose, (any_fn)zel_rpc_geterror,
      (any_fn)zel_dac_sniff, (any_fn)zel_dac_open, (any_fn)zel_dac_getnpts,
      (any_fn)zel_dac_close, (any_fn)zel_dac_read, (any_fn)zel_dac_data,
      (any_fn)zel_dac_write, (any_fn)zel_dac_geterror, (any_fn)zel_dac_getwindow,
      (any_fn)zel_fes_write_mcs, (any_fn)ZEL_OP2_WMC, (any_fn)ZEL_PCH_WMC,
      (any_fn)ZEL_OP2ISET, (any_fn)ZEL_OP2WRIT, (any_fn)ZEL_OP2ESET, (any_fn)zel_fes_status,
  };
  size_t i;
  for (i = 0; i < sizeof fns / sizeof fns[0]; ++i) {
    if (!fns[i]) {
      fprintf(stderr, "function %u has no address\n", (unsigned)i);
      return 1;
    }
  }
  if (strlen(zel_build_version()) < 17) {
    fprintf(stderr, "release version too short: %s\n", zel_build_version());
    return 1;
  }
  return 0;
}
