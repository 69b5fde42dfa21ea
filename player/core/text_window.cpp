#include "player/core/text_window.h"

#include <algorithm>
#include <cstring>

#include "common/sjis.h"
#include "formats/le_bytes.h"
#include "formats/rgb565.h"
#include "player/core/dirty_list.h"
#include "player/core/display.h"
#include "player/core/error_box.h"
#include "player/core/glyph_dib.h"
#include "player/core/input.h"
#include "player/core/picture.h"
#include "player/core/screen.h"
#include "player/core/settings.h"
#include "player/core/sprite.h"
#include "player/core/texts.h"

const int FontWeightTable[5] = {0, 200, 400, 600, 900};

namespace {

// Shift-JIS codes as the records hold them (first byte low).
constexpr uint16_t kRubyOpen = 0x6F81;       // ｛
constexpr uint16_t kRubyClose = 0x7081;      // ｝
constexpr uint16_t kRubySeparator = 0x5E81;  // ／
constexpr uint16_t kEmphasisDot = 0x4581;    // ・
constexpr uint16_t kCloseQuote = 0x7681;     // 」
constexpr uint16_t kFullStop = 0x4281;       // 。
constexpr uint16_t kComma = 0x4181;          // 、

constexpr int kMaxSampleFactor = 16;

// Set bits of each byte value.
constexpr struct BitCounts {
  uint8_t n[256];
  constexpr BitCounts() : n{} {
    for (int i = 0; i < 256; ++i)
      n[i] = uint8_t((i & 1) + (i >> 1 & 1) + (i >> 2 & 1) + (i >> 3 & 1) + (i >> 4 & 1) + (i >> 5 & 1) + (i >> 6 & 1) +
                     (i >> 7 & 1));
  }
  constexpr uint8_t operator[](uint32_t i) const { return n[i]; }
} kBitCount;
constexpr uint32_t kBacklogGrey = 0xCCCCCC;

HFONT g_messageFont = nullptr;
int g_messageFontHeight = 0;
int g_messageFontWeight = 4;
char g_messageFontFace[128] = {};

const char* FaceName() {
  if (!g_messageFontFace[0]) StrCopy(g_messageFontFace, kTextGothic);
  return g_messageFontFace;
}

HFONT MakeFont(int height, int weight, const char* face) {
  LOGFONTW lf{};
  lf.lfHeight = height;
  lf.lfWeight = weight;
  lf.lfCharSet = SHIFTJIS_CHARSET;
  lf.lfPitchAndFamily = FIXED_PITCH;
  lf.lfQuality = DEFAULT_QUALITY;
  WCHAR wide[128] = {};
  MultiByteToWideChar(CP_ACP, 0, face, -1, wide, 128);
  std::copy_n(wide, LF_FACESIZE - 1, lf.lfFaceName);
  return CreateFontIndirectW(&lf);
}

inline bool IsLead(const char* p) { return IsSjisLeadByte(static_cast<unsigned char>(p[0])) && p[1] != 0; }

inline uint16_t CodeAt(const char* p) { return GetLe16(reinterpret_cast<const uint8_t*>(p)); }

inline bool IsBreak(char c) { return c == '/' || c == '\\' || c == '\n'; }

inline int32_t Later(uint32_t a, uint32_t b) { return int32_t(a - b); }

inline uint16_t Blend(uint32_t pixel, uint32_t colour, uint32_t a) {
  const uint32_t rb = (((pixel & 0xF81F) * (64 - a) + (colour & 0xF81F) * a) >> 6) & 0xF81F;
  const uint32_t g = (((pixel & 0x07E0) * (64 - a) + (colour & 0x07E0) * a) >> 6) & 0x07E0;
  return uint16_t(rb | g);
}

inline uint16_t Darken(uint32_t pixel, uint32_t a) {
  const uint32_t rb = (((pixel & 0xF81F) * (64 - a)) >> 6) & 0xF81F;
  const uint32_t g = (((pixel & 0x07E0) * (64 - a)) >> 6) & 0x07E0;
  return uint16_t(rb | g);
}

// The sample factor that keeps cell x factor inside the glyph DIB.
int FitSampleFactor(int cell, int n) {
  n = std::clamp(n, 1, kMaxSampleFactor);
  while (n > 1 && cell * n > kGlyphDibSize) --n;
  return n;
}

bool Meets(const TextCharRecord& r, const RECT& d) {
  return r.left < d.right && d.left < r.right && r.top < d.bottom && d.top < r.bottom;
}

}  // namespace

