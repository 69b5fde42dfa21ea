// The movie-frame decoder: its shift-and-add transform against a model, its
// tree builder against the JBP1 coder's, its pictures against libjpeg-turbo
// and against pure colours, and malformed frames.
#include <filesystem>
#include <system_error>
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "formats/jbp1_stream.h"
#include "formats/le_bytes.h"
#include "player/core/movie_decoder.h"
#include "tools/jmv/jmv_writer.h"

namespace {

using Bytes = std::vector<uint8_t>;

// ---- the transform ----------------------------------------------------------

// Each constant as a list of terms: shift s > 0 means operand >> s, s = 0 the
// operand itself, s < 0 the operand times 2^-s.
struct Constant {
  int sign;
  std::vector<int> terms;
  int Apply(int v) const {
    int sum = 0;
    for (int s : terms) sum += s > 0 ? v >> s : s == 0 ? v : v * (1 << -s);
    return sign * sum;
  }
};
const Constant k0541{1, {7, 5, 1}}, kM1847{-1, {4, 2, 1, 0}}, k0765{1, {7, 2, 1}}, k1175{1, {5, 3, 0}},
    kM1961{-1, {4, 2, 1, 0}}, kM0390{-1, {7, 3, 2}}, kM0899{-1, {6, 3, 2, 1}}, kM2562{-1, {5, 1, -1}},
    k0298{1, {6, 5, 2}}, k2053{1, {6, 5, -1}}, k3072{1, {0, 0, 0, 4}}, k1501{1, {0, 1}};

std::array<int, 8> ModelPass(const std::array<int, 8>& c) {
  const int even2 = k0541.Apply(c[2] + c[6]) + kM1847.Apply(c[6]);
  const int even3 = k0541.Apply(c[2] + c[6]) + k0765.Apply(c[2]);
  const int a0 = c[0] + c[4] + even3, a3 = c[0] + c[4] - even3;
  const int a1 = c[0] - c[4] + even2, a2 = c[0] - c[4] - even2;
  const int z5 = k1175.Apply(c[7] + c[3] + c[5] + c[1]);
  const int z1 = kM0899.Apply(c[7] + c[1]), z2 = kM2562.Apply(c[5] + c[3]);
  const int z3 = kM1961.Apply(c[7] + c[3]) + z5, z4 = kM0390.Apply(c[5] + c[1]) + z5;
  const int b0 = k0298.Apply(c[7]) + z1 + z3, b1 = k2053.Apply(c[5]) + z2 + z4;
  const int b2 = k3072.Apply(c[3]) + z2 + z3, b3 = k1501.Apply(c[1]) + z1 + z4;
  return {a0 + b3, a1 + b2, a2 + b1, a3 + b0, a3 - b0, a2 - b1, a1 - b2, a0 - b3};
}

void ModelIdct(short* b) {
  for (int c = 0; c < 8; ++c) {
    std::array<int, 8> in;
    bool lowerZero = true;
    for (int r = 0; r < 8; ++r) {
      in[r] = b[8 * r + c];
      if (r > 0 && in[r] != 0) lowerZero = false;
    }
    const std::array<int, 8> out =
        lowerZero ? std::array<int, 8>{in[0], in[0], in[0], in[0], in[0], in[0], in[0], in[0]} : ModelPass(in);
    for (int r = 0; r < 8; ++r) b[8 * r + c] = static_cast<short>(out[r]);
  }
  for (int r = 0; r < 8; ++r) {
    std::array<int, 8> in;
    for (int i = 0; i < 8; ++i) in[i] = b[8 * r + i];
    const std::array<int, 8> out = ModelPass(in);
    for (int i = 0; i < 8; ++i) b[8 * r + i] = static_cast<short>(out[i] >> 3);
  }
}

const struct {
  const char* name;
  void (*run)(short*);
} kIdcts[] = {
    {"IdctShiftAdd", IdctShiftAdd},
    {"IdctShiftAddPlain", IdctShiftAddPlain},
#if defined(__SSE2__)
    {"IdctShiftAddSse2", IdctShiftAddSse2},
#endif
};

TEST(MovieIdct, MatchesTheShiftAndAddModel) {
  std::mt19937 rng(17);
  for (int round = 0; round < 3000; ++round) {
    short block[64], model[64];
    // Sparse low, dense small, dense large, DC only, full 16-bit range, and
    // every entry at +-1500 (the edge of the processor form's 16-bit path).
    const int shape = round % 6;
    for (int i = 0; i < 64; ++i) {
      int v = 0;
      if (shape == 0) v = (i < 10 && rng() % 2) ? static_cast<int>(rng() % 2001) - 1000 : 0;
      if (shape == 1) v = static_cast<int>(rng() % 61) - 30;
      if (shape == 2) v = static_cast<int>(rng() % 4001) - 2000;
      if (shape == 3) v = i == 0 ? static_cast<int>(rng() % 8001) - 4000 : 0;
      if (shape == 4) v = static_cast<int>(rng() % 65536) - 32768;
      if (shape == 5) v = rng() % 2 ? 1500 : -1500;
      block[i] = model[i] = static_cast<short>(v);
    }
    ModelIdct(model);
    for (auto idct : kIdcts) {
      short copy[64];
      std::memcpy(copy, block, sizeof copy);
      idct.run(copy);
      ASSERT_EQ(0, std::memcmp(copy, model, sizeof copy)) << idct.name << " round " << round;
    }
  }
}

TEST(MovieIdct, LoneDcGivesAFlatBlockShiftedByThree) {
  for (int dc : {0, 8, -8, 100, -101, 1023}) {
    for (auto idct : kIdcts) {
      short block[64] = {static_cast<short>(dc)};
      idct.run(block);
      for (short v : block) ASSERT_EQ(v, dc >> 3) << idct.name << " " << dc;
    }
  }
}

#if defined(__SSE2__)
TEST(MovieColour, ProcessorFormMatchesThePlainOne) {
  std::mt19937 rng(31);
  for (int round = 0; round < 400; ++round) {
    short blocks[6][64];
    const int range = round % 4 == 0 ? 65536 : round % 4 == 1 ? 4096 : 600;
    for (auto& b : blocks)
      for (short& v : b) v = static_cast<short>(static_cast<int>(rng() % range) - range / 2);
    std::vector<uint8_t> plain(16 * 40, 0), fast(16 * 40, 0);
    MovieColourPlain(blocks, plain.data(), 40);
    MovieColourSse2(blocks, fast.data(), 40);
    ASSERT_EQ(plain, fast) << "round " << round;
  }
}
#endif

// ---- the tree -----------------------------------------------------------------

TEST(MovieHuffmanTree, SameTreeAsTheCoder) {
  std::mt19937 rng(23);
  for (int round = 0; round < 200; ++round) {
    const int n = round % 2 ? 256 : 16;
    DWORD a[511] = {}, b[511] = {};
    for (int i = 0; i < n; ++i) {
      const int kind = rng() % 4;
      a[i] = kind == 0 ? 0 : kind == 1 ? rng() % 4 : kind == 2 ? rng() % 1000 : rng() % 3000000;
    }
    std::memcpy(b, a, sizeof a);
    HuffmanTreeLinks reference;
    HuffmanTree16 tree;
    const int refNodes = BuildHuffmanTree(a, n, &reference);
    ASSERT_EQ(BuildHuffmanTree16(b, n, &tree), refNodes) << round;
    ASSERT_EQ(refNodes, 2 * n - 1);
    for (int k = n; k < refNodes; ++k) {
      ASSERT_EQ(tree.child0[k], reference.firstChild[k]) << round << " node " << k;
      ASSERT_EQ(tree.child1[k], reference.secondChild[k]) << round << " node " << k;
    }
    for (int k = 0; k < refNodes - 1; ++k) ASSERT_EQ(tree.parent[k], reference.parent[k]) << round;
  }
}

TEST(MovieHuffmanTree, MalformedCountsLeaveTheTreeIncomplete) {
  HuffmanTree16 tree;
  DWORD atLimit[31] = {};
  atLimit[3] = HUFFMAN_LIVE_LIMIT;
  EXPECT_LT(BuildHuffmanTree16(atLimit, 16, &tree), 31);
  // Two merged counts whose sum reaches the limit leave a node out.
  DWORD hugeSum[31] = {};
  hugeSum[0] = hugeSum[1] = hugeSum[2] = 1500000000u;
  EXPECT_LT(BuildHuffmanTree16(hugeSum, 16, &tree), 31);
}

// ---- frames --------------------------------------------------------------------

struct Rgb565Expect {
  int r, g, b;
};

struct Decoded {
  int ok = 0;
  int width = 0, height = 0, pitch = 0;
  std::vector<WORD> pixels;
};

Decoded Decode(const Bytes& frame, int movieWidth, int movieHeight) {
  BlockDecoder s;
  InitMovieDecoder(&s);
  s.input = frame.data();
  s.inputLength = static_cast<DWORD>(frame.size());
  s.expectedWidth = static_cast<DWORD>(movieWidth);
  s.expectedHeight = static_cast<DWORD>(movieHeight);
  Decoded d;
  if (!ParseJbp1Header(&s)) return d;
  ResetBlockFlags(&s);
  d.ok = DecodeMovieFrame(&s);
  if (s.output) {
    if (d.ok) {
      d.width = static_cast<int>(s.width);
      d.height = static_cast<int>(s.height);
      d.pitch = static_cast<int>(s.rowPitch / 2);
      d.pixels.assign(s.output, s.output + s.outputSize / 2);
      EXPECT_EQ(s.outputSize, s.roundedWidth * s.roundedHeight * 2);
    }
    LocalFree(s.output);
  }
  return d;
}

// Channel values of an RGB565 word scaled back to 0..255.
std::array<int, 3> Rgb(WORD p) {
  const int r = p >> 11, g = (p >> 5) & 63, b = p & 31;
  return {r << 3 | r >> 2, g << 2 | g >> 4, b << 3 | b >> 2};
}

Bytes Frame(const jmv::Picture& p, int quality = 90) {
  Bytes f;
  EXPECT_TRUE(jmv::EncodeFrame(p, quality, &f));
  return f;
}

TEST(MovieFrame, PureColoursComeBack) {
  struct Case {
    const char* name;
    uint8_t r, g, b;
  } cases[] = {{"red", 255, 0, 0},       {"green", 0, 255, 0}, {"blue", 0, 0, 255},     {"grey", 128, 128, 128},
               {"white", 255, 255, 255}, {"black", 0, 0, 0},   {"orange", 240, 120, 16}};
  for (const Case& c : cases) {
    const Decoded d = Decode(Frame(jmv::MakePicture(48, 32, c.r, c.g, c.b)), 48, 32);
    ASSERT_TRUE(d.ok) << c.name;
    for (size_t i = 0; i < d.pixels.size(); ++i) {
      const auto got = Rgb(d.pixels[i]);
      ASSERT_NEAR(got[0], c.r, 12) << c.name << " red at " << i;
      ASSERT_NEAR(got[1], c.g, 8) << c.name << " green at " << i;
      ASSERT_NEAR(got[2], c.b, 12) << c.name << " blue at " << i;
    }
    // A solid picture has no AC symbols: every pixel is the same.
    for (WORD p : d.pixels) ASSERT_EQ(p, d.pixels[0]) << c.name;
  }
}

// libjpeg-turbo decodes the exchanged JPEG that the frame came from; with
// red and blue put back it must be the movie decoder's picture.
Bytes RunDjpeg(const Bytes& jpeg, int* w, int* h) {
  const std::string base = testing::TempDir() + "movie_djpeg_" + std::to_string(::getpid());
  {
    FILE* f = std::fopen((base + ".jpg").c_str(), "wb");
    std::fwrite(jpeg.data(), 1, jpeg.size(), f);
    std::fclose(f);
  }
  const std::string cmd = "djpeg -nosmooth -dct int -ppm -outfile " + base + ".ppm " + base + ".jpg";
  if (std::system(cmd.c_str()) != 0) return {};
  jmv::Picture p;
  std::string error;
  if (!jmv::LoadPicture(base + ".ppm", &p, &error)) return {};
  std::remove((base + ".jpg").c_str());
  std::remove((base + ".ppm").c_str());
  *w = p.width;
  *h = p.height;
  return p.rgb;
}

jmv::Picture Gradients(int w, int h) {
  jmv::Picture p = jmv::MakePicture(w, h, 0, 0, 0);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      uint8_t* px = p.At(x, y);
      px[0] = static_cast<uint8_t>(x * 255 / (w - 1));
      px[1] = static_cast<uint8_t>(y * 255 / (h - 1));
      px[2] = static_cast<uint8_t>(((x / 8 + y / 8) % 2) ? 200 : 40);
    }
  return p;
}

