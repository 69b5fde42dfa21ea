// Threads on detached pthreads.  The thread and every handle share one
// reference-counted object, so CloseHandle never blocks and a thread that
// is still referenced can be waited for after it ended.
#include <pthread.h>
#include <sched.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <new>

#include "internal.h"

namespace velmi {
namespace {

std::atomic<DWORD> g_nextThreadId{0x1000};
thread_local DWORD t_threadId = 0;

struct ThreadObject : KernelObject {
  ThreadObject() : KernelObject(ObjKind::Thread) {}
  std::mutex lock;
  std::condition_variable changed;
  DWORD suspendCount = 0;
  bool finished = false;
  DWORD exitCode = STILL_ACTIVE;
  DWORD id = 0;
  int priority = THREAD_PRIORITY_NORMAL;
  DWORD (*start)(void*) = nullptr;
  unsigned (*startCrt)(void*) = nullptr;
  void* parameter = nullptr;
};

void* ThreadMain(void* arg) {
  auto* t = static_cast<ThreadObject*>(arg);
  {
    std::unique_lock<std::mutex> lock(t->lock);
    t->changed.wait(lock, [t] { return t->suspendCount == 0; });
  }
  t_threadId = t->id;
  DWORD code = t->start ? t->start(t->parameter) : DWORD(t->startCrt(t->parameter));
  {
    std::lock_guard<std::mutex> lock(t->lock);
    t->exitCode = code;
    t->finished = true;
  }
  t->changed.notify_all();
  Release(t);  // the thread's own reference
  return nullptr;
}

HANDLE StartThread(SIZE_T stackSize, DWORD (*start)(void*), unsigned (*startCrt)(void*), void* parameter, DWORD flags,
                   DWORD* threadId) {
  if (!start && !startCrt) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto* t = new ThreadObject;
  t->start = start;
  t->startCrt = startCrt;
  t->parameter = parameter;
  t->suspendCount = (flags & CREATE_SUSPENDED) ? 1 : 0;
  t->id = g_nextThreadId.fetch_add(4);
  t->refs.store(2);  // the handle and the running thread
  pthread_attr_t attr;
  pthread_attr_init(&attr);
  pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
  size_t current = 0;
  pthread_attr_getstacksize(&attr, &current);
  if (stackSize > current) pthread_attr_setstacksize(&attr, stackSize);  // never below Linux's default
  pthread_t thread;
  int err = pthread_create(&thread, &attr, ThreadMain, t);
  pthread_attr_destroy(&attr);
  if (err != 0) {
    delete t;
    SetLastError(err == EAGAIN ? ERROR_NOT_ENOUGH_MEMORY : ErrnoToWin32(err));
    return nullptr;
  }
  if (threadId) *threadId = t->id;
  return PublishHandle(t);
}

}  // namespace
}  // namespace velmi

using namespace velmi;

HANDLE CreateThread(LPSECURITY_ATTRIBUTES, SIZE_T stackSize, LPTHREAD_START_ROUTINE start, LPVOID parameter,
                    DWORD flags, LPDWORD threadId) {
  return StartThread(stackSize, start, nullptr, parameter, flags, threadId);
}

uintptr_t _beginthreadex(void*, unsigned stackSize, unsigned (*start)(void*), void* argument, unsigned flags,
                         unsigned* threadId) {
  DWORD id = 0;
  HANDLE h = StartThread(stackSize, nullptr, start, argument, flags, &id);
  if (h && threadId) *threadId = id;
  return reinterpret_cast<uintptr_t>(h);
}

DWORD ResumeThread(HANDLE thread) {
  Ref<ThreadObject> t(thread, ObjKind::Thread);
  if (!t) return DWORD(-1);
  DWORD previous;
  {
    std::lock_guard<std::mutex> lock(t->lock);
    previous = t->suspendCount;
    if (t->suspendCount > 0) --t->suspendCount;
  }
  if (previous == 1) t->changed.notify_all();
  return previous;
}

BOOL GetExitCodeThread(HANDLE thread, LPDWORD exitCode) {
  Ref<ThreadObject> t(thread, ObjKind::Thread);
  if (!t) return FALSE;
  if (!exitCode) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::lock_guard<std::mutex> lock(t->lock);
  *exitCode = t->exitCode;
  return TRUE;
}

DWORD GetCurrentThreadId() {
  if (t_threadId == 0) t_threadId = g_nextThreadId.fetch_add(4);
  return t_threadId;
}

// Waits in real time, also while the fake clock is installed.
DWORD WaitForSingleObject(HANDLE object, DWORD milliseconds) {
  Ref<ThreadObject> t(object, ObjKind::Thread);
  if (!t) return WAIT_FAILED;
  std::unique_lock<std::mutex> lock(t->lock);
  auto done = [&t] { return t->finished; };
  if (milliseconds == INFINITE) {
    t->changed.wait(lock, done);
    return WAIT_OBJECT_0;
  }
  return t->changed.wait_for(lock, std::chrono::milliseconds(milliseconds), done) ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
}

BOOL SetThreadPriority(HANDLE thread, int priority) {
  Ref<ThreadObject> t(thread, ObjKind::Thread);
  if (!t) return FALSE;
  std::lock_guard<std::mutex> lock(t->lock);
  t->priority = priority;
  return TRUE;
}

int GetThreadPriority(HANDLE thread) {
  Ref<ThreadObject> t(thread, ObjKind::Thread);
  if (!t) return 0x7FFFFFFF;  // THREAD_PRIORITY_ERROR_RETURN
  std::lock_guard<std::mutex> lock(t->lock);
  return t->priority;
}

// ---- Critical sections ----------------------------------------------------

// A recursive pthread mutex lives in the section's storage.
static_assert(sizeof(pthread_mutex_t) <= sizeof(CRITICAL_SECTION::opaque), "the mutex fits the section");
static_assert(alignof(pthread_mutex_t) <= alignof(CRITICAL_SECTION), "the section is aligned for the mutex");
static_assert(sizeof(CRITICAL_SECTION) == 40 && alignof(CRITICAL_SECTION) == 8, "the size of 64-bit Windows");

namespace {
pthread_mutex_t* SectionMutex(LPCRITICAL_SECTION section) {
  return std::launder(reinterpret_cast<pthread_mutex_t*>(section->opaque));
}
}  // namespace

void InitializeCriticalSection(LPCRITICAL_SECTION section) {
  pthread_mutex_t* mutex = new (section->opaque) pthread_mutex_t;
  pthread_mutexattr_t attr;
  pthread_mutexattr_init(&attr);
  pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
  pthread_mutex_init(mutex, &attr);
  pthread_mutexattr_destroy(&attr);
}

void EnterCriticalSection(LPCRITICAL_SECTION section) { pthread_mutex_lock(SectionMutex(section)); }
BOOL TryEnterCriticalSection(LPCRITICAL_SECTION section) {
  return pthread_mutex_trylock(SectionMutex(section)) == 0 ? TRUE : FALSE;
}
void LeaveCriticalSection(LPCRITICAL_SECTION section) { pthread_mutex_unlock(SectionMutex(section)); }
void DeleteCriticalSection(LPCRITICAL_SECTION section) { pthread_mutex_destroy(SectionMutex(section)); }
