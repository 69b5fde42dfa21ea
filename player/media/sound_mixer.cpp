#include "player/media/sound_mixer.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <new>

#include "common/file.h"
#include "player/core/display.h"
#include "player/core/pack_reader.h"
#include "player/media/mp3_source.h"
#include "player/media/ogg_source.h"

namespace {

// Every channel decodes into this block and converts from it; all decoding
// runs under the mixer lock.
BYTE g_decodeBuffer[CSoundMixer::DECODE_BUFFER_SIZE];

int ClampVolume(int v) { return std::min(100, v); }

// `name` with everything from its last '.' replaced by `ext`, or with `ext`
// appended; false when it does not fit.
bool WithExtension(char* out, size_t size, const char* prefix, const char* name, const char* ext) {
  const size_t p = std::strlen(prefix), n = std::strlen(name);
  const char* dot = std::strrchr(name, '.');
  const size_t keep = dot ? size_t(dot - name) : n;
  if (p + keep + std::strlen(ext) + 1 > size) return false;
  std::memcpy(out, prefix, p);
  std::memcpy(out + p, name, keep);
  std::strcpy(out + p + keep, ext);
  return true;
}

const char* ExtensionOf(int kind) { return kind == 1 ? ".ogg" : ".mp3"; }
bool BindingPresent(int kind) { return kind == 1 ? OggOverlayPresent() : Mp3OverlayPresent(); }

}  // namespace

void CALLBACK WaveOutCallback(HWAVEOUT, UINT message, DWORD_PTR instance, DWORD_PTR param1, DWORD_PTR) {
  auto* header = reinterpret_cast<WAVEHDR*>(param1);
  if (message == MM_WOM_DONE && header && header->lpData && instance)
    reinterpret_cast<CSoundMixer*>(instance)->Refill(header);
}

CSoundMixer::CSoundMixer()
    : device(nullptr),
      headers{},
      buffers{},
      bufferSize(0),
      outputRate(0),
      nextBuffer(0),
      buffersWritten(0),
      channels{},
      preferredCodec(0),
      suspended(0),
      closed(0) {
  InitializeCriticalSection(&lock);
}

CSoundMixer::~CSoundMixer() {
  CloseOutput();
  DeleteCriticalSection(&lock);
}

unsigned CSoundMixer::OpenOutput(unsigned rate) {
  EnterCriticalSection(&lock);
  if (closed || device) {
    const unsigned r = device ? outputRate : 0;
    LeaveCriticalSection(&lock);
    return r;
  }
  outputRate = rate;
  WAVEFORMATEX f{};
  f.wFormatTag = WAVE_FORMAT_PCM;
  f.nChannels = 2;
  f.wBitsPerSample = 16;
  f.nBlockAlign = 4;
  f.nSamplesPerSec = rate;
  f.nAvgBytesPerSec = rate * 4;
  MMRESULT r = waveOutOpen(&device, WAVE_MAPPER, &f, reinterpret_cast<DWORD_PTR>(&WaveOutCallback),
                           reinterpret_cast<DWORD_PTR>(this), CALLBACK_FUNCTION);
  if (r != MMSYSERR_NOERROR) {
    outputRate = 22050;
    f.nSamplesPerSec = 22050;
    f.nAvgBytesPerSec = 22050 * 4;
    r = waveOutOpen(&device, WAVE_MAPPER, &f, reinterpret_cast<DWORD_PTR>(&WaveOutCallback),
                    reinterpret_cast<DWORD_PTR>(this), CALLBACK_FUNCTION);
  }
  nextBuffer = 0;
  bufferSize = outputRate == 22050 ? 10240 : 20480;
  buffersWritten = 0;
  if (r != MMSYSERR_NOERROR) {
    // No device at all: channels open and play silently, stops release at
    // once.
    device = nullptr;
    LeaveCriticalSection(&lock);
    SetOutputRate(outputRate);
    return outputRate;
  }
  for (int i = 0; i < BUFFERS; ++i) {
    headers[i] = {};
    buffers[i] = static_cast<BYTE*>(LocalAlloc(LMEM_ZEROINIT, bufferSize));
    if (!buffers[i]) continue;
    headers[i].lpData = reinterpret_cast<LPSTR>(buffers[i]);
    headers[i].dwBufferLength = bufferSize;
    headers[i].dwUser = DWORD_PTR(i);
    waveOutPrepareHeader(device, &headers[i], sizeof(WAVEHDR));
    waveOutWrite(device, &headers[i], sizeof(WAVEHDR));
  }
  const unsigned inUse = outputRate;
  LeaveCriticalSection(&lock);
  SetOutputRate(inUse);
  return inUse;
}

