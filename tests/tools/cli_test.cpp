// The command-line tool end to end: round trips against what the library reads, statistics against values computed
// here, what zel keeps of its inputs, and the output guarantees (a failed command, a signal or an output that is an
// input leaves the folder as it was).
#include "cli_support.h"

#include <nlohmann/json.hpp>

#include <cmath>
#include <csignal>
#include <thread>

using namespace cli_test;

// The numbers of every CSV line after the header.
inline Columns rows_of(const std::string &csv) {
  Columns rows;
  std::istringstream lines(csv.substr(csv.find('\n') + 1));
  for (std::string line, field; std::getline(lines, line);)
    for (std::istringstream fields((rows.emplace_back(), line)); std::getline(fields, field, ',');)
      rows.back().push_back(std::strtod(field.c_str(), nullptr));
  return rows;
}

// Statistics against the plain computation on the values the library reads; indices from 1, the first of equal
// extremes.
void expect_stats(const std::string &text, size_t c, const std::vector<double> &v) {
  const auto lo = std::min_element(v.begin(), v.end()), hi = std::max_element(v.begin(), v.end());
  double sum = 0, squares = 0;
  for (double x : v) sum += x, squares += x * x;
  const double mean = sum / double(v.size()), rms = std::sqrt(squares / double(v.size()));
  const auto got = [&](const char *key) { return std::stod(json(text, key).at(c)); };
  EXPECT_EQ((std::vector<double>{got("min"), got("max"), got("min_index"), got("max_index")}),
            (std::vector<double>{*lo, *hi, double(lo - v.begin() + 1), double(hi - v.begin() + 1)}));
  EXPECT_NEAR(got("mean"), mean, 1e-12 * (std::fabs(mean) + rms));
  EXPECT_NEAR(got("rms"), rms, 1e-12 * rms);
}

// zel cat prints the time and the exact samples under quoted titles, the same text on any number of threads (rows
// enough for several slices of text per thread). Through one DAC file per channel (OUT_n) and back to RPC III floats
// the file prints the same; with --int16 it becomes 16-bit. zel info finds the format by content and computes the
// statistics of what the library reads.
TEST(CliCat, ExactSamplesOnAnyThreadsThroughDacFilesAndBack) {
  TempDir dir;
  Columns f(2, std::vector<double>(196 << 10)); // whole frames, as the library reads them; floats of awkward decimals
  for (size_t i = 0; i < f[0].size(); ++i)
    for (int k : {0, 1}) f[size_t(k)][i] = double(float(std::sin(0.37 * double(i) + k) / 3.0 * 1e3));
  f[0][5] = f[0][9] = 400.0; // the first of equal extremes counts
  write_rpc(dir.file("f.dac"), f, 1.0 / 300.0, {{"Left, front", "N"}, {"Right", "m/s^2"}});
  const Outcome cat = run_zel(dir, {"cat", "f.dac"}); // RPC III found by content
  ASSERT_EQ(cat.status, 0) << cat.err;
  EXPECT_EQ(cat.out.substr(0, cat.out.find('\n')), "time [s],\"Left, front [N]\",Right [m/s^2]");
  double dt = 0;
  const std::vector<double> a = read_signal(dir.file("f.dac"), 1, &dt), b = read_signal(dir.file("f.dac"), 2);
  const Columns rows = rows_of(cat.out);
  ASSERT_EQ(rows.size(), a.size());
  for (size_t i = 0; i < rows.size(); ++i) ASSERT_EQ(rows[i], (std::vector<double>{double(i) * dt, a[i], b[i]})) << i;
  for (const char *jobs : {"1", "3"}) EXPECT_TRUE(run_zel(dir, {"cat", "-j", jobs, "f.dac"}).out == cat.out) << jobs;
  ASSERT_EQ(run_zel(dir, {"convert", "f.dac", "x.dac"}).status, 0);
  ASSERT_EQ(run_zel(dir, {"convert", "--float", "x_1.dac", "x_2.dac", "g.rsp"}).status, 0);
  EXPECT_EQ(run_zel(dir, {"convert", "x_1.dac", "f.dac", "m.rsp"}).status, 0); // a float and a text interval agree
  EXPECT_TRUE(run_zel(dir, {"cat", "g.rsp"}).out == cat.out); // (no diff of megabytes)
  ASSERT_EQ(run_zel(dir, {"convert", "--int16", "g.rsp", "h.rsp"}).status, 0);
  ASSERT_EQ(run_zel(dir, {"convert", "--float", "h.rsp", "k.rsp"}).status, 0);
  std::filesystem::rename(dir.file("x_2.dac"), dir.file("x.rsp")); // DAC found by content
  const Outcome info = run_zel(dir, {"info", "--json", "f.dac", "x.rsp", "h.rsp", "k.rsp"});
  EXPECT_EQ(json(info.out, "format"), (std::vector<std::string>{"RPC III", "DAC", "RPC III", "RPC III"}));
  EXPECT_EQ(json(info.out, "value_type"),
            (std::vector<std::string>{"float32", "float32", "int16 (scaled)", "float32"}));
  EXPECT_EQ(json(info.out, "description"), (std::vector<std::string>{"Left, front", "Right", "Right", "Left, front",
                                                                     "Right", "Left, front", "Right"}));
  for (size_t c = 0; c < 3; ++c) expect_stats(info.out, c, c ? b : a);
  EXPECT_NE(run_zel(dir, {"info", "f.dac"}).out.find("sample interval  0.003333333 s (300 Hz)"), std::string::npos);
}

