#include "converter/app/conv_velmi_app.h"

#include <cstdio>
#include <cstring>

#include "common/file.h"
#include "converter/app/conv_velmi_dlg.h"

namespace {

const char kUsage[] =
    "usage: convVelmi [--help]\n"
    "Converts the installed desktop edition of the game into the handheld data\n"
    "folder \"data\" below the current folder, through the converter's dialog: a\n"
    "window when a display is there, else the same dialog headless, which presses\n"
    "Start itself and prints the progress.\n"
    "The game's folder (the one holding QR2.exe) is the value DataDir of the key\n"
    "HKEY_CURRENT_USER\\Software\\TORVAL\\QR2, read from the registry store that\n"
    "VELMI_REGISTRY names, else from the Wine prefix ($WINEPREFIX, else ~/.wine).\n"
    "To convert a game folder of your choice from a script, use convert_game\n"
    "(convert_game --help).\n";

}  // namespace

BEGIN_MESSAGE_MAP(CConvVelmiApp, CWinApp)
ON_COMMAND(ID_HELP, CWinApp::OnHelp)
END_MESSAGE_MAP()

CConvVelmiApp::CConvVelmiApp() : CWinApp("convVelmi") {}

CConvVelmiApp::~CConvVelmiApp() = default;

CConvVelmiApp ApplicationObject;

BOOL CConvVelmiApp::InitInstance() {
  // The program takes no arguments: anything else is refused before the
  // dialog starts, which headless would start a run at once.
  for (int i = 1; i < __argc; ++i) {
    if (std::strcmp(__argv[i], "--help") == 0 || std::strcmp(__argv[i], "-h") == 0) {
      std::fputs(kUsage, stdout);
      return FALSE;
    }
  }
  if (__argc > 1) {
    std::fprintf(stderr, "convVelmi: unknown argument: %s (convVelmi --help tells what it does)\n", __argv[1]);
    m_exitCode = 2;
    return FALSE;
  }
  SetFileProfile(FileProfile::Converter);
  AfxEnableControlContainer();
  CConvVelmiDlg dlg;
  m_pMainWnd = &dlg;
  dlg.DoModal();
  m_pMainWnd = nullptr;
  // A run that left items unconverted fails the program, with or without a
  // window.
  if (dlg.HadFailures()) m_exitCode = 1;
  // The program ends with its dialog.
  return FALSE;
}

int CConvVelmiApp::ExitInstance() { return m_exitCode; }
