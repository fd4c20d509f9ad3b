#include "dac/dac_file.h"

#include "common/byteorder.h"
#include "common/file.h"
#include "common/text.h"
#include "dac/dac_format.h"
#include "zel.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

namespace zel {

using namespace dac;

// ---------------------------------------------------------------- statistics

void DacStatistics::reset() {
  sum_ = 0.0;
  sum_squares_ = 0.0;
  maximum_ = -1.0e37f;
  minimum_ = 1.0e37f;
  max_index_ = 0;
  min_index_ = 0;
  count_ = 0;
}

void DacStatistics::accumulate(const float *samples, int64_t count) {
  for (int64_t i = 0; i < count; ++i) {
    const float x = samples[i];
    const double d = x;
    ++count_;
    sum_ += d;
    sum_squares_ += d * d;
    // Strict comparisons: the first of equal extremes keeps its index.
    if (x > maximum_) {
      maximum_ = x;
      max_index_ = count_;
    }
    if (x < minimum_) {
      minimum_ = x;
      min_index_ = count_;
    }
  }
}

void DacStatistics::summarize(int64_t &n, double &maximum, double &minimum, double &mean,
                              double &std_dev, double &rms, int64_t &max_index,
                              int64_t &min_index, int64_t &absmax_index) const {
  n = count_;
  maximum = minimum = mean = std_dev = rms = 0.0;
  max_index = min_index = absmax_index = 0;
  if (n == 0) return;
  maximum = maximum_;
  minimum = minimum_;
  max_index = max_index_;
  min_index = min_index_;
  const double count = static_cast<double>(n);
  mean = sum_ / count;
  const double v = sum_squares_ / count - mean * mean;
  if (v > 0.0 && n > 1) std_dev = std::sqrt(count / (count - 1.0) * v);
  const double m = sum_squares_ / count;
  if (m > 0.0) rms = std::sqrt(m);
  const float abs_max = static_cast<float>(std::fabs(maximum));
  const float abs_min = static_cast<float>(std::fabs(minimum));
  if (abs_max > abs_min) {
    absmax_index = max_index;
  } else if (abs_min > abs_max) {
    absmax_index = min_index;
  } else {
    absmax_index = std::min(max_index, min_index);
  }
}

// ------------------------------------------------------------------ DacFile

DacFile::DacFile()
    : point_count_(0), max_index_(0), min_index_(0), absmax_index_(0), file_(nullptr),
      position_(1), last_(0), detail_count_(0), write_mode_(0) {
  std::memset(header_, 0, sizeof header_);
  put_f32(header_, hdr::kInterval, 1.0f);
  put_f32(header_, hdr::kRate, 1.0f);
  x_label_[0] = y_label_[0] = x_note_[0] = y_note_[0] = '\0';
}

DacFile::~DacFile() { file_close(file_); }

int DacFile::open(const char *path, const char *mode) {
  if (file_) return ZEL_DAC_ALREADY_OPEN;
  if (!mode) return ZEL_DAC_BAD_ARGUMENTS;
  if (std::strcmp(mode, "rb") == 0) {
    write_mode_ = 0;
  } else if (std::strcmp(mode, "wb") == 0) {
    write_mode_ = 1;
  } else {
    return ZEL_DAC_BAD_ARGUMENTS;
  }
  if (write_mode_) {
    statistics_.reset();
    point_count_ = 0;
  }
  position_ = 1;
  file_ = write_mode_ ? file_open_write(path) : file_open_read(path);
  if (!file_) return ZEL_DAC_OPEN_FAILED;
  if (write_mode_) return ZEL_DAC_OK;
  int status = readHeader();
  if (status == ZEL_DAC_OK) status = readDetails();
  if (status != ZEL_DAC_OK) return status;
  last_ = point_count_;
  return ZEL_DAC_OK;
}

int DacFile::close() {
  if (!file_) return ZEL_DAC_NOT_OPEN;
  if (write_mode_) {
    if (point_count_ == 0) return ZEL_DAC_NO_POINTS;
    // Zero-fill the rest of the last data record.
    const int64_t pad = 127 - (static_cast<int64_t>(point_count_) - 1) % kSamplesPerRecord;
    if (pad > 0) {
      static const unsigned char zeros[kRecordSize] = {};
      if (!file_write_at(file_, sample_offset(point_count_ + 1), zeros, 4 * pad)) {
        return ZEL_DAC_DATA_WRITE;
      }
    }
    storeStatistics();
    int status = writeDetails();
    if (status != ZEL_DAC_OK) return status;
    status = writeHeader();
    if (status != ZEL_DAC_OK) return status;
  }
  // A close that fails loses written data (a delayed write error).
  const bool closed = file_close(file_);
  file_ = nullptr;
  return closed || !write_mode_ ? ZEL_DAC_OK : ZEL_DAC_DATA_WRITE;
}

int DacFile::writePoints(int count, const float *samples) {
  if (!write_mode_) return ZEL_DAC_NOT_WRITE_MODE;
  if (!file_) return ZEL_DAC_NOT_OPEN;
  if (count < 0) return ZEL_DAC_BAD_ARGUMENTS;
  if (count == 0) return ZEL_DAC_OK;
  // The point count is an int32 in the header: a signal cannot grow past it.
  if (!samples || position_ - 1 + count > INT32_MAX) return ZEL_DAC_BAD_ARGUMENTS;

  statistics_.accumulate(samples, count);

  const int64_t offset = sample_offset(position_);
  if (host_is_little_endian()) {
    if (!file_write_at(file_, offset, samples, 4 * static_cast<int64_t>(count))) {
      return ZEL_DAC_DATA_WRITE;
    }
  } else {
    unsigned char buffer[4096];
    for (int done = 0; done < count;) {
      const int n = std::min(count - done, 1024);
      for (int i = 0; i < n; ++i) store_le_float(buffer + 4 * i, samples[done + i]);
      if (!file_write_at(file_, offset + 4 * static_cast<int64_t>(done), buffer, 4 * n)) {
        return ZEL_DAC_DATA_WRITE;
      }
      done += n;
    }
  }
  position_ += count;
  point_count_ = static_cast<int32_t>(position_ - 1);
  return ZEL_DAC_OK;
}

int DacFile::readPointBytes(int count, unsigned char *bytes, int &read_count) {
  read_count = 0;
  if (write_mode_) return ZEL_DAC_NOT_READ_MODE;
  if (!file_) return ZEL_DAC_NOT_OPEN;
  if (count < 1 || !bytes) return ZEL_DAC_BAD_ARGUMENTS;
  if (position_ > last_) return ZEL_DAC_OK;
  read_count = static_cast<int>(std::min<int64_t>(count, last_ - position_ + 1));
  const int64_t want = 4 * static_cast<int64_t>(read_count);
  const int64_t got = file_read_at(file_, sample_offset(position_), bytes, want);
  if (got != want) {
    // Samples the file could not supply, a partly read one included, are
    // 0.0: nothing of an earlier read stays in the caller's bytes.
    const int64_t whole = got > 0 ? got - got % 4 : 0;
    std::memset(bytes + whole, 0, static_cast<size_t>(want - whole));
    return ZEL_DAC_DATA_READ;
  }
  position_ += read_count;
  return ZEL_DAC_OK;
}

int DacFile::readPoints(int count, float *samples, int &read_count) {
  const int status = readPointBytes(count, reinterpret_cast<unsigned char *>(samples), read_count);
  // After a failed read as well: the samples the file supplied come first.
  if (!host_is_little_endian()) {
    reverse_bytes_4(reinterpret_cast<unsigned char *>(samples), read_count);
  }
  return status;
}

int DacFile::setReadRange(int first, int last) {
  if (first > point_count_) return ZEL_DAC_START_BEYOND_END;
  if (last < first) return ZEL_DAC_END_BEFORE_START;
  position_ = first < 1 ? 1 : first;
  last_ = (last >= 0 && last <= point_count_) ? last : point_count_;
  return ZEL_DAC_OK;
}

int64_t DacFile::pendingCount(int count) const {
  if (!file_ || write_mode_ || count < 1 || position_ > last_) return 0;
  return std::min<int64_t>(count, last_ - position_ + 1);
}

int64_t DacFile::storedCount() const {
  const int64_t size = file_size(file_);
  if (size < kRecordSize) return 0;
  return std::max<int64_t>(0, (size - kRecordSize) / 4 - position_ + 1);
}

// ------------------------------------------------------------ header values

double DacFile::getInterval() const { return get_f32(header_, hdr::kInterval); }

double DacFile::getStartTime() const { return get_f32(header_, hdr::kStartTime); }

int DacFile::setInterval(double interval) {
  if (!(interval >= 0.0)) return ZEL_DAC_BAD_RATE; // negative or not a number
  put_f32(header_, hdr::kInterval, static_cast<float>(interval));
  put_f32(header_, hdr::kRate, static_cast<float>(1.0 / interval));
  return ZEL_DAC_OK;
}

int DacFile::setStartTime(double time) {
  put_f32(header_, hdr::kStartTime, static_cast<float>(time));
  return ZEL_DAC_OK;
}

int DacFile::setPointCount(int count) {
  if (count < 1) return ZEL_DAC_BAD_POINT_COUNT;
  point_count_ = count;
  return ZEL_DAC_OK;
}

int DacFile::setStatistics(double maximum, double minimum, double mean, double std_dev,
                           double rms) {
  if (!(std_dev >= 0.0) || !(rms >= 0.0)) return ZEL_DAC_BAD_STATISTICS;
  put_i16(header_, hdr::kStatsFlag, 1);
  put_f32(header_, hdr::kMaximum, static_cast<float>(maximum));
  put_f32(header_, hdr::kMinimum, static_cast<float>(minimum));
  put_f32(header_, hdr::kMean, static_cast<float>(mean));
  put_f32(header_, hdr::kStdDev, static_cast<float>(std_dev));
  put_f32(header_, hdr::kRms, static_cast<float>(rms));
  return ZEL_DAC_OK;
}

int DacFile::setExtremeIndices(int64_t max_index, int64_t min_index, int64_t absmax_index) {
  const auto valid = [this](int64_t i) { return i >= 1 && i <= point_count_; };
  if (!valid(max_index) || !valid(min_index) || !valid(absmax_index)) {
    return ZEL_DAC_BAD_STATISTICS;
  }
  max_index_ = max_index;
  min_index_ = min_index;
  absmax_index_ = absmax_index;
  return ZEL_DAC_OK;
}

int DacFile::detailRecordCount() const { return round_count(get_f32(header_, hdr::kDetailRecords)); }

void DacFile::setDetailRecordCount(int n) {
  put_f32(header_, hdr::kDetailRecords, static_cast<float>(n));
}

void DacFile::setXLabel(const char *text) { copy_text(x_label_, kLabelLength + 1, text); }
void DacFile::setYLabel(const char *text) { copy_text(y_label_, kLabelLength + 1, text); }
void DacFile::setXNote(const char *text) { copy_text(x_note_, kNoteLength + 1, text); }
void DacFile::setYNote(const char *text) { copy_text(y_note_, kNoteLength + 1, text); }

int DacFile::readHeader() {
  if (file_read_at(file_, 0, header_, kHeaderSize) != static_cast<int64_t>(kHeaderSize)) {
    return ZEL_DAC_HEADER_READ;
  }
  const int status = check_header(header_);
  if (status != ZEL_DAC_OK) return status;

  unpack_text(header_ + hdr::kXLabel, hdr::kLabelSize, x_label_);
  unpack_text(header_ + hdr::kYLabel, hdr::kLabelSize, y_label_);
  unpack_note(header_ + hdr::kXNoteHead, header_ + hdr::kXNoteTail, x_note_);
  unpack_note(header_ + hdr::kYNoteHead, header_ + hdr::kYNoteTail, y_note_);

  const bool revision2 = get_i16(header_, hdr::kRevision) == 2;
  point_count_ = revision2 ? get_i32(header_, hdr::kPointCount)
                           : round_count(get_f32(header_, hdr::kPointCountF));
  if (get_i16(header_, hdr::kStatsFlag) == 0) {
    max_index_ = min_index_ = absmax_index_ = 1;
  } else if (revision2) {
    max_index_ = get_i32(header_, hdr::kMaxIndex);
    min_index_ = get_i32(header_, hdr::kMinIndex);
    absmax_index_ = get_i32(header_, hdr::kAbsmaxIndex);
  } else {
    max_index_ = round_count(get_f32(header_, hdr::kMaxIndexF));
    min_index_ = round_count(get_f32(header_, hdr::kMinIndexF));
    absmax_index_ = round_count(get_f32(header_, hdr::kAbsmaxIndexF));
  }
  return ZEL_DAC_OK;
}

int DacFile::writeHeader() {
  pack_text(header_ + hdr::kXLabel, hdr::kLabelSize, x_label_);
  pack_text(header_ + hdr::kYLabel, hdr::kLabelSize, y_label_);
  const size_t x_len = std::strlen(x_note_);
  const size_t y_len = std::strlen(y_note_);
  pack_text(header_ + hdr::kXNoteHead, hdr::kNoteHeadSize, x_note_);
  pack_text(header_ + hdr::kXNoteTail, hdr::kNoteTailSize,
            x_note_ + std::min(x_len, hdr::kNoteHeadSize));
  pack_text(header_ + hdr::kYNoteHead, hdr::kNoteHeadSize, y_note_);
  pack_text(header_ + hdr::kYNoteTail, hdr::kNoteTailSize,
            y_note_ + std::min(y_len, hdr::kNoteHeadSize));

  put_i16(header_, hdr::kFormatMarker, hdr::kFormatMarkerValue);
  put_i16(header_, hdr::kKindCode, hdr::kKindCodeWritten);
  put_i16(header_, hdr::kYNoteMore, hdr::kNoteMoreValue);
  put_i16(header_, hdr::kXNoteMore, hdr::kNoteMoreValue);
  put_i16(header_, hdr::kRevision, hdr::kRevisionWritten);
  put_i16(header_, hdr::kUnnamedWord, 0);
  put_i32(header_, hdr::kPointCount, point_count_);
  put_f32(header_, hdr::kPointCountF, static_cast<float>(point_count_));
  if (get_i16(header_, hdr::kStatsFlag) == 1) {
    // The indices lie in 1 to the point count (or are still 0).
    put_i32(header_, hdr::kMaxIndex, static_cast<int32_t>(max_index_));
    put_i32(header_, hdr::kMinIndex, static_cast<int32_t>(min_index_));
    put_i32(header_, hdr::kAbsmaxIndex, static_cast<int32_t>(absmax_index_));
    put_f32(header_, hdr::kMaxIndexF, static_cast<float>(max_index_));
    put_f32(header_, hdr::kMinIndexF, static_cast<float>(min_index_));
    put_f32(header_, hdr::kAbsmaxIndexF, static_cast<float>(absmax_index_));
  }
  if (!file_write_at(file_, 0, header_, kHeaderSize)) return ZEL_DAC_HEADER_WRITE;
  return ZEL_DAC_OK;
}

void DacFile::storeStatistics() {
  if (!write_mode_) return;
  int64_t n, max_index, min_index, absmax_index;
  double maximum, minimum, mean, std_dev, rms;
  statistics_.summarize(n, maximum, minimum, mean, std_dev, rms, max_index, min_index,
                        absmax_index);
  // A refused value leaves its fields as they were.
  setStatistics(maximum, minimum, mean, std_dev, rms);
  setExtremeIndices(max_index, min_index, absmax_index);
}

// ------------------------------------------------------------ extra details

char *DacFile::keywordAt(int i) const {
  return detail_chunks_[static_cast<size_t>(i / kDetailGrowth)]->keyword[i % kDetailGrowth];
}

char *DacFile::valueAt(int i) const {
  return detail_chunks_[static_cast<size_t>(i / kDetailGrowth)]->value[i % kDetailGrowth];
}

const char *DacFile::detailKeyword(int i) const {
  return (i >= 0 && i < detail_count_) ? keywordAt(i) : nullptr;
}

const char *DacFile::detailValue(int i) const {
  return (i >= 0 && i < detail_count_) ? valueAt(i) : nullptr;
}

namespace {
char upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }
} // namespace

