// The GDI text layer: one-bit DIB sections, PatBlt, fonts resolved through
// fontconfig, ExtTextOutW's cell and baseline, text extents and glyph
// indices, emboldening, object lifetime and the family enumeration.
#include <gtest/gtest.h>

#include <windows.h>

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_TRUETYPE_TABLES_H

#include <string>
#include <vector>

#include "tests/text/text_env.h"

namespace {

struct Dib {
  HBITMAP bitmap = nullptr;
  HDC dc = nullptr;
  uint8_t* bits = nullptr;
  int width = 0, height = 0, stride = 0;
  Dib(int w, int h, bool topDown = true, bool inverted = false) : width(w), height(h), stride((w + 31) / 32 * 4) {
    struct {
      BITMAPINFOHEADER header;
      RGBQUAD colors[2];
    } info{};
    info.header.biSize = sizeof(BITMAPINFOHEADER);
    info.header.biWidth = w;
    info.header.biHeight = topDown ? -h : h;
    info.header.biPlanes = 1;
    info.header.biBitCount = 1;
    info.header.biCompression = BI_RGB;
    info.header.biClrUsed = 2;
    info.colors[inverted ? 0 : 1] = RGBQUAD{0xFF, 0xFF, 0xFF, 0};
    void* p = nullptr;
    dc = CreateCompatibleDC(nullptr);
    bitmap = CreateDIBSection(dc, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS, &p, nullptr, 0);
    bits = static_cast<uint8_t*>(p);
    SelectObject(dc, bitmap);
  }
  ~Dib() {
    DeleteDC(dc);
    DeleteObject(bitmap);
  }
  // Row y as the picture shows it (top-down in memory here).
  bool At(int x, int y) const { return (bits[size_t(y) * stride + (x >> 3)] >> (7 - (x & 7))) & 1; }
  int Ink() const {
    int n = 0;
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) n += At(x, y);
    return n;
  }
  std::vector<uint8_t> Copy() const { return std::vector<uint8_t>(bits, bits + size_t(stride) * height); }
  void Clear() { PatBlt(dc, 0, 0, width, height, BLACKNESS); }
};

HFONT Font(const char* utf8Face, int height, int weight = FW_NORMAL, int charset = SHIFTJIS_CHARSET) {
  LOGFONTW lf{};
  lf.lfHeight = height;
  lf.lfWeight = weight;
  lf.lfCharSet = BYTE(charset);
  lf.lfPitchAndFamily = FIXED_PITCH;
  MultiByteToWideChar(CP_UTF8, 0, utf8Face, -1, lf.lfFaceName, LF_FACESIZE);
  return CreateFontIndirectW(&lf);
}

// Draws text white on black at (x, y) with the given font into the DIB.
void Draw(Dib& d, HFONT font, const char16_t* text, int x = 0, int y = 0) {
  HGDIOBJ old = SelectObject(d.dc, font);
  SetBkColor(d.dc, RGB(0, 0, 0));
  SetTextColor(d.dc, RGB(255, 255, 255));
  SetBkMode(d.dc, TRANSPARENT);
  UINT n = 0;
  while (text[n]) ++n;
  EXPECT_TRUE(ExtTextOutW(d.dc, x, y, 0, nullptr, text, n, nullptr));
  SelectObject(d.dc, old);
}

