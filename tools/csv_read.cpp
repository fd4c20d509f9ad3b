#include "csv_read.h"

#include "csv.h"
#include "mat_file.h"
#include "number_text.h"
#include "progress.h"
#include "signal_file.h"
#include "tool_error.h"
#include "zel.h"

#include <CLI/CLI.hpp>
#include <fast_float/fast_float.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zel_tool {

namespace {

constexpr size_t kChunk = size_t(4) << 20; // bytes read from the table at a time
constexpr int64_t kBlockValues = 1 << 20;  // values held per block of rows (8 MiB)
constexpr double kEvenTolerance = 1e-6;    // relative, for the time column's intervals
const char *const kStandardInput = "standard input";

std::string in_quotes(const std::string &text) { return "\"" + text + "\""; }

std::string lower(std::string text) {
  for (char &c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// A file descriptor closed on destruction.
class Descriptor {
public:
  explicit Descriptor(int fd = -1) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  Descriptor(const Descriptor &) = delete;
  Descriptor &operator=(const Descriptor &) = delete;
  int get() const { return fd_; }
  int release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }
  void reset(int fd) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
  }

private:
  int fd_;
};

// A new file in TMPDIR (else /tmp), named while the caller needs a name.
int make_temporary(const char *stem, std::string &path) {
  const char *dir = std::getenv("TMPDIR");
  path = std::string(dir && *dir ? dir : "/tmp") + "/" + stem + "XXXXXX";
  return ::mkstemp(&path[0]);
}

void write_all(int fd, const char *data, size_t size, off_t offset, const std::string &name) {
  while (size > 0) {
    const ssize_t k = ::pwrite(fd, data, size, offset);
    if (k < 0 && errno == EINTR) continue;
    if (k <= 0)
      fail(name, std::string("cannot hold the table in a temporary file: ") +
                     std::strerror(k < 0 ? errno : ENOSPC));
    data += k;
    size -= static_cast<size_t>(k);
    offset += k;
  }
}

// The lines of a file, read a chunk at a time; a line longer than the
// buffer grows it.
class LineReader {
public:
  LineReader(int fd, const std::string &name) : fd_(fd), name_(name), buffer_(kChunk) {}

  // The next line without its end ("\n" or "\r\n"); false at the end.
  bool next(const char *&begin, const char *&end) {
    for (;;) {
      char *data = buffer_.data();
      const char *eol = static_cast<const char *>(std::memchr(data + scan_, '\n', length_ - scan_));
      if (eol || (eof_ && pos_ < length_)) {
        begin = data + pos_;
        end = eol ? eol : data + length_;
        pos_ = scan_ = static_cast<size_t>(end - data) + (eol ? 1 : 0);
        if (end > begin && end[-1] == '\r') --end;
        return true;
      }
      if (eof_) return false;
      fill();
    }
  }

  int64_t consumed() const { return read_ - static_cast<int64_t>(length_ - pos_); }

private:
  void fill() {
    std::memmove(buffer_.data(), buffer_.data() + pos_, length_ - pos_);
    length_ -= pos_;
    scan_ = length_;
    pos_ = 0;
    if (length_ == buffer_.size()) buffer_.resize(buffer_.size() * 2);
    for (;;) {
      const ssize_t k = ::read(fd_, buffer_.data() + length_, buffer_.size() - length_);
      if (k < 0 && errno == EINTR) continue;
      if (k < 0) fail(name_, std::string("read failed: ") + std::strerror(errno));
      if (k == 0) eof_ = true;
      length_ += static_cast<size_t>(k);
      read_ += k;
      return;
    }
  }

