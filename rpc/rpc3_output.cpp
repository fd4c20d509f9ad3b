// rpc3file_output: writes one RPC III file.
//
// The announced point count fixes the whole geometry at construction; the
// file then gets a provisional header and a data section of its final size
// holding zeros, so that channels can be stored in any order, each into its
// own runs, without the file growing. Destruction writes the final header
// with every channel's texts, scale and limits.
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "common/byteorder.h"
#include "common/file.h"
#include "common/local_time.h"
#include "common/text.h"
#include "rpc/rpc3_format.h"
#include "zel.h"

using namespace zel;

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

// Integer part of a real, truncated towards zero and held to the int range;
// NaN gives 0.
int integer_part(double v) {
  if (std::isnan(v)) return 0;
  if (v >= 2147483647.0) return INT_MAX;
  if (v <= -2147483648.0) return INT_MIN;
  return static_cast<int>(v);
}

// A quotient of the integer conversion as a stored 16-bit value: truncated
// towards zero. Finite samples give quotients within the full scale; what
// non-finite or subnormal extremes might give is held there too, and NaN
// is stored as 0.
int16_t to_short(double q) {
  if (std::isnan(q)) return 0;
  if (q > rpc3::kFullScale) return rpc3::kFullScale;
  if (q < -rpc3::kFullScale) return -rpc3::kFullScale;
  return static_cast<int16_t>(q);
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

rpc3file_output::rpc3file_output(const char *name, int channels, int points, double dt)
    : filename{}, stream(nullptr), status(ZEL_RPC_OK), channel_count(channels < 1 ? 1 : channels),
      announced_samples(points), sample_interval(dt), header{}, channel_table(nullptr),
      frames_per_group(0), frames_in_last_group(0), groups(0), frames(0), points_in_last_group(0),
      points_per_channel(0), bytes_per_value(2), created_name(nullptr) {
  rpc3::clear_header(header);

  // Geometry. A count below 1 is laid out as a count of 0 would be: one
  // frame of 256 points, so no size is ever derived from a count of points
  // below 1.
  const int64_t p = points < 0 ? 0 : points;
  const int frame = p <= 256 ? 256 : p <= 512 ? 512 : 1024;
  int k = 2048 / frame;
  int group = 2048;
  double requested = 0.0;
  if (env_real(kEnvFramesPerGroup, requested)) {
    const double whole = std::trunc(requested);
    k = whole == 1.0 ? 1 : whole == 4.0 ? 4 : 2;
    group = frame * k;
  }
  bytes_per_value = std::getenv(kEnvFloat) ? 4 : 2;
  frames = static_cast<int>((p - 1) / frame + 1);
  frames_per_group = k;
  groups = (frames - 1) / k + 1;
  points_per_channel = static_cast<int64_t>(frames) * frame;
  frames_in_last_group = frames % k == 0 ? k : frames % k;
  points_in_last_group = static_cast<int64_t>(frames_in_last_group) * frame;
  header.int_full_scale = rpc3::kFullScale;
  header.pts_per_frame = frame;
  header.pts_per_group = group;

  copy_text(filename, sizeof filename, name);
  // The file is created by the name as given; the field keeps a copy cut to
  // 255 characters for the header, created_name the whole name, so that a
  // file whose writing failed can be removed.
  bool no_memory = false;
  stream = file_open_write(name, &no_memory);
  if (!stream) {
    // Without memory for the file handle nothing was created either.
    status = no_memory ? ZEL_RPC_OUT_OF_MEMORY : ZEL_RPC_CREATE_FAILED;
    return;
  }
  const size_t name_bytes = std::strlen(name) + 1;
  created_name = new (std::nothrow) char[name_bytes];
  if (created_name) {
    std::memcpy(created_name, name, name_bytes);
    init_header();
  } else {
    status = ZEL_RPC_OUT_OF_MEMORY;
  }
  if (!channel_table) {
    // Nothing has been written: leave no empty file behind.
    file_close(stream);
    stream = nullptr;
    file_remove(name);
    return;
  }
  write_header();
  if (!write_channel()) status = ZEL_RPC_WRITE_FAILED;
}

rpc3file_output::~rpc3file_output() {
  close();
  delete[] channel_table;
  channel_table = nullptr;
  delete[] created_name;
  created_name = nullptr;
}

int rpc3file_output::close() {
  if (stream) {
    if (channel_table && status != ZEL_RPC_WRITE_FAILED) write_header();
    if (!file_close(stream)) status = ZEL_RPC_WRITE_FAILED;
    stream = nullptr;
    // A file that did not receive every byte never stays under its name: it
    // would read as valid with zeros where data was lost.
    if (status == ZEL_RPC_WRITE_FAILED && created_name) file_remove(created_name);
  }
  return status == ZEL_RPC_WRITE_FAILED ? status : static_cast<int>(ZEL_RPC_OK);
}

int rpc3file_output::getStatus() { return status; }

void rpc3file_output::init_header() {
  copy_text(header.format, sizeof header.format, rpc3::kLittleEndian);
  local_time_text(header.date, sizeof header.date);
  copy_text(header.data_type, sizeof header.data_type,
            bytes_per_value == 4 ? rpc3::kFloatingPoint : rpc3::kShortInteger);
  copy_text(header.file_type, sizeof header.file_type, rpc3::kTimeHistory);
  copy_text(header.operation, sizeof header.operation, rpc3::kOperationText);
  copy_text(header.time_type, sizeof header.time_type, rpc3::kResponse);
  header.channels = channel_count;
  header.part_nchan_1 = channel_count;
  header.delta_t = sample_interval;
  header.frames = frames;
  header.bypass_filter = 0;
  header.half_frames = 0;
  header.part_chan_1 = 1;
  header.partitions = 1;

  header.repeats = 0;
  double repeats = 0.0;
  if (env_real(kEnvRepeats, repeats)) header.repeats = integer_part(repeats);

  // A channel count whose header cannot be counted in 32 bits could never
  // be held in memory either: it is met as a shortage of memory.
  const int64_t params = rpc3::written_params(channel_count);
  if (params > INT_MAX) {
    status = ZEL_RPC_OUT_OF_MEMORY;
    return;
  }
  channel_table = new (std::nothrow) rpc_channel_timehistory[channel_count];
  if (!channel_table) {
    status = ZEL_RPC_OUT_OF_MEMORY;
    return;
  }
  for (int n = 1; n <= channel_count; ++n) {
    rpc_channel_timehistory &ch = channel_table[n - 1];
    copy_text(ch.description, sizeof ch.description, rpc3::kDefaultDescription);
    copy_text(ch.units, sizeof ch.units, rpc3::kDefaultUnits);
    ch.map = n;
    ch.scale = 1.0;
    ch.lower_limit = -1.0;
    ch.upper_limit = 1.0;
  }
  header.num_params = static_cast<int>(params);
  header.num_header_blocks = static_cast<int>(rpc3::header_blocks_for(params));
}

void rpc3file_output::write_header() {
  const rpc3::WrittenHeader h{&header, filename, announced_samples, channel_table};
  const int64_t records = static_cast<int64_t>(header.num_header_blocks) * rpc3::kRecordsPerBlock;
  const int64_t bytes = records * rpc3::kRecordBytes;
  std::unique_ptr<unsigned char[]> image(new (std::nothrow) unsigned char[bytes]());
  if (image) {
    for (int64_t r = 0; r < header.num_params; ++r)
      rpc3::format_record(h, r, image.get() + r * rpc3::kRecordBytes);
    if (!file_write_at(stream, 0, image.get(), bytes)) status = ZEL_RPC_WRITE_FAILED;
    return;
  }
  // Without memory for the whole image the same bytes go out one block at a
  // time, so the header is written all the same.
  unsigned char block[rpc3::kBlockBytes];
  for (int64_t b = 0; b < header.num_header_blocks; ++b) {
    std::memset(block, 0, sizeof block);
    for (int64_t i = 0; i < rpc3::kRecordsPerBlock; ++i) {
      const int64_t r = b * rpc3::kRecordsPerBlock + i;
      if (r < header.num_params) rpc3::format_record(h, r, block + i * rpc3::kRecordBytes);
    }
    if (!file_write_at(stream, b * rpc3::kBlockBytes, block, sizeof block)) {
      status = ZEL_RPC_WRITE_FAILED;
      return;
    }
  }
}

bool rpc3file_output::write_channel() {
  // The data section of its final size, groups x CH x G x B bytes after the
  // header, all zero: extending the new file gives those bytes in one call.
  const int64_t header_bytes = static_cast<int64_t>(header.num_header_blocks) * rpc3::kBlockBytes;
  const int64_t data_bytes = static_cast<int64_t>(groups) * channel_count * header.pts_per_group *
                             bytes_per_value;
  return file_truncate(stream, header_bytes + data_bytes);
}

bool rpc3file_output::write_channel(int channel, const unsigned char *values) {
  const int64_t header_bytes = static_cast<int64_t>(header.num_header_blocks) * rpc3::kBlockBytes;
  const int64_t run = static_cast<int64_t>(header.pts_per_group) * bytes_per_value;
  if (channel_count == 1) {
    // The runs of a single channel follow one another: one write.
    return file_write_at(stream, header_bytes, values, points_per_channel * bytes_per_value);
  }
  for (int64_t g = 0; g < groups; ++g) {
    const int64_t position = header_bytes + (g * channel_count + channel - 1) * run;
    const int64_t length = g == groups - 1 ? points_in_last_group * bytes_per_value : run;
    if (!file_write_at(stream, position, values + g * run, length)) return false;
  }
  return true;
}

int rpc3file_output::setChannel(int channel, int points, const double *values,
                                const char *description, const char *units) {
  if (channel < 1 || channel > channel_count) return ZEL_RPC_CHANNEL_RANGE;
  // A writer that has no file and no channel table answers with the status
  // of its construction.
  if (!channel_table) return status;
  // A writer whose file is closed takes nothing more.
  if (!stream) return ZEL_RPC_BAD_HANDLE;
  // After a failed write the file is lost: nothing more is converted.
  if (status == ZEL_RPC_WRITE_FAILED) return status;
  // No sample to convert: the call is refused and nothing changes.
  if (points < 1 || !values) return ZEL_RPC_CHANNEL_RANGE;

  const int64_t n = points < points_per_channel ? points : points_per_channel;
  std::unique_ptr<unsigned char[]> stored(
      new (std::nothrow) unsigned char[static_cast<size_t>(points_per_channel * bytes_per_value)]);
  if (!stored) return ZEL_RPC_OUT_OF_MEMORY;

  double maximum = values[0], minimum = values[0];
  for (int64_t i = 1; i < n; ++i) {
    if (values[i] > maximum) maximum = values[i];
    if (values[i] < minimum) minimum = values[i];
  }
  const double largest = std::fabs(maximum) > std::fabs(minimum) ? std::fabs(maximum)
                                                                 : std::fabs(minimum);
  const double scale = largest / rpc3::kFullScale;
  const double divisor = scale == 0.0 || bytes_per_value == 4 ? 1.0 : scale;

  unsigned char *out = stored.get();
  if (bytes_per_value == 2) {
    for (int64_t i = 0; i < n; ++i)
      store_le16(out + 2 * i, static_cast<uint16_t>(to_short(values[i] / divisor)));
  } else {
    for (int64_t i = 0; i < n; ++i) store_le_float(out + 4 * i, to_float(values[i] / divisor));
  }
  // The last sample is repeated up to whole frames.
  const unsigned char *last = out + (n - 1) * bytes_per_value;
  for (int64_t i = n; i < points_per_channel; ++i)
    std::memcpy(out + i * bytes_per_value, last, static_cast<size_t>(bytes_per_value));

  if (!write_channel(channel, out)) {
    status = ZEL_RPC_WRITE_FAILED;
    return status;
  }

  rpc_channel_timehistory &ch = channel_table[channel - 1];
  ch.upper_limit = maximum;
  ch.lower_limit = minimum;
  ch.scale = scale;
  if (description) copy_text(ch.description, sizeof ch.description, description);
  if (units) copy_text(ch.units, sizeof ch.units, units);
  return ZEL_RPC_OK;
}
