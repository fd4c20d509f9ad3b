#include "common/file.h"

#include <new>

#if defined(_WIN32)
# define WIN32_LEAN_AND_MEAN
# include <windows.h>
# include <cstdio>
#else
# include <cerrno>
# include <fcntl.h>
# include <sys/stat.h>
# include <unistd.h>
#endif

#if defined(_WIN32)

struct zel_file {
  HANDLE h;
};

namespace zel {
namespace {
zel_file *open_with(const char *name, DWORD access, DWORD disposition, bool *no_memory) {
  if (no_memory) *no_memory = false;
  if (!name) return nullptr;
  // The handle first: a file is never created or cut for nothing.
  zel_file *f = new (std::nothrow) zel_file{INVALID_HANDLE_VALUE};
  if (!f) {
    if (no_memory) *no_memory = true;
    return nullptr;
  }
  f->h = CreateFileA(name, access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                     disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f->h == INVALID_HANDLE_VALUE) {
    delete f;
    return nullptr;
  }
  return f;
}
} // namespace

zel_file *file_open_read(const char *name, bool *no_memory) {
  return open_with(name, GENERIC_READ, OPEN_EXISTING, no_memory);
}
zel_file *file_open_write(const char *name, bool *no_memory) {
  return open_with(name, GENERIC_READ | GENERIC_WRITE, CREATE_ALWAYS, no_memory);
}
zel_file *file_open_update(const char *name, bool *no_memory) {
  return open_with(name, GENERIC_READ | GENERIC_WRITE, OPEN_ALWAYS, no_memory);
}
bool file_close(zel_file *f) {
  if (!f) return true;
  const bool closed = CloseHandle(f->h) != 0;
  delete f;
  return closed;
}
int64_t file_size(zel_file *f) {
  LARGE_INTEGER s;
  if (!f || !GetFileSizeEx(f->h, &s)) return -1;
  return s.QuadPart;
}
int64_t file_read_at(zel_file *f, int64_t offset, void *buffer, int64_t n) {
  if (!f || offset < 0 || n <= 0) return 0;
  int64_t done = 0;
  char *p = static_cast<char *>(buffer);
  while (done < n) {
    DWORD want = static_cast<DWORD>((n - done) > (1 << 30) ? (1 << 30) : (n - done));
    OVERLAPPED ov{};
    uint64_t pos = static_cast<uint64_t>(offset + done);
    ov.Offset = static_cast<DWORD>(pos & 0xffffffffu);
    ov.OffsetHigh = static_cast<DWORD>(pos >> 32);
    DWORD got = 0;
    if (!ReadFile(f->h, p + done, want, &got, &ov) || got == 0) break;
    done += got;
  }
  return done;
}
bool file_write_at(zel_file *f, int64_t offset, const void *buffer, int64_t n) {
  if (!f || offset < 0 || n < 0) return false;
  int64_t done = 0;
  const char *p = static_cast<const char *>(buffer);
  while (done < n) {
    DWORD want = static_cast<DWORD>((n - done) > (1 << 30) ? (1 << 30) : (n - done));
    OVERLAPPED ov{};
    uint64_t pos = static_cast<uint64_t>(offset + done);
    ov.Offset = static_cast<DWORD>(pos & 0xffffffffu);
    ov.OffsetHigh = static_cast<DWORD>(pos >> 32);
    DWORD put = 0;
    if (!WriteFile(f->h, p + done, want, &put, &ov) || put == 0) return false;
    done += put;
  }
  return true;
}
bool file_truncate(zel_file *f, int64_t size) {
  if (!f || size < 0) return false;
  LARGE_INTEGER pos;
  pos.QuadPart = size;
  return SetFilePointerEx(f->h, pos, nullptr, FILE_BEGIN) && SetEndOfFile(f->h);
}
bool file_remove(const char *name) {
  if (!name) return false;
  const DWORD attributes = GetFileAttributesA(name);
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY))
    return false;
  return DeleteFileA(name) != 0;
}

} // namespace zel

#else // POSIX

struct zel_file {
  int fd;
};

namespace zel {
namespace {
zel_file *open_with(const char *name, int flags, bool *no_memory) {
  if (no_memory) *no_memory = false;
  if (!name) return nullptr;
  // The handle first: a file is never created or cut for nothing.
  zel_file *f = new (std::nothrow) zel_file{-1};
  if (!f) {
    if (no_memory) *no_memory = true;
    return nullptr;
  }
  do { f->fd = ::open(name, flags | O_CLOEXEC, 0666); } while (f->fd < 0 && errno == EINTR);
  struct stat st;
  if (f->fd >= 0 && (fstat(f->fd, &st) != 0 || S_ISDIR(st.st_mode))) {
    ::close(f->fd);
    f->fd = -1;
  }
  if (f->fd < 0) {
    delete f;
    return nullptr;
  }
  return f;
}
} // namespace

zel_file *file_open_read(const char *name, bool *no_memory) {
  return open_with(name, O_RDONLY, no_memory);
}
zel_file *file_open_write(const char *name, bool *no_memory) {
  return open_with(name, O_RDWR | O_CREAT | O_TRUNC, no_memory);
}
zel_file *file_open_update(const char *name, bool *no_memory) {
  return open_with(name, O_RDWR | O_CREAT, no_memory);
}

bool file_close(zel_file *f) {
  if (!f) return true;
  // The descriptor is released whatever close() reports; EINTR leaves the
  // outcome of pending writes unknown and counts as a failure.
  const bool closed = ::close(f->fd) == 0;
  delete f;
  return closed;
}

int64_t file_size(zel_file *f) {
  struct stat st;
  if (!f || fstat(f->fd, &st) != 0) return -1;
  return static_cast<int64_t>(st.st_size);
}

int64_t file_read_at(zel_file *f, int64_t offset, void *buffer, int64_t n) {
  if (!f || offset < 0 || n <= 0) return 0;
  int64_t done = 0;
  char *p = static_cast<char *>(buffer);
  while (done < n) {
    size_t want = static_cast<size_t>((n - done) > (1 << 30) ? (1 << 30) : (n - done));
    ssize_t got = ::pread(f->fd, p + done, want, static_cast<off_t>(offset + done));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    done += got;
  }
  return done;
}

bool file_write_at(zel_file *f, int64_t offset, const void *buffer, int64_t n) {
  if (!f || offset < 0 || n < 0) return false;
  int64_t done = 0;
  const char *p = static_cast<const char *>(buffer);
  while (done < n) {
    size_t want = static_cast<size_t>((n - done) > (1 << 30) ? (1 << 30) : (n - done));
    ssize_t put = ::pwrite(f->fd, p + done, want, static_cast<off_t>(offset + done));
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return false;
    done += put;
  }
  return true;
}

bool file_truncate(zel_file *f, int64_t size) {
  if (!f || size < 0) return false;
  int r;
  do { r = ::ftruncate(f->fd, static_cast<off_t>(size)); } while (r != 0 && errno == EINTR);
  return r == 0;
}

bool file_remove(const char *name) {
  struct stat st;
  if (!name || ::stat(name, &st) != 0 || !S_ISREG(st.st_mode)) return false;
  return ::unlink(name) == 0;
}

} // namespace zel

#endif
