// Binding of the MP3 encoder module "gogo.dll", loaded at run time.
#pragma once

#include <windows.h>
#include <mmreg.h>

class CGogoEncoder {
 public:
  explicit CGogoEncoder(int kbps);
  ~CGogoEncoder();
  CGogoEncoder(const CGogoEncoder&) = delete;
  CGogoEncoder& operator=(const CGogoEncoder&) = delete;

  // 0 when the module is held (already or now), 12 when it cannot be found
  // or lacks an entry point the encode calls.
  int Load();
  void Unload();
  bool IsLoaded() const { return m_module != nullptr; }

  // Codes *size bytes of samples in `format`; returns the MP3 block (local
  // heap, the caller frees it) and sets *size to its length, or returns null
  // (and *size 0) when the module is missing, rejects the configuration or
  // fails while coding.
  BYTE* EncodePcm(const BYTE* samples, const WAVEFORMATEX* format, DWORD* size);
  // Empty text and 0 without the module; else the module's version.
  DWORD GetVersionText(char* text);

 private:
  HMODULE m_module;
  int m_bitrate;
};

// Encodes samples in `source` format at `kbps` into MP3 in `target` format,
// converting first when rate, channels or bits differ.  *size: sample bytes
// in, MP3 bytes out; null (and *size 0) when nothing was coded.
BYTE* Mp3EncodeBuffer(const WAVEFORMATEX* target, int kbps, const BYTE* samples, const WAVEFORMATEX* source,
                      DWORD* size);
