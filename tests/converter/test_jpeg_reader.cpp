// The converter's baseline JPEG reader against libjpeg-turbo: JPEGs that
// libjpeg-turbo writes are read block for block, and every coefficient must
// equal what jpeg_read_coefficients gives, times its quantiser.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "converter/pictures/baseline_jpeg_reader.h"
#include "tests/converter/test_support.h"

namespace {

// Compares the reader's blocks with libjpeg-turbo's; returns "" when equal.
std::string Compare(const CBaselineJpegReader& r, const ctest::JpegCoefficients& lib) {
  if (!lib.ok) return "libjpeg-turbo failed";
  if (r.Width() != lib.width || r.Height() != lib.height) return "size";
  if (r.ScanComponents() != static_cast<int>(lib.components.size())) return "components";
  size_t block = 0;
  for (int mr = 0; mr < r.McuRows(); ++mr) {
    for (int mc = 0; mc < r.McuColumns(); ++mc) {
      for (int c = 0; c < r.ScanComponents(); ++c) {
        const ctest::JpegComponentCoefficients& cc = lib.components[c];
        if (cc.h != r.ScanH(c) || cc.v != r.ScanV(c)) return "sampling";
        for (int v = 0; v < cc.v; ++v) {
          for (int h = 0; h < cc.h; ++h, ++block) {
            if (block >= r.BlockCount()) return "too few blocks";
            const int row = mr * cc.v + v, col = mc * cc.h + h;
            const int16_t* want = &cc.blocks[(static_cast<size_t>(row) * cc.widthInBlocks + col) * 64];
            const int32_t* got = r.Block(block);
            for (int i = 0; i < 64; ++i) {
              if (got[i] != want[i] * cc.quant[i])
                return "block " + std::to_string(block) + " coefficient " + std::to_string(i) + ": " +
                       std::to_string(got[i]) + " vs " + std::to_string(want[i] * cc.quant[i]);
            }
          }
        }
      }
    }
  }
  return block == r.BlockCount() ? "" : "too many blocks";
}

// An 8 x 8 three-component JPEG with quantisers 1, a one-code DC table
// ("0" = category 0) and a two-code AC table ("0" = 0xF0, sixteen zeros;
// "10" = end of block), around the given entropy bytes.
std::vector<BYTE> TinyJpeg(const std::vector<BYTE>& entropy) {
  std::vector<BYTE> j = {0xFF, 0xD8, 0xFF, 0xDB, 0, 67, 0};
  j.insert(j.end(), 64, 1);
  const std::vector<BYTE> sof = {0xFF, 0xC0, 0, 17, 8, 0, 8, 0, 8, 3, 1, 0x11, 0, 2, 0x11, 0, 3, 0x11, 0};
  j.insert(j.end(), sof.begin(), sof.end());
  std::vector<BYTE> dht = {0xFF, 0xC4, 0, 2 + 17 + 1 + 17 + 2, 0x00, 1};
  dht.insert(dht.end(), 15, 0);
  dht.push_back(0);
  dht.insert(dht.end(), {0x10, 1, 1});
  dht.insert(dht.end(), 14, 0);
  dht.insert(dht.end(), {0xF0, 0x00});
  j.insert(j.end(), dht.begin(), dht.end());
  const std::vector<BYTE> sos = {0xFF, 0xDA, 0, 12, 3, 1, 0, 2, 0, 3, 0, 0, 63, 0};
  j.insert(j.end(), sos.begin(), sos.end());
  j.insert(j.end(), entropy.begin(), entropy.end());
  j.insert(j.end(), {0xFF, 0xD9});
  return j;
}

bool ReadWithOurs(const std::vector<BYTE>& jpeg, CBaselineJpegReader* r) {
  CMemoryByteSource source(jpeg.data(), static_cast<DWORD>(jpeg.size()));
  return r->Parse(&source);
}

}  // namespace

TEST(BaselineJpegReader, AgreesWithLibjpegTurboOnAMatrix) {
  struct Size {
    int w, h;
  };
  const Size sizes[] = {{1, 1}, {8, 8}, {17, 17}, {33, 31}, {320, 240}, {641, 481}};
  const char* kinds[] = {"flat", "gradient", "checker", "noise", "photo"};
  std::vector<ctest::LibjpegOptions> options(6);
  options[0].quality = 75;                                           // 4:2:0
  options[1].quality = 90, options[1].hSamp = options[1].vSamp = 1;  // 4:4:4
  options[2].quality = 50, options[2].vSamp = 1;                     // 4:2:2
  options[3].quality = 100, options[3].restartInterval = 3;          // restart markers
  options[4].quality = 1, options[4].optimize = true;                // large quantisers, own tables
  options[5].quality = 80, options[5].restartRows = 1, options[5].comment = "a comment";
  int n = 0;
  for (const Size& s : sizes) {
    for (const char* kind : kinds) {
      const ctest::LibjpegOptions& o = options[n++ % options.size()];
      SCOPED_TRACE(testing::Message() << s.w << "x" << s.h << " " << kind << " q" << o.quality << " " << o.hSamp << "x"
                                      << o.vSamp << " rst " << o.restartInterval << "/" << o.restartRows);
      const std::vector<BYTE> jpeg = ctest::LibjpegCompress(ctest::MakeRgb(s.w, s.h, kind, n), s.w, s.h, o);
      CBaselineJpegReader reader;
      ASSERT_TRUE(ReadWithOurs(jpeg, &reader));
      EXPECT_EQ(Compare(reader, ctest::ReadCoefficients(jpeg)), "");
    }
  }
}

