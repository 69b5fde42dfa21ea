#include "converter/sound/mp3_encoder.h"

#include <gogo.h>

#include <algorithm>
#include <cstring>

#include "converter/sound/sound_prep.h"

namespace {

constexpr DWORD kSmallOutputBlock = 2u * 1024 * 1024;
constexpr DWORD kModuleMissing = 12;

// One encode at a time: the module calls back into this state.
struct EncodeState {
  const BYTE* input = nullptr;
  DWORD inputSize = 0;
  DWORD readPos = 0;
  BYTE* output = nullptr;
  DWORD capacity = 0;
  DWORD written = 0;
  bool outOfMemory = false;

  MPGE_INITIALIZEWORK initializeWork = nullptr;
  MPGE_SETCONFIGURE setConfigure = nullptr;
  MPGE_GETCONFIGURE getConfigure = nullptr;
  MPGE_DETECTCONFIGURE detectConfigure = nullptr;
  MPGE_PROCESSFRAME processFrame = nullptr;
  MPGE_CLOSECODER closeCoder = nullptr;
  MPGE_ENDCODER endCoder = nullptr;
  MPGE_GETVERSION getVersion = nullptr;
  MPGE_GETUNITSTATES getUnitStates = nullptr;
};
EncodeState g;

void FreeOutput() {
  if (g.output) LocalFree(g.output);
  g.output = nullptr;
  g.capacity = 0;
  g.written = 0;
}

MERET ReadSamples(void* buffer, DWORD length) {
  if (g.readPos >= g.inputSize) return MPGE_END;
  const DWORD n = std::min(length, g.inputSize - g.readPos);
  std::memcpy(buffer, g.input + g.readPos, n);
  if (n < length) std::memset(static_cast<BYTE*>(buffer) + n, 0, length - n);
  g.readPos += n;
  return MPGE_OK;
}

// Appends to the output block, growing it when it is full.
MERET WriteStream(void* bytes, DWORD length) {
  if (!bytes || length == 0 || g.outOfMemory) return MPGE_OK;
  if (uint64_t(g.written) + length > g.capacity) {
    uint64_t want = std::max<uint64_t>(uint64_t(g.capacity) * 2, uint64_t(g.written) + length);
    want = std::min<uint64_t>(want, 0xFFFFFFFFu);
    BYTE* grown =
        want >= uint64_t(g.written) + length ? static_cast<BYTE*>(LocalAlloc(LMEM_FIXED, SIZE_T(want))) : nullptr;
    if (!grown) {
      g.outOfMemory = true;
      return MPGE_OK;
    }
    if (g.written) std::memcpy(grown, g.output, g.written);
    if (g.output) LocalFree(g.output);
    g.output = grown;
    g.capacity = DWORD(want);
  }
  std::memcpy(g.output + g.written, bytes, length);
  g.written += length;
  return MPGE_OK;
}

template <typename T>
T Bind(HMODULE module, const char* name) {
  return reinterpret_cast<T>(GetProcAddress(module, name));
}

}  // namespace

CGogoEncoder::CGogoEncoder(int kbps) : m_module(nullptr), m_bitrate(kbps) {
  FreeOutput();
  Load();
}

CGogoEncoder::~CGogoEncoder() {
  if (m_module) Unload();
  FreeOutput();
}

int CGogoEncoder::Load() {
  if (m_module) return 0;
  m_module = LoadLibraryA("gogo.dll");
  if (!m_module) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\MarineCat\\GOGO_DLL", 0, KEY_ALL_ACCESS, &key) == ERROR_SUCCESS) {
      char path[1024] = {};
      DWORD type = 0;
      DWORD bytes = sizeof path - 1;  // room for a terminator the value may lack
      const LONG r = RegQueryValueExA(key, "INSTPATH", nullptr, &type, reinterpret_cast<BYTE*>(path), &bytes);
      RegCloseKey(key);
      if (r == ERROR_SUCCESS && type == REG_SZ) m_module = LoadLibraryA(path);
    }
  }
  if (!m_module) return kModuleMissing;
  g.initializeWork = Bind<MPGE_INITIALIZEWORK>(m_module, "MPGE_initializeWork");
  g.setConfigure = Bind<MPGE_SETCONFIGURE>(m_module, "MPGE_setConfigure");
  g.getConfigure = Bind<MPGE_GETCONFIGURE>(m_module, "MPGE_getConfigure");
  g.detectConfigure = Bind<MPGE_DETECTCONFIGURE>(m_module, "MPGE_detectConfigure");
  g.processFrame = Bind<MPGE_PROCESSFRAME>(m_module, "MPGE_processFrame");
  g.closeCoder = Bind<MPGE_CLOSECODER>(m_module, "MPGE_closeCoder");
  g.endCoder = Bind<MPGE_ENDCODER>(m_module, "MPGE_endCoder");
  g.getVersion = Bind<MPGE_GETVERSION>(m_module, "MPGE_getVersion");
  g.getUnitStates = Bind<MPGE_GETUNITSTATES>(m_module, "MPGE_getUnitStates");
  // A module without the entry points the encode calls counts as missing.
  if (!g.initializeWork || !g.setConfigure || !g.detectConfigure || !g.processFrame || !g.closeCoder || !g.endCoder ||
      !g.getVersion) {
    Unload();
    return kModuleMissing;
  }
  return 0;
}

