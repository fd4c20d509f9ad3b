// Test-side helpers of the modal export: a payload builder (little-endian),
// the framing of records, and a reader that splits a file into its records.
#pragma once

#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace export_test {

using Bytes = std::vector<unsigned char>;
using zel_test::TempDir;

inline Bytes read_file(const std::string &path) { return zel_test::read_file_bytes(path); }
inline std::string read_text(const std::string &path) {
  const Bytes b = read_file(path);
  return std::string(b.begin(), b.end());
}

struct Payload {
  Bytes b;
  Payload &i(int32_t v) { return word(static_cast<uint32_t>(v), 4); }
  Payload &f(float v) { return word(bits<uint32_t>(v), 4); }
  Payload &d(double v) { return word(bits<uint64_t>(v), 8); }
  Payload &text(const std::string &s) { return b.insert(b.end(), s.begin(), s.end()), *this; }
  Payload &word(uint64_t u, int n) {
    for (int k = 0; k < n; ++k) b.push_back(static_cast<unsigned char>(u >> (8 * k)));
    return *this;
  }
  template <typename U, typename T> static U bits(T v) {
    U u;
    std::memcpy(&u, &v, sizeof u);
    return u;
  }
  operator Bytes() const { return b; }
};

// File bytes of records with the given payloads, each in one subrecord.
inline Bytes framed(const std::vector<Bytes> &records) {
  Payload out;
  for (const Bytes &r : records) out.i(static_cast<int32_t>(r.size())).text(std::string(r.begin(), r.end())).i(static_cast<int32_t>(r.size()));
  return out;
}

// Payloads of a file's records; a framing fault fails the test.
inline std::vector<Bytes> read_records(const std::string &path) {
  const Bytes file = read_file(path);
  std::vector<Bytes> records;
  for (size_t at = 0; at + 4 <= file.size();) {
    uint32_t n;
    std::memcpy(&n, &file[at], 4); // little-endian hosts only
    const size_t end = std::min<size_t>(file.size(), at + 4 + n);
    records.emplace_back(file.begin() + static_cast<std::ptrdiff_t>(at + 4), file.begin() + static_cast<std::ptrdiff_t>(end));
    at = end + 4;
  }
  EXPECT_EQ(framed(records), file) << "framing of " << path;
  return records;
}

} // namespace export_test
