// A small reader over the signal files the tool understands: RPC III and DAC
// (recognised by content, through the library) and CSV tables (recognised by
// the .csv extension; their layout is in csv_read.h). Channels count from 1.
#pragma once

#include "csv_read.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace zel_tool {

enum class Format { Rpc3, Dac, Csv, Mat, Memory };

const char *format_name(Format format);

struct ChannelInfo {
  std::string description;
  std::string unit;
};

struct SignalInfo {
  Format format = Format::Memory;
  std::string path;
  int64_t points = 0;      // samples per channel
  double dt = 0.0;         // sample interval in seconds
  double start_time = 0.0; // time of the first sample
  std::string date;
  std::string value_type;    // e.g. "int16 (scaled)", "float32"
  std::string byte_order;    // e.g. "little-endian"
  bool float_values = false; // stored as floats (not scaled integers, not text)
  // RPC III: every header record in file order (keyword, value), so that a
  // copy keeps what the tool does not interpret.
  std::vector<std::pair<std::string, std::string>> records;
  std::vector<ChannelInfo> channels;

  int channel_count() const { return static_cast<int>(channels.size()); }
  double time_at(int64_t index) const { return start_time + static_cast<double>(index) * dt; }
};

// One channel read in order from a given sample.
class SampleStream {
public:
  virtual ~SampleStream() = default;
  // The next count samples into values. Throws a ToolError on failure.
  virtual void next(double *values, int64_t count) = 0;
};

class SignalFile {
public:
  virtual ~SignalFile() = default;
  const SignalInfo &info() const { return info_; }

  // Throws a ToolError naming the file when channel is not 1 to channels.
  void check_channel(int channel) const;

  // All samples of one channel. Throws a ToolError on failure.
  virtual std::vector<double> read(int channel) = 0;

  // Samples first to first + count - 1 (from 0) of a channel.
  std::vector<double> read(int channel, int64_t first, int64_t count);

  // A channel from sample first on (0 to points), read as it is consumed:
  // files override it so that a window reads only what it needs and a
  // stream holds one block, not the channel.
  virtual std::unique_ptr<SampleStream> stream(int channel, int64_t first);

  // Samples first to first + count - 1 of a channel in blocks, in order:
  // sink(values, count). read_blocks: the whole channel.
  using BlockSink = std::function<void(const double *, size_t)>;
  void read_range(int channel, int64_t first, int64_t count, const BlockSink &sink);
  void read_blocks(int channel, const BlockSink &sink) {
    read_range(channel, 0, info_.points, sink);
  }

protected:
  SignalInfo info_;
};

// Opens path: RPC III or DAC by content, else CSV by extension, read as
// csv says; "-" is standard input (see open_standard_input). Throws a
// ToolError for a missing file, an unknown format or a damaged file.
std::unique_ptr<SignalFile> open_signal(const std::string &path, const CsvOptions &csv = {});

// A signal held in memory (synthesised signals).
class MemorySignal : public SignalFile {
public:
  MemorySignal(SignalInfo info, std::vector<std::vector<double>> columns);
  std::vector<double> read(int channel) override;

private:
  std::vector<std::vector<double>> columns_;
};

// One channel of one open file, as the writers and the CSV output take it.
struct ChannelRef {
  SignalFile *file;
  int channel;
  const ChannelInfo &info() const { return file->info().channels[channel - 1]; }
};

// Samples first to first + count - 1 (from 0) of every channel selected.
struct SampleWindow {
  int64_t first = 0;
  int64_t count = 0;
};

} // namespace zel_tool
