// The OUTPUT2 writer: its record routines called directly, and ZEL_OP2_WMC's
// time and frequency files record by record against built expectations.
#include "fes_test_support.h"

#include "solver_export/record_runtime/record_unit.h"
#include "zel.h"

#include <array>
#include <limits>
#include <tuple>

using fes_test::Bytes;
using fes_test::int_record;
using fes_test::Payload;
using fes_test::read_records;
using fes_test::TempDir;

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();

// Expected records, written down pattern by pattern.
struct Expect {
  std::vector<Bytes> r;
  Expect &i(int32_t v) { return rec(int_record(v)); }
  Expect &rec(const Bytes &b) {
    r.push_back(b);
    return *this;
  }
  Expect &head(const char *name, std::array<int32_t, 7> t) {
    Payload trailer;
    for (int32_t v : t) trailer.i(v);
    return i(2).rec(Payload().text(name)).i(-1).i(7).rec(trailer).i(-2);
  }
  Expect &name_record(const char *name) { return i(1).i(0).i(2).rec(Payload().text(name)).i(-3); }
  Expect &column(int32_t key, Payload data) { return i(1).i(1).i(key).rec(data).i(-3); }
  Expect &end() { return i(1).i(0).i(0); }
  // The TOL or FOL block: the name and the steps' values in single precision.
  Expect &steps(const char *name, std::vector<float> t, int32_t density) {
    Payload p;
    p.text(name);
    for (float v : t) p.f(v);
    head(name, {101, static_cast<int32_t>(t.size()), 1, 2, 1, 1, density});
    return i(1).i(0).i(2 + static_cast<int32_t>(t.size())).rec(p).i(-3).end();
  }
};

// Everything ZEL_OP2_WMC is called with; arrays sized by the test.
struct Call {
  Call(int32_t m, int32_t n0, int32_t k, int32_t fd, std::vector<double> t)
      : modes(m), steps(n0), dropped(k), domain(fd), times(std::move(t)) {}
  int32_t modes, steps, dropped, domain;
  std::vector<double> times, uh_disp, bh_disp, uh_vel, bh_vel, uh_acc, bh_acc;
  std::vector<int32_t> name_list;
  std::vector<double> col[3];
  bool pass_rates = true; // false: velocity and acceleration arrays are null

  std::vector<Bytes> run(const std::string &path) {
    const size_t width = static_cast<size_t>(std::max(6, modes)) * (domain == 0 ? 1 : 2);
    name_list.assign(static_cast<size_t>(steps) + 2, 0x7A7A7A7A);
    for (auto &c : col) c.assign(width, -99.0);
    ZEL_OP2_WMC(&modes, &steps, &dropped, name_list.data(), col[0].data(), col[1].data(), col[2].data(),
                times.data(), uh_disp.data(), bh_disp.data(), pass_rates ? uh_vel.data() : nullptr,
                pass_rates ? bh_vel.data() : nullptr, pass_rates ? uh_acc.data() : nullptr,
                pass_rates ? bh_acc.data() : nullptr, &domain, path.data(), static_cast<int64_t>(path.size()));
    return read_records(path);
  }
};

} // namespace

TEST(Op2Records, RoutinesWriteHeadNameColumnAndEndPatterns) {
  TempDir tmp;
  const std::string path = tmp.file("records.op2");
  const int32_t unit = 4, zero = 0, one = 1, two = 2, three = 3, four = 4;
  zel::records::unit(unit).open(path.data(), static_cast<int64_t>(path.size()), zel::records::Form::unformatted);
  const double column[3] = {1.25, -2.5, 1e300};
  ZEL_OP2WRIT(&one, &three, &two, &two, &unit, column); // terms 2 to 3 of a column: key 2
  // The routine hands its records to the file before it returns.
  EXPECT_EQ(fes_test::read_file(path), fes_test::framed({int_record(1), int_record(1), int_record(4),
                                                         Payload().i(2).d(-2.5).d(1e300), int_record(-3)}));
  ZEL_OP2WRIT(&one, &one, &two, &three, &unit, column); // empty term range: non-positive key
  const float data[4] = {0, 0, 1.5f, -2.0f};
  ZEL_OP2WRIT(&zero, &four, &one, &one, &unit, data);   // a header record: words 1 to last
  ZEL_OP2WRIT(&zero, &zero, &one, &one, &unit, data);   // and an empty one
  const int32_t t[7] = {101, 6, 2, 2, 2, 2, 10000};
  ZEL_OP2ISET("BHT", &t[0], &t[1], &t[2], &t[3], &t[4], &t[5], &t[6], &unit, 3); // padded to 8
  ZEL_OP2ESET(&unit);
  zel::records::unit(unit).close();
  Expect e;
  e.column(4, Payload().i(2).d(-2.5).d(1e300)).i(1).i(1).i(-2).i(3).i(-3);
  e.i(1).i(0).i(4).rec(Payload().f(0).f(0).f(1.5f).f(-2.0f)).i(-3).i(1).i(0).i(0).rec({}).i(-3);
  e.head("BHT     ", {101, 6, 2, 2, 2, 2, 10000}).end();
  EXPECT_EQ(read_records(path), e.r);
}

