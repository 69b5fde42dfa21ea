// Audio compression manager streams on Linux libraries.
//
// A stream converts one source format into 16-bit (or 8-bit) PCM: the
// compressed WAVE encodings are decoded by libsndfile reading a WAVE image
// that we assemble in memory, channels are mixed or duplicated here, and
// libsamplerate changes the rate.  Each acmStreamConvert call converts its
// whole source buffer, so nothing is held back between calls.
#include <msacm.h>

#include <samplerate.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <vector>

#include "formats/le_bytes.h"

struct VelmiAcmStream {
  std::vector<BYTE> src;  // source WAVEFORMATEX with its codec bytes
  WAVEFORMATEX dst;
};

namespace {

constexpr DWORD kMaxRate = 768000;
constexpr DWORD kMaxBytes = 0xFFFFFFFFu;

void Put16(std::vector<BYTE>& v, unsigned x) { AppendLe16(v, x); }
void Put32(std::vector<BYTE>& v, DWORD x) { AppendLe32(v, x); }
void PutTag(std::vector<BYTE>& v, const char* tag) { AppendTag(v, tag); }

const BYTE* CodecBytes(const std::vector<BYTE>& fmt) { return fmt.data() + sizeof(WAVEFORMATEX); }
WORD CodecByteCount(const std::vector<BYTE>& fmt) { return static_cast<WORD>(fmt.size() - sizeof(WAVEFORMATEX)); }

// Samples per block of the ADPCM encodings: from the codec bytes when they
// carry it, else from the block size; the larger of both bounds the output.
DWORD AdpcmSamplesPerBlock(const std::vector<BYTE>& fmt) {
  const auto* w = reinterpret_cast<const WAVEFORMATEX*>(fmt.data());
  const DWORD ch = w->nChannels, align = w->nBlockAlign;
  DWORD computed = 0;
  if (w->wFormatTag == WAVE_FORMAT_IMA_ADPCM && align > 4 * ch) computed = (align - 4 * ch) * 8 / (4 * ch) + 1;
  if (w->wFormatTag == WAVE_FORMAT_ADPCM && align > 7 * ch) computed = (align - 7 * ch) * 2 / ch + 2;
  DWORD stated = CodecByteCount(fmt) >= 2 ? GetLe16(CodecBytes(fmt)) : 0;
  return std::max(computed, stated);
}

// Upper bound of the frames that `bytes` of source hold.
uint64_t SourceFrames(const std::vector<BYTE>& fmt, DWORD bytes) {
  const auto* w = reinterpret_cast<const WAVEFORMATEX*>(fmt.data());
  switch (w->wFormatTag) {
    case WAVE_FORMAT_PCM:
      return bytes / (uint64_t(w->nChannels) * (w->wBitsPerSample / 8));
    case WAVE_FORMAT_ALAW:
    case WAVE_FORMAT_MULAW:
      return bytes / w->nChannels;
    default: {
      uint64_t blocks = (uint64_t(bytes) + w->nBlockAlign - 1) / w->nBlockAlign;
      return blocks * AdpcmSamplesPerBlock(fmt);
    }
  }
}

uint64_t DestFrames(const VelmiAcmStream& s, uint64_t srcFrames) {
  const auto* w = reinterpret_cast<const WAVEFORMATEX*>(s.src.data());
  if (w->nSamplesPerSec == s.dst.nSamplesPerSec || srcFrames == 0) return srcFrames;
  // The resampler may round up and flush a few frames more than the ratio.
  return (srcFrames * s.dst.nSamplesPerSec + w->nSamplesPerSec - 1) / w->nSamplesPerSec + 64;
}

// In-memory WAVE file for libsndfile: a header we build, then the caller's
// sample bytes, read without copying them.
struct MemoryWave {
  std::vector<BYTE> head;
  const BYTE* data = nullptr;
  sf_count_t dataLen = 0;
  sf_count_t pos = 0;
};

sf_count_t MwLength(void* u) {
  auto* m = static_cast<MemoryWave*>(u);
  return sf_count_t(m->head.size()) + m->dataLen;
}
sf_count_t MwSeek(sf_count_t off, int whence, void* u) {
  auto* m = static_cast<MemoryWave*>(u);
  sf_count_t base = whence == SEEK_CUR ? m->pos : whence == SEEK_END ? MwLength(u) : 0;
  sf_count_t p = base + off;
  // As with a file, a seek past the end succeeds and later reads give
  // nothing; refusing it sends libsndfile's chunk walk round in circles.
  if (p < 0) return -1;
  m->pos = p;
  return p;
}
sf_count_t MwRead(void* ptr, sf_count_t count, void* u) {
  auto* m = static_cast<MemoryWave*>(u);
  auto* out = static_cast<BYTE*>(ptr);
  sf_count_t done = 0;
  const sf_count_t headLen = sf_count_t(m->head.size());
  while (done < count && m->pos < MwLength(u)) {
    sf_count_t n;
    if (m->pos < headLen) {
      n = std::min(count - done, headLen - m->pos);
      std::memcpy(out + done, m->head.data() + m->pos, size_t(n));
    } else {
      n = std::min(count - done, MwLength(u) - m->pos);
      std::memcpy(out + done, m->data + (m->pos - headLen), size_t(n));
    }
    done += n;
    m->pos += n;
  }
  return done;
}
sf_count_t MwWrite(const void*, sf_count_t, void*) { return 0; }
sf_count_t MwTell(void* u) { return static_cast<MemoryWave*>(u)->pos; }

void BuildWaveHead(MemoryWave& m, const std::vector<BYTE>& fmt, DWORD dataLen) {
  std::vector<BYTE>& h = m.head;
  const DWORD fmtLen = 18 + CodecByteCount(fmt);
  h.clear();
  PutTag(h, "RIFF");
  Put32(h, 4 + 8 + fmtLen + (fmtLen & 1) + 8 + dataLen);
  PutTag(h, "WAVE");
  PutTag(h, "fmt ");
  Put32(h, fmtLen);
  // The record field by field (its cbSize says how many codec bytes follow).
  const auto* w = reinterpret_cast<const WAVEFORMATEX*>(fmt.data());
  Put16(h, w->wFormatTag);
  Put16(h, w->nChannels);
  Put32(h, w->nSamplesPerSec);
  Put32(h, w->nAvgBytesPerSec);
  Put16(h, w->nBlockAlign);
  Put16(h, w->wBitsPerSample);
  Put16(h, CodecByteCount(fmt));
  h.insert(h.end(), CodecBytes(fmt), CodecBytes(fmt) + CodecByteCount(fmt));
  if (fmtLen & 1) h.push_back(0);
  PutTag(h, "data");
  Put32(h, dataLen);
}

// Decodes compressed WAVE samples to interleaved 16-bit frames.
bool DecodeWithSndfile(const std::vector<BYTE>& fmt, const BYTE* data, DWORD len, std::vector<int16_t>& out) {
  MemoryWave m;
  BuildWaveHead(m, fmt, len);
  m.data = data;
  m.dataLen = len;
  SF_VIRTUAL_IO io = {MwLength, MwSeek, MwRead, MwWrite, MwTell};
  SF_INFO info{};
  SNDFILE* sf = sf_open_virtual(&io, SFM_READ, &info, &m);
  if (!sf) return false;
  const auto* w = reinterpret_cast<const WAVEFORMATEX*>(fmt.data());
  bool ok = info.channels == w->nChannels;
  out.clear();
  if (ok) {
    const uint64_t cap = SourceFrames(fmt, len);
    out.resize(size_t(cap) * info.channels);
    sf_count_t got = cap ? sf_readf_short(sf, out.data(), sf_count_t(cap)) : 0;
    out.resize(size_t(std::max<sf_count_t>(got, 0)) * info.channels);
  }
  sf_close(sf);
  return ok;
}

// A compressed format is only accepted when libsndfile opens it.
bool SndfileAccepts(const std::vector<BYTE>& fmt) {
  const auto* w = reinterpret_cast<const WAVEFORMATEX*>(fmt.data());
  std::vector<BYTE> block(std::max<DWORD>(w->nBlockAlign, w->nChannels), 0);
  std::vector<int16_t> pcm;
  return DecodeWithSndfile(fmt, block.data(), DWORD(block.size()), pcm);
}

bool ValidSource(const std::vector<BYTE>& fmt) {
  const auto* w = reinterpret_cast<const WAVEFORMATEX*>(fmt.data());
  if (w->nChannels < 1 || w->nChannels > 2 || w->nSamplesPerSec < 1 || w->nSamplesPerSec > kMaxRate) return false;
  switch (w->wFormatTag) {
    case WAVE_FORMAT_PCM:
      return w->wBitsPerSample == 8 || w->wBitsPerSample == 16 || w->wBitsPerSample == 24 || w->wBitsPerSample == 32;
    case WAVE_FORMAT_ALAW:
    case WAVE_FORMAT_MULAW:
      return w->wBitsPerSample == 8 && SndfileAccepts(fmt);
    case WAVE_FORMAT_ADPCM:
    case WAVE_FORMAT_IMA_ADPCM:
      return w->wBitsPerSample == 4 && w->nBlockAlign > 0 && AdpcmSamplesPerBlock(fmt) > 0 && SndfileAccepts(fmt);
    default:
      return false;
  }
}

bool ValidTarget(const WAVEFORMATEX& src, const WAVEFORMATEX& dst) {
  if (dst.wFormatTag != WAVE_FORMAT_PCM) return false;
  if (dst.nChannels < 1 || dst.nChannels > 2) return false;
  if (dst.wBitsPerSample != 8 && dst.wBitsPerSample != 16) return false;
  if (dst.nSamplesPerSec < 1 || dst.nSamplesPerSec > kMaxRate) return false;
  double ratio = double(dst.nSamplesPerSec) / src.nSamplesPerSec;
  return ratio >= 1.0 / 256 && ratio <= 256;  // libsamplerate's range
}

std::vector<BYTE> CopySourceFormat(const WAVEFORMATEX* w) {
  const BYTE* p = reinterpret_cast<const BYTE*>(w);
  // Plain PCM carries no codec bytes, whatever its cbSize field holds.
  size_t extra = w->wFormatTag == WAVE_FORMAT_PCM ? 0 : w->cbSize;
  std::vector<BYTE> v(p, p + sizeof(WAVEFORMATEX) + extra);
  reinterpret_cast<WAVEFORMATEX*>(v.data())->cbSize = WORD(extra);
  return v;
}

int32_t ReadPcmSample(const BYTE* p, unsigned bits) {
  switch (bits) {
    case 8:
      return (int32_t(p[0]) - 128) << 8;
    case 16:
      return int16_t(GetLe16(p));
    case 24:
      return int32_t(uint32_t(GetLe16(p + 1)) << 16 | uint32_t(p[0]) << 8) >> 16;
    default:
      return int32_t(GetLe32(p)) >> 16;
  }
}

bool ConvertWhole(const VelmiAcmStream& s, const BYTE* srcBytes, DWORD srcLen, BYTE* dstBytes, DWORD dstLen,
                  DWORD* dstUsed) {
  const auto* sw = reinterpret_cast<const WAVEFORMATEX*>(s.src.data());
  const unsigned inCh = sw->nChannels, outCh = s.dst.nChannels;
  std::vector<int16_t> in;
  if (sw->wFormatTag == WAVE_FORMAT_PCM) {
    const unsigned bps = sw->wBitsPerSample / 8;
    const size_t frames = size_t(SourceFrames(s.src, srcLen));
    in.resize(frames * inCh);
    for (size_t i = 0; i < in.size(); ++i) in[i] = int16_t(ReadPcmSample(srcBytes + i * bps, sw->wBitsPerSample));
  } else if (!DecodeWithSndfile(s.src, srcBytes, srcLen, in)) {
    return false;
  }
  const size_t frames = in.size() / inCh;

  std::vector<int16_t> mixed;
  if (inCh == outCh) {
    mixed.swap(in);
  } else if (outCh == 1) {
    mixed.resize(frames);
    for (size_t f = 0; f < frames; ++f) mixed[f] = int16_t((int32_t(in[2 * f]) + in[2 * f + 1]) >> 1);
  } else {
    mixed.resize(frames * 2);
    for (size_t f = 0; f < frames; ++f) mixed[2 * f] = mixed[2 * f + 1] = in[f];
  }

  std::vector<int16_t> rated;
  if (sw->nSamplesPerSec == s.dst.nSamplesPerSec || frames == 0) {
    rated.swap(mixed);
  } else {
    const uint64_t outCap = DestFrames(s, frames);
    std::vector<float> fin(mixed.size()), fout(size_t(outCap) * outCh);
    src_short_to_float_array(mixed.data(), fin.data(), int(fin.size()));
    SRC_DATA d{};
    d.data_in = fin.data();
    d.data_out = fout.data();
    d.input_frames = long(frames);
    d.output_frames = long(outCap);
    d.src_ratio = double(s.dst.nSamplesPerSec) / sw->nSamplesPerSec;
    d.end_of_input = 1;
    if (src_simple(&d, SRC_SINC_MEDIUM_QUALITY, int(outCh)) != 0) return false;
    rated.resize(size_t(d.output_frames_gen) * outCh);
    src_float_to_short_array(fout.data(), rated.data(), int(rated.size()));
  }

  const unsigned outBps = s.dst.wBitsPerSample / 8;
  const size_t fitFrames = dstLen / (outBps * outCh);
  const size_t n = std::min(rated.size() / outCh, fitFrames) * outCh;
  for (size_t i = 0; i < n; ++i) {
    if (outBps == 1) {
      dstBytes[i] = BYTE((rated[i] >> 8) + 128);
    } else {
      dstBytes[2 * i] = BYTE(uint16_t(rated[i]));
      dstBytes[2 * i + 1] = BYTE(uint16_t(rated[i]) >> 8);
    }
  }
  *dstUsed = DWORD(n * outBps);
  return true;
}

}  // namespace

