#include "number_text.h"

#include <charconv>
#include <cmath>
#include <system_error>

namespace zel_tool {

void append_exact(std::string &out, double value) {
  if (std::isnan(value)) {
    out += "nan";
    return;
  }
  if (std::isinf(value)) {
    out += value < 0 ? "-inf" : "inf";
    return;
  }
  char buffer[32];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  out.append(buffer, result.ptr);
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
