// Scan loops: sequential and progressive, whole image and region of
// interest, with restart handling, interruption and the MCU output step.
#include <cstdlib>
#include <cstring>

#include "jpeg/decoder/dec_internal.h"
#include "jpeg/kernels/dec_kernels.h"

namespace {

constexpr int32_t kRoiEntries = 8192;

struct ScanGeometry {
  bool single;     // one component in the scan: each MCU is one block
  int32_t perRow;  // MCUs (blocks) per row
  int32_t rows;
};

ScanGeometry Geometry(const JPEG_PROPERTIES* p, const JpegScan* scan) {
  const JpegDecoderState& d = p->dec;
  ScanGeometry g;
  g.single = scan->ns == 1;
  if (g.single) {
    const int32_t uw = 8 * (p->hMax / scan->comp[0].h), uh = 8 * (p->vMax / scan->comp[0].v);
    g.perRow = (d.width + uw - 1) / uw;
    g.rows = (d.height + uh - 1) / uh;
  } else {
    g.perRow = p->mcusPerRow;
    g.rows = p->mcuRows;
  }
  return g;
}

bool CoefficientsOnly(const JPEG_PROPERTIES* p) { return p->coefPlanes && p->coefPlanes->kind == 0; }

// Copies one 8x8 block into a caller plane at block column bx, block row by.
void BlockToPlane(const JPEG_PROPERTIES* p, int32_t comp, int32_t bx, int32_t by, const int16_t* block) {
  int16_t* plane = p->coefPlanes->plane[comp];
  if (!plane) return;
  const int32_t width = p->mcusPerRow * p->dec.frame[comp].h * 8;
  int16_t* dst = plane + (size_t)by * 8 * width + (size_t)bx * 8;
  for (int r = 0; r < 8; ++r) std::memcpy(dst + (size_t)r * width, block + r * 8, 8 * sizeof(int16_t));
}

int16_t* WorkBlock(JPEG_PROPERTIES* p, int32_t comp, int32_t k) {
  return p->work + (p->dec.compBlockOffset[comp] + k) * 64;
}

// Inverse transform of one block at the read's scale; folded components take
// the next larger transform.
void TransformBlock(JPEG_PROPERTIES* p, int16_t* block, int32_t scale, bool folded) {
  int size = scale == 1 ? 0 : scale == 2 ? 1 : scale == 4 ? 2 : 3;
  if (folded && size > 0) --size;
  JpegIdctSlot(p->out.kernels, size)(block);
}

// MCU output step: transforms the MCU in the work area and writes it.
void JpegOutputMcu(JPEG_PROPERTIES* p, const JpegScan* scan, int32_t col, int32_t row, int32_t scale) {
  JpegDecoderState& d = p->dec;
  if (d.bufferedMode) {
    const int32_t ci = scan->comp[0].index;
    int16_t* block = WorkBlock(p, ci, 0);
    TransformBlock(p, block, scale, false);
    if (p->coefPlanes) {
      BlockToPlane(p, ci, col, row, block);
      return;
    }
    if (p->dibColor == 3)
      JpegBufferedYcbcrMcu(p, col, row);
    else
      JpegBufferedMcu(p, col, row);
    return;
  }
  for (int32_t c = 0; c < d.ncomp; ++c) {
    const int32_t n = d.frame[c].h * d.frame[c].v;
    const bool folded = d.fold && n == 1;
    for (int32_t k = 0; k < n; ++k) {
      int16_t* block = WorkBlock(p, c, k);
      TransformBlock(p, block, scale, folded);
      if (p->coefPlanes)
        BlockToPlane(p, c, col * d.frame[c].h + k % d.frame[c].h, row * d.frame[c].v + k / d.frame[c].h, block);
    }
  }
  if (p->coefPlanes) return;
  if (d.smoothing && p->hMax == 2 && p->vMax <= 2) {
    JpegSmoothMcu(p, col, row);
    return;
  }
  if (scale == 1)
    p->out.kernels->decoderOutput(p, col, row);
  else
    JpegOutputScaledMcu(p, col, row);
}

JpegStatus ConsumeRestartMarker(JpegInStream* s) {
  if (s->marker) {
    s->marker = 0;
    return JPEG_SUCCESS;
  }
  JpegStatus st;
  const int32_t code = JpegNextMarker(s, &st);
  if (code < 0) return st;
  return JPEG_SUCCESS;
}

// Decodes one MCU of a sequential scan: full blocks (dequantised, or copied to
// the planes in coefficients-only mode) or, when `full` is false, only the DC.
JpegStatus DecodeSequentialMcu(JPEG_PROPERTIES* p, JpegScan* scan, const ScanGeometry& g, int32_t col, int32_t row,
                               bool full) {
  JpegDecoderState& d = p->dec;
  JpegKernelTable* t = p->out.kernels;
  for (int32_t i = 0; i < scan->ns; ++i) {
    const JpegDecScanComponent& c = scan->comp[i];
    const int32_t n = g.single ? 1 : c.h * c.v;
    for (int32_t k = 0; k < n; ++k) {
      int16_t* block = WorkBlock(p, c.index, k);
      const JpegHuffDecodeTable* dc = &p->dcDecode[c.dcTable];
      const JpegHuffDecodeTable* ac = &p->acDecode[c.acTable];
      if (!full) {
        int16_t dcOnly[64];
        JpegStatus st = t->huffDecodeDcOnly(&d.in, dc, ac, &scan->pred[i], dcOnly);
        if (st != 0) return JPEG_ERR_DATA;
        continue;
      }
      JpegStatus st = t->huffDecodeBlock(&d.in, dc, ac, &scan->pred[i], block);
      if (st != 0) return st;
      if (CoefficientsOnly(p)) {
        const int32_t bx = g.single ? col : col * c.h + k % c.h;
        const int32_t by = g.single ? row : row * c.v + k / c.h;
        BlockToPlane(p, c.index, bx, by, block);
      } else {
        d.dequant(block, d.quant[c.quant]);
      }
    }
  }
  return JPEG_SUCCESS;
}

// Stops after an MCU when the caller asked for it; false when the scan is done anyway.
bool Interrupt(JPEG_PROPERTIES* p, JpegScan* scan, int32_t col, int32_t row, int32_t perRow, int32_t rows) {
  if (!p->stopRequest) return false;
  int32_t nextCol = col + 1, nextRow = row;
  if (nextCol >= perRow) {
    nextCol = 0;
    ++nextRow;
  }
  if (nextRow >= rows) return false;
  scan->nextCol = nextCol;
  scan->nextRow = nextRow;
  p->stopCol = col;
  p->stopRow = row;
  return true;
}

// Per-block work of one MCU, worked out once per scan for the common case
// (whole picture, full size, pixels out): the same calls in the same order
// as DecodeSequentialMcu and JpegOutputMcu make.
struct McuPlan {
  struct Block {
    int16_t* block;
    const JpegHuffDecodeTable* dc;
    const JpegHuffDecodeTable* ac;
    int16_t* pred;
    const int16_t* quant;
  } blocks[10];
  int32_t count = 0;
  int32_t outputBlocks = 0;  // every frame component's blocks, transformed in place
};

bool PlanMcu(JPEG_PROPERTIES* p, JpegScan* scan, const ScanGeometry& g, int32_t scale, McuPlan* plan) {
  JpegDecoderState& d = p->dec;
  if (CoefficientsOnly(p) || p->coefPlanes || d.bufferedMode || scale != 1 || !p->out.kernels->decoderOutput ||
      (d.smoothing && p->hMax == 2 && p->vMax <= 2))
    return false;
  for (int32_t i = 0; i < scan->ns; ++i) {
    const JpegDecScanComponent& c = scan->comp[i];
    const int32_t n = g.single ? 1 : c.h * c.v;
    for (int32_t k = 0; k < n; ++k) {
      if (plan->count == 10) return false;
      plan->blocks[plan->count++] = {WorkBlock(p, c.index, k), &p->dcDecode[c.dcTable], &p->acDecode[c.acTable],
                                     &scan->pred[i], d.quant[c.quant]};
    }
  }
  // JpegOutputMcu transforms each component's blocks, which lie one after another.
  for (int32_t c = 0; c < d.ncomp; ++c) {
    if (d.compBlockOffset[c] != plan->outputBlocks) return false;
    plan->outputBlocks += d.frame[c].h * d.frame[c].v;
  }
  return true;
}

JpegStatus JpegDecodeSequential(JpegInStream* s, JpegScan* scan, JPEG_PROPERTIES* p, int32_t scale) {
  const ScanGeometry g = Geometry(p, scan);
  const bool coefOnly = CoefficientsOnly(p);
  McuPlan plan;
  if (PlanMcu(p, scan, g, scale, &plan)) {
    JpegKernelTable* t = p->out.kernels;
    const JpegHuffDecodeBlockFn decode = t->huffDecodeBlock;
    const JpegDequantFn dequant = p->dec.dequant;
    const JpegIdctFn idct = JpegIdctSlot(t, 0);
    // The SSE2 dequantiser and transform run as one pass when every block
    // the MCU decodes is the one transformed at its place.
    bool fused = dequant == JpegDequantizeIntSse2 && idct == JpegIdctIntSse2 && plan.count == plan.outputBlocks;
    for (int32_t i = 0; fused && i < plan.count; ++i) fused = plan.blocks[i].block == p->work + 64 * i;
    for (int32_t row = scan->nextRow; row < g.rows; ++row) {
      for (int32_t col = row == scan->nextRow ? scan->nextCol : 0; col < g.perRow; ++col) {
        for (int32_t i = 0; i < plan.count; ++i) {
          const McuPlan::Block& b = plan.blocks[i];
          JpegStatus st = decode(&p->dec.in, b.dc, b.ac, b.pred, b.block);
          if (st != 0) return st;
          if (!fused) dequant(b.block, b.quant);
        }
        JpegStatus st = JpegRestartCheck(s, scan, g.perRow, g.rows, col, row);
        if (st != 0) return st;
        if (fused) {
          for (int32_t i = 0; i < plan.count; ++i) JpegIdctIntQuantSse2(plan.blocks[i].block, plan.blocks[i].quant);
        } else {
          for (int32_t i = 0; i < plan.outputBlocks; ++i) idct(p->work + 64 * i);
        }
        t->decoderOutput(p, col, row);
        if (Interrupt(p, scan, col, row, g.perRow, g.rows)) return JPEG_INTERRUPT_SUCCESS;
      }
    }
    return JPEG_SUCCESS;
  }
  for (int32_t row = scan->nextRow; row < g.rows; ++row) {
    for (int32_t col = row == scan->nextRow ? scan->nextCol : 0; col < g.perRow; ++col) {
      JpegStatus st = DecodeSequentialMcu(p, scan, g, col, row, true);
      if (st != 0) return st;
      st = JpegRestartCheck(s, scan, g.perRow, g.rows, col, row);
      if (st != 0) return st;
      if (!coefOnly) JpegOutputMcu(p, scan, col, row, scale);
      if (Interrupt(p, scan, col, row, g.perRow, g.rows)) return JPEG_INTERRUPT_SUCCESS;
    }
  }
  return JPEG_SUCCESS;
}

void JpegRoiRecord(JpegDecoderState& d, const JpegScan* scan, int32_t row) {
  if (!d.roiIndex || row < 0 || row >= kRoiEntries) return;
  JpegRoiEntry& e = d.roiIndex[row];
  e.offset = JpegStreamOffset(&d.in);
  e.acc = d.in.acc;
  e.bits = d.in.bits;
  e.marker = d.in.marker;
  std::memcpy(e.pred, scan->pred, sizeof e.pred);
}

JpegStatus JpegRoiRestore(JpegDecoderState& d, JpegScan* scan, int32_t row) {
  const JpegRoiEntry& e = d.roiIndex[row];
  if (JpegStreamSetOffset(&d.in, e.offset) != 0) return JPEG_ERR_FILE;
  d.in.acc = e.acc;
  d.in.bits = e.bits;
  d.in.marker = e.marker;
  std::memcpy(scan->pred, e.pred, sizeof e.pred);
  return JPEG_SUCCESS;
}

// The index belongs to one scan of one stream; any other scan starts it anew.
JpegStatus JpegRoiIndex(JPEG_PROPERTIES* p, JpegScan* scan) {
  JpegDecoderState& d = p->dec;
  if (!d.roiIndex) {
    d.roiIndex = static_cast<JpegRoiEntry*>(std::malloc(sizeof(JpegRoiEntry) * kRoiEntries));
    if (!d.roiIndex) return JPEG_ERR_MEMORY;
    d.roiIndex[0].offset = -2;
  }
  const void* source = d.in.file ? static_cast<const void*>(p->jpegFileName) : d.in.memStart;
  if (d.roiIndex[0].offset != d.scanStartOffset || d.roiSource != source || d.roiSourceSize != d.in.memSize) {
    for (int i = 1; i < kRoiEntries; ++i) d.roiIndex[i].offset = -1;
    JpegRoiEntry& e = d.roiIndex[0];
    e.offset = d.scanStartOffset;
    e.acc = 0;
    e.bits = 0;
    e.marker = 0;
    std::memset(e.pred, 0, sizeof e.pred);
    d.roiSource = source;
    d.roiSourceSize = d.in.memSize;
  }
  (void)scan;
  return JPEG_SUCCESS;
}

JpegStatus JpegDecodeSequentialRoi(JpegInStream* s, JpegScan* scan, JPEG_PROPERTIES* p, int32_t scale) {
  JpegDecoderState& d = p->dec;
  const ScanGeometry g = Geometry(p, scan);
  const bool coefOnly = CoefficientsOnly(p);
  int32_t uw = 8 * p->hMax / scale, uh = 8 * p->vMax / scale;
  if (g.single) {
    uw = 8 * (p->hMax / scan->comp[0].h) / scale;
    uh = 8 * (p->vMax / scan->comp[0].v) / scale;
  }
  if (uw < 1) uw = 1;
  if (uh < 1) uh = 1;
  const int32_t* roi = d.roiEff;
  int32_t c0 = roi[0] / uw, c1 = (roi[2] + uw - 1) / uw, r0 = roi[1] / uh, r1 = (roi[3] + uh - 1) / uh;
  if (d.smoothing && p->hMax == 2) {
    --c0;
    ++c1;
  }
  if (d.smoothing && p->vMax == 2) {
    --r0;
    ++r1;
  }
  c0 = c0 < 0 ? 0 : c0;
  r0 = r0 < 0 ? 0 : r0;
  c1 = c1 > g.perRow ? g.perRow : c1;
  r1 = r1 > g.rows ? g.rows : r1;
  const bool useIndex = !d.bufferedMode;
  JpegStatus st;

  int32_t startRow = scan->nextRow, startCol = scan->nextCol;
  if (!scan->roiActive) {
    // Reach the first row of the region.
    startRow = r0;
    startCol = 0;
    int32_t from = 0;
    if (useIndex) {
      st = JpegRoiIndex(p, scan);
      if (st != 0) return st;
      from = r0 < kRoiEntries - 1 ? r0 : kRoiEntries - 1;
      while (from > 0 && d.roiIndex[from].offset < 0) --from;
      st = JpegRoiRestore(d, scan, from);
      if (st != 0) return st;
    }
    for (int32_t row = from; row < r0; ++row) {
      for (int32_t col = 0; col < g.perRow; ++col) {
        st = DecodeSequentialMcu(p, scan, g, col, row, false);
        if (st != 0) return st;
        if (JpegRestartCheck(s, scan, g.perRow, g.rows, col, row) != 0) return JPEG_ERR_BAD_RST;
      }
      if (useIndex && row + 1 < kRoiEntries && d.roiIndex[row + 1].offset < 0) JpegRoiRecord(d, scan, row + 1);
    }
  }
  scan->roiActive = 0;
  for (int32_t row = startRow; row < r1; ++row) {
    for (int32_t col = row == startRow ? startCol : 0; col < g.perRow; ++col) {
      const bool inside = col >= c0 && col < c1;
      st = DecodeSequentialMcu(p, scan, g, col, row, inside);
      if (st != 0) return st;
      if (JpegRestartCheck(s, scan, g.perRow, g.rows, col, row) != 0) return JPEG_ERR_BAD_RST;
      if (inside && !coefOnly) JpegOutputMcu(p, scan, col, row, scale);
      if (inside && Interrupt(p, scan, col, row, g.perRow, r1)) {
        scan->roiActive = 1;
        return JPEG_INTERRUPT_SUCCESS;
      }
    }
    if (useIndex && row + 1 < kRoiEntries && d.roiIndex[row + 1].offset < 0) JpegRoiRecord(d, scan, row + 1);
  }
  if (d.smoothing) JpegSmoothFlush(p);
  if (d.bufferedMode && d.in.bufferedDone + scan->ns < d.ncomp) return JPEG_SUCCESS;
  return JPEG_ROI_SUCCESS;
}

// ---- Progressive ----------------------------------------------------------------------

// The store keeps each component's blocks apart, row by row, so that a scan
// of one component walks its memory in order.
int16_t* StoreBlock(JPEG_PROPERTIES* p, int32_t comp, int32_t bx, int32_t by) {
  const JpegDecoderState& d = p->dec;
  const size_t mcus = (size_t)p->mcusPerRow * p->mcuRows;
  const size_t width = (size_t)p->mcusPerRow * d.frame[comp].h;
  return d.coefStore + ((size_t)d.compBlockOffset[comp] * mcus + (size_t)by * width + (size_t)bx) * 64;
}

bool ProgressiveReady(const JpegDecoderState& d) { return d.dcComponentsDone >= d.ncomp && d.finishedScans >= d.ncomp; }

void OutputFromStore(JPEG_PROPERTIES* p, const JpegScan* scan, int32_t col, int32_t row, int32_t scale) {
  JpegDecoderState& d = p->dec;
  if (col < 0 || row < 0 || col >= p->mcusPerRow || row >= p->mcuRows) return;
  const bool coefOnly = CoefficientsOnly(p);
  for (int32_t c = 0; c < d.ncomp; ++c) {
    const int32_t h = d.frame[c].h, n = h * d.frame[c].v;
    for (int32_t k = 0; k < n; ++k) {
      int16_t* block = WorkBlock(p, c, k);
      std::memcpy(block, StoreBlock(p, c, col * h + k % h, row * d.frame[c].v + k / h), 64 * sizeof(int16_t));
      if (coefOnly)
        BlockToPlane(p, c, col * h + k % h, row * d.frame[c].v + k / h, block);
      else
        d.dequant(block, d.quant[d.frame[c].tq]);
    }
  }
  if (coefOnly) return;
  // Skip MCUs that the region leaves out.
  if (d.roiEff[2] || d.roiEff[3]) {
    const int32_t w = 8 * p->hMax / scale, hgt = 8 * p->vMax / scale;
    const int32_t x0 = col * (w ? w : 1), y0 = row * (hgt ? hgt : 1);
    const int32_t margin = d.smoothing ? w : 0;
    if (x0 >= d.roiEff[2] + margin || x0 + w + margin <= d.roiEff[0] || y0 >= d.roiEff[3] + margin ||
        y0 + hgt + margin <= d.roiEff[1])
      return;
  }
  JpegOutputMcu(p, scan, col, row, scale);
}

void OutputStoreRow(JPEG_PROPERTIES* p, const JpegScan* scan, int32_t row, int32_t scale) {
  for (int32_t col = 0; col < p->mcusPerRow; ++col) OutputFromStore(p, scan, col, row, scale);
}

JpegStatus JpegDecodeProgressive(JpegInStream* s, JpegScan* scan, JPEG_PROPERTIES* p, int32_t scale) {
  JpegDecoderState& d = p->dec;
  const ScanGeometry g = Geometry(p, scan);
  const bool ready = ProgressiveReady(d);
  JpegStatus st;
  if (scan->ss == 0) {
    for (int32_t row = scan->nextRow; row < g.rows; ++row) {
      for (int32_t col = row == scan->nextRow ? scan->nextCol : 0; col < g.perRow; ++col) {
        for (int32_t i = 0; i < scan->ns; ++i) {
          const JpegDecScanComponent& c = scan->comp[i];
          const int32_t n = g.single ? 1 : c.h * c.v;
          for (int32_t k = 0; k < n; ++k) {
            const int32_t bx = g.single ? col : col * c.h + k % c.h;
            const int32_t by = g.single ? row : row * c.v + k / c.h;
            int16_t* block = StoreBlock(p, c.index, bx, by);
            if (scan->ah == 0) {
              std::memset(block, 0, 64 * sizeof(int16_t));
              st = JpegDecodeDcFirst(s, &p->dcDecode[c.dcTable], block, &scan->pred[i], scan->al);
            } else {
              st = JpegDecodeDcRefine(s, block, scan->al);
            }
            if (st != 0) return st;
          }
        }
        if (JpegRestartCheck(s, scan, g.perRow, g.rows, col, row) != 0) return JPEG_ERR_BAD_RST;
        if (ready) {
          if (!g.single) {
            OutputFromStore(p, scan, col, row, scale);
          } else if (col == g.perRow - 1) {
            const int32_t v = scan->comp[0].v;
            if ((row + 1) % v == 0 || row == g.rows - 1) OutputStoreRow(p, scan, row / v, scale);
          }
        }
        if (Interrupt(p, scan, col, row, g.perRow, g.rows)) return JPEG_INTERRUPT_SUCCESS;
      }
    }
  } else {
    const JpegDecScanComponent& c = scan->comp[0];
    const JpegHuffDecodeTable* ac = &p->acDecode[c.acTable];
    for (int32_t row = scan->nextRow; row < g.rows; ++row) {
      const int32_t first = row == scan->nextRow ? scan->nextCol : 0;
      int16_t* block = StoreBlock(p, c.index, first, row);
      for (int32_t col = first; col < g.perRow; ++col, block += 64) {
        st = scan->ah == 0 ? JpegDecodeAcFirst(s, block, ac, scan->ss, scan->se, scan->al)
                           : JpegDecodeAcRefine(s, block, ac, scan->ss, scan->se, scan->al);
        if (st != 0) return st;
        if (JpegRestartCheck(s, scan, g.perRow, g.rows, col, row) != 0) return JPEG_ERR_BAD_RST;
      }
      if (ready && ((row + 1) % c.v == 0 || row == g.rows - 1)) OutputStoreRow(p, scan, row / c.v, scale);
      if (Interrupt(p, scan, g.perRow - 1, row, g.perRow, g.rows)) return JPEG_INTERRUPT_SUCCESS;
    }
  }
  if (ready && d.smoothing) JpegSmoothFlush(p);
  return JPEG_SUCCESS;
}

// A progressive region read decodes every MCU of the scan into the store;
// the region cuts only the output.
constexpr auto JpegDecodeProgressiveRoi = JpegDecodeProgressive;

}  // namespace

