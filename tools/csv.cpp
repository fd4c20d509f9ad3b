#include "csv.h"

#include "number_text.h"
#include "progress.h"
#include "tool_error.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>

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
               SampleWindow window, Progress *progress) {
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
  // rows' text, formatted straight into one buffer. Memory holds one block
  // per channel (about 8 MiB in all), whatever the length of the file.
  const int64_t rows = std::clamp<int64_t>(1048576 / static_cast<int64_t>(refs.size()), 64, 65536);
  std::vector<double> block(static_cast<size_t>(rows) * refs.size());
  const size_t row_room = (refs.size() + 1) * (kExactChars + 1);
  std::vector<char> text(std::max<size_t>(size_t{1} << 20, 2 * row_room));
  char *const begin = text.data();
  char *p = begin;
  for (int64_t done = 0; done < window.count;) {
    const int64_t k = std::min(rows, window.count - done);
    for (size_t c = 0; c < refs.size(); ++c) streams[c]->next(block.data() + c * rows, k);
    for (int64_t i = 0; i < k; ++i) {
      if (static_cast<size_t>(text.size() - (p - begin)) < row_room) {
        write(begin, static_cast<size_t>(p - begin));
        p = begin;
      }
      p = put_exact(p, timing.time_at(window.first + done + i));
      for (size_t c = 0; c < refs.size(); ++c) {
        *p++ = ',';
        p = put_exact(p, block[c * rows + i]);
      }
      *p++ = '\n';
    }
    done += k;
    if (progress) progress->advance(k * static_cast<int64_t>(refs.size()));
  }
  write(begin, static_cast<size_t>(p - begin));
  if (std::fflush(out) != 0) fail(out_name, std::string("write failed: ") + std::strerror(errno));
}

} // namespace zel_tool
