// Entry points of the MP3 encoder module "gogo.dll" (ours: platform/sound,
// on libmp3lame).  The converter loads the module at run time and binds
// these names with GetProcAddress; the module exports them with C linkage.
//
// One encode: MPGE_initializeWork, MPGE_setConfigure for each setting,
// MPGE_detectConfigure, MPGE_processFrame until it reports the end,
// MPGE_closeCoder, MPGE_endCoder.  Samples come from a read callback and
// the coded stream leaves through a write callback.
#pragma once

#include <windows.h>

typedef UINT MERET;       // every entry point returns a 32-bit result
typedef UINT_PTR MPARAM;  // configuration values and pointers

// Results.
#define MPGE_OK 0           // success; from MPGE_processFrame: call again
#define MPGE_END 1          // MPGE_processFrame: the input is finished
#define MPGE_ERR_PARAM 2    // a configuration the module cannot take
#define MPGE_ERR_RATE 3     // a sample rate MP3 cannot carry
#define MPGE_ERR_SAMPLES 4  // a sample layout the module cannot read
#define MPGE_ERR_STATE 5    // called out of order
#define MPGE_ERR_MEMORY 6
#define MPGE_ERR_ENCODER 7  // the MP3 coder failed

// MPGE_setConfigure codes.
#define MPGE_CFG_INPUT 1     // value MPGE_DEV_CALLBACK, pointer to MPGE_INPUT_DESC
#define MPGE_CFG_OUTPUT 2    // value MPGE_DEV_CALLBACK, pointer: the write callback
#define MPGE_CFG_CHANNELS 3  // 0 mono, 1 stereo
#define MPGE_CFG_BITRATE 4   // kbit/s; clamped to the nearest rate the output rate can carry
#define MPGE_CFG_OUTRATE 6   // output sample rate in Hz (the input's rate when not set)
#define MPGE_CFG_EFFORT 8    // 0: default search effort, other: higher effort
#define MPGE_CFG_LOWPASS 9   // 1: the coder's automatic low-pass, 0: none
#define MPGE_CFG_SIMD 10     // accepted; the coder picks its own SIMD code

#define MPGE_DEV_CALLBACK 2

// Read callback: fill `buffer` with `length` bytes of samples; return
// MPGE_OK while samples remain, MPGE_END once the input is used up.
typedef MERET (*MPGE_USERFUNC_READ)(void* buffer, DWORD length);
// Write callback: `bytes` (may be null) holds `length` bytes of the stream.
typedef MERET (*MPGE_USERFUNC_WRITE)(void* bytes, DWORD length);

// Input description for MPGE_CFG_INPUT.
typedef struct {
  MPGE_USERFUNC_READ read;
  DWORD size;      // input bytes
  DWORD bits;      // bits per sample (16)
  DWORD freq;      // samples per second
  DWORD channels;  // 1 or 2
} MPGE_INPUT_DESC;

typedef MERET (*MPGE_INITIALIZEWORK)(void);
typedef MERET (*MPGE_SETCONFIGURE)(MPARAM code, MPARAM value, MPARAM pointer);
typedef MERET (*MPGE_GETCONFIGURE)(MPARAM code, void* out);
typedef MERET (*MPGE_DETECTCONFIGURE)(void);
typedef MERET (*MPGE_PROCESSFRAME)(void);
typedef MERET (*MPGE_CLOSECODER)(void);
typedef MERET (*MPGE_ENDCODER)(void);
typedef MERET (*MPGE_GETVERSION)(DWORD* code, char* text);  // text: at least 260 bytes
typedef MERET (*MPGE_GETUNITSTATES)(DWORD* units);

extern "C" {
MERET MPGE_initializeWork(void);
MERET MPGE_setConfigure(MPARAM code, MPARAM value, MPARAM pointer);
MERET MPGE_getConfigure(MPARAM code, void* out);
MERET MPGE_detectConfigure(void);
MERET MPGE_processFrame(void);
MERET MPGE_closeCoder(void);
MERET MPGE_endCoder(void);
MERET MPGE_getVersion(DWORD* code, char* text);
MERET MPGE_getUnitStates(DWORD* units);
}
