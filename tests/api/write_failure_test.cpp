// Every writer reports a write that did not reach its file and leaves no
// file behind that could be read as valid: on a device that is always full,
// under a file-size limit (SIGXFSZ ignored, so writes fail with EFBIG) and
// on a file system that fills up part-way.
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>

#include "support/temp_dir.h"
#include "zel.h"

namespace {

enum Fault { kHealthyDisk, kDevFull, kFileSizeLimit, kFullTmpfs };
constexpr long kRoom = 64 * 1024;                                        // bytes the limit or the file system allows
constexpr int kChannels = 4, kPoints = 50000, kModes = 8, kSteps = 4000; // every file is several times that

// Puts one fault in place for the scope of a case; skip says why a machine cannot have it.
struct FaultScope {
  FaultScope(Fault f, const zel_test::TempDir &dir) : fault(f), folder(dir.path().string()) {
    if (f == kDevFull && !std::filesystem::is_character_file("/dev/full")) skip = "no /dev/full here";
    if (f == kFileSizeLimit) {
      getrlimit(RLIMIT_FSIZE, &saved), old_handler = std::signal(SIGXFSZ, SIG_IGN);
      const rlimit limited{static_cast<rlim_t>(kRoom), saved.rlim_max};
      if (setrlimit(RLIMIT_FSIZE, &limited) != 0) skip = std::strerror(errno);
    }
    if (f == kFullTmpfs) { // in a mount namespace of this process's own, gone with it
      std::filesystem::create_directory(folder += "/full");
      mounted = unshare(CLONE_NEWNS) == 0 && mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
                mount("tmpfs", folder.c_str(), "tmpfs", 0, ("size=" + std::to_string(kRoom)).c_str()) == 0;
      if (!mounted) skip = std::string("cannot mount a small tmpfs: ") + std::strerror(errno);
    }
  }
  ~FaultScope() {
    if (fault == kFileSizeLimit) setrlimit(RLIMIT_FSIZE, &saved), std::signal(SIGXFSZ, old_handler);
    if (mounted) umount2(folder.c_str(), MNT_DETACH);
  }
  std::string target(const std::string &name) const { return fault == kDevFull ? "/dev/full" : folder + "/" + name; }
  Fault fault;
  std::string folder, skip;
  bool mounted = false;
  rlimit saved{};
  void (*old_handler)(int) = SIG_DFL;
};

const std::vector<double> samples = [] {
  std::vector<double> s(kPoints);
  for (int i = 0; i < kPoints; ++i) s[i] = (i % 977) - 488.25;
  return s;
}();

// Through the C functions: once one channel's write failed, the code sticks.
int write_rpc_functions(const std::string &path) {
  int status = -1, code = ZEL_RPC_OK;
  void *h = zel_rpc_create(path.c_str(), kChannels, kPoints, 0.001, &status);
  if (!h) return status;
  for (int c = 1; c <= kChannels; ++c) {
    const int was = code;
    code = zel_rpc_putchannel(h, c, kPoints, samples.data(), "wheel force", "N");
    EXPECT_TRUE(was != ZEL_RPC_WRITE_FAILED || code == ZEL_RPC_WRITE_FAILED) << "channel " << c;
  }
  return zel_rpc_writeclose(h);
}

// The class, with setChannel's codes ignored: close() must still tell.
int write_rpc_class(const std::string &path) {
  rpc3file_output out(path.c_str(), kChannels, kPoints, 0.001);
  for (int c = 1; c <= kChannels; ++c) out.setChannel(c, kPoints, samples.data(), "wheel", "N");
  return out.close();
}

int write_dac(const std::string &path) {
  std::vector<double> v;
  for (int i = 0; i < 4; ++i) v.insert(v.end(), samples.begin(), samples.end());
  return zel_dac_write(path.c_str(), static_cast<int>(v.size()), 0.0, 1000.0, v.data(), "", "force", "");
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
    const std::string path = scope.target(w.name);
    const int code = w.write(path);
    if (GetParam() == kHealthyDisk) {
      EXPECT_EQ(code, w.written) << w.name;
      EXPECT_TRUE(std::filesystem::is_regular_file(path)) << w.name;
    } else {
      EXPECT_EQ(std::count(w.failures.begin(), w.failures.end(), code), 1) << w.name << ": code " << code;
      EXPECT_EQ(std::filesystem::exists(path), GetParam() == kDevFull) << w.name << ": a file that missed data stayed";
    }
  }
}

std::string fault_name(const ::testing::TestParamInfo<Fault> &info) {
  static const char *const names[] = {"HealthyDisk", "DevFull", "FileSizeLimit", "FullTmpfs"};
  return names[info.param];
}
INSTANTIATE_TEST_SUITE_P(Faults, WriteFailure, ::testing::Values(kHealthyDisk, kDevFull, kFileSizeLimit, kFullTmpfs),
                         fault_name);

} // namespace