TEST(Op2Modal, TimeOutputRecordByRecord) {
  TempDir tmp;
  Call c{2, 2, 0, 0, {0.25, 1.0 / 3.0}};
  // Mode j at step s is element (s - 1) + (j - 1) * 2.
  c.uh_disp = {0.0, 1.5, 3.0, 4.0};  // step 1: (0, 3), step 2: (1.5, 4)
  c.uh_vel = {-0.0, kNaN, 7.0, 8.0}; // step 1: (-0, 7), step 2: (NaN, 8)
  c.uh_acc = {0.0, 0.0, 0.0, 0.0};
  c.bh_vel = c.bh_acc = c.bh_disp = std::vector<double>(12, 0.0);
  for (int k = 0; k < 12; ++k) c.bh_disp[k] = 10.0 + k; // component c, step s: 10 + (s-1) + 2(c-1)
  c.bh_vel[2 * 3] = -6.5;                               // step 1, component 4
  c.bh_acc[1 + 2 * 5] = 2.0;                            // step 2, component 6
  const std::vector<Bytes> got = c.run(tmp.file("time.op2"));

  Expect e;
  e.steps("TOL     ", {0.25f, static_cast<float>(1.0 / 3.0)}, 7500);
  e.head("UHT     ", {101, 6, 2, 2, 2, 2, 10000}).name_record("UHT     ");
  // Step 1: displacement; velocity (-0.0 is zero); acceleration (all zero: the last row).
  e.column(2, Payload().i(2).d(3.0)).column(2, Payload().i(2).d(7.0)).column(2, Payload().i(2).d(0.0));
  // Step 2: displacement; velocity (NaN is not zero); acceleration.
  e.column(4, Payload().i(1).d(1.5).d(4.0)).column(4, Payload().i(1).d(kNaN).d(8.0)).column(2, Payload().i(2).d(0.0)).end();
  e.head("BHT     ", {101, 6, 6, 2, 2, 6, 10000}).name_record("BHT     ");
  for (int s = 1; s <= 2; ++s) {
    Payload disp;
    disp.i(1);
    for (int comp = 1; comp <= 6; ++comp) disp.d(10.0 + (s - 1) + 2 * (comp - 1));
    e.column(12, disp);
    e.column(s == 1 ? 6 : 2, s == 1 ? Payload().i(4).d(-6.5).d(0).d(0) : Payload().i(6).d(0));
    e.column(2, Payload().i(6).d(s == 1 ? 0.0 : 2.0));
  }
  e.end().i(0);
  EXPECT_EQ(got, e.r);
  EXPECT_EQ(std::make_tuple(c.modes, c.steps, c.dropped), std::make_tuple(2, 2, 0));
  EXPECT_EQ(std::make_tuple(c.col[0][5], c.col[2][5]), std::make_tuple(21.0, 2.0)) << "scratch: last columns";
}

