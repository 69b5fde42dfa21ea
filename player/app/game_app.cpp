#include "player/app/game_app.h"

#include <cstring>
#include <new>

#include "common/sjis.h"
#include "player/app/startup.h"
#include "player/core/dirty_list.h"
#include "player/core/font_list.h"
#include "player/core/pack_reader.h"
#include "player/core/picture.h"
#include "player/core/screen.h"
#include "player/core/text_window.h"
#include "player/media/sound_mixer.h"
#include "player/media/transition.h"
#include "player/menu/popup_menu.h"

CGameApp::CGameApp() { InitGameMembers(); }

CGameApp::~CGameApp() { FreeGameMembers(); }

LRESULT CGameApp::HandleMessage(HWND h, UINT message, WPARAM wParam, LPARAM lParam) {
  return AppWindowProc(this, h, message, wParam, lParam);
}

void CGameApp::InitPlatformMembers() {
  keyMap.Init();
  gxKeys = GXGetDefaultKeys(GX_LANDSCAPEKEYS);
  keyMap.SetDefaults(gxKeys.vkUp, gxKeys.vkDown, gxKeys.vkLeft, gxKeys.vkRight, gxKeys.vkA, gxKeys.vkB, gxKeys.vkC,
                     gxKeys.vkStart);
  std::memset(&input, 0, sizeof input);
  std::memset(pictures, 0, sizeof pictures);
  std::memset(sprites, 0, sizeof sprites);
  textWindow = nullptr;
  std::memset(savePath, 0, sizeof savePath);
  std::memset(picturePackPath, 0, sizeof picturePackPath);
  std::memset(scriptPackPath, 0, sizeof scriptPackPath);
  std::memset(sePath, 0, sizeof sePath);
  std::memset(voicePackPath, 0, sizeof voicePackPath);
  std::memset(musicPath, 0, sizeof musicPath);
  std::memset(dataPath, 0, sizeof dataPath);
  std::memset(buckets, 0, sizeof buckets);
  std::memset(insertAfter, 0, sizeof insertAfter);
  screen = new (std::nothrow) CScreen;
  mixer = new (std::nothrow) CSoundMixer;
  menu = new (std::nothrow) CSystemMenu;
  dirty = new (std::nothrow) CDirtyList;
  transition = nullptr;
  fontList = nullptr;
  voicePack = new (std::nothrow) PackReader;
  picturePack = new (std::nothrow) PackReader;
  clearFirst = 1;
  active = 1;
  shakeX = shakeY = 0;
  SetFirstSettings(&settings);
  CeSrand(1);
  // Program folder, cut after its last backslash.
  std::memset(programFolder, 0, sizeof programFolder);
  programFolderOk = 0;
  WCHAR module[kPathSize];
  DWORD n = GetModuleFileNameW(nullptr, module, kPathSize - 1);
  if (n > 0 && n < kPathSize - 1) {
    module[n] = 0;
    int bytes = WideCharToMultiByte(CP_ACP, 0, module, -1, programFolder, kPathSize, nullptr, nullptr);
    char* cut = bytes > 0 ? SjisFindLastChar(programFolder, '\\') : nullptr;
    if (cut) {
      cut[1] = 0;
      programFolderOk = 1;
    } else {
      programFolder[0] = 0;
    }
  }
  CeSrand(GetTickCount());
}

void CGameApp::FreePlatformMembers() {
  for (CPicture*& p : pictures) {
    if (!p) continue;
    p->FreePixels();
    delete p;
    p = nullptr;
  }
  for (CSprite*& s : sprites) {
    delete s;
    s = nullptr;
  }
  delete textWindow;
  textWindow = nullptr;
  delete menu;
  menu = nullptr;
  if (dirty) dirty->Clear();
  delete dirty;
  dirty = nullptr;
  if (transition) transition->FreeMask();
  delete transition;
  transition = nullptr;
  delete fontList;
  fontList = nullptr;
  delete voicePack;
  voicePack = nullptr;
  delete picturePack;
  picturePack = nullptr;
  delete mixer;
  mixer = nullptr;
  delete screen;
  screen = nullptr;
}

void CGameApp::GetProgramFolder(char* out) const { StrCopy(out, programFolder); }
