// Export and text paths against their floors: OUTPUT2 (the file's bytes
// written with one write), punch (std::to_chars of the same values into one
// buffer, one write; and the same cards written by gfortran when the peer
// program was built), the tool's CSV writer and reader, its .mat writer,
// and `zel cat` of a whole file.
#include "paired.h"

#include <spawn.h>
#include <sys/wait.h>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "csv.h"
#include "csv_read.h"
#include "mat_file.h"
#include "signal_file.h"
#include "zel.h"

extern char **environ;

namespace zel_bench {
namespace {

// Runs a program with its standard output sent to out_path ("/dev/null",
// or a file to read back); false when it could not run or failed.
bool run(const std::vector<std::string> &argv, const std::string &out_path) {
  std::vector<char *> args;
  for (const std::string &a : argv) args.push_back(const_cast<char *>(a.c_str()));
  args.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0644);
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return false;
  int status = 0;
  if (waitpid(pid, &status, 0) != pid) return false;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::string slurp(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Writes bytes to a new file with one write.
void write_file(const std::string &path, const char *bytes, size_t n) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (::write(fd, bytes, n) != ssize_t(n)) std::abort();
  ::close(fd);
}

// ------------------------------------------------------------ modal export

// 200 modes x 5000 steps, the values the peer program makes as well.
struct Modal {
  int modes, steps;
  bool frequency;
  std::vector<double> t, uh, bh;
  Modal(int m, int n, bool f) : modes(m), steps(n), frequency(f) {
    const int parts = f ? 2 : 1;
    t.resize(size_t(n));
    uh.resize(size_t(n) * size_t(m * parts));
    bh.resize(size_t(n) * size_t(6 * parts));
    for (int i = 0; i < n; ++i) t[size_t(i)] = i * 1e-3;
    for (size_t i = 0; i < uh.size(); ++i) uh[i] = std::sin(double(i)) * 1e-3;
    for (size_t i = 0; i < bh.size(); ++i) bh[i] = std::cos(double(i));
  }
  int write(int punch, const std::string &path) const {
    return zel_fes_write_mcs(punch, modes, steps, 0, t.data(), uh.data(), bh.data(), uh.data(),
                             bh.data(), uh.data(), bh.data(), frequency ? 1 : 0, path.c_str());
  }
};

// The gfortran peer: seconds its writing took, wall-clock and CPU, the
// medians of three runs (zeros when it was not built or failed).
Seconds peer_seconds(const char *kind, const Modal &m, const std::string &path) {
#ifdef ZEL_MODAL_PEER
  std::vector<double> wall, cpu;
  const std::string report = scratch("peer-time.txt");
  for (int i = 0; i < (g_tiny ? 1 : 3); ++i) {
    if (!run({ZEL_MODAL_PEER, kind, std::to_string(m.modes), std::to_string(m.steps), path},
             report))
      return {0, 0};
    double w = 0, c = 0;
    if (std::sscanf(slurp(report).c_str(), "%lf %lf", &w, &c) != 2) return {0, 0};
    wall.push_back(w);
    cpu.push_back(c);
  }
  return {median(wall), median(cpu)};
#else
  (void)kind, (void)m, (void)path;
  return {0, 0};
#endif
}

// The peer's counters: its times and how many times faster the path is.
void peer_counters(benchmark::State &state, Seconds peer) {
  state.counters["gfortran_ms"] = 1e3 * peer.wall;
  state.counters["gfortran_cpu_ms"] = 1e3 * peer.cpu;
  state.counters["x_faster"] = 1e3 * peer.wall / state.counters["path_ms"];
  state.counters["cpu_x_faster"] = 1e3 * peer.cpu / state.counters["cpu_path_ms"];
}

void BM_Output2(benchmark::State &state) {
  const Modal m(int(sized(200, 3)), int(sized(5000, 10)), false);
  const std::string path = scratch("modal.op2"), floor_path = scratch("modal-floor.op2");
  m.write(0, path);
  const std::string image = slurp(path);
  std::vector<char> out(image.size());
  paired(
      state, double(image.size()), [&] { m.write(0, path); },
      [&] {
        std::memcpy(out.data(), image.data(), image.size());
        write_file(floor_path, out.data(), out.size());
      });
  peer_counters(state, peer_seconds("output2-time", m, scratch("modal-peer.op2")));
}

// The punch floor: every value the cards hold, in the same order, through
// std::to_chars (9 significant digits) into 16-column fields, four to a
// line behind an 8-column mark, into one buffer; then one write.
class PunchFloor {
public:
  explicit PunchFloor(size_t room) : text_(room) {}
  void run(const Modal &m, const std::string &path) {
    p_ = text_.data();
    column(m.t.data(), m.steps, 1);
    const int parts = m.frequency ? 2 : 1, sets = m.frequency ? 1 : 3;
    for (const auto &[values, rows] : {std::pair{m.uh.data(), m.modes}, std::pair{m.bh.data(), 6}})
      for (int s = 0; s < m.steps; ++s)
        for (int a = 0; a < sets; ++a) {
          field_mark();
          for (int r = 0; r < rows * parts; ++r) {
            if (r % 4 == 0) *p_++ = '\n', field_mark();
            real(values[size_t(r) * size_t(m.steps) + size_t(s)]);
          }
          *p_++ = '\n';
        }
    write_file(path, text_.data(), size_t(p_ - text_.data()));
  }

private:
  void field_mark() { p_ = std::copy_n("*       ", 8, p_); }
  void real(double v) {
    char *start = p_;
    p_ = std::to_chars(p_ + 1, p_ + 16, v, std::chars_format::scientific, 8).ptr;
    *start = ' ';
    while (p_ < start + 16) *p_++ = ' ';
  }
  void column(const double *v, int n, int) {
    for (int i = 0; i < n; ++i) {
      if (i % 4 == 0) field_mark();
      real(v[i]);
      if (i % 4 == 3 || i == n - 1) *p_++ = '\n';
    }
  }
  std::vector<char> text_;
  char *p_ = nullptr;
};

void punch(benchmark::State &state, bool frequency) {
  const Modal m(int(sized(200, 3)), int(sized(5000, 10)), frequency);
  const std::string path = scratch("modal.pch"), floor_path = scratch("modal-floor.pch");
  m.write(1, path);
  const size_t bytes = slurp(path).size();
  PunchFloor floor(2 * bytes + 4096);
  paired(
      state, double(bytes), [&] { m.write(1, path); }, [&] { floor.run(m, floor_path); });
  peer_counters(state, peer_seconds(frequency ? "punch-frequency" : "punch-time", m,
                                    scratch(frequency ? "peer-f.pch" : "peer-t.pch")));
}
void BM_PunchTime(benchmark::State &state) { punch(state, false); }
void BM_PunchFrequency(benchmark::State &state) { punch(state, true); }

// --------------------------------------------------------------------- CSV

// channels columns of rows samples, as an RPC III file's 16-bit values
// scaled: what `zel cat` and `convert` mostly format.
std::unique_ptr<zel_tool::MemorySignal> table(int channels, int64_t rows) {
  zel_tool::SignalInfo info;
  info.points = rows;
  info.dt = 1e-3;
  std::vector<std::vector<double>> columns(static_cast<size_t>(channels),
                                           std::vector<double>(size_t(rows)));
  for (int c = 0; c < channels; ++c) {
    info.channels.push_back({"channel " + std::to_string(c + 1), "N"});
    const double scale = (50.0 + c) / 32752.0;
    for (int64_t i = 0; i < rows; ++i)
      columns[size_t(c)][size_t(i)] =
          scale * double(int16_t(32752.0 * std::sin(double(i) * 1e-3 * (c + 1))));
  }
  return std::make_unique<zel_tool::MemorySignal>(std::move(info), std::move(columns));
}

std::vector<zel_tool::ChannelRef> all(zel_tool::SignalFile &file) {
  std::vector<zel_tool::ChannelRef> refs;
  for (int c = 1; c <= file.info().channel_count(); ++c) refs.push_back({&file, c});
  return refs;
}

// The CSV floor: the same text through std::to_chars into a buffer of
// 1 MiB, written whenever it fills; returns the bytes written.
int64_t csv_floor(int fd, const zel_tool::SignalInfo &info,
                  const std::vector<std::vector<double>> &columns) {
  static std::vector<char> text(1 << 20);
  char *p = text.data(), *const end = text.data() + text.size() - 4096;
  int64_t total = 0;
  const auto flush = [&] {
    if (::write(fd, text.data(), size_t(p - text.data())) < 0) std::abort();
    total += p - text.data();
    p = text.data();
  };
  p += std::snprintf(p, 4096, "time [s]");
  for (const zel_tool::ChannelInfo &c : info.channels)
    p += std::snprintf(p, 4096, ",%s [%s]", c.description.c_str(), c.unit.c_str());
  *p++ = '\n';
  for (int64_t i = 0; i < info.points; ++i) {
    if (p > end) flush();
    p = std::to_chars(p, p + 32, info.time_at(i)).ptr;
    for (const std::vector<double> &column : columns) {
      *p++ = ',';
      p = std::to_chars(p, p + 32, column[size_t(i)]).ptr;
    }
    *p++ = '\n';
  }
  flush();
  return total;
}

// Written to /dev/null, so that only the formatting and the copies count;
// 16 channels, rows from the argument.
void BM_CsvWrite(benchmark::State &state) {
  const int channels = 16;
  const int64_t rows = sized(state.range(0), 100);
  const auto signal = table(channels, rows);
  std::vector<std::vector<double>> columns;
  for (int c = 1; c <= channels; ++c) columns.push_back(signal->read(c));
  const int null_fd = ::open("/dev/null", O_WRONLY);
  std::FILE *null_file = std::fopen("/dev/null", "wb");
  const double bytes = double(csv_floor(null_fd, signal->info(), columns));
  paired(
      state, bytes,
      [&] {
        zel_tool::write_csv(null_file, "/dev/null", all(*signal), {0, rows}, nullptr);
      },
      [&] { csv_floor(null_fd, signal->info(), columns); });
  std::fclose(null_file);
  ::close(null_fd);
}

// The CSV reader of the tool (tools/csv_read.cpp) on a table that the
// writer made (8 channels, rows from the argument), every column then read
// whole. The floor reads the file with one read and parses every field
// with std::from_chars into preallocated columns.
void BM_CsvRead(benchmark::State &state) {
  const int channels = 8;
  const int64_t rows = sized(state.range(0), 100);
  const std::string path = scratch("read-" + std::to_string(rows) + ".csv");
  {
    const auto signal = table(channels, rows);
    std::FILE *f = std::fopen(path.c_str(), "wb");
    zel_tool::write_csv(f, path, all(*signal), {0, rows}, nullptr);
    std::fclose(f);
  }
  const size_t bytes = slurp(path).size();
  std::vector<char> text(bytes);
  std::vector<std::vector<double>> columns(channels + 1,
                                           std::vector<double>(static_cast<size_t>(rows)));
  zel_tool::CsvOptions options;
  options.progress = false;
  paired(
      state, double(bytes),
      [&] {
        const auto file = zel_tool::read_csv(path, path, options);
        for (int c = 1; c <= channels; ++c) benchmark::DoNotOptimize(file->read(c));
      },
      [&] {
        const int fd = ::open(path.c_str(), O_RDONLY);
        if (::read(fd, text.data(), bytes) != ssize_t(bytes)) std::abort();
        ::close(fd);
        const char *p = static_cast<const char *>(std::memchr(text.data(), '\n', bytes)) + 1;
        const char *const end = text.data() + bytes;
        for (size_t r = 0; p < end; ++r)
          for (auto &column : columns) {
            p = std::from_chars(p, end, column[r]).ptr + 1; // past ',' or '\n'
          }
        benchmark::DoNotOptimize(columns.data());
      });
}

// The tool's .mat writer (MAT v5 through matio), 16 channels x 262,144
// points; the floor writes the file's bytes, copied into one buffer, with
// one write.
void BM_MatWrite(benchmark::State &state) {
  const int channels = 16;
  const int64_t rows = sized(262144, 100);
  const auto signal = table(channels, rows);
  const std::string path = scratch("write.mat"), floor_path = scratch("write-floor.mat");
  const auto write = [&] {
    zel_tool::write_mat(path, all(*signal), {0, rows}, 1e-3, "", zel_tool::MatVersion::V5, nullptr);
  };
  write();
  const std::string image = slurp(path);
  std::vector<char> out(image.size());
  paired(state, double(image.size()), write, [&] {
    std::memcpy(out.data(), image.data(), image.size());
    write_file(floor_path, out.data(), out.size());
  });
}

// ------------------------------------------------------------------ zel cat

// The tool's `cat` of the whole RPC III file (64 channels x 1,048,576
// points) to /dev/null, against the floor: the channels read block by
// block with pread and every row formatted with std::to_chars on one
// thread.
void BM_ZelCat(benchmark::State &state) {
#ifdef ZEL_CLI
  const RpcFile &f = rpc_file();
  const int64_t block = 65536;
  std::vector<double> values(size_t(block) * size_t(f.channels));
  std::vector<char> text(1 << 20);
  const int null_fd = ::open("/dev/null", O_WRONLY);
  paired(
      state, 0.0,
      [&] {
        if (!run({ZEL_CLI, "cat", f.path}, "/dev/null")) state.SkipWithError("zel cat failed");
      },
      [&] {
        FloorReader r(f);
        char *p = text.data(), *const end = text.data() + text.size() - 4096;
        for (int64_t first = 0; first < f.points; first += block) {
          const int64_t k = std::min<int64_t>(block, f.points - first);
          for (int c = 0; c < f.channels; ++c)
            r.read(c + 1, first, k, values.data() + size_t(c) * size_t(block));
          for (int64_t i = 0; i < k; ++i) {
            if (p > end) {
              if (::write(null_fd, text.data(), size_t(p - text.data())) < 0) std::abort();
              p = text.data();
            }
            p = std::to_chars(p, p + 32, double(first + i) * 1e-3).ptr;
            for (int c = 0; c < f.channels; ++c) {
              *p++ = ',';
              p = std::to_chars(p, p + 32, values[size_t(c) * size_t(block) + size_t(i)]).ptr;
            }
            *p++ = '\n';
          }
        }
        if (::write(null_fd, text.data(), size_t(p - text.data())) < 0) std::abort();
      });
  ::close(null_fd);
#else
  state.SkipWithError("the zel tool was not built");
#endif
}

} // namespace

BENCHMARK(BM_Output2)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_PunchTime)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_PunchFrequency)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_CsvWrite)->Arg(65536)->Arg(1 << 20)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CsvRead)->Arg(65536)->Arg(262144)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MatWrite)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ZelCat)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace zel_bench
