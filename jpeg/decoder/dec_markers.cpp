// Decoder front end: the input stream over a file or the caller's memory,
// marker search, the segment readers, the stream driver and the read entry.
#include <cstdlib>
#include <cstring>
#include <new>

#include "jpeg/decoder/dec_internal.h"

namespace {

constexpr int32_t kEndOfData = 256;
// Largest coefficient store or index we allocate for one frame.
constexpr size_t kBufferCap = size_t(1) << 30;

bool IsFileRead(int32_t io) { return (io & 1) == 0; }
bool IsParamsType(int32_t io) { return io == 0 || io == 1 || io == 4 || io == 5 || io == 20 || io == 21; }
bool IsTablesType(int32_t io) { return io == 4 || io == 5; }

int32_t Left(const JpegInStream* s) { return (int32_t)(s->end - s->ptr); }

int64_t FileTell(HANDLE f) {
  LONG high = 0;
  DWORD low = SetFilePointer(f, 0, &high, FILE_CURRENT);
  if (low == INVALID_SET_FILE_POINTER) return -1;
  return ((int64_t)high << 32) | low;
}

bool FileSeekTo(HANDLE f, int64_t offset) {
  LONG high = (LONG)(offset >> 32);
  DWORD low = SetFilePointer(f, (LONG)(uint32_t)offset, &high, FILE_BEGIN);
  return low != INVALID_SET_FILE_POINTER;
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

JpegStatus TakeBytes(JpegInStream* s, int32_t n, const uint8_t** out) {
  JpegStatus st = Ensure(s, n);
  if (st != 0) return st;
  *out = s->ptr;
  s->ptr += n;
  return JPEG_SUCCESS;
}

JpegStatus ReadWord(JpegInStream* s, int32_t* value) {
  const uint8_t* b;
  JpegStatus st = TakeBytes(s, 2, &b);
  if (st != 0) return st;
  *value = (b[0] << 8) | b[1];
  return JPEG_SUCCESS;
}

// A segment body of n bytes, in place or gathered into a heap copy (*heap,
// which the caller frees).
JpegStatus ReadSegment(JpegInStream* s, int32_t n, const uint8_t** out, uint8_t** heap) {
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
    if (TakeBytes(s, piece, &b) != 0) {
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
JpegStatus SkipBytes(JpegInStream* s, int32_t n) {
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

JpegStatus SkipSegment(JpegInStream* s) {
  int32_t len;
  if (ReadWord(s, &len) != 0) return JPEG_ERR_DATA;
  if (len < 2) return JPEG_ERR_DATA;
  return SkipBytes(s, len - 2);
}

// Reads a segment's length and body (length - 2 bytes).
JpegStatus ReadBody(JpegInStream* s, const uint8_t** body, int32_t* size, uint8_t** heap) {
  *heap = nullptr;
  int32_t len;
  if (ReadWord(s, &len) != 0) return JPEG_ERR_DATA;
  if (len < 2) return JPEG_ERR_DATA;
  *size = len - 2;
  return ReadSegment(s, len - 2, body, heap);
}

struct HeapGuard {
  uint8_t* p = nullptr;
  ~HeapGuard() { std::free(p); }
};

// Counts of a Huffman table: refused when there are more than 256 codes or
// more codes than their lengths can hold.
bool HuffCountsValid(const uint8_t* counts) {
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

}  // namespace

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
  if (!FileSeekTo(s->file, offset)) return JPEG_ERR_FILE;
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
  if (TakeBytes(s, 1, &b) != 0) return kEndOfData;
  return *b;
}

// ---- Segment readers ------------------------------------------------------------------

namespace {

JpegStatus ReadFrameHeader(JPEG_PROPERTIES* p, int32_t sof) {
  JpegDecoderState& d = p->dec;
  JpegInStream* s = &d.in;
  const uint8_t* b;
  int32_t n;
  HeapGuard g;
  JpegStatus st = ReadBody(s, &b, &n, &g.p);
  if (st != 0) return st;
  if (n < 6) return JPEG_ERR_SOF;
  const int32_t precision = b[0];
  const int32_t height = (b[1] << 8) | b[2];
  const int32_t width = (b[3] << 8) | b[4];
  const int32_t nf = b[5];
  if (precision != 8) return JPEG_ERR_UNSUPPORTED_FRAME;
  if (height == 0) return JPEG_ERR_DNL;
  if (nf == 0) {
    d.noFrame = 0;
    return JPEG_ERR_COMP;
  }
  // The component records, work area and output converters hold at most
  // four components and ten blocks per MCU; sampling ratios must be whole.
  if (nf > 4 || n != 6 + 3 * nf || width == 0) return JPEG_ERR_SOF;
  JpegFrameComponent fc[4] = {};
  int32_t hmax = 1, vmax = 1, blocks = 0;
  for (int i = 0; i < nf; ++i) {
    const uint8_t* c = b + 6 + 3 * i;
    fc[i].id = c[0];
    fc[i].h = c[1] >> 4;
    fc[i].v = c[1] & 15;
    fc[i].tq = c[2];
    if (fc[i].h < 1 || fc[i].h > 4 || fc[i].v < 1 || fc[i].v > 4) return JPEG_ERR_SOF;
    if (nf == 1) fc[i].h = fc[i].v = 1;  // a lone component is never subsampled
    hmax = fc[i].h > hmax ? fc[i].h : hmax;
    vmax = fc[i].v > vmax ? fc[i].v : vmax;
    blocks += fc[i].h * fc[i].v;
  }
  if (blocks > 10) return JPEG_ERR_SOF;
  for (int i = 0; i < nf; ++i)
    if (hmax % fc[i].h || vmax % fc[i].v) return JPEG_ERR_SOF;
  // Buffers sized for an earlier frame of this read (ours, or the caller's
  // coefficient planes) cannot take another geometry.
  if (d.coefStore || d.ring) {
    bool same = d.sizedWidth == width && d.sizedHeight == height && d.sizedNcomp == nf;
    for (int i = 0; same && i < nf; ++i)
      same = d.sizedFrame[i].h == fc[i].h && d.sizedFrame[i].v == fc[i].v;
    if (!same) return JPEG_ERR_MULTIPLE_FRAMES;
  }
  if (d.frameLocked) {
    bool same = d.width == width && d.height == height && d.ncomp == nf;
    for (int i = 0; same && i < nf; ++i) same = d.frame[i].h == fc[i].h && d.frame[i].v == fc[i].v;
    if (!same) return JPEG_ERR_MULTIPLE_FRAMES;
  }
  d.precision = precision;
  d.width = width;
  d.height = height;
  d.ncomp = nf;
  d.sofType = sof;
  std::memcpy(d.frame, fc, sizeof fc);
  d.frameMcusPerRow = (width + 8 * hmax - 1) / (8 * hmax);
  d.frameMcuTotal = d.frameMcusPerRow * ((height + 8 * vmax - 1) / (8 * vmax));
  int32_t off = 0;
  for (int i = 0; i < 4; ++i) {
    d.compBlockOffset[i] = off;
    if (i < nf) off += fc[i].h * fc[i].v;
  }
  d.blocksPerMcu = off;
  d.noFrame = 0;
  d.frameLocked = 1;
  p->jpegWidth = width;
  p->jpegHeight = height;
  p->jpegChannels = nf;
  return JPEG_SUCCESS;
}

JpegStatus ReadQuantTables(JPEG_PROPERTIES* p) {
  JpegDecoderState& d = p->dec;
  int32_t len;
  if (ReadWord(&d.in, &len) != 0 || len < 2 || len - 2 > 516) return JPEG_ERR_DATA;
  const uint8_t* b;
  HeapGuard g;
  JpegStatus st = ReadSegment(&d.in, len - 2, &b, &g.p);
  if (st != 0) return st;
  int32_t n = len - 2, i = 0;
  while (i < n) {
    const int32_t pq = b[i] >> 4, tq = b[i] & 15;
    ++i;
    if (tq > 3 || pq > 1) return JPEG_ERR_BAD_QUANT;
    const int32_t size = pq ? 128 : 64;
    if (n - i < size) return JPEG_ERR_BAD_QUANT;  // partial table
    int16_t* q = d.quant[tq];
    for (int k = 0; k < 64; ++k) q[k] = pq ? (int16_t)((b[i + 2 * k] << 8) | b[i + 2 * k + 1]) : (int16_t)b[i + k];
    i += size;
    d.quantPrecision[tq] = pq;
    if (d.quantNumbers < tq + 1) d.quantNumbers = tq + 1;
    if (p->dctMethod == 1)
      JpegPrepareDequantInt(q);
    else
      JpegPrepareDequantScaled(q);
    d.quantDefined[tq] = 1;
    if (d.quantRead < 4) ++d.quantRead;
  }
  return JPEG_SUCCESS;
}

JpegStatus ReadHuffmanTables(JPEG_PROPERTIES* p) {
  JpegDecoderState& d = p->dec;
  int32_t len;
  if (ReadWord(&d.in, &len) != 0 || len < 2 || len - 2 > 1091) return JPEG_ERR_DATA;
  const uint8_t* b;
  HeapGuard g;
  JpegStatus st = ReadSegment(&d.in, len - 2, &b, &g.p);
  if (st != 0) return st;
  int32_t n = len - 2, i = 0;
  while (i < n) {
    const int32_t tc = b[i] >> 4, th = b[i] & 15;
    if (b[i] >= 32 || th > 3) return JPEG_ERR_BAD_HUFFMAN;
    if (n - i < 17) return JPEG_ERR_DATA;
    const uint8_t* counts = b + i + 1;
    if (!HuffCountsValid(counts)) return JPEG_ERR_BAD_HUFFMAN;
    int32_t total = 0;
    for (int k = 0; k < 16; ++k) total += counts[k];
    if (n - i - 17 < total) return JPEG_ERR_DATA;
    if (d.huffNumbers < th + 1) d.huffNumbers = th + 1;
    JpegHuffDecodeTable* t = tc ? &p->acDecode[th] : &p->dcDecode[th];
    if (JpegDeriveDecodeTable(counts, b + i + 17, tc, th, t) != 0) return JPEG_ERR_BAD_HUFFMAN;
    if (tc) {
      d.acDefined[th] = 1;
      if (d.acRead < 4) ++d.acRead;
    } else {
      d.dcDefined[th] = 1;
      if (d.dcRead < 4) ++d.dcRead;
    }
    i += 17 + total;
  }
  return JPEG_SUCCESS;
}

JpegStatus ReadRestartInterval(JPEG_PROPERTIES* p) {
  const uint8_t* b;
  int32_t n;
  HeapGuard g;
  JpegStatus st = ReadBody(&p->dec.in, &b, &n, &g.p);
  if (st != 0) return st;
  if (n < 2) return JPEG_ERR_DATA;
  p->dec.restartInterval = (b[0] << 8) | b[1];
  return JPEG_SUCCESS;
}

// Writes an RGB thumbnail (triples in R,G,B order) into the caller's picture.
void StoreThumbnail(JPEG_PROPERTIES* p, const uint8_t* rgb, const uint8_t* index, const uint8_t* palette,
                    int32_t w, int32_t h) {
  const bool bgr = p->dibColor != 1;
  for (int32_t y = 0; y < h; ++y) {
    uint8_t* row = p->dec.firstRow + (intptr_t)y * p->rowStride;
    for (int32_t x = 0; x < w; ++x) {
      const uint8_t* t = index ? palette + 3 * index[(size_t)y * w + x] : rgb + ((size_t)y * w + x) * 3;
      uint8_t* px = row + (size_t)x * p->dibChannels;
      px[0] = bgr ? t[2] : t[0];
      px[1] = t[1];
      px[2] = bgr ? t[0] : t[2];
    }
  }
}

bool ThumbnailFits(const JPEG_PROPERTIES* p, int32_t w, int32_t h) {
  const int32_t rows = p->dibHeight < 0 ? -p->dibHeight : p->dibHeight;
  return p->dec.firstRow && p->dibChannels >= 3 && w <= p->dibWidth && h <= rows;
}

JpegStatus ReadApp0(JPEG_PROPERTIES* p) {
  JpegDecoderState& d = p->dec;
  JpegInStream* s = &d.in;
  const int64_t start = JpegStreamOffset(s);
  int32_t len;
  if (ReadWord(s, &len) != 0) return JpegStreamSetOffset(s, start) == 0 ? JPEG_SUCCESS : JPEG_ERR_FILE;
  if (len < 2) return JPEG_SUCCESS;  // the next marker search passes over it
  if (len - 2 < 14) return SkipBytes(s, len - 2) == 0 ? JPEG_SUCCESS : JPEG_ERR_DATA;
  const uint8_t* b;
  HeapGuard g;
  JpegStatus st = ReadSegment(s, len - 2, &b, &g.p);
  if (st != 0) return JPEG_ERR_DATA;
  if (!d.noFrame) return JPEG_SUCCESS;
  const int32_t n = len - 2;
  const bool thumbRead = p->ioType == 20 || p->ioType == 21;
  if (std::memcmp(b, "JFIF", 5) == 0) {
    d.jfifSeen = 1;
    d.jfifVersion = (uint16_t)((b[5] << 8) | b[6]);
    d.densityUnits = b[7];
    d.xDensity = (uint16_t)((b[8] << 8) | b[9]);
    d.yDensity = (uint16_t)((b[10] << 8) | b[11]);
    const int32_t w = b[12], h = b[13];
    if (w && h) {
      d.thumbWidth = w;
      d.thumbHeight = h;
      if (thumbRead && n >= 14 + w * h * 3) {
        if (!ThumbnailFits(p, w, h)) return JPEG_ERR_THUMB_SMALL;
        StoreThumbnail(p, b + 14, nullptr, nullptr, w, h);
      }
    }
  } else if (std::memcmp(b, "JFXX", 5) == 0) {
    const int32_t w = b[6], h = b[7];
    if (b[5] == 0x13 && w && h) {
      d.thumbWidth = w;
      d.thumbHeight = h;
      if (thumbRead && n >= 8 + w * h * 3) {
        if (!ThumbnailFits(p, w, h)) return JPEG_ERR_THUMB_SMALL;
        StoreThumbnail(p, b + 8, nullptr, nullptr, w, h);
      }
    } else if (b[5] == 0x11 && w && h && thumbRead && n >= 776 + w * h) {
      d.thumbWidth = w;
      d.thumbHeight = h;
      if (!ThumbnailFits(p, w, h)) return JPEG_ERR_THUMB_SMALL;
      if (!d.paletteWork) d.paletteWork = static_cast<uint8_t*>(std::malloc(768));
      if (d.paletteWork) {
        std::memcpy(d.paletteWork, b + 8, 768);
        StoreThumbnail(p, nullptr, b + 776, d.paletteWork, w, h);
      }
    }
  }
  return JPEG_SUCCESS;
}

JpegStatus ReadApp14(JPEG_PROPERTIES* p) {
  JpegDecoderState& d = p->dec;
  int32_t len;
  if (ReadWord(&d.in, &len) != 0 || len < 2) return JPEG_ERR_DATA;
  if (len - 2 < 12) return SkipBytes(&d.in, len - 2) == 0 ? JPEG_SUCCESS : JPEG_ERR_DATA;
  const uint8_t* b;
  HeapGuard g;
  JpegStatus st = ReadSegment(&d.in, len - 2, &b, &g.p);
  if (st != 0) return JPEG_ERR_DATA;
  if (std::memcmp(b, "Adobe", 5) == 0) {
    d.adobeVersion = (uint16_t)((b[5] << 8) | b[6]);
    d.adobeFlags0 = (uint16_t)((b[7] << 8) | b[8]);
    d.adobeFlags1 = (uint16_t)((b[9] << 8) | b[10]);
    d.app14Transform = b[11];
    d.app14Seen = 1;
  }
  return JPEG_SUCCESS;
}

JpegStatus ReadComment(JPEG_PROPERTIES* p) {
  JpegDecoderState& d = p->dec;
  const uint8_t* b;
  int32_t n;
  HeapGuard g;
  if (ReadBody(&d.in, &b, &n, &g.p) != 0) return JPEG_ERR_DATA;
  if (!d.noFrame || !d.comment) return JPEG_SUCCESS;
  const int32_t capacity = d.commentLength;
  if (capacity >= n) {
    std::memcpy(d.comment, b, (size_t)n);
    d.commentLength = (uint16_t)n;
    return JPEG_SUCCESS;
  }
  std::memcpy(d.comment, b, (size_t)capacity);
  d.commentLength = (uint16_t)n;
  return JPEG_ERR_COMMENT;
}

// SOS: Ns, the component selectors and tables, spectral limits.
JpegStatus ReadScanHeader(JPEG_PROPERTIES* p, JpegDecScan* scan) {
  JpegDecoderState& d = p->dec;
  const uint8_t* b;
  int32_t n;
  HeapGuard g;
  JpegStatus st = ReadBody(&d.in, &b, &n, &g.p);
  if (st != 0) return st;
  d.scanHeaderLength = n + 4;
  if (n < 1) return JPEG_ERR_DATA;
  const int32_t ns = b[0];
  if (ns < 1 || ns > 4 || n != 4 + 2 * ns) return JPEG_ERR_DATA;
  scan->ns = ns;
  int32_t blocks = 0;
  for (int i = 0; i < ns; ++i) {
    const int32_t id = b[1 + 2 * i], td = b[2 + 2 * i] >> 4, ta = b[2 + 2 * i] & 15;
    if (td > 3 || ta > 3) return JPEG_ERR_DATA;
    int32_t fi = -1;
    for (int k = 0; k < d.ncomp; ++k)
      if (d.frame[k].id == id) {
        fi = k;
        break;
      }
    if (fi < 0 || d.frame[fi].tq > 3) return JPEG_ERR_DATA;
    for (int k = 0; k < i; ++k)
      if (scan->comp[k].index == fi) return JPEG_ERR_DATA;
    JpegDecScanComponent& c = scan->comp[i];
    c.index = fi;
    c.h = d.frame[fi].h;
    c.v = d.frame[fi].v;
    c.dcTable = td;
    c.acTable = ta;
    c.quant = d.frame[fi].tq;
    p->dcSel[i] = (uint8_t)td;
    p->acSel[i] = (uint8_t)ta;
    blocks += c.h * c.v;
  }
  const uint8_t* t = b + 1 + 2 * ns;
  scan->ss = t[0];
  scan->se = t[1];
  scan->ah = t[2] >> 4;
  scan->al = t[2] & 15;
  if (d.sofType == 0xC2) {
    if (scan->ss > scan->se || scan->se > 63 || (scan->ss == 0 && scan->se != 0) || (scan->ss > 0 && ns != 1) ||
        scan->ah > 13 || scan->al > 13 || (scan->ah != 0 && scan->al != scan->ah - 1))
      return JPEG_ERR_DATA;
  } else if (scan->ss != 0 || scan->se != 63 || scan->ah != 0 || scan->al != 0) {
    return JPEG_ERR_DATA;
  }
  if (ns > 1 && blocks > 10) return JPEG_ERR_DATA;
  return JPEG_SUCCESS;
}

JpegStatus StartScan(JPEG_PROPERTIES* p, JpegDecScan* scan) {
  JpegDecoderState& d = p->dec;
  if (d.noFrame) return JPEG_ERR_NO_FRAME;
  JpegStatus st = ReadScanHeader(p, scan);
  if (st != 0) return st;
  d.in.eobRun = 0;
  const bool progressive = d.sofType == 0xC2;
  const bool needDc = !progressive || (scan->ss == 0 && scan->ah == 0);
  const bool needAc = !progressive || scan->ss > 0;
  for (int i = 0; i < scan->ns; ++i) {
    const JpegDecScanComponent& c = scan->comp[i];
    if (needDc && !d.dcDefined[c.dcTable]) return JPEG_ERR_NO_HUFFMAN;
    if (needAc && !d.acDefined[c.acTable]) return JPEG_ERR_NO_HUFFMAN;
    if (!d.quantDefined[c.quant]) return JPEG_ERR_NO_QUANT;
  }
  return JPEG_SUCCESS;
}

void FreeScan(JpegDecoderState& d) {
  delete d.scan;
  d.scan = nullptr;
}

void FreeFrameBuffers(JpegDecoderState& d) {
  std::free(d.coefStore);
  d.coefStore = nullptr;
  std::free(d.ring);
  d.ring = nullptr;
}

void RememberSizedGeometry(JpegDecoderState& d) {
  d.sizedWidth = d.width;
  d.sizedHeight = d.height;
  d.sizedNcomp = d.ncomp;
  std::memcpy(d.sizedFrame, d.frame, sizeof d.frame);
}

JpegStatus AllocateCoefStore(JpegDecoderState& d) {
  if (d.coefStore) return JPEG_SUCCESS;
  const size_t bytes = (size_t)d.frameMcuTotal * (size_t)d.blocksPerMcu * 64 * sizeof(int16_t);
  if (bytes == 0 || bytes > kBufferCap) return JPEG_ERR_MEMORY;
  d.coefStore = static_cast<int16_t*>(std::calloc(bytes, 1));
  if (!d.coefStore) return JPEG_ERR_MEMORY;
  RememberSizedGeometry(d);
  return JPEG_SUCCESS;
}

// Decodes the current scan and settles what follows it.
JpegStatus RunScan(JPEG_PROPERTIES* p) {
  JpegDecoderState& d = p->dec;
  JpegDecScan* scan = d.scan;
  if (d.bufferedMode && d.progressiveScans == 0 && scan->nextCol == 0 && scan->nextRow == 0)
    d.finishedScans += scan->ns;
  if (d.smoothing && !d.ring) {
    JpegStatus st = JpegSmoothAllocate(p);
    if (st != 0) return st;
    RememberSizedGeometry(d);
  }
  JpegStatus st = JpegDecodeImage(&d.in, scan, p);
  scan->produced = 1;
  if (st != 1 && st != 2 && !scan->progressive) d.in.bufferedDone += scan->ns;
  if (st < 0) {
    FreeScan(d);
    return st;
  }
  if (st == 1 || st == 2) {
    p->stopRequest = 0;
    scan->roiFinished = st == 2;
    if (st == 2 && d.bufferedMode) {
      if (p->colorConversion) JpegConvertPictureColour(p);
      FreeScan(d);
    }
    return st;
  }
  FreeScan(d);
  return JPEG_SUCCESS;
}

}  // namespace

// ---- The stream driver ------------------------------------------------------------------

JpegStatus JpegDecodeStream(JPEG_PROPERTIES* p) {
  JpegDecoderState& d = p->dec;
  JpegInStream* s = &d.in;
  const int32_t io = p->ioType;
  JpegStatus st;

  if (d.frame[0].h && !d.noFrame) {
    st = JpegSelectOutputConverter(p);
    if (st != 0) return st;
  }
  if (IsParamsType(io)) {
    const uint8_t* b;
    if (TakeBytes(s, 2, &b) != 0 || b[0] != 0xFF || b[1] != 0xD8) return JPEG_ERR_NOT_JPEG;
  }
  if (d.progressiveScans == 0) {
    d.dcComponentsDone = 0;
    d.finishedScans = 0;
  }
  if (d.scan) {
    st = RunScan(p);
    if (st != 0) return st;
  }

  for (;;) {
    const int64_t markerEnd = JpegStreamOffset(s);
    const int32_t code = JpegNextMarker(s, &st);
    if (code < 0) return st;
    if (code == kEndOfData) return JPEG_SUCCESS;
    const int64_t markerStart = JpegStreamOffset(s) - 2 >= markerEnd ? JpegStreamOffset(s) - 2 : markerEnd;
    switch (code) {
      case 0xC0:
      case 0xC1:
      case 0xC2:
        if (code != 0xC0 && !d.noFrame) {
          st = SkipSegment(s);
          if (st != 0) return st;
          break;
        }
        if (IsTablesType(io)) return JpegStreamSetOffset(s, markerStart) == 0 ? JPEG_SUCCESS : JPEG_ERR_FILE;
        st = ReadFrameHeader(p, code);
        if (st != 0) return st;
        st = JpegSelectOutputConverter(p);
        if (st != 0) return st;
        break;
      case 0xC3: case 0xC5: case 0xC6: case 0xC7: case 0xC8: case 0xC9: case 0xCA: case 0xCB:
      case 0xCD: case 0xCE: case 0xCF:
        return JPEG_ERR_UNSUPPORTED_FRAME;
      case 0xC4:
        st = ReadHuffmanTables(p);
        if (st != 0) return st;
        break;
      case 0xD0: case 0xD1: case 0xD2: case 0xD3: case 0xD4: case 0xD5: case 0xD6: case 0xD7:
        break;
      case 0xD8:
        d.restartInterval = 0;
        break;
      case 0xD9:
        if (IsParamsType(io)) return JPEG_SUCCESS;
        if (d.noFrame) {
          const int32_t next = JpegNextMarker(s, &st);
          if (next == 0xD8) {
            d.restartInterval = 0;
            break;
          }
          return JPEG_ERR_NO_IMAGE;
        }
        if (d.bufferedMode && p->colorConversion && d.progressiveScans == 0) JpegConvertPictureColour(p);
        return JPEG_SUCCESS;
      case 0xDA: {
        JpegDecScan* scan = new (std::nothrow) JpegDecScan();
        if (!scan) return JPEG_ERR_MEMORY;
        d.scan = scan;
        st = StartScan(p, scan);
        if (st != 0) {
          FreeScan(d);
          return st;
        }
        if (IsParamsType(io)) {
          FreeScan(d);
          return JpegStreamSetOffset(s, markerStart) == 0 ? JPEG_SUCCESS : JPEG_ERR_FILE;
        }
        scan->restartInterval = d.restartInterval;
        d.scanStartOffset = (int32_t)JpegStreamOffset(s);
        const bool sequential =
            scan->ss == 0 && scan->se == 63 && scan->ah == 0 && scan->al == 0 && d.progressiveScans == 0;
        d.bufferedMode = sequential && scan->ns < d.ncomp ? 1 : 0;
        if (!sequential) {
          scan->progressive = 1;
          if ((scan->ss || scan->se) && scan->al == 0 && scan->se == 63) ++d.finishedScans;
          if (scan->ss == 0 && scan->se == 0 && scan->al == 0) d.dcComponentsDone += scan->ns;
          ++d.progressiveScans;
          st = AllocateCoefStore(d);
          if (st != 0) {
            FreeScan(d);
            return st;
          }
        }
        st = JpegSelectOutputConverter(p);
        if (st != 0) {
          FreeScan(d);
          return st;
        }
        st = RunScan(p);
        if (st != 0) return st;
        break;
      }
      case 0xDB:
        st = ReadQuantTables(p);
        if (st != 0) return st;
        break;
      case 0xDD:
        st = ReadRestartInterval(p);
        if (st != 0) return st;
        break;
      case 0xE0:
        st = io == 6 ? SkipSegment(s) : ReadApp0(p);
        if (st != 0) return st;
        break;
      case 0xEE:
        st = ReadApp14(p);
        if (st != 0) return st;
        if (!d.noFrame) {
          st = JpegSelectOutputConverter(p);
          if (st != 0) return st;
        }
        break;
      case 0xFE:
        st = ReadComment(p);
        if (st != 0) return st;
        break;
      default:
        // DAC, DNL, DHP, EXP, APPn, JPGn, reserved: skipped by their length.
        st = SkipSegment(s);
        if (st != 0) return st;
        break;
    }
  }
}

// ---- Read entry -------------------------------------------------------------------------

namespace {

void TakeCallerTables(JPEG_PROPERTIES* p, JpegStatus* status) {
  JpegDecoderState& d = p->dec;
  if (p->callerQuantTables) {
    for (const JpegQuantSpec& q : p->quantSpec) {
      if (!q.base || q.id < 0 || q.id > 3) continue;
      int16_t* t = d.quant[q.id];
      for (int k = 0; k < 64; ++k) t[k] = q.base[k];
      if (p->dctMethod == 1)
        JpegPrepareDequantInt(t);
      else
        JpegPrepareDequantScaled(t);
      d.quantDefined[q.id] = 1;
    }
  }
  if (p->callerHuffTables) {
    for (const JpegHuffSpec& h : p->huffSpec) {
      if (!h.counts || !h.symbols || h.id > 3 || h.cls > 1) continue;
      if (!HuffCountsValid(h.counts) ||
          JpegDeriveDecodeTable(h.counts, h.symbols, h.cls, h.id, h.cls ? &p->acDecode[h.id] : &p->dcDecode[h.id]) !=
              0) {
        *status = JPEG_ERR_BAD_HUFFMAN;
        return;
      }
      (h.cls ? d.acDefined : d.dcDefined)[h.id] = 1;
    }
  }
}

void ForgetTables(JpegDecoderState& d) {
  for (int i = 0; i < 4; ++i) d.quantDefined[i] = d.dcDefined[i] = d.acDefined[i] = 0;
  d.quantNumbers = d.quantRead = d.huffNumbers = d.dcRead = d.acRead = 0;
}

void CloseInputFile(JpegDecoderState& d, JpegStatus* status) {
  if (d.in.file) {
    if (!JpegFileClose(d.in.file) && status && *status >= 0) *status = JPEG_ERR_CLOSE_FILE;
    d.in.file = nullptr;
  }
}

int32_t SubsamplingCode(const JpegDecoderState& d) {
  const JpegFrameComponent* f = d.frame;
  auto is = [&](int i, int h, int v) { return f[i].h == h && f[i].v == v; };
  switch (d.ncomp) {
    case 1:
      return 0;
    case 2:
      return is(0, 1, 1) && is(1, 1, 1) ? 0 : 255;
    case 3:
      if (!is(1, 1, 1) || !is(2, 1, 1)) return 255;
      return is(0, 1, 1) ? 0 : is(0, 2, 2) ? 1 : is(0, 2, 1) ? 2 : 255;
    case 4:
      if (!is(1, 1, 1) || !is(2, 1, 1)) return 255;
      if (is(0, 1, 1) && is(3, 1, 1)) return 0;
      if (is(0, 2, 2) && is(3, 2, 2)) return 3;
      if (is(0, 2, 1) && is(3, 2, 1)) return 4;
      return 255;
    default:
      return 255;
  }
}

JpegStatus ReadImpl(JpegJob* job, int32_t io) {
  JPEG_PROPERTIES& p = job->props;
  JpegDecoderState& d = p.dec;
  JpegInStream* s = &d.in;
  s->kernels = p.out.kernels;
  JpegStatus st = JPEG_SUCCESS;
  if ((io >= 8 && io <= 13) || io < 0 || io > 21) return JPEG_ERR_INVALID_PROPERTIES;

  // An interrupted scan resumes; a scan kept after a region read serves only
  // further region reads.
  const bool roiCall = d.roi[0] || d.roi[1] || d.roi[2] || d.roi[3];
  const bool resuming = d.scan != nullptr && (!d.scan->roiFinished || roiCall);
  if (!resuming && d.scan) {
    delete d.scan;
    d.scan = nullptr;
  }

  if (io == 2 || io == 3 || io == 6 || io == 7 || (io >= 14 && io <= 19)) {
    TakeCallerTables(&p, &st);
    if (st != 0) return st;
  } else {
    ForgetTables(d);
  }

  // The caller's picture may be a new one for each call (region reads).
  {
    if (!job->useInternal) {
      p.dibPixels = job->dibPixels;
      p.dibWidth = job->dibWidth;
      p.dibHeight = job->dibHeight;
      p.dibRowPadding = job->dibRowPadding;
      p.dibChannels = job->dibChannels;
      p.dibColor = job->dibColor;
      p.dibSubsampling = job->dibSubsampling;
      p.jpegFileName = job->jpegFileName;
      p.jpegBuffer = job->jpegBuffer;
      p.jpegBufferSize = job->jpegBufferSize;
      p.jpegColor = job->jpegColor;
      p.colorConversion = job->colorConversion;
      p.resampling = job->resampling;
      p.quality = job->quality;
    }
    const int64_t stride = (int64_t)p.dibWidth * p.dibChannels + p.dibRowPadding;
    if (stride > 0x7FFFFFFF || stride < 0) return JPEG_ERR_INVALID_PROPERTIES;
    p.rowStride = (int32_t)(p.dibHeight < 0 ? -stride : stride);
    d.firstRow = p.dibPixels;
    if (p.dibHeight < 0 && d.firstRow) d.firstRow += (intptr_t)(-(int64_t)p.dibHeight - 1) * stride;
  }
  if (!resuming) {
    // A fresh image read starts from a clean frame and scan count.
    if (io != 6 && io != 7) {
      d.noFrame = 1;
      d.frameLocked = 0;
      d.progressiveScans = 0;
      d.bufferedMode = 0;
      d.app14Seen = 0;
      d.jfifSeen = 0;
      d.thumbWidth = d.thumbHeight = 0;
      FreeFrameBuffers(d);
    }
    if (IsParamsType(io)) d.noFrame = 1;
    d.in.bufferedDone = 0;
    d.dcComponentsDone = d.finishedScans = 0;
    JpegSmoothReset(&p);
  }

  // Input: the caller's memory, or the named file.
  if (IsFileRead(io)) {
    const bool keepOpen = d.in.file && (resuming || io == 6);
    if (!keepOpen) {
      CloseInputFile(d, nullptr);
      const char* name = job->useInternal ? p.jpegFileName : job->jpegFileName;
      s->file = name ? JpegFileOpen(name, true) : nullptr;
      if (!s->file) return JPEG_ERR_FILE_NAME;
      s->fileBase = 0;
      s->ptr = s->end = s->fileBuffer;
    }
  } else {
    CloseInputFile(d, nullptr);
    s->memStart = p.jpegBuffer;
    s->memSize = p.jpegBufferSize > 0 ? p.jpegBufferSize : 0;
  }
  if (resuming) {
    if (s->file) {
      if (JpegStreamSetOffset(s, d.savedOffset) != 0) return JPEG_ERR_FILE;
    } else {
      s->end = s->memStart + s->memSize;
      s->ptr = s->memStart + (d.savedOffset <= s->memSize ? d.savedOffset : s->memSize);
    }
  } else {
    if (s->file && io == 20 && !FileSeekTo(s->file, 0)) return JPEG_ERR_FILE;
    JpegResetInput(s);
    if (!s->file && io == 7 && d.consumedBuffer == p.jpegBuffer && d.consumed > 0 && d.consumed <= s->memSize)
      s->ptr = s->memStart + d.consumed;
  }

  st = JpegDecodeStream(&p);
  d.savedOffset = JpegStreamOffset(s);

  if (st == 1) {
    const int32_t x = (p.stopCol * 8 + 8) * p.hMax;
    const int32_t y = (p.stopRow * 8 + 8) * p.vMax;
    p.stopCol = x < d.width ? x : d.width;
    p.stopRow = y < d.height ? y : d.height;
  } else if (st == 0) {
    const int32_t n = d.ncomp;
    if (d.app14Seen) {
      if (io == 0 || io == 1) {
        p.dibChannels = n;
        job->dibChannels = n;
        if (n == 1) p.jpegColor = 4;
        if (n == 3) p.jpegColor = d.app14Transform ? 3 : 1;
        if (n == 4) {
          p.jpegColor = d.app14Transform ? 6 : 5;
          p.dibColor = 5;
        }
      }
    } else {
      if (n == 1) p.jpegColor = 4;
      if (n == 3 && d.jfifSeen) p.jpegColor = 3;
    }
  }
  if (st >= 0) {
    if (IsFileRead(io) && io != 2 && s->file) {
      if (!FileSeekTo(s->file, JpegStreamOffset(s))) st = JPEG_ERR_FILE;
    }
    if (io == 1 || io == 21) {
      d.consumed = JpegStreamOffset(s);
      d.consumedBuffer = p.jpegBuffer;
    }
  }
  if (st >= 0) {
    if (!d.noFrame) {
      p.jpegWidth = d.width;
      p.jpegHeight = d.height;
      p.jpegChannels = d.ncomp;
      p.jpegSubsampling = SubsamplingCode(d);
      job->jpegWidth = d.width;
      job->jpegHeight = d.height;
      job->jpegChannels = d.ncomp;
      job->jpegSubsampling = p.jpegSubsampling;
    }
    p.thumbWidth = d.thumbWidth;
    p.thumbHeight = d.thumbHeight;
    job->thumbWidth = d.thumbWidth;
    job->thumbHeight = d.thumbHeight;
    job->colorConversion = p.colorConversion;
    job->resampling = p.resampling;
    job->jpegColor = p.jpegColor;
    job->dibColor = p.dibColor;
    job->dibChannels = p.dibChannels;
  }
  if (st != 1 && (io == 2 || io == 4 || io == 6 || io == 14 || io == 16 || io == 18 || st < 0))
    CloseInputFile(d, &st);
  if (st < 0 && d.scan) {
    delete d.scan;
    d.scan = nullptr;
  }
  // The frame a parameters read reported binds the data read that follows it;
  // a finished image read leaves the next one free to meet another frame.
  if (st != 1 && st != 2 && !(st == 0 && (io == 0 || io == 1))) d.frameLocked = 0;
  return st;
}

}  // namespace

JpegStatus JpegReadRun(JpegJob* job, int32_t ioType) {
  JPEG_PROPERTIES& p = job->props;
  // Read types move pixels into the caller's picture, or fill coefficient planes.
  if (!job->useInternal && p.coefPlanes == nullptr && (ioType == 2 || ioType == 3 || ioType == 6 || ioType == 7 ||
                                                       (ioType >= 14 && ioType <= 21))) {
    if (!job->dibPixels) return JPEG_ERR_INVALID_PROPERTIES;
  }
  return ReadImpl(job, ioType);
}

void JpegDecoderRelease(JPEG_PROPERTIES* p) {
  JpegDecoderState& d = p->dec;
  CloseInputFile(d, nullptr);
  delete d.scan;
  d.scan = nullptr;
  FreeFrameBuffers(d);
  std::free(d.roiIndex);
  d.roiIndex = nullptr;
  std::free(d.paletteWork);
  d.paletteWork = nullptr;
}
