// The story's requests of the other topics, as the running game makes them.
#include "player/app/game_app.h"
#include "player/core/pack_reader.h"
#include "player/media/sound_mixer.h"
#include "player/scenario/story.h"

namespace {

BYTE* ReadScript(CGameApp* app, const char* entryName, DWORD* size) {
  return ReadPackEntry(app->picturePack, app->scriptPackPath, entryName, size);
}
// A script the pack lists that gave no code is damaged data; a missing one
// is not told.
void ScriptNotLoaded(CGameApp* app, const char* entryName) { app->TellDamagedEntry(app->scriptPackPath, entryName); }
void ShowWindow(CGameApp* app, int on) { app->ShowMessageWindow(on); }
int WaitPage(CGameApp* app) { return app->WaitTextPage(); }
void Reshow(CGameApp* app, int on, const char* name, const char* text) { app->ReshowMessage(on, name, text); }
void Background(CGameApp* app, const char* name) { app->ShowBackground(name); }
void ScrollBackground(CGameApp* app, const char* name) { app->ShowScrollBackground(name); }
void Viewport(CGameApp* app) { app->ApplyViewport(); }
void Character(CGameApp* app, int slot, const char* name) { app->ShowCharacter(slot, name); }
void Layer(CGameApp* app, int slot, const char* name) { app->ShowLayer(slot, name); }
int MoveChar(CGameApp* app, int slot, int x, int y) { return app->MoveCharacter(slot, x, y); }
int MoveBack(CGameApp* app, int x, int y, int mode) { return app->MoveBackground(x, y, mode); }
void Movie(CGameApp* app, const char* name) { app->PlayMovie(name); }
void Bgm(CGameApp* app, int word) { app->PlayBgm(word); }
void StopChannel(CGameApp* app, int channel) {
  if (app->mixer) app->mixer->StopChannel(channel);
}
void Snapshot(CGameApp* app) { app->SnapshotSaveState(); }
void ReadFlag(CGameApp* app, const char* scriptName, int block) { SetReadFlag(app, scriptName, block); }
int Fade(CGameApp* app, int ms) { return app->CrossFade(ms); }
int FromBlack(CGameApp* app, int ms) { return app->FadeFromBlack(ms); }
int Flash(CGameApp* app, int kind) { return app->WhiteFlash(kind); }
int Shake(CGameApp* app, int direction, int swings) { return app->ShakeScreen(direction, swings); }
int Wipe(CGameApp* app, int kind, int ms) { return app->MaskWipe(kind, ms); }
int Rule(CGameApp* app, int kind, int ms) { return app->RuleTransition(kind, ms); }
void StartWeather(CGameApp* app, int kind, int maximum, int direction, int speed, int strength) {
  app->StartParticles(kind, maximum, direction, speed, strength);
}
void StopWeather(CGameApp* app) { app->StopParticles(); }
void StepWeather(CGameApp* app) { app->StepParticles(); }
int Hit(CGameApp* app, int x, int y, int w, int h) { return app->HitTest(x, y, w, h); }
void QuickOption(CGameApp* app) { app->OpenQuickOption(); }
void Alarm(CGameApp* app) { app->BuildAlarmScreen(); }
int Slides(CGameApp* app, int set) { return app->RunEndingSlides(set); }
int Roll(CGameApp* app, int variant) { return app->RunEndingRoll(variant); }

constexpr StoryCalls kProduction = {
    .readScript = ReadScript,
    .showMessageWindow = ShowWindow,
    .setSpeakerName = SetSpeakerName,
    .showMessageText = ShowMessageText,
    .waitTextPage = WaitPage,
    .reshowMessage = Reshow,
    .showBackground = Background,
    .showScrollBackground = ScrollBackground,
    .applyViewport = Viewport,
    .showCharacter = Character,
    .showLayer = Layer,
    .moveCharacter = MoveChar,
    .moveBackground = MoveBack,
    .playMovie = Movie,
    .playBgm = Bgm,
    .playSe = PlaySe,
    .playVoice = PlayVoice,
    .stopChannel = StopChannel,
    .snapshotSaveState = Snapshot,
    .addSeenName = AddSeenName,
    .setReadFlag = ReadFlag,
    .crossFade = Fade,
    .fadeFromBlack = FromBlack,
    .whiteFlash = Flash,
    .shakeScreen = Shake,
    .maskWipe = Wipe,
    .ruleTransition = Rule,
    .startParticles = StartWeather,
    .stopParticles = StopWeather,
    .stepParticles = StepWeather,
    .hitTest = Hit,
    .openQuickOption = QuickOption,
    .buildAlarmScreen = Alarm,
    .runEndingSlides = Slides,
    .runEndingRoll = Roll,
    .scriptNotLoaded = ScriptNotLoaded,
};

}  // namespace

StoryCalls g_StoryCalls = kProduction;
