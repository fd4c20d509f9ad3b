// The record runtime: framing, buffering, truncation, text lines, names,
// files that cannot be opened, and the bytes of gfortran's own records.
#include "fes_test_support.h"

#include "solver_export/record_runtime/record_unit.h"
#include "zel.h"

#include <cstdlib>
#include <filesystem>

using namespace fes_test;
namespace records = zel::records;

namespace {

bool open_unit(records::Unit &u, const std::string &path, records::Form form = records::Form::unformatted) {
  return u.open(path.data(), static_cast<int64_t>(path.size()), form);
}
void put_record(records::Unit &u, std::initializer_list<int32_t> values) {
  u.begin_record();
  for (int32_t v : values) u.put_int(v);
  u.end_record();
}
// The records the Fortran program writes, through our runtime.
void write_fortran_records(records::Unit &u) {
  const double d = 2.5;
  put_record(u, {});
  u.begin_record();
  u.put_int(-3);
  u.put(&d, 8);
  u.put("AB", 2);
  u.end_record();
  put_record(u, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10});
}
struct InDirectory { // restores the working directory
  explicit InDirectory(const std::filesystem::path &dir) { std::filesystem::current_path(dir); }
  ~InDirectory() { std::filesystem::current_path(saved); }
  std::filesystem::path saved = std::filesystem::current_path();
};

} // namespace

TEST(RecordRuntime, FramingBufferingAndRewindCuttingTheOlderFile) {
  TempDir tmp;
  const std::string path = tmp.file("r.bin");
  write_file(path, Bytes(5000, 0xAB));
  records::Unit &u = records::unit(4);
  ASSERT_TRUE(open_unit(u, path));
  put_record(u, {1, 2, 3});
  u.rewind(); // writing starts again at byte 0; nothing older survives
  write_fortran_records(u);
  Bytes big(static_cast<size_t>(records::kUnitBufferBytes * 5 / 2));
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<unsigned char>(i * 7 + 3);
  u.begin_record(); // 2.5 buffers handed over in pieces of odd sizes
  for (size_t at = 0; at < big.size(); at += 100003)
    u.put(big.data() + at, static_cast<int64_t>(std::min<size_t>(big.size() - at, 100003)));
  u.end_record();
  Payload ten;
  for (int i = 1; i <= 10; ++i) ten.i(i);
  std::vector<Bytes> want = {{}, Payload().i(-3).d(2.5).text("AB"), ten, big};
  for (int i = 0; i < 30000; ++i) {
    put_record(u, {i});
    want.push_back(int_record(i));
  }
  u.close();
  EXPECT_FALSE(u.failed());
  const Bytes file = read_file(path);
  EXPECT_EQ(Bytes(file.begin(), file.begin() + 12), (Bytes{0, 0, 0, 0, 0, 0, 0, 0, 14, 0, 0, 0}));
  EXPECT_EQ(file, framed(want));
}

TEST(RecordRuntime, TextLinesNamesByLengthAndUnitsWithoutAFile) {
  TempDir tmp;
  InDirectory here(tmp.path());
  records::Unit &u = records::unit(4);
  const std::string path = tmp.file("lines.txt"), padded = path + "    and more";
  write_file(path, Bytes(100, 'x'));
  ASSERT_TRUE(u.open(padded.data(), static_cast<int64_t>(path.size()) + 4, records::Form::formatted));
  u.rewind();
  u.write_text("AB", 2, false); // the line stays open for the next write
  u.write_text("CD", 2, true);
  u.write_text("", 0, true);
  u.write_text("EF", 2, false); // still open at close: the line is ended
  u.close();
  EXPECT_EQ(read_text(path), "ABCD\n\nEF\n");
  // A file that cannot be opened, or an empty name, swallows every operation.
  EXPECT_FALSE(open_unit(u, tmp.file("missing/dir/x.bin")));
  EXPECT_TRUE(u.failed());
  put_record(u, {1});
  u.write_text("x", 1, true);
  u.close();
  EXPECT_FALSE(u.open("   ", 3, records::Form::unformatted));
  u.close();
  EXPECT_TRUE(std::filesystem::exists(path) && !std::filesystem::exists(padded));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(tmp.path()), {}), 1) << "no stand-in file is created";
}

TEST(RecordRuntime, GfortranRecordsAndBindCCallEqualOurs) {
#ifndef ZEL_GFORTRAN_PLAIN
  GTEST_SKIP() << "gfortran not found";
#else
  for (auto [program, limit] : {std::pair<const char *, int64_t>{ZEL_GFORTRAN_PLAIN, records::kMaxSubrecordBytes},
                                {ZEL_GFORTRAN_SPLIT, 12}}) {
    TempDir tmp;
    ASSERT_EQ(std::system(("cd '" + tmp.path().string() + "' && '" + program + "'").c_str()), 0) << program;
    records::Unit &u = records::unit(4);
    ASSERT_TRUE(open_unit(u, tmp.file("ours.bin")));
    u.set_subrecord_limit(limit);
    write_fortran_records(u);
    u.close();
    u.set_subrecord_limit(records::kMaxSubrecordBytes);
    EXPECT_EQ(read_file(tmp.file("ours.bin")), read_file(tmp.file("framing.bin"))) << program;
    // The same call as the Fortran program's, from C++.
    int32_t m = 2, n0 = 3, k = 1, fd = 0, names[5];
    double c[3][6], t[3] = {0.5, 1, 1.5}, uh[6], bh[18];
    for (int i = 0; i < 18; ++i) bh[i] = -i, uh[i % 6] = 0.5 * (i % 6);
    const std::string ours = tmp.file("ours.op2");
    ZEL_OP2_WMC(&m, &n0, &k, names, c[0], c[1], c[2], t, uh, bh, uh, bh, uh, bh, &fd, ours.data(),
                static_cast<int64_t>(ours.size()));
    EXPECT_EQ(read_file(ours), read_file(tmp.file("from_fortran.op2")));
    EXPECT_GT(read_file(ours).size(), 500u);
  }
#endif
}
