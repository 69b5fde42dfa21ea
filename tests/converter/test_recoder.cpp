// The JBP1 re-coder: the stream carries exactly the coefficients that
// libjpeg-turbo reads from the intermediate JPEG.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "converter/pictures/bitmap_scale.h"
#include "converter/pictures/jbp1_recoder.h"
#include "converter/pictures/picture_scratch.h"
#include "converter/pictures/rbp_writer.h"
#include "formats/le_bytes.h"
#include "formats/lzss.h"
#include "player/core/jbp1_decoder.h"
#include "tests/converter/test_support.h"

namespace {

struct Buffer {
  std::vector<BYTE> bytes;
  bool Empty() const { return bytes.empty(); }
};

// n by reference: read after the call that fills it has run.
Buffer Take(BYTE* p, const DWORD& n) {
  Buffer b;
  if (p) {
    b.bytes.assign(p, p + n);
    LocalFree(p);
  }
  return b;
}

// A 24-bit bitmap whose first stored row is the picture's top, as the
// re-coder hands it to the JPEG encoder.
std::vector<BYTE> TopFirst24(int w, int h, const std::vector<BYTE>& rgb) {
  return ctest::MakeBitmap(w, h, 24, [&](int x, int y, BYTE* p) {
    const BYTE* s = &rgb[(static_cast<size_t>(h - 1 - y) * w + x) * 3];
    p[0] = s[2];
    p[1] = s[1];
    p[2] = s[0];
  });
}

// The JBP1 stream's coefficients through the player's entropy decoder.
std::vector<short> Jbp1Blocks(const std::vector<BYTE>& jbp, int w, int h) {
  BlockDecoder st;
  InitBlockDecoder(&st);
  st.input = jbp.data();
  st.inputLength = static_cast<DWORD>(jbp.size());
  st.expectedWidth = static_cast<DWORD>(w);
  st.expectedHeight = static_cast<DWORD>(h);
  if (!ParseJbp1Header(&st)) return {};
  ResetBlockFlags(&st);
  const size_t blocks = static_cast<size_t>((w + 15) / 16) * ((h + 15) / 16) * 6;
  std::vector<short> out(blocks * 64);
  if (!DecodeJbp1Coefficients(&st, out.data(), blocks)) return {};
  return out;
}

// Blocks of a 4:2:0 JPEG in MCU order (Y x 4, Cb, Cr), from libjpeg-turbo.
std::vector<short> LibjpegBlocks(const ctest::JpegCoefficients& lib) {
  std::vector<short> out;
  if (!lib.ok || lib.components.size() != 3) return out;
  const int cols = (lib.width + 15) / 16, rows = (lib.height + 15) / 16;
  for (int mr = 0; mr < rows; ++mr) {
    for (int mc = 0; mc < cols; ++mc) {
      for (int c = 0; c < 3; ++c) {
        const auto& cc = lib.components[c];
        for (int v = 0; v < cc.v; ++v) {
          for (int h = 0; h < cc.h; ++h) {
            const int16_t* b = &cc.blocks[(static_cast<size_t>(mr * cc.v + v) * cc.widthInBlocks + mc * cc.h + h) * 64];
            out.insert(out.end(), b, b + 64);
          }
        }
      }
    }
  }
  return out;
}

uint32_t U32(const std::vector<BYTE>& b, size_t at) { return GetLe32(&b[at]); }

}  // namespace

TEST(Jbp1Recoder, CoefficientsEqualLibjpegTurbosReadOfTheJpeg) {
  struct Case {
    int w, h;
    const char* kind;
    unsigned code;
  };
  const Case cases[] = {{24, 24, "photo", 2},   {40, 24, "gradient", 1}, {33, 17, "checker", 3},
                        {320, 240, "photo", 4}, {97, 61, "gradient", 2}, {800, 600, "photo", 2},
                        {320, 240, "noise", 3}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.w << "x" << c.h << " " << c.kind << " code " << c.code);
    const std::vector<BYTE> bmp = TopFirst24(c.w, c.h, ctest::MakeRgb(c.w, c.h, c.kind, c.w));
    const int quality = JpegQualityForCode(c.code);
    DWORD n = 0;
    const Buffer jpeg = Take(EncodeJpegInMemory(bmp.data(), &n, quality), n);
    ASSERT_FALSE(jpeg.Empty());
    const ctest::JpegCoefficients lib = ctest::ReadCoefficients(jpeg.bytes);
    ASSERT_TRUE(lib.ok);
    EXPECT_EQ(lib.warning, "");
    const Buffer jbp = Take(EncodeJbp1(bmp.data(), &n, quality), n);
    ASSERT_FALSE(jbp.Empty());
    EXPECT_EQ(0, std::memcmp(jbp.bytes.data(), "JBP1", 4));
    EXPECT_EQ(U32(jbp.bytes, 12), static_cast<uint32_t>(quality));
    const std::vector<short> ours = Jbp1Blocks(jbp.bytes, c.w, c.h);
    const std::vector<short> theirs = LibjpegBlocks(lib);
    ASSERT_EQ(ours.size(), theirs.size());
    ASSERT_TRUE(ours == theirs);
    if (c.w == 40) {
      EXPECT_EQ(ours.size(), 36u * 64);  // 3 x 2 MCUs
    }
    // The stored quantisers are the JPEG's own (luma at 108 + P, natural order).
  }
}

