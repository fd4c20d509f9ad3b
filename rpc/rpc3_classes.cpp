// The exported RPC III classes: each holds one implementation object
// (rpc/rpc3_reader.h, rpc/rpc3_writer.h) and hands every call to it. An
// object whose implementation could not be allocated answers as a file that
// could not be opened (reader) or as a writer out of memory.
#include <new>

#include "rpc/rpc3_reader.h"
#include "rpc/rpc3_writer.h"
#include "zel.h"

rpc_channel_timehistory::rpc_channel_timehistory()
    : description{}, units{}, map(0), scale(1.0), lower_limit(-1.0), upper_limit(1.0) {}

namespace {
const rpc3_header kNoHeader{};
} // namespace

rpc3file_input::rpc3file_input(const char *name)
    : impl_(new (std::nothrow) zel::Rpc3Reader(name)) {}
rpc3file_input::~rpc3file_input() { delete impl_; }
bool rpc3file_input::validFile() { return impl_ && impl_->valid(); }
int rpc3file_input::getStatus() { return impl_ ? impl_->status() : ZEL_RPC_OPEN_FAILED; }
void rpc3file_input::initRead(int budget) {
  if (impl_) impl_->init_read(budget);
}
int rpc3file_input::getInfo(int &channels, int &points, double &dt, char *date) {
  channels = 0, points = 0, dt = 0.0;
  if (date) date[0] = '\0';
  if (impl_) impl_->info(channels, points, dt, date);
  return 0;
}
int rpc3file_input::getAttributes(int channel, char *description, char *units) {
  return impl_ ? impl_->attributes(channel, description, units) : ZEL_RPC_CHANNEL_RANGE;
}
const rpc3_header &rpc3file_input::getHeader() const { return impl_ ? impl_->header() : kNoHeader; }
int rpc3file_input::getData(int channel, double *values) {
  return impl_ ? impl_->read_whole(channel, values) : ZEL_RPC_CHANNEL_RANGE;
}
int rpc3file_input::getData(int channel, int count, double *values) {
  return impl_ ? impl_->read_next(channel, count, values) : 0;
}
int rpc3file_input::getWindow(int channel, double time, double *times, double *values,
                              int halfWidth) {
  if (impl_) return impl_->read_window(channel, time, times, values, halfWidth);
  for (long long k = 0; k <= 2 * static_cast<long long>(halfWidth); ++k) times[k] = values[k] = 0.0;
  return ZEL_RPC_CHANNEL_RANGE;
}

int rpc3file_input::getRange(int channel, int first, int count, double *values) {
  return impl_ ? impl_->read_range(channel, first, count, values) : ZEL_RPC_CHANNEL_RANGE;
}
int rpc3file_input::getSamples() { return impl_ ? impl_->samples() : 0; }
int rpc3file_input::getRecord(int index, char *keyword, char *value) {
  return impl_ ? impl_->record(index, keyword, value) : ZEL_RPC_CHANNEL_RANGE;
}

rpc3file_output::rpc3file_output(const char *name, int channels, int points, double dt)
    : impl_(new (std::nothrow) zel::Rpc3Writer(name, channels, points, dt)) {}
rpc3file_output::rpc3file_output(const char *name, int channels, int points, double dt,
                                 int value_type, int conversion, int extra_records)
    : impl_(nullptr) {
  const zel::WriteOptions options{value_type, conversion, extra_records};
  impl_ = new (std::nothrow) zel::Rpc3Writer(name, channels, points, dt, &options);
}
rpc3file_output::~rpc3file_output() { delete impl_; }
int rpc3file_output::setChannel(int channel, int points, const double *values,
                                const char *description, const char *units) {
  return impl_ ? impl_->set_channel(channel, points, values, description, units)
               : ZEL_RPC_OUT_OF_MEMORY;
}
int rpc3file_output::getStatus() { return impl_ ? impl_->status() : ZEL_RPC_OUT_OF_MEMORY; }
int rpc3file_output::putRecord(const char *keyword, const char *value) {
  return impl_ ? impl_->put_record(keyword, value) : ZEL_RPC_OUT_OF_MEMORY;
}
int rpc3file_output::close() { return impl_ ? impl_->close() : ZEL_RPC_OK; }
