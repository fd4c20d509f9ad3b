// What zel keeps of what it reads: the sample count a file records, the samples of a copy of a copy, the date and
// header records, texts that are not UTF-8 (as valid JSON); and what it refuses: an interval not above 0.
#include "cli_support.h"

#include <nlohmann/json.hpp>

using namespace cli_test;

namespace {

// keyword=value; for every header record of an RPC III file.
std::string records(const std::string &path) {
  int channels, points, status;
  double dt;
  void *h = zel_rpc_open(path.c_str(), &channels, &points, &dt, nullptr, &status);
  std::string all;
  char keyword[32], value[96];
  for (int r = 1; zel_rpc_record(h, r, keyword, value) == 0; ++r) all += std::string(keyword) + "=" + value + ";";
  zel_rpc_readclose(h);
  return all;
}

} // namespace

TEST(CliKeeps, CountsCopiesOfCopiesDateRecordsAndTextsAsValidJson) {
  TempDir dir;
  std::ofstream(dir.file("three.csv")) << "time,a [N]\n0,1\n0.5,3\n1,5\n";
  ASSERT_EQ(run_zel(dir, {"convert", "three.csv", "three.rsp"}).status, 0);
  const std::string info = run_zel(dir, {"info", "--json", "three.rsp"}).out;
  EXPECT_EQ(json(info, "points"), std::vector<std::string>{"3"});     // not 256: whole frames are padding
  EXPECT_NEAR(std::stod(json(info, "mean").at(0)), 3.0, 5.0 / 32752); // within a step of 16-bit rounding

  Columns c(2, std::vector<double>(3000));
  for (size_t i = 0; i < 3000; ++i) c[0][i] = 123.456 * std::sin(0.01 * double(i)), c[1][i] = std::cos(0.3 * double(i));
  write_rpc(dir.file("a.rsp"), c, 0.004, {{"left", "u"}, {"right", "u"}}, ZEL_RPC_INT16);
  // Copies of copies: RPC III to RPC III, and through DAC and back, change no sample after the first pass.
  const std::vector<std::vector<std::string>> passes = {
      {"convert", "a.rsp", "b.rsp"}, {"convert", "b.rsp", "c.rsp"},
      {"convert", "b.rsp", "d.dac"}, {"convert", "--int16", "d_1.dac", "d_2.dac", "e.rsp"},
      {"convert", "e.rsp", "f.dac"}, {"convert", "--int16", "f_1.dac", "f_2.dac", "g.rsp"}};
  for (const auto &args : passes) ASSERT_EQ(run_zel(dir, args).status, 0) << args.back();
  EXPECT_EQ(run_zel(dir, {"cat", "c.rsp"}).out, run_zel(dir, {"cat", "b.rsp"}).out);
  EXPECT_EQ(run_zel(dir, {"cat", "g.rsp"}).out, run_zel(dir, {"cat", "e.rsp"}).out);
  // The date, the file's own records and each channel's, renumbered with its channel.
  ASSERT_EQ(run_zel(dir, {"convert", "a.rsp", "-c", "right", "r.rsp"}).status, 0);
  const std::string kept = records(dir.file("r.rsp"));
  for (const char *want : {"DATE=1-Jan-2026;", "KIVOR_RUN=r.rsp;", "TEST_RIG=rig 7;", "STAT_CHAN_1=stat of 2;"})
    EXPECT_NE(kept.find(want), std::string::npos) << want << " in " << kept;
  EXPECT_EQ(kept.find("stat of 1"), std::string::npos);

  write_rpc(dir.file("t.rsp"), {{1, 2}, {3, 4}}, 0.5, {{"L\xE4ngskraft \xB5m/m", "u"}, {"bad \xC3\x28 byte", "u"}});
  const Outcome run = run_zel(dir, {"info", "--json", "t.rsp"});
  ASSERT_EQ(run.status, 0) << run.err;
  const nlohmann::json parsed = nlohmann::json::parse(run.out); // throws on invalid UTF-8
  EXPECT_EQ(parsed[0]["channels"][0]["description"], "L\u00e4ngskraft \u00b5m/m");
  EXPECT_EQ(parsed[0]["channels"][1]["description"], "bad \u00c3( byte");
  write_rpc(dir.file("neg.rsp"), {{1, 2}}, -0.004);
  expect_failure(run_zel(dir, {"info", "neg.rsp"}), {"neg.rsp", "sample interval -0.004 s is not above 0"});
}
