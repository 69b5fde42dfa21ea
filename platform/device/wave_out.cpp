// Wave output on SDL2's audio device.
//
// Written headers wait in a queue; SDL's audio callback copies from the
// front one and, when it is used up, marks it done and hands it back through
// the caller's callback (MM_WOM_DONE) while no lock of ours is held, so the
// callback may write buffers again.  SDL holds its own device lock while its
// callback runs: pausing or closing the device waits for a running callback.
// Callers must therefore never reset or close the device while holding a
// lock that their callback takes.
//
// Headless runs use SDL's dummy driver (or whatever SDL_AUDIODRIVER names,
// such as "disk").  A fake device plays nothing by itself: tests return its
// buffers one by one.
//
// When SDL has no sound device to give, the open fails as it does on a
// handheld without one, and the error stream says so once a run, with SDL's
// reason: the game goes on without sound.
#include <mmsystem.h>
#include <velmi_device.h>
#include <velmi_wave.h>

#include <SDL.h>

#include "platform/device/device_internal.h"

#include <cstdio>
#include <cstdlib>
#include <utility>
#include <mutex>
#include <set>
#include <string>
#include <vector>

// Written headers wait in a list linked through their lpNext fields (the
// driver's own field), so playing never allocates.
struct HeaderQueue {
  WAVEHDR* head = nullptr;
  WAVEHDR* tail = nullptr;
  size_t count = 0;
  bool empty() const { return head == nullptr; }
  size_t size() const { return count; }
  WAVEHDR* front() const { return head; }
  void push_back(WAVEHDR* h) {
    h->lpNext = nullptr;
    if (tail)
      tail->lpNext = h;
    else
      head = h;
    tail = h;
    ++count;
  }
  void pop_front() {
    WAVEHDR* h = head;
    head = h->lpNext;
    if (!head) tail = nullptr;
    h->lpNext = nullptr;
    --count;
  }
};

struct HWAVEOUT__ {
  std::mutex lock;  // queue, position, volume
  HeaderQueue queue;
  DWORD frontOffset = 0;  // bytes of the front header already played
  uint64_t played = 0;    // bytes since open or reset
  LPWAVECALLBACK callback = nullptr;
  DWORD_PTR instance = 0;
  WAVEFORMATEX format{};
  DWORD volume = 0xFFFFFFFFu;
  bool fake = false;
  SDL_AudioDeviceID sdl = 0;
};

