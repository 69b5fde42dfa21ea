// Whole conversion runs over generated desktop game folders, read back with
// the player's pack reader and JBP1 decoder.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "converter/conv_file_make.h"
#include "converter/pictures/bitmap_scale.h"
#include "converter/pictures/jbp1_recoder.h"
#include "converter/pictures/rbp_writer.h"
#include "converter/pictures/zev_decode.h"
#include "converter/progress_lines.h"
#include "formats/le_bytes.h"
#include "formats/lzss.h"
#include "formats/rgb565.h"
#include "player/core/jbp1_decoder.h"
#include "player/core/pack_reader.h"
#include "tests/converter/test_support.h"
#include "tests/support/temp_folder.h"
#include "tools/sample_game.h"

namespace {

namespace fs = std::filesystem;

struct RunResult {
  int done = 0, total = 0, failures = 0;
  bool finished = false;
};

RunResult RunJob(const std::string& source, const std::string& output, int percent, int quality, bool pictures = true) {
  const int bitrates[2] = {5, 3}, rates[2] = {1, 0};
  auto* job = new CConvFileMake(bitrates, rates, 1, percent);
  std::strcpy(job->m_sourceFolder, source.c_str());
  std::strcpy(job->m_outputFolder, output.c_str());
  job->m_qualityCode = quality;
  job->m_doPictures = pictures;
  job->m_doMusic = 0;
  job->m_doVoices = 0;
  CThreadCtrl ctrl(job);
  ctrl.StartChecked();
  char name[CConvFileMake::kNameChars];
  while (!job->IsFinished()) {
    job->GetCurrentName(name, sizeof name);  // as the dialog's timer reads it
    Sleep(1);
  }
  EXPECT_TRUE(ctrl.WaitChecked(INFINITE));
  ctrl.Close();
  RunResult r{job->DoneCount(), job->TotalCount(), job->FailureCount(), job->IsFinished()};
  delete job;
  return r;
}

std::vector<BYTE> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<BYTE>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

struct Entry {
  std::string name;
  uint32_t stored, unpacked, method;
};

std::vector<Entry> Directory(const std::vector<BYTE>& pack) {
  std::vector<Entry> out;
  if (pack.size() < 16 || std::memcmp(pack.data(), "RLZ2", 4) != 0) return out;
  const uint32_t n = GetLe32(&pack[4]);
  for (uint32_t i = 0; i < n; ++i) {
    const BYTE* e = &pack[16 + 84 * i];
    out.push_back({std::string(reinterpret_cast<const char*>(e)), GetLe32(e + 64), GetLe32(e + 68), GetLe32(e + 72)});
  }
  return out;
}

// Bytes of one entry through the player's pack reader.
std::vector<BYTE> EntryBytes(const std::string& pack, const std::string& name) {
  PackReader reader;
  DWORD size = 0;
  BYTE* data = ReadPackEntry(&reader, pack.c_str(), name.c_str(), &size);
  std::vector<BYTE> out;
  if (data) {
    out.assign(data, data + size);
    LocalFree(data);
  }
  return out;
}

std::string FileNameOf(const std::string& path) {
  const size_t at = path.rfind('\\');
  return at == std::string::npos ? path : path.substr(at + 1);
}

bool EndsWithNoCase(const std::string& s, const std::string& tail) {
  if (s.size() < tail.size()) return false;
  for (size_t i = 0; i < tail.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(s[s.size() - tail.size() + i])) !=
        std::tolower(static_cast<unsigned char>(tail[i])))
      return false;
  }
  return true;
}

enum class Road { Alpha32, Trim, KeyedToAlpha, Keyed24 };

// The road each sample picture must take, by name.
Road RoadOf(const std::string& name) {
  static const std::map<std::string, Road> roads = {
      {"face_alpha.zev", Road::Alpha32},        {"RainChip.ZEV", Road::Alpha32},    {"bst_girl.zev", Road::Trim},
      {"sam_icon.zev", Road::KeyedToAlpha},     {"SAM_lz.zev", Road::KeyedToAlpha}, {"eff.ZEV", Road::KeyedToAlpha},
      {"common_chip00.ZEV", Road::KeyedToAlpha}};
  const auto it = roads.find(name);
  return it == roads.end() ? Road::Keyed24 : it->second;
}

// The scaled bitmap a picture file must become (or empty).
std::vector<BYTE> ExpectedScaled(const std::vector<BYTE>& file, Road road, int percent) {
  DWORD size = static_cast<DWORD>(file.size());
  BYTE* decoded;
  if (ZevVariantOf(file.data(), size) == 2) {
    decoded = DecodeZevDeflate(file.data(), &size);
  } else {
    size = ZevLzBitmapSize(file.data(), size);
    decoded = static_cast<BYTE*>(LocalAlloc(LPTR, size));
    if (DecodeZevLz(decoded, file.data(), size, static_cast<DWORD>(file.size())) != 0) {
      LocalFree(decoded);
      decoded = nullptr;
    }
  }
  if (!decoded) return {};
  BYTE* packed = RepackBitmap(decoded, &size);
  LocalFree(decoded);
  BYTE* scaled = nullptr;
  switch (road) {
    case Road::Alpha32:
    case Road::Trim:
      scaled = ScaleAlpha32(packed, &size, percent);
      if (road == Road::Trim) {
        BYTE* t = TrimTransparentColumns(scaled, &size, percent);
        LocalFree(scaled);
        scaled = t;
      }
      break;
    case Road::KeyedToAlpha:
      scaled = ScaleKeyedToAlpha(packed, &size, percent);
      break;
    case Road::Keyed24:
      scaled = ScaleKeyed24(packed, &size, percent);
      break;
  }
  LocalFree(packed);
  std::vector<BYTE> out(scaled, scaled + size);
  LocalFree(scaled);
  return out;
}

inline void Expand565(WORD v, int* r, int* g, int* b) {
  *r = (v >> 11) << 3;
  *g = ((v >> 5) & 63) << 2;
  *b = (v & 31) << 3;
}

// Whether the re-coder's JPEG of a scaled bitmap fits its 3 x w x h bytes.
bool JpegFits(const std::vector<BYTE>& bmp) {
  const int w = ctest::BitmapWidth(bmp.data()), h = ctest::BitmapHeight(bmp.data());
  const std::vector<BYTE> top = ctest::MakeBitmap(
      w, h, 24, [&](int x, int y, BYTE* p) { std::memcpy(p, ctest::BitmapPixel(bmp, x, h - 1 - y), 3); });
  DWORD n = 0;
  BYTE* jpeg = EncodeJpegInMemory(top.data(), &n, 90);
  if (jpeg) LocalFree(jpeg);
  return jpeg != nullptr;
}

