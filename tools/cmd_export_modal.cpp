// zel export-modal: a synthetic modal result for the structural solver.
#include "atomic_output.h"
#include "commands.h"
#include "tool_error.h"
#include "zel.h"

#include <CLI/CLI.hpp>

#include <cmath>
#include <filesystem>
#include <memory>

namespace zel_tool {

namespace {

constexpr double pi = 3.14159265358979323846;
constexpr double damping = 0.02; // ratio of critical damping of every mode

double mode_frequency(int mode) { return 4.0 * mode + 1.5; } // Hz

} // namespace

void write_synthetic_modal(const std::string &path, bool punch, int modes, int steps,
                           bool frequency) {
  if (modes < 1) fail(path, "--modes must be at least 1");
  if (steps < 1) fail(path, "--steps must be at least 1");
  const size_t n = static_cast<size_t>(steps);
  const size_t m = static_cast<size_t>(modes);
  const size_t parts = frequency ? 2 : 1; // real and imaginary columns
  std::vector<double> step_values(n);
  std::vector<double> uh_disp(n * m * parts), uh_vel(n * m * parts), uh_acc(n * m * parts);
  std::vector<double> bh_disp(n * 6 * parts), bh_vel(n * 6 * parts), bh_acc(n * 6 * parts);

  if (!frequency) {
    // Free decay of each mode from an initial velocity: a damped sine, with
    // its derivatives. The six components sway slowly.
    const double dt = 0.005;
    for (size_t i = 0; i < n; ++i) {
      const double t = static_cast<double>(i) * dt;
      step_values[i] = t;
      for (size_t j = 0; j < m; ++j) {
        const double w = 2 * pi * mode_frequency(static_cast<int>(j) + 1);
        const double wd = w * std::sqrt(1 - damping * damping);
        const double a = 1.0 / static_cast<double>(j + 1);
        const double e = a * std::exp(-damping * w * t);
        const double s = std::sin(wd * t), c = std::cos(wd * t);
        uh_disp[i + j * n] = e * s;
        uh_vel[i + j * n] = e * (wd * c - damping * w * s);
        uh_acc[i + j * n] =
            e * ((damping * damping * w * w - wd * wd) * s - 2 * damping * w * wd * c);
      }
      for (size_t k = 0; k < 6; ++k) {
        const double w = 2 * pi * 0.5 * static_cast<double>(k + 1);
        const double a = 1e-3 * static_cast<double>(k + 1);
        bh_disp[i + k * n] = a * std::sin(w * t);
        bh_vel[i + k * n] = a * w * std::cos(w * t);
        bh_acc[i + k * n] = -a * w * w * std::sin(w * t);
      }
    }
  } else {
    // Receptance of each mode as a single degree of freedom, from 1 Hz to
    // past the highest mode.
    const double f_hi = 1.5 * mode_frequency(modes);
    for (size_t i = 0; i < n; ++i) {
      const double f =
          n > 1 ? 1.0 + (f_hi - 1.0) * static_cast<double>(i) / static_cast<double>(n - 1) : 1.0;
      step_values[i] = f;
      const double w = 2 * pi * f;
      for (size_t j = 0; j < m; ++j) {
        const double wj = 2 * pi * mode_frequency(static_cast<int>(j) + 1);
        const double re = wj * wj - w * w, im = 2 * damping * wj * w;
        const double d = re * re + im * im;
        uh_disp[i + 2 * j * n] = re / d;
        uh_disp[i + (2 * j + 1) * n] = -im / d;
      }
      for (size_t k = 0; k < 6; ++k) {
        bh_disp[i + 2 * k * n] = 1e-3 * static_cast<double>(k + 1) / (1.0 + f);
        bh_disp[i + (2 * k + 1) * n] = -1e-4 * static_cast<double>(k + 1) * f / (1.0 + f * f);
      }
    }
  }

  AtomicOutput output(path);
  const int ran =
      zel_fes_write_mcs(punch ? 1 : 0, modes, steps, 0, step_values.data(), uh_disp.data(),
                        bh_disp.data(), uh_vel.data(), bh_vel.data(), uh_acc.data(), bh_acc.data(),
                        frequency ? 1 : 0, output.temp().c_str());
  if (ran == 0) fail(path, "no memory for the OUTPUT2 scratch storage");
  std::error_code ec;
  if (ran != 1 || std::filesystem::file_size(output.temp(), ec) == 0)
    fail(path, "the export could not be written (disk full, file-size limit or I/O error)");
  output.commit();
}

Command add_export_modal_command(CLI::App &app) {
  struct Options {
    int modes = 0;
    int steps = 0;
    bool frequency = false;
    std::string punch;
    std::string op2;
  };
  auto options = std::make_shared<Options>();
  CLI::App *sub = app.add_subcommand(
      "export-modal",
      "Write a synthetic modal result (damped modes) as a punch or an OUTPUT2 file");
  sub->add_option("--modes", options->modes, "Number of modes")
      ->required()
      ->check(CLI::Range(1, 100000));
  sub->add_option("--steps", options->steps, "Number of output steps (times or frequencies)")
      ->required()
      ->check(CLI::Range(1, 10000000));
  sub->add_flag("--frequency", options->frequency, "Frequency output instead of time output");
  CLI::Option_group *output = sub->add_option_group("output", "Exactly one of");
  output->add_option("--punch", options->punch, "Write a punch file of DTI/DMI cards");
  output->add_option("--op2", options->op2, "Write an OUTPUT2 file");
  output->require_option(1);

  return {sub, [options]() {
            const bool to_punch = !options->punch.empty();
            const std::string path = to_punch ? options->punch : options->op2;
            write_synthetic_modal(path, to_punch, options->modes, options->steps,
                                  options->frequency);
            std::printf("wrote %s (%s, %d modes, %d steps, %s output)\n", path.c_str(),
                        to_punch ? "punch" : "OUTPUT2", options->modes, options->steps,
                        options->frequency ? "frequency" : "time");
            return 0;
          }};
}

} // namespace zel_tool
