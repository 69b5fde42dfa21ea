// Points fontconfig at the test configuration before anything asks for a
// font, so that glyphs do not depend on the machine's fonts.
#include "tests/text/text_env.h"

#include <windows.h>

#include <cstdlib>

#include "formats/le_bytes.h"
#include "player/core/display.h"

namespace {
const bool kFontsConfigured = [] {
  setenv("FONTCONFIG_FILE", VELMI_BINARY_DIR "/tests/text/fonts.conf", 1);
  return true;
}();
}  // namespace

uint16_t Code(const char* utf8) {
  std::string s = Sjis(utf8);
  if (s.size() == 1) return uint16_t(uint8_t(s[0]));
  if (s.size() < 2) return 0;
  return GetLe16(reinterpret_cast<const uint8_t*>(s.data()));
}

void UseScreen(int w, int h) {
  SetPlayerBuild(PlayerBuild::Ce42);
  SetCanvasWidth(800);
  SetCanvasHeight(600);
  SetScreenWidth(w);
  SetScreenHeight(h);
}

void UseMessageWindowSettings(CTextWindow& window) {
  window.SetTextArea(6, 380, 736, 208);
  window.SetFontSize(28);
  window.SetPosition(38, 76);
  window.SetSpacing(0, 14);
  window.SetLineLimits(24, 3);
  window.colour = 0xFFFFFF;
}
