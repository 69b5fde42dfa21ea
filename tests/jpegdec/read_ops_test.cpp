// Every read operation of JpegRead: parameters, tables then data, file and
// memory, thumbnails, comments, pixel layouts, smoothing and interruption.
#include <gtest/gtest.h>
#include <jpeglib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "tests/jpegdec/dec_util.h"
#include "tests/support/file_io.h"

namespace {

struct Job {
  JpegJob job;
  Job() {
    jd::UseCpuKind(0);
    EXPECT_EQ(JpegInit(&job), 0);
  }
  ~Job() { EXPECT_EQ(JpegFree(&job), 0); }
  void Memory(const std::vector<uint8_t>& b) {
    job.jpegBuffer = const_cast<uint8_t*>(b.data());
    job.jpegBufferSize = (int32_t)b.size();
  }
  std::vector<uint8_t> Picture(int w, int h, int ch, int color) {
    std::vector<uint8_t> px((size_t)w * h * ch, 0xCD);
    job.dibWidth = w;
    job.dibHeight = h;
    job.dibChannels = ch;
    job.dibColor = color;
    return px;
  }
};

std::vector<uint8_t> Jfif(int tw, int th, const std::vector<uint8_t>& rgb) {
  std::vector<uint8_t> b = {'J', 'F', 'I', 'F', 0, 1, 2, 0, 0, 1, 0, 1, (uint8_t)tw, (uint8_t)th};
  b.insert(b.end(), rgb.begin(), rgb.end());
  return b;
}

TEST(ReadOps, ParametersReportTheFrame) {
  struct Row {
    int ch, hs, vs, space, code, color, dibColor;
  } rows[] = {{3, 1, 1, 0, 0, 3, 2},        {3, 2, 2, 0, 1, 3, 2},        {3, 2, 1, 0, 2, 3, 2},
              {1, 1, 1, 0, 0, 4, 2},        {4, 1, 1, JCS_CMYK, 0, 5, 5}, {4, 2, 2, JCS_YCCK, 3, 6, 5},
              {4, 2, 1, JCS_YCCK, 4, 6, 5}, {3, 1, 1, JCS_RGB, 0, 1, 2}};
  for (const Row& r : rows) {
    SCOPED_TRACE(testing::Message() << r.ch << " " << r.hs << "x" << r.vs);
    jd::LjWrite opt;
    opt.hs = r.hs;
    opt.vs = r.vs;
    opt.colorSpace = r.space;
    const auto jpeg = jd::LjEncode(jd::MakePicture(37, 21, r.ch, 1), opt);
    Job j;
    j.Memory(jpeg);
    ASSERT_EQ(JpegRead(&j.job, 1), 0);
    EXPECT_EQ(j.job.jpegWidth, 37);
    EXPECT_EQ(j.job.jpegHeight, 21);
    EXPECT_EQ(j.job.jpegChannels, r.ch);
    EXPECT_EQ(j.job.jpegSubsampling, r.code);
    EXPECT_EQ(j.job.jpegColor, r.color);
    EXPECT_EQ(j.job.dibColor, r.dibColor);
    if (r.space == JCS_CMYK || r.space == JCS_YCCK || r.space == JCS_RGB) {
      EXPECT_EQ(j.job.dibChannels, r.ch);
    }
  }
  Job j;
  const std::vector<uint8_t> junk = {0x00, 0xD8, 0xFF, 0xD8};
  j.Memory(junk);
  for (int io : {1, 5, 21}) {
    if (io == 21) j.Picture(4, 4, 3, 2);
    std::vector<uint8_t> px(48);
    j.job.dibPixels = px.data();
    EXPECT_EQ(JpegRead(&j.job, io), -13);
  }
}

TEST(ReadOps, ParametersThenDataAndTablesThenDataEqualTheWholeRead) {
  const jd::Pixels src = jd::MakePicture(45, 30, 3, 2);
  const auto jpeg = jd::LjEncode(src, jd::LjWrite{});
  jd::ReadOptions ro;
  const jd::Decode whole = jd::OurDecode(jpeg, ro);
  ASSERT_EQ(whole.status, 0);

  {  // parameters leave the stream on the scan; the data read starts there
    Job j;
    j.Memory(jpeg);
    ASSERT_EQ(JpegRead(&j.job, 1), 0);
    auto px = j.Picture(45, 30, 3, 1);
    j.job.dibPixels = px.data();
    ASSERT_EQ(JpegRead(&j.job, 7), 0);
    EXPECT_TRUE(px == whole.px);
  }
  {  // tables-only stream, then the abbreviated image
    std::vector<uint8_t> tables, image;
    jd::LjEncodeAbbreviated(src, &tables, &image);
    const jd::Decode ref = jd::OurDecode(jd::LjEncode(src,
                                                      [] {
                                                        jd::LjWrite o;
                                                        o.quality = 75;
                                                        return o;
                                                      }()),
                                         ro);
    Job j;
    j.Memory(tables);
    ASSERT_EQ(JpegRead(&j.job, 5), 0);
    j.Memory(image);
    auto px = j.Picture(45, 30, 3, 1);
    j.job.dibPixels = px.data();
    ASSERT_EQ(JpegRead(&j.job, 7), 0);
    EXPECT_TRUE(px == ref.px);
    // Without the tables the image read has none.
    Job k;
    k.Memory(image);
    auto px2 = k.Picture(45, 30, 3, 1);
    k.job.dibPixels = px2.data();
    EXPECT_EQ(JpegRead(&k.job, 3), -17);
  }
}

TEST(ReadOps, FileReadsEqualMemoryReads) {
  const auto jpeg = jd::LjEncode(jd::MakePicture(50, 40, 3, 3), jd::LjWrite{});
  const std::string path = jd::TempPath("file.jpg");
  vtest::WriteBytes(path, jpeg);
  jd::ReadOptions ro;
  const jd::Decode whole = jd::OurDecode(jpeg, ro);
  ro.io = 15;
  const jd::Decode half = jd::OurDecode(jpeg, ro);
  for (int io : {2, 0, 14}) {
    SCOPED_TRACE(io);
    Job j;
    j.job.jpegFileName = path.c_str();
    std::vector<uint8_t> px;
    if (io == 0) {
      ASSERT_EQ(JpegRead(&j.job, 0), 0);
      EXPECT_EQ(j.job.jpegWidth, 50);
      px = j.Picture(50, 40, 3, 1);
      j.job.dibPixels = px.data();
      ASSERT_EQ(JpegRead(&j.job, 6), 0);  // continues in the open file at the scan
      EXPECT_TRUE(px == whole.px);
      continue;
    }
    const int w = io == 14 ? 25 : 50, h = io == 14 ? 20 : 40;
    px = j.Picture(w, h, 3, 1);
    j.job.dibPixels = px.data();
    ASSERT_EQ(JpegRead(&j.job, io), 0);
    EXPECT_TRUE(px == (io == 14 ? half.px : whole.px));
  }
  Job j;
  const std::string missing = jd::TempPath("missing.jpg");
  j.job.jpegFileName = missing.c_str();
  EXPECT_EQ(JpegRead(&j.job, 0), -10);
  std::remove(path.c_str());
}

// Several region reads on one job, from memory and from a file: the kept scan
// and its row index serve each of them.
TEST(ReadOps, RepeatedRegionReadsOnOneJob) {
  jd::UseCpuKind(0);
  jd::LjWrite opt;
  opt.restartMcus = 3;
  const auto jpeg = jd::LjEncode(jd::MakePicture(90, 70, 3, 6), opt);
  const std::string path = jd::TempPath("roi.jpg");
  vtest::WriteBytes(path, jpeg);
  const jd::Decode whole = jd::OurDecode(jpeg, jd::ReadOptions{});
  const int regions[][4] = {{30, 40, 60, 70}, {0, 0, 20, 10}, {50, 17, 89, 50}, {5, 60, 10, 62}};
  for (bool file : {false, true}) {
    Job j;
    if (file)
      j.job.jpegFileName = path.c_str();
    else
      j.Memory(jpeg);
    ASSERT_EQ(JpegRead(&j.job, file ? 0 : 1), 0);
    for (const auto& r : regions) {
      auto px = j.Picture(r[2] - r[0], r[3] - r[1], 3, 1);
      j.job.dibPixels = px.data();
      std::memcpy(j.job.props.dec.roi, r, sizeof r);
      ASSERT_EQ(JpegRead(&j.job, file ? 6 : 7), 2);
      for (int y = r[1]; y < r[3]; ++y)
        ASSERT_EQ(std::memcmp(px.data() + (size_t)(y - r[1]) * (r[2] - r[0]) * 3,
                              whole.px.data() + ((size_t)y * 90 + r[0]) * 3, (size_t)(r[2] - r[0]) * 3),
                  0)
            << file << " " << r[0] << "," << r[1];
    }
  }
  std::remove(path.c_str());
}

TEST(ReadOps, CommentsFillTheCallerBuffer) {
  jd::LjWrite opt;
  opt.comment = "a comment of 27 characters.";
  const auto jpeg = jd::LjEncode(jd::MakePicture(16, 16, 3, 4), opt);
  Job j;
  j.Memory(jpeg);
  uint8_t buffer[64] = {};
  j.job.props.dec.comment = buffer;
  j.job.props.dec.commentLength = sizeof buffer;
  ASSERT_EQ(JpegRead(&j.job, 1), 0);
  EXPECT_EQ(j.job.props.dec.commentLength, 27);
  EXPECT_EQ(std::memcmp(buffer, opt.comment.data(), 27), 0);
  uint8_t small[8];
  std::memset(small, 0xEE, sizeof small);
  j.job.props.dec.comment = small;
  j.job.props.dec.commentLength = 5;
  EXPECT_EQ(JpegRead(&j.job, 1), -30);
  EXPECT_EQ(j.job.props.dec.commentLength, 27);
  EXPECT_EQ(std::memcmp(small, "a com", 5), 0);
  EXPECT_EQ(small[5], 0xEE);
}

TEST(ReadOps, ThumbnailsFromApp0) {
  std::vector<uint8_t> rgb;
  for (int i = 0; i < 4 * 3; ++i) rgb.insert(rgb.end(), {(uint8_t)(10 * i), (uint8_t)(100 + i), (uint8_t)(250 - i)});
  jd::LjWrite opt;
  opt.jfif = false;
  opt.app0 = Jfif(4, 3, rgb);
  const auto jpeg = jd::LjEncode(jd::MakePicture(24, 16, 3, 5), opt);
  for (int color : {1, 2}) {
    Job j;
    j.Memory(jpeg);
    auto px = j.Picture(5, 4, 3, color);  // larger than the thumbnail: the rest stays
    j.job.dibPixels = px.data();
    ASSERT_EQ(JpegRead(&j.job, 21), 0);
    EXPECT_EQ(j.job.thumbWidth, 4);
    EXPECT_EQ(j.job.thumbHeight, 3);
    for (int y = 0; y < 3; ++y)
      for (int x = 0; x < 4; ++x) {
        const uint8_t* t = rgb.data() + (y * 4 + x) * 3;
        const uint8_t* p = px.data() + (y * 5 + x) * 3;
        EXPECT_EQ(p[0], color == 1 ? t[0] : t[2]);
        EXPECT_EQ(p[1], t[1]);
        EXPECT_EQ(p[2], color == 1 ? t[2] : t[0]);
      }
    EXPECT_EQ(px[4 * 3], 0xCD);
    EXPECT_EQ(px[3 * 15], 0xCD);
  }
  {  // too small a picture, and a four-channel picture
    Job j;
    j.Memory(jpeg);
    auto px = j.Picture(3, 3, 3, 2);
    j.job.dibPixels = px.data();
    EXPECT_EQ(JpegRead(&j.job, 21), -26);
    auto quad = j.Picture(8, 8, 4, 5);
    j.job.dibPixels = quad.data();
    j.job.jpegColor = 5;
    j.job.jpegChannels = 4;
    EXPECT_EQ(JpegRead(&j.job, 21), -27);
  }
  {  // a body shorter than the pixels it announces: size reported, nothing copied
    jd::LjWrite shortOpt = opt;
    shortOpt.app0 = Jfif(4, 3, std::vector<uint8_t>(rgb.begin(), rgb.begin() + 20));
    const auto cut = jd::LjEncode(jd::MakePicture(24, 16, 3, 5), shortOpt);
    Job j;
    j.Memory(cut);
    auto px = j.Picture(4, 3, 3, 1);
    j.job.dibPixels = px.data();
    ASSERT_EQ(JpegRead(&j.job, 21), 0);
    EXPECT_EQ(j.job.thumbWidth, 4);
    EXPECT_TRUE(px == std::vector<uint8_t>(36, 0xCD));
  }
  {  // palette thumbnail (JFXX extension 0x11)
    std::vector<uint8_t> body = {'J', 'F', 'X', 'X', 0, 0x11, 2, 2};
    for (int i = 0; i < 256; ++i) body.insert(body.end(), {(uint8_t)i, (uint8_t)(255 - i), (uint8_t)(i / 2)});
    body.insert(body.end(), {0, 7, 200, 255});
    jd::LjWrite palOpt;
    palOpt.app0 = body;
    const auto pal = jd::LjEncode(jd::MakePicture(16, 16, 3, 6), palOpt);
    Job j;
    j.Memory(pal);
    auto px = j.Picture(2, 2, 3, 1);
    j.job.dibPixels = px.data();
    ASSERT_EQ(JpegRead(&j.job, 21), 0);
    EXPECT_EQ(px, (std::vector<uint8_t>{0, 255, 0, 7, 248, 3, 200, 55, 100, 255, 0, 127}));
  }
  {  // the same thumbnail from a file
    const std::string path = jd::TempPath("thumb.jpg");
    vtest::WriteBytes(path, jpeg);
    Job j;
    j.job.jpegFileName = path.c_str();
    auto px = j.Picture(4, 3, 3, 1);
    j.job.dibPixels = px.data();
    ASSERT_EQ(JpegRead(&j.job, 20), 0);
    EXPECT_EQ(std::memcmp(px.data(), rgb.data(), 12), 0);
    std::remove(path.c_str());
  }
}

TEST(ReadOps, PixelLayouts) {
  for (int hs : {1, 2}) {
    jd::LjWrite opt;
    opt.hs = opt.vs = hs;
    const auto jpeg = jd::LjEncode(jd::MakePicture(35, 27, 3, 8), opt);
    jd::ReadOptions ro;
    const jd::Decode rgb = jd::OurDecode(jpeg, ro);
    ASSERT_EQ(rgb.status, 0);
    ro.dibColor = 2;
    const jd::Decode bgr = jd::OurDecode(jpeg, ro);
    ro.dibColor = 5;
    ro.dibChannels = 4;
    const jd::Decode quad = jd::OurDecode(jpeg, ro);
    ro.dibColor = 1;
    ro.dibChannels = 3;
    ro.bottomUp = true;
    ro.padding = 3;
    const jd::Decode flipped = jd::OurDecode(jpeg, ro);
    EXPECT_TRUE(flipped.px == rgb.px);
    for (size_t i = 0; i < rgb.px.size() / 3; ++i) {
      ASSERT_EQ(bgr.px[3 * i], rgb.px[3 * i + 2]);
      ASSERT_EQ(bgr.px[3 * i + 2], rgb.px[3 * i]);
      ASSERT_EQ(quad.px[4 * i], rgb.px[3 * i]);
      ASSERT_EQ(quad.px[4 * i + 2], rgb.px[3 * i + 2]);
      ASSERT_EQ(quad.px[4 * i + 3], 255);
    }
  }
  // Grey into three and four channels.
  const auto grey = jd::LjEncode(jd::MakePicture(19, 13, 1, 2), jd::LjWrite{});
  jd::ReadOptions g;
  g.dibColor = 4;
  g.dibChannels = 1;
  const jd::Decode y = jd::OurDecode(grey, g);
  ASSERT_EQ(y.status, 0);
  for (int ch : {3, 4}) {
    g.dibColor = ch == 3 ? 2 : 5;
    g.dibChannels = ch;
    const jd::Decode wide = jd::OurDecode(grey, g);
    ASSERT_EQ(wide.status, 0);
    for (size_t i = 0; i < y.px.size(); ++i) {
      ASSERT_EQ(wide.px[ch * i], y.px[i]);
      ASSERT_EQ(wide.px[ch * i + 2], y.px[i]);
      if (ch == 4) {
        ASSERT_EQ(wide.px[ch * i + 3], 255);
      }
    }
  }
  // An RGB frame (no transform) into B,G,R comes out channel-reversed.
  jd::LjWrite rgbOpt;
  rgbOpt.colorSpace = JCS_RGB;
  rgbOpt.hs = rgbOpt.vs = 1;
  const jd::Pixels src = jd::MakePicture(16, 8, 3, 9);
  const auto plainRgb = jd::LjEncode(src, rgbOpt);
  jd::ReadOptions r;
  const jd::Decode asRgb = jd::OurDecode(plainRgb, r);
  r.dibColor = 2;
  const jd::Decode asBgr = jd::OurDecode(plainRgb, r);
  ASSERT_EQ(asRgb.status, 0);
  EXPECT_LE(jd::MaxDiff(asRgb.px, jd::LjDecode(plainRgb).px), 1);
  for (size_t i = 0; i < asRgb.px.size(); i += 3) {
    ASSERT_EQ(asBgr.px[i], asRgb.px[i + 2]);
  }
}

TEST(ReadOps, PackedYcbcrOutputOfA422Frame) {
  jd::LjWrite opt;
  opt.vs = 1;
  const auto jpeg = jd::LjEncode(jd::MakePicture(34, 10, 3, 3), opt);
  jd::ReadOptions ro;
  ro.dibColor = 3;
  ro.dibChannels = 2;
  const jd::Decode packed = jd::OurDecode(jpeg, ro);
  ASSERT_EQ(packed.status, 0);
  const jd::LjImage ycc = jd::LjDecode(jpeg, 1, JCS_YCbCr);
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 34; ++x) {
      const uint8_t* p = packed.px.data() + (y * 34 + x) * 2;
      const uint8_t* q = ycc.px.data() + (y * 34 + x) * 3;
      EXPECT_LE(std::abs(p[0] - q[0]), 1);
      EXPECT_LE(std::abs(p[1] - q[(x & 1) ? 2 : 1]), 1);
    }
  // A 4:2:0 frame, or three bytes a pixel, is refused.
  ro.dibChannels = 3;
  EXPECT_EQ(jd::OurDecode(jpeg, ro).status, -8);
  ro.dibChannels = 2;
  EXPECT_EQ(jd::OurDecode(jd::LjEncode(jd::MakePicture(34, 10, 3, 3), jd::LjWrite{}), ro).status, -8);
}

