#include "player/core/error_box.h"

#include <velmi_device.h>

#include <cstdio>

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

// The reason of a failed write as the box tells it.
void AppendWriteFailureReason(std::u16string& out, DWORD error) {
  switch (Classify(error)) {
    case WriteFailure::kDiskFull:
      AppendWide(out, kTextReasonDiskFull);
      return;
    case WriteFailure::kNoPermission:
      AppendWide(out, kTextReasonNoPermission);
      return;
    case WriteFailure::kNoFolder:
      AppendWide(out, kTextReasonNoFolder);
      return;
    case WriteFailure::kOther: {
      char number[16];
      FormatString(number, "%u", unsigned(error));
      AppendWide(out, kTextReasonOther);
      AppendWide(out, number);
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

void AppendWide(std::u16string& out, const char* text) {
  if (!text || !*text) return;
  const int units = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
  if (units <= 1) return;
  const size_t at = out.size();
  out.resize(at + size_t(units));
  if (MultiByteToWideChar(CP_ACP, 0, text, -1, out.data() + at, units) <= 0) {
    out.resize(at);
    return;
  }
  out.resize(at + size_t(units) - 1);  // without the terminator
}

void AppendShownPath(std::u16string& out, const std::u16string& path) {
  for (char16_t c : path) out.push_back(c == u'\\' ? u'/' : c);
}

void AppendShownPath(std::u16string& out, const char* path) {
  std::u16string wide;
  AppendWide(wide, path);
  AppendShownPath(out, wide);
}

void PrintErrorLine(const std::u16string& text) {
  std::string line;
  if (!text.empty()) {
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
    if (bytes > 0) {
      line.resize(size_t(bytes));
      if (WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), line.data(), bytes, nullptr, nullptr) <= 0)
        line.clear();
    }
  }
  line += '\n';
  std::fputs(line.c_str(), stderr);
}

void ShowErrorBoxWide(const std::u16string& text) {
  static const WCHAR caption[] = u"Error";
  MessageBoxW(nullptr, text.c_str(), caption, 0);
}

void SetErrorBoxFace(const char* face) {
  std::u16string wide;
  AppendWide(wide, face);
  VelmiDeviceSetMessageBoxFace(wide.c_str());
}

void ShowErrorBox(const char* text) {
  std::u16string wide;
  AppendWide(wide, text);
  ShowErrorBoxWide(wide);
}

void PrintWriteFailure(const char* what, const char* path, DWORD error) {
  static const char* const kReasons[] = {"disk full", "no permission", "folder not found"};
  std::u16string line;
  AppendWide(line, what);
  AppendWide(line, " could not be written: ");
  AppendShownPath(line, path);
  AppendWide(line, ": ");
  const WriteFailure kind = Classify(error);
  if (kind != WriteFailure::kOther) {
    AppendWide(line, kReasons[int(kind)]);
  } else {
    char number[24];
    FormatString(number, "error %u", unsigned(error));
    AppendWide(line, number);
  }
  PrintErrorLine(line);
}

void ShowWriteFailureBox(const char* headline, const char* path, DWORD error) {
  std::u16string text;
  AppendWide(text, headline);
  text += u'\n';
  AppendShownPath(text, path);
  text += u'\n';
  AppendWriteFailureReason(text, error);
  ShowErrorBoxWide(text);
}

void ShowDamagedEntryBox(const char* entryName, const char* packPath) {
  std::u16string text;
  AppendWide(text, kTextDataDamaged);
  text += u'\n';
  AppendWide(text, kTextDamagedEntryLabel);
  // The entry keeps the pack's own name, '\' and all: it is no folder path.
  AppendWide(text, entryName);
  text += u'\n';
  AppendWide(text, kTextDamagedPackLabel);
  AppendShownPath(text, packPath);
  text += u'\n';
  // The pack of this build is made for its screen: grpack.mlz for 320x240,
  // grpack_v.mlz for 640x480.
  AppendWide(text, kTextDamagedRemakeBefore);
  AppendWide(text, GetScreenWidth() < 640 ? "320x240" : "640x480");
  AppendWide(text, kTextDamagedRemakeAfter);
  ShowErrorBoxWide(text);
}
