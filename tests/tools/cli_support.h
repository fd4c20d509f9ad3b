// Run the built `zel` as a child; write and read files through the library's
// public functions; pick values out of `zel info --json`.
#pragma once

#include "support/temp_dir.h"
#include "zel.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <map>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>

namespace cli_test {

using zel_test::TempDir;
using Columns = std::vector<std::vector<double>>;
inline std::string slurp(const std::string &path) { return zel_test::read_file_text(path); }

struct Outcome {
  int status = -1;
  std::string out, err;
}; // status 128 + s: ended by signal s

// Runs zel with args in dir; its files may not grow beyond limit bytes (0: no
// limit); running, when given, gets the child's pid while it runs.
inline Outcome run_zel(const TempDir &dir, const std::vector<std::string> &args, rlim_t limit = 0,
                       const std::function<void(pid_t)> &running = {}) {
  std::vector<char *> argv = {const_cast<char *>(ZEL_CLI)};
  for (const std::string &arg : args) argv.push_back(const_cast<char *>(arg.c_str()));
  argv.push_back(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    const rlimit cap = {limit, limit};
    if (chdir(dir.path().c_str()) != 0 || dup2(open(".stdout", O_WRONLY | O_CREAT | O_TRUNC, 0644), 1) < 0 ||
        dup2(open(".stderr", O_WRONLY | O_CREAT | O_TRUNC, 0644), 2) < 0 ||
        (limit && setrlimit(RLIMIT_FSIZE, &cap) != 0))
      _exit(126);
    execv(ZEL_CLI, argv.data());
    _exit(127);
  }
  int raw = 0;
  if (running) running(pid);
  waitpid(pid, &raw, 0);
  return {WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw), slurp(dir.file(".stdout")),
          slurp(dir.file(".stderr"))};
}

// A failure: non-zero exit, one line on stderr starting "zel: ", holding every needle.
inline void expect_failure(const Outcome &run, const std::vector<std::string> &needles) {
  EXPECT_NE(run.status, 0);
  EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
  EXPECT_EQ(run.err.rfind("zel: ", 0), 0u) << run.err;
  for (const std::string &needle : needles)
    EXPECT_NE(run.err.find(needle), std::string::npos) << needle << ": " << run.err;
}

// Name -> bytes of every file in folder (zel's captured output excluded).
inline std::map<std::string, std::string> contents(const std::filesystem::path &folder) {
  std::map<std::string, std::string> files;
  for (const auto &entry : std::filesystem::directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    if (name != ".stdout" && name != ".stderr" && !entry.is_directory()) files[name] = slurp(entry.path().string());
  }
  return files;
}

// An RPC III file through the library (floats when floats is set); names are
// (description, unit) per channel.
inline void write_rpc(const std::string &path, const Columns &channels, double dt, bool floats = false,
                      const std::vector<std::pair<std::string, std::string>> &names = {}) {
  floats ? setenv("QEN_KZEL_RPC_FLOAT", "1", 1) : unsetenv("QEN_KZEL_RPC_FLOAT");
  int status = -1;
  void *h = zel_rpc_create(path.c_str(), int(channels.size()), int(channels[0].size()), dt, &status);
  unsetenv("QEN_KZEL_RPC_FLOAT");
  ASSERT_EQ(status, 0);
  for (size_t c = 0; c < channels.size(); ++c)
    ASSERT_EQ(zel_rpc_putchannel(h, int(c + 1), int(channels[c].size()), channels[c].data(),
                                 c < names.size() ? names[c].first.c_str() : "Channel",
                                 c < names.size() ? names[c].second.c_str() : "N"),
              0);
  ASSERT_EQ(zel_rpc_writeclose(h), 0);
}

inline std::vector<double> rpc_channel(const std::string &path, int channel, double *dt = nullptr) {
  int points = 0;
  double interval = 0.0;
  zel_rpc_data(path.c_str(), channel, &points, &interval, nullptr);
  std::vector<double> values(size_t(std::max(points, 0)));
  EXPECT_EQ(zel_rpc_data(path.c_str(), channel, &points, dt ? dt : &interval, values.data()), 0) << path;
  return values;
}

inline void write_dac(const std::string &path, const std::vector<double> &v, double rate, double start = 0.0,
                      const char *label = "x") {
  ASSERT_EQ(zel_dac_write(path.c_str(), int(v.size()), start, rate, v.data(), "s", label, "mm"), 0);
}

inline std::vector<double> dac_samples(const std::string &path, double *rate = nullptr, double *start = nullptr) {
  int n = 0;
  double s = 0.0, r = 0.0;
  zel_dac_data(path.c_str(), &n, &s, &r, nullptr);
  std::vector<double> values(size_t(std::max(n, 0)));
  EXPECT_EQ(zel_dac_data(path.c_str(), &n, start ? start : &s, rate ? rate : &r, values.data()), 0) << path;
  return values;
}

// Every value of "key" in the JSON text, in order: strings without quotes
// (no escapes in these tests), numbers as printed.
inline std::vector<std::string> json_values(const std::string &json, const std::string &key) {
  std::vector<std::string> values;
  for (size_t at = json.find("\"" + key + "\": "); at != std::string::npos;
       at = json.find("\"" + key + "\": ", at + 1)) {
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
