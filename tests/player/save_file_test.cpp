// The save file: the block at its byte offsets, the checks that refuse a
// damaged file, the scene label, the packed time and the slot summary.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "common/file.h"
#include "player/core/display.h"
#include "player/core/picture.h"
#include "player/scenario/save_image.h"
#include "tests/player/rbp_builder.h"
#include "formats/le_bytes.h"

namespace {

static_assert(sizeof(SaveStateBlock) == kSaveStateSize, "the record has no padding");

template <size_t N>
void SetName(char (&field)[N], const char* text) {
  std::memset(field, 0, N);
  std::memcpy(field, text, std::strlen(text));
}

// A block with a value in every field.
SaveStateBlock GoldenBlock() {
  SaveStateBlock b{};
  std::memcpy(b.magic, "YMN0", 4);
  b.thumbnailOffset = 26688;
  SetName(b.time, "2004-05-06 07:08:10");
  SetName(b.label,
          "-5\x8c\x8e"
          "6\x93\xfa[title]-");
  b.saveIcon = 3;
  b.pc = 0x1234;
  b.frameCounter = 7;
  b.moveKind = 2;
  SetName(b.scriptName, "a0506_01");
  SetName(b.voiceName, "v_0001");
  SetName(b.speakerName, "\x88\xa2");  // one double-byte character
  b.variables[5] = -1;
  b.variables[12799] = 0x7FFF;
  b.readBlock = 17;
  b.weatherKind = 3;
  b.weatherStrength = 12;
  b.conditionFlag = 1;
  b.windowShown = 1;
  b.pageCursorShown = 1;
  b.currentTrack = 4;
  b.trackMode = 1;
  b.currentEffect = -1;
  b.effectLoop = 0;
  b.characters[0] = {1, {}, {}, -100, 20, -90, 30};
  SetName(b.characters[0].name, "ch_a");
  SetName(b.characters[0].layer, "ly_a");
  b.characters[1] = {0, {}, {}, 5, 6, 7, 8};
  SetName(b.characters[1].name, "ch_b");
  SetName(b.backgroundName, "bg\\bg01");
  b.backgroundX = -40;
  b.backgroundY = 12;
  b.choice.listFlag = 1;
  b.choice.optionCount = 2;
  b.choice.chosen = 1;
  b.choice.layout[0] = 160;
  b.choice.layout[1] = 224;
  b.choice.layout[3] = 56;
  SetName(b.choice.texts[0], "yes");
  SetName(b.choice.texts[1], "no");
  SetName(b.choice.labels[0], "L1");
  SetName(b.choice.labels[1], "L2");
  SetName(b.choice.message, "message");
  SetName(b.choice.speaker, "who");
  return b;
}

// The same block as bytes, placed by hand at plain offsets.
Bytes GoldenBytes() {
  Bytes g(26688, 0);
  auto u16 = [&](size_t at, uint32_t v) {
    g[at] = uint8_t(v);
    g[at + 1] = uint8_t(v >> 8);
  };
  auto u32 = [&](size_t at, uint32_t v) {
    u16(at, v & 0xFFFF);
    u16(at + 2, v >> 16);
  };
  auto str = [&](size_t at, const char* s) { std::memcpy(g.data() + at, s, std::strlen(s)); };
  str(0, "YMN0");
  u32(4, 26688);
  str(8, "2004-05-06 07:08:10");
  str(28,
      "-5\x8c\x8e"
      "6\x93\xfa[title]-");
  u32(92, 3);
  u32(96, 0x1234);
  u32(100, 7);
  u16(104, 2);
  str(106, "a0506_01");
  str(138, "v_0001");
  str(202, "\x88\xa2");
  u16(234 + 2 * 5, 0xFFFF);
  u16(234 + 2 * 12799, 0x7FFF);
  u32(25836, 17);
  u32(25840, 3);
  u32(25844, 12);
  u32(25848, 1);
  u32(25852, 1);
  u32(25856, 1);
  u32(25860, 4);
  u32(25864, 1);
  u32(25868, 0xFFFFFFFF);
  u32(25876, 1);
  str(25880, "ch_a");
  str(25912, "ly_a");
  u32(25944, uint32_t(-100));
  u32(25948, 20);
  u32(25952, uint32_t(-90));
  u32(25956, 30);
  str(25964, "ch_b");
  u32(26028, 5);
  u32(26032, 6);
  u32(26036, 7);
  u32(26040, 8);
  str(26044, "bg\\bg01");
  u32(26076, uint32_t(-40));
  u32(26080, 12);
  u32(26084, 1);
  u32(26088, 2);
  u32(26092, 1);
  u32(26096, 160);
  u32(26100, 224);
  u32(26108, 56);
  str(26112, "yes");
  str(26160, "no");
  str(26304, "L1");
  str(26328, "L2");
  str(26400, "message");
  str(26656, "who");
  return g;
}

TEST(SaveFile, GoldenBlockEncodesAndDecodesByteForByte) {
  SaveStateBlock block = GoldenBlock();
  Bytes golden = GoldenBytes();
  Bytes out(kSaveStateSize, 0xCD);
  EncodeSaveState(block, out.data());
  EXPECT_EQ(out, golden);

  SaveStateBlock read;
  std::memset(&read, 0xEE, sizeof read);
  ASSERT_EQ(DecodeSaveState(golden.data(), golden.size(), &read), SaveCheck::kOk);
  EXPECT_EQ(std::memcmp(&read, &block, sizeof block), 0);
}

TEST(SaveFile, NamesAreZeroFilledAndCutAtAWholeCharacter) {
  SaveStateBlock block = GoldenBlock();
  // Stale bytes behind a terminator are not written.
  std::memcpy(block.voiceName, "ab\0stale", 8);
  // 30 single bytes and a double-byte character fill the 32-byte field: the
  // character would leave no room for the terminator and is dropped whole.
  std::memset(block.scriptName, 'x', 30);
  block.scriptName[30] = '\x88';
  block.scriptName[31] = '\xa2';
  Bytes out(kSaveStateSize);
  EncodeSaveState(block, out.data());
  EXPECT_EQ(std::string(reinterpret_cast<char*>(&out[138]), 3), std::string("ab\0", 3));
  for (int i = 2; i < 64; ++i) EXPECT_EQ(out[138 + i], 0) << i;
  EXPECT_EQ(out[106 + 29], 'x');
  EXPECT_EQ(out[106 + 30], 0);
  EXPECT_EQ(out[106 + 31], 0);
  SaveStateBlock read;
  EXPECT_EQ(DecodeSaveState(out.data(), out.size(), &read), SaveCheck::kOk);
}

TEST(SaveFile, DamagedBlocksAreRefusedAndLeaveTheTargetAlone) {
  struct Case {
    const char* what;
    size_t at;    // where to damage
    Bytes bytes;  // what to put there (empty: cut the image at `at`)
    SaveCheck expect;
  };
  const Bytes noTerminator(64, 'n');
  const Case cases[] = {
      {"empty", 0, {}, SaveCheck::kShort},
      {"one byte short", 26687, {}, SaveCheck::kShort},
      {"magic letter", 2, {'X'}, SaveCheck::kBadMagic},
      {"magic digit", 3, {'a'}, SaveCheck::kBadMagic},
      {"time", 8, Bytes(20, '1'), SaveCheck::kUnterminated},
      {"label", 28, noTerminator, SaveCheck::kUnterminated},
      {"script", 106, Bytes(32, 's'), SaveCheck::kUnterminated},
      {"voice", 138, noTerminator, SaveCheck::kUnterminated},
      {"speaker", 202, Bytes(32, 's'), SaveCheck::kUnterminated},
      {"second character layer", 25876 + 84 + 36, Bytes(32, 'l'), SaveCheck::kUnterminated},
      {"background", 26044, Bytes(32, 'b'), SaveCheck::kUnterminated},
      {"last option text", 26112 + 3 * 48, Bytes(48, 't'), SaveCheck::kUnterminated},
      {"last option label", 26304 + 3 * 24, Bytes(24, 'l'), SaveCheck::kUnterminated},
      {"choice message", 26400, Bytes(256, 'm'), SaveCheck::kUnterminated},
      {"choice speaker", 26656, Bytes(32, 'w'), SaveCheck::kUnterminated},
      {"five options", 26088, {5, 0, 0, 0}, SaveCheck::kBadChoice},
      {"negative option count", 26088, {0xFF, 0xFF, 0xFF, 0xFF}, SaveCheck::kBadChoice},
      {"chosen index 4", 26092, {4, 0, 0, 0}, SaveCheck::kBadChoice},
      {"chosen index -1", 26092, {0xFF, 0xFF, 0xFF, 0xFF}, SaveCheck::kBadChoice},
      {"weather kind 7", 25840, {7, 0, 0, 0}, SaveCheck::kBadWeather},
      {"weather kind -1", 25840, {0xFF, 0xFF, 0xFF, 0xFF}, SaveCheck::kBadWeather},
  };
  for (const Case& c : cases) {
    Bytes image = GoldenBytes();
    if (c.bytes.empty())
      image.resize(c.at);
    else
      std::memcpy(image.data() + c.at, c.bytes.data(), c.bytes.size());
    SaveStateBlock target;
    std::memset(&target, 0x5A, sizeof target);
    SaveStateBlock before = target;
    EXPECT_EQ(DecodeSaveState(image.data(), image.size(), &target), c.expect) << c.what;
    EXPECT_EQ(std::memcmp(&target, &before, sizeof target), 0) << c.what;
  }
  // Every digit is a valid magic; four options and kind 6 are in range.
  for (char d = '0'; d <= '9'; ++d) {
    Bytes image = GoldenBytes();
    image[3] = uint8_t(d);
    image[26088] = 4;
    image[26092] = 3;
    image[25840] = 6;
    SaveStateBlock target;
    EXPECT_EQ(DecodeSaveState(image.data(), image.size(), &target), SaveCheck::kOk) << d;
  }
}

TEST(SaveFile, SceneLabelVariants) {
  SceneRecord table[] = {
      {5, 6, "a0506_01", "Title"},
      {0, 0, "prologue", "Start"},
      {12, 31, "A1231", "\x96\xe9"},  // a double-byte title
      {-1, -1, "", ""},
  };
  struct Case {
    const char* script;
    int width;
    const char* expect;
  };
  const Case cases[] = {
      {"a0506_01", 640,
       "-5\x8c\x8e"
       "6\x93\xfa[Title]-"},
      {"A0506_01", 640,
       "-5\x8c\x8e"
       "6\x93\xfa[Title]-"},  // ASCII letters fold
      {"a1231", 800,
       "-12\x8c\x8e"
       "31\x93\xfa[\x96\xe9]-"},
      {"prologue", 640, "-\x81H\x8c\x8e\x81H\x93\xfa[Start]-"},
      {"missing", 640, "-\x81H\x8c\x8e\x81H\x93\xfa[]-"},
      {"a0506_01", 320, "-Title-"},
      {"missing", 320, "--"},
  };
  for (const Case& c : cases) {
    char label[64];
    std::memset(label, 'z', sizeof label);
    MakeSceneLabel(label, table, c.script, c.width);
    EXPECT_STREQ(label, c.expect) << c.script << " " << c.width;
  }
  EXPECT_EQ(LookupSceneRecord(nullptr, "a0506_01"), nullptr);
  EXPECT_EQ(LookupSceneRecord(table, "prologue"), &table[1]);
}

TEST(SaveFile, PackedTimeOrdersBySeconds) {
  EXPECT_EQ(PackSaveTime("2004-05-06 07:08:10"), 0x08A63905u);
  EXPECT_LT(PackSaveTime("2004-05-06 07:08:10"), PackSaveTime("2004-05-06 07:08:12"));
  EXPECT_LT(PackSaveTime("2004-12-31 23:59:59"), PackSaveTime("2005-01-01 00:00:00"));
  SYSTEMTIME t{2005, 1, 6, 1, 0, 2, 3, 999};
  char text[20];
  FormatSaveTime(text, t);
  EXPECT_STREQ(text, "2005-01-01 00:02:03");
  char path[32];
  EXPECT_EQ(MakeSavePath(path, sizeof path, "s\\", 0), 1);
  EXPECT_STREQ(path, "s\\save001.dat");
  EXPECT_EQ(MakeSavePath(path, sizeof path, "s\\", 502), 1);
  EXPECT_STREQ(path, "s\\save503.dat");
  EXPECT_EQ(MakeSavePath(path, 8, "s\\", 0), 0);
}

TEST(SaveFile, SlotSummaries) {
  Bytes full = GoldenBytes();
  Bytes bmp(54 + 2 * 2 * 2, 0);  // 2 x 2 pixels
  bmp[0] = 'B';
  bmp[1] = 'M';
  bmp[10] = 54;
  bmp[14] = 40;
  bmp[18] = 2;
  bmp[22] = 2;
  bmp[26] = 1;
  bmp[28] = 16;
  full.insert(full.end(), bmp.begin(), bmp.end());
  Bytes cut = full;  // the pixels pass the end of the file
  cut.resize(full.size() - 1);
  Bytes wide = full;  // not 16 bits a pixel
  wide[26688 + 28] = 24;
  Bytes packed = full;  // compressed
  packed[26688 + 30] = 3;
  Bytes past = GoldenBytes();  // thumbnail offset at the very end
  Bytes shortMagic(50, 0);
  std::memcpy(shortMagic.data(), "YMN1", 4);
  Bytes wrong = GoldenBytes();
  wrong[0] = 'y';
  Bytes header(92, 0);  // time and label, nothing else
  std::memcpy(header.data(), "YMN9", 4);
  std::memcpy(header.data() + 8, "2004-05-06 07:08:10", 19);
  std::memset(header.data() + 28, 'L', 64);  // unterminated label
  header[4] = 10;                            // a thumbnail offset inside the header: no BMP there

  struct Case {
    const char* what;
    const Bytes* image;
    int used;
    std::string text;
    long thumbnailAt;  // -1: none
  };
  const std::string undefined = kTextUndefinedSlot;
  const std::string goldenText = std::string(
      "2004-05-06 07:08:10 -5\x8c\x8e"
      "6\x93\xfa[title]-");
  const Case cases[] = {
      {"full", &full, 1, goldenText, 26688},
      {"thumbnail cut", &cut, 1, goldenText, -1},
      {"thumbnail of 24 bits", &wide, 1, goldenText, -1},
      {"compressed thumbnail", &packed, 1, goldenText, -1},
      {"no thumbnail", &past, 1, goldenText, -1},
      {"short", &shortMagic, 0, undefined, -1},
      {"magic", &wrong, 0, undefined, -1},
      {"header only", &header, 1, "2004-05-06 07:08:10 " + std::string(64, 'L'), -1},
      {"null", nullptr, 0, undefined, -1},
  };
  for (const Case& c : cases) {
    SaveSlotSummary s;
    const uint8_t* data = c.image ? c.image->data() : nullptr;
    size_t size = c.image ? c.image->size() : 0;
    SummariseSaveImage(data, size, &s);
    EXPECT_EQ(s.used, c.used) << c.what;
    EXPECT_EQ(std::string(s.text), c.text) << c.what;
    if (c.thumbnailAt < 0) {
      EXPECT_EQ(s.thumbnail, nullptr) << c.what;
    } else {
      EXPECT_EQ(s.thumbnail, data + c.thumbnailAt) << c.what;
      EXPECT_EQ(s.thumbnailSize, size - size_t(c.thumbnailAt)) << c.what;
    }
  }
  EXPECT_EQ(undefined, "---- \x96\xa2\x92\xe8\x8b` ----");
}

class SaveFileOnDisk : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = MakeTempDir("save");
    ASSERT_FALSE(dir.empty());
    folder = dir + "/";
    for (char& c : folder)
      if (c == '/') c = '\\';
  }
  void TearDown() override {
    std::string cmd = "rm -rf '" + dir + "'";
    (void)!system(cmd.c_str());
  }
  std::string dir, folder;
};

