// Opens the converter's dialog on the GTK host (run under Xvfb), checks the
// widgets GTK shows, clicks through GTK, and saves a screenshot:
//   dialog_gtk_check <png path>
#include <cstdio>
#include <cstring>
#include <fstream>
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

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s <png path>\n", argv[0]);
    return 2;
  }
  const std::string png = argv[1];
  std::remove(png.c_str());
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
    Expect(h, IDC_SOURCE_EDIT, dtest::LayerPath(box.GameFolder()));
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
    Check(velmi_mfc::ToolkitClick(h, IDC_START), "start clicked");
    Check(!dlg.GetDlgItem(IDC_START)->IsWindowEnabled(), "start disabled during the run");
    bool sawProgress = false;
    for (int i = 0; i < 3000 && dlg.m_job; ++i) {
      velmi_mfc::ToolkitPump(20);
      if (Widget(h, IDC_PROGRESS).rfind("変換データ数：", 0) == 0) sawProgress = true;
    }
    Check(sawProgress, "progress line shown by GTK");
    Check(dlg.m_job == nullptr && dlg.GetDlgItem(IDC_START)->IsWindowEnabled(), "start enabled after the run");
    Check(Widget(h, IDC_PROGRESS).empty(), "progress line emptied");

    velmi_mfc::ToolkitPump(200);
    Check(velmi_mfc::ToolkitScreenshot(h, png.c_str()), "screenshot saved");
    dlg.SendMessage(WM_SYSCOMMAND, SC_CLOSE, 0);
  });
  dlg.DoModal();
  Check(shown, "dialog shown");
  std::ifstream in(png, std::ios::binary);
  char magic[8] = {};
  in.read(magic, 8);
  Check(in && std::memcmp(magic, "\x89PNG\r\n\x1a\n", 8) == 0, "PNG written to " + png);
  std::printf("%s: %d failure(s); screenshot %s\n", argv[0], g_failures, png.c_str());
  return g_failures ? 1 : 0;
}
