#include "tools/sample_game.h"

#include "tools/game_pictures.h"
#include "tools/sample_scripts.h"
#include "tools/sample_sounds.h"

#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <set>
#include <vector>

namespace vtools {
namespace {

std::string FileNameOf(const std::string& sjisPath) {
  // The last single-byte '\' outside a double-byte character.
  size_t start = 0;
  for (size_t i = 0; i < sjisPath.size(); ++i) {
    const uint8_t c = static_cast<uint8_t>(sjisPath[i]);
    if ((c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC)) {
      ++i;
    } else if (c == '\\') {
      start = i + 1;
    }
  }
  return sjisPath.substr(start);
}

// Through the layer's code pages (the ANSI code page is 932), as the
// converter reads the names.
std::string Cp932ToUtf8(const std::string& in) {
  if (in.empty()) return in;
  const int n = static_cast<int>(in.size());
  const int wide = MultiByteToWideChar(CP_ACP, 0, in.data(), n, nullptr, 0);
  if (wide <= 0) return in;
  std::vector<WCHAR> units(static_cast<size_t>(wide));
  MultiByteToWideChar(CP_ACP, 0, in.data(), n, units.data(), wide);
  const int bytes = WideCharToMultiByte(CP_UTF8, 0, units.data(), wide, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return in;
  std::string out(static_cast<size_t>(bytes), '\0');
  WideCharToMultiByte(CP_UTF8, 0, units.data(), wide, out.data(), bytes, nullptr, nullptr);
  return out;
}

uint8_t Shade(int v, int num, int den) { return static_cast<uint8_t>(std::clamp(v * num / den, 0, 255)); }

}  // namespace

void NameColour(const std::string& name, uint8_t bgr[3]) {
  uint32_t h = 2166136261u;
  for (char c : name) h = (h ^ static_cast<uint8_t>(c)) * 16777619u;
  // Hue from the name, strong saturation, so neighbours differ at a glance.
  const double hue = (h % 360) / 60.0;
  const double s = 0.75, v = 0.92;
  const int sector = static_cast<int>(hue) % 6;
  const double f = hue - std::floor(hue);
  const double p = v * (1 - s), q = v * (1 - s * f), t = v * (1 - s * (1 - f));
  double r = v, g = t, b = p;
  switch (sector) {
    case 0:
      r = v;
      g = t;
      b = p;
      break;
    case 1:
      r = q;
      g = v;
      b = p;
      break;
    case 2:
      r = p;
      g = v;
      b = t;
      break;
    case 3:
      r = p;
      g = q;
      b = v;
      break;
    case 4:
      r = t;
      g = p;
      b = v;
      break;
    default:
      r = v;
      g = p;
      b = q;
      break;
  }
  bgr[0] = static_cast<uint8_t>(b * 255);
  bgr[1] = static_cast<uint8_t>(g * 255);
  bgr[2] = static_cast<uint8_t>(r * 255);
}

ZevPicture DrawSamplePicture(const std::string& name, const SamplePictureOptions& spec) {
  ZevPicture pic;
  pic.width = spec.width;
  pic.height = spec.height;
  pic.bitsPerPixel = spec.bitsPerPixel;
  const int w = spec.width, h = std::max(1, spec.height);
  uint8_t base[3];
  NameColour(name, base);
  const bool keyed = spec.look == PictureLook::KeyedGrid;
  auto cellOn = [](int x, int y) {
    return ((x / 16 + y / 16) & 1) == 0 && x % 16 >= 3 && x % 16 < 13 && y % 16 >= 3 && y % 16 < 13;
  };
  auto gridLine = [](int x, int y) { return x % 16 == 0 || y % 16 == 0; };

  if (spec.bitsPerPixel == 8) {
    const int count = std::max(1, spec.paletteCount);
    // 0: name colour, 1: grid (darker), 2: magenta key, 3..: bands of the name colour.
    for (int i = 0; i < count; ++i) {
      uint8_t e[3];
      for (int c = 0; c < 3; ++c) {
        if (i == 0)
          e[c] = base[c];
        else if (i == 1)
          e[c] = Shade(base[c], 1, 2);
        else if (i == 2)
          e[c] = c == 1 ? 0 : 255;
        else
          e[c] = Shade(base[c], 128 + 127 * (i - 3) / std::max(1, count - 3), 255);
      }
      pic.palette.insert(pic.palette.end(), e, e + 3);
    }
    const int bands = count - 3;
    for (int y = 0; y < spec.height; ++y) {
      for (int x = 0; x < w; ++x) {
        uint8_t idx = 0;
        if (count >= 3 && keyed) {
          idx = cellOn(x, y) ? (bands > 0 ? static_cast<uint8_t>(3 + y * bands / h) : 0) : 2;
        } else if (count >= 2 && gridLine(x, y)) {
          idx = 1;
        } else if (bands > 0) {
          idx = static_cast<uint8_t>(3 + y * bands / h);
        }
        pic.pixels.push_back(idx);
      }
    }
    return pic;
  }

  const int p = spec.bitsPerPixel / 8;
  pic.pixels.resize(static_cast<size_t>(w) * spec.height * p);
  const double cx = (w - 1) / 2.0, cy = (spec.height - 1) / 2.0;
  const double radius = 0.45 * std::min(w, spec.height);
  for (int y = 0; y < spec.height; ++y) {
    for (int x = 0; x < w; ++x) {
      uint8_t* px = &pic.pixels[(static_cast<size_t>(y) * w + x) * p];
      // A soft vertical gradient so the picture is not flat.
      const int lift = 160 + 95 * y / h;
      for (int c = 0; c < 3; ++c) px[c] = Shade(base[c], lift, 255);
      if (gridLine(x, y)) {
        for (int c = 0; c < 3; ++c) px[c] = Shade(base[c], 1, 2);
      }
      if (keyed && !cellOn(x, y)) {
        px[0] = 255;
        px[1] = 0;
        px[2] = 255;
      }
      if (p == 4) {
        uint8_t alpha = 255;
        if (spec.look == PictureLook::AlphaShape) {
          const double d = std::hypot(x - cx, y - cy);
          alpha = d >= radius ? 0 : d <= 0.8 * radius ? 255 : static_cast<uint8_t>(255 * (radius - d) / (0.2 * radius));
          if (alpha == 0) {
            // Transparent surround in the key colour, as the desktop pictures have it.
            px[0] = 255;
            px[1] = 0;
            px[2] = 255;
          }
        }
        px[3] = alpha;
      }
    }
  }
  return pic;
}

SampleFile BytesFile(std::string path, std::vector<uint8_t> bytes) {
  return SampleFile{std::move(path), [b = std::move(bytes)] { return b; }};
}

SampleFile TextFile(std::string path, std::string text) {
  return SampleFile{std::move(path), [t = std::move(text)] { return std::vector<uint8_t>(t.begin(), t.end()); }};
}

SampleFile PictureFile(std::string path, SamplePictureOptions spec) {
  const std::string name = FileNameOf(path);
  return SampleFile{std::move(path), [name, spec] {
                      ZevOptions options;
                      options.variant = spec.variant;
                      options.filters = spec.filters;
                      return WriteZev(DrawSamplePicture(name, spec), options);
                    }};
}

SampleFile FolderEntry(std::string path) { return SampleFile{std::move(path), nullptr}; }

void AddBaseRows(SampleTable& t) {
  t.push_back(TextFile("QR2.exe", "QR2 sample game marker\r\n"));
  t.push_back(PictureFile("startup.ZEV", {ZevVariant::Deflate, 24, 32, 24}));
  t.push_back(TextFile("readme", "Synthetic sample of the desktop game folder.\r\n"));
  t.push_back(TextFile("AdvData\\notes.txt", "Listed by the walk, never packed.\r\n"));
  // A dot-folder is never walked, whatever it holds.
  t.push_back(PictureFile(".svn\\hidden.zev", {ZevVariant::Deflate, 24, 16, 16}));
  t.push_back(TextFile(".svn\\hidden.mes", "never packed\r\n"));
}

void AddPictureRows(SampleTable& t, SampleSize size) {
  using V = ZevVariant;
  using L = PictureLook;
  const bool full = size != SampleSize::Small;
  const bool game = size == SampleSize::Game;
  const int bgW = full ? 800 : 80, bgH = full ? 600 : 60;
  // Backgrounds at screen size, one per variant.
  t.push_back(PictureFile("AdvData\\GRP\\bg_sky.zev", {V::Deflate, 24, bgW, bgH, L::Grid}));
  t.push_back(PictureFile("AdvData\\GRP\\bg_town.zev", {V::Lz, 24, bgW, bgH, L::Grid}));
  // Palette pictures in both variants, odd widths.
  t.push_back(
      PictureFile("AdvData\\GRP\\ev_pal801.zev", {V::Deflate, 8, full ? 801 : 41, full ? 200 : 20, L::Grid, 8}));
  t.push_back(PictureFile("AdvData\\GRP\\pal_lz5.zev", {V::Lz, 8, 5, 20, L::Grid, 8}));
  t.push_back(PictureFile("AdvData\\GRP\\lz_onecolour.zev", {V::Lz, 8, 40, 40, L::Grid, 1}));
  // Small sizes: below 8x8 before or after scaling.
  t.push_back(PictureFile("AdvData\\GRP\\tiny4.zev", {V::Deflate, 24, 4, 4, L::Grid}));
  t.push_back(PictureFile("AdvData\\GRP\\w8.zev", {V::Deflate, 24, 8, 40, L::Grid}));
  t.push_back(PictureFile("AdvData\\GRP\\w5_lz.zev", {V::Lz, 24, 5, 30, L::Grid}));
  // Alpha pictures; "bst_" ones are trimmed, a chip name with alpha keeps its alpha road.
  t.push_back(PictureFile("AdvData\\GRP\\face_alpha.zev", {V::Deflate, 32, 160, 120, L::AlphaShape}));
  t.push_back(
      PictureFile("AdvData\\GRP\\bst_girl.zev", {V::Deflate, 32, full ? 400 : 100, full ? 600 : 80, L::AlphaShape}));
  t.push_back(PictureFile("AdvData\\GRP\\bst_plain.zev", {V::Deflate, 24, 60, 40, L::Grid}));
  t.push_back(PictureFile("AdvData\\GRP\\RainChip.ZEV", {V::Deflate, 32, 120, 60, L::AlphaShape}));
  // Colour-keyed pictures: chip names and "sam_" turn the key into alpha.
  t.push_back(PictureFile("AdvData\\GRP\\sam_icon.zev", {V::Deflate, 24, 100, 100, L::KeyedGrid}));
  t.push_back(PictureFile("AdvData\\GRP\\SAM_lz.zev", {V::Lz, 8, 100, 50, L::KeyedGrid, 8}));
  t.push_back(PictureFile("AdvData\\GRP\\sam1.zev", {V::Deflate, 24, 50, 50, L::KeyedGrid}));
  if (!game) {
    // The game's own rows draw these two at the sizes its screens cut.
    t.push_back(PictureFile("AdvData\\GRP\\SYSTEM\\eff.ZEV", {V::Deflate, 24, bgW, bgH, L::KeyedGrid}));
    t.push_back(PictureFile("AdvData\\GRP\\SYSTEM\\common_chip00.ZEV", {V::Lz, 8, 256, 128, L::KeyedGrid, 6}));
  }
  // A Shift-JIS name whose second byte is 0x5C ("ソラ").
  t.push_back(PictureFile("AdvData\\GRP\\\x83\x5C\x83\x89.zev", {V::Deflate, 24, 64, 48, L::Grid}));
}

void AddScriptRows(SampleTable& t) {
  t.push_back(TextFile("AdvData\\mes\\start.mes",
                       "// sample script\r\n"
                       "\x82\xb1\x82\xf1\x82\xc9\x82\xbf\x82\xcd\r\n"  // こんにちは
                       "BG bg_sky\r\nMES \x81\x75\x83\x5C\x83\x89\x81\x76\r\n"));
  t.push_back(TextFile("AdvData\\mes\\a.b.mes", "two dots, still a script\r\n"));
  t.push_back(TextFile("AdvData\\mes\\X.MES", "upper-case extension\r\n"));
  t.push_back(TextFile("AdvData\\mes\\empty.mes", ""));
  std::vector<uint8_t> map;
  for (int i = 0; i < 300; ++i) map.push_back(static_cast<uint8_t>((i * 37) ^ (i >> 3)));
  t.push_back(BytesFile("AdvData\\map\\town.MAP", map));
}

SampleTable SampleGameTable(SampleSize size) {
  SampleTable t;
  AddBaseRows(t);
  AddPictureRows(t, size);
  if (size == SampleSize::Game) AddGamePictureRows(t, StoryTablePictures());
  AddScriptRows(t);
  if (size == SampleSize::Game) AddGameScriptRows(t);
  AddStoryRows(t, size);
  AddSoundRows(t, size);
  if (size != SampleSize::Game) return t;
  // The sections meet on a few names (the message window, the story's first
  // backgrounds and scenes): the first row of a name wins, as the player sees
  // one entry per name whatever its case.
  SampleTable unique;
  std::set<std::string> seen;
  for (SampleFile& row : t) {
    std::string key = row.path;
    for (char& c : key) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (seen.insert(key).second) unique.push_back(std::move(row));
  }
  return unique;
}

std::string HostPath(const std::string& folder, const std::string& sjisRelativePath) {
  std::string rel = Cp932ToUtf8(sjisRelativePath);
  std::replace(rel.begin(), rel.end(), '\\', '/');
  std::string out = folder;
  if (!out.empty() && out.back() != '/') out += '/';
  return out + rel;
}

bool WriteSampleGame(const std::string& folder, const SampleTable& table, std::string* error) {
  namespace fs = std::filesystem;
  std::error_code ec;
  fs::create_directories(folder, ec);
  for (const SampleFile& row : table) {
    const fs::path target = HostPath(folder, row.path);
    if (!row.make) {
      fs::create_directories(target, ec);
      if (ec) {
        if (error) *error = "cannot make folder " + target.string();
        return false;
      }
      continue;
    }
    fs::create_directories(target.parent_path(), ec);
    const std::vector<uint8_t> bytes = row.make();
    std::ofstream out(target, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) {
      if (error) *error = "cannot write " + target.string();
      return false;
    }
  }
  return true;
}

}  // namespace vtools
