// The RPC III writer behind rpc3file_output and zel_rpc_create,
// zel_rpc_putchannel and zel_rpc_writeclose.
#pragma once

#include <cstdint>

#include "rpc/rpc3_format.h"
#include "zel.h"

struct zel_file;

namespace zel {

class Rpc3Writer {
public:
  Rpc3Writer(const char *name, int channels, int points, double dt);
  ~Rpc3Writer();
  Rpc3Writer(const Rpc3Writer &) = delete;
  Rpc3Writer &operator=(const Rpc3Writer &) = delete;

  // The calls of rpc3file_output, which documents them.
  int set_channel(int channel, int points, const double *values, const char *description,
                  const char *units);
  int status() const { return status_; }
  int close();

  const rpc3::Layout &layout() const { return layout_; }

private:
  void plan_layout(int points);
  void fill_header();
  void write_header();
  // values: one channel's points as stored, little-endian, B bytes each.
  bool write_runs(int channel, const unsigned char *values);

  char run_name_[256] = {};      // the name cut to 255 characters, for the header
  char *created_name_ = nullptr; // the whole name the file was created by
  zel_file *stream_ = nullptr;
  int status_ = ZEL_RPC_OK;
  int channel_count_;
  int announced_points_;
  double sample_interval_;
  rpc3_header header_{};
  rpc_channel_timehistory *channels_ = nullptr;
  int64_t bytes_ = 2;
  rpc3::Layout layout_;
};

} // namespace zel
