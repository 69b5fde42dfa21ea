#include "player/scenario/system_image.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "formats/le_bytes.h"
#include "common/sjis.h"

namespace {

// Copies name into a field of kSeenNameSize bytes, cut at a whole character,
// zero-filled behind the terminator.
void CopyName(char* field, const char* name) { SjisCopyField(field, kSeenNameSize, name, SIZE_MAX); }

// The name as a field would hold it, for comparisons.
struct FieldName {
  char text[kSeenNameSize];
  explicit FieldName(const char* name) { CopyName(text, name); }
};

uint32_t Link(const uint8_t* next) { return GetLe32(next); }

void SetLink(uint8_t* next, uint32_t value) { PutLe32(next, value); }

bool BlockInRange(int block) { return block >= 0 && block < kReadBlockCount; }

}  // namespace

void CSeenReadLists::ClearSeen() {
  // Only the entries in use can hold anything.
  SeenReadBlock* b = s_->block;
  std::memset(b->nodes, 0, std::min<uint32_t>(b->nodeCount, kSeenNodes) * sizeof b->nodes[0]);
  b->nodeCount = 0;
  s_->seenHead[0] = s_->seenHead[1] = s_->seenTail[0] = s_->seenTail[1] = 0;
}

void CSeenReadLists::ClearRead() {
  SeenReadBlock* b = s_->block;
  std::memset(b->records, 0, std::min<uint32_t>(b->recordCount, kReadFlagRecords) * sizeof b->records[0]);
  b->recordCount = 0;
  s_->readHead = s_->readTail = 0;
}

int CSeenReadLists::HasSeenName(int list, const char* name) const {
  if (list != kSeenListA && list != kSeenListB) return 0;
  FieldName key(name);
  for (const SeenNameNode* n = FirstSeen(list); n; n = NextSeen(n))
    if (SjisEqual(n->name, key.text)) return 1;
  return 0;
}

int CSeenReadLists::AddSeenName(int list, const char* name) {
  if (list != kSeenListA && list != kSeenListB) return 0;
  if (HasSeenName(list, name) || s_->block->nodeCount >= uint32_t(kSeenNodes)) return 0;
  uint32_t index = s_->block->nodeCount++;
  SeenNameNode& node = s_->block->nodes[index];
  SetLink(node.next, 0);
  CopyName(node.name, name);
  if (s_->seenTail[list])
    SetLink(s_->block->nodes[s_->seenTail[list] - 1].next, index + 1);
  else
    s_->seenHead[list] = index + 1;
  s_->seenTail[list] = index + 1;
  return 1;
}

ReadFlagRecord* CSeenReadLists::FindRecord(const char* scriptName) const {
  FieldName key(scriptName);
  for (const ReadFlagRecord* r = FirstRead(); r; r = NextRead(r))
    if (SjisEqual(r->scriptName, key.text)) return const_cast<ReadFlagRecord*>(r);
  return nullptr;
}

int CSeenReadLists::TestReadFlag(const char* scriptName, int block) const {
  if (!BlockInRange(block)) return 0;
  const ReadFlagRecord* r = FindRecord(scriptName);
  return r ? r->bits[block >> 3] & (1 << (block & 7)) : 0;
}

ReadFlagRecord* CSeenReadLists::SetReadFlag(const char* scriptName, int block) {
  if (!BlockInRange(block)) return nullptr;
  ReadFlagRecord* r = FindRecord(scriptName);
  if (!r) {
    if (s_->block->recordCount >= uint32_t(kReadFlagRecords)) return nullptr;
    uint32_t index = s_->block->recordCount++;
    r = &s_->block->records[index];
    std::memset(r, 0, sizeof *r);
    CopyName(r->scriptName, scriptName);
    if (s_->readTail)
      SetLink(s_->block->records[s_->readTail - 1].next, index + 1);
    else
      s_->readHead = index + 1;
    s_->readTail = index + 1;
  }
  r->bits[block >> 3] |= uint8_t(1 << (block & 7));
  return r;
}

const SeenNameNode* CSeenReadLists::FirstSeen(int list) const {
  if ((list != kSeenListA && list != kSeenListB) || !s_->seenHead[list]) return nullptr;
  return &s_->block->nodes[s_->seenHead[list] - 1];
}

const SeenNameNode* CSeenReadLists::NextSeen(const SeenNameNode* node) const {
  uint32_t next = Link(node->next);
  return next && next <= uint32_t(kSeenNodes) ? &s_->block->nodes[next - 1] : nullptr;
}