namespace {

struct Globals {
  std::mutex lock;  // everything below
  std::set<HWAVEOUT> devices;
  HWAVEOUT newest = nullptr;
  bool fake = false;
  bool envRead = false;
  std::string capturePath;
  FILE* capture = nullptr;
  DWORD failRate = 0;
  int refused = 0;
  bool sdlAudio = false;
  bool toldNoDevice = false;  // the run's line about a missing sound device
};

Globals& G() {
  static auto* g = new Globals;
  return *g;
}

std::mutex& CaptureLock() {
  static auto* m = new std::mutex;
  return *m;
}

void ReadEnvironment(Globals& g) {
  if (g.envRead) return;
  g.envRead = true;
  if (const char* c = std::getenv("VELMI_WAVE_CAPTURE"); c && *c && g.capturePath.empty()) {
    g.capturePath = c;
    std::lock_guard<std::mutex> l(CaptureLock());
    g.capture = std::fopen(c, "wb");
  }
  if (const char* f = std::getenv("VELMI_WAVE_FAIL_RATE"); f && *f && !g.failRate)
    g.failRate = DWORD(std::strtoul(f, nullptr, 10));
}

void Capture(const BYTE* data, size_t n) {
  std::lock_guard<std::mutex> l(CaptureLock());
  FILE* f = G().capture;
  if (f && n) {
    std::fwrite(data, 1, n, f);
    std::fflush(f);  // readers may look at the file while the device plays
  }
}

bool Live(HWAVEOUT d) {
  std::lock_guard<std::mutex> l(G().lock);
  return d && G().devices.count(d);
}

void Notify(HWAVEOUT d, UINT message, WAVEHDR* h) {
  if (d->callback) d->callback(d, message, d->instance, reinterpret_cast<DWORD_PTR>(h), 0);
}

// Scales 16-bit samples by the device volume (left in the low word).
void ApplyVolume(BYTE* data, size_t n, DWORD volume, int channels) {
  if (volume == 0xFFFFFFFFu) return;
  const uint32_t left = volume & 0xFFFF, right = volume >> 16;
  for (size_t i = 0; i + 1 < n; i += 2) {
    int16_t s;
    std::memcpy(&s, data + i, 2);
    const uint32_t v = channels == 2 && (i / 2) % 2 ? right : left;
    s = int16_t(int32_t(s) * int32_t(v) / 65535);
    std::memcpy(data + i, &s, 2);
  }
}

// SDL's audio thread: fills `len` bytes from the queue, silence when it
// runs dry, and returns each used-up header through the callback.
void SDLCALL Pull(void* user, Uint8* stream, int len) {
  auto* d = static_cast<HWAVEOUT>(user);
  int done = 0;
  while (done < len) {
    WAVEHDR* finished = nullptr;
    {
      std::lock_guard<std::mutex> l(d->lock);
      if (d->queue.empty()) break;
      WAVEHDR* h = d->queue.front();
      const DWORD left = h->dwBufferLength - d->frontOffset;
      const DWORD n = std::min<DWORD>(left, DWORD(len - done));
      std::memcpy(stream + done, h->lpData + d->frontOffset, n);
      ApplyVolume(stream + done, n, d->volume, d->format.nChannels);
      Capture(stream + done, n);
      d->frontOffset += n;
      d->played += n;
      done += int(n);
      if (d->frontOffset >= h->dwBufferLength) {
        d->queue.pop_front();
        d->frontOffset = 0;
        h->dwFlags = (h->dwFlags & ~DWORD(WHDR_INQUEUE)) | WHDR_DONE;
        finished = h;
      }
    }
    if (finished) Notify(d, MM_WOM_DONE, finished);
  }
  if (done < len) std::memset(stream + done, 0, size_t(len - done));
}

// The line of a run without a sound device, printed the first time an open
// finds none.
void TellNoSoundDevice(const char* reason) {
  Globals& g = G();
  {
    std::lock_guard<std::mutex> l(g.lock);
    if (g.toldNoDevice) return;
    g.toldNoDevice = true;
  }
  velmi_device::ErrorLine("no sound device (%s); the game plays without sound",
                          reason && *reason ? reason : "SDL gave no reason");
}

bool OpenSdl(HWAVEOUT d) {
  Globals& g = G();
  bool ready;
  std::string failure;
  {
    std::lock_guard<std::mutex> l(g.lock);
    if (!g.sdlAudio) {
      if (VelmiDeviceIsHeadless() && !std::getenv("SDL_AUDIODRIVER")) setenv("SDL_AUDIODRIVER", "dummy", 1);
      g.sdlAudio = SDL_InitSubSystem(SDL_INIT_AUDIO) == 0;
      if (!g.sdlAudio) failure = SDL_GetError();
    }
    ready = g.sdlAudio;
  }
  if (!ready) {
    TellNoSoundDevice(failure.c_str());
    return false;
  }
  SDL_AudioSpec want{}, have{};
  want.freq = int(d->format.nSamplesPerSec);
  want.format = AUDIO_S16LSB;
  want.channels = Uint8(d->format.nChannels);
  want.samples = 1024;
  want.callback = Pull;
  want.userdata = d;
  d->sdl = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
  if (!d->sdl) {
    TellNoSoundDevice(SDL_GetError());
    return false;
  }
  SDL_PauseAudioDevice(d->sdl, 0);
  return true;
}

}  // namespace

void VelmiWaveUseFake(bool fake) {
  std::lock_guard<std::mutex> l(G().lock);
  G().fake = fake;
}

int VelmiWaveFakeReturn(int count) {
  HWAVEOUT d;
  {
    std::lock_guard<std::mutex> l(G().lock);
    d = G().newest;
  }
  if (!d || !d->fake) return 0;
  int returned = 0;
  for (; returned < count; ++returned) {
    WAVEHDR* h;
    {
      std::lock_guard<std::mutex> l(d->lock);
      if (d->queue.empty()) break;
      h = d->queue.front();
      d->queue.pop_front();
      d->played += h->dwBufferLength;
      Capture(reinterpret_cast<const BYTE*>(h->lpData), h->dwBufferLength);
      h->dwFlags = (h->dwFlags & ~DWORD(WHDR_INQUEUE)) | WHDR_DONE;
    }
    Notify(d, MM_WOM_DONE, h);
  }
  return returned;
}

