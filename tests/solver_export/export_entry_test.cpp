// zel_fes_write_mcs: writer choice, scratch areas obtained and released on
// every path, the caller's counts untouched, result 1 or 0.
#include "fes_test_support.h"

#include "solver_export/export_entry.h"
#include "zel.h"

#include <cstdlib>

using fes_test::Bytes;
using fes_test::Payload;
using fes_test::TempDir;

namespace {

// A scratch source that records every request and can refuse one.
struct Tracker {
  std::vector<int64_t> requested;
  int live = 0;
  int refuse_at = -1; // index of the request to refuse, -1 none
};
Tracker *tracker = nullptr;

void *tracked_obtain(int64_t bytes) {
  const int index = static_cast<int>(tracker->requested.size());
  tracker->requested.push_back(bytes);
  if (index == tracker->refuse_at) return nullptr;
  ++tracker->live;
  return std::calloc(1, static_cast<size_t>(bytes));
}
void tracked_release(void *area) {
  --tracker->live;
  std::free(area);
}
const zel::fes::ScratchSource kTracked{tracked_obtain, tracked_release};

struct Arrays {
  explicit Arrays(int n0, int m) : times(static_cast<size_t>(n0), 1.0) {
    for (auto *v : {&uh_disp, &uh_vel, &uh_acc}) v->assign(static_cast<size_t>(2 * n0 * m), 1.0);
    for (auto *v : {&bh_disp, &bh_vel, &bh_acc}) v->assign(static_cast<size_t>(12 * n0), 1.0);
  }
  int call(int to_punch, int m, int n0, int k, int fd, const std::string &path,
           const zel::fes::ScratchSource &source = zel::fes::heap_scratch()) {
    return zel::fes::write_modal_export(to_punch, m, n0, k, times.data(), uh_disp.data(),
                                        bh_disp.data(), uh_vel.data(), bh_vel.data(),
                                        uh_acc.data(), bh_acc.data(), fd, path.c_str(), source);
  }
  std::vector<double> times, uh_disp, bh_disp, uh_vel, bh_vel, uh_acc, bh_acc;
};

} // namespace

TEST(ModalExport, ScratchAreasAreSizedByModesStepsAndDomainAndAlwaysReleased) {
  TempDir tmp;
  Tracker t;
  tracker = &t;
  struct Case {
    int m, n0, fd;
    int64_t column_bytes;
  };
  for (const Case &c : {Case{3, 4, 0, 6 * 8}, Case{10, 4, 0, 10 * 8}, Case{3, 4, 1, 12 * 8},
                        Case{10, 4, 1, 20 * 8}, Case{3, 1, 2, 12 * 8}, Case{7, 0, -1, 14 * 8}}) {
    t.requested.clear();
    Arrays a(std::max(c.n0, 1), c.m);
    EXPECT_EQ(a.call(0, c.m, c.n0, 0, c.fd, tmp.file("sizes.op2"), kTracked), 1);
    const int64_t names = 4 * (c.n0 + 2);
    EXPECT_EQ(t.requested, (std::vector<int64_t>{names, c.column_bytes, c.column_bytes,
                                                 c.column_bytes}))
        << "M " << c.m << " N0 " << c.n0 << " domain " << c.fd;
    EXPECT_EQ(t.live, 0);
  }
  // The punch writer takes no scratch.
  t.requested.clear();
  Arrays a(2, 2);
  EXPECT_EQ(a.call(1, 2, 2, 0, 0, tmp.file("sizes.pch"), kTracked), 1);
  EXPECT_TRUE(t.requested.empty());
  tracker = nullptr;
}

