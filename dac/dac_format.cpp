#include "dac/dac_format.h"

#include "common/byteorder.h"
#include "common/numeric.h"
#include "zel.h"

#include <cstring>

namespace zel {
namespace dac {

float get_f32(const unsigned char *image, size_t offset) { return load_le_float(image + offset); }

void put_f32(unsigned char *image, size_t offset, float v) { store_le_float(image + offset, v); }

int32_t get_i32(const unsigned char *image, size_t offset) {
  return static_cast<int32_t>(load_le32(image + offset));
}

void put_i32(unsigned char *image, size_t offset, int32_t v) {
  store_le32(image + offset, static_cast<uint32_t>(v));
}

int16_t get_i16(const unsigned char *image, size_t offset) {
  return static_cast<int16_t>(load_le16(image + offset));
}

void put_i16(unsigned char *image, size_t offset, int16_t v) {
  store_le16(image + offset, static_cast<uint16_t>(v));
}

void pack_text(unsigned char *field, size_t size, const char *text) {
  size_t n = 0;
  if (text) {
    while (n < size && text[n] != '\0') ++n;
    std::memcpy(field, text, n);
  }
  std::memset(field + n, ' ', size - n);
}

void unpack_text(const unsigned char *field, size_t size, char *out) {
  const void *nul = std::memchr(field, 0, size);
  size_t n = nul ? static_cast<size_t>(static_cast<const unsigned char *>(nul) - field) : size;
  while (n > 0 && field[n - 1] == ' ') --n;
  std::memcpy(out, field, n);
  out[n] = '\0';
}

void unpack_note(const unsigned char *head, const unsigned char *tail, char *out) {
  unsigned char whole[hdr::kNoteSize];
  std::memcpy(whole, head, hdr::kNoteHeadSize);
  std::memcpy(whole + hdr::kNoteHeadSize, tail, hdr::kNoteTailSize);
  unpack_text(whole, hdr::kNoteSize, out);
}

int32_t round_count(float v) { return saturate_cast<int32_t>(static_cast<double>(v) + 0.5); }

int64_t first_detail_record(int64_t point_count) {
  return (point_count - 1) / kSamplesPerRecord + 3;
}

int64_t detail_group_count(int64_t detail_records) {
  if (detail_records == 0) return 0;
  // Truncating division: a small negative count still gives one group.
  const int64_t groups = (detail_records - 1) / det::kRecordsPerGroup + 1;
  return groups > 0 ? groups : 0;
}

void widen_stored_in_place(double *out, int64_t n) {
  const unsigned char *bytes = reinterpret_cast<const unsigned char *>(out);
  for (int64_t i = n - 1; i >= 0; --i) {
    const float f = load_le_float(bytes + kSampleSize * i);
    out[i] = f;
  }
}

int check_header(const unsigned char *image) {
  if (get_i16(image, hdr::kFormatMarker) != hdr::kFormatMarkerValue) return ZEL_DAC_NOT_DAC;
  const int16_t kind = get_i16(image, hdr::kKindCode);
  if (kind != 0 && kind != 1 && kind != 3 && kind != 101) return ZEL_DAC_NOT_DAC;
  const int16_t flag = get_i16(image, hdr::kStatsFlag);
  if (flag != 0 && flag != 1) return ZEL_DAC_NOT_DAC;
  const int16_t revision = get_i16(image, hdr::kRevision);
  if (revision != 0 && revision != 2) return ZEL_DAC_NOT_DAC;
  return ZEL_DAC_OK;
}

} // namespace dac
} // namespace zel
