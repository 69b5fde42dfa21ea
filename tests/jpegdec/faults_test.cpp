// Faults mended in the decoder: file data never drives a read or write
// outside a buffer, and bad segments are refused with their codes.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <random>

#include "tests/jpegdec/dec_util.h"

namespace {

struct Segment {
  uint8_t marker;
  std::vector<uint8_t> body;
};

// A stream cut into its header segments (up to and including the first SOS)
// and the bytes after them.
struct Stream {
  std::vector<Segment> head;
  std::vector<uint8_t> rest;

  explicit Stream(const std::vector<uint8_t>& jpeg) {
    size_t i = 2;
    while (i + 4 <= jpeg.size()) {
      const uint8_t m = jpeg[i + 1];
      const size_t len = (jpeg[i + 2] << 8) | jpeg[i + 3];
      head.push_back(Segment{m, std::vector<uint8_t>(jpeg.begin() + i + 4, jpeg.begin() + i + 2 + len)});
      i += 2 + len;
      if (m == 0xDA) break;
    }
    rest.assign(jpeg.begin() + i, jpeg.end());
  }
  Segment* Find(uint8_t marker) {
    for (Segment& s : head)
      if (s.marker == marker) return &s;
    return nullptr;
  }
  std::vector<uint8_t> Bytes() const {
    std::vector<uint8_t> out = {0xFF, 0xD8};
    for (const Segment& s : head) {
      const size_t len = s.body.size() + 2;
      out.insert(out.end(), {0xFF, s.marker, (uint8_t)(len >> 8), (uint8_t)len});
      out.insert(out.end(), s.body.begin(), s.body.end());
    }
    out.insert(out.end(), rest.begin(), rest.end());
    return out;
  }
};

std::vector<uint8_t> Baseline(int w = 32, int h = 24, int ch = 3) {
  return jd::LjEncode(jd::MakePicture(w, h, ch, 2), jd::LjWrite{});
}

JpegStatus Read(const std::vector<uint8_t>& jpeg, int io = 3) {
  return jd::OurDecode(jpeg, jd::ReadOptions{io}).status;
}

// A full read with fixed picture fields (no parameters read first).
JpegStatus ReadBlind(const std::vector<uint8_t>& jpeg, int w = 32, int h = 24) {
  JpegJob job;
  JpegInit(&job);
  std::vector<uint8_t> px((size_t)w * h * 3);
  job.jpegBuffer = const_cast<uint8_t*>(jpeg.data());
  job.jpegBufferSize = (int32_t)jpeg.size();
  job.dibPixels = px.data();
  job.dibWidth = w;
  job.dibHeight = h;
  job.dibColor = 1;
  const JpegStatus st = JpegRead(&job, 3);
  JpegFree(&job);
  return st;
}

TEST(Faults, HuffmanTables) {
  Stream s(Baseline());
  auto with = [&](std::vector<uint8_t> body) {
    Stream t = s;
    t.Find(0xC4)->body = std::move(body);
    return t.Bytes();
  };
  std::vector<uint8_t> counts(16, 0);
  auto table = [&](uint8_t tcth, std::vector<uint8_t> c, int symbols) {
    std::vector<uint8_t> b = {tcth};
    b.insert(b.end(), c.begin(), c.end());
    for (int i = 0; i < symbols; ++i) b.push_back((uint8_t)i);
    return b;
  };
  std::vector<uint8_t> over = counts;
  over[0] = 3;  // three codes of one bit
  EXPECT_EQ(ReadBlind(with(table(0x00, over, 3))), -6);
  std::vector<uint8_t> many = counts;
  many[14] = 2;
  many[15] = 255;  // 257 codes
  EXPECT_EQ(ReadBlind(with(table(0x00, many, 257))), -6);
  std::vector<uint8_t> twelve = counts;
  twelve[3] = 6;
  twelve[4] = 6;
  EXPECT_EQ(ReadBlind(with(table(0x00, twelve, 5))), -21);  // longer than its segment
  EXPECT_EQ(ReadBlind(with(table(0x20, twelve, 12))), -6);  // class 2
  EXPECT_EQ(ReadBlind(with(table(0x04, twelve, 12))), -6);  // table 4
  // Four full tables: a body of 1091 bytes is read, 1092 is too long.
  std::vector<uint8_t> full = counts, almost = counts;
  full[7] = 255;
  full[8] = 2;
  almost[7] = 255;
  almost[8] = 1;
  std::vector<uint8_t> body;
  for (uint8_t id : {0x00, 0x01, 0x10}) {
    const auto t = table(id, full, 256);
    body.insert(body.end(), t.begin(), t.end());
  }
  std::vector<uint8_t> last = table(0x11, almost, 255);
  std::vector<uint8_t> b1091 = body;
  b1091.insert(b1091.end(), last.begin(), last.end());
  ASSERT_EQ(b1091.size(), 1091u);
  EXPECT_NE(ReadBlind(with(b1091)), -21);
  std::vector<uint8_t> b1092 = body;
  const auto t256 = table(0x11, full, 256);
  b1092.insert(b1092.end(), t256.begin(), t256.end());
  EXPECT_EQ(ReadBlind(with(b1092)), -21);
}

TEST(Faults, QuantisationTables) {
  const auto jpeg = Baseline();
  Stream s(jpeg);
  auto with = [&](std::vector<uint8_t> body) {
    Stream t = s;
    t.Find(0xDB)->body = std::move(body);
    return t.Bytes();
  };
  std::vector<uint8_t> t0 = s.Find(0xDB)->body;
  std::vector<uint8_t> bad = t0;
  bad[0] = 0x20;  // precision 2
  EXPECT_EQ(ReadBlind(with(bad)), -7);
  bad[0] = 0x04;
  EXPECT_EQ(ReadBlind(with(bad)), -7);
  EXPECT_EQ(ReadBlind(with(std::vector<uint8_t>(t0.begin(), t0.begin() + 30))), -7);  // partial
  EXPECT_EQ(ReadBlind(with(std::vector<uint8_t>(517, 1))), -21);
  // 16-bit steps read as the same table.
  std::vector<uint8_t> wide;
  for (size_t i = 0; i < t0.size(); i += 65) {
    wide.push_back((uint8_t)(0x10 | (t0[i] & 15)));
    for (int k = 0; k < 64; ++k) wide.insert(wide.end(), {0, t0[i + 1 + k]});
  }
  jd::ReadOptions ro;
  EXPECT_TRUE(jd::OurDecode(with(wide), ro).px == jd::OurDecode(jpeg, ro).px);
}

TEST(Faults, FrameHeaders) {
  Stream s(Baseline());
  auto sof = [&](std::vector<uint8_t> body, uint8_t marker = 0xC0) {
    Stream t = s;
    Segment* f = t.Find(0xC0);
    f->marker = marker;
    f->body = std::move(body);
    return t.Bytes();
  };
  auto frame = [](int p, int y, int x, std::vector<std::array<int, 3>> comps, int nf = -1) {
    std::vector<uint8_t> b = {(uint8_t)p,        (uint8_t)(y >> 8), (uint8_t)y,
                              (uint8_t)(x >> 8), (uint8_t)x,        (uint8_t)(nf < 0 ? comps.size() : nf)};
    for (auto& c : comps) b.insert(b.end(), {(uint8_t)c[0], (uint8_t)c[1], (uint8_t)c[2]});
    return b;
  };
  const std::vector<std::array<int, 3>> ok = {{1, 0x22, 0}, {2, 0x11, 1}, {3, 0x11, 1}};
  EXPECT_EQ(ReadBlind(sof(frame(8, 24, 32, ok))), 0);
  EXPECT_EQ(ReadBlind(sof(frame(8, 24, 32, {{1, 0x52, 0}, {2, 0x11, 1}, {3, 0x11, 1}}))), -15);
  EXPECT_EQ(ReadBlind(sof(frame(8, 24, 32, {{1, 0x02, 0}, {2, 0x11, 1}, {3, 0x11, 1}}))), -15);
  EXPECT_EQ(ReadBlind(sof(frame(8, 24, 32, {{1, 0x22, 0}, {2, 0x22, 1}, {3, 0x22, 1}}))), -15);  // 12 blocks
  EXPECT_EQ(ReadBlind(sof(frame(8, 24, 32, {{1, 0x31, 0}, {2, 0x21, 1}, {3, 0x11, 1}}))), -15);  // 3 / 2
  EXPECT_EQ(ReadBlind(sof(frame(8, 24, 32, {{1, 0x11, 0}, {2, 0x11, 1}, {3, 0x11, 1}, {4, 0x11, 1}, {5, 0x11, 1}}))),
            -15);
  EXPECT_EQ(ReadBlind(sof(frame(8, 24, 32, ok, 4))), -15);  // length does not match
  EXPECT_EQ(ReadBlind(sof(frame(8, 24, 32, {}))), -14);
  EXPECT_EQ(ReadBlind(sof(frame(12, 24, 32, ok))), -29);
  EXPECT_EQ(ReadBlind(sof(frame(8, 0, 32, ok))), -16);
  EXPECT_EQ(ReadBlind(sof(frame(8, 24, 32, ok), 0xC3)), -29);
  EXPECT_EQ(ReadBlind(sof(frame(8, 24, 32, ok), 0xC9)), -29);
  // A frame far beyond what any buffer may hold.
  {
    Stream t = s;
    Segment* f = t.Find(0xC0);
    f->marker = 0xC2;
    f->body = frame(8, 65535, 65535, {{1, 0x11, 0}, {2, 0x11, 1}, {3, 0x11, 1}});
    Segment* sos = t.Find(0xDA);
    sos->body = {1, 1, 0x00, 0, 0, 0x01};  // DC first scan of component 1
    EXPECT_EQ(ReadBlind(t.Bytes()), -5);
  }
}

TEST(Faults, ScanHeaders) {
  Stream s(Baseline());
  auto sos = [&](std::vector<uint8_t> body) {
    Stream t = s;
    t.Find(0xDA)->body = std::move(body);
    return t.Bytes();
  };
  EXPECT_EQ(ReadBlind(sos({3, 1, 0x00, 2, 0x11, 3, 0x11, 0, 63, 0})), 0);
  EXPECT_EQ(ReadBlind(sos({0, 0, 63, 0})), -21);
  EXPECT_EQ(ReadBlind(sos({5, 1, 0, 2, 0x11, 3, 0x11, 1, 0, 2, 0, 0, 63, 0})), -21);
  EXPECT_EQ(ReadBlind(sos({3, 1, 0x00, 2, 0x11, 3, 0x11, 0, 62, 0})), -21);  // spectral limits
  EXPECT_EQ(ReadBlind(sos({3, 1, 0x00, 2, 0x11, 3, 0x11, 0, 63, 0x10})), -21);
  EXPECT_EQ(ReadBlind(sos({3, 1, 0x00, 9, 0x11, 3, 0x11, 0, 63, 0})), -21);  // no such component
  EXPECT_EQ(ReadBlind(sos({3, 1, 0x00, 1, 0x11, 3, 0x11, 0, 63, 0})), -21);  // twice
  EXPECT_EQ(ReadBlind(sos({3, 1, 0x40, 2, 0x11, 3, 0x11, 0, 63, 0})), -21);  // table 4
  EXPECT_EQ(ReadBlind(sos({3, 1, 0x00, 2, 0x11, 3, 0x11, 0, 63})), -21);     // short
  // Progressive limits.
  jd::LjWrite p;
  p.progressive = true;
  Stream ps(jd::LjEncode(jd::MakePicture(32, 24, 3, 2), p));
  auto psos = [&](std::vector<uint8_t> body) {
    Stream t = ps;
    t.Find(0xDA)->body = std::move(body);
    return t.Bytes();
  };
  const std::vector<uint8_t> first = ps.Find(0xDA)->body;
  std::vector<uint8_t> b = first;
  b[b.size() - 2] = 5;  // DC scan with Se 5
  EXPECT_EQ(ReadBlind(psos(b)), -21);
  b = first;
  b[b.size() - 1] = 0x30;  // Ah 3, Al 0
  EXPECT_EQ(ReadBlind(psos(b)), -21);
}

TEST(Faults, LaterFrameOfAnotherGeometry) {
  jd::LjWrite p;
  p.progressive = true;
  const auto a = jd::LjEncode(jd::MakePicture(40, 24, 3, 1), p);
  const auto b = jd::LjEncode(jd::MakePicture(24, 40, 3, 2), jd::LjWrite{});
  std::vector<uint8_t> twice(a.begin(), a.end() - 2);
  twice.insert(twice.end(), b.begin() + 2, b.end());
  EXPECT_EQ(ReadBlind(twice, 40, 24), -20);
  std::vector<uint8_t> same(a.begin(), a.end() - 2);
  same.insert(same.end(), a.begin() + 2, a.end());
  EXPECT_EQ(ReadBlind(same, 40, 24), 0);
}

TEST(Faults, SkippedSegmentsGoByTheirLength) {
  const jd::Pixels src = jd::MakePicture(24, 16, 3, 3);
  jd::LjWrite opt;
  const auto plain = jd::LjEncode(src, opt);
  Stream s(plain);
  s.head.insert(s.head.begin(), Segment{0xE1, {'E', 'x', 'i', 'f', 0, 0, 0xFF, 0xD9, 0xFF, 0xDA, 0xFF, 0xC0, 1}});
  s.head.insert(s.head.begin(), Segment{0xE0, {0xFF, 0xD9, 1, 2}});  // APP0 too short to interpret
  jd::ReadOptions ro;
  const jd::Decode a = jd::OurDecode(plain, ro), b = jd::OurDecode(s.Bytes(), ro);
  ASSERT_EQ(b.status, 0);
  EXPECT_TRUE(a.px == b.px);
}

TEST(Faults, RegionIndexAtTheTallestPicture) {
  // libjpeg-turbo writes at most 65500 rows; the frame header then claims
  // 65535, whose last rows decode from the end of the data.
  std::vector<uint8_t> jpeg = jd::LjEncode(jd::MakePicture(8, 65496, 1, 4), jd::LjWrite{});
  Stream s(jpeg);
  s.Find(0xC0)->body[1] = 0xFF;
  s.Find(0xC0)->body[2] = 0xFF;
  jpeg = s.Bytes();
  jd::ReadOptions ro;
  ro.dibColor = 4;
  ro.dibChannels = 1;
  const jd::Decode whole = jd::OurDecode(jpeg, ro);
  ASSERT_EQ(whole.status, 0);
  const int r[4] = {1, 65520, 7, 65535};
  std::memcpy(ro.roi, r, sizeof r);
  const jd::Decode part = jd::OurDecode(jpeg, ro);
  ASSERT_EQ(part.status, 2);
  for (int y = 0; y < 15; ++y)
    for (int x = 0; x < 6; ++x) ASSERT_EQ(part.px[y * 6 + x], whole.px[(size_t)(65520 + y) * 8 + 1 + x]);
}

TEST(Faults, LayoutsOutsideTheTableAreRefusedAndNothingIsWrittenOutside) {
  jd::UseCpuKind(0);
  const auto jpeg = Baseline(64, 48);
  for (int io : {3, 15}) {
    JpegJob job;
    JpegInit(&job);
    job.useInternal = 1;  // no validation: the internal record as it stands
    JPEG_PROPERTIES& p = job.props;
    std::vector<uint8_t> px(16 * 12 + 1, 0x5A);
    p.jpegBuffer = const_cast<uint8_t*>(jpeg.data());
    p.jpegBufferSize = (int32_t)jpeg.size();
    p.dibPixels = px.data();
    p.dibWidth = 16;
    p.dibHeight = 12;
    p.dibChannels = 1;
    p.dibColor = 2;  // three-byte layout named, one byte a pixel given
    p.jpegColor = 3;
    const JpegStatus st = JpegRead(&job, io);
    EXPECT_EQ(st, io == 3 ? -8 : 0);
    EXPECT_EQ(px.back(), 0x5A);
    JpegFree(&job);
  }
  // A picture smaller than the frame takes its top-left part.
  jd::ReadOptions ro;
  const jd::Decode whole = jd::OurDecode(jpeg, ro);
  JpegJob job;
  JpegInit(&job);
  job.jpegBuffer = const_cast<uint8_t*>(jpeg.data());
  job.jpegBufferSize = (int32_t)jpeg.size();
  std::vector<uint8_t> px(30 * 3 * 20);
  job.dibPixels = px.data();
  job.dibWidth = 30;
  job.dibHeight = 20;
  job.dibColor = 1;
  ASSERT_EQ(JpegRead(&job, 3), 0);
  for (int y = 0; y < 20; ++y) ASSERT_EQ(std::memcmp(px.data() + y * 90, whole.px.data() + y * 64 * 3, 90), 0);
  EXPECT_EQ(job.props.dec.dequant, job.props.out.kernels->dequantInt);
  JpegFree(&job);
}

TEST(Faults, TruncatedAndCorruptedStreamsFailCleanly) {
  jd::LjWrite prog;
  prog.progressive = true;
  jd::LjWrite rst;
  rst.restartMcus = 2;
  rst.vs = 1;
  const std::vector<std::vector<uint8_t>> streams = {Baseline(24, 16),
                                                     jd::LjEncode(jd::MakePicture(24, 16, 3, 1), prog),
                                                     jd::LjEncode(jd::MakePicture(24, 16, 3, 1), rst)};
  std::mt19937 rng(1);
  for (int kind : {0, 6}) {
    jd::UseCpuKind(kind);
    for (const auto& full : streams) {
      for (size_t n = 0; n < full.size(); n += 7) {
        std::vector<uint8_t> cut(full.begin(), full.begin() + n);
        cut.push_back(0);  // never an empty buffer
        ReadBlind(cut, 24, 16);
      }
      for (int i = 0; i < 150; ++i) {
        std::vector<uint8_t> bad = full;
        for (int k = 0; k < 3; ++k) bad[rng() % bad.size()] = (uint8_t)rng();
        ReadBlind(bad, 24, 16);
        jd::ReadOptions ro;
        ro.io = 15 + 2 * (i % 3);
        ro.roi[2] = i % 2 ? 7 : 0;
        ro.roi[3] = i % 2 ? 5 : 0;
        jd::OurDecode(bad, ro);
      }
    }
  }
  jd::UseCpuKind(0);
  // Headers that end while a marker is being sought.
  const std::vector<uint8_t> head = {0xFF, 0xD8, 0xFF, 0xFE, 0x00, 0x04, 'h', 'i'};
  EXPECT_EQ(Read(head, 1), -5);
}

}  // namespace

