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

// Starts the program with the extra environment (VELMI_ and DISPLAY
// variables of the caller left out), stderr to errFile: its process id, or
// -1 when it could not start.
long StartProgram(const std::string& exe, const std::vector<std::string>& extraEnv, const std::string& errFile);
// Exit code of a started program; -1 when it did not end within the time (it
// is then killed), -2 when it never started, -3 when it did not exit.
int WaitForProgram(long process, int seconds);
// Both: the exit code of the program run to its end.
int RunProgram(const std::string& exe, const std::vector<std::string>& extraEnv, const std::string& errFile,
               int seconds);

}  // namespace e2e
