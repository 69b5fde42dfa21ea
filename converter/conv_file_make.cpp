#include "converter/conv_file_make.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <utility>

#include "common/file.h"
#include "common/sjis.h"
#include "converter/pack_writer.h"
#include "converter/pictures/picture_scratch.h"

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

std::string ShownPath(const std::string& path) {
  std::string utf8;
  const int wide = MultiByteToWideChar(932, 0, path.data(), int(path.size()), nullptr, 0);
  if (wide > 0) {
    std::vector<WCHAR> w(size_t(wide) + 1);
    MultiByteToWideChar(932, 0, path.data(), int(path.size()), w.data(), wide);
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, w.data(), wide, nullptr, 0, nullptr, nullptr);
    if (bytes > 0) {
      utf8.resize(size_t(bytes));
      WideCharToMultiByte(CP_UTF8, 0, w.data(), wide, utf8.data(), bytes, nullptr, nullptr);
    }
  }
  if (utf8.empty()) utf8 = path;  // not code page 932: shown as it is
  // UTF-8 has no byte 0x5C inside a character: every '\' separates.
  std::string shown;
  for (char c : utf8) {
    if (c == '\\' || c == '/') {
      if (!shown.empty() && shown.back() == '/') continue;  // "a\\b" (an empty folder part) is "a/b"
      shown += '/';
    } else {
      shown += c;
    }
  }
  return shown;
}

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

void CConvFileMake::Record(Failure failure, int32_t items, bool cause) {
  // A failure that takes no counted item with it is counted on its own.
  if (items > 0) {
    AddFailedItems(items);
  } else if (failure.notWritten == 0) {
    m_uncountedFailures.fetch_add(1, std::memory_order_relaxed);
  }
  failure.items = std::max(items + failure.notWritten, 1);
  failure.cause = cause;
  Push(std::move(failure));
}

void CConvFileMake::Push(Failure failure) {
  {
    std::lock_guard<std::mutex> lock(m_failureLock);
    m_failures.push_back(std::move(failure));
  }
  m_failureCount.fetch_add(1, std::memory_order_relaxed);
}

namespace {

// The file a failed write concerns: the file not written, or the pack not
// created or finished.  None for a write to a pack, which the failure does
// not name, and none for a read: what stands at a path looked at for a
// write (a folder at a file's name) says nothing of why a read failed.
const char* ErrorPath(const CConvFileMake::Failure& f) {
  switch (f.why) {
    case FailureReason::kNotWritten:
      return f.detail.c_str();
    case FailureReason::kPicturePackNotCreated:
    case FailureReason::kVoicePackNotCreated:
    case FailureReason::kPackNotFinished:
      return f.item.c_str();
    default:
      return nullptr;
  }
}

// The error's meaning, with a look at its path as it is now, just after the
// failure.
void LookAtError(CConvFileMake::Failure& f) {
  if (f.error != 0) f.errorKind = ClassifyFileFailure(ErrorPath(f), f.error);
}

bool IsWrite(FailureReason why) {
  return why == FailureReason::kNotWritten || why == FailureReason::kPackWrite || why == FailureReason::kVoicePackWrite;
}

}  // namespace

void CConvFileMake::AddFailure(const Failure& failure, int32_t items) {
  Failure f = failure;
  LookAtError(f);
  Record(std::move(f), items, true);
}

void CConvFileMake::AddUnconfirmed(const std::string& path, DWORD error, int32_t files, bool folder) {
  // Its items are converted: the failure counts files, apart from the data
  // not converted.
  Failure f{path, FailureReason::kPackUnconfirmed, error};
  f.items = std::max(files, 1);
  f.cause = true;
  f.folderFlush = folder;
  m_unconfirmedFiles.fetch_add(f.items, std::memory_order_relaxed);
  Push(std::move(f));
}

void CConvFileMake::FailItem(const std::string& item, FailureReason why, DWORD error, const std::string& detail,
                             const std::string& leftBehind) {
  Failure f{item, why, error, detail};
  f.leftBehind = leftBehind;
  FailItem(std::move(f));
}

