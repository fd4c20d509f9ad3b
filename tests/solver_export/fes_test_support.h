// Test-side helpers of the modal-coordinate export: file access, a reader
// that splits a file into its framed records, and a builder for expected
// record payloads.
#pragma once

#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace fes_test {

using Bytes = std::vector<unsigned char>;
using zel_test::TempDir;

inline Bytes read_file(const std::string &path) { return zel_test::read_file_bytes(path); }
inline std::string read_text(const std::string &path) {
  const Bytes b = read_file(path);
  return std::string(b.begin(), b.end());
}
inline void write_file(const std::string &path, const Bytes &bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// Builds a payload item by item, little-endian.
class Payload {
public:
  Payload &i(int32_t v) { return word(static_cast<uint32_t>(v), 4); }
  Payload &f(float v) {
    uint32_t u;
    std::memcpy(&u, &v, 4);
    return word(u, 4);
  }
  Payload &d(double v) {
    uint64_t u;
    std::memcpy(&u, &v, 8);
    return word(u, 8);
  }
  Payload &text(const std::string &s) {
    bytes_.insert(bytes_.end(), s.begin(), s.end());
    return *this;
  }
  operator Bytes() const { return bytes_; }
  const Bytes &bytes() const { return bytes_; }

private:
  Payload &word(uint64_t u, int n) {
    for (int k = 0; k < n; ++k) bytes_.push_back(static_cast<unsigned char>(u >> (8 * k)));
    return *this;
  }
  Bytes bytes_;
};

inline Bytes int_record(int32_t v) { return Payload().i(v); }

// File bytes of records with the given payloads.
inline Bytes framed(const std::vector<Bytes> &records) {
  Payload out;
  for (const Bytes &r : records) out.i(static_cast<int32_t>(r.size())).text(std::string(r.begin(), r.end())).i(static_cast<int32_t>(r.size()));
  return out;
}

// Payloads of the unformatted records of a file; a framing fault (length
// words that differ, a record running past the end) is a test failure.
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

} // namespace fes_test