int CreateMessageFont(int height, int weightIndex) {
  DeleteMessageFont();
  g_messageFontHeight = height;
  g_messageFontWeight = std::clamp(weightIndex, 0, 4);
  g_messageFont = MakeFont(height, FontWeightTable[g_messageFontWeight], FaceName());
  if (!g_messageFont) {
    StrCopy(g_messageFontFace, kTextGothic);
    g_messageFont = MakeFont(height, FontWeightTable[g_messageFontWeight], g_messageFontFace);
  }
  if (g_messageFont) SetErrorBoxFace(FaceName());
  return g_messageFont ? 1 : 0;
}

int SetMessageFontFace(const char* face) {
  if (!face) return 0;
  size_t n = StrLength(face);
  if (n >= sizeof g_messageFontFace) return int(n);
  StrCopy(g_messageFontFace, face);
  CreateMessageFont(g_messageFontHeight, g_messageFontWeight);
  return 0;
}

void DeleteMessageFont() {
  if (g_messageFont) DeleteObject(g_messageFont);
  g_messageFont = nullptr;
}

int GetMessageFontHeight() { return g_messageFontHeight; }
int GetMessageFontWeightIndex() { return g_messageFontWeight; }
const char* GetMessageFontFace() { return FaceName(); }

CTextWindow::CTextWindow()
    : records{},
      hiddenByPlayer(0),
      display(0),
      backlogView(0),
      backlogPage(-1),
      count(0),
      lastLayoutTime(0),
      nextCharTime(NowMs()),
      lineStartX(0),
      lineStartY(0),
      charSpacing(0),
      lineSpacing(0),
      marginX(0),
      marginY(0),
      penX(0),
      penY(0),
      fontSize(24),
      charsPerLine(0),
      lineCount(0),
      column(0),
      lineNumber(0),
      areaX(0),
      areaY(0),
      areaWidth(0),
      areaHeight(0),
      colour(0xFFFFFF),
      progress(0),
      text(nullptr),
      noWait(0),
      textBuffer{},
      cursor(nullptr),
      dibBits(nullptr),
      dib(nullptr),
      memoryDc(nullptr),
      dibWidth(kGlyphDibSize),
      dibHeight(kGlyphDibSize),
      dibStride(kGlyphDibSize / 8),
      sizePercent(100),
      rubyFlag(0),
      baseCount(0),
      rubyCount(0),
      rubyText{},
      rubyX(0),
      rubyY(0) {
  backlog.Init();
  CreateGlyphDib();
}

CTextWindow::~CTextWindow() {
  if (memoryDc) DeleteDC(memoryDc);
  if (dib) DeleteObject(dib);
  memoryDc = nullptr;
  dib = nullptr;
  dibBits = nullptr;
  backlog.Free();
}

int CTextWindow::CreateGlyphDib() {
  dib = MakeGlyphDibSection(kGlyphDibSize, &dibBits);
  memoryDc = CreateCompatibleDC(nullptr);
  dibWidth = dibHeight = kGlyphDibSize;
  dibStride = kGlyphDibSize / 8;
  return dib && memoryDc ? 1 : 0;
}

void CTextWindow::SetTextArea(int x, int y, int w, int h) {
  areaX = int32_t(uint32_t(ScaleX(x)) * 1000u);
  areaY = int32_t(uint32_t(ScaleY(y)) * 1000u);
  areaWidth = ScaleX(w);
  areaHeight = ScaleY(h);
  cursor = nullptr;
  lineStartX = ScaleX(x) + 16;
  lineStartY = ScaleY(y) + 16;
  charSpacing = lineSpacing = 0;
  marginX = ScaleX(16);
  marginY = ScaleY(16);
  penX = lineStartX;
  penY = lineStartY;
  fontSize = 24;
  column = lineNumber = 0;
  display = backlogView = 0;
  backlogPage = -1;
  CreateMessageFont(24, g_messageFontWeight);
  noWait = 0;
  textBuffer[0] = 0;
}

void CTextWindow::SetPosition(int x, int y) {
  lineStartX = areaX / 1000 + ScaleX(x);
  lineStartY = areaY / 1000 + ScaleY(y);
  penX = lineStartX;
  penY = lineStartY;
}

void CTextWindow::SetFontSize(int size) { fontSize = size; }

void CTextWindow::SetSpacing(int characterGap, int lineGap) {
  charSpacing = ScaleX(characterGap);
  lineSpacing = ScaleY(lineGap);
}

