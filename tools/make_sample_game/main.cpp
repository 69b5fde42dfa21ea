// Writes the synthetic desktop game folder: make_sample_game <folder> [--small | --full]
// (the playable game by default; --small and --full write the converter's
// test folders).
#include <cstdio>
#include <cstring>
#include <string>

#include "tools/sample_game.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s <folder> [--small | --full]\n", argv[0]);
    return 2;
  }
  vtools::SampleSize size = vtools::SampleSize::Game;
  if (argc > 2 && std::strcmp(argv[2], "--small") == 0) size = vtools::SampleSize::Small;
  if (argc > 2 && std::strcmp(argv[2], "--full") == 0) size = vtools::SampleSize::Full;
  std::string error;
  const vtools::SampleTable table = vtools::SampleGameTable(size);
  if (!vtools::WriteSampleGame(argv[1], table, &error)) {
    std::fprintf(stderr, "make_sample_game: %s\n", error.c_str());
    return 1;
  }
  std::printf("sample desktop game: %zu files in %s\n", table.size(), argv[1]);
  return 0;
}
