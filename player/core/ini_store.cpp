#include "player/core/ini_store.h"

#include <cstring>

#include "common/file.h"
#include "common/sjis.h"

namespace {

IniStore::Line* g_head = nullptr;
char* g_name = nullptr;
DWORD g_size = 0;

char* CopyText(const char* s, size_t n) {
  char* t = static_cast<char*>(LocalAlloc(0, n + 1));
  if (!t) return nullptr;
  std::memcpy(t, s, n);
  t[n] = 0;
  return t;
}

// Section name of a line ("[" name "]", blanks dropped) into out, or false.
bool SectionName(const char* text, char* out, size_t cap) {
  if (!text || text[0] != '[') return false;
  SjisCopyToken(text + 1, out, cap, "]", 1);
  return true;
}

// Key of a key line (text before the first "=", blanks dropped) and where its value starts.
const char* KeyOf(const char* text, char* out, size_t cap) {
  if (!text || !*text || text[0] == '[') return nullptr;
  const char* stop = SjisCopyToken(text, out, cap, "=", 1);
  if (*stop != '=') return nullptr;
  return stop + 1;
}

void Load(const char* file) {
  if (g_name && SjisEqual(g_name, file)) return;
  IniStore::FreeLines(g_head);
  g_head = nullptr;
  if (g_name) LocalFree(g_name);
  g_name = CopyText(file, StrLength(file));
  g_size = 0;
  DWORD size = 0;
  BYTE* image = ReadWholeFile(file, &size, 0);
  if (!image) return;
  g_head = IniStore::SplitLines(image, size);
  g_size = size;
  LocalFree(image);
}

}  // namespace

IniStore::Line* IniStore::SplitLines(const BYTE* image, DWORD size) {
  Line* head = nullptr;
  Line* tail = nullptr;
  DWORD i = 0;
  while (i < size) {
    DWORD start = i;
    while (i < size && image[i] != '\r' && image[i] != '\n') ++i;
    DWORD end = i;
    // A line ends in CR LF, or in CR or LF alone.
    if (i < size && image[i] == '\r') {
      ++i;
      if (i < size && image[i] == '\n') ++i;
    } else if (i < size && image[i] == '\n') {
      ++i;
    }
    Line* line = static_cast<Line*>(LocalAlloc(LMEM_ZEROINIT, sizeof(Line)));
    if (!line) break;
    if (end > start) line->text = CopyText(reinterpret_cast<const char*>(image + start), end - start);
    line->prev = tail;
    if (tail)
      tail->next = line;
    else
      head = line;
    tail = line;
  }
  return head;
}

BYTE* IniStore::JoinLines(const Line* list, DWORD* size) {
  size_t total = 0;
  for (const Line* l = list; l; l = l->next) total += (l->text ? StrLength(l->text) : 0) + 2;
  BYTE* buf = static_cast<BYTE*>(LocalAlloc(0, total ? total : 1));
  if (!buf) return nullptr;
  size_t at = 0;
  for (const Line* l = list; l; l = l->next) {
    if (l->text) {
      size_t n = StrLength(l->text);
      std::memcpy(buf + at, l->text, n);
      at += n;
    }
    buf[at++] = '\r';
    buf[at++] = '\n';
  }
  *size = DWORD(at);
  return buf;
}

void IniStore::FreeLines(Line* list) {
  while (list) {
    Line* next = list->next;
    if (list->text) LocalFree(list->text);
    LocalFree(list);
    list = next;
  }
}

IniStore::Line* IniStore::FindSection(Line* list, const char* name) {
  for (Line* l = list; l; l = l->next) {
    char sec[256];
    if (SectionName(l->text, sec, sizeof sec) && SjisEqual(sec, name)) return l;
  }
  return nullptr;
}

static char* KeyLineText(const char* key, const char* value) {
  size_t k = StrLength(key), v = StrLength(value);
  char* t = static_cast<char*>(LocalAlloc(0, k + v + 2));
  if (!t) return nullptr;
  std::memcpy(t, key, k);
  t[k] = '=';
  std::memcpy(t + k + 1, value, v + 1);
  return t;
}

IniStore::Line* IniStore::ReplaceKeyLine(Line* sectionLine, const char* key, const char* value) {
  for (Line* l = sectionLine ? sectionLine->next : nullptr; l; l = l->next) {
    if (l->text && l->text[0] == '[') break;
    char k[256];
    if (KeyOf(l->text, k, sizeof k) && SjisEqual(k, key)) {
      char* t = KeyLineText(key, value);
      if (!t) return nullptr;
      LocalFree(l->text);
      l->text = t;
      return l;
    }
  }
  return nullptr;
}

