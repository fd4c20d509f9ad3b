// Modal coordinates as a punch file: one DTI table record of the output
// steps (TOL or FOL) and two DMI matrices (UHT and BHT, or UHF and BHF),
// written as fixed-column cards of 8- and 16-column fields.
#include "solver_export/block_names.h"
#include "solver_export/export_args.h"
#include "solver_export/punch_field.h"
#include "solver_export/export_status.h"
#include "solver_export/record_runtime/record_unit.h"
#include "zel.h"

#include <cstring>

namespace zel {
namespace modal_export {
namespace {

// Table name of a DTI record written for neither time nor frequency output.
const char kNoName[] = "        ";

const char kDTI[] = "DTI     ";
const char kDMI[] = "DMI     ";
const char kDMIStar[] = "DMI*    ";
const char kContinuation[] = "*       ";
const char kEndRecord[] = "          ENDREC";

enum : int32_t { kRealSingle = 1, kComplexSingle = 3 };

// One card line, built field by field and handed to the unit whole.
class Card {
public:
  Card &text(const char *s, int width) {
    std::memcpy(line_ + length_, s, static_cast<size_t>(width));
    length_ += width;
    return *this;
  }
  Card &text8(const char *s) { return text(s, 8); }
  Card &blank() { return text("        ", 8); }
  Card &small(int64_t v) { return integer(v, 8); }
  Card &large(int64_t v) { return integer(v, 16); }
  Card &real(double v) {
    punch::format_real(v, line_ + length_);
    length_ += punch::kRealWidth;
    return *this;
  }
  // Writes the line; with end_line false the line stays open.
  void put(records::Unit &u, bool end_line = true) {
    u.write_text(line_, length_, end_line);
    length_ = 0;
  }

private:
  Card &integer(int64_t v, int width) {
    punch::format_integer(v, width, line_ + length_);
    length_ += width;
    return *this;
  }
  char line_[80];
  int length_ = 0;
};

void write_dti(records::Unit &u, const char *table, int32_t n, const double *step_values) {
  Card card;
  card.text8(kDTI).text8(table).small(0).small(n).small(1).small(2).small(1).small(1).small(10000);
  card.put(u);
  int32_t on_last_line = 4;
  for (int32_t first = 1; first <= n; first += 4) {
    card.text8(kContinuation);
    on_last_line = 0;
    for (int32_t s = first; s <= n && s < first + 4; ++s, ++on_last_line)
      card.real(step_values[s - 1]);
    if (on_last_line == 4) card.put(u);
  }
  // The last values line stays open for ENDREC; when it is full (or there
  // were no values) ENDREC goes on a line of its own behind the mark.
  if (on_last_line == 4) card.text8(kContinuation);
  card.put(u, false);
  card.text(kEndRecord, 16).put(u);
}

void write_dmi_header(records::Unit &u, const char *matrix, int32_t input_type, int32_t rows,
                      int32_t n) {
  Card card;
  card.text8(kDMI).text8(matrix).small(0).small(2).small(input_type).small(0).blank();
  card.small(rows).small(3 * static_cast<int64_t>(n)).put(u);
}

// Column j of a real matrix: rows 1 to rows of step s. Leading zeros are
// left out; a column without a non-zero value is not written at all.
void write_real_column(records::Unit &u, const char *matrix, int64_t j, const double *values,
                       int32_t s, int32_t rows, int32_t n0) {
  int32_t r = 1;
  while (r <= rows && values[real_at(s, r, n0)] == 0.0) ++r;
  if (r > rows) return;
  Card card;
  card.text8(kDMIStar).text8(matrix).blank().large(j).large(r).real(values[real_at(s, r, n0)]);
  card.put(u);
  for (int32_t first = r + 1; first <= rows; first += 4) {
    card.text8(kContinuation);
    for (int32_t i = first; i <= rows && i < first + 4; ++i) card.real(values[real_at(s, i, n0)]);
    card.put(u);
  }
}

// Column j of a complex matrix: rows 1 to rows of step s, each as real and
// imaginary part.
void write_complex_column(records::Unit &u, const char *matrix, int64_t j, const double *values,
                          int32_t s, int32_t rows, int32_t n0) {
  int32_t r = 1;
  while (r <= rows && values[complex_real_at(s, r, n0)] == 0.0 &&
         values[complex_imag_at(s, r, n0)] == 0.0)
    ++r;
  if (r > rows) return;
  Card card;
  card.text8(kDMIStar).text8(matrix).blank().small(j).small(r);
  card.real(values[complex_real_at(s, r, n0)]).real(values[complex_imag_at(s, r, n0)]);
  card.put(u);
  for (int32_t first = r + 1; first <= rows; first += 2) {
    card.text8(kContinuation);
    for (int32_t i = first; i <= rows && i < first + 2; ++i)
      card.real(values[complex_real_at(s, i, n0)]).real(values[complex_imag_at(s, i, n0)]);
    card.put(u);
  }
}

int64_t column_number(int32_t s, int offset) { return 3 * static_cast<int64_t>(s) - offset; }

void write_time_matrices(records::Unit &u, const ExportArgs &a, int32_t m, int32_t n, int32_t n0) {
  write_dmi_header(u, kUHT, kRealSingle, m, n);
  for (int32_t s = 1; s <= n; ++s) {
    write_real_column(u, kUHT, column_number(s, 2), a.uh_disp, s, m, n0);
    write_real_column(u, kUHT, column_number(s, 1), a.uh_vel, s, m, n0);
    write_real_column(u, kUHT, column_number(s, 0), a.uh_acc, s, m, n0);
  }
  write_dmi_header(u, kBHT, kRealSingle, kComponents, n);
  *a.num_modes = kComponents;
  for (int32_t s = 1; s <= n; ++s) {
    write_real_column(u, kBHT, column_number(s, 2), a.bh_disp, s, kComponents, n0);
    write_real_column(u, kBHT, column_number(s, 1), a.bh_vel, s, kComponents, n0);
    write_real_column(u, kBHT, column_number(s, 0), a.bh_acc, s, kComponents, n0);
  }
}

void write_frequency_matrices(records::Unit &u, const ExportArgs &a, int32_t m, int32_t n) {
  write_dmi_header(u, kUHF, kComplexSingle, m, n);
  for (int32_t s = 1; s <= n; ++s)
    write_complex_column(u, kUHF, column_number(s, 2), a.uh_disp, s, m, n);
  *a.num_modes = kComponents;
  write_dmi_header(u, kBHF, kComplexSingle, kComponents, n);
  for (int32_t s = 1; s <= n; ++s)
    write_complex_column(u, kBHF, column_number(s, 2), a.bh_disp, s, kComponents, n);
}

void write_punch(const ExportArgs &a) {
  records::Unit &u = records::unit(kUnit);
  u.open(a.file_name, a.file_name_length);
  u.rewind();
  const int32_t m = *a.num_modes;
  const int32_t n0 = *a.num_steps;
  const int32_t domain = *a.frequency_domain;
  if (domain == kTimeOutput) {
    const int32_t n = wrap32(static_cast<int64_t>(n0) - *a.num_dropped_steps);
    *a.num_steps = n;
    write_dti(u, kTOL, n, a.step_values);
    write_time_matrices(u, a, m, n, n0);
  } else if (domain == kFrequencyOutput) {
    write_dti(u, kFOL, n0, a.step_values);
    write_frequency_matrices(u, a, m, n0);
  } else {
    write_dti(u, kNoName, n0, a.step_values);
  }
  note_export(u.close_or_discard());
}

} // namespace
} // namespace modal_export
} // namespace zel

extern "C" ZEL_API void
ZEL_PCH_WMC(int32_t *num_modes, int32_t *num_steps, int32_t *num_dropped_steps,
            const double *step_values, const double *uh_disp, const double *bh_disp,
            const double *uh_vel, const double *bh_vel, const double *uh_acc, const double *bh_acc,
            const int32_t *frequency_domain, const char *file_name, int64_t file_name_length) {
  const zel::modal_export::ExportArgs args{num_modes,       num_steps,        num_dropped_steps,
                                           step_values,     uh_disp,          bh_disp,
                                           uh_vel,          bh_vel,           uh_acc,
                                           bh_acc,          frequency_domain, file_name,
                                           file_name_length};
  zel::modal_export::write_punch(args);
}
