// Decoder input: the stream over a file or the caller's memory, byte and
// segment primitives and the marker search.
#include <cstdlib>
#include <cstring>

#include "jpeg/decoder/dec_internal.h"

namespace {

int32_t Left(const JpegInStream* s) { return (int32_t)(s->end - s->ptr); }

int64_t FileTell(HANDLE f) {
  LONG high = 0;
  DWORD low = SetFilePointer(f, 0, &high, FILE_CURRENT);
  if (low == INVALID_SET_FILE_POINTER) return -1;
  return ((int64_t)high << 32) | low;
}

// At least n (<= 4096) bytes in the buffer.
JpegStatus Ensure(JpegInStream* s, int32_t n) {
  if (Left(s) >= n) return JPEG_SUCCESS;
  if (!s->file) return JPEG_ERR_MEMORY;
  const int32_t left = Left(s);
  s->fileBase += s->ptr - s->fileBuffer;
  std::memmove(s->fileBuffer, s->ptr, (size_t)left);
  s->ptr = s->fileBuffer;
  s->end = s->fileBuffer + left;
  DWORD got = JpegFileRead(s->file, s->fileBuffer + left, (DWORD)(sizeof s->fileBuffer - left));
  s->end += got;
  return Left(s) >= n ? JPEG_SUCCESS : JPEG_ERR_INTERNAL;
}

}  // namespace

bool JpegFileSeekTo(HANDLE f, int64_t offset) {
  LONG high = (LONG)(offset >> 32);
  DWORD low = SetFilePointer(f, (LONG)(uint32_t)offset, &high, FILE_BEGIN);
  return low != INVALID_SET_FILE_POINTER;
}

JpegStatus JpegTakeBytes(JpegInStream* s, int32_t n, const uint8_t** out) {
  JpegStatus st = Ensure(s, n);
  if (st != 0) return st;
  *out = s->ptr;
  s->ptr += n;
  return JPEG_SUCCESS;
}

JpegStatus JpegReadWord(JpegInStream* s, int32_t* value) {
  const uint8_t* b;
  JpegStatus st = JpegTakeBytes(s, 2, &b);
  if (st != 0) return st;
  *value = (b[0] << 8) | b[1];
  return JPEG_SUCCESS;
}

// A segment body of n bytes, in place or gathered into a heap copy (*heap,
// which the caller frees).
JpegStatus JpegReadSegment(JpegInStream* s, int32_t n, const uint8_t** out, uint8_t** heap) {
  *heap = nullptr;
  if (Left(s) >= n) {
    *out = s->ptr;
    s->ptr += n;
    return JPEG_SUCCESS;
  }
  if (!s->file) return JPEG_ERR_DATA;
  uint8_t* block = static_cast<uint8_t*>(std::malloc((size_t)n));
  if (!block) return JPEG_ERR_MEMORY;
  int32_t done = Left(s);
  std::memcpy(block, s->ptr, (size_t)done);
  s->ptr = s->end;
  while (done < n) {
    const int32_t piece = n - done < 4096 ? n - done : 4096;
    const uint8_t* b;
    if (JpegTakeBytes(s, piece, &b) != 0) {
      std::free(block);
      return JPEG_ERR_DATA;
    }
    std::memcpy(block + done, b, (size_t)piece);
    done += piece;
  }
  *out = block;
  *heap = block;
  return JPEG_SUCCESS;
}

// Passes over n bytes; -21 when the data runs short.
JpegStatus JpegSkipBytes(JpegInStream* s, int32_t n) {
  while (n > 0) {
    if (Left(s) == 0) {
      if (!s->file || JpegFillInput(s) != 0) return JPEG_ERR_DATA;
    }
    const int32_t step = n < Left(s) ? n : Left(s);
    s->ptr += step;
    n -= step;
  }
  return JPEG_SUCCESS;
}

JpegStatus JpegSkipSegment(JpegInStream* s) {
  int32_t len;
  if (JpegReadWord(s, &len) != 0) return JPEG_ERR_DATA;
  if (len < 2) return JPEG_ERR_DATA;
  return JpegSkipBytes(s, len - 2);
}

