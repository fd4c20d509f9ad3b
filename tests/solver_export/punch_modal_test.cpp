// ZEL_PCH_WMC, called directly: card layouts, the end of the DTI record,
// skipped columns, the six-row matrices and the counts it changes.
#include "fes_test_support.h"

#include "zel.h"

#include <sstream>

using fes_test::TempDir;

namespace {

// Field builders for expected lines (padding only; numbers are literal).
std::string pad(const std::string &s, size_t width) { return std::string(width - s.size(), ' ') + s; }
std::string i8(const std::string &s) { return pad(s, 8); }
std::string i16(const std::string &s) { return pad(s, 16); }
std::string r16(const std::string &s) { return pad(s, 16); }
const std::string kBlank8(8, ' ');
const std::string kEndrec = "          ENDREC";

std::vector<std::string> lines_of(const std::string &text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

struct Call {
  Call(int32_t m, int32_t n0, int32_t k, int32_t fd, std::vector<double> t)
      : modes(m), steps(n0), dropped(k), domain(fd), times(std::move(t)) {}
  int32_t modes, steps, dropped, domain;
  std::vector<double> times, uh_disp, bh_disp, uh_vel, bh_vel, uh_acc, bh_acc;

  // Zero-filled arrays for the time (complex false) or frequency layout.
  void zero_arrays(bool complex) {
    const size_t per = complex ? 2 : 1;
    for (auto *v : {&uh_disp, &uh_vel, &uh_acc}) v->assign(per * steps * modes, 0.0);
    for (auto *v : {&bh_disp, &bh_vel, &bh_acc}) v->assign(per * steps * 6, 0.0);
  }
  std::string run(const std::string &path, bool pass_rates = true) {
    ZEL_PCH_WMC(&modes, &steps, &dropped, times.data(), uh_disp.data(), bh_disp.data(),
                pass_rates ? uh_vel.data() : nullptr, pass_rates ? bh_vel.data() : nullptr,
                pass_rates ? uh_acc.data() : nullptr, pass_rates ? bh_acc.data() : nullptr,
                &domain, path.data(), static_cast<int64_t>(path.size()));
    return fes_test::read_text(path);
  }
};

} // namespace

TEST(PunchModal, TimeOutputFileWithDroppedStep) {
  TempDir tmp;
  const std::string path = tmp.path("time.pch");
  Call c{2, 5, 1, 0, {0.5, 1.0, 1.5, 2.0, 2.5}};
  c.zero_arrays(false);
  // Index (s - 1) + (row - 1) * 5: the leading dimension stays 5.
  c.uh_disp = {1, 0, 0, 0, 9, 2, 0, 0, 0, 9}; // step 5 is dropped
  c.uh_vel[2 + 5] = -0.5;                     // step 3, mode 2
  c.bh_disp[3 + 5 * 5] = 1e100;               // step 4, component 6
  c.bh_vel[1] = 1.0;                          // step 2, component 1
  c.bh_acc[4] = 7.0;                          // step 5: dropped
  const std::string text = c.run(path);

  const std::string expected =
      std::string("DTI     TOL     "
                  "       0" "       4" "       1" "       2" "       1" "       1" "   10000\n"
                  "*       " "  5.00000000E-01" "  1.00000000E+00" "  1.50000000E+00" "  2.00000000E+00\n"
                  "*       " "          ENDREC\n"
                  "DMI     UHT     " "       0" "       2" "       1" "       0" "        " "       2" "      12\n") +
      "DMI*    UHT     " + kBlank8 + i16("1") + i16("1") + r16("1.00000000E+00") + "\n" +
      "*       " + r16("2.00000000E+00") + "\n" +
      "DMI*    UHT     " + kBlank8 + i16("8") + i16("2") + r16("-5.00000000E-01") + "\n" +
      "DMI     BHT     " + i8("0") + i8("2") + i8("1") + i8("0") + kBlank8 + i8("6") + i8("12") + "\n" +
      "DMI*    BHT     " + kBlank8 + i16("5") + i16("1") + r16("1.00000000E+00") + "\n" +
      "*       " + r16("0.00000000E+00") + r16("0.00000000E+00") + r16("0.00000000E+00") +
      r16("0.00000000E+00") + "\n" + "*       " + r16("0.00000000E+00") + "\n" +
      "DMI*    BHT     " + kBlank8 + i16("10") + i16("6") + r16("1.00000000+100") + "\n";
  EXPECT_EQ(text, expected);
  for (const std::string &line : lines_of(text)) EXPECT_LE(line.size(), 72u) << line;
  EXPECT_EQ(lines_of(text)[0].size(), 72u);
  EXPECT_EQ(lines_of(text)[3].size(), 72u);

  EXPECT_EQ(c.steps, 4);
  EXPECT_EQ(c.modes, 6);
  EXPECT_EQ(c.dropped, 1);
}

TEST(PunchModal, EndOfRecordMarkFollowsTheLastValueOrStandsAlone) {
  TempDir tmp;
  const std::string path = tmp.path("endrec.pch");
  auto dti_lines = [&](int32_t n0) {
    std::vector<double> t;
    for (int i = 1; i <= n0; ++i) t.push_back(i);
    Call c{1, n0, 0, 0, t};
    c.zero_arrays(false);
    std::vector<std::string> lines = lines_of(c.run(path));
    std::vector<std::string> dti;
    for (size_t k = 1; k < lines.size() && lines[k].compare(0, 3, "DMI") != 0; ++k)
      dti.push_back(lines[k]);
    return dti;
  };
  const std::string v1 = r16("1.00000000E+00"), v2 = r16("2.00000000E+00"),
                    v3 = r16("3.00000000E+00"), v4 = r16("4.00000000E+00"),
                    v5 = r16("5.00000000E+00"), v8 = r16("8.00000000E+00");
  EXPECT_EQ(dti_lines(0), (std::vector<std::string>{"*       " + kEndrec}));
  EXPECT_EQ(dti_lines(4), (std::vector<std::string>{"*       " + v1 + v2 + v3 + v4,
                                                    "*       " + kEndrec}));
  EXPECT_EQ(dti_lines(5), (std::vector<std::string>{"*       " + v1 + v2 + v3 + v4,
                                                    "*       " + v5 + kEndrec}));
  const std::vector<std::string> eight = dti_lines(8);
  ASSERT_EQ(eight.size(), 3u);
  EXPECT_EQ(eight[1].substr(56), v8);
  EXPECT_EQ(eight[2], "*       " + kEndrec);
  const std::vector<std::string> seven = dti_lines(7);
  ASSERT_EQ(seven.size(), 2u);
  EXPECT_EQ(seven[1].size(), 72u);
  EXPECT_EQ(seven[1].substr(56), kEndrec);

  // n = 0 (all steps dropped): both matrices with 0 columns, no cards.
  Call none{2, 3, 3, 0, {1, 2, 3}};
  none.zero_arrays(false);
  none.uh_disp.assign(6, 1.0);
  const std::vector<std::string> lines = lines_of(none.run(path));
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0].substr(16, 16), i8("0") + i8("0"));
  EXPECT_EQ(lines[1], "*       " + kEndrec);
  EXPECT_EQ(lines[2].substr(56), i8("2") + i8("0"));
  EXPECT_EQ(lines[3].substr(0, 16), "DMI     BHT     ");
  EXPECT_EQ(lines[3].substr(56), i8("6") + i8("0"));
}

