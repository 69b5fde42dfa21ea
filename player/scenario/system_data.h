// What the player remembers across play-throughs: the seen lists, the read
// flags and the persistent variables of system.dat.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr int kSeenNodes = 4096;
constexpr int kReadFlagRecords = 1024;
constexpr uint32_t kSeenReadBlockSize = 413704;

// Links between pool entries: the next entry's index + 1, little-endian, 0
// ending the list.
struct SeenNameNode {
  uint8_t next[4];
  char name[64];
};
static_assert(sizeof(SeenNameNode) == 68);

struct ReadFlagRecord {
  uint8_t next[4];
  char scriptName[64];
  uint8_t bits[64];  // block n is bit n & 7 of byte n >> 3
};
static_assert(sizeof(ReadFlagRecord) == 132);

// The seen and read block, one allocation of the local heap.
struct SeenReadBlock {
  uint32_t nodeCount;  // both seen lists together
  SeenNameNode nodes[kSeenNodes];
  uint32_t recordCount;
  ReadFlagRecord records[kReadFlagRecords];
};
static_assert(sizeof(SeenReadBlock) == kSeenReadBlockSize, "seen and read block size");
static_assert(offsetof(SeenReadBlock, nodes) == 4);
static_assert(offsetof(SeenReadBlock, recordCount) == 278532);
static_assert(offsetof(SeenReadBlock, records) == 278536);

struct SystemDataState {
  SeenReadBlock* block;  // owned
  // List heads and tails as pool index + 1 (0: empty).
  uint32_t seenHead[2], seenTail[2];
  uint32_t readHead, readTail;
  int32_t eventPicture;  // the event-picture display rule applied to the background
};

// One row of the scene table; month = day = -1 ends the table.
struct SceneRecord {
  int16_t month;
  int16_t day;
  char scriptName[32];
  char title[32];
};
static_assert(sizeof(SceneRecord) == 68);

class CGameApp;

constexpr int kSeenListA = 0;  // backgrounds shown
constexpr int kSeenListB = 1;  // scripts loaded

int AddSeenName(CGameApp* app, int list, const char* name);
int TestReadFlag(CGameApp* app, const char* scriptName, int block);
ReadFlagRecord* SetReadFlag(CGameApp* app, const char* scriptName, int block);
// "system.dat" in the save folder into out; 0 when it does not fit.
int SystemDataPath(const CGameApp* app, char* out, size_t capacity);
// The scene record of a script, or null when the table has none.
const SceneRecord* LookupSceneRecord(const char* scriptName);
