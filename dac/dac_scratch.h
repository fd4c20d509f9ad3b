// The process-wide scratch buffer of zel_dac_getnpts: floats kept between
// calls, grown when a call needs more, freed by every zel_dac_close. Not
// thread-safe (neither are the DAC handle functions that use it).
#pragma once

#include <cstdint>

namespace zel {
namespace dac {

// A buffer of at least `needed` floats. When the buffer is smaller it is
// freed and reallocated, zeroed, to the larger of `needed` and 1024 floats;
// null (and capacity 0) when that allocation fails.
float *scratch_reserve(int64_t needed);

// Frees the buffer; the capacity becomes 0.
void scratch_release();

// Floats the buffer holds now.
int64_t scratch_capacity();

// Test hook: the next reallocation fails as if memory ran out.
void scratch_fail_next_allocation();

} // namespace dac
} // namespace zel
