// Time: the millisecond tick (real or fake), Sleep, local time, the
// multimedia timer services and the device C library's random numbers.
#include <sched.h>
#include <time.h>

#include <atomic>
#include <cerrno>

#include "internal.h"
#include <velmi_platform.h>

namespace {

std::atomic<bool> g_fake{false};
std::atomic<DWORD> g_fakeNow{0};
// The fake local time: seconds since 1970 (read as local time) at the fake
// tick g_localTick.  Tests set both from one thread before the game runs.
constexpr int64_t kFakeLocalStart = 946684800;  // 2000-01-01 00:00:00
std::atomic<int64_t> g_localSeconds{kFakeLocalStart};
std::atomic<DWORD> g_localTick{0};

DWORD RealTicks() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  uint64_t ms = uint64_t(ts.tv_sec) * 1000u + uint64_t(ts.tv_nsec) / 1000000u;
  return DWORD(ms);  // wraps like the Windows tick
}

}  // namespace

void VelmiClockUseFake(DWORD start_ms) {
  g_fakeNow.store(start_ms);
  g_localSeconds.store(kFakeLocalStart);
  g_localTick.store(start_ms);
  g_fake.store(true);
}
void VelmiClockAdvance(DWORD ms) { g_fakeNow.fetch_add(ms); }
void VelmiClockUseReal() { g_fake.store(false); }
bool VelmiClockIsFake() { return g_fake.load(); }

DWORD GetTickCount() { return g_fake.load() ? g_fakeNow.load() : RealTicks(); }
DWORD timeGetTime() { return GetTickCount(); }

void Sleep(DWORD milliseconds) {
  if (milliseconds == 0) {
    sched_yield();
    return;
  }
  if (g_fake.load() && milliseconds != INFINITE) {
    g_fakeNow.fetch_add(milliseconds);
    sched_yield();
    return;
  }
  if (milliseconds == INFINITE) {
    for (;;) {
      timespec hour{3600, 0};
      nanosleep(&hour, nullptr);
    }
  }
  timespec ts{time_t(milliseconds / 1000), long(milliseconds % 1000) * 1000000L};
  while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
  }
}

void VelmiClockSetLocalTime(const SYSTEMTIME* now) {
  tm t{};
  t.tm_year = now->wYear - 1900;
  t.tm_mon = now->wMonth - 1;
  t.tm_mday = now->wDay;
  t.tm_hour = now->wHour;
  t.tm_min = now->wMinute;
  t.tm_sec = now->wSecond;
  g_localSeconds.store(int64_t(timegm(&t)));
  g_localTick.store(g_fakeNow.load());
}

namespace {
std::atomic<bool> g_localPinned{false};
SYSTEMTIME g_localTime{};
}  // namespace

void VelmiClockPinLocalTime(const SYSTEMTIME* time) {
  if (time) g_localTime = *time;
  g_localPinned = time != nullptr;
}

void GetLocalTime(LPSYSTEMTIME out) {
  if (g_localPinned) {
    *out = g_localTime;
    return;
  }
  timespec ts;
  tm local;
  if (g_fake.load()) {
    DWORD elapsed = g_fakeNow.load() - g_localTick.load();
    time_t seconds = time_t(g_localSeconds.load() + elapsed / 1000);
    gmtime_r(&seconds, &local);
    ts.tv_nsec = long(elapsed % 1000) * 1000000L;
  } else {
    clock_gettime(CLOCK_REALTIME, &ts);
    localtime_r(&ts.tv_sec, &local);
  }
  out->wYear = WORD(local.tm_year + 1900);
  out->wMonth = WORD(local.tm_mon + 1);
  out->wDayOfWeek = WORD(local.tm_wday);
  out->wDay = WORD(local.tm_mday);
  out->wHour = WORD(local.tm_hour);
  out->wMinute = WORD(local.tm_min);
  out->wSecond = WORD(local.tm_sec > 59 ? 59 : local.tm_sec);
  out->wMilliseconds = WORD(ts.tv_nsec / 1000000);
}

// Linux timers are already fine-grained: a period request is checked and
// accepted without changing anything.
constexpr UINT kPeriodMin = 1;
constexpr UINT kPeriodMax = 1000000;

MMRESULT timeGetDevCaps(LPTIMECAPS caps, UINT size) {
  if (!caps || size < sizeof(TIMECAPS)) return TIMERR_NOCANDO;
  caps->wPeriodMin = kPeriodMin;
  caps->wPeriodMax = kPeriodMax;
  return TIMERR_NOERROR;
}
MMRESULT timeBeginPeriod(UINT period) {
  return period >= kPeriodMin && period <= kPeriodMax ? TIMERR_NOERROR : TIMERR_NOCANDO;
}
MMRESULT timeEndPeriod(UINT period) { return timeBeginPeriod(period); }

// The device's C library generator: a linear congruential step whose bits
// 16..30 are the result, process-wide.
static std::atomic<uint32_t> g_randState{1};

void CeSrand(unsigned int seed) { g_randState.store(seed); }

int CeRand() {
  uint32_t s = g_randState.load(std::memory_order_relaxed), next;
  do {
    next = s * 214013u + 2531011u;
  } while (!g_randState.compare_exchange_weak(s, next, std::memory_order_relaxed));
  return int((next >> 16) & 0x7FFF);
}
