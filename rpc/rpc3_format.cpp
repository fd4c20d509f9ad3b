#include "rpc/rpc3_format.h"

#include <charconv>
#include <cstring>

#include "common/checked.h"
#include "common/text.h"

namespace zel {
namespace rpc3 {

bool keyword_is(const char *field, const char *keyword) {
  const size_t n = std::strlen(keyword);
  return n < static_cast<size_t>(kKeywordBytes) && std::memcmp(field, keyword, n) == 0 &&
         field[n] == '\0';
}

bool channel_keyword(const char *field, const char *prefix, int &channel) {
  const size_t n = std::strlen(prefix);
  if (std::strncmp(field, prefix, n) != 0) return false;
  channel = parse_int(field + n, kKeywordBytes - n);
  return true;
}

void put_record(unsigned char *header, int r, const char *keyword, const char *value) {
  char *rec = reinterpret_cast<char *>(header + static_cast<int64_t>(r) * kRecordBytes);
  copy_text(rec, kKeywordBytes, keyword);
  copy_text(rec + kKeywordBytes, kValueBytes, value);
}

void clear_header(rpc3_header &h) { std::memset(&h, 0, sizeof h); }

int bytes_per_value(const char *data_type) {
  return std::strcmp(data_type, kFloatingPoint) == 0 ? 4 : 2;
}

void normalise_frames(rpc3_header &h, int64_t &frames_per_group) {
  if (h.pts_per_frame > 0) {
    frames_per_group = h.pts_per_group / h.pts_per_frame;
    if (frames_per_group == 0) {
      h.pts_per_group = h.pts_per_frame;
      frames_per_group = 1;
    }
  } else {
    h.pts_per_frame = h.pts_per_group;
    frames_per_group = 1;
  }
}

bool make_layout(const rpc3_header &h, int64_t frames_per_group, int64_t bytes,
                 int64_t data_start, Layout &out) {
  Layout l;
  l.channels = h.channels;
  l.frame = h.pts_per_frame;
  l.group = h.pts_per_group;
  l.frames_per_group = frames_per_group;
  l.frames = h.frames;
  l.bytes = bytes;
  l.data_start = data_start;
  if (l.channels < 1 || l.frame < 1 || l.group < 1 || l.frames_per_group < 1) return false;
  if (l.frames >= 1) {
    l.groups = (l.frames - 1) / l.frames_per_group + 1;
    l.frames_in_last_group = l.frames % l.frames_per_group;
    if (l.frames_in_last_group == 0) l.frames_in_last_group = l.frames_per_group;
  }
  // Every size the readers and writers derive must fit in 63 bits.
  int64_t g_bytes, total, end, points;
  if (!mul_size(l.channels, l.group, g_bytes) || !mul_size(g_bytes, l.bytes, g_bytes) ||
      !mul_size(l.groups, g_bytes, total) || !add_size(data_start, total, end) ||
      !mul_size(l.frames > 0 ? l.frames : 0, l.frame, points))
    return false;
  out = l;
  return true;
}


// ---- The header as the library writes it ----

void format_int(char *out, int64_t v) {
  std::to_chars_result r = std::to_chars(out, out + kNumberBytes - 1, v);
  *r.ptr = '\0';
}

void format_real(char *out, double v) {
  // std::to_chars in scientific form with 12 digits gives the text of C's
  // "%.12e" in the C locale, so the decimal point is '.' whatever locale the
  // calling program has set.
  char digits[kNumberBytes];
  std::to_chars_result r =
      std::to_chars(digits, digits + sizeof digits, v, std::chars_format::scientific, 12);
  const size_t n = static_cast<size_t>(r.ptr - digits);
  for (size_t i = 0; i < n; ++i)
    if (digits[i] >= 'a' && digits[i] <= 'z') digits[i] = static_cast<char>(digits[i] - 'a' + 'A');
  const size_t pad = n < 20 ? 20 - n : 0;
  std::memset(out, ' ', pad);
  std::memcpy(out + pad, digits, n);
  out[pad + n] = '\0';
}

void format_record(const WrittenHeader &h, int64_t r, unsigned char *record) {
  const rpc3_header &f = *h.fixed;
  char number[kNumberBytes];
  const auto put = [record](const char *keyword, const char *value) {
    put_record(record, 0, keyword, value);
  };
  const auto put_int = [&](const char *keyword, int64_t v) {
    format_int(number, v);
    put(keyword, number);
  };
  switch (r) {
  case 0: put(kFormat, kLittleEndian); return;
  case 1: put_int(kNumHeaderBlocks, f.num_header_blocks); return;
  case 2: put_int(kNumParams, f.num_params); return;
  case 3: put(kRun, h.run); return;
  case 4: put_int(kSteps, h.steps); return;
  case 5: put(kDataType, f.data_type); return;
  case 6: put(kDate, f.date); return;
  case 7: put(kFileType, f.file_type); return;
  case 8: put(kOperation, f.operation); return;
  case 9: put(kTimeType, f.time_type); return;
  case 10: put_int(kBypassFilter, f.bypass_filter); return;
  case 11: put_int(kChannels, f.channels); return;
  case 12: format_real(number, f.delta_t); put(kDeltaT, number); return;
  case 13: put_int(kFrames, f.frames); return;
  case 14: put_int(kHalfFrames, f.half_frames); return;
  case 15: put_int(kIntFullScale, f.int_full_scale); return;
  case 16: put_int(kPartChan1, f.part_chan_1); return;
  case 17: put_int(kPartNchan1, f.part_nchan_1); return;
  case 18: put_int(kPartitions, f.partitions); return;
  case 19: put_int(kPtsPerFrame, f.pts_per_frame); return;
  case 20: put_int(kPtsPerGroup, f.pts_per_group); return;
  case 21: put_int(kRepeats, f.repeats); return;
  default: break;
  }
  if (r < kFixedRecords) return;
  const int64_t n = (r - kFixedRecords) / kRecordsPerChannel + 1;
  if (n > f.channels) return;
  const rpc_channel_timehistory &ch = h.channels[n - 1];
  static const char *const prefixes[kRecordsPerChannel] = {
      kDescPrefix, kUnitsPrefix, kMapPrefix, kScalePrefix, kUpperPrefix, kLowerPrefix};
  const int field = static_cast<int>((r - kFixedRecords) % kRecordsPerChannel);
  char keyword[kKeywordBytes];
  const size_t len = std::strlen(prefixes[field]);
  std::memcpy(keyword, prefixes[field], len);
  // The longest prefix (17 characters) and a channel number of up to 10
  // digits fit the 31 characters of a keyword.
  std::to_chars_result kr = std::to_chars(keyword + len, keyword + sizeof keyword - 1, n);
  *kr.ptr = '\0';
  switch (field) {
  case 0: put(keyword, ch.description); break;
  case 1: put(keyword, ch.units); break;
  case 2: put_int(keyword, ch.map); break;
  case 3: format_real(number, ch.scale); put(keyword, number); break;
  case 4: format_real(number, ch.upper_limit); put(keyword, number); break;
  default: format_real(number, ch.lower_limit); put(keyword, number); break;
  }
}

} // namespace rpc3
} // namespace zel