int VelmiWaveQueued() {
  HWAVEOUT d;
  {
    std::lock_guard<std::mutex> l(G().lock);
    d = G().newest;
  }
  if (!d) return 0;
  std::lock_guard<std::mutex> l(d->lock);
  return int(d->queue.size());
}

int VelmiWaveOpenDevices() {
  std::lock_guard<std::mutex> l(G().lock);
  return int(G().devices.size());
}

void VelmiWaveCaptureTo(const char* path) {
  std::lock_guard<std::mutex> l(G().lock);
  std::lock_guard<std::mutex> c(CaptureLock());
  Globals& g = G();
  g.envRead = true;
  if (g.capture) std::fclose(g.capture);
  g.capture = nullptr;
  g.capturePath = path ? path : "";
  if (!g.capturePath.empty()) g.capture = std::fopen(path, "wb");
}

void VelmiWaveFailRate(DWORD rate) {
  std::lock_guard<std::mutex> l(G().lock);
  G().envRead = true;
  G().failRate = rate;
  G().refused = 0;
}

int VelmiWaveRefusedOpens() {
  std::lock_guard<std::mutex> l(G().lock);
  return G().refused;
}

MMRESULT waveOutOpen(LPHWAVEOUT device, UINT, LPCWAVEFORMATEX format, DWORD_PTR callback, DWORD_PTR instance,
                     DWORD flags) {
  if (!device || !format) return MMSYSERR_INVALPARAM;
  *device = nullptr;
  if (format->wFormatTag != WAVE_FORMAT_PCM || format->wBitsPerSample != 16 ||
      (format->nChannels != 1 && format->nChannels != 2) || format->nSamplesPerSec < 8000 ||
      format->nSamplesPerSec > 192000)
    return WAVERR_BADFORMAT;
  const DWORD kind = flags & CALLBACK_TYPEMASK;
  if (kind != CALLBACK_NULL && kind != CALLBACK_FUNCTION) return MMSYSERR_INVALFLAG;
  bool fake;
  {
    std::lock_guard<std::mutex> l(G().lock);
    ReadEnvironment(G());
    if (G().failRate && (format->nSamplesPerSec == G().failRate || G().failRate == VELMI_WAVE_FAIL_ALL)) {
      ++G().refused;
      return WAVERR_BADFORMAT;
    }
    fake = G().fake;
  }
  auto* d = new HWAVEOUT__;
  d->format = *format;
  d->callback = kind == CALLBACK_FUNCTION ? reinterpret_cast<LPWAVECALLBACK>(callback) : nullptr;
  d->instance = instance;
  d->fake = fake;
  if (!fake && !OpenSdl(d)) {
    delete d;
    return MMSYSERR_ERROR;
  }
  {
    std::lock_guard<std::mutex> l(G().lock);
    G().devices.insert(d);
    G().newest = d;
  }
  *device = d;
  Notify(d, MM_WOM_OPEN, nullptr);
  return MMSYSERR_NOERROR;
}

MMRESULT waveOutPrepareHeader(HWAVEOUT device, LPWAVEHDR header, UINT size) {
  if (!Live(device)) return MMSYSERR_INVALHANDLE;
  if (!header || size < sizeof(WAVEHDR) || !header->lpData) return MMSYSERR_INVALPARAM;
  std::lock_guard<std::mutex> l(device->lock);
  header->dwFlags |= WHDR_PREPARED;
  return MMSYSERR_NOERROR;
}

MMRESULT waveOutUnprepareHeader(HWAVEOUT device, LPWAVEHDR header, UINT size) {
  if (!Live(device)) return MMSYSERR_INVALHANDLE;
  if (!header || size < sizeof(WAVEHDR)) return MMSYSERR_INVALPARAM;
  std::lock_guard<std::mutex> l(device->lock);
  if (header->dwFlags & WHDR_INQUEUE) return WAVERR_STILLPLAYING;
  header->dwFlags &= ~DWORD(WHDR_PREPARED);
  return MMSYSERR_NOERROR;
}