  int fd_;
  const std::string &name_;
  std::vector<char> buffer_;
  size_t pos_ = 0;    // start of the next line
  size_t scan_ = 0;   // searched for a line end up to here
  size_t length_ = 0; // bytes in the buffer
  int64_t read_ = 0;
  bool eof_ = false;
};

// Splits a line into fields at delimiter; a quoted field may hold the
// delimiter and doubled quotes (no line breaks). False for unbalanced quotes
// or text after a closing quote.
bool split_fields(const char *p, const char *end, char delimiter,
                  std::vector<std::string> &fields) {
  fields.clear();
  std::string field;
  for (;;) {
    field.clear();
    const char *q = p;
    while (q < end && (*q == ' ' || *q == '\t') && *q != delimiter) ++q;
    if (q < end && *q == '"') {
      for (p = q + 1;;) {
        if (p == end) return false;
        if (*p == '"') {
          if (p + 1 < end && p[1] == '"') {
            field += '"';
            p += 2;
            continue;
          }
          ++p;
          break;
        }
        field += *p++;
      }
      while (p < end && *p != delimiter) {
        if (*p != ' ' && *p != '\t') return false;
        ++p;
      }
    } else {
      const char *stop =
          static_cast<const char *>(std::memchr(p, delimiter, static_cast<size_t>(end - p)));
      if (!stop) stop = end;
      field.assign(p, stop);
      p = stop;
    }
    fields.push_back(field);
    if (p == end) return true;
    ++p;
  }
}

// How many times c stands outside quotes in the line.
size_t count_unquoted(const char *p, const char *end, char c) {
  size_t count = 0;
  bool quoted_text = false;
  for (; p < end; ++p) {
    if (*p == '"') quoted_text = !quoted_text;
    if (!quoted_text && *p == c) ++count;
  }
  return count;
}

// A number at p (blanks around it and a plus sign allowed): the end of the
// number and its blanks, or nullptr when no number starts there.
const char *scan_number(const char *p, const char *end, char decimal, double &value) {
  while (p < end && (*p == ' ' || *p == '\t')) ++p;
  const char *sign = p;
  if (p < end && *p == '+') ++p;
  if (p < end && *p == '-' && p != sign) return nullptr;
  const auto result = fast_float::from_chars_advanced(
      p, end, value, fast_float::parse_options{fast_float::chars_format::general, decimal});
  if (result.ec != std::errc()) return nullptr;
  p = result.ptr;
  while (p < end && (*p == ' ' || *p == '\t')) ++p;
  return p;
}

// A time column's unit as seconds = value * times / per (dividing keeps
// "5" in us exactly 5e-06 s), or per 0 for a unit that is not one.
struct TimeUnit {
  double times = 1.0, per = 1.0;
};

TimeUnit time_unit(const std::string &unit) {
  const std::string u = lower(unit);
  if (u.empty() || u == "s") return {1.0, 1.0};
  if (u == "ms") return {1.0, 1e3};
  if (u == "us" || u == "\xc2\xb5s") return {1.0, 1e6};
  if (u == "min") return {60.0, 1.0};
  return {1.0, 0.0};
}

bool names_time(const ChannelInfo &title) {
  const std::string d = lower(title.description);
  return d == "time" || d == "t" || d == "zeit";
}

// The table once read: values kept in memory when they fit one block, else
// in an unnamed temporary file as blocks of rows_per_block rows, each block
// column by column (its last block may be shorter).
class CsvSignal : public SignalFile {
public:
  CsvSignal(SignalInfo info, std::vector<double> held, int temporary, int64_t rows_per_block)
      : held_(std::move(held)), temporary_(temporary), rows_per_block_(rows_per_block) {
    info_ = std::move(info);
  }

  std::vector<double> read(int channel) override {
    return SignalFile::read(channel, 0, info_.points);
  }