void CSoundMixer::FreeBuffers() {
  for (int i = 0; i < BUFFERS; ++i) {
    if (device && headers[i].lpData) waveOutUnprepareHeader(device, &headers[i], sizeof(WAVEHDR));
    headers[i] = {};
    if (buffers[i]) LocalFree(buffers[i]);
    buffers[i] = nullptr;
  }
}

void CSoundMixer::Suspend() {
  EnterCriticalSection(&lock);
  if (suspended || closed) {
    LeaveCriticalSection(&lock);
    return;
  }
  suspended = 1;  // from here on a returned buffer is not refilled
  HWAVEOUT dev = device;
  LeaveCriticalSection(&lock);
  if (dev) {
    waveOutReset(dev);  // outside the lock: the device waits for its callback
    EnterCriticalSection(&lock);
    for (int i = 0; i < BUFFERS; ++i)
      if (headers[i].lpData) waveOutUnprepareHeader(dev, &headers[i], sizeof(WAVEHDR));
    LeaveCriticalSection(&lock);
    for (int attempt = 0; attempt < 9; ++attempt) {
      if (waveOutClose(dev) == MMSYSERR_NOERROR) break;
      Sleep(100);
    }
  }
  EnterCriticalSection(&lock);
  device = nullptr;
  FreeBuffers();
  for (SoundChannel* c : channels) {
    if (!c) continue;
    if (c->mp3) c->mp3->Suspend();
    if (c->ogg) c->ogg->Suspend();
  }
  LeaveCriticalSection(&lock);
}

void CSoundMixer::Resume() {
  EnterCriticalSection(&lock);
  if (!suspended || closed) {
    LeaveCriticalSection(&lock);
    return;
  }
  suspended = 0;
  for (SoundChannel* c : channels) {
    if (!c) continue;
    if (c->mp3) c->mp3->Resume();
    if (c->ogg) c->ogg->Resume();
    // The new device counts from 0: take the start stamp again, keeping the
    // bytes played so far.
    if (c->state == CHANNEL_PLAYING) {
      c->restamped = c->mixCounter > 0 || c->restamped;
      c->mixCounter = -2;
    }
  }
  const unsigned rate = outputRate;
  LeaveCriticalSection(&lock);
  OpenOutput(rate);
}

void CSoundMixer::CloseOutput() {
  EnterCriticalSection(&lock);
  if (closed) {
    LeaveCriticalSection(&lock);
    return;
  }
  closed = 1;  // from here on no buffer is refilled or written again
  HWAVEOUT dev = device;
  LeaveCriticalSection(&lock);
  // The device is stopped first (outside the lock: it waits for a running
  // callback), so no refill can come to release the channels: they are
  // released here, under the lock.
  if (dev) waveOutReset(dev);
  EnterCriticalSection(&lock);
  for (int i = 0; i < kSoundChannels; ++i)
    if (channels[i]) ReleaseChannel(i);
  if (dev)
    for (int i = 0; i < BUFFERS; ++i)
      if (headers[i].lpData) waveOutUnprepareHeader(dev, &headers[i], sizeof(WAVEHDR));
  LeaveCriticalSection(&lock);
  if (dev) {
    for (int attempt = 0; attempt < 7; ++attempt) {
      if (waveOutClose(dev) == MMSYSERR_NOERROR) break;
      Sleep(50);
    }
  }
  EnterCriticalSection(&lock);
  device = nullptr;
  FreeBuffers();
  LeaveCriticalSection(&lock);
}

void CSoundMixer::SetPreferredCodec(int n) { preferredCodec = n == 1 ? 1 : 0; }

void CSoundMixer::SetDeviceVolume(uint32_t v) {
  const DWORD half = std::min<uint32_t>(v, 65535);
  EnterCriticalSection(&lock);
  if (device) waveOutSetVolume(device, half | half << 16);
  LeaveCriticalSection(&lock);
}

