// Entry points of the JPEG library: job set-up and release, validation, the
// write operation and the status texts.
#include <cstdlib>
#include <cstring>
#include <new>

#include "jpeg/jpeg_internal.h"

namespace {

const JpegLibVersion kVersion = {3, 20, 15, "pjcodec3.lib", "3.20.15", "[3.20.15.61]", "Mar 14 2003", "Generic*"};

bool IsFileOp(int32_t io) { return (io & 1) == 0; }

bool MovesPixels(int32_t io) { return io == 2 || io == 3 || (io >= 6 && io <= 9) || (io >= 12 && io <= 21); }

// Colour pairs a write admits: (dibColor/dibChannels) -> (jpegColor/jpegChannels).
bool WritePairAdmitted(int32_t dc, int32_t dn, int32_t jc, int32_t jn) {
  if (dc == 4 && dn == 1) return (jc == 4 && jn == 1) || (jc == 3 && jn == 3);
  if (dc == 1 && dn == 3) return (jc == 4 && jn == 1) || (jc == 1 && jn == 3) || (jc == 3 && jn == 3);
  if (dc == 1 && dn == 4) return jc == 3 && jn == 3;
  if (dc == 2 && dn == 3) return (jc == 4 && jn == 1) || (jc == 1 && jn == 3) || (jc == 3 && jn == 3);
  if (dc == 5 && dn == 4) return (jc == 5 || jc == 6) && jn == 4;
  if (dc == 3 && dn == 3) return jc == 3 && jn == 3;
  if (dc == 255) return jc == 255 && dn >= jn;
  return false;
}

// Colour pairs a read admits: (jpegColor/jpegChannels) -> (dibColor/dibChannels).
bool ReadPairAdmitted(int32_t jc, int32_t jn, int32_t dc, int32_t dn) {
  auto greyOrColour = [&] {
    return (dc == 4 && dn == 1) || (dc == 1 && dn == 3) || (dc == 2 && dn == 3) || (dc == 5 && dn == 4);
  };
  if (jc == 4 && jn == 1) return greyOrColour();
  if (jc == 1 && jn == 3) return (dc == 1 && dn == 3) || (dc == 2 && dn == 3) || (dc == 5 && dn == 4);
  if (jc == 5 && jn == 4) return dc == 5 && dn == 4;
  if (jc == 3 && jn == 3) return greyOrColour() || dc == 3;
  if (jc == 6 && jn == 4) return dc == 5 && dn == 4;
  if (jc == 255) return dc == 255;
  return false;
}

void CloseOutputFile(JPEG_PROPERTIES& p, JpegStatus* status) {
  if (p.out.file) {
    if (!JpegFileClose(p.out.file) && status && *status >= 0) *status = JPEG_ERR_CLOSE_FILE;
    p.out.file = nullptr;
  }
}

void FreeOwned(JPEG_PROPERTIES& p) {
  delete[] p.components;
  p.components = nullptr;
  JpegDeleteScanState(p.pendingScan);
  JpegDecoderRelease(&p);
}

// Component records and frame geometry from the public fields (write steps 6, 7).
JpegStatus SetUpFrame(JpegJob* job) {
  JPEG_PROPERTIES& p = job->props;
  const int32_t n = job->jpegChannels;
  if (n < 1 || n > 4) return JPEG_ERR_INVALID_PROPERTIES;
  int32_t code = job->jpegSubsampling;
  // Packed 4:2:2 pixels only come in the 2x1 layout; any other layout would
  // step through the rows at the wrong pixel size.
  if (p.dibSubsampling == 2 && p.dibColor == 3 && p.jpegColor == 3) code = 2;
  if (code < 0 || code > 4) return JPEG_ERR_SUBSAMPLING;
  JpegComponent* c = p.components;
  if (!c) return JPEG_ERR_MEMORY;
  p.componentCount = n;
  for (int i = 0; i < 4; ++i) {
    c[i].id = i;
    c[i].h = 1;
    c[i].v = 1;
  }
  if (code == 0) {
    if (!p.callerQuantTables) {
      c[0].quantSel = 0;
      if (p.colorConversion) c[1].quantSel = c[2].quantSel = c[3].quantSel = 1;
    }
  } else {
    const int32_t h = 2, v = (code == 1 || code == 3) ? 2 : 1;
    c[0].h = h;
    c[0].v = v;
    if (code >= 3) {
      c[3].h = h;
      c[3].v = v;
    }
    if (!p.callerQuantTables) {
      c[0].quantSel = 0;
      c[1].quantSel = c[2].quantSel = job->colorConversion ? 1 : 0;
      c[3].quantSel = 0;
    }
  }
  p.blockSize = 8;
  p.imageWidth = job->jpegWidth;
  p.imageHeight = job->jpegHeight;
  p.hMax = 1;
  p.vMax = 1;
  p.resampling = 0;
  for (int i = 0; i < n; ++i) {
    if (c[i].h != 1 || c[i].v != 1) p.resampling = 1;
    if (c[i].h > p.hMax) p.hMax = c[i].h;
    if (c[i].v > p.vMax) p.vMax = c[i].v;
  }
  if (p.force8x8) {
    p.mcuWidth = 8;
    p.mcuHeight = 8;
  } else {
    p.mcuWidth = 8 * p.hMax;
    p.mcuHeight = 8 * p.vMax;
  }
  if (p.imageWidth < 1 || p.imageWidth > 65535 || p.imageHeight < 1 || p.imageHeight > 65535)
    return JPEG_ERR_INVALID_PROPERTIES;
  p.mcusPerRow = (p.imageWidth + p.mcuWidth - 1) / p.mcuWidth;
  p.mcuRows = (p.imageHeight + p.mcuHeight - 1) / p.mcuHeight;
  p.mcusPerRow2 = p.mcusPerRow;
  p.mcuTotal = p.mcusPerRow * p.mcuRows;
  return JPEG_SUCCESS;
}

JpegStatus WriteImpl(JpegJob* job, int32_t io) {
  JPEG_PROPERTIES& p = job->props;
  p.ioType = io;
  JpegStatus st = JpegPrepare(job, io, true);
  if (st != 0) return st;
  if (io < 8 || io > 13) return JPEG_ERR_INVALID_PROPERTIES;
  const bool pending = p.pendingScan != nullptr;

  if (IsFileOp(io) && !p.out.file) {
    const char* name = job->useInternal ? p.jpegFileName : job->jpegFileName;
    HANDLE h = name ? JpegFileOpen(name, false) : nullptr;
    if (!h) return JPEG_ERR_FILE_NAME;
    p.out.file = h;
  }

  if (!job->useInternal && !pending) {
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
    p.jpegWidth = job->jpegWidth;
    p.jpegHeight = job->jpegHeight;
    p.jpegChannels = job->jpegChannels;
    p.jpegColor = job->jpegColor;
    p.jpegSubsampling = job->jpegSubsampling;
    p.colorConversion = job->colorConversion;
    p.resampling = job->resampling;
    p.quality = job->quality;
    const int64_t pixelBytes = (p.dibSubsampling == 2) ? 2 : p.dibChannels;
    int64_t stride = (int64_t)p.dibWidth * pixelBytes + p.dibRowPadding;
    if (p.dibHeight < 0) stride = -stride;
    p.rowStride = (int32_t)stride;
    if (p.dibSubsampling == 2 && p.dibColor == 3 && p.jpegColor == 3) p.jpegSubsampling = 2;
  }

  st = JpegSetupTables(&p);
  if (st != 0) return st;

  p.colorConversion = 1;
  if (p.jpegColor == 1 || p.jpegColor == 5 || p.dibColor == 3 || p.dibColor == 4 || p.dibColor == 255)
    p.colorConversion = 0;

  // An interrupted scan goes on with the converter and grid it started with:
  // a layout changed in between would walk the bitmap past its end.
  JpegComponent before[4] = {};
  const int32_t beforeCount = p.componentCount, beforeCols = p.mcusPerRow, beforeRows = p.mcuRows;
  if (pending && p.components) std::memcpy(before, p.components, sizeof before);
  st = SetUpFrame(job);
  if (st != 0) return st;
  if (pending && (p.componentCount != beforeCount || p.mcusPerRow != beforeCols || p.mcuRows != beforeRows ||
                  std::memcmp(before, p.components, sizeof before) != 0))
    return JPEG_ERR_INVALID_PROPERTIES;

  const bool imageOp = io == 8 || io == 9 || io == 12 || io == 13;
  if (imageOp && !p.coefPlanes) {
    // The MCU walk reads the bitmap by the frame's grid: both must agree.
    const int32_t rows = p.dibHeight < 0 ? -p.dibHeight : p.dibHeight;
    if (!p.dibPixels || p.dibWidth != p.imageWidth || rows != p.imageHeight) return JPEG_ERR_INVALID_PROPERTIES;
  }

  if (!pending) {
    p.out.total = 0;
    uint8_t* first = p.dibPixels;
    // The public sign decides the row order also when the internal copies are
    // used, so a stride left negative by an earlier bottom-up write turns back.
    const intptr_t step = p.rowStride < 0 ? -(intptr_t)p.rowStride : (intptr_t)p.rowStride;
    p.rowStride = (int32_t)step;
    if (job->dibHeight < 0) {
      p.rowStride = (int32_t)-step;
      const int32_t rows = p.dibHeight < 0 ? -p.dibHeight : p.dibHeight;
      if (first && rows > 0) first += (intptr_t)(rows - 1) * step;
    }
    p.out.firstRow = first;
    p.cursor = 0;
    st = JpegWriteHeaders(&p);
    if (st != 0) return st;
    if (io == 10 || io == 11) {
      p.jpegBufferSize = (int32_t)p.out.total;
      job->jpegBufferSize = (int32_t)p.out.total;
    }
  }

  if (imageOp) {
    st = p.progressive ? JpegEncodeProgressive(&p) : JpegEncodeBaseline(&p);
    if (st >= 0) {
      p.jpegBufferSize = (int32_t)p.out.total;
      job->jpegBufferSize = (int32_t)p.out.total;
    }
  }

  if (st == 1 || st == 2) {
    int32_t x = (p.stopCol * 8 + 8) * p.hMax;
    int32_t y = (p.stopRow * 8 + 8) * p.vMax;
    p.stopCol = x < p.imageWidth ? x : p.imageWidth;
    p.stopRow = y < p.imageHeight ? y : p.imageHeight;
    return st;
  }
  if (st == 0) CloseOutputFile(p, &st);
  return st;
}

}  // namespace

