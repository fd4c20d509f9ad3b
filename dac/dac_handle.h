// Handle layer: the exported functions reach a DacFile only through these
// small functions. Each answers a null handle with "Invalid handle" (18)
// and otherwise forwards to the object; getters place their value in an
// output argument and return 0.
#pragma once

#include "dac/dac_file.h"
#include "common/text.h"
#include "zel.h"

#include <new>

namespace zel {
namespace dac {

inline DacFile *as_file(void *handle) { return static_cast<DacFile *>(handle); }

// A new object in its created state, or null when it cannot be allocated.
inline DacFile *create() { return new (std::nothrow) DacFile; }

// Closes the file and destroys the object. A failed close keeps the object
// (the handle stays valid), except when the object holds no file at all:
// there is nothing left to complete, so it is destroyed and the close's
// answer (14) is returned.
inline int release(void *handle) {
  DacFile *f = as_file(handle);
  if (!f) return ZEL_DAC_BAD_HANDLE;
  const int status = f->close();
  if (status != ZEL_DAC_OK && status != ZEL_DAC_NOT_OPEN) return status;
  f->clearDetails();
  delete f;
  return status;
}

// End of a one-shot call: closes the file (completing a written one) and
// destroys the object whatever the close answered, so that nothing outlives
// the call; a file whose completion failed is closed as it stands.
inline int finish(DacFile *f) {
  if (!f) return ZEL_DAC_BAD_HANDLE;
  const int status = f->close();
  delete f;
  return status;
}

inline int open(void *h, const char *path, const char *mode) {
  return h ? as_file(h)->open(path, mode) : ZEL_DAC_BAD_HANDLE;
}
inline int write_points(void *h, int count, const float *samples) {
  return h ? as_file(h)->writePoints(count, samples) : ZEL_DAC_BAD_HANDLE;
}
inline int read_points(void *h, int count, float *samples, int &read_count) {
  read_count = 0;
  return h ? as_file(h)->readPoints(count, samples, read_count) : ZEL_DAC_BAD_HANDLE;
}
inline int read_point_bytes(void *h, int count, unsigned char *bytes, int &read_count) {
  read_count = 0;
  return h ? as_file(h)->readPointBytes(count, bytes, read_count) : ZEL_DAC_BAD_HANDLE;
}
inline int set_read_range(void *h, int first, int last) {
  return h ? as_file(h)->setReadRange(first, last) : ZEL_DAC_BAD_HANDLE;
}
inline int set_interval(void *h, double interval) {
  return h ? as_file(h)->setInterval(interval) : ZEL_DAC_BAD_HANDLE;
}
inline int set_start_time(void *h, double time) {
  return h ? as_file(h)->setStartTime(time) : ZEL_DAC_BAD_HANDLE;
}
inline int set_x_label(void *h, const char *text) {
  if (!h) return ZEL_DAC_BAD_HANDLE;
  as_file(h)->setXLabel(text);
  return ZEL_DAC_OK;
}
inline int set_y_label(void *h, const char *text) {
  if (!h) return ZEL_DAC_BAD_HANDLE;
  as_file(h)->setYLabel(text);
  return ZEL_DAC_OK;
}
inline int set_x_note(void *h, const char *text) {
  if (!h) return ZEL_DAC_BAD_HANDLE;
  as_file(h)->setXNote(text);
  return ZEL_DAC_OK;
}
inline int set_y_note(void *h, const char *text) {
  if (!h) return ZEL_DAC_BAD_HANDLE;
  as_file(h)->setYNote(text);
  return ZEL_DAC_OK;
}
// Text getters copy into a caller's buffer of size bytes (null: skipped).
inline int get_x_label(void *h, char *out, size_t size) {
  if (!h) return ZEL_DAC_BAD_HANDLE;
  if (out) copy_text(out, size, as_file(h)->getXLabel());
  return ZEL_DAC_OK;
}
inline int get_y_label(void *h, char *out, size_t size) {
  if (!h) return ZEL_DAC_BAD_HANDLE;
  if (out) copy_text(out, size, as_file(h)->getYLabel());
  return ZEL_DAC_OK;
}
inline int get_x_note(void *h, char *out, size_t size) {
  if (!h) return ZEL_DAC_BAD_HANDLE;
  if (out) copy_text(out, size, as_file(h)->getXNote());
  return ZEL_DAC_OK;
}
inline int get_y_note(void *h, char *out, size_t size) {
  if (!h) return ZEL_DAC_BAD_HANDLE;
  if (out) copy_text(out, size, as_file(h)->getYNote());
  return ZEL_DAC_OK;
}
inline int get_interval(void *h, double &interval) {
  if (!h) return ZEL_DAC_BAD_HANDLE;
  interval = as_file(h)->getInterval();
  return ZEL_DAC_OK;
}
inline int get_start_time(void *h, double &time) {
  if (!h) return ZEL_DAC_BAD_HANDLE;
  time = as_file(h)->getStartTime();
  return ZEL_DAC_OK;
}
inline int get_point_count(void *h, int &count) {
  if (!h) return ZEL_DAC_BAD_HANDLE;
  count = as_file(h)->getPointCount();
  return ZEL_DAC_OK;
}
inline int add_detail(void *h, const char *keyword, const char *value) {
  return h ? as_file(h)->addDetail(keyword, value) : ZEL_DAC_BAD_HANDLE;
}
inline int get_detail(void *h, const char *keyword, char *value_out) {
  return h ? as_file(h)->getDetail(keyword, value_out) : ZEL_DAC_BAD_HANDLE;
}

} // namespace dac
} // namespace zel
