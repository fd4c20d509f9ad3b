// Modal coordinates as an OUTPUT2 file: TOL, UHT, BHT (time output) or FOL,
// UHF, BHF (frequency output), then the end-of-file record [0].
//
// Every column is assembled in one of the caller's column areas and written
// as one record before the next is assembled, so memory does not grow with
// the number of steps.
#include "solver_export/block_names.h"
#include "solver_export/export_args.h"
#include "solver_export/op2_records.h"
#include "solver_export/export_status.h"
#include "solver_export/record_runtime/record_unit.h"
#include "zel.h"

#include <cstring>

namespace zel {
namespace modal_export {
namespace {

struct Scratch {
  unsigned char *name_list;
  double *column[3];
};

// Truncation of a single-precision value as the processor's conversion
// instruction does it: values beyond the integer range (and NaN) give the
// integer indefinite value INT32_MIN. This is deliberately not
// common/numeric.h saturate_cast, which holds such values to the range and
// maps NaN to 0: the trailer word must be the bit pattern a natively
// compiled solver writes, whatever the value.
int32_t truncate_float(float v) {
  if (v >= 2147483648.0f || !(v >= -2147483648.0f)) return INT32_MIN;
  return static_cast<int32_t>(v);
}

// Word 7 of the TOL and FOL trailers: ((N + 1) / (N + 2)) * 10000 in single
// precision, truncated.
int32_t table_density(int32_t n) {
  const float ratio = static_cast<float>(wrap32(static_cast<int64_t>(n) + 1)) /
                      static_cast<float>(wrap32(static_cast<int64_t>(n) + 2));
  const float scaled = ratio * 10000.0f;
  return truncate_float(scaled);
}

// Index (from 1) of the first term that is not zero among terms 1 to
// last - 1, else last. -0.0 is zero, a NaN is not.
int32_t first_nonzero(const double *terms, int32_t last) {
  for (int32_t j = 1; j < last; ++j)
    if (!(terms[j - 1] == 0.0)) return j;
  return last;
}

// The same over complex terms stored as real, imaginary pairs.
int32_t first_nonzero_complex(const double *terms, int32_t last) {
  for (int32_t j = 1; j < last; ++j)
    if (!(terms[2 * j - 2] == 0.0) || !(terms[2 * j - 1] == 0.0)) return j;
  return last;
}

// TOL or FOL: the step values in single precision behind the name.
void write_step_table(records::Unit &u, const char *name, int32_t n, const double *step_values,
                      unsigned char *name_list) {
  std::memcpy(name_list, name, op2::kNameBytes);
  for (int32_t s = 1; s <= n; ++s) {
    const float v = static_cast<float>(step_values[s - 1]);
    std::memcpy(name_list + 4 * (static_cast<int64_t>(s) + 1), &v, 4);
  }
  const int32_t trailer[op2::kTrailerWords] = {101, n, 1, 2, 1, 1, table_density(n)};
  op2::write_block_head(u, name, trailer);
  op2::write_data_record(u, 0, wrap32(static_cast<int64_t>(n) + 2), 1, 1, name_list);
  op2::write_block_end(u);
}

void write_matrix_head(records::Unit &u, const char *name, const int32_t trailer[]) {
  op2::write_block_head(u, name, trailer);
  op2::write_data_record(u, 0, 2, 1, 1, name);
}

// UHT (rows M) or BHT (rows 6): three real columns per step.
void write_real_matrix(records::Unit &u, const char *name, int32_t rows, int32_t n, int32_t n0,
                       const double *const sets[3], const Scratch &scratch) {
  const int32_t trailer[op2::kTrailerWords] = {
      101, wrap32(3 * static_cast<int64_t>(n)), rows, 2, 2, rows, 10000};
  write_matrix_head(u, name, trailer);
  for (int32_t s = 1; s <= n; ++s) {
    for (int a = 0; a < 3; ++a)
      for (int32_t row = 1; row <= rows; ++row)
        scratch.column[a][row - 1] = sets[a][real_at(s, row, n0)];
    for (int a = 0; a < 3; ++a) {
      const int32_t f = first_nonzero(scratch.column[a], rows);
      op2::write_data_record(u, 1, rows, 2, f, scratch.column[a]);
    }
  }
  op2::write_block_end(u);
}

// Places the complex values of step s, rows 1 to rows, into area as real,
// imaginary pairs.
void gather_complex(double *area, const double *values, int32_t s, int32_t rows, int32_t n0) {
  for (int32_t row = 1; row <= rows; ++row) {
    area[2 * row - 2] = values[complex_real_at(s, row, n0)];
    area[2 * row - 1] = values[complex_imag_at(s, row, n0)];
  }
}

void write_time_output(records::Unit &u, const ExportArgs &a, int32_t m, int32_t n0,
                       const Scratch &scratch) {
  const int32_t n = wrap32(static_cast<int64_t>(n0) - *a.num_dropped_steps);
  *a.num_steps = n;
  write_step_table(u, kTOL, n, a.step_values, scratch.name_list);
  const double *const modal[3] = {a.uh_disp, a.uh_vel, a.uh_acc};
  write_real_matrix(u, kUHT, m, n, n0, modal, scratch);
  const double *const six[3] = {a.bh_disp, a.bh_vel, a.bh_acc};
  write_real_matrix(u, kBHT, kComponents, n, n0, six, scratch);
}

void write_frequency_output(records::Unit &u, const ExportArgs &a, int32_t m, int32_t n0,
                            const Scratch &scratch) {
  const int32_t n = n0;
  write_step_table(u, kFOL, n, a.step_values, scratch.name_list);
  double *area = scratch.column[0];

  const int32_t uhf[op2::kTrailerWords] = {101, n, m, 2, 4, m, 10000};
  write_matrix_head(u, kUHF, uhf);
  for (int32_t s = 1; s <= n; ++s) {
    gather_complex(area, a.uh_disp, s, m, n0);
    op2::write_column_record(u, wrap32(4 * static_cast<int64_t>(m)), 1, area,
                             4 * static_cast<int64_t>(m));
  }
  op2::write_block_end(u);

  const int32_t bhf[op2::kTrailerWords] = {101, n, kComponents, 2, 4, 2 * kComponents, 10000};
  write_matrix_head(u, kBHF, bhf);
  for (int32_t s = 1; s <= n; ++s) {
    gather_complex(area, a.bh_disp, s, kComponents, n0);
    const int32_t f = first_nonzero_complex(area, kComponents);
    const int32_t key = 4 * (kComponents + 1 - f);
    op2::write_column_record(u, key, f, area + 2 * (f - 1), key);
  }
  op2::write_block_end(u);
}

void write_op2(const ExportArgs &a, const Scratch &scratch) {
  records::Unit &u = records::unit(kUnit);
  u.open(a.file_name, a.file_name_length);
  u.rewind();
  const int32_t m = *a.num_modes;
  const int32_t n0 = *a.num_steps;
  if (*a.frequency_domain == kTimeOutput)
    write_time_output(u, a, m, n0, scratch);
  else if (*a.frequency_domain == kFrequencyOutput)
    write_frequency_output(u, a, m, n0, scratch);
  op2::write_integer_record(u, 0);
  note_export(u.close_or_discard());
}

} // namespace
} // namespace modal_export
} // namespace zel

extern "C" ZEL_API void
ZEL_OP2_WMC(int32_t *num_modes, int32_t *num_steps, int32_t *num_dropped_steps, void *name_list,
            double *column_1, double *column_2, double *column_3, const double *step_values,
            const double *uh_disp, const double *bh_disp, const double *uh_vel,
            const double *bh_vel, const double *uh_acc, const double *bh_acc,
            const int32_t *frequency_domain, const char *file_name, int64_t file_name_length) {
  const zel::modal_export::ExportArgs args{num_modes,       num_steps,        num_dropped_steps,
                                           step_values,     uh_disp,          bh_disp,
                                           uh_vel,          bh_vel,           uh_acc,
                                           bh_acc,          frequency_domain, file_name,
                                           file_name_length};
  const zel::modal_export::Scratch scratch{static_cast<unsigned char *>(name_list),
                                           {column_1, column_2, column_3}};
  zel::modal_export::write_op2(args, scratch);
}