MMRESULT acmStreamOpen(LPHACMSTREAM phas, HACMDRIVER, LPWAVEFORMATEX pwfxSrc, LPWAVEFORMATEX pwfxDst,
                       LPWAVEFILTER pwfltr, DWORD_PTR, DWORD_PTR, DWORD fdwOpen) {
  if (phas) *phas = nullptr;
  if (!pwfxSrc || !pwfxDst) return MMSYSERR_INVALPARAM;
  if (pwfltr) return MMSYSERR_NOTSUPPORTED;
  if (fdwOpen & ~DWORD(ACM_STREAMOPENF_QUERY | ACM_STREAMOPENF_NONREALTIME)) return MMSYSERR_INVALFLAG;
  std::vector<BYTE> src = CopySourceFormat(pwfxSrc);
  if (!ValidSource(src) || !ValidTarget(*pwfxSrc, *pwfxDst)) return ACMERR_NOTPOSSIBLE;
  if (fdwOpen & ACM_STREAMOPENF_QUERY) return MMSYSERR_NOERROR;
  if (!phas) return MMSYSERR_INVALPARAM;
  auto* s = new (std::nothrow) VelmiAcmStream;
  if (!s) return MMSYSERR_NOMEM;
  s->src = std::move(src);
  std::memcpy(&s->dst, pwfxDst, 16);
  s->dst.cbSize = 0;
  *phas = s;
  return MMSYSERR_NOERROR;
}

