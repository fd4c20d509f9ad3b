// Scratch files for tests: a fresh directory per test, removed with everything in it afterwards, and whole-file reads.
#pragma once

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <unistd.h>

namespace zel_test {

class TempDir {
public:
  TempDir() {
    static std::atomic<int> counter{0};
    path_ = std::filesystem::temp_directory_path() /
            ("zel-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir &) = delete;
  TempDir &operator=(const TempDir &) = delete;

  std::string file(const std::string &name) const { return (path_ / name).string(); }
  const std::filesystem::path &path() const { return path_; }

private:
  std::filesystem::path path_;
};

using Bytes = std::vector<unsigned char>;

// Every byte of a file, as text or as Bytes (empty when it cannot be read); a whole file written.
template <class T = std::string> T read_file(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  return T(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
template <class T> void write_file(const std::string &path, const T &b) {
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char *>(b.data()), std::streamsize(b.size()));
}

} // namespace zel_test
