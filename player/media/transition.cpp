#include "player/media/transition.h"

#include <cstring>
#include <string>

#include "formats/lzss.h"
#include "formats/rbp_format.h"
#include "player/core/display.h"
#include "player/core/pack_reader.h"
#include "player/core/polar.h"

CTransition::CTransition(int width, int height) : width_(width > 0 ? width : 0), height_(height > 0 ? height : 0) {}

CTransition::~CTransition() { FreeMask(); }

void CTransition::FreeMask() {
  if (mask_) LocalFree(mask_);
  mask_ = nullptr;
}

int CTransition::MakeMask(int kind, int durationMs, int mode) {
  FreeMask();
  const size_t size = static_cast<size_t>(width_) * height_;
  if (size == 0) return 0;
  mask_ = static_cast<BYTE*>(LocalAlloc(LMEM_FIXED, size));
  if (!mask_) return 0;
  duration_ = durationMs;
  mode_ = mode;
  extra_ = 0;
  BYTE* m = mask_;
  for (int y = 0; y < height_; ++y)
    for (int x = 0; x < width_; ++x)
      *m++ = static_cast<BYTE>(kind == 2 ? x * 128 / width_ + y * 128 / height_ : x * 256 / width_);
  return 1;
}

int CTransition::Start() {
  start_ = NowMs();
  return mask_ ? 1 : 0;
}

int CTransition::Apply(uint16_t* destination, const uint16_t* source) {
  if (!mask_ || !destination || !source) return 0;
  const DWORD elapsed = NowMs() - start_;
  if (mode_ == TRANSITION_SOFT_WIPE) return ApplySoftWipe(destination, source, elapsed);
  if (mode_ >= TRANSITION_TILE_MODES) return ApplyTiles(destination, source, elapsed);
  return 0;
}

int CTransition::ApplySoftWipe(uint16_t* destination, const uint16_t* source, DWORD elapsed) {
  if (duration_ <= 0 || elapsed >= static_cast<DWORD>(duration_)) return 0;
  const int t = static_cast<int>(static_cast<uint64_t>(elapsed) * 512 / static_cast<uint64_t>(duration_));
  const size_t count = static_cast<size_t>(width_) * height_;
  for (size_t i = 0; i < count; ++i) {
    const int m = mask_[i];
    if (m >= t) {
      destination[i] = source[i];
      continue;
    }
    const uint32_t a = static_cast<uint32_t>(t - m) >> 2;
    if (a >= 64) continue;
    const uint32_t fresh = destination[i], old = source[i];
    const uint32_t rb = (((fresh & 0xF81F) * a + (old & 0xF81F) * (64 - a)) >> 6) & 0xF81F;
    const uint32_t g = (((fresh & 0x07E0) * a + (old & 0x07E0) * (64 - a)) >> 6) & 0x07E0;
    destination[i] = static_cast<uint16_t>(rb | g);
  }
  return 1;
}

int CTransition::ApplyTiles(uint16_t* destination, const uint16_t* source, DWORD elapsed) {
  const uint64_t total = static_cast<uint64_t>(duration_ > 0 ? duration_ : 0) + static_cast<uint64_t>(extra_);
  if (duration_ <= 0 || elapsed >= total) return 0;
  const int canvasWidth = GetCanvasWidth() > 0 ? GetCanvasWidth() : 800;
  for (int i = 0; i < columns_ * rows_; ++i) {
    TransitionTile& tile = tiles_[i];
    uint32_t age = 0;
    if (elapsed >= static_cast<DWORD>(tile.delay)) {
      tile.x += tile.dx;
      tile.y += tile.dy;
      age = elapsed - static_cast<DWORD>(tile.delay);
    }
    int left = tile.x >> 10, top = tile.y >> 10;
    int w = tile.width, h = tile.height;
    int inX = 0, inY = 0;  // where the drawn part starts within the tile
    if (left < 0) {
      inX = -left;
      w -= inX;
      left = 0;
    }
    if (top < 0) {
      inY = -top;
      h -= inY;
      top = 0;
    }
    if (left + w > width_) w = width_ - left;
    if (top + h > height_) h = height_ - top;
    if (w < 1 || h < 1) continue;
    const uint16_t* from = source + static_cast<size_t>(tile.sourceY + inY) * width_ + tile.sourceX + inX;
    uint16_t* to = destination + static_cast<size_t>(top) * width_ + left;
    if (age == 0) {
      for (int r = 0; r < h; ++r) std::memcpy(to + r * width_, from + r * width_, static_cast<size_t>(w) * 2);
      continue;
    }
    const uint64_t q = static_cast<uint64_t>(age) * 25 / static_cast<uint64_t>(duration_);
    if (q >= 25) continue;  // vanished
    const int frameColumn = static_cast<int>(static_cast<int64_t>(width_) * static_cast<int64_t>(q) * 32 / canvasWidth);
    for (int r = 0; r < h; ++r) {
      const int maskRow = inY + r;
      if (maskRow >= ruleHeight_) break;
      const BYTE* m = mask_ + static_cast<size_t>(maskRow) * width_;
      for (int c = 0; c < w; ++c) {
        const int maskColumn = frameColumn + inX + c;
        if (maskColumn < width_ && m[maskColumn] != 0) to[r * width_ + c] = from[r * width_ + c];
      }
    }
  }
  return 1;
}

