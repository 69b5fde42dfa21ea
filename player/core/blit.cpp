#include "player/core/blit.h"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "formats/rgb565.h"
#include "player/core/picture.h"

namespace {

// The alpha, additive and level row loops have SSE2 forms (every x86-64
// processor has SSE2) that take eight pixels a step and give exactly the
// scalar loops' pixels; the scalar loops serve other processors, the last
// pixels of a row and the tests, which switch the vector forms off.
bool g_vectorRows = true;

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

// ---- Scalar rows: the reference ----

void Blend16RowScalar(uint16_t* d, const uint16_t* p, int w, uint32_t a) {
  for (int i = 0; i < w; ++i) d[i] = Blend565(d[i], p[i], a);
}

void AlphaCopyRowScalar(uint16_t* d, const uint16_t* p, const uint8_t* a, int w) {
  // Branch-free: weight 64 copies and 0 keeps the target exactly, so the
  // rule's three cases are one blend.
  for (int i = 0; i < w; ++i) {
    uint32_t wt = a[i] >> 2;
    wt += wt == 63;
    d[i] = Blend565(d[i], p[i], wt);
  }
}

void AlphaLevelRowScalar(uint16_t* d, const uint16_t* p, const uint8_t* a, int w, uint32_t k) {
  for (int i = 0; i < w; ++i) {
    uint32_t wt = a[i] >> 2;
    if (wt == 0) continue;
    d[i] = Blend565(d[i], p[i], wt == 63 ? k : (k * wt) >> 6);
  }
}

void Add16RowScalar(uint16_t* d, const uint16_t* p, int w) {
  for (int i = 0; i < w; ++i) d[i] = Add565(d[i], p[i]);
}

void Add16LevelRowScalar(uint16_t* d, const uint16_t* p, int w, uint32_t l) {
  for (int i = 0; i < w; ++i)
    d[i] = AddChannels(d[i], (Red8(p[i]) * l) >> 8, (Green8(p[i]) * l) >> 8, (Blue8(p[i]) * l) >> 8);
}

void AddByAlphaRowScalar(uint16_t* d, const uint16_t* p, const uint8_t* a, int w, uint32_t l, bool withLevel) {
  for (int i = 0; i < w; ++i) {
    uint32_t wt = a[i];
    if (wt == 0) continue;
    if (!withLevel && wt == 255) {
      d[i] = Add565(d[i], p[i]);
      continue;
    }
    if (withLevel) wt = wt == 255 ? l : (l * wt) >> 8;
    d[i] = AddChannels(d[i], (Red8(p[i]) * wt) >> 8, (Green8(p[i]) * wt) >> 8, (Blue8(p[i]) * wt) >> 8);
  }
}

void FillBlendRowScalar(uint16_t* d, int w, uint16_t c, uint32_t a) {
  for (int i = 0; i < w; ++i) d[i] = Blend565(d[i], c, a);
}

#if defined(__SSE2__)
// ---- SSE2 rows: eight pixels in the 16-bit lanes of a register ----

constexpr bool kVectorRows = true;

inline __m128i Splat(uint32_t v) { return _mm_set1_epi16(static_cast<short>(v)); }
inline __m128i Load8(const uint16_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
inline void Store8(uint16_t* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }
// Eight alpha bytes as 16-bit lanes.
inline __m128i LoadAlpha8(const uint8_t* a) {
  return _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(a)), _mm_setzero_si128());
}

