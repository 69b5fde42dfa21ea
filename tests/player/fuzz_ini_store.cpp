// Arbitrary bytes as velmi.cfg: read, changed, written back and read again.
#include <cstdint>
#include <cstdio>
#include <string>

#include <unistd.h>

#include "player/core/ini_store.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static std::string dir = [] {
    char t[] = "/tmp/velmi-fuzz-ini-XXXXXX";
    return std::string(mkdtemp(t));
  }();
  static std::string file = dir + "/velmi.cfg";
  static std::string win = [] {
    std::string w = file;
    for (char& c : w)
      if (c == '/') c = '\\';
    return w;
  }();
  FILE* f = std::fopen(file.c_str(), "wb");
  if (!f) return 0;
  std::fwrite(data, 1, size, f);
  std::fclose(f);
  char out[128];
  IniStore::GetInt("SYSTEM_CONFIG", "MASTER_VOL", 100, win.c_str());
  IniStore::GetString("GAME_INST_FOLDER", "DATA01", "", out, 127, win.c_str());
  IniStore::GetString("KEY_CONFIG", "KEY_A", "", out, 30, win.c_str());
  IniStore::Set("SYSTEM_CONFIG", "MASTER_VOL", "100", win.c_str());
  IniStore::Set("NEW_SECTION", "KEY", "value", win.c_str());
  IniStore::Flush();
  if (IniStore::GetInt("NEW_SECTION", "KEY", 1, win.c_str()) != 0) __builtin_trap();  // "value" parses as 0
  IniStore::Flush();
  return 0;
}