TEST(MovieFrame, MatchesLibjpegTurboOnTheExchangedJpeg) {
  struct Case {
    int w, h, quality;
  } cases[] = {{64, 48, 90}, {100, 75, 75}, {240, 320, 85}};
  for (const Case& c : cases) {
    const jmv::Picture picture = Gradients(c.w, c.h);
    Bytes jpeg, frame;
    ASSERT_TRUE(jmv::EncodeExchangedJpeg(picture, c.quality, &jpeg));
    ASSERT_TRUE(jmv::FrameFromExchangedJpeg(jpeg, c.quality, &frame));
    int w = 0, h = 0;
    const Bytes reference = RunDjpeg(jpeg, &w, &h);
    ASSERT_EQ(w, c.w);
    ASSERT_EQ(h, c.h);
    const Decoded d = Decode(frame, c.w, c.h);
    ASSERT_TRUE(d.ok);
    int worst = 0;
    double sum = 0;
    for (int y = 0; y < c.h; ++y)
      for (int x = 0; x < c.w; ++x) {
        const auto got = Rgb(d.pixels[static_cast<size_t>(y) * d.pitch + x]);
        const uint8_t* ref = &reference[(static_cast<size_t>(y) * w + x) * 3];
        // The JPEG holds red in the blue place and blue in the red place.
        const int expect[3] = {ref[2], ref[1], ref[0]};
        for (int ch = 0; ch < 3; ++ch) {
          const int diff = std::abs(got[ch] - expect[ch]);
          worst = std::max(worst, diff);
          sum += diff;
        }
      }
    EXPECT_LE(worst, 20) << c.w << "x" << c.h;
    EXPECT_LE(sum / (3.0 * c.w * c.h), 4.0) << c.w << "x" << c.h;
  }
}

