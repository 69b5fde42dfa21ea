// Seen-list look-up and cursor steps of the gallery and the scene replay.
#include "player/screens/extras_list.h"

#include "player/app/game_app.h"
#include "player/scenario/system_data.h"
#include "player/scenario/system_image.h"

int SeenListHas(CGameApp* app, int list, const char* name) {
  if (!app->systemData.block) return 0;
  return CSeenReadLists(&app->systemData).HasSeenName(list, name);
}

int StepListCursor(int from, int up, int count, int skip, const int32_t* shown, int entries) {
  int c = from;
  for (int step = 0; step <= count; ++step) {
    if (up) {
      c = (c == kCursorNone || c == 0) ? count - 1 : c - 1;
      if (c == skip) c = c == 0 ? count - 1 : c - 1;
    } else {
      c = c == kCursorNone ? 0 : (c + 1) % count;
      if (c == skip) c = (c + 1) % count;
    }
    if (c >= entries || shown[c]) return c;
  }
  return kCursorNone;
}

void ReturnToTitleMenu(CGameApp* app) {
  app->gameMode = MODE_TITLE;
  app->phase = 90;
}

int MoveTabOrPage(const TabbedListItems& items, int item, int pageCount, int32_t* tab, int32_t* page) {
  if (item >= items.firstTab && item < items.firstTab + 8) {
    *tab = item - items.firstTab;
    *page = 0;
    return 1;
  }
  if ((item != items.previous && item != items.next) || pageCount < 2) return 0;
  *page = (*page + (item == items.next ? 1 : pageCount - 1)) % pageCount;
  return 1;
}