TEST(GdiDib, LayoutPatBltAndRefusals) {
  Dib top(40, 3);
  ASSERT_NE(top.bits, nullptr);
  EXPECT_EQ(top.stride, 8);
  EXPECT_TRUE(PatBlt(top.dc, 3, 1, 10, 1, WHITENESS));
  const uint8_t row1[8] = {0x1F, 0xF8, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(0, std::memcmp(top.bits + 8, row1, 8));
  EXPECT_EQ(top.Ink(), 10);
  // Negative extents count from the other corner; the rest is clipped.
  EXPECT_TRUE(PatBlt(top.dc, 40, 3, -45, -2, WHITENESS));
  EXPECT_EQ(top.Ink(), 80);
  EXPECT_TRUE(PatBlt(top.dc, 0, 0, 40, 3, DSTINVERT));
  EXPECT_EQ(top.Ink(), 40);
  EXPECT_TRUE(PatBlt(top.dc, -100, -100, 1000, 1000, BLACKNESS));
  EXPECT_EQ(top.Ink(), 0);

  // A bottom-up DIB keeps its first picture row last in memory.
  Dib up(8, 2, false);
  PatBlt(up.dc, 0, 0, 8, 1, WHITENESS);
  EXPECT_EQ(up.bits[0], 0);
  EXPECT_EQ(up.bits[4], 0xFF);

  struct Bad {
    const char* name;
    int bpp, width, height;
    UINT usage;
    bool section;
  } bad[] = {{"8 bpp", 8, 8, 8, DIB_RGB_COLORS, false},
             {"no width", 1, 0, 8, DIB_RGB_COLORS, false},
             {"no height", 1, 8, 0, DIB_RGB_COLORS, false},
             {"palette indices", 1, 8, 8, DIB_PAL_COLORS, false},
             {"file section", 1, 8, 8, DIB_RGB_COLORS, true}};
  for (const Bad& b : bad) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = b.width;
    info.bmiHeader.biHeight = b.height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = WORD(b.bpp);
    void* bits = &info;
    int dummy = 0;
    EXPECT_EQ(CreateDIBSection(nullptr, &info, b.usage, &bits, b.section ? HANDLE(&dummy) : nullptr, 0), nullptr)
        << b.name;
    EXPECT_EQ(bits, nullptr) << b.name;
  }
  // Contexts and objects that are not ours are refused.
  EXPECT_FALSE(PatBlt(nullptr, 0, 0, 1, 1, BLACKNESS));
  EXPECT_FALSE(DeleteDC(GetDC(nullptr)));
  EXPECT_FALSE(DeleteObject(nullptr));
  EXPECT_EQ(SelectObject(top.dc, GetStockObject(BLACK_BRUSH)), nullptr);
}

TEST(GdiFont, CellTopAndBaselineAsGdiPlacesThem) {
  // The font file's own metrics, read independently.
  FT_Library lib;
  ASSERT_EQ(FT_Init_FreeType(&lib), 0);
  FT_Face face;
  ASSERT_EQ(FT_New_Face(lib, "/usr/share/fonts/opentype/ipafont-gothic/ipag.ttf", 0, &face), 0);
  const TT_OS2* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
  ASSERT_NE(os2, nullptr);
  const long winA = os2->usWinAscent, sum = os2->usWinAscent + os2->usWinDescent, upem = face->units_per_EM;

  struct Case {
    int lfHeight;
    long baseline;  // rows from the cell top
    long cell;
  } cases[] = {{28, (28 * winA * 2 + sum) / (2 * sum), 28},
               {12, (12 * winA * 2 + sum) / (2 * sum), 12},
               {-26, (26 * winA * 2 + upem) / (2 * upem), (26 * sum + upem / 2) / upem},
               {112, (112 * winA * 2 + sum) / (2 * sum), 112}};
  for (const Case& c : cases) {
    Dib d(256, 256);
    HFONT f = Font("IPAGothic", c.lfHeight);
    ASSERT_NE(f, nullptr);
    // "H" as FreeType renders it at the same em size, its origin on the
    // baseline one ascent below the cell top.
    const long em = c.lfHeight > 0 ? (c.lfHeight * upem * 64 + sum / 2) / sum : -c.lfHeight * 64L;
    ASSERT_EQ(FT_Set_Char_Size(face, 0, em, 72, 72), 0);
    ASSERT_EQ(FT_Load_Char(face, 'H', FT_LOAD_RENDER | FT_LOAD_TARGET_MONO), 0);
    const FT_GlyphSlot g = face->glyph;
    ASSERT_GT(g->bitmap.rows, 0u);
    Draw(d, f, u"H", 0, 0);
    int ink = 0;
    for (int y = 0; y < 256; ++y)
      for (int x = 0; x < 256; ++x) {
        const int gx = x - g->bitmap_left, gy = y - int(c.baseline - g->bitmap_top);
        const bool want = gx >= 0 && gy >= 0 && gx < int(g->bitmap.width) && gy < int(g->bitmap.rows) &&
                          ((g->bitmap.buffer[gy * g->bitmap.pitch + (gx >> 3)] >> (7 - (gx & 7))) & 1);
        ASSERT_EQ(d.At(x, y), want) << c.lfHeight << " at " << x << "," << y;
        ink += want;
      }
    EXPECT_GT(ink, 0);
    d.Clear();
    Draw(d, f, u"漢gjÅ", 0, 0);
    for (int y = int(c.cell); y < 256; ++y)
      for (int x = 0; x < 256; ++x) ASSERT_FALSE(d.At(x, y)) << c.lfHeight << " ink below the cell at row " << y;
    EXPECT_GT(d.Ink(), 0);
    // The reference point moves the whole drawing.
    std::vector<uint8_t> at0 = d.Copy();
    d.Clear();
    Draw(d, f, u"漢gjÅ", 8, 5);
    for (int y = 0; y + 5 < 256; ++y)
      for (int x = 0; x + 8 < 256; ++x)
        ASSERT_EQ(d.At(x + 8, y + 5), bool((at0[size_t(y) * 32 + (x >> 3)] >> (7 - (x & 7))) & 1)) << c.lfHeight;
    DeleteObject(f);
  }
  FT_Done_Face(face);
  FT_Done_FreeType(lib);
}

