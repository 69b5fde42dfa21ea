#include "converter/pictures/jbp1_recoder.h"

#include <cstring>
#include <memory>

#include "common/local_buffer.h"
#include "converter/lzss_compressor.h"
#include "converter/pictures/baseline_jpeg_reader.h"
#include "converter/pictures/bmp_image.h"
#include "converter/pictures/jbp1_writer.h"
#include "converter/pictures/picture_scratch.h"
#include "converter/pictures/rbp_writer.h"
#include "jpeg/jpeglib_api.h"

namespace {

constexpr int kReferenceQualityDefault = 90;

// Rows of a 24-bit bitmap, padded to 4 bytes.
inline DWORD Stride24(DWORD w) { return (3 * w + 3) & ~DWORD{3}; }

}  // namespace

int JpegQualityForCode(unsigned code) {
  switch (code) {
    case 1:
      return 100;
    case 2:
      return 90;
    case 3:
      return 80;
    default:
      return kReferenceQualityDefault;
  }
}

BYTE* EncodeJpegInMemory(const BYTE* bitmap, DWORD* outLength, int jpegQuality) {
  if (outLength) *outLength = 0;
  if (!bitmap || !outLength) return nullptr;
  const int32_t w = bmp::Width(bitmap), h = bmp::Height(bitmap);
  if (w <= 0 || h <= 0 || uint64_t(w) * uint64_t(h) > bmp::kMaxPixels) return nullptr;
  const DWORD R = Stride24(static_cast<DWORD>(w));
  const uint64_t pixelBytes = uint64_t{R} * h;
  const uint64_t capacity = uint64_t{3} * w * h;
  if (capacity > 0x7FFFFFFF) return nullptr;

  LocalBuffer pixels(static_cast<BYTE*>(LocalAlloc(LMEM_FIXED, static_cast<SIZE_T>(pixelBytes))));
  if (!pixels.p) return nullptr;
  std::memcpy(pixels.p, bitmap + bmp::kHeaderBytes, static_cast<size_t>(pixelBytes));

  // The job record is large; it lives on the heap, zeroed.
  auto job = std::make_unique<JpegJob>();
  std::memset(job.get(), 0, sizeof(JpegJob));
  LocalBuffer jpeg;
  JpegStatus status = JpegInit(job.get());
  if (status == JPEG_SUCCESS) {
    jpeg.p = static_cast<BYTE*>(LocalAlloc(LMEM_FIXED, static_cast<SIZE_T>(capacity)));
    if (!jpeg.p) {
      status = JPEG_ERR_MEMORY;
    } else {
      job->dibPixels = pixels.p;
      job->dibWidth = w;
      job->dibHeight = h;  // positive: the first stored row is the top
      job->dibRowPadding = static_cast<int32_t>(R - 3 * w);
      job->dibChannels = 3;
      job->dibColor = JPEG_COLOR_BGR;
      job->jpegWidth = w;
      job->jpegHeight = h;
      job->jpegChannels = 3;
      job->jpegColor = JPEG_COLOR_YCBCR;
      job->jpegSubsampling = 1;
      job->quality = jpegQuality;
      job->jpegBuffer = jpeg.p;
      job->jpegBufferSize = static_cast<int32_t>(capacity);
      status = JpegWrite(job.get(), JPEG_IO_WRITE_IMAGE_MEM);
    }
  }
  const int32_t written = job->jpegBufferSize;
  JpegFree(job.get());
  if (status != JPEG_SUCCESS || written <= 0 || uint64_t(written) > capacity) return nullptr;
  *outLength = static_cast<DWORD>(written);
  return jpeg.release();
}

BYTE* EncodeJbp1(const BYTE* bitmap, DWORD* outLength, int jpegQuality, PictureScratch* scratch) {
  if (outLength) *outLength = 0;
  if (!outLength) return nullptr;
  DWORD jpegLength = 0;
  LocalBuffer jpeg(EncodeJpegInMemory(bitmap, &jpegLength, jpegQuality));
  if (!jpeg.p) return nullptr;
  return Jbp1FromJpeg(jpeg.p, jpegLength, jpegQuality, false, outLength, scratch);
}

