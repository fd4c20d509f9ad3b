// Any bytes as an RPC III file through every read call (fuzz.h: read_rpc): no crash, leak, open file or undue
// allocation, and no two calls that disagree.
#include "fuzz/fuzz.h"
#include "rpc/rpc3_support.h"

using namespace zel_fuzz;

std::vector<Bytes> zel_fuzz::seeds() {
  zel_test::Rpc3File plain, groups;
  groups.frame = 64, groups.group = 256, groups.frames = 9, groups.channels = 3, groups.scales = {0.5, 2.0, 1e-3};
  groups.floating = groups.big_endian = true;
  for (auto *f : {&plain, &groups}) f->standard_records();
  groups.set("DESC.CHAN_9", "beyond");
  return {plain.image(), groups.image()};
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) { return read_rpc(memory_file(data, size)), 0; }
