// Reading CSV tables of signals, in bounded memory and without guessing.
//
// The layout: one header row of column names (unless --no-header: then the
// channels are named ch1, ch2, ...), then one row per sample. Fields are
// separated by ",", ";" or a tab, whichever the header row (the first row
// without a header) holds most often; a field may be quoted ("a, b", doubled
// quotes inside). A column is time when --time-column names it or when it is
// the first column and its name says so: time, t or zeit in any case, with an
// optional unit in brackets (s, ms, us or min; none means seconds), e.g. "time
// [ms]". Without a time column --dt gives the interval (with one, it replaces
// the column's spacing and the first time stays the start). An unnamed first
// column ("" or "Unnamed: 0") counting up by one, as pandas writes its index,
// is skipped. Every other column is a channel, "description [unit]". Cells
// must be finite numbers (--decimal-comma: "1,5") unless --allow-nan, which
// reads empty, non-numeric, NaN and infinite cells as NaN; time rows must be
// equally spaced (within 1e-6 of the interval) unless --dt is given.
#pragma once

#include <memory>
#include <optional>
#include <string>

namespace CLI {
class App;
}

namespace zel_tool {

class SignalFile;

struct CsvOptions {
  bool no_header = false;
  std::optional<int> time_column; // from 1, counting every column of the file
  std::optional<double> dt;       // seconds, for tables without a time column
  bool decimal_comma = false;
  bool allow_nan = false;
  bool progress = true; // a progress bar on a terminal for large tables
};

// Adds --no-header, --time-column, --dt, --decimal-comma and --allow-nan.
void add_csv_options(CLI::App *sub, CsvOptions &options);

// Reads the table at path; name is what messages and the file's info call it.
// Memory holds a block of rows (about 8 MiB) whatever the table's length:
// longer tables are kept as binary values in an unnamed temporary file
// (in TMPDIR, else /tmp). Throws a ToolError naming the row and column of a
// cell that breaks the layout.
std::unique_ptr<SignalFile> read_csv(const std::string &path, const std::string &name,
                                     const CsvOptions &options);

// Standard input ("-") copied to a temporary (removed when the file is
// closed, also on failure) and read by content: MATLAB (a MAT-file's text
// header), RPC III, DAC, else CSV.
// Messages call it "standard input".
std::unique_ptr<SignalFile> open_standard_input(const CsvOptions &options);

} // namespace zel_tool
