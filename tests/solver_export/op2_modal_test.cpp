// ZEL_OP2_WMC, called directly: the files of time and frequency output
// record by record, the first-non-zero search, the counts it changes and
// the scratch areas it leaves filled.
#include "fes_test_support.h"

#include "zel.h"

#include <array>
#include <cmath>
#include <limits>

using fes_test::Bytes;
using fes_test::Payload;
using fes_test::TempDir;

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();

// Expected records, written down pattern by pattern.
struct Expect {
  std::vector<Bytes> r;
  Expect &i(int32_t v) {
    r.push_back(fes_test::int_record(v));
    return *this;
  }
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

  void run(const std::string &path) {
    const int32_t n0 = steps;
    const size_t width = static_cast<size_t>(std::max(6, modes)) * (domain == 0 ? 1 : 2);
    name_list.assign(static_cast<size_t>(n0) + 2, 0x7A7A7A7A);
    for (auto &c : col) c.assign(width, -99.0);
    ZEL_OP2_WMC(&modes, &steps, &dropped, name_list.data(), col[0].data(), col[1].data(),
                col[2].data(), times.data(), uh_disp.data(), bh_disp.data(),
                pass_rates ? uh_vel.data() : nullptr, pass_rates ? bh_vel.data() : nullptr,
                pass_rates ? uh_acc.data() : nullptr, pass_rates ? bh_acc.data() : nullptr,
                &domain, path.data(), static_cast<int64_t>(path.size()));
  }
};

} // namespace

TEST(Op2Modal, TimeOutputRecordByRecord) {
  TempDir tmp;
  const std::string path = tmp.path("time.op2");
  Call c{2, 2, 0, 0, {0.25, 1.0 / 3.0}};
  // Mode j at step s is element (s - 1) + (j - 1) * 2.
  c.uh_disp = {0.0, 1.5, 3.0, 4.0};  // step 1: (0, 3), step 2: (1.5, 4)
  c.uh_vel = {-0.0, kNaN, 7.0, 8.0}; // step 1: (-0, 7), step 2: (NaN, 8)
  c.uh_acc = {0.0, 0.0, 0.0, 0.0};
  c.bh_disp.assign(12, 0.0);
  c.bh_vel.assign(12, 0.0);
  c.bh_acc.assign(12, 0.0);
  for (int k = 0; k < 12; ++k) c.bh_disp[k] = 10.0 + k; // component c, step s: 10 + (s-1) + 2(c-1)
  c.bh_vel[2 * 3] = -6.5;                               // step 1, component 4
  c.bh_acc[1 + 2 * 5] = 2.0;                            // step 2, component 6
  c.run(path);

  Expect e;
  e.head("TOL     ", {101, 2, 1, 2, 1, 1, 7500});
  e.i(1).i(0).i(4).rec(Payload().text("TOL     ").f(0.25f).f(static_cast<float>(1.0 / 3.0))).i(-3);
  e.end();
  e.head("UHT     ", {101, 6, 2, 2, 2, 2, 10000}).name_record("UHT     ");
  e.column(2, Payload().i(2).d(3.0));            // step 1 displacement
  e.column(2, Payload().i(2).d(7.0));            //        velocity: -0.0 is zero
  e.column(2, Payload().i(2).d(0.0));            //        acceleration: all zero
  e.column(4, Payload().i(1).d(1.5).d(4.0));     // step 2 displacement
  e.column(4, Payload().i(1).d(kNaN).d(8.0));    //        velocity: NaN is not zero
  e.column(2, Payload().i(2).d(0.0));
  e.end();
  e.head("BHT     ", {101, 6, 6, 2, 2, 6, 10000}).name_record("BHT     ");
  for (int s = 1; s <= 2; ++s) {
    Payload disp;
    disp.i(1);
    for (int comp = 1; comp <= 6; ++comp) disp.d(10.0 + (s - 1) + 2 * (comp - 1));
    e.column(12, disp);
    if (s == 1)
      e.column(6, Payload().i(4).d(-6.5).d(0).d(0));
    else
      e.column(2, Payload().i(6).d(0));
    if (s == 1)
      e.column(2, Payload().i(6).d(0));
    else
      e.column(2, Payload().i(6).d(2.0));
  }
  e.end();
  e.i(0);
  EXPECT_EQ(fes_test::read_records(path), e.r);

  EXPECT_EQ(c.steps, 2);
  EXPECT_EQ(c.modes, 2);
  EXPECT_EQ(c.dropped, 0);
  // The scratch areas hold what was assembled last.
  EXPECT_EQ(std::memcmp(c.name_list.data(), "TOL     ", 8), 0);
  float t2;
  std::memcpy(&t2, &c.name_list[3], 4);
  EXPECT_EQ(t2, static_cast<float>(1.0 / 3.0));
  EXPECT_EQ(c.col[0][0], 11.0);
  EXPECT_EQ(c.col[0][5], 21.0);
  EXPECT_EQ(c.col[2][5], 2.0);
}

