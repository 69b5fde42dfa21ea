#include "sound_fixtures.h"

#include <sndfile.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>

#include "formats/le_bytes.h"
#include "tools/sample_sounds.h"
#include "tests/support/file_io.h"
#include "tests/support/temp_folder.h"

namespace soundtest {
namespace {

struct MemFile {
  Bytes data;
  sf_count_t pos = 0;
};
sf_count_t MLen(void* u) { return sf_count_t(static_cast<MemFile*>(u)->data.size()); }
sf_count_t MSeek(sf_count_t off, int whence, void* u) {
  auto* m = static_cast<MemFile*>(u);
  sf_count_t base = whence == SEEK_CUR ? m->pos : whence == SEEK_END ? MLen(u) : 0;
  m->pos = base + off;
  return m->pos;
}
sf_count_t MRead(void* p, sf_count_t n, void* u) {
  auto* m = static_cast<MemFile*>(u);
  sf_count_t k = std::max<sf_count_t>(0, std::min(n, MLen(u) - m->pos));
  std::memcpy(p, m->data.data() + m->pos, size_t(k));
  m->pos += k;
  return k;
}
sf_count_t MWrite(const void* p, sf_count_t n, void* u) {
  auto* m = static_cast<MemFile*>(u);
  if (m->pos + n > MLen(u)) m->data.resize(size_t(m->pos + n));
  std::memcpy(m->data.data() + m->pos, p, size_t(n));
  m->pos += n;
  return n;
}
sf_count_t MTell(void* u) { return static_cast<MemFile*>(u)->pos; }

bool Run(const std::vector<std::string>& args, std::string* error) {
  pid_t pid = fork();
  if (pid == 0) {
    std::vector<char*> argv;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execvp(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  if (pid < 0 || waitpid(pid, &status, 0) < 0) {
    *error = "cannot start " + args[0];
    return false;
  }
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    *error = args[0] + " failed with status " + std::to_string(status);
    return false;
  }
  return true;
}

bool DecodeWith(const std::vector<std::string>& toolAndFlags, const char* ext, const Bytes& in, Pcm* out,
                std::string* error) {
  static int counter = 0;
  const std::string base = TempDir() + "/dec" + std::to_string(getpid()) + "_" + std::to_string(counter++);
  const std::string src = base + ext, wav = base + ".wav";
  if (!vtest::WriteBytes(src, in)) {
    *error = "cannot write " + src;
    return false;
  }
  std::vector<std::string> args = toolAndFlags;
  args.push_back(wav);
  args.push_back(src);
  bool ok = Run(args, error);
  if (ok) *out = ReadWav(wav);
  std::remove(src.c_str());
  std::remove(wav.c_str());
  if (ok && out->rate == 0) {
    *error = "decoder wrote no readable WAVE";
    ok = false;
  }
  return ok;
}

}  // namespace

std::string TempDir() {
  static const std::string folder = vtest::ScratchFolder("sound", "files");
  return folder;
}

Pcm Tone(double hz, int rate, int channels, double seconds, double level) {
  Pcm p;
  p.rate = rate;
  p.channels = channels;
  p.samples = vtools::ToneSamples(hz, rate, channels, seconds, level);
  return p;
}

Bytes PcmBytes(const Pcm& pcm) {
  Bytes b;
  b.reserve(pcm.samples.size() * 2);
  for (int16_t s : pcm.samples) AppendLe16(b, uint16_t(s));
  return b;
}

Bytes PcmBytes8(const Pcm& pcm) {
  Bytes b;
  for (int16_t s : pcm.samples) b.push_back(uint8_t((s >> 8) + 128));
  return b;
}

Bytes PcmImage(const Bytes& samples, int rate, int channels, int bits, uint8_t compressed, int64_t statedLength) {
  Bytes b;
  AppendLe32(b, 0x4D435050);  // not read by the converter
  AppendLe32(b, uint32_t(statedLength < 0 ? int64_t(samples.size()) : statedLength));
  b.push_back(compressed);
  b.push_back(0);
  AppendLe16(b, 0);
  const Bytes format = vtools::PcmFormatChunk(rate, channels, bits);
  b.insert(b.end(), format.begin(), format.end());
  b.insert(b.end(), samples.begin(), samples.end());
  return b;
}

Bytes WaveImage(const Bytes& samples, int rate, int channels, int bits) {
  return vtools::RiffWave(vtools::PcmFormatChunk(rate, channels, bits), samples);
}

Bytes SndfileWave(const Pcm& pcm, int subtype) {
  MemFile m;
  SF_VIRTUAL_IO io = {MLen, MSeek, MRead, MWrite, MTell};
  SF_INFO info{};
  info.samplerate = pcm.rate;
  info.channels = pcm.channels;
  info.format = SF_FORMAT_WAV | subtype;
  SNDFILE* sf = sf_open_virtual(&io, SFM_WRITE, &info, &m);
  if (!sf) return {};
  sf_writef_short(sf, pcm.samples.data(), sf_count_t(pcm.frames()));
  sf_close(sf);
  return m.data;
}

Pcm ReadWav(const std::string& path) {
  Pcm p;
  SF_INFO info{};
  SNDFILE* sf = sf_open(path.c_str(), SFM_READ, &info);
  if (!sf) return p;
  p.rate = info.samplerate;
  p.channels = info.channels;
  p.samples.resize(size_t(info.frames) * info.channels);
  sf_readf_short(sf, p.samples.data(), info.frames);
  sf_close(sf);
  return p;
}

bool DecodeMp3(const Bytes& mp3, Pcm* out, std::string* error) {
  return DecodeWith({"mpg123", "-q", "-w"}, ".mp3", mp3, out, error);
}

bool DecodeOgg(const Bytes& ogg, Pcm* out, std::string* error) {
  return DecodeWith({"oggdec", "-Q", "-o"}, ".ogg", ogg, out, error);
}

double DominantHz(const Pcm& pcm) {
  const size_t n = std::min<size_t>(8192, pcm.frames());
  if (n < 64) return 0;
  const size_t start = (pcm.frames() - n) / 2;
  std::vector<double> x(n);
  for (size_t i = 0; i < n; ++i) x[i] = pcm.samples[(start + i) * pcm.channels];
  auto power = [&](double hz) {  // Goertzel
    const double w = 2 * M_PI * hz / pcm.rate, coeff = 2 * std::cos(w);
    double s1 = 0, s2 = 0;
    for (double v : x) {
      const double s0 = v + coeff * s1 - s2;
      s2 = s1;
      s1 = s0;
    }
    return s1 * s1 + s2 * s2 - coeff * s1 * s2;
  };
  // A coarse sweep, then 1 Hz steps around its peak.
  double bestHz = 0, bestPower = -1;
  for (double hz = 50; hz <= 6000; hz += 16) {
    const double p = power(hz);
    if (p > bestPower) bestPower = p, bestHz = hz;
  }
  const double coarse = bestHz;
  for (double hz = coarse - 16; hz <= coarse + 16; hz += 1) {
    const double p = power(hz);
    if (p > bestPower) bestPower = p, bestHz = hz;
  }
  return bestHz;
}

}  // namespace soundtest
