// Allocation failure on every path: each exported function and class method runs with its N-th allocation failing
// (bad_alloc, or null for nothrow), N = 1, 2, ... until it completes; each time it answers a documented code, keeps its
// outputs consistent, leaves what it returns closable, no file open and no memory leaked (LeakSanitizer, asan).
#include <gtest/gtest.h>

#include "dac/dac_test_support.h"
#include "rpc/rpc3_support.h"
#include "solver_export/export_entry.h"
#include "solver_export/record_runtime/record_unit.h"

namespace {

// The allocation that fails in the next armed call, the one armed now (0: none), the count since arming.
long g_trial = 0, g_fail_at = 0, g_count = 0;
bool g_failed = false; // whether the armed allocation was reached

bool fail_now() { return g_fail_at != 0 && ++g_count == g_fail_at && (g_failed = true); }

void *allocate(std::size_t n, std::align_val_t a, bool nothrow) {
  void *p = nullptr;
  const std::size_t align = std::size_t(a);
  if (!fail_now() && (align <= alignof(std::max_align_t) ? (p = std::malloc(n ? n : 1)) != nullptr
                                                         : posix_memalign(&p, align, n ? n : 1) == 0))
    return p;
  if (!nothrow) throw std::bad_alloc();
  return nullptr;
}

} // namespace

#define ZEL_REPLACE(op, del)                                                                                           \
 void *operator op(std::size_t n) { return allocate(n, {}, false); }                                                   \
 void *operator op(std::size_t n, const std::nothrow_t &) noexcept { return allocate(n, {}, true); }                   \
 void *operator op(std::size_t n, std::align_val_t a) { return allocate(n, a, false); }                                \
 void *operator op(std::size_t n, std::align_val_t a, const std::nothrow_t &) noexcept {                               \
  return allocate(n, a, true);                                                                                         \
 }                                                                                                                     \
 void operator del(void *p) noexcept { std::free(p); }                                                                 \
 void operator del(void *p, const std::nothrow_t &) noexcept { std::free(p); }                                         \
 void operator del(void *p, std::size_t) noexcept { std::free(p); }                                                    \
 void operator del(void *p, std::align_val_t) noexcept { std::free(p); }                                               \
 void operator del(void *p, std::align_val_t, const std::nothrow_t &) noexcept { std::free(p); }                       \
 void operator del(void *p, std::size_t, std::align_val_t) noexcept { std::free(p); }
ZEL_REPLACE(new, delete)
ZEL_REPLACE(new[], delete[])

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<unsigned char>;

// Runs f with allocation g_trial failing.
template <class F> auto armed(F &&f) {
  g_count = 0, g_failed = false, g_fail_at = g_trial;
  auto r = f();
  return g_fail_at = 0, r;
}

// The OUTPUT2 scratch from the heap, each area counted as one allocation.
const zel::modal_export::ScratchSource kCounted{
    [](int64_t bytes) -> void * { return fail_now() ? nullptr : std::calloc(1, size_t(bytes)); }, std::free};

// A file's bytes; for an RPC III file without the DATE value (the writer's clock).
Bytes bytes_of(const std::string &path, bool rpc = false) {
  Bytes b = zel_test::read_file<Bytes>(path);
  for (size_t r = 0; rpc && r + 128 <= b.size(); r += 128)
    if (std::memcmp(&b[r], "DATE", 5) == 0) std::fill_n(b.begin() + long(r) + 32, 96, 0);
  return b;
}
// A written output holds the reference bytes; one not written is not there. Either is then removed.
void expect_output(const std::string &path, bool written, const Bytes &reference, bool rpc = false) {
  EXPECT_EQ(fs::exists(path), written) << path;
  if (written) { EXPECT_EQ(bytes_of(path, rpc), reference) << path; }
  fs::remove(path);
}

// Every output a call may fill, fresh for each trial.
struct Out {
  int n = -1, c = -1, s = -1;
  double dt = -1, rate = -1, spare = -1, t0 = -1, t[7], v[768];
  char date[121] = "x", xl[25], xn[29], yl[25], yn[29];
};

