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
  // Program folder, cut after its last backslash.  Its name is kept as the
  // system gives it too: a name that code page 932 cannot hold (the
  // conversion does not come back to the same name) is told by that name.
  std::memset(programFolder, 0, sizeof programFolder);
  std::memset(programFolderWide, 0, sizeof programFolderWide);
  programFolderOk = 0;
  programFolderNotSjis = 0;
  DWORD n = GetModuleFileNameW(nullptr, programFolderWide, kPathSize - 1);
  if (n > 0 && n < kPathSize - 1) {
    DWORD cut = n;
    while (cut > 0 && programFolderWide[cut - 1] != u'\\') --cut;
    programFolderWide[cut] = 0;
    BOOL lossy = FALSE;
    const int bytes =
        cut ? WideCharToMultiByte(CP_ACP, 0, programFolderWide, -1, programFolder, kPathSize, nullptr, &lossy) : 0;
    if (bytes > 0 && !lossy) {
      WCHAR back[kPathSize];
      const int units = MultiByteToWideChar(CP_ACP, 0, programFolder, -1, back, kPathSize);
      lossy = units != int(cut) + 1 || std::memcmp(back, programFolderWide, (cut + 1) * sizeof(WCHAR)) != 0;
    }
    if (bytes > 0 && !lossy)
      programFolderOk = 1;
    else
      programFolder[0] = 0;
    programFolderNotSjis = bytes > 0 && lossy;
  } else {
    programFolderWide[0] = 0;
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
