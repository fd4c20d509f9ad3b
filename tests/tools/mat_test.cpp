// MATLAB files: what `zel convert` writes, read back through matio itself
// (and h5py for v7.3); the plain layouts the reader takes, written here
// through matio; round trips; wrong inputs.
#include "cli_support.h"
#include "mat_file.h"

#include <matio.h>

using namespace cli_test;

namespace {

const std::vector<std::string> kVersions = {"5", "7.3"};

bool skip_version(const std::string &version) { return version == "7.3" && !zel_tool::mat73_supported(); }

std::string text(matvar_t *var) {
  std::string out;
  const size_t n = var->nbytes / var->data_size;
  for (size_t i = 0; i < n; ++i)
    out += char(var->data_size == 2 ? static_cast<uint16_t *>(var->data)[i] : static_cast<char *>(var->data)[i]);
  return out;
}
std::vector<std::string> texts(matvar_t *cell) {
  std::vector<std::string> out;
  for (size_t i = 0; i < cell->nbytes / cell->data_size; ++i) out.push_back(text(Mat_VarGetCell(cell, int(i))));
  return out;
}
std::vector<double> values(matvar_t *var) {
  const double *d = static_cast<double *>(var->data);
  return std::vector<double>(d, d + var->nbytes / sizeof(double));
}

// A file of top-level variables (a struct named s when as_struct), written through matio.
using Var = std::pair<std::string, std::vector<double>>;
void write_plain(const std::string &path, const std::vector<Var> &vars, bool as_struct) {
  mat_t *mat = Mat_CreateVer(path.c_str(), nullptr, MAT_FT_MAT5);
  std::vector<const char *> names;
  for (const Var &v : vars) names.push_back(v.first.c_str());
  names.push_back(nullptr);
  size_t one[2] = {1, 1};
  matvar_t *s = as_struct ? Mat_VarCreateStruct2("s", 2, one, names.data()) : nullptr;
  for (const Var &v : vars) {
    size_t dims[2] = {v.second.size(), 1};
    matvar_t *var = Mat_VarCreate(as_struct ? nullptr : v.first.c_str(), MAT_C_DOUBLE, MAT_T_DOUBLE, 2, dims,
                                  const_cast<double *>(v.second.data()), 0);
    if (as_struct)
      Mat_VarSetStructFieldByName(s, v.first.c_str(), 0, var);
    else
      Mat_VarWrite(mat, var, MAT_COMPRESSION_NONE), Mat_VarFree(var);
  }
  if (s) Mat_VarWrite(mat, s, MAT_COMPRESSION_NONE), Mat_VarFree(s);
  Mat_Close(mat);
}

} // namespace

TEST(MatNames, ValidUniqueMatlabNames) {
  // clang-format off
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"Wheel force FL", "Wheel_force_FL"}, {"a-b--c_", "a_b_c"}, {"1st axle", "ch_1st_axle"},
      {"_x", "x"}, {"end", "end_"}, {"L\xc3\xa4ngskraft", "L_ngskraft"}, {"", ""}, {"%%", ""},
      {std::string(70, 'a'), std::string(63, 'a')}};
  // clang-format on
  for (const auto &[in, out] : cases) EXPECT_EQ(zel_tool::matlab_name(in), out) << in;
  EXPECT_EQ(zel_tool::channel_field_names({"F", "F", "time", "", std::string(70, 'b'), std::string(64, 'b')}),
            (std::vector<std::string>{"F", "F_2", "time_2", "ch4", std::string(63, 'b'), std::string(61, 'b') + "_2"}));
}

TEST(MatWrite, MatioReadsTheStructZelWrites) {
  for (const std::string &version : kVersions) {
    if (skip_version(version)) GTEST_SKIP() << "matio here has no MAT v7.3 (HDF5) support";
    TempDir dir;
    const std::vector<double> a = {1.5, -2.25, 3.0}, b = {0.1f, 1e30f, -7.0f};
    write_rpc(dir.file("in.rsp"), {a, b}, 0.25, {{"Force x", "N"}, {"Force x", "m/s^2"}});
    ASSERT_EQ(run_zel(dir, {"convert", "in.rsp", "2nd run.mat", "--mat-version", version}).status, 0) << version;
    mat_t *mat = Mat_Open(dir.file("2nd run.mat").c_str(), MAT_ACC_RDONLY);
    ASSERT_NE(mat, nullptr);
    EXPECT_EQ(Mat_GetVersion(mat), version == "5" ? MAT_FT_MAT5 : MAT_FT_MAT73);
    matvar_t *s = Mat_VarRead(mat, "ch_2nd_run");
    ASSERT_NE(s, nullptr) << version;
    auto field = [&](const char *name) { return Mat_VarGetStructFieldByName(s, name, 0); };
    EXPECT_EQ(values(field("dt")), std::vector<double>{0.25});
    EXPECT_EQ(values(field("time")), (std::vector<double>{0.0, 0.25, 0.5}));
    EXPECT_EQ(field("time")->dims[0], 3u); // a column
    EXPECT_EQ(values(field("Force_x")), a);
    EXPECT_EQ(values(field("Force_x_2")), b);
    EXPECT_EQ(texts(field("names")), (std::vector<std::string>{"Force_x", "Force_x_2"}));
    EXPECT_EQ(texts(field("descriptions")), (std::vector<std::string>{"Force x", "Force x"}));
    EXPECT_EQ(texts(field("units")), (std::vector<std::string>{"N", "m/s^2"}));
    Mat_VarFree(s);
    Mat_Close(mat);
  }
}

