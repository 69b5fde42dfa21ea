#include "tests/jpegdec/dec_util.h"

#include <gtest/gtest.h>
#include <jpeglib.h>
#include <setjmp.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>

#include "jpeg/decoder/dec_internal.h"
#include "tests/support/temp_folder.h"

namespace jd {

namespace {

struct ErrorManager {
  jpeg_error_mgr pub;
  jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
  int warnings;
};

void OnError(j_common_ptr c) {
  ErrorManager* e = reinterpret_cast<ErrorManager*>(c->err);
  (*c->err->format_message)(c, e->message);
  longjmp(e->jump, 1);
}

void OnMessage(j_common_ptr c, int level) {
  if (level < 0) ++reinterpret_cast<ErrorManager*>(c->err)->warnings;
}

ErrorManager* Errors(jpeg_compress_struct* c, ErrorManager* e) {
  c->err = jpeg_std_error(&e->pub);
  e->pub.error_exit = OnError;
  e->pub.emit_message = OnMessage;
  e->warnings = 0;
  return e;
}

ErrorManager* Errors(jpeg_decompress_struct* d, ErrorManager* e) {
  d->err = jpeg_std_error(&e->pub);
  e->pub.error_exit = OnError;
  e->pub.emit_message = OnMessage;
  e->warnings = 0;
  return e;
}

}  // namespace

std::string TempPath(const std::string& name) {
  static const std::string folder = vtest::ScratchFolder("jpegdec", "files");
  return folder + "/" + name;
}

void UseCpuKind(int kind) {
  const std::string path = TempPath("registry.txt");
  std::ofstream f(path);
  f << "[HKEY_LOCAL_MACHINE\\Software\\Portable Codecs\\CodecSuite\\JpegLib]\nUSECPU=dword:" << kind << "\n";
  f.close();
  setenv("VELMI_REGISTRY", path.c_str(), 1);
}

namespace {
// Every test starts on the plain kind, whatever ran before it in the process.
class PinPlainKind : public ::testing::EmptyTestEventListener {
  void OnTestStart(const ::testing::TestInfo&) override { UseCpuKind(0); }
};
const bool kPinned = [] {
  ::testing::UnitTest::GetInstance()->listeners().Append(new PinPlainKind);
  return true;
}();
}  // namespace

Pixels MakePicture(int w, int h, int ch, uint32_t seed) {
  Pixels p;
  p.w = w;
  p.h = h;
  p.ch = ch;
  p.px.resize((size_t)w * h * ch);
  std::mt19937 rng(seed);
  std::uniform_int_distribution<int> noise(-12, 12);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      // Smooth gradients, a disc and a little noise: photo-like content.
      const double dx = x - w * 0.4, dy = y - h * 0.6;
      const bool disc = dx * dx + dy * dy < (w * h) * 0.05;
      for (int c = 0; c < ch; ++c) {
        int v = (int)(128 + 100 * std::sin((x * (c + 1) + y * 2) * 0.05 + c)) + noise(rng);
        if (disc) v = c == 0 ? 230 : c == 1 ? 40 : 90;
        p.px[((size_t)y * w + x) * ch + c] = (uint8_t)(v < 0 ? 0 : v > 255 ? 255 : v);
      }
    }
  return p;
}

