#include "tests/converter/test_support.h"

#include <jpeglib.h>
#include <setjmp.h>

#include <cmath>
#include <cstdio>
#include <cstring>

#include "formats/le_bytes.h"

namespace ctest {
namespace {

struct ErrorManager {
  jpeg_error_mgr pub;
  jmp_buf jump;
  std::string* warning;
};

void OnError(j_common_ptr cinfo) {
  auto* e = reinterpret_cast<ErrorManager*>(cinfo->err);
  longjmp(e->jump, 1);
}

void OnMessage(j_common_ptr cinfo, int level) {
  if (level >= 0) return;  // trace messages
  auto* e = reinterpret_cast<ErrorManager*>(cinfo->err);
  char text[JMSG_LENGTH_MAX];
  (*cinfo->err->format_message)(cinfo, text);
  *e->warning += text;
}

}  // namespace

std::vector<BYTE> MakeBitmap(int w, int h, int bits, const std::function<void(int, int, BYTE*)>& fill, bool packed,
                             const std::vector<BYTE>& paletteBgr) {
  const int bpp = bits / 8;
  const int stride = packed ? w * bpp : (w * bpp + 3) & ~3;
  const int colours = bits == 8 ? static_cast<int>(paletteBgr.size() / 3) : 0;
  const int offset = 54 + 4 * colours;
  std::vector<BYTE> b(static_cast<size_t>(offset) + static_cast<size_t>(stride) * h, 0);
  b[0] = 'B';
  b[1] = 'M';
  PutLe32(&b[2], static_cast<uint32_t>(b.size()));
  PutLe32(&b[10], static_cast<uint32_t>(offset));
  PutLe32(&b[14], 40);
  PutLe32(&b[18], static_cast<uint32_t>(w));
  PutLe32(&b[22], static_cast<uint32_t>(h));
  b[26] = 1;
  b[28] = static_cast<BYTE>(bits);
  PutLe32(&b[34], static_cast<uint32_t>(stride * h));
  PutLe32(&b[46], static_cast<uint32_t>(colours));
  for (int i = 0; i < colours; ++i) std::memcpy(&b[54 + 4 * i], &paletteBgr[3 * i], 3);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) fill(x, y, &b[offset + static_cast<size_t>(h - 1 - y) * stride + x * bpp]);
  }
  return b;
}

int BitmapWidth(const BYTE* bmp) { return static_cast<int32_t>(GetLe32(bmp + 18)); }
int BitmapHeight(const BYTE* bmp) { return static_cast<int32_t>(GetLe32(bmp + 22)); }
int BitmapBits(const BYTE* bmp) { return GetLe16(bmp + 28); }

const BYTE* BitmapPixel(const BYTE* bmp, int x, int y, bool packed) {
  const int w = BitmapWidth(bmp), h = BitmapHeight(bmp), bpp = BitmapBits(bmp) / 8;
  const int stride = packed ? w * bpp : (w * bpp + 3) & ~3;
  const int offset = bpp == 1 ? 54 + 4 * static_cast<int>(GetLe32(bmp + 46) ? GetLe32(bmp + 46) : 256) : 54;
  return bmp + offset + static_cast<size_t>(h - 1 - y) * stride + static_cast<size_t>(x) * bpp;
}

const BYTE* BitmapPixel(const std::vector<BYTE>& bmp, int x, int y, bool packed) {
  return BitmapPixel(bmp.data(), x, y, packed);
}

JpegCoefficients ReadCoefficients(const std::vector<BYTE>& jpeg) { return ReadCoefficients(jpeg.data(), jpeg.size()); }

JpegCoefficients ReadCoefficients(const BYTE* data, size_t size) {
  JpegCoefficients out;
  jpeg_decompress_struct cinfo;
  ErrorManager err;
  err.warning = &out.warning;
  cinfo.err = jpeg_std_error(&err.pub);
  err.pub.error_exit = OnError;
  err.pub.emit_message = OnMessage;
  if (setjmp(err.jump)) {
    jpeg_destroy_decompress(&cinfo);
    out.ok = false;
    return out;
  }
  jpeg_create_decompress(&cinfo);
  jpeg_mem_src(&cinfo, data, static_cast<unsigned long>(size));
  jpeg_read_header(&cinfo, TRUE);
  jvirt_barray_ptr* arrays = jpeg_read_coefficients(&cinfo);
  out.width = static_cast<int>(cinfo.image_width);
  out.height = static_cast<int>(cinfo.image_height);
  out.progressive = cinfo.progressive_mode;
  for (int c = 0; c < cinfo.num_components; ++c) {
    jpeg_component_info* comp = &cinfo.comp_info[c];
    JpegComponentCoefficients cc;
    cc.h = comp->h_samp_factor;
    cc.v = comp->v_samp_factor;
    // Whole MCUs, dummy blocks included, as an interleaved scan codes them.
    const int mcuCols = static_cast<int>(cinfo.MCUs_per_row);
    const int mcuRows = static_cast<int>(cinfo.total_iMCU_rows);
    cc.widthInBlocks =
        cinfo.comps_in_scan > 1 || cinfo.num_components > 1 ? mcuCols * cc.h : static_cast<int>(comp->width_in_blocks);
    cc.heightInBlocks = cinfo.num_components > 1 ? mcuRows * cc.v : static_cast<int>(comp->height_in_blocks);
    cc.blocks.assign(static_cast<size_t>(cc.widthInBlocks) * cc.heightInBlocks * 64, 0);
    for (int row = 0; row < cc.heightInBlocks; ++row) {
      JBLOCKARRAY rows = (*cinfo.mem->access_virt_barray)(reinterpret_cast<j_common_ptr>(&cinfo), arrays[c],
                                                          static_cast<JDIMENSION>(row), 1, FALSE);
      for (int col = 0; col < cc.widthInBlocks; ++col) {
        for (int i = 0; i < 64; ++i)
          cc.blocks[(static_cast<size_t>(row) * cc.widthInBlocks + col) * 64 + i] = rows[0][col][i];
      }
    }
    for (int i = 0; i < 64; ++i) cc.quant[i] = comp->quant_table ? comp->quant_table->quantval[i] : 0;
    out.components.push_back(std::move(cc));
  }
  jpeg_finish_decompress(&cinfo);
  jpeg_destroy_decompress(&cinfo);
  out.ok = true;
  return out;
}

