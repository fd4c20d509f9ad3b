// Writing channels as RPC III or DAC files through the library. Each file
// appears whole or not at all (see atomic_output.h).
#pragma once

#include "signal_file.h"

#include <string>
#include <vector>

namespace zel_tool {

class Progress;

enum class OutputFormat { Rpc3, Dac, Csv, Mat };

// Output format from the file name's extension (.rsp/.rpc/.tim, .dac,
// .csv, .mat, in any case). Throws a ToolError for any other extension.
OutputFormat output_format(const std::string &path);

// How an RPC III file is written: scaled 16-bit integers (rounded to
// nearest unless truncate) or floats, the DATE text (empty: the time of
// writing) and header records to keep (keyword, value).
struct Rpc3Settings {
  bool floats = false;
  bool truncate = false;
  std::string date;
  std::vector<std::pair<std::string, std::string>> records;
};

// One RPC III file holding the window of every channel at interval dt (the
// true count is recorded). Advances progress by samples. Throws a
// ToolError on failure.
void write_rpc3(const std::string &path, const std::vector<ChannelRef> &channels,
                SampleWindow window, double dt, const Rpc3Settings &settings, Progress *progress);

// The header records of the channels' RPC III files that a copy keeps:
// those the writer does not fill itself. Records of one channel (keywords
// ending in CHAN_n) follow their channel to its new number; the others
// come from the first RPC III file.
std::vector<std::pair<std::string, std::string>>
kept_records(const std::vector<ChannelRef> &channels);

// One DAC file per channel: path itself for a single channel, else path's
// stem + "_" + channel number + ".dac" beside it. Returns the names written.
// The files are renamed into place only once every one of them is written.
std::vector<std::string> write_dac(const std::string &path, const std::vector<ChannelRef> &channels,
                                   SampleWindow window, Progress *progress);

// The file names write_dac uses for count channels.
std::vector<std::string> dac_names(const std::string &path, int count);

} // namespace zel_tool