std::vector<uint8_t> LjEncode(const Pixels& in, const LjWrite& opt) {
  jpeg_compress_struct c;
  ErrorManager e;
  Errors(&c, &e);
  unsigned char* mem = nullptr;
  unsigned long size = 0;
  jpeg_create_compress(&c);
  if (setjmp(e.jump)) {
    ADD_FAILURE() << "libjpeg encode: " << e.message;
    jpeg_destroy_compress(&c);
    std::free(mem);
    return {};
  }
  jpeg_mem_dest(&c, &mem, &size);
  c.image_width = in.w;
  c.image_height = in.h;
  c.input_components = in.ch;
  c.in_color_space = in.ch == 1 ? JCS_GRAYSCALE : in.ch == 3 ? JCS_RGB : JCS_CMYK;
  jpeg_set_defaults(&c);
  if (opt.colorSpace) jpeg_set_colorspace(&c, (J_COLOR_SPACE)opt.colorSpace);
  if (!opt.jfif) c.write_JFIF_header = FALSE;
  jpeg_set_quality(&c, opt.quality, TRUE);
  if (c.num_components >= 3) {
    c.comp_info[0].h_samp_factor = opt.hs;
    c.comp_info[0].v_samp_factor = opt.vs;
    for (int i = 1; i < c.num_components; ++i) c.comp_info[i].h_samp_factor = c.comp_info[i].v_samp_factor = 1;
    if (c.num_components == 4) {
      c.comp_info[3].h_samp_factor = opt.hs;
      c.comp_info[3].v_samp_factor = opt.vs;
    }
  }
  if (opt.wideQuant0) {
    unsigned int steps[64];
    for (int k = 0; k < 64; ++k) steps[k] = 16 + 8 * k;  // up to 520
    jpeg_add_quant_table(&c, 0, steps, 100, FALSE);
  }
  if (opt.fullAcTable0) {
    JHUFF_TBL* t = jpeg_alloc_huff_table(reinterpret_cast<j_common_ptr>(&c));
    std::memset(t->bits, 0, sizeof t->bits);
    t->bits[8] = 255;
    t->bits[9] = 1;
    for (int k = 0; k < 256; ++k) t->huffval[k] = (UINT8)k;
    c.ac_huff_tbl_ptrs[0] = t;
  }
  c.optimize_coding = opt.optimize;
  c.restart_in_rows = opt.restartRows;
  c.restart_interval = opt.restartMcus;
  jpeg_scan_info scans[4];
  if (opt.progressive) jpeg_simple_progression(&c);
  if (opt.nonInterleaved) {
    for (int i = 0; i < c.num_components; ++i) {
      scans[i].comps_in_scan = 1;
      scans[i].component_index[0] = i;
      scans[i].Ss = 0;
      scans[i].Se = 63;
      scans[i].Ah = scans[i].Al = 0;
    }
    c.scan_info = scans;
    c.num_scans = c.num_components;
  }
  jpeg_start_compress(&c, TRUE);
  if (!opt.comment.empty())
    jpeg_write_marker(&c, JPEG_COM, reinterpret_cast<const JOCTET*>(opt.comment.data()), (unsigned)opt.comment.size());
  if (!opt.app0.empty()) jpeg_write_marker(&c, JPEG_APP0, opt.app0.data(), (unsigned)opt.app0.size());
  std::vector<JSAMPROW> rows(in.h);
  for (int y = 0; y < in.h; ++y) rows[y] = const_cast<JSAMPROW>(in.px.data() + (size_t)y * in.w * in.ch);
  while (c.next_scanline < c.image_height)
    jpeg_write_scanlines(&c, rows.data() + c.next_scanline, c.image_height - c.next_scanline);
  jpeg_finish_compress(&c);
  jpeg_destroy_compress(&c);
  std::vector<uint8_t> out(mem, mem + size);
  std::free(mem);
  EXPECT_EQ(e.warnings, 0);
  return out;
}