TEST(Op2Modal, DroppedStepsLeadingDimensionAndSinglePrecisionDensity) {
  TempDir tmp;
  const int m = 2;
  // N0, K and word 7 of the TOL trailer for N = N0 - K; N = 8 and 4997 tell
  // single from double precision.
  for (auto [n0, dropped, density] : {std::tuple{4, 1, 8000}, {4, 4, 5000}, {10, 2, 9000}, {5000, 3, 9998}}) {
    std::vector<double> times(static_cast<size_t>(n0));
    for (int s = 1; s <= n0; ++s) times[static_cast<size_t>(s - 1)] = s;
    Call c{m, n0, dropped, 0, times};
    // Every value tells its set, step and row: set * 1e5 + s * 10 + row.
    std::vector<double> *sets[6] = {&c.uh_disp, &c.uh_vel, &c.uh_acc, &c.bh_disp, &c.bh_vel, &c.bh_acc};
    for (int k = 0; k < 6; ++k) {
      const int rows = k < 3 ? m : 6;
      sets[k]->resize(static_cast<size_t>(n0 * rows));
      for (int s = 1; s <= n0; ++s)
        for (int row = 1; row <= rows; ++row)
          (*sets[k])[static_cast<size_t>((s - 1) + (row - 1) * n0)] = (k + 1) * 1e5 + s * 10 + row;
    }
    const std::vector<Bytes> got = c.run(tmp.file("dropped.op2"));
    const int n = n0 - dropped;
    EXPECT_EQ(std::make_tuple(c.modes, c.steps, c.dropped), std::make_tuple(m, n, dropped)) << "num_steps reduced in place";
    Expect e;
    e.steps("TOL     ", std::vector<float>(times.begin(), times.begin() + n), density);
    for (int block = 0; block < 2; ++block) {
      const int rows = block == 0 ? m : 6;
      e.head(block == 0 ? "UHT     " : "BHT     ", {101, 3 * n, rows, 2, 2, rows, 10000});
      e.name_record(block == 0 ? "UHT     " : "BHT     ");
      for (int s = 1; s <= n; ++s)
        for (int k = 3 * block; k < 3 * block + 3; ++k) {
          Payload p;
          p.i(1);
          for (int row = 1; row <= rows; ++row) p.d((k + 1) * 1e5 + s * 10 + row);
          e.column(2 * rows, p);
        }
      e.end();
    }
    EXPECT_EQ(got, e.i(0).r) << n0 << " " << dropped;
  }
}

TEST(Op2Modal, FrequencyOutputRecordByRecord) {
  TempDir tmp;
  // M = 2, N0 = 2; K is ignored; the rate arrays are never read.
  Call c{2, 2, 1, 1, {5.0, 10.0}};
  c.pass_rates = false;
  // Mode j at step s: real (s-1) + (2j-2)*2, imaginary (s-1) + (2j-1)*2.
  c.uh_disp = {0, 0.5, 0, 0.25, 1, 2, -1, -2}; // step 1: (0,0) (1,-1); step 2: (0.5,0.25) (2,-2)
  c.bh_disp.assign(24, 0.0);
  // Step 1: component 1 (0, 0), component 2 (0, 2.0), component 5 (3, 0).
  c.bh_disp[0 + 3 * 2] = 2.0, c.bh_disp[0 + 8 * 2] = 3.0;
  // Step 2 stays all zero.
  const std::vector<Bytes> got = c.run(tmp.file("freq.op2"));
  EXPECT_EQ(std::make_tuple(c.steps, c.dropped), std::make_tuple(2, 1)) << "frequency output leaves num_steps alone";
  Expect e;
  e.steps("FOL     ", {5, 10}, 7500);
  e.head("UHF     ", {101, 2, 2, 2, 4, 2, 10000}).name_record("UHF     ");
  e.column(8, Payload().i(1).d(0).d(0).d(1).d(-1)); // from row 1 despite the zero
  e.column(8, Payload().i(1).d(0.5).d(0.25).d(2).d(-2)).end();
  e.head("BHF     ", {101, 2, 6, 2, 4, 12, 10000}).name_record("BHF     ");
  e.column(20, Payload().i(2).d(0).d(2).d(0).d(0).d(0).d(0).d(3).d(0).d(0).d(0));
  e.column(4, Payload().i(6).d(0).d(0)).end().i(0);
  EXPECT_EQ(got, e.r);
}

TEST(Op2Modal, OtherDomainsGiveOnlyTheEndRecordAndCutAnOlderFile) {
  TempDir tmp;
  const std::string path = tmp.file("other.op2");
  fes_test::write_file(path, Bytes(4096, 0x55));
  for (int32_t domain : {3, -1, 2}) {
    Call c{2, 2, 1, domain, {1, 2}};
    c.pass_rates = false;
    c.run(path);
    EXPECT_EQ(std::make_tuple(fes_test::read_file(path), c.steps, c.name_list[0]), std::make_tuple(fes_test::framed({int_record(0)}), 2, 0x7A7A7A7A)) << domain;
  }
}
