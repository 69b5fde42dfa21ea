// A mixer port that records every sound request as one line, for the tests
// of the story's sounds, the message window and the system screens.
#pragma once

#include <string>
#include <vector>

#include "player/scenario/sound_requests.h"

class RecordingMixer : public SoundRequestPort {
 public:
  // "open 0 005.mp3 bgm\ vol=64 loop=1 mem=0 pack=0"; without detail only
  // "open 0 005.mp3".
  int Open(int channel, const char* file, const char* from, PackReader* pack, int volume, int loop,
           int inMemory) override {
    std::string line = "open " + std::to_string(channel) + " " + file;
    if (detail)
      line += std::string(" ") + from + " vol=" + std::to_string(volume) + " loop=" + std::to_string(loop) +
              " mem=" + std::to_string(inMemory) + " pack=" + std::to_string(pack != nullptr);
    calls.push_back(line);
    return 1;
  }
  void Stop(int channel) override { calls.push_back("stop " + std::to_string(channel)); }
  void FadeOut(int channel, int ms) override {
    calls.push_back("fade " + std::to_string(channel) + " " + std::to_string(ms));
  }
  void SetVolume(int channel, int volume) override {
    calls.push_back("volume " + std::to_string(channel) + " " + std::to_string(volume));
  }
  int IsPlaying(int channel) override { return channel == kChannelVoice && voicePlaying; }
  int IsMoviePlaying() override { return moviePlaying; }
  std::vector<std::string> Take() {
    std::vector<std::string> out;
    out.swap(calls);
    return out;
  }

  std::vector<std::string> calls;
  bool detail = true;
  int voicePlaying = 0;
  int moviePlaying = 0;
};
