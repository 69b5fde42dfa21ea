// The save topic of the application object: the snapshot of the story, the
// save files of the numbered slots and the auto-save ring, restoring a save,
// the held thumbnail and the save and load items of the pop-up menu.
#include "player/scenario/save_file.h"

#include <cstring>
#include <memory>

#include "common/format.h"
#include "common/local_buffer.h"
#include "common/sjis.h"
#include "player/core/dirty_list.h"
#include "player/core/display.h"
#include "player/app/game_app.h"
#include "player/core/error_box.h"
#include "player/core/menu_ids.h"
#include "player/core/pack_reader.h"
#include "player/core/picture.h"
#include "player/core/screen.h"
#include "player/core/sprite.h"
#include "player/core/texts.h"
#include "player/scenario/message_window.h"
#include "player/scenario/save_image.h"
#include "player/media/sound_mixer.h"
#include "player/scenario/sound_requests.h"
#include "player/scenario/story_tables.h"
#include "player/media/transition.h"
#include "player/menu/option_handlers.h"
#include "player/menu/popup_menu.h"
#include "formats/le_bytes.h"

namespace {

constexpr int kSaveSlotCount = 48;
constexpr int kThumbnailWidth = 160;  // canvas units
constexpr int kThumbnailHeight = 120;

// Copies a name into a fixed field, cut at a whole character, zero-filled.
template <size_t N>
void CopyField(char (&field)[N], const char* name) {
  SjisCopyField(field, N, name, N);
}

// Records how one file of a save ended: not written when the write failed,
// unconfirmed when it is in place with an error left by the folder flush.
void RecordFileResult(SaveFileFailure* record, int written, const char* path, DWORD error) {
  record->state = !written ? kFileNotWritten : error != NO_ERROR ? kFileUnconfirmed : kFileWritten;
  SjisCopyField(record->file, sizeof record->file, path, StrLength(path));
  record->error = error;
}

bool IsSaveSlot(int slot) {
  return (slot >= 0 && slot < kSaveSlotCount) ||
         (slot >= kFirstAutoSaveSlot && slot < kFirstAutoSaveSlot + kAutoSaveSlots);
}

// 1 when the picture pack holds the script and pc lies inside its byte code.
int ScriptHoldsPosition(CGameApp* app, const char* scriptName, uint32_t pc) {
  char entry[96];
  if (!FormatStringN(entry, sizeof entry, "AdvData\\mes\\%s.mes", scriptName)) return 0;
  DWORD size = 0;
  LocalBuffer script(ReadPackEntry(app->picturePack, app->picturePackPath, entry, &size));
  if (!script.p || size < 4) return 0;
  const uint32_t words = GetLe32(script.p);
  uint64_t codeStart = 4 + 4 * uint64_t(words);
  return codeStart <= size && pc < size - codeStart;
}

// A thumbnail of the back buffer in a new local-heap buffer, or null.
BYTE* MakeScreenThumbnail(const CScreen* screen, DWORD* size) {
  if (!screen || !screen->GetPixels()) return nullptr;
  return MakeThumbnailBmp(screen->GetPixels(), screen->GetWidth(), screen->GetHeight(), ScaleX(kThumbnailWidth),
                          ScaleY(kThumbnailHeight), size);
}

// The menu items one save file fills.
struct MenuFill {
  CPopupMenu* menu;
  int loadId;
  int saveId;  // -1: the slot has no save item
};

void FillSlotItems(void* context, int index, const SaveSlotSummary& s) {
  const MenuFill* f = static_cast<const MenuFill*>(context);
  if (!f->menu) return;
  const uint8_t* picture = s.used ? s.thumbnail : nullptr;
  f->menu->SetLabel(nullptr, f->loadId + index, s.text);
  f->menu->SetEnabled(nullptr, f->loadId + index, s.used ? kMenuEnabled : 0);
  f->menu->SetChecked(nullptr, f->loadId + index, 0);
  f->menu->SetItemPicture(nullptr, f->loadId + index, picture, picture ? s.thumbnailSize : 0);
  if (f->saveId < 0) return;
  f->menu->SetLabel(nullptr, f->saveId + index, s.text);
  f->menu->SetEnabled(nullptr, f->saveId + index, kMenuEnabled);
  f->menu->SetChecked(nullptr, f->saveId + index, 0);
  f->menu->SetItemPicture(nullptr, f->saveId + index, picture, picture ? s.thumbnailSize : 0);
}

}  // namespace

