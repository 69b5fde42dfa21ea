// convert_game: runs the converter's conversion job without its dialog, with
// the settings the dialog would otherwise take from its controls.
//
//   convert_game [--screen 640x480|320x240] [--no-sound] [--quality 1-4]
//                <desktop game folder> <output folder>
//
// The job writes "data" below the output folder, which must exist: the
// picture and script pack ("grpack_v.mlz" for 640x480, "grpack.mlz" for
// 320x240) and, unless --no-sound, the voice pack, music and effects with the
// dialog's default sound settings (MP3).  Before it converts anything it
// checks the game folder (it exists and holds "QR2.exe", the dialog's own
// test), the output folder (it exists and a file can be made in it) and, for
// a run with sound, the MP3 encoder module.  Each item that could not be
// converted is named on the error stream; the run ends with one summary line.
// Progress goes to the error stream: one line updated in place on a terminal,
// whole lines (each stage's start and tenths) to a file or a pipe.
// Exit status 0 when every item was converted and the disk confirmed every
// file, 1 when some were not converted or the disk did not confirm a file
// written, 2 when the run was refused before anything was converted: a bad
// command line, a refused folder or module, or a conversion that could not
// start.
#include <velmi_platform.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "common/file.h"
#include "converter/conv_file_make.h"
#include "converter/progress_lines.h"
#include "converter/sound/mp3_encoder.h"

namespace {

const char kUsage[] =
    "usage: convert_game [--screen 640x480|320x240] [--no-sound] [--quality 1-4]\n"
    "                    <game folder> <output folder>\n"
    "Converts the desktop game in <game folder> (the folder that holds QR2.exe)\n"
    "into the handheld data folder <output folder>/data, as the converter's dialog\n"
    "does; <output folder> must exist and be writable.\n"
    "  --screen 640x480   the screen of player_ce42 and player_ce50 (the default):\n"
    "                     writes grpack_v.mlz\n"
    "  --screen 320x240   the screen of player_ce30: writes grpack.mlz\n"
    "  --no-sound         pictures and scripts only; without it the music, the\n"
    "                     sound effects and the voices are converted too (MP3)\n"
    "  --quality 1-4      picture quality, 1 the highest, 4 the lowest (default 2)\n"
    "The MP3 encoder module (gogo.dll.so), which a run with sound needs, is looked\n"
    "for beside convert_game (the build puts it there), then in each folder named\n"
    "in VELMI_MODULE_PATH (folders separated by ':').\n"
    "Folder names must be ones that code page 932 (Shift-JIS) can hold: Japanese\n"
    "or ASCII characters.\n"
    "Exit status:\n"
    "  0: every item was converted and the disk confirmed every file\n"
    "  1: some items were not, or the disk did not confirm a file written (each\n"
    "     is named on the error stream)\n"
    "  2: refused before anything was converted (a bad command line, a folder or\n"
    "     the encoder module refused, or the conversion could not start)\n";

int BadArgument(const std::string& what) {
  std::fprintf(stderr, "convert_game: %s (convert_game --help tells the arguments)\n", what.c_str());
  return 2;
}

int Refuse(const std::string& what) {
  std::fprintf(stderr, "convert_game: %s; nothing was converted\n", what.c_str());
  return 2;
}

// A folder named on the command line (UTF-8) as the job's paths take it
// (code page 932) in *path; an argument that is not UTF-8 is taken as it
// stands.  False when it is UTF-8 with a character code page 932 lacks: no
// path of the job could name that folder.
bool JobPath(const std::string& utf8, std::string* path) {
  *path = utf8;
  const int wide = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), int(utf8.size()), nullptr, 0);
  if (wide <= 0) return true;
  std::vector<WCHAR> w(static_cast<size_t>(wide));
  MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), int(utf8.size()), w.data(), wide);
  BOOL lost = FALSE;
  const int bytes = WideCharToMultiByte(932, 0, w.data(), wide, nullptr, 0, nullptr, &lost);
  if (bytes <= 0 || lost) return false;
  path->assign(size_t(bytes), '\0');
  WideCharToMultiByte(932, 0, w.data(), wide, path->data(), bytes, nullptr, nullptr);
  return true;
}

