// Desktop picture decoding: round trips through the sample generator's
// writer, the hand-made streams the format's corner cases need, and damaged
// files that must fail cleanly.
#include <gtest/gtest.h>

#include <zlib.h>

#include <cstring>
#include <vector>

#include "converter/pictures/zev_decode.h"
#include "formats/le_bytes.h"
#include "tests/converter/test_support.h"
#include "tools/zev_writer.h"

namespace {

struct Decoded {
  std::vector<BYTE> bitmap;  // empty on failure
};

Decoded Decode(const std::vector<uint8_t>& file) {
  Decoded d;
  const DWORD fileSize = static_cast<DWORD>(file.size());
  if (ZevVariantOf(file.data(), fileSize) == 2) {
    DWORD size = fileSize;
    BYTE* b = DecodeZevDeflate(file.data(), &size);
    if (b) {
      d.bitmap.assign(b, b + size);
      LocalFree(b);
    }
  } else {
    const DWORD size = ZevLzBitmapSize(file.data(), fileSize);
    if (size == 0) return d;
    std::vector<BYTE> out(size);
    if (DecodeZevLz(out.data(), file.data(), size, fileSize) == 0) d.bitmap = out;
  }
  return d;
}

vtools::ZevPicture Pattern(int w, int h, int bits, int seed, int paletteCount = 7) {
  vtools::ZevPicture p;
  p.width = w;
  p.height = h;
  p.bitsPerPixel = bits;
  const int bpp = bits / 8;
  uint32_t s = static_cast<uint32_t>(seed) * 7919u + 17;
  for (int i = 0; i < w * h; ++i) {
    const int x = i % w, y = i / w;
    for (int c = 0; c < bpp; ++c) {
      s = s * 1103515245u + 12345u;
      // Runs, gradients and noise so every filter and match form has work.
      BYTE v = static_cast<BYTE>(((x / 7) * 40 + y * 3 + c * 50) & 0xFF);
      if ((y % 3) == 2) v = static_cast<BYTE>(s >> 24);
      if (bits == 8) v = static_cast<BYTE>((x / 3 + y) % (paletteCount + 2));  // some beyond the count
      p.pixels.push_back(v);
    }
  }
  for (int i = 0; i < paletteCount && bits == 8; ++i)
    p.palette.insert(p.palette.end(), {BYTE(i * 30), BYTE(255 - i * 20), BYTE(i * 11 + 5)});
  return p;
}

// Expected bitmap pixel (B, G, R[, A]) of the source picture; indices beyond
// the palette read black.
void Expected(const vtools::ZevPicture& p, int x, int y, BYTE* out) {
  const int bpp = p.BytesPerPixel();
  const BYTE* s = &p.pixels[(static_cast<size_t>(y) * p.width + x) * bpp];
  if (p.bitsPerPixel == 8) {
    if (s[0] < p.PaletteCount()) {
      std::memcpy(out, &p.palette[s[0] * 3], 3);
    } else {
      out[0] = out[1] = out[2] = 0;
    }
  } else {
    std::memcpy(out, s, bpp);
  }
}

}  // namespace

TEST(ZevDecode, RoundTripsOfBothVariants) {
  struct Case {
    vtools::ZevVariant variant;
    int bits, w, h;
    std::vector<int> filters;
  };
  using V = vtools::ZevVariant;
  const Case cases[] = {
      {V::Deflate, 24, 1, 5, {3, 3, 3}},  // width 1: filter 3 yields the raw pixel
      {V::Deflate, 24, 5, 7, {0, 1, 2, 3, 4}},
      {V::Deflate, 24, 33, 9, {4, 2, 1}},
      {V::Deflate, 32, 8, 8, {0, 1, 2, 3, 4}},
      {V::Deflate, 32, 801, 3, {4, 3, 2}},
      {V::Deflate, 8, 5, 6, {}},  // palette rows padded to 4
      {V::Deflate, 8, 801, 4, {}},
      {V::Lz, 24, 5, 9, {}},
      {V::Lz, 24, 801, 5, {}},
      {V::Lz, 8, 5, 11, {}},
      {V::Lz, 8, 64, 64, {}},
  };
  int seed = 1;
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << (c.variant == V::Lz ? "lz " : "deflate ") << c.bits << " " << c.w << "x" << c.h);
    const vtools::ZevPicture pic = Pattern(c.w, c.h, c.bits, seed++);
    vtools::ZevOptions options;
    options.variant = c.variant;
    if (!c.filters.empty()) options.filters = c.filters;
    const std::vector<uint8_t> file = vtools::WriteZev(pic, options);
    ASSERT_FALSE(file.empty());
    const Decoded d = Decode(file);
    ASSERT_FALSE(d.bitmap.empty());
    const BYTE* b = d.bitmap.data();
    const bool lzPalette = c.variant == V::Lz && c.bits == 8;
    EXPECT_EQ(ctest::BitmapWidth(b), c.w);
    EXPECT_EQ(ctest::BitmapHeight(b), c.h);
    EXPECT_EQ(ctest::BitmapBits(b), lzPalette ? 8 : c.bits == 32 ? 32 : 24);
    for (int y = 0; y < c.h; ++y) {
      for (int x = 0; x < c.w; ++x) {
        BYTE want[4];
        const BYTE* got = ctest::BitmapPixel(b, x, y);
        if (lzPalette) {
          ASSERT_EQ(got[0], pic.pixels[static_cast<size_t>(y) * c.w + x]) << x << "," << y;
          continue;
        }
        Expected(pic, x, y, want);
        ASSERT_EQ(0, std::memcmp(got, want, c.bits == 32 ? 4 : 3)) << x << "," << y;
      }
    }
    if (lzPalette) {
      // The palette comes out as B, G, R, 0 from the file's R, G, B.
      for (int i = 0; i < pic.PaletteCount(); ++i) {
        EXPECT_EQ(0, std::memcmp(b + 54 + 4 * i, &pic.palette[3 * i], 3));
        EXPECT_EQ(b[54 + 4 * i + 3], 0);
      }
    }
  }
}

