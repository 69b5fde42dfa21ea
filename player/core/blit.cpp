#include "player/core/blit.h"

#include <cstring>

#include "formats/rgb565.h"
#include "player/core/picture.h"

namespace {

inline uint32_t Sat(uint32_t v) { return v > 255 ? 255 : v; }

// Saturating add of two pixels in 8-bit channel form; s channels pre-scaled.
inline uint16_t AddChannels(uint32_t d, uint32_t r, uint32_t g, uint32_t b) {
  return PackRgb565(Sat(Red8(d) + r), Sat(Green8(d) + g), Sat(Blue8(d) + b));
}

inline uint16_t Mix256(uint32_t d, uint32_t s, uint32_t w) {
  uint32_t r = (Red8(s) * w + Red8(d) * (256 - w)) >> 8;
  uint32_t g = (Green8(s) * w + Green8(d) * (256 - w)) >> 8;
  uint32_t b = (Blue8(s) * w + Blue8(d) * (256 - w)) >> 8;
  return PackRgb565(r, g, b);
}

// Add with full-strength channels: in the 565 domain min(d + s, max) per
// channel equals the 8-bit rule packed back.
inline uint16_t Add565(uint32_t d, uint32_t s) {
  uint32_t r = (d >> 11) + (s >> 11);
  uint32_t g = ((d >> 5) & 63) + ((s >> 5) & 63);
  uint32_t b = (d & 31) + (s & 31);
  r = r > 31 ? 31 : r;
  g = g > 63 ? 63 : g;
  b = b > 31 ? 31 : b;
  return uint16_t((r << 11) | (g << 5) | b);
}

struct Span {
  const CPicture* pic;
  uint16_t* target;
  int pitch, x, y, w, h, sx, sy;
  uint16_t* Row(int j) const { return target + size_t(y + j) * pitch + x; }
  const uint16_t* Src(int j) const {
    return reinterpret_cast<const uint16_t*>(pic->pixels) + size_t(sy + j) * pic->width + sx;
  }
  const uint8_t* Alpha(int j) const { return pic->alpha + size_t(sy + j) * pic->width + sx; }
  const uint8_t* Index(int j) const { return pic->pixels + size_t(sy + j) * pic->width + sx; }
  const uint8_t* Mask(int j) const { return pic->mask + size_t(y + j) * pic->maskPitch + x; }
};

void Copy16(const Span& s) {
  for (int j = 0; j < s.h; ++j) std::memcpy(s.Row(j), s.Src(j), size_t(s.w) * 2);
}

void Blend16(const Span& s, uint32_t level) {
  uint32_t a = (level & 0xFF) >> 2;
  for (int j = 0; j < s.h; ++j) {
    uint16_t* d = s.Row(j);
    const uint16_t* p = s.Src(j);
    for (int i = 0; i < s.w; ++i) d[i] = Blend565(d[i], p[i], a);
  }
}

void AlphaCopy(const Span& s) {
  for (int j = 0; j < s.h; ++j) {
    uint16_t* d = s.Row(j);
    const uint16_t* p = s.Src(j);
    const uint8_t* a = s.Alpha(j);
    // Branch-free: weight 64 copies and 0 keeps the target exactly, so the
    // rule's three cases are one blend and the loop vectorises.
    for (int i = 0; i < s.w; ++i) {
      uint32_t w = a[i] >> 2;
      w += w == 63;
      d[i] = Blend565(d[i], p[i], w);
    }
  }
}

void AlphaLevel(const Span& s, uint32_t level) {
  uint32_t k = (level & 0xFF) >> 2;
  for (int j = 0; j < s.h; ++j) {
    uint16_t* d = s.Row(j);
    const uint16_t* p = s.Src(j);
    const uint8_t* a = s.Alpha(j);
    for (int i = 0; i < s.w; ++i) {
      uint32_t w = a[i] >> 2;
      if (w == 0) continue;
      d[i] = Blend565(d[i], p[i], w == 63 ? k : (k * w) >> 6);
    }
  }
}

void MaskedAlpha(const Span& s, uint32_t level, bool withLevel) {
  uint32_t l = level & 0xFF;
  for (int j = 0; j < s.h; ++j) {
    uint16_t* d = s.Row(j);
    const uint16_t* p = s.Src(j);
    const uint8_t* a = s.Alpha(j);
    const uint8_t* m = s.Mask(j);
    for (int i = 0; i < s.w; ++i) {
      if (m[i] == 0) continue;
      uint32_t w = (uint32_t(a[i]) * m[i]) >> 8;
      if (withLevel) w = (l * w) >> 8;
      if (w == 0) continue;
      d[i] = Mix256(d[i], p[i], w);
    }
  }
}

void AlphaMask(const Span& s) { MaskedAlpha(s, 0, false); }
void AlphaMaskLevel(const Span& s, uint32_t level) { MaskedAlpha(s, level, true); }

void Add16(const Span& s) {
  for (int j = 0; j < s.h; ++j) {
    uint16_t* d = s.Row(j);
    const uint16_t* p = s.Src(j);
    for (int i = 0; i < s.w; ++i) d[i] = Add565(d[i], p[i]);
  }
}

void Add16Level(const Span& s, uint32_t level) {
  uint32_t l = level & 0xFF;
  for (int j = 0; j < s.h; ++j) {
    uint16_t* d = s.Row(j);
    const uint16_t* p = s.Src(j);
    for (int i = 0; i < s.w; ++i)
      d[i] = AddChannels(d[i], (Red8(p[i]) * l) >> 8, (Green8(p[i]) * l) >> 8, (Blue8(p[i]) * l) >> 8);
  }
}

void AddByAlpha(const Span& s, uint32_t level, bool withLevel) {
  uint32_t l = level & 0xFF;
  for (int j = 0; j < s.h; ++j) {
    uint16_t* d = s.Row(j);
    const uint16_t* p = s.Src(j);
    const uint8_t* a = s.Alpha(j);
    for (int i = 0; i < s.w; ++i) {
      uint32_t w = a[i];
      if (w == 0) continue;
      if (!withLevel && w == 255) {
        d[i] = Add565(d[i], p[i]);
        continue;
      }
      if (withLevel) w = w == 255 ? l : (l * w) >> 8;
      d[i] = AddChannels(d[i], (Red8(p[i]) * w) >> 8, (Green8(p[i]) * w) >> 8, (Blue8(p[i]) * w) >> 8);
    }
  }
}

void AddAlpha(const Span& s) { AddByAlpha(s, 0, false); }
void AddAlphaLevel(const Span& s, uint32_t level) { AddByAlpha(s, level, true); }

// Paletted pictures: entry bytes 2, 1, 0 are red, green and blue.
inline uint16_t Entry565(const uint8_t* e) { return PackRgb565(e[2], e[1], e[0]); }

void PaletteKernel(const Span& s, uint32_t level, int op) {
  uint32_t l = level & 0xFF;
  const uint8_t* pal = s.pic->palette;
  for (int j = 0; j < s.h; ++j) {
    uint16_t* d = s.Row(j);
    const uint8_t* idx = s.Index(j);
    for (int i = 0; i < s.w; ++i) {
      const uint8_t* e = pal + size_t(idx[i]) * 4;
      switch (op) {
        case 0:  // copy
          d[i] = Entry565(e);
          break;
        case 1:  // blend by level
          d[i] = PackRgb565((e[2] * l + Red8(d[i]) * (256 - l)) >> 8, (e[1] * l + Green8(d[i]) * (256 - l)) >> 8,
                            (e[0] * l + Blue8(d[i]) * (256 - l)) >> 8);
          break;
        case 2:  // add
          d[i] = AddChannels(d[i], e[2], e[1], e[0]);
          break;
        default:  // add by level
          d[i] = AddChannels(d[i], (e[2] * l) >> 8, (e[1] * l) >> 8, (e[0] * l) >> 8);
          break;
      }
    }
  }
}

void PaletteCopy(const Span& s) { PaletteKernel(s, 0, 0); }
void PaletteBlend(const Span& s, uint32_t level) { PaletteKernel(s, level, 1); }
void AddPalette(const Span& s) { PaletteKernel(s, 0, 2); }
void AddPaletteLevel(const Span& s, uint32_t level) { PaletteKernel(s, level, 3); }

Span MakeSpan(const CPicture* pic, uint16_t* target, int pitch, int x, int y, const RECT* rect) {
  return Span{
      pic,           target, pitch, x, y, int(rect->right - rect->left), int(rect->bottom - rect->top), int(rect->left),
      int(rect->top)};
}

inline uint16_t Color565(uint32_t c) { return Rgb565FromRgb(c); }

void FillSolid(uint16_t* d, int w, uint16_t c) {
  for (int i = 0; i < w; ++i) d[i] = c;
}

void FillBlend(uint16_t* d, int w, uint16_t c, uint32_t level) {
  const uint32_t a = (level & 0xFF) >> 2;
  for (int i = 0; i < w; ++i) d[i] = Blend565(d[i], c, a);
}

void FillAddSolid(uint16_t* d, int w, uint32_t r, uint32_t g, uint32_t b) {
  for (int i = 0; i < w; ++i) d[i] = AddChannels(d[i], r, g, b);
}

void FillAddLevel(uint16_t* d, int w, uint32_t r, uint32_t g, uint32_t b, uint32_t level) {
  const uint32_t l = level & 0xFF;
  FillAddSolid(d, w, (r * l) >> 8, (g * l) >> 8, (b * l) >> 8);
}

}  // namespace

