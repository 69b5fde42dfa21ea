// Rectangles to redraw and present in the current frame.
#pragma once

#include <windows.h>

#include <cstdint>

class CDirtyList {
 public:
  CDirtyList();
  ~CDirtyList();
  CDirtyList(const CDirtyList&) = delete;
  CDirtyList& operator=(const CDirtyList&) = delete;

  void SetSize(uint32_t width, uint32_t height);
  // Flag 1: redraw the sprites under it and present it; 0: present only.
  // The rectangle is clipped (and grown by merging) in place.
  int Add(RECT* rect, uint32_t flag);
  void Clear();
  int Count() const;
  // The node's flag, its rectangle copied out; 0 (rect untouched) past the end.
  uint32_t GetRect(int index, RECT* rect) const;
  int HitTest(int left, int top, int right, int bottom) const;

 private:
  struct Node {
    Node* prev;
    Node* next;
    int32_t left, top, right, bottom;
    uint32_t flag;
  };
  Node* first_;
  uint32_t width_;
  uint32_t height_;
};
