// The library's entry points: validation, the operations, the output sink's
// limits, interrupted writes, restart markers, processor classes and every
// layout that a write admits, judged by libjpeg-turbo.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>

#include "jpeg/jpeg_internal.h"
#include "jpeg/kernels/enc_kernels.h"
#include "jpeg_test_util.h"
#include "tests/support/file_io.h"
#include "tests/support/temp_folder.h"

namespace {

struct Job {
  JpegJob job;
  std::vector<uint8_t> pixels, out;
  explicit Job(const jt::Image& img, int kind = 0, size_t outSize = 0) {
    jt::UseCpuKind(kind);
    EXPECT_EQ(JpegInit(&job), 0);
    pixels = img.px;
    out.resize(outSize ? outSize : img.px.size() * 4 + 4096);
    job.dibPixels = pixels.data();
    job.dibWidth = img.w;
    job.dibHeight = img.h;
    job.dibChannels = img.ch;
    job.jpegBuffer = out.data();
    job.jpegBufferSize = (int32_t)out.size();
    job.jpegWidth = img.w;
    job.jpegHeight = img.h;
  }
  ~Job() { JpegFree(&job); }
  std::vector<uint8_t> Bytes() const { return std::vector<uint8_t>(out.begin(), out.begin() + job.jpegBufferSize); }
};

std::string TempPath(const char* name) {
  static const std::string folder = vtest::ScratchFolder("jpeg", "files");
  return folder + "/" + name;
}

int CountMarker(const std::vector<uint8_t>& j, uint8_t m) {
  int n = 0;
  for (size_t i = 0; i + 1 < j.size(); ++i)
    if (j[i] == 0xFF && j[i + 1] == m) ++n;
  return n;
}

TEST(Interface, ValidationTable) {
  const jt::Image img = jt::MakeImage(jt::Content::kGradient, 24, 16);
  struct Case {
    const char* what;
    int io;
    std::function<void(JpegJob&)> edit;
    JpegStatus expect;
  };
  const Case cases[] = {
      {"converter's job", 9, [](JpegJob&) {}, 0},
      {"io out of range", 22, [](JpegJob&) {}, -8},
      {"no pixels", 9, [](JpegJob& j) { j.dibPixels = nullptr; }, -8},
      {"width 0", 9, [](JpegJob& j) { j.dibWidth = 0; }, -8},
      {"height 70000", 9, [](JpegJob& j) { j.dibHeight = 70000; }, -8},
      {"negative padding", 9, [](JpegJob& j) { j.dibRowPadding = -1; }, -8},
      {"256 channels", 9, [](JpegJob& j) { j.dibChannels = 256; }, -8},
      {"packed without YCbCr", 9, [](JpegJob& j) { j.dibSubsampling = 2; }, -3},
      {"buffer size 0", 9, [](JpegJob& j) { j.jpegBufferSize = 0; }, -8},
      {"negative buffer size", 9, [](JpegJob& j) { j.jpegBufferSize = -5; }, -8},
      {"no buffer", 9, [](JpegJob& j) { j.jpegBuffer = nullptr; }, -8},
      {"no file name", 8, [](JpegJob&) {}, -8},
      {"five JPEG channels", 9,
       [](JpegJob& j) {
         j.jpegChannels = 5;
         j.jpegColor = 255;
         j.dibColor = 255;
         j.dibChannels = 5;
       },
       -8},
      {"zero JPEG channels", 9, [](JpegJob& j) { j.jpegChannels = 0; }, -8},
      {"JPEG wider than the bitmap", 9, [](JpegJob& j) { j.jpegWidth = 25; }, -8},
      {"JPEG lower than the bitmap", 9, [](JpegJob& j) { j.jpegHeight = 15; }, -8},
      {"subsampling 3 with 3 channels", 9, [](JpegJob& j) { j.jpegSubsampling = 3; }, -3},
      {"subsampling 2 accepted", 9, [](JpegJob& j) { j.jpegSubsampling = 2; }, 0},
      {"grey needs subsampling 0", 9,
       [](JpegJob& j) {
         j.jpegChannels = 1;
         j.jpegColor = 4;
       },
       -3},
      {"pair 2/3 to 5/4", 9,
       [](JpegJob& j) {
         j.jpegChannels = 4;
         j.jpegColor = 5;
         j.jpegSubsampling = 0;
       },
       -8},
      {"DCT method 2", 9, [](JpegJob& j) { j.props.dctMethod = 2; }, -8},
      {"useInternal skips validation", 9,
       [](JpegJob& j) {
         j.useInternal = 1;
         j.jpegChannels = 0;
       },
       -8},
  };
  for (const Case& c : cases) {
    Job j(img);
    c.edit(j.job);
    EXPECT_EQ(JpegWrite(&j.job, c.io), c.expect) << c.what;
  }
  Job r(img);
  EXPECT_EQ(JpegRead(&r.job, 30), JPEG_ERR_INVALID_PROPERTIES);
}

TEST(Interface, StatusTexts) {
  EXPECT_STREQ(JpegErrorText(0), "Success");
  EXPECT_STREQ(JpegErrorText(1), "Interrupt Success");
  EXPECT_STREQ(JpegErrorText(2), "ROI Success");
  EXPECT_STREQ(JpegErrorText(-28), "Output buffer too small");
  EXPECT_STREQ(JpegErrorText(-30), "Error access to jpeg_comment buffer");
  EXPECT_STREQ(JpegErrorText(-99), "Reserved");
  EXPECT_STREQ(JpegErrorText(-31), "Unknown error code");
  EXPECT_STREQ(JpegErrorText(3), "Unknown error code");
  const JpegLibVersion* v = JpegGetVersion();
  EXPECT_EQ(v->major, 3);
  EXPECT_STREQ(v->internalVersion, "[3.20.15.61]");
}

TEST(Interface, BufferLimitIsTheSameForEveryProcessorClass) {
  const jt::Image img = jt::MakeImage(jt::Content::kNoise, 48, 40);
  jt::EncodeOptions spec;
  spec.quality = 90;
  const std::vector<uint8_t> full = jt::Encode(img, spec);
  ASSERT_FALSE(full.empty());
  // Exactly the stream's size is too small; one byte more is enough; every
  // smaller buffer fails the same way for every class.
  for (int kind = 0; kind <= 6; ++kind)
    for (size_t size = full.size() - 40; size <= full.size() + 1; ++size) {
      Job j(img, kind, size);
      j.job.quality = 90;
      const JpegStatus st = JpegWrite(&j.job, 9);
      EXPECT_EQ(st, size > full.size() ? 0 : JPEG_ERR_BUFFER_SMALL) << "kind " << kind << " size " << size;
      if (st == 0) {
        EXPECT_EQ(j.Bytes(), full) << "kind " << kind;
      }
    }
}

TEST(Interface, FileOutputEqualsMemoryOutput) {
  const jt::Image img = jt::MakeImage(jt::Content::kPhoto, 300, 200);  // several 4096-byte file buffers
  const std::string path = TempPath("out.jpg");
  for (bool progressive : {false, true}) {
    Job mem(img, 6);
    mem.job.props.progressive = progressive;
    ASSERT_EQ(JpegWrite(&mem.job, 9), 0);
    Job file(img, 6);
    file.job.props.progressive = progressive;
    file.job.jpegFileName = path.c_str();
    ASSERT_EQ(JpegWrite(&file.job, 8), 0);
    EXPECT_EQ(file.job.jpegBufferSize, mem.job.jpegBufferSize);
    EXPECT_EQ(vtest::ReadBytes(path), mem.Bytes());
  }
  Job bad(img);
  bad.job.jpegFileName = "/nonexistent-dir/x.jpg";
  EXPECT_EQ(JpegWrite(&bad.job, 8), JPEG_ERR_FILE_NAME);
  std::remove(path.c_str());
}

TEST(Interface, RowOrderPaddingAndRepeatedWrites) {
  const jt::Image img = jt::MakeImage(jt::Content::kPhoto, 37, 29);
  jt::EncodeOptions spec;
  const std::vector<uint8_t> plain = jt::Encode(img, spec);
  spec.bottomUp = true;
  EXPECT_EQ(jt::Encode(img, spec), plain);
  spec.padding = 3;
  EXPECT_EQ(jt::Encode(img, spec), plain);
  // One job writes twice: the tables are rebuilt, the output is the same.
  Job j(img);
  ASSERT_EQ(JpegWrite(&j.job, 9), 0);
  const std::vector<uint8_t> first = j.Bytes();
  j.job.jpegBufferSize = (int32_t)j.out.size();
  ASSERT_EQ(JpegWrite(&j.job, 9), 0);
  EXPECT_EQ(j.Bytes(), first);
  EXPECT_EQ(first, plain);
}

TEST(Interface, StopRequestResumesToTheSameStream) {
  const jt::Image img = jt::MakeImage(jt::Content::kPhoto, 50, 40);  // 4 x 3 MCUs
  Job whole(img);
  ASSERT_EQ(JpegWrite(&whole.job, 9), 0);
  Job j(img);
  j.job.props.stopRequest = 1;
  int calls = 0;
  JpegStatus st;
  while ((st = JpegWrite(&j.job, 9)) == 1) {
    ++calls;
    EXPECT_LE(j.job.props.stopCol, 50);
    EXPECT_LE(j.job.props.stopRow, 40);
    j.job.props.stopRequest = 1;
  }
  EXPECT_EQ(st, 0);
  EXPECT_EQ(calls, 12);
  EXPECT_EQ(j.Bytes(), whole.Bytes());
}

TEST(Interface, RestartMarkersAndProgressiveMarkers) {
  const jt::Image img = jt::MakeImage(jt::Content::kNoise, 48, 48);  // 3 x 3 MCUs
  Job j(img);
  j.job.props.restartInterval = 1;
  ASSERT_EQ(JpegWrite(&j.job, 9), 0);
  const std::vector<uint8_t> rst = j.Bytes();
  std::vector<int> seen;
  for (size_t i = 0; i + 1 < rst.size(); ++i)
    if (rst[i] == 0xFF && rst[i + 1] >= 0xD0 && rst[i + 1] <= 0xD7) seen.push_back(rst[i + 1] - 0xD0);
  EXPECT_EQ(seen, std::vector<int>({0, 1, 2, 3, 4, 5, 6, 7, 0}));
  EXPECT_EQ(CountMarker(rst, 0xDD), 1);
  const jt::Decoded d = jt::LibjpegReadCoefs(rst);
  ASSERT_TRUE(d.ok) << d.error;
  const auto ref = jt::ReferenceCoefs(img, 1, 75, false);
  for (size_t c = 0; c < ref.size(); ++c) EXPECT_EQ(d.coefs[c].c, ref[c].c);

  // Progressive output carries no DRI (its scans have no restart markers)
  // and one SOI, also when only image data is written.
  for (int io : {9, 13}) {
    Job p(img);
    p.job.props.restartInterval = 2;
    p.job.props.progressive = 1;
    ASSERT_EQ(JpegWrite(&p.job, io), 0);
    const std::vector<uint8_t> b = p.Bytes();
    EXPECT_EQ(CountMarker(b, 0xDD), 0);
    EXPECT_EQ(CountMarker(b, 0xD8), 1);
    EXPECT_EQ(CountMarker(b, 0xDA), 10);
    EXPECT_EQ(CountMarker(b, 0xC4), 10);
    if (io == 9) {
      const jt::Decoded pd = jt::LibjpegReadCoefs(b);
      ASSERT_TRUE(pd.ok && pd.warnings == 0) << pd.error;
    }
  }
}

TEST(Interface, TablesOnlyThenImageDataOnly) {
  const jt::Image img = jt::MakeImage(jt::Content::kPhoto, 32, 32);
  Job j(img);
  ASSERT_EQ(JpegWrite(&j.job, 11), 0);
  const std::vector<uint8_t> tables = j.Bytes();
  EXPECT_EQ(tables.size(), 2u + 18 + 48 + 2 * 69 + 420 + 2);
  EXPECT_EQ(tables[tables.size() - 1], 0xD9);
  j.job.jpegBufferSize = (int32_t)j.out.size();
  ASSERT_EQ(JpegWrite(&j.job, 13), 0);
  const std::vector<uint8_t> data = j.Bytes();
  EXPECT_EQ(data[2], 0xFF);
  EXPECT_EQ(data[3], 0xC0);  // SOI, then the frame: no tables
  // The two halves together are the whole stream of the same picture.
  Job whole(img);
  ASSERT_EQ(JpegWrite(&whole.job, 9), 0);
  std::vector<uint8_t> joined(tables.begin(), tables.end() - 2);
  joined.insert(joined.end(), data.begin() + 2, data.end());
  EXPECT_EQ(joined, whole.Bytes());
}

TEST(Interface, ProcessorClassesFromTheRegistry) {
  JpegCpuInfo info{};
  info.family = 6;
  info.features = (1u << 23) | (1u << 25);
  EXPECT_EQ(JpegCpuKindFromInfo(info), 5);
  info.features = 1u << 23;
  EXPECT_EQ(JpegCpuKindFromInfo(info), 4);
  info.features = 0;
  EXPECT_EQ(JpegCpuKindFromInfo(info), 2);
  info.family = 5;
  EXPECT_EQ(JpegCpuKindFromInfo(info), 1);
  info.features = 1u << 23;
  EXPECT_EQ(JpegCpuKindFromInfo(info), 3);
  info.family = 15;
  info.features = (1u << 23) | (1u << 25);
  EXPECT_EQ(JpegCpuKindFromInfo(info), 0);
  info.features |= 1u << 26;
  EXPECT_EQ(JpegCpuKindFromInfo(info), 6);

  JpegCpuInfo probed;
  JpegProbeCpu(&probed);
  const int natural = JpegCpuKindFromInfo(probed);
  const jt::Image img = jt::MakeImage(jt::Content::kPhoto, 40, 24);
  std::vector<uint8_t> outputs[7];
  for (int kind : {0, 1, 2, 3, 4, 5, 6, 7, -1}) {
    Job j(img, kind);
    const int expect = kind >= 0 && kind <= 6 ? kind : natural;
    EXPECT_EQ(j.job.props.out.cpuKind, expect);
    const JpegKernelTable* t = j.job.props.out.kernels;
    EXPECT_EQ(t->fdctInt, expect >= 3 ? JpegFdctIntSse2 : JpegFdctInt);
    EXPECT_EQ(t->encodeBlock, expect >= 3 ? JpegEncodeBlockSse2 : JpegEncodeBlock);
    EXPECT_TRUE(t->wsprintfA != nullptr);
    ASSERT_EQ(JpegWrite(&j.job, 9), 0);
    if (kind >= 0 && kind <= 6) outputs[kind] = j.Bytes();
  }
  // The plain classes write one stream, the processor classes another.
  EXPECT_EQ(outputs[1], outputs[0]);
  EXPECT_EQ(outputs[2], outputs[0]);
  for (int k = 4; k <= 6; ++k) EXPECT_EQ(outputs[k], outputs[3]);
}

TEST(Interface, OneJobsFreeLeavesAnotherJobWhole) {
  const jt::Image img = jt::MakeImage(jt::Content::kGradient, 16, 16);
  Job a(img), b(img);
  ASSERT_EQ(JpegWrite(&a.job, 9), 0);
  const std::vector<uint8_t> before = a.Bytes();
  EXPECT_EQ(JpegFree(&b.job), 0);
  EXPECT_EQ(JpegFree(&b.job), 0);  // a second free is harmless
  a.job.jpegBufferSize = (int32_t)a.out.size();
  ASSERT_EQ(JpegWrite(&a.job, 9), 0);
  EXPECT_EQ(a.Bytes(), before);  // still with its banner comment
  EXPECT_EQ(CountMarker(before, 0xFE), 1);
}

// With useInternal the row order still follows the public dibHeight, also
// after a bottom-up write left the internal stride negative; a layout changed
// between interrupted calls is refused instead of walking past the bitmap.
TEST(Interface, InternalCopiesAndLayoutChangesBetweenCalls) {
  const jt::Image img = jt::MakeImage(jt::Content::kPhoto, 32, 32);
  for (int kind : {0, 6}) {
    jt::EncodeOptions spec;
    spec.kind = kind;
    const std::vector<uint8_t> plain = jt::Encode(img, spec);
    Job j(img, kind);
    j.job.dibHeight = -img.h;
    ASSERT_EQ(JpegWrite(&j.job, 9), 0);
    j.job.useInternal = 1;
    j.job.dibHeight = img.h;
    j.job.props.jpegBufferSize = (int32_t)j.out.size();
    ASSERT_EQ(JpegWrite(&j.job, 9), 0);
    EXPECT_EQ(j.Bytes(), plain) << "kind " << kind;

    Job k(img, kind);
    k.job.props.stopRequest = 1;
    ASSERT_EQ(JpegWrite(&k.job, 9), 1);
    k.job.jpegSubsampling = 0;  // 4 x 4 MCUs of 8 x 8 instead of 2 x 2 of 16 x 16
    EXPECT_EQ(JpegWrite(&k.job, 9), JPEG_ERR_INVALID_PROPERTIES);
    EXPECT_EQ(k.job.props.pendingScan, nullptr);
    k.job.props.stopRequest = 0;
    k.job.jpegBufferSize = (int32_t)k.out.size();
    ASSERT_EQ(JpegWrite(&k.job, 9), 0);  // a fresh write of the new layout
    spec.sub = 0;
    EXPECT_EQ(k.Bytes(), jt::Encode(img, spec)) << "kind " << kind;
  }
}

// Component values that a layout should carry, as floating point.
struct Layout {
  const char* what;
  int dibColor, dibChannels, jpegColor, jpegChannels;
  std::vector<int> subs;
  int dibSubsampling = 0;
};

TEST(Interface, EveryAdmittedLayoutDecodesWithLibjpeg) {
  const Layout layouts[] = {
      {"grey", 4, 1, 4, 1, {0}},
      {"grey as YCbCr", 4, 1, 3, 3, {0, 1, 2}},
      {"RGB as grey", 1, 3, 4, 1, {0}},
      {"RGB as RGB", 1, 3, 1, 3, {0, 1, 2}},
      {"RGB as YCbCr", 1, 3, 3, 3, {0, 1, 2}},
      {"RGBx as YCbCr", 1, 4, 3, 3, {0, 1, 2}},
      {"BGR as grey", 2, 3, 4, 1, {0}},
      {"BGR as RGB", 2, 3, 1, 3, {0, 1, 2}},
      {"BGR as YCbCr", 2, 3, 3, 3, {0, 1, 2}},
      {"CMYK as CMYK", 5, 4, 5, 4, {0, 3, 4}},
      {"CMYK as YCCK", 5, 4, 6, 4, {0, 3, 4}},
      {"YCbCr copy", 3, 3, 3, 3, {0, 1, 2}},
      {"packed 4:2:2", 3, 3, 3, 3, {2}, 2},
      {"other, 1 of 2", 255, 2, 255, 1, {0}},
      {"other, 2 of 3", 255, 3, 255, 2, {0}},
      {"other, 3 of 3", 255, 3, 255, 3, {0, 1, 2}},
      {"other, 3 of 5", 255, 5, 255, 3, {0, 1, 2}},
      {"other, 4 of 4", 255, 4, 255, 4, {0, 3, 4}},
  };
  const std::string path = TempPath("layout.jpg");
  // 35 x 21 cuts every MCU grid; 32 x 16 makes the last MCU of each row whole,
  // so the kernels read up to the bitmap's very last byte.
  const int sizes[][2] = {{35, 21}, {32, 16}};
  for (const auto& size : sizes)
    for (const Layout& l : layouts) {
      const int w = size[0], h = size[1];
      // Smooth ramps, each channel its own: a swapped channel cannot pass.
      jt::Image img = jt::MakeImage(jt::Content::kFlat, w, h, l.dibSubsampling == 2 ? 2 : l.dibChannels);
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
          for (int k = 0; k < img.ch; ++k)
            img.Row(y)[x * img.ch + k] = (uint8_t)(20 + k * 45 + (k & 1 ? x * 2 : 40 - y) + y);
      for (int sub : l.subs)
        for (int kind : {0, 6})
          for (bool progressive : {false, true}) {
            const std::string what = std::string(l.what) + " " + std::to_string(w) + "x" + std::to_string(h) + " sub " +
                                     std::to_string(sub) + " kind " + std::to_string(kind) +
                                     (progressive ? " progressive" : "");
            if (progressive && l.jpegColor == 255 && l.jpegChannels == 1) continue;
            Job mem(img, kind);
            JpegJob& job = mem.job;
            job.dibChannels = l.dibChannels;
            job.dibColor = l.dibColor;
            job.dibSubsampling = l.dibSubsampling;
            job.jpegColor = l.jpegColor;
            job.jpegChannels = l.jpegChannels;
            job.jpegSubsampling = sub;
            job.quality = 95;
            job.props.progressive = progressive;
            ASSERT_EQ(JpegWrite(&job, 9), 0) << what;
            const std::vector<uint8_t> bytes = mem.Bytes();
            Job file(img, kind);
            file.job.dibChannels = l.dibChannels;
            file.job.dibColor = l.dibColor;
            file.job.dibSubsampling = l.dibSubsampling;
            file.job.jpegColor = l.jpegColor;
            file.job.jpegChannels = l.jpegChannels;
            file.job.jpegSubsampling = sub;
            file.job.quality = 95;
            file.job.props.progressive = progressive;
            file.job.jpegFileName = path.c_str();
            ASSERT_EQ(JpegWrite(&file.job, 8), 0) << what;
            EXPECT_EQ(vtest::ReadBytes(path), bytes) << what;

            const jt::Decoded d = jt::LibjpegDecode(bytes, false);
            ASSERT_TRUE(d.ok) << what << ": " << d.error;
            ASSERT_EQ(d.warnings, 0) << what << ": " << d.error;
            ASSERT_EQ(d.comps, l.jpegChannels) << what;
            // Expected component values per pixel.
            std::vector<uint8_t> expect((size_t)w * h * l.jpegChannels);
            for (int y = 0; y < h; ++y)
              for (int x = 0; x < w; ++x) {
                const uint8_t* s = img.Row(y) + x * img.ch;
                uint8_t* e = &expect[((size_t)y * w + x) * l.jpegChannels];
                double r = 0, g = 0, b = 0;
                if (l.dibColor == 1 || l.dibColor == 255) r = s[0], g = s[1], b = s[2 % img.ch];
                if (l.dibColor == 2) b = s[0], g = s[1], r = s[2];
                if (l.dibColor == 5) r = 255 - s[0], g = 255 - s[1], b = 255 - s[2];
                if (l.dibColor == 4) r = g = b = s[0];
                const double Y = 0.299 * r + 0.587 * g + 0.114 * b;
                const double cb = 128 - 0.168736 * r - 0.331264 * g + 0.5 * b;
                const double cr = 128 + 0.5 * r - 0.418688 * g - 0.081312 * b;
                auto put = [&](int i, double v) { e[i] = (uint8_t)std::lround(v < 0 ? 0 : v > 255 ? 255 : v); };
                if (l.dibSubsampling == 2) {
                  const uint8_t* g0 = img.Row(y) + (x & ~1) * 2;
                  put(0, s[0]);
                  put(1, g0[1]);
                  put(2, (x | 1) < w ? g0[3] : g0[-1]);
                } else if (l.jpegColor == 4) {
                  put(0, Y);
                } else if (l.jpegColor == 3 && l.dibColor == 3) {
                  for (int i = 0; i < 3; ++i) put(i, s[i]);
                } else if (l.jpegColor == 3 || l.jpegColor == 6) {
                  put(0, Y);
                  put(1, cb);
                  put(2, cr);
                  if (l.jpegColor == 6) put(3, s[3]);
                } else if (l.jpegColor == 1) {
                  put(0, r);
                  put(1, g);
                  put(2, b);
                } else {
                  for (int i = 0; i < l.jpegChannels; ++i) put(i, s[i]);
                }
              }
            EXPECT_GT(jt::Psnr(expect, d.pixels), 30.0) << what;
          }
    }
  std::remove(path.c_str());
}

}  // namespace

