#include "player/core/sprite.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>

#include "player/core/display.h"

int ScaleX(int v) { return int(int64_t(v) * GetScreenWidth() / GetCanvasWidth()); }
int ScaleY(int v) { return int(int64_t(v) * GetScreenHeight() / GetCanvasHeight()); }

namespace {
// Thousandths of a unit; far-off positions wrap instead of overflowing.
int32_t Milli(int v) { return int32_t(uint32_t(v) * 1000u); }
}  // namespace

CSprite::CSprite() {
  std::memset(static_cast<SpriteDrawItem*>(this), 0, sizeof(SpriteDrawItem));
  visible = 1;
  finished = 0;
  x = y = width = height = canvasX = canvasY = canvasWidth = canvasHeight = 0;
  reqOriginX = reqOriginY = 0;
  std::memset(savedSource, 0, sizeof savedSource);
  pieces = lastPiece = nullptr;
  std::memset(dirty, 0, sizeof dirty);
  std::memset(newBounds, 0, sizeof newBounds);
  effectActive = effectRemoveAtEnd = 0;
  effectColumns = effectRows = effectCode = effectDuration = 0;
  std::memset(effectParams, 0, sizeof effectParams);
  effectSavedX = effectSavedY = effectSteps = 0;
  effectStart = 0;
  for (int32_t& b : effectBounds) b = -1;
  animationOn = 0;
  animationNumber = currentCell = frameCounter = firstCell = 0;
  cellDue = 0;
  std::memset(cells, 0, sizeof cells);
  std::memset(tileWords, 0, sizeof tileWords);
  ResetState();
  reqAngle = 0;
  changed = 0;
  for (int& b : prevBounds) b = -1;
  for (int16_t& s : animationStarts) s = -1;
}

CSprite::~CSprite() { FreePieces(); }

void CSprite::ResetState() {
  itemSize = 76;
  kind = 1;
  auxSlot = -1;
  reserved = 0;
  color = 0;
  blend = 0;
  level = level2 = 256;
  zoomX = zoomY = 1000;
  reqZoomX = reqZoomY = 1000;
  originX = originY = 0;
  angle = 0;
  priority = 1;
}

void CSprite::InitSource(int s, int sx, int sy, int w, int h) {
  slot = int16_t(s);
  srcLeft = int16_t(ScaleX(sx));
  srcTop = int16_t(ScaleY(sy));
  width = ScaleX(w);
  height = ScaleY(h);
  srcRight = int16_t(srcLeft + width);
  srcBottom = int16_t(srcTop + height);
  canvasWidth = w;
  canvasHeight = h;
}

void CSprite::SetSource(int s, int sx, int sy, int w, int h) {
  InitSource(s, sx, sy, w, h);
  ComputeBounds(0, 0);
  MergeBounds();
}

void CSprite::InitFillRect(int fx, int fy, int w, int h, uint32_t c) {
  kind = 6;
  reserved = 0;
  color = c;
  itemSize = 76;
  auxSlot = -1;
  zoomX = zoomY = 1000;
  reqZoomX = reqZoomY = 1000;
  level = level2 = 256;
  blend = 0;
  priority = 1;
  originX = originY = 0;
  reqOriginX = reqOriginY = 0;
  slot = 0;
  angle = 0;
  reqAngle = 0;
  x = Milli(ScaleX(fx));
  y = Milli(ScaleY(fy));
  width = ScaleX(w);
  if (width == 0) width = 1;
  height = ScaleY(h);
  srcLeft = srcTop = 0;
  srcRight = int16_t(width);
  srcBottom = int16_t(height);
  ComputeBounds(0, 0);
  MergeBounds();
}

void CSprite::SetPosition(int px, int py) {
  x = Milli(ScaleX(px));
  y = Milli(ScaleY(py));
  canvasX = Milli(px);
  canvasY = Milli(py);
  ComputeBounds(0, 0);
  MergeBounds();
}

void CSprite::SetOffset(int ox, int oy) {
  reqOriginX = ScaleX(ox);
  reqOriginY = ScaleY(oy);
  ComputeBounds(0, 0);
  MergeBounds();
}

void CSprite::SetPriority(int p) {
  if (p >= 0 && p < kPriorities) priority = p;
  ComputeBounds(0, 0);
  MergeBounds();
}

