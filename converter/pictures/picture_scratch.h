// Working memory of the picture road that a conversion run keeps from one
// picture to the next, so that a run of pictures does not take and give back
// fresh memory for every one of them. None of it outlives the run, and no
// result points into it.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

#include "converter/pictures/jbp1_writer.h"
#include "converter/pictures/scratch_array.h"

struct PictureScratch {
  std::vector<int32_t> jpegStore;  // the baseline reader's coefficient store
  ScratchArray<int> coefficients;  // the re-coder's quantised coefficients
  Jbp1WriterScratch writer;        // the JBP1 writer's lists and bit streams
  ScratchArray<BYTE> bitmapCopy;   // the re-coder's top-first 24-bit copy
  ScratchArray<BYTE> alphaPlane;   // the re-coder's alpha plane
  ScratchArray<BYTE> scaleRows;    // the scaler's picture after its first pass
};
