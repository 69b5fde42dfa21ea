// The game object's screen transitions and effects: cross-fades, mask wipes
// and rule transitions over the captured old screen, the white flash and the
// shake.  Each returns 0 while it runs and 1 when it has finished; the first
// call (the instruction's frame counter at 0) sets it up.
#include <algorithm>
#include <string>

#include "player/app/game_app.h"
#include "player/core/display.h"
#include "player/core/picture.h"
#include "player/core/sprite.h"
#include "player/media/transition.h"

namespace {

constexpr int kCanvasWidth = 800, kCanvasHeight = 600;
constexpr int kRemovingFade = 129;  // sprite effect: fade out, then remove
constexpr int kCaptureSlot = 0;     // picture and sprite slot of the old screen
constexpr int kTransitionAux = -100;
constexpr int kFlashHoldMs = 50;
constexpr int kShakeSwingMs = 50;

void InvalidateCanvas(CGameApp* app) { app->InvalidateVirtualRect(0, 0, kCanvasWidth, kCanvasHeight); }

void FreeTransition(CGameApp* app) {
  if (!app->transition) return;
  app->transition->FreeMask();
  delete app->transition;
  app->transition = nullptr;
}

// Picture 0 becomes a copy of the back buffer and sprite 0 shows it over
// everything; through the transition when asked.
void CaptureOldScreen(CGameApp* app, bool throughTransition) {
  app->FreePictureSlot(kCaptureSlot);
  if (app->screen && app->CreatePlainPicture(kCaptureSlot, GetScreenWidth(), GetScreenHeight()) &&
      app->pictures[kCaptureSlot])
    CPicture::CaptureScreen(app->pictures[kCaptureSlot], app->screen);
  app->DeleteSprite(kCaptureSlot, 0);
  app->MakePictureSprite(kCaptureSlot, kCaptureSlot, 0, 0, kCanvasWidth, kCanvasHeight, 0, 0, 0, 0, 0);
  if (!throughTransition) return;
  if (app->sprites[kCaptureSlot]) app->sprites[kCaptureSlot]->auxSlot = kTransitionAux;
  FreeTransition(app);
  app->transition = new CTransition(GetScreenWidth(), GetScreenHeight());
}

// A running fade, wipe or rule transition goes on only while effects are
// on, the game is not skipping, LEFT is not held and neither RIGHT nor
// KEY_C has just been pressed nor the screen tapped.
bool MayContinue(const CGameApp* app) {
  const InputState& in = app->input;
  return app->settings.effectUse && !app->settings.skipRunning && in.count[IN_LEFT] == 0 && in.count[IN_RIGHT] != 1 &&
         in.count[IN_KEY_C] != 1 && !in.tap;
}

// The end of a fade, wipe or rule transition: the keys that ended it are
// used up, the transition, sprite 0 and picture 0 go.
int FinishCapture(CGameApp* app) {
  InputState& in = app->input;
  in.count[IN_RIGHT] = in.count[IN_KEY_C] = 0;
  in.tap = 0;
  FreeTransition(app);
  if (CSprite* sprite = app->sprites[kCaptureSlot]) sprite->EndEffect();
  app->DeleteSprite(kCaptureSlot, 1);
  app->FreePictureSlot(kCaptureSlot);
  return 1;
}

// Every frame after the first of a mask or rule transition.
int RunMaskTransition(CGameApp* app) {
  InvalidateCanvas(app);
  if (!app->transition || !MayContinue(app)) return FinishCapture(app);
  return 0;
}

}  // namespace

int CGameApp::CrossFade(int ms) {
  InvalidateCanvas(this);
  if (story.frameCounter == 0) {
    CaptureOldScreen(this, false);
    if (CSprite* sprite = sprites[kCaptureSlot]) sprite->StartEffect(kRemovingFade, ms, 0, 0, 0);
    return 0;
  }
  const CSprite* sprite = sprites[kCaptureSlot];
  if (!sprite || !sprite->IsEffectActive() || !MayContinue(this)) return FinishCapture(this);
  return 0;
}

