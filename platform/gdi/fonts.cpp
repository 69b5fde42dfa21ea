// Fonts of the text backend: face names resolved through fontconfig,
// glyphs rendered by FreeType in monochrome, laid out as GDI places them
// (cell top at the reference point, baseline one ascent below), and the
// family enumeration.
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_TRUETYPE_TABLES_H
#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <map>
#include <unordered_map>
#include <vector>

#include <velmi_platform.h>

#include "platform/gdi/gdi_internal.h"
#include "platform/src/utf8.h"

#if defined(__SANITIZE_ADDRESS__)
#define VELMI_LEAK_CHECKER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VELMI_LEAK_CHECKER 1
#endif
#endif
#if VELMI_LEAK_CHECKER
#include <sanitizer/lsan_interface.h>
#endif

namespace velmi_gdi {

struct Face {
  FT_Face ft = nullptr;
  long upem = 0;
  long winAscent = 0;
  long winDescent = 0;
  int weight = 400;  // OpenType scale
  long currentEm = -1;
};

struct Glyph {
  int left = 0;  // from the pen to the first column
  int top = 0;   // from the baseline up to the first row
  int width = 0;
  int rows = 0;
  int advance = 0;
  int pitch = 0;              // bytes a row
  std::vector<uint8_t> bits;  // rows of set bits, most significant first
  bool At(int c, int r) const { return (bits[size_t(r) * pitch + (c >> 3)] >> (7 - (c & 7))) & 1; }
};

struct GlyphKey {
  const Face* face;
  long em;
  int overstrike;
  uint32_t code;
  bool operator==(const GlyphKey& o) const {
    return face == o.face && em == o.em && overstrike == o.overstrike && code == o.code;
  }
};

struct GlyphKeyHash {
  size_t operator()(const GlyphKey& k) const {
    size_t h = std::hash<const void*>()(k.face);
    h = h * 1000003u ^ size_t(k.em);
    h = h * 1000003u ^ size_t(k.overstrike);
    return h * 1000003u ^ k.code;
  }
};

// Held for the life of the process (faces are shared by every font).
struct Backend {
  FT_Library library = nullptr;
  bool fontconfigTried = false;
  bool fontconfigReady = false;
  std::map<std::string, Face*> faces;     // by file and index
  std::map<std::string, Face*> resolved;  // by request
  std::unordered_map<GlyphKey, Glyph, GlyphKeyHash> glyphs;
  Font* stockFont = nullptr;
  bool stockTried = false;
};

static Backend& B() {
  static Backend* b = new Backend;
  return *b;
}

constexpr size_t kGlyphCacheLimit = 8192;
constexpr long kDefaultCellHeight = 16;
constexpr long kMaxPixelHeight = 4096;

static bool FontconfigReady() {
  Backend& b = B();
  if (!b.fontconfigTried) {
    b.fontconfigTried = true;
    // fontconfig drops a few bytes while parsing some system configurations;
    // they are its own, made once, and not ours to report.
#if VELMI_LEAK_CHECKER
    __lsan_disable();
#endif
    const bool loaded = FcInit() == FcTrue;
#if VELMI_LEAK_CHECKER
    __lsan_enable();
#endif
    b.fontconfigReady = loaded && FT_Init_FreeType(&b.library) == 0;
  }
  return b.fontconfigReady;
}

// Windows Japanese faces and the families that stand in for them, best first.
struct FaceAlias {
  std::vector<std::string> windowsNames;
  std::vector<std::string> families;
};

static const std::vector<FaceAlias>& Aliases() {
  static const std::vector<FaceAlias> table = {
      {{"ＭＳ ゴシック", "MS Gothic", "ＭＳゴシック", "Osaka－等幅", "Osaka-Mono"},
       {"IPAGothic", "IPAゴシック", "IPAexGothic", "Noto Sans Mono CJK JP", "VL Gothic", "TakaoGothic", "monospace"}},
      {{"ＭＳ Ｐゴシック", "MS PGothic", "MS UI Gothic", "ＭＳ UI Gothic", "メイリオ", "Meiryo", "Meiryo UI",
        "游ゴシック", "Yu Gothic", "Osaka"},
       {"IPAPGothic", "IPA Pゴシック", "IPAexGothic", "IPAGothic", "Noto Sans CJK JP", "VL PGothic", "TakaoPGothic",
        "sans-serif"}},
      {{"ＭＳ 明朝", "MS Mincho", "ＭＳ明朝"},
       {"IPAMincho", "IPA明朝", "IPAexMincho", "Noto Serif CJK JP", "TakaoMincho", "IPAGothic", "serif"}},
      {{"ＭＳ Ｐ明朝", "MS PMincho", "游明朝", "Yu Mincho"},
       {"IPAPMincho", "IPA P明朝", "IPAexMincho", "Noto Serif CJK JP", "IPAPGothic", "IPAGothic", "serif"}},
  };
  return table;
}

static bool SameName(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
    if (x >= 'a' && x <= 'z') x = x - 'a' + 'A';
    if (y >= 'a' && y <= 'z') y = y - 'a' + 'A';
    if (x != y) return false;
  }
  return true;
}

