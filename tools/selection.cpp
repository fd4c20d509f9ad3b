#include "selection.h"

#include "number_text.h"
#include "tool_error.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cmath>

namespace zel_tool {

namespace {

// A whole text of decimal digits as a number (false beyond 9 digits).
bool whole_number(const std::string &text, int64_t &value) {
  if (text.empty() || text.size() > 9 ||
      !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
    return false;
  value = std::stoll(text);
  return true;
}

} // namespace

void add_selection_options(CLI::App *sub, SelectionOptions &options, bool window) {
  sub->add_option("-c,--channel", options.channels,
                  "Channel: a number (from 1), a range (2-5) or an exact name; repeat for more; "
                  "default all")
      ->allow_extra_args(false);
  if (!window) return;
  sub->add_option("--start", options.start, "First time, in seconds (inclusive)");
  sub->add_option("--end", options.end, "Last time, in seconds (inclusive)");
}

std::vector<ChannelRef> all_channels(SignalFile &file) {
  std::vector<ChannelRef> refs;
  for (int c = 1; c <= file.info().channel_count(); ++c) refs.push_back({&file, c});
  return refs;
}

std::vector<ChannelRef> select_channels(const std::vector<ChannelRef> &refs,
                                        const std::vector<std::string> &wanted) {
  if (wanted.empty()) return refs;
  const int64_t n = static_cast<int64_t>(refs.size());
  const std::string where = refs.empty() ? "" : refs.front().file->info().path;
  const auto check = [&](int64_t c, const std::string &choice) {
    if (c < 1 || c > n)
      fail(where, "no channel " + std::to_string(c) + " (" + std::to_string(n) +
                      " channels), in -c " + choice);
  };
  std::vector<ChannelRef> chosen;
  for (const std::string &choice : wanted) {
    int64_t a = 0, b = 0;
    const size_t dash = choice.find('-', 1);
    if (whole_number(choice, a)) {
      check(a, choice);
      chosen.push_back(refs[static_cast<size_t>(a - 1)]);
    } else if (dash != std::string::npos && whole_number(choice.substr(0, dash), a) &&
               whole_number(choice.substr(dash + 1), b)) {
      check(a, choice), check(b, choice);
      if (a > b) fail(where, "empty channel range -c " + choice);
      for (int64_t c = a; c <= b; ++c) chosen.push_back(refs[static_cast<size_t>(c - 1)]);
    } else {
      const size_t before = chosen.size();
      for (const ChannelRef &ref : refs)
        if (ref.info().description == choice) chosen.push_back(ref);
      if (chosen.size() == before) fail(where, "no channel named \"" + choice + "\"");
    }
  }
  return chosen;
}

SampleWindow select_window(const SignalInfo &info, const SelectionOptions &options) {
  if (options.start && options.end && *options.start > *options.end)
    fail(info.path, "--start " + exact(*options.start) + " is after --end " + exact(*options.end));
  // Samples whose time lies within [start, end]; a tiny tolerance keeps a
  // time printed by `zel cat` itself inside the range.
  int64_t first = 0, last = info.points - 1;
  const double points = static_cast<double>(info.points);
  if (options.start) {
    const double k = std::ceil((*options.start - info.start_time) / info.dt - 1e-6);
    first = static_cast<int64_t>(std::clamp(k, 0.0, points));
  }
  if (options.end) {
    const double k = std::floor((*options.end - info.start_time) / info.dt + 1e-6);
    last = static_cast<int64_t>(std::clamp(k, -1.0, points - 1));
  }
  if (last < first)
    fail(info.path, "no sample between " +
                        (options.start ? exact(*options.start) : exact(info.start_time)) +
                        " s and " +
                        (options.end ? exact(*options.end) : exact(info.time_at(info.points - 1))) +
                        " s (the file holds " + exact(info.start_time) + " s to " +
                        exact(info.time_at(info.points - 1)) + " s)");
  return {first, last - first + 1};
}

} // namespace zel_tool
