// The message window's state: shown flags, side-button highlight, page timing
// and the text on show.
#pragma once

#include <cstdint>

struct MessageWindowState {
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
  // Frames since the message started and since its page wait started.
  int32_t textFrame;
  int32_t waitFrame;
};

// The decoded text of the current message, at most 255 bytes.
extern char g_messageBuffer[256];