static std::vector<std::string> FamiliesFor(const std::string& name) {
  for (const FaceAlias& a : Aliases())
    for (const std::string& w : a.windowsNames)
      if (SameName(w, name)) return a.families;
  if (name.empty()) return {};
  return {name};
}

static Face* OpenFace(const std::string& path, int index) {
  Backend& b = B();
  std::string key = path + '\n' + std::to_string(index);
  auto it = b.faces.find(key);
  if (it != b.faces.end()) return it->second;
  FT_Face ft = nullptr;
  if (FT_New_Face(b.library, path.c_str(), index, &ft) != 0) return nullptr;
  if (!FT_IS_SCALABLE(ft) || ft->units_per_EM == 0) {
    FT_Done_Face(ft);
    return nullptr;
  }
  Face* f = new Face;
  f->ft = ft;
  f->upem = ft->units_per_EM;
  // GDI's cell is the Windows ascent and descent of the OS/2 table.
  const TT_OS2* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(ft, FT_SFNT_OS2));
  if (os2 && os2->version != 0xFFFF && os2->usWinAscent + os2->usWinDescent > 0) {
    f->winAscent = os2->usWinAscent;
    f->winDescent = os2->usWinDescent;
  } else {
    f->winAscent = std::max<long>(ft->ascender, 1);
    f->winDescent = std::max<long>(-ft->descender, 0);
  }
  if (os2 && os2->version != 0xFFFF && os2->usWeightClass >= 1 && os2->usWeightClass <= 1000)
    f->weight = os2->usWeightClass;
  else
    f->weight = (ft->style_flags & FT_STYLE_FLAG_BOLD) ? 700 : 400;
  b.faces[key] = f;
  return f;
}

// The characters of code page 932's non-kanji rows: JIS rows 1 to 8 (lead
// bytes 0x81 to 0x84) and the NEC special row 13 (lead byte 0x87), each
// character once.  Game texts draw their symbols from these rows.
static const std::vector<uint32_t>& NonKanjiCharacters() {
  static const std::vector<uint32_t> characters = [] {
    std::vector<uint32_t> out;
    for (int lead : {0x81, 0x82, 0x83, 0x84, 0x87})
      for (int trail = 0x40; trail <= 0xFC; ++trail) {
        if (trail == 0x7F) continue;
        const char bytes[2] = {char(lead), char(trail)};
        WCHAR wide = 0;
        if (MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, bytes, 2, &wide, 1) == 1) out.push_back(wide);
      }
    std::sort(out.begin(), out.end());
    out.erase(std::unique(out.begin(), out.end()), out.end());
    return out;
  }();
  return characters;
}

// How many of NonKanjiCharacters a face's character set holds.  The set is
// the one fontconfig lists from its cache, so no font file is opened.
static int CodePageCoverage(const FcCharSet* set) {
  int n = 0;
  if (set)
    for (uint32_t c : NonKanjiCharacters()) n += FcCharSetHasChar(set, c) == FcTrue;
  return n;
}

