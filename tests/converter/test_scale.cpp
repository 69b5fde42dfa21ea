// Scaling and repacking: the worked examples, exactly.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "converter/pictures/bitmap_scale.h"
#include "converter/pictures/rbp_writer.h"
#include "tests/converter/test_support.h"

namespace {

using ctest::MakeBitmap;

struct Result {
  std::vector<BYTE> bmp;
  const BYTE* Px(int x, int y) const { return ctest::BitmapPixel(bmp, x, y); }
  int W() const { return ctest::BitmapWidth(bmp.data()); }
  int H() const { return ctest::BitmapHeight(bmp.data()); }
};

template <typename Fn>
Result Apply(std::vector<BYTE> in, Fn fn) {
  DWORD size = static_cast<DWORD>(in.size());
  BYTE* out = fn(in.data(), &size);
  Result r;
  if (out) {
    r.bmp.assign(out, out + size);
    LocalFree(out);
  }
  return r;
}

void Magenta(BYTE* p) {
  p[0] = 255;
  p[1] = 0;
  p[2] = 255;
}

}  // namespace

TEST(Scale, FiveByFiveWithMagentaColumns) {
  // Two left columns magenta, the rest white, to 40 %: 2 x 2.
  auto fill = [](int x, int, BYTE* p) {
    if (x < 2) {
      Magenta(p);
    } else {
      p[0] = p[1] = p[2] = 255;
    }
  };
  const Result alpha =
      Apply(MakeBitmap(5, 5, 24, fill, true), [](BYTE* b, DWORD* s) { return ScaleKeyedToAlpha(b, s, 40); });
  ASSERT_EQ(alpha.W(), 2);
  ASSERT_EQ(alpha.H(), 2);
  EXPECT_EQ(ctest::BitmapBits(alpha.bmp.data()), 32);
  for (int y = 0; y < 2; ++y) {
    EXPECT_EQ(std::vector<int>(alpha.Px(0, y), alpha.Px(0, y) + 4), (std::vector<int>{50, 50, 50, 50}));
    EXPECT_EQ(std::vector<int>(alpha.Px(1, y), alpha.Px(1, y) + 4), (std::vector<int>{254, 254, 254, 254}));
  }
  EXPECT_EQ(SourceSize.width, 5);
  EXPECT_EQ(SourceSize.height, 5);
  const Result keyed =
      Apply(MakeBitmap(5, 5, 24, fill, true), [](BYTE* b, DWORD* s) { return ScaleKeyed24(b, s, 40); });
  ASSERT_EQ(keyed.W(), 2);
  for (int y = 0; y < 2; ++y) {
    for (int x = 0; x < 2; ++x)
      EXPECT_EQ(std::vector<int>(keyed.Px(x, y), keyed.Px(x, y) + 3), (std::vector<int>{254, 254, 254}));
  }
}

TEST(Scale, AllMagentaAndTheAlphaRule) {
  auto all = [](int, int, BYTE* p) { Magenta(p); };
  const Result keyed =
      Apply(MakeBitmap(10, 10, 24, all, true), [](BYTE* b, DWORD* s) { return ScaleKeyed24(b, s, 40); });
  const Result alpha =
      Apply(MakeBitmap(10, 10, 24, all, true), [](BYTE* b, DWORD* s) { return ScaleKeyedToAlpha(b, s, 40); });
  ASSERT_EQ(keyed.W(), 4);
  ASSERT_EQ(alpha.W(), 4);
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 4; ++x) {
      EXPECT_EQ(std::vector<int>(keyed.Px(x, y), keyed.Px(x, y) + 3), (std::vector<int>{255, 0, 255}));
      EXPECT_EQ(std::vector<int>(alpha.Px(x, y), alpha.Px(x, y) + 4), (std::vector<int>{0, 0, 0, 0}));
    }
  }
  // ScaleAlpha32 at 100 %: translucent magenta turns black in the input itself,
  // opaque magenta stays.
  std::vector<BYTE> in = MakeBitmap(
      2, 1, 32,
      [](int x, int, BYTE* p) {
        Magenta(p);
        p[3] = x == 0 ? 128 : 255;
      },
      true);
  DWORD size = static_cast<DWORD>(in.size());
  BYTE* out = ScaleAlpha32(in.data(), &size, 100);
  ASSERT_NE(out, nullptr);
  const BYTE* a = ctest::BitmapPixel(out, 0, 0);
  const BYTE* b = ctest::BitmapPixel(out, 1, 0);
  EXPECT_EQ(std::vector<int>(a, a + 4), (std::vector<int>{0, 0, 0, 128}));
  EXPECT_EQ(std::vector<int>(b, b + 4), (std::vector<int>{255, 0, 255, 255}));
  EXPECT_EQ(ctest::BitmapPixel(in, 0, 0, true)[0], 0);
  LocalFree(out);
}

