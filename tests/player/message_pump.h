// The message pump of the message box tests: the window messages and the
// events SDL holds taken in together, for the headless and the X server tests.
#pragma once

#include <SDL.h>
#include <windows.h>

// True while SDL holds events.  A run of SDL_PollEvent ends at the mark that
// SDL's pump leaves in the queue, so that the device may take the events
// behind it only on its next turn.
inline bool SdlHoldsEvents() { return SDL_PeepEvents(nullptr, 0, SDL_PEEKEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT) > 0; }

// Dispatches every message, the events SDL holds taken in.
inline void DispatchAll() {
  MSG m;
  do {
    while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&m);
  } while (SdlHoldsEvents());
}
