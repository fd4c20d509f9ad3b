// Test-side helpers of the modal export: little-endian payloads and the
// framing of records.
#pragma once

#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace export_test {

using Bytes = std::vector<unsigned char>;
using zel_test::TempDir;
inline Bytes read_file(const std::string &path) { return zel_test::read_file_bytes(path); }

struct Payload {
  Bytes b;
  Payload &word(uint64_t u, int n) {
    for (int k = 0; k < n; ++k) b.push_back(static_cast<unsigned char>(u >> (8 * k)));
    return *this;
  }
  Payload &i(int32_t v) { return word(static_cast<uint32_t>(v), 4); }
  Payload &f(float v) { return std::memcpy(&u32, &v, 4), word(u32, 4); }
  Payload &d(double v) { return std::memcpy(&u64, &v, 8), word(u64, 8); }
  Payload &text(const std::string &s) { return b.insert(b.end(), s.begin(), s.end()), *this; }
  operator Bytes() const { return b; }
  uint32_t u32 = 0;
  uint64_t u64 = 0;
};

// File bytes of records with the given payloads, each in one subrecord.
inline Bytes framed(const std::vector<Bytes> &records) {
  Payload out;
  for (const Bytes &r : records) out.i(int32_t(r.size())).text(std::string(r.begin(), r.end())).i(int32_t(r.size()));
  return out;
}

} // namespace export_test
