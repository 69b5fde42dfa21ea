// The movie player: frames of a .jmv2 or .jmv movie shown straight into
// the frame buffer, its sound track on the mixer's channel 0.
#pragma once

class CSoundMixer;

class CMoviePlayer {
 public:
  CMoviePlayer();
  ~CMoviePlayer();
  CMoviePlayer(const CMoviePlayer&) = delete;
  CMoviePlayer& operator=(const CMoviePlayer&) = delete;

  // 1 when the movie plays, 0 when neither file exists.
  int Open(const char* path, CSoundMixer* mixer, int volume, int ignored, int inMemory, int smooth);
  // Shows the frame due now: 1 while the movie goes on, 0 at its end.
  int Step();
};
