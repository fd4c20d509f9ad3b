// The record runtime: framing, buffering, subrecords, truncation, text
// lines, and its quiet handling of files that cannot be opened.
#include "fes_test_support.h"

#include "solver_export/record_runtime/record_unit.h"

#include <filesystem>

using fes_test::Bytes;
using fes_test::framed;
using fes_test::int_record;
using fes_test::Payload;
using fes_test::read_file;
using fes_test::TempDir;
namespace records = zel::records;

namespace {

bool open_unit(records::Unit &u, const std::string &path, records::Form form = records::Form::unformatted) {
  return u.open(path.data(), static_cast<int64_t>(path.size()), form);
}

// One record of the given integers.
void put_record(records::Unit &u, std::initializer_list<int32_t> values) {
  u.begin_record();
  for (int32_t v : values) u.put_int(v);
  u.end_record();
}

// Restores the working directory when a test has moved it.
struct InDirectory {
  explicit InDirectory(const std::filesystem::path &dir) { std::filesystem::current_path(dir); }
  ~InDirectory() { std::filesystem::current_path(saved); }
  std::filesystem::path saved = std::filesystem::current_path();
};

} // namespace

TEST(RecordRuntime, FramesEachRecordWithItsLengthBeforeAndAfter) {
  TempDir tmp;
  const std::string path = tmp.file("framing.bin");
  records::Unit &u = records::unit(4);
  ASSERT_TRUE(open_unit(u, path));
  u.rewind();
  put_record(u, {-3});
  put_record(u, {}); // an empty record
  const double d = 2.5;
  u.begin_record();
  u.put_int(7);
  u.put(&d, 8);
  u.put("AB", 2);
  u.end_record();
  u.close();
  EXPECT_FALSE(u.is_open());
  EXPECT_FALSE(u.failed());
  const Bytes file = read_file(path);
  EXPECT_EQ(Bytes(file.begin(), file.begin() + 12), (Bytes{4, 0, 0, 0, 0xFD, 0xFF, 0xFF, 0xFF, 4, 0, 0, 0}));
  EXPECT_EQ(file, framed({int_record(-3), {}, Payload().i(7).d(2.5).text("AB")}));
}

TEST(RecordRuntime, RecordsLargerThanTheBufferAndManySmallOnesSurviveBuffering) {
  TempDir tmp;
  const std::string path = tmp.file("big.bin");
  records::Unit &u = records::unit(4);
  ASSERT_TRUE(open_unit(u, path));
  const int small_records = 50000;
  for (int i = 0; i < small_records; ++i) put_record(u, {i});
  // One record of 2.5 buffers handed over in pieces of odd sizes, then in one piece.
  Bytes big(static_cast<size_t>(records::kUnitBufferBytes * 5 / 2));
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<unsigned char>(i * 7 + 3);
  u.begin_record();
  for (size_t at = 0; at < big.size(); at += 100003) u.put(big.data() + at, static_cast<int64_t>(std::min<size_t>(big.size() - at, 100003)));
  u.end_record();
  u.begin_record();
  u.put(big.data(), static_cast<int64_t>(big.size()));
  u.end_record();
  put_record(u, {-1});
  u.close();

  const std::vector<Bytes> recs = fes_test::read_records(path);
  ASSERT_EQ(recs.size(), static_cast<size_t>(small_records) + 3);
  for (int i = 0; i < small_records; i += 997) EXPECT_EQ(recs[static_cast<size_t>(i)], int_record(i));
  EXPECT_EQ(recs[small_records], big);
  EXPECT_EQ(recs[small_records + 1], big);
  EXPECT_EQ(recs.back(), int_record(-1));
}

TEST(RecordRuntime, LongRecordsAreSplitIntoSignedSubrecords) {
  TempDir tmp;
  const std::string path = tmp.file("sub.bin");
  records::Unit &u = records::unit(4);
  ASSERT_TRUE(open_unit(u, path));
  u.set_subrecord_limit(8);
  put_record(u, {1, 2, 3, 4, 5}); // 20 bytes: 8 + 8 + 4
  put_record(u, {6, 7});          // exactly the limit: one plain record
  u.close();
  u.set_subrecord_limit(records::kMaxSubrecordBytes);
  const Bytes expected = Payload()
                             .i(-8).i(1).i(2).i(8)   // first of three: head negative
                             .i(-8).i(3).i(4).i(-8)  // middle: both negative
                             .i(4).i(5).i(-4)        // last: tail negative
                             .i(8).i(6).i(7).i(8);
  EXPECT_EQ(read_file(path), expected);
}

