// Writes the seed inputs of every fuzz target into <dir>/<target>/, one
// file per seed: make_seeds <dir>.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "fuzz/seeds.h"

int main(int argc, char **argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_seeds <dir>\n");
    return 2;
  }
  for (const std::string &target : zel_fuzz::target_names()) {
    const std::filesystem::path dir = std::filesystem::path(argv[1]) / target;
    std::filesystem::create_directories(dir);
    int n = 0;
    for (const zel_fuzz::Seed &s : zel_fuzz::seeds_for(target)) {
      std::ofstream out(dir / ("seed-" + std::to_string(n++)), std::ios::binary);
      out.write(reinterpret_cast<const char *>(s.data()), std::streamsize(s.size()));
      if (!out) return 1;
    }
    std::printf("%s: %d seeds\n", target.c_str(), n);
  }
  return 0;
}
