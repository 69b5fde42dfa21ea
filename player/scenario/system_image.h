// What the player remembers across play-throughs: the seen-name lists A
// (backgrounds shown) and B (scripts loaded), the read flags of each script's
// text blocks, and "system.dat", which stores them with the persistent script
// variables (banks 50-255).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "player/scenario/story.h"
#include "player/scenario/system_data.h"

constexpr int kReadBlockCount = 512;  // text blocks of one script
constexpr int kSeenNameSize = 64;
constexpr int kPersistentVariableFirst = kGameVariables;
constexpr int kPersistentVariableCount = kScriptVariables - kPersistentVariableFirst;

// The two seen lists and the read-flag list of a SystemDataState.  Entries
// are added at the tail and never removed, so the lists keep the order of
// first appearance.  Names longer than 63 bytes are cut at a whole character;
// names compare as Shift-JIS with ASCII letters folded.
class CSeenReadLists {
 public:
  // Works on the state's block and heads; an all-zero state is empty.
  explicit CSeenReadLists(SystemDataState* state) : s_(state) {}

  // Empty the seen lists (node count 0) or the read flags (record count 0).
  void ClearSeen();
  void ClearRead();

  // 1 added; 0 when the name is in the list already, the pool is full or the
  // list number is not 0 or 1.
  int AddSeenName(int list, const char* name);
  int HasSeenName(int list, const char* name) const;

  // Non-zero when the block's bit is set; 0 for a block outside 0-511 or a
  // script without a record.
  int TestReadFlag(const char* scriptName, int block) const;
  // Sets the bit in the script's record, creating it (all bits 0) when the
  // script has none and the pool has room; the record, or null (no room, or a
  // block outside 0-511).
  ReadFlagRecord* SetReadFlag(const char* scriptName, int block);

  // Walking the lists: the first entry or the one after e, null at the end.
  const SeenNameNode* FirstSeen(int list) const;
  const SeenNameNode* NextSeen(const SeenNameNode* node) const;
  const ReadFlagRecord* FirstRead() const;
  const ReadFlagRecord* NextRead(const ReadFlagRecord* record) const;

  const SeenReadBlock* Block() const { return s_->block; }

 private:
  ReadFlagRecord* FindRecord(const char* scriptName) const;

  SystemDataState* s_;
};

// 1 when name is one of list's names (ended by an empty name; null: none).
int IsEventPictureName(const char* const* list, const char* name);

// "system.dat": "YMS0", the persistent variables, then for list A, list B and
// the read flags a count, a byte length and the entries (names NUL-terminated;
// a read record's name is followed by its 64 bit bytes).
constexpr uint32_t kSystemOffVariables = 4;
constexpr uint32_t kSystemOffLists = kSystemOffVariables + 2 * kPersistentVariableCount;

// The file image, sized to its contents.
std::vector<uint8_t> BuildSystemImage(const int16_t* persistent, const CSeenReadLists& lists);

enum class SystemCheck {
  kOk,
  kShort,    // the variables are incomplete: nothing was taken
  kDamaged,  // read up to an inconsistency; what came before it was taken
};

// Reads an image: the variables, then both seen lists and the read flags
// (each emptied first) up to the end of the image or the first inconsistency.
SystemCheck ParseSystemImage(const uint8_t* image, size_t size, int16_t* persistent, CSeenReadLists* lists);
