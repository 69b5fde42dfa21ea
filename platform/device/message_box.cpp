// The message box of the emulated device on a display: a window of its own
// whose text the text backend draws in the program's message font.  SDL's
// own box draws with X core fonts, which many X servers lack for Japanese.
#include "device_internal.h"

#include <SDL.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <unordered_map>

namespace velmi_device {
namespace {

// Characters every box face must draw: kana, katakana and kanji.
constexpr char16_t kJapaneseProbe[] = u"\u3042\u30A2\u65E5\u672C\u8A9E";
// The last line of a text cut to fit the display.
constexpr char kCutNote[] = "\xE2\x80\xA6 (the rest of the text is on the error stream)";
constexpr char16_t kOk[] = u"OK";

constexpr uint32_t kFaceColour = 0xF0F0F0;
constexpr uint32_t kTextColour = 0x000000;
constexpr uint32_t kButtonColour = 0xE1E1E1;
constexpr uint32_t kButtonBorder = 0x0078D7;  // the default button's frame

// A memory context holding a font of the box face and a one-bit bitmap to
// draw its text into; freed with it.
class BoxFont {
 public:
  BoxFont() = default;
  BoxFont(const BoxFont&) = delete;
  BoxFont& operator=(const BoxFont&) = delete;
  ~BoxFont() {
    if (dc_) DeleteDC(dc_);  // frees what is still selected once deleted
    if (font_) DeleteObject(font_);
    if (bitmap_) DeleteObject(bitmap_);
  }

  // The first face that draws Japanese: the one named, the first family of
  // the enumeration that draws Japanese, the backend's own Japanese font.
  bool Open(const std::u16string& named, int em) {
    dc_ = CreateCompatibleDC(nullptr);
    if (!dc_) return false;
    if (!named.empty() && Try(named, em)) return true;
    std::u16string first;
    EnumFontFamiliesW(
        nullptr, nullptr,
        [](const LOGFONTW* lf, const TEXTMETRICW*, DWORD type, LPARAM data) -> int {
          if (type != TRUETYPE_FONTTYPE || lf->lfCharSet != SHIFTJIS_CHARSET || lf->lfFaceName[0] == u'@') return 1;
          size_t n = 0;
          while (n < LF_FACESIZE && lf->lfFaceName[n]) ++n;
          reinterpret_cast<std::u16string*>(data)->assign(lf->lfFaceName, n);
          return 0;
        },
        reinterpret_cast<LPARAM>(&first));
    if (!first.empty() && first != named && Try(first, em)) return true;
    return Try(u"", em);
  }

  const std::u16string& face() const { return face_; }

  int Width(const std::u16string& text) {
    SIZE size{};
    return GetTextExtentPoint32W(dc_, text.data(), int(text.size()), &size) ? int(size.cx) : 0;
  }

  int CellHeight() {
    SIZE size{};
    return GetTextExtentPoint32W(dc_, u"", 0, &size) ? int(size.cy) : 0;
  }

  int Advance(char32_t cp) {
    auto it = advances_.find(cp);
    if (it != advances_.end()) return it->second;
    std::u16string unit;
    if (cp >= 0x10000) {
      unit += char16_t(0xD800 + ((cp - 0x10000) >> 10));
      unit += char16_t(0xDC00 + ((cp - 0x10000) & 0x3FF));
    } else {
      unit += char16_t(cp);
    }
    return advances_[cp] = cp == '\r' ? 0 : Width(unit);
  }

