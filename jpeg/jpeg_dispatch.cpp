// Processor dispatch: binds the run-time entry points, picks the processor
// class and fills a job's kernel table; also the small run-time services.
#include <cpuid.h>
#include <mmintrin.h>

#include <cstring>

#include "jpeg/jpeg_internal.h"
#include "jpeg/kernels/enc_kernels.h"

namespace {

void CopyBytes(void* dst, const void* src, size_t n) {
  if (n) std::memcpy(dst, src, n);
}
void ZeroBytes(void* dst, size_t n) {
  if (n) std::memset(dst, 0, n);
}

void EndOfCallPlain() {}
// The processor routines may leave MMX state behind; clear it for floating
// point code that runs after the call.
void EndOfCallMmx() { _mm_empty(); }

const char kRegistryKey[] = "Software\\Portable Codecs\\CodecSuite\\JpegLib";

// Routines of the processor classes.  Where classes compute the same bytes
// one routine serves them all, under each class's name.
constexpr JpegFdctFn JpegFdctIntMmx = JpegFdctIntSse2;
constexpr JpegFdctFn JpegFdctIntSse = JpegFdctIntSse2;
constexpr JpegQuantizeFn JpegQuantizeRecipMmx = JpegQuantizeRecipSse2;
constexpr JpegQuantizeFn JpegQuantizeRecipSse = JpegQuantizeRecipSse2;
constexpr JpegEncodeBlockFn JpegEncodeBlockMmx = JpegEncodeBlockSse2;
constexpr JpegEncodeBlockFn JpegEncodeBlockSse = JpegEncodeBlockSse2;
constexpr JpegMcuKernelFn JpegPacked422Mmx = JpegPacked422Sse;
constexpr JpegPutBytesFn JpegPutBytesMmx = JpegPutBytes;

}  // namespace

void (*const JpegCopyBytes)(void*, const void*, size_t) = CopyBytes;
void (*const JpegZeroBytes)(void*, size_t) = ZeroBytes;

const int32_t ZigzagToNatural[64] = {0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,
                                     12, 19, 26, 33, 40, 48, 41, 34, 27, 20, 13, 6,  7,  14, 21, 28,
                                     35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23, 30, 37, 44, 51,
                                     58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};

namespace {

void ProbeCpu(JpegCpuInfo* info) {
  std::memset(info, 0, sizeof *info);
  std::memset(info->vendor, ' ', 12);
  info->vendor[12] = 0;
  unsigned a = 0, b = 0, c = 0, d = 0;
  if (!__get_cpuid(0, &a, &b, &c, &d)) return;
  std::memcpy(info->vendor, &b, 4);
  std::memcpy(info->vendor + 4, &d, 4);
  std::memcpy(info->vendor + 8, &c, 4);
  if (a == 0) return;
  if (!__get_cpuid(1, &a, &b, &c, &d)) return;
  info->brandIndex = (int32_t)(b & 0xFF);
  info->type = (int32_t)((a >> 12) & 3);
  info->family = (int32_t)((a >> 8) & 15);
  info->model = (int32_t)((a >> 4) & 15);
  info->stepping = (int32_t)(a & 15);
  info->features = d;
}

}  // namespace

// The processor does not change while the program runs: probe it once (CPUID
// is slow under a hypervisor) and hand every job the same description.
void JpegProbeCpu(JpegCpuInfo* info) {
  static const JpegCpuInfo probed = [] {
    JpegCpuInfo i;
    ProbeCpu(&i);
    return i;
  }();
  *info = probed;
}

int32_t JpegCpuKindFromInfo(const JpegCpuInfo& info) {
  const bool mmx = (info.features >> 23) & 1;
  const bool sse = (info.features >> 25) & 1;
  const bool sse2 = (info.features >> 26) & 1;
  switch (info.family) {
    case 5:
      return mmx ? JPEG_CPU_P5_MMX : JPEG_CPU_P5;
    case 6:
      if (mmx && !sse) return JPEG_CPU_P6_MMX;
      if (mmx && sse) return JPEG_CPU_P6_SSE;
      return JPEG_CPU_P6;
    case 15:
      return sse2 ? JPEG_CPU_P4_SSE2 : JPEG_CPU_PLAIN;
    default:
      return JPEG_CPU_PLAIN;
  }
}

int32_t JpegPickCpu(JpegKernelTable* table) {
  JpegProbeCpu(&table->cpu);
  if (table->regOpenKeyExA && table->regQueryValueExA && table->regCloseKey) {
    HKEY key = nullptr;
    int32_t value = -1;
    if (table->regOpenKeyExA(HKEY_LOCAL_MACHINE, kRegistryKey, 0, KEY_QUERY_VALUE, &key) == ERROR_SUCCESS) {
      DWORD type = 0, size = sizeof value;
      table->regQueryValueExA(key, "USECPU", nullptr, &type, reinterpret_cast<LPBYTE>(&value), &size);
      table->regCloseKey(key);
    }
    if (value >= 0 && value <= 6) return value;
  }
  return JpegCpuKindFromInfo(table->cpu);
}

