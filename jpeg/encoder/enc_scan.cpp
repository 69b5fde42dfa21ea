// Encoder scan drivers: the baseline (sequential) driver and the progressive
// driver with its fixed scan scripts and optimal tables per scan.
#include <cstring>
#include <new>
#include <vector>

#include "jpeg/encoder/enc_bitwriter.h"
#include "jpeg/jpeg_internal.h"

void JpegDeleteScanState(JpegScanState*& scan) {
  if (!scan) return;
  delete[] scan->comps;
  delete scan;
  scan = nullptr;
}

namespace {

void EndOfCall(JPEG_PROPERTIES* p) {
  if (p->out.kernels->endOfCall) p->out.kernels->endOfCall();
}

int32_t BlocksPerMcu(const JPEG_PROPERTIES* p) {
  int32_t n = 0;
  for (int i = 0; i < p->componentCount; ++i) n += p->components[i].h * p->components[i].v;
  return n;
}

// Copies one MCU's blocks from the caller's coefficient planes.
void CopyFromPlanes(JPEG_PROPERTIES* p, int32_t col, int32_t row) {
  const JpegCoefPlanes* planes = p->coefPlanes;
  int16_t* out = p->work;
  for (int i = 0; i < p->componentCount; ++i) {
    const JpegComponent& c = p->components[i];
    const intptr_t width = (intptr_t)p->mcusPerRow * c.h * 8;
    for (int by = 0; by < c.v; ++by)
      for (int bx = 0; bx < c.h; ++bx) {
        const int16_t* src =
            planes->plane[i] + ((intptr_t)(row * c.v + by) * 8) * width + (intptr_t)(col * c.h + bx) * 8;
        for (int y = 0; y < 8; ++y)
          for (int x = 0; x < 8; ++x) {
            const int32_t v = src[y * width + x];
            *out++ = (int16_t)(planes->kind ? v - 128 : v);
          }
      }
  }
}

// Brings one MCU into the work area as quantised coefficients.
void PrepareMcu(JPEG_PROPERTIES* p, int32_t col, int32_t row, int32_t blocks, const int16_t* const* quant) {
  JpegKernelTable* t = p->out.kernels;
  const bool coefficients = p->coefPlanes && p->coefPlanes->kind == 0;
  if (p->coefPlanes)
    CopyFromPlanes(p, col, row);
  else
    t->inputConverter(p, col, row);
  if (coefficients) return;
  for (int b = 0; b < blocks; ++b) t->fdctCurrent(p->work + 64 * b);
  int b = 0;
  for (int i = 0; i < p->componentCount; ++i) {
    const int32_t n = p->components[i].h * p->components[i].v;
    for (int j = 0; j < n; ++j, ++b) t->quantCurrent(p->work + 64 * b, quant[i]);
  }
}

JpegStatus QuantTables(JPEG_PROPERTIES* p, const int16_t** quant) {
  for (int i = 0; i < p->componentCount; ++i) {
    const int32_t sel = p->components[i].quantSel;
    if (sel < 0 || sel > 3 || !p->quantInUse[sel]) return JPEG_ERR_NO_QUANT;
    quant[i] = p->quantInUse[sel]->q;
  }
  return JPEG_SUCCESS;
}

JpegStatus StartInput(JPEG_PROPERTIES* p) {
  if (p->coefPlanes) return JPEG_SUCCESS;
  if (p->force8x8) return JPEG_ERR_COMP;  // no converter serves forced 8x8 MCUs
  JpegStatus st = JpegSelectInputConverter(p);
  if (st != 0) return st;
  return p->out.kernels->inputConverter ? JPEG_SUCCESS : JPEG_ERR_COMP;
}

JpegStatus BaselineLoop(JPEG_PROPERTIES* p, JpegScanState* scan, bool continuing) {
  JpegKernelTable* t = p->out.kernels;
  const int32_t n = p->componentCount;
  const int16_t* quant[4];
  int32_t blocks = 0;
  for (int i = 0; i < n; ++i) {
    JpegScanComponent& c = scan->comps[i];
    if (!continuing) scan->lastDc[i] = 0;
    // A single component is always coded with tables 0 (its SOS says so).
    const int32_t dcSel = n == 1 ? 0 : p->dcSel[i], acSel = n == 1 ? 0 : p->acSel[i];
    if (dcSel > 3 || acSel > 3 || !p->dcEncodeInUse[dcSel] || !p->acEncodeInUse[acSel]) return JPEG_ERR_NO_HUFFMAN;
    c.dcTable = p->dcEncodeInUse[dcSel];
    c.acTable = p->acEncodeInUse[acSel];
    blocks += c.h * c.v;
  }
  JpegStatus st = QuantTables(p, quant);
  if (st != 0) return st;
  if (!p->coefPlanes && !t->inputConverter) return JPEG_ERR_COMP;

  const int32_t startRow = continuing ? scan->nextRow : 0;
  const int32_t startCol = continuing ? scan->nextCol : 0;
  for (int32_t row = startRow; row < p->mcuRows; ++row) {
    for (int32_t col = row == startRow ? startCol : 0; col < p->mcusPerRow; ++col) {
      PrepareMcu(p, col, row, blocks, quant);
      const int16_t* blk = p->work;
      for (int i = 0; i < n; ++i) {
        const JpegScanComponent& c = scan->comps[i];
        for (int j = c.h * c.v; j > 0; --j, blk += 64) {
          st = t->encodeBlock(&p->out, c.dcTable, c.acTable, &scan->lastDc[i], blk);
          if (st != 0) return st;
        }
      }
      if (p->restartInterval) {
        ++scan->restartCount;
        if (scan->restartCount % p->restartInterval == 0) {
          const int32_t r = (scan->restartCount / p->restartInterval - 1) & 7;
          if (r == 7) scan->restartCount = 0;
          if ((st = JpegWriteRst(p, r)) != 0) return st;
          for (int i = 0; i < n; ++i) scan->lastDc[i] = 0;
        }
      }
      if (p->stopRequest) {
        p->stopCol = col;
        p->stopRow = row;
        scan->nextCol = col + 1;
        scan->nextRow = row;
        if (scan->nextCol == p->mcusPerRow) {
          scan->nextCol = 0;
          ++scan->nextRow;
        }
        return JPEG_INTERRUPT_SUCCESS;
      }
    }
  }
  return JPEG_SUCCESS;
}

}  // namespace

