// Arbitrary bytes as a save thumbnail and as a menu label: an item with a
// whole picture or none, a label cut inside its field, never a crash.
#include <cstdint>
#include <cstring>
#include <string>

#include "player/core/display.h"
#include "player/menu/popup_menu.h"

volatile uint32_t g_sink;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  SetScreenWidth(320);
  SetScreenHeight(240);
  static CPopupMenu* menu = [] {
    auto* m = new CPopupMenu;
    MenuPage* root = m->AddPage(nullptr, 0);
    m->AddItem(root, 1, kMenuCommand, "slot");
    return m;
  }();
  menu->SetItemPicture(nullptr, 1, data, size);
  MenuItem* item = menu->FindMenuItem(nullptr, 1);
  if (MenuItemPicture* pic = item->picture) {
    uint32_t sum = 0;
    const size_t n = size_t(pic->width) * pic->height + size_t(pic->width + 1) * (pic->height + 2);
    for (size_t i = 0; i < n; ++i) sum += pic->Pixels()[i];
    g_sink = sum;
  }
  const std::string label(reinterpret_cast<const char*>(data), size);
  menu->SetLabel(nullptr, 1, label.c_str());
  if (std::strlen(item->label) >= sizeof item->label) __builtin_trap();
  return 0;
}
