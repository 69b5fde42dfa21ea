// Text drawing calls of our layer (platform/gdi, on FreeType and
// fontconfig): fonts, memory device contexts, one-bit DIB sections and
// single-line text output.  Types keep their Win32 widths.
// windows.h includes this header at its end; the guard sits after that
// include so that either header may come first.
#include <windows.h>
#ifndef VELMI_WINGDI_TEXT_H
#define VELMI_WINGDI_TEXT_H

typedef struct HFONT__* HFONT;
typedef struct HBITMAP__* HBITMAP;

// ---- Fonts ------------------------------------------------------------------
#define LF_FACESIZE 32

#define FW_DONTCARE 0
#define FW_THIN 100
#define FW_EXTRALIGHT 200
#define FW_LIGHT 300
#define FW_NORMAL 400
#define FW_MEDIUM 500
#define FW_SEMIBOLD 600
#define FW_BOLD 700
#define FW_EXTRABOLD 800
#define FW_HEAVY 900

#define ANSI_CHARSET 0
#define DEFAULT_CHARSET 1
#define SYMBOL_CHARSET 2
#define SHIFTJIS_CHARSET 128

#define OUT_DEFAULT_PRECIS 0
#define CLIP_DEFAULT_PRECIS 0
#define DEFAULT_QUALITY 0
#define DRAFT_QUALITY 1
#define PROOF_QUALITY 2
#define NONANTIALIASED_QUALITY 3
#define ANTIALIASED_QUALITY 4

#define DEFAULT_PITCH 0
#define FIXED_PITCH 1
#define VARIABLE_PITCH 2
#define FF_DONTCARE 0x00
#define FF_ROMAN 0x10
#define FF_SWISS 0x20
#define FF_MODERN 0x30

// lfHeight > 0 asks for that cell height (ascent + descent), < 0 for that
// character (em) height, 0 for the default size.
typedef struct tagLOGFONTW {
  LONG lfHeight;
  LONG lfWidth;
  LONG lfEscapement;
  LONG lfOrientation;
  LONG lfWeight;
  BYTE lfItalic;
  BYTE lfUnderline;
  BYTE lfStrikeOut;
  BYTE lfCharSet;
  BYTE lfOutPrecision;
  BYTE lfClipPrecision;
  BYTE lfQuality;
  BYTE lfPitchAndFamily;
  WCHAR lfFaceName[LF_FACESIZE];
} LOGFONTW, *PLOGFONTW, *LPLOGFONTW;

typedef struct tagTEXTMETRICW {
  LONG tmHeight;
  LONG tmAscent;
  LONG tmDescent;
  LONG tmInternalLeading;
  LONG tmExternalLeading;
  LONG tmAveCharWidth;
  LONG tmMaxCharWidth;
  LONG tmWeight;
  LONG tmOverhang;
  LONG tmDigitizedAspectX;
  LONG tmDigitizedAspectY;
  WCHAR tmFirstChar;
  WCHAR tmLastChar;
  WCHAR tmDefaultChar;
  WCHAR tmBreakChar;
  BYTE tmItalic;
  BYTE tmUnderlined;
  BYTE tmStruckOut;
  BYTE tmPitchAndFamily;
  BYTE tmCharSet;
} TEXTMETRICW, *PTEXTMETRICW, *LPTEXTMETRICW;

// Face names resolve through fontconfig; the Windows Japanese faces
// ("ＭＳ ゴシック", "MS Gothic", "ＭＳ Ｐゴシック", "ＭＳ 明朝", ...) map to an
// installed Japanese font.  Null when no usable font file is found.
HFONT CreateFontIndirectW(const LOGFONTW* font);

#define RASTER_FONTTYPE 0x0001
#define DEVICE_FONTTYPE 0x0002
#define TRUETYPE_FONTTYPE 0x0004

typedef int (*FONTENUMPROCW)(const LOGFONTW* font, const TEXTMETRICW* metrics, DWORD fontType, LPARAM data);

// One call per installed scalable family (or only the named family), sorted
// by name; stops when the callback returns 0, whose value it returns.
int EnumFontFamiliesW(HDC hdc, LPCWSTR family, FONTENUMPROCW proc, LPARAM data);

// ---- Bitmaps and memory contexts --------------------------------------------
#define BI_RGB 0
#define DIB_RGB_COLORS 0
#define DIB_PAL_COLORS 1

typedef struct tagRGBQUAD {
  BYTE rgbBlue;
  BYTE rgbGreen;
  BYTE rgbRed;
  BYTE rgbReserved;
} RGBQUAD;

typedef struct tagBITMAPINFOHEADER {
  DWORD biSize;
  LONG biWidth;
  LONG biHeight;  // negative: top-down rows
  WORD biPlanes;
  WORD biBitCount;
  DWORD biCompression;
  DWORD biSizeImage;
  LONG biXPelsPerMeter;
  LONG biYPelsPerMeter;
  DWORD biClrUsed;
  DWORD biClrImportant;
} BITMAPINFOHEADER, *PBITMAPINFOHEADER, *LPBITMAPINFOHEADER;

typedef struct tagBITMAPINFO {
  BITMAPINFOHEADER bmiHeader;
  RGBQUAD bmiColors[1];  // the palette runs on past the end
} BITMAPINFO, *PBITMAPINFO, *LPBITMAPINFO;

// One bit per pixel (rows of whole 32-bit words, most significant bit
// first); other depths are refused.  The bits live until DeleteObject.
HBITMAP CreateDIBSection(HDC hdc, const BITMAPINFO* info, UINT usage, void** bits, HANDLE section, DWORD offset);

// A memory context holding a 1x1 one-bit bitmap until another is selected.
HDC CreateCompatibleDC(HDC hdc);
BOOL DeleteDC(HDC hdc);
// Fonts and bitmaps; returns the object it replaces, null on failure.
HGDIOBJ SelectObject(HDC hdc, HGDIOBJ object);
// An object still selected into a context is freed once it is deselected.
BOOL DeleteObject(HGDIOBJ object);

#define BLACKNESS 0x00000042u
#define WHITENESS 0x00FF0062u
#define DSTINVERT 0x00550009u
BOOL PatBlt(HDC hdc, int x, int y, int width, int height, DWORD rop);

typedef struct tagSIZE {
  LONG cx;
  LONG cy;
} SIZE, *PSIZE, *LPSIZE;

// The width of the text as ExtTextOutW lays it out (the sum of its
// characters' advances) and the height of the font's cell.
BOOL GetTextExtentPoint32W(HDC hdc, LPCWSTR text, int count, LPSIZE size);

#define GGI_MARK_NONEXISTING_GLYPHS 0x0001
#define GDI_ERROR 0xFFFFFFFFu
// The glyph index of each UTF-16 unit in the selected font; a character the
// font lacks gets 0xFFFF with GGI_MARK_NONEXISTING_GLYPHS, else 0.  Returns
// the count of indices written, GDI_ERROR on failure.
DWORD GetGlyphIndicesW(HDC hdc, LPCWSTR text, int count, LPWORD indices, DWORD flags);

#define ETO_OPAQUE 0x0002
#define ETO_CLIPPED 0x0004
// The reference point (x, y) is the top left of the character cell; the
// baseline lies the font's ascent below it.  Draws into the bitmap selected
// into a memory context, colours mapped to the nearest palette entry.
BOOL ExtTextOutW(HDC hdc, int x, int y, UINT options, const RECT* rect, LPCWSTR text, UINT count, const INT* dx);

#endif  // VELMI_WINGDI_TEXT_H
