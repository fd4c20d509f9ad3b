// zel cat: samples as CSV on standard output.
#include "commands.h"
#include "csv.h"
#include "parallel.h"
#include "selection.h"
#include "signal_file.h"
#include "tool_error.h"

#include <CLI/CLI.hpp>

#include <cstdio>
#include <memory>

namespace zel_tool {

namespace {

// Writes one file's CSV to out.
void cat_file(const std::string &path, const SelectionOptions &selection, const CsvOptions &csv,
              std::FILE *out, const std::string &out_name, int jobs) {
  std::unique_ptr<SignalFile> file = open_signal(path, csv);
  const std::vector<ChannelRef> refs = select_channels(all_channels(*file), selection.channels);
  write_csv(out, out_name, refs, select_window(file->info(), selection), nullptr, jobs);
}

} // namespace

Command add_cat_command(CLI::App &app) {
  struct Options {
    std::vector<std::string> files;
    SelectionOptions selection;
    CsvOptions csv;
    int jobs = 1;
  };
  auto options = std::make_shared<Options>();
  CLI::App *sub = app.add_subcommand(
      "cat", "Print time and samples as CSV on standard output (several files: one table each, "
             "in the order given)");
  sub->add_option("files", options->files, "RPC III, DAC or CSV files (- for standard input)")
      ->required();
  add_selection_options(sub, options->selection, true);
  add_csv_options(sub, options->csv);
  add_jobs_option(sub, options->jobs);

  return {sub, [options]() {
            options->csv.progress = options->files.size() == 1; // one bar at a time
            const Options &o = *options;
            if (o.files.size() == 1 || o.jobs == 1) {
              int status = 0;
              for (const std::string &path : o.files) try {
                  cat_file(path, o.selection, o.csv, stdout, "standard output", o.jobs);
                } catch (const ToolError &e) {
                  report_error(e.what());
                  status = 1;
                }
              return status;
            }
            // Files read side by side: each table goes to a temporary file
            // (memory stays bounded), copied out in the order given.
            int status = 0;
            run_ordered<std::shared_ptr<std::FILE>>(
                o.files.size(), o.jobs,
                [&](size_t i) {
                  std::shared_ptr<std::FILE> table(std::tmpfile(), [](std::FILE *f) {
                    if (f) std::fclose(f);
                  });
                  if (!table) fail(o.files[i], "no temporary file for its table");
                  cat_file(o.files[i], o.selection, o.csv, table.get(), "a temporary file", 1);
                  return table;
                },
                [&](size_t i, std::optional<std::shared_ptr<std::FILE>> &table,
                    std::exception_ptr error) {
                  if (error) {
                    status = 1;
                    report_failure(error);
                    return;
                  }
                  std::FILE *f = table->get();
                  std::rewind(f);
                  char buffer[1 << 16];
                  for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, f)) > 0;)
                    if (std::fwrite(buffer, 1, n, stdout) != n) {
                      report_error("standard output: write failed");
                      status = 1;
                      return;
                    }
                  if (std::ferror(f)) {
                    report_error(o.files[i] + ": its table could not be read back");
                    status = 1;
                  }
                });
            return status;
          }};
}

} // namespace zel_tool
