#include "player/media/movie_player.h"

#include <cstring>
#include <string>

#include "common/file.h"
#include "player/core/movie_decoder.h"
#include "player/core/screen.h"
#include "player/media/sound_mixer.h"
#include "player/media/stream_reader.h"

namespace {

// A track times the movie only where a device plays it: without one its play
// position never moves, and the movie would stand on its first frame; it
// runs on the clock instead.
int MixerOpenTrack(CSoundMixer* mixer, const char* name, const char* folder, int volume, int inMemory) {
  if (!mixer || !mixer->Device()) return 0;
  return mixer->OpenSound(0, name, folder, nullptr, volume, 0, 0, 1, inMemory);
}

int MixerTrackPosition(CSoundMixer* mixer) { return mixer ? mixer->GetPlayPosition(0) : -1; }

// The path with everything from its last '.' (after the last separator)
// replaced by the extension, which is appended when there is no '.'.
std::string WithExtension(const std::string& path, const char* extension) {
  const size_t dot = path.find_last_of('.');
  const size_t slash = path.find_last_of("\\/");
  if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) return path.substr(0, dot) + extension;
  return path + extension;
}

inline WORD Average2(WORD a, WORD b) {
  return static_cast<WORD>((((a & 0xF7DE) + (b & 0xF7DE)) >> 1) | (a & b & 0x0821));
}

inline WORD Average4(WORD a, WORD b, WORD c, WORD e) {
  return static_cast<WORD>((((a & 0xE79C) + (b & 0xE79C) + (c & 0xE79C) + (e & 0xE79C)) >> 2) |
                           (a & b & c & e & 0x1863));
}

inline void Put(uint8_t* at, WORD v) { std::memcpy(at, &v, 2); }

}  // namespace

const MovieTrackCalls kMixerTrackCalls = {MixerOpenTrack, MixerTrackPosition};

CMoviePlayer::CMoviePlayer(const MovieTrackCalls* track) : track_(track ? track : &kMixerTrackCalls) {}

CMoviePlayer::~CMoviePlayer() {
  delete reader_;
  reader_ = nullptr;
  if (ownBuffer_) LocalFree(ownBuffer_);
  ownBuffer_ = nullptr;
}

int CMoviePlayer::Open(const char* path, CSoundMixer* mixer, int volume, int, int inMemory, int smooth) {
  smooth_ = smooth;
  mixer_ = mixer;
  hasTrack_ = 0;
  if (!path || reader_) return 0;
  std::string found = WithExtension(path, ".jmv2");
  if (!FileExists(found.c_str())) {
    found = WithExtension(path, ".jmv");
    if (!FileExists(found.c_str())) return 0;
  }
  reader_ = new StreamReader(found.c_str(), MOVIE_HALF_SIZE);
  if (!reader_->IsOpen()) {
    delete reader_;
    reader_ = nullptr;
    return 0;
  }
  reader_->Start();  // without its thread the reads happen in GetFrame
  if (!QueryRawFrameBuffer(&desc_)) QueryGapiFrameBuffer(&desc_);

  const MovieFileHeader& h = reader_->Header();
  InitMovieDecoder(&decoder_);
  decoder_.expectedWidth = h.width;
  decoder_.expectedHeight = h.height;
  const bool portraitVga = h.width == 480 && h.height == 640;
  direct_ = GetScreenWidth() == 640 && GetScreenHeight() == 480 && desc_.xPitch == 2 && desc_.yPitch == 960 &&
                    portraitVga && reader_->IsJmv2()
                ? 1
                : 0;
  if (!direct_) {
    ownBufferSize_ = ((h.width + 15) & ~15u) * ((h.height + 15) & ~15u) * 2;
    ownBuffer_ = static_cast<WORD*>(LocalAlloc(LMEM_FIXED, ownBufferSize_));
    if (!ownBuffer_) {
      delete reader_;
      reader_ = nullptr;
      return 0;
    }
  }
  if (!portraitVga && !(h.width == 240 && h.height == 320)) ClearFrameBuffer();

  if (h.frameCount > 0) {
    DWORD size = 0;
    if (const BYTE* frame = reader_->GetFrame(0, &size)) DecodeFrame(frame, size);
    PresentJmvOrJmv2();
  }

  // The track: the folder part and the file name of the ".mp3", else ".ogg".
  for (const char* extension : {".mp3", ".ogg"}) {
    const std::string track = WithExtension(path, extension);
    if (!FileExists(track.c_str())) continue;
    const size_t slash = track.find_last_of("\\/");
    const std::string folder = slash == std::string::npos ? std::string() : track.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? track : track.substr(slash + 1);
    hasTrack_ = track_->open(mixer_, name.c_str(), folder.c_str(), volume, inMemory) ? 1 : 0;
    break;
  }
  onScreen_ = 0;
  start_ = NowMs();
  return 1;
}

