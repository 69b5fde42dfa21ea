// Marker segments of the encoder and the output sink they pass through.
#include <cstring>
#include <new>
#include <vector>

#include "jpeg/encoder/enc_bitwriter.h"
#include "jpeg/jpeg_internal.h"

void JpegSinkOpen(JpegOutputStream* s, uint8_t* buffer, int32_t size) {
  if (s->file) {
    s->start = s->cursor = s->fileBuffer;
    s->end = s->start + sizeof s->fileBuffer;
    s->capacity = (int32_t)sizeof s->fileBuffer;
    s->freeBytes = 0;
  } else {
    s->start = s->cursor = buffer;
    s->end = buffer + (size > 0 ? size : 0);
    s->capacity = s->freeBytes = size;
  }
  s->total = 0;
  s->bitAcc = 0;
  s->bitFree = 64;
  s->eobRun = 0;
}

__attribute__((noinline)) JpegStatus JpegEmitWordOutOfLine(JpegOutputStream* s, uint64_t w) {
  return JpegEmitWord(s, w);
}

JpegStatus JpegWriteFullBuffer(JpegOutputStream* s) {
  const DWORD n = (DWORD)(s->cursor - s->start);
  if (n && JpegFileWrite(s->file, s->start, n) != n) return JPEG_ERR_FILE;
  s->cursor = s->start;
  return JPEG_SUCCESS;
}

JpegStatus JpegPutBytes(const uint8_t* bytes, int32_t count, JpegOutputStream* s) {
  if (count < 0) return JPEG_ERR_INTERNAL;
  JpegStatus st = JpegEmitWholeBytes(s);
  if (st != 0) return st;
  const int32_t pend = 64 - s->bitFree;
  uint8_t partial[2];
  int32_t extra = 0;
  if (pend > 0) {
    partial[0] = (uint8_t)((s->bitAcc << (8 - pend)) | ((1u << (8 - pend)) - 1));
    extra = 1;
    if (partial[0] == 0xFF) partial[extra++] = 0;
  }
  if (!s->file) {
    // Memory output keeps at least one byte free after every marker.
    if ((int64_t)(s->end - s->cursor) <= (int64_t)count + extra) return JPEG_ERR_BUFFER_SMALL;
    for (int i = 0; i < extra; ++i) *s->cursor++ = partial[i];
    if (count) std::memcpy(s->cursor, bytes, (size_t)count);
    s->cursor += count;
    s->total += (uint32_t)(count + extra);
    s->freeBytes -= count + extra;
  } else {
    for (int i = 0; i < extra; ++i) {
      if (s->cursor == s->end && (st = JpegWriteFullBuffer(s)) != 0) return st;
      *s->cursor++ = partial[i];
      ++s->total;
    }
    int32_t left = count;
    while (left > 0) {
      if (s->cursor == s->end && (st = JpegWriteFullBuffer(s)) != 0) return st;
      int32_t n = (int32_t)(s->end - s->cursor);
      if (n > left) n = left;
      std::memcpy(s->cursor, bytes, (size_t)n);
      s->cursor += n;
      bytes += n;
      left -= n;
      s->total += (uint32_t)n;
    }
  }
  s->bitAcc = 0;
  s->bitFree = 64;
  return JPEG_SUCCESS;
}

JpegStatus JpegFlushOutput(JpegOutputStream* s) {
  JpegStatus st = s->kernels->putBytes(nullptr, 0, s);
  if (st != 0) return st;
  if (s->file) return JpegWriteFullBuffer(s);
  return JPEG_SUCCESS;
}

namespace {

JpegStatus Put(JPEG_PROPERTIES* p, const uint8_t* bytes, int32_t count) {
  return p->out.kernels->putBytes(bytes, count, &p->out);
}

void Be16(uint8_t* d, uint32_t v) {
  d[0] = (uint8_t)(v >> 8);
  d[1] = (uint8_t)v;
}

int32_t CountSymbols(const uint8_t* counts) {
  int32_t n = 0;
  for (int i = 0; i < 16; ++i) n += counts[i];
  return n;
}

}  // namespace

JpegStatus JpegWriteSoi(JPEG_PROPERTIES* p) {
  static const uint8_t m[2] = {0xFF, 0xD8};
  return Put(p, m, 2);
}

JpegStatus JpegWriteEoi(JPEG_PROPERTIES* p) {
  static const uint8_t m[2] = {0xFF, 0xD9};
  return Put(p, m, 2);
}

JpegStatus JpegWriteApp0(JPEG_PROPERTIES* p) {
  uint8_t m[18] = {0xFF, 0xE0, 0, 16, 'J', 'F', 'I', 'F', 0};
  Be16(m + 9, p->jfifVersion);
  m[11] = p->densityUnits;
  Be16(m + 12, p->xDensity);
  Be16(m + 14, p->yDensity);
  m[16] = 0;
  m[17] = 0;
  return Put(p, m, 18);
}