MMRESULT acmStreamClose(HACMSTREAM has, DWORD fdwClose) {
  if (!has) return MMSYSERR_INVALHANDLE;
  if (fdwClose) return MMSYSERR_INVALFLAG;
  delete has;
  return MMSYSERR_NOERROR;
}

MMRESULT acmStreamSize(HACMSTREAM has, DWORD cbInput, LPDWORD pdwOutputBytes, DWORD fdwSize) {
  if (!has) return MMSYSERR_INVALHANDLE;
  if (!pdwOutputBytes) return MMSYSERR_INVALPARAM;
  if (fdwSize != ACM_STREAMSIZEF_SOURCE) return MMSYSERR_NOTSUPPORTED;
  const uint64_t bytes =
      DestFrames(*has, SourceFrames(has->src, cbInput)) * has->dst.nChannels * (has->dst.wBitsPerSample / 8);
  if (bytes > kMaxBytes) return ACMERR_NOTPOSSIBLE;
  *pdwOutputBytes = DWORD(bytes);
  return MMSYSERR_NOERROR;
}

MMRESULT acmStreamReset(HACMSTREAM has, DWORD fdwReset) {
  if (!has) return MMSYSERR_INVALHANDLE;
  return fdwReset ? MMSYSERR_INVALFLAG : MMSYSERR_NOERROR;  // no state is kept between calls
}