  // A one-bit canvas of the box's size, its bits set where text is drawn.
  bool Canvas(int width, int height) {
    struct {
      BITMAPINFOHEADER header;
      RGBQUAD colours[2];
    } info{};
    info.header.biSize = sizeof info.header;
    info.header.biWidth = width;
    info.header.biHeight = -height;
    info.header.biPlanes = 1;
    info.header.biBitCount = 1;
    info.header.biCompression = BI_RGB;
    info.colours[0] = RGBQUAD{0xFF, 0xFF, 0xFF, 0};
    info.colours[1] = RGBQUAD{0, 0, 0, 0};
    void* bits = nullptr;
    bitmap_ = CreateDIBSection(dc_, reinterpret_cast<const BITMAPINFO*>(&info), DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!bitmap_ || !SelectObject(dc_, bitmap_)) return false;
    bits_ = static_cast<const uint8_t*>(bits);
    stride_ = (width + 31) / 32 * 4;
    SetBkMode(dc_, TRANSPARENT);
    SetTextColor(dc_, 0);
    return true;
  }

  void Draw(int x, int y, const std::u16string& text) {
    ExtTextOutW(dc_, x, y, 0, nullptr, text.data(), UINT(text.size()), nullptr);
  }

  bool Inked(int x, int y) const { return (bits_[size_t(y) * stride_ + (x >> 3)] >> (7 - (x & 7))) & 1; }

 private:
  bool Try(const std::u16string& face, int em) {
    LOGFONTW lf{};
    lf.lfHeight = -em;
    lf.lfWeight = FW_NORMAL;
    lf.lfCharSet = SHIFTJIS_CHARSET;
    std::copy_n(face.begin(), std::min<size_t>(face.size(), LF_FACESIZE - 1), lf.lfFaceName);
    HFONT font = CreateFontIndirectW(&lf);
    if (!font) return false;
    WORD indices[sizeof kJapaneseProbe / sizeof kJapaneseProbe[0]] = {};
    const int n = int(sizeof kJapaneseProbe / sizeof kJapaneseProbe[0]) - 1;
    HGDIOBJ old = SelectObject(dc_, font);
    bool drawn = old && GetGlyphIndicesW(dc_, kJapaneseProbe, n, indices, GGI_MARK_NONEXISTING_GLYPHS) == DWORD(n);
    for (int i = 0; drawn && i < n; ++i) drawn = indices[i] != 0xFFFF;
    if (!drawn) {
      if (old) SelectObject(dc_, old);
      DeleteObject(font);
      return false;
    }
    if (font_) DeleteObject(font_);
    font_ = font;
    face_ = face;
    return true;
  }

