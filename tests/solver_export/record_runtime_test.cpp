// The record runtime: framing (subrecords past the limit), buffering, the
// cut on rewind, text lines, names, refused files, and gfortran's own bytes.
#include "export_test_support.h"

#include "solver_export/record_runtime/record_unit.h"
#include "zel.h"

#include <cstdlib>
#include <filesystem>

using namespace export_test;
namespace records = zel::records;

namespace {

bool open_unit(records::Unit &u, const std::string &path) { return u.open(path.data(), int64_t(path.size())); }
// The records fortran/interop.f90 writes: empty; -3, 2.5, "AB"; 1 to 10.
void write_fortran_records(records::Unit &u) {
  const double d = 2.5;
  u.begin_record(), u.end_record();
  u.begin_record(), u.put_int(-3), u.put(&d, 8), u.put("AB", 2), u.end_record();
  u.begin_record();
  for (int32_t v = 1; v <= 10; ++v) u.put_int(v);
  u.end_record();
}

} // namespace

TEST(RecordRuntime, FramingBufferingSubrecordsAndRewindCuttingTheOlderFile) {
  TempDir tmp;
  const std::string path = tmp.file("r.bin");
  std::ofstream(path) << std::string(5000, 'x');
  records::Unit &u = records::unit(4);
  ASSERT_TRUE(open_unit(u, path));
  u.begin_record(), u.put_int(7), u.end_record();
  u.rewind(); // writing starts again at byte 0; nothing older survives
  write_fortran_records(u);
  Bytes big(size_t(records::kUnitBufferBytes * 5 / 2));
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<unsigned char>(i * 7 + 3);
  u.begin_record(); // 2.5 buffers handed over in pieces of odd sizes
  for (size_t at = 0; at < big.size(); at += 100003)
    u.put(big.data() + at, int64_t(std::min<size_t>(big.size() - at, 100003)));
  u.end_record(), u.close();
  Payload ten, split = Payload().i(0).i(0).i(-12).i(-3).d(2.5).i(12).i(2).text("AB").i(-2);
  for (int i = 1; i <= 10; ++i) ten.i(i);
  EXPECT_EQ(read_file(path), framed({{}, Payload().i(-3).d(2.5).text("AB"), ten, big}));
  EXPECT_FALSE(u.failed());
  // 12-byte subrecords: a leading length is negated when another follows, a trailing one when one came before.
  for (int s = 0; s < 4; ++s) {
    split.i(s < 3 ? -12 : 4);
    for (int v = 3 * s + 1; v <= std::min(3 * s + 3, 10); ++v) split.i(v);
    split.i(s == 0 ? 12 : s < 3 ? -12 : -4);
  }
  records::Unit small(4, 12);
  ASSERT_TRUE(open_unit(small, path));
  write_fortran_records(small), small.close();
  EXPECT_EQ(read_file(path), Bytes(split));
}

TEST(RecordRuntime, TextLinesNamesByLengthAndUnitsWithoutAFile) {
  TempDir tmp;
  const std::filesystem::path saved = std::filesystem::current_path();
  std::filesystem::current_path(tmp.path()); // where a stand-in "fort.4" would appear
  records::Unit &u = records::unit(4);
  const std::string path = tmp.file("lines.txt"), padded = path + "    and more";
  std::ofstream(path) << std::string(100, 'x');
  ASSERT_TRUE(u.open(padded.data(), int64_t(path.size()) + 4));       // trailing blanks are not part of the name
  u.write_text("AB", 2, false), u.write_text("CD", 2, true);          // a line left open continues
  u.write_text("", 0, true), u.write_text("EF", 2, false), u.close(); // close ends an open line
  EXPECT_EQ(zel_test::read_file_bytes(path), Bytes({'A', 'B', 'C', 'D', '\n', '\n', 'E', 'F', '\n'}));
  EXPECT_FALSE(open_unit(u, tmp.file("missing/dir/x.bin"))); // refused: every operation is swallowed
  EXPECT_TRUE(u.failed());
  u.begin_record(), u.put_int(1), u.end_record(), u.write_text("x", 1, true), u.close();
  EXPECT_FALSE(u.open("   ", 3));
  u.close(), std::filesystem::current_path(saved);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(tmp.path()), {}), 1) << "no other file is created";
}

TEST(RecordRuntime, GfortranRecordsAndBindCCallEqualOurs) {
#ifndef ZEL_GFORTRAN_PLAIN
  GTEST_SKIP() << "gfortran not found";
#else
  for (auto [program, limit] :
       {std::pair<const char *, int64_t>{ZEL_GFORTRAN_PLAIN, records::kMaxSubrecordBytes}, {ZEL_GFORTRAN_SPLIT, 12}}) {
    TempDir tmp;
    ASSERT_EQ(std::system(("cd '" + tmp.path().string() + "' && '" + program + "'").c_str()), 0) << program;
    records::Unit u(4, limit);
    ASSERT_TRUE(open_unit(u, tmp.file("ours.bin")));
    write_fortran_records(u), u.close();
    EXPECT_EQ(read_file(tmp.file("ours.bin")), read_file(tmp.file("framing.bin"))) << program;
    int32_t m = 2, n0 = 3, k = 1, fd = 0, names[5]; // the Fortran program's call, from C++
    double c[3][6], t[3] = {0.5, 1, 1.5}, uh[6], bh[18];
    for (int i = 0; i < 18; ++i) bh[i] = -i, uh[i % 6] = 0.5 * (i % 6);
    const std::string ours = tmp.file("ours.op2");
    ZEL_OP2_WMC(&m, &n0, &k, names, c[0], c[1], c[2], t, uh, bh, uh, bh, uh, bh, &fd, ours.data(),
                int64_t(ours.size()));
    EXPECT_EQ(read_file(ours), read_file(tmp.file("from_fortran.op2")));
    EXPECT_GT(read_file(ours).size(), 500u);
  }
#endif
}
