// A stream whose frames change geometry never writes past the buffers sized
// for the frame the caller was told about; narrow pictures keep their bytes.
#include <gtest/gtest.h>

#include <vector>

#include "tests/jpegdec/dec_util.h"

namespace {

std::vector<uint8_t> Joined(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
  std::vector<uint8_t> out(a.begin(), a.end() - 2);  // without EOI
  out.insert(out.end(), b.begin() + 2, b.end());     // without SOI
  return out;
}

struct Job {
  JpegJob job;
  Job() { JpegInit(&job); }
  ~Job() { JpegFree(&job); }
  void Memory(const std::vector<uint8_t>& jpeg) {
    job.jpegBuffer = const_cast<uint8_t*>(jpeg.data());
    job.jpegBufferSize = (int32_t)jpeg.size();
  }
};

// Coefficient planes sized from a parameters read, as a caller sizes them.
struct Planes {
  JpegCoefPlanes planes{};
  std::vector<std::vector<int16_t>> store;
  explicit Planes(const JpegJob& job) {
    const JpegDecoderState& d = job.props.dec;
    store.resize(d.ncomp);
    for (int c = 0; c < d.ncomp; ++c) {
      store[c].assign((size_t)job.props.mcusPerRow * d.frame[c].h * 8 * job.props.mcuRows * d.frame[c].v * 8, 0);
      planes.plane[c] = store[c].data();
    }
  }
};

TEST(Frames, LaterBaselineFrameOfAnotherGeometryIsRefused) {
  jd::UseCpuKind(0);
  const auto small = jd::LjEncode(jd::MakePicture(16, 16, 3, 1), jd::LjWrite{});
  const auto large = jd::LjEncode(jd::MakePicture(200, 160, 3, 2), jd::LjWrite{});
  const auto twice = Joined(small, large);
  for (int io : {3, 7}) {
    SCOPED_TRACE(io);
    Job j;
    j.Memory(twice);
    ASSERT_EQ(JpegRead(&j.job, 1), 0);
    ASSERT_EQ(j.job.jpegWidth, 16);
    Planes pl(j.job);
    j.job.props.coefPlanes = &pl.planes;
    EXPECT_EQ(JpegRead(&j.job, io), -20);
  }
  // The same frame twice stays a valid stream.
  Job j;
  const auto same = Joined(small, small);
  j.Memory(same);
  ASSERT_EQ(JpegRead(&j.job, 1), 0);
  Planes pl(j.job);
  j.job.props.coefPlanes = &pl.planes;
  EXPECT_EQ(JpegRead(&j.job, 3), 0);
}

TEST(Frames, OneTableStreamServesImagesOfSeveralSizes) {
  jd::UseCpuKind(0);
  std::vector<uint8_t> tables, a, b, unused;
  jd::LjEncodeAbbreviated(jd::MakePicture(24, 16, 3, 3), &tables, &a);
  jd::LjEncodeAbbreviated(jd::MakePicture(40, 32, 3, 4), &unused, &b);
  Job j;
  j.Memory(tables);
  ASSERT_EQ(JpegRead(&j.job, 5), 0);
  for (const auto* image : {&a, &b}) {
    const int w = image == &a ? 24 : 40, h = image == &a ? 16 : 32;
    std::vector<uint8_t> px((size_t)w * h * 3);
    j.Memory(*image);
    j.job.dibPixels = px.data();
    j.job.dibWidth = w;
    j.job.dibHeight = h;
    j.job.dibColor = 1;
    j.job.jpegColor = 3;
    EXPECT_EQ(JpegRead(&j.job, 7), 0) << w;
    EXPECT_EQ(j.job.jpegWidth, w);
  }
}

TEST(Frames, ChannelReversedStoreStaysInsideANarrowPixel) {
  jd::UseCpuKind(0);
  const auto jpeg = jd::LjEncode(jd::MakePicture(32, 24, 3, 5), jd::LjWrite{});
  for (int ch : {1, 2}) {
    SCOPED_TRACE(ch);
    Job j;
    j.job.useInternal = 1;  // no validation: the internal record as it stands
    JPEG_PROPERTIES& p = j.job.props;
    std::vector<uint8_t> px(16 * 12 * ch + 1, 0x5A);
    p.jpegBuffer = const_cast<uint8_t*>(jpeg.data());
    p.jpegBufferSize = (int32_t)jpeg.size();
    p.dibPixels = px.data();
    p.dibWidth = 16;
    p.dibHeight = 12;
    p.dibChannels = ch;
    p.dibColor = 2;   // B,G,R named ...
    p.jpegColor = 1;  // ... from R,G,B components: stored channel-reversed
    EXPECT_EQ(JpegRead(&j.job, 15), 0);
    EXPECT_EQ(px.back(), 0x5A);
  }
}

// The stream without the header segments (before the first SOS) of one marker.
std::vector<uint8_t> Without(const std::vector<uint8_t>& jpeg, uint8_t marker) {
  std::vector<uint8_t> out = {0xFF, 0xD8};
  size_t i = 2;
  while (i + 4 <= jpeg.size() && jpeg[i + 1] != 0xDA) {
    const size_t len = (jpeg[i + 2] << 8) | jpeg[i + 3];
    if (jpeg[i + 1] != marker) out.insert(out.end(), jpeg.begin() + i, jpeg.begin() + i + 2 + len);
    i += 2 + len;
  }
  out.insert(out.end(), jpeg.begin() + i, jpeg.end());
  return out;
}

TEST(Frames, StreamStructureCodes) {
  jd::UseCpuKind(0);
  const auto jpeg = jd::LjEncode(jd::MakePicture(24, 16, 3, 6), jd::LjWrite{});
  std::vector<uint8_t> tablesThenImage = {0xFF, 0xD8, 0xFF, 0xD9};
  tablesThenImage.insert(tablesThenImage.end(), jpeg.begin(), jpeg.end());
  const std::vector<uint8_t> emptyThenComment = {0xFF, 0xD8, 0xFF, 0xD9, 0xFF, 0xFE, 0x00, 0x03, 'x'};
  const struct {
    const char* name;
    std::vector<uint8_t> stream;
    JpegStatus want;
  } cases[] = {
      {"whole", jpeg, 0},
      {"no DQT", Without(jpeg, 0xDB), -18},
      {"no DHT", Without(jpeg, 0xC4), -17},
      {"no frame", Without(jpeg, 0xC0), -19},
      {"tables-only stream, then the image", tablesThenImage, 0},
      {"no image after EOI", emptyThenComment, -22},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Job j;
    j.Memory(c.stream);
    std::vector<uint8_t> px(24 * 16 * 3);
    j.job.dibPixels = px.data();
    j.job.dibWidth = 24;
    j.job.dibHeight = 16;
    j.job.dibColor = 1;
    EXPECT_EQ(JpegRead(&j.job, 3), c.want);
  }
}

}  // namespace
