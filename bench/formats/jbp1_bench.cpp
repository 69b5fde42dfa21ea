// JBP1 decoding of a 640x480 picture beside libjpeg-turbo decoding the same
// coefficients as a baseline JPEG (islow, no fancy upsampling, RGB565 out).
// libjpeg-turbo reads its SIMD choice once, so each mode is a run of its own:
//   JSIMD_FORCENONE=1 jbp1_bench;  JSIMD_FORCESSE2=1 jbp1_bench;  jbp1_bench
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <jpeglib.h>

#include "converter/pictures/jbp1_writer.h"
#include "formats/jbp1_stream.h"
#include "player/core/jbp1_decoder.h"

namespace {

constexpr int kWidth = 640, kHeight = 480, kQuality = 90;

// A picture with the mix of a game scene: smooth shading, hard edges,
// fine texture and a little noise.
std::vector<uint8_t> ScenePixels() {
  std::vector<uint8_t> rgb(kWidth * kHeight * 3);
  uint32_t noise = 12345;
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      noise = noise * 1103515245u + 12345u;
      const double n = ((noise >> 16) & 15) - 7.5;
      double r = 90 + 80 * std::sin(x * 0.011) + 0.1 * y;
      double g = 120 + 60 * std::cos(y * 0.017 + x * 0.004);
      double b = 160 - 0.2 * y + 30 * std::sin((x + y) * 0.05);
      const int dx = x - 420, dy = y - 250;
      if (dx * dx + dy * dy < 120 * 120) {  // a figure
        r = 230 - 0.3 * dy;
        g = 180 - 0.2 * dy;
        b = 150 + 20 * std::sin(x * 0.3);
      }
      if (y > 360 && ((x / 8 + y / 8) % 2)) r += 40, g += 40, b += 40;        // texture
      if (x > 60 && x < 260 && y > 60 && y < 180) r = 250, g = 250, b = 245;  // a panel
      const double v[3] = {r + n, g + n, b + n};
      for (int c = 0; c < 3; ++c)
        rgb[(y * kWidth + x) * 3 + c] = static_cast<uint8_t>(std::lround(std::fmin(255, std::fmax(0, v[c]))));
    }
  }
  return rgb;
}

std::vector<uint8_t> EncodeJpeg(const std::vector<uint8_t>& rgb) {
  jpeg_compress_struct c;
  jpeg_error_mgr err;
  c.err = jpeg_std_error(&err);
  jpeg_create_compress(&c);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&c, &buffer, &size);
  c.image_width = kWidth;
  c.image_height = kHeight;
  c.input_components = 3;
  c.in_color_space = JCS_RGB;
  jpeg_set_defaults(&c);
  jpeg_set_quality(&c, kQuality, TRUE);
  c.dct_method = JDCT_ISLOW;
  jpeg_start_compress(&c, TRUE);
  while (c.next_scanline < c.image_height) {
    JSAMPROW row = const_cast<uint8_t*>(&rgb[c.next_scanline * kWidth * 3]);
    jpeg_write_scanlines(&c, &row, 1);
  }
  jpeg_finish_compress(&c);
  jpeg_destroy_compress(&c);
  std::vector<uint8_t> out(buffer, buffer + size);
  free(buffer);
  return out;
}

// The JPEG's own quantised coefficients, re-coded as JBP1.
std::vector<uint8_t> RecodeAsJbp1(const std::vector<uint8_t>& jpeg) {
  jpeg_decompress_struct d;
  jpeg_error_mgr err;
  d.err = jpeg_std_error(&err);
  jpeg_create_decompress(&d);
  jpeg_mem_src(&d, jpeg.data(), jpeg.size());
  jpeg_read_header(&d, TRUE);
  jvirt_barray_ptr* arrays = jpeg_read_coefficients(&d);
  const int mbCols = (kWidth + 15) / 16, mbRows = (kHeight + 15) / 16;
  std::vector<int> blocks(static_cast<size_t>(mbCols) * mbRows * 6 * 64);
  Jbp1Coefficients pic{kWidth, kHeight, kQuality, {}, {}, nullptr};
  for (int i = 0; i < 64; ++i) {
    pic.lumaQuant[i] = static_cast<BYTE>(d.comp_info[0].quant_table->quantval[i]);
    pic.chromaQuant[i] = static_cast<BYTE>(d.comp_info[1].quant_table->quantval[i]);
  }
  for (int my = 0; my < mbRows; ++my) {
    for (int mx = 0; mx < mbCols; ++mx) {
      int* out = &blocks[(static_cast<size_t>(my) * mbCols + mx) * 6 * 64];
      for (int b = 0; b < 6; ++b) {
        const int comp = b < 4 ? 0 : b - 3;
        const int row = b < 4 ? 2 * my + (b >> 1) : my;
        const int col = b < 4 ? 2 * mx + (b & 1) : mx;
        JBLOCKARRAY rows = d.mem->access_virt_barray(reinterpret_cast<j_common_ptr>(&d), arrays[comp], row, 1, FALSE);
        for (int k = 0; k < 64; ++k) out[b * 64 + k] = rows[0][col][k];
      }
    }
  }
  jpeg_finish_decompress(&d);
  jpeg_destroy_decompress(&d);
  pic.blocks = blocks.data();
  DWORD size = 0;
  BYTE* stream = WriteJbp1Stream(pic, &size);
  std::vector<uint8_t> out(stream, stream + size);
  LocalFree(stream);
  return out;
}

