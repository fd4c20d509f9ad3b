// zel export-modal, zel version and the demo job.
#include "cli_support.h"

using namespace cli_test;

TEST(CliDemo, ExportVersionAndTheDemoJob) {
  TempDir dir;
  ASSERT_EQ(run_zel(dir, {"export-modal", "--modes", "3", "--steps", "20", "--punch", dir.file("t.pch")}).status, 0);
  const std::string punch = slurp(dir.file("t.pch"));
  EXPECT_TRUE(punch.find("DMI") != std::string::npos && punch.find("DTI") != std::string::npos);
  ASSERT_EQ(run_zel(dir, {"export-modal", "--modes", "3", "--steps", "20", "--frequency", "--op2", dir.file("f.op2")}).status, 0);
  EXPECT_GT(std::filesystem::file_size(dir.file("f.op2")), 20u * 3 * 2 * 4);
  EXPECT_NE(run_zel(dir, {"version"}).out.find(zel_build_version()), std::string::npos);

  const std::string out = dir.file("demo");
  const Outcome run = run_zel(dir, {"demo", out});
  ASSERT_EQ(run.status, 0) << run.err << run.out;
  EXPECT_NE(run.out.find("all within the quantisation"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find(out), std::string::npos);
  for (const char *name : {"road_int16.rsp", "road_float32.rsp", "road_1.dac", "road_4.dac", "modal.pch", "modal.op2", "road_wheel_forces.svg"})
    EXPECT_GT(std::filesystem::file_size(out + "/" + name), 0u) << name;
  for (int c = 1; c <= 4; ++c) { // the integer and float files hold the same signal within one step
    const std::vector<double> i16 = rpc_channel(out + "/road_int16.rsp", c), f32 = rpc_channel(out + "/road_float32.rsp", c);
    ASSERT_EQ(i16.size(), 2048u);
    double peak = 0;
    for (double x : f32) peak = std::max(peak, std::fabs(x));
    for (size_t k = 0; k < i16.size(); ++k) ASSERT_NEAR(i16[k], f32[k], 1.01 * peak / 32752) << c;
  }
}
