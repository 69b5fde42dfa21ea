// The configuration store: one INI-like Shift-JIS file cached as a list of
// lines; changes reach the disk only at Flush.
#pragma once

#include <windows.h>

class IniStore {
 public:
  struct Line {
    Line* prev;
    Line* next;
    char* text;  // null for an empty line
  };

  static int GetInt(const char* section, const char* key, int def, const char* file);
  static int GetString(const char* section, const char* key, const char* def, char* out, int maxLength,
                       const char* file);
  static int Set(const char* section, const char* key, const char* value, const char* file);
  // Writes the cached file through a temporary file and empties the cache.
  // 1 when written (or nothing to write), 0 when the write failed
  // (GetLastError tells why; the older file stays whole).  After 1,
  // GetLastError is NO_ERROR unless the disk did not confirm the new file.
  static int Flush();
  // Empties the cache without writing it.
  static void Discard();
  static void Reset();

  static Line* SplitLines(const BYTE* image, DWORD size);
  static BYTE* JoinLines(const Line* list, DWORD* size);
  static void FreeLines(Line* list);
  static Line* FindSection(Line* list, const char* name);
  static Line* ReplaceKeyLine(Line* sectionLine, const char* key, const char* value);
  static Line* InsertLineAfter(Line** list, Line* line, const char* text);
  static const char* LookupValue(const char* section, const char* key);
  static int LookupInt(const char* section, const char* key, int* value);
  static int LookupString(const char* section, const char* key, char* out, int maxLength);

  // The cached list (tests).
  static Line* CachedLines();
};
