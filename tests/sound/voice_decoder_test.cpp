// The transform-coded voice decoder against the worked examples, a model
// of its integer transform written here from the description (recursive,
// with direct bit reversal), and a floating-point Fourier transform.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstring>
#include <random>
#include <vector>

#include "converter/sound/voice_decoder.h"
#include "formats/le_bytes.h"

namespace {

using Bytes = std::vector<uint8_t>;

int32_t W(uint32_t v) { return int32_t(v); }  // wrap to 32 bits

struct Twiddles {
  int32_t c[4097], s[4097];
  Twiddles() {
    for (int k = 0; k <= 4096; ++k) {
      c[k] = int32_t(std::trunc(4096 * std::cos(2 * M_PI * k / 4096)));
      s[k] = int32_t(std::trunc(4096 * std::sin(2 * M_PI * k / 4096)));
    }
  }
};
const Twiddles& Tw() {
  static Twiddles t;
  return t;
}

int32_t M12(int32_t a, int32_t b) { return W(uint32_t(uint64_t((int64_t(a) * b) >> 12))); }

struct Cx {
  int32_t r, i;
};

// Decimation in frequency, one level per call, then both halves.
void ModelDif(Cx* x, int n) {
  const int h = n / 2, q = n / 4, step = 4096 / n;
  if (n == 2) {
    Cx a = x[0], b = x[1];
    x[0] = {W(uint32_t(a.r) + uint32_t(b.r)), W(uint32_t(a.i) + uint32_t(b.i))};
    x[1] = {W(uint32_t(a.r) - uint32_t(b.r)), W(uint32_t(a.i) - uint32_t(b.i))};
    return;
  }
  for (int j = 0; j < q; ++j) {
    const int32_t C = Tw().c[step * j], S = Tw().s[step * j];
    for (int part = 0; part < 2; ++part) {
      Cx& a = x[j + part * q];
      Cx& b = x[j + part * q + h];
      const int32_t dr = W(uint32_t(a.r) - uint32_t(b.r)), di = W(uint32_t(a.i) - uint32_t(b.i));
      a = {W(uint32_t(a.r) + uint32_t(b.r)), W(uint32_t(a.i) + uint32_t(b.i))};
      if (part == 0) {
        b = j == 0 ? Cx{dr, di}
                   : Cx{W(uint32_t(M12(C, dr)) + uint32_t(M12(S, di))), W(uint32_t(M12(C, di)) - uint32_t(M12(S, dr)))};
      } else {
        b = j == 0 ? Cx{di, W(0u - uint32_t(dr))}
                   : Cx{W(uint32_t(M12(C, di)) - uint32_t(M12(S, dr))),
                        W(0u - (uint32_t(M12(C, dr)) + uint32_t(M12(S, di))))};
      }
    }
  }
  ModelDif(x, h);
  ModelDif(x + h, h);
}

int Reverse12(int i) {
  int r = 0;
  for (int b = 0; b < 12; ++b) r |= ((i >> b) & 1) << (11 - b);
  return r;
}

int32_t Value(unsigned code) {
  int32_t v = (code % 2) ? int32_t(code / 2) + 1 : -int32_t(code / 2);
  return int16_t(uint16_t(v));  // the table holds 16-bit entries
}

const int32_t kGain[8] = {2048, 2048, 2048, 4096, 4096, 4096, 8192, 16384};

// One block: codes unpacked from the byte layout, transformed, real part scaled.
std::vector<int32_t> ModelBlock(const uint8_t* in) {
  std::vector<Cx> x(4096, Cx{0, 0});
  for (int m = 0; m < 2048; ++m) {
    const int j = m;  // bin m uses codes 2j and 2j + 1
    const unsigned hiR = in[2 * j], hiI = in[2 * j + 1], mid = in[4096 + j], lo = in[6144 + j];
    const unsigned codeR = hiR << 8 | (mid >> 4) << 4 | (lo >> 4);
    const unsigned codeI = hiI << 8 | (mid & 15) << 4 | (lo & 15);
    x[m] = {W(uint32_t(Value(codeR)) * uint32_t(kGain[m / 256])), W(uint32_t(Value(codeI)) * uint32_t(kGain[m / 256]))};
  }
  ModelDif(x.data(), 4096);
  std::vector<int32_t> out(4096);
  for (int i = 0; i < 4096; ++i) out[i] = W(uint32_t(x[Reverse12(i)].r) * 16u) / 16384;
  return out;
}

std::vector<int16_t> ModelExpand(const Bytes& in, size_t samples) {
  std::vector<int16_t> out(samples);
  Bytes block(8192);
  for (size_t b = 0; 4064 * b < samples; ++b) {
    for (size_t k = 0; k < 8192; ++k) block[k] = 8192 * b + k < in.size() ? in[8192 * b + k] : 0;
    std::vector<int32_t> v = ModelBlock(block.data());
    for (size_t i = 0; i < 4096 && 4064 * b + i < samples; ++i) {
      int32_t s = v[i];
      if (b > 0 && i < 32) s = (out[4064 * b + i] * int32_t(32 - i) + s * int32_t(i)) / 32;
      out[4064 * b + i] = int16_t(std::max(-32768, std::min(32767, s)));
    }
  }
  return out;
}

std::vector<int16_t> Expand(const Bytes& in, uint32_t outBytes) {
  Bytes raw(outBytes);  // exactly the output length, so ASan sees any overrun
  EXPECT_EQ(0, ExpandPcmVoice(raw.data(), in.data(), outBytes, uint32_t(in.size()), 7));
  std::vector<int16_t> s(outBytes / 2);
  for (size_t i = 0; i < s.size(); ++i) s[i] = int16_t(GetLe16(&raw[2 * i]));
  return s;
}

// Puts code c at position k of the block (high byte and the two nibbles).
void SetCode(uint8_t* block, int k, unsigned c) {
  const int j = k / 2;
  block[k] = uint8_t(c >> 8);
  if (k % 2 == 0) {
    block[4096 + j] = uint8_t((block[4096 + j] & 0x0F) | (c & 0xF0));
    block[6144 + j] = uint8_t((block[6144 + j] & 0x0F) | (c & 0x0F) << 4);
  } else {
    block[4096 + j] = uint8_t((block[4096 + j] & 0xF0) | ((c >> 4) & 0x0F));
    block[6144 + j] = uint8_t((block[6144 + j] & 0xF0) | (c & 0x0F));
  }
}

class VoiceDecoder : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(LoadVoiceDecodeTable()); }
};

