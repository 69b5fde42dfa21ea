#include "player/scenario/save_image.h"

#include <cstring>

#include "common/file.h"
#include "common/format.h"
#include "common/local_buffer.h"
#include "common/sjis.h"
#include "player/core/picture.h"
#include "formats/le_bytes.h"

// ---- 未定義 ----
const char kTextUndefinedSlot[] = "---- \x96\xa2\x92\xe8\x8b` ----";

namespace {

// -%d月%d日[%s]-
constexpr char kLabelDated[] = "-%d\x8c\x8e%d\x93\xfa[%s]-";
// -？月？日[%s]-
constexpr char kLabelUndated[] = "-\x81H\x8c\x8e\x81H\x93\xfa[%s]-";
constexpr char kLabelNarrow[] = "-%s-";

// Writes the fields into the file image.
struct Writer {
  uint8_t* out;
  void U16(uint32_t at, uint32_t v) {
    out[at] = uint8_t(v);
    out[at + 1] = uint8_t(v >> 8);
  }
  void U32(uint32_t at, uint32_t v) {
    U16(at, v & 0xFFFF);
    U16(at + 2, v >> 16);
  }
  void Field(uint32_t at, const uint32_t& v) { U32(at, v); }
  void Field(uint32_t at, const int32_t& v) { U32(at, uint32_t(v)); }
  void Field(uint32_t at, const uint16_t& v) { U16(at, v); }
  void Field(uint32_t at, const int16_t& v) { U16(at, uint16_t(v)); }
  template <size_t N>
  void Field(uint32_t at, const char (&name)[N]) {
    SjisCopyField(reinterpret_cast<char*>(out + at), N, name, N);
  }
  void Magic(uint32_t at, const char (&magic)[4]) { std::memcpy(out + at, magic, 4); }
};

// Reads the fields from the file image and notes an unterminated name.
struct Reader {
  const uint8_t* in;
  bool unterminated = false;
  uint32_t U16(uint32_t at) const { return GetLe16(in + at); }
  uint32_t U32(uint32_t at) const { return GetLe32(in + at); }
  void Field(uint32_t at, uint32_t& v) { v = U32(at); }
  void Field(uint32_t at, int32_t& v) { v = int32_t(U32(at)); }
  void Field(uint32_t at, uint16_t& v) { v = uint16_t(U16(at)); }
  void Field(uint32_t at, int16_t& v) { v = int16_t(U16(at)); }
  template <size_t N>
  void Field(uint32_t at, char (&name)[N]) {
    std::memcpy(name, in + at, N);
    if (!std::memchr(name, 0, N)) unterminated = true;
  }
  void Magic(uint32_t at, char (&magic)[4]) { std::memcpy(magic, in + at, 4); }
};

// Every field of the block at its offset, for the writer and the reader.
template <class Io, class Block>
void VisitSaveState(Io& io, Block& b) {
  io.Magic(kSaveOffMagic, b.magic);
  io.Field(kSaveOffThumbnailOffset, b.thumbnailOffset);
  io.Field(kSaveOffTime, b.time);
  io.Field(kSaveOffLabel, b.label);
  io.Field(kSaveOffIcon, b.saveIcon);
  io.Field(kSaveOffPc, b.pc);
  io.Field(kSaveOffFrameCounter, b.frameCounter);
  io.Field(kSaveOffMoveKind, b.moveKind);
  io.Field(kSaveOffScriptName, b.scriptName);
  io.Field(kSaveOffVoiceName, b.voiceName);
  io.Field(kSaveOffSpeakerName, b.speakerName);
  for (int i = 0; i < kSaveVariableCount; ++i) io.Field(kSaveOffVariables + 2 * i, b.variables[i]);
  io.Field(kSaveOffReserved, b.reserved);
  io.Field(kSaveOffReadBlock, b.readBlock);
  io.Field(kSaveOffWeatherKind, b.weatherKind);
  io.Field(kSaveOffWeatherStrength, b.weatherStrength);
  io.Field(kSaveOffConditionFlag, b.conditionFlag);
  io.Field(kSaveOffWindowShown, b.windowShown);
  io.Field(kSaveOffPageCursorShown, b.pageCursorShown);
  io.Field(kSaveOffMusicTrack, b.currentTrack);
  io.Field(kSaveOffMusicPlayMode, b.trackMode);
  io.Field(kSaveOffSoundEffect, b.currentEffect);
  io.Field(kSaveOffSoundEffectLoop, b.effectLoop);
  for (int k = 0; k < 2; ++k) {
    auto& c = b.characters[k];
    uint32_t at = kSaveOffCharacters + k * kCharacterSlotSize;
    io.Field(at, c.shown);
    io.Field(at + 4, c.name);
    io.Field(at + 36, c.layer);
    io.Field(at + 68, c.x);
    io.Field(at + 72, c.y);
    io.Field(at + 76, c.homeX);
    io.Field(at + 80, c.homeY);
  }
  io.Field(kSaveOffBackgroundName, b.backgroundName);
  io.Field(kSaveOffBackgroundX, b.backgroundX);
  io.Field(kSaveOffBackgroundY, b.backgroundY);
  auto& g = b.choice;
  io.Field(kSaveOffChoice, g.listFlag);
  io.Field(kSaveOffChoice + 4, g.optionCount);
  io.Field(kSaveOffChoice + 8, g.chosen);
  for (int i = 0; i < 4; ++i) io.Field(kSaveOffChoice + 12 + 4 * i, g.layout[i]);
  for (int i = 0; i < 4; ++i) io.Field(kSaveOffChoice + 28 + 48 * i, g.texts[i]);
  for (int i = 0; i < 4; ++i) io.Field(kSaveOffChoice + 220 + 24 * i, g.labels[i]);
  io.Field(kSaveOffChoice + 316, g.message);
  io.Field(kSaveOffChoice + 572, g.speaker);
}

static_assert(kSaveOffChoice + 572 + 32 == kSaveStateSize, "the choice group ends the block");
static_assert(kSaveOffCharacters + 2 * kCharacterSlotSize == kSaveOffBackgroundName);
static_assert(kSaveOffVariables + 2 * kSaveVariableCount == kSaveOffReserved);

uint32_t LittleEndian32(const uint8_t* p) { return GetLe32(p); }

// 1 when bmp (length bytes) is an uncompressed 16-bit BMP whose pixels lie
// within length.
int ThumbnailFits(const uint8_t* bmp, size_t length) {
  if (length < 54 || bmp[0] != 'B' || bmp[1] != 'M') return 0;
  uint32_t width = LittleEndian32(bmp + 18), height = LittleEndian32(bmp + 22);
  if (LittleEndian32(bmp + 14) != 40 || (bmp[28] | bmp[29] << 8) != 16 || LittleEndian32(bmp + 30) != 0) return 0;
  if (width < 1 || width > 4096 || height < 1 || height > 4096) return 0;
  return 54 + 2 * uint64_t(width) * height <= length;
}

}  // namespace

