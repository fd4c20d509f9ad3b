#include "parallel.h"

#include <CLI/CLI.hpp>

namespace zel_tool {

int default_jobs() {
  const unsigned cores = std::thread::hardware_concurrency();
  return cores == 0 ? 1 : static_cast<int>(cores);
}

void add_jobs_option(CLI::App *sub, int &jobs) {
  jobs = default_jobs();
  sub->add_option("-j,--jobs", jobs,
                  "Files worked on at once (cat of one file: threads formatting its rows); "
                  "default: the number of cores")
      ->check(CLI::Range(1, 1024));
}

} // namespace zel_tool
