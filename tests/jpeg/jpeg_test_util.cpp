#include "jpeg_test_util.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>

#include <jpeglib.h>

#include "tests/support/temp_folder.h"

namespace jt {

const char* ContentName(Content c) {
  switch (c) {
    case Content::kFlat:
      return "flat";
    case Content::kPure:
      return "pure";
    case Content::kGradient:
      return "gradient";
    case Content::kChecker:
      return "checker";
    case Content::kNoise:
      return "noise";
    case Content::kPhoto:
      return "photo";
  }
  return "?";
}

Image MakeImage(Content c, int w, int h, int ch, uint32_t seed) {
  Image img;
  img.w = w;
  img.h = h;
  img.ch = ch;
  img.px.resize((size_t)w * h * ch);
  std::mt19937 rng(seed);
  static const uint8_t kPure[6][3] = {{0, 0, 255}, {0, 255, 0}, {255, 0, 0}, {255, 255, 255}, {0, 0, 0}, {255, 0, 255}};
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      uint8_t* p = img.Row(y) + x * ch;
      for (int k = 0; k < ch; ++k) {
        int v = 0;
        switch (c) {
          case Content::kFlat:
            v = 40 + 70 * k;
            break;
          case Content::kPure:
            v = kPure[((x / 8) + (y / 8) * 3) % 6][k % 3];
            break;
          case Content::kGradient:
            v = (x * 255 / (w > 1 ? w - 1 : 1) + k * 60 + y * 128 / (h > 1 ? h - 1 : 1)) % 256;
            break;
          case Content::kChecker:
            v = ((x + y) & 1) ? 255 : 0;
            break;
          case Content::kNoise:
            v = (int)(rng() & 255);
            break;
          case Content::kPhoto: {
            const double fx = x / 37.0, fy = y / 23.0;
            double s = 128 + 70 * std::sin(fx + k) * std::cos(fy - k) + 30 * std::sin((x + y) / 11.0);
            if ((x / 40 + y / 30) % 3 == 0) s = s * 0.6 + 60 * k;
            s += (int)(rng() % 9) - 4;
            v = s < 0 ? 0 : s > 255 ? 255 : (int)s;
            break;
          }
        }
        p[k] = (uint8_t)v;
      }
    }
  return img;
}

void UseCpuKind(int kind) {
  static const std::string path = vtest::ScratchFolder("jpeg", "registry") + "/cpu.reg";
  std::ofstream f(path, std::ios::trunc);
  f << "[HKEY_LOCAL_MACHINE\\Software\\Portable Codecs\\CodecSuite\\JpegLib]\n";
  f << "USECPU=dword:" << kind << "\n";
  f.close();
  setenv("VELMI_REGISTRY", path.c_str(), 1);
}

std::vector<uint8_t> Encode(const Image& img, const EncodeOptions& spec, JpegStatus* status) {
  UseCpuKind(spec.kind);
  JpegJob job;
  JpegStatus st = JpegInit(&job);
  std::vector<uint8_t> out;
  if (st == 0) {
    const int pitch = img.w * img.ch + spec.padding;
    std::vector<uint8_t> rows((size_t)pitch * img.h);
    for (int y = 0; y < img.h; ++y) {
      const int at = spec.bottomUp ? img.h - 1 - y : y;
      std::memcpy(rows.data() + (size_t)at * pitch, img.Row(y), (size_t)img.w * img.ch);
    }
    out.resize((size_t)img.w * img.h * img.ch * 4 + 65536);
    job.dibPixels = rows.data();
    job.dibWidth = img.w;
    job.dibHeight = spec.bottomUp ? -img.h : img.h;
    job.dibRowPadding = spec.padding;
    job.dibChannels = img.ch;
    job.dibColor = spec.dibColor;
    job.jpegBuffer = out.data();
    job.jpegBufferSize = (int32_t)out.size();
    job.jpegWidth = img.w;
    job.jpegHeight = img.h;
    job.jpegChannels = spec.jpegChannels;
    job.jpegColor = spec.jpegColor;
    job.jpegSubsampling = spec.sub;
    job.quality = spec.quality;
    job.props.progressive = spec.progressive ? 1 : 0;
    job.props.dctMethod = spec.dctMethod;
    st = JpegWrite(&job, 9);
    out.resize(st == 0 ? (size_t)job.jpegBufferSize : 0);
  }
  JpegFree(&job);
  if (status) *status = st;
  return out;
}