TEST(ModalExport, MissingScratchGivesZeroAndTouchesNoFile) {
  TempDir tmp;
  Tracker t;
  tracker = &t;
  Arrays a(3, 2);
  for (int refuse = 0; refuse < 4; ++refuse) {
    t = Tracker{};
    t.refuse_at = refuse;
    const std::string path = tmp.file("refused.op2");
    EXPECT_EQ(a.call(0, 2, 3, 0, 0, path, kTracked), 0);
    EXPECT_EQ(t.live, 0) << "areas obtained before the refusal are released";
    EXPECT_EQ(t.requested.size(), static_cast<size_t>(refuse) + 1) << "no request after it";
    EXPECT_FALSE(std::filesystem::exists(path));
  }
  // An older file stays as it was.
  const std::string old = tmp.file("old.op2");
  fes_test::write_file(old, Bytes(100, 1));
  t = Tracker{};
  t.refuse_at = 2;
  EXPECT_EQ(a.call(0, 2, 3, 0, 0, old, kTracked), 0);
  EXPECT_EQ(fes_test::read_file(old), Bytes(100, 1));
  tracker = nullptr;

  const zel::fes::ScratchSource &heap = zel::fes::heap_scratch();
  void *area = heap.obtain(64);
  ASSERT_NE(area, nullptr);
  EXPECT_EQ(Bytes(static_cast<unsigned char *>(area), static_cast<unsigned char *>(area) + 64),
            Bytes(64, 0));
  heap.release(area);
}

TEST(ModalExport, AnyNonZeroToPunchSelectsThePunchFileAndEveryPathReturnsOne) {
  TempDir tmp;
  Arrays a(2, 2);
  for (int to_punch : {1, 2, -1, 0}) {
    const std::string path = tmp.file("choice" + std::to_string(to_punch));
    EXPECT_EQ(a.call(to_punch, 2, 2, 0, 0, path), 1);
    const bool punched = fes_test::read_text(path).compare(0, 16, "DTI     TOL     ") == 0;
    EXPECT_EQ(punched, to_punch != 0) << to_punch;
  }
  EXPECT_EQ(fes_test::read_records(tmp.file("choice0"))[1], Payload().text("TOL     ").bytes());
  // Other domains and files that cannot be created still give 1.
  EXPECT_EQ(a.call(0, 2, 2, 0, 2, tmp.file("domain2.op2")), 1);
  EXPECT_EQ(fes_test::read_file(tmp.file("domain2.op2")), fes_test::framed({fes_test::int_record(0)}));
  const std::string nowhere = tmp.file("missing/dir/file");
  EXPECT_EQ(a.call(0, 2, 2, 0, 0, nowhere), 1);
  EXPECT_EQ(a.call(1, 2, 2, 0, 1, nowhere), 1);
  EXPECT_FALSE(std::filesystem::exists(tmp.file("missing")));
}

TEST(ModalExport, WritersWorkOnCopiesOfTheCountsThroughThePublicEntry) {
  TempDir tmp;
  const int n0 = 10, k = 3, m = 2;
  std::vector<double> times(n0), uh(n0 * m, 0.0), bh(n0 * 6, 0.0);
  for (int s = 0; s < n0; ++s) times[static_cast<size_t>(s)] = s + 1;
  uh[6 + 1 * n0] = 4.25; // step 7, mode 2: the last step written
  uh[7] = 9.0;           // step 8: dropped
  int num_modes = m, num_steps = n0, num_dropped = k;

  const std::string op2 = tmp.file("copies.op2");
  EXPECT_EQ(zel_fes_write_mcs(0, num_modes, num_steps, num_dropped, times.data(), uh.data(),
                              bh.data(), uh.data(), bh.data(), uh.data(), bh.data(), 0,
                              op2.c_str()),
            1);
  const std::vector<Bytes> recs = fes_test::read_records(op2);
  EXPECT_EQ(recs[4], Payload().i(101).i(7).i(1).i(2).i(1).i(1).i(8888).bytes());
  // UHT: the three columns of step 7 precede the block end, the EOF and BHT.
  const size_t bht = recs.size() - 1 - (6 + 5 + 21 * 5 + 3);
  EXPECT_EQ(recs[bht - 3 - 5 * 3 + 3], Payload().i(2).d(4.25).bytes());

  const std::string pch = tmp.file("copies.pch");
  EXPECT_EQ(zel_fes_write_mcs(3, num_modes, num_steps, num_dropped, times.data(), uh.data(),
                              bh.data(), uh.data(), bh.data(), uh.data(), bh.data(), 0,
                              pch.c_str()),
            1);
  const std::string text = fes_test::read_text(pch);
  EXPECT_EQ(text.substr(0, 72).substr(24, 8), "       7");
  EXPECT_NE(text.find("      19               2  4.25000000E+00\n"), std::string::npos);
  EXPECT_EQ(text.find("9.00000000E+00"), std::string::npos);

  EXPECT_EQ(num_modes, m);
  EXPECT_EQ(num_steps, n0);
  EXPECT_EQ(num_dropped, k);
}
