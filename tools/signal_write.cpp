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
#include <optional>

namespace zel_tool {

namespace {

// Sets (or removes, for a null value) an environment variable for the
// lifetime of the object and restores the previous state afterwards.
class ScopedEnvironment {
public:
  ScopedEnvironment(const char *name, const char *value) : name_(name) {
    if (const char *old = std::getenv(name)) previous_ = std::string(old);
    set(value);
  }
  ~ScopedEnvironment() { set(previous_ ? previous_->c_str() : nullptr); }
  ScopedEnvironment(const ScopedEnvironment &) = delete;
  ScopedEnvironment &operator=(const ScopedEnvironment &) = delete;

private:
  void set(const char *value) {
#ifdef _WIN32
    _putenv_s(name_.c_str(), value ? value : "");
#else
    if (value)
      ::setenv(name_.c_str(), value, 1);
    else
      ::unsetenv(name_.c_str());
#endif
  }
  std::string name_;
  std::optional<std::string> previous_;
};

// The writer reads this variable when it is created: set, it stores floats.
constexpr const char *float_variable = "QEN_KZEL_RPC_FLOAT";

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
  fail(path, "unknown output format: name it .rsp, .rpc or .tim (RPC III), .dac or .csv");
}

void write_rpc3(const std::string &path, const std::vector<ChannelRef> &channels, int64_t points,
                double dt, bool floats, Progress *progress) {
  if (points < 1) fail(path, "no samples to write");
  if (points > INT_MAX) fail(path, "too many samples for an RPC III file");
  if (!(dt > 0.0)) fail(path, "the sample interval must be above 0");
  AtomicOutput output(path);
  void *handle = nullptr;
  int status = 0;
  {
    // Without --float the variable is removed, so that integers are what
    // the caller gets whatever the environment says.
    ScopedEnvironment value_type(float_variable, floats ? "1" : nullptr);
    handle = zel_rpc_create(output.temp().c_str(), static_cast<int>(channels.size()),
                            static_cast<int>(points), dt, &status);
  }
  if (handle == nullptr) fail(path, rpc_message(status));
  if (status != 0) {
    zel_rpc_writeclose(handle);
    fail(path, rpc_message(status));
  }
  int channel = 0;
  for (const ChannelRef &ref : channels) {
    ++channel;
    std::vector<double> values;
    try {
      values = ref.file->read(ref.channel);
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
    if (progress) progress->advance(1);
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
                                   Progress *progress) {
  const std::vector<std::string> names = dac_names(path, static_cast<int>(channels.size()));
  // Every file is written as a temporary; none is renamed unless all are written.
  std::vector<std::unique_ptr<AtomicOutput>> outputs;
  for (size_t i = 0; i < channels.size(); ++i) {
    const ChannelRef &ref = channels[i];
    const SignalInfo &info = ref.file->info();
    if (!(info.dt > 0.0)) fail(names[i], "the sample interval must be above 0");
    const std::vector<double> values = ref.file->read(ref.channel);
    if (values.empty() || values.size() > static_cast<size_t>(INT_MAX))
      fail(names[i], "no samples to write");
    outputs.push_back(std::make_unique<AtomicOutput>(names[i]));
    const int status = zel_dac_write(
        outputs.back()->temp().c_str(), static_cast<int>(values.size()), info.start_time,
        1.0 / info.dt, values.data(), "s", ref.info().description.c_str(), ref.info().unit.c_str());
    if (status != 0) fail(names[i], dac_message(status));
    if (progress) progress->advance(1);
  }
  std::vector<AtomicOutput *> group;
  for (const auto &output : outputs) group.push_back(output.get());
  commit_all(group);
  return names;
}

} // namespace zel_tool
