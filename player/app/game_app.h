// The player's one application object: the window, and every long-lived
// member of the game, declared in sections by topic.  Each topic's state is
// one record, and each topic's operations are defined in that topic's file.
#pragma once

#include <windows.h>

#include "player/core/input.h"
#include "player/core/settings.h"
#include "player/core/sprite.h"
#include "player/core/window_base.h"
#include "player/media/transition.h"
#include "player/scenario/game_mode.h"
#include "player/scenario/message_window.h"
#include "player/scenario/save_file.h"
#include "player/scenario/sound_requests.h"
#include "player/scenario/stage.h"
#include "player/scenario/story.h"
#include "player/scenario/system_data.h"
#include "player/scenario/weather.h"
#include "player/screens/screen_state.h"

class CScreen;
class CSoundMixer;
class CPicture;
class CTextWindow;
class CDirtyList;
class CSystemMenu;
class PackReader;
class FontList;

constexpr int kPathSize = 1024;

class CGameApp : public CWindowBase {
 public:
  CGameApp();
  ~CGameApp() override;

  LRESULT HandleMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) override;

  // ---- Platform: construction, window, input (game_app.cpp, winmain.cpp, input.cpp)
  void InitPlatformMembers();
  void FreePlatformMembers();
  void GetProgramFolder(char* out) const;
  LRESULT OnWindowMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  void OnKey(HWND hwnd, int code, int down);
  void OnStylusMove(POINT p);
  void LatchInput();
  void OnPaint(HWND hwnd);
  void WatchForeground();
  void Activate();
  void Deactivate();

  // ---- Frame composition (compose.cpp)
  void ResetDrawBuckets();
  void FillDrawBuckets();
  void RemoveFinishedSprites();
  void InvalidateChangedSprites();
  void DrawSpriteInRect(SpriteDrawItem* item, const RECT* clip);
  SpriteDrawItem* DrawChainHead() { return &buckets[kPriorities - 1]; }

  // ---- Game life: modes and play-throughs (game_members.cpp, game_mode.cpp)
  void InitGameMembers();
  void FreeGameMembers();
  void DispatchMode();
  // The handler of a mode in the mode table; null when the mode runs nothing.
  static ModeHandler FindModeHandler(int mode);
  void NewGame();
  void LeaveGame();
  int RunBackToTitle();

  // ---- Story: script and interpreter
  int RunStory();
  int LoadScript(const char* name);
  int RunChoice();
  int WaitTenths(int tenths, int skippable);
  int RunTransition(uint16_t operand, int* windowJustHidden);
  uint32_t NextInstruction(uint32_t position);
  uint32_t FindLabel(const char* name);

  // ---- Message window (message_window.cpp)
  void BuildMessageWindow();
  void ShowMessageWindow(int on);
  void ReleaseTextWindow();
  void UpdateMessageWindowAlpha();
  // on = 1 shows the name and text at once; 0 clears the text.
  void ReshowMessage(int on, const char* name, const char* text);
  // Once per frame; non-zero when the page may be left.
  int WaitTextPage();
  // The side button that acted, or -1.
  int HitSideButton();
  void HighlightSideButton(int n);
  void ShowPageCursor(int on);
  // READ_SKIP is on and the current block of the current script is unread.
  int CurrentBlockUnread();

  // ---- Stage: slot operations in canvas units (stage_slots.cpp), backgrounds and characters (stage.cpp)
  void InvalidateVirtualRect(int x, int y, int w, int h);
  // The last stylus point lies within the rectangle, edges included.
  int HitTest(int x, int y, int w, int h) const;
  void DeleteSprite(int n, int invalidate);
  void DeleteAllSprites();
  void SetSpriteRect(int n, int pictureSlot, int x, int y, int w, int h);
  void SetSpriteCell(int n, int cell, int nextCell, int durationMs, int pictureSlot, int x, int y, int w, int h,
                     int offsetX, int offsetY, int animation);
  void SetSpriteCell(int n, int cell, int nextCell, int durationMs, int pictureSlot, int x, int y, int w, int h,
                     int offsetX, int offsetY);
  // ".rbp" in place of the name's extension; 0 (error bit set) on failure.
  // A picture the pack lists that does not load is told as damaged data,
  // one the pack does not list in the missing-picture box, once a run.
  int LoadPictureSlot(int n, const char* name, int flag);
  // After a read of entryName from the picture pack at packPath failed: 1
  // when the pack lists the entry (damaged data), and the damaged-data box
  // names it, once a run; 0 for an entry the pack lacks.
  int TellDamagedEntry(const char* packPath, const char* entryName);
  // As TellDamagedEntry for a picture entry (a rule picture too) of the
  // picture pack; an entry listed without bytes, a picture the converter
  // could not make, is told as such in the same box, once a run.
  int TellDamagedPicture(const char* entryName);
  int CreateAlphaPicture(int n, int w, int h);
  int CreatePlainPicture(int n, int w, int h);
  void FreePictureSlot(int n);
  void FreeAllPictureSlots();
  int IsPictureSlotUsed(int n) const;
  // The new sprite, or null for a slot outside 0-511.
  CSprite* MakeRectSprite(int n, int x, int y, int w, int h, uint32_t color, int priority);
  // Negative sx, sy become 0; negative sw, sh take the picture's whole size.
  CSprite* MakePictureSprite(int n, int pictureSlot, int sx, int sy, int sw, int sh, int x, int y, int ox, int oy,
                             int priority);
  void ShowBackground(const char* name);
  void ClearStage();
  void ShowScrollBackground(const char* name);
  void ApplyViewport();
  // Character slot s is 0 or 1; the name "-" removes the character.
  void ShowCharacter(int s, const char* name);
  void ShowLayer(int s, const char* name);
  void RemoveCharacter(int s);
  void RemoveLayer(int s);
  // Once per frame; 1 when the glide has ended.
  int MoveCharacter(int s, int x, int y);
  int MoveBackground(int x, int y, int mode);
  void PlayMovie(const char* name);

  // ---- Sound requests (sound_requests.cpp)
  void PlayBgm(int word);
  void PlaySystemVoice(int character, int number);
  void ApplyChannelVolumes(int kind, int percent);

  // ---- Save files
  void SnapshotSaveState();
  // A SaveWriteResult: refused without a snapshot of a game (the title,
  // before the first message of a new game, after leaving a game); a failed
  // write keeps the older file and the menus and records the file and error.
  int WriteSaveFile(int slot);
  // 1 when restored; a refused file changes nothing of the running game.
  int RestoreSaveFile(int slot);
  void CaptureThumbnail();
  void FreeThumbnail();
  int LoadSlotThumbnail(int pictureSlot, int saveSlot);

  // ---- System data
  // 1 when system.dat was written whole (GetLastError then tells NO_ERROR, or
  // why the disk did not confirm its rename); 0 leaves the older file and
  // GetLastError tells why.
  int WriteSystemData();
  void ReadSystemData();
  void ApplyEventPictureRule();

  // ---- Screen transitions and effects: 0 while running, 1 when finished
  int CrossFade(int ms);
  int FadeFromBlack(int ms);
  int MaskWipe(int kind, int ms);
  int RuleTransition(int kind, int ms);
  void BeginRuleTransition(int kind);
  int WhiteFlash(int kind);
  int ShakeScreen(int direction, int swings);

  // ---- Weather particles
  void StartParticles(int kind, int maximum, int windDirection, int windSpeed, int strength);
  void StopParticles();
  void StepParticles();
  int CountActiveParticles() const;
  void SpawnPetal();
  void SpawnSnowflake();
  void SpawnPetalOrSnow();

  // ---- System screens: Open enters the mode, Build makes its sprites, Run is one frame
  int RunTitle();
  int BuildTitleMenu(int pictureSetRow, int menuLevel, int extrasLevel);
  void OpenConfirm(int question);
  void BuildConfirmDialog();
  int RunConfirm();
  void OpenQuickOption();
  void BuildQuickOption();
  int RunQuickOption();
  void OpenSaveLoad(int direction);
  void BuildSaveLoadScreen(int page);
  int RunSaveLoad();
  int RunLoadSelected();
  void OpenSystemConfig();
  void BuildSystemConfig();
  int RunSystemConfig();
  void OpenVoiceConfig();
  void BuildVoiceConfig();
  int RunVoiceConfig();
  void CloseVoiceConfig();
  void OpenMascotVoiceScreen();
  int RunMascotVoiceScreen();
  void OpenSaveIconScreen();
  int RunSaveIconScreen();
  void BuildCgMode(int tab, int page);
  int RunCgMode();
  void BuildSceneReplay(int tab, int page);
  int RunSceneReplay();
  int RunMapMove();
  void BuildAlarmScreen();
  int RunAlarmChoice();
  int RunObakeGame();
  int RunEndingRoll(int variant);
  int RunEndingSlides(int set);
  void BuildMusicMode(int scroll, int repeat);
  int RunMusicMode();
  void BuildInterview(int page, int playing);
  int RunInterview();
  void PlayInterviewVoice(int number);

  // ==== State
  // Platform members.
  CScreen* screen;
  char savePath[kPathSize];
  char picturePackPath[kPathSize];
  char scriptPackPath[kPathSize];
  char sePath[kPathSize];
  char voicePackPath[kPathSize];
  char musicPath[kPathSize];
  char dataPath[kPathSize];
  CSoundMixer* mixer;
  InputState input;
  KeyMap keyMap;
  CPicture* pictures[kPictureSlots];
  CSprite* sprites[kSpriteSlots];
  CTextWindow* textWindow;
  CDirtyList* dirty;
  CSystemMenu* menu;
  CTransition* transition;
  PackReader* picturePack;
  PackReader* voicePack;
  FontList* fontList;
  int32_t active;
  GameSettings settings;
  SpriteDrawItem buckets[kPriorities];
  SpriteDrawItem* insertAfter[kPriorities];
  char programFolder[kPathSize];
  int32_t programFolderOk;
  // The program folder as the system names it; programFolderNotSjis is 1
  // when code page 932 cannot hold that name (programFolderOk is then 0).
  WCHAR programFolderWide[kPathSize];
  int32_t programFolderNotSjis;
  int32_t clearFirst;
  int32_t shakeX, shakeY;
  GXKeyList gxKeys;

  // Game life.
  static ModeEntry modeTable[kModeCount];
  uint32_t errorWord;       // kErrorPicture... bits; non-zero: the frame step closes the window
  int32_t damagedDataTold;  // a box of pack data that did not load was shown in this run
  int32_t gameMode;
  int32_t phase;
  int32_t saveAllowed;
  int32_t loadAllowed;

  // Topic records.
  StoryState story;
  CScriptFile script;
  StageState stage;
  MessageState message;
  SoundRequestState sound;
  CStorySound soundRequests;  // the requests on the mixer, bound to sound
  SaveStateBlock saveState;
  SaveSlotState saveSlots;
  SystemDataState systemData;
  EffectState effect;
  WeatherState weather;

  // Screens.
  TitleState title;
  QuickOptionState quickOption;
  ConfirmState confirm;
  SystemConfigState systemConfig;
  SaveLoadState saveLoad;
  VoiceConfigState voiceConfig;
  CharacterChoiceState characterChoice;
  CgModeState cgMode;
  SceneReplayState sceneReplay;
  MapState map;
  AlarmState alarm;
  ObakeState obake;
  MusicModeState musicMode;
  InterviewState interview;
  EndingState ending;

 private:
  int CreateBlankPicture(int n, int w, int h, int kind);
  void ShowFigure(int s, const char* name, bool layer);
  // Glides (x, y) toward the target over distance x num / den ms.
  int Glide(GlideState& glide, int32_t& x, int32_t& y, int tx, int ty, int num, int den);
  int GlideSkipped() const;
  void HideMessageWindowByPlayer();
  void OpenBacklog();
  void CloseBacklog();
  int EndTextPage();
};

// Compose the frame's dirty rectangles; the message text draws itself last.
int ComposeFrame(CGameApp* app, SpriteDrawItem* head);
void ClearRect(uint16_t* pixels, int pitch, int height, const RECT* rect);
// Presents the frame's dirty rectangles, or the whole screen, shifted by the
// shake offsets when given.
void PresentFrame(CGameApp* app, int whole, const int* shake);

// One turn of the main loop when no message waits: 1 after a frame turn,
// 0 after a menu turn.
int FrameStep(CGameApp* app);
LRESULT AppWindowProc(CGameApp* app, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

// The application object of the running program (null outside WinMain).
CGameApp* GetGameApp();

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int showCmd);
