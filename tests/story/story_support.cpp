#include "tests/story/story_support.h"

#include <cstring>

#include "common/sjis.h"

namespace story_test {

World& TheWorld() {
  static World w;
  return w;
}

int World::Finish(const std::string& name) {
  const int n = ++calls[name];
  auto it = framesToFinish.find(name);
  const int need = it == framesToFinish.end() ? 1 : it->second;
  if (n < need) return 0;
  calls[name] = 0;
  return 1;
}

namespace {

void Log(const std::string& s) { TheWorld().log.push_back(s); }
std::string N(int v) { return std::to_string(v); }

// A local-heap copy of the bytes, as the pack reader hands entries out.
BYTE* LocalCopy(const std::vector<uint8_t>& bytes, DWORD* size) {
  BYTE* p = static_cast<BYTE*>(LocalAlloc(LMEM_FIXED, bytes.empty() ? 1 : bytes.size()));
  if (!bytes.empty()) std::memcpy(p, bytes.data(), bytes.size());
  *size = DWORD(bytes.size());
  return p;
}

BYTE* ReadScript(CGameApp*, const char* entry, DWORD* size) {
  Log(std::string("ReadScript(") + entry + ")");
  for (const auto& [name, bytes] : TheWorld().scripts)
    if (SjisEqual(name.c_str(), entry)) return LocalCopy(bytes, size);
  if (TheWorld().anyScript) return LocalCopy(*TheWorld().anyScript, size);
  *size = 0;
  return nullptr;
}
void ShowWindow(CGameApp* app, int on) {
  Log("ShowMessageWindow(" + N(on) + ")");
  app->message.windowShown = on;
}
void Speaker(CGameApp*, const char* name) { Log(std::string("SetSpeakerName(") + name + ")"); }
int Text(CGameApp*, const char* text) {
  char decoded[300];
  DecodeText(decoded, sizeof decoded, text, 1);
  Log(std::string("ShowMessageText(") + decoded + ")");
  return TheWorld().Finish("ShowMessageText");
}
int WaitPage(CGameApp*) {
  Log("WaitTextPage");
  return TheWorld().Finish("WaitTextPage");
}
void Reshow(CGameApp*, int on, const char* name, const char* text) {
  Log("ReshowMessage(" + N(on) + "," + name + "," + text + ")");
}
void Background(CGameApp*, const char* name) { Log(std::string("ShowBackground(") + name + ")"); }
void Scroll(CGameApp*, const char* name) { Log(std::string("ShowScrollBackground(") + name + ")"); }
void Viewport(CGameApp* app) { Log("ApplyViewport(" + N(app->stage.scrollX) + "," + N(app->stage.scrollY) + ")"); }
void Character(CGameApp*, int s, const char* name) { Log("ShowCharacter(" + N(s) + "," + name + ")"); }
void Layer(CGameApp*, int s, const char* name) { Log("ShowLayer(" + N(s) + "," + name + ")"); }
int MoveChar(CGameApp*, int s, int x, int y) {
  Log("MoveCharacter(" + N(s) + "," + N(x) + "," + N(y) + ")");
  return TheWorld().Finish("MoveCharacter");
}
int MoveBack(CGameApp*, int x, int y, int mode) {
  Log("MoveBackground(" + N(x) + "," + N(y) + "," + N(mode) + ")");
  return mode == 1 ? 1 : TheWorld().Finish("MoveBackground");
}
void Movie(CGameApp*, const char* name) { Log(std::string("PlayMovie(") + name + ")"); }
void Bgm(CGameApp*, int word) { Log("PlayBgm(" + N(word) + ")"); }
void Se(CGameApp*, int n, int loop) { Log("PlaySe(" + N(n) + "," + N(loop) + ")"); }
void Voice(CGameApp*, const char* name, int force) { Log(std::string("PlayVoice(") + name + "," + N(force) + ")"); }
void Stop(CGameApp*, int channel) { Log("StopChannel(" + N(channel) + ")"); }
void Snapshot(CGameApp*) { Log("SnapshotSaveState"); }
int Seen(CGameApp*, int list, const char* name) {
  Log("AddSeenName(" + N(list) + "," + name + ")");
  if (list != 1) return 1;
  for (const std::string& s : TheWorld().seenB)
    if (SjisEqual(s.c_str(), name)) return 0;
  TheWorld().seenB.push_back(name);
  return 1;
}
void ReadFlag(CGameApp*, const char* script, int block) {
  TheWorld().readFlags.push_back(std::string(script) + ":" + N(block));
}
int Fade(CGameApp*, int ms) {
  Log("CrossFade(" + N(ms) + ")");
  return TheWorld().Finish("CrossFade");
}
int FromBlack(CGameApp*, int ms) {
  Log("FadeFromBlack(" + N(ms) + ")");
  return TheWorld().Finish("FadeFromBlack");
}
int Flash(CGameApp*, int kind) {
  Log("WhiteFlash(" + N(kind) + ")");
  return 1;
}
int Shake(CGameApp*, int d, int swings) {
  Log("ShakeScreen(" + N(d) + "," + N(swings) + ")");
  return 1;
}
int Wipe(CGameApp*, int kind, int ms) {
  Log("MaskWipe(" + N(kind) + "," + N(ms) + ")");
  return 1;
}
int Rule(CGameApp*, int kind, int ms) {
  Log("RuleTransition(" + N(kind) + "," + N(ms) + ")");
  return 1;
}
void StartWeather(CGameApp* app, int kind, int maximum, int dir, int speed, int strength) {
  Log("StartParticles(" + N(kind) + "," + N(maximum) + "," + N(dir) + "," + N(speed) + "," + N(strength) + ")");
  if (app->weather.kind == 0) app->weather.kind = kind;
}
void StopWeather(CGameApp* app) {
  Log("StopParticles");
  app->weather.kind = 0;
}
void StepWeather(CGameApp*) { Log("StepParticles"); }
// Canvas units: the stylus point is taken as given in canvas units.
int Hit(CGameApp* app, int x, int y, int w, int h) {
  const int px = int(app->input.stylusX), py = int(app->input.stylusY);
  return px >= x && px <= x + w && py >= y && py <= y + h;
}
void QuickOption(CGameApp*) { Log("OpenQuickOption"); }
void Alarm(CGameApp*) { Log("BuildAlarmScreen"); }
int Slides(CGameApp*, int set) {
  Log("RunEndingSlides(" + N(set) + ")");
  return TheWorld().Finish("RunEndingSlides");
}
int Roll(CGameApp*, int variant) {
  Log("RunEndingRoll(" + N(variant) + ")");
  return TheWorld().Finish("RunEndingRoll");
}
void NotLoaded(CGameApp*, const char* entry) { Log(std::string("ScriptNotLoaded(") + entry + ")"); }

constexpr StoryCalls kRecorders = {
    .readScript = ReadScript,
    .showMessageWindow = ShowWindow,
    .setSpeakerName = Speaker,
    .showMessageText = Text,
    .waitTextPage = WaitPage,
    .reshowMessage = Reshow,
    .showBackground = Background,
    .showScrollBackground = Scroll,
    .applyViewport = Viewport,
    .showCharacter = Character,
    .showLayer = Layer,
    .moveCharacter = MoveChar,
    .moveBackground = MoveBack,
    .playMovie = Movie,
    .playBgm = Bgm,
    .playSe = Se,
    .playVoice = Voice,
    .stopChannel = Stop,
    .snapshotSaveState = Snapshot,
    .addSeenName = Seen,
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
    .scriptNotLoaded = NotLoaded,
};

}  // namespace

RecordingStory::RecordingStory() : saved_(g_StoryCalls), savedOpcodes_(g_OpcodeHandlers) {
  TheWorld() = World{};
  g_StoryCalls = kRecorders;
}

RecordingStory::~RecordingStory() {
  g_StoryCalls = saved_;
  g_OpcodeHandlers = savedOpcodes_;
}

}  // namespace story_test
