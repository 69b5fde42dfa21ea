// The system-data topic of the application object: system.dat, the seen
// lists, the read flags and the event-picture display rule.
#include "player/scenario/system_data.h"

#include "common/file.h"
#include "common/format.h"
#include "common/local_buffer.h"
#include "common/sjis.h"
#include "player/app/game_app.h"
#include "player/core/picture.h"
#include "player/scenario/save_image.h"
#include "player/scenario/story_tables.h"
#include "player/scenario/system_image.h"

int CGameApp::WriteSystemData() {
  if (!systemData.block) {  // no history is kept: nothing to write
    SetLastError(NO_ERROR);
    return 1;
  }
  CSeenReadLists lists(&systemData);
  std::vector<uint8_t> image = BuildSystemImage(g_ScriptVariables + kPersistentVariableFirst, lists);
  char path[kPathSize];
  if (!SystemDataPath(this, path, sizeof path)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  return WriteFileReplacing(path, image.data(), DWORD(image.size()));
}

int SystemDataPath(const CGameApp* app, char* out, size_t capacity) {
  return FormatStringN(out, capacity, "%ssystem.dat", app->savePath);
}

void CGameApp::ReadSystemData() {
  char path[kPathSize];
  if (!systemData.block || !SystemDataPath(this, path, sizeof path)) return;
  DWORD size = 0;
  LocalBuffer image(ReadWholeFile(path, &size, 0));
  if (!image.p) return;  // no history yet
  CSeenReadLists lists(&systemData);
  ParseSystemImage(image.p, size, g_ScriptVariables + kPersistentVariableFirst, &lists);
}

int AddSeenName(CGameApp* app, int list, const char* name) {
  if (!app->systemData.block) return 0;
  return CSeenReadLists(&app->systemData).AddSeenName(list, name);
}

int TestReadFlag(CGameApp* app, const char* scriptName, int block) {
  if (!app->systemData.block) return 0;
  return CSeenReadLists(&app->systemData).TestReadFlag(scriptName, block);
}

ReadFlagRecord* SetReadFlag(CGameApp* app, const char* scriptName, int block) {
  if (!app->systemData.block) return nullptr;
  return CSeenReadLists(&app->systemData).SetReadFlag(scriptName, block);
}

const SceneRecord* LookupSceneRecord(const char* scriptName) { return LookupSceneRecord(g_SceneTable, scriptName); }

int IsEventPictureName(const char* const* list, const char* name) {
  if (!list) return 0;
  for (; **list; ++list)
    if (SjisEqual(*list, name)) return 1;
  return 0;
}

void CGameApp::ApplyEventPictureRule() {
  systemData.eventPicture = 0;
  if (gameMode != MODE_STORY || !stage.backgroundName[0]) return;
  CPicture* picture = pictures[kSlotBackground];
  if (!picture || !picture->pixels) return;
  if (!IsEventPictureName(g_EventPictureNames, stage.backgroundName)) return;
  if (settings.dispFreeMode == 1) {
    CPicture::Darken(picture, 64);
    systemData.eventPicture = 1;
  } else if (settings.dispFreeMode == 2) {
    CPicture::Darken(picture, 0);
    systemData.eventPicture = 1;
  }
}
