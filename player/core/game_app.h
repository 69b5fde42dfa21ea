// The player's one application object: the window, and every long-lived
// member of the game, grouped by the subsystem that owns them.
#pragma once

#include <windows.h>

#include "player/core/input.h"
#include "player/core/settings.h"
#include "player/core/sprite.h"
#include "player/core/window_base.h"
#include "player/scenario/message_window_state.h"
#include "player/scenario/stage_state.h"
#include "player/scenario/story_sound.h"
#include "player/scenario/game_members.h"
#include "player/screens/screen_members.h"

class CScreen;
class CSoundMixer;
class CPicture;
class CTextWindow;
class CDirtyList;
class CSystemMenu;
class CTransition;
class PackReader;
class FontList;

constexpr int kPathSize = 1024;

class CGameApp : public CWindowBase, public CGameMembers, public CScreenMembers {
 public:
  CGameApp();
  ~CGameApp() override;

  LRESULT HandleMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) override;

  // Construction and destruction stages.
  void InitPlatformMembers();
  void FreePlatformMembers();
  void InitGameMembers();
  void FreeGameMembers();

  void GetProgramFolder(char* out) const;
  LRESULT OnWindowMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  void OnKey(HWND hwnd, int code, int down);
  void OnStylusMove(POINT p);
  void LatchInput();
  void OnPaint(HWND hwnd);
  void WatchForeground();
  void Activate();
  void Deactivate();

  // Frame composition.
  void ResetDrawBuckets();
  void FillDrawBuckets();
  void RemoveFinishedSprites();
  void InvalidateChangedSprites();
  void DrawSpriteInRect(SpriteDrawItem* item, const RECT* clip);
  SpriteDrawItem* DrawChainHead() { return &buckets[kPriorities - 1]; }

  // Scenario operations the platform calls.
  void DispatchMode();
  void WriteSystemData();
  void ReadSystemData();

  // Stage slots: picture and sprite slots in canvas units (stage_slots.cpp).
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
  int LoadPictureSlot(int n, const char* name, int flag);
  int CreateAlphaPicture(int n, int w, int h);
  int CreatePlainPicture(int n, int w, int h);
  void FreePictureSlot(int n);
  void FreeAllPictureSlots();
  int IsPictureSlotUsed(int n) const;
  CSprite* MakeRectSprite(int n, int x, int y, int w, int h, uint32_t colour, int priority);
  // Negative sx, sy become 0; negative sw, sh take the picture's whole size.
  CSprite* MakePictureSprite(int n, int pictureSlot, int sx, int sy, int sw, int sh, int x, int y, int ox, int oy,
                             int priority);
  uint32_t pictureLoadTime = 0;  // NowMs of the last LoadPictureSlot

  // Stage: backgrounds, characters and their glides (stage.cpp).
  void ShowBackground(const char* name);
  void ClearStage();
  void ShowScrollBackground(const char* name);
  void ApplyViewport();
  // Character slot s is 0 or 1; the name "-" removes it.
  void ShowCharacter(int s, const char* name);
  void ShowLayer(int s, const char* name);
  void RemoveCharacter(int s);
  void RemoveLayer(int s);
  // Once per frame; 1 when the glide has ended.
  int MoveCharacter(int s, int x, int y);
  int MoveBackground(int x, int y, int mode);
  StageState stage{};

  // Message window and text pages (message_window.cpp).
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
  // READ_SKIP is on and the current block has not been read.
  int CurrentBlockUnread();
  MessageWindowState message{};

  // Sound requests of the story (story_sound.cpp, sound_requests.cpp).
  // Binds the requests to the mixer, the settings and the data paths.
  void BindSoundRequests();
  void PlayBgm(int word);
  void PlaySystemVoice(int character, int number);
  void ApplyChannelVolumes(int kind, int percent);
  CStorySound storySound;

  // Save files, system data and screens the story calls.
  void SnapshotSaveState();
  void ApplyEventPictureRule();
  void OpenQuickOption();

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
  DWORD frameTime;
  GameSettings settings;
  SpriteDrawItem buckets[kPriorities];
  SpriteDrawItem* insertAfter[kPriorities];
  char programFolder[kPathSize];
  int32_t programFolderOk;
  int32_t clearFirst;
  int32_t shakeX, shakeY;
  GXKeyList gxKeys;

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

// Message window operations outside the application object's names.
void SetSpeakerName(CGameApp* app, const char* name);
// One frame of a message; non-zero once the text is fully typed out.
int ShowMessageText(CGameApp* app, const char* text);
// Sound requests by number or name.
void PlaySe(CGameApp* app, int number, int loop);
void PlayVoice(CGameApp* app, const char* name, int force);

// Compose the frame's dirty rectangles; the message text draws itself last.
int ComposeFrame(CGameApp* app, SpriteDrawItem* head);
void ClearRect(uint16_t* pixels, int pitch, int height, const RECT* rect);

// One turn of the main loop when no message waits: 1 after a frame turn,
// 0 after a menu turn.
int FrameStep(CGameApp* app);
LRESULT AppWindowProc(CGameApp* app, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

// The application object of the running program (null outside WinMain).
CGameApp* GetGameApp();

// Test hook: runs in place of the title screen's mode handler when set.
using ModeHandlerHook = void (*)(CGameApp* app);
void SetTitleModeHook(ModeHandlerHook hook);
ModeHandlerHook GetTitleModeHook();

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int showCmd);