DWORD CSoundMixer::DevicePosition() {
  MMTIME t{};
  t.wType = TIME_BYTES;
  if (!device || waveOutGetPosition(device, &t, sizeof t) != MMSYSERR_NOERROR) return 0;
  return t.u.cb;
}

void CSoundMixer::Refill(WAVEHDR* header) {
  EnterCriticalSection(&lock);
  // Buffers handed back by a reset, or after the device went, are dropped.
  if (closed || suspended || !device || !header || !header->lpData) {
    LeaveCriticalSection(&lock);
    return;
  }
  waveOutUnprepareHeader(device, header, sizeof(WAVEHDR));
  BYTE* out = reinterpret_cast<BYTE*>(header->lpData);
  const DWORD n = std::min(header->dwBufferLength, bufferSize);
  std::memset(out, 0, n);
  for (int i = 0; i < kSoundChannels; ++i) {
    SoundChannel* c = channels[i];
    if (!c) continue;
    FadeStep(c);
    FeedChannel(c);
    if (!MixChannel(c, out, n)) ReleaseChannel(i);
  }
  waveOutPrepareHeader(device, header, sizeof(WAVEHDR));
  waveOutWrite(device, header, sizeof(WAVEHDR));
  nextBuffer = (nextBuffer + 1) % BUFFERS;
  ++buffersWritten;
  LeaveCriticalSection(&lock);
}

void CSoundMixer::FadeStep(SoundChannel* c) {
  if (!c->fadeOut && !c->fadeIn) return;
  const DWORD elapsed = NowMs() - c->fadeStart;
  if (c->fadeOut) {
    if (elapsed >= c->fadeDuration) {
      c->state = CHANNEL_STOP_REQUESTED;
      c->fadeLevel = 0;
      c->effectiveVolume = 0;
      c->fadeOut = 0;
    } else {
      const int p = int(uint64_t(elapsed) * 100 / c->fadeDuration);
      c->fadeLevel = 100 - p;
      c->effectiveVolume = ClampVolume(c->volume * (100 - p) / 100);
    }
  } else if (c->fadeIn) {
    if (elapsed >= c->fadeDuration) {
      c->fadeLevel = 100;
      c->fadeIn = 0;
      c->effectiveVolume = ClampVolume(c->volume);
    } else {
      const int p = int(uint64_t(elapsed) * 100 / c->fadeDuration);
      c->fadeLevel = p;
      c->effectiveVolume = ClampVolume(c->volume * p / 100);
    }
  }
}

void CSoundMixer::FeedChannel(SoundChannel* c) {
  if (!c || c->state != CHANNEL_PLAYING) return;
  // Never more than the channel's buffer holds (it was made for the buffer
  // size at the time).
  const DWORD n = std::min(bufferSize, c->pcmLength);
  std::memset(c->pcm, 0, n);
  const int atEnd = c->mp3 ? c->mp3->IsAtEnd() : c->ogg->IsAtEnd();
  if (atEnd) {
    c->state = CHANNEL_IDLE;
    return;
  }
  const int channelsIn = c->format.nChannels;
  const DWORD rate = c->format.nSamplesPerSec;
  DWORD want = n;
  if (channelsIn == 1) want /= 2;
  if (outputRate == 44100 && rate == 22050) want /= 2;
  if (outputRate == 22050 && rate == 44100) want *= 2;
  want -= want % (channelsIn * 2u);
  const int got =
      c->mp3 ? c->mp3->Read(g_decodeBuffer, int(want), c->loop) : c->ogg->Read(g_decodeBuffer, int(want), c->loop);
  if (got <= 0) return;
  DWORD outBytes = DWORD(got);
  if (channelsIn == 1) outBytes *= 2;
  if (outputRate == 44100 && rate == 22050) outBytes *= 2;
  if (outputRate == 22050 && rate == 44100) outBytes /= 2;
  outBytes = std::min(outBytes, n);
  outBytes -= outBytes % 4;
  ConvertToOutput(c->pcm, g_decodeBuffer, outBytes, channelsIn, rate, outputRate);
}