// The inputs, built before anything is armed, and the reference outputs.
struct Inputs {
  zel_test::TempDir dir;
  zel_test::Rpc3File i16_file, f32_file;
  std::string i16 = dir.file("i16.rpc"), f32 = dir.file("f32.rpc"), dac = dir.file("in.dac");
  std::string out = dir.file("out"), saved_cwd = fs::current_path().string();
  std::vector<double> samples[3]; // [1] and [2]: the channels written
  const char *desc[3] = {nullptr, "load", nullptr}, *units[3] = {nullptr, "kN", nullptr}; // channel 2 keeps its texts
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
    void *w = create(&status);
    put(w, 1), put(w, 2), zel_rpc_writeclose(w);
    rpc_ref = bytes_of(out, true);
    for (int p : {0, 1}) mcs(p), (p ? pch_ref : op2_ref) = bytes_of(out), fs::remove(out);
    fs::current_path(dir.path()); // units written before they are opened go to fort.<n> here
  }
  ~Inputs() { fs::current_path(saved_cwd); }
  void *create(int *status) const { return zel_rpc_create(out.c_str(), 2, 300, 0.01, status); }
  int put(void *w, int c) const { return zel_rpc_putchannel(w, c, 300, samples[c].data(), desc[c], units[c]); }
  int set(rpc3file_output &w, int c) const { return w.setChannel(c, 300, samples[c].data(), desc[c], units[c]); }
  int mcs(int to_punch, const zel::modal_export::ScratchSource *scratch = nullptr) const {
    return scratch ? zel::modal_export::write_modal_export(to_punch, 2, 3, 0, steps, uh, bh, uh, bh, uh, bh, 0,
                                                           out.c_str(), *scratch)
                   : zel_fes_write_mcs(to_punch, 2, 3, 0, steps, uh, bh, uh, bh, uh, bh, 0, out.c_str());
  }
  void *open_rpc(Out &o) const { return zel_rpc_open(i16.c_str(), &o.c, &o.n, &o.dt, o.date, &o.s); }
  void *open_dac(Out &o) const { return zel_dac_open(dac.c_str(), &o.n, &o.rate, &o.spare, &o.s); }
  int dac_read(const std::string &path, Out &o) const {
    return zel_dac_read(path.c_str(), &o.n, &o.t0, &o.rate, o.date, o.xl, o.xn, o.yl, o.yn);
  }
  int dac_data(const std::string &path, Out &o) const { return zel_dac_data(path.c_str(), &o.n, &o.t0, &o.rate, o.v); }
  // n values of channel c of an RPC III input from point 0 on; the samples of the DAC input.
  void expect_rpc(const std::string &path, int c, const double *v, int64_t n) const {
    for (int64_t k = 0; k < n; ++k) ASSERT_EQ(v[k], (path == i16 ? i16_file : f32_file).expected(c, k)) << k;
  }
  void expect_dac(const double *v) const {
    for (size_t k = 0; k < 300; ++k) ASSERT_EQ(v[k], dac_samples[k]) << k;
  }
};

using I = const Inputs &;
using Call = std::function<int(I, Out &)>;

// call arms once, checks, closes and returns the call's code: success when no allocation failed, else one of on_failure
// (none: the call never allocates).
struct Case {
  std::string name;
  Call call;
  int success;
  std::vector<int> on_failure;
};
void PrintTo(const Case &c, std::ostream *os) { *os << c.name; }

// initRead with a budget (MiB) on one of the inputs: refused, it reads as a file without channels.
Case init_read(const char *label, bool floating, int budget) {
  Call call = [=](I in, Out &o) {
    const std::string &path = floating ? in.f32 : in.i16;
    rpc3file_input r(path.c_str());
    const int code = armed([&] { return r.initRead(budget), r.getStatus(); });
    const int data = (r.getInfo(o.c, o.n, o.dt, nullptr), r.getData(2, o.v));
    EXPECT_EQ((std::tuple{o.c, o.n, data}), (code ? std::tuple{0, 0, +ZEL_RPC_CHANNEL_RANGE} : std::tuple{2, 768, 0}));
    if (!code) in.expect_rpc(path, 2, o.v, 768);
    return code;
  };
  return {std::string("rpc3file_input_initRead_") + label, call, 0, {ZEL_RPC_OUT_OF_MEMORY}};
}

