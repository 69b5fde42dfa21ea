// The picture road of a run: the chip sheet first, then every desktop
// picture decoded, repacked, scaled and written as an ".rbp" entry.
#include <cctype>
#include <cstring>

#include "common/file.h"
#include "common/local_buffer.h"
#include "common/sjis.h"
#include "converter/chip_resources.h"
#include "converter/conv_file_make.h"
#include "converter/pack_writer.h"
#include "converter/pictures/bitmap_scale.h"
#include "converter/pictures/bmp_image.h"
#include "converter/pictures/picture_scratch.h"
#include "converter/pictures/rbp_writer.h"
#include "converter/pictures/zev_decode.h"

namespace {

// Pictures whose colour key becomes alpha, compared whole (ASCII case ignored).
const char* const kChipNames[] = {"moveisland_chip01.ZEV",
                                  "moveland_chip00.ZEV",
                                  "moveschool_chip00.ZEV",
                                  "moveschool_chip01.ZEV",
                                  "movestop.ZEV",
                                  "alarm_chip00.ZEV",
                                  "bgm_sam.ZEV",
                                  "catchy_chip.ZEV",
                                  "cgmode_dummychip.ZEV",
                                  "charactericom.ZEV",
                                  "common_cg_chip00.ZEV",
                                  "common_chip00.ZEV",
                                  "common_cofing_chip00.ZEV",
                                  "common_kaiso_chip00.ZEV",
                                  "common_load_chip00.ZEV",
                                  "common_save_chip00.ZEV",
                                  "eff.ZEV",
                                  "interviewChip_00.ZEV",
                                  "musicmode_chip00.ZEV",
                                  "obake_chip00.ZEV",
                                  "obake_chip01.ZEV",
                                  "obake_chip02.ZEV",
                                  "RainChip.ZEV",
                                  "sacra01.ZEV",
                                  "sacra02.ZEV",
                                  "saku_yuki01.ZEV",
                                  "saku_yuki02.ZEV",
                                  "saveandload_chip00.ZEV",
                                  "scene_sam.ZEV",
                                  "scenereplay_chip.ZEV",
                                  "scenereplay_dummychip.ZEV",
                                  "systemconfig_chip00.ZEV",
                                  "systemconfig_chip01.ZEV",
                                  "systemconfig_chip02.ZEV",
                                  "thumbnail_olw.ZEV",
                                  "thumbnail_cmn.ZEV",
                                  "thumbnail_lup.ZEV",
                                  "thumbnail_fnr.ZEV",
                                  "thumbnail_brs.ZEV",
                                  "thumbnail_vlm.ZEV",
                                  "thumbnail_hsr.ZEV",
                                  "thumbnail_dov.ZEV",
                                  "voiceconfig_chip00.ZEV",
                                  "voiceconfig_chip01.ZEV",
                                  "Wintype.ZEV",
                                  "yn_chip00.ZEV",
                                  "yuki01.ZEV"};

// The first four bytes are the three letters (either case) and "_".
bool HasPrefix(const char* name, const char* letters) {
  for (int i = 0; i < 3; ++i) {
    if (std::tolower(static_cast<unsigned char>(name[i])) != letters[i]) return false;
  }
  return name[3] == '_';
}

bool IsChipName(const char* name) {
  for (const char* chip : kChipNames) {
    if (SjisEqual(name, chip)) return true;
  }
  return HasPrefix(name, "sam");
}

// Decodes a ZEV file image into a bitmap with packed rows; null when the
// file does not decode.
BYTE* DecodeToPackedBitmap(const BYTE* file, DWORD fileSize, DWORD* bitmapSize) {
  LocalBuffer decoded;
  DWORD size = fileSize;
  if (ZevVariantOf(file, fileSize) == 2) {
    decoded.reset(DecodeZevDeflate(file, &size));
  } else {
    size = ZevLzBitmapSize(file, fileSize);
    if (size == 0) return nullptr;
    decoded.reset(static_cast<BYTE*>(LocalAlloc(LPTR, size)));
    if (decoded.p && DecodeZevLz(decoded.p, file, size, fileSize) != 0) decoded.reset(nullptr);
  }
  if (!decoded.p) return nullptr;
  BYTE* packed = RepackBitmap(decoded.p, &size);
  *bitmapSize = size;
  return packed;
}

}  // namespace

