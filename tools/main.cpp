// zel: look into, convert and plot time-history files from the shell.
#include "atomic_output.h"
#include "commands.h"
#include "tool_error.h"
#include "zel.h"

#include <CLI/CLI.hpp>

#include <cstdio>
#include <new>

namespace zel_tool {

void report_error(const std::string &message) {
  std::fflush(stdout);
  std::fprintf(stderr, "zel: %s\n", message.c_str());
}

void report_failure(std::exception_ptr error) {
  try {
    std::rethrow_exception(error);
  } catch (const ToolError &e) { report_error(e.what()); } catch (const std::bad_alloc &) {
    report_error("out of memory");
  } catch (const std::exception &e) { report_error(e.what()); } catch (...) {
    report_error("unknown failure");
  }
}

} // namespace zel_tool

int main(int argc, char **argv) {
  using namespace zel_tool;
  install_output_signal_handlers();
  CLI::App app{"zel: look into, convert and plot RPC III and DAC time histories", "zel"};
  app.require_subcommand(1, 1);
  app.set_version_flag("--version", std::string("zel ") + zel_build_version(),
                       "Print the release version and exit");

  const std::vector<Command> commands = {
      add_info_command(app), add_cat_command(app),          add_convert_command(app),
      add_plot_command(app), add_export_modal_command(app), add_version_command(app),
      add_demo_command(app),
  };

  // CLI11 would only say that a subcommand is required; name the stranger.
  if (argc > 1 && argv[1][0] != '-') {
    bool known = false;
    for (const Command &command : commands) known = known || command.app->get_name() == argv[1];
    if (!known) {
      report_error(std::string("unknown command: ") + argv[1] + " (zel --help lists them)");
      return 2;
    }
  }

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError &e) {
    if (e.get_exit_code() == 0) return app.exit(e); // --help, --version
    report_error(e.what());
    return 2;
  }

  for (const Command &command : commands) {
    if (!command.app->parsed()) continue;
    try {
      return command.run();
    } catch (...) { report_failure(std::current_exception()); }
    return 1;
  }
  return 2;
}
