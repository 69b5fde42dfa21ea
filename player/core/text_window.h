// The message text renderer: lays Shift-JIS text out one character at a
// time (ruby, emphasis dots, line breaks, closing punctuation kept at the
// line end) and draws each character anti-aliased from a one-bit glyph
// bitmap into the back buffer; also draws whole strings into pictures and
// keeps the backlog of earlier pages.
#pragma once

#include <windows.h>

#include <cstdint>

#include "player/core/backlog.h"

class CDirtyList;
class CScreen;
class CPicture;
struct GameSettings;
struct InputState;

struct TextCharRecord {
  uint32_t inUse;
  uint16_t state;      // 1 to be drawn, 0 drawn; 2 and above left alone
  uint16_t character;  // Shift-JIS: first byte low, second byte high
  uint32_t size;       // cell size, screen pixels
  uint32_t colour;     // 0x00BBGGRR
  int16_t left, top, right, bottom;
};
static_assert(sizeof(TextCharRecord) == 24, "a backlog page is 160 records of 24 bytes");

constexpr int kTextRecords = 160;
constexpr int kTextBufferSize = 512;
constexpr int kRubyChars = 64;
constexpr int kGlyphDibSize = 256;
constexpr uint32_t kTextPageBytes = kTextRecords * sizeof(TextCharRecord);

class CTextWindow {
 public:
  CTextWindow();
  ~CTextWindow();
  CTextWindow(const CTextWindow&) = delete;
  CTextWindow& operator=(const CTextWindow&) = delete;

  int CreateGlyphDib();
  void SetTextArea(int x, int y, int w, int h);
  void SetPosition(int x, int y);
  void SetFontSize(int size);
  void SetSpacing(int characterGap, int lineGap);
  void SetLineLimits(int charactersPerLine, int lines);
  void StartText(const char* text);
  void ClearText();
  void SetInstantMode(int flag);
  int ShowAllChars(int flag);
  void FlagCharsInRect(CDirtyList* dirty);
  void Draw(CScreen* screen, int antialiasLevel, int shadow);
  void DrawChars(CScreen* screen, TextCharRecord* chars, int count, int sampleFactor, int shadow);
  // Canvas units; colour 0x00RRGGBB; the picture needs 16-bit pixels.
  void DrawString(CPicture* target, const char* text, int size, int spacing, uint32_t colour, int x, int y,
                  int sampleFactor, int shadow);
  void DrawStringAltFont(CPicture* target, const char* text, int size, int spacing, uint32_t colour, int x, int y,
                         int sampleFactorLess1, int shadow, int weightIndex);

  // Screen row of the name plate's characters, which keep their colour in
  // the backlog view.
  int NamePlateTop() const;

  TextCharRecord records[kTextRecords];
  uint32_t hiddenByPlayer;
  uint32_t display;
  uint32_t backlogView;
  int32_t backlogPage;
  int32_t count;
  uint32_t lastLayoutTime;
  uint32_t nextCharTime;
  int32_t lineStartX, lineStartY;
  int32_t charSpacing, lineSpacing;
  int32_t marginX, marginY;
  int32_t penX, penY;
  int32_t fontSize;
  int32_t charsPerLine;
  int32_t lineCount;
  int32_t column;
  int32_t lineNumber;
  int32_t areaX, areaY;  // thousandths of a screen pixel
  int32_t areaWidth, areaHeight;
  uint32_t colour;
  uint32_t progress;
  const char* text;
  uint32_t noWait;
  char textBuffer[kTextBufferSize];
  CBacklogList backlog;
  const char* cursor;
  void* dibBits;
  HBITMAP dib;
  HDC memoryDc;
  int32_t dibWidth, dibHeight;
  int32_t dibStride;
  int32_t sizePercent;
  uint32_t rubyFlag;
  int32_t baseCount;
  int32_t rubyCount;
  uint16_t rubyText[kRubyChars];
  int32_t rubyX, rubyY;

 private:
  // Renders one character into the DIB at sample factor n and returns the
  // converted character (0 when it has no UTF-16 form).
  WCHAR RenderGlyph(uint16_t character, int cellPixels);
  void DrawStringWith(CPicture* target, const char* text, int size, int spacing, uint32_t colour, int x, int y, int n,
                      int shadow, HFONT altFont);
  // Set bits of each n x n block of the DIB's top-left cell x n square.
  const uint16_t* Coverage(int cell, int n) const;
};

// Lays out the characters whose time has come; 1 at the text's end.
int LayoutText(CTextWindow* window, GameSettings* settings, InputState* input, CDirtyList* dirty, int speedFactor);

// The message font, one for the process.
extern const int FontWeightTable[5];
int CreateMessageFont(int height, int weightIndex);
// 0 when the face was taken, else the refused name's length (128 or more).
int SetMessageFontFace(const char* face);
void DeleteMessageFont();
int GetMessageFontHeight();
int GetMessageFontWeightIndex();
const char* GetMessageFontFace();