TEST(ReadOps, SmoothingFollowsTheTriangleFilter) {
  for (int vs : {1, 2}) {
    for (bool progressive : {false, true}) {
      SCOPED_TRACE(testing::Message() << "vs " << vs << " progressive " << progressive);
      jd::LjWrite opt;
      opt.vs = vs;
      opt.progressive = progressive;
      const auto jpeg = jd::LjEncode(jd::MakePicture(53, 37, 3, 4), opt);
      jd::ReadOptions ro;
      ro.smoothing = 1;
      const jd::Decode smooth = jd::OurDecode(jpeg, ro);
      ASSERT_EQ(smooth.status, 0);
      const jd::LjImage fancy = jd::LjDecode(jpeg, 1, 0, true);
      EXPECT_LE(jd::MaxDiff(smooth.px, fancy.px), 3);
      ro.interrupt = true;
      EXPECT_TRUE(jd::OurDecode(jpeg, ro).px == smooth.px);
      ro.interrupt = false;
      const int r[4] = {9, 5, 40, 33};
      std::memcpy(ro.roi, r, sizeof r);
      const jd::Decode part = jd::OurDecode(jpeg, ro);
      std::vector<uint8_t> crop;
      for (int y = r[1]; y < r[3]; ++y)
        crop.insert(crop.end(), smooth.px.begin() + ((size_t)y * 53 + r[0]) * 3,
                    smooth.px.begin() + ((size_t)y * 53 + r[2]) * 3);
      EXPECT_TRUE(part.px == crop);
    }
  }
}

