// In-memory files for the fuzz targets (Linux): a memfd reached by name as
// "/proc/self/fd/N", so the library's own open-by-name reads and writes it
// like any file and nothing touches the disk. One memfd per name and
// process, reused by every run. Also: a byte reader for the inputs and a
// check that a run leaves no file descriptor open.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

namespace zel_fuzz {

class MemoryFile {
public:
  explicit MemoryFile(const char *name) : fd_(::memfd_create(name, 0)) {
    if (fd_ < 0) {
      std::perror("memfd_create");
      std::abort();
    }
    path_ = "/proc/self/fd/" + std::to_string(fd_);
  }
  MemoryFile(const MemoryFile &) = delete;
  MemoryFile &operator=(const MemoryFile &) = delete;

  const char *path() const { return path_.c_str(); }

  // Makes the file hold exactly these bytes.
  void set(const void *data, size_t size) {
    if (::ftruncate(fd_, 0) != 0) std::abort();
    const char *p = static_cast<const char *>(data);
    for (size_t done = 0; done < size;) {
      const ssize_t n = ::pwrite(fd_, p + done, size - done, static_cast<off_t>(done));
      if (n <= 0) std::abort();
      done += static_cast<size_t>(n);
    }
  }
  void clear() { set(nullptr, 0); }

  // Every byte the file holds now.
  std::vector<unsigned char> bytes() const {
    const off_t size = ::lseek(fd_, 0, SEEK_END);
    std::vector<unsigned char> out(size > 0 ? static_cast<size_t>(size) : 0);
    if (!out.empty() && ::pread(fd_, out.data(), out.size(), 0) != static_cast<ssize_t>(out.size()))
      std::abort();
    return out;
  }

private:
  int fd_;
  std::string path_;
};

// Lowest free descriptor number: a run that leaves a file open moves it.
inline int lowest_free_descriptor() {
  const int probe = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
  if (probe >= 0) ::close(probe);
  return probe;
}

// Aborts when the descriptors of the process differ from before a run.
class DescriptorCheck {
public:
  DescriptorCheck() : before_(lowest_free_descriptor()) {}
  ~DescriptorCheck() {
    if (lowest_free_descriptor() != before_) {
      std::fprintf(stderr, "a file descriptor was left open\n");
      std::abort();
    }
  }

private:
  int before_;
};

// Reads the fuzz input front to back; past its end every value is 0.
class Input {
public:
  Input(const uint8_t *data, size_t size) : p_(data), n_(size) {}
  size_t left() const { return n_; }
  const uint8_t *rest() const { return p_; }
  template <typename T> T take() {
    T v{};
    const size_t k = n_ < sizeof v ? n_ : sizeof v;
    std::memcpy(&v, p_, k);
    p_ += k;
    n_ -= k;
    return v;
  }
  // A value in lo .. hi.
  int64_t range(int64_t lo, int64_t hi) {
    const uint64_t span = static_cast<uint64_t>(hi - lo) + 1;
    const uint64_t v = take<uint32_t>();
    return lo + static_cast<int64_t>(span ? v % span : v);
  }
  std::string text(size_t max) {
    const size_t k = range(0, static_cast<int64_t>(max));
    std::string s(reinterpret_cast<const char *>(p_), k < n_ ? k : n_);
    p_ += s.size();
    n_ -= s.size();
    return s;
  }

private:
  const uint8_t *p_;
  size_t n_;
};

} // namespace zel_fuzz