  std::unique_ptr<SampleStream> stream(int channel, int64_t first) override {
    check_channel(channel);
    class Stream : public SampleStream {
    public:
      Stream(CsvSignal &file, int channel, int64_t first)
          : file_(file), column_(channel - 1), at_(first) {}
      void next(double *values, int64_t count) override {
        const SignalInfo &info = file_.info_;
        if (count > info.points - at_) fail(info.path, "read past the end of the table");
        if (file_.temporary_.get() < 0) {
          std::copy_n(file_.held_.data() + column_ * info.points + at_, count, values);
          at_ += count;
          return;
        }
        const int64_t per = file_.rows_per_block_;
        const int64_t width = info.channel_count();
        while (count > 0) {
          const int64_t block = at_ / per, within = at_ % per;
          const int64_t rows = std::min(per, info.points - block * per);
          const int64_t k = std::min(count, rows - within);
          const int64_t index = block * per * width + column_ * rows + within;
          read_all(values, k, index * static_cast<int64_t>(sizeof(double)));
          values += k;
          count -= k;
          at_ += k;
        }
      }

    private:
      void read_all(double *values, int64_t count, int64_t offset) {
        char *to = reinterpret_cast<char *>(values);
        size_t size = static_cast<size_t>(count) * sizeof(double);
        while (size > 0) {
          const ssize_t k = ::pread(file_.temporary_.get(), to, size, static_cast<off_t>(offset));
          if (k < 0 && errno == EINTR) continue;
          if (k <= 0)
            fail(file_.info_.path, std::string("cannot read the table's temporary file: ") +
                                       (k < 0 ? std::strerror(errno) : "it is shorter"));
          to += k;
          size -= static_cast<size_t>(k);
          offset += k;
        }
      }

      CsvSignal &file_;
      int64_t column_;
      int64_t at_;
    };
    return std::make_unique<Stream>(*this, channel, first);
  }

private:
  std::vector<double> held_;
  Descriptor temporary_;
  int64_t rows_per_block_;
};

enum class Role { Channel, Time, Index };

// One pass over the table: the header decides the columns' roles, each row
// is checked and its channel values go into the block, full blocks into
// the temporary file.
class CsvParser {
public:
  CsvParser(const std::string &name, const CsvOptions &options) : name_(name), options_(options) {
    if (options.dt && !(*options.dt > 0.0 && std::isfinite(*options.dt)))
      fail(name, "--dt " + exact(*options.dt) + " is not a positive interval");
    decimal_ = options.decimal_comma ? ',' : '.';
  }

  std::unique_ptr<SignalFile> read(int fd, int64_t size) {
    LineReader lines(fd, name_);
    std::unique_ptr<Progress> progress;
    if (options_.progress && size > 0)
      progress = std::make_unique<Progress>("reading " + name_, size);
    int64_t reported = 0;
    const char *begin = nullptr, *end = nullptr;
    while (lines.next(begin, end)) {
      ++line_;
      if (line_ == 1 && end - begin >= 3 && std::memcmp(begin, "\xef\xbb\xbf", 3) == 0) begin += 3;
      if (begin == end) continue; // blank lines are no rows
      if (roles_.empty()) {
        layout(begin, end);
        if (!options_.no_header) continue;
      }
      row(begin, end);
      if (progress && (rows_ & 0x3fff) == 0) {
        const int64_t at = lines.consumed();
        progress->advance(at - reported);
        reported = at;
      }
    }
    if (roles_.empty()) fail(name_, "empty table");
    if (rows_ == 0) fail(name_, "no rows below the header");
    if (time_column_ >= 0 && !options_.dt && rows_ < 2)
      fail(name_, "one row: the interval needs two rows of the time column (or --dt)");
    return finish();
  }

private:
  std::string where(int64_t column) const {
    std::string text =
        name_ + ": row " + std::to_string(line_) + ", column " + std::to_string(column + 1);
    if (!titles_.empty()) text += " (" + in_quotes(titles_[static_cast<size_t>(column)]) + ")";
    return text;
  }

  // The most frequent of , ; and tab outside quotes; a tie is an error.
  char detect_delimiter(const char *begin, const char *end) const {
    const auto show = [](char d) { return d == '\t' ? std::string("tab") : in_quotes({d}); };
    char best = options_.decimal_comma ? ';' : ',', tied = 0;
    size_t most = 0;
    for (char c : {',', ';', '\t'}) {
      if (c == ',' && options_.decimal_comma) continue;
      const size_t n = count_unquoted(begin, end, c);
      if (n > most) {
        best = c;
        most = n;
        tied = 0;
      } else if (n == most && n > 0) {
        tied = c;
      }
    }
    if (tied)
      fail(name_, "cannot tell the delimiter: the first row holds " + std::to_string(most) + " " +
                      show(best) + " and as many " + show(tied));
    return best;
  }

