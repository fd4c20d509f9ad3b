// Helpers for the command-line tool's tests: run the built `zel` with its
// output captured, write and read files through the library's own
// functions, and pick values out of what `zel info --json` prints.
#pragma once

#include "support/temp_dir.h"
#include "zel.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <sys/wait.h>

namespace cli_test {

using zel_test::TempDir;
using Columns = std::vector<std::vector<double>>;

struct Outcome {
  int status = -1;
  std::string out, err;
  size_t err_lines() const { return size_t(std::count(err.begin(), err.end(), '\n')); }
};

inline std::string slurp(const std::string &path) {
  std::ostringstream text;
  text << std::ifstream(path, std::ios::binary).rdbuf();
  return text.str();
}

inline std::string quote(const std::string &arg) {
  std::string q = "'";
  for (char c : arg) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

// Runs zel with args inside the temporary directory.
inline Outcome run_zel(const TempDir &dir, const std::vector<std::string> &args) {
  std::string command = "cd " + quote(dir.path().string()) + " && " + quote(ZEL_CLI);
  for (const std::string &arg : args) command += " " + quote(arg);
  const int raw = std::system((command + " >.stdout 2>.stderr </dev/null").c_str());
  return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, slurp(dir.file(".stdout")), slurp(dir.file(".stderr"))};
}

// Writes an RPC III file through the library (floats when floats is set);
// names are (description, unit) per channel.
inline void write_rpc(const std::string &path, const Columns &channels, double dt, bool floats = false,
                      const std::vector<std::pair<std::string, std::string>> &names = {}) {
  floats ? setenv("QEN_KZEL_RPC_FLOAT", "1", 1) : unsetenv("QEN_KZEL_RPC_FLOAT");
  int status = -1;
  void *h = zel_rpc_create(path.c_str(), int(channels.size()), int(channels[0].size()), dt, &status);
  unsetenv("QEN_KZEL_RPC_FLOAT");
  ASSERT_EQ(status, 0);
  for (size_t c = 0; c < channels.size(); ++c)
    ASSERT_EQ(zel_rpc_putchannel(h, int(c + 1), int(channels[c].size()), channels[c].data(),
                                 c < names.size() ? names[c].first.c_str() : "Channel", c < names.size() ? names[c].second.c_str() : "N"), 0);
  ASSERT_EQ(zel_rpc_writeclose(h), 0);
}

inline std::vector<double> rpc_channel(const std::string &path, int channel, double *dt = nullptr) {
  int points = 0;
  double interval = 0.0;
  zel_rpc_data(path.c_str(), channel, &points, &interval, nullptr);
  std::vector<double> values(static_cast<size_t>(points));
  EXPECT_EQ(zel_rpc_data(path.c_str(), channel, &points, &interval, values.data()), 0) << path;
  if (dt) *dt = interval;
  return values;
}

inline void write_dac(const std::string &path, const std::vector<double> &values, double rate, double start = 0.0,
                      const std::string &label = "x", const std::string &unit = "y") {
  ASSERT_EQ(zel_dac_write(path.c_str(), int(values.size()), start, rate, values.data(), "s", label.c_str(), unit.c_str()), 0);
}

inline std::vector<double> dac_samples(const std::string &path, double *rate = nullptr, double *start = nullptr) {
  int n = 0;
  double s = 0.0, r = 0.0;
  zel_dac_data(path.c_str(), &n, &s, &r, nullptr);
  std::vector<double> values(static_cast<size_t>(n));
  EXPECT_EQ(zel_dac_data(path.c_str(), &n, &s, &r, values.data()), 0) << path;
  if (rate) *rate = r;
  if (start) *start = s;
  return values;
}

// Every value of "key" in the JSON text, in order: strings without their
// quotes (no escapes in these tests), numbers as printed.
inline std::vector<std::string> json_values(const std::string &json, const std::string &key) {
  std::vector<std::string> values;
  for (size_t at = json.find("\"" + key + "\": "); at != std::string::npos; at = json.find("\"" + key + "\": ", at + 1)) {
    const size_t begin = at + key.size() + 4;
    values.push_back(json[begin] == '"' ? json.substr(begin + 1, json.find('"', begin + 1) - begin - 1)
                                        : json.substr(begin, json.find_first_of(",}\n", begin) - begin));
  }
  return values;
}
inline double json_number(const std::string &json, const std::string &key, size_t i = 0) {
  return std::stod(json_values(json, key).at(i));
}

} // namespace cli_test
