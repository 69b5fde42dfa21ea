// The message backlog: copies of the most recent pages, newest last.
#pragma once

#include <cstdint>

class CBacklogList {
 public:
  CBacklogList();
  ~CBacklogList();
  CBacklogList(const CBacklogList&) = delete;
  CBacklogList& operator=(const CBacklogList&) = delete;

  void Init();
  // Copies the data and the name (with its terminator; an empty or null name
  // stores none); the oldest page goes when the list is full.  0 when memory
  // runs out (the list is then unchanged apart from a dropped oldest page).
  int Push(const char* name, const void* data, uint32_t dataSize, uint32_t tag);
  // n = 0 is the newest page (any index below 1 too); null past the oldest.
  void* GetData(int n, uint32_t* tag) const;
  const char* GetName(int n, uint32_t* tag) const;
  uint32_t GetDataSize(int n) const;
  void Free();

 private:
  struct Node {
    Node* prev;  // older
    Node* next;  // newer
    uint8_t* data;
    char* name;
    uint32_t dataSize;
    uint32_t nameSize;
    uint32_t tag;
  };
  const Node* Find(int n) const;

  Node* head_;  // oldest
  uint32_t capacity_;
};
