// The exported DAC functions (all but the windowed read): handles, the
// one-shot reads and writes, and the messages. Each runs its body through
// zel::guarded, so nothing thrown inside leaves the library.
#include "zel.h"

#include "common/file.h"
#include "common/guard.h"
#include "common/local_time.h"
#include "common/text.h"
#include "dac/dac_file.h"
#include "dac/dac_format.h"
#include "dac/dac_status.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

using zel::DacFile;
using zel::guarded;
namespace dac = zel::dac;

namespace {

// Whole-file reads and writes move samples through a fixed local buffer
// (32 KiB on the stack: one system call per 8192 samples).
constexpr int kBatch = 8192;

template <class T> void set_out(T *p, T v) {
  if (p) *p = v;
}

// A new object in its created state, or null when it cannot be allocated.
std::unique_ptr<DacFile> create() { return std::unique_ptr<DacFile>(new (std::nothrow) DacFile); }

struct Timing {
  int count = 0;
  double start = 0.0, interval = 0.0;
};

// The point count, start time and rate of an open file, into whichever of
// the outputs the caller gave; the rate only when the interval is positive.
Timing report_timing(const DacFile &f, int *npts, double *start_time, double *rate) {
  const Timing t{f.point_count(), f.start_time(), f.interval()};
  set_out(npts, t.count);
  set_out(start_time, t.start);
  if (t.interval > 0.0) set_out(rate, 1.0 / t.interval);
  return t;
}

// A one-shot read: opens path for reading, hands the file to body (which
// returns the call's status) and closes it whatever happens. A failed open
// is the call's status; otherwise a failed close is, when body itself
// succeeded.
template <typename Body> int one_shot_read(const char *path, Body &&body) {
  return guarded(int{ZEL_DAC_BAD_HANDLE}, [&] {
    const std::unique_ptr<DacFile> f = create();
    if (!f) return int{ZEL_DAC_BAD_HANDLE};
    int status = f->open_read(path);
    if (status == ZEL_DAC_OK) status = body(*f);
    const int closed = f->close();
    return status != ZEL_DAC_OK ? status : closed;
  });
}

// Writes the whole file; created tells whether the file exists by this
// call's doing.
int write_file(const char *path, int npts, double start_time, double rate, const double *samples,
               const char *x_note, const char *y_label, const char *y_note, bool &created) {
  const std::unique_ptr<DacFile> f = create();
  if (!f) return ZEL_DAC_BAD_HANDLE;
  double interval = 1.0; // a single sample may have rate 0
  if (rate > 0.0) {
    interval = 1.0 / rate;
  } else if (npts != 1) {
    return ZEL_DAC_BAD_ARGUMENTS;
  }
  if (npts > 0 && !samples) return ZEL_DAC_BAD_ARGUMENTS;
  int status = f->open_write(path);
  if (status != ZEL_DAC_OK) return status;
  created = true;
  f->set_interval(interval);
  f->set_start_time(start_time);
  f->set_x_label("Time");
  f->set_x_note(x_note);
  f->set_y_label(y_label);
  if (y_note) f->set_y_note(y_note);
  char now[32];
  if (zel::local_time_text(now, sizeof now)) status = f->add_detail("Date", now);

  float batch[kBatch];
  for (int done = 0; done < npts && status == ZEL_DAC_OK;) {
    const int n = std::min(npts - done, kBatch);
    for (int i = 0; i < n; ++i) batch[i] = static_cast<float>(samples[done + i]);
    status = f->write_points(n, batch);
    done += n;
  }
  // The file is closed whatever the close answers (a file whose completion
  // failed is closed as it stands).
  const int closed = f->close();
  return status != ZEL_DAC_OK ? status : closed;
}

} // namespace

