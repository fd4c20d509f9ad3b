// zel_fes_write_mcs: writer choice, scratch areas obtained and released on
// every path, the caller's counts untouched, results 1, 2 and 0.
#include "export_test_support.h"

#include "solver_export/export_entry.h"
#include "zel.h"

#include <cstdlib>
#include <filesystem>
#include <tuple>

using namespace export_test;
namespace modal_export = zel::modal_export;

namespace {

struct Tracker { // every request of the scratch source below; one may be refused
  std::vector<int64_t> requested;
  int live = 0, refuse_at = -1;
} tracker;
const modal_export::ScratchSource kTracked{
    [](int64_t bytes) -> void * {
      tracker.requested.push_back(bytes);
      if (int(tracker.requested.size()) == tracker.refuse_at + 1) return nullptr;
      return ++tracker.live, std::calloc(1, size_t(bytes));
    },
    [](void *area) { --tracker.live, std::free(area); }};

int call(int to_punch, int m, int n0, int fd, const std::string &path,
         const modal_export::ScratchSource &source = modal_export::heap_scratch()) {
  const std::vector<double> t(size_t(std::max(n0, 1)), 1.0), v(t.size() * 2 * size_t(std::max(m, 6)), 1.0);
  return modal_export::write_modal_export(to_punch, m, n0, 0, t.data(), v.data(), v.data(), v.data(), v.data(),
                                          v.data(), v.data(), fd, path.c_str(), source);
}

} // namespace

TEST(ModalExport, ScratchAreasAreSizedAndAlwaysReleased) {
  TempDir tmp;
  // Name list N0 + 2 words; three columns of max(6, M) doubles, twice that unless time output.
  for (auto [m, n0, fd, column_bytes] : {std::tuple{3, 4, 0, 6 * 8}, {10, 4, 0, 10 * 8}, {3, 4, 1, 12 * 8}, {7, 0, -1, 14 * 8}}) {
    tracker = Tracker{};
    EXPECT_EQ(call(0, m, n0, fd, tmp.file("sizes.op2"), kTracked), 1);
    EXPECT_EQ(tracker.requested, (std::vector<int64_t>{4 * (n0 + 2), column_bytes, column_bytes, column_bytes})) << m << " " << n0 << " " << fd;
    EXPECT_EQ(tracker.live, 0);
  }
  for (int refuse = 0; refuse < 4; ++refuse) { // 0: nothing more requested, all released, no file
    tracker = Tracker{};
    tracker.refuse_at = refuse;
    EXPECT_EQ(call(0, 2, 3, 0, tmp.file("refused.op2"), kTracked), 0);
    EXPECT_EQ(std::make_tuple(tracker.live, tracker.requested.size()), std::make_tuple(0, size_t(refuse) + 1));
    EXPECT_FALSE(std::filesystem::exists(tmp.file("refused.op2")));
  }
  unsigned char *area = static_cast<unsigned char *>(modal_export::heap_scratch().obtain(64));
  EXPECT_EQ(Bytes(area, area + 64), Bytes(64, 0));
  modal_export::heap_scratch().release(area);
}

TEST(ModalExport, AnyNonZeroToPunchChoosesThePunchFileAndTheCountsAreCopied) {
  TempDir tmp;
  for (int to_punch : {2, -1, 0}) {
    const std::string path = tmp.file("choice" + std::to_string(to_punch));
    EXPECT_EQ(call(to_punch, 2, 2, 0, path), 1);
    EXPECT_EQ(read_text(path).rfind("DTI     TOL     ", 0) == 0, to_punch != 0) << to_punch;
  }
  for (int to_punch : {0, 1}) { // files that cannot be created: 2, and the status says so
    EXPECT_EQ(call(to_punch, 2, 2, 0, tmp.file("missing/dir/file")), 2);
    EXPECT_EQ(zel_fes_status(), 2);
  }
  std::vector<double> times = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}, v(60, 1.0);
  int modes = 2, steps = 10, dropped = 3;
  EXPECT_EQ(zel_fes_write_mcs(0, modes, steps, dropped, times.data(), v.data(), v.data(), v.data(), v.data(),
                              v.data(), v.data(), 0, tmp.file("copies.op2").c_str()), 1);
  EXPECT_EQ(zel_fes_status(), 0);
  EXPECT_EQ(read_records(tmp.file("copies.op2"))[4], Bytes(Payload().i(101).i(7).i(1).i(2).i(1).i(1).i(8888)));
  EXPECT_EQ(std::make_tuple(modes, steps, dropped), std::make_tuple(2, 10, 3));
}