int DacFile::addDetail(const char *keyword, const char *value) {
  if (!keyword || !value || keyword[0] == '\0' || value[0] == '\0') return ZEL_DAC_BAD_ARGUMENTS;
  if (detail_count_ == INT32_MAX) return ZEL_DAC_BAD_ARGUMENTS;
  if (detail_count_ % kDetailGrowth == 0) {
    // Memory for the list is the only allocation a file can cause here; its
    // failure is reported like a failed allocation of the object itself.
    DetailChunk *chunk = new (std::nothrow) DetailChunk;
    if (!chunk) return ZEL_DAC_BAD_HANDLE;
    try {
      detail_chunks_.emplace_back(chunk);
    } catch (...) {
      delete chunk;
      return ZEL_DAC_BAD_HANDLE;
    }
  }
  char *k = keywordAt(detail_count_);
  copy_text(k, kKeywordLength + 1, keyword);
  for (char *p = k; *p; ++p) *p = upper(*p);
  copy_text(valueAt(detail_count_), kValueLength + 1, value);
  ++detail_count_;
  return ZEL_DAC_OK;
}

int DacFile::getDetail(const char *keyword, char *value_out) const {
  value_out[0] = '\0';
  char key[kKeywordLength + 1];
  copy_text(key, sizeof key, keyword);
  for (char *p = key; *p; ++p) *p = upper(*p);
  if (detail_count_ == 0) return ZEL_DAC_DETAIL_NOT_FOUND;
  for (int i = 0; i < detail_count_; ++i) {
    if (std::strcmp(keywordAt(i), key) == 0) {
      std::memcpy(value_out, valueAt(i), std::strlen(valueAt(i)) + 1);
      return ZEL_DAC_OK;
    }
  }
  return ZEL_DAC_DETAIL_NOT_FOUND;
}

