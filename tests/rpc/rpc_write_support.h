// Test helpers for the RPC III writer and the exported functions: a fresh
// directory per test, the writer's environment variables cleared and
// restored, and a written file's bytes with its parameter records.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <unistd.h>

namespace rpcw_test {

// A fresh directory, removed again with everything in it.
struct ScratchDir {
  std::filesystem::path path = std::filesystem::temp_directory_path() /
                               ("zel-rpcw-" + std::to_string(::getpid()) + "-" + std::to_string(next()++));
  ScratchDir() { std::filesystem::remove_all(path), std::filesystem::create_directories(path); }
  ~ScratchDir() {
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
  }
  std::string file(const std::string &name) const { return (path / name).string(); }
  static int &next() {
    static int counter = 0;
    return counter;
  }
};

// Clears the writer's three environment variables for the lifetime of the
// object and puts back what was there before.
class WriterEnvironment {
public:
  WriterEnvironment() {
    for (int i = 0; i < 3; ++i) {
      const char *v = std::getenv(kNames[i]);
      had_[i] = v != nullptr;
      if (v) saved_[i] = v;
      ::unsetenv(kNames[i]);
    }
  }
  ~WriterEnvironment() {
    for (int i = 0; i < 3; ++i) set(i, had_[i] ? saved_[i].c_str() : nullptr);
  }
  void frames_per_group(const char *v) { set(0, v); }
  void float_data(const char *v) { set(1, v); }
  void repeats(const char *v) { set(2, v); }

private:
  static void set(int i, const char *v) { v ? ::setenv(kNames[i], v, 1) : ::unsetenv(kNames[i]); }
  static constexpr const char *kNames[3] = {"QEN_ZEL_FRAMESPERGROUP", "QEN_KZEL_RPC_FLOAT",
                                            "QEN_ZEL_NUM_REPEATS"};
  bool had_[3] = {};
  std::string saved_[3];
};

// The bytes of a file and its 128-byte parameter records.
struct FileImage {
  std::vector<unsigned char> bytes;

  static FileImage load(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return {{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()}};
  }
  // The keyword or value field of record r as text up to its NUL.
  std::string keyword(int r) const { return field(r * 128, 32); }
  std::string value(int r) const { return field(r * 128 + 32, 96); }
  // True when every byte from..to-1 is zero.
  bool zero(int64_t from, int64_t to) const {
    for (int64_t i = from; i < to; ++i)
      if (bytes.at(static_cast<size_t>(i)) != 0) return false;
    return true;
  }
  // True when both fields of record r hold their texts and NUL bytes only.
  bool clean(int r) const {
    return zero(r * 128 + static_cast<int64_t>(keyword(r).size()), r * 128 + 32) &&
           zero(r * 128 + 32 + static_cast<int64_t>(value(r).size()), r * 128 + 128);
  }
  // The little-endian 16-bit integer or 32-bit float at pos.
  int16_t short_at(int64_t pos) const { return static_cast<int16_t>(le(pos, 2)); }
  float float_at(int64_t pos) const {
    const uint32_t u = le(pos, 4);
    float f;
    std::memcpy(&f, &u, 4);
    return f;
  }

private:
  uint32_t le(int64_t pos, int n) const {
    uint32_t u = 0;
    for (int i = n - 1; i >= 0; --i) u = (u << 8) | bytes.at(static_cast<size_t>(pos + i));
    return u;
  }
  std::string field(int64_t at, size_t size) const {
    const char *p = reinterpret_cast<const char *>(bytes.data() + at);
    return std::string(p, strnlen(p, size));
  }
};

} // namespace rpcw_test
