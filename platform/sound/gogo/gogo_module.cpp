// The MP3 encoder module "gogo.dll" (built as gogo.dll.so), on libmp3lame.
//
// One encode at a time, as its callers expect: the settings, the coder and
// the buffers are module-wide.  Samples are pulled through the caller's read
// callback one MP3 frame at a time; the coded bytes leave through the write
// callback.  Constant bit rate, and no VBR information frame, so every frame
// of the stream carries sound.
#include <gogo.h>

#include <lame/lame.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "formats/le_bytes.h"

namespace {

struct Session {
  bool haveInput = false;
  MPGE_INPUT_DESC input{};
  MPGE_USERFUNC_WRITE write = nullptr;
  int channelMode = -1;  // -1: as the input
  int bitrate = 128;
  int outRate = 0;  // 0: the input's rate
  int effort = 0;
  int lowpass = 1;
  lame_global_flags* coder = nullptr;
  int frameSamples = 0;
  bool finished = false;
  std::vector<BYTE> in;
  std::vector<short> pcm;
  std::vector<unsigned char> out;
};

Session g;

void Quiet(const char*, va_list) {}

void DropCoder() {
  if (g.coder) lame_close(g.coder);
  g.coder = nullptr;
}

bool IsMpegRate(int rate) {
  static const int kRates[] = {8000, 11025, 12000, 16000, 22050, 24000, 32000, 44100, 48000};
  for (int r : kRates)
    if (r == rate) return true;
  return false;
}

// The bit rates a frame can carry at the output rate; a request between two
// takes the nearer one (the lower on a tie).
int LegalBitrate(int rate, int kbps) {
  static const int kMpeg1[] = {32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};
  static const int kMpeg2[] = {8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160};
  static const int kMpeg25[] = {8, 16, 24, 32, 40, 48, 56, 64};
  const int* table;
  int n;
  if (rate >= 32000) {
    table = kMpeg1;
    n = 14;
  } else if (rate >= 16000) {
    table = kMpeg2;
    n = 14;
  } else {
    table = kMpeg25;
    n = 8;
  }
  int best = table[0];
  for (int i = 0; i < n; ++i)
    if (std::abs(table[i] - kbps) < std::abs(best - kbps)) best = table[i];
  return best;
}

MERET Emit(int bytes) {
  if (bytes < 0) return MPGE_ERR_ENCODER;
  if (bytes > 0) g.write(g.out.data(), DWORD(bytes));
  return MPGE_OK;
}

}  // namespace

