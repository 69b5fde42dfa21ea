// Segment readers of the decoder: frame header, quantisation and Huffman
// tables, restart interval, APP0, APP14, comment and scan header.
#include <cstdlib>
#include <cstring>

#include "jpeg/decoder/dec_internal.h"

namespace {

struct HeapGuard {
  uint8_t* p = nullptr;
  ~HeapGuard() { std::free(p); }
};

// Writes an RGB thumbnail (triples in R,G,B order) into the caller's picture.
void StoreThumbnail(JPEG_PROPERTIES* p, const uint8_t* rgb, const uint8_t* index, const uint8_t* palette, int32_t w,
                    int32_t h) {
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

}  // namespace

JpegStatus JpegReadFrameHeader(JPEG_PROPERTIES* p, int32_t sof) {
  JpegDecoderState& d = p->dec;
  JpegInStream* s = &d.in;
  const uint8_t* b;
  int32_t n;
  HeapGuard g;
  JpegStatus st = JpegReadBody(s, &b, &n, &g.p);
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
    for (int i = 0; same && i < nf; ++i) same = d.sizedFrame[i].h == fc[i].h && d.sizedFrame[i].v == fc[i].v;
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

JpegStatus JpegReadQuantTables(JPEG_PROPERTIES* p) {
  JpegDecoderState& d = p->dec;
  int32_t len;
  if (JpegReadWord(&d.in, &len) != 0 || len < 2 || len - 2 > 516) return JPEG_ERR_DATA;
  const uint8_t* b;
  HeapGuard g;
  JpegStatus st = JpegReadSegment(&d.in, len - 2, &b, &g.p);
  if (st != 0) return st;
  int32_t n = len - 2, i = 0;
  while (i < n) {
    const int32_t pq = b[i] >> 4, tq = b[i] & 15;
    ++i;
    if (tq > 3 || pq > 1) return JPEG_ERR_BAD_QUANT;
    const int32_t size = pq ? 128 : 64;
    if (n - i < size) return JPEG_ERR_BAD_QUANT;  // partial table
    // The raw table into the caller's slot for its number.
    JpegQuantSpec& slot = p->quantSpec[tq];
    if (slot.base && !JpegIsStandardTable(slot.base)) {
      std::memcpy(const_cast<uint8_t*>(slot.base), b + i, (size_t)size);
      slot.id = tq;
    }
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

JpegStatus JpegReadHuffmanTables(JPEG_PROPERTIES* p) {
  JpegDecoderState& d = p->dec;
  int32_t len;
  if (JpegReadWord(&d.in, &len) != 0 || len < 2 || len - 2 > 1091) return JPEG_ERR_DATA;
  const uint8_t* b;
  HeapGuard g;
  JpegStatus st = JpegReadSegment(&d.in, len - 2, &b, &g.p);
  if (st != 0) return st;
  int32_t n = len - 2, i = 0;
  while (i < n) {
    const int32_t tc = b[i] >> 4, th = b[i] & 15;
    if (b[i] >= 32 || th > 3) return JPEG_ERR_BAD_HUFFMAN;
    if (n - i < 17) return JPEG_ERR_DATA;
    const uint8_t* counts = b + i + 1;
    if (!JpegHuffCountsValid(counts)) return JPEG_ERR_BAD_HUFFMAN;
    int32_t total = 0;
    for (int k = 0; k < 16; ++k) total += counts[k];
    if (n - i - 17 < total) return JPEG_ERR_DATA;
    if (d.huffNumbers < th + 1) d.huffNumbers = th + 1;
    // The raw table into the caller's slot for its class and number.
    JpegHuffSpec& slot = p->huffSpec[2 * th + tc];
    if (slot.counts && slot.symbols && !JpegIsStandardTable(slot.counts) && !JpegIsStandardTable(slot.symbols)) {
      std::memcpy(const_cast<uint8_t*>(slot.counts), counts, 16);
      std::memcpy(const_cast<uint8_t*>(slot.symbols), b + i + 17, (size_t)total);
      slot.cls = (uint8_t)tc;
      slot.id = (uint8_t)th;
    }
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

JpegStatus JpegReadRestartInterval(JPEG_PROPERTIES* p) {
  const uint8_t* b;
  int32_t n;
  HeapGuard g;
  JpegStatus st = JpegReadBody(&p->dec.in, &b, &n, &g.p);
  if (st != 0) return st;
  if (n < 2) return JPEG_ERR_DATA;
  p->dec.restartInterval = (b[0] << 8) | b[1];
  return JPEG_SUCCESS;
}

JpegStatus JpegReadApp0(JPEG_PROPERTIES* p) {
  JpegDecoderState& d = p->dec;
  JpegInStream* s = &d.in;
  const int64_t start = JpegStreamOffset(s);
  int32_t len;
  if (JpegReadWord(s, &len) != 0) return JpegStreamSetOffset(s, start) == 0 ? JPEG_SUCCESS : JPEG_ERR_FILE;
  if (len < 2) return JPEG_SUCCESS;  // the next marker search passes over it
  if (len - 2 < 14) return JpegSkipBytes(s, len - 2) == 0 ? JPEG_SUCCESS : JPEG_ERR_DATA;
  const uint8_t* b;
  HeapGuard g;
  JpegStatus st = JpegReadSegment(s, len - 2, &b, &g.p);
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

JpegStatus JpegReadApp14(JPEG_PROPERTIES* p) {
  JpegDecoderState& d = p->dec;
  int32_t len;
  if (JpegReadWord(&d.in, &len) != 0 || len < 2) return JPEG_ERR_DATA;
  if (len - 2 < 12) return JpegSkipBytes(&d.in, len - 2) == 0 ? JPEG_SUCCESS : JPEG_ERR_DATA;
  const uint8_t* b;
  HeapGuard g;
  JpegStatus st = JpegReadSegment(&d.in, len - 2, &b, &g.p);
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

JpegStatus JpegReadComment(JPEG_PROPERTIES* p) {
  JpegDecoderState& d = p->dec;
  const uint8_t* b;
  int32_t n;
  HeapGuard g;
  if (JpegReadBody(&d.in, &b, &n, &g.p) != 0) return JPEG_ERR_DATA;
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
JpegStatus JpegReadScanHeader(JPEG_PROPERTIES* p, JpegScan* scan) {
  JpegDecoderState& d = p->dec;
  const uint8_t* b;
  int32_t n;
  HeapGuard g;
  JpegStatus st = JpegReadBody(&d.in, &b, &n, &g.p);
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

JpegStatus JpegStartScan(JPEG_PROPERTIES* p, JpegScan* scan) {
  JpegDecoderState& d = p->dec;
  if (d.noFrame) return JPEG_ERR_NO_FRAME;
  JpegStatus st = JpegReadScanHeader(p, scan);
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
