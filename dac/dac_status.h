// The DAC family's status codes and their messages: the one table behind
// zel_dac_geterror (and the tests' expectations, and the check of the
// comments in zel.h).
#pragma once

#include "common/status_table.h"
#include "zel.h"

namespace zel {
namespace dac {

struct Status {
  int code;
  const char *name;    // the enumerator in zel.h
  const char *message; // zel_dac_geterror's text
};

#define ZEL_DAC_STATUS(code, message)                                                              \
 Status { code, #code, message }
constexpr Status kStatuses[] = {
    ZEL_DAC_STATUS(ZEL_DAC_OK, "No error"),
    ZEL_DAC_STATUS(ZEL_DAC_HEADER_READ, "Error reading header record"),
    ZEL_DAC_STATUS(ZEL_DAC_NOT_DAC, "Not a valid dac file"),
    ZEL_DAC_STATUS(ZEL_DAC_HEADER_WRITE, "Error writing header record"),
    ZEL_DAC_STATUS(ZEL_DAC_ALREADY_OPEN, "File is already open in call to Open"),
    ZEL_DAC_STATUS(ZEL_DAC_BAD_ARGUMENTS, "Bad arguments passed to function"),
    ZEL_DAC_STATUS(ZEL_DAC_OPEN_FAILED, "Error opening file"),
    ZEL_DAC_STATUS(ZEL_DAC_DATA_WRITE, "Error writing data"),
    ZEL_DAC_STATUS(ZEL_DAC_NOT_WRITE_MODE, "File not in write mode"),
    ZEL_DAC_STATUS(ZEL_DAC_NOT_READ_MODE, "File not in read mode"),
    ZEL_DAC_STATUS(ZEL_DAC_NO_POINTS, "No data points written to file"),
    ZEL_DAC_STATUS(ZEL_DAC_SEEK, "Error seeking to read/write position"),
    ZEL_DAC_STATUS(ZEL_DAC_DATA_READ, "Error reading data"),
    ZEL_DAC_STATUS(ZEL_DAC_DETAIL_NOT_FOUND, "Extra details keyword not found"),
    ZEL_DAC_STATUS(ZEL_DAC_NOT_OPEN, "Open call has not been made"),
    ZEL_DAC_STATUS(ZEL_DAC_STATS_UNKNOWN, "Stats not yet known"),
    ZEL_DAC_STATUS(ZEL_DAC_DETAILS_READ, "Error reading extra details"),
    ZEL_DAC_STATUS(ZEL_DAC_DETAILS_WRITE, "Error writing extra details"),
    ZEL_DAC_STATUS(ZEL_DAC_BAD_HANDLE, "Invalid handle"),
    ZEL_DAC_STATUS(ZEL_DAC_START_BEYOND_END, "Start point for read is beyond end of signal"),
    ZEL_DAC_STATUS(ZEL_DAC_END_BEFORE_START, "End point for read is before start point"),
    ZEL_DAC_STATUS(ZEL_DAC_BAD_RATE, "Sample rate must be positive"),
    ZEL_DAC_STATUS(ZEL_DAC_BAD_POINT_COUNT, "Number of points must be greater than zero"),
    ZEL_DAC_STATUS(ZEL_DAC_BAD_STATISTICS, "Statistics are not valid"),
};
#undef ZEL_DAC_STATUS

// The message of a code; "Unknown error" for a code outside the table.
constexpr const char *status_message(int code) { return zel::status_message(kStatuses, code); }

} // namespace dac
} // namespace zel
