#include "solver_export/record_runtime/record_unit.h"

#include "common/byteorder.h"
#include "common/file.h"

#include <cstring>
#include <new>
#include <utility>

namespace zel {
namespace records {

namespace {

constexpr int kUnitCount = 100;

// "fort.<number>" for a unit written before it was opened.
int default_name(int number, char *out) {
  char digits[12];
  int n = 0;
  do {
    digits[n++] = static_cast<char>('0' + number % 10);
    number /= 10;
  } while (number > 0);
  std::memcpy(out, "fort.", 5);
  for (int i = 0; i < n; ++i) out[5 + i] = digits[n - 1 - i];
  return 5 + n;
}

template <size_t... I> struct UnitTable {
  explicit UnitTable(std::index_sequence<I...>) : units{Unit(static_cast<int>(I))...} {}
  Unit units[sizeof...(I)];
};

} // namespace

bool Unit::open(const char *name, int64_t length) {
  close();
  failed_ = false;
  if (number_ < 0) return false;
  if (!name || length < 0) length = 0;
  while (length > 0 && name[length - 1] == ' ') --length;
  // Memory first: a file is never created or cut for nothing.
  buffer_ = new (std::nothrow) unsigned char[kUnitBufferBytes];
  path_ =
      length > 0 && buffer_ ? new (std::nothrow) char[static_cast<size_t>(length) + 1] : nullptr;
  if (path_) {
    std::memcpy(path_, name, static_cast<size_t>(length));
    path_[length] = '\0';
    file_ = file_open_update(path_);
  }
  if (!file_) {
    delete[] path_;
    path_ = nullptr;
    delete[] buffer_;
    buffer_ = nullptr;
  }
  if (!file_) {
    refused_ = true;
    failed_ = true;
    return false;
  }
  position_ = 0;
  used_ = 0;
  cut_pending_ = true;
  return true;
}

void Unit::rewind() {
  if (!file_) return;
  if (in_record_) end_record();
  if (line_open_) append("\n", 1);
  line_open_ = false;
  flush();
  position_ = 0;
  cut_pending_ = true;
}

bool Unit::writable() {
  if (file_) return true;
  if (refused_ || number_ < 0) return false;
  char name[20];
  int n = default_name(number_, name);
  return open(name, n);
}

void Unit::start_writing() {
  if (!cut_pending_) return;
  cut_pending_ = false;
  flush();
  if (!file_truncate(file_, position_ + used_)) failed_ = true;
}

void Unit::append(const void *bytes, int64_t n) {
  if (n <= 0) return;
  if (used_ + n > kUnitBufferBytes) {
    flush();
    if (n >= kUnitBufferBytes) {
      if (!file_write_at(file_, position_, bytes, n)) failed_ = true;
      position_ += n;
      return;
    }
  }
  std::memcpy(buffer_ + used_, bytes, static_cast<size_t>(n));
  used_ += n;
}

void Unit::flush() {
  if (!file_ || used_ == 0) return;
  if (!file_write_at(file_, position_, buffer_, used_)) failed_ = true;
  position_ += used_;
  used_ = 0;
}

void Unit::store_marker(int64_t offset, int32_t value) {
  unsigned char b[4];
  store_le32(b, static_cast<uint32_t>(value));
  if (offset >= position_) {
    std::memcpy(buffer_ + (offset - position_), b, 4);
  } else if (!file_write_at(file_, offset, b, 4)) {
    failed_ = true;
  }
}

void Unit::start_subrecord() {
  static const unsigned char placeholder[4] = {0, 0, 0, 0};
  head_offset_ = position_ + used_;
  append(placeholder, 4);
  sub_bytes_ = 0;
}

void Unit::finish_subrecord(bool more_follow) {
  const int32_t length = static_cast<int32_t>(sub_bytes_);
  unsigned char tail[4];
  store_le32(tail, static_cast<uint32_t>(continued_ ? -length : length));
  append(tail, 4);
  store_marker(head_offset_, more_follow ? -length : length);
}

void Unit::begin_record() {
  if (in_record_ || !writable()) return;
  start_writing();
  in_record_ = true;
  continued_ = false;
  start_subrecord();
}

void Unit::put(const void *bytes, int64_t n) {
  if (!in_record_) return;
  const unsigned char *p = static_cast<const unsigned char *>(bytes);
  while (n > 0) {
    if (sub_bytes_ == subrecord_limit_) {
      finish_subrecord(true);
      continued_ = true;
      start_subrecord();
    }
    int64_t take = subrecord_limit_ - sub_bytes_;
    if (take > n) take = n;
    append(p, take);
    sub_bytes_ += take;
    p += take;
    n -= take;
  }
}

void Unit::put_int(int32_t value) {
  unsigned char b[4];
  store_le32(b, static_cast<uint32_t>(value));
  put(b, 4);
}

void Unit::end_record() {
  if (!in_record_) return;
  finish_subrecord(false);
  in_record_ = false;
}

void Unit::write_text(const char *text, int64_t n, bool end_line) {
  if (!writable()) return;
  start_writing();
  append(text, n);
  if (end_line) append("\n", 1);
  line_open_ = !end_line;
}

void Unit::close() {
  if (file_) {
    if (in_record_) end_record();
    if (line_open_) append("\n", 1);
    flush();
    if (!file_close(file_)) failed_ = true;
    file_ = nullptr;
    delete[] buffer_;
    buffer_ = nullptr;
  }
  delete[] path_;
  path_ = nullptr;
  refused_ = false;
  in_record_ = false;
  line_open_ = false;
  cut_pending_ = false;
  used_ = 0;
  position_ = 0;
}

bool Unit::close_or_discard() {
  if (!file_) {
    close();
    return false;
  }
  char *path = path_;
  path_ = nullptr; // kept for the removal below
  close();
  if (failed_ && path) file_remove(path);
  const bool complete = !failed_ && path;
  delete[] path;
  return complete;
}

Unit &unit(int number) {
  static UnitTable table(std::make_index_sequence<kUnitCount>{});
  static Unit nowhere(-1);
  if (number < 0 || number >= kUnitCount) return nowhere;
  return table.units[number];
}

} // namespace records
} // namespace zel