// Luma PSNR and mean absolute R, G, B error of a JBP1 body against the
// expected bitmap, over the pixels that show (alpha above 0, or all).
struct Fidelity {
  double lumaPsnr = 0, meanError = 1e9;
};
Fidelity Jbp1Fidelity(const std::vector<BYTE>& picture, const RbpHeader& h, const std::vector<BYTE>& expected) {
  Fidelity f;
  BlockDecoder st;
  InitBlockDecoder(&st);
  st.input = picture.data() + 36;
  st.inputLength = h.jbp1Length;
  st.expectedWidth = h.width;
  st.expectedHeight = h.height;
  if (!ParseJbp1Header(&st)) return f;
  ResetBlockFlags(&st);
  if (!DecodeJbp1(&st)) return f;
  const bool alpha = ctest::BitmapBits(expected.data()) == 32;
  double lumaSum = 0, absSum = 0;
  size_t count = 0;
  for (DWORD y = 0; y < h.height; ++y) {
    const WORD* row = reinterpret_cast<const WORD*>(reinterpret_cast<const BYTE*>(st.output) + y * st.rowPitch);
    for (DWORD x = 0; x < h.width; ++x) {
      const BYTE* e = ctest::BitmapPixel(expected, static_cast<int>(x), static_cast<int>(y));
      if (alpha && e[3] == 0) continue;
      int r, g, b;
      Expand565(row[x], &r, &g, &b);
      const int er = e[2] & 0xF8, eg = e[1] & 0xFC, eb = e[0] & 0xF8;
      const double dy = 0.299 * (r - er) + 0.587 * (g - eg) + 0.114 * (b - eb);
      lumaSum += dy * dy;
      absSum += std::abs(r - er) + std::abs(g - eg) + std::abs(b - eb);
      ++count;
    }
  }
  LocalFree(st.output);
  if (count == 0) return Fidelity{99, 0};
  const double mse = lumaSum / count;
  f.lumaPsnr = mse == 0 ? 99 : 10 * std::log10(255.0 * 255.0 / mse);
  f.meanError = absSum / (3.0 * count);
  return f;
}

class ConversionRun : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    source_ = vtest::ScratchFolder("converter", "sample-small");
    ASSERT_TRUE(vtools::WriteSampleGame(source_, vtools::SampleGameTable(vtools::SampleSize::Small)));
  }
  static std::string source_;
};
std::string ConversionRun::source_;

}  // namespace

TEST_F(ConversionRun, PackHoldsEveryItemAndReadsBack) {
  const vtools::SampleTable table = vtools::SampleGameTable(vtools::SampleSize::Small);
  for (int quality : {0, 2}) {
    SCOPED_TRACE(testing::Message() << "quality code " << quality);
    const std::string out = vtest::ScratchFolder("converter", "out-q" + std::to_string(quality));
    const RunResult run = RunJob(source_, out, 40, quality);
    const std::string packPath = out + "/data/grpack.mlz";
    const std::vector<BYTE> pack = ReadFile(packPath);
    const std::vector<Entry> dir = Directory(pack);
    ASSERT_FALSE(dir.empty());
    EXPECT_TRUE(fs::is_directory(out + "/data/bgm"));
    EXPECT_TRUE(fs::is_directory(out + "/data/se"));
    EXPECT_TRUE(run.finished);
    EXPECT_EQ(run.failures, 0);
    EXPECT_EQ(run.done, run.total);
    EXPECT_EQ(run.total, static_cast<int>(dir.size()));
    EXPECT_EQ(dir[0].name, "chip.rbp");
    EXPECT_EQ(dir[0].method, 1u);

    // Every picture, script and map of the table, and nothing else.
    std::set<std::string> expectedNames = {"chip.rbp"};
    for (const vtools::SampleFile& row : table) {
      if (row.path[0] == '.' || !row.make) continue;
      const std::string name = FileNameOf(row.path);
      if (EndsWithNoCase(name, ".zev") && !EndsWithNoCase(name, "startup.zev")) {
        expectedNames.insert(row.path.substr(0, row.path.rfind('.')) + ".rbp");
      } else if (EndsWithNoCase(name, ".mes") || EndsWithNoCase(name, ".MAP")) {
        expectedNames.insert(row.path);
      }
    }
    std::set<std::string> names;
    for (const Entry& e : dir) names.insert(e.name);
    EXPECT_EQ(names, expectedNames);

    for (const vtools::SampleFile& row : table) {
      if (!expectedNames.count(row.path) && !expectedNames.count(row.path.substr(0, row.path.rfind('.')) + ".rbp"))
        continue;
      SCOPED_TRACE(row.path);
      const std::vector<BYTE> source = row.make();
      if (!EndsWithNoCase(row.path, ".zev")) {
        // Scripts and maps: LZSS entries whose bytes are the source's; empty
        // ones are stored as method 0, size 0.
        const Entry& e = *std::find_if(dir.begin(), dir.end(), [&](const Entry& d) { return d.name == row.path; });
        EXPECT_EQ(e.method, source.empty() ? 0u : 1u);
        EXPECT_EQ(e.unpacked, source.size());
        if (!source.empty()) {
          EXPECT_EQ(EntryBytes(packPath, row.path), source);
        }
        continue;
      }
      const std::string entry = row.path.substr(0, row.path.rfind('.')) + ".rbp";
      const std::vector<BYTE> picture = EntryBytes(packPath, entry);
      RbpHeader h;
      ASSERT_TRUE(LoadRbpHeader(picture.data(), static_cast<DWORD>(picture.size()), &h));
      const Road road = RoadOf(FileNameOf(row.path));
      const std::vector<BYTE> expected = ExpectedScaled(source, road, 40);
      ASSERT_FALSE(expected.empty());
      const int w = ctest::BitmapWidth(expected.data()), hh = ctest::BitmapHeight(expected.data());
      ASSERT_EQ(h.width, static_cast<DWORD>(w));
      ASSERT_EQ(h.height, static_cast<DWORD>(hh));
      const bool alpha = road != Road::Keyed24;
      // "RBP7" exactly when the picture is at least 8 x 8 and its JPEG fits.
      const bool jbp = std::string(h.magic, 4) == "RBP7";
      EXPECT_EQ(jbp, quality != 0 && w >= 8 && hh >= 8 && JpegFits(expected));
      if (road == Road::Trim) {
        EXPECT_EQ(w % 16, 0);
      }
      if (jbp) {
        EXPECT_EQ(h.type, alpha ? 32u : 30u);
        const Fidelity f = Jbp1Fidelity(picture, h, expected);
        // Luma follows closely; colour bleeds at the hard key-colour edges
        // that 4:2:0 subsampling smooths.
        EXPECT_GT(f.lumaPsnr, 32.0);
        EXPECT_LT(f.meanError, 20.0);
        if (alpha) {
          std::vector<BYTE> plane(static_cast<size_t>(w) * hh);
          ASSERT_EQ(LzssDecode(plane.data(), picture.data() + 36 + h.jbp1Length, static_cast<DWORD>(plane.size()),
                               h.alphaLength),
                    static_cast<int>(plane.size()));
          for (int y = 0; y < hh; ++y) {
            for (int x = 0; x < w; ++x) {
              const BYTE a = ctest::BitmapPixel(expected, x, y)[3];
              ASSERT_EQ(plane[static_cast<size_t>(y) * w + x], a ? (a | 3) : 0);
            }
          }
        }
      } else {
        // "RBP5": exact RGB565 (and alpha) of the scaled bitmap.
        EXPECT_EQ(std::string(h.magic, 4), "RBP5");
        EXPECT_EQ(h.type, alpha ? 1u : 13u);
        const int bpp = alpha ? 3 : 2;
        ASSERT_EQ(picture.size(), 36u + static_cast<size_t>(bpp) * w * hh);
        for (int y = 0; y < hh; ++y) {
          for (int x = 0; x < w; ++x) {
            const BYTE* e = ctest::BitmapPixel(expected, x, y);
            const BYTE* p = &picture[36 + (static_cast<size_t>(y) * w + x) * bpp];
            ASSERT_EQ(GetLe16(p), PackRgb565(e[2], e[1], e[0]));
            if (alpha) {
              ASSERT_EQ(p[2], e[3]);
            }
          }
        }
      }
    }
  }
}

