// Every file zel writes appears whole or not at all: a failed write, a
// signal or an output that is also an input leaves the folder as it was,
// with a non-zero exit and one line on stderr naming the file.
#include "cli_support.h"

#include <csignal>
#include <functional>
#include <map>
#include <thread>

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

using namespace cli_test;

namespace {

// Runs zel in dir as a child process whose files may not grow beyond
// limit bytes (0: no limit); running, when given, is called with the
// child's pid while it runs. A child ended by signal s gives status 128 + s.
Outcome run_child(const TempDir &dir, const std::vector<std::string> &args, rlim_t limit,
                  const std::function<void(pid_t)> &running = {}) {
  std::vector<char *> argv = {const_cast<char *>(ZEL_CLI)};
  for (const std::string &arg : args) argv.push_back(const_cast<char *>(arg.c_str()));
  argv.push_back(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    const rlimit cap = {limit, limit};
    if (chdir(dir.path().c_str()) != 0 || dup2(open(".stdout", O_WRONLY | O_CREAT | O_TRUNC, 0644), 1) < 0 ||
        dup2(open(".stderr", O_WRONLY | O_CREAT | O_TRUNC, 0644), 2) < 0 || (limit && setrlimit(RLIMIT_FSIZE, &cap) != 0))
      _exit(126);
    execv(ZEL_CLI, argv.data());
    _exit(127);
  }
  if (running) running(pid);
  int raw = 0;
  waitpid(pid, &raw, 0);
  return {WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw), slurp(dir.file(".stdout")), slurp(dir.file(".stderr"))};
}

// Name -> bytes of every file in folder (hidden ones included, zel's own
// output captures excluded).
std::map<std::string, std::string> contents(const std::filesystem::path &folder) {
  std::map<std::string, std::string> files;
  for (const auto &entry : std::filesystem::directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    if (name != ".stdout" && name != ".stderr" && !entry.is_directory()) files[name] = slurp(entry.path().string());
  }
  return files;
}

void expect_one_line_naming(const Outcome &run, const std::string &file) {
  EXPECT_NE(run.status, 0);
  EXPECT_EQ(run.err_lines(), 1u) << run.err;
  EXPECT_EQ(run.err.rfind("zel: " + file + ": ", 0), 0u) << run.err;
}

} // namespace

// Under a 64 KiB file-size limit every kind of output fails part-way: no
// target and no temporary is left.
TEST(CliOutput, FailedWriteLeavesNothingAndSaysWhy) {
  TempDir dir;
  std::filesystem::create_directory(dir.path() / "out");
  Columns c(3, std::vector<double>(40000));
  for (size_t i = 0; i < c[0].size(); ++i) c[0][i] = std::sin(0.01 * double(i)), c[1][i] = double(i), c[2][i] = -0.5;
  write_rpc(dir.file("in.rsp"), c, 0.001, true); // 480 kB; every output below is larger than the limit
  const std::string out = dir.file("out/x");
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"convert", "in.rsp", out + ".rsp"}, out + ".rsp"},
      {{"convert", "in.rsp", out + ".dac"}, out + "_1.dac"},
      {{"convert", "in.rsp", out + ".csv"}, out + ".csv"},
      {{"plot", "in.rsp", "-c", "1", "-c", "2", "--width", "20000", "-o", out + ".svg"}, out + ".svg"},
      {{"export-modal", "--modes", "20", "--steps", "2000", "--op2", out + ".op2"}, out + ".op2"},
      {{"export-modal", "--modes", "20", "--steps", "2000", "--punch", out + ".pch"}, out + ".pch"}};
  for (const auto &[args, named] : cases) {
    SCOPED_TRACE(named);
    expect_one_line_naming(run_child(dir, args, 64 << 10), named);
    EXPECT_TRUE(contents(dir.path() / "out").empty());
  }
  // A file already at the target survives a failed conversion unchanged.
  std::ofstream(out + ".csv") << "earlier\n";
  expect_one_line_naming(run_child(dir, cases[2].first, 64 << 10), out + ".csv");
  EXPECT_EQ(contents(dir.path() / "out"), (std::map<std::string, std::string>{{"x.csv", "earlier\n"}}));
}

// SIGTERM while a long CSV conversion runs: the temporary goes, no target
// appears, and the process ends by the signal.
TEST(CliOutput, SigtermDuringConversionRemovesTheTemporary) {
  TempDir dir;
  std::filesystem::create_directory(dir.path() / "out");
  write_rpc(dir.file("long.rsp"), Columns(2, std::vector<double>(1 << 20, 0.1)), 0.001, true);
  const Outcome run = run_child(dir, {"convert", "long.rsp", "out/long.csv"}, 0, [&](pid_t pid) {
    while (contents(dir.path() / "out").empty()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    kill(pid, SIGTERM);
  });
  EXPECT_EQ(run.status, 128 + SIGTERM) << run.err;
  EXPECT_EQ(run.err.rfind("zel: out/long.csv: terminated", 0), 0u) << run.err;
  EXPECT_TRUE(contents(dir.path() / "out").empty());
}

// convert (and plot) refuse, before writing anything, an output that is
// one of the inputs, however it is named.
TEST(CliOutput, RefusesToOverwriteAnInput) {
  TempDir dir;
  write_dac(dir.file("a.dac"), {1, 2, 3}, 10.0);
  write_dac(dir.file("x_1.dac"), {4, 5}, 10.0);
  write_dac(dir.file("x_2.dac"), {6, 7}, 10.0);
  std::filesystem::create_hard_link(dir.file("a.dac"), dir.file("hard.dac"));
  std::filesystem::create_symlink("a.dac", dir.file("soft.dac"));
  const std::map<std::string, std::string> before = contents(dir.path());
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"convert", "a.dac", "./a.dac"}, "./a.dac"},                // the same path, spelled otherwise
      {{"convert", "x_2.dac", "x_1.dac", "x.dac"}, "x_1.dac"},    // a derived name OUT_n.dac
      {{"convert", "a.dac", "hard.dac"}, "hard.dac"},
      {{"convert", "a.dac", "soft.dac"}, "soft.dac"},
      {{"plot", "a.dac", "-c", "1", "-o", "a.dac"}, "a.dac"}};
  for (const auto &[args, named] : cases) {
    SCOPED_TRACE(args.back());
    const Outcome run = run_zel(dir, args);
    expect_one_line_naming(run, named);
    EXPECT_NE(run.err.find("would overwrite the input"), std::string::npos) << run.err;
    EXPECT_EQ(contents(dir.path()), before);
  }
}