void CGameApp::SnapshotSaveState() {
  SaveStateBlock& b = saveState;
  std::memcpy(b.magic, "YMN0", 4);
  b.thumbnailOffset = kSaveStateSize;
  MakeSceneLabel(b.label, g_SceneTable, story.scriptName, GetScreenWidth());
  CopyField(b.scriptName, story.scriptName);
  CopyField(b.voiceName, sound.voiceName);
  CopyField(b.speakerName, story.speakerName);
  b.pc = story.pc;
  b.frameCounter = story.frameCounter;
  b.moveKind = story.moveKind;
  std::memcpy(b.variables, g_ScriptVariables, sizeof b.variables);
  b.reserved = 0;
  b.readBlock = story.readBlock;
  b.weatherKind = weather.kind;
  b.weatherStrength = weather.strength;
  b.conditionFlag = story.conditionFlag;
  b.windowShown = message.windowShown;
  b.pageCursorShown = message.pageCursorShown;
  b.currentTrack = sound.currentTrack;
  b.trackMode = sound.trackMode;
  b.currentEffect = sound.currentEffect;
  b.effectLoop = sound.effectLoop;
  for (int k = 0; k < 2; ++k) {
    b.characters[k] = stage.characters[k];
    CopyField(b.characters[k].name, stage.characters[k].name);
    CopyField(b.characters[k].layer, stage.characters[k].layer);
  }
  CopyField(b.backgroundName, stage.backgroundName);
  b.backgroundX = stage.backgroundX;
  b.backgroundY = stage.backgroundY;
  b.choice = story.choice;
}

int CGameApp::WriteSaveFile(int slot) {
  saveSlots.saveFile = {};
  saveSlots.systemFile = {};
  // Without a snapshot there is no game to save: the title, a new game
  // before its first message, a game just left.  A file written now would
  // lack the signature and make a real save of the slot look empty.
  if (!HasSaveMagic(reinterpret_cast<const uint8_t*>(saveState.magic), sizeof saveState.magic))
    return kSaveNothingToSave;
  char path[kPathSize];
  if (!IsSaveSlot(slot) || !MakeSavePath(path, sizeof path, savePath, slot)) {
    RecordFileResult(&saveSlots.saveFile, 0, savePath, ERROR_INVALID_PARAMETER);
    return kSaveFailed;
  }
  SYSTEMTIME now;
  GetLocalTime(&now);
  FormatSaveTime(saveState.time, now);
  saveState.saveIcon = settings.saveMascotIcon;
  // The thumbnail held since the quick option menu opened wins over the
  // back buffer, which shows the menu by now.
  LocalBuffer made;
  const uint8_t* thumbnail = saveSlots.thumbnail;
  DWORD thumbnailSize = saveSlots.thumbnailSize;
  if (!thumbnail) {
    made.reset(MakeScreenThumbnail(screen, &thumbnailSize));
    thumbnail = made.p;
    if (!thumbnail) thumbnailSize = 0;
  }
  const int saveWritten = WriteSaveImage(path, saveState, thumbnail, thumbnailSize);
  // After a write the error is that of the folder flush: the save is under
  // its name even when the disk did not confirm the rename.
  RecordFileResult(&saveSlots.saveFile, saveWritten, path, GetLastError());
  // A save not written leaves its slot and system.dat as they were;
  // system.dat is written again when the window closes.
  if (!saveWritten) return kSaveFailed;
  if (slot < kMenuSaveSlots) {
    saveSlots.used[slot] = 1;
    FillSaveMenus(menu, kMenuLoadFirst, kMenuSaveFirst, savePath, loadAllowed, saveSlots.used, &saveSlots.newest);
    UpdateSaveSlotItems(menu, kMenuLoadFirst, kMenuSaveFirst, saveSlots.used, saveSlots.newest);
  } else if (slot >= kFirstAutoSaveSlot) {
    saveSlots.autoUsed[slot - kFirstAutoSaveSlot] = 1;
    FillAutoSaveMenu(menu, kMenuAutoSaveFirst, savePath, saveSlots.autoUsed, &saveSlots.newestAuto);
    UpdateAutoSaveItems(menu, kMenuAutoSaveFirst, saveSlots.autoUsed, saveSlots.newestAuto);
  }
  const int systemWritten = WriteSystemData();
  const DWORD systemError = GetLastError();
  char systemPath[kPathSize];
  if (!SystemDataPath(this, systemPath, sizeof systemPath)) StrCopy(systemPath, savePath);
  RecordFileResult(&saveSlots.systemFile, systemWritten, systemPath, systemError);
  if (!systemWritten) return kSaveSystemDataFailed;
  if (saveSlots.saveFile.state != kFileWritten || saveSlots.systemFile.state != kFileWritten) return kSaveUnconfirmed;
  return kSaveWritten;
}