int HasSaveMagic(const uint8_t* image, size_t size) {
  return image && size >= 4 && image[0] == 'Y' && image[1] == 'M' && image[2] == 'N' && image[3] >= '0' &&
                 image[3] <= '9'
             ? 1
             : 0;
}

void EncodeSaveState(const SaveStateBlock& block, uint8_t* out) {
  Writer w{out};
  VisitSaveState(w, block);
}

SaveCheck DecodeSaveState(const uint8_t* image, size_t size, SaveStateBlock* block) {
  if (!image) return SaveCheck::kMissing;
  if (size < kSaveStateSize) return SaveCheck::kShort;
  if (!HasSaveMagic(image, size)) return SaveCheck::kBadMagic;
  Reader r{image};
  SaveStateBlock* read = new SaveStateBlock;
  VisitSaveState(r, *read);
  SaveCheck check = SaveCheck::kOk;
  const ChoiceGroup& g = read->choice;
  if (r.unterminated)
    check = SaveCheck::kUnterminated;
  else if (uint32_t(g.optionCount) > uint32_t(kSaveMaxOptions) || uint32_t(g.chosen) >= uint32_t(kSaveMaxOptions))
    check = SaveCheck::kBadChoice;
  else if (uint32_t(read->weatherKind) > uint32_t(kSaveMaxWeatherKind))
    check = SaveCheck::kBadWeather;
  if (check == SaveCheck::kOk) *block = *read;
  delete read;
  return check;
}

