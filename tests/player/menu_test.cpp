// The pop-up menu: its tree, drawing through the frame buffer's pitches, hit
// testing, keys and stylus, the option handlers and the command dispatch.
#include <filesystem>
#include <system_error>
#include <gtest/gtest.h>

#include <velmi_device.h>
#include <velmi_platform.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "common/file.h"
#include "formats/le_bytes.h"
#include "player/app/game_app.h"
#include "player/app/menu_commands.h"
#include "player/core/dirty_list.h"
#include "player/core/display.h"
#include "player/core/font_list.h"
#include "player/core/input.h"
#include "player/menu/option_handlers.h"
#include "player/menu/popup_menu.h"
#include "tests/player/rbp_builder.h"

namespace {

// ﾄｯﾌﾟ, 設定, ﾐｭｰｼﾞｯｸ, 音量
const char kTop[] = "\xc4\xaf\xcc\xdf";
const char kSettings[] = "\x90\xdd\x92\xe8";

VelmiDeviceStatus FixedStatus() {
  VelmiDeviceStatus s;
  s.time.wYear = 2026;
  s.time.wMonth = 7;
  s.time.wDay = 4;
  s.time.wHour = 9;
  s.time.wMinute = 5;
  s.batteryPercent = 87;
  s.totalPhys = 128u << 20;
  s.availPhys = 37u << 20;
  s.memoryLoad = 71;
  s.storeSize = 1024u << 20;
  s.storeFree = 512u << 20;
  return s;
}

// A device of the given panel with the screen size of the build.
void UseDevice(int panelW, int panelH, int screenW, int screenH) {
  VelmiDeviceReset();
  VelmiDeviceSetHeadless(true);
  VelmiDeviceSetGeometry(panelW, panelH);
  SetPlayerBuild(PlayerBuild::Ce50);
  SetScreenWidth(screenW);
  SetScreenHeight(screenH);
  SetOutputRate(22050);
  SetOggOverlayVersion("");
  RawFrameBufferDesc d{};
  QueryRawFrameBuffer(&d);
  VelmiDevicePinStatus(FixedStatus());
}

// Pixel (x, y) of the screen as held, read from the emulated frame buffer.
uint16_t Held(int x, int y) {
  const VelmiDeviceGeometry g = VelmiDeviceGetGeometry();
  const uint16_t* fb = VelmiDeviceFrameBuffer();
  const int stride = VelmiDeviceFrameBufferStride() / 2;
  if (g.width < g.height) return fb[size_t(g.height - 1 - x) * stride + y];
  return fb[size_t(y) * stride + x];
}

std::vector<uint16_t> HeldPicture() {
  std::vector<uint16_t> px;
  for (int y = 0; y < GetScreenHeight(); ++y)
    for (int x = 0; x < GetScreenWidth(); ++x) px.push_back(Held(x, y));
  return px;
}

void FillFrameBuffer(uint16_t colour) {
  const VelmiDeviceGeometry g = VelmiDeviceGetGeometry();
  uint16_t* fb = VelmiDeviceFrameBuffer();
  for (int i = 0; i < g.width * g.height; ++i) fb[i] = colour;
}

const char* const kFonts[] = {"Alpha Gothic", "Beta Mincho", "Gamma Sans"};

struct Walk {
  int pages = 0, items = 0, separators = 0, maxItems = 0;
  std::vector<int> ids;
  bool parentsOk = true, childrenOk = true;
  void Page(const MenuPage* p) {
    ++pages;
    maxItems = std::max(maxItems, int(p->count));
    for (int i = 0; i < p->count; ++i) {
      const MenuItem& it = p->items[i];
      ++items;
      if (it.kind == kMenuCommand) ids.push_back(it.id);
      if (it.kind == kMenuSeparator) ++separators;
      if ((it.kind == kMenuSubmenu) != (it.child != nullptr)) childrenOk = false;
      if (it.child) {
        if (it.child->parent != p) parentsOk = false;
        Page(it.child);
      }
    }
  }
};

// ---- The tree ------------------------------------------------------------------

TEST(MenuTree, PagesItemsIdsAndLinks) {
  UseDevice(480, 640, 640, 480);
  CPopupMenu menu;
  BuildMenuTreeInto(&menu, kFonts, 3);
  ASSERT_NE(menu.root, nullptr);
  EXPECT_EQ(menu.root->count, 14);
  EXPECT_EQ(menu.root->parent, nullptr);
  Walk w;
  w.Page(menu.root);
  EXPECT_EQ(w.pages, 36);
  EXPECT_EQ(w.items, 265 + 3);
  EXPECT_LE(w.maxItems, kMenuPageItems);
  EXPECT_TRUE(w.parentsOk);
  EXPECT_TRUE(w.childrenOk);
  std::set<int> unique(w.ids.begin(), w.ids.end());
  EXPECT_EQ(unique.size(), w.ids.size());
  // The command ids the window receives run from 40007 to 40327.
  EXPECT_EQ(*unique.begin(), 40007);
  EXPECT_EQ(*unique.rbegin(), 40327);
  for (int id : w.ids) EXPECT_EQ(menu.FindMenuItem(nullptr, id)->id, id);
  // Every id the dispatch acts on is in the tree, and every tree id has an operation.
  int n = 0;
  const MenuCommandEntry* table = MenuCommandTable(&n);
  std::set<int> dispatched;
  for (int i = 0; i < n; ++i)
    for (int id = table[i].first; id <= table[i].last; ++id) dispatched.insert(id);
  for (int id : w.ids) EXPECT_TRUE(dispatched.count(id)) << id;
  for (int id : dispatched)
    if (id < kMenuFontFirst + 3 || id > kMenuFontFirst + 14) {  // three fonts listed
      EXPECT_TRUE(unique.count(id)) << id;
    }
  // Fixed items and labels the dispatch depends on.
  const struct {
    int id;
    const char* label;
    uint32_t flags;
  } items[] = {
      {kMenuLoadFirst, "LOAD_001", kMenuEnabled},
      {kMenuSaveFirst + 14, "SAVE_015", kMenuEnabled},
      {kMenuMusicVolumeFirst, "100%", kMenuEnabled},
      {kMenuMusicVolumeFirst + 9, "10%", kMenuEnabled},
      {kMenuWindowTransFirst, "0%", kMenuEnabled},
      {kMenuWindowTransFirst + 10, "100%", kMenuEnabled},
      {kMenuAutoSaveFirst + 2, "SAVE_AUTO_03", kMenuEnabled},
      {kMenuFontFirst, "Alpha Gothic", kMenuEnabled},
      {kMenuFontFirst + 2, "Gamma Sans", kMenuEnabled},
      {kMenuPause, "\xbc\xbd\xc3\xd1\x8bx\x8e~", 0},
      {kMenuMascotVoiceFirst + 9, "\x83\x41\x81\x5b\x83\x68\x83\x45\x83\x42\x83\x93", kMenuEnabled},  // list A, 9
      {kMenuAutoBaseFirst, "\x8a\xee\x8f\x80\x81\x46\x32\x30\x30ms", kMenuEnabled},
      {kMenuAutoOneFirst + 9, "\x95\xb6\x8e\x9a\x81\x46\x39\x30ms", kMenuEnabled},
  };
  for (auto& c : items) {
    const MenuItem* it = menu.FindMenuItem(nullptr, c.id);
    ASSERT_NE(it, nullptr) << c.id;
    EXPECT_STREQ(it->label, c.label) << c.id;
    EXPECT_EQ(it->flags, c.flags) << c.id;
  }
  // Character list B exchanges indices 9 and 10 of list A.
  EXPECT_STREQ(menu.FindMenuItem(nullptr, kMenuCharVoiceFirst + 9)->label,
               menu.FindMenuItem(nullptr, kMenuMascotVoiceFirst + 10)->label);
  EXPECT_STREQ(menu.FindMenuItem(nullptr, kMenuCharVoiceFirst + 10)->label,
               menu.FindMenuItem(nullptr, kMenuMascotVoiceFirst + 9)->label);
  EXPECT_EQ(menu.FindMenuItem(nullptr, kMenuFontFirst + 3), nullptr);  // only three fonts listed
  EXPECT_EQ(menu.FindMenuItem(nullptr, kMenuBackToTitle + 1), nullptr);
}

TEST(MenuTree, FontLabelsAreCutAtAWholeCharacter) {
  const std::string a23(23, 'a'), a22(22, 'a');
  const struct {
    std::string name;
    std::string label;
  } cases[] = {
      {"Short", "Short"},
      {std::string(30, 'x'), std::string(24, 'x')},
      {a23 + "\x82\xa0" + "zz", a23 + "\x82\xa0"},         // a double-byte character on the 24th byte
      {a22 + "\x82\xa0" + "zz", a22 + "\x82\xa0"},         // ends exactly at 24
      {a23 + "\xb1" + "zz", a23 + "\xb1"},                 // half-width katakana is one byte
      {std::string(12, '\x82'), std::string(12, '\x82')},  // lead bytes pair up with each other
  };
  for (auto& c : cases) {
    char out[kMenuFontLabelBytes + 2];
    FontItemLabel(out, c.name.c_str());
    EXPECT_EQ(std::string(out), c.label) << c.name;
  }
  // Fifteen items at most, whatever the list holds.
  UseDevice(480, 640, 640, 480);
  std::vector<std::string> names;
  std::vector<const char*> ptrs;
  for (int i = 0; i < 20; ++i) names.push_back("Font" + std::to_string(i) + std::string(40, 'q'));
  for (auto& s : names) ptrs.push_back(s.c_str());
  CPopupMenu menu;
  BuildMenuTreeInto(&menu, ptrs.data(), 20);
  EXPECT_NE(menu.FindMenuItem(nullptr, kMenuFontFirst + 14), nullptr);
  EXPECT_EQ(std::strlen(menu.FindMenuItem(nullptr, kMenuFontFirst + 14)->label), 24u);
  EXPECT_EQ(menu.FindMenuItem(nullptr, kMenuVoiceCutFirst)->label[0], '\xc3');  // the voice cut mode item, not a font
}

// ---- Building and changing -----------------------------------------------------

TEST(PopupMenu, ItemsSettersAndBoundedLabels) {
  UseDevice(480, 640, 640, 480);
  CPopupMenu menu;
  EXPECT_EQ(menu.AddItem(nullptr, 1, kMenuCommand, "x"), -1);
  MenuPage* root = menu.AddPage(nullptr, 0);
  for (int i = 0; i < kMenuPageItems; ++i) EXPECT_EQ(menu.AddItem(root, 100 + i, kMenuCommand, "item"), i);
  EXPECT_EQ(menu.AddItem(root, 999, kMenuCommand, "21st"), 0);
  EXPECT_EQ(root->count, kMenuPageItems);
  EXPECT_EQ(menu.FindItem(nullptr, 999, nullptr), nullptr);

  // Unknown ids change nothing; index keys address the root page.
  menu.SetChecked(nullptr, 999, kMenuChecked);
  menu.SetEnabled(nullptr, 999, 0);
  menu.SetLabel(nullptr, 999, "x");
  menu.SetItemPicture(nullptr, 999, nullptr, 0);
  menu.SetChecked(nullptr, 3, kMenuByIndex | kMenuChecked);
  EXPECT_EQ(root->items[3].flags, kMenuChecked | kMenuEnabled);
  menu.SetEnabled(nullptr, 103, 0);
  EXPECT_EQ(root->items[3].flags, kMenuChecked);
  menu.SetChecked(nullptr, 103, kMenuEnabled);  // only bit 0 counts for the tick
  EXPECT_EQ(root->items[3].flags, 0u);
  menu.SetEnabled(nullptr, 40, kMenuByIndex | kMenuEnabled);  // no such index

  const std::string ascii94(94, 'a');
  const struct {
    std::string in, out;
  } labels[] = {{std::string(200, 'b'), std::string(95, 'b')},
                {ascii94 + "\x82\xa0", ascii94},
                {std::string(93, 'a') + "\x82\xa0", std::string(93, 'a') + "\x82\xa0"}};
  for (auto& c : labels) {
    menu.SetLabel(nullptr, 100, c.in.c_str());
    EXPECT_EQ(std::string(root->items[0].label), c.out);
  }
  // A submenu page hangs on its item; freeing it clears the link.
  MenuPage* child = menu.AddPage(root, 5);
  EXPECT_EQ(root->items[5].child, child);
  EXPECT_EQ(menu.AddPage(root, 5), nullptr);
  menu.AddItem(child, 555, kMenuCommand, "deep");
  EXPECT_EQ(menu.FindItem(nullptr, 555, nullptr), child);
  menu.FreePages(child);
  EXPECT_EQ(root->items[5].child, nullptr);
  EXPECT_EQ(menu.FindItem(nullptr, 555, nullptr), nullptr);
}

Bytes Bitmap(int w, int h, uint32_t infoSize = 40, uint16_t bits = 16, uint32_t compression = 0, int extra = 0) {
  Bytes b(54 + size_t(std::max(0, 2 * w * h + extra)));
  auto put32 = [&](size_t at, uint32_t v) { PutLe32(&b[at], v); };
  b[0] = 'B';
  b[1] = 'M';
  put32(2, uint32_t(b.size()));
  put32(10, 54);
  put32(14, infoSize);
  put32(18, uint32_t(w));
  put32(22, uint32_t(h));
  b[26] = 1;
  b[28] = uint8_t(bits);
  put32(30, compression);
  for (int i = 0; i < w * h && 54 + 2 * size_t(i) + 1 < b.size(); ++i) {
    b[54 + 2 * i] = uint8_t(i);
    b[55 + 2 * i] = uint8_t(0x80 | i >> 8);
  }
  return b;
}

TEST(PopupMenu, ItemPicturesAreCheckedAgainstTheirLength) {
  UseDevice(480, 640, 640, 480);
  CPopupMenu menu;
  MenuPage* root = menu.AddPage(nullptr, 0);
  menu.AddItem(root, 7, kMenuCommand, "slot");
  const struct {
    const char* what;
    Bytes bmp;
    size_t cut;  // bytes taken off the length given
    bool ok;
  } cases[] = {
      {"valid", Bitmap(4, 3), 0, true},
      {"one byte short", Bitmap(4, 3), 1, false},
      {"core header", Bitmap(4, 3, 12), 0, false},
      {"24 bits", Bitmap(4, 3, 40, 24), 0, false},
      {"bit fields", Bitmap(4, 3, 40, 16, 3), 0, false},
      {"zero width", Bitmap(0, 3), 0, false},
      {"as wide as the screen", Bitmap(640, 2), 0, false},
      {"widest", Bitmap(639, 2), 0, true},
      {"too high", Bitmap(2, 479), 0, false},
      {"highest", Bitmap(2, 478), 0, true},
      {"top-down height", Bitmap(4, -3, 40, 16, 0, 24), 0, false},
      {"header only", Bitmap(4, 3), 2 * 4 * 3 + 14, false},
  };
  for (auto& c : cases) {
    menu.SetItemPicture(nullptr, 7, c.bmp.data(), c.bmp.size() - c.cut);
    MenuItem& it = root->items[0];
    EXPECT_EQ(it.picture != nullptr, c.ok) << c.what;
    EXPECT_EQ((it.flags & kMenuHasPicture) != 0, c.ok) << c.what;
  }
  Bytes a = Bitmap(4, 3);
  menu.SetItemPicture(nullptr, 7, a.data(), a.size());
  MenuItemPicture* first = root->items[0].picture;
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->Pixels()[5], 0x8005);
  menu.SetItemPicture(nullptr, 7, a.data(), a.size());
  EXPECT_EQ(root->items[0].picture, first);  // same size: the allocation is kept
  menu.SetItemPicture(nullptr, 7, nullptr, 0);
  EXPECT_EQ(root->items[0].picture, nullptr);
  EXPECT_EQ(root->items[0].flags, kMenuEnabled);
}