// The 6-bit blend of eight pixels toward s with weight a (0..64) per lane;
// a8 = a << 8. Each channel c becomes c + ((cs - c) x a >> 6), which is the
// scalar rule's (c x (64 - a) + cs x a) >> 6; the three changes are added
// to d in their fields at once (each field's result stays in its range, so
// the sum borrows nothing across fields).
inline __m128i Blend565x8(__m128i d, __m128i s, __m128i a, __m128i a8) {
  const __m128i blueMask = Splat(0x001F), greenMask = Splat(0x07E0);
  // Blue in the low bits; red moved down to them, its change moved back.
  const __m128i bDiff = _mm_sub_epi16(_mm_and_si128(s, blueMask), _mm_and_si128(d, blueMask));
  const __m128i b = _mm_srai_epi16(_mm_mullo_epi16(bDiff, a), 6);
  const __m128i rDiff = _mm_sub_epi16(_mm_srli_epi16(s, 11), _mm_srli_epi16(d, 11));
  const __m128i r = _mm_slli_epi16(_mm_srai_epi16(_mm_mullo_epi16(rDiff, a), 6), 11);
  // Green in place (x 32): the high half of (difference x 4) x (a << 8) is
  // difference x a / 2 rounded down; clearing its low five bits leaves
  // (difference x a >> 6) x 32.
  const __m128i gDiff = _mm_slli_epi16(_mm_sub_epi16(_mm_and_si128(s, greenMask), _mm_and_si128(d, greenMask)), 2);
  const __m128i g = _mm_and_si128(_mm_mulhi_epi16(gDiff, a8), Splat(0xFFE0));
  return _mm_add_epi16(_mm_add_epi16(d, r), _mm_add_epi16(g, b));
}

// Channel-wise saturating add of eight pixels; sr, sg, sb are the added
// pixels' red, green and blue fields in place, nothing else set.
inline __m128i Add565x8(__m128i d, __m128i sr, __m128i sg, __m128i sb) {
  const __m128i redMask = Splat(0xF800), greenMask = Splat(0x07E0), blueMask = Splat(0x001F);
  // Red overflows the lane: the unsigned add saturates to all ones.
  const __m128i r = _mm_and_si128(_mm_adds_epu16(_mm_and_si128(d, redMask), sr), redMask);
  const __m128i g = _mm_min_epi16(_mm_add_epi16(_mm_and_si128(d, greenMask), sg), greenMask);
  const __m128i b = _mm_min_epi16(_mm_add_epi16(_mm_and_si128(d, blueMask), sb), blueMask);
  return _mm_or_si128(_mm_or_si128(r, g), b);
}

// Pixels s with each 8-bit channel scaled by m / 65536 (m = weight << 8),
// rounded down, then added: the high half of a field in place times m is
// the scaled field shifted up by 3 bits (red), 2 (green) or 0 (blue) plus
// lower bits, which the field's mask drops. full (all ones or zero per
// lane) adds s unscaled where set, where m is 0.
inline __m128i AddScaled565x8(__m128i d, __m128i s, __m128i m, __m128i full) {
  const __m128i redMask = Splat(0xF800), greenMask = Splat(0x07E0), blueMask = Splat(0x001F);
  const __m128i whole = _mm_and_si128(s, full);
  const __m128i sr = _mm_and_si128(_mm_or_si128(_mm_mulhi_epu16(_mm_and_si128(s, redMask), m), whole), redMask);
  const __m128i sg = _mm_and_si128(_mm_or_si128(_mm_mulhi_epu16(_mm_and_si128(s, greenMask), m), whole), greenMask);
  const __m128i sb = _mm_and_si128(_mm_or_si128(_mm_mulhi_epu16(_mm_and_si128(s, blueMask), m), whole), blueMask);
  return Add565x8(d, sr, sg, sb);
}

void Blend16Row(uint16_t* d, const uint16_t* p, int w, uint32_t a) {
  const __m128i va = Splat(a), va8 = Splat(a << 8);
  int i = 0;
  for (; i + 8 <= w; i += 8) Store8(d + i, Blend565x8(Load8(d + i), Load8(p + i), va, va8));
  Blend16RowScalar(d + i, p + i, w - i, a);
}

