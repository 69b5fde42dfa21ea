// The decoder's read entry: caller tables, the caller's picture, the input
// source, the stream driver and what the job reports afterwards.
#include <cstdlib>
#include <cstring>

#include "jpeg/decoder/dec_internal.h"

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
      if (!JpegHuffCountsValid(h.counts) ||
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
      JpegFreeFrameBuffers(d);
    }
    if (JpegIsParamsType(io)) d.noFrame = 1;
    d.in.bufferedDone = 0;
    d.dcComponentsDone = d.finishedScans = 0;
    JpegSmoothReset(&p);
  }

  // Input: the caller's memory, or the named file.
  if (JpegIsFileRead(io)) {
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
    if (s->file && io == 20 && !JpegFileSeekTo(s->file, 0)) return JPEG_ERR_FILE;
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
    if (JpegIsFileRead(io) && io != 2 && s->file) {
      if (!JpegFileSeekTo(s->file, JpegStreamOffset(s))) st = JPEG_ERR_FILE;
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
  if (st != 1 && (io == 2 || io == 4 || io == 6 || io == 14 || io == 16 || io == 18 || st < 0)) CloseInputFile(d, &st);
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
  if (!job->useInternal && p.coefPlanes == nullptr &&
      (ioType == 2 || ioType == 3 || ioType == 6 || ioType == 7 || (ioType >= 14 && ioType <= 21))) {
    if (!job->dibPixels) return JPEG_ERR_INVALID_PROPERTIES;
  }
  return ReadImpl(job, ioType);
}

void JpegDecoderRelease(JPEG_PROPERTIES* p) {
  JpegDecoderState& d = p->dec;
  CloseInputFile(d, nullptr);
  delete d.scan;
  d.scan = nullptr;
  JpegFreeFrameBuffers(d);
  std::free(d.roiIndex);
  d.roiIndex = nullptr;
  std::free(d.paletteWork);
  d.paletteWork = nullptr;
}