JpegStatus JpegPrepare(JpegJob* job, int32_t io, bool write) {
  if (job->useInternal) return JPEG_SUCCESS;
  const JPEG_PROPERTIES& p = job->props;
  if (io < 0 || io > 21) return JPEG_ERR_INVALID_PROPERTIES;
  const bool planes = p.coefPlanes != nullptr;
  if (MovesPixels(io) && !planes) {
    if (!job->dibPixels || job->dibWidth < 1 || job->dibWidth > 65535 || job->dibHeight < -65535 ||
        job->dibHeight > 65535 || job->dibHeight == 0)
      return JPEG_ERR_INVALID_PROPERTIES;
    if ((io == 20 || io == 21) && job->dibColor != 1 && job->dibColor != 2) return JPEG_ERR_THUMB_COLOR;
    if (job->dibRowPadding < 0 || job->dibChannels < 1 || job->dibChannels > 255) return JPEG_ERR_INVALID_PROPERTIES;
    if (job->dibSubsampling != 0 && !(job->dibSubsampling == 2 && job->dibColor == 3)) return JPEG_ERR_SUBSAMPLING;
    const int64_t pixelBytes = job->dibSubsampling == 2 ? 2 : job->dibChannels;
    if ((int64_t)job->dibWidth * pixelBytes + job->dibRowPadding > 0x7FFFFFFF) return JPEG_ERR_INVALID_PROPERTIES;
  }
  if (IsFileOp(io)) {
    if (!job->jpegFileName) return JPEG_ERR_INVALID_PROPERTIES;
  } else if (!job->jpegBuffer || job->jpegBufferSize <= 0) {
    return JPEG_ERR_INVALID_PROPERTIES;
  }
  // A write codes at most four components (component records, work area).
  const int32_t maxChannels = write ? 4 : 256;
  if (job->jpegChannels < 1 || job->jpegChannels > maxChannels) return JPEG_ERR_INVALID_PROPERTIES;
  if (write) {
    if (MovesPixels(io)) {
      if (job->jpegWidth < 1 || job->jpegWidth > 65535 || job->jpegHeight < 1 || job->jpegHeight > 65535)
        return JPEG_ERR_INVALID_PROPERTIES;
      if (!planes) {
        const int32_t rows = job->dibHeight < 0 ? -job->dibHeight : job->dibHeight;
        if (job->jpegWidth != job->dibWidth || job->jpegHeight != rows) return JPEG_ERR_INVALID_PROPERTIES;
      }
      if (job->dibChannels < job->jpegChannels && job->dibColor != 4 && job->jpegColor != 3)
        return JPEG_ERR_INVALID_PROPERTIES;
    }
    const int32_t n = job->jpegChannels, s = job->jpegSubsampling;
    bool ok;
    if (n == 3)
      ok = s >= 0 && s <= 2;
    else if (n == 4)
      ok = s == 0 || s == 3 || s == 4;
    else
      ok = s == 0;
    if (!ok) return JPEG_ERR_SUBSAMPLING;
    if (!WritePairAdmitted(job->dibColor, job->dibChannels, job->jpegColor, job->jpegChannels))
      return JPEG_ERR_INVALID_PROPERTIES;
  } else {
    if (!ReadPairAdmitted(job->jpegColor, job->jpegChannels, job->dibColor, job->dibChannels))
      return JPEG_ERR_INVALID_PROPERTIES;
  }
  if (p.dctMethod != 0 && p.dctMethod != 1) return JPEG_ERR_INVALID_PROPERTIES;
  if (planes && p.dec.bufferedMode) return JPEG_ERR_INVALID_PROPERTIES;
  return JPEG_SUCCESS;
}

