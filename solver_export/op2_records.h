// OUTPUT2 record patterns: block head, data record with its markers, block
// end, written on a record unit. Every record is an unformatted record of
// the record runtime; [v] below is a record holding the one integer v.
#pragma once

#include "solver_export/record_runtime/record_unit.h"

#include <cstdint>

namespace zel {
namespace op2 {

constexpr int32_t kNameBytes = 8;
constexpr int32_t kTrailerWords = 7;

// [v]
void write_integer_record(records::Unit &unit, int32_t value);

// [2], name (8 bytes), [-1], [7], trailer (7 integers), [-2].
void write_block_head(records::Unit &unit, const char *name, const int32_t trailer[kTrailerWords]);

// [1], [flag], [key], data, [-3] with key = (last - first + 1) * words.
// words 1: the data record is data words 1 to last. Any other words: the
// integer first, then terms first to last of words words each. Terms below
// the first of the array are never read.
void write_data_record(records::Unit &unit, int32_t flag, int32_t last, int32_t words,
                       int32_t first, const void *data);

// [1], [1], [key], then one record of the integer row followed by nwords
// words from terms, [-3]: a matrix column (key counts the words after row).
void write_column_record(records::Unit &unit, int32_t key, int32_t row, const void *terms,
                         int64_t nwords);

// [1], [0], [0].
void write_block_end(records::Unit &unit);

} // namespace op2
} // namespace zel
