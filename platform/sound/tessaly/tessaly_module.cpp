// The Ogg Vorbis decoder overlay "Tessaly.ovl" (built as Tessaly.ovl.so), on
// libvorbisfile.
//
// A decoder reads one stream from a memory image (which the caller keeps
// alive) or from a file named by a multi-byte Windows path.  A decode step
// takes whole packets: it stops once the room is filled, so its last packet
// may run past the room by up to kStep bytes (the caller's destination has
// room for that overshoot).  The end of the stream is reported separately
// (pcc_ogg_eof); pcc_ogg_replay rewinds.  Suspending a file stream closes
// the file, resuming opens it again at the same sample.
#include <velmi_platform.h>

#include <vorbis/vorbisfile.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>

#define TESSALY_ENTRY extern "C" __attribute__((visibility("default")))

namespace {

constexpr int kStep = 4096;  // bytes asked of libvorbisfile at a time

#pragma pack(push, 1)
struct Format {  // shaped like WAVEFORMATEX
  uint16_t tag;
  uint16_t channels;
  uint32_t rate;
  uint32_t bytesPerSecond;
  uint16_t blockAlign;
  uint16_t bits;
  uint16_t extra;
};
#pragma pack(pop)
static_assert(sizeof(Format) == 18);

struct Decoder {
  OggVorbis_File file{};
  bool open = false;
  // memory input
  const unsigned char* data = nullptr;
  size_t size = 0;
  size_t pos = 0;
  // file input
  std::string path;
  bool suspended = false;
  ogg_int64_t resumeAt = 0;
  int eof = 0;
  Format format{};
};

size_t MemRead(void* out, size_t size, size_t count, void* source) {
  auto* d = static_cast<Decoder*>(source);
  if (size == 0) return 0;
  size_t n = std::min(count, (d->size - d->pos) / size);
  std::memcpy(out, d->data + d->pos, n * size);
  d->pos += n * size;
  return n;
}

int MemSeek(void* source, ogg_int64_t offset, int whence) {
  auto* d = static_cast<Decoder*>(source);
  ogg_int64_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? ogg_int64_t(d->pos) : ogg_int64_t(d->size);
  if (whence != SEEK_SET && whence != SEEK_CUR && whence != SEEK_END) return -1;
  ogg_int64_t to = base + offset;
  if (to < 0 || to > ogg_int64_t(d->size)) return -1;
  d->pos = size_t(to);
  return 0;
}

long MemTell(void* source) { return long(static_cast<Decoder*>(source)->pos); }

void Close(Decoder* d) {
  if (d->open) ov_clear(&d->file);
  d->open = false;
  d->eof = 0;
  d->format = {};
}

bool TakeFormat(Decoder* d) {
  vorbis_info* vi = ov_info(&d->file, -1);
  if (!vi || vi->channels < 1 || vi->channels > 8 || vi->rate < 1) return false;
  d->format.tag = 1;
  d->format.channels = uint16_t(vi->channels);
  d->format.rate = uint32_t(vi->rate);
  d->format.blockAlign = uint16_t(vi->channels * 2);
  d->format.bytesPerSecond = d->format.rate * d->format.blockAlign;
  d->format.bits = 16;
  return true;
}

bool OpenPath(Decoder* d) {
  const std::string real = VelmiResolvePathA(d->path.c_str());
  if (real.empty()) return false;
  if (ov_fopen(real.c_str(), &d->file) != 0) return false;
  d->open = true;
  return true;
}

int InputMemory(void* handle, const void* data, uint32_t size) {
  auto* d = static_cast<Decoder*>(handle);
  if (!d) return -1;
  Close(d);
  d->path.clear();
  if (!data) return -1;
  d->data = static_cast<const unsigned char*>(data);
  d->size = size;
  d->pos = 0;
  const ov_callbacks io{MemRead, MemSeek, nullptr, MemTell};
  if (ov_open_callbacks(d, &d->file, nullptr, 0, io) != 0) return -1;
  d->open = true;
  if (!TakeFormat(d)) {
    Close(d);
    return -1;
  }
  return 0;
}

int InputFile(void* handle, const char* path) {
  auto* d = static_cast<Decoder*>(handle);
  if (!d) return -1;
  Close(d);
  d->data = nullptr;
  d->path = path ? path : "";
  if (d->path.empty() || !OpenPath(d)) return -1;
  if (!TakeFormat(d)) {
    Close(d);
    return -1;
  }
  return 0;
}

}  // namespace

