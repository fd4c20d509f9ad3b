// Seed inputs of every fuzz target, built in memory with the builders the
// tests use (tests/rpc/rpc3_support.h, tests/dac/dac_test_support.h). Used
// by make_seeds (files for a fuzzing run) and by the replay test.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "dac/dac_test_support.h"
#include "rpc/rpc3_support.h"

namespace zel_fuzz {

using Seed = std::vector<unsigned char>;

// Names of the targets, as in fuzz/CMakeLists.txt.
inline const std::vector<std::string> &target_names() {
  static const std::vector<std::string> names = {"rpc3_reader_fuzz", "dac_reader_fuzz", "header_number_fuzz",
                                                 "dac_details_fuzz", "write_read_fuzz"};
  return names;
}

// Builds inputs for the targets that read with zel_fuzz::Input.
struct Encoder {
  Seed bytes;
  template <typename T> Encoder &raw(T v) {
    unsigned char b[sizeof v];
    std::memcpy(b, &v, sizeof v);
    bytes.insert(bytes.end(), b, b + sizeof v);
    return *this;
  }
  Encoder &range(int64_t v, int64_t lo) { return raw(static_cast<uint32_t>(v - lo)); }
  Encoder &text(const std::string &s) { return range(int64_t(s.size()), 0).append(s); }
  Encoder &append(const std::string &s) {
    bytes.insert(bytes.end(), s.begin(), s.end());
    return *this;
  }
  Encoder &append(const Seed &s) {
    bytes.insert(bytes.end(), s.begin(), s.end());
    return *this;
  }
};

inline std::vector<Seed> rpc3_seeds() {
  using zel_test::Rpc3File;
  std::vector<Seed> out;
  const auto add = [&](Rpc3File f) {
    if (f.records.empty()) f.standard_records();
    out.push_back(f.image());
  };
  Rpc3File plain;
  plain.frames = 2;
  add(plain);
  Rpc3File floating = plain;
  floating.floating = true;
  floating.big_endian = true;
  add(floating);
  Rpc3File no_frame = plain; // PTS_PER_FRAME missing: the frame is the group
  no_frame.frame = 0;
  no_frame.group = 128;
  no_frame.channels = 1;
  add(no_frame);
  Rpc3File groups = plain; // several groups, a short last one
  groups.frame = 64;
  groups.group = 256;
  groups.frames = 9;
  groups.channels = 3;
  groups.scales = {0.5, 2.0, 1e-3};
  add(groups);
  Rpc3File cut = groups;
  cut.size_change = -700;
  add(cut);
  Rpc3File odd = plain; // keywords the reader must skip or refuse
  odd.standard_records();
  odd.set("HALF_FRAMES", "1");
  odd.set("DESC.CHAN_9", "beyond");
  odd.set("SCALE.CHAN_0", "1");
  odd.set("INT_FULL_SCALE", "-3");
  add(odd);
  Rpc3File empty = plain;
  empty.frames = 0;
  add(empty);
  return out;
}

inline std::vector<Seed> dac_seeds() {
  using dac_test::DacBuilder;
  std::vector<Seed> out;
  DacBuilder plain;
  out.push_back(plain.build());
  DacBuilder details = plain;
  details.samples = dac_test::ramp(130);
  details.details = {{"DATE", "Sat Dec  5 10:11:12 2026"}, {"Units", "kN"}, {"", "lost"}, {"Gain", ""}};
  details.x_note = "a note longer than sixteen chars";
  out.push_back(details.build());
  DacBuilder old = plain;
  old.revision = 0;
  old.stats_flag = 0;
  old.interval = 0.0f;
  out.push_back(old.build());
  DacBuilder promised = plain; // more samples announced than held
  promised.point_count = 5000;
  promised.pad_data = false;
  out.push_back(promised.build());
  DacBuilder cut = details;
  cut.cut_to = 512 * 4 + 100;
  out.push_back(cut.build());
  return out;
}

// Details area seeds: the area of a builder's file, behind the target's
// three leading values (count, record-count choice, float count).
inline std::vector<Seed> dac_details_seeds() {
  using dac_test::DacBuilder;
  std::vector<Seed> out;
  for (int n : {0, 10, 200}) {
    DacBuilder b;
    b.samples = dac_test::ramp(n);
    for (int i = 0; i < (n == 200 ? 53 : 5); ++i)
      b.details.push_back({"KEY" + std::to_string(i), "value " + std::to_string(i)});
    b.details.push_back({"date", "Sat Dec  5 10:11:12 2026"});
    const Seed file = b.build();
    const size_t from = size_t(512 * (b.first_detail_record() - 1));
    Encoder e;
    e.range(n, -300).range(0, 0).raw(0.0f);
    e.bytes.insert(e.bytes.end(), file.begin() + std::ptrdiff_t(from), file.end());
    out.push_back(e.bytes);
  }
  return out;
}

inline std::vector<Seed> header_number_seeds() {
  std::vector<Seed> out;
  for (const char *t : {"  -12.5e3", "+7", "inf", "-nan", "1e400", "1e-400", "2147483648", "0x1p3", "4.9e-324",
                        "   .5E+2xyz"})
    out.push_back(Encoder().range(0, 0).append(t).bytes);
  out.push_back(Encoder().range(1, 0).raw(int64_t(-42)).raw(0.1).bytes);
  out.push_back(Encoder().range(1, 0).raw(int64_t(1) << 40).raw(-1.7976931348623157e308).bytes);
  out.push_back(Encoder().range(2, 0).text("SCALE.CHAN_12").range(3, 0).range(3, 0).range(0, 0).text("KEY").text("VALUE").bytes);
  Encoder w;
  w.range(3, 0).raw(int(4)).raw(int(40)).range(2, 1).raw(0.01).raw(int(3)).raw(int(256)).raw(int(2048)).raw(int(0));
  w.text("SHORT_INTEGER");
  for (int c = 0; c < 3; ++c) w.raw(1.5e-3).raw(10.0).raw(-10.0).raw(int(c + 1));
  w.text("run").raw(int(700));
  w.raw(int(2)).raw(int(256)).raw(int(1024)).raw(int(5)).range(0, 0).range(1, 0);
  out.push_back(w.bytes);
  return out;
}

// Write-read seeds: a plan in the first half, samples in the second.
inline std::vector<Seed> write_read_seeds() {
  std::vector<Seed> out;
  Seed pool;
  for (int i = 0; i < 64; ++i) {
    const double x = (i % 17 - 8) * 0.375 + i * 1e-3;
    unsigned char b[8];
    std::memcpy(b, &x, 8);
    pool.insert(pool.end(), b, b + 8);
  }
  const auto seed = [&](Encoder plan) {
    plan.bytes.resize(pool.size(), 0);
    plan.append(pool);
    out.push_back(plan.bytes);
  };
  const auto channels = [](Encoder &e, int n, int style) { // set, all points, texts empty
    for (int c = 0; c < n; ++c) e.range(1, 0).range(1, 0).range(c, 0).range(style, 0).text("").text("");
  };
  // Class writer, 2 channels, 600 points, int16, frames per group unset.
  Encoder a;
  a.range(0, 0).range(2, 1).range(2, 0).range(600, 1).range(1, 0).range(10, 1).range(0, 0).range(-1, -1).range(1, 0);
  channels(a, 2, 1);
  seed(a.range(2, 0));
  // Exported functions, 3 channels, 700 points, floats, frames per group "4".
  Encoder b;
  b.range(1, 0).range(3, 1).range(1, 0).range(700, 250).range(1, 0).range(5, 1).range(1, 0).range(2, -1).range(1, 0)
      .range(0, 0);
  channels(b, 3, 2);
  seed(b.range(0, 0));
  // DAC, 200 samples at rate 100.
  seed(Encoder().range(2, 0).range(1, 0).range(200, 1).range(0, 0).range(1, 0).raw(0.0).range(1, 0).range(800, 1)
           .range(0, 0).range(0, -1000).text("note").text("Load").text("y").range(1, 0));
  return out;
}

inline std::vector<Seed> seeds_for(const std::string &target) {
  if (target == "rpc3_reader_fuzz") return rpc3_seeds();
  if (target == "dac_reader_fuzz") return dac_seeds();
  if (target == "header_number_fuzz") return header_number_seeds();
  if (target == "dac_details_fuzz") return dac_details_seeds();
  if (target == "write_read_fuzz") return write_read_seeds();
  return {};
}

} // namespace zel_fuzz