const ReadFlagRecord* CSeenReadLists::FirstRead() const {
  return s_->readHead ? &s_->block->records[s_->readHead - 1] : nullptr;
}

const ReadFlagRecord* CSeenReadLists::NextRead(const ReadFlagRecord* record) const {
  uint32_t next = Link(record->next);
  return next && next <= uint32_t(kReadFlagRecords) ? &s_->block->records[next - 1] : nullptr;
}

std::vector<uint8_t> BuildSystemImage(const int16_t* persistent, const CSeenReadLists& lists) {
  std::vector<uint8_t> out;
  out.reserve(kSystemOffLists + 24);
  AppendTag(out, "YMS0");
  for (int i = 0; i < kPersistentVariableCount; ++i) AppendLe16(out, uint16_t(persistent[i]));
  std::vector<uint8_t> staging;
  auto appendSection = [&](uint32_t count) {
    AppendLe32(out, count);
    AppendLe32(out, uint32_t(staging.size()));
    out.insert(out.end(), staging.begin(), staging.end());
    staging.clear();
  };
  auto stageName = [&](const char* name) { staging.insert(staging.end(), name, name + StrLength(name) + 1); };
  for (int list = 0; list < 2; ++list) {
    uint32_t count = 0;
    for (const SeenNameNode* n = lists.FirstSeen(list); n; n = lists.NextSeen(n), ++count) stageName(n->name);
    appendSection(count);
  }
  uint32_t count = 0;
  for (const ReadFlagRecord* r = lists.FirstRead(); r; r = lists.NextRead(r), ++count) {
    stageName(r->scriptName);
    staging.insert(staging.end(), r->bits, r->bits + sizeof r->bits);
  }
  appendSection(count);
  return out;
}

namespace {

// A section of the lists: its count and the bytes its length word covers,
// walked from the front.
struct Section {
  uint32_t count = 0;
  const uint8_t* cursor = nullptr;
  const uint8_t* end = nullptr;
  bool truncated = false;  // the length word passes the end of the image

  // Opens the section at *at; false when its two words pass the end.  A
  // length past the end is cut to the image, so that the entries before the
  // damage are still read.
  bool Open(const uint8_t* image, size_t size, size_t* at) {
    if (size - *at < 8) return false;
    const uint8_t* p = image + *at;
    count = GetLe32(p);
    uint32_t length = GetLe32(p + 4);
    if (length > size - *at - 8) {
      length = uint32_t(size - *at - 8);
      truncated = true;
    }
    cursor = p + 8;
    end = cursor + length;
    *at += 8 + size_t(length);
    return true;
  }
  // The next NUL-terminated name, or null when none ends inside the section.
  const char* Name() {
    const void* nul = std::memchr(cursor, 0, size_t(end - cursor));
    if (!nul) return nullptr;
    const char* name = reinterpret_cast<const char*>(cursor);
    cursor = static_cast<const uint8_t*>(nul) + 1;
    return name;
  }
};

}  // namespace

SystemCheck ParseSystemImage(const uint8_t* image, size_t size, int16_t* persistent, CSeenReadLists* lists) {
  if (!image || size < kSystemOffLists) return SystemCheck::kShort;
  for (int i = 0; i < kPersistentVariableCount; ++i) {
    const uint8_t* p = image + kSystemOffVariables + 2 * i;
    persistent[i] = int16_t(GetLe16(p));
  }
  lists->ClearSeen();
  lists->ClearRead();
  size_t at = kSystemOffLists;
  for (int list = 0; list < 2; ++list) {
    Section s;
    if (!s.Open(image, size, &at)) return SystemCheck::kDamaged;
    for (uint32_t i = 0; i < s.count; ++i) {
      const char* name = s.Name();
      if (!name) return SystemCheck::kDamaged;
      lists->AddSeenName(list, name);
    }
    if (s.cursor != s.end || s.truncated) return SystemCheck::kDamaged;
  }
  Section s;
  if (!s.Open(image, size, &at)) return SystemCheck::kDamaged;
  for (uint32_t i = 0; i < s.count; ++i) {
    const char* name = s.Name();
    if (!name || s.end - s.cursor < kReadBlockCount / 8) return SystemCheck::kDamaged;
    // A record for which the pool has no room is skipped.
    if (ReadFlagRecord* r = lists->SetReadFlag(name, 0)) std::memcpy(r->bits, s.cursor, sizeof r->bits);
    s.cursor += kReadBlockCount / 8;
  }
  if (s.cursor != s.end || s.truncated) return SystemCheck::kDamaged;
  return SystemCheck::kOk;
}
