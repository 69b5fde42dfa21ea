// The fast compressor against the reference copy: byte-identical streams and
// the same state after every call, over inputs that stress the match search
// (ties between equally long matches, full matches, runs, the initial zeros,
// the stale bytes an earlier call leaves in the ring).
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <vector>

#include "converter/lzss_compressor.h"
#include "lzss_reference.h"
#include "test_data.h"

namespace {

using Bytes = std::vector<uint8_t>;

enum class Kind { Random, SmallAlphabet, Runs, Text, Periodic, Zeros, Alpha, Mixed, kCount };

Bytes MakeInput(Kind kind, size_t n, std::mt19937& rng) {
  Bytes v(n);
  switch (kind) {
    case Kind::Random:
      for (auto& b : v) b = static_cast<uint8_t>(rng());
      break;
    case Kind::SmallAlphabet: {
      const int symbols = 2 + static_cast<int>(rng() % 7);
      uint8_t alphabet[8];
      for (auto& a : alphabet) a = static_cast<uint8_t>(rng() % 3 == 0 ? (rng() % 2) * 255 : rng());
      for (auto& b : v) b = alphabet[rng() % symbols];
      break;
    }
    case Kind::Runs: {
      size_t i = 0;
      while (i < n) {
        const uint8_t b = static_cast<uint8_t>(rng() % 4 == 0 ? 0 : rng());
        size_t run = rng() % 8 == 0 ? rng() % 5000 : 1 + rng() % 40;
        run = std::min(run, n - i);
        std::fill_n(v.begin() + i, run, b);
        i += run;
      }
      break;
    }
    case Kind::Text: {
      v = formats_test::ScriptLikeText(n, rng());
      break;
    }
    case Kind::Periodic: {
      const size_t period = 1 + rng() % 24;
      Bytes unit(period);
      for (auto& b : unit) b = static_cast<uint8_t>(rng() % 4);
      for (size_t i = 0; i < n; ++i) v[i] = unit[i % period];
      const size_t mutations = n / 64;
      for (size_t m = 0; m < mutations; ++m) v[rng() % n] = static_cast<uint8_t>(rng() % 4);
      break;
    }
    case Kind::Zeros:
      for (auto& b : v) b = rng() % 97 == 0 ? static_cast<uint8_t>(rng()) : 0;
      break;
    case Kind::Alpha: {
      // Long runs of 0 and 255 (some rows wider than the ring) between soft edges.
      const int w = 8 + static_cast<int>(rng() % 3000);
      const Bytes plane = formats_test::AlphaPlane(w, static_cast<int>(n / w) + 2);
      std::copy_n(plane.begin() + rng() % w, n, v.begin());
      break;
    }
    default: {
      // Pieces of every other kind one after another.
      size_t i = 0;
      while (i < n) {
        const size_t piece = std::min(n - i, static_cast<size_t>(1 + rng() % 3000));
        const Bytes part = MakeInput(static_cast<Kind>(rng() % static_cast<int>(Kind::Mixed)), piece, rng);
        std::copy(part.begin(), part.end(), v.begin() + i);
        i += piece;
      }
      break;
    }
  }
  return v;
}

size_t PickSize(std::mt19937& rng) {
  switch (rng() % 6) {
    case 0:
      return rng() % 40;  // shorter than the lookahead and a bit beyond
    case 1:
      return 2000 + rng() % 100;  // around one ring
    case 2:
      return rng() % 5000;
    case 3:
      return 60000 + rng() % 10001;  // past 64 KiB
    default:
      return rng() % 20000;
  }
}

// Compresses with both and compares streams and the state left behind.
void ExpectSame(CLzssCompressor& fast, CLzssReferenceCompressor& ref, const Bytes& in, const char* what) {
  const DWORD n = static_cast<DWORD>(in.size());
  // Exactly sized, so a write past the worst case is caught by the sanitizer.
  Bytes a(std::max<DWORD>(1, LzssMaxCompressedSize(n)));
  Bytes b(a.size());
  const int na = fast.Compress(a.data(), in.data(), n);
  const int nb = ref.Compress(b.data(), in.data(), n);
  ASSERT_EQ(na, nb) << what << ", " << n << " bytes";
  if (na > 0) {
    a.resize(na);
    b.resize(nb);
    const auto diff = std::mismatch(a.begin(), a.end(), b.begin());
    ASSERT_TRUE(diff.first == a.end()) << what << ", " << n << " bytes: first difference at output byte "
                                       << (diff.first - a.begin());
  }
  ASSERT_EQ(fast.matchPosition, ref.matchPosition) << what;
  ASSERT_EQ(fast.matchLength, ref.matchLength) << what;
}

const char* const kKindNames[] = {"random",   "small alphabet", "runs",        "text",
                                  "periodic", "zeros",          "alpha plane", "mixed"};

TEST(LzssIdentity, SequencesOfCallsMatchTheReference) {
  std::mt19937 rng(20240611);
  size_t total = 0;
  for (int sequence = 0; sequence < 60; ++sequence) {
    auto fast = std::make_unique<CLzssCompressor>();
    auto ref = std::make_unique<CLzssReferenceCompressor>();
    const int calls = 1 + static_cast<int>(rng() % 8);
    for (int call = 0; call < calls; ++call) {
      const Kind kind = static_cast<Kind>(rng() % static_cast<int>(Kind::kCount));
      size_t size = PickSize(rng);
      if (total > 3000000) size %= 3000;  // keep the run short under the sanitizers
      total += size;
      const Bytes in = MakeInput(kind, size, rng);
      ExpectSame(*fast, *ref, in, kKindNames[static_cast<int>(kind)]);
      if (HasFatalFailure()) return;
    }
  }
}

// Short inputs after long ones: the bytes an earlier call leaves behind the
// first block decide between equal matches, so every short length is tried
// after inputs that leave different residues.
TEST(LzssIdentity, ShortInputsAfterEveryKindOfResidue) {
  std::mt19937 rng(99);
  auto fast = std::make_unique<CLzssCompressor>();
  auto ref = std::make_unique<CLzssReferenceCompressor>();
  for (int k = 0; k < static_cast<int>(Kind::kCount); ++k) {
    for (size_t shortSize = 1; shortSize <= 40; ++shortSize) {
      const Bytes before = MakeInput(static_cast<Kind>(k), LZSS_START + rng() % 40, rng);
      ExpectSame(*fast, *ref, before, kKindNames[k]);
      const Bytes in = MakeInput(static_cast<Kind>(rng() % static_cast<int>(Kind::kCount)), shortSize, rng);
      ExpectSame(*fast, *ref, in, "short after residue");
      const Bytes zeros(shortSize, 0);
      ExpectSame(*fast, *ref, zeros, "zeros after residue");
      if (HasFatalFailure()) return;
    }
  }
}

// The tree operations stay callable on their own and agree with the reference.
TEST(LzssIdentity, TreeOperationsMatchTheReference) {
  std::mt19937 rng(5);
  auto fast = std::make_unique<CLzssCompressor>();
  auto ref = std::make_unique<CLzssReferenceCompressor>();
  const Bytes in = MakeInput(Kind::SmallAlphabet, 3000, rng);
  ExpectSame(*fast, *ref, in, "fill the ring");
  fast->InitTree();
  ref->InitTree();
  for (int step = 0; step < 20000; ++step) {
    const int p = static_cast<int>(rng() % LZSS_RING_SIZE);
    if (rng() % 3 == 0) {
      fast->DeleteNode(p);
      ref->DeleteNode(p);
    } else {
      fast->DeleteNode(p);  // a position is in one place of the tree at most
      ref->DeleteNode(p);
      fast->InsertNode(p);
      ref->InsertNode(p);
      ASSERT_EQ(fast->matchPosition, ref->matchPosition) << "step " << step;
      ASSERT_EQ(fast->matchLength, ref->matchLength) << "step " << step;
    }
  }
  ExpectSame(*fast, *ref, in, "compress after direct tree use");
}

}  // namespace