// ---- Drawing -------------------------------------------------------------------

struct Geometry {
  const char* name;
  int panelW, panelH, screenW, screenH;
};
const Geometry kPortrait640{"480x640", 480, 640, 640, 480};
const Geometry kLandscape640{"640x480", 640, 480, 640, 480};  // negative y pitch
const Geometry kPortrait320{"240x320", 240, 320, 320, 240};

class MenuDraw : public ::testing::Test {
 protected:
  void Use(const Geometry& g) {
    UseDevice(g.panelW, g.panelH, g.screenW, g.screenH);
    FillFrameBuffer(0x1234);
    menu = std::make_unique<CSystemMenu>();
    BuildMenuTreeInto(menu.get(), kFonts, 3);
  }
  void TearDown() override {
    menu.reset();
    VelmiDeviceUnpinStatus();
  }
  // Root page, 設定 entered, then its second item (ﾐｭｰｼﾞｯｸ) highlighted.
  void DeepPage() {
    for (int i = 0; i < 6; ++i) menu->MoveCursor(0);
    ASSERT_EQ(menu->cursor, 6);
    ASSERT_EQ(menu->EnterOrLeave(1), 1);
    menu->MoveCursor(0);
    menu->MoveCursor(0);
  }
  std::unique_ptr<CSystemMenu> menu;
};