void CTextWindow::SetLineLimits(int charactersPerLine, int lines) {
  charsPerLine = charactersPerLine;
  lineCount = lines;
}

void CTextWindow::StartText(const char* t) {
  text = t;
  cursor = t;
  progress = 0;
  rubyFlag = 0;
  nextCharTime = NowMs();
  if (!t) return;
  // The buffer keeps what fits, never half a character.
  size_t used = StrLength(textBuffer);
  const char* p = t;
  while (*p) {
    size_t n = IsLead(p) ? 2 : 1;
    if (used + n >= sizeof textBuffer) break;
    std::memcpy(textBuffer + used, p, n);
    used += n;
    p += n;
  }
  textBuffer[used] = 0;
}

void CTextWindow::ClearText() {
  for (TextCharRecord& r : records) {
    r.inUse = 0;
    r.state = 0;
  }
  count = 0;
  textBuffer[0] = 0;
}

void CTextWindow::SetInstantMode(int flag) {
  display = flag != 0;
  if (!display) return;
  for (int i = 0; i < count && i < kTextRecords; ++i)
    if (records[i].state < 2) records[i].state = 1;
}

int CTextWindow::ShowAllChars(int flag) {
  if (display != 1) return 0;
  for (int i = 0; i < count && i < kTextRecords; ++i) {
    if (flag == 0)
      records[i].state = 0;
    else if (records[i].state < 2)
      records[i].state = 1;
  }
  return 1;
}

int CTextWindow::NamePlateTop() const { return areaY / 1000 + ScaleY(12); }

void CTextWindow::FlagCharsInRect(CDirtyList* dirty) {
  if (!display || !dirty) return;
  TextCharRecord* list = records;
  int n = std::clamp(count, 0, kTextRecords);
  if (backlogView) {
    uint32_t tag = 0;
    list = static_cast<TextCharRecord*>(backlog.GetData(backlogPage, &tag));
    if (!list) return;
    n = int(std::min<uint32_t>({tag, uint32_t(kTextRecords), backlog.GetDataSize(backlogPage) / 24u}));
  }
  // Only rectangles whose sprites are redrawn wipe the text under them; a
  // glyph drawn again over itself would darken its edges.
  const int rects = dirty->Count();
  for (int k = 0; k < rects; ++k) {
    RECT d;
    if (dirty->GetRect(k, &d) != 1) continue;
    for (int i = 0; i < n; ++i)
      if (list[i].state < 2 && Meets(list[i], d)) list[i].state = 1;
  }
}

void CTextWindow::Draw(CScreen* screen, int antialiasLevel, int shadow) {
  if (!display) return;
  if (backlogView) {
    uint32_t tag = 0;
    TextCharRecord* page = static_cast<TextCharRecord*>(backlog.GetData(backlogPage, &tag));
    if (!page) return;
    int n = int(std::min<uint32_t>({tag, uint32_t(kTextRecords), backlog.GetDataSize(backlogPage) / 24u}));
    const int nameTop = NamePlateTop();
    for (int i = 0; i < n; ++i)
      if (page[i].top != nameTop) page[i].colour = kBacklogGrey;
    DrawChars(screen, page, n, antialiasLevel + 1, shadow);
    return;
  }
  DrawChars(screen, records, count, antialiasLevel + 1, shadow);
}

WCHAR CTextWindow::RenderGlyph(uint16_t character, int cellPixels) {
  if (!memoryDc || !dibBits) return 0;
  char bytes[2] = {char(character & 0xFF), char(character >> 8)};
  WCHAR wide = 0;
  if (MultiByteToWideChar(CP_ACP, 0, bytes, bytes[1] ? 2 : 1, &wide, 1) != 1) return 0;
  SelectObject(memoryDc, dib);
  if (!g_messageFont || g_messageFontHeight != cellPixels) CreateMessageFont(cellPixels, g_messageFontWeight);
  if (!g_messageFont) return 0;
  SelectObject(memoryDc, g_messageFont);
  SetBkColor(memoryDc, RGB(0, 0, 0));
  SetTextColor(memoryDc, RGB(255, 255, 255));
  SetBkMode(memoryDc, TRANSPARENT);
  PatBlt(memoryDc, 0, 0, cellPixels, cellPixels, BLACKNESS);
  ExtTextOutW(memoryDc, 0, 0, 0, nullptr, &wide, 1, nullptr);
  return wide;
}

