// Hooks of the emulated wave output (platform/device/wave_out.cpp) that have
// no Win32 name: a fake device for tests, capture of the played bytes to a
// file and a switch that refuses one output rate.
#pragma once

#include <windows.h>

// Fake device: devices opened from now on play nothing by themselves; a
// written buffer comes back only through VelmiWaveFakeReturn, on the caller's
// thread, and the position advances by its length then.
void VelmiWaveUseFake(bool fake);
// Plays (returns) up to `count` queued buffers of the newest open fake
// device, in order; the number returned.
int VelmiWaveFakeReturn(int count);
// Buffers queued on the newest open device.
int VelmiWaveQueued();
// Devices open now (any kind).
int VelmiWaveOpenDevices();

// Every byte the device plays (real or fake) is appended to the file, as raw
// 16-bit little-endian PCM in the device's format; null or "" stops it.  Also
// set by VELMI_WAVE_CAPTURE at the first open.
void VelmiWaveCaptureTo(const char* path);

// waveOutOpen at this rate fails with WAVERR_BADFORMAT (0 = none,
// VELMI_WAVE_FAIL_ALL = every rate); also set by VELMI_WAVE_FAIL_RATE at the
// first open.
#define VELMI_WAVE_FAIL_ALL 0xFFFFFFFFu
void VelmiWaveFailRate(DWORD rate);
// Opens made so far at a refused rate (tests).
int VelmiWaveRefusedOpens();
