// zel._core: the library's readers and writers for Python. The package's
// Python layer (zel/__init__.py) checks arguments, picks the format and
// renames finished files; this module moves samples between the library
// and numpy arrays. Every array is allocated here and filled by the
// library in place, with the interpreter lock released.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include "zel.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace py = pybind11;

namespace {

// A status the library reported, raised in Python as zel.ZelError.
struct LibraryError {
  int code;
  std::string message;
};

std::string rpc_message(int code) {
  char text[96] = {};
  zel_rpc_geterror(code, text);
  return text;
}

std::string dac_message(int code) {
  char text[96] = {};
  zel_dac_geterror(code, text);
  return text;
}

[[noreturn]] void rpc_fail(int code) { throw LibraryError{code, rpc_message(code)}; }
[[noreturn]] void dac_fail(int code) { throw LibraryError{code, dac_message(code)}; }

using Array = py::array_t<double, py::array::c_style>;

double *data_of(Array &a) { return a.mutable_data(); }

// Counts and positions arrive from Python as 64-bit values; the library
// takes ints.
int as_int(int64_t value, const char *what) {
  if (value < 0 || value > INT_MAX) throw py::value_error(std::string(what) + " out of range");
  return static_cast<int>(value);
}

// ---------------------------------------------------------------- RPC III

class RpcFile {
public:
  explicit RpcFile(const std::string &path)
      : input_(std::make_unique<rpc3file_input>(path.c_str())) {
    if (input_->getStatus() != 0) rpc_fail(input_->getStatus());
    // Budget 0: two frames per channel in memory, slid along the file;
    // reading every channel costs one pass and memory stays bounded.
    input_->initRead(0);
    if (input_->getStatus() != 0) rpc_fail(input_->getStatus());
    char date[96] = {};
    const int status = input_->getInfo(channels_, padded_, dt_, date);
    if (status != 0) rpc_fail(status);
    // Times and windows need an interval above 0; the reader refuses only
    // 0 and values that are not finite.
    if (!(dt_ > 0.0)) rpc_fail(ZEL_RPC_BAD_HEADER);
    date_ = date;
    samples_ = input_->getSamples();
  }

  int channels() const { return channels_; }
  int samples() const { return samples_; }
  double dt() const { return dt_; }
  py::bytes date() const { return py::bytes(date_); }

  py::tuple attributes(int channel) {
    std::lock_guard<std::mutex> lock(mutex_);
    char description[96] = {}, units[96] = {};
    const int code = open().getAttributes(channel, description, units);
    if (code != 0) rpc_fail(code);
    return py::make_tuple(py::bytes(description), py::bytes(units));
  }

  py::list records() {
    std::lock_guard<std::mutex> lock(mutex_);
    py::list out;
    char keyword[32], value[96];
    for (int r = 1; open().getRecord(r, keyword, value) == 0; ++r)
      out.append(py::make_tuple(py::bytes(keyword), py::bytes(value)));
    return out;
  }

  // count points of a channel from point first.
  Array read(int channel, int64_t first, int64_t count) {
    Array out(count);
    double *values = data_of(out);
    int code = 0;
    {
      py::gil_scoped_release unlocked;
      std::lock_guard<std::mutex> lock(mutex_);
      code = open().getRange(channel, as_int(first, "first"), as_int(count, "count"), values);
      if (code == 0) code = input_->getStatus();
    }
    if (code != 0) rpc_fail(code);
    return out;
  }

  // Points first to first + count - 1 of every channel, as rows of a
  // (count, channels) array. The library delivers a channel's points
  // contiguously: each block of rows is read channel by channel into a
  // small scratch and transposed into its rows.
  Array read_all(int64_t first, int64_t count) {
    Array out({count, static_cast<int64_t>(channels_)});
    double *rows = data_of(out);
    int code = 0;
    {
      py::gil_scoped_release unlocked;
      std::lock_guard<std::mutex> lock(mutex_);
      rpc3file_input &in = open();
      const int64_t n = channels_;
      const int64_t block = std::max<int64_t>(16, std::min<int64_t>(1024, (1 << 17) / n));
      std::vector<double> scratch(static_cast<size_t>(block * n));
      for (int64_t at = 0; at < count && code == 0; at += block) {
        const int64_t k = std::min(block, count - at);
        for (int64_t c = 0; c < n && code == 0; ++c)
          code = in.getRange(static_cast<int>(c + 1), static_cast<int>(first + at),
                             static_cast<int>(k), scratch.data() + c * k);
        double *row = rows + at * n;
        for (int64_t i = 0; i < k; ++i, row += n)
          for (int64_t c = 0; c < n; ++c) row[c] = scratch[static_cast<size_t>(c * k + i)];
      }
      if (code == 0) code = in.getStatus();
    }
    if (code != 0) rpc_fail(code);
    return out;
  }

