#include "converter/pictures/baseline_jpeg_reader.h"

#include <cstring>

#include "converter/pictures/bmp_image.h"

namespace {

// Zigzag position -> natural (row-major) index.
constexpr int kZigzag[64] = {0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,  12, 19, 26, 33, 40, 48,
                             41, 34, 27, 20, 13, 6,  7,  14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23,
                             30, 37, 44, 51, 58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};

// Bytes served as 1-bits after a marker inside entropy data before the
// stream counts as damaged (valid data never needs any).
constexpr int kMaxPhantomBytes = 4;
// DC predictor bound: far beyond any 8-bit picture, so sums cannot overflow.
constexpr int32_t kMaxDc = 1 << 16;

}  // namespace

DWORD CMemoryByteSource::Read(BYTE* buffer, DWORD n) {
  const DWORD left = size_ - pos_;
  const DWORD count = n < left ? n : left;
  if (count) std::memcpy(buffer, data_ + pos_, count);
  pos_ += count;
  return count;
}

CBaselineJpegReader::CBaselineJpegReader(std::vector<int32_t>* store) : store_(store ? store : &ownStore_) {}
CBaselineJpegReader::~CBaselineJpegReader() = default;

bool CBaselineJpegReader::Refill() {
  // Keep the 4 bytes before the cursor so that a push-back can cross the refill.
  std::memmove(buffer_, buffer_ + cursor_ - 4, 4);
  const DWORD got = source_->Read(buffer_ + 4, 2048);
  cursor_ = 4;
  end_ = 4 + static_cast<int>(got);
  return got > 0;
}

bool CBaselineJpegReader::GetByte(BYTE* b) {
  if (cursor_ == end_ && !Refill()) return false;
  *b = buffer_[cursor_++];
  return true;
}

void CBaselineJpegReader::PushBack(int n) { cursor_ -= n; }

bool CBaselineJpegReader::GetU16(uint32_t* v) {
  BYTE hi, lo;
  if (!GetByte(&hi) || !GetByte(&lo)) return false;
  *v = (uint32_t{hi} << 8) | lo;
  return true;
}

bool CBaselineJpegReader::Skip(uint32_t n) {
  BYTE b;
  while (n--) {
    if (!GetByte(&b)) return false;
  }
  return true;
}

bool CBaselineJpegReader::FindMarker(int* code) {
  BYTE b;
  for (;;) {
    if (!GetByte(&b)) return false;
    if (b != 0xFF) continue;
    do {
      if (!GetByte(&b)) return false;
    } while (b == 0xFF);  // fill bytes
    if (b != 0) {
      *code = b;
      return true;
    }
  }
}

void CBaselineJpegReader::EnterEntropy() {
  entropy_ = true;
  pendingMarker_ = 0;
  phantomBytes_ = 0;
  bitsLeft_ = 0;
}

void CBaselineJpegReader::LeaveEntropy() {
  // The rest of a partly used byte is padding; an unread byte stays unread.
  entropy_ = false;
  bitsLeft_ = 0;
}

bool CBaselineJpegReader::GetBit(int* bit) {
  if (bitsLeft_ == 0) {
    if (pendingMarker_) {
      // After a marker the stream reads as 1-bits, but only for a few bytes.
      if (++phantomBytes_ > kMaxPhantomBytes) return false;
      current_ = 0xFF;
    } else {
      BYTE b, n;
      if (!GetByte(&b)) return false;
      if (b == 0xFF) {
        if (!GetByte(&n)) return false;
        if (n != 0) {
          PushBack(2);
          pendingMarker_ = n;
        }
      }
      current_ = b;
    }
    bitsLeft_ = 8;
  }
  --bitsLeft_;
  *bit = (current_ >> bitsLeft_) & 1;
  return true;
}

bool CBaselineJpegReader::GetBits(int n, int32_t* v) {
  int32_t r = 0;
  for (int i = 0; i < n; ++i) {
    int bit;
    if (!GetBit(&bit)) return false;
    r = (r << 1) | bit;
  }
  *v = r;
  return true;
}

