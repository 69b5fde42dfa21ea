// Movie files, the stream reader and the movie player on the headless
// device: direct decoding, doubling (plain and smoothed), centring and
// clipping, timing by the clock and by the sound track.
#include <filesystem>
#include <system_error>
#include <gtest/gtest.h>

#include <velmi_device.h>
#include <velmi_platform.h>

#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "formats/le_bytes.h"
#include "player/core/display.h"
#include "player/core/screen.h"
#include "player/media/movie_player.h"
#include "player/media/stream_reader.h"
#include "tests/player/rbp_builder.h"
#include "tools/jmv/jmv_writer.h"

namespace {

LRESULT Proc(HWND h, UINT m, WPARAM w, LPARAM l) { return DefWindowProcW(h, m, w, l); }

struct Rgb {
  int r, g, b;
};
const Rgb kColours[] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {128, 128, 128}, {255, 255, 255}, {0, 0, 0}};

jmv::Picture Solid(int w, int h, const Rgb& c) {
  return jmv::MakePicture(w, h, static_cast<uint8_t>(c.r), static_cast<uint8_t>(c.g), static_cast<uint8_t>(c.b));
}

// Quadrants: red top-left, green top-right, blue bottom-left, white
// bottom-right (landscape orientation).
jmv::Picture Quadrants(int w, int h) {
  jmv::Picture p = jmv::MakePicture(w, h, 0, 0, 0);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const Rgb& c = kColours[y < h / 2 ? (x < w / 2 ? 0 : 1) : (x < w / 2 ? 2 : 4)];
      uint8_t* px = p.At(x, y);
      px[0] = static_cast<uint8_t>(c.r);
      px[1] = static_cast<uint8_t>(c.g);
      px[2] = static_cast<uint8_t>(c.b);
    }
  return p;
}

bool Near(uint16_t p, const Rgb& c, int tolerance = 24) {
  const int r = (p >> 11) << 3, g = ((p >> 5) & 63) << 2, b = (p & 31) << 3;
  return std::abs(r - c.r) <= tolerance && std::abs(g - c.g) <= tolerance && std::abs(b - c.b) <= tolerance;
}

class MovieTest : public testing::Test {
 protected:
  void SetUp() override {
    VelmiClockUseFake(100000);
    dir = MakeTempDir("movie") + "/";
    UseDevice(480, 640, 640, 480);
  }
  void TearDown() override {
    VelmiDeviceReset();
    VelmiClockUseReal();
    SetScreenWidth(640);
    SetScreenHeight(480);
    {
      std::error_code rmError;
      std::filesystem::remove_all(dir, rmError);
    }
  }
  void UseDevice(int fbWidth, int fbHeight, int screenWidth, int screenHeight) {
    VelmiDeviceReset();
    VelmiDeviceSetHeadless(true);
    VelmiDeviceSetGeometry(fbWidth, fbHeight);
    SetScreenWidth(screenWidth);
    SetScreenHeight(screenHeight);
    WNDCLASSW wc{};
    wc.lpfnWndProc = Proc;
    wc.lpszClassName = u"MOVIETEST";
    RegisterClassW(&wc);
    ASSERT_NE(CreateWindowExW(0, u"MOVIETEST", u"movie", WS_VISIBLE, 0, 0, fbWidth, fbHeight, nullptr, nullptr, nullptr,
                              nullptr),
              nullptr);
  }
  // Writes name with frames of the landscape pictures.
  void WriteMovie(const std::string& name, const std::vector<jmv::Picture>& pictures, bool portrait, uint32_t r1 = 10,
                  uint32_t r2 = 1) {
    jmv::MovieHeader header;
    header.portrait = portrait;
    header.rateNumerator = r1;
    header.rateDenominator = r2;
    std::vector<std::vector<uint8_t>> frames;
    for (const auto& p : pictures) {
      const jmv::Picture stored = portrait ? jmv::ToPortrait(p) : p;
      header.width = static_cast<uint32_t>(stored.width);
      header.height = static_cast<uint32_t>(stored.height);
      frames.emplace_back();
      ASSERT_TRUE(jmv::EncodeFrame(stored, 90, &frames.back()));
    }
    ASSERT_TRUE(WriteFileBytes(dir + name, jmv::BuildMovie(header, frames)));
  }
  // The screen as held, one RGB565 word a pixel.
  std::vector<uint16_t> Shot(int* w, int* h) {
    const std::string path = dir + "shot.png";
    EXPECT_TRUE(VelmiDeviceScreenshot(path.c_str(), false));
    return ReadPng565(path, w, h);
  }
  std::string dir;
};

