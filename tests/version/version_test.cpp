// The version report: eight "@(#)" texts in the library file, printed in order without the marker, and the two copies
// of the release version.
#include "support/temp_dir.h"
#include "zel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <regex>
#include <tuple>

// Print order. Labels are 12 characters, a word at each end; the values of lines 1 to 3 are only the options in
// parentheses (options begin with '-').
static const char *const kLines[8] = {R"(QEN C\+\+     opts: \(-[^()]*(\([^()]*\)[^()]*)*\))",
                                      R"(QEN C       opts: \(-[^()]*(\([^()]*\)[^()]*)*\))",
                                      R"(QEN Link    opts: \(-[^()]*(\([^()]*\)[^()]*)*\))",
                                      R"(QEN Utility  lib: zel)",
                                      R"(QEN Compile   os: \S.*)",
                                      R"(QEN Compile date: \d{4}-\d\d-\d\d \d\d:\d\d:\d\d)",
                                      R"(QEN Compile  ver: \d{8}\.\d{4})",
                                      R"(QEN Release  ver: (\d{4}\.\d+\.\d+-CL\d{6}))"};

TEST(VersionReport, PrintsTheEightStoredTextsInOrderAndReturnsTheRelease) {
  std::fflush(stdout);
  testing::internal::CaptureStdout();
  const char *release = zel_version();
  const std::string out = testing::internal::GetCapturedStdout();
  std::vector<std::string> printed, stored;
  std::smatch m;
  for (size_t at = 2, end; (end = out.find('\n', at)) != std::string::npos; at = end + 1)
    printed.push_back(out.substr(at, end - at));
  ASSERT_EQ(std::make_tuple(out.substr(0, 2), printed.size()), std::make_tuple(std::string("\n\n"), size_t(8))) << out;
  EXPECT_EQ(out.back(), '\n');
  for (int i = 0; i < 8; ++i)
    EXPECT_TRUE(std::regex_match(printed[i], m, std::regex(kLines[i]))) << "line " << i + 1 << ": " << printed[i];
  EXPECT_EQ(release, m[1].str()) << "the release version of line 8";
  EXPECT_STREQ(zel_build_version(), release);
  EXPECT_NE(static_cast<const void *>(zel_build_version()), static_cast<const void *>(release)) << "two copies";
  const std::string library = zel_test::read_file(ZEL_LIBRARY_FILE);
  for (size_t at = library.find("@(#)"); at != std::string::npos; at = library.find("@(#)", at + 4))
    stored.push_back(library.substr(at + 4, library.find('\0', at) - at - 4));
  std::sort(printed.begin(), printed.end()), std::sort(stored.begin(), stored.end());
  EXPECT_EQ(stored, printed) << "the library holds exactly the printed lines behind the marker";
}
