#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "converter/lzss_compressor.h"
#include "formats/lzss.h"
#include "test_data.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Compress(CLzssCompressor& c, const Bytes& in) {
  Bytes out(LzssMaxCompressedSize(static_cast<DWORD>(in.size())) + 1);
  const int n = c.Compress(out.data(), in.data(), static_cast<DWORD>(in.size()));
  if (n < 0) return {};
  out.resize(n);
  return out;
}

Bytes Decode(const Bytes& stream, size_t unpacked, int* result = nullptr) {
  // Exactly sized so that any write past the end is caught by the sanitizer.
  auto out = std::make_unique<BYTE[]>(unpacked ? unpacked : 1);
  const int r = LzssDecode(out.get(), stream.data(), static_cast<DWORD>(unpacked), static_cast<DWORD>(stream.size()));
  if (result != nullptr) *result = r;
  return Bytes(out.get(), out.get() + (r < 0 ? 0 : unpacked));
}

TEST(LzssCompress, WorkedExamples) {
  struct Case {
    const char* what;
    Bytes in;
    Bytes out;
  };
  const Case cases[] = {
      {"one letter", {0x41}, {0x01, 0x41}},
      {"one zero is a literal", {0x00}, {0x01, 0x00}},
      {"17 zeros match the zeroed ring", Bytes(17, 0), {0x00, 0xDE, 0x7F}},
      {"8 literals fill a group", {1, 2, 3, 4, 5, 6, 7, 8}, {0xFF, 1, 2, 3, 4, 5, 6, 7, 8}},
      {"a 9th literal opens a group", {1, 2, 3, 4, 5, 6, 7, 8, 9}, {0xFF, 1, 2, 3, 4, 5, 6, 7, 8, 0x01, 9}},
      {"overlapping match", {'A', 'a', 'a', 'a', 'a', 'a', 'a', 'a'}, {0x03, 0x41, 0x61, 0xF0, 0x74}},
  };
  for (const Case& c : cases) {
    auto compressor = std::make_unique<CLzssCompressor>();
    EXPECT_EQ(Compress(*compressor, c.in), c.out) << c.what;
    EXPECT_EQ(Decode(c.out, c.in.size()), c.in) << c.what;
  }
}

TEST(LzssCompress, EmptyInputWritesNothing) {
  BYTE out[4] = {0xAA, 0xAA, 0xAA, 0xAA};
  const BYTE in[1] = {0};
  EXPECT_EQ(LzssCompress(out, in, 0), -1);
  EXPECT_EQ(out[0], 0xAA);
}

// What an earlier call leaves in the ring decides between equally long
// matches: two zero bytes match the zeroed ring at 2014 in a fresh
// compressor, but at 2030 once stale non-zero bytes follow the input.
TEST(LzssCompress, RingStatePersistsBetweenCalls) {
  auto c = std::make_unique<CLzssCompressor>();
  const Bytes twoZeros = {0, 0};
  EXPECT_EQ(Compress(*c, twoZeros), (Bytes{0x00, 0xDE, 0x70}));
  Compress(*c, Bytes(2100, 0x55));
  const Bytes after = Compress(*c, twoZeros);
  EXPECT_EQ(after, (Bytes{0x00, 0xEE, 0x70}));
  EXPECT_EQ(Decode(after, 2), twoZeros);

  // The process-wide compressor keeps its state the same way.
  const BYTE fill[2100] = {};
  Bytes stale(2100, 0x55), out(4096);
  LzssCompress(out.data(), stale.data(), 2100);
  ASSERT_EQ(LzssCompress(out.data(), twoZeros.data(), 2), 3);
  EXPECT_EQ(Bytes(out.begin(), out.begin() + 3), (Bytes{0x00, 0xEE, 0x70}));
  LzssCompress(out.data(), fill, 2100);
  ASSERT_EQ(LzssCompress(out.data(), twoZeros.data(), 2), 3);
  EXPECT_EQ(Bytes(out.begin(), out.begin() + 3), (Bytes{0x00, 0xDE, 0x70}));
}

