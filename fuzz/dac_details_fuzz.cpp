// A DAC file's extra details (the input: point count, a choice of the
// header's record count, a float, the area), behind a header and data built
// here, against this reading of the layout: groups of 13 records from record
// (count - 1) / 128 + 3, a directory of 48 ten-byte entries, then 12 records
// of four 128-byte slots; entry j names slot j; blank keywords and values
// skipped; keywords in upper case, no trailing blanks; a record the file
// lacks ends the open with 16, one before its start with 11; the record
// count is rounded (+ 0.5, truncated, NaN 0); zel_dac_read's date is the
// first "DATE" detail, else "Unknown".
#include "dac/dac_file.h"
#include "dac/dac_test_support.h"
#include "fuzz/fuzz.h"

using namespace zel_fuzz;
using Details = std::vector<std::pair<std::string, std::string>>;

std::vector<Bytes> zel_fuzz::seeds() {
  dac_test::DacBuilder d;
  d.samples = dac_test::ramp(200);
  for (int i = 0; i < 53; ++i)
    d.details.push_back({"key" + std::to_string(i), i == 9 ? "" : "value " + std::to_string(i)});
  d.details.push_back({"date", "Sat Dec  5 10:11:12 2026"});
  const Bytes file = d.build();
  Bytes b = Encoder().range(200, -300).range(0, 0).raw(0.0f).b;
  return {(b.insert(b.end(), file.begin() + 512 * (d.first_detail_record() - 1), file.end()), b)};
}

std::string text(const unsigned char *p, size_t n) {
  std::string s(reinterpret_cast<const char *>(p), std::find(p, p + n, 0) - p);
  return s.erase(s.find_last_not_of(' ') + 1);
}

int expected(const Bytes &file, int64_t first, float count, Details &out) {
  const double r = std::isnan(count) ? 0.0 : std::trunc(std::clamp(count + 0.5, -2147483648.0, 2147483647.0));
  const auto record = [&](int64_t n, const unsigned char *&p) {
    p = file.data() + 512 * std::max<int64_t>(n - 1, 0);
    return n < 1 ? ZEL_DAC_SEEK : 512 * n > int64_t(file.size()) ? ZEL_DAC_DETAILS_READ : 0;
  };
  for (int64_t g = 0; r != 0.0 && g < int64_t(r - 1) / 13 + 1; ++g) {
    const unsigned char *dir = nullptr, *slots = nullptr;
    if (const int s = record(first + 13 * g, dir)) return s;
    for (int j = 0; j < 48; ++j) {
      std::string key = text(dir + 10 * j, 8);
      if (key.empty()) continue;
      if (const int s = record(first + 13 * g + 1 + j / 4, slots)) return s;
      for (char &c : key) c = char(std::toupper(static_cast<unsigned char>(c)));
      if (!text(slots + 128 * (j % 4) + 8, 120).empty()) out.emplace_back(key, text(slots + 128 * (j % 4) + 8, 120));
    }
  }
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  Input in{data, size};
  const int64_t count = in.range(-300, 700), choice = in.range(0, 2), first = (count - 1) / 128 + 3;
  const float raw = in.take<float>(),
              hostile[] = {0.0f, -1.0f, -11.0f, -12.0f, 1e30f, INFINITY, NAN, 13.0f, 14.0f, 26.4f};
  uint32_t bits;
  std::memcpy(&bits, &raw, 4);
  const float records = choice == 0 ? float((in.n + 511) / 512) : choice == 1 ? raw : hostile[bits % 10];
  // Header (revision 2, no statistics, interval 0.5), zeros, the area (read
  // from wherever it falls: a count below 1 puts it at the header).
  Bytes file(size_t(512 * std::max<int64_t>(first - 1, 1)), 0);
  const int32_t count32 = int32_t(count);
  for (auto [at, v] : {std::pair{0, float(count)}, {4, 0.5f}, {12, 2.0f}, {64, records}})
    std::memcpy(&file[size_t(at)], &v, 4);
  for (auto [at, v] : {std::pair{128, int16_t(1)}, {130, int16_t(3)}, {190, int16_t(2)}})
    std::memcpy(&file[size_t(at)], &v, 2);
  std::memcpy(&file[124], &count32, 4);
  file.insert(file.end(), in.p, in.p + in.n);
  const char *path = memory_file(file.data(), file.size());
  DescriptorCheck descriptors;
  Details want;
  const int status = expected(file, first, records, want);
  zel::DacFile f;
  check(f.open_read(path) == status && (status || f.detail_count() == int(want.size())),
        "open status and detail count");
  for (int i = 0; !status && i < f.detail_count(); ++i)
    check(want[size_t(i)] == Details::value_type(f.detail_keyword(i), f.detail_value(i)), "detail");
  f.close();
  char date[121], xl[25], xn[29], yl[25], yn[29];
  int npts = 0;
  double start = 0, rate = 0;
  check(zel_dac_read(path, &npts, &start, &rate, date, xl, xn, yl, yn) == status, "zel_dac_read status");
  const auto dated = std::find_if(want.begin(), want.end(), [](auto &kv) { return kv.first == "DATE"; });
  check(status || (dated == want.end() ? "Unknown" : dated->second) == date, "date detail");
  check(zel_dac_sniff(path) == (status == 0), "sniff");
  return 0;
}