JpegStatus JpegWriteApp14(JPEG_PROPERTIES* p, uint8_t transform) {
  uint8_t m[16] = {0xFF, 0xEE, 0, 14, 'A', 'd', 'o', 'b', 'e'};
  Be16(m + 9, p->app14Version);
  Be16(m + 11, p->app14Flags0);
  Be16(m + 13, p->app14Flags1);
  m[15] = transform;
  return Put(p, m, 16);
}

JpegStatus JpegWriteComment(JPEG_PROPERTIES* p) {
  try {
    if (p->comment) {
      if (p->commentLength == 0) return JPEG_SUCCESS;
      if (p->commentLength > 0xFFFB) p->commentLength = 0xFFFB;
      const int32_t n = p->commentLength;
      std::vector<uint8_t> seg((size_t)n + 4);
      seg[0] = 0xFF;
      seg[1] = 0xFE;
      Be16(seg.data() + 2, (uint32_t)n + 2);
      std::memcpy(seg.data() + 4, p->comment, (size_t)n);
      return Put(p, seg.data(), n + 4);
    }
    const JpegKernelTable* t = p->out.kernels;
    if (!t->wsprintfA) return JPEG_SUCCESS;  // no formatter bound: no banner
    static const char kFormat[] = "Portable JPEG Library, version %s";
    char text[80] = {0};
    t->wsprintfA(text, kFormat, JpegGetVersion()->internalVersion);
    text[79] = 0;
    const int32_t len = (int32_t)std::strlen(text);
    if (len <= (int32_t)sizeof kFormat - 1) return JPEG_SUCCESS;
    uint8_t seg[4 + 80];
    seg[0] = 0xFF;
    seg[1] = 0xFE;
    Be16(seg + 2, (uint32_t)len + 3);
    std::memcpy(seg + 4, text, (size_t)len + 1);
    return Put(p, seg, len + 5);
  } catch (const std::bad_alloc&) {
    return JPEG_ERR_MEMORY;
  } catch (...) {
    return JPEG_ERR_COMMENT;
  }
}

JpegStatus JpegWriteDqt(JPEG_PROPERTIES* p, int32_t precision, int32_t id, const int16_t* entries) {
  uint8_t m[4 + 1 + 128];
  m[0] = 0xFF;
  m[1] = 0xDB;
  const int32_t len = precision ? 131 : 67;
  Be16(m + 2, (uint32_t)len);
  m[4] = (uint8_t)((precision << 4) | (id & 15));
  for (int i = 0; i < 64; ++i) {
    if (precision) {
      m[5 + 2 * i] = (uint8_t)((uint16_t)entries[i] >> 8);
      m[6 + 2 * i] = (uint8_t)entries[i];
    } else {
      m[5 + i] = (uint8_t)entries[i];
    }
  }
  return Put(p, m, len + 2);
}

JpegStatus JpegWriteDhtAll(JPEG_PROPERTIES* p) {
  const int32_t pairs = p->huffPairs < 0 ? 0 : (p->huffPairs > 4 ? 4 : p->huffPairs);
  int32_t total = 2;
  for (int i = 0; i < 2 * pairs; ++i) {
    const JpegHuffSpec& h = p->huffSpec[i];
    if (!h.counts || !h.symbols) return JPEG_ERR_BAD_HUFFMAN;
    const int32_t n = CountSymbols(h.counts);
    if (n > 307) return JPEG_ERR_BAD_HUFFMAN;
    total += 17 + n;
  }
  std::vector<uint8_t> seg((size_t)total + 2);
  seg[0] = 0xFF;
  seg[1] = 0xC4;
  Be16(seg.data() + 2, (uint32_t)total);
  size_t at = 4;
  for (int i = 0; i < 2 * pairs; ++i) {
    const JpegHuffSpec& h = p->huffSpec[i];
    const int32_t n = CountSymbols(h.counts);
    seg[at++] = (uint8_t)((h.cls << 4) | (h.id & 15));
    std::memcpy(&seg[at], h.counts, 16);
    at += 16;
    std::memcpy(&seg[at], h.symbols, (size_t)n);
    at += (size_t)n;
  }
  return Put(p, seg.data(), total + 2);
}

JpegStatus JpegWriteDhtOne(JPEG_PROPERTIES* p, const uint8_t* counts, const uint8_t* values, int32_t cls, int32_t id) {
  const int32_t n = CountSymbols(counts);
  if (n > 305) return JPEG_ERR_BAD_HUFFMAN;
  uint8_t seg[4 + 17 + 305];
  seg[0] = 0xFF;
  seg[1] = 0xC4;
  Be16(seg + 2, (uint32_t)(19 + n));
  seg[4] = (uint8_t)((cls << 4) | (id & 15));
  std::memcpy(seg + 5, counts, 16);
  std::memcpy(seg + 21, values, (size_t)n);
  return Put(p, seg, 21 + n);
}

