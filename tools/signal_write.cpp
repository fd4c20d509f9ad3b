#include "signal_write.h"

#include "atomic_output.h"
#include "progress.h"
#include "tool_error.h"
#include "zel.h"

#include <cctype>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <memory>

namespace zel_tool {

namespace {

// The records the writer fills itself, whole keywords or channel prefixes.
constexpr const char *kWriterKeywords[] = {"FORMAT",        "NUM_HEADER_BLOCKS",
                                           "NUM_PARAMS",    "KIVOR_RUN",
                                           "KIVOR_STEPS",   "DATA_TYPE",
                                           "DATE",          "FILE_TYPE",
                                           "OPERATION",     "TIME_TYPE",
                                           "BYPASS_FILTER", "CHANNELS",
                                           "DELTA_T",       "FRAMES",
                                           "HALF_FRAMES",   "INT_FULL_SCALE",
                                           "PART.CHAN_1",   "PART.NCHAN_1",
                                           "PARTITIONS",    "PTS_PER_FRAME",
                                           "PTS_PER_GROUP", "REPEATS"};
constexpr const char *kWriterPrefixes[] = {"DESC.CHAN_",       "DEST.CHAN_",  "UNITS.CHAN_",
                                           "MAP.CHAN_",        "SCALE.CHAN_", "UPPER_LIMIT.CHAN_",
                                           "LOWER_LIMIT.CHAN_"};

bool written_by_writer(const std::string &keyword) {
  for (const char *k : kWriterKeywords)
    if (keyword == k) return true;
  for (const char *p : kWriterPrefixes)
    if (keyword.rfind(p, 0) == 0) return true;
  return false;
}

// The channel a keyword ending in "CHAN_<digits>" belongs to (its digits
// start at *digits), else 0.
int keyword_channel(const std::string &keyword, size_t *digits) {
  size_t d = keyword.size();
  while (d > 0 && std::isdigit(static_cast<unsigned char>(keyword[d - 1]))) --d;
  if (d == keyword.size() || d < 5 || keyword.compare(d - 5, 5, "CHAN_") != 0 ||
      keyword.size() - d > 9)
    return 0;
  *digits = d;
  return std::stoi(keyword.substr(d));
}

// RPC III texts hold 95 characters.
std::string fit(const std::string &text, size_t size) { return text.substr(0, size); }

std::string lower_extension(const std::string &path) {
  std::string ext = std::filesystem::path(path).extension().string();
  for (char &c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return ext;
}

} // namespace

OutputFormat output_format(const std::string &path) {
  const std::string ext = lower_extension(path);
  if (ext == ".rsp" || ext == ".rpc" || ext == ".tim") return OutputFormat::Rpc3;
  if (ext == ".dac") return OutputFormat::Dac;
  if (ext == ".csv") return OutputFormat::Csv;
  if (ext == ".mat") return OutputFormat::Mat;
  fail(path, "unknown output format: name it .rsp, .rpc or .tim (RPC III), .dac, .csv or .mat");
}

std::vector<std::pair<std::string, std::string>>
kept_records(const std::vector<ChannelRef> &channels) {
  std::vector<std::pair<std::string, std::string>> kept;
  const SignalFile *first = nullptr;
  for (const ChannelRef &ref : channels)
    if (ref.file->info().format == Format::Rpc3 && !first) first = ref.file;
  if (first)
    for (const auto &[keyword, value] : first->info().records) {
      size_t digits = 0;
      if (!written_by_writer(keyword) && keyword_channel(keyword, &digits) == 0)
        kept.emplace_back(keyword, value);
    }
  for (size_t out = 0; out < channels.size(); ++out) {
    const ChannelRef &ref = channels[out];
    for (const auto &[keyword, value] : ref.file->info().records) {
      size_t digits = 0;
      if (!written_by_writer(keyword) && keyword_channel(keyword, &digits) == ref.channel)
        kept.emplace_back(keyword.substr(0, digits) + std::to_string(out + 1), value);
    }
  }
  return kept;
}

void write_rpc3(const std::string &path, const std::vector<ChannelRef> &channels,
                SampleWindow window, double dt, const Rpc3Settings &settings, Progress *progress) {
  const int64_t points = window.count;
  if (points < 1) fail(path, "no samples to write");
  if (points > INT_MAX) fail(path, "too many samples for an RPC III file");
  if (!(dt > 0.0)) fail(path, "the sample interval must be above 0");
  if (settings.records.size() > static_cast<size_t>(INT_MAX)) fail(path, "too many header records");
  AtomicOutput output(path);
  int status = 0;
  void *handle = zel_rpc_create_as(output.temp().c_str(), static_cast<int>(channels.size()),
                                   static_cast<int>(points), dt,
                                   settings.floats ? ZEL_RPC_FLOAT32 : ZEL_RPC_INT16,
                                   settings.truncate ? ZEL_RPC_TRUNCATE : ZEL_RPC_ROUND_NEAREST,
                                   static_cast<int>(settings.records.size()), &status);
  if (handle == nullptr) fail(path, rpc_message(status));
  if (status != 0) {
    zel_rpc_writeclose(handle);
    fail(path, rpc_message(status));
  }
  // A record the writer cannot take (a keyword with blanks, say) is left
  // out; a failed write shows at the latest when the file is closed.
  zel_rpc_putrecord(handle, "KIVOR_RUN", path.c_str()); // not the temporary's name
  if (!settings.date.empty()) zel_rpc_putrecord(handle, "DATE", settings.date.c_str());
  for (const auto &[keyword, value] : settings.records)
    zel_rpc_putrecord(handle, keyword.c_str(), value.c_str());
  int channel = 0;
  for (const ChannelRef &ref : channels) {
    ++channel;
    std::vector<double> values;
    try {
      values = ref.file->read(ref.channel, window.first, window.count);
    } catch (...) {
      zel_rpc_writeclose(handle);
      throw;
    }
    const int code = zel_rpc_putchannel(handle, channel, static_cast<int>(values.size()),
                                        values.data(), fit(ref.info().description, 95).c_str(),
                                        fit(ref.info().unit, 95).c_str());
    if (code != 0) {
      zel_rpc_writeclose(handle);
      fail(path, rpc_message(code));
    }
    if (progress) progress->advance(points);
  }
  const int closed = zel_rpc_writeclose(handle);
  if (closed != 0) fail(path, rpc_message(closed));
  output.commit();
}

std::vector<std::string> dac_names(const std::string &path, int count) {
  if (count == 1) return {path};
  const std::filesystem::path out(path);
  std::vector<std::string> names;
  for (int c = 1; c <= count; ++c) {
    std::filesystem::path name = out;
    name.replace_filename(out.stem().string() + "_" + std::to_string(c) + ".dac");
    names.push_back(name.string());
  }
  return names;
}

std::vector<std::string> write_dac(const std::string &path, const std::vector<ChannelRef> &channels,
                                   SampleWindow window, Progress *progress) {
  const std::vector<std::string> names = dac_names(path, static_cast<int>(channels.size()));
  // Every file is written as a temporary; none is renamed unless all are written.
  std::vector<std::unique_ptr<AtomicOutput>> outputs;
  for (size_t i = 0; i < channels.size(); ++i) {
    const ChannelRef &ref = channels[i];
    const SignalInfo &info = ref.file->info();
    if (!(info.dt > 0.0)) fail(names[i], "the sample interval must be above 0");
    const std::vector<double> values = ref.file->read(ref.channel, window.first, window.count);
    if (values.empty() || values.size() > static_cast<size_t>(INT_MAX))
      fail(names[i], "no samples to write");
    outputs.push_back(std::make_unique<AtomicOutput>(names[i]));
    const int status = zel_dac_write(
        outputs.back()->temp().c_str(), static_cast<int>(values.size()), info.time_at(window.first),
        1.0 / info.dt, values.data(), "s", ref.info().description.c_str(), ref.info().unit.c_str());
    if (status != 0) fail(names[i], dac_message(status));
    if (progress) progress->advance(window.count);
  }
  std::vector<AtomicOutput *> group;
  for (const auto &output : outputs) group.push_back(output.get());
  commit_all(group);
  return names;
}

} // namespace zel_tool
