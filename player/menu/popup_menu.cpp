#include "player/menu/popup_menu.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

#include "common/file.h"
#include "common/format.h"
#include "common/sjis.h"
#include "formats/le_bytes.h"
#include "player/core/glyph_writer.h"

namespace {

constexpr int kRowTop = 34;
constexpr int kRowHeight = 13;
constexpr int kCharWidth = 6;
constexpr int kGreyBlack = 0, kGreyWhite = 255, kGreyGrey = 128;
// ﾄｯﾌﾟ
constexpr char kTopTitle[] = "\xc4\xaf\xcc\xdf";

// 6 x 12 glyphs, rows top to bottom.
const char* const kTick[12] = {"......", "......", "......", "......", "....#.", ".#.##.",
                               ".###..", "..#...", "......", "......", "......", "......"};
const char* const kArrow[12] = {"......", "......", "......", ".#....", ".##...", ".###..",
                                ".####.", ".###..", ".##...", ".#....", "......", "......"};

bool Selectable(const MenuItem& item) { return item.kind != kMenuSeparator && (item.flags & kMenuEnabled); }

// Appends src to dst (capacity bytes), cutting at a whole character.
void Append(char* dst, size_t capacity, const char* src) {
  const size_t used = std::strlen(dst);
  if (used + 1 < capacity) CopyMenuText(dst + used, capacity - used, src);
}

}  // namespace

void CopyMenuText(char* dst, size_t capacity, const char* src) {
  if (!capacity) return;
  size_t n = 0;
  if (src) {
    while (src[n]) {
      const size_t step = IsSjisLeadByte(static_cast<unsigned char>(src[n])) && src[n + 1] ? 2 : 1;
      if (n + step >= capacity) break;
      n += step;
    }
    std::memcpy(dst, src, n);
  }
  dst[n] = 0;
}

CPopupMenu::CPopupMenu() : screenW_(GetScreenWidth()), screenH_(GetScreenHeight()) {
  glyphs = new (std::nothrow) CGlyphWriter;
  buffer = new (std::nothrow) uint16_t[size_t(screenW_) * size_t(screenH_)]();
}

CPopupMenu::~CPopupMenu() {
  FreePages(nullptr);
  delete[] savedScreen;
  delete glyphs;
  delete[] buffer;
}

// ---- The tree ----------------------------------------------------------------

MenuPage* CPopupMenu::AddPage(MenuPage* parent, int parentIndex) {
  MenuPage* page = new (std::nothrow) MenuPage();
  if (!page) return nullptr;
  page->parent = parent;
  if (!parent) {
    FreePages(nullptr);
    root = current = page;
  } else if (parentIndex >= 0 && parentIndex < parent->count && !parent->items[parentIndex].child) {
    parent->items[parentIndex].child = page;
  } else {
    delete page;  // no item to hang it on
    return nullptr;
  }
  return page;
}

int CPopupMenu::AddItem(MenuPage* page, int id, int kind, const char* label) {
  if (!page) return -1;
  if (page->count >= kMenuPageItems) return 0;
  MenuItem& item = page->items[page->count];
  item = MenuItem{};
  CopyMenuText(item.label, sizeof item.label, label);
  item.kind = kind;
  item.id = id;
  item.flags = kMenuEnabled;
  return page->count++;
}

MenuPage* CPopupMenu::FindItem(MenuPage* page, int id, int* index) {
  if (!page) page = root;
  if (!page) return nullptr;
  for (int i = 0; i < page->count; ++i) {
    if (page->items[i].id == id && page->items[i].kind != kMenuSeparator && page->items[i].kind != kMenuSubmenu) {
      if (index) *index = i;
      return page;
    }
    if (page->items[i].child) {
      if (MenuPage* found = FindItem(page->items[i].child, id, index)) return found;
    }
  }
  return nullptr;
}

MenuItem* CPopupMenu::FindMenuItem(MenuPage* page, int id) {
  int index = 0;
  MenuPage* found = FindItem(page, id, &index);
  return found ? &found->items[index] : nullptr;
}

MenuItem* CPopupMenu::ItemByKey(MenuPage* page, int key, uint32_t flags) {
  if (!(flags & kMenuByIndex)) return FindMenuItem(page, key);
  if (!page) page = root;
  if (!page || key < 0 || key >= page->count) return nullptr;
  return &page->items[key];
}