TEST(Scale, TapWeightsOfTheScreenSizes) {
  // 800 x 600 at 40 %: even columns weigh 1024, 1024, 512, odd 512, 1024, 1024.
  // A row whose column x holds x % 5 * 50 shows the weights in the results.
  auto fill = [](int x, int, BYTE* p) { p[0] = p[1] = p[2] = static_cast<BYTE>(x % 5 * 50); };
  const Result r =
      Apply(MakeBitmap(800, 600, 24, fill, true), [](BYTE* b, DWORD* s) { return ScaleKeyed24(b, s, 40); });
  ASSERT_EQ(r.W(), 320);
  ASSERT_EQ(r.H(), 240);
  // Even sample 0: 0*1024/1024 + 50 + 100*512/1024 = 100 -> 100*1024/2560 = 40.
  // Odd sample 1: 100*512/1024 + 150 + 200 = 400 -> 160.
  EXPECT_EQ(r.Px(0, 0)[0], 40);
  EXPECT_EQ(r.Px(1, 0)[0], 160);
  // Every row scales alike; every even/odd pair repeats.
  for (int x = 0; x < 320; ++x) ASSERT_EQ(r.Px(x, 100)[1], x % 2 ? 160 : 40) << x;
  // 80 %: two taps of 1024 and 256 or 768 and 512 ...
  const Result big =
      Apply(MakeBitmap(800, 600, 24, fill, true), [](BYTE* b, DWORD* s) { return ScaleKeyed24(b, s, 80); });
  EXPECT_EQ(big.W(), 640);
  EXPECT_EQ(big.H(), 480);
  // 801 at 40 %: 320 columns, step 2563; sample 319 starts at 817597 / 1024 = 798.
  const Result odd = Apply(MakeBitmap(
                               801, 10, 24, [](int x, int, BYTE* p) { p[0] = p[1] = p[2] = x >= 798 ? 200 : 0; }, true),
                           [](BYTE* b, DWORD* s) { return ScaleKeyed24(b, s, 40); });
  ASSERT_EQ(odd.W(), 320);
  // Sample 319: taps 798..800 weigh 579, 1024, 960: 113 + 200 + 187 = 500 ->
  // 199; the rows (10 -> 4, weights 1024, 1024, 512) give 497 -> 198.
  EXPECT_EQ(odd.Px(319, 0)[0], 198);
  // Sample 318 reaches 797 and loses the last 445/1024 of its span (column 798).
  EXPECT_EQ(odd.Px(318, 0)[0], 0);
}

TEST(Scale, TinyPicturesGiveAtLeastOnePixel) {
  for (int bits : {24, 32}) {
    auto fill = [bits](int, int, BYTE* p) {
      p[0] = 10, p[1] = 20, p[2] = 30;
      if (bits == 32) p[3] = 255;
    };
    const Result r = Apply(MakeBitmap(1, 2, bits, fill, true), [bits](BYTE* b, DWORD* s) {
      return bits == 24 ? ScaleKeyed24(b, s, 40) : ScaleAlpha32(b, s, 40);
    });
    ASSERT_FALSE(r.bmp.empty());
    EXPECT_EQ(r.W(), 1);
    EXPECT_EQ(r.H(), 1);
    EXPECT_EQ(r.Px(0, 0)[2], 30);
  }
  // Inputs a scaler does not take, or shorter than their header says.
  std::vector<BYTE> b = MakeBitmap(
      4, 4, 24, [](int, int, BYTE* p) { p[0] = 1; }, true);
  DWORD size = static_cast<DWORD>(b.size());
  EXPECT_EQ(ScaleAlpha32(b.data(), &size, 40), nullptr);
  EXPECT_EQ(ScaleKeyed24(b.data(), &size, 0), nullptr);
  size = static_cast<DWORD>(b.size() - 1);
  EXPECT_EQ(ScaleKeyed24(b.data(), &size, 40), nullptr);
}

