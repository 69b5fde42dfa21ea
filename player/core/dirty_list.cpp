#include "player/core/dirty_list.h"

CDirtyList::CDirtyList() : first_(nullptr), width_(320), height_(240) {}

CDirtyList::~CDirtyList() { Clear(); }

void CDirtyList::SetSize(uint32_t width, uint32_t height) {
  width_ = width;
  height_ = height;
}

int CDirtyList::Add(RECT* r, uint32_t flag) {
  if (!(r->right >= 0 && r->left <= LONG(width_) && r->bottom >= 0 && r->top <= LONG(height_))) return 0;
  if (r->left < 0) r->left = 0;
  if (r->top < 0) r->top = 0;
  if (r->right > LONG(width_)) r->right = LONG(width_);
  if (r->bottom > LONG(height_)) r->bottom = LONG(height_);
  if (flag == 1) {
    Node** link = &first_;
    Node* prev = nullptr;
    while (Node* n = *link) {
      // Present-only areas (text) are kept apart from sprite areas.
      if (n->flag != 1) {
        prev = n;
        link = &n->next;
        continue;
      }
      if (n->left <= r->left && n->top <= r->top && n->right >= r->right && n->bottom >= r->bottom) return 0;
      bool inside = r->left <= n->left && r->top <= n->top && r->right >= n->right && r->bottom >= n->bottom;
      bool apart = r->left > n->right || r->right < n->left || r->top > n->bottom || r->bottom < n->top;
      if (apart) {
        prev = n;
        link = &n->next;
        continue;
      }
      if (!inside) {
        if (n->left < r->left) r->left = n->left;
        if (n->top < r->top) r->top = n->top;
        if (n->right > r->right) r->right = n->right;
        if (n->bottom > r->bottom) r->bottom = n->bottom;
      }
      *link = n->next;
      if (n->next) n->next->prev = prev;
      LocalFree(n);
    }
  }
  Node* node = static_cast<Node*>(LocalAlloc(LMEM_ZEROINIT, sizeof(Node)));
  if (!node) return 0;
  node->left = r->left;
  node->top = r->top;
  node->right = r->right;
  node->bottom = r->bottom;
  node->flag = flag;
  Node** link = &first_;
  Node* last = nullptr;
  while (*link) {
    last = *link;
    link = &(*link)->next;
  }
  node->prev = last;
  *link = node;
  return 1;
}

void CDirtyList::Clear() {
  Node* n = first_;
  while (n) {
    Node* next = n->next;
    LocalFree(n);
    n = next;
  }
  first_ = nullptr;
}

int CDirtyList::Count() const {
  int count = 0;
  for (Node* n = first_; n; n = n->next) ++count;
  return count;
}

uint32_t CDirtyList::GetRect(int index, RECT* rect) const {
  if (index < 0) return 0;
  Node* n = first_;
  for (int i = 0; n && i < index; ++i) n = n->next;
  if (!n) return 0;
  rect->left = n->left;
  rect->top = n->top;
  rect->right = n->right;
  rect->bottom = n->bottom;
  return n->flag;
}

int CDirtyList::HitTest(int left, int top, int right, int bottom) const {
  for (Node* n = first_; n; n = n->next)
    if (n->flag == 1 && n->left <= right && n->right >= left && n->top <= bottom && n->bottom >= top) return 1;
  return 0;
}
