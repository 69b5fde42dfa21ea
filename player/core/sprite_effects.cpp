// Timed sprite effects: while one runs the sprite is drawn as a grid of
// pieces, each a copy of its head showing part of the source rectangle at its
// own position and level, recomputed from the elapsed time every frame.
#include "player/core/sprite_effects.h"

#include <algorithm>
#include <array>
#include <climits>
#include <new>

#include "player/core/display.h"
#include "player/core/polar.h"

namespace {

using F = EffectFamily;
constexpr uint8_t kRows = 0, kCols = 1;
constexpr uint8_t kFwd = 0, kRev = 1;

// Every code that starts something; the rest of 1..191 start nothing.
constexpr SpriteEffectRule kRules[] = {
    // code, family, axis, order, variant (the part a band shows for band families), removing
    {1, F::Fade, 0, 0, 0, 0},
    {129, F::Fade, 0, 0, 1, 1},
    {5, F::Blinds, kRows, kFwd, kShowFirst, 0},
    {9, F::Blinds, kRows, kRev, kShowLast, 0},
    {133, F::Blinds, kRows, kFwd, kHideFirst, 1},
    {137, F::Blinds, kRows, kRev, kHideLast, 1},
    {6, F::Blinds, kCols, kFwd, kShowFirst, 0},
    {10, F::Blinds, kCols, kRev, kShowLast, 0},
    {134, F::Blinds, kCols, kFwd, kHideFirst, 1},
    {138, F::Blinds, kCols, kRev, kHideLast, 1},
    {11, F::Staggered, kRows, kFwd, kShowLast, 0},
    {12, F::Staggered, kRows, kRev, kShowFirst, 0},
    {139, F::Staggered, kRows, kRev, kHideFirst, 1},
    {140, F::Staggered, kRows, kRev, kHideFirst, 1},
    {13, F::Staggered, kCols, kFwd, kShowLast, 0},
    {14, F::Staggered, kCols, kRev, kShowFirst, 0},
    {141, F::Staggered, kCols, kRev, kHideFirst, 1},
    {142, F::Staggered, kCols, kRev, kHideFirst, 1},
    // Fading strips and tiles: variant 0 fades in, 1 fades out.
    {16, F::FadingStrips, kCols, kFwd, 0, 0},
    {17, F::FadingStrips, kCols, kRev, 0, 0},
    {144, F::FadingStrips, kCols, kRev, 1, 1},
    {145, F::FadingStrips, kCols, kRev, 1, 1},
    {18, F::FadingStrips, kRows, kFwd, 0, 0},
    {19, F::FadingStrips, kRows, kRev, 0, 0},
    {146, F::FadingStrips, kRows, kRev, 1, 1},
    {147, F::FadingStrips, kRows, kRev, 1, 1},
    // Tiles: the order word picks the start formula (kTileStart).
    {20, F::FadingTiles, 0, 0, 0, 0},
    {21, F::FadingTiles, 0, 1, 0, 0},
    {148, F::FadingTiles, 0, 1, 1, 1},
    {149, F::FadingTiles, 0, 1, 1, 1},
    {22, F::FadingTiles, 0, 2, 0, 0},
    {23, F::FadingTiles, 0, 3, 0, 0},
    {150, F::FadingTiles, 0, 3, 1, 1},
    {151, F::FadingTiles, 0, 3, 1, 1},
    {24, F::AllBands, kRows, kFwd, kShowFirst, 0},
    {25, F::AllBands, kRows, kFwd, kShowLast, 0},
    {152, F::AllBands, kRows, kFwd, kHideFirst, 1},
    {153, F::AllBands, kRows, kFwd, kHideLast, 1},
    {26, F::AllBands, kCols, kFwd, kShowFirst, 0},
    {27, F::AllBands, kCols, kFwd, kShowLast, 0},
    {154, F::AllBands, kCols, kFwd, kHideFirst, 1},
    {155, F::AllBands, kCols, kFwd, kHideLast, 1},
    // Slides: the variant is the direction (kSlideStep).
    {32, F::Slide, 0, 0, 0, 0},
    {33, F::Slide, 0, 0, 1, 0},
    {34, F::Slide, 0, 0, 2, 0},
    {35, F::Slide, 0, 0, 3, 0},
    {160, F::Slide, 0, 0, 4, 1},
    {161, F::Slide, 0, 0, 5, 1},
    {162, F::Slide, 0, 0, 6, 1},
    {163, F::Slide, 0, 0, 7, 1},
    {40, F::Wipe, kRows, 0, 0, 0},
    {168, F::Wipe, kRows, 0, 1, 1},
    {41, F::Wipe, kCols, 0, 0, 0},
    {169, F::Wipe, kCols, 0, 1, 1},
    {48, F::Wave, 0, 0, 0, 0},
    {49, F::Wave, 0, 0, 1, 0},
    {51, F::Mosaic, 0, 0, 0, 0},
    {60, F::SecondPicture, 0, 0, 0, 0},
    {63, F::Brightness, 0, 0, 0, 1},
    {191, F::Brightness, 0, 0, 1, 1},
    {178, F::Dissolve, 0, 0, 0, 1},
};

constexpr std::array<int8_t, 192> BuildIndex() {
  std::array<int8_t, 192> index{};
  for (int8_t& i : index) i = -1;
  for (size_t i = 0; i < sizeof kRules / sizeof kRules[0]; ++i) index[kRules[i].code] = int8_t(i);
  return index;
}
constexpr std::array<int8_t, 192> kRuleIndex = BuildIndex();

// Slide offsets per variant: the sign of p (fraction of the sprite's own
// width or height) and of the full size, horizontal or vertical.
struct SlideStep {
  int8_t sizeSign;  // multiple of w or h added before p
  int8_t pSign;
  uint8_t vertical;
};
constexpr SlideStep kSlideStep[8] = {
    {-1, 1, 0}, {1, -1, 0}, {-1, 1, 1}, {1, -1, 1},  // 32..35 slide in
    {0, 1, 0},  {0, -1, 0}, {0, 1, 1},  {0, -1, 1},  // 160..163 slide out
};

int Clamp(int64_t v, int64_t lo, int64_t hi) { return int(std::min(std::max(v, lo), hi)); }
int AtLeast1(int v) { return v < 1 ? 1 : v; }
bool HasArea(const int32_t* b) { return b[0] != -1 || b[1] != -1 || b[2] != -1 || b[3] != -1; }
int CeilDiv(int a, int b) { return a <= 0 ? 0 : (a + b - 1) / b; }

// Piece placement helpers in screen pixels.
void Place(SpriteDrawItem& p, int dx, int dy, int sl, int st, int sr, int sb) {
  p.drawX = int16_t(dx);
  p.drawY = int16_t(dy);
  p.srcLeft = int16_t(sl);
  p.srcTop = int16_t(st);
  p.srcRight = int16_t(std::max(sl, sr));
  p.srcBottom = int16_t(std::max(st, sb));
}

}  // namespace