  py::tuple window(int channel, double time, int64_t half_width) {
    const int half = as_int(half_width, "half_width");
    if (half > (INT_MAX - 1) / 2) throw py::value_error("half_width out of range");
    Array times(2 * int64_t(half) + 1), values(2 * int64_t(half) + 1);
    double *t = data_of(times), *v = data_of(values);
    int code = 0;
    {
      py::gil_scoped_release unlocked;
      std::lock_guard<std::mutex> lock(mutex_);
      code = open().getWindow(channel, time, t, v, half);
      if (code == 0) code = input_->getStatus();
    }
    if (code != 0) rpc_fail(code);
    return py::make_tuple(times, values);
  }

  void close() {
    py::gil_scoped_release unlocked;
    std::lock_guard<std::mutex> lock(mutex_);
    input_.reset();
  }

private:
  rpc3file_input &open() {
    if (!input_) throw py::value_error("I/O operation on closed file");
    return *input_;
  }

  std::mutex mutex_; // one call at a time per file
  std::unique_ptr<rpc3file_input> input_;
  int channels_ = 0, padded_ = 0, samples_ = 0;
  double dt_ = 0.0;
  std::string date_;
};

// -------------------------------------------------------------------- DAC

// A DAC file is read through a handle of its own for every call: a handle
// reads forwards only, and a window ends its sequential reads.
class DacHandle {
public:
  DacHandle(const std::string &path, int expected) {
    int npts = 0, status = 0;
    double rate = 0.0, spare = 0.0;
    handle_ = zel_dac_open(path.c_str(), &npts, &rate, &spare, &status);
    if (!handle_) throw LibraryError{status, dac_message(status)};
    if (status != 0 && status != ZEL_DAC_BAD_RATE)
      error_ = status;
    else if (npts != expected)
      error_ = ZEL_DAC_DATA_READ; // the file changed since it was opened
  }
  ~DacHandle() {
    if (handle_) zel_dac_close(handle_);
  }
  DacHandle(const DacHandle &) = delete;
  DacHandle &operator=(const DacHandle &) = delete;

  int error() const { return error_; }
  void *get() const { return handle_; }

  // The next count samples into values; false when the file delivered fewer.
  bool next(double *values, int64_t count) {
    constexpr int64_t kBlock = 1 << 20;
    for (int64_t done = 0; done < count;) {
      const int k = static_cast<int>(std::min(kBlock, count - done));
      if (zel_dac_getnpts(handle_, k, values + done) != k) return false;
      done += k;
    }
    return true;
  }

  bool skip(int64_t count) {
    constexpr int64_t kBlock = 65536;
    std::vector<double> scratch(static_cast<size_t>(std::min(kBlock, std::max<int64_t>(count, 1))));
    for (int64_t done = 0; done < count;) {
      const int64_t k = std::min(kBlock, count - done);
      if (!next(scratch.data(), k)) return false;
      done += k;
    }
    return true;
  }

private:
  void *handle_ = nullptr;
  int error_ = 0;
};

class DacFile {
public:
  explicit DacFile(const std::string &path) : path_(path) {
    char date[121] = {}, x_label[25] = {}, x_note[29] = {}, y_label[25] = {}, y_note[29] = {};
    double rate = 0.0;
    const int status =
        zel_dac_read(path.c_str(), &npts_, &start_, &rate, date, x_label, x_note, y_label, y_note);
    if (status != 0) dac_fail(status);
    // The file holds the interval as a 32-bit float, so 100 Hz reads back
    // as 100.0000022 Hz: a rate that is a whole number within that
    // precision is taken as the whole number.
    const double whole = std::nearbyint(rate);
    if (whole >= 1.0 && std::fabs(rate - whole) <= rate * 0x1p-23) rate = whole;
    if (!(rate > 0.0) || std::isinf(rate)) dac_fail(ZEL_DAC_BAD_RATE);
    dt_ = 1.0 / rate;
    date_ = date;
    name_ = y_label;
    unit_ = y_note;
  }