void CSoundMixer::ConvertToOutput(BYTE* out, const BYTE* in, DWORD outBytes, int channelsIn, DWORD streamRate,
                                  DWORD deviceRate) {
  auto* o = reinterpret_cast<int16_t*>(out);
  auto* s = reinterpret_cast<const int16_t*>(in);
  const DWORD frames = outBytes / 4;
  if (channelsIn == 2 && streamRate == deviceRate && (deviceRate == 22050 || deviceRate == 44100)) {
    std::memcpy(out, in, frames * 4);
    return;
  }
  if (deviceRate == 22050) {
    const DWORD step = streamRate == 44100 ? 2 : 1;
    for (DWORD f = 0; f < frames; ++f, s += step * channelsIn) {
      o[2 * f] = s[0];
      o[2 * f + 1] = channelsIn == 2 ? s[1] : s[0];
    }
    return;
  }
  if (streamRate == 22050) {
    for (DWORD f = 0; f + 1 < frames; f += 2, s += channelsIn) {
      const int16_t l = s[0], r = channelsIn == 2 ? s[1] : s[0];
      o[2 * f] = l;
      o[2 * f + 1] = r;
      o[2 * f + 2] = l;
      o[2 * f + 3] = r;
    }
    if (frames % 2) {
      o[2 * (frames - 1)] = s[0];
      o[2 * (frames - 1) + 1] = channelsIn == 2 ? s[1] : s[0];
    }
    return;
  }
  for (DWORD f = 0; f < frames; ++f, s += channelsIn) {
    o[2 * f] = s[0];
    o[2 * f + 1] = channelsIn == 2 ? s[1] : s[0];
  }
}

int CSoundMixer::MixChannel(SoundChannel* c, BYTE* out, DWORD n) {
  if (!c) return 1;
  if (c->state != CHANNEL_PLAYING) return c->state == CHANNEL_STOP_REQUESTED ? 0 : 1;
  if (c->mixCounter++ == 0) {
    c->lastDevicePos = DevicePosition();
    if (!c->restamped) c->bytesPlayed = 0;
    c->restamped = 0;
  }
  // The channel's buffer was filled from its start for this output buffer.
  const int gain = c->effectiveVolume;
  auto* o = reinterpret_cast<int16_t*>(out);
  const int16_t* s = reinterpret_cast<const int16_t*>(c->pcm);
  const DWORD samples = std::min(n, c->pcmLength) / 2;
  if (gain < 100) {
    for (DWORD i = 0; i < samples; ++i) {
      const int v = o[i] + s[i] * gain / 100;
      o[i] = int16_t(std::clamp(v, -32768, 32767));
    }
  } else {
    for (DWORD i = 0; i < samples; ++i) {
      const int v = o[i] + s[i];
      o[i] = int16_t(std::clamp(v, -32768, 32767));
    }
  }
  c->readPos = 0;
  return c->state == CHANNEL_STOP_REQUESTED ? 0 : 1;
}

SoundChannel* CSoundMixer::NewChannel(DWORD size, int kind) {
  auto* c = static_cast<SoundChannel*>(LocalAlloc(LMEM_ZEROINIT, sizeof(SoundChannel)));
  if (!c) return nullptr;
  c->pcm = static_cast<BYTE*>(LocalAlloc(LMEM_ZEROINIT, size + 8));
  c->pcmLength = size;
  c->state = CHANNEL_IDLE;
  c->sourceKind = kind == 1 ? 1 : 0;
  if (kind == 1)
    c->ogg = new (std::nothrow) OggSource;
  else
    c->mp3 = new (std::nothrow) Mp3Source;
  if (!c->pcm || (!c->ogg && !c->mp3) || (c->ogg && !c->ogg->handle)) {
    DeleteChannel(c);
    return nullptr;
  }
  return c;
}

void CSoundMixer::DeleteChannel(SoundChannel* c) {
  if (c->mp3) {
    c->mp3->Close();
    delete c->mp3;
  }
  if (c->ogg) {
    c->ogg->Free();
    delete c->ogg;
  }
  if (c->dataImage) LocalFree(c->dataImage);
  if (c->pcm) LocalFree(c->pcm);
  LocalFree(c);
}

void CSoundMixer::ReleaseChannel(int channel) {
  SoundChannel* c = channels[channel];
  __atomic_store_n(&channels[channel], nullptr, __ATOMIC_RELEASE);  // the slot first
  if (c) DeleteChannel(c);
  { std::lock_guard<std::mutex> l(releaseLock); }
  released.notify_all();
}

