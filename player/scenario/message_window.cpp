// The message window of the story: frame, text panel, name plate, side
// buttons with their caption, page cursor; typing a page, waiting for it to
// be left (keys, taps, auto mode, skip) and the backlog reached from it.
#include <algorithm>
#include <cstring>
#include <new>

#include "common/format.h"
#include "common/sjis.h"
#include "player/core/dirty_list.h"
#include "player/core/display.h"
#include "player/app/game_app.h"
#include "player/app/menu_commands.h"
#include "player/core/picture.h"
#include "player/core/text_window.h"
#include "player/scenario/stage.h"
#include "player/scenario/message_window.h"
#include "player/scenario/save_file.h"
#include "player/scenario/system_data.h"
#include "player/scenario/sound_requests.h"

char g_messageBuffer[256];

namespace {

// Sprites of the window in the window picture (slot 255); canvas units.
struct WindowPart {
  int sprite;
  int sx, sy, w, h;
  int hx, hy;  // source when highlighted; -1: never highlighted
  int x, y;
  int priority;
};
constexpr WindowPart kWindowParts[] = {
    {500, 0, 0, 736, 208, -1, -1, 6, 380, 4},        // frame
    {501, 0, 208, 736, 170, -1, -1, 6, 418, 5},      // text panel
    {502, 742, 4, 58, 32, 742, 132, 742, 424, 3},    // button 1: quick option menu
    {503, 742, 36, 58, 32, 742, 164, 742, 460, 3},   // button 2: auto mode
    {504, 742, 68, 58, 32, 742, 196, 742, 496, 3},   // button 3: skip
    {505, 742, 100, 58, 32, 742, 228, 742, 532, 3},  // button 4: quick save
    {506, 744, 283, 24, 24, -1, -1, 716, 448, 3},    // sign beside button 2
    {507, 744, 307, 24, 24, -1, -1, 716, 482, 3},    // sign beside button 3
    {508, 747, 261, 18, 18, 772, 261, 720, 422, 3},  // button 0: hide the window
    {509, 482, 378, 36, 36, -1, -1, 670, 540, 2},    // page cursor
};
constexpr int kFrameSprite = 500, kPanelSprite = 501, kPageCursorSprite = 509, kCaptionSprite = 510;
constexpr int kLastWindowSprite = 510;
// Side buttons 0-4: their sprite and hit box.
struct SideButton {
  int sprite;
  int x, y, w, h;
};
constexpr SideButton kSideButtons[5] = {
    {508, 720, 422, 18, 18}, {502, 742, 424, 58, 32}, {503, 742, 460, 58, 32},
    {504, 742, 496, 58, 32}, {505, 742, 532, 58, 32},
};
// Caption of button n (1-4): source (481, 415 + 24 (n - 1), 152 x 24) at (648, 386).
constexpr int kCaptionX = 648, kCaptionY = 386, kCaptionSourceX = 481, kCaptionSourceY = 415;

constexpr int kWindowX = 6, kWindowY = 380, kWindowW = 736, kWindowH = 208;
constexpr int kPanelX = 6, kPanelY = 418, kPanelW = 736, kPanelH = 170;
constexpr int kTextX = 38, kTextY = 76, kFontSize = 28;
constexpr uint32_t kTextColour = 0xFFFFFF;
constexpr uint32_t kNameColour = 0xF0FFD0;
constexpr int kVoiceFadeMs = 1500;

// The renderer's records keep colours as 0x00BBGGRR.
uint32_t RecordColour(uint32_t rgb) { return ((rgb & 0xFF) << 16) | (rgb & 0xFF00) | ((rgb >> 16) & 0xFF); }

template <size_t N>
void Remember(char (&out)[N], const char* s) {
  FormatStringN(out, N, "%s", s ? s : "");
}

bool Pressed(const InputState& in) { return in.tap || in.count[IN_KEY_C] || in.count[IN_RIGHT]; }

}  // namespace

void CGameApp::BuildMessageWindow() {
  LoadPictureSlot(kSlotMessageWindow, "AdvData\\GRP\\SYSTEM\\Messwin.zev", 0);
  for (const WindowPart& p : kWindowParts) {
    CSprite* s = MakePictureSprite(p.sprite, kSlotMessageWindow, p.sx, p.sy, p.w, p.h, p.x, p.y, 0, 0, p.priority);
    if (s) s->SetVisible(0);
  }
  DeleteSprite(kCaptionSprite, 1);
  UpdateMessageWindowAlpha();
  delete textWindow;
  textWindow = new (std::nothrow) CTextWindow;
  if (textWindow) {
    textWindow->SetTextArea(kWindowX, kWindowY, kWindowW, kWindowH);
    textWindow->SetFontSize(kFontSize);
    textWindow->SetPosition(kTextX, kTextY);
    textWindow->SetSpacing(0, 14);
    textWindow->SetLineLimits(24, 3);
    textWindow->display = 0;
  }
  message.windowShown = 0;
  message.pageCursorShown = 0;
  message.highlightedButton = -1;
  message.redrawHighlight = 0;
}

