#include "player/core/glyph_writer.h"

#include <algorithm>

#include "common/sjis.h"
#include "formats/rgb565.h"
#include "player/core/glyph_dib.h"
#include "player/core/texts.h"

namespace {
constexpr int kWriterDibSize = 32;
constexpr int kWriterDibStride = kWriterDibSize / 8;
}  // namespace

CGlyphWriter::CGlyphWriter()
    : frameBuffer{}, font(nullptr), fontSize(12), dibBits(nullptr), dib(nullptr), memoryDc(nullptr) {
  CreateFont();
  CreateDib();
  QueryRawFrameBuffer(&frameBuffer);
}

CGlyphWriter::~CGlyphWriter() {
  if (memoryDc) DeleteDC(memoryDc);
  if (dib) DeleteObject(dib);
  if (font) DeleteObject(font);
  memoryDc = nullptr;
  dib = nullptr;
  font = nullptr;
}

int CGlyphWriter::CreateFont() {
  if (font) DeleteObject(font);
  LOGFONTW lf{};
  lf.lfHeight = fontSize;
  lf.lfWeight = FW_NORMAL;
  lf.lfCharSet = SHIFTJIS_CHARSET;
  lf.lfPitchAndFamily = FIXED_PITCH;
  lf.lfQuality = DEFAULT_QUALITY;
  MultiByteToWideChar(CP_ACP, 0, kTextGothic, -1, lf.lfFaceName, LF_FACESIZE);
  font = CreateFontIndirectW(&lf);
  return font ? 1 : 0;
}

int CGlyphWriter::CreateDib() {
  memoryDc = CreateCompatibleDC(nullptr);
  dib = MakeGlyphDibSection(kWriterDibSize, &dibBits);
  if (!memoryDc || !dib) return 0;
  SelectObject(memoryDc, dib);
  return 1;
}

void CGlyphWriter::DrawSjisText(uint16_t* target, const char* text, int x, int y, int grey, int size) {
  if (size >= 1 && size != fontSize) {
    fontSize = std::min(size, kWriterDibSize);
    CreateFont();
  }
  if (!text || !*text || !memoryDc || !dibBits || !font) return;
  grey = std::clamp(grey, 0, 255);
  const uint16_t colour = PackRgb565(grey, grey, grey);
  // The landscape screen; the portrait buffer holds W rows of H pixels.
  const int W = GetScreenWidth(), H = GetScreenHeight();
  SelectObject(memoryDc, font);
  const uint8_t* bits = static_cast<const uint8_t*>(dibBits);
  for (const char* p = text; *p;) {
    const unsigned char lead = static_cast<unsigned char>(*p);
    const int bytes = IsSjisLeadByte(lead) && p[1] ? 2 : 1;
    const int advance = bytes == 2 ? fontSize : fontSize / 2;
    WCHAR wide = 0;
    if (MultiByteToWideChar(CP_ACP, 0, p, bytes, &wide, 1) == 1) {
      SetBkColor(memoryDc, RGB(0, 0, 0));
      SetBkMode(memoryDc, OPAQUE);
      SetTextColor(memoryDc, RGB(255, 255, 255));
      // Nothing of an earlier, larger glyph may stay in the cell.
      PatBlt(memoryDc, 0, 0, kWriterDibSize, kWriterDibSize, BLACKNESS);
      ExtTextOutW(memoryDc, 0, 0, 0, nullptr, &wide, 1, nullptr);
      uint8_t* fb = target ? nullptr : BeginFrameBufferDraw();
      if (target || fb) {
        for (int r = 0; r < fontSize; ++r) {
          const int ly = y + r;
          if (ly < 0 || ly >= H) continue;
          for (int c = 0; c < advance; ++c) {
            if (!(bits[r * kWriterDibStride + (c >> 3)] & (0x80 >> (c & 7)))) continue;
            const int lx = x + c;
            if (lx < 0 || lx >= W) continue;
            if (target) {
              target[size_t(ly) + size_t(W - 1 - lx) * size_t(H)] = colour;
            } else if (ly < frameBuffer.width && W - 1 - lx < frameBuffer.height) {
              uint8_t* px = fb + ptrdiff_t(W - 1 - lx) * frameBuffer.yPitch + ptrdiff_t(ly) * frameBuffer.xPitch;
              *reinterpret_cast<uint16_t*>(px) = colour;
            }
          }
        }
      }
      if (fb) EndFrameBufferDraw();
    }
    p += bytes;
    x += advance;
  }
}