namespace {

size_t ScanDataStart(const std::vector<uint8_t>& jpeg) {
  for (size_t i = 0; i + 3 < jpeg.size(); ++i)
    if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xDA) return i + 2 + ((jpeg[i + 2] << 8) | jpeg[i + 3]);
  return jpeg.size();
}

}  // namespace

// A stream cut short ends with the same status whichever block decoder the
// processor kind binds: -21 "Data error" when the cut leaves a run of 0xFF
// bytes at the end of data the decoder needs, otherwise -5 "Memory error"
// from the marker search that runs out of data.
TEST(Faults, CutStreamsEndWithThePlainStatusOnEveryProcessorKind) {
  struct Case {
    const char* name;
    int ch, hs, vs, restartMcus;
  } cases[] = {{"4:2:0", 3, 2, 2, 0}, {"4:2:2 restarts", 3, 2, 1, 3}, {"grey", 1, 1, 1, 0}};
  int dataErrors = 0, memoryErrors = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    jd::LjWrite opt;
    opt.quality = 98;  // dense entropy data: many stuffed 0xFF bytes
    opt.hs = c.hs;
    opt.vs = c.vs;
    opt.restartMcus = c.restartMcus;
    const std::vector<uint8_t> full = jd::LjEncode(jd::MakePicture(32, 16, c.ch, 7), opt);
    ASSERT_FALSE(full.empty());
    jd::ReadOptions ro;
    ro.dibColor = c.ch == 1 ? 4 : 1;
    ro.dibChannels = c.ch;
    const size_t first = ScanDataStart(full) + 1;
    std::vector<JpegStatus> status[3];  // by cut length, for kinds 0, 3, 6
    const int kinds[3] = {0, 3, 6};
    for (int k = 0; k < 3; ++k) {
      jd::UseCpuKind(kinds[k]);
      for (size_t n = first; n < full.size(); ++n)
        status[k].push_back(jd::OurDecode(std::vector<uint8_t>(full.begin(), full.begin() + n), ro).status);
    }
    for (size_t i = 0; i < status[0].size(); ++i) {
      const JpegStatus plain = status[0][i];
      EXPECT_EQ(status[1][i], plain) << "cut at " << first + i << " of " << full.size();
      EXPECT_EQ(status[2][i], plain) << "cut at " << first + i << " of " << full.size();
      EXPECT_TRUE(plain == JPEG_ERR_DATA || plain == JPEG_ERR_MEMORY) << plain << " cut at " << first + i;
      dataErrors += plain == JPEG_ERR_DATA;
      memoryErrors += plain == JPEG_ERR_MEMORY;
    }
  }
  jd::UseCpuKind(0);
  EXPECT_GT(dataErrors, 0);  // the cuts met 0xFF runs
  EXPECT_GT(memoryErrors, 0);
}