int BlitNormal(const CPicture* pic, uint16_t* target, int pitch, int x, int y, const RECT* rect, int level) {
  Span s = MakeSpan(pic, target, pitch, x, y, rect);
  if (s.w <= 0 || s.h <= 0 || !pic->pixels) return 1;
  bool opaque = level == 256;
  switch (pic->depth) {
    case 16:
      opaque ? Copy16(s) : Blend16(s, uint32_t(level));
      break;
    case 24:
      if (!pic->alpha) break;
      if (pic->mask)
        opaque ? AlphaMask(s) : AlphaMaskLevel(s, uint32_t(level));
      else
        opaque ? AlphaCopy(s) : AlphaLevel(s, uint32_t(level));
      break;
    case 8:
      if (pic->palette) opaque ? PaletteCopy(s) : PaletteBlend(s, uint32_t(level));
      break;
    default:
      break;
  }
  return 1;
}

int BlitAdd(const CPicture* pic, uint16_t* target, int pitch, int x, int y, const RECT* rect, int level) {
  Span s = MakeSpan(pic, target, pitch, x, y, rect);
  if (s.w <= 0 || s.h <= 0 || !pic->pixels) return 1;
  bool opaque = level == 256;
  switch (pic->depth) {
    case 16:
      opaque ? Add16(s) : Add16Level(s, uint32_t(level));
      break;
    case 24:
      if (pic->alpha) opaque ? AddAlpha(s) : AddAlphaLevel(s, uint32_t(level));
      break;
    case 8:
      if (pic->palette) opaque ? AddPalette(s) : AddPaletteLevel(s, uint32_t(level));
      break;
    default:
      break;
  }
  return 1;
}

int FillColor(uint32_t color, uint16_t* target, int pitch, int x, int y, const RECT* rect, int level) {
  int w = int(rect->right - rect->left), h = int(rect->bottom - rect->top);
  uint16_t c = Color565(color);
  for (int j = 0; j < h; ++j) {
    uint16_t* d = target + size_t(y + j) * pitch + x;
    level == 256 ? FillSolid(d, w, c) : FillBlend(d, w, c, uint32_t(level));
  }
  return 1;
}

int FillAdd(uint32_t color, uint16_t* target, int pitch, int x, int y, const RECT* rect, int level) {
  int w = int(rect->right - rect->left), h = int(rect->bottom - rect->top);
  const uint32_t r = (color >> 16) & 0xFF, g = (color >> 8) & 0xFF, b = color & 0xFF;
  for (int j = 0; j < h; ++j) {
    uint16_t* d = target + size_t(y + j) * pitch + x;
    level == 256 ? FillAddSolid(d, w, r, g, b) : FillAddLevel(d, w, r, g, b, uint32_t(level));
  }
  return 1;
}
