#include "player/core/error_box.h"

#include <cstdio>
#include <vector>

#include "common/format.h"
#include "common/sjis.h"
#include "player/core/texts.h"

namespace {

// Appends text to out (capacity bytes), cut at a whole character.
void Append(char* out, size_t capacity, const char* text) {
  const size_t used = StrLength(out);
  if (used + 1 >= capacity) return;
  const size_t room = capacity - used;
  // SjisCopyField zero-fills the rest of the field; only the text is wanted.
  SjisCopyField(out + used, room, text, StrLength(text));
}

}  // namespace

void ShowErrorBox(const char* text) {
  static const WCHAR caption[] = u"Error";
  const int units = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
  std::vector<WCHAR> wide(units > 0 ? size_t(units) : 1, 0);
  if (units <= 0 || MultiByteToWideChar(CP_ACP, 0, text, -1, wide.data(), units) <= 0) wide[0] = 0;
  MessageBoxW(nullptr, wide.data(), caption, 0);
}

void AppendWriteFailureReason(char* out, size_t capacity, DWORD error) {
  switch (error) {
    case ERROR_DISK_FULL:
      Append(out, capacity, kTextReasonDiskFull);
      return;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
      Append(out, capacity, kTextReasonNoPermission);
      return;
    case ERROR_PATH_NOT_FOUND:
      Append(out, capacity, kTextReasonNoFolder);
      return;
    default: {
      char number[16];
      FormatString(number, "%u", unsigned(error));
      Append(out, capacity, kTextReasonOther);
      Append(out, capacity, number);
      return;
    }
  }
}

void PrintWriteFailure(const char* what, const char* path, DWORD error) {
  const char* reason;
  switch (error) {
    case ERROR_DISK_FULL:
      reason = "disk full";
      break;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
      reason = "no permission";
      break;
    case ERROR_PATH_NOT_FOUND:
      reason = "folder not found";
      break;
    default:
      reason = nullptr;
      break;
  }
  if (reason)
    std::fprintf(stderr, "%s could not be written: %s: %s\n", what, path, reason);
  else
    std::fprintf(stderr, "%s could not be written: %s: error %u\n", what, path, unsigned(error));
}

void ShowWriteFailureBox(const char* headline, const char* path, DWORD error) {
  char text[1536] = "";
  Append(text, sizeof text, headline);
  Append(text, sizeof text, "\n");
  Append(text, sizeof text, path);
  Append(text, sizeof text, "\n");
  AppendWriteFailureReason(text, sizeof text, error);
  ShowErrorBox(text);
}