MMRESULT acmStreamPrepareHeader(HACMSTREAM has, LPACMSTREAMHEADER pash, DWORD) {
  if (!has) return MMSYSERR_INVALHANDLE;
  if (!pash || pash->cbStruct < sizeof(ACMSTREAMHEADER)) return MMSYSERR_INVALPARAM;
  if ((!pash->pbSrc && pash->cbSrcLength) || (!pash->pbDst && pash->cbDstLength)) return MMSYSERR_INVALPARAM;
  pash->fdwStatus = (pash->fdwStatus & ~DWORD(ACMSTREAMHEADER_STATUSF_DONE)) | ACMSTREAMHEADER_STATUSF_PREPARED;
  return MMSYSERR_NOERROR;
}

MMRESULT acmStreamUnprepareHeader(HACMSTREAM has, LPACMSTREAMHEADER pash, DWORD) {
  if (!has) return MMSYSERR_INVALHANDLE;
  if (!pash || pash->cbStruct < sizeof(ACMSTREAMHEADER)) return MMSYSERR_INVALPARAM;
  if (!(pash->fdwStatus & ACMSTREAMHEADER_STATUSF_PREPARED)) return ACMERR_UNPREPARED;
  pash->fdwStatus &= ~DWORD(ACMSTREAMHEADER_STATUSF_PREPARED);
  return MMSYSERR_NOERROR;
}

