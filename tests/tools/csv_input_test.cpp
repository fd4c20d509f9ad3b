// CSV input: every table is read as its layout says or refused with the row and column at fault; standard input is read
// by content. Expected outputs are written out by hand.
#include "cli_support.h"

using namespace cli_test;

// What zel cat prints of each table, or the needles of its failure.
TEST(CsvInput, ReadsWhatTheLayoutSaysAndRefusesWhatItWouldHaveToGuess) {
  using Args = std::vector<std::string>;
  // clang-format off
  const std::vector<std::tuple<std::string, Args, Args>> cases = {
      {"time [ms],x\n0,1\n10,2\n20,3\n", {}, {"time [s],x []\n0,1\n0.01,2\n0.02,3\n"}},
      {"TIME [us],x\n5,1\n6,2\n", {}, {"time [s],x []\n5e-06,1\n6e-06,2\n"}},
      {"Zeit [min],x\n0,1\n1,2\n", {}, {"time [s],x []\n0,1\n60,2\n"}},
      {",time,a [N]\n0,0,5\n1,0.5,6\n", {}, {"time [s],a [N]\n0,5\n0.5,6\n"}},
      {"Unnamed: 0,t,a\n3,0,1\n4,1,2\n", {}, {"time [s],a []\n0,1\n1,2\n"}},
      {"t;a;b\n0;1;2\n1;3;4\n", {}, {"time [s],a [],b []\n0,1,2\n1,3,4\n"}},
      {"t\t\"a, b;c\"\n0\t1\n1\t3\n", {}, {"time [s],\"a, b;c []\"\n0,1\n1,3\n"}},
      {"t;a\n0;1,5\n0,5;2,5\n", {"--decimal-comma"}, {"time [s],a []\n0,1.5\n0.5,2.5\n"}},
      {"1,2\n3,4\n", {"--no-header", "--dt", "0.5"}, {"time [s],ch1 [],ch2 []\n0,1,2\n0.5,3,4\n"}},
      {"1,0\n2,1\n", {"--no-header", "--time-column", "2"}, {"time [s],ch1 []\n0,1\n1,2\n"}},
      {"a,b\n1,2\n3,4\n", {"--dt", "2"}, {"time [s],a [],b []\n0,1,2\n2,3,4\n"}},
      {"a,time [ms],b\n1,0,2\n3,5,4\n", {"--time-column", "2"}, {"time [s],a [],b []\n0,1,2\n0.005,3,4\n"}},
      {"\"t\",\"x, y [m]\"\n\"0\",\"1\"\n1, 2 \n", {}, {"time [s],\"x, y [m]\"\n0,1\n1,2\n"}},
      {"t,x\n0,\n1,nan\n2,-inf\n3,abc\n", {"--allow-nan"}, {"time [s],x []\n0,nan\n1,nan\n2,nan\n3,nan\n"}},
      {"\xef\xbb\xbft,x\r\n0,1\r\n\r\n1,2", {}, {"time [s],x []\n0,1\n1,2\n"}},
      {"t,x\n0, +1e3 \n1,-2.5E-1\n", {}, {"time [s],x []\n0,1000\n1,-0.25\n"}},
      {"t,x\n0,1\n1,2\n2.0000005,3\n", {}, {"time [s],x []\n0,1\n1.00000025,2\n2.0000005,3\n"}},
      {"x\n7\n", {"--dt", "1"}, {"time [s],x []\n0,7\n"}},
      {"t,x\n5,1\n5.3,2\n5.71,3\n", {"--dt", "0.25"}, {"time [s],x []\n5,1\n5.25,2\n5.5,3\n"}},
      {"a,time [ms],b\n1,7,2\n", {"--time-column", "2", "--dt", "2"}, {"time [s],a [],b []\n0.007,1,2\n"}},
      {"a,b\n1,2\n", {}, {"no time column", "column 1 (\"a\")", "--time-column", "--dt"}},
      {"t,x\n0,1\n", {"--no-header", "--dt", "1"}, {"row 1, column 1", "not a number: \"t\""}},
      {"time [h],x\n0,1\n1,2\n", {}, {"\"h\" is not a time unit"}},
      {"t,x\n0,1\n1,\n", {}, {"row 3, column 2 (\"x\"): empty cell", "--allow-nan"}},
      {"t,x\n0,1\n1,NaN\n", {}, {"row 3, column 2 (\"x\"): NaN"}},
      {"t,x\n0,inf\n", {}, {"row 2, column 2 (\"x\"): infinite"}},
      {"t,x\n0,1\n1,abc\n", {}, {"row 3, column 2 (\"x\"): not a number: \"abc\""}},
      {"t,x\n0,1\n1,-1e999\n", {"--allow-nan"}, {"row 3, column 2 (\"x\")", "beyond the range"}},
      {"t,x\n0,1\nnan,2\n", {"--allow-nan"}, {"row 3, column 1 (\"t\"): NaN"}},
      {"t,x\n0,1\n1,2\n2.000002,3\n", {}, {"row 4, column 1 (\"t\")", "not equally spaced"}},
      {"t,x\n1,1\n0,2\n", {}, {"row 3, column 1 (\"t\")", "does not increase"}},
      {"t,x\n0,1,2\n", {}, {"row 2: 3 fields where the first row has 2"}},
      {"t,x\n0,\"1\n", {}, {"row 2: unbalanced quotes"}},
      {",t,x\n0,0,1\n2,1,2\n", {}, {"row 3, column 1", "index", "holds 2 after 0"}},
      {"t,x;y;z,w\tv\n", {}, {"cannot tell the delimiter"}},
      {"", {}, {"empty table"}}, {",t\n0,0\n1,1\n", {}, {"no channel column"}},
      {"t;x\n0;1,5\n1;2\n", {}, {"row 2, column 2 (\"x\"): not a number: \"1,5\""}},
      {"t,x\n", {}, {"no rows below the header"}}, {"t,x\n0,1\n", {}, {"two rows"}},
      {"t,x\n0,1\n1,2\n", {"--time-column", "5"}, {"--time-column 5", "2 columns"}},
  };
  // clang-format on
  TempDir dir;
  for (const auto &[table, options, want] : cases) {
    std::ofstream(dir.file("t.csv"), std::ios::binary) << table;
    Args args = {"cat", "t.csv"}, needles = want;
    args.insert(args.end(), options.begin(), options.end());
    const Outcome run = run_zel(dir, args);
    SCOPED_TRACE(table);
    if (want[0].rfind("time [s]", 0) == 0)
      EXPECT_EQ(run.out + run.err, want[0]);
    else
      needles.push_back("t.csv: "), expect_failure(run, needles);
  }
}

