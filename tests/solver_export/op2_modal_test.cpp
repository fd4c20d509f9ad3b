// The OUTPUT2 writer: its record routines, and ZEL_OP2_WMC's files record by record against expectations written down
// pattern by pattern.
#include "export_test_support.h"

#include "solver_export/record_runtime/record_unit.h"

#include <array>
#include <limits>
#include <tuple>

using namespace export_test;

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();

struct Expect {
  std::vector<Bytes> r;
  Expect &i(int32_t v) { return rec(Payload().i(v)); }
  Expect &rec(const Bytes &b) { return r.push_back(b), *this; }
  Expect &head(const char *name, std::array<int32_t, 7> t) {
    Payload trailer;
    for (int32_t v : t) trailer.i(v);
    return i(2).rec(Payload().text(name)).i(-1).i(7).rec(trailer).i(-2);
  }
  // A record of words without a row: its key is its length in words.
  Expect &words(const Payload &p) { return i(1).i(0).i(int32_t(p.b.size() / 4)).rec(p).i(-3); }
  Expect &matrix(const char *name, std::array<int32_t, 7> t) { return head(name, t).words(Payload().text(name)); }
  Expect &column(int32_t key, const Payload &data) { return i(1).i(1).i(key).rec(data).i(-3); }
  Expect &end() { return i(1).i(0).i(0); }
  Expect &steps(const char *name, std::vector<float> t, int32_t density) { // TOL or FOL
    Payload p = Payload().text(name);
    for (float v : t) p.f(v);
    return head(name, {101, int32_t(t.size()), 1, 2, 1, 1, density}).words(p).end();
  }
};

} // namespace

TEST(Op2Records, RoutinesWriteHeadDataAndEndPatterns) {
  TempDir tmp;
  const std::string path = tmp.file("records.op2");
  const int32_t unit = 4, zero = 0, one = 1, two = 2, four = 4, t[7] = {101, 6, 2, 2, 2, 2, 10000};
  zel::records::unit(unit).open(path.data(), int64_t(path.size()));
  const double column[2] = {-2.5, 1e300};
  const float data[4] = {0, 0, 1.5f, -2.0f};
  ZEL_OP2WRIT(&one, &two, &two, &zero, &unit, column); // terms 0 to 2 of two words: none read below term 1
  Expect e = Expect().column(6, Payload().i(0).d(-2.5).d(1e300));
  EXPECT_EQ(read_file<Bytes>(path), framed(e.r)) << "written before it returns";
  ZEL_OP2WRIT(&zero, &four, &one, &one, &unit, data); // one word per term: words 1 to last, no row
  ZEL_OP2ISET("BHT", &t[0], &t[1], &t[2], &t[3], &t[4], &t[5], &t[6], &unit, 3), ZEL_OP2ESET(&unit);
  zel::records::unit(unit).close();
  e.words(Payload().f(0).f(0).f(1.5f).f(-2.0f)).head("BHT     ", {101, 6, 2, 2, 2, 2, 10000}).end(); // blank-padded
  EXPECT_EQ(read_file<Bytes>(path), framed(e.r));
}

