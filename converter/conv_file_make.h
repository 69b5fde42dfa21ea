// One conversion run: walks the desktop game's folder and writes the handheld
// data folder below the output folder, on its own worker thread.
//
// Driving it (the dialog, or a test):
//   int bitrates[2] = {bgm, voice}, rates[2] = {bgm44k, voice44k};
//   auto* job = new CConvFileMake(bitrates, rates, bgmStereo, 80);   // or 40
//   copy the folders into m_sourceFolder / m_outputFolder; set m_qualityCode,
//   m_doPictures, m_doMusic, m_doVoices, m_encoder;
//   CThreadCtrl(job).StartChecked();            // throws CCtrlFailed
//   poll DoneCount(), TotalCount(), GetCurrentName(), IsFinished();
//   once IsFinished(): CThreadCtrl(job).WaitChecked(INFINITE), Close(), delete.
// FailureCount() tells how many failures were recorded, TakeFailures() which
// and why; ConvertedCount(), FailedItemCount() and PassedOverCount() what
// became of the items, UnconfirmedFileCount() how many files written the disk
// did not confirm.
#pragma once

#include <windows.h>

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "common/file_failure.h"
#include "common/thread.h"

class CPackWriter;
struct PictureScratch;

// Why something could not be converted.  Each reason has an English text
// (the error stream) and a Japanese one (the dialog's box) in one table.
enum class FailureReason : uint8_t {
  kFolderPathTooLong,
  kFolderUnlistable,
  kFileNameTooLong,
  kEntryNameTooLong,
  kPackWrite,
  kVoicePackWrite,
  kPathTooLong,
  kUnreadable,
  kPicturePackNotCreated,
  kVoicePackNotCreated,
  kVoicePackPathTooLong,
  kPackNotFinished,
  kPackUnconfirmed,
  kChipPicture,
  kNotAPicture,
  kNotScaled,
  kOggRefused,
  kMp3Refused,
  kMp3Missing,
  kOutputPathTooLong,
  kTooShort,
  kNotWritten,
  kCutShortConverted,
  kCutShort,
  kVoiceIndexUnopenable,
  kVoiceIndexDamaged,
  kVoiceNoName,
  kVoiceNameTooLong,
  kVoiceOutside,
  kOutOfMemory,
  kVoiceTableMissing,
  kVoiceDamaged,
  kLaterNotWritten,
};

// One file met by the walk, in the walk's order.
struct SourceFileNode {
  SourceFileNode* prev;
  SourceFileNode* next;
  char folder[2048];        // relative to the source folder, "\" between folders; empty at the top
  char outputSubPath[256];  // always empty in this program
  char fileName[256];
  int32_t flag;  // always 0
};

class CConvFileMake : public CWinThreadMaster {
 public:
  static constexpr int kNameChars = 128;
  static constexpr int kFolderChars = 2048;

  // Something the run could not do: the item (a source path, a pack, a folder
  // that could not be listed; code page 932) and why.
  struct Failure {
    Failure(std::string item_, FailureReason why_, DWORD error_ = 0, std::string detail_ = {})
        : item(std::move(item_)),
          why(why_),
          error(error_),
          detail(std::move(detail_)),
          errorKind(ClassifyFileFailure(nullptr, error_)) {}
    std::string item;
    FailureReason why;
    DWORD error = 0;         // the system's code, for the reasons that name one
    std::string detail;      // a name the reason tells (code page 932)
    int32_t lost = 0;        // a pack not finished: the items written to it
    int32_t notWritten = 0;  // a pack not finished: the items after its first failure
    std::string leftBehind;  // a file of the run that could not be removed (code page 932)
    // Set as it is recorded: the items the failure stands for in the
    // unconverted count (a folder, voice index or empty pack stands for
    // itself, one), or, for a file the disk did not confirm
    // (kPackUnconfirmed), the files it stands for; whether it is a cause (a
    // folder, a pack, the voice index, a stage's later items that met the
    // same full disk) rather than one item's failure; a folded line's stage.
    int32_t items = 1;
    bool cause = false;
    int32_t stage = -1;
    // A file that could not be written: the earlier file of its name stays whole.
    bool earlierKept = false;
    // A folded line: how many of its files kept an earlier one.
    int32_t earlierFilesKept = 0;
    // A file the disk did not confirm (kPackUnconfirmed) that is a folder
    // whose flush failed, standing for the files renamed into it.
    bool folderFlush = false;
    // What the error means: from the code alone, then, as the failure is
    // recorded, with a look at the path it concerns.
    FileFailure errorKind;
  };