void CConvFileMake::WriteChipEntry(CPackWriter& pack) {
  SetCurrentName("chip.rbp");
  RegisterChipResources();
  HRSRC found = FindResourceA(nullptr, MAKEINTRESOURCEA(m_scalePercent == 80 ? 136 : 135), "Binary");
  HGLOBAL loaded = found ? LoadResource(nullptr, found) : nullptr;
  const BYTE* sheet = loaded ? static_cast<const BYTE*>(LockResource(loaded)) : nullptr;
  const DWORD sheetSize = found ? SizeofResource(nullptr, found) : 0;
  DWORD length = 0;
  LocalBuffer picture(sheet && sheetSize >= bmp::kHeaderBytes ? MakeChipPicture(sheet, &length) : nullptr);
  if (!picture.p) {
    FailEntry(pack, "chip.rbp", "chip.rbp", FailureReason::kChipPicture);
  } else {
    StoreEntry(pack, "chip.rbp", picture.p, length, TRUE, "chip.rbp");
  }
  AddDone();
}

void CConvFileMake::ConvertPicture(CPackWriter& pack, const SourceFileNode& node, PictureScratch& scratch) {
  SetCurrentName(node.fileName);
  // Entry name: the relative path with ".rbp" from the last "." on.
  char entryName[kFolderChars + 256 + 8];
  const bool named = EntryName(entryName, sizeof entryName - 8, node);
  char* dot = SjisFindLastChar(entryName, '.');
  if (dot) std::strcpy(dot, ".rbp");
  char path[kFolderChars * 2 + 256];
  const bool found = SourcePath(path, sizeof path, node.folder, node.fileName);
  const std::string item = found ? std::string(path) : std::string(m_sourceFolder) + "\\" + node.fileName;
  if (!named || std::strlen(entryName) > 63) {
    // Too long for the directory's 64-byte names.
    FailEntry(pack, entryName, item, FailureReason::kEntryNameTooLong, 0, entryName);
    AddDone();
    return;
  }

  DWORD fileSize = 0;
  LocalBuffer file(found ? ReadWholeFile(path, &fileSize, 0) : nullptr);
  const DWORD readError = GetLastError();
  DWORD size = 0;
  LocalBuffer bitmap(file.p ? DecodeToPackedBitmap(file.p, fileSize, &size) : nullptr);
  const bool read = file.p != nullptr, decoded = bitmap.p != nullptr;
  file.reset(nullptr);

  LocalBuffer scaled;
  if (bitmap.p) {
    const bool trim = HasPrefix(node.fileName, "bst_");
    // The scaler follows the bitmap's real depth: only a decoded 32-bit
    // picture has alpha, whatever the file's colour code said.
    if (bmp::BitCount(bitmap.p) == 32) {
      scaled.reset(ScaleAlpha32(bitmap.p, &size, m_scalePercent, &scratch));
      bitmap.reset(nullptr);
      if (trim && scaled.p) scaled.reset(TrimTransparentColumns(scaled.p, &size, m_scalePercent));
    } else if (IsChipName(node.fileName)) {
      scaled.reset(ScaleKeyedToAlpha(bitmap.p, &size, m_scalePercent, &scratch));
    } else {
      scaled.reset(ScaleKeyed24(bitmap.p, &size, m_scalePercent, &scratch));
    }
    bitmap.reset(nullptr);
  }
  DWORD length = 0;
  LocalBuffer picture(scaled.p ? MakeRbpPicture(scaled.p, &length, static_cast<unsigned>(m_qualityCode), 0, 0, &scratch)
                               : nullptr);
  if (!picture.p) {
    const FailureReason why = !found     ? FailureReason::kPathTooLong
                              : !read    ? FailureReason::kUnreadable
                              : !decoded ? FailureReason::kNotAPicture
                                         : FailureReason::kNotScaled;
    FailEntry(pack, entryName, item, why, why == FailureReason::kUnreadable ? readError : 0);
  } else {
    StoreEntry(pack, entryName, picture.p, length, FALSE, item);
  }
  AddDone();
}
