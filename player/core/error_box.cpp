#include "player/core/error_box.h"

#include <velmi_device.h>

#include <cstdio>

#include "common/file_failure.h"
#include "player/core/display.h"
#include "player/core/texts.h"

namespace {

// The reason of a failed write in the words both programs use, from one
// table: the code and a look at the path tell the cause.
void AppendReasonWords(std::u16string& out, const char* path, DWORD error, int japanese) {
  char words[kFileFailureChars];
  FileFailureReason(words, sizeof words, ClassifyFileFailure(path, error), error, japanese);
  AppendWide(out, words);
}

// The reason of a failed write as the box tells it: a sentence.
void AppendWriteFailureReason(std::u16string& out, const char* path, DWORD error) {
  AppendReasonWords(out, path, error, 1);
  AppendWide(out, kTextFullStop);
}

// "<what><middle><path>: <reason>" on the error stream.
void PrintWriteLine(const char* what, const char* middle, const char* path, DWORD error) {
  std::u16string line;
  AppendWide(line, what);
  AppendWide(line, middle);
  AppendShownPath(line, path);
  AppendWide(line, ": ");
  AppendReasonWords(line, path, error, 0);
  PrintErrorLine(line);
}

}  // namespace

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
  // Every line of the error stream starts with the program's name.
  std::string line = VelmiDeviceProgramName() + ": ";
  const size_t at = line.size();
  const int bytes = WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
  if (bytes > 0) {
    line.resize(at + size_t(bytes));
    if (WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), line.data() + at, bytes, nullptr, nullptr) <= 0)
      line.resize(at);
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
  PrintWriteLine(what, " could not be written: ", path, error);
}

void PrintWriteUnconfirmed(const char* what, const char* path, DWORD error) {
  PrintWriteLine(what, " was written but the disk did not confirm it: ", path, error);
}

void ShowWriteFailuresBox(const WriteFailureItem* items, size_t count) {
  if (!items || count == 0) return;
  std::u16string text;
  for (size_t i = 0; i < count; ++i) {
    if (i > 0) text += u"\n\n";
    AppendWide(text, items[i].headline);
    text += u'\n';
    AppendShownPath(text, items[i].path);
    text += u'\n';
    AppendWriteFailureReason(text, items[i].path, items[i].error);
  }
  ShowErrorBoxWide(text);
}

namespace {

// The box of a pack entry that did not load: the headline, the entry after
// its label, the pack file after its label and how to make the data again.
void ShowDataBox(const char* headline, const char* entryLabel, const char* entryName, const char* packLabel,
                 const char* packPath) {
  std::u16string text;
  AppendWide(text, headline);
  text += u'\n';
  AppendWide(text, entryLabel);
  // Shown as the error stream names every path, '/' between its folders.
  AppendShownPath(text, entryName);
  text += u'\n';
  AppendWide(text, packLabel);
  AppendShownPath(text, packPath);
  text += u'\n';
  // The pack of this build is made for its screen: grpack.mlz for 320x240,
  // grpack_v.mlz for 640x480.
  AppendWide(text, kTextDamagedRemakeBefore);
  AppendWide(text, GetScreenWidth() < 640 ? "320x240" : "640x480");
  AppendWide(text, kTextDamagedRemakeAfter);
  ShowErrorBoxWide(text);
}

}  // namespace

void ShowDamagedEntryBox(const char* entryName, const char* packPath) {
  ShowDataBox(kTextDataDamaged, kTextDamagedEntryLabel, entryName, kTextDamagedPackLabel, packPath);
}

void ShowUnconvertedPictureBox(const char* entryName, const char* packPath) {
  ShowDataBox(kTextDataDamaged, kTextUnconvertedPictureLabel, entryName, kTextDamagedPackLabel, packPath);
}

void ShowMissingPictureBox(const char* entryName, const char* packPath) {
  ShowDataBox(kTextPictureNotInPack, kTextMissingPictureLabel, entryName, kTextSearchedPackLabel, packPath);
}