TEST_F(ConversionRun, TwoRunsWriteIdenticalPacksAndScreenSizesDiffer) {
  const std::string a = vtest::ScratchFolder("converter", "twice-a"), b = vtest::ScratchFolder("converter", "twice-b");
  RunJob(source_, a, 80, 2);
  RunJob(source_, b, 80, 2);
  const std::vector<BYTE> packA = ReadFile(a + "/data/grpack_v.mlz");
  ASSERT_FALSE(packA.empty());
  EXPECT_EQ(packA, ReadFile(b + "/data/grpack_v.mlz"));
  EXPECT_FALSE(fs::exists(a + "/data/grpack.mlz"));
  // The small screen uses the other chip sheet.
  const std::string small = vtest::ScratchFolder("converter", "twice-small");
  RunJob(source_, small, 40, 2);
  const std::vector<BYTE> chipLarge = EntryBytes(a + "/data/grpack_v.mlz", "chip.rbp");
  const std::vector<BYTE> chipSmall = EntryBytes(small + "/data/grpack.mlz", "chip.rbp");
  ASSERT_EQ(chipLarge.size(), 36u + 2 * 128 * 128);
  ASSERT_EQ(chipSmall.size(), chipLarge.size());
  EXPECT_EQ(std::string(chipLarge.begin(), chipLarge.begin() + 4), "KBP1");
  EXPECT_NE(chipLarge, chipSmall);
  // Top-left corner mark is white, the key colour magenta.
  EXPECT_EQ(GetLe16(&chipLarge[36]), 0xFFFF);
  EXPECT_EQ(GetLe16(&chipLarge[36 + 2 * 7]), 0xF81F);
}

TEST(ConversionFailures, DamagedItemsKeepTheirPlaceAndAreCounted) {
  const std::string source = vtest::ScratchFolder("converter", "damaged");
  vtools::SampleTable table;
  table.push_back(vtools::TextFile("QR2.exe", "marker"));
  table.push_back(vtools::PictureFile("good.zev", {vtools::ZevVariant::Deflate, 24, 40, 40}));
  vtools::SampleFile truncated = vtools::PictureFile("cut.zev", {vtools::ZevVariant::Deflate, 24, 40, 40});
  auto make = truncated.make;
  truncated.make = [make] {
    std::vector<uint8_t> b = make();
    b.resize(b.size() / 2);
    return b;
  };
  table.push_back(truncated);
  table.push_back(vtools::BytesFile("noise.zev", {1, 2, 3}));
  table.push_back(vtools::TextFile(std::string(70, 'n') + ".mes", "too long a name"));
  table.push_back(vtools::TextFile("ok.mes", "fine"));
  ASSERT_TRUE(vtools::WriteSampleGame(source, table));
  const std::string out = vtest::ScratchFolder("converter", "damaged-out");
  const RunResult run = RunJob(source, out, 40, 2);
  EXPECT_EQ(run.failures, 3);
  EXPECT_EQ(run.done, run.total);
  const std::vector<Entry> dir = Directory(ReadFile(out + "/data/grpack.mlz"));
  ASSERT_EQ(dir.size(), 6u);
  std::map<std::string, Entry> byName;
  for (const Entry& e : dir) byName[e.name] = e;
  for (const char* failed : {"cut.rbp", "noise.rbp"}) {
    ASSERT_TRUE(byName.count(failed)) << failed;
    EXPECT_EQ(byName[failed].stored, 0u);
    EXPECT_EQ(byName[failed].method, 0u);
  }
  EXPECT_GT(byName["good.rbp"].stored, 36u);
  EXPECT_GT(byName["ok.mes"].unpacked, 0u);
  EXPECT_TRUE(byName.count(""));  // the name that did not fit left an empty slot
}

TEST(ConversionEdges, StartupOnlyAndPicturesOff) {
  const std::string source = vtest::ScratchFolder("converter", "startup-only");
  vtools::SampleTable table;
  vtools::AddBaseRows(table);
  table.push_back(vtools::PictureFile("AdvData\\Startup.zev", {vtools::ZevVariant::Deflate, 24, 16, 16}));
  ASSERT_TRUE(vtools::WriteSampleGame(source, table));
  const std::string out = vtest::ScratchFolder("converter", "startup-only-out");
  RunResult run = RunJob(source, out, 80, 0);
  const std::vector<Entry> dir = Directory(ReadFile(out + "/data/grpack_v.mlz"));
  ASSERT_EQ(dir.size(), 1u);
  EXPECT_EQ(dir[0].name, "chip.rbp");
  EXPECT_EQ(run.total, 1);
  EXPECT_EQ(run.done, 1);

  const std::string off = vtest::ScratchFolder("converter", "pictures-off");
  run = RunJob(source, off, 80, 0, false);
  EXPECT_TRUE(run.finished);
  EXPECT_EQ(run.total, 0);
  EXPECT_FALSE(fs::exists(off + "/data/grpack_v.mlz"));
  EXPECT_TRUE(fs::is_directory(off + "/data"));
}

