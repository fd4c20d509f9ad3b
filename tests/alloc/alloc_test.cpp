// Allocation failure on every path: armed with N, the N-th allocation fails
// (bad_alloc, or null for nothrow). Each exported function and class method
// runs with N = 1, 2, ... until it makes fewer than N allocations; each time it
// answers a documented code, keeps its outputs consistent, leaves what it
// returns closable, no file open and no memory leaked (LeakSanitizer, asan).
#include <gtest/gtest.h>

#include <functional>
#include <numeric>
#include <optional>
#include "dac/dac_test_support.h"
#include "rpc/rpc3_support.h"
#include "solver_export/export_entry.h"
#include "solver_export/record_runtime/record_unit.h"
#include "zel.h"

namespace {

// The allocation that fails in the next armed call, the one armed now (0: none), the count since arming.
long g_trial = 0, g_fail_at = 0, g_count = 0;
bool g_failed = false; // whether the armed allocation was reached

bool fail_now() { return g_fail_at != 0 && ++g_count == g_fail_at && (g_failed = true); }

void *allocate(std::size_t n, std::size_t align, bool nothrow) {
  void *p = nullptr;
  if (!fail_now() && (align <= alignof(std::max_align_t) ? (p = std::malloc(n ? n : 1)) != nullptr
                                                         : posix_memalign(&p, align, n ? n : 1) == 0))
    return p;
  if (!nothrow) throw std::bad_alloc();
  return nullptr;
}

} // namespace

#define ZEL_REPLACE(op)                                                                                                \
 void *operator op(std::size_t n) { return allocate(n, 0, false); }                                                    \
 void *operator op(std::size_t n, const std::nothrow_t &) noexcept { return allocate(n, 0, true); }                    \
 void *operator op(std::size_t n, std::align_val_t a) { return allocate(n, std::size_t(a), false); }                   \
 void *operator op(std::size_t n, std::align_val_t a, const std::nothrow_t &) noexcept {                               \
  return allocate(n, std::size_t(a), true);                                                                            \
 }
#define ZEL_RELEASE(op)                                                                                                \
 void operator op(void *p) noexcept { std::free(p); }                                                                  \
 void operator op(void *p, const std::nothrow_t &) noexcept { std::free(p); }                                          \
 void operator op(void *p, std::size_t) noexcept { std::free(p); }                                                     \
 void operator op(void *p, std::align_val_t) noexcept { std::free(p); }                                                \
 void operator op(void *p, std::align_val_t, const std::nothrow_t &) noexcept { std::free(p); }                        \
 void operator op(void *p, std::size_t, std::align_val_t) noexcept { std::free(p); }
ZEL_REPLACE(new)
ZEL_REPLACE(new[])
ZEL_RELEASE(delete)
ZEL_RELEASE(delete[])

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<unsigned char>;

// Runs f with allocation g_trial failing.
template <class F> auto armed(F &&f) {
  g_count = 0, g_failed = false, g_fail_at = g_trial;
  auto r = f();
  return g_fail_at = 0, r;
}

// Codes added up, evaluated from left to right.
int sum(std::initializer_list<int> codes) { return std::accumulate(codes.begin(), codes.end(), 0); }

// The OUTPUT2 scratch from the heap, each area counted as one allocation.
const zel::modal_export::ScratchSource kCountedScratch{
    [](int64_t bytes) -> void * { return fail_now() ? nullptr : std::calloc(1, size_t(bytes)); }, std::free};

// A file's bytes; for an RPC III file without the DATE value (the writer's clock).
Bytes bytes_of(const std::string &path, bool rpc = false) {
  Bytes b = zel_test::read_file_bytes(path);
  for (size_t r = 0; rpc && r + 128 <= b.size(); r += 128)
    if (std::memcmp(&b[r], "DATE", 5) == 0) std::fill_n(b.begin() + long(r) + 32, 96, 0);
  return b;
}
// A written output holds the reference bytes; one not written is not there. Either is then removed.
void expect_output(const std::string &path, bool written, const Bytes &reference, bool rpc = false) {
  if (written)
    EXPECT_EQ(bytes_of(path, rpc), reference) << path;
  else
    EXPECT_FALSE(fs::exists(path)) << path;
  std::error_code ec;
  fs::remove(path, ec);
}

