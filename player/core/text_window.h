// The message text renderer.  Placeholder interface of what the composition
// and start-up call; the text work replaces it.
#pragma once

class CDirtyList;
class CScreen;

class CTextWindow {
 public:
  virtual ~CTextWindow() = default;
  int hiddenByPlayer = 0;
  void FlagCharsInRect(CDirtyList* dirty);
  void Draw(CScreen* screen, int antialiasLevel, int shadow);
};

// Returns 0 when the face was taken, else the refused name's length.
int SetMessageFontFace(const char* face);
void DeleteMessageFont();