TEST(Op2Modal, DroppedStepsShrinkTheOutputButNotTheLeadingDimension) {
  TempDir tmp;
  const std::string path = tmp.path("dropped.op2");
  const int n0 = 4, m = 3;
  Call c{m, n0, 1, 0, {1, 2, 3, 4}};
  // Every value tells its set, step and row: set * 1000 + s * 10 + row.
  std::vector<double> *sets[6] = {&c.uh_disp, &c.uh_vel, &c.uh_acc,
                                  &c.bh_disp, &c.bh_vel, &c.bh_acc};
  for (int k = 0; k < 6; ++k) {
    const int rows = k < 3 ? m : 6;
    sets[k]->resize(static_cast<size_t>(n0 * rows));
    for (int s = 1; s <= n0; ++s)
      for (int row = 1; row <= rows; ++row)
        (*sets[k])[static_cast<size_t>((s - 1) + (row - 1) * n0)] = (k + 1) * 1000 + s * 10 + row;
  }
  c.run(path);
  EXPECT_EQ(c.steps, 3) << "num_steps reduced in place";
  EXPECT_EQ(c.dropped, 1);
  EXPECT_EQ(c.modes, m);

  Expect e;
  e.head("TOL     ", {101, 3, 1, 2, 1, 1, 8000});
  e.i(1).i(0).i(5).rec(Payload().text("TOL     ").f(1).f(2).f(3)).i(-3).end();
  e.head("UHT     ", {101, 9, m, 2, 2, m, 10000}).name_record("UHT     ");
  for (int s = 1; s <= 3; ++s)
    for (int k = 0; k < 3; ++k) {
      Payload p;
      p.i(1);
      for (int row = 1; row <= m; ++row) p.d((k + 1) * 1000 + s * 10 + row);
      e.column(2 * m, p);
    }
  e.end();
  e.head("BHT     ", {101, 9, 6, 2, 2, 6, 10000}).name_record("BHT     ");
  for (int s = 1; s <= 3; ++s)
    for (int k = 3; k < 6; ++k) {
      Payload p;
      p.i(1);
      for (int row = 1; row <= 6; ++row) p.d((k + 1) * 1000 + s * 10 + row);
      e.column(12, p);
    }
  e.end().i(0);
  EXPECT_EQ(fes_test::read_records(path), e.r);
}

TEST(Op2Modal, AllStepsDroppedLeavesEmptyBlocksAndTrailerDensitiesFollowN) {
  TempDir tmp;
  const std::string path = tmp.path("none.op2");
  Call c{2, 5, 5, 0, {1, 2, 3, 4, 5}};
  for (auto *v : {&c.uh_disp, &c.uh_vel, &c.uh_acc}) v->assign(10, 1.0);
  for (auto *v : {&c.bh_disp, &c.bh_vel, &c.bh_acc}) v->assign(30, 1.0);
  c.run(path);
  EXPECT_EQ(c.steps, 0);
  Expect e;
  e.head("TOL     ", {101, 0, 1, 2, 1, 1, 5000});
  e.i(1).i(0).i(2).rec(Payload().text("TOL     ")).i(-3).end();
  e.head("UHT     ", {101, 0, 2, 2, 2, 2, 10000}).name_record("UHT     ").end();
  e.head("BHT     ", {101, 0, 6, 2, 2, 6, 10000}).name_record("BHT     ").end();
  e.i(0);
  EXPECT_EQ(fes_test::read_records(path), e.r);

  // Word 7 of TOL, computed in single precision: N = 1 gives 6666.
  Call one{2, 2, 1, 0, {1, 2}};
  for (auto *v : {&one.uh_disp, &one.uh_vel, &one.uh_acc}) v->assign(4, 1.0);
  for (auto *v : {&one.bh_disp, &one.bh_vel, &one.bh_acc}) v->assign(12, 1.0);
  one.run(path);
  EXPECT_EQ(fes_test::read_records(path)[4], Payload().i(101).i(1).i(1).i(2).i(1).i(1).i(6666).bytes());
}

