// zel convert: RPC III, DAC and CSV into one another.
#include "atomic_output.h"
#include "commands.h"
#include "csv.h"
#include "number_text.h"
#include "progress.h"
#include "selection.h"
#include "signal_file.h"
#include "signal_write.h"
#include "tool_error.h"

#include <CLI/CLI.hpp>

#include <cmath>
#include <memory>

namespace zel_tool {

namespace {

// Writes every channel to out; returns the names of the files written. The
// progress bar ends its line before the caller reports them.
std::vector<std::string> write_output(OutputFormat format, const std::string &out,
                                      const std::vector<ChannelRef> &refs, SampleWindow window,
                                      double dt, const Rpc3Settings &settings) {
  Progress progress("converting", window.count * static_cast<int64_t>(refs.size()));
  switch (format) {
  case OutputFormat::Rpc3: write_rpc3(out, refs, window, dt, settings, &progress); return {out};
  case OutputFormat::Dac: return write_dac(out, refs, window, &progress);
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

} // namespace

Command add_convert_command(CLI::App &app) {
  struct Options {
    std::vector<std::string> files;
    SelectionOptions selection;
    CsvOptions csv;
    bool floats = false;
    bool integers = false;
    bool truncate = false;
  };
  auto options = std::make_shared<Options>();
  CLI::App *sub = app.add_subcommand(
      "convert", "Convert between RPC III, DAC and CSV; the output format follows OUT's extension");
  sub->add_option("files", options->files,
                  "IN... OUT: inputs (channels are taken in order) and the output "
                  "(.rsp/.rpc/.tim RPC III, .dac DAC: one file per channel as OUT_n.dac "
                  "when there are several, .csv CSV, - for CSV on standard output); "
                  "an IN of - reads standard input")
      ->required()
      ->expected(2, -1);
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

  return {sub, [options]() {
            const std::string out = options->files.back();
            const std::vector<std::string> inputs(options->files.begin(), options->files.end() - 1);
            const OutputFormat format = out == "-" ? OutputFormat::Csv : output_format(out);
            if ((options->floats || options->integers || options->truncate) &&
                format != OutputFormat::Rpc3)
              fail(out, "--float, --int16 and --truncate apply to RPC III output only");
            if (options->floats && (options->integers || options->truncate))
              fail(out, "--float stores floats: --int16 and --truncate apply to integers");

            std::vector<std::unique_ptr<SignalFile>> files;
            std::vector<ChannelRef> refs;
            for (const std::string &path : inputs) {
              files.push_back(open_signal(path, options->csv));
              SignalFile &file = *files.back();
              const SignalInfo &info = file.info();
              const SignalInfo &lead = files.front()->info();
              if (info.points != lead.points)
                fail(path, std::to_string(info.points) + " points per channel, but " + lead.path +
                               " has " + std::to_string(lead.points));
              // DAC files hold the interval as a 32-bit float: equal within
              // that precision counts as equal.
              if (std::fabs(info.dt - lead.dt) > 1e-6 * std::fabs(lead.dt))
                fail(path, "sample interval " + exact(info.dt) + " s differs from " +
                               exact(lead.dt) + " s of " + lead.path);
              for (int c = 1; c <= info.channel_count(); ++c) refs.push_back({&file, c});
            }
            if (refs.empty()) fail(inputs.front(), "no channels");
            refs = select_channels(refs, options->selection.channels);
            const SignalInfo &lead = files.front()->info();
            const SampleWindow window = select_window(lead, options->selection);
            // Nothing is written when any file to be written is an input.
            if (out != "-")
              refuse_overwriting_inputs(inputs, format == OutputFormat::Dac
                                                    ? dac_names(out, static_cast<int>(refs.size()))
                                                    : std::vector<std::string>{out});

            Rpc3Settings settings;
            // Floats stay floats unless 16-bit integers were asked for.
            bool all_float = true;
            for (const auto &file : files) all_float &= file->info().float_values;
            settings.floats =
                options->floats || (all_float && !options->integers && !options->truncate);
            settings.truncate = options->truncate;
            settings.date = lead.date;
            settings.records = kept_records(refs);
            const std::vector<std::string> written =
                write_output(format, out, refs, window, lead.dt, settings);
            for (const std::string &name : written) std::printf("wrote %s\n", name.c_str());
            return 0;
          }};
}

} // namespace zel_tool