int CMoviePlayer::Step() {
  if (!reader_) return 0;
  const MovieFileHeader& h = reader_->Header();
  if (h.frameCount == 0) return 0;
  uint64_t due;
  if (hasTrack_) {
    const int p = track_->position(mixer_);
    due = p < 0 ? UINT64_MAX : uint64_t(p) * h.rateNumerator / 1000 / h.rateDenominator;
  } else {
    due = uint64_t(NowMs() - start_) * h.rateNumerator / 1000 / h.rateDenominator;
  }
  if (due != onScreen_) {
    if (due >= h.frameCount) return 0;
    DWORD size = 0;
    if (const BYTE* frame = reader_->GetFrame(static_cast<DWORD>(due), &size)) DecodeFrame(frame, size);
    PresentJmvOrJmv2();
    onScreen_ = static_cast<DWORD>(due);
  }
  Sleep(1);
  return 1;
}

void CMoviePlayer::DecodeFrame(const BYTE* frame, DWORD size) {
  decoder_.input = frame;
  decoder_.inputLength = size;
  if (ParseJbp1Header(&decoder_)) {
    ResetBlockFlags(&decoder_);
    if (direct_) {
      decoder_.output = reinterpret_cast<WORD*>(BeginFrameBufferDraw());
      decoder_.outputCapacity = 480 * 640 * 2;
      if (decoder_.output) DecodeMovieFrame(&decoder_);
      EndFrameBufferDraw();
    } else {
      decoder_.output = ownBuffer_;
      decoder_.outputCapacity = ownBufferSize_;
      // A frame that does not decode whole leaves the last good one shown.
      if (DecodeMovieFrame(&decoder_)) decoded_ = 1;
    }
  }
  reader_->ReleaseFrame();
}

void CMoviePlayer::PresentJmvOrJmv2() {
  if (!reader_ || direct_ || !decoded_) return;
  if (reader_->IsJmv2())
    PresentJmv2Frame();
  else
    PresentJmvFrame();
}

void CMoviePlayer::PresentJmvFrame() {
  uint8_t* fb = BeginFrameBufferDraw();
  if (fb) {
    const int w = static_cast<int>(reader_->Header().width), h = static_cast<int>(reader_->Header().height);
    const int W = GetScreenWidth(), H = GetScreenHeight();
    if (w < 640) {
      if (W >= 640)
        Blit(fb, true, 2, W / 2 - w, H / 2 - h);
      else
        Blit(fb, true, 1, W / 2 - w / 2, H / 2 - h / 2);
    } else if (W == 640) {
      Blit(fb, true, 1, 320 - w / 2, H / 2 - h / 2);
    }
  }
  EndFrameBufferDraw();
}

void CMoviePlayer::PresentJmv2Frame() {
  if (direct_) return;
  uint8_t* fb = BeginFrameBufferDraw();
  if (fb) {
    const int w = static_cast<int>(reader_->Header().width), h = static_cast<int>(reader_->Header().height);
    const int W = GetScreenWidth();
    const int fw = desc_.width, fh = desc_.height;
    if (h < 640) {
      if (W >= 640)
        Blit(fb, false, 2, fw / 2 - w, fh / 2 - h);
      else
        Blit(fb, false, 1, fw / 2 - w / 2, fh / 2 - h / 2);
    } else if (W == 640) {
      Blit(fb, false, 1, fw / 2 - w / 2, 320 - h / 2);
    }
  }
  EndFrameBufferDraw();
}