void DacFile::clearDetails() {
  detail_chunks_.clear();
  detail_count_ = 0;
}

int DacFile::readDetails() {
  clearDetails();
  const int64_t groups = detail_group_count(detailRecordCount());
  if (groups == 0) return ZEL_DAC_OK;
  const int64_t first = first_detail_record(point_count_);

  unsigned char directory[kRecordSize];
  unsigned char data[kRecordSize];
  char keyword[det::kKeywordSize + 1];
  char value[det::kValueSize + 1];
  const auto read_record = [this](int64_t record, unsigned char *image) -> int {
    const int64_t offset = record_offset(record);
    if (offset < 0) return ZEL_DAC_SEEK;
    if (file_read_at(file_, offset, image, kRecordSize) != kRecordSize) {
      return ZEL_DAC_DETAILS_READ;
    }
    return ZEL_DAC_OK;
  };

  // A huge record count from a damaged header stops at the first directory
  // record past the end of the file: the work and the details kept are
  // bounded by the file's size.
  for (int64_t g = 0; g < groups; ++g) {
    const int64_t dir_record = first + det::kRecordsPerGroup * g;
    int status = read_record(dir_record, directory);
    if (status != ZEL_DAC_OK) return status;
    int64_t loaded = -1;
    for (int j = 0; j < det::kEntriesPerDirectory; ++j) {
      unpack_text(directory + det::kEntrySize * j, det::kKeywordSize, keyword);
      if (keyword[0] == '\0') continue;
      const int64_t data_record = dir_record + 1 + j / det::kSlotsPerRecord;
      if (data_record != loaded) {
        status = read_record(data_record, data);
        if (status != ZEL_DAC_OK) return status;
        loaded = data_record;
      }
      const unsigned char *slot = data + det::kSlotSize * (j % det::kSlotsPerRecord);
      unpack_text(slot + det::kKeywordSize, det::kValueSize, value);
      if (value[0] == '\0') continue; // kept only with a value
      status = addDetail(keyword, value);
      if (status != ZEL_DAC_OK) return status;
    }
  }
  return ZEL_DAC_OK;
}