TEST(GdiFont, WindowsJapaneseFacesMapToTheGothic) {
  auto glyph = [](const char* face, int weight = FW_NORMAL, const char16_t* text = u"漢あA") {
    Dib d(128, 64);
    HFONT f = Font(face, 40, weight);
    EXPECT_NE(f, nullptr) << face;
    if (!f) return std::vector<uint8_t>();
    Draw(d, f, text);
    DeleteObject(f);
    return d.Copy();
  };
  const std::vector<uint8_t> gothic = glyph("IPAGothic");
  const std::vector<uint8_t> proportional = glyph("IPAPGothic");
  ASSERT_NE(gothic, std::vector<uint8_t>(gothic.size(), 0));
  for (const char* alias : {"ＭＳ ゴシック", "MS Gothic", "ms gothic", "IPAゴシック", "ＭＳ 明朝"})
    EXPECT_EQ(glyph(alias), gothic) << alias;
  for (const char* alias : {"ＭＳ Ｐゴシック", "MS PGothic", "MS UI Gothic"})
    EXPECT_EQ(glyph(alias), proportional) << alias;
  // An unknown face still gives a Japanese font, as GDI's mapper does.
  EXPECT_EQ(glyph("No Such Face"), glyph(""));
  EXPECT_NE(glyph("No Such Face"), std::vector<uint8_t>(gothic.size(), 0));
  // Light weights draw as the regular face; heavy ones are emboldened, the
  // strokes a column wider and the pen moved on by as much.
  EXPECT_EQ(glyph("IPAGothic", 200), gothic);
  EXPECT_EQ(glyph("IPAGothic", 0), gothic);
  const std::vector<uint8_t> bold = glyph("IPAGothic", 900);
  EXPECT_EQ(glyph("IPAGothic", 600), bold);
  EXPECT_NE(bold, gothic);
  auto ink = [](const std::vector<uint8_t>& v) {
    int n = 0;
    for (uint8_t b : v) n += __builtin_popcount(b);
    return n;
  };
  const std::vector<uint8_t> one = glyph("IPAGothic", FW_NORMAL, u"漢"), oneBold = glyph("IPAGothic", 900, u"漢");
  EXPECT_GT(ink(oneBold), ink(one) * 5 / 4);
  for (size_t i = 0; i < one.size(); ++i) ASSERT_EQ(one[i] & ~oneBold[i], 0) << "bold covers regular at " << i;
}