TEST(BaselineJpegReader, SkipsThumbnailsAndKeepsStuffedBytes) {
  // A JFIF APP0 with a 2 x 1 thumbnail and a JFXX extension are skipped by length.
  ctest::LibjpegOptions o;
  o.app0Thumbnail = {'J', 'F', 'I', 'F', 0, 1, 2, 0, 0, 1, 0, 1, 2, 1, 255, 0, 0, 0, 255, 0};
  o.restartInterval = 1;
  const std::vector<BYTE> rgb = ctest::MakeRgb(48, 32, "checker");
  std::vector<BYTE> jpeg = ctest::LibjpegCompress(rgb, 48, 32, o);
  // The checker forces 0xFF data bytes, written as FF 00.
  bool stuffed = false;
  for (size_t i = 0; i + 1 < jpeg.size(); ++i) stuffed |= jpeg[i] == 0xFF && jpeg[i + 1] == 0;
  EXPECT_TRUE(stuffed);
  CBaselineJpegReader reader;
  ASSERT_TRUE(ReadWithOurs(jpeg, &reader));
  EXPECT_EQ(Compare(reader, ctest::ReadCoefficients(jpeg)), "");
  EXPECT_EQ(reader.McuColumns(), 3);
  EXPECT_EQ(reader.BlocksPerMcu(), 6);
  // Quantisation tables come out in zigzag order, as stored.
  const ctest::JpegCoefficients lib = ctest::ReadCoefficients(jpeg);
  EXPECT_EQ(reader.QuantTable(0)[1], lib.components[0].quant[1]);  // zigzag 1 = natural 1
  EXPECT_EQ(reader.QuantTable(0)[2], lib.components[0].quant[8]);  // zigzag 2 = natural 8
}

TEST(BaselineJpegReader, RunsPastTheBlockEndAreRefused) {
  CBaselineJpegReader reader;
  CMemoryByteSource* none = nullptr;
  EXPECT_FALSE(reader.Parse(none));
  // Three blocks of DC 0, 48 zeros, end of block: bits 000010 x 3, padded with 1s.
  std::vector<BYTE> jpeg = TinyJpeg({0x08, 0x20, 0xBF});
  ASSERT_TRUE(ReadWithOurs(jpeg, &reader));
  ASSERT_EQ(reader.BlockCount(), 3u);
  for (int i = 0; i < 64; ++i) EXPECT_EQ(reader.Block(2)[i], 0);
  EXPECT_EQ(Compare(reader, ctest::ReadCoefficients(jpeg)), "");
  // Four runs of sixteen zeros pass position 63.
  EXPECT_FALSE(ReadWithOurs(TinyJpeg({0x00, 0x00, 0x00}), &reader));
}

TEST(BaselineJpegReader, RefusesWhatItDoesNotRead) {
  const std::vector<BYTE> rgb = ctest::MakeRgb(40, 40, "photo");
  ctest::LibjpegOptions progressive;
  progressive.progressive = true;
  ctest::LibjpegOptions grey;
  grey.grey = true;
  CBaselineJpegReader reader;
  EXPECT_FALSE(ReadWithOurs(ctest::LibjpegCompress(rgb, 40, 40, progressive), &reader));
  EXPECT_FALSE(ReadWithOurs(ctest::LibjpegCompress(rgb, 40, 40, grey), &reader));

  const std::vector<BYTE> good = ctest::LibjpegCompress(rgb, 40, 40, {});
  // Truncated anywhere: never a success built from missing data.
  for (size_t cut : {size_t{2}, size_t{100}, good.size() / 2, good.size() - 40}) {
    std::vector<BYTE> part(good.begin(), good.begin() + static_cast<long>(cut));
    EXPECT_FALSE(ReadWithOurs(part, &reader)) << cut;
  }
  auto findMarker = [&](BYTE code) {
    for (size_t i = 0; i + 1 < good.size(); ++i) {
      if (good[i] == 0xFF && good[i + 1] == code) return i;
    }
    return size_t{0};
  };
  // A Huffman table number above 3, and a table whose counts exceed 256 symbols.
  std::vector<BYTE> bad = good;
  const size_t dht = findMarker(0xC4);
  ASSERT_NE(dht, 0u);
  bad[dht + 4] = 0x05;
  EXPECT_FALSE(ReadWithOurs(bad, &reader));
  bad = good;
  bad[dht + 5 + 15] = 0xFF;
  bad[dht + 5 + 14] = 0xFF;
  EXPECT_FALSE(ReadWithOurs(bad, &reader));
  // A quantisation table number above 3.
  bad = good;
  const size_t dqt = findMarker(0xDB);
  bad[dqt + 4] = 0x04;
  EXPECT_FALSE(ReadWithOurs(bad, &reader));
  // A frame type the reader does not read (lossless) is refused, not skipped.
  bad = good;
  bad[findMarker(0xC0) + 1] = 0xC3;
  EXPECT_FALSE(ReadWithOurs(bad, &reader));
}
