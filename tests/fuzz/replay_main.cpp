// Replays a fuzz target without libFuzzer: replay_<target> <target> <dir>...
// runs the target's seeds, then every file of the given folders
// (fuzz/regressions/<target>/: inputs that once made it fail). A failure
// aborts inside the target, so the test fails with the file named on the
// line before.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <set>
#include <string>

#include "fuzz/seeds.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

int main(int argc, char **argv) {
  const std::string target = argc > 1 ? argv[1] : "";
  int runs = 0;
  for (const zel_fuzz::Seed &s : zel_fuzz::seeds_for(target)) {
    LLVMFuzzerTestOneInput(s.data(), s.size());
    ++runs;
  }
  if (runs == 0) {
    std::fprintf(stderr, "no seeds for '%s'\n", target.c_str());
    return 1;
  }
  for (int i = 2; i < argc; ++i) {
    std::error_code ec;
    if (!std::filesystem::is_directory(argv[i], ec)) continue; // no regression yet
    std::set<std::filesystem::path> files; // a stable order
    for (const auto &e : std::filesystem::directory_iterator(argv[i]))
      if (e.is_regular_file() && e.path().filename().string()[0] != '.') files.insert(e.path());
    for (const auto &f : files) {
      std::fprintf(stderr, "replaying %s\n", f.string().c_str());
      const zel_fuzz::Seed s = zel_test::read_file_bytes(f.string());
      LLVMFuzzerTestOneInput(s.data(), s.size());
      ++runs;
    }
  }
  std::printf("%s: %d inputs replayed\n", target.c_str(), runs);
  return 0;
}
