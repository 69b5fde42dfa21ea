// Hooks of the emulated handheld (platform/device): its screen geometry,
// headless runs, scripted input, screenshots and the start lock.
#pragma once

#include <winuser.h>

#include <string>
#include <vector>

struct VelmiDeviceGeometry {
  int width = 480;   // frame buffer x pixels, as the device's display driver counts them
  int height = 640;  // y pixels
};

// Chooses the emulated screen.  Call before the window is created.
void VelmiDeviceSetGeometry(int width, int height);
VelmiDeviceGeometry VelmiDeviceGetGeometry();

// The program's file name (e.g. "player_ce42"): every line the device
// writes on the error stream starts with it and ": ".
std::string VelmiDeviceProgramName();

// Names the build configuration (part of the start-lock key).
void VelmiDeviceSetConfiguration(const char* name);
std::string VelmiDeviceGetConfiguration();

// The program's entry, called by the device's start-up code.
int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int showCmd);

// The device's start-up code for a program built for one device generation
// ("ce30", "ce42" or "ce50"): names the configuration after it, sets up the
// portrait screen of its devices (240 x 320 for ce30, else 480 x 640, the
// program then marked as aware of the high-resolution screen), applies the
// environment (VelmiDeviceConfigureFromEnvironment) and runs WinMain with
// the arguments joined by spaces.  Returns WinMain's result.
int VelmiDeviceRunProgram(const char* generation, int argc, char** argv);

// Headless: SDL's dummy video driver, no window on a display.  Chosen by
// VELMI_HEADLESS=1 (VELMI_HEADLESS=0 asks for a display), else when neither
// DISPLAY nor WAYLAND_DISPLAY is set, and taken when the display named
// cannot be opened (SDL's video or the window on it).  Without a headless
// request -- VELMI_HEADLESS=1, a device script (VELMI_DEVICE_SCRIPT) or
// VelmiDeviceSetHeadless(true) -- such a run has no display, and its
// GXOpenDisplay fails.
void VelmiDeviceSetHeadless(bool headless);
bool VelmiDeviceIsHeadless();
// Why such a run has no display (SDL's reason, or that none is named); empty
// when the display was opened or not asked for.
std::string VelmiDeviceDisplayFailure();

// Reads VELMI_HEADLESS, VELMI_DEVICE_GEOMETRY (e.g. "320x240"),
// VELMI_DEVICE_SCRIPT (a script file), VELMI_DEVICE_FAIL and
// VELMI_FAKE_CLOCK (a start tick in ms: a headless run then runs on the fake
// clock, which moves only through Sleep and the script's "clock" lines).
void VelmiDeviceConfigureFromEnvironment();

// Scripted input, one action a line: "<frame> <action> <args>".  Frames are
// counted by SystemIdleTimerReset, which the game calls once per due frame;
// actions of frame N run at its N-th call.  Actions:
//   key down|up <code or name>     names: UP DOWN LEFT RIGHT A B C D E START
//   tap <x> <y>                    stylus down at N, up at N+1
//   down|up|move <x> <y>           single stylus events
//   shot <file.png>                screenshot of the screen as held
//   rawshot <file.png>             screenshot of the frame buffer as stored
//   focus 0|1                      lose / regain the foreground
//   quit                           the window is closed (as by its close box)
//   clock <ms>                     the fake clock jumps forward by ms (nothing
//                                  under the real clock)
//   wait <mode> [<phase>|*] [<limit>]
//                                  from frame N on, hold the lines after it
//                                  until the game reports the mode (and phase);
//                                  their frames then count from the frame that
//                                  reported it.  When the mode has not come
//                                  within limit frames, the wait is reported
//                                  as a timeout and the window is closed.
// Stylus points are in the coordinates of the screen as held (the picture
// the SDL window shows, unscaled).  Lines starting with '#' are ignored.
bool VelmiDeviceLoadScript(const char* text);
bool VelmiDeviceLoadScriptFile(const char* path);
unsigned VelmiDeviceFrameCount();

// Makes one start-up step fail: "window", "fullscreen", "gapi", "framebuffer".
void VelmiDeviceSetFailure(const char* what);

// Folder of the start locks (default $XDG_RUNTIME_DIR or /tmp); tests
// redirect it with VELMI_LOCK_DIR or this call.
void VelmiDeviceSetLockDir(const char* dir);
std::string VelmiDeviceLockDir();
// True while a raise request from a second start waits for this copy.
bool VelmiDeviceTakeRaiseRequest();

// Message boxes shown so far ("caption: text", UTF-8).  Every box is also
// printed on stderr as it is; headless runs never wait.  Each is a line of
// the report file.
std::vector<std::string> VelmiDeviceMessageBoxes();

