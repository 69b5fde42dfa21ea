// Music mode: the 46 music tracks listed two to a line, played once or
// repeated, from the title's extras.
#include "player/app/game_app.h"
#include "player/media/sound_mixer.h"
#include "player/screens/extras_list.h"
#include "player/screens/screen_common.h"
#include "player/screens/story_screens.h"

namespace {

constexpr int kTracks = 46;
constexpr int kRows = 16;
constexpr int kMaxScroll = 15;
constexpr int kPlayOnce = 512;  // play-once mode byte of a music request
constexpr int kTitleMusic = 25;

enum MusicItem {
  ITEM_PLAY = 16,
  ITEM_STOP = 17,
  ITEM_REPEAT = 18,
  ITEM_SPARE = 19,
  ITEM_SCROLL_UP = 20,
  ITEM_SCROLL_DOWN = 21,
  ITEM_BACK = 22,
  kItemCount = 23,
};

constexpr int kBackgroundSlot = 10, kSecondBackgroundSlot = 11, kChipSlot = 12, kTitlesSlot = 13;
constexpr int kNowPlayingSprite = 45;
constexpr int kScrollMarkSprite = 18;
constexpr int kFirstRowSprite = 20;
constexpr int kPriority = 28, kBackgroundPriority = 32;

struct MusicPicture {
  int slot;
  const char* name;
  int flag;
};
const MusicPicture kPictures[4] = {
    {kBackgroundSlot, "AdvData\\grp\\SYSTEM\\musicmode_BG00", 0},
    {kSecondBackgroundSlot, "AdvData\\grp\\SYSTEM\\musicmode_BG01", 0},
    {kChipSlot, "AdvData\\grp\\SYSTEM\\musicmode_chip00", 1},
    {kTitlesSlot, "AdvData\\grp\\SYSTEM\\bgm_sam", 1},
};

// Buttons 16..22 in item order: normal and highlighted cells of the chip
// picture.  The repeat button's normal cell is its "off" cell.
const ItemCells kButtons[7] = {
    {11, kChipSlot, 1, 1, 63, 23, 1, 25, 63, 23},          {12, kChipSlot, 65, 1, 63, 23, 65, 25, 63, 23},
    {13, kChipSlot, 129, 1, 63, 23, 129, 25, 63, 23},      {14, kChipSlot, 193, 1, 63, 23, 193, 25, 63, 23},
    {15, kChipSlot, 88, 216, 16, 16, 104, 216, 16, 16},    {16, kChipSlot, 88, 232, 16, 16, 104, 232, 16, 16},
    {17, kChipSlot, 137, 216, 112, 32, 137, 248, 112, 32},
};
const int16_t kButtonPlace[7][2] = {{452, 100}, {526, 100}, {600, 100}, {674, 100}, {743, 142}, {743, 484}, {610, 542}};
constexpr int kRepeatOnY = 25;

// Touch boxes: the 16 rows, then the buttons; the last hit wins.
struct MusicLayout {
  HitBox boxes[kItemCount];
  MusicLayout() {
    for (int i = 0; i < kRows; ++i)
      boxes[i] = {int16_t(67 + 340 * (i % 2)), int16_t(167 + 40 * (i / 2)), 296, 32, int16_t(i)};
    const int16_t size[7][2] = {{64, 24}, {64, 24}, {64, 24}, {64, 24}, {16, 16}, {16, 16}, {112, 32}};
    for (int b = 0; b < 7; ++b)
      boxes[kRows + b] = {kButtonPlace[b][0], kButtonPlace[b][1], size[b][0], size[b][1], int16_t(ITEM_PLAY + b)};
  }
};
const MusicLayout kLayout;

// Title cell of a track in "bgm_sam": form 0 normal, 1 highlighted, 2 now playing.
void TitleCell(int track, int form, int* x, int* y) {
  const int c = track - 1;
  *x = 296 * (c / 18) + 1;
  *y = 32 * (c % 18) + 1 + 576 * form;
}

int RowTrack(const MusicModeState& m, int row) { return 2 * m.scroll + row + 1; }

void ShowRow(CGameApp* app, int row, int form) {
  int x, y;
  TitleCell(RowTrack(app->musicMode, row), form, &x, &y);
  SetChipSource(app, kFirstRowSprite + row, kTitlesSlot, x, y, 295, 31);
}

// An item in its normal (highlighted 0) or highlighted form.
void ShowItem(CGameApp* app, int item, int highlighted) {
  if (item >= 0 && item < kRows) {
    ShowRow(app, item, highlighted ? 1 : 0);
    return;
  }
  if (item < ITEM_PLAY || item >= kItemCount) return;
  const ItemCells& c = kButtons[item - ITEM_PLAY];
  int sy = highlighted ? c.hy : c.sy;
  if (item == ITEM_REPEAT && app->musicMode.repeat) sy = kRepeatOnY;
  SetChipSource(app, c.sprite, c.picture, highlighted ? c.hx : c.sx, sy, c.w, c.h);
}

void PlayTrack(CGameApp* app, int track) {
  MusicModeState& m = app->musicMode;
  app->PlayBgm(track + (m.repeat ? 0 : kPlayOnce));
  int x, y;
  TitleCell(track, 2, &x, &y);
  MakeChip(app, kNowPlayingSprite, kTitlesSlot, x, y, 295, 31, 70, 96, kPriority);
}

// A track played once has ended: it is no longer the current track, so
// choosing it again plays it again.
void ForgetEndedTrack(CGameApp* app) {
  if (app->musicMode.repeat || app->sound.currentTrack < 0 || !app->mixer) return;
  const int state = app->mixer->GetChannelState(kSoundChannelMusic);
  if (state == CHANNEL_PLAYING || state == CHANNEL_STOP_REQUESTED) return;
  app->sound.currentTrack = -1;
  app->sound.trackMode = 0;
}

void Choose(CGameApp* app, int item) {
  MusicModeState& m = app->musicMode;
  if (item >= 0 && item < kRows) {
    m.selected = RowTrack(m, item);
    PlayTrack(app, m.selected);
    return;
  }
  switch (item) {
    case ITEM_PLAY:
      if (m.selected == 0) m.selected = 1;
      PlayTrack(app, m.selected);
      break;
    case ITEM_STOP:
      if (m.selected == 0) break;
      ForgetMusic(app);
      m.selected = 0;
      app->DeleteSprite(kNowPlayingSprite, 1);
      break;
    case ITEM_REPEAT:
      m.repeat = !m.repeat;
      app->BuildMusicMode(m.scroll, m.repeat);
      ForgetMusic(app);
      ShowItem(app, ITEM_REPEAT, 1);
      if (m.selected) PlayTrack(app, m.selected);
      break;
    case ITEM_SCROLL_UP:
    case ITEM_SCROLL_DOWN:
      if (item == ITEM_SCROLL_UP && m.scroll > 0) --m.scroll;
      if (item == ITEM_SCROLL_DOWN && m.scroll < kMaxScroll) ++m.scroll;
      app->BuildMusicMode(m.scroll, m.repeat);
      ShowItem(app, item, 1);
      break;
    case ITEM_BACK:
      app->phase = 50;
      break;
    default:
      break;
  }
}

void RunList(CGameApp* app) {
  MusicModeState& m = app->musicMode;
  ForgetEndedTrack(app);
  const int start = m.cursor;
  int cursor = m.cursor;
  cursor = MoveCursorByKeys(&app->input, cursor, kItemCount);
  if (app->input.tap) cursor = PickHitBox(app, kLayout.boxes, kItemCount, kCursorNone);
  if (cursor != m.cursor) {
    ShowItem(app, m.cursor, 0);
    ShowItem(app, cursor, 1);
    m.cursor = cursor;
  }
  if (TakeChoice(&app->input) && cursor == start) Choose(app, cursor);
}

}  // namespace