TEST(ZevDecode, LzHeaderKeepsUnpaddedSizes) {
  const vtools::ZevPicture pic = Pattern(5, 4, 24, 3);
  const std::vector<uint8_t> file = vtools::WriteZev(pic, {vtools::ZevVariant::Lz});
  const Decoded d = Decode(file);
  ASSERT_FALSE(d.bitmap.empty());
  const BYTE* b = d.bitmap.data();
  auto u32 = [&](int at) { return GetLe32(b + at); };
  EXPECT_EQ(u32(2), 54 + 3 * 5 * 4);  // file size from the unpadded image
  EXPECT_EQ(u32(34), 3 * 5 * 4);
  EXPECT_EQ(u32(10), 54);
}

// Hand-made deflate files: a header and the raw rows.
std::vector<uint8_t> DeflateFile(int w, int h, uint32_t code, const std::vector<uint8_t>& rows,
                                 const std::vector<uint8_t>& palette = {}) {
  std::vector<uint8_t> f(20, 0);
  PutLe16(&f[8], w);
  PutLe16(&f[10], h);
  f[12] = 2;
  PutLe32(&f[16], code);
  f.insert(f.end(), palette.begin(), palette.end());
  uLongf size = compressBound(static_cast<uLong>(rows.size()));
  std::vector<uint8_t> packed(size);
  compress(packed.data(), &size, rows.data(), static_cast<uLong>(rows.size()));
  f.insert(f.end(), packed.begin(), packed.begin() + static_cast<long>(size));
  return f;
}

TEST(ZevDecode, PlanarRunsAlphaAndOddFilters) {
  // 24-bit, 6 pixels, filter 4: planes of v, v, 5 (6 equal pixels) and a run
  // whose count reaches past the plane, which is cut at its end.
  std::vector<uint8_t> rows = {4, 10, 10, 5, 20, 20, 200, 30, 30, 5};
  // Row 2: an unknown filter leaves the row zero and consumes one byte.
  rows.push_back(9);
  Decoded d = Decode(DeflateFile(6, 2, 0, rows));
  ASSERT_FALSE(d.bitmap.empty());
  for (int x = 0; x < 6; ++x) {
    const BYTE* p = ctest::BitmapPixel(d.bitmap, x, 0);
    EXPECT_EQ(p[0], 10);
    EXPECT_EQ(p[1], 20);
    EXPECT_EQ(p[2], 30);
    const BYTE* q = ctest::BitmapPixel(d.bitmap, x, 1);
    EXPECT_EQ(q[0] | q[1] | q[2], 0);
  }
  // 32-bit: first file byte is the transparency: 0 -> alpha 255, 255 -> alpha 0.
  // Filter 0 adds the pixel to the left byte by byte (t 255 + 0, 4 + 1, ...).
  d = Decode(DeflateFile(2, 1, 1, {0, 0, 1, 2, 3, 255, 4, 5, 6}));
  ASSERT_FALSE(d.bitmap.empty());
  const BYTE* a = ctest::BitmapPixel(d.bitmap, 0, 0);
  const BYTE* b = ctest::BitmapPixel(d.bitmap, 1, 0);
  EXPECT_EQ(std::vector<int>(a, a + 4), (std::vector<int>{1, 2, 3, 255}));
  EXPECT_EQ(std::vector<int>(b, b + 4), (std::vector<int>{5, 7, 9, 0}));
  // Filter 3 on the first row reads zeros above; width 1 is raw.
  d = Decode(DeflateFile(1, 1, 0, {3, 7, 8, 9}));
  ASSERT_FALSE(d.bitmap.empty());
  EXPECT_EQ(ctest::BitmapPixel(d.bitmap, 0, 0)[2], 9);
  // Palette copied as stored (B, G, R); an index beyond the count reads black.
  d = Decode(DeflateFile(2, 1, 2, {0, 5, 0, 0}, {1, 2, 3, 4, 5, 6}));
  ASSERT_FALSE(d.bitmap.empty());
  EXPECT_EQ(ctest::BitmapPixel(d.bitmap, 0, 0)[0], 1);
  EXPECT_EQ(ctest::BitmapPixel(d.bitmap, 1, 0)[2], 0);
}