// ---- Reference model of the converter's road -------------------------------------

namespace {

int32_t Luma(int r, int g, int b) { return (77 * r + 150 * g + 29 * b - 32640) >> 8; }
int32_t Cb(int r, int g, int b, int round, int shift) { return (128 * b - 43 * r - 85 * g + round) >> shift; }
int32_t Cr(int r, int g, int b, int round, int shift) { return (128 * r - 107 * g - 21 * b + round) >> shift; }

void RefFdct(int16_t* blk) {
  auto pass = [](int16_t* x, int step, bool rows) {
    int64_t v[8];
    for (int i = 0; i < 8; ++i) v[i] = x[i * step];
    const int64_t s07 = v[0] + v[7], s16 = v[1] + v[6], s25 = v[2] + v[5], s34 = v[3] + v[4];
    const int64_t d07 = v[0] - v[7], d16 = v[1] - v[6], d25 = v[2] - v[5], d34 = v[3] - v[4];
    const int64_t e0 = s07 + s34, e3 = s07 - s34, e1 = s16 + s25, e2 = s16 - s25;
    const int64_t p = (46341 * d07 + 2048) >> 12, q = (46341 * d34 + 2048) >> 12;
    const int64_t a = p + 8 * (d16 + d25), c = p - 8 * (d16 + d25);
    const int64_t b = q + 8 * (d16 - d25), d = q - 8 * (d16 - d25);
    const int64_t R = rows ? 2048 : 1048576;
    const int S = rows ? 12 : 21;
    int64_t y[8];
    y[2] = (42813 * e3 + 17734 * e2 + R) >> S;
    y[6] = (17734 * e3 - 42813 * e2 + R) >> S;
    y[1] = (4017 * a + 799 * b + R) >> S;
    y[7] = (799 * a - 4017 * b + R) >> S;
    y[5] = (2276 * c + 3406 * d + R) >> S;
    y[3] = (3406 * c - 2276 * d + R) >> S;
    y[0] = rows ? 8 * (e0 + e1) : (e0 + e1 + 32) >> 6;
    y[4] = rows ? 8 * (e0 - e1) : (e0 - e1 + 32) >> 6;
    for (int i = 0; i < 8; ++i) x[i * step] = (int16_t)y[i];
  };
  for (int r = 0; r < 8; ++r) pass(blk + 8 * r, 1, true);
  for (int c = 0; c < 8; ++c) pass(blk + c, 8, false);
}

const int kLuma[64] = {16, 11,  10,  16, 24, 40, 51, 61, 12,  12,  14,  19,  26, 58, 60, 55,  14,  13,  16,  24, 40, 57,
                       69, 56,  14,  17, 22, 29, 51, 87, 80,  62,  18,  22,  37, 56, 68, 109, 103, 77,  24,  35, 55, 64,
                       81, 104, 113, 92, 49, 64, 78, 87, 103, 121, 120, 101, 72, 92, 95, 98,  112, 100, 103, 99};

int Step(int natural, bool chroma, int q) {
  const int row = natural / 8, col = natural % 8;
  static const int kChroma4[16] = {17, 18, 24, 47, 18, 21, 26, 66, 24, 26, 56, 99, 47, 66, 99, 99};
  const int base = chroma ? (row < 4 && col < 4 ? kChroma4[row * 4 + col] : 99) : kLuma[natural];
  const int scale = q < 50 ? 5000 / q : 200 - 2 * q;
  const int v = (base * scale + 50) / 100;
  return v < 1 ? 1 : v > 255 ? 255 : v;
}

}  // namespace

