// zel_fes_write_mcs: writer choice, scratch areas obtained and released on
// every path, the caller's counts untouched, result 1 or 0.
#include "fes_test_support.h"

#include "solver_export/export_entry.h"
#include "zel.h"

#include <cstdlib>

using namespace fes_test;

namespace {

// A scratch source that records every request and can refuse one.
struct Tracker {
  std::vector<int64_t> requested;
  int live = 0, refuse_at = -1;
} tracker;
const zel::fes::ScratchSource kTracked{[](int64_t bytes) -> void * {
                                         tracker.requested.push_back(bytes);
                                         if (static_cast<int>(tracker.requested.size()) == tracker.refuse_at + 1) return nullptr;
                                         ++tracker.live;
                                         return std::calloc(1, static_cast<size_t>(bytes));
                                       },
                                       [](void *area) {
                                         --tracker.live;
                                         std::free(area);
                                       }};

// Calls the entry with arrays of ones large enough for both layouts.
int call(int to_punch, int m, int n0, int k, int fd, const std::string &path,
         const zel::fes::ScratchSource &source = zel::fes::heap_scratch()) {
  const std::vector<double> t(static_cast<size_t>(std::max(n0, 1)), 1.0), v(t.size() * 2 * std::max(m, 6), 1.0);
  return zel::fes::write_modal_export(to_punch, m, n0, k, t.data(), v.data(), v.data(), v.data(), v.data(),
                                      v.data(), v.data(), fd, path.c_str(), source);
}

} // namespace

TEST(ModalExport, ScratchAreasAreSizedZeroFilledAndAlwaysReleased) {
  TempDir tmp;
  for (auto [m, n0, fd, column_bytes] : {std::tuple{3, 4, 0, 6 * 8}, {10, 4, 0, 10 * 8}, {3, 4, 1, 12 * 8},
                                         {10, 4, 1, 20 * 8}, {3, 1, 2, 12 * 8}, {7, 0, -1, 14 * 8}}) {
    tracker = Tracker{};
    EXPECT_EQ(call(0, m, n0, 0, fd, tmp.file("sizes.op2"), kTracked), 1);
    EXPECT_EQ(tracker.requested, (std::vector<int64_t>{4 * (n0 + 2), column_bytes, column_bytes, column_bytes}))
        << "M " << m << " N0 " << n0 << " domain " << fd;
    EXPECT_EQ(tracker.live, 0);
  }
  // A refused area gives 0: those obtained before it are released, nothing
  // more is requested and no file is written.
  for (int refuse = 0; refuse < 4; ++refuse) {
    tracker = Tracker{};
    tracker.refuse_at = refuse;
    EXPECT_EQ(call(0, 2, 3, 0, 0, tmp.file("refused.op2"), kTracked), 0);
    EXPECT_EQ(std::make_tuple(tracker.live, tracker.requested.size()), std::make_tuple(0, size_t(refuse) + 1));
    EXPECT_FALSE(std::filesystem::exists(tmp.file("refused.op2")));
  }
  unsigned char *area = static_cast<unsigned char *>(zel::fes::heap_scratch().obtain(64));
  EXPECT_EQ(Bytes(area, area + 64), Bytes(64, 0));
  zel::fes::heap_scratch().release(area);
}

TEST(ModalExport, AnyNonZeroToPunchSelectsThePunchFile) {
  TempDir tmp;
  for (int to_punch : {1, 2, -1, 0}) {
    const std::string path = tmp.file("choice" + std::to_string(to_punch));
    EXPECT_EQ(call(to_punch, 2, 2, 0, 0, path), 1);
    EXPECT_EQ(read_text(path).compare(0, 16, "DTI     TOL     ") == 0, to_punch != 0) << to_punch;
  }
  EXPECT_EQ(read_records(tmp.file("choice0"))[1], Payload().text("TOL     ").bytes());
  // Files that cannot be created give 2.
  EXPECT_EQ(call(0, 2, 2, 0, 0, tmp.file("missing/dir/file")), 2);
  EXPECT_EQ(call(1, 2, 2, 0, 1, tmp.file("missing/dir/file")), 2);
  EXPECT_FALSE(std::filesystem::exists(tmp.file("missing")));
}

TEST(ModalExport, WritersWorkOnCopiesOfTheCountsThroughThePublicEntry) {
  TempDir tmp;
  std::vector<double> times = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}, v(60, 1.0);
  int num_modes = 2, num_steps = 10, num_dropped = 3;
  const std::string op2 = tmp.file("copies.op2"), pch = tmp.file("copies.pch");
  for (int to_punch : {0, 3})
    EXPECT_EQ(zel_fes_write_mcs(to_punch, num_modes, num_steps, num_dropped, times.data(), v.data(), v.data(),
                                v.data(), v.data(), v.data(), v.data(), 0, (to_punch ? pch : op2).c_str()),
              1);
  EXPECT_EQ(read_records(op2)[4], Payload().i(101).i(7).i(1).i(2).i(1).i(1).i(8888).bytes());
  EXPECT_EQ(read_text(pch).substr(24, 8), "       7");
  EXPECT_EQ(std::make_tuple(num_modes, num_steps, num_dropped), std::make_tuple(2, 10, 3));
}