void CGameApp::ShowMessageWindow(int on) {
  if (textWindow) {
    textWindow->SetInstantMode(on);
    textWindow->hiddenByPlayer = 0;
  }
  for (int n = kFrameSprite; n <= kLastWindowSprite; ++n) {
    if (!sprites[n]) continue;
    // The page cursor shows only while a page waits.
    sprites[n]->SetVisible(on && (n != kPageCursorSprite || message.pageCursorShown));
  }
  message.windowShown = on != 0;
  InvalidateVirtualRect(kWindowX, kWindowY, kWindowW, kWindowH);
}

void CGameApp::HideMessageWindowByPlayer() {
  ShowMessageWindow(0);
  if (textWindow) textWindow->hiddenByPlayer = 1;
}

void CGameApp::ReleaseTextWindow() {
  delete textWindow;
  textWindow = nullptr;
  message.windowShown = 0;
  message.pageCursorShown = 0;
}

void CGameApp::UpdateMessageWindowAlpha() {
  CSprite* panel = sprites[kPanelSprite];
  if (!panel) return;
  panel->SetLevel(WindowTransLevel(settings));
}

// Starts a text at (x, y) of the text area in the given colour; laid out at
// once when asked, else typed by the frames that follow.  Its lines are its
// own: the name plate and the texts before it do not count against the
// characters of its first line.
static int StartTextAt(CGameApp* app, const char* text, int x, int y, uint32_t colour, bool atOnce) {
  CTextWindow* w = app->textWindow;
  w->SetPosition(x, y);
  w->column = 0;
  w->lineNumber = 0;
  w->SetFontSize(kFontSize);
  w->colour = RecordColour(colour);
  w->StartText(text);
  w->noWait = atOnce;
  const int done = LayoutText(w, &app->settings, atOnce ? nullptr : &app->input, app->dirty, 100);
  w->noWait = 0;
  return done;
}

void SetSpeakerName(CGameApp* app, const char* name) {
  char* speaker = app->story.speakerName;
  if (speaker != name) Remember(app->story.speakerName, name);
  if (!app->textWindow || !speaker[0]) return;
  const int len = int(StrLength(speaker));
  StartTextAt(app, speaker, 128 - (len / 2) * 14, 12, kNameColour, true);
}

void CGameApp::ReshowMessage(int on, const char* name, const char* text) {
  if (!textWindow) return;
  if (on) {
    textWindow->ClearText();
    SetSpeakerName(this, name);
    Remember(message.text, text);
    StartTextAt(this, message.text, kTextX, kTextY, kTextColour, true);
    textWindow->SetInstantMode(1);
    return;
  }
  textWindow->SetPosition(kTextX, kTextY);
  textWindow->ClearText();
  InvalidateVirtualRect(kWindowX, kWindowY, kWindowW, kWindowH);
}

int CGameApp::CurrentBlockUnread() {
  return settings.readSkip && !TestReadFlag(this, story.scriptName, story.readBlock);
}

int ShowMessageText(CGameApp* app, const char* text) {
  MessageState& m = app->message;
  m.voicePlayingAtStart = app->soundRequests.IsVoicePlaying();
  if (app->CurrentBlockUnread()) app->settings.skipRunning = 0;  // skipping stops at unread text
  CTextWindow* w = app->textWindow;
  if (!w) return 1;
  if (app->story.frameCounter > 0) return LayoutText(w, &app->settings, &app->input, app->dirty, 100);
  app->SnapshotSaveState();
  // Stored bytes are 0x20 less; a line feed becomes the layout's "/".  The
  // buffer keeps 255 bytes, never half a character.
  size_t n = 0;
  for (const char* p = text ? text : ""; *p; ++p) {
    char c = char(static_cast<unsigned char>(*p) + 0x20);
    if (c == 0x0A) c = '/';
    if (n + 1 >= sizeof g_messageBuffer) break;
    g_messageBuffer[n++] = c;
  }
  // A lead byte cut from its second byte is dropped.
  size_t keep = 0;
  for (size_t i = 0; i < n;) {
    size_t len = IsSjisLeadByte(static_cast<unsigned char>(g_messageBuffer[i])) ? 2 : 1;
    if (i + len > n) break;
    i += len;
    keep = i;
  }
  g_messageBuffer[keep] = 0;
  Remember(m.text, g_messageBuffer);
  Remember(m.speaker, app->story.speakerName);
  m.textStartTime = m.pageStartTime = NowMs();
  m.voiceHeard = 0;
  return StartTextAt(app, g_messageBuffer, kTextX, kTextY, kTextColour, false);
}

