// ZEL_PCH_WMC, called directly: card layouts, the end of the DTI record,
// skipped columns, the six-row matrices and the counts it changes.
#include "fes_test_support.h"

#include "zel.h"

#include <sstream>
#include <tuple>

using fes_test::TempDir;

namespace {

// Field builders for expected lines (padding only; numbers are literal).
std::string pad(const std::string &s, size_t width) { return std::string(width - s.size(), ' ') + s; }
std::string ints(std::initializer_list<long long> values, size_t width = 8) {
  std::string out;
  for (long long v : values) out += pad(std::to_string(v), width);
  return out;
}
std::string r16(const std::string &s) { return pad(s, 16); }
const std::string kBlank8(8, ' '), kMore = "*       ", kEndrec = "          ENDREC";
const std::string z = r16("0.00000000E+00");
std::string dti(const std::string &name, int n) { return "DTI     " + name + ints({0, n, 1, 2, 1, 1, 10000}); }
std::string dmi(const std::string &name, int form, int rows, int columns) {
  return "DMI     " + name + ints({0, 2, form, 0}) + kBlank8 + ints({rows, columns});
}
std::string card(const std::string &name, int column, int row, size_t width = 16) {
  return "DMI*    " + name + kBlank8 + ints({column, row}, width);
}

std::vector<std::string> lines_of(const std::string &text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

struct Call {
  Call(int32_t m, int32_t n0, int32_t k, int32_t fd, std::vector<double> t, bool complex = false)
      : modes(m), steps(n0), dropped(k), domain(fd), times(std::move(t)) {
    // Zero-filled arrays of the time or frequency layout.
    for (auto *v : {&uh_disp, &uh_vel, &uh_acc}) v->assign((complex ? 2 : 1) * steps * modes, 0.0);
    for (auto *v : {&bh_disp, &bh_vel, &bh_acc}) v->assign((complex ? 2 : 1) * steps * 6, 0.0);
  }
  int32_t modes, steps, dropped, domain;
  std::vector<double> times, uh_disp, bh_disp, uh_vel, bh_vel, uh_acc, bh_acc;

  std::string run(const std::string &path, bool pass_rates = true) {
    ZEL_PCH_WMC(&modes, &steps, &dropped, times.data(), uh_disp.data(), bh_disp.data(),
                pass_rates ? uh_vel.data() : nullptr, pass_rates ? bh_vel.data() : nullptr,
                pass_rates ? uh_acc.data() : nullptr, pass_rates ? bh_acc.data() : nullptr, &domain, path.data(),
                static_cast<int64_t>(path.size()));
    return fes_test::read_text(path);
  }
};

} // namespace

TEST(PunchModal, TimeOutputFileWithDroppedStep) {
  TempDir tmp;
  Call c{2, 5, 1, 0, {0.5, 1.0, 1.5, 2.0, 2.5}};
  // Index (s - 1) + (row - 1) * 5: the leading dimension stays 5.
  c.uh_disp = {1, 0, 0, 0, 9, 2, 0, 0, 0, 9}; // step 5 is dropped
  c.uh_vel[2 + 5] = -0.5;                     // step 3, mode 2
  c.bh_disp[3 + 5 * 5] = 1e100;               // step 4, component 6
  c.bh_vel[1] = 1.0;                          // step 2, component 1
  c.bh_acc[4] = 7.0;                          // step 5: dropped
  const std::string text = c.run(tmp.file("time.pch"));
  // The header lines verbatim, the rest through the field builders.
  const std::string expected =
      "DTI     TOL            0       4       1       2       1       1   10000\n"
      "*         5.00000000E-01  1.00000000E+00  1.50000000E+00  2.00000000E+00\n"
      "*                 ENDREC\n"
      "DMI     UHT            0       2       1       0               2      12\n" +
      card("UHT     ", 1, 1) + r16("1.00000000E+00") + "\n" + kMore + r16("2.00000000E+00") + "\n" +
      card("UHT     ", 8, 2) + r16("-5.00000000E-01") + "\n" + dmi("BHT     ", 1, 6, 12) + "\n" +
      card("BHT     ", 5, 1) + r16("1.00000000E+00") + "\n" + kMore + z + z + z + z + "\n" + kMore + z + "\n" +
      card("BHT     ", 10, 6) + r16("1.00000000+100") + "\n";
  EXPECT_EQ(text, expected);
  EXPECT_EQ(std::make_tuple(c.steps, c.modes, c.dropped), std::make_tuple(4, 6, 1));
}

TEST(PunchModal, EndOfRecordMarkFollowsTheLastValueOrStandsAlone) {
  TempDir tmp;
  const std::string path = tmp.file("endrec.pch");
  // n = 4 puts it on a line of its own (see the time output); n = 5 after the fifth value.
  EXPECT_EQ(lines_of(Call{1, 5, 0, 0, {1, 2, 3, 4, 5}}.run(path)).at(2), kMore + r16("5.00000000E+00") + kEndrec);
  using Lines = std::vector<std::string>;
  // n = 0 (all steps dropped): both matrices with 0 columns, no cards.
  Call none{2, 3, 3, 0, {1, 2, 3}};
  none.uh_disp.assign(6, 1.0);
  EXPECT_EQ(lines_of(none.run(path)), (Lines{dti("TOL     ", 0), kMore + kEndrec, dmi("UHT     ", 1, 2, 0), dmi("BHT     ", 1, 6, 0)}));
}

TEST(PunchModal, RealColumnsSkipLeadingZerosAndContinueFourToALine) {
  TempDir tmp;
  Call c{10, 1, 0, 0, {0.0}};
  c.uh_disp = {0, 0, 3.5, 0, 1.0, 0, 0, 0, 0, 0}; // card row 3, then rows 4 to 10
  c.uh_vel[9] = 4.0;                               // last row only: the card alone
  // uh_acc all zero: no card at all
  c.bh_disp = {0, 0, 0, 0, 0, 6.0};                // B matrix: rows 1 to 6 only
  c.bh_vel = {-0.0, 0, 2.0, 0, 0, 0};
  const std::vector<std::string> expected = {
      dti("TOL     ", 1), kMore + z + kEndrec, dmi("UHT     ", 1, 10, 3),
      card("UHT     ", 1, 3) + r16("3.50000000E+00"), kMore + z + r16("1.00000000E+00") + z + z, kMore + z + z + z,
      card("UHT     ", 2, 10) + r16("4.00000000E+00"), dmi("BHT     ", 1, 6, 3), card("BHT     ", 1, 6) + r16("6.00000000E+00"),
      card("BHT     ", 2, 3) + r16("2.00000000E+00"), kMore + z + z + z};
  EXPECT_EQ(lines_of(c.run(tmp.file("columns.pch"))), expected);
}

TEST(PunchModal, FrequencyOutputWritesComplexColumnsOfDisplacementOnly) {
  TempDir tmp;
  Call c{3, 2, 1, 1, {10.0, 20.0}, true}; // K is ignored
  // Real part of (s, j) at (s - 1) + (2j - 2) * 2, imaginary at (s - 1) + (2j - 1) * 2.
  c.uh_disp[0 + 1 * 2] = 1.5;  // step 1, mode 1: (0, 1.5)
  c.uh_disp[0 + 4 * 2] = -2.0; // step 1, mode 3: (-2, 0)
  // step 2 all zero: no card
  c.bh_disp[1 + 2 * 2] = 5.0;  // step 2, component 2: (5, 0)
  c.bh_disp[1 + 11 * 2] = 6.0; // step 2, component 6: (0, 6)
  const std::vector<std::string> lines = lines_of(c.run(tmp.file("freq.pch"), false));
  const std::vector<std::string> expected = {
      "DTI     FOL            0       2       1       2       1       1   10000",
      kMore + r16("1.00000000E+01") + r16("2.00000000E+01") + kEndrec,
      "DMI     UHF            0       2       3       0               3       6",
      card("UHF     ", 1, 1, 8) + z + r16("1.50000000E+00"),
      kMore + z + z + r16("-2.00000000E+00") + z,
      dmi("BHF     ", 3, 6, 6),
      card("BHF     ", 4, 2, 8) + r16("5.00000000E+00") + z,
      kMore + z + z + z + z,                        // rows 3 and 4
      kMore + z + z + z + r16("6.00000000E+00")}; // rows 5 and 6
  EXPECT_EQ(lines, expected);
  EXPECT_EQ(std::make_tuple(c.steps, c.modes, c.dropped), std::make_tuple(2, 6, 1));
}

TEST(PunchModal, OtherDomainsWriteOnlyAnUnnamedTableAndReplaceAnOlderFile) {
  TempDir tmp;
  const std::string path = tmp.file("other.pch");
  fes_test::write_file(path, fes_test::Bytes(10000, 'Z'));
  Call c{3, 2, 1, 2, {1.0, 2.0}};
  EXPECT_EQ(c.run(path, false), dti("        ", 2) + "\n" + kMore + r16("1.00000000E+00") + r16("2.00000000E+00") + kEndrec + "\n");
  EXPECT_EQ(std::make_tuple(c.steps, c.modes), std::make_tuple(2, 3));
}