bool CBaselineJpegReader::DecodeSymbol(const HuffmanTable& t, int* symbol) {
  int32_t code = 0;
  for (int len = 1; len <= t.maxLength; ++len) {
    int bit;
    if (!GetBit(&bit)) return false;
    code = (code << 1) | bit;
    const int32_t offset = code - t.firstCode[len];
    if (t.counts[len] && offset >= 0 && offset < t.counts[len]) {
      *symbol = t.symbols[t.firstIndex[len] + offset];
      return true;
    }
  }
  return false;  // no code of the table matches
}

bool CBaselineJpegReader::ReadFrame(uint32_t length, int marker) {
  if (flags_ & 4) return false;  // one frame per picture
  BYTE precision, count;
  uint32_t h, w;
  if (length < 6 || !GetByte(&precision) || !GetU16(&h) || !GetU16(&w) || !GetByte(&count)) return false;
  if (count < 1 || count > 4 || length != 6u + 3u * count) return false;
  frameMarker_ = marker;
  precision_ = precision;
  height_ = static_cast<int>(h);
  width_ = static_cast<int>(w);
  frameCount_ = count;
  for (int i = 0; i < count; ++i) {
    BYTE id, hv, tq;
    if (!GetByte(&id) || !GetByte(&hv) || !GetByte(&tq)) return false;
    frame_[i] = FrameComponent{id, hv >> 4, hv & 15, tq};
    if (frame_[i].h < 1 || frame_[i].h > 4 || frame_[i].v < 1 || frame_[i].v > 4 || tq > 3) return false;
  }
  flags_ |= 4;
  return true;
}

bool CBaselineJpegReader::ReadHuffman(uint32_t length) {
  while (length > 0) {
    BYTE tcth;
    if (length < 17 || !GetByte(&tcth)) return false;
    const int tableClass = tcth >> 4, number = tcth & 15;
    if (tableClass > 1 || number > 3) return false;
    HuffmanTable t;
    int total = 0;
    for (int len = 1; len <= 16; ++len) {
      if (!GetByte(&t.counts[len])) return false;
      total += t.counts[len];
    }
    length -= 17;
    if (total > 256 || static_cast<uint32_t>(total) > length) return false;
    for (int i = 0; i < total; ++i) {
      if (!GetByte(&t.symbols[i])) return false;
    }
    length -= static_cast<uint32_t>(total);
    // Canonical codes; a table whose codes overflow their length is refused.
    int32_t code = 0, index = 0;
    for (int len = 1; len <= 16; ++len) {
      t.firstCode[len] = code;
      t.firstIndex[len] = index;
      code += t.counts[len];
      index += t.counts[len];
      if (code > (1 << len)) return false;
      if (t.counts[len]) t.maxLength = len;
      code <<= 1;
    }
    t.defined = true;
    (tableClass == 0 ? dcTables_ : acTables_)[number] = t;
  }
  flags_ |= 1;
  return true;
}

bool CBaselineJpegReader::ReadQuant(uint32_t length) {
  while (length > 0) {
    BYTE pqtq;
    if (!GetByte(&pqtq)) return false;
    length -= 1;
    const int precision = pqtq >> 4, number = pqtq & 15;
    if (precision > 1 || number > 3) return false;
    const uint32_t need = precision ? 128 : 64;
    if (length < need) return false;
    for (int k = 0; k < 64; ++k) {
      uint32_t v;
      BYTE b;
      if (precision) {
        if (!GetU16(&v)) return false;
      } else {
        if (!GetByte(&b)) return false;
        v = b;
      }
      quant_[number][k] = static_cast<uint16_t>(v);
    }
    quantDefined_[number] = true;
    length -= need;
  }
  flags_ |= 2;
  return true;
}

