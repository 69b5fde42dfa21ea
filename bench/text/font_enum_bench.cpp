// The first EnumFontFamiliesW of a process, as a player's font list makes it
// at start: prints the CPU time it took (milliseconds, fontconfig's own
// start included) and the number of families it listed.  Run once per
// process by run_font_start_bench.sh, which sets FONTCONFIG_FILE.
#include <windows.h>

#include <cstdio>
#include <ctime>

int main() {
  int families = 0;
  auto count = [](const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM data) -> int {
    ++*reinterpret_cast<int*>(data);
    return 1;
  };
  const std::clock_t start = std::clock();
  EnumFontFamiliesW(nullptr, nullptr, count, LPARAM(&families));
  const double ms = double(std::clock() - start) * 1000.0 / CLOCKS_PER_SEC;
  std::printf("%.2f %d\n", ms, families);
  return families > 0 ? 0 : 1;
}
