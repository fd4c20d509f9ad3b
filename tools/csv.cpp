#include "csv.h"

#include "number_text.h"
#include "progress.h"
#include "tool_error.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fstream>
#include <future>
#include <sstream>
#include <system_error>

namespace zel_tool {

namespace {

void append_field(std::string &line, const std::string &text) {
  const bool quote = text.find_first_of(",\"\r\n") != std::string::npos ||
                     (!text.empty() && (text.front() == ' ' || text.back() == ' '));
  if (!quote) {
    line += text;
    return;
  }
  line += '"';
  for (char c : text) {
    if (c == '"') line += '"';
    line += c;
  }
  line += '"';
}

std::string trim(const std::string &text) {
  const size_t begin = text.find_first_not_of(" \t");
  if (begin == std::string::npos) return "";
  const size_t end = text.find_last_not_of(" \t");
  return text.substr(begin, end - begin + 1);
}

// Splits one line into fields; quoted fields may hold commas and doubled
// quotes (but no line breaks).
bool split_line(const char *begin, const char *end, std::vector<std::string> &fields) {
  fields.clear();
  std::string field;
  const char *p = begin;
  for (;;) {
    field.clear();
    if (p < end && *p == '"') {
      ++p;
      for (;;) {
        if (p == end) return false; // unterminated quote
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
      while (p < end && *p != ',') {
        if (*p != ' ' && *p != '\t') return false; // text after the closing quote
        ++p;
      }
    } else {
      const char *comma =
          static_cast<const char *>(std::memchr(p, ',', static_cast<size_t>(end - p)));
      const char *stop = comma ? comma : end;
      field.assign(p, stop);
      p = stop;
    }
    fields.push_back(field);
    if (p == end) return true;
    ++p; // the comma
  }
}

} // namespace

std::string column_title(const ChannelInfo &channel) {
  return channel.description + " [" + channel.unit + "]";
}

ChannelInfo parse_column_title(const std::string &title) {
  const std::string text = trim(title);
  ChannelInfo channel;
  const size_t open = text.rfind('[');
  if (!text.empty() && text.back() == ']' && open != std::string::npos) {
    channel.description = trim(text.substr(0, open));
    channel.unit = text.substr(open + 1, text.size() - open - 2);
  } else {
    channel.description = text;
  }
  return channel;
}

void write_csv(std::FILE *out, const std::string &out_name, const std::vector<ChannelRef> &refs,
               SampleWindow window, Progress *progress, int jobs) {
  const SignalInfo &timing = refs.front().file->info();
  std::string chunk = "time [s]";
  std::vector<std::unique_ptr<SampleStream>> streams;
  for (const ChannelRef &ref : refs) {
    chunk += ',';
    append_field(chunk, column_title(ref.info()));
    streams.push_back(ref.file->stream(ref.channel, window.first));
  }
  chunk += '\n';
  const auto write = [&](const char *data, size_t size) {
    if (std::fwrite(data, 1, size, out) != size)
      fail(out_name, std::string("write failed: ") + std::strerror(errno));
  };
  write(chunk.data(), chunk.size());

  // Rows go out a block at a time: every channel's next block, then the
  // rows' text, formatted straight into buffers of about 4 MiB. Memory
  // holds one block per channel (about 8 MiB in all) and a buffer per
  // thread, whatever the length of the file. With several threads each
  // formats its own consecutive rows; the buffers go out in row order.
  const size_t width = refs.size();
  const int64_t rows = std::clamp<int64_t>(1048576 / static_cast<int64_t>(width), 64, 65536);
  const int64_t block_rows = std::min<int64_t>(rows, std::max<int64_t>(window.count, 1));
  std::vector<double> block(static_cast<size_t>(block_rows) * width);
  const size_t row_room = (width + 1) * (kExactChars + 1);
  const int64_t slice = std::max<int64_t>(1, (int64_t{4} << 20) / static_cast<int64_t>(row_room));
  const int threads = static_cast<int>(std::clamp<int64_t>(jobs, 1, 64));
  std::vector<std::vector<char>> text(static_cast<size_t>(threads));
  for (auto &t : text) t.resize(static_cast<size_t>(std::min(slice, block_rows)) * row_room);
  // Rows i0 to i1 - 1 of the block starting at row first into buffer t;
  // returns the text's length.
  const auto format_rows = [&](int64_t first, int64_t i0, int64_t i1, size_t t) {
    char *const begin = text[t].data();
    char *p = begin;
    for (int64_t i = i0; i < i1; ++i) {
      p = put_exact(p, timing.time_at(window.first + first + i));
      for (size_t c = 0; c < width; ++c) {
        *p++ = ',';
        p = put_exact(p, block[c * static_cast<size_t>(block_rows) + static_cast<size_t>(i)]);
      }
      *p++ = '\n';
    }
    return static_cast<size_t>(p - begin);
  };
  std::vector<std::future<size_t>> helpers;
  std::vector<size_t> lengths(text.size());
  for (int64_t done = 0; done < window.count;) {
    const int64_t k = std::min(block_rows, window.count - done);
    for (size_t c = 0; c < width; ++c)
      streams[c]->next(block.data() + c * static_cast<size_t>(block_rows), k);
    for (int64_t i = 0; i < k;) {
      // One round: buffer t takes the t-th slice of rows from i on.
      const size_t used = static_cast<size_t>(
          std::min<int64_t>(static_cast<int64_t>(text.size()), (k - i + slice - 1) / slice));
      helpers.clear();
      for (size_t t = 1; t < used; ++t) {
        const int64_t i0 = i + static_cast<int64_t>(t) * slice, i1 = std::min(k, i0 + slice);
        std::launch how = std::launch::async;
        try {
          helpers.push_back(std::async(how, format_rows, done, i0, i1, t));
        } catch (const std::system_error &) {
          how = std::launch::deferred; // no thread to be had: this one formats it
          helpers.push_back(std::async(how, format_rows, done, i0, i1, t));
        }
      }
      lengths[0] = format_rows(done, i, std::min(k, i + slice), 0);
      for (size_t t = 1; t < used; ++t) lengths[t] = helpers[t - 1].get();
      for (size_t t = 0; t < used; ++t) write(text[t].data(), lengths[t]);
      i = std::min(k, i + static_cast<int64_t>(used) * slice);
    }
    done += k;
    if (progress) progress->advance(k * static_cast<int64_t>(width));
  }
  if (std::fflush(out) != 0) fail(out_name, std::string("write failed: ") + std::strerror(errno));
}

std::unique_ptr<MemorySignal> read_csv(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) fail(path, std::string("cannot open: ") + std::strerror(errno));
  std::stringstream buffer;
  buffer << in.rdbuf();
  const std::string text = buffer.str();