bool CBaselineJpegReader::ReadScan(uint32_t length) {
  BYTE ns;
  if (!GetByte(&ns) || ns < 1 || ns > 4 || length != 4u + 2u * ns) return false;
  scanCount_ = ns;
  for (int i = 0; i < ns; ++i) {
    BYTE id, tables;
    if (!GetByte(&id) || !GetByte(&tables)) return false;
    ScanComponent& s = scan_[i];
    s.id = id;
    s.dc = tables >> 4;
    s.ac = tables & 15;
    const FrameComponent* f = nullptr;
    for (int j = 0; j < frameCount_ && !f; ++j) {
      if (frame_[j].id == id) f = &frame_[j];
    }
    if (!f || s.dc > 3 || s.ac > 3) return false;
    s.h = f->h;
    s.v = f->v;
    s.tq = f->tq;
  }
  BYTE ss, se, a;
  if (!GetByte(&ss) || !GetByte(&se) || !GetByte(&a)) return false;
  spectralStart_ = ss;
  spectralEnd_ = se;
  approxHigh_ = a >> 4;
  approxLow_ = a & 15;
  flags_ |= 8;
  return true;
}

bool CBaselineJpegReader::ReadApp0(uint32_t length) {
  if (length < 5) return Skip(length);
  BYTE id[5];
  for (BYTE& b : id) {
    if (!GetByte(&b)) return false;
  }
  length -= 5;
  if (std::memcmp(id, "JFIF", 5) == 0 && length >= 9) {
    BYTE major, minor, units, tw, th;
    uint32_t xd, yd;
    if (!GetByte(&major) || !GetByte(&minor) || !GetByte(&units) || !GetU16(&xd) || !GetU16(&yd) || !GetByte(&tw) ||
        !GetByte(&th))
      return false;
    jfifMajor_ = major;
    jfifMinor_ = minor;
    densityUnits_ = units;
    xDensity_ = static_cast<int>(xd);
    yDensity_ = static_cast<int>(yd);
    thumbW_ = tw;
    thumbH_ = th;
    return Skip(length - 9);
  }
  return Skip(length);  // "JFXX" extensions and anything else: passed over
}

bool CBaselineJpegReader::ReadHeaders() {
  int code = 0;
  do {
    if (!FindMarker(&code)) return false;
  } while (code != 0xD8);
  while (!(flags_ & (8 | 16))) {
    if (!FindMarker(&code)) return false;
    if (code == 0xD8 || code == 0xD9) {
      flags_ |= 16;
      break;
    }
    if ((code >= 0xD0 && code <= 0xD7) || code == 0x01) continue;  // no length follows
    uint32_t length;
    if (!GetU16(&length) || length < 2) return false;
    length -= 2;
    bool ok = true;
    switch (code) {
      case 0xC0:
      case 0xC1:
        ok = ReadFrame(length, code);
        break;
      case 0xC4:
        ok = ReadHuffman(length);
        break;
      case 0xDB:
        ok = ReadQuant(length);
        break;
      case 0xDA:
        ok = ReadScan(length);
        break;
      case 0xDC: {
        uint32_t h;
        ok = length >= 2 && GetU16(&h) && Skip(length - 2);
        if (ok) height_ = static_cast<int>(h);
        break;
      }
      case 0xDD:
        ok = length >= 2 && GetU16(&restartInterval_) && Skip(length - 2);
        break;
      case 0xE0:
        ok = ReadApp0(length);
        break;
      default:
        // Progressive, lossless, hierarchical and arithmetic frames are not read.
        if ((code >= 0xC2 && code <= 0xCF) && code != 0xC4 && code != 0xC8 && code != 0xCC) return false;
        ok = Skip(length);
        break;
    }
    if (!ok) return false;
  }
  return (flags_ & 8) != 0;
}

bool CBaselineJpegReader::DecodeBlock(int c, int32_t* block) {
  const ScanComponent& s = scan_[c];
  const uint16_t* qt = quant_[s.tq];
  int size;
  int32_t v = 0;
  if (!DecodeSymbol(dcTables_[s.dc], &size) || size > 15 || !GetBits(size, &v)) return false;
  if (size > 0 && (v >> (size - 1)) == 0) v -= (1 << size) - 1;
  predictor_[c] += v;
  if (predictor_[c] > kMaxDc || predictor_[c] < -kMaxDc) return false;
  block[0] = predictor_[c] * qt[0];
  for (int k = 1; k < 64;) {
    int symbol;
    if (!DecodeSymbol(acTables_[s.ac], &symbol)) return false;
    if (symbol == 0) break;
    const int run = symbol >> 4;
    size = symbol & 15;
    v = 0;
    if (!GetBits(size, &v)) return false;
    if (size > 0 && (v >> (size - 1)) == 0) v -= (1 << size) - 1;
    k += run;
    if (k > 63) return false;  // a run past the block's end
    block[kZigzag[k]] = v * qt[k];
    ++k;
  }
  return true;
}

