// CSV tables of signals: a header row ("time [s]", then "description [unit]"
// per channel) and one row per sample, first column the time. Numbers are
// written in their shortest exact form, so a table reads back bit for bit
// (csv_read.h reads them).
#pragma once

#include "signal_file.h"

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace zel_tool {

class Progress;

// "description [unit]" and its inverse (no brackets: the whole text is the
// description, the unit is empty).
std::string column_title(const ChannelInfo &channel);
ChannelInfo parse_column_title(const std::string &title);

// Writes the window's samples of the given channels, which must share the
// interval, start time and length of refs[0]'s file, streaming them (memory
// does not grow with the window's length). Advances progress by samples.
// jobs threads format the rows (the text is the same for any number).
// Throws a ToolError when reading or writing fails.
void write_csv(std::FILE *out, const std::string &out_name, const std::vector<ChannelRef> &refs,
               SampleWindow window, Progress *progress, int jobs = 1);

} // namespace zel_tool
