#include "solver_export/op2_records.h"

#include "solver_export/export_args.h"
#include "zel.h"

namespace zel {
namespace op2 {

void write_integer_record(records::Unit &unit, int32_t value) {
  unit.begin_record();
  unit.put_int(value);
  unit.end_record();
}

void write_block_head(records::Unit &unit, const char *name, const int32_t trailer[kTrailerWords]) {
  write_integer_record(unit, 2);
  unit.begin_record();
  unit.put(name, kNameBytes);
  unit.end_record();
  write_integer_record(unit, -1);
  write_integer_record(unit, kTrailerWords);
  unit.begin_record();
  for (int i = 0; i < kTrailerWords; ++i) unit.put_int(trailer[i]);
  unit.end_record();
  write_integer_record(unit, -2);
}

void write_data_record(records::Unit &unit, int32_t flag, int32_t last, int32_t words,
                       int32_t first, const void *data) {
  const int64_t key = (static_cast<int64_t>(last) - first + 1) * words;
  write_integer_record(unit, 1);
  write_integer_record(unit, flag);
  write_integer_record(unit, modal_export::wrap32(key));
  const unsigned char *bytes = static_cast<const unsigned char *>(data);
  unit.begin_record();
  if (words == 1) {
    if (last > 0) unit.put(bytes, 4 * static_cast<int64_t>(last));
  } else {
    unit.put_int(first);
    int64_t from = (static_cast<int64_t>(first) - 1) * words;
    const int64_t to = static_cast<int64_t>(last) * words;
    if (from < 0) from = 0;
    if (to > from) unit.put(bytes + 4 * from, 4 * (to - from));
  }
  unit.end_record();
  write_integer_record(unit, -3);
}

void write_column_record(records::Unit &unit, int32_t key, int32_t row, const void *terms,
                         int64_t nwords) {
  write_integer_record(unit, 1);
  write_integer_record(unit, 1);
  write_integer_record(unit, key);
  unit.begin_record();
  unit.put_int(row);
  if (nwords > 0) unit.put(terms, 4 * nwords);
  unit.end_record();
  write_integer_record(unit, -3);
}

void write_block_end(records::Unit &unit) {
  write_integer_record(unit, 1);
  write_integer_record(unit, 0);
  write_integer_record(unit, 0);
}

} // namespace op2
} // namespace zel

// The exported routines write on a unit opened elsewhere and hand their
// records to the file before they return.

extern "C" ZEL_API void ZEL_OP2ISET(const char *name, const int32_t *t1, const int32_t *t2,
                                    const int32_t *t3, const int32_t *t4, const int32_t *t5,
                                    const int32_t *t6, const int32_t *t7, const int32_t *unit,
                                    int64_t name_length) {
  char padded[zel::op2::kNameBytes];
  for (int i = 0; i < zel::op2::kNameBytes; ++i)
    padded[i] = (name && i < name_length) ? name[i] : ' ';
  const int32_t trailer[zel::op2::kTrailerWords] = {*t1, *t2, *t3, *t4, *t5, *t6, *t7};
  zel::records::Unit &u = zel::records::unit(*unit);
  zel::op2::write_block_head(u, padded, trailer);
  u.flush();
}

extern "C" ZEL_API void ZEL_OP2WRIT(const int32_t *flag, const int32_t *last,
                                    const int32_t *words_per_term, const int32_t *first,
                                    const int32_t *unit, const void *data) {
  zel::records::Unit &u = zel::records::unit(*unit);
  zel::op2::write_data_record(u, *flag, *last, *words_per_term, *first, data);
  u.flush();
}

extern "C" ZEL_API void ZEL_OP2ESET(const int32_t *unit) {
  zel::records::Unit &u = zel::records::unit(*unit);
  zel::op2::write_block_end(u);
  u.flush();
}
