// zel plot: channels as an SVG line plot.
#include "atomic_output.h"
#include "commands.h"
#include "progress.h"
#include "selection.h"
#include "signal_file.h"
#include "svg_plot.h"
#include "tool_error.h"

#include <CLI/CLI.hpp>

#include <filesystem>
#include <memory>

namespace zel_tool {

namespace {

std::string titled(const ChannelInfo &channel) {
  return channel.unit.empty() ? channel.description
                              : channel.description + " [" + channel.unit + "]";
}

} // namespace

std::string plot_svg(const std::vector<ChannelRef> &refs, SampleWindow window, int width,
                     int height, bool panel_per_unit, Progress *progress) {
  const SignalInfo &info = refs.front().file->info();

  PlotLayout layout;
  layout.width = width;
  layout.height = height;
  layout.title = std::filesystem::path(info.path).filename().string();
  layout.start_time = info.time_at(window.first);
  layout.dt = info.dt;

  // Panels in the order their unit first appears, channels in the order
  // given within each.
  std::vector<PlotPanel> panels;
  std::vector<std::vector<const ChannelRef *>> members;
  const int columns = static_cast<int>(plot_area(layout).width);
  for (const ChannelRef &ref : refs) {
    size_t p = 0;
    while (p < members.size() && panel_per_unit && members[p][0]->info().unit != ref.info().unit)
      ++p;
    if (p == members.size()) panels.emplace_back(), members.emplace_back();
    members[p].push_back(&ref);
    // Each channel streams through the decimator: memory stays at a few
    // samples per pixel column, however long the channel.
    panels[p].series.push_back(plot_series(
        std::to_string(ref.channel) + ": " + titled(ref.info()), static_cast<size_t>(window.count),
        columns, [&](const SignalFile::BlockSink &sink) {
          ref.file->read_range(ref.channel, window.first, window.count,
                               [&](const double *v, size_t n) {
                                 sink(v, n);
                                 if (progress) progress->advance(static_cast<int64_t>(n));
                               });
        }));
    panels[p].series.back().colour = static_cast<int>(&ref - refs.data()); // as in one panel
  }

  // The y label names the quantity: one channel by itself (its unit alone
  // when the panel is too short for the whole name); several by their
  // common unit when they share one.
  for (size_t p = 0; p < panels.size(); ++p) {
    const std::string &unit = members[p][0]->info().unit;
    bool one_unit = true;
    for (const ChannelRef *ref : members[p]) one_unit = one_unit && ref->info().unit == unit;
    const std::string bracketed = one_unit && !unit.empty() ? "[" + unit + "]" : "";
    if (members[p].size() == 1) {
      panels[p].y_label = titled(members[p][0]->info());
      panels[p].y_label_short = bracketed;
    } else {
      panels[p].y_label = bracketed;
    }
  }
  return render_svg(layout, panels);
}

Command add_plot_command(CLI::App &app) {
  struct Options {
    std::string file;
    SelectionOptions selection;
    CsvOptions csv;
    std::string output;
    int width = 1000;
    int height = 500;
    bool subplots = false;
    bool single = false;
  };
  auto options = std::make_shared<Options>();
  CLI::App *sub = app.add_subcommand("plot", "Plot channels as an SVG line chart");
  sub->add_option("file", options->file, "RPC III, DAC or CSV file")->required();
  add_selection_options(sub, options->selection, true);
  add_csv_options(sub, options->csv);
  sub->add_option("-o,--output", options->output,
                  "SVG file to write (default: FILE's stem + .svg in the current directory)");
  sub->add_option("--width", options->width, "Width in pixels")->check(CLI::Range(200, 20000));
  sub->add_option("--height", options->height,
                  "Height in pixels; the SVG grows when legends need more than one row or "
                  "panels would be shorter than 100 pixels")
      ->check(CLI::Range(150, 20000));
  CLI::Option *subplots =
      sub->add_flag("--subplots", options->subplots,
                    "One panel per unit, stacked on a shared time axis (the default)");
  sub->add_flag("--single", options->single, "All channels in one panel on one y axis")
      ->excludes(subplots);
  sub->footer(
      std::string("Channels of the same unit share a panel; channels of different units get a "
                  "panel each, stacked in the order their unit first appears. Legends wrap into "
                  "rows above their panel; long labels end in an ellipsis.") +
      "\n\n" + sub->get_footer());

  return {sub, [options]() {
            std::unique_ptr<SignalFile> file = open_signal(options->file, options->csv);
            const std::vector<ChannelRef> refs =
                select_channels(all_channels(*file), options->selection.channels);
            const SampleWindow window = select_window(file->info(), options->selection);
            std::string out = options->output;
            if (out.empty()) out = std::filesystem::path(options->file).stem().string() + ".svg";
            refuse_overwriting_inputs({options->file}, {out});
            Progress progress("plotting", static_cast<int64_t>(refs.size()) * window.count);
            write_file_atomically(out, plot_svg(refs, window, options->width, options->height,
                                                !options->single, &progress));
            std::printf("wrote %s\n", out.c_str());
            return 0;
          }};
}

} // namespace zel_tool