TEST(ZevDecode, LzMatchFormsAndPersistentHistory) {
  // Width 20, one 24-bit row = 60 bytes: literal 7, then distance 1 length 19
  // (0xC0 form), then the other forms.
  std::vector<uint8_t> f(20, 0);
  f[8] = 20;
  f[10] = 1;
  f[12] = 1;
  const std::vector<uint8_t> stream = {
      0x01,               // flags: literal, then matches
      7,                  // literal 7
      0xFC, 1,            // length 19, distance 1
      0xA1,               // length 3, distance 1 (short form)
      0x80, 2,            // length 2, distance from the next byte (2)
      0x7F, 30, 0, 1, 0,  // length 32, distance 1
      0x00, 1,  0,        // length 4, distance 1 (16-bit distance form)
  };
  f.insert(f.end(), stream.begin(), stream.end());
  const Decoded d = Decode(f);
  ASSERT_FALSE(d.bitmap.empty());
  for (int x = 0; x < 20; ++x) {
    const BYTE* p = ctest::BitmapPixel(d.bitmap, x, 0);
    ASSERT_EQ(p[0], 7);
    ASSERT_EQ(p[2], 7);
  }
  // The flat form reads the same stream until the input ends.
  std::vector<BYTE> flat(100);
  EXPECT_EQ(DecodeZevLzFlat(stream.data(), static_cast<DWORD>(stream.size()), flat.data(), 100), 61u);
  EXPECT_EQ(DecodeZevLzFlat(stream.data(), static_cast<DWORD>(stream.size()), flat.data(), 10), 10u);
}

TEST(ZevDecode, DamagedFilesFailWithoutReadingOutside) {
  const vtools::ZevPicture pic = Pattern(40, 30, 24, 9);
  const std::vector<uint8_t> deflate = vtools::WriteZev(pic, {vtools::ZevVariant::Deflate});
  const std::vector<uint8_t> lz = vtools::WriteZev(pic, {vtools::ZevVariant::Lz});
  // Every truncation fails (exact-size copies, so ASan sees any over-read).
  for (const auto* file : {&deflate, &lz}) {
    for (size_t cut : {size_t{0}, size_t{12}, size_t{20}, size_t{21}, file->size() / 2, file->size() - 1}) {
      std::vector<uint8_t> shortFile(file->begin(), file->begin() + static_cast<long>(cut));
      EXPECT_TRUE(Decode(shortFile).bitmap.empty()) << cut;
    }
  }
  // Corrupt zlib data.
  std::vector<uint8_t> bad = deflate;
  for (size_t i = 22; i < bad.size(); i += 3) bad[i] ^= 0x5A;
  EXPECT_TRUE(Decode(bad).bitmap.empty());
  // A palette that claims more entries than the file holds.
  std::vector<uint8_t> pal = deflate;
  pal[16] = 0xFF;
  pal[17] = 0xFF;
  pal[18] = 0x01;
  EXPECT_TRUE(Decode(pal).bitmap.empty());
  // Zero sizes and a destination too small for the LZ rows.
  std::vector<uint8_t> empty = deflate;
  empty[8] = empty[9] = 0;
  EXPECT_TRUE(Decode(empty).bitmap.empty());
  std::vector<BYTE> small(100);
  EXPECT_EQ(DecodeZevLz(small.data(), lz.data(), 100, static_cast<DWORD>(lz.size())), -1);
}

TEST(ZevWriter, ShortMatchesFarBackRoundTrip) {
  // A 2- or 3-byte repeat far back must not take the one-byte distance form.
  for (const size_t distance : {32u, 255u, 256u, 300u, 40000u}) {
    for (const size_t length : {2u, 3u}) {
      SCOPED_TRACE(testing::Message() << "distance " << distance << " length " << length);
      std::vector<uint8_t> data(distance + 64);
      uint32_t s = 12345u + static_cast<uint32_t>(distance);
      for (uint8_t& b : data) {
        s = s * 1103515245u + 12345u;
        b = static_cast<uint8_t>(s >> 24);
      }
      const size_t at = distance + 20;
      for (size_t k = 0; k < length; ++k) data[at + k] = data[20 + k];
      data[at + length] = static_cast<uint8_t>(data[20 + length] + 1);
      const std::vector<uint8_t> stream = vtools::LzEncode(data, true);
      std::vector<BYTE> flat(data.size() + 16);
      ASSERT_EQ(DecodeZevLzFlat(stream.data(), static_cast<DWORD>(stream.size()), flat.data(),
                                static_cast<DWORD>(flat.size())),
                data.size());
      flat.resize(data.size());
      EXPECT_EQ(flat, data);
    }
  }
}
