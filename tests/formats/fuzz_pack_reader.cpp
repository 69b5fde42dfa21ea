// The pack reader on arbitrary files: the input is written as a pack and
// looked up by a few names, through both read operations.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "player/core/pack_reader.h"

namespace {

std::string PackPath() {
  static const std::string path = "/tmp/velmi_fuzz_pack_" + std::to_string(getpid()) + ".mlz";
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = PackPath();
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return 0;
  std::fwrite(data, 1, size, f);
  std::fclose(f);

  static const char* const kNames[] = {"a", "AdvData\\mes\\start.mes", "", "\x83\x5C.rbp"};
  PackReader reader;
  for (const char* name : kNames) {
    DWORD length = 0;
    BYTE* entry = ReadPackEntry(&reader, path.c_str(), name, &length);
    if (entry != nullptr) {
      volatile BYTE sink = length ? entry[length - 1] : 0;
      (void)sink;
      LocalFree(entry);
    }
    int used = 0;
    entry = ReadPackEntryInto(&reader, path.c_str(), name, &length, SharedReadArea, 4096, &used);
    if (entry != nullptr && !used) LocalFree(entry);
  }
  std::remove(path.c_str());
  return 0;
}