TEST(PunchModal, RealColumnsSkipLeadingZerosAndContinueFourToALine) {
  TempDir tmp;
  const std::string path = tmp.path("columns.pch");
  Call c{10, 1, 0, 0, {0.0}};
  c.zero_arrays(false);
  c.uh_disp = {0, 0, 3.5, 0, 1.0, 0, 0, 0, 0, 0}; // card row 3, then rows 4 to 10
  c.uh_vel[9] = 4.0;                               // last row only: the card alone
  // uh_acc all zero: no card at all
  c.bh_disp = {0, 0, 0, 0, 0, 6.0};                // B matrix: rows 1 to 6 only
  c.bh_vel = {-0.0, 0, 2.0, 0, 0, 0};
  const std::vector<std::string> lines = lines_of(c.run(path));
  const std::string z = r16("0.00000000E+00");
  const std::vector<std::string> expected = {
      "DTI     TOL     " + i8("0") + i8("1") + i8("1") + i8("2") + i8("1") + i8("1") + i8("10000"),
      "*       " + r16("0.00000000E+00") + kEndrec,
      "DMI     UHT     " + i8("0") + i8("2") + i8("1") + i8("0") + kBlank8 + i8("10") + i8("3"),
      "DMI*    UHT     " + kBlank8 + i16("1") + i16("3") + r16("3.50000000E+00"),
      "*       " + z + r16("1.00000000E+00") + z + z,
      "*       " + z + z + z,
      "DMI*    UHT     " + kBlank8 + i16("2") + i16("10") + r16("4.00000000E+00"),
      "DMI     BHT     " + i8("0") + i8("2") + i8("1") + i8("0") + kBlank8 + i8("6") + i8("3"),
      "DMI*    BHT     " + kBlank8 + i16("1") + i16("6") + r16("6.00000000E+00"),
      "DMI*    BHT     " + kBlank8 + i16("2") + i16("3") + r16("2.00000000E+00"),
      "*       " + z + z + z};
  EXPECT_EQ(lines, expected);
}