TEST_F(MenuDraw, RootPageLayoutAndColours) {
  Use(kPortrait640);
  menu->Open();
  const int W = menu->width, H = menu->height;
  EXPECT_EQ(H, 13 * 14 + 40);
  // The status line is the widest text: [2026-07-04 09:05][87%][37MB(71%)][512MB]
  EXPECT_EQ(W, (int(std::strlen("[2026-07-04 09:05][87%][37MB(71%)][512MB]")) + 2) * 6);
  const struct {
    int x, y;
    uint16_t colour;
  } px[] = {
      {0, 0, kMenuFace},
      {1, 1, kMenuWhite},
      {1, H - 3, kMenuWhite},
      {W - 2, 5, kMenuDarkGrey},
      {W - 1, 5, kMenuBlack},
      {5, H - 2, kMenuDarkGrey},
      {5, H - 1, kMenuBlack},
      {6, 29, kMenuGrey},
      {W - 7, 30, kMenuWhite},
      {5, 31, kMenuFace},
      {W, 5, 0x1234},
      {5, H, 0x1234},
      {12, 40 + 13 * 4, kMenuGrey},
      {W - 13, 41 + 13 * 4, kMenuWhite},  // separator at row 4
      {11, 40 + 13 * 4, kMenuFace},
      {W - 9, 34 + 3, kMenuBlack},
      {W - 9, 34 + 2, kMenuFace},            // submenu arrow of row 0
      {W - 6, 34 + 13 * 13 + 5, kMenuFace},  // no arrow on a command
  };
  for (auto& p : px) EXPECT_EQ(Held(p.x, p.y), p.colour) << p.x << "," << p.y;
  // The frame buffer under the menu comes back on close.
  menu->Close();
  EXPECT_EQ(Held(5, 5), 0x1234);
  EXPECT_EQ(Held(W - 1, H - 1), 0x1234);
}

TEST_F(MenuDraw, TicksHighlightAndDisabledItems) {
  Use(kPortrait640);
  menu->SetChecked(nullptr, kMenuPause, kMenuChecked);  // row 12, disabled
  menu->SetChecked(nullptr, kMenuQuit, kMenuChecked);   // row 13
  menu->Open();
  const int top12 = 34 + 13 * 12, top13 = 34 + 13 * 13;
  EXPECT_EQ(Held(4 + 4, top13 + 4), kMenuBlack);  // tick
  EXPECT_EQ(Held(4 + 1, top13 + 5), kMenuBlack);
  EXPECT_EQ(Held(4 + 4, top12 + 4), kMenuGrey);  // etched tick of a disabled item
  EXPECT_EQ(Held(4 + 5, top12 + 5), kMenuWhite);
  menu->MoveCursor(1);  // UP from none lands on the last selectable row
  EXPECT_EQ(menu->cursor, 13);
  EXPECT_EQ(Held(11, top13), kMenuHighlight);
  EXPECT_EQ(Held(menu->width - 12, top13 + 12), kMenuHighlight);
  EXPECT_EQ(Held(10, top13), kMenuFace);
  menu->MoveCursor(1);  // skips the disabled pause item and the separator
  EXPECT_EQ(menu->cursor, 10);
  EXPECT_EQ(Held(11, top13), kMenuFace);
  EXPECT_EQ(menu->DrawItem(12, 1), 0);
  EXPECT_EQ(menu->DrawItem(11, 1), 0);
}

TEST_F(MenuDraw, NegativeYPitchShowsTheSamePicture) {
  std::vector<uint16_t> pictures[2];
  const Geometry* geometries[] = {&kPortrait640, &kLandscape640};
  for (int i = 0; i < 2; ++i) {
    Use(*geometries[i]);
    menu->Open();
    DeepPage();
    pictures[i] = HeldPicture();
    menu.reset();
  }
  EXPECT_EQ(pictures[0], pictures[1]);
}

TEST_F(MenuDraw, EnterAndLeaveKeepTheTitlesAndCursor) {
  Use(kPortrait640);
  menu->Open();
  EXPECT_STREQ(menu->titles[0], kTop);
  DeepPage();
  EXPECT_EQ(menu->depth, 1);
  EXPECT_STREQ(menu->titles[1], kSettings);
  EXPECT_EQ(menu->cursor, 1);
  EXPECT_EQ(menu->EnterOrLeave(1), 1);  // ﾐｭｰｼﾞｯｸ
  EXPECT_EQ(menu->cursor, -1);
  EXPECT_EQ(menu->current->count, 3);
  EXPECT_EQ(menu->EnterOrLeave(1), 0);  // nothing highlighted
  EXPECT_EQ(menu->EnterOrLeave(0), 1);
  EXPECT_EQ(menu->cursor, 1);
  EXPECT_EQ(Held(11, 34 + 13), kMenuHighlight);
  EXPECT_EQ(menu->EnterOrLeave(0), 1);
  EXPECT_EQ(menu->cursor, 6);
  EXPECT_EQ(menu->EnterOrLeave(0), 0);  // at the root
  // A page of only separators and disabled items keeps the cursor at -1.
  CPopupMenu bare;
  MenuPage* root = bare.AddPage(nullptr, 0);
  bare.AddItem(root, 0, kMenuSeparator, "");
  bare.AddItem(root, 5, kMenuCommand, "off");
  bare.SetEnabled(nullptr, 5, 0);
  bare.Open();
  bare.MoveCursor(0);
  bare.MoveCursor(1);
  EXPECT_EQ(bare.cursor, -1);
  bare.Close();
}