TEST(Scale, RepackExpandAndTrim) {
  // 24-bit, 5 wide: 16-byte rows become 15-byte rows.
  std::vector<BYTE> in =
      MakeBitmap(5, 3, 24, [](int x, int y, BYTE* p) { p[0] = p[1] = p[2] = static_cast<BYTE>(x + 10 * y); });
  DWORD size = static_cast<DWORD>(in.size());
  ASSERT_EQ(size, 54u + 16 * 3);
  BYTE* packed = RepackBitmap(in.data(), &size);
  ASSERT_NE(packed, nullptr);
  EXPECT_EQ(size, 54u + 15 * 3);
  EXPECT_EQ(ctest::BitmapPixel(packed, 4, 2, true)[0], 24);
  LocalFree(packed);
  // 8-bit with 3 colours: indices become their entries (padded rows in).
  const std::vector<BYTE> palette = {1, 2, 3, 4, 5, 6, 7, 8, 9};
  in = MakeBitmap(
      3, 2, 8, [](int x, int, BYTE* p) { p[0] = static_cast<BYTE>(x); }, false, palette);
  size = static_cast<DWORD>(in.size());
  packed = RepackBitmap(in.data(), &size);
  ASSERT_NE(packed, nullptr);
  EXPECT_EQ(ctest::BitmapBits(packed), 24);
  EXPECT_EQ(std::vector<int>(ctest::BitmapPixel(packed, 2, 1, true), ctest::BitmapPixel(packed, 2, 1, true) + 3),
            (std::vector<int>{7, 8, 9}));
  LocalFree(packed);
  size = static_cast<DWORD>(in.size());
  EXPECT_EQ(ExpandPalette8(MakeBitmap(2, 2, 24, [](int, int, BYTE*) {}).data(), &size), nullptr);

  // Trim: 100 wide with a margin of 5 on every row keeps 96 (2 cut each side).
  auto withMargin = [](int margin) {
    return MakeBitmap(
        100, 4, 32,
        [margin](int x, int, BYTE* p) {
          p[0] = static_cast<BYTE>(x);
          p[3] = x < margin || x >= 100 - margin ? 0 : 255;
        },
        true);
  };
  in = withMargin(5);
  size = static_cast<DWORD>(in.size());
  BYTE* trimmed = TrimTransparentColumns(in.data(), &size, 40);
  ASSERT_NE(trimmed, nullptr);
  EXPECT_EQ(ctest::BitmapWidth(trimmed), 96);
  EXPECT_EQ(ctest::BitmapPixel(trimmed, 0, 0, true)[0], 2);
  EXPECT_EQ(SourceSize.width, 240);
  EXPECT_EQ(SourceSize.height, 10);
  LocalFree(trimmed);
  in = withMargin(0);
  size = static_cast<DWORD>(in.size());
  trimmed = TrimTransparentColumns(in.data(), &size, 40);
  ASSERT_NE(trimmed, nullptr);
  EXPECT_EQ(ctest::BitmapWidth(trimmed), 100);
  LocalFree(trimmed);
  // Transparent throughout: still a picture, never zero columns.
  in = MakeBitmap(
      32, 2, 32, [](int, int, BYTE* p) { p[3] = 0; }, true);
  size = static_cast<DWORD>(in.size());
  trimmed = TrimTransparentColumns(in.data(), &size, 40);
  ASSERT_NE(trimmed, nullptr);
  EXPECT_EQ(ctest::BitmapWidth(trimmed), 16);
  LocalFree(trimmed);
}

TEST(Scale, DividerEqualsTheDivisionOverEveryTotalAndSum) {
  // Every total up to 2^14 (all the converter's steps at 40 and 80 % are at
  // most 4 x 1024) with every sum it can meet, 0 .. 255 x total / 1024.
  for (uint32_t total = 1; total <= (1u << 14); ++total) {
    const WeightDivider divide(total);
    const uint32_t top = 255 * total / 1024;
    for (uint32_t sum = 0; sum <= top; ++sum) {
      if (divide(sum) != sum * 1024 / total) FAIL() << sum << " / " << total;
    }
  }
  // Above, up to the divider's bound: both ends of every run of sums that
  // share a quotient. The divider grows with the sum, so a run whose ends
  // are right is right throughout.
  for (uint32_t total = (1u << 14) + 1; total < WeightDivider::kMaxWeightTotal; ++total) {
    const WeightDivider divide(total);
    const uint64_t top = uint64_t{255} * total / 1024;
    for (uint64_t q = 0; q <= 255; ++q) {
      const uint64_t first = (q * total + 1023) / 1024;
      const uint64_t last = std::min(((q + 1) * total - 1) / 1024, top);
      if (first > last) continue;
      if (divide(uint32_t(first)) != q || divide(uint32_t(last)) != q) FAIL() << q << " of " << total;
    }
  }
}

TEST(Scale, OnePercentTakesTheWidestStep) {
  // 199 source pixels to one: the largest step any percent makes (199 x
  // 1024), every weight counted.
  const std::vector<BYTE> in = MakeBitmap(
      199, 2, 24, [](int x, int, BYTE* p) { p[0] = p[1] = p[2] = x == 0 ? 0 : 255; }, true);
  DWORD size = static_cast<DWORD>(in.size());
  BYTE* out = ScaleKeyed24(in.data(), &size, 1);
  ASSERT_NE(out, nullptr);
  EXPECT_EQ(ctest::BitmapWidth(out), 1);
  // 198 x 255 x 1024 / (199 x 1024) = 253.7
  EXPECT_EQ(ctest::BitmapPixel(out, 0, 0)[0], 253);
  LocalFree(out);
}