void CConvFileMake::FailItem(Failure f) {
  LookAtError(f);
  // A cause of the folder or the disk stops every later write of the stage
  // there: the first is named, the others told in one line per cause at the
  // stage's end.  A cause of the one file (a folder or a read-only file at
  // its name) is named with each file, and so is a file left behind.
  if (m_stage >= 0 && IsWrite(f.why) && f.error != 0 && f.leftBehind.empty() && IsFolderOrDiskCause(f.errorKind)) {
    auto fold = std::find_if(m_folds.begin(), m_folds.end(), [&](const Fold& x) { return x.kind == f.errorKind; });
    if (fold == m_folds.end()) {
      m_folds.emplace_back(f.errorKind);
    } else {
      if (f.earlierKept) ++fold->earlierKept;
      if (!fold->later) fold->later = std::move(f);
      ++fold->laterCount;
      AddFailedItems(1);
      return;
    }
  }
  Record(std::move(f), 1, false);
}

void CConvFileMake::EndStage() {
  for (Fold& fold : m_folds) {
    if (fold.laterCount == 0) continue;
    // Its items were counted one by one.  A single one keeps its own line;
    // more are told from the first of them, by the file that was not
    // written where the reason names one.
    Failure line = std::move(*fold.later);
    if (fold.laterCount > 1) {
      const FileFailure kind = line.errorKind;
      line = Failure{line.detail.empty() ? line.item : line.detail, FailureReason::kLaterNotWritten, line.error};
      line.errorKind = kind;
      line.items = fold.laterCount;
      line.cause = true;
      line.stage = m_stage;
      line.earlierFilesKept = fold.earlierKept;
    }
    Push(std::move(line));
  }
  m_folds.clear();
  m_stage = -1;
}