TEST(Jbp1Recoder, PictureFormsAndFallbacks) {
  const std::vector<BYTE> rgb = ctest::MakeRgb(48, 32, "photo");
  // Stored bottom-up, as the scalers hand it on.
  const std::vector<BYTE> bmp24 = ctest::MakeBitmap(48, 32, 24, [&](int x, int y, BYTE* p) {
    const BYTE* s = &rgb[(static_cast<size_t>(y) * 48 + x) * 3];
    p[0] = s[2], p[1] = s[1], p[2] = s[0];
  });
  SetSourceSize(120, 80);
  DWORD n = 0;
  const Buffer code2 = Take(MakeRbpJbpPicture(bmp24.data(), &n, 2, 7, 9), n);
  const Buffer code4 = Take(MakeRbpJbpPicture(bmp24.data(), &n, 4, 7, 9), n);
  ASSERT_FALSE(code2.Empty());
  EXPECT_EQ(code2.bytes, code4.bytes);  // "70" codes as 90
  RbpHeader h;
  ASSERT_TRUE(LoadRbpHeader(code2.bytes.data(), static_cast<DWORD>(code2.bytes.size()), &h));
  EXPECT_EQ(std::string(h.magic, 4), "RBP7");
  EXPECT_EQ(h.type, 30u);
  EXPECT_EQ(h.width, 48u);
  EXPECT_EQ(h.sourceWidth, 120);
  EXPECT_EQ(h.sourceHeight, 80);
  EXPECT_EQ(h.valueA, 7);
  EXPECT_EQ(h.alphaLength, 0u);
  EXPECT_EQ(h.jbp1Length + 36, code2.bytes.size());
  // The body is the JBP1 stream of the top-first copy.
  const std::vector<BYTE> top = TopFirst24(48, 32, rgb);
  const Buffer direct = Take(EncodeJbp1(top.data(), &n, 90), n);
  EXPECT_TRUE(std::equal(direct.bytes.begin(), direct.bytes.end(), code2.bytes.begin() + 36));

  // Alpha: type 32 with the plane LZSS-coded behind the stream; 0 stays 0,
  // others get their two low bits set.
  const BYTE alphas[] = {0, 1, 0x80, 0xFE};
  const std::vector<BYTE> bmp32 = ctest::MakeBitmap(32, 32, 32, [&](int x, int, BYTE* p) {
    p[0] = p[1] = p[2] = 100;
    p[3] = alphas[x % 4];
  });
  const Buffer withAlpha = Take(MakeRbpJbpPicture(bmp32.data(), &n, 2, 7, 9), n);
  ASSERT_FALSE(withAlpha.Empty());
  ASSERT_TRUE(LoadRbpHeader(withAlpha.bytes.data(), static_cast<DWORD>(withAlpha.bytes.size()), &h));
  EXPECT_EQ(h.type, 32u);
  EXPECT_EQ(h.valueA, 0);
  EXPECT_EQ(36 + h.jbp1Length + h.alphaLength, withAlpha.bytes.size());
  std::vector<BYTE> plane(32 * 32);
  ASSERT_EQ(LzssDecode(plane.data(), withAlpha.bytes.data() + 36 + h.jbp1Length, 32 * 32, h.alphaLength), 1024);
  const BYTE want[] = {0, 3, 0x83, 0xFF};
  for (int i = 0; i < 1024; ++i) ASSERT_EQ(plane[i], want[i % 4]) << i;

  // Too small for the size test, or for its JPEG to fit 3 x w x h bytes:
  // nothing, and the picture writer falls back to "RBP5".
  const std::vector<BYTE> tiny = ctest::MakeBitmap(8, 8, 24, [](int, int, BYTE* p) { p[0] = 9; });
  EXPECT_EQ(MakeRbpJbpPicture(tiny.data(), &n, 2, 0, 0), nullptr);
  const Buffer rbp5 = Take(MakeRbpPicture(tiny.data(), &n, 2, 0, 0), n);
  ASSERT_FALSE(rbp5.Empty());
  EXPECT_EQ(std::string(rbp5.bytes.begin(), rbp5.bytes.begin() + 4), "RBP5");
  const std::vector<BYTE> narrow = ctest::MakeBitmap(7, 40, 24, [](int, int, BYTE* p) { p[0] = 9; });
  EXPECT_EQ(MakeRbpJbpPicture(narrow.data(), &n, 2, 0, 0), nullptr);
  // A 32-bit picture fully transparent is still type 32.
  const std::vector<BYTE> clear = ctest::MakeBitmap(32, 16, 32, [](int, int, BYTE* p) { p[3] = 0; });
  const Buffer clearPic = Take(MakeRbpJbpPicture(clear.data(), &n, 2, 0, 0), n);
  ASSERT_FALSE(clearPic.Empty());
  ASSERT_TRUE(LoadRbpHeader(clearPic.bytes.data(), static_cast<DWORD>(clearPic.bytes.size()), &h));
  EXPECT_EQ(h.type, 32u);
}