TEST(ReadOps, InterruptedReadsStopAfterEveryMcu) {
  const auto jpeg = jd::LjEncode(jd::MakePicture(64, 48, 3, 1), jd::LjWrite{});  // 4 x 3 MCUs
  Job j;
  j.Memory(jpeg);
  ASSERT_EQ(JpegRead(&j.job, 1), 0);
  auto px = j.Picture(64, 48, 3, 1);
  j.job.dibPixels = px.data();
  int calls = 0;
  JpegStatus st;
  do {
    j.job.props.stopRequest = 1;
    st = JpegRead(&j.job, 7);
    if (calls == 0) {
      EXPECT_EQ(j.job.props.stopCol, 16);
      EXPECT_EQ(j.job.props.stopRow, 16);
    }
    ++calls;
  } while (st == 1);
  EXPECT_EQ(st, 0);
  EXPECT_EQ(calls, 12);
}

TEST(ReadOps, OneJobReadsSeveralPictures) {
  jd::LjWrite progressive;
  progressive.progressive = true;
  const auto a = jd::LjEncode(jd::MakePicture(40, 24, 3, 1), progressive);
  const auto b = jd::LjEncode(jd::MakePicture(24, 40, 3, 2), jd::LjWrite{});
  jd::ReadOptions ro;
  const jd::Decode ra = jd::OurDecode(a, ro), rb = jd::OurDecode(b, ro);
  Job j;
  for (int round = 0; round < 2; ++round)
    for (const auto* jpeg : {&a, &b}) {
      j.Memory(*jpeg);
      ASSERT_EQ(JpegRead(&j.job, 1), 0);
      auto px = j.Picture(j.job.jpegWidth, j.job.jpegHeight, 3, 1);
      j.job.dibPixels = px.data();
      ASSERT_EQ(JpegRead(&j.job, 3), 0);
      EXPECT_TRUE(px == (jpeg == &a ? ra.px : rb.px));
    }
}

}  // namespace