std::vector<Coefs> ReferenceCoefs(const Image& img, int sub, int quality, bool simdQuant) {
  const int H = sub == 0 ? 1 : 2, V = sub == 1 ? 2 : 1;
  const int mw = 8 * H, mh = 8 * V;
  const int mcusX = (img.w + mw - 1) / mw, mcusY = (img.h + mh - 1) / mh;
  std::vector<Coefs> out(3);
  const int hs[3] = {H, 1, 1}, vs[3] = {V, 1, 1};
  for (int i = 0; i < 3; ++i) {
    out[i].blocksW = mcusX * hs[i];
    out[i].blocksH = mcusY * vs[i];
    out[i].c.assign((size_t)out[i].blocksW * out[i].blocksH * 64, 0);
  }
  std::vector<int> yp(mw * mh), cbp(mw * mh), crp(mw * mh);
  for (int my = 0; my < mcusY; ++my)
    for (int mx = 0; mx < mcusX; ++mx) {
      const int vc = std::min(mw, img.w - mx * mw), vr = std::min(mh, img.h - my * mh);
      const bool whole = vc == mw && vr == mh;
      auto px = [&](int x, int y, int& r, int& g, int& b) {
        const uint8_t* p = img.Row(my * mh + y) + (mx * mw + x) * 3;
        b = p[0];
        g = p[1];
        r = p[2];
      };
      int16_t blocks[6][64];
      int16_t* cbb = blocks[H * V];
      int16_t* crb = blocks[H * V + 1];
      if (whole) {
        for (int y = 0; y < mh; ++y)
          for (int x = 0; x < mw; ++x) {
            int r, g, b;
            px(x, y, r, g, b);
            blocks[(y / 8) * H + x / 8][(y % 8) * 8 + x % 8] = (int16_t)Luma(r, g, b);
          }
        const int n = H * V, shift = n == 4 ? 10 : n == 2 ? 9 : 8;
        for (int cy = 0; cy < 8; ++cy)
          for (int cx = 0; cx < 8; ++cx) {
            int sr = 0, sg = 0, sb = 0;
            for (int dy = 0; dy < V; ++dy)
              for (int dx = 0; dx < H; ++dx) {
                int r, g, b;
                px(cx * H + dx, cy * V + dy, r, g, b);
                sr += r;
                sg += g;
                sb += b;
              }
            cbb[cy * 8 + cx] = (int16_t)Cb(sr, sg, sb, 128 * n, shift);
            crb[cy * 8 + cx] = (int16_t)Cr(sr, sg, sb, 128 * n, shift);
          }
      } else {
        for (int y = 0; y < mh; ++y)
          for (int x = 0; x < mw; ++x) {
            int r, g, b;
            px(std::min(x, vc - 1), std::min(y, vr - 1), r, g, b);
            yp[y * mw + x] = Luma(r, g, b);
            cbp[y * mw + x] = Cb(r, g, b, 128, 8);
            crp[y * mw + x] = Cr(r, g, b, 128, 8);
          }
        for (int y = 0; y < mh; ++y)
          for (int x = 0; x < mw; ++x) blocks[(y / 8) * H + x / 8][(y % 8) * 8 + x % 8] = (int16_t)yp[y * mw + x];
        const int n = H * V;
        for (int cy = 0; cy < 8; ++cy)
          for (int cx = 0; cx < 8; ++cx) {
            int sb = 0, sr = 0;
            for (int dy = 0; dy < V; ++dy)
              for (int dx = 0; dx < H; ++dx) {
                sb += cbp[(cy * V + dy) * mw + cx * H + dx];
                sr += crp[(cy * V + dy) * mw + cx * H + dx];
              }
            cbb[cy * 8 + cx] = (int16_t)((sb + n / 2) >> (n == 4 ? 2 : n == 2 ? 1 : 0));
            crb[cy * 8 + cx] = (int16_t)((sr + n / 2) >> (n == 4 ? 2 : n == 2 ? 1 : 0));
          }
      }
      int b = 0;
      for (int comp = 0; comp < 3; ++comp)
        for (int by = 0; by < vs[comp]; ++by)
          for (int bx = 0; bx < hs[comp]; ++bx, ++b) {
            int16_t* blk = blocks[b];
            RefFdct(blk);
            int16_t* dst =
                out[comp].c.data() + ((size_t)(my * vs[comp] + by) * out[comp].blocksW + mx * hs[comp] + bx) * 64;
            for (int k = 0; k < 64; ++k) {
              const int step = Step(k, comp != 0, quality);
              const int r = 32768 / step;
              const int c = blk[k];
              int v;
              if (simdQuant) {
                const int16_t c8 = (int16_t)(uint16_t)(c * 8);
                v = (((int)c8 * (r >> 1)) >> 16);
                v = (int16_t)(v + 1) >> 1;
              } else {
                v = (c * r + 16384) >> 15;
              }
              dst[k] = (int16_t)v;
            }
          }
    }
  return out;
}

