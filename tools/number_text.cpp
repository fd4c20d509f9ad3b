#include "number_text.h"

#include <charconv>
#include <cmath>
#include <system_error>

namespace zel_tool {

char *put_exact(char *out, double value) {
  if (std::isfinite(value)) return std::to_chars(out, out + kExactChars, value).ptr;
  const char *text = std::isnan(value) ? "nan" : value < 0 ? "-inf" : "inf";
  while (*text) *out++ = *text++;
  return out;
}

void append_exact(std::string &out, double value) {
  char buffer[kExactChars];
  out.append(buffer, put_exact(buffer, value));
}

std::string exact(double value) {
  std::string text;
  append_exact(text, value);
  return text;
}

bool parse_double(const char *begin, const char *end, double &value) {
  while (begin < end && (*begin == ' ' || *begin == '\t')) ++begin;
  while (end > begin && (end[-1] == ' ' || end[-1] == '\t' || end[-1] == '\r')) --end;
  if (begin < end && *begin == '+') ++begin; // from_chars takes no plus sign
  if (begin == end) return false;
  const auto result = std::from_chars(begin, end, value);
  return result.ec == std::errc() && result.ptr == end;
}

} // namespace zel_tool
