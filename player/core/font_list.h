// The list of fonts offered for the message text.  Placeholder interface of
// what start-up calls; the text work replaces it.
#pragma once

class FontList {
 public:
  FontList();
  void AddPreferred(const char* name);
  void Build();
  int Count() const;
  void GetName(int index, char* out) const;
  int FindName(const char* name) const;
  void Clear();

 private:
  char names_[15][128];
  int count_;
};