const SpriteEffectRule* FindEffectRule(int code) {
  if (code < 0 || code >= int(kRuleIndex.size()) || kRuleIndex[size_t(code)] < 0) return nullptr;
  return &kRules[kRuleIndex[size_t(code)]];
}

int EffectGridSize(const SpriteEffectRule& rule, int w, int h, int p1, int* columns, int* rows) {
  int c = 1, r = 1;
  switch (rule.family) {
    case F::Blinds:
    case F::AllBands:
      (rule.axis == kRows ? r : c) = CeilDiv(rule.axis == kRows ? h : w, 8);
      break;
    case F::Staggered: {
      int s = AtLeast1(rule.axis == kRows ? ScaleY(p1) : ScaleX(p1));
      (rule.axis == kRows ? r : c) = CeilDiv(rule.axis == kRows ? h : w, s);
      break;
    }
    case F::FadingStrips: {
      int s = AtLeast1(ScaleX(p1));
      (rule.axis == kRows ? r : c) = CeilDiv(rule.axis == kRows ? h : w, s);
      break;
    }
    case F::FadingTiles: {
      int s = AtLeast1(ScaleX(p1));
      c = CeilDiv(w, s);
      r = CeilDiv(h, s);
      break;
    }
    case F::Wipe:
      // Whole strips of p1 screen pixels.
      (rule.axis == kRows ? r : c) = (rule.axis == kRows ? h : w) / AtLeast1(p1);
      break;
    case F::Wave:
      r = h;
      break;
    case F::Dissolve:
      c = r = 8;
      break;
    default:
      break;
  }
  *columns = std::max(c, 1);
  *rows = std::max(r, 1);
  return *columns * *rows;
}