void CPopupMenu::SetChecked(MenuPage* page, int key, uint32_t flags) {
  if (MenuItem* item = ItemByKey(page, key, flags))
    item->flags = (item->flags & ~kMenuChecked) | (flags & kMenuChecked);
}

void CPopupMenu::SetEnabled(MenuPage* page, int key, uint32_t flags) {
  if (MenuItem* item = ItemByKey(page, key, flags))
    item->flags = (item->flags & ~kMenuEnabled) | (flags & kMenuEnabled);
}

void CPopupMenu::SetLabel(MenuPage* page, int id, const char* label) {
  if (MenuItem* item = FindMenuItem(page, id)) CopyMenuText(item->label, sizeof item->label, label);
}

void CPopupMenu::SetItemPicture(MenuPage* page, int id, const void* bitmap, size_t length) {
  MenuItem* item = FindMenuItem(page, id);
  if (!item) return;
  if (bitmap && MakeItemPicture(bitmap, length, item)) {
    item->flags |= kMenuHasPicture;
    return;
  }
  std::free(item->picture);
  item->picture = nullptr;
  item->flags &= ~kMenuHasPicture;
}

// A 16-bit uncompressed BMP image: 14-byte file header, 40-byte information
// header, width x height RGB565 pixels packed from byte 54.  Anything else, or
// a picture that does not fit beside the menu, leaves the item without one.
int CPopupMenu::MakeItemPicture(const void* bitmap, size_t length, MenuItem* item) {
  if (!item) return 0;
  const uint8_t* b = static_cast<const uint8_t*>(bitmap);
  bool ok = b && length >= 54 && GetLe32(b + 14) == 40 && GetLe16(b + 28) == 16 && GetLe32(b + 30) == 0;
  const int32_t w = ok ? int32_t(GetLe32(b + 18)) : 0;
  const int32_t h = ok ? int32_t(GetLe32(b + 22)) : 0;
  ok = ok && w >= 1 && w < screenW_ && h >= 1 && h < screenH_ - 1 && 54 + 2 * uint64_t(w) * uint64_t(h) <= length;
  if (!ok) {
    std::free(item->picture);
    item->picture = nullptr;
    item->flags &= ~kMenuHasPicture;
    return 0;
  }
  MenuItemPicture* pic = item->picture;
  if (!pic || pic->width != w || pic->height != h) {
    std::free(pic);
    pic = static_cast<MenuItemPicture*>(std::malloc(MenuItemPicture::AllocationSize(w, h)));
    item->picture = pic;
    if (!pic) {
      item->flags &= ~kMenuHasPicture;
      return 0;
    }
    pic->width = uint16_t(w);
    pic->height = uint16_t(h);
  }
  uint16_t* px = pic->Pixels();
  for (size_t i = 0; i < size_t(w) * size_t(h); ++i) px[i] = GetLe16(b + 54 + 2 * i);
  std::memset(pic->SaveArea(), 0, size_t(h + 2) * size_t(w + 1) * 2);
  return 1;
}

void CPopupMenu::FreePages(MenuPage* page) {
  const bool whole = !page;
  if (whole) page = root;
  if (!page) return;
  if (MenuPage* parent = page->parent) {
    for (int i = 0; i < parent->count; ++i)
      if (parent->items[i].child == page) parent->items[i].child = nullptr;
  }
  if (current == page) current = root == page ? nullptr : root;
  for (int i = 0; i < page->count; ++i) {
    if (page->items[i].child) FreePages(page->items[i].child);
    std::free(page->items[i].picture);
  }
  delete page;
  if (whole || page == root) {
    root = current = nullptr;
    depth = 0;
    cursor = -1;
  }
}

// ---- Frame-buffer copies -----------------------------------------------------

// Menu-buffer row r is landscape column W - 1 - r; its pixel c is landscape row c.
void CPopupMenu::SaveScreen() {
  if (!buffer) return;
  if (desc.bitsPerPixel == 16) {
    if (uint8_t* fb = BeginFrameBufferDraw()) {
      const int rows = std::min(screenW_, int(desc.height)), cols = std::min(screenH_, int(desc.width));
      for (int r = 0; r < rows; ++r) {
        const uint8_t* row = fb + ptrdiff_t(r) * desc.yPitch;
        uint16_t* dst = buffer + size_t(r) * screenH_;
        if (desc.xPitch == 2) {
          std::memcpy(dst, row, size_t(cols) * 2);
          continue;
        }
        for (int c = 0; c < cols; ++c) dst[c] = *reinterpret_cast<const uint16_t*>(row + ptrdiff_t(c) * desc.xPitch);
      }
      EndFrameBufferDraw();
    }
  }
  delete[] savedScreen;
  savedScreen = new (std::nothrow) uint16_t[size_t(screenW_) * size_t(screenH_)];
  if (savedScreen) std::memcpy(savedScreen, buffer, size_t(screenW_) * size_t(screenH_) * 2);
}