// ---- libjpeg-turbo -------------------------------------------------------------------

namespace {

struct StrictError {
  jpeg_error_mgr mgr;
  jmp_buf jump;
  int warnings = 0;
  char message[JMSG_LENGTH_MAX] = {0};
};

void OnError(j_common_ptr cinfo) {
  StrictError* e = reinterpret_cast<StrictError*>(cinfo->err);
  e->mgr.format_message(cinfo, e->message);
  longjmp(e->jump, 1);
}

void OnMessage(j_common_ptr cinfo, int level) {
  StrictError* e = reinterpret_cast<StrictError*>(cinfo->err);
  if (level < 0) {
    ++e->warnings;
    if (!e->message[0]) e->mgr.format_message(cinfo, e->message);
  }
}

// Runs the libjpeg part without C++ objects between setjmp and longjmp.
bool ReadCoefsRaw(jpeg_decompress_struct* cinfo, StrictError* err, const uint8_t* data, size_t size, Decoded* out) {
  if (setjmp(err->jump)) return false;
  jpeg_create_decompress(cinfo);
  jpeg_mem_src(cinfo, data, (unsigned long)size);
  jpeg_read_header(cinfo, TRUE);
  jvirt_barray_ptr* arrays = jpeg_read_coefficients(cinfo);
  out->w = (int)cinfo->image_width;
  out->h = (int)cinfo->image_height;
  out->comps = cinfo->num_components;
  out->progressive = cinfo->progressive_mode != 0;
  out->coefs.resize((size_t)cinfo->num_components);
  out->compBlocksW.resize((size_t)cinfo->num_components);
  out->compBlocksH.resize((size_t)cinfo->num_components);
  for (int ci = 0; ci < cinfo->num_components; ++ci) {
    jpeg_component_info* comp = &cinfo->comp_info[ci];
    const int bw = (int)((comp->width_in_blocks + comp->h_samp_factor - 1) / comp->h_samp_factor * comp->h_samp_factor);
    const int bh =
        (int)((comp->height_in_blocks + comp->v_samp_factor - 1) / comp->v_samp_factor * comp->v_samp_factor);
    Coefs& c = out->coefs[(size_t)ci];
    c.blocksW = bw;
    c.blocksH = bh;
    c.c.resize((size_t)bw * bh * 64);
    out->compBlocksW[(size_t)ci] = (int)comp->width_in_blocks;
    out->compBlocksH[(size_t)ci] = (int)comp->height_in_blocks;
    for (int by = 0; by < bh; ++by) {
      JBLOCKARRAY rows = (*cinfo->mem->access_virt_barray)((j_common_ptr)cinfo, arrays[ci], (JDIMENSION)by, 1, FALSE);
      for (int bx = 0; bx < bw; ++bx)
        std::memcpy(c.c.data() + ((size_t)by * bw + bx) * 64, rows[0][bx], 64 * sizeof(int16_t));
    }
  }
  jpeg_finish_decompress(cinfo);
  return true;
}

bool DecodeRaw(jpeg_decompress_struct* cinfo, StrictError* err, const uint8_t* data, size_t size, bool rgb,
               Decoded* out) {
  if (setjmp(err->jump)) return false;
  jpeg_create_decompress(cinfo);
  jpeg_mem_src(cinfo, data, (unsigned long)size);
  jpeg_read_header(cinfo, TRUE);
  if (rgb && cinfo->num_components == 3)
    cinfo->out_color_space = JCS_RGB;
  else if (!rgb)
    cinfo->out_color_space = cinfo->jpeg_color_space;
  cinfo->dct_method = JDCT_ISLOW;
  jpeg_start_decompress(cinfo);
  out->w = (int)cinfo->output_width;
  out->h = (int)cinfo->output_height;
  out->comps = cinfo->output_components;
  out->pixels.resize((size_t)out->w * out->h * out->comps);
  while (cinfo->output_scanline < cinfo->output_height) {
    JSAMPROW row = out->pixels.data() + (size_t)cinfo->output_scanline * out->w * out->comps;
    jpeg_read_scanlines(cinfo, &row, 1);
  }
  jpeg_finish_decompress(cinfo);
  return true;
}

}  // namespace