int WriteSaveImage(const char* path, const SaveStateBlock& block, const uint8_t* thumbnail, uint32_t thumbnailSize) {
  if (!thumbnail) thumbnailSize = 0;
  if (thumbnailSize > 0x7FFFFFFF - kSaveStateSize) return 0;
  DWORD size = kSaveStateSize + thumbnailSize;
  LocalBuffer image(static_cast<BYTE*>(LocalAlloc(LMEM_FIXED, size)));
  if (!image.p) return 0;
  EncodeSaveState(block, image.p);
  if (thumbnailSize) std::memcpy(image.p + kSaveStateSize, thumbnail, thumbnailSize);
  return WriteFileReplacing(path, image.p, size);
}

SaveCheck ReadSaveImage(const char* path, SaveStateBlock* block) {
  DWORD size = 0;
  LocalBuffer image(ReadWholeFile(path, &size, 0));
  if (!image.p) return SaveCheck::kMissing;
  return DecodeSaveState(image.p, size, block);
}

int MakeSavePath(char* out, size_t capacity, const char* folder, int slot) {
  return FormatStringN(out, capacity, "%ssave%z3.dat", folder, slot + 1);
}

void FormatSaveTime(char* out, const SYSTEMTIME& t) {
  FormatString(out, "%z4-%z2-%z2 %z2:%z2:%z2", int(t.wYear), int(t.wMonth), int(t.wDay), int(t.wHour), int(t.wMinute),
               int(t.wSecond));
}

uint32_t PackSaveTime(const char* timeText) { return PackDateTime(timeText); }

const SceneRecord* LookupSceneRecord(const SceneRecord* table, const char* scriptName) {
  if (!table) return nullptr;
  for (const SceneRecord* r = table; r->month >= 0; ++r) {
    char name[sizeof r->scriptName + 1];
    std::memcpy(name, r->scriptName, sizeof r->scriptName);
    name[sizeof r->scriptName] = 0;
    if (SjisEqual(name, scriptName)) return r;
  }
  return nullptr;
}

void MakeSceneLabel(char* out, const SceneRecord* table, const char* scriptName, int screenWidth) {
  const SceneRecord* r = LookupSceneRecord(table, scriptName);
  char title[sizeof r->title + 1] = {};
  int month = 0, day = 0;
  if (r) {
    std::memcpy(title, r->title, sizeof r->title);
    month = r->month;
    day = r->day;
  }
  if (screenWidth < 640)
    FormatStringN(out, 64, kLabelNarrow, title);
  else if (month != 0)
    FormatStringN(out, 64, kLabelDated, month, day, title);
  else
    FormatStringN(out, 64, kLabelUndated, title);
}

void SummariseSaveImage(const uint8_t* image, size_t size, SaveSlotSummary* out) {
  *out = SaveSlotSummary{};
  // The time and label fields must be there to be shown.
  if (!HasSaveMagic(image, size) || size < kSaveOffIcon) {
    StrCopy(out->text, kTextUndefinedSlot);
    return;
  }
  char time[21], label[65];
  SjisCopyField(time, sizeof time, reinterpret_cast<const char*>(image + kSaveOffTime), 20);
  SjisCopyField(label, sizeof label, reinterpret_cast<const char*>(image + kSaveOffLabel), 64);
  FormatStringN(out->text, sizeof out->text, "%s %s", time, label);
  out->used = 1;
  out->packedTime = PackSaveTime(time);
  uint32_t at = LittleEndian32(image + 4);
  if (size > at && ThumbnailFits(image + at, size - at)) {
    out->thumbnail = image + at;
    out->thumbnailSize = uint32_t(size - at);
  }
}

int ScanSaveSlots(const char* folder, int firstSlot, int count, int* usedOut, SaveSlotVisitor visit, void* context) {
  int newest = -1;
  uint32_t best = 0;
  for (int i = 0; i < count; ++i) {
    char path[1024];
    DWORD size = 0;
    LocalBuffer image;
    if (MakeSavePath(path, sizeof path, folder, firstSlot + i)) image.reset(ReadWholeFile(path, &size, 0));
    SaveSlotSummary summary;
    SummariseSaveImage(image.p, size, &summary);
    if (usedOut) usedOut[i] = summary.used;
    if (summary.used && (newest < 0 || summary.packedTime > best)) {
      newest = i;
      best = summary.packedTime;
    }
    if (visit) visit(context, i, summary);
  }
  return newest;
}
