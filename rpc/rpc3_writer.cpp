// Rpc3Writer: writes one RPC III file.
//
// The announced point count fixes the whole layout at construction; the
// file then gets a provisional header and a data section of its final size
// holding zeros, so that channels can be stored in any order, each into its
// own runs, without the file growing. Closing writes the final header with
// every channel's texts, scale and limits.
#include "rpc/rpc3_writer.h"

#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "common/byteorder.h"
#include "common/file.h"
#include "common/local_time.h"
#include "common/numeric.h"
#include "common/text.h"

namespace zel {

namespace {

constexpr const char *kEnvFramesPerGroup = "QEN_ZEL_FRAMESPERGROUP";
constexpr const char *kEnvFloat = "QEN_KZEL_RPC_FLOAT";
constexpr const char *kEnvRepeats = "QEN_ZEL_NUM_REPEATS";

// The value of an environment variable read as a real number (leading
// blanks, sign, digits, point, exponent; no digits gives 0); false when the
// variable is not set.
bool env_real(const char *name, double &value) {
  const char *text = std::getenv(name);
  if (!text) return false;
  value = parse_real(text, std::strlen(text));
  return true;
}

// A quotient of the integer conversion as a stored 16-bit value: truncated
// towards zero (NaN stored as 0). Finite samples give quotients within the
// full scale; what non-finite or subnormal extremes might give is held
// there too.
int16_t to_short(double q) {
  const double held = q > rpc3::kFullScale    ? rpc3::kFullScale
                      : q < -rpc3::kFullScale ? -rpc3::kFullScale
                                              : q;
  return saturate_cast<int16_t>(held);
}

// A sample rounded to the nearest float; beyond the float range it becomes
// an infinity of its sign, as the rounding rule says.
float to_float(double v) {
  constexpr double kOverflow = 0x1.ffffffp+127; // FLT_MAX plus half its last step
  if (v >= kOverflow) return HUGE_VALF;
  if (v <= -kOverflow) return -HUGE_VALF;
  return static_cast<float>(v);
}

} // namespace

Rpc3Writer::Rpc3Writer(const char *name, int channels, int points, double dt,
                       const WriteOptions *options)
    : channel_count_(channels < 1 ? 1 : channels), announced_points_(points), sample_interval_(dt) {
  rpc3::clear_header(header_);
  if (options) {
    const bool known_type =
        options->value_type == ZEL_RPC_INT16 || options->value_type == ZEL_RPC_FLOAT32;
    const bool known_conversion =
        options->conversion == ZEL_RPC_TRUNCATE || options->conversion == ZEL_RPC_ROUND_NEAREST;
    if (!known_type || !known_conversion || options->extra_records < 0) {
      // Settings no file can be written with: nothing is created.
      status_ = ZEL_RPC_CREATE_FAILED;
      return;
    }
    round_nearest_ = options->conversion == ZEL_RPC_ROUND_NEAREST;
    extra_capacity_ = options->extra_records;
  }
  plan_layout(points, options);
  copy_text(run_name_, sizeof run_name_, name);
  // The file is created by the name as given; run_name_ keeps a copy cut
  // to 255 characters for the header, created_name_ the whole name, so
  // that a file whose writing failed can be removed.
  bool no_memory = false;
  stream_ = file_open_write(name, &no_memory);
  if (!stream_) {
    // Without memory for the file handle nothing was created either.
    status_ = no_memory ? ZEL_RPC_OUT_OF_MEMORY : ZEL_RPC_CREATE_FAILED;
    return;
  }
  const size_t name_bytes = std::strlen(name) + 1;
  created_name_ = new (std::nothrow) char[name_bytes];
  if (created_name_) {
    std::memcpy(created_name_, name, name_bytes);
    fill_header();
  } else {
    status_ = ZEL_RPC_OUT_OF_MEMORY;
  }
  if (!channels_) {
    // Nothing has been written: leave no empty file behind.
    file_close(stream_);
    stream_ = nullptr;
    file_remove(name);
    return;
  }
  write_header();
  // The data section of its final size, all zero: extending the new file
  // gives those bytes in one call.
  if (!file_truncate(stream_, layout_.data_start + layout_.data_bytes()))
    status_ = ZEL_RPC_WRITE_FAILED;
}

Rpc3Writer::~Rpc3Writer() {
  close();
  delete[] channels_;
  delete[] created_name_;
}

int Rpc3Writer::close() {
  if (stream_) {
    if (channels_ && status_ != ZEL_RPC_WRITE_FAILED) write_header();
    if (!file_close(stream_)) status_ = ZEL_RPC_WRITE_FAILED;
    stream_ = nullptr;
    // A file that did not receive every byte never stays under its name: it
    // would read as valid with zeros where data was lost.
    if (status_ == ZEL_RPC_WRITE_FAILED && created_name_) file_remove(created_name_);
  }
  return status_ == ZEL_RPC_WRITE_FAILED ? status_ : static_cast<int>(ZEL_RPC_OK);
}

void Rpc3Writer::plan_layout(int points, const WriteOptions *options) {
  // A count below 1 is laid out as a count of 0 would be: one frame of 256
  // points, so no size is ever derived from a count of points below 1.
  const int64_t p = points < 0 ? 0 : points;
  const int frame = p <= 256 ? 256 : p <= 512 ? 512 : 1024;
  int group = 2048;
  double requested = 0.0;
  if (env_real(kEnvFramesPerGroup, requested)) {
    const double whole = std::trunc(requested);
    group = frame * (whole == 1.0 ? 1 : whole == 4.0 ? 4 : 2);
  }
  const bool floats =
      options ? options->value_type == ZEL_RPC_FLOAT32 : std::getenv(kEnvFloat) != nullptr;
  bytes_ = floats ? 4 : 2;
  header_.frames = static_cast<int>((p - 1) / frame + 1);
  header_.int_full_scale = rpc3::kFullScale;
  header_.pts_per_frame = frame;
  header_.pts_per_group = group;
}

void Rpc3Writer::fill_header() {
  copy_text(header_.format, sizeof header_.format, rpc3::kLittleEndian);
  local_time_text(header_.date, sizeof header_.date);
  copy_text(header_.data_type, sizeof header_.data_type,
            bytes_ == 4 ? rpc3::kFloatingPoint : rpc3::kShortInteger);
  copy_text(header_.file_type, sizeof header_.file_type, rpc3::kTimeHistory);
  copy_text(header_.operation, sizeof header_.operation, rpc3::kOperationText);
  copy_text(header_.time_type, sizeof header_.time_type, rpc3::kResponse);
  header_.channels = channel_count_;
  header_.part_nchan_1 = channel_count_;
  header_.delta_t = sample_interval_;
  header_.bypass_filter = 0;
  header_.half_frames = 0;
  header_.part_chan_1 = 1;
  header_.partitions = 1;
  header_.repeats = 0;
  double repeats = 0.0;
  if (env_real(kEnvRepeats, repeats)) header_.repeats = saturate_cast<int>(repeats);

  // A channel count whose header cannot be counted in 32 bits, or whose
  // data section cannot be sized in 63, could never be held in memory
  // either: it is met as a shortage of memory.
  // Extra records are reserved at once: the data section starts after
  // every header block the file will ever need.
  const int64_t params = rpc3::written_params(channel_count_);
  if (params + extra_capacity_ > INT_MAX) {
    status_ = ZEL_RPC_OUT_OF_MEMORY;
    return;
  }
  header_.num_params = static_cast<int>(params);
  header_.num_header_blocks = static_cast<int>(rpc3::header_blocks_for(params + extra_capacity_));
  if (!rpc3::make_layout(header_, header_.pts_per_group / header_.pts_per_frame, bytes_,
                         static_cast<int64_t>(header_.num_header_blocks) * rpc3::kBlockBytes,
                         layout_)) {
    status_ = ZEL_RPC_OUT_OF_MEMORY;
    return;
  }
  channels_ = new (std::nothrow) rpc_channel_timehistory[channel_count_];
  if (!channels_) {
    status_ = ZEL_RPC_OUT_OF_MEMORY;
    return;
  }
  for (int n = 1; n <= channel_count_; ++n) {
    rpc_channel_timehistory &ch = channels_[n - 1];
    copy_text(ch.description, sizeof ch.description, rpc3::kDefaultDescription);
    copy_text(ch.units, sizeof ch.units, rpc3::kDefaultUnits);
    ch.map = n;
  }
}

void Rpc3Writer::format_record(int64_t r, unsigned char *record) const {
  const int64_t base = rpc3::written_params(channel_count_);
  if (r < base) {
    rpc3::format_record({&header_, run_name_, announced_points_, channels_}, r, record);
  } else if (r - base < static_cast<int64_t>(extras_.size())) {
    const auto &extra = extras_[static_cast<size_t>(r - base)];
    rpc3::put_record(record, 0, extra.first.c_str(), extra.second.c_str());
  }
}

void Rpc3Writer::write_header() {
  header_.num_params =
      static_cast<int>(rpc3::written_params(channel_count_) + static_cast<int64_t>(extras_.size()));
  const int64_t bytes = layout_.data_start;
  std::unique_ptr<unsigned char[]> image(new (std::nothrow) unsigned char[bytes]());
  if (image) {
    for (int64_t r = 0; r < header_.num_params; ++r)
      format_record(r, image.get() + r * rpc3::kRecordBytes);
    if (!file_write_at(stream_, 0, image.get(), bytes)) status_ = ZEL_RPC_WRITE_FAILED;
    return;
  }
  // Without memory for the whole image the same bytes go out one block at a
  // time, so the header is written all the same.
  unsigned char block[rpc3::kBlockBytes];
  for (int64_t b = 0; b < header_.num_header_blocks; ++b) {
    std::memset(block, 0, sizeof block);
    for (int64_t i = 0; i < rpc3::kRecordsPerBlock; ++i) {
      const int64_t r = b * rpc3::kRecordsPerBlock + i;
      if (r < header_.num_params) format_record(r, block + i * rpc3::kRecordBytes);
    }
    if (!file_write_at(stream_, b * rpc3::kBlockBytes, block, sizeof block)) {
      status_ = ZEL_RPC_WRITE_FAILED;
      return;
    }
  }
}

int Rpc3Writer::put_record(const char *keyword, const char *value) {
  if (!channels_) return status_;
  if (!stream_) return ZEL_RPC_BAD_HANDLE;
  if (status_ == ZEL_RPC_WRITE_FAILED) return status_;
  if (!keyword || !value) return ZEL_RPC_CHANNEL_RANGE;
  // A keyword is 1 to 31 printable characters without blanks.
  const size_t length = std::strlen(keyword);
  if (length == 0 || length >= static_cast<size_t>(rpc3::kKeywordBytes))
    return ZEL_RPC_CHANNEL_RANGE;
  for (size_t i = 0; i < length; ++i)
    if (keyword[i] <= ' ' || keyword[i] > '~') return ZEL_RPC_CHANNEL_RANGE;
  if (std::strcmp(keyword, rpc3::kDate) == 0) {
    copy_text(header_.date, sizeof header_.date, value);
    return ZEL_RPC_OK;
  }
  if (std::strcmp(keyword, rpc3::kRun) == 0) {
    copy_text(run_name_, sizeof run_name_, value);
    return ZEL_RPC_OK;
  }
  // The records the writer fills itself are not the caller's to give.
  for (const rpc3::Field<rpc3_header> &f : rpc3::kFixedFields)
    if (std::strcmp(keyword, f.keyword) == 0) return ZEL_RPC_CHANNEL_RANGE;
  int channel = 0;
  if (rpc3::channel_field_read(keyword, channel)) return ZEL_RPC_CHANNEL_RANGE;
  char text[rpc3::kTextBytes];
  copy_text(text, sizeof text, value);
  try {
    for (auto &extra : extras_)
      if (extra.first == keyword) {
        extra.second = text; // a keyword given again takes its new value
        return ZEL_RPC_OK;
      }
    if (static_cast<int64_t>(extras_.size()) >= extra_capacity_) return ZEL_RPC_CHANNEL_RANGE;
    extras_.emplace_back(keyword, text);
  } catch (const std::bad_alloc &) { return ZEL_RPC_OUT_OF_MEMORY; }
  return ZEL_RPC_OK;
}

bool Rpc3Writer::write_runs(int channel, const unsigned char *values) {
  if (layout_.channels == 1) {
    // The runs of a single channel follow one another: one write.
    return file_write_at(stream_, layout_.data_start, values,
                         layout_.points_per_channel() * layout_.bytes);
  }
  for (int64_t g = 0; g < layout_.groups; ++g)
    if (!file_write_at(stream_, layout_.run_position(channel, g), values + g * layout_.run_bytes(),
                       layout_.points_in_group(g) * layout_.bytes))
      return false;
  return true;
}

int Rpc3Writer::set_channel(int channel, int points, const double *values, const char *description,
                            const char *units) {
  if (channel < 1 || channel > channel_count_) return ZEL_RPC_CHANNEL_RANGE;
  // A writer that has no file and no channel table answers with the status
  // of its construction.
  if (!channels_) return status_;
  // A writer whose file is closed takes nothing more.
  if (!stream_) return ZEL_RPC_BAD_HANDLE;
  // After a failed write the file is lost: nothing more is converted.
  if (status_ == ZEL_RPC_WRITE_FAILED) return status_;
  // No sample to convert: the call is refused and nothing changes.
  if (points < 1 || !values) return ZEL_RPC_CHANNEL_RANGE;

  const int64_t total = layout_.points_per_channel(), bytes = layout_.bytes;
  const int64_t n = points < total ? points : total;
  std::unique_ptr<unsigned char[]> stored(
      new (std::nothrow) unsigned char[static_cast<size_t>(total * bytes)]);
  if (!stored) return ZEL_RPC_OUT_OF_MEMORY;

  double maximum = values[0], minimum = values[0];
  for (int64_t i = 1; i < n; ++i) {
    if (values[i] > maximum) maximum = values[i];
    if (values[i] < minimum) minimum = values[i];
  }
  const double largest =
      std::fabs(maximum) > std::fabs(minimum) ? std::fabs(maximum) : std::fabs(minimum);
  const double scale = largest / rpc3::kFullScale;
  const double divisor = scale == 0.0 || bytes == 4 ? 1.0 : scale;

  unsigned char *out = stored.get();
  if (bytes == 2 && round_nearest_) {
    for (int64_t i = 0; i < n; ++i)
      store_le16(out + 2 * i, static_cast<uint16_t>(to_short(std::round(values[i] / divisor))));
  } else if (bytes == 2) {
    for (int64_t i = 0; i < n; ++i)
      store_le16(out + 2 * i, static_cast<uint16_t>(to_short(values[i] / divisor)));
  } else {
    for (int64_t i = 0; i < n; ++i) store_le_float(out + 4 * i, to_float(values[i] / divisor));
  }
  // The last sample is repeated up to whole frames.
  const unsigned char *last = out + (n - 1) * bytes;
  for (int64_t i = n; i < total; ++i)
    std::memcpy(out + i * bytes, last, static_cast<size_t>(bytes));

  if (!write_runs(channel, out)) {
    status_ = ZEL_RPC_WRITE_FAILED;
    return status_;
  }

  rpc_channel_timehistory &ch = channels_[channel - 1];
  ch.upper_limit = maximum;
  ch.lower_limit = minimum;
  ch.scale = scale;
  if (description) copy_text(ch.description, sizeof ch.description, description);
  if (units) copy_text(ch.units, sizeof ch.units, units);
  return ZEL_RPC_OK;
}

} // namespace zel
