// The black curtain of the story screens and forgetting the music.
#include "player/screens/story_screens.h"

#include "player/app/game_app.h"
#include "player/core/display.h"
#include "player/media/sound_mixer.h"
#include "player/screens/screen_common.h"

namespace {
constexpr int kCurtainSprite = 0;
constexpr uint32_t kCurtainMs = 1000;
}  // namespace

void DrawCurtain(CGameApp* app, uint32_t* start) {
  app->MakeRectSprite(kCurtainSprite, 0, 0, 800, 600, 0x000000, 0);
  SetChipLevel(app, kCurtainSprite, 0);
  *start = NowMs();
}

int StepCurtain(CGameApp* app, uint32_t start) {
  const uint32_t elapsed = NowMs() - start;
  const uint32_t level = elapsed * 256 / kCurtainMs;
  SetChipLevel(app, kCurtainSprite, level > 256 ? 256 : int(level));
  return elapsed >= kCurtainMs;
}

void ForgetMusic(CGameApp* app) {
  if (app->mixer) app->mixer->StopChannel(kSoundChannelMusic);
  app->sound.currentTrack = -1;
  app->sound.trackMode = 0;
}

void ClearLayerAndBackgroundName(CGameApp* app) {
  app->DeleteSprite(kSlotScrollBackground, 1);
  app->FreePictureSlot(kSlotScrollBackground);
  app->stage.backgroundName[0] = 0;
}

int TakeQuickOption(CGameApp* app) {
  if (!TakeFreshPress(&app->input, IN_KEY_A)) return 0;
  app->OpenQuickOption();
  return 1;
}
