// The export entry: picks the writer, obtains the OUTPUT2 writer's scratch
// areas and calls the writer with references to its own copies of the
// counts.
#pragma once

#include <cstdint>

namespace zel {
namespace modal_export {

// Bytes of each scratch area the OUTPUT2 writer takes from the entry: the
// name-list area (N0 + 2 words of 4 bytes) and each of the three column
// areas (max(6, M) doubles, twice that when frequency_domain is not 0).
// A size below 1 byte (num_steps below -1) cannot be obtained.
struct ScratchSizes {
  int64_t name_list_bytes;
  int64_t column_bytes;
};
ScratchSizes scratch_sizes(int32_t num_modes, int32_t num_steps, int32_t frequency_domain);

// Where the entry's scratch areas come from: obtain returns a zero-filled
// area of the given size or null; release gives one back.
struct ScratchSource {
  void *(*obtain)(int64_t bytes);
  void (*release)(void *area);
};

// The heap (calloc and free).
const ScratchSource &heap_scratch();

// zel_fes_write_mcs with the scratch areas taken from source.
int write_modal_export(int to_punch, int num_modes, int num_steps, int num_dropped_steps,
                       const double *step_values, const double *uh_disp, const double *bh_disp,
                       const double *uh_vel, const double *bh_vel, const double *uh_acc,
                       const double *bh_acc, int frequency_domain, const char *file_name,
                       const ScratchSource &source);

} // namespace modal_export
} // namespace zel
