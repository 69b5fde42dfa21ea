#include "player/media/ogg_source.h"

#include <algorithm>
#include <cstring>

#include "common/file.h"

OggOverlay g_oggOverlay = {};

namespace {

template <typename F>
F Entry(HMODULE m, const WCHAR* name) {
  return reinterpret_cast<F>(GetProcAddressW(m, name));
}
}  // namespace

int LoadOggOverlay() {
  if (g_oggOverlay.module) return 0;
  HMODULE m = LoadLibraryW(u"Tessaly.ovl");
  if (!m) m = LoadLibraryExW(u"Tessaly.ovl", nullptr, 0);
  if (!m) return 1;
  OggOverlay o = {};
  o.create = Entry<OggCreateFn>(m, u"pcc_ogg_create");
  o.free = Entry<OggFreeFn>(m, u"pcc_ogg_free");
  o.input_memory = Entry<OggInputMemoryFn>(m, u"pcc_ogg_input_memory");
  o.input_file_open = Entry<OggInputFileFn>(m, u"pcc_ogg_input_file_open");
  o.input_file_map = Entry<OggInputFileFn>(m, u"pcc_ogg_input_file_map");
  o.input_memory2 = Entry<OggInputMemoryFn>(m, u"pcc_ogg_input_memory2");
  o.input_file_open2 = Entry<OggInputFileFn>(m, u"pcc_ogg_input_file_open2");
  o.input_file_map2 = Entry<OggInputFileFn>(m, u"pcc_ogg_input_file_map2");
  o.pcm_size = Entry<OggPcmSizeFn>(m, u"pcc_ogg_pcm_size");
  o.pcm_format = Entry<OggPcmFormatFn>(m, u"pcc_ogg_pcm_format");
  o.replay = Entry<OggHandleFn>(m, u"pcc_ogg_replay");
  o.process_frame = Entry<OggProcessFrameFn>(m, u"pcc_ogg_process_frame");
  o.tessaly_ver = Entry<OggVersionFn>(m, u"pcc_ogg_tessaly_ver");
  o.eof = Entry<OggEofFn>(m, u"pcc_ogg_eof");
  o.suspend = Entry<OggHandleFn>(m, u"pcc_ogg_suspend");
  o.resume = Entry<OggHandleFn>(m, u"pcc_ogg_resume");
  if (!o.eof || !o.tessaly_ver || !o.process_frame || !o.replay || !o.create || !o.free || !o.input_memory ||
      !o.input_file_open || !o.input_file_map || !o.pcm_size || !o.pcm_format) {
    FreeLibrary(m);
    return 0;
  }
  o.module = m;
  g_oggOverlay = o;
  char text[128] = {};
  g_oggOverlay.tessaly_ver(text);
  text[127] = 0;
  SetOggOverlayVersion(text);
  return 0;
}

void UnloadOggOverlay() {
  if (g_oggOverlay.module) FreeLibrary(g_oggOverlay.module);
  g_oggOverlay = {};
}

int OggOverlayPresent() { return g_oggOverlay.module != nullptr; }

OggSource::OggSource() : handle(nullptr), endFlag(0), spillPos(0), spillEnd(0), finished(0), path{}, format{} {
  if (g_oggOverlay.module) handle = g_oggOverlay.create();
}

OggSource::~OggSource() { Free(); }

// Takes the stream's format after an input call; 0 when it can be played.
int OggSource::Started(int result) {
  spillPos = spillEnd = 0;
  finished = 0;
  format = {};
  if (result != 0) return 1;
  const BYTE* f = static_cast<const BYTE*>(g_oggOverlay.pcm_format(handle));
  if (!f) return 1;
  WORD channels, bits;
  DWORD rate;
  std::memcpy(&channels, f + 2, 2);
  std::memcpy(&rate, f + 4, 4);
  std::memcpy(&bits, f + 14, 2);
  if ((channels != 1 && channels != 2) || bits != 16 || rate == 0) return 1;
  format.wFormatTag = WAVE_FORMAT_PCM;
  format.nChannels = channels;
  format.nSamplesPerSec = rate;
  format.nBlockAlign = WORD(channels * 2);
  format.nAvgBytesPerSec = rate * format.nBlockAlign;
  format.wBitsPerSample = bits;
  return 0;
}

int OggSource::OpenMemory(const BYTE* image, DWORD size) {
  endFlag = 0;
  if (!handle || !image) return 1;
  return Started(g_oggOverlay.input_memory(handle, image, size, 0));
}

int OggSource::OpenFile(const char* filePath) {
  endFlag = 0;
  if (!handle || !filePath || std::strlen(filePath) >= PATH_SIZE) return 1;
  if (filePath != path) std::strcpy(path, filePath);
  return Started(g_oggOverlay.input_file_open(handle, path, 0, 0));
}

void OggSource::GetPcmSize(DWORD* size) {
  if (!size) return;
  *size = 0;
  if (handle) g_oggOverlay.pcm_size(handle, size);
}

const WAVEFORMATEX* OggSource::GetFormat() { return handle && format.nChannels ? &format : nullptr; }

uint32_t OggSource::Read(uint8_t* dst, uint32_t wantBytes, int loop) {
  const int want = int(std::min<uint32_t>(wantBytes, 0x40000000u));
  int got = 0;
  if (want <= 0 || !handle) return 0;
  bool passGaveBytes = true;  // since the last replay
  for (;;) {
    if (spillEnd > spillPos) {
      const int held = int(spillEnd - spillPos);
      if (held >= want - got) {
        std::memcpy(dst + got, spill + spillPos, size_t(want - got));
        spillPos += DWORD(want - got);
        return want;
      }
      std::memcpy(dst + got, spill + spillPos, size_t(held));
      got += held;
    }
    spillPos = spillEnd = 0;
    if (finished) {
      endFlag = 1;
      return got;
    }
    while (!finished && got < want) {
      const int n = g_oggOverlay.process_frame(handle, dst + got, want - got, loop);
      const int atEnd = g_oggOverlay.eof(handle);
      if (n > 0) {
        got += n;
        passGaveBytes = true;
        if (got > want) {
          // The overshoot waits for the next request; what the spill
          // buffer cannot hold is dropped.
          const DWORD excess = std::min<DWORD>(DWORD(got - want), SPILL_SIZE);
          std::memcpy(spill, dst + want, excess);
          spillPos = 0;
          spillEnd = excess;
          got = want;
        }
      } else if (!atEnd) {
        finished = 1;  // a step that gives nothing and does not end would spin
        break;
      }
      if (atEnd) {
        // A replay that gave nothing since the last one would spin for ever.
        if (loop && passGaveBytes) {
          g_oggOverlay.replay(handle);
          passGaveBytes = false;
        } else {
          finished = 1;
        }
      }
    }
    if (endFlag || got >= want) return got;
  }
}

void OggSource::Suspend() {
  if (handle && g_oggOverlay.suspend) g_oggOverlay.suspend(handle);
}

void OggSource::Resume() {
  if (handle && g_oggOverlay.resume) g_oggOverlay.resume(handle);
}

void OggSource::Free() {
  if (handle && g_oggOverlay.free) g_oggOverlay.free(handle);
  handle = nullptr;
}