// On a display a box is a window of its own, centred on the display and kept
// above the program's window, its text drawn by the text backend in the
// message font and wrapped by drawn width within 90% of the display's width
// and height (a taller text is cut, its last line saying that the rest is on
// the error stream), with an OK button.  Enter, Space, Esc, a click on OK or
// the window's close button close it; the program waits until then and sees
// none of that input.  Where no face with Japanese glyphs loads, SDL's own
// box shows the text instead.  After the box the game's window is in the
// foreground as it was when the box opened; when it was, it is raised and
// holds the keyboard focus again, also with no window manager.
//
// The face the boxes draw with: the program's message font.  Until it is
// named (or when it lacks Japanese glyphs), the first family of
// EnumFontFamiliesW that draws Japanese.
void VelmiDeviceSetMessageBoxFace(LPCWSTR face);

// A box as a display of the given size shows it.
struct VelmiDeviceBoxLayout {
  int width = 0;  // pixels of the box's window (0: none shown)
  int height = 0;
  int textLimit = 0;               // the widest a line may be drawn
  int textWidth = 0;               // the widest line as drawn
  std::vector<std::string> lines;  // the text as drawn, a line each (UTF-8)
  bool cut = false;                // the text did not fit; the last line says so
  RECT ok{};                       // the OK button, in box coordinates
  std::string face;                // the family asked for
};
// Lays out and draws a box's text for a display of the given size; the
// pixels are 0x00RRGGBB, rows top-down.  False when no face with Japanese
// glyphs loads.
bool VelmiDeviceDrawMessageBox(const char* text, int displayWidth, int displayHeight, VelmiDeviceBoxLayout* layout,
                               std::vector<uint32_t>* pixels);
// The last box shown in a window of its own (width 0 when none was).
VelmiDeviceBoxLayout VelmiDeviceLastShownBox();

// The emulated frame buffer (16-bit pixels) and its stride in bytes.
uint16_t* VelmiDeviceFrameBuffer();
int VelmiDeviceFrameBufferStride();

// Maps a point of the screen as held to the device's window coordinates.
POINT VelmiDeviceHeldToWindow(int x, int y);
// Size of the screen as held (landscape for a portrait device).
void VelmiDeviceHeldSize(int* width, int* height);

// Writes the screen as held (rotated upright) or the raw frame buffer as PNG.
bool VelmiDeviceScreenshot(const char* path, bool raw);

// The status calls (GetLocalTime, GetSystemPowerStatusEx2, GlobalMemoryStatus,
// GetStoreInformation) report these values while pinned, so that pictures
// showing them repeat.  VELMI_DEVICE_STATUS pins them from the environment:
// "YYYY-MM-DD hh:mm battery% availMB load% storeFreeMB".
struct VelmiDeviceStatus {
  SYSTEMTIME time{};
  BYTE batteryPercent = 255;
  DWORD memoryLoad = 0;
  DWORD totalPhys = 0;
  DWORD availPhys = 0;
  DWORD storeSize = 0;
  DWORD storeFree = 0;
};
void VelmiDevicePinStatus(const VelmiDeviceStatus& status);
void VelmiDeviceUnpinStatus();
// Folder whose file system GetStoreInformation reports (Linux path); the
// program's folder until set.
void VelmiDeviceSetStoreFolder(const char* path);
// Root of the power-supply class (tests point it at a made-up tree).
void VelmiDeviceSetPowerSupplyRoot(const char* path);

// ---- Test-support channel --------------------------------------------------
// The game reports its mode and phase once per frame, and the name of every
// picture that fails to load; message boxes are reported too.  Runs keep a
// log of the changes; with VELMI_DEVICE_REPORT naming a file, each is also
// appended to it as a line:
//   <frame> mode <mode> <phase>    the mode or phase differs from the last report
//   <frame> picture <name>         a picture failed to load
//   <frame> message [<caption>] <text>
//                                  a message box (UTF-8, line breaks as " | ")
//   <frame> timeout <mode>         a script's wait ran out
void VelmiDeviceReportMode(int mode, int phase);
void VelmiDeviceReportPictureFailure(const char* name);
struct VelmiDeviceModeChange {
  unsigned frame;
  int mode;
  int phase;
};
std::vector<VelmiDeviceModeChange> VelmiDeviceModeLog();
// The first 4,096 names of pictures that failed to load.
std::vector<std::string> VelmiDeviceFailedPictures();
// Names the report file (also read from VELMI_DEVICE_REPORT); empty: none.
void VelmiDeviceSetReportFile(const char* path);

// Drops every window, queued message and device state (tests).
void VelmiDeviceReset();