TESSALY_ENTRY void* pcc_ogg_create() { return new (std::nothrow) Decoder; }

TESSALY_ENTRY void pcc_ogg_free(void* handle) {
  auto* d = static_cast<Decoder*>(handle);
  if (!d) return;
  Close(d);
  delete d;
}

// 0 when the stream can be decoded.
TESSALY_ENTRY int pcc_ogg_input_memory(void* handle, const void* data, uint32_t size, int) {
  return InputMemory(handle, data, size);
}
TESSALY_ENTRY int pcc_ogg_input_memory2(void* handle, const void* data, uint32_t size, int) {
  return InputMemory(handle, data, size);
}
TESSALY_ENTRY int pcc_ogg_input_file_open(void* handle, const char* path, int, int) { return InputFile(handle, path); }
TESSALY_ENTRY int pcc_ogg_input_file_open2(void* handle, const char* path, int, int) { return InputFile(handle, path); }
// A file read through the system's file cache: the same as an open file here.
TESSALY_ENTRY int pcc_ogg_input_file_map(void* handle, const char* path, int, int) { return InputFile(handle, path); }
TESSALY_ENTRY int pcc_ogg_input_file_map2(void* handle, const char* path, int, int) { return InputFile(handle, path); }

TESSALY_ENTRY int pcc_ogg_pcm_size(void* handle, uint32_t* size) {
  auto* d = static_cast<Decoder*>(handle);
  if (!size) return -1;
  *size = 0;
  if (!d || !d->open) return -1;
  const ogg_int64_t samples = ov_pcm_total(&d->file, -1);
  if (samples < 0) return -1;
  const uint64_t bytes = uint64_t(samples) * d->format.blockAlign;
  *size = bytes > 0xFFFFFFFFu ? 0xFFFFFFFFu : uint32_t(bytes);
  return 0;
}

TESSALY_ENTRY const void* pcc_ogg_pcm_format(void* handle) {
  auto* d = static_cast<Decoder*>(handle);
  return d ? &d->format : nullptr;
}

// Decodes whole packets into `out` until `room` bytes are there; returns the
// bytes written, which may exceed `room` by less than kStep.
TESSALY_ENTRY int pcc_ogg_process_frame(void* handle, void* out, int room, int) {
  auto* d = static_cast<Decoder*>(handle);
  if (!d || !d->open || d->suspended || !out || room <= 0) return 0;
  char* dst = static_cast<char*>(out);
  int written = 0;
  int holes = 0;
  while (written < room) {
    int link = 0;
    const long n = ov_read(&d->file, dst + written, kStep, 0, 2, 1, &link);
    if (n == 0) {
      d->eof = 1;
      break;
    }
    if (n == OV_HOLE && ++holes < 64) continue;  // a gap in the data: go on after it
    if (n < 0) {
      d->eof = 1;
      break;
    }
    written += int(n);
  }
  return written;
}

TESSALY_ENTRY int pcc_ogg_eof(void* handle) {
  auto* d = static_cast<Decoder*>(handle);
  return d ? d->eof : 1;
}

TESSALY_ENTRY int pcc_ogg_replay(void* handle) {
  auto* d = static_cast<Decoder*>(handle);
  if (!d || !d->open) return -1;
  d->eof = 0;
  return ov_raw_seek(&d->file, 0) == 0 ? 0 : -1;
}

TESSALY_ENTRY int pcc_ogg_suspend(void* handle) {
  auto* d = static_cast<Decoder*>(handle);
  if (!d || d->suspended) return 0;
  d->suspended = true;
  if (d->open && !d->path.empty()) {
    d->resumeAt = ov_pcm_tell(&d->file);
    ov_clear(&d->file);
    d->open = false;
  }
  return 0;
}

TESSALY_ENTRY int pcc_ogg_resume(void* handle) {
  auto* d = static_cast<Decoder*>(handle);
  if (!d || !d->suspended) return 0;
  d->suspended = false;
  if (!d->open && !d->path.empty()) {
    if (!OpenPath(d)) {
      d->eof = 1;
      return -1;
    }
    if (d->resumeAt > 0 && ov_pcm_seek(&d->file, d->resumeAt) != 0) d->eof = 1;
  }
  return 0;
}

TESSALY_ENTRY int pcc_ogg_tessaly_ver(char* text) {
  if (text) std::snprintf(text, 128, "Tessaly 1.0 (%s)", vorbis_version_string());
  return 0;
}
