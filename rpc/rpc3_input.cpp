// rpc3file_input: opening, header parsing, channel attributes, queries.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <new>

#include "common/checked.h"
#include "common/file.h"
#include "common/text.h"
#include "rpc/rpc3_format.h"
#include "zel.h"

using namespace zel;

namespace {

void copy_value(char *dest, const unsigned char *header, int64_t r) {
  copy_field(dest, rpc3::kTextBytes, rpc3::record_value(header, r), rpc3::kValueBytes);
}
int int_value(const unsigned char *header, int64_t r) {
  return parse_int(rpc3::record_value(header, r), rpc3::kValueBytes);
}
double real_value(const unsigned char *header, int64_t r) {
  return parse_real(rpc3::record_value(header, r), rpc3::kValueBytes);
}

} // namespace

rpc3file_input::rpc3file_input(const char *name)
    : readmode(0), filename{}, stream(nullptr), header_end(0), file_size(0), open_flag(false),
      valid_flag(false), native_order(true), status(0), raw_header(nullptr), header{},
      channel_records(nullptr), num_channels(0), frames_per_group(0), frames_in_last_group(0),
      groups(0), data_start(0), points_per_channel(0), bytes_per_value(2), current_block{},
      next_block{}, number_of_blocks(0), value_storage(nullptr), buffer_length(0),
      half_block(nullptr), read_cursors(nullptr) {
  copy_text(filename, sizeof filename, name);
  stream = file_open_read(name);
  if (!stream) {
    status = ZEL_RPC_OPEN_FAILED;
    return;
  }
  open_flag = true;

  // Records 0 to 2; a file too short to hold all three matches no keyword.
  unsigned char probe[rpc3::kProbeBytes] = {};
  if (file_read_at(stream, 0, probe, sizeof probe) < rpc3::kProbeBytes)
    std::memset(probe, 0, sizeof probe);

  if (rpc3::keyword_is(rpc3::record_keyword(probe, 0), rpc3::kFormat)) {
    copy_value(header.format, probe, 0);
    native_order = std::strcmp(header.format, rpc3::kBigEndian) != 0;
  } else {
    status = ZEL_RPC_NOT_RPC;
  }
  if (rpc3::keyword_is(rpc3::record_keyword(probe, 1), rpc3::kNumHeaderBlocks)) {
    header.num_header_blocks = int_value(probe, 1);
  } else {
    status = ZEL_RPC_NOT_RPC;
    header.num_header_blocks = 0;
  }
  if (rpc3::keyword_is(rpc3::record_keyword(probe, 2), rpc3::kNumParams)) {
    header.num_params = int_value(probe, 2);
  } else {
    status = ZEL_RPC_NOT_RPC;
    header.num_params = 0;
  }
  if (static_cast<int64_t>(header.num_params) > 4 * static_cast<int64_t>(header.num_header_blocks))
    status = ZEL_RPC_BAD_HEADER;
  if (status == ZEL_RPC_OK) valid_flag = true;
}

rpc3file_input::~rpc3file_input() {
  if (open_flag) {
    file_close(stream);
    stream = nullptr;
    open_flag = false;
  }
  release_data();
  delete[] channel_records;
  delete[] raw_header;
}

bool rpc3file_input::validFile() { return valid_flag; }

int rpc3file_input::getStatus() { return status; }

void rpc3file_input::refuse(int code) {
  // The header cannot be used: the file reads as one without channels and
  // without points. The header record keeps what was parsed.
  status = code;
  num_channels = 0;
  points_per_channel = 0;
  groups = 0;
  number_of_blocks = 0;
}

