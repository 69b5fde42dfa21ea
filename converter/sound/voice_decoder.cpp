#include "converter/sound/voice_decoder.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "converter/sound/voice_table.h"
#include "formats/le_bytes.h"

namespace {

constexpr int kPoints = 4096;
constexpr int kBins = 2048;
constexpr int kFade = 32;

alignas(8) BYTE g_table[kVoiceTableBytes];

int32_t TableEntry(int i) { return int32_t(GetLe32(g_table + 4 * i)); }

// 32-bit sums wrap as they do on the desktop.
inline int32_t Add(int32_t a, int32_t b) { return int32_t(uint32_t(a) + uint32_t(b)); }
inline int32_t Sub(int32_t a, int32_t b) { return int32_t(uint32_t(a) - uint32_t(b)); }
inline int32_t Neg(int32_t a) { return int32_t(0u - uint32_t(a)); }
// 64-bit product, arithmetic shift by 12, low 32 bits kept.
inline int32_t MulShift(int32_t a, int32_t b) { return int32_t(uint32_t(uint64_t((int64_t(a) * b) >> 12))); }

// Code-to-value: 0, 1, -1, 2, -2, ... kept in 16 bits, so the last odd code
// (65535 -> 32768) wraps to -32768.
inline int32_t CodeValue(uint32_t code) {
  const int32_t v = (code & 1) ? int32_t(code / 2 + 1) : -int32_t(code / 2);
  return int16_t(uint16_t(uint32_t(v)));
}

struct Transform {
  int32_t re[kPoints];
  int32_t im[kPoints];
  int32_t cosT[kPoints / 4];
  int32_t sinT[kPoints / 4];
  int32_t gain[8];

  void LoadTable() {
    for (int i = 0; i < 8; ++i) gain[i] = TableEntry(i);
    for (int k = 0; k < kPoints / 4; ++k) {
      cosT[k] = TableEntry(81 + 2 * k);
      sinT[k] = TableEntry(82 + 2 * k);
    }
  }

  void Unpack(const BYTE* in, DWORD available) {
    BYTE block[kVoiceBlockBytes];
    const DWORD n = std::min(available, kVoiceBlockBytes);
    if (n) std::memcpy(block, in, n);
    std::memset(block + n, 0, kVoiceBlockBytes - n);
    for (int j = 0; j < kBins; ++j) {
      const uint32_t a = block[4096 + j], c = block[6144 + j];
      const uint32_t even = uint32_t(block[2 * j]) * 256 + (a & 0xF0) + (c >> 4);
      const uint32_t odd = uint32_t(block[2 * j + 1]) * 256 + (a & 0x0F) * 16 + (c & 0x0F);
      const int32_t g = gain[j / 256];
      re[j] = int32_t(uint32_t(CodeValue(even)) * uint32_t(g));
      im[j] = int32_t(uint32_t(CodeValue(odd)) * uint32_t(g));
    }
    std::fill(re + kBins, re + kPoints, 0);
    std::fill(im + kBins, im + kPoints, 0);
  }

