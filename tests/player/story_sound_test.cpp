// The story's sound requests against a recording mixer, and the voice table.
#include <gtest/gtest.h>

#include <velmi_platform.h>

#include <cstring>
#include <string>
#include <vector>

#include "player/app/game_app.h"
#include "player/app/startup.h"
#include "player/core/input.h"
#include "player/core/settings.h"
#include "player/scenario/sound_requests.h"
#include "player/scenario/system_voices.h"
#include "tests/player/recording_mixer.h"

namespace {

using Calls = std::vector<std::string>;

class StorySoundTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetFirstSettings(&settings);
    settings.musicPlay = settings.sePlay = settings.voicePlay = 1;
    settings.masterVolume = 80;
    settings.musicVolume = 50;
    settings.seVolume = 40;
    settings.voiceVolume = 100;
    settings.movieVolume = 25;
    settings.memStream = 0;
    settings.skipRunning = 0;
    settings.mannerVoiceCut = 0;
    for (int32_t& v : settings.charVoiceUse) v = 1;
    std::memset(&input, 0, sizeof input);
    ResetState();
    sound.Bind(&state, &settings, &input, &eventPicture);
    sound.SetPort(&mixer);
    sound.SetPaths("bgm\\", "se\\", "voice.mlz", reinterpret_cast<PackReader*>(&packTag));
  }
  RecordingMixer mixer;
  GameSettings settings{};
  InputState input{};
  void ResetState() {
    state = SoundRequestState{};
    state.currentTrack = state.currentEffect = -1;
  }
  int32_t eventPicture = 0;
  int packTag = 0;
  SoundRequestState state{};
  CStorySound sound;
};

TEST_F(StorySoundTest, MusicRequests) {
  sound.PlayBgm(5);
  EXPECT_EQ(mixer.Take(), Calls{"open 0 005.mp3 bgm\\ vol=40 loop=1 mem=0 pack=0"});
  EXPECT_EQ(state.currentTrack, 5);
  EXPECT_EQ(state.trackMode, 1);
  // The same track in another mode keeps the music as it plays.
  sound.PlayBgm(0x205);
  EXPECT_TRUE(mixer.Take().empty());
  EXPECT_EQ(state.trackMode, 1);
  // Play once, held in memory with MEM_STREAM.
  settings.memStream = 1;
  sound.PlayBgm(0x20C);
  EXPECT_EQ(mixer.Take(), Calls{"open 0 012.mp3 bgm\\ vol=40 loop=0 mem=1 pack=0"});
  EXPECT_EQ(state.trackMode, 0);
  // Track 255 stops; another mode word than 2 loops.
  sound.PlayBgm(0x1FF);
  EXPECT_EQ(mixer.Take(), Calls{"stop 0"});
  EXPECT_EQ(state.currentTrack, -1);
  EXPECT_EQ(state.trackMode, 0);
  // Music off: nothing sounds, but the track is recorded for a save.
  settings.musicPlay = 0;
  sound.PlayBgm(0x107);
  EXPECT_TRUE(mixer.Take().empty());
  EXPECT_EQ(state.currentTrack, 7);
  EXPECT_EQ(state.trackMode, 1);
}

TEST_F(StorySoundTest, EffectRequests) {
  sound.PlaySe(3, 1);
  EXPECT_EQ(mixer.Take(), Calls{"open 10 003.mp3 se\\ vol=32 loop=1 mem=1 pack=0"});
  sound.PlaySe(3, 0);
  EXPECT_TRUE(mixer.Take().empty());
  EXPECT_EQ(state.effectLoop, 1);
  settings.sePlay = 0;
  sound.PlaySe(4, 0);
  EXPECT_TRUE(mixer.Take().empty());
  EXPECT_EQ(state.currentEffect, 4);
  sound.PlaySe(255, 1);
  EXPECT_EQ(mixer.Take(), Calls{"stop 10"});
  EXPECT_EQ(state.currentEffect, -1);
  EXPECT_EQ(state.effectLoop, 0);
  // A new script lets the same effect sound again.
  settings.sePlay = 1;
  sound.PlaySe(9, 0);
  sound.ForgetEffect();
  mixer.Take();
  sound.PlaySe(9, 0);
  EXPECT_EQ(mixer.Take().size(), 1u);
}

