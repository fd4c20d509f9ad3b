// MATLAB files: what `zel convert` writes, read back through matio itself (and h5py for v7.3) and through zel; the
// plain layouts the reader takes, written here through matio, and wrong ones. Wrong arguments: cli_test.cpp.
#include "cli_support.h"
#include "mat_file.h"

#include <matio.h>

using namespace cli_test;

namespace {

// A cell of char arrays, their UTF-16 code units (each below 256 here) as bytes.
std::vector<std::string> texts(matvar_t *cell) {
  std::vector<std::string> out;
  for (size_t i = 0; i < cell->nbytes / cell->data_size; ++i) {
    const matvar_t *var = Mat_VarGetCell(cell, int(i));
    out.emplace_back(static_cast<const uint16_t *>(var->data),
                     static_cast<const uint16_t *>(var->data) + var->nbytes / 2);
  }
  return out;
}
std::vector<double> values(const matvar_t *var) {
  const double *d = static_cast<const double *>(var->data);
  return std::vector<double>(d, d + var->nbytes / sizeof(double));
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

// One struct named after the file: the interval, the time column, one column per channel under a unique name, the
// labels in UTF-16 (a Latin-1 one converted); matio, h5py (v7.3) and zel read it all back.
TEST(MatWrite, MatioH5pyAndZelReadTheStructZelWrites) {
  const bool h5py = std::system("/usr/bin/python3 -c 'import h5py' 2>/dev/null") == 0;
  for (const std::string version : {"5", "7.3"}) {
    if (version == "7.3" && !zel_tool::mat73_supported()) GTEST_SKIP() << "matio here has no MAT v7.3 (HDF5) support";
    TempDir dir;
    const std::vector<double> a = {1.5, -2.25, 1e-20f}, b = {0.1f, 1e30f, -7.0f};
    write_rpc(dir.file("in.rsp"), {a, b}, 1.0 / 3.0, {{"L\xE4ngs x", "\xB5m/m"}, {"L\xC3\xA4ngs x", ""}});
    double dt = 0; // as the RPC III file records it
    read_signal(dir.file("in.rsp"), 1, &dt);
    ASSERT_EQ(run_zel(dir, {"convert", "in.rsp", "2nd run.mat", "--mat-version", version}).status, 0) << version;
    mat_t *mat = Mat_Open(dir.file("2nd run.mat").c_str(), MAT_ACC_RDONLY);
    ASSERT_NE(mat, nullptr);
    EXPECT_EQ(Mat_GetVersion(mat), version == "5" ? MAT_FT_MAT5 : MAT_FT_MAT73);
    matvar_t *s = Mat_VarRead(mat, "ch_2nd_run");
    ASSERT_NE(s, nullptr) << version;
    auto field = [&](const char *name) { return Mat_VarGetStructFieldByName(s, name, 0); };
    EXPECT_EQ(values(field("dt")), std::vector<double>{dt});
    EXPECT_EQ(values(field("time")), (std::vector<double>{0.0, dt, 2 * dt}));
    EXPECT_EQ(field("time")->dims[0], 3u); // a column
    EXPECT_EQ(values(field("L_ngs_x")), a);
    EXPECT_EQ(values(field("L_ngs_x_2")), b);
    EXPECT_EQ(texts(field("names")), (std::vector<std::string>{"L_ngs_x", "L_ngs_x_2"}));
    EXPECT_EQ(texts(field("descriptions")), (std::vector<std::string>{"L\xE4ngs x", "L\xE4ngs x"}));
    EXPECT_EQ(texts(field("units")), (std::vector<std::string>{"\xB5m/m", ""}));
    Mat_VarFree(s), Mat_Close(mat);
    const auto back = zel_tool::open_signal(dir.file("2nd run.mat"));
    EXPECT_EQ(back->info().dt, dt);
    for (int c = 1; c <= 2; ++c) {
      EXPECT_EQ(back->read(c), c == 1 ? a : b) << c;
      EXPECT_EQ(back->info().channels[c - 1].description, "L\xC3\xA4ngs x") << c;
      EXPECT_EQ(back->info().channels[c - 1].unit, c == 1 ? "\xC2\xB5m/m" : "") << c;
    }
    if (version == "5" || !h5py) continue;
    const std::string script = "import h5py; f = h5py.File('" + dir.file("2nd run.mat") +
                               "', 'r'); s = f['ch_2nd_run'];"
                               " print(*['%.17g' % v for v in [*s['L_ngs_x'][()].flat, s['dt'][()].item()]],"
                               " f[s['units'][()].flat[0]][()].flatten().tolist())";
    EXPECT_EQ(std::system(("/usr/bin/python3 -c \"" + script + "\" > " + dir.file("h5py.txt")).c_str()), 0);
    char want[256];
    std::snprintf(want, sizeof want, "%.17g %.17g %.17g %.17g [181, 109, 47, 109]\n", a[0], a[1], a[2], dt);
    EXPECT_EQ(read_file(dir.file("h5py.txt")), want);
  }
  if (!h5py) GTEST_SKIP() << "no h5py: the MAT v7.3 file not read through HDF5";
}

// Plain variables written through matio, read as zel cat prints them: the interval from dt, fs or a time vector whose
// first element is the start; a scalar beside the channels is a setting. A wrong layout fails with a reason.
TEST(MatRead, PlainLayouts) {
  using Vars = std::vector<std::pair<const char *, std::vector<double>>>;
  const std::vector<double> x = {1, 2, 3}, t = {10, 10.5, 11};
  const std::string from_0 = "time [s],x []\n0,1\n0.25,2\n0.5,3\n", from_10 = "time [s],x []\n10,1\n10.5,2\n11,3\n";
  // clang-format off
  const std::vector<std::tuple<Vars, std::string, std::string>> cases = {  // variables, zel cat's output, the failure
      {{{"dt", {0.25}}, {"x", x}}, from_0, ""},
      {{{"fs", {4.0}}, {"x", x}}, from_0, ""},
      {{{"t", t}, {"x", x}}, from_10, ""},
      {{{"x", x}, {"time", t}, {"gain", {2.0}}}, from_10, ""},
      {{{"dt", {0.5}}}, "", "no channels"},
      {{{"a", {1, 2}}, {"b", x}, {"dt", {1}}}, "", "'b' has 3 samples"},
      {{{"a", x}}, "", "no sample interval"},
      {{{"a", x}, {"t", {0, 1, 3}}}, "", "not evenly spaced"},
      {{{"a", {1, 2}}, {"dt", {-1}}}, "", "not above 0"}};
  // clang-format on
  for (const auto &[vars, printed, failure] : cases) {
    TempDir dir;
    mat_t *mat = Mat_CreateVer(dir.file("p.mat").c_str(), nullptr, MAT_FT_MAT5);
    for (const auto &[name, v] : vars) {
      size_t dims[2] = {v.size(), 1};
      matvar_t *var = Mat_VarCreate(name, MAT_C_DOUBLE, MAT_T_DOUBLE, 2, dims, const_cast<double *>(v.data()), 0);
      Mat_VarWrite(mat, var, MAT_COMPRESSION_NONE), Mat_VarFree(var);
    }
    Mat_Close(mat);
    const Outcome run = run_zel(dir, {"cat", "p.mat"});
    if (failure.empty()) {
      EXPECT_EQ(run.out, printed) << run.err;
    } else {
      expect_failure(run, {"p.mat", failure});
    }
  }
}
