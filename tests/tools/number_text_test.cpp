// The tool's number texts are std::to_chars's shortest round-trip texts, character for character, however made.
#include "number_text.h"

#include <gtest/gtest.h>

#include <charconv>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <random>

TEST(NumberText, EdgesOfEachNotationRandomBitsAndScaledIntegers) {
  // clang-format off
  std::vector<double> cases = {
      0.0, -0.0, 1.0, -1.0, 0.1, 0.5, 123.45, -0.001, 0.0001, 1e-5, 1e-7, 1.5e-7, 10.0, 100000.0, 1e6, 1234567.0,
      1e15, 1e16, 1.2e16, 9007199254740992.0, 9007199254740993.0, 1e21, 1e22, 1e23, 123456789012345680000.0,
      1.7976931348623157e308, DBL_MIN, 4.9e-324, -2.2250738585072014e-308, 1e100, 1e-100, 1.25e-99,
      3.0517578125e-05, 0.30000000000000004, 2.0 / 3.0, 1e-3 * 1048575, std::nan(""), HUGE_VAL, -HUGE_VAL};
  // clang-format on
  std::mt19937_64 random(2026);
  for (int k = -32768; k < 32768; k += 7) cases.push_back(0.0030517578125 * 1.1 * k);
  for (int i = 0; i < 400000; ++i) { // bit patterns, and every other time a scaled integer
    const uint64_t bits = random();
    std::memcpy(&cases.emplace_back(), &bits, sizeof bits);
    if (!std::isfinite(cases.back())) cases.pop_back();
    if (i % 2) cases.push_back(std::ldexp(double(random() >> 11), int(random() % 200) - 100));
  }
  for (double value : cases) {
    char text[zel_tool::kExactChars], want[64];
    ASSERT_EQ(std::string(text, zel_tool::put_exact(text, value)),
              std::string(want, std::to_chars(want, want + sizeof want, value).ptr));
  }
}
