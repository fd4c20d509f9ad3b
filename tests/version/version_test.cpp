// The version report: eight "@(#)" texts in the library file, printed in
// order without the marker, and the two copies of the release version.
#include "support/temp_dir.h"
#include "zel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <regex>
#include <string>
#include <vector>

namespace {

// Print order. Labels are 12 characters, a word at each end; the values of
// lines 1 to 3 are only the options in parentheses (options begin with '-').
const char *const kLines[8] = {R"(QEN C\+\+     opts: \(-[^()]*(\([^()]*\)[^()]*)*\))",
                               R"(QEN C       opts: \(-[^()]*(\([^()]*\)[^()]*)*\))",
                               R"(QEN Link    opts: \(-[^()]*(\([^()]*\)[^()]*)*\))",
                               R"(QEN Utility  lib: zel)",
                               R"(QEN Compile   os: \S.*)",
                               R"(QEN Compile date: \d{4}-\d\d-\d\d \d\d:\d\d:\d\d)",
                               R"(QEN Compile  ver: \d{8}\.\d{4})",
                               R"(QEN Release  ver: (\d{4}\.\d+\.\d+-CL\d{6}))"};

std::string report(const char **result) {
  std::fflush(stdout);
  testing::internal::CaptureStdout();
  *result = zel_version();
  return testing::internal::GetCapturedStdout();
}

} // namespace

TEST(VersionReport, PrintsTheEightStoredTextsInOrderAndReturnsTheRelease) {
  const char *first = nullptr, *second = nullptr;
  const std::string out = report(&first);
  std::string release;
  std::vector<std::string> printed;
  ASSERT_EQ(out.substr(0, 2), "\n\n");
  for (size_t at = 2, end; (end = out.find('\n', at)) != std::string::npos; at = end + 1)
    printed.push_back(out.substr(at, end - at));
  ASSERT_EQ(printed.size(), 8u) << out;
  EXPECT_EQ(out.back(), '\n');
  const std::vector<unsigned char> raw = zel_test::read_file_bytes(ZEL_LIBRARY_FILE);
  const std::string library(raw.begin(), raw.end());
  std::vector<std::string> stored;
  for (size_t at = library.find("@(#)"); at != std::string::npos; at = library.find("@(#)", at + 4))
    stored.push_back(library.substr(at + 4, library.find('\0', at) - at - 4));
  for (int i = 0; i < 8; ++i) {
    std::smatch m;
    EXPECT_TRUE(std::regex_match(printed[i], m, std::regex(kLines[i]))) << "line " << i + 1 << ": " << printed[i];
    if (i == 7 && m.size() > 1) release = m[1];
  }
  std::sort(printed.begin(), printed.end()), std::sort(stored.begin(), stored.end());
  EXPECT_EQ(stored, printed) << "the library holds exactly the printed lines behind the marker";
  EXPECT_EQ(first, release);
  EXPECT_STREQ(zel_build_version(), first);
  EXPECT_NE(static_cast<const void *>(zel_build_version()), static_cast<const void *>(first));
  EXPECT_EQ(report(&second), out);
  EXPECT_EQ(second, first);
}
