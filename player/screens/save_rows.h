// Which save each row of the save and load screen shows: ten pages of five
// rows.  Page 0 opens with the newest auto-save and the newest numbered save;
// every other row shows a numbered slot, page 0 rows 2-4 being slots 0-2 and
// page 9 rows 0-4 slots 43-47.
#pragma once

constexpr int kSavePageRows = 5;
constexpr int kSavePages = 10;

enum class SaveRowKind {
  kNewestAuto,  // the newest auto-save, whichever slot it is in
  kNewest,      // the newest numbered save
  kNumbered,    // one fixed numbered slot
};

struct SaveRow {
  SaveRowKind kind;
  int slot;  // the numbered slot; -1 on the two newest rows
};

constexpr SaveRow SaveRowOf(int page, int row) {
  if (page == 0 && row == 0) return {SaveRowKind::kNewestAuto, -1};
  if (page == 0 && row == 1) return {SaveRowKind::kNewest, -1};
  return {SaveRowKind::kNumbered, page * kSavePageRows + row - 2};
}