// A writer's creation (as zel_rpc_create, or with its settings given): 0, the header went out block by block; 10, the
// writer takes nothing.
Case rpc_create(const char *name, void *(*create)(I, int *)) {
  Call call = [=](I in, Out &o) {
    void *w = armed([&] { return create(in, &o.s); });
    EXPECT_EQ(w != nullptr, o.s == ZEL_RPC_OK || o.s == ZEL_RPC_OUT_OF_MEMORY);
    if (w) {
      EXPECT_EQ((std::tuple{in.put(w, 1), o.s ? 0 : in.put(w, 2), zel_rpc_writeclose(w)}), (std::tuple{o.s, 0, 0}));
    }
    return expect_output(in.out, o.s == ZEL_RPC_OK, in.rpc_ref, true), o.s;
  };
  return {name, call, 0, {ZEL_RPC_OK, ZEL_RPC_OPEN_FAILED, ZEL_RPC_OUT_OF_MEMORY}};
}

// The modal export through one of its entries: 1 and a complete file, or another code and no file. The upper-case
// writers return nothing (-1).
Case modal(const char *name, int to_punch, int (*entry)(I, int), std::vector<int> on_failure) {
  Call call = [=](I in, Out &) {
    const Bytes &ref = to_punch ? in.pch_ref : in.op2_ref;
    int r = armed([&] { return entry(in, to_punch); });
    const bool complete = bytes_of(in.out) == ref;
    if (r < 0) r = complete ? 1 : 2;
    EXPECT_FALSE(r == 1 && !complete && g_failed) << "1 though the file was not written";
    return expect_output(in.out, r == 1 && (complete || !g_failed), ref), r;
  };
  return {name, call, 1, on_failure};
}

// An OUTPUT2 routine on a unit never opened, which it connects to fort.<unit>: complete, or not there.
Case op2_routine(const char *name, void (*routine)(const int32_t *unit)) {
  Call call = [=](I, Out &) {
    const int32_t unit = 7, reference = 8;
    routine(&reference), zel::records::unit(reference).close();
    armed([&] { return routine(&unit), 0; });
    zel::records::unit(unit).close();
    const Bytes ref = bytes_of("fort.8");
    return expect_output("fort.7", !g_failed || bytes_of("fort.7") == ref, ref), 0;
  };
  return {name, call, 0, {0}};
}
const int32_t k1 = 1, k3 = 3;
const double kColumn[3] = {1.25, -2.5, 1e300};

