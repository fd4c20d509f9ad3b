// The record runtime: subrecords past the limit, buffering across and past the unit's buffer, and gfortran's own bytes.
#include "export_test_support.h"

#include "solver_export/record_runtime/record_unit.h"

#include <cstdlib>

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

TEST(RecordRuntime, SubrecordsAndBufferingOverAnOlderFile) {
  TempDir tmp;
  const std::string path = tmp.file("r.bin");
  std::ofstream(path) << std::string(5000, 'x');
  records::Unit small(4, 12);
  ASSERT_TRUE(open_unit(small, path));
  write_fortran_records(small), small.close(); // nothing of the older file survives
  // 12-byte subrecords: a leading length is negated when another follows, a trailing one when one came before.
  Payload split = Payload().i(0).i(0).i(-12).i(-3).d(2.5).i(12).i(2).text("AB").i(-2).i(-12).i(1).i(2).i(3).i(12);
  split.i(-12).i(4).i(5).i(6).i(-12).i(-12).i(7).i(8).i(9).i(-12).i(4).i(10).i(-4);
  EXPECT_EQ(read_file<Bytes>(path), Bytes(split));
  Bytes big(size_t(records::kUnitBufferBytes * 5 / 2));
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<unsigned char>(i * 7 + 3);
  records::Unit &u = records::unit(4);
  ASSERT_TRUE(open_unit(u, path));
  u.begin_record(); // pieces that fill the buffer, cross it, and exceed it
  for (size_t at = 0, n = 100003; at < big.size(); at += n, n *= 2)
    u.put(big.data() + at, int64_t(std::min(big.size() - at, n)));
  u.end_record(), u.close();
  EXPECT_EQ(read_file<Bytes>(path), framed({big}));
}

TEST(RecordRuntime, GfortranRecordsAndModuleCallEqualOurs) {
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
    Call c{2, 3, 1, 0, {0.5, 1, 1.5}, {0, 0.5, 1, 1.5, 2, 2.5}}; // the Fortran program's call
    for (int i = 0; i < 18; ++i) c.bh_disp[size_t(i)] = -i;
    c.uh_vel = c.uh_acc = c.uh_disp, c.bh_vel = c.bh_acc = c.bh_disp;
    EXPECT_EQ(c.op2(tmp.file("ours.op2")), read_file<Bytes>(tmp.file("from_fortran.op2")));
  }
#endif
}
