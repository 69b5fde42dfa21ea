// The yes/no panel over another screen: save, load, return to the title and
// quit questions.
#include <cstring>

#include "player/app/game_app.h"
#include "player/core/display.h"
#include "player/core/screen.h"
#include "player/core/text_window.h"
#include "player/media/sound_mixer.h"
#include "player/screens/save_rows.h"
#include "player/screens/screen_common.h"

namespace {

struct ConfirmQuestion {
  int32_t code;
  const char* text;  // Shift-JIS
};
const ConfirmQuestion kQuestions[] = {
    {120, "\x83\x5a\x81\x5b\x83\x75\x82\xb5\x82\xdc\x82\xb7\x82\xa9\x81\x48"},  // セーブしますか？
    {125, "\x83\x8d\x81\x5b\x83\x68\x82\xb5\x82\xdc\x82\xb7\x82\xa9\x81\x48"},  // ロードしますか？
    {1, "\x96\xdf\x82\xe8\x82\xdc\x82\xb7\x82\xa9\x81\x48"},                    // 戻りますか？
    {10, "\x8f\x49\x97\xb9\x82\xb5\x82\xdc\x82\xb7\x82\xa9\x81\x48"},           // 終了しますか？
};

constexpr int kConfirmPriority = 1;
constexpr int kChipPicture = 210;
constexpr int kTextPicture = 211;
const ChipLayout kPanel = {319, kChipPicture, 208, 0, 248, 128, 276, 236, kConfirmPriority};
// Yes (0) and no (1).
const ItemCells kButtons[2] = {
    {310, kChipPicture, 0, 0, 104, 32, 0, 33, 104, 31},
    {311, kChipPicture, 104, 0, 104, 32, 104, 33, 104, 31},
};
const int16_t kButtonX[2] = {296, 400};
constexpr int kButtonY = 315;
// Later boxes win: no is tested after yes.
const HitBox kButtonBoxes[2] = {{296, 315, 104, 32, 0}, {400, 315, 104, 32, 1}};
constexpr int kTextSprite = 312;
constexpr int kTextSize = 28;
constexpr int kTextY = 266;

const char* QuestionText(int code) {
  for (const ConfirmQuestion& q : kQuestions)
    if (q.code == code) return q.text;
  return "";
}

void CloseConfirm(CGameApp* app, bool returnToCaller) {
  RemoveSprites(app, 319, 319);
  RemoveSprites(app, 310, 312);
  app->FreePictureSlot(kChipPicture);
  app->FreePictureSlot(kTextPicture);
  ConfirmState& c = app->confirm;
  RestoreMessageWindow(app, c.windowWasShown);
  if (returnToCaller) {
    app->gameMode = c.returnMode;
    app->phase = c.returnPhase;
  }
}

// Return to the title or load: the stage goes and a rule transition fades.
void LeaveForScene(CGameApp* app, int rule, int mode) {
  if (app->mixer) app->mixer->StopAll();
  app->DeleteAllSprites();
  app->FreeAllPictureSlots();
  app->ReleaseTextWindow();
  app->BeginRuleTransition(rule);
  app->saveLoad.loadStart = NowMs();
  app->gameMode = mode;
}

void Answer(CGameApp* app) {
  ConfirmState& c = app->confirm;
  if (c.cursor == 1) {
    CloseConfirm(app, true);
    return;
  }
  if (c.cursor != 0) return;
  switch (c.question) {
    case 120:
      TellSaveResult(app, app->WriteSaveFile(SaveRowOf(c.saveTargetPage, c.saveTargetRow).slot));
      app->BuildSaveLoadScreen(c.saveTargetPage);
      CloseConfirm(app, true);
      break;
    case 1:
      LeaveForScene(app, 1, MODE_BACK_TO_TITLE);
      break;
    case 125:
      LeaveForScene(app, 2, MODE_LOAD);
      break;
    case 10:
      CloseConfirm(app, false);
      if (app->screen && app->screen->IsMoviePlaying()) app->screen->StopMovie(app->mixer);
      if (app->mixer) app->mixer->StopAll();
      if (app->hwnd) PostMessageW(app->hwnd, WM_CLOSE, 0, 0);
      app->gameMode = MODE_QUIT;
      app->phase = MODE_QUIT;
      break;
    default:
      CloseConfirm(app, true);
      break;
  }
}

}  // namespace

void CGameApp::OpenConfirm(int question) {
  ConfirmState& c = confirm;
  EnterScreen(this, MODE_CONFIRM, &c.returnMode, &c.returnPhase, &c.windowWasShown);
  c.question = question;
  c.cursor = kCursorNone;
  BuildConfirmDialog();
}

void CGameApp::BuildConfirmDialog() {
  RemoveSprites(this, 319, 319);
  RemoveSprites(this, 310, 312);
  LoadPictureSlot(kChipPicture, "AdvData\\grp\\system\\yn_chip00", 1);
  MakeChip(this, kPanel);
  for (int i = 0; i < 2; ++i)
    MakeChip(this, kButtons[i].sprite, kChipPicture, kButtons[i].sx, kButtons[i].sy, kButtons[i].w, kButtons[i].h,
             kButtonX[i], kButtonY, kConfirmPriority);
  const char* text = QuestionText(confirm.question);
  const int width = int(std::strlen(text) / 2) * kTextSize;
  FreePictureSlot(kTextPicture);
  CreateAlphaPicture(kTextPicture, 640, 64);
  if (textWindow && pictures[kTextPicture])
    textWindow->DrawString(pictures[kTextPicture], text, kTextSize, 0, 0xFFFFFF, 0, 0, 2, 1);
  MakeChip(this, kTextSprite, kTextPicture, 0, 0, width, kTextSize, 400 - width / 2, kTextY, kConfirmPriority);
}

int CGameApp::RunConfirm() {
  ConfirmState& c = confirm;
  InputState* in = &input;
  if (TakeFreshPress(in, IN_KEY_A)) {
    in->count[IN_RIGHT] = 0;
    CloseConfirm(this, true);
    return 1;
  }
  const int start = c.cursor;
  int cursor = start;
  cursor = MoveCursorByKeys(in, cursor, 2);
  if (in->tap) cursor = PickHitBox(this, kButtonBoxes, 2, kCursorNone);
  if (cursor != c.cursor) {
    SwapHighlight(this, kButtons, 2, c.cursor, cursor);
    c.cursor = cursor;
  }
  if (TakeChoice(in) && c.cursor == start) Answer(this);
  if (gameMode == MODE_CONFIRM) StepOverlayWeather(this);
  return 1;
}
