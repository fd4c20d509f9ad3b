// Platform layer: a file handle with 64-bit positional reads and writes.
// The only code in the library that knows POSIX from Windows.
#pragma once

#include <cstdint>

struct zel_file;

namespace zel {

// The open functions return null when the file cannot be opened; when
// no_memory is given it tells whether the handle could not be allocated
// (the file is then neither created nor changed).

// Opens an existing file for reading; other processes may read and write it
// meanwhile.
zel_file *file_open_read(const char *name, bool *no_memory = nullptr);

// Creates a file, or truncates an existing one, for writing (and reading).
zel_file *file_open_write(const char *name, bool *no_memory = nullptr);

// Opens a file for reading and writing, creating it when it does not exist;
// an existing file keeps its contents.
zel_file *file_open_update(const char *name, bool *no_memory = nullptr);

// Closes the file and releases the handle; null is accepted (true). False
// when the system reported a failure while closing (a delayed write error):
// the handle is released all the same.
bool file_close(zel_file *f);

// Size of the file in bytes, or -1 on failure.
int64_t file_size(zel_file *f);

// Reads up to n bytes at offset; returns the bytes read (less than n only at
// the end of the file or on error, never negative).
int64_t file_read_at(zel_file *f, int64_t offset, void *buffer, int64_t n);

// Writes n bytes at offset; false on any failure.
bool file_write_at(zel_file *f, int64_t offset, const void *buffer, int64_t n);

// Cuts or extends the file to size bytes.
bool file_truncate(zel_file *f, int64_t size);

// Removes a regular file by name (never a device, a folder or anything
// else a write may have been sent to); false when nothing was removed.
bool file_remove(const char *name);

} // namespace zel