const uint16_t* CTextWindow::Coverage(int cell, int n) const {
  // Set bits of each n x n block of the DIB, one output pixel each.  Window
  // thread only, like the DIB itself.
  static uint16_t counts[kGlyphDibSize * kGlyphDibSize];
  const uint8_t* bits = static_cast<const uint8_t*>(dibBits);
  std::fill(counts, counts + size_t(cell) * cell, uint16_t(0));
  const uint32_t mask = (1u << n) - 1;
  for (int y = 0; y < cell * n; ++y) {
    const uint8_t* row = bits + size_t(y) * dibStride;
    uint16_t* out = counts + size_t(y / n) * cell;
    for (int i = 0; i < cell; ++i) {
      const int x = i * n, b = x >> 3;
      // Three bytes hold any block of up to 16 bits starting inside the first.
      uint32_t w = uint32_t(row[b]) << 16;
      if (b + 1 < dibStride) w |= uint32_t(row[b + 1]) << 8;
      if (b + 2 < dibStride) w |= row[b + 2];
      const uint32_t block = (w >> (24 - (x & 7) - n)) & mask;
      out[i] = uint16_t(out[i] + kBitCount[block & 0xFF] + kBitCount[block >> 8]);
    }
  }
  return counts;
}

void CTextWindow::DrawChars(CScreen* screen, TextCharRecord* chars, int n, int sampleFactor, int shadow) {
  if (!chars) return;
  n = std::clamp(n, 0, kTextRecords);
  uint16_t* pixels = screen ? screen->GetPixels() : nullptr;
  const int W = screen ? int(screen->GetWidth()) : 0, H = screen ? int(screen->GetHeight()) : 0;
  for (int k = 0; k < n; ++k) {
    TextCharRecord& rec = chars[k];
    if (rec.state == 0) continue;
    const int size = int(std::min<uint32_t>(rec.size, kGlyphDibSize));
    const int f = FitSampleFactor(size, sampleFactor);
    if (pixels && size > 0 && RenderGlyph(rec.character, size * f)) {
      const uint32_t c = rec.colour;
      const uint16_t colour565 = Rgb565FromBgr(c);
      const int blocks = f * f;
      const uint16_t* cov = Coverage(size, f);
      for (int pass = shadow ? 0 : 1; pass < 2; ++pass) {
        const int ox = rec.left + (pass == 0 ? 1 : 0), oy = rec.top + (pass == 0 ? 1 : 0);
        for (int j = 0; j < size; ++j) {
          const int y = oy + j;
          if (y < 0 || y >= H) continue;
          uint16_t* row = pixels + size_t(y) * W;
          const uint16_t* crow = cov + size_t(j) * size;
          for (int i = 0; i < size; ++i) {
            const int bits = crow[i];
            if (!bits) continue;
            const int x = ox + i;
            if (x < 0 || x >= W) continue;
            const uint32_t a = uint32_t(63 * bits / blocks);
            if (pass == 0)
              row[x] = a >= 63 ? 0 : Darken(row[x], a);
            else
              row[x] = a >= 63 ? colour565 : Blend(row[x], colour565, a);
          }
        }
      }
    }
    rec.state = 0;
  }
}

