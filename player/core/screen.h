// The screen-sized RGB565 back buffer and the rotating present into the
// portrait frame buffer.
#pragma once

#include <windows.h>

#include <cstdint>

#include "player/core/display.h"

class CMoviePlayer;
class CSoundMixer;

class CScreen {
 public:
  CScreen();
  ~CScreen();
  CScreen(const CScreen&) = delete;
  CScreen& operator=(const CScreen&) = delete;

  uint16_t* GetPixels() const { return pixels_; }
  uint32_t GetWidth() const { return width_; }
  uint32_t GetHeight() const { return height_; }

  // Copies the target rectangle's place from the source rectangle (either
  // null: the whole back buffer), turning the picture by 90 degrees.
  void Present(uint8_t* frameBuffer, const RECT* target, const RECT* source) const;

  // True when the frame buffer can take the back buffer turned.
  bool FitsFrameBuffer() const;

  // The movie members are defined beside the movie player, in
  // player/media/movie_player.cpp; the back buffer knows the player only by
  // name.
  // Plays the movie of the name (the part after its last '/') from the data
  // folder; any movie held is deleted first.  1 when it plays.
  int PlayMovie(const char* dataFolder, const char* name, CSoundMixer* mixer, int volume, int ignored, int inMemory,
                int smooth);
  int IsMoviePlaying() const { return movie_ != nullptr; }
  int StepMovie(CSoundMixer* mixer);
  int StopMovie(CSoundMixer* mixer);
  void SetMovie(CMoviePlayer* movie) { movie_ = movie; }
  CMoviePlayer* GetMovie() const { return movie_; }

  RawFrameBufferDesc desc;
  DisplayMode mode;
  uint32_t formatA;
  uint32_t formatB;

 private:
  uint16_t* pixels_;
  CMoviePlayer* movie_;
  uint32_t width_;
  uint32_t height_;
};