JpegStatus JpegEncodeBaseline(JPEG_PROPERTIES* p) {
  JpegStatus st = JPEG_SUCCESS;
  try {
    const bool continuing = p->pendingScan != nullptr;
    if (!continuing) {
      JpegScanState* scan = new JpegScanState();
      p->pendingScan = scan;  // owned by the job from here, freed on every failure
      scan->comps = new JpegScanComponent[4]();
      scan->count = p->componentCount;
      scan->ss = 1;
      scan->se = 63;
      for (int i = 0; i < p->componentCount; ++i) {
        scan->comps[i].index = i;
        scan->comps[i].h = p->components[i].h;
        scan->comps[i].v = p->components[i].v;
      }
      if ((st = JpegWriteSof0(p)) == 0 &&
          (p->restartInterval == 0 || (st = JpegWriteDri(p, p->restartInterval)) == 0) && (st = JpegWriteSos(p)) == 0 &&
          (st = JpegFlushOutput(&p->out)) == 0)
        st = StartInput(p);
    }
    if (st == 0) st = BaselineLoop(p, p->pendingScan, continuing);
  } catch (const std::bad_alloc&) {
    st = JPEG_ERR_MEMORY;
  } catch (...) {
    st = JPEG_ERR_EXCEPTION;
  }
  EndOfCall(p);
  if (st == JPEG_INTERRUPT_SUCCESS || st == JPEG_ROI_SUCCESS) {
    p->stopRequest = 0;
    return st;
  }
  JpegDeleteScanState(p->pendingScan);
  if (st != 0) return st;
  if ((st = JpegWriteEoi(p)) != 0) return st;
  return JpegFlushOutput(&p->out);
}

// ---- Progressive ----------------------------------------------------------------

