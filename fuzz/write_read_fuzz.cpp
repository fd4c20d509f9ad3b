// Write with settings and samples from the input (plan in the first half, samples from the second) through the class,
// zel_rpc_* or as DAC, then read back by every read call (fuzz.h). Expected: floats (float)x; 16-bit trunc(x / scale)
// held to +/-32752 times SCALE as read from its "%20.12E" text, scale = max |x| / 32752; frames of 256, 512 or 1024 by
// the announced count, the last sample repeated.
#include "fuzz/fuzz.h"
#include "rpc/rpc3_support.h"

using namespace zel_fuzz;
const char *const kFpg[] = {"1", "2", "4", "3", "0", "-1", "4.9", "1e0", " 4", "abc", "", "8", "1.99"};

// Plans (values less their range's lower bound) and 64 samples: three float channels of 700 points, 4 frames per group;
// two 16-bit of 200; a DAC file.
std::vector<Bytes> zel_fuzz::seeds() {
  std::vector<Bytes> out;
  for (const std::vector<uint32_t> &plan :
       {std::vector<uint32_t>{1, 2, 1, 450, 1, 4, 1, 3, 1, 0, 1, 1, 0, 1, 0, 0, 1, 1, 1, 1, 0, 0, 1, 1, 2, 1, 0, 0, 0},
        std::vector<uint32_t>{0, 1, 0, 500, 1, 4, 0, 0, 0, 1, 1, 0, 0, 0, 0, 1, 1, 5, 1, 0, 0},
        std::vector<uint32_t>{2, 1, 199, 0, 1, 1, 799, 0, 1000}}) {
    std::vector<double> samples(64);
    for (int i = 0; i < 64; ++i) samples[size_t(i)] = (i % 17 - 8) * 0.375 + i * 1e-3;
    out.emplace_back(1024, 0);
    std::memcpy(out.back().data(), plan.data(), 4 * plan.size());
    std::memcpy(out.back().data() + 512, samples.data(), 512);
  }
  return out;
}

// n samples from the pool, from an offset the input chooses, as they are, as small multiples of 1/64 or as small
// fractions at scattered exponents.
std::vector<double> samples(Input &in, int n, bool finite_only, const uint8_t *pool, size_t pool_size) {
  std::vector<double> v(size_t(n), 0.0);
  const size_t count = pool_size / 8, offset = count ? size_t(in.range(0, int64_t(count) - 1)) : 0;
  const int64_t style = count ? in.range(0, 2) : 0;
  for (int i = 0; count && i < n; ++i) {
    double x;
    int32_t k;
    std::memcpy(&x, pool + 8 * ((offset + size_t(i)) % count), 8);
    std::memcpy(&k, &x, 4);
    x = style == 1 ? k / 64.0 : style == 2 ? std::ldexp(std::fmod(x, 1.0), i % 40 - 20) : x;
    v[size_t(i)] = finite_only && !std::isfinite(x) ? 0.0 : x;
  }
  return v;
}

// What a channel of these samples reads back as, in a file of points per channel.
std::vector<double> expected(const std::vector<double> &x, bool floating, int64_t points) {
  std::vector<double> out(size_t(points), 0.0);
  const size_t n = std::min(x.size(), out.size());
  double largest = 0.0;
  for (size_t i = 0; i < n; ++i) largest = std::fmax(largest, std::fabs(x[i]));
  const double scale = largest / 32752.0, stored = std::strtod(zel_test::Rpc3File::real(scale).c_str(), nullptr);
  for (size_t i = 0; n && i < out.size(); ++i) {
    const double xi = x[std::min(i, n - 1)];
    out[i] = floating ? double(float(xi))
                      : std::clamp(std::trunc(xi / (scale == 0.0 ? 1.0 : scale)), -32752.0, 32752.0) * stored;
  }
  return out;
}