TEST(MovieFrame, SizesAndLimits) {
  const Bytes small = Frame(jmv::MakePicture(32, 16, 10, 20, 30));
  EXPECT_TRUE(Decode(small, 32, 16).ok);
  // Not the movie's size.
  EXPECT_FALSE(Decode(small, 32, 32).ok);
  // 480 x 640 is exactly the 1,200-macroblock limit; 496 x 640 is above it.
  EXPECT_TRUE(Decode(Frame(jmv::MakePicture(480, 640, 1, 2, 3), 50), 480, 640).ok);
  EXPECT_FALSE(Decode(Frame(jmv::MakePicture(496, 640, 1, 2, 3), 50), 496, 640).ok);
}

// Damaged frames are refused or decoded without touching memory outside
// the stores (the sanitizers watch).
TEST(MovieFrame, DamagedFramesStayInBounds) {
  const Bytes good = Frame(Gradients(64, 48), 80);
  ASSERT_TRUE(Decode(good, 64, 48).ok);
  struct Case {
    const char* name;
    size_t offset;
    uint32_t value;
    bool refused;
  } cases[] = {
      {"count tables beyond the frame", 4, 0xFFFFFFF0u, true},
      {"count tables near the end", 4, 0, false},
      {"DC length beyond the frame", 28, 0x7FFFFFFFu, true},
      {"DC length zero", 28, 0, true},
      {"first DC count at the live limit", 44, HUFFMAN_LIVE_LIMIT, true},
  };
  for (const Case& c : cases) {
    Bytes bad = good;
    PutLe32(&bad[c.offset], c.offset == 4 && c.value == 0 ? static_cast<uint32_t>(bad.size() - 70) : c.value);
    const Decoded d = Decode(bad, 64, 48);
    if (c.refused) {
      EXPECT_FALSE(d.ok) << c.name;
    }
  }
  // Truncations and random byte damage.
  std::mt19937 rng(3);
  for (size_t cut : {size_t(31), size_t(44), size_t(200), good.size() / 2}) {
    const Bytes bad(good.begin(), good.begin() + static_cast<long>(cut));
    EXPECT_FALSE(Decode(bad, 64, 48).ok) << cut;
  }
  for (int round = 0; round < 300; ++round) {
    Bytes bad = good;
    for (int k = 0; k < 4; ++k) bad[44 + rng() % (bad.size() - 44)] = static_cast<uint8_t>(rng());
    Decode(bad, 64, 48);
  }
}

