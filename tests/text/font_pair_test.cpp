// A Japanese family of two faces that draw different counts of code page
// 932's non-kanji characters: IPA Gothic (all but one) and Droid Sans
// Fallback (barely more than half) made one family, "Gothic Pair", beside
// IPA P Gothic (fonts_pair.conf.in).  The poorer face decides the family's
// place.  The fonts come from fonts-ipafont-gothic and fonts-droid-fallback.
#include <gtest/gtest.h>

#include <velmi_platform.h>
#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/text/freetype_coverage.h"

namespace {

const bool kFontsConfigured = [] {
  setenv("FONTCONFIG_FILE", VELMI_PAIR_CONF, 1);
  return true;
}();

std::vector<std::string> Families() {
  std::vector<std::string> out;
  auto collect = [](const LOGFONTW* lf, const TEXTMETRICW*, DWORD, LPARAM data) -> int {
    WCHAR face[LF_FACESIZE + 1] = {};
    std::copy_n(lf->lfFaceName, LF_FACESIZE, face);
    char name[128];
    WideCharToMultiByte(CP_UTF8, 0, face, -1, name, sizeof name, nullptr, nullptr);
    reinterpret_cast<std::vector<std::string>*>(data)->push_back(name);
    return 1;
  };
  EnumFontFamiliesW(GetDC(nullptr), nullptr, collect, LPARAM(&out));
  return out;
}

TEST(FontPair, ThePoorerFaceDecidesTheFamilysPlace) {
  const std::vector<VelmiFaceCoverage> faces = VelmiCodePageCoverage("Gothic Pair");
  ASSERT_EQ(faces.size(), 2u) << "the linked test fonts are missing (bash scripts/deps.sh test installs them)";
  std::vector<int> counts;
  for (const VelmiFaceCoverage& f : faces) {
    EXPECT_EQ(f.characters, FreeTypeCoverage(f.file, f.index)) << f.file;
    counts.push_back(f.characters);
  }
  std::sort(counts.begin(), counts.end());
  EXPECT_EQ(counts, (std::vector<int>{332, 597}));
  // On its richer face the pair would tie with IPA P Gothic and lead by name.
  EXPECT_EQ(Families(), (std::vector<std::string>{"IPA Pゴシック", "Gothic Pair"}));
}

}  // namespace
