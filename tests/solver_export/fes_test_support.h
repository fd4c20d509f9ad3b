// Test-side helpers of the modal-coordinate export: a temporary directory
// per test, a reader that splits a file into its framed records, and a
// builder for expected record payloads.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace fes_test {

using Bytes = std::vector<unsigned char>;

// A fresh directory, removed with everything in it when the test ends.
class TempDir {
public:
  TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "zel_fes_XXXXXX").string();
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (!mkdtemp(buffer.data())) ADD_FAILURE() << "no temporary directory";
    dir_ = buffer.data();
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
  TempDir(const TempDir &) = delete;
  TempDir &operator=(const TempDir &) = delete;

  std::string path(const std::string &name) const { return (dir_ / name).string(); }
  const std::filesystem::path &dir() const { return dir_; }

private:
  std::filesystem::path dir_;
};

inline Bytes read_file(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

inline std::string read_text(const std::string &path) {
  Bytes b = read_file(path);
  return std::string(b.begin(), b.end());
}

inline void write_file(const std::string &path, const Bytes &bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline int32_t le32(const unsigned char *p) {
  uint32_t v = static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
               (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
  int32_t r;
  std::memcpy(&r, &v, 4);
  return r;
}

// Payloads of the unformatted records of a file; any framing fault (length
// words that differ, a record running past the end) is a test failure.
inline std::vector<Bytes> split_records(const Bytes &file) {
  std::vector<Bytes> records;
  size_t at = 0;
  while (at < file.size()) {
    if (file.size() - at < 8) {
      ADD_FAILURE() << "truncated record at byte " << at;
      break;
    }
    const int32_t n = le32(&file[at]);
    if (n < 0 || file.size() - at - 8 < static_cast<size_t>(n)) {
      ADD_FAILURE() << "bad record length " << n << " at byte " << at;
      break;
    }
    const int32_t tail = le32(&file[at + 4 + static_cast<size_t>(n)]);
    EXPECT_EQ(tail, n) << "trailing length of the record at byte " << at;
    records.emplace_back(file.begin() + static_cast<std::ptrdiff_t>(at + 4),
                         file.begin() + static_cast<std::ptrdiff_t>(at + 4 + static_cast<size_t>(n)));
    at += 8 + static_cast<size_t>(n);
  }
  return records;
}

inline std::vector<Bytes> read_records(const std::string &path) {
  return split_records(read_file(path));
}

// Builds a payload item by item, little-endian.
class Payload {
public:
  Payload &i(int32_t v) {
    uint32_t u;
    std::memcpy(&u, &v, 4);
    for (int k = 0; k < 4; ++k) bytes_.push_back(static_cast<unsigned char>(u >> (8 * k)));
    return *this;
  }
  Payload &f(float v) {
    int32_t w;
    std::memcpy(&w, &v, 4);
    return i(w);
  }
  Payload &d(double v) {
    uint64_t u;
    std::memcpy(&u, &v, 8);
    for (int k = 0; k < 8; ++k) bytes_.push_back(static_cast<unsigned char>(u >> (8 * k)));
    return *this;
  }
  Payload &text(const std::string &s) {
    bytes_.insert(bytes_.end(), s.begin(), s.end());
    return *this;
  }
  operator Bytes() const { return bytes_; }
  const Bytes &bytes() const { return bytes_; }

private:
  Bytes bytes_;
};

inline Bytes int_record(int32_t v) { return Payload().i(v); }

// File bytes of records with the given payloads.
inline Bytes framed(const std::vector<Bytes> &records) {
  Bytes out;
  for (const Bytes &r : records) {
    Payload len;
    len.i(static_cast<int32_t>(r.size()));
    out.insert(out.end(), len.bytes().begin(), len.bytes().end());
    out.insert(out.end(), r.begin(), r.end());
    out.insert(out.end(), len.bytes().begin(), len.bytes().end());
  }
  return out;
}

} // namespace fes_test
