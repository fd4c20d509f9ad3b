// The record runtime: framing, buffering, subrecords, truncation, text
// lines, and its quiet handling of files that cannot be opened.
#include "fes_test_support.h"

#include "solver_export/record_runtime/record_unit.h"

using fes_test::Bytes;
using fes_test::Payload;
using fes_test::TempDir;
namespace records = zel::records;

namespace {

bool open_unit(records::Unit &u, const std::string &path, records::Form form) {
  return u.open(path.data(), static_cast<int64_t>(path.size()), form);
}

// Restores the working directory when a test has moved it.
class InDirectory {
public:
  explicit InDirectory(const std::filesystem::path &dir) : saved_(std::filesystem::current_path()) {
    std::filesystem::current_path(dir);
  }
  ~InDirectory() { std::filesystem::current_path(saved_); }

private:
  std::filesystem::path saved_;
};

} // namespace

TEST(RecordRuntime, FramesEachRecordWithItsLengthBeforeAndAfter) {
  TempDir tmp;
  const std::string path = tmp.path("framing.bin");
  records::Unit &u = records::unit(4);
  ASSERT_TRUE(open_unit(u, path, records::Form::unformatted));
  u.rewind();
  u.begin_record();
  u.put_int(-3);
  u.end_record();
  u.begin_record(); // an empty record
  u.end_record();
  const double d = 2.5;
  u.begin_record();
  u.put_int(7);
  u.put(&d, 8);
  u.put("AB", 2);
  u.end_record();
  u.close();
  EXPECT_FALSE(u.is_open());

  const Bytes expected = {4, 0, 0, 0, 0xFD, 0xFF, 0xFF, 0xFF, 4, 0, 0, 0, // [-3]
                          0, 0, 0, 0, 0, 0, 0, 0};                      // empty
  const Bytes file = fes_test::read_file(path);
  ASSERT_EQ(file.size(), 20u + 4 + 14 + 4);
  EXPECT_EQ(Bytes(file.begin(), file.begin() + 20), expected);
  EXPECT_EQ(Bytes(file.begin() + 20, file.end()),
            fes_test::framed({Payload().i(7).d(2.5).text("AB")}));
  EXPECT_FALSE(u.failed());
}

TEST(RecordRuntime, RecordsLargerThanTheBufferAndManySmallOnesSurviveBuffering) {
  TempDir tmp;
  const std::string path = tmp.path("big.bin");
  records::Unit &u = records::unit(4);
  ASSERT_TRUE(open_unit(u, path, records::Form::unformatted));
  const int small_records = 50000;
  for (int i = 0; i < small_records; ++i) {
    u.begin_record();
    u.put_int(i);
    u.end_record();
  }
  // One record of 2.5 buffers, handed over in pieces of odd sizes.
  Bytes big(static_cast<size_t>(records::kUnitBufferBytes * 5 / 2));
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<unsigned char>(i * 7 + 3);
  u.begin_record();
  for (size_t at = 0; at < big.size();) {
    size_t piece = std::min<size_t>(big.size() - at, 100003);
    u.put(big.data() + at, static_cast<int64_t>(piece));
    at += piece;
  }
  u.end_record();
  u.begin_record();
  u.put(big.data(), static_cast<int64_t>(big.size())); // in one piece
  u.end_record();
  u.begin_record();
  u.put_int(-1);
  u.end_record();
  u.close();

  const std::vector<Bytes> recs = fes_test::read_records(path);
  ASSERT_EQ(recs.size(), static_cast<size_t>(small_records) + 3);
  for (int i = 0; i < small_records; i += 997) EXPECT_EQ(recs[i], fes_test::int_record(i));
  EXPECT_EQ(recs[small_records], big);
  EXPECT_EQ(recs[small_records + 1], big);
  EXPECT_EQ(recs.back(), fes_test::int_record(-1));
}

TEST(RecordRuntime, LongRecordsAreSplitIntoSignedSubrecords) {
  TempDir tmp;
  const std::string path = tmp.path("sub.bin");
  records::Unit &u = records::unit(4);
  ASSERT_TRUE(open_unit(u, path, records::Form::unformatted));
  u.set_subrecord_limit(8);
  u.begin_record(); // 20 bytes: 8 + 8 + 4
  for (int i = 1; i <= 5; ++i) u.put_int(i);
  u.end_record();
  u.begin_record(); // exactly the limit: one plain record
  u.put_int(6);
  u.put_int(7);
  u.end_record();
  u.close();
  u.set_subrecord_limit(records::kMaxSubrecordBytes);

  const Bytes expected = Payload()
                             .i(-8).i(1).i(2).i(8)   // first of three: head negative
                             .i(-8).i(3).i(4).i(-8)  // middle: both negative
                             .i(4).i(5).i(-4)        // last: tail negative
                             .i(8).i(6).i(7).i(8);
  EXPECT_EQ(fes_test::read_file(path), expected);
}

