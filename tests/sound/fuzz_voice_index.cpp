// "AdvData\voice.dat" from arbitrary bytes: the index, the record bounds and
// every body's road to plain samples stay inside what the file holds.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "converter/sound/sound_prep.h"
#include "converter/sound/voice_decoder.h"
#include "converter/sound/voice_index.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1u << 20)) return 0;
  static std::vector<BYTE> scratch(kVoiceInflateBytes);
  static const bool table = LoadVoiceDecodeTable();
  (void)table;
  std::vector<uint8_t> file(data, data + size);
  std::vector<VoiceRecord> records;
  if (!ParseVoiceIndex(file.data(), size, size, &records)) return 0;
  int bodies = 0;
  for (const VoiceRecord& r : records) {
    char entry[64];
    if (!r.nameTerminated || !IsVoiceSoundName(r.name) || !VoiceEntryName(entry, sizeof entry, r.name, 0)) continue;
    if (!r.bodyInFile) continue;  // the run makes it a failed placeholder
    if (r.offset + r.size > size) __builtin_trap();
    if (++bodies > 8) break;
    std::vector<BYTE> body(file.begin() + long(r.offset), file.begin() + long(r.offset + r.size));
    if (body.size() >= 4 && body[0] == 'R' && body[1] == 'I' && body[2] == 'F' && body[3] == 'F') {
      WaveFormatBuffer f;
      DWORD n = 0;
      ParseRiffWave(body.data(), DWORD(body.size()), f.get(), &n);
      continue;
    }
    DWORD imageSize = 0;
    BYTE* image = BuildVoicePcmImage(body.data(), DWORD(body.size()), scratch.data(), &imageSize);
    if (image) {
      PcmHeader h;
      if (!ReadPcmHeader(image, imageSize, &h)) __builtin_trap();
      LocalFree(image);
    }
  }
  return 0;
}