// The tool writes the header, the index and frames that decode.
TEST(JmvPack, WritesMoviesOfBothKinds) {
  struct Case {
    bool portrait;
    uint32_t w, h;
  } cases[] = {{false, 64, 48}, {true, 48, 64}};
  for (const Case& c : cases) {
    const std::string out = testing::TempDir() + (c.portrait ? "pack_test.jmv2" : "pack_test.jmv");
    const std::string cmd = std::string(JMV_PACK) + (c.portrait ? " --portrait" : "") +
                            " --rate 30000/1001 --generate 64x48x3 " + out + " > /dev/null";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    jmv::Picture unused;
    FILE* f = std::fopen(out.c_str(), "rb");
    ASSERT_NE(f, nullptr);
    Bytes file;
    int ch;
    while ((ch = std::fgetc(f)) != EOF) file.push_back(static_cast<uint8_t>(ch));
    std::fclose(f);
    std::remove(out.c_str());
    ASSERT_GT(file.size(), 48u + 3 * 24);
    EXPECT_EQ(file[3], c.portrait ? '2' : '1');
    EXPECT_EQ(GetLe32(&file[8]), 3u);
    EXPECT_EQ(GetLe32(&file[12]), 30000u);
    EXPECT_EQ(GetLe32(&file[16]), 1001u);
    EXPECT_EQ(GetLe32(&file[20]), c.portrait ? ~c.w : c.w);
    EXPECT_EQ(GetLe32(&file[24]), c.portrait ? ~c.h : c.h);
    uint32_t expectPosition = 0;
    for (uint32_t i = 0; i < 3; ++i) {
      const uint8_t* entry = &file[48 + 24 * i];
      const uint32_t size = GetLe32(entry + 4), position = GetLe32(entry + 16);
      EXPECT_EQ(position, expectPosition);
      expectPosition += size;
      const size_t at = 5 * 24 + position;
      ASSERT_LE(at + size, file.size());
      const Bytes frame(file.begin() + static_cast<long>(at), file.begin() + static_cast<long>(at + size));
      EXPECT_TRUE(Decode(frame, static_cast<int>(c.w), static_cast<int>(c.h)).ok) << i;
    }
    EXPECT_EQ(5 * 24 + expectPosition, file.size());
  }
}

