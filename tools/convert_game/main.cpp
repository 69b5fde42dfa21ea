// convert_game: runs the converter's conversion job without its dialog, with
// the settings the dialog would otherwise take from its controls.
//
//   convert_game [--screen 640x480|320x240] [--no-sound] [--quality 1-4]
//                <desktop game folder> <output folder>
//
// The job writes "data" below the output folder, which must exist: the
// picture and script pack ("grpack_v.mlz" for 640x480, "grpack.mlz" for
// 320x240) and, unless --no-sound, the voice pack, music and effects with the
// dialog's default sound settings (MP3).  Exit status 0 when every item was
// converted, 1 when some were not, 2 for a bad command line.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "converter/conv_file_make.h"

namespace {

int Usage() {
  std::fprintf(stderr,
               "usage: convert_game [--screen 640x480|320x240] [--no-sound] [--quality 1-4] <game folder> <output "
               "folder>\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  int percent = 80, quality = 2;
  bool sound = true;
  std::string folders[2];
  int found = 0;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--screen" && i + 1 < argc) {
      const std::string s = argv[++i];
      if (s == "640x480") {
        percent = 80;
      } else if (s == "320x240") {
        percent = 40;
      } else {
        return Usage();
      }
    } else if (a == "--no-sound") {
      sound = false;
    } else if (a == "--quality" && i + 1 < argc) {
      quality = std::atoi(argv[++i]);
      if (quality < 1 || quality > 4) return Usage();
    } else if (!a.empty() && a[0] != '-' && found < 2) {
      folders[found++] = a;
    } else {
      return Usage();
    }
  }
  if (found != 2) return Usage();
  for (const std::string& f : folders)
    if (f.size() >= CConvFileMake::kFolderChars) {
      std::fprintf(stderr, "convert_game: folder name too long: %s\n", f.c_str());
      return 2;
    }

  // The dialog's defaults: bit rate item 3 for music and voices, 22,050 Hz,
  // stereo music, MP3.
  const int bitrates[2] = {3, 3}, rates[2] = {0, 0};
  auto* job = new CConvFileMake(bitrates, rates, 1, percent);
  std::snprintf(job->m_sourceFolder, sizeof job->m_sourceFolder, "%s", folders[0].c_str());
  std::snprintf(job->m_outputFolder, sizeof job->m_outputFolder, "%s", folders[1].c_str());
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
    std::fprintf(stderr, "convert_game: the conversion could not start\n");
    return 1;
  }
  int shown = -1;
  while (!job->IsFinished()) {
    Sleep(100);
    if (job->DoneCount() / 50 != shown) {
      shown = job->DoneCount() / 50;
      std::fprintf(stderr, "\rconvert_game: %d / %d", job->DoneCount(), job->TotalCount());
    }
  }
  ctrl.WaitChecked(INFINITE);
  ctrl.Close();
  const int done = job->DoneCount(), total = job->TotalCount(), failures = job->FailureCount();
  delete job;
  std::fprintf(stderr, "\rconvert_game: %d / %d converted, %d failed\n", done, total, failures);
  return failures == 0 ? 0 : 1;
}
