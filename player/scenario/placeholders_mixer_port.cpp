// Stands in for the mixer behind the story's sound requests: nothing sounds.
#include "player/scenario/story_sound.h"

namespace {
class SilentPort : public SoundRequestPort {
 public:
  int Open(int, const char*, const char*, PackReader*, int, int, int) override { return 0; }
  void Stop(int) override {}
  void FadeOut(int, int) override {}
  void SetVolume(int, int) override {}
  int IsPlaying(int) override { return 0; }
};
}  // namespace

SoundRequestPort* MixerSoundPort(CSoundMixer*) {
  static SilentPort port;
  return &port;
}
