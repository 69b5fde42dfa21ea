#include "tests/e2e/e2e_support.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

#include "converter/conv_file_make.h"

extern char** environ;

namespace e2e {

ConversionResult Convert(const std::string& source, const std::string& output, int percent, int quality) {
  const int bitrates[2] = {5, 3}, rates[2] = {1, 0};
  auto* job = new CConvFileMake(bitrates, rates, 1, percent);
  std::snprintf(job->m_sourceFolder, sizeof job->m_sourceFolder, "%s", source.c_str());
  std::snprintf(job->m_outputFolder, sizeof job->m_outputFolder, "%s", output.c_str());
  job->m_qualityCode = quality;
  job->m_doPictures = 1;
  job->m_doMusic = 0;
  job->m_doVoices = 0;
  job->m_encoder = 0;
  CThreadCtrl ctrl(job);
  ctrl.StartChecked();
  while (!job->IsFinished()) Sleep(5);
  ConversionResult r;
  r.finished = ctrl.WaitChecked(INFINITE) != 0;
  ctrl.Close();
  r.done = job->DoneCount();
  r.total = job->TotalCount();
  r.failures = job->FailureCount();
  delete job;
  return r;
}

std::string PlayerPath(std::string path) {
  std::replace(path.begin(), path.end(), '/', '\\');
  return path;
}

long StartProgram(const std::string& exe, const std::vector<std::string>& extraEnv, const std::string& errFile) {
  // What the caller's display, sound and player settings would change.
  const auto leftOut = [](const std::string& s) {
    for (const char* prefix : {"VELMI_", "DISPLAY=", "WAYLAND_DISPLAY=", "SDL_VIDEODRIVER=", "SDL_AUDIODRIVER="})
      if (s.rfind(prefix, 0) == 0) return true;
    return false;
  };
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e)
    if (!leftOut(*e)) env.push_back(*e);
  env.insert(env.end(), extraEnv.begin(), extraEnv.end());
  std::vector<char*> envp;
  for (std::string& s : env) envp.push_back(s.data());
  envp.push_back(nullptr);
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_addopen(&fa, 2, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  std::string arg0 = exe;
  char* argv[] = {arg0.data(), nullptr};
  pid_t pid = -1;
  const int spawned = posix_spawn(&pid, exe.c_str(), &fa, nullptr, argv, envp.data());
  posix_spawn_file_actions_destroy(&fa);
  return spawned == 0 ? long(pid) : -1;
}

int WaitForProgram(long process, int seconds) {
  if (process <= 0) return -2;
  const pid_t pid = pid_t(process);
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  for (;;) {
    int status = 0;
    if (waitpid(pid, &status, WNOHANG) == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : -3;
    if (std::chrono::steady_clock::now() > end) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      return -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

int RunProgram(const std::string& exe, const std::vector<std::string>& extraEnv, const std::string& errFile,
               int seconds) {
  return WaitForProgram(StartProgram(exe, extraEnv, errFile), seconds);
}

}  // namespace e2e