TEST(LzssCompress, RoundTripsThroughThePlayersDecoder) {
  using formats_test::RandomBytes;
  Bytes runs;
  for (int i = 0; i < 40; ++i) runs.insert(runs.end(), 100 + i * 37, static_cast<uint8_t>(i * 7));
  Bytes sparse(70000, 0);
  for (size_t i = 0; i < sparse.size(); i += 97) sparse[i] = static_cast<uint8_t>(i);
  struct Case {
    const char* what;
    Bytes in;
  };
  const Case cases[] = {
      {"1 byte", {0x7F}},
      {"17 zeros", Bytes(17, 0)},
      {"18 zeros", Bytes(18, 0)},
      {"a run longer than the ring", Bytes(5000, 'x')},
      {"runs of many lengths", runs},
      {"incompressible", RandomBytes(9000, 1)},
      {"ring size", RandomBytes(2048, 2)},
      {"ring size + 1", RandomBytes(2049, 3)},
      {"script text over 64 KiB", formats_test::ScriptLikeText(100000)},
      {"sparse over 64 KiB", sparse},
      {"alpha plane", formats_test::AlphaPlane(200, 150)},
  };
  // The shared compressor, one call after another, as the converter uses it.
  for (const Case& c : cases) {
    Bytes out(LzssMaxCompressedSize(static_cast<DWORD>(c.in.size())));
    const int n = LzssCompress(out.data(), c.in.data(), static_cast<DWORD>(c.in.size()));
    ASSERT_GT(n, 0) << c.what;
    ASSERT_LE(static_cast<size_t>(n), out.size()) << c.what;
    out.resize(n);
    int result = 0;
    EXPECT_EQ(Decode(out, c.in.size(), &result), c.in) << c.what;
    EXPECT_EQ(result, static_cast<int>(c.in.size())) << c.what;
  }
}

TEST(LzssDecode, StreamEdges) {
  struct Case {
    const char* what;
    Bytes stream;
    size_t unpacked;
    int result;    // -1 or the unpacked size
    Bytes output;  // when it succeeds
  };
  const Case cases[] = {
      {"ends after a flag byte", {0xFF, 1, 2, 3, 4, 5, 6, 7, 8, 0x00}, 8, 8, {1, 2, 3, 4, 5, 6, 7, 8}},
      {"ends between b0 and b1", {0x01, 'a', 0xDE}, 1, 1, {'a'}},
      {"match position above 0x7FF wraps", {0x03, 'A', 'B', 0xEF, 0xF0}, 4, 4, {'A', 'B', 'A', 'B'}},
      {"match into the initial zeros", {0x00, 0x10, 0x02}, 4, 4, {0, 0, 0, 0}},
      {"fewer bytes than the directory says", {0x03, 'a', 'b'}, 3, -1, {}},
      {"more bytes than the directory says", {0x07, 'a', 'b', 'c'}, 2, -1, {}},
      {"match past the end", {0x01, 'a', 0xEF, 0x7F}, 5, -1, {}},
      {"size beyond what the stream can hold", {0xFF, 1, 2, 3, 4, 5, 6, 7, 8}, 1000, -1, {}},
      {"empty stream, nothing expected", {}, 0, 0, {}},
      {"empty stream, bytes expected", {}, 1, -1, {}},
  };
  for (const Case& c : cases) {
    int result = 0;
    const Bytes out = Decode(c.stream, c.unpacked, &result);
    EXPECT_EQ(result, c.result) << c.what;
    if (c.result >= 0) {
      EXPECT_EQ(out, c.output) << c.what;
    }
  }
}

// The fast path of the decoder must agree with the byte-by-byte rule on
// matches of every distance and length, including those reaching back into
// the initial zeros.
TEST(LzssDecode, EveryDistanceAndLength) {
  Bytes stream, expected;
  std::vector<uint8_t> ring(2048, 0);
  unsigned w = LZSS_START;
  std::mt19937 rng(11);
  const size_t kItems = 40000;
  for (size_t item = 0; item < kItems; item += 8) {
    uint8_t flags = static_cast<uint8_t>(rng());
    stream.push_back(flags);
    for (int k = 0; k < 8; ++k) {
      if (flags & (1 << k)) {
        const uint8_t b = static_cast<uint8_t>(rng());
        stream.push_back(b);
        expected.push_back(b);
        ring[w] = b;
        w = (w + 1) & 2047;
      } else {
        const unsigned p = rng() & 0xFFF, len = rng() & 15;
        stream.push_back(static_cast<uint8_t>(p));
        stream.push_back(static_cast<uint8_t>(((p >> 4) & 0xF0) | len));
        for (unsigned j = 0; j < len + 2; ++j) {
          const uint8_t b = ring[(p + j) & 2047];
          expected.push_back(b);
          ring[w] = b;
          w = (w + 1) & 2047;
        }
      }
    }
  }
  int result = 0;
  EXPECT_EQ(Decode(stream, expected.size(), &result), expected);
  EXPECT_EQ(result, static_cast<int>(expected.size()));
}

}  // namespace
