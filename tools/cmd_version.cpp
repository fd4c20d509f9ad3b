// zel version: the library's build identification.
#include "commands.h"
#include "zel.h"

#include <CLI/CLI.hpp>

#include <cstdio>

namespace zel_tool {

Command add_version_command(CLI::App &app) {
  CLI::App *sub = app.add_subcommand("version", "Print the library's version report");
  return {sub, []() {
            std::fflush(stdout); // the library writes through the same stream
            // The report ends with the release version; nothing to add.
            (void)zel_version();
            return 0;
          }};
}

} // namespace zel_tool