std::vector<BYTE> LibjpegCompress(const std::vector<BYTE>& rgb, int w, int h, const LibjpegOptions& o) {
  jpeg_compress_struct cinfo;
  jpeg_error_mgr jerr;
  cinfo.err = jpeg_std_error(&jerr);
  jpeg_create_compress(&cinfo);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&cinfo, &buffer, &size);
  cinfo.image_width = static_cast<JDIMENSION>(w);
  cinfo.image_height = static_cast<JDIMENSION>(h);
  cinfo.input_components = o.grey ? 1 : 3;
  cinfo.in_color_space = o.grey ? JCS_GRAYSCALE : JCS_RGB;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, o.quality, TRUE);
  if (!o.grey) {
    cinfo.comp_info[0].h_samp_factor = o.hSamp;
    cinfo.comp_info[0].v_samp_factor = o.vSamp;
  }
  cinfo.restart_interval = static_cast<unsigned>(o.restartInterval);
  cinfo.restart_in_rows = o.restartRows;
  cinfo.optimize_coding = o.optimize;
  if (o.progressive) jpeg_simple_progression(&cinfo);
  jpeg_start_compress(&cinfo, TRUE);
  if (!o.app0Thumbnail.empty())
    jpeg_write_marker(&cinfo, JPEG_APP0, o.app0Thumbnail.data(), static_cast<unsigned>(o.app0Thumbnail.size()));
  if (!o.comment.empty())
    jpeg_write_marker(&cinfo, JPEG_COM, reinterpret_cast<const JOCTET*>(o.comment.data()),
                      static_cast<unsigned>(o.comment.size()));
  std::vector<BYTE> grey;
  while (cinfo.next_scanline < cinfo.image_height) {
    const BYTE* row = &rgb[static_cast<size_t>(cinfo.next_scanline) * w * 3];
    if (o.grey) {
      grey.resize(w);
      for (int x = 0; x < w; ++x) grey[x] = row[3 * x + 1];
      row = grey.data();
    }
    JSAMPROW r = const_cast<JSAMPROW>(row);
    jpeg_write_scanlines(&cinfo, &r, 1);
  }
  jpeg_finish_compress(&cinfo);
  std::vector<BYTE> out(buffer, buffer + size);
  free(buffer);
  jpeg_destroy_compress(&cinfo);
  return out;
}

std::vector<BYTE> MakeRgb(int w, int h, const std::string& kind, uint32_t seed) {
  std::vector<BYTE> rgb(static_cast<size_t>(w) * h * 3);
  uint32_t state = seed * 2654435761u + 1;
  auto rnd = [&] {
    state = state * 1664525u + 1013904223u;
    return static_cast<BYTE>(state >> 24);
  };
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      BYTE* p = &rgb[(static_cast<size_t>(y) * w + x) * 3];
      if (kind == "flat") {
        p[0] = 200;
        p[1] = 60;
        p[2] = 90;
      } else if (kind == "gradient") {
        p[0] = static_cast<BYTE>(255 * x / std::max(1, w - 1));
        p[1] = static_cast<BYTE>(255 * y / std::max(1, h - 1));
        p[2] = static_cast<BYTE>((x + y) * 255 / std::max(1, w + h - 2));
      } else if (kind == "checker") {
        const bool on = ((x / 2) + (y / 2)) & 1;
        p[0] = on ? 255 : 0;
        p[1] = on ? 255 : 0;
        p[2] = on ? 0 : 255;
      } else if (kind == "noise") {
        p[0] = rnd();
        p[1] = rnd();
        p[2] = rnd();
      } else {  // photo-like
        const double fx = x / 37.0, fy = y / 23.0;
        p[0] = static_cast<BYTE>(128 + 100 * std::sin(fx) * std::cos(fy));
        p[1] = static_cast<BYTE>(128 + 90 * std::sin(fx * 0.7 + fy));
        p[2] = static_cast<BYTE>(128 + 60 * std::cos(fx * 1.3 - fy * 0.5) + (rnd() & 15));
      }
    }
  }
  return rgb;
}

// One folder per test process (ctest runs tests in parallel processes),
// removed when the process ends.

}  // namespace ctest
