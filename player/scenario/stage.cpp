// The story's stage on the slot operations: the scene background, the
// scrollable background composed into it, two characters with their layer
// pictures, and the glides of characters and background.
#include <cstring>

#include "common/format.h"
#include "common/sjis.h"
#include "player/app/game_app.h"
#include "player/core/dirty_list.h"
#include "player/core/display.h"
#include "player/core/picture.h"
#include "player/core/polar.h"
#include "player/core/screen.h"
#include "player/scenario/stage.h"
#include "player/scenario/system_data.h"

namespace {

constexpr int kCharacterMiddle = 400;

bool IsCharacterSlot(int s) { return s == 0 || s == 1; }

// Copies into a fixed buffer, cut at a character boundary when too long.
template <size_t N>
void Remember(char (&out)[N], const char* name) {
  FormatStringN(out, N, "%s", name ? name : "");
}

// Loads "AdvData\GRP\" + name + ".zev" (the loader puts ".rbp" in place of
// the extension).  A path too long for the loader fails as any missing
// picture does: error bit set, name written out.
int LoadGraphic(CGameApp* app, int slot, const char* name) {
  char path[256];
  if (!FormatStringN(path, sizeof path, "AdvData\\GRP\\%s.zev", name)) return app->LoadPictureSlot(slot, name, 0);
  return app->LoadPictureSlot(slot, path, 0);
}

const char* AfterLastBackslash(const char* name) {
  const char* cut = SjisFindLastChar(name, '\\');
  return cut ? cut + 1 : name;
}

}  // namespace

int CGameApp::GlideSkipped() const {
  return settings.skipRunning || input.count[IN_LEFT] || input.tap || input.count[IN_KEY_C] || input.count[IN_RIGHT];
}

void CGameApp::ShowBackground(const char* name) {
  if (!name) return;
  RemoveCharacter(0);
  RemoveCharacter(1);
  if (stage.backgroundName[0] && SjisEqual(name, stage.backgroundName)) return;
  ClearStage();
  Remember(stage.backgroundName, name);
  stage.backgroundX = stage.backgroundY = 0;
  AddSeenName(this, kSeenListA, AfterLastBackslash(name));
  LoadGraphic(this, kSlotBackground, name);
  ApplyEventPictureRule();
  MakePictureSprite(kSlotBackground, kSlotBackground, 0, 0, -1, -1, 0, 0, 0, 0, 48);
}

void CGameApp::ClearStage() {
  for (int s = 0; s < 2; ++s) {
    RemoveCharacter(s);
    RemoveLayer(s);
  }
  DeleteSprite(kSlotBackground, 1);
  FreePictureSlot(kSlotBackground);
  stage.backgroundName[0] = 0;
}

void CGameApp::ShowScrollBackground(const char* name) {
  if (!name || SjisEqual(name, stage.scrollName)) return;
  DeleteSprite(kSlotScrollBackground, 1);
  FreePictureSlot(kSlotScrollBackground);
  Remember(stage.scrollName, name);
  stage.scrollX = stage.scrollY = 0;
  stage.originX = stage.originY = 0;
  if (!name[0]) return;
  LoadGraphic(this, kSlotScrollBackground, name);
}

void CGameApp::ApplyViewport() {
  if (!stage.backgroundName[0] || !stage.scrollName[0]) return;
  CPicture* target = pictures[kSlotBackground];
  const CPicture* source = pictures[kSlotScrollBackground];
  if (!target || !source) return;
  // Picture 21 from the scroll position goes to the viewport position of
  // picture 28, as far as picture 28's right and bottom edges; AlphaCompose
  // clips that to both pictures, and a negative scroll position moves the
  // target start by as much.  The compose works in place: each scroll draws
  // over picture 28 as it stands, so where picture 21 is partly transparent
  // an earlier scroll position stays visible beneath the new one.
  const int tx = ScaleX(stage.viewportX), ty = ScaleY(stage.viewportY);
  CPicture::AlphaCompose(target, source, tx, ty, ScaleX(stage.scrollX), ScaleY(stage.scrollY),
                         int(int64_t(target->width) - tx), int(int64_t(target->height) - ty));
  if (CSprite* s = sprites[kSlotBackground]) {
    RECT r;
    s->GetDirtyRect(&r);
    if (dirty) dirty->Add(&r, 1);
  }
}