void CSprite::SetLevel(int l) {
  // Levels live in 16 bits: a negative request must not wrap to a large one.
  level = uint16_t(l < 0 ? 0 : l > 256 ? 256 : l);
  ComputeBounds(0, 0);
  MergeBounds();
}

void CSprite::SetVisible(int flag) {
  if (int64_t(visible) == flag) return;
  visible = flag != 0;
  ComputeBounds(0, 0);
  MergeBounds();
}

void CSprite::SetCell(int cell, int nextCell, int durationMs, int s, int cx, int cy, int w, int h, int ox, int oy,
                      int animation) {
  if (cell < 0 || cell >= kSpriteCells) return;
  SpriteCell& c = cells[cell];
  c.slot = int16_t(s);
  c.x = int16_t(ScaleX(cx));
  c.y = int16_t(ScaleY(cy));
  c.width = int16_t(ScaleX(w));
  c.height = int16_t(ScaleY(h));
  c.offsetX = int16_t(ScaleX(ox));
  c.offsetY = int16_t(ScaleY(oy));
  c.unused[0] = c.unused[1] = c.unused[2] = -1;
  c.duration = int16_t(durationMs);
  c.next = int16_t(nextCell);
  if (animation >= 0 && animation < kSpriteAnimations) animationStarts[animation] = int16_t(cell);
}

void CSprite::LoadCell(int cell) {
  const SpriteCell& c = cells[cell];
  slot = c.slot;
  srcLeft = c.x;
  srcTop = c.y;
  srcRight = int16_t(c.x + c.width);
  srcBottom = int16_t(c.y + c.height);
  width = c.width;
  height = c.height;
}

void CSprite::StartCellAnimation(int animation) {
  if (animation < 0 || animation >= kSpriteAnimations) return;
  int first = animationStarts[animation];
  if (first < 0 || first >= kSpriteCells) return;
  animationOn = 1;
  animationNumber = int16_t(animation);
  currentCell = firstCell = int16_t(first);
  frameCounter = 0;
  savedSource[0] = slot;
  savedSource[1] = srcLeft;
  savedSource[2] = srcTop;
  savedSource[3] = srcRight;
  savedSource[4] = srcBottom;
  LoadCell(first);
  cellDue = NowMs() + uint32_t(cells[first].duration);
  ComputeBounds(0, 0);
  MergeBounds();
}

void CSprite::StopCellAnimation() {
  if (!animationOn) return;
  slot = savedSource[0];
  srcLeft = savedSource[1];
  srcTop = savedSource[2];
  srcRight = savedSource[3];
  srcBottom = savedSource[4];
  width = srcRight - srcLeft;
  height = srcBottom - srcTop;
  animationOn = 0;
  ComputeBounds(0, 0);
  MergeBounds();
}

void CSprite::GetDirtyRect(RECT* out) {
  ComputeBounds(0, 0);
  MergeBounds();
  out->left = dirty[0];
  out->top = dirty[1];
  out->right = dirty[2];
  out->bottom = dirty[3];
}