void rpc3file_input::initRead(int budget) {
  // Only once, and only on a file whose first records were accepted.
  if (!valid_flag || readmode != 0 || !open_flag) return;
  readmode = 3; // provisional: a refused header is not read a second time
  try {
    const int64_t header_bytes =
        static_cast<int64_t>(header.num_header_blocks) * rpc3::kBlockBytes;
    file_size = zel::file_size(stream);
    if (header_bytes < 0) {
      refuse(ZEL_RPC_BAD_HEADER);
      return;
    }
    if (header_bytes > file_size) {
      // The file ends inside its own header: nothing after it can be trusted.
      header_end = file_size;
      refuse(ZEL_RPC_SIZE_MISMATCH);
      return;
    }
    raw_header = new unsigned char[header_bytes > 0 ? header_bytes : 1]();
    header_end = file_read_at(stream, 0, raw_header, header_bytes);

    sethead();
    if (num_channels == 0) return;

    // Memory budget: the whole data section, two groups or two frames per
    // channel. Whatever the budget, memory stays within what the file
    // holds: a file cut short is held whole only when nothing is missing,
    // and in group pairs only when its first group is complete.
    const int64_t data_bytes = file_size - data_start;
    const int64_t group_bytes =
        static_cast<int64_t>(num_channels) * header.pts_per_group * bytes_per_value;
    const int64_t claimed = static_cast<int64_t>(groups) * group_bytes;
    const int64_t budget_bytes = static_cast<int64_t>(budget) * 1048576;
    if (data_bytes <= budget_bytes && claimed <= data_bytes)
      readmode = 1;
    else if (static_cast<int64_t>(num_channels) * header.pts_per_group <=
                 budget_bytes / bytes_per_value &&
             group_bytes <= data_bytes)
      readmode = 2;
    else
      readmode = 3;

    channel_records = new rpc_channel_timehistory[num_channels];
    setchannel_att();
    setblocks();
    setblockdata();
  } catch (const std::bad_alloc &) {
    release_data();
    delete[] channel_records;
    channel_records = nullptr;
    delete[] raw_header;
    raw_header = nullptr;
    refuse(ZEL_RPC_OUT_OF_MEMORY);
  }
}

void rpc3file_input::sethead() {
  header.int_full_scale = 1;
  bytes_per_value = 2;
  for (int64_t r = 3; r < header.num_params; ++r) {
    const char *k = rpc3::record_keyword(raw_header, r);
    if (rpc3::keyword_is(k, rpc3::kBypassFilter)) header.bypass_filter = int_value(raw_header, r);
    else if (rpc3::keyword_is(k, rpc3::kChannels)) header.channels = int_value(raw_header, r);
    else if (rpc3::keyword_is(k, rpc3::kDataType)) {
      copy_value(header.data_type, raw_header, r);
      bytes_per_value = rpc3::bytes_per_value(header.data_type);
    } else if (rpc3::keyword_is(k, rpc3::kDate)) copy_value(header.date, raw_header, r);
    else if (rpc3::keyword_is(k, rpc3::kDeltaT)) header.delta_t = real_value(raw_header, r);
    else if (rpc3::keyword_is(k, rpc3::kFileType)) copy_value(header.file_type, raw_header, r);
    else if (rpc3::keyword_is(k, rpc3::kFrames)) header.frames = int_value(raw_header, r);
    else if (rpc3::keyword_is(k, rpc3::kHalfFrames)) header.half_frames = int_value(raw_header, r);
    else if (rpc3::keyword_is(k, rpc3::kIntFullScale)) header.int_full_scale = int_value(raw_header, r);
    else if (rpc3::keyword_is(k, rpc3::kOperation)) copy_value(header.operation, raw_header, r);
    else if (rpc3::keyword_is(k, rpc3::kPartitions)) header.partitions = int_value(raw_header, r);
    else if (rpc3::keyword_is(k, rpc3::kPtsPerFrame)) header.pts_per_frame = int_value(raw_header, r);
    else if (rpc3::keyword_is(k, rpc3::kPtsPerGroup)) header.pts_per_group = int_value(raw_header, r);
    else if (rpc3::keyword_is(k, rpc3::kRepeats)) header.repeats = int_value(raw_header, r);
    else if (rpc3::keyword_is(k, rpc3::kTimeType)) copy_value(header.time_type, raw_header, r);
  }
  if (header.int_full_scale < 1) header.int_full_scale = 1;

  int64_t k = 1;
  rpc3::normalise_frames(header, k);
  // Half frames are not part of the layout this library reads: the data
  // section starts right after the header whatever HALF_FRAMES says.
  data_start = header_end;

  rpc3::Layout layout;
  const bool usable = rpc3::make_layout(header, k, bytes_per_value, data_start, layout);
  frames_per_group = static_cast<int>(k);
  if (!usable || !std::isfinite(header.delta_t) || header.delta_t == 0.0 ||
      layout.group % layout.frame != 0 || layout.points_per_channel() > INT32_MAX ||
      layout.groups > INT32_MAX) {
    refuse(ZEL_RPC_BAD_HEADER);
    return;
  }
  groups = static_cast<int>(layout.groups);
  frames_in_last_group = static_cast<int>(layout.frames_in_last_group);
  points_per_channel = static_cast<int>(layout.points_per_channel());
  num_channels = header.channels;

  if (data_start + layout.data_bytes() != file_size) status = ZEL_RPC_SIZE_MISMATCH;

  // Channel records and buffers must be justified by the file: with data,
  // the data section holds at least one frame of every channel; without
  // data, every channel has at least one header record.
  if (layout.frames >= 1) {
    int64_t first_frames;
    if (!mul_size(layout.channels, layout.frame * layout.bytes, first_frames) ||
        first_frames > file_size - data_start)
      refuse(ZEL_RPC_SIZE_MISMATCH);
  } else if (layout.channels > header.num_params) {
    refuse(ZEL_RPC_BAD_HEADER);
  }
}

