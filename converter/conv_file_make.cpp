#include "converter/conv_file_make.h"

#include <algorithm>
#include <cstring>

#include "common/file.h"
#include "common/sjis.h"
#include "converter/pack_writer.h"

namespace {

// Bounded concatenation: appends every text to out; false (out cut at the
// last whole text) when the result does not fit capacity with its terminator.
bool Join(char* out, size_t capacity, std::initializer_list<const char*> parts) {
  if (capacity == 0) return false;
  size_t used = 0;
  out[0] = '\0';
  for (const char* part : parts) {
    const size_t n = std::strlen(part);
    if (used + n + 1 > capacity) {
      out[used] = '\0';
      return false;
    }
    std::memcpy(out + used, part, n);
    used += n;
  }
  out[used] = '\0';
  return true;
}

}  // namespace

CConvFileMake::CConvFileMake(const int bitrateIndices[2], const int rate44k[2], int bgmStereo, int scalePercent)
    : m_scalePercent(scalePercent),
      m_sourceFolder{},
      m_outputFolder{},
      m_bitrateIndex{bitrateIndices[0], bitrateIndices[1]},
      m_rate44k{rate44k[0], rate44k[1]},
      m_stereo{bgmStereo, 0},
      m_pictureCount(0),
      m_scriptCount(0),
      m_qualityCode(0),
      m_doPictures(1),
      m_doMusic(1),
      m_doVoices(1),
      m_encoder(0),
      m_currentName{} {}

CConvFileMake::~CConvFileMake() { FreeSourceList(); }

void CConvFileMake::FreeSourceList() {
  SourceFileNode* node = m_first;
  while (node) {
    SourceFileNode* next = node->next;
    delete node;
    node = next;
  }
  m_first = m_last = nullptr;
  m_nodeCount = 0;
}

void CConvFileMake::SetCurrentName(const char* name) {
  std::lock_guard<std::mutex> lock(m_nameLock);
  // Cut at a character boundary so the name stays valid Shift-JIS.
  size_t n = 0;
  while (name[n] && n < kNameChars - 1) {
    const size_t step = IsSjisLeadByte(static_cast<unsigned char>(name[n])) && name[n + 1] ? 2 : 1;
    if (n + step > kNameChars - 1) break;
    n += step;
  }
  std::memcpy(m_currentName, name, n);
  m_currentName[n] = '\0';
}

void CConvFileMake::GetCurrentName(char* out, size_t capacity) const {
  if (!out || capacity == 0) return;
  std::lock_guard<std::mutex> lock(m_nameLock);
  const size_t n = std::min(std::strlen(m_currentName), capacity - 1);
  std::memcpy(out, m_currentName, n);
  out[n] = '\0';
}

bool CConvFileMake::SourcePath(char* out, size_t capacity, const char* folder, const char* name) const {
  if (folder[0]) return Join(out, capacity, {m_sourceFolder, "\\", folder, "\\", name});
  return Join(out, capacity, {m_sourceFolder, "\\", name});
}

bool CConvFileMake::EntryName(char* out, size_t capacity, const SourceFileNode& node) {
  if (node.folder[0]) return Join(out, capacity, {node.folder, "\\", node.fileName});
  return Join(out, capacity, {node.fileName});
}

bool CConvFileMake::OutputPath(char* out, size_t capacity, const char* tail) const {
  return Join(out, capacity, {m_outputFolder, tail});
}

int CConvFileMake::AppendSourceFile(const char* folder, const char* fileName, const char* outputSubPath, int flag) {
  auto* node = new SourceFileNode{};
  Join(node->folder, sizeof node->folder, {folder});
  Join(node->fileName, sizeof node->fileName, {fileName});
  Join(node->outputSubPath, sizeof node->outputSubPath, {outputSubPath});
  node->flag = flag;
  node->prev = m_last;
  node->next = nullptr;
  if (m_last) {
    m_last->next = node;
  } else {
    m_first = node;
  }
  m_last = node;
  return ++m_nodeCount;
}

CConvFileMake::Item CConvFileMake::Classify(const char* fileName) {
  const char* ext = SjisFindLastChar(fileName, '.');
  if (!ext) return Item::None;
  if (SjisEqual(ext, ".zev")) return SjisEqual(fileName, "startup.ZEV") ? Item::None : Item::Picture;
  if (SjisEqual(ext, ".mes") || SjisEqual(ext, ".MAP")) return Item::Script;
  return Item::None;
}

bool CConvFileMake::FolderIdentity(const char* folder, FolderId* id) const {
  char path[kFolderChars + 8];
  if (!Join(path, sizeof path, {m_sourceFolder, "\\", folder})) return false;
  HANDLE h = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                         FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION info;
  const bool ok = GetFileInformationByHandle(h, &info) != FALSE;
  CloseHandle(h);
  if (ok) *id = FolderId{info.dwVolumeSerialNumber, uint64_t(info.nFileIndexHigh) << 32 | info.nFileIndexLow};
  return ok;
}

bool CConvFileMake::LeadsIntoSource(const char* folder) const {
  if (m_walkStack.empty()) return false;
  const FolderId root = m_walkStack.front();
  // Climb from the link's target through "..", which the file system takes
  // physically (the parent of the target, not of the link), until the top.
  char path[kFolderChars];
  if (!Join(path, sizeof path, {folder})) return false;
  FolderId id{}, previous{};
  for (int depth = 0; depth < 256 && FolderIdentity(path, &id); ++depth) {
    if (id == root) return true;
    if (depth > 0 && id == previous) break;  // the top: ".." is itself
    previous = id;
    char up[kFolderChars];
    if (!Join(up, sizeof up, {path, "\\.."})) break;
    std::memcpy(path, up, sizeof path);
  }
  return false;
}

