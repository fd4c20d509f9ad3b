// zel info: header facts and channel statistics, as a table or as JSON.
#include "commands.h"
#include "number_text.h"
#include "parallel.h"
#include "progress.h"
#include "selection.h"
#include "signal_file.h"
#include "stats.h"
#include "text_encoding.h"
#include "tool_error.h"

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <memory>
#include <optional>

namespace zel_tool {

namespace {

std::string short_number(double value) {
  char buffer[48];
  std::snprintf(buffer, sizeof buffer, "%.7g", value);
  return buffer;
}

double duration(const SignalInfo &info) { return static_cast<double>(info.points) * info.dt; }

std::vector<ChannelStats> all_stats(const std::vector<ChannelRef> &refs, Progress *progress) {
  std::vector<ChannelStats> stats;
  // Each channel streams through: memory does not grow with its length.
  for (const ChannelRef &ref : refs) {
    StatsAccumulator acc;
    ref.file->read_blocks(ref.channel, [&](const double *v, size_t n) {
      acc.add(v, n);
      if (progress) progress->advance(static_cast<int64_t>(n));
    });
    stats.push_back(acc.result());
  }
  return stats;
}

// A finite number, or null.
nlohmann::ordered_json json_number(double value) {
  return std::isfinite(value) ? nlohmann::ordered_json(value) : nlohmann::ordered_json();
}

nlohmann::ordered_json info_json(SignalFile &file, const std::vector<ChannelRef> &refs,
                                 Progress *progress) {
  const SignalInfo &info = file.info();
  const std::vector<ChannelStats> stats = all_stats(refs, progress);
  nlohmann::ordered_json out;
  out["file"] = utf8_text(info.path);
  out["format"] = format_name(info.format);
  out["channel_count"] = info.channel_count();
  out["points"] = info.points;
  out["sample_interval"] = json_number(info.dt);
  out["sample_rate"] = json_number(info.dt > 0 ? 1.0 / info.dt : 0.0);
  out["duration"] = json_number(duration(info));
  out["start_time"] = json_number(info.start_time);
  out["value_type"] = info.value_type;
  out["byte_order"] = info.byte_order;
  out["date"] = utf8_text(info.date);
  nlohmann::ordered_json channels = nlohmann::ordered_json::array();
  for (size_t i = 0; i < stats.size(); ++i) {
    const ChannelStats &s = stats[i];
    channels.push_back({{"number", refs[i].channel},
                        {"description", utf8_text(refs[i].info().description)},
                        {"unit", utf8_text(refs[i].info().unit)},
                        {"min", json_number(s.min)},
                        {"max", json_number(s.max)},
                        {"mean", json_number(s.mean)},
                        {"rms", json_number(s.rms)},
                        {"min_index", s.min_index},
                        {"max_index", s.max_index}});
  }
  out["channels"] = std::move(channels);
  return out;
}

} // namespace

std::string info_text(SignalFile &file, const std::vector<ChannelRef> &refs, Progress *progress) {
  std::string out;
  const auto print = [&out](const char *format, auto... values) {
    char line[512];
    std::snprintf(line, sizeof line, format, values...);
    out += line;
  };
  const SignalInfo &info = file.info();
  const std::vector<ChannelStats> stats = all_stats(refs, progress);

  out += utf8_text(info.path) + "\n";
  print("  format           %s\n", format_name(info.format));
  print("  channels         %d\n", info.channel_count());
  print("  points           %lld\n", static_cast<long long>(info.points));
  print("  sample interval  %s s (%s Hz)\n", short_number(info.dt).c_str(),
        short_number(info.dt > 0 ? 1.0 / info.dt : 0.0).c_str());
  print("  duration         %s s\n", short_number(duration(info)).c_str());
  if (info.start_time != 0.0)
    print("  start time       %s s\n", short_number(info.start_time).c_str());
  print("  value type       %s\n", info.value_type.c_str());
  print("  byte order       %s\n", info.byte_order.c_str());
  print("  date             %s\n\n", info.date.empty() ? "-" : utf8_text(info.date).c_str());

  // Columns sized to their widest cell.
  std::vector<std::vector<std::string>> rows = {
      {"#", "description", "unit", "min", "max", "mean", "rms", "min at", "max at"}};
  for (size_t i = 0; i < stats.size(); ++i) {
    const ChannelStats &s = stats[i];
    rows.push_back({std::to_string(refs[i].channel), utf8_text(refs[i].info().description),
                    utf8_text(refs[i].info().unit), short_number(s.min), short_number(s.max),
                    short_number(s.mean), short_number(s.rms), std::to_string(s.min_index),
                    std::to_string(s.max_index)});
  }
  std::vector<size_t> width(rows[0].size(), 0);
  for (const auto &row : rows)
    for (size_t k = 0; k < row.size(); ++k) width[k] = std::max(width[k], row[k].size());
  for (const auto &row : rows) {
    std::string line = " ";
    for (size_t k = 0; k < row.size(); ++k) {
      const bool text = k == 1 || k == 2; // texts left-aligned, numbers right
      const std::string pad(width[k] - row[k].size(), ' ');
      line += ' ';
      line += text ? row[k] + pad : pad + row[k];
      line += ' ';
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    out += line + "\n";
  }
  return out;
}

Command add_info_command(CLI::App &app) {
  struct Options {
    std::vector<std::string> files;
    SelectionOptions selection;
    CsvOptions csv;
    bool json = false;
    int jobs = 1;
  };
  auto options = std::make_shared<Options>();
  CLI::App *sub = app.add_subcommand(
      "info", "Header facts and per-channel statistics of RPC III, DAC and CSV files");
  sub->add_option("files", options->files,
                  "Files to describe (RPC III or DAC by content, CSV by the .csv extension, - for "
                  "standard input)")
      ->required();
  sub->add_flag("--json", options->json, "Print JSON (an array, one object per file)");
  add_selection_options(sub, options->selection, false);
  add_csv_options(sub, options->csv);
  add_jobs_option(sub, options->jobs);
  sub->footer(
      std::string("Statistics of the samples the file holds (its recorded sample count): min, max, "
                  "mean, rms; \"min at\" and \"max at\" (JSON: min_index, max_index) are 1-based "
                  "sample numbers, the first of equal extremes.") +
      "\n\n" + sub->get_footer());

  return {sub, [options]() {
            int status = 0;
            bool first = true;
            options->csv.progress = options->files.size() == 1; // one bar at a time
            if (options->json) std::printf("[\n");
            run_ordered<std::string>(
                options->files.size(), options->jobs,
                [&](size_t i) {
                  std::unique_ptr<SignalFile> file = open_signal(options->files[i], options->csv);
                  const std::vector<ChannelRef> refs =
                      select_channels(all_channels(*file), options->selection.channels);
                  // A bar for one file read alone (several side by side
                  // would mix their lines).
                  std::optional<Progress> progress;
                  if (options->files.size() == 1)
                    progress.emplace("reading",
                                     static_cast<int64_t>(refs.size()) * file->info().points);
                  Progress *bar = progress ? &*progress : nullptr;
                  if (!options->json) return info_text(*file, refs, bar);
                  // The object indented as an array element.
                  std::string text = "  " + info_json(*file, refs, bar).dump(2);
                  for (size_t at = 0; (at = text.find('\n', at)) != std::string::npos; at += 3)
                    text.replace(at, 1, "\n  ");
                  return text;
                },
                [&](size_t, std::optional<std::string> &text, std::exception_ptr error) {
                  if (error) {
                    status = 1;
                    report_failure(error);
                    return;
                  }
                  if (options->json)
                    std::printf("%s%s", first ? "" : ",\n", text->c_str());
                  else
                    std::printf("%s%s", first ? "" : "\n", text->c_str());
                  first = false;
                });
            if (options->json) std::printf("%s]\n", first ? "" : "\n");
            return status;
          }};
}

} // namespace zel_tool
