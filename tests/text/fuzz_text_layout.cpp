// Layout and drawing of arbitrary byte strings: the records, the ruby
// table, the text buffer, the glyph DIB and the back buffer stay in bounds.
#include <velmi_platform.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "player/core/dirty_list.h"
#include "player/core/display.h"
#include "player/core/glyph_writer.h"
#include "player/core/input.h"
#include "player/core/picture.h"
#include "player/core/screen.h"
#include "player/core/settings.h"
#include "tests/text/text_env.h"

namespace {
struct World {
  World() {
    UseScreen(320, 240);
    VelmiClockUseFake(1000);
    screen = std::make_unique<CScreen>();
    dirty.SetSize(320, 240);
    CPicture::CreateBlank(&label, 160, 40, 0, 1);
  }
  std::unique_ptr<CScreen> screen;
  CDirtyList dirty;
  CPicture label;
  std::unique_ptr<CGlyphWriter> writer;
  std::vector<uint16_t> portrait = std::vector<uint16_t>(320 * 240);
};
World* world = nullptr;
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  world = new World;
  world->writer = std::make_unique<CGlyphWriter>();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 6 || size > 1024) return 0;
  const uint8_t level = data[0] & 3, shadow = data[1] & 1, perLine = data[2] % 40, gap = data[3] % 20;
  const int percent = 50 + 50 * (data[4] % 3), speed = data[5] % 4;
  std::string text(reinterpret_cast<const char*>(data + 6), size - 6);
  text = text.c_str();  // the game's texts end at the first NUL
  CTextWindow w;
  w.SetTextArea(6, 380, 736, 208);
  w.SetFontSize(28);
  w.SetPosition(int(gap) - 10, 20);
  w.SetSpacing(gap, gap);
  w.SetLineLimits(perLine, 3);
  w.sizePercent = percent;
  GameSettings settings{};
  settings.messageSpeed = speed;
  InputState input{};
  w.StartText(text.c_str());
  w.StartText(text.c_str());
  // Type it out over a few frames, then press.
  for (int frame = 0; frame < 4 && !LayoutText(&w, &settings, &input, &world->dirty, 100); ++frame)
    VelmiClockAdvance(16);
  input.tap = 1;
  LayoutText(&w, &settings, &input, &world->dirty, 100);
  w.SetInstantMode(1);
  w.FlagCharsInRect(&world->dirty);
  w.Draw(world->screen.get(), level, shadow);
  w.backlog.Push(text.c_str(), w.records, kTextPageBytes, uint32_t(w.count));
  w.backlogView = 1;
  w.backlogPage = 0;
  w.ShowAllChars(1);
  w.Draw(world->screen.get(), level, shadow);
  w.DrawString(&world->label, text.c_str(), 10 + data[3] % 50, int(gap) - 5, 0xFFFFFF, -int(gap), 2, level + 1, shadow);
  world->writer->DrawSjisText(world->portrait.data(), text.c_str(), int(data[2]) * 3 - 30, int(data[3]) * 3 - 10, 255,
                              data[4] % 40);
  world->dirty.Clear();
  return 0;
}