void AlphaCopyRow(uint16_t* d, const uint16_t* p, const uint8_t* a, int w) {
  const __m128i sixtyThree = Splat(63);
  int i = 0;
  for (; i + 8 <= w; i += 8) {
    __m128i wt = _mm_srli_epi16(LoadAlpha8(a + i), 2);
    wt = _mm_sub_epi16(wt, _mm_cmpeq_epi16(wt, sixtyThree));  // 63 -> 64
    Store8(d + i, Blend565x8(Load8(d + i), Load8(p + i), wt, _mm_slli_epi16(wt, 8)));
  }
  AlphaCopyRowScalar(d + i, p + i, a + i, w - i);
}

void AlphaLevelRow(uint16_t* d, const uint16_t* p, const uint8_t* a, int w, uint32_t k) {
  const __m128i sixtyThree = Splat(63), vk = Splat(k);
  int i = 0;
  for (; i + 8 <= w; i += 8) {
    // Weight 0 blends to the target itself, as the skipped pixel stays.
    const __m128i wt = _mm_srli_epi16(LoadAlpha8(a + i), 2);
    const __m128i full = _mm_cmpeq_epi16(wt, sixtyThree);
    const __m128i scaled = _mm_srli_epi16(_mm_mullo_epi16(wt, vk), 6);
    const __m128i weight = _mm_or_si128(_mm_and_si128(full, vk), _mm_andnot_si128(full, scaled));
    Store8(d + i, Blend565x8(Load8(d + i), Load8(p + i), weight, _mm_slli_epi16(weight, 8)));
  }
  AlphaLevelRowScalar(d + i, p + i, a + i, w - i, k);
}

void Add16Row(uint16_t* d, const uint16_t* p, int w) {
  const __m128i redMask = Splat(0xF800), greenMask = Splat(0x07E0), blueMask = Splat(0x001F);
  int i = 0;
  for (; i + 8 <= w; i += 8) {
    const __m128i s = Load8(p + i);
    Store8(d + i,
           Add565x8(Load8(d + i), _mm_and_si128(s, redMask), _mm_and_si128(s, greenMask), _mm_and_si128(s, blueMask)));
  }
  Add16RowScalar(d + i, p + i, w - i);
}

void Add16LevelRow(uint16_t* d, const uint16_t* p, int w, uint32_t l) {
  const __m128i m = Splat(l << 8), none = _mm_setzero_si128();
  int i = 0;
  for (; i + 8 <= w; i += 8) Store8(d + i, AddScaled565x8(Load8(d + i), Load8(p + i), m, none));
  Add16LevelRowScalar(d + i, p + i, w - i, l);
}

void AddByAlphaRow(uint16_t* d, const uint16_t* p, const uint8_t* a, int w, uint32_t l, bool withLevel) {
  const __m128i opaque = Splat(255), vl = Splat(l);
  int i = 0;
  for (; i + 8 <= w; i += 8) {
    // Alpha 0 scales the source to nothing, as the skipped pixel stays.
    const __m128i alpha = LoadAlpha8(a + i);
    const __m128i full = _mm_cmpeq_epi16(alpha, opaque);
    __m128i m, whole;
    if (withLevel) {
      const __m128i scaled = _mm_srli_epi16(_mm_mullo_epi16(alpha, vl), 8);
      m = _mm_slli_epi16(_mm_or_si128(_mm_and_si128(full, vl), _mm_andnot_si128(full, scaled)), 8);
      whole = _mm_setzero_si128();
    } else {
      m = _mm_andnot_si128(full, _mm_slli_epi16(alpha, 8));
      whole = full;
    }
    Store8(d + i, AddScaled565x8(Load8(d + i), Load8(p + i), m, whole));
  }
  AddByAlphaRowScalar(d + i, p + i, a + i, w - i, l, withLevel);
}

