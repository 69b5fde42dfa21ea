// jmv_pack: writes a ".jmv" (landscape) or ".jmv2" (portrait) movie from a
// folder of pictures (24-bit BMP or PPM, taken in name order) or from a
// generated sequence of moving colour bars.
//
//   jmv_pack [options] <output> <folder>
//   jmv_pack [options] --generate <width>x<height>x<frames> <output>
//
// Options: --portrait (".jmv2": frames in the device frame buffer's portrait
// order), --rate <r1>[/<r2>] (frames per second, default 15), --quality <q>
// (JPEG quality, default 85), --jpeg-dir <folder> (also keep each frame's
// red/blue-exchanged JPEG there as frameNNNNN.jpg), --track <file.mp3> (also
// write a sound track as long as the movie: an MP3 of a tone that steps up a
// tone every second, 22,050 Hz mono; the encoder module is found as the
// converter finds it).
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "converter/sound/mp3_encoder.h"
#include "converter/sound/sound_prep.h"
#include "tools/jmv/jmv_writer.h"

namespace {

int Usage() {
  std::fprintf(stderr,
               "usage: jmv_pack [--portrait] [--rate r1[/r2]] [--quality q] [--jpeg-dir dir] [--track file.mp3]\n"
               "                <output> <folder>\n"
               "       jmv_pack [options] --generate WxHxN <output>\n");
  return 2;
}

bool WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

// Colour bars that move one bar width every eight frames, with a grey ramp.
jmv::Picture GeneratedFrame(int w, int h, int index) {
  static const uint8_t kBars[8][3] = {{255, 255, 255}, {255, 255, 0}, {0, 255, 255}, {0, 255, 0},
                                      {255, 0, 255},   {255, 0, 0},   {0, 0, 255},   {0, 0, 0}};
  jmv::Picture p = jmv::MakePicture(w, h, 0, 0, 0);
  const int bar = std::max(1, w / 8);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      uint8_t* px = p.At(x, y);
      if (y >= h * 3 / 4) {
        px[0] = px[1] = px[2] = static_cast<uint8_t>(x * 255 / std::max(1, w - 1));
        continue;
      }
      const uint8_t* c = kBars[((x + index * bar / 8) / bar) % 8];
      std::memcpy(px, c, 3);
    }
  return p;
}