// A plain-offset reader of what the writer put on disk.
TEST_F(SaveFileOnDisk, WrittenFileReadsBackAtPlainOffsets) {
  SetScreenWidth(640);
  SetScreenHeight(480);
  std::vector<uint16_t> screen(640 * 480, 0xF800);
  DWORD thumbSize = 0;
  BYTE* thumb = MakeThumbnailBmp(screen.data(), 640, 480, 128, 96, &thumbSize);
  ASSERT_NE(thumb, nullptr);
  SaveStateBlock block = GoldenBlock();
  char path[1024];
  ASSERT_EQ(MakeSavePath(path, sizeof path, folder.c_str(), 4), 1);
  ASSERT_EQ(WriteSaveImage(path, block, thumb, thumbSize), 1);
  LocalFree(thumb);

  Bytes f = ReadFileBytes(dir + "/save005.dat");
  ASSERT_EQ(f.size(), 26688u + 54 + 128 * 96 * 2);
  auto u32 = [&](size_t at) { return GetLe32(&f[at]); };
  EXPECT_EQ(std::string(reinterpret_cast<char*>(&f[28])),
            "-5\x8c\x8e"
            "6\x93\xfa[title]-");
  auto two = [&](size_t at) { return uint32_t((f[at] - '0') * 10 + (f[at + 1] - '0')); };
  uint32_t packed = two(10) << 25 | two(13) << 21 | two(16) << 16 | two(19) << 11 | two(22) << 5 | two(25) / 2;
  EXPECT_EQ(packed, PackSaveTime(block.time));
  size_t bmp = u32(4);
  ASSERT_EQ(bmp, 26688u);
  EXPECT_EQ(f[bmp], 'B');
  EXPECT_EQ(f[bmp + 1], 'M');
  EXPECT_EQ(u32(bmp + 2), 54u + 128 * 96 * 2);  // file size
  EXPECT_EQ(u32(bmp + 10), 54u);                // pixel offset
  EXPECT_EQ(u32(bmp + 14), 40u);                // info header size
  EXPECT_EQ(u32(bmp + 18), 128u);
  EXPECT_EQ(u32(bmp + 22), 96u);
  EXPECT_EQ(f[bmp + 28], 16);    // bits a pixel
  EXPECT_EQ(u32(bmp + 30), 0u);  // BI_RGB
  EXPECT_EQ(f[bmp + 54] | f[bmp + 55] << 8, 0xF800);
  EXPECT_FALSE(FileExists((folder + "save005.dat.tmp").c_str()));

  // The picture loader reads the same thumbnail back.
  CPicture pic;
  char script[32];
  uint32_t icon = 0, stamp = 0;
  ASSERT_EQ(ReadSaveHeader(&pic, "save005.dat", folder.c_str(), script, sizeof script, &icon, &stamp), 1);
  EXPECT_EQ(pic.width, 128u);
  EXPECT_EQ(pic.height, 96u);
  EXPECT_STREQ(script, "a0506_01");
  EXPECT_EQ(icon, 3u);
  EXPECT_EQ(stamp, 0x08A63905u);
  pic.FreePixels();

  SaveStateBlock read;
  ASSERT_EQ(ReadSaveImage(path, &read), SaveCheck::kOk);
  EXPECT_EQ(std::memcmp(&read, &block, sizeof block), 0);
  EXPECT_EQ(ReadSaveImage((folder + "save006.dat").c_str(), &read), SaveCheck::kMissing);
}

