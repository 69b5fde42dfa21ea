// libjpeg-turbo judges our output: every stream decodes without a warning,
// its coefficients are the converter road's coefficients, progressive output
// carries the baseline's coefficients, and the quality keeps up with
// libjpeg-turbo's own encoder.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "jpeg_test_util.h"

namespace {

using jt::Content;

struct Case {
  int w, h;
  Content content;
  int quality;
  int kind;
};

std::string Name(const Case& c, bool progressive) {
  return std::to_string(c.w) + "x" + std::to_string(c.h) + " " + jt::ContentName(c.content) + " q" +
         std::to_string(c.quality) + " kind" + std::to_string(c.kind) + (progressive ? " progressive" : " baseline");
}

std::vector<Case> Matrix() {
  const Content contents[] = {Content::kFlat,    Content::kPure,  Content::kGradient,
                              Content::kChecker, Content::kNoise, Content::kPhoto};
  const int qualities[] = {1, 50, 75, 90, 100};
  std::vector<Case> cases;
  // Small pictures: every content, quality and processor class.
  const int small[][2] = {{1, 1}, {8, 8}, {17, 17}, {33, 31}};
  for (auto& s : small)
    for (Content c : contents)
      for (int q : qualities)
        for (int kind : {0, 6}) cases.push_back({s[0], s[1], c, q, kind});
  // Large pictures: every content once, the qualities and classes in turn.
  const int large[][2] = {{320, 240}, {641, 481}, {800, 600}};
  int turn = 0;
  for (auto& s : large)
    for (Content c : contents) {
      cases.push_back({s[0], s[1], c, qualities[turn % 5], turn % 2 ? 6 : 0});
      ++turn;
    }
  return cases;
}

// Compares libjpeg's coefficient arrays with the reference; `inside` limits
// the AC comparison to the blocks inside each component (progressive scans
// code no AC for the padding blocks of an MCU).
void ExpectCoefs(const jt::Decoded& d, const std::vector<jt::Coefs>& ref, bool inside, const std::string& what) {
  ASSERT_EQ(d.coefs.size(), ref.size()) << what;
  for (size_t ci = 0; ci < ref.size(); ++ci) {
    ASSERT_EQ(d.coefs[ci].blocksW, ref[ci].blocksW) << what << " comp " << ci;
    ASSERT_EQ(d.coefs[ci].blocksH, ref[ci].blocksH) << what << " comp " << ci;
    for (int by = 0; by < ref[ci].blocksH; ++by)
      for (int bx = 0; bx < ref[ci].blocksW; ++bx) {
        const bool in = bx < d.compBlocksW[ci] && by < d.compBlocksH[ci];
        const int n = (!inside || in) ? 64 : 1;
        const int16_t* a = d.coefs[ci].Block(bx, by);
        const int16_t* b = ref[ci].Block(bx, by);
        for (int k = 0; k < n; ++k)
          ASSERT_EQ(a[k], b[k]) << what << " comp " << ci << " block " << bx << "," << by << " coef " << k;
      }
  }
}

TEST(LibjpegCheck, MatrixDecodesWithTheConverterRoadsCoefficients) {
  int checkedPsnr = 0;
  for (const Case& c : Matrix()) {
    const jt::Image img = jt::MakeImage(c.content, c.w, c.h, 3, (uint32_t)(c.w * 131 + c.h));
    const auto ref = jt::ReferenceCoefs(img, 1, c.quality, c.kind >= 3);
    std::vector<uint8_t> baseline;
    for (bool progressive : {false, true}) {
      const std::string what = Name(c, progressive);
      jt::EncodeOptions spec;
      spec.kind = c.kind;
      spec.quality = c.quality;
      spec.progressive = progressive;
      JpegStatus st = -99;
      const std::vector<uint8_t> ours = jt::Encode(img, spec, &st);
      ASSERT_EQ(st, 0) << what;
      const jt::Decoded d = jt::LibjpegReadCoefs(ours);
      ASSERT_TRUE(d.ok) << what << ": " << d.error;
      ASSERT_EQ(d.warnings, 0) << what << ": " << d.error;
      ASSERT_EQ(d.progressive, progressive) << what;
      ASSERT_EQ(d.w, c.w);
      ASSERT_EQ(d.h, c.h);
      ExpectCoefs(d, ref, progressive, what);
      if (!progressive) {
        baseline = ours;
        continue;
      }
      // Quality against the source and against libjpeg-turbo's own encode.
      const jt::Decoded px = jt::LibjpegDecode(baseline);
      ASSERT_TRUE(px.ok && px.warnings == 0) << what << ": " << px.error;
      const std::vector<uint8_t> src = jt::BgrToRgb(img);
      if (c.content == Content::kFlat) {
        int worst = 0;
        for (size_t i = 0; i < src.size(); ++i) worst = std::max(worst, std::abs((int)src[i] - px.pixels[i]));
        // At quality 1 every DC step is 255: up to about 16 levels per component.
        EXPECT_LE(worst, c.quality < 50 ? 40 : 4) << what;
      }
      const bool photoLike =
          c.content == Content::kPhoto || c.content == Content::kGradient || c.content == Content::kNoise;
      if (photoLike && c.w >= 16 && c.h >= 16 && c.quality <= 90) {
        const jt::Decoded theirs = jt::LibjpegDecode(jt::LibjpegEncodeBgr(img, c.quality, 1));
        ASSERT_TRUE(theirs.ok);
        const double ourPsnr = jt::Psnr(src, px.pixels), theirPsnr = jt::Psnr(src, theirs.pixels);
        EXPECT_GE(ourPsnr, theirPsnr - 0.3) << what;
        ++checkedPsnr;
      }
    }
  }
  EXPECT_GT(checkedPsnr, 20);
}

}  // namespace

namespace {

// The scaled transform pair (method 0) writes a conforming stream whose
// coefficients stay within one step of the integer path's (at quality 100
// its coarser arithmetic shows, and the last step counts as 2).
TEST(LibjpegCheck, ScaledPathStaysNextToTheIntegerPath) {
  int differing = 0, total = 0;
  for (Content content : {Content::kPhoto, Content::kNoise, Content::kChecker})
    for (int quality : {50, 90, 100})
      for (int kind : {0, 6}) {
        const jt::Image img = jt::MakeImage(content, 50, 35);
        jt::EncodeOptions spec;
        spec.kind = kind;
        spec.quality = quality;
        spec.dctMethod = 0;
        JpegStatus st = -99;
        const std::vector<uint8_t> ours = jt::Encode(img, spec, &st);
        const std::string what =
            std::string(jt::ContentName(content)) + " q" + std::to_string(quality) + " kind" + std::to_string(kind);
        ASSERT_EQ(st, 0) << what;
        const jt::Decoded d = jt::LibjpegReadCoefs(ours);
        ASSERT_TRUE(d.ok && d.warnings == 0) << what << ": " << d.error;
        const auto ref = jt::ReferenceCoefs(img, 1, quality, false);
        if (quality == 100) continue;
        for (size_t c = 0; c < ref.size(); ++c)
          for (size_t i = 0; i < ref[c].c.size(); ++i) {
            const int diff = std::abs(d.coefs[c].c[i] - ref[c].c[i]);
            ASSERT_LE(diff, 1) << what << " comp " << c << " at " << i;
            differing += diff != 0;
            ++total;
          }
      }
  EXPECT_LT(differing, total / 10);
}

}  // namespace
