// The RPC III format as this library sees it: parameter records, the one
// keyword table of the fixed and channel records, value types, byte orders
// and the layout arithmetic that places every point of every channel.
// Reader and writer both use this one definition.
#pragma once

#include <cstdint>

#include "zel.h"

namespace zel {
namespace rpc3 {

// Header geometry.
constexpr int kBlockBytes = 512;  // one header block
constexpr int kRecordBytes = 128; // one parameter record
constexpr int kRecordsPerBlock = kBlockBytes / kRecordBytes;
constexpr int kKeywordBytes = 32; // keyword field: bytes 0 to 31
constexpr int kValueBytes = 96;   // value field: bytes 32 to 127
constexpr int kTextBytes = 96;    // texts held: 95 characters and a NUL
constexpr int kProbeRecords = 3;  // FORMAT, NUM_HEADER_BLOCKS, NUM_PARAMS
constexpr int kProbeBytes = kProbeRecords * kRecordBytes;
constexpr int kFullScale = 32752; // integer magnitude of a channel's extreme

// Keywords.
constexpr const char *kFormat = "FORMAT";
constexpr const char *kNumHeaderBlocks = "NUM_HEADER_BLOCKS";
constexpr const char *kNumParams = "NUM_PARAMS";
constexpr const char *kRun = "KIVOR_RUN";
constexpr const char *kSteps = "KIVOR_STEPS";
constexpr const char *kDataType = "DATA_TYPE";
constexpr const char *kDate = "DATE";
constexpr const char *kFileType = "FILE_TYPE";
constexpr const char *kOperation = "OPERATION";
constexpr const char *kTimeType = "TIME_TYPE";
constexpr const char *kBypassFilter = "BYPASS_FILTER";
constexpr const char *kChannels = "CHANNELS";
constexpr const char *kDeltaT = "DELTA_T";
constexpr const char *kFrames = "FRAMES";
constexpr const char *kHalfFrames = "HALF_FRAMES";
constexpr const char *kIntFullScale = "INT_FULL_SCALE";
constexpr const char *kPartChan1 = "PART.CHAN_1";
constexpr const char *kPartNchan1 = "PART.NCHAN_1";
constexpr const char *kPartitions = "PARTITIONS";
constexpr const char *kPtsPerFrame = "PTS_PER_FRAME";
constexpr const char *kPtsPerGroup = "PTS_PER_GROUP";
constexpr const char *kRepeats = "REPEATS";

// Channel keyword prefixes; the channel number follows directly.
constexpr const char *kDescPrefix = "DESC.CHAN_";
constexpr const char *kDestPrefix = "DEST.CHAN_";
constexpr const char *kMapPrefix = "MAP.CHAN_";
constexpr const char *kScalePrefix = "SCALE.CHAN_";
constexpr const char *kUnitsPrefix = "UNITS.CHAN_";
constexpr const char *kLowerPrefix = "LOWER_LIMIT.CHAN_";
constexpr const char *kUpperPrefix = "UPPER_LIMIT.CHAN_";

// Values.
constexpr const char *kLittleEndian = "BINARY_IEEE_LITTLE_END";
constexpr const char *kBigEndian = "BINARY_IEEE_BIG_END";
constexpr const char *kShortInteger = "SHORT_INTEGER";
constexpr const char *kFloatingPoint = "FLOATING_POINT";
constexpr const char *kTimeHistory = "TIME_HISTORY";
constexpr const char *kOperationText = "KIVOR QUORVANTEL I/O";
constexpr const char *kResponse = "RESPONSE";
constexpr const char *kDefaultDescription = "KIVOR SIMULATION COMPONENT";
constexpr const char *kDefaultUnits = "UNKNOWN";

// Parameter records of a header image (records counted from 0).
inline const char *record_keyword(const unsigned char *header, int64_t r) {
  return reinterpret_cast<const char *>(header + r * kRecordBytes);
}
inline const char *record_value(const unsigned char *header, int64_t r) {
  return reinterpret_cast<const char *>(header + r * kRecordBytes + kKeywordBytes);
}

// True when the keyword field holds exactly `keyword` (no trimming).
bool keyword_is(const char *field, const char *keyword);

// When the keyword field starts with prefix, stores the channel number that
// follows it in channel and returns true.
bool channel_keyword(const char *field, const char *prefix, int &channel);

// Writes one parameter record: keyword at byte 0, value at byte 32, each cut
// to its field with room for a NUL.
void put_record(unsigned char *header, int r, const char *keyword, const char *value);

// Header record with the reader's initial values.
void clear_header(rpc3_header &h);

// Bytes per value for a DATA_TYPE text: 4 for "FLOATING_POINT", else 2.
int bytes_per_value(const char *data_type);

// ---- The keyword table ----

enum class ValueKind { text, integer, real };

// Who reads or writes a record: the first three records are found by their
// position (probe); the others anywhere from record 3 on.
enum class Use { probe, read_and_write, write_only, read_only };

// One keyword and the field of S (rpc3_header or rpc_channel_timehistory)
// holding its value: exactly one member pointer matches kind. KIVOR_RUN and
// KIVOR_STEPS have none: their values are the writer's run name and
// announced samples.
template <typename S> struct Field {
  const char *keyword; // the whole keyword, or the prefix of a channel keyword
  ValueKind kind;
  Use use;
  char (S::*text)[kTextBytes];
  int S::*integer;
  double S::*real;

  // Stores a value field (kValueBytes bytes) into the member of s.
  void parse(const char *value, S &s) const;
};

// The fixed records in the order the writer writes them (records 0 to 21).
constexpr int64_t kFixedRecords = 22;
extern const Field<rpc3_header> kFixedFields[kFixedRecords];

// The channel records: the six the writer writes per channel, in its order
// (DESC, UNITS, MAP, SCALE, UPPER_LIMIT, LOWER_LIMIT), then DEST (read only,
// another name of DESC).
constexpr int64_t kRecordsPerChannel = 6;
extern const Field<rpc_channel_timehistory> kChannelFields[kRecordsPerChannel + 1];

// The entry the reader parses for a keyword field from record 3 on; null
// for any other keyword.
const Field<rpc3_header> *fixed_field_read(const char *keyword_field);

// The channel entry whose prefix starts a keyword field, with the channel
// number that follows it; null when none.
const Field<rpc_channel_timehistory> *channel_field_read(const char *keyword_field, int &channel);

// ---- Layout of the data section ----

struct Layout {
  int64_t channels = 0;         // CH
  int64_t frame = 0;            // F, after normalisation
  int64_t group = 0;            // G, after normalisation
  int64_t frames_per_group = 0; // K
  int64_t frames = 0;           // FRAMES
  int64_t groups = 0;           // 0 when FRAMES is below 1
  int64_t frames_in_last_group = 0;
  int64_t bytes = 2;      // B
  int64_t data_start = 0; // byte of the first data value

