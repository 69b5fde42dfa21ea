#include "tests/e2e/e2e_support.h"

#include <algorithm>
#include <cstring>

#include "converter/conv_file_make.h"

namespace e2e {

ConversionResult Convert(const std::string& source, const std::string& output, int percent, int quality) {
  const int bitrates[2] = {5, 3}, rates[2] = {1, 0};
  auto* job = new CConvFileMake(bitrates, rates, 1, percent);
  std::snprintf(job->m_sourceFolder, sizeof job->m_sourceFolder, "%s", source.c_str());
  std::snprintf(job->m_outputFolder, sizeof job->m_outputFolder, "%s", output.c_str());
  job->m_qualityCode = quality;
  job->m_doPictures = 1;
  job->m_doMusic = 0;
  job->m_doVoices = 0;
  job->m_encoder = 0;
  CThreadCtrl ctrl(job);
  ctrl.StartChecked();
  while (!job->IsFinished()) Sleep(5);
  ConversionResult r;
  r.finished = ctrl.WaitChecked(INFINITE) != 0;
  ctrl.Close();
  r.done = job->DoneCount();
  r.total = job->TotalCount();
  r.failures = job->FailureCount();
  delete job;
  return r;
}

std::string PlayerPath(std::string path) {
  std::replace(path.begin(), path.end(), '/', '\\');
  return path;
}

}  // namespace e2e
