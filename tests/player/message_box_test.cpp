// The player's message boxes on a display: the device draws them with the
// text backend in the message font, in a window of their own that Enter,
// Space, Esc, a click on OK or the close button close without the program
// seeing that input.
#include <gtest/gtest.h>

#include <SDL.h>
#include <velmi_device.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "common/sjis.h"
#include "platform/device/device_internal.h"
#include "player/app/startup.h"
#include "tests/player/message_pump.h"
#include "tests/support/temp_folder.h"

namespace {

std::string Utf8(const std::u16string& text) {
  const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(size_t(std::max(n, 0)), '\0');
  if (n > 0) WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), out.data(), n, nullptr, nullptr);
  return out;
}

std::u16string Wide(const std::string& text) {
  const int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0);
  std::u16string out(size_t(std::max(n, 0)), u'\0');
  if (n > 0) MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), out.data(), n);
  return out;
}

// The box of a start without game data, its folders as velmi.cfg names them.
std::string NoDataText(const std::string& folder) {
  DataFolderSearch search;
  search.count = 2;
  search.tried[0].key = 1;
  StrCopy(search.tried[0].folder, folder.c_str());
  search.tried[1].key = 0;
  StrCopy(search.tried[1].folder, "\\home\\player\\velmi\\data\\");
  std::u16string text;
  DescribeDataFailure(search, "grpack_v.mlz", 0, &text);
  return Utf8(text);
}

// The text without its line breaks and spaces: what wrapping must keep.
std::string Bare(std::string s) {
  s.erase(std::remove_if(s.begin(), s.end(), [](char ch) { return ch == '\n' || ch == ' '; }), s.end());
  return s;
}

std::string Joined(const std::vector<std::string>& lines) {
  std::string out;
  for (const std::string& line : lines) out += line + "\n";
  return out;
}

TEST(MessageBoxPicture, NoDataBoxDrawsJapaneseGlyphsAndFits1024x768) {
  VelmiDeviceReset();
  const std::string text = NoDataText("\\home\\player\\games\\velmi\\data\\");
  VelmiDeviceBoxLayout layout;
  std::vector<uint32_t> pixels;
  ASSERT_TRUE(VelmiDeviceDrawMessageBox(text.c_str(), 1024, 768, &layout, &pixels));
  EXPECT_GT(layout.width, 0);
  EXPECT_LE(layout.width, 1024 * 9 / 10);
  EXPECT_LE(layout.height, 768 * 9 / 10);
  EXPECT_LE(layout.textWidth, layout.textLimit);
  EXPECT_FALSE(layout.cut);
  ASSERT_EQ(pixels.size(), size_t(layout.width) * size_t(layout.height));
  EXPECT_EQ(Bare(Joined(layout.lines)), Bare(text));

  // The same text with every character beyond ASCII one that no font draws
  // (U+0378, unassigned): where the face drew Japanese glyphs the pictures
  // differ; a face without them would draw its missing-glyph box in both.
  std::string missing;
  for (size_t i = 0; i < text.size(); ++i) {
    const unsigned char b = static_cast<unsigned char>(text[i]);
    if (b < 0x80)
      missing += char(b);
    else if ((b & 0xC0) != 0x80)
      missing += "\xCD\xB8";
  }
  ASSERT_NE(missing, text);
  VelmiDeviceBoxLayout missingLayout;
  std::vector<uint32_t> missingPixels;
  ASSERT_TRUE(VelmiDeviceDrawMessageBox(missing.c_str(), 1024, 768, &missingLayout, &missingPixels));
  EXPECT_NE(pixels, missingPixels);
  // Some pixels are ink: the text is drawn, not only the box.
  EXPECT_GT(std::count(pixels.begin(), pixels.end(), 0u), 100);
}