void CGogoEncoder::Unload() {
  FreeLibrary(m_module);
  m_module = nullptr;
}

DWORD CGogoEncoder::GetVersionText(char* text) {
  text[0] = '\0';
  if (!m_module) return 0;
  DWORD code = 0;
  g.getVersion(&code, text);
  return code;
}

BYTE* CGogoEncoder::EncodePcm(const BYTE* samples, const WAVEFORMATEX* format, DWORD* size) {
  const DWORD inputSize = *size;
  *size = 0;
  if (!m_module) return nullptr;
  MPGE_INPUT_DESC input{};
  input.read = ReadSamples;
  input.size = inputSize;
  input.bits = format->wBitsPerSample;
  input.freq = format->nSamplesPerSec;
  input.channels = format->nChannels;

  g.input = samples;
  g.inputSize = inputSize;
  g.readPos = 0;
  FreeOutput();
  g.outOfMemory = false;
  g.capacity = inputSize < kSmallOutputBlock ? kSmallOutputBlock : inputSize / 2;
  g.output = static_cast<BYTE*>(LocalAlloc(LMEM_FIXED, g.capacity));
  if (!g.output) {
    g.capacity = 0;
    return nullptr;
  }

  g.initializeWork();
  g.setConfigure(MPGE_CFG_INPUT, MPGE_DEV_CALLBACK, reinterpret_cast<MPARAM>(&input));
  g.setConfigure(MPGE_CFG_OUTPUT, MPGE_DEV_CALLBACK, reinterpret_cast<MPARAM>(&WriteStream));
  g.setConfigure(MPGE_CFG_LOWPASS, 1, 0);
  g.setConfigure(MPGE_CFG_EFFORT, 0, 0);
  g.setConfigure(MPGE_CFG_SIMD, 1, 0);
  g.setConfigure(MPGE_CFG_CHANNELS, input.channels > 1 ? 1 : 0, 0);
  g.setConfigure(MPGE_CFG_BITRATE, MPARAM(m_bitrate), 0);
  g.setConfigure(MPGE_CFG_OUTRATE, input.freq, 0);
  if (g.detectConfigure() != MPGE_OK) {
    FreeOutput();
    return nullptr;
  }
  MERET r;
  while ((r = g.processFrame()) == MPGE_OK) {
  }
  g.closeCoder();
  g.endCoder();
  g.input = nullptr;
  if (r != MPGE_END || g.outOfMemory || g.written == 0) {
    FreeOutput();
    return nullptr;
  }
  BYTE* block = g.output;
  *size = g.written;
  g.output = nullptr;
  g.capacity = 0;
  g.written = 0;
  return block;
}

BYTE* Mp3EncodeBuffer(const WAVEFORMATEX* target, int kbps, const BYTE* samples, const WAVEFORMATEX* source,
                      DWORD* size) {
  CGogoEncoder encoder(kbps);
  BYTE* converted = nullptr;
  DWORD bytes = *size;
  *size = 0;
  if (FormatsDiffer(source, target)) {
    bytes = ConvertPcmForMp3(source, target, samples, bytes, &converted, 0);
    if (!converted) return nullptr;
    samples = converted;
  }
  BYTE* mp3 = bytes > 0 ? encoder.EncodePcm(samples, target, &bytes) : nullptr;
  if (converted) LocalFree(converted);
  *size = mp3 ? bytes : 0;
  return mp3;
}