TEST(Jbp1Recoder, OneScratchServesARunOfPictures) {
  // A run keeps one scratch from picture to picture: busy pictures leave
  // their coefficients, lists and rows behind, and the next, smaller or flat
  // or of other sizes, must come out as it does in fresh memory.
  struct Case {
    int w, h, bits;
    const char* kind;  // "flat": one colour, nearly every coefficient 0
  };
  const Case cases[] = {{320, 240, 24, "noise"}, {64, 48, 24, "flat"},     {320, 240, 24, "flat"},
                        {97, 61, 32, "photo"},   {800, 600, 24, "noise"},  {800, 600, 32, "flat"},
                        {33, 17, 24, "checker"}, {48, 32, 32, "gradient"}, {640, 480, 24, "photo"}};
  PictureScratch scratch;
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.w << "x" << c.h << "x" << c.bits << " " << c.kind);
    const bool flat = std::string(c.kind) == "flat";
    const std::vector<BYTE> rgb = flat ? std::vector<BYTE>() : ctest::MakeRgb(c.w, c.h, c.kind, c.w);
    const std::vector<BYTE> bmp = ctest::MakeBitmap(c.w, c.h, c.bits, [&](int x, int y, BYTE* p) {
      const size_t i = static_cast<size_t>(y) * c.w + x;
      for (int k = 0; k < 3; ++k) p[k] = flat ? BYTE(90 + 40 * k) : rgb[i * 3 + 2 - k];
      if (c.bits == 32) p[3] = BYTE(i * 7);
    });
    for (const int percent : {40, 80}) {
      DWORD fresh = static_cast<DWORD>(bmp.size()), kept = fresh;
      std::vector<BYTE> in(bmp);
      const Buffer scaledFresh = Take(
          c.bits == 32 ? ScaleAlpha32(in.data(), &fresh, percent) : ScaleKeyed24(bmp.data(), &fresh, percent), fresh);
      in = bmp;
      const Buffer scaledKept = Take(c.bits == 32 ? ScaleAlpha32(in.data(), &kept, percent, &scratch)
                                                  : ScaleKeyed24(bmp.data(), &kept, percent, &scratch),
                                     kept);
      ASSERT_FALSE(scaledFresh.Empty());
      ASSERT_TRUE(scaledKept.bytes == scaledFresh.bytes) << percent << " %";
    }
    DWORD n = 0;
    const Buffer fresh = Take(MakeRbpPicture(bmp.data(), &n, 2, 0, 0), n);
    const Buffer kept = Take(MakeRbpPicture(bmp.data(), &n, 2, 0, 0, &scratch), n);
    ASSERT_FALSE(fresh.Empty());
    EXPECT_EQ(std::string(fresh.bytes.begin(), fresh.bytes.begin() + 4), "RBP7");
    ASSERT_TRUE(kept.bytes == fresh.bytes);
  }
}