TEST_F(StorySoundTest, VoiceSuppressionRules) {
  const std::string played = "open 20 VOICE\\dov\\d001.mp3 voice.mlz vol=80 loop=0 mem=1 pack=1";
  const struct {
    const char* name;
    void (*setup)(GameSettings&, InputState&, int32_t& eventPicture);
    int force;
    bool plays;
  } cases[] = {
      {"plain", [](GameSettings&, InputState&, int32_t&) {}, 0, true},
      {"character off", [](GameSettings& s, InputState&, int32_t&) { s.charVoiceUse[1] = 0; }, 0, false},
      {"other character off", [](GameSettings& s, InputState&, int32_t&) { s.charVoiceUse[0] = 0; }, 0, true},
      {"voices off", [](GameSettings& s, InputState&, int32_t&) { s.voicePlay = 0; }, 0, false},
      {"manner cut on event picture",
       [](GameSettings& s, InputState&, int32_t& e) {
         s.mannerVoiceCut = 1;
         e = 1;
       },
       0, false},
      {"manner cut without event picture", [](GameSettings& s, InputState&, int32_t&) { s.mannerVoiceCut = 1; }, 0,
       true},
      {"event picture without manner cut", [](GameSettings&, InputState&, int32_t& e) { e = 1; }, 0, true},
      {"skip", [](GameSettings& s, InputState&, int32_t&) { s.skipRunning = 1; }, 0, false},
      {"LEFT held", [](GameSettings&, InputState& in, int32_t&) { in.count[IN_LEFT] = 3; }, 0, false},
      // Forced (the backlog's replay): every rule is passed over.
      {"forced during skip", [](GameSettings& s, InputState&, int32_t&) { s.skipRunning = 1; }, 1, true},
      {"forced with voices off", [](GameSettings& s, InputState&, int32_t&) { s.voicePlay = 0; }, 1, true},
  };
  for (auto& c : cases) {
    SetUp();
    eventPicture = 0;
    ResetState();
    c.setup(settings, input, eventPicture);
    sound.PlayVoice("VOICE\\dov\\d001.ogg", c.force);
    Calls expect;
    if (!c.force) expect.push_back("stop 20");
    if (c.plays) expect.push_back(played);
    EXPECT_EQ(mixer.Take(), expect) << c.name;
    EXPECT_STREQ(state.voiceName, c.force ? "" : "VOICE\\dov\\d001.ogg") << c.name;
  }
  // "SE\" voices come from the effects folder whatever the settings.
  settings.voicePlay = 0;
  settings.skipRunning = 1;
  sound.PlayVoice("SE\\bell", 0);
  EXPECT_EQ(mixer.Take(), (Calls{"stop 20", "open 20 bell.mp3 se\\ vol=80 loop=0 mem=1 pack=0"}));
  // An empty name only stops the voice; a long name is remembered cut.
  sound.PlayVoice("", 0);
  EXPECT_EQ(mixer.Take(), Calls{"stop 20"});
  std::string longName(200, 'a');
  sound.PlayVoice(longName.c_str(), 0);
  EXPECT_EQ(std::strlen(state.voiceName), 63u);
}

// An effect named as a voice stays inside the effect folder: a name that
// climbs out of it, names a drive or starts at a root plays nothing, as a
// missing file.
TEST_F(StorySoundTest, EffectVoiceNamesStayInTheEffectFolder) {
  const struct {
    const char* name;
    const char* opened;  // null: refused
  } cases[] = {
      {"SE\\bell", "bell.mp3"},
      {"SE\\door\\open.ogg", "door\\open.mp3"},
      {"SE\\..\\..\\save\\save001.dat", nullptr},
      {"SE\\door\\..\\bell", nullptr},
      {"se\\..", nullptr},
      {"SE\\\\etc\\passwd", nullptr},
      {"SE\\/etc/passwd", nullptr},
      {"SE\\C:\\boot", nullptr},
      {"SE\\c:bell", nullptr},
  };
  for (const auto& c : cases) {
    for (int force : {0, 1}) {
      ResetState();
      sound.PlayVoice(c.name, force);
      Calls expect{"stop 20"};
      if (c.opened) expect.push_back(std::string("open 20 ") + c.opened + " se\\ vol=80 loop=0 mem=1 pack=0");
      // The forced request stops nothing before it opens.
      if (force && c.opened) expect.erase(expect.begin());
      EXPECT_EQ(mixer.Take(), expect) << c.name << " force " << force;
    }
  }
}

