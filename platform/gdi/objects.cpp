// GDI objects of the text backend: the object table, memory contexts, one-bit
// DIB sections, selection, deletion and PatBlt.
#include <algorithm>
#include <climits>
#include <unordered_set>

#include "platform/gdi/gdi_internal.h"

namespace velmi_gdi {

std::recursive_mutex& Lock() {
  static std::recursive_mutex m;
  return m;
}

static std::unordered_set<Object*>& Objects() {
  static std::unordered_set<Object*> s;
  return s;
}

static std::unordered_set<HDC>& MemoryDcs() {
  static std::unordered_set<HDC> s;
  return s;
}

Object* FindObject(HGDIOBJ handle) {
  if (!handle) return nullptr;
  Object* o = static_cast<Object*>(handle);
  return Objects().count(o) ? o : nullptr;
}

void RegisterObject(Object* object) { Objects().insert(object); }

void Release(Object* object) {
  if (!object) return;
  if (object->selections > 0) --object->selections;
  if (object->deleted && object->selections == 0 && !object->stock) {
    Objects().erase(object);
    delete object;
  }
}

MemoryDc* FindMemoryDc(HDC hdc) {
  if (!hdc || !MemoryDcs().count(hdc) || hdc->kind != kMemoryDcKind) return nullptr;
  return static_cast<MemoryDc*>(hdc->ext);
}

void Bitmap::Fill(int y, int l, int r, int op) const {
  uint8_t* row = Row(y);
  auto apply = [op](uint8_t& byte, uint8_t mask) {
    byte = op == 0 ? uint8_t(byte & ~mask) : op == 1 ? uint8_t(byte | mask) : uint8_t(byte ^ mask);
  };
  while (l < r && (l & 7)) {
    apply(row[l >> 3], uint8_t(0x80 >> (l & 7)));
    ++l;
  }
  while (l + 8 <= r) {
    apply(row[l >> 3], 0xFF);
    l += 8;
  }
  while (l < r) {
    apply(row[l >> 3], uint8_t(0x80 >> (l & 7)));
    ++l;
  }
}

int Bitmap::NearestIndex(COLORREF c) const {
  int best = 0;
  long bestDistance = LONG_MAX;
  for (int i = 0; i < 2; ++i) {
    long dr = long(c & 0xFF) - palette[i].rgbRed;
    long dg = long((c >> 8) & 0xFF) - palette[i].rgbGreen;
    long db = long((c >> 16) & 0xFF) - palette[i].rgbBlue;
    long d = dr * dr + dg * dg + db * db;
    if (d < bestDistance) {
      bestDistance = d;
      best = i;
    }
  }
  return best;
}

// The 1x1 bitmap every memory context holds until another is selected.
static Bitmap* StockBitmap() {
  static Bitmap* b = [] {
    Bitmap* s = new Bitmap;
    s->stock = true;
    s->width = s->height = 1;
    s->stride = 4;
    s->bits.reset(new uint8_t[4]());
    s->palette[1] = RGBQUAD{0xFF, 0xFF, 0xFF, 0};
    RegisterObject(s);
    return s;
  }();
  return b;
}

}  // namespace velmi_gdi

using namespace velmi_gdi;

HBITMAP CreateDIBSection(HDC, const BITMAPINFO* info, UINT usage, void** bits, HANDLE section, DWORD) {
  if (bits) *bits = nullptr;
  if (!info || usage != DIB_RGB_COLORS || section) return nullptr;
  const BITMAPINFOHEADER& h = info->bmiHeader;
  if (h.biSize < sizeof(BITMAPINFOHEADER) || h.biPlanes != 1 || h.biBitCount != 1 || h.biCompression != BI_RGB)
    return nullptr;
  if (h.biWidth <= 0 || h.biHeight == 0 || h.biHeight == INT32_MIN) return nullptr;
  const int64_t width = h.biWidth, height = h.biHeight < 0 ? -int64_t(h.biHeight) : h.biHeight;
  const int64_t stride = (width + 31) / 32 * 4;
  if (width > 32768 || height > 32768) return nullptr;
  std::lock_guard<std::recursive_mutex> g(Lock());
  Bitmap* b = new Bitmap;
  b->width = int(width);
  b->height = int(height);
  b->topDown = h.biHeight < 0;
  b->stride = int(stride);
  b->bits.reset(new uint8_t[size_t(stride * height)]());
  // Two palette entries at most; fewer listed leave white for the second.
  DWORD used = h.biClrUsed == 0 ? 2 : std::min<DWORD>(h.biClrUsed, 2);
  b->palette[1] = RGBQUAD{0xFF, 0xFF, 0xFF, 0};
  const RGBQUAD* colors = reinterpret_cast<const RGBQUAD*>(reinterpret_cast<const uint8_t*>(info) + h.biSize);
  for (DWORD i = 0; i < used; ++i) b->palette[i] = colors[i];
  RegisterObject(b);
  if (bits) *bits = b->bits.get();
  return reinterpret_cast<HBITMAP>(static_cast<Object*>(b));
}