  // bitrateIndices and rate44k are {BGM, voice} pairs; scalePercent 40
  // (320 x 240 screen) or 80 (640 x 480).
  CConvFileMake(const int bitrateIndices[2], const int rate44k[2], int bgmStereo, int scalePercent);
  ~CConvFileMake() override;

  DWORD Run() override;

  // Appends a node; returns its 1-based position.
  int AppendSourceFile(const char* folder, const char* fileName, const char* outputSubPath, int flag);
  // The walk below source folder + "\" + folder; returns the files found.
  int CollectSourceFiles(const char* folder, const char* outputSubPath, int flag);
  void FreeSourceList();
  const SourceFileNode* FirstSourceFile() const { return m_first; }

  // The three sound runs, each testing its own do-flag.
  void ConvertBgm();
  void ConvertSoundEffects();
  void ConvertVoicePack();

  // ---- Read by the dialog's timer (any thread) ----
  int32_t DoneCount() const { return m_doneCount.load(std::memory_order_relaxed); }
  int32_t TotalCount() const { return m_totalCount.load(std::memory_order_relaxed); }
  // Failures recorded: one per item, folder or pack named on the error stream.
  int32_t FailureCount() const { return m_failureCount.load(std::memory_order_relaxed); }
  // Items in a file or pack that was finished.
  int32_t ConvertedCount() const { return m_convertedCount.load(std::memory_order_relaxed); }
  // Items that failed, on their own or with the pack that held them.
  int32_t FailedItemCount() const { return m_failedItems.load(std::memory_order_relaxed); }
  // Items that by design give nothing: sounds whose flag means no file,
  // voice index records that are not sounds.
  int32_t PassedOverCount() const { return m_passedOver.load(std::memory_order_relaxed); }
  // Folders that could not be listed: their files were not counted.
  int32_t UnlistedFolderCount() const { return m_unlistedFolders.load(std::memory_order_relaxed); }
  // The failed items, plus each folder, voice index or empty pack that failed
  // without items to count: the number the dialog's box tells.
  int32_t UnconvertedCount() const { return FailedItemCount() + m_uncountedFailures.load(std::memory_order_relaxed); }
  // Files written and renamed into place, their items converted, whose
  // rename the disk did not confirm: a pack counts one, a folder whose flush
  // failed the files renamed into it in that stage.
  int32_t UnconfirmedFileCount() const { return m_unconfirmedFiles.load(std::memory_order_relaxed); }
  // Once finished: why the voices were not counted (English), or empty.
  const std::string& VoicesNotCounted() const { return m_voicesNotCounted; }
  // The failures recorded since the last call, in the order they happened.
  std::vector<Failure> TakeFailures();
  // Published last: once it reads true every other field is final.
  bool IsFinished() const { return m_finished.load(std::memory_order_acquire) != 0; }
  // Copies the current item's name (terminated, cut to capacity).
  void GetCurrentName(char* out, size_t capacity) const;

  // The run's stages, in the order it takes them.  A stage begins when its
  // items are known: the picture pack's entries, the music tracks and sound
  // effects found, the voice index's records; a stage turned off never begins.
  enum Stage { kPictureStage, kMusicStage, kEffectStage, kVoiceStage, kStages };
  struct StageProgress {
    bool begun = false;
    int32_t items = 0;  // what the stage has to handle
    int32_t done = 0;   // handled so far, at most items
  };
  std::array<StageProgress, kStages> Stages() const;

