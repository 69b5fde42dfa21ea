// The MP3 decoder overlay "Corvane.ovl" and the MP3 source of the mixer:
// a stream over a memory image or a mapped file, walked frame by frame,
// each frame decoded by the overlay.
#pragma once

#include <windows.h>
#include <mmreg.h>

typedef void* (*Mp3CreateFn)(const BYTE* header);
typedef int (*Mp3PredecodeFn)(void* handle, const BYTE* header);
typedef int (*Mp3DecodeFn)(void* handle, void* out, const BYTE* frame, int length);
typedef void (*Mp3DestroyFn)(void* handle);
typedef int (*Mp3GetDecVerFn)(char* text);

// The overlay binding; all five entries are set or none.
struct Mp3Overlay {
  Mp3DecodeFn decode;
  Mp3CreateFn create;
  Mp3PredecodeFn predecode;
  Mp3DestroyFn destroy;
  Mp3GetDecVerFn getdecver;
  HMODULE module;
};
extern Mp3Overlay g_mp3Overlay;

// Loads "Corvane.ovl"; 1 when the module cannot be loaded, else 0 (a module
// that lacks an entry is freed again and the binding stays absent).
int LoadMp3Overlay();
void UnloadMp3Overlay();
// 1 while the binding is present.
int Mp3OverlayPresent();

// Words of the overlay's stream record.
constexpr int MP3_WORD_CHANNELS = 3;
constexpr int MP3_WORD_FRAME_LENGTH = 12;
constexpr int MP3_WORD_BITRATE = 15;
constexpr int MP3_WORD_RATE = 16;

class Mp3Source {
 public:
  static constexpr DWORD SPILL_SIZE = 4608;
  static constexpr DWORD FRAME_INPUT_SIZE = 2882;
  static constexpr DWORD DECODED_SIZE = 4610;
  static constexpr DWORD PATH_SIZE = 512;

  Mp3Source();
  ~Mp3Source();
  Mp3Source(const Mp3Source&) = delete;
  Mp3Source& operator=(const Mp3Source&) = delete;

  // 0 on success; 1 when the stream cannot be decoded (no binding, no frame
  // header at its start) or, for a file, cannot be opened and mapped.  The
  // image stays the caller's and must outlive the source.
  int OpenMemory(const BYTE* image, DWORD size);
  // size 0 = the file's size from the start offset.  A path of 512 bytes or
  // more fails.
  int OpenMappedFile(const char* path, DWORD startOffset, DWORD size);
  // Up to `want` PCM bytes into dst; fewer only at the end of a stream that
  // does not loop.  A looping stream starts again after the ID3v2 tag.
  uint32_t Read(uint8_t* dst, uint32_t want, int loop);
  int IsAtEnd() const { return endFlag; }
  const WAVEFORMATEX* GetFormat() const { return &format; }
  void EstimatePcmSize(DWORD* size);
  void Suspend();
  void Resume();
  void Close();

  int endFlag;
  void* decoder;  // the overlay's stream record
  int kind;       // 0 memory image, 1 mapped file
  const BYTE* data;
  DWORD endOffset;
  DWORD currentOffset;
  DWORD startOffset;
  HANDLE file;
  HANDLE mapping;
  WAVEFORMATEX format;
  DWORD avgBytesPerSec;
  DWORD durationMs;
  BYTE spill[SPILL_SIZE];
  DWORD spillPos;
  DWORD spillEnd;
  BYTE frameInput[FRAME_INPUT_SIZE];
  BYTE decoded[DECODED_SIZE];
  int suspended;
  char path[PATH_SIZE];

 private:
  int MapFile(DWORD* fileSize);
  void UnmapFile();
  int StartDecoder();
};