// A CSV (CRLF, a quoted title) whose time column gives start and interval, to DAC; then the times 2.10 to 2.20 of it
// (samples 10 to 20), one channel twice.
TEST(CliCat, CsvToDacAndATimeWindow) {
  TempDir dir;
  std::string csv = "time [s],\"Load, left [kN]\"\r\n";
  std::vector<double> load;
  for (int i = 0; i < 300; ++i) csv += std::to_string(2 + i * 0.01) + "," + std::to_string(i - 30) + "\r\n";
  for (int i = 0; i < 300; ++i) load.push_back(i - 30);
  std::ofstream(dir.file("t.csv")) << csv;
  ASSERT_EQ(run_zel(dir, {"convert", "t.csv", "t.DAC"}).status, 0);
  EXPECT_EQ(read_signal(dir.file("t.DAC")), load);
  const Outcome window = run_zel(dir, {"cat", "t.DAC", "-c", "1", "--channel", "1", "--start", "2.1", "--end", "2.2"});
  EXPECT_EQ(window.out.substr(0, window.out.find('\n')), "time [s],\"Load, left [kN]\",\"Load, left [kN]\"");
  const Columns rows = rows_of(window.out);
  ASSERT_EQ(rows.size(), 11u);
  for (size_t k = 0; k < rows.size(); ++k)
    EXPECT_EQ(rows[k], (std::vector<double>{2.0 + 0.01 * double(10 + k), k - 20.0, k - 20.0})) << k;
}

