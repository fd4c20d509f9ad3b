// Header numbers against C oracles (C locale), by the first value (mod 2): 0, the rest is a field: parse_int reads it
// like strtoll (saturated to int), parse_real like strtod with one sign and no hexadecimal; 1, format_int and
// format_real write "%lld" and "%20.12E", which parse_int and parse_real read back as strtoll and strtod do.
#include <climits>

#include "common/text.h"
#include "fuzz/fuzz.h"
#include "rpc/rpc3_format.h" // format_int, format_real

using namespace zel;
using namespace zel_fuzz;

std::vector<Bytes> zel_fuzz::seeds() {
  std::vector<Bytes> out;
  for (const char *t : {"  -12.5e3", "-nan", "1e400", "1e-400", "0x1p3", "4.9e-324", "   .5E+2xyz"})
    out.push_back(Bytes(4, 0)), out.back().insert(out.back().end(), t, t + std::strlen(t));
  out.push_back(bytes_of(uint32_t(1), int64_t(-42), 0.1));
  return out;
}

void parse(const char *field, size_t size) {
  const std::string s(field, std::find(field, field + size, '\0'));
  const long long i = std::strtoll(s.c_str(), nullptr, 10);
  check(parse_int(field, size) == (i > INT_MAX ? INT_MAX : i < INT_MIN ? INT_MIN : i), "parse_int reads like strtoll");
  const size_t at = std::min(s.find_first_not_of(" \t\n\v\f\r"), s.size()), j = at + (s[at] == '+' || s[at] == '-');
  // strtod would read "0x.." in hexadecimal and a second sign or blanks after the first.
  double r = s.compare(j, 2, "0x") == 0 || s.compare(j, 2, "0X") == 0 || (j > at && std::strchr("+- \t\n\v\f\r", s[j]))
                 ? 0.0
                 : std::strtod(s.c_str() + j, nullptr);
  check(same(parse_real(field, size), s[at] == '-' ? -r : r), "parse_real reads like strtod");
}

void round_trip(int64_t iv, double rv) {
  char mine[rpc3::kNumberBytes], theirs[64];
  rpc3::format_int(mine, iv);
  std::snprintf(theirs, sizeof theirs, "%lld", static_cast<long long>(iv));
  check(!std::strcmp(mine, theirs) && parse_int(mine, sizeof mine) == std::clamp<int64_t>(iv, INT_MIN, INT_MAX),
        "format_int");
  rpc3::format_real(mine, rv);
  std::snprintf(theirs, sizeof theirs, "%20.12E", rv);
  check(!std::strcmp(mine, theirs) && same(parse_real(mine, sizeof mine), std::strtod(theirs, nullptr)),
        "format_real is %20.12E and reads back");
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  Input in{data, size};
  const int64_t what = in.range(0, 3) % 2, iv = what ? in.take<int64_t>() : 0;
  return what ? round_trip(iv, in.take<double>()) : parse(reinterpret_cast<const char *>(in.p), in.n), 0;
}