// A text taller than the display is cut, its last line saying where the rest is.
TEST(MessageBoxPicture, TallTextIsCut) {
  VelmiDeviceReset();
  std::string text;
  for (int i = 0; i < 200; ++i) text += "line " + std::to_string(i) + "\n";
  VelmiDeviceBoxLayout layout;
  ASSERT_TRUE(VelmiDeviceDrawMessageBox(text.c_str(), 640, 480, &layout, nullptr));
  EXPECT_TRUE(layout.cut);
  EXPECT_LE(layout.height, 480 * 9 / 10);
  ASSERT_FALSE(layout.lines.empty());
  EXPECT_NE(layout.lines.back().find("error stream"), std::string::npos);
  EXPECT_EQ(layout.lines.front(), "line 0");
}

// What the event watch saw of the box window and what it pushed into it.
struct Watch {
  std::vector<SDL_Event> events;  // the close to push, windowID filled in
  Uint32 boxId = 0;
  std::string title;
};

int OnEvent(void* data, SDL_Event* e) {
  Watch* w = static_cast<Watch*>(data);
  if (e->type != SDL_WINDOWEVENT || e->window.event != SDL_WINDOWEVENT_SHOWN || w->boxId) return 1;
  SDL_Window* window = SDL_GetWindowFromID(e->window.windowID);
  if (!window || std::string(SDL_GetWindowTitle(window)) != "Error") return 1;
  w->boxId = e->window.windowID;
  w->title = SDL_GetWindowTitle(window);
  for (SDL_Event pushed : w->events) {
    if (pushed.type == SDL_WINDOWEVENT) pushed.window.windowID = w->boxId;
    if (pushed.type == SDL_KEYDOWN || pushed.type == SDL_KEYUP) pushed.key.windowID = w->boxId;
    if (pushed.type == SDL_MOUSEBUTTONDOWN || pushed.type == SDL_MOUSEBUTTONUP) pushed.button.windowID = w->boxId;
    SDL_PushEvent(&pushed);
  }
  return 1;
}

// Input messages the program's window was handed, with their wParam.
std::vector<std::pair<UINT, WPARAM>> g_input;
LRESULT Proc(HWND h, UINT m, WPARAM w, LPARAM l) {
  if (m == WM_KEYDOWN || m == WM_KEYUP || m == WM_LBUTTONDOWN || m == WM_LBUTTONUP) g_input.emplace_back(m, w);
  return DefWindowProcW(h, m, w, l);
}

SDL_Event Key(Uint32 type, SDL_Keycode key) {
  SDL_Event e{};
  e.type = type;
  e.key.state = type == SDL_KEYDOWN ? SDL_PRESSED : SDL_RELEASED;
  e.key.keysym.sym = key;
  e.key.keysym.scancode = SDL_GetScancodeFromKey(key);
  return e;
}

SDL_Event Click(Uint32 type, int x, int y) {
  SDL_Event e{};
  e.type = type;
  e.button.button = SDL_BUTTON_LEFT;
  e.button.state = type == SDL_MOUSEBUTTONDOWN ? SDL_PRESSED : SDL_RELEASED;
  e.button.clicks = 1;
  e.button.x = x;
  e.button.y = y;
  return e;
}

SDL_Event CloseButton() {
  SDL_Event e{};
  e.type = SDL_WINDOWEVENT;
  e.window.event = SDL_WINDOWEVENT_CLOSE;
  return e;
}

// The device on SDL's offscreen video driver with the program's window open;
// neither window uses OpenGL, which the offscreen driver would load.
HWND OpenOffscreenGame(const vtest::TempFolder& dir) {
  VelmiDeviceReset();
  setenv("SDL_VIDEODRIVER", "offscreen", 1);
  setenv("SDL_RENDER_DRIVER", "software", 1);
  setenv("SDL_FRAMEBUFFER_ACCELERATION", "0", 1);
  VelmiDeviceSetHeadless(false);
  VelmiDeviceSetLockDir(dir.Str().c_str());
  WNDCLASSW wc{};
  wc.lpfnWndProc = Proc;
  wc.lpszClassName = u"BOXTEST";
  if (!RegisterClassW(&wc)) return nullptr;
  return CreateWindowExW(0, u"BOXTEST", u"game", WS_VISIBLE, 0, 0, 480, 640, nullptr, nullptr, nullptr, nullptr);
}

