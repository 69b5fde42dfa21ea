// Interviews: a recorded voice of one of ten characters over that
// character's background, six on the first page and four on the second.
#include <cstdio>

#include "player/app/game_app.h"
#include "player/media/sound_mixer.h"
#include "player/screens/extras_list.h"
#include "player/screens/screen_common.h"

namespace {

constexpr int kInterviews = 10;
constexpr int kPageButtons[2] = {6, 4};
constexpr int kItemSwitch = 6, kItemBack = 7, kItemCount = 8;
constexpr int kBackgroundSlot = 10, kChipSlot = 11;
constexpr int kFirstButtonSprite = 14, kSwitchSprite = 12, kBackSprite = 11, kBackgroundSprite = 10;
constexpr int kChipPriority = 24, kBackgroundPriority = 32;
constexpr int kButtonW = 184, kButtonH = 32;
constexpr int kTitleMusic = 25;

struct InterviewEntry {
  const char* voice;       // in "VOICE\interview\"
  const char* background;  // in "AdvData\grp\SYSTEM\"
};
const InterviewEntry kInterviewTable[kInterviews] = {
    {"velmi.mp3", "interviewBG_vlm"},  {"dova.mp3", "interviewBG_dov"}, {"berisa.mp3", "interviewBG_brs"},
    {"lupa.mp3", "interviewBG_lup"},   {"olwe.mp3", "interviewBG_olw"}, {"fenira.mp3", "interviewBG_fnr"},
    {"wenra.mp3", "interviewBG_wnr"},  {"ruwa.mp3", "interviewBG_rwa"}, {"kalva.mp3", "interviewBG_kalv"},
    {"hestri.mp3", "interviewBG_hsr"},
};
const char* const kPageBackground[2] = {"interviewBG_00", "interviewBG_01"};

// Button places by page, and the chip column of each button.
const int16_t kButtonPlace[2][6][2] = {
    {{140, 117}, {78, 178}, {140, 240}, {77, 303}, {140, 369}, {77, 438}},
    {{140, 185}, {78, 248}, {140, 309}, {78, 373}, {0, 0}, {0, 0}},
};
const int kButtonColumn[2][6] = {{0, 1, 2, 3, 4, 5}, {0, 1, 3, 5, 0, 0}};
const HitBox kSwitchBox = {182, 497, 56, 56, kItemSwitch};
const HitBox kBackBox = {610, 542, 112, 32, kItemBack};

int ButtonNumber(int page, int button) { return 6 * page + button + 1; }

// Source of an item in its normal (highlighted 0) or highlighted form.
void ShowItem(CGameApp* app, int item, int highlighted) {
  const InterviewState& s = app->interview;
  const int page = s.page;
  if (item >= 0 && item < kPageButtons[page]) {
    int row = page;
    if (ButtonNumber(page, item) == s.playing) row = page + 2;
    if (highlighted) row = page + 4;
    SetChipSource(app, kFirstButtonSprite + item, kChipSlot, kButtonW * kButtonColumn[page][item], 32 * row, kButtonW,
                  kButtonH);
  } else if (item == kItemSwitch) {
    SetChipSource(app, kSwitchSprite, kChipSlot, highlighted ? 56 : 0, 193 + 56 * page, 56, 55);
  } else if (item == kItemBack) {
    SetChipSource(app, kBackSprite, kChipSlot, 168, highlighted ? 225 : 193, 112, 32);
  }
}

void Rebuild(CGameApp* app) {
  InterviewState& s = app->interview;
  app->BuildInterview(s.page, s.playing);
  s.cursor = kCursorNone;
}

void Choose(CGameApp* app, int item) {
  InterviewState& s = app->interview;
  if (item >= 0 && item < kPageButtons[s.page]) {
    s.playing = ButtonNumber(s.page, item);
    app->PlayInterviewVoice(s.playing);
    Rebuild(app);
  } else if (item == kItemSwitch) {
    s.page = 1 - s.page;
    app->PlayInterviewVoice(0);
    s.playing = 0;
    Rebuild(app);
  } else if (item == kItemBack) {
    app->PlayInterviewVoice(0);
    app->phase = 50;
  }
}

void RunButtons(CGameApp* app) {
  InterviewState& s = app->interview;
  const int start = s.cursor;
  int cursor = s.cursor;
  // Page 1 has no buttons 4 and 5: the keys step over them.
  if (TakeFreshPress(&app->input, IN_UP)) {
    cursor = (cursor == kCursorNone || cursor == 0) ? kItemBack : cursor - 1;
    if (s.page == 1 && (cursor == 4 || cursor == 5)) cursor = 3;
  }
  if (TakeFreshPress(&app->input, IN_DOWN)) {
    cursor = cursor == kCursorNone ? 0 : (cursor + 1) % kItemCount;
    if (s.page == 1 && (cursor == 4 || cursor == 5)) cursor = kItemSwitch;
  }
  if (app->input.tap) {
    HitBox boxes[kItemCount];
    int n = 0;
    for (int b = 0; b < kPageButtons[s.page]; ++b)
      boxes[n++] = {kButtonPlace[s.page][b][0], kButtonPlace[s.page][b][1], kButtonW, kButtonH, int16_t(b)};
    boxes[n++] = kSwitchBox;
    boxes[n++] = kBackBox;
    cursor = PickHitBox(app, boxes, n, kCursorNone);
  }
  if (cursor != s.cursor) {
    ShowItem(app, s.cursor, 0);
    ShowItem(app, cursor, 1);
    s.cursor = cursor;
  }
  if (TakeChoice(&app->input) && cursor == start) Choose(app, cursor);
}

}  // namespace

