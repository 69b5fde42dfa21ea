// The message window: typing a page, the page wait on a table of cases, the
// side buttons, the backlog and the name plate.
#include <gtest/gtest.h>

#include <velmi_platform.h>

#include <cstring>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "common/sjis.h"
#include "player/app/game_app.h"
#include "player/core/dirty_list.h"
#include "player/core/display.h"
#include "player/app/menu_commands.h"
#include "player/core/picture.h"
#include "player/core/text_window.h"
#include "player/scenario/stage.h"
#include "player/scenario/system_data.h"
#include "tests/player/recording_mixer.h"
#include "tests/player/scenario_fixture.h"

namespace {

// The script's form of a text: every byte 0x20 less.
std::string Stored(const std::string& text) {
  std::string s = text;
  for (char& c : s) c = char(static_cast<unsigned char>(c) - 0x20);
  return s;
}

class MessageTest : public ScenarioAppTest {
 protected:
  void SetUp() override {
    std::vector<uint16_t> px(640 * 480, 0x1234);
    StartApp({{"AdvData\\GRP\\SYSTEM\\Messwin.rbp", MakeRbp565(640, 480, px, 800, 600)}});
    NewApp();
  }
  void NewApp() {
    RestartApp();
    app->soundRequests.SetPort(&mixer);
    mixer.detail = false;
    GameSettings& s = app->settings;
    s.messageSpeed = 0;
    s.skipRunning = 0;
    s.readSkip = 0;
    s.messageAuto = 0;
    s.voiceAutoLock = 0;
    s.voiceCutMode = 0;
    s.mesLogStart = 0;
    s.centerKeyAction = 0;
    s.windowTrans = 0;
    app->BuildMessageWindow();
    ASSERT_EQ(app->errorWord, 0u);
    app->ShowMessageWindow(1);
    mixer.calls.clear();
    mixer.voicePlaying = 0;
  }
  // One frame of the message instruction, counting its frames as the story does.
  int Show(const std::string& stored) {
    int done = ShowMessageText(app, stored.c_str());
    app->story.frameCounter = done ? 0 : app->story.frameCounter + 1;
    return done;
  }
  // Types a whole page (message speed 0: in one frame).
  void Page(const std::string& text) {
    std::string stored = Stored(text);
    int guard = 0;
    while (!Show(stored) && ++guard < 100) VelmiClockAdvance(16);
  }
  // One frame of the page wait with the given keys: C KEY_C, R RIGHT, L LEFT,
  // U UP, D DOWN, A KEY_A, S START, and "T x y" a tap at canvas (x, y).
  int Wait(const std::string& keys) {
    std::memset(app->input.count, 0, sizeof app->input.count);
    app->input.tap = 0;
    for (size_t i = 0; i < keys.size(); ++i) {
      switch (keys[i]) {
        case 'C':
          app->input.count[IN_KEY_C] = 1;
          break;
        case 'R':
          app->input.count[IN_RIGHT] = 1;
          break;
        case 'L':
          app->input.count[IN_LEFT] = 1;
          break;
        case 'U':
          app->input.count[IN_UP] = 1;
          break;
        case 'D':
          app->input.count[IN_DOWN] = 1;
          break;
        case 'A':
          app->input.count[IN_KEY_A] = 1;
          break;
        case 'S':
          app->input.count[IN_START] = 1;
          break;
        case 'T': {
          int x = 0, y = 0, used = 0;
          std::sscanf(keys.c_str() + i + 1, " %d %d%n", &x, &y, &used);
          app->input.tap = 1;
          app->input.stylusX = uint32_t(ScaleX(x));
          app->input.stylusY = uint32_t(ScaleY(y));
          i += size_t(used);
          break;
        }
        default:
          break;
      }
    }
    int r = app->WaitTextPage();
    app->story.frameCounter = r ? 0 : app->story.frameCounter + 1;
    VelmiClockAdvance(16);
    return r;
  }
  RecordingMixer mixer;
};

struct WaitCase {
  const char* name;
  std::function<void(CGameApp*, RecordingMixer&)> setup;
  std::vector<std::string> frames;  // keys of each frame
  int endsAt;                       // frame whose wait returns 1, -1 none
  std::function<void(CGameApp*, RecordingMixer&)> check;
};

TEST_F(MessageTest, PageWaitTable) {
  auto none = [](CGameApp*, RecordingMixer&) {};
  std::vector<std::string> idle(20, "");
  const WaitCase cases[] = {
      {"KEY_C ends the page and sets its read flag",
       none,
       {"", "C"},
       1,
       [](CGameApp* a, RecordingMixer& m) {
         EXPECT_EQ(m.calls, std::vector<std::string>{"stop 20"});
         EXPECT_NE(TestReadFlag(a, "scene", 2), 0);
         uint32_t tag = 0;
         EXPECT_NE(a->textWindow->backlog.GetData(0, &tag), nullptr);
         EXPECT_EQ(tag, 4u);
         EXPECT_EQ(a->textWindow->count, 0);
         EXPECT_EQ(a->message.pageCursorShown, 0);
       }},
      {"RIGHT and a tap end it too", none, {"R"}, 0, none},
      {"tap on the panel", none, {"T 300 500"}, 0, none},
      {"VOICE_CUT_MODE 1 lets the voice play",
       [](CGameApp* a, RecordingMixer&) { a->settings.voiceCutMode = 1; },
       {"C"},
       0,
       [](CGameApp*, RecordingMixer& m) { EXPECT_TRUE(m.calls.empty()); }},
      {"VOICE_CUT_MODE 2 fades it",
       [](CGameApp* a, RecordingMixer&) { a->settings.voiceCutMode = 2; },
       {"C"},
       0,
       [](CGameApp*, RecordingMixer& m) { EXPECT_EQ(m.calls, std::vector<std::string>{"fade 20 1500"}); }},
      {"skip ends a read page at once",
       [](CGameApp* a, RecordingMixer&) { a->settings.skipRunning = 1; },
       {""},
       0,
       none},
      {"LEFT skips too", none, {"L"}, 0, none},
      {"READ_SKIP stops the skip at an unread page",
       [](CGameApp* a, RecordingMixer&) {
         a->settings.skipRunning = 1;
         a->settings.readSkip = 1;
       },
       {"", "", "L"},
       -1,
       [](CGameApp* a, RecordingMixer&) {
         EXPECT_EQ(a->settings.skipRunning, 0);
         EXPECT_EQ(TestReadFlag(a, "scene", 2), 0);
       }},
      {"READ_SKIP lets the skip run over a read page",
       [](CGameApp* a, RecordingMixer&) {
         a->settings.skipRunning = 1;
         a->settings.readSkip = 1;
         a->story.readBlock = 1;
       },
       {""},
       0,
       [](CGameApp* a, RecordingMixer&) { EXPECT_EQ(a->settings.skipRunning, 1); }},
      // Auto mode: (MESSAGE_AUTO_ONE x 4 characters + (base + 1) x 20) x 10 ms = 240 ms, 16 ms a frame.
      {"auto mode delay",
       [](CGameApp* a, RecordingMixer&) {
         a->settings.messageAuto = 1;
         a->settings.messageAutoOne = 1;
         a->settings.messageAutoBase = 0;
       },
       idle, 15, none},
      {"auto mode waits for the voice, then 100 ms with VOICE_AUTOLOCK",
       [](CGameApp* a, RecordingMixer& m) {
         a->settings.messageAuto = 1;
         a->settings.messageAutoOne = 1;
         a->settings.messageAutoBase = 0;
         a->settings.voiceAutoLock = 1;
         m.voicePlaying = 1;
       },
       idle, 10, none},
      {"auto mode without VOICE_AUTOLOCK takes the whole delay after the voice",
       [](CGameApp* a, RecordingMixer& m) {
         a->settings.messageAuto = 1;
         a->settings.messageAutoOne = 1;
         a->settings.messageAutoBase = 0;
         m.voicePlaying = 1;
       },
       idle, 18, none},
      {"START with KEY_CEN_CTRL 2 hides, KEY_C shows, KEY_C ends",
       [](CGameApp* a, RecordingMixer&) { a->settings.centerKeyAction = 2; },
       {"S", "", "C", "C"},
       3,
       [](CGameApp* a, RecordingMixer&) { EXPECT_EQ(a->textWindow->hiddenByPlayer, 0u); }},
      {"KEY_A hides; the hidden window waits",
       none,
       {"A", "", "", ""},
       -1,
       [](CGameApp* a, RecordingMixer&) {
         EXPECT_EQ(a->textWindow->hiddenByPlayer, 1u);
         EXPECT_EQ(a->sprites[500]->visible, 0u);
       }},
      {"START with KEY_CEN_CTRL 0 does nothing",
       none,
       {"S", "S"},
       -1,
       [](CGameApp* a, RecordingMixer&) { EXPECT_EQ(a->textWindow->hiddenByPlayer, 0u); }},
      {"UP opens the backlog from the fourth frame",
       none,
       {"U", "U", "U", "U", "C"},
       -1,
       [](CGameApp* a, RecordingMixer&) {
         EXPECT_EQ(a->textWindow->backlogView, 1u);
         EXPECT_EQ(a->message.pageCursorShown, 0);
       }},
      {"START with KEY_CEN_CTRL 3 opens the backlog",
       [](CGameApp* a, RecordingMixer&) { a->settings.centerKeyAction = 3; },
       {"S"},
       -1,
       [](CGameApp* a, RecordingMixer&) { EXPECT_EQ(a->textWindow->backlogView, 1u); }},
      {"MES_LOG_START: KEY_A on the hidden window shows it and opens the backlog",
       [](CGameApp* a, RecordingMixer&) { a->settings.mesLogStart = 1; },
       {"A", "A", "U", "U", "U", "U"},
       -1,
       [](CGameApp* a, RecordingMixer&) {
         EXPECT_EQ(a->textWindow->hiddenByPlayer, 0u);
         EXPECT_EQ(a->textWindow->backlogView, 1u);
       }},
      {"MES_LOG_START keeps UP from opening the backlog",
       [](CGameApp* a, RecordingMixer&) { a->settings.mesLogStart = 1; },
       {"U", "U", "U", "U", "U"},
       -1,
       [](CGameApp* a, RecordingMixer&) { EXPECT_EQ(a->textWindow->backlogView, 0u); }},
      {"a tap missing every side button is left for the page", none, {"T 10 10"}, 0, none},
      {"a tap on a side button only highlights it",
       none,
       {"T 760 510"},
       -1,
       [](CGameApp* a, RecordingMixer&) {
         EXPECT_EQ(a->message.highlightedButton, 3);
         ASSERT_NE(a->sprites[510], nullptr);
         EXPECT_EQ(a->sprites[510]->srcTop, ScaleY(415 + 48));
         EXPECT_EQ(a->sprites[504]->srcTop, ScaleY(196));
         EXPECT_EQ(a->settings.skipRunning, 0);
       }},
      {"a second tap acts: skip on, and the skip then ends the page",
       none,
       {"T 760 510", "T 760 510", ""},
       2,
       [](CGameApp* a, RecordingMixer&) {
         EXPECT_EQ(a->settings.skipRunning, 1);
         EXPECT_EQ(a->message.highlightedButton, -1);
         EXPECT_EQ(a->sprites[510], nullptr);
         EXPECT_EQ(a->sprites[504]->srcTop, ScaleY(68));
       }},
      {"DOWN walks the highlight, KEY_C acts on it",
       none,
       {"D", "D", "C"},
       -1,
       [](CGameApp* a, RecordingMixer&) {
         // Button 1 opens the quick option menu; the page waits on.
         EXPECT_EQ(a->message.highlightedButton, -1);
       }},
      {"button 0 hides the window",
       none,
       {"T 725 428", "T 725 428", "C"},
       -1,
       [](CGameApp* a, RecordingMixer&) { EXPECT_EQ(a->textWindow->hiddenByPlayer, 0u); }},
  };
  for (const WaitCase& c : cases) {
    SCOPED_TRACE(c.name);
    NewApp();
    // One page already in the backlog, so that it can be opened; it is
    // block 1 of the script, which it leaves read.  The page under test is
    // block 2, unread until it ends.
    StrCopy(app->story.scriptName, "scene");
    app->story.readBlock = 1;
    Page("old");
    while (!Wait("C")) {
    }
    app->story.readBlock = 2;
    Page("ABCD");
    c.setup(app, mixer);
    mixer.calls.clear();
    int ended = -1;
    for (size_t f = 0; f < c.frames.size(); ++f) {
      if (f == 4) mixer.voicePlaying = 0;  // voices end on the fifth frame
      if (Wait(c.frames[f])) {
        ended = int(f);
        break;
      }
    }
    EXPECT_EQ(ended, c.endsAt);
    c.check(app, mixer);
  }
}

TEST_F(MessageTest, BacklogNavigationAndReplay) {
  const char* voices[] = {"VOICE\\vlm\\v1.ogg", "VOICE\\vlm\\v2.ogg", ""};
  for (const char* v : voices) {
    PlayVoice(app, v, 0);
    Page("page");
    while (!Wait("C")) {
    }
  }
  Page("now");
  for (int i = 0; i < 3; ++i) Wait("");
  Wait("U");
  CTextWindow* w = app->textWindow;
  ASSERT_EQ(w->backlogView, 1u);
  EXPECT_EQ(w->backlogPage, 0);
  // UP goes older and stops at the oldest page.
  for (int i = 0; i < 5; ++i) Wait("U");
  EXPECT_EQ(w->backlogPage, 2);
  mixer.calls.clear();
  Wait("T 300 500");  // inside the panel: the oldest page's voice, forced
  EXPECT_EQ(mixer.calls, std::vector<std::string>{"open 20 VOICE\\vlm\\v1.mp3"});
  Wait("D");
  mixer.calls.clear();
  Wait("C");
  EXPECT_EQ(mixer.calls, std::vector<std::string>{"open 20 VOICE\\vlm\\v2.mp3"});
  Wait("D");
  mixer.calls.clear();
  Wait("R");  // the newest page has no voice
  EXPECT_TRUE(mixer.calls.empty());
  // DOWN past the newest page leaves the backlog, the page cursor back.
  EXPECT_EQ(Wait("D"), 0);
  EXPECT_EQ(w->backlogView, 0u);
  EXPECT_EQ(w->backlogPage, -1);
  EXPECT_EQ(app->message.pageCursorShown, 1);
  // A tap outside the panel leaves too, and LEFT.
  Wait("U");
  ASSERT_EQ(w->backlogView, 1u);
  Wait("T 300 100");
  EXPECT_EQ(w->backlogView, 0u);
  Wait("U");
  Wait("L");
  EXPECT_EQ(w->backlogView, 0u);
  EXPECT_EQ(Wait("C"), 1);
}

TEST_F(MessageTest, TypingNamePlateAndLimits) {
  // Name plate: 8 bytes at 128 - 4 x 14 = 72 on the plate, in 0xF0FFD0.
  SetSpeakerName(app, "ABCDEFGH");
  ASSERT_GE(app->textWindow->count, 8);
  const TextCharRecord& first = app->textWindow->records[0];
  EXPECT_EQ(first.left, ScaleX(6) + ScaleX(72));
  EXPECT_EQ(first.top, ScaleY(380) + ScaleY(12));
  EXPECT_EQ(first.colour, 0xD0FFF0u);  // kept as 0x00BBGGRR
  EXPECT_STREQ(app->story.speakerName, "ABCDEFGH");
  // The message: decoded, "/" for a line feed, white, typed over frames.
  app->settings.messageSpeed = 5;  // 50 ms a character
  std::string stored = Stored("ab\ncd");
  EXPECT_EQ(Show(stored), 0);
  EXPECT_STREQ(app->message.text, "ab/cd");
  EXPECT_EQ(app->message.textStartTime, 1000u);
  int frames = 1;
  while (!Show(stored)) {
    VelmiClockAdvance(16);
    ++frames;
  }
  EXPECT_GE(frames, 200 / 16);
  EXPECT_EQ(app->textWindow->records[8].colour, 0xFFFFFFu);
  EXPECT_EQ(app->textWindow->count, 8 + 4);
  // A key press lays out the rest at once.
  while (!Wait("C")) {
  }
  EXPECT_EQ(app->story.speakerName[0], 0);
  std::string longText = Stored(std::string(400, 'x'));
  app->settings.messageSpeed = 0;
  Show(longText);
  EXPECT_EQ(std::strlen(app->message.text), 255u);
  // The renderer stops at its record table.
  while (!Show(longText)) {
  }
  EXPECT_LE(app->textWindow->count, kTextRecords);
  // Window transparency on the text panel: opaque while the switch is off,
  // else WINDOW_TRANS tenths of opaque, at most opaque.  The menu's switch
  // (40264) turns it over and applies the level at once.
  const struct {
    int transMode, windowTrans, level, afterSwitch;
  } levels[] = {{1, 5, 128, 256}, {1, 0, 0, 256}, {1, 10, 256, 256}, {1, 20, 256, 256},
                {0, 5, 256, 128}, {0, 0, 256, 0}, {0, 3, 256, 76}};
  for (const auto& c : levels) {
    app->settings.transMode = c.transMode;
    app->settings.windowTrans = c.windowTrans;
    app->UpdateMessageWindowAlpha();
    EXPECT_EQ(app->sprites[501]->level, c.level) << c.transMode << " " << c.windowTrans;
    HandleMenuCommand(app, nullptr, 40264, 0);
    EXPECT_EQ(app->settings.transMode, c.transMode ? 0 : 1);
    EXPECT_EQ(app->sprites[501]->level, c.afterSwitch) << c.transMode << " " << c.windowTrans;
  }
  // Re-showing a remembered message lays it out at once; 0 clears it.
  app->ReshowMessage(1, "NAME", "hello");
  EXPECT_EQ(app->textWindow->count, 4 + 5);
  app->ReshowMessage(0, "", "");
  EXPECT_EQ(app->textWindow->count, 0);
  app->ReleaseTextWindow();
  EXPECT_EQ(app->textWindow, nullptr);
  EXPECT_EQ(app->WaitTextPage(), 1);
}

// The name plate and the pages before do not count against the 24
// characters of a line: a full line stays one line when typed, on the next
// page, and when re-shown at once beside a choice (also by a fresh window,
// as after a load), at the places it was typed.
TEST_F(MessageTest, EveryTextStartsItsOwnLines) {
  const std::string line(24, 'x');
  auto lefts = [&](int from) {
    std::vector<int> l;
    for (int i = from; i < app->textWindow->count; ++i) l.push_back(app->textWindow->records[i].left);
    return l;
  };
  auto lines = [&](int from) {
    std::set<int> tops;
    for (int i = from; i < app->textWindow->count; ++i) tops.insert(app->textWindow->records[i].top);
    return tops.size();
  };
  std::vector<int> typed;
  for (int page = 0; page < 2; ++page) {
    SetSpeakerName(app, "NAME");
    ASSERT_EQ(app->textWindow->count, 4);
    Page(line);
    ASSERT_EQ(app->textWindow->count, 4 + 24);
    EXPECT_EQ(lines(4), 1u) << "page " << page;
    typed = lefts(4);
    while (!Wait("C")) {
    }
  }
  for (int fresh = 0; fresh < 2; ++fresh) {
    if (fresh) {
      app->ReleaseTextWindow();
      app->BuildMessageWindow();
      app->ShowMessageWindow(1);
    }
    app->ReshowMessage(1, "NAME", line.c_str());
    ASSERT_EQ(app->textWindow->count, 4 + 24);
    EXPECT_EQ(lines(0), 2u) << "fresh " << fresh;  // the name plate's line and the text's
    EXPECT_EQ(lefts(4), typed) << "fresh " << fresh;
  }
}

}  // namespace