// Reads a segment's length and body (length - 2 bytes).
JpegStatus JpegReadBody(JpegInStream* s, const uint8_t** body, int32_t* size, uint8_t** heap) {
  *heap = nullptr;
  int32_t len;
  if (JpegReadWord(s, &len) != 0) return JPEG_ERR_DATA;
  if (len < 2) return JPEG_ERR_DATA;
  *size = len - 2;
  return JpegReadSegment(s, len - 2, body, heap);
}

// Counts of a Huffman table: refused when there are more than 256 codes or
// more codes than their lengths can hold.
bool JpegHuffCountsValid(const uint8_t* counts) {
  int32_t total = 0;
  int64_t room = 1;
  for (int len = 1; len <= 16; ++len) {
    room <<= 1;
    room -= counts[len - 1];
    if (room < 0) return false;
    total += counts[len - 1];
  }
  return total <= 256;
}

// ---- Input primitives -------------------------------------------------------------------

int64_t JpegStreamOffset(const JpegInStream* s) {
  if (s->file) return s->fileBase + (s->ptr - s->fileBuffer);
  return s->ptr - s->memStart;
}

JpegStatus JpegStreamSetOffset(JpegInStream* s, int64_t offset) {
  if (offset < 0) return JPEG_ERR_FILE;
  if (!s->file) {
    if (offset > s->memSize) return JPEG_ERR_FILE;
    s->ptr = s->memStart + offset;
    s->end = s->memStart + s->memSize;
    return JPEG_SUCCESS;
  }
  if (offset >= s->fileBase && offset <= s->fileBase + (s->end - s->fileBuffer)) {
    s->ptr = s->fileBuffer + (offset - s->fileBase);
    return JPEG_SUCCESS;
  }
  if (!JpegFileSeekTo(s->file, offset)) return JPEG_ERR_FILE;
  s->fileBase = offset;
  s->ptr = s->end = s->fileBuffer;
  return JPEG_SUCCESS;
}

JpegStatus JpegFillInput(JpegInStream* s) {
  s->fileBase += s->end - s->fileBuffer;
  const DWORD got = JpegFileRead(s->file, s->fileBuffer, sizeof s->fileBuffer);
  s->ptr = s->fileBuffer;
  s->end = s->fileBuffer + got;
  return got ? JPEG_SUCCESS : JPEG_ERR_FILE;
}

void JpegResetInput(JpegInStream* s) {
  if (s->file) {
    const int64_t at = FileTell(s->file);
    s->fileBase = at < 0 ? 0 : at;
    s->ptr = s->end = s->fileBuffer;
  } else {
    s->ptr = s->memStart;
    s->end = s->memStart + s->memSize;
  }
  s->acc = 0;
  s->bits = 0;
  s->marker = 0;
  s->dataError = 0;
}

JpegStatus JpegSeekMarker(JpegInStream* s) {
  for (;;) {
    if (Left(s) == 0) {
      if (!s->file) return JPEG_ERR_MEMORY;
      JpegStatus st = JpegFillInput(s);
      if (st != 0) return st;
    }
    if (*s->ptr++ != 0xFF) continue;
    for (;;) {
      if (Left(s) == 0) {
        if (!s->file) return JPEG_ERR_MEMORY;
        JpegStatus st = JpegFillInput(s);
        if (st != 0) return st;
      }
      if (*s->ptr != 0xFF) break;
      ++s->ptr;
    }
    if (*s->ptr == 0x00) {
      ++s->ptr;
      continue;
    }
    return JPEG_SUCCESS;
  }
}

int32_t JpegNextMarker(JpegInStream* s, JpegStatus* status) {
  *status = JPEG_SUCCESS;
  if (s->marker) {
    const int32_t code = s->marker;
    s->marker = 0;
    return code;
  }
  JpegStatus st = JpegSeekMarker(s);
  if (st != 0) {
    *status = st;
    return -1;
  }
  const uint8_t* b;
  if (JpegTakeBytes(s, 1, &b) != 0) return kJpegEndOfData;
  return *b;
}
