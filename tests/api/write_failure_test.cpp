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

using zel_test::TempDir;

enum class Fault { none, device_full, size_limit, filesystem_full };
constexpr long kRoom = 64 * 1024; // bytes the limit or the file system allows

// Puts one fault in place for the scope of a case; skip() tells why a
// machine cannot have it.
class FaultScope {
public:
  FaultScope(Fault fault, const TempDir &dir) : fault_(fault), folder_(dir.path().string()) {
    switch (fault) {
    case Fault::none:
      break;
    case Fault::device_full:
      if (!std::filesystem::is_character_file("/dev/full")) skip_ = "no /dev/full here";
      break;
    case Fault::size_limit:
      getrlimit(RLIMIT_FSIZE, &saved_);
      old_handler_ = std::signal(SIGXFSZ, SIG_IGN);
      {
        const rlimit limited{static_cast<rlim_t>(kRoom), saved_.rlim_max};
        if (setrlimit(RLIMIT_FSIZE, &limited) != 0) skip_ = std::strerror(errno);
      }
      break;
    case Fault::filesystem_full:
      // A mount namespace of this process's own, so the small file system
      // is seen by nobody else and vanishes with the process.
      folder_ = dir.file("full");
      std::filesystem::create_directory(folder_);
      if (unshare(CLONE_NEWNS) != 0 || mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
          mount("tmpfs", folder_.c_str(), "tmpfs", 0, ("size=" + std::to_string(kRoom)).c_str()) != 0)
        skip_ = std::string("cannot mount a small tmpfs: ") + std::strerror(errno);
      else
        mounted_ = true;
      break;
    }
  }
  ~FaultScope() {
    if (fault_ == Fault::size_limit) {
      setrlimit(RLIMIT_FSIZE, &saved_);
      std::signal(SIGXFSZ, old_handler_);
    }
    if (mounted_) umount2(folder_.c_str(), MNT_DETACH);
  }
  FaultScope(const FaultScope &) = delete;
  FaultScope &operator=(const FaultScope &) = delete;

  const std::string &skip() const { return skip_; }
  std::string target(const std::string &name) const {
    return fault_ == Fault::device_full ? "/dev/full" : folder_ + "/" + name;
  }

private:
  Fault fault_;
  std::string folder_;
  std::string skip_;
  bool mounted_ = false;
  rlimit saved_{};
  void (*old_handler_)(int) = SIG_DFL;
};

// Every file below is several times the room a fault leaves.
constexpr int kChannels = 4, kPoints = 50000, kModes = 8, kSteps = 4000;

const std::vector<double> &samples() {
  static const std::vector<double> v = [] {
    std::vector<double> s(kPoints);
    for (int i = 0; i < kPoints; ++i) s[i] = (i % 977) - 488.25;
    return s;
  }();
  return v;
}

// Writes through the C functions; every channel's code is taken, and once
// one failed the rest must fail too. Returns the code of the close.
int write_rpc_functions(const std::string &path) {
  int status = -1;
  void *h = zel_rpc_create(path.c_str(), kChannels, kPoints, 0.001, &status);
  if (!h) return status;
  bool failed = false;
  for (int c = 1; c <= kChannels; ++c) {
    const int code = zel_rpc_putchannel(h, c, kPoints, samples().data(), "wheel force", "N");
    if (failed) {
      EXPECT_EQ(code, ZEL_RPC_WRITE_FAILED) << "channel " << c << ": the failure must stick";
    }
    failed = failed || code == ZEL_RPC_WRITE_FAILED;
  }
  return zel_rpc_writeclose(h);
}

// The class, with setChannel's codes ignored: close() must still tell.
int write_rpc_class(const std::string &path) {
  rpc3file_output out(path.c_str(), kChannels, kPoints, 0.001);
  for (int c = 1; c <= kChannels; ++c) out.setChannel(c, kPoints, samples().data(), "wheel", "N");
  return out.close();
}

int write_dac(const std::string &path) {
  std::vector<double> v;
  for (int i = 0; i < 4; ++i) v.insert(v.end(), samples().begin(), samples().end());
  return zel_dac_write(path.c_str(), static_cast<int>(v.size()), 0.0, 1000.0, v.data(), "", "force", "");
}

// The export entry, whose result must agree with the status the upper-case
// writers leave for their callers.
int write_export(int to_punch, const std::string &path) {
  static const std::vector<double> steps(kSteps, 0.01), uh(kSteps * kModes, 1.5), bh(kSteps * 6, -2.5);
  const int r = zel_fes_write_mcs(to_punch, kModes, kSteps, 0, steps.data(), uh.data(), bh.data(), uh.data(),
                                  bh.data(), uh.data(), bh.data(), 0, path.c_str());
  EXPECT_EQ(zel_fes_status(), r == 1 ? 0 : 2);
  return r;
}

struct Writer {
  const char *name;
  std::function<int(const std::string &)> write;
  int written;               // the code of a complete file
  std::vector<int> failures; // the codes a failed write may give
};

const Writer kWriters[] = {
    {"rpc.rsp", write_rpc_functions, ZEL_RPC_OK, {ZEL_RPC_WRITE_FAILED}},
    {"class.rsp", write_rpc_class, ZEL_RPC_OK, {ZEL_RPC_WRITE_FAILED}},
    {"signal.dac", write_dac, ZEL_DAC_OK, {ZEL_DAC_DATA_WRITE, ZEL_DAC_HEADER_WRITE, ZEL_DAC_DETAILS_WRITE}},
    {"modes.op2", [](const std::string &p) { return write_export(0, p); }, 1, {2}},
    {"modes.pch", [](const std::string &p) { return write_export(1, p); }, 1, {2}},
};

class WriteFailure : public ::testing::TestWithParam<Fault> {};

TEST_P(WriteFailure, EveryWriterReportsItAndLeavesNoFile) {
  const Fault fault = GetParam();
  TempDir dir;
  FaultScope scope(fault, dir);
  if (!scope.skip().empty()) GTEST_SKIP() << scope.skip();
  for (const Writer &w : kWriters) {
    SCOPED_TRACE(w.name);
    const std::string path = scope.target(w.name);
    const int code = w.write(path);
    if (fault == Fault::none) {
      EXPECT_EQ(code, w.written);
      EXPECT_TRUE(std::filesystem::is_regular_file(path));
    } else {
      EXPECT_EQ(std::count(w.failures.begin(), w.failures.end(), code), 1) << "code " << code;
      if (fault == Fault::device_full)
        EXPECT_TRUE(std::filesystem::is_character_file(path)) << "the device must survive";
      else
        EXPECT_FALSE(std::filesystem::exists(path)) << "a file that missed data stayed behind";
    }
  }
}

std::string fault_name(const ::testing::TestParamInfo<Fault> &info) {
  static const char *const names[] = {"HealthyDisk", "DevFull", "FileSizeLimit", "FullTmpfs"};
  return names[static_cast<int>(info.param)];
}

INSTANTIATE_TEST_SUITE_P(Faults, WriteFailure,
                         ::testing::Values(Fault::none, Fault::device_full, Fault::size_limit,
                                           Fault::filesystem_full),
                         fault_name);

} // namespace
