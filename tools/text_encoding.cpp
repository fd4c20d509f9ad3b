#include "text_encoding.h"

namespace zel_tool {

bool valid_utf8(const std::string &text) {
  const auto *p = reinterpret_cast<const unsigned char *>(text.data());
  const unsigned char *end = p + text.size();
  while (p < end) {
    const unsigned char c = *p++;
    if (c < 0x80) continue;
    int more = 0;
    unsigned lowest = 0, code = 0;
    if ((c & 0xE0) == 0xC0)
      more = 1, lowest = 0x80, code = c & 0x1Fu;
    else if ((c & 0xF0) == 0xE0)
      more = 2, lowest = 0x800, code = c & 0x0Fu;
    else if ((c & 0xF8) == 0xF0)
      more = 3, lowest = 0x10000, code = c & 0x07u;
    else
      return false;
    if (end - p < more) return false;
    for (int k = 0; k < more; ++k, ++p) {
      if ((*p & 0xC0) != 0x80) return false;
      code = code << 6 | (*p & 0x3Fu);
    }
    if (code < lowest || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
  }
  return true;
}

std::string utf8_text(const std::string &text) {
  const bool utf8 = valid_utf8(text);
  std::string out;
  out.reserve(text.size() + text.size() / 4);
  for (unsigned char c : text) {
    if ((c < 0x20 && c != '\t') || c == 0x7F) {
      out += "\xEF\xBF\xBD"; // U+FFFD
    } else if (c < 0x80 || utf8) {
      out += static_cast<char>(c);
    } else {
      out += static_cast<char>(0xC0 | c >> 6);
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

} // namespace zel_tool
