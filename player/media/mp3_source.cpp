#include "player/media/mp3_source.h"

#include <algorithm>
#include <cstring>

Mp3Overlay g_mp3Overlay = {};

namespace {

int32_t RecordWord(void* decoder, int index) { return static_cast<const int32_t*>(decoder)[index]; }

// Start offset after an ID3v2 tag whose ten-byte header is at `tag`.
DWORD Id3v2End(const BYTE* tag) {
  return ((DWORD(tag[6]) & 127) << 21) + ((DWORD(tag[7]) & 127) << 14) + ((DWORD(tag[8]) & 127) << 7) +
         (DWORD(tag[9]) & 127) + 10;
}

}  // namespace

int LoadMp3Overlay() {
  if (g_mp3Overlay.module) return 0;
  HMODULE m = LoadLibraryW(u"Corvane.ovl");
  if (!m) m = LoadLibraryExW(u"Corvane.ovl", nullptr, 0);
  if (!m) return 1;
  Mp3Overlay o = {};
  o.getdecver = reinterpret_cast<Mp3GetDecVerFn>(GetProcAddressW(m, u"__mp3_getdecver"));
  o.create = reinterpret_cast<Mp3CreateFn>(GetProcAddressW(m, u"__mp3_create"));
  o.destroy = reinterpret_cast<Mp3DestroyFn>(GetProcAddressW(m, u"__mp3_destroy"));
  o.predecode = reinterpret_cast<Mp3PredecodeFn>(GetProcAddressW(m, u"__mp3_predecode"));
  o.decode = reinterpret_cast<Mp3DecodeFn>(GetProcAddressW(m, u"__mp3_decode"));
  if (!o.getdecver || !o.create || !o.destroy || !o.predecode || !o.decode) {
    FreeLibrary(m);
    return 0;
  }
  o.module = m;
  g_mp3Overlay = o;
  return 0;
}

void UnloadMp3Overlay() {
  if (g_mp3Overlay.module) FreeLibrary(g_mp3Overlay.module);
  g_mp3Overlay = {};
}

int Mp3OverlayPresent() { return g_mp3Overlay.module != nullptr; }

Mp3Source::Mp3Source()
    : endFlag(0),
      decoder(nullptr),
      kind(0),
      data(nullptr),
      endOffset(0),
      currentOffset(0),
      startOffset(0),
      file(nullptr),
      mapping(nullptr),
      format{},
      avgBytesPerSec(0),
      durationMs(0),
      spillPos(0),
      spillEnd(0),
      suspended(0),
      path{} {}

Mp3Source::~Mp3Source() { Close(); }

// Maps the whole file named by `path`; its size goes to *fileSize.
int Mp3Source::MapFile(DWORD* fileSize) {
  WCHAR wide[PATH_SIZE];
  if (!MultiByteToWideChar(CP_ACP, 0, path, -1, wide, int(PATH_SIZE))) return 0;
  file = CreateFileForMappingW(wide, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                               nullptr);
  if (file == INVALID_HANDLE_VALUE) file = nullptr;
  if (!file) return 0;
  const DWORD size = GetFileSize(file, nullptr);
  mapping = CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
  if (mapping) data = static_cast<const BYTE*>(MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0));
  if (!mapping || !data || size == INVALID_FILE_SIZE) {
    UnmapFile();
    return 0;
  }
  if (fileSize) *fileSize = size;
  return 1;
}

void Mp3Source::UnmapFile() {
  if (data) UnmapViewOfFile(data);
  data = nullptr;
  if (mapping) CloseHandle(mapping);
  mapping = nullptr;
  if (file) CloseHandle(file);
  file = nullptr;
}

// Creates the decoder on the four bytes at the start offset and takes the
// stream's format.  0 on success.
int Mp3Source::StartDecoder() {
  if (!g_mp3Overlay.module || endOffset < 4 || startOffset > endOffset - 4) return 1;
  decoder = g_mp3Overlay.create(data + startOffset);
  if (!decoder) return 1;
  const int32_t channels = RecordWord(decoder, MP3_WORD_CHANNELS);
  const int32_t rate = RecordWord(decoder, MP3_WORD_RATE);
  if ((channels != 1 && channels != 2) || rate <= 0) {
    g_mp3Overlay.destroy(decoder);
    decoder = nullptr;
    return 1;
  }
  spillPos = spillEnd = 0;
  format.wFormatTag = WAVE_FORMAT_PCM;
  format.nChannels = WORD(channels);
  format.nSamplesPerSec = DWORD(rate);
  format.nBlockAlign = WORD(channels * 2);
  format.nAvgBytesPerSec = format.nBlockAlign * format.nSamplesPerSec;
  format.wBitsPerSample = 16;
  format.cbSize = 0;
  avgBytesPerSec = format.nAvgBytesPerSec;
  return 0;
}

