#include "player/core/picture.h"

#include <velmi_device.h>

#include <algorithm>
#include <cstring>

#include "common/file.h"
#include "common/sjis.h"
#include "formats/le_bytes.h"
#include "formats/lzss.h"
#include "formats/rbp_format.h"
#include "formats/rgb565.h"
#include "player/core/display.h"
#include "player/core/picture_sources.h"
#include "player/core/screen.h"

namespace {

BYTE* Alloc(size_t bytes) { return static_cast<BYTE*>(LocalAlloc(0, bytes ? bytes : 1)); }

void Free(BYTE*& p) {
  if (p) LocalFree(p);
  p = nullptr;
}

}  // namespace

CPicture::CPicture()
    : width(0),
      height(0),
      canvasWidth(0),
      canvasHeight(0),
      name{},
      flags(0),
      depth(32),
      pixels(nullptr),
      palette(nullptr),
      alpha(nullptr),
      owned(nullptr),
      mask(nullptr),
      maskPitch(0) {}

void CPicture::FreePixels() {
  Free(owned);
  Free(alpha);
  Free(mask);
  pixels = nullptr;
  palette = nullptr;
}

BYTE* ReadRbpFile(const char* sourcePath, const char* name, PackReader* reader, int* shared, DWORD* size) {
  *shared = 0;
  *size = 0;
  // A folder ends in a backslash character, not in a trail byte 0x5C (as in ソ).
  size_t len = StrLength(sourcePath);
  const char* lastSlash = SjisFindLastChar(sourcePath, '\\');
  if (len && lastSlash == sourcePath + len - 1) {
    char path[1024];
    if (len + StrLength(name) + 1 > sizeof path) return nullptr;
    StrAppend(StrCopy(path, sourcePath), name);
    return ReadWholeFile(path, size, 0);
  }
  if (!reader) return nullptr;
  return ReadPictureEntry(reader, sourcePath, name, size, shared);
}

static int ReadPicture(CPicture* pic, const char* name, const char* sourcePath, int bit31, PackReader* reader);

// Every picture that fails to load is reported to the device's test channel.
int LoadPicture(CPicture* pic, const char* name, const char* sourcePath, int bit31, PackReader* reader) {
  int ok = ReadPicture(pic, name, sourcePath, bit31, reader);
  if (!ok) VelmiDeviceReportPictureFailure(name);
  return ok;
}

