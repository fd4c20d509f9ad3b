// zel_dac_getwindow: 2 h + 1 evenly spaced positions around a time, values
// held at the ends of the signal.
#include "zel.h"

#include "common/guard.h"
#include "common/numeric.h"
#include "dac/dac_file.h"
#include "dac/dac_format.h"

#include <cmath>
#include <cstdint>

namespace dac = zel::dac;

namespace {

// Samples s .. e (1-based) to read and the output position f that receives
// sample s, for the centre index c (0-based), half-width h and n samples.
struct WindowRead {
  int64_t s, e, f;
};

WindowRead choose_read(int64_t c, int64_t h, int64_t n) {
  if (c >= h) {
    if (c + h < n) return {c - h + 1, c + h + 1, 0}; // whole window inside
    if (c - h < n) return {c - h + 1, n, 0};         // runs past the end
    return {n, n, 0};                                // lies after the end
  }
  if (c + h >= n) return {1, n, h - c}; // runs past both ends
  if (c + h < 1) return {1, 1, 2 * h};  // lies before the start
  return {1, c + h + 1, h - c};         // runs past the start
}

} // namespace

extern "C" ZEL_API int zel_dac_getwindow(void *handle, int npts, double start_time, double interval,
                                         double centre_time, int half_width, double *times,
                                         double *values) {
  return zel::guarded(int{ZEL_DAC_BAD_HANDLE}, [&]() -> int {
    if (half_width < 0 || !times || !values) return ZEL_DAC_BAD_ARGUMENTS;
    // Without a positive interval and at least one sample there is no
    // signal to place a window in.
    if (!(interval > 0.0) || npts < 1) return ZEL_DAC_BAD_ARGUMENTS;
    const double position = (centre_time - start_time) / interval;
    int64_t c = 0; // held within +/- kFarIndex: the same samples as any farther centre
    if (!zel::window_centre(position, c)) return ZEL_DAC_BAD_ARGUMENTS;
    // The times run from the centre itself, also where c is held: out there
    // every double is within half a unit of an integer, so the centre is
    // floor(position).
    const double centre = std::fabs(static_cast<double>(c)) < zel::kFarIndex
                              ? static_cast<double>(c)
                              : std::floor(position);
    const int64_t h = half_width;
    const int64_t width = 2 * h + 1;

    // A caller's count beyond the file's is cut to the file's: the window
    // then holds the file's last sample rather than reading past it.
    int64_t n = npts;
    zel::DacFile *f = zel::as_file(handle);
    if (f) {
      const int stored = f->point_count();
      if (stored >= 1 && stored < n) n = stored;
    }

    for (int64_t i = 0; i < width; ++i) {
      times[i] = (centre + static_cast<double>(i - h)) * interval + start_time;
    }

    const WindowRead r = choose_read(c, h, n);
    const int64_t count = r.e - r.s + 1;
    double *first = values + r.f;
    int status =
        f ? f->set_read_range(static_cast<int>(r.s), static_cast<int>(r.e)) : ZEL_DAC_BAD_HANDLE;
    if (status == ZEL_DAC_OK) {
      // One read of the whole run, straight into the output array: the
      // floats take the first half of the run's bytes and are widened in
      // place, so windows of any width need no buffer of their own.
      int got = 0;
      status = f->read_point_bytes(static_cast<int>(count),
                                   reinterpret_cast<unsigned char *>(first), got);
    }
    if (status != ZEL_DAC_OK) {
      for (int64_t i = 0; i < width; ++i) values[i] = 0.0;
      for (int64_t i = r.f; i < r.f + count; ++i) times[i] = 0.0;
      return status;
    }
    dac::widen_stored_in_place(first, count);
    for (int64_t i = 0; i < r.f; ++i) values[i] = values[r.f];
    const int64_t end = r.f + count - 1;
    for (int64_t i = end + 1; i < width; ++i) values[i] = values[end];
    return ZEL_DAC_OK;
  });
}
