// The current local time in the 24-character form of the C library's
// asctime, "Thu Mar  5 09:04:07 2026", with English names whatever the
// locale. The day of month is padded as the platform's own form pads it:
// with a blank on POSIX systems, with a zero on Windows.
#pragma once

#include <cstddef>

namespace zel {

// Writes the text and its NUL into out (at least 25 bytes); false, with out
// empty, when the clock or the time zone conversion fails.
bool local_time_text(char *out, size_t size);

} // namespace zel