  void layout(const char *begin, const char *end) {
    delimiter_ = detect_delimiter(begin, end);
    std::vector<std::string> fields;
    if (!split_fields(begin, end, delimiter_, fields))
      fail(name_, "row " + std::to_string(line_) + ": unbalanced quotes");
    const int64_t width = static_cast<int64_t>(fields.size());
    std::vector<ChannelInfo> columns;
    if (!options_.no_header) {
      for (const std::string &field : fields) {
        columns.push_back(parse_column_title(field));
        titles_.push_back(field.substr(std::min(field.find_first_not_of(" \t"), field.size())));
      }
    }
    roles_.assign(static_cast<size_t>(width), Role::Channel);

    if (options_.time_column) {
      const int n = *options_.time_column;
      if (n < 1 || n > width)
        fail(name_, "--time-column " + std::to_string(n) + ": the table has " +
                        std::to_string(width) + " columns");
      time_column_ = n - 1;
    }
    // pandas writes its index first, without a name (or "Unnamed: 0" once
    // read and written again).
    int64_t first = 0;
    if (!options_.no_header && width > 1 && time_column_ != 0 &&
        (columns[0].description.empty() || columns[0].description == "Unnamed: 0") &&
        columns[0].unit.empty()) {
      roles_[0] = Role::Index;
      first = 1;
    }
    if (!options_.time_column && !options_.no_header && names_time(columns[first]))
      time_column_ = first;
    if (time_column_ >= 0) {
      roles_[static_cast<size_t>(time_column_)] = Role::Time;
      const std::string unit = options_.no_header ? "" : columns[time_column_].unit;
      unit_ = time_unit(unit);
      if (unit_.per == 0.0)
        fail(name_, "column " + std::to_string(time_column_ + 1) + " (" +
                        in_quotes(titles_[time_column_]) + "): " + in_quotes(unit) +
                        " is not a time unit (s, ms, us or min)");
    } else if (!options_.dt) {
      const std::string column = options_.no_header ? "the table has no header"
                                                    : "column " + std::to_string(first + 1) + " (" +
                                                          in_quotes(titles_[first]) +
                                                          ") is not named time, t or zeit";
      fail(name_, "no time column: " + column + "; give --time-column N or --dt SECONDS");
    }

    for (int64_t j = 0; j < width; ++j) {
      if (roles_[j] != Role::Channel) continue;
      channel_of_.push_back(j);
      info_.channels.push_back(options_.no_header
                                   ? ChannelInfo{"ch" + std::to_string(channel_of_.size()), ""}
                                   : columns[j]);
    }
    if (channel_of_.empty()) fail(name_, "no channel column: every column is time or an index");
    cells_.resize(static_cast<size_t>(width));
    const int64_t channels = static_cast<int64_t>(channel_of_.size());
    per_block_ = std::clamp<int64_t>(kBlockValues / channels, 64, 65536);
    block_.resize(static_cast<size_t>(per_block_ * channels));
  }

  // A cell the quick path could not take: its value, or a ToolError.
  double cell(const std::string &text, int64_t column) {
    const Role role = roles_[static_cast<size_t>(column)];
    const bool nan_allowed = options_.allow_nan && role == Role::Channel;
    double value = 0.0;
    const char *begin = text.data(), *end = begin + text.size();
    const char *stop = scan_number(begin, end, decimal_, value);
    std::string problem;
    if (stop == end && std::isfinite(value)) return value;
    if (stop == end && std::isnan(value)) {
      problem = "NaN";
    } else if (stop == end) {
      const std::string word = lower(text.substr(text.find_first_not_of(" \t+-")));
      if (word.rfind("inf", 0) != 0)
        throw ToolError(where(column) + ": " + in_quotes(text) +
                        " is beyond the range of a double");
      problem = "infinite value";
    } else if (text.find_first_not_of(" \t") == std::string::npos) {
      problem = "empty cell";
    } else {
      problem = "not a number: " + in_quotes(text);
    }
    if (nan_allowed) return std::numeric_limits<double>::quiet_NaN();
    throw ToolError(where(column) + ": " + problem +
                    (role == Role::Channel ? " (--allow-nan reads it as NaN)" : ""));
  }