TEST_F(VoiceDecoder, ResourceTableFollowsItsFormulas) {
  const uint8_t* t = GetVoiceDecodeTable();
  auto at = [&](int i) { return int32_t(GetLe32(t + 4 * i)); };
  const int32_t sets[5][8] = {{2048, 2048, 2048, 4096, 4096, 4096, 8192, 16384},
                              {2048, 2048, 4096, 4096, 8192, 8192, 16384, 16384},
                              {2048, 2048, 2048, 4096, 4096, 4096, 8192, 16384},
                              {2048, 2048, 2048, 2048, 2048, 4096, 4096, 8192},
                              {1024, 1024, 1024, 2048, 2048, 2048, 2048, 2048}};
  for (int s = 0; s < 5; ++s)
    for (int i = 0; i < 8; ++i) {
      EXPECT_EQ(sets[s][i], at(16 * s + i));
      EXPECT_EQ(1, at(16 * s + 8 + i));
    }
  EXPECT_EQ(0, at(80));
  for (int k = 0; k <= 4096; ++k) {
    ASSERT_EQ(Tw().c[k], at(81 + 2 * k)) << k;
    ASSERT_EQ(Tw().s[k], at(82 + 2 * k)) << k;
  }
  // The worked values.
  EXPECT_EQ(4096, at(81));
  EXPECT_EQ(0, at(82));
  EXPECT_EQ(4095, at(83));
  EXPECT_EQ(6, at(84));
  EXPECT_EQ(4095, at(87));
  EXPECT_EQ(18, at(88));
}

TEST_F(VoiceDecoder, WorkedExamples) {
  // 4,064 samples: one block, so no fade into a following one.
  Bytes zero(8192, 0);
  for (int16_t s : Expand(zero, 8128)) ASSERT_EQ(0, s);

  Bytes dc(8192, 0);
  SetCode(dc.data(), 0, 1);  // bin 0 real part 1 x 2048 -> 2048 * 16 / 16384 = 2
  for (int16_t s : Expand(dc, 8128)) ASSERT_EQ(2, s);

  // Beyond 16 bits the samples clamp: code 65533 is +32767, 65532 is -32766.
  for (auto [code, want] : {std::pair{65533u, 32767}, std::pair{65532u, -32768}}) {
    Bytes big(8192, 0);
    SetCode(big.data(), 0, code);
    for (int16_t s : Expand(big, 8128)) ASSERT_EQ(want, s);
  }
}