namespace {

// The DQT and DHT tables of a stream, raw, by caller slot: quantisation by
// number, Huffman by 2 x number + class.
struct RawTables {
  std::vector<uint8_t> quant[4];
  std::vector<uint8_t> counts[8], symbols[8];
};

RawTables StreamTables(const std::vector<uint8_t>& j) {
  RawTables t;
  for (size_t i = 2; i + 4 <= j.size() && j[i] == 0xFF && j[i + 1] != 0xDA;) {
    const size_t len = (j[i + 2] << 8) | j[i + 3], end = i + 2 + len;
    size_t k = i + 4;
    if (j[i + 1] == 0xDB)
      while (k < end) {
        const size_t size = (j[k] >> 4) ? 128 : 64;
        t.quant[j[k] & 15].assign(j.begin() + k + 1, j.begin() + k + 1 + size);
        k += 1 + size;
      }
    if (j[i + 1] == 0xC4)
      while (k < end) {
        const int slot = 2 * (j[k] & 15) + (j[k] >> 4);
        size_t total = 0;
        for (int n = 0; n < 16; ++n) total += j[k + 1 + n];
        t.counts[slot].assign(j.begin() + k + 1, j.begin() + k + 17);
        t.symbols[slot].assign(j.begin() + k + 17, j.begin() + k + 17 + total);
        k += 17 + total;
      }
    i = end;
  }
  return t;
}

// Bytes [0, n) equal want, the rest of the buffer still holds the fill byte.
void ExpectCopied(const uint8_t* buffer, size_t size, const std::vector<uint8_t>& want, const char* what, int slot) {
  if (!want.empty()) {
    EXPECT_EQ(std::memcmp(buffer, want.data(), want.size()), 0) << what << " slot " << slot;
  }
  for (size_t k = want.size(); k < size; ++k) ASSERT_EQ(buffer[k], 0xEE) << what << " slot " << slot << " byte " << k;
}

}  // namespace

