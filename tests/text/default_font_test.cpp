// The message font taken when none is chosen, on a desktop where Droid Sans
// Fallback (which writes Japanese but has no glyph for "…", "♪", "☆", "①"
// and many other symbols of code page 932) sits beside IPA Gothic.  The
// fonts are those of tests/text/fonts_fallback.conf.in; the test fails when
// fonts-droid-fallback is not installed.
#include <gtest/gtest.h>

#include <velmi_platform.h>
#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "player/core/display.h"
#include "player/core/font_list.h"
#include "player/core/picture.h"
#include "player/core/text_window.h"
#include "tests/text/freetype_coverage.h"
#include "tests/text/sjis_text.h"

namespace {

const bool kFontsConfigured = [] {
  setenv("FONTCONFIG_FILE", VELMI_BINARY_DIR "/tests/text/fonts_fallback.conf", 1);
  return true;
}();

struct Family {
  std::string name;  // UTF-8
  bool japanese;
};

std::vector<Family> Families() {
  std::vector<Family> out;
  auto collect = [](const LOGFONTW* lf, const TEXTMETRICW*, DWORD, LPARAM data) -> int {
    WCHAR face[LF_FACESIZE + 1] = {};
    std::copy_n(lf->lfFaceName, LF_FACESIZE, face);
    char name[128];
    WideCharToMultiByte(CP_UTF8, 0, face, -1, name, sizeof name, nullptr, nullptr);
    reinterpret_cast<std::vector<Family>*>(data)->push_back({name, lf->lfCharSet == SHIFTJIS_CHARSET});
    return 1;
  };
  EnumFontFamiliesW(GetDC(nullptr), nullptr, collect, LPARAM(&out));
  return out;
}

bool DroidInstalled() {
  for (const Family& f : Families())
    if (f.name == "Droid Sans Fallback") return true;
  return false;
}

constexpr const char* kMissing =
    "Droid Sans Fallback is not installed (bash scripts/deps.sh test installs fonts-droid-fallback)";

TEST(DefaultFont, FamiliesDrawingTheCodePageComeFirst) {
  ASSERT_TRUE(DroidInstalled()) << kMissing;
  // Both IPA families draw all but one character of the code page's
  // non-kanji rows, Droid Sans Fallback barely more than half of them; of
  // the two IPA families the fixed-pitch one leads.
  std::vector<std::string> order;
  for (const Family& f : Families()) {
    EXPECT_TRUE(f.japanese) << f.name;
    order.push_back(f.name);
  }
  EXPECT_EQ(order, (std::vector<std::string>{"IPAゴシック", "IPA Pゴシック", "Droid Sans Fallback"}));
}

TEST(DefaultFont, CountsAreFreeTypesCounts) {
  ASSERT_TRUE(DroidInstalled()) << kMissing;
  const struct {
    const char* family;
    int characters;
  } cases[] = {{"IPAゴシック", 597}, {"IPA Pゴシック", 597}, {"Droid Sans Fallback", 332}};
  for (const auto& c : cases) {
    const std::vector<VelmiFaceCoverage> faces = VelmiCodePageCoverage(c.family);
    ASSERT_EQ(faces.size(), 1u) << c.family;
    EXPECT_EQ(faces[0].characters, c.characters) << c.family;
    EXPECT_EQ(faces[0].characters, FreeTypeCoverage(faces[0].file, faces[0].index)) << faces[0].file;
  }
}

TEST(DefaultFont, WithNoFontChosenTheMessageTextDrawsRealGlyphs) {
  ASSERT_TRUE(DroidInstalled()) << kMissing;
  // The start-up rule: an empty font name takes the list's first family.
  FontList list;
  list.Build();
  char name[kFontNameSize];
  list.GetName(list.FindName(""), name);
  ASSERT_NE(name[0], '\0');
  ASSERT_EQ(SetMessageFontFace(name), 0);

  SetPlayerBuild(PlayerBuild::Ce42);
  SetCanvasWidth(640);
  SetCanvasHeight(480);
  SetScreenWidth(640);
  SetScreenHeight(480);
  CTextWindow window;
  // Each character alone through the message font; U+E000 (0xF040) is in
  // neither font, so it draws what a missing glyph draws.
  constexpr int kCell = 32;
  auto draw = [&](const std::string& sjis) {
    CPicture pic;
    EXPECT_EQ(CPicture::CreateBlank(&pic, kCell, kCell, 0, 2), 1);
    window.DrawString(&pic, sjis.c_str(), kCell, 0, 0xFFFFFF, 0, 0, 1, 0);
    std::vector<bool> ink;
    for (int i = 0; i < kCell * kCell; ++i) ink.push_back(pic.GetPixels()[i] != 0);
    pic.FreePixels();
    return ink;
  };
  const std::vector<bool> missing = draw("\xF0\x40");
  const char* chars[] = {"…", "‥", "―", "♪", "☆", "★", "①"};
  std::vector<std::vector<bool>> drawn;
  for (const char* c : chars) {
    const std::string sjis = Sjis(c);
    ASSERT_EQ(sjis.size(), 2u) << c;
    drawn.push_back(draw(sjis));
    EXPECT_NE(std::count(drawn.back().begin(), drawn.back().end(), true), 0) << c << " draws nothing in " << name;
    EXPECT_TRUE(drawn.back() != missing) << c << " draws the missing glyph in " << name;
  }
  for (size_t i = 0; i < drawn.size(); ++i)
    for (size_t j = i + 1; j < drawn.size(); ++j)
      EXPECT_TRUE(drawn[i] != drawn[j]) << chars[i] << " and " << chars[j] << " draw alike in " << name;
  // The message "……♪☆①" as one string inks every cell.
  CPicture line;
  ASSERT_EQ(CPicture::CreateBlank(&line, kCell * 5, kCell, 0, 2), 1);
  window.DrawString(&line, Sjis("……♪☆①").c_str(), kCell, 0, 0xFFFFFF, 0, 0, 1, 0);
  for (int k = 0; k < 5; ++k) {
    int ink = 0;
    for (int y = 0; y < kCell; ++y)
      for (int x = k * kCell; x < (k + 1) * kCell; ++x) ink += line.GetPixels()[y * kCell * 5 + x] != 0;
    EXPECT_GT(ink, 0) << "cell " << k;
  }
  line.FreePixels();
}

}  // namespace