BYTE* Jbp1FromJpeg(const BYTE* jpeg, DWORD jpegLength, int jpegQuality, bool crFirst, DWORD* outLength,
                   PictureScratch* scratch) {
  if (outLength) *outLength = 0;
  if (!jpeg || !outLength) return nullptr;
  std::unique_ptr<PictureScratch> own;
  if (!scratch) {
    own = std::make_unique<PictureScratch>();
    scratch = own.get();
  }
  CMemoryByteSource source(jpeg, jpegLength);
  auto reader = std::make_unique<CBaselineJpegReader>(&scratch->jpegStore);
  reader->quality = jpegQuality;
  if (!reader->Parse(&source)) return nullptr;

  const int W = reader->Width(), H = reader->Height();
  const int columns = (W + 15) >> 4, rows = (H + 15) >> 4;
  // JBP1 carries exactly the 4:2:0 layout: Y 2x2 then Cb, Cr.
  if (reader->ScanComponents() != 3 || reader->ScanH(0) != 2 || reader->ScanV(0) != 2 || reader->ScanH(1) != 1 ||
      reader->ScanV(1) != 1 || reader->ScanH(2) != 1 || reader->ScanV(2) != 1 || reader->McuColumns() != columns ||
      reader->McuRows() != rows || reader->BlockCount() != size_t(columns) * size_t(rows) * JBP1_BLOCKS_PER_MCU)
    return nullptr;

  Jbp1Coefficients picture{};
  picture.width = static_cast<DWORD>(W);
  picture.height = static_cast<DWORD>(H);
  picture.quality = static_cast<DWORD>(reader->quality);
  for (int k = 0; k < 64; ++k) {
    const uint16_t luma = reader->QuantTable(0)[k], chroma = reader->QuantTable(1)[k];
    // The stream keeps 8-bit quantisers; anything else would not divide back.
    if (luma == 0 || luma > 255 || chroma == 0 || chroma > 255) return nullptr;
    picture.lumaQuant[Jbp1ZigzagToNatural[k]] = static_cast<BYTE>(luma);
    picture.chromaQuant[Jbp1ZigzagToNatural[k]] = static_cast<BYTE>(chroma);
  }
  const size_t blocks = reader->BlockCount();
  int* coefficients = scratch->coefficients.Get(blocks * 64);
  if (!coefficients) return nullptr;
  for (size_t b = 0; b < blocks; ++b) {
    // The chroma pair may be stored in the other order (Cr, then Cb).
    const size_t inBlock = crFirst && b % JBP1_BLOCKS_PER_MCU >= 4 ? (b % JBP1_BLOCKS_PER_MCU == 4 ? b + 1 : b - 1) : b;
    const int32_t* in = reader->Block(inBlock);
    const BYTE* q = (b % JBP1_BLOCKS_PER_MCU) < 4 ? picture.lumaQuant : picture.chromaQuant;
    // The reader stored value x quantiser: the quotient is the JPEG's own value.
    for (int i = 0; i < 64; ++i) coefficients[b * 64 + i] = in[i] / q[i];
  }
  picture.blocks = coefficients;
  return WriteJbp1Stream(picture, outLength, &scratch->writer);
}