namespace {

JpegStatus WriteSof(JPEG_PROPERTIES* p, uint8_t marker, bool progressive) {
  const int32_t n = p->componentCount;
  uint8_t m[10 + 3 * 4];
  m[0] = 0xFF;
  m[1] = marker;
  Be16(m + 2, (uint32_t)(8 + 3 * n));
  m[4] = 8;
  Be16(m + 5, (uint32_t)p->imageHeight);
  Be16(m + 7, (uint32_t)p->imageWidth);
  m[9] = (uint8_t)n;
  for (int i = 0; i < n; ++i) {
    const JpegComponent& c = p->components[i];
    uint8_t* d = m + 10 + 3 * i;
    if (n == 1) {
      d[0] = 0;
      d[1] = 0x11;
    } else {
      d[0] = (uint8_t)(progressive ? i : i + 1);
      d[1] = (uint8_t)((c.h << 4) | c.v);
    }
    d[2] = (uint8_t)c.quantSel;
  }
  return Put(p, m, 10 + 3 * n);
}

}  // namespace

JpegStatus JpegWriteSof0(JPEG_PROPERTIES* p) { return WriteSof(p, 0xC0, false); }
JpegStatus JpegWriteSof2(JPEG_PROPERTIES* p) { return WriteSof(p, 0xC2, true); }

JpegStatus JpegWriteSos(JPEG_PROPERTIES* p) {
  const int32_t n = p->componentCount;
  uint8_t m[8 + 2 * 4];
  m[0] = 0xFF;
  m[1] = 0xDA;
  Be16(m + 2, (uint32_t)(6 + 2 * n));
  m[4] = (uint8_t)n;
  for (int i = 0; i < n; ++i) {
    uint8_t* d = m + 5 + 2 * i;
    if (n == 1) {
      d[0] = 0;
      d[1] = 0;
    } else {
      d[0] = (uint8_t)(i + 1);
      d[1] = (uint8_t)((p->dcSel[i] << 4) | (p->acSel[i] & 15));
    }
  }
  uint8_t* t = m + 5 + 2 * n;
  t[0] = 0;
  t[1] = 63;
  t[2] = 0;
  return Put(p, m, 8 + 2 * n);
}

JpegStatus JpegWriteSosScan(JPEG_PROPERTIES* p, const JpegScanState* scan) {
  const int32_t n = scan->count;
  uint8_t m[8 + 2 * 4];
  m[0] = 0xFF;
  m[1] = 0xDA;
  Be16(m + 2, (uint32_t)(6 + 2 * n));
  m[4] = (uint8_t)n;
  for (int i = 0; i < n; ++i) {
    const int32_t c = scan->comps[i].index;
    const uint8_t table = c != 0 ? 1 : 0;  // progressive tables follow the component index
    m[5 + 2 * i] = (uint8_t)c;
    m[6 + 2 * i] = (uint8_t)((table << 4) | table);
  }
  uint8_t* t = m + 5 + 2 * n;
  t[0] = (uint8_t)scan->ss;
  t[1] = (uint8_t)scan->se;
  t[2] = (uint8_t)((scan->ah << 4) | scan->al);
  return Put(p, m, 8 + 2 * n);
}

JpegStatus JpegWriteDri(JPEG_PROPERTIES* p, int32_t interval) {
  uint8_t m[6] = {0xFF, 0xDD, 0, 4};
  Be16(m + 4, (uint32_t)interval);
  return Put(p, m, 6);
}

JpegStatus JpegWriteRst(JPEG_PROPERTIES* p, int32_t n) {
  if (n < 0 || n >= 8) return JPEG_ERR_BAD_RST;
  const uint8_t m[2] = {0xFF, (uint8_t)(0xD0 + n)};
  return Put(p, m, 2);
}

JpegStatus JpegWriteHeaders(JPEG_PROPERTIES* p) {
  JpegKernelTable* t = p->out.kernels;
  const int32_t io = p->ioType;
  if (!p->out.file && (!p->jpegBuffer || p->jpegBufferSize <= 0)) return JPEG_ERR_INVALID_PROPERTIES;
  t->sinkOpen(&p->out, p->jpegBuffer, p->jpegBufferSize);
  JpegStatus st = JpegWriteSoi(p);
  if (st != 0) return st;
  if (io >= 8 && io <= 11) {
    if (p->jpegColor == 1 || p->jpegColor == 5)
      st = JpegWriteApp14(p, 0);
    else if (p->jpegColor == 6)
      st = JpegWriteApp14(p, 2);
    else
      st = JpegWriteApp0(p);
    if (st != 0) return st;
    if ((st = JpegWriteComment(p)) != 0) return st;
    if ((st = JpegWriteTables(p)) != 0) return st;
  } else if (io == 12 || io == 13) {
    if ((st = JpegPrepareTablesNoOutput(p)) != 0) return st;
  }
  if (p->dctMethod == 1) {
    t->fdctCurrent = t->fdctInt;
    t->quantCurrent = t->quantRecip;
  } else {
    t->fdctCurrent = t->fdctScaled;
    t->quantCurrent = t->quantScaled;
  }
  if (io == 10 || io == 11) {
    if ((st = JpegWriteEoi(p)) != 0) return st;
  }
  if (p->out.file) return JpegFlushOutput(&p->out);
  return JPEG_SUCCESS;
}