HDC CreateCompatibleDC(HDC) {
  std::lock_guard<std::recursive_mutex> g(Lock());
  HDC dc = new HDC__;
  dc->kind = kMemoryDcKind;
  dc->bkColor = 0xFFFFFF;
  dc->textColor = 0;
  dc->bkMode = OPAQUE;
  MemoryDc* m = new MemoryDc;
  m->bitmap = StockBitmap();
  m->bitmap->selections++;
  m->font = StockFont();
  if (m->font) m->font->selections++;
  dc->ext = m;
  MemoryDcs().insert(dc);
  return dc;
}

BOOL DeleteDC(HDC hdc) {
  std::lock_guard<std::recursive_mutex> g(Lock());
  MemoryDc* m = FindMemoryDc(hdc);
  if (!m) return FALSE;
  Release(m->bitmap);
  Release(m->font);
  delete m;
  MemoryDcs().erase(hdc);
  delete hdc;
  return TRUE;
}

HGDIOBJ SelectObject(HDC hdc, HGDIOBJ handle) {
  std::lock_guard<std::recursive_mutex> g(Lock());
  MemoryDc* m = FindMemoryDc(hdc);
  Object* o = FindObject(handle);
  if (!m || !o || o->deleted) return nullptr;
  Object* old = nullptr;
  if (o->kind == Object::kBitmap) {
    Bitmap* b = static_cast<Bitmap*>(o);
    // A bitmap lives in one context at a time.
    if (b->selections > 0 && m->bitmap != b && !b->stock) return nullptr;
    old = m->bitmap;
    if (old == b) return handle;
    b->selections++;
    m->bitmap = b;
  } else {
    Font* f = static_cast<Font*>(o);
    old = m->font;
    if (old == f) return handle;
    f->selections++;
    m->font = f;
  }
  // The old object may be one whose deletion waited for this moment; its
  // handle is still returned, as GDI does, but must not be used again.
  HGDIOBJ result = old;
  Release(old);
  return result;
}

BOOL DeleteObject(HGDIOBJ handle) {
  std::lock_guard<std::recursive_mutex> g(Lock());
  Object* o = FindObject(handle);
  if (!o || o->deleted) return FALSE;
  if (o->stock) return TRUE;
  o->deleted = true;
  if (o->selections == 0) {
    Objects().erase(o);
    delete o;
  }
  return TRUE;
}

BOOL PatBlt(HDC hdc, int x, int y, int width, int height, DWORD rop) {
  std::lock_guard<std::recursive_mutex> g(Lock());
  MemoryDc* m = FindMemoryDc(hdc);
  if (!m || !m->bitmap) return FALSE;
  if (rop != BLACKNESS && rop != WHITENESS && rop != DSTINVERT) return FALSE;
  const Bitmap& b = *m->bitmap;
  int64_t l = x, t = y, r = int64_t(x) + width, bo = int64_t(y) + height;
  if (r < l) std::swap(l, r);
  if (bo < t) std::swap(t, bo);
  l = std::max<int64_t>(l, 0);
  t = std::max<int64_t>(t, 0);
  r = std::min<int64_t>(r, b.width);
  bo = std::min<int64_t>(bo, b.height);
  const int op = rop == BLACKNESS ? 0 : rop == WHITENESS ? 1 : 2;
  for (int64_t yy = t; yy < bo; ++yy) b.Fill(int(yy), int(l), int(r), op);
  return TRUE;
}
