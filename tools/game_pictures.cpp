#include "tools/game_pictures.h"

#include "player/scenario/story_tables.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace vtools {
namespace {

using K = GamePictureKind;

// Sizes: the right and bottom edge of the largest cell that a screen cuts.
const std::vector<GamePictureRow> kRows = {
    // Logo and title picture sets; columns 0 and 1 scroll through 800 x 1200.
    {"AdvData\\GRP\\SYSTEM\\logo.ZEV", 0, 800, 600, K::Opaque},
    {"AdvData\\GRP\\SYSTEM\\title_daytime_BG00.ZEV", 0, 800, 1200, K::Opaque},
    {"AdvData\\GRP\\SYSTEM\\title_daytime_BG01.ZEV", 0, 800, 1200, K::Opaque},
    {"AdvData\\GRP\\SYSTEM\\title_daytime_BG02.ZEV", 0, 800, 600, K::Opaque},
    {"AdvData\\GRP\\SYSTEM\\title_daytime_BG03.ZEV", 0, 800, 600, K::Opaque},
    {"AdvData\\GRP\\SYSTEM\\title_daytime_BG04.ZEV", 0, 800, 600, K::Opaque},
    {"AdvData\\GRP\\SYSTEM\\title_daytime_BG04b.ZEV", 0, 800, 600, K::Opaque},
    {"AdvData\\GRP\\SYSTEM\\title_daytime_chip01.ZEV", 0, 768, 400, K::Opaque},
    {"AdvData\\GRP\\SYSTEM\\title_evening_BG00.ZEV", 0, 800, 1200, K::Opaque},
    {"AdvData\\GRP\\SYSTEM\\title_evening_BG01.ZEV", 0, 800, 1200, K::Opaque},
    {"AdvData\\GRP\\SYSTEM\\title_evening_BG02.ZEV", 0, 800, 600, K::Opaque},
    {"AdvData\\GRP\\SYSTEM\\title_evening_BG03.ZEV", 0, 800, 600, K::Opaque},
    {"AdvData\\GRP\\SYSTEM\\title_evening_BG04.ZEV", 0, 800, 600, K::Opaque},
    {"AdvData\\GRP\\SYSTEM\\title_evening_BG04b.ZEV", 0, 800, 600, K::Opaque},
    {"AdvData\\GRP\\SYSTEM\\title_evening_chip01.ZEV", 0, 768, 400, K::Opaque},
    {"AdvData\\GRP\\SYSTEM\\title_night_BG00.ZEV", 0, 800, 1200, K::Opaque},
    {"AdvData\\GRP\\SYSTEM\\title_night_BG01.ZEV", 0, 800, 1200, K::Opaque},
    {"AdvData\\GRP\\SYSTEM\\title_night_BG02.ZEV", 0, 800, 600, K::Opaque},
    {"AdvData\\GRP\\SYSTEM\\title_night_BG03.ZEV", 0, 800, 600, K::Opaque},
    {"AdvData\\GRP\\SYSTEM\\title_night_BG04.ZEV", 0, 800, 600, K::Opaque},
    {"AdvData\\GRP\\SYSTEM\\title_night_BG04b.ZEV", 0, 800, 600, K::Opaque},
    {"AdvData\\GRP\\SYSTEM\\title_night_chip01.ZEV", 0, 768, 400, K::Opaque},
    // Message window: frame, panel, side buttons, captions, choice plates.
    {"AdvData\\GRP\\SYSTEM\\Messwin.ZEV", 0, 800, 511, K::Opaque},
    {"AdvData\\GRP\\bg\\black.ZEV", 0, 800, 600, K::Opaque},
    {"AdvData\\GRP\\SYSTEM\\eff.ZEV", 0, 800, 600, K::Rule},
    // Confirmation, quick option, save and load, character icons.
    {"AdvData\\GRP\\SYSTEM\\yn_chip00.ZEV", 0, 456, 128, K::Keyed},
    {"AdvData\\GRP\\SYSTEM\\quickoption_chip00.ZEV", 0, 240, 600, K::Opaque},
    {"AdvData\\GRP\\SYSTEM\\save_BG00.ZEV", 0, 800, 600, K::Opaque},
    {"AdvData\\GRP\\SYSTEM\\save_BG01.ZEV", 0, 800, 600, K::Opaque},
    {"AdvData\\GRP\\SYSTEM\\load_BG00.ZEV", 0, 800, 600, K::Opaque},
    {"AdvData\\GRP\\SYSTEM\\load_BG01.ZEV", 0, 800, 600, K::Opaque},
    {"AdvData\\GRP\\SYSTEM\\saveandload_chip00.ZEV", 0, 576, 289, K::Keyed},
    {"AdvData\\GRP\\SYSTEM\\common_save_chip00.ZEV", 0, 256, 144, K::Keyed},
    {"AdvData\\GRP\\SYSTEM\\common_load_chip00.ZEV", 0, 256, 144, K::Keyed},
    {"AdvData\\GRP\\SYSTEM\\charactericom.ZEV", 0, 896, 425, K::Keyed},
    // Configuration and voice configuration, with the system-voice chooser.
    {"AdvData\\GRP\\SYSTEM\\systemconfig_bg.ZEV", 0, 800, 600, K::Opaque},
    {"AdvData\\GRP\\SYSTEM\\systemconfig_chip00.ZEV", 0, 1152, 680, K::Keyed},
    {"AdvData\\GRP\\SYSTEM\\systemconfig_chip01.ZEV", 0, 1664, 208, K::Keyed},
    {"AdvData\\GRP\\SYSTEM\\common_chip00.ZEV", 0, 112, 65, K::Keyed},
    {"AdvData\\GRP\\SYSTEM\\voiceconfig_BG00.ZEV", 0, 800, 600, K::Opaque},
    {"AdvData\\GRP\\SYSTEM\\voiceconfig_chip00.ZEV", 0, 528, 64, K::Keyed},
    {"AdvData\\GRP\\SYSTEM\\voiceconfig_chip01.ZEV", 0, 1152, 360, K::Keyed},
    // Picture gallery.
    {"AdvData\\GRP\\SYSTEM\\cgmode_BG00.ZEV", 0, 800, 600, K::Opaque},
    {"AdvData\\GRP\\SYSTEM\\common_cg_chip00.ZEV", 0, 256, 258, K::Keyed},
    {"AdvData\\GRP\\SYSTEM\\cgmode_dummychip.ZEV", 0, 272, 72, K::Keyed},
    {"AdvData\\GRP\\SYSTEM\\scenereplay_chip.ZEV", 0, 528, 431, K::Keyed},
    {"AdvData\\GRP\\SYSTEM\\thumbnail_vlm.ZEV", 0, 960, 288, K::Keyed},
    {"AdvData\\GRP\\SYSTEM\\thumbnail_dov.ZEV", 0, 960, 288, K::Keyed},
    {"AdvData\\GRP\\SYSTEM\\thumbnail_fnr.ZEV", 0, 960, 288, K::Keyed},
    {"AdvData\\GRP\\SYSTEM\\thumbnail_olw.ZEV", 0, 960, 288, K::Keyed},
    {"AdvData\\GRP\\SYSTEM\\thumbnail_brs.ZEV", 0, 960, 288, K::Keyed},
    {"AdvData\\GRP\\SYSTEM\\thumbnail_lup.ZEV", 0, 960, 288, K::Keyed},
    {"AdvData\\GRP\\SYSTEM\\thumbnail_hsr.ZEV", 0, 960, 288, K::Keyed},
    {"AdvData\\GRP\\SYSTEM\\thumbnail_cmn.ZEV", 0, 960, 288, K::Keyed},
    // Scene replay: the page pictures of every tab.
    {"AdvData\\GRP\\SYSTEM\\scenereplay_BG00.ZEV", 0, 800, 600, K::Opaque},
    {"AdvData\\GRP\\SYSTEM\\common_kaiso_chip00.ZEV", 0, 256, 144, K::Keyed},
    {"AdvData\\GRP\\SYSTEM\\scenereplay_dummychip.ZEV", 0, 672, 112, K::Keyed},
    {"AdvData\\GRP\\SYSTEM\\sam_vlm_%02d.ZEV", 12, 128, 192, K::Keyed},
    {"AdvData\\GRP\\SYSTEM\\sam_dov_%02d.ZEV", 11, 128, 192, K::Keyed},
    {"AdvData\\GRP\\SYSTEM\\sam_fnr_%02d.ZEV", 9, 128, 192, K::Keyed},
    {"AdvData\\GRP\\SYSTEM\\sam_olw_%02d.ZEV", 11, 128, 192, K::Keyed},
    {"AdvData\\GRP\\SYSTEM\\sam_brs_%02d.ZEV", 11, 128, 192, K::Keyed},
    {"AdvData\\GRP\\SYSTEM\\sam_lup_%02d.ZEV", 12, 128, 192, K::Keyed},
    {"AdvData\\GRP\\SYSTEM\\sam_other_%02d.ZEV", 29, 128, 192, K::Keyed},
    {"AdvData\\GRP\\SYSTEM\\sam_hsr_%02d.ZEV", 4, 128, 192, K::Keyed},
    // Music mode: 46 title cells in three columns of 18 rows, three forms each.
    {"AdvData\\GRP\\SYSTEM\\musicmode_BG00.ZEV", 0, 800, 600, K::Opaque},
    {"AdvData\\GRP\\SYSTEM\\musicmode_BG01.ZEV", 0, 800, 600, K::Opaque},
    {"AdvData\\GRP\\SYSTEM\\musicmode_chip00.ZEV", 0, 256, 280, K::Keyed},
    {"AdvData\\GRP\\SYSTEM\\bgm_sam.ZEV", 0, 888, 1728, K::Keyed},
    // Interviews.
    {"AdvData\\GRP\\SYSTEM\\interviewBG_00.ZEV", 0, 800, 600, K::Opaque},
    {"AdvData\\GRP\\SYSTEM\\interviewBG_01.ZEV", 0, 800, 600, K::Opaque},
    {"AdvData\\GRP\\SYSTEM\\interviewBG_vlm.ZEV", 0, 800, 600, K::Opaque},
    {"AdvData\\GRP\\SYSTEM\\interviewBG_dov.ZEV", 0, 800, 600, K::Opaque},
    {"AdvData\\GRP\\SYSTEM\\interviewBG_brs.ZEV", 0, 800, 600, K::Opaque},
    {"AdvData\\GRP\\SYSTEM\\interviewBG_lup.ZEV", 0, 800, 600, K::Opaque},
    {"AdvData\\GRP\\SYSTEM\\interviewBG_olw.ZEV", 0, 800, 600, K::Opaque},
    {"AdvData\\GRP\\SYSTEM\\interviewBG_fnr.ZEV", 0, 800, 600, K::Opaque},
    {"AdvData\\GRP\\SYSTEM\\interviewBG_wnr.ZEV", 0, 800, 600, K::Opaque},
    {"AdvData\\GRP\\SYSTEM\\interviewBG_rwa.ZEV", 0, 800, 600, K::Opaque},
    {"AdvData\\GRP\\SYSTEM\\interviewBG_kalv.ZEV", 0, 800, 600, K::Opaque},
    {"AdvData\\GRP\\SYSTEM\\interviewBG_hsr.ZEV", 0, 800, 600, K::Opaque},
    {"AdvData\\GRP\\SYSTEM\\interviewChip_00.ZEV", 0, 1104, 304, K::Keyed},
    // Alarm choice and mini game (obake_chip00 is loaded but never shown).
    {"AdvData\\GRP\\SYSTEM\\alarm_chip00.ZEV", 0, 1240, 320, K::Keyed},
    {"AdvData\\GRP\\SYSTEM\\obake_BG00.ZEV", 0, 800, 600, K::Opaque},
    {"AdvData\\GRP\\SYSTEM\\obake_chip00.ZEV", 0, 64, 64, K::Keyed},
    {"AdvData\\GRP\\SYSTEM\\obake_chip01.ZEV", 0, 272, 304, K::Keyed},
    {"AdvData\\GRP\\SYSTEM\\obake_chip02.ZEV", 0, 800, 368, K::Keyed},
    // Weather: strips of 32 x 24 animation cells.
    {"AdvData\\GRP\\SYSTEM\\sacra01.ZEV", 0, 256, 164, K::Keyed},
    {"AdvData\\GRP\\SYSTEM\\sacra02.ZEV", 0, 256, 164, K::Keyed},
    {"AdvData\\GRP\\SYSTEM\\yuki01.ZEV", 0, 256, 164, K::Keyed},
    {"AdvData\\GRP\\SYSTEM\\saku_yuki01.ZEV", 0, 256, 164, K::Keyed},
    {"AdvData\\GRP\\SYSTEM\\saku_yuki02.ZEV", 0, 256, 164, K::Keyed},
    // Map movement: both maps, spots and portraits, heroine figures
    // (168 x 152 frames, five to a row, highlighted rows 762 lower).
    {"AdvData\\GRP\\MAP\\moveschool_BG00.ZEV", 0, 800, 600, K::Opaque},
    {"AdvData\\GRP\\MAP\\moveisland_BG00.ZEV", 0, 800, 600, K::Opaque},
    {"AdvData\\GRP\\MAP\\moveschool_chip00.ZEV", 0, 424, 393, K::Keyed},
    {"AdvData\\GRP\\MAP\\moveland_chip00.ZEV", 0, 424, 337, K::Keyed},
    {"AdvData\\GRP\\MAP\\moveschool_chip01.ZEV", 0, 264, 1256, K::Keyed},
    {"AdvData\\GRP\\MAP\\moveisland_chip01.ZEV", 0, 192, 536, K::Keyed},
    {"AdvData\\GRP\\MAP\\movestop.ZEV", 0, 841, 320, K::Keyed},
    {"AdvData\\GRP\\MAP\\chip_velmi.ZEV", 0, 840, 1370, K::Opaque},
    {"AdvData\\GRP\\MAP\\chip_dova.ZEV", 0, 840, 1370, K::Opaque},
    {"AdvData\\GRP\\MAP\\chip_olwe.ZEV", 0, 840, 1370, K::Opaque},
    {"AdvData\\GRP\\MAP\\chip_berisa.ZEV", 0, 840, 1370, K::Opaque},
    {"AdvData\\GRP\\MAP\\chip_lupa.ZEV", 0, 840, 1370, K::Opaque},
    {"AdvData\\GRP\\MAP\\chip_fenira.ZEV", 0, 840, 1522, K::Opaque},
    // Ending roll (pictures 1 to 19) and the six slide sets.
    {"AdvData\\GRP\\ED\\Gend_%02d.ZEV", 19, 800, 600, K::Opaque},
    {"AdvData\\GRP\\ED\\Gend_hsr_%02d.ZEV", 19, 800, 600, K::Opaque},
    {"AdvData\\GRP\\ED\\ed_vlm_%02d.ZEV", 24, 800, 600, K::Opaque},
    {"AdvData\\GRP\\ED\\ed_dov_%02d.ZEV", 24, 800, 600, K::Opaque},
    {"AdvData\\GRP\\ED\\ed_brs_%02d.ZEV", 19, 800, 600, K::Opaque},
    {"AdvData\\GRP\\ED\\ed_fnr_%02d.ZEV", 18, 800, 600, K::Opaque},
    {"AdvData\\GRP\\ED\\ed_olw_%02d.ZEV", 18, 800, 600, K::Opaque},
    {"AdvData\\GRP\\ED\\ed_lup_%02d.ZEV", 19, 800, 600, K::Opaque},
};

// 3 x 5 digits and a comma, one row of bits (bit 2 = left column) per line.
const uint8_t kDigits[11][5] = {
    {7, 5, 5, 5, 7}, {2, 6, 2, 2, 7}, {7, 1, 7, 4, 7}, {7, 1, 3, 1, 7}, {5, 5, 7, 1, 1}, {7, 4, 7, 1, 7},
    {7, 4, 7, 5, 7}, {7, 1, 1, 2, 2}, {7, 5, 7, 5, 7}, {7, 5, 7, 1, 7}, {0, 0, 0, 2, 4},
};

// Palette entries of a drawn picture.
enum : uint8_t { kLine, kInk, kKey, kSolid, kShade0 };

struct Canvas {
  ZevPicture& pic;
  void Put(int x, int y, uint8_t index) {
    if (x < 0 || y < 0 || x >= pic.width || y >= pic.height) return;
    pic.pixels[size_t(y) * pic.width + x] = index;
  }
  // Text of digits and commas at (x, y), each font pixel scale x scale.
  void Text(int x, int y, const char* text, int scale, uint8_t index) {
    for (; *text; ++text, x += 4 * scale) {
      const int glyph = *text == ',' ? 10 : *text - '0';
      if (glyph < 0 || glyph > 10) continue;
      for (int row = 0; row < 5; ++row)
        for (int col = 0; col < 3; ++col)
          if (kDigits[glyph][row] & (4 >> col))
            for (int dy = 0; dy < scale; ++dy)
              for (int dx = 0; dx < scale; ++dx) Put(x + col * scale + dx, y + row * scale + dy, index);
    }
  }
};

}  // namespace