bool CBaselineJpegReader::DecodeMcu() {
  // The MCU's blocks start zeroed: a block holds only the values decoded.
  size_t at = store_->size();
  store_->resize(at + size_t(blocksPerMcu_) * kBlockSize);
  for (int c = 0; c < scanCount_; ++c) {
    for (int n = scan_[c].h * scan_[c].v; n > 0; --n, at += kBlockSize) {
      if (!DecodeBlock(c, store_->data() + at)) return false;
    }
  }
  return true;
}

bool CBaselineJpegReader::DecodeScan() {
  if (frameMarker_ != 0xC0 && frameMarker_ != 0xC1) return false;
  if (precision_ != 8 || scanCount_ != 3 || frameCount_ != 3) return false;
  if (spectralStart_ != 0 || spectralEnd_ != 63 || approxHigh_ != 0 || approxLow_ != 0) return false;
  if (width_ <= 0 || height_ <= 0 || uint64_t(width_) * uint64_t(height_) > bmp::kMaxPixels) return false;
  hMax_ = vMax_ = 1;
  blocksPerMcu_ = 0;
  for (int c = 0; c < scanCount_; ++c) {
    const ScanComponent& s = scan_[c];
    if (!dcTables_[s.dc].defined || !acTables_[s.ac].defined || !quantDefined_[s.tq]) return false;
    hMax_ = s.h > hMax_ ? s.h : hMax_;
    vMax_ = s.v > vMax_ ? s.v : vMax_;
    blocksPerMcu_ += s.h * s.v;
  }
  if (blocksPerMcu_ > kMaxBlocksPerMcu) return false;
  mcuColumns_ = (width_ + 8 * hMax_ - 1) / (8 * hMax_);
  mcuRows_ = (height_ + 8 * vMax_ - 1) / (8 * vMax_);
  const uint64_t blocks = uint64_t(mcuColumns_) * uint64_t(mcuRows_) * uint64_t(blocksPerMcu_);
  // The store grows with the data; reserve only what a modest picture needs
  // (a store kept from an earlier picture usually holds that already).
  store_->reserve(static_cast<size_t>(blocks < (1u << 16) ? blocks : (1u << 16)) * kBlockSize);
  std::memset(predictor_, 0, sizeof predictor_);
  restartCount_ = 0;
  EnterEntropy();
  const uint64_t mcus = uint64_t(mcuColumns_) * uint64_t(mcuRows_);
  for (uint64_t m = 0; m < mcus; ++m) {
    if (!DecodeMcu()) return false;
    if (restartInterval_ != 0 && ++restartCount_ == restartInterval_) {
      restartCount_ = 0;
      LeaveEntropy();
      int code;
      if (pendingMarker_ == 0 && m + 1 == mcus) break;  // nothing follows the last interval
      if (!FindMarker(&code)) return false;
      if (code >= 0xD0 && code <= 0xD7) {
        std::memset(predictor_, 0, sizeof predictor_);
      } else {
        PushBack(2);
      }
      EnterEntropy();
    }
  }
  LeaveEntropy();
  return true;
}

bool CBaselineJpegReader::Parse(CMemoryByteSource* source) {
  if (!source) return false;
  source_ = source;
  cursor_ = end_ = 4;
  std::memset(buffer_, 0, sizeof buffer_);
  bitsLeft_ = 0;
  entropy_ = false;
  pendingMarker_ = 0;
  flags_ = 0;
  restartInterval_ = 0;
  frameMarker_ = precision_ = width_ = height_ = frameCount_ = scanCount_ = 0;
  store_->clear();
  if (!ReadHeaders()) return false;
  return DecodeScan();
}