bool CTransition::SetUpTiles(int kind, int durationMs) {
  const int canvasWidth = GetCanvasWidth() > 0 ? GetCanvasWidth() : 800;
  const int canvasHeight = GetCanvasHeight() > 0 ? GetCanvasHeight() : 600;
  const int tileWidth = width_ * 32 / canvasWidth, tileHeight = height_ * 32 / canvasHeight;
  if (tileWidth < 1 || tileHeight < 1) return false;
  const int columns = (width_ + tileWidth - 1) / tileWidth, rows = (height_ + tileHeight - 1) / tileHeight;
  if (columns * rows > TRANSITION_MAX_TILES) return false;
  columns_ = columns;
  rows_ = rows;
  mode_ = TRANSITION_TILE_MODES + kind;
  duration_ = durationMs;
  extra_ = 0;
  for (int row = 0; row < rows; ++row) {
    for (int col = 0; col < columns; ++col) {
      TransitionTile& t = tiles_[row * columns + col];
      t = TransitionTile{};
      t.sourceX = col * tileWidth;
      t.sourceY = row * tileHeight;
      t.x = t.sourceX << 10;
      t.y = t.sourceY << 10;
      t.width = col == columns - 1 ? width_ - t.sourceX : tileWidth;
      t.height = row == rows - 1 ? height_ - t.sourceY : tileHeight;
      const int speedDraw = CeRand();
      const int directionDraw = CeRand();
      int speed = 8192, angle = directionDraw % 36000;
      switch (kind) {
        case 1:
          angle = col % 2 == 0 ? (directionDraw % 6000 + 33000) % 36000 : directionDraw % 6000 + 15000;
          speed = (speedDraw % 64) * 32 + 6000;
          break;
        case 2:
          t.delay = static_cast<int32_t>(static_cast<int64_t>(col + row) * durationMs / (columns + rows));
          extra_ = durationMs;
          angle = directionDraw % 6000 + 12000;
          speed = (speedDraw % 64 + 128) * 16;
          break;
        case 3:
          angle = directionDraw % 12000 + 3000;
          speed = (speedDraw % 64 + 128) * 64;
          break;
        default:
          break;
      }
      PolarToPoint(angle, speed, &t.dx, &t.dy);
    }
  }
  return true;
}

namespace {

// The name with ".rbp" in place of its extension (appended when it has none).
std::string WithRbpExtension(const char* name) {
  std::string s(name);
  const size_t dot = s.find_last_of('.');
  const size_t slash = s.find_last_of("\\/");
  if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) s.erase(dot);
  return s + ".rbp";
}

}  // namespace

int LoadRule(CTransition* transition, int kind, const char* pictureName, const char* packPath, PackReader* reader,
             int durationMs) {
  if (!transition || !pictureName || !packPath || !reader) return 0;
  DWORD size = 0;
  BYTE* entry = ReadPackEntry(reader, packPath, WithRbpExtension(pictureName).c_str(), &size);
  if (!entry) return 0;
  RbpHeader header{};
  int ok = 0;
  if (LoadRbpHeader(entry, size, &header) && header.type == RBP_TYPE_JBP1_ALPHA &&
      header.width == static_cast<DWORD>(transition->width_) &&
      header.height == static_cast<DWORD>(transition->height_)) {
    const uint64_t alphaAt = uint64_t{header.headerSize} + header.jbp1Length;
    const size_t planeSize = static_cast<size_t>(header.width) * header.height;
    if (planeSize > 0 && alphaAt <= size && header.alphaLength <= size - alphaAt) {
      transition->FreeMask();
      transition->mask_ = static_cast<BYTE*>(LocalAlloc(LMEM_FIXED, planeSize));
      if (transition->mask_ &&
          LzssDecode(transition->mask_, entry + alphaAt, static_cast<DWORD>(planeSize), header.alphaLength) ==
              static_cast<int>(planeSize) &&
          transition->SetUpTiles(kind, durationMs)) {
        transition->ruleWidth_ = static_cast<int>(header.width);
        transition->ruleHeight_ = static_cast<int>(header.height);
        ok = 1;
      } else {
        transition->FreeMask();
      }
    }
  }
  LocalFree(entry);
  return ok;
}