TEST(Op2Modal, FirstNonZeroSearchStopsBeforeTheLastTerm) {
  TempDir tmp;
  const std::string path = tmp.path("search.op2");
  // M = 4, one step; displacement, velocity, acceleration in turn.
  Call c{4, 1, 0, 0, {0.5}};
  c.uh_disp = {0, 0, 0, 0};       // all zero: f = M, the zero of mode M
  c.uh_vel = {0, -0.0, 0, 9};     // only the last: f = 4
  c.uh_acc = {0, 0, kNaN, 0};     // NaN: f = 3
  c.bh_disp = {0, 0, 0, 0, 0, 0}; // f = 6
  c.bh_vel = {0, 0, 0, 0, 5, 0};  // f = 5
  c.bh_acc = {0, 0, 0, 0, 0, -1}; // f = 6
  c.run(path);
  const std::vector<Bytes> recs = fes_test::read_records(path);
  // TOL takes 6 + 5 + 3 records; UHT head and name 6 + 5; columns 5 each.
  const size_t uht_first = 14 + 11;
  ASSERT_GT(recs.size(), uht_first + 30);
  auto column = [&](size_t k) {
    return std::vector<Bytes>(recs.begin() + static_cast<std::ptrdiff_t>(uht_first + 5 * k),
                              recs.begin() + static_cast<std::ptrdiff_t>(uht_first + 5 * k + 5));
  };
  EXPECT_EQ(column(0), Expect().column(2, Payload().i(4).d(0)).r);
  EXPECT_EQ(column(1), Expect().column(2, Payload().i(4).d(9)).r);
  EXPECT_EQ(column(2), Expect().column(4, Payload().i(3).d(kNaN).d(0)).r);
  const size_t bht_first = uht_first + 15 + 3 + 11;
  auto bcolumn = [&](size_t k) {
    return std::vector<Bytes>(recs.begin() + static_cast<std::ptrdiff_t>(bht_first + 5 * k),
                              recs.begin() + static_cast<std::ptrdiff_t>(bht_first + 5 * k + 5));
  };
  EXPECT_EQ(bcolumn(0), Expect().column(2, Payload().i(6).d(0)).r);
  EXPECT_EQ(bcolumn(1), Expect().column(4, Payload().i(5).d(5).d(0)).r);
  EXPECT_EQ(bcolumn(2), Expect().column(2, Payload().i(6).d(-1)).r);

  // With one mode there is nothing to search: f = 1.
  Call single{1, 1, 0, 0, {0.5}};
  single.uh_disp = single.uh_vel = single.uh_acc = {0};
  single.bh_disp = single.bh_vel = single.bh_acc = {0, 0, 0, 0, 0, 0};
  single.run(path);
  EXPECT_EQ(fes_test::read_records(path)[uht_first + 2], fes_test::int_record(2));
  EXPECT_EQ(fes_test::read_records(path)[uht_first + 3], Payload().i(1).d(0).bytes());
}

TEST(Op2Modal, FrequencyOutputRecordByRecord) {
  TempDir tmp;
  const std::string path = tmp.path("freq.op2");
  // M = 2, N0 = 2; K is ignored; the rate arrays are never read.
  Call c{2, 2, 1, 1, {5.0, 10.0}};
  c.pass_rates = false;
  // Mode j at step s: real (s-1) + (2j-2)*2, imaginary (s-1) + (2j-1)*2.
  c.uh_disp = {0, 0.5, 0, 0.25, 1, 2, -1, -2}; // step 1: (0,0) (1,-1); step 2: (0.5,0.25) (2,-2)
  c.bh_disp.assign(24, 0.0);
  // Step 1: component 1 (0, 0), component 2 (0, 2.0), component 5 (3, 0).
  c.bh_disp[0 + 3 * 2] = 2.0;
  c.bh_disp[0 + 8 * 2] = 3.0;
  // Step 2 stays all zero.
  c.run(path);
  EXPECT_EQ(c.steps, 2) << "frequency output leaves num_steps alone";
  EXPECT_EQ(c.dropped, 1);

  Expect e;
  e.head("FOL     ", {101, 2, 1, 2, 1, 1, 7500});
  e.i(1).i(0).i(4).rec(Payload().text("FOL     ").f(5).f(10)).i(-3).end();
  e.head("UHF     ", {101, 2, 2, 2, 4, 2, 10000}).name_record("UHF     ");
  e.column(8, Payload().i(1).d(0).d(0).d(1).d(-1)); // from row 1 despite the zero
  e.column(8, Payload().i(1).d(0.5).d(0.25).d(2).d(-2));
  e.end();
  e.head("BHF     ", {101, 2, 6, 2, 4, 12, 10000}).name_record("BHF     ");
  e.column(20, Payload().i(2).d(0).d(2).d(0).d(0).d(0).d(0).d(3).d(0).d(0).d(0));
  e.column(4, Payload().i(6).d(0).d(0));
  e.end().i(0);
  EXPECT_EQ(fes_test::read_records(path), e.r);

  // Area 1 holds the last BHF column; areas 2 and 3 are untouched.
  EXPECT_EQ(c.col[0], std::vector<double>(12, 0.0));
  EXPECT_EQ(c.col[1], std::vector<double>(12, -99.0));
  EXPECT_EQ(c.col[2], std::vector<double>(12, -99.0));
  EXPECT_EQ(std::memcmp(c.name_list.data(), "FOL     ", 8), 0);
}

TEST(Op2Modal, OtherDomainsGiveOnlyTheEndRecordAndCutAnOlderFile) {
  TempDir tmp;
  const std::string path = tmp.path("other.op2");
  fes_test::write_file(path, Bytes(4096, 0x55));
  for (int32_t domain : {3, -1, 2}) {
    Call c{2, 2, 1, domain, {1, 2}};
    c.pass_rates = false;
    c.run(path);
    EXPECT_EQ(fes_test::read_file(path), fes_test::framed({fes_test::int_record(0)})) << domain;
    EXPECT_EQ(c.steps, 2);
    EXPECT_EQ(c.name_list[0], 0x7A7A7A7A) << "nothing assembled";
  }
}