void CloseOffscreenGame() {
  VelmiDeviceReset();
  VelmiDeviceSetHeadless(true);
  unsetenv("SDL_VIDEODRIVER");
  unsetenv("SDL_RENDER_DRIVER");
  unsetenv("SDL_FRAMEBUFFER_ACCELERATION");
}

// The windowed path under SDL's offscreen video driver:
// the box is a window of its own, its text wrapped by drawn width, closed by
// each of its keys, a click on OK and the close button, the program's window
// handed none of that input, the text on the error stream and in the report.
TEST(MessageBoxWindow, ShowsWrapsClosesAndTellsTheText) {
  vtest::TempFolder dir("message_box");
  const std::string folder = "\\home\\player\\" + [] {
    std::string s;
    for (int i = 0; i < 40; ++i) s += "folder" + std::to_string(i) + "\\";
    return s;
  }();
  const std::string text = NoDataText(folder);
  const std::u16string wide = Wide(text);
  enum Closing { kEnter, kSpace, kEsc, kClick, kCloseButton };
  const struct {
    const char* what;
    Closing closing;
  } cases[] = {
      {"Enter", kEnter},
      {"Space", kSpace},
      {"Esc", kEsc},
      {"a click on OK", kClick},
      {"the close button", kCloseButton},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    HWND hwnd = OpenOffscreenGame(dir);
    ASSERT_NE(hwnd, nullptr);
    const std::string report = dir.File("report.txt");
    std::remove(report.c_str());
    VelmiDeviceSetReportFile(report.c_str());
    g_input.clear();
    SDL_Rect display{};
    ASSERT_EQ(SDL_GetDisplayBounds(0, &display), 0) << SDL_GetError();
    VelmiDeviceBoxLayout expected;
    ASSERT_TRUE(VelmiDeviceDrawMessageBox(text.c_str(), display.w, display.h, &expected, nullptr));
    const int okX = (expected.ok.left + expected.ok.right) / 2, okY = (expected.ok.top + expected.ok.bottom) / 2;
    const SDL_Keycode key = c.closing == kEnter ? SDLK_RETURN : c.closing == kSpace ? SDLK_SPACE : SDLK_ESCAPE;
    Watch watch;
    if (c.closing == kClick)
      watch.events = {Click(SDL_MOUSEBUTTONDOWN, okX, okY), Click(SDL_MOUSEBUTTONUP, okX, okY)};
    else if (c.closing == kCloseButton)
      watch.events = {CloseButton()};
    else
      watch.events = {Key(SDL_KEYDOWN, key), Key(SDL_KEYUP, key)};
    SDL_AddEventWatch(OnEvent, &watch);

    testing::internal::CaptureStderr();
    EXPECT_EQ(MessageBoxW(hwnd, wide.c_str(), u"Error", 0), IDOK);
    const std::string err = testing::internal::GetCapturedStderr();
    SDL_DelEventWatch(OnEvent, &watch);

    // A window of its own was shown, captioned "Error".
    EXPECT_NE(watch.boxId, 0u);
    EXPECT_EQ(watch.title, "Error");
    const VelmiDeviceBoxLayout shown = VelmiDeviceLastShownBox();
    EXPECT_EQ(shown.width, expected.width);
    EXPECT_EQ(shown.height, expected.height);
    // Wrapped by drawn width: the long folder took several lines, none wider
    // than 90% of the display.
    const size_t textLines = size_t(std::count(text.begin(), text.end(), '\n')) + 1;
    EXPECT_GT(shown.lines.size(), textLines + 2);
    EXPECT_LE(shown.textWidth, shown.textLimit);
    EXPECT_LE(shown.width, display.w * 9 / 10);
    EXPECT_LE(shown.height, display.h * 9 / 10);
    EXPECT_EQ(Bare(Joined(shown.lines)), Bare(text));

    // The input that closed the box never reaches the program.
    MSG m;
    while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&m);
    EXPECT_TRUE(g_input.empty()) << g_input.size() << " input messages reached the program, the first "
                                 << (g_input.empty() ? 0 : g_input[0].first);

    // The text as it is on the error stream and in the report.
    EXPECT_NE(err.find(VelmiDeviceProgramName() + ": message box [Error] " + text), std::string::npos) << err;
    std::ifstream in(report);
    std::stringstream got;
    got << in.rdbuf();
    std::string line = text;
    for (size_t at; (at = line.find('\n')) != std::string::npos;) line.replace(at, 1, " | ");
    EXPECT_NE(got.str().find("message [Error] " + line), std::string::npos) << got.str();
  }
  CloseOffscreenGame();
}