int CSprite::StartEffect(int code, int durationMs, int p1, int p2, int p3) {
  effectStart = NowMs();
  const SpriteEffectRule* rule = FindEffectRule(code);
  if (!rule) return 0;
  // A running effect gives way: its grid goes and the sprite is back where
  // it stood, but it stays alive even when that effect was a removing one.
  if (effectActive) {
    FreePieces();
    effectActive = 0;
    x = effectSavedX;
    y = effectSavedY;
  }
  int columns = 1, rows = 1;
  int count = EffectGridSize(*rule, width, height, p1, &columns, &rows);
  SpriteDrawItem* grid = new (std::nothrow) SpriteDrawItem[size_t(count)];
  if (!grid) return 0;
  FreePieces();
  effectDuration = std::min(std::max(durationMs, 0), 32767);
  effectCode = code;
  effectParams[0] = p1;
  effectParams[1] = p2;
  effectParams[2] = p3;
  effectSavedX = x;
  effectSavedY = y;
  effectColumns = columns;
  effectRows = rows;
  effectSteps = 0;
  const bool fading = rule->family == F::FadingStrips || rule->family == F::FadingTiles;
  for (int i = 0; i < count; ++i) {
    SpriteDrawItem& p = grid[i];
    p = SpriteDrawItem{};
    p.next = i + 1 < count ? &grid[i + 1] : nullptr;
    p.itemSize = 76;
    p.kind = rule->family == F::Brightness ? kind : 1;
    p.reserved = reserved;
    p.color = color;
    p.blend = 0;
    p.level2 = level2;
    p.level = fading ? (rule->variant ? 256 : 0) : level;
    p.zoomX = p.zoomY = 1000;
    p.auxSlot = -1;
    p.slot = slot;
    p.srcLeft = srcLeft;
    p.srcTop = srcTop;
    p.srcRight = srcRight;
    p.srcBottom = srcBottom;
    for (int32_t& b : p.prevBounds) b = -1;
  }
  pieces = grid;
  lastPiece = &grid[count - 1];
  for (uint32_t& t : tileWords) t = 0;
  for (int32_t& b : effectBounds) b = -1;
  effectRemoveAtEnd = rule->removing;
  effectActive = 1;
  return 1;
}