// The inputs, built before anything is armed, and the reference outputs.
struct Inputs {
  zel_test::TempDir dir;
  zel_test::Rpc3File i16_file, f32_file;
  std::string i16 = dir.file("i16.rpc"), f32 = dir.file("f32.rpc"), dac = dir.file("in.dac");
  std::string out = dir.file("out"), saved_cwd = fs::current_path().string();
  std::vector<double> samples[3]; // [1] and [2]: the channels written
  std::vector<float> dac_samples = dac_test::ramp(300);
  Bytes rpc_ref, op2_ref, pch_ref;
  double steps[3] = {0.0, 0.5, 1.0}, uh[6] = {1, 2, 3, -4, 5e-3, 6e9}, bh[18] = {}; // 2 modes, 3 steps

  Inputs() {
    zel_test::WriterEnvironment clean_env;
    f32_file.floating = true;
    i16_file.write(i16), f32_file.write(f32);
    dac_test::DacBuilder d; // 12 details: two blocks of the details list
    d.samples = dac_samples, d.details = {{"Date", "Sat Dec  5 10:11:12 2026"}};
    for (int k = 1; k <= 11; ++k) d.details.push_back({"K" + std::to_string(k), "value"});
    d.write(dir, "in.dac");
    for (int i = 0; i < 600; ++i)
      samples[1 + i / 300].push_back(double((37 * (1 + i / 300) + i % 300 * 11) % 200 - 100));
    for (int i = 0; i < 18; ++i) bh[i] = 0.25 * i - 1;
    int status;
    void *w = zel_rpc_create(out.c_str(), 2, 300, 0.01, &status);
    put(w, 1), put(w, 2), zel_rpc_writeclose(w);
    rpc_ref = bytes_of(out, true);
    for (int p : {0, 1}) fes(p), (p ? pch_ref : op2_ref) = bytes_of(out), fs::remove(out);
    fs::current_path(dir.path()); // units written before they are opened go to fort.<n> here
  }
  ~Inputs() { fs::current_path(saved_cwd); }
  const char *text(int c, const char *t) const { return c == 1 ? t : nullptr; }
  int put(void *w, int c) const {
    return zel_rpc_putchannel(w, c, 300, samples[c].data(), text(c, "load"), text(c, "kN"));
  }
  int set(rpc3file_output &w, int c) const {
    return w.setChannel(c, 300, samples[c].data(), text(c, "load"), text(c, "kN"));
  }
  int fes(int to_punch) const {
    return zel_fes_write_mcs(to_punch, 2, 3, 0, steps, uh, bh, uh, bh, uh, bh, 0, out.c_str());
  }
  void *open_rpc() const {
    int c, p, s;
    double dt;
    return zel_rpc_open(i16.c_str(), &c, &p, &dt, nullptr, &s);
  }
  void *open_dac() const {
    int n, s;
    double r, sp;
    return zel_dac_open(dac.c_str(), &n, &r, &sp, &s);
  }
  // n values of channel c of an RPC III input from point first on.
  void expect_rpc(const std::string &path, int c, int64_t first, const double *v, int64_t n) const {
    const zel_test::Rpc3File &file = path == i16 ? i16_file : f32_file;
    for (int64_t k = 0; k < n; ++k) ASSERT_EQ(v[k], file.expected(c, first + k)) << "point " << first + k;
  }
  void expect_dac(const double *v) const {
    for (size_t k = 0; k < 300; ++k) ASSERT_EQ(v[k], dac_samples[k]) << k;
  }
};

