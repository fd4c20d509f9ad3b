// Test-side helpers for DAC files: a temporary directory per test, byte
// access to whole files, and a builder that writes DAC files of any shape,
// including foreign and broken ones, independently of the library's writer.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <random>
#include <string>
#include <utility>
#include <vector>

#if defined(__linux__)
#include <dirent.h>
#endif

namespace dac_test {

using Bytes = std::vector<unsigned char>;

class TempDir {
public:
  TempDir() {
    static std::atomic<int> serial{0};
    const auto *info = testing::UnitTest::GetInstance()->current_test_info();
    std::string name = "zel_dac_";
    if (info) name += std::string(info->test_suite_name()) + "_" + info->name();
    name += "_" + std::to_string(std::random_device{}()) + "_" + std::to_string(serial++);
    path_ = std::filesystem::temp_directory_path() / name;
    std::filesystem::create_directories(path_);
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  std::string file(const std::string &name) const { return (path_ / name).string(); }

private:
  std::filesystem::path path_;
};

inline Bytes read_bytes(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

inline void write_bytes(const std::string &path, const Bytes &bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline bool exists(const std::string &path) { return std::filesystem::exists(path); }

// Little-endian field access on a byte vector.
inline int16_t i16(const Bytes &b, size_t off) {
  return static_cast<int16_t>(b.at(off) | (b.at(off + 1) << 8));
}
inline int32_t i32(const Bytes &b, size_t off) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | b.at(off + static_cast<size_t>(i));
  return static_cast<int32_t>(v);
}
inline float f32(const Bytes &b, size_t off) {
  uint32_t v = static_cast<uint32_t>(i32(b, off));
  float f;
  std::memcpy(&f, &v, 4);
  return f;
}
inline std::string text(const Bytes &b, size_t off, size_t n) {
  return std::string(reinterpret_cast<const char *>(b.data() + off), n);
}
inline void put16(Bytes &b, size_t off, int16_t v) {
  b.at(off) = static_cast<unsigned char>(v & 0xff);
  b.at(off + 1) = static_cast<unsigned char>((static_cast<uint16_t>(v) >> 8) & 0xff);
}
inline void put32(Bytes &b, size_t off, int32_t v) {
  for (int i = 0; i < 4; ++i) b.at(off + i) = static_cast<unsigned char>((static_cast<uint32_t>(v) >> (8 * i)) & 0xff);
}
inline void putf(Bytes &b, size_t off, float f) {
  uint32_t v;
  std::memcpy(&v, &f, 4);
  put32(b, off, static_cast<int32_t>(v));
}
inline void put_text(Bytes &b, size_t off, size_t n, const std::string &s, char fill = ' ') {
  for (size_t i = 0; i < n; ++i) b.at(off + i) = static_cast<unsigned char>(i < s.size() ? s[i] : fill);
}

inline std::string blanks(size_t n) { return std::string(n, ' '); }

// Samples x1 .. xn used by most tests: distinct, exactly representable.
inline std::vector<float> ramp(int n, float scale = 0.25f, float offset = -3.0f) {
  std::vector<float> v(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) v[static_cast<size_t>(i)] = offset + scale * static_cast<float>(i + 1);
  return v;
}

// A DAC file written by "another program": every field chosen by the test.
struct DacBuilder {
  int revision = 2;
  int16_t format_marker = 1;
  int16_t kind_code = 3;
  int16_t stats_flag = 1;
  std::vector<float> samples = ramp(10);
  std::optional<int32_t> point_count; // header count; default samples.size()
  std::optional<float> point_count_f; // float count at 0; default point_count
  float interval = 0.5f;
  float start_time = 0.0f;
  int32_t indices[3] = {2, 1, 2};  // max, min, absmax as stored
  std::string x_label = "Time", y_label = "Load", x_note, y_note;
  bool pad_data = true;            // zero-fill the last data record
  // Extra details as stored (keyword, value); written in the standard group
  // layout right after the padded data area of the header's count.
  std::vector<std::pair<std::string, std::string>> details;
  std::optional<float> detail_records; // default: the records the details occupy
  int64_t cut_to = -1;             // keep only this many bytes

  int32_t count() const {
    return point_count ? *point_count : static_cast<int32_t>(samples.size());
  }

  Bytes build() const {
    Bytes b(512, 0);
    const int32_t n = count();
    putf(b, 0, point_count_f ? *point_count_f : static_cast<float>(n));
    putf(b, 4, interval);
    putf(b, 8, start_time);
    putf(b, 12, interval != 0.0f ? 1.0f / interval : 0.0f);
    put16(b, 128, format_marker);
    put16(b, 130, kind_code);
    put16(b, 180, stats_flag);
    put16(b, 190, static_cast<int16_t>(revision));
    if (revision == 2) {
      put32(b, 124, n);
      for (int i = 0; i < 3; ++i) put32(b, 112 + 4 * static_cast<size_t>(i), indices[i]);
    } else {
      put32(b, 124, 0x7eadbeef); // garbage: a revision-0 reader ignores it
      for (int i = 0; i < 3; ++i) putf(b, 500 + 4 * static_cast<size_t>(i), static_cast<float>(indices[i]));
    }
    put_text(b, 380, 24, x_label);
    put_text(b, 356, 24, y_label);
    put_text(b, 448, 16, x_note.substr(0, std::min<size_t>(16, x_note.size())));
    put_text(b, 150, 12, x_note.size() > 16 ? x_note.substr(16) : "");
    put_text(b, 432, 16, y_note.substr(0, std::min<size_t>(16, y_note.size())));
    put_text(b, 136, 12, y_note.size() > 16 ? y_note.substr(16) : "");
    put16(b, 134, -2);
    put16(b, 148, -2);

    for (float x : samples) {
      size_t off = b.size();
      b.resize(off + 4);
      putf(b, off, x);
    }
    if (pad_data) {
      while ((b.size() - 512) % 512 != 0) b.push_back(0);
    }

    int64_t records = 0;
    if (!details.empty()) {
      // Details start after the data area of the header's count.
      const int64_t first = (static_cast<int64_t>(n) - 1) / 128 + 3;
      const size_t start = static_cast<size_t>(512 * (first - 1));
      b.resize(std::max(b.size(), start), 0);
      const size_t groups = (details.size() + 47) / 48;
      for (size_t g = 0; g < groups; ++g) {
        const size_t in_group = std::min<size_t>(48, details.size() - 48 * g);
        Bytes dir(512, 0);
        for (size_t j = 0; j < 48; ++j) {
          if (j < in_group) {
            put_text(dir, 10 * j, 8, details[48 * g + j].first);
            put16(dir, 10 * j + 8, static_cast<int16_t>(52 * g + j + 1));
          } else {
            put_text(dir, 10 * j, 8, "");
          }
        }
        put32(dir, 500, g + 1 < groups ? static_cast<int32_t>(first + 13 * static_cast<int64_t>(g + 1)) : 0);
        put16(dir, 504, -1);
        b.insert(b.end(), dir.begin(), dir.end());
        ++records;
        for (size_t k = 0; k < (in_group + 3) / 4; ++k) {
          Bytes data(512, ' ');
          for (size_t s = 0; s < 4 && 4 * k + s < in_group; ++s) {
            const auto &d = details[48 * g + 4 * k + s];
            put_text(data, 128 * s, 8, d.first);
            put_text(data, 128 * s + 8, 120, d.second);
          }
          b.insert(b.end(), data.begin(), data.end());
          ++records;
        }
      }
    }
    putf(b, 64, detail_records ? *detail_records : static_cast<float>(records));
    Bytes out = b;
    if (cut_to >= 0 && static_cast<size_t>(cut_to) < out.size()) out.resize(static_cast<size_t>(cut_to));
    return out;
  }

  std::string write(const TempDir &dir, const std::string &name) const {
    const std::string path = dir.file(name);
    write_bytes(path, build());
    return path;
  }
};

// Open file descriptors of this process (-1 where that cannot be counted):
// one-shot calls must not leave a file open.
inline int open_descriptors() {
#if defined(__linux__)
  DIR *d = opendir("/proc/self/fd");
  if (!d) return -1;
  int n = 0;
  while (readdir(d)) ++n;
  closedir(d);
  return n;
#else
  return -1;
#endif
}

} // namespace dac_test