BYTE* MakeRbpJbpPicture(const BYTE* bitmap, DWORD* outLength, unsigned quality, SHORT valueA, SHORT valueB,
                        PictureScratch* scratch) {
  if (outLength) *outLength = 0;
  if (!bitmap || !outLength) return nullptr;
  const int jpegQuality = JpegQualityForCode(quality);
  const int32_t w = bmp::Width(bitmap), h = bmp::Height(bitmap);
  if (w < 8 || h < 8 || uint64_t(w) * uint64_t(h) > bmp::kMaxPixels) return nullptr;
  const int bits = bmp::BitCount(bitmap);
  if (bits != 24 && bits != 32) return nullptr;
  const DWORD type = bits == 24 ? RBP_TYPE_JBP1 : RBP_TYPE_JBP1_ALPHA;
  const DWORD inBpp = static_cast<DWORD>(bits / 8);
  const uint64_t inStride = (uint64_t{inBpp} * w + 3) & ~uint64_t{3};

  std::unique_ptr<PictureScratch> own;
  if (!scratch) {
    own = std::make_unique<PictureScratch>();
    scratch = own.get();
  }

  // 24-bit copy with the top row stored first (the height stays positive);
  // every byte is written, the row padding as zeros.
  const DWORD R = Stride24(static_cast<DWORD>(w));
  BYTE* copy = scratch->bitmapCopy.Get(static_cast<size_t>(bmp::kHeaderBytes + uint64_t{R} * h));
  if (!copy) return nullptr;
  std::memcpy(copy, bitmap, bmp::kHeaderBytes);
  PutLe32(copy + 2, static_cast<uint32_t>(bmp::kHeaderBytes + uint64_t{R} * h));
  PutLe16(copy + 28, 24);
  PutLe32(copy + 34, static_cast<uint32_t>(uint64_t{R} * h));
  PutLe32(copy + 10, bmp::kHeaderBytes);
  const BYTE* src = bitmap + bmp::kHeaderBytes;
  for (int32_t y = 0; y < h; ++y) {
    const BYTE* s = src + (h - 1 - y) * inStride;
    BYTE* d = copy + bmp::kHeaderBytes + uint64_t{R} * y;
    for (int32_t x = 0; x < w; ++x) std::memcpy(d + 3 * x, s + inBpp * x, 3);
    std::memset(d + 3 * uint64_t(w), 0, R - 3 * uint64_t(w));
  }

  DWORD jbpLength = 0;
  LocalBuffer jbp(EncodeJbp1(copy, &jbpLength, jpegQuality, scratch));
  if (!jbp.p) return nullptr;

  // Alpha plane of type 32: top row first, 0 stays 0, others get their low bits set.
  LocalBuffer alpha;
  DWORD alphaLength = 0;
  if (type == RBP_TYPE_JBP1_ALPHA) {
    const DWORD n = static_cast<DWORD>(w) * static_cast<DWORD>(h);
    BYTE* plane = scratch->alphaPlane.Get(n);
    if (!plane) return nullptr;
    for (int32_t y = 0; y < h; ++y) {
      const BYTE* s = src + (h - 1 - y) * inStride;
      for (int32_t x = 0; x < w; ++x) {
        const BYTE a = s[4 * x + 3];
        plane[uint64_t{static_cast<uint32_t>(y)} * w + x] = a == 0 ? 0 : static_cast<BYTE>(a | 3);
      }
    }
    alpha.p = static_cast<BYTE*>(LocalAlloc(LMEM_FIXED, LzssMaxCompressedSize(n)));
    if (!alpha.p) return nullptr;
    const int coded = LzssCompress(alpha.p, plane, n);
    if (coded <= 0) return nullptr;
    alphaLength = static_cast<DWORD>(coded);
  }

  const uint64_t total = RBP_HEADER_SIZE + uint64_t{jbpLength} + alphaLength;
  if (total > 0x7FFFFFFF) return nullptr;
  BYTE* picture = static_cast<BYTE*>(LocalAlloc(LMEM_FIXED, static_cast<SIZE_T>(total)));
  if (!picture) return nullptr;
  RbpHeader header{};
  std::memcpy(header.magic, "RBP7", 4);
  header.type = type;
  header.width = static_cast<DWORD>(w);
  header.height = static_cast<DWORD>(h);
  header.headerSize = RBP_HEADER_SIZE;
  header.sourceWidth = static_cast<SHORT>(SourceSize.width);
  header.sourceHeight = static_cast<SHORT>(SourceSize.height);
  header.valueA = type == RBP_TYPE_JBP1 ? valueA : 0;
  header.valueB = type == RBP_TYPE_JBP1 ? valueB : 0;
  header.jbp1Length = jbpLength;
  header.alphaLength = alphaLength;
  StoreRbpHeader(picture, header);
  std::memcpy(picture + RBP_HEADER_SIZE, jbp.p, jbpLength);
  if (alphaLength) std::memcpy(picture + RBP_HEADER_SIZE + jbpLength, alpha.p, alphaLength);
  *outLength = static_cast<DWORD>(total);
  return picture;
}