void dac(Input &in, const char *path, const std::vector<double> &x) {
  const double rate = in.range(0, 1) ? double(in.range(1, 100000)) / 8.0 : in.take<double>();
  const double start = in.range(0, 1) ? in.take<double>() : double(in.range(-1000, 1000)) / 4;
  const std::string x_note = in.text(40), y_label = in.text(30), y_note = in.text(40);
  const int n = int(x.size()), written = zel_dac_write(path, n, start, rate, x.data(), x_note.c_str(), y_label.c_str(),
                                                       in.range(0, 3) ? y_note.c_str() : nullptr);
  check(written == (rate > 0.0 || n == 1 ? 0 : ZEL_DAC_BAD_ARGUMENTS), "zel_dac_write");
  const float interval = rate > 0.0 ? float(1.0 / rate) : 1.0f;
  const DacRead r = read_dac(path);
  check(written || (r.status == (interval > 0.0f ? 0 : ZEL_DAC_BAD_RATE) && r.npts == n &&
                    same(r.start, double(float(start))) && r.rate == (r.status ? 0.0 : 1.0 / double(interval))),
        "zel_dac_data: status, count, start and rate");
  check(written || r.status || same(r.samples, expected(x, true, n)), "DAC samples");
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const char *path = memory_file(nullptr, 0);
  Input pi{data, size / 2};
  const int target = int(pi.range(0, 2)); // 0 class writes, 1 zel_rpc_* writes, 2 DAC
  DescriptorCheck descriptors;
  if (target == 2)
    return dac(pi, path,
               samples(pi, int(pi.range(0, 1) ? pi.range(1, 300) : pi.range(1, 5000)), false, data + size / 2,
                       size - size / 2)),
           0;
  const int channels = int(pi.range(1, 4)), choice = int(pi.range(0, 3));
  const int announced = int(choice == 0 ? pi.range(-300, 300) : choice == 1 ? pi.range(250, 1100) : pi.range(1, 4500));
  double dt = pi.range(0, 1) ? double(pi.range(1, 1000)) / 1024 : pi.take<double>();
  dt = std::isfinite(dt) && dt != 0.0 ? dt : 0.001;
  const bool floating = pi.range(0, 1) == 1;
  const int fpg_value = int(pi.range(-1, 12)), fpg = pi.range(0, 2) == 0 ? -1 : fpg_value;
  floating ? ::setenv("QEN_KZEL_RPC_FLOAT", pi.range(0, 1) ? "" : "1", 1) : ::unsetenv("QEN_KZEL_RPC_FLOAT");
  fpg >= 0 ? ::setenv("QEN_ZEL_FRAMESPERGROUP", kFpg[fpg], 1) : ::unsetenv("QEN_ZEL_FRAMESPERGROUP");
  ::unsetenv("QEN_ZEL_NUM_REPEATS");
  const int64_t n = std::max(announced, 0), frame = n <= 256 ? 256 : n <= 512 ? 512 : 1024;
  const int64_t points = ((n - 1) / frame + 1) * frame;
  Channels x, want;
  std::vector<std::string> texts;
  for (int c = 0; c < channels; ++c) {
    const bool set = pi.range(0, 5) != 0;
    const int64_t count =
        pi.range(0, 2) == 0 ? pi.range(1, points + 300) : std::max(1, announced); // fewer, as many, more
    x.push_back(samples(pi, int(count), !floating, data + size / 2, size - size / 2));
    if (!set) x.back().clear();
    want.push_back(expected(x.back(), floating, points));
    texts.push_back(pi.text(120)), texts.push_back(pi.text(100));
  }
  int status = -1;
  const auto put = [&](auto &&write, int c) {
    check(x[c - 1].empty() ||
              write(c, int(x[c - 1].size()), x[c - 1].data(), texts[2 * c - 2].c_str(), texts[2 * c - 1].c_str()) == 0,
          "write a channel");
  };
  if (target == 1) {
    void *h = zel_rpc_create(path, channels, announced, dt, &status);
    for (int c = 1; c <= channels; ++c) put([&](auto... a) { return zel_rpc_putchannel(h, a...); }, c);
    check(h && status == 0 && zel_rpc_writeclose(h) == 0, "zel_rpc_create, zel_rpc_writeclose");
  } else {
    rpc3file_output out(path, channels, announced, dt);
    for (int c = channels; c >= 1; --c) put([&](auto... a) { return out.setChannel(a...); }, c); // any order
  }
  const Channels read = read_rpc(path);
  want.insert(want.begin(), std::vector<double>{double(channels), double(points),
                                                std::strtod(zel_test::Rpc3File::real(dt).c_str(), nullptr)});
  check(same(read, want), "counts, DELTA_T and every value");
  return 0;
}
