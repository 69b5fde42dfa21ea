// Full-screen movies: frames read ahead by a StreamReader, decoded by the
// movie-frame decoder and written into the device frame buffer, doubled,
// centred and turned as the screen needs; the sound track on mixer channel 0
// drives the timing.
#pragma once

#include <windows.h>

#include <cstdint>

#include "player/core/display.h"
#include "player/core/jbp1_decoder.h"

class CSoundMixer;
class StreamReader;

// The sound track's calls, the mixer's by default.
struct MovieTrackCalls {
  // Opens and starts the track on channel 0; 1 on success.
  int (*open)(CSoundMixer* mixer, const char* name, const char* folder, int volume, int inMemory);
  // Play position of channel 0 in ms; below 0 when it does not play.
  int (*position)(CSoundMixer* mixer);
};
extern const MovieTrackCalls kMixerTrackCalls;

class CMoviePlayer {
 public:
  explicit CMoviePlayer(const MovieTrackCalls* track = &kMixerTrackCalls);
  ~CMoviePlayer();
  CMoviePlayer(const CMoviePlayer&) = delete;
  CMoviePlayer& operator=(const CMoviePlayer&) = delete;

  // Plays the ".jmv2", else the ".jmv" of path (its extension replaced),
  // with the ".mp3" or ".ogg" of the same name as its track.  1 when the
  // movie plays, 0 when neither file exists or the movie file is unusable.
  int Open(const char* path, CSoundMixer* mixer, int volume, int ignored, int inMemory, int smooth);
  // Shows the frame due now: 1 while the movie goes on, 0 at its end.
  // Sleeps 1 ms on every call.
  int Step();

  // The frame on screen, and whether frames go straight to the frame buffer.
  DWORD FrameOnScreen() const { return onScreen_; }
  int IsDirect() const { return direct_; }
  int HasTrack() const { return hasTrack_; }

  void DecodeFrame(const BYTE* frame, DWORD size);
  void PresentJmvFrame();
  void PresentJmv2Frame();

 private:
  // Copies the decoded frame into the frame buffer, scale 1 or 2, with its
  // top-left at (left, top) of the frame buffer's own (portrait) grid or, for
  // a landscape frame, of the landscape screen; clipped to the screen.
  void Blit(uint8_t* fb, bool landscape, int scale, int left, int top);
  void ClearFrameBuffer();
  // Presents the decoded frame by the kind of file.
  void PresentJmvOrJmv2();

  const MovieTrackCalls* track_;
  CSoundMixer* mixer_ = nullptr;
  RawFrameBufferDesc desc_{};
  StreamReader* reader_ = nullptr;
  DWORD onScreen_ = 0;
  DWORD start_ = 0;
  int hasTrack_ = 0;
  int smooth_ = 0;
  int direct_ = 0;
  int decoded_ = 0;  // the own buffer holds a whole frame
  BlockDecoder decoder_{};
  WORD* ownBuffer_ = nullptr;
  DWORD ownBufferSize_ = 0;
};
