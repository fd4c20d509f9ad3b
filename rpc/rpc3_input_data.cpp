// rpc3file_input: block map and data access.
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
#include <cmath>
#include <cstring>
#include <new>

#include "common/byteorder.h"
#include "common/file.h"
#include "rpc/rpc3_format.h"
#include "zel.h"

using namespace zel;

namespace {

// Reads n bytes at offset into dest; what the file does not hold reads as
// zero bytes.
void read_or_zero(zel_file *f, int64_t offset, unsigned char *dest, int64_t n) {
  int64_t got = file_read_at(f, offset, dest, n);
  if (got < n) std::memset(dest + got, 0, static_cast<size_t>(n - got));
}

void to_native(unsigned char *p, int64_t n, int bytes) {
  if (bytes == 2) reverse_bytes_2(p, n);
  else reverse_bytes_4(p, n);
}

} // namespace

rpc3_block rpc3file_input::block_at(int index) const {
  rpc3_block b{};
  const int64_t g = header.pts_per_group, f = header.pts_per_frame;
  if (readmode == 2) {
    b.first_point = static_cast<int>(index * g);
    b.last_point = index == number_of_blocks - 1 ? points_per_channel - 1
                                                 : static_cast<int>((index + 1) * g - 1);
    b.byte_position = data_start + index * static_cast<int64_t>(num_channels) * g * bytes_per_value;
  } else {
    const int64_t k = frames_per_group, grp = index / k, fr = index % k;
    b.first_point = static_cast<int>(grp * g + fr * f);
    b.last_point = static_cast<int>(grp * g + (fr + 1) * f - 1);
    b.byte_position = data_start + grp * num_channels * g * bytes_per_value + fr * f * bytes_per_value;
  }
  b.last = index == number_of_blocks - 1;
  return b;
}

void rpc3file_input::setblocks() {
  number_of_blocks = 0;
  if (points_per_channel < 1) return;
  if (readmode == 2) number_of_blocks = groups;
  else if (readmode == 3) number_of_blocks = header.frames;
  if (number_of_blocks > 0) {
    current_block = block_at(0);
    next_block = block_at(number_of_blocks > 1 ? 1 : 0);
  }
  // Buffers: the whole data section per channel, or two blocks per channel.
  if (readmode == 1)
    buffer_length = static_cast<int64_t>(groups) * header.pts_per_group;
  else if (readmode == 2)
    buffer_length = 2 * static_cast<int64_t>(header.pts_per_group);
  else
    buffer_length = 2 * static_cast<int64_t>(header.pts_per_frame);
  value_storage = new unsigned char[static_cast<size_t>(buffer_length * bytes_per_value * num_channels)];
  half_block = new int[2 * static_cast<size_t>(num_channels)];
  std::fill(half_block, half_block + 2 * num_channels, -1);
}

void rpc3file_input::setblockdata() {
  if (points_per_channel < 1 || readmode != 1) return; // the pair modes load on demand
  // Whole-file mode: read the groups in large pieces and hand each channel
  // its runs; then the file is no longer needed.
  const int64_t run = static_cast<int64_t>(header.pts_per_group) * bytes_per_value;
  const int64_t group_bytes = run * num_channels;
  const int64_t per_piece = std::max<int64_t>(1, (int64_t(4) << 20) / group_bytes);
  unsigned char *piece = new unsigned char[static_cast<size_t>(std::min<int64_t>(per_piece, groups) * group_bytes)];
  for (int64_t g0 = 0; g0 < groups; g0 += per_piece) {
    const int64_t n = std::min<int64_t>(per_piece, groups - g0);
    read_or_zero(stream, data_start + g0 * group_bytes, piece, n * group_bytes);
    for (int64_t g = 0; g < n; ++g)
      for (int64_t c = 0; c < num_channels; ++c)
        std::memcpy(value_storage + (c * buffer_length + (g0 + g) * header.pts_per_group) * bytes_per_value,
                    piece + g * group_bytes + c * run, static_cast<size_t>(run));
  }
  delete[] piece;
  if (!native_order)
    to_native(value_storage, buffer_length * num_channels, bytes_per_value);
  file_close(stream);
  stream = nullptr;
  open_flag = false;
}

void rpc3file_input::initblock(int point) {
  if (readmode == 1) {
    setblockdata();
    return;
  }
  if (number_of_blocks < 1) return;
  const int64_t half = buffer_length / 2;
  const int64_t b = point / half;
  if (b == 0) {
    current_block = block_at(0);
    next_block = block_at(number_of_blocks > 1 ? 1 : 0);
  } else if (b >= 1 && b < number_of_blocks) {
    current_block = block_at(static_cast<int>(b - 1));
    next_block = block_at(static_cast<int>(b));
    if (point > (next_block.first_point + next_block.last_point) / 2 && !next_block.last) {
      current_block = next_block;
      next_block = block_at(static_cast<int>(b + 1));
    }
  } else {
    status = ZEL_RPC_BLOCK_RANGE;
  }
  // Loading is deferred to the channels that read the new pair.
}