// ---- the stream reader ------------------------------------------------------

TEST_F(MovieTest, HeaderChecks) {
  Bytes good(48 + 24, 0);
  std::memcpy(good.data(), "JMV1", 4);
  PutLe32(&good[8], 1);
  PutLe32(&good[12], 15);
  PutLe32(&good[16], 1);
  PutLe32(&good[20], 320);
  PutLe32(&good[24], 240);
  struct Case {
    const char* name;
    size_t offset;  // 99: none
    uint32_t value;
    int ok;
  } cases[] = {
      {"good", 99, 0, 1},
      {"index beyond the file", 8, 2, 0},
      {"huge frame count", 8, 0xFFFFFFFFu, 0},
      {"rate numerator 0", 12, 0, 0},
      {"rate denominator 0", 16, 0, 0},
      {"width 0", 20, 0, 0},
      {"above 1,200 macroblocks", 20, 4096, 0},
      {"above 16 bits", 20, 0x10000, 0},
  };
  for (const Case& c : cases) {
    Bytes b = good;
    if (c.offset != 99) PutLe32(&b[c.offset], c.value);
    MovieFileHeader h;
    EXPECT_EQ(ReadMovieFileHeader(b.data(), static_cast<DWORD>(b.size()), &h), c.ok) << c.name;
  }
  // ".jmv2": sizes bit-inverted; 0xFFFFFE1F is 480.
  Bytes portrait = good;
  portrait[3] = '2';
  PutLe32(&portrait[20], 0xFFFFFE1Fu);
  PutLe32(&portrait[24], ~640u);
  MovieFileHeader h;
  ASSERT_EQ(ReadMovieFileHeader(portrait.data(), static_cast<DWORD>(portrait.size()), &h), 1);
  EXPECT_EQ(h.width, 480u);
  EXPECT_EQ(h.height, 640u);
  EXPECT_EQ(h.jmv2, 1);
}

TEST_F(MovieTest, ReaderHandsOutEveryFrameWithAndWithoutItsThread) {
  std::vector<jmv::Picture> pictures;
  for (int i = 0; i < 23; ++i) pictures.push_back(Solid(64, 48, kColours[i % 6]));
  WriteMovie("frames.jmv", pictures, false, 30, 1);
  const Bytes file = ReadFileBytes(dir + "frames.jmv");
  for (int threaded = 0; threaded < 2; ++threaded) {
    StreamReader reader((dir + "frames.jmv").c_str(), 2000);
    ASSERT_TRUE(reader.IsOpen());
    EXPECT_EQ(reader.BatchLimit(), 4u);  // narrower than 480, 30 frames a second
    if (threaded) {
      EXPECT_EQ(reader.Start(), 1);
    }
    // In order, and skipping ahead as a late player does.
    for (DWORD f : {0u, 1u, 2u, 3u, 4u, 9u, 10u, 17u, 22u}) {
      DWORD size = 0;
      const BYTE* data = reader.GetFrame(f, &size);
      ASSERT_NE(data, nullptr) << f;
      const uint8_t* entry = &file[48 + 24 * f];
      ASSERT_EQ(size, GetLe32(entry + 4)) << f;
      EXPECT_EQ(std::memcmp(data, &file[25 * 24 + GetLe32(entry + 16)], size), 0) << f;
      reader.ReleaseFrame();
    }
  }
}

