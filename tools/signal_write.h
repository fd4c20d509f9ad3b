// Writing channels as RPC III or DAC files through the library. Each file
// appears whole or not at all (see atomic_output.h).
#pragma once

#include "signal_file.h"

#include <string>
#include <vector>

namespace zel_tool {

class Progress;

enum class OutputFormat { Rpc3, Dac, Csv };

// Output format from the file name's extension (.rsp/.rpc/.tim, .dac,
// .csv, in any case). Throws a ToolError for any other extension.
OutputFormat output_format(const std::string &path);

// One RPC III file holding every channel, all with the points and interval
// given; integers unless floats is set. Throws a ToolError on failure.
void write_rpc3(const std::string &path, const std::vector<ChannelRef> &channels, int64_t points,
                double dt, bool floats, Progress *progress);

// One DAC file per channel: path itself for a single channel, else path's
// stem + "_" + channel number + ".dac" beside it. Returns the names written.
// The files are renamed into place only once every one of them is written.
std::vector<std::string> write_dac(const std::string &path, const std::vector<ChannelRef> &channels,
                                   Progress *progress);

// The file names write_dac uses for count channels.
std::vector<std::string> dac_names(const std::string &path, int count);

} // namespace zel_tool
