// The player's message boxes on a display: the device draws them with the
// text backend in the message font, in a window of their own that Enter,
// Space, Esc, a click on OK or the close button close without the program
// seeing that input.
#include <gtest/gtest.h>

#include <SDL.h>
#include <velmi_device.h>
#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "common/sjis.h"
#include "player/app/startup.h"
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

std::vector<UINT> g_input;  // input messages the program's window was handed
LRESULT Proc(HWND h, UINT m, WPARAM w, LPARAM l) {
  if (m == WM_KEYDOWN || m == WM_KEYUP || m == WM_LBUTTONDOWN || m == WM_LBUTTONUP) g_input.push_back(m);
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
    VelmiDeviceReset();
    setenv("SDL_VIDEODRIVER", "offscreen", 1);
    // Neither window uses OpenGL, which the offscreen driver would load.
    setenv("SDL_RENDER_DRIVER", "software", 1);
    setenv("SDL_FRAMEBUFFER_ACCELERATION", "0", 1);
    VelmiDeviceSetHeadless(false);
    VelmiDeviceSetLockDir(dir.Str().c_str());
    const std::string report = dir.File("report.txt");
    std::remove(report.c_str());
    VelmiDeviceSetReportFile(report.c_str());
    WNDCLASSW wc{};
    wc.lpfnWndProc = Proc;
    wc.lpszClassName = u"BOXTEST";
    ASSERT_NE(RegisterClassW(&wc), 0);
    HWND hwnd = CreateWindowExW(0, u"BOXTEST", u"game", WS_VISIBLE, 0, 0, 480, 640, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(hwnd, nullptr);
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
                                 << (g_input.empty() ? 0 : g_input[0]);

    // The text as it is on the error stream and in the report.
    EXPECT_NE(err.find("message box [Error] " + text), std::string::npos) << err;
    std::ifstream in(report);
    std::stringstream got;
    got << in.rdbuf();
    std::string line = text;
    for (size_t at; (at = line.find('\n')) != std::string::npos;) line.replace(at, 1, " | ");
    EXPECT_NE(got.str().find("message [Error] " + line), std::string::npos) << got.str();
  }
  VelmiDeviceReset();
  VelmiDeviceSetHeadless(true);
  unsetenv("SDL_VIDEODRIVER");
  unsetenv("SDL_RENDER_DRIVER");
  unsetenv("SDL_FRAMEBUFFER_ACCELERATION");
}

}  // namespace