int AutoSave(CGameApp* app) {
  SaveSlotState& s = app->saveSlots;
  int next = s.newestAuto < 0 || s.newestAuto > 2 ? 0 : (s.newestAuto + 1) % kAutoSaveSlots;
  return app->WriteSaveFile(kFirstAutoSaveSlot + next);
}

void TellSaveResult(CGameApp* app, int result) {
  if (result != kSaveFailed && result != kSaveSystemDataFailed && result != kSaveUnconfirmed) return;
  const SaveFileFailure& save = app->saveSlots.saveFile;
  const SaveFileFailure& system = app->saveSlots.systemFile;
  WriteFailureItem items[2];
  size_t count = 0;
  // The files not written come first, then those the disk did not confirm;
  // the save before system.dat within each.
  for (int32_t state : {kFileNotWritten, kFileUnconfirmed}) {
    if (save.state == state)
      items[count++] = {state == kFileNotWritten ? kTextSaveFailed : kTextSaveUnconfirmed, save.file, save.error};
    if (system.state == state)
      items[count++] = {state == kFileNotWritten ? kTextSystemDataFailed : kTextSystemDataUnconfirmed, system.file,
                        system.error};
  }
  ShowWriteFailuresBox(items, count);
}

int CGameApp::RestoreSaveFile(int slot) {
  // Every check comes before anything of the running game is torn down.
  char path[kPathSize];
  if (!IsSaveSlot(slot) || !MakeSavePath(path, sizeof path, savePath, slot)) return 0;
  std::unique_ptr<SaveStateBlock> read(new SaveStateBlock);
  if (ReadSaveImage(path, read.get()) != SaveCheck::kOk) return 0;
  if (!ScriptHoldsPosition(this, read->scriptName, read->pc)) return 0;
  saveState = *read;
  const SaveStateBlock& b = saveState;

  if (screen && screen->IsMoviePlaying()) screen->StopMovie(mixer);
  if (mixer) mixer->StopAll();
  DeleteAllSprites();
  FreeAllPictureSlots();
  if (transition) {
    transition->FreeMask();
    delete transition;
    transition = nullptr;
  }
  ReleaseTextWindow();
  message.windowShown = 0;
  message.pageCursorShown = 0;
  // The message the abandoned game showed last is not the saved choice's.
  message.text[0] = 0;
  message.speaker[0] = 0;
  StopParticles();
  weather.kind = 0;
  weather.strength = 0;
  for (CharacterSlot& c : stage.characters) c = {};
  sound.currentTrack = -1;
  sound.trackMode = 0;
  sound.currentEffect = -1;
  sound.effectLoop = 0;
  stage.backgroundName[0] = 0;
  stage.backgroundX = stage.backgroundY = 0;
  story.choice = {};
  for (GlideState& g : stage.characterGlides) g = {};
  stage.backgroundGlide = {};

  LoadScript(b.scriptName);
  story.moveKind = b.moveKind;
  story.pc = b.pc;
  story.conditionFlag = b.conditionFlag;
  story.frameCounter = 0;  // the saved instruction runs again from its first frame

  BuildMessageWindow();
  if (b.windowShown) ShowMessageWindow(1);
  if (b.speakerName[0]) SetSpeakerName(this, b.speakerName);
  message.pageCursorShown = b.pageCursorShown;
  story.readBlock = b.readBlock;

  std::memcpy(g_ScriptVariables, b.variables, sizeof b.variables);

  if (b.backgroundName[0]) {
    ShowBackground(b.backgroundName);
    if (b.backgroundX || b.backgroundY) MoveBackground(b.backgroundX, b.backgroundY, 1);
  }
  for (int k = 0; k < 2; ++k) {
    const CharacterSlot& c = b.characters[k];
    stage.characters[k].homeX = c.homeX;
    stage.characters[k].homeY = c.homeY;
    if (!c.shown) continue;
    if (c.layer[0]) ShowLayer(k, c.layer);
    ShowCharacter(k, c.name);
  }

  switch (b.weatherKind) {
    case 1:
    case 3:
    case 4:
    case 5:
    case 6:
      if (settings.sacraMode) {
        // Snow restarts with the wind of the other kinds.
        StartParticles(b.weatherKind, 32, 180, 256, b.weatherStrength);
        break;
      }
      [[fallthrough]];
    default:
      weather.kind = b.weatherKind;
      weather.strength = b.weatherStrength;
      break;
  }

  // The saved play mode is not passed: the restored music loops.
  if (b.currentTrack != -1) PlayBgm(b.currentTrack);
  // An effect that played once is not replayed.
  if (b.currentEffect != -1 && b.effectLoop) PlaySe(this, b.currentEffect, b.effectLoop);
  if (b.voiceName[0])
    PlayVoice(this, b.voiceName, 0);
  else
    sound.voiceName[0] = 0;

  story.choice = b.choice;
  if (dirty) dirty->Clear();
  InvalidateVirtualRect(0, 0, GetCanvasWidth(), GetCanvasHeight());
  shakeX = shakeY = 0;
  effect.shakeSwings = 0;

  gameMode = MODE_STORY;
  phase = 0;
  FreeThumbnail();
  ApplyEventPictureRule();
  SetSaveLoadEnabled(menu, &settings, &saveAllowed, loadAllowed, 1);
  return 1;
}

