// The movie player.  Placeholder interface of what the back buffer calls.
#pragma once

class CMoviePlayer {
 public:
  virtual ~CMoviePlayer() = default;
  // Shows the frame due now: 1 while the movie goes on, 0 at its end.
  virtual int Step();
};
