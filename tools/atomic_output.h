// Output files that appear whole or not at all. Each file the tool writes is
// first written to a temporary beside its target (same folder, so that the
// final rename is atomic), synced, and renamed over the target only when
// every write, flush and close has succeeded. A temporary that is not
// committed is removed: by the destructor on failure, by the signal handlers
// on SIGINT, SIGTERM or SIGHUP. POSIX only, like the tool.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace zel_tool {

class AtomicOutput {
public:
  // Creates the temporary exclusively, as ".NAME.XXXXXX.tmp" beside target.
  // Throws a ToolError naming target when it cannot.
  explicit AtomicOutput(std::string target);
  // Removes the temporary unless it was committed.
  ~AtomicOutput();
  AtomicOutput(const AtomicOutput &) = delete;
  AtomicOutput &operator=(const AtomicOutput &) = delete;

  const std::string &target() const { return target_; }
  // The name to hand to a writer that opens files by name (the library).
  const std::string &temp() const { return temp_; }

  // The temporary open for writing, for the tool's own writers.
  std::FILE *stream();
  // Writes all of text to stream(). Throws a ToolError on failure.
  void write(const std::string &text);

  // Flushes and closes the stream (if any) and syncs the temporary to disk.
  // Throws a ToolError naming target on failure.
  void finish();
  // finish(), then renames the temporary over target and syncs the folder
  // (best effort). Throws a ToolError naming target on failure.
  void commit();

private:
  std::string target_;
  std::string temp_;
  std::FILE *stream_ = nullptr;
  bool finished_ = false;
  bool committed_ = false;
  int slot_ = -1;
};

// Renames a group of outputs only when all of them are written: every
// temporary is finished first, then each is renamed over its target.
void commit_all(std::vector<AtomicOutput *> outputs);

// The whole of text as the file target, through an AtomicOutput.
void write_file_atomically(const std::string &target, const std::string &text);

// SIGINT, SIGTERM and SIGHUP remove the registered temporaries, print one
// line and end the process by the signal; SIGXFSZ is ignored, so that a
// file-size limit shows as a failed write (EFBIG) instead of a kill.
void install_output_signal_handlers();

// Throws a ToolError naming the output when any output is the same file as
// any input (device and inode: links and other spellings included).
void refuse_overwriting_inputs(const std::vector<std::string> &inputs,
                               const std::vector<std::string> &outputs);

} // namespace zel_tool
