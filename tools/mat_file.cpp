#include "mat_file.h"

#include "atomic_output.h"
#include "number_text.h"
#include "progress.h"
#include "text_encoding.h"
#include "tool_error.h"

#include <matio.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <set>
#include <unistd.h>

namespace zel_tool {

namespace {

constexpr size_t kMaxName = 63; // MATLAB's longest name

// The struct's own fields; a channel never takes one of these names.
constexpr const char *kOwnFields[] = {"dt", "time", "names", "descriptions", "units", "date"};

constexpr const char *kKeywords[] = {"break",  "case",   "catch",     "classdef", "continue",
                                     "else",   "elseif", "end",       "for",      "function",
                                     "global", "if",     "otherwise", "parfor",   "persistent",
                                     "return", "spmd",   "switch",    "try",      "while"};

// matio reports through a log function that prints by default; the tool
// reports failures itself, once, through ToolError.
void quiet(int, char *) {}

struct QuietLog {
  QuietLog() { Mat_LogInitFunc("zel", quiet); }
};

void silence_matio() { static const QuietLog once; }

// HDF5 as Debian builds it is not thread-safe, and `convert -o DIR -j N`
// writes files side by side: every matio call runs under this lock.
std::mutex &matio_lock() {
  static std::mutex lock;
  return lock;
}

struct MatCloser {
  void operator()(mat_t *mat) const { Mat_Close(mat); }
};
struct VarFreer {
  void operator()(matvar_t *var) const { Mat_VarFree(var); }
};
using MatHandle = std::unique_ptr<mat_t, MatCloser>;
using VarHandle = std::unique_ptr<matvar_t, VarFreer>;

// ---- text: MATLAB chars are UTF-16 code units -------------------------------

std::vector<uint16_t> utf16(const std::string &utf8) {
  std::vector<uint16_t> out;
  for (size_t i = 0; i < utf8.size();) {
    const auto b = static_cast<unsigned char>(utf8[i]);
    const int extra = b < 0x80 ? 0 : b < 0xE0 ? 1 : b < 0xF0 ? 2 : 3;
    uint32_t code = extra == 0 ? b : extra == 1 ? b & 0x1F : extra == 2 ? b & 0x0F : b & 0x07;
    for (int k = 1; k <= extra && i + k < utf8.size(); ++k)
      code = (code << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
    i += static_cast<size_t>(extra) + 1;
    if (code >= 0x10000) {
      code -= 0x10000;
      out.push_back(static_cast<uint16_t>(0xD800 + (code >> 10)));
      out.push_back(static_cast<uint16_t>(0xDC00 + (code & 0x3FF)));
    } else {
      out.push_back(static_cast<uint16_t>(code));
    }
  }
  return out;
}

void append_utf8(std::string &out, uint32_t code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

std::string from_utf16(const uint16_t *units, size_t count) {
  std::string out;
  for (size_t i = 0; i < count; ++i) {
    uint32_t code = units[i];
    if (code >= 0xD800 && code < 0xDC00 && i + 1 < count && units[i + 1] >= 0xDC00 &&
        units[i + 1] < 0xE000)
      code = 0x10000 + ((code - 0xD800) << 10) + (units[++i] - 0xDC00);
    else if (code >= 0xD800 && code < 0xE000)
      code = 0xFFFD;
    append_utf8(out, code);
  }
  return out;
}

// A char array's text (a row; a matrix is read column by column, as MATLAB
// stores it), else nothing.
bool char_text(const matvar_t *var, std::string *text) {
  if (var == nullptr || var->class_type != MAT_C_CHAR) return false;
  const size_t count = var->nbytes / std::max<size_t>(var->data_size, 1);
  if (var->data == nullptr || count == 0) {
    text->clear();
    return true;
  }
  switch (var->data_type) {
  case MAT_T_UINT16:
  case MAT_T_UTF16:
  case MAT_T_INT16:
    *text = from_utf16(static_cast<const uint16_t *>(var->data), count);
    return true;
  case MAT_T_UINT8:
  case MAT_T_INT8:
  case MAT_T_UTF8:
    *text = utf8_text(std::string(static_cast<const char *>(var->data), count));
    return true;
  default: return false;
  }
}

VarHandle make_text(const std::string &text) {
  std::vector<uint16_t> units = utf16(utf8_text(text));
  size_t dims[2] = {1, units.size()};
  matvar_t *var = Mat_VarCreate(nullptr, MAT_C_CHAR, MAT_T_UINT16, 2, dims,
                                units.empty() ? nullptr : units.data(), 0);
  if (var == nullptr) throw std::bad_alloc();
  return VarHandle(var);
}

VarHandle make_cell(const std::vector<std::string> &texts) {
  size_t dims[2] = {1, texts.size()};
  VarHandle cell(Mat_VarCreate(nullptr, MAT_C_CELL, MAT_T_CELL, 2, dims, nullptr, 0));
  if (!cell) throw std::bad_alloc();
  for (size_t i = 0; i < texts.size(); ++i)
    Mat_VarSetCell(cell.get(), static_cast<int>(i), make_text(texts[i]).release());
  return cell;
}

// A column vector over values, which must outlive it.
VarHandle make_column(std::vector<double> &values) {
  size_t dims[2] = {values.size(), 1};
  matvar_t *var = Mat_VarCreate(nullptr, MAT_C_DOUBLE, MAT_T_DOUBLE, 2, dims, values.data(),
                                MAT_F_DONT_COPY_DATA);
  if (var == nullptr) throw std::bad_alloc();
  return VarHandle(var);
}

bool own_field(const std::string &name) {
  for (const char *f : kOwnFields)
    if (name == f) return true;
  return false;
}

} // namespace

// ---- names ------------------------------------------------------------------

MatVersion parse_mat_version(const std::string &text) {
  if (text == "5") return MatVersion::V5;
  if (text == "7.3") return MatVersion::V73;
  fail("--mat-version", "'" + text + "': give 5 or 7.3");
}

bool mat73_supported() {
  silence_matio();
  static const bool supported = [] {
    std::error_code ec;
    const std::filesystem::path dir = std::filesystem::temp_directory_path(ec);
    if (ec) return false;
    const std::string probe =
        (dir / (".zel-mat73-probe-" + std::to_string(static_cast<long>(::getpid())) + ".mat"))
            .string();
    const std::lock_guard<std::mutex> hold(matio_lock());
    mat_t *mat = Mat_CreateVer(probe.c_str(), nullptr, MAT_FT_MAT73);
    const bool ok = mat != nullptr;
    if (mat) Mat_Close(mat);
    std::filesystem::remove(probe, ec);
    return ok;
  }();
  return supported;
}

std::string matlab_name(const std::string &text) {
  std::string name;
  for (const char c : text) {
    const bool word = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    if (word)
      name += c;
    else if (!name.empty() && name.back() != '_')
      name += '_'; // any other run of bytes, UTF-8 sequences included
  }
  while (!name.empty() && name.back() == '_') name.pop_back();
  if (name.empty()) return "";
  if (!std::isalpha(static_cast<unsigned char>(name[0]))) name = "ch_" + name;
  for (const char *k : kKeywords)
    if (name == k) name += '_';
  if (name.size() > kMaxName) name.resize(kMaxName);
  return name;
}

std::vector<std::string> channel_field_names(const std::vector<std::string> &descriptions) {
  std::set<std::string> taken(std::begin(kOwnFields), std::end(kOwnFields));
  std::vector<std::string> names;
  for (size_t i = 0; i < descriptions.size(); ++i) {
    std::string base = matlab_name(descriptions[i]);
    if (base.empty()) base = "ch" + std::to_string(i + 1);
    std::string name = base;
    for (int n = 2; taken.count(name) != 0; ++n) {
      const std::string suffix = "_" + std::to_string(n);
      name = base.substr(0, kMaxName - suffix.size()) + suffix;
    }
    taken.insert(name);
    names.push_back(name);
  }
  return names;
}

std::string mat_struct_name(const std::string &path) {
  const std::string name = matlab_name(std::filesystem::path(path).stem().string());
  return name.empty() ? "signals" : name;
}

// ---- writing ----------------------------------------------------------------

void write_mat(const std::string &path, const std::vector<ChannelRef> &channels,
               SampleWindow window, double dt, const std::string &date, MatVersion version,
               Progress *progress) {
  silence_matio();
  const int64_t points = window.count;
  if (points < 1) fail(path, "no samples to write");
  if (!(dt > 0.0)) fail(path, "the sample interval must be above 0");
  if (version == MatVersion::V73 && !mat73_supported())
    fail(path, "this build of matio writes no MAT v7.3 (HDF5) files: use --mat-version 5");
  // A MAT v5 variable holds at most 2^31 - 1 bytes; the struct is one variable.
  const double bytes = 8.0 * static_cast<double>(points) * static_cast<double>(channels.size() + 1);
  if (version == MatVersion::V5 && bytes > 2147483647.0 - 1048576.0)
    fail(path, "too large for a MAT v5 file (2 GiB per variable): use --mat-version 7.3");

  std::vector<std::string> descriptions, units;
  for (const ChannelRef &ref : channels) {
    descriptions.push_back(ref.info().description);
    units.push_back(ref.info().unit);
  }
  const std::vector<std::string> names = channel_field_names(descriptions);

  // The vectors the struct's fields point into.
  std::vector<std::vector<double>> columns;
  columns.reserve(channels.size() + 1);
  const SignalInfo &lead = channels.front().file->info();
  std::vector<double> time(static_cast<size_t>(points));
  for (int64_t i = 0; i < points; ++i)
    time[static_cast<size_t>(i)] = lead.start_time + static_cast<double>(window.first + i) * dt;
  std::vector<double> interval = {dt};
  for (const ChannelRef &ref : channels) {
    columns.push_back(ref.file->read(ref.channel, window.first, window.count));
    if (progress) progress->advance(points);
  }

  std::vector<const char *> fields = {"dt", "time", "names", "descriptions", "units"};
  if (!date.empty()) fields.push_back("date");
  for (const std::string &name : names) fields.push_back(name.c_str());
  size_t dims[2] = {1, 1};
  const std::string struct_name = mat_struct_name(path);
  fields.push_back(nullptr); // the list's end
  VarHandle record(Mat_VarCreateStruct2(struct_name.c_str(), 2, dims, fields.data()));
  if (!record) throw std::bad_alloc();
  Mat_VarSetStructFieldByName(record.get(), "dt", 0, make_column(interval).release());
  Mat_VarSetStructFieldByName(record.get(), "time", 0, make_column(time).release());
  Mat_VarSetStructFieldByName(record.get(), "names", 0, make_cell(names).release());
  Mat_VarSetStructFieldByName(record.get(), "descriptions", 0, make_cell(descriptions).release());
  Mat_VarSetStructFieldByName(record.get(), "units", 0, make_cell(units).release());
  if (!date.empty())
    Mat_VarSetStructFieldByName(record.get(), "date", 0, make_text(date).release());
  for (size_t c = 0; c < names.size(); ++c)
    Mat_VarSetStructFieldByName(record.get(), names[c].c_str(), 0,
                                make_column(columns[c]).release());

  AtomicOutput output(path);
  {
    const std::lock_guard<std::mutex> hold(matio_lock());
    MatHandle mat(Mat_CreateVer(output.temp().c_str(), nullptr,
                                version == MatVersion::V73 ? MAT_FT_MAT73 : MAT_FT_MAT5));
    if (!mat) fail(path, "cannot create the MAT file");
    if (Mat_VarWrite(mat.get(), record.get(), MAT_COMPRESSION_NONE) != 0)
      fail(path, "cannot write the MAT file (disk full?)");
    if (Mat_Close(mat.release()) != 0) fail(path, "cannot close the MAT file");
  }
  output.commit();
}

// ---- reading ----------------------------------------------------------------

namespace {

bool numeric_class(matio_classes c) {
  switch (c) {
  case MAT_C_DOUBLE:
  case MAT_C_SINGLE:
  case MAT_C_INT8:
  case MAT_C_UINT8:
  case MAT_C_INT16:
  case MAT_C_UINT16:
  case MAT_C_INT32:
  case MAT_C_UINT32:
  case MAT_C_INT64:
  case MAT_C_UINT64: return true;
  default: return false;
  }
}

// A real, dense numeric array of any shape.
bool numeric(const matvar_t *var) {
  return var != nullptr && numeric_class(var->class_type) && var->isComplex == 0 &&
         var->isLogical == 0 && var->data != nullptr;
}

size_t elements(const matvar_t *var) {
  size_t n = 1;
  for (int d = 0; d < var->rank; ++d) n *= var->dims[d];
  return n;
}

// A vector: at most one dimension above 1.
bool vector_shape(const matvar_t *var) {
  int long_dims = 0;
  for (int d = 0; d < var->rank; ++d) long_dims += var->dims[d] > 1 ? 1 : 0;
  return long_dims <= 1;
}

template <typename T> void widen(const void *data, size_t n, std::vector<double> &out) {
  const T *in = static_cast<const T *>(data);
  out.assign(in, in + n);
}

std::vector<double> doubles(const matvar_t *var) {
  std::vector<double> out;
  const size_t n = elements(var);
  switch (var->class_type) {
  case MAT_C_DOUBLE: widen<double>(var->data, n, out); break;
  case MAT_C_SINGLE: widen<float>(var->data, n, out); break;
  case MAT_C_INT8: widen<int8_t>(var->data, n, out); break;
  case MAT_C_UINT8: widen<uint8_t>(var->data, n, out); break;
  case MAT_C_INT16: widen<int16_t>(var->data, n, out); break;
  case MAT_C_UINT16: widen<uint16_t>(var->data, n, out); break;
  case MAT_C_INT32: widen<int32_t>(var->data, n, out); break;
  case MAT_C_UINT32: widen<uint32_t>(var->data, n, out); break;
  case MAT_C_INT64: widen<int64_t>(var->data, n, out); break;
  case MAT_C_UINT64: widen<uint64_t>(var->data, n, out); break;
  default: break;
  }
  return out;
}

std::string class_name(matio_classes c) {
  switch (c) {
  case MAT_C_DOUBLE: return "double";
  case MAT_C_SINGLE: return "single";
  case MAT_C_INT8: return "int8";
  case MAT_C_UINT8: return "uint8";
  case MAT_C_INT16: return "int16";
  case MAT_C_UINT16: return "uint16";
  case MAT_C_INT32: return "int32";
  case MAT_C_UINT32: return "uint32";
  case MAT_C_INT64: return "int64";
  case MAT_C_UINT64: return "uint64";
  default: return "?";
  }
}

std::string shape(const matvar_t *var) {
  std::string text;
  for (int d = 0; d < var->rank; ++d) text += (d ? "x" : "") + std::to_string(var->dims[d]);
  return text;
}

// Named variables: the fields of a struct or the variables of a file.
struct Entry {
  std::string name;
  const matvar_t *var;
};

std::vector<std::string> cell_texts(const std::string &path, const Entry *entry) {
  std::vector<std::string> texts;
  if (entry == nullptr) return texts;
  if (entry->var->class_type != MAT_C_CELL)
    fail(path, "'" + entry->name + "' is not a cell array of texts");
  matvar_t *cell = const_cast<matvar_t *>(entry->var);
  for (size_t i = 0; i < elements(cell); ++i) {
    std::string text;
    if (!char_text(Mat_VarGetCell(cell, static_cast<int>(i)), &text))
      fail(path, "'" + entry->name + "' is not a cell array of texts");
    texts.push_back(text);
  }
  return texts;
}

class MatSignal : public MemorySignal {
public:
  using MemorySignal::MemorySignal;
};

std::unique_ptr<SignalFile> signal_from(const std::string &path, const std::vector<Entry> &entries,
                                        const char *version) {
  auto find = [&](const char *name) -> const Entry * {
    for (const Entry &e : entries)
      if (e.name == name) return &e;
    return nullptr;
  };
  auto scalar = [&](const char *name, double *value) {
    const Entry *e = find(name);
    if (e == nullptr) return false;
    if (!numeric(e->var) || elements(e->var) != 1)
      fail(path, std::string("'") + name + "' is not a number");
    *value = doubles(e->var)[0];
    return true;
  };

  // The channels: those 'names' lists, else every numeric vector of more
  // than one sample that is not time.
  std::vector<const Entry *> channels;
  const Entry *listed = find("names");
  if (listed != nullptr) {
    for (const std::string &name : cell_texts(path, listed)) {
      const Entry *e = find(name.c_str());
      if (e == nullptr) fail(path, "'names' lists '" + name + "', which the file does not hold");
      channels.push_back(e);
    }
  } else {
    for (const Entry &e : entries) {
      if (e.name == "time" || e.name == "t" || own_field(e.name) || !numeric(e.var) ||
          elements(e.var) < 2)
        continue;
      if (!vector_shape(e.var))
        fail(path, "'" + e.name + "' is a " + shape(e.var) + " matrix: channels are vectors");
      channels.push_back(&e);
    }
  }
  if (channels.empty())
    fail(path, "no channels: no numeric vector of two or more samples (docs/mat_files.md)");

  SignalInfo info;
  info.format = Format::Mat;
  info.path = path;
  info.byte_order = "-"; // matio reads either order
  info.float_values = true;
  std::vector<std::vector<double>> columns;
  for (const Entry *e : channels) {
    if (!numeric(e->var) || !vector_shape(e->var))
      fail(path, "'" + e->name + "' is not a numeric vector");
    columns.push_back(doubles(e->var));
    // Integers stay integers when converted to RPC III; floats stay floats.
    const bool floats = e->var->class_type == MAT_C_DOUBLE || e->var->class_type == MAT_C_SINGLE;
    info.float_values = info.float_values && floats;
    if (info.value_type.empty()) info.value_type = class_name(e->var->class_type) + version;
    if (columns.back().size() != columns.front().size())
      fail(path, "'" + e->name + "' has " + std::to_string(columns.back().size()) + " samples, '" +
                     channels.front()->name + "' has " + std::to_string(columns.front().size()));
    info.channels.push_back({e->name, ""});
  }
  info.points = static_cast<int64_t>(columns.front().size());

  // The interval: dt, else fs, else an evenly spaced time vector (time or t).
  const Entry *time = find("time");
  if (time == nullptr) time = find("t");
  std::vector<double> t;
  if (time != nullptr) {
    if (!numeric(time->var) || !vector_shape(time->var))
      fail(path, "'" + time->name + "' is not a numeric vector");
    t = doubles(time->var);
    if (static_cast<int64_t>(t.size()) != info.points)
      fail(path, "'" + time->name + "' has " + std::to_string(t.size()) +
                     " samples, the channels " + std::to_string(info.points));
    info.start_time = t.front();
  }
  double rate = 0.0;
  if (scalar("dt", &info.dt)) {
  } else if (scalar("fs", &rate)) {
    info.dt = 1.0 / rate;
  } else if (t.size() >= 2) {
    info.dt = (t.back() - t.front()) / static_cast<double>(t.size() - 1);
    for (size_t i = 1; i < t.size(); ++i)
      if (std::fabs(t[i] - t[i - 1] - info.dt) > 1e-6 * std::fabs(info.dt))
        fail(path,
             "'" + time->name + "' is not evenly spaced (sample " + std::to_string(i + 1) + ")");
  } else {
    fail(path, "no sample interval: give dt, fs or a time vector (docs/mat_files.md)");
  }
  if (!(info.dt > 0.0) || !std::isfinite(info.dt))
    fail(path, "sample interval " + exact(info.dt) + " s is not above 0");

  // Descriptions and units, when given, one per channel.
  const std::vector<std::string> descriptions = cell_texts(path, find("descriptions"));
  const std::vector<std::string> units = cell_texts(path, find("units"));
  for (const auto *list : {&descriptions, &units})
    if (!list->empty() && list->size() != info.channels.size())
      fail(path, std::string(list == &units ? "'units'" : "'descriptions'") + " holds " +
                     std::to_string(list->size()) + " texts for " +
                     std::to_string(info.channels.size()) + " channels");
  for (size_t c = 0; c < info.channels.size(); ++c) {
    if (!descriptions.empty()) info.channels[c].description = descriptions[c];
    if (!units.empty()) info.channels[c].unit = units[c];
  }
  if (const Entry *e = find("date")) char_text(e->var, &info.date);
  return std::make_unique<MatSignal>(std::move(info), std::move(columns));
}

} // namespace

std::unique_ptr<SignalFile> read_mat(const std::string &path) {
  silence_matio();
  const std::lock_guard<std::mutex> hold(matio_lock());
  MatHandle mat(Mat_Open(path.c_str(), MAT_ACC_RDONLY));
  if (!mat) fail(path, "not a MATLAB file (or a damaged one)");
  const char *version = Mat_GetVersion(mat.get()) == MAT_FT_MAT73 ? " (MAT v7.3)" : " (MAT v5)";
  // The names first: a variable that is listed but cannot be read is damage.
  size_t count = 0;
  char **dir = Mat_GetDir(mat.get(), &count);
  if (dir == nullptr && count != 0) fail(path, "damaged MATLAB file: cannot list its variables");
  std::vector<std::string> listed;
  for (size_t i = 0; i < count; ++i)
    if (dir[i] != nullptr) listed.emplace_back(dir[i]);
  if (listed.empty()) fail(path, "no variables: an empty or damaged MATLAB file");
  std::vector<VarHandle> vars;
  for (const std::string &name : listed) {
    vars.emplace_back(Mat_VarRead(mat.get(), name.c_str()));
    if (!vars.back()) fail(path, "damaged MATLAB file: cannot read '" + name + "'");
  }

  // One struct alone in the file: its fields; else the file's variables.
  std::vector<Entry> entries;
  if (vars.size() == 1 && vars[0]->class_type == MAT_C_STRUCT && elements(vars[0].get()) == 1) {
    matvar_t *record = vars[0].get();
    char *const *names = Mat_VarGetStructFieldnames(record);
    const unsigned count = Mat_VarGetNumberOfFields(record);
    for (unsigned f = 0; f < count; ++f) {
      const matvar_t *field = Mat_VarGetStructFieldByIndex(record, f, 0);
      if (field != nullptr) entries.push_back({names[f], field});
    }
  } else {
    for (const VarHandle &var : vars)
      if (var->name != nullptr) entries.push_back({var->name, var.get()});
  }
  return signal_from(path, entries, version);
}

} // namespace zel_tool
