// Rpc3Reader: opening, header parsing, channel attributes, queries.
#include "rpc/rpc3_reader.h"

#include <cmath>
#include <cstring>
#include <new>

#include "common/checked.h"
#include "common/file.h"
#include "common/text.h"

namespace zel {

Rpc3Reader::Rpc3Reader(const char *name) {
  stream_ = file_open_read(name);
  if (!stream_) {
    status_ = ZEL_RPC_OPEN_FAILED;
    return;
  }
  parse_probe_records();
  if (status_ == ZEL_RPC_OK) valid_ = true;
}

Rpc3Reader::~Rpc3Reader() {
  file_close(stream_);
  release_data();
  delete[] channels_;
  delete[] raw_header_;
}

void Rpc3Reader::parse_probe_records() {
  // Records 0 to 2, each found by its position; a file too short to hold
  // all three matches no keyword.
  unsigned char probe[rpc3::kProbeBytes] = {};
  if (file_read_at(stream_, 0, probe, sizeof probe) < rpc3::kProbeBytes)
    std::memset(probe, 0, sizeof probe);
  for (int r = 0; r < rpc3::kProbeRecords; ++r) {
    const rpc3::Field<rpc3_header> &f = rpc3::kFixedFields[r];
    if (rpc3::keyword_is(rpc3::record_keyword(probe, r), f.keyword))
      f.parse(rpc3::record_value(probe, r), header_);
    else
      status_ = ZEL_RPC_NOT_RPC;
  }
  native_order_ = std::strcmp(header_.format, rpc3::kBigEndian) != 0;
  if (static_cast<int64_t>(header_.num_params) >
      4 * static_cast<int64_t>(header_.num_header_blocks))
    status_ = ZEL_RPC_BAD_HEADER;
}

void Rpc3Reader::refuse(int code) {
  // The header cannot be used: the file reads as one without channels and
  // without points. The header record keeps what was parsed.
  status_ = code;
  layout_ = rpc3::Layout{};
  block_count_ = 0;
}

void Rpc3Reader::init_read(int budget) {
  // Only once, and only on a file whose first records were accepted.
  if (!valid_ || mode_ != ReadMode::not_read || !stream_) return;
  mode_ = ReadMode::frame_pairs; // provisional: a refused header is not read a second time
  try {
    const int64_t header_bytes =
        static_cast<int64_t>(header_.num_header_blocks) * rpc3::kBlockBytes;
    file_size_ = file_size(stream_);
    if (header_bytes < 0) {
      refuse(ZEL_RPC_BAD_HEADER);
      return;
    }
    if (header_bytes > file_size_) {
      // The file ends inside its own header: nothing after it can be trusted.
      header_end_ = file_size_;
      refuse(ZEL_RPC_SIZE_MISMATCH);
      return;
    }
    raw_header_ = new unsigned char[header_bytes > 0 ? header_bytes : 1]();
    header_end_ = file_read_at(stream_, 0, raw_header_, header_bytes);

    parse_fixed_records();
    if (layout_.channels == 0) return;
    choose_mode(budget);
    channels_ = new rpc_channel_timehistory[layout_.channels];
    parse_channel_records();
    allocate_buffers();
    if (mode_ == ReadMode::whole_file) load_whole_file();
  } catch (const std::bad_alloc &) {
    release_data();
    delete[] channels_;
    channels_ = nullptr;
    delete[] raw_header_;
    raw_header_ = nullptr;
    refuse(ZEL_RPC_OUT_OF_MEMORY);
  }
}

void Rpc3Reader::parse_fixed_records() {
  header_.int_full_scale = 1;
  for (int64_t r = rpc3::kProbeRecords; r < header_.num_params; ++r)
    if (const rpc3::Field<rpc3_header> *f =
            rpc3::fixed_field_read(rpc3::record_keyword(raw_header_, r)))
      f->parse(rpc3::record_value(raw_header_, r), header_);
  if (header_.int_full_scale < 1) header_.int_full_scale = 1;

  int64_t k = 1;
  rpc3::normalise_frames(header_, k);
  // Half frames are not part of the layout this library reads: the data
  // section starts right after the header whatever HALF_FRAMES says.
  rpc3::Layout layout;
  const bool usable =
      rpc3::make_layout(header_, k, rpc3::bytes_per_value(header_.data_type), header_end_, layout);
  if (!usable || !std::isfinite(header_.delta_t) || header_.delta_t == 0.0 ||
      layout.group % layout.frame != 0 || layout.points_per_channel() > INT32_MAX ||
      layout.groups > INT32_MAX) {
    refuse(ZEL_RPC_BAD_HEADER);
    return;
  }
  layout_ = layout;
  if (layout.data_start + layout.data_bytes() != file_size_) status_ = ZEL_RPC_SIZE_MISMATCH;

  // Channel records and buffers must be justified by the file: with data,
  // the data section holds at least one frame of every channel; without
  // data, every channel has at least one header record.
  if (layout.frames >= 1) {
    int64_t first_frames;
    if (!mul_size(layout.channels, layout.frame * layout.bytes, first_frames) ||
        first_frames > file_size_ - layout.data_start)
      refuse(ZEL_RPC_SIZE_MISMATCH);
  } else if (layout.channels > header_.num_params) {
    refuse(ZEL_RPC_BAD_HEADER);
  }
}

void Rpc3Reader::choose_mode(int budget) {
  // The whole data section, two groups or two frames per channel. Whatever
  // the budget, memory stays within what the file holds: a file cut short
  // is held whole only when nothing is missing, and in group pairs only
  // when its first group is complete.
  const int64_t data_bytes = file_size_ - layout_.data_start;
  const int64_t budget_bytes = static_cast<int64_t>(budget) * 1048576;
  if (data_bytes <= budget_bytes && layout_.data_bytes() <= data_bytes)
    mode_ = ReadMode::whole_file;
  else if (layout_.channels * layout_.group <= budget_bytes / layout_.bytes &&
           layout_.group_bytes() <= data_bytes)
    mode_ = ReadMode::group_pairs;
  else
    mode_ = ReadMode::frame_pairs;
}

void Rpc3Reader::parse_channel_records() {
  for (int64_t r = rpc3::kProbeRecords; r < header_.num_params; ++r) {
    int n = 0;
    const rpc3::Field<rpc_channel_timehistory> *f =
        rpc3::channel_field_read(rpc3::record_keyword(raw_header_, r), n);
    if (!f) continue;
    if (n < 1) {
      status_ = ZEL_RPC_BAD_HEADER;
      continue;
    }
    if (n > layout_.channels) continue; // no such channel: the record is skipped
    f->parse(rpc3::record_value(raw_header_, r), channels_[n - 1]);
  }
}

void Rpc3Reader::info(int &channels, int &points, double &dt, char *date) const {
  channels = static_cast<int>(layout_.channels);
  points = static_cast<int>(layout_.points_per_channel());
  dt = header_.delta_t;
  if (date) copy_text(date, rpc3::kTextBytes, header_.date);
}

int Rpc3Reader::attributes(int channel, char *description, char *units) const {
  if (channel < 1 || channel > layout_.channels) return ZEL_RPC_CHANNEL_RANGE;
  const rpc_channel_timehistory &ch = channels_[channel - 1];
  if (description) copy_text(description, rpc3::kTextBytes, ch.description);
  if (units) copy_text(units, rpc3::kTextBytes, ch.units);
  return 0;
}

int Rpc3Reader::samples() const {
  const int64_t points = layout_.points_per_channel();
  int64_t recorded = 0;
  if (raw_header_)
    for (int64_t r = rpc3::kProbeRecords; r < header_.num_params; ++r)
      if (rpc3::keyword_is(rpc3::record_keyword(raw_header_, r), rpc3::kSteps))
        recorded = parse_int(rpc3::record_value(raw_header_, r), rpc3::kValueBytes);
  return static_cast<int>(recorded >= 1 && recorded <= points ? recorded : points);
}

int Rpc3Reader::record(int index, char *keyword, char *value) const {
  if (!raw_header_ || index < 1 || index > header_.num_params) return ZEL_RPC_CHANNEL_RANGE;
  const auto put = [](char *dest, size_t dest_size, const char *field, size_t size) {
    if (!dest) return;
    copy_field(dest, dest_size, field, size);
    for (size_t n = std::strlen(dest); n > 0 && dest[n - 1] == ' '; --n) dest[n - 1] = '\0';
  };
  put(keyword, rpc3::kKeywordBytes, rpc3::record_keyword(raw_header_, index - 1),
      rpc3::kKeywordBytes);
  put(value, rpc3::kTextBytes, rpc3::record_value(raw_header_, index - 1), rpc3::kValueBytes);
  return ZEL_RPC_OK;
}

} // namespace zel
