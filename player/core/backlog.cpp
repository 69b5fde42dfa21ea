#include "player/core/backlog.h"

#include <windows.h>

#include <cstring>

#include "common/sjis.h"

namespace {
constexpr uint32_t kBacklogCapacity = 64;
}

CBacklogList::CBacklogList() : head_(nullptr), capacity_(kBacklogCapacity) {}

CBacklogList::~CBacklogList() { Free(); }

void CBacklogList::Init() {
  Free();
  capacity_ = kBacklogCapacity;
}

void CBacklogList::Free() {
  Node* n = head_;
  while (n) {
    Node* next = n->next;
    if (n->data) LocalFree(n->data);
    if (n->name) LocalFree(n->name);
    LocalFree(n);
    n = next;
  }
  head_ = nullptr;
}

int CBacklogList::Push(const char* name, const void* data, uint32_t dataSize, uint32_t tag) {
  uint32_t count = 0;
  Node* newest = nullptr;
  for (Node* n = head_; n; n = n->next) {
    ++count;
    newest = n;
  }
  if (count >= capacity_ && head_) {
    Node* old = head_;
    head_ = old->next;
    if (head_) head_->prev = nullptr;
    if (newest == old) newest = nullptr;
    if (old->data) LocalFree(old->data);
    if (old->name) LocalFree(old->name);
    LocalFree(old);
  }
  Node* node = static_cast<Node*>(LocalAlloc(LMEM_ZEROINIT, sizeof(Node)));
  if (!node) return 0;
  if (dataSize) {
    node->data = static_cast<uint8_t*>(LocalAlloc(LMEM_FIXED, dataSize));
    if (!node->data) {
      LocalFree(node);
      return 0;
    }
    if (data)
      std::memcpy(node->data, data, dataSize);
    else
      std::memset(node->data, 0, dataSize);
    node->dataSize = dataSize;
  }
  if (name && *name) {
    uint32_t size = uint32_t(StrLength(name)) + 1;
    node->name = static_cast<char*>(LocalAlloc(LMEM_FIXED, size));
    if (!node->name) {
      if (node->data) LocalFree(node->data);
      LocalFree(node);
      return 0;
    }
    std::memcpy(node->name, name, size);
    node->nameSize = size;
  }
  node->tag = tag;
  node->prev = newest;
  if (newest)
    newest->next = node;
  else
    head_ = node;
  return 1;
}

const CBacklogList::Node* CBacklogList::Find(int n) const {
  const Node* newest = head_;
  if (!newest) return nullptr;
  while (newest->next) newest = newest->next;
  const Node* node = newest;
  for (int i = 0; i < n && node; ++i) node = node->prev;
  return node;
}

void* CBacklogList::GetData(int n, uint32_t* tag) const {
  const Node* node = Find(n);
  if (!node) return nullptr;
  if (tag) *tag = node->tag;
  return node->data;
}

const char* CBacklogList::GetName(int n, uint32_t* tag) const {
  const Node* node = Find(n);
  if (!node) return nullptr;
  if (tag) *tag = node->tag;
  return node->name;
}

uint32_t CBacklogList::GetDataSize(int n) const {
  const Node* node = Find(n);
  return node ? node->dataSize : 0;
}
