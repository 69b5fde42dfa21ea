#include "common/thread.h"

#include <process.h>

#include <cstdio>
#include <cstdlib>

CWinThreadMaster::CWinThreadMaster() = default;

CWinThreadMaster::~CWinThreadMaster() {
  if (m_active.load(std::memory_order_acquire)) {
    // The thread would go on using a destroyed object.
    std::fputs("CWinThreadMaster destroyed while its thread is running\n", stderr);
    std::abort();
  }
  if (m_thread != nullptr) CloseHandle(m_thread);
}

DWORD CWinThreadMaster::Run() { return 0; }
void CWinThreadMaster::OnBeforeStart() {}
void CWinThreadMaster::OnStop() {}
void CWinThreadMaster::SetThreadId(DWORD) {}
void CWinThreadMaster::OnThreadEnter() {}
void CWinThreadMaster::OnThreadExit() {}

void CWinThreadMaster::CheckKilled() {
  if (GetState() == kKilled) throw CExKilledByCtrl();
}

DWORD WINAPI CWinThreadMaster::ThreadEntry(LPVOID object) {
  auto* self = static_cast<CWinThreadMaster*>(object);
  DWORD code;
  try {
    self->OnThreadEnter();
    code = self->Run();
  } catch (const CExKilledByCtrl&) {
    code = kKilled;
  }
  self->OnThreadExit();
  // Last access to the object: from here on the owner may delete it.
  self->m_active.store(false, std::memory_order_release);
  return code;
}

DWORD CWinThreadMaster::Launch(Creator creator) {
  if (m_active.load(std::memory_order_acquire)) return 0;
  if (m_thread != nullptr) {
    // An earlier run's handle that was never closed.
    CloseHandle(m_thread);
    m_thread = nullptr;
  }
  m_active.store(true, std::memory_order_release);
  DWORD id = 0;
  HANDLE thread;
  if (creator == Creator::Win32) {
    thread = ::CreateThread(nullptr, 0, &ThreadEntry, this, CREATE_SUSPENDED, &id);
  } else {
    unsigned runtimeId = 0;
    thread = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, &ThreadEntry, this, CREATE_SUSPENDED, &runtimeId));
    id = runtimeId;
  }
  if (thread == nullptr || thread == INVALID_HANDLE_VALUE) {
    m_active.store(false, std::memory_order_release);
    return 0;
  }
  m_thread = thread;
  SetThreadId(id);
  DWORD previous = ResumeThread(thread);
  return previous == static_cast<DWORD>(-1) ? 0 : previous;
}

BOOL CWinThreadMaster::CreateThread() { return Launch(Creator::Runtime) != 0 ? TRUE : FALSE; }

CThreadCtrl& CThreadCtrl::Bind(CWinThreadMaster* object) {
  m_object = object;
  return *this;
}

DWORD CThreadCtrl::Start() {
  if (m_object == nullptr || m_object->m_active.load(std::memory_order_acquire)) return 0;
  m_object->OnBeforeStart();
  return m_object->Launch(CWinThreadMaster::Creator::Win32);
}

DWORD CThreadCtrl::Start(CWinThreadMaster* object) { return Bind(object).Start(); }

void CThreadCtrl::StartChecked() {
  if (m_object == nullptr || m_object->m_active.load(std::memory_order_acquire)) throw CCtrlFailed();
  m_object->OnBeforeStart();
  if (!m_object->CreateThread()) throw CCtrlFailed();
}

void CThreadCtrl::Stop() {
  if (m_object == nullptr) return;
  m_object->OnStop();
  m_object->m_state.store(CWinThreadMaster::kKilled, std::memory_order_release);
}

void CThreadCtrl::Stop(CWinThreadMaster* object) { Bind(object).Stop(); }

BOOL CThreadCtrl::Wait(DWORD milliseconds) {
  if (m_object == nullptr) return TRUE;
  if (m_object->m_thread == nullptr) return m_object->m_active.load(std::memory_order_acquire) ? FALSE : TRUE;
  return WaitForSingleObject(m_object->m_thread, milliseconds) == WAIT_OBJECT_0 ? TRUE : FALSE;
}

BOOL CThreadCtrl::WaitChecked(DWORD milliseconds) {
  if (m_object == nullptr) throw CCtrlFailed();
  if (m_object->m_thread == nullptr) {
    // Never started counts as ended; a running thread whose handle was
    // closed cannot be waited for.
    if (m_object->m_active.load(std::memory_order_acquire)) throw CCtrlFailed();
    return TRUE;
  }
  DWORD result = WaitForSingleObject(m_object->m_thread, milliseconds);
  if (result == WAIT_OBJECT_0) return TRUE;
  if (result == WAIT_TIMEOUT) return FALSE;
  throw CCtrlFailed();
}

BOOL CThreadCtrl::IsRunning() {
  if (m_object == nullptr) return FALSE;
  if (m_object->m_thread == nullptr) return m_object->m_active.load(std::memory_order_acquire) ? TRUE : FALSE;
  return WaitForSingleObject(m_object->m_thread, 0) == WAIT_TIMEOUT ? TRUE : FALSE;
}

void CThreadCtrl::Close() {
  if (m_object == nullptr || m_object->m_thread == nullptr) return;
  CloseHandle(m_object->m_thread);
  m_object->m_thread = nullptr;
}