TEST_F(MenuDraw, SmallScreenClipsLongAndTallPages) {
  Use(kPortrait320);
  CPopupMenu tall;
  MenuPage* root = tall.AddPage(nullptr, 0);
  const std::string longLabel(95, 'W');
  for (int i = 0; i < kMenuPageItems; ++i)
    tall.AddItem(root, 100 + i, i % 2 ? kMenuSubmenu : kMenuCommand, longLabel.c_str());
  tall.SetChecked(nullptr, 100 + 18, kMenuChecked);
  tall.Open();
  EXPECT_EQ(tall.width, 320);
  EXPECT_EQ(tall.height, 240);
  for (int i = 0; i < 25; ++i) tall.MoveCursor(0);
  tall.Close();
  EXPECT_EQ(Held(319, 239), 0x1234);
  // The 320 status line has no memory or store fields, and no overlay text.
  SetOggOverlayVersion("1.3.5 (build)");
  menu->Open();
  EXPECT_EQ(menu->width, (int(std::strlen("[2026-07-04 09:05][87%]")) + 2) * 6);
  menu->Close();
}

TEST_F(MenuDraw, OverlayVersionOnTheRootBreadcrumb) {
  Use(kPortrait640);
  SetOggOverlayVersion("OggDec 1.3.5 (2024-01-01)");
  SetOutputRate(22050);
  menu->Open();
  // [ﾄｯﾌﾟ] [Tessaly.ovl OggDec 1.3.5 ][22.05kHz], wider than the status line
  const std::string crumb = std::string("[") + kTop + "] [Tessaly.ovl OggDec 1.3.5 ][22.05kHz]";
  EXPECT_EQ(menu->width, (int(crumb.size()) + 2) * 6);
  // Not on a submenu page.
  for (int i = 0; i < 6; ++i) menu->MoveCursor(0);
  menu->EnterOrLeave(1);
  EXPECT_EQ(menu->width, (int(std::strlen("[2026-07-04 09:05][87%][37MB(71%)][512MB]")) + 2) * 6);
  menu->Close();
  // The longest version text still leaves a bounded breadcrumb and a menu within the screen.
  SetOggOverlayVersion(std::string(143, 'V').c_str());
  menu = std::make_unique<CSystemMenu>();
  BuildMenuTreeInto(menu.get(), kFonts, 3);
  menu->Open();
  EXPECT_EQ(menu->width, 640);
  menu->Close();
}

TEST_F(MenuDraw, HitTestTable) {
  Use(kPortrait640);
  menu->Open();
  const int W = menu->width, H = menu->height;
  const struct {
    int x, y, hit;
  } cases[] = {
      {11, 34, 0},
      {10, 34, kMenuHitMargin},
      {W - 12, 34, 0},
      {W - 11, 34, kMenuHitMargin},
      {12, 46, 0},
      {12, 47, 1},
      {12, 34 + 13 * 4, 4},
      {12, 34 + 13 * 12, 12},
      {12, 33, -1},
      {12, 32, kMenuHitHeader},
      {W + 1, 40, kMenuHitOutside},
      {W, 40, kMenuHitMargin},
      {12, 34 + 13 * 14, kMenuHitMargin},
      {12, H, kMenuHitMargin},
      {12, H + 1, kMenuHitOutside},
      {W + 1, 5, kMenuHitOutside},
      {0, 0, kMenuHitHeader},
  };
  for (auto& c : cases) EXPECT_EQ(menu->HitTest(c.x, c.y), c.hit) << c.x << "," << c.y;
  menu->Close();
}

// Golden pictures of the root page and of a deep page, from the frame buffer.
// VELMI_UPDATE_GOLDEN=1 writes them afresh.
TEST_F(MenuDraw, GoldenScreens) {
  const struct {
    const Geometry* g;
    bool deep;
    const char* file;
  } cases[] = {{&kPortrait640, false, "menu_root_640.png"},
               {&kPortrait640, true, "menu_deep_640.png"},
               {&kPortrait320, false, "menu_root_320.png"},
               {&kPortrait320, true, "menu_deep_320.png"}};
  const bool update = std::getenv("VELMI_UPDATE_GOLDEN") != nullptr;
  const std::string dir = MakeTempDir("menu_golden");
  for (auto& c : cases) {
    Use(*c.g);
    menu->Open();
    if (c.deep) DeepPage();
    const std::string golden = std::string(MENU_GOLDEN_DIR) + "/" + c.file;
    const std::string shot = update ? golden : dir + "/" + c.file;
    ASSERT_TRUE(VelmiDeviceScreenshot(shot.c_str(), false));
    int w = 0, h = 0, gw = 0, gh = 0;
    const std::vector<uint16_t> got = ReadPng565(shot, &w, &h);
    const std::vector<uint16_t> want = ReadPng565(golden, &gw, &gh);
    EXPECT_EQ(w, c.g->screenW);
    EXPECT_EQ(gw, w) << c.file;
    EXPECT_EQ(gh, h) << c.file;
    size_t differ = 0;
    for (size_t i = 0; i < got.size() && i < want.size(); ++i) differ += got[i] != want[i];
    EXPECT_EQ(differ, 0u) << c.file << " (pictures in " << dir << ")";
    menu.reset();
  }
  if (!HasFailure()) {
    std::error_code rmError;
    std::filesystem::remove_all(dir, rmError);
  }
}

// ---- The system menu -----------------------------------------------------------

std::vector<int> g_commands;
int g_paints = 0;
LRESULT CommandProc(HWND h, UINT m, WPARAM w, LPARAM l) {
  if (m == WM_COMMAND) g_commands.push_back(int(w));
  if (m == WM_PAINT) {
    ++g_paints;
    PAINTSTRUCT ps;
    BeginPaint(h, &ps);
    EndPaint(h, &ps);
    return 0;
  }
  return DefWindowProcW(h, m, w, l);
}

class SystemMenuTest : public MenuDraw {
 protected:
  void SetUp() override {
    Use(kPortrait640);
    g_commands.clear();
    WNDCLASSW wc{};
    wc.lpfnWndProc = CommandProc;
    wc.lpszClassName = u"MENUTEST";
    ASSERT_NE(RegisterClassW(&wc), 0);
    hwnd = CreateWindowExW(0, u"MENUTEST", u"t", WS_VISIBLE, 0, 0, 480, 640, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(hwnd, nullptr);
  }
  // One turn with the given fresh keys.
  int Keys(std::initializer_list<int> keys) {
    InputState in{};
    for (int k : keys) in.count[k] = 1;
    const int r = menu->HandleInput(hwnd, &in);
    Pump();
    return r;
  }
  int Stylus(int x, int y, bool down, bool up) {
    InputState in{};
    in.stylusX = uint32_t(x);
    in.stylusY = uint32_t(y);
    in.tap = down;
    in.held = !up;
    in.released = up;
    const int r = menu->HandleInput(hwnd, &in);
    Pump();
    return r;
  }
  void Pump() {
    MSG m;
    while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&m);
  }
  HWND hwnd = nullptr;
};