void CSprite::LayoutPieces(int elapsed) {
  const SpriteEffectRule* rule = FindEffectRule(effectCode);
  if (!rule || !pieces) return;
  const int d = AtLeast1(effectDuration);
  const int w = width, h = height;
  const int px = x / 1000 - reqOriginX, py = y / 1000 - reqOriginY;
  const int l = srcLeft, t = srcTop;
  const int64_t e = elapsed;
  const int p1 = effectParams[0], p2 = effectParams[1], p3 = effectParams[2];
  const int count = effectColumns * effectRows;
  SpriteDrawItem* p = pieces;
  auto whole = [&](SpriteDrawItem& item, int dx, int dy) { Place(item, dx, dy, l, t, l + w, t + h); };
  switch (rule->family) {
    case F::Fade: {
      int v = int(256 * e / d);
      whole(p[0], px, py);
      p[0].level = uint16_t(Clamp(rule->variant ? 256 - v : v, 0, 256));
      break;
    }
    case F::Blinds:
    case F::Staggered:
    case F::AllBands: {
      const bool rows = rule->axis == kRows;
      const int n = count, extent = rows ? h : w;
      int size = 8, per = 2, rate = 1;
      if (rule->family == F::Staggered) {
        size = AtLeast1(rows ? ScaleY(p1) : ScaleX(p1));
        per = AtLeast1(p2);
        rate = ScaleY(p3) + 1;
        if (rate < 1) rate = 1;
        effectSteps = (n - 1) / per + size / rate;
      } else if (rule->family == F::Blinds) {
        effectSteps = (n - 1) / 2 + 8;
      }
      const int64_t step = int64_t(e) * effectSteps / d;
      for (int k = 0; k < n; ++k) {
        int order = rule->order == kRev ? n - 1 - k : k;
        int o;
        if (rule->family == F::Blinds)
          o = Clamp(step - order / 2, 0, 8);
        else if (rule->family == F::Staggered)
          o = Clamp((step - order / per) * rate, 0, size);
        else
          o = Clamp(8 * e / d, 0, 8);
        const int start = k * size, band = std::min(size, extent - start);
        o = std::min(o, band);
        // First and last within the band, in source lines or columns.
        int from = 0, to = band;
        switch (rule->variant) {
          case kShowFirst:
            to = o;
            break;
          case kShowLast:
            from = band - o;
            break;
          case kHideFirst:
            from = o;
            break;
          default:
            to = band - o;
            break;
        }
        if (rows)
          Place(p[k], px, py + start + from, l, t + start + from, l + w, t + start + to);
        else
          Place(p[k], px + start + from, py, l + start + from, t, l + start + to, t + h);
      }
      break;
    }
    case F::FadingStrips: {
      const bool rows = rule->axis == kRows;
      const int size = AtLeast1(ScaleX(p1)), rate = AtLeast1(p3), extent = rows ? h : w;
      effectSteps = count + 256 / rate - 1;
      const int64_t step = int64_t(e) * effectSteps / d;
      for (int k = 0; k < count; ++k) {
        int order = rule->order == kRev ? count - 1 - k : k;
        int v = Clamp(int64_t(rate) * std::max<int64_t>(0, step - order), 0, 256);
        const int start = k * size, end = std::min(start + size, extent);
        if (rows)
          Place(p[k], px, py + start, l, t + start, l + w, t + end);
        else
          Place(p[k], px + start, py, l + start, t, l + end, t + h);
        p[k].level = uint16_t(rule->variant ? 256 - v : v);
      }
      break;
    }
    case F::FadingTiles: {
      const int size = AtLeast1(ScaleX(p1)), rate = AtLeast1(p3);
      const int C = effectColumns, R = effectRows;
      effectSteps = C + R + 256 / rate - 2;
      const int64_t step = int64_t(e) * effectSteps / d;
      for (int r = 0; r < R; ++r)
        for (int c = 0; c < C; ++c) {
          int start;
          switch (rule->order) {
            case 0:
              start = c + r;
              break;
            case 1:
              start = (C - 1 - c) + (R - 1 - r);
              break;
            case 2:
              start = (R - 1 - r) + c;
              break;
            default:
              start = (C - 1 - c) + r;
              break;
          }
          int v = Clamp(int64_t(rate) * std::max<int64_t>(0, step - start), 0, 256);
          SpriteDrawItem& item = p[r * C + c];
          const int sx = c * size, sy = r * size;
          Place(item, px + sx, py + sy, l + sx, t + sy, l + std::min(sx + size, w), t + std::min(sy + size, h));
          item.level = uint16_t(rule->variant ? 256 - v : v);
        }
      break;
    }
    case F::Slide: {
      const SlideStep& s = kSlideStep[rule->variant];
      const int size = s.vertical ? h : w;
      const int off = int(s.sizeSign * size + s.pSign * (size * e / d));
      whole(p[0], px + (s.vertical ? 0 : off), py + (s.vertical ? off : 0));
      break;
    }
    case F::Wipe: {
      const int strip = AtLeast1(p1);
      const bool rows = rule->axis == kRows;
      const int size = rows ? w : h;
      const int o = int(size * e / d);
      for (int k = 0; k < count; ++k) {
        const bool odd = k & 1;
        const int a = k * strip, b = a + strip;  // the strip's span across the wipe
        int from, to, at;
        if (!rule->variant) {
          from = odd ? size - o : 0;
          to = odd ? size : o;
          at = from;
        } else {
          from = odd ? o : 0;
          to = odd ? size : size - o;
          at = from;
        }
        // Positions count from the screen origin.
        if (rows)
          Place(p[k], at, a, l + from, t + a, l + to, t + b);
        else
          Place(p[k], a, at, l + a, t + from, l + b, t + to);
      }
      break;
    }
    case F::Wave: {
      const int amplitude = int(int64_t(d - e) * p1 / d);
      const int64_t phase = int64_t(p3) * e * 360 / d;
      for (int k = 0; k < count; ++k) {
        int64_t angle = ((k + phase) * p2) % 360;
        if (angle < 0) angle += 360;
        int dx = 0, dy = 0;
        PolarToPointDeg(int(angle), amplitude, &dx, &dy);
        Place(p[k], px + dx, py + k, l, t + k, l + w, t + k + 1);
        if (rule->variant) p[k].level = uint16_t(Clamp(256 * e / d, 0, 256));
      }
      break;
    }
    case F::Mosaic:
      whole(p[0], px, py);
      p[0].blend = 99;
      p[0].spare = uint16_t(std::max<int64_t>(1, p1 - int64_t(p1) * e / d));
      break;
    case F::SecondPicture:
      whole(p[0], px, py);
      p[0].auxSlot = int16_t(p3);
      p[0].level = uint16_t(Clamp(256 * e / d, 0, 256));
      break;
    case F::Brightness: {
      const int v = Clamp(256 * e / d, 0, 256);
      int level;
      if (rule->variant == 0)
        level = p3 == 0 ? v : 512 - v;
      else
        level = p3 == 0 ? 256 - v : 256 + v;
      whole(p[0], px, py);
      p[0].level2 = uint16_t(level);
      p[0].spare = uint16_t(p2);
      break;
    }
    case F::Dissolve: {
      // One eighth of the screen a tile, so the grid covers the whole screen.
      const int tw = AtLeast1(GetScreenWidth() / 8), th = AtLeast1(GetScreenHeight() / 8);
      const int want = Clamp(64 * e / d, 0, 64);
      int taken = 0;
      for (uint32_t word : tileWords) taken += word != 0;
      while (taken < want) {
        int pick = CeRand() % 64;
        if (tileWords[pick]) continue;
        tileWords[pick] = 1;
        ++taken;
      }
      for (int k = 0; k < 64; ++k) {
        const int sx = (k % 8) * tw, sy = (k / 8) * th;
        // The source area under the tile, clipped to the sprite's own area.
        const int left = std::max(sx, px), top = std::max(sy, py);
        const int right = std::min(sx + tw, px + w), bottom = std::min(sy + th, py + h);
        Place(p[k], left, top, l + left - px, t + top - py, l + right - px, t + bottom - py);
        p[k].level = uint16_t(tileWords[k] ? 0 : level);
      }
      break;
    }
    default:
      break;
  }
}