namespace {

struct ScanDef {
  int32_t comps[4];
  int32_t count;
  int32_t ss, se, ah, al;
};

std::vector<ScanDef> ScanScript(int32_t channels, int32_t color) {
  auto dc = [](std::initializer_list<int32_t> c, int32_t ah, int32_t al) {
    ScanDef d{{0, 0, 0, 0}, 0, 0, 0, ah, al};
    for (int32_t i : c) d.comps[d.count++] = i;
    return d;
  };
  auto ac = [](int32_t c, int32_t ss, int32_t se, int32_t ah, int32_t al) {
    return ScanDef{{c, 0, 0, 0}, 1, ss, se, ah, al};
  };
  if (channels == 1 && color == 4)
    return {dc({0}, 0, 1),      ac(0, 1, 5, 0, 2), ac(0, 6, 63, 0, 2),
            ac(0, 1, 63, 2, 1), dc({0}, 1, 0),     ac(0, 1, 63, 1, 0)};
  if (channels == 2 && color == 255)
    return {dc({0, 1}, 0, 0), ac(0, 1, 5, 0, 0), ac(1, 1, 5, 0, 0), ac(0, 6, 63, 0, 0), ac(1, 6, 63, 0, 0)};
  if (channels == 3 && color == 3)
    return {dc({0, 1, 2}, 0, 1), ac(0, 1, 5, 0, 2),   ac(2, 1, 63, 0, 1), ac(1, 1, 63, 0, 1), ac(0, 6, 63, 0, 2),
            ac(0, 1, 63, 2, 1),  dc({0, 1, 2}, 1, 0), ac(2, 1, 63, 1, 0), ac(1, 1, 63, 1, 0), ac(0, 1, 63, 1, 0)};
  if (channels == 3 && (color == 1 || color == 255))
    return {dc({0, 1, 2}, 0, 1), ac(0, 1, 5, 0, 0),  ac(1, 1, 5, 0, 0),  ac(2, 1, 5, 0, 0),
            dc({0, 1, 2}, 1, 0), ac(0, 6, 63, 0, 0), ac(1, 6, 63, 0, 0), ac(2, 6, 63, 0, 0)};
  if (channels == 4 && (color == 5 || color == 255))
    return {dc({0, 1, 2, 3}, 0, 1), ac(0, 1, 5, 0, 0),  ac(1, 1, 5, 0, 0),  ac(2, 1, 5, 0, 0),  ac(3, 1, 5, 0, 0),
            dc({0, 1, 2, 3}, 1, 0), ac(0, 6, 63, 0, 0), ac(1, 6, 63, 0, 0), ac(2, 6, 63, 0, 0), ac(3, 6, 63, 0, 0)};
  if (channels == 4 && color == 6)
    return {dc({0, 1, 2, 3}, 0, 1), ac(0, 1, 5, 0, 2),  ac(2, 1, 63, 0, 1), ac(1, 1, 63, 0, 1),
            ac(3, 1, 63, 0, 0),     ac(0, 6, 63, 0, 2), ac(0, 1, 63, 2, 1), dc({0, 1, 2, 3}, 1, 0),
            ac(2, 1, 63, 1, 0),     ac(1, 1, 63, 1, 0), ac(0, 1, 63, 1, 0)};
  return {};
}

struct Progressive {
  JPEG_PROPERTIES* p;
  std::vector<int16_t> coef;
  int32_t bpm = 0;
  int32_t offset[4] = {0, 0, 0, 0};  // first block of each component within an MCU
  int32_t blocksW[4] = {0, 0, 0, 0}, blocksH[4] = {0, 0, 0, 0};

  int16_t* Block(int32_t mcu, int32_t comp, int32_t j) {
    return coef.data() + ((size_t)mcu * bpm + offset[comp] + j) * 64;
  }

  // Visits the blocks of a scan in stream order.
  template <typename F>
  JpegStatus ForEachBlock(const ScanDef& d, F&& f) {
    JpegStatus st;
    if (d.count > 1 || d.ss == 0) {
      for (int32_t m = 0; m < p->mcuTotal; ++m)
        for (int i = 0; i < d.count; ++i) {
          const JpegComponent& c = p->components[d.comps[i]];
          for (int j = 0; j < c.h * c.v; ++j)
            if ((st = f(i, Block(m, d.comps[i], j))) != 0) return st;
        }
      return JPEG_SUCCESS;
    }
    const int32_t ci = d.comps[0];
    const JpegComponent& c = p->components[ci];
    for (int32_t row = 0; row < p->mcuRows; ++row)
      for (int by = 0; by < c.v; ++by) {
        if (row * c.v + by >= blocksH[ci]) continue;
        for (int32_t col = 0; col < p->mcusPerRow; ++col)
          for (int bx = 0; bx < c.h; ++bx) {
            if (col * c.h + bx >= blocksW[ci]) continue;
            if ((st = f(0, Block(row * p->mcusPerRow + col, ci, by * c.h + bx))) != 0) return st;
          }
      }
    return JPEG_SUCCESS;
  }

