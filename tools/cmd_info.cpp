// zel info: header facts and channel statistics, as a table or as JSON.
#include "commands.h"
#include "number_text.h"
#include "signal_file.h"
#include "stats.h"
#include "tool_error.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cmath>
#include <memory>

namespace zel_tool {

namespace {

std::string short_number(double value) {
  char buffer[48];
  std::snprintf(buffer, sizeof buffer, "%.7g", value);
  return buffer;
}

std::string json_string(const std::string &text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    switch (c) {
    case '"': out += "\\\""; break;
    case '\\': out += "\\\\"; break;
    case '\n': out += "\\n"; break;
    case '\r': out += "\\r"; break;
    case '\t': out += "\\t"; break;
    default:
      if (c < 0x20) {
        char buffer[8];
        std::snprintf(buffer, sizeof buffer, "\\u%04x", c);
        out += buffer;
      } else {
        out += static_cast<char>(c);
      }
    }
  }
  return out + "\"";
}

std::string json_number(double value) { return std::isfinite(value) ? exact(value) : "null"; }

double duration(const SignalInfo &info) { return static_cast<double>(info.points) * info.dt; }

std::vector<ChannelStats> all_stats(SignalFile &file) {
  std::vector<ChannelStats> stats;
  // Each channel streams through: memory does not grow with its length.
  for (int c = 1; c <= file.info().channel_count(); ++c) {
    StatsAccumulator acc;
    file.read_blocks(c, [&](const double *v, size_t n) { acc.add(v, n); });
    stats.push_back(acc.result());
  }
  return stats;
}

std::string info_json(SignalFile &file) {
  const SignalInfo &info = file.info();
  const std::vector<ChannelStats> stats = all_stats(file);
  std::string out = "  {\n";
  out += "    \"file\": " + json_string(info.path) + ",\n";
  out += "    \"format\": " + json_string(format_name(info.format)) + ",\n";
  out += "    \"channel_count\": " + std::to_string(info.channel_count()) + ",\n";
  out += "    \"points\": " + std::to_string(info.points) + ",\n";
  out += "    \"sample_interval\": " + json_number(info.dt) + ",\n";
  out += "    \"sample_rate\": " + json_number(info.dt > 0 ? 1.0 / info.dt : 0.0) + ",\n";
  out += "    \"duration\": " + json_number(duration(info)) + ",\n";
  out += "    \"start_time\": " + json_number(info.start_time) + ",\n";
  out += "    \"value_type\": " + json_string(info.value_type) + ",\n";
  out += "    \"byte_order\": " + json_string(info.byte_order) + ",\n";
  out += "    \"date\": " + json_string(info.date) + ",\n";
  out += "    \"channels\": [";
  for (size_t i = 0; i < stats.size(); ++i) {
    const ChannelStats &s = stats[i];
    out += i ? ",\n" : "\n";
    out += "      {\"number\": " + std::to_string(i + 1) +
           ", \"description\": " + json_string(info.channels[i].description) +
           ", \"unit\": " + json_string(info.channels[i].unit) +
           ", \"min\": " + json_number(s.min) + ", \"max\": " + json_number(s.max) +
           ", \"mean\": " + json_number(s.mean) + ", \"rms\": " + json_number(s.rms) +
           ", \"min_index\": " + std::to_string(s.min_index) +
           ", \"max_index\": " + std::to_string(s.max_index) + "}";
  }
  out += stats.empty() ? "]\n" : "\n    ]\n";
  out += "  }";
  return out;
}

} // namespace

void print_info_text(std::FILE *out, SignalFile &file) {
  const SignalInfo &info = file.info();
  const std::vector<ChannelStats> stats = all_stats(file);

  std::fprintf(out, "%s\n", info.path.c_str());
  std::fprintf(out, "  format           %s\n", format_name(info.format));
  std::fprintf(out, "  channels         %d\n", info.channel_count());
  std::fprintf(out, "  points           %lld\n", static_cast<long long>(info.points));
  std::fprintf(out, "  sample interval  %s s (%s Hz)\n", short_number(info.dt).c_str(),
               short_number(info.dt > 0 ? 1.0 / info.dt : 0.0).c_str());
  std::fprintf(out, "  duration         %s s\n", short_number(duration(info)).c_str());
  if (info.start_time != 0.0)
    std::fprintf(out, "  start time       %s s\n", short_number(info.start_time).c_str());
  std::fprintf(out, "  value type       %s\n", info.value_type.c_str());
  std::fprintf(out, "  byte order       %s\n", info.byte_order.c_str());
  std::fprintf(out, "  date             %s\n\n", info.date.empty() ? "-" : info.date.c_str());

  // Columns sized to their widest cell.
  std::vector<std::vector<std::string>> rows = {
      {"#", "description", "unit", "min", "max", "mean", "rms", "min at", "max at"}};
  for (size_t i = 0; i < stats.size(); ++i) {
    const ChannelStats &s = stats[i];
    rows.push_back({std::to_string(i + 1), info.channels[i].description, info.channels[i].unit,
                    short_number(s.min), short_number(s.max), short_number(s.mean),
                    short_number(s.rms), std::to_string(s.min_index), std::to_string(s.max_index)});
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
    std::fprintf(out, "%s\n", line.c_str());
  }
}

Command add_info_command(CLI::App &app) {
  struct Options {
    std::vector<std::string> files;
    bool json = false;
  };
  auto options = std::make_shared<Options>();
  CLI::App *sub = app.add_subcommand(
      "info", "Header facts and per-channel statistics of RPC III and DAC files");
  sub->add_option("files", options->files, "Files to describe (RPC III or DAC, found by content)")
      ->required();
  sub->add_flag("--json", options->json, "Print JSON (an array, one object per file)");

  return {sub, [options]() {
            int status = 0;
            bool first = true;
            if (options->json) std::printf("[\n");
            for (const std::string &path : options->files) {
              try {
                std::unique_ptr<SignalFile> file = open_signal(path);
                if (options->json) {
                  const std::string text = info_json(*file);
                  std::printf("%s%s", first ? "" : ",\n", text.c_str());
                } else {
                  if (!first) std::printf("\n");
                  print_info_text(stdout, *file);
                }
                first = false;
              } catch (const ToolError &e) {
                report_error(e.what());
                status = 1;
              }
            }
            if (options->json) std::printf("%s]\n", first ? "" : "\n");
            return status;
          }};
}

} // namespace zel_tool
