// Every writer reports a write that did not reach its file and leaves no file behind that could be read as valid: under
// a file-size limit (SIGXFSZ ignored, so writes fail with EFBIG) and on a file system that fills up part-way.
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <functional>

#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>

#include "support/temp_dir.h"
#include "zel.h"

namespace {

using Fault = std::string;        // "HealthyDisk", "FileSizeLimit" or "FullTmpfs"
constexpr long kRoom = 64 * 1024; // bytes the limit or the file system allows
constexpr int kChannels = 4, kPoints = 50000, kModes = 8, kSteps = 4000; // every file is several times that

// Puts one fault in place for the scope of a case; skip says why a machine cannot have it.
struct FaultScope {
  FaultScope(Fault f, const zel_test::TempDir &dir) : fault(f), folder(dir.path().string()) {
    if (f == "FileSizeLimit") {
      getrlimit(RLIMIT_FSIZE, &saved), old_handler = std::signal(SIGXFSZ, SIG_IGN);
      const rlimit limited{static_cast<rlim_t>(kRoom), saved.rlim_max};
      if (setrlimit(RLIMIT_FSIZE, &limited) != 0) skip = std::strerror(errno);
    }
    if (f == "FullTmpfs") { // in a mount namespace of this process's own, gone with it
      std::filesystem::create_directory(folder += "/full");
      mounted = unshare(CLONE_NEWNS) == 0 && mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
                mount("tmpfs", folder.c_str(), "tmpfs", 0, ("size=" + std::to_string(kRoom)).c_str()) == 0;
      if (!mounted) skip = std::string("cannot mount a small tmpfs: ") + std::strerror(errno);
    }
  }
  ~FaultScope() {
    if (fault == "FileSizeLimit") setrlimit(RLIMIT_FSIZE, &saved), std::signal(SIGXFSZ, old_handler);
    if (mounted) umount2(folder.c_str(), MNT_DETACH);
  }
  Fault fault;
  std::string folder, skip;
  bool mounted = false;
  rlimit saved{};
  void (*old_handler)(int) = SIG_DFL;
};

const std::vector<double> samples = [] { // a channel's worth of points, four times over
  std::vector<double> s(4 * kPoints);
  for (size_t i = 0; i < s.size(); ++i) s[i] = double(i % 977) - 488.25;
  return s;
}();

// Through the C functions: the code of the close tells.
int write_rpc_functions(const std::string &path) {
  int status = -1;
  void *h = zel_rpc_create(path.c_str(), kChannels, kPoints, 0.001, &status);
  for (int c = 1; h && c <= kChannels; ++c) zel_rpc_putchannel(h, c, kPoints, samples.data(), "wheel force", "N");
  return h ? zel_rpc_writeclose(h) : status;
}

// The class, with setChannel's codes ignored: close() must still tell.
int write_rpc_class(const std::string &path) {
  rpc3file_output out(path.c_str(), kChannels, kPoints, 0.001);
  for (int c = 1; c <= kChannels; ++c) out.setChannel(c, kPoints, samples.data(), "wheel", "N");
  return out.close();
}

int write_dac(const std::string &path) {
  return zel_dac_write(path.c_str(), static_cast<int>(samples.size()), 0.0, 1000.0, samples.data(), "", "force", "");
}

// The export entry; its result agrees with the status left for the upper-case writers' callers.
int write_export(int to_punch, const std::string &path) {
  static const std::vector<double> steps(kSteps, 0.01), uh(kSteps * kModes, 1.5), bh(kSteps * 6, -2.5);
  const int r = zel_fes_write_mcs(to_punch, kModes, kSteps, 0, steps.data(), uh.data(), bh.data(), uh.data(), bh.data(),
                                  uh.data(), bh.data(), 0, path.c_str());
  EXPECT_EQ(zel_fes_status(), r == 1 ? 0 : 2);
  return r;
}

const struct {
  const char *name;
  std::function<int(const std::string &)> write;
  int written;               // the code of a complete file
  std::vector<int> failures; // the codes a failed write may give
} kWriters[] = {
    {"rpc.rsp", write_rpc_functions, ZEL_RPC_OK, {ZEL_RPC_WRITE_FAILED}},
    {"class.rsp", write_rpc_class, ZEL_RPC_OK, {ZEL_RPC_WRITE_FAILED}},
    {"signal.dac", write_dac, ZEL_DAC_OK, {ZEL_DAC_DATA_WRITE, ZEL_DAC_HEADER_WRITE, ZEL_DAC_DETAILS_WRITE}},
    {"modes.op2", [](const std::string &p) { return write_export(0, p); }, 1, {2}},
    {"modes.pch", [](const std::string &p) { return write_export(1, p); }, 1, {2}},
};

class WriteFailure : public ::testing::TestWithParam<Fault> {};

TEST_P(WriteFailure, EveryWriterReportsItAndLeavesNoFile) {
  zel_test::TempDir dir;
  FaultScope scope(GetParam(), dir);
  if (!scope.skip.empty()) GTEST_SKIP() << scope.skip;
  for (const auto &w : kWriters) {
    const std::string path = scope.folder + "/" + w.name;
    const int code = w.write(path);
    const std::vector<int> expected = GetParam() == "HealthyDisk" ? std::vector<int>{w.written} : w.failures;
    EXPECT_EQ(std::count(expected.begin(), expected.end(), code), 1) << w.name << ": code " << code;
    EXPECT_EQ(std::filesystem::is_regular_file(path), GetParam() == "HealthyDisk") << w.name << ": file kept or not";
  }
}

INSTANTIATE_TEST_SUITE_P(Faults, WriteFailure, ::testing::Values("HealthyDisk", "FileSizeLimit", "FullTmpfs"),
                         [](const auto &info) { return info.param; });

} // namespace
