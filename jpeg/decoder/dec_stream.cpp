// The decoder's stream driver: the marker loop over one read and the
// start and end of each scan.
#include <cstdlib>
#include <cstring>
#include <new>

#include "jpeg/decoder/dec_internal.h"

namespace {

// Largest coefficient store or index we allocate for one frame.
constexpr size_t kBufferCap = size_t(1) << 30;

JpegStatus AllocateCoefStore(JpegDecoderState& d) {
  if (d.coefStore) return JPEG_SUCCESS;
  const size_t bytes = (size_t)d.frameMcuTotal * (size_t)d.blocksPerMcu * 64 * sizeof(int16_t);
  if (bytes == 0 || bytes > kBufferCap) return JPEG_ERR_MEMORY;
  d.coefStore = static_cast<int16_t*>(std::calloc(bytes, 1));
  if (!d.coefStore) return JPEG_ERR_MEMORY;
  JpegRememberSizedGeometry(d);
  return JPEG_SUCCESS;
}

// Decodes the current scan and settles what follows it.
JpegStatus RunScan(JPEG_PROPERTIES* p) {
  JpegDecoderState& d = p->dec;
  JpegScan* scan = d.scan;
  if (d.bufferedMode && d.progressiveScans == 0 && scan->nextCol == 0 && scan->nextRow == 0)
    d.finishedScans += scan->ns;
  if (d.smoothing && !d.ring) {
    JpegStatus st = JpegSmoothAllocate(p);
    if (st != 0) return st;
    JpegRememberSizedGeometry(d);
  }
  JpegStatus st = JpegDecodeImage(&d.in, scan, p);
  scan->produced = 1;
  if (st != 1 && st != 2 && !scan->progressive) d.in.bufferedDone += scan->ns;
  if (st < 0) {
    JpegFreeScan(d);
    return st;
  }
  if (st == 1 || st == 2) {
    p->stopRequest = 0;
    scan->roiFinished = st == 2;
    if (st == 2 && d.bufferedMode) {
      if (p->colorConversion) JpegConvertPictureColour(p);
      JpegFreeScan(d);
    }
    return st;
  }
  JpegFreeScan(d);
  return JPEG_SUCCESS;
}

}  // namespace

void JpegFreeScan(JpegDecoderState& d) {
  delete d.scan;
  d.scan = nullptr;
}

void JpegFreeFrameBuffers(JpegDecoderState& d) {
  std::free(d.coefStore);
  d.coefStore = nullptr;
  std::free(d.ring);
  d.ring = nullptr;
}

void JpegRememberSizedGeometry(JpegDecoderState& d) {
  d.sizedWidth = d.width;
  d.sizedHeight = d.height;
  d.sizedNcomp = d.ncomp;
  std::memcpy(d.sizedFrame, d.frame, sizeof d.frame);
}

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
  if (JpegIsParamsType(io)) {
    const uint8_t* b;
    if (JpegTakeBytes(s, 2, &b) != 0 || b[0] != 0xFF || b[1] != 0xD8) return JPEG_ERR_NOT_JPEG;
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
    if (code == kJpegEndOfData) return JPEG_SUCCESS;
    const int64_t markerStart = JpegStreamOffset(s) - 2 >= markerEnd ? JpegStreamOffset(s) - 2 : markerEnd;
    switch (code) {
      case 0xC0:
      case 0xC1:
      case 0xC2:
        if (code != 0xC0 && !d.noFrame) {
          st = JpegSkipSegment(s);
          if (st != 0) return st;
          break;
        }
        if (JpegIsTablesType(io)) return JpegStreamSetOffset(s, markerStart) == 0 ? JPEG_SUCCESS : JPEG_ERR_FILE;
        st = JpegReadFrameHeader(p, code);
        if (st != 0) return st;
        st = JpegSelectOutputConverter(p);
        if (st != 0) return st;
        break;
      case 0xC3:
      case 0xC5:
      case 0xC6:
      case 0xC7:
      case 0xC8:
      case 0xC9:
      case 0xCA:
      case 0xCB:
      case 0xCD:
      case 0xCE:
      case 0xCF:
        return JPEG_ERR_UNSUPPORTED_FRAME;
      case 0xC4:
        st = JpegReadHuffmanTables(p);
        if (st != 0) return st;
        break;
      case 0xD0:
      case 0xD1:
      case 0xD2:
      case 0xD3:
      case 0xD4:
      case 0xD5:
      case 0xD6:
      case 0xD7:
        break;
      case 0xD8:
        d.restartInterval = 0;
        break;
      case 0xD9:
        if (JpegIsParamsType(io)) return JPEG_SUCCESS;
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
        JpegScan* scan = new (std::nothrow) JpegScan();
        if (!scan) return JPEG_ERR_MEMORY;
        d.scan = scan;
        st = JpegStartScan(p, scan);
        if (st != 0) {
          JpegFreeScan(d);
          return st;
        }
        if (JpegIsParamsType(io)) {
          JpegFreeScan(d);
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
            JpegFreeScan(d);
            return st;
          }
        }
        st = JpegSelectOutputConverter(p);
        if (st != 0) {
          JpegFreeScan(d);
          return st;
        }
        st = RunScan(p);
        if (st != 0) return st;
        break;
      }
      case 0xDB:
        st = JpegReadQuantTables(p);
        if (st != 0) return st;
        break;
      case 0xDD:
        st = JpegReadRestartInterval(p);
        if (st != 0) return st;
        break;
      case 0xE0:
        st = io == 6 ? JpegSkipSegment(s) : JpegReadApp0(p);
        if (st != 0) return st;
        break;
      case 0xEE:
        st = JpegReadApp14(p);
        if (st != 0) return st;
        if (!d.noFrame) {
          st = JpegSelectOutputConverter(p);
          if (st != 0) return st;
        }
        break;
      case 0xFE:
        st = JpegReadComment(p);
        if (st != 0) return st;
        break;
      default:
        // DAC, DNL, DHP, EXP, APPn, JPGn, reserved: skipped by their length.
        st = JpegSkipSegment(s);
        if (st != 0) return st;
        break;
    }
  }
}