void CTextWindow::DrawStringWith(CPicture* target, const char* str, int size, int spacing, uint32_t colour, int x,
                                 int y, int n, int shadow, HFONT altFont) {
  if (!target || !str || !target->pixels || (target->depth != 16 && target->depth != 24)) return;
  if (!memoryDc || !dibBits) return;
  const int g = ScaleX(int(int64_t(sizePercent) * size / 100));
  if (g <= 0) return;
  const int cell = std::min(g, kGlyphDibSize);
  const int f = altFont ? n : FitSampleFactor(cell, n);
  const uint16_t colour565 = Rgb565FromRgb(colour);
  uint16_t* pixels = target->GetPixels();
  uint8_t* alpha = target->depth == 24 ? target->alpha : nullptr;
  const int W = int(target->width), H = int(target->height);
  const int64_t baseX = ScaleX(x), baseY = ScaleY(y);
  const int gap = ScaleX(spacing);
  int64_t pen = 0;
  for (const char* p = str; *p;) {
    const int bytes = IsLead(p) ? 2 : 1;
    const int advance = bytes == 2 ? g : g / 2;
    const uint16_t code = bytes == 2 ? CodeAt(p) : uint16_t(static_cast<unsigned char>(*p));
    bool drawn = false;
    if (altFont) {
      char mb[2] = {p[0], bytes == 2 ? p[1] : char(0)};
      WCHAR wide = 0;
      if (MultiByteToWideChar(CP_ACP, 0, mb, bytes, &wide, 1) == 1) {
        SelectObject(memoryDc, dib);
        SelectObject(memoryDc, altFont);
        SetBkColor(memoryDc, RGB(0, 0, 0));
        SetTextColor(memoryDc, RGB(255, 255, 255));
        SetBkMode(memoryDc, TRANSPARENT);
        PatBlt(memoryDc, 0, 0, cell * f, cell * f, BLACKNESS);
        ExtTextOutW(memoryDc, 0, 0, 0, nullptr, &wide, 1, nullptr);
        drawn = true;
      }
    } else {
      drawn = RenderGlyph(code, cell * f) != 0;
    }
    if (drawn) {
      const int blocks = f * f;
      const uint16_t* cov = Coverage(cell, f);
      for (int pass = shadow ? 0 : 1; pass < 2; ++pass) {
        const uint16_t c = pass == 0 ? 0 : colour565;
        const int64_t ox = baseX + pen + (pass == 0 ? 1 : 0), oy = baseY + (pass == 0 ? 1 : 0);
        for (int j = 0; j < cell; ++j) {
          const int64_t ty = oy + j;
          if (ty < 0 || ty >= H) continue;
          for (int i = 0; i < cell; ++i) {
            const int64_t tx = ox + i;
            if (tx < 0 || tx >= W) continue;
            const int bits = cov[size_t(j) * cell + i];
            if (!bits) continue;
            const uint32_t v = uint32_t(255 * bits / blocks);
            const size_t at = size_t(ty) * W + size_t(tx);
            if (v >= 255) {
              pixels[at] = c;
              if (alpha) alpha[at] = 255;
            } else {
              if (alpha) alpha[at] = uint8_t(alpha[at] + (((255 - alpha[at]) * v) >> 8));
              pixels[at] = Blend(pixels[at], c, v >> 2);
            }
          }
        }
      }
    }
    pen += advance + gap;
    p += bytes;
  }
}

void CTextWindow::DrawString(CPicture* target, const char* str, int size, int spacing, uint32_t colour, int x, int y,
                             int sampleFactor, int shadow) {
  DrawStringWith(target, str, size, spacing, colour, x, y, sampleFactor, shadow, nullptr);
}

void CTextWindow::DrawStringAltFont(CPicture* target, const char* str, int size, int spacing, uint32_t colour, int x,
                                    int y, int sampleFactorLess1, int shadow, int weightIndex) {
  const int g = ScaleX(int(int64_t(sizePercent) * size / 100));
  if (g <= 0 || !str) return;
  const int cell = std::min(g, kGlyphDibSize);
  const int f = FitSampleFactor(cell, sampleFactorLess1 + 1);
  HFONT font = MakeFont(cell * f, FontWeightTable[std::clamp(weightIndex, 0, 4)], kTextGothic);
  if (!font) return;
  DrawStringWith(target, str, size, spacing, colour, x, y, f, shadow, font);
  // The message font goes back in before the call's font is deleted.
  if (g_messageFont) SelectObject(memoryDc, g_messageFont);
  DeleteObject(font);
}