struct Fixture {
  std::vector<uint8_t> jpeg;
  std::vector<uint8_t> jbp1;
  Fixture() {
    jpeg = EncodeJpeg(ScenePixels());
    jbp1 = RecodeAsJbp1(jpeg);
  }
};

const Fixture& Data() {
  static const Fixture f;
  return f;
}

const char* Mode() {
  if (std::getenv("JSIMD_FORCENONE")) return "libjpeg-turbo without SIMD";
  if (std::getenv("JSIMD_FORCESSE2")) return "libjpeg-turbo SSE2";
  return "libjpeg-turbo default SIMD";
}

void DecodeWithLibjpeg(const std::vector<uint8_t>& jpeg, std::vector<uint16_t>& out) {
  jpeg_decompress_struct d;
  jpeg_error_mgr err;
  d.err = jpeg_std_error(&err);
  jpeg_create_decompress(&d);
  jpeg_mem_src(&d, jpeg.data(), jpeg.size());
  jpeg_read_header(&d, TRUE);
  d.dct_method = JDCT_ISLOW;
  d.do_fancy_upsampling = FALSE;
  d.out_color_space = JCS_RGB565;
  d.dither_mode = JDITHER_NONE;
  jpeg_start_decompress(&d);
  while (d.output_scanline < d.output_height) {
    JSAMPROW row = reinterpret_cast<JSAMPROW>(&out[d.output_scanline * kWidth]);
    jpeg_read_scanlines(&d, &row, 1);
  }
  jpeg_finish_decompress(&d);
  jpeg_destroy_decompress(&d);
}

bool DecodeWithJbp1(const std::vector<uint8_t>& stream, std::vector<uint16_t>& out) {
  BlockDecoder d;
  InitBlockDecoder(&d);
  d.input = stream.data();
  d.inputLength = static_cast<DWORD>(stream.size());
  d.expectedWidth = kWidth;
  d.expectedHeight = kHeight;
  d.output = out.data();
  d.outputCapacity = static_cast<DWORD>(out.size() * 2);
  ParseJbp1Header(&d);
  ResetBlockFlags(&d);
  return DecodeJbp1(&d) == 1;
}

void BM_Jbp1Decode(benchmark::State& state) {
  std::vector<uint16_t> out(kWidth * kHeight), ref(kWidth * kHeight);
  for (auto _ : state) {
    if (!DecodeWithJbp1(Data().jbp1, out)) state.SkipWithError("decode failed");
    benchmark::ClobberMemory();
  }
  // How far the two decoders' pixels lie apart, per 8-bit channel.
  DecodeWithLibjpeg(Data().jpeg, ref);
  int worst = 0;
  for (size_t i = 0; i < out.size(); ++i) {
    const int d[3] = {std::abs((out[i] >> 11) - (ref[i] >> 11)) << 3,
                      std::abs(((out[i] >> 5) & 63) - ((ref[i] >> 5) & 63)) << 2,
                      std::abs((out[i] & 31) - (ref[i] & 31)) << 3};
    for (int v : d) worst = std::max(worst, v);
  }
  state.counters["max_diff_vs_libjpeg"] = worst;
  state.counters["stream_bytes"] = static_cast<double>(Data().jbp1.size());
  state.SetItemsProcessed(state.iterations());
  state.SetLabel("JBP1 640x480");
}

void BM_LibjpegDecode(benchmark::State& state) {
  std::vector<uint16_t> out(kWidth * kHeight);
  for (auto _ : state) {
    DecodeWithLibjpeg(Data().jpeg, out);
    benchmark::ClobberMemory();
  }
  state.counters["stream_bytes"] = static_cast<double>(Data().jpeg.size());
  state.SetItemsProcessed(state.iterations());
  state.SetLabel(Mode());
}

}  // namespace

BENCHMARK(BM_Jbp1Decode)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LibjpegDecode)->Unit(benchmark::kMicrosecond);
BENCHMARK_MAIN();
