// The platform's log of flushes and moves for tests of the order in which a
// write reaches the disk, with each path cut to its last component.
#pragma once

#include <velmi_platform.h>

#include <string>
#include <vector>

namespace vtest {

// Logs the flushes and moves made while it lives; ends pending injected
// flush failures (of files and of folders) when it goes.
class DiskFlushLog {
 public:
  DiskFlushLog() { VelmiLogDiskFlushes(true); }
  ~DiskFlushLog() {
    VelmiLogDiskFlushes(false);
    VelmiFailFlushFileBuffers(-1);
    VelmiFailFolderFlush(-1);
  }
  DiskFlushLog(const DiskFlushLog&) = delete;
  DiskFlushLog& operator=(const DiskFlushLog&) = delete;

  // The lines so far, e.g. "flush a.dat.tmp", "move a.dat.tmp a.dat",
  // "folder save"; Clear() starts afresh.
  std::vector<std::string> Lines() const {
    std::vector<std::string> lines;
    for (const std::string& line : VelmiDiskFlushLog()) lines.push_back(Shorten(line));
    return lines;
  }
  void Clear() { VelmiLogDiskFlushes(true); }

 private:
  // Every path in the line (a word that starts with '/') keeps only its last
  // component.
  static std::string Shorten(const std::string& line) {
    std::string out;
    size_t at = 0;
    while (at < line.size()) {
      const size_t space = line.find(" /", at);
      const std::string word = line.substr(at, space == std::string::npos ? std::string::npos : space - at);
      const size_t cut = word.find_last_of('/');
      out += cut == std::string::npos ? word : word.substr(cut + 1);
      if (space == std::string::npos) break;
      out += ' ';
      at = space + 1;
    }
    return out;
  }
};

}  // namespace vtest
