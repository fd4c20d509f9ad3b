// A progress bar on stderr for long conversions, drawn only when stderr is a
// terminal (never into pipes, files or test logs).
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace zel_tool {

bool stderr_is_terminal();

class Progress {
public:
  // An empty label draws nothing.
  Progress(std::string label, int64_t total);
  ~Progress();
  Progress(const Progress &) = delete;
  Progress &operator=(const Progress &) = delete;

  void advance(int64_t steps);

private:
  void draw();

  std::string label_;
  int64_t total_;
  int64_t done_ = 0;
  bool enabled_;
  bool drawn_ = false;
  std::chrono::steady_clock::time_point start_;
  std::chrono::steady_clock::time_point last_draw_;
};

} // namespace zel_tool