  void Run() {
    for (int span = kPoints; span >= 8; span /= 2) {
      const int half = span / 2, quarter = span / 4, step = kPoints / span;
      for (int s = 0; s < kPoints; s += span) {
        for (int j = 0; j < quarter; ++j) {
          const int32_t C = cosT[step * j], S = sinT[step * j];
          {
            const int a = s + j, b = a + half;
            const int32_t dr = Sub(re[a], re[b]), di = Sub(im[a], im[b]);
            re[a] = Add(re[a], re[b]);
            im[a] = Add(im[a], im[b]);
            if (j == 0) {
              re[b] = dr;
              im[b] = di;
            } else {
              re[b] = Add(MulShift(C, dr), MulShift(S, di));
              im[b] = Sub(MulShift(C, di), MulShift(S, dr));
            }
          }
          {
            const int a = s + j + quarter, b = a + half;
            const int32_t dr = Sub(re[a], re[b]), di = Sub(im[a], im[b]);
            re[a] = Add(re[a], re[b]);
            im[a] = Add(im[a], im[b]);
            if (j == 0) {
              re[b] = di;
              im[b] = Neg(dr);
            } else {
              re[b] = Sub(MulShift(C, di), MulShift(S, dr));
              im[b] = Neg(Add(MulShift(C, dr), MulShift(S, di)));
            }
          }
        }
      }
    }
    for (int s = 0; s < kPoints; s += 4) {
      int32_t dr = Sub(re[s], re[s + 2]), di = Sub(im[s], im[s + 2]);
      re[s] = Add(re[s], re[s + 2]);
      im[s] = Add(im[s], im[s + 2]);
      re[s + 2] = dr;
      im[s + 2] = di;
      dr = Sub(re[s + 1], re[s + 3]);
      di = Sub(im[s + 1], im[s + 3]);
      re[s + 1] = Add(re[s + 1], re[s + 3]);
      im[s + 1] = Add(im[s + 1], im[s + 3]);
      re[s + 3] = di;
      im[s + 3] = Neg(dr);
    }
    for (int s = 0; s < kPoints; s += 2) {
      const int32_t dr = Sub(re[s], re[s + 1]), di = Sub(im[s], im[s + 1]);
      re[s] = Add(re[s], re[s + 1]);
      im[s] = Add(im[s], im[s + 1]);
      re[s + 1] = dr;
      im[s + 1] = di;
    }
    int g = 0;
    for (int i = 1; i < kPoints - 1; ++i) {
      int h = kPoints / 2;
      while (g >= h) {
        g -= h;
        h /= 2;
      }
      g += h;
      if (i < g) {
        std::swap(re[i], re[g]);
        std::swap(im[i], im[g]);
      }
    }
    // Only the real part is kept: r * 16 in 32 bits, then / 16384 toward zero.
    for (int i = 0; i < kPoints; ++i) re[i] = int32_t(uint32_t(re[i]) * 16u) / 16384;
  }
};

inline int16_t Clamp16(int32_t v) { return int16_t(std::clamp<int32_t>(v, -32768, 32767)); }

}  // namespace

BYTE* GetVoiceDecodeTable() { return g_table; }

bool LoadVoiceDecodeTable() {
  RegisterVoiceTableResource();
  HRSRC found = FindResourceA(nullptr, MAKEINTRESOURCEA(132), "Binary");
  if (!found || SizeofResource(nullptr, found) != kVoiceTableBytes) return false;
  HGLOBAL loaded = LoadResource(nullptr, found);
  const void* bytes = loaded ? LockResource(loaded) : nullptr;
  if (!bytes) return false;
  std::memcpy(g_table, bytes, kVoiceTableBytes);
  return true;
}

int ExpandPcmVoice(BYTE* output, const BYTE* input, DWORD outputBytes, DWORD inputBytes, int) {
  const uint64_t samples = outputBytes / 2;
  std::vector<Transform> work(1);
  Transform& t = work[0];
  t.LoadTable();
  for (uint64_t b = 0; kVoiceBlockStep * b < samples; ++b) {
    const uint64_t from = kVoiceBlockBytes * b;
    t.Unpack(from < inputBytes ? input + from : input, from < inputBytes ? DWORD(inputBytes - from) : 0);
    t.Run();
    const uint64_t base = kVoiceBlockStep * b;
    const int count = int(std::min<uint64_t>(kPoints, samples - base));
    for (int i = 0; i < count; ++i) {
      BYTE* p = output + 2 * (base + i);
      int32_t v = t.re[i];
      if (b > 0 && i < kFade) {
        const int32_t old = int16_t(GetLe16(p));
        v = (old * (kFade - i) + v * i) / kFade;
      }
      const uint16_t s = uint16_t(Clamp16(v));
      p[0] = BYTE(s);
      p[1] = BYTE(s >> 8);
    }
  }
  return 0;
}
