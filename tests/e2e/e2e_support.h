// Shared by the end-to-end tests: scratch folders, a whole conversion run,
// and the player's form of a path.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace e2e {

struct ConversionResult {
  bool finished = false;
  int done = 0, total = 0, failures = 0;
};

// Pictures, scripts and maps only (no sound), as the dialog starts the job.
ConversionResult Convert(const std::string& source, const std::string& output, int percent, int quality);

// "/a/b" -> "\a\b": the player names files with backslashes.
std::string PlayerPath(std::string path);

// Starts the program with the extra environment (the caller's VELMI_
// variables, DISPLAY, WAYLAND_DISPLAY, SDL_VIDEODRIVER and SDL_AUDIODRIVER
// left out), stderr to errFile: its process id, or -1 when it could not
// start.
long StartProgram(const std::string& exe, const std::vector<std::string>& extraEnv, const std::string& errFile);
// Exit code of a started program; -1 when it did not end within the time (it
// is then killed), -2 when it never started, -3 when it did not exit.
int WaitForProgram(long process, int seconds);
// Both: the exit code of the program run to its end.
int RunProgram(const std::string& exe, const std::vector<std::string>& extraEnv, const std::string& errFile,
               int seconds);

// A device script: frames count from the start, and after a wait from the
// frame that reported its mode.
struct DeviceScript {
  std::string text;
  int frame = 0;
  DeviceScript& Wait(const char* what) {
    text += std::to_string(frame + 1) + " wait " + what + "\n";
    frame = 0;
    return *this;
  }
  // One frame down, released the frame after, two frames apart.
  DeviceScript& Press(const char* key) {
    frame += 2;
    text += std::to_string(frame) + " key down " + key + "\n" + std::to_string(frame + 1) + " key up " + key + "\n";
    frame += 1;
    return *this;
  }
  DeviceScript& Line(int after, const std::string& action) {
    frame += after;
    text += std::to_string(frame) + " " + action + "\n";
    return *this;
  }
};

}  // namespace e2e