  JpegStatus Run() {
    JpegOutputStream* s = &p->out;
    const std::vector<ScanDef> script = ScanScript(p->componentCount, p->jpegColor);
    if (script.empty()) return JPEG_ERR_INVALID_PROPERTIES;
    bpm = BlocksPerMcu(p);
    for (int i = 0, o = 0; i < p->componentCount; ++i) {
      const JpegComponent& c = p->components[i];
      offset[i] = o;
      o += c.h * c.v;
      const int32_t w = (p->imageWidth * c.h + p->hMax - 1) / p->hMax;
      const int32_t h = (p->imageHeight * c.v + p->vMax - 1) / p->vMax;
      blocksW[i] = (w + 7) / 8;
      blocksH[i] = (h + 7) / 8;
    }
    coef.resize((size_t)bpm * (size_t)p->mcuTotal * 64);
    const int16_t* quant[4];
    JpegStatus st = QuantTables(p, quant);
    if (st != 0) return st;
    // Image-data-only output already carries the SOI of the header writer,
    // and the scans carry no restart markers, so no DRI either.
    if ((st = JpegWriteSof2(p)) != 0) return st;
    if ((st = StartInput(p)) != 0) return st;
    for (int32_t row = 0, m = 0; row < p->mcuRows; ++row)
      for (int32_t col = 0; col < p->mcusPerRow; ++col, ++m) {
        PrepareMcu(p, col, row, bpm, quant);
        std::memcpy(Block(m, 0, 0), p->work, (size_t)bpm * 128);
      }

    JpegCorrectionBits corr;
    for (const ScanDef& d : script) {
      int32_t counts[2][257] = {};
      uint8_t bits[16], values[256];
      const bool isDc = d.ss == 0 && d.se == 0;
      const bool refine = d.ah != 0;
      int32_t lastDc[4] = {0, 0, 0, 0};
      s->eobRun = 0;
      corr.be = 0;
      // Statistics pass.
      ForEachBlock(d, [&](int i, const int16_t* blk) -> JpegStatus {
        if (isDc)
          JpegCountDcFirst(counts[d.comps[i] != 0 ? 1 : 0], &lastDc[i], blk, refine, d.al);
        else if (refine)
          JpegCountAcRefine(s, blk, d.ss, d.se, d.al, &corr, counts[0]);
        else
          JpegCountAcFirst(s, blk, d.ss, d.se, d.al, counts[0]);
        return JPEG_SUCCESS;
      });
      if (!isDc) JpegCountEobRun(s, counts[0], &corr);
      // Tables.
      if (!isDc) {
        const int32_t id = d.comps[0] != 0 ? 1 : 0;
        JpegGenerateOptimalTable(counts[0], bits, values);
        if ((st = JpegDeriveEncodeTable(bits, values, &p->acEncode[id])) != 0) return st;
        p->acEncodeInUse[id] = &p->acEncode[id];
        if ((st = JpegWriteDhtOne(p, bits, values, 1, id)) != 0) return st;
      } else if (!refine) {
        const int32_t tables = p->componentCount > 1 ? 2 : 1;
        for (int id = 0; id < tables; ++id) {
          JpegGenerateOptimalTable(counts[id], bits, values);
          if ((st = JpegDeriveEncodeTable(bits, values, &p->dcEncode[id])) != 0) return st;
          p->dcEncodeInUse[id] = &p->dcEncode[id];
          if ((st = JpegWriteDhtOne(p, bits, values, 0, id)) != 0) return st;
        }
      }
      JpegScanState scan{};
      JpegScanComponent comps[4] = {};
      scan.count = d.count;
      scan.ss = d.ss;
      scan.se = d.se;
      scan.ah = d.ah;
      scan.al = d.al;
      scan.comps = comps;
      for (int i = 0; i < d.count; ++i) comps[i].index = d.comps[i];
      if ((st = JpegWriteSosScan(p, &scan)) != 0) return st;
      // Encoding pass.
      const JpegHuffEncodeTable* dcT[4];
      const JpegHuffEncodeTable* acT = p->acEncodeInUse[d.comps[0] != 0 ? 1 : 0];
      for (int i = 0; i < d.count; ++i) dcT[i] = p->dcEncodeInUse[d.comps[i] != 0 ? 1 : 0];
      for (auto& v : lastDc) v = 0;
      s->eobRun = 0;
      corr.be = 0;
      s->bitAcc = 0;
      s->bitFree = 64;
      if (isDc && !refine) {
        for (int i = 0; i < d.count; ++i)
          if (!dcT[i]) return JPEG_ERR_NO_HUFFMAN;
      }
      if (!isDc && !acT) return JPEG_ERR_NO_HUFFMAN;
      st = ForEachBlock(d, [&](int i, const int16_t* blk) -> JpegStatus {
        if (isDc) return JpegEncodeDcProgressive(s, dcT[i], &lastDc[i], blk, refine, d.al);
        if (refine) return JpegEncodeAcRefine(s, acT, blk, d.ss, d.se, d.al, &corr);
        return JpegEncodeAcFirst(s, acT, blk, d.ss, d.se, d.al);
      });
      if (st != 0) return st;
      if (!isDc && (st = JpegEmitEobRun(s, acT, &corr)) != 0) return st;
      if (!isDc && (st = JpegEmitCorrectionBits(s, corr.bits, corr.be)) != 0) return st;
      corr.be = 0;
      if ((st = JpegCompletePendingByte(s)) != 0) return st;
      EndOfCall(p);
    }
    if ((st = JpegWriteEoi(p)) != 0) return st;
    return JpegFlushOutput(s);
  }
};

}  // namespace

JpegStatus JpegEncodeProgressive(JPEG_PROPERTIES* p) {
  JpegStatus st;
  try {
    Progressive enc{p, {}};
    st = enc.Run();
  } catch (const std::bad_alloc&) {
    st = JPEG_ERR_MEMORY;
  } catch (...) {
    st = JPEG_ERR_EXCEPTION;
  }
  EndOfCall(p);
  return st;
}