  HDC dc_ = nullptr;
  HFONT font_ = nullptr;
  HBITMAP bitmap_ = nullptr;
  const uint8_t* bits_ = nullptr;
  int stride_ = 0;
  std::u16string face_;
  std::unordered_map<char32_t, int> advances_;
};

// Lines of a UTF-8 text, split at its line breaks, carriage returns dropped.
std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines(1);
  for (char ch : text) {
    if (ch == '\n')
      lines.emplace_back();
    else if (ch != '\r')
      lines.back() += ch;
  }
  return lines;
}

std::vector<std::string> Wrap(const std::string& text, int limit, BoxFont& font) {
  const std::function<int(char32_t)> widthOf = [&](char32_t cp) { return font.Advance(cp); };
  return SplitLines(WrapBoxText(text, limit, widthOf));
}

void Paint(std::vector<uint32_t>& pixels, int width, const RECT& r, uint32_t colour) {
  for (LONG y = r.top; y < r.bottom; ++y)
    std::fill(pixels.begin() + (size_t(y) * width + r.left), pixels.begin() + (size_t(y) * width + r.right), colour);
}

// Lays the text out for a display of the given size and draws it.
bool LayOut(const std::string& text, int displayWidth, int displayHeight, VelmiDeviceBoxLayout* layout,
            std::vector<uint32_t>* pixels) {
  *layout = VelmiDeviceBoxLayout{};
  pixels->clear();
  displayWidth = std::clamp(displayWidth, 160, 16384);
  displayHeight = std::clamp(displayHeight, 120, 16384);
  // The em grows with the display: 16 pixels on a 768-line display.
  const int em = std::clamp(displayHeight / 48, 12, 20);
  std::u16string face;
  {
    // VelmiDeviceSetMessageBoxFace writes it under the lock.
    std::lock_guard<std::recursive_mutex> g(S().lock);
    face = S().boxFace;
  }
  BoxFont font;
  if (!font.Open(face, em)) return false;
  layout->face = velmi::WideToUtf8Lossy(font.face());
  const int cell = std::max(font.CellHeight(), 1);
  const int margin = em, lineHeight = cell + em / 4;
  const int buttonWidth = std::max(em * 5, font.Width(kOk) + 2 * em), buttonHeight = cell + em * 3 / 4;
  const int maxWidth = displayWidth * 9 / 10, maxHeight = displayHeight * 9 / 10;
  layout->textLimit = maxWidth - 2 * margin;

  std::vector<std::string> lines = Wrap(text, layout->textLimit, font);
  while (lines.size() > 1 && lines.back().empty()) lines.pop_back();
  const int fixed = 3 * margin + buttonHeight;  // above and below the text, and above the button
  const size_t room = size_t(std::max(1, (maxHeight - fixed) / lineHeight));
  if (lines.size() > room) {
    const std::vector<std::string> note = Wrap(kCutNote, layout->textLimit, font);
    lines.resize(room > note.size() ? room - note.size() : 0);
    lines.insert(lines.end(), note.begin(), note.end());
    lines.resize(room);
    layout->cut = true;
  }
  std::vector<std::u16string> wide;
  for (const std::string& line : lines) {
    wide.push_back(velmi::Utf8ToWideLossy(line));
    layout->textWidth = std::max(layout->textWidth, font.Width(wide.back()));
  }
  layout->lines = lines;
  const int width = std::min(maxWidth, std::max({layout->textWidth, buttonWidth, em * 16}) + 2 * margin);
  const int height = fixed + int(lines.size()) * lineHeight;
  layout->width = width;
  layout->height = height;
  const int buttonLeft = (width - buttonWidth) / 2, buttonTop = height - margin - buttonHeight;
  layout->ok = RECT{buttonLeft, buttonTop, buttonLeft + buttonWidth, buttonTop + buttonHeight};

  if (!font.Canvas(width, height)) return false;
  for (size_t i = 0; i < wide.size(); ++i)
    font.Draw(margin, margin + int(i) * lineHeight + (lineHeight - cell) / 2, wide[i]);
  font.Draw(buttonLeft + (buttonWidth - font.Width(kOk)) / 2, buttonTop + (buttonHeight - cell) / 2, kOk);
  pixels->assign(size_t(width) * height, kFaceColour);
  const RECT& ok = layout->ok;
  Paint(*pixels, width, ok, kButtonBorder);
  Paint(*pixels, width, RECT{ok.left + 1, ok.top + 1, ok.right - 1, ok.bottom - 1}, kFaceColour);
  Paint(*pixels, width, RECT{ok.left + 2, ok.top + 2, ok.right - 2, ok.bottom - 2}, kButtonColour);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      if (font.Inked(x, y)) (*pixels)[size_t(y) * width + x] = kTextColour;
  return true;
}

bool Present(SDL_Window* window, std::vector<uint32_t>& pixels, int width, int height) {
  SDL_Surface* target = SDL_GetWindowSurface(window);
  if (!target) return false;
  SDL_Surface* source =
      SDL_CreateRGBSurfaceWithFormatFrom(pixels.data(), width, height, 32, width * 4, SDL_PIXELFORMAT_RGB888);
  if (!source) return false;
  const bool shown = SDL_BlitSurface(source, nullptr, target, nullptr) == 0 && SDL_UpdateWindowSurface(window) == 0;
  SDL_FreeSurface(source);
  return shown;
}

bool ClosingKey(SDL_Keycode key) {
  return key == SDLK_RETURN || key == SDLK_KP_ENTER || key == SDLK_SPACE || key == SDLK_ESCAPE;
}

bool OnOk(const VelmiDeviceBoxLayout& layout, int x, int y) {
  return x >= layout.ok.left && x < layout.ok.right && y >= layout.ok.top && y < layout.ok.bottom;
}

// Waits until the box is closed.  Every event meanwhile is the box's: the
// program's window takes no input while the box stands.  Releases of presses
// made before the box and a close of the program's window are handed back
// to the queue afterwards, so that the program neither holds a key forever
// nor misses the close; the program's window's focus events are not, as the
// box took the focus (GiveBackFocus settles it once the box is gone).
void RunBox(SDL_Window* window, std::vector<uint32_t>& pixels, const VelmiDeviceBoxLayout& layout) {
  State& st = S();
  const Uint32 id = SDL_GetWindowID(window);
  std::vector<SDL_Keycode> pressed;  // closing keys pressed in the box
  bool okPressed = false;
  std::vector<SDL_Event> afterwards;
  for (bool open = true; open;) {
    SDL_Event e;
    if (!SDL_WaitEvent(&e)) break;
    switch (e.type) {
      case SDL_KEYDOWN:
        if (ClosingKey(e.key.keysym.sym) && !e.key.repeat) pressed.push_back(e.key.keysym.sym);
        break;
      case SDL_KEYUP:
        // A key closes the box on its release, so that neither half of it
        // reaches the program.
        if (std::find(pressed.begin(), pressed.end(), e.key.keysym.sym) != pressed.end())
          open = false;
        else
          afterwards.push_back(e);
        break;
      case SDL_MOUSEBUTTONDOWN:
        if (e.button.windowID == id && e.button.button == SDL_BUTTON_LEFT && OnOk(layout, e.button.x, e.button.y))
          okPressed = true;
        break;
      case SDL_MOUSEBUTTONUP:
        if (e.button.windowID != id) {
          afterwards.push_back(e);
        } else if (e.button.button == SDL_BUTTON_LEFT) {
          if (okPressed && OnOk(layout, e.button.x, e.button.y)) open = false;
          okPressed = false;
        }
        break;
      case SDL_WINDOWEVENT:
        if (e.window.windowID == id) {
          if (e.window.event == SDL_WINDOWEVENT_CLOSE) open = false;
          if (e.window.event == SDL_WINDOWEVENT_EXPOSED) Present(window, pixels, layout.width, layout.height);
        } else if (e.window.event == SDL_WINDOWEVENT_CLOSE) {
          SDL_Event quit{};
          quit.type = SDL_QUIT;
          afterwards.push_back(quit);
        } else if (e.window.event == SDL_WINDOWEVENT_EXPOSED && st.sdlWindow) {
          RefreshDisplay(true);
        }
        break;
      case SDL_QUIT:
        afterwards.push_back(e);
        break;
      default:
        break;
    }
  }
  for (SDL_Event& e : afterwards) SDL_PushEvent(&e);
}

// Shows the box in its own window and waits until it is closed; false when
// no box could be shown this way.
bool ShowOwnBox(const std::string& caption, const std::string& text) {
  State& st = S();
  // A box before the program's window has SDL's video to itself meanwhile.
  const bool ownVideo = !st.sdlReady;
  // Only on the display named: a driver that draws nowhere would wait for a
  // key nobody can press.
  std::string failure;
  if (ownVideo && !StartVideoOnNamedDisplay(SDL_INIT_VIDEO, &failure)) return false;
  bool shown = false;
  const int display = st.sdlWindow ? std::max(SDL_GetWindowDisplayIndex(st.sdlWindow), 0) : 0;
  SDL_Rect bounds{0, 0, 640, 480};
  SDL_GetDisplayBounds(display, &bounds);
  VelmiDeviceBoxLayout layout;
  std::vector<uint32_t> pixels;
  // The box's pixels go to the window as they are, without OpenGL, which a
  // remote X server may not offer.
  SDL_SetHintWithPriority(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0", SDL_HINT_DEFAULT);
  if (LayOut(text, bounds.w, bounds.h, &layout, &pixels)) {
    SDL_Window* window =
        SDL_CreateWindow(caption.c_str(), SDL_WINDOWPOS_CENTERED_DISPLAY(display),
                         SDL_WINDOWPOS_CENTERED_DISPLAY(display), layout.width, layout.height, SDL_WINDOW_HIDDEN);
    if (window) {
      if (st.sdlWindow) SDL_SetWindowModalFor(window, st.sdlWindow);
      SDL_ShowWindow(window);
      SDL_RaiseWindow(window);
      if (Present(window, pixels, layout.width, layout.height)) {
        shown = true;
        {
          std::lock_guard<std::recursive_mutex> g(st.lock);
          st.lastShownBox = layout;
        }
        RunBox(window, pixels, layout);
      }
      SDL_DestroyWindow(window);
    }
  }
  if (ownVideo) SDL_QuitSubSystem(SDL_INIT_VIDEO);
  if (st.sdlWindow) RefreshDisplay(true);
  return shown;
}

// An event filter that drops the focus events of the window whose id it is given.
int DropFocusEventsOf(void* windowId, SDL_Event* e) {
  const bool focus = e->type == SDL_WINDOWEVENT &&
                     (e->window.event == SDL_WINDOWEVENT_FOCUS_LOST || e->window.event == SDL_WINDOWEVENT_FOCUS_GAINED);
  return focus && e->window.windowID == Uint32(reinterpret_cast<uintptr_t>(windowId)) ? 0 : 1;
}

// Hands the game back what a box took.  The box took the focus, so the game
// window's focus events from its time are dropped (SDL's own box runs its
// own loop; they are still queued then) and the game's foreground state is
// what it was when the box opened.  A game window that was in front is raised
// and given the input focus: with no window manager nothing else gives it
// back, and the keys would reach no window.
void GiveBackFocus(bool wasForeground) {
  State& st = S();
  if (st.sdlWindow) {
    SDL_PumpEvents();
    SDL_FilterEvents(DropFocusEventsOf, reinterpret_cast<void*>(uintptr_t(SDL_GetWindowID(st.sdlWindow))));
  }
  st.foreground = wasForeground;
  if (!wasForeground || !st.sdlWindow || !st.mainWindow || st.mainWindow->minimized) return;
  SDL_RaiseWindow(st.sdlWindow);
  SDL_SetWindowInputFocus(st.sdlWindow);
}

}  // namespace
}  // namespace velmi_device

