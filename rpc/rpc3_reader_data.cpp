// Rpc3Reader: the pair of blocks and data access.
//
// The reader keeps either the whole data section (whole-file mode) or a pair
// of consecutive blocks, groups or frames, per channel (the pair modes). The
// pair (current block, next block) moves by fixed rules as points are asked
// for; those rules decide when a point lies outside the blocks of the file.
// How the pair's values reach memory is the reader's own business: each
// channel loads its half of the pair only when that channel is read, a half
// that already holds a block of the pair is kept when the pair moves, and a
// request is delivered in runs converted in one tight loop.
#include <algorithm>
#include <cstring>
#include <new>

#include "common/byteorder.h"
#include "common/file.h"
#include "common/numeric.h"
#include "rpc/rpc3_reader.h"

namespace zel {

namespace {

// Reads n bytes at offset into dest; what the file does not hold reads as
// zero bytes.
void read_or_zero(zel_file *f, int64_t offset, unsigned char *dest, int64_t n) {
  int64_t got = file_read_at(f, offset, dest, n);
  if (got < n) std::memset(dest + got, 0, static_cast<size_t>(n - got));
}

void to_native(unsigned char *p, int64_t n, int64_t bytes) {
  if (bytes == 2)
    reverse_bytes_2(p, n);
  else
    reverse_bytes_4(p, n);
}

} // namespace

int64_t Rpc3Reader::block_points() const {
  return mode_ == ReadMode::group_pairs ? layout_.group : layout_.frame;
}

Rpc3Reader::Block Rpc3Reader::block_at(int64_t index) const {
  const int64_t first = index * block_points();
  const int64_t points =
      mode_ == ReadMode::group_pairs ? layout_.points_in_group(index) : layout_.frame;
  return {index, first, first + points - 1, index == block_count_ - 1};
}

void Rpc3Reader::allocate_buffers() {
  block_count_ = 0;
  const int64_t points = layout_.points_per_channel();
  if (points < 1) return;
  if (mode_ == ReadMode::group_pairs)
    block_count_ = layout_.groups;
  else if (mode_ == ReadMode::frame_pairs)
    block_count_ = layout_.frames;
  if (block_count_ > 0) {
    current_ = block_at(0);
    next_ = block_at(block_count_ > 1 ? 1 : 0);
  }
  // Buffers: the whole data section per channel, or two blocks per channel.
  buffer_length_ =
      mode_ == ReadMode::whole_file ? layout_.groups * layout_.group : 2 * block_points();
  values_ =
      new unsigned char[static_cast<size_t>(buffer_length_ * layout_.bytes * layout_.channels)];
  half_block_ = new int64_t[2 * static_cast<size_t>(layout_.channels)];
  std::fill(half_block_, half_block_ + 2 * layout_.channels, -1);
}

void Rpc3Reader::load_whole_file() {
  if (layout_.points_per_channel() < 1) return;
  // Read the groups in large pieces and hand each channel its runs; then
  // the file is no longer needed.
  const int64_t group_bytes = layout_.group_bytes(), run = layout_.run_bytes();
  const int64_t per_piece = std::max<int64_t>(1, (int64_t(4) << 20) / group_bytes);
  unsigned char *piece =
      new unsigned char[static_cast<size_t>(std::min(per_piece, layout_.groups) * group_bytes)];
  for (int64_t g0 = 0; g0 < layout_.groups; g0 += per_piece) {
    const int64_t n = std::min(per_piece, layout_.groups - g0), start = layout_.run_position(1, g0);
    read_or_zero(stream_, start, piece, n * group_bytes);
    for (int64_t g = g0; g < g0 + n; ++g)
      for (int64_t c = 1; c <= layout_.channels; ++c)
        std::memcpy(values_ + ((c - 1) * buffer_length_ + g * layout_.group) * layout_.bytes,
                    piece + (layout_.run_position(c, g) - start), static_cast<size_t>(run));
  }
  delete[] piece;
  if (!native_order_) to_native(values_, buffer_length_ * layout_.channels, layout_.bytes);
  file_close(stream_);
  stream_ = nullptr;
}

void Rpc3Reader::move_pair(int64_t point) {
  if (block_count_ < 1) return;
  const int64_t b = point / block_points();
  if (b == 0) {
    current_ = block_at(0);
    next_ = block_at(block_count_ > 1 ? 1 : 0);
  } else if (b >= 1 && b < block_count_) {
    current_ = block_at(b - 1);
    next_ = block_at(b);
    if (point > (next_.first_point + next_.last_point) / 2 && !next_.last) {
      current_ = next_;
      next_ = block_at(b + 1);
    }
  } else {
    status_ = ZEL_RPC_BLOCK_RANGE;
  }
  // Loading is deferred to the channels that read the new pair.
}

const unsigned char *Rpc3Reader::load_block(int channel, const Block &block) {
  const int64_t half = block_points(), bytes = layout_.bytes;
  int64_t *held = half_block_ + 2 * static_cast<int64_t>(channel);
  unsigned char *buffer = values_ + channel * buffer_length_ * bytes;
  for (int h = 0; h < 2; ++h)
    if (held[h] == block.index) return buffer + h * half * bytes;

  // Load into the half that holds no block of the pair.
  const int64_t other = block.index == current_.index ? next_.index : current_.index;
  const int h = held[0] == other ? 1 : 0;
  unsigned char *dest = buffer + h * half * bytes;
  const int64_t offset = mode_ == ReadMode::group_pairs
                             ? layout_.run_position(channel + 1, block.index)
                             : layout_.frame_position(channel + 1, block.index);
  read_or_zero(stream_, offset, dest, half * bytes);
  if (!native_order_) to_native(dest, half, bytes);
  held[h] = block.index;
  return dest;
}

void Rpc3Reader::convert(int channel, const unsigned char *stored, int64_t count,
                         double *values) const {
  if (layout_.bytes == 2) {
    const double scale = channels_[channel].scale;
    for (int64_t i = 0; i < count; ++i) {
      int16_t v;
      std::memcpy(&v, stored + 2 * i, 2);
      values[i] = scale * v;
    }
  } else {
    for (int64_t i = 0; i < count; ++i) {
      float v;
      std::memcpy(&v, stored + 4 * i, 4);
      values[i] = v;
    }
  }
}

void Rpc3Reader::deliver(int channel, int64_t first, int64_t count, double *values) {
  const int64_t n_points = layout_.points_per_channel(), bytes = layout_.bytes;
  int64_t p = first;
  const int64_t end = first + count;
  while (p < end && p < n_points) {
    if (mode_ == ReadMode::whole_file) {
      const int64_t n = std::min(end, n_points) - p;
      convert(channel, values_ + (channel * buffer_length_ + p) * bytes, n, values + (p - first));
      p += n;
      continue;
    }
    // The pair moves only when p lies outside it, or past the middle of a
    // next block that is not the file's last.
    if (p < current_.first_point || p > next_.last_point ||
        (p > (next_.first_point + next_.last_point) / 2 && !next_.last))
      move_pair(p);
    const int64_t limit =
        next_.last ? next_.last_point : (next_.first_point + next_.last_point) / 2;
    const int64_t run_end = std::min({end, limit + 1, n_points});
    for (const Block *blk : {&current_, &next_}) {
      if (blk == &next_ && next_.first_point == current_.first_point) break;
      const int64_t lo = std::max(p, blk->first_point);
      const int64_t hi = std::min(run_end, blk->last_point + 1);
      if (lo >= hi) continue;
      const unsigned char *src = load_block(channel, *blk);
      convert(channel, src + (lo - blk->first_point) * bytes, hi - lo, values + (lo - first));
    }
    p = run_end;
  }
  if (p >= end) return;
  // Points past the last one: no value exists. They are delivered as 0.0;
  // in the pair modes a point whose block lies beyond the file's blocks
  // records status 7, as the block rules would.
  std::fill(values + (p - first), values + count, 0.0);
  if (mode_ != ReadMode::whole_file && block_count_ > 0) {
    move_pair(std::min<int64_t>(p, INT32_MAX));
    if (end - 1 != p) move_pair(std::min<int64_t>(end - 1, INT32_MAX));
  }
}

int Rpc3Reader::read_whole(int channel, double *values) {
  if (channel < 1 || channel > layout_.channels) return ZEL_RPC_CHANNEL_RANGE;
  deliver(channel - 1, 0, layout_.points_per_channel(), values);
  return 0;
}

int Rpc3Reader::read_next(int channel, int count, double *values) {
  if (channel < 1 || channel > layout_.channels) return 0;
  if (!cursors_) {
    cursors_ = new (std::nothrow) int64_t[layout_.channels]();
    if (!cursors_) return 0;
  }
  if (count <= 0) return 0;
  int64_t &cursor = cursors_[channel - 1];
  deliver(channel - 1, cursor, count, values);
  cursor += count;
  return count;
}

int Rpc3Reader::read_range(int channel, int first, int count, double *values) {
  if (channel < 1 || channel > layout_.channels || first < 0 || count < 0 ||
      static_cast<int64_t>(first) + count > layout_.points_per_channel() || (count > 0 && !values))
    return ZEL_RPC_CHANNEL_RANGE;
  if (count > 0) deliver(channel - 1, first, count, values);
  return ZEL_RPC_OK;
}

int Rpc3Reader::read_window(int channel, double time, double *times, double *values,
                            int half_width) {
  if (channel < 1 || channel > layout_.channels) {
    for (int64_t k = 0; k <= 2 * static_cast<int64_t>(half_width); ++k) times[k] = values[k] = 0.0;
    return ZEL_RPC_CHANNEL_RANGE;
  }
  const int64_t w = half_width < 0 ? 0 : half_width;
  const double dt = header_.delta_t;
  // The point at or just before the time (common/numeric.h: a time just
  // below a sample counts as it, far-off times are held, NaN gives 0).
  int64_t c = 0;
  window_centre(time / dt, c);
  const int64_t first = c - w, last = c + w, n = layout_.points_per_channel();
  for (int64_t k = 0; k <= 2 * w; ++k) times[k] = static_cast<double>(first + k) * dt;
  if (n < 1) {
    std::fill(values, values + 2 * w + 1, 0.0);
    return 0;
  }
  // Points inside the data, in increasing order, each once; the ends hold
  // the first and last values read.
  const int64_t lo = std::max<int64_t>(first, 0), hi = std::min<int64_t>(last, n - 1);
  if (lo <= hi) deliver(channel - 1, lo, hi - lo + 1, values + (lo - first));
  if (first < 0) {
    double v0;
    if (lo <= hi)
      v0 = values[lo - first];
    else
      deliver(channel - 1, 0, 1, &v0);
    std::fill(values, values + std::min<int64_t>(-first, 2 * w + 1), v0);
  }
  if (last > n - 1) {
    double vn;
    if (lo <= hi)
      vn = values[hi - first];
    else
      deliver(channel - 1, n - 1, 1, &vn);
    const int64_t from = std::max<int64_t>(n - first, 0);
    std::fill(values + from, values + 2 * w + 1, vn);
  }
  return 0;
}

void Rpc3Reader::release_data() {
  delete[] values_;
  values_ = nullptr;
  delete[] half_block_;
  half_block_ = nullptr;
  delete[] cursors_;
  cursors_ = nullptr;
  buffer_length_ = 0;
  block_count_ = 0;
}

} // namespace zel
