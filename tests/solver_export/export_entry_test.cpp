// zel_fes_write_mcs: writer choice, scratch areas obtained and released on every path, the counts handed over, results
// 1, 2 and 0.
#include "export_test_support.h"

#include "solver_export/export_entry.h"

#include <cstdlib>
#include <tuple>

using namespace export_test;
namespace modal_export = zel::modal_export;

namespace {

struct { // every request of the scratch source below; one may be refused
  std::vector<int64_t> requested;
  int live = 0, refuse_at = -1;
} tracker;
void *tracked_obtain(int64_t bytes) {
  tracker.requested.push_back(bytes);
  return int(tracker.requested.size()) == tracker.refuse_at + 1 ? nullptr
                                                                : (++tracker.live, std::calloc(1, size_t(bytes)));
}
const modal_export::ScratchSource kTracked{tracked_obtain, [](void *area) { --tracker.live, std::free(area); }};

int call(int to_punch, int m, int n0, int fd, const std::string &path,
         const modal_export::ScratchSource &source = modal_export::heap_scratch()) {
  const std::vector<double> t(size_t(std::max(n0, 1)), 1.0), v(t.size() * 2 * size_t(std::max(m, 6)), 1.0);
  return modal_export::write_modal_export(to_punch, m, n0, 3, t.data(), v.data(), v.data(), v.data(), v.data(),
                                          v.data(), v.data(), fd, path.c_str(), source);
}

} // namespace

TEST(ModalExport, ScratchAreasAreSizedAndAlwaysReleased) {
  TempDir tmp;
  const std::string path = tmp.file("scratch.op2");
  // M, N0, frequency_domain, the request refused (-1 none), the sizes requested: the name list of N0 + 2 words, three
  // columns of max(6, M) doubles, twice that unless time output. Once one is refused nothing more is asked for.
  // clang-format off
  const std::tuple<int, int, int, int, std::vector<int64_t>> cases[] = {
      {3, 4, 0, -1, {24, 48, 48, 48}}, {10, 4, 0, -1, {24, 80, 80, 80}}, {3, 4, 1, -1, {24, 96, 96, 96}},
      {7, 0, -1, -1, {8, 112, 112, 112}}, {2, 3, 0, 0, {20}}, {2, 3, 0, 3, {20, 48, 48, 48}}};
  // clang-format on
  for (const auto &[m, n0, fd, refuse, sizes] : cases) {
    SCOPED_TRACE(testing::Message() << "M " << m << ", N0 " << n0 << ", domain " << fd << ", refused " << refuse);
    std::filesystem::remove(path), tracker.requested.clear(), tracker.refuse_at = refuse;
    EXPECT_EQ(call(0, m, n0, fd, path, kTracked), refuse < 0 ? 1 : 0);
    EXPECT_EQ(tracker.requested, sizes);
    EXPECT_EQ(tracker.live, 0) << "released";
    EXPECT_EQ(std::filesystem::exists(path), refuse < 0);
  }
}

TEST(ModalExport, AnyNonZeroToPunchChoosesThePunchFileAndUnusableNamesGiveTwo) {
  TempDir tmp;
  for (int to_punch : {2, -1, 0}) {
    const std::string path = tmp.file("choice" + std::to_string(to_punch));
    EXPECT_EQ(call(to_punch, 2, 10, 0, path), 1);
    EXPECT_EQ(read_file(path)[0] == 'D', to_punch != 0) << to_punch;
  }
  for (const std::string &name : {tmp.file("missing/dir/file"), tmp.path().string(), std::string("   ")})
    for (int to_punch : {0, 1}) EXPECT_EQ(call(to_punch, 2, 10, 0, name), 2) << "'" << name << "', " << to_punch;
}