LjImage LjDecode(const std::vector<uint8_t>& jpeg, int scaleDenom, int outSpace, bool fancy) {
  jpeg_decompress_struct d;
  ErrorManager e;
  Errors(&d, &e);
  LjImage img;
  jpeg_create_decompress(&d);
  if (setjmp(e.jump)) {
    ADD_FAILURE() << "libjpeg decode: " << e.message;
    jpeg_destroy_decompress(&d);
    return LjImage{};
  }
  jpeg_mem_src(&d, jpeg.data(), (unsigned long)jpeg.size());
  jpeg_read_header(&d, TRUE);
  d.dct_method = JDCT_ISLOW;
  d.do_fancy_upsampling = fancy ? TRUE : FALSE;
  d.scale_num = 1;
  d.scale_denom = scaleDenom;
  d.out_color_space = d.num_components == 1 ? JCS_GRAYSCALE : d.num_components == 3 ? JCS_RGB : JCS_CMYK;
  if (outSpace) d.out_color_space = (J_COLOR_SPACE)outSpace;
  jpeg_start_decompress(&d);
  img.w = d.output_width;
  img.h = d.output_height;
  img.comps = d.output_components;
  img.px.resize((size_t)img.w * img.h * img.comps);
  while (d.output_scanline < d.output_height) {
    JSAMPROW row = img.px.data() + (size_t)d.output_scanline * img.w * img.comps;
    jpeg_read_scanlines(&d, &row, 1);
  }
  jpeg_finish_decompress(&d);
  jpeg_destroy_decompress(&d);
  EXPECT_EQ(e.warnings, 0);
  return img;
}

void LjEncodeAbbreviated(const Pixels& in, std::vector<uint8_t>* tables, std::vector<uint8_t>* image) {
  jpeg_compress_struct c;
  ErrorManager e;
  Errors(&c, &e);
  unsigned char* mem = nullptr;
  unsigned long size = 0;
  jpeg_create_compress(&c);
  if (setjmp(e.jump)) {
    ADD_FAILURE() << "libjpeg encode: " << e.message;
    jpeg_destroy_compress(&c);
    std::free(mem);
    return;
  }
  c.image_width = in.w;
  c.image_height = in.h;
  c.input_components = 3;
  c.in_color_space = JCS_RGB;
  jpeg_set_defaults(&c);
  jpeg_mem_dest(&c, &mem, &size);
  jpeg_write_tables(&c);
  tables->assign(mem, mem + size);
  std::free(mem);
  mem = nullptr;
  size = 0;
  jpeg_mem_dest(&c, &mem, &size);
  jpeg_suppress_tables(&c, TRUE);
  jpeg_start_compress(&c, FALSE);
  std::vector<JSAMPROW> rows(in.h);
  for (int y = 0; y < in.h; ++y) rows[y] = const_cast<JSAMPROW>(in.px.data() + (size_t)y * in.w * 3);
  while (c.next_scanline < c.image_height)
    jpeg_write_scanlines(&c, rows.data() + c.next_scanline, c.image_height - c.next_scanline);
  jpeg_finish_compress(&c);
  jpeg_destroy_compress(&c);
  image->assign(mem, mem + size);
  std::free(mem);
}

std::vector<LjCoefs> LjReadCoefs(const std::vector<uint8_t>& jpeg) {
  jpeg_decompress_struct d;
  ErrorManager e;
  Errors(&d, &e);
  std::vector<LjCoefs> out;
  jpeg_create_decompress(&d);
  if (setjmp(e.jump)) {
    ADD_FAILURE() << "libjpeg coefficients: " << e.message;
    jpeg_destroy_decompress(&d);
    return {};
  }
  jpeg_mem_src(&d, jpeg.data(), (unsigned long)jpeg.size());
  jpeg_read_header(&d, TRUE);
  jvirt_barray_ptr* arrays = jpeg_read_coefficients(&d);
  for (int ci = 0; ci < d.num_components; ++ci) {
    const jpeg_component_info& comp = d.comp_info[ci];
    LjCoefs k;
    k.blocksW = comp.width_in_blocks;
    k.blocksH = comp.height_in_blocks;
    k.c.resize((size_t)k.blocksW * k.blocksH * 64);
    for (int by = 0; by < k.blocksH; ++by) {
      JBLOCKARRAY row = (*d.mem->access_virt_barray)((j_common_ptr)&d, arrays[ci], by, 1, FALSE);
      for (int bx = 0; bx < k.blocksW; ++bx)
        for (int i = 0; i < 64; ++i) k.c[((size_t)by * k.blocksW + bx) * 64 + i] = row[0][bx][i];
    }
    out.push_back(std::move(k));
  }
  jpeg_finish_decompress(&d);
  jpeg_destroy_decompress(&d);
  return out;
}

