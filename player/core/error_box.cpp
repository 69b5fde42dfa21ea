#include "player/core/error_box.h"

#include <cstdio>
#include <vector>

#include "common/format.h"
#include "common/sjis.h"
#include "player/core/display.h"
#include "player/core/texts.h"

namespace {

enum class WriteFailure { kDiskFull, kNoPermission, kNoFolder, kOther };

WriteFailure Classify(DWORD error) {
  switch (error) {
    case ERROR_DISK_FULL:
      return WriteFailure::kDiskFull;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
      return WriteFailure::kNoPermission;
    case ERROR_PATH_NOT_FOUND:
      return WriteFailure::kNoFolder;
    default:
      return WriteFailure::kOther;
  }
}

// The reason of a failed write as the box tells it, in Shift-JIS.
void AppendWriteFailureReason(char* out, size_t capacity, DWORD error) {
  switch (Classify(error)) {
    case WriteFailure::kDiskFull:
      AppendText(out, capacity, kTextReasonDiskFull);
      return;
    case WriteFailure::kNoPermission:
      AppendText(out, capacity, kTextReasonNoPermission);
      return;
    case WriteFailure::kNoFolder:
      AppendText(out, capacity, kTextReasonNoFolder);
      return;
    case WriteFailure::kOther: {
      char number[16];
      FormatString(number, "%u", unsigned(error));
      AppendText(out, capacity, kTextReasonOther);
      AppendText(out, capacity, number);
      return;
    }
  }
}

}  // namespace

void AppendText(char* out, size_t capacity, const char* text) {
  const size_t used = StrLength(out);
  if (used + 1 >= capacity) return;
  // SjisCopyField zero-fills the rest of the field; only the text is wanted.
  SjisCopyField(out + used, capacity - used, text, StrLength(text));
}

void ShowErrorBox(const char* text) {
  static const WCHAR caption[] = u"Error";
  const int units = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
  std::vector<WCHAR> wide(units > 0 ? size_t(units) : 1, 0);
  if (units <= 0 || MultiByteToWideChar(CP_ACP, 0, text, -1, wide.data(), units) <= 0) wide[0] = 0;
  MessageBoxW(nullptr, wide.data(), caption, 0);
}

void PrintWriteFailure(const char* what, const char* path, DWORD error) {
  static const char* const kReasons[] = {"disk full", "no permission", "folder not found"};
  const WriteFailure kind = Classify(error);
  if (kind != WriteFailure::kOther)
    std::fprintf(stderr, "%s could not be written: %s: %s\n", what, path, kReasons[int(kind)]);
  else
    std::fprintf(stderr, "%s could not be written: %s: error %u\n", what, path, unsigned(error));
}

void ShowWriteFailureBox(const char* headline, const char* path, DWORD error) {
  char text[1536] = "";
  AppendText(text, sizeof text, headline);
  AppendText(text, sizeof text, "\n");
  AppendText(text, sizeof text, path);
  AppendText(text, sizeof text, "\n");
  AppendWriteFailureReason(text, sizeof text, error);
  ShowErrorBox(text);
}

void ShowDamagedEntryBox(const char* entryName, const char* packPath) {
  char text[2560] = "";
  auto add = [&](const char* part) { AppendText(text, sizeof text, part); };
  add(kTextDataDamaged);
  add("\n");
  add(kTextDamagedEntryLabel);
  add(entryName);
  add("\n");
  add(kTextDamagedPackLabel);
  add(packPath);
  add("\n");
  // The pack of this build is made for its screen: grpack.mlz for 320x240,
  // grpack_v.mlz for 640x480.
  add(kTextDamagedRemakeBefore);
  add(GetScreenWidth() < 640 ? "320x240" : "640x480");
  add(kTextDamagedRemakeAfter);
  ShowErrorBox(text);
}