JpegStatus JpegRestartCheck(JpegInStream* s, JpegScan* scan, int32_t mcusPerRow, int32_t mcuRows, int32_t col,
                            int32_t row) {
  const int32_t r = scan->restartInterval;
  if (r == 0) return JPEG_SUCCESS;
  const int64_t n = (int64_t)row * mcusPerRow + col + 1;
  if (n % r != 0 || n >= (int64_t)mcusPerRow * mcuRows) return JPEG_SUCCESS;
  for (auto& pr : scan->pred) pr = 0;
  s->bits = 0;
  s->acc = 0;
  s->eobRun = 0;
  return ConsumeRestartMarker(s);
}

JpegStatus JpegDecodeImage(JpegInStream* s, JpegScan* scan, JPEG_PROPERTIES* p) {
  JpegDecoderState& d = p->dec;
  JpegKernelTable* t = p->out.kernels;
  if (p->dctMethod == 1) {
    JpegSetIdctSlot(t, 0, t->idctInt);
    JpegSetIdctSlot(t, 1, t->idctIntHalf);
    JpegSetIdctSlot(t, 2, t->idctIntQuarter);
    JpegSetIdctSlot(t, 3, t->idctIntEighth);
    d.dequant = t->dequantInt;
  } else {
    JpegSetIdctSlot(t, 0, t->idctScaled);
    JpegSetIdctSlot(t, 1, t->idctScaledHalf);
    JpegSetIdctSlot(t, 2, t->idctScaledQuarter);
    JpegSetIdctSlot(t, 3, t->idctScaledEighth);
    d.dequant = t->dequantScaled;
  }
  const int32_t io = p->ioType;
  const int32_t scale = (io == 14 || io == 15) ? 2 : (io == 16 || io == 17) ? 4 : (io == 18 || io == 19) ? 8 : 1;
  d.scale = scale;
  d.fold = 0;
  if (p->hMax > 1 || p->vMax > 1) {
    d.fold = 1;
    for (int c = 0; c < d.ncomp; ++c)
      if (d.frame[c].h != d.frame[c].v || d.frame[c].h > 2) d.fold = 0;
  }

  if (!p->coefPlanes && !d.bufferedMode && scale == 1 && !t->decoderOutput) {
    if (t->endOfCall) t->endOfCall();
    return JPEG_ERR_INVALID_PROPERTIES;
  }
  const int32_t* roi = d.roi;
  const bool inForce =
      (roi[2] != 0 && roi[2] < d.width) || (roi[3] != 0 && roi[3] < d.height) || roi[0] >= 1 || roi[1] >= 1;
  JpegStatus st;
  if (inForce) {
    const int32_t sw = (d.width + scale - 1) / scale, sh = (d.height + scale - 1) / scale;
    d.roiEff[0] = roi[0] > 0 ? roi[0] : 0;
    d.roiEff[1] = roi[1] > 0 ? roi[1] : 0;
    d.roiEff[2] = roi[2] > 0 && roi[2] < sw ? roi[2] : sw;
    d.roiEff[3] = roi[3] > 0 && roi[3] < sh ? roi[3] : sh;
    if (!d.roiIndex && !scan->progressive && !d.bufferedMode) {
      st = JpegRoiIndex(p, scan);
      if (st != 0) return st;
    }
    st = scan->progressive ? JpegDecodeProgressiveRoi(s, scan, p, scale) : JpegDecodeSequentialRoi(s, scan, p, scale);
  } else {
    std::memset(d.roiEff, 0, sizeof d.roiEff);
    st = scan->progressive ? JpegDecodeProgressive(s, scan, p, scale) : JpegDecodeSequential(s, scan, p, scale);
    if (st == 0 && d.smoothing && !scan->progressive) JpegSmoothFlush(p);
  }
  if (st == 0) {
    s->bits = 0;
    s->acc = 0;
  }
  if (t->endOfCall) t->endOfCall();
  return st;
}
