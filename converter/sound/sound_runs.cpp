// The three sound steps of a conversion run: music tracks and sound effects
// become one MP3 or Ogg file each, voices the entries of the voice pack.
// A sound that cannot be read or coded writes no file (a placeholder entry in
// the voice pack) and counts as a failure.  Each music or effect file is
// written under a temporary name, flushed and renamed over the earlier one,
// and its folder flushed once at the end of the stage: a run that stops or
// fails leaves each file whole, the earlier one or the new one.
#include <algorithm>
#include <cstring>
#include <optional>
#include <utility>
#include <string>

#include "common/file.h"
#include "common/format.h"
#include "common/local_buffer.h"
#include "converter/conv_file_make.h"
#include "converter/pack_writer.h"
#include "converter/sound/mp3_encoder.h"
#include "converter/sound/ogg_encoder.h"
#include "converter/sound/sound_prep.h"
#include "converter/sound/voice_decoder.h"
#include "converter/sound/voice_index.h"
#include "formats/le_bytes.h"

namespace {

constexpr int kMusicTracks = 48;
constexpr int kSoundEffects = 230;

bool StartsWithRiff(const BYTE* image, DWORD size) { return size >= 4 && std::memcmp(image, "RIFF", 4) == 0; }

// True when path names a file (not a folder).
bool IsFile(const char* path) {
  const DWORD attributes = GetFileAttributesA(path);
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

struct EncodeSettings {
  int encoder, bitrateIndex, rate44k, stereo;
};

// Why an encoder gave nothing: its module is missing, or it refused the sound.
FailureReason EncodeFailure(const EncodeSettings& s) {
  if (s.encoder != 0) return FailureReason::kOggRefused;
  char version[512] = {};
  CGogoEncoder(0).GetVersionText(version);
  return version[0] ? FailureReason::kMp3Refused : FailureReason::kMp3Missing;
}

BYTE* EncodePcmImage(const EncodeSettings& s, const BYTE* image, DWORD* size) {
  return s.encoder == 0 ? EncodeMp3FromPcm(image, s.bitrateIndex, s.rate44k, s.stereo, size)
                        : OggEncodeFromPcm(image, OggQualityIndexFor(s.bitrateIndex), s.rate44k, s.stereo, size);
}

BYTE* EncodeWaveImage(const EncodeSettings& s, const BYTE* image, DWORD* size) {
  return s.encoder == 0 ? EncodeMp3FromWave(image, s.bitrateIndex, s.rate44k, s.stereo, size)
                        : OggEncodeFromWave(image, OggQualityIndexFor(s.bitrateIndex), s.rate44k, s.stereo, size);
}

// Reads `size` bytes at a 64-bit offset.
bool ReadAt(HANDLE file, uint64_t offset, BYTE* out, DWORD size) {
  LONG high = LONG(offset >> 32);
  if (SetFilePointer(file, LONG(DWORD(offset)), &high, FILE_BEGIN) == INVALID_SET_FILE_POINTER &&
      GetLastError() != NO_ERROR)
    return false;
  DWORD got = 0;
  return size == 0 || (ReadFile(file, out, size, &got, nullptr) && got == size);
}

}  // namespace

// Music tracks (".pcm" images only) or sound effects (".pcm" or WAVE).
static void ConvertSoundFiles(CConvFileMake& job, CConvFileMake::Stage stage, int count, const char* sourceFormat,
                              const char* outputFolder, const char* outputFormat, bool wavesToo) {
  const EncodeSettings s{job.m_encoder, job.m_bitrateIndex[0], job.m_rate44k[0], job.m_stereo[0]};
  // The stage's items are the files there, each counted as it is met below.
  int32_t present = 0;
  for (int n = 0; n < count; ++n) {
    char relative[64], path[CConvFileMake::kFolderChars + 64];
    FormatStringN(relative, sizeof relative, sourceFormat, n);
    if (job.SourcePath(path, sizeof path, "", relative) && FileExists(path)) ++present;
  }
  job.BeginStage(stage, present);
  int32_t renamed = 0;  // files renamed into the folder: it is flushed at the end
  for (int n = 0; n < count; ++n) {
    char relative[64], path[CConvFileMake::kFolderChars + 64];
    FormatStringN(relative, sizeof relative, sourceFormat, n);
    if (!job.SourcePath(path, sizeof path, "", relative)) continue;
    DWORD size = 0;
    LocalBuffer file(ReadWholeFile(path, &size, 0));
    const DWORD readError = GetLastError();
    if (!file.p && !FileExists(path)) continue;  // a missing track is passed over

    char tail[64], outPath[CConvFileMake::kFolderChars + 64];
    FormatStringN(tail, sizeof tail, outputFormat, n, job.m_encoder == 0 ? "mp3" : "ogg");
    job.SetCurrentName(relative);
    job.AddTotal(1);
    job.AddDone();
    const bool named = job.OutputPath(outPath, sizeof outPath, tail);

    BYTE* coded = nullptr;
    DWORD codedSize = size;
    std::optional<FailureReason> why;
    DWORD error = 0;
    std::string detail, leftBehind;
    if (!file.p) {
      why = FailureReason::kUnreadable;
      error = readError;
    } else if (!named) {
      why = FailureReason::kOutputPathTooLong;
    }
    const bool encoded = !why && ((wavesToo && StartsWithRiff(file.p, size)) || (size > 8 && file.p[8] == 0));
    if (!why && wavesToo && StartsWithRiff(file.p, size)) {
      coded = EncodeWaveImage(s, file.p, &codedSize);
    } else if (!why && size > 8 && file.p[8] == 0) {
      coded = EncodePcmImage(s, file.p, &codedSize);
    } else if (!why && size <= 8) {
      why = FailureReason::kTooShort;
    }
    if (encoded && !coded) why = EncodeFailure(s);
    // Any other compressed flag: no file, as the desktop game's own tracks.
    LocalBuffer codedBlock(coded);
    bool earlierKept = false;
    if (coded && !WriteFileReplacing(outPath, coded, codedSize, 0)) {
      why = FailureReason::kNotWritten;
      error = GetLastError();
      detail = outPath;
      // The earlier file stays whole; the temporary file is gone unless it
      // could not be removed.
      earlierKept = IsFile(outPath);
      const std::string temporary = std::string(outPath) + kReplacingSuffix;
      if (IsFile(temporary.c_str())) leftBehind = temporary;
    } else if (coded) {
      ++renamed;
    }
    if (why) {
      // A sound that gives no file leaves no file from an earlier run
      // behind; one that cannot be removed is named.
      if (named && *why != FailureReason::kNotWritten && !DeleteFileA(outPath) && FileExists(outPath))
        leftBehind = outPath;
      CConvFileMake::Failure f{path, *why, error, detail};
      f.leftBehind = leftBehind;
      f.earlierKept = earlierKept;
      job.FailItem(std::move(f));
    } else if (SoundImageIsShort(file.p, size)) {
      // Written as far as it goes, but the file was cut short.
      job.FailItem(path, coded ? FailureReason::kCutShortConverted : FailureReason::kCutShort);
    } else if (coded) {
      job.AddConverted();
    } else {
      job.AddPassedOver();  // a flag that means no file
    }
  }
  // The renames are on the disk once their folder is.  A flush that fails
  // leaves every file written and in place, its item converted: the disk
  // did not confirm the files renamed into the folder.
  char folder[CConvFileMake::kFolderChars + 64];
  if (renamed > 0 && job.OutputPath(folder, sizeof folder, outputFolder) && !FlushFolder(folder))
    job.AddUnconfirmed(folder, GetLastError(), renamed, true);
}

void CConvFileMake::ConvertBgm() {
  if (!m_doMusic) return;
  LoadVoiceDecodeTable();
  ConvertSoundFiles(*this, kMusicStage, kMusicTracks, "AdvData\\MUSIC\\%z3.pcm", "\\data\\bgm", "\\data\\bgm\\%z3.%s",
                    false);
}

void CConvFileMake::ConvertSoundEffects() {
  if (!m_doMusic) return;
  LoadVoiceDecodeTable();
  ConvertSoundFiles(*this, kEffectStage, kSoundEffects, "AdvData\\SE\\%z3.pcm", "\\data\\se", "\\data\\se\\%z3.%s",
                    true);
}

void CConvFileMake::ConvertVoicePack() {
  if (!m_doVoices) return;
  const bool tableReady = LoadVoiceDecodeTable();
  char indexPath[kFolderChars + 32], packPath[kFolderChars + 32];
  if (!SourcePath(indexPath, sizeof indexPath, "", "AdvData\\voice.dat") || !FileExists(indexPath)) return;

  HANDLE index =
      CreateFileA(indexPath, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (index == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    m_voicesNotCounted = "the voice index cannot be opened (" + ErrorReason(error) + ")";
    AddFailure(Failure{indexPath, FailureReason::kVoiceIndexUnopenable, error});
    return;
  }
  DWORD high = 0;
  const DWORD low = GetFileSize(index, &high);
  const uint64_t fileSize = uint64_t(high) << 32 | low;

  // The count and every record must lie inside the file.
  BYTE head[4] = {};
  std::vector<BYTE> indexBytes;
  std::vector<VoiceRecord> records;
  bool readable = fileSize >= 4 && ReadAt(index, 0, head, 4);
  if (readable) {
    const uint64_t need = VoiceIndexBytes(GetLe32(head));
    readable = need <= fileSize;
    if (readable) {
      indexBytes.resize(size_t(need));
      readable = ReadAt(index, 0, indexBytes.data(), DWORD(need)) &&
                 ParseVoiceIndex(indexBytes.data(), need, fileSize, &records);
    }
  }
  CPackWriter pack;
  if (!readable) {
    m_voicesNotCounted = "the voice index is damaged";
    AddFailure(Failure{indexPath, FailureReason::kVoiceIndexDamaged});
    CloseHandle(index);
    return;
  }
  // The pack's items: the records that name a sound, and those without a
  // name; the others keep their places as placeholders, passed over.
  int32_t items = 0;
  for (const VoiceRecord& r : records) items += !r.nameTerminated || IsVoiceSoundName(r.name) ? 1 : 0;
  const bool packNamed = OutputPath(packPath, sizeof packPath, "\\data\\voice.mlz");
  AddTotal(int32_t(records.size()));
  BeginStage(kVoiceStage, int32_t(records.size()));
  if (!packNamed || !pack.Begin(packPath, DWORD(records.size()))) {
    // Nothing can be written: every record counts as handled.
    Failure f = packNamed
                    ? Failure{packPath, FailureReason::kVoicePackNotCreated, pack.Error()}
                    : Failure{std::string(m_outputFolder) + "\\data\\voice.mlz", FailureReason::kVoicePackPathTooLong};
    f.leftBehind = pack.LeftBehind();
    AddFailure(f, items);
    AddPassedOver(int32_t(records.size()) - items);
    m_doneCount.fetch_add(int32_t(records.size()), std::memory_order_relaxed);
    CloseHandle(index);
    return;
  }
  BeginPackTally();

  const EncodeSettings s{m_encoder, m_bitrateIndex[1], m_rate44k[1], m_stereo[1]};
  std::vector<BYTE> scratch;  // the inflating buffer, made once a deflated voice needs it
  for (size_t i = 0; i < records.size(); ++i) {
    const VoiceRecord& r = records[i];
    char entry[64];
    std::optional<FailureReason> why;
    DWORD error = 0;
    bool cutShort = false;  // converted as far as it goes, still a failure
    BYTE* coded = nullptr;
    DWORD codedSize = 0;
    const std::string item = std::string(indexPath) + " (voice " +
                             (r.nameTerminated ? std::string(r.name) : "record " + std::to_string(i)) + ")";
    const bool sound = r.nameTerminated && IsVoiceSoundName(r.name);
    if (sound && pack.Failed()) {
      // The pack is lost: its later voices are not converted, only counted.
      SetCurrentName(r.name);
      SkipLostEntry();
      AddDone();
      continue;
    }
    if (!r.nameTerminated) {
      why = FailureReason::kVoiceNoName;  // no name to give the entry
    } else if (sound) {
      SetCurrentName(r.name);
      if (!VoiceEntryName(entry, sizeof entry, r.name, m_encoder)) {
        why = FailureReason::kVoiceNameTooLong;
      } else if (!r.bodyInFile || r.size > 0xFFFFFFFFu) {
        why = FailureReason::kVoiceOutside;
      }
      LocalBuffer body(why ? nullptr
                           : static_cast<BYTE*>(LocalAlloc(LMEM_FIXED, SIZE_T(std::max<uint64_t>(r.size, 1)))));
      if (!why && !body.p) {
        why = FailureReason::kOutOfMemory;
      } else if (!why && !ReadAt(index, r.offset, body.p, DWORD(r.size))) {
        why = FailureReason::kUnreadable;
        error = GetLastError();
      }
      if (!why && StartsWithRiff(body.p, DWORD(r.size))) {
        codedSize = DWORD(r.size);
        coded = EncodeWaveImage(s, body.p, &codedSize);
        cutShort = SoundImageIsShort(body.p, DWORD(r.size));
      } else if (!why) {
        // Transform-coded voices cannot be expanded without the table.
        const bool compressed = r.size > 8 && body.p[8] != 0;
        if (scratch.empty()) scratch.resize(kVoiceInflateBytes);
        DWORD imageSize = 0;
        LocalBuffer image(compressed && !tableReady
                              ? nullptr
                              : BuildVoicePcmImage(body.p, DWORD(r.size), scratch.data(), &imageSize));
        if (image.p) {
          cutShort = SoundImageIsShort(image.p, imageSize);
          codedSize = imageSize;
          coded = EncodePcmImage(s, image.p, &codedSize);
        } else {
          why = compressed && !tableReady ? FailureReason::kVoiceTableMissing : FailureReason::kVoiceDamaged;
        }
      }
      if (!why && !coded) why = EncodeFailure(s);
    }
    LocalBuffer codedBlock(coded);
    if (coded && !why && !cutShort) {
      StoreEntry(pack, entry, coded, codedSize, FALSE, item, FailureReason::kVoicePackWrite);
    } else if (coded && !why) {
      // Written as far as it goes, and still a failure of the voice.
      if (pack.AddEntry(entry, coded, codedSize, FALSE)) {
        FailItem(item, FailureReason::kCutShortConverted);
      } else {
        FailItem(item, FailureReason::kVoicePackWrite, GetLastError());
      }
    } else {
      pack.AddEntry("", nullptr, 0, FALSE);  // placeholder: keeps the record's place
      if (why) {
        FailItem(item, *why, error);
      } else {
        AddPassedOver();  // not a sound
      }
    }
    AddDone();
  }
  FinishPack(pack, packPath);
  CloseHandle(index);
}
