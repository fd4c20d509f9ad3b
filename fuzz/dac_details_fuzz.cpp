// A DAC file's extra details (the input: point count, a choice of the header's record count, a float, the area), behind
// a header and data built here: the open ends with 0, or with 11 or 16 for a record before the area or beyond the file;
// the details are upper-case keywords and values without trailing blanks, none empty; zel_dac_read agrees on the status
// and gives the first "DATE" detail as the date, else "Unknown"; sniff accepts what opens. The layout itself is proven
// byte for byte by the DAC tests.
#include "dac/dac_file.h"
#include "dac/dac_test_support.h"
#include "fuzz/fuzz.h"

using namespace zel_fuzz;

std::vector<Bytes> zel_fuzz::seeds() {
  dac_test::DacBuilder d;
  d.samples = dac_test::ramp(200);
  for (int i = 0; i < 53; ++i)
    d.details.push_back({"key" + std::to_string(i), i == 9 ? "" : "value " + std::to_string(i)});
  d.details.push_back({"date", "Sat Dec  5 10:11:12 2026"});
  const Bytes file = d.build();
  Bytes b = bytes_of(uint32_t(500), uint32_t(0), 0.0f); // 200 points, the area's own record count
  return {(b.insert(b.end(), file.begin() + 512 * (d.first_detail_record() - 1), file.end()), b)};
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  Input in{data, size};
  const int64_t count = in.range(-300, 700), choice = in.range(0, 2), first = (count - 1) / 128 + 3;
  const float raw = in.take<float>(),
              hostile[] = {0.0f, -1.0f, -11.0f, -12.0f, 1e30f, INFINITY, NAN, 13.0f, 14.0f, 26.4f};
  uint32_t bits;
  std::memcpy(&bits, &raw, 4);
  const float records = choice == 0 ? float((in.n + 511) / 512) : choice == 1 ? raw : hostile[bits % 10];
  // Header (revision 2, no statistics, interval 0.5), zeros, the area (read from wherever it falls: a count below 1
  // puts it at the header).
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
  zel::DacFile f;
  const int status = f.open_read(path);
  check(status == 0 || status == ZEL_DAC_SEEK || status == ZEL_DAC_DETAILS_READ, "open status");
  std::string date = "Unknown";
  for (int i = 0, dated = 0; !status && i < f.detail_count(); ++i) {
    const std::string key = f.detail_keyword(i), value = f.detail_value(i);
    check(!key.empty() && key.back() != ' ' && std::none_of(key.begin(), key.end(), ::islower) && !value.empty() &&
              value.back() != ' ',
          "detail texts");
    if (key == "DATE" && !dated++) date = value;
  }
  f.close();
  char text[121], xl[25], xn[29], yl[25], yn[29];
  int npts = 0;
  double start = 0, rate = 0;
  check(zel_dac_read(path, &npts, &start, &rate, text, xl, xn, yl, yn) == status, "zel_dac_read status");
  check(status || date == text, "date detail");
  check(zel_dac_sniff(path) == (status == 0), "sniff");
  return 0;
}
