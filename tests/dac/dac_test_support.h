// Test-side DAC files of any shape, broken ones included, from literal offsets (none of the library's format code); its
// bytes are also the expected bytes of the files the library writes.
#pragma once

#include "support/temp_dir.h"
#include "zel.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <optional>
#include <tuple>

namespace dac_test {

using zel_test::Bytes;
using zel_test::TempDir;

// Little-endian 2- and 4-byte values (integers or floats; little-endian hosts only) and blank-padded text.
template <class T> void put(Bytes &b, size_t off, T v) { std::memcpy(&b.at(off), &v, sizeof v); }
inline void put_text(Bytes &b, size_t off, size_t n, const std::string &s) {
  for (size_t i = 0; i < n; ++i) b.at(off + i) = static_cast<unsigned char>(i < s.size() ? s[i] : ' ');
}

// Samples offset + scale * 1 .. offset + scale * n: distinct, exactly representable.
inline std::vector<float> ramp(int n, float scale = 0.25f, float offset = -3.0f) {
  std::vector<float> v(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) v[static_cast<size_t>(i)] = offset + scale * static_cast<float>(i + 1);
  return v;
}

struct DacBuilder {
  int revision = 2;
  int16_t marker = 1, kind_code = 3, stats_flag = 1;
  std::vector<float> samples = ramp(10);
  std::optional<int32_t> point_count; // header count; default samples.size()
  std::optional<float> point_count_f; // float count at 0; default point_count
  float interval = 0.5f, start_time = 0.0f;
  std::array<float, 5> stats{};            // mean, std dev, maximum, minimum, rms
  std::array<int32_t, 3> indices{2, 1, 2}; // max, min, absmax
  std::string x_label = "Time", y_label = "Load", x_note, y_note;
  bool pad_data = true; // zero-fill the last data record
  // Extra details (keyword, value) as stored: groups of a directory and 12 data records after the data area.
  std::vector<std::pair<std::string, std::string>> details;
  std::optional<float> detail_records; // default: the records the details occupy
  int64_t cut_to = -1;                 // keep only this many bytes

  int32_t count() const { return point_count ? *point_count : static_cast<int32_t>(samples.size()); }
  int64_t first_detail_record() const { return (static_cast<int64_t>(count()) - 1) / 128 + 3; }

  Bytes build() const {
    Bytes b(512, 0);
    const int32_t n = count();
    const float rate = interval != 0.0f ? static_cast<float>(1.0 / interval) : 0.0f;
    const float count_f = point_count_f.value_or(static_cast<float>(n));
    const float floats[] = {count_f, interval, start_time, rate, stats[0], stats[1], stats[2], stats[3], stats[4]};
    const size_t float_at[] = {0, 4, 8, 12, 16, 20, 32, 36, 68};
    for (size_t i = 0; i < 9; ++i) put(b, float_at[i], floats[i]);
    put(b, 124, revision == 2 ? n : 0x7eadbeef); // garbage: a revision-0 reader ignores it
    for (size_t i = 0; i < 3; ++i) {
      if (revision == 2) put(b, 112 + 4 * i, indices[i]);
      put(b, 500 + 4 * i, static_cast<float>(indices[i]));
    }
    const int shorts[][2] = {{128, marker}, {130, kind_code}, {134, -2}, {148, -2}, {180, stats_flag}, {190, revision}};
    for (auto [at, v] : shorts) put(b, static_cast<size_t>(at), static_cast<int16_t>(v));
    put_text(b, 380, 24, x_label);
    put_text(b, 356, 24, y_label);
    for (auto [head, tail, note] : {std::tuple{448, 150, x_note}, std::tuple{432, 136, y_note}}) {
      put_text(b, static_cast<size_t>(head), 16, note.substr(0, 16));
      put_text(b, static_cast<size_t>(tail), 12, note.substr(std::min<size_t>(16, note.size())));
    }
    b.resize(512 + 4 * samples.size());
    if (!samples.empty()) std::memcpy(b.data() + 512, samples.data(), 4 * samples.size());
    if (pad_data) b.resize(512 * ((b.size() + 511) / 512), 0);

    const size_t groups = (details.size() + 47) / 48, first = 512 * static_cast<size_t>(first_detail_record() - 1);
    if (groups) b.resize(std::max(b.size(), first), 0);
    const size_t start = b.size();
    for (size_t g = 0; g < groups; ++g) {
      const size_t in_group = std::min<size_t>(48, details.size() - 48 * g), at = b.size();
      b.resize(at + 512, 0), b.resize(at + 512 * (1 + (in_group + 3) / 4), ' '); // directory, then the slots
      for (size_t j = 0; j < 48; ++j) {
        put_text(b, at + 10 * j, 8, j < in_group ? details[48 * g + j].first : "");
        put(b, at + 10 * j + 8, static_cast<int16_t>(j < in_group ? 52 * g + j + 1 : 0));
        if (j < in_group) put_text(b, at + 512 + 128 * j, 8, details[48 * g + j].first);
        if (j < in_group) put_text(b, at + 520 + 128 * j, 120, details[48 * g + j].second);
      }
      put(b, at + 500, static_cast<int32_t>(g + 1 < groups ? first_detail_record() + 13 * int64_t(g + 1) : 0));
      put<int16_t>(b, at + 504, -1);
    }
    const float records = static_cast<float>((b.size() - start) / 512);
    put(b, 64, detail_records.value_or(records));
    if (cut_to >= 0 && static_cast<size_t>(cut_to) < b.size()) b.resize(static_cast<size_t>(cut_to));
    return b;
  }

  std::string write(const TempDir &dir, const std::string &name) const {
    return zel_test::write_file(dir.file(name), build()), dir.file(name);
  }
};

// Open file descriptors of this process (-1 where that cannot be counted).
inline int open_descriptors() {
  std::error_code ec;
  std::filesystem::directory_iterator it("/proc/self/fd", ec);
  return ec ? -1 : static_cast<int>(std::distance(it, std::filesystem::directory_iterator()));
}

} // namespace dac_test
