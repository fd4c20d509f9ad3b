// Any bytes as an RPC III file, through rpc3file_input with the budgets 0,
// 1 and 64 MiB and through zel_rpc_*: no crash, leak, open file or undue
// allocation. Every budget gives the same values; a sequential read, windows
// (centre floor(t / dt + 1e-8) held to +/-4e15) and zel_rpc_data agree with
// the whole-channel read; sniff accepts what opens.
#include "fuzz/fuzz.h"
#include "rpc/rpc3_support.h"

using namespace zel_fuzz;
constexpr int kMaxChannels = 6, kMaxWhole = 1 << 16, kChunk = 40;

std::vector<Bytes> zel_fuzz::seeds() {
  zel_test::Rpc3File plain, groups;
  groups.frame = 64, groups.group = 256, groups.frames = 9, groups.channels = 3, groups.scales = {0.5, 2.0, 1e-3};
  groups.floating = groups.big_endian = true;
  for (auto *f : {&plain, &groups}) f->standard_records();
  groups.set("DESC.CHAN_9", "beyond");
  return {plain.image(), groups.image()};
}

// Channels read whole (empty when too long), counts first.
std::vector<std::vector<double>> read_class(const char *path, int budget) {
  rpc3file_input in(path);
  in.initRead(budget);
  int channels = 0, points = 0;
  double dt = 0;
  in.getInfo(channels, points, dt, nullptr);
  check(channels >= 0 && points >= 0 && (in.validFile() || channels + points == 0), "counts");
  std::vector<std::vector<double>> out{{double(channels), double(points)}};
  for (int c = 0; c <= std::min(channels, kMaxChannels) + 1; ++c) {
    const bool inside = c >= 1 && c <= channels, whole = inside && points <= kMaxWhole;
    char desc[96], units[96];
    std::vector<double> seq(kChunk + 1, 4242.0), all(size_t(whole ? points : 0) + 1, 777.0), t(41), v(41);
    check((in.getAttributes(c, desc, units) == 0) == inside, "getAttributes takes the file's channels");
    check(in.getData(c, kChunk, seq.data()) == (inside ? kChunk : 0) && seq[kChunk] == 4242.0, "getData(count)");
    check(!whole || (in.getData(c, all.data()) == 0 && all.back() == 777.0), "getData reads the points only");
    all.pop_back();
    for (size_t i = 0; whole && i < kChunk; ++i) check(same(seq[i], i < all.size() ? all[i] : 0.0), "sequential read");
    const double times[] = {3.7 * dt, -2.0 * dt, (points - 3) * dt, 1e300, -1e9, NAN};
    const int halves[] = {2, 20, 3, 1, 2, 0}; // inside, before, one past the end, far, NaN
    for (int k = 0; k < 6; ++k) {
      check(in.getWindow(c, times[k], t.data(), v.data(), halves[k]) == (inside ? 0 : ZEL_RPC_CHANNEL_RANGE),
            "getWindow");
      const double centre = std::floor(times[k] / dt + 1e-8);
      if (whole && points > 0 && std::isfinite(dt) && dt != 0.0)
        check_window(t, v, std::isnan(centre) ? 0.0 : std::fmin(std::fmax(centre, -4e15), 4e15), halves[k], 0.0, dt,
                     all);
    }
    if (inside) out.push_back(std::move(all));
  }
  return out;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const char *path = memory_file(data, size);
  DescriptorCheck descriptors;
  const std::vector<std::vector<double>> first = read_class(path, 0);
  for (int budget : {1, 64}) {
    const auto r = read_class(path, budget);
    check(std::equal(first.begin(), first.end(), r.begin(), r.end(), [](auto &a, auto &b) { return same(a, b); }),
          "budgets agree");
  }
  int channels = -1, points = -1, status = -1, n = -1;
  double dt = -1, d = -1;
  void *h = zel_rpc_open(path, &channels, &points, &dt, nullptr, &status);
  check(h && (zel_rpc_sniff(path) == 1) == (status == 0), "sniff accepts what opens");
  check(status ? channels + points == 0 : same(first[0], {double(channels), double(points)}), "open counts");
  std::vector<double> v(kChunk), t(9), w(9);
  for (int c = 0; c <= std::min(channels, kMaxChannels) + 1; ++c) {
    zel_rpc_getnpts(h, c, kChunk, v.data());
    zel_rpc_getwindow(h, c, 2.5 * dt, 4, t.data(), w.data());
    if (status || c < 1 || c > std::min(channels, kMaxChannels) || points > kMaxWhole) continue;
    std::vector<double> all(static_cast<size_t>(points));
    check(zel_rpc_data(path, c, &n, &d, all.data()) == (points ? 0 : ZEL_RPC_NO_DATA) && n == points, "zel_rpc_data");
    check(same(all, first[size_t(c)]), "zel_rpc_data reads what the handle reads");
  }
  check(zel_rpc_readclose(h) == 0, "zel_rpc_readclose");
  return 0;
}