namespace {

// Entries by name, with their bytes through the player's reader.
std::map<std::string, std::vector<BYTE>> EntriesOf(const std::string& pack) {
  std::map<std::string, std::vector<BYTE>> out;
  for (const Entry& e : Directory(ReadFile(pack))) out[e.name] = EntryBytes(pack, e.name);
  return out;
}

vtools::SampleTable WalkTable() {
  vtools::SampleTable table;
  table.push_back(vtools::TextFile("QR2.exe", "marker"));
  table.push_back(vtools::PictureFile("AdvData\\CG\\plain.zev", {vtools::ZevVariant::Deflate, 24, 24, 16}));
  table.push_back(vtools::PictureFile("AdvData\\CG\\other.zev", {vtools::ZevVariant::Deflate, 24, 16, 24}));
  table.push_back(vtools::TextFile("AdvData\\SCRIPT\\a.mes", "script"));
  return table;
}

}  // namespace

// Folders and names met on real discs: links back into the game, Shift-JIS
// names, names no code page spells.  Every undamaged item converts exactly
// as in a clean run; what cannot be taken is counted.
TEST(ConversionWalk, LinksAndForeignNamesLoseNothing) {
  const std::string clean = vtest::ScratchFolder("converter", "walk-clean");
  ASSERT_TRUE(vtools::WriteSampleGame(clean, WalkTable()));
  const std::string cleanOut = vtest::ScratchFolder("converter", "walk-clean-out");
  const RunResult cleanRun = RunJob(clean, cleanOut, 40, 2);
  EXPECT_EQ(cleanRun.failures, 0);
  const auto expected = EntriesOf(cleanOut + "/data/grpack.mlz");
  ASSERT_EQ(expected.size(), 4u);  // chip, two pictures, one script

  const std::string odd = vtest::ScratchFolder("converter", "walk-odd");
  ASSERT_TRUE(vtools::WriteSampleGame(odd, WalkTable()));
  const fs::path cg = fs::path(odd) / "AdvData" / "CG";
  // A copy of plain.zev under a Shift-JIS name (ソ, whose trail byte is '\').
  fs::copy_file(cg / "plain.zev", cg / std::string("\x83\x5C.zev"));
  // A name in neither UTF-8 nor code page 932.
  fs::copy_file(cg / "plain.zev", cg / std::string("\xFF\xFE.zev"));
  // Links back into the walk: to the game's top, to a sibling, to itself.
  fs::create_directory_symlink("../..", cg / "up");
  fs::create_directory_symlink("../SCRIPT", cg / "scripts");
  fs::create_directory_symlink(".", cg / "self");
  const std::string oddOut = vtest::ScratchFolder("converter", "walk-odd-out");
  const RunResult run = RunJob(odd, oddOut, 40, 2);
  EXPECT_EQ(run.failures, 1);  // only the name no code page spells
  EXPECT_EQ(run.done, run.total);
  const auto got = EntriesOf(oddOut + "/data/grpack.mlz");
  for (const auto& [name, bytes] : expected) {
    ASSERT_TRUE(got.count(name)) << name;
    EXPECT_EQ(got.at(name), bytes) << name;
  }
  const std::string sjis = "AdvData\\CG\\\x83\x5C.rbp";
  ASSERT_TRUE(got.count(sjis));
  EXPECT_EQ(got.at(sjis), expected.at("AdvData\\CG\\plain.rbp"));
  // The clean entries, the Shift-JIS copy, and the counted placeholder.
  EXPECT_EQ(got.size(), expected.size() + 2);
}

// A source folder that cannot be listed (here: missing) is a failure, not an
// empty game.
TEST(ConversionWalk, UnlistableSourceFolderIsCounted) {
  const std::string out = vtest::ScratchFolder("converter", "walk-missing-out");
  const RunResult run = RunJob(out + "/no-such-game", out, 40, 2);
  EXPECT_TRUE(run.finished);
  EXPECT_EQ(run.failures, 1);
  const std::vector<Entry> dir = Directory(ReadFile(out + "/data/grpack.mlz"));
  ASSERT_EQ(dir.size(), 1u);
  EXPECT_EQ(dir[0].name, "chip.rbp");
}

// The progress lines of a log follow the stages: one as each begins, one at
// each further tenth of its items, none twice, and a stage that the next one
// followed ends on its last item even when no tenth of it was seen.
TEST(ConversionProgress, LinesAtEachStageStartAndTenth) {
  const int bitrates[2] = {3, 3}, rates[2] = {0, 0};
  CConvFileMake job(bitrates, rates, 1, 40);
  CProgressLines lines;
  using Lines = std::vector<std::string>;
  EXPECT_EQ(lines.Take(job), Lines{});  // nothing begun
  job.BeginStage(CConvFileMake::kPictureStage, 20);
  EXPECT_EQ(lines.Take(job), Lines{"pictures and scripts: 20 items"});
  job.AddDone();  // 1 of 20: not yet a tenth
  EXPECT_EQ(lines.Take(job), Lines{});
  job.AddDone();
  EXPECT_EQ(lines.Take(job), Lines{"pictures and scripts: 2 / 20"});
  for (int i = 0; i < 5; ++i) job.AddDone();  // three tenths passed at once: one line
  EXPECT_EQ(lines.Take(job), Lines{"pictures and scripts: 7 / 20"});
  EXPECT_EQ(lines.Take(job), Lines{});
  for (int i = 0; i < 13; ++i) job.AddDone();
  job.BeginStage(CConvFileMake::kMusicStage, 0);
  job.BeginStage(CConvFileMake::kEffectStage, 1);
  EXPECT_EQ(lines.Take(job), (Lines{"pictures and scripts: 20 / 20", "music: 0 items", "sound effects: 1 item"}));
  job.AddDone();
  job.BeginStage(CConvFileMake::kVoiceStage, 3);
  for (int i = 0; i < 3; ++i) job.AddDone();
  EXPECT_EQ(lines.Take(job), (Lines{"sound effects: 1 / 1", "voices: 3 items", "voices: 3 / 3"}));
  EXPECT_EQ(lines.Take(job), Lines{});
}

