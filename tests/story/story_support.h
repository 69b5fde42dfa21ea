// Test support for the story: an application object whose story requests
// are recorded (a recording stage, message window, sound and so on) instead
// of drawn or played, and scripts assembled from their text form.
#pragma once

#include <array>
#include <map>
#include <string>
#include <vector>

#include "player/app/game_app.h"
#include "player/scenario/story.h"

namespace story_test {

// What the recorders answer and remember.
struct World {
  std::vector<std::string> log;                         // calls of the current frame
  std::map<std::string, std::vector<uint8_t>> scripts;  // pack entry name -> file bytes
  const std::vector<uint8_t>* anyScript = nullptr;      // read for every other name when set
  std::map<std::string, int> framesToFinish;            // call name -> calls before it answers 1
  std::map<std::string, int> calls;                     // call name -> calls so far
  std::vector<std::string> seenB;                       // seen-list B in order
  std::vector<std::string> readFlags;                   // "script:block"
  // Answer of a call that runs until done: 1 on its framesToFinish-th call
  // since the instruction began (default: at once).
  int Finish(const std::string& name);
};

World& TheWorld();

// Installs the recorders for the life of the object and restores the
// production table afterwards; also keeps the opcode table as it was.
class RecordingStory {
 public:
  RecordingStory();
  ~RecordingStory();
  RecordingStory(const RecordingStory&) = delete;
  RecordingStory& operator=(const RecordingStory&) = delete;

 private:
  StoryCalls saved_;
  std::array<OpcodeHandler, 256> savedOpcodes_;
};

}  // namespace story_test
