// Byte order helpers: bulk reversal and little-endian packing.
#pragma once

#include <cstdint>
#include <cstring>

namespace zel {

inline bool host_is_little_endian() {
  const uint16_t probe = 1;
  unsigned char first;
  std::memcpy(&first, &probe, 1);
  return first == 1;
}

// Reverses the bytes of n consecutive 2-byte values in place.
inline void reverse_bytes_2(unsigned char *p, int64_t n) {
  for (int64_t i = 0; i < n; ++i, p += 2) {
    unsigned char t = p[0];
    p[0] = p[1];
    p[1] = t;
  }
}

// Reverses the bytes of n consecutive 4-byte values in place.
inline void reverse_bytes_4(unsigned char *p, int64_t n) {
  for (int64_t i = 0; i < n; ++i, p += 4) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    v = (v >> 24) | ((v >> 8) & 0xff00u) | ((v << 8) & 0xff0000u) | (v << 24);
    std::memcpy(p, &v, 4);
  }
}

inline void store_le16(unsigned char *p, uint16_t v) {
  p[0] = static_cast<unsigned char>(v);
  p[1] = static_cast<unsigned char>(v >> 8);
}
inline void store_le32(unsigned char *p, uint32_t v) {
  p[0] = static_cast<unsigned char>(v);
  p[1] = static_cast<unsigned char>(v >> 8);
  p[2] = static_cast<unsigned char>(v >> 16);
  p[3] = static_cast<unsigned char>(v >> 24);
}
inline uint16_t load_le16(const unsigned char *p) {
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
inline uint32_t load_le32(const unsigned char *p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline void store_le_float(unsigned char *p, float f) {
  uint32_t v;
  std::memcpy(&v, &f, 4);
  store_le32(p, v);
}
inline float load_le_float(const unsigned char *p) {
  uint32_t v = load_le32(p);
  float f;
  std::memcpy(&f, &v, 4);
  return f;
}

} // namespace zel