// Every reason reads whole in both languages: the English text with the
// error's reason and the name put in, the box's line valid Shift-JIS with
// its paths relative to the game folder or the output folder.
TEST(ConversionFailures, EveryReasonHasBothTexts) {
  for (int i = 0; i <= int(FailureReason::kVoiceDamaged); ++i) {
    CConvFileMake::Failure f("C:\\game\\AdvData\\a.zev", FailureReason(i), ERROR_DISK_FULL,
                             "C:\\out\\data\\se\\001.mp3");
    f.lost = 2;
    f.notWritten = 3;
    f.leftBehind = "C:\\out\\data\\grpack.mlz.tmp";
    const std::string english = FailureText(f);
    SCOPED_TRACE(english);
    EXPECT_EQ(english.rfind("C:/game/AdvData/a.zev: ", 0), 0u);
    EXPECT_EQ(english.find_first_of("\x01\x02\x03"), std::string::npos);
    EXPECT_NE(english.find("; the 2 items written to it are lost; 3 later items were not written; "
                           "C:/out/data/grpack.mlz.tmp was left behind"),
              std::string::npos);
    const std::string box = FailureBoxLine(f, "C:\\game\\", "C:\\out");
    EXPECT_EQ(box.rfind("AdvData/a.zev: ", 0), 0u);
    EXPECT_EQ(box.find_first_of("\x01\x02\x03"), std::string::npos);
    EXPECT_NE(box.find("data/grpack.mlz.tmp"), std::string::npos);
    EXPECT_GT(MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, box.data(), int(box.size()), nullptr, 0), 0);
  }
  // The reasons of the system's errors.
  EXPECT_EQ(ErrorReason(ERROR_DISK_FULL), "disk full");
  EXPECT_EQ(ErrorReason(ERROR_FILE_TOO_LARGE), "file too large");
  EXPECT_EQ(ErrorReason(ERROR_WRITE_PROTECT), "read-only disk");
  EXPECT_EQ(ErrorReason(ERROR_IO_DEVICE), "input/output error (the disk failed)");
  char japanese[kFileFailureChars];
  FileFailureReason(japanese, sizeof japanese, ClassifyFileFailure(nullptr, ERROR_IO_DEVICE), ERROR_IO_DEVICE, 1);
  EXPECT_EQ(std::string(japanese).find("1117"), std::string::npos);
  EXPECT_EQ(ErrorReason(ERROR_NO_DATA), "system error 232");
}

// The box's paths show '/' between folders and keep the bytes of names whose
// Shift-JIS ends in 0x5C (ソ, 表, 能); a game folder ending in ソ does not hold
// the output folder ソフト beside it.
TEST(ConversionFailures, BoxPathsFollowCharactersNotBytes) {
  const std::string so = "\x83\x5C", hyo = "\x95\x5C", no = "\x94\x5C", futo = "\x83t\x83g";
  struct Case {
    std::string item, game, output, shown;
  } cases[] = {
      {"C:\\x\\" + so + futo + "\\data\\grpack.mlz", "C:\\x\\" + so, "C:\\x\\" + so + futo, "data/grpack.mlz"},
      {"C:\\x\\" + so + "\\AdvData\\" + hyo + ".zev", "C:\\x\\" + so, "C:\\x\\" + so + futo, "AdvData/" + hyo + ".zev"},
      {"C:\\x\\" + so + "\\AdvData\\a.zev", "C:\\x\\" + so + "\\", "C:\\out", "AdvData/a.zev"},
      {"C:\\x\\" + no + "\\" + so + ".zev", "C:\\game", "C:\\out", "C:/x/" + no + "/" + so + ".zev"},
      {"C:/x/" + so + "/a.zev", "C:/x/" + so + "/", "C:/out", "a.zev"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.shown);
    const CConvFileMake::Failure f(c.item, FailureReason::kNotAPicture);
    const std::string box = FailureBoxLine(f, c.game.c_str(), c.output.c_str());
    EXPECT_EQ(box.substr(0, box.find(": ")), c.shown);
  }
}

namespace {

// Shift-JIS text as UTF-8.
std::string Utf8(const std::string& sjis) {
  const int wide = MultiByteToWideChar(932, 0, sjis.data(), int(sjis.size()), nullptr, 0);
  std::vector<WCHAR> w(size_t(wide) + 1);
  MultiByteToWideChar(932, 0, sjis.data(), int(sjis.size()), w.data(), wide);
  const int bytes = WideCharToMultiByte(CP_UTF8, 0, w.data(), wide, nullptr, 0, nullptr, nullptr);
  std::string utf8(size_t(bytes > 0 ? bytes : 0), '\0');
  if (bytes > 0) WideCharToMultiByte(CP_UTF8, 0, w.data(), wide, utf8.data(), bytes, nullptr, nullptr);
  return utf8;
}

}  // namespace

// Within a stage, the first item that a full disk (or the file-size limit)
// stops is named; the later ones are counted and told in one line when the
// stage ends, by the first file that was not written; a single later one
// keeps its own line.  Every line stands for its items, which add up to the
// unconverted count.
TEST(ConversionFailures, LaterItemsAFullDiskStopsAreToldInOneLine) {
  const struct {
    CConvFileMake::Stage stage;
    DWORD error;
    int stopped;
    const char* english;  // the stage's last line
    const char* box;      // the same in the box (UTF-8)
  } cases[] = {
      {CConvFileMake::kEffectStage, ERROR_DISK_FULL, 196,
       "C:/out/data/se/001.mp3 and 194 later sound effects were not written (disk full)",
       "data/se/001.mp3 以降の効果音 195 件は書き込まれていません（ディスクに空きがありません）"},
      {CConvFileMake::kMusicStage, ERROR_FILE_TOO_LARGE, 3,
       "C:/out/data/se/001.mp3 and 1 later music track were not written (file too large)",
       "data/se/001.mp3 以降のＢＧＭ 2 件は書き込まれていません（ファイルが大きすぎます）"},
      {CConvFileMake::kPictureStage, ERROR_DISK_FULL, 4,
       "C:/out/data/se/001.mp3 and 2 later pictures and scripts were not written (disk full)",
       "data/se/001.mp3 以降の画像とシナリオ 3 件は書き込まれていません（ディスクに空きがありません）"},
      {CConvFileMake::kVoiceStage, ERROR_DISK_FULL, 3,
       "C:/out/data/se/001.mp3 and 1 later voice were not written (disk full)",
       "data/se/001.mp3 以降の音声 2 件は書き込まれていません（ディスクに空きがありません）"},
      {CConvFileMake::kEffectStage, ERROR_DISK_FULL, 2,
       "C:/game/AdvData/SE/001.pcm: cannot write C:/out/data/se/001.mp3 (disk full)", nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.english);
    const int bitrates[2] = {3, 3}, rates[2] = {0, 0};
    CConvFileMake job(bitrates, rates, 1, 40);
    std::strcpy(job.m_sourceFolder, "C:\\game");
    std::strcpy(job.m_outputFolder, "C:\\out");
    job.BeginStage(c.stage, c.stopped + 1);
    job.FailItem("C:\\game\\AdvData\\SE\\x.pcm", FailureReason::kMp3Refused);
    for (int i = 0; i < c.stopped; ++i) {
      char name[16];
      std::snprintf(name, sizeof name, "%03d", i);
      job.FailItem(std::string("C:\\game\\AdvData\\SE\\") + name + ".pcm", FailureReason::kNotWritten, c.error,
                   std::string("C:\\out\\data\\se\\") + name + ".mp3");
    }
    job.EndStage();
    // The next stage names its own first file again.
    job.BeginStage(CConvFileMake::kVoiceStage, 1);
    job.FailItem("C:\\game\\AdvData\\voice.dat (voice a)", FailureReason::kVoicePackWrite, c.error);
    job.EndStage();

    const std::vector<CConvFileMake::Failure> lines = job.TakeFailures();
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(FailureText(lines[1]),
              "C:/game/AdvData/SE/000.pcm: cannot write C:/out/data/se/000.mp3 (" + ErrorReason(c.error) + ")");
    EXPECT_EQ(FailureText(lines[2]), c.english);
    EXPECT_EQ(lines[3].why, FailureReason::kVoicePackWrite);
    EXPECT_EQ(job.FailureCount(), 4);
    int32_t items = 0;
    for (const CConvFileMake::Failure& f : lines) items += f.items;
    EXPECT_EQ(items, c.stopped + 2);
    EXPECT_EQ(job.UnconvertedCount(), c.stopped + 2);
    if (c.box) {
      EXPECT_TRUE(lines[2].cause);
      EXPECT_EQ(Utf8(FailureBoxLine(lines[2], job.m_sourceFolder, job.m_outputFolder)), c.box);
    }
  }
}

