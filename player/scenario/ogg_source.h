// The Ogg Vorbis decoder overlay ("Tessaly.ovl") and the Ogg source of a
// channel.
#pragma once

#include <windows.h>
#include <mmreg.h>

#include <cstdint>

// 0 when bound or when the overlay is absent; 1 when no module loads.
int LoadOggOverlay();
void UnloadOggOverlay();

class OggSource {
 public:
  OggSource();
  ~OggSource();
  OggSource(const OggSource&) = delete;
  OggSource& operator=(const OggSource&) = delete;

  int OpenMemory(const uint8_t* data, uint32_t size);
  int OpenFile(const char* path);
  void GetPcmSize(uint32_t* size);
  const WAVEFORMATEX* GetFormat();
  // Bytes written.
  uint32_t Read(uint8_t* destination, uint32_t byteCount, int loop);
  int IsAtEnd() const;
  void Suspend();
  void Resume();
  void Free();
};
