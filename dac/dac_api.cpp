// The exported DAC functions (all but the windowed read), their messages and
// the one-shot reads and writes. Every function is an exception firewall:
// nothing thrown inside leaves the library.
#include "zel.h"

#include "common/file.h"
#include "common/local_time.h"
#include "common/text.h"
#include "dac/dac_file.h"
#include "dac/dac_format.h"
#include "dac/dac_handle.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

using zel::DacFile;
namespace dac = zel::dac;

namespace {

// Whole-file reads and writes move samples through a fixed local buffer.
constexpr int kBatch = 1024;

const char *const kMessages[] = {
    "No error",
    "Error reading header record",
    "Not a valid dac file",
    "Error writing header record",
    "File is already open in call to Open",
    "Bad arguments passed to function",
    "Error opening file",
    "Error writing data",
    "File not in write mode",
    "File not in read mode",
    "No data points written to file",
    "Error seeking to read/write position",
    "Error reading data",
    "Extra details keyword not found",
    "Open call has not been made",
    "Stats not yet known",
    "Error reading extra details",
    "Error writing extra details",
    "Invalid handle",
    "Start point for read is beyond end of signal",
    "End point for read is before start point",
    "Sample rate must be positive",
    "Number of points must be greater than zero",
    "Statistics are not valid",
};
constexpr int kMessageCount = static_cast<int>(sizeof kMessages / sizeof kMessages[0]);

template <class T> void set_out(T *p, T v) {
  if (p) *p = v;
}

struct Timing {
  int count = 0;
  double start = 0.0, interval = 0.0;
};

// The point count, start time and rate of an open file, into whichever of
// the outputs the caller gave; the rate only when the interval is positive.
Timing report_timing(DacFile *f, int *npts, double *start_time, double *rate) {
  Timing t;
  dac::get_point_count(f, t.count);
  dac::get_start_time(f, t.start);
  dac::get_interval(f, t.interval);
  set_out(npts, t.count);
  set_out(start_time, t.start);
  if (t.interval > 0.0) set_out(rate, 1.0 / t.interval);
  return t;
}

// A one-shot read: opens path for reading, hands the file to body (which
// returns the call's status) and releases the object whatever happens. A
// failed open is the call's status; otherwise a failed release is, when
// body itself succeeded.
template <typename Body> int one_shot_read(const char *path, Body &&body) {
  DacFile *f = nullptr;
  try {
    f = dac::create();
    if (!f) return ZEL_DAC_BAD_HANDLE;
    int status = dac::open(f, path, "rb");
    if (status == ZEL_DAC_OK) status = body(f);
    DacFile *done = f;
    f = nullptr;
    const int released = dac::finish(done);
    return status != ZEL_DAC_OK ? status : released;
  } catch (...) {
    if (f) dac::finish(f);
    return ZEL_DAC_BAD_HANDLE;
  }
}

// Reads straight into the caller's array: the stored floats land in the
// first half of its bytes and are widened in place. Used when the handle's
// read buffer cannot (or need not) be grown to the request.
int read_into_caller(void *handle, int count, double *samples) {
  int got = 0;
  dac::read_point_bytes(handle, count, reinterpret_cast<unsigned char *>(samples), got);
  dac::widen_stored_in_place(samples, got);
  return got;
}

} // namespace

