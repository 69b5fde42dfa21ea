// The sound mixer on wave output: 64 numbered channels, each decoding one
// MP3 or Ogg Vorbis stream, converted to the device format and mixed into
// three output buffers on the wave-output thread.
//
// Threads: the game thread opens, starts, fades, re-levels and stops
// channels; the wave-output callback refills buffers.  One lock (the mixer
// lock) guards the channel table and every channel.  Channels are freed
// under the lock only; the device is reset and closed outside it, because
// the device waits for a running callback, which takes the lock.
#pragma once

#include <windows.h>
#include <mmsystem.h>

#include <condition_variable>
#include <cstdint>
#include <mutex>

class Mp3Source;
class OggSource;
class PackReader;

constexpr int kSoundChannels = 64;
constexpr int kSoundChannelMusic = 0;
constexpr int kSoundChannelEffect = 10;
constexpr int kSoundChannelVoice = 20;

enum SoundChannelState { CHANNEL_IDLE = 0, CHANNEL_PLAYING = 1, CHANNEL_STOP_REQUESTED = 3 };

struct SoundChannel {
  Mp3Source* mp3;
  OggSource* ogg;
  char name[64];
  WAVEFORMATEX format;  // the stream's: channels, rate, bits
  BYTE* pcm;            // one output buffer's worth of converted PCM (+8)
  DWORD pcmLength;
  BYTE* dataImage;  // the file or pack entry in memory, owned here
  DWORD totalPcmBytes;
  DWORD readPos;
  int effectiveVolume;  // fade level x volume / 100, at most 100
  int volume;           // 0..100
  int state;            // SoundChannelState
  int loop;
  int mixCounter;     // -2 when started; the start stamp is taken at 0
  DWORD bytesPlayed;  // since the start stamp
  DWORD lastDevicePos;
  double secondsPerByte;
  int sourceKind;  // 0 MP3, 1 Ogg
  int fadeIn;
  int fadeOut;
  DWORD fadeDuration;
  DWORD fadeStart;
  int fadeLevel;  // 0..100
  int restamped;  // the stamp after a resume keeps bytesPlayed
};

class CSoundMixer {
 public:
  static constexpr int BUFFERS = 3;
  // One request (at most twice the largest output buffer) and the overshoot
  // a decode step may write past it.
  static constexpr DWORD DECODE_BUFFER_SIZE = 2 * 20480 + 16384 + 4608 + 8;
  // How long a stop waits for the wave-output thread before it releases the
  // channel itself.
  static constexpr DWORD STOP_WAIT_MS = 1000;

  CSoundMixer();
  ~CSoundMixer();
  CSoundMixer(const CSoundMixer&) = delete;
  CSoundMixer& operator=(const CSoundMixer&) = delete;

  // Opens the device at `rate` (44,100 or 22,050), 22,050 when that fails,
  // and queues three silent buffers.  Returns the rate in use; when no
  // device opens at all the mixer runs without one (channels open, stops
  // release at once, nothing is heard).
  unsigned OpenOutput(unsigned rate);
  // Stops every channel and closes the device for good.
  void CloseOutput();
  void Suspend();
  void Resume();
  void SetPreferredCodec(int n);
  void SetDeviceVolume(uint32_t v);

  // Opens `name` (less than 64 bytes, extension optional) from a folder
  // (ending in '\', or empty) or from the pack at `folderOrPack` read through
  // `reader`.  1 on success; 0 leaves the channel empty.
  int OpenSound(int channel, const char* name, const char* folderOrPack, PackReader* reader, int volume, int fadeInMs,
                int loop, int start, int inMemory);
  int Play(int channel, int loop);
  void StopChannel(int channel);
  void StopAll();
  // 1 when the channel holds a sound, else 0.
  int FadeIn(int channel, int ms);
  int FadeOut(int channel, int ms);
  SoundChannel* GetChannel(int channel);
  // Volume of a channel record (null: nothing).  Use the numbered form on
  // the game thread: it holds the lock, so the record cannot go meanwhile.
  int SetChannelVolume(SoundChannel* record, int volume);
  int SetChannelVolume(int channel, int volume);
  // State of the channel (SoundChannelState), -1 for an empty slot.
  int GetChannelState(int channel);
  // Play position in ms; -1 for an empty slot or a channel not playing.
  int GetPlayPosition(int channel);

  // The wave-output callback's work for one returned buffer.
  void Refill(WAVEHDR* header);

  // Device state (tests).
  HWAVEOUT Device() const { return device; }
  unsigned OutputRate() const { return outputRate; }
  DWORD BufferSize() const { return bufferSize; }
  int BuffersWritten() const { return buffersWritten; }
  int IsSuspended() const { return suspended; }
  int IsClosed() const { return closed; }
  int PreferredCodec() const { return preferredCodec; }

  // Conversion of `outBytes` device bytes from 16-bit stream samples (public
  // for tests and benchmarks).
  static void ConvertToOutput(BYTE* out, const BYTE* in, DWORD outBytes, int channels, DWORD streamRate,
                              DWORD deviceRate);

 private:
  void FadeStep(SoundChannel* c);
  void FeedChannel(SoundChannel* c);
  int MixChannel(SoundChannel* c, BYTE* out, DWORD n);
  SoundChannel* NewChannel(DWORD size, int kind);
  void DeleteChannel(SoundChannel* c);
  void ReleaseChannel(int channel);
  bool DeviceRuns() const { return device && !suspended && !closed; }
  DWORD DevicePosition();
  void FreeBuffers();
  void ApplyVolume(SoundChannel* c, int volume);

  HWAVEOUT device;
  WAVEHDR headers[BUFFERS];
  BYTE* buffers[BUFFERS];
  DWORD bufferSize;
  unsigned outputRate;
  int nextBuffer;
  int buffersWritten;
  SoundChannel* channels[kSoundChannels];
  int preferredCodec;
  CRITICAL_SECTION lock;
  int suspended;
  int closed;
  // Signalled whenever a channel is released.
  std::mutex releaseLock;
  std::condition_variable released;
};

void CALLBACK WaveOutCallback(HWAVEOUT device, UINT message, DWORD_PTR instance, DWORD_PTR param1, DWORD_PTR param2);
