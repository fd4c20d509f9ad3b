// Text helpers shared by the formats: bounded copies and the decimal
// conversions of header values (C-locale, never reading past a field).
#pragma once

#include <cstddef>

namespace zel {

// Length of the text in field, up to its first NUL or the field's end.
size_t field_length(const char *field, size_t size);

// Copies the text of a field (up to its first NUL, at most size bytes) into
// dest, which holds dest_size bytes: at most dest_size - 1 characters are
// copied and dest is always NUL-terminated.
void copy_field(char *dest, size_t dest_size, const char *field, size_t size);

// Copies a NUL-terminated text into dest (dest_size bytes), cut to
// dest_size - 1 characters and always NUL-terminated. A null src gives "".
void copy_text(char *dest, size_t dest_size, const char *src);

// Decimal integer of a field, read like C's atoi: leading white space, an
// optional sign, then digits up to the first other character; no digits
// gives 0. Out-of-range values saturate to the int range.
int parse_int(const char *field, size_t size);

// Decimal real of a field, read like C's atof but independent of the
// locale: leading white space, optional sign, digits with an optional point
// and exponent, or inf/nan; no number gives 0.0.
double parse_real(const char *field, size_t size);

} // namespace zel