static int ReadPicture(CPicture* pic, const char* name, const char* sourcePath, int bit31, PackReader* reader) {
  // The extension is forced on a copy; the caller's name stays as given.
  size_t len = StrLength(name);
  if (len >= 64) return 0;
  char local[72];
  StrCopy(local, name);
  char* dot = SjisFindLastChar(local, '.');
  if (!dot) {
    if (len + 4 >= 64) return 0;
    StrAppend(local, ".rbp");
  } else if (!SjisEqual(dot, ".rbp")) {
    if (size_t(dot - local) + 4 >= 64) return 0;
    StrCopy(dot, ".rbp");
  }
  StrCopy(pic->name, local);

  int shared = 0;
  DWORD size = 0;
  BYTE* image = ReadRbpFile(sourcePath, local, reader, &shared, &size);
  if (!image) return 0;
  auto release = [&] {
    if (!shared) LocalFree(image);
  };
  RbpHeader header;
  if (!LoadRbpHeader(image, size, &header)) {
    release();
    return 0;
  }
  uint32_t type = header.type;
  uint32_t w = header.width, h = header.height;
  uint64_t offset = header.headerSize;
  uint64_t pixelsCount = uint64_t(w) * h;
  // Pictures of the game are at most a few screens wide; larger sizes are damage.
  if (w > 0x4000 || h > 0x4000) {
    release();
    return 0;
  }
  BYTE* pixels = nullptr;
  BYTE* alphaPlane = nullptr;
  BYTE* palette = nullptr;
  uint32_t depth = 32;
  bool keepImage = false;
  bool ok = true;

  switch (type) {
    case RBP_TYPE_RGB565: {
      if (offset + pixelsCount * 2 > size || !(pixels = Alloc(pixelsCount * 2))) {
        ok = false;
        break;
      }
      uint16_t* out = reinterpret_cast<uint16_t*>(pixels);
      const BYTE* in = image + offset;
      for (uint64_t i = 0; i < pixelsCount; ++i) out[i] = GetLe16(in + 2 * i);
      depth = 16;
      break;
    }
    case RBP_TYPE_RGB565_ALPHA: {
      if (offset + pixelsCount * 3 > size || !(pixels = Alloc(pixelsCount * 2)) || !(alphaPlane = Alloc(pixelsCount))) {
        ok = false;
        break;
      }
      bool sixBit = header.magic[3] == '1';
      uint16_t* out = reinterpret_cast<uint16_t*>(pixels);
      const BYTE* in = image + offset;
      for (uint64_t i = 0; i < pixelsCount; ++i, in += 3) {
        out[i] = GetLe16(in);
        uint8_t a = in[2];
        alphaPlane[i] = sixBit && a ? uint8_t(a * 4 | 3) : a;
      }
      depth = 24;
      break;
    }
    case RBP_TYPE_JBP1:
    case RBP_TYPE_JBP1_ALPHA: {
      uint64_t jbpLength = header.jbp1Length;
      if (offset + jbpLength > size || !(pixels = DecodeJbp1Picture(image + offset, DWORD(jbpLength), w, h))) {
        ok = false;
        break;
      }
      depth = 16;
      if (type == RBP_TYPE_JBP1_ALPHA) {
        uint64_t alphaLength = header.alphaLength;
        uint64_t at = offset + jbpLength;
        if (at + alphaLength > size || !(alphaPlane = Alloc(pixelsCount)) ||
            LzssDecode(alphaPlane, image + at, DWORD(pixelsCount), DWORD(alphaLength)) < 0) {
          ok = false;
          break;
        }
        for (uint64_t i = 0; i < pixelsCount; ++i)
          if (alphaPlane[i]) alphaPlane[i] |= 3;
        depth = 24;
      }
      break;
    }
    case RBP_TYPE_PALETTE: {
      if (uint64_t(RBP_PALETTE_PIXELS) + pixelsCount > size) {
        ok = false;
        break;
      }
      if (shared) {
        BYTE* copy = Alloc(size);
        if (!copy) {
          ok = false;
          break;
        }
        std::memcpy(copy, image, size);
        image = copy;
        shared = 0;
      }
      keepImage = true;
      palette = image + RBP_HEADER_SIZE;
      pixels = image + RBP_PALETTE_PIXELS;
      depth = 8;
      break;
    }
    case RBP_TYPE_GREY: {
      if (offset + pixelsCount > size || !(pixels = Alloc(pixelsCount * 2))) {
        ok = false;
        break;
      }
      uint16_t* out = reinterpret_cast<uint16_t*>(pixels);
      const BYTE* in = image + offset;
      for (uint64_t i = 0; i < pixelsCount; ++i) {
        uint32_t g = in[i];
        out[i] = PackRgb565(g, g, g);
      }
      depth = 16;
      break;
    }
    default:
      break;  // an unknown type loads as an empty picture
  }

  if (!ok) {
    Free(pixels);
    Free(alphaPlane);
    release();
    return 0;
  }
  pic->width = w;
  pic->height = h;
  pic->canvasWidth = header.sourceWidth;
  pic->canvasHeight = header.sourceHeight;
  pic->depth = depth;
  pic->palette = palette;
  pic->alpha = alphaPlane;
  if (keepImage) {
    pic->owned = image;
    pic->pixels = pixels;
  } else {
    pic->owned = pixels;
    pic->pixels = pixels;
    release();
  }
  pic->flags = bit31 ? 0x80000000u : 0;
  return 1;
}

int CPicture::CreateBlank(CPicture* pic, uint32_t width, uint32_t height, uint8_t fill, int kind) {
  pic->FreePixels();
  size_t count = size_t(width) * height;
  BYTE* pixels = Alloc(count * 2);
  BYTE* alphaPlane = kind != 2 && pixels ? Alloc(count) : nullptr;
  if (!pixels || (kind != 2 && !alphaPlane)) {
    // Nothing of the old picture or of the new one stays.
    Free(pixels);
    Free(alphaPlane);
    pic->flags = 0;
    pic->depth = 32;
    pic->width = pic->height = 0;
    pic->canvasWidth = pic->canvasHeight = 0;
    return 0;
  }
  std::memset(pixels, fill, count * 2);
  pic->owned = pic->pixels = pixels;
  pic->depth = 16;
  if (alphaPlane) {
    std::memset(alphaPlane, fill, count);
    pic->alpha = alphaPlane;
    pic->depth = 24;
  }
  pic->flags = 0x80000000u;
  pic->width = width;
  pic->height = height;
  pic->canvasWidth = int32_t(int64_t(GetCanvasWidth()) * int32_t(width) / GetScreenWidth());
  pic->canvasHeight = int32_t(int64_t(GetCanvasHeight()) * int32_t(height) / GetScreenHeight());
  return 1;
}

