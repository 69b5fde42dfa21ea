// Threads and critical sections.
#include <gtest/gtest.h>
#include <process.h>
#include <windows.h>

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

namespace {

struct Shared {
  std::mutex lock;
  std::vector<std::string> log;
  std::atomic<bool> release{false};
  std::atomic<bool> done{false};
  std::atomic<DWORD> seenId{0};
  void Add(const std::string& s) {
    std::lock_guard<std::mutex> l(lock);
    log.push_back(s);
  }
};

DWORD LogAndReturn(void* p) {
  auto* s = static_cast<Shared*>(p);
  s->seenId = GetCurrentThreadId();
  s->Add("thread");
  return 7;
}

DWORD BlockUntilReleased(void* p) {
  auto* s = static_cast<Shared*>(p);
  while (!s->release.load()) Sleep(1);
  s->done = true;
  return 42;
}

unsigned CrtEntry(void* p) {
  auto* s = static_cast<Shared*>(p);
  s->seenId = GetCurrentThreadId();
  return 99;
}

TEST(Threads, SuspendedThreadWaitsForResume) {
  Shared s;
  DWORD id = 0;
  HANDLE h = CreateThread(nullptr, 0, LogAndReturn, &s, CREATE_SUSPENDED, &id);
  ASSERT_NE(h, nullptr);
  // However long the creator takes, the thread has not run yet.
  Sleep(30);
  s.Add("creator");
  DWORD code = 0;
  EXPECT_TRUE(GetExitCodeThread(h, &code));
  EXPECT_EQ(code, DWORD(STILL_ACTIVE));
  EXPECT_EQ(WaitForSingleObject(h, 0), WAIT_TIMEOUT);
  EXPECT_EQ(ResumeThread(h), 1u);
  EXPECT_EQ(WaitForSingleObject(h, INFINITE), WAIT_OBJECT_0);
  EXPECT_EQ(s.log, (std::vector<std::string>{"creator", "thread"}));
  EXPECT_EQ(s.seenId.load(), id);
  EXPECT_NE(id, GetCurrentThreadId());
  EXPECT_TRUE(GetExitCodeThread(h, &code));
  EXPECT_EQ(code, 7u);
  EXPECT_EQ(ResumeThread(h), 0u);
  EXPECT_TRUE(CloseHandle(h));
  EXPECT_EQ(WaitForSingleObject(h, 0), WAIT_FAILED);
}

TEST(Threads, TimeOutsAndExitCodes) {
  Shared s;
  HANDLE h = CreateThread(nullptr, 0, BlockUntilReleased, &s, 0, nullptr);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(WaitForSingleObject(h, 20), WAIT_TIMEOUT);
  DWORD code = 0;
  GetExitCodeThread(h, &code);
  EXPECT_EQ(code, DWORD(STILL_ACTIVE));
  s.release = true;
  EXPECT_EQ(WaitForSingleObject(h, INFINITE), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(h, 0), WAIT_OBJECT_0);  // stays signalled
  GetExitCodeThread(h, &code);
  EXPECT_EQ(code, 42u);
  CloseHandle(h);
}

TEST(Threads, CloseWhileRunningDoesNotBlock) {
  auto* s = new Shared;
  HANDLE h = CreateThread(nullptr, 0, BlockUntilReleased, s, 0, nullptr);
  ASSERT_NE(h, nullptr);
  EXPECT_TRUE(CloseHandle(h));  // returns although the thread still runs
  EXPECT_FALSE(s->done.load());
  s->release = true;
  while (!s->done.load()) Sleep(1);
  delete s;
}

TEST(Threads, BeginThreadEx) {
  Shared s;
  unsigned id = 0;
  uintptr_t h = _beginthreadex(nullptr, 0, CrtEntry, &s, CREATE_SUSPENDED, &id);
  ASSERT_NE(h, 0u);
  ResumeThread(reinterpret_cast<HANDLE>(h));
  EXPECT_EQ(WaitForSingleObject(reinterpret_cast<HANDLE>(h), INFINITE), WAIT_OBJECT_0);
  DWORD code = 0;
  GetExitCodeThread(reinterpret_cast<HANDLE>(h), &code);
  EXPECT_EQ(code, 99u);
  EXPECT_EQ(s.seenId.load(), id);
  CloseHandle(reinterpret_cast<HANDLE>(h));
}

struct LockProbe {
  CRITICAL_SECTION* cs;
  std::atomic<int> result{-1};
};

DWORD TryFromOtherThread(void* p) {
  auto* probe = static_cast<LockProbe*>(p);
  BOOL got = TryEnterCriticalSection(probe->cs);
  if (got) LeaveCriticalSection(probe->cs);
  probe->result = got;
  return 0;
}

TEST(Threads, CriticalSectionIsRecursive) {
  CRITICAL_SECTION cs;
  InitializeCriticalSection(&cs);
  EnterCriticalSection(&cs);
  EnterCriticalSection(&cs);  // the owner enters again without blocking
  LeaveCriticalSection(&cs);
  LockProbe probe{&cs};
  HANDLE h = CreateThread(nullptr, 0, TryFromOtherThread, &probe, 0, nullptr);
  WaitForSingleObject(h, INFINITE);
  CloseHandle(h);
  EXPECT_EQ(probe.result.load(), FALSE);  // still held once
  LeaveCriticalSection(&cs);
  h = CreateThread(nullptr, 0, TryFromOtherThread, &probe, 0, nullptr);
  WaitForSingleObject(h, INFINITE);
  CloseHandle(h);
  EXPECT_EQ(probe.result.load(), TRUE);
  DeleteCriticalSection(&cs);
}

}  // namespace
