// zel plot: channels as an SVG line plot.
#include "atomic_output.h"
#include "commands.h"
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

std::string plot_svg(SignalFile &file, const std::vector<int> &channels, int width, int height) {
  const SignalInfo &info = file.info();
  for (int c : channels) file.check_channel(c);

  PlotLayout layout;
  layout.width = width;
  layout.height = height;
  layout.title = std::filesystem::path(info.path).filename().string();
  layout.start_time = info.start_time;
  layout.dt = info.dt > 0.0 ? info.dt : 1.0;
  if (!(info.dt > 0.0)) layout.x_label = "Sample";

  // The y label names the quantity: one channel by itself; several by their
  // common unit when they share one.
  bool one_unit = true;
  for (int c : channels)
    one_unit = one_unit && info.channels[c - 1].unit == info.channels[channels[0] - 1].unit;
  if (channels.size() == 1)
    layout.y_label = titled(info.channels[channels[0] - 1]);
  else if (one_unit && !info.channels[channels[0] - 1].unit.empty())
    layout.y_label = "[" + info.channels[channels[0] - 1].unit + "]";

  // Each channel streams through the decimator: memory stays at a few
  // samples per pixel column, however long the channel.
  const int columns = static_cast<int>(plot_area(layout).width);
  std::vector<PlotSeries> series;
  for (int c : channels)
    series.push_back(plot_series(
        std::to_string(c) + ": " + titled(info.channels[c - 1]), static_cast<size_t>(info.points),
        columns, [&](const SignalFile::BlockSink &sink) { file.read_blocks(c, sink); }));
  return render_svg(layout, series);
}

Command add_plot_command(CLI::App &app) {
  struct Options {
    std::string file;
    std::vector<int> channels;
    std::string output;
    int width = 1000;
    int height = 500;
  };
  auto options = std::make_shared<Options>();
  CLI::App *sub = app.add_subcommand("plot", "Plot channels as an SVG line chart");
  sub->add_option("file", options->file, "RPC III, DAC or CSV file")->required();
  sub->add_option("-c,--channel", options->channels, "Channel number (from 1); repeat for more")
      ->required();
  sub->add_option("-o,--output", options->output,
                  "SVG file to write (default: FILE's stem + .svg in the current directory)");
  sub->add_option("--width", options->width, "Width in pixels")->check(CLI::Range(200, 20000));
  sub->add_option("--height", options->height, "Height in pixels")->check(CLI::Range(150, 20000));

  return {sub, [options]() {
            std::unique_ptr<SignalFile> file = open_signal(options->file);
            std::string out = options->output;
            if (out.empty()) out = std::filesystem::path(options->file).stem().string() + ".svg";
            refuse_overwriting_inputs({options->file}, {out});
            write_file_atomically(
                out, plot_svg(*file, options->channels, options->width, options->height));
            std::printf("wrote %s\n", out.c_str());
            return 0;
          }};
}

} // namespace zel_tool
