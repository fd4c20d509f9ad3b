// DacFile: the engine behind one DAC file (one open file, its header image,
// texts, extra details, read/write position and the running statistics of
// the samples written). Samples cross this interface as 32-bit floats.
//
// Every operation returns a status code of the DAC family (ZEL_DAC_* in
// zel.h); nothing throws.
#pragma once

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
  DacStatistics() { reset(); }

  // Sum 0, sum of squares 0, maximum -1e37, minimum +1e37, indices 0, count 0.
  void reset();

  // Adds samples in order; the count runs across calls, so the indices are
  // sample numbers of the whole signal.
  void accumulate(const float *samples, int64_t count);

  // All outputs 0 when nothing was accumulated; otherwise the extremes, mean,
  // sample standard deviation (n - 1), root mean square and the three
  // indices (the largest magnitude takes the smaller index on a tie).
  void summarize(int64_t &n, double &maximum, double &minimum, double &mean,
                 double &std_dev, double &rms, int64_t &max_index,
                 int64_t &min_index, int64_t &absmax_index) const;

  double sum() const { return sum_; }
  double sumOfSquares() const { return sum_squares_; }
  float maximum() const { return maximum_; }
  float minimum() const { return minimum_; }
  int64_t maxIndex() const { return max_index_; }
  int64_t minIndex() const { return min_index_; }
  int64_t count() const { return count_; }

private:
  double sum_;
  double sum_squares_;
  float maximum_;
  float minimum_;
  int64_t max_index_;
  int64_t min_index_;
  int64_t count_;
};

class DacFile {
public:
  static constexpr size_t kHeaderSize = 512;
  static constexpr size_t kTextBufferSize = 100;
  static constexpr int kLabelLength = 24;
  static constexpr int kNoteLength = 28;
  static constexpr int kKeywordLength = 8;
  static constexpr int kValueLength = 120;
  static constexpr int kDetailGrowth = 10;

  DacFile();
  ~DacFile();
  DacFile(const DacFile &) = delete;
  DacFile &operator=(const DacFile &) = delete;

  // mode is exactly "rb" (read an existing file: header, validity test,
  // extra details) or "wb" (create or truncate). A read that fails after the
  // file opened keeps the file for close() to release.
  int open(const char *path, const char *mode);

  // Read mode: closes the file. Write mode: zero-fills the last data
  // record, stores the statistics, writes the extra details and then the
  // header, and closes the file; any failure keeps the file open.
  int close();

  // Appends count samples (counted in the statistics before the write).
  int writePoints(int count, const float *samples);

  // Reads up to count samples from the position into samples; read_count
  // receives how many were (or, after a failed read, were to be) read. A
  // failed read leaves the position and sets every sample the file could
  // not supply to 0.0.
  int readPoints(int count, float *samples, int &read_count);

  // As readPoints, but delivers the stored little-endian bytes, 4 per sample.
  int readPointBytes(int count, unsigned char *bytes, int &read_count);

  // Position = first (at least 1); the last readable sample = last when it
  // lies in 0 to the point count, otherwise the point count.
  int setReadRange(int first, int last);

  // Header values.
  int getPointCount() const { return point_count_; }
  double getInterval() const;
  double getStartTime() const;
  int setInterval(double interval);
  int setStartTime(double time);
  int setPointCount(int count);
  int setStatistics(double maximum, double minimum, double mean, double std_dev, double rms);
  int setExtremeIndices(int64_t max_index, int64_t min_index, int64_t absmax_index);
  int detailRecordCount() const;
  void setDetailRecordCount(int n);

  // Texts: labels keep at most 24 characters, notes 28; null is empty.
  const char *getXLabel() const { return x_label_; }
  const char *getYLabel() const { return y_label_; }
  const char *getXNote() const { return x_note_; }
  const char *getYNote() const { return y_note_; }
  void setXLabel(const char *text);
  void setYLabel(const char *text);
  void setXNote(const char *text);
  void setYNote(const char *text);

  // Extra details: keywords are held in upper case (at most 8 characters),
  // values at most 120 characters; the first match of a lookup wins.
  // value_out holds at least 121 bytes.
  int addDetail(const char *keyword, const char *value);
  int getDetail(const char *keyword, char *value_out) const;
  void clearDetails();
  int detailCount() const { return detail_count_; }
  int detailCapacity() const { return static_cast<int>(detail_chunks_.size()) * kDetailGrowth; }
  const char *detailKeyword(int i) const;
  const char *detailValue(int i) const;

  // State.
  bool isOpen() const { return file_ != nullptr; }
  bool writeMode() const { return write_mode_ != 0; }
  int64_t position() const { return position_; }
  int64_t last() const { return last_; }
  int64_t maxIndex() const { return max_index_; }
  int64_t minIndex() const { return min_index_; }
  int64_t absmaxIndex() const { return absmax_index_; }
  const unsigned char *headerImage() const { return header_; }
  const DacStatistics &statistics() const { return statistics_; }

  // Samples a read of count would deliver now (0 when no read is possible).
  int64_t pendingCount(int count) const;
  // Samples the file holds from the position on, judged by its size.
  int64_t storedCount() const;

  // The handle's read buffer (zel_dac_getnpts), freed with the object.
  dac::ReadScratch &scratch() { return scratch_; }

private:
  struct DetailChunk {
    char keyword[kDetailGrowth][kKeywordLength + 1];
    char value[kDetailGrowth][kValueLength + 1];
  };

  int readHeader();
  int writeHeader();
  int readDetails();
  int writeDetails();
  void storeStatistics();
  char *keywordAt(int i) const;
  char *valueAt(int i) const;

  unsigned char header_[kHeaderSize];
  char x_label_[kTextBufferSize];
  char y_label_[kTextBufferSize];
  char x_note_[kTextBufferSize];
  char y_note_[kTextBufferSize];
  int32_t point_count_;
  int64_t max_index_;
  int64_t min_index_;
  int64_t absmax_index_;
  zel_file *file_;
  DacStatistics statistics_;
  int64_t position_;
  int64_t last_;
  int detail_count_;
  // The details live in chunks of ten entries: the list grows ten entries at
  // a time without moving the entries already held.
  std::vector<std::unique_ptr<DetailChunk>> detail_chunks_;
  int write_mode_;
  dac::ReadScratch scratch_;
};

} // namespace zel