void CGameApp::BuildInterview(int page, int playing) {
  if (page != 1) page = 0;
  DeleteAllSprites();
  FreeAllPictureSlots();
  char name[96];
  const char* background =
      playing >= 1 && playing <= kInterviews ? kInterviewTable[playing - 1].background : kPageBackground[page];
  std::snprintf(name, sizeof name, "AdvData\\grp\\SYSTEM\\%s", background);
  LoadPictureSlot(kBackgroundSlot, name, 0);
  LoadPictureSlot(kChipSlot, "AdvData\\grp\\SYSTEM\\interviewChip_00", 1);
  MakeChip(this, kBackgroundSprite, kBackgroundSlot, 0, 0, 800, 600, 0, 0, kBackgroundPriority);
  for (int b = 0; b < kPageButtons[page]; ++b) {
    const int row = ButtonNumber(page, b) == playing ? page + 2 : page;
    MakeChip(this, kFirstButtonSprite + b, kChipSlot, kButtonW * kButtonColumn[page][b], 32 * row, kButtonW, kButtonH,
             kButtonPlace[page][b][0], kButtonPlace[page][b][1], kChipPriority);
  }
  MakeChip(this, kSwitchSprite, kChipSlot, 0, 193 + 56 * page, 56, 55, 181, 498, kChipPriority);
  MakeChip(this, kBackSprite, kChipSlot, 168, 193, 112, 32, kBackBox.x, kBackBox.y, kChipPriority);
}

void CGameApp::PlayInterviewVoice(int number) {
  if (!mixer) return;
  mixer->StopChannel(kSoundChannelVoice);
  if (number < 1 || number > kInterviews) return;
  char name[64];
  std::snprintf(name, sizeof name, "VOICE\\interview\\%s", kInterviewTable[number - 1].voice);
  const int volume = settings.voiceVolume * settings.masterVolume / 100;
  mixer->OpenSound(kSoundChannelVoice, name, voicePackPath, voicePack, volume, 0, 0, 1, 1);
}

int CGameApp::RunInterview() {
  InterviewState& s = interview;
  switch (phase) {
    case 0:
      PlayBgm(kTitleMusic);
      s = {};
      Rebuild(this);
      phase = 1;
      break;
    case 1:
      RunButtons(this);
      break;
    case 50:
      ReturnToTitleMenu(this);
      break;
    default:
      break;
  }
  return 1;
}
