// Write, then read back: channels, announced points, interval, value type
// (QEN_KZEL_RPC_FLOAT), frames per group (QEN_ZEL_FRAMESPERGROUP) and
// samples from the input (plan in the first half, samples cycling over the
// second), written by rpc3file_output and read by zel_rpc_* in pieces, or
// the other way round, or as DAC. Every value exactly as the rules give:
//  - RPC III floats and DAC samples: (float)x;
//  - RPC III 16-bit: scale = max |x| / 32752 over the samples stored, stored
//    = trunc(x / scale) held to +/-32752, read = stored x SCALE as read from
//    its "%20.12E" text;
//  - F = 256, 512 or 1024 by the announced count, K = 2048 / F or (variable
//    set) its integer part when 1 or 4, else 2; whole frames, the last
//    sample repeated; the file holds header + groups x CH x F x K x B bytes.
#include "fuzz/fuzz.h"
#include "zel.h"

using namespace zel_fuzz;
const int kBudgets[] = {0, 1, 64};
const char *const kFpg[] = {"1", "2", "4", "3", "0", "-1", "4.9", "1e0", " 4", "abc", "", "8", "1.99"};

std::vector<Bytes> zel_fuzz::seeds() {
  std::vector<Bytes> out;
  const auto seed = [&](Encoder plan, int channels) { // the plan, 64 samples
    for (int c = 0; c < channels; ++c) plan.range(1, 0).range(1, 0).range(c, 0).range(1, 0).text("").text("");
    plan.range(0, 0).b.resize(512, 0);
    for (int i = 0; i < 64; ++i) plan.raw((i % 17 - 8) * 0.375 + i * 1e-3);
    out.push_back(plan.b);
  };
  seed(Encoder()
           .range(1, 0)
           .range(3, 1)
           .range(1, 0)
           .range(700, 250)
           .range(1, 0)
           .range(5, 1)
           .range(1, 0)
           .range(2, -1)
           .range(1, 0)
           .range(0, 0),
       3);
  seed(Encoder()
           .range(2, 0)
           .range(1, 0)
           .range(200, 1)
           .range(0, 0)
           .range(1, 0)
           .range(1, 0)
           .range(800, 1)
           .range(0, 0)
           .range(0, -1000),
       0);
  return out;
}

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

void check_values(int channel, const std::vector<double> &got, const std::vector<double> &want) {
  for (size_t i = 0; i < got.size(); ++i)
    if (!same(got[i], want[i]))
      std::fprintf(stderr, "channel %d, point %zu: read %a, expected %a\n", channel, i, got[i], want[i]), std::abort();
}

std::vector<double> expected(const std::vector<double> &x, bool floating, int64_t points) {
  std::vector<double> out(size_t(points), 0.0);
  const size_t n = std::min(x.size(), out.size());
  double largest = 0.0;
  for (size_t i = 0; i < n; ++i) largest = std::fmax(largest, std::fabs(x[i]));
  const double scale = largest / 32752.0;
  char text[64];
  std::snprintf(text, sizeof text, "%20.12E", scale);
  for (size_t i = 0; n && i < out.size(); ++i) {
    const double xi = x[std::min(i, n - 1)];
    out[i] = floating ? double(float(xi))
                      : std::clamp(std::trunc(xi / (scale == 0.0 ? 1.0 : scale)), -32752.0, 32752.0) *
                            std::strtod(text, nullptr);
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
  int npts = 0;
  double t0 = 0, r = 0;
  std::vector<double> got(x.size()), want(x.size());
  const int status = written ? 0 : zel_dac_data(path, &npts, &t0, &r, got.data());
  check(written || (status == (interval > 0.0f ? 0 : ZEL_DAC_BAD_RATE) && npts == n && same(t0, double(float(start)))),
        "zel_dac_data");
  check(written || r == (status ? 0.0 : 1.0 / double(interval)), "rate");
  std::transform(x.begin(), x.end(), want.begin(), [](double v) { return double(float(v)); });
  if (!written && !status) check_values(1, got, want);
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
  const double t = fpg >= 0 ? std::trunc(std::strtod(kFpg[fpg], nullptr)) : 0.0;
  const int64_t k = fpg < 0 ? 2048 / frame : t == 1.0 ? 1 : t == 4.0 ? 4 : 2;
  const int64_t frames = (n - 1) / frame + 1, points = frames * frame, blocks = (6 * channels + 21) / 4 + 1;
  std::vector<std::vector<double>> x, want;
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
  int read_channels = 0, read_points = 0, status = -1;
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
  check(int64_t(std::filesystem::file_size(path)) ==
            blocks * 512 + ((frames - 1) / k + 1) * channels * frame * k * (floating ? 4 : 2),
        "file size");
  std::vector<double> got(static_cast<size_t>(points));
  double read_dt = 0;
  char dt_text[64];
  std::snprintf(dt_text, sizeof dt_text, "%20.12E", dt);
  if (target == 1) {
    rpc3file_input in(path);
    in.initRead(kBudgets[pi.range(0, 2)]);
    in.getInfo(read_channels, read_points, read_dt, nullptr);
    const rpc3_header &h = in.getHeader();
    check(in.getStatus() == 0 && h.pts_per_frame == frame && h.pts_per_group == frame * k && h.frames == frames,
          "frame layout");
    check(std::strcmp(h.data_type, floating ? "FLOATING_POINT" : "SHORT_INTEGER") == 0, "DATA_TYPE");
    for (int c = 1; c <= channels; ++c)
      check(in.getData(c, got.data()) == 0, "getData"), check_values(c, got, want[c - 1]);
  } else {
    void *h = zel_rpc_open(path, &read_channels, &read_points, &read_dt, nullptr, &status);
    for (int c = 1; c <= channels; check_values(c, got, want[c - 1]), ++c)
      for (int64_t at = 0, piece = 1; at < points;
           at += piece, piece = std::min(piece * 3 + 1, points - at)) // growing pieces
        check(zel_rpc_getnpts(h, c, int(piece), got.data() + at) == int(piece), "zel_rpc_getnpts");
    check(h && status == 0 && zel_rpc_readclose(h) == 0, "zel_rpc_open, zel_rpc_readclose");
  }
  check(read_channels == channels && read_points == points && read_dt == std::strtod(dt_text, nullptr),
        "counts and DELTA_T");
  return 0;
}
