// The RPC III reader behind rpc3file_input and the zel_rpc_* reading
// functions: the file, its parsed header, the layout of its data section and
// the buffers the data is read through.
#pragma once

#include <cstdint>

#include "rpc/rpc3_format.h"
#include "zel.h"

struct zel_file;

namespace zel {

// How the data reaches memory, chosen by the budget of init_read: the whole
// data section, or a pair of consecutive groups or frames per channel.
enum class ReadMode { not_read, whole_file, group_pairs, frame_pairs };

class Rpc3Reader {
public:
  explicit Rpc3Reader(const char *name);
  ~Rpc3Reader();
  Rpc3Reader(const Rpc3Reader &) = delete;
  Rpc3Reader &operator=(const Rpc3Reader &) = delete;

  // The calls of rpc3file_input, which documents them.
  bool valid() const { return valid_; }
  int status() const { return status_; }
  void init_read(int budget);
  void info(int &channels, int &points, double &dt, char *date) const;
  int attributes(int channel, char *description, char *units) const;
  const rpc3_header &header() const { return header_; }
  int read_whole(int channel, double *values);
  int read_next(int channel, int count, double *values);
  int read_window(int channel, double time, double *times, double *values, int half_width);
  int read_range(int channel, int first, int count, double *values);
  int samples() const;
  int record(int index, char *keyword, char *value) const;

  // What the library's tests look at.
  ReadMode mode() const { return mode_; }
  bool native_order() const { return native_order_; }
  int64_t buffer_length() const { return buffer_length_; }
  int64_t block_count() const { return block_count_; }
  const rpc3::Layout &layout() const { return layout_; }
  const rpc_channel_timehistory &channel(int c) const { return channels_[c - 1]; }

private:
  // A block of the pair: group or frame index, its first and last point.
  struct Block {
    int64_t index;
    int64_t first_point;
    int64_t last_point;
    bool last; // the file's last block
  };

  void parse_probe_records();
  void parse_fixed_records();
  void parse_channel_records();
  void choose_mode(int budget);
  void allocate_buffers();
  void load_whole_file();
  void move_pair(int64_t point);
  void refuse(int code);
  void release_data();
  int64_t block_points() const;
  Block block_at(int64_t index) const;
  const unsigned char *load_block(int channel, const Block &block);
  void deliver(int channel, int64_t first, int64_t count, double *values);
  void convert(int channel, const unsigned char *stored, int64_t count, double *values) const;

  ReadMode mode_ = ReadMode::not_read;
  zel_file *stream_ = nullptr;
  int64_t header_end_ = 0;
  int64_t file_size_ = 0;
  bool valid_ = false;
  bool native_order_ = true;
  int status_ = 0;
  unsigned char *raw_header_ = nullptr;
  rpc3_header header_{};
  rpc_channel_timehistory *channels_ = nullptr;
  // The layout; channels 0 and no frames for a refused header.
  rpc3::Layout layout_;

  // The pair of blocks (group or frame pairs) and the buffers.
  Block current_{};
  Block next_{};
  int64_t block_count_ = 0;
  unsigned char *values_ = nullptr; // one buffer of buffer_length_ values per channel
  int64_t buffer_length_ = 0;
  int64_t *half_block_ = nullptr; // per channel and buffer half: block held, -1 none
  int64_t *cursors_ = nullptr;
};

} // namespace zel