std::vector<uint8_t> LjWriteCoefs(int w, int h, int comps, int hs, int vs, const std::vector<LjCoefs>& coefs,
                                  bool progressive, int restartMcus) {
  // A carrier picture of the wanted geometry gives the coefficient arrays.
  LjWrite opt;
  opt.hs = hs;
  opt.vs = vs;
  opt.quality = 50;
  const std::vector<uint8_t> carrier = LjEncode(MakePicture(w, h, comps, 3), opt);
  jpeg_decompress_struct d;
  jpeg_compress_struct c;
  ErrorManager ed, ec;
  Errors(&d, &ed);
  Errors(&c, &ec);
  unsigned char* mem = nullptr;
  unsigned long size = 0;
  jpeg_create_decompress(&d);
  jpeg_create_compress(&c);
  if (setjmp(ed.jump) || setjmp(ec.jump)) {
    ADD_FAILURE() << "libjpeg transcode: " << ed.message << ec.message;
    jpeg_destroy_compress(&c);
    jpeg_destroy_decompress(&d);
    std::free(mem);
    return {};
  }
  jpeg_mem_src(&d, carrier.data(), (unsigned long)carrier.size());
  jpeg_read_header(&d, TRUE);
  jvirt_barray_ptr* arrays = jpeg_read_coefficients(&d);
  for (int ci = 0; ci < d.num_components && ci < (int)coefs.size(); ++ci) {
    const LjCoefs& k = coefs[ci];
    for (int by = 0; by < k.blocksH; ++by) {
      JBLOCKARRAY row = (*d.mem->access_virt_barray)((j_common_ptr)&d, arrays[ci], by, 1, TRUE);
      for (int bx = 0; bx < k.blocksW; ++bx)
        for (int i = 0; i < 64; ++i) row[0][bx][i] = k.c[((size_t)by * k.blocksW + bx) * 64 + i];
    }
  }
  jpeg_mem_dest(&c, &mem, &size);
  jpeg_copy_critical_parameters(&d, &c);
  if (progressive) jpeg_simple_progression(&c);
  c.restart_interval = restartMcus;
  jpeg_write_coefficients(&c, arrays);
  jpeg_finish_compress(&c);
  jpeg_finish_decompress(&d);
  jpeg_destroy_compress(&c);
  jpeg_destroy_decompress(&d);
  std::vector<uint8_t> out(mem, mem + size);
  std::free(mem);
  return out;
}

Decode OurDecode(const std::vector<uint8_t>& jpeg, const ReadOptions& ro) {
  Decode r;
  JpegJob job;
  if (JpegInit(&job) != 0) return r;
  if (ro.plainOutput) JpegFillPlainOutputKernels(job.props.out.kernels);
  job.jpegBuffer = const_cast<uint8_t*>(jpeg.data());
  job.jpegBufferSize = (int32_t)jpeg.size();
  r.status = JpegRead(&job, 1);
  if (r.status != 0) {
    JpegFree(&job);
    return r;
  }
  const int scale = (ro.io == 15) ? 2 : (ro.io == 17) ? 4 : (ro.io == 19) ? 8 : 1;
  int w = (job.jpegWidth + scale - 1) / scale, h = (job.jpegHeight + scale - 1) / scale;
  if (ro.roi[2] || ro.roi[3]) {
    w = ro.roi[2] - ro.roi[0];
    h = ro.roi[3] - ro.roi[1];
  }
  r.w = w;
  r.h = h;
  const int stride = w * ro.dibChannels + ro.padding;
  std::vector<uint8_t> buffer((size_t)stride * h, 0xCD);
  job.dibPixels = buffer.data();
  job.dibWidth = w;
  job.dibHeight = ro.bottomUp ? -h : h;
  job.dibChannels = ro.dibChannels;
  job.dibColor = ro.dibColor;
  job.dibRowPadding = ro.padding;
  job.props.dctMethod = ro.dctMethod;
  job.props.dec.smoothing = ro.smoothing;
  std::memcpy(job.props.dec.roi, ro.roi, sizeof ro.roi);
  int calls = 0;
  do {
    job.props.stopRequest = ro.interrupt ? 1 : 0;
    r.status = JpegRead(&job, ro.io);
    ++calls;
  } while (r.status == 1 && calls < 1000000);
  JpegFree(&job);
  r.px.resize((size_t)w * h * ro.dibChannels);
  for (int y = 0; y < h; ++y) {
    const int src = ro.bottomUp ? h - 1 - y : y;
    std::memcpy(r.px.data() + (size_t)y * w * ro.dibChannels, buffer.data() + (size_t)src * stride,
                (size_t)w * ro.dibChannels);
    for (int k = 0; k < ro.padding; ++k) EXPECT_EQ(buffer[(size_t)src * stride + w * ro.dibChannels + k], 0xCD);
  }
  return r;
}