  void row(const char *begin, const char *end) {
    const size_t width = cells_.size();
    const char *p = begin;
    bool quick = true;
    for (size_t j = 0; j < width && quick; ++j) {
      double value = 0.0;
      const char *stop = scan_number(p, end, decimal_, value);
      quick = stop && std::isfinite(value) &&
              (j + 1 < width ? stop < end && *stop == delimiter_ : stop == end);
      cells_[j] = value;
      if (stop) p = stop + 1;
    }
    if (!quick) {
      if (!split_fields(begin, end, delimiter_, fields_))
        fail(name_, "row " + std::to_string(line_) + ": unbalanced quotes");
      if (fields_.size() != width)
        fail(name_, "row " + std::to_string(line_) + ": " + std::to_string(fields_.size()) +
                        " fields where the first row has " + std::to_string(width));
      for (size_t j = 0; j < width; ++j) cells_[j] = cell(fields_[j], static_cast<int64_t>(j));
    }

    if (time_column_ >= 0)
      check_time(cells_[static_cast<size_t>(time_column_)] * unit_.times / unit_.per);
    if (roles_[0] == Role::Index) check_index(cells_[0]);
    const int64_t at = rows_ % per_block_;
    for (size_t k = 0; k < channel_of_.size(); ++k)
      block_[k * per_block_ + at] = cells_[static_cast<size_t>(channel_of_[k])];
    ++rows_;
    if (rows_ % per_block_ == 0) store_block(per_block_);
  }

  void check_time(double t) {
    const int64_t column = time_column_;
    if (rows_ == 0) {
      start_ = t;
    } else if (options_.dt) {
      // The interval given: the times only start the signal.
    } else if (rows_ == 1) {
      if (!(t > last_))
        throw ToolError(where(column) + ": the time does not increase (" + exact(t) + " s after " +
                        exact(last_) + " s)");
    } else {
      // Each interval against the mean of those before, within the
      // tolerance and the rounding of the times themselves.
      const double mean = (last_ - start_) / static_cast<double>(rows_ - 1);
      const double slack = kEvenTolerance * mean + 4.0 * std::numeric_limits<double>::epsilon() *
                                                       std::max(std::fabs(t), std::fabs(last_));
      if (!(std::fabs((t - last_) - mean) <= slack))
        throw ToolError(where(column) + ": time column is not equally spaced: " + exact(t) +
                        " s follows " + exact(last_) + " s, the interval before was " +
                        exact(mean) + " s (--dt SECONDS takes a fixed interval instead)");
    }
    last_ = t;
  }

  void check_index(double value) {
    if (value != std::floor(value) || (rows_ > 0 && value != index_ + 1.0))
      throw ToolError(where(0) + ": an unnamed first column is read as an index counting up by " +
                      "one, but holds " + exact(value) +
                      (rows_ > 0 ? " after " + exact(index_) : "") +
                      "; name the column to read it as a channel");
    index_ = value;
  }

  // Writes the block's first rows rows to the temporary file, column after
  // column.
  void store_block(int64_t rows) {
    if (temporary_.get() < 0) {
      std::string path;
      temporary_.reset(make_temporary("zel-csv-", path));
      if (temporary_.get() < 0)
        fail(name_, "cannot create a temporary file in " + path.substr(0, path.rfind('/')) + ": " +
                        std::strerror(errno));
      ::unlink(path.c_str());
    }
    const int64_t channels = static_cast<int64_t>(channel_of_.size());
    if (rows < per_block_)
      for (int64_t k = 1; k < channels; ++k)
        std::memmove(&block_[k * rows], &block_[k * per_block_], rows * sizeof(double));
    const size_t bytes = static_cast<size_t>(rows * channels) * sizeof(double);
    write_all(temporary_.get(), reinterpret_cast<const char *>(block_.data()), bytes,
              static_cast<off_t>(stored_), name_);
    stored_ += static_cast<int64_t>(bytes);
  }

