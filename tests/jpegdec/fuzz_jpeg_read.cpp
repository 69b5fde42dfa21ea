// Fuzz target: JpegRead from memory, processor kind pinned to 6 through the
// registry store.  The first byte picks the read (whole, scaled, thumbnail,
// region, interrupted) and the picture layout; the rest is the stream.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "jpeg/jpeglib_api.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  const std::string path = "/tmp/velmi_fuzz_jpeg_read_registry.txt";
  if (FILE* f = std::fopen(path.c_str(), "w")) {
    std::fputs("[HKEY_LOCAL_MACHINE\\Software\\Portable Codecs\\CodecSuite\\JpegLib]\nUSECPU=dword:6\n", f);
    std::fclose(f);
  }
  setenv("VELMI_REGISTRY", path.c_str(), 1);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const uint8_t mode = data[0];
  std::vector<uint8_t> jpeg(data + 1, data + size);
  JpegJob job;
  if (JpegInit(&job) != 0) {
    JpegFree(&job);
    return 0;
  }
  job.jpegBuffer = jpeg.data();
  job.jpegBufferSize = (int32_t)jpeg.size();
  static const int32_t reads[8] = {3, 15, 17, 19, 21, 3, 3, 7};
  const int32_t io = reads[mode & 7];
  if (JpegRead(&job, io == 21 ? 21 : 1) == 0 && io != 21) {
    const int scale = io == 15 ? 2 : io == 17 ? 4 : io == 19 ? 8 : 1;
    const int32_t w = (job.jpegWidth + scale - 1) / scale, h = (job.jpegHeight + scale - 1) / scale;
    if ((int64_t)w * h <= (1 << 18) && w > 0 && h > 0) {
      static const int32_t layouts[4][2] = {{1, 3}, {2, 3}, {5, 4}, {4, 1}};
      const int32_t* l = layouts[(mode >> 3) & 3];
      if (job.jpegChannels == 1 || l[0] != 4) {
        job.dibColor = l[0];
        job.dibChannels = l[1];
      }
      if ((mode >> 5) & 1) job.dibHeight = -1;
      std::vector<uint8_t> px((size_t)w * h * job.dibChannels + 7);
      job.dibPixels = px.data();
      job.dibWidth = w;
      job.dibHeight = job.dibHeight < 0 ? -h : h;
      job.dibRowPadding = 0;
      job.props.dec.smoothing = (mode >> 6) & 1;
      if ((mode & 7) == 5) {
        job.props.dec.roi[0] = w / 3;
        job.props.dec.roi[1] = h / 4;
        job.props.dec.roi[2] = w - w / 5;
        job.props.dec.roi[3] = h - h / 3;
        job.dibWidth = job.props.dec.roi[2] - job.props.dec.roi[0];
        job.dibHeight = job.props.dec.roi[3] - job.props.dec.roi[1];
      }
      int guard = 0;
      JpegStatus st;
      do {
        job.props.stopRequest = ((mode & 7) == 6 || (mode >> 7)) ? 1 : 0;
        st = JpegRead(&job, io);
      } while (st == 1 && ++guard < 100000);
    }
  } else if (io == 21) {
    std::vector<uint8_t> px(256 * 256 * 3);
    job.dibPixels = px.data();
    job.dibWidth = 256;
    job.dibHeight = 256;
    JpegRead(&job, 21);
  }
  JpegFree(&job);
  return 0;
}