TEST_F(MovieTest, ReaderBatchesAndDamagedIndexes) {
  struct Case {
    int w, h;
    uint32_t r1;
    DWORD batch;
  } cases[] = {{480, 32, 10, 8}, {64, 48, 24, 4}, {64, 48, 23, 2}};
  for (const Case& c : cases) {
    WriteMovie("batch.jmv", {Solid(c.w, c.h, kColours[0])}, false, c.r1);
    StreamReader reader((dir + "batch.jmv").c_str(), MOVIE_HALF_SIZE);
    EXPECT_EQ(reader.BatchLimit(), c.batch) << c.w << " " << c.r1;
  }
  // Frame 1's entry points beyond the file: frame 0 is served again.
  WriteMovie("damaged.jmv", {Solid(32, 32, kColours[0]), Solid(32, 32, kColours[1]), Solid(32, 32, kColours[2])},
             false);
  Bytes file = ReadFileBytes(dir + "damaged.jmv");
  PutLe32(&file[48 + 24 + 16], 0x7FFFFFF0u);
  ASSERT_TRUE(WriteFileBytes(dir + "damaged.jmv", file));
  StreamReader reader((dir + "damaged.jmv").c_str(), MOVIE_HALF_SIZE);
  ASSERT_TRUE(reader.IsOpen());
  DWORD size0 = 0, size1 = 0, size2 = 0;
  const BYTE* f0 = reader.GetFrame(0, &size0);
  reader.ReleaseFrame();
  const BYTE* f1 = reader.GetFrame(1, &size1);
  reader.ReleaseFrame();
  const BYTE* f2 = reader.GetFrame(2, &size2);
  reader.ReleaseFrame();
  EXPECT_EQ(f1, f0);
  EXPECT_EQ(size1, size0);
  EXPECT_NE(f2, nullptr);
  EXPECT_NE(f2, f0);
}

// ---- the player ----------------------------------------------------------------

TEST_F(MovieTest, PortraitMovieDecodesStraightIntoTheFrameBuffer) {
  WriteMovie("op.jmv2", {Quadrants(640, 480), Solid(640, 480, kColours[1])}, true);
  CMoviePlayer player;
  ASSERT_EQ(player.Open((dir + "op.xyz").c_str(), nullptr, 100, 0, 1, 0), 1);
  EXPECT_TRUE(player.IsDirect());
  int w, h;
  std::vector<uint16_t> shot = Shot(&w, &h);
  ASSERT_EQ(w, 640);
  ASSERT_EQ(h, 480);
  EXPECT_TRUE(Near(shot[10 * 640 + 10], kColours[0]));
  EXPECT_TRUE(Near(shot[10 * 640 + 630], kColours[1]));
  EXPECT_TRUE(Near(shot[470 * 640 + 10], kColours[2]));
  EXPECT_TRUE(Near(shot[470 * 640 + 630], kColours[4]));
  // Frame 1 at 100 ms (10 frames a second, no track).
  VelmiClockAdvance(99);
  EXPECT_EQ(player.Step(), 1);
  EXPECT_EQ(player.FrameOnScreen(), 0u);
  EXPECT_EQ(player.Step(), 1);  // the clock is now past 100 ms
  EXPECT_EQ(player.FrameOnScreen(), 1u);
  shot = Shot(&w, &h);
  EXPECT_TRUE(Near(shot[10 * 640 + 10], kColours[1]));
  VelmiClockAdvance(100);
  EXPECT_EQ(player.Step(), 0);
}