TEST(GdiFont, ColoursModesAndClipping) {
  HFONT f = Font("IPAGothic", 20);
  ASSERT_NE(f, nullptr);
  // Opaque mode paints the cell in the background colour, the ink in the
  // text colour, each mapped to the nearer palette entry.
  Dib d(32, 32);
  SelectObject(d.dc, f);
  SetBkMode(d.dc, OPAQUE);
  SetBkColor(d.dc, RGB(250, 250, 250));
  SetTextColor(d.dc, RGB(10, 10, 10));
  ExtTextOutW(d.dc, 0, 0, 0, nullptr, u"漢", 1, nullptr);
  int white = d.Ink();
  EXPECT_GT(white, 200);
  EXPECT_LT(white, 20 * 20);
  for (int y = 20; y < 32; ++y) EXPECT_FALSE(d.At(0, y));  // below the cell untouched
  // The same glyph drawn transparent in white gives the complement within the cell.
  Dib t(32, 32);
  Draw(t, f, u"漢");
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 18; ++x) ASSERT_NE(t.At(x, y), d.At(x, y)) << x << "," << y;
  // An inverted palette takes white as index 0.
  Dib inv(32, 32, true, true);
  Draw(inv, f, u"漢");
  EXPECT_EQ(inv.Ink(), 0);
  // Drawing past every edge stays inside the bitmap; ETO_CLIPPED keeps to the rectangle.
  Dib small(16, 16);
  Draw(small, f, u"漢漢", -7, -9);
  Draw(small, f, u"漢", 10, 10);
  EXPECT_GT(small.Ink(), 0);
  small.Clear();
  SelectObject(small.dc, f);
  RECT clip{4, 4, 8, 8};
  ExtTextOutW(small.dc, 0, 0, ETO_CLIPPED, &clip, u"■", 1, nullptr);
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x)
      if (small.At(x, y)) {
        ASSERT_TRUE(x >= 4 && x < 8 && y >= 4 && y < 8) << x << "," << y;
      }
  EXPECT_GT(small.Ink(), 0);
  // dx spacing places each character.
  small.Clear();
  const INT dx[2] = {8, 8};
  ExtTextOutW(small.dc, 0, 0, 0, nullptr, u"||", 2, dx);
  Dib one(16, 16);
  Draw(one, f, u"|");
  EXPECT_GT(one.Ink(), 0);
  EXPECT_EQ(small.Ink(), 2 * one.Ink());
  DeleteObject(f);  // freed with the last context holding it
}

// The width of a text is where ExtTextOutW's pen ends: a character drawn
// at the extent of the text before it lands where the whole text puts it.
// Characters the font lacks are marked when asked.
TEST(GdiFont, TextExtentAndGlyphIndices) {
  HFONT f = Font("IPAGothic", 20);
  ASSERT_NE(f, nullptr);
  Dib whole(128, 24), parts(128, 24);
  Draw(whole, f, u"aW漢x");
  SelectObject(parts.dc, f);
  SIZE size{};
  ASSERT_TRUE(GetTextExtentPoint32W(parts.dc, u"aW漢", 3, &size));
  EXPECT_EQ(size.cy, 20);
  EXPECT_GT(size.cx, 30);
  Draw(parts, f, u"aW漢");
  Draw(parts, f, u"x", int(size.cx));
  EXPECT_EQ(parts.Copy(), whole.Copy());
  SIZE none{};
  ASSERT_TRUE(GetTextExtentPoint32W(parts.dc, u"", 0, &none));
  EXPECT_EQ(none.cx, 0);
  EXPECT_EQ(none.cy, 20);
  EXPECT_FALSE(GetTextExtentPoint32W(nullptr, u"a", 1, &size));

  WORD indices[3] = {};
  ASSERT_EQ(GetGlyphIndicesW(parts.dc, u"あ\u0378a", 3, indices, GGI_MARK_NONEXISTING_GLYPHS), 3u);
  EXPECT_NE(indices[0], 0xFFFF);
  EXPECT_NE(indices[0], 0);
  EXPECT_EQ(indices[1], 0xFFFF);
  EXPECT_NE(indices[2], 0xFFFF);
  ASSERT_EQ(GetGlyphIndicesW(parts.dc, u"\u0378", 1, indices, 0), 1u);
  EXPECT_EQ(indices[0], 0);
  EXPECT_EQ(GetGlyphIndicesW(nullptr, u"a", 1, indices, 0), GDI_ERROR);
  DeleteObject(f);
}