TEST_F(SaveFileOnDisk, FailedWriteKeepsTheOlderFile) {
  SaveStateBlock block = GoldenBlock();
  std::string path = folder + "save001.dat";
  ASSERT_EQ(WriteSaveImage(path.c_str(), block, nullptr, 0), 1);
  Bytes before = ReadFileBytes(dir + "/save001.dat");
  ASSERT_EQ(before.size(), 26688u);
  // A folder in the way of the temporary file makes the write fail.
  ASSERT_EQ(mkdir((dir + "/save001.dat.tmp").c_str(), 0700), 0);
  block.pc = 99;
  EXPECT_EQ(WriteSaveImage(path.c_str(), block, nullptr, 0), 0);
  EXPECT_EQ(ReadFileBytes(dir + "/save001.dat"), before);
  // A folder that does not exist.
  EXPECT_EQ(WriteSaveImage((folder + "none\\save001.dat").c_str(), block, nullptr, 0), 0);
}

TEST_F(SaveFileOnDisk, ScanFindsTheNewestInSlotOrder) {
  struct Slot {
    const char* time;  // null: no file; "" : a file with another magic
  };
  const Slot slots[] = {{nullptr},
                        {"2004-05-06 07:08:10"},
                        {""},
                        {"2004-05-06 07:08:12"},
                        {"2004-05-06 07:08:13"},
                        {"2004-05-06 07:08:11"}};
  // 07:08:12 and 07:08:13 pack alike (seconds are halved): the lower slot stays newest.
  for (int i = 0; i < 6; ++i) {
    if (!slots[i].time) continue;
    SaveStateBlock b = GoldenBlock();
    SetName(b.time, slots[i].time);
    if (!*slots[i].time) std::memcpy(b.magic, "XYZ0", 4);
    char path[1024];
    ASSERT_EQ(MakeSavePath(path, sizeof path, folder.c_str(), 20 + i), 1);
    ASSERT_EQ(WriteSaveImage(path, b, nullptr, 0), 1);
  }
  struct Seen {
    std::vector<int> order;
    std::vector<std::string> texts;
  } seen;
  int used[6];
  int newest = ScanSaveSlots(
      folder.c_str(), 20, 6, used,
      [](void* c, int index, const SaveSlotSummary& s) {
        auto* v = static_cast<Seen*>(c);
        v->order.push_back(index);
        v->texts.push_back(std::string(s.text).substr(0, 19));
      },
      &seen);
  EXPECT_EQ(newest, 3);
  EXPECT_EQ(std::vector<int>(used, used + 6), (std::vector<int>{0, 1, 0, 1, 1, 1}));
  EXPECT_EQ(seen.order, (std::vector<int>{0, 1, 2, 3, 4, 5}));
  EXPECT_EQ(seen.texts[1], "2004-05-06 07:08:10");
  EXPECT_EQ(seen.texts[0], std::string(kTextUndefinedSlot).substr(0, 19));
  EXPECT_EQ(ScanSaveSlots(folder.c_str(), 0, 3, nullptr, nullptr, nullptr), -1);
}

}  // namespace