TEST_F(SystemMenuTest, KeysInOrder) {
  EXPECT_EQ(menu->Open(), 1);
  EXPECT_EQ(menu->Open(), 0);
  EXPECT_EQ(Keys({IN_RIGHT}), 1);  // nothing highlighted: nothing happens
  EXPECT_EQ(Keys({IN_KEY_C}), 1);
  EXPECT_EQ(Keys({IN_DOWN, IN_RIGHT}), 1);  // highlight ﾛｰﾄﾞ, then enter it
  EXPECT_EQ(menu->depth, 1);
  EXPECT_EQ(Keys({IN_KEY_A}), 1);  // back
  EXPECT_EQ(menu->depth, 0);
  EXPECT_EQ(menu->cursor, 0);
  EXPECT_EQ(Keys({IN_UP}), 1);  // wraps to 終了
  EXPECT_EQ(menu->cursor, 13);
  EXPECT_EQ(Keys({IN_DOWN}), 1);
  EXPECT_EQ(menu->cursor, 0);
  // KEY_C on a submenu closes without a command.
  EXPECT_EQ(Keys({IN_KEY_C}), 0);
  EXPECT_FALSE(menu->IsOpen());
  EXPECT_TRUE(g_commands.empty());
  // RIGHT on a command chooses it: WM_COMMAND after the close.
  menu->Open();
  EXPECT_EQ(Keys({IN_UP, IN_RIGHT, IN_KEY_B}), 0);
  EXPECT_EQ(g_commands, std::vector<int>{kMenuQuit});
  EXPECT_FALSE(menu->savedScreen);
  EXPECT_EQ(Held(5, 5), 0x1234);
  // LEFT at the root closes; KEY_B closes anywhere.
  const struct {
    std::initializer_list<int> keys;
    int depthBefore;
    bool open;
  } closes[] = {{{IN_LEFT}, 0, false}, {{IN_KEY_A}, 0, false}, {{IN_LEFT}, 1, true}, {{IN_KEY_B}, 1, false}};
  for (auto& c : closes) {
    menu->Open();
    if (c.depthBefore) Keys({IN_DOWN, IN_RIGHT});
    Keys(c.keys);
    EXPECT_EQ(menu->IsOpen() != 0, c.open);
    if (menu->IsOpen()) Keys({IN_KEY_B});
  }
  EXPECT_EQ(g_commands.size(), 1u);
}

// Without a saved screen a page change clears the page left behind, and the
// close has the window repainted instead of restoring.
TEST_F(SystemMenuTest, LostSavedScreenIsRedrawn) {
  const struct {
    bool lose;
    uint16_t under;  // beside the smaller page after entering it
    int paints;
  } cases[] = {{false, 0x1234, 0}, {true, kMenuBlack, 1}};
  for (auto& c : cases) {
    FillFrameBuffer(0x1234);
    Pump();
    g_paints = 0;
    menu->Open();
    if (c.lose) {
      delete[] menu->savedScreen;
      menu->savedScreen = nullptr;
    }
    for (int i = 0; i < 5; ++i) Keys({IN_DOWN});
    Keys({IN_RIGHT});  // the one-item effects page
    ASSERT_EQ(menu->depth, 1);
    EXPECT_EQ(Held(5, 100), c.under);
    EXPECT_EQ(Held(5, 40), kMenuFace);
    Keys({IN_KEY_B});
    EXPECT_FALSE(menu->IsOpen());
    EXPECT_EQ(g_paints, c.paints);
  }
}

TEST_F(SystemMenuTest, StylusPressHighlightsAndLiftActs) {
  menu->Open();
  const int y0 = 34 + 13 * 13 + 3;  // 終了
  EXPECT_EQ(Stylus(20, y0, true, false), 1);
  EXPECT_EQ(menu->cursor, 13);
  EXPECT_EQ(Held(11, y0), kMenuHighlight);
  EXPECT_EQ(Stylus(20, 34 + 13 * 11 + 3, false, false), 1);  // dragged onto a separator
  EXPECT_EQ(menu->cursor, -1);
  EXPECT_EQ(Held(11, y0), kMenuFace);
  EXPECT_EQ(Stylus(20, 34 + 13 * 12 + 3, false, true), 1);  // lifted on the disabled pause item
  EXPECT_TRUE(menu->IsOpen());
  EXPECT_EQ(Stylus(20, 34 + 6 * 13 + 3, false, true), 1);  // lifted on 設定: enters it
  EXPECT_EQ(menu->depth, 1);
  EXPECT_EQ(Stylus(20, 10, false, true), 1);  // header: back
  EXPECT_EQ(menu->depth, 0);
  EXPECT_EQ(Stylus(5, 100, false, true), 1);  // margin
  EXPECT_TRUE(menu->IsOpen());
  EXPECT_EQ(Stylus(20, 10, false, true), 0);  // header at the root: closes
  EXPECT_TRUE(g_commands.empty());
  menu->Open();
  EXPECT_EQ(Stylus(menu->width + 5, 10, true, false), 1);  // pressed outside: stays
  EXPECT_EQ(Stylus(menu->width + 5, 10, false, true), 0);  // lifted outside: closes
  menu->Open();
  EXPECT_EQ(Stylus(20, y0, false, true), 0);  // lifted on 終了: chosen
  EXPECT_EQ(g_commands, std::vector<int>{kMenuQuit});
}

// ---- Option handlers -----------------------------------------------------------

using Handler = void (*)(CPopupMenu*, int, GameSettings*, int);

TEST(OptionHandlers, StoreAndTick) {
  UseDevice(480, 640, 640, 480);
  CPopupMenu menu;
  BuildMenuTreeInto(&menu, kFonts, 3);
  const struct {
    Handler set;
    int first, count, value;
    int32_t GameSettings::*word;
    int stored;
    int checked;  // id checked in the group, 0 for none
  } cases[] = {
      {SetMasterVolume, kMenuMasterVolumeFirst, 10, 100, &GameSettings::masterVolume, 100, kMenuMasterVolumeFirst},
      {SetMasterVolume, kMenuMasterVolumeFirst, 10, 10, &GameSettings::masterVolume, 10, kMenuMasterVolumeFirst + 9},
      {SetMasterVolume, kMenuMasterVolumeFirst, 10, 55, &GameSettings::masterVolume, 55, 0},
      {SetMusicVolume, kMenuMusicVolumeFirst, 10, 90, &GameSettings::musicVolume, 90, kMenuMusicVolumeFirst + 1},
      {SetMovieVolume, kMenuMovieVolumeFirst, 10, 0, &GameSettings::movieVolume, 0, 0},
      {SetWinTransparency, kMenuWindowTransFirst, 11, 10, &GameSettings::windowTrans, 10, kMenuWindowTransFirst},
      {SetWinTransparency, kMenuWindowTransFirst, 11, 0, &GameSettings::windowTrans, 0, kMenuWindowTransFirst + 10},
      {SetWinTransparency, kMenuWindowTransFirst, 11, 11, &GameSettings::windowTrans, 11, 0},
      {SetSoundQuality, kMenuSoundQualityFirst, 2, 5, &GameSettings::soundQuality, 0, kMenuSoundQualityFirst},
      {SetSoundQuality, kMenuSoundQualityFirst, 2, 1, &GameSettings::soundQuality, 1, kMenuSoundQualityFirst + 1},
      {SetOggUseLevel, kMenuOggUseFirst, 2, -1, &GameSettings::oggUseLevel, 0, kMenuOggUseFirst},
      {SetMessageLogStart, kMenuLogStartFirst, 2, 1, &GameSettings::mesLogStart, 1, kMenuLogStartFirst + 1},
      {SetVoiceCutMode, kMenuVoiceCutFirst, 3, 3, &GameSettings::voiceCutMode, 0, kMenuVoiceCutFirst},
      {SetVoiceCutMode, kMenuVoiceCutFirst, 3, 2, &GameSettings::voiceCutMode, 2, kMenuVoiceCutFirst + 2},
      {SetTitleImageMode, kMenuTitleImageFirst, 4, 5, &GameSettings::titleImageMode, 5, 0},
      {SetTitleImageMode, kMenuTitleImageFirst, 4, 3, &GameSettings::titleImageMode, 3, kMenuTitleImageFirst + 3},
      {SetCursorMode, kMenuCursorModeFirst, 5, 4, &GameSettings::cursorMode, 4, kMenuCursorModeFirst + 4},
      {SetCenterKeyAction, kMenuCenterKeyFirst, 6, 5, &GameSettings::centerKeyAction, 5, kMenuCenterKeyFirst + 5},
      {SetMessageSpeed, kMenuMessageSpeedFirst, 10, 9, &GameSettings::messageSpeed, 9, kMenuMessageSpeedFirst + 9},
      {SetMessageAutoOne, kMenuAutoOneFirst, 10, 0, &GameSettings::messageAutoOne, 0, kMenuAutoOneFirst},
      {SetMascotVoice, kMenuMascotVoiceFirst, 15, 14, &GameSettings::mascotVoice, 14, kMenuMascotVoiceFirst + 14},
      {SetSaveMascotIcon, kMenuSaveIconFirst, 15, 15, &GameSettings::saveMascotIcon, 15, 0},
      {SetAntialiasLevel, kMenuAntialiasFirst, 4, 2, &GameSettings::antialiasLevel, 2, kMenuAntialiasFirst + 2},
      {SetDispFreeMode, kMenuDispFreeFirst, 3, 1, &GameSettings::dispFreeMode, 1, kMenuDispFreeFirst + 1},
      {SetEffectUse, kMenuEffectUse, 1, 7, &GameSettings::effectUse, 7, kMenuEffectUse},
      {SetEffectUse, kMenuEffectUse, 1, 0, &GameSettings::effectUse, 0, 0},
      {SetSacraMode, kMenuSacraMode, 1, 1, &GameSettings::sacraMode, 1, kMenuSacraMode},
      {SetMannerFullCut, kMenuMannerFullCut, 1, 1, &GameSettings::mannerFullCut, 1, kMenuMannerFullCut},
  };
  for (auto& c : cases) {
    GameSettings s{};
    // Every item of the group starts checked so that clearing shows.
    for (int i = 0; i < c.count; ++i) menu.SetChecked(nullptr, c.first + i, kMenuChecked);
    c.set(&menu, c.first, &s, c.value);
    EXPECT_EQ(s.*c.word, c.stored) << c.first << " " << c.value;
    for (int i = 0; i < c.count; ++i) {
      const bool on = (menu.FindMenuItem(nullptr, c.first + i)->flags & kMenuChecked) != 0;
      EXPECT_EQ(on, c.first + i == c.checked) << c.first + i << " after " << c.value;
    }
  }
  // Each table entry names a real item group of the tree.
  int n = 0;
  const OptionHandlerEntry* table = OptionHandlerTable(&n);
  EXPECT_EQ(n, 37);
  for (int i = 0; i < n; ++i)
    for (int k = 0; k < table[i].items; ++k)
      EXPECT_NE(menu.FindMenuItem(nullptr, table[i].first + k), nullptr) << table[i].name;
}

