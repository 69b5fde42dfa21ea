// JPEGs that libjpeg-turbo writes decode with ours: coefficients exactly,
// pixels within a small tolerance of its islow decode without fancy
// upsampling, for every processor kind; regions, interruption and scaled reads.
#include <gtest/gtest.h>
#include <jpeglib.h>

#include <cstring>

#include "tests/jpegdec/dec_util.h"

namespace {

struct Case {
  const char* name;
  int w, h, ch;
  jd::LjWrite opt;
};

std::vector<Case> Cases() {
  std::vector<Case> v;
  auto add = [&](const char* name, int w, int h, int ch, auto set) {
    jd::LjWrite o;
    set(o);
    v.push_back(Case{name, w, h, ch, o});
  };
  add("420", 64, 48, 3, [](jd::LjWrite&) {});
  add("444", 40, 24, 3, [](jd::LjWrite& o) { o.hs = o.vs = 1; });
  add("422", 48, 32, 3, [](jd::LjWrite& o) { o.vs = 1; });
  add("grey", 37, 29, 1, [](jd::LjWrite&) {});
  add("odd420", 33, 31, 3, [](jd::LjWrite&) {});
  add("odd422", 17, 9, 3, [](jd::LjWrite& o) { o.vs = 1; });
  add("tiny", 1, 1, 3, [](jd::LjWrite&) {});
  add("optimised", 50, 34, 3, [](jd::LjWrite& o) { o.optimize = true; });
  add("restart", 70, 45, 3, [](jd::LjWrite& o) { o.restartMcus = 3; });
  add("restartRows", 70, 45, 1, [](jd::LjWrite& o) { o.restartRows = 1; });
  add("progressive", 61, 47, 3, [](jd::LjWrite& o) { o.progressive = true; });
  add("progressive444", 30, 20, 3, [](jd::LjWrite& o) { o.progressive = true, o.hs = o.vs = 1; });
  add("progressiveGrey", 45, 27, 1, [](jd::LjWrite& o) { o.progressive = true; });
  add("progressiveRestart", 52, 36, 3, [](jd::LjWrite& o) { o.progressive = true, o.restartMcus = 2; });
  add("comment", 24, 24, 3, [](jd::LjWrite& o) { o.comment = "hello \xff\xd9 world"; });
  add("nonInterleaved", 41, 26, 3, [](jd::LjWrite& o) { o.nonInterleaved = true; });
  add("cmyk", 26, 18, 4, [](jd::LjWrite& o) { o.hs = o.vs = 1; });
  add("ycck", 26, 18, 4, [](jd::LjWrite& o) { o.colorSpace = JCS_YCCK, o.hs = o.vs = 1; });
  add("ycck420", 34, 22, 4, [](jd::LjWrite& o) { o.colorSpace = JCS_YCCK; });
  add("q100", 23, 19, 3, [](jd::LjWrite& o) { o.quality = 100; });
  add("q5", 23, 19, 3, [](jd::LjWrite& o) { o.quality = 5; });
  return v;
}

class LibjpegStreams : public ::testing::TestWithParam<int> {};

TEST_P(LibjpegStreams, CoefficientsAndPixelsMatch) {
  const int kind = GetParam();
  for (const Case& c : Cases()) {
    SCOPED_TRACE(c.name);
    jd::UseCpuKind(kind);
    const jd::Pixels src = jd::MakePicture(c.w, c.h, c.ch, 7);
    const std::vector<uint8_t> jpeg = jd::LjEncode(src, c.opt);
    ASSERT_FALSE(jpeg.empty());

    JpegStatus st;
    const std::vector<jd::LjCoefs> ours = jd::OurCoefs(jpeg, &st);
    ASSERT_EQ(st, 0);
    const std::vector<jd::LjCoefs> theirs = jd::LjReadCoefs(jpeg);
    ASSERT_EQ(ours.size(), theirs.size());
    for (size_t i = 0; i < ours.size(); ++i) {
      ASSERT_EQ(ours[i].blocksW, theirs[i].blocksW);
      ASSERT_EQ(ours[i].blocksH, theirs[i].blocksH);
      EXPECT_TRUE(ours[i].c == theirs[i].c) << "component " << i;
    }

    const jd::LjImage ref = jd::LjDecode(jpeg);
    jd::ReadOptions ro;
    ro.dibChannels = c.ch;
    ro.dibColor = c.ch == 1 ? 4 : c.ch == 3 ? 1 : 5;
    const jd::Decode got = jd::OurDecode(jpeg, ro);
    ASSERT_EQ(got.status, 0);
    ASSERT_EQ(got.w, ref.w);
    ASSERT_EQ(got.h, ref.h);
    EXPECT_LE(jd::MaxDiff(got.px, ref.px), c.ch == 1 ? 1 : 3);
  }
}

INSTANTIATE_TEST_SUITE_P(Kinds, LibjpegStreams, ::testing::Values(0, 3, 4, 6));

// With the plain output converters (the kernels' own arithmetic differs),
// every processor kind gives the plain routines' pixels exactly.
TEST(LibjpegStreamsKinds, ProcessorKindsGiveThePlainPixels) {
  for (const Case& c : Cases()) {
    SCOPED_TRACE(c.name);
    const std::vector<uint8_t> jpeg = jd::LjEncode(jd::MakePicture(c.w, c.h, c.ch, 5), c.opt);
    for (int color : {1, 2}) {
      jd::ReadOptions ro;
      ro.dibChannels = c.ch;
      ro.dibColor = c.ch == 1 ? 4 : c.ch == 3 ? color : 5;
      ro.plainOutput = true;
      jd::UseCpuKind(0);
      const jd::Decode plain = jd::OurDecode(jpeg, ro);
      ASSERT_EQ(plain.status, 0);
      for (int kind : {3, 6}) {
        jd::UseCpuKind(kind);
        const jd::Decode got = jd::OurDecode(jpeg, ro);
        ASSERT_EQ(got.status, 0) << kind;
        EXPECT_TRUE(got.px == plain.px) << kind;
      }
    }
  }
  jd::UseCpuKind(0);
}

// A region of interest equals the crop of the whole picture; an interrupted
// read equals an uninterrupted one.
TEST(LibjpegRegions, RegionEqualsCropAndInterruptedEqualsWhole) {
  for (int kind : {0, 6}) {
    jd::UseCpuKind(kind);
    for (bool progressive : {false, true}) {
      for (int hs : {1, 2}) {
        SCOPED_TRACE(testing::Message() << "kind " << kind << " progressive " << progressive << " hs " << hs);
        jd::LjWrite opt;
        opt.progressive = progressive;
        opt.hs = hs;
        opt.vs = hs;
        opt.restartMcus = progressive ? 0 : 5;
        const std::vector<uint8_t> jpeg = jd::LjEncode(jd::MakePicture(83, 61, 3, 9), opt);
        jd::ReadOptions whole;
        const jd::Decode all = jd::OurDecode(jpeg, whole);
        ASSERT_EQ(all.status, 0);
        jd::ReadOptions stop = whole;
        stop.interrupt = true;
        const jd::Decode stepped = jd::OurDecode(jpeg, stop);
        ASSERT_EQ(stepped.status, 0);
        EXPECT_TRUE(stepped.px == all.px);
        const int regions[][4] = {{5, 7, 40, 30}, {0, 0, 83, 17}, {60, 40, 83, 61}, {17, 33, 18, 34}};
        for (const auto& r : regions) {
          jd::ReadOptions rs = whole;
          std::memcpy(rs.roi, r, sizeof rs.roi);
          const jd::Decode part = jd::OurDecode(jpeg, rs);
          EXPECT_EQ(part.status, progressive ? 0 : 2);
          std::vector<uint8_t> crop;
          for (int y = r[1]; y < r[3]; ++y)
            crop.insert(crop.end(), all.px.begin() + ((size_t)y * all.w + r[0]) * 3,
                        all.px.begin() + ((size_t)y * all.w + r[2]) * 3);
          // Processor kernels round R and B their own way on whole MCUs, while
          // MCUs cut by the region take the plain edge routines.
          if (kind == 0)
            EXPECT_TRUE(part.px == crop) << r[0] << "," << r[1] << "," << r[2] << "," << r[3];
          else
            EXPECT_LE(jd::MaxDiff(part.px, crop), 1) << r[0] << "," << r[1] << "," << r[2] << "," << r[3];
        }
      }
    }
  }
}

// Scaled reads against libjpeg-turbo's scaled decodes.
TEST(LibjpegScaled, ScaledReadsReach35Db) {
  for (int kind : {0, 6}) {
    jd::UseCpuKind(kind);
    for (int hs : {1, 2}) {
      for (int vs : {1, 2}) {
        if (vs > hs) continue;
        jd::LjWrite opt;
        opt.hs = hs;
        opt.vs = vs;
        opt.quality = 90;
        const std::vector<uint8_t> jpeg = jd::LjEncode(jd::MakePicture(160, 120, 3, 5), opt);
        for (int denom : {2, 4, 8}) {
          for (int method : {0, 1}) {
            SCOPED_TRACE(testing::Message()
                         << "kind " << kind << " " << hs << "x" << vs << " 1/" << denom << " method " << method);
            jd::ReadOptions ro;
            ro.io = denom == 2 ? 15 : denom == 4 ? 17 : 19;
            ro.dctMethod = method;
            const jd::Decode got = jd::OurDecode(jpeg, ro);
            ASSERT_EQ(got.status, 0);
            const jd::LjImage ref = jd::LjDecode(jpeg, denom);
            ASSERT_EQ(got.w, ref.w);
            ASSERT_EQ(got.h, ref.h);
            EXPECT_GE(jd::Psnr(got.px, ref.px), 35.0);
          }
        }
      }
    }
  }
}

// The scaled path (method 0) decodes full pictures close to libjpeg-turbo too.
TEST(LibjpegScaled, ScaledDctPathMatchesClosely) {
  jd::UseCpuKind(0);
  const std::vector<uint8_t> jpeg = jd::LjEncode(jd::MakePicture(64, 40, 3, 4), jd::LjWrite{});
  jd::ReadOptions ro;
  ro.dctMethod = 0;
  const jd::Decode got = jd::OurDecode(jpeg, ro);
  ASSERT_EQ(got.status, 0);
  EXPECT_GE(jd::Psnr(got.px, jd::LjDecode(jpeg).px), 40.0);
}

}  // namespace

