// The punch file: its 16-column real and 8- or 16-column integer fields, and ZEL_PCH_WMC's DTI and DMI cards for time,
// frequency and other output.
#include "export_test_support.h"

#include "solver_export/punch_field.h"

#include <cmath>
#include <cstdio>
#include <random>
#include <tuple>

using namespace export_test;

namespace {

std::string real(double v) {
  char out[zel::punch::kRealWidth];
  zel::punch::format_real(v, out);
  return std::string(out, sizeof out);
}
std::string ints(std::initializer_list<long long> values, int width = 8) {
  std::string out;
  for (long long v : values) out += std::string(width - std::to_string(v).size(), ' ') + std::to_string(v);
  return out;
}
const std::string kMore = "*       ", kEnd = "          ENDREC", z = real(0);
std::string dti(const std::string &name, int n) { return "DTI     " + name + ints({0, n, 1, 2, 1, 1, 10000}) + "\n"; }
std::string dmi(const std::string &name, int form, int rows, int columns) {
  return "DMI     " + name + ints({0, 2, form, 0}) + "        " + ints({rows, columns}) + "\n";
}
std::string card(const std::string &name, int column, int row, int width = 16) {
  return "DMI*    " + name + "        " + ints({column, row}, width);
}

} // namespace

TEST(PunchField, RealsHaveOneDigitEightDecimalsAndTwoOrThreeExponentDigits) {
  // clang-format off
  const std::pair<double, const char *> cases[] = {
      {1.0, "  1.00000000E+00"}, {-0.000123456789012, " -1.23456789E-04"}, {-0.0, "  0.00000000E+00"},
      // Correct rounding, carries into the exponent, a true tie (1234567885 is exact) to the even digit, a value stored
      // just below its decimal tie.
      {1.234567896, "  1.23456790E+00"}, {-9.9999999951, " -1.00000000E+01"}, {1234567885.0, "  1.23456788E+09"},
      {1.000000005, "  1.00000000E+00"},
      // Beyond 99 the exponent takes three digits and drops the letter.
      {1e-99, "  1.00000000E-99"}, {9.999999999e99, "  1.00000000+100"}, {-2.5e-120, " -2.50000000-120"},
      {4.9e-324, "  4.94065646-324"},
      {NAN, "             NaN"}, {HUGE_VAL, "        Infinity"}, {-HUGE_VAL, "       -Infinity"}};
  // clang-format on
  const std::tuple<int64_t, int, const char *> integers[] = {
      {0, 8, "       0"},         {-9999999, 8, "-9999999"},           {100000000, 8, "********"},
      {-10000000, 8, "********"}, {300000001, 16, "       300000001"}, {INT64_MIN, 16, "****************"}};
  for (const auto &[v, text] : cases) EXPECT_EQ(real(v), text) << v;
  for (const auto &[v, width, text] : integers) {
    char out[16];
    zel::punch::format_integer(v, width, out);
    EXPECT_EQ(std::string(out, size_t(width)), text) << v;
  }
}

TEST(PunchField, RealsAgreeWithPrintfAtEveryMagnitude) {
  // printf's %.8E, its letter dropped before a three-digit exponent, right-justified.
  const auto expected = [](double v) {
    char text[32];
    std::string t(text, size_t(std::snprintf(text, sizeof text, "%.8E", v)));
    const size_t e = t.find('E');
    if (t.size() - e > 4) t.erase(e, 1);
    return std::string(16 - t.size(), ' ') + t;
  };
  std::mt19937_64 random(11);
  for (int i = 0; i < 300000; ++i) {
    const uint64_t bits = random();
    double v;
    std::memcpy(&v, &bits, sizeof v);
    if (!std::isfinite(v) || v == 0.0) continue;
    ASSERT_EQ(real(v), expected(v)) << "bits " << bits;
  }
  for (int i = 0; i < 300000; ++i) {
    const double v = std::ldexp(double(random() >> 11), int(random() % 160) - 120) * (i % 2 ? 1 : -1);
    ASSERT_EQ(real(v), expected(v)) << v;
  }
  for (int64_t k = 100000000; k < 100100000; k += 7) { // ten-digit integers, ties among them
    ASSERT_EQ(real(double(k) * 10 + 5), expected(double(k) * 10 + 5)) << k;
    ASSERT_EQ(real(double(k) * 1e-3), expected(double(k) * 1e-3)) << k;
  }
}