void CGameApp::OpenBacklog() {
  DeleteSprite(kCaptionSprite, 1);
  textWindow->backlogPage = 0;
  textWindow->backlogView = 1;
  InvalidateVirtualRect(kWindowX, kWindowY, kWindowW, kWindowH);
  ShowPageCursor(0);
}

void CGameApp::CloseBacklog() {
  textWindow->backlogPage = -1;
  textWindow->backlogView = 0;
  InvalidateVirtualRect(kWindowX, kWindowY, kWindowW, kWindowH);
  ShowPageCursor(1);
}

int CGameApp::EndTextPage() {
  CTextWindow* w = textWindow;
  const int count = std::clamp(w->count, 0, kTextRecords);
  w->backlog.Push(sound.voiceName, w->records, kTextPageBytes, uint32_t(count));
  if (settings.voiceCutMode == 0)
    soundRequests.StopVoice();
  else if (settings.voiceCutMode == 2)
    soundRequests.FadeOutVoice(kVoiceFadeMs);
  sound.voiceName[0] = 0;
  story.speakerName[0] = 0;
  SetReadFlag(this, story.scriptName, story.readBlock);
  DeleteSprite(kCaptionSprite, 1);
  ShowPageCursor(0);
  w->SetPosition(kTextX, kTextY);
  w->ClearText();
  InvalidateVirtualRect(kWindowX, kWindowY, kWindowW, kWindowH);
  return 1;
}

int CGameApp::WaitTextPage() {
  CTextWindow* w = textWindow;
  if (!w) return 1;
  const int frame = story.frameCounter;
  const bool hidden = w->hiddenByPlayer != 0;
  int voicePlaying = soundRequests.IsVoicePlaying();
  if (!hidden && !w->backlogView) {
    if (HitSideButton() >= 0) return 0;
  }
  if (voicePlaying) {
    message.pageStartTime = NowMs();
    message.voiceHeard = 1;
  }
  if (frame == 0) ShowPageCursor(1);
  const int unread = CurrentBlockUnread();
  if (unread) settings.skipRunning = 0;
  const bool visible = message.windowShown && !hidden;
  const bool haveBacklog = w->backlog.GetData(0, nullptr) != nullptr;
  if (visible && !w->backlogView && !settings.mesLogStart && frame >= 3 && input.count[IN_UP] && haveBacklog) {
    input.count[IN_UP] = 0;
    OpenBacklog();
    return 0;
  }
  if (visible && !w->backlogView) {
    if (!unread && (settings.skipRunning || input.count[IN_LEFT])) input.count[IN_KEY_C] = 1;
    if (!Pressed(input)) {
      if (settings.messageAuto && !voicePlaying) {
        const int64_t delay = settings.voiceAutoLock && message.voiceHeard
                                  ? 100
                                  : (int64_t(settings.messageAutoOne) * std::max(0, w->count) +
                                     (int64_t(settings.messageAutoBase) + 1) * 20) *
                                        10;
        if (int64_t(uint32_t(NowMs() - message.pageStartTime)) >= delay) return EndTextPage();
      }
      if (input.count[IN_START] == 1 && settings.centerKeyAction == 2) {
        input.count[IN_START] = 2;
        HideMessageWindowByPlayer();
      } else if (input.count[IN_START] == 1 && settings.centerKeyAction == 3) {
        input.count[IN_START] = 2;
        if (haveBacklog) OpenBacklog();
      } else if (input.count[IN_KEY_A] == 1) {
        input.count[IN_KEY_A] = 2;
        HideMessageWindowByPlayer();
      }
      return 0;
    }
    input.tap = 0;
    input.count[IN_KEY_C] = input.count[IN_RIGHT] = 0;
    return EndTextPage();
  }
  if (hidden) {
    const bool keyA = input.count[IN_KEY_A] == 1;
    if (Pressed(input) || keyA) {
      input.tap = 0;
      input.count[IN_KEY_C] = input.count[IN_RIGHT] = 0;
      if (keyA) input.count[IN_KEY_A] = 2;
      ShowMessageWindow(1);
      w->ShowAllChars(1);
      if (keyA && settings.mesLogStart && haveBacklog) OpenBacklog();
    }
    return 0;
  }
  if (w->backlogView) {
    if (input.count[IN_UP] == 1) {
      input.count[IN_UP] = 2;
      // The oldest page is as far as UP goes.
      if (w->backlog.GetData(w->backlogPage + 1, nullptr)) {
        ++w->backlogPage;
        InvalidateVirtualRect(kWindowX, kWindowY, kWindowW, kWindowH);
      }
    } else if (input.count[IN_DOWN] == 1) {
      input.count[IN_DOWN] = 2;
      if (w->backlogPage <= 0) {
        CloseBacklog();
      } else {
        --w->backlogPage;
        InvalidateVirtualRect(kWindowX, kWindowY, kWindowW, kWindowH);
      }
    } else if (input.count[IN_KEY_A] == 1 || input.count[IN_LEFT] == 1) {
      input.count[IN_KEY_A] = input.count[IN_KEY_A] ? 2 : 0;
      input.count[IN_LEFT] = input.count[IN_LEFT] ? 2 : 0;
      CloseBacklog();
    } else if (input.tap && !input.count[IN_RIGHT] && !input.count[IN_KEY_C] &&
               !HitTest(kPanelX, kPanelY, kPanelW, kPanelH)) {
      input.tap = 0;
      CloseBacklog();
    } else if (Pressed(input)) {
      input.tap = 0;
      input.count[IN_KEY_C] = input.count[IN_RIGHT] = 0;
      const char* voice = w->backlog.GetName(w->backlogPage, nullptr);
      if (voice && voice[0]) soundRequests.PlayVoice(voice, 1);
    }
  }
  return 0;
}

