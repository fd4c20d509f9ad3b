// Test side of RPC III: a file builder (any layout, either value type and byte order, deliberate damage) that places
// every byte by its own arithmetic, a reader of written files' records, and the writer's environment variables cleared
// per test.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <utility>

#include "support/temp_dir.h"
#include "zel.h"

namespace zel_test {

struct Rpc3File {
  int channels = 2, frame = 256, group = 512, frames = 3; // group: a multiple of frame
  bool floating = false, big_endian = false;
  double dt = 0.01;
  std::vector<double> scales; // SCALE.CHAN_n, default 1.0
  // Stored value of point p (from 0) of channel c (from 1); 31111 pads the last group.
  std::function<double(int, int64_t)> stored = [](int c, int64_t p) {
    return double((c * 1000 + p * 7) % 20011 - 10000);
  };
  std::vector<std::pair<std::string, std::string>> records; // after the first three
  std::string format, num_header_blocks, num_params;        // overrides of records 0 to 2
  int64_t size_change = 0;                                  // bytes added or cut at the end

  double scale(int c) const { return c - 1 < int(scales.size()) ? scales[size_t(c - 1)] : 1.0; }
  static std::string real(double v) { // "%20.12E" of the C library: the oracle of every real
    char s[64];
    return std::snprintf(s, sizeof s, "%20.12E", v), s;
  }
  void standard_records() {
    records = {{"DATA_TYPE", floating ? "FLOATING_POINT" : "SHORT_INTEGER"},
               {"DATE", "Sat Dec  5 10:11:12 2026"},
               {"CHANNELS", std::to_string(channels)},
               {"DELTA_T", real(dt)},
               {"FRAMES", std::to_string(frames)},
               {"PTS_PER_FRAME", std::to_string(frame)},
               {"PTS_PER_GROUP", std::to_string(group)}};
    for (int c = 1; c <= channels; ++c) {
      const std::string n = std::to_string(c);
      records.insert(
          records.end(),
          {{"DESC.CHAN_" + n, "channel " + n}, {"UNITS.CHAN_" + n, "unit" + n}, {"SCALE.CHAN_" + n, real(scale(c))}});
    }
  }
  void set(const std::string &k, const std::string &v) {
    auto r = std::find_if(records.begin(), records.end(), [&](auto &r) { return r.first == k; });
    r == records.end() ? records.push_back({k, v}) : void(r->second = v);
  }
  std::vector<unsigned char> header_image() const {
    const int64_t used = 3 + int64_t(records.size()), blocks = (used + 3) / 4;
    std::vector<unsigned char> h(size_t(blocks * 512), 0);
    auto put = [&](size_t r, const std::string &k, const std::string &v) {
      std::memcpy(&h[r * 128], k.data(), std::min<size_t>(k.size(), 32));
      std::memcpy(&h[r * 128 + 32], v.data(), std::min<size_t>(v.size(), 96));
    };
    put(0, "FORMAT", !format.empty() ? format : big_endian ? "BINARY_IEEE_BIG_END" : "BINARY_IEEE_LITTLE_END");
    put(1, "NUM_HEADER_BLOCKS", num_header_blocks.empty() ? std::to_string(blocks) : num_header_blocks);
    put(2, "NUM_PARAMS", num_params.empty() ? std::to_string(used) : num_params);
    for (size_t i = 0; i < records.size(); ++i) put(3 + i, records[i].first, records[i].second);
    return h;
  }
  std::vector<unsigned char> image() const {
    std::vector<unsigned char> out = header_image();
    const int64_t n = int64_t(std::max(frames, 0)) * frame, groups = (n + group - 1) / group;
    const size_t bytes = floating ? 4 : 2;
    for (int64_t p0 = 0; p0 < groups * group; p0 += group)
      for (int c = 1; c <= channels; ++c)
        for (int64_t p = p0; p < p0 + group; ++p) {
          const double v = p < n ? stored(c, p) : 31111;
          const float f = float(v);
          const int16_t s = int16_t(v);
          unsigned char b[4];
          std::memcpy(b, floating ? static_cast<const void *>(&f) : &s, bytes);
          if (big_endian) std::reverse(b, b + bytes);
          out.insert(out.end(), b, b + bytes);
        }
    out.resize(size_t(std::max<int64_t>(0, int64_t(out.size()) + size_change)), 0x5a);
    return out;
  }
  // Writes the file, with the standard records unless the test filled them.
  std::string write(const std::string &path) {
    if (records.empty()) standard_records();
    write_file(path, image());
    return path;
  }
  // The value a reader must deliver for point p of channel c.
  double expected(int c, int64_t p) const {
    return floating ? double(float(stored(c, p))) : scale(c) * int16_t(stored(c, p));
  }
};

// A written file's bytes and its 128-byte parameter records.
struct FileImage {
  std::vector<unsigned char> bytes;
  explicit FileImage(const std::string &path) : bytes(read_file<Bytes>(path)) {}
  std::string field(size_t at, size_t n) const { return std::string(&bytes.at(at), &bytes.at(at) + n).c_str(); }
  std::string keyword(int r) const { return field(size_t(r) * 128, 32); }
  std::string value(int r) const { return field(size_t(r) * 128 + 32, 96); }
  bool zero(int64_t from, int64_t to) const {
    return std::all_of(bytes.begin() + from, bytes.begin() + to, [](unsigned char b) { return b == 0; });
  }
  template <typename T> T at(int64_t pos) const { // the file and this host are little-endian
    T v;
    return std::memcpy(&v, &bytes.at(size_t(pos) + sizeof v - 1) + 1 - sizeof v, sizeof v), v;
  }
};

// Clears the writer's three environment variables before and after a test.
struct WriterEnvironment {
  static constexpr const char *kFramesPerGroup = "QEN_ZEL_FRAMESPERGROUP", *kFloat = "QEN_KZEL_RPC_FLOAT",
                              *kRepeats = "QEN_ZEL_NUM_REPEATS";
  WriterEnvironment() { clear(); }
  ~WriterEnvironment() { clear(); }
  static void set(const char *name, const char *v) { v ? ::setenv(name, v, 1) : ::unsetenv(name); }
  static void clear() { set(kFramesPerGroup, nullptr), set(kFloat, nullptr), set(kRepeats, nullptr); }
};

} // namespace zel_test