int CPicture::CaptureScreen(CPicture* pic, const CScreen* screen) {
  uint32_t w = screen->GetWidth(), h = screen->GetHeight();
  BYTE* buf = Alloc(size_t(w) * h * 2);
  if (!buf) return 0;
  std::memcpy(buf, screen->GetPixels(), size_t(w) * h * 2);
  Free(pic->owned);
  pic->owned = pic->pixels = buf;
  pic->width = w;
  pic->height = h;
  pic->flags = 0;
  pic->depth = 16;
  return 1;
}

void CPicture::TintPercent(CPicture* pic, uint32_t percent) {
  if ((pic->depth != 16 && pic->depth != 24) || !pic->pixels) return;
  uint32_t pr = percent & 0xFF, pg = (percent >> 8) & 0xFF, pb = (percent >> 16) & 0xFF;
  uint16_t* p = pic->GetPixels();
  size_t n = size_t(pic->width) * pic->height;
  for (size_t i = 0; i < n; ++i) {
    uint32_t r = Red8(p[i]) * pr / 100, g = Green8(p[i]) * pg / 100, b = Blue8(p[i]) * pb / 100;
    p[i] = PackRgb565(r > 255 ? 255 : r, g > 255 ? 255 : g, b > 255 ? 255 : b);
  }
}

void CPicture::Darken(CPicture* pic, uint32_t factor) {
  // Depth 24 keeps alpha in its own plane, so pixels are 2 bytes apart there too.
  if ((pic->depth != 16 && pic->depth != 24) || !pic->pixels) return;
  uint32_t f = factor & 0xFFFF;
  uint16_t* p = pic->GetPixels();
  size_t n = size_t(pic->width) * pic->height;
  for (size_t i = 0; i < n; ++i) {
    uint32_t r = (Red8(p[i]) * f) >> 8, g = (Green8(p[i]) * f) >> 8, b = (Blue8(p[i]) * f) >> 8;
    p[i] = PackRgb565(r > 255 ? 255 : r, g > 255 ? 255 : g, b > 255 ? 255 : b);
  }
}

void CPicture::AlphaCompose(CPicture* target, const CPicture* source, int tx, int ty, int sx, int sy, int width,
                            int height) {
  if (target->depth != 16 || source->depth != 24 || !target->pixels || !source->pixels || !source->alpha) return;
  // Clip the rectangle to both pictures.
  if (tx < 0) {
    sx -= tx;
    width += tx;
    tx = 0;
  }
  if (ty < 0) {
    sy -= ty;
    height += ty;
    ty = 0;
  }
  if (sx < 0) {
    tx -= sx;
    width += sx;
    sx = 0;
  }
  if (sy < 0) {
    ty -= sy;
    height += sy;
    sy = 0;
  }
  width = std::min<int64_t>(width, std::min<int64_t>(int64_t(target->width) - tx, int64_t(source->width) - sx));
  height = std::min<int64_t>(height, std::min<int64_t>(int64_t(target->height) - ty, int64_t(source->height) - sy));
  if (width <= 0 || height <= 0) return;
  for (int j = 0; j < height; ++j) {
    uint16_t* d = target->GetPixels() + size_t(ty + j) * target->width + tx;
    const uint16_t* s = source->GetPixels() + size_t(sy + j) * source->width + sx;
    const uint8_t* a = source->alpha + size_t(sy + j) * source->width + sx;
    for (int i = 0; i < width; ++i) {
      uint32_t w = a[i];
      if (w == 0) continue;
      if (w == 255) {
        d[i] = s[i];
        continue;
      }
      d[i] =
          PackRgb565((Red8(d[i]) * (256 - w) + Red8(s[i]) * w) >> 8, (Green8(d[i]) * (256 - w) + Green8(s[i]) * w) >> 8,
                     (Blue8(d[i]) * (256 - w) + Blue8(s[i]) * w) >> 8);
    }
  }
}

