// Arbitrary bytes as a save file: the block check and the slot summary; an
// accepted block is written, read and written again, giving the same bytes.
#include <cstdint>
#include <cstring>
#include <memory>

#include "player/scenario/save_image.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  SaveSlotSummary summary;
  SummariseSaveImage(data, size, &summary);
  if (summary.thumbnail && (summary.thumbnail < data || summary.thumbnail + summary.thumbnailSize != data + size))
    __builtin_trap();
  static auto block = std::make_unique<SaveStateBlock>();
  static auto again = std::make_unique<SaveStateBlock>();
  static uint8_t image[kSaveStateSize], image2[kSaveStateSize];
  if (DecodeSaveState(data, size, block.get()) != SaveCheck::kOk) return 0;
  EncodeSaveState(*block, image);
  if (DecodeSaveState(image, sizeof image, again.get()) != SaveCheck::kOk) __builtin_trap();
  EncodeSaveState(*again, image2);
  if (std::memcmp(image, image2, sizeof image) != 0) __builtin_trap();
  return 0;
}