TEST_F(StorySoundTest, SystemVoicesAndTheirTable) {
  sound.PlaySystemVoice(0, 7);
  EXPECT_EQ(mixer.Take(), Calls{"open 20 VOICE\\vlm\\sys_vlm_07.mp3 voice.mlz vol=80 loop=0 mem=1 pack=1"});
  // Rows 9 and 10 cross over; 15 is the voice of every other name.
  sound.PlaySystemVoice(9, 12);
  EXPECT_EQ(mixer.Take(), Calls{"open 20 VOICE\\adw\\sys_adw_12.mp3 voice.mlz vol=80 loop=0 mem=1 pack=1"});
  sound.PlaySystemVoice(10, 1);
  EXPECT_EQ(mixer.Take(), Calls{"open 20 VOICE\\hdk\\sys_hdk_01.mp3 voice.mlz vol=80 loop=0 mem=1 pack=1"});
  sound.PlaySystemVoice(15, 3);
  EXPECT_EQ(mixer.Take(), Calls{"open 20 VOICE\\qor\\sys_qor_03.mp3 voice.mlz vol=80 loop=0 mem=1 pack=1"});
  for (int c : {-1, 16, 1000}) {
    sound.PlaySystemVoice(c, 1);
    EXPECT_TRUE(mixer.Take().empty()) << c;
  }
  const struct {
    const char* name;
    int index;
  } indices[] = {{"VOICE\\vlm\\a.ogg", 0}, {"voice\\HDK\\x", 9},  {"VOICE\\adw\\x", 10},
                 {"VOICE\\kva\\x", 14},    {"VOICE\\qor\\x", 15}, {"", 15},
                 {"VOICE\\vl", 15}};
  for (auto& i : indices) EXPECT_EQ(VoiceCharacterIndex(i.name), i.index) << i.name;
  // The voice-name column and the system-voice column agree except on 9 and 10.
  for (int c = 0; c < 15; ++c) {
    std::string folder = std::string(kVoiceCharacterTable[c].prefix);
    std::string sys = kVoiceCharacterTable[c].systemVoice;
    EXPECT_EQ(sys.compare(0, folder.size(), folder) == 0, c != 9 && c != 10) << c;
  }
}

TEST_F(StorySoundTest, ChannelVolumesPerKind) {
  const struct {
    const char* name;
    int track, effect, movie, kind, percent;
    Calls expect;
  } cases[] = {
      {"master, music and effect current", 1, 1, 0, VOLUME_MASTER, 50, {"volume 0 25", "volume 10 20", "volume 20 50"}},
      {"master, nothing current", 0, 0, 0, VOLUME_MASTER, 50, {"volume 20 50"}},
      {"master during a movie", 0, 0, 1, VOLUME_MASTER, 80, {"volume 0 20", "volume 20 80"}},
      {"music", 1, 0, 0, VOLUME_MUSIC, 50, {"volume 0 40"}},
      {"music without a track", 0, 0, 0, VOLUME_MUSIC, 50, {}},
      {"music during a movie", 1, 0, 1, VOLUME_MUSIC, 50, {}},
      {"voice", 0, 0, 0, VOLUME_VOICE, 10, {"volume 20 8"}},
      {"effect", 0, 1, 0, VOLUME_EFFECT, 100, {"volume 10 80"}},
      {"effect without one", 0, 0, 0, VOLUME_EFFECT, 100, {}},
      {"movie", 0, 0, 1, VOLUME_MOVIE, 50, {"volume 0 40"}},
      {"movie without one", 1, 0, 0, VOLUME_MOVIE, 50, {}},
      {"other kind", 1, 1, 1, 7, 50, {}},
  };
  for (auto& c : cases) {
    state.currentTrack = c.track ? 3 : -1;
    state.currentEffect = c.effect ? 4 : -1;
    mixer.moviePlaying = c.movie;
    sound.ApplyChannelVolumes(c.kind, c.percent);
    EXPECT_EQ(mixer.Take(), c.expect) << c.name;
  }
}

// The application's own requests reach its mixer: with no sound files
// nothing plays, and the record still follows the requests.
TEST(StorySoundOnMixer, RequestsOfTheApplication) {
  VelmiClockUseFake(1000);
  CGameApp app;
  app.settings.musicPlay = app.settings.sePlay = app.settings.voicePlay = 1;
  app.PlayBgm(0x205);
  EXPECT_EQ(app.sound.currentTrack, 5);
  EXPECT_EQ(app.sound.trackMode, 0);
  PlaySe(&app, 7, 1);
  EXPECT_EQ(app.sound.currentEffect, 7);
  PlayVoice(&app, "VOICE\\vlm\\none.ogg", 0);
  EXPECT_STREQ(app.sound.voiceName, "VOICE\\vlm\\none.ogg");
  EXPECT_EQ(app.soundRequests.IsVoicePlaying(), 0);
  app.PlaySystemVoice(3, 1);
  for (int kind = 0; kind <= 5; ++kind) app.ApplyChannelVolumes(kind, 50);
  app.PlayBgm(255);
  EXPECT_EQ(app.sound.currentTrack, -1);
  VelmiClockUseReal();
}

}  // namespace
