// The subcommands of `zel`. Each adds itself to the application and returns
// what to run once the command line has been parsed; run returns the exit
// status and reports failures by throwing a ToolError.
#pragma once

#include <cstdio>
#include <exception>
#include <functional>
#include <string>
#include <vector>

namespace CLI {
class App;
}

namespace zel_tool {

class Progress;
class SignalFile;
struct ChannelRef;
struct SampleWindow;

struct Command {
  CLI::App *app;
  std::function<int()> run;
};

Command add_info_command(CLI::App &app);
Command add_cat_command(CLI::App &app);
Command add_convert_command(CLI::App &app);
Command add_plot_command(CLI::App &app);
Command add_export_modal_command(CLI::App &app);
Command add_version_command(CLI::App &app);
Command add_demo_command(CLI::App &app);

// Shared by info and demo: the header facts and the table of the channels given.
std::string info_text(SignalFile &file, const std::vector<ChannelRef> &refs,
                      Progress *progress = nullptr);

// Shared by plot and demo: an SVG of the window of the given channels of
// one file, one panel per unit or all in one panel.
std::string plot_svg(const std::vector<ChannelRef> &refs, SampleWindow window, int width,
                     int height, bool panel_per_unit = true, Progress *progress = nullptr);

// Shared by export-modal and demo: writes a synthetic modal result (damped
// modes) as a punch file or an OUTPUT2 file. Throws a ToolError on failure.
void write_synthetic_modal(const std::string &path, bool punch, int modes, int steps,
                           bool frequency);

// One line on stderr: "zel: message".
void report_error(const std::string &message);

// report_error for a failure caught as an exception: a ToolError's text,
// "out of memory", or any other exception's what().
void report_failure(std::exception_ptr error);

} // namespace zel_tool