namespace {

// A failure as the run records it: the items (or, the disk not confirming,
// the files) it stands for, whether it is a cause, its stage.
CConvFileMake::Failure Recorded(const std::string& item, FailureReason why, int32_t items, bool cause, DWORD error = 0,
                                int32_t stage = -1) {
  CConvFileMake::Failure f(item, why, error);
  f.items = items;
  f.cause = cause;
  f.stage = stage;
  return f;
}

// A folder whose flush failed after `files` files were renamed into it.
CConvFileMake::Failure UnconfirmedFolder(const std::string& folder, int32_t files) {
  CConvFileMake::Failure f = Recorded(folder, FailureReason::kPackUnconfirmed, files, true, ERROR_IO_DEVICE);
  f.folderFlush = true;
  return f;
}

}  // namespace

// The dialog's box: a line with the items not converted when there are
// some, a line with the files the disk did not confirm when there are some,
// then ten lines, the causes first, and a last line that counts what the
// rest stand for (items, not lines), items and files apart.
TEST(ConversionFailures, FailureBoxPutsCausesFirstAndCountsWhatTheRestStandFor) {
  using R = FailureReason;
  const std::string game = "C:\\game", out = "C:\\out";
  const std::string notFound = "（フォルダが見つかりません）。中のデータは変換されていません";
  const std::string folderLine = ": フォルダの中を調べられませんでした" + notFound;
  const std::string unconfirmed =
      ": 書き込みましたが、ディスクが書き込みを確かめられませんでした（ディスクの読み書きに失敗しました）";
  const std::string notAPicture = ".zev: 変換できる画像ではありません（壊れているか、未知の形式です）";
  const auto folder = [&](int n) {
    return Recorded(game + "\\AdvData\\F" + std::to_string(n), R::kFolderUnlistable, 1, true, ERROR_PATH_NOT_FOUND);
  };
  const auto picture = [&](int n) {
    return Recorded(game + "\\AdvData\\CG\\b" + std::to_string(n) + ".zev", R::kNotAPicture, 1, false);
  };

  std::vector<CConvFileMake::Failure> several = {picture(0)};
  for (int n = 0; n < 8; ++n) several.push_back(folder(n));
  several.push_back(picture(1));
  several.push_back(Recorded(out + "\\data\\se\\010.mp3", R::kLaterNotWritten, 5, true, ERROR_DISK_FULL,
                             CConvFileMake::kEffectStage));
  several.push_back(Recorded(out + "\\data\\bgm\\003.mp3", R::kLaterNotWritten, 3, true, ERROR_DISK_FULL,
                             CConvFileMake::kMusicStage));
  several.push_back(Recorded(out + "\\data\\voice.mlz", R::kVoicePackNotCreated, 7, true, ERROR_ACCESS_DENIED));
  several.push_back(UnconfirmedFolder(out + "\\data\\bgm", 2));
  std::vector<std::string> severalBox = {"変換できなかったデータが 25 件ありました。",
                                         "書き込みましたが、ディスクが確かめられなかったファイルが 2 件ありました。"};
  for (int n = 0; n < 8; ++n) severalBox.push_back("AdvData/F" + std::to_string(n) + folderLine);
  severalBox.push_back("data/se/010.mp3 以降の効果音 5 件は書き込まれていません（ディスクに空きがありません）");
  severalBox.push_back("data/bgm/003.mp3 以降のＢＧＭ 3 件は書き込まれていません（ディスクに空きがありません）");
  severalBox.push_back("ほか 9 件、ディスクが確かめられなかったファイル 2 件");

  std::vector<CConvFileMake::Failure> tenCausesThenAPack;
  for (int n = 0; n < 10; ++n) tenCausesThenAPack.push_back(folder(n));
  tenCausesThenAPack.push_back(Recorded(out + "\\data\\grpack.mlz", R::kPackUnconfirmed, 1, true, ERROR_IO_DEVICE));
  std::vector<std::string> tenCausesBox = {"変換できなかったデータが 10 件ありました。",
                                           "書き込みましたが、ディスクが確かめられなかったファイルが 1 件ありました。"};
  for (int n = 0; n < 10; ++n) tenCausesBox.push_back("AdvData/F" + std::to_string(n) + folderLine);
  tenCausesBox.push_back("ほか ディスクが確かめられなかったファイル 1 件");

  std::vector<CConvFileMake::Failure> elevenPictures;
  std::vector<std::string> elevenBox = {"変換できなかったデータが 11 件ありました。"};
  for (int n = 0; n < 11; ++n) elevenPictures.push_back(picture(n));
  for (int n = 0; n < 10; ++n) elevenBox.push_back("AdvData/CG/b" + std::to_string(n) + notAPicture);
  elevenBox.push_back("ほか 1 件");

  const struct {
    const char* what;
    std::vector<CConvFileMake::Failure> failures;
    std::vector<std::string> box;  // UTF-8, one element a line
  } cases[] = {
      {"causes of several items each beyond the tenth line", several, severalBox},
      {"only a pack the disk did not confirm",
       {Recorded(out + "\\data\\grpack.mlz", R::kPackUnconfirmed, 1, true, ERROR_IO_DEVICE)},
       {"書き込みましたが、ディスクが確かめられなかったファイルが 1 件ありました。", "data/grpack.mlz" + unconfirmed}},
      {"a folder the disk did not confirm and an item",
       {Recorded(game + "\\AdvData\\SE\\001.pcm", R::kMp3Refused, 1, false), UnconfirmedFolder(out + "\\data\\se", 3)},
       {"変換できなかったデータが 1 件ありました。",
        "書き込みましたが、ディスクが確かめられなかったファイルが 3 件ありました。",
        "data/se" + unconfirmed + "（3 件）",
        "AdvData/SE/001.pcm: MP3エンコーダがこの音を受け付けませんでした（壊れているか、未知の形式です）"}},
      // A folder with one file renamed into it is still a folder, not a pack.
      {"a folder the disk did not confirm with one file",
       {UnconfirmedFolder(out + "\\data\\se", 1)},
       {"書き込みましたが、ディスクが確かめられなかったファイルが 1 件ありました。",
        "data/se" + unconfirmed + "（1 件）"}},
      {"ten causes, then a pack the disk did not confirm", tenCausesThenAPack, tenCausesBox},
      {"eleven single items", elevenPictures, elevenBox},
      {"no failure", {}, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::string expected;
    for (const std::string& line : c.box) expected += (expected.empty() ? "" : "\n") + line;
    const std::string box = FailureBox(c.failures, game.c_str(), out.c_str());
    EXPECT_EQ(Utf8(box), expected);
    EXPECT_GT(box.empty() ? 1 : MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, box.data(), int(box.size()), nullptr, 0),
              0);
  }
  // The error stream counts a folder's files too, one of them as one.
  EXPECT_EQ(FailureText(UnconfirmedFolder("C:\\out\\data\\se", 1)),
            "C:/out/data/se: was written but the disk did not confirm it (input/output error (the disk failed)); "
            "1 file was renamed into it");
}

