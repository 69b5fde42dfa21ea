// Opens the converter's dialog on the GTK host (run under Xvfb), checks the
// widgets GTK shows, clicks through GTK, follows a run and a refusal, and
// saves screenshots (the dialog after the run, during it, and the refusal's
// box beside the first, "-progress" and "-refusal" added to its name):
//   dialog_gtk_check <png path>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "converter/app/conv_velmi_dlg.h"
#include "tests/dialog/dialog_fixture.h"
#include "velmi_mfc.h"

namespace {

int g_failures = 0;

void Check(bool ok, const std::string& what) {
  if (!ok) {
    ++g_failures;
    std::fprintf(stderr, "FAILED: %s\n", what.c_str());
  }
}

std::string Widget(HWND dialog, int id) {
  std::string text;
  Check(velmi_mfc::ToolkitWidgetText(dialog, id, &text), "widget " + std::to_string(id) + " exists");
  return text;
}

void Expect(HWND dialog, int id, const std::string& utf8) {
  std::string got = Widget(dialog, id);
  Check(got == utf8, "widget " + std::to_string(id) + " shows \"" + utf8 + "\", got \"" + got + "\"");
}

// What the program writes on one of its streams (1 or 2) while it lives,
// kept in a file; the stream comes back at Take.
class Captured {
 public:
  Captured(int fd, const std::string& file) : m_fd(fd), m_file(file) {
    std::fflush(nullptr);
    m_saved = dup(fd);
    const int to = open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(to, fd);
    close(to);
  }
  ~Captured() { Take(); }
  std::string Take() {
    if (m_saved >= 0) {
      std::fflush(nullptr);
      dup2(m_saved, m_fd);
      close(m_saved);
      m_saved = -1;
    }
    std::ifstream in(m_file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
  }

 private:
  int m_fd, m_saved = -1;
  std::string m_file;
};

// png with a word put before its extension.
std::string Beside(const std::string& png, const std::string& word) {
  const size_t dot = png.rfind(".png");
  return dot == std::string::npos ? png + "-" + word : png.substr(0, dot) + "-" + word + ".png";
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s <png path>\n", argv[0]);
    return 2;
  }
  const std::string png = argv[1], progressPng = Beside(png, "progress"), refusalPng = Beside(png, "refusal");
  for (const std::string& p : {png, progressPng, refusalPng}) std::remove(p.c_str());
  velmi_mfc::UseHeadless(false);
  if (velmi_mfc::IsHeadless()) {
    std::fprintf(stderr, "no display: run under xvfb-run\n");
    return 1;
  }
  dtest::Sandbox box;
  box.WriteGame(true);  // long enough a run for the 100 ms timer to show it
  box.SetDataDir(dtest::LayerPath(box.GameFolder()) + "\\");