int LayoutText(CTextWindow* w, GameSettings* settings, InputState* input, CDirtyList* dirty, int speedFactor) {
  if (!w || !w->text) return 1;
  const char* const text = w->text;
  const char* cur = text + w->progress;
  const int g = ScaleX(int(int64_t(w->fontSize) * w->sizePercent / 100));
  const int lineAdvance = ScaleX(w->fontSize) + w->lineSpacing;
  int multiplier = 1;
  auto addRecord = [&](uint16_t code, int left, int top, int size) {
    if (w->count < 0) w->count = 0;
    if (w->count >= kTextRecords) return;  // the table is full: the character is not drawn
    TextCharRecord& r = w->records[w->count++];
    r.inUse = 1;
    r.state = 1;
    r.character = code;
    r.size = uint32_t(std::max(size, 0));
    r.colour = w->colour;
    r.left = int16_t(left);
    r.top = int16_t(top);
    r.right = int16_t(left + size + 1);
    r.bottom = int16_t(top + size + 1);
    if (dirty) {
      RECT d{r.left, r.top, r.right + 1, r.bottom + 1};
      dirty->Add(&d, 0);
    }
  };
  for (;;) {
    // Step 2: end, line breaks and blanks.
    const char c = *cur;
    if (c == 0) {
      w->progress = uint32_t(cur - text);
      w->cursor = cur;
      return 1;
    }
    if (IsBreak(c)) {
      w->penX = w->lineStartX;
      w->penY += lineAdvance;
      w->column = 0;
      w->lineNumber++;
      ++cur;
      continue;
    }
    if (c == ' ') {
      ++cur;
      continue;
    }
    // Step 3: ruby groups.
    while (IsLead(cur)) {
      const uint16_t code = CodeAt(cur);
      if (code == kRubyOpen) {
        w->rubyX = w->penX;
        w->rubyFlag = 1;
        w->baseCount = 0;
        w->rubyCount = 0;
        cur += 2;
        w->rubyY = w->penY - ScaleY(14);
        while (*cur) {
          if (IsLead(cur) && CodeAt(cur) == kRubySeparator) {
            cur += 2;
            break;
          }
          const bool twoBytes = IsLead(cur);
          const uint16_t rc = twoBytes ? CodeAt(cur) : uint16_t(static_cast<unsigned char>(*cur));
          if (w->rubyCount < kRubyChars) w->rubyText[w->rubyCount++] = rc;
          cur += twoBytes ? 2 : 1;
        }
      } else if (code == kRubyClose) {
        cur += 2;
        const int rubies = std::clamp(w->rubyCount, 0, kRubyChars);
        if (rubies > 0) {
          const bool emphasis = w->rubyText[0] == kEmphasisDot;
          const int rubySize = emphasis ? 28 : 14;
          const int top = w->rubyY - (emphasis ? 4 : 0);
          const int64_t r = ScaleX(rubySize);
          const int64_t R = r * rubies * 1024;
          const int64_t B = ((int64_t(w->charSpacing) + g) * w->baseCount - w->charSpacing) * 1024;
          int64_t pos, step;
          if (R <= B) {
            const int64_t gap = (B - R) / (2 * rubies);
            pos = int64_t(w->rubyX) * 1024 + gap;
            step = 2 * gap + r * 1024;
          } else {
            pos = int64_t(w->rubyX) * 1024 - (R - B) / 2;
            step = r * 1024;
          }
          for (int i = 0; i < rubies; ++i, pos += step) addRecord(w->rubyText[i], int(pos / 1024), top, int(r));
        }
        w->rubyFlag = 0;
        w->baseCount = 0;
        w->rubyCount = 0;
      } else {
        break;
      }
    }
    // Step 4.
    if (*cur == 0 || IsBreak(*cur)) continue;
    // Step 5: a fresh press lays out the rest at once.
    if (input && (input->count[IN_RIGHT] == 1 || input->count[IN_KEY_C] == 1 || input->tap == 1)) {
      multiplier = 0;
      if (input->count[IN_RIGHT] == 1) input->count[IN_RIGHT] = 2;
      if (input->count[IN_KEY_C] == 1) input->count[IN_KEY_C] = 2;
      input->tap = 0;
    }
    // Step 6: the delay.
    int64_t delay = 0;
    const bool instant = w->noWait || (settings && settings->skipRunning == 1) || (input && input->count[IN_LEFT] >= 1);
    if (!instant && settings) delay = int64_t(settings->messageSpeed) * speedFactor / 10 * multiplier;
    delay = std::clamp<int64_t>(delay, 0, 0x7FFFFFFF);
    // Step 7.
    const uint32_t now = NowMs();
    w->lastLayoutTime = now;
    if (Later(now, w->nextCharTime + uint32_t(delay)) < 0) {
      w->progress = uint32_t(cur - text);
      w->cursor = cur;
      return 0;
    }
    // Step 8: the character.
    const bool twoBytes = IsLead(cur);
    const uint16_t code = twoBytes ? CodeAt(cur) : uint16_t(static_cast<unsigned char>(*cur));
    cur += twoBytes ? 2 : 1;
    if (w->rubyFlag) w->baseCount++;
    // Step 9: closing punctuation stays at the end of a full line.
    if (w->charsPerLine > 0 && w->column >= w->charsPerLine && code != kCloseQuote && code != kFullStop &&
        code != kComma) {
      w->penX = w->lineStartX;
      w->penY += lineAdvance;
      w->lineNumber++;
      w->column = 0;
    }
    // Step 10.
    addRecord(code, w->penX, w->penY, g);
    w->column++;
    w->nextCharTime += uint32_t(delay);
    w->penX += g + w->charSpacing;
  }
}