TEST(ReadOps, ReadsCopyTheRawTablesIntoTheCallersSlots) {
  const struct {
    const char* name;
    bool wide, full;
  } cases[] = {{"8-bit tables", false, false},
               {"a 16-bit table", true, false},
               {"256 AC symbols", false, true},
               {"both", true, true}};
  for (const auto& c : cases) {
    jd::LjWrite opt;
    opt.wideQuant0 = c.wide;
    opt.fullAcTable0 = c.full;
    const std::vector<uint8_t> jpeg = jd::LjEncode(jd::MakePicture(32, 16, 3, 3), opt);
    ASSERT_FALSE(jpeg.empty());
    const RawTables raw = StreamTables(jpeg);
    ASSERT_EQ(raw.quant[0].size(), c.wide ? 128u : 64u) << c.name;
    ASSERT_EQ(raw.symbols[1].size(), c.full ? 256u : 162u) << c.name;
    for (int io : {1, 3}) {  // a parameters read and a whole-image read
      SCOPED_TRACE(testing::Message() << c.name << ", read type " << io);
      Job j;
      j.Memory(jpeg);
      std::vector<uint8_t> px = j.Picture(32, 16, 3, 1);
      j.job.dibPixels = px.data();
      uint8_t quant[4][128], counts[8][16], symbols[8][256];
      std::memset(quant, 0xEE, sizeof quant);
      std::memset(counts, 0xEE, sizeof counts);
      std::memset(symbols, 0xEE, sizeof symbols);
      JPEG_PROPERTIES& p = j.job.props;
      for (int k = 0; k < 4; ++k) p.quantSpec[k] = {quant[k], 9};
      for (int k = 0; k < 8; ++k) p.huffSpec[k] = {counts[k], symbols[k], 7, 7};
      ASSERT_EQ(JpegRead(&j.job, io), 0);
      for (int k = 0; k < 4; ++k) {
        ExpectCopied(quant[k], 128, raw.quant[k], "quantisation", k);
        EXPECT_EQ(p.quantSpec[k].id, raw.quant[k].empty() ? 9 : k);
      }
      for (int k = 0; k < 8; ++k) {
        ExpectCopied(counts[k], 16, raw.counts[k], "counts", k);
        ExpectCopied(symbols[k], 256, raw.symbols[k], "symbols", k);
        EXPECT_EQ(p.huffSpec[k].cls, raw.counts[k].empty() ? 7 : k % 2);
        EXPECT_EQ(p.huffSpec[k].id, raw.counts[k].empty() ? 7 : k / 2);
      }
      if (io == 3) {  // and the tables decode the picture as libjpeg-turbo does
        const jd::LjImage judge = jd::LjDecode(jpeg);
        ASSERT_EQ(judge.px.size(), px.size());
        int worst = 0;
        for (size_t k = 0; k < px.size(); ++k) worst = std::max(worst, std::abs(px[k] - judge.px[k]));
        EXPECT_LE(worst, 2);
      }
    }
  }
}

