#include "csv.h"

#include "number_text.h"
#include "progress.h"
#include "tool_error.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <future>
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

} // namespace zel_tool