int CGameApp::HitSideButton() {
  CTextWindow* w = textWindow;
  if (!w || w->hiddenByPlayer || w->backlogView) return -1;
  const int before = message.highlightedButton;
  int n = before;
  if (input.count[IN_DOWN] == 1) {
    input.count[IN_DOWN] = 2;
    n = n >= 4 ? -1 : n + 1;
  }
  if (input.tap) {
    int hit = -1;
    for (int b = 0; b < 5; ++b) {
      const SideButton& s = kSideButtons[b];
      if (HitTest(s.x, s.y, s.w, s.h)) {
        hit = b;
        break;
      }
    }
    if (hit >= 0 && hit != before) {
      n = hit;
      input.tap = 0;  // the first tap only highlights
    } else if (hit < 0) {
      n = -1;  // left for the page
    }
  }
  if (n != before) HighlightSideButton(n);
  if (!Pressed(input) || before < 0 || n != before) return -1;
  input.tap = 0;
  input.count[IN_KEY_C] = input.count[IN_RIGHT] = 0;
  switch (before) {
    case 0:
      HideMessageWindowByPlayer();
      break;
    case 1:
      OpenQuickOption();
      break;
    case 2:
      HandleMenuCommand(this, hwnd, kMenuMessageAuto, 0);
      break;
    case 3:
      settings.skipRunning = !settings.skipRunning;
      break;
    default:
      TellSaveResult(this, AutoSave(this));
      break;
  }
  HighlightSideButton(-1);
  return before;
}

void CGameApp::HighlightSideButton(int n) {
  if (n == message.highlightedButton && !message.redrawHighlight) return;
  for (const WindowPart& p : kWindowParts) {
    if (p.hx < 0 || !sprites[p.sprite]) continue;
    const bool lit = n >= 0 && kSideButtons[n].sprite == p.sprite;
    SetSpriteRect(p.sprite, kSlotMessageWindow, lit ? p.hx : p.sx, lit ? p.hy : p.sy, p.w, p.h);
  }
  DeleteSprite(kCaptionSprite, 1);
  if (n >= 1 && n <= 4)
    MakePictureSprite(kCaptionSprite, kSlotMessageWindow, kCaptionSourceX, kCaptionSourceY + 24 * (n - 1), 152, 24,
                      kCaptionX, kCaptionY, 0, 0, 3);
  message.highlightedButton = n;
  message.redrawHighlight = 0;
}

void CGameApp::ShowPageCursor(int on) {
  message.pageCursorShown = on != 0;
  if (CSprite* s = sprites[kPageCursorSprite]) s->SetVisible(on && message.windowShown);
}