void CPopupMenu::RestoreScreen() {
  if (savedScreen && buffer) std::memcpy(buffer, savedScreen, size_t(screenW_) * size_t(screenH_) * 2);
}

void CPopupMenu::CopyToFrameBuffer(int x0, int y0, int x1, int y1) {
  if (!buffer || desc.bitsPerPixel != 16) return;
  x0 = std::max(x0, 0);
  y0 = std::max(y0, 0);
  x1 = std::min({x1, screenW_, int(desc.height)});
  y1 = std::min({y1, screenH_, int(desc.width)});
  if (x0 >= x1 || y0 >= y1) return;
  uint8_t* fb = BeginFrameBufferDraw();
  if (!fb) return;
  for (int x = x0; x < x1; ++x) {
    const int r = screenW_ - 1 - x;
    if (r >= desc.height) continue;
    const uint16_t* src = buffer + size_t(r) * screenH_;
    uint8_t* row = fb + ptrdiff_t(r) * desc.yPitch;
    if (desc.xPitch == 2) {
      std::memcpy(row + ptrdiff_t(y0) * 2, src + y0, size_t(y1 - y0) * 2);
      continue;
    }
    for (int y = y0; y < y1; ++y) *reinterpret_cast<uint16_t*>(row + ptrdiff_t(y) * desc.xPitch) = src[y];
  }
  EndFrameBufferDraw();
}

void CPopupMenu::PresentAll() { CopyToFrameBuffer(0, 0, width, height); }

void CPopupMenu::PresentRect(const RECT* rect) {
  if (rect) CopyToFrameBuffer(rect->left, rect->top, rect->right, rect->bottom);
}

// Item pictures go straight into the frame buffer at the top-right corner.
void CPopupMenu::ShowPicture(MenuItem* item, int show) {
  MenuItemPicture* pic = item->picture;
  if (!pic || !(item->flags & kMenuHasPicture) || desc.bitsPerPixel != 16) return;
  uint8_t* fb = BeginFrameBufferDraw();
  if (!fb) return;
  const int w = pic->width, h = pic->height, left = screenW_ - 1 - w;
  auto at = [&](int x, int y) -> uint16_t* {
    const int r = screenW_ - 1 - x;
    if (x < 0 || r < 0 || r >= desc.height || y < 0 || y >= desc.width || y >= screenH_) return nullptr;
    return reinterpret_cast<uint16_t*>(fb + ptrdiff_t(r) * desc.yPitch + ptrdiff_t(y) * desc.xPitch);
  };
  uint16_t* save = pic->SaveArea();
  for (int y = 0; y < h + 2; ++y)
    for (int x = 0; x < w + 1; ++x) {
      uint16_t* p = at(left + x, y);
      if (!p) continue;
      if (show)
        save[size_t(y) * (w + 1) + x] = *p;
      else
        *p = save[size_t(y) * (w + 1) + x];
    }
  if (show) {
    const uint16_t* px = pic->Pixels();
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x)
        if (uint16_t* p = at(left + 1 + x, y)) *p = px[size_t(h - 1 - y) * w + x];
    for (int y = 0; y <= h; ++y)
      if (uint16_t* p = at(left, y)) *p = kMenuWhite;
    for (int x = 0; x < w; ++x) {
      if (uint16_t* p = at(left + 1 + x, h)) *p = kMenuPictureShadow;
      if (uint16_t* p = at(left + 1 + x, h + 1)) *p = kMenuBlack;
    }
  }
  EndFrameBufferDraw();
}

// ---- Drawing into the menu buffer --------------------------------------------

void CPopupMenu::Fill(int x, int y, int w, int h, uint16_t colour) {
  if (!buffer) return;
  const int x0 = std::max(x, 0), y0 = std::max(y, 0);
  const int x1 = std::min(x + w, screenW_), y1 = std::min(y + h, screenH_);
  for (int lx = x0; lx < x1; ++lx) {
    uint16_t* row = buffer + size_t(screenW_ - 1 - lx) * screenH_;
    for (int ly = y0; ly < y1; ++ly) row[ly] = colour;
  }
}