// clang-format off
const std::vector<Case> kCases = {
    {"zel_rpc_sniff", [](I in, Out &) { return armed([&] { return zel_rpc_sniff(in.i16.c_str()); }); }, 1, {0}},
    {"zel_rpc_open", [](I in, Out &o) { // refused: no handle, or one that reads nothing
       void *h = armed([&] { return in.open_rpc(o); });
       EXPECT_EQ((std::tuple{o.c, o.n, o.dt, o.date[0]}),
                 (o.s ? std::tuple{0, 0, 0.0, '\0'} : std::tuple{2, 768, 0.01, 'S'}));
       EXPECT_EQ(h && zel_rpc_getnpts(h, 1, 4, o.v) == 4, o.s == 0);
       if (h) { EXPECT_EQ(zel_rpc_readclose(h), 0); }
       return o.s; }, 0, {ZEL_RPC_OPEN_FAILED}},
    {"zel_rpc_getnpts", [](I in, Out &o) { // nothing delivered: the cursor did not move
       void *h = in.open_rpc(o);
       const int got = armed([&] { return zel_rpc_getnpts(h, 2, 300, o.v); });
       EXPECT_EQ((std::tuple{got ? got : zel_rpc_getnpts(h, 2, 300, o.v), zel_rpc_readclose(h)}),
                 (std::tuple{300, 0}));
       return in.expect_rpc(in.i16, 2, o.v, 300), got; }, 300, {0}},
    {"zel_rpc_data", [](I in, Out &o) {
       const int code = armed([&] { return zel_rpc_data(in.f32.c_str(), 2, &o.n, &o.dt, o.v); });
       EXPECT_EQ((std::tuple{o.n, o.dt}), (code ? std::tuple{0, 0.0} : std::tuple{768, 0.01}));
       if (!code) in.expect_rpc(in.f32, 2, o.v, 768);
       return code; }, 0, {ZEL_RPC_OPEN_FAILED}},
    rpc_create("zel_rpc_create", [](I in, int *s) { return in.create(s); }),
    rpc_create("zel_rpc_create_as", [](I in, int *s) { return zel_rpc_create_as(in.out.c_str(), 2, 300, 0.01, 0, 0, 1, s); }),
    {"zel_rpc_putrecord", [](I in, Out &o) { // nothing changed: a retry keeps the record
       void *w = zel_rpc_create_as(in.out.c_str(), 2, 300, 0.01, 0, 0, 1, &o.s);
       const int code = armed([&] { return zel_rpc_putrecord(w, "EXTRA", "x"); });
       EXPECT_EQ((std::tuple{zel_rpc_putrecord(w, "EXTRA", "y"), zel_rpc_putrecord(w, "MORE", "z"), in.put(w, 1),
                             in.put(w, 2), zel_rpc_writeclose(w)}), (std::tuple{0, 9, 0, 0, 0}));
       return code; }, 0, {ZEL_RPC_OUT_OF_MEMORY}},
    {"zel_rpc_putchannel", [](I in, Out &o) { // nothing changed: a retry completes the file
       void *w = in.create(&o.s);
       const int code = armed([&] { return in.put(w, 1); });
       EXPECT_EQ((std::tuple{in.put(w, 1), in.put(w, 2), zel_rpc_writeclose(w)}), (std::tuple{0, 0, 0}));
       return expect_output(in.out, true, in.rpc_ref, true), code; }, 0, {ZEL_RPC_OUT_OF_MEMORY}},
    {"zel_rpc_writeclose", [](I in, Out &o) { // the header never fails for lack of memory
       void *w = in.create(&o.s);
       EXPECT_EQ((std::tuple{in.put(w, 1), in.put(w, 2)}), (std::tuple{0, 0}));
       const int code = armed([&] { return zel_rpc_writeclose(w); });
       return expect_output(in.out, true, in.rpc_ref, true), code; }, 0, {0}},
    {"rpc3file_input_constructor", [](I in, Out &o) {
       std::optional<rpc3file_input> r;
       const int code = armed([&] { return r.emplace(in.i16.c_str()), r->getStatus(); });
       EXPECT_EQ((r->initRead(0), r->getInfo(o.c, o.n, o.dt, nullptr), o.c), code ? 0 : 2);
       return code; }, 0, {ZEL_RPC_OPEN_FAILED}},
    init_read("i16_budget0", false, 0), // the value type does not change what is allocated
    init_read("f32_budget64", true, 64),
    {"rpc3file_input_getData_count", [](I in, Out &o) { // nothing delivered: the cursor did not move
       rpc3file_input r(in.i16.c_str());
       const int got = (r.initRead(0), armed([&] { return r.getData(1, 5, o.v); }));
       EXPECT_EQ(got ? got : r.getData(1, 5, o.v), 5);
       return in.expect_rpc(in.i16, 1, o.v, 5), got; }, 5, {0}},
    {"rpc3file_output_constructor", [](I in, Out &) {
       std::optional<rpc3file_output> w;
       const int code = armed([&] { return w.emplace(in.out.c_str(), 2, 300, 0.01), w->getStatus(); });
       EXPECT_EQ((std::tuple{in.set(*w, 1), code ? 0 : in.set(*w, 2)}), (std::tuple{code, 0}));
       return w.reset(), expect_output(in.out, code == ZEL_RPC_OK, in.rpc_ref, true), code; },
     0, {ZEL_RPC_OK, ZEL_RPC_OUT_OF_MEMORY}},
    {"rpc3file_output_setChannel", [](I in, Out &) { // nothing changed: a retry completes the file
       std::optional<rpc3file_output> w(std::in_place, in.out.c_str(), 2, 300, 0.01);
       EXPECT_EQ(in.set(*w, 1), 0);
       const int code = armed([&] { return in.set(*w, 2); });
       EXPECT_EQ((std::tuple{w->getStatus(), code ? in.set(*w, 2) : 0}), (std::tuple{0, 0}));
       return w.reset(), expect_output(in.out, true, in.rpc_ref, true), code; }, 0, {ZEL_RPC_OUT_OF_MEMORY}},
    {"rpc3file_output_destructor", [](I in, Out &) {
       std::optional<rpc3file_output> w(std::in_place, in.out.c_str(), 2, 300, 0.01);
       EXPECT_EQ((std::tuple{in.set(*w, 1), in.set(*w, 2)}), (std::tuple{0, 0}));
       armed([&] { return w.reset(), 0; });
       return expect_output(in.out, true, in.rpc_ref, true), 0; }, 0, {0}},
    {"zel_dac_sniff", [](I in, Out &) { return armed([&] { return zel_dac_sniff(in.dac.c_str()); }); }, 1, {0}},
    {"zel_dac_open", [](I in, Out &o) { // a failed open gives a handle, unless the handle itself found no memory
       void *h = armed([&] { return in.open_dac(o); });
       EXPECT_EQ((std::tuple{o.n, o.rate, o.spare}), (o.s ? std::tuple{0, 0.0, 0.0} : std::tuple{300, 2.0, 0.0}));
       EXPECT_EQ(h == nullptr, g_trial == 1 && o.s == ZEL_DAC_BAD_HANDLE);
       if (h) { EXPECT_EQ(zel_dac_close(h), o.s == ZEL_DAC_OPEN_FAILED ? ZEL_DAC_NOT_OPEN : 0); }
       return o.s; }, 0, {ZEL_DAC_BAD_HANDLE, ZEL_DAC_OPEN_FAILED}},
    {"zel_dac_getnpts", [](I in, Out &o) { // without its buffer the handle reads straight into v
       void *h = in.open_dac(o);
       const int got = armed([&] { return zel_dac_getnpts(h, 300, o.v); });
       EXPECT_EQ(zel_dac_close(h), 0);
       return in.expect_dac(o.v), got; }, 300, {300}},
    {"zel_dac_read", [](I in, Out &o) {
       const int code = armed([&] { return in.dac_read(in.dac, o); });
       EXPECT_EQ((std::tuple{o.n, o.rate}), (code ? std::tuple{0, 0.0} : std::tuple{300, 2.0}));
       EXPECT_EQ(std::string(o.date), code ? "x" : "Sat Dec  5 10:11:12 2026");
       return code; }, 0, {ZEL_DAC_BAD_HANDLE, ZEL_DAC_OPEN_FAILED}},
    {"zel_dac_data", [](I in, Out &o) {
       const int code = armed([&] { return in.dac_data(in.dac, o); });
       EXPECT_EQ(o.n, code ? 0 : 300);
       if (!code) in.expect_dac(o.v);
       return code; }, 0, {ZEL_DAC_BAD_HANDLE, ZEL_DAC_OPEN_FAILED}},
    {"zel_dac_write", [](I in, Out &o) { // a complete file with its Date detail, or none
       const std::vector<double> s(in.dac_samples.begin(), in.dac_samples.end());
       const int code = armed([&] { return zel_dac_write(in.out.c_str(), 300, 0, 2, s.data(), "x", "Load", "y"); });
       if (code) return expect_output(in.out, false, {}), code;
       EXPECT_EQ((std::tuple{in.dac_data(in.out, o), in.dac_read(in.out, o)}), (std::tuple{0, 0}));
       EXPECT_STRNE(o.date, "Unknown") << "written without its Date detail";
       return in.expect_dac(o.v), fs::remove(in.out), code; },
     0, {ZEL_DAC_BAD_HANDLE, ZEL_DAC_OPEN_FAILED}},
    // Calls that never allocate, all armed at once (the closes last).
    {"calls_that_never_allocate", [](I in, Out &o) {
       void *rpc = in.open_rpc(o), *dac = in.open_dac(o);
       rpc3file_input r(in.i16.c_str());
       std::optional<rpc_channel_timehistory> t;
       const std::array<int, 19> codes = (r.initRead(0), armed([&] { return std::array<int, 19>{
           zel_rpc_attributes(rpc, 1, o.date, o.xl), zel_rpc_getwindow(rpc, 1, 1.0, 3, o.t, o.v),
           zel_rpc_getrange(rpc, 2, 700, 68, o.v), zel_rpc_samples(rpc), zel_rpc_record(rpc, 5, o.date, o.xl),
           r.getInfo(o.c, o.n, o.dt, nullptr), r.getAttributes(2, o.date, o.xl), r.getHeader().channels,
           r.getData(1, o.v), r.getWindow(2, 0.0, o.t, o.v, 2), (t.emplace(), t->map),
           zel_dac_getwindow(dac, 300, 0.0, 0.5, 10.0, 2, o.t, o.v), zel_fes_status(),
           (zel_rpc_geterror(10, o.date), 0), (zel_dac_geterror(18, o.date), 0),
           std::strcmp(zel_version(), zel_build_version()), zel_build_version()[0] != 0,
           zel_rpc_readclose(rpc), zel_dac_close(dac)}; }));
       EXPECT_EQ(codes, (std::array<int, 19>{0, 0, 0, 768, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0}));
       return 0; }, 0, {}},
    // The public entry takes its scratch from calloc, which is not counted.
    modal("zel_fes_write_mcs_output2", 0, [](I in, int p) { return in.mcs(p); }, {0, 2}),
    modal("zel_fes_write_mcs_punch", 1, [](I in, int p) { return in.mcs(p); }, {2}),
    modal("zel_fes_write_mcs_output2_scratch_counted", 0, [](I in, int p) { return in.mcs(p, &kCounted); }, {0, 2}),
    modal("ZEL_OP2_WMC", 0, [](I in, int) { // returns nothing: the file tells
            int32_t m = 2, n = 3, d = 0, f = 0, names[5];
            double c[18];
            ZEL_OP2_WMC(&m, &n, &d, names, c, c + 6, c + 12, in.steps, in.uh, in.bh, in.uh, in.bh, in.uh, in.bh, &f,
                        in.out.c_str(), int64_t(in.out.size()));
            return -1; }, {1, 2}),
    modal("ZEL_PCH_WMC", 1, [](I in, int) {
            int32_t m = 2, n = 3, d = 0, f = 0, len = int32_t(in.out.size());
            ZEL_PCH_WMC(&m, &n, &d, in.steps, in.uh, in.bh, in.uh, in.bh, in.uh, in.bh, &f, in.out.c_str(), len);
            return -1; }, {1, 2}),
    op2_routine("ZEL_OP2ISET", [](const int32_t *u) { ZEL_OP2ISET("TOL", &k1, &k1, &k1, &k1, &k1, &k1, &k1, u, 3); }),
    op2_routine("ZEL_OP2WRIT", [](const int32_t *u) { ZEL_OP2WRIT(&k1, &k3, &k1, &k1, u, kColumn); }),
    op2_routine("ZEL_OP2ESET", [](const int32_t *u) { ZEL_OP2ESET(u); }),
};
// clang-format on

class AllocationFailure : public ::testing::TestWithParam<Case> {};

TEST_P(AllocationFailure, DocumentedCodeConsistentOutputsClosable) {
  const Case &c = GetParam();
  Inputs in;
  for (g_trial = 1;; ++g_trial) {
    ASSERT_LT(g_trial, 5000) << "the call never completed";
    SCOPED_TRACE("allocation " + std::to_string(g_trial) + " fails");
    Out o;
    const int fds = dac_test::open_descriptors(), code = c.call(in, o);
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