JpegStatus JpegInit(JpegJob* job) {
  if (!job) return JPEG_ERR_INVALID_PROPERTIES;
  JPEG_PROPERTIES& p = job->props;
  std::memset(static_cast<void*>(&p), 0, sizeof p);
  job->useInternal = 0;
  job->dibPixels = nullptr;
  job->dibWidth = 0;
  job->dibHeight = 0;
  job->dibRowPadding = 0;
  job->dibChannels = 3;
  job->dibColor = 2;
  job->dibSubsampling = 0;
  job->jpegFileName = nullptr;
  job->jpegBuffer = nullptr;
  job->jpegBufferSize = 0;
  job->jpegWidth = 0;
  job->jpegHeight = 0;
  job->jpegChannels = 3;
  job->jpegColor = 3;
  job->jpegSubsampling = 1;
  job->thumbWidth = 0;
  job->thumbHeight = 0;
  job->colorConversion = 1;
  job->resampling = 1;
  job->quality = 75;

  p.ioType = -1;
  p.dctMethod = 1;
  p.dibChannels = 3;
  p.dibColor = 2;
  p.jpegChannels = 3;
  p.jpegColor = 3;
  p.jpegSubsampling = 1;
  p.colorConversion = 1;
  p.resampling = 1;
  p.quality = 75;
  p.blockSize = 8;
  p.componentCount = 4;
  const uint8_t sel[4] = {0, 1, 1, 1};
  std::memcpy(p.dcSel, sel, 4);
  std::memcpy(p.acSel, sel, 4);
  p.app14Version = 100;
  p.jfifVersion = 0x0101;
  p.xDensity = 1;
  p.yDensity = 1;
  p.out.bitFree = 64;

  JpegStatus st = JPEG_SUCCESS;
  try {
    JpegKernelTable* table = new JpegKernelTable();
    p.out.kernels = table;
    JpegBindKernels(table);
    p.out.cpuKind = table->cpuKind;
    p.dec.cpuKind = table->cpuKind;
    p.components = new JpegComponent[4];
    for (int i = 0; i < 4; ++i) p.components[i] = JpegComponent{i, 1, 1, i == 0 ? 0 : 1};
  } catch (const std::bad_alloc&) {
    st = JPEG_ERR_MEMORY;
  } catch (...) {
    st = JPEG_ERR_EXCEPTION;
  }
  if (st != 0) FreeOwned(p);  // the kernel table stays until JpegFree
  return st;
}

