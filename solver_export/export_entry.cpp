#include "solver_export/export_entry.h"

#include "solver_export/export_args.h"
#include "solver_export/export_status.h"
#include "zel.h"

#include <cstdlib>
#include <cstring>

namespace zel {
namespace modal_export {

namespace {

void *heap_obtain(int64_t bytes) {
  if (bytes <= 0 || static_cast<uint64_t>(bytes) > SIZE_MAX) return nullptr;
  return std::calloc(1, static_cast<size_t>(bytes));
}

void heap_release(void *area) { std::free(area); }

int64_t name_length(const char *file_name) {
  return file_name ? static_cast<int64_t>(std::strlen(file_name)) : 0;
}

// Bytes of the OUTPUT2 writer's scratch areas (see ScratchSource).
struct ScratchSizes {
  int64_t name_list_bytes;
  int64_t column_bytes;
};

ScratchSizes scratch_sizes(int32_t num_modes, int32_t num_steps, int32_t frequency_domain) {
  const int64_t rows = num_modes > kComponents ? num_modes : kComponents;
  const int64_t doubles = frequency_domain != kTimeOutput ? 2 * rows : rows;
  return ScratchSizes{(static_cast<int64_t>(num_steps) + 2) * 4,
                      doubles * static_cast<int64_t>(sizeof(double))};
}

} // namespace

const ScratchSource &heap_scratch() {
  static const ScratchSource source{heap_obtain, heap_release};
  return source;
}

int write_modal_export(int to_punch, int num_modes, int num_steps, int num_dropped_steps,
                       const double *step_values, const double *uh_disp, const double *bh_disp,
                       const double *uh_vel, const double *bh_vel, const double *uh_acc,
                       const double *bh_acc, int frequency_domain, const char *file_name,
                       const ScratchSource &source) {
  // The writers change the counts they are given: they get copies.
  int32_t modes = num_modes;
  int32_t steps = num_steps;
  int32_t dropped = num_dropped_steps;
  const int32_t domain = frequency_domain;
  const ExportArgs args{
      &modes, &steps,  &dropped,  step_values,           uh_disp, bh_disp, uh_vel, bh_vel, uh_acc,
      bh_acc, &domain, file_name, name_length(file_name)};

  if (to_punch != 0) {
    ZEL_PCH_WMC(args.num_modes, args.num_steps, args.num_dropped_steps, args.step_values,
                args.uh_disp, args.bh_disp, args.uh_vel, args.bh_vel, args.uh_acc, args.bh_acc,
                args.frequency_domain, args.file_name, args.file_name_length);
    return last_export_status() == 0 ? kExportWritten : kExportNotWritten;
  }

  const ScratchSizes sizes = scratch_sizes(modes, steps, domain);
  void *areas[4] = {nullptr, nullptr, nullptr, nullptr};
  const int64_t bytes[4] = {sizes.name_list_bytes, sizes.column_bytes, sizes.column_bytes,
                            sizes.column_bytes};
  bool complete = true;
  for (int i = 0; i < 4 && complete; ++i) {
    areas[i] = bytes[i] > 0 ? source.obtain(bytes[i]) : nullptr;
    complete = areas[i] != nullptr;
  }
  if (complete) {
    ZEL_OP2_WMC(args.num_modes, args.num_steps, args.num_dropped_steps, areas[0],
                static_cast<double *>(areas[1]), static_cast<double *>(areas[2]),
                static_cast<double *>(areas[3]), args.step_values, args.uh_disp, args.bh_disp,
                args.uh_vel, args.bh_vel, args.uh_acc, args.bh_acc, args.frequency_domain,
                args.file_name, args.file_name_length);
  }
  for (void *area : areas)
    if (area) source.release(area);
  if (!complete) return 0;
  return last_export_status() == 0 ? kExportWritten : kExportNotWritten;
}

} // namespace modal_export
} // namespace zel

extern "C" ZEL_API int zel_fes_write_mcs(int to_punch, int num_modes, int num_steps,
                                         int num_dropped_steps, const double *step_values,
                                         const double *uh_disp, const double *bh_disp,
                                         const double *uh_vel, const double *bh_vel,
                                         const double *uh_acc, const double *bh_acc,
                                         int frequency_domain, const char *file_name) {
  return zel::modal_export::write_modal_export(
      to_punch, num_modes, num_steps, num_dropped_steps, step_values, uh_disp, bh_disp, uh_vel,
      bh_vel, uh_acc, bh_acc, frequency_domain, file_name, zel::modal_export::heap_scratch());
}