MMRESULT acmStreamConvert(HACMSTREAM has, LPACMSTREAMHEADER pash, DWORD fdwConvert) {
  if (!has) return MMSYSERR_INVALHANDLE;
  if (!pash || pash->cbStruct < sizeof(ACMSTREAMHEADER)) return MMSYSERR_INVALPARAM;
  if (fdwConvert & ~DWORD(ACM_STREAMCONVERTF_BLOCKALIGN | ACM_STREAMCONVERTF_START | ACM_STREAMCONVERTF_END))
    return MMSYSERR_INVALFLAG;
  if (!(pash->fdwStatus & ACMSTREAMHEADER_STATUSF_PREPARED)) return ACMERR_UNPREPARED;
  pash->cbSrcLengthUsed = 0;
  pash->cbDstLengthUsed = 0;
  DWORD used = 0;
  bool ok;
  try {
    ok = ConvertWhole(*has, pash->pbSrc, pash->cbSrcLength, pash->pbDst, pash->cbDstLength, &used);
  } catch (const std::bad_alloc&) {
    return MMSYSERR_NOMEM;
  }
  if (!ok) return ACMERR_NOTPOSSIBLE;
  pash->cbSrcLengthUsed = pash->cbSrcLength;
  pash->cbDstLengthUsed = used;
  pash->fdwStatus |= ACMSTREAMHEADER_STATUSF_DONE;
  return MMSYSERR_NOERROR;
}

MMRESULT acmFormatSuggest(HACMDRIVER, LPWAVEFORMATEX pwfxSrc, LPWAVEFORMATEX pwfxDst, DWORD cbwfxDst,
                          DWORD fdwSuggest) {
  const DWORD known = ACM_FORMATSUGGESTF_WFORMATTAG | ACM_FORMATSUGGESTF_NCHANNELS | ACM_FORMATSUGGESTF_NSAMPLESPERSEC |
                      ACM_FORMATSUGGESTF_WBITSPERSAMPLE;
  if (!pwfxSrc || !pwfxDst || cbwfxDst < 16) return MMSYSERR_INVALPARAM;
  if (fdwSuggest & ~known) return MMSYSERR_INVALFLAG;
  std::vector<BYTE> src = CopySourceFormat(pwfxSrc);
  if (!ValidSource(src)) return ACMERR_NOTPOSSIBLE;
  const WAVEFORMATEX& s = *pwfxSrc;
  WAVEFORMATEX d{};
  d.wFormatTag = (fdwSuggest & ACM_FORMATSUGGESTF_WFORMATTAG) ? pwfxDst->wFormatTag : WORD(WAVE_FORMAT_PCM);
  d.nChannels = (fdwSuggest & ACM_FORMATSUGGESTF_NCHANNELS) ? pwfxDst->nChannels : s.nChannels;
  d.nSamplesPerSec = (fdwSuggest & ACM_FORMATSUGGESTF_NSAMPLESPERSEC) ? pwfxDst->nSamplesPerSec : s.nSamplesPerSec;
  if (fdwSuggest & ACM_FORMATSUGGESTF_WBITSPERSAMPLE)
    d.wBitsPerSample = pwfxDst->wBitsPerSample;
  else
    d.wBitsPerSample = (s.wFormatTag == WAVE_FORMAT_PCM && s.wBitsPerSample == 8) ? 8 : 16;
  d.nBlockAlign = WORD(d.nChannels * (d.wBitsPerSample / 8));
  d.nAvgBytesPerSec = d.nBlockAlign * d.nSamplesPerSec;
  d.cbSize = 0;
  if (!ValidTarget(s, d)) return ACMERR_NOTPOSSIBLE;
  std::memcpy(pwfxDst, &d, cbwfxDst >= sizeof(WAVEFORMATEX) ? sizeof(WAVEFORMATEX) : 16);
  return MMSYSERR_NOERROR;
}