void JpegBindKernels(JpegKernelTable* table) {
  if (!table->user32) table->user32 = LoadLibraryA("user32");
  if (table->user32) {
    do {
      if (!(table->messageBoxA = GetProcAddress(table->user32, "MessageBoxA"))) break;
      if (!(table->peekMessageA = GetProcAddress(table->user32, "PeekMessageA"))) break;
      if (!(table->postQuitMessage = GetProcAddress(table->user32, "PostQuitMessage"))) break;
      table->wsprintfA = reinterpret_cast<JpegWsprintfAFn>(GetProcAddress(table->user32, "wsprintfA"));
    } while (false);
  }
  if (!table->advapi32) table->advapi32 = LoadLibraryA("advapi32");
  if (table->advapi32) {
    do {
      table->regOpenKeyExA = reinterpret_cast<JpegRegOpenKeyExAFn>(GetProcAddress(table->advapi32, "RegOpenKeyExA"));
      if (!table->regOpenKeyExA) break;
      table->regQueryValueExA =
          reinterpret_cast<JpegRegQueryValueExAFn>(GetProcAddress(table->advapi32, "RegQueryValueExA"));
      if (!table->regQueryValueExA) break;
      table->regCloseKey = reinterpret_cast<JpegRegCloseKeyFn>(GetProcAddress(table->advapi32, "RegCloseKey"));
    } while (false);
  }
  table->cpuKind = JpegPickCpu(table);
  JpegFillKernels(table, table->cpuKind);
}

void JpegFillKernels(JpegKernelTable* t, int32_t kind) {
  const bool simd = kind >= 3 && kind <= 6;
  const bool sse = kind == JPEG_CPU_P6_SSE, sse2 = kind == JPEG_CPU_P4_SSE2;
  t->endOfCall = simd ? EndOfCallMmx : EndOfCallPlain;
  t->fdctScaled = simd ? JpegFdctScaledMmx : JpegFdctScaled;
  t->fdctInt = !simd ? JpegFdctInt : sse2 ? JpegFdctIntSse2 : sse ? JpegFdctIntSse : JpegFdctIntMmx;
  t->fdctCurrent = nullptr;
  for (auto& r : t->decoderRoutine) r = nullptr;
  t->sinkOpen = JpegSinkOpen;
  t->putBytes = simd ? JpegPutBytesMmx : JpegPutBytes;
  t->inputConverter = nullptr;
  JpegFillPlainInputKernels(t);
  if (simd) {
    t->greyBlock = JpegGreyMmx;
    t->rgbYccH1V1 = JpegRgbYccH1V1Mmx;
    t->rgbYccH2V1 = JpegRgbYccH2V1Mmx;
    t->rgbYccH2V2 = JpegRgbYccH2V2Mmx;
    t->bgrYccH1V1 = JpegBgrYccH1V1Mmx;
    t->bgrYccH2V1 = JpegBgrYccH2V1Mmx;
    t->bgrYccH2V2 = JpegBgrYccH2V2Mmx;
    t->packed422 = sse || sse2 ? JpegPacked422Sse : JpegPacked422Mmx;
    t->ycckH1V1 = JpegYcckH1V1Mmx;
    t->ycckH2V1 = JpegYcckH2V1Mmx;
    t->ycckH2V2 = JpegYcckH2V2Mmx;
  }
  t->decoderOutput = nullptr;
  t->encodeBlock = !simd ? JpegEncodeBlock : sse ? JpegEncodeBlockSse : JpegEncodeBlockMmx;
  t->quantScaled = simd ? JpegQuantizeScaledMmx : JpegQuantizeScaled;
  t->quantRecip = !simd  ? JpegQuantizeRecip
                  : sse2 ? JpegQuantizeRecipSse2
                  : sse  ? JpegQuantizeRecipSse
                         : JpegQuantizeRecipMmx;
  t->quantCurrent = t->quantScaled;
  JpegDecoderFillKernels(t, kind);
}

void JpegReleaseKernels(JpegKernelTable* table) {
  if (table->user32) FreeLibrary(table->user32);
  table->user32 = nullptr;
  table->messageBoxA = nullptr;
  table->peekMessageA = nullptr;
  table->postQuitMessage = nullptr;
  table->wsprintfA = nullptr;
  if (table->advapi32) FreeLibrary(table->advapi32);
  table->advapi32 = nullptr;
  table->regOpenKeyExA = nullptr;
  table->regQueryValueExA = nullptr;
  table->regCloseKey = nullptr;
}

HANDLE JpegFileOpen(const char* name, bool readOnly) {
  HANDLE h = CreateFileA(name, readOnly ? GENERIC_READ : (GENERIC_READ | GENERIC_WRITE), FILE_SHARE_READ, nullptr,
                         readOnly ? OPEN_EXISTING : CREATE_ALWAYS, 0, nullptr);
  return h == INVALID_HANDLE_VALUE ? nullptr : h;
}

BOOL JpegFileClose(HANDLE file) { return CloseHandle(file); }

DWORD JpegFileRead(HANDLE file, void* buffer, DWORD count) {
  DWORD done = 0;
  if (!ReadFile(file, buffer, count, &done, nullptr)) return 0;
  return done;
}

DWORD JpegFileWrite(HANDLE file, const void* buffer, DWORD count) {
  DWORD done = 0;
  if (!WriteFile(file, buffer, count, &done, nullptr)) return 0;
  return done;
}

bool JpegFileSeek(HANDLE file, LONG distance, bool relative) {
  return SetFilePointer(file, distance, nullptr, relative ? FILE_CURRENT : FILE_BEGIN) != INVALID_SET_FILE_POINTER;
}
