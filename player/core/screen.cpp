#include "player/core/screen.h"

#include <algorithm>
#include <cstring>

CScreen::CScreen() : desc{}, mode{}, formatA(16), formatB(16), pixels_(nullptr), movie_(nullptr) {
  DetectDisplayMode(&mode);
  width_ = uint32_t(GetScreenWidth());
  height_ = uint32_t(GetScreenHeight());
  pixels_ = static_cast<uint16_t*>(LocalAlloc(LMEM_ZEROINIT, size_t(width_) * height_ * 2));
}

CScreen::~CScreen() {
  StopMovie(nullptr);
  if (pixels_) LocalFree(pixels_);
  pixels_ = nullptr;
}

bool CScreen::FitsFrameBuffer() const {
  return desc.bitsPerPixel == 16 && desc.width >= int32_t(height_) && desc.height >= int32_t(width_) &&
         desc.xPitch != 0 && desc.yPitch != 0;
}

void CScreen::Present(uint8_t* fb, const RECT* target, const RECT* source) const {
  if (!fb || !pixels_) return;
  const int w = int(width_), h = int(height_);
  RECT t{0, 0, w, h}, s{0, 0, w, h};
  if (target && source) {
    t = *target;
    s = *source;
  }
  // Keep both rectangles inside the back buffer.
  if (t.left < 0) {
    s.left -= t.left;
    t.left = 0;
  }
  if (t.top < 0) {
    s.top -= t.top;
    t.top = 0;
  }
  if (s.left < 0) {
    t.left -= s.left;
    s.left = 0;
  }
  if (s.top < 0) {
    t.top -= s.top;
    s.top = 0;
  }
  int cols = std::min<int>(t.right - t.left, std::min<int>(w - t.left, w - s.left));
  int rows = std::min<int>(t.bottom - t.top, std::min<int>(h - t.top, h - s.top));
  if (cols < 1 || rows < 1) return;
  const intptr_t xp = desc.xPitch, yp = desc.yPitch;
  const uint16_t* src = pixels_ + size_t(s.top) * w + s.left;
  uint8_t* dst = fb + intptr_t(w - 1 - t.left) * yp + intptr_t(t.top) * xp;
  if (xp == 2 && yp == 960 && w == 640) {
    // The common device: a 480 x 640 portrait buffer of 16-bit pixels.
    // Eight source rows at a time, so each frame-buffer row gets 16
    // neighbouring bytes per visit instead of one pixel.
    int r = 0;
    for (; r + 8 <= rows; r += 8) {
      uint16_t* d = reinterpret_cast<uint16_t*>(dst) + r;
      const uint16_t* p = src + size_t(r) * 640;
      for (int c = 0; c < cols; ++c) {
        uint16_t* o = d - 480 * c;
        for (int k = 0; k < 8; ++k) o[k] = p[size_t(k) * 640 + c];
      }
    }
    for (; r < rows; ++r) {
      uint16_t* d = reinterpret_cast<uint16_t*>(dst) + r;
      const uint16_t* p = src + size_t(r) * 640;
      for (int c = 0; c < cols; ++c) d[-480 * c] = p[c];
    }
    return;
  }
  for (int r = 0; r < rows; ++r) {
    uint8_t* d = dst + intptr_t(r) * xp;
    const uint16_t* p = src + size_t(r) * w;
    for (int c = 0; c < cols; ++c) std::memcpy(d - intptr_t(c) * yp, p + c, 2);
  }
}