void CSprite::ComputeBounds(int usePieces, int toPrevious) {
  int32_t* b = toPrevious ? prevBounds : newBounds;
  if (usePieces && pieces) {
    int64_t l = INT32_MAX, t = INT32_MAX, r = INT32_MIN, bo = INT32_MIN;
    for (int i = 0; i < effectColumns * effectRows; ++i) {
      const SpriteDrawItem& p = pieces[i];
      l = std::min<int64_t>(l, p.drawX);
      t = std::min<int64_t>(t, p.drawY);
      r = std::max<int64_t>(r, p.drawX + (p.srcRight - p.srcLeft));
      bo = std::max<int64_t>(bo, p.drawY + (p.srcBottom - p.srcTop));
    }
    if (l <= r) {
      b[0] = int32_t(l);
      b[1] = int32_t(t);
      b[2] = int32_t(r);
      b[3] = int32_t(bo);
      return;
    }
  }
  int64_t px = x / 1000, py = y / 1000;
  // A running cell animation draws the sprite moved by its cell's offset.
  if (animationOn && currentCell >= 0 && currentCell < kSpriteCells) {
    px += cells[currentCell].offsetX;
    py += cells[currentCell].offsetY;
  }
  if (reqAngle == 0) {
    int64_t left = px - int64_t(reqZoomX) * reqOriginX / 1000;
    int64_t top = py - int64_t(reqZoomY) * reqOriginY / 1000;
    b[0] = int32_t(left);
    b[1] = int32_t(top);
    b[2] = int32_t(left + int64_t(reqZoomX) * width / 1000);
    b[3] = int32_t(top + int64_t(reqZoomY) * height / 1000);
    return;
  }
  const double pi = 3.1415927410125732;
  double theta = double(reqAngle) / 180.0 * pi;
  int64_t s = int64_t(std::sin(theta) * 1024.0), c = int64_t(std::cos(theta) * 1024.0);
  int64_t bl = px - reqOriginX, bt = py - reqOriginY, bw = width, bh = height;
  int64_t side = std::max(bw, bh);
  bl -= (side - bw) / 2;
  bt -= (side - bh) / 2;
  int64_t minX = 9999, minY = 9999, maxX = 0, maxY = 0;
  const int64_t cx[4] = {bl, bl + side, bl, bl + side}, cy[4] = {bt, bt, bt + side, bt + side};
  for (int k = 0; k < 4; ++k) {
    int64_t dx = cx[k] - px, dy = cy[k] - py;
    int64_t X = px + ((dx * c - dy * s + 512) >> 10);
    int64_t Y = py + ((dx * s + dy * c + 512) >> 10);
    minX = std::min(minX, X);
    minY = std::min(minY, Y);
    maxX = std::max(maxX, X);
    maxY = std::max(maxY, Y);
  }
  int64_t z = (int64_t(reqZoomX) + reqZoomY) / 2;
  int64_t left = px - z * (px - minX) / 1000;
  int64_t top = py - z * (py - minY) / 1000;
  b[0] = int32_t(left);
  b[1] = int32_t(top);
  b[2] = int32_t(left + z * (maxX - minX) / 1000 + 1);
  b[3] = int32_t(top + z * (maxY - minY) / 1000 + 1);
}

void CSprite::MergeBounds() {
  bool none = prevBounds[0] == -1 && prevBounds[1] == -1 && prevBounds[2] == -1 && prevBounds[3] == -1;
  bool same = std::memcmp(prevBounds, newBounds, sizeof newBounds) == 0;
  if (none || same) {
    std::memcpy(dirty, newBounds, sizeof dirty);
  } else {
    dirty[0] = std::min(prevBounds[0], newBounds[0]);
    dirty[1] = std::min(prevBounds[1], newBounds[1]);
    dirty[2] = std::max(prevBounds[2], newBounds[2]);
    dirty[3] = std::max(prevBounds[3], newBounds[3]);
  }
  changed = 1;
}

void CSprite::FreePieces() {
  delete[] pieces;
  pieces = lastPiece = nullptr;
}

int CSprite::Update() {
  if (finished) return 0;
  if (slot < 0) return 1;
  next = nullptr;
  if (effectActive && lastPiece) lastPiece->next = nullptr;
  drawX = drawY = 0;
  if (effectActive) {
    if (!StepEffect()) return 1;
    if (effectRemoveAtEnd) {
      finished = 1;
      return 0;
    }
  }
  if (animationOn) {
    ++frameCounter;
    if (int32_t(NowMs() - cellDue) >= 0) {
      frameCounter = 0;
      int following = cells[currentCell].next;
      if (following == -3) return 0;  // held hidden at its last cell
      if (following < 0 || following >= kSpriteCells) {
        // An end value, or a cell number outside the table, ends the chain.
        finished = 1;
        return 0;
      }
      currentCell = int16_t(following);
      int after = cells[currentCell].next;
      if (after == -1) {
        finished = 1;
        return 0;
      }
      if (after == -3) {
        if (visible) {
          visible = 0;
          ComputeBounds(0, 0);
          MergeBounds();
        }
        return 0;
      }
      LoadCell(currentCell);
      cellDue = NowMs() + uint32_t(cells[currentCell].duration);
      ComputeBounds(0, 0);
      MergeBounds();
    }
    const SpriteCell& c = cells[currentCell];
    if (c.offsetX) drawX = int16_t(drawX + c.offsetX);
    if (c.offsetY) drawY = int16_t(drawY + c.offsetY);
  }
  drawX = int16_t(drawX + x / 1000 - reqOriginX);
  drawY = int16_t(drawY + y / 1000 - reqOriginY);
  originX = uint16_t(reqOriginX);
  originY = uint16_t(reqOriginY);
  zoomX = uint16_t(reqZoomX);
  zoomY = uint16_t(reqZoomY);
  angle = uint16_t(reqAngle);
  return 1;
}
