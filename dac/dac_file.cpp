#include "dac/dac_file.h"

#include "common/byteorder.h"
#include "common/file.h"
#include "common/guard.h"
#include "common/text.h"
#include "zel.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace zel {

using namespace dac;

// ---------------------------------------------------------------- statistics

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
                              double &std_dev, double &rms, int64_t &max_index, int64_t &min_index,
                              int64_t &absmax_index) const {
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

DacFile::DacFile() {
  std::memset(header_, 0, sizeof header_);
  put_f32(header_, hdr::kInterval, 1.0f);
  put_f32(header_, hdr::kRate, 1.0f);
  x_label_[0] = y_label_[0] = x_note_[0] = y_note_[0] = '\0';
}

DacFile::~DacFile() { file_close(file_); }

int DacFile::open_read(const char *path) {
  if (file_) return ZEL_DAC_ALREADY_OPEN;
  write_mode_ = false;
  file_ = file_open_read(path);
  if (!file_) return ZEL_DAC_OPEN_FAILED;
  int status = read_header();
  if (status == ZEL_DAC_OK) status = read_details();
  if (status != ZEL_DAC_OK) return status;
  last_ = point_count_;
  return ZEL_DAC_OK;
}

int DacFile::open_write(const char *path) {
  if (file_) return ZEL_DAC_ALREADY_OPEN;
  write_mode_ = true;
  file_ = file_open_write(path);
  return file_ ? ZEL_DAC_OK : ZEL_DAC_OPEN_FAILED;
}

int DacFile::close() {
  if (!file_) return ZEL_DAC_NOT_OPEN;
  if (write_mode_) {
    if (point_count_ == 0) return ZEL_DAC_NO_POINTS;
    // Zero-fill the rest of the last data record.
    const int64_t pad =
        kSamplesPerRecord - 1 - (static_cast<int64_t>(point_count_) - 1) % kSamplesPerRecord;
    if (pad > 0) {
      static const unsigned char zeros[kRecordSize] = {};
      if (!file_write_at(file_, sample_offset(point_count_ + 1), zeros, kSampleSize * pad)) {
        return ZEL_DAC_DATA_WRITE;
      }
    }
    store_statistics();
    int status = write_details();
    if (status != ZEL_DAC_OK) return status;
    status = write_header();
    if (status != ZEL_DAC_OK) return status;
  }
  // A close that fails loses written data (a delayed write error).
  const bool closed = file_close(file_);
  file_ = nullptr;
  return closed || !write_mode_ ? ZEL_DAC_OK : ZEL_DAC_DATA_WRITE;
}

int DacFile::write_points(int count, const float *samples) {
  if (!write_mode_) return ZEL_DAC_NOT_WRITE_MODE;
  if (!file_) return ZEL_DAC_NOT_OPEN;
  if (count < 0) return ZEL_DAC_BAD_ARGUMENTS;
  if (count == 0) return ZEL_DAC_OK;
  // The point count is an int32 in the header: a signal cannot grow past it.
  if (!samples || position_ - 1 + count > INT32_MAX) return ZEL_DAC_BAD_ARGUMENTS;

  statistics_.accumulate(samples, count);

  const int64_t offset = sample_offset(position_);
  if (host_is_little_endian()) {
    if (!file_write_at(file_, offset, samples, kSampleSize * count)) { return ZEL_DAC_DATA_WRITE; }
  } else {
    constexpr int kBatch = 1024;
    unsigned char buffer[kSampleSize * kBatch];
    for (int done = 0; done < count;) {
      const int n = std::min(count - done, kBatch);
      for (int i = 0; i < n; ++i) store_le_float(buffer + kSampleSize * i, samples[done + i]);
      if (!file_write_at(file_, offset + kSampleSize * done, buffer, kSampleSize * n)) {
        return ZEL_DAC_DATA_WRITE;
      }
      done += n;
    }
  }
  position_ += count;
  point_count_ = static_cast<int32_t>(position_ - 1);
  return ZEL_DAC_OK;
}

int DacFile::read_point_bytes(int count, unsigned char *bytes, int &read_count) {
  read_count = 0;
  if (write_mode_) return ZEL_DAC_NOT_READ_MODE;
  if (!file_) return ZEL_DAC_NOT_OPEN;
  if (count < 1 || !bytes) return ZEL_DAC_BAD_ARGUMENTS;
  if (position_ > last_) return ZEL_DAC_OK;
  read_count = static_cast<int>(std::min<int64_t>(count, last_ - position_ + 1));
  const int64_t want = kSampleSize * read_count;
  const int64_t got = file_read_at(file_, sample_offset(position_), bytes, want);
  if (got != want) {
    // Samples the file could not supply, a partly read one included, are
    // 0.0: nothing of an earlier read stays in the caller's bytes.
    const int64_t whole = got > 0 ? got - got % kSampleSize : 0;
    std::memset(bytes + whole, 0, static_cast<size_t>(want - whole));
    return ZEL_DAC_DATA_READ;
  }
  position_ += read_count;
  return ZEL_DAC_OK;
}

int DacFile::read_points(int count, float *samples, int &read_count) {
  const int status =
      read_point_bytes(count, reinterpret_cast<unsigned char *>(samples), read_count);
  // After a failed read as well: the samples the file supplied come first.
  if (!host_is_little_endian()) {
    reverse_bytes_4(reinterpret_cast<unsigned char *>(samples), read_count);
  }
  return status;
}

int DacFile::set_read_range(int first, int last) {
  if (first > point_count_) return ZEL_DAC_START_BEYOND_END;
  if (last < first) return ZEL_DAC_END_BEFORE_START;
  position_ = first < 1 ? 1 : first;
  last_ = (last >= 0 && last <= point_count_) ? last : point_count_;
  return ZEL_DAC_OK;
}

int64_t DacFile::pending_count(int count) const {
  if (!file_ || write_mode_ || count < 1 || position_ > last_) return 0;
  return std::min<int64_t>(count, last_ - position_ + 1);
}

int64_t DacFile::stored_count() const {
  const int64_t size = file_size(file_);
  if (size < kHeaderSize) return 0;
  return std::max<int64_t>(0, (size - kHeaderSize) / kSampleSize - position_ + 1);
}

// ------------------------------------------------------------ header values

double DacFile::interval() const { return get_f32(header_, hdr::kInterval); }

double DacFile::start_time() const { return get_f32(header_, hdr::kStartTime); }

void DacFile::set_interval(double interval) {
  put_f32(header_, hdr::kInterval, static_cast<float>(interval));
  put_f32(header_, hdr::kRate, static_cast<float>(1.0 / interval));
}

void DacFile::set_start_time(double time) {
  put_f32(header_, hdr::kStartTime, static_cast<float>(time));
}

void DacFile::set_x_label(const char *text) { copy_text(x_label_, sizeof x_label_, text); }
void DacFile::set_y_label(const char *text) { copy_text(y_label_, sizeof y_label_, text); }
void DacFile::set_x_note(const char *text) { copy_text(x_note_, sizeof x_note_, text); }
void DacFile::set_y_note(const char *text) { copy_text(y_note_, sizeof y_note_, text); }

int DacFile::read_header() {
  if (file_read_at(file_, 0, header_, kHeaderSize) != kHeaderSize) return ZEL_DAC_HEADER_READ;
  const int status = check_header(header_);
  if (status != ZEL_DAC_OK) return status;

  unpack_text(header_ + hdr::kXLabel, hdr::kLabelSize, x_label_);
  unpack_text(header_ + hdr::kYLabel, hdr::kLabelSize, y_label_);
  unpack_note(header_ + hdr::kXNoteHead, header_ + hdr::kXNoteTail, x_note_);
  unpack_note(header_ + hdr::kYNoteHead, header_ + hdr::kYNoteTail, y_note_);

  // Revision 2 holds the count as an int32, revision 0 as a float.
  point_count_ = get_i16(header_, hdr::kRevision) == hdr::kRevisionWritten
                     ? get_i32(header_, hdr::kPointCount)
                     : round_count(get_f32(header_, hdr::kPointCountF));
  return ZEL_DAC_OK;
}

int DacFile::write_header() {
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
  if (!file_write_at(file_, 0, header_, kHeaderSize)) return ZEL_DAC_HEADER_WRITE;
  return ZEL_DAC_OK;
}

void DacFile::store_statistics() {
  int64_t n, indices[3];
  double maximum, minimum, mean, std_dev, rms;
  statistics_.summarize(n, maximum, minimum, mean, std_dev, rms, indices[0], indices[1],
                        indices[2]);
  put_i16(header_, hdr::kStatsFlag, 1);
  put_f32(header_, hdr::kMaximum, static_cast<float>(maximum));
  put_f32(header_, hdr::kMinimum, static_cast<float>(minimum));
  put_f32(header_, hdr::kMean, static_cast<float>(mean));
  put_f32(header_, hdr::kStdDev, static_cast<float>(std_dev));
  put_f32(header_, hdr::kRms, static_cast<float>(rms));
  // The indices are stored when all three name a sample (an extreme that no
  // sample passed has index 0): otherwise all three are 0.
  bool named = true;
  for (int64_t i : indices) named = named && i >= 1 && i <= point_count_;
  const size_t at[3] = {hdr::kMaxIndex, hdr::kMinIndex, hdr::kAbsmaxIndex};
  const size_t at_f[3] = {hdr::kMaxIndexF, hdr::kMinIndexF, hdr::kAbsmaxIndexF};
  for (int k = 0; k < 3; ++k) {
    const int32_t index = named ? static_cast<int32_t>(indices[k]) : 0;
    put_i32(header_, at[k], index);
    put_f32(header_, at_f[k], static_cast<float>(index));
  }
}

// ------------------------------------------------------------ extra details

char *DacFile::keyword_at(int i) const {
  return detail_chunks_[static_cast<size_t>(i / kDetailsPerChunk)]->keyword[i % kDetailsPerChunk];
}

char *DacFile::value_at(int i) const {
  return detail_chunks_[static_cast<size_t>(i / kDetailsPerChunk)]->value[i % kDetailsPerChunk];
}

const char *DacFile::detail_keyword(int i) const {
  return (i >= 0 && i < detail_count_) ? keyword_at(i) : nullptr;
}

const char *DacFile::detail_value(int i) const {
  return (i >= 0 && i < detail_count_) ? value_at(i) : nullptr;
}

namespace {
char upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }
} // namespace

