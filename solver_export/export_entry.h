// The export entry: picks the writer, obtains the OUTPUT2 writer's scratch
// areas and calls the writer with references to its own copies of the
// counts.
#pragma once

#include <cstdint>

namespace zel {
namespace modal_export {

// Where the entry's scratch areas come from: obtain returns a zero-filled
// area of the given size or null; release gives one back. The entry asks
// for the name-list area (N0 + 2 words of 4 bytes), then for each of the
// three column areas (max(6, M) doubles, twice that when frequency_domain
// is not 0); a size below 1 byte (num_steps below -1) is not asked for and
// counts as refused. A refused area ends the export with 0.
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