// A folder as the user named it (UTF-8), '/' between folders: never through
// code page 932, which may not hold it.
std::string ShownArgument(std::string utf8) {
  for (char& c : utf8)
    if (c == '\\') c = '/';
  return utf8;
}

bool IsFolder(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Makes and removes a file in the folder: the one test of writing that also
// holds for a user whom permissions do not stop.  "" when it worked, else why.
std::string WriteProbe(const std::string& folder) {
  std::string probe;
  HANDLE h = INVALID_HANDLE_VALUE;
  DWORD error = ERROR_ALREADY_EXISTS;
  // A name nobody uses: the probe never touches a file of someone else.
  for (int n = 0; n < 100 && h == INVALID_HANDLE_VALUE; ++n) {
    probe = folder + "\\convert_game-probe-" + std::to_string(n) + ".tmp";
    h = CreateFileA(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    error = GetLastError();
    if (h == INVALID_HANDLE_VALUE && error != ERROR_ALREADY_EXISTS && error != ERROR_FILE_EXISTS) break;
  }
  if (h == INVALID_HANDLE_VALUE) return ErrorReason(error, probe.c_str());
  const BYTE byte = 0;
  DWORD written = 0;
  const bool wrote = WriteFile(h, &byte, 1, &written, nullptr) && written == 1;
  error = GetLastError();
  CloseHandle(h);
  DeleteFileA(probe.c_str());
  return wrote ? std::string() : ErrorReason(error, probe.c_str());
}

void PrintFailures(CConvFileMake& job, bool* lineOpen) {
  for (const CConvFileMake::Failure& f : job.TakeFailures()) {
    if (*lineOpen) std::fputc('\n', stderr);
    *lineOpen = false;
    std::fprintf(stderr, "convert_game: failed: %s\n", FailureText(f).c_str());
  }
}

}  // namespace

int main(int argc, char** argv) {
  int percent = 80, quality = 2;
  bool sound = true;
  std::string folders[2];
  int found = 0;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--help" || a == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    }
  }
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--screen" || a == "--quality") {
      if (i + 1 >= argc) return BadArgument(a + " needs a value");
      const std::string v = argv[++i];
      if (a == "--screen" && v == "640x480") {
        percent = 80;
      } else if (a == "--screen" && v == "320x240") {
        percent = 40;
      } else if (a == "--quality" && v.size() == 1 && v[0] >= '1' && v[0] <= '4') {
        quality = v[0] - '0';
      } else {
        return BadArgument("unknown value of " + a + ": " + v);
      }
    } else if (a == "--no-sound") {
      sound = false;
    } else if (!a.empty() && a[0] != '-' && found < 2) {
      folders[found++] = a;
    } else if (!a.empty() && a[0] != '-') {
      return BadArgument("one folder too many: " + a);
    } else {
      return BadArgument("unknown argument: " + a);
    }
  }
  if (found != 2)
    return BadArgument(found == 0 ? "the game folder and the output folder are missing"
                                  : "the output folder is missing");
  std::string game, output;
  const char* const roles[2] = {"game", "output"};
  for (int f = 0; f < 2; ++f) {
    if (!JobPath(folders[f], f == 0 ? &game : &output))
      return Refuse(std::string("the ") + roles[f] + " folder " + ShownArgument(folders[f]) +
                    " has a name that code page 932 (Shift-JIS, which the converter's paths use) cannot hold: "
                    "use a folder whose name, and the names of the folders above it, are in Japanese or ASCII "
                    "characters");
  }
  for (const std::string& f : {game, output})
    if (f.size() >= CConvFileMake::kFolderChars) return Refuse("folder name too long: " + ShownPath(f));

  // Everything the run needs is checked before it starts, so that a wrong
  // folder is said at once and not found item by item.
  if (!IsFolder(game)) return Refuse("the game folder " + ShownPath(game) + " does not exist or is not a folder");
  if (!FileExists((game + "\\QR2.exe").c_str()))
    return Refuse("the game folder " + ShownPath(game) +
                  " holds no QR2.exe: name the folder of the installed desktop game");
  if (!IsFolder(output))
    return Refuse("the output folder " + ShownPath(output) + " does not exist or is not a folder: create it first");
  if (FileExists((output + "\\data").c_str()) && !IsFolder(output + "\\data"))
    return Refuse(ShownPath(output + "\\data") +
                  " exists and is not a folder: move it away, or name another output folder");
  for (const std::string& f : {output, output + "\\data"}) {
    if (f != output && !IsFolder(f)) break;
    const std::string why = WriteProbe(f);
    if (!why.empty()) return Refuse("cannot write in " + ShownPath(f) + " (" + why + ")");
  }
  if (sound) {
    char version[512] = {};
    CGogoEncoder(0).GetVersionText(version);
    if (!version[0]) {
      const char* path = std::getenv("VELMI_MODULE_PATH");
      return Refuse(std::string("the MP3 encoder module gogo.dll.so is neither beside convert_game nor in ") +
                    (path ? "VELMI_MODULE_PATH (" + std::string(path) + ")" : "VELMI_MODULE_PATH (not set)") +
                    ": name its folder in VELMI_MODULE_PATH (the build's converter folder holds one), or add "
                    "--no-sound");
    }
  }

  // The dialog's defaults: bit rate item 3 for music and voices, 22,050 Hz,
  // stereo music, MP3.
  const int bitrates[2] = {3, 3}, rates[2] = {0, 0};
  auto* job = new CConvFileMake(bitrates, rates, 1, percent);
  std::snprintf(job->m_sourceFolder, sizeof job->m_sourceFolder, "%s", game.c_str());
  std::snprintf(job->m_outputFolder, sizeof job->m_outputFolder, "%s", output.c_str());
  job->m_qualityCode = quality;
  job->m_doPictures = 1;
  job->m_doMusic = sound ? 1 : 0;
  job->m_doVoices = sound ? 1 : 0;
  job->m_encoder = 0;
  CThreadCtrl ctrl(job);
  try {
    ctrl.StartChecked();
  } catch (const CCtrlFailed&) {
    delete job;
    return Refuse("the conversion could not start (no worker thread)");
  }
  // A terminal shows one line updated in place; a log gets whole lines.
  const bool terminal = VelmiStreamIsTerminal(2);
  CProgressLines stageLines;
  const auto printStageLines = [&] {
    for (const std::string& line : stageLines.Take(*job)) std::fprintf(stderr, "convert_game: %s\n", line.c_str());
  };
  int shown = -1;
  bool lineOpen = false;
  while (!job->IsFinished()) {
    Sleep(100);
    PrintFailures(*job, &lineOpen);
    if (!terminal) {
      printStageLines();
    } else if (job->TotalCount() > 0 && job->DoneCount() / 50 != shown) {
      // The first line once the run knows how much there is to do.
      shown = job->DoneCount() / 50;
      std::fprintf(stderr, "\rconvert_game: %d / %d", job->DoneCount(), job->TotalCount());
      lineOpen = true;
    }
  }
  ctrl.WaitChecked(INFINITE);
  ctrl.Close();
  PrintFailures(*job, &lineOpen);
  if (!terminal) printStageLines();
  const int failures = job->FailureCount();
  const std::string summary = RunSummary(*job);
  delete job;
  // The summary takes the progress line's place.
  std::fprintf(stderr, "%sconvert_game: %s; data folder: %s\n", lineOpen ? "\r" : "", summary.c_str(),
               ShownPath(output + "\\data").c_str());
  return failures == 0 ? 0 : 1;
}