extern "C" {

ZEL_API void zel_dac_geterror(int code, char *buffer) {
  if (!buffer) return;
  const char *text = dac::status_message(code);
  std::memcpy(buffer, text, std::strlen(text) + 1);
}

ZEL_API int zel_dac_sniff(const char *path) {
  return one_shot_read(path, [](DacFile &) { return int{ZEL_DAC_OK}; }) == ZEL_DAC_OK ? 1 : 0;
}

ZEL_API void *zel_dac_open(const char *path, int *npts, double *rate, double *spare, int *status) {
  set_out(npts, 0);
  set_out(rate, 0.0);
  set_out(spare, 0.0);
  set_out(status, 0);
  DacFile *handle = nullptr;
  const int code = guarded(int{ZEL_DAC_BAD_HANDLE}, [&] {
    std::unique_ptr<DacFile> f = create();
    if (!f) return int{ZEL_DAC_BAD_HANDLE};
    int opened = f->open_read(path);
    if (opened == ZEL_DAC_OK && !(report_timing(*f, npts, nullptr, rate).interval > 0.0))
      opened = ZEL_DAC_BAD_RATE;
    handle = f.release(); // a failed open still gives a handle to close
    return opened;
  });
  set_out(status, code);
  return handle;
}

ZEL_API int zel_dac_getnpts(void *handle, int count, double *samples) {
  return guarded(0, [&] {
    DacFile *f = zel::as_file(handle);
    if (!f || count < 1 || !samples) return 0;
    const int64_t pending = f->pending_count(count);
    if (pending == 0) return 0;
    // Grow the handle's buffer only as far as the file can fill it; a
    // request beyond the end of the file, or a buffer that cannot grow, is
    // read straight into the caller's array: the stored floats land in the
    // first half of its bytes and are widened in place.
    dac::ReadScratch &scratch = f->scratch();
    float *buffer = nullptr;
    if (pending <= scratch.capacity() || pending <= f->stored_count()) {
      buffer = scratch.reserve(pending);
    }
    int got = 0;
    if (!buffer) {
      f->read_point_bytes(count, reinterpret_cast<unsigned char *>(samples), got);
      dac::widen_stored_in_place(samples, got);
      return got;
    }
    f->read_points(count, buffer, got);
    std::copy(buffer, buffer + got, samples);
    return got;
  });
}

ZEL_API int zel_dac_close(void *handle) {
  return guarded(int{ZEL_DAC_BAD_HANDLE}, [&] {
    DacFile *f = zel::as_file(handle);
    if (!f) return int{ZEL_DAC_BAD_HANDLE};
    // A failed close keeps the object (the handle stays valid), except when
    // the object holds no file at all: there is nothing left to complete,
    // so it is destroyed and the close's answer (14) returned.
    const int status = f->close();
    if (status != ZEL_DAC_OK && status != ZEL_DAC_NOT_OPEN) return status;
    delete f;
    return status;
  });
}

ZEL_API int zel_dac_data(const char *path, int *npts, double *start_time, double *rate,
                         double *samples) {
  set_out(npts, 0);
  set_out(start_time, 0.0);
  set_out(rate, 0.0);
  return one_shot_read(path, [&](DacFile &f) -> int {
    const Timing t = report_timing(f, npts, start_time, rate);
    if (!(t.interval > 0.0)) return ZEL_DAC_BAD_RATE;
    if (t.count == 0) return ZEL_DAC_NO_POINTS;
    if (!samples) return ZEL_DAC_DATA_READ;
    // After a failed read the batch holds what the file supplied and 0.0
    // beyond; the rest of the signal is 0.0 as well.
    float batch[kBatch];
    for (double *out = samples;;) {
      int got = 0;
      const int status = f.read_points(kBatch, batch, got);
      out = std::copy(batch, batch + got, out);
      if (status != ZEL_DAC_OK) std::fill(out, samples + t.count, 0.0);
      if (status != ZEL_DAC_OK || got == 0) return status;
    }
  });
}

ZEL_API int zel_dac_read(const char *path, int *npts, double *start_time, double *rate, char *date,
                         char *x_label, char *x_note, char *y_label, char *y_note) {
  set_out(npts, 0);
  set_out(start_time, 0.0);
  set_out(rate, 0.0);
  return one_shot_read(path, [&](DacFile &f) -> int {
    if (x_label) zel::copy_text(x_label, dac::hdr::kLabelSize + 1, f.x_label());
    if (x_note) zel::copy_text(x_note, dac::hdr::kNoteSize + 1, f.x_note());
    if (y_label) zel::copy_text(y_label, dac::hdr::kLabelSize + 1, f.y_label());
    if (y_note) zel::copy_text(y_note, dac::hdr::kNoteSize + 1, f.y_note());
    const Timing t = report_timing(f, npts, start_time, rate);
    if (date && f.find_detail("Date", date) != ZEL_DAC_OK)
      std::memcpy(date, "Unknown", sizeof "Unknown");
    return t.interval > 0.0 ? ZEL_DAC_OK : ZEL_DAC_BAD_RATE;
  });
}

ZEL_API int zel_dac_write(const char *path, int npts, double start_time, double rate,
                          const double *samples, const char *x_note, const char *y_label,
                          const char *y_note) {
  bool created = false;
  const int result = guarded(int{ZEL_DAC_BAD_HANDLE}, [&] {
    return write_file(path, npts, start_time, rate, samples, x_note, y_label, y_note, created);
  });
  // A file that is not complete never stays to be read as a valid one.
  if (result != ZEL_DAC_OK && created) zel::file_remove(path);
  return result;
}

} // extern "C"
