// zel demo: a short road-load signal written in every format, read back and
// compared, with a modal export and a plot beside it.
#include "atomic_output.h"
#include "commands.h"
#include "progress.h"
#include "signal_file.h"
#include "selection.h"
#include "signal_write.h"
#include "tool_error.h"

#include <CLI/CLI.hpp>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <random>

namespace zel_tool {

namespace {

namespace fs = std::filesystem;

constexpr double pi = 3.14159265358979323846;
constexpr double rate = 512.0;   // Hz
constexpr int64_t points = 2048; // 4 s, two whole RPC III frames

// A small deterministic noise source (xorshift), so every run writes the
// same samples.
class Noise {
public:
  explicit Noise(uint64_t seed) : state_(seed) {}
  double next() { // uniform in [-1, 1)
    state_ ^= state_ << 13;
    state_ ^= state_ >> 7;
    state_ ^= state_ << 17;
    return static_cast<double>(state_ >> 11) / 4503599627370496.0 - 1.0;
  }

private:
  uint64_t state_;
};

// Rough road: low-pass filtered noise.
std::vector<double> road(uint64_t seed, double smoothing) {
  Noise noise(seed);
  std::vector<double> r(points);
  double y = 0.0;
  for (auto &v : r) v = y += smoothing * (noise.next() - y);
  return r;
}

// A decaying ring that starts at time t0 (a pothole hit).
double impact(double t, double t0, double frequency, double decay) {
  if (t < t0) return 0.0;
  const double s = t - t0;
  return std::exp(-decay * s) * std::sin(2 * pi * frequency * s);
}

std::unique_ptr<MemorySignal> synthesise() {
  SignalInfo info;
  info.path = "synthesised";
  info.points = points;
  info.dt = 1.0 / rate;
  info.channels = {{"Wheel force FL vertical", "N"},
                   {"Wheel force FR vertical", "N"},
                   {"Knuckle accel. FL z", "m/s^2"},
                   {"Body acceleration z", "m/s^2"}};
  const std::vector<double> left = road(1, 0.08), right = road(2, 0.08);
  std::vector<std::vector<double>> c(4, std::vector<double>(points));
  for (int64_t i = 0; i < points; ++i) {
    const double t = static_cast<double>(i) / rate;
    const double bounce = std::sin(2 * pi * 1.3 * t);
    const double hop = std::sin(2 * pi * 11.0 * t + 0.4);
    const size_t k = static_cast<size_t>(i);
    c[0][k] = 4100 + 600 * bounce + 350 * hop + 900 * left[k] + 2600 * impact(t, 2.5, 14.0, 6.0);
    c[1][k] = 3950 + 580 * std::sin(2 * pi * 1.3 * t + 0.3) + 320 * std::sin(2 * pi * 11.5 * t) +
              900 * right[k] + 1500 * impact(t, 2.62, 14.0, 6.0);
    c[2][k] = 14 * hop + 40 * left[k] + 85 * impact(t, 2.5, 16.0, 9.0);
    c[3][k] = 1.2 * bounce + 0.3 * std::sin(2 * pi * 3.1 * t) + 2.5 * impact(t, 2.5, 1.6, 1.5);
  }
  return std::make_unique<MemorySignal>(std::move(info), std::move(c));
}

fs::path fresh_directory() {
  std::random_device random;
  const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
  for (int attempt = 0; attempt < 100; ++attempt) {
    const fs::path dir =
        fs::temp_directory_path() /
        ("zel-demo-" + std::to_string((random() ^ static_cast<unsigned>(now)) % 1000000u));
    if (fs::create_directory(dir)) return dir;
  }
  throw ToolError(fs::temp_directory_path().string() + ": cannot create a fresh directory");
}

// Largest |read - synthesised| over the synthesised samples.
double max_error(const std::vector<double> &read, const std::vector<double> &truth) {
  double worst = 0.0;
  for (size_t i = 0; i < truth.size(); ++i) {
    const double e = i < read.size() ? std::fabs(read[i] - truth[i]) : INFINITY;
    if (!(e <= worst)) worst = e;
  }
  return worst;
}

double max_abs(const std::vector<double> &values) {
  double m = 0.0;
  for (double v : values) m = std::max(m, std::fabs(v));
  return m;
}

} // namespace

Command add_demo_command(CLI::App &app) {
  auto dir_option = std::make_shared<std::string>();
  CLI::App *sub = app.add_subcommand(
      "demo", "Synthesise a road-load signal, write it as RPC III and DAC, read it back, "
              "check the round trip, and add a modal export and a plot");
  sub->add_option("dir", *dir_option, "Directory for the files (default: a fresh temporary one)");

  return {
      sub, [dir_option]() {
        fs::path dir;
        if (dir_option->empty()) {
          dir = fresh_directory();
        } else {
          dir = *dir_option;
          std::error_code ec;
          fs::create_directories(dir, ec);
          if (!fs::is_directory(dir)) fail(dir.string(), "cannot create the directory");
        }
        auto file = [&](const char *name) { return (dir / name).string(); };

        std::unique_ptr<MemorySignal> signal = synthesise();
        const SignalInfo &info = signal->info();
        std::printf("Synthesised %d channels of %lld points at %g Hz (%g s): wheel forces and "
                    "accelerations over a rough road with a pothole at 2.5 s.\n\n",
                    info.channel_count(), static_cast<long long>(info.points), rate,
                    static_cast<double>(info.points) / rate);

        const std::string int_rsp = file("road_int16.rsp");
        const std::string float_rsp = file("road_float32.rsp");
        std::vector<std::string> dacs;
        {
          Progress progress("writing", 3 * info.channel_count() * info.points);
          const SampleWindow whole{0, info.points};
          Rpc3Settings floats;
          floats.floats = true;
          write_rpc3(int_rsp, all_channels(*signal), whole, info.dt, {}, &progress);
          write_rpc3(float_rsp, all_channels(*signal), whole, info.dt, floats, &progress);
          dacs = write_dac(file("road.dac"), all_channels(*signal), whole, &progress);
        }

        // Read everything back and show what the files hold.
        std::unique_ptr<SignalFile> int_file = open_signal(int_rsp);
        std::unique_ptr<SignalFile> float_file = open_signal(float_rsp);
        std::vector<std::unique_ptr<SignalFile>> dac_files;
        for (const std::string &name : dacs) dac_files.push_back(open_signal(name));
        std::printf("%s\n", info_text(*int_file, all_channels(*int_file)).c_str());
        std::printf("%s\n", info_text(*float_file, all_channels(*float_file)).c_str());
        // The other DAC files alike, one channel each.
        std::printf("%s", info_text(*dac_files.front(), all_channels(*dac_files.front())).c_str());

        // Round trip: integers lose at most half a scale step (rounded to
        // nearest), floats half a unit in the last place of a float.
        std::printf("\nRound trip: largest absolute error against the synthesised samples\n");
        std::printf("  %-2s %-27s %-6s %14s %14s %14s %14s\n", "#", "channel", "unit",
                    "RPC III int16", "half a step", "RPC III float", "DAC float");
        bool within = true;
        for (int c = 1; c <= info.channel_count(); ++c) {
          const std::vector<double> truth = signal->read(c);
          const double step = max_abs(truth) / 32752.0;
          const double int_bound = step / 2;
          const double float_bound = max_abs(truth) * std::ldexp(1.0, -24);
          const double e_int = max_error(int_file->read(c), truth);
          const double e_float = max_error(float_file->read(c), truth);
          const double e_dac = max_error(dac_files[static_cast<size_t>(c - 1)]->read(1), truth);
          within = within && e_int <= int_bound * (1 + 1e-9) && e_float <= float_bound &&
                   e_dac <= float_bound;
          std::printf("  %-2d %-27s %-6s %14.4g %14.4g %14.4g %14.4g\n", c,
                      info.channels[static_cast<size_t>(c - 1)].description.c_str(),
                      info.channels[static_cast<size_t>(c - 1)].unit.c_str(), e_int, int_bound,
                      e_float, e_dac);
        }
        std::printf("  %s\n\n", within ? "all within the quantisation of their format"
                                       : "SOME ERRORS EXCEED THE QUANTISATION OF THEIR FORMAT");

        const std::string punch = file("modal.pch"), op2 = file("modal.op2");
        write_synthetic_modal(punch, true, 6, 200, false);
        write_synthetic_modal(op2, false, 6, 200, false);
        const std::string svg_path = file("road_wheel_forces.svg");
        write_file_atomically(svg_path, plot_svg(select_channels(all_channels(*int_file), {"1-2"}),
                                                 {0, int_file->info().points}, 1000, 500));

        std::printf("Files in %s:\n", dir.string().c_str());
        for (const std::string &name : {int_rsp, float_rsp})
          std::printf("  %-24s RPC III, 4 channels\n", fs::path(name).filename().string().c_str());
        for (const std::string &name : dacs)
          std::printf("  %-24s DAC, 1 channel\n", fs::path(name).filename().string().c_str());
        std::printf("  %-24s punch file: 6 modes, 200 time steps\n", "modal.pch");
        std::printf("  %-24s OUTPUT2 file: 6 modes, 200 time steps\n", "modal.op2");
        std::printf("  %-24s plot of channels 1 and 2\n", "road_wheel_forces.svg");
        if (!within) throw ToolError("demo: round-trip error above the format's quantisation");
        return 0;
      }};
}

} // namespace zel_tool