TEST_F(MovieTest, LandscapeMoviesAreDoubledCentredAndClipped) {
  struct Case {
    const char* name;
    int fbW, fbH, screenW, screenH;
    int w, h;
    int left, top;  // expected top-left of the picture on the screen as held
    int scale;
  } cases[] = {
      {"320x240 fills a VGA screen", 480, 640, 640, 480, 320, 240, 0, 0, 2},
      {"100x60 centred on black", 480, 640, 640, 480, 100, 60, 220, 180, 2},
      {"160x120 on a QVGA screen", 240, 320, 320, 240, 160, 120, 80, 60, 1},
      {"160x120 on a landscape QVGA panel", 320, 240, 320, 240, 160, 120, 80, 60, 1},
      {"320x240 doubled on a landscape VGA panel", 640, 480, 640, 480, 320, 240, 0, 0, 2},
      {"400x300 wider than a QVGA screen", 240, 320, 320, 240, 400, 300, -40, -30, 1},
      {"320x400 taller than half a VGA screen", 480, 640, 640, 480, 320, 400, 0, -160, 2},
  };
  for (const Case& c : cases) {
    UseDevice(c.fbW, c.fbH, c.screenW, c.screenH);
    WriteMovie("land.jmv", {Quadrants(c.w, c.h)}, false);
    CMoviePlayer player;
    ASSERT_EQ(player.Open((dir + "land").c_str(), nullptr, 100, 0, 1, 0), 1) << c.name;
    EXPECT_FALSE(player.IsDirect());
    int w, h;
    const std::vector<uint16_t> shot = Shot(&w, &h);
    ASSERT_EQ(w, c.screenW);
    ASSERT_EQ(h, c.screenH);
    const int pw = c.w * c.scale, ph = c.h * c.scale;
    // A point in each quadrant of the picture, where it is on the screen.
    const struct {
      int fx, fy;
      int colour;
    } probes[] = {{1, 1, 0}, {3, 1, 1}, {1, 3, 2}, {3, 3, 4}};
    for (const auto& p : probes) {
      const int x = c.left + pw * p.fx / 4, y = c.top + ph * p.fy / 4;
      if (x < 0 || y < 0 || x >= w || y >= h) continue;
      EXPECT_TRUE(Near(shot[y * w + x], kColours[p.colour])) << c.name << " at " << x << "," << y;
    }
    if (c.left > 0) {
      EXPECT_EQ(shot[0], 0) << c.name;  // black around a small picture
      EXPECT_EQ(shot[(h - 1) * w + w - 1], 0) << c.name;
    }
  }
}

TEST_F(MovieTest, SmoothDoublingAveragesNeighbours) {
  // 320 x 240: left half red, right half blue, a sharp edge at x 160.
  jmv::Picture p = jmv::MakePicture(320, 240, 0, 0, 0);
  for (int y = 0; y < 240; ++y)
    for (int x = 0; x < 320; ++x) p.At(x, y)[x < 160 ? 0 : 2] = 255;
  WriteMovie("edge.jmv", {p}, false);
  for (int smooth = 0; smooth < 2; ++smooth) {
    CMoviePlayer player;
    ASSERT_EQ(player.Open((dir + "edge").c_str(), nullptr, 100, 0, 1, smooth), 1);
    int w, h;
    const std::vector<uint16_t> shot = Shot(&w, &h);
    const int y = 200;
    const uint16_t left = shot[y * w + 300], right = shot[y * w + 340];
    // The pixel right of the last red source pixel's own.
    const uint16_t between = shot[y * w + 319];
    const uint16_t expect =
        smooth ? static_cast<uint16_t>((((shot[y * w + 318] & 0xF7DE) + (shot[y * w + 320] & 0xF7DE)) >> 1) |
                                       (shot[y * w + 318] & shot[y * w + 320] & 0x0821))
               : shot[y * w + 318];
    EXPECT_EQ(between, expect) << "smooth " << smooth;
    EXPECT_TRUE(Near(left, kColours[0]));
    EXPECT_TRUE(Near(right, kColours[2]));
  }
}

