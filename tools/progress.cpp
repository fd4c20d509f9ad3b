#include "progress.h"

#include <cstdio>

#ifdef _WIN32
# include <io.h>
#else
# include <unistd.h>
#endif

namespace zel_tool {

bool stderr_is_terminal() {
#ifdef _WIN32
  return _isatty(_fileno(stderr)) != 0;
#else
  return ::isatty(::fileno(stderr)) != 0;
#endif
}

Progress::Progress(std::string label, int64_t total)
    : label_(std::move(label)), total_(total > 0 ? total : 1),
      enabled_(!label_.empty() && stderr_is_terminal()), start_(std::chrono::steady_clock::now()) {}

Progress::~Progress() {
  if (!drawn_) return;
  done_ = total_;
  draw();
  std::fputc('\n', stderr);
}

void Progress::advance(int64_t steps) {
  done_ += steps;
  if (done_ > total_) done_ = total_;
  if (!enabled_) return;
  const auto now = std::chrono::steady_clock::now();
  // The first draw waits a moment, so that quick jobs show no bar at all.
  if (!drawn_ && now - start_ < std::chrono::milliseconds(300)) return;
  if (drawn_ && done_ < total_ && now - last_draw_ < std::chrono::milliseconds(100)) return;
  last_draw_ = now;
  drawn_ = true;
  draw();
}

void Progress::draw() {
  constexpr int width = 30;
  const int filled = static_cast<int>(done_ * width / total_);
  std::string bar(static_cast<size_t>(filled), '#');
  bar.resize(width, '.');
  std::fprintf(stderr, "\r%s [%s] %3d%%", label_.c_str(), bar.c_str(),
               static_cast<int>(done_ * 100 / total_));
  std::fflush(stderr);
}

} // namespace zel_tool
