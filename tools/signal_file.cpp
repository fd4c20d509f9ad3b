#include "signal_file.h"

#include "mat_file.h"
#include "number_text.h"
#include "tool_error.h"
#include "zel.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace zel_tool {

const char *format_name(Format format) {
  switch (format) {
  case Format::Rpc3: return "RPC III";
  case Format::Dac: return "DAC";
  case Format::Csv: return "CSV";
  case Format::Mat: return "MATLAB";
  case Format::Memory: return "memory";
  }
  return "?";
}

void SignalFile::check_channel(int channel) const {
  if (channel >= 1 && channel <= info_.channel_count()) return;
  const std::string range = "channel " + std::to_string(channel) + " (the file has " +
                            std::to_string(info_.channel_count()) + ")";
  if (info_.format == Format::Rpc3)
    fail(info_.path, rpc_message(ZEL_RPC_CHANNEL_RANGE) + " " + range);
  fail(info_.path, "channel number out of range: " + range);
}

namespace {

constexpr int64_t kBlock = 65536; // samples per block when streaming a channel

// A channel held in memory, read from a position.
class HeldStream : public SampleStream {
public:
  HeldStream(std::vector<double> values, int64_t first) : values_(std::move(values)), at_(first) {}
  void next(double *values, int64_t count) override {
    std::copy_n(values_.begin() + at_, count, values);
    at_ += count;
  }

private:
  std::vector<double> values_;
  int64_t at_;
};

} // namespace

std::unique_ptr<SampleStream> SignalFile::stream(int channel, int64_t first) {
  return std::make_unique<HeldStream>(read(channel), first);
}

std::vector<double> SignalFile::read(int channel, int64_t first, int64_t count) {
  check_channel(channel);
  std::vector<double> values(static_cast<size_t>(count));
  if (count > 0) stream(channel, first)->next(values.data(), count);
  return values;
}

void SignalFile::read_range(int channel, int64_t first, int64_t count, const BlockSink &sink) {
  check_channel(channel);
  if (count <= 0) return;
  std::unique_ptr<SampleStream> in = stream(channel, first);
  std::vector<double> block(static_cast<size_t>(std::min(kBlock, count)));
  for (int64_t done = 0; done < count;) {
    const int64_t k = std::min(kBlock, count - done);
    in->next(block.data(), k);
    sink(block.data(), static_cast<size_t>(k));
    done += k;
  }
}

namespace {

// Reads RPC III files through the library's reader class: its header gives
// the value type and byte order besides what the plain functions report.
class Rpc3Signal : public SignalFile {
public:
  explicit Rpc3Signal(const std::string &path) : input_(path.c_str()) {
    info_.format = Format::Rpc3;
    info_.path = path;
    if (input_.getStatus() != 0) fail(path, rpc_message(input_.getStatus()));
    // Budget 0: the reader holds two frames per channel and slides them
    // along; whole-channel reads then cost one pass over the file, with
    // nothing loaded up front (measured faster than holding the file).
    input_.initRead(0);
    if (input_.getStatus() != 0) fail(path, rpc_message(input_.getStatus()));

    int channels = 0, points = 0;
    double dt = 0.0;
    char date[96] = {};
    const int status = input_.getInfo(channels, points, dt, date);
    if (status != 0) fail(path, rpc_message(status));
    if (!(dt > 0.0)) fail(path, "sample interval " + exact(dt) + " s is not above 0");
    // Every channel holds whole frames; the samples that hold data are the
    // count the file records, when it records one.
    padded_points_ = points;
    info_.points = input_.getSamples();
    info_.dt = dt;
    info_.date = date;
    char keyword[32], value[96];
    for (int r = 1; input_.getRecord(r, keyword, value) == 0; ++r)
      info_.records.emplace_back(keyword, value);

    const rpc3_header &header = input_.getHeader();
    const bool floats = std::strcmp(header.data_type, "FLOATING_POINT") == 0;
    info_.float_values = floats;
    info_.value_type = floats ? "float32" : "int16 (scaled)";
    info_.byte_order =
        std::strcmp(header.format, "BINARY_IEEE_BIG_END") == 0 ? "big-endian" : "little-endian";

    for (int c = 1; c <= channels; ++c) {
      char description[96] = {}, units[96] = {};
      const int code = input_.getAttributes(c, description, units);
      if (code != 0) fail(path, rpc_message(code));
      info_.channels.push_back({description, units});
    }
  }

  std::vector<double> read(int channel) override {
    check_channel(channel);
    std::vector<double> values(static_cast<size_t>(padded_points_));
    if (values.empty()) return values;
    const int code = input_.getData(channel, values.data());
    if (code != 0) fail(info_.path, rpc_message(code));
    if (input_.getStatus() != 0) fail(info_.path, rpc_message(input_.getStatus()));
    values.resize(static_cast<size_t>(info_.points));
    return values;
  }