// A folder of pictures, taken in name order; pictures of another size are
// refused with an error.
TEST(JmvPack, PacksAFolderOfPictures) {
  const std::string dir = testing::TempDir() + "pack_folder_" + std::to_string(::getpid());
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir + "/in");
  std::filesystem::create_directories(dir + "/jpeg");
  auto writePpm = [&](const std::string& name, int w, int h, uint8_t r, uint8_t g, uint8_t b) {
    FILE* f = std::fopen((dir + "/in/" + name).c_str(), "wb");
    std::fprintf(f, "P6\n# test\n%d %d\n255\n", w, h);
    for (int i = 0; i < w * h; ++i) {
      const uint8_t px[3] = {r, g, b};
      std::fwrite(px, 1, 3, f);
    }
    std::fclose(f);
  };
  writePpm("b.ppm", 32, 16, 0, 0, 255);
  writePpm("a.ppm", 32, 16, 255, 0, 0);
  const std::string out = dir + "/m.jmv";
  ASSERT_EQ(
      std::system(
          (std::string(JMV_PACK) + " --jpeg-dir " + dir + "/jpeg " + out + " " + dir + "/in > /dev/null").c_str()),
      0);
  FILE* f = std::fopen(out.c_str(), "rb");
  ASSERT_NE(f, nullptr);
  Bytes file;
  for (int ch; (ch = std::fgetc(f)) != EOF;) file.push_back(static_cast<uint8_t>(ch));
  std::fclose(f);
  ASSERT_EQ(GetLe32(&file[8]), 2u);
  const Rgb565Expect expect[2] = {{255, 0, 0}, {0, 0, 255}};  // a.ppm first
  for (uint32_t i = 0; i < 2; ++i) {
    const uint8_t* entry = &file[48 + 24 * i];
    const size_t at = 4 * 24 + GetLe32(entry + 16);
    const Bytes frame(file.begin() + static_cast<long>(at), file.begin() + static_cast<long>(at + GetLe32(entry + 4)));
    const Decoded d = Decode(frame, 32, 16);
    ASSERT_TRUE(d.ok);
    const auto got = Rgb(d.pixels[0]);
    EXPECT_NEAR(got[0], expect[i].r, 12) << i;
    EXPECT_NEAR(got[2], expect[i].b, 12) << i;
  }
  FILE* kept = std::fopen((dir + "/jpeg/frame00001.jpg").c_str(), "rb");
  EXPECT_NE(kept, nullptr);
  if (kept) std::fclose(kept);
  writePpm("c.ppm", 16, 16, 0, 255, 0);
  EXPECT_NE(std::system((std::string(JMV_PACK) + " " + out + " " + dir + "/in 2> /dev/null").c_str()), 0);
  {
    std::error_code rmError;
    std::filesystem::remove_all(dir, rmError);
  }
}