// call arms once, checks, closes and returns the call's code: success when no allocation failed, else one of
// on_failure.
struct Case {
  std::string name;
  std::function<int(const Inputs &)> call;
  int success;
  std::vector<int> on_failure;
};
void PrintTo(const Case &c, std::ostream *os) { *os << c.name; }

// initRead with a budget (MiB) on one of the inputs.
Case init_read(const char *label, bool floating, int budget) {
  return {std::string("rpc3file_input_initRead_") + label,
          [=](const Inputs &in) {
            const std::string &path = floating ? in.f32 : in.i16;
            rpc3file_input r(path.c_str());
            int c = -1, p = -1;
            double dt, v[768];
            const int code = armed([&] { return r.initRead(budget), r.getStatus(); });
            const bool refused = code == ZEL_RPC_OUT_OF_MEMORY; // reads as a file without channels
            r.getInfo(c, p, dt, nullptr);
            EXPECT_EQ(c, refused ? 0 : 2);
            EXPECT_EQ(p, refused ? 0 : 768);
            EXPECT_EQ(r.getData(2, v), refused ? ZEL_RPC_CHANNEL_RANGE : 0);
            if (!refused) in.expect_rpc(path, 2, 0, v, 768);
            return code;
          },
          0,
          {ZEL_RPC_OUT_OF_MEMORY}};
}

// call, armed, on a handle of the int16 input (the close's code is added) or on a reader of it.
std::function<int(const Inputs &)> on_rpc(int (*call)(void *)) {
  return [=](const Inputs &in) {
    void *h = in.open_rpc();
    return sum({armed([&] { return call(h); }), zel_rpc_readclose(h)});
  };
}
std::function<int(const Inputs &)> on_reader(int (*call)(rpc3file_input &)) {
  return [=](const Inputs &in) {
    rpc3file_input r(in.i16.c_str());
    return r.initRead(0), armed([&] { return call(r); });
  };
}

// The modal export through one of its entries: 1 and a complete file, or
// another code and no file. The upper-case writers return nothing (-1).
Case modal(const char *name, int to_punch, int (*entry)(const Inputs &, int), std::vector<int> on_failure) {
  return {name,
          [=](const Inputs &in) {
            const Bytes &ref = to_punch ? in.pch_ref : in.op2_ref;
            int r = armed([&] { return entry(in, to_punch); });
            const bool complete = bytes_of(in.out) == ref;
            if (r < 0) r = complete ? 1 : 2;
            EXPECT_FALSE(r == 1 && !complete && g_failed) << "1 though the file was not written";
            return expect_output(in.out, r == 1 && (complete || !g_failed), ref), r;
          },
          1, on_failure};
}

// An OUTPUT2 routine on a unit never opened, which it connects to fort.<unit>.
Case op2_routine(const char *name, void (*routine)(const int32_t *unit)) {
  return {name,
          [=](const Inputs &) {
            const int32_t unit = 7, reference = 8;
            routine(&reference), zel::records::unit(reference).close();
            armed([&] { return routine(&unit), 0; });
            zel::records::unit(unit).close();
            const Bytes ref = bytes_of("fort.8");
            return expect_output("fort.7", !g_failed || bytes_of("fort.7") == ref, ref), 0;
          },
          0,
          {0}};
}
const int32_t kOne = 1, kThree = 3;
const double kColumn[3] = {1.25, -2.5, 1e300};