void CPopupMenu::Glyph(const char* const* rows, int x, int y, bool enabled) {
  // A disabled glyph is etched: white one pixel down and right, grey over it.
  for (int pass = enabled ? 1 : 0; pass < 2; ++pass) {
    const int d = pass == 0 ? 1 : 0;
    const uint16_t colour = enabled ? kMenuBlack : pass == 0 ? kMenuWhite : kMenuGrey;
    for (int r = 0; r < 12; ++r)
      for (int c = 0; c < 6; ++c)
        if (rows[r][c] == '#') Fill(x + c + d, y + r + d, 1, 1, colour);
  }
}

void CPopupMenu::Text(const char* text, int x, int y, int grey) {
  if (glyphs && buffer) glyphs->DrawSjisText(buffer, text, x, y, grey, 0);
}

void CPopupMenu::BuildHeader(char* breadcrumb, size_t breadcrumbSize, char* status, size_t statusSize) const {
  breadcrumb[0] = 0;
  for (int d = 0; d <= depth && d < kMenuDepth; ++d) {
    if (d) Append(breadcrumb, breadcrumbSize, "->");
    Append(breadcrumb, breadcrumbSize, "[");
    Append(breadcrumb, breadcrumbSize, titles[d]);
    Append(breadcrumb, breadcrumbSize, "]");
  }
  if (screenW_ >= 640 && current == root) {
    char version[144] = {};
    GetOggOverlayVersion(version);
    if (version[0]) {
      if (char* paren = std::strchr(version, '(')) *paren = 0;
      const float khz = float(GetOutputRate()) * 0.001f;
      char overlay[256];
      FormatStringN(overlay, sizeof overlay, " [Tessaly.ovl %s][%f2.2kHz]", version, double(khz));
      Append(breadcrumb, breadcrumbSize, overlay);
    }
  }
  SYSTEMTIME t{};
  GetLocalTime(&t);
  SYSTEM_POWER_STATUS_EX2 power{};
  GetSystemPowerStatusEx2(&power, sizeof power, TRUE);
  if (screenW_ < 640) {
    FormatStringN(status, statusSize, "[%z4-%z2-%z2 %z2:%z2][%d%c]", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute,
                  int(power.BatteryLifePercent), '%');
  } else {
    MEMORYSTATUS memory{};
    GlobalMemoryStatus(&memory);
    STORE_INFORMATION store{};
    GetStoreInformation(&store);
    FormatStringN(status, statusSize, "[%z4-%z2-%z2 %z2:%z2][%d%c][%dMB(%d%c)][%dMB]", t.wYear, t.wMonth, t.wDay,
                  t.wHour, t.wMinute, int(power.BatteryLifePercent), '%', int(memory.dwAvailPhys >> 20),
                  int(memory.dwMemoryLoad), '%', int(store.dwFreeSize >> 20));
  }
}

void CPopupMenu::DrawPage() {
  MenuPage* page = current;
  if (!page || !buffer) return;
  char breadcrumb[kMenuDepth * (kMenuTitleSize + 4) + 256];
  char status[128];
  BuildHeader(breadcrumb, sizeof breadcrumb, status, sizeof status);

  int w = std::max(int(std::strlen(status)) + 2, int(std::strlen(breadcrumb)) + 2) * kCharWidth;
  for (int i = 0; i < page->count; ++i) w = std::max(w, (int(std::strlen(page->items[i].label)) + 4) * kCharWidth);
  width = std::min(w, screenW_);
  height = std::min(kRowHeight * page->count + 40, screenH_);
  const int W = width, H = height;

  Fill(0, 0, W, H, kMenuFace);
  Fill(1, 1, W - 2, 1, kMenuWhite);
  Fill(1, 1, 1, H - 2, kMenuWhite);
  Fill(1, H - 2, W - 2, 1, kMenuDarkGrey);
  Fill(1, H - 1, W - 2, 1, kMenuBlack);
  Fill(W - 2, 1, 1, H - 2, kMenuDarkGrey);
  Fill(W - 1, 1, 1, H - 2, kMenuBlack);
  Text(status, 6, 4, kGreyBlack);
  Text(breadcrumb, 6, 16, kGreyBlack);
  Fill(6, 29, W - 12, 1, kMenuGrey);
  Fill(6, 30, W - 12, 1, kMenuWhite);

  for (int i = 0; i < page->count; ++i) {
    const MenuItem& item = page->items[i];
    const int top = kRowTop + kRowHeight * i;
    const bool enabled = item.flags & kMenuEnabled;
    if (item.kind == kMenuSeparator) {
      Fill(12, top + 6, W - 24, 1, kMenuGrey);
      Fill(12, top + 7, W - 24, 1, kMenuWhite);
      continue;
    }
    if (enabled) {
      Text(item.label, 12, top, kGreyBlack);
    } else {
      Text(item.label, 13, top + 1, kGreyWhite);
      Text(item.label, 12, top, kGreyGrey);
    }
    if (item.kind == kMenuSubmenu) Glyph(kArrow, W - 10, top, enabled);
    if (item.flags & kMenuChecked) Glyph(kTick, 4, top, enabled);
  }
}