int CSoundMixer::OpenSound(int channel, const char* name, const char* folderOrPack, PackReader* reader, int volume,
                           int fadeInMs, int loop, int start, int inMemory) {
  if (channel < 0 || channel >= kSoundChannels) return 0;
  StopChannel(channel);
  if (!name || std::strlen(name) >= 64) return 0;
  const char* where = folderOrPack ? folderOrPack : "";
  const size_t whereLen = std::strlen(where);
  const bool pack = whereLen > 0 && where[whereLen - 1] != '\\';
  const int order[2] = {preferredCodec == 1 ? 1 : 0, preferredCodec == 1 ? 0 : 1};

  int kind = -1;
  BYTE* image = nullptr;
  DWORD imageSize = 0;
  char path[MAX_PATH * 2];
  for (int k : order) {
    if (!BindingPresent(k)) continue;
    if (pack) {
      char entry[80];
      if (!WithExtension(entry, sizeof entry, "", name, ExtensionOf(k))) continue;
      image = ReadPackEntry(reader, where, entry, &imageSize);
      if (image) {
        kind = k;
        break;
      }
    } else {
      if (!WithExtension(path, sizeof path, where, name, ExtensionOf(k))) continue;
      if (FileExists(path)) {
        kind = k;
        break;
      }
    }
  }
  if (kind < 0) return 0;
  if (!pack && inMemory) {
    image = ReadWholeFile(path, &imageSize, 0);
    if (!image) return 0;
  }

  // The channel is built and its source opened before anyone can see it.
  SoundChannel* c = NewChannel(bufferSize ? bufferSize : 20480, kind);
  if (!c) {
    if (image) LocalFree(image);
    return 0;
  }
  std::strcpy(c->name, name);
  c->dataImage = image;
  int failed;
  if (image)
    failed = kind == 1 ? c->ogg->OpenMemory(image, imageSize) : c->mp3->OpenMemory(image, imageSize);
  else
    failed = kind == 1 ? c->ogg->OpenFile(path) : c->mp3->OpenMappedFile(path, 0, 0);
  const WAVEFORMATEX* f = nullptr;
  if (!failed) f = kind == 1 ? c->ogg->GetFormat() : c->mp3->GetFormat();
  if (failed || !f || (f->nChannels != 1 && f->nChannels != 2) || f->wBitsPerSample != 16) {
    DeleteChannel(c);
    return 0;
  }
  if (kind == 1)
    c->ogg->GetPcmSize(&c->totalPcmBytes);
  else
    c->mp3->EstimatePcmSize(&c->totalPcmBytes);
  c->format.wFormatTag = WAVE_FORMAT_PCM;
  c->format.nChannels = f->nChannels;
  c->format.nSamplesPerSec = f->nSamplesPerSec;
  c->format.nBlockAlign = 4;
  c->format.wBitsPerSample = f->wBitsPerSample;
  c->format.cbSize = 0;
  c->fadeLevel = 100;
  c->loop = loop;
  c->volume = volume >= 0 && volume <= 100 ? volume : 0;
  c->effectiveVolume = ClampVolume(c->fadeLevel * c->volume / 100);
  c->secondsPerByte = 1.0 / (double(outputRate ? outputRate : 44100) * 4);

  EnterCriticalSection(&lock);
  if (channels[channel]) ReleaseChannel(channel);  // opened meanwhile by another caller
  __atomic_store_n(&channels[channel], c, __ATOMIC_RELEASE);
  LeaveCriticalSection(&lock);
  if (fadeInMs > 0) FadeIn(channel, fadeInMs);
  if (start) Play(channel, loop);
  return 1;
}

int CSoundMixer::Play(int channel, int loop) {
  if (channel < 0 || channel >= kSoundChannels) return 0;
  EnterCriticalSection(&lock);
  SoundChannel* c = channels[channel];
  if (c && c->state != CHANNEL_PLAYING) {
    c->state = CHANNEL_PLAYING;
    c->loop = loop;
    c->mixCounter = -2;
    c->bytesPlayed = 0;
    c->lastDevicePos = 0;
    c->restamped = 0;
  }
  LeaveCriticalSection(&lock);
  return 0;
}