  std::unique_ptr<SignalFile> finish() {
    info_.format = Format::Csv;
    info_.path = name_;
    info_.value_type = "text";
    info_.byte_order = "-";
    info_.points = rows_;
    info_.start_time = time_column_ >= 0 ? start_ : 0.0;
    info_.dt = options_.dt ? *options_.dt : (last_ - start_) / static_cast<double>(rows_ - 1);
    if (!(info_.dt > 0.0 && std::isfinite(info_.dt)))
      fail(name_, "the time column gives no usable interval (" + exact(info_.dt) + " s)");
    const int64_t rest = rows_ % per_block_;
    if (temporary_.get() < 0) {
      // One block: kept in memory, column after column.
      store_in_memory(rest);
      return std::make_unique<CsvSignal>(std::move(info_), std::move(block_), -1, per_block_);
    }
    if (rest > 0) store_block(rest);
    const int fd = temporary_.release();
    return std::make_unique<CsvSignal>(std::move(info_), std::vector<double>(), fd, per_block_);
  }

  void store_in_memory(int64_t rows) {
    const int64_t channels = static_cast<int64_t>(channel_of_.size());
    for (int64_t k = 1; k < channels; ++k)
      std::memmove(&block_[k * rows], &block_[k * per_block_], rows * sizeof(double));
    block_.resize(static_cast<size_t>(rows * channels));
    block_.shrink_to_fit();
  }

  const std::string &name_;
  const CsvOptions &options_;
  char decimal_ = '.';
  char delimiter_ = ',';
  int64_t line_ = 0;
  std::vector<std::string> titles_; // as the header shows them, for messages
  std::vector<Role> roles_;         // per column; empty until the first row
  std::vector<int64_t> channel_of_; // the column of each channel
  int64_t time_column_ = -1;
  TimeUnit unit_; // of the time column
  std::vector<double> cells_;
  std::vector<std::string> fields_;
  int64_t rows_ = 0;
  double start_ = 0.0, last_ = 0.0, index_ = 0.0;
  int64_t per_block_ = 0;
  std::vector<double> block_;
  Descriptor temporary_;
  int64_t stored_ = 0; // bytes in the temporary file
  SignalInfo info_;
};

} // namespace

void add_csv_options(CLI::App *sub, CsvOptions &options) {
  sub->footer("CSV input: a header row of names (\"description [unit]\"), then one row per\n"
              "sample; fields separated by , ; or tab (as found in the first row), quoted\n"
              "when need be. The first column is the time when named time, t or zeit (unit\n"
              "in brackets: s, ms, us or min; default s), else give --time-column N or --dt.\n"
              "An unnamed first column counting up by one (a pandas index) is skipped.\n"
              "Empty, non-numeric, NaN and infinite cells are errors unless --allow-nan;\n"
              "rows must be equally spaced in time (within 1e-6), unless --dt gives the\n"
              "interval.");
  const char *group = "CSV input";
  sub->add_flag("--no-header", options.no_header,
                "The table has no header row: channels are named ch1, ch2, ...")
      ->group(group);
  sub->add_option("--time-column", options.time_column,
                  "Column N (from 1) holds the time, in the unit its name "
                  "gives in brackets (s, ms, us, min; default s)")
      ->check(CLI::PositiveNumber)
      ->group(group);
  sub->add_option("--dt", options.dt,
                  "Sample interval in seconds: for tables without a time column, or instead of "
                  "the spacing of the time column (its first time stays the start)")
      ->check(CLI::PositiveNumber)
      ->group(group);
  sub->add_flag("--decimal-comma", options.decimal_comma,
                "Numbers are written 1,5 (fields are then separated by ; or tab)")
      ->group(group);
  sub->add_flag("--allow-nan", options.allow_nan,
                "Read empty, non-numeric, NaN and infinite cells as NaN instead of refusing them")
      ->group(group);
}

std::unique_ptr<SignalFile> read_csv(const std::string &path, const std::string &name,
                                     const CsvOptions &options) {
  Descriptor fd(::open(path.c_str(), O_RDONLY));
  if (fd.get() < 0) fail(name, std::string("cannot open: ") + std::strerror(errno));
  struct stat st;
  const int64_t size = ::fstat(fd.get(), &st) == 0 ? static_cast<int64_t>(st.st_size) : 0;
  return CsvParser(name, options).read(fd.get(), size);
}

