// Failures give a non-zero exit and one line on stderr naming the file and,
// where the library gave a code, the library's message. Every command has
// its --help.
#include "cli_support.h"

#include <filesystem>

using namespace cli_test;

namespace {

void expect_one_line_failure(const Outcome &run, const std::vector<std::string> &needles) {
  EXPECT_NE(run.status, 0);
  const auto lines = run.err_lines();
  ASSERT_EQ(lines.size(), 1u) << run.err;
  EXPECT_EQ(lines[0].rfind("zel: ", 0), 0u) << lines[0];
  for (const std::string &needle : needles) EXPECT_NE(lines[0].find(needle), std::string::npos) << lines[0];
}

} // namespace

TEST(CliErrors, FileProblemsNameTheFileAndTheLibrarysMessage) {
  TempDir dir;
  const std::string missing = dir.file("missing.rsp");
  expect_one_line_failure(run_zel(dir, {"info", missing}), {missing, "cannot open"});
  expect_one_line_failure(run_zel(dir, {"cat", missing}), {missing});

  {
    std::ofstream junk(dir.file("junk.bin"));
    junk << "this is neither format\n";
  }
  expect_one_line_failure(run_zel(dir, {"info", dir.file("junk.bin")}), {dir.file("junk.bin"), "unknown format"});

  const std::string rsp = dir.file("two.rsp");
  write_rpc(rsp, {{1, 2, 3}, {4, 5, 6}}, 0.1);
  expect_one_line_failure(run_zel(dir, {"cat", rsp, "--channel", "3"}),
                          {rsp, "RPC file channel number out of range", "channel 3"});
  expect_one_line_failure(run_zel(dir, {"plot", rsp, "--channel", "0"}), {rsp, "out of range"});

  // A file cut short: the header promises more data than there is.
  std::filesystem::resize_file(rsp, std::filesystem::file_size(rsp) - 100);
  expect_one_line_failure(run_zel(dir, {"info", rsp}), {rsp, "RPC file header is not compatible with file size."});

  const std::string dac = dir.file("one.dac");
  write_dac(dac, {1, 2, 3}, 10.0, 0.0, "x", "y");
  expect_one_line_failure(run_zel(dir, {"cat", dac, "-c", "2"}), {dac, "out of range"});
  expect_one_line_failure(run_zel(dir, {"convert", dac, dir.file("no/such/dir/out.rsp")}),
                          {"out.rsp", "Can not create RPC file. Check path and permissions."});
  expect_one_line_failure(run_zel(dir, {"convert", dac, dir.file("no/such/dir/out.dac")}),
                          {"out.dac", "Error opening file"});
}

TEST(CliErrors, InfoReportsEachBadFileAndStillDescribesTheGoodOnes) {
  TempDir dir;
  write_dac(dir.file("good.dac"), {1, 2, 3}, 10.0, 0.0, "x", "y");
  const Outcome run = run_zel(dir, {"info", dir.file("gone1"), dir.file("good.dac"), dir.file("gone2")});
  EXPECT_NE(run.status, 0);
  EXPECT_EQ(run.err_lines().size(), 2u) << run.err;
  EXPECT_NE(run.out.find("good.dac"), std::string::npos);
}

TEST(CliErrors, BadArgumentsAreRefusedInOneLine) {
  TempDir dir;
  write_dac(dir.file("a.dac"), {1, 2, 3}, 10.0, 0.0, "x", "y");
  expect_one_line_failure(run_zel(dir, {}), {});
  expect_one_line_failure(run_zel(dir, {"frobnicate"}), {"frobnicate"});
  expect_one_line_failure(run_zel(dir, {"cat"}), {"file"});
  expect_one_line_failure(run_zel(dir, {"cat", dir.file("a.dac"), "--channel", "one"}), {"one"});
  expect_one_line_failure(run_zel(dir, {"cat", dir.file("a.dac"), "--start", "1", "--end", "0"}), {"--start"});
  expect_one_line_failure(run_zel(dir, {"plot", dir.file("a.dac")}), {"channel"});
  expect_one_line_failure(run_zel(dir, {"convert", dir.file("a.dac")}), {});
  expect_one_line_failure(run_zel(dir, {"convert", "--float", dir.file("a.dac"), dir.file("b.dac")}),
                          {"--float"});
  expect_one_line_failure(run_zel(dir, {"export-modal", "--modes", "2", "--steps", "5"}), {});
  expect_one_line_failure(
      run_zel(dir, {"export-modal", "--modes", "2", "--steps", "5", "--punch", "a", "--op2", "b"}), {});
}

TEST(CliErrors, EveryCommandHasHelp) {
  TempDir dir;
  for (const char *command : {"info", "cat", "convert", "plot", "export-modal", "version", "demo"}) {
    const Outcome run = run_zel(dir, {command, "--help"});
    EXPECT_EQ(run.status, 0) << command;
    EXPECT_NE(run.out.find("Usage:"), std::string::npos) << command << run.out;
    EXPECT_NE(run.out.find(command), std::string::npos) << command;
  }
  const Outcome top = run_zel(dir, {"--help"});
  EXPECT_EQ(top.status, 0);
  EXPECT_NE(top.out.find("export-modal"), std::string::npos);
}
