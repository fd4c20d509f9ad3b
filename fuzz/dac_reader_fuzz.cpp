// Any bytes as a DAC file through every read call (fuzz.h: read_dac): no crash, leak, open file, write outside a buffer
// or undue allocation, and no two calls that disagree.
#include "dac/dac_test_support.h"
#include "fuzz/fuzz.h"

using namespace zel_fuzz;

std::vector<Bytes> zel_fuzz::seeds() {
  dac_test::DacBuilder plain, details;
  details.samples = dac_test::ramp(130);
  details.details = {{"DATE", "Sat Dec  5 10:11:12 2026"}, {"Units", "kN"}, {"", "lost"}, {"Gain", ""}};
  return {plain.build(), details.build()};
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) { return read_dac(memory_file(data, size)), 0; }
