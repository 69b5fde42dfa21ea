// What the player remembers across play-throughs: the seen-name lists A
// (backgrounds shown) and B (scripts loaded), the read flags of each script's
// text blocks, and "system.dat", which stores them with the persistent script
// variables (banks 50-255).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

constexpr int kSeenNodes = 4096;     // both lists together
constexpr int kReadFlagRecords = 1024;   // scripts with read flags
constexpr int kReadBlockCount = 512;     // text blocks of one script
constexpr int kSeenNameSize = 64;
constexpr int kPersistentVariableFirst = 12800;
constexpr int kPersistentVariableCount = 65536 - kPersistentVariableFirst;

constexpr int kSeenListA = 0;  // backgrounds shown
constexpr int kSeenListB = 1;  // scripts loaded

// The pools link their entries by index: next is the index of the following
// entry plus one, little-endian, 0 at the end of a list.
struct SeenNameNode {
  uint8_t next[4];
  char name[kSeenNameSize];
};

// Bit n of block n is bit n & 7 of bits[n >> 3].
struct ReadFlagRecord {
  uint8_t next[4];
  char scriptName[kSeenNameSize];
  uint8_t bits[kReadBlockCount / 8];
};

// The seen and read block: 413,704 bytes, zero when empty.
struct SeenReadBlock {
  uint32_t nodeCount;
  SeenNameNode nodes[kSeenNodes];
  uint32_t recordCount;
  ReadFlagRecord records[kReadFlagRecords];
};
static_assert(sizeof(SeenNameNode) == 68 && sizeof(ReadFlagRecord) == 132);
static_assert(sizeof(SeenReadBlock) == 413704);

// The block with the heads and tails of its lists (pool index + 1, 0: empty).
struct SystemDataState {
  SeenReadBlock* block;
  uint32_t seenHead[2], seenTail[2];
  uint32_t readHead, readTail;
  int32_t eventPicture;  // the event-picture display rule applied to the background
};

// The two seen lists and the read-flag list of a SystemDataState.  Entries are added at the tail and never removed, so the lists
// keep the order of first appearance.  Names longer than 63 bytes are cut at
// a whole character; names compare as Shift-JIS with ASCII letters folded.
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
