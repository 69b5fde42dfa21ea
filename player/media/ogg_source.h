// The Ogg Vorbis decoder overlay "Tessaly.ovl" and the Ogg source of the
// mixer: a thin source that asks the overlay for PCM, keeps what a decode
// step writes beyond a request and replays the stream when it loops.
#pragma once

#include <windows.h>
#include <mmreg.h>

typedef const void* (*OggPcmFormatFn)(void* handle);
typedef void* (*OggCreateFn)();
typedef int (*OggProcessFrameFn)(void* handle, void* out, int room, int loop);
typedef int (*OggPcmSizeFn)(void* handle, DWORD* size);
typedef int (*OggEofFn)(void* handle);
typedef int (*OggInputFileFn)(void* handle, const char* path, int, int);
typedef int (*OggVersionFn)(char* text);
typedef int (*OggHandleFn)(void* handle);
typedef int (*OggInputMemoryFn)(void* handle, const void* data, DWORD size, int);
typedef void (*OggFreeFn)(void* handle);

// The overlay binding: eleven entries required, the "2" forms, suspend and
// resume optional.
struct OggOverlay {
  OggPcmFormatFn pcm_format;
  OggCreateFn create;
  OggProcessFrameFn process_frame;
  OggPcmSizeFn pcm_size;
  OggEofFn eof;
  OggInputFileFn input_file_open;
  OggInputFileFn input_file_open2;
  OggVersionFn tessaly_ver;
  OggInputFileFn input_file_map2;
  OggInputFileFn input_file_map;
  OggHandleFn replay;
  OggInputMemoryFn input_memory;
  OggFreeFn free;
  OggInputMemoryFn input_memory2;
  OggHandleFn resume;
  OggHandleFn suspend;
  HMODULE module;
};
extern OggOverlay g_oggOverlay;

// Loads "Tessaly.ovl"; 1 when the module cannot be loaded, else 0 (a module
// that lacks a required entry is freed again and the binding stays absent).
// The overlay's version text is stored with SetOggOverlayVersion.
int LoadOggOverlay();
void UnloadOggOverlay();
int OggOverlayPresent();

class OggSource {
 public:
  static constexpr DWORD SPILL_SIZE = 16384;
  static constexpr DWORD PATH_SIZE = 256;
  // Room a destination needs behind the bytes asked for: a decode step may
  // write up to this much past the request.
  static constexpr DWORD OVERSHOOT_ROOM = SPILL_SIZE;

  // Creates the overlay's decoder; without a binding the source stays
  // unusable (every open fails).
  OggSource();
  ~OggSource();
  OggSource(const OggSource&) = delete;
  OggSource& operator=(const OggSource&) = delete;

  // 0 on success, 1 when the stream cannot be decoded.  The image stays the
  // caller's and must outlive the source.
  int OpenMemory(const BYTE* image, DWORD size);
  // The path (a multi-byte Windows path of fewer than 256 bytes) is kept.
  int OpenFile(const char* filePath);
  void GetPcmSize(DWORD* size);
  // The stream's format (channels, rate, bits); null without a decoder.
  const WAVEFORMATEX* GetFormat();
  // Up to `want` bytes into dst, which must have OVERSHOOT_ROOM bytes of
  // room behind them.
  uint32_t Read(uint8_t* dst, uint32_t want, int loop);
  int IsAtEnd() const { return endFlag; }
  void Suspend();
  void Resume();
  void Free();

  void* handle;
  int endFlag;
  BYTE spill[SPILL_SIZE];
  DWORD spillPos;
  DWORD spillEnd;
  int finished;
  char path[PATH_SIZE];

 private:
  WAVEFORMATEX format;
  int Started(int result);
};