// The sound track: seconds of 16-bit mono samples at 22,050 Hz, a tone whose
// pitch steps up every second (so a capture shows the track's progress),
// coded to MP3.
bool WriteTrack(const std::string& path, double seconds) {
  const int rate = 22050;
  const size_t count = static_cast<size_t>(seconds * rate);
  std::vector<int16_t> samples(count);
  double phase = 0;
  for (size_t i = 0; i < count; ++i) {
    const double hz = 330.0 * (1 + 0.125 * static_cast<double>(i / rate));
    phase += 2 * M_PI * hz / rate;
    samples[i] = static_cast<int16_t>(8000 * std::sin(phase));
  }
  WAVEFORMATEX source = {};
  source.wFormatTag = WAVE_FORMAT_PCM;
  source.nChannels = 1;
  source.nSamplesPerSec = rate;
  source.wBitsPerSample = 16;
  source.nBlockAlign = 2;
  source.nAvgBytesPerSec = rate * 2;
  WAVEFORMATEX target = {};
  BuildTargetFormat(&target, 0, 0);
  DWORD size = static_cast<DWORD>(count * 2);
  BYTE* mp3 =
      Mp3EncodeBuffer(&target, Mp3BitrateFor(5, 0), reinterpret_cast<const BYTE*>(samples.data()), &source, &size);
  if (!mp3) return false;
  const bool ok = WriteBytes(path, std::vector<uint8_t>(mp3, mp3 + size));
  LocalFree(mp3);
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  bool portrait = false;
  uint32_t r1 = 15, r2 = 1;
  int quality = 85;
  std::string jpegDir, generate, track;
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    const bool more = i + 1 < argc;
    if (a == "--portrait") {
      portrait = true;
    } else if (a == "--rate" && more) {
      const std::string v = argv[++i];
      r1 = static_cast<uint32_t>(std::strtoul(v.c_str(), nullptr, 10));
      const size_t slash = v.find('/');
      r2 = slash == std::string::npos ? 1 : static_cast<uint32_t>(std::strtoul(v.c_str() + slash + 1, nullptr, 10));
    } else if (a == "--quality" && more) {
      quality = std::atoi(argv[++i]);
    } else if (a == "--jpeg-dir" && more) {
      jpegDir = argv[++i];
    } else if (a == "--track" && more) {
      track = argv[++i];
    } else if (a == "--generate" && more) {
      generate = argv[++i];
    } else if (a.rfind("--", 0) == 0) {
      return Usage();
    } else {
      args.push_back(a);
    }
  }
  if (r1 == 0 || r2 == 0 || quality < 1 || quality > 100) return Usage();
  if (args.size() != (generate.empty() ? 2u : 1u)) return Usage();

  std::vector<jmv::Picture> pictures;
  if (!generate.empty()) {
    int w = 0, h = 0, n = 0;
    if (std::sscanf(generate.c_str(), "%dx%dx%d", &w, &h, &n) != 3 || w <= 0 || h <= 0 || n <= 0 || w > 4096 ||
        h > 4096 || n > 100000)
      return Usage();
    for (int i = 0; i < n; ++i) pictures.push_back(GeneratedFrame(w, h, i));
  } else {
    std::vector<std::string> files;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(args[1], ec))
      if (e.is_regular_file()) files.push_back(e.path().string());
    if (ec) {
      std::fprintf(stderr, "jmv_pack: cannot read folder %s\n", args[1].c_str());
      return 1;
    }
    std::sort(files.begin(), files.end());
    for (const auto& f : files) {
      jmv::Picture p;
      std::string error;
      if (!jmv::LoadPicture(f, &p, &error)) {
        std::fprintf(stderr, "jmv_pack: %s\n", error.c_str());
        return 1;
      }
      if (!pictures.empty() && (p.width != pictures[0].width || p.height != pictures[0].height)) {
        std::fprintf(stderr, "jmv_pack: %s is not the size of the first picture\n", f.c_str());
        return 1;
      }
      pictures.push_back(std::move(p));
    }
  }
  if (pictures.empty()) {
    std::fprintf(stderr, "jmv_pack: no pictures\n");
    return 1;
  }

  jmv::MovieHeader header;
  header.portrait = portrait;
  header.rateNumerator = r1;
  header.rateDenominator = r2;
  std::vector<std::vector<uint8_t>> frames;
  for (size_t i = 0; i < pictures.size(); ++i) {
    const jmv::Picture stored = portrait ? jmv::ToPortrait(pictures[i]) : pictures[i];
    header.width = static_cast<uint32_t>(stored.width);
    header.height = static_cast<uint32_t>(stored.height);
    std::vector<uint8_t> jpeg, frame;
    if (!jmv::EncodeExchangedJpeg(stored, quality, &jpeg) || !jmv::FrameFromExchangedJpeg(jpeg, quality, &frame)) {
      std::fprintf(stderr, "jmv_pack: frame %zu could not be coded\n", i);
      return 1;
    }
    if (!jpegDir.empty()) {
      char name[32];
      std::snprintf(name, sizeof name, "/frame%05zu.jpg", i);
      if (!WriteBytes(jpegDir + name, jpeg)) {
        std::fprintf(stderr, "jmv_pack: cannot write %s%s\n", jpegDir.c_str(), name);
        return 1;
      }
    }
    frames.push_back(std::move(frame));
  }
  if (!WriteBytes(args[0], jmv::BuildMovie(header, frames))) {
    std::fprintf(stderr, "jmv_pack: cannot write %s\n", args[0].c_str());
    return 1;
  }
  std::printf("%s: %zu frames of %u x %u\n", args[0].c_str(), frames.size(), header.width, header.height);
  if (!track.empty()) {
    const double seconds = static_cast<double>(frames.size()) * r2 / r1;
    if (!WriteTrack(track, seconds)) {
      std::fprintf(stderr, "jmv_pack: cannot code or write the sound track %s\n", track.c_str());
      return 1;
    }
    std::printf("%s: %.2f s sound track\n", track.c_str(), seconds);
  }
  return 0;
}
