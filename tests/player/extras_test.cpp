// The title's extras and the endings driven frame by frame on the fake
// clock: music mode, interviews, the ending roll and the ending slides.
#include <gtest/gtest.h>

#include <velmi_device.h>
#include <velmi_platform.h>
#include <velmi_wave.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "player/app/game_app.h"
#include "player/core/display.h"
#include "player/app/startup.h"
#include "player/core/ini_store.h"
#include "player/core/settings.h"
#include "player/core/sprite.h"
#include "player/media/sound_mixer.h"
#include "player/scenario/story.h"
#include "player/scenario/story_tables.h"
#include "player/screens/screen_common.h"
#include "formats/le_bytes.h"
#include "tests/mixer/mixer_fixtures.h"
#include "tests/player/game_frame_fixture.h"
#include "tests/player/rbp_builder.h"
#include "tests/story/assemble.h"
#include "tests/story/story_support.h"

namespace {

class ExtrasTest : public GameFrameTest {
 protected:
  // Keys of one frame each: u up, d down, c KEY_C, r RIGHT, a KEY_A.
  void Keys(const char* keys) {
    for (const char* k = keys; *k; ++k) {
      switch (*k) {
        case 'u':
          Press(IN_UP);
          break;
        case 'd':
          Press(IN_DOWN);
          break;
        case 'c':
          Press(IN_KEY_C);
          break;
        case 'r':
          Press(IN_RIGHT);
          break;
        case 'a':
          Press(IN_KEY_A);
          break;
        default:
          break;
      }
      Frame();
    }
  }
  // The fake wave device behind the application's mixer, its output
  // captured to path; the mixer's buffer size.
  DWORD StartCapture(const std::string& path) {
    VelmiWaveUseFake(true);
    VelmiWaveCaptureTo(path.c_str());
    EXPECT_EQ(app->mixer->OpenOutput(44100), 44100u);
    return app->mixer->BufferSize();
  }
  // Closes the output; the samples the device played.
  std::vector<int16_t> EndCapture(const std::string& path, DWORD bufferSize) {
    app->mixer->CloseOutput();
    VelmiWaveCaptureTo(nullptr);
    VelmiWaveUseFake(false);
    const mixertest::Bytes played = mixertest::ReadBytes(path);
    EXPECT_EQ(played.size() % bufferSize, 0u);
    std::vector<int16_t> samples(played.size() / 2);
    std::memcpy(samples.data(), played.data(), samples.size() * 2);
    return samples;
  }
  static int Peak(const std::vector<int16_t>& samples, size_t from, size_t to) {
    int p = 0;
    for (size_t i = from; i < to && i < samples.size(); ++i) p = std::max(p, std::abs(int(samples[i])));
    return p;
  }
  // Presses the keys one frame each; the word after each, space-separated.
  std::string KeyTrail(const char* keys, const int32_t& word) {
    std::string seen;
    for (const char* k = keys; *k; ++k) {
      const char key[2] = {*k, 0};
      Keys(key);
      seen += std::to_string(word) + " ";
    }
    return seen;
  }
  // KEY_A opened the quick option screen over the story screen; its own
  // KEY_A closes it again on the screen's mode and phase.
  void ExpectQuickOptionBackTo(int mode, int phase) {
    EXPECT_EQ(app->gameMode, MODE_QUICK_OPTION);
    EXPECT_EQ(app->quickOption.returnMode, mode);
    EXPECT_EQ(app->quickOption.returnPhase, phase);
    Keys("a");
    EXPECT_EQ(app->gameMode, mode);
    EXPECT_EQ(app->phase, phase);
  }
  void Enter(int mode) {
    app->gameMode = mode;
    app->phase = 0;
    Frame();
    ASSERT_EQ(app->phase, 1);
  }
};

// ---- Music mode

TEST_F(ExtrasTest, MusicModeEntryResetsAndForgetsTheStoryTrack) {
  app->sound.currentTrack = 7;
  app->sound.trackMode = 1;
  app->musicMode = {12, 9, 1, 3};
  Enter(MODE_MUSIC);
  EXPECT_EQ(app->gameMode, MODE_MUSIC);
  EXPECT_EQ(app->musicMode.selected, 0);
  EXPECT_EQ(app->musicMode.scroll, 0);
  EXPECT_EQ(app->musicMode.repeat, 0);
  EXPECT_EQ(app->musicMode.cursor, kCursorNone);
  EXPECT_EQ(app->sound.currentTrack, -1);
  EXPECT_EQ(app->sound.trackMode, 0);
}

TEST_F(ExtrasTest, MusicModeKeysWrapOverTwentyThreeItems) {
  struct Case {
    const char* keys;
    int cursor;
  } cases[] = {
      {"u", 22},          {"d", 0}, {"du", 22}, {"dd", 1}, {"uu", 21}, {"ud", 0},  // 22 + 1 wraps to 0
      {"a", kCursorNone},                                                          // KEY_A does nothing
  };
  for (const Case& c : cases) {
    Enter(MODE_MUSIC);
    Keys(c.keys);
    EXPECT_EQ(app->musicMode.cursor, c.cursor) << c.keys;
    EXPECT_EQ(app->gameMode, MODE_MUSIC) << c.keys;
  }
  // Twenty-three downs come back to the first item.
  Enter(MODE_MUSIC);
  for (int i = 0; i < 24; ++i) Keys("d");
  EXPECT_EQ(app->musicMode.cursor, 0);
}

// Moves the highlight to item with DOWN presses from nothing highlighted.
void HighlightMusicItem(ExtrasTest* t, CGameApp* app, int item) {
  (void)t;
  for (int i = 0; i <= item; ++i) {
    app->input.count[IN_DOWN] = 1;
    VelmiClockAdvance(16);
    app->DispatchMode();
  }
  ASSERT_EQ(app->musicMode.cursor, item);
}

TEST_F(ExtrasTest, MusicModeChoicesActOnTheHighlightedItem) {
  struct Case {
    const char* name;
    int item;
    const char* keys;  // after the highlight; c and r choose
    int selected, scroll, repeat, cursor, phase;
  } cases[] = {
      {"row 0", 0, "c", 1, 0, 0, 0, 1},
      {"row 5", 5, "r", 6, 0, 0, 5, 1},
      {"row 15", 15, "c", 16, 0, 0, 15, 1},
      {"play with nothing selected plays track 1", 16, "c", 1, 0, 0, 16, 1},
      {"stop with nothing selected", 17, "c", 0, 0, 0, 17, 1},
      {"repeat on", 18, "c", 0, 0, 1, 18, 1},
      {"repeat on and off", 18, "cc", 0, 0, 0, 18, 1},
      {"no action", 19, "cccc", 0, 0, 0, 19, 1},
      {"scroll up at the top", 20, "c", 0, 0, 0, 20, 1},
      {"the arrow stays highlighted", 21, "ccc", 0, 3, 0, 21, 1},
      {"scroll stops at 15", 21, "cccccccccccccccccccc", 0, 15, 0, 21, 1},
      {"back", 22, "c", 0, 0, 0, 22, 50},
  };
  for (const Case& c : cases) {
    Enter(MODE_MUSIC);
    HighlightMusicItem(this, app, c.item);
    Keys(c.keys);
    const MusicModeState& m = app->musicMode;
    EXPECT_EQ(m.selected, c.selected) << c.name;
    EXPECT_EQ(m.scroll, c.scroll) << c.name;
    EXPECT_EQ(m.repeat, c.repeat) << c.name;
    EXPECT_EQ(m.cursor, c.cursor) << c.name;
    EXPECT_EQ(app->phase, c.phase) << c.name;
  }
}

TEST_F(ExtrasTest, MusicModeRowsFollowTheScroll) {
  // Scrolled down three lines, row 4 is track 2 x 3 + 4 + 1; at the bottom
  // the last line holds tracks 45 and 46.
  struct Case {
    int downs, row, track;
  } cases[] = {{3, 4, 11}, {20, 14, 45}, {20, 15, 46}, {0, 15, 16}};
  for (const Case& c : cases) {
    Enter(MODE_MUSIC);
    HighlightMusicItem(this, app, 21);
    for (int i = 0; i < c.downs; ++i) Keys("c");
    // From the down arrow (21) to the row: 23 - 21 + row downs.
    for (int i = 0; i < 2 + c.row; ++i) Keys("d");
    ASSERT_EQ(app->musicMode.cursor, c.row);
    Keys("c");
    EXPECT_EQ(app->musicMode.selected, c.track) << c.downs << " " << c.row;
  }
}

TEST_F(ExtrasTest, MusicModeStopAndMovingAndChoosingInOneFrame) {
  Enter(MODE_MUSIC);
  HighlightMusicItem(this, app, 3);
  Keys("c");
  ASSERT_EQ(app->musicMode.selected, 4);
  // A move and a choice in one frame: the move only.
  Press(IN_DOWN);
  Press(IN_KEY_C);
  Frame();
  EXPECT_EQ(app->musicMode.cursor, 4);
  EXPECT_EQ(app->musicMode.selected, 4);
  EXPECT_EQ(app->input.count[IN_KEY_C], 0u);
  // Stop clears the selection and forgets the track.
  app->sound.currentTrack = 4;
  for (int i = 0; i < 13; ++i) Keys("d");
  ASSERT_EQ(app->musicMode.cursor, 17);
  Keys("c");
  EXPECT_EQ(app->musicMode.selected, 0);
  EXPECT_EQ(app->sound.currentTrack, -1);
}

TEST_F(ExtrasTest, MusicModeForgetsATrackPlayedOnceWhenItHasEnded) {
  // Repeat off and channel 0 silent: the track has ended, so the same track
  // chosen again is a new request.  With repeat on the track loops and stays.
  for (int repeat : {0, 1}) {
    Enter(MODE_MUSIC);
    app->musicMode.repeat = repeat;
    app->sound.currentTrack = 9;
    app->sound.trackMode = repeat;
    Frame();
    EXPECT_EQ(app->sound.currentTrack, repeat ? 9 : -1) << repeat;
  }
}

TEST_F(ExtrasTest, MusicModeBackReturnsToTheTitleRebuild) {
  Enter(MODE_MUSIC);
  Keys("uc");
  EXPECT_EQ(app->phase, 50);
  Frame(0);
  EXPECT_EQ(app->gameMode, MODE_TITLE);
  EXPECT_EQ(app->phase, 90);
}

// A track played once through the music folder to the captured device
// output; when it has ended, choosing it again plays it again.
TEST_F(ExtrasTest, MusicModeTrackPlaysToTheDeviceAndAgainAfterItsEnd) {
  mixertest::LoadOverlays();
  const std::string folder = mixertest::TempFolder("music-capture");
  mixertest::WriteBytes(folder + "/001.mp3", mixertest::EncodeMp3(mixertest::Tone(440, 22050, 1, 0.5), 22050, 1));
  std::snprintf(app->musicPath, sizeof app->musicPath, "%s\\", mixertest::WinPath(folder).c_str());
  app->settings.musicPlay = 1;
  app->settings.musicVolume = 100;
  app->settings.masterVolume = 100;
  const std::string capture = folder + "/capture.raw";
  const DWORD n = StartCapture(capture);
  Enter(MODE_MUSIC);
  // Plays the buffers until the music channel has ended; the number played.
  auto playOut = [&]() {
    int buffers = 0;
    while (buffers < 100 && app->mixer->GetChannelState(kSoundChannelMusic) == CHANNEL_PLAYING) {
      VelmiClockAdvance(116);
      EXPECT_EQ(VelmiWaveFakeReturn(1), 1);
      ++buffers;
    }
    return buffers;
  };
  Keys("dc");  // row 0: track 1, once
  ASSERT_EQ(app->sound.currentTrack, 1);
  ASSERT_EQ(app->mixer->GetChannelState(kSoundChannelMusic), CHANNEL_PLAYING);
  const int first = playOut();
  EXPECT_GT(first, 1);
  EXPECT_LT(first, 100);
  Frame();
  EXPECT_EQ(app->sound.currentTrack, -1);  // ended: forgotten
  const size_t afterFirst = mixertest::ReadBytes(capture).size();
  Keys("c");  // the same row again
  EXPECT_EQ(app->sound.currentTrack, 1);
  EXPECT_EQ(app->mixer->GetChannelState(kSoundChannelMusic), CHANNEL_PLAYING);
  EXPECT_EQ(playOut(), first);
  VelmiWaveFakeReturn(3);
  const std::vector<int16_t> samples = EndCapture(capture, n);
  // Sound in both plays: before and after the second choice.
  EXPECT_GT(Peak(samples, 0, afterFirst / 2), 2000);
  EXPECT_GT(Peak(samples, afterFirst / 2, samples.size()), 2000);
}

// ---- Interviews

const char* const kInterviewVoices[10] = {"velmi",  "dova",  "berisa", "lupa",  "olwe",
                                          "fenira", "wenra", "ruwa",   "kalva", "hestri"};

class InterviewTest : public ExtrasTest {
 protected:
  void SetUp() override {
    ExtrasTest::SetUp();
    mixertest::LoadOverlays();
    const mixertest::Bytes voice = mixertest::EncodeMp3(mixertest::Tone(440, 22050, 1, 0.3), 22050, 1);
    std::vector<std::pair<std::string, mixertest::Bytes>> entries;
    for (const char* v : kInterviewVoices) entries.push_back({std::string("VOICE\\interview\\") + v + ".mp3", voice});
    const std::string folder = mixertest::TempFolder("interviews");
    ASSERT_TRUE(WritePack(folder + "/voice.mlz", entries, false));
    std::strcpy(app->voicePackPath, mixertest::WinPath(folder + "/voice.mlz").c_str());
    app->settings.voiceVolume = 80;
    app->settings.masterVolume = 50;
  }
  // The name on the voice channel; empty when it holds nothing.
  std::string VoiceChannel() {
    SoundChannel* c = app->mixer->GetChannel(kSoundChannelVoice);
    return c ? c->name : "";
  }
};

TEST_F(InterviewTest, KeysSkipTheMissingButtonsOfTheSecondPage) {
  struct Case {
    int page;
    const char* keys;
    const char* cursors;
  } cases[] = {
      {0, "dddddddd", "0 1 2 3 4 5 6 7 "},
      {0, "ddddddddd", "0 1 2 3 4 5 6 7 0 "},
      {0, "uu", "7 6 "},
      {0, "du", "0 7 "},
      {1, "dddddd", "0 1 2 3 6 7 "},
      {1, "uuuu", "7 6 3 2 "},
      {1, "ddddddd", "0 1 2 3 6 7 0 "},
      {0, "a", "100 "},
  };
  for (const Case& c : cases) {
    Enter(MODE_INTERVIEW);
    if (c.page == 1) {
      Keys("uuc");
      ASSERT_EQ(app->interview.page, 1);
      ASSERT_EQ(app->interview.cursor, kCursorNone);
    }
    EXPECT_EQ(KeyTrail(c.keys, app->interview.cursor), c.cursors) << "page " << c.page << " " << c.keys;
  }
}

TEST_F(InterviewTest, EachButtonPlaysItsVoiceOnTheVoiceChannel) {
  for (int number = 1; number <= 10; ++number) {
    Enter(MODE_INTERVIEW);
    const int page = (number - 1) / 6, button = (number - 1) % 6;
    if (page == 1) Keys("uuc");
    for (int i = 0; i <= button; ++i) Keys("d");
    Keys("c");
    const std::string want = std::string("VOICE\\interview\\") + kInterviewVoices[number - 1] + ".mp3";
    EXPECT_EQ(app->interview.playing, number);
    EXPECT_EQ(app->interview.cursor, kCursorNone) << number;
    EXPECT_EQ(VoiceChannel(), want);
    ASSERT_EQ(app->mixer->GetChannelState(kSoundChannelVoice), CHANNEL_PLAYING) << number;
    EXPECT_EQ(app->mixer->GetChannel(kSoundChannelVoice)->volume, 40);  // 80 x 50 / 100
    EXPECT_EQ(app->mixer->GetChannel(kSoundChannelVoice)->loop, 0);
  }
}

TEST_F(InterviewTest, AnotherVoiceReplacesThePlayingOneAndPageChangeAndBackStopIt) {
  Enter(MODE_INTERVIEW);
  Keys("dc");
  ASSERT_EQ(VoiceChannel(), "VOICE\\interview\\velmi.mp3");
  // Cursor none after the choice: three downs reach button 2.
  Keys("dddc");
  EXPECT_EQ(app->interview.playing, 3);
  EXPECT_EQ(VoiceChannel(), "VOICE\\interview\\berisa.mp3");
  // The page switch stops the voice and shows the page without a voice.
  Keys("uuc");
  EXPECT_EQ(app->interview.page, 1);
  EXPECT_EQ(app->interview.playing, 0);
  EXPECT_EQ(app->mixer->GetChannel(kSoundChannelVoice), nullptr);
  Keys("dc");
  EXPECT_EQ(app->interview.playing, 7);
  EXPECT_EQ(VoiceChannel(), "VOICE\\interview\\wenra.mp3");
  // Back stops it and returns to the title's rebuild.
  Keys("uc");
  EXPECT_EQ(app->phase, 50);
  EXPECT_EQ(app->mixer->GetChannel(kSoundChannelVoice), nullptr);
  Frame();
  EXPECT_EQ(app->gameMode, MODE_TITLE);
  EXPECT_EQ(app->phase, 90);
}

TEST_F(InterviewTest, OnlyTheTenNumbersPlay) {
  for (int number : {0, -1, 11, 1000}) {
    app->PlayInterviewVoice(1);
    ASSERT_NE(app->mixer->GetChannel(kSoundChannelVoice), nullptr);
    app->PlayInterviewVoice(number);
    EXPECT_EQ(app->mixer->GetChannel(kSoundChannelVoice), nullptr) << number;
  }
}

// The interview voice as the device plays it: captured output of the fake
// wave device, sound from the fourth buffer on, silence after a page change.
TEST_F(InterviewTest, VoiceReachesTheDeviceAndStopsOnPageChange) {
  // A voice of three seconds, longer than the buffers played here.
  const std::string folder = mixertest::TempFolder("interview-capture");
  const mixertest::Bytes voice = mixertest::EncodeMp3(mixertest::Tone(440, 22050, 1, 3.0), 22050, 1);
  ASSERT_TRUE(WritePack(folder + "/voice.mlz", {{"VOICE\\interview\\lupa.mp3", voice}}, false));
  std::strcpy(app->voicePackPath, mixertest::WinPath(folder + "/voice.mlz").c_str());
  const std::string capture = folder + "/capture.raw";
  const DWORD n = StartCapture(capture);
  Enter(MODE_INTERVIEW);
  Keys("ddddc");  // interview 4
  ASSERT_EQ(app->mixer->GetChannelState(kSoundChannelVoice), CHANNEL_PLAYING);
  for (int i = 0; i < 4; ++i) {
    VelmiClockAdvance(116);
    ASSERT_EQ(VelmiWaveFakeReturn(1), 1);
  }
  const size_t playedBeforeStop = mixertest::ReadBytes(capture).size();
  Keys("uuc");  // page switch
  EXPECT_EQ(app->interview.page, 1);
  EXPECT_EQ(app->mixer->GetChannel(kSoundChannelVoice), nullptr);
  for (int i = 0; i < 6; ++i) {
    VelmiClockAdvance(116);
    ASSERT_EQ(VelmiWaveFakeReturn(1), 1);
  }
  const std::vector<int16_t> samples = EndCapture(capture, n);
  size_t first = samples.size(), last = 0;
  for (size_t i = 0; i < samples.size(); ++i) {
    if (samples[i] == 0) continue;
    first = std::min(first, i);
    last = i;
  }
  ASSERT_LT(first, samples.size()) << "silent";
  EXPECT_EQ(first / (n / 2), 3u) << "sound after the three buffers queued at the start";
  // 40 % of a 0.4 tone at voice 80 x master 50: a clear level.
  EXPECT_GT(Peak(samples, 0, samples.size()), 1000);
  // Nothing after the buffers that were refilled before the page change
  // (and the three then queued).
  EXPECT_LE(last * 2, playedBeforeStop + 3 * size_t(n));
}

// ---- Endings

class EndingTest : public ExtrasTest {
 protected:
  void SetUp() override {
    ExtrasTest::SetUp();
    app->gameMode = MODE_STORY;
    std::memset(g_ScriptVariables, 0, sizeof g_ScriptVariables);
  }
  // One call as the interpreter makes it: its frame counter is 0 on the
  // instruction's first frame.
  int Call(bool roll, int selector) {
    const int done = roll ? app->RunEndingRoll(selector) : app->RunEndingSlides(selector);
    ++app->story.frameCounter;
    return done;
  }
  void Start() { app->story.frameCounter = 0; }
  // Calls every period ms from the first; the time of the call that
  // returned 1, or -1 when none did within limit ms.
  long RunUntilDone(bool roll, int selector, DWORD period, DWORD limit) {
    Start();
    for (DWORD t = 0; t <= limit; t += period) {
      if (t) VelmiClockAdvance(period);
      if (Call(roll, selector)) return long(t);
    }
    return -1;
  }
  static long FirstCallAtOrAfter(long ms, long period) { return (ms + period - 1) / period * period; }
};

TEST_F(EndingTest, RollCountsPicturesByTheClock) {
  // Scroll = elapsed x 10800 / 280000 design pixels; a picture is counted
  // when it has left the screen.  Past 198 s the product needs 64 bits.
  struct Step {
    DWORD at;
    int count;
    int done;
  } steps[] = {
      {0, 0, 0},       {10000, 0, 0},   {20000, 1, 0},   {100000, 6, 0},  {250000, 16, 0},
      {279984, 17, 0}, {281000, 17, 0}, {282500, 17, 0}, {282992, 17, 0}, {283008, 17, 1},
  };
  Start();
  DWORD t = 0;
  int done = 0;
  for (const Step& s : steps) {
    while (t < s.at) {
      VelmiClockAdvance(16);
      t += 16;
      done = Call(true, 0);
      if (done) break;
    }
    if (s.at == 0) done = Call(true, 0);
    EXPECT_EQ(app->ending.rollCount, s.count) << s.at;
    EXPECT_EQ(app->ending.rollUpper, s.count % 2) << s.at;
    EXPECT_EQ(done, s.done) << s.at;
  }
}

TEST_F(EndingTest, RollEndsAtTheSameTimeAtAnyFrameRate) {
  for (int variant : {0, 1})
    for (DWORD period : {16u, 250u, 1000u, 7000u}) {
      EXPECT_EQ(RunUntilDone(true, variant, period, 400000), FirstCallAtOrAfter(283000, period))
          << variant << " every " << period;
      EXPECT_EQ(app->ending.rollCount, 17) << period;
    }
}

TEST_F(EndingTest, SlidesHoldForTheirVariablesAndSkipTheLastHold) {
  // Set 3 has 18 slides; each slide cross-fades in for 1 s, then holds for
  // variable 1585 + its number (seconds).
  struct Case {
    const char* name;
    std::vector<std::pair<int, int>> holds;  // slide, seconds
    long end;
  } cases[] = {
      {"no holds", {}, 18000},
      {"two seconds after the first", {{1, 2}}, 20000},
      {"a negative hold counts as 0", {{1, -5}, {4, -32768}}, 18000},
      {"the last hold is not waited", {{18, 30}}, 18000},
      {"one second after each",
       {{1, 1},
        {2, 1},
        {3, 1},
        {4, 1},
        {5, 1},
        {6, 1},
        {7, 1},
        {8, 1},
        {9, 1},
        {10, 1},
        {11, 1},
        {12, 1},
        {13, 1},
        {14, 1},
        {15, 1},
        {16, 1},
        {17, 1}},
       35000},
  };
  for (const Case& c : cases)
    for (DWORD period : {16u, 250u}) {
      std::memset(g_ScriptVariables, 0, sizeof g_ScriptVariables);
      for (const auto& h : c.holds) g_ScriptVariables[1585 + h.first] = int16_t(h.second);
      EXPECT_EQ(RunUntilDone(false, 3, period, 100000), FirstCallAtOrAfter(c.end, period)) << c.name;
      EXPECT_EQ(app->ending.slideCount, 18) << c.name;
      EXPECT_EQ(app->ending.slideStep, 0) << c.name;
    }
}

TEST_F(EndingTest, SlideCountsOfTheSets) {
  const int slides[6] = {24, 24, 19, 18, 18, 19};
  for (int set = 0; set < 6; ++set) {
    EXPECT_EQ(RunUntilDone(false, set, 16, 100000), FirstCallAtOrAfter(slides[set] * 1000, 16)) << set;
    EXPECT_EQ(app->ending.slideCount, slides[set]) << set;
  }
}

TEST_F(EndingTest, SelectorsOutsideTheSetsEndAtOnce) {
  struct Case {
    bool roll;
    int selector;
  } cases[] = {{true, 2}, {true, -1}, {true, 255}, {false, 6}, {false, -1}, {false, 200}};
  for (const Case& c : cases) {
    app->ending = {};
    Start();
    EXPECT_EQ(Call(c.roll, c.selector), 1) << c.roll << " " << c.selector;
    EXPECT_EQ(app->ending.rollCount + app->ending.slideCount, 0);
  }
}

TEST_F(EndingTest, SkipInputsEndBothAtOnceAndStopTheMusic) {
  struct Case {
    const char* name;
    uint32_t tap, keyC, right, left;
    int skipRunning;
    bool skips;
  } cases[] = {
      {"tap", 1, 0, 0, 0, 0, true},           {"KEY_C pressed", 0, 1, 0, 0, 0, true},
      {"RIGHT pressed", 0, 0, 1, 0, 0, true}, {"LEFT pressed", 0, 0, 0, 1, 0, true},
      {"LEFT held", 0, 0, 0, 40, 0, true},    {"skip mode", 0, 0, 0, 0, 1, true},
      {"KEY_C held", 0, 3, 0, 0, 0, false},   {"RIGHT held", 0, 0, 9, 0, 0, false},
      {"nothing", 0, 0, 0, 0, 0, false},
  };
  // At the first call, during the roll's scroll and its final hold, during
  // a slide's cross-fade and during a slide's hold.
  struct When {
    bool roll;
    DWORD at;
  } whens[] = {{true, 0}, {true, 50000}, {true, 281000}, {false, 0}, {false, 500}, {false, 1500}};
  for (const When& w : whens)
    for (const Case& c : cases) {
      g_ScriptVariables[1586] = 3;
      app->sound.currentTrack = 12;
      app->sound.trackMode = 1;
      app->input = {};
      Start();
      Call(w.roll, w.roll ? 0 : 2);
      DWORD t = 0;
      while (t < w.at) {
        VelmiClockAdvance(500);
        t += 500;
        ASSERT_EQ(Call(w.roll, w.roll ? 0 : 2), 0);
      }
      VelmiClockAdvance(16);
      app->input.tap = c.tap;
      app->input.count[IN_KEY_C] = c.keyC;
      app->input.count[IN_RIGHT] = c.right;
      app->input.count[IN_LEFT] = c.left;
      app->settings.skipRunning = c.skipRunning;
      const std::string where = std::string(w.roll ? "roll at " : "slides at ") + std::to_string(w.at) + ": " + c.name;
      EXPECT_EQ(Call(w.roll, w.roll ? 0 : 2), c.skips ? 1 : 0) << where;
      EXPECT_EQ(app->sound.currentTrack, c.skips ? -1 : 12) << where;
      EXPECT_EQ(app->sound.trackMode, c.skips ? 0 : 1) << where;
      // Taps and fresh presses are used up; held keys stay.
      EXPECT_EQ(app->input.tap, 0u) << where;
      EXPECT_EQ(app->input.count[IN_KEY_C], c.keyC == 1 ? 0u : c.keyC) << where;
      EXPECT_EQ(app->input.count[IN_RIGHT], c.right == 1 ? 0u : c.right) << where;
      app->settings.skipRunning = 0;
    }
}

// ---- Map and alarm

class MapTest : public ExtrasTest {
 protected:
  void SetUp() override {
    ExtrasTest::SetUp();
    std::memset(g_ScriptVariables, 0, sizeof g_ScriptVariables);
    app->settings.mapAnimeUse = 1;
  }
  void EnterMap() {
    app->gameMode = MODE_MAP;
    app->phase = 0;
    Frame();
    ASSERT_EQ(app->phase, 2);
  }
  void PlaceHeroine(int h, int place) {
    g_ScriptVariables[1280 + h] = 1;
    g_ScriptVariables[1290 + h] = int16_t(place);
  }
};

TEST_F(MapTest, MapKindAndHeroinesFromTheScriptVariables) {
  struct Case {
    const char* name;
    int v1300, v1301;
    std::vector<std::pair<int, int>> heroines;  // heroine, place number
    int kind;
    int at[6];  // heroine at each destination, 99 none
  } cases[] = {
      {"school, empty", 0, 0, {}, 0, {99, 99, 99, 99, 99, 99}},
      {"island by the result", 2, 0, {}, 1, {99, 99, 99, 99, 99, 99}},
      {"island by the map word", 0, 1, {}, 1, {99, 99, 99, 99, 99, 99}},
      // The school has no place 4: places 5 and 6 are destinations 4 and 5,
      // and place 4 falls to destination 3.
      {"school places", 0, 0, {{0, 0}, {1, 3}, {2, 5}, {3, 6}}, 0, {0, 99, 99, 1, 2, 3}},
      {"school place 4", 0, 0, {{4, 4}}, 0, {99, 99, 99, 4, 99, 99}},
      {"island places", 0, 1, {{0, 4}, {5, 5}, {2, 1}}, 1, {99, 2, 99, 99, 0, 5}},
      {"the last heroine on a destination stays", 0, 1, {{1, 2}, {3, 2}}, 1, {99, 99, 3, 99, 99, 99}},
      // Places the map does not have leave the heroine off it.
      {"places off the map", 0, 0, {{0, 7}, {1, -1}, {2, 300}, {3, -32768}, {4, 2}}, 0, {99, 99, 4, 99, 99, 99}},
      {"island place 6", 0, 1, {{5, 6}, {1, 0}}, 1, {1, 99, 99, 99, 99, 99}},
  };
  for (const Case& c : cases) {
    std::memset(g_ScriptVariables, 0, sizeof g_ScriptVariables);
    g_ScriptVariables[1300] = int16_t(c.v1300);
    g_ScriptVariables[1301] = int16_t(c.v1301);
    for (const auto& h : c.heroines) PlaceHeroine(h.first, h.second);
    EnterMap();
    EXPECT_EQ(app->map.kind, c.kind) << c.name;
    for (int d = 0; d < 6; ++d) EXPECT_EQ(app->map.heroineAt[d], c.at[d]) << c.name << " destination " << d;
    EXPECT_EQ(app->map.highlight, kCursorNone) << c.name;
  }
}

TEST_F(MapTest, ChoiceStoresThePlaceNumberAfterTheFade) {
  struct Case {
    int island;
    const char* keys;  // moves from nothing highlighted
    int destination, place;
  } cases[] = {
      {0, "d", 0, 0},     {0, "u", 5, 6}, {0, "dddd", 3, 3},    {0, "ddddd", 4, 5},
      {1, "ddddd", 4, 4}, {1, "u", 5, 5}, {1, "ddddddd", 0, 0}, {1, "uu", 4, 4},
  };
  for (const Case& c : cases) {
    std::memset(g_ScriptVariables, 0, sizeof g_ScriptVariables);
    g_ScriptVariables[1301] = int16_t(c.island);
    g_ScriptVariables[1300] = 77;
    if (!c.island) g_ScriptVariables[1300] = 0;
    EnterMap();
    Keys(c.keys);
    ASSERT_EQ(app->map.highlight, c.destination) << c.keys;
    Keys("c");
    ASSERT_EQ(app->phase, 3);
    EXPECT_EQ(app->map.chosenPlace, c.place);
    // Input is ignored during the 1,000 ms fade.
    for (int i = 0; i < 9; ++i) {
      Press(IN_DOWN);
      Press(IN_KEY_A);
      Frame(100);
      ASSERT_EQ(app->phase, 3) << i;
    }
    EXPECT_EQ(app->map.highlight, c.destination);
    EXPECT_EQ(app->input.count[IN_KEY_A], 1u);
    app->input = {};
    EXPECT_EQ(g_ScriptVariables[1300], c.island ? 77 : 0);
    Frame(100);
    EXPECT_EQ(app->phase, 4);
    Frame();
    EXPECT_EQ(g_ScriptVariables[1300], c.place) << c.keys;
    EXPECT_EQ(app->gameMode, MODE_STORY);
    EXPECT_EQ(app->phase, 0);
  }
}

TEST_F(MapTest, KeysWrapAndAChoiceActsOnlyOnTheHighlight) {
  EnterMap();
  EXPECT_EQ(KeyTrail("uuddddddd", app->map.highlight), "5 4 5 0 1 2 3 4 5 ");
  // Moving and choosing in one frame moves only.
  Press(IN_DOWN);
  Press(IN_RIGHT);
  Frame();
  EXPECT_EQ(app->map.highlight, 0);
  EXPECT_EQ(app->phase, 2);
  // KEY_A opens the quick option screen: the handler answers 0 and the key
  // is used up.
  Press(IN_KEY_A);
  EXPECT_EQ(app->RunMapMove(), 0);
  EXPECT_EQ(app->input.count[IN_KEY_A], 0u);
  ExpectQuickOptionBackTo(MODE_MAP, 2);
}

TEST_F(MapTest, FiguresAnimateFromTheClockTable) {
  // Heroine 1 holds frames 0-13 for 500 ms, 14 and 15 for 300, 16 for 1000.
  PlaceHeroine(1, 2);
  PlaceHeroine(4, 0);
  EnterMap();
  struct Step {
    DWORD advance;
    int frame1, frame4;
  } steps[] = {
      {499, 0, 0}, {1, 1, 1}, {500, 2, 2}, {6000, 3, 3},  // one step a call however late
  };
  for (const Step& s : steps) {
    Frame(s.advance);
    EXPECT_EQ(app->map.frame[1], s.frame1) << s.advance;
    EXPECT_EQ(app->map.frame[4], s.frame4) << s.advance;
  }
  // Run on to frame 14 of heroine 1, then the short frames.
  while (app->map.frame[1] != 14) Frame(500);
  Frame(299);
  EXPECT_EQ(app->map.frame[1], 14);
  Frame(1);
  EXPECT_EQ(app->map.frame[1], 15);
  Frame(300);
  EXPECT_EQ(app->map.frame[1], 16);
  Frame(999);
  EXPECT_EQ(app->map.frame[1], 16);
  Frame(1);
  EXPECT_EQ(app->map.frame[1], 17);
  Frame(300);
  Frame(300);
  EXPECT_EQ(app->map.frame[1], 0);  // 19 frames wrap

  // With the figures off nothing animates.
  app->settings.mapAnimeUse = 0;
  EnterMap();
  Frame(5000);
  EXPECT_EQ(app->map.frame[1], 0);
  EXPECT_EQ(app->map.animeUse, 0);
}

TEST_F(MapTest, AlarmButtonsAndReturnToTheStory) {
  g_ScriptVariables[2073] = 9;
  app->BuildAlarmScreen();
  EXPECT_EQ(g_ScriptVariables[2073], 0);
  app->gameMode = MODE_ALARM;
  app->phase = 0;
  Frame();
  EXPECT_EQ(app->phase, 1);
  EXPECT_EQ(app->alarm.cursor, kCursorNone);
  EXPECT_EQ(KeyTrail("uuudddd", app->alarm.cursor), "2 1 0 1 2 0 1 ");
  Press(IN_KEY_A);
  EXPECT_EQ(app->RunAlarmChoice(), 0);
  EXPECT_EQ(app->input.count[IN_KEY_A], 0u);
  ExpectQuickOptionBackTo(MODE_ALARM, 1);
  Keys("c");
  EXPECT_EQ(app->phase, 3);
  Frame(999);
  EXPECT_EQ(app->phase, 3);
  Frame(1);
  EXPECT_EQ(app->phase, 4);
  Frame();
  EXPECT_EQ(app->gameMode, MODE_STORY);
  EXPECT_EQ(app->phase, 0);
  EXPECT_EQ(app->sound.currentTrack, -1);
}

// ---- Mini game

class ObakeTest : public ExtrasTest {
 protected:
  void SetUp() override {
    ExtrasTest::SetUp();
    std::memset(g_ScriptVariables, 0, sizeof g_ScriptVariables);
  }
  void EnterGame() {
    app->gameMode = MODE_MINIGAME;
    app->phase = 0;
    Frame();
  }
  // Highlights with DOWN presses and chooses; the curtain then falls.
  void Visit(int placeDowns, int pictureDowns) {
    EnterGame();
    ASSERT_EQ(app->phase, 2);
    for (int i = 0; i < placeDowns; ++i) Keys("d");
    Keys("c");
    ASSERT_EQ(app->phase, 3);
    for (int i = 0; i < pictureDowns; ++i) Keys("d");
    Keys("c");
    ASSERT_EQ(app->phase, 4);
    Frame(1000);
    ASSERT_EQ(app->phase, 5);
    Frame();
  }
};

TEST_F(ObakeTest, PlacesOfferedByVariantAndVisits) {
  struct Case {
    const char* name;
    int variant, visits;
    std::vector<int> visited;  // variables set to 1
    const char* keys;
    const char* cursors;
  } cases[] = {
      {"variant 0 offers places 0-3", 0, 1, {}, "ddddd", "0 1 2 3 0 "},
      {"variant 1 never offers place 0", 1, 1, {}, "dddd", "1 2 3 1 "},
      {"up from nothing", 1, 1, {}, "uuu", "3 2 1 "},
      {"visited places are stepped over", 0, 1, {2054, 2059}, "ddd", "2 3 2 "},
      {"variant 0 has no first room", 0, 1, {2057}, "ddd", "0 1 2 "},
      {"place 3 stays while one room is left", 1, 1, {2054, 2056}, "ddd", "2 3 2 "},
      {"one place left", 1, 1, {2054, 2055, 2057}, "dud", "3 3 3 "},
      // The variables say everything is visited: the highlight stays on none.
      {"nothing left", 1, 1, {2054, 2055, 2056, 2057}, "dud", "100 100 100 "},
      // At visit count 0 the visited variables are cleared first.
      {"a new walk forgets old visits", 0, 0, {2054, 2055, 2057, 2059}, "dd", "0 1 "},
  };
  for (const Case& c : cases) {
    std::memset(g_ScriptVariables, 0, sizeof g_ScriptVariables);
    g_ScriptVariables[2058] = int16_t(c.variant);
    g_ScriptVariables[2053] = int16_t(c.visits);
    for (int v : c.visited) g_ScriptVariables[v] = 1;
    EnterGame();
    ASSERT_EQ(app->phase, 2) << c.name;
    EXPECT_EQ(KeyTrail(c.keys, app->obake.cursor), c.cursors) << c.name;
    // A choice with nothing highlighted does nothing.
    if (app->obake.cursor == kCursorNone) {
      Keys("c");
      EXPECT_EQ(app->phase, 2) << c.name;
    }
  }
}

TEST_F(ObakeTest, TwoVisitsThenTheClosingScript) {
  struct Case {
    int variant;
    int firstDowns, firstPictureDowns;
    const char* firstScript;
    int firstVariable;
    int secondDowns, secondPictureDowns;
    const char* secondScript;
    int secondVariable;
    const char* closing;
  } cases[] = {
      {0, 2, 1, "mdl_1231_f313_lup", 2054, 3, 1, "mdl_1231_f311_lup", 2057, "mdl_1231_f41_lup"},
      {0, 1, 1, "mdl_1231_f314_lup", 2059, 2, 1, "mdl_1231_f312_lup", 2055, "mdl_1231_f41_lup"},
      // Both rooms offered: the second picture is the second room; then the
      // first room is offered alone.
      {1, 3, 2, "mdl_1231_f321_brs", 2057, 3, 1, "mdl_1231_f324_brs", 2056, "mdl_1231_f42_brs"},
      {1, 3, 1, "mdl_1231_f324_brs", 2056, 3, 1, "mdl_1231_f321_brs", 2057, "mdl_1231_f42_brs"},
      {1, 1, 1, "mdl_1231_f323_brs", 2054, 1, 1, "mdl_1231_f322_brs", 2055, "mdl_1231_f42_brs"},
  };
  for (const Case& c : cases) {
    std::memset(g_ScriptVariables, 0, sizeof g_ScriptVariables);
    g_ScriptVariables[2058] = int16_t(c.variant);
    Visit(c.firstDowns, c.firstPictureDowns);
    EXPECT_EQ(app->gameMode, MODE_STORY);
    EXPECT_EQ(app->phase, 0);
    EXPECT_STREQ(app->story.scriptName, c.firstScript);
    EXPECT_EQ(g_ScriptVariables[c.firstVariable], 1) << c.firstScript;
    EXPECT_EQ(g_ScriptVariables[2053], 1);
    EXPECT_EQ(app->sound.currentTrack, -1);
    Visit(c.secondDowns, c.secondPictureDowns);
    EXPECT_STREQ(app->story.scriptName, c.secondScript);
    EXPECT_EQ(g_ScriptVariables[c.secondVariable], 1) << c.secondScript;
    EXPECT_EQ(g_ScriptVariables[c.firstVariable], 1) << c.firstScript;
    EXPECT_EQ(g_ScriptVariables[2053], 2);
    // The third entry runs the closing script at once.
    EnterGame();
    EXPECT_EQ(app->gameMode, MODE_STORY);
    EXPECT_EQ(app->phase, 0);
    EXPECT_STREQ(app->story.scriptName, c.closing);
  }
}

TEST_F(ObakeTest, SecondStepPicturesAndBack) {
  g_ScriptVariables[2058] = 1;
  g_ScriptVariables[2053] = 1;
  EnterGame();
  Keys("dddc");  // place 3, both rooms left
  ASSERT_EQ(app->phase, 3);
  EXPECT_EQ(app->obake.place, 3);
  EXPECT_EQ(app->obake.pictureCount, 2);
  EXPECT_EQ(KeyTrail("dddduu", app->obake.cursor), "0 1 2 0 2 1 ");
  // Back: the same places again with nothing highlighted.
  Keys("dc");
  EXPECT_EQ(app->phase, 2);
  EXPECT_EQ(app->obake.cursor, kCursorNone);
  Keys("u");
  EXPECT_EQ(app->obake.cursor, 3);
  // One room left: one picture; KEY_A opens the quick option screen.
  g_ScriptVariables[2057] = 1;
  EnterGame();
  Keys("dddc");
  EXPECT_EQ(app->obake.pictureCount, 1);
  Press(IN_KEY_A);
  EXPECT_EQ(app->RunObakeGame(), 0);
  EXPECT_EQ(app->input.count[IN_KEY_A], 0u);
  ExpectQuickOptionBackTo(MODE_MINIGAME, 3);
  Keys("uu");
  EXPECT_EQ(app->obake.cursor, 0);
}

// Scripts read from the test instead of the pack.
std::vector<std::pair<std::string, std::vector<uint8_t>>>& TestScripts() {
  static std::vector<std::pair<std::string, std::vector<uint8_t>>> scripts;
  return scripts;
}

BYTE* ReadTestScript(CGameApp*, const char* entry, DWORD* size) {
  for (const auto& [name, bytes] : TestScripts()) {
    if (name != entry) continue;
    BYTE* p = static_cast<BYTE*>(LocalAlloc(LMEM_FIXED, bytes.size()));
    std::memcpy(p, bytes.data(), bytes.size());
    *size = DWORD(bytes.size());
    return p;
  }
  *size = 0;
  return nullptr;
}

// A script that leaves a page straight for the mini game (or the map): the
// screen opens with the message window closed, a save made there stores it
// closed, and the next message opens it again.
TEST_F(ObakeTest, StoryScreensOpenWithTheMessageWindowClosed) {
  const StoryCalls production = g_StoryCalls;
  g_StoryCalls.readScript = ReadTestScript;
  const std::string page = "OP_SPEAKER \"a\"\nOP_MESSAGE \"b\"\nOP_WAIT_PAGE 0\n";
  TestScripts() = {
      {"AdvData\\mes\\to_house.mes", Assemble(page + "OP_JUMP_SCRIPT \"kimo_lup\"\nOP_END\n")},
      {"AdvData\\mes\\to_map.mes", Assemble(page + "OP_SET_MOVE_KIND 0\nOP_MOVE 0\n" + page + "OP_END\n")},
      {"AdvData\\mes\\mdl_1231_f314_lup.mes", Assemble(page + "OP_END\n")},
  };
  const std::string folder = mixertest::TempFolder("storyscreens");
  std::snprintf(app->savePath, sizeof app->savePath, "%s\\", mixertest::WinPath(folder).c_str());
  const struct {
    const char* script;
    int mode;
  } cases[] = {{"to_house", MODE_MINIGAME}, {"to_map", MODE_MAP}};
  for (const auto& c : cases) {
    std::memset(g_ScriptVariables, 0, sizeof g_ScriptVariables);
    app->settings.messageSpeed = 0;
    app->settings.skipRunning = 0;
    app->BuildMessageWindow();
    ASSERT_EQ(app->LoadScript(c.script), 1);
    app->gameMode = MODE_STORY;
    app->phase = 0;
    bool pageShown = false;
    for (int f = 0; f < 200 && app->gameMode == MODE_STORY; ++f) {
      pageShown = pageShown || app->message.windowShown;
      if (f % 10 == 9) Press(IN_KEY_C);
      Frame();
      std::memset(app->input.count, 0, sizeof app->input.count);
    }
    ASSERT_TRUE(pageShown) << c.script;
    ASSERT_EQ(app->gameMode, c.mode) << c.script;
    Frame();
    EXPECT_EQ(app->message.windowShown, 0) << c.script;
    for (int n = 500; n <= 510; ++n) {
      if (app->sprites[n]) {
        EXPECT_EQ(app->sprites[n]->visible, 0u) << c.script << " sprite " << n;
      }
    }
    ASSERT_EQ(app->WriteSaveFile(0), 1) << c.script;
    const mixertest::Bytes saved = mixertest::ReadBytes(folder + "/save001.dat");
    ASSERT_GT(saved.size(), 25856u);
    EXPECT_EQ(GetLe32(&saved[25852]), 0u) << c.script << ": the window word of the save";
    if (c.mode != MODE_MINIGAME) continue;
    // A visit: its page opens the window again.
    Visit(1, 1);
    ASSERT_EQ(app->gameMode, MODE_STORY);
    ASSERT_STREQ(app->story.scriptName, "mdl_1231_f314_lup");
    for (int f = 0; f < 20 && !app->message.windowShown; ++f) Frame();
    EXPECT_EQ(app->message.windowShown, 1);
  }
  g_StoryCalls = production;
}

// ---- Gallery

// Adds names to a seen list of the application, as the story does.
void AddSeen(CGameApp* app, int list, const std::vector<std::string>& names) {
  for (const std::string& name : names) ASSERT_EQ(AddSeenName(app, list, name.c_str()), 1) << name;
}

// Writes system.dat and starts a fresh application object that reads it
// back, as the next run of the game does.
void ReloadThroughSystemData(CGameApp*& app) {
  const std::string folder = mixertest::TempFolder("systemdat");
  const std::string save = mixertest::WinPath(folder) + "\\";
  std::snprintf(app->savePath, sizeof app->savePath, "%s", save.c_str());
  app->WriteSystemData();
  delete app;
  app = new CGameApp;
  std::snprintf(app->savePath, sizeof app->savePath, "%s", save.c_str());
  app->ReadSystemData();
}

// Records of a group, in table order.
std::vector<const CgEntry*> GroupRecords(uint32_t group) {
  std::vector<const CgEntry*> out;
  for (const CgEntry* e = g_CgTable; e->group != uint32_t(-1); ++e)
    if (e->group == group) out.push_back(e);
  return out;
}

const int kTabFirstGroup[8] = {0, 17, 35, 50, 66, 81, 96, 101};

class GalleryTest : public ExtrasTest {
 protected:
  void EnterGallery(int tab, int page) {
    app->cgMode.tab = tab;
    app->cgMode.page = page;
    Enter(MODE_CG);
  }
  std::string Cursors(const char* keys) { return KeyTrail(keys, app->cgMode.highlight); }
};

TEST_F(GalleryTest, PlacesCountTheirSeenPicturesInTableOrder) {
  // Tab 1, page 0 holds groups 17..25; seen: every other record of group
  // 17, the last of group 20, and a name of another tab.
  std::vector<std::string> seen;
  std::vector<std::string> expect17;
  const auto g17 = GroupRecords(17);
  for (size_t i = 0; i < g17.size(); i += 2) expect17.push_back(g17[i]->name);
  for (auto it = expect17.rbegin(); it != expect17.rend(); ++it) seen.push_back(*it);  // any order in the list
  const auto g20 = GroupRecords(20);
  seen.push_back(g20.back()->name);
  seen.push_back(GroupRecords(0)[0]->name);
  AddSeen(app, kSeenListA, seen);
  AddSeen(app, kSeenListB, {GroupRecords(18)[0]->name});  // the other list unlocks nothing
  ReloadThroughSystemData(app);
  EnterGallery(1, 0);
  const CgModeState& c = app->cgMode;
  EXPECT_EQ(c.pageCount, 2);
  EXPECT_EQ(c.groupCount, 9);
  for (int k = 0; k < 9; ++k) {
    const auto records = GroupRecords(uint32_t(17 + k));
    EXPECT_EQ(c.places[k].totalCount, int(records.size())) << k;
    const int seenCount = k == 0 ? int(expect17.size()) : k == 3 ? 1 : 0;
    EXPECT_EQ(c.places[k].seenCount, seenCount) << k;
    EXPECT_EQ(c.places[k].unlocked, seenCount > 0 ? 1 : 0) << k;
  }
  ASSERT_LT(expect17.size(), 24u);
  for (size_t i = 0; i < expect17.size(); ++i) EXPECT_STREQ(c.places[0].names[i], expect17[i].c_str());
  EXPECT_EQ(c.places[0].names[expect17.size()][0], 0);
  EXPECT_STREQ(c.places[3].names[0], g20.back()->name);
  // Keys reach the two unlocked places, the tabs other than tab 1, the page
  // buttons and back.
  EXPECT_EQ(Cursors("dddddd"), "0 3 9 11 12 13 ");
  EXPECT_EQ(Cursors("uuuu"), "12 11 9 3 ");
}

TEST_F(GalleryTest, LockedPagesTabsAndPageButtons) {
  struct Case {
    const char* name;
    int tab, page;
    const char* keys;
    const char* cursors;
    int tabAfter, pageAfter, groups;
  } cases[] = {
      // Nothing seen: only the buttons; tab 0's own button is skipped.
      {"locked page", 0, 0, "ddd", "10 11 12 ", 0, 0, 9},
      {"up from none", 0, 0, "uuu", "19 18 17 ", 0, 0, 9},
      {"tab 7 skipped upwards", 7, 0, "uuuuu", "19 18 17 15 14 ", 7, 0, 5},
      {"previous page wraps", 2, 0, "uuuc", "19 18 17 100 ", 2, 1, 6},
      {"next page wraps", 3, 1, "uuc", "19 18 100 ", 3, 0, 9},
      {"next page of the second", 0, 0, "uuc", "19 18 100 ", 0, 1, 8},
      {"one page: previous does nothing", 6, 0, "uuuc", "19 18 17 17 ", 6, 0, 5},
      {"one page: next does nothing", 7, 0, "uuc", "19 18 18 ", 7, 0, 5},
      {"a tab button opens its first page", 4, 1, "ddc", "9 10 100 ", 1, 0, 9},
      // A stored page beyond a one-page tab opens its page.
      {"stored page beyond the tab", 6, 1, "", "", 6, 0, 5},
      {"stored tab out of range", 9, 1, "", "", 0, 1, 8},
  };
  for (const Case& c : cases) {
    EnterGallery(c.tab, c.page);
    EXPECT_EQ(Cursors(c.keys), c.cursors) << c.name;
    EXPECT_EQ(app->cgMode.tab, c.tabAfter) << c.name;
    EXPECT_EQ(app->cgMode.page, c.pageAfter) << c.name;
    EXPECT_EQ(app->cgMode.groupCount, c.groups) << c.name;
    EXPECT_EQ(app->phase, 1) << c.name;
  }
}

TEST_F(GalleryTest, ViewerShowsAtMostTwentyFourNamesAndKeepsTheNextPlace) {
  // The largest group of the table, every picture seen, with the next group.
  uint32_t big = 0;
  for (uint32_t g = 0; g < kCgGroupCount; ++g)
    if (GroupRecords(g).size() > GroupRecords(big).size()) big = g;
  const auto records = GroupRecords(big);
  ASSERT_GT(records.size(), 24u);
  int tab = 7;
  while (kTabFirstGroup[tab] > int(big)) --tab;
  const int within = int(big) - kTabFirstGroup[tab];
  const int page = within / 9, k = within % 9;
  std::vector<std::string> names;
  for (const CgEntry* e : records) names.push_back(e->name);
  AddSeen(app, kSeenListA, names);
  EnterGallery(tab, page);
  const CgModeState& c = app->cgMode;
  ASSERT_EQ(c.places[k].unlocked, 1);
  EXPECT_EQ(c.places[k].seenCount, int(records.size()));
  EXPECT_EQ(c.places[k].totalCount, int(records.size()));
  if (k + 1 < c.groupCount) {
    EXPECT_EQ(c.places[k + 1].names[0][0], 0);
  }
  // Open it: each KEY_C shows the next name; after 24 the list returns.
  app->cgMode.highlight = app->cgMode.cursor = k;
  Keys("c");
  int shown = 0;
  while (app->phase != 1 && shown < 40) {
    Frame();  // phase 20 loads the next
    if (app->phase != 21) break;
    EXPECT_EQ(c.viewNext, shown + 1);
    ++shown;
    Keys("c");
  }
  EXPECT_EQ(shown, 24);
  EXPECT_EQ(app->phase, 1);
}

TEST_F(GalleryTest, ViewerScrollsOversizePicturesWhileKeysAreHeld) {
  struct Case {
    int width, height;
    int counter;  // held key
    int frames;
    int x, y;
  } cases[] = {
      {1200, 600, IN_RIGHT, 10, -160, 0}, {1200, 600, IN_RIGHT, 40, -400, 0}, {1200, 600, IN_LEFT, 5, 0, 0},
      {1200, 600, IN_DOWN, 5, 0, 0},      {800, 1000, IN_DOWN, 30, 0, -400},  {800, 1000, IN_RIGHT, 5, 0, 0},
      {800, 600, IN_DOWN, 5, 0, 0},       {810, 610, IN_DOWN, 5, 0, -10},
  };
  for (const Case& c : cases) {
    EnterGallery(0, 0);
    CgModeState& m = app->cgMode;
    m.viewWidth = c.width;
    m.viewHeight = c.height;
    m.viewX = m.viewY = 0;
    app->phase = 21;
    for (int i = 0; i < c.frames; ++i) {
      app->input.count[c.counter] = uint32_t(i + 1);  // held
      Frame();
    }
    EXPECT_EQ(m.viewX, c.x) << c.width << "x" << c.height << " key " << c.counter;
    EXPECT_EQ(m.viewY, c.y) << c.width << "x" << c.height << " key " << c.counter;
    // Scrolling back stops at the edge.
    const int back = c.counter == IN_RIGHT ? IN_LEFT : c.counter == IN_DOWN ? IN_UP : c.counter;
    app->input = {};
    for (int i = 0; i < 60; ++i) {
      app->input.count[back] = uint32_t(i + 1);
      Frame();
    }
    EXPECT_EQ(m.viewX, 0);
    EXPECT_EQ(m.viewY, 0);
    app->input = {};
    Keys("a");
    EXPECT_EQ(app->phase, 1);
  }
}

TEST_F(GalleryTest, BackReturnsToTheTitleKeepingTabAndPage) {
  EnterGallery(3, 1);
  Keys("uc");
  EXPECT_EQ(app->phase, 50);
  Frame();
  EXPECT_EQ(app->gameMode, MODE_TITLE);
  EXPECT_EQ(app->phase, 90);
  EXPECT_EQ(app->cgMode.tab, 3);
  EXPECT_EQ(app->cgMode.page, 1);
}

// ---- Scene replay

const int kSceneTabFirst[8] = {0, 91, 177, 243, 325, 413, 506, 732};
const int kSceneTabPages[8] = {12, 11, 9, 11, 11, 12, 29, 4};

class ReplayTest : public ExtrasTest {
 protected:
  void SetUp() override {
    ExtrasTest::SetUp();
    story_test::TheWorld() = {};
    std::memset(g_ScriptVariables, 0, sizeof g_ScriptVariables);
  }
  void EnterReplay(int tab, int page) {
    app->sceneReplay.tab = tab;
    app->sceneReplay.page = page;
    Enter(MODE_SCENE_REPLAY);
  }
  std::string Cursors(const char* keys) { return KeyTrail(keys, app->sceneReplay.highlight); }
  story_test::RecordingStory recording;
};

TEST_F(ReplayTest, EntriesShownFromSeenListB) {
  AddSeen(app, kSeenListB, {g_SceneTable[4].scriptName, g_SceneTable[1].scriptName, g_SceneTable[95].scriptName});
  AddSeen(app, kSeenListA, {g_SceneTable[2].scriptName});  // the other list shows nothing
  ReloadThroughSystemData(app);
  EnterReplay(0, 0);
  const SceneReplayState& s = app->sceneReplay;
  EXPECT_EQ(s.firstRecord, 0);
  EXPECT_EQ(s.entries, 8);
  EXPECT_EQ(s.pageCount, 12);
  const int shown[8] = {0, 1, 0, 0, 1, 0, 0, 0};
  for (int i = 0; i < 8; ++i) EXPECT_EQ(s.shown[i], shown[i]) << i;
  EXPECT_EQ(Cursors("dddd"), "1 4 9 10 ");
  EXPECT_EQ(Cursors("uuuu"), "9 4 1 18 ");
  // Tab 1 page 0 starts at record 91: record 95 is its entry 4.
  EnterReplay(1, 0);
  EXPECT_EQ(s.firstRecord, 91);
  EXPECT_EQ(s.shown[4], 1);
  EXPECT_EQ(Cursors("dd"), "4 8 ");
}

TEST_F(ReplayTest, PagesOfEveryTab) {
  for (int tab = 0; tab < 8; ++tab) {
    // A stored page beyond the tab opens page 0.
    EnterReplay(tab, kSceneTabPages[tab]);
    EXPECT_EQ(app->sceneReplay.page, 0) << tab;
    EXPECT_EQ(app->sceneReplay.firstRecord, kSceneTabFirst[tab]);
    // Previous wraps to the last page, next wraps back to 0.
    EXPECT_EQ(Cursors("uuuc"), "18 17 16 100 ") << tab;
    const int last = kSceneTabPages[tab] - 1;
    EXPECT_EQ(app->sceneReplay.page, last) << tab;
    EXPECT_EQ(app->sceneReplay.firstRecord, kSceneTabFirst[tab] + 8 * last);
    const int end = tab == 7 ? 758 : kSceneTabFirst[tab + 1];
    EXPECT_EQ(app->sceneReplay.firstRecord + app->sceneReplay.entries, end) << tab;
    EXPECT_EQ(Cursors("uuc"), "18 17 100 ") << tab;
    EXPECT_EQ(app->sceneReplay.page, 0) << tab;
  }
  // A tab button opens the tab's first page; the current tab is skipped.
  EnterReplay(2, 3);
  EXPECT_EQ(Cursors("ddc"), "8 9 100 ");
  EXPECT_EQ(app->sceneReplay.tab, 1);
  EXPECT_EQ(app->sceneReplay.page, 0);
}

// The tab and page the replay was left on are written to velmi.cfg at exit
// and read back at the next start, the late pages of the 29-page tab too.
TEST_F(ReplayTest, TabAndPageLeftComeBackAfterARestart) {
  std::string folder = MakeTempDir("replaycfg");
  ASSERT_FALSE(folder.empty());
  // Start-up reads the settings only where a pack of game data is found.
  std::filesystem::create_directories(folder + "/data");
  ASSERT_TRUE(WritePack(folder + "/data/grpack_v.mlz", {{"AdvData\\mes\\a.mes", Bytes(16, 7)}}, false));
  folder += "/";
  for (char& c : folder)
    if (c == '/') c = '\\';
  const struct {
    int tab;
    const char* keys;  // from page 0
    int page;
  } cases[] = {
      // Previous page from the first: the last; next page: the second.
      {6, "uuuc", 28}, {6, "uuucuuuc", 27}, {6, "", 0}, {7, "uuuc", 3}, {0, "uuuc", 11}, {0, "uuc", 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.tab) + " " + c.keys);
    EnterReplay(c.tab, 0);
    Cursors(c.keys);
    ASSERT_EQ(app->sceneReplay.page, c.page);
    Keys("uc");  // back
    Frame();
    ASSERT_EQ(app->gameMode, MODE_TITLE);
    std::strcpy(app->programFolder, folder.c_str());
    SaveConfig(app);
    ASSERT_EQ(IniStore::Flush(), 1);

    delete app;
    app = new CGameApp;
    std::strcpy(app->programFolder, folder.c_str());
    AppStartup(app);
    EXPECT_EQ(app->sceneReplay.tab, c.tab);
    EXPECT_EQ(app->sceneReplay.page, c.page);
    Enter(MODE_SCENE_REPLAY);
    EXPECT_EQ(app->sceneReplay.page, c.page);
    EXPECT_EQ(app->sceneReplay.firstRecord, kSceneTabFirst[c.tab] + 8 * c.page);
  }
  IniStore::Flush();
}

