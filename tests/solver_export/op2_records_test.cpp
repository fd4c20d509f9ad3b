// The three OUTPUT2 record routines, called as a caller would call them,
// on a unit the test connects itself.
#include "fes_test_support.h"

#include "solver_export/record_runtime/record_unit.h"
#include "zel.h"

using fes_test::Bytes;
using fes_test::Payload;
using fes_test::TempDir;

namespace {

const int32_t kUnit = 4;

// Connects unit 4 to a fresh file and hands back its path.
std::string connect(const TempDir &tmp) {
  std::string path = tmp.path("records.op2");
  zel::records::unit(kUnit).open(path.data(), static_cast<int64_t>(path.size()),
                                 zel::records::Form::unformatted);
  return path;
}

} // namespace

TEST(Op2Records, ColumnRecordCarriesRowNumberAndTermsFirstToLast) {
  TempDir tmp;
  const std::string path = connect(tmp);
  const double column[3] = {1.25, -2.5, 1e300};
  const int32_t flag = 1, last = 3, words = 2, first = 2;
  ZEL_OP2WRIT(&flag, &last, &words, &first, &kUnit, column);
  // The routine hands its records to the file before it returns.
  const Bytes expected = Payload()
                             .i(4).i(1).i(4).i(4).i(1).i(4).i(4).i(4).i(4)
                             .i(20).i(2).d(-2.5).d(1e300).i(20)
                             .i(4).i(-3).i(4);
  EXPECT_EQ(fes_test::read_file(path), expected);
  const Bytes tail = fes_test::read_file(path);
  EXPECT_EQ(Bytes(tail.end() - 8, tail.end() - 4), (Bytes{0xFD, 0xFF, 0xFF, 0xFF}));
  zel::records::unit(kUnit).close();
}

TEST(Op2Records, HeaderRecordIsTheDataWordsOneToLast) {
  TempDir tmp;
  const std::string path = connect(tmp);
  const int32_t flag = 0, last = 2, words = 1, first = 1;
  ZEL_OP2WRIT(&flag, &last, &words, &first, &kUnit, "UHT     ");
  const int32_t last4 = 4;
  const float data[4] = {0, 0, 1.5f, -2.0f};
  ZEL_OP2WRIT(&flag, &last4, &words, &first, &kUnit, data);
  zel::records::unit(kUnit).close();
  const std::vector<Bytes> expected = {
      fes_test::int_record(1), fes_test::int_record(0), fes_test::int_record(2),
      Payload().text("UHT     "), fes_test::int_record(-3),
      fes_test::int_record(1), fes_test::int_record(0), fes_test::int_record(4),
      Payload().f(0).f(0).f(1.5f).f(-2.0f), fes_test::int_record(-3)};
  EXPECT_EQ(fes_test::read_records(path), expected);
}

TEST(Op2Records, EmptyTermRangeGivesNonPositiveKeyAndNoTerms) {
  TempDir tmp;
  const std::string path = connect(tmp);
  const double column[2] = {1, 2};
  const int32_t flag = 1, last = 1, words = 2, first = 3;
  ZEL_OP2WRIT(&flag, &last, &words, &first, &kUnit, column);
  const int32_t header = 0, none = 0, one = 1;
  ZEL_OP2WRIT(&header, &none, &one, &one, &kUnit, column);
  zel::records::unit(kUnit).close();
  const std::vector<Bytes> expected = {
      fes_test::int_record(1), fes_test::int_record(1), fes_test::int_record(-2),
      fes_test::int_record(3), fes_test::int_record(-3),
      fes_test::int_record(1), fes_test::int_record(0), fes_test::int_record(0),
      Bytes{},                 fes_test::int_record(-3)};
  EXPECT_EQ(fes_test::read_records(path), expected);
}

TEST(Op2Records, BlockHeadAndBlockEndPatterns) {
  TempDir tmp;
  const std::string path = connect(tmp);
  const int32_t t[7] = {101, 6, 2, 2, 2, 2, 10000};
  ZEL_OP2ISET("UHT     ", &t[0], &t[1], &t[2], &t[3], &t[4], &t[5], &t[6], &kUnit, 8);
  const Bytes after_head = fes_test::read_file(path);
  // A shorter name is padded with blanks to its 8 bytes.
  ZEL_OP2ISET("BHT", &t[0], &t[1], &t[2], &t[3], &t[4], &t[5], &t[6], &kUnit, 3);
  const size_t before_end = fes_test::read_file(path).size();
  ZEL_OP2ESET(&kUnit);
  zel::records::unit(kUnit).close();

  const Bytes file = fes_test::read_file(path);
  EXPECT_EQ(file.size() - before_end, 36u);
  const std::vector<Bytes> recs = fes_test::split_records(file);
  ASSERT_EQ(fes_test::split_records(after_head).size(), 6u);
  const Bytes trailer = Payload().i(101).i(6).i(2).i(2).i(2).i(2).i(10000);
  EXPECT_EQ(trailer.size(), 28u);
  const std::vector<Bytes> expected = {
      fes_test::int_record(2), Payload().text("UHT     "), fes_test::int_record(-1),
      fes_test::int_record(7), trailer,                     fes_test::int_record(-2),
      fes_test::int_record(2), Payload().text("BHT     "), fes_test::int_record(-1),
      fes_test::int_record(7), trailer,                     fes_test::int_record(-2),
      fes_test::int_record(1), fes_test::int_record(0),     fes_test::int_record(0)};
  EXPECT_EQ(recs, expected);
}
