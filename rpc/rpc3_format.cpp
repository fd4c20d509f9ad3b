#include "rpc/rpc3_format.h"

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

} // namespace rpc3
} // namespace zel