TEST(PunchModal, TimeOutputSkipsLeadingZerosAndContinuesFourToALine) {
  TempDir tmp;
  // M 5, N0 5, K 1: value (s, row) at (s - 1) + (row - 1) * 5; step 5 is dropped.
  Call c{5, 5, 1, 0, {0.5, 1.0, 1.5, 2.0, 2.5}, {1, 0, 0, 0, 9, 0, 0, 0, 0, 9, 3, 0, 0, 0, 9, 0, 0, 0, 0, 9, 1e100}};
  c.uh_vel[2 + 4 * 5] = -0.5; // step 3, row 5 only
  c.bh_vel[1 + 2 * 5] = 2.0;  // step 2, component 3, then zeros to row 6
  c.bh_acc[3 + 5 * 5] = 7.0;  // step 4, component 6
  c.bh_disp[4] = 8.0;         // step 5: dropped
  const std::string expected = dti("TOL     ", 4) + kMore + real(0.5) + real(1) + real(1.5) + real(2) + "\n" + kMore +
                               kEnd + "\n" + dmi("UHT     ", 1, 5, 12) + card("UHT     ", 1, 1) + real(1) + "\n" +
                               kMore + z + real(3) + z + real(1e100) + "\n" + card("UHT     ", 8, 5) + real(-0.5) +
                               "\n" + dmi("BHT     ", 1, 6, 12) + card("BHT     ", 5, 3) + real(2) + "\n" + kMore + z +
                               z + z + "\n" + card("BHT     ", 12, 6) + real(7) + "\n";
  EXPECT_EQ(c.punch(tmp.file("time.pch")), expected);
  EXPECT_EQ(std::make_tuple(c.steps, c.modes, c.dropped), std::make_tuple(4, 6, 1));
  Call none{2, 3, 3, 0, {1, 2, 3}, {1, 1, 1, 1, 1, 1}}; // every step dropped: no values, no columns
  EXPECT_EQ(none.punch(tmp.file("none.pch")),
            dti("TOL     ", 0) + kMore + kEnd + "\n" + dmi("UHT     ", 1, 2, 0) + dmi("BHT     ", 1, 6, 0));
}

TEST(PunchModal, FrequencyOutputWritesComplexColumnsOfDisplacementOnly) {
  TempDir tmp;
  // K is ignored, rates are never read. Real part of (s, j) at (s - 1) + (2j - 2) * 2, imaginary at (s - 1) + (2j - 1)
  // * 2.
  Call c{3, 2, 1, 1, {10.0, 20.0, 30.0}, {0, 0, 1.5, 0, 0, 0, 0, 0, -2.0}, kZeros, {}, {}, {}, {}};
  c.bh_disp[1 + 2 * 2] = 5.0, c.bh_disp[1 + 11 * 2] = 6.0; // step 2: component 2 (5, 0), component 6 (0, 6)
  const std::string expected = dti("FOL     ", 2) + kMore + real(10) + real(20) + kEnd + "\n" +
                               dmi("UHF     ", 3, 3, 6) + card("UHF     ", 1, 1, 8) + z + real(1.5) + "\n" + kMore + z +
                               z + real(-2) + z + "\n" + dmi("BHF     ", 3, 6, 6) + card("BHF     ", 4, 2, 8) +
                               real(5) + z + "\n" + kMore + z + z + z + z + "\n" + kMore + z + z + z + real(6) + "\n";
  EXPECT_EQ(c.punch(tmp.file("freq.pch")), expected);
  EXPECT_EQ(std::make_tuple(c.steps, c.modes, c.dropped), std::make_tuple(2, 6, 1));
}

TEST(PunchModal, OtherDomainsWriteAnUnnamedTableOverAnOlderFile) {
  TempDir tmp;
  const std::string path = tmp.file("other.pch");
  std::ofstream(path) << std::string(10000, 'x');
  Call c{3, 5, 1, 2, {1, 2, 3, 4, 5}};
  EXPECT_EQ(c.punch(path),
            dti("        ", 5) + kMore + real(1) + real(2) + real(3) + real(4) + "\n" + kMore + real(5) + kEnd + "\n");
  EXPECT_EQ(std::make_tuple(c.steps, c.modes), std::make_tuple(5, 3));
}