using namespace velmi_device;

int MessageBoxW(HWND, LPCWSTR text, LPCWSTR caption, UINT) {
  State& st = S();
  std::string t = velmi::WideToUtf8Lossy(FromWide(text)), c = velmi::WideToUtf8Lossy(FromWide(caption));
  TellMessageBox(c, t);
  if (Headless()) return IDOK;
  const bool wasForeground = st.foreground;
  if (!ShowOwnBox(c, t) &&
      SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, c.c_str(), WrapBoxText(t, kBoxColumns).c_str(), st.sdlWindow) != 0)
    ErrorLine("the message box could not be shown (%s)", SDL_GetError());
  GiveBackFocus(wasForeground);
  return IDOK;
}

void VelmiDeviceSetMessageBoxFace(LPCWSTR face) {
  State& st = S();
  std::lock_guard<std::recursive_mutex> g(st.lock);
  st.boxFace = FromWide(face);
}

bool VelmiDeviceDrawMessageBox(const char* text, int displayWidth, int displayHeight, VelmiDeviceBoxLayout* layout,
                               std::vector<uint32_t>* pixels) {
  VelmiDeviceBoxLayout unusedLayout;
  std::vector<uint32_t> unusedPixels;
  return LayOut(text ? text : "", displayWidth, displayHeight, layout ? layout : &unusedLayout,
                pixels ? pixels : &unusedPixels);
}

VelmiDeviceBoxLayout VelmiDeviceLastShownBox() {
  State& st = S();
  std::lock_guard<std::recursive_mutex> g(st.lock);
  return st.lastShownBox;
}