static Face* Resolve(const std::string& name, int weight, bool fixed, bool japanese) {
  Backend& b = B();
  if (!FontconfigReady()) return nullptr;
  std::string key = name + '\n' + std::to_string(weight) + (fixed ? "F" : "V") + (japanese ? "J" : "-");
  auto it = b.resolved.find(key);
  if (it != b.resolved.end()) return it->second;
  FcPattern* p = FcPatternCreate();
  for (const std::string& family : FamiliesFor(name))
    FcPatternAddString(p, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
  if (japanese) FcPatternAddString(p, FC_LANG, reinterpret_cast<const FcChar8*>("ja"));
  FcPatternAddInteger(p, FC_WEIGHT, FcWeightFromOpenType(weight));
  if (fixed) FcPatternAddInteger(p, FC_SPACING, FC_MONO);
  FcPatternAddBool(p, FC_SCALABLE, FcTrue);
  FcConfigSubstitute(nullptr, p, FcMatchPattern);
  FcDefaultSubstitute(p);
  FcResult result = FcResultNoMatch;
  FcPattern* match = FcFontMatch(nullptr, p, &result);
  FcPatternDestroy(p);
  Face* face = nullptr;
  if (match) {
    FcChar8* file = nullptr;
    int index = 0;
    if (FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch && file) {
      FcPatternGetInteger(match, FC_INDEX, 0, &index);
      face = OpenFace(reinterpret_cast<const char*>(file), index);
    }
    FcPatternDestroy(match);
  }
  if (face) b.resolved[key] = face;
  return face;
}

static Font* MakeFont(const LOGFONTW& lf) {
  size_t n = 0;
  while (n < LF_FACESIZE && lf.lfFaceName[n]) ++n;
  const std::string name = velmi::WideToUtf8Lossy(lf.lfFaceName, n);
  const int weight = lf.lfWeight <= 0 ? FW_NORMAL : std::min<int>(lf.lfWeight, 1000);
  Face* face = Resolve(name, weight, (lf.lfPitchAndFamily & 3) == FIXED_PITCH, lf.lfCharSet == SHIFTJIS_CHARSET);
  if (!face) return nullptr;
  Font* f = new Font;
  f->logical = lf;
  f->face = face;
  const long sum = face->winAscent + face->winDescent, upem = face->upem;
  long h = lf.lfHeight == 0 ? kDefaultCellHeight : lf.lfHeight;
  h = std::clamp(h, -kMaxPixelHeight, kMaxPixelHeight);
  if (h > 0) {
    // A cell height: the em is scaled so that ascent + descent fill it.
    f->cellHeight = int(h);
    f->emHeight = std::max(1L, (h * upem * 64 + sum / 2) / sum);
    f->ascent = int((h * face->winAscent * 2 + sum) / (2 * sum));
  } else {
    f->emHeight = -h * 64;
    f->cellHeight = int((-h * sum + upem / 2) / upem);
    f->ascent = int((-h * face->winAscent * 2 + upem) / (2 * upem));
  }
  // Heavy weights of a face that has none are drawn overstruck, one column
  // for about every 24 pixels of em, as GDI emboldens.
  if (weight >= FW_SEMIBOLD && face->weight < FW_SEMIBOLD) {
    long ppem = (f->emHeight + 32) >> 6;
    f->overstrike = int(std::max(1L, (ppem + 12) / 24));
  }
  return f;
}

Font* StockFont() {
  Backend& b = B();
  if (!b.stockTried) {
    b.stockTried = true;
    LOGFONTW lf{};
    lf.lfCharSet = SHIFTJIS_CHARSET;
    b.stockFont = MakeFont(lf);
    if (b.stockFont) {
      b.stockFont->stock = true;
      RegisterObject(b.stockFont);
    }
  }
  return b.stockFont;
}

static const Glyph& GlyphFor(const Font& font, uint32_t code) {
  Backend& b = B();
  GlyphKey key{font.face, font.emHeight, font.overstrike, code};
  auto it = b.glyphs.find(key);
  if (it != b.glyphs.end()) return it->second;
  if (b.glyphs.size() >= kGlyphCacheLimit) b.glyphs.clear();
  Glyph& g = b.glyphs[key];
  FT_Face ft = font.face->ft;
  if (font.face->currentEm != font.emHeight) {
    if (FT_Set_Char_Size(ft, 0, font.emHeight, 72, 72) != 0) return g;
    font.face->currentEm = font.emHeight;
  }
  FT_UInt index = FT_Get_Char_Index(ft, code);
  if (FT_Load_Glyph(ft, index, FT_LOAD_RENDER | FT_LOAD_TARGET_MONO) != 0 &&
      (index == 0 || FT_Load_Glyph(ft, 0, FT_LOAD_RENDER | FT_LOAD_TARGET_MONO) != 0))
    return g;
  const FT_GlyphSlot slot = ft->glyph;
  const FT_Bitmap& bm = slot->bitmap;
  const int k = font.overstrike;
  g.left = slot->bitmap_left;
  g.top = slot->bitmap_top;
  g.rows = int(bm.rows);
  g.width = bm.width ? int(bm.width) + k : 0;
  g.advance = int((slot->advance.x + 32) >> 6) + k;
  g.pitch = (g.width + 7) / 8;
  g.bits.assign(size_t(g.pitch) * g.rows, 0);
  for (int r = 0; r < g.rows; ++r) {
    const unsigned char* src = bm.buffer + ptrdiff_t(r) * bm.pitch;
    uint8_t* dst = g.bits.data() + size_t(r) * g.pitch;
    for (unsigned c = 0; c < bm.width; ++c) {
      bool on = bm.pixel_mode == FT_PIXEL_MODE_MONO ? (src[c >> 3] & (0x80 >> (c & 7))) != 0
                                                    : bm.pixel_mode == FT_PIXEL_MODE_GRAY && src[c] >= 128;
      if (!on) continue;
      for (unsigned s = c; s <= c + unsigned(k); ++s) dst[s >> 3] = uint8_t(dst[s >> 3] | (0x80 >> (s & 7)));
    }
  }
  return g;
}

}  // namespace velmi_gdi

