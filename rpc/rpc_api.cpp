// The zel_rpc_* functions: the plain C face of the RPC III reader and
// writer, with the family's status codes and messages.
//
// Every function is an exception firewall: whatever goes wrong inside
// becomes one of the family's codes (memory exhaustion: 1 where an object
// is being created or opened, 10 where a channel is being stored), and
// nothing is thrown to the caller.
#include <cstring>
#include <memory>
#include <new>

#include "zel.h"

namespace {

const char *const kMessages[] = {
    "No error",
    "RPC file could not be opened.",
    "File is not a valid RPC III time history file.",
    "Invalid handle to RPC file.",
    "RPC file contains no time history data.",
    "Error reading RPC file header record.",
    "RPC file header is not compatible with file size.",
    "RPC file block pointer out of range.",
    "Can not create RPC file. Check path and permissions.",
    "RPC file channel number out of range. Data not processed.",
    "Ran out of memory during RPC file output operation.",
    "Error writing RPC file.",
};
constexpr int kMessageCount = static_cast<int>(sizeof kMessages / sizeof kMessages[0]);
const char *const kUnknown = "Unknown error";

// Runs body; any exception becomes on_failure.
template <typename R, typename Body> R guarded(R on_failure, Body &&body) noexcept {
  try {
    return body();
  } catch (...) {
    return on_failure;
  }
}

rpc3file_input *as_reader(void *handle) { return static_cast<rpc3file_input *>(handle); }
rpc3file_output *as_writer(void *handle) { return static_cast<rpc3file_output *>(handle); }

// Creates a reader and, when its first records were accepted, reads the
// header with a memory budget of 0. Null when the object could not be
// created. A header that could not be read for lack of memory is reported
// as a file that could not be opened: the object then holds no channels.
std::unique_ptr<rpc3file_input> open_reader(const char *name, int &status) {
  std::unique_ptr<rpc3file_input> reader(new (std::nothrow) rpc3file_input(name));
  if (!reader) {
    status = ZEL_RPC_OPEN_FAILED;
    return reader;
  }
  status = reader->getStatus();
  if (status == ZEL_RPC_OK) {
    reader->initRead(0);
    if (reader->getStatus() == ZEL_RPC_OUT_OF_MEMORY) status = ZEL_RPC_OPEN_FAILED;
  }
  return reader;
}

} // namespace

extern "C" {

ZEL_API int zel_rpc_sniff(const char *name) {
  return guarded(0, [&] {
    std::unique_ptr<rpc3file_input> reader(new (std::nothrow) rpc3file_input(name));
    return reader && reader->validFile() ? 1 : 0;
  });
}

ZEL_API void *zel_rpc_open(const char *name, int *channels, int *points, double *dt, char *date,
                           int *status) {
  if (channels) *channels = 0;
  if (points) *points = 0;
  if (dt) *dt = 0.0;
  if (date) date[0] = '\0';
  return guarded<void *>(nullptr, [&]() -> void * {
    int code = ZEL_RPC_OPEN_FAILED;
    if (status) *status = code; // stays so should anything below fail
    std::unique_ptr<rpc3file_input> reader = open_reader(name, code);
    if (status) *status = code;
    if (!reader) return nullptr;
    if (code == ZEL_RPC_OK) {
      int c = 0, p = 0;
      double d = 0.0;
      reader->getInfo(c, p, d, date);
      if (channels) *channels = c;
      if (points) *points = p;
      if (dt) *dt = d;
    }
    return reader.release();
  });
}

ZEL_API int zel_rpc_attributes(void *handle, int channel, char *description, char *units) {
  if (!handle) return ZEL_RPC_BAD_HANDLE;
  return guarded<int>(ZEL_RPC_CHANNEL_RANGE, [&] {
    return as_reader(handle)->getAttributes(channel, description, units);
  });
}

ZEL_API int zel_rpc_getnpts(void *handle, int channel, int count, double *values) {
  if (!handle || !values) return 0;
  return guarded<int>(0, [&] { return as_reader(handle)->getData(channel, count, values); });
}

ZEL_API int zel_rpc_getwindow(void *handle, int channel, double time, int halfWidth,
                              double *times, double *values) {
  if (!handle) return ZEL_RPC_BAD_HANDLE;
  if (!times || !values) return ZEL_RPC_CHANNEL_RANGE;
  return guarded<int>(ZEL_RPC_CHANNEL_RANGE, [&] {
    return as_reader(handle)->getWindow(channel, time, times, values, halfWidth);
  });
}

ZEL_API int zel_rpc_readclose(void *handle) {
  if (!handle) return ZEL_RPC_BAD_HANDLE;
  delete as_reader(handle);
  return ZEL_RPC_OK;
}

ZEL_API int zel_rpc_data(const char *name, int channel, int *points, double *dt, double *values) {
  if (points) *points = 0;
  if (dt) *dt = 0.0;
  return guarded<int>(ZEL_RPC_OPEN_FAILED, [&] {
    int code = ZEL_RPC_OK;
    std::unique_ptr<rpc3file_input> reader = open_reader(name, code);
    if (!reader || code != ZEL_RPC_OK) return code;
    int channels = 0, n = 0;
    double d = 0.0;
    reader->getInfo(channels, n, d, nullptr);
    if (points) *points = n;
    if (dt) *dt = d;
    if (channel < 1 || channel > channels) return static_cast<int>(ZEL_RPC_CHANNEL_RANGE);
    if (n < 1) return static_cast<int>(ZEL_RPC_NO_DATA);
    if (values) reader->getData(channel, values);
    return static_cast<int>(ZEL_RPC_OK);
  });
}

ZEL_API void *zel_rpc_create(const char *name, int channels, int points, double dt, int *status) {
  return guarded<void *>(nullptr, [&]() -> void * {
    if (status) *status = ZEL_RPC_OPEN_FAILED; // stays so should anything below fail
    std::unique_ptr<rpc3file_output> writer(
        new (std::nothrow) rpc3file_output(name, channels, points, dt));
    if (!writer) return nullptr;
    const int code = writer->getStatus();
    if (status) *status = code;
    // A file that could not take its full size is removed with the writer.
    if (code == ZEL_RPC_CREATE_FAILED || code == ZEL_RPC_WRITE_FAILED) return nullptr;
    return writer.release();
  });
}

ZEL_API int zel_rpc_putchannel(void *handle, int channel, int points, const double *values,
                               const char *description, const char *units) {
  if (!handle) return ZEL_RPC_BAD_HANDLE;
  return guarded<int>(ZEL_RPC_OUT_OF_MEMORY, [&] {
    return as_writer(handle)->setChannel(channel, points, values, description, units);
  });
}

ZEL_API int zel_rpc_writeclose(void *handle) {
  if (!handle) return ZEL_RPC_BAD_HANDLE;
  rpc3file_output *writer = as_writer(handle);
  const int code = writer->close();
  delete writer;
  return code;
}

ZEL_API void zel_rpc_geterror(int code, char *buffer) {
  if (!buffer) return;
  const char *message = code >= 0 && code < kMessageCount ? kMessages[code] : kUnknown;
  std::memcpy(buffer, message, std::strlen(message) + 1);
}

} // extern "C"
