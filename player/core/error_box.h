// The player's error messages: the message box captioned "Error" (headless
// runs print it on the error stream and the device report) and the reasons
// of writes that failed.  Paths are shown with '/' between folders, the form
// a user writes back into velmi.cfg; the separators are turned only once the
// text is UTF-16, never on Shift-JIS bytes.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

// Shows the box with a Shift-JIS text; waits until it is closed.
void ShowErrorBox(const char* text);
// Shows the box with a UTF-16 text; waits until it is closed.
void ShowErrorBoxWide(const std::u16string& text);

// Names the face the boxes draw their text with (Shift-JIS): the message
// font's, so that the boxes write Japanese in a font the player has.
void SetErrorBoxFace(const char* face);

// Appends a Shift-JIS text to a UTF-16 text.
void AppendWide(std::u16string& out, const char* text);
// Appends a Shift-JIS path to a UTF-16 text, '/' between its folders.
void AppendShownPath(std::u16string& out, const char* path);
// Appends a UTF-16 path, '/' between its folders.
void AppendShownPath(std::u16string& out, const std::u16string& path);

// Writes a UTF-16 text as one UTF-8 line on the error stream, after the
// program's name and ": ".
void PrintErrorLine(const std::u16string& text);

// One line on the error stream: "<what> could not be written: <path>:
// <reason>", the reason in plain words.
void PrintWriteFailure(const char* what, const char* path, DWORD error);
// One line on the error stream of a file written whose rename the disk did
// not confirm: "<what> was written but the disk did not confirm it: <path>:
// <reason>".
void PrintWriteUnconfirmed(const char* what, const char* path, DWORD error);

// One file of a box of several failed writes.
struct WriteFailureItem {
  const char* headline;  // Shift-JIS
  const char* path;
  DWORD error;
};
// The message box of failed writes: for each file its headline, path and
// reason, one a line, in the order given, a blank line between files.
void ShowWriteFailuresBox(const WriteFailureItem* items, size_t count);

// The box of a pack entry that the directory lists but that does not read or
// decode: the data is damaged, which entry ('/' between its folders), which
// pack file, and how to make the data again (the converter, with the screen
// size of this build).
void ShowDamagedEntryBox(const char* entryName, const char* packPath);

// The same box for a picture entry the pack lists without bytes: the
// converter could not make that picture.  It names the entry as a picture
// whose conversion failed, the pack file and how to convert again.
void ShowUnconvertedPictureBox(const char* entryName, const char* packPath);

// The same box for a picture entry the pack does not list: the headline
// says the pack does not hold the picture and that the data may come from
// another version of the game or be damaged; it names the entry looked for,
// the pack file searched and how to convert again.
void ShowMissingPictureBox(const char* entryName, const char* packPath);