TEST(GdiFont, SelectedObjectsOutliveDeleteObject) {
  Dib d(64, 64);
  HFONT a = Font("IPAGothic", 30);
  HFONT b = Font("IPAGothic", 10);
  ASSERT_TRUE(a && b);
  HGDIOBJ stock = SelectObject(d.dc, a);
  EXPECT_NE(stock, nullptr);  // the context's own first font
  EXPECT_TRUE(DeleteObject(a));
  EXPECT_FALSE(DeleteObject(a));
  // Still selected: it keeps drawing until replaced.
  SetTextColor(d.dc, RGB(255, 255, 255));
  SetBkMode(d.dc, TRANSPARENT);
  EXPECT_TRUE(ExtTextOutW(d.dc, 0, 0, 0, nullptr, u"漢", 1, nullptr));
  EXPECT_GT(d.Ink(), 100);
  SelectObject(d.dc, b);  // frees a
  EXPECT_EQ(SelectObject(d.dc, a), nullptr);
  // A bitmap lives in one context at a time.
  HDC other = CreateCompatibleDC(nullptr);
  EXPECT_EQ(SelectObject(other, d.bitmap), nullptr);
  DeleteDC(other);
  EXPECT_TRUE(DeleteObject(b));
}

TEST(GdiFont, EnumeratesTheInstalledScalableFamilies) {
  struct Seen {
    std::string name;
    DWORD type;
    int charset, pitch;
  };
  std::vector<Seen> seen;
  auto collect = [](const LOGFONTW* lf, const TEXTMETRICW*, DWORD type, LPARAM data) -> int {
    char name[128];
    WCHAR face[LF_FACESIZE + 1] = {};
    std::copy_n(lf->lfFaceName, LF_FACESIZE, face);
    WideCharToMultiByte(CP_UTF8, 0, face, -1, name, sizeof name, nullptr, nullptr);
    reinterpret_cast<std::vector<Seen>*>(data)->push_back({name, type, lf->lfCharSet, lf->lfPitchAndFamily & 3});
    return 1;
  };
  EXPECT_EQ(EnumFontFamiliesW(GetDC(nullptr), nullptr, collect, LPARAM(&seen)), 1);
  ASSERT_EQ(seen.size(), 2u);
  // The names a Japanese system shows; both draw as many of the code page's
  // characters, and the fixed-pitch family leads.
  EXPECT_EQ(seen[0].name, "IPAゴシック");
  EXPECT_EQ(seen[1].name, "IPA Pゴシック");
  for (const Seen& s : seen) {
    EXPECT_EQ(s.type, DWORD(TRUETYPE_FONTTYPE));
    EXPECT_EQ(s.charset, SHIFTJIS_CHARSET);
  }
  EXPECT_EQ(seen[0].pitch, FIXED_PITCH);
  EXPECT_EQ(seen[1].pitch, VARIABLE_PITCH);
  // One family by name; a callback's 0 stops the walk and is returned.
  seen.clear();
  EXPECT_EQ(EnumFontFamiliesW(nullptr, u"IPAGothic", collect, LPARAM(&seen)), 1);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].name, "IPAゴシック");
  int calls = 0;
  auto stop = [](const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM data) -> int {
    ++*reinterpret_cast<int*>(data);
    return 0;
  };
  EXPECT_EQ(EnumFontFamiliesW(nullptr, nullptr, stop, LPARAM(&calls)), 0);
  EXPECT_EQ(calls, 1);
}

}  // namespace