TEST_F(ReplayTest, ReplayRunsItsScriptFlaggedAndReturnsAtTheEnd) {
  const SceneRecord& r = g_SceneTable[91 + 8 + 3];
  story_test::TheWorld().scripts[std::string("AdvData\\mes\\") + r.scriptName + ".mes"] =
      Assemble("OP_VAR_COPY 99 1 9 7\nOP_JUMP_SCRIPT \"SC_END\"\nOP_END");
  AddSeen(app, kSeenListB, {r.scriptName});
  g_ScriptVariables[2311] = 0;
  EnterReplay(1, 1);
  EXPECT_EQ(Cursors("dc"), "3 3 ");
  EXPECT_EQ(app->phase, 10);
  Frame();
  EXPECT_EQ(app->phase, 11);
  // The transition ends when its object has gone.
  Frame();
  EXPECT_EQ(app->phase, 12);
  Frame(499);
  EXPECT_EQ(app->phase, 12);
  Frame(1);
  EXPECT_EQ(app->phase, 13);
  Frame();
  EXPECT_EQ(app->gameMode, MODE_STORY);
  EXPECT_EQ(app->phase, 0);
  EXPECT_STREQ(app->story.scriptName, r.scriptName);
  EXPECT_EQ(g_ScriptVariables[2311], 1);
  for (int i = 0; i < 10 && app->gameMode == MODE_STORY; ++i) Frame();
  EXPECT_EQ(g_ScriptVariables[99 * 256 + 1], 1);  // the script saw the flag
  EXPECT_EQ(app->gameMode, MODE_SCENE_REPLAY);
  EXPECT_EQ(app->phase, 0);
  Frame();
  EXPECT_EQ(app->phase, 1);
  EXPECT_EQ(app->sceneReplay.tab, 1);
  EXPECT_EQ(app->sceneReplay.page, 1);
  EXPECT_EQ(app->sceneReplay.highlight, kCursorNone);
}