const std::vector<GamePictureRow>& GamePictureTable() { return kRows; }

std::vector<GamePicture> GamePictures(const std::vector<std::string>& storyPictures) {
  std::vector<GamePicture> out;
  for (const GamePictureRow& row : kRows) {
    if (row.count == 0) {
      out.push_back({row.path, row.width, row.height, row.kind});
      continue;
    }
    for (int n = 1; n <= row.count; ++n) {
      char path[96];
      std::snprintf(path, sizeof path, row.path, n);
      out.push_back({path, row.width, row.height, row.kind});
    }
  }
  for (const std::string& name : storyPictures) out.push_back({"AdvData\\GRP\\" + name + ".ZEV", 800, 600, K::Opaque});
  return out;
}

std::vector<std::string> StoryTablePictures() {
  std::vector<std::string> out;
  auto add = [&out](const std::string& name) {
    if (!name.empty() && std::find(out.begin(), out.end(), name) == out.end()) out.push_back(name);
  };
  for (const CgEntry* e = g_CgTable; e->name && e->name[0]; ++e) add(std::string("bg\\") + e->name);
  for (const char* const* n = g_EventPictureNames; *n && (*n)[0]; ++n) add(*n);
  return out;
}

ZevPicture DrawGamePicture(const std::string& fileName, int width, int height, GamePictureKind kind) {
  ZevPicture pic;
  pic.width = width;
  pic.height = height;
  pic.bitsPerPixel = 8;
  pic.pixels.resize(size_t(width) * height);
  uint8_t base[3];
  NameColour(fileName, base);
  const bool keyed = kind != K::Opaque;
  // Large pictures get a coarser grid with larger digits.
  const bool large = std::min(width, height) >= 300;
  const int step = large ? 100 : 50, scale = large ? 2 : 1;

  // Palette (B, G, R): grid lines (the key where the key becomes alpha),
  // ink, key, the solid name colour, then one shade per row of a cell: a
  // soft vertical gradient, so the cells read apart.
  auto add = [&](uint8_t b, uint8_t g, uint8_t r) { pic.palette.insert(pic.palette.end(), {b, g, r}); };
  if (keyed)
    add(255, 0, 255);
  else
    add(base[0] / 2, base[1] / 2, base[2] / 2);
  add(0, 0, 0);
  add(255, 0, 255);
  add(base[0], base[1], base[2]);
  for (int k = 0; k < step; ++k) {
    const int lift = 200 + 55 * k / step;
    add(uint8_t(base[0] * lift / 255), uint8_t(base[1] * lift / 255), uint8_t(base[2] * lift / 255));
  }

  for (int y = 0; y < height; ++y) {
    uint8_t* out = &pic.pixels[size_t(y) * width];
    std::memset(out, y % step == 0 ? kLine : kShade0 + y % step, size_t(width));
    for (int x = 0; x < width; x += step) out[x] = kLine;
  }
  Canvas canvas{pic};
  char label[24];
  for (int y0 = 0; y0 < height; y0 += step)
    for (int x0 = 0; x0 < width; x0 += step) {
      std::snprintf(label, sizeof label, "%d,%d", x0, y0);
      canvas.Text(x0 + 2 * scale, y0 + 2 * scale, label, scale, kInk);
    }

  if (kind == K::Rule) {
    // Frame q covers canvas columns 32q .. 32q + 31 of the top 32 rows: a
    // diamond that shrinks from the whole tile (q = 0) to nothing (q = 24).
    for (int y = 0; y < std::min(32, height); ++y)
      for (int x = 0; x < std::min(25 * 32, width); ++x) {
        const int q = x / 32;
        const double d = std::abs(x % 32 - 15.5) + std::abs(y - 15.5);
        canvas.Put(x, y, d > 32.0 * (24 - q) / 24 ? kKey : kSolid);
      }
  }
  return pic;
}

void AddGamePictureRows(SampleTable& table, const std::vector<std::string>& storyPictures) {
  for (const GamePicture& p : GamePictures(storyPictures)) {
    const size_t slash = p.path.rfind('\\');
    const std::string name = slash == std::string::npos ? p.path : p.path.substr(slash + 1);
    table.push_back(SampleFile{p.path, [name, p] {
                                 ZevOptions options;
                                 options.deflateLevel = 1;  // keeps the generator quick
                                 return WriteZev(DrawGamePicture(name, p.width, p.height, p.kind), options);
                               }});
  }
}

}  // namespace vtools