void CGameApp::CaptureThumbnail() {
  FreeThumbnail();
  DWORD size = 0;
  saveSlots.thumbnail = MakeScreenThumbnail(screen, &size);
  saveSlots.thumbnailSize = saveSlots.thumbnail ? size : 0;
}

void CGameApp::FreeThumbnail() {
  if (saveSlots.thumbnail) LocalFree(saveSlots.thumbnail);
  saveSlots.thumbnail = nullptr;
  saveSlots.thumbnailSize = 0;
}

int CGameApp::LoadSlotThumbnail(int pictureSlot, int saveSlot) {
  if (pictureSlot < 0 || pictureSlot >= kPictureSlots) return 0;
  FreePictureSlot(pictureSlot);
  char name[16];
  if (!IsSaveSlot(saveSlot) || !FormatStringN(name, sizeof name, "save%z3.dat", saveSlot + 1)) return 0;
  std::unique_ptr<CPicture> picture(new CPicture);
  if (!ReadSaveHeader(picture.get(), name, savePath, nullptr, 0, nullptr, nullptr)) return 0;
  if (pictures[pictureSlot]) {
    pictures[pictureSlot]->FreePixels();
    delete pictures[pictureSlot];
  }
  pictures[pictureSlot] = picture.release();
  return 1;
}

int FillSaveMenus(CPopupMenu* menu, int firstLoadId, int firstSaveId, const char* saveFolder, int loadAllowed,
                  int* usedOut, int* newestOut) {
  int newest = -1;
  if (!loadAllowed) {
    // Outside a game neither submenu opens.
    if (menu) {
      menu->SetEnabled(nullptr, 0, kMenuByIndex);
      menu->SetEnabled(nullptr, 1, kMenuByIndex);
    }
  } else {
    MenuFill fill{menu, firstLoadId, firstSaveId};
    newest = ScanSaveSlots(saveFolder, 0, kMenuSaveSlots, usedOut, FillSlotItems, &fill);
  }
  if (newestOut) *newestOut = newest;
  return newest;
}

int FillAutoSaveMenu(CPopupMenu* menu, int firstId, const char* saveFolder, int* usedOut, int* newestOut) {
  MenuFill fill{menu, firstId, -1};
  int newest = ScanSaveSlots(saveFolder, kFirstAutoSaveSlot, kAutoSaveSlots, usedOut, FillSlotItems, &fill);
  if (newestOut) *newestOut = newest;
  return newest;
}