int CGameApp::FadeFromBlack(int ms) {
  if (story.frameCounter == 0) ShowBackground("bg\\black");
  return CrossFade(ms);
}

int CGameApp::MaskWipe(int kind, int ms) {
  if (story.frameCounter != 0) return RunMaskTransition(this);
  InvalidateCanvas(this);
  CaptureOldScreen(this, true);
  // A wipe that cannot start finishes at once rather than waiting for ever.
  if (!transition->MakeMask(kind, ms, TRANSITION_SOFT_WIPE) || !transition->Start()) return FinishCapture(this);
  return 0;
}

// A rule picture the pack lists that does not load is damaged data (or a
// picture the converter could not make), told once a run; a pack without one
// is normal and the transition simply ends.
static void TellDamagedRule(CGameApp* app) {
  static const std::string entry = std::string(TRANSITION_RULE_PICTURE) + ".rbp";
  app->TellDamagedPicture(entry.c_str());
}

int CGameApp::RuleTransition(int kind, int ms) {
  if (story.frameCounter != 0) return RunMaskTransition(this);
  ClearStage();
  InvalidateCanvas(this);
  CaptureOldScreen(this, true);
  if (!LoadRule(transition, kind, TRANSITION_RULE_PICTURE, picturePackPath, picturePack, ms)) {
    TellDamagedRule(this);
    return FinishCapture(this);
  }
  if (!transition->Start()) return FinishCapture(this);
  return 0;
}

void CGameApp::BeginRuleTransition(int kind) {
  CaptureOldScreen(this, true);
  if (!LoadRule(transition, kind, TRANSITION_RULE_PICTURE, picturePackPath, picturePack, 2000)) {
    TellDamagedRule(this);
    FinishCapture(this);
  } else if (!transition->Start()) {
    FinishCapture(this);
  }
  InvalidateCanvas(this);
}

int CGameApp::WhiteFlash(int kind) {
  const int duration = kind == 1 ? 350 : 0;
  InvalidateCanvas(this);
  if (story.frameCounter == 0) {
    DeleteSprite(kCaptureSlot, 0);
    FreePictureSlot(kCaptureSlot);
    MakeRectSprite(kCaptureSlot, 0, 0, kCanvasWidth, kCanvasHeight, 0xFFFFFF, 0);
    if (sprites[kCaptureSlot]) sprites[kCaptureSlot]->SetLevel(256);
    effect.startTime = NowMs();
    return 0;
  }
  const DWORD e = NowMs() - effect.startTime;
  if (e < kFlashHoldMs) return 0;
  if (e - kFlashHoldMs >= static_cast<DWORD>(duration)) {
    DeleteSprite(kCaptureSlot, 1);
    FreePictureSlot(kCaptureSlot);
    return 1;
  }
  const int level = 256 - static_cast<int>((e - kFlashHoldMs) * 256 / static_cast<DWORD>(duration));
  if (sprites[kCaptureSlot]) sprites[kCaptureSlot]->SetLevel(std::min(256, level));
  return 0;
}

int CGameApp::ShakeScreen(int direction, int swings) {
  if (story.frameCounter == 0) {
    if (!settings.effectUse || input.count[IN_LEFT] != 0 || settings.skipRunning) return 1;
    if (direction == 0)
      shakeX = GetScreenWidth() * 16 / GetCanvasWidth();
    else
      shakeY = GetScreenHeight() * 16 / GetCanvasHeight();
    effect.startTime = NowMs();
    effect.shakeSwings = swings * 2;
    return 0;
  }
  if (NowMs() - effect.startTime <= kShakeSwingMs) return 0;
  if (--effect.shakeSwings <= 0) {
    shakeX = shakeY = 0;
    InvalidateCanvas(this);
    return 1;
  }
  shakeX = -shakeX;
  shakeY = -shakeY;
  effect.startTime = NowMs();
  return 0;
}
