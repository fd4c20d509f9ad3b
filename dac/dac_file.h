// DacFile: the engine behind one DAC file (one open file, its header image,
// texts, extra details, read/write position and the running statistics of
// the samples written). Samples cross this interface as 32-bit floats; the
// sizes of every field come from dac/dac_format.h.
//
// Every operation returns a status code of the DAC family (ZEL_DAC_* in
// zel.h); nothing throws.
#pragma once

#include "dac/dac_format.h"
#include "dac/dac_scratch.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

struct zel_file;

namespace zel {

// Running statistics of the samples written: sums in double, extremes in
// float, 1-based indices of the first occurrence of each extreme.
class DacStatistics {
public:
  // Adds samples in order; the count runs across calls, so the indices are
  // sample numbers of the whole signal.
  void accumulate(const float *samples, int64_t count);

  // All outputs 0 when nothing was accumulated; otherwise the extremes, mean,
  // sample standard deviation (n - 1), root mean square and the three
  // indices (the largest magnitude takes the smaller index on a tie).
  void summarize(int64_t &n, double &maximum, double &minimum, double &mean, double &std_dev,
                 double &rms, int64_t &max_index, int64_t &min_index, int64_t &absmax_index) const;

private:
  double sum_ = 0.0;
  double sum_squares_ = 0.0;
  float maximum_ = -1.0e37f;
  float minimum_ = 1.0e37f;
  int64_t max_index_ = 0;
  int64_t min_index_ = 0;
  int64_t count_ = 0;
};

class DacFile {
public:
  DacFile();
  ~DacFile();
  DacFile(const DacFile &) = delete;
  DacFile &operator=(const DacFile &) = delete;

  // Opens an existing file and reads its header (validity test included)
  // and extra details. A read that fails after the file opened keeps the
  // file for close() to release.
  int open_read(const char *path);
  // Creates (or truncates) a file to write.
  int open_write(const char *path);

  // Read mode: closes the file. Write mode: zero-fills the last data
  // record, stores the statistics, writes the extra details and then the
  // header, and closes the file; any failure before the close keeps the
  // file open.
  int close();

  // Appends count samples (counted in the statistics before the write).
  int write_points(int count, const float *samples);

  // Reads up to count samples from the position into samples; read_count
  // receives how many were (or, after a failed read, were to be) read. A
  // failed read leaves the position and sets every sample the file could
  // not supply to 0.0.
  int read_points(int count, float *samples, int &read_count);

  // As read_points, but delivers the stored little-endian bytes, 4 per sample.
  int read_point_bytes(int count, unsigned char *bytes, int &read_count);

  // Position = first (at least 1); the last readable sample = last when it
  // lies in 0 to the point count, otherwise the point count.
  int set_read_range(int first, int last);

  // Header values. A negative interval is never set (the rate would be
  // negative): callers pass one above 0.
  int point_count() const { return point_count_; }
  double interval() const;
  double start_time() const;
  void set_interval(double interval);
  void set_start_time(double time);

  // Texts: labels keep at most 24 characters, notes 28; null is empty.
  const char *x_label() const { return x_label_; }
  const char *y_label() const { return y_label_; }
  const char *x_note() const { return x_note_; }
  const char *y_note() const { return y_note_; }
  void set_x_label(const char *text);
  void set_y_label(const char *text);
  void set_x_note(const char *text);
  void set_y_note(const char *text);

  // Extra details: keywords are held in upper case (at most 8 characters),
  // values at most 120 characters; the first match of a lookup wins.
  // value_out holds at least 121 bytes.
  int add_detail(const char *keyword, const char *value);
  int find_detail(const char *keyword, char *value_out) const;
  int detail_count() const { return detail_count_; }
  const char *detail_keyword(int i) const;
  const char *detail_value(int i) const;

  // Samples a read of count would deliver now (0 when no read is possible).
  int64_t pending_count(int count) const;
  // Samples the file holds from the position on, judged by its size.
  int64_t stored_count() const;

  // The handle's read buffer (zel_dac_getnpts), freed with the object.
  dac::ReadScratch &scratch() { return scratch_; }

private:
  // The details live in chunks: the list grows a chunk at a time without
  // moving the entries already held.
  static constexpr int kDetailsPerChunk = 10;
  struct DetailChunk {
    char keyword[kDetailsPerChunk][dac::det::kKeywordSize + 1];
    char value[kDetailsPerChunk][dac::det::kValueSize + 1];
  };

  int read_header();
  int write_header();
  int read_details();
  int write_details();
  void store_statistics();
  char *keyword_at(int i) const;
  char *value_at(int i) const;

  unsigned char header_[dac::kHeaderSize];
  char x_label_[dac::hdr::kLabelSize + 1];
  char y_label_[dac::hdr::kLabelSize + 1];
  char x_note_[dac::hdr::kNoteSize + 1];
  char y_note_[dac::hdr::kNoteSize + 1];
  int32_t point_count_ = 0;
  zel_file *file_ = nullptr;
  bool write_mode_ = false;
  DacStatistics statistics_;
  int64_t position_ = 1;
  int64_t last_ = 0;
  int detail_count_ = 0;
  std::vector<std::unique_ptr<DetailChunk>> detail_chunks_;
  dac::ReadScratch scratch_;
};

// The object behind a handle of the exported functions.
inline DacFile *as_file(void *handle) { return static_cast<DacFile *>(handle); }

} // namespace zel
