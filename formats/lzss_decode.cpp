#include "formats/lzss.h"

#include <algorithm>
#include <climits>
#include <cstring>

namespace {

constexpr unsigned kRing = LZSS_RING_SIZE;
constexpr unsigned kStart = LZSS_START;

// The ring is not kept: ring position p holds the output byte written most
// recently at p, which lies d = 1..2048 bytes back; before the first 2048
// bytes it holds the zero the ring started with.
inline void CopyMatch(uint8_t* out, size_t o, unsigned p, unsigned length) {
  const unsigned w = static_cast<unsigned>((kStart + o) & (kRing - 1));
  const size_t d = ((w - p - 1) & (kRing - 1)) + 1;
  if (d > o) {
    for (unsigned k = 0; k < length; ++k, ++o) out[o] = o >= d ? out[o - d] : 0;
  } else {
    const uint8_t* src = out + o - d;
    uint8_t* dst = out + o;
    for (unsigned k = 0; k < length; ++k) dst[k] = src[k];
  }
}

}  // namespace

unsigned long long LzssMaxUnpackedSize(uint32_t inputSize) {
  // Densest stream: groups of a flag byte and eight 17-byte matches; an odd
  // byte left in the last group can still be a literal.
  const unsigned long long groups = inputSize / 17, rest = inputSize % 17;
  return groups * 136 + (rest > 1 ? (rest - 1) / 2 * 17 + ((rest - 1) & 1) : 0);
}

int LzssDecode(uint8_t* output, const uint8_t* input, uint32_t unpackedSize, uint32_t inputSize) {
  if (unpackedSize > static_cast<uint32_t>(INT_MAX)) return -1;
  if (unpackedSize > LzssMaxUnpackedSize(inputSize)) return -1;
  const size_t outSize = unpackedSize;
  const size_t inSize = inputSize;
  size_t o = 0, i = 0;

  // Whole groups while both sides have room for the largest group.
  while (i + 17 <= inSize && o + 136 <= outSize) {
    if (input[i] == 0xFF) {
      // Runs of all-literal groups (data that does not compress).
      size_t groups = std::min((inSize - i) / 9, (outSize - o) / 8);
      while (groups >= 4 && (input[i] & input[i + 9] & input[i + 18] & input[i + 27]) == 0xFF) {
        std::memcpy(output + o, input + i + 1, 8);
        std::memcpy(output + o + 8, input + i + 10, 8);
        std::memcpy(output + o + 16, input + i + 19, 8);
        std::memcpy(output + o + 24, input + i + 28, 8);
        o += 32;
        i += 36;
        groups -= 4;
      }
      while (groups != 0 && input[i] == 0xFF) {
        std::memcpy(output + o, input + i + 1, 8);
        o += 8;
        i += 9;
        --groups;
      }
      continue;
    }
    unsigned flags = input[i++];
    for (int item = 0; item < 8; ++item, flags >>= 1) {
      if (flags & 1) {
        output[o++] = input[i++];
        continue;
      }
      const unsigned b0 = input[i], b1 = input[i + 1];
      i += 2;
      const unsigned p = b0 | ((b1 & 0xF0) << 4);
      const unsigned length = (b1 & 0x0F) + 2;
      const unsigned w = static_cast<unsigned>((kStart + o) & (kRing - 1));
      const size_t d = ((w - p - 1) & (kRing - 1)) + 1;
      // Room for 17 bytes is assured here, so short matches may write
      // past their end; the next items overwrite those bytes.
      uint8_t* dst = output + o;
      if (d > o) {
        CopyMatch(output, o, p, length);
      } else {
        const uint8_t* src = dst - d;
        if (d >= 16) {
          std::memcpy(dst, src, 16);
          dst[16] = src[16];
        } else if (d >= 8) {
          // Each 8-byte step reads only bytes already written.
          std::memcpy(dst, src, 8);
          std::memcpy(dst + 8, src + 8, 8);
          dst[16] = src[16];
        } else if (d == 1) {
          std::memset(dst, *src, 17);
        } else {
          for (unsigned k = 0; k < length; ++k) dst[k] = src[k];
        }
      }
      o += length;
    }
  }

  // The rest, checking every byte.
  while (i < inSize) {
    unsigned flags = input[i++];
    for (int item = 0; item < 8; ++item, flags >>= 1) {
      if (flags & 1) {
        if (i >= inSize) break;
        if (o >= outSize) return -1;
        output[o++] = input[i++];
      } else {
        if (i + 1 >= inSize) {
          i = inSize;
          break;
        }
        const unsigned b0 = input[i], b1 = input[i + 1];
        i += 2;
        const unsigned length = (b1 & 0x0F) + 2;
        if (length > outSize - o) return -1;
        CopyMatch(output, o, b0 | ((b1 & 0xF0) << 4), length);
        o += length;
      }
    }
  }
  return o == outSize ? static_cast<int>(unpackedSize) : -1;
}