  int points() const { return npts_; }
  double dt() const { return dt_; }
  double start() const { return start_; }
  py::bytes date() const { return py::bytes(date_); }
  py::bytes name() const { return py::bytes(name_); }
  py::bytes unit() const { return py::bytes(unit_); }

  Array read(int64_t first, int64_t count) {
    Array out(count);
    double *values = data_of(out);
    int code = 0;
    {
      py::gil_scoped_release unlocked;
      std::lock_guard<std::mutex> lock(mutex_);
      if (closed_)
        code = -1;
      else {
        DacHandle in(path_, npts_);
        code = in.error();
        if (code == 0 && !(in.skip(first) && in.next(values, count))) code = ZEL_DAC_DATA_READ;
      }
    }
    if (code == -1) throw py::value_error("I/O operation on closed file");
    if (code != 0) dac_fail(code);
    return out;
  }

  py::tuple window(double time, int64_t half_width) {
    const int half = as_int(half_width, "half_width");
    if (half > (INT_MAX - 1) / 2) throw py::value_error("half_width out of range");
    Array times(2 * int64_t(half) + 1), values(2 * int64_t(half) + 1);
    double *t = data_of(times), *v = data_of(values);
    int code = 0;
    {
      py::gil_scoped_release unlocked;
      std::lock_guard<std::mutex> lock(mutex_);
      if (closed_)
        code = -1;
      else {
        DacHandle in(path_, npts_);
        code = in.error();
        if (code == 0) code = zel_dac_getwindow(in.get(), npts_, start_, dt_, time, half, t, v);
      }
    }
    if (code == -1) throw py::value_error("I/O operation on closed file");
    if (code != 0) dac_fail(code);
    return py::make_tuple(times, values);
  }

  void close() {
    std::lock_guard<std::mutex> lock(mutex_);
    closed_ = true;
  }

private:
  std::mutex mutex_;
  std::string path_;
  bool closed_ = false;
  int npts_ = 0;
  double start_ = 0.0, dt_ = 0.0;
  std::string date_, name_, unit_;
};

// ---------------------------------------------------------------- writers

// Writes (points, channels) samples as an RPC III file at path. A column
// that lies contiguous in memory is handed over as it is, any other is
// gathered into a scratch column first.
void write_rpc(const std::string &path, const std::string &run,
               py::array_t<double, py::array::forcecast> data, double dt,
               const std::vector<std::string> &names, const std::vector<std::string> &units,
               bool floats, bool truncate) {
  if (data.ndim() != 2) throw py::value_error("data must be 2-D (points, channels)");
  const int points = as_int(data.shape(0), "points");
  const int channels = as_int(data.shape(1), "channels");
  if (names.size() != size_t(channels) || units.size() != size_t(channels))
    throw py::value_error("one name and one unit per channel");
  const char *base = reinterpret_cast<const char *>(data.data());
  const py::ssize_t row_stride = data.strides(0), column_stride = data.strides(1);
  int code = 0;
  {
    py::gil_scoped_release unlocked;
    int status = 0;
    void *out = zel_rpc_create_as(path.c_str(), channels, points, dt,
                                  floats ? ZEL_RPC_FLOAT32 : ZEL_RPC_INT16,
                                  truncate ? ZEL_RPC_TRUNCATE : ZEL_RPC_ROUND_NEAREST, 0, &status);
    if (!out)
      code = status;
    else {
      code = status;
      if (code == 0) code = zel_rpc_putrecord(out, "KIVOR_RUN", run.c_str());
      std::vector<double> scratch;
      for (int c = 0; c < channels && code == 0; ++c) {
        const char *column = base + c * column_stride;
        const double *values = reinterpret_cast<const double *>(column);
        if (row_stride != py::ssize_t(sizeof(double))) {
          scratch.resize(size_t(points));
          for (int i = 0; i < points; ++i)
            std::memcpy(&scratch[size_t(i)], column + i * row_stride, sizeof(double));
          values = scratch.data();
        }
        code = zel_rpc_putchannel(out, c + 1, points, values, names[size_t(c)].c_str(),
                                  units[size_t(c)].c_str());
      }
      const int closed = zel_rpc_writeclose(out);
      if (code == 0) code = closed;
    }
  }
  if (code != 0) rpc_fail(code);
}

void write_dac(const std::string &path,
               py::array_t<double, py::array::c_style | py::array::forcecast> x, double dt,
               const std::string &name, const std::string &unit, double start) {
  if (x.ndim() != 1) throw py::value_error("x must be 1-D");
  const int npts = as_int(x.shape(0), "points");
  const double *samples = x.data();
  int code = 0;
  {
    py::gil_scoped_release unlocked;
    code = zel_dac_write(path.c_str(), npts, start, 1.0 / dt, samples, "s", name.c_str(),
                         unit.c_str());
  }
  if (code != 0) dac_fail(code);
}

// The modal export writes through the process-wide record units: one
// export at a time in this process.
std::mutex export_mutex;

using Columns = py::array_t<double, py::array::f_style>;

// Arrays already laid out as the library reads them (column-major,
// contiguous); None where the export reads nothing.
int export_modal(const std::string &path, bool punch, int modes, int steps, int dropped,
                 Columns step_values, Columns uh_disp, Columns bh_disp,
                 std::optional<Columns> uh_vel, std::optional<Columns> bh_vel,
                 std::optional<Columns> uh_acc, std::optional<Columns> bh_acc, bool frequency) {
  auto pointer = [](const std::optional<Columns> &a) -> const double * {
    return a ? a->data() : nullptr;
  };
  const double *v_uh = pointer(uh_vel), *v_bh = pointer(bh_vel);
  const double *a_uh = pointer(uh_acc), *a_bh = pointer(bh_acc);
  py::gil_scoped_release unlocked;
  std::lock_guard<std::mutex> lock(export_mutex);
  return zel_fes_write_mcs(punch ? 1 : 0, modes, steps, dropped, step_values.data(), uh_disp.data(),
                           bh_disp.data(), v_uh, v_bh, a_uh, a_bh, frequency ? 1 : 0, path.c_str());
}

} // namespace