  // ---- Used by the run's steps (worker thread) ----
  void SetCurrentName(const char* name);
  void AddTotal(int32_t n) { m_totalCount.fetch_add(n, std::memory_order_relaxed); }
  void AddDone() { m_doneCount.fetch_add(1, std::memory_order_relaxed); }
  // Records a failure that is not one item's (a folder, a pack, the voice
  // index); `items` are the items it takes with it, counted as failed (the
  // failure's notWritten ones are counted already).
  void AddFailure(const Failure& failure, int32_t items = 0);
  // Records that the disk did not confirm `files` files written and renamed
  // into place (a pack, or the files renamed into a folder): told as
  // kPackUnconfirmed, a failure of the run, but not among the data not
  // converted.
  void AddUnconfirmed(const std::string& path, DWORD error, int32_t files, bool folder);
  // Records an item that could not be converted.  Within a stage, the items
  // after the first whose write a cause of the folder or the disk stops (the
  // folder missing, refused or shadowed by a file, the disk read-only or
  // full, the file-size limit) are only counted, and told together, one line
  // per cause, when the stage ends.
  void FailItem(const std::string& item, FailureReason why, DWORD error = 0, const std::string& detail = {},
                const std::string& leftBehind = {});
  // The same for a failure that carries more (a file whose earlier one stays).
  void FailItem(Failure f);
  void AddConverted(int32_t n = 1) { m_convertedCount.fetch_add(n, std::memory_order_relaxed); }
  void AddFailedItems(int32_t n) { m_failedItems.fetch_add(n, std::memory_order_relaxed); }
  void AddPassedOver(int32_t n = 1) { m_passedOver.fetch_add(n, std::memory_order_relaxed); }
  // Stores a converted item as the pack's next entry: it counts as converted
  // once the pack is finished.  A refused entry is a failure of the item,
  // named unless the pack was already lost (the pack's line counts those).
  // reason: what a failed write is called.
  void StoreEntry(CPackWriter& pack, const char* entryName, const BYTE* data, DWORD length, BOOL compress,
                  const std::string& item, FailureReason writeReason = FailureReason::kPackWrite);
  // An item of a pack already lost: not converted, counted with the pack.
  void SkipLostEntry();
  // Starts the counts of a pack's entries.
  void BeginPackTally() { m_packTally = PackTally{}; }
  // Finishes the pack: its stored entries become converted, or, when it
  // cannot be finished, failed with the pack, which is named once.  A pack
  // in place whose rename the disk did not confirm is named too.
  void FinishPack(CPackWriter& pack, const std::string& packPath);
  // The stage starts now with this many items; each counts in the done
  // count as it is handled.  A stage still going on is ended first.
  void BeginStage(Stage stage, int32_t items);
  // The stage has ended: for each cause of the folder or the disk, the items
  // after the first one it stopped are told in one line.
  void EndStage();
  // source folder + "\" + folder + "\" (when folder is not empty) + name;
  // false when it does not fit.
  bool SourcePath(char* out, size_t capacity, const char* folder, const char* name) const;
  // folder + "\" (when not empty) + file name; false when it does not fit.
  static bool EntryName(char* out, size_t capacity, const SourceFileNode& node);
  // output folder + tail; false when it does not fit.
  bool OutputPath(char* out, size_t capacity, const char* tail) const;

  // ---- Settings: filled by the dialog before the start ----
  int32_t m_scalePercent;
  char m_sourceFolder[kFolderChars];
  char m_outputFolder[kFolderChars];
  int32_t m_bitrateIndex[2];  // BGM (also effects), voice
  int32_t m_rate44k[2];       // BGM, voice: 0 = 22050 Hz, else 44100 Hz
  int32_t m_stereo[2];        // BGM: 1 = stereo; voice: always 0
  int32_t m_pictureCount;     // pictures and maps found, plus one for "chip.rbp"
  int32_t m_scriptCount;      // ".mes" files found
  int32_t m_qualityCode;      // 0 = no JBP1; 1..4 = the dialog's quality choice + 1
  int32_t m_doPictures;
  int32_t m_doMusic;  // music and sound effects
  int32_t m_doVoices;
  int32_t m_encoder;  // 0 = MP3 (gogo.dll), 1 = Ogg Vorbis (oggenc.dll)

 private:
  enum class Item { None, Picture, Script };
  static Item Classify(const char* fileName);

  void WritePicturePack();
  void WriteChipEntry(CPackWriter& pack);
  // scratch: the picture road's working memory, kept by the pack's run.
  void ConvertPicture(CPackWriter& pack, const SourceFileNode& node, PictureScratch& scratch);
  void ConvertScript(CPackWriter& pack, const SourceFileNode& node);
  // Records an item that could not be converted: an empty entry keeps its
  // place in the directory.
  void FailEntry(CPackWriter& pack, const char* entryName, const std::string& item, FailureReason why, DWORD error = 0,
                 const std::string& detail = {});
  // Adds the failure to the list and the counts: `items` failed items go
  // with it; `cause` as in Failure.
  void Record(Failure failure, int32_t items, bool cause);
  // Adds a failure to the list the dialog and the run take.
  void Push(Failure failure);