void CMoviePlayer::Blit(uint8_t* fb, bool landscape, int scale, int left, int top) {
  const int w = static_cast<int>(reader_->Header().width), h = static_cast<int>(reader_->Header().height);
  const size_t pitch = (static_cast<size_t>(w) + 15) & ~size_t(15);
  const int W = GetScreenWidth();
  const int fw = desc_.width, fh = desc_.height;
  const intptr_t xp = desc_.xPitch, yp = desc_.yPitch;
  // The destination area in the frame's own orientation, clipped so that
  // every write lands inside the frame buffer.
  const int uMax = landscape ? W : fw, vMax = landscape ? fw : fh;
  const int uMin = landscape ? W - fh : 0;
  int u0 = left, u1 = left + w * scale, v0 = top, v1 = top + h * scale;
  if (u0 < uMin) u0 = uMin;
  if (u0 < 0) u0 = 0;
  if (v0 < 0) v0 = 0;
  if (u1 > uMax) u1 = uMax;
  if (v1 > vMax) v1 = vMax;
  const bool smooth = scale == 2 && smooth_;
  if (u0 >= u1 || v0 >= v1) return;
  // The source pixel at (u, v) of the destination, doubled and averaged.
  auto pixel = [&](int u, int v) -> WORD {
    const int su = (u - left) / scale, sv = (v - top) / scale;
    const WORD* row = ownBuffer_ + static_cast<size_t>(sv) * pitch;
    if (!smooth) return row[su];
    const WORD* below = ownBuffer_ + static_cast<size_t>(sv + 1 < h ? sv + 1 : sv) * pitch;
    const int right = su + 1 < w ? su + 1 : su;
    const int i = (u - left) & 1, j = (v - top) & 1;
    if (i && j) return Average4(row[su], row[right], below[su], below[right]);
    if (i) return Average2(row[su], row[right]);
    if (j) return Average2(row[su], below[su]);
    return row[su];
  };
  if (landscape && xp == 2) {
    // Successive landscape rows are neighbours in the frame buffer: two
    // pixels a 32-bit store down each landscape column.
    for (int u = u0; u < u1; ++u) {
      uint8_t* at = fb + static_cast<intptr_t>(W - 1 - u) * yp + static_cast<intptr_t>(v0) * 2;
      int v = v0;
      if (reinterpret_cast<uintptr_t>(at) & 2) {
        Put(at, pixel(u, v));
        at += 2;
        ++v;
      }
      for (; v + 1 < v1; v += 2, at += 4) {
        const uint32_t pair = static_cast<uint32_t>(pixel(u, v)) | static_cast<uint32_t>(pixel(u, v + 1)) << 16;
        std::memcpy(at, &pair, 4);
      }
      if (v < v1) Put(at, pixel(u, v));
    }
    return;
  }
  for (int v = v0; v < v1; ++v) {
    uint8_t* at = landscape ? fb + static_cast<intptr_t>(W - 1 - u0) * yp + static_cast<intptr_t>(v) * xp
                            : fb + static_cast<intptr_t>(u0) * xp + static_cast<intptr_t>(v) * yp;
    const intptr_t step = landscape ? -yp : xp;
    for (int u = u0; u < u1; ++u, at += step) Put(at, pixel(u, v));
  }
}

void CMoviePlayer::ClearFrameBuffer() {
  uint8_t* fb = BeginFrameBufferDraw();
  if (fb) {
    for (int y = 0; y < desc_.height; ++y)
      for (int x = 0; x < desc_.width; ++x)
        Put(fb + static_cast<intptr_t>(x) * desc_.xPitch + static_cast<intptr_t>(y) * desc_.yPitch, 0);
  }
  EndFrameBufferDraw();
}

int CScreen::PlayMovie(const char* dataFolder, const char* name, CSoundMixer* mixer, int volume, int ignored,
                       int inMemory, int smooth) {
  if (!dataFolder || !name) return 0;
  const char* slash = std::strrchr(name, '/');
  const std::string path = WithExtension(std::string(dataFolder) + (slash ? slash + 1 : name), ".jmv");
  delete movie_;
  movie_ = new CMoviePlayer;
  const int result = movie_->Open(path.c_str(), mixer, volume, ignored, inMemory, smooth);
  if (!result) {
    delete movie_;
    movie_ = nullptr;
  }
  return result;
}

int CScreen::StepMovie(CSoundMixer* mixer) {
  if (!movie_) return 0;
  if (movie_->Step()) return 1;
  if (mixer) mixer->StopChannel(0);
  delete movie_;
  movie_ = nullptr;
  return 0;
}

int CScreen::StopMovie(CSoundMixer* mixer) {
  if (!movie_) return 0;
  if (mixer) mixer->StopChannel(0);
  delete movie_;
  movie_ = nullptr;
  return 1;
}
