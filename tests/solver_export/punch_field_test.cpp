// The 16-column real field and the integer fields of punch cards.
#include "solver_export/punch_field.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <limits>
#include <string>

namespace {

std::string real(double v) {
  char out[zel::punch::kRealWidth];
  zel::punch::format_real(v, out);
  return std::string(out, sizeof out);
}

std::string integer(int64_t v, int width) {
  char out[16];
  zel::punch::format_integer(v, width, out);
  return std::string(out, static_cast<size_t>(width));
}

} // namespace

TEST(PunchField, RealsHaveOneLeadingDigitEightDecimalsAndATwoDigitExponent) {
  EXPECT_EQ(real(1.0), "  1.00000000E+00");
  EXPECT_EQ(real(-1.0), " -1.00000000E+00");
  EXPECT_EQ(real(3.5), "  3.50000000E+00");
  EXPECT_EQ(real(0.1), "  1.00000000E-01");
  EXPECT_EQ(real(123456.789), "  1.23456789E+05");
  EXPECT_EQ(real(-0.000123456789012), " -1.23456789E-04");
  EXPECT_EQ(real(1e99), "  1.00000000E+99");
  EXPECT_EQ(real(1e-99), "  1.00000000E-99");
  EXPECT_EQ(real(0.0), "  0.00000000E+00");
  EXPECT_EQ(real(-0.0), "  0.00000000E+00") << "a zero carries no sign";
}

TEST(PunchField, RealsAreRoundedCorrectlyIncludingCarriesIntoTheExponent) {
  EXPECT_EQ(real(1.234567891), "  1.23456789E+00");
  EXPECT_EQ(real(1.234567896), "  1.23456790E+00");
  EXPECT_EQ(real(9.999999995000001), "  1.00000000E+01");
  EXPECT_EQ(real(-9.9999999951), " -1.00000000E+01");
  EXPECT_EQ(real(9.999999999e99), "  1.00000000+100");
  EXPECT_EQ(real(0.99999999999), "  1.00000000E+00");
  // 1234567885 is exact in binary: a true tie, rounded to the even digit.
  EXPECT_EQ(real(1234567885.0), "  1.23456788E+09");
  EXPECT_EQ(real(1234567895.0), "  1.23456790E+09");
  EXPECT_EQ(real(2.0 / 3.0), "  6.66666667E-01");
  // Rounding follows the exact binary value: 1.000000005 is stored a little
  // below the decimal tie it is written as.
  EXPECT_EQ(real(1.000000005), "  1.00000000E+00");
}

TEST(PunchField, ExponentsBeyondNinetyNineDropTheLetter) {
  EXPECT_EQ(real(1e100), "  1.00000000+100");
  EXPECT_EQ(real(-2.5e-120), " -2.50000000-120");
  EXPECT_EQ(real(DBL_MAX), "  1.79769313+308");
  EXPECT_EQ(real(-DBL_MIN), " -2.22507386-308");
  EXPECT_EQ(real(std::numeric_limits<double>::denorm_min()), "  4.94065646-324");
}

TEST(PunchField, NonFiniteValuesAreSpelledOut) {
  EXPECT_EQ(real(std::numeric_limits<double>::quiet_NaN()), "             NaN");
  EXPECT_EQ(real(-std::numeric_limits<double>::quiet_NaN()), "             NaN");
  EXPECT_EQ(real(HUGE_VAL), "        Infinity");
  EXPECT_EQ(real(-HUGE_VAL), "       -Infinity");
}

TEST(PunchField, IntegersAreRightJustifiedAndOverflowToAsterisks) {
  EXPECT_EQ(integer(0, 8), "       0");
  EXPECT_EQ(integer(10000, 8), "   10000");
  EXPECT_EQ(integer(-5, 8), "      -5");
  EXPECT_EQ(integer(99999999, 8), "99999999");
  EXPECT_EQ(integer(-9999999, 8), "-9999999");
  EXPECT_EQ(integer(100000000, 8), "********");
  EXPECT_EQ(integer(-10000000, 8), "********");
  EXPECT_EQ(integer(300000001, 16), "       300000001");
  EXPECT_EQ(integer(INT64_MIN, 16), "****************");
}
