// MATLAB files (.mat) through libmatio: the layout zel writes and the plain
// layouts people save by hand. See docs/mat_files.md for the layouts.
#pragma once

#include "signal_file.h"

#include <memory>
#include <string>
#include <vector>

namespace zel_tool {

class Progress;

enum class MatVersion { V5, V73 };

// "5" or "7.3". Throws a ToolError for any other text.
MatVersion parse_mat_version(const std::string &text);

// True when this machine's matio writes and reads MAT v7.3 (HDF5) files.
bool mat73_supported();

// A valid MATLAB name made from text: ASCII letters, digits and underscores,
// starting with a letter, at most 63 characters, no keyword.
std::string matlab_name(const std::string &text);

// One valid MATLAB name per channel description, unique among themselves
// and the struct's own fields (time, dt, names, ...).
std::vector<std::string> channel_field_names(const std::vector<std::string> &descriptions);

// The struct variable's name for an output file: its stem made valid.
std::string mat_struct_name(const std::string &path);

// Writes the window of every channel as one struct (docs/mat_files.md).
// Holds the window in memory. Throws a ToolError on failure; the file
// appears whole or not at all.
void write_mat(const std::string &path, const std::vector<ChannelRef> &channels,
               SampleWindow window, double dt, const std::string &date, MatVersion version,
               Progress *progress);

// Reads a .mat file whole. Throws a ToolError naming the file on failure.
std::unique_ptr<SignalFile> read_mat(const std::string &path);

} // namespace zel_tool