TEST_F(MovieTest, ClockTimingDividesByTheRateDenominator) {
  std::vector<jmv::Picture> pictures;
  for (int i = 0; i < 40; ++i) pictures.push_back(Solid(32, 32, kColours[i % 6]));
  WriteMovie("clock.jmv", pictures, false, 30, 2);  // 15 frames a second
  CMoviePlayer player;
  ASSERT_EQ(player.Open((dir + "clock").c_str(), nullptr, 100, 0, 1, 0), 1);
  const struct {
    DWORD at;  // ms after the open
    DWORD frame;
  } checks[] = {{66, 0}, {67, 1}, {1000, 15}, {2599, 38}, {2600, 39}};
  DWORD now = 0;
  for (const auto& c : checks) {
    VelmiClockAdvance(c.at - now);
    ASSERT_EQ(player.Step(), 1) << c.at;  // Step sleeps 1 ms
    now = c.at + 1;
    EXPECT_EQ(player.FrameOnScreen(), c.frame) << c.at;
  }
  VelmiClockAdvance(100);
  EXPECT_EQ(player.Step(), 0);
}

int g_position = 0;
int g_opened = 0;
std::string g_trackName, g_trackFolder;
int FakeOpen(CSoundMixer*, const char* name, const char* folder, int, int) {
  ++g_opened;
  g_trackName = name;
  g_trackFolder = folder;
  return 1;
}
int FakePosition(CSoundMixer*) { return g_position; }
const MovieTrackCalls kFakeTrack = {FakeOpen, FakePosition};

TEST_F(MovieTest, TrackPositionDrivesTheFramesAndEndsTheMovie) {
  std::vector<jmv::Picture> pictures;
  for (int i = 0; i < 30; ++i) pictures.push_back(Solid(32, 32, kColours[i % 6]));
  WriteMovie("song.jmv", pictures, false, 30000, 1001);  // 29.97 frames a second
  ASSERT_TRUE(WriteFileBytes(dir + "song.ogg", Bytes(16, 0)));
  g_opened = 0;
  g_position = 0;
  CMoviePlayer player(&kFakeTrack);
  ASSERT_EQ(player.Open((dir + "song.mes").c_str(), nullptr, 80, 0, 1, 0), 1);
  EXPECT_EQ(g_opened, 1);
  EXPECT_EQ(g_trackName, "song.ogg");
  EXPECT_EQ(g_trackFolder, dir);
  EXPECT_TRUE(player.HasTrack());
  // The clock does not matter; the position does.
  const struct {
    int position;
    DWORD frame;
  } checks[] = {{0, 0}, {33, 0}, {34, 1}, {500, 14}, {967, 28}};
  for (const auto& c : checks) {
    g_position = c.position;
    VelmiClockAdvance(5000);
    ASSERT_EQ(player.Step(), 1) << c.position;
    EXPECT_EQ(player.FrameOnScreen(), c.frame) << c.position;
  }
  // The track has ended before the last frame: so has the movie.
  g_position = -1;
  EXPECT_EQ(player.Step(), 0);
}

TEST_F(MovieTest, FindingTheFile) {
  WriteMovie("both.jmv2", {Solid(640, 480, kColours[0])}, true);
  WriteMovie("both.jmv", {Solid(32, 32, kColours[1])}, false);
  CMoviePlayer player;
  ASSERT_EQ(player.Open((dir + "both.mpg").c_str(), nullptr, 100, 0, 1, 0), 1);
  EXPECT_TRUE(player.IsDirect());  // the ".jmv2" plays
  CMoviePlayer none;
  EXPECT_EQ(none.Open((dir + "missing").c_str(), nullptr, 100, 0, 1, 0), 0);
  ASSERT_TRUE(WriteFileBytes(dir + "broken.jmv", Bytes(40, 7)));
  CMoviePlayer broken;
  EXPECT_EQ(broken.Open((dir + "broken").c_str(), nullptr, 100, 0, 1, 0), 0);
  // The screen takes the name's last part and the ".jmv" extension.
  CScreen screen;
  EXPECT_EQ(screen.PlayMovie(dir.c_str(), "movie/both.avi", nullptr, 100, 0, 1, 0), 1);
  EXPECT_TRUE(screen.IsMoviePlaying());
  EXPECT_EQ(screen.PlayMovie(dir.c_str(), "missing", nullptr, 100, 0, 1, 0), 0);
  EXPECT_FALSE(screen.IsMoviePlaying());
}

}  // namespace
