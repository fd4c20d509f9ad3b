// zel_fes_write_mcs: writer choice, scratch areas obtained and released on
// every path, the counts handed over, results 1, 2 and 0.
#include "export_test_support.h"

#include "solver_export/export_entry.h"
#include "zel.h"

#include <cstdlib>
#include <filesystem>
#include <tuple>

using namespace export_test;
namespace modal_export = zel::modal_export;

namespace {

struct { // every request of the scratch source below; one may be refused
  std::vector<int64_t> requested;
  int live = 0, refuse_at = -1;
} tracker;
const modal_export::ScratchSource kTracked{[](int64_t bytes) -> void * {
                                             tracker.requested.push_back(bytes);
                                             if (int(tracker.requested.size()) == tracker.refuse_at + 1) return nullptr;
                                             return ++tracker.live, std::calloc(1, size_t(bytes));
                                           },
                                           [](void *area) { --tracker.live, std::free(area); }};

int call(int to_punch, int m, int n0, int fd, const std::string &path, const modal_export::ScratchSource &source) {
  const std::vector<double> t(size_t(std::max(n0, 1)), 1.0), v(t.size() * 2 * size_t(std::max(m, 6)), 1.0);
  return modal_export::write_modal_export(to_punch, m, n0, 3, t.data(), v.data(), v.data(), v.data(), v.data(),
                                          v.data(), v.data(), fd, path.c_str(), source);
}

} // namespace

TEST(ModalExport, ScratchAreasAreSizedAndAlwaysReleased) {
  TempDir tmp;
  // Name list N0 + 2 words; three columns of max(6, M) doubles, twice that unless time output.
  for (auto [m, n0, fd, column] : {std::tuple{3, 4, 0, 48}, {10, 4, 0, 80}, {3, 4, 1, 96}, {7, 0, -1, 112}}) {
    tracker.requested.clear(), tracker.refuse_at = -1;
    EXPECT_EQ(call(0, m, n0, fd, tmp.file("sizes.op2"), kTracked), 1);
    EXPECT_EQ(tracker.requested, (std::vector<int64_t>{4 * (n0 + 2), column, column, column}))
        << m << " " << n0 << " " << fd;
    EXPECT_EQ(tracker.live, 0);
  }
  for (int refuse = 0; refuse < 4; ++refuse) { // 0: nothing more requested, all released, no file
    tracker.requested.clear(), tracker.refuse_at = refuse;
    EXPECT_EQ(call(0, 2, 3, 0, tmp.file("refused.op2"), kTracked), 0);
    EXPECT_EQ(std::make_tuple(tracker.live, tracker.requested.size()), std::make_tuple(0, size_t(refuse) + 1));
    EXPECT_FALSE(std::filesystem::exists(tmp.file("refused.op2")));
  }
  unsigned char *area = static_cast<unsigned char *>(modal_export::heap_scratch().obtain(64));
  EXPECT_EQ(Bytes(area, area + 64), Bytes(64, 0));
  modal_export::heap_scratch().release(area);
}

TEST(ModalExport, AnyNonZeroToPunchChoosesThePunchFileAndFailuresGiveTwo) {
  TempDir tmp;
  for (int to_punch : {2, -1, 0}) {
    const std::string path = tmp.file("choice" + std::to_string(to_punch));
    EXPECT_EQ(call(to_punch, 2, 10, 0, path, modal_export::heap_scratch()), 1);
    EXPECT_EQ(read_file(path)[0] == 'D', to_punch != 0) << to_punch;
    EXPECT_EQ(zel_fes_status(), 0);
  }
  const Bytes op2 = read_file(tmp.file("choice0")); // the TOL trailer, for N = N0 - K = 7
  EXPECT_EQ(Bytes(op2.begin() + 56, op2.begin() + 84), Bytes(Payload().i(101).i(7).i(1).i(2).i(1).i(1).i(8888)));
  for (int to_punch : {0, 1}) { // files that cannot be created: 2, and the status says so
    EXPECT_EQ(zel_fes_write_mcs(to_punch, 1, 0, 0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, 0,
                                tmp.file("missing/dir/file").c_str()),
              2);
    EXPECT_EQ(zel_fes_status(), 2);
  }
}