JpegStatus JpegFree(JpegJob* job) {
  if (!job) return JPEG_ERR_INVALID_PROPERTIES;
  JPEG_PROPERTIES& p = job->props;
  JpegStatus st = JPEG_SUCCESS;
  try {
    CloseOutputFile(p, &st);
    if (st == 0 && p.componentCount > 255) st = JPEG_ERR_INVALID_PROPERTIES;
    FreeOwned(p);
    std::memset(p.quantSpec, 0, sizeof p.quantSpec);
    std::memset(p.huffSpec, 0, sizeof p.huffSpec);
    p.quantCount = p.quantCount2 = 0;
    p.huffPairs = p.huffCount2 = p.huffCount3 = 0;
    for (int i = 0; i < 4; ++i) {
      p.quantInUse[i] = nullptr;
      p.dcEncodeInUse[i] = nullptr;
      p.acEncodeInUse[i] = nullptr;
    }
  } catch (...) {
    st = JPEG_ERR_EXCEPTION;
  }
  if (p.out.kernels) {
    JpegReleaseKernels(p.out.kernels);
    delete p.out.kernels;
    p.out.kernels = nullptr;
  }
  return st;
}

JpegStatus JpegWrite(JpegJob* job, int32_t ioType) {
  if (!job || !job->props.out.kernels) return JPEG_ERR_INVALID_PROPERTIES;
  JPEG_PROPERTIES& p = job->props;
  JpegStatus st;
  try {
    st = WriteImpl(job, ioType);
  } catch (const std::bad_alloc&) {
    st = JPEG_ERR_MEMORY;
  } catch (...) {
    st = JPEG_ERR_EXCEPTION;
  }
  if (st < 0) {
    CloseOutputFile(p, nullptr);
    JpegDeleteScanState(p.pendingScan);
  }
  if (p.out.kernels->endOfCall) p.out.kernels->endOfCall();
  return st;
}