int Mp3Source::OpenMemory(const BYTE* image, DWORD size) {
  Close();
  endFlag = 0;
  startOffset = 0;
  if (!image) return 1;
  if (size >= 128 && std::memcmp(image + size - 128, "TAG", 3) == 0) size -= 128;
  // A tag that claims more than the image holds leaves an empty stream.
  if (size >= 10 && std::memcmp(image, "ID3", 3) == 0) startOffset = std::min(Id3v2End(image), size);
  endOffset = size;
  format = {};
  path[0] = 0;
  kind = 0;
  data = image;
  currentOffset = startOffset;
  if (StartDecoder()) {
    data = nullptr;
    return 1;
  }
  return 0;
}

int Mp3Source::OpenMappedFile(const char* filePath, DWORD start, DWORD size) {
  Close();
  endFlag = 0;
  format = {};
  if (!filePath || std::strlen(filePath) >= PATH_SIZE) return 1;
  std::strcpy(path, filePath);
  kind = 1;
  DWORD fileSize = 0;
  if (!MapFile(&fileSize)) return 1;
  if (start > fileSize) start = fileSize;
  if (size == 0 || size > fileSize - start) size = fileSize - start;
  if (size >= 128 && std::memcmp(data + start + size - 128, "TAG", 3) == 0) size -= 128;
  startOffset = start;
  endOffset = start + size;
  if (size >= 10 && std::memcmp(data + start, "ID3", 3) == 0)
    startOffset = start + std::min(Id3v2End(data + start), size);
  currentOffset = startOffset;
  if (StartDecoder()) {
    UnmapFile();
    return 1;
  }
  return 0;
}

uint32_t Mp3Source::Read(uint8_t* dst, uint32_t wantBytes, int loop) {
  const int want = int(std::min<uint32_t>(wantBytes, 0x40000000u));
  if (want <= 0) return 0;
  if (suspended) {
    std::memset(dst, 0, size_t(want));
    return want;
  }
  int got = 0;
  if (spillEnd > spillPos) {
    const int held = int(spillEnd - spillPos);
    if (held >= want) {
      std::memcpy(dst, spill + spillPos, size_t(want));
      spillPos += DWORD(want);
      return want;
    }
    std::memcpy(dst, spill + spillPos, size_t(held));
    got = held;
  }
  spillPos = spillEnd = 0;
  if (!decoder || endFlag) return got;
  bool passGaveBytes = currentOffset != startOffset;  // a pass that begins mid-stream has given bytes
  while (got < want && !endFlag) {
    bool frameOk = false;
    if (data && endOffset >= 4 && currentOffset <= endOffset - 4) {
      std::memcpy(frameInput, data + currentOffset, 4);
      if (g_mp3Overlay.predecode(decoder, frameInput) == 0) {
        DWORD length = DWORD(RecordWord(decoder, MP3_WORD_FRAME_LENGTH));
        if (length > endOffset - currentOffset) length = endOffset - currentOffset;
        // A frame that the frame buffer cannot hold ends the stream.
        if (length >= 4 && length <= FRAME_INPUT_SIZE) {
          std::memcpy(frameInput, data + currentOffset, length);
          const int n = g_mp3Overlay.decode(decoder, decoded, frameInput, int(length));
          currentOffset += length;
          if (n > 0) {
            frameOk = true;
            DWORD bytes = DWORD(n) * format.nBlockAlign;
            if (bytes > DECODED_SIZE) bytes = DECODED_SIZE - DECODED_SIZE % format.nBlockAlign;
            const DWORD room = DWORD(want - got);
            const DWORD now = std::min(bytes, room);
            std::memcpy(dst + got, decoded, now);
            got += int(now);
            if (bytes > now) {
              spillEnd = std::min<DWORD>(bytes - now, SPILL_SIZE);
              std::memcpy(spill, decoded + now, spillEnd);
              spillPos = 0;
            }
            passGaveBytes = true;
          }
        }
      }
    }
    if (!frameOk) {
      // A pass over the whole stream that gave no byte would spin for ever.
      if (!loop || !passGaveBytes) {
        endFlag = 1;
        break;
      }
      currentOffset = startOffset;
      endFlag = 0;
      passGaveBytes = false;
    }
  }
  return got;
}

void Mp3Source::EstimatePcmSize(DWORD* size) {
  const int32_t kbps = decoder ? RecordWord(decoder, MP3_WORD_BITRATE) : 0;
  durationMs = kbps > 0 ? DWORD(uint64_t(endOffset) * 8 / DWORD(kbps)) : 0;
  if (size) *size = (durationMs / 1000 + 1) * avgBytesPerSec;
}

void Mp3Source::Suspend() {
  if (suspended) return;
  suspended = 1;
  if (kind == 1 && decoder) UnmapFile();
}

void Mp3Source::Resume() {
  if (!suspended) return;
  suspended = 0;
  if (kind == 1 && decoder && !data) {
    DWORD fileSize = 0;
    // The file went away or changed size: the stream ends.
    if (!MapFile(&fileSize) || fileSize < endOffset) {
      UnmapFile();
      endFlag = 1;
      spillPos = spillEnd = 0;
    }
  }
}

void Mp3Source::Close() {
  if (!decoder) return;
  g_mp3Overlay.destroy(decoder);
  decoder = nullptr;
  if (kind == 1) UnmapFile();
  data = nullptr;
  endFlag = 0;
}
