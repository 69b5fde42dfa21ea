// Assembles the text form of a story script: mes_asm <input.txt> <output.mes>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tools/mes_text.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s <input.txt> <output.mes>\n", argv[0]);
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "mes_asm: cannot read %s\n", argv[1]);
    return 1;
  }
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<uint8_t> bytes;
  std::string error;
  if (!vtools::AssembleMes(text, &bytes, &error)) {
    std::fprintf(stderr, "%s:%s\n", argv[1], error.c_str() + 4);  // "line N: ..." -> "file:N: ..."
    return 1;
  }
  std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  if (!out) {
    std::fprintf(stderr, "mes_asm: cannot write %s\n", argv[2]);
    return 1;
  }
  return 0;
}