IniStore::Line* IniStore::InsertLineAfter(Line** list, Line* line, const char* text) {
  Line* n = static_cast<Line*>(LocalAlloc(LMEM_ZEROINIT, sizeof(Line)));
  if (!n) return nullptr;
  if (text && *text) n->text = CopyText(text, StrLength(text));
  if (!line) {
    n->next = *list;
    if (*list) (*list)->prev = n;
    *list = n;
    return n;
  }
  n->prev = line;
  n->next = line->next;
  if (line->next) line->next->prev = n;
  line->next = n;
  return n;
}

const char* IniStore::LookupValue(const char* section, const char* key) {
  char current[256] = "";
  bool inSection = false;
  for (Line* l = g_head; l; l = l->next) {
    if (l->text && l->text[0] == '[') {
      SectionName(l->text, current, sizeof current);
      inSection = true;
      continue;
    }
    char k[256];
    const char* value = KeyOf(l->text, k, sizeof k);
    if (value && inSection && SjisEqual(current, section) && SjisEqual(k, key)) return value;
  }
  return nullptr;
}

int IniStore::LookupInt(const char* section, const char* key, int* value) {
  const char* v = LookupValue(section, key);
  if (!v) return 0;
  // Quotes are dropped as for texts ("80" is 80); blanks around a number are
  // not digits.
  char buf[64];
  if (StrLength(v) >= sizeof buf) return 0;
  SjisCopyToken(v, buf, sizeof buf, "", 0);
  const char* p = buf;
  while (*p == ' ' || *p == '\t') ++p;
  size_t n = StrLength(p);
  while (n && (p[n - 1] == ' ' || p[n - 1] == '\t')) --n;
  if (n == 0) return 0;
  std::memmove(buf, p, n);
  buf[n] = 0;
  ParseInteger(buf, value);
  return 1;
}

int IniStore::LookupString(const char* section, const char* key, char* out, int maxLength) {
  const char* v = LookupValue(section, key);
  if (!v || !*v || maxLength < 0) return 0;
  // Copy to the end of the line with quotes removed, then check the bound.
  size_t cap = StrLength(v) + 1;
  char* tmp = static_cast<char*>(LocalAlloc(0, cap));
  if (!tmp) return 0;
  SjisCopyToken(v, tmp, cap, "", 0);
  size_t n = StrLength(tmp);
  int ok = n > 0 && n <= size_t(maxLength);
  if (ok) std::memcpy(out, tmp, n + 1);
  LocalFree(tmp);
  return ok;
}

int IniStore::GetInt(const char* section, const char* key, int def, const char* file) {
  Load(file);
  int value = def;
  if (!LookupInt(section, key, &value)) return def;
  return value;
}

int IniStore::GetString(const char* section, const char* key, const char* def, char* out, int maxLength,
                        const char* file) {
  Load(file);
  size_t d = StrLength(def);
  if (maxLength >= 0 && d <= size_t(maxLength))
    std::memcpy(out, def, d + 1);
  else if (maxLength >= 0)
    out[0] = 0;
  LookupString(section, key, out, maxLength);
  return int(StrLength(out));
}

int IniStore::Set(const char* section, const char* key, const char* value, const char* file) {
  Load(file);
  Line* sec = FindSection(g_head, section);
  if (!sec) {
    size_t n = StrLength(section);
    char* text = static_cast<char*>(LocalAlloc(0, n + 3));
    if (!text) return 0;
    text[0] = '[';
    std::memcpy(text + 1, section, n);
    text[n + 1] = ']';
    text[n + 2] = 0;
    Line* last = g_head;
    while (last && last->next) last = last->next;
    sec = InsertLineAfter(&g_head, last, text);
    LocalFree(text);
    if (!sec) return 0;
  }
  if (ReplaceKeyLine(sec, key, value)) return 1;
  char* text = KeyLineText(key, value);
  if (!text) return 0;
  InsertLineAfter(&g_head, sec, text);
  LocalFree(text);
  return 1;
}

int IniStore::Flush() {
  int ok = 1;
  DWORD error = NO_ERROR;
  if (g_head && g_name) {
    DWORD size = 0;
    BYTE* buf = JoinLines(g_head, &size);
    ok = 0;
    if (buf) {
      // Written whole and flushed under another name first, so that a failed
      // write or a power cut keeps the old file.
      // Written but not confirmed by the disk: 1, with the reason kept.
      ok = WriteFileReplacing(g_name, buf, size);
      error = GetLastError();
      LocalFree(buf);
    } else {
      error = GetLastError();
    }
  }
  Discard();
  SetLastError(error);
  return ok;
}

void IniStore::Discard() {
  FreeLines(g_head);
  g_head = nullptr;
  if (g_name) LocalFree(g_name);
  g_name = nullptr;
  g_size = 0;
}

void IniStore::Reset() {
  g_head = nullptr;
  g_name = nullptr;
  g_size = 0;
}

IniStore::Line* IniStore::CachedLines() { return g_head; }
