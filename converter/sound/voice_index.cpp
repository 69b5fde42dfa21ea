#include "converter/sound/voice_index.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

#include "common/sjis.h"
#include "converter/sound/sound_prep.h"
#include "converter/sound/voice_decoder.h"
#include "formats/le_bytes.h"

bool ParseVoiceIndex(const BYTE* index, uint64_t indexBytes, uint64_t fileSize, std::vector<VoiceRecord>* records) {
  records->clear();
  if (!index || indexBytes < 4) return false;
  const uint64_t count = GetLe32(index);
  const uint64_t need = VoiceIndexBytes(count);
  if (need > fileSize || need > indexBytes) return false;
  records->resize(size_t(count));
  for (uint64_t i = 0; i < count; ++i) {
    const BYTE* rec = index + VoiceIndexBytes(i);
    VoiceRecord& r = (*records)[size_t(i)];
    const BYTE* end = std::find(rec, rec + kVoiceNameBytes, BYTE(0));
    r.nameTerminated = end != rec + kVoiceNameBytes;
    std::memcpy(r.name, rec, size_t(end - rec));
    r.name[end - rec] = '\0';
    r.offset = GetLe32(rec + kVoiceNameBytes);
  }
  for (uint64_t i = 0; i < count; ++i) {
    VoiceRecord& r = (*records)[size_t(i)];
    const uint64_t next = i + 1 < count ? (*records)[size_t(i + 1)].offset : fileSize;
    r.bodyInFile = r.offset <= next && next <= fileSize;
    r.size = r.bodyInFile ? next - r.offset : 0;
  }
  return true;
}

bool IsVoiceSoundName(const char* name) {
  const char* ext = SjisFindLastChar(name, '.');
  return ext && SjisEqual(ext, ".pcm");
}

bool VoiceEntryName(char* out, size_t capacity, const char* name, int encoder) {
  const char* ext = SjisFindLastChar(name, '.');
  const size_t stem = ext ? size_t(ext - name) : std::strlen(name);
  static const char kPrefix[] = "VOICE\\";
  const size_t prefix = sizeof kPrefix - 1, suffix = 4;
  if (prefix + stem + suffix + 1 > capacity) return false;
  std::memcpy(out, kPrefix, prefix);
  std::memcpy(out + prefix, name, stem);
  std::memcpy(out + prefix + stem, encoder == 0 ? ".mp3" : ".ogg", suffix + 1);
  return true;
}

BYTE* BuildVoicePcmImage(const BYTE* body, DWORD size, BYTE* scratch, DWORD* imageSize) {
  *imageSize = 0;
  PcmHeader h;
  if (size < kPcmHeaderSize + 4 || !ReadPcmHeader(body, size, &h)) return nullptr;
  const DWORD deflated = std::min<DWORD>(GetLe32(body + kPcmHeaderSize), size - (kPcmHeaderSize + 4));
  uLongf inflated = kVoiceInflateBytes;
  if (uncompress(scratch, &inflated, body + kPcmHeaderSize + 4, deflated) != Z_OK) return nullptr;

  if (h.compressed == 0) {
    // Plain samples: the head, then what inflated (the head's length is cut
    // to it when the image is read).
    BYTE* image = static_cast<BYTE*>(LocalAlloc(LMEM_FIXED, kPcmHeaderSize + inflated));
    if (!image) return nullptr;
    std::memcpy(image, body, kPcmHeaderSize);
    std::memcpy(image + kPcmHeaderSize, scratch, inflated);
    *imageSize = DWORD(kPcmHeaderSize + inflated);
    return image;
  }
  // Transform-coded: the sample count may not run more than the fade beyond
  // the blocks that were inflated.
  const uint64_t samples = h.dataLength / 2;
  const uint64_t blocks = (uint64_t(inflated) + kVoiceBlockBytes - 1) / kVoiceBlockBytes;
  if (samples > blocks * kVoiceBlockStep + 32) return nullptr;
  const uint64_t bytes = uint64_t(kPcmHeaderSize) + h.dataLength;
  BYTE* image = bytes <= 0xFFFFFFFFu ? static_cast<BYTE*>(LocalAlloc(LMEM_FIXED, SIZE_T(bytes))) : nullptr;
  if (!image) return nullptr;
  ExpandPcmVoice(image + kPcmHeaderSize, scratch, h.dataLength, DWORD(inflated), h.decoderParam);
  if (h.dataLength & 1) image[bytes - 1] = 0;  // the decoder writes whole samples
  std::memcpy(image, body, kPcmHeaderSize);
  image[8] = 0;  // now plain samples
  image[9] = 0;
  *imageSize = DWORD(bytes);
  return image;
}
