// The zel_rpc_* functions: the plain C face of the RPC III reader and
// writer, with the family's status codes and messages (rpc/rpc_status.h).
//
// Every function is an exception firewall (common/guard.h): whatever goes
// wrong inside becomes one of the family's codes (memory exhaustion: 1
// where an object is being created or opened, 10 where a channel is being
// stored), and nothing is thrown to the caller.
#include <cstring>
#include <memory>
#include <new>

#include "common/guard.h"
#include "rpc/rpc3_reader.h"
#include "rpc/rpc3_writer.h"
#include "rpc/rpc_status.h"
#include "zel.h"

using zel::guarded;
using zel::Rpc3Reader;
using zel::Rpc3Writer;

namespace {

Rpc3Reader *as_reader(void *handle) { return static_cast<Rpc3Reader *>(handle); }
Rpc3Writer *as_writer(void *handle) { return static_cast<Rpc3Writer *>(handle); }

// Creates a reader and, when its first records were accepted, reads the
// header with a memory budget of 0. Null when the object could not be
// created. A header that could not be read for lack of memory is reported
// as a file that could not be opened: the object then holds no channels.
std::unique_ptr<Rpc3Reader> open_reader(const char *name, int &status) {
  std::unique_ptr<Rpc3Reader> reader(new (std::nothrow) Rpc3Reader(name));
  if (!reader) {
    status = ZEL_RPC_OPEN_FAILED;
    return reader;
  }
  status = reader->status();
  if (status == ZEL_RPC_OK) {
    reader->init_read(0);
    if (reader->status() == ZEL_RPC_OUT_OF_MEMORY) status = ZEL_RPC_OPEN_FAILED;
  }
  return reader;
}

// Creates a writer; null when no file was left to write to (the writer
// could not be allocated, the file could not be created or sized).
void *create_writer(const char *name, int channels, int points, double dt,
                    const zel::WriteOptions *options, int *status) {
  if (status) *status = ZEL_RPC_OPEN_FAILED; // stays so should anything below fail
  std::unique_ptr<Rpc3Writer> writer(new (std::nothrow)
                                         Rpc3Writer(name, channels, points, dt, options));
  if (!writer) return nullptr;
  const int code = writer->status();
  if (status) *status = code;
  // A file that could not take its full size is removed with the writer.
  if (code == ZEL_RPC_CREATE_FAILED || code == ZEL_RPC_WRITE_FAILED) return nullptr;
  return writer.release();
}

} // namespace

extern "C" {

ZEL_API int zel_rpc_sniff(const char *name) {
  return guarded(0, [&] {
    std::unique_ptr<Rpc3Reader> reader(new (std::nothrow) Rpc3Reader(name));
    return reader && reader->valid() ? 1 : 0;
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
    std::unique_ptr<Rpc3Reader> reader = open_reader(name, code);
    if (status) *status = code;
    if (!reader) return nullptr;
    if (code == ZEL_RPC_OK) {
      int c = 0, p = 0;
      double d = 0.0;
      reader->info(c, p, d, date);
      if (channels) *channels = c;
      if (points) *points = p;
      if (dt) *dt = d;
    }
    return reader.release();
  });
}

ZEL_API int zel_rpc_attributes(void *handle, int channel, char *description, char *units) {
  if (!handle) return ZEL_RPC_BAD_HANDLE;
  return guarded<int>(ZEL_RPC_CHANNEL_RANGE,
                      [&] { return as_reader(handle)->attributes(channel, description, units); });
}

ZEL_API int zel_rpc_getnpts(void *handle, int channel, int count, double *values) {
  if (!handle || !values) return 0;
  return guarded<int>(0, [&] { return as_reader(handle)->read_next(channel, count, values); });
}

ZEL_API int zel_rpc_getwindow(void *handle, int channel, double time, int halfWidth, double *times,
                              double *values) {
  if (!handle) return ZEL_RPC_BAD_HANDLE;
  if (!times || !values) return ZEL_RPC_CHANNEL_RANGE;
  return guarded<int>(ZEL_RPC_CHANNEL_RANGE, [&] {
    return as_reader(handle)->read_window(channel, time, times, values, halfWidth);
  });
}

ZEL_API int zel_rpc_getrange(void *handle, int channel, int first, int count, double *values) {
  if (!handle) return ZEL_RPC_BAD_HANDLE;
  return guarded<int>(ZEL_RPC_CHANNEL_RANGE,
                      [&] { return as_reader(handle)->read_range(channel, first, count, values); });
}

ZEL_API int zel_rpc_samples(void *handle) { return handle ? as_reader(handle)->samples() : 0; }

ZEL_API int zel_rpc_record(void *handle, int index, char *keyword, char *value) {
  if (!handle) return ZEL_RPC_BAD_HANDLE;
  return as_reader(handle)->record(index, keyword, value);
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
    std::unique_ptr<Rpc3Reader> reader = open_reader(name, code);
    if (!reader || code != ZEL_RPC_OK) return code;
    int channels = 0, n = 0;
    double d = 0.0;
    reader->info(channels, n, d, nullptr);
    if (points) *points = n;
    if (dt) *dt = d;
    if (channel < 1 || channel > channels) return static_cast<int>(ZEL_RPC_CHANNEL_RANGE);
    if (n < 1) return static_cast<int>(ZEL_RPC_NO_DATA);
    if (values) reader->read_whole(channel, values);
    return static_cast<int>(ZEL_RPC_OK);
  });
}

ZEL_API void *zel_rpc_create(const char *name, int channels, int points, double dt, int *status) {
  return guarded<void *>(
      nullptr, [&] { return create_writer(name, channels, points, dt, nullptr, status); });
}

ZEL_API void *zel_rpc_create_as(const char *name, int channels, int points, double dt,
                                int value_type, int conversion, int extra_records, int *status) {
  return guarded<void *>(nullptr, [&] {
    const zel::WriteOptions options{value_type, conversion, extra_records};
    return create_writer(name, channels, points, dt, &options, status);
  });
}

ZEL_API int zel_rpc_putrecord(void *handle, const char *keyword, const char *value) {
  if (!handle) return ZEL_RPC_BAD_HANDLE;
  return guarded<int>(ZEL_RPC_OUT_OF_MEMORY,
                      [&] { return as_writer(handle)->put_record(keyword, value); });
}

ZEL_API int zel_rpc_putchannel(void *handle, int channel, int points, const double *values,
                               const char *description, const char *units) {
  if (!handle) return ZEL_RPC_BAD_HANDLE;
  return guarded<int>(ZEL_RPC_OUT_OF_MEMORY, [&] {
    return as_writer(handle)->set_channel(channel, points, values, description, units);
  });
}

ZEL_API int zel_rpc_writeclose(void *handle) {
  if (!handle) return ZEL_RPC_BAD_HANDLE;
  Rpc3Writer *writer = as_writer(handle);
  const int code = writer->close();
  delete writer;
  return code;
}

ZEL_API void zel_rpc_geterror(int code, char *buffer) {
  if (!buffer) return;
  const char *message = zel::rpc3::status_message(code);
  std::memcpy(buffer, message, std::strlen(message) + 1);
}

} // extern "C"
