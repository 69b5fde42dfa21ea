// The sound mixer on wave output.  Placeholder interface of what the
// platform calls; the sound work replaces it.
#pragma once

#include <cstdint>

class PackReader;

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
  // Opens a sound on the channel (name, folder or pack path, pack reader,
  // volume 0..100, fade-in ms, loop, start, in memory); 1 on success.
  int OpenSound(int channel, const char* name, const char* folder, PackReader* reader, int volume, int fadeMs,
                int loop, int start, int inMemory);
  // Play position in ms of a playing channel; -1 when it does not play.
  int GetPlayPosition(int channel);
  void StopChannel(int channel);
  void StopAll();
};

// Decoder overlays; 1 also when an overlay is missing.
int LoadMp3Overlay();
void UnloadMp3Overlay();
int LoadOggOverlay();
void UnloadOggOverlay();