JpegStatus JpegRead(JpegJob* job, int32_t ioType) {
  if (!job || !job->props.out.kernels) return JPEG_ERR_INVALID_PROPERTIES;
  JpegStatus st;
  try {
    job->props.ioType = ioType;
    st = JpegPrepare(job, ioType, false);
    if (st == 0) st = JpegReadRun(job, ioType);
  } catch (const std::bad_alloc&) {
    st = JPEG_ERR_MEMORY;
  } catch (...) {
    st = JPEG_ERR_EXCEPTION;
  }
  if (job->props.out.kernels->endOfCall) job->props.out.kernels->endOfCall();
  return st;
}

const char* JpegErrorText(JpegStatus status) {
  switch (status) {
    case 2:
      return "ROI Success";
    case 1:
      return "Interrupt Success";
    case 0:
      return "Success";
    case -1:
      return "Exception detected";
    case -2:
      return "Invalid Encoder";
    case -3:
      return "Unsupported subsampling";
    case -4:
      return "Unsupported bytes per pixel";
    case -5:
      return "Memory error";
    case -6:
      return "Bad Huffman table";
    case -7:
      return "Bad Quantization table";
    case -8:
      return "Invalid JPEG_PROPERTIES";
    case -9:
      return "Error close file";
    case -10:
      return "Invalid file name";
    case -11:
      return "Error EOF";
    case -12:
      return "Not supported";
    case -13:
      return "Not JPEG";
    case -14:
      return "Error COMP";
    case -15:
      return "Error SOF";
    case -16:
      return "Error DNL";
    case -17:
      return "No Huffman table";
    case -18:
      return "No Quantization table";
    case -19:
      return "No frame";
    case -20:
      return "Multiply frame";
    case -21:
      return "Data error";
    case -22:
      return "No image";
    case -23:
      return "File error";
    case -24:
      return "Internal error";
    case -25:
      return "Bad RST marker";
    case -26:
      return "Thumbnail too small";
    case -27:
      return "Thumbnail has wrong color";
    case -28:
      return "Output buffer too small";
    case -29:
      return "Unsupported frame was found";
    case -30:
      return "Error access to jpeg_comment buffer";
    case -99:
      return "Reserved";
    default:
      return "Unknown error code";
  }
}

const JpegLibVersion* JpegGetVersion() { return &kVersion; }
