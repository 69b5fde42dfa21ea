// The endings: the roll of full-screen pictures scrolling up on the clock,
// and the slide shows cross-fading from one scene background to the next.
// Both run one call a frame inside the story and end early on a skip.
#include <cstdio>
#include <new>

#include "player/app/game_app.h"
#include "player/core/display.h"
#include "player/core/picture.h"
#include "player/media/sound_mixer.h"
#include "player/screens/screen_common.h"
#include "player/screens/story_screens.h"

namespace {

// Roll: 18 pictures of 600 design pixels scroll past in 280 s, picture 19
// stays 2 s and then fades out in 1 s.
constexpr int64_t kRollDistance = 10800;
constexpr int64_t kRollMs = 280000;
constexpr DWORD kRollHoldEnd = 282000;
constexpr DWORD kRollFadeMs = 1000;
constexpr int kRollSlot = 10;  // and 11, sprite and picture slot alike
constexpr int kRollPriority = 16;
const char* const kRollNames[2] = {"AdvData\\GRP\\ED\\Gend_%02d.zev", "AdvData\\GRP\\ED\\Gend_hsr_%02d.zev"};

struct SlideSet {
  const char* pattern;
  int slides;
};
const SlideSet kSlideSets[6] = {
    {"ED\\ed_vlm_%02d", 24}, {"ED\\ed_dov_%02d", 24}, {"ED\\ed_brs_%02d", 19},
    {"ED\\ed_fnr_%02d", 18}, {"ED\\ed_olw_%02d", 18}, {"ED\\ed_lup_%02d", 19},
};
constexpr int kFirstHoldVariable = 1585;  // + slide number, seconds
constexpr DWORD kCrossFadeMs = 1000;
constexpr int kCaptureSlot = kSlotScreenCopy;

// A skip: a tap, KEY_C or RIGHT freshly pressed (cleared), the skip mode, or
// LEFT held.
int TakeSkip(CGameApp* app) {
  InputState& in = app->input;
  int skip = in.tap != 0 || in.count[IN_KEY_C] == 1 || in.count[IN_RIGHT] == 1;
  in.tap = 0;
  if (in.count[IN_KEY_C] == 1) in.count[IN_KEY_C] = 0;
  if (in.count[IN_RIGHT] == 1) in.count[IN_RIGHT] = 0;
  if (app->settings.skipRunning || in.count[IN_LEFT] > 0) skip = 1;
  return skip;
}

void LoadRollPicture(CGameApp* app, int variant, int slot, int number) {
  char name[64];
  std::snprintf(name, sizeof name, kRollNames[variant], number);
  app->LoadPictureSlot(slot, name, 0);
}

void RemoveRoll(CGameApp* app) {
  for (int n = kRollSlot; n <= kRollSlot + 1; ++n) {
    app->DeleteSprite(n, 1);
    app->FreePictureSlot(n);
  }
}

// 1 when the roll has ended on its own.
int StepRoll(CGameApp* app, int variant) {
  EndingState& e = app->ending;
  const DWORD now = NowMs();
  const DWORD elapsed = now - e.rollStart;
  const int64_t scroll = int64_t(elapsed) * kRollDistance / kRollMs;
  if (scroll < kRollDistance) {
    const int y = int(600 * int64_t(e.rollCount) - scroll);
    const int upper = kRollSlot + e.rollUpper;
    if (y + 600 < 0) {
      // One picture swap a call: the upper picture has left the screen and
      // comes back below with the next picture.
      app->DeleteSprite(upper, 1);
      app->FreePictureSlot(upper);
      LoadRollPicture(app, variant, upper, e.rollCount + 3);
      MakeChip(app, upper, upper, 0, 0, 800, 600, 0, 600, kRollPriority);
      e.rollUpper ^= 1;
      ++e.rollCount;
      SetChipPosition(app, kRollSlot + e.rollUpper, 0, y + 600);
      SetChipPosition(app, kRollSlot + (e.rollUpper ^ 1), 0, y + 1200);
    } else {
      SetChipPosition(app, upper, 0, y);
      SetChipPosition(app, kRollSlot + (e.rollUpper ^ 1), 0, y + 600);
    }
    return 0;
  }
  if (elapsed < kRollHoldEnd) return 0;
  const DWORD t = elapsed - kRollHoldEnd;
  if (t < kRollFadeMs) {
    const int level = 256 - int(t * 256 / kRollFadeMs);
    SetChipLevel(app, kRollSlot, level);
    SetChipLevel(app, kRollSlot + 1, level);
    return 0;
  }
  RemoveRoll(app);
  return 1;
}

// The hold after slide n in ms; a negative variable counts as 0.
DWORD SlideHold(int n) {
  const int seconds = g_ScriptVariables[kFirstHoldVariable + n];
  return seconds > 0 ? DWORD(seconds) * 1000 : 0;
}

void ShowSlideBackground(CGameApp* app, const SlideSet& set, int number) {
  char name[32];
  std::snprintf(name, sizeof name, set.pattern, number);
  app->ShowBackground(name);
}

void RemoveCapture(CGameApp* app) {
  app->DeleteSprite(kCaptureSlot, 1);
  app->FreePictureSlot(kCaptureSlot);
}

// The next slide becomes the background under a capture of the screen as it
// was, which then fades away.
void ShowNextSlide(CGameApp* app, const SlideSet& set, DWORD hold) {
  EndingState& e = app->ending;
  ShowSlideBackground(app, set, e.slideCount + 1);
  app->DeleteSprite(kCaptureSlot, 1);
  if (app->screen) {
    if (!app->pictures[kCaptureSlot]) app->pictures[kCaptureSlot] = new (std::nothrow) CPicture;
    CPicture* picture = app->pictures[kCaptureSlot];
    // The capture's canvas size is not set: the whole canvas is named.
    if (picture && CPicture::CaptureScreen(picture, app->screen))
      MakeChip(app, kCaptureSlot, kCaptureSlot, 0, 0, 800, 600, 0, 0, 0);
  }
  e.slideBase += hold;
  ++e.slideCount;
  e.slideStep = 1;
}

void StepSlides(CGameApp* app, const SlideSet& set) {
  EndingState& e = app->ending;
  const DWORD elapsed = NowMs() - e.slideBase;
  if (e.slideStep == 0) {
    if (e.slideCount >= set.slides) return;
    const DWORD hold = e.slideCount >= 1 ? SlideHold(e.slideCount) : 0;
    if (e.slideCount >= 1 && elapsed < hold) return;
    ShowNextSlide(app, set, hold);
    return;
  }
  if (elapsed < kCrossFadeMs) {
    SetChipLevel(app, kCaptureSlot, 256 - int(elapsed * 256 / kCrossFadeMs));
    return;
  }
  RemoveCapture(app);
  e.slideBase += kCrossFadeMs;
  e.slideStep = 0;
}

}  // namespace