  bool shown = false;
  CConvVelmiDlg dlg;
  velmi_mfc::SetShownHook([&](HWND h) {
    shown = true;
    Expect(h, 0, "convVelmi[ver.1.01]Ｑ．Ｒ．Ⅱ専用コンバータ");
    Expect(h, IDC_BROWSE, "参照(F)");
    Expect(h, IDC_START, "開始(S)");
    Expect(h, IDC_STEREO, "ｽﾃﾚｵ");
    Expect(h, IDC_DO_PICTURES, "画像＆シナリオ");
    Expect(h, IDC_DO_MUSIC, "ＢＧＭ＆効果音");
    Expect(h, IDC_DO_VOICES, "音声");
    Expect(h, IDC_ENCODER_MP3, "GOGO.DLL[MP3]");
    Expect(h, IDC_ENCODER_OGG, "OGGENC.DLL[OGG]");
    Expect(h, IDC_OGG_NOTE, "[OGG]の場合は[32/16kbit]以下は[48/24kbit]に強制設定。");
    Expect(h, IDC_BGM_BITRATE, "64/32kbit");
    Expect(h, IDC_VOICE_BITRATE, "32kbit");
    Expect(h, IDC_BGM_RATE, "22.05kHz");
    Expect(h, IDC_SCREEN, "320*240");
    Expect(h, IDC_QUALITY, "標準(90)");
    Expect(h, IDC_SOURCE_EDIT, box.GameFolder());  // '/' between folders
    Check(Widget(h, IDC_GOGO_VERSION).rfind("GOGO.DLL : libmp3lame", 0) == 0, "gogo version shown");
    Check(Widget(h, IDC_OGGENC_VERSION).rfind("OGGENC.DLL : ", 0) == 0, "oggenc version shown");

    // A change made by the program notifies nobody; a click in GTK does.
    dlg.CheckDlgButton(IDC_STEREO, 0);
    velmi_mfc::ToolkitPump(50);
    Check(dlg.m_stereo == 1, "setting the box from code leaves the flag");
    dlg.CheckDlgButton(IDC_STEREO, 1);
    Check(velmi_mfc::ToolkitClick(h, IDC_STEREO), "stereo widget clicked");
    velmi_mfc::ToolkitPump(50);
    Check(dlg.m_stereo == 0 && dlg.IsDlgButtonChecked(IDC_STEREO) == 0, "a click flips the flag and the box");
    Check(velmi_mfc::ToolkitClick(h, IDC_STEREO), "stereo widget clicked again");
    Check(dlg.m_stereo == 1 && dlg.IsDlgButtonChecked(IDC_STEREO) == 1, "a second click restores both");
    Check(velmi_mfc::ToolkitClick(h, IDC_ENCODER_OGG), "ogg radio clicked");
    Check(dlg.IsDlgButtonChecked(IDC_ENCODER_OGG) == 1 && dlg.IsDlgButtonChecked(IDC_ENCODER_MP3) == 0,
          "radio buttons follow the click");
    Check(velmi_mfc::ToolkitClick(h, IDC_ENCODER_MP3), "mp3 radio clicked");

    // The timer runs on GTK's loop: a run started from the widget moves the
    // progress line and ends with Start enabled again.
    // The run's summary line goes to stdout, for a user who started the
    // program from a terminal; a clean run shows no box.
    int boxes = 0;
    velmi_mfc::SetBoxShownHook([&](const std::string&, const std::string&) { ++boxes; });
    Captured out(1, box.Root() + "/stdout.txt");
    Check(velmi_mfc::ToolkitClick(h, IDC_START), "start clicked");
    Check(!dlg.GetDlgItem(IDC_START)->IsWindowEnabled(), "start disabled during the run");
    bool sawProgress = false, sawBackslash = false, photographed = false;
    for (int i = 0; i < 3000 && dlg.m_job; ++i) {
      velmi_mfc::ToolkitPump(20);
      const std::string line = Widget(h, IDC_PROGRESS);
      if (line.rfind("変換データ数：", 0) == 0) sawProgress = true;
      if (line.find('\\') != std::string::npos) sawBackslash = true;
      // A name below a folder, '/' between them.
      const size_t name = line.find('(');
      if (!photographed && name != std::string::npos && line.find('/', name) != std::string::npos)
        photographed = velmi_mfc::ToolkitScreenshot(h, progressPng.c_str());
    }
    const std::string said = out.Take();
    Check(sawProgress, "progress line shown by GTK");
    Check(!sawBackslash, "progress line shows no '\\'");
    Check(photographed, "a progress line with a folder photographed");
    Check(dlg.m_job == nullptr && dlg.GetDlgItem(IDC_START)->IsWindowEnabled(), "start enabled after the run");
    Check(Widget(h, IDC_PROGRESS).empty(), "progress line emptied");
    Check(boxes == 0, "a clean run shows no box");
    const std::string dataFolder = "; data folder: " + box.OutputFolder() + "/data\n";
    Check(said.rfind("convVelmi: ", 0) == 0 && said.find(" items converted, 0 failed") != std::string::npos &&
              said.size() > dataFolder.size() && said.compare(said.size() - dataFolder.size(), dataFolder.size(), dataFolder) == 0,
          "stdout holds the summary line \"convVelmi: ... items converted, 0 failed..." + dataFolder + "\", got \"" + said + "\"");

    velmi_mfc::ToolkitPump(200);
    Check(velmi_mfc::ToolkitScreenshot(h, png.c_str()), "screenshot saved");
    dlg.SendMessage(WM_SYSCOMMAND, SC_CLOSE, 0);
  });
  dlg.DoModal();
  Check(shown, "dialog shown");

  // Started from a folder whose name code page 932 cannot hold: the box
  // names the folder as the system does, the error stream says it too, and
  // nothing is written; the window's run has not failed.
  const std::string accented = box.Root() + "/out\xC3\xA9";
  std::filesystem::create_directories(accented);
  std::filesystem::current_path(accented);
  bool refusalShown = false;
  std::string boxTitle, boxText;
  velmi_mfc::SetBoxShownHook([&](const std::string& title, const std::string& text) {
    boxTitle = title;
    boxText = text;
    Check(velmi_mfc::ToolkitBoxScreenshot(refusalPng.c_str()), "refusal box photographed");
  });
  {
    CConvVelmiDlg refusing;
    velmi_mfc::SetShownHook([&](HWND h) {
      refusalShown = true;
      Captured errors(2, box.Root() + "/stderr.txt");
      Check(velmi_mfc::ToolkitClick(h, IDC_START), "start clicked in the unholdable folder");
      const std::string said = errors.Take();
      Check(refusing.m_job == nullptr && refusing.GetDlgItem(IDC_START)->IsWindowEnabled(), "no run started");
      Check(boxTitle == "フォルダ異常", "refusal box titled フォルダ異常, got \"" + boxTitle + "\"");
      Check(boxText.rfind("出力先のフォルダ名に使えない文字があります。", 0) == 0 &&
                boxText.substr(boxText.find('\n') + 1) == accented,
            "refusal box names " + accented + ", got \"" + boxText + "\"");
      const std::string line = "convVelmi: the output folder (the current folder) " + accented +
                               " has a name that code page 932";
      Check(said.find(line) != std::string::npos, "stderr holds \"" + line + "\", got \"" + said + "\"");
      Check(!refusing.HadFailures() && !velmi_mfc::ConsoleRunFailed(), "the window's run has not failed");
      refusing.SendMessage(WM_SYSCOMMAND, SC_CLOSE, 0);
    });
    refusing.DoModal();
  }
  velmi_mfc::SetBoxShownHook(nullptr);
  std::filesystem::current_path(box.OutputFolder());
  Check(refusalShown, "refusing dialog shown");
  Check(std::filesystem::is_empty(accented), "nothing written in the unholdable folder");
  std::ifstream in(png, std::ios::binary);
  char magic[8] = {};
  in.read(magic, 8);
  Check(in && std::memcmp(magic, "\x89PNG\r\n\x1a\n", 8) == 0, "PNG written to " + png);
  std::printf("%s: %d failure(s); screenshot %s\n", argv[0], g_failures, png.c_str());
  return g_failures ? 1 : 0;
}