void CSoundMixer::StopChannel(int channel) {
  if (channel < 0 || channel >= kSoundChannels) return;
  EnterCriticalSection(&lock);
  SoundChannel* c = channels[channel];
  if (!c) {
    LeaveCriticalSection(&lock);
    return;
  }
  if (!DeviceRuns()) {
    // No refill will come: release it here.
    ReleaseChannel(channel);
    LeaveCriticalSection(&lock);
    return;
  }
  c->state = CHANNEL_STOP_REQUESTED;
  LeaveCriticalSection(&lock);
  {
    std::unique_lock<std::mutex> l(releaseLock);
    released.wait_for(l, std::chrono::milliseconds(STOP_WAIT_MS), [&] {
      // Reading the slot pointer only compares it; the record is not touched.
      return __atomic_load_n(&channels[channel], __ATOMIC_ACQUIRE) != c;
    });
  }
  // The device did not come back in time: release it under the lock (a
  // refill holds the lock throughout, so none is using the channel now).
  EnterCriticalSection(&lock);
  if (channels[channel] == c) ReleaseChannel(channel);
  LeaveCriticalSection(&lock);
}

void CSoundMixer::StopAll() {
  for (int i = 0; i < kSoundChannels; ++i) StopChannel(i);
}

int CSoundMixer::FadeIn(int channel, int ms) {
  if (channel < 0 || channel >= kSoundChannels) return 0;
  EnterCriticalSection(&lock);
  SoundChannel* c = channels[channel];
  if (c) {
    c->fadeLevel = 0;
    c->fadeIn = 1;
    c->fadeOut = 0;
    c->fadeStart = NowMs();
    c->fadeDuration = DWORD(std::max(ms, 0));
    c->effectiveVolume = 0;
  }
  LeaveCriticalSection(&lock);
  return c ? 1 : 0;
}

int CSoundMixer::FadeOut(int channel, int ms) {
  if (channel < 0 || channel >= kSoundChannels) return 0;
  EnterCriticalSection(&lock);
  SoundChannel* c = channels[channel];
  if (c) {
    c->fadeLevel = 100;
    c->fadeIn = 0;
    c->fadeOut = 1;
    c->fadeStart = NowMs();
    c->fadeDuration = DWORD(std::max(ms, 0));
  }
  LeaveCriticalSection(&lock);
  return c ? 1 : 0;
}

SoundChannel* CSoundMixer::GetChannel(int channel) {
  if (channel < 0 || channel >= kSoundChannels) return nullptr;
  return channels[channel];
}

void CSoundMixer::ApplyVolume(SoundChannel* c, int volume) {
  if (volume >= 0 && volume <= 100) c->volume = volume;
  c->effectiveVolume = ClampVolume(c->fadeLevel * c->volume / 100);
}

int CSoundMixer::SetChannelVolume(SoundChannel* record, int volume) {
  if (!record) return 1;
  EnterCriticalSection(&lock);
  ApplyVolume(record, volume);
  LeaveCriticalSection(&lock);
  return 1;
}

int CSoundMixer::SetChannelVolume(int channel, int volume) {
  if (channel < 0 || channel >= kSoundChannels) return 0;
  EnterCriticalSection(&lock);
  SoundChannel* c = channels[channel];
  if (c) ApplyVolume(c, volume);
  LeaveCriticalSection(&lock);
  return c ? 1 : 0;
}

int CSoundMixer::GetChannelState(int channel) {
  if (channel < 0 || channel >= kSoundChannels) return -1;
  EnterCriticalSection(&lock);
  const int state = channels[channel] ? channels[channel]->state : -1;
  LeaveCriticalSection(&lock);
  return state;
}

int CSoundMixer::GetPlayPosition(int channel) {
  if (channel < 0 || channel >= kSoundChannels) return -1;
  EnterCriticalSection(&lock);
  SoundChannel* c = channels[channel];
  int ms = -1;
  if (c && c->state == CHANNEL_PLAYING) {
    if (c->mixCounter <= 0 || !device) {
      // No stamp yet (after a resume the position stands still until the
      // new one), or no device to ask.
      ms = c->restamped || c->mixCounter > 0 ? int(c->bytesPlayed * c->secondsPerByte * 1000) : 0;
    } else {
      const DWORD pos = DevicePosition();
      c->bytesPlayed += pos - c->lastDevicePos;
      c->lastDevicePos = pos;
      ms = c->bytesPlayed < 1 ? 0 : int(c->bytesPlayed * c->secondsPerByte * 1000);
    }
  }
  LeaveCriticalSection(&lock);
  return ms;
}