TEST(Op2Modal, TimeOutputWithADroppedStep) {
  TempDir tmp;
  // M 2, N0 3, K 1: steps 1 and 2 written; value (s, row) at (s - 1) + (row - 1) * 3.
  Call c{2, 3, 1, 0, {0.25, 1.0 / 3.0, 99}, {0, 1.5, 99, 3, 4, 99}};
  c.uh_vel = {-0.0, kNaN, 99, 7, 8, 99};
  c.bh_vel[0 + 3 * 3] = -6.5, c.bh_disp[1 + 2 * 3] = 5.0, c.bh_acc[1 + 5 * 3] = 2.0; // (1, 4), (2, 3), (2, 6)
  Expect e;
  e.steps("TOL     ", {0.25f, float(1.0 / 3.0)}, 7500).matrix("UHT     ", {101, 6, 2, 2, 2, 2, 10000});
  // Terms from the first that is not zero (-0.0 is zero, NaN is not); all zero: the last row.
  e.column(2, Payload().i(2).d(3)).column(2, Payload().i(2).d(7)).column(2, Payload().i(2).d(0));
  e.column(4, Payload().i(1).d(1.5).d(4)).column(4, Payload().i(1).d(kNaN).d(8)).column(2, Payload().i(2).d(0)).end();
  const Payload none = Payload().i(6).d(0);
  e.matrix("BHT     ", {101, 6, 6, 2, 2, 6, 10000}).column(2, none).column(6, Payload().i(4).d(-6.5).d(0).d(0));
  e.column(2, none).column(8, Payload().i(3).d(5).d(0).d(0).d(0)).column(2, none).column(2, Payload().i(6).d(2));
  EXPECT_EQ(c.op2(tmp.file("time.op2")), framed(e.end().i(0).r));
  EXPECT_EQ(std::make_tuple(c.modes, c.steps, c.dropped), std::make_tuple(2, 2, 1)) << "num_steps becomes N0 - K";
}

TEST(Op2Modal, StepTableDensityIsComputedInSinglePrecision) {
  TempDir tmp;
  // Word 7 of the TOL trailer for N = N0 - K; N = 8 and 4997 tell single from double precision.
  for (auto [n0, dropped, density] : {std::tuple{4, 1, 8000}, {4, 4, 5000}, {10, 2, 9000}, {5000, 3, 9998}}) {
    Call c{1, n0, dropped, 0, std::vector<double>(size_t(n0), 1.0)};
    const Payload trailer = Payload().i(101).i(n0 - dropped).i(1).i(2).i(1).i(1).i(density);
    const Bytes file = c.op2(tmp.file("density.op2")); // the trailer: payload of the fifth record
    EXPECT_EQ(Bytes(file.begin() + 56, file.begin() + 84), Bytes(trailer)) << "N0 " << n0 << ", K " << dropped;
  }
}

TEST(Op2Modal, FrequencyOutputWritesComplexDisplacementColumns) {
  TempDir tmp;
  // K is ignored and the rate arrays are never read. Real part of (s, j) at (s - 1) + (2j - 2) * 2, imaginary part at
  // (s - 1) + (2j - 1) * 2.
  Call c{2, 2, 1, 1, {5.0, 10.0}, {0, 0.5, 0, 0.25, 1, 2, -1, -2}, kZeros, {}, {}, {}, {}};
  c.bh_disp[0 + 3 * 2] = 2.0, c.bh_disp[0 + 8 * 2] = 3.0; // step 1: component 2 (0, 2), component 5 (3, 0)
  Expect e;
  e.steps("FOL     ", {5, 10}, 7500).matrix("UHF     ", {101, 2, 2, 2, 4, 2, 10000});
  e.column(8, Payload().i(1).d(0).d(0).d(1).d(-1)).column(8, Payload().i(1).d(0.5).d(0.25).d(2).d(-2)).end();
  e.matrix("BHF     ", {101, 2, 6, 2, 4, 12, 10000});
  e.column(20, Payload().i(2).d(0).d(2).d(0).d(0).d(0).d(0).d(3).d(0).d(0).d(0)).column(4, Payload().i(6).d(0).d(0));
  EXPECT_EQ(c.op2(tmp.file("freq.op2")), framed(e.end().i(0).r));
  EXPECT_EQ(std::make_tuple(c.steps, c.dropped), std::make_tuple(2, 1));
}

TEST(Op2Modal, OtherDomainsGiveOnlyTheEndRecordAndCutAnOlderFile) {
  TempDir tmp;
  const std::string path = tmp.file("other.op2");
  std::ofstream(path) << std::string(4096, 'x');
  for (int32_t domain : {3, -1, 2}) {
    Call c{2, 2, 1, domain, {1, 2}};
    EXPECT_EQ(c.op2(path), framed(Expect().i(0).r)) << domain;
    EXPECT_EQ(c.steps, 2) << domain;
  }
}
