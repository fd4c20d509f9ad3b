// The 16-column real field and the integer fields of punch cards.
#include "solver_export/punch_field.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <limits>
#include <string>
#include <utility>

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

TEST(PunchField, RealsHaveOneDigitEightDecimalsRoundingAndExponentsOfTwoOrThreeDigits) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const std::pair<double, const char *> cases[] = {
      {1.0, "  1.00000000E+00"}, {-1.0, " -1.00000000E+00"}, {0.1, "  1.00000000E-01"},
      {123456.789, "  1.23456789E+05"}, {-0.000123456789012, " -1.23456789E-04"},
      {0.0, "  0.00000000E+00"}, {-0.0, "  0.00000000E+00"}, // a zero carries no sign
      // Rounding, with carries into the exponent; 1234567885 is exact in
      // binary: a true tie, rounded to the even digit. 1.000000005 is stored a
      // little below the decimal tie it is written as.
      {1.234567891, "  1.23456789E+00"}, {1.234567896, "  1.23456790E+00"},
      {9.999999995000001, "  1.00000000E+01"}, {-9.9999999951, " -1.00000000E+01"},
      {0.99999999999, "  1.00000000E+00"}, {1234567885.0, "  1.23456788E+09"},
      {1234567895.0, "  1.23456790E+09"}, {2.0 / 3.0, "  6.66666667E-01"}, {1.000000005, "  1.00000000E+00"},
      // Beyond 99 the exponent takes three digits and drops the letter.
      {1e99, "  1.00000000E+99"}, {1e-99, "  1.00000000E-99"}, {9.999999999e99, "  1.00000000+100"},
      {1e100, "  1.00000000+100"}, {-2.5e-120, " -2.50000000-120"}, {DBL_MAX, "  1.79769313+308"},
      {-DBL_MIN, " -2.22507386-308"}, {std::numeric_limits<double>::denorm_min(), "  4.94065646-324"},
      // Values that are not finite are spelled out.
      {nan, "             NaN"}, {-nan, "             NaN"}, {HUGE_VAL, "        Infinity"},
      {-HUGE_VAL, "       -Infinity"}};
  for (const auto &[v, text] : cases) EXPECT_EQ(real(v), text) << v;
}

TEST(PunchField, IntegersAreRightJustifiedAndOverflowToAsterisks) {
  const struct { int64_t v; int width; const char *text; } cases[] = {{0, 8, "       0"},          {10000, 8, "   10000"},       {-5, 8, "      -5"},
               {99999999, 8, "99999999"},   {-9999999, 8, "-9999999"},     {100000000, 8, "********"},
               {-10000000, 8, "********"},  {300000001, 16, "       300000001"},
               {INT64_MIN, 16, "****************"}};
  for (const auto &c : cases) EXPECT_EQ(integer(c.v, c.width), c.text) << c.v;
}