TEST(PunchModal, FrequencyOutputWritesComplexColumnsOfDisplacementOnly) {
  TempDir tmp;
  const std::string path = tmp.path("freq.pch");
  Call c{3, 2, 1, 1, {10.0, 20.0}}; // K is ignored
  c.zero_arrays(true);
  // Real part of (s, j) at (s - 1) + (2j - 2) * 2, imaginary at (s - 1) + (2j - 1) * 2.
  c.uh_disp[0 + 1 * 2] = 1.5;  // step 1, mode 1: (0, 1.5)
  c.uh_disp[0 + 4 * 2] = -2.0; // step 1, mode 3: (-2, 0)
  // step 2 all zero: no card
  c.bh_disp[1 + 2 * 2] = 5.0;  // step 2, component 2: (5, 0)
  c.bh_disp[1 + 11 * 2] = 6.0; // step 2, component 6: (0, 6)
  const std::vector<std::string> lines = lines_of(c.run(path, false));
  const std::string z = r16("0.00000000E+00");
  const std::vector<std::string> expected = {
      "DTI     FOL     " + i8("0") + i8("2") + i8("1") + i8("2") + i8("1") + i8("1") + i8("10000"),
      "*       " + r16("1.00000000E+01") + r16("2.00000000E+01") + kEndrec,
      "DMI     UHF     " + i8("0") + i8("2") + i8("3") + i8("0") + kBlank8 + i8("3") + i8("6"),
      "DMI*    UHF     " + kBlank8 + i8("1") + i8("1") + z + r16("1.50000000E+00"),
      "*       " + z + z + r16("-2.00000000E+00") + z,
      "DMI     BHF     " + i8("0") + i8("2") + i8("3") + i8("0") + kBlank8 + i8("6") + i8("6"),
      "DMI*    BHF     " + kBlank8 + i8("4") + i8("2") + r16("5.00000000E+00") + z,
      "*       " + z + z + z + z, // rows 3 and 4
      "*       " + z + z + z + r16("6.00000000E+00")}; // rows 5 and 6
  EXPECT_EQ(lines, expected);
  EXPECT_EQ(lines[3].size(), 72u);
  EXPECT_EQ(c.steps, 2);
  EXPECT_EQ(c.dropped, 1);
  EXPECT_EQ(c.modes, 6);
}

TEST(PunchModal, OtherDomainsWriteOnlyAnUnnamedTableAndReplaceAnOlderFile) {
  TempDir tmp;
  const std::string path = tmp.path("other.pch");
  fes_test::write_file(path, fes_test::Bytes(10000, 'Z'));
  Call c{3, 2, 1, 2, {1.0, 2.0}};
  const std::string text = c.run(path, false);
  EXPECT_EQ(text, "DTI             " + i8("0") + i8("2") + i8("1") + i8("2") + i8("1") +
                      i8("1") + i8("10000") + "\n" + "*       " + r16("1.00000000E+00") +
                      r16("2.00000000E+00") + kEndrec + "\n");
  EXPECT_EQ(c.steps, 2);
  EXPECT_EQ(c.modes, 3);
}
