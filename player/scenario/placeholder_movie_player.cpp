// Stands in for the movie player: no movie opens.
#include "player/core/screen.h"
#include "player/scenario/movie_player.h"

CMoviePlayer::CMoviePlayer() = default;
CMoviePlayer::~CMoviePlayer() = default;
int CMoviePlayer::Open(const char*, CSoundMixer*, int, int, int, int) { return 0; }
int CMoviePlayer::Step() { return 0; }

int CScreen::PlayMovie(const char*, const char*, CSoundMixer*, int, int, int, int) { return 0; }
