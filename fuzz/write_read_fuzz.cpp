// Write, then read back: a geometry (channels, points, interval, value type
// from QEN_KZEL_RPC_FLOAT, frames per group from QEN_ZEL_FRAMESPERGROUP)
// and samples taken from the fuzz input are written through
// rpc3file_output or zel_rpc_create/putchannel/writeclose, or through
// zel_dac_write, into an in-memory file and read back, and every value is
// compared exactly with what the format's rules give:
//  - RPC III floats and DAC samples: each value is (float)sample;
//  - RPC III 16-bit integers: scale = max |x| / 32752 over the samples
//    stored, stored = trunc(x / scale) held to +/-32752, and the value read
//    is stored x SCALE, SCALE being the scale as read from its "%20.12E"
//    text; so |read - x| < one scale step;
//  - frame layout: F = 256, 512 or 1024 by the announced count, K = 2048 / F
//    or (variable set) its integer part when 1 or 4, else 2; every channel
//    has whole frames, the last sample repeated to their end; the file is
//    header + groups x CH x F x K x B bytes.
// Any mismatch aborts.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "fuzz/memory_file.h"
#include "zel.h"

namespace {

void check(bool ok, const char *what) {
  if (!ok) {
    std::fprintf(stderr, "check failed: %s\n", what);
    std::abort();
  }
}

bool same(double a, double b) { return (std::isnan(a) && std::isnan(b)) || a == b; }

// Values read against values expected; the first difference is printed.
void check_values(int channel, const std::vector<double> &got, const std::vector<double> &want,
                  const char *what) {
  for (size_t i = 0; i < got.size(); ++i)
    if (!same(got[i], want[i])) {
      std::fprintf(stderr, "channel %d, point %zu: read %a, expected %a\n", channel, i, got[i], want[i]);
      check(false, what);
    }
}

// (float)x with IEEE rounding; beyond the float range an infinity.
double as_float(double x) { return static_cast<double>(static_cast<float>(x)); }

std::string cut(const std::string &s, size_t n) { return s.substr(0, n); }
std::string rstrip(std::string s) {
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

struct Channel {
  bool set = false;
  std::vector<double> samples; // as given to the writer
  std::string description, units;
};

struct Plan {
  int channels = 1, announced = 1;
  double dt = 0.01;
  bool floating = false;
  int frames_per_group_env = -1; // index into kFpg, -1: unset
  std::vector<Channel> ch;
};

const char *const kFpg[] = {"1", "2", "4", "3", "0", "-1", "4.9", "1e0", " 4", "abc", "", "8", "1.99"};
constexpr int kFpgCount = sizeof kFpg / sizeof kFpg[0];

// Samples cycling over the remaining input bytes read as doubles (zeros
// when fewer than 8 bytes are left); int16 files take finite samples only.
std::vector<double> samples(zel_fuzz::Input &in, int n, bool finite_only, const uint8_t *pool,
                            size_t pool_size) {
  std::vector<double> v(size_t(n), 0.0);
  const size_t count = pool_size / 8;
  if (count == 0) return v;
  const size_t offset = size_t(in.range(0, int64_t(count) - 1));
  const int style = int(in.range(0, 2));
  for (int i = 0; i < n; ++i) {
    double x;
    std::memcpy(&x, pool + 8 * ((offset + size_t(i)) % count), 8);
    if (style == 1) { // moderate magnitudes: the low bits as an integer
      int32_t k;
      std::memcpy(&k, &x, 4);
      x = k / 64.0;
    } else if (style == 2) {
      x = std::ldexp(std::fmod(x, 1.0), i % 40 - 20);
    }
    if (finite_only && !std::isfinite(x)) x = 0.0;
    v[size_t(i)] = x;
  }
  return v;
}

// ---- RPC III ----

struct Geometry {
  int64_t frame, k, group, frames, groups, points;
};

Geometry geometry(const Plan &p) {
  Geometry g;
  const int64_t n = p.announced < 0 ? 0 : p.announced;
  g.frame = n <= 256 ? 256 : n <= 512 ? 512 : 1024;
  g.k = 2048 / g.frame;
  if (p.frames_per_group_env >= 0) {
    const double t = std::trunc(std::strtod(kFpg[p.frames_per_group_env], nullptr));
    g.k = t == 1.0 ? 1 : t == 4.0 ? 4 : 2;
  }
  g.group = g.frame * g.k;
  g.frames = (n - 1) / g.frame + 1;
  g.groups = (g.frames - 1) / g.k + 1;
  g.points = g.frames * g.frame;
  return g;
}

// The values a reader must deliver for channel c: whole frames.
std::vector<double> expected_rpc(const Plan &p, const Geometry &g, const Channel &c) {
  std::vector<double> out(size_t(g.points), 0.0);
  if (!c.set) return out;
  const size_t n = std::min<size_t>(c.samples.size(), size_t(g.points));
  double largest = 0.0;
  for (size_t i = 0; i < n; ++i) largest = std::fmax(largest, std::fabs(c.samples[i]));
  const double scale = largest / 32752.0;
  char text[64];
  std::snprintf(text, sizeof text, "%20.12E", scale);
  const double read_scale = std::strtod(text, nullptr);
  for (size_t i = 0; i < size_t(g.points); ++i) {
    const double x = c.samples[i < n ? i : n - 1];
    if (p.floating) {
      out[i] = as_float(x);
      continue;
    }
    const double q = std::trunc(x / (scale == 0.0 ? 1.0 : scale));
    const double stored = std::fmax(-32752.0, std::fmin(32752.0, q));
    out[i] = stored * read_scale;
    // The bounds of the rules: less than one step away, on the side of zero.
    // The SCALE text keeps 13 digits: stored x SCALE may pass them by up to
    // 32752 x 5e-13 of a step (and overflow for samples within 2e-13 of the
    // largest double). Away from subnormal scales only.
    if (scale > 1e-300 && std::isfinite(out[i])) {
      check(std::fabs(out[i] - x) < scale * (1 + 2e-8), "a value lies within one scale step");
      check(std::fabs(out[i]) <= std::fabs(x) + scale * 2e-8, "a value lies on the side of zero");
    }
  }
  return out;
}

void write_rpc(const Plan &p, const char *path, bool through_api) {
  if (through_api) {
    int status = -1;
    void *h = zel_rpc_create(path, p.channels, p.announced, p.dt, &status);
    check(h && status == 0, "zel_rpc_create");
    for (int c = 1; c <= p.channels; ++c) {
      const Channel &ch = p.ch[size_t(c - 1)];
      if (!ch.set) continue;
      check(zel_rpc_putchannel(h, c, int(ch.samples.size()), ch.samples.data(), ch.description.c_str(),
                               ch.units.c_str()) == 0,
            "zel_rpc_putchannel");
    }
    check(zel_rpc_writeclose(h) == 0, "zel_rpc_writeclose");
    return;
  }
  rpc3file_output out(path, p.channels, p.announced, p.dt);
  check(out.getStatus() == 0, "rpc3file_output");
  for (int c = p.channels; c >= 1; --c) { // any order
    const Channel &ch = p.ch[size_t(c - 1)];
    if (!ch.set) continue;
    check(out.setChannel(c, int(ch.samples.size()), ch.samples.data(), ch.description.c_str(),
                         ch.units.c_str()) == 0,
          "setChannel");
  }
}

void read_rpc(const Plan &p, const char *path, bool through_api, int budget) {
  const Geometry g = geometry(p);
  const int64_t params = 6 * int64_t(p.channels) + 22, blocks = (params - 1) / 4 + 1;
  std::vector<std::vector<double>> want;
  for (const Channel &c : p.ch) want.push_back(expected_rpc(p, g, c));
  std::vector<double> got(size_t(g.points));
  if (through_api) {
    int channels = 0, points = 0, status = -1;
    double dt = 0;
    void *h = zel_rpc_open(path, &channels, &points, &dt, nullptr, &status);
    check(h && status == 0, "zel_rpc_open");
    check(channels == p.channels && points == g.points, "zel_rpc_open counts");
    char text[64];
    std::snprintf(text, sizeof text, "%20.12E", p.dt);
    check(dt == std::strtod(text, nullptr), "DELTA_T");
    for (int c = 1; c <= p.channels; ++c) {
      // Sequential reads in pieces of varying size.
      int64_t at = 0;
      for (int piece = 1; at < g.points; piece = piece * 3 + 1) {
        const int n = int(std::min<int64_t>(piece, g.points - at));
        check(zel_rpc_getnpts(h, c, n, got.data() + at) == n, "zel_rpc_getnpts");
        at += n;
      }
      check_values(c, got, want[size_t(c - 1)], "RPC III value (exported)");
      char desc[96], units[96];
      check(zel_rpc_attributes(h, c, desc, units) == 0, "zel_rpc_attributes");
      const Channel &ch = p.ch[size_t(c - 1)];
      if (ch.set) {
        check(cut(ch.description.c_str(), 95) == desc && cut(ch.units.c_str(), 95) == units, "channel texts");
      }
    }
    check(zel_rpc_readclose(h) == 0, "zel_rpc_readclose");
  } else {
    rpc3file_input in(path);
    in.initRead(budget);
    check(in.getStatus() == 0, "the written file reads with status 0");
    int channels = 0, points = 0;
    double dt = 0;
    in.getInfo(channels, points, dt, nullptr);
    check(channels == p.channels && points == g.points, "getInfo counts");
    const rpc3_header &h = in.getHeader();
    check(h.pts_per_frame == g.frame && h.pts_per_group == g.group && h.frames == g.frames, "frame layout");
    check(h.num_header_blocks == blocks && h.num_params == params, "header size");
    check(std::strcmp(h.data_type, p.floating ? "FLOATING_POINT" : "SHORT_INTEGER") == 0, "DATA_TYPE");
    for (int c = 1; c <= p.channels; ++c) {
      check(in.getData(c, got.data()) == 0, "getData");
      check_values(c, got, want[size_t(c - 1)], "RPC III value");
    }
  }
}

// ---- DAC ----

void write_read_dac(zel_fuzz::Input &in, const char *path, const std::vector<double> &x) {
  const int n = int(x.size());
  double rate = in.take<double>();
  if (in.range(0, 1)) rate = double(in.range(1, 100000)) / 8.0;
  const double start = in.range(0, 1) ? in.take<double>() : double(in.range(-1000, 1000)) / 4;
  const std::string x_note = in.text(40), y_label = in.text(30), y_note = in.text(40);
  const bool null_note = in.range(0, 3) == 0;
  const int written = zel_dac_write(path, n, start, rate, x.data(), x_note.c_str(), y_label.c_str(),
                                    null_note ? nullptr : y_note.c_str());
  if (!(rate > 0.0) && n != 1) {
    check(written == ZEL_DAC_BAD_ARGUMENTS, "zel_dac_write refuses a rate that is not positive");
    return;
  }
  check(written == 0, "zel_dac_write");
  const float interval = rate > 0.0 ? static_cast<float>(1.0 / rate) : 1.0f;
  const int want_status = interval > 0.0f ? 0 : ZEL_DAC_BAD_RATE;

  int npts = 0;
  double t0 = 0, r = 0;
  char date[121], xl[25], xn[29], yl[25], yn[29];
  check(zel_dac_read(path, &npts, &t0, &r, date, xl, xn, yl, yn) == want_status, "zel_dac_read");
  check(npts == n, "sample count");
  check(same(t0, as_float(start)), "start time");
  check(want_status ? r == 0.0 : r == 1.0 / static_cast<double>(interval), "rate");
  check(std::string(xl) == "Time", "x label");
  check(rstrip(cut(y_label.c_str(), 24)) == yl, "y label");
  check(rstrip(cut(x_note.c_str(), 28)) == xn, "x note");
  check(rstrip(null_note ? std::string() : cut(y_note.c_str(), 28)) == yn, "y note");
  if (want_status) return;
  std::vector<double> got(static_cast<size_t>(n));
  check(zel_dac_data(path, &npts, &t0, &r, got.data()) == 0, "zel_dac_data");
  std::vector<double> want(x.size());
  for (size_t i = 0; i < x.size(); ++i) want[i] = as_float(x[i]);
  check_values(1, got, want, "DAC sample");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static zel_fuzz::MemoryFile file("write-read");
  // The plan reads the first half of the input; the samples cycle over the
  // second half.
  zel_fuzz::Input pi(data, size / 2);
  const uint8_t *pool = data + size / 2;
  const size_t pool_size = size - size / 2;
  const int target = int(pi.range(0, 2)); // 0 class, 1 exported functions, 2 DAC
  file.clear();
  zel_fuzz::DescriptorCheck descriptors;

  if (target == 2) {
    const int n = int(pi.range(0, 1) ? pi.range(1, 300) : pi.range(1, 5000));
    const std::vector<double> x = samples(pi, n, false, pool, pool_size);
    write_read_dac(pi, file.path(), x);
    return 0;
  }

  Plan p;
  p.channels = int(pi.range(1, 4));
  const int choice = int(pi.range(0, 3));
  p.announced = choice == 0 ? int(pi.range(-300, 300)) : choice == 1 ? int(pi.range(250, 1100)) : int(pi.range(1, 4500));
  p.dt = pi.range(0, 1) ? double(pi.range(1, 1000)) / 1024 : pi.take<double>();
  if (!std::isfinite(p.dt) || p.dt == 0.0) p.dt = 0.001;
  p.floating = pi.range(0, 1) == 1;
  p.frames_per_group_env = int(pi.range(-1, kFpgCount - 1));
  p.frames_per_group_env = pi.range(0, 2) == 0 ? -1 : p.frames_per_group_env;
  if (p.floating) ::setenv("QEN_KZEL_RPC_FLOAT", pi.range(0, 1) ? "" : "1", 1);
  else ::unsetenv("QEN_KZEL_RPC_FLOAT");
  if (p.frames_per_group_env >= 0) ::setenv("QEN_ZEL_FRAMESPERGROUP", kFpg[p.frames_per_group_env], 1);
  else ::unsetenv("QEN_ZEL_FRAMESPERGROUP");
  ::unsetenv("QEN_ZEL_NUM_REPEATS");
  const Geometry g = geometry(p);
  for (int c = 0; c < p.channels; ++c) {
    Channel ch;
    ch.set = pi.range(0, 5) != 0;
    // Fewer, as many as, or more samples than the channel has points.
    const int64_t n = pi.range(0, 2) == 0 ? pi.range(1, g.points + 300) : std::max<int64_t>(1, p.announced);
    ch.samples = samples(pi, int(n), !p.floating, pool, pool_size);
    ch.description = pi.text(120);
    ch.units = pi.text(100);
    p.ch.push_back(std::move(ch));
  }
  const bool api_writes = target == 1;
  write_rpc(p, file.path(), api_writes);
  const int64_t blocks = (6 * int64_t(p.channels) + 22 - 1) / 4 + 1;
  check(int64_t(file.bytes().size()) == blocks * 512 + g.groups * p.channels * g.group * (p.floating ? 4 : 2),
        "file size");
  const int budgets[] = {0, 1, 64};
  read_rpc(p, file.path(), !api_writes, budgets[pi.range(0, 2)]);
  return 0;
}