// Events pushed into SDL's queue around a box: when SDL shows the box's
// window, and when it hides it on destroying it (what arrives then is only
// taken after the box); each for the box's window or the game's.
struct Pushed {
  Uint8 at;  // SDL_WINDOWEVENT_SHOWN or SDL_WINDOWEVENT_HIDDEN of the box
  bool toBox;
  SDL_Event event;
};
struct BoxEvents {
  std::vector<Pushed> events;
  Uint32 gameId = 0;
  Uint32 boxId = 0;
};

int PushAroundTheBox(void* data, SDL_Event* e) {
  BoxEvents* b = static_cast<BoxEvents*>(data);
  if (e->type != SDL_WINDOWEVENT || e->window.windowID == b->gameId) return 1;
  if (e->window.event == SDL_WINDOWEVENT_SHOWN && !b->boxId) b->boxId = e->window.windowID;
  if (e->window.windowID != b->boxId) return 1;
  for (const Pushed& p : b->events) {
    if (p.at != e->window.event) continue;
    SDL_Event pushed = p.event;
    const Uint32 id = p.toBox ? b->boxId : b->gameId;
    if (pushed.type == SDL_WINDOWEVENT) pushed.window.windowID = id;
    if (pushed.type == SDL_KEYDOWN || pushed.type == SDL_KEYUP) pushed.key.windowID = id;
    SDL_PushEvent(&pushed);
  }
  return 1;
}

SDL_Event WindowEvent(Uint8 event) {
  SDL_Event e{};
  e.type = SDL_WINDOWEVENT;
  e.window.event = event;
  return e;
}

// The foreground window once the device has taken in every event SDL holds.
HWND Foreground() {
  while (SdlHoldsEvents()) GetForegroundWindow();
  return GetForegroundWindow();
}

// Shows a box closed by Enter, with `events` pushed around it.
void ShowBoxClosedByEnter(HWND hwnd, BoxEvents& b) {
  b.events.push_back({SDL_WINDOWEVENT_SHOWN, true, Key(SDL_KEYDOWN, SDLK_RETURN)});
  b.events.push_back({SDL_WINDOWEVENT_SHOWN, true, Key(SDL_KEYUP, SDLK_RETURN)});
  SDL_AddEventWatch(PushAroundTheBox, &b);
  testing::internal::CaptureStderr();
  EXPECT_EQ(MessageBoxW(hwnd, u"save not written", u"Error", 0), IDOK);
  testing::internal::GetCapturedStderr();
  SDL_DelEventWatch(PushAroundTheBox, &b);
  EXPECT_NE(b.boxId, 0u) << "no box window was shown";
}