// 150000 rows of two channels stream through blocks of 65536 rows, the last one short; standard input is read by
// content and named so. No temporary of zel's (in the folder) is left.
TEST(CsvInput, LongTablesAndStandardInput) {
  TempDir dir;
  std::ofstream csv(dir.file("long.csv"));
  csv << "t,a,b\n";
  for (int i = 0; i < 150000; ++i) csv << i << ',' << -i << ',' << 2 * i << '\n';
  csv.close();
  EXPECT_EQ(run_zel(dir, {"cat", "long.csv", "--start", "65534", "--end", "65537"}).out,
            "time [s],a [],b []\n65534,-65534,131068\n65535,-65535,131070\n65536,-65536,131072\n65537,-65537,131074\n");
  EXPECT_EQ(run_zel(dir, {"cat", "long.csv", "--start", "149999"}).out, "time [s],a [],b []\n149999,-149999,299998\n");
  EXPECT_EQ(json(run_zel(dir, {"info", "--json", "long.csv"}).out, "mean").at(1), "149999.0");
  write_rpc(dir.file("f.rsp"), {{1, 2, 3}}, 0.5);
  write_dac(dir.file("f.dac"), {4, 5}, 10.0);
  std::ofstream(dir.file("f.csv")) << "t,x\n0,1\n1,2\n";
  std::ofstream(dir.file("bad.csv")) << "t,x\n0,1\n1,y\n";
  ASSERT_EQ(run_zel(dir, {"convert", "f.csv", "f.mat"}).status, 0);
  for (const std::string name : {"f.rsp", "f.dac", "f.csv", "f.mat"}) {
    EXPECT_EQ(run_zel(dir, {"cat", "-"}, dir.file(name)).out, run_zel(dir, {"cat", name}).out) << name;
    const std::string info = run_zel(dir, {"info", "--json", "-"}, dir.file(name)).out;
    EXPECT_EQ(json(info, "file"), std::vector<std::string>{"standard input"}) << name;
  }
  std::ofstream(dir.file("cut.rsp"), std::ios::binary) << read_file(dir.file("f.rsp")).substr(0, 1200);
  expect_failure(run_zel(dir, {"info", "-"}, dir.file("cut.rsp")), {"zel: standard input: RPC"});
  expect_failure(run_zel(dir, {"info", "-"}, dir.file("bad.csv")), {"standard input: row 3, column 2 (\"x\"): not a"});
  EXPECT_EQ(run_zel(dir, {"convert", "-", "out.dac"}, dir.file("f.csv")).status, 0);
  EXPECT_EQ(read_signal(dir.file("out.dac")), (std::vector<double>{1, 2}));
  EXPECT_EQ(contents(dir.path()).size(), 8u); // the 8 files written here
}