void FillBlendRow(uint16_t* d, int w, uint16_t c, uint32_t a) {
  const __m128i vc = Splat(c), va = Splat(a), va8 = Splat(a << 8);
  int i = 0;
  for (; i + 8 <= w; i += 8) Store8(d + i, Blend565x8(Load8(d + i), vc, va, va8));
  FillBlendRowScalar(d + i, w - i, c, a);
}
#else
constexpr bool kVectorRows = false;
void Blend16Row(uint16_t* d, const uint16_t* p, int w, uint32_t a) { Blend16RowScalar(d, p, w, a); }
void AlphaCopyRow(uint16_t* d, const uint16_t* p, const uint8_t* a, int w) { AlphaCopyRowScalar(d, p, a, w); }
void AlphaLevelRow(uint16_t* d, const uint16_t* p, const uint8_t* a, int w, uint32_t k) {
  AlphaLevelRowScalar(d, p, a, w, k);
}
void Add16Row(uint16_t* d, const uint16_t* p, int w) { Add16RowScalar(d, p, w); }
void Add16LevelRow(uint16_t* d, const uint16_t* p, int w, uint32_t l) { Add16LevelRowScalar(d, p, w, l); }
void AddByAlphaRow(uint16_t* d, const uint16_t* p, const uint8_t* a, int w, uint32_t l, bool withLevel) {
  AddByAlphaRowScalar(d, p, a, w, l, withLevel);
}
void FillBlendRow(uint16_t* d, int w, uint16_t c, uint32_t a) { FillBlendRowScalar(d, w, c, a); }
#endif

// ---- Kernels: one row loop each, vector or scalar ----

void Blend16(const Span& s, uint32_t level) {
  const uint32_t a = (level & 0xFF) >> 2;
  auto row = g_vectorRows ? Blend16Row : Blend16RowScalar;
  for (int j = 0; j < s.h; ++j) row(s.Row(j), s.Src(j), s.w, a);
}

void AlphaCopy(const Span& s) {
  auto row = g_vectorRows ? AlphaCopyRow : AlphaCopyRowScalar;
  for (int j = 0; j < s.h; ++j) row(s.Row(j), s.Src(j), s.Alpha(j), s.w);
}

void AlphaLevel(const Span& s, uint32_t level) {
  const uint32_t k = (level & 0xFF) >> 2;
  auto row = g_vectorRows ? AlphaLevelRow : AlphaLevelRowScalar;
  for (int j = 0; j < s.h; ++j) row(s.Row(j), s.Src(j), s.Alpha(j), s.w, k);
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
  auto row = g_vectorRows ? Add16Row : Add16RowScalar;
  for (int j = 0; j < s.h; ++j) row(s.Row(j), s.Src(j), s.w);
}

void Add16Level(const Span& s, uint32_t level) {
  const uint32_t l = level & 0xFF;
  auto row = g_vectorRows ? Add16LevelRow : Add16LevelRowScalar;
  for (int j = 0; j < s.h; ++j) row(s.Row(j), s.Src(j), s.w, l);
}

void AddByAlpha(const Span& s, uint32_t level, bool withLevel) {
  const uint32_t l = level & 0xFF;
  auto row = g_vectorRows ? AddByAlphaRow : AddByAlphaRowScalar;
  for (int j = 0; j < s.h; ++j) row(s.Row(j), s.Src(j), s.Alpha(j), s.w, l, withLevel);
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
  (g_vectorRows ? FillBlendRow : FillBlendRowScalar)(d, w, c, a);
}

void FillAddSolid(uint16_t* d, int w, uint32_t r, uint32_t g, uint32_t b) {
  for (int i = 0; i < w; ++i) d[i] = AddChannels(d[i], r, g, b);
}

void FillAddLevel(uint16_t* d, int w, uint32_t r, uint32_t g, uint32_t b, uint32_t level) {
  const uint32_t l = level & 0xFF;
  FillAddSolid(d, w, (r * l) >> 8, (g * l) >> 8, (b * l) >> 8);
}

}  // namespace

bool SetVectorBlendRows(bool on) {
  g_vectorRows = on && kVectorRows;
  return kVectorRows;
}

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