using namespace velmi_gdi;

HFONT CreateFontIndirectW(const LOGFONTW* font) {
  if (!font) return nullptr;
  std::lock_guard<std::recursive_mutex> g(Lock());
  Font* f = MakeFont(*font);
  if (!f) return nullptr;
  RegisterObject(f);
  return reinterpret_cast<HFONT>(static_cast<Object*>(f));
}

BOOL ExtTextOutW(HDC hdc, int x, int y, UINT options, const RECT* rect, LPCWSTR text, UINT count, const INT* dx) {
  std::lock_guard<std::recursive_mutex> g(Lock());
  MemoryDc* m = FindMemoryDc(hdc);
  if (!m || !m->bitmap || (count && !text)) return FALSE;
  const Bitmap& b = *m->bitmap;
  const int fg = b.NearestIndex(hdc->textColor), bg = b.NearestIndex(hdc->bkColor);
  int64_t cl = 0, ct = 0, cr = b.width, cb = b.height;
  auto fill = [&](int64_t l, int64_t t, int64_t r, int64_t bo, int64_t fl, int64_t ft, int64_t fr, int64_t fb) {
    l = std::max(l, fl);
    t = std::max(t, ft);
    r = std::min(r, fr);
    bo = std::min(bo, fb);
    for (int64_t yy = t; yy < bo; ++yy) b.Fill(int(yy), int(l), int(r), bg);
  };
  if (rect && (options & ETO_OPAQUE)) fill(rect->left, rect->top, rect->right, rect->bottom, 0, 0, b.width, b.height);
  if (rect && (options & ETO_CLIPPED)) {
    cl = std::max<int64_t>(cl, rect->left);
    ct = std::max<int64_t>(ct, rect->top);
    cr = std::min<int64_t>(cr, rect->right);
    cb = std::min<int64_t>(cb, rect->bottom);
  }
  if (count == 0) return TRUE;
  Font* font = m->font;
  if (!font) return FALSE;
  int64_t pen = x;
  const int64_t baseline = int64_t(y) + font->ascent;
  for (UINT i = 0; i < count; ++i) {
    uint32_t code = text[i];
    int64_t step = dx ? dx[i] : 0;
    if (code >= 0xD800 && code < 0xDC00 && i + 1 < count && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000) {
      code = 0x10000 + ((code - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
      if (dx) step += dx[i];
    }
    const Glyph& gl = GlyphFor(*font, code);
    if (hdc->bkMode == OPAQUE) fill(pen, y, pen + gl.advance, int64_t(y) + font->cellHeight, cl, ct, cr, cb);
    const int64_t gx = pen + gl.left;
    const bool inside = gx >= cl && gx + gl.width <= cr;
    for (int r = 0; r < gl.rows; ++r) {
      const int64_t yy = baseline - gl.top + r;
      if (yy < ct || yy >= cb) continue;
      const uint8_t* src = gl.bits.data() + size_t(r) * gl.pitch;
      if (inside && fg == 1) {
        // Whole bytes shifted into place.
        uint8_t* dst = b.Row(int(yy)) + (gx >> 3);
        const int shift = int(gx & 7);
        const int64_t lastByte = (gx + gl.width - 1) >> 3;
        for (int k = 0; k < gl.pitch; ++k) {
          if (!src[k]) continue;
          dst[k] = uint8_t(dst[k] | (src[k] >> shift));
          if (shift && (gx >> 3) + k + 1 <= lastByte) dst[k + 1] = uint8_t(dst[k + 1] | (src[k] << (8 - shift)));
        }
        continue;
      }
      for (int c = 0; c < gl.width; ++c) {
        const int64_t xx = pen + gl.left + c;
        if (xx >= cl && xx < cr && gl.At(c, r)) b.Put(int(xx), int(yy), fg);
      }
    }
    pen += dx ? step : gl.advance;
  }
  return TRUE;
}

namespace velmi_gdi {

struct FamilyEntry {
  bool trueType = false;
  bool japanese = false;
  bool fixed = true;
  int weight = FW_NORMAL;
  std::vector<VelmiFaceCoverage> faces;  // characters counted when asked for
  int coverage = 0;                      // NonKanjiCharacters its poorest face draws
};

// The scalable families fontconfig lists (or the one named), by the name a
// Japanese system shows.  The faces' NonKanjiCharacters are counted for the
// Japanese families when several of them are listed, since only their order
// depends on the counts, or for every family when countAlways is set.
// Returns false when fontconfig is not available.
static bool ListFamilies(const std::string* family, bool countAlways, std::map<std::string, FamilyEntry>* found,
                         size_t* japaneseCount) {
  std::lock_guard<std::recursive_mutex> g(Lock());
  if (!FontconfigReady()) return false;
  FcPattern* p = FcPatternCreate();
  FcPatternAddBool(p, FC_SCALABLE, FcTrue);
  if (family) FcPatternAddString(p, FC_FAMILY, reinterpret_cast<const FcChar8*>(family->c_str()));
  FcObjectSet* os = FcObjectSetBuild(FC_FAMILY, FC_FAMILYLANG, FC_FONTFORMAT, FC_SPACING, FC_LANG, FC_WEIGHT, FC_FILE,
                                     FC_INDEX, FC_CHARSET, static_cast<char*>(nullptr));
  FcFontSet* fs = FcFontList(nullptr, p, os);
  FcObjectSetDestroy(os);
  FcPatternDestroy(p);
  // Each listed face's character set, held by the font set until it is destroyed.
  struct FaceSet {
    FamilyEntry* family;
    size_t face;
    const FcCharSet* set;
  };
  std::vector<FaceSet> sets;
  for (int i = 0; fs && i < fs->nfont; ++i) {
    FcPattern* f = fs->fonts[i];
    // The family's name as a Japanese system shows it.
    FcChar8* name = nullptr;
    FcChar8* first = nullptr;
    for (int k = 0;; ++k) {
      FcChar8* v = nullptr;
      if (FcPatternGetString(f, FC_FAMILY, k, &v) != FcResultMatch) break;
      if (k == 0) first = v;
      FcChar8* lang = nullptr;
      if (FcPatternGetString(f, FC_FAMILYLANG, k, &lang) == FcResultMatch &&
          std::string(reinterpret_cast<char*>(lang)) == "ja") {
        name = v;
        break;
      }
    }
    if (!name) name = first;
    if (!name) continue;
    FamilyEntry& e = (*found)[reinterpret_cast<char*>(name)];
    FcChar8* format = nullptr;
    if (FcPatternGetString(f, FC_FONTFORMAT, 0, &format) == FcResultMatch) {
      std::string fmt = reinterpret_cast<char*>(format);
      if (fmt == "TrueType" || fmt == "CFF") e.trueType = true;
    }
    FcLangSet* langs = nullptr;
    if (FcPatternGetLangSet(f, FC_LANG, 0, &langs) == FcResultMatch &&
        FcLangSetHasLang(langs, reinterpret_cast<const FcChar8*>("ja")) == FcLangEqual)
      e.japanese = true;
    int spacing = FC_PROPORTIONAL;
    if (FcPatternGetInteger(f, FC_SPACING, 0, &spacing) != FcResultMatch || spacing == FC_PROPORTIONAL)
      e.fixed = false;
    int w = 0;
    if (FcPatternGetInteger(f, FC_WEIGHT, 0, &w) == FcResultMatch) e.weight = FcWeightToOpenType(w);
    VelmiFaceCoverage face{};
    FcChar8* file = nullptr;
    if (FcPatternGetString(f, FC_FILE, 0, &file) == FcResultMatch && file) face.file = reinterpret_cast<char*>(file);
    FcPatternGetInteger(f, FC_INDEX, 0, &face.index);
    FcCharSet* set = nullptr;
    if (FcPatternGetCharSet(f, FC_CHARSET, 0, &set) != FcResultMatch) set = nullptr;
    e.faces.push_back(face);
    sets.push_back({&e, e.faces.size() - 1, set});
  }
  *japaneseCount = 0;
  for (const auto& entry : *found) *japaneseCount += entry.second.japanese;
  // A family counts as its poorest face; one with no face listed draws none.
  for (auto& entry : *found) entry.second.coverage = entry.second.faces.empty() ? 0 : int(NonKanjiCharacters().size());
  for (const FaceSet& s : sets) {
    FamilyEntry& e = *s.family;
    if (!countAlways && !(e.japanese && *japaneseCount > 1)) continue;
    e.faces[s.face].characters = CodePageCoverage(s.set);
    e.coverage = std::min(e.coverage, e.faces[s.face].characters);
  }
  if (fs) FcFontSetDestroy(fs);
  return true;
}

}  // namespace velmi_gdi

std::vector<VelmiFaceCoverage> VelmiCodePageCoverage(const std::string& family) {
  std::map<std::string, FamilyEntry> found;
  size_t japaneseCount = 0;
  if (!ListFamilies(nullptr, true, &found, &japaneseCount)) return {};
  auto it = found.find(family);
  return it == found.end() ? std::vector<VelmiFaceCoverage>{} : it->second.faces;
}

int EnumFontFamiliesW(HDC, LPCWSTR family, FONTENUMPROCW proc, LPARAM data) {
  if (!proc) return 0;
  std::map<std::string, FamilyEntry> found;
  size_t japaneseCount = 0;
  std::string wanted;
  if (family) {
    size_t n = 0;
    while (family[n]) ++n;
    wanted = velmi::WideToUtf8Lossy(family, n);
  }
  if (!ListFamilies(family ? &wanted : nullptr, false, &found, &japaneseCount)) return 1;
  // Families that write Japanese come first, as on a Japanese system, whose
  // own fonts are the ones a caller taking the first family expects.  Among
  // them, those whose every face draws every character of code page 932's
  // non-kanji rows lead, the others follow by how many of those characters
  // they draw: a family that writes kana and kanji but lacks "…" or "♪"
  // (Droid Sans Fallback) would otherwise be taken by name order.  Between
  // families that draw as many, a fixed-pitch one comes first, as the
  // Japanese system's own default face is a fixed-pitch Gothic; then the
  // names' order.
  std::vector<std::pair<const std::string*, const FamilyEntry*>> order;
  for (int japaneseFirst = 1; japaneseFirst >= 0; --japaneseFirst)
    for (const auto& [name, e] : found)
      if (e.japanese == (japaneseFirst == 1)) order.emplace_back(&name, &e);
  std::stable_sort(order.begin(), order.begin() + std::ptrdiff_t(japaneseCount),
                   [](const auto& a, const auto& b) {
                     if (a.second->coverage != b.second->coverage) return a.second->coverage > b.second->coverage;
                     return a.second->fixed && !b.second->fixed;
                   });
  int result = 1;
  for (const auto& [namePtr, entryPtr] : order) {
    const std::string& name = *namePtr;
    const FamilyEntry& e = *entryPtr;
    LOGFONTW lf{};
    std::u16string wide = velmi::Utf8ToWideLossy(name);
    size_t n = std::min<size_t>(wide.size(), LF_FACESIZE - 1);
    std::copy_n(wide.begin(), n, lf.lfFaceName);
    lf.lfWeight = e.weight;
    lf.lfCharSet = e.japanese ? SHIFTJIS_CHARSET : ANSI_CHARSET;
    lf.lfPitchAndFamily = e.fixed ? FIXED_PITCH : VARIABLE_PITCH;
    TEXTMETRICW tm{};
    tm.tmWeight = e.weight;
    tm.tmCharSet = lf.lfCharSet;
    // As in GDI, the low bit of the pitch byte means variable pitch.
    tm.tmPitchAndFamily = BYTE((e.fixed ? 0 : 1) | (e.trueType ? 4 : 0));
    result = proc(&lf, &tm, e.trueType ? TRUETYPE_FONTTYPE : 0, data);
    if (!result) break;
  }
  return result;
}

BOOL GetTextExtentPoint32W(HDC hdc, LPCWSTR text, int count, LPSIZE size) {
  if (!size || count < 0 || (count && !text)) return FALSE;
  std::lock_guard<std::recursive_mutex> g(Lock());
  MemoryDc* m = FindMemoryDc(hdc);
  if (!m || !m->font) return FALSE;
  int64_t width = 0;
  for (int i = 0; i < count; ++i) {
    uint32_t code = text[i];
    if (code >= 0xD800 && code < 0xDC00 && i + 1 < count && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000) {
      code = 0x10000 + ((code - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    }
    width += GlyphFor(*m->font, code).advance;
  }
  size->cx = LONG(std::min<int64_t>(width, 0x7FFFFFFF));
  size->cy = m->font->cellHeight;
  return TRUE;
}

DWORD GetGlyphIndicesW(HDC hdc, LPCWSTR text, int count, LPWORD indices, DWORD flags) {
  if (count < 0 || (count && (!text || !indices))) return GDI_ERROR;
  std::lock_guard<std::recursive_mutex> g(Lock());
  MemoryDc* m = FindMemoryDc(hdc);
  if (!m || !m->font) return GDI_ERROR;
  const FT_Face ft = m->font->face->ft;
  for (int i = 0; i < count; ++i) {
    const FT_UInt index = FT_Get_Char_Index(ft, text[i]);
    indices[i] =
        index == 0 ? WORD((flags & GGI_MARK_NONEXISTING_GLYPHS) ? 0xFFFF : 0) : WORD(std::min<FT_UInt>(index, 0xFFFE));
  }
  return DWORD(count);
}
