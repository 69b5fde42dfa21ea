// The MP3 decoder overlay "Corvane.ovl" (built as Corvane.ovl.so), on
// libmpg123.
//
// The caller walks the stream itself: it tests the four header bytes of each
// frame (__mp3_predecode), reads the frame's length from the stream record
// and hands over exactly one frame (__mp3_decode).  Each valid frame gives
// its own samples: libmpg123 is fed frame by frame through its feed reader,
// and whatever it holds back is delivered with later frames, so a decode
// returns 0 only when the frame gives nothing at all.
//
// The stream record that __mp3_create returns begins with 32-bit words the
// caller reads: word 3 the channel count, word 12 the length of the frame
// last tested, word 15 its bit rate in kbit/s, word 16 the sample rate.
#include <mpg123.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>

namespace {

constexpr int kWordChannels = 3;
constexpr int kWordFrameLength = 12;
constexpr int kWordBitrate = 15;
constexpr int kWordRate = 16;
constexpr int kWordVersion = 0;       // 0 MPEG 1, 1 MPEG 2, 2 MPEG 2.5
constexpr int kWordLayer = 1;         // 1..3
constexpr int kWordFrameSamples = 2;  // samples a channel of one frame

constexpr size_t kOutputBytes = 4608;       // the caller's buffer: 1,152 stereo frames
constexpr size_t kPendingBytes = 8 * 4608;  // what libmpg123 may release at once

struct Header {
  int version;  // 0 MPEG 1, 1 MPEG 2, 2 MPEG 2.5
  int layer;    // 1..3
  int kbps;
  int rate;
  int channels;
  int length;   // bytes of the whole frame
  int samples;  // a channel
};

// Parses four header bytes; false for anything that is not a frame header
// of a fixed bit rate.
bool ParseHeader(const unsigned char* b, Header* h) {
  if (b[0] != 0xFF || (b[1] & 0xE0) != 0xE0) return false;
  const int versionBits = (b[1] >> 3) & 3, layerBits = (b[1] >> 1) & 3;
  const int rateIndex = (b[2] >> 2) & 3, bitrateIndex = b[2] >> 4, padding = (b[2] >> 1) & 1;
  if (versionBits == 1 || layerBits == 0 || rateIndex == 3 || bitrateIndex == 0 || bitrateIndex == 15) return false;
  static const int kRates[3][3] = {{44100, 48000, 32000}, {22050, 24000, 16000}, {11025, 12000, 8000}};
  static const int kKbps[2][3][15] = {{{0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},
                                       {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
                                       {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320}},
                                      {{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},
                                       {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
                                       {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160}}};
  h->version = versionBits == 3 ? 0 : versionBits == 2 ? 1 : 2;
  h->layer = 4 - layerBits;
  h->rate = kRates[h->version][rateIndex];
  h->kbps = kKbps[h->version ? 1 : 0][h->layer - 1][bitrateIndex];
  h->channels = (b[3] >> 6) == 3 ? 1 : 2;
  if (h->layer == 1) {
    h->length = (12000 * h->kbps / h->rate + padding) * 4;
    h->samples = 384;
  } else if (h->layer == 2 || h->version == 0) {
    h->length = 144000 * h->kbps / h->rate + padding;
    h->samples = 1152;
  } else {
    h->length = 72000 * h->kbps / h->rate + padding;
    h->samples = 576;
  }
  return true;
}

struct Stream {
  int32_t words[32] = {};
  mpg123_handle* decoder = nullptr;
  size_t pending = 0;  // decoded bytes not yet handed out
  unsigned char pendingBytes[kPendingBytes];
};

bool LibraryReady() {
  static const bool ready = mpg123_init() == MPG123_OK;
  return ready;
}

// Moves what libmpg123 can give now behind the pending bytes.
void Drain(Stream* s) {
  for (;;) {
    if (s->pending >= kPendingBytes) return;
    size_t got = 0;
    const int r = mpg123_read(s->decoder, s->pendingBytes + s->pending, kPendingBytes - s->pending, &got);
    s->pending += got;
    if (r == MPG123_NEW_FORMAT || (r == MPG123_OK && got > 0)) continue;
    return;
  }
}

}  // namespace

extern "C" {

// The stream record for a stream whose first frame header is `header`, or
// null when no decoder can be made for it.
__attribute__((visibility("default"))) void* __mp3_create(const unsigned char* header) {
  Header h;
  if (!header || !ParseHeader(header, &h) || !LibraryReady()) return nullptr;
  auto* s = new (std::nothrow) Stream;
  if (!s) return nullptr;
  s->decoder = mpg123_new(nullptr, nullptr);
  bool ok = s->decoder != nullptr;
  if (ok) {
    mpg123_param(s->decoder, MPG123_ADD_FLAGS, MPG123_QUIET, 0);
    mpg123_param(s->decoder, MPG123_REMOVE_FLAGS, MPG123_GAPLESS, 0);
    // A frame is decoded as soon as it is complete, not when the next header
    // has been seen: the caller hands over one frame at a time.
    mpg123_param(s->decoder, MPG123_ADD_FLAGS, MPG123_NO_READAHEAD, 0);
    ok = mpg123_format_none(s->decoder) == MPG123_OK &&
         mpg123_format(s->decoder, h.rate, h.channels == 1 ? MPG123_MONO : MPG123_STEREO, MPG123_ENC_SIGNED_16) ==
             MPG123_OK &&
         mpg123_open_feed(s->decoder) == MPG123_OK;
  }
  if (!ok) {
    if (s->decoder) mpg123_delete(s->decoder);
    delete s;
    return nullptr;
  }
  s->words[kWordVersion] = h.version;
  s->words[kWordLayer] = h.layer;
  s->words[kWordFrameSamples] = h.samples;
  s->words[kWordChannels] = h.channels;
  s->words[kWordFrameLength] = h.length;
  s->words[kWordBitrate] = h.kbps;
  s->words[kWordRate] = h.rate;
  return s;
}

// 0 when a frame of this stream's kind starts with these four bytes; its
// length and bit rate are then in words 12 and 15.
__attribute__((visibility("default"))) int __mp3_predecode(void* handle, const unsigned char* header) {
  auto* s = static_cast<Stream*>(handle);
  Header h;
  if (!s || !header || !ParseHeader(header, &h)) return 1;
  if (h.version != s->words[kWordVersion] || h.layer != s->words[kWordLayer] || h.rate != s->words[kWordRate] ||
      h.channels != s->words[kWordChannels])
    return 1;
  s->words[kWordFrameLength] = h.length;
  s->words[kWordBitrate] = h.kbps;
  return 0;
}

// Decodes one frame into `out` (room for one frame of 16-bit samples);
// returns the sample frames written.
__attribute__((visibility("default"))) int __mp3_decode(void* handle, void* out, const unsigned char* frame,
                                                        int length) {
  auto* s = static_cast<Stream*>(handle);
  if (!s || !out || !frame || length <= 0) return 0;
  if (mpg123_feed(s->decoder, frame, size_t(length)) != MPG123_OK) return 0;
  Drain(s);
  const size_t frameBytes = size_t(s->words[kWordChannels]) * 2;
  size_t n = size_t(s->words[kWordFrameSamples]) * frameBytes;
  if (n > kOutputBytes) n = kOutputBytes;
  if (n > s->pending) n = s->pending;
  n -= n % frameBytes;
  std::memcpy(out, s->pendingBytes, n);
  std::memmove(s->pendingBytes, s->pendingBytes + n, s->pending - n);
  s->pending -= n;
  return int(n / frameBytes);
}

__attribute__((visibility("default"))) void __mp3_destroy(void* handle) {
  auto* s = static_cast<Stream*>(handle);
  if (!s) return;
  mpg123_delete(s->decoder);
  delete s;
}

// Writes the version text into `text` (128 bytes).
__attribute__((visibility("default"))) int __mp3_getdecver(char* text) {
  if (text) std::snprintf(text, 128, "Corvane 1.0 (libmpg123 API %d)", MPG123_API_VERSION);
  return 0;
}

}  // extern "C"