const unsigned char *rpc3file_input::block_values(int channel, const rpc3_block &block) {
  const int64_t half = buffer_length / 2;
  const int index = readmode == 2 ? block.first_point / header.pts_per_group
                                  : block.first_point / header.pts_per_frame;
  int *held = half_block + 2 * static_cast<int64_t>(channel);
  unsigned char *buffer = value_storage + static_cast<int64_t>(channel) * buffer_length * bytes_per_value;
  for (int h = 0; h < 2; ++h)
    if (held[h] == index) return buffer + h * half * bytes_per_value;

  // Load into the half that holds no block of the pair.
  const int cur = readmode == 2 ? current_block.first_point / header.pts_per_group
                                : current_block.first_point / header.pts_per_frame;
  const int nxt = readmode == 2 ? next_block.first_point / header.pts_per_group
                                : next_block.first_point / header.pts_per_frame;
  const int other = index == cur ? nxt : cur;
  const int h = held[0] == other ? 1 : 0;
  unsigned char *dest = buffer + h * half * bytes_per_value;
  const int64_t offset = block.byte_position +
                         static_cast<int64_t>(channel) * header.pts_per_group * bytes_per_value;
  read_or_zero(stream, offset, dest, half * bytes_per_value);
  if (!native_order) to_native(dest, half, bytes_per_value);
  held[h] = index;
  return dest;
}

void rpc3file_input::convert(int channel, const unsigned char *stored, int64_t count,
                             double *values) const {
  if (bytes_per_value == 2) {
    const double scale = channel_records[channel].scale;
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

void rpc3file_input::deliver(int channel, int64_t first, int64_t count, double *values) {
  const int64_t n_points = points_per_channel;
  int64_t p = first;
  const int64_t end = first + count;
  while (p < end && p < n_points) {
    if (readmode == 1) {
      const int64_t n = std::min(end, n_points) - p;
      convert(channel, value_storage + (channel * buffer_length + p) * bytes_per_value, n,
              values + (p - first));
      p += n;
      continue;
    }
    // The pair moves only when p lies outside it, or past the middle of a
    // next block that is not the file's last.
    const int64_t mid = (static_cast<int64_t>(next_block.first_point) + next_block.last_point) / 2;
    if (p < current_block.first_point || p > next_block.last_point || (p > mid && !next_block.last))
      initblock(static_cast<int>(p));
    const int64_t mid2 = (static_cast<int64_t>(next_block.first_point) + next_block.last_point) / 2;
    const int64_t limit = next_block.last ? next_block.last_point : mid2;
    const int64_t run_end = std::min({end, limit + 1, n_points});
    for (const rpc3_block *blk : {&current_block, &next_block}) {
      if (blk == &next_block && next_block.first_point == current_block.first_point) break;
      const int64_t lo = std::max<int64_t>(p, blk->first_point);
      const int64_t hi = std::min<int64_t>(run_end, static_cast<int64_t>(blk->last_point) + 1);
      if (lo >= hi) continue;
      const unsigned char *src = block_values(channel, *blk);
      convert(channel, src + (lo - blk->first_point) * bytes_per_value, hi - lo, values + (lo - first));
    }
    p = run_end;
  }
  if (p >= end) return;
  // Points past the last one: no value exists. They are delivered as 0.0;
  // in the pair modes a point whose block lies beyond the file's blocks
  // records status 7, as the block rules would.
  std::fill(values + (p - first), values + count, 0.0);
  if (readmode != 1 && number_of_blocks > 0) {
    initblock(static_cast<int>(std::min<int64_t>(p, INT32_MAX)));
    if (end - 1 != p) initblock(static_cast<int>(std::min<int64_t>(end - 1, INT32_MAX)));
  }
}

int rpc3file_input::getData(int channel, double *values) {
  if (channel < 1 || channel > num_channels) return ZEL_RPC_CHANNEL_RANGE;
  deliver(channel - 1, 0, points_per_channel, values);
  return 0;
}

int rpc3file_input::getData(int channel, int count, double *values) {
  if (channel < 1 || channel > num_channels) return 0;
  if (!read_cursors) {
    read_cursors = new (std::nothrow) int64_t[num_channels]();
    if (!read_cursors) return 0;
  }
  if (count <= 0) return 0;
  int64_t &cursor = read_cursors[channel - 1];
  deliver(channel - 1, cursor, count, values);
  cursor += count;
  return count;
}

int rpc3file_input::getWindow(int channel, double time, double *times, double *values,
                              int halfWidth) {
  if (channel < 1 || channel > num_channels) {
    for (int64_t k = 0; k <= 2 * static_cast<int64_t>(halfWidth); ++k) times[k] = values[k] = 0.0;
    return ZEL_RPC_CHANNEL_RANGE;
  }
  const int64_t w = halfWidth < 0 ? 0 : halfWidth;
  const double dt = header.delta_t;
  // The point at or just before the time; a time within 1e-8 of a sample
  // interval below a sample counts as that sample. Far-off or undefined
  // times are held to a range where the arithmetic stays exact.
  double centre = std::floor(time / dt + 1e-8);
  if (std::isnan(centre)) centre = 0.0;
  centre = std::min(std::max(centre, -4.0e15), 4.0e15);
  const int64_t c = static_cast<int64_t>(centre);
  const int64_t first = c - w, last = c + w, n = points_per_channel;
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
    if (lo <= hi) v0 = values[lo - first];
    else deliver(channel - 1, 0, 1, &v0);
    std::fill(values, values + std::min<int64_t>(-first, 2 * w + 1), v0);
  }
  if (last > n - 1) {
    double vn;
    if (lo <= hi) vn = values[hi - first];
    else deliver(channel - 1, n - 1, 1, &vn);
    const int64_t from = std::max<int64_t>(n - first, 0);
    std::fill(values + from, values + 2 * w + 1, vn);
  }
  return 0;
}

void rpc3file_input::release_data() {
  delete[] value_storage;
  value_storage = nullptr;
  delete[] half_block;
  half_block = nullptr;
  delete[] read_cursors;
  read_cursors = nullptr;
  buffer_length = 0;
  number_of_blocks = 0;
}