  // Ranges through the shared reader: each block reads only its points.
  std::unique_ptr<SampleStream> stream(int channel, int64_t first) override {
    check_channel(channel);
    class Stream : public SampleStream {
    public:
      Stream(Rpc3Signal &file, int channel, int64_t first)
          : file_(file), channel_(channel), at_(first) {}
      void next(double *values, int64_t count) override {
        const int code =
            file_.input_.getRange(channel_, static_cast<int>(at_), static_cast<int>(count), values);
        if (code != 0) fail(file_.info_.path, rpc_message(code));
        if (file_.input_.getStatus() != 0)
          fail(file_.info_.path, rpc_message(file_.input_.getStatus()));
        at_ += count;
      }

    private:
      Rpc3Signal &file_;
      int channel_;
      int64_t at_;
    };
    return std::make_unique<Stream>(*this, channel, first);
  }

private:
  rpc3file_input input_;
  int64_t padded_points_ = 0; // whole frames per channel
};

class DacSignal : public SignalFile {
public:
  explicit DacSignal(const std::string &path) {
    info_.format = Format::Dac;
    info_.path = path;
    int npts = 0;
    double start = 0.0, rate = 0.0;
    char date[121] = {}, x_label[25] = {}, x_note[29] = {}, y_label[25] = {}, y_note[29] = {};
    const int status =
        zel_dac_read(path.c_str(), &npts, &start, &rate, date, x_label, x_note, y_label, y_note);
    if (status != 0) fail(path, dac_message(status));
    info_.points = npts;
    info_.start_time = start;
    // The file holds the interval as a 32-bit float, so 100 Hz reads back
    // as 100.0000022 Hz. A rate that is a whole number within that
    // precision is taken as the whole number.
    const double whole = std::nearbyint(rate);
    if (whole >= 1.0 && std::fabs(rate - whole) <= rate * 0x1p-23) rate = whole;
    if (!(rate > 0.0) || std::isinf(rate)) fail(path, dac_message(ZEL_DAC_BAD_RATE));
    info_.dt = 1.0 / rate;
    info_.date = date;
    info_.value_type = "float32";
    info_.float_values = true;
    info_.byte_order = "little-endian";
    info_.channels.push_back({y_label, y_note});
  }

  std::vector<double> read(int channel) override {
    check_channel(channel);
    int npts = 0;
    double start = 0.0, rate = 0.0;
    std::vector<double> values(static_cast<size_t>(info_.points));
    if (values.empty()) return values;
    const int status = zel_dac_data(info_.path.c_str(), &npts, &start, &rate, values.data());
    if (status != 0) fail(info_.path, dac_message(status));
    if (npts != info_.points) fail(info_.path, "file changed while it was read");
    return values;
  }

  // A handle of its own, read in order; samples before first are read
  // and dropped, a block at a time.
  std::unique_ptr<SampleStream> stream(int channel, int64_t first) override {
    check_channel(channel);
    class Stream : public SampleStream {
    public:
      Stream(const std::string &path, int64_t points) : path_(path), points_(points) {
        int npts = 0, status = 0;
        double rate = 0.0, spare = 0.0;
        handle_ = zel_dac_open(path.c_str(), &npts, &rate, &spare, &status);
        if (!handle_ || (status != 0 && status != ZEL_DAC_BAD_RATE)) {
          if (handle_) zel_dac_close(handle_);
          fail(path, dac_message(status));
        }
      }
      ~Stream() override { zel_dac_close(handle_); }
      void skip(int64_t count) {
        std::vector<double> block(static_cast<size_t>(std::min(kBlock, count)));
        for (int64_t done = 0; done < count;) {
          const int64_t k = std::min(kBlock, count - done);
          next(block.data(), k);
          done += k;
        }
      }
      void next(double *values, int64_t count) override {
        if (count > points_ - at_) fail(path_, dac_message(ZEL_DAC_DATA_READ));
        for (int64_t done = 0; done < count;) {
          const int k = static_cast<int>(std::min(kBlock, count - done));
          if (zel_dac_getnpts(handle_, k, values + done) != k)
            fail(path_, dac_message(ZEL_DAC_DATA_READ));
          done += k;
        }
        at_ += count;
      }

    private:
      std::string path_;
      int64_t points_;
      int64_t at_ = 0;
      void *handle_ = nullptr;
    };
    auto in = std::make_unique<Stream>(info_.path, info_.points);
    in->skip(first);
    return in;
  }
};

bool has_extension(const std::string &path, const char *wanted) {
  std::string ext = std::filesystem::path(path).extension().string();
  for (char &c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return ext == wanted;
}

} // namespace

MemorySignal::MemorySignal(SignalInfo info, std::vector<std::vector<double>> columns)
    : columns_(std::move(columns)) {
  info_ = std::move(info);
}

std::vector<double> MemorySignal::read(int channel) {
  check_channel(channel);
  return columns_[static_cast<size_t>(channel - 1)];
}

std::unique_ptr<SignalFile> open_signal(const std::string &path, const CsvOptions &csv) {
  if (path == "-") return open_standard_input(csv);
  {
    std::ifstream probe(path, std::ios::binary);
    if (!probe) fail(path, std::string("cannot open: ") + std::strerror(errno));
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) fail(path, "is a directory");
  }
  if (has_extension(path, ".mat")) return read_mat(path);
  if (zel_rpc_sniff(path.c_str()) == 1) return std::make_unique<Rpc3Signal>(path);
  if (zel_dac_sniff(path.c_str()) == 1) return std::make_unique<DacSignal>(path);
  if (has_extension(path, ".csv")) return read_csv(path, path, csv);
  fail(path, "unknown format: neither an RPC III nor a DAC file (nor a .csv table)");
}

} // namespace zel_tool