// The game's foreground after a box is what it was when the box opened: the
// focus the box's window loses as it goes and the focus the game's window
// lost to the box do not deactivate the game.  After the box the game
// window's own focus events do, as before it.
TEST(MessageBoxWindow, TheGameIsInFrontAfterTheBoxAsBefore) {
  vtest::TempFolder dir("message_box_focus");
  const struct {
    const char* what;
    bool inFront;  // when the box opens
    std::vector<Pushed> events;
  } cases[] = {
      {"the box window's focus lost as it is destroyed", true,
       {{SDL_WINDOWEVENT_HIDDEN, true, WindowEvent(SDL_WINDOWEVENT_FOCUS_LOST)}}},
      {"the game window's focus lost while the box stands", true,
       {{SDL_WINDOWEVENT_SHOWN, false, WindowEvent(SDL_WINDOWEVENT_FOCUS_LOST)}}},
      {"the game window's focus lost as the box goes", true,
       {{SDL_WINDOWEVENT_HIDDEN, false, WindowEvent(SDL_WINDOWEVENT_FOCUS_LOST)}}},
      {"the game window's focus lost and gained while the box stands", true,
       {{SDL_WINDOWEVENT_SHOWN, false, WindowEvent(SDL_WINDOWEVENT_FOCUS_LOST)},
        {SDL_WINDOWEVENT_SHOWN, false, WindowEvent(SDL_WINDOWEVENT_FOCUS_GAINED)}}},
      {"a game in the background, the game window's focus gained while the box stands", false,
       {{SDL_WINDOWEVENT_SHOWN, false, WindowEvent(SDL_WINDOWEVENT_FOCUS_GAINED)}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    HWND hwnd = OpenOffscreenGame(dir);
    ASSERT_NE(hwnd, nullptr);
    BoxEvents b;
    b.gameId = SDL_GetWindowID(velmi_device::S().sdlWindow);
    ASSERT_NE(b.gameId, 0u);
    auto toGame = [&](Uint8 event) {
      SDL_Event e = WindowEvent(event);
      e.window.windowID = b.gameId;
      SDL_PushEvent(&e);
    };
    if (!c.inFront) toGame(SDL_WINDOWEVENT_FOCUS_LOST);
    EXPECT_EQ(Foreground(), c.inFront ? hwnd : nullptr);
    b.events = c.events;
    ShowBoxClosedByEnter(hwnd, b);
    EXPECT_EQ(Foreground(), c.inFront ? hwnd : nullptr) << "after the box";
    toGame(SDL_WINDOWEVENT_FOCUS_LOST);
    EXPECT_EQ(Foreground(), nullptr) << "the game window's focus lost after the box";
    toGame(SDL_WINDOWEVENT_FOCUS_GAINED);
    EXPECT_EQ(Foreground(), hwnd) << "the game window's focus gained after the box";
  }
  CloseOffscreenGame();
}

// A key held when a box opens and released while it stands reaches the game
// released after the box: dropping the release would hold the key for ever.
TEST(MessageBoxWindow, ReleasesOfKeysHeldBeforeTheBoxReachTheGame) {
  vtest::TempFolder dir("message_box_keys");
  HWND hwnd = OpenOffscreenGame(dir);
  ASSERT_NE(hwnd, nullptr);
  const Uint32 gameId = SDL_GetWindowID(velmi_device::S().sdlWindow);
  DispatchAll();
  g_input.clear();
  for (const SDL_Keycode key : {SDLK_z, SDLK_LEFT}) {
    SDL_Event down = Key(SDL_KEYDOWN, key);
    down.key.windowID = gameId;
    SDL_PushEvent(&down);
  }
  DispatchAll();
  const std::vector<std::pair<UINT, WPARAM>> held = {{WM_KEYDOWN, VK_APP1}, {WM_KEYDOWN, VK_LEFT}};
  ASSERT_EQ(g_input, held);
  SystemIdleTimerReset();  // a frame saw both presses
  g_input.clear();

  BoxEvents b;
  b.gameId = gameId;
  b.events = {{SDL_WINDOWEVENT_SHOWN, false, Key(SDL_KEYUP, SDLK_z)}};
  ShowBoxClosedByEnter(hwnd, b);
  // Released after the box: the release of LEFT is a key's of the game as usual.
  SDL_Event up = Key(SDL_KEYUP, SDLK_LEFT);
  up.key.windowID = gameId;
  SDL_PushEvent(&up);
  DispatchAll();
  const std::vector<std::pair<UINT, WPARAM>> released = {{WM_KEYUP, VK_APP1}, {WM_KEYUP, VK_LEFT}};
  EXPECT_EQ(g_input, released);
  CloseOffscreenGame();
}

// The box's text is wrapped by drawn width, not by characters: a line of as
// many full-width characters as the box has columns is wider than the text's
// room and wraps; a line of more narrow characters than that fits and does not.
TEST(MessageBoxPicture, WrapsByDrawnWidthNotByCharacters) {
  VelmiDeviceReset();
  const int height = 768;  // the em follows the display's height only
  std::string wide, narrow;
  for (int i = 0; i < velmi_device::kBoxColumns; ++i) wide += "\xE5\x9B\xBD";  // 国
  for (int i = 0; i < velmi_device::kBoxColumns * 3 / 2; ++i) narrow += 'i';
  // Their drawn widths, from a display wide enough for either on one line.
  VelmiDeviceBoxLayout whole;
  ASSERT_TRUE(VelmiDeviceDrawMessageBox(wide.c_str(), 16384, height, &whole, nullptr));
  ASSERT_EQ(whole.lines.size(), 1u);
  const int wideWidth = whole.textWidth;
  ASSERT_TRUE(VelmiDeviceDrawMessageBox(narrow.c_str(), 16384, height, &whole, nullptr));
  ASSERT_EQ(whole.lines.size(), 1u);
  const int narrowWidth = whole.textWidth;
  ASSERT_LT(narrowWidth, wideWidth) << "the face draws 'i' as wide as a kanji";
  // A display whose text room lies between the two.
  const int room = (narrowWidth + wideWidth) / 2;
  VelmiDeviceBoxLayout probe;
  ASSERT_TRUE(VelmiDeviceDrawMessageBox("x", 16384, height, &probe, nullptr));
  const int margins = 16384 * 9 / 10 - probe.textLimit;
  const int displayWidth = (room + margins) * 10 / 9;

  VelmiDeviceBoxLayout layout;
  ASSERT_TRUE(VelmiDeviceDrawMessageBox(wide.c_str(), displayWidth, height, &layout, nullptr));
  ASSERT_GT(layout.textLimit, narrowWidth);
  ASSERT_LT(layout.textLimit, wideWidth);
  EXPECT_EQ(layout.lines.size(), 2u) << Joined(layout.lines);
  EXPECT_LE(layout.textWidth, layout.textLimit);
  EXPECT_EQ(Joined(layout.lines), wide.substr(0, layout.lines[0].size()) + "\n" +
                                      wide.substr(layout.lines[0].size()) + "\n");
  ASSERT_TRUE(VelmiDeviceDrawMessageBox(narrow.c_str(), displayWidth, height, &layout, nullptr));
  EXPECT_EQ(layout.lines, std::vector<std::string>{narrow});
}

// The face may be named on one thread while a box is laid out on another:
// the layout takes its own copy of the name, under the lock its writer holds.
TEST(MessageBoxPicture, FaceNamedWhileABoxIsLaidOut) {
  VelmiDeviceReset();
  std::atomic<bool> stop{false};
  std::thread namer([&] {
    // Names too long to be kept inside the string: each naming frees the last.
    for (unsigned i = 0; !stop; ++i)
      VelmiDeviceSetMessageBoxFace(i % 2 ? u"A face with a long name that no font has"
                                         : u"Another long face name that none has either");
  });
  for (int i = 0; i < 200; ++i) EXPECT_TRUE(VelmiDeviceDrawMessageBox("text", 640, 480, nullptr, nullptr));
  stop = true;
  namer.join();
  VelmiDeviceReset();
}

}  // namespace