TEST(OptionHandlers, FontsVoicesAndSaveItems) {
  UseDevice(480, 640, 640, 480);
  CPopupMenu menu;
  const char* fonts[15];
  for (auto& f : fonts) f = "F";
  BuildMenuTreeInto(&menu, fonts, 15);
  GameSettings s{};
  auto flags = [&](int id) { return menu.FindMenuItem(nullptr, id)->flags; };
  for (int id = kMenuFontFirst + 4; id <= kMenuFontFirst + 14; ++id) menu.SetChecked(nullptr, id, kMenuChecked);
  SetMessageFont(&menu, kMenuFontFirst, &s, 4, 2);
  EXPECT_EQ(s.messageFont, 2);
  EXPECT_EQ(flags(kMenuFontFirst + 2), kMenuChecked);
  for (int font : {0, 1, 3}) EXPECT_EQ(flags(kMenuFontFirst + font), kMenuEnabled) << font;
  for (int id = kMenuFontFirst + 4; id <= kMenuFontFirst + 14; ++id)
    EXPECT_EQ(flags(id), kMenuChecked | kMenuEnabled) << id;

  SetCharVoiceUse(&menu, kMenuCharVoiceFirst, &s, 15, 1);
  EXPECT_EQ(s.charVoiceUse[15], 1);
  SetCharVoiceUse(&menu, kMenuCharVoiceFirst, &s, 14, 1);
  EXPECT_EQ(flags(kMenuCharVoiceFirst + 14) & kMenuChecked, kMenuChecked);
  EXPECT_EQ(flags(kMenuMannerFullCut) & kMenuChecked, 0u);  // the next group is not touched
  SetCharVoiceUse(&menu, kMenuCharVoiceFirst, &s, 16, 1);   // no such character

  int used[15] = {}, autoUsed[3] = {0, 1, 0};
  used[4] = 1;
  UpdateSaveSlotItems(&menu, kMenuLoadFirst, kMenuSaveFirst, used, 4);
  for (int k = 0; k < 15; ++k) {
    EXPECT_EQ(flags(kMenuLoadFirst + k), (k == 4 ? kMenuEnabled | kMenuChecked : 0u)) << k;
    EXPECT_EQ(flags(kMenuSaveFirst + k), kMenuEnabled | (k == 4 ? kMenuChecked : 0u)) << k;
  }
  UpdateAutoSaveItems(&menu, kMenuAutoSaveFirst, autoUsed, 1);
  EXPECT_EQ(flags(kMenuAutoSaveFirst), 0u);
  EXPECT_EQ(flags(kMenuAutoSaveFirst + 1), kMenuEnabled | kMenuChecked);

  int32_t saveAllowed = 7;
  SetSaveLoadEnabled(&menu, &s, &saveAllowed, 0, 1);
  EXPECT_EQ(menu.root->items[0].flags & kMenuEnabled, 0u);
  EXPECT_EQ(menu.root->items[1].flags & kMenuEnabled, 0u);
  EXPECT_EQ(saveAllowed, 7);
  SetSaveLoadEnabled(&menu, &s, &saveAllowed, 1, 0);
  EXPECT_EQ(menu.root->items[0].flags & kMenuEnabled, kMenuEnabled);
  EXPECT_EQ(menu.root->items[1].flags & kMenuEnabled, 0u);
  EXPECT_EQ(saveAllowed, 0);
  EnableMenuCommand(&menu, kMenuPause);
  EXPECT_EQ(flags(kMenuPause), kMenuEnabled);
}

// ---- Commands ------------------------------------------------------------------

std::vector<std::string> g_calls;
int g_weatherKind = 0;

void Record(const std::string& s) { g_calls.push_back(s); }

MenuCommandServices RecordingServices() {
  MenuCommandServices s{};
  s.stopMovie = [](CGameApp*) { Record("stopMovie"); };
  s.stopAllSounds = [](CGameApp*) { Record("stopAll"); };
  s.closeWindow = [](CGameApp*, HWND) { Record("close"); };
  s.leaveGame = [](CGameApp*) { Record("leaveGame"); };
  s.restoreSaveFile = [](CGameApp*, int slot) { Record("restore " + std::to_string(slot)); };
  s.writeSaveFile = [](CGameApp*, int slot) { Record("write " + std::to_string(slot)); };
  s.applyChannelVolumes = [](CGameApp*, int kind, int value) {
    Record("volumes " + std::to_string(kind) + " " + std::to_string(value));
  };
  s.setPreferredCodec = [](CGameApp*, int codec) { Record("codec " + std::to_string(codec)); };
  s.recordedWeather = [](CGameApp*, int* parameter) {
    *parameter = 77;
    return g_weatherKind;
  };
  s.clearRecordedWeather = [](CGameApp*) { Record("clearWeather"); };
  s.stopParticles = [](CGameApp*) { Record("stopParticles"); };
  s.startParticles = [](CGameApp*, int kind, int count, int speed, int scale, int parameter) {
    Record("startParticles " + std::to_string(kind) + " " + std::to_string(count) + " " + std::to_string(speed) + " " +
           std::to_string(scale) + " " + std::to_string(parameter));
  };
  s.updateMessageWindowAlpha = [](CGameApp*) { Record("alpha"); };
  s.redrawScreen = [](CGameApp*) { Record("redraw"); };
  s.setMessageFontFace = [](const char* face) {
    Record(std::string("face ") + face);
    return 1;
  };
  s.deactivate = [](CGameApp*) { Record("deactivate"); };
  return s;
}

