#include "converter/progress_lines.h"

namespace {

const char* const kStageNames[CConvFileMake::kStages] = {"pictures and scripts", "music", "sound effects", "voices"};

}  // namespace

std::vector<std::string> CProgressLines::Take(const CConvFileMake& job) {
  std::vector<std::string> lines;
  const auto stages = job.Stages();
  for (int s = 0; s < CConvFileMake::kStages; ++s) {
    const CConvFileMake::StageProgress& stage = stages[s];
    if (!stage.begun) continue;
    const std::string name = kStageNames[s];
    if (!m_announced[s]) {
      m_announced[s] = true;
      lines.push_back(name + ": " + std::to_string(stage.items) + (stage.items == 1 ? " item" : " items"));
    }
    if (stage.items <= 0) continue;
    const int tenths = int(int64_t(stage.done) * 10 / stage.items);
    if (tenths > m_tenths[s]) {
      m_tenths[s] = tenths;
      lines.push_back(name + ": " + std::to_string(stage.done) + " / " + std::to_string(stage.items));
    }
  }
  return lines;
}
