// Labels from files are bytes: most are ASCII or UTF-8, some Latin-1
// ("µm/m" written by older programs). Every text output (JSON, SVG, tables)
// goes through utf8_text, so it is always valid UTF-8.
#pragma once

#include <string>

namespace zel_tool {

// True when text is well-formed UTF-8 (no overlong forms, no surrogates).
bool valid_utf8(const std::string &text);

// text itself when it is valid UTF-8, else text read as Latin-1 and
// converted to UTF-8. Control characters other than tab become U+FFFD.
std::string utf8_text(const std::string &text);

} // namespace zel_tool