// --track writes an MP3 sound track as long as the movie (frames x r2 / r1
// seconds), which mpg123 decodes to 22,050 Hz mono; without the encoder
// module the tool fails instead of leaving a movie without its track.
TEST(JmvPack, WritesASoundTrackAsLongAsTheMovie) {
  const std::string dir = testing::TempDir() + "pack_track_" + std::to_string(::getpid());
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  const std::string pack = std::string(JMV_PACK) + " --rate 10 --generate 64x48x25 --track " + dir + "/t.mp3 " + dir +
                           "/m.jmv > /dev/null 2>&1";
  ASSERT_EQ(std::system(("VELMI_MODULE_PATH=" VELMI_MODULE_DIR " " + pack).c_str()), 0);
  ASSERT_EQ(std::system(("mpg123 -q -w " + dir + "/t.wav " + dir + "/t.mp3").c_str()), 0);
  FILE* f = std::fopen((dir + "/t.wav").c_str(), "rb");
  ASSERT_NE(f, nullptr);
  Bytes wav;
  for (int ch; (ch = std::fgetc(f)) != EOF;) wav.push_back(static_cast<uint8_t>(ch));
  std::fclose(f);
  ASSERT_GT(wav.size(), 44u);
  EXPECT_EQ(GetLe32(&wav[24]), 22050u);
  EXPECT_EQ(wav[22], 1);
  const double seconds = double(wav.size() - 44) / (22050 * 2);
  EXPECT_NEAR(seconds, 2.5, 0.1);
  // A copy of the tool away from the build's tools folder, where the encoder
  // module lies beside convert_game.
  std::filesystem::copy_file(JMV_PACK, dir + "/jmv_pack");
  const std::string lonePack = dir + "/jmv_pack" + pack.substr(std::string(JMV_PACK).size());
  EXPECT_NE(std::system(("VELMI_MODULE_PATH=" + dir + "/none " + lonePack).c_str()), 0);
  {
    std::error_code rmError;
    std::filesystem::remove_all(dir, rmError);
  }
}

}  // namespace