int CPopupMenu::DrawItem(int index, int highlighted) {
  if (!current || index < 0 || index >= current->count) return 0;
  MenuItem& item = current->items[index];
  if (!Selectable(item)) return 0;
  const int top = kRowTop + kRowHeight * index;
  Fill(11, top, width - 22, kRowHeight, highlighted ? kMenuHighlight : kMenuFace);
  ShowPicture(&item, highlighted);
  Text(item.label, 12, top, highlighted ? kGreyWhite : kGreyBlack);
  return 1;
}

// ---- Running -----------------------------------------------------------------

void CPopupMenu::Open() {
  if (!QueryRawFrameBuffer(&desc)) QueryGapiFrameBuffer(&desc);
  if (glyphs) glyphs->frameBuffer = desc;
  current = root;
  cursor = -1;
  depth = 0;
  CopyMenuText(titles[0], sizeof titles[0], kTopTitle);
  SaveScreen();
  DrawPage();
  PresentAll();
}

int CPopupMenu::Close() {
  // Without a saved copy there is nothing to put back; the caller has the
  // screen redrawn instead.
  if (!savedScreen) return 0;
  RestoreScreen();
  CopyToFrameBuffer(0, 0, screenW_, screenH_);
  delete[] savedScreen;
  savedScreen = nullptr;
  return 1;
}

void CPopupMenu::ClearUnder() {
  // Without a saved copy the page left behind is cleared, so that none of
  // its rows stays beside the new page.
  if (savedScreen)
    RestoreScreen();
  else
    Fill(0, 0, width, height, kMenuBlack);
}

void CPopupMenu::MoveCursor(int backward) {
  MenuPage* page = current;
  if (!page) return;
  if (cursor >= 0) {
    DrawItem(cursor, 0);
  } else {
    bool any = false;
    for (int i = 0; i < page->count && !any; ++i) any = Selectable(page->items[i]);
    if (!any) return;
    cursor = backward ? 0 : page->count - 1;
  }
  int i = cursor;
  for (int n = 0; n < page->count; ++n) {
    i = backward ? (i == 0 ? page->count - 1 : i - 1) : (i + 1) % page->count;
    if (Selectable(page->items[i])) break;
  }
  if (!Selectable(page->items[i])) return;
  DrawItem(i, 1);
  cursor = i;
  PresentAll();
}

int CPopupMenu::EnterOrLeave(int enter) {
  MenuPage* page = current;
  if (!page) return 0;
  if (enter) {
    if (cursor < 0 || cursor >= page->count) return 0;
    MenuItem& item = page->items[cursor];
    if (item.kind != kMenuSubmenu || !item.child || depth + 1 >= kMenuDepth) return 0;
    indexStack[depth] = cursor;
    current = item.child;
    cursor = -1;
    ++depth;
    CopyMenuText(titles[depth], sizeof titles[depth], item.label);
    ClearUnder();
    DrawPage();
    CopyToFrameBuffer(0, 0, screenW_, screenH_);
    return 1;
  }
  if (depth <= 0 || !page->parent) return 0;
  ClearUnder();
  current = page->parent;
  --depth;
  cursor = indexStack[depth];
  DrawPage();
  if (cursor >= 0 && cursor < current->count) DrawItem(cursor, 1);
  CopyToFrameBuffer(0, 0, screenW_, screenH_);
  return 1;
}

int CPopupMenu::HitTest(int x, int y) const {
  if (current) {
    for (int i = 0; i < current->count; ++i) {
      const int top = kRowTop + kRowHeight * i;
      if (x >= 11 && x < width - 11 && y >= top && y < top + kRowHeight) return i;
    }
  }
  if (x > width) return kMenuHitOutside;
  if (y < 33) return kMenuHitHeader;
  if (y > height) return kMenuHitOutside;
  return kMenuHitMargin;
}
