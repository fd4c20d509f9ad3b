// Binary paths against their floors: RPC III reads (whole channels,
// sequential chunks, channels interleaved, windows, ranges) and writes
// (16-bit with rounding, floats), DAC reads and writes. Each floor moves
// the same bytes with pread/pwrite on a plain descriptor and one tight
// conversion loop, as a minimal C program would. Files live in the page
// cache; see docs/performance.md for the figures and the targets.
#include "paired.h"

#include <fcntl.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "zel.h"

namespace zel_bench {
namespace {

// ---------------------------------------------------------------- RPC III

void *open_rpc(const RpcFile &f) {
  int channels = 0, points = 0, status = 0;
  double dt = 0;
  return zel_rpc_open(f.path.c_str(), &channels, &points, &dt, nullptr, &status);
}

void BM_RpcReadWhole(benchmark::State &state) {
  const RpcFile &f = rpc_file();
  std::vector<double> v(static_cast<size_t>(f.points));
  paired(
      state, double(f.channels) * f.points * 2,
      [&] {
        void *h = open_rpc(f);
        for (int c = 1; c <= f.channels; ++c) zel_rpc_getnpts(h, c, f.points, v.data());
        zel_rpc_readclose(h);
      },
      [&] {
        FloorReader r(f);
        for (int c = 1; c <= f.channels; ++c) r.read(c, 0, f.points, v.data());
      });
}

// Chunks of 1000 points, a channel at a time (chunked) or every channel's
// next chunk in turn (interleaved).
void rpc_chunks(benchmark::State &state, bool interleaved) {
  const RpcFile &f = rpc_file();
  const int chunk = 1000;
  std::vector<double> v(chunk);
  const auto each = [&](auto &&read) {
    if (interleaved) {
      for (int p = 0; p < f.points; p += chunk)
        for (int c = 1; c <= f.channels; ++c) read(c, p, std::min(chunk, f.points - p));
    } else {
      for (int c = 1; c <= f.channels; ++c)
        for (int p = 0; p < f.points; p += chunk) read(c, p, std::min(chunk, f.points - p));
    }
  };
  paired(
      state, double(f.channels) * f.points * 2,
      [&] {
        void *h = open_rpc(f);
        each([&](int c, int, int n) { zel_rpc_getnpts(h, c, n, v.data()); });
        zel_rpc_readclose(h);
      },
      [&] {
        FloorReader r(f);
        each([&](int c, int p, int n) { r.read(c, p, n, v.data()); });
      });
}
void BM_RpcReadChunks(benchmark::State &state) { rpc_chunks(state, false); }
void BM_RpcReadInterleaved(benchmark::State &state) { rpc_chunks(state, true); }

// Random places on random channels: windows of 201 points (with their
// times), or ranges of 4096 points through zel_rpc_getrange.
struct Place {
  int channel;
  int first;
};
std::vector<Place> places(const RpcFile &f, int count, int width) {
  std::mt19937 random(7);
  std::vector<Place> out;
  for (int i = 0; i < count; ++i)
    out.push_back(
        {int(random() % unsigned(f.channels)) + 1, int(random() % unsigned(f.points - width))});
  return out;
}

void BM_RpcReadWindows(benchmark::State &state) {
  const RpcFile &f = rpc_file();
  const int half = 100, width = 2 * half + 1, dt_ms = 1;
  const std::vector<Place> at = places(f, int(sized(10000, 10)), width);
  std::vector<double> t(width), v(width);
  void *h = open_rpc(f);
  FloorReader r(f);
  paired(
      state, double(at.size()) * width * 2,
      [&] {
        for (const Place &p : at)
          zel_rpc_getwindow(h, p.channel, (p.first + half) * 1e-3 * dt_ms, half, t.data(),
                            v.data());
      },
      [&] {
        for (const Place &p : at) {
          for (int k = 0; k < width; ++k) t[size_t(k)] = (p.first + k) * 1e-3;
          r.read(p.channel, p.first, width, v.data());
        }
      });
  zel_rpc_readclose(h);
}

void BM_RpcReadRanges(benchmark::State &state) {
  const RpcFile &f = rpc_file();
  const int count = int(sized(4096, 100));
  const std::vector<Place> at = places(f, int(sized(2000, 10)), count);
  std::vector<double> v(static_cast<size_t>(count));
  void *h = open_rpc(f);
  FloorReader r(f);
  paired(
      state, double(at.size()) * count * 2,
      [&] {
        for (const Place &p : at) zel_rpc_getrange(h, p.channel, p.first, count, v.data());
      },
      [&] {
        for (const Place &p : at) r.read(p.channel, p.first, count, v.data());
      });
  zel_rpc_readclose(h);
}

// Writes of 16 channels x 1,048,576 points: 16-bit integers with rounding
// to nearest, or floats. The floor scales and converts each channel in one
// loop and writes its runs with pwrite into a file laid out the same way.
void rpc_write(benchmark::State &state, int type) {
  const int channels = int(sized(16, 2)), points = int(sized(1 << 20, 5000));
  const int frame = 1024, group = 2 * frame, bytes = type == ZEL_RPC_INT16 ? 2 : 4;
  std::vector<std::vector<double>> v(static_cast<size_t>(channels),
                                     std::vector<double>(size_t(points)));
  for (int c = 0; c < channels; ++c)
    for (int i = 0; i < points; ++i)
      v[size_t(c)][size_t(i)] = (100.0 + c) * std::sin(i * 1e-3) + (i % 13);
  const std::string path = scratch("write.rsp"), floor_path = scratch("write-floor.rsp");
  const int64_t frames = (points + frame - 1) / frame, padded = frames * frame;
  const int64_t header = 512 * ((3 + 7 + 12 + 11 * int64_t(channels) + 3) / 4 + 1);
  std::vector<unsigned char> stored(size_t(padded) * size_t(bytes)),
      head(static_cast<size_t>(header));
  paired(
      state, double(channels) * points * bytes,
      [&] {
        int status = 0;
        void *out = zel_rpc_create_as(path.c_str(), channels, points, 1e-3, type,
                                      ZEL_RPC_ROUND_NEAREST, 0, &status);
        for (int c = 1; c <= channels; ++c)
          zel_rpc_putchannel(out, c, points, v[size_t(c - 1)].data(), "ch", "N");
        zel_rpc_writeclose(out);
      },
      [&] {
        const int fd = ::open(floor_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (::pwrite(fd, head.data(), head.size(), 0) != ssize_t(head.size())) std::abort();
        for (int c = 0; c < channels; ++c) {
          const double *x = v[size_t(c)].data();
          double largest = 0.0;
          for (int i = 0; i < points; ++i) largest = std::max(largest, std::fabs(x[i]));
          const double scale = largest / 32752.0;
          if (bytes == 2) {
            int16_t *s = reinterpret_cast<int16_t *>(stored.data());
            for (int i = 0; i < points; ++i) s[i] = int16_t(std::round(x[i] / scale));
            for (int64_t i = points; i < padded; ++i) s[i] = s[points - 1];
          } else {
            float *s = reinterpret_cast<float *>(stored.data());
            for (int i = 0; i < points; ++i) s[i] = float(x[i]);
            for (int64_t i = points; i < padded; ++i) s[i] = s[points - 1];
          }
          for (int64_t g = 0; g * group < padded; ++g) {
            const int64_t n = std::min<int64_t>(group, padded - g * group) * bytes;
            const int64_t offset = header + (g * channels + c) * int64_t(group) * bytes;
            if (::pwrite(fd, stored.data() + g * group * bytes, size_t(n), offset) != n)
              std::abort();
          }
        }
        ::close(fd);
      });
}
void BM_RpcWriteInt16(benchmark::State &state) { rpc_write(state, ZEL_RPC_INT16); }
void BM_RpcWriteFloat(benchmark::State &state) { rpc_write(state, ZEL_RPC_FLOAT32); }

// -------------------------------------------------------------------- DAC

// 10 million samples: a whole-file read (zel_dac_data) and a whole-file
// write (zel_dac_write). The floor moves the data section in pieces of
// 1 MiB with one conversion loop each, after a 512-byte header; the write
// floor also keeps the statistics the header holds.
constexpr int64_t kDacPiece = 1 << 18; // samples

std::vector<double> dac_values(int n) {
  std::vector<double> v(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) v[size_t(i)] = std::sin(i * 1e-4);
  return v;
}

void BM_DacRead(benchmark::State &state) {
  const int n = int(sized(10'000'000, 10000));
  const std::string path = scratch("read.dac");
  const std::vector<double> v = dac_values(n);
  zel_dac_write(path.c_str(), n, 0.0, 1000.0, v.data(), "s", "y", "m");
  std::vector<double> back(static_cast<size_t>(n));
  std::vector<float> raw(kDacPiece);
  paired(
      state, double(n) * 4,
      [&] {
        int points = 0;
        double start = 0, rate = 0;
        zel_dac_data(path.c_str(), &points, &start, &rate, back.data());
      },
      [&] {
        const int fd = ::open(path.c_str(), O_RDONLY);
        unsigned char header[512];
        if (::pread(fd, header, sizeof header, 0) != ssize_t(sizeof header)) std::abort();
        for (int64_t p = 0; p < n; p += kDacPiece) {
          const int64_t k = std::min<int64_t>(kDacPiece, n - p);
          if (::pread(fd, raw.data(), size_t(k) * 4, 512 + p * 4) != k * 4) std::abort();
          for (int64_t i = 0; i < k; ++i) back[size_t(p + i)] = raw[size_t(i)];
        }
        ::close(fd);
      });
}

void BM_DacWrite(benchmark::State &state) {
  const int n = int(sized(10'000'000, 10000));
  const std::string path = scratch("write.dac"), floor_path = scratch("write-floor.dac");
  const std::vector<double> v = dac_values(n);
  std::vector<float> raw(kDacPiece);
  paired(
      state, double(n) * 4,
      [&] { zel_dac_write(path.c_str(), n, 0.0, 1000.0, v.data(), "s", "y", "m"); },
      [&] {
        const int fd = ::open(floor_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        unsigned char header[512] = {};
        if (::pwrite(fd, header, sizeof header, 0) != ssize_t(sizeof header)) std::abort();
        // The header's statistics: running sums and extremes of the floats.
        double sum = 0, squares = 0;
        float low = HUGE_VALF, high = -HUGE_VALF;
        for (int64_t p = 0; p < n; p += kDacPiece) {
          const int64_t k = std::min<int64_t>(kDacPiece, n - p);
          for (int64_t i = 0; i < k; ++i) {
            const float x = float(v[size_t(p + i)]);
            raw[size_t(i)] = x;
            sum += x;
            squares += double(x) * x;
            low = std::min(low, x);
            high = std::max(high, x);
          }
          if (::pwrite(fd, raw.data(), size_t(k) * 4, 512 + p * 4) != k * 4) std::abort();
        }
        benchmark::DoNotOptimize(sum + squares + low + high);
        ::close(fd);
      });
}

} // namespace

BENCHMARK(BM_RpcReadWhole)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RpcReadChunks)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RpcReadInterleaved)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RpcReadWindows)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RpcReadRanges)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RpcWriteInt16)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RpcWriteFloat)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DacRead)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DacWrite)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace zel_bench