TEST(RecordRuntime, RewindCutsAnOlderLongerFileAfterTheLastRecordWritten) {
  TempDir tmp;
  const std::string path = tmp.file("old.bin");
  fes_test::write_file(path, Bytes(5000, 0xAB));
  records::Unit &u = records::unit(4);
  ASSERT_TRUE(open_unit(u, path));
  u.rewind();
  put_record(u, {0});
  u.close();
  EXPECT_EQ(read_file(path), framed({int_record(0)}));
  // Rewinding in the middle of a file: the second pass wins, nothing else.
  ASSERT_TRUE(open_unit(u, path));
  for (int i = 0; i < 3; ++i) put_record(u, {i});
  u.rewind();
  put_record(u, {9});
  u.close();
  EXPECT_EQ(read_file(path), framed({int_record(9)}));
}

TEST(RecordRuntime, FormattedWritesEndTheirLineUnlessToldToLeaveItOpen) {
  TempDir tmp;
  const std::string path = tmp.file("lines.txt");
  fes_test::write_file(path, Bytes(100, 'x'));
  records::Unit &u = records::unit(4);
  ASSERT_TRUE(open_unit(u, path, records::Form::formatted));
  u.rewind();
  u.write_text("AB", 2, false);
  u.write_text("CD", 2, true);
  u.write_text("", 0, true);
  u.write_text("EF", 2, false); // still open at close: the line is ended
  u.close();
  EXPECT_EQ(fes_test::read_text(path), "ABCD\n\nEF\n");
}

TEST(RecordRuntime, FileNamesAreTakenByLengthWithoutTrailingBlanks) {
  TempDir tmp;
  const std::string path = tmp.file("named.bin"), padded = path + "    and more";
  records::Unit &u = records::unit(4);
  ASSERT_TRUE(u.open(padded.data(), static_cast<int64_t>(path.size()) + 4, records::Form::unformatted));
  put_record(u, {1});
  u.close();
  EXPECT_EQ(read_file(path).size(), 12u);
  EXPECT_FALSE(std::filesystem::exists(padded));
}

TEST(RecordRuntime, AFileThatCannotBeOpenedSwallowsEveryOperation) {
  TempDir tmp;
  InDirectory here(tmp.path());
  records::Unit &u = records::unit(4);
  EXPECT_FALSE(open_unit(u, tmp.file("missing/dir/x.bin")));
  EXPECT_TRUE(u.failed());
  u.rewind();
  put_record(u, {1});
  u.write_text("x", 1, true);
  u.close();
  EXPECT_TRUE(std::filesystem::is_empty(tmp.path())) << "no stand-in file is created";
  // An empty name is refused the same way; the unit works again afterwards.
  EXPECT_FALSE(u.open("   ", 3, records::Form::unformatted));
  u.close();
  EXPECT_TRUE(open_unit(u, tmp.file("ok.bin")));
  u.close();
  EXPECT_FALSE(u.failed());
}

TEST(RecordRuntime, UnitsWrittenBeforeOpeningGoToTheirDefaultFile) {
  TempDir tmp;
  InDirectory here(tmp.path());
  records::Unit &u = records::unit(42);
  put_record(u, {5});
  u.close();
  EXPECT_EQ(read_file(tmp.file("fort.42")), framed({int_record(5)}));
  // Numbers outside the table are never connected to anything.
  records::Unit &none = records::unit(100);
  EXPECT_FALSE(none.open("x.bin", 5, records::Form::unformatted));
  put_record(none, {5});
  none.close();
  EXPECT_EQ(&records::unit(-1), &none);
  EXPECT_FALSE(std::filesystem::exists(tmp.file("x.bin")));
  EXPECT_FALSE(std::filesystem::exists(tmp.file("fort.100")));
}

TEST(RecordRuntime, OpeningAConnectedUnitCompletesItsFirstFile) {
  TempDir tmp;
  records::Unit &u = records::unit(4);
  ASSERT_TRUE(open_unit(u, tmp.file("a.bin")));
  u.begin_record();
  u.put_int(1); // record still open when the unit is reconnected
  ASSERT_TRUE(open_unit(u, tmp.file("b.bin")));
  u.close();
  EXPECT_EQ(read_file(tmp.file("a.bin")), framed({int_record(1)}));
  EXPECT_TRUE(read_file(tmp.file("b.bin")).empty());
}