  SignalInfo info;
  info.format = Format::Csv;
  info.path = path;
  info.value_type = "text";
  info.byte_order = "-";
  std::vector<double> times;
  std::vector<std::vector<double>> columns;
  std::vector<std::string> fields;
  size_t width = 0;
  long line_number = 0;

  const char *p = text.data();
  const char *end = p + text.size();
  while (p < end) {
    const char *eol = static_cast<const char *>(std::memchr(p, '\n', static_cast<size_t>(end - p)));
    const char *stop = eol ? eol : end;
    const char *line_end = (stop > p && stop[-1] == '\r') ? stop - 1 : stop;
    ++line_number;
    const std::string where = path + ":" + std::to_string(line_number);
    if (line_end > p) {
      if (!split_line(p, line_end, fields)) throw ToolError(where + ": unbalanced quotes");
      if (width == 0) {
        if (fields.size() < 2)
          throw ToolError(where + ": need a time column and at least one channel");
        width = fields.size();
        for (size_t f = 1; f < width; ++f) info.channels.push_back(parse_column_title(fields[f]));
        columns.resize(width - 1);
      } else {
        if (fields.size() != width)
          throw ToolError(where + ": expected " + std::to_string(width) + " fields, found " +
                          std::to_string(fields.size()));
        for (size_t f = 0; f < width; ++f) {
          double value = 0.0;
          const std::string &field = fields[f];
          if (!parse_double(field.data(), field.data() + field.size(), value))
            throw ToolError(where + ": not a number: \"" + field + "\"");
          if (f == 0)
            times.push_back(value);
          else
            columns[f - 1].push_back(value);
        }
      }
    }
    p = eol ? eol + 1 : end;
  }

  if (width == 0) fail(path, "empty table");
  if (times.size() < 2) fail(path, "need at least two samples to know the interval");
  const size_t n = times.size();
  const double dt = (times.back() - times.front()) / static_cast<double>(n - 1);
  if (!(dt > 0.0) || !std::isfinite(dt)) fail(path, "the time column does not increase");
  for (size_t i = 0; i < n; ++i) {
    const double expected = times.front() + static_cast<double>(i) * dt;
    if (!(std::fabs(times[i] - expected) <= dt / 100.0))
      throw ToolError(path + ": time column is not equally spaced (row " + std::to_string(i + 1) +
                      ", time " + exact(times[i]) + ")");
  }
  info.points = static_cast<int64_t>(n);
  info.dt = dt;
  info.start_time = times.front();
  return std::make_unique<MemorySignal>(std::move(info), std::move(columns));
}

} // namespace zel_tool