class MenuCommands : public ::testing::Test {
 protected:
  void SetUp() override {
    UseDevice(480, 640, 640, 480);
    app = std::make_unique<CGameApp>();
    app->fontList = new FontList;
    std::strcpy(app->fontList->names[0], "Alpha");
    std::strcpy(app->fontList->names[1], "Beta");
    app->fontList->count = 2;
    BuildMenuTree(app.get());
    saved = GetMenuCommandServices();
    GetMenuCommandServices() = RecordingServices();
    g_calls.clear();
    g_weatherKind = 0;
  }
  void TearDown() override {
    GetMenuCommandServices() = saved;
    app.reset();
    VelmiDeviceUnpinStatus();
  }
  uint32_t Flags(int id) { return app->menu->FindMenuItem(nullptr, id)->flags; }
  std::unique_ptr<CGameApp> app;
  MenuCommandServices saved;
};

TEST_F(MenuCommands, EveryCommandTable) {
  using G = GameSettings;
  const struct {
    int id;
    int32_t G::*word;  // null: no setting
    int before, after;
    int checked;  // item checked afterwards (0: none asked)
    std::vector<std::string> calls;
  } cases[] = {
      {kMenuQuit, nullptr, 0, 0, 0, {"stopMovie", "stopAll", "close"}},
      {kMenuBackToTitle, nullptr, 0, 0, 0, {"leaveGame"}},
      {kMenuLoadFirst, nullptr, 0, 0, 0, {"restore 0"}},
      {kMenuLoadFirst + 14, nullptr, 0, 0, 0, {"restore 14"}},
      {kMenuSaveFirst, nullptr, 0, 0, 0, {"write 0"}},
      {kMenuSaveFirst + 14, nullptr, 0, 0, 0, {"write 14"}},
      {kMenuAutoSaveFirst, nullptr, 0, 0, 0, {"restore 500"}},
      {kMenuAutoSaveFirst + 2, nullptr, 0, 0, 0, {"restore 502"}},
      {kMenuEffectUse, &G::effectUse, 1, 0, 0, {}},
      {kMenuEffectUse, &G::effectUse, 5, 0, 0, {}},
      {kMenuEffectUse, &G::effectUse, 0, 1, kMenuEffectUse, {}},
      {kMenuAntialiasFirst + 1, &G::antialiasLevel, 0, 1, kMenuAntialiasFirst + 1, {"redraw"}},
      {kMenuAntialiasFirst + 1, &G::antialiasLevel, 1, 1, 0, {"redraw"}},
      {kMenuReadSkip, &G::readSkip, 0, 1, kMenuReadSkip, {}},
      {kMenuVoicePlay, &G::voicePlay, 1, 0, 0, {}},
      {kMenuMusicPlay, &G::musicPlay, 0, 1, kMenuMusicPlay, {}},
      {kMenuMusicVolumeFirst + 1, &G::musicVolume, 100, 90, kMenuMusicVolumeFirst + 1, {"volumes 1 90"}},
      {kMenuVoiceVolumeFirst + 9, &G::voiceVolume, 100, 10, kMenuVoiceVolumeFirst + 9, {"volumes 2 10"}},
      {kMenuVoiceAutoLock, &G::voiceAutoLock, 0, 1, kMenuVoiceAutoLock, {}},
      {kMenuSePlay, &G::sePlay, 0, 1, kMenuSePlay, {}},
      {kMenuSeVolumeFirst, &G::seVolume, 50, 100, kMenuSeVolumeFirst, {"volumes 3 100"}},
      {kMenuCursorModeFirst + 2, &G::cursorMode, 0, 2, kMenuCursorModeFirst + 2, {}},
      {kMenuMessageShadow, &G::messageShadow, 0, 1, kMenuMessageShadow, {"redraw"}},
      {kMenuMasterVolumeFirst + 1, &G::masterVolume, 100, 90, kMenuMasterVolumeFirst + 1, {"volumes 0 90"}},
      {kMenuMovieVolumeFirst + 9, &G::movieVolume, 100, 10, kMenuMovieVolumeFirst + 9, {"volumes 4 10"}},
      {kMenuLockSkip, &G::lockSkip, 1, 0, 0, {}},
      {kMenuKeyDoubleClick, &G::keyDoubleClick, 0, 1, kMenuKeyDoubleClick, {}},
      {kMenuDispFreeFirst + 2, &G::dispFreeMode, 0, 2, kMenuDispFreeFirst + 2, {}},
      {kMenuCenterKeyFirst + 2, &G::centerKeyAction, 1, 2, kMenuCenterKeyFirst + 2, {}},
      {kMenuMannerVoiceCut, &G::mannerVoiceCut, 0, 1, kMenuMannerVoiceCut, {}},
      {kMenuFontFirst + 1, &G::messageFont, 0, 1, kMenuFontFirst + 1, {"face Beta"}},
      {kMenuFontFirst + 5, &G::messageFont, 0, 5, 0, {}},  // no font listed there
      {kMenuVoiceCutFirst + 2, &G::voiceCutMode, 0, 2, kMenuVoiceCutFirst + 2, {}},
      {kMenuVgaQuality, &G::vgaQuality, 1, 0, 0, {}},
      {kMenuMessageAuto, &G::messageAuto, 0, 1, kMenuMessageAuto, {}},
      {kMenuLogStartFirst + 1, &G::mesLogStart, 0, 1, kMenuLogStartFirst + 1, {}},
      {kMenuMessageSpeedFirst + 3, &G::messageSpeed, 1, 3, kMenuMessageSpeedFirst + 3, {}},
      {kMenuAutoBaseFirst + 9, &G::messageAutoBase, 0, 9, kMenuAutoBaseFirst + 9, {}},
      {kMenuAutoOneFirst + 1, &G::messageAutoOne, 0, 1, kMenuAutoOneFirst + 1, {}},
      {kMenuSoundQualityFirst + 1, &G::soundQuality, 0, 1, kMenuSoundQualityFirst + 1, {}},
      {kMenuOggUseFirst + 1, &G::oggUseLevel, 0, 1, kMenuOggUseFirst + 1, {"codec 1"}},
      {kMenuTextCutMode, &G::textCutMode, 0, 1, kMenuTextCutMode, {}},
      {kMenuTransMode, &G::transMode, 1, 0, 0, {"alpha"}},
      {kMenuWindowTransFirst, &G::windowTrans, 5, 10, kMenuWindowTransFirst, {"alpha"}},
      {kMenuWindowTransFirst + 10, &G::windowTrans, 5, 0, kMenuWindowTransFirst + 10, {"alpha"}},
      {kMenuMascotVoiceFirst + 4, &G::mascotVoice, 0, 4, kMenuMascotVoiceFirst + 4, {}},
      {kMenuSaveIconFirst + 14, &G::saveMascotIcon, 0, 14, kMenuSaveIconFirst + 14, {}},
      {kMenuPause, nullptr, 0, 0, 0, {"deactivate"}},
      {kMenuMapAnimeUse, &G::mapAnimeUse, 1, 0, 0, {}},
      {kMenuTitleImageFirst + 2, &G::titleImageMode, 0, 2, kMenuTitleImageFirst + 2, {}},
      {kMenuMannerFullCut, &G::mannerFullCut, 0, 1, kMenuMannerFullCut, {}},
      // Ids without an item: in a gap, outside the range, just past a group.
      {kMenuBackToTitle + 1, nullptr, 0, 0, 0, {}},
      {kMenuFirstId - 1, nullptr, 0, 0, 0, {}},
      {kMenuLastId + 1, nullptr, 0, 0, 0, {}},
      {kMenuAutoOneFirst + 10, nullptr, 0, 0, 0, {}},
  };
  for (auto& c : cases) {
    g_calls.clear();
    if (c.word) app->settings.*c.word = c.before;
    const GameSettings before = app->settings;
    HandleMenuCommand(app.get(), app->hwnd, c.id, 0);
    if (c.word) {
      EXPECT_EQ(app->settings.*c.word, c.after) << c.id;
    } else {
      EXPECT_EQ(std::memcmp(&before, &app->settings, sizeof before), 0) << c.id;
    }
    if (c.checked) {
      EXPECT_NE(Flags(c.checked) & kMenuChecked, 0u) << c.id;
    }
    EXPECT_EQ(g_calls, c.calls) << c.id;
  }
}