void rpc3file_input::setchannel_att() {
  for (int64_t r = 3; r < header.num_params; ++r) {
    const char *k = rpc3::record_keyword(raw_header, r);
    int n = 0;
    enum { kDesc, kMap, kScale, kUnits, kLower, kUpper } field;
    if (rpc3::channel_keyword(k, rpc3::kDescPrefix, n) ||
        rpc3::channel_keyword(k, rpc3::kDestPrefix, n))
      field = kDesc;
    else if (rpc3::channel_keyword(k, rpc3::kMapPrefix, n)) field = kMap;
    else if (rpc3::channel_keyword(k, rpc3::kScalePrefix, n)) field = kScale;
    else if (rpc3::channel_keyword(k, rpc3::kUnitsPrefix, n)) field = kUnits;
    else if (rpc3::channel_keyword(k, rpc3::kLowerPrefix, n)) field = kLower;
    else if (rpc3::channel_keyword(k, rpc3::kUpperPrefix, n)) field = kUpper;
    else continue;
    if (n < 1) {
      status = ZEL_RPC_BAD_HEADER;
      continue;
    }
    if (n > num_channels) continue; // no such channel: the record is skipped
    rpc_channel_timehistory &ch = channel_records[n - 1];
    switch (field) {
    case kDesc: copy_value(ch.description, raw_header, r); break;
    case kMap: ch.map = int_value(raw_header, r); break;
    case kScale: ch.scale = real_value(raw_header, r); break;
    case kUnits: copy_value(ch.units, raw_header, r); break;
    case kLower: ch.lower_limit = real_value(raw_header, r); break;
    case kUpper: ch.upper_limit = real_value(raw_header, r); break;
    }
  }
}

int rpc3file_input::getInfo(int &channels, int &points, double &dt, char *date) {
  channels = num_channels;
  points = points_per_channel;
  dt = header.delta_t;
  if (date) copy_text(date, rpc3::kTextBytes, header.date);
  return 0;
}

const rpc3_header &rpc3file_input::getHeader() const { return header; }

int rpc3file_input::getAttributes(int channel, char *description, char *units) {
  if (channel < 1 || channel > num_channels) return ZEL_RPC_CHANNEL_RANGE;
  const rpc_channel_timehistory &ch = channel_records[channel - 1];
  if (description) copy_text(description, rpc3::kTextBytes, ch.description);
  if (units) copy_text(units, rpc3::kTextBytes, ch.units);
  return 0;
}
