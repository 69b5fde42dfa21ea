// Arbitrary bytes as system.dat: read up to the damage; what was read is
// written and read again, and must give the same image.
#include <cstdint>
#include <memory>
#include <vector>

#include "player/scenario/system_image.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static auto block = std::make_unique<SeenReadBlock>();
  static auto block2 = std::make_unique<SeenReadBlock>();
  static std::vector<int16_t> vars(kPersistentVariableCount), vars2(kPersistentVariableCount);
  SystemDataState state{block.get(), {0, 0}, {0, 0}, 0, 0, 0};
  CSeenReadLists lists(&state);
  if (ParseSystemImage(data, size, vars.data(), &lists) == SystemCheck::kShort) return 0;
  std::vector<uint8_t> image = BuildSystemImage(vars.data(), lists);
  SystemDataState state2{block2.get(), {0, 0}, {0, 0}, 0, 0, 0};
  CSeenReadLists lists2(&state2);
  if (ParseSystemImage(image.data(), image.size(), vars2.data(), &lists2) != SystemCheck::kOk) __builtin_trap();
  if (BuildSystemImage(vars2.data(), lists2) != image) __builtin_trap();
  return 0;
}
