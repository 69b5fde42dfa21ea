#include <aygshell.h>
#include <velmi_device.h>

#include <cstring>
#include <new>
#include <string>

#include "common/format.h"
#include "common/sjis.h"
#include "player/app/game_app.h"
#include "player/app/menu_commands.h"
#include "player/app/startup.h"
#include "player/core/dirty_list.h"
#include "player/core/display.h"
#include "player/core/error_box.h"
#include "player/core/ini_store.h"
#include "player/core/screen.h"
#include "player/core/settings.h"
#include "player/core/text_window.h"
#include "player/core/texts.h"
#include "player/media/mp3_source.h"
#include "player/media/ogg_source.h"
#include "player/media/sound_mixer.h"
#include "player/menu/popup_menu.h"

namespace {

CGameApp* g_app = nullptr;

// Exit status of a run that ended on a failure: game data missing, a
// picture or script that failed in play, a file not written at exit, a
// start-up step that failed.
constexpr int kExitFailure = 1;

// A start-up failure: its box, then the failure status.
int ErrorBox(const char* text) {
  ShowErrorBox(text);
  return kExitFailure;
}

// Appends a UTF-8 text to a UTF-16 text.
void AppendUtf8(std::u16string& out, const std::string& text) {
  if (text.empty()) return;
  const int units = MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0);
  if (units <= 0) return;
  const size_t at = out.size();
  out.resize(at + size_t(units));
  if (MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), out.data() + at, units) != units) out.resize(at);
}

// Takes the window down without running the game's shut-down (nothing was started).
void DestroyWindowQuietly(CGameApp* app) {
  SetWindowLongPtrW(app->hwnd, GWL_USERDATA, 0);
  DestroyWindow(app->hwnd);
  app->hwnd = nullptr;
}

}  // namespace

CGameApp* GetGameApp() { return g_app; }

void CGameApp::OnPaint(HWND h) {
  PAINTSTRUCT ps;
  BeginPaint(h, &ps);
  // An open menu or a playing movie owns the frame buffer meanwhile.
  bool covered = (menu && menu->IsOpen()) || (screen && screen->IsMoviePlaying());
  if (active && screen && screen->GetPixels() && !covered) {
    uint8_t* fb = BeginFrameBufferDraw();
    screen->Present(fb, nullptr, nullptr);
    EndFrameBufferDraw();
  }
  EndPaint(h, &ps);
}

LRESULT AppWindowProc(CGameApp* app, HWND h, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:
      HandleMenuCommand(app, h, LOWORD(wParam), lParam);
      return 0;
    case WM_PAINT:
      app->OnPaint(h);
      return 0;
    case WM_CLOSE:
      if (app->mixer) app->mixer->CloseOutput();
      DestroyWindow(h);
      return 0;
    case WM_DESTROY: {
      int failed = app->errorWord != 0;
      const int written = app->WriteSystemData();
      const DWORD error = GetLastError();
      if (!written || error != NO_ERROR) {
        char path[kPathSize];
        if (!SystemDataPath(app, path, sizeof path)) StrCopy(path, app->savePath);
        if (written)
          PrintWriteUnconfirmed("system.dat", path, error);
        else
          PrintWriteFailure("system.dat", path, error);
        failed = 1;
      }
      SaveConfig(app);
      PostQuitMessage(failed ? kExitFailure : 0);
      return 0;
    }
    default:
      return app->OnWindowMessage(h, message, wParam, lParam);
  }
}

void CGameApp::Deactivate() {
  if (!active) return;
  active = 0;
  if (screen) screen->StopMovie(mixer);
  if (mixer) mixer->Suspend();
  GXSuspend();
  ShowWindow(hwnd, SW_MINIMIZE);
}

void CGameApp::Activate() {
  if (active) return;
  active = 1;
  GXResume();
  if (mixer) mixer->Resume();
  ShowWindow(hwnd, SW_SHOW);
  RECT r{0, 0, GetScreenWidth(), GetScreenHeight()};
  if (dirty) dirty->Add(&r, 1);
}

void CGameApp::WatchForeground() {
  HWND front = GetForegroundWindow();
  if (active && front != hwnd)
    Deactivate();
  else if (!active && front == hwnd)
    Activate();
}