Decoded LibjpegReadCoefs(const std::vector<uint8_t>& jpeg) {
  Decoded d;
  jpeg_decompress_struct cinfo;
  StrictError err;
  cinfo.err = jpeg_std_error(&err.mgr);
  err.mgr.error_exit = OnError;
  err.mgr.emit_message = OnMessage;
  d.ok = ReadCoefsRaw(&cinfo, &err, jpeg.data(), jpeg.size(), &d);
  jpeg_destroy_decompress(&cinfo);
  d.warnings = err.warnings;
  d.error = err.message;
  return d;
}

Decoded LibjpegDecode(const std::vector<uint8_t>& jpeg, bool rgb) {
  Decoded d;
  jpeg_decompress_struct cinfo;
  StrictError err;
  cinfo.err = jpeg_std_error(&err.mgr);
  err.mgr.error_exit = OnError;
  err.mgr.emit_message = OnMessage;
  d.ok = DecodeRaw(&cinfo, &err, jpeg.data(), jpeg.size(), rgb, &d);
  jpeg_destroy_decompress(&cinfo);
  d.warnings = err.warnings;
  d.error = err.message;
  return d;
}

std::vector<uint8_t> LibjpegEncodeBgr(const Image& bgr, int quality, int sub) {
  jpeg_compress_struct cinfo;
  jpeg_error_mgr jerr;
  cinfo.err = jpeg_std_error(&jerr);
  jpeg_create_compress(&cinfo);
  unsigned char* mem = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&cinfo, &mem, &size);
  cinfo.image_width = (JDIMENSION)bgr.w;
  cinfo.image_height = (JDIMENSION)bgr.h;
  cinfo.input_components = 3;
  cinfo.in_color_space = JCS_EXT_BGR;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, quality, TRUE);
  cinfo.dct_method = JDCT_ISLOW;
  cinfo.optimize_coding = FALSE;
  cinfo.comp_info[0].h_samp_factor = sub == 0 ? 1 : 2;
  cinfo.comp_info[0].v_samp_factor = sub == 1 ? 2 : 1;
  jpeg_start_compress(&cinfo, TRUE);
  while (cinfo.next_scanline < cinfo.image_height) {
    JSAMPROW row = const_cast<uint8_t*>(bgr.Row((int)cinfo.next_scanline));
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  std::vector<uint8_t> out(mem, mem + size);
  jpeg_destroy_compress(&cinfo);
  free(mem);
  return out;
}

double Psnr(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
  if (a.size() != b.size() || a.empty()) return 0;
  double se = 0;
  for (size_t i = 0; i < a.size(); ++i) {
    const double d = (double)a[i] - b[i];
    se += d * d;
  }
  if (se == 0) return 99;
  return 10 * std::log10(255.0 * 255.0 * a.size() / se);
}

std::vector<uint8_t> BgrToRgb(const Image& bgr) {
  std::vector<uint8_t> out(bgr.px.size());
  for (size_t i = 0; i + 2 < bgr.px.size(); i += 3) {
    out[i] = bgr.px[i + 2];
    out[i + 1] = bgr.px[i + 1];
    out[i + 2] = bgr.px[i];
  }
  return out;
}

}  // namespace jt
