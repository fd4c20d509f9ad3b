// The argument set that the modal-coordinate export hands from its entry to
// either writer, and the layout of its arrays.
//
// Arrays are column-major with the step index running fastest; the leading
// dimension is always N0, the num_steps the caller passed, also when the
// writers write fewer steps. s counts steps from 1, row counts modes (1 to
// M) or components (1 to 6); positions count from 0.
//  - time output: value of (s, row) at (s - 1) + (row - 1) * N0;
//  - frequency output: real part at (s - 1) + (2 row - 2) * N0, imaginary
//    part at (s - 1) + (2 row - 1) * N0.
#pragma once

#include <cstdint>

namespace zel {
namespace modal_export {

struct ExportArgs {
  int32_t *num_modes;         // M
  int32_t *num_steps;         // N0 on entry; the writers may reduce it
  int32_t *num_dropped_steps; // K: steps left out at the end (time output)
  const double *step_values;  // N0 times or frequencies
  const double *uh_disp;      // modal sets, N0 x M (N0 x 2M complex)
  const double *bh_disp;      // six-component sets, N0 x 6 (N0 x 12 complex)
  const double *uh_vel;
  const double *bh_vel;
  const double *uh_acc;
  const double *bh_acc;
  const int32_t *frequency_domain; // 0 time output, 1 frequency output
  const char *file_name;           // bytes of the path, no NUL needed
  int64_t file_name_length;
};

enum : int32_t { kTimeOutput = 0, kFrequencyOutput = 1 };

// Number of rows of the six-component matrices.
constexpr int32_t kComponents = 6;

inline int64_t real_at(int32_t step, int32_t row, int32_t n0) {
  return (static_cast<int64_t>(step) - 1) + (static_cast<int64_t>(row) - 1) * n0;
}
inline int64_t complex_real_at(int32_t step, int32_t row, int32_t n0) {
  return (static_cast<int64_t>(step) - 1) + (2 * static_cast<int64_t>(row) - 2) * n0;
}
inline int64_t complex_imag_at(int32_t step, int32_t row, int32_t n0) {
  return (static_cast<int64_t>(step) - 1) + (2 * static_cast<int64_t>(row) - 1) * n0;
}

// A 32-bit count as the 32-bit integer arithmetic of the file formats
// leaves it (wrapping, never undefined).
inline int32_t wrap32(int64_t v) {
  return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(v)));
}

} // namespace modal_export
} // namespace zel