// A line of later items with no known stage calls them items (データ).
TEST(ConversionFailures, LaterItemsOfNoKnownStageAreItems) {
  const struct {
    int32_t items;
    const char* english;
    const char* box;
  } cases[] = {
      {3, "C:/out/data/x.mp3 and 2 later items were not written (disk full)",
       "data/x.mp3 以降のデータ 3 件は書き込まれていません（ディスクに空きがありません）"},
      {2, "C:/out/data/x.mp3 and 1 later item were not written (disk full)",
       "data/x.mp3 以降のデータ 2 件は書き込まれていません（ディスクに空きがありません）"},
  };
  for (const auto& c : cases) {
    const CConvFileMake::Failure f =
        Recorded("C:\\out\\data\\x.mp3", FailureReason::kLaterNotWritten, c.items, true, ERROR_DISK_FULL);
    EXPECT_EQ(FailureText(f), c.english);
    EXPECT_EQ(Utf8(FailureBoxLine(f, "C:\\game", "C:\\out")), c.box);
  }
}

// The summary counts the files the disk did not confirm apart from the
// items, which still add up to the total; each such file is a failure of the
// run (its exit status), not an item not converted.
TEST(ConversionFailures, SummaryCountsFilesTheDiskDidNotConfirm) {
  const struct {
    int converted, failed, passed;
    std::vector<int32_t> unconfirmed;  // the files of each line
    const char* summary;
  } cases[] = {
      {3, 0, 0, {1}, "3 of 3 items converted, 0 failed, 1 file not confirmed by the disk"},
      {2, 1, 1, {1, 2}, "2 of 4 items converted, 1 failed, 1 passed over, 3 files not confirmed by the disk"},
      {3, 0, 0, {}, "3 of 3 items converted, 0 failed"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.summary);
    const int bitrates[2] = {3, 3}, rates[2] = {0, 0};
    CConvFileMake job(bitrates, rates, 1, 40);
    job.AddTotal(c.converted + c.failed + c.passed);
    job.AddConverted(c.converted);
    job.AddPassedOver(c.passed);
    for (int i = 0; i < c.failed; ++i) job.FailItem("C:\\game\\AdvData\\CG\\b.zev", FailureReason::kNotAPicture);
    for (int32_t files : c.unconfirmed) job.AddUnconfirmed("C:\\out\\data\\bgm", ERROR_IO_DEVICE, files, true);
    EXPECT_EQ(RunSummary(job), c.summary);
    EXPECT_EQ(job.UnconvertedCount(), c.failed);
    EXPECT_EQ(job.FailureCount(), c.failed + int(c.unconfirmed.size()));
    int32_t files = 0;
    for (const CConvFileMake::Failure& f : job.TakeFailures())
      if (f.why == FailureReason::kPackUnconfirmed) files += f.items;
    EXPECT_EQ(files, job.UnconfirmedFileCount());
  }
}

namespace {

// One write that failed: the file, its folder below the output's "data" and
// the system's code.
struct FailedWrite {
  std::string folder;
  DWORD error;
  bool earlierKept;
};

}  // namespace