const std::vector<Case> kCases = {
    // ---- RPC III: exported functions
    {"zel_rpc_sniff", [](const Inputs &in) { return armed([&] { return zel_rpc_sniff(in.i16.c_str()); }); }, 1, {0}},
    {"zel_rpc_open",
     [](const Inputs &in) {
       int c = -1, p = -1, s = -1;
       double dt = -1, v[4];
       char date[96] = "x";
       void *h = armed([&] { return zel_rpc_open(in.i16.c_str(), &c, &p, &dt, date, &s); });
       if (s == ZEL_RPC_OK) {
         EXPECT_TRUE(h && c == 2 && p == 768 && dt == 0.01 && date[0] == 'S');
       } else {
         EXPECT_TRUE(c == 0 && p == 0 && dt == 0.0 && date[0] == 0 && (!h || !zel_rpc_getnpts(h, 1, 4, v)));
       }
       return (h ? zel_rpc_readclose(h) : 0) + s;
     },
     0,
     {ZEL_RPC_OPEN_FAILED}},
    {"zel_rpc_attributes",
     on_rpc([](void *h) {
       char d[96], u[96];
       return zel_rpc_attributes(h, 1, d, u);
     }),
     0,
     {}},
    {"zel_rpc_getnpts",
     [](const Inputs &in) {
       void *h = in.open_rpc();
       double v[300];
       const int got = armed([&] { return zel_rpc_getnpts(h, 2, 300, v); });
       EXPECT_EQ(got ? got : zel_rpc_getnpts(h, 2, 300, v), 300); // nothing delivered: the cursor did not move
       in.expect_rpc(in.i16, 2, 0, v, 300);
       return sum({zel_rpc_readclose(h), got});
     },
     300,
     {0}},
    {"zel_rpc_getwindow",
     on_rpc([](void *h) {
       double t[7], v[7];
       return zel_rpc_getwindow(h, 1, 1.0, 3, t, v);
     }),
     0,
     {}},
    {"zel_rpc_readclose",
     [](const Inputs &in) {
       void *h = in.open_rpc();
       return armed([&] { return zel_rpc_readclose(h); });
     },
     0,
     {}},
    {"zel_rpc_data",
     [](const Inputs &in) {
       int p = -1;
       double dt = -1, v[768];
       const int code = armed([&] { return zel_rpc_data(in.f32.c_str(), 2, &p, &dt, v); });
       EXPECT_EQ(p, code ? 0 : 768);
       EXPECT_EQ(dt, code ? 0.0 : 0.01);
       if (!code) in.expect_rpc(in.f32, 2, 0, v, 768);
       return code;
     },
     0,
     {ZEL_RPC_OPEN_FAILED}},
    {"zel_rpc_create",
     [](const Inputs &in) {
       int s = -1;
       void *w = armed([&] { return zel_rpc_create(in.out.c_str(), 2, 300, 0.01, &s); });
       EXPECT_EQ(w != nullptr, s == ZEL_RPC_OK || s == ZEL_RPC_OUT_OF_MEMORY);
       if (w) { EXPECT_EQ(sum({in.put(w, 1), s ? 0 : in.put(w, 2), zel_rpc_writeclose(w)}), s); } // 10: takes nothing
       return expect_output(in.out, s == ZEL_RPC_OK, in.rpc_ref, true), s;
     },
     0,
     {ZEL_RPC_OK, ZEL_RPC_OPEN_FAILED, ZEL_RPC_OUT_OF_MEMORY}}, // 0: the header went out block by block
    {"zel_rpc_putchannel",
     [](const Inputs &in) {
       int s;
       void *w = zel_rpc_create(in.out.c_str(), 2, 300, 0.01, &s);
       const int code = armed([&] { return in.put(w, 1); });
       EXPECT_EQ(sum({in.put(w, 1), in.put(w, 2), zel_rpc_writeclose(w)}),
                 0); // nothing changed: a retry completes the file
       return expect_output(in.out, true, in.rpc_ref, true), code;
     },
     0,
     {ZEL_RPC_OUT_OF_MEMORY}},
    {"zel_rpc_writeclose",
     [](const Inputs &in) {
       int s;
       void *w = zel_rpc_create(in.out.c_str(), 2, 300, 0.01, &s);
       const int code = sum({in.put(w, 1), in.put(w, 2), armed([&] { return zel_rpc_writeclose(w); })});
       return expect_output(in.out, true, in.rpc_ref, true), code;
     },
     0,
     {0}}, // the header never fails for lack of memory
    {"zel_rpc_geterror",
     [](const Inputs &) {
       char m[64];
       return armed([&] { return zel_rpc_geterror(10, m), 0; });
     },
     0,
     {}},
    // ---- RPC III: classes
    {"rpc3file_input_constructor",
     [](const Inputs &in) {
       std::optional<rpc3file_input> r;
       int c = -1, p;
       double dt;
       const int code = armed([&] { return r.emplace(in.i16.c_str()), r->getStatus(); });
       r->initRead(0), r->getInfo(c, p, dt, nullptr);
       EXPECT_EQ(c, code == 0 ? 2 : 0);
       return code;
     },
     0,
     {ZEL_RPC_OPEN_FAILED}},
    init_read("i16_budget0", false, 0),
    init_read("i16_budget64", false, 64),
    init_read("f32_budget0", true, 0),
    init_read("f32_budget64", true, 64),
    {"rpc3file_input_getInfo",
     on_reader([](rpc3file_input &r) {
       int c, p;
       double dt;
       return r.getInfo(c, p, dt, nullptr);
     }),
     0,
     {}},
    {"rpc3file_input_getAttributes",
     on_reader([](rpc3file_input &r) {
       char d[96];
       return r.getAttributes(2, d, d);
     }),
     0,
     {}},
    {"rpc3file_input_getHeader", on_reader([](rpc3file_input &r) { return r.getHeader().channels; }), 2, {}},
    {"rpc3file_input_getData_whole",
     on_reader([](rpc3file_input &r) {
       double v[768];
       return r.getData(1, v);
     }),
     0,
     {}},
    {"rpc3file_input_getData_count",
     [](const Inputs &in) {
       rpc3file_input r(in.i16.c_str());
       double v[5];
       const int got = (r.initRead(0), armed([&] { return r.getData(1, 5, v); }));
       EXPECT_EQ(got ? got : r.getData(1, 5, v), 5); // nothing delivered: the cursor did not move
       in.expect_rpc(in.i16, 1, 0, v, 5);
       return got;
     },
     5,
     {0}},
    {"rpc3file_input_getWindow",
     on_reader([](rpc3file_input &r) {
       double t[5], v[5];
       return r.getWindow(2, 0.0, t, v, 2);
     }),
     0,
     {}},
    {"rpc3file_output_constructor",
     [](const Inputs &in) {
       std::optional<rpc3file_output> w;
       const int code = armed([&] { return w.emplace(in.out.c_str(), 2, 300, 0.01), w->getStatus(); });
       EXPECT_EQ(sum({in.set(*w, 1), code ? 0 : in.set(*w, 2)}), code);
       w.reset();
       return expect_output(in.out, code == ZEL_RPC_OK, in.rpc_ref, true), code;
     },
     0,
     {ZEL_RPC_OK, ZEL_RPC_OUT_OF_MEMORY}},
    {"rpc3file_output_setChannel",
     [](const Inputs &in) {
       std::optional<rpc3file_output> w(std::in_place, in.out.c_str(), 2, 300, 0.01);
       const int code = sum({in.set(*w, 1), armed([&] { return in.set(*w, 2); })});
       EXPECT_EQ(sum({w->getStatus(), code ? in.set(*w, 2) : 0}), 0); // nothing changed: a retry completes the file
       return w.reset(), expect_output(in.out, true, in.rpc_ref, true), code;
     },
     0,
     {ZEL_RPC_OUT_OF_MEMORY}},
    {"rpc3file_output_destructor",
     [](const Inputs &in) {
       std::optional<rpc3file_output> w(std::in_place, in.out.c_str(), 2, 300, 0.01);
       const int code = sum({in.set(*w, 1), in.set(*w, 2), armed([&] { return w.reset(), 0; })});
       return expect_output(in.out, true, in.rpc_ref, true), code;
     },
     0,
     {0}},
    {"rpc_channel_timehistory",
     [](const Inputs &) {
       std::optional<rpc_channel_timehistory> t;
       return armed([&] { return t.emplace(), t->map; });
     },
     0,
     {}},
    // ---- DAC
    {"zel_dac_sniff", [](const Inputs &in) { return armed([&] { return zel_dac_sniff(in.dac.c_str()); }); }, 1, {0}},
    {"zel_dac_open",
     [](const Inputs &in) {
       int n = -1, s = -1;
       double rate = -1, spare = -1;
       void *h = armed([&] { return zel_dac_open(in.dac.c_str(), &n, &rate, &spare, &s); });
       EXPECT_EQ(n, s ? 0 : 300);
       EXPECT_EQ(rate, s ? 0.0 : 2.0);
       EXPECT_EQ(spare, 0.0);
       EXPECT_EQ(h == nullptr, g_trial == 1 && s == ZEL_DAC_BAD_HANDLE); // only the handle's own allocation
       if (h) { EXPECT_EQ(zel_dac_close(h), s == ZEL_DAC_OPEN_FAILED ? ZEL_DAC_NOT_OPEN : 0); }
       return s;
     },
     0,
     {ZEL_DAC_BAD_HANDLE, ZEL_DAC_OPEN_FAILED}},
    {"zel_dac_getnpts",
     [](const Inputs &in) {
       void *h = in.open_dac();
       double v[300];
       const int got = armed([&] { return zel_dac_getnpts(h, 300, v); }); // without scratch: straight into v
       in.expect_dac(v);
       return sum({zel_dac_close(h), got});
     },
     300,
     {300}},
    {"zel_dac_getwindow",
     [](const Inputs &in) {
       void *h = in.open_dac();
       double t[5], v[5];
       return sum({armed([&] { return zel_dac_getwindow(h, 300, 0.0, 0.5, 10.0, 2, t, v); }), zel_dac_close(h)});
     },
     0,
     {}},
    {"zel_dac_close",
     [](const Inputs &in) {
       void *h = in.open_dac();
       return armed([&] { return zel_dac_close(h); });
     },
     0,
     {}},
    {"zel_dac_read",
     [](const Inputs &in) {
       int n = -1;
       double t0, rate = -1;
       char date[121] = "", xl[25], xn[29], yl[25], yn[29];
       const int code = armed([&] { return zel_dac_read(in.dac.c_str(), &n, &t0, &rate, date, xl, xn, yl, yn); });
       EXPECT_EQ(n, code ? 0 : 300);
       EXPECT_EQ(rate, code ? 0.0 : 2.0);
       if (!code) { EXPECT_STREQ(date, "Sat Dec  5 10:11:12 2026"); }
       return code;
     },
     0,
     {ZEL_DAC_BAD_HANDLE, ZEL_DAC_OPEN_FAILED}},
    {"zel_dac_data",
     [](const Inputs &in) {
       int n = -1;
       double t0, rate, v[300];
       const int code = armed([&] { return zel_dac_data(in.dac.c_str(), &n, &t0, &rate, v); });
       EXPECT_EQ(n, code ? 0 : 300);
       if (!code) in.expect_dac(v);
       return code;
     },
     0,
     {ZEL_DAC_BAD_HANDLE, ZEL_DAC_OPEN_FAILED}},
    {"zel_dac_write",
     [](const Inputs &in) {
       const std::vector<double> s(in.dac_samples.begin(), in.dac_samples.end());
       const int code = armed([&] { return zel_dac_write(in.out.c_str(), 300, 0.0, 2.0, s.data(), "x", "Load", "y"); });
       if (code) return expect_output(in.out, false, {}), code;
       int n;
       double t0, rate, v[300];
       char date[121], xl[25], xn[29], yl[25], yn[29];
       EXPECT_EQ(zel_dac_data(in.out.c_str(), &n, &t0, &rate, v), 0);
       in.expect_dac(v);
       EXPECT_EQ(zel_dac_read(in.out.c_str(), &n, &t0, &rate, date, xl, xn, yl, yn), 0);
       EXPECT_STRNE(date, "Unknown") << "written without its Date detail";
       return fs::remove(in.out), code;
     },
     0,
     {ZEL_DAC_BAD_HANDLE, ZEL_DAC_OPEN_FAILED}},
    {"zel_fes_status", [](const Inputs &) { return armed(zel_fes_status); }, 0, {}},
    {"zel_dac_geterror",
     [](const Inputs &) {
       char m[64];
       return armed([&] { return zel_dac_geterror(18, m), 0; });
     },
     0,
     {}},
    // ---- Modal export (the public entry takes its scratch from calloc, which is not counted)
    modal("zel_fes_write_mcs_output2", 0, [](const Inputs &in, int p) { return in.fes(p); }, {0, 2}),
    modal("zel_fes_write_mcs_punch", 1, [](const Inputs &in, int p) { return in.fes(p); }, {2}),
    modal("zel_fes_write_mcs_output2_scratch_counted", 0,
          [](const Inputs &in, int) {
            return zel::modal_export::write_modal_export(0, 2, 3, 0, in.steps, in.uh, in.bh, in.uh, in.bh, in.uh, in.bh,
                                                         0, in.out.c_str(), kCountedScratch);
          },
          {0, 2}),
    modal("ZEL_OP2_WMC", 0,
          [](const Inputs &in, int) { // returns nothing: the file tells
            int32_t m = 2, n = 3, d = 0, names[5], domain = 0;
            double c[18];
            ZEL_OP2_WMC(&m, &n, &d, names, c, c + 6, c + 12, in.steps, in.uh, in.bh, in.uh, in.bh, in.uh, in.bh,
                        &domain, in.out.c_str(), int64_t(in.out.size()));
            return -1;
          },
          {1, 2}),
    modal("ZEL_PCH_WMC", 1,
          [](const Inputs &in, int) {
            int32_t m = 2, n = 3, d = 0, domain = 0, len = int32_t(in.out.size());
            return ZEL_PCH_WMC(&m, &n, &d, in.steps, in.uh, in.bh, in.uh, in.bh, in.uh, in.bh, &domain, in.out.c_str(),
                               len),
                   -1;
          },
          {1, 2}),
    op2_routine("ZEL_OP2ISET",
                [](const int32_t *u) { ZEL_OP2ISET("TOL", &kOne, &kOne, &kOne, &kOne, &kOne, &kOne, &kOne, u, 3); }),
    op2_routine("ZEL_OP2WRIT", [](const int32_t *u) { ZEL_OP2WRIT(&kOne, &kThree, &kOne, &kOne, u, kColumn); }),
    op2_routine("ZEL_OP2ESET", [](const int32_t *u) { ZEL_OP2ESET(u); }),
    // ---- Version
    {"zel_version", [](const Inputs &) { return std::strcmp(armed(zel_version), zel_build_version()); }, 0, {}},
    {"zel_build_version", [](const Inputs &) { return std::strcmp(armed(zel_build_version), "") == 0; }, 0, {}},
};

class AllocationFailure : public ::testing::TestWithParam<Case> {};

TEST_P(AllocationFailure, DocumentedCodeConsistentOutputsClosable) {
  const Case &c = GetParam();
  Inputs in;
  for (g_trial = 1;; ++g_trial) {
    ASSERT_LT(g_trial, 5000) << "the call never completed";
    SCOPED_TRACE("allocation " + std::to_string(g_trial) + " fails");
    const int fds = dac_test::open_descriptors(), code = c.call(in);
    EXPECT_EQ(dac_test::open_descriptors(), fds) << "a file left open";
    if (!g_failed) {
      EXPECT_EQ(code, c.success);
      break;
    }
    EXPECT_TRUE(std::count(c.on_failure.begin(), c.on_failure.end(), code)) << c.name << " returned " << code;
    if (HasFailure()) return;
  }
  std::printf("%s: %ld allocation points\n", c.name.c_str(), g_trial - 1);
}

INSTANTIATE_TEST_SUITE_P(Calls, AllocationFailure, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<Case> &i) { return i.param.name; });

} // namespace