int DacFile::add_detail(const char *keyword, const char *value) {
  if (!keyword || !value || keyword[0] == '\0' || value[0] == '\0') return ZEL_DAC_BAD_ARGUMENTS;
  if (detail_count_ == INT32_MAX) return ZEL_DAC_BAD_ARGUMENTS;
  if (detail_count_ % kDetailsPerChunk == 0) {
    // Memory for the list is the only allocation a file can cause here; its
    // failure is reported like a failed allocation of the object itself.
    const int grown = guarded(int{ZEL_DAC_BAD_HANDLE}, [this] {
      detail_chunks_.push_back(std::make_unique<DetailChunk>());
      return int{ZEL_DAC_OK};
    });
    if (grown != ZEL_DAC_OK) return grown;
  }
  char *k = keyword_at(detail_count_);
  copy_text(k, det::kKeywordSize + 1, keyword);
  for (char *p = k; *p; ++p) *p = upper(*p);
  copy_text(value_at(detail_count_), det::kValueSize + 1, value);
  ++detail_count_;
  return ZEL_DAC_OK;
}

int DacFile::find_detail(const char *keyword, char *value_out) const {
  value_out[0] = '\0';
  char key[det::kKeywordSize + 1];
  copy_text(key, sizeof key, keyword);
  for (char *p = key; *p; ++p) *p = upper(*p);
  if (detail_count_ == 0) return ZEL_DAC_DETAIL_NOT_FOUND;
  for (int i = 0; i < detail_count_; ++i) {
    if (std::strcmp(keyword_at(i), key) == 0) {
      std::memcpy(value_out, value_at(i), std::strlen(value_at(i)) + 1);
      return ZEL_DAC_OK;
    }
  }
  return ZEL_DAC_DETAIL_NOT_FOUND;
}

int DacFile::read_details() {
  const int64_t groups = detail_group_count(round_count(get_f32(header_, hdr::kDetailRecords)));
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
      status = add_detail(keyword, value);
      if (status != ZEL_DAC_OK) return status;
    }
  }
  return ZEL_DAC_OK;
}

int DacFile::write_details() {
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
    pack_text(entry, det::kKeywordSize, keyword_at(i));
    put_i16(entry, det::kKeywordSize,
            static_cast<int16_t>(static_cast<uint16_t>(detail_slot(d, j))));
    unsigned char *slot = data + det::kSlotSize * s;
    pack_text(slot, det::kKeywordSize, keyword_at(i));
    pack_text(slot + det::kKeywordSize, det::kValueSize, value_at(i));

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
  put_f32(header_, hdr::kDetailRecords, static_cast<float>(written));
  return ZEL_DAC_OK;
}

} // namespace zel