extern "C" {

MERET MPGE_initializeWork(void) {
  DropCoder();
  g = Session{};
  return MPGE_OK;
}

MERET MPGE_setConfigure(MPARAM code, MPARAM value, MPARAM pointer) {
  if (g.coder) return MPGE_ERR_STATE;
  switch (code) {
    case MPGE_CFG_INPUT:
      if (value != MPGE_DEV_CALLBACK || !pointer) return MPGE_ERR_PARAM;
      g.input = *reinterpret_cast<const MPGE_INPUT_DESC*>(pointer);
      g.haveInput = g.input.read != nullptr;
      return g.haveInput ? MPGE_OK : MPGE_ERR_PARAM;
    case MPGE_CFG_OUTPUT:
      if (value != MPGE_DEV_CALLBACK || !pointer) return MPGE_ERR_PARAM;
      g.write = reinterpret_cast<MPGE_USERFUNC_WRITE>(pointer);
      return MPGE_OK;
    case MPGE_CFG_CHANNELS:
      g.channelMode = value ? 1 : 0;
      return MPGE_OK;
    case MPGE_CFG_BITRATE:
      if (value == 0 || value > 1000) return MPGE_ERR_PARAM;
      g.bitrate = int(value);
      return MPGE_OK;
    case MPGE_CFG_OUTRATE:
      if (!IsMpegRate(int(value))) return MPGE_ERR_RATE;
      g.outRate = int(value);
      return MPGE_OK;
    case MPGE_CFG_EFFORT:
      g.effort = int(value);
      return MPGE_OK;
    case MPGE_CFG_LOWPASS:
      g.lowpass = int(value);
      return MPGE_OK;
    case MPGE_CFG_SIMD:
      return MPGE_OK;
    default:
      return MPGE_ERR_PARAM;
  }
}

MERET MPGE_getConfigure(MPARAM code, void* out) {
  if (!out) return MPGE_ERR_PARAM;
  MPARAM v;
  switch (code) {
    case MPGE_CFG_CHANNELS:
      v = MPARAM(g.channelMode < 0 ? g.input.channels > 1 : g.channelMode);
      break;
    case MPGE_CFG_BITRATE:
      v = MPARAM(g.bitrate);
      break;
    case MPGE_CFG_OUTRATE:
      v = MPARAM(g.outRate ? g.outRate : int(g.input.freq));
      break;
    case MPGE_CFG_EFFORT:
      v = MPARAM(g.effort);
      break;
    case MPGE_CFG_LOWPASS:
      v = MPARAM(g.lowpass);
      break;
    default:
      return MPGE_ERR_PARAM;
  }
  *static_cast<MPARAM*>(out) = v;
  return MPGE_OK;
}

MERET MPGE_detectConfigure(void) {
  if (g.coder) return MPGE_ERR_STATE;
  if (!g.haveInput || !g.write) return MPGE_ERR_PARAM;
  if (g.input.bits != 16) return MPGE_ERR_SAMPLES;
  if (g.input.channels < 1 || g.input.channels > 2) return MPGE_ERR_SAMPLES;
  if (g.input.freq < 1000 || g.input.freq > 192000) return MPGE_ERR_RATE;
  const int outRate = g.outRate ? g.outRate : int(g.input.freq);
  if (!IsMpegRate(outRate)) return MPGE_ERR_RATE;
  const int mono = g.channelMode < 0 ? g.input.channels == 1 : g.channelMode == 0;

  lame_global_flags* gf = lame_init();
  if (!gf) return MPGE_ERR_MEMORY;
  lame_set_errorf(gf, Quiet);
  lame_set_debugf(gf, Quiet);
  lame_set_msgf(gf, Quiet);
  lame_set_num_channels(gf, int(g.input.channels));
  lame_set_in_samplerate(gf, int(g.input.freq));
  lame_set_out_samplerate(gf, outRate);
  lame_set_mode(gf, mono ? MONO : JOINT_STEREO);
  lame_set_VBR(gf, vbr_off);
  lame_set_brate(gf, LegalBitrate(outRate, g.bitrate));
  lame_set_bWriteVbrTag(gf, 0);
  lame_set_quality(gf, g.effort ? 2 : 5);
  if (!g.lowpass) lame_set_lowpassfreq(gf, -1);
  if (lame_init_params(gf) < 0) {
    lame_close(gf);
    return MPGE_ERR_PARAM;
  }
  g.coder = gf;
  g.frameSamples = lame_get_framesize(gf);
  g.finished = false;
  g.in.assign(size_t(g.frameSamples) * g.input.channels * 2, 0);
  g.pcm.assign(size_t(g.frameSamples) * g.input.channels, 0);
  g.out.assign(size_t(g.frameSamples) * 5 / 4 + 7200, 0);
  return MPGE_OK;
}

MERET MPGE_processFrame(void) {
  if (!g.coder) return MPGE_ERR_STATE;
  if (g.finished) return MPGE_END;
  if (g.input.read(g.in.data(), DWORD(g.in.size())) != MPGE_OK) {
    g.finished = true;
    MERET r = Emit(lame_encode_flush(g.coder, g.out.data(), int(g.out.size())));
    return r == MPGE_OK ? MPGE_END : r;
  }
  for (size_t i = 0; i < g.pcm.size(); ++i) g.pcm[i] = short(GetLe16(&g.in[2 * i]));
  int n;
  if (g.input.channels == 2)
    n = lame_encode_buffer_interleaved(g.coder, g.pcm.data(), g.frameSamples, g.out.data(), int(g.out.size()));
  else
    n = lame_encode_buffer(g.coder, g.pcm.data(), g.pcm.data(), g.frameSamples, g.out.data(), int(g.out.size()));
  return Emit(n);
}

MERET MPGE_closeCoder(void) {
  DropCoder();
  return MPGE_OK;
}

MERET MPGE_endCoder(void) {
  DropCoder();
  g = Session{};
  return MPGE_OK;
}

MERET MPGE_getVersion(DWORD* code, char* text) {
  lame_version_t v;
  get_lame_version_numerical(&v);
  if (code) *code = DWORD(v.major * 1000 + v.minor);
  if (text) std::snprintf(text, 64, "libmp3lame %s", get_lame_version());
  return MPGE_OK;
}

MERET MPGE_getUnitStates(DWORD* units) {
  if (units) *units = 1;  // one coding unit, no threads of its own
  return MPGE_OK;
}

}  // extern "C"
