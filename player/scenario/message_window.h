// The message window's state: shown flags, side-button highlight, page
// timing and the text on show.
#pragma once

#include <cstdint>

struct MessageState {
  int32_t windowShown;
  int32_t pageCursorShown;
  int32_t highlightedButton;  // -1 none
  int32_t redrawHighlight;
  int32_t voicePlayingAtStart;
  uint32_t pageStartTime;
  uint32_t textStartTime;
  int32_t voiceHeard;
  char text[256];
  char speaker[32];
};

class CGameApp;

// Lays the name out on the plate at once and remembers it.
void SetSpeakerName(CGameApp* app, const char* name);
// One frame of a message; non-zero once the text is fully typed out.
int ShowMessageText(CGameApp* app, const char* text);

// The decoded text of the current message, at most 255 bytes.
extern char g_messageBuffer[256];
