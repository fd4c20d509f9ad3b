// Run the built `zel` in a scratch folder; write and read its files through the library's public functions.
#pragma once

#include "support/temp_dir.h"
#include "zel.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <regex>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>

namespace cli_test {

using namespace zel_test;
using Columns = std::vector<std::vector<double>>;

struct Outcome {
  int status = -1; // 128 + s: ended by signal s
  std::string out, err;
};

// Runs zel in dir, its standard input read from input when given, its temporaries (TMPDIR) in dir; the files it writes
// may not grow beyond limit bytes (0: no limit); running, when given, gets the child's pid meanwhile.
inline Outcome run_zel(const TempDir &dir, const std::vector<std::string> &args, const std::string &input = "",
                       rlim_t limit = 0, const std::function<void(pid_t)> &running = {}) {
  std::vector<char *> argv = {const_cast<char *>(ZEL_CLI)};
  for (const std::string &arg : args) argv.push_back(const_cast<char *>(arg.c_str()));
  argv.push_back(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    const rlimit cap = {limit, limit};
    if (chdir(dir.path().c_str()) == 0 && setenv("TMPDIR", dir.path().c_str(), 1) == 0 &&
        (input.empty() || dup2(open(input.c_str(), O_RDONLY), 0) == 0) &&
        dup2(open(".stdout", O_WRONLY | O_CREAT | O_TRUNC, 0644), 1) == 1 &&
        dup2(open(".stderr", O_WRONLY | O_CREAT | O_TRUNC, 0644), 2) == 2 &&
        (!limit || setrlimit(RLIMIT_FSIZE, &cap) == 0))
      execv(ZEL_CLI, argv.data());
    _exit(127);
  }
  int raw = 0;
  if (running) running(pid);
  waitpid(pid, &raw, 0);
  return {WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw), read_file(dir.file(".stdout")),
          read_file(dir.file(".stderr"))};
}

// A failure: non-zero exit, one line on stderr starting "zel: ", holding every needle.
inline void expect_failure(const Outcome &run, const std::vector<std::string> &needles) {
  EXPECT_NE(run.status, 0);
  EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
  EXPECT_EQ(run.err.rfind("zel: ", 0), 0u) << run.err;
  for (const std::string &needle : needles) EXPECT_NE(run.err.find(needle), std::string::npos) << needle;
}

// Name -> size (0 for a folder) and time of the last change of every file in folder, zel's captured output excluded.
inline std::map<std::string, std::pair<uintmax_t, int64_t>> contents(const std::filesystem::path &folder) {
  std::map<std::string, std::pair<uintmax_t, int64_t>> files;
  for (const auto &entry : std::filesystem::directory_iterator(folder))
    files[entry.path().filename().string()] = {entry.is_directory() ? 0 : entry.file_size(),
                                               entry.last_write_time().time_since_epoch().count()};
  files.erase(".stdout"), files.erase(".stderr");
  return files;
}

// An RPC III file (of floats unless type says otherwise) with a date, a file-wide record and one per channel; names:
// (description, unit) per channel, the last one repeated.
inline void write_rpc(const std::string &path, const Columns &channels, double dt,
                      const std::vector<std::pair<std::string, std::string>> &names = {{"Channel", "N"}},
                      int type = ZEL_RPC_FLOAT32) {
  int status = -1;
  void *h = zel_rpc_create_as(path.c_str(), int(channels.size()), int(channels[0].size()), dt, type,
                              ZEL_RPC_ROUND_NEAREST, 1 + int(channels.size()), &status);
  ASSERT_EQ(status, 0);
  EXPECT_EQ(zel_rpc_putrecord(h, "DATE", "1-Jan-2026"), 0);
  EXPECT_EQ(zel_rpc_putrecord(h, "TEST_RIG", "rig 7"), 0);
  for (size_t c = 0; c < channels.size(); ++c) {
    const auto &[text, unit] = names[std::min(c, names.size() - 1)];
    const std::string n = std::to_string(c + 1);
    EXPECT_EQ(zel_rpc_putrecord(h, ("STAT_CHAN_" + n).c_str(), ("stat of " + n).c_str()), 0);
    ASSERT_EQ(
        zel_rpc_putchannel(h, int(c + 1), int(channels[c].size()), channels[c].data(), text.c_str(), unit.c_str()), 0);
  }
  ASSERT_EQ(zel_rpc_writeclose(h), 0);
}

inline void write_dac(const std::string &path, const std::vector<double> &v, double rate, double start = 0.0) {
  ASSERT_EQ(zel_dac_write(path.c_str(), int(v.size()), start, rate, v.data(), "s", "Travel", "mm"), 0);
}

// One channel of an RPC III or DAC file as the library reads it; dt, when given, gets an RPC III file's interval.
inline std::vector<double> read_signal(const std::string &path, int channel = 1, double *dt = nullptr) {
  int n = 0;
  double start, rate, step;
  const auto read = [&](double *values) {
    return zel_rpc_sniff(path.c_str()) == 1 ? zel_rpc_data(path.c_str(), channel, &n, &step, values)
                                            : zel_dac_data(path.c_str(), &n, &start, &rate, values);
  };
  read(nullptr);
  std::vector<double> v(size_t(std::max(n, 0)));
  EXPECT_EQ(read(v.data()), 0) << path;
  if (dt) *dt = step;
  return v;
}

// Every value of "key" in zel's JSON, in order: strings without quotes, numbers as printed.
inline std::vector<std::string> json(const std::string &text, const std::string &key) {
  std::vector<std::string> values;
  const std::regex pattern("\"" + key + "\": (\"([^\"]*)\"|[^,}\n]*)");
  for (std::sregex_iterator m(text.begin(), text.end(), pattern), end; m != end; ++m)
    values.push_back((*m)[2].matched ? (*m)[2] : (*m)[1]);
  return values;
}

} // namespace cli_test