TEST_F(ReplayTest, ATransitionThatNeverEndsHoldsTheReplayFiveSecondsAtMost) {
  AddSeen(app, kSeenListB, {g_SceneTable[0].scriptName});
  EnterReplay(0, 0);
  Keys("dc");
  Frame();
  ASSERT_EQ(app->phase, 11);
  app->transition = new CTransition(640, 480);
  for (int i = 0; i < 4; ++i) {
    Frame(1000);
    EXPECT_EQ(app->phase, 11) << i;
  }
  // From the start of the transition: 2,000 ms, 2,000 ms of extra time and
  // one second.
  Frame(999);
  EXPECT_EQ(app->phase, 11);
  Frame(1);
  EXPECT_EQ(app->phase, 12);
}

// ---- Alarm labels, on a loaded script

class AlarmScriptTest : public ExtrasTest {
 protected:
  void SetUp() override {
    ExtrasTest::SetUp();
    story_test::TheWorld() = {};
    std::memset(g_ScriptVariables, 0, sizeof g_ScriptVariables);
  }
  story_test::RecordingStory recording;
};

TEST_F(AlarmScriptTest, EachButtonJumpsToItsLabel) {
  // Each label sets variable 5 to its own value; a script without the
  // label ends where the code ends.
  const std::string full =
      "OP_END\nOP_LABEL \"slow\"\nOP_VAR_OP 0 5 3 0\nOP_END\n"
      "OP_LABEL \"normal\"\nOP_VAR_OP 0 5 2 0\nOP_END\nOP_LABEL \"fast\"\nOP_VAR_OP 0 5 1 0\nOP_END\n";
  const std::string noSlow = "OP_END\nOP_LABEL \"fast\"\nOP_VAR_OP 0 5 1 0\nOP_END\n";
  struct Case {
    const std::string* script;
    const char* keys;
    int value;
  } cases[] = {{&full, "dc", 1}, {&full, "ddc", 2}, {&full, "uc", 3}, {&noSlow, "uc", 0}, {&noSlow, "dc", 1}};
  for (const Case& c : cases) {
    story_test::TheWorld().scripts["AdvData\\mes\\alarm.mes"] = Assemble(*c.script);
    ASSERT_EQ(app->LoadScript("alarm"), 1);
    g_ScriptVariables[5] = 0;
    app->BuildAlarmScreen();
    app->gameMode = MODE_ALARM;
    app->phase = 0;
    Keys(c.keys);
    ASSERT_EQ(app->phase, 3) << c.keys;
    Frame(1000);
    Frame();
    ASSERT_EQ(app->gameMode, MODE_STORY);
    for (int i = 0; i < 5; ++i) Frame();
    EXPECT_EQ(g_ScriptVariables[5], c.value) << c.keys;
  }
}

}  // namespace