int CSprite::StepEffect() {
  if (!effectActive) return 1;
  const uint32_t elapsed = NowMs() - effectStart;
  // The area the pieces covered in the last frame is redrawn with the new one.
  int32_t drawn[4];
  std::copy(effectBounds, effectBounds + 4, drawn);
  const bool ended = int64_t(elapsed) >= effectDuration;
  if (ended) {
    effectActive = 0;
    FreePieces();
    ComputeBounds(0, 0);
  } else {
    LayoutPieces(int(elapsed));
    ComputeBounds(1, 0);
    std::copy(newBounds, newBounds + 4, effectBounds);
  }
  MergeBounds();
  if (HasArea(drawn)) {
    dirty[0] = std::min(dirty[0], drawn[0]);
    dirty[1] = std::min(dirty[1], drawn[1]);
    dirty[2] = std::max(dirty[2], drawn[2]);
    dirty[3] = std::max(dirty[3], drawn[3]);
    // Whoever deletes the sprite next invalidates what was drawn last.
    if (ended) FoldIntoPrevious(drawn);
  }
  return ended ? 1 : 0;
}

void CSprite::FoldIntoPrevious(const int32_t* area) {
  if (!HasArea(prevBounds)) {
    std::copy(area, area + 4, prevBounds);
    return;
  }
  prevBounds[0] = std::min(prevBounds[0], area[0]);
  prevBounds[1] = std::min(prevBounds[1], area[1]);
  prevBounds[2] = std::max(prevBounds[2], area[2]);
  prevBounds[3] = std::max(prevBounds[3], area[3]);
}

int CSprite::EndEffect() {
  if (!effectActive) return 0;
  effectActive = 0;
  FreePieces();
  x = effectSavedX;
  y = effectSavedY;
  if (effectRemoveAtEnd) finished = 1;
  if (effectCode == 1) level = 256;
  if (HasArea(effectBounds)) FoldIntoPrevious(effectBounds);
  ComputeBounds(0, 0);
  MergeBounds();
  return 1;
}
