// The Ogg Vorbis encoder library "oggenc", on libvorbisenc and libogg:
// one call codes a whole 16-bit PCM buffer into one Ogg stream in memory.
// The stream serial number is fixed so that the same samples always give
// the same bytes.
#include <oggenc.h>

#include <vorbis/vorbisenc.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "formats/le_bytes.h"

namespace {

constexpr int kSerial = 0x56454C4D;
constexpr long kChunkFrames = 1024;

void Append(std::vector<BYTE>& out, const ogg_page& page) {
  out.insert(out.end(), page.header, page.header + page.header_len);
  out.insert(out.end(), page.body, page.body + page.body_len);
}

bool Encode(float quality, const WAVEFORMATEX& fmt, const BYTE* samples, DWORD bytes, std::vector<BYTE>& out) {
  const int ch = fmt.nChannels;
  vorbis_info vi;
  vorbis_info_init(&vi);
  if (vorbis_encode_init_vbr(&vi, ch, long(fmt.nSamplesPerSec), std::clamp(quality, -0.1f, 1.0f)) != 0) {
    vorbis_info_clear(&vi);
    return false;
  }
  vorbis_comment vc;
  vorbis_comment_init(&vc);
  vorbis_dsp_state vd;
  vorbis_block vb;
  vorbis_analysis_init(&vd, &vi);
  vorbis_block_init(&vd, &vb);
  ogg_stream_state os;
  ogg_stream_init(&os, kSerial);

  ogg_packet id, comment, codebooks;
  vorbis_analysis_headerout(&vd, &vc, &id, &comment, &codebooks);
  ogg_stream_packetin(&os, &id);
  ogg_stream_packetin(&os, &comment);
  ogg_stream_packetin(&os, &codebooks);
  ogg_page page;
  while (ogg_stream_flush(&os, &page)) Append(out, page);  // audio starts on a page of its own

  const long frames = long(bytes / (2u * ch));
  long done = 0;
  bool eos = false;
  while (!eos) {
    const long n = std::min(kChunkFrames, frames - done);
    if (n > 0) {
      float** buf = vorbis_analysis_buffer(&vd, int(n));
      const BYTE* p = samples + size_t(done) * 2 * ch;
      for (long f = 0; f < n; ++f)
        for (int c = 0; c < ch; ++c, p += 2) buf[c][f] = float(int16_t(GetLe16(p))) / 32768.0f;
      vorbis_analysis_wrote(&vd, int(n));
      done += n;
    } else {
      vorbis_analysis_wrote(&vd, 0);  // end of input
    }
    while (vorbis_analysis_blockout(&vd, &vb) == 1) {
      vorbis_analysis(&vb, nullptr);
      vorbis_bitrate_addblock(&vb);
      ogg_packet op;
      while (vorbis_bitrate_flushpacket(&vd, &op)) {
        ogg_stream_packetin(&os, &op);
        while (ogg_stream_pageout(&os, &page)) {
          Append(out, page);
          if (ogg_page_eos(&page)) eos = true;
        }
      }
    }
    if (n <= 0 && !eos) {
      // Everything has been handed over; write what the stream still holds.
      while (ogg_stream_flush(&os, &page)) Append(out, page);
      eos = true;
    }
  }
  ogg_stream_clear(&os);
  vorbis_block_clear(&vb);
  vorbis_dsp_clear(&vd);
  vorbis_comment_clear(&vc);
  vorbis_info_clear(&vi);
  return true;
}

}  // namespace

extern "C" void* GetOggEncodeProcessMemory(float quality, const WAVEFORMATEX* format, const void* samples,
                                           DWORD* size) {
  if (!size) return nullptr;
  const DWORD bytes = *size;
  *size = 0;
  if (!format || (!samples && bytes)) return nullptr;
  if (format->wFormatTag != WAVE_FORMAT_PCM || format->wBitsPerSample != 16 || format->nChannels < 1 ||
      format->nChannels > 2 || format->nSamplesPerSec < 1000 || format->nSamplesPerSec > 192000)
    return nullptr;
  std::vector<BYTE> out;
  try {
    if (!Encode(quality, *format, static_cast<const BYTE*>(samples), bytes, out)) return nullptr;
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
  void* block = LocalAlloc(LMEM_FIXED, out.size());
  if (!block) return nullptr;
  std::memcpy(block, out.data(), out.size());
  *size = DWORD(out.size());
  return block;
}

extern "C" DWORD GetOggEncodeVer(char* text, DWORD) {
  if (!text) return 0;
  int n = std::snprintf(text, 128, "%s", vorbis_version_string());
  return n < 0 ? 0 : DWORD(std::min(n, 127));
}
