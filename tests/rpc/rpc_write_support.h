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

class ScratchDir {
public:
  ScratchDir() {
    static int counter = 0;
    path_ = std::filesystem::temp_directory_path() /
            ("zel-rpcw-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
  }
  ~ScratchDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  ScratchDir(const ScratchDir &) = delete;
  ScratchDir &operator=(const ScratchDir &) = delete;
  std::string file(const std::string &name) const { return (path_ / name).string(); }

private:
  std::filesystem::path path_;
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
    for (int i = 0; i < 3; ++i) {
      if (had_[i]) ::setenv(kNames[i], saved_[i].c_str(), 1);
      else ::unsetenv(kNames[i]);
    }
  }
  WriterEnvironment(const WriterEnvironment &) = delete;
  WriterEnvironment &operator=(const WriterEnvironment &) = delete;

  void frames_per_group(const char *v) { set(0, v); }
  void float_data(const char *v) { set(1, v); }
  void repeats(const char *v) { set(2, v); }

private:
  static void set(int i, const char *v) {
    if (v) ::setenv(kNames[i], v, 1);
    else ::unsetenv(kNames[i]);
  }
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
    FileImage f;
    f.bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return f;
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
  // True when the keyword and value fields of record r hold exactly their
  // texts followed by NUL bytes only.
  bool clean(int r) const {
    const size_t k = keyword(r).size(), v = value(r).size();
    return zero(r * 128 + static_cast<int64_t>(k), r * 128 + 32) &&
           zero(r * 128 + 32 + static_cast<int64_t>(v), r * 128 + 128);
  }
  int16_t short_at(int64_t pos) const {
    const size_t p = static_cast<size_t>(pos);
    return static_cast<int16_t>(bytes.at(p) | (bytes.at(p + 1) << 8));
  }
  float float_at(int64_t pos) const {
    const size_t p = static_cast<size_t>(pos);
    const uint32_t u = static_cast<uint32_t>(bytes.at(p)) | (static_cast<uint32_t>(bytes.at(p + 1)) << 8) |
                       (static_cast<uint32_t>(bytes.at(p + 2)) << 16) |
                       (static_cast<uint32_t>(bytes.at(p + 3)) << 24);
    float f;
    std::memcpy(&f, &u, 4);
    return f;
  }

private:
  std::string field(int64_t at, size_t size) const {
    const char *p = reinterpret_cast<const char *>(bytes.data() + at);
    return std::string(p, strnlen(p, size));
  }
};

} // namespace rpcw_test
