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

// ---- The keyword table ----

namespace {

using H = rpc3_header;
using C = rpc_channel_timehistory;
template <typename S> constexpr Field<S> text(const char *k, Use u, char (S::*m)[kTextBytes]) {
  return {k, ValueKind::text, u, m, nullptr, nullptr};
}
template <typename S> constexpr Field<S> integer(const char *k, Use u, int S::*m) {
  return {k, ValueKind::integer, u, nullptr, m, nullptr};
}
template <typename S> constexpr Field<S> real(const char *k, Use u, double S::*m) {
  return {k, ValueKind::real, u, nullptr, nullptr, m};
}
constexpr Use kProbe = Use::probe, kBoth = Use::read_and_write, kWrite = Use::write_only;

} // namespace

const Field<rpc3_header> kFixedFields[kFixedRecords] = {
    text<H>(kFormat, kProbe, &H::format),
    integer<H>(kNumHeaderBlocks, kProbe, &H::num_header_blocks),
    integer<H>(kNumParams, kProbe, &H::num_params),
    text<H>(kRun, kWrite, nullptr),
    integer<H>(kSteps, kWrite, nullptr),
    text<H>(kDataType, kBoth, &H::data_type),
    text<H>(kDate, kBoth, &H::date),
    text<H>(kFileType, kBoth, &H::file_type),
    text<H>(kOperation, kBoth, &H::operation),
    text<H>(kTimeType, kBoth, &H::time_type),
    integer<H>(kBypassFilter, kBoth, &H::bypass_filter),
    integer<H>(kChannels, kBoth, &H::channels),
    real<H>(kDeltaT, kBoth, &H::delta_t),
    integer<H>(kFrames, kBoth, &H::frames),
    integer<H>(kHalfFrames, kBoth, &H::half_frames),
    integer<H>(kIntFullScale, kBoth, &H::int_full_scale),
    integer<H>(kPartChan1, kWrite, &H::part_chan_1),
    integer<H>(kPartNchan1, kWrite, &H::part_nchan_1),
    integer<H>(kPartitions, kBoth, &H::partitions),
    integer<H>(kPtsPerFrame, kBoth, &H::pts_per_frame),
    integer<H>(kPtsPerGroup, kBoth, &H::pts_per_group),
    integer<H>(kRepeats, kBoth, &H::repeats),
};

const Field<rpc_channel_timehistory> kChannelFields[kRecordsPerChannel + 1] = {
    text<C>(kDescPrefix, kBoth, &C::description),
    text<C>(kUnitsPrefix, kBoth, &C::units),
    integer<C>(kMapPrefix, kBoth, &C::map),
    real<C>(kScalePrefix, kBoth, &C::scale),
    real<C>(kUpperPrefix, kBoth, &C::upper_limit),
    real<C>(kLowerPrefix, kBoth, &C::lower_limit),
    text<C>(kDestPrefix, Use::read_only, &C::description),
};

template <typename S> void Field<S>::parse(const char *value, S &s) const {
  switch (kind) {
  case ValueKind::text: copy_field(s.*text, kTextBytes, value, kValueBytes); break;
  case ValueKind::integer: s.*integer = parse_int(value, kValueBytes); break;
  case ValueKind::real: s.*real = parse_real(value, kValueBytes); break;
  }
}
template struct Field<rpc3_header>;
template struct Field<rpc_channel_timehistory>;

const Field<rpc3_header> *fixed_field_read(const char *keyword_field) {
  for (const Field<rpc3_header> &f : kFixedFields)
    if (f.use == Use::read_and_write && keyword_is(keyword_field, f.keyword)) return &f;
  return nullptr;
}

const Field<rpc_channel_timehistory> *channel_field_read(const char *keyword_field, int &channel) {
  for (const Field<rpc_channel_timehistory> &f : kChannelFields)
    if (channel_keyword(keyword_field, f.keyword, channel)) return &f;
  return nullptr;
}

// ---- Layout ----

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

bool make_layout(const rpc3_header &h, int64_t frames_per_group, int64_t bytes, int64_t data_start,
                 Layout &out) {
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

namespace {

// The value text of a field of s into number (kNumberBytes) or, for texts,
// the member itself; fallback_text and fallback_int stand for a field
// without a member.
template <typename S>
const char *value_text(const Field<S> &f, const S &s, char *number, const char *fallback_text,
                       int fallback_int) {
  switch (f.kind) {
  case ValueKind::text: return f.text ? s.*f.text : fallback_text;
  case ValueKind::integer: format_int(number, f.integer ? s.*f.integer : fallback_int); break;
  case ValueKind::real: format_real(number, s.*f.real); break;
  }
  return number;
}

} // namespace

void format_record(const WrittenHeader &h, int64_t r, unsigned char *record) {
  char number[kNumberBytes];
  if (r < kFixedRecords) {
    const Field<rpc3_header> &f = kFixedFields[r];
    put_record(record, 0, f.keyword, value_text(f, *h.fixed, number, h.run, h.steps));
    return;
  }
  const int64_t n = (r - kFixedRecords) / kRecordsPerChannel + 1;
  if (n > h.fixed->channels) return;
  const Field<rpc_channel_timehistory> &f =
      kChannelFields[(r - kFixedRecords) % kRecordsPerChannel];
  char keyword[kKeywordBytes];
  const size_t len = std::strlen(f.keyword);
  std::memcpy(keyword, f.keyword, len);
  // The longest prefix (17 characters) and a channel number of up to 10
  // digits fit the 31 characters of a keyword.
  std::to_chars_result kr = std::to_chars(keyword + len, keyword + sizeof keyword - 1, n);
  *kr.ptr = '\0';
  put_record(record, 0, keyword, value_text(f, h.channels[n - 1], number, "", 0));
}

} // namespace rpc3
} // namespace zel
