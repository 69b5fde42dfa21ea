// The progress of a conversion run as whole lines, for a log or a pipe: one
// as each stage begins, with its item count, and one each time a stage has
// handled a further tenth of its items.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "converter/conv_file_make.h"

class CProgressLines {
 public:
  // The lines due since the last call (none twice), in the run's order,
  // without a program name or a line end.  Called once more after the run
  // has finished, it gives every stage's last line.
  std::vector<std::string> Take(const CConvFileMake& job);

 private:
  std::array<bool, CConvFileMake::kStages> m_announced{};
  std::array<int, CConvFileMake::kStages> m_tenths{};  // tenths already told
};