// A failed command exits non-zero with one line naming the file and the reason and leaves the folder as it was: no
// target, no temporary, the files there unchanged; also when a write fails part-way (each runs under a 64 KiB file-size
// limit) or an output is an input however named (refused before writing).
TEST(CliErrors, OneLineAndTheFolderAsItWas) {
  TempDir dir;
  std::ofstream(dir.file("junk.bin")) << "this is neither format\n";
  std::filesystem::copy(dir.file("junk.bin"), dir.file("junk.mat"));
  std::filesystem::create_directory(dir.file("d.mat"));
  std::ofstream(dir.file("uneven.csv")) << "time [s],x [m]\n0,1\n0.1,2\n0.25,3\n";
  write_rpc(dir.file("in.rsp"), Columns(2, std::vector<double>(1 << 20, 0.1)), 0.001);
  write_dac(dir.file("a.dac"), {1, 2, 3}, 10.0), write_dac(dir.file("slow.dac"), {1, 2, 3}, 8.0);
  std::filesystem::create_hard_link(dir.file("a.dac"), dir.file("x_1.dac"));
  std::filesystem::create_symlink("a.dac", dir.file("soft.dac"));
  const auto before = contents(dir.path());
  const std::vector<std::pair<std::vector<std::string>, std::vector<std::string>>> cases = {
      // clang-format off
      {{"info", "missing.rsp"}, {"missing.rsp", "cannot open"}}, {{"info", "junk.bin"}, {"junk.bin", "unknown format"}},
      {{"cat", "in.rsp", "--channel", "3"}, {"in.rsp", "no channel 3 (2 channels)"}},
      {{"plot", "a.dac", "--channel", "0"}, {"a.dac", "no channel 0"}},
      {{"cat", "in.rsp", "-c", "2-1"}, {"in.rsp", "empty channel range"}},
      {{"cat", "a.dac", "--start", "1e6"}, {"a.dac", "no sample between 1e+06 s and"}},
      {{"convert", "a.dac", "no/dir/out.rsp"}, {"out.rsp", "cannot create: No such file or directory"}},
      {{"convert", "a.dac", "a.xyz"}, {"a.xyz: unknown output format"}},
      {{"info", "junk.mat"}, {"junk.mat", "not a MATLAB file"}}, {{"info", "d.mat"}, {"d.mat", "directory"}},
      {{"convert", "a.dac", "o.mat", "--mat-version", "6"}, {"give 5 or 7.3"}},
      {{"convert", "a.dac", "o.csv", "--mat-version", "5"}, {".mat output only"}},
      {{"convert", "uneven.csv", "u.rsp"}, {"uneven.csv", "not equally spaced"}},
      {{"convert", "a.dac", "slow.dac", "b.rsp"}, {"slow.dac", "interval"}},
      {{}, {}}, {{"frobnicate"}, {"frobnicate"}}, {{"cat"}, {"file"}}, {{"convert", "a.dac"}, {}},
      {{"cat", "a.dac", "--channel", "one"}, {"a.dac", "no channel named \"one\""}},
      {{"cat", "a.dac", "--start", "1", "--end", "0"}, {"--start"}},
      {{"convert", "--float", "a.dac", "b.dac"}, {"--float"}},
      {{"export-modal", "--modes", "2", "--steps", "5", "--punch", "a", "--op2", "b"}, {}},
      {{"convert", "in.rsp", "x.rsp"}, {"zel: x.rsp: "}}, {{"convert", "in.rsp", "x.dac"}, {"zel: x_1.dac: "}},
      {{"convert", "in.rsp", "x.csv"}, {"zel: x.csv: "}},
      {{"plot", "in.rsp", "-c", "1", "-c", "2", "--width", "20000", "-o", "x.svg"}, {"zel: x.svg: "}},
      {{"export-modal", "--modes", "20", "--steps", "2000", "--op2", "x.op2"}, {"zel: x.op2: "}},
      {{"export-modal", "--modes", "20", "--steps", "2000", "--punch", "x.pch"}, {"zel: x.pch: "}},
      {{"convert", "a.dac", "./a.dac"}, {"would overwrite the input"}},
      {{"convert", "x_1.dac", "a.dac", "x.dac"}, {"would overwrite the input"}}, // x.dac names x_1.dac and x_2.dac
      {{"convert", "a.dac", "x_1.dac"}, {"would overwrite the input"}},          // a hard link
      {{"convert", "a.dac", "soft.dac"}, {"would overwrite the input"}},
      {{"plot", "a.dac", "-c", "1", "-o", "a.dac"}, {"would overwrite the input"}}};
  // clang-format on
  for (const auto &[args, needles] : cases) {
    SCOPED_TRACE(args.empty() ? "(none)" : args[0] + " ... " + args.back());
    expect_failure(run_zel(dir, args, "", 64 << 10), needles);
    EXPECT_EQ(contents(dir.path()), before);
  }
  // SIGTERM while a conversion runs: the process ends by the signal, the temporary goes.
  const Outcome killed = run_zel(dir, {"convert", "in.rsp", "long.csv"}, "", 0, [&](pid_t pid) {
    for (int ms = 0; ms < 10000 && contents(dir.path()) == before; ++ms)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    kill(pid, SIGTERM);
  });
  expect_failure(killed, {"zel: long.csv: terminated"});
  EXPECT_EQ(killed.status, 128 + SIGTERM);
  EXPECT_EQ(contents(dir.path()), before);
  // Each bad file is reported, the good one described.
  const Outcome run = run_zel(dir, {"info", "gone1", "a.dac", "gone2"});
  EXPECT_NE(run.status, 0);
  EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 2) << run.err;
  EXPECT_NE(run.out.find("a.dac"), std::string::npos);
  EXPECT_NE(run_zel(dir, {"version"}).out.find(zel_build_version()), std::string::npos);
}

// What zel keeps: the sample count a file records, the samples of a copy of a copy, the date and header records, texts
// that are not UTF-8 (as valid JSON); what it refuses: an interval not above 0.
TEST(CliKeeps, CountsCopiesOfCopiesDateRecordsAndTextsAsValidJson) {
  TempDir dir;
  std::ofstream(dir.file("three.csv")) << "time,a [N]\n0,1\n0.5,3\n1,5\n";
  ASSERT_EQ(run_zel(dir, {"convert", "three.csv", "three.rsp"}).status, 0);
  const std::string info = run_zel(dir, {"info", "--json", "three.rsp"}).out;
  EXPECT_EQ(json(info, "points"), std::vector<std::string>{"3"});     // not 256: whole frames are padding
  EXPECT_NEAR(std::stod(json(info, "mean").at(0)), 3.0, 5.0 / 32752); // within a step of 16-bit rounding
  const std::string table = run_zel(dir, {"info", "three.csv"}).out;  // columns as wide as their widest cell
  EXPECT_NE(table.find("\n  #  description  unit  min  max  mean      rms  min at  max at\n"
                       "  1  a            N       1    5     3  3.41565       1       3\n"),
            std::string::npos);

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
  int channels, points, status;
  double dt;
  void *h = zel_rpc_open(dir.file("r.rsp").c_str(), &channels, &points, &dt, nullptr, &status);
  std::string kept; // keyword=value; of every record
  char keyword[32], value[96];
  for (int r = 1; zel_rpc_record(h, r, keyword, value) == 0; ++r) kept += std::string(keyword) + "=" + value + ";";
  zel_rpc_readclose(h);
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
