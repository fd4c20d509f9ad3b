// The extra details of a DAC file (keyword/value records after the data):
// a valid header and data area are built in front of the fuzz input, so
// every run reaches the details parser. The details DacFile reads, and the
// open's status, are compared with a reading of the area written here from
// the layout alone:
//   groups of 13 records (a directory of 48 ten-byte entries, then 12 data
//   records of four 128-byte slots); entry j names slot j of its group; an
//   entry with a blank keyword, or a slot with a blank value, is skipped;
//   keywords are kept in upper case, both texts without trailing blanks; a
//   record the file does not hold ends the open with 16, a record before the
//   file's start with 11.
// zel_dac_read's date is the first "Date" detail (any case), else "Unknown".
//
// Input (zel_fuzz::Input): the point count (-300 to 700), the choice of the
// header's record count (the area's records, the float that follows, or one
// of a table of hostile values), a float, then the details area.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "dac/dac_file.h"
#include "fuzz/memory_file.h"
#include "zel.h"

namespace {

using Details = std::vector<std::pair<std::string, std::string>>;

void check(bool ok, const char *what) {
  if (!ok) {
    std::fprintf(stderr, "check failed: %s\n", what);
    std::abort();
  }
}

void put16(std::vector<unsigned char> &b, size_t at, int16_t v) { std::memcpy(&b[at], &v, 2); }
void put32(std::vector<unsigned char> &b, size_t at, int32_t v) { std::memcpy(&b[at], &v, 4); }
void putf(std::vector<unsigned char> &b, size_t at, float v) { std::memcpy(&b[at], &v, 4); }

// A text of a fixed field: up to a NUL, trailing blanks removed.
std::string field(const unsigned char *p, size_t n) {
  size_t k = 0;
  while (k < n && p[k] != 0) ++k;
  while (k > 0 && p[k - 1] == ' ') --k;
  return std::string(reinterpret_cast<const char *>(p), k);
}

// Reading of the area from the layout: status and details.
int expected_details(const std::vector<unsigned char> &file, int64_t count, int64_t records,
                     Details &out) {
  if (records == 0) return 0;
  int64_t groups = (records - 1) / 13 + 1;
  if (groups <= 0) return 0;
  const int64_t first = (count - 1) / 128 + 3;
  const auto record = [&](int64_t r, const unsigned char *&p) -> int {
    const int64_t at = 512 * (r - 1);
    if (at < 0) return ZEL_DAC_SEEK;
    if (at + 512 > static_cast<int64_t>(file.size())) return ZEL_DAC_DETAILS_READ;
    p = file.data() + at;
    return 0;
  };
  for (int64_t g = 0; g < groups; ++g) {
    const unsigned char *dir = nullptr, *data = nullptr;
    int s = record(first + 13 * g, dir);
    if (s) return s;
    for (int j = 0; j < 48; ++j) {
      std::string key = field(dir + 10 * j, 8);
      if (key.empty()) continue;
      s = record(first + 13 * g + 1 + j / 4, data);
      if (s) return s;
      const std::string value = field(data + 128 * (j % 4) + 8, 120);
      if (value.empty()) continue;
      for (char &c : key)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
      out.emplace_back(key, value);
    }
  }
  return 0;
}

// The header's float count as the reader rounds it: + 0.5, truncated,
// saturated, NaN as 0.
int64_t rounded(float f) {
  if (std::isnan(f)) return 0;
  const double d = static_cast<double>(f) + 0.5;
  if (d >= 2147483647.0) return 2147483647;
  if (d <= -2147483648.0) return -2147483648LL;
  return static_cast<int64_t>(std::trunc(d));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static zel_fuzz::MemoryFile memory("dac-details");
  zel_fuzz::Input in(data, size);
  const int64_t count = in.range(-300, 700);
  const int choice = static_cast<int>(in.range(0, 2));
  const float raw = in.take<float>();
  const size_t area = in.left();

  // Header: revision 2, statistics flag 0, interval 0.5.
  std::vector<unsigned char> file(512, 0);
  putf(file, 0, static_cast<float>(count));
  putf(file, 4, 0.5f);
  putf(file, 12, 2.0f);
  put32(file, 124, static_cast<int32_t>(count));
  put16(file, 128, 1);
  put16(file, 130, 3);
  put16(file, 190, 2);
  float records_f;
  static const float table[] = {0.0f, -1.0f, -11.0f, -12.0f, 1e30f, INFINITY, NAN, 13.0f, 14.0f, 26.4f};
  if (choice == 0) records_f = static_cast<float>((area + 511) / 512);
  else if (choice == 1) records_f = raw;
  else {
    uint32_t bits;
    std::memcpy(&bits, &raw, sizeof bits);
    records_f = table[bits % 10];
  }
  putf(file, 64, records_f);
  // Data area of zeros, then the details area.
  const int64_t first = (count - 1) / 128 + 3;
  // (A count below 1 puts the area at or before the header: it is read
  // from wherever it falls.)
  if (first > 2) file.resize(static_cast<size_t>(512 * (first - 1)), 0);
  file.insert(file.end(), in.rest(), in.rest() + area);
  memory.set(file.data(), file.size());
  zel_fuzz::DescriptorCheck descriptors;

  Details want;
  const int want_status = expected_details(file, count, rounded(records_f), want);

  zel::DacFile f;
  const int status = f.open_read(memory.path());
  if (status != want_status) std::fprintf(stderr, "open: %d, expected %d\n", status, want_status);
  check(status == want_status, "open status");
  if (status == 0) {
    check(f.detail_count() == static_cast<int>(want.size()), "detail count");
    for (int i = 0; i < f.detail_count(); ++i) {
      check(want[size_t(i)].first == f.detail_keyword(i), "detail keyword");
      check(want[size_t(i)].second == f.detail_value(i), "detail value");
    }
  }
  f.close();

  char date[121], xl[25], xn[29], yl[25], yn[29];
  int npts = 0;
  double start = 0, rate = 0;
  const int read = zel_dac_read(memory.path(), &npts, &start, &rate, date, xl, xn, yl, yn);
  check(read == want_status, "zel_dac_read status");
  if (read == 0) {
    std::string d = "Unknown";
    for (const auto &kv : want)
      if (kv.first == "DATE") {
        d = kv.second;
        break;
      }
    check(d == date, "date detail");
  }
  check(zel_dac_sniff(memory.path()) == (want_status == 0), "sniff");
  return 0;
}
