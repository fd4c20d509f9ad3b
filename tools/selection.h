// Which channels and which samples a command works on: -c/--channel by
// number, range or exact name, and --start/--end in seconds.
#pragma once

#include "signal_file.h"

#include <optional>
#include <string>
#include <vector>

namespace CLI {
class App;
}

namespace zel_tool {

struct SelectionOptions {
  std::vector<std::string> channels; // as given: "3", "2-5" or a name
  std::optional<double> start;       // seconds
  std::optional<double> end;
};

// Adds -c/--channel to a subcommand, and --start/--end when window is set.
void add_selection_options(CLI::App *sub, SelectionOptions &options, bool window);

// The channels of refs (all of them, in order, when wanted is empty) that
// wanted name: a number counts from 1 in refs, "a-b" is every number from a
// to b, any other text is a channel's exact description (every channel of
// that name). Throws a ToolError for a number out of range, a name no
// channel has, or an empty range.
std::vector<ChannelRef> select_channels(const std::vector<ChannelRef> &refs,
                                        const std::vector<std::string> &wanted);

// Every channel of a file, in order.
std::vector<ChannelRef> all_channels(SignalFile &file);

// The samples whose time lies within [start, end] (a missing bound: the
// file's end). Throws a ToolError when start is after end or when the
// window holds no sample.
SampleWindow select_window(const SignalInfo &info, const SelectionOptions &options);

} // namespace zel_tool
