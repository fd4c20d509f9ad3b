// Sequential record files addressed by unit number, the file layer of the
// modal-coordinate export writers.
//
// A unit is connected to a file by open() (status "unknown": the file is
// created when missing, opened when present), positioned at its start by
// rewind(), written record by record or line by line, and released by
// close() (status "keep"). Writing is sequential: the first write after open() or rewind()
// cuts the file at the write position, so the file always ends after the
// last record written and nothing of an older, longer file survives.
//
// Unformatted records are framed as the solver expects them: a 4-byte
// little-endian signed payload length, the payload, the same length again.
// A payload longer than the unit's subrecord limit (2147483639 bytes unless
// the unit is made with a smaller one, as gfortran's -fmax-subrecord-length
// does) is split into subrecords; a leading length is negated when another
// subrecord follows, a trailing one when a subrecord came before.
//
// Formatted writes put text lines; write_text() with end_line false leaves
// the line open and the next write continues it. Lines end with "\n".
//
// All output goes through one buffer per unit and reaches the file in large
// writes. Failures never stop the writers: a unit whose file cannot be
// opened ignores everything until closed, and a failed write, cut or close
// is remembered (failed(), until the next open) and the next one tried
// regardless. close_or_discard() ends a file that must be complete: one
// that missed any byte is removed. Nothing here throws or prints.
//
// The unit table is process-wide and unsynchronised: one thread at a time.
#pragma once

#include <cstdint>

struct zel_file;

namespace zel {
namespace records {

// Largest payload one subrecord carries.
constexpr int64_t kMaxSubrecordBytes = 2147483639;

class Unit {
public:
  // A unit of the given number whose subrecords carry at most
  // subrecord_limit payload bytes (1 to kMaxSubrecordBytes).
  explicit Unit(int number = -1, int64_t subrecord_limit = kMaxSubrecordBytes)
      : number_(number),
        subrecord_limit_(subrecord_limit < 1                    ? 1
                         : subrecord_limit > kMaxSubrecordBytes ? kMaxSubrecordBytes
                                                                : subrecord_limit) {}
  ~Unit() { close(); }
  Unit(const Unit &) = delete;
  Unit &operator=(const Unit &) = delete;

  // Connects the unit to the file named by the first length bytes of name
  // (trailing blanks are not part of the name; no NUL is needed). A unit
  // already connected is closed first. False when the file cannot be opened.
  bool open(const char *name, int64_t length);

  // Next write goes to the first byte of the file.
  void rewind();

  // One unformatted record: begin, its items in order, end.
  void begin_record();
  void put(const void *bytes, int64_t n);
  void put_int(int32_t value);
  void end_record();

  // Formatted text: n bytes of text, then the line end unless end_line is
  // false (the line then stays open for the next write).
  void write_text(const char *text, int64_t n, bool end_line);

  // Hands the buffered bytes to the file.
  void flush();

  // Ends an open line, writes everything and releases the file, which keeps
  // what was written. A unit not connected is left alone.
  void close();

  // As close(), but a file that missed any write (or whose close failed)
  // is removed. True when the file was opened and written completely.
  bool close_or_discard();

  bool failed() const { return failed_; }

private:
  bool writable();
  void start_writing();
  void append(const void *bytes, int64_t n);
  void store_marker(int64_t offset, int32_t value);
  void start_subrecord();
  void finish_subrecord(bool more_follow);

  int number_;
  zel_file *file_ = nullptr;
  char *path_ = nullptr; // name of the connected file
  bool refused_ = false; // explicit open failed: ignore until close()
  bool failed_ = false;
  bool cut_pending_ = false; // next write cuts the file at its position

  unsigned char *buffer_ = nullptr;
  int64_t used_ = 0;     // bytes waiting in the buffer
  int64_t position_ = 0; // file offset of buffer_[0]

  bool in_record_ = false;
  int64_t head_offset_ = 0; // file offset of the open subrecord's leading length
  int64_t sub_bytes_ = 0;   // payload bytes in the open subrecord
  bool continued_ = false;  // the open subrecord follows another one
  bool line_open_ = false;
  const int64_t subrecord_limit_;
};

// The process-wide unit of a number (0 to 99). Any other number gives a
// unit that cannot be connected and ignores every operation. A write to a
// unit that was never opened connects it to the file "fort.<number>" in the
// current directory, as record runtimes traditionally do.
Unit &unit(int number);

// Bytes each unit buffers before it writes to its file.
constexpr int64_t kUnitBufferBytes = 256 * 1024;

} // namespace records
} // namespace zel