std::vector<CConvFileMake::Failure> CConvFileMake::TakeFailures() {
  std::lock_guard<std::mutex> lock(m_failureLock);
  return std::exchange(m_failures, {});
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

void CConvFileMake::BeginStage(Stage stage, int32_t items) {
  if (m_stage >= 0) EndStage();
  m_stage = stage;
  std::lock_guard<std::mutex> lock(m_stageLock);
  m_stageBegun[stage] = true;
  m_stageItems[stage] = items;
  m_stageFirstDone[stage] = DoneCount();
}

std::array<CConvFileMake::StageProgress, CConvFileMake::kStages> CConvFileMake::Stages() const {
  std::array<StageProgress, kStages> stages;
  std::lock_guard<std::mutex> lock(m_stageLock);
  // The stages run one after the other: a stage has ended where the next
  // began, and the last one begun is going on.
  int32_t end = DoneCount();
  for (int s = kStages - 1; s >= 0; --s) {
    if (!m_stageBegun[s]) continue;
    stages[s].begun = true;
    stages[s].items = m_stageItems[s];
    stages[s].done = std::clamp(end - m_stageFirstDone[s], 0, m_stageItems[s]);
    end = m_stageFirstDone[s];
  }
  return stages;
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
  const std::string here = std::string(m_sourceFolder) + "\\" + folder;
  if (!Join(pattern, sizeof pattern, {m_sourceFolder, "\\", folder, "\\*.*"})) {
    // A folder too deep to name is not walked.
    m_unlistedFolders.fetch_add(1, std::memory_order_relaxed);
    AddFailure(Failure{here, FailureReason::kFolderPathTooLong});
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
    m_unlistedFolders.fetch_add(1, std::memory_order_relaxed);
    AddFailure(Failure{here, FailureReason::kFolderUnlistable, GetLastError()});
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
        m_unlistedFolders.fetch_add(1, std::memory_order_relaxed);
        AddFailure(Failure{here + "\\" + name, FailureReason::kFolderPathTooLong});
        continue;
      }
      // A link to a folder of the game itself is passed over: that folder is
      // walked under its own name, and a link back up would walk for ever.
      if ((data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) && LeadsIntoSource(sub)) continue;
      found += CollectSourceFiles(sub, outputSubPath, flag);
      continue;
    }
    if (std::strlen(name) >= sizeof(SourceFileNode::fileName)) {
      // A name the list cannot hold is never converted: an item of the
      // run's total, handled and failed.
      AddTotal(1);
      AddDone();
      FailItem(here + "\\" + name, FailureReason::kFileNameTooLong);
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

void CConvFileMake::FailEntry(CPackWriter& pack, const char* entryName, const std::string& item, FailureReason why,
                              DWORD error, const std::string& detail) {
  static const BYTE kNothing[1] = {0};
  pack.AddEntry(entryName, kNothing, 0, FALSE);
  FailItem(item, why, error, detail);
}

void CConvFileMake::StoreEntry(CPackWriter& pack, const char* entryName, const BYTE* data, DWORD length, BOOL compress,
                               const std::string& item, FailureReason writeReason) {
  const bool lostBefore = pack.Failed() != FALSE;
  if (pack.AddEntry(entryName, data, length, compress)) {
    ++m_packTally.stored;
  } else if (std::strlen(entryName) > 63) {
    FailItem(item, FailureReason::kEntryNameTooLong, 0, entryName);
  } else if (lostBefore) {
    SkipLostEntry();
  } else {
    FailItem(item, writeReason, pack.Failed() ? pack.Error() : GetLastError());
  }
}

void CConvFileMake::SkipLostEntry() {
  ++m_packTally.notWritten;
  AddFailedItems(1);
}

void CConvFileMake::FinishPack(CPackWriter& pack, const std::string& packPath) {
  if (pack.Finish()) {
    AddConverted(m_packTally.stored);
    // In place, its items converted; the disk's silence is told all the same.
    if (pack.Unconfirmed() != 0) AddUnconfirmed(packPath, pack.Unconfirmed(), 1, false);
    return;
  }
  Failure f{packPath, FailureReason::kPackNotFinished, pack.Error() != 0 ? pack.Error() : GetLastError()};
  f.lost = m_packTally.stored;
  f.notWritten = m_packTally.notWritten;
  f.leftBehind = pack.LeftBehind();
  // The entries not written were counted as they came; the written ones
  // are lost with the pack.
  AddFailure(f, m_packTally.stored);
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
  const DWORD readError = GetLastError();
  const std::string item = named ? std::string(path) : std::string(m_sourceFolder) + "\\" + entryName;
  // An empty file may come back as no buffer; only a real failure counts.
  if (!named) {
    FailEntry(pack, entryName, item, FailureReason::kPathTooLong);
  } else if (!bytes && GetFileSizeByName(path) != 0) {
    FailEntry(pack, entryName, item, FailureReason::kUnreadable, readError);
  } else {
    // A name too long for the directory (its slot stays empty) or a write failure.
    StoreEntry(pack, entryName, bytes, bytes ? size : 0, TRUE, item);
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
  AddTotal(entries);
  BeginStage(kPictureStage, entries);
  BeginPackTally();
  if (!pack.Begin(packPath, static_cast<DWORD>(entries))) {
    // Nothing can be written: every item counts as handled and failed.
    Failure f{packPath, FailureReason::kPicturePackNotCreated, pack.Error()};
    f.leftBehind = pack.LeftBehind();
    AddFailure(f, entries);
    m_doneCount.fetch_add(entries, std::memory_order_relaxed);
    return;
  }
  WriteChipEntry(pack);
  auto scratch = std::make_unique<PictureScratch>();
  for (const SourceFileNode* n = m_first; n; n = n->next) {
    const Item kind = Classify(n->fileName);
    if (kind != Item::None && pack.Failed()) {
      // The pack is lost: its later items are not converted, only counted.
      SetCurrentName(n->fileName);
      SkipLostEntry();
      AddDone();
      continue;
    }
    switch (kind) {
      case Item::Picture:
        ConvertPicture(pack, *n, *scratch);
        break;
      case Item::Script:
        ConvertScript(pack, *n);
        break;
      case Item::None:
        break;
    }
  }
  FinishPack(pack, packPath);
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

  // Each stage ends as its step returns: what it folded is told before the
  // next stage begins.
  if (m_doPictures) WritePicturePack();
  EndStage();
  ConvertBgm();
  EndStage();
  ConvertSoundEffects();
  EndStage();
  ConvertVoicePack();
  EndStage();

  m_finished.store(1, std::memory_order_release);
  return 0;
}
