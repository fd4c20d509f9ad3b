// zel cat: samples as CSV on standard output.
#include "commands.h"
#include "csv.h"
#include "number_text.h"
#include "signal_file.h"
#include "tool_error.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cmath>
#include <memory>
#include <optional>

namespace zel_tool {

Command add_cat_command(CLI::App &app) {
  struct Options {
    std::string file;
    std::vector<int> channels;
    std::optional<double> start;
    std::optional<double> end;
  };
  auto options = std::make_shared<Options>();
  CLI::App *sub = app.add_subcommand("cat", "Print time and samples as CSV on standard output");
  sub->add_option("file", options->file, "RPC III, DAC or CSV file")->required();
  sub->add_option("-c,--channel", options->channels,
                  "Channel number (from 1); repeat for more; default all");
  sub->add_option("--start", options->start, "First time to print, in seconds");
  sub->add_option("--end", options->end, "Last time to print, in seconds");

  return {sub, [options]() {
            std::unique_ptr<SignalFile> file = open_signal(options->file);
            const SignalInfo &info = file->info();
            std::vector<int> channels = options->channels;
            if (channels.empty())
              for (int c = 1; c <= info.channel_count(); ++c) channels.push_back(c);
            for (int c : channels) file->check_channel(c);
            if (options->start && options->end && *options->start > *options->end)
              throw ToolError("--start " + exact(*options->start) + " is after --end " +
                              exact(*options->end));

            // Samples whose time lies within [start, end]; a tiny tolerance
            // keeps a time printed by `zel cat` itself inside the range.
            int64_t first = 0, last = info.points - 1;
            if (info.dt > 0.0) {
              if (options->start) {
                const double k = std::ceil((*options->start - info.start_time) / info.dt - 1e-6);
                first = static_cast<int64_t>(std::clamp(k, 0.0, static_cast<double>(info.points)));
              }
              if (options->end) {
                const double k = std::floor((*options->end - info.start_time) / info.dt + 1e-6);
                last =
                    static_cast<int64_t>(std::clamp(k, -1.0, static_cast<double>(info.points - 1)));
              }
            }
            std::vector<ChannelRef> refs;
            for (int c : channels) refs.push_back({file.get(), c});
            write_csv(stdout, "standard output", refs, first,
                      std::max<int64_t>(0, last - first + 1), nullptr);
            return 0;
          }};
}

} // namespace zel_tool
