// Slot operations in canvas units: dirty rectangles, the stylus hit test,
// picture slots with their error bits, and picture and rectangle sprites.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include <velmi_device.h>
#include <velmi_platform.h>

#include <string>
#include <vector>

#include "player/app/game_app.h"
#include "player/core/dirty_list.h"
#include "player/core/display.h"
#include "player/core/picture.h"
#include "player/scenario/stage.h"
#include "tests/player/box_words.h"
#include "tests/player/scenario_fixture.h"

namespace {

std::vector<RECT> DirtyRects(const CDirtyList* list) {
  std::vector<RECT> out;
  for (int i = 0; i < list->Count(); ++i) {
    RECT r;
    if (list->GetRect(i, &r)) out.push_back(r);
  }
  return out;
}

class SlotTest : public ScenarioAppTest {
 protected:
  void SetUp() override {
    // 40 x 30 screen pixels drawn for a 50 x 37 canvas picture.
    std::vector<uint16_t> px(40 * 30, 0x07E0);
    StartApp({{"AdvData\\GRP\\bg01.rbp", MakeRbp565(40, 30, px, 50, 37)}});
  }
};

TEST_F(SlotTest, CanvasRectanglesAndHitTest) {
  app->InvalidateVirtualRect(100, 100, 200, 50);
  std::vector<RECT> r = DirtyRects(app->dirty);
  ASSERT_EQ(r.size(), 1u);
  EXPECT_EQ(r[0].left, 80);
  EXPECT_EQ(r[0].top, 80);
  EXPECT_EQ(r[0].right, 240);
  EXPECT_EQ(r[0].bottom, 120);
  const struct {
    int x, y, hit;
  } points[] = {{80, 80, 1}, {240, 120, 1}, {160, 100, 1}, {79, 100, 0}, {241, 100, 0}, {160, 121, 0}, {160, 79, 0}};
  for (auto& p : points) {
    app->input.stylusX = uint32_t(p.x);
    app->input.stylusY = uint32_t(p.y);
    EXPECT_EQ(app->HitTest(100, 100, 200, 50), p.hit) << p.x << "," << p.y;
  }
}

TEST_F(SlotTest, PictureSlotsAndErrorBits) {
  // The extension becomes ".rbp"; the load time is kept.
  VelmiClockAdvance(250);
  EXPECT_EQ(app->LoadPictureSlot(kSlotBackground, "AdvData\\GRP\\bg01.zev", 0), 1);
  ASSERT_TRUE(app->IsPictureSlotUsed(kSlotBackground));
  EXPECT_EQ(app->pictures[kSlotBackground]->width, 40u);
  EXPECT_EQ(app->stage.pictureLoadTime, 1250u);
  EXPECT_EQ(app->errorWord, 0u);
  EXPECT_EQ(app->LoadPictureSlot(3, "AdvData\\GRP\\bg01", 0), 1);
  // A missing picture: an empty picture stays in the slot, the error bit is
  // set and the name is written out.
  testing::internal::CaptureStderr();
  EXPECT_EQ(app->LoadPictureSlot(kSlotBackground, "AdvData\\GRP\\missing.zev", 0), 0);
  std::string said = testing::internal::GetCapturedStderr();
  EXPECT_NE(said.find("AdvData/GRP/missing.zev"), std::string::npos) << said;
  EXPECT_EQ(app->errorWord, kErrorPictureLoad);
  // A name in Japanese is written in UTF-8: 背景.zev
  testing::internal::CaptureStderr();
  EXPECT_EQ(app->LoadPictureSlot(kSlotBackground, "AdvData\\GRP\\\x94w\x8ci.zev", 0), 0);
  said = testing::internal::GetCapturedStderr();
  // The line starts with the program's name; the entry has '/' between its
  // folders.
  char self[4096];
  const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
  ASSERT_GT(length, 0);
  const std::string program = std::filesystem::path(std::string(self, size_t(length))).filename().string();
  EXPECT_EQ(said.find(program + ": picture not loaded: AdvData/GRP/\xE8\x83\x8C\xE6\x99\xAF.zev\n"), 0u) << said;
  ASSERT_TRUE(app->IsPictureSlotUsed(kSlotBackground));
  EXPECT_EQ(app->pictures[kSlotBackground]->GetPixels(), nullptr);
  app->errorWord = 0;
  // Slot numbers outside 0-255: loads do nothing, blank pictures set their bit.
  for (int n : {256, -1, 1000}) {
    EXPECT_EQ(app->LoadPictureSlot(n, "AdvData\\GRP\\bg01.zev", 0), 0) << n;
    EXPECT_EQ(app->errorWord, 0u) << n;
    EXPECT_FALSE(app->IsPictureSlotUsed(n));
    app->FreePictureSlot(n);
    EXPECT_EQ(app->CreateAlphaPicture(n, 100, 100), 0) << n;
    EXPECT_EQ(app->errorWord, kErrorPictureSlot) << n;
    app->errorWord = 0;
    EXPECT_EQ(app->CreatePlainPicture(n, 100, 100), 0) << n;
    EXPECT_EQ(app->errorWord, kErrorPictureSlot) << n;
    app->errorWord = 0;
  }
  // Blank pictures in screen units, with or without an alpha plane.
  ASSERT_EQ(app->CreateAlphaPicture(kSlotChoiceTexts, 100, 50), 1);
  EXPECT_EQ(app->pictures[kSlotChoiceTexts]->width, 80u);
  EXPECT_EQ(app->pictures[kSlotChoiceTexts]->height, 40u);
  EXPECT_NE(app->pictures[kSlotChoiceTexts]->alpha, nullptr);
  ASSERT_EQ(app->CreatePlainPicture(kSlotChoiceTexts, 100, 50), 1);
  EXPECT_EQ(app->pictures[kSlotChoiceTexts]->alpha, nullptr);
  app->FreeAllPictureSlots();
  for (int n = 0; n < kPictureSlots; ++n) ASSERT_FALSE(app->IsPictureSlotUsed(n));
}

// A picture the pack lists whose bytes do not make a picture is damaged
// data: one box a run names the first such entry and the pack, and a name
// the pack lacks after it adds no box.  The pack also lists two pictures
// without bytes.
class DamagedSlotTest : public ScenarioAppTest {
 protected:
  void SetUp() override {
    std::vector<uint16_t> px(40 * 30, 0x07E0);
    Bytes cut = MakeRbp565(40, 30, px, 50, 37);
    cut.resize(cut.size() / 2);
    StartApp({{"AdvData\\GRP\\bg01.rbp", MakeRbp565(40, 30, px, 50, 37)},
              {"AdvData\\GRP\\none1.rbp", {}},
              {"AdvData\\GRP\\cut1.rbp", cut},
              {"AdvData\\GRP\\cut2.rbp", cut},
              {"AdvData\\GRP\\none2.rbp", {}}});
  }
};

TEST_F(DamagedSlotTest, ListedPicturesThatFailAreToldOnce) {
  const size_t before = VelmiDeviceMessageBoxes().size();
  testing::internal::CaptureStderr();
  EXPECT_EQ(app->LoadPictureSlot(3, "AdvData\\GRP\\cut1.zev", 0), 0);
  EXPECT_EQ(app->LoadPictureSlot(4, "AdvData\\GRP\\CUT2", 0), 0);
  EXPECT_EQ(app->LoadPictureSlot(5, "AdvData\\GRP\\missing.zev", 0), 0);
  testing::internal::GetCapturedStderr();
  EXPECT_EQ(app->errorWord, kErrorPictureLoad);
  const std::vector<std::string> boxes = VelmiDeviceMessageBoxes();
  ASSERT_EQ(boxes.size(), before + 1);
  const std::string& box = boxes.back();
  EXPECT_EQ(box.rfind("Error: ", 0), 0u) << box;
  EXPECT_NE(box.find(": AdvData/GRP/cut1.rbp\n"), std::string::npos) << box;  // '/' between folders
  EXPECT_EQ(box.find("cut2"), std::string::npos) << box;
  EXPECT_EQ(box.find("missing"), std::string::npos) << box;
  std::string shownPack = packPath;  // '/' between folders, as a user writes it
  std::replace(shownPack.begin(), shownPack.end(), '\\', '/');
  EXPECT_NE(box.find(shownPack + "\n"), std::string::npos) << box;
  EXPECT_NE(box.find("convert_game --screen 640x480"), std::string::npos) << box;
  // The good picture still loads.
  EXPECT_EQ(app->LoadPictureSlot(5, "AdvData\\GRP\\bg01", 0), 1);
}

// A picture the pack lists without bytes is one the converter could not
// make: the damaged-data box says so, names it and how to convert again, and
// shares the once-a-run rule with damaged pictures.
TEST_F(DamagedSlotTest, EmptyPictureEntriesAreToldAsUnconvertedOnce) {
  const size_t before = VelmiDeviceMessageBoxes().size();
  testing::internal::CaptureStderr();
  EXPECT_EQ(app->LoadPictureSlot(3, "AdvData\\GRP\\NONE1.zev", 0), 0);
  EXPECT_EQ(app->LoadPictureSlot(4, "AdvData\\GRP\\cut1", 0), 0);
  EXPECT_EQ(app->LoadPictureSlot(5, "AdvData\\GRP\\none2", 0), 0);
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(app->errorWord, kErrorPictureLoad);
  EXPECT_NE(err.find("AdvData/GRP/NONE1.zev"), std::string::npos) << err;
  const std::vector<std::string> boxes = VelmiDeviceMessageBoxes();
  ASSERT_EQ(boxes.size(), before + 1);
  const std::string& box = boxes.back();
  // The entry as read, ".rbp" forced.
  EXPECT_NE(box.find("\n" + box_words::kUnconvertedPictureLabel + "AdvData/GRP/NONE1.rbp\n"), std::string::npos) << box;
  std::string shownPack = packPath;
  std::replace(shownPack.begin(), shownPack.end(), '\\', '/');
  EXPECT_NE(box.find(shownPack + "\n"), std::string::npos) << box;
  EXPECT_NE(box.find("convert_game --screen 640x480"), std::string::npos) << box;
  EXPECT_EQ(box.find("cut1"), std::string::npos) << box;
  EXPECT_EQ(app->LoadPictureSlot(6, "AdvData\\GRP\\bg01", 0), 1);
}

// A picture the pack does not list ends the run like any failed picture,
// after a box that says the pack does not hold it, names the entry looked
// for (the name as given when it is too long to look up) and the pack, and
// how to convert again; once a run, whatever fails after it.
TEST_F(DamagedSlotTest, PicturesThePackLacksAreToldOnce) {
  const std::string longName = "AdvData\\GRP\\" + std::string(60, 'x') + ".zev";
  const struct {
    std::string name;  // as the story gives it
    std::string told;  // the entry the box names
  } cases[] = {
      {"AdvData\\GRP\\missing.zev", "AdvData/GRP/missing.rbp"},
      {"AdvData\\GRP\\ch\\gone", "AdvData/GRP/ch/gone.rbp"},
      // 背景: the box is UTF-16, shown here in UTF-8.
      {"AdvData\\GRP\\\x94w\x8ci.zev", "AdvData/GRP/\xE8\x83\x8C\xE6\x99\xAF.rbp"},
      // Cut after the lead byte of 背: the byte is shown as the code page's
      // default character, ・.
      {"AdvData\\GRP\\bg\x94", "AdvData/GRP/bg\xE3\x83\xBB.rbp"},
      {longName, "AdvData/GRP/" + std::string(60, 'x') + ".zev"},
  };
  std::string shownPack = packPath;
  std::replace(shownPack.begin(), shownPack.end(), '\\', '/');
  for (const auto& c : cases) {
    RestartApp();
    const size_t before = VelmiDeviceMessageBoxes().size();
    testing::internal::CaptureStderr();
    EXPECT_EQ(app->LoadPictureSlot(3, c.name.c_str(), 0), 0) << c.name;
    // Failures after it in the run, missing or damaged, add no box.
    EXPECT_EQ(app->LoadPictureSlot(4, "AdvData\\GRP\\other.zev", 0), 0);
    EXPECT_EQ(app->LoadPictureSlot(5, "AdvData\\GRP\\cut1.zev", 0), 0);
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(app->errorWord, kErrorPictureLoad) << c.name;
    const std::vector<std::string> boxes = VelmiDeviceMessageBoxes();
    ASSERT_EQ(boxes.size(), before + 1) << c.name;
    const std::string& box = boxes.back();
    EXPECT_EQ(box.rfind("Error: " + box_words::kPictureNotInPack, 0), 0u) << box;
    EXPECT_NE(box.find("\n" + box_words::kMissingPictureLabel + c.told + "\n" + box_words::kSearchedPackLabel +
                       shownPack + "\n"),
              std::string::npos)
        << box;
    EXPECT_NE(box.find("convert_game --screen 640x480"), std::string::npos) << box;
  }
}

TEST_F(SlotTest, SpritesOfPicturesAndRectangles) {
  ASSERT_EQ(app->LoadPictureSlot(kSlotBackground, "AdvData\\GRP\\bg01.zev", 0), 1);
  // Negative source size: the picture's whole canvas size; negative source position: 0.
  CSprite* s = app->MakePictureSprite(kSlotBackground, kSlotBackground, -5, -5, -1, -1, 100, 50, 25, 0, 48);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(app->sprites[kSlotBackground], s);
  EXPECT_EQ(s->srcLeft, 0);
  EXPECT_EQ(s->srcTop, 0);
  EXPECT_EQ(s->canvasWidth, 50);
  EXPECT_EQ(s->canvasHeight, 37);
  EXPECT_EQ(s->width, 40);
  EXPECT_EQ(s->x, 80000);
  EXPECT_EQ(s->reqOriginX, 20);
  EXPECT_EQ(s->priority, 48);
  CSprite* f = app->MakeRectSprite(7, 0, 0, 800, 600, 0x123456, 3);
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(f->kind, 6u);
  EXPECT_EQ(f->color, 0x123456u);
  EXPECT_EQ(f->priority, 3);
  // Sprite slots outside 0-511 and empty slots: nothing happens.
  for (int n : {512, -1}) {
    EXPECT_EQ(app->MakePictureSprite(n, 0, 0, 0, 10, 10, 0, 0, 0, 0, 1), nullptr);
    EXPECT_EQ(app->MakeRectSprite(n, 0, 0, 10, 10, 0, 1), nullptr);
    app->DeleteSprite(n, 1);
    app->SetSpriteRect(n, 0, 0, 0, 10, 10);
    app->SetSpriteCell(n, 0, -1, 100, 0, 0, 0, 10, 10, 0, 0);
  }
  app->SetSpriteRect(9, 0, 0, 0, 10, 10);
  EXPECT_EQ(app->sprites[9], nullptr);
  // Changing the source, and a cell with its animation number.
  app->SetSpriteRect(kSlotBackground, kSlotBackground, 25, 0, 25, 37);
  EXPECT_EQ(s->srcLeft, 20);
  EXPECT_EQ(s->width, 20);
  app->SetSpriteCell(kSlotBackground, 4, -1, 100, kSlotBackground, 0, 0, 25, 37, 0, 0, 2);
  EXPECT_EQ(s->animationStarts[2], 4);
  // Deleting with invalidation adds the sprite's area to the dirty list.
  app->dirty->Clear();
  app->DeleteSprite(kSlotBackground, 1);
  EXPECT_EQ(app->sprites[kSlotBackground], nullptr);
  std::vector<RECT> r = DirtyRects(app->dirty);
  ASSERT_EQ(r.size(), 1u);
  EXPECT_EQ(r[0].left, 80 - 20);
  app->dirty->Clear();
  app->DeleteSprite(7, 0);
  EXPECT_EQ(app->dirty->Count(), 0);
  app->MakeRectSprite(1, 0, 0, 10, 10, 0, 1);
  app->MakeRectSprite(511, 0, 0, 10, 10, 0, 1);
  app->DeleteAllSprites();
  for (int n = 0; n < kSpriteSlots; ++n) ASSERT_EQ(app->sprites[n], nullptr);
}

}  // namespace
