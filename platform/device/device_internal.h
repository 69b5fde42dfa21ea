// State shared by the parts of the emulated device.
#pragma once

#include <windows.h>
#include <gx.h>
#include <velmi_device.h>

#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "platform/src/utf8.h"

struct SDL_Window;
struct SDL_Renderer;
struct SDL_Texture;

struct HWND__ {
  std::u16string className;
  std::u16string title;
  WNDPROC proc = nullptr;
  LONG_PTR userData = 0;
  bool visible = false;
  bool minimized = false;
  bool invalid = false;
  bool erase = false;
  bool destroyed = false;
  bool remote = false;   // a window of another copy, found through its lock
  std::string lockPath;  // remote: the lock file of that copy
  HDC__* dc = nullptr;
};

namespace velmi_device {

struct State {
  std::recursive_mutex lock;
  VelmiDeviceGeometry geometry;
  std::vector<uint16_t> frameBuffer;
  std::string configuration = "player";
  int headless = -1;         // -1 not decided yet
  bool scripted = false;     // VELMI_DEVICE_SCRIPT named a script: a headless request
  bool headlessSet = false;  // VelmiDeviceSetHeadless(true): a headless request
  // Why the display asked for could not be had (empty when it was, or when
  // none was asked for); GXOpenDisplay fails while it is set.
  std::string displayFailure;
  std::string failure;
  std::string lockDir;
  std::deque<MSG> queue;
  bool quitPosted = false;
  int quitCode = 0;
  std::vector<HWND> windows;
  HWND mainWindow = nullptr;
  bool foreground = true;
  unsigned frameCount = 0;
  unsigned raiseRequests = 0;
  std::vector<std::string> messageBoxes;
  std::u16string boxFace;  // the face message boxes draw with
  VelmiDeviceBoxLayout lastShownBox;
  bool gxOpen = false;
  bool gxSuspended = false;
  // SDL presentation
  bool sdlReady = false;
  SDL_Window* sdlWindow = nullptr;
  SDL_Renderer* renderer = nullptr;
  SDL_Texture* texture = nullptr;
  uint32_t lastRefresh = 0;
  uint32_t lastLockPoll = 0;
  bool stylusDown = false;
  // Presses delivered since the last frame, each with the tick of its latest
  // delivery: a release of one of them waits for the next frame, so that the
  // frame sees the press.
  struct FreshPress {
    WPARAM key;
    DWORD at;
  };
  std::vector<FreshPress> keysPressed;
  bool stylusPressed = false;
  DWORD stylusPressedAt = 0;
  // start lock held by this copy
  int lockFd = -1;
  std::string lockPath;
};

State& S();

uint16_t* FrameBuffer();  // allocates on first use
bool Headless();
void EnsureSdl();
void ShutdownSdl();
void PumpEvents();  // SDL events and raise requests into the queue
void RefreshDisplay(bool force);
void Post(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
std::u16string FromWide(LPCWSTR s);
// Lock of a window's class and title; FindWindow's view of other copies.
void UpdateWindowLock(HWND hwnd);
void ReleaseWindowLock();
std::string LockPathFor(const std::u16string& className, const std::u16string& title);
void PollRaiseRequest();
void RunScriptFrame(unsigned frame);
void ResetScript();
void PinStatusFromEnvironment();  // VELMI_DEVICE_STATUS
// The script's waits see every mode report.
void ScriptModeReported(unsigned frame, int mode, int phase);
// One line of the report file.
void ReportLine(const std::string& line);
// Starts SDL's video subsystems `flags` on the display the environment names
// (DISPLAY, WAYLAND_DISPLAY or an explicit SDL_VIDEODRIVER), trying only
// that display's driver; false with the reason in *failure when none is
// named or it cannot be opened.
bool StartVideoOnNamedDisplay(uint32_t flags, std::string* failure);
// The running program's file (from /proc/self/exe); empty when it cannot be
// read.
std::string ExecutablePath();
// One line on the error stream, printf-style, after the program's name and
// ": "; the line break is added.
void ErrorLine(const char* format, ...) __attribute__((format(printf, 1, 2)));
void ResetReports();
bool Fails(const char* what);
// What every message box tells, headless or on a display: its text is kept
// for VelmiDeviceMessageBoxes, written to the report (line breaks as " | ")
// and to the error stream as it is, unwrapped.
void TellMessageBox(const std::string& caption, const std::string& text);
// A UTF-8 text wrapped so that no line is wider than `limit`, each character
// as wide as widthOf says: a line breaks at its last space after a word, else
// between two characters, never inside a UTF-8 sequence.
std::string WrapBoxText(const std::string& text, int limit, const std::function<int(char32_t)>& widthOf);
// The same at about `columns` columns, for SDL's box, which is as wide as its
// longest line: a full-width character takes two columns.
std::string WrapBoxText(const std::string& text, int columns);
// The column count of the box handed to SDL: it fits a 1280-pixel screen.
constexpr int kBoxColumns = 60;

}  // namespace velmi_device
