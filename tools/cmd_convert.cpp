// zel convert: RPC III, DAC, CSV and MATLAB files into one another.
#include "atomic_output.h"
#include "commands.h"
#include "csv.h"
#include "mat_file.h"
#include "number_text.h"
#include "parallel.h"
#include "progress.h"
#include "selection.h"
#include "signal_file.h"
#include "signal_write.h"
#include "tool_error.h"

#include <CLI/CLI.hpp>

#include <cmath>
#include <filesystem>
#include <memory>

namespace zel_tool {

namespace {

// Writes every channel to out; returns the names of the files written. The
// progress bar ends its line before the caller reports them.
std::vector<std::string> write_output(OutputFormat format, const std::string &out,
                                      const std::vector<ChannelRef> &refs, SampleWindow window,
                                      double dt, const Rpc3Settings &settings, MatVersion mat,
                                      bool show_progress) {
  // Files converted side by side draw no bar: their lines would mix.
  Progress progress(show_progress ? "converting" : "",
                    show_progress ? window.count * static_cast<int64_t>(refs.size()) : 0);
  switch (format) {
  case OutputFormat::Rpc3: write_rpc3(out, refs, window, dt, settings, &progress); return {out};
  case OutputFormat::Dac: return write_dac(out, refs, window, &progress);
  case OutputFormat::Mat:
    write_mat(out, refs, window, dt, settings.date, mat, &progress);
    return {out};
  case OutputFormat::Csv: break;
  }
  if (out == "-") {
    write_csv(stdout, "standard output", refs, window, &progress);
    return {};
  }
  AtomicOutput csv(out);
  write_csv(csv.stream(), out, refs, window, &progress);
  csv.commit();
  return {out};
}

struct ConvertOptions {
  std::vector<std::string> files;
  std::string output_dir;
  std::string to;
  SelectionOptions selection;
  CsvOptions csv;
  bool floats = false;
  bool integers = false;
  bool truncate = false;
  std::string mat_version;
  int jobs = 1;
};

// Converts inputs (their channels in order) into out; returns the names of
// the files written.
std::vector<std::string> convert_files(const std::vector<std::string> &inputs,
                                       const std::string &out, const ConvertOptions &options,
                                       bool show_progress) {
  const OutputFormat format = out == "-" ? OutputFormat::Csv : output_format(out);
  if ((options.floats || options.integers || options.truncate) && format != OutputFormat::Rpc3)
    fail(out, "--float, --int16 and --truncate apply to RPC III output only");
  if (options.floats && (options.integers || options.truncate))
    fail(out, "--float stores floats: --int16 and --truncate apply to integers");
  if (!options.mat_version.empty() && format != OutputFormat::Mat)
    fail(out, "--mat-version applies to .mat output only");
  const MatVersion mat =
      options.mat_version.empty() ? MatVersion::V5 : parse_mat_version(options.mat_version);

  CsvOptions csv = options.csv;
  csv.progress = show_progress;
  std::vector<std::unique_ptr<SignalFile>> files;
  std::vector<ChannelRef> refs;
  for (const std::string &path : inputs) {
    files.push_back(open_signal(path, csv));
    SignalFile &file = *files.back();
    const SignalInfo &info = file.info();
    const SignalInfo &lead = files.front()->info();
    if (info.points != lead.points)
      fail(path, std::to_string(info.points) + " points per channel, but " + lead.path + " has " +
                     std::to_string(lead.points));
    // DAC files hold the interval as a 32-bit float: equal within that
    // precision counts as equal.
    if (std::fabs(info.dt - lead.dt) > 1e-6 * std::fabs(lead.dt))
      fail(path, "sample interval " + exact(info.dt) + " s differs from " + exact(lead.dt) +
                     " s of " + lead.path);
    for (int c = 1; c <= info.channel_count(); ++c) refs.push_back({&file, c});
  }
  if (refs.empty()) fail(inputs.front(), "no channels");
  refs = select_channels(refs, options.selection.channels);
  const SignalInfo &lead = files.front()->info();
  const SampleWindow window = select_window(lead, options.selection);
  // Nothing is written when any file to be written is an input.
  if (out != "-")
    refuse_overwriting_inputs(inputs, format == OutputFormat::Dac
                                          ? dac_names(out, static_cast<int>(refs.size()))
                                          : std::vector<std::string>{out});

  Rpc3Settings settings;
  // Floats stay floats unless 16-bit integers were asked for.
  bool all_float = true;
  for (const auto &file : files) all_float &= file->info().float_values;
  settings.floats = options.floats || (all_float && !options.integers && !options.truncate);
  settings.truncate = options.truncate;
  settings.date = lead.date;
  settings.records = kept_records(refs);
  return write_output(format, out, refs, window, lead.dt, settings, mat, show_progress);
}

} // namespace

Command add_convert_command(CLI::App &app) {
  auto options = std::make_shared<ConvertOptions>();
  CLI::App *sub = app.add_subcommand(
      "convert",
      "Convert between RPC III, DAC, CSV and MATLAB; the output format follows OUT's extension");
  sub->add_option("files", options->files,
                  "IN... OUT: inputs (channels are taken in order) and the output "
                  "(.rsp/.rpc/.tim RPC III, .dac DAC: one file per channel as OUT_n.dac "
                  "when there are several, .csv CSV, - for CSV on standard output, .mat "
                  "MATLAB: one struct named after OUT's stem); with "
                  "-o DIR: inputs only, each converted on its own; an IN of - reads standard "
                  "input")
      ->required();
  sub->add_option("-o,--output-dir", options->output_dir,
                  "Convert each input on its own into this folder, as its stem + the --to "
                  "extension");
  sub->add_option("--to", options->to, "Output format with -o: rsp, dac, csv or mat");
  add_selection_options(sub, options->selection, true);
  add_csv_options(sub, options->csv);
  sub->add_flag("--float", options->floats,
                "Write RPC III values as 32-bit floats (the default when every input stores "
                "floats: RPC III float files, DAC files)");
  sub->add_flag("--int16", options->integers,
                "Write RPC III values as scaled 16-bit integers, rounded to nearest (the "
                "default unless every input stores floats)");
  sub->add_flag("--truncate", options->truncate,
                "Convert RPC III 16-bit values by truncation towards zero instead of rounding "
                "to nearest");
  sub->add_option("--mat-version", options->mat_version,
                  "MATLAB file version: 5 (the default; read by every MATLAB, Octave and "
                  "scipy, at most 2 GiB) or 7.3 (HDF5, any size)");
  add_jobs_option(sub, options->jobs);

  return {sub, [options]() {
            const ConvertOptions &o = *options;
            if (o.output_dir.empty()) {
              if (!o.to.empty()) fail("--to", "applies with -o DIR only");
              if (o.files.size() < 2) fail("convert", "give the inputs and then the output");
              const std::vector<std::string> inputs(o.files.begin(), o.files.end() - 1);
              for (const std::string &name : convert_files(inputs, o.files.back(), o, true))
                std::printf("wrote %s\n", name.c_str());
              return 0;
            }
            // Each input into the folder, on all cores; one failure does not
            // stop the others.
            if (o.to.empty()) fail(o.output_dir, "-o DIR needs --to rsp, dac, csv or mat");
            std::error_code ec;
            if (!std::filesystem::is_directory(o.output_dir, ec))
              fail(o.output_dir, "not a folder");
            int status = 0;
            run_ordered<std::vector<std::string>>(
                o.files.size(), o.jobs,
                [&](size_t i) {
                  const std::filesystem::path out =
                      std::filesystem::path(o.output_dir) /
                      (std::filesystem::path(o.files[i]).stem().string() + "." + o.to);
                  return convert_files({o.files[i]}, out.string(), o, o.jobs == 1);
                },
                [&](size_t, std::optional<std::vector<std::string>> &written,
                    std::exception_ptr error) {
                  if (error) {
                    status = 1;
                    report_failure(error);
                    return;
                  }
                  for (const std::string &name : *written) std::printf("wrote %s\n", name.c_str());
                });
            return status;
          }};
}

} // namespace zel_tool
