// The sound mixer on wave output.  Placeholder interface of what the
// platform calls; the sound work replaces it.
#pragma once

#include <cstdint>

class CSoundMixer {
 public:
  CSoundMixer();
  ~CSoundMixer();
  // Returns the rate in use (44,100 or 22,050).
  unsigned OpenOutput(unsigned rate);
  void CloseOutput();
  void Suspend();
  void Resume();
  void SetPreferredCodec(int n);
  void SetDeviceVolume(uint32_t v);
  void StopChannel(int channel);
  void StopAll();
};

// Decoder overlays; 1 also when an overlay is missing.
int LoadMp3Overlay();
void UnloadMp3Overlay();
int LoadOggOverlay();
void UnloadOggOverlay();