int DacFile::writeDetails() {
  if (detail_count_ == 0) return ZEL_DAC_OK;
  int64_t directory_record = first_detail_record(point_count_);
  int64_t data_record = directory_record + 1;
  int64_t written = 0;

  unsigned char directory[kRecordSize];
  unsigned char data[kRecordSize];
  std::memset(directory, 0, sizeof directory);
  const auto write_record = [this, &written](int64_t record, const unsigned char *image) -> int {
    const int64_t offset = record_offset(record);
    if (offset < 0) return ZEL_DAC_SEEK;
    if (!file_write_at(file_, offset, image, kRecordSize)) return ZEL_DAC_DETAILS_WRITE;
    ++written;
    return ZEL_DAC_OK;
  };

  for (int i = 0; i < detail_count_; ++i) {
    const int d = i / det::kEntriesPerDirectory;
    const int j = i % det::kEntriesPerDirectory;
    const int s = j % det::kSlotsPerRecord;
    const bool last = i == detail_count_ - 1;

    unsigned char *entry = directory + det::kEntrySize * j;
    pack_text(entry, det::kKeywordSize, keywordAt(i));
    put_i16(entry, det::kKeywordSize, static_cast<int16_t>(static_cast<uint16_t>(detail_slot(d, j))));
    unsigned char *slot = data + det::kSlotSize * s;
    pack_text(slot, det::kKeywordSize, keywordAt(i));
    pack_text(slot + det::kKeywordSize, det::kValueSize, valueAt(i));

    if (s == det::kSlotsPerRecord - 1 || last) {
      const int used = (s + 1) * det::kSlotSize;
      std::memset(data + used, ' ', kRecordSize - used);
      const int status = write_record(data_record, data);
      if (status != ZEL_DAC_OK) return status;
      ++data_record;
    }
    if (j == det::kEntriesPerDirectory - 1 || last) {
      for (int e = j + 1; e < det::kEntriesPerDirectory; ++e) {
        unsigned char *unused = directory + det::kEntrySize * e;
        pack_text(unused, det::kKeywordSize, "");
        put_i16(unused, det::kKeywordSize, 0);
      }
      std::memset(directory + det::kEntriesPerDirectory * det::kEntrySize, 0,
                  kRecordSize - det::kEntriesPerDirectory * det::kEntrySize);
      const int64_t next = directory_record + det::kRecordsPerGroup;
      put_i32(directory, det::kNextDirectory, last ? 0 : static_cast<int32_t>(next));
      put_i16(directory, det::kDirectoryMarker, det::kDirectoryMarkerValue);
      const int status = write_record(directory_record, directory);
      if (status != ZEL_DAC_OK) return status;
      directory_record = next;
      data_record = directory_record + 1;
    }
  }
  setDetailRecordCount(static_cast<int>(written));
  return ZEL_DAC_OK;
}

} // namespace zel
