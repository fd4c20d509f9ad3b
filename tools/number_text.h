// Number texts that read back to the same double (shortest round-trip form).
#pragma once

#include <string>

namespace zel_tool {

// Appends the shortest text that parses back to exactly value ("nan", "inf"
// and "-inf" for the non-finite values).
void append_exact(std::string &out, double value);
// The same into out, which has room for kExactChars characters; returns
// the end of the text.
constexpr int kExactChars = 32;
char *put_exact(char *out, double value);
std::string exact(double value);

// Parses a whole field as a double (leading and trailing blanks allowed);
// false when the text is not a number.
bool parse_double(const char *begin, const char *end, double &value);

} // namespace zel_tool