TEST(ReadOps, ReadsLeaveTheStandardTablesAWriteLeftInTheSlots) {
  Job j;
  std::vector<uint8_t> px = j.Picture(16, 16, 3, 2);
  for (size_t k = 0; k < px.size(); ++k) px[k] = (uint8_t)(k * 7);
  std::vector<uint8_t> out(4096);
  j.job.dibPixels = px.data();
  j.job.jpegBuffer = out.data();
  j.job.jpegBufferSize = (int32_t)out.size();
  j.job.jpegWidth = j.job.jpegHeight = 16;
  ASSERT_EQ(JpegWrite(&j.job, 9), 0);
  JPEG_PROPERTIES& p = j.job.props;
  JpegQuantSpec quant[4];
  JpegHuffSpec huff[8];
  std::memcpy(quant, p.quantSpec, sizeof quant);
  std::memcpy(huff, p.huffSpec, sizeof huff);
  ASSERT_NE(quant[0].base, nullptr);
  ASSERT_NE(huff[1].symbols, nullptr);
  const std::vector<uint8_t> lumaSteps(quant[0].base, quant[0].base + 64);

  jd::LjWrite opt;
  opt.wideQuant0 = true;
  opt.fullAcTable0 = true;
  const std::vector<uint8_t> jpeg = jd::LjEncode(jd::MakePicture(16, 16, 3, 5), opt);
  j.Memory(jpeg);
  ASSERT_EQ(JpegRead(&j.job, 1), 0);
  EXPECT_EQ(std::memcmp(quant, p.quantSpec, sizeof quant), 0);
  EXPECT_EQ(std::memcmp(huff, p.huffSpec, sizeof huff), 0);
  EXPECT_EQ(std::vector<uint8_t>(quant[0].base, quant[0].base + 64), lumaSteps);
}