namespace {

// The library's own encoder output reads back coefficient for coefficient as
// libjpeg-turbo reads it, baseline and progressive.
TEST(LibjpegStreams, OurEncoderOutputReadsBack) {
  for (bool progressive : {false, true}) {
    SCOPED_TRACE(progressive);
    const jd::Pixels src = jd::MakePicture(45, 33, 3, 12);
    std::vector<uint8_t> bgr = src.px;
    for (size_t i = 0; i < bgr.size(); i += 3) std::swap(bgr[i], bgr[i + 2]);
    JpegJob job;
    ASSERT_EQ(JpegInit(&job), 0);
    std::vector<uint8_t> out(64 * 1024);
    job.dibPixels = bgr.data();
    job.dibWidth = 45;
    job.dibHeight = 33;
    job.jpegWidth = 45;
    job.jpegHeight = 33;
    job.jpegBuffer = out.data();
    job.jpegBufferSize = (int32_t)out.size();
    job.quality = 80;
    job.props.progressive = progressive ? 1 : 0;
    ASSERT_EQ(JpegWrite(&job, 9), 0);
    out.resize((size_t)job.jpegBufferSize);
    JpegFree(&job);
    JpegStatus st;
    const auto ours = jd::OurCoefs(out, &st);
    ASSERT_EQ(st, 0);
    const auto theirs = jd::LjReadCoefs(out);
    ASSERT_EQ(ours.size(), theirs.size());
    for (size_t c = 0; c < ours.size(); ++c) EXPECT_TRUE(ours[c].c == theirs[c].c) << c;
    const jd::Decode got = jd::OurDecode(out, jd::ReadOptions{});
    ASSERT_EQ(got.status, 0);
    EXPECT_LE(jd::MaxDiff(got.px, jd::LjDecode(out).px), 3);
  }
}

}  // namespace