int CGameApp::RunEndingRoll(int variant) {
  if (variant != 0 && variant != 1) return 1;
  EndingState& e = ending;
  if (story.frameCounter == 0) {
    ClearLayerAndBackgroundName(this);
    LoadRollPicture(this, variant, kRollSlot, 1);
    LoadRollPicture(this, variant, kRollSlot + 1, 2);
    MakeChip(this, kRollSlot, kRollSlot, 0, 0, 800, 600, 0, 0, kRollPriority);
    MakeChip(this, kRollSlot + 1, kRollSlot + 1, 0, 0, 800, 600, 0, 600, kRollPriority);
    ClearStage();
    e.rollStart = NowMs();
    e.rollCount = 0;
    e.rollUpper = 0;
  }
  if (StepRoll(this, variant)) return 1;
  if (TakeSkip(this)) {
    RemoveRoll(this);
    ForgetMusic(this);
    return 1;
  }
  return 0;
}

int CGameApp::RunEndingSlides(int set) {
  if (set < 0 || set >= int(sizeof kSlideSets / sizeof kSlideSets[0])) return 1;
  const SlideSet& s = kSlideSets[set];
  EndingState& e = ending;
  if (story.frameCounter == 0) {
    ClearLayerAndBackgroundName(this);
    e.slideBase = NowMs();
    e.slideCount = 0;
    e.slideStep = 0;
  }
  StepSlides(this, s);
  if (TakeSkip(this)) {
    RemoveCapture(this);
    ShowSlideBackground(this, s, s.slides);
    ForgetMusic(this);
    return 1;
  }
  return e.slideStep == 0 && e.slideCount >= s.slides ? 1 : 0;
}
