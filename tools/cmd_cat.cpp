// zel cat: samples as CSV on standard output.
#include "commands.h"
#include "csv.h"
#include "selection.h"
#include "signal_file.h"
#include "tool_error.h"

#include <CLI/CLI.hpp>

#include <memory>

namespace zel_tool {

Command add_cat_command(CLI::App &app) {
  struct Options {
    std::string file;
    SelectionOptions selection;
    CsvOptions csv;
  };
  auto options = std::make_shared<Options>();
  CLI::App *sub = app.add_subcommand("cat", "Print time and samples as CSV on standard output");
  sub->add_option("file", options->file, "RPC III, DAC or CSV file (- for standard input)")
      ->required();
  add_selection_options(sub, options->selection, true);
  add_csv_options(sub, options->csv);

  return {sub, [options]() {
            std::unique_ptr<SignalFile> file = open_signal(options->file, options->csv);
            const std::vector<ChannelRef> refs =
                select_channels(all_channels(*file), options->selection.channels);
            const SampleWindow window = select_window(file->info(), options->selection);
            write_csv(stdout, "standard output", refs, window, nullptr);
            return 0;
          }};
}

} // namespace zel_tool
