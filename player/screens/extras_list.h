// What the picture gallery and the scene replay share: the seen-list look-up
// and the cursor steps of their tabbed lists.
#pragma once

#include <cstdint>

class CGameApp;

// 1 when the seen list (kSeenListA or kSeenListB) holds name.
int SeenListHas(CGameApp* app, int list, const char* name);

// The cursor after UP (up 1) or DOWN (up 0) on a list of count items whose
// first `entries` items are taken only when shown[item] is set: UP goes from
// none or 0 to the last item, DOWN from none to 0 and wraps; the `skip` item
// (the current tab's button) is stepped over.  None when nothing is taken.
int StepListCursor(int from, int up, int count, int skip, const int32_t* shown, int entries);

// The extras return to the title, which rebuilds its pictures and menu
// without the logo.
void ReturnToTitleMenu(CGameApp* app);

// Items of a tabbed list after its entries: the eight tab buttons from
// firstTab, then previous page, next page and back.
struct TabbedListItems {
  int firstTab;
  int previous, next, back;
};
// A tab button opens its tab's first page; the page buttons wrap (nothing
// on a one-page tab).  1 when tab or page changed and the page is to be
// built again.
int MoveTabOrPage(const TabbedListItems& items, int item, int pageCount, int32_t* tab, int32_t* page);
