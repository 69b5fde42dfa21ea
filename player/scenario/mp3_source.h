// The MP3 decoder overlay ("Corvane.ovl") and the MP3 source of a channel.
#pragma once

#include <windows.h>
#include <mmreg.h>

#include <cstdint>

// 0 when bound or when the overlay is absent; 1 when no module loads.
int LoadMp3Overlay();
void UnloadMp3Overlay();

class Mp3Source {
 public:
  Mp3Source();
  ~Mp3Source();
  Mp3Source(const Mp3Source&) = delete;
  Mp3Source& operator=(const Mp3Source&) = delete;

  // 0 on success, 1 when no decoder can be made.
  int OpenMemory(const uint8_t* image, uint32_t size);
  int OpenMappedFile(const char* path, uint32_t startOffset, uint32_t size);
  // PCM bytes written.
  uint32_t Read(uint8_t* destination, uint32_t byteCount, int loop);
  int IsAtEnd() const;
  const WAVEFORMATEX* GetFormat() const;
  void EstimatePcmSize(uint32_t* size);
  void Suspend();
  void Resume();
  void Close();
};
