// Test-side helpers of the modal export: little-endian payloads, the framing of records, and the arguments of the two
// writers.
#pragma once

#include "support/temp_dir.h"
#include "zel.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

namespace export_test {

using zel_test::Bytes;
using zel_test::read_file;
using zel_test::TempDir;

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

// The writers' arguments. Arrays are zeros where a case does not set them (64 of them, and 12 N0 more past its values);
// an empty one is passed as null (a writer that read it would crash).
inline const std::vector<double> kZeros(64);
struct Call {
  int32_t modes, steps, dropped, domain;
  std::vector<double> times{}, uh_disp = kZeros, bh_disp = kZeros, uh_vel = kZeros, bh_vel = kZeros, uh_acc = kZeros,
                               bh_acc = kZeros;
  template <class Writer, class... Scratch> void call(Writer writer, const std::string &path, Scratch... scratch) {
    auto p = [this](auto &v) { return v.empty() ? nullptr : (v.resize(v.size() + 12 * size_t(steps)), v.data()); };
    writer(&modes, &steps, &dropped, scratch..., times.data(), p(uh_disp), p(bh_disp), p(uh_vel), p(bh_vel), p(uh_acc),
           p(bh_acc), &domain, path.data(), static_cast<int64_t>(path.size()));
  }
  Bytes op2(const std::string &path) { // with scratch areas larger than any case needs
    std::vector<int32_t> names(size_t(steps) + 2);
    std::vector<double> col(3 * 128);
    return call(ZEL_OP2_WMC, path, names.data(), &col[0], &col[128], &col[256]), read_file<Bytes>(path);
  }
  std::string punch(const std::string &path) { return call(ZEL_PCH_WMC, path), read_file(path); }
};

} // namespace export_test