PYBIND11_MODULE(_core, m) {
  m.doc() = "zel's readers and writers (used through the zel package)";

  py::register_exception_translator([](std::exception_ptr p) {
    try {
      if (p) std::rethrow_exception(p);
    } catch (const LibraryError &e) {
      py::object type = py::module_::import("zel._errors").attr("ZelError");
      py::object error = type(e.code, e.message);
      PyErr_SetObject(type.ptr(), error.ptr());
    }
  });

  m.def("build_version", [] { return std::string(zel_build_version()); });
  m.def("rpc_sniff", [](const std::string &path) { return zel_rpc_sniff(path.c_str()) == 1; });
  m.def("dac_sniff", [](const std::string &path) { return zel_dac_sniff(path.c_str()) == 1; });
  m.def("rpc_message", &rpc_message);
  m.def("dac_message", &dac_message);

  py::class_<RpcFile>(m, "RpcFile")
      .def(py::init<const std::string &>())
      .def_property_readonly("channels", &RpcFile::channels)
      .def_property_readonly("samples", &RpcFile::samples)
      .def_property_readonly("dt", &RpcFile::dt)
      .def_property_readonly("date", &RpcFile::date)
      .def("attributes", &RpcFile::attributes)
      .def("records", &RpcFile::records)
      .def("read", &RpcFile::read)
      .def("read_all", &RpcFile::read_all)
      .def("window", &RpcFile::window)
      .def("close", &RpcFile::close);

  py::class_<DacFile>(m, "DacFile")
      .def(py::init<const std::string &>())
      .def_property_readonly("points", &DacFile::points)
      .def_property_readonly("dt", &DacFile::dt)
      .def_property_readonly("start", &DacFile::start)
      .def_property_readonly("date", &DacFile::date)
      .def_property_readonly("name", &DacFile::name)
      .def_property_readonly("unit", &DacFile::unit)
      .def("read", &DacFile::read)
      .def("window", &DacFile::window)
      .def("close", &DacFile::close);

  m.def("write_rpc", &write_rpc);
  m.def("write_dac", &write_dac);
  m.def("export_modal", &export_modal);
}
