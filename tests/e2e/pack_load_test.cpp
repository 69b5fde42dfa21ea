// The converter's pack of the small sample game, read back entry by entry
// through the player's pack reader and picture loader.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "formats/le_bytes.h"
#include "formats/pack_format.h"
#include "formats/rbp_format.h"
#include "player/core/display.h"
#include "player/core/pack_reader.h"
#include "player/core/picture.h"
#include "tests/e2e/e2e_support.h"
#include "tests/support/file_io.h"
#include "tests/support/temp_folder.h"
#include "tools/sample_game.h"

namespace {

bool EndsWithNoCase(const std::string& s, const std::string& tail) {
  if (s.size() < tail.size()) return false;
  return std::equal(tail.begin(), tail.end(), s.end() - tail.size(), [](char a, char b) {
    return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
  });
}

// After the last folder separator; a Shift-JIS trail byte may be 0x5C too.
std::string FileNameOf(const std::string& path) {
  size_t start = 0;
  for (size_t i = 0; i < path.size(); ++i) {
    const uint8_t c = static_cast<uint8_t>(path[i]);
    if ((c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC))
      ++i;
    else if (c == '\\')
      start = i + 1;
  }
  return path.substr(start);
}

std::string RbpName(const std::string& path) { return path.substr(0, path.rfind('.')) + ".rbp"; }

// How the sample game draws a picture, by file name: which ones come out with
// an alpha plane (32-bit shapes, and colour-keyed chip, "sam_" and effect
// pictures whose key becomes transparency), and which draw a keyed grid.
struct Look {
  bool alpha;
  bool keyed;
};
Look LookOf(const std::string& fileName) {
  static const std::map<std::string, Look> special = {
      {"face_alpha.zev", {true, false}},   {"RainChip.ZEV", {true, false}}, {"bst_girl.zev", {true, false}},
      {"sam_icon.zev", {true, true}},      {"SAM_lz.zev", {true, true}},    {"eff.ZEV", {true, true}},
      {"common_chip00.ZEV", {true, true}}, {"sam1.zev", {false, true}}};
  const auto it = special.find(fileName);
  return it == special.end() ? Look{false, false} : it->second;
}

struct Case {
  int percent;
  int quality;
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.percent << " %, quality " << c.quality; }

class ConvertedPack : public testing::TestWithParam<Case> {};

TEST_P(ConvertedPack, EveryEntryLoadsInThePlayer) {
  const Case c = GetParam();
  const vtools::SampleTable table = vtools::SampleGameTable(vtools::SampleSize::Small);
  const std::string source = vtest::ScratchFolder("e2e", "game"), out = vtest::ScratchFolder("e2e", "out");
  ASSERT_TRUE(vtools::WriteSampleGame(source, table));
  const e2e::ConversionResult run = e2e::Convert(source, out, c.percent, c.quality);
  EXPECT_TRUE(run.finished);
  EXPECT_EQ(run.failures, 0);
  EXPECT_EQ(run.done, run.total);

  // The player's own view of the screen it targets.
  const int screenW = c.percent == 40 ? 320 : 640, screenH = c.percent == 40 ? 240 : 480;
  SetCanvasWidth(800);
  SetCanvasHeight(600);
  SetScreenWidth(screenW);
  SetScreenHeight(screenH);

  const std::string pack = e2e::PlayerPath(out + (c.percent == 40 ? "/data/grpack.mlz" : "/data/grpack_v.mlz"));
  PackReader reader;
  DWORD size = 0;
  BYTE* chip = ReadPackEntry(&reader, pack.c_str(), "chip.rbp", &size);
  ASSERT_NE(chip, nullptr);
  LocalFree(chip);
  std::set<std::string> entries;
  for (DWORD i = 0; i < reader.entryCount; ++i) {
    RlzPackEntry e;
    LoadRlzPackEntry(reader.directory + RlzDirectorySize(i), &e);
    entries.insert(std::string(e.name, strnlen(e.name, sizeof e.name)));
  }
  EXPECT_EQ(entries.size(), reader.entryCount) << "duplicate names";

  // What the pack must hold: every picture, script and map of the game.
  std::map<std::string, const vtools::SampleFile*> expected;
  for (const vtools::SampleFile& row : table) {
    if (!row.make || row.path[0] == '.') continue;
    const std::string name = FileNameOf(row.path);
    if (EndsWithNoCase(name, ".zev") && !EndsWithNoCase(row.path, "startup.zev")) {
      expected[RbpName(row.path)] = &row;
    } else if (EndsWithNoCase(name, ".mes") || EndsWithNoCase(name, ".map")) {
      expected[row.path] = &row;
    }
  }
  std::set<std::string> expectedNames = {"chip.rbp"};
  for (const auto& [name, row] : expected) expectedNames.insert(name);
  EXPECT_EQ(entries, expectedNames);

  int pictures = 0, jbp1 = 0;
  for (const std::string& name : entries) {
    SCOPED_TRACE(name);
    if (!EndsWithNoCase(name, ".rbp")) {
      // Scripts and maps come back byte for byte; an empty one reads as nothing.
      const auto it = expected.find(name);
      ASSERT_NE(it, expected.end());
      const std::vector<uint8_t> want = it->second->make();
      DWORD got = 123;
      BYTE* data = ReadPackEntry(&reader, pack.c_str(), name.c_str(), &got);
      if (want.empty()) {
        EXPECT_EQ(data, nullptr);
        EXPECT_EQ(got, 0u);
      } else {
        ASSERT_NE(data, nullptr);
        EXPECT_EQ(std::vector<uint8_t>(data, data + got), want);
      }
      if (data) LocalFree(data);
      continue;
    }

    ++pictures;
    DWORD rawSize = 0;
    BYTE* raw = ReadPackEntry(&reader, pack.c_str(), name.c_str(), &rawSize);
    ASSERT_NE(raw, nullptr);
    ASSERT_GE(rawSize, 36u);
    const uint32_t type = GetLe32(raw + 4);
    LocalFree(raw);
    const bool jpeg = type == RBP_TYPE_JBP1 || type == RBP_TYPE_JBP1_ALPHA;
    jbp1 += jpeg;
    CPicture pic;
    ASSERT_EQ(LoadPicture(&pic, name.c_str(), pack.c_str(), 0, &reader), 1);
    const uint32_t w = pic.width, h = pic.height;
    EXPECT_GE(w, 1u);
    EXPECT_GE(h, 1u);
    EXPECT_LE(w, uint32_t(screenW));
    EXPECT_LE(h, uint32_t(screenH));
    ASSERT_NE(pic.pixels, nullptr);
    if (name == "chip.rbp") {
      // The converter's own tile sheet, the same size at either scale.
      EXPECT_EQ(pic.depth, 16u);
      EXPECT_EQ(w, 128u);
      EXPECT_EQ(h, 128u);
      pic.FreePixels();
      continue;
    }
    // The design size (800 x 600 units) scales to the stored size.
    EXPECT_NEAR(pic.canvasWidth * c.percent / 100.0, w, 1.0);
    EXPECT_NEAR(pic.canvasHeight * c.percent / 100.0, h, 1.0);
    const std::string source = FileNameOf(expected.at(name)->path);
    const Look look = LookOf(source);
    EXPECT_EQ(pic.depth, look.alpha ? 24u : 16u);
    EXPECT_EQ(pic.alpha != nullptr, look.alpha);

    // The name's colour, at a point the generator fills with a shade of it:
    // inside the first grid cell for keyed pictures, else the middle.
    uint32_t px = w / 2, py = h / 2;
    if (look.keyed) px = py = 8 * c.percent / 100;
    const size_t at = size_t(py) * w + px;
    if (pic.alpha) {
      EXPECT_GE(pic.alpha[at], 250);
      EXPECT_EQ(pic.alpha[0], 0) << "corner of a shape or key";
    }
    const uint16_t p = pic.GetPixels()[at];
    const double got[3] = {double(Blue8(p) | Blue8(p) >> 5), double(Green8(p) | Green8(p) >> 6),
                           double(Red8(p) | Red8(p) >> 5)};
    uint8_t base[3];
    vtools::NameColour(source, base);
    // got = k x base for some shade k; what is left over is the error.
    double dot = 0, norm = 0;
    for (int i = 0; i < 3; ++i) {
      dot += got[i] * base[i];
      norm += double(base[i]) * base[i];
    }
    // RGB565 is within 8 a channel; JPEG's 4:2:0 chroma lets the key colour
    // around a small keyed cell bleed in a little more.
    const double k = dot / norm;
    double worst = 0;
    for (int i = 0; i < 3; ++i) worst = std::max(worst, std::abs(got[i] - k * base[i]));
    EXPECT_GT(k, 0.4);
    EXPECT_LT(k, 1.1);
    EXPECT_LE(worst, jpeg ? 32.0 : 12.0) << "pixel (" << px << ", " << py << ") 0x" << std::hex << p;
    pic.FreePixels();
  }
  EXPECT_GT(pictures, 15);
  // Quality 0 stores every picture as RGB565; a quality code re-codes the
  // pictures large enough for JPEG blocks.
  if (c.quality == 0)
    EXPECT_EQ(jbp1, 0);
  else
    EXPECT_GT(jbp1, pictures / 2);
}

INSTANTIATE_TEST_SUITE_P(Scales, ConvertedPack, testing::Values(Case{40, 0}, Case{40, 2}, Case{80, 0}, Case{80, 2}),
                         [](const testing::TestParamInfo<Case>& i) {
                           return "p" + std::to_string(i.param.percent) + "_q" + std::to_string(i.param.quality);
                         });

}  // namespace
