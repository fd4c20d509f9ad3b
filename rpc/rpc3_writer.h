// The RPC III writer behind rpc3file_output and zel_rpc_create,
// zel_rpc_putchannel and zel_rpc_writeclose.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "rpc/rpc3_format.h"
#include "zel.h"

struct zel_file;

namespace zel {

// What a file is written as, chosen by the caller (zel_rpc_create_as) rather
// than by the environment: ZEL_RPC_INT16 or ZEL_RPC_FLOAT32, ZEL_RPC_TRUNCATE
// or ZEL_RPC_ROUND_NEAREST, and room for extra header records.
struct WriteOptions {
  int value_type = ZEL_RPC_INT16;
  int conversion = ZEL_RPC_TRUNCATE;
  int extra_records = 0;
};

class Rpc3Writer {
public:
  // Without options the value type comes from QEN_KZEL_RPC_FLOAT, 16-bit
  // values are truncated and there is no room for extra records.
  Rpc3Writer(const char *name, int channels, int points, double dt,
             const WriteOptions *options = nullptr);
  ~Rpc3Writer();
  Rpc3Writer(const Rpc3Writer &) = delete;
  Rpc3Writer &operator=(const Rpc3Writer &) = delete;

  // The calls of rpc3file_output, which documents them.
  int set_channel(int channel, int points, const double *values, const char *description,
                  const char *units);
  int status() const { return status_; }
  int close();
  int put_record(const char *keyword, const char *value);

  const rpc3::Layout &layout() const { return layout_; }

private:
  void plan_layout(int points, const WriteOptions *options);
  void fill_header();
  void write_header();
  // values: one channel's points as stored, little-endian, B bytes each.
  bool write_runs(int channel, const unsigned char *values);
  // Fills header record r (from 0) into 128 zeroed bytes.
  void format_record(int64_t r, unsigned char *record) const;

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
  bool round_nearest_ = false;
  int64_t extra_capacity_ = 0;                              // records reserved
  std::vector<std::pair<std::string, std::string>> extras_; // keyword, value
  rpc3::Layout layout_;
};

} // namespace zel