TEST(RecordRuntime, RewindCutsAnOlderLongerFileAfterTheLastRecordWritten) {
  TempDir tmp;
  const std::string path = tmp.path("old.bin");
  fes_test::write_file(path, Bytes(5000, 0xAB));
  records::Unit &u = records::unit(4);
  ASSERT_TRUE(open_unit(u, path, records::Form::unformatted));
  u.rewind();
  u.begin_record();
  u.put_int(0);
  u.end_record();
  u.close();
  EXPECT_EQ(fes_test::read_file(path), fes_test::framed({fes_test::int_record(0)}));

  // Rewinding in the middle of a file: the second pass wins, nothing else.
  ASSERT_TRUE(open_unit(u, path, records::Form::unformatted));
  for (int i = 0; i < 3; ++i) {
    u.begin_record();
    u.put_int(i);
    u.end_record();
  }
  u.rewind();
  u.begin_record();
  u.put_int(9);
  u.end_record();
  u.close();
  EXPECT_EQ(fes_test::read_file(path), fes_test::framed({fes_test::int_record(9)}));
}

TEST(RecordRuntime, FormattedWritesEndTheirLineUnlessToldToLeaveItOpen) {
  TempDir tmp;
  const std::string path = tmp.path("lines.txt");
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
  const std::string path = tmp.path("named.bin");
  const std::string padded = path + "    and more";
  records::Unit &u = records::unit(4);
  ASSERT_TRUE(u.open(padded.data(), static_cast<int64_t>(path.size()) + 4,
                     records::Form::unformatted));
  u.begin_record();
  u.put_int(1);
  u.end_record();
  u.close();
  EXPECT_EQ(fes_test::read_file(path).size(), 12u);
  EXPECT_FALSE(std::filesystem::exists(padded));
}

TEST(RecordRuntime, AFileThatCannotBeOpenedSwallowsEveryOperation) {
  TempDir tmp;
  InDirectory here(tmp.dir());
  const std::string bad = tmp.path("missing/dir/x.bin");
  records::Unit &u = records::unit(4);
  EXPECT_FALSE(open_unit(u, bad, records::Form::unformatted));
  EXPECT_TRUE(u.failed());
  u.rewind();
  u.begin_record();
  u.put_int(1);
  u.end_record();
  u.write_text("x", 1, true);
  u.close();
  EXPECT_TRUE(std::filesystem::is_empty(tmp.dir())) << "no stand-in file is created";

  // An empty name is refused the same way; the unit works again afterwards.
  EXPECT_FALSE(u.open("   ", 3, records::Form::unformatted));
  u.close();
  EXPECT_TRUE(open_unit(u, tmp.path("ok.bin"), records::Form::unformatted));
  u.close();
  EXPECT_FALSE(u.failed());
}

TEST(RecordRuntime, UnitsWrittenBeforeOpeningGoToTheirDefaultFile) {
  TempDir tmp;
  InDirectory here(tmp.dir());
  records::Unit &u = records::unit(42);
  u.begin_record();
  u.put_int(5);
  u.end_record();
  u.close();
  EXPECT_EQ(fes_test::read_file(tmp.path("fort.42")), fes_test::framed({fes_test::int_record(5)}));

  // Numbers outside the table are never connected to anything.
  records::Unit &none = records::unit(100);
  EXPECT_FALSE(none.open("x.bin", 5, records::Form::unformatted));
  none.begin_record();
  none.put_int(5);
  none.end_record();
  none.close();
  EXPECT_EQ(&records::unit(-1), &none);
  EXPECT_FALSE(std::filesystem::exists(tmp.path("x.bin")));
  EXPECT_FALSE(std::filesystem::exists(tmp.path("fort.100")));
}

TEST(RecordRuntime, OpeningAConnectedUnitCompletesItsFirstFile) {
  TempDir tmp;
  records::Unit &u = records::unit(4);
  ASSERT_TRUE(open_unit(u, tmp.path("a.bin"), records::Form::unformatted));
  u.begin_record();
  u.put_int(1);
  // record still open when the unit is reconnected
  ASSERT_TRUE(open_unit(u, tmp.path("b.bin"), records::Form::unformatted));
  u.close();
  EXPECT_EQ(fes_test::read_file(tmp.path("a.bin")), fes_test::framed({fes_test::int_record(1)}));
  EXPECT_TRUE(fes_test::read_file(tmp.path("b.bin")).empty());
}
