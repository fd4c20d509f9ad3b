// zel plot: channels as an SVG line plot.
#include "atomic_output.h"
#include "commands.h"
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
                     int height) {
  const SignalInfo &info = refs.front().file->info();

  PlotLayout layout;
  layout.width = width;
  layout.height = height;
  layout.title = std::filesystem::path(info.path).filename().string();
  layout.start_time = info.time_at(window.first);
  layout.dt = info.dt;

  // The y label names the quantity: one channel by itself; several by their
  // common unit when they share one.
  bool one_unit = true;
  for (const ChannelRef &ref : refs) one_unit = one_unit && ref.info().unit == refs[0].info().unit;
  if (refs.size() == 1)
    layout.y_label = titled(refs[0].info());
  else if (one_unit && !refs[0].info().unit.empty())
    layout.y_label = "[" + refs[0].info().unit + "]";

  // Each channel streams through the decimator: memory stays at a few
  // samples per pixel column, however long the channel.
  const int columns = static_cast<int>(plot_area(layout).width);
  std::vector<PlotSeries> series;
  for (const ChannelRef &ref : refs)
    series.push_back(plot_series(
        std::to_string(ref.channel) + ": " + titled(ref.info()), static_cast<size_t>(window.count),
        columns, [&](const SignalFile::BlockSink &sink) {
          ref.file->read_range(ref.channel, window.first, window.count, sink);
        }));
  return render_svg(layout, series);
}

Command add_plot_command(CLI::App &app) {
  struct Options {
    std::string file;
    SelectionOptions selection;
    CsvOptions csv;
    std::string output;
    int width = 1000;
    int height = 500;
  };
  auto options = std::make_shared<Options>();
  CLI::App *sub = app.add_subcommand("plot", "Plot channels as an SVG line chart");
  sub->add_option("file", options->file, "RPC III, DAC or CSV file")->required();
  add_selection_options(sub, options->selection, true);
  add_csv_options(sub, options->csv);
  sub->add_option("-o,--output", options->output,
                  "SVG file to write (default: FILE's stem + .svg in the current directory)");
  sub->add_option("--width", options->width, "Width in pixels")->check(CLI::Range(200, 20000));
  sub->add_option("--height", options->height, "Height in pixels")->check(CLI::Range(150, 20000));

  return {sub, [options]() {
            std::unique_ptr<SignalFile> file = open_signal(options->file, options->csv);
            const std::vector<ChannelRef> refs =
                select_channels(all_channels(*file), options->selection.channels);
            const SampleWindow window = select_window(file->info(), options->selection);
            std::string out = options->output;
            if (out.empty()) out = std::filesystem::path(options->file).stem().string() + ".svg";
            refuse_overwriting_inputs({options->file}, {out});
            write_file_atomically(out, plot_svg(refs, window, options->width, options->height));
            std::printf("wrote %s\n", out.c_str());
            return 0;
          }};
}

} // namespace zel_tool