int CConvFileMake::CollectSourceFiles(const char* folder, const char* outputSubPath, int flag) {
  // With an empty folder the pattern holds "\\", which the file system takes.
  char pattern[kFolderChars + 8];
  if (!Join(pattern, sizeof pattern, {m_sourceFolder, "\\", folder, "\\*.*"})) {
    AddFailure();  // a folder too deep to name is not walked
    return 0;
  }
  // A folder reached again through a link (a link back into the walk) is not
  // walked twice: everything in it is already on the list or about to be.
  FolderId id{};
  const bool known = FolderIdentity(folder, &id);
  if (known && std::find(m_walkStack.begin(), m_walkStack.end(), id) != m_walkStack.end()) return 0;
  WIN32_FIND_DATAA data;
  HANDLE find = FindFirstFileA(pattern, &data);
  if (find == INVALID_HANDLE_VALUE) {
    // A folder always lists "." and "..": it could not be read at all.
    AddFailure();
    return 0;
  }
  if (known) m_walkStack.push_back(id);
  int found = 0;
  do {
    const char* name = data.cFileName;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      if (name[0] == '.') continue;
      char sub[kFolderChars];
      const bool fits = folder[0] ? Join(sub, sizeof sub, {folder, "\\", name}) : Join(sub, sizeof sub, {name});
      if (!fits) {
        AddFailure();
        continue;
      }
      // A link to a folder of the game itself is passed over: that folder is
      // walked under its own name, and a link back up would walk for ever.
      if ((data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) && LeadsIntoSource(sub)) continue;
      found += CollectSourceFiles(sub, outputSubPath, flag);
      continue;
    }
    if (std::strlen(name) >= sizeof(SourceFileNode::fileName)) {
      AddFailure();  // a name the list cannot hold is never converted
      continue;
    }
    AppendSourceFile(folder, name, outputSubPath, flag);
    ++found;
    const char* ext = SjisFindLastChar(name, '.');
    if (!ext) continue;
    if (SjisEqual(ext, ".zev")) {
      if (!SjisEqual(name, "startup.ZEV")) ++m_pictureCount;
    } else if (SjisEqual(ext, ".MAP")) {
      ++m_pictureCount;
    } else if (SjisEqual(ext, ".mes")) {
      ++m_scriptCount;
    }
  } while (FindNextFileA(find, &data));
  FindClose(find);
  if (known) m_walkStack.pop_back();
  return found;
}

void CConvFileMake::FailEntry(CPackWriter& pack, const char* entryName) {
  static const BYTE kNothing[1] = {0};
  pack.AddEntry(entryName, kNothing, 0, FALSE);
  AddFailure();
}

void CConvFileMake::ConvertScript(CPackWriter& pack, const SourceFileNode& node) {
  SetCurrentName(node.fileName);
  char entryName[kFolderChars + 256];
  EntryName(entryName, sizeof entryName, node);
  char path[kFolderChars * 2 + 256];
  DWORD size = 0;
  BYTE* bytes = nullptr;
  const bool named = SourcePath(path, sizeof path, node.folder, node.fileName);
  if (named) bytes = ReadWholeFile(path, &size, 0);
  // An empty file may come back as no buffer; only a real failure counts.
  if (!named || (!bytes && GetFileSizeByName(path) != 0)) {
    FailEntry(pack, entryName);
  } else if (!pack.AddEntry(entryName, bytes, bytes ? size : 0, TRUE)) {
    // A name too long for the directory (its slot stays empty) or a write failure.
    AddFailure();
  }
  if (bytes) LocalFree(bytes);
  AddDone();
}

void CConvFileMake::WritePicturePack() {
  char packPath[kFolderChars + 32];
  OutputPath(packPath, sizeof packPath, m_scalePercent == 80 ? "\\data\\grpack_v.mlz" : "\\data\\grpack.mlz");

  // The directory holds exactly what the loop below writes: "chip.rbp" and
  // one entry per listed picture, script and map.
  int entries = 1;
  for (const SourceFileNode* n = m_first; n; n = n->next) entries += Classify(n->fileName) != Item::None;

  CPackWriter pack;
  m_totalCount.store(entries, std::memory_order_relaxed);
  m_doneCount.store(0, std::memory_order_relaxed);
  if (!pack.Begin(packPath, static_cast<DWORD>(entries))) {
    // Nothing can be written: every item counts as handled, the pack as failed.
    AddFailure();
    m_doneCount.store(entries, std::memory_order_relaxed);
    return;
  }
  WriteChipEntry(pack);
  for (const SourceFileNode* n = m_first; n; n = n->next) {
    switch (Classify(n->fileName)) {
      case Item::Picture:
        ConvertPicture(pack, *n);
        break;
      case Item::Script:
        ConvertScript(pack, *n);
        break;
      case Item::None:
        break;
    }
  }
  if (!pack.Finish()) AddFailure();
}

DWORD CConvFileMake::Run() {
  if (IsFinished()) return 0;
  static const char* const kFolders[] = {"\\data", "\\data\\bgm", "\\data\\se"};
  for (const char* tail : kFolders) {
    char path[kFolderChars + 16];
    if (OutputPath(path, sizeof path, tail) && !FileExists(path)) CreateDirectoryA(path, nullptr);
  }
  m_pictureCount = 0;
  m_scriptCount = 0;
  FreeSourceList();
  m_walkStack.clear();
  CollectSourceFiles("", "", 0);
  ++m_pictureCount;  // "chip.rbp"

  if (m_doPictures) WritePicturePack();

  ConvertBgm();
  ConvertSoundEffects();
  ConvertVoicePack();

  m_finished.store(1, std::memory_order_release);
  return 0;
}