TEST_F(VoiceDecoder, BlocksOverlapAndFade) {
  // Block 0 a constant 2, block 1 a constant -2 x 3 = -6 (code 6 is -3).
  Bytes in(2 * 8192, 0);
  SetCode(in.data(), 0, 1);
  SetCode(in.data() + 8192, 0, 6);
  std::vector<int16_t> s = Expand(in, 2 * (4064 + 100));
  for (int i = 0; i < 4064; ++i) ASSERT_EQ(2, s[i]);
  for (int i = 0; i < 32; ++i) EXPECT_EQ((2 * (32 - i) + -6 * i) / 32, s[4064 + i]) << i;
  for (int i = 32; i < 100; ++i) ASSERT_EQ(-6, s[4064 + i]);

  // 8,128 bytes need one block: a second block in the input changes nothing.
  std::vector<int16_t> one = Expand(in, 8128);
  for (int16_t v : one) ASSERT_EQ(2, v);
  // 8,130 bytes need two; the one new sample is the first of the fade.
  EXPECT_EQ(2, Expand(in, 8130).back());
}

TEST_F(VoiceDecoder, MatchesIndependentModelOnRandomBlocks) {
  std::mt19937 rng(1234);
  for (size_t outSamples : {size_t(4064 * 3 + 17), size_t(4096), size_t(1)}) {
    Bytes in(8192 * 4);
    for (auto& b : in) b = uint8_t(rng());
    // Every decoded sample equals the model's, wrapping and clamping included.
    EXPECT_EQ(ModelExpand(in, outSamples), Expand(in, uint32_t(outSamples * 2))) << outSamples;
  }
  // Small codes in a few bins: no clamping, so the model's output is checked too.
  Bytes in(8192, 0);
  for (int k = 0; k < 64; ++k) SetCode(in.data(), int(rng() % 4096), rng() % 40);
  EXPECT_EQ(ModelExpand(in, 4096), Expand(in, 8192));
}

TEST_F(VoiceDecoder, ApproximatesTheFourierTransform) {
  std::mt19937 rng(99);
  Bytes in(8192, 0);
  std::vector<std::complex<double>> bins(2048);
  for (int k = 0; k < 24; ++k) {
    const int m = int(rng() % 2048);
    const unsigned cr = rng() % 64, ci = rng() % 64;
    SetCode(in.data(), 2 * m, cr);
    SetCode(in.data(), 2 * m + 1, ci);
    bins[m] = {double(Value(cr)) * kGain[m / 256], double(Value(ci)) * kGain[m / 256]};
  }
  std::vector<int16_t> got = Expand(in, 8128);
  double peak = 0, worst = 0;
  for (int n = 0; n < 4064; ++n) {
    std::complex<double> sum = 0;
    for (int m = 0; m < 2048; ++m)
      if (bins[m] != 0.0) sum += bins[m] * std::polar(1.0, -2 * M_PI * double(m) * n / 4096);
    const double want = sum.real() * 16 / 16384;
    peak = std::max(peak, std::abs(want));
    worst = std::max(worst, std::abs(want - got[n]));
  }
  ASSERT_GT(peak, 100);
  EXPECT_LT(worst, peak * 0.01 + 2) << "peak " << peak;
}

TEST_F(VoiceDecoder, ShortInputIsNotReadPastItsEnd) {
  // Three blocks called for, 100 bytes given (ASan guards the end): the rest
  // reads as zero.  High byte 1 makes code 256, value -128: a constant -256.
  Bytes in(100, 0);
  in[0] = 1;
  std::vector<int16_t> s = Expand(in, 2 * 4064 * 3);
  for (int i = 0; i < 4064; ++i) ASSERT_EQ(-256, s[i]) << i;
  for (int i = 4064 + 32; i < 3 * 4064; ++i) ASSERT_EQ(0, s[i]) << i;
  Bytes out(8);
  EXPECT_EQ(0, ExpandPcmVoice(out.data(), nullptr, 8, 0, 0));
}

}  // namespace