void CGameApp::ShowFigure(int s, const char* name, bool layer) {
  if (!IsCharacterSlot(s) || !name || !name[0]) return;
  if (SjisEqual(name, "-")) {
    RemoveLayer(s);
    if (!layer) RemoveCharacter(s);
    return;
  }
  layer ? RemoveLayer(s) : RemoveCharacter(s);
  char base[64];
  Remember(base, name);
  uint32_t tint = 0;
  const size_t len = StrLength(base);
  // A last '@' or '*' (a single-byte character) picks a tint and is cut off.
  if (len > 0 && (base[len - 1] == '@' || base[len - 1] == '*') &&
      !(len > 1 && IsSjisLeadByte(static_cast<unsigned char>(base[len - 2])))) {
    tint = base[len - 1] == '@' ? kTintAt : kTintStar;
    base[len - 1] = 0;
  }
  const int slot = layer ? kSlotLayer + s : kSlotCharacter + s;
  LoadGraphic(this, slot, base);
  if (tint && pictures[slot]) CPicture::TintPercent(pictures[slot], tint);
  CharacterSlot& c = stage.characters[s];
  const int half = pictures[slot] ? pictures[slot]->canvasWidth / 2 : 0;
  MakePictureSprite(slot, slot, 0, 0, -1, -1, c.homeX + kCharacterMiddle, c.homeY, half, 0,
                    layer ? 31 - 2 * s : (16 - s) * 2);
  if (layer) {
    Remember(c.layer, name);
  } else {
    c.shown = 1;
    Remember(c.name, name);
    c.x = c.homeX;
    c.y = c.homeY;
  }
}

void CGameApp::ShowCharacter(int s, const char* name) { ShowFigure(s, name, false); }

void CGameApp::ShowLayer(int s, const char* name) { ShowFigure(s, name, true); }

void CGameApp::RemoveCharacter(int s) {
  if (!IsCharacterSlot(s)) return;
  DeleteSprite(kSlotCharacter + s, 1);
  FreePictureSlot(kSlotCharacter + s);
  stage.characters[s].shown = 0;
  stage.characters[s].name[0] = 0;
  stage.characterGlides[s].active = 0;
}

void CGameApp::RemoveLayer(int s) {
  if (!IsCharacterSlot(s)) return;
  DeleteSprite(kSlotLayer + s, 1);
  FreePictureSlot(kSlotLayer + s);
  stage.characters[s].layer[0] = 0;
}

int CGameApp::Glide(GlideState& g, int32_t& x, int32_t& y, int tx, int ty, int msPerDistanceNum, int msPerDistanceDen) {
  if (!g.active) {
    g.active = 1;
    g.startX = x;
    g.startY = y;
    g.targetX = tx;
    g.targetY = ty;
    g.startTime = NowMs();
  }
  int angle = 0, distance = 0;
  PointToPolar(g.startX, g.startY, g.targetX, g.targetY, &angle, &distance);
  const int64_t duration = int64_t(distance) * msPerDistanceNum / msPerDistanceDen;
  const int64_t elapsed = int64_t(uint32_t(NowMs() - g.startTime));
  if (!GlideSkipped() && elapsed < duration) {
    int dx = 0, dy = 0;
    PolarToPoint(angle, int(int64_t(distance) * elapsed / duration), &dx, &dy);
    x = g.startX + dx;
    y = g.startY + dy;
    return 0;
  }
  g.active = 0;
  x = g.targetX;
  y = g.targetY;
  return 1;
}

int CGameApp::MoveCharacter(int s, int x, int y) {
  if (!IsCharacterSlot(s)) return 1;
  CharacterSlot& c = stage.characters[s];
  int done = Glide(stage.characterGlides[s], c.x, c.y, x, y, 100, 75);
  if (CSprite* sprite = sprites[kSlotCharacter + s]) sprite->SetPosition(c.x + kCharacterMiddle, c.y);
  return done;
}

int CGameApp::MoveBackground(int x, int y, int mode) {
  if (!stage.backgroundName[0]) return 1;
  int done = 1;
  if (mode == 1) {
    stage.backgroundGlide.active = 0;
    stage.backgroundX = x;
    stage.backgroundY = y;
  } else {
    done = Glide(stage.backgroundGlide, stage.backgroundX, stage.backgroundY, x, y, 2500, 800);
  }
  if (CSprite* sprite = sprites[kSlotBackground]) sprite->SetPosition(stage.backgroundX, stage.backgroundY);
  return done;
}

void CGameApp::PlayMovie(const char* name) {
  if (!screen || !name) return;
  const int volume = settings.movieVolume * settings.masterVolume / 100;
  if (!screen->PlayMovie(dataPath, AfterLastBackslash(name), mixer, volume, 0, 1, settings.vgaQuality))
    screen->StopMovie(mixer);
}
