// zel export-modal, zel version and the demo job.
#include "cli_support.h"

#include <filesystem>

using namespace cli_test;

TEST(CliExportModal, WritesPunchAndOutput2FilesInTimeAndFrequencyOutput) {
  TempDir dir;
  Outcome run = run_zel(dir, {"export-modal", "--modes", "3", "--steps", "20", "--punch", dir.file("t.pch")});
  ASSERT_EQ(run.status, 0) << run.err;
  const std::string punch = slurp(dir.file("t.pch"));
  EXPECT_NE(punch.find("DMI"), std::string::npos);
  EXPECT_NE(punch.find("DTI"), std::string::npos);

  run = run_zel(dir, {"export-modal", "--modes", "3", "--steps", "20", "--frequency", "--op2", dir.file("f.op2")});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_GT(std::filesystem::file_size(dir.file("f.op2")), 20u * 3 * 2 * 4);

  run = run_zel(dir, {"export-modal", "--modes", "3", "--steps", "20", "--op2", dir.file("no/dir/x.op2")});
  EXPECT_NE(run.status, 0);
  EXPECT_NE(run.err.find("x.op2"), std::string::npos) << run.err;
}

TEST(CliVersion, PrintsTheLibrarysReport) {
  TempDir dir;
  const Outcome run = run_zel(dir, {"version"});
  ASSERT_EQ(run.status, 0);
  EXPECT_NE(run.out.find(zel_build_version()), std::string::npos) << run.out;
}

TEST(CliDemo, WritesEveryFileAndReadsItBackWithinQuantisation) {
  TempDir dir;
  const std::string out = dir.file("demo");
  const Outcome run = run_zel(dir, {"demo", out});
  ASSERT_EQ(run.status, 0) << run.err << run.out;
  EXPECT_NE(run.out.find("all within the quantisation"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find(out), std::string::npos);
  for (const char *name : {"road_int16.rsp", "road_float32.rsp", "road_1.dac", "road_4.dac", "modal.pch",
                           "modal.op2", "road_wheel_forces.svg"})
    EXPECT_GT(std::filesystem::file_size(std::filesystem::path(out) / name), 0u) << name;

  // The integer and float files hold the same signal within one step.
  const std::string int_file = out + "/road_int16.rsp", float_file = out + "/road_float32.rsp";
  for (int c = 1; c <= 4; ++c) {
    const std::vector<double> i16 = rpc_channel(int_file, c), f32 = rpc_channel(float_file, c);
    ASSERT_EQ(i16.size(), 2048u);
    double peak = 0;
    for (double x : f32) peak = std::max(peak, std::fabs(x));
    for (size_t k = 0; k < i16.size(); ++k) ASSERT_NEAR(i16[k], f32[k], 1.01 * peak / 32752) << c;
  }
}