int FrameStep(CGameApp* app) {
  if (app->menu && app->menu->IsOpen()) {
    // The open menu takes whole frame steps, the game frozen under it.
    if (!FrameTimer::IsDue()) {
      Sleep(1);
      return 0;
    }
    SystemIdleTimerReset();
    app->LatchInput();
    app->menu->HandleInput(app->hwnd, &app->input);
    Sleep(1);
    return 0;
  }
  InputState& in = app->input;
  if (app->screen && app->screen->IsMoviePlaying()) {
    app->LatchInput();
    if (!in.tap && in.count[IN_KEY_C] != 1 && in.count[IN_RIGHT] != 1) {
      app->screen->StepMovie(app->mixer);
      return 1;
    }
    in.tap = 0;
    in.count[IN_KEY_C] = in.count[IN_RIGHT] = 0;
    app->screen->StopMovie(app->mixer);
    app->InvalidateVirtualRect(0, 0, 800, 600);
    return 1;
  }
  if (!FrameTimer::IsDue()) {
    Sleep(1);
    return 1;
  }
  SystemIdleTimerReset();
  app->LatchInput();
  if (!app->active) {
    Sleep(1);
    return 1;
  }
  app->ResetDrawBuckets();
  app->DispatchMode();
  VelmiDeviceReportMode(app->gameMode, app->phase);
  if (app->screen && app->screen->IsMoviePlaying()) {
    app->InvalidateVirtualRect(0, 0, 800, 600);
    return 1;
  }
  if (app->errorWord) {
    DestroyWindow(app->hwnd);
    if (app->dirty) app->dirty->Clear();
    return 1;
  }
  app->FillDrawBuckets();
  app->RemoveFinishedSprites();
  app->InvalidateChangedSprites();
  app->clearFirst = app->gameMode == MODE_STORY ? !app->IsPictureSlotUsed(28) : 1;
  ComposeFrame(app, app->DrawChainHead());
  if (app->shakeX == 0 && app->shakeY == 0) {
    PresentFrame(app, 0, nullptr);
  } else {
    int shake[2] = {app->shakeX, app->shakeY};
    PresentFrame(app, 1, shake);
  }
  if (app->dirty) app->dirty->Clear();
  return 1;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCmd) {
  SetPlayerBuildFromDevice();
  const PlayerBuild build = GetPlayerBuild();
  SetCanvasWidth(800);
  SetCanvasHeight(600);
  if (build != PlayerBuild::Ce30) {
    SetScreenWidth(640);
    SetScreenHeight(480);
  } else {
    SetScreenWidth(320);
    SetScreenHeight(240);
  }
  CGameApp* app = new (std::nothrow) CGameApp;
  if (!app) return kExitFailure;

  WCHAR cls[16] = {}, title[64] = {};
  MultiByteToWideChar(CP_ACP, 0, "MYSYSTEM", -1, cls, 16);
  MultiByteToWideChar(CP_ACP, 0, kTextWindowTitle, -1, title, 64);
  if (HWND other = FindWindowW(cls, title)) {
    SetForegroundWindow(reinterpret_cast<HWND>(reinterpret_cast<uintptr_t>(other) | 1));
    delete app;
    return 0;
  }
  if (app->programFolderNotSjis) {
    // The game's files are named in code page 932: a program folder whose
    // name it cannot hold is told by the name the system gives it, and the
    // program ends as without game data, having written nothing.
    std::u16string text;
    AppendWide(text, kTextFolderNotSjis);
    text += u"\n  ";
    AppendShownPath(text, std::u16string(app->programFolderWide));
    text += u'\n';
    AppendWide(text, kTextFolderNameAdvice);
    delete app;
    ShowErrorBoxWide(text);
    return kExitFailure;
  }
  if (!app->programFolderOk) {
    delete app;
    return ErrorBox(kTextFolderTooLong);
  }
  // The seen and read block is the one large allocation of the game members.
  if (!app->systemData.block) {
    delete app;
    return ErrorBox(kTextMemoryShort);
  }
  UINT period = 0;
  if (build == PlayerBuild::Ce50) {
    TIMECAPS caps{};
    if (timeGetDevCaps(&caps, sizeof caps) == TIMERR_NOERROR) {
      period = caps.wPeriodMin;
      timeBeginPeriod(period);
    }
  }
  LoadMp3Overlay();
  LoadOggOverlay();
  auto unwind = [&] {
    UnloadOggOverlay();
    UnloadMp3Overlay();
    if (period) timeEndPeriod(period);
  };
  g_app = app;
  if (!app->RegisterClass(instance, 0, CS_VREDRAW | CS_HREDRAW, "MYSYSTEM")) {
    delete app;
    g_app = nullptr;
    unwind();
    return kExitFailure;
  }
  HWND h = app->Create(instance, 0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), WS_VISIBLE,
                       "MYSYSTEM", showCmd, WS_EX_TOPMOST);
  const char* failure = nullptr;
  std::string noDisplay;  // why there is no display, when that failed GAPI
  if (!h) {
    failure = kTextWindowFailed;
  } else {
    app->SetTitle(kTextWindowTitle);
    if (!SHFullScreen(h, SHFS_HIDETASKBAR | SHFS_HIDESIPBUTTON | SHFS_HIDESTARTICON)) {
      failure = kTextFullScreenFailed;
    } else if (!GXOpenDisplay(h, GX_FULLSCREEN)) {
      failure = kTextGapiFailed;
      noDisplay = VelmiDeviceDisplayFailure();
    } else {
      GXOpenInput();
      RawFrameBufferDesc desc{};
      bool described =
          build == PlayerBuild::Ce30 ? QueryGapiFrameBuffer(&desc) != nullptr : QueryRawFrameBuffer(&desc) != nullptr;
      if (app->screen) app->screen->desc = desc;
      // The present writes the whole back buffer turned into the frame buffer.
      if (!described || !app->screen || !app->screen->FitsFrameBuffer()) {
        GXCloseInput();
        GXCloseDisplay();
        failure = kTextGapiFailed;
      }
    }
  }
  if (failure) {
    if (noDisplay.empty()) {
      ErrorBox(failure);
    } else {
      // Started where there is no display, and not asked to run headless:
      // the box goes to the error stream, with how a run without one is made.
      std::u16string text;
      AppendWide(text, failure);
      text += u'\n';
      AppendWide(text, kTextNoDisplay);
      AppendUtf8(text, noDisplay);
      AppendWide(text, kTextNoDisplayAdvice);
      ShowErrorBoxWide(text);
    }
    if (h) DestroyWindowQuietly(app);
    delete app;
    g_app = nullptr;
    unwind();
    return kExitFailure;
  }
  IniStore::Reset();
  HIMC previousImc = ImmAssociateContext(h, nullptr);
  SetForegroundWindow(h);
  ShowWindow(h, app->showCmd);
  UpdateWindow(h);
  std::u16string failureText;
  if (!AppStartup(app, &failureText)) {
    // No game data: said, and the program ends without writing anything.
    ShowErrorBoxWide(failureText);
    GXCloseInput();
    GXCloseDisplay();
    IniStore::Discard();
    ImmAssociateContext(h, previousImc);
    DestroyWindowQuietly(app);
    delete app;
    g_app = nullptr;
    unwind();
    DeleteMessageFont();
    return kExitFailure;
  }

  MSG msg{};
  for (;;) {
    app->WatchForeground();
    if (PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE)) {
      if (!GetMessageW(&msg, nullptr, 0, 0)) break;
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    } else {
      FrameStep(app);
    }
  }
  GXCloseInput();
  GXCloseDisplay();
  int status = int(msg.wParam);
  char cfg[kPathSize];
  if (!FormatStringN(cfg, sizeof cfg, "%svelmi.cfg", app->programFolder)) StrCopy(cfg, "velmi.cfg");
  const int flushed = IniStore::Flush();
  const DWORD error = GetLastError();
  if (!flushed) {
    PrintWriteFailure("velmi.cfg", cfg, error);
    status = kExitFailure;
  } else if (error != NO_ERROR) {
    PrintWriteUnconfirmed("velmi.cfg", cfg, error);
    status = kExitFailure;
  }
  ImmAssociateContext(h, previousImc);
  if (period) timeEndPeriod(period);
  delete app;
  g_app = nullptr;
  DeleteMessageFont();
  UnloadOggOverlay();
  UnloadMp3Overlay();
  return status;
}