  int64_t points_per_channel() const { return frames > 0 ? frames * frame : 0; }
  // Points of a channel's run in group g that hold data (the last group may
  // hold fewer frames than K).
  int64_t points_in_group(int64_t g) const {
    return g == groups - 1 ? frames_in_last_group * frame : group;
  }
  int64_t run_bytes() const { return group * bytes; }
  int64_t group_bytes() const { return channels * run_bytes(); }
  // Bytes of a well-formed data section: groups x CH x G x B.
  int64_t data_bytes() const { return groups * group_bytes(); }
  // Byte of the run of channel c (from 1) in group g (from 0).
  int64_t run_position(int64_t c, int64_t g) const {
    return data_start + (g * channels + c - 1) * run_bytes();
  }
  // Byte of point p (from 0) of channel c (from 1).
  int64_t point_position(int64_t c, int64_t p) const {
    return run_position(c, p / group) + (p % group) * bytes;
  }
  // Byte of the first value of frame j (from 0) of channel c.
  int64_t frame_position(int64_t c, int64_t j) const {
    return run_position(c, j / frames_per_group) + (j % frames_per_group) * frame * bytes;
  }
};

// Normalises F, G and K: without a usable PTS_PER_FRAME the frame is the
// group; a group smaller than a frame becomes one frame. Updates the two
// header fields as a reader does.
void normalise_frames(rpc3_header &h, int64_t &frames_per_group);

// Fills a layout from normalised header values; false when the values do
// not give a usable layout (no channels, no frame size, sizes that do not
// fit 63 bits).
bool make_layout(const rpc3_header &h, int64_t frames_per_group, int64_t bytes, int64_t data_start,
                 Layout &out);

// ---- The header as the library writes it ----

// Records the library writes: 22 fixed ones and 6 per channel.
inline int64_t written_params(int64_t channels) {
  return kRecordsPerChannel * channels + kFixedRecords;
}
// Header blocks that hold params records: params / 4 rounded up.
inline int64_t header_blocks_for(int64_t params) { return (params - 1) / kRecordsPerBlock + 1; }

// Number texts of the header, in the C locale whatever the program's
// locale: format_int gives "%d", format_real gives "%20.12E" (right-aligned
// in 20 characters, at least two exponent digits, "INF" and "NAN" for the
// non-finite values). out holds at least kNumberBytes bytes.
constexpr int kNumberBytes = 32;
void format_int(char *out, int64_t v);
void format_real(char *out, double v);

// What a written header is made of: the fixed values (NUM_HEADER_BLOCKS,
// NUM_PARAMS, CHANNELS, ... as the writer fills them), the run name, the
// announced samples and one channel record per channel.
struct WrittenHeader {
  const rpc3_header *fixed;
  const char *run;
  int steps;
  const rpc_channel_timehistory *channels; // fixed->channels records
};

// Fills parameter record r (0 to NUM_PARAMS - 1) of a written header into
// record, 128 bytes that the caller has set to NUL bytes: the fixed records
// of kFixedFields, then the written channel records of kChannelFields for
// each channel.
void format_record(const WrittenHeader &h, int64_t r, unsigned char *record);

} // namespace rpc3
} // namespace zel