  // What became of the entries of the pack being written.
  struct PackTally {
    int32_t stored = 0;      // written: converted once the pack is finished
    int32_t notWritten = 0;  // not written because the pack was already lost
  };
  PackTally m_packTally;

  // Which object a folder is (volume and file index), to notice a folder
  // reached again through a link.
  struct FolderId {
    DWORD volume;
    uint64_t index;
    bool operator==(const FolderId&) const = default;
  };
  bool FolderIdentity(const char* folder, FolderId* id) const;
  // The folder (below the source folder) is the source folder or inside it.
  bool LeadsIntoSource(const char* folder) const;
  std::vector<FolderId> m_walkStack;  // the folders being walked, outermost first

  SourceFileNode* m_first = nullptr;
  SourceFileNode* m_last = nullptr;
  int m_nodeCount = 0;

  mutable std::mutex m_nameLock;
  char m_currentName[kNameChars];

  std::atomic<int32_t> m_finished{0};
  std::atomic<int32_t> m_doneCount{0};
  std::atomic<int32_t> m_totalCount{0};
  std::atomic<int32_t> m_failureCount{0};
  std::atomic<int32_t> m_convertedCount{0};
  std::atomic<int32_t> m_failedItems{0};
  std::atomic<int32_t> m_passedOver{0};
  std::atomic<int32_t> m_unlistedFolders{0};
  std::atomic<int32_t> m_uncountedFailures{0};
  std::atomic<int32_t> m_unconfirmedFiles{0};
  std::string m_voicesNotCounted;
  std::mutex m_failureLock;
  std::vector<Failure> m_failures;

  // Failures of a stage's writes for one cause of the folder or the disk:
  // the first is named; the later ones wait in `later` for the stage's end.
  struct Fold {
    explicit Fold(FileFailure kind_) : kind(kind_) {}
    FileFailure kind;
    std::optional<Failure> later;  // the first of the later ones, as it was recorded
    int32_t laterCount = 0;
    int32_t earlierKept = 0;  // later ones whose earlier file stayed whole
  };
  int m_stage = -1;           // the stage going on, -1 between stages
  std::vector<Fold> m_folds;  // the stage's causes, in the order they were first met

  mutable std::mutex m_stageLock;
  std::array<bool, kStages> m_stageBegun{};
  std::array<int32_t, kStages> m_stageItems{};
  std::array<int32_t, kStages> m_stageFirstDone{};  // the done count when the stage began
};

// Why a file function failed, in words, from its GetLastError code and,
// where the code leaves it open, a look at the path it was given.
std::string ErrorReason(DWORD error, const char* path = nullptr);
// A path of the run (code page 932, '\' or '/' between folders) as a terminal
// shows it: UTF-8, '/' between folders.
std::string ShownPath(const std::string& path);
// Why, in English, as a terminal shows it.
std::string FailureReasonText(const CConvFileMake::Failure& failure);
// "<item>: <reason>" as a terminal shows it.
std::string FailureText(const CConvFileMake::Failure& failure);
// "<item>: <reason>" in Japanese (Shift-JIS) for the dialog's box, paths
// relative to the game folder (or, for what the run writes, to the output
// folder).
std::string FailureBoxLine(const CConvFileMake::Failure& failure, const char* gameFolder, const char* outputFolder);
// The dialog's failure box (Shift-JIS) for a run's failures, empty when there
// are none: a line with the items not converted when there are some, a line
// with the files the disk did not confirm when there are some, then the
// first ten failures (the causes first, then single items) and a last line
// that counts what the rest stand for, items and files apart, so that every
// count adds up to its first line's.
std::string FailureBox(std::vector<CConvFileMake::Failure> failures, const char* gameFolder, const char* outputFolder);
// The run's summary: "C of T items converted, F failed[, P passed over][, U
// files not confirmed by the disk]", T the run's total count (C + F + P = T),
// and what the counts leave out (folders not listed, voices not counted) with
// why.
std::string RunSummary(const CConvFileMake& job);
