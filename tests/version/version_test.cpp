// The version report: eight identification texts in the library file, the
// printed report and the two release-version texts.
#include "support/temp_dir.h"
#include "zel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::vector<std::string> marked_texts(const std::string &path) {
  const std::vector<unsigned char> raw = zel_test::read_file_bytes(path);
  const std::string bytes(raw.begin(), raw.end());
  std::vector<std::string> found;
  for (size_t pos = bytes.find("@(#)"); pos != std::string::npos;
       pos = bytes.find("@(#)", pos + 4)) {
    size_t end = bytes.find('\0', pos);
    found.push_back(bytes.substr(pos, end - pos));
  }
  return found;
}

std::string captured_report(const char **result) {
  std::fflush(stdout);
  testing::internal::CaptureStdout();
  *result = zel_version();
  return testing::internal::GetCapturedStdout();
}

} // namespace

TEST(VersionReport, LibraryFileHoldsEightIdentificationTexts) {
  std::vector<std::string> texts = marked_texts(ZEL_LIBRARY_FILE);
  ASSERT_EQ(texts.size(), 8u);
  const std::regex shape(R"(@\(#\)QEN .{12}: .+)");
  for (const std::string &t : texts) EXPECT_TRUE(std::regex_match(t, shape)) << t;
  // Labels: two words at the two ends of 12 characters.
  const std::regex label(R"(@\(#\)QEN \S+ +\S+: .*)");
  for (const std::string &t : texts) EXPECT_TRUE(std::regex_match(t, label)) << t;
  // The linker may store them in any order; each form appears once.
  auto count = [&](const char *re) {
    int n = 0;
    for (const std::string &t : texts) n += std::regex_match(t, std::regex(re));
    return n;
  };
  EXPECT_EQ(count(R"(@\(#\)QEN Utility  lib: zel)"), 1);
  EXPECT_EQ(count(R"(@\(#\)QEN \S+ +opts: .*\(.*\))"), 3);
  EXPECT_EQ(count(R"(@\(#\)QEN Compile   os: .+)"), 1);
  EXPECT_EQ(count(R"(@\(#\)QEN Compile date: \d{4}-\d\d-\d\d \d\d:\d\d:\d\d)"), 1);
  EXPECT_EQ(count(R"(@\(#\)QEN Compile  ver: \d{8}\.\d{4})"), 1);
  EXPECT_EQ(count(R"(@\(#\)QEN Release  ver: \d{4}\.\d+\.\d+-CL\d{6})"), 1);
}

TEST(VersionReport, PrintsTwoEmptyLinesThenEightLinesWithoutMarker) {
  const char *first = nullptr;
  std::string out = captured_report(&first);
  ASSERT_GE(out.size(), 2u);
  EXPECT_EQ(out.substr(0, 2), "\n\n");
  std::vector<std::string> lines;
  std::istringstream in(out.substr(2));
  for (std::string l; std::getline(in, l);) lines.push_back(l);
  ASSERT_EQ(lines.size(), 8u);
  EXPECT_EQ(out.back(), '\n');
  EXPECT_EQ(lines[3], "QEN Utility  lib: zel");
  for (const std::string &l : lines) EXPECT_NE(l.rfind("@(#)", 0), 0u) << l;

  std::vector<std::string> texts = marked_texts(ZEL_LIBRARY_FILE);
  ASSERT_EQ(texts.size(), 8u);
  for (const std::string &l : lines)
    EXPECT_NE(std::find(texts.begin(), texts.end(), "@(#)" + l), texts.end()) << l;

  // The returned text equals the release line's value and the other copy.
  const std::string release = lines[7].substr(lines[7].find(": ") + 2);
  EXPECT_EQ(first, release);
  EXPECT_STREQ(zel_build_version(), first);
  EXPECT_NE(static_cast<const void *>(zel_build_version()), static_cast<const void *>(first));

  const char *second = nullptr;
  EXPECT_EQ(captured_report(&second), out);
  EXPECT_EQ(second, first);
}
