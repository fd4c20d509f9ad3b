// The records of record_framing.f90 written through the library's record
// runtime: record_framing_ours <file> [subrecord limit].
#include "solver_export/record_runtime/record_unit.h"

#include <cstdlib>
#include <cstring>

int main(int argc, char **argv) {
  if (argc < 2) return 2;
  zel::records::Unit &u = zel::records::unit(4);
  if (!u.open(argv[1], static_cast<int64_t>(std::strlen(argv[1])), zel::records::Form::unformatted))
    return 1;
  if (argc > 2) u.set_subrecord_limit(std::atoll(argv[2]));
  u.rewind();

  u.begin_record();
  u.end_record();

  u.begin_record();
  u.put_int(7);
  u.end_record();

  const double d = 2.5;
  u.begin_record();
  u.put_int(-3);
  u.put(&d, 8);
  u.put("AB", 2);
  u.end_record();

  u.begin_record();
  for (int32_t i = 1; i <= 10; ++i) u.put_int(i);
  u.end_record();

  const double three[3] = {1.0, -2.0, 1e300};
  u.begin_record();
  u.put(three, sizeof three);
  u.end_record();

  const float f = 1.5f;
  u.begin_record();
  u.put("abcdefghijklmnopqrstuvwxyz", 26);
  u.put(&f, 4);
  u.end_record();

  u.close();
  return u.failed() ? 1 : 0;
}
