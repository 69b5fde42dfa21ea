#include "mixer_fixtures.h"

#include <lame/lame.h>
#include <oggenc.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "player/media/mp3_source.h"
#include "player/media/ogg_source.h"

namespace mixertest {

std::vector<int16_t> Tone(double hz, int rate, int channels, double seconds, double level) {
  const size_t frames = size_t(rate * seconds);
  std::vector<int16_t> out(frames * channels);
  for (size_t i = 0; i < frames; ++i)
    for (int c = 0; c < channels; ++c)
      out[i * channels + c] = int16_t(std::lround(32767 * level * std::sin(2 * M_PI * hz * (1 + c / 3.0) * i / rate)));
  return out;
}

Bytes EncodeMp3(const std::vector<int16_t>& pcm, int rate, int channels) {
  lame_global_flags* g = lame_init();
  lame_set_in_samplerate(g, rate);
  lame_set_out_samplerate(g, rate);
  lame_set_num_channels(g, channels);
  lame_set_mode(g, channels == 1 ? MONO : JOINT_STEREO);
  lame_set_brate(g, channels == 1 ? 48 : 128);
  lame_set_bWriteVbrTag(g, 0);
  lame_set_quality(g, 7);
  lame_init_params(g);
  const int frames = int(pcm.size() / channels);
  Bytes out(size_t(frames) * 2 + 16384);
  std::vector<int16_t> left(frames), right(frames);
  for (int i = 0; i < frames; ++i) {
    left[i] = pcm[size_t(i) * channels];
    right[i] = pcm[size_t(i) * channels + channels - 1];
  }
  int n = lame_encode_buffer(g, left.data(), right.data(), frames, out.data(), int(out.size()));
  n += lame_encode_flush(g, out.data() + n, int(out.size()) - n);
  lame_close(g);
  out.resize(size_t(n));
  return out;
}

Bytes EncodeOgg(const std::vector<int16_t>& pcm, int rate, int channels) {
  WAVEFORMATEX f{};
  f.wFormatTag = WAVE_FORMAT_PCM;
  f.nChannels = WORD(channels);
  f.nSamplesPerSec = DWORD(rate);
  f.wBitsPerSample = 16;
  f.nBlockAlign = WORD(channels * 2);
  f.nAvgBytesPerSec = f.nBlockAlign * f.nSamplesPerSec;
  DWORD size = DWORD(pcm.size() * 2);
  void* block = GetOggEncodeProcessMemory(0.3f, &f, pcm.data(), &size);
  if (!block) return {};
  Bytes out(static_cast<uint8_t*>(block), static_cast<uint8_t*>(block) + size);
  LocalFree(block);
  return out;
}

Bytes WithId3v2(const Bytes& mp3, uint32_t bodySize) {
  Bytes out = {'I',
               'D',
               '3',
               3,
               0,
               0,
               uint8_t(bodySize >> 21 & 127),
               uint8_t(bodySize >> 14 & 127),
               uint8_t(bodySize >> 7 & 127),
               uint8_t(bodySize & 127)};
  for (uint32_t i = 0; i < bodySize; ++i) out.push_back(uint8_t(i % 7 == 0 ? 0xFF : 0));
  out.insert(out.end(), mp3.begin(), mp3.end());
  return out;
}

Bytes WithId3v1(const Bytes& mp3) {
  Bytes out = mp3;
  Bytes tag(128, 0xFF);  // frame-sync bytes: a decoder that reads them fails
  tag[0] = 'T', tag[1] = 'A', tag[2] = 'G';
  out.insert(out.end(), tag.begin(), tag.end());
  return out;
}

namespace {
// This process's scratch folders, removed at exit.
struct Scratch {
  std::string root;
  Scratch() {
    const char* t = std::getenv("TMPDIR");
    root = std::string(t && *t ? t : "/tmp") + "/velmi_mixer_" + std::to_string(getpid());
    mkdir(root.c_str(), 0755);
  }
  ~Scratch() {
    std::error_code ec;
    std::filesystem::remove_all(root, ec);
  }
};
}  // namespace

std::string TempFolder(const std::string& tag) {
  static Scratch scratch;
  static int counter = 0;
  std::string dir = scratch.root + "/" + tag + "_" + std::to_string(counter++);
  mkdir(dir.c_str(), 0755);
  return dir;
}

void WriteBytes(const std::string& path, const Bytes& data) {
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(data.data()), std::streamsize(data.size()));
}

Bytes ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

std::string WinPath(const std::string& linuxPath) {
  std::string w = linuxPath;
  for (char& c : w)
    if (c == '/') c = '\\';
  return w;
}

namespace {
// Runs argv, its standard output into `outPath`; true on exit status 0.
bool Run(const std::vector<std::string>& argv, const std::string& outPath) {
  pid_t pid = fork();
  if (pid == 0) {
    if (!outPath.empty() && !freopen(outPath.c_str(), "wb", stdout)) _exit(126);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execvp(args[0], args.data());
    _exit(127);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}
}  // namespace

Bytes Mpg123Raw(const Bytes& mp3) {
  const std::string dir = TempFolder("mpg123");
  WriteBytes(dir + "/in.mp3", mp3);
  if (!Run({"mpg123", "--no-gapless", "-q", "-s", dir + "/in.mp3"}, dir + "/out.raw")) return {};
  return ReadBytes(dir + "/out.raw");
}

Bytes OggdecRaw(const Bytes& ogg) {
  const std::string dir = TempFolder("oggdec");
  WriteBytes(dir + "/in.ogg", ogg);
  if (!Run({"oggdec", "-Q", "-R", "-o", dir + "/out.raw", dir + "/in.ogg"}, "")) return {};
  return ReadBytes(dir + "/out.raw");
}

void LoadOverlays() {
  setenv("VELMI_MODULE_PATH", VELMI_MODULE_DIR, 1);
  LoadMp3Overlay();
  LoadOggOverlay();
}

}  // namespace mixertest