MMRESULT waveOutWrite(HWAVEOUT device, LPWAVEHDR header, UINT size) {
  if (!Live(device)) return MMSYSERR_INVALHANDLE;
  if (!header || size < sizeof(WAVEHDR)) return MMSYSERR_INVALPARAM;
  std::lock_guard<std::mutex> l(device->lock);
  if (!(header->dwFlags & WHDR_PREPARED)) return WAVERR_UNPREPARED;
  if (header->dwFlags & WHDR_INQUEUE) return WAVERR_STILLPLAYING;
  header->dwFlags = (header->dwFlags & ~DWORD(WHDR_DONE)) | WHDR_INQUEUE;
  // A whole number of sample frames is played; a ragged tail is dropped.
  header->dwBufferLength -= header->dwBufferLength % (device->format.nChannels * 2u);
  if (header->dwBufferLength == 0) {
    header->dwFlags = (header->dwFlags & ~DWORD(WHDR_INQUEUE)) | WHDR_DONE;
    return MMSYSERR_NOERROR;
  }
  device->queue.push_back(header);
  return MMSYSERR_NOERROR;
}

MMRESULT waveOutReset(HWAVEOUT device) {
  if (!Live(device)) return MMSYSERR_INVALHANDLE;
  // Pausing waits for a callback that is running on SDL's thread.
  if (device->sdl) SDL_PauseAudioDevice(device->sdl, 1);
  HeaderQueue returned;
  {
    std::lock_guard<std::mutex> l(device->lock);
    std::swap(returned, device->queue);
    device->frontOffset = 0;
    device->played = 0;
    for (WAVEHDR* h = returned.head; h; h = h->lpNext) h->dwFlags = (h->dwFlags & ~DWORD(WHDR_INQUEUE)) | WHDR_DONE;
  }
  while (!returned.empty()) {
    WAVEHDR* h = returned.front();
    returned.pop_front();
    Notify(device, MM_WOM_DONE, h);
  }
  if (device->sdl) SDL_PauseAudioDevice(device->sdl, 0);
  return MMSYSERR_NOERROR;
}

MMRESULT waveOutClose(HWAVEOUT device) {
  if (!Live(device)) return MMSYSERR_INVALHANDLE;
  {
    std::lock_guard<std::mutex> l(device->lock);
    if (!device->queue.empty()) return WAVERR_STILLPLAYING;
  }
  // Closing waits for SDL's thread to end, so no callback runs afterwards.
  if (device->sdl) SDL_CloseAudioDevice(device->sdl);
  device->sdl = 0;
  {
    std::lock_guard<std::mutex> l(G().lock);
    G().devices.erase(device);
    if (G().newest == device) G().newest = nullptr;
  }
  Notify(device, MM_WOM_CLOSE, nullptr);
  delete device;
  return MMSYSERR_NOERROR;
}

MMRESULT waveOutSetVolume(HWAVEOUT device, DWORD volume) {
  if (!Live(device)) return MMSYSERR_INVALHANDLE;
  std::lock_guard<std::mutex> l(device->lock);
  device->volume = volume;
  return MMSYSERR_NOERROR;
}

MMRESULT waveOutGetVolume(HWAVEOUT device, LPDWORD volume) {
  if (!Live(device)) return MMSYSERR_INVALHANDLE;
  if (!volume) return MMSYSERR_INVALPARAM;
  std::lock_guard<std::mutex> l(device->lock);
  *volume = device->volume;
  return MMSYSERR_NOERROR;
}

MMRESULT waveOutGetPosition(HWAVEOUT device, LPMMTIME time, UINT size) {
  if (!Live(device)) return MMSYSERR_INVALHANDLE;
  if (!time || size < sizeof(MMTIME)) return MMSYSERR_INVALPARAM;
  std::lock_guard<std::mutex> l(device->lock);
  const uint64_t bytes = device->played;
  const DWORD frame = device->format.nChannels * 2u;
  switch (time->wType) {
    case TIME_MS:
      time->u.ms = DWORD(bytes / frame * 1000 / device->format.nSamplesPerSec);
      break;
    case TIME_SAMPLES:
      time->u.sample = DWORD(bytes / frame);
      break;
    default:
      time->wType = TIME_BYTES;
      time->u.cb = DWORD(bytes);
  }
  return MMSYSERR_NOERROR;
}