void CGameApp::BuildMusicMode(int scroll, int repeat) {
  RemoveSprites(this, 10, 39);
  MakeChip(this, 10, kBackgroundSlot, 0, 0, 800, 600, 0, 0, kBackgroundPriority);
  for (int b = 0; b < 7; ++b) {
    const ItemCells& c = kButtons[b];
    const int sy = (b + ITEM_PLAY == ITEM_REPEAT && repeat) ? kRepeatOnY : c.sy;
    MakeChip(this, c.sprite, c.picture, c.sx, sy, c.w, c.h, kButtonPlace[b][0], kButtonPlace[b][1], kPriority);
  }
  MakeChip(this, kScrollMarkSprite, kChipSlot, 40, 216, 16, 16, 743, 161 + scroll * 306 / kMaxScroll, kPriority);
  for (int i = 0; i < kRows; ++i) {
    int x, y;
    TitleCell(2 * scroll + i + 1, 0, &x, &y);
    MakeChip(this, kFirstRowSprite + i, kTitlesSlot, x, y, 295, 31, 67 + 340 * (i % 2), 167 + 40 * (i / 2), kPriority);
  }
}

int CGameApp::RunMusicMode() {
  MusicModeState& m = musicMode;
  switch (phase) {
    case 0:
      DeleteAllSprites();
      FreeAllPictureSlots();
      ForgetMusic(this);
      m = {};
      m.cursor = kCursorNone;
      for (const MusicPicture& p : kPictures) LoadPictureSlot(p.slot, p.name, p.flag);
      BuildMusicMode(0, 0);
      phase = 1;
      break;
    case 1:
      RunList(this);
      break;
    case 50:
      ReturnToTitleMenu(this);
      PlayBgm(kTitleMusic);
      break;
    default:
      break;
  }
  return 1;
}

static_assert(2 * kMaxScroll + kRows == kTracks, "the last line shows the last two tracks");