TEST(MatWrite, H5pyReadsVersion73) {
  if (!zel_tool::mat73_supported()) GTEST_SKIP() << "matio here has no MAT v7.3 (HDF5) support";
  if (std::system("/usr/bin/python3 -c 'import h5py' 2>/dev/null") != 0) GTEST_SKIP() << "no h5py";
  TempDir dir;
  write_rpc(dir.file("in.rsp"), {{1.5, -2.25}}, 0.5, {{"F", "kN"}});
  ASSERT_EQ(run_zel(dir, {"convert", "in.rsp", "o.mat", "--mat-version", "7.3"}).status, 0);
  const std::string script = "import h5py; f = h5py.File('" + dir.file("o.mat") +
                             "', 'r'); s = f['o']; print(list(s['F'][()].flatten()), s['dt'][()].item(), "
                             "''.join(map(chr, f[s['units'][()].item()][()].flatten())))";
  std::FILE *out = popen(("/usr/bin/python3 -c \"" + script + "\"").c_str(), "r");
  char line[256] = {};
  ASSERT_NE(std::fgets(line, sizeof line, out), nullptr);
  pclose(out);
  EXPECT_EQ(std::string(line), "[1.5, -2.25] 0.5 kN\n");
}

TEST(MatRoundTrip, FloatSamplesNamesAndUnitsKept) {
  for (const std::string &version : kVersions) {
    if (skip_version(version)) GTEST_SKIP() << "matio here has no MAT v7.3 (HDF5) support";
    TempDir dir;
    const std::vector<double> a = {0.1f, -3.75f, 1e-20f, 5.0f}, b = {2.0f, 1e20f, -0.5f, 0.0f};
    write_rpc(dir.file("in.rsp"), {a, b}, 1.0 / 3.0, {{"L\xc3\xa4ngs", "\xc2\xb5m/m"}, {"z", ""}});
    write_dac(dir.file("in.dac"), b, 200.0, 1.5);
    for (const std::string in : {"in.rsp", "in.dac"}) {
      ASSERT_EQ(run_zel(dir, {"convert", in, "m.mat", "--mat-version", version}).status, 0);
      ASSERT_EQ(run_zel(dir, {"convert", "m.mat", "back.rsp"}).status, 0);
      const auto before = zel_tool::open_signal(dir.file(in)), after = zel_tool::open_signal(dir.file("back.rsp"));
      EXPECT_EQ(after->info().dt, before->info().dt) << in;
      for (int c = 1; c <= before->info().channel_count(); ++c) {
        EXPECT_EQ(after->read(c), before->read(c)) << in << c;
        EXPECT_EQ(after->info().channels[c - 1].description, before->info().channels[c - 1].description);
        EXPECT_EQ(after->info().channels[c - 1].unit, before->info().channels[c - 1].unit);
      }
    }
  }
}

TEST(MatRead, PlainLayouts) {
  const std::vector<double> x = {1, 2, 3}, t = {10, 10.5, 11};
  struct Case {
    std::vector<Var> vars;
    bool as_struct;
    double dt, start;
  };
  // clang-format off
  const std::vector<Case> cases = {
      {{{"dt", {0.5}}, {"acc", x}}, false, 0.5, 0.0},
      {{{"fs", {4.0}}, {"acc", x}}, true, 0.25, 0.0},
      {{{"t", t}, {"acc", x}}, true, 0.5, 10.0},
      {{{"acc", x}, {"time", t}, {"gain", {2.0}}}, false, 0.5, 10.0}};
  // clang-format on
  for (const Case &c : cases) {
    TempDir dir;
    write_plain(dir.file("p.mat"), c.vars, c.as_struct);
    const auto file = zel_tool::open_signal(dir.file("p.mat"));
    EXPECT_EQ(file->info().dt, c.dt);
    EXPECT_EQ(file->info().start_time, c.start);
    EXPECT_EQ(file->info().channel_count(), 1);
    EXPECT_EQ(file->info().channels[0].description, "acc");
    EXPECT_EQ(file->read(1), x);
  }
}

TEST(MatRead, WrongInputsFail) {
  // clang-format off
  const std::vector<std::pair<std::vector<Var>, std::string>> cases = {
      {{{"dt", {0.5}}}, "no channels"},
      {{{"a", {1, 2}}, {"b", {1, 2, 3}}, {"dt", {1}}}, "'b' has 3 samples"},
      {{{"a", {1, 2, 3}}}, "no sample interval"},
      {{{"a", {1, 2, 3}}, {"t", {0, 1, 3}}}, "not evenly spaced"},
      {{{"a", {1, 2}}, {"dt", {-1}}}, "not above 0"}};
  // clang-format on
  for (const auto &[vars, needle] : cases) {
    TempDir dir;
    write_plain(dir.file("w.mat"), vars, false);
    expect_failure(run_zel(dir, {"info", "w.mat"}), {"w.mat", needle});
  }
  TempDir dir;
  std::filesystem::create_directory(dir.file("d.mat"));
  std::ofstream(dir.file("junk.mat")) << "not a mat file";
  write_rpc(dir.file("in.rsp"), {{1.0, 2.0}}, 0.5);
  expect_failure(run_zel(dir, {"info", "d.mat"}), {"d.mat", "directory"});
  expect_failure(run_zel(dir, {"info", "junk.mat"}), {"junk.mat", "not a MATLAB file"});
  expect_failure(run_zel(dir, {"convert", "in.rsp", "o.mat", "--mat-version", "6"}), {"give 5 or 7.3"});
  expect_failure(run_zel(dir, {"convert", "in.rsp", "o.csv", "--mat-version", "5"}), {".mat output only"});
}