namespace {

// Caller-supplied planes: samples give the bitmap's stream, and the
// quantised coefficients read back from it give the same stream again.
TEST(Interface, CallerCoefficientPlanes) {
  const jt::Image img = jt::MakeImage(jt::Content::kPhoto, 20, 12, 1);
  Job bitmap(img);
  bitmap.job.dibColor = 4;
  bitmap.job.jpegColor = 4;
  bitmap.job.jpegChannels = 1;
  bitmap.job.jpegSubsampling = 0;
  ASSERT_EQ(JpegWrite(&bitmap.job, 9), 0);
  const std::vector<uint8_t> expect = bitmap.Bytes();

  const int pw = 24, ph = 16;  // 3 x 2 MCUs of 8 x 8
  std::vector<int16_t> plane((size_t)pw * ph);
  for (int y = 0; y < ph; ++y)
    for (int x = 0; x < pw; ++x) plane[(size_t)y * pw + x] = img.Row(std::min(y, 11))[std::min(x, 19)];
  for (int kind : {1, 0}) {
    if (kind == 0) {
      const jt::Decoded d = jt::LibjpegReadCoefs(expect);
      ASSERT_TRUE(d.ok);
      for (int by = 0; by < 2; ++by)
        for (int bx = 0; bx < 3; ++bx)
          for (int k = 0; k < 64; ++k)
            plane[(size_t)(by * 8 + k / 8) * pw + bx * 8 + k % 8] = d.coefs[0].Block(bx, by)[k];
    }
    JpegCoefPlanes planes{kind, {plane.data(), nullptr, nullptr, nullptr}};
    Job j(img);
    j.job.dibPixels = nullptr;
    j.job.dibColor = 4;
    j.job.jpegColor = 4;
    j.job.jpegChannels = 1;
    j.job.jpegSubsampling = 0;
    j.job.props.coefPlanes = &planes;
    ASSERT_EQ(JpegWrite(&j.job, 9), 0) << "kind " << kind;
    EXPECT_EQ(j.Bytes(), expect) << "kind " << kind;
  }
}

TEST(Interface, CallerComment) {
  const jt::Image img = jt::MakeImage(jt::Content::kGradient, 8, 8);
  std::vector<uint8_t> text(70000, 'c');
  for (int length : {0, 5, 65535}) {
    Job j(img, 0, 200000);
    j.job.props.comment = text.data();
    j.job.props.commentLength = (uint16_t)length;
    ASSERT_EQ(JpegWrite(&j.job, 9), 0);
    const std::vector<uint8_t> b = j.Bytes();
    if (length == 0) {
      EXPECT_EQ(CountMarker(b, 0xFE), 0);
      continue;
    }
    // The comment follows the 18-byte APP0; a long one is cut to 65,531 bytes.
    const int expect = length > 0xFFFB ? 0xFFFB : length;
    ASSERT_EQ(b[20], 0xFF);
    ASSERT_EQ(b[21], 0xFE);
    EXPECT_EQ(b[22] * 256 + b[23], expect + 2);
    EXPECT_EQ(j.job.props.commentLength, expect);
    const jt::Decoded d = jt::LibjpegReadCoefs(b);
    EXPECT_TRUE(d.ok && d.warnings == 0) << d.error;
  }
}

}  // namespace