extern "C" {

ZEL_API void zel_dac_geterror(int code, char *buffer) {
  if (!buffer) return;
  const char *text = (code >= 0 && code < kMessageCount) ? kMessages[code] : "Unknown error";
  std::memcpy(buffer, text, std::strlen(text) + 1);
}

ZEL_API int zel_dac_sniff(const char *path) {
  return one_shot_read(path, [](DacFile *) { return ZEL_DAC_OK; }) == ZEL_DAC_OK ? 1 : 0;
}

ZEL_API void *zel_dac_open(const char *path, int *npts, double *rate, double *spare,
                           int *status) {
  set_out(npts, 0);
  set_out(rate, 0.0);
  set_out(spare, 0.0);
  set_out(status, 0);
  DacFile *f = nullptr;
  try {
    f = dac::create();
    if (!f) {
      set_out(status, static_cast<int>(ZEL_DAC_BAD_HANDLE));
      return nullptr;
    }
    const int code = dac::open(f, path, "rb");
    set_out(status, code);
    if (code != ZEL_DAC_OK) return f;
    if (!(report_timing(f, npts, nullptr, rate).interval > 0.0))
      set_out(status, static_cast<int>(ZEL_DAC_BAD_RATE));
    return f;
  } catch (...) {
    set_out(status, static_cast<int>(ZEL_DAC_BAD_HANDLE));
    if (f) dac::finish(f);
    return nullptr;
  }
}

ZEL_API int zel_dac_getnpts(void *handle, int count, double *samples) {
  try {
    DacFile *f = dac::as_file(handle);
    if (!f || count < 1 || !samples) return 0;
    const int64_t pending = f->pendingCount(count);
    if (pending == 0) return 0;
    float *buffer = nullptr;
    // Grow the handle's buffer only as far as the file can fill it; a
    // request beyond the end of the file is read into the caller's own array.
    dac::ReadScratch &scratch = f->scratch();
    if (pending <= scratch.capacity() || pending <= f->storedCount()) {
      buffer = scratch.reserve(pending);
    }
    if (!buffer) return read_into_caller(handle, count, samples);
    int got = 0;
    dac::read_points(handle, count, buffer, got);
    for (int i = 0; i < got; ++i) samples[i] = buffer[i];
    return got;
  } catch (...) {
    return 0;
  }
}

ZEL_API int zel_dac_close(void *handle) {
  try {
    return dac::release(handle);
  } catch (...) {
    return ZEL_DAC_BAD_HANDLE;
  }
}

ZEL_API int zel_dac_data(const char *path, int *npts, double *start_time, double *rate,
                         double *samples) {
  set_out(npts, 0);
  set_out(start_time, 0.0);
  set_out(rate, 0.0);
  return one_shot_read(path, [&](DacFile *f) -> int {
    const Timing t = report_timing(f, npts, start_time, rate);
    if (!(t.interval > 0.0)) return ZEL_DAC_BAD_RATE;
    if (t.count == 0) return ZEL_DAC_NO_POINTS;
    if (!samples) return ZEL_DAC_DATA_READ;
    // After a failed read the batch holds what the file supplied and 0.0
    // beyond; the rest of the signal is 0.0 as well.
    float batch[kBatch];
    for (double *out = samples;;) {
      int got = 0;
      const int status = dac::read_points(f, kBatch, batch, got);
      for (int i = 0; i < got; ++i) out[i] = batch[i];
      out += got;
      if (status != ZEL_DAC_OK) std::fill(out, samples + t.count, 0.0);
      if (status != ZEL_DAC_OK || got == 0) return status;
    }
  });
}

ZEL_API int zel_dac_read(const char *path, int *npts, double *start_time, double *rate,
                         char *date, char *x_label, char *x_note, char *y_label,
                         char *y_note) {
  set_out(npts, 0);
  set_out(start_time, 0.0);
  set_out(rate, 0.0);
  return one_shot_read(path, [&](DacFile *f) -> int {
    dac::get_x_label(f, x_label, DacFile::kLabelLength + 1);
    dac::get_x_note(f, x_note, DacFile::kNoteLength + 1);
    dac::get_y_label(f, y_label, DacFile::kLabelLength + 1);
    dac::get_y_note(f, y_note, DacFile::kNoteLength + 1);
    const Timing t = report_timing(f, npts, start_time, rate);
    if (date && dac::get_detail(f, "Date", date) != ZEL_DAC_OK)
      std::memcpy(date, "Unknown", sizeof "Unknown");
    return t.interval > 0.0 ? ZEL_DAC_OK : ZEL_DAC_BAD_RATE;
  });
}

ZEL_API int zel_dac_write(const char *path, int npts, double start_time, double rate,
                          const double *samples, const char *x_note, const char *y_label,
                          const char *y_note) {
  DacFile *f = nullptr;
  bool created = false; // the file exists by our doing: a failure removes it
  try {
    f = dac::create();
    if (!f) return ZEL_DAC_BAD_HANDLE;
    int status = ZEL_DAC_OK;
    double interval = 0.0;
    if (rate > 0.0) {
      interval = 1.0 / rate;
    } else if (npts == 1) {
      interval = 1.0;
    } else {
      status = ZEL_DAC_BAD_ARGUMENTS;
    }
    if (status == ZEL_DAC_OK && npts > 0 && !samples) status = ZEL_DAC_BAD_ARGUMENTS;
    if (status == ZEL_DAC_OK) {
      status = dac::open(f, path, "wb");
      created = status == ZEL_DAC_OK;
    }
    if (status == ZEL_DAC_OK) status = dac::set_interval(f, interval);
    if (status == ZEL_DAC_OK) {
      dac::set_start_time(f, start_time);
      dac::set_x_label(f, "Time");
      dac::set_x_note(f, x_note);
      dac::set_y_label(f, y_label);
      if (y_note) dac::set_y_note(f, y_note);
      char now[32];
      if (zel::local_time_text(now, sizeof now)) status = dac::add_detail(f, "Date", now);

      float batch[kBatch];
      for (int done = 0; done < npts && status == ZEL_DAC_OK;) {
        const int n = npts - done < kBatch ? npts - done : kBatch;
        for (int i = 0; i < n; ++i) batch[i] = static_cast<float>(samples[done + i]);
        status = dac::write_points(f, n, batch);
        done += n;
      }
    }
    const int released = dac::finish(f);
    f = nullptr;
    const int result = status != ZEL_DAC_OK ? status : released;
    // A file that is not complete never stays to be read as a valid one.
    if (result != ZEL_DAC_OK && created) zel::file_remove(path);
    return result;
  } catch (...) {
    if (f) dac::finish(f);
    if (created) zel::file_remove(path);
    return ZEL_DAC_BAD_HANDLE;
  }
}

} // extern "C"