std::vector<LjCoefs> OurCoefs(const std::vector<uint8_t>& jpeg, JpegStatus* status) {
  JpegJob job;
  std::vector<LjCoefs> out;
  *status = JpegInit(&job);
  if (*status != 0) return out;
  job.jpegBuffer = const_cast<uint8_t*>(jpeg.data());
  job.jpegBufferSize = (int32_t)jpeg.size();
  *status = JpegRead(&job, 1);
  if (*status != 0) {
    JpegFree(&job);
    return out;
  }
  const JpegDecoderState& d = job.props.dec;
  const int mcusPerRow = job.props.mcusPerRow, mcuRows = job.props.mcuRows;
  JpegCoefPlanes planes{};
  std::vector<std::vector<int16_t>> store(d.ncomp);
  for (int c = 0; c < d.ncomp; ++c) {
    store[c].assign((size_t)mcusPerRow * d.frame[c].h * 8 * mcuRows * d.frame[c].v * 8, 0);
    planes.plane[c] = store[c].data();
  }
  job.props.coefPlanes = &planes;
  *status = JpegRead(&job, 3);
  for (int c = 0; c < d.ncomp; ++c) {
    LjCoefs k;
    const int hmax = job.props.hMax, vmax = job.props.vMax;
    const int compW = (job.jpegWidth * d.frame[c].h + hmax - 1) / hmax;
    const int compH = (job.jpegHeight * d.frame[c].v + vmax - 1) / vmax;
    k.blocksW = (compW + 7) / 8;
    k.blocksH = (compH + 7) / 8;
    const int planeW = mcusPerRow * d.frame[c].h * 8;
    k.c.resize((size_t)k.blocksW * k.blocksH * 64);
    for (int by = 0; by < k.blocksH; ++by)
      for (int bx = 0; bx < k.blocksW; ++bx)
        for (int i = 0; i < 64; ++i)
          k.c[((size_t)by * k.blocksW + bx) * 64 + i] = store[c][(size_t)(by * 8 + i / 8) * planeW + bx * 8 + i % 8];
    out.push_back(std::move(k));
  }
  JpegFree(&job);
  return out;
}

double Psnr(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
  if (a.size() != b.size() || a.empty()) return 0;
  double se = 0;
  for (size_t i = 0; i < a.size(); ++i) se += (double)(a[i] - b[i]) * (a[i] - b[i]);
  if (se == 0) return 99;
  return 10 * std::log10(255.0 * 255.0 * a.size() / se);
}

int MaxDiff(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
  if (a.size() != b.size()) return 256;
  int m = 0;
  for (size_t i = 0; i < a.size(); ++i) m = std::max(m, std::abs(a[i] - b[i]));
  return m;
}

}  // namespace jd