// Within a stage, each cause of the folder or the disk is named with its
// first file and told in one line for the stage's later files, saying how
// many of them kept an earlier file; a cause of one file (a folder at its
// name, the file in use) and a failing disk keep a line per file.  Causes
// that take turns in one stage are folded apart; the lines stand for every
// item.
TEST(ConversionFailures, OneLinePerCauseOfTheFolderOrTheDisk) {
  vtest::TempFolder scratch("converter");
  const std::string out = scratch.Str();
  fs::create_directories(scratch.Path() / "data" / "bgm");
  for (int i = 0; i < 5; ++i)
    fs::create_directories(scratch.Path() / "data" / "named" / ("00" + std::to_string(i) + ".mp3"));
  std::ofstream(scratch.Path() / "data" / "se") << "a file where a folder goes";
  const std::string shownOut = ShownPath(out);
  const auto shownFile = [&](const std::string& folder, int i) {
    return shownOut + "/data/" + folder + "/00" + std::to_string(i) + ".mp3";
  };
  // A file's own line, and the line of a stage's later files from the i-th.
  const auto line = [&](const std::string& folder, int i, const std::string& reason, bool kept) {
    return "C:/game/AdvData/MUSIC/00" + std::to_string(i) + ".pcm: cannot write " + shownFile(folder, i) + " (" +
           reason + ")" + (kept ? "; the earlier file was kept" : "");
  };
  const auto folded = [&](const std::string& folder, int i, const std::string& later, const std::string& reason,
                          int kept) {
    std::string text = shownFile(folder, i) + " and " + later + " were not written (" + reason + ")";
    if (kept == 1) text += "; 1 earlier file was kept in " + shownOut + "/data/" + folder;
    if (kept > 1) text += "; " + std::to_string(kept) + " earlier files were kept in " + shownOut + "/data/" + folder;
    return text;
  };
  using Lines = std::vector<std::string>;
  // Five writes of one cause, the first three over an earlier file.
  const auto same = [](const std::string& folder, DWORD error) {
    std::vector<FailedWrite> writes;
    for (int i = 0; i < 5; ++i) writes.push_back({folder, error, i < 3});
    return writes;
  };
  const std::string inTheWay = "a folder has that name", io = "input/output error (the disk failed)";
  const struct {
    const char* what;
    CConvFileMake::Stage stage;
    std::vector<FailedWrite> writes;
    Lines lines;
  } cases[] = {
      {"a read-only disk",
       CConvFileMake::kMusicStage,
       same("bgm", ERROR_WRITE_PROTECT),
       {line("bgm", 0, "read-only disk", true), folded("bgm", 1, "3 later music tracks", "read-only disk", 2)}},
      {"a folder that may not be written",
       CConvFileMake::kEffectStage,
       same("bgm", ERROR_ACCESS_DENIED),
       {line("bgm", 0, "no permission", true), folded("bgm", 1, "3 later sound effects", "no permission", 2)}},
      {"the folder missing",
       CConvFileMake::kMusicStage,
       same("none", ERROR_PATH_NOT_FOUND),
       {line("none", 0, "folder not found", true), folded("none", 1, "3 later music tracks", "folder not found", 2)}},
      {"a file in the folder's place",
       CConvFileMake::kEffectStage,
       {{"se", ERROR_PATH_NOT_FOUND, false}, {"se", ERROR_PATH_NOT_FOUND, false}, {"se", ERROR_PATH_NOT_FOUND, false}},
       {line("se", 0, "a file has the folder's name", false),
        folded("se", 1, "1 later sound effect", "a file has the folder's name", 0)}},
      {"a full disk",
       CConvFileMake::kMusicStage,
       same("bgm", ERROR_DISK_FULL),
       {line("bgm", 0, "disk full", true), folded("bgm", 1, "3 later music tracks", "disk full", 2)}},
      {"the file-size limit, one later file",
       CConvFileMake::kMusicStage,
       {{"bgm", ERROR_FILE_TOO_LARGE, false}, {"bgm", ERROR_FILE_TOO_LARGE, true}},
       {line("bgm", 0, "file too large", false), line("bgm", 1, "file too large", true)}},
      {"two causes taking turns",
       CConvFileMake::kMusicStage,
       {{"bgm", ERROR_DISK_FULL, false},
        {"none", ERROR_PATH_NOT_FOUND, false},
        {"bgm", ERROR_DISK_FULL, true},
        {"none", ERROR_PATH_NOT_FOUND, false},
        {"bgm", ERROR_DISK_FULL, false},
        {"none", ERROR_PATH_NOT_FOUND, false}},
       {line("bgm", 0, "disk full", false), line("none", 1, "folder not found", false),
        folded("bgm", 2, "1 later music track", "disk full", 1),
        folded("none", 3, "1 later music track", "folder not found", 0)}},
      {"a folder at each file's name",
       CConvFileMake::kMusicStage,
       same("named", ERROR_ACCESS_DENIED),
       {line("named", 0, inTheWay, true), line("named", 1, inTheWay, true), line("named", 2, inTheWay, true),
        line("named", 3, inTheWay, false), line("named", 4, inTheWay, false)}},
      {"each file in use",
       CConvFileMake::kMusicStage,
       {{"bgm", ERROR_SHARING_VIOLATION, false}, {"bgm", ERROR_SHARING_VIOLATION, false}},
       {line("bgm", 0, "no permission", false), line("bgm", 1, "no permission", false)}},
      {"a failing disk",
       CConvFileMake::kMusicStage,
       {{"bgm", ERROR_IO_DEVICE, false}, {"bgm", ERROR_IO_DEVICE, false}},
       {line("bgm", 0, io, false), line("bgm", 1, io, false)}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const int bitrates[2] = {3, 3}, rates[2] = {0, 0};
    CConvFileMake job(bitrates, rates, 1, 40);
    std::strcpy(job.m_sourceFolder, "C:\\game");
    std::strcpy(job.m_outputFolder, out.c_str());
    job.BeginStage(c.stage, int32_t(c.writes.size()));
    for (size_t i = 0; i < c.writes.size(); ++i) {
      const FailedWrite& w = c.writes[i];
      CConvFileMake::Failure f("C:\\game\\AdvData\\MUSIC\\00" + std::to_string(i) + ".pcm", FailureReason::kNotWritten,
                               w.error, out + "\\data\\" + w.folder + "\\00" + std::to_string(i) + ".mp3");
      f.earlierKept = w.earlierKept;
      job.FailItem(std::move(f));
    }
    job.EndStage();
    const std::vector<CConvFileMake::Failure> failures = job.TakeFailures();
    Lines lines;
    int32_t items = 0;
    for (const CConvFileMake::Failure& f : failures) {
      lines.push_back(FailureText(f));
      items += f.items;
    }
    EXPECT_EQ(lines, c.lines);
    EXPECT_EQ(job.FailureCount(), int32_t(c.lines.size()));
    EXPECT_EQ(items, int32_t(c.writes.size()));
    EXPECT_EQ(job.UnconvertedCount(), int32_t(c.writes.size()));
  }
}

// A read that fails is told by its code alone: what stands at the path, a
// folder at a file's name, says why a write fails, not why a read did.
TEST(ConversionFailures, ReadsAreNotToldByWhatStandsAtThePath) {
  const std::string folder = vtest::ScratchFolder("converter", "unlistable");
  const int bitrates[2] = {3, 3}, rates[2] = {0, 0};
  CConvFileMake job(bitrates, rates, 1, 40);
  job.AddFailure(CConvFileMake::Failure{folder, FailureReason::kFolderUnlistable, ERROR_ACCESS_DENIED});
  const std::vector<CConvFileMake::Failure> failures = job.TakeFailures();
  ASSERT_EQ(failures.size(), 1u);
  EXPECT_EQ(FailureText(failures[0]),
            folder + ": folder cannot be listed (no permission); nothing in it was converted");
}

// The box tells a folded line's earlier files in Japanese, by the folder
// relative to the output folder, without a count of items ("件") that would
// add to the box's count.
TEST(ConversionFailures, FoldedLineTellsTheEarlierFilesKeptInTheBox) {
  const int bitrates[2] = {3, 3}, rates[2] = {0, 0};
  CConvFileMake job(bitrates, rates, 1, 40);
  std::strcpy(job.m_sourceFolder, "C:\\game");
  std::strcpy(job.m_outputFolder, "C:\\out");
  job.BeginStage(CConvFileMake::kMusicStage, 4);
  for (int i = 0; i < 4; ++i) {
    CConvFileMake::Failure f("C:\\game\\AdvData\\MUSIC\\00" + std::to_string(i) + ".pcm", FailureReason::kNotWritten,
                             ERROR_WRITE_PROTECT, "C:\\out\\data\\bgm\\00" + std::to_string(i) + ".mp3");
    f.earlierKept = true;
    job.FailItem(std::move(f));
  }
  job.EndStage();
  const std::vector<CConvFileMake::Failure> lines = job.TakeFailures();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(Utf8(FailureBoxLine(lines[1], job.m_sourceFolder, job.m_outputFolder)),
            "data/bgm/001.mp3 以降のＢＧＭ 3 件は書き込まれていません（読み取り専用のディスクです）。"
            "data/bgm には以前のファイルが 3 個そのまま残っています");
}