BYTE* MakeThumbnailBmp(const uint16_t* src, uint32_t sw, uint32_t sh, uint32_t tw, uint32_t th, DWORD* sizeOut) {
  if (!tw || !th) return nullptr;
  uint64_t bytes = 54 + uint64_t(tw) * th * 2;
  if (bytes > 0x7FFFFFFF) return nullptr;
  BYTE* out = static_cast<BYTE*>(LocalAlloc(LMEM_ZEROINIT, size_t(bytes)));
  if (!out) return nullptr;
  auto put32 = [&](size_t at, uint32_t v) { PutLe32(out + at, v); };
  auto put16 = [&](size_t at, uint32_t v) { PutLe16(out + at, v); };
  out[0] = 'B';
  out[1] = 'M';
  put32(2, uint32_t(bytes));
  put32(10, 54);
  put32(14, 40);
  put32(18, tw);
  put32(22, th);
  put16(26, 1);
  put16(28, 16);
  put32(34, tw * th * 2);
  uint32_t stepX = uint32_t((uint64_t(sw) << 10) / tw), stepY = uint32_t((uint64_t(sh) << 10) / th);
  uint32_t boxW = stepX >> 10, boxH = stepY >> 10;
  for (uint32_t j = 0; j < th; ++j) {
    BYTE* row = out + 54 + size_t(th - 1 - j) * tw * 2;
    for (uint32_t i = 0; i < tw; ++i) {
      uint32_t value = 0;
      if (stepY >= 1024 && boxW && boxH) {
        uint32_t x0 = uint32_t((uint64_t(i) * stepX) >> 10), y0 = uint32_t((uint64_t(j) * stepY) >> 10);
        uint32_t r = 0, g = 0, b = 0, n = 0;
        for (uint32_t y = y0; y < y0 + boxH && y < sh; ++y)
          for (uint32_t x = x0; x < x0 + boxW && x < sw; ++x) {
            uint16_t p = src[size_t(y) * sw + x];
            r += Red8(p);
            g += Green8(p);
            b += Blue8(p);
            ++n;
          }
        if (n) value = PackRgb565(r / n, g / n, b / n);
      }
      PutLe16(row + i * 2, value);
    }
  }
  if (sizeOut) *sizeOut = DWORD(bytes);
  return out;
}

uint32_t PackDateTime(const char* t) {
  if (StrLength(t) < 19) return 0;
  auto two = [&](int at) { return uint32_t((t[at] - '0') * 10 + (t[at + 1] - '0')); };
  return (two(2) & 0x7F) << 25 | (two(5) & 0xF) << 21 | (two(8) & 0x1F) << 16 | (two(11) & 0x1F) << 11 |
         (two(14) & 0x3F) << 5 | ((two(17) / 2) & 0x1F);
}

int ReadSaveHeader(CPicture* pic, const char* fileName, const char* folder, char* scriptNameOut,
                   size_t scriptNameCapacity, uint32_t* iconOut, uint32_t* stampOut) {
  if (stampOut) *stampOut = 0;
  char path[1024];
  if (StrLength(folder) + StrLength(fileName) + 1 > sizeof path) return 0;
  StrAppend(StrCopy(path, folder), fileName);
  DWORD size = 0;
  BYTE* image = ReadWholeFile(path, &size, 0);
  if (!image) return 0;
  auto fail = [&] {
    LocalFree(image);
    return 0;
  };
  if (size < 128 || image[0] != 'Y' || image[1] != 'M' || image[2] != 'N' || image[3] < '0' || image[3] > '9')
    return fail();
  uint64_t bmp = GetLe32(image + 4);
  if (bmp + 54 > size) return fail();
  uint32_t w = GetLe32(image + bmp + 14 + 4), h = GetLe32(image + bmp + 14 + 8);
  if (w > 0x4000 || h > 0x4000 || bmp + 54 + uint64_t(w) * h * 2 > size) return fail();
  BYTE* buf = Alloc(size_t(w) * h * 2);
  if (!buf) return fail();
  for (uint32_t y = 0; y < h; ++y)
    std::memcpy(buf + size_t(y) * w * 2, image + bmp + 54 + size_t(h - 1 - y) * w * 2, size_t(w) * 2);
  pic->FreePixels();
  pic->owned = pic->pixels = buf;
  pic->width = w;
  pic->height = h;
  pic->depth = 16;
  pic->flags = 0;
  if (iconOut) *iconOut = GetLe32(image + 92);
  if (scriptNameOut && scriptNameCapacity) {
    size_t n = 0;
    while (106 + n < size && image[106 + n] && n + 1 < scriptNameCapacity) {
      scriptNameOut[n] = char(image[106 + n]);
      ++n;
    }
    scriptNameOut[n] = 0;
  }
  if (stampOut) {
    char stamp[20];
    std::memcpy(stamp, image + 8, 19);
    stamp[19] = 0;
    *stampOut = PackDateTime(stamp);
  }
  LocalFree(image);
  return 1;
}