TEST_F(MenuCommands, CursorModeClearsArmedFlagsEvenWhenUnchanged) {
  app->settings.cursorMode = 2;
  for (int d = 0; d < 5; ++d) app->input.armed[d] = 1;
  HandleMenuCommand(app.get(), nullptr, kMenuCursorModeFirst + 2, 0);
  EXPECT_EQ(app->settings.cursorMode, 2);
  for (int d = ARM_UP; d <= ARM_RIGHT; ++d) EXPECT_EQ(app->input.armed[d], 0u);
  EXPECT_EQ(app->input.armed[ARM_START], 1u);
}

TEST_F(MenuCommands, FontChoiceDisablesTheChosenItem) {
  HandleMenuCommand(app.get(), nullptr, kMenuFontFirst + 1, 0);
  EXPECT_EQ(Flags(kMenuFontFirst + 1), kMenuChecked);
  EXPECT_EQ(Flags(kMenuFontFirst), kMenuEnabled);
}

TEST_F(MenuCommands, WeatherSwitchStopsAndRestartsTheRecordedKind) {
  const struct {
    int kind;
    int sacraBefore;
    std::vector<std::string> calls;
  } cases[] = {
      {0, 1, {}},
      {0, 0, {}},
      {1, 1, {"stopParticles"}},
      {1, 0, {"clearWeather", "startParticles 1 32 180 256 77"}},
      {4, 0, {"clearWeather", "startParticles 4 32 180 256 77"}},
      {5, 0, {"clearWeather", "startParticles 5 32 180 256 77"}},
      {6, 0, {"clearWeather", "startParticles 6 32 180 256 77"}},
      {3, 0, {"clearWeather", "startParticles 3 32 150 256 77"}},
      {2, 0, {"clearWeather"}},  // dropped
      {7, 0, {"clearWeather"}},
  };
  for (auto& c : cases) {
    g_calls.clear();
    g_weatherKind = c.kind;
    app->settings.sacraMode = c.sacraBefore;
    HandleMenuCommand(app.get(), nullptr, kMenuSacraMode, 0);
    EXPECT_EQ(app->settings.sacraMode, !c.sacraBefore);
    EXPECT_EQ(g_calls, c.calls) << c.kind << " " << c.sacraBefore;
  }
}

// The game's own services: the anti-alias change dirties the whole screen,
// the pause deactivates the game, forbidding weather keeps its kind recorded.
TEST_F(MenuCommands, DefaultServicesReachTheGame) {
  GetMenuCommandServices() = DefaultMenuCommandServices();
  app->dirty->SetSize(640, 480);
  app->dirty->Clear();
  HandleMenuCommand(app.get(), nullptr, kMenuAntialiasFirst, 0);
  ASSERT_EQ(app->dirty->Count(), 1);
  RECT r{};
  EXPECT_EQ(app->dirty->GetRect(0, &r), 1u);
  EXPECT_EQ(r.right - r.left, 640);
  EXPECT_EQ(r.bottom - r.top, 480);
  app->weather.kind = 3;
  app->settings.sacraMode = 1;
  HandleMenuCommand(app.get(), nullptr, kMenuSacraMode, 0);
  EXPECT_EQ(app->weather.kind, 3);
  EXPECT_EQ(app->active, 1);
  HandleMenuCommand(app.get(), nullptr, kMenuPause, 0);
  EXPECT_EQ(app->active, 0);
}

// ---- Device status -------------------------------------------------------------

TEST(DeviceStatus, PinnedAndFromLinux) {
  VelmiDevicePinStatus(FixedStatus());
  SYSTEMTIME t{};
  GetLocalTime(&t);
  EXPECT_EQ(t.wYear, 2026);
  EXPECT_EQ(t.wMinute, 5);
  SYSTEM_POWER_STATUS_EX2 p{};
  EXPECT_EQ(GetSystemPowerStatusEx2(&p, sizeof p, TRUE), DWORD(sizeof p));
  EXPECT_EQ(p.BatteryLifePercent, 87);
  MEMORYSTATUS m{};
  GlobalMemoryStatus(&m);
  EXPECT_EQ(m.dwAvailPhys >> 20, 37u);
  EXPECT_EQ(m.dwMemoryLoad, 71u);
  STORE_INFORMATION s{};
  EXPECT_TRUE(GetStoreInformation(&s));
  EXPECT_EQ(s.dwFreeSize >> 20, 512u);
  VelmiDeviceUnpinStatus();

  // A made-up power-supply class: one battery, one mains supply; then none.
  const std::string dir = MakeTempDir("power");
  std::filesystem::create_directories(dir + "/BAT0");
  std::filesystem::create_directories(dir + "/AC");
  auto write = [&](const std::string& f, const std::string& text) {
    WriteFileBytes(dir + "/" + f, Bytes(text.begin(), text.end()));
  };
  write("BAT0/type", "Battery\n");
  write("BAT0/capacity", "42\n");
  write("BAT0/status", "Charging\n");
  write("AC/type", "Mains\n");
  write("AC/online", "1\n");
  VelmiDeviceSetPowerSupplyRoot(dir.c_str());
  EXPECT_EQ(GetSystemPowerStatusEx2(&p, sizeof p, TRUE), DWORD(sizeof p));
  EXPECT_EQ(p.BatteryLifePercent, 42);
  EXPECT_EQ(p.ACLineStatus, 1);
  EXPECT_EQ(p.BatteryFlag & 8, 8);
  EXPECT_EQ(GetSystemPowerStatusEx2(&p, 2, TRUE), 2u);  // only the bytes asked for
  EXPECT_EQ(GetSystemPowerStatusEx2(nullptr, sizeof p, TRUE), 0u);
  {
    std::error_code rmError;
    std::filesystem::remove_all(dir + "/BAT0", rmError);
  }
  GetSystemPowerStatusEx2(&p, sizeof p, TRUE);
  EXPECT_EQ(p.BatteryLifePercent, BATTERY_PERCENTAGE_UNKNOWN);
  VelmiDeviceSetPowerSupplyRoot(nullptr);
  {
    std::error_code rmError;
    std::filesystem::remove_all(dir, rmError);
  }

  GlobalMemoryStatus(&m);
  EXPECT_GT(m.dwTotalPhys, 0u);
  EXPECT_LE(m.dwAvailPhys, m.dwTotalPhys);
  EXPECT_LE(m.dwMemoryLoad, 100u);
  VelmiDeviceSetStoreFolder("/");
  EXPECT_TRUE(GetStoreInformation(&s));
  EXPECT_GT(s.dwStoreSize, 0u);
  EXPECT_LE(s.dwFreeSize, s.dwStoreSize);
  VelmiDeviceSetStoreFolder("/no/such/folder");
  EXPECT_FALSE(GetStoreInformation(&s));
  VelmiDeviceSetStoreFolder("");
}

}  // namespace