namespace {

// Standard input copied to a file; on Linux the file loses its name at once
// and is opened again through /proc, so that nothing is left behind even
// when the process is killed.
class InputCopy {
public:
  InputCopy() {
    std::string named;
    fd_.reset(make_temporary("zel-stdin-", named));
    if (fd_.get() < 0)
      fail(kStandardInput, "cannot create a temporary file in " +
                               named.substr(0, named.rfind('/')) + ": " + std::strerror(errno));
    named_ = named;
    std::vector<char> buffer(kChunk);
    for (off_t at = 0;;) {
      const ssize_t k = ::read(STDIN_FILENO, buffer.data(), buffer.size());
      if (k < 0 && errno == EINTR) continue;
      if (k < 0) fail(kStandardInput, std::string("read failed: ") + std::strerror(errno));
      if (k == 0) break;
      write_all(fd_.get(), buffer.data(), static_cast<size_t>(k), at, kStandardInput);
      at += k;
    }
    const std::string proc = "/proc/self/fd/" + std::to_string(fd_.get());
    const int probe = ::open(proc.c_str(), O_RDONLY);
    if (probe >= 0) {
      ::close(probe);
      ::unlink(named_.c_str());
      named_.clear();
      path_ = proc;
    } else {
      path_ = named;
    }
  }
  ~InputCopy() {
    if (!named_.empty()) ::unlink(named_.c_str());
  }
  InputCopy(const InputCopy &) = delete;
  InputCopy &operator=(const InputCopy &) = delete;

  const std::string &path() const { return path_; }
  int descriptor() const { return fd_.get(); }

  // A failure's message with the copy's name replaced by "standard input".
  [[noreturn]] void rethrow(const ToolError &error) const {
    std::string text = error.what();
    for (size_t at = 0; (at = text.find(path_, at)) != std::string::npos;)
      text.replace(at, path_.size(), kStandardInput);
    throw ToolError(text);
  }

private:
  Descriptor fd_;
  std::string named_; // while the copy has a name
  std::string path_;  // the name it is opened by
};

// The file read from the copy, under the name "standard input".
class InputSignal : public SignalFile {
public:
  explicit InputSignal(const CsvOptions &options) {
    try {
      const char *path = copy_.path().c_str();
      char head[7] = {};
      const bool mat = ::pread(copy_.descriptor(), head, sizeof head, 0) == sizeof head &&
                       std::memcmp(head, "MATLAB ", sizeof head) == 0;
      if (mat)
        file_ = read_mat(copy_.path());
      else if (zel_rpc_sniff(path) == 1 || zel_dac_sniff(path) == 1)
        file_ = open_signal(copy_.path());
      else
        file_ = read_csv(copy_.path(), kStandardInput, options);
    } catch (const ToolError &error) { copy_.rethrow(error); }
    info_ = file_->info();
    info_.path = kStandardInput;
  }

  std::vector<double> read(int channel) override {
    try {
      return file_->read(channel);
    } catch (const ToolError &error) { copy_.rethrow(error); }
  }

  std::unique_ptr<SampleStream> stream(int channel, int64_t first) override {
    class Stream : public SampleStream {
    public:
      Stream(const InputCopy &copy, std::unique_ptr<SampleStream> in)
          : copy_(copy), in_(std::move(in)) {}
      void next(double *values, int64_t count) override {
        try {
          in_->next(values, count);
        } catch (const ToolError &error) { copy_.rethrow(error); }
      }

    private:
      const InputCopy &copy_;
      std::unique_ptr<SampleStream> in_;
    };
    try {
      return std::make_unique<Stream>(copy_, file_->stream(channel, first));
    } catch (const ToolError &error) { copy_.rethrow(error); }
  }

private:
  InputCopy copy_; // outlives file_
  std::unique_ptr<SignalFile> file_;
};

} // namespace

std::unique_ptr<SignalFile> open_standard_input(const CsvOptions &options) {
  return std::make_unique<InputSignal>(options);
}

} // namespace zel_tool
