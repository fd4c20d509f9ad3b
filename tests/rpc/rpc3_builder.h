// Test-side RPC III file builder: any layout, either value type and byte
// order, and deliberate damage (records edited or dropped, bytes cut or
// added). Stored values are chosen by a function of channel and point so
// that tests can predict every delivered value.
#pragma once

#include <cstdint>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace zel_test {

struct Rpc3File {
  int channels = 2;
  int frame = 256;        // PTS_PER_FRAME as written (0: record left out)
  int group = 512;        // PTS_PER_GROUP
  int frames = 3;         // FRAMES
  bool floating = false;  // DATA_TYPE "FLOATING_POINT"
  bool big_endian = false;
  double dt = 0.01;
  std::vector<double> scales;  // SCALE.CHAN_n, default 1.0

  // Stored value of point p (from 0) of channel c (from 1); the padding of
  // the last group is written as `padding`.
  std::function<double(int c, int64_t p)> stored = [](int c, int64_t p) {
    return static_cast<double>((c * 1000 + p * 7) % 20011 - 10000);
  };
  double padding = 31111;

  // Records after the first three, as (keyword, value). Filled by
  // standard_records(); tests edit, drop or add records before build().
  std::vector<std::pair<std::string, std::string>> records;
  // Overrides of records 0 to 2; empty means the standard text.
  std::string format;  // default: the FORMAT value of the byte order
  std::string num_header_blocks;  // default: enough blocks for the records
  std::string num_params;         // default: the number of records
  int64_t size_change = 0;        // bytes added (> 0) or cut (< 0) at the end

  int frames_per_group() const { return frame > 0 && group / frame > 0 ? group / frame : 1; }
  int eff_frame() const { return frame > 0 ? frame : group; }
  int eff_group() const { return frame > 0 && group < frame ? frame : group; }
  int64_t groups() const { return frames < 1 ? 0 : (frames - 1) / frames_per_group() + 1; }
  int64_t points() const { return frames < 1 ? 0 : int64_t(frames) * eff_frame(); }
  int bytes() const { return floating ? 4 : 2; }

  void standard_records() {
    records.clear();
    records.push_back({"DATA_TYPE", floating ? "FLOATING_POINT" : "SHORT_INTEGER"});
    records.push_back({"DATE", "Sat Dec  5 10:11:12 2026"});
    records.push_back({"CHANNELS", std::to_string(channels)});
    char dts[64];
    std::snprintf(dts, sizeof dts, "%20.12E", dt);
    records.push_back({"DELTA_T", dts});
    records.push_back({"FRAMES", std::to_string(frames)});
    if (frame > 0) records.push_back({"PTS_PER_FRAME", std::to_string(frame)});
    records.push_back({"PTS_PER_GROUP", std::to_string(group)});
    for (int c = 1; c <= channels; ++c) {
      records.push_back({"DESC.CHAN_" + std::to_string(c), "channel " + std::to_string(c)});
      records.push_back({"UNITS.CHAN_" + std::to_string(c), "unit" + std::to_string(c)});
      char s[64];
      std::snprintf(s, sizeof s, "%20.12E", c - 1 < int(scales.size()) ? scales[c - 1] : 1.0);
      records.push_back({"SCALE.CHAN_" + std::to_string(c), s});
    }
  }

  void set(const std::string &keyword, const std::string &value) {
    for (auto &r : records)
      if (r.first == keyword) {
        r.second = value;
        return;
      }
    records.push_back({keyword, value});
  }
  void drop(const std::string &keyword) {
    for (size_t i = 0; i < records.size(); ++i)
      if (records[i].first == keyword) records.erase(records.begin() + i--);
  }

  std::vector<unsigned char> header_image() const {
    const int64_t used = 3 + int64_t(records.size());
    const int64_t blocks = (used + 3) / 4;
    std::vector<unsigned char> h(size_t(blocks * 512), 0);
    auto put = [&](int64_t r, const std::string &k, const std::string &v) {
      std::memcpy(&h[size_t(r * 128)], k.data(), std::min<size_t>(k.size(), 32));
      std::memcpy(&h[size_t(r * 128 + 32)], v.data(), std::min<size_t>(v.size(), 96));
    };
    put(0, "FORMAT", !format.empty() ? format : big_endian ? "BINARY_IEEE_BIG_END" : "BINARY_IEEE_LITTLE_END");
    put(1, "NUM_HEADER_BLOCKS", num_header_blocks.empty() ? std::to_string(blocks) : num_header_blocks);
    put(2, "NUM_PARAMS", num_params.empty() ? std::to_string(used) : num_params);
    for (size_t i = 0; i < records.size(); ++i) put(3 + int64_t(i), records[i].first, records[i].second);
    return h;
  }

  void put_value(std::vector<unsigned char> &out, double v) const {
    unsigned char b[4];
    if (floating) {
      float f = static_cast<float>(v);
      std::memcpy(b, &f, 4);
    } else {
      int16_t s = static_cast<int16_t>(v);
      std::memcpy(b, &s, 2);
    }
    const int n = bytes();
    if (big_endian)
      for (int i = n - 1; i >= 0; --i) out.push_back(b[i]);
    else
      for (int i = 0; i < n; ++i) out.push_back(b[i]);
  }

  std::vector<unsigned char> image() const {
    std::vector<unsigned char> out = header_image();
    const int64_t g = eff_group(), n = points();
    for (int64_t grp = 0; grp < groups(); ++grp)
      for (int c = 1; c <= channels; ++c)
        for (int64_t i = 0; i < g; ++i) {
          const int64_t p = grp * g + i;
          put_value(out, p < n ? stored(c, p) : padding);
        }
    if (size_change < 0) out.resize(size_t(std::max<int64_t>(0, int64_t(out.size()) + size_change)));
    else out.insert(out.end(), size_t(size_change), 0x5a);
    return out;
  }

  // Writes the file; the records are the standard ones unless the test has
  // filled them already.
  std::string write(const std::string &path) {
    if (records.empty()) standard_records();
    const std::vector<unsigned char> bytes = image();
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char *>(bytes.data()), std::streamsize(bytes.size()));
    return path;
  }

  // The value a reader must deliver for point p of channel c.
  double expected(int c, int64_t p) const {
    const double s = stored(c, p);
    if (floating) return static_cast<double>(static_cast<float>(s));
    const double scale = c - 1 < int(scales.size()) ? scales[c - 1] : 1.0;
    return scale * static_cast<int16_t>(s);
  }
};

inline void write_bytes(const std::string &path, const std::string &bytes) {
  std::ofstream(path, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
}

} // namespace zel_test
